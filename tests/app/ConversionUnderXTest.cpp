// The WorkPad's tests once more on a real X server (Xvfb): the big
// conversion with its ticker and Stop, find and replace in UTF-8 text, the
// Attributes dialog beside the pad and the rules viewer. The test program
// runs those tests in a child with DISPLAY set and the xcb platform.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "support/XServer.h"

TEST(ConversionUnderX, WorkPadTestsPassOnARealXServer) {
    if (getenv("QVL_UNDER_X")) GTEST_SKIP() << "already the child run";
    qvltest::XServer server;
    std::string why;
    if (!server.Start(why)) GTEST_SKIP() << why;
    const std::string display = server.Display();
    char self[PATH_MAX] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::string filter =
        "ConversionCommandsTest.BigInput*:ConversionCommandsTest.FindNext*:"
        "ConversionCommandsTest.Attributes*:ConversionCommandsTest.KnobLinks*";
    const std::string line = "env DISPLAY=" + display + " QT_QPA_PLATFORM=xcb QVL_UNDER_X=1 '" + self +
                             "' --gtest_filter='" + filter + "' 2>&1";
    std::string out;
    FILE* f = ::popen(line.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    const int status = ::pclose(f);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 4 tests."), std::string::npos) << out;
}
