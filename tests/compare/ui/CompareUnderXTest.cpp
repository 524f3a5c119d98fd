// The diff window tests once more on a real X server (Xvfb): stepping,
// synchronised scrolling, search, go to line and copying through the X
// clipboard. The test program runs them in a child with DISPLAY set and the
// xcb platform.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "remote/TestServers.h"

namespace {

// Xvfb on a display it picks itself (-displayfd); empty when it cannot start.
std::string StartDiffXvfb(qvltest::Child& server, std::string& why) {
    if (::access("/usr/bin/Xvfb", X_OK) != 0) {
        why = "Xvfb is not installed (run scripts/setup)";
        return {};
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        why = "no pipe for Xvfb";
        return {};
    }
    server.Start({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24",
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
    if (number.empty()) why = "Xvfb could not start a display";
    return number.empty() ? std::string() : ":" + number;
}

}  // namespace

TEST(CompareUnderX, DiffWindowTestsPassOnARealXServer) {
    if (getenv("QVL_UNDER_X")) GTEST_SKIP() << "already the child run";
    qvltest::Child server;
    std::string why;
    const std::string display = StartDiffXvfb(server, why);
    if (display.empty()) GTEST_SKIP() << why;
    char self[PATH_MAX] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::string filter = "CompareCommandsTest.QuickDiff*:CompareCommandsTest.ThreeFiles*:DiffWindowToolsTest.*";
    const std::string line = "env DISPLAY=" + display + " QT_QPA_PLATFORM=xcb QVL_UNDER_X=1 '" + self +
                             "' --gtest_filter='" + filter + "' 2>&1";
    std::string out;
    FILE* f = ::popen(line.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    const int status = ::pclose(f);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 7 tests."), std::string::npos) << out;
}
