#include "app/QuorvellianApp.h"

#include "app/Icons.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSettings>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <functional>

#include "app/MainFrame.h"
#include "app/QtPrompter.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "model/WorkArea.h"

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
}

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

void CQuorvellianApp::ExitInstance() {
    m_recent.Save();
    m_accel.WriteOnExit();
    m_accel.Connect(nullptr, false);
    if (m_mainFrame) m_prompter->SetParentWindow(nullptr);
    m_mainFrame.reset();
}

namespace {

// A logout, a shutdown or Ctrl+C in the terminal ends the run as closing the
// window does. The signal handler only writes the signal's number into a
// pipe; the window reads it in its event loop. A second signal while the
// first is still being served ends the program at once.
int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_signalSeen = 0;

void OnEndSignal(int sig) {
    if (g_signalSeen) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    g_signalSeen = 1;
    const char c = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// Watches SIGTERM, SIGHUP and SIGINT; calls end in the event loop when one comes.
QSocketNotifier* WatchEndSignals(QObject* owner, std::function<void()> end) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [notifier, end] {
        char c;
        while (::read(g_signalPipe[0], &c, 1) > 0) {
        }
        notifier->setEnabled(false);
        end();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &sa, nullptr);
    return notifier;
}

}  // namespace

int RunWindowRoad(int argc, char** argv) {
    QApplication app(argc, argv);
    CQuorvellianApp theApp;
    // Saves what a close saves, asks nothing, and ends the event loop.
    const auto endRun = [&theApp] {
        if (CMainFrame* frame = theApp.MainFrame()) frame->CloseWithoutQuestions();
        QCoreApplication::quit();
    };
    WatchEndSignals(&app, endRun);
    // The desktop session ends: the same, before the session manager goes on.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [endRun](QSessionManager&) { endRun(); });
    // Any other way out of the event loop still saves like a close.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&theApp] {
        if (CMainFrame* frame = theApp.MainFrame()) frame->CloseWithoutQuestions();
    });
    if (!theApp.InitInstance()) return 1;
    int rc = app.exec();
    theApp.ExitInstance();
    return rc;
}
