// The WorkPad's tests once more on a real X server (Xvfb): the big
// conversion with its ticker and Stop, find and replace in UTF-8 text, the
// Attributes dialog beside the pad and the rules viewer. The test program
// runs those tests in a child with DISPLAY set and the xcb platform.
#include <gtest/gtest.h>

#include <string>

#include "support/XServer.h"

TEST(ConversionUnderX, WorkPadTestsPassOnARealXServer) {
    if (getenv("QVL_UNDER_X")) GTEST_SKIP() << "already the child run";
    qvltest::XServer server;
    std::string why;
    if (!server.Start(why)) GTEST_SKIP() << why;
    const std::string filter =
        "ConversionCommandsTest.BigInput*:ConversionCommandsTest.FindNext*:"
        "ConversionCommandsTest.Attributes*:ConversionCommandsTest.KnobLinks*";
    const qvltest::SelfRun run = qvltest::RunSelfUnderX(server.Display(), filter);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.Exited0()) << run.out;
    EXPECT_NE(run.out.find("[  PASSED  ] 4 tests."), std::string::npos) << run.out;
}
