// A real X server for the tests that drive windows under X: Xvfb on a display
// it picks itself (-displayfd), stopped with the object.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

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

}  // namespace qvltest
