// startup-uibench [runs] [items] [sessions]: times the program's start from
// the launch of its process to its main window painted, on an empty work area
// (the first start has made its folders and files; the timed starts find
// them), or with `sessions` a master data file of that many sessions. With
// `items`, each run also starts on a second work area whose current session
// holds that many items. Each run is a new process of this program that starts the window as main() does and
// reports the moment the main window's first paint is done; the launch
// (loading the libraries) is part of the time.
//
// With items (say 10000), a second work area is made whose current session
// holds that many file items in one basket (local files in sync), and the
// starts alternate between the two areas: the large start beside the empty
// one from the same run.
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
#include "LargeSessionArea.h"
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

// Writes the large session's work area (the first start has made its folders).
int MakeArea(int argc, char** argv, int items) {
    QApplication app(argc, argv);
    UseBenchSettings(std::getenv("QVL_BENCH_TMP"));
    CreateWorkAreaFolders();
    const std::string files = std::string(std::getenv("QVL_BENCH_TMP")) + "/files/";
    MakeLocalFiles(files, items);
    WriteWorkArea(files, items, true);
    return 0;
}

// Points the children at the work area and settings under tmp.
void UseArea(const std::string& tmp) {
    ::setenv("QVL_BENCH_TMP", tmp.c_str(), 1);
    ::setenv("QVL_ROOT", (tmp + "/area").c_str(), 1);
}

// One start; the milliseconds from the launch to the painted window, or -1.
double TimedStart(const std::string& self, const char* mode = "--child") {
    int out[2];
    if (::pipe(out) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    std::vector<char*> argv{const_cast<char*>(self.c_str()), const_cast<char*>(mode), nullptr};
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

void Print(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%s, %zu runs: median %.1f ms, min %.1f ms, max %.1f ms\n", what, times.size(),
                times[times.size() / 2], times.front(), times.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) {
        qInstallMessageHandler(DropQtChatter);
        return Child(argc, argv);
    }
    if (argc > 2 && std::strcmp(argv[1], "--make-area") == 0) {
        qInstallMessageHandler(DropQtChatter);
        return MakeArea(argc, argv, std::atoi(argv[2]));
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const int items = argc > 2 ? std::max(0, std::atoi(argv[2])) : 0;
    const int sessions = argc > 3 ? std::max(0, std::atoi(argv[3])) : 0;
    const std::string tmp = PrepareBenchFolder("/tmp/qvl-startup-XXXXXX");
    if (tmp.empty()) return 1;
    std::string large;
    if (items > 0) {
        large = PrepareBenchFolder("/tmp/qvl-startup-XXXXXX");
        if (large.empty()) return 1;
    }
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;

    // The first start makes the work area's folders and files.
    UseArea(tmp);
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
    if (items > 0) {
        UseArea(large);
        const std::string count = std::to_string(items);
        std::vector<char*> av{self, const_cast<char*>("--make-area"), const_cast<char*>(count.c_str()), nullptr};
        pid_t pid = 0;
        int status = 0;
        if (TimedStart(self) < 0 || ::posix_spawn(&pid, self, nullptr, nullptr, av.data(), environ) != 0 ||
            ::waitpid(pid, &status, 0) != pid || status != 0) {
            std::fprintf(stderr, "startup-uibench: cannot make the large work area\n");
            return 1;
        }
        TimedStart(self);  // its first start reads the new files into the cache
    }
    std::vector<double> times, largeTimes;
    for (int i = 0; i < runs; ++i) {
        UseArea(tmp);
        const double ms = TimedStart(self);
        double lms = 0;
        if (items > 0) {
            UseArea(large);
            lms = TimedStart(self);
        }
        if (ms < 0 || lms < 0) {
            std::fprintf(stderr, "startup-uibench: a start failed\n");
            break;
        }
        times.push_back(ms);
        if (items > 0) largeTimes.push_back(lms);
    }
    std::filesystem::remove_all(tmp);
    if (!large.empty()) std::filesystem::remove_all(large);
    if (times.empty()) return 1;
    std::printf("first start (making the work area): %.1f ms\n", first);
    if (sessions > 0) std::printf("master data file of %d sessions\n", sessions);
    Print("launch to main window painted", times);
    if (!largeTimes.empty()) {
        const std::string what =
            "the same with a session of " + std::to_string(items) + " items current";
        Print(what.c_str(), largeTimes);
        std::vector<double> a = times, b = largeTimes;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        std::printf("large / empty, medians: %.2f\n", b[b.size() / 2] / a[a.size() / 2]);
    }
    return 0;
}
