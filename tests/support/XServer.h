// A real X server for the tests that drive windows under X: Xvfb on a display
// it picks itself (-displayfd), stopped with the object.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "remote/TestServers.h"

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

}  // namespace qvltest
