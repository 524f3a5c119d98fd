#include "app/SettingsCommands.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/ConversionCommands.h"
#include "app/HyperLink.h"
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

std::vector<std::string> CSettingsCommands::ManualCandidates() {
    return {g_strDriveRoot + "Quorvellian/" + kManualName,
            QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(kManualName).toStdString()};
}

void CSettingsCommands::OnUserManual() {
    const auto candidates = ManualCandidates();
    for (const std::string& path : candidates) {
        if (!QFileInfo(QString::fromStdString(path)).isFile()) continue;
        const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
        const bool opened = s_openUrl ? s_openUrl(url) : QDesktopServices::openUrl(url);
        if (opened) return;
        Prompter().Message("The user manual could not be opened: " + path, MsgIcon::Stop);
        return;
    }
    Prompter().Message("The user manual was not found: " + candidates.front(), MsgIcon::Stop);
}
