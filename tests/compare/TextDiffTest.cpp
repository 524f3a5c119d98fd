#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

#include "DiffTestSupport.h"
#include "ReferenceDiff.h"
#include "compare/TextDiff.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace {
std::string Report(const std::vector<std::string>& left, const std::vector<std::string>& right,
                   const CDiffOptions& options = CDiffOptions(), bool* differ = nullptr) {
    CTextDiff diff(options);
    diff.Compare(Lines(left), Lines(right));
    std::string report;
    bool d = diff.ListChanges(true, report);
    if (differ) *differ = d;
    return Unix(report);
}

std::vector<CDiffChange> Changes(const std::vector<std::string>& left,
                                 const std::vector<std::string>& right,
                                 const CDiffOptions& options = CDiffOptions()) {
    CTextDiff diff(options);
    diff.Compare(Lines(left), Lines(right));
    return diff.BuildChangeList();
}

// Replays a change list: "same" runs must hold equal lines, every line of
// both inputs is used once in order, and the right input comes out (with
// options that make unequal texts equal, "same" lines are checked for
// equality under the options and taken from the right).
void ExpectReplayRebuildsRight(const CTextDiff& diff) {
    const auto& left = diff.GetLeft();
    const auto& right = diff.GetRight();
    std::vector<std::string> out;
    int nextLeft = 0;
    for (const CDiffChange& c : diff.BuildChangeList()) {
        ASSERT_GT(c.count, 0);
        if (c.kind != kDiffDeleted) {
            ASSERT_EQ(c.rightPos, static_cast<int>(out.size()));
        }
        if (c.kind != kDiffAdded) {
            ASSERT_EQ(c.leftPos, nextLeft);
            nextLeft += c.count;
        }
        for (int k = 0; k < c.count; ++k) {
            switch (c.kind) {
            case kDiffSame:
                ASSERT_EQ(CompareDiffLines(right[c.rightPos + k], left[c.leftPos + k], diff.GetOptions()), 0);
                out.push_back(diff.GetOptions().IsPlain() ? left[c.leftPos + k].text
                                                          : right[c.rightPos + k].text);
                break;
            case kDiffModified:
            case kDiffAdded:
                out.push_back(right[c.rightPos + k].text);
                break;
            default:
                break;
            }
        }
    }
    EXPECT_EQ(nextLeft, static_cast<int>(left.size()));
    ASSERT_EQ(out.size(), right.size());
    for (size_t k = 0; k < out.size(); ++k) EXPECT_EQ(out[k], right[k].text);
}
}  // namespace

// ---------------------------------------------------------------------------
// Line equality

TEST(DiffLineCompare, IgnoreCaseFoldsAsciiOnly) {
    CDiffOptions caseless(true, false, {});
    EXPECT_EQ(CompareDiffLines(CDiffLine("Hello World"), CDiffLine("HELLO world"), caseless), 0);
    EXPECT_NE(CompareDiffLines(CDiffLine("Hello"), CDiffLine("HELLO"), CDiffOptions()), 0);
    // Bytes above 127 are not folded.
    EXPECT_NE(CompareDiffLines(CDiffLine("\xc3\xa9"), CDiffLine("\xc3\x89"), caseless), 0);
    // Unsigned byte order.
    EXPECT_EQ(CompareDiffLines(CDiffLine("\xff"), CDiffLine("a"), CDiffOptions()), 1);
    EXPECT_EQ(CompareDiffLines(CDiffLine("a"), CDiffLine("\xff"), CDiffOptions()), -1);
}

TEST(DiffLineCompare, IgnoreTextRemovesItemsInOneLeftToRightPass) {
    CDiffOptions opt(false, true, {"aa"});
    // "aaa" loses one "aa" and keeps one "a"; removal is not repeated.
    EXPECT_EQ(NormalizeDiffText("aaa", opt), "a");
    EXPECT_EQ(NormalizeDiffText("aabb", CDiffOptions(false, true, {"ab"})), "ab");
    // Items apply in list order, each to the result of the one before.
    EXPECT_EQ(NormalizeDiffText("xaby", CDiffOptions(false, true, {"a", "xb"})), "y");
    // An empty item removes nothing.
    EXPECT_EQ(NormalizeDiffText("abc", CDiffOptions(false, true, {""})), "abc");
}

TEST(DiffLineCompare, BlankAndTabItemsOnlyAsWholeItems) {
    CDiffOptions blanks(false, true, {"^b"});
    EXPECT_EQ(CompareDiffLines(CDiffLine("a b  c"), CDiffLine("abc"), blanks), 0);
    EXPECT_EQ(NormalizeDiffText("x\ty", CDiffOptions(false, true, {"^t"})), "xy");
    // Inside a longer item "^b" is plain text.
    EXPECT_EQ(NormalizeDiffText("a ^bx b", CDiffOptions(false, true, {"^bx"})), "a  b");
    // Written with a capital: recognised only with ignore case.
    EXPECT_EQ(NormalizeDiffText("a b", CDiffOptions(false, true, {"^B"})), "a b");
    EXPECT_EQ(NormalizeDiffText("A B", CDiffOptions(true, true, {"^B"})), "ab");
    // Items are lower-cased with ignore case.
    EXPECT_EQ(NormalizeDiffText("xFOOy", CDiffOptions(true, true, {"Foo"})), "xy");
    // With ignore text off the list has no effect.
    EXPECT_NE(CompareDiffLines(CDiffLine("a b"), CDiffLine("ab"), CDiffOptions(false, false, {"^b"})), 0);
}

// ---------------------------------------------------------------------------
// Worked cases: change lists and reports

TEST(TextDiffReport, EmptyInputs) {
    bool differ = true;
    EXPECT_EQ(Report({}, {}, CDiffOptions(), &differ), "");
    EXPECT_FALSE(differ);
    EXPECT_TRUE(Changes({}, {}).empty());
    EXPECT_EQ(Report({}, {"a", "b", "c"}),
              "1. Added to right:\n"
              "------------------\n"
              "+     1 a\n"
              "+     2 b\n"
              "+     3 c\n");
    EXPECT_EQ(Describe(Changes({}, {"a", "b", "c"})), "{0,-1,3,3}");
    EXPECT_EQ(Report({"a", "b"}, {}),
              "1. Deleted from left:\n"
              "---------------------\n"
              "x     1 a\n"
              "x     2 b\n");
    EXPECT_EQ(Describe(Changes({"a", "b"}, {})), "{-1,0,2,2}");
}

TEST(TextDiffReport, IdenticalInputsGiveOneSameChangeAndNoReport) {
    bool differ = true;
    CTextDiff diff;
    diff.Compare(Lines({"a", "b", "c"}), Lines({"a", "b", "c"}));
    EXPECT_EQ(Describe(diff.BuildChangeList()), "{0,0,3,0}");
    std::string report = "old";
    differ = diff.ListChanges(true, report);
    EXPECT_FALSE(differ);
    EXPECT_EQ(report, "");
}

TEST(TextDiffReport, DeletedLineBetweenEqualLines) {
    EXPECT_EQ(Describe(Changes({"A", "X", "B"}, {"A", "B"})), "{0,0,1,0}{-1,1,1,2}{1,2,1,0}");
    EXPECT_EQ(Report({"A", "X", "B"}, {"A", "B"}),
              "1. Deleted from left:\n"
              "---------------------\n"
              "x     2 X\n");
}

TEST(TextDiffReport, UnequalGapIsModifiedThenAdded) {
    const std::vector<std::string> left{"s", "l1", "l2", "e"};
    const std::vector<std::string> right{"s", "r1", "r2", "r3", "e"};
    EXPECT_EQ(Describe(Changes(left, right)), "{0,0,1,0}{1,1,2,1}{3,-1,1,3}{4,3,1,0}");
    EXPECT_EQ(Report(left, right),
              "1. Modified:\n"
              "------------\n"
              "L     2 l1\n"
              "L     3 l2\n"
              "R     2 r1\n"
              "R     3 r2\n"
              "2. Added to right:\n"
              "------------------\n"
              "+     4 r3\n");
}

TEST(TextDiffReport, TenthHeadingIsUnderlinedToItsLength) {
    std::vector<std::string> left, right;
    for (int k = 0; k < 10; ++k) {
        left.push_back("same" + std::to_string(k));
        right.push_back("same" + std::to_string(k));
        right.push_back("new" + std::to_string(k));
    }
    const std::string report = Report(left, right);
    EXPECT_NE(report.find("10. Added to right:\n-------------------\n+    20 new9\n"),
              std::string::npos);
    EXPECT_EQ(MakeUnderline("10. Added to right:", '-'), std::string(19, '-'));
}

TEST(TextDiffReport, NumbersWiderThanFivePlaces) {
    std::vector<std::string> left(100000, "x");
    std::vector<std::string> right = left;
    right.push_back("tail");
    EXPECT_EQ(Report(left, right), "1. Added to right:\n------------------\n+ 100001 tail\n");
}

TEST(TextDiffReport, LinesEqualUnderOptionsKeepTheirOwnTexts) {
    CTextDiff diff(CDiffOptions(true, true, {"//"}));
    diff.Compare(Lines({"A // c"}), Lines({"a  c"}));
    std::vector<CDiffRow> l, r;
    diff.BuildRows(l, r);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0], CDiffRow(0, 0, -1, "A // c"));
    EXPECT_EQ(r[0], CDiffRow(0, 0, -1, "a  c"));
}

TEST(TextDiffReport, ReportOnlyWhenWanted) {
    CTextDiff diff;
    diff.Compare(Lines({"a"}), Lines({"b"}));
    std::string report = "stale";
    EXPECT_TRUE(diff.ListChanges(false, report));
    EXPECT_EQ(report, "");
}

// The scan moves on by the best length found plus one, so a longer run that
// starts inside a shorter one is not seen; the results differ from a
// longest common subsequence on purpose.
TEST(TextDiffMatching, ScanSkipsRunsStartingInsideAFoundRun) {
    // Right line 0 meets "a a" at left 0 (length 2: left 2 is "a" but right 2
    // is "b"), skips to left 3 and never tries left 1 where "a a b" starts.
    const std::vector<std::string> left{"a", "a", "a", "b", "c"};
    const std::vector<std::string> right{"a", "a", "b", "c", "a"};
    CTextDiff diff;
    diff.Compare(Lines(left), Lines(right));
    ReferenceDiff ref{CDiffOptions()};
    EXPECT_EQ(Describe(diff.GetRuns()), Describe(ref.Compare(Lines(left), Lines(right))));
    // Right 1-3 against left 2-4, then right 0 against left 0; the one run
    // of four (right 0-3 against left 1-4) is never seen.
    EXPECT_EQ(Describe(diff.GetRuns()), "{1,2,3,0}{0,0,1,0}");
    ExpectReplayRebuildsRight(diff);
}

TEST(TextDiffMatching, FirstRightLineWinsATieAndBeforePartIsMatchedFirst) {
    CTextDiff diff;
    diff.Compare(Lines({"p", "q", "x", "a", "b", "y", "c", "d"}),
                 Lines({"c", "d", "x", "a", "b", "y", "p", "q"}));
    // "x a b y" is the longest; then the part before it ("c d" against
    // "p q": nothing) and after it ("p q" against "c d": nothing).
    EXPECT_EQ(Describe(diff.GetRuns()), "{2,2,4,0}");
    CTextDiff tie;
    tie.Compare(Lines({"a", "b", "m", "c", "d"}), Lines({"c", "d", "m", "a", "b"}));
    // Three runs of two and one of one: right line 0 ("c d") wins the tie.
    EXPECT_EQ(Describe(tie.GetRuns()), "{0,3,2,0}");
}

// ---------------------------------------------------------------------------
// The fast matcher against the plain procedure

TEST(TextDiffMatching, SameRunsAsPlainProcedureOnRandomPairs) {
    std::mt19937 rng(20261207);
    const CDiffOptions optionSets[] = {
        CDiffOptions(),
        CDiffOptions(true, false, {}),
        CDiffOptions(true, true, {"^b", "A"}),
        CDiffOptions(false, true, {"0", "^B"}),
    };
    int checked = 0;
    for (int round = 0; round < 4000; ++round) {
        const int alphabet = 1 + round % 9;
        const bool mixed = round % 4 >= 2;
        RandomPair p = MakeRandomPair(rng, round % 10 == 0 ? 120 : 40, alphabet, mixed);
        const CDiffOptions& opt = optionSets[mixed ? 1 + round % 3 : 0];
        ReferenceDiff ref(opt);
        std::vector<CDiffChange> expected = ref.Compare(p.left, p.right);
        CTextDiff diff(opt);
        ASSERT_TRUE(diff.Compare(p.left, p.right));
        ASSERT_EQ(Describe(diff.GetRuns()), Describe(expected)) << "round " << round;
        ExpectReplayRebuildsRight(diff);
        ++checked;
    }
    EXPECT_EQ(checked, 4000);
}

TEST(TextDiffMatching, SameRunsAsPlainProcedureOnLargerPairs) {
    std::mt19937 rng(7);
    const int alphabets[] = {400, 40, 3, 2};
    for (int round = 0; round < 40; ++round) {
        RandomPair p = round % 5 == 4 ? MakeBlockPair(rng, 1500)
                                      : MakeRandomPair(rng, 1500, alphabets[round % 5], false);
        if (round % 5 == 0) std::reverse(p.right.begin(), p.right.end());
        ReferenceDiff ref{CDiffOptions()};
        CTextDiff diff;
        diff.Compare(p.left, p.right);
        ASSERT_EQ(Describe(diff.GetRuns()), Describe(ref.Compare(p.left, p.right)))
            << "round " << round;
    }
}

// Lines from two or three texts, long runs of one line and long repeated
// blocks: the runs are found through the look-ups of runs of many lines.
TEST(TextDiffMatching, SameRunsAsPlainProcedureOnLowAlphabetAndLongRepeats) {
    std::mt19937 rng(31);
    for (int round = 0; round < 24; ++round) {
        RandomPair p = round % 2 == 0 ? MakeRepeatPair(rng, 2500)
                                      : MakeRandomPair(rng, 2500, 2 + round % 4 / 2, false);
        if (round % 6 == 5) std::reverse(p.right.begin(), p.right.end());
        ReferenceDiff ref{CDiffOptions()};
        CTextDiff diff;
        diff.Compare(p.left, p.right);
        ASSERT_EQ(Describe(diff.GetRuns()), Describe(ref.Compare(p.left, p.right)))
            << "round " << round;
        ExpectReplayRebuildsRight(diff);
    }
}

TEST(TextDiffMatching, ReplayRebuildsRightOnRandomPairs) {
    std::mt19937 rng(99);
    for (int round = 0; round < 400; ++round) {
        RandomPair p = MakeRandomPair(rng, 300, 2 + round % 50, false);
        CTextDiff diff;
        diff.Compare(p.left, p.right);
        ExpectReplayRebuildsRight(diff);
        if (HasFatalFailure()) FAIL() << "round " << round;
        // The rows hold every line of each side once, both columns alike long.
        std::vector<CDiffRow> l, r;
        diff.BuildRows(l, r);
        ASSERT_EQ(l.size(), r.size());
        int nl = 0, nr = 0;
        for (size_t k = 0; k < l.size(); ++k) {
            if (l[k].lineNo >= 0) EXPECT_EQ(l[k].lineNo, nl++);
            if (r[k].lineNo >= 0) EXPECT_EQ(r[k].lineNo, nr++);
        }
        EXPECT_EQ(nl, static_cast<int>(p.left.size()));
        EXPECT_EQ(nr, static_cast<int>(p.right.size()));
    }
}

TEST(TextDiffMatching, LongInputsDoNotNestDeeply) {
    // Many short runs, each found first at the far end: a nested call per
    // run would exhaust the stack.
    std::vector<std::string> left, right;
    for (int k = 0; k < 200000; ++k) {
        left.push_back(std::to_string(k));
        right.push_back(std::to_string(200000 - 1 - k));
    }
    for (int k = 0; k < 200000; k += 2) std::swap(right[k], right[k + 1]);
    CTextDiff diff;
    ASSERT_TRUE(diff.Compare(Lines(left), Lines(right)));
    ExpectReplayRebuildsRight(diff);
}

TEST(TextDiffMatching, BreakFlagStopsTheComparison) {
    std::atomic<bool> stop{true};
    CTextDiff diff;
    diff.SetBreakFlag(&stop);
    EXPECT_FALSE(diff.Compare(Lines({"a", "b"}), Lines({"b", "a"})));
    EXPECT_TRUE(diff.WasBroken());
    EXPECT_TRUE(diff.GetRuns().empty());
    std::atomic<bool> go{false};
    CTextDiff other;
    other.SetBreakFlag(&go);
    EXPECT_TRUE(other.Compare(Lines({"a", "b"}), Lines({"b", "a"})));
    EXPECT_FALSE(other.WasBroken());
}

// ---------------------------------------------------------------------------
// Reading files

TEST(LoadFileLines, LineEndsAndLastLine) {
    TempDir tmp;
    std::vector<CDiffLine> lines;
    WriteFile(tmp / "a", "one\r\ntwo\nthree\n");
    ASSERT_TRUE(LoadFileLines(tmp / "a", lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], CDiffLine(0, -1, -1, "one"));
    EXPECT_EQ(lines[2].text, "three");

    WriteFile(tmp / "b", "x\n\nlast");
    ASSERT_TRUE(LoadFileLines(tmp / "b", lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].text, "");
    EXPECT_EQ(lines[2].text, "last");

    // A lone CR is part of the line.
    WriteFile(tmp / "c", "a\rb\r\n");
    ASSERT_TRUE(LoadFileLines(tmp / "c", lines));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "a\rb");

    WriteFile(tmp / "d", "");
    ASSERT_TRUE(LoadFileLines(tmp / "d", lines));
    EXPECT_TRUE(lines.empty());
    WriteFile(tmp / "e", "\n");
    ASSERT_TRUE(LoadFileLines(tmp / "e", lines));
    ASSERT_EQ(lines.size(), 1u);
}

TEST(LoadFileLines, MissingFileIsReported) {
    TempDir tmp;
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    std::vector<CDiffLine> lines = Lines({"old"});
    EXPECT_FALSE(LoadFileLines(tmp / "none.txt", lines));
    EXPECT_TRUE(lines.empty());
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0], "Failed to read the file: " + (tmp / "none.txt") +
                                          "\r\nNo such file or directory (" + (tmp / "none.txt") + ")");
    // A folder is not a file.
    EXPECT_FALSE(LoadFileLines(tmp.path(), lines));
}

TEST(LoadFileLines, PairStopsAtTheFirstFailure) {
    TempDir tmp;
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    WriteFile(tmp / "b", "b\n");
    std::vector<CDiffLine> a, b;
    EXPECT_FALSE(CTextDiff::LoadFilePair(tmp / "a", tmp / "b", a, b));
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(prompter.Messages().size(), 1u);
    WriteFile(tmp / "a", "a\n");
    EXPECT_TRUE(CTextDiff::LoadFilePair(tmp / "a", tmp / "b", a, b));
    EXPECT_EQ(b.size(), 1u);
}

// ---------------------------------------------------------------------------
// Golden cases: tests/data/compare/report/<case>/ holds left.txt, right.txt,
// an optional options.txt ("ignore-case", "ignore TEXT" lines) and the
// expected report.txt (LF line ends; empty when the inputs are the same).

TEST(TextDiffGolden, Reports) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(QVL_TEST_DATA) / "compare" / "report";
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(root)) {
        const std::string dir = entry.path().string() + "/";
        CDiffOptions options;
        if (fs::exists(dir + "options.txt")) {
            std::ifstream in(dir + "options.txt");
            std::string line;
            while (std::getline(in, line)) {
                if (line == "ignore-case") options.ignoreCase = true;
                if (line.rfind("ignore ", 0) == 0) {
                    options.ignoreText = true;
                    options.ignoreList.push_back(line.substr(7));
                }
            }
        }
        std::vector<CDiffLine> left, right;
        ASSERT_TRUE(LoadFileLines(dir + "left.txt", left)) << dir;
        ASSERT_TRUE(LoadFileLines(dir + "right.txt", right)) << dir;
        ReferenceDiff ref(options);
        const auto expectedRuns = ref.Compare(left, right);
        CTextDiff diff(options);
        diff.Compare(std::move(left), std::move(right));
        EXPECT_EQ(Describe(diff.GetRuns()), Describe(expectedRuns)) << dir;
        std::string report;
        const bool differ = diff.ListChanges(true, report);
        const std::string expected = ReadFile(dir + "report.txt");
        EXPECT_EQ(differ, !expected.empty()) << dir;
        EXPECT_EQ(Unix(report), expected) << dir;
        std::string streamed;
        bool failed = true;
        EXPECT_EQ(diff.ListChanges([&](std::string_view piece) { streamed += piece; return true; }, &failed), differ);
        EXPECT_FALSE(failed);
        EXPECT_EQ(streamed, report) << dir;
        ++cases;
    }
    EXPECT_GE(cases, 5);
}
