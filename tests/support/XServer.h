// A real X server for the tests that drive windows under X: Xvfb on a display
// it picks itself (-displayfd), stopped with the object.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "remote/TestServers.h"
#include "support/TempDir.h"

namespace qvltest {

class XServer {
public:
    // False, with the reason, when no display could be started.
    bool Start(std::string& why, const std::string& screen = "1280x800x24") {
        if (::access("/usr/bin/Xvfb", X_OK) != 0) {
            why = "Xvfb is not installed (run scripts/setup)";
            return false;
        }
        int fds[2];
        if (::pipe(fds) != 0) {
            why = "no pipe for Xvfb";
            return false;
        }
        m_child.Start({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                       "-nolisten", "tcp"});
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        for (int waited = 0; waited < 10000 && number.find('\n') == std::string::npos; waited += 50) {
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[32];
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, size_t(n));
        }
        ::close(fds[0]);
        while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
        if (number.empty() || !m_child.Running()) {
            why = "Xvfb could not start a display";
            m_child.Stop();
            return false;
        }
        m_display = ":" + number;
        return true;
    }
    const std::string& Display() const { return m_display; }

private:
    Child m_child;
    std::string m_display;
};

// This test program run once more on the display with the xcb platform and
// QVL_UNDER_X set, limited to the tests the filter names.
struct SelfRun {
    bool started = false;  // false when the program or its pipe could not be had
    int status = -1;       // as from waitpid
    std::string out;       // standard output and error together
    bool Exited0() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

inline SelfRun RunSelfUnderX(const std::string& display, const std::string& filter) {
    SelfRun run;
    char self[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return run;
    const std::string line = "env DISPLAY=" + display + " QT_QPA_PLATFORM=xcb QVL_UNDER_X=1 '" + self +
                             "' --gtest_filter='" + filter + "' 2>&1";
    FILE* f = ::popen(line.c_str(), "r");
    if (!f) return run;
    run.started = true;
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) run.out.append(buf, n);
    run.status = ::pclose(f);
    return run;
}

// Runs a command line; what it printed (standard output and error).
inline std::string RunShell(const std::string& line) {
    std::string out;
    if (FILE* f = ::popen((line + " 2>&1").c_str(), "r")) {
        char buf[256];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        ::pclose(f);
    }
    return out;
}

// xdotool with a time limit, so that a lost window never hangs a test.
inline std::string Xdo(const std::string& args) { return RunShell("/usr/bin/timeout 20 /usr/bin/xdotool " + args); }

// Waits until a window manager runs on the display: it names its check
// window on the root window.
inline bool WaitForWindowManager(const std::string& display, int ms = 20000) {
    return WaitFor(
        [&] {
            return RunShell("/usr/bin/timeout 5 /usr/bin/xprop -display " + display +
                            " -root _NET_SUPPORTING_WM_CHECK")
                       .find("window id") != std::string::npos;
        },
        ms);
}

// The surroundings of a program started on the X server: its display, the
// xcb platform, and a home, settings and runtime folder of its own below dir.
inline std::vector<std::unique_ptr<ScopedEnv>> ProgramEnvUnderX(const std::string& display, const std::string& dir) {
    const std::string home = dir + "/home", run = dir + "/run";
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(run);
    ::chmod(run.c_str(), 0700);
    std::vector<std::unique_ptr<ScopedEnv>> env;
    env.push_back(std::make_unique<ScopedEnv>("DISPLAY", display.c_str()));
    env.push_back(std::make_unique<ScopedEnv>("QT_QPA_PLATFORM", "xcb"));
    env.push_back(std::make_unique<ScopedEnv>("HOME", home.c_str()));
    env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (home + "/.config").c_str()));
    env.push_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", run.c_str()));
    return env;
}

}  // namespace qvltest
