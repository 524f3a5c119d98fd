// startup-uibench [runs] [sessions]: times the program's start from the
// launch of its process to its main window painted, on an empty work area
// (the first start has made its folders and files; the timed starts find
// them), or with `sessions` a master data file of that many sessions. Each
// run is a
// new process of this program that starts the window as main() does and
// reports the moment the main window's first paint is done; the launch
// (loading the libraries) is part of the time.
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise (xcb with DISPLAY for
// a real X server); the work area and the settings live in a temporary
// folder that is removed at the end.
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchMasterFile.h"
#include "app/MainFrame.h"
#include "app/QuorvellianApp.h"
#include "platform/Prompter.h"
#include "UiBench.h"

extern char** environ;

namespace {

long long MonotonicNs() {
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

// The first paint of a window: the moment it has been drawn.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Once this paint (and the children's in the same pass) is done.
            QTimer::singleShot(0, [] {
                std::printf("%lld\n", MonotonicNs());
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(o, e);
    }

private:
    bool m_seen = false;
};

int Child(int argc, char** argv) {
    QApplication app(argc, argv);
    UseBenchSettings(std::getenv("QVL_BENCH_TMP"));
    CQuorvellianApp theApp;
    FirstPaint paint;
    if (!theApp.InitInstance()) return 1;
    theApp.MainFrame()->installEventFilter(&paint);
    const int rc = app.exec();
    theApp.ExitInstance();
    return rc;
}

// One start; the milliseconds from the launch to the painted window, or -1.
double TimedStart(const std::string& self) {
    int out[2];
    if (::pipe(out) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    std::vector<char*> argv{const_cast<char*>(self.c_str()), const_cast<char*>("--child"), nullptr};
    pid_t pid = 0;
    const long long t0 = MonotonicNs();
    const int rc = ::posix_spawn(&pid, self.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    std::string line;
    char buf[64];
    for (ssize_t n; rc == 0 && (n = ::read(out[0], buf, sizeof buf)) > 0;) line.append(buf, size_t(n));
    ::close(out[0]);
    int status = 0;
    if (rc == 0) ::waitpid(pid, &status, 0);
    if (rc != 0 || line.empty()) return -1;
    return double(std::atoll(line.c_str()) - t0) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) {
        qInstallMessageHandler(DropQtChatter);
        return Child(argc, argv);
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const int sessions = argc > 2 ? std::max(0, std::atoi(argv[2])) : 0;
    const std::string tmp = PrepareBenchFolder("/tmp/qvl-startup-XXXXXX");
    if (tmp.empty()) return 1;
    ::setenv("QVL_BENCH_TMP", tmp.c_str(), 1);
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;

    // The first start makes the work area's folders and files.
    const double first = TimedStart(self);
    if (sessions > 0) {
        // Every timed start finds them (each one saves them again at its end).
        const std::string master = tmp + "/area/QVL-UserInfo/SessionInfo/_qvl_master.txt";
        std::FILE* f = std::fopen(master.c_str(), "w");
        const std::string text = MakeMasterText(sessions, false);
        if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
            std::fprintf(stderr, "startup-uibench: cannot write %s\n", master.c_str());
            return 1;
        }
    }
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = TimedStart(self);
        if (ms < 0) {
            std::fprintf(stderr, "startup-uibench: a start failed\n");
            break;
        }
        times.push_back(ms);
    }
    std::filesystem::remove_all(tmp);
    if (times.empty()) return 1;
    std::sort(times.begin(), times.end());
    std::printf("first start (making the work area): %.1f ms\n", first);
    if (sessions > 0) std::printf("master data file of %d sessions\n", sessions);
    std::printf("launch to main window painted, %zu runs: median %.1f ms, min %.1f ms, max %.1f ms\n", times.size(),
                times[times.size() / 2], times.front(), times.back());
    return 0;
}
