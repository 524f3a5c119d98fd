#include "app/SettingsCommands.h"

#include <memory>

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "app/ConversionCommands.h"
#include "widgets/HyperLink.h"
#include "app/MainFrame.h"
#include "app/QuorvellianApp.h"
#include "convert/TextBuffer.h"
#include "convert_ui/ui/AttributesDlg.h"
#include "model/Globals.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "settings/AcceleratorManager.h"
#include "settings/ui/AccelEditorDlg.h"
#include "settings/ui/InlineUpdateDlg.h"
#include "settings/ui/ProgramOptionsDlg.h"

std::function<int(QDialog&)> CSettingsCommands::s_runModal;
std::function<bool(const QUrl&)> CSettingsCommands::s_openUrl;

namespace {
int RunModal(QDialog& dlg) {
    if (CSettingsCommands::s_runModal) return CSettingsCommands::s_runModal(dlg);
    return dlg.exec();
}
constexpr const char* kManualName = "Quorvellian.html";
}  // namespace

CSettingsCommands::CSettingsCommands(CMainFrame& frame) : m_frame(frame) {}

CSettingsCommands::~CSettingsCommands() {
    CHyperLink::s_usageHandler = m_previousUsageHandler;
    CProgramOptionsDlg::s_mapKeystrokes = nullptr;
    CProgramOptionsDlg::s_runModal = nullptr;
    CInlineUpdateDlg::s_saveProgramData = nullptr;
    if (m_ownAccel) m_ownAccel->Connect(nullptr, false);
}

void CSettingsCommands::Wire() {
    CMainFrame& f = m_frame;
    f.SetCommandHandler(32579, [this] { OnOptions(); });
    f.SetCommandHandler(32502, [this] { OnUpdateProgram(); });
    f.SetCommandHandler(32501, [this] { OnUserManual(); });
    // The work-mode link opens the options on the work-mode page.
    auto previous = CHyperLink::s_usageHandler;
    CHyperLink::s_usageHandler = [this, previous](int usage) {
        if (usage == 6) {
            g_nOptionSel = 201;
            OnOptions();
        } else if (previous) {
            previous(usage);
        }
    };
    m_previousUsageHandler = previous;
}

CAcceleratorManager& CSettingsCommands::Accelerators() {
    CQuorvellianApp* app = CQuorvellianApp::Instance();
    if (app && app->MainFrame() == &m_frame) return app->Accelerators();
    if (!m_ownAccel) {
        m_ownAccel = std::make_unique<CAcceleratorManager>();
        m_ownAccel->Connect(&m_frame, false);
        InstallAccelerators(*m_ownAccel);
    }
    return *m_ownAccel;
}

IRegistryStore* CSettingsCommands::Registry() {
    CQuorvellianApp* app = CQuorvellianApp::Instance();
    return app && app->MainFrame() == &m_frame ? &app->Registry() : nullptr;
}

std::string CSettingsCommands::AcceleratorPath() {
    CQuorvellianApp* app = CQuorvellianApp::Instance();
    return app && app->MainFrame() == &m_frame ? app->AcceleratorPath() : std::string();
}

void CSettingsCommands::OnOptions() {
    CProgramOptionsDlg::s_mapKeystrokes = [this](QWidget* parent) { MapKeystrokes(parent); };
    CProgramOptionsDlg::s_runModal = RunModal;
    CProgramOptionsDlg dlg(&m_frame);
    if (RunModal(dlg) != QDialog::Accepted) return;
    // The Attributes dialog shows the options it carries.
    if (CAttributesDlg* attributes = m_frame.ConversionCommands().Attributes())
        attributes->RefreshControls();
}

void CSettingsCommands::MapKeystrokes(QWidget* parent) {
    CAcceleratorManager& live = Accelerators();
    CAcceleratorManager copy;
    copy = live;
    CAccelEditorDlg dlg(AcceleratorPath(), &copy, Registry(), parent);
    if (RunModal(dlg) != QDialog::Accepted) return;
    live = copy;
    live.CreateAcceleratorTable();
}

void CSettingsCommands::OnUpdateProgram() {
    CInlineUpdateDlg::s_saveProgramData = [this] {
        m_frame.ExecuteCommand(32580);
        DumpTextBufferToDisk(false);
    };
    bool started = false;
    {
        CInlineUpdateDlg dlg(&m_frame);
        RunModal(dlg);
        started = dlg.UpdaterStarted();
    }
    if (started) m_frame.close();
}

void CSettingsCommands::OpenInBrowser(const std::string& path) {
    // The opener reports a desktop without a browser only by its exit code,
    // which comes when it is done; the window does not wait for it. It has
    // no parent, so a browser it still waits for outlives the window.
    auto* opener = new QProcess;
    auto said = std::make_shared<bool>(false);
    auto tell = [path, said] {
        if (*said) return;
        *said = true;
        Prompter().Message("No web browser could open the user manual. It is here:\r\n" + path, MsgIcon::Info);
    };
    QObject::connect(opener, &QProcess::errorOccurred, &m_frame, [opener, tell](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        tell();
        opener->deleteLater();
    });
    QObject::connect(opener, &QProcess::finished, &m_frame, [opener, tell](int code, QProcess::ExitStatus status) {
        if (code != 0 || status != QProcess::NormalExit) tell();
        opener->deleteLater();
    });
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    opener->start("xdg-open", {QUrl::fromLocalFile(QString::fromStdString(path)).toString()});
}

std::vector<std::string> CSettingsCommands::ManualCandidates() {
    // The work area, beside the program (a build), and where an installed
    // program's manual lies: PREFIX/share/doc/quorvellian beside PREFIX/bin.
    const QDir programDir(QCoreApplication::applicationDirPath());
    return {g_strDriveRoot + "Quorvellian/" + kManualName, programDir.absoluteFilePath(kManualName).toStdString(),
            QDir::cleanPath(programDir.absoluteFilePath(QStringLiteral("../share/doc/quorvellian/") + kManualName))
                .toStdString()};
}

void CSettingsCommands::OnUserManual() {
    const auto candidates = ManualCandidates();
    for (const std::string& path : candidates) {
        if (!QFileInfo(QString::fromStdString(path)).isFile()) continue;
        const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
        if (s_openUrl) {
            if (!s_openUrl(url))
                Prompter().Message("The user manual could not be opened: " + path, MsgIcon::Stop);
            return;
        }
        OpenInBrowser(path);
        return;
    }
    Prompter().Message("The user manual was not found: " + candidates.front(), MsgIcon::Stop);
}
