// The line tools, case changes, tab expansion and "Append Right".
#include <gtest/gtest.h>

#include "model/Library.h"
#include "convert/TextTools.h"

TEST(TextTools, SortHonoursCaseOrderAndDuplicates) {
    EXPECT_EQ(SortTextLines("b\r\nA\r\na", true, true, false), "A\r\na\r\nb");
    EXPECT_EQ(SortTextLines("b\r\nA\r\na", false, true, false), "b\r\na\r\nA");
    const std::string folded = SortTextLines("b\r\nA\r\na", true, false, true);
    EXPECT_TRUE(folded == "A\r\nb" || folded == "a\r\nb") << folded;
    // Bytes above 127 sort after ASCII; a prefix sorts first; empty lines take part.
    EXPECT_EQ(SortTextLines("\xc3\xa9\r\nab\r\na\r\n", true, true, false), "\r\na\r\nab\r\n\xc3\xa9");
    // Duplicates are removed only where they are equal.
    EXPECT_EQ(SortTextLines("x\r\nx\r\ny\r\nX", true, true, true), "X\r\nx\r\ny");
    EXPECT_EQ(SortTextLines("", true, true, true), "");
}

TEST(TextTools, DuplicateLinesKeepTheirFirstPlace) {
    EXPECT_EQ(ClearDuplicateLines("x\r\ny\r\nx\r\nX"), "x\r\ny\r\nX");
    EXPECT_EQ(ClearDuplicateLines("a\r\n\r\nb\r\n\r\n"), "a\r\n\r\nb");
}

TEST(TextTools, FrequencyReportPadsToTheNextMultipleOf16) {
    const std::string expected = "a" + std::string(15, ' ') + "1\r\n" + "b" + std::string(15, ' ') +
                                 "2\r\n" + std::string(24, '-') + "\r\n" + "Total" +
                                 std::string(11, ' ') + "3";
    EXPECT_EQ(CountFrequency("b\r\na\r\nb"), expected);
    // A sixteen-character item moves the column to 32.
    const std::string r = CountFrequency(std::string(16, 'q'));
    EXPECT_EQ(r.substr(0, 33), std::string(16, 'q') + std::string(16, ' ') + "1");
    // Nothing to count: the separator and a total of 0, nothing read past the end.
    EXPECT_EQ(CountFrequency("\r\n\r\n"), std::string(24, '-') + "\r\nTotal" + std::string(11, ' ') + "0");
}

TEST(TextTools, MultiLineBreaksBecomeOne) {
    CLibraryList libs;
    libs.Append(CLibrary());
    libs.CurrentLibrary = 0;
    EXPECT_EQ(ClearMultiLineBreaks(libs, "a\r\n  \r\n\r\nb"), "a\r\nb");
    EXPECT_EQ(ClearMultiLineBreaks(libs, "a\r\nb"), "a\r\nb");
    // Without a current library a default one is added first.
    CLibraryList none;
    none.CurrentLibrary = 3;
    EXPECT_EQ(ClearMultiLineBreaks(none, "a\r\n\t\r\nb"), "a\r\nb");
    EXPECT_EQ(none.GetCount(), 1);
    EXPECT_EQ(none.CurrentLibrary, 0);
}

TEST(TextTools, CaseChangesTheRangeOrTheWholeText) {
    EXPECT_EQ(ChangeCaseOfRange("abc def", 4, 7, true), "abc DEF");
    EXPECT_EQ(ChangeCaseOfRange("abc def", 3, 3, true), "ABC DEF");
    EXPECT_EQ(ChangeCaseOfRange("ABC \xc3\x89T\xc3\x89", 0, 0, false), "abc \xc3\x89t\xc3\x89");
}

TEST(TextTools, LineBreakViewMarksEveryBreak) {
    EXPECT_EQ(ViewLineBreaks("ab\r\n"), "ab#|\r\n");
    EXPECT_EQ(ViewLineBreaks("a\nb\rc"), "a|\r\nb#c");
    EXPECT_EQ(ViewLineBreaks(""), "");
}

TEST(TextTools, TabsExpandToTheNextStop) {
    std::string t = "a\tb";
    ASSERT_TRUE(ExpandTabs(t, 4));
    EXPECT_EQ(t, "a   b");
    t = "\tx";
    ASSERT_TRUE(ExpandTabs(t, 4));
    EXPECT_EQ(t, "    x");
    t = "abc\r\n\tx";
    ASSERT_TRUE(ExpandTabs(t, 8));
    EXPECT_EQ(t, "abc\r\n        x");
    // A multi-byte character is one column.
    t = "\xc3\xa9\tx";
    ASSERT_TRUE(ExpandTabs(t, 4));
    EXPECT_EQ(t, "\xc3\xa9   x");
    EXPECT_EQ(BlanksToNextTabStop(3, 8), std::string(5, ' '));
    EXPECT_EQ(TabColumn("ab\ncd", 4), 1u);
    EXPECT_EQ(TabColumn("", 4), 0u);
    // A raised stop leaves the text as it was.
    std::atomic<bool> stop{true};
    t = "a\tb";
    EXPECT_FALSE(ExpandTabs(t, 4, &stop));
    EXPECT_EQ(t, "a\tb");
}

TEST(TextTools, TabWidthAnswersAreCheckedAndBounded) {
    std::string msg;
    bool warn = false;
    EXPECT_EQ(ParseTabWidthAnswer("0", msg, warn), 0);
    EXPECT_EQ(msg, "Invalid tab width.");
    EXPECT_EQ(ParseTabWidthAnswer("x", msg, warn), 0);
    EXPECT_EQ(msg, "Invalid tab width.");
    EXPECT_EQ(ParseTabWidthAnswer("  4x", msg, warn), 4);
    EXPECT_FALSE(warn);
    EXPECT_EQ(ParseTabWidthAnswer("64", msg, warn), 64);
    EXPECT_TRUE(warn);
    EXPECT_EQ(msg, "Caution:\r\n\r\nTab too big.");
    EXPECT_EQ(ParseTabWidthAnswer("256", msg, warn), 256);
    // Beyond 256 (and numbers that would overflow) are refused.
    EXPECT_EQ(ParseTabWidthAnswer("257", msg, warn), 0);
    EXPECT_NE(msg.find("Invalid tab width."), std::string::npos);
    EXPECT_EQ(ParseTabWidthAnswer("99999999999999999999", msg, warn), 0);
}

TEST(TextTools, AppendRightPadsOrCutsAtTheCaret) {
    // No caret: each Output line padded to the longest, a blank, the Input line.
    EXPECT_EQ(AppendRightText("a\r\nbbb", "1\r\n2\r\n3"), "a   1\r\nbbb 2\r\n    3");
    // Caret at column 0: the Input line, a blank and the whole Output line.
    EXPECT_EQ(AppendRightText("ab\r\ncd", "1\r\n2", 0), "1 ab\r\n2 cd");
    // Caret at column 1: cut after the first character of every line.
    EXPECT_EQ(AppendRightText("ab\r\ncd", "X\r\nY", 1), "a X b\r\nc Y d");
    // Caret past the end: as without a caret.
    EXPECT_EQ(AppendRightText("ab", "X", 2), "ab X");
}

#include "model/Globals.h"
#include "model/ProgramData.h"

TEST(TextTools, TabWidthFromTheMasterFileIsClamped) {
    CProgramData data;
    ASSERT_TRUE(data.ReadProgramOptions("Program Option: Version=1.0.735.0, TabWidth=100000, "));
    EXPECT_EQ(g_nTabWidth, kMaxTabWidth);
    ASSERT_TRUE(data.ReadProgramOptions("Program Option: Version=1.0.735.0, TabWidth=-5, "));
    EXPECT_EQ(g_nTabWidth, 8);
    ASSERT_TRUE(data.ReadProgramOptions("Program Option: Version=1.0.735.0, TabWidth=12, "));
    EXPECT_EQ(g_nTabWidth, 12);
    ResetProgramOptions();
}
