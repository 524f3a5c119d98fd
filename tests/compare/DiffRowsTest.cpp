// The window rules of the diff panes: labels, difference stepping, search,
// go to line, copying and the two-line comparison.
#include <gtest/gtest.h>

#include <deque>

#include "compare/DiffRows.h"

namespace {

// Rows with the given groups (-1 unchanged) and texts "l<i>" (kept for the
// whole run: rows point at their texts).
DiffRows Rows(const std::vector<int>& groups) {
    static std::deque<std::string> texts;
    DiffRows rows;
    for (size_t i = 0; i < groups.size(); ++i) {
        texts.push_back("l" + std::to_string(i));
        rows.emplace_back(groups[i] == -1 ? 0 : 1, static_cast<int>(i), groups[i], texts.back());
    }
    return rows;
}

TEST(DiffRowsNames, ShortensToTheLastTwoComponents) {
    EXPECT_EQ(ShortenDiffName("/home/u/src/main.c"), "src/main.c");
    EXPECT_EQ(ShortenDiffName("C:\\a\\b\\c.txt"), "b\\c.txt");
    EXPECT_EQ(ShortenDiffName("dir/file"), "dir/file");
    EXPECT_EQ(ShortenDiffName("Input window"), "Input window");
    EXPECT_EQ(ShortenDiffName("/file"), "/file");
}

TEST(DiffRowsLabels, SuffixesAndLineNumbers) {
    const DiffRows rows = Rows({-1, 1, 1, -1, 2});
    const int last = LastDifferenceNumber(rows);
    EXPECT_EQ(last, 2);
    EXPECT_EQ(DiffLabelSuffix(rows, 0, last), " (ok/2)");
    EXPECT_EQ(DiffLabelSuffix(rows, 2, last), " (1/2)");
    EXPECT_EQ(DiffLabelSuffix(rows, 5, last), " ~");
    EXPECT_EQ(DiffLabelSuffix(rows, -1, last), " ~");
    EXPECT_EQ(LastDifferenceNumber(Rows({-1, -1})), 0);
    EXPECT_EQ(LastDifferenceNumber({}), 0);
    EXPECT_EQ(DiffLineNumberText(-1, true), "");
    EXPECT_EQ(DiffLineNumberText(-2, true), ".");
    EXPECT_EQ(DiffLineNumberText(-2, false), "");
    EXPECT_EQ(DiffLineNumberText(41, false), "42");
}

TEST(DiffRowsStepping, NextAndPreviousDifference) {
    //                          0   1  2  3   4   5  6  7   8
    const DiffRows left = Rows({-1, 1, 1, -1, -1, 2, 2, -1, 3});
    const DiffRows right = left;
    const std::vector<const DiffRows*> panes{&left, &right};
    EXPECT_EQ(NextDifferenceRow(panes, 0), 1);
    EXPECT_EQ(NextDifferenceRow(panes, 1), 5);   // from difference 1 to the first row of 2
    EXPECT_EQ(NextDifferenceRow(panes, 6), 8);
    EXPECT_EQ(NextDifferenceRow(panes, 8), 9);   // the end: the row count
    EXPECT_EQ(NextDifferenceRow(panes, -1), 1);  // nothing selected: the first difference
    EXPECT_EQ(PreviousDifferenceRow(panes, 8), 6);  // last row of difference 2
    EXPECT_EQ(PreviousDifferenceRow(panes, 4), 2);
    EXPECT_EQ(PreviousDifferenceRow(panes, 1), -1);
    EXPECT_EQ(PreviousDifferenceRow(panes, -1), -1);
    EXPECT_EQ(PreviousDifferenceRow(panes, 40), -1);  // never reads outside
}

TEST(DiffRowsStepping, IdenticalInputsHaveNoDifference) {
    const DiffRows rows = Rows({-1, -1, -1});
    EXPECT_EQ(NextDifferenceRow({&rows, &rows}, 0), 3);
    EXPECT_EQ(PreviousDifferenceRow({&rows, &rows}, 2), -1);
}

TEST(DiffRowsStepping, ThreePanesTakeTheNearestDifference) {
    const DiffRows left = Rows({-1, -1, -1, -1, 1});
    const DiffRows middle = Rows({-1, 1, -1, -1, -1});
    const DiffRows right = Rows({-1, -1, -1, 1, -1});
    EXPECT_EQ(NextDifferenceRow({&left, &right, &middle}, 0), 1);
    EXPECT_EQ(NextDifferenceRow({&left, &right}, 0), 3);
    EXPECT_EQ(PreviousDifferenceRow({&left, &right, &middle}, 4), 3);
}

TEST(DiffRowsSearch, PartialExactAndWrapAround) {
    DiffRows rows = Rows({-1, -1, -1, -1});
    rows[0].SetText("  alpha  ");
    rows[1].SetText("beta");
    rows[2].SetText("gamma beta");
    rows[3].SetText("Beta");
    EXPECT_EQ(FindRowInPane(rows, "alpha", false, -1), -1);
    EXPECT_EQ(FindRowInPane(rows, " alpha ", true, -1), 0);
    EXPECT_EQ(FindRowInPane(rows, "beta", true, 1), 2);
    EXPECT_EQ(FindRowInPane(rows, "beta", false, 1), 1);  // wraps to the selected row itself
    EXPECT_EQ(FindRowInPane(rows, "alpha", true, 2), 0);  // continues from the top
    EXPECT_EQ(FindRowInPane(rows, "Beta", false, 3), 3);
    EXPECT_EQ(FindRowInPane(rows, "delta", true, 0), -1);
    EXPECT_EQ(FindRowInPane({}, "x", true, -1), -1);
    EXPECT_EQ(FindRowInPane(rows, "beta", false, 99), 1);  // a stale selection stays in bounds
}

TEST(DiffRowsGoTo, EntriesAndBounds) {
    EXPECT_FALSE(GoToLineRow("0", 10));
    EXPECT_FALSE(GoToLineRow("-3", 10));
    EXPECT_FALSE(GoToLineRow("abc", 10));
    EXPECT_FALSE(GoToLineRow("", 10));
    EXPECT_FALSE(GoToLineRow("99999999999999", 10));
    EXPECT_EQ(GoToLineRow("1", 10), 0);
    EXPECT_EQ(GoToLineRow(" 7 ", 10), 6);
    EXPECT_EQ(GoToLineRow("50", 10), 9);
}

TEST(DiffRowsCopy, TextsAndTrace) {
    const DiffRows rows = Rows({-1, -1, -1});
    EXPECT_EQ(CopyRowsText(rows, {2, 0, 7}), "l2\r\nl0\r\n");
    EXPECT_EQ(CopiedRowsTrace(1), "1 line copied to clipboard.");
    EXPECT_EQ(CopiedRowsTrace(3), "3 lines copied to clipboard.");
}

TEST(DiffTwoLines, MarkerLineAndVerdict) {
    const CDiffOptions plain;
    auto c = CompareTwoLines("abc", "abc", plain);
    EXPECT_EQ(c.markers, "   ");
    EXPECT_EQ(c.verdict, "(Identical)");
    c = CompareTwoLines("abc", "abd", plain);
    EXPECT_EQ(c.markers, "  |");
    EXPECT_EQ(c.verdict, "(Different)");
    c = CompareTwoLines("abc", "abcde", plain);
    EXPECT_EQ(c.markers, "   ||");
    c = CompareTwoLines(std::string(130, 'a'), std::string(130, 'b'), plain);
    EXPECT_EQ(c.markers, std::string(120, '|') + "...|");
}

TEST(DiffTwoLines, OptionsShapeTheLinesAndTheVerdict) {
    CDiffOptions o(true, false, {});
    auto c = CompareTwoLines("Hello World", "HELLO WORLD", o);
    EXPECT_EQ(c.verdict, "(Identical)");
    EXPECT_EQ(c.first, "hello world");
    EXPECT_EQ(c.second, "hello world");
    c = CompareTwoLines("Hello", "Help", o);
    EXPECT_EQ(c.verdict, "(Different) Case ignored.");
    CDiffOptions t(true, true, {"^B", "X"});
    c = CompareTwoLines("a b x", "ab", t);
    EXPECT_EQ(c.first, "ab");
    EXPECT_EQ(c.verdict, "(Identical)");
    c = CompareTwoLines("a b", "ac", t);
    EXPECT_EQ(c.verdict, "(Different) Case ignored. Text ignored.");
}

}  // namespace
