// The WorkPad's run on a snapshot, find and replace next, and the mapping
// of the engine's byte offsets to text-box positions.
#include <gtest/gtest.h>

#include <thread>

#include "convert_ui/WorkPadRun.h"

namespace {
CLibraryList OneLibrary(std::initializer_list<CMacro> macros) {
    CLibraryList list;
    CLibrary lib("test");
    lib.MacroList.assign(macros);
    list.Append(lib);
    return list;
}
}  // namespace

TEST(WorkPadRun, ConvertsWithTheMacroOrTheLibraryOfItsSnapshot) {
    CLibraryList live = OneLibrary({CMacro("a", "b"), CMacro("b", "c")});
    CMacro macro("x", "y");
    WorkPadSnapshot snap = TakeWorkPadSnapshot(live, macro, 0, 0);
    // Later changes of the live data do not reach the run.
    live[0].MacroList.clear();
    macro.Replace = "z";
    std::string out, marker;
    ASSERT_TRUE(RunWorkPadConversion(snap, "xax", out, marker, nullptr));
    EXPECT_EQ(out, "yay");
    WorkPadSnapshot lib = TakeWorkPadSnapshot(OneLibrary({CMacro("a", "b"), CMacro("b", "c")}), macro, 0, 1);
    ASSERT_TRUE(RunWorkPadConversion(lib, "xax", out, marker, nullptr));
    EXPECT_EQ(out, "xcx");
}

TEST(WorkPadRun, AStopEndsTheRunWithTheMarkerAndNoOutput) {
    std::atomic<bool> stop{true};
    WorkPadSnapshot snap = TakeWorkPadSnapshot(OneLibrary({}), CMacro("a", "b"), 0, 0);
    std::string out = "before", marker;
    EXPECT_FALSE(RunWorkPadConversion(snap, "aaa", out, marker, &stop));
    EXPECT_EQ(marker, "-i-aborted");
    EXPECT_EQ(out, "before");
    EXPECT_EQ(InteractiveStatusLine(marker), "--- Itr cvt -i-aborted ---");

    // A stop raised while a long text converts ends it early.
    std::string big;
    for (int i = 0; i < 200000; ++i) big += "abc def\r\n";
    std::atomic<bool> later{false};
    WorkPadSnapshot longRun = TakeWorkPadSnapshot(OneLibrary({}), CMacro("abc", "xyz"), 0, 0);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        later = true;
    });
    out.clear();
    const bool done = RunWorkPadConversion(longRun, big, out, marker, &later);
    stopper.join();
    if (!done) EXPECT_TRUE(out.empty());
    else EXPECT_EQ(out.substr(0, 9), "xyz def\r\n");
}

TEST(WorkPadRun, FindAndReplaceNextStepThroughTheMatches) {
    const CLibraryList libs = OneLibrary({});
    const CMacro macro("ab", "X");
    std::size_t s = 0, e = 0;
    ASSERT_TRUE(FindNextMatch(libs, 0, macro, "ab ab", 0, s, e));
    EXPECT_EQ(s, 0u);
    EXPECT_EQ(e, 2u);
    ASSERT_TRUE(FindNextMatch(libs, 0, macro, "ab ab", e, s, e));
    EXPECT_EQ(s, 3u);
    EXPECT_FALSE(FindNextMatch(libs, 0, macro, "ab ab", 5, s, e));

    std::string text = "ab ab";
    std::size_t r = 0, re = 0;
    // A selection that is no match changes nothing.
    EXPECT_FALSE(ReplaceSelectedMatch(libs, 0, macro, text, 1, 3, r, re));
    ASSERT_TRUE(ReplaceSelectedMatch(libs, 0, macro, text, 3, 5, r, re));
    EXPECT_EQ(text, "ab X");
    EXPECT_EQ(r, 3u);
    EXPECT_EQ(re, 4u);
    // A wild macro replaces with its template.
    CMacro wild("<*>", "[*]", 1, 1, 1, 0, 0, 0, 0, 1);
    text = "a <b> c";
    ASSERT_TRUE(FindNextMatch(libs, 0, wild, text, 0, s, e));
    ASSERT_TRUE(ReplaceSelectedMatch(libs, 0, wild, text, s, e, r, re));
    EXPECT_EQ(text, "a [b] c");
}

TEST(WorkPadRun, ByteOffsetsMapToBoxPositionsInUtf8Text) {
    // "é" is two bytes, one position; CR LF is one position; "𝄞" four bytes, two units.
    const std::string t = "\xc3\xa9x\r\ny\xf0\x9d\x84\x9ez";
    EXPECT_EQ(BoxPositionOfOffset(t, 2), 1);
    EXPECT_EQ(BoxPositionOfOffset(t, 3), 2);
    EXPECT_EQ(BoxPositionOfOffset(t, 5), 3);
    EXPECT_EQ(BoxPositionOfOffset(t, 10), 6);
    for (std::size_t off : {0u, 2u, 3u, 5u, 6u, 10u, 11u})
        EXPECT_EQ(OffsetOfBoxPosition(t, BoxPositionOfOffset(t, off)), off) << off;
    // Find next in UTF-8 text selects the characters of the match.
    std::size_t s = 0, e = 0;
    const std::string text = "\xc3\xa9t\xc3\xa9 caf\xc3\xa9";
    ASSERT_TRUE(FindNextMatch(OneLibrary({}), 0, CMacro("caf\xc3\xa9", "x"), text, 0, s, e));
    EXPECT_EQ(BoxPositionOfOffset(text, s), 4);
    EXPECT_EQ(BoxPositionOfOffset(text, e), 8);
}

TEST(WorkPadRun, MacroIsNewUnlessTextsAndSevenFlagsMatch) {
    CLibraryList libs = OneLibrary({CMacro("a", "b")});
    CMacro same("a", "b");
    same.IsActive = 0;
    EXPECT_FALSE(IsMacroNewToLibrary(libs, 0, same));
    EXPECT_TRUE(IsMacroNewToLibrary(libs, 0, CMacro("A", "b")));
    CMacro wild("a", "b");
    wild.IsPerLine = 1;
    EXPECT_TRUE(IsMacroNewToLibrary(libs, 0, wild));
    EXPECT_FALSE(IsMacroNewToLibrary(libs, 4, CMacro("q", "r")));
}
