#include "app/QuorvellianApp.h"

#include "widgets/Icons.h"

#include <QApplication>
#include <QSessionManager>
#include <QSettings>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <sys/stat.h>
#include <thread>

#include "app/MainFrame.h"
#include "app/QtPrompter.h"
#include "compare/ui/FileDiffManagerDlg.h"
#include "convert_ui/BatchRows.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/EndSignals.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"

QString RegistryKey() { return QString(kRegistryKeyPrefix) + kProgramVersion; }

void CRecentFileList::Load() {
    QSettings settings;
    m_files.clear();
    settings.beginGroup("Recent File List");
    for (int i = 1; i <= m_size; ++i) {
        QString f = settings.value(QString("File%1").arg(i)).toString();
        if (!f.isEmpty()) m_files << f;
    }
    settings.endGroup();
}

void CRecentFileList::Save() const {
    QSettings settings;
    settings.beginGroup("Recent File List");
    settings.remove("");
    for (int i = 0; i < m_files.size(); ++i)
        settings.setValue(QString("File%1").arg(i + 1), m_files[i]);
    settings.endGroup();
}

void CRecentFileList::Add(const QString& path) {
    m_files.removeAll(path);
    m_files.prepend(path);
    while (m_files.size() > m_size) m_files.removeLast();
}

namespace {
CQuorvellianApp* g_theApp = nullptr;

// The lock is on the user folder itself, whatever stands inside it; on the
// work area's root when there is no user folder (it could not be made). A
// file system that cannot lock a folder gets the lock file inside it.
CWorkAreaLock::Result LockWorkArea(CWorkAreaLock& lock, std::string& path) {
    struct stat st {};
    path = ::stat(g_strUserInfoDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? g_strUserInfoDir : g_strDriveRoot;
    const CWorkAreaLock::Result held = lock.TakeFolder(path);
    if (held != CWorkAreaLock::Result::Failed) return held;
    path += kWorkAreaLockName;
    return lock.TakeFile(path);
}
}  // namespace

CQuorvellianApp::CQuorvellianApp() { g_theApp = this; }

CQuorvellianApp* CQuorvellianApp::Instance() { return g_theApp; }

CQuorvellianApp::~CQuorvellianApp() {
    if (g_theApp == this) g_theApp = nullptr;
    m_accel.WriteOnExit();
    m_accel.Connect(nullptr, false);
    m_mainFrame.reset();
    if (m_prompter) SetPrompter(nullptr);
}

bool CQuorvellianApp::InitInstance() {
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QCoreApplication::setOrganizationName(RegistryKey());
    QCoreApplication::setApplicationName(kApplicationName);
    // A settings file that is a named pipe or a device must not block or
    // flood the start: such a run starts with the defaults.
    std::string settingsNote;
    const std::string odd = FindIrregularSettingsFile(RegistryKey(), kApplicationName);
    if (!odd.empty()) {
        // This run's settings go to an empty folder of its own; the odd file
        // is neither read nor written.
        m_spareSettings = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           m_spareSettings->isValid() ? m_spareSettings->path() : QString("/nonexistent"));
        settingsNote = "The settings file " + odd +
                       " is not a regular file: it is left alone, and the program starts with its default "
                       "settings, which are not kept after this run.";
    }
    m_recent.Load();
    DeferStandardIcons();

    m_prompter = std::make_unique<QtPrompter>();
    SetPrompter(m_prompter.get());

    CreateWorkAreaFolders();
    // One window per work area: the one that closed last would write its
    // own data over what the other had saved.
    std::string lockPath;
    const CWorkAreaLock::Result lock = LockWorkArea(m_workAreaLock, lockPath);
    if (lock == CWorkAreaLock::Result::Taken) {
        Prompter().Message("Quorvellian is already running on the work area " + g_strDriveRoot +
                               ".\r\nA second window on it would overwrite the sessions of the other one when "
                               "it closes.\r\n\r\nThis window opens nothing and quits. Use the window "
                               "that is running, or close it and start again.",
                           MsgIcon::Stop);
        return false;
    }
    if (lock == CWorkAreaLock::Result::Failed) {
        Prompter().Message("Quorvellian cannot make sure that no other window works on the work area " +
                               g_strDriveRoot + ": the lock on\r\n" + lockPath + "\r\ncould not be taken (" +
                               SystemErrorText(m_workAreaLock.Error()) +
                               ").\r\n\r\nThis window opens nothing and quits, so that it overwrites no "
                               "other window's sessions.",
                           MsgIcon::Stop);
        return false;
    }

    m_mainFrame = std::make_unique<CMainFrame>();
    m_prompter->SetParentWindow(m_mainFrame.get());
    m_mainFrame->show();
    if (!settingsNote.empty()) WriteTrace(settingsNote);

    // The keyboard: defaults first, then the user's keys over them.
    m_accel.SetStore(&m_store);
    m_accel.Connect(m_mainFrame.get(), true);
    InstallAccelerators(m_accel);
    m_accelPath = LoadUserAccelerators(m_accel, RegistryKey().toStdString(), kApplicationName);
    // The keys are written back only into an existing key: make sure it
    // exists, so the first run's keys are kept too.
    if (!m_accelPath.empty()) m_store.CreateKey(m_accelPath);
    return true;
}

bool CQuorvellianApp::EndRequested() { return m_prompter && m_prompter->EndRun(); }

void CQuorvellianApp::ExitInstance() {
    m_recent.Save();
    m_accel.WriteOnExit();
    m_accel.Connect(nullptr, false);
    if (m_mainFrame) m_prompter->SetParentWindow(nullptr);
    m_mainFrame.reset();
    // Everything is saved: another window may have the work area now.
    m_workAreaLock.Release();
}

namespace {

// A logout, a shutdown or Ctrl+C in the terminal ends the run as closing the
// window does: the signal's handler wakes the event loop through a pipe.
QSocketNotifier* WatchEndSignals(QObject* owner, std::function<void()> end) {
    const int fd = InstallEndSignals();
    if (fd < 0) return nullptr;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [notifier, end] {
        DrainEndSignals();
        notifier->setEnabled(false);
        end();
    });
    return notifier;
}

// The window's events are delivered here: an error that escapes a command
// of a dialog or a menu ends that event only, and is named.
class CGuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ReportCommandError(e.what());
        } catch (...) {
            ReportCommandError("an unknown error");
        }
        return false;
    }
};

}  // namespace

int RunWindowRoad(int argc, char** argv) {
    CGuardedApplication app(argc, argv);
    CQuorvellianApp theApp;
    // A request to end that comes while the window is still being made (a
    // start-up warning waits for its OK, a long load runs) is served as soon
    // as the window exists.
    bool started = false, endPending = false;
    // Saves what a close saves, asks nothing, and ends the event loop.
    const auto endRun = [&theApp, &started, &endPending] {
        // No box waits for its answer from now on: the ones that are up are
        // closed unanswered, and later ones are not shown.
        const bool insideDialog = theApp.EndRequested();
        if (!started) {
            endPending = true;
            return;
        }
        // Inside a dialog's loop the close waits until that loop has returned
        // (below): the code that opened the dialog (a transfer waiting for
        // its login data) goes on first, and its worker can end.
        if (!insideDialog)
            if (CMainFrame* frame = theApp.MainFrame()) frame->CloseWithoutQuestions();
        // Not quit(): that closes every window at once, here, inside the
        // dialog's loop; exit() only ends the loops.
        QCoreApplication::exit(0);
    };
    WatchEndSignals(&app, endRun);
    // The desktop session ends: the same, before the session manager goes on.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [endRun](QSessionManager&) { endRun(); });
    if (!theApp.InitInstance()) return 1;
    started = true;
    if (endPending) QTimer::singleShot(0, &app, endRun);
    int rc = app.exec();
    // Any way out of the event loop saves like a close, here where no
    // dialog's loop is left open below it.
    if (CMainFrame* frame = theApp.MainFrame()) frame->CloseWithoutQuestions();
    // The data is saved. What is left (the windows go, each worker is told
    // to stop and waited for a while) must not keep the program from ending,
    // whatever a worker is stuck in.
    std::thread([rc] {
        std::this_thread::sleep_for(std::chrono::seconds(10));
        std::fflush(nullptr);
        std::_Exit(rc);
    }).detach();
    theApp.ExitInstance();
    // Everything is saved by now. A transfer thread that did not end within
    // the close's wait (stuck in a call that will never return) would abort
    // the program when its thread object is destroyed at exit, and a batch
    // worker let go at the close would run on while the program's data is
    // taken down: the process ends here instead, without waiting for them
    // (a diff's worker as well).
    if (!JoinFtpWorker(2000) || !JoinKeepAlive(500) || BatchWorkerRunning() ||
        CFileDiffManagerDlg::DiffWorkerLeft()) {
        std::fflush(nullptr);
        std::_Exit(rc);
    }
    return rc;
}
