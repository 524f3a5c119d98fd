// The diff window tests once more on a real X server (Xvfb): stepping,
// synchronised scrolling, search, go to line, copying through the X
// clipboard, dragging rows onto the palette with the mouse, and the keys of
// the panes and the palette with the program's key table installed. The
// test program runs them in a child with DISPLAY set and the xcb platform.
#include <gtest/gtest.h>

#include <string>

#include "support/XServer.h"

TEST(CompareUnderX, DiffWindowTestsPassOnARealXServer) {
    if (getenv("QVL_UNDER_X")) GTEST_SKIP() << "already the child run";
    qvltest::XServer server;
    std::string why;
    if (!server.Start(why)) GTEST_SKIP() << why;
    const std::string filter =
        "CompareCommandsTest.QuickDiff*:CompareCommandsTest.ThreeFiles*:DiffWindowToolsTest.*:"
        "PaletteCommandsTest.RowsDraggedOntoThePalette:CommandRoutingTest.KeysBelongToTheWindowWithTheFocus";
    const qvltest::SelfRun run = qvltest::RunSelfUnderX(server.Display(), filter);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.Exited0()) << run.out;
    EXPECT_NE(run.out.find("[  PASSED  ] 9 tests."), std::string::npos) << run.out;
}
