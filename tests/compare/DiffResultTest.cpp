#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <mutex>
#include <random>

#include "DiffTestSupport.h"
#include "compare/DiffBuilder.h"
#include "model/DiffResult.h"
#include "compare/TextAccess.h"
#include "compare/TextDiff.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace {
struct CollectingSink : ITraceSink {
    std::mutex m;
    std::vector<std::string> lines;
    void AppendLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(m);
        lines.push_back(line);
    }
};

// Program options, readers, prompter and trace of one test.
class DiffResultFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProgramOptions();
        g_DiffIgnoreList.clear();
        m_oldSink = SetTraceSink(&sink);
        m_oldPrompter = SetPrompter(&prompter);
    }
    void TearDown() override {
        SetTraceSink(m_oldSink);
        SetPrompter(m_oldPrompter);
        SetTextWindowReaders(nullptr, nullptr);
        ResetProgramOptions();
        g_DiffIgnoreList.clear();
    }
    void SetWindows(const std::string& input, const std::string& output) {
        SetTextWindowReaders([input] { return input; }, [output] { return output; });
    }

    CollectingSink sink;
    RecordingPrompter prompter;
    TempDir tmp;

private:
    ITraceSink* m_oldSink = nullptr;
    IPrompter* m_oldPrompter = nullptr;
};

std::string Column(const std::vector<CDiffRow>& rows) {
    std::string s;
    for (const CDiffRow& r : rows)
        s += "{" + std::to_string(r.marker) + "," + std::to_string(r.lineNo) + "," +
             std::to_string(r.group) + "," + std::string(r.Text()) + "}";
    return s;
}
}  // namespace

// ---------------------------------------------------------------------------
// Rows of one comparison

TEST(DiffRows, EmptyLeftGivesFillersAgainstAddedLines) {
    CTextDiff diff;
    diff.Compare({}, Lines({"x", "y"}));
    std::vector<CDiffRow> l, r;
    diff.BuildRows(l, r);
    EXPECT_EQ(Column(l), "{0,-1,1,}{0,-1,1,}");
    EXPECT_EQ(Column(r), "{2,0,1,x}{2,1,1,y}");
}

TEST(DiffRows, KindsAndDifferenceNumbers) {
    CTextDiff diff;
    diff.Compare(Lines({"s", "d", "t", "m1", "m2", "u"}), Lines({"s", "t", "n1", "n2", "n3", "u"}));
    std::vector<CDiffRow> l, r;
    diff.BuildRows(l, r);
    // A gap of modified plus added lines takes two numbers.
    EXPECT_EQ(Column(l), "{0,0,-1,s}{3,1,1,d}{0,2,-1,t}{1,3,2,m1}{1,4,2,m2}{0,-1,3,}{0,5,-1,u}");
    EXPECT_EQ(Column(r), "{0,0,-1,s}{0,-1,1,}{0,1,-1,t}{1,2,2,n1}{1,3,2,n2}{2,4,3,n3}{0,5,-1,u}");
}

TEST(DiffRows, IdenticalInputsUseNoDifferenceNumber) {
    CTextDiff diff;
    diff.Compare(Lines({"a", "b"}), Lines({"a", "b"}));
    std::vector<CDiffRow> l{CDiffRow(1, 0, 1, "stale")}, r;
    diff.BuildRows(l, r);
    EXPECT_EQ(Column(l), "{0,0,-1,a}{0,1,-1,b}");
    EXPECT_EQ(Column(r), "{0,0,-1,a}{0,1,-1,b}");
}

// ---------------------------------------------------------------------------
// The three builders

TEST_F(DiffResultFixture, InputOutputDiff) {
    CDiffResultSet set;
    SetWindows("", "one\ntwo");
    set.PrepareInputOutputDiff();
    CDiffResult& r = *set.GetResult(kDiffWindowInputOutput);
    EXPECT_EQ(r.name1, "Input window");
    EXPECT_EQ(r.name3, "Output window");
    EXPECT_EQ(r.fileNo3, 1);
    ASSERT_TRUE(BuildInputOutputDiff(r));
    EXPECT_TRUE(r.built);
    EXPECT_EQ(Column(r.leftRows), "{0,-1,1,}{0,-1,1,}");
    EXPECT_EQ(Column(r.rightRows), "{2,0,1,one}{2,1,1,two}");
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0], "Input/Output diff built.");
}

TEST_F(DiffResultFixture, BuildersUseTheProgramOptions) {
    CDiffResultSet set;
    SetWindows("Alpha\r\nb  c", "ALPHA\r\nbc");
    g_bDiffIgnoreCase = true;
    g_bDiffIgnoreIdent = true;
    g_DiffIgnoreList = {"^b"};
    set.PrepareInputOutputDiff();
    ASSERT_TRUE(BuildInputOutputDiff(set.m_InputOutputResult));
    EXPECT_EQ(Column(set.m_InputOutputResult.leftRows), "{0,0,-1,Alpha}{0,1,-1,b  c}");
    g_bDiffIgnoreIdent = false;
    ASSERT_TRUE(BuildInputOutputDiff(set.m_InputOutputResult));
    EXPECT_EQ(Column(set.m_InputOutputResult.leftRows), "{0,0,-1,Alpha}{1,1,1,b  c}");
}

TEST_F(DiffResultFixture, TwoFileDiffHeaderAndRows) {
    WriteFile(tmp / "a.txt", "same\nold\n");
    WriteFile(tmp / "b.txt", "same\nnew\n");
    CDiffResultSet set;
    EXPECT_FALSE(set.PrepareTwoFileDiff({tmp / "a.txt"}));
    EXPECT_FALSE(set.PrepareThreeWayDiff({tmp / "a.txt", tmp / "b.txt"}));
    EXPECT_EQ(set.m_ThreeWayResult.name1, "");
    ASSERT_TRUE(set.PrepareTwoFileDiff({tmp / "a.txt", tmp / "b.txt", tmp / "c.txt"}));
    CDiffResult& r = set.m_FilesResult;
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(r.name1, tmp / "a.txt");
    EXPECT_EQ(r.name2, "");
    EXPECT_EQ(r.name3, tmp / "b.txt");
    EXPECT_EQ(r.fileNo1, 0);
    EXPECT_EQ(r.fileNo3, 1);
    ASSERT_TRUE(BuildFilesDiff(r));
    EXPECT_EQ(Column(r.leftRows), "{0,0,-1,same}{1,1,1,old}");
    EXPECT_EQ(Column(r.rightRows), "{0,0,-1,same}{1,1,1,new}");
    EXPECT_EQ(sink.lines.back(), "Files diff built.");
}

// A failed load keeps the whole previous result: rows, names and built.
TEST_F(DiffResultFixture, FailedTwoFileLoadLeavesThePreviousResultWhole) {
    WriteFile(tmp / "a.txt", "a\n");
    WriteFile(tmp / "b.txt", "b\n");
    CDiffResultSet set;
    ASSERT_TRUE(set.PrepareTwoFileDiff({tmp / "a.txt", tmp / "b.txt"}));
    ASSERT_TRUE(BuildFilesDiff(set.m_FilesResult));
    const CDiffResult before = set.m_FilesResult;

    ASSERT_TRUE(set.PrepareTwoFileDiff({tmp / "a.txt", tmp / "missing.txt"}));
    EXPECT_FALSE(BuildFilesDiff(set.m_FilesResult));
    const CDiffResult& after = set.m_FilesResult;
    EXPECT_EQ(after.name3, before.name3);
    EXPECT_EQ(Column(after.leftRows), Column(before.leftRows));
    EXPECT_EQ(Column(after.rightRows), Column(before.rightRows));
    EXPECT_TRUE(after.built);
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"Failed to read the file: " + (tmp / "missing.txt") +
                                            "\r\nNo such file or directory (" + (tmp / "missing.txt") + ")",
                                        "Failed to load the files."}));

    // A result never built stays unbuilt.
    CDiffResultSet fresh;
    fresh.PrepareTwoFileDiff({tmp / "missing.txt", tmp / "a.txt"});
    EXPECT_FALSE(BuildFilesDiff(fresh.m_FilesResult));
    EXPECT_FALSE(fresh.m_FilesResult.built);
    EXPECT_EQ(fresh.m_FilesResult.name1, "");
}

namespace {
uint64_t g_fakeAvailable = 0;
uint64_t FakeAvailable() { return g_fakeAvailable; }
struct ScopedMemoryProbe {
    explicit ScopedMemoryProbe(uint64_t bytes) {
        g_fakeAvailable = bytes;
        SetDiffMemoryProbe(&FakeAvailable);
    }
    ~ScopedMemoryProbe() { SetDiffMemoryProbe(nullptr); }
};
}  // namespace

// Files too large for the memory left are refused with a message before
// their bytes are read, or before their lines are indexed, and the window
// keeps its result.
TEST_F(DiffResultFixture, FilesTooLargeForMemoryAreRefused) {
    WriteFile(tmp / "a.txt", "a\n");
    WriteFile(tmp / "b.txt", "b\n");
    CDiffResultSet set;
    ASSERT_TRUE(set.PrepareTwoFileDiff({tmp / "a.txt", tmp / "b.txt"}));
    ASSERT_TRUE(BuildFilesDiff(set.m_FilesResult));
    const std::string rows = Column(set.m_FilesResult.rightRows);

    WriteFile(tmp / "big.txt", std::string(3000, 'x'));
    WriteFile(tmp / "many.txt", std::string(1500, '\n'));  // fits, its lines do not
    for (const char* file : {"big.txt", "many.txt"}) {
        ScopedMemoryProbe probe(2000);
        prompter.entries.clear();
        ASSERT_TRUE(set.PrepareTwoFileDiff({tmp / "a.txt", tmp / file}));
        EXPECT_FALSE(BuildFilesDiff(set.m_FilesResult)) << file;
        ASSERT_EQ(prompter.Messages().size(), 2u) << file;
        EXPECT_EQ(prompter.Messages()[0].rfind("Failed to read the file: " + (tmp / file) +
                                                   "\r\nIt is too large for the memory available (about ",
                                               0),
                  0u)
            << prompter.Messages()[0];
        EXPECT_EQ(prompter.Messages()[1], "Failed to load the files.");
        EXPECT_EQ(Column(set.m_FilesResult.rightRows), rows);
        EXPECT_EQ(set.m_FilesResult.name3, tmp / "b.txt");
    }
}

#if !defined(__SANITIZE_ADDRESS__)
// Running out of memory while the files are read (on the reader threads)
// is a message, not an abort: the process may take less than one file.
TEST_F(DiffResultFixture, RunningOutOfMemoryWhileReadingIsReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const char* name : {"a.txt", "b.txt"}) {
        const int fd = ::open((tmp / name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);  // 1 GB of holes, no disk
        ::close(fd);
    }
    auto build = [&] {
        ScopedMemoryProbe probe(uint64_t{1} << 50);
        rlimit limit{};
        ::getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = rlim_t{768} << 20;
        if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
        CDiffResultSet set;
        set.PrepareTwoFileDiff({tmp / "a.txt", tmp / "b.txt"});
        if (BuildFilesDiff(set.m_FilesResult)) std::_Exit(1);
        const auto& m = prompter.Messages();
        const bool told = m.size() == 2 && m[1] == "Failed to load the files." &&
                          m[0].find("There is not enough memory to read it.") != std::string::npos;
        std::_Exit(told ? 0 : 2);
    };
    EXPECT_EXIT(build(), ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(DiffResultFixture, BrokenBuildKeepsThePreviousResult) {
    CDiffResultSet set;
    SetWindows("a", "b");
    set.PrepareInputOutputDiff();
    ASSERT_TRUE(BuildInputOutputDiff(set.m_InputOutputResult));
    SetWindows("c\r\nd", "d\r\nc");
    std::atomic<bool> stop{true};
    EXPECT_FALSE(BuildInputOutputDiff(set.m_InputOutputResult, &stop));
    EXPECT_EQ(Column(set.m_InputOutputResult.leftRows), "{1,0,1,a}");
}

// ---------------------------------------------------------------------------
// Three files

namespace {
// Builds the three-file result of base (selected file 1), file 2 (left) and
// file 3 (right).
class ThreeWay : public DiffResultFixture {
protected:
    bool Build(const std::string& base, const std::string& file2, const std::string& file3) {
        WriteFile(tmp / "base", base);
        WriteFile(tmp / "two", file2);
        WriteFile(tmp / "three", file3);
        set.PrepareThreeWayDiff({tmp / "base", tmp / "two", tmp / "three"});
        return Build3WayDiff(set.m_ThreeWayResult);
    }
    CDiffResultSet set;
    const CDiffResult& r() const { return set.m_ThreeWayResult; }
};
}  // namespace

TEST_F(ThreeWay, BothOtherFilesAddALineAtTheSamePlace) {
    ASSERT_TRUE(Build("a\nb\n", "a\nx\nb\n", "a\ny\nb\n"));
    // Selected file 1 is the base in the middle, file 2 left, file 3 right.
    EXPECT_EQ(r().name2, tmp / "base");
    EXPECT_EQ(r().name1, tmp / "two");
    EXPECT_EQ(r().fileNo1, 1);
    EXPECT_EQ(r().fileNo2, 0);
    EXPECT_EQ(r().mode, 2);
    EXPECT_EQ(Column(r().leftRows), "{0,0,-1,a}{2,1,1,x}{0,2,-1,b}");
    EXPECT_EQ(Column(r().middleRows), "{0,0,-1,a}{0,-1,1,}{0,1,-1,b}");
    EXPECT_EQ(Column(r().rightRows), "{0,0,-1,a}{2,1,1,y}{0,2,-1,b}");
    EXPECT_EQ(sink.lines.back(), "3-way diff built.");
}

TEST_F(ThreeWay, OnlyFileThreeAddsALine) {
    ASSERT_TRUE(Build("a\nb\n", "a\nb\n", "a\ny\nb\n"));
    EXPECT_EQ(Column(r().leftRows), "{0,0,-1,a}{0,-2,-1,}{0,1,-1,b}");
    EXPECT_EQ(Column(r().middleRows), "{0,0,-1,a}{0,-1,1,}{0,1,-1,b}");
    EXPECT_EQ(Column(r().rightRows), "{0,0,-1,a}{2,1,1,y}{0,2,-1,b}");
}

TEST_F(ThreeWay, OnlyFileTwoAddsLinesAtTheEnd) {
    ASSERT_TRUE(Build("a\n", "a\nx\ny\n", "a\n"));
    EXPECT_EQ(Column(r().leftRows), "{0,0,-1,a}{2,1,1,x}{2,2,1,y}");
    EXPECT_EQ(Column(r().middleRows), "{0,0,-1,a}{0,-2,-1,}{0,-2,-1,}");
    EXPECT_EQ(Column(r().rightRows), "{0,0,-1,a}{0,-2,-1,}{0,-2,-1,}");
}

// Every base line in each of the nine combinations of same (0), modified
// (1) and missing (3) against file 2 (a) and file 3 (b).
TEST_F(ThreeWay, MiddleMarkersForEveryCombination) {
    const int states[3] = {0, 1, 3};
    std::string base, two, three;
    for (int a : states) {
        for (int b : states) {
            const std::string tag = std::to_string(a) + std::to_string(b);
            base += "sep" + tag + "\nX" + tag + "\n";
            two += "sep" + tag + "\n" + (a == 0 ? "X" + tag + "\n" : a == 1 ? "Y" + tag + "\n" : "");
            three += "sep" + tag + "\n" + (b == 0 ? "X" + tag + "\n" : b == 1 ? "Z" + tag + "\n" : "");
        }
    }
    base += "end\n";
    two += "end\n";
    three += "end\n";
    ASSERT_TRUE(Build(base, two, three));
    std::string markers;
    for (const CDiffRow& row : r().middleRows)
        if (row.Text().rfind("X", 0) == 0) markers += std::to_string(row.marker);
    // a\b: 0 -> 0 4 2, 1 -> 5 6 8, 3 -> 1 7 3
    EXPECT_EQ(markers, "042568173");
    EXPECT_EQ(r().leftRows.size(), r().middleRows.size());
    EXPECT_EQ(r().rightRows.size(), r().middleRows.size());
}

TEST_F(ThreeWay, FailedSecondLoadLeavesTheRightColumnAlone) {
    ASSERT_TRUE(Build("a\n", "a\n", "b\n"));
    const std::string right = Column(r().rightRows);
    WriteFile(tmp / "three", "c\n");
    set.PrepareThreeWayDiff({tmp / "base", tmp / "gone", tmp / "three"});
    EXPECT_FALSE(Build3WayDiff(set.m_ThreeWayResult));
    EXPECT_EQ(Column(r().rightRows), right);
    EXPECT_EQ(r().name1, tmp / "two");
    EXPECT_EQ(prompter.Messages().back(), "Failed to load the files.");
}

TEST(MiddleMarkers, PairsOutsideTheTableGiveZero) {
    EXPECT_EQ(CombineMiddleMarkers(2, 0), 0);
    EXPECT_EQ(CombineMiddleMarkers(0, 2), 0);
    EXPECT_EQ(CombineMiddleMarkers(-1, 9), 0);
}

// The alignment row by row from the rows of the two comparisons, inserting
// each filler where it is found, as the reference for the three columns
// built from the change lists of random files.
TEST_F(ThreeWay, SameAsInsertingFillersRowByRow) {
    auto reference = [](std::vector<CDiffRow>& left, std::vector<CDiffRow>& m2, std::vector<CDiffRow>& m1,
                        std::vector<CDiffRow>& right) {
        const CDiffRow filler(0, -2, -1, "");
        for (size_t i = 0; i < std::max(m1.size(), m2.size()); ++i) {
            const bool has1 = i < m1.size(), has2 = i < m2.size();
            const bool f1 = has1 && m1[i].lineNo == -1, f2 = has2 && m2[i].lineNo == -1;
            if ((f1 && !f2) || !has2) {
                m2.insert(m2.begin() + i, filler);
                left.insert(left.begin() + i, filler);
            } else if ((f2 && !f1) || !has1) {
                m1.insert(m1.begin() + i, filler);
                right.insert(right.begin() + i, filler);
            }
            m1[i].marker = CombineMiddleMarkers(m2[i].marker, m1[i].marker);
        }
    };
    std::mt19937 rng(7);
    auto file = [&] {
        std::string text;
        for (size_t k = rng() % 12; k > 0; --k) text += std::string(1, static_cast<char>('a' + rng() % 3)) + "\n";
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        const std::string base = file(), two = file(), three = file();
        ASSERT_TRUE(Build(base, two, three));
        std::vector<CDiffLine> baseLines, lines2, lines3;
        ASSERT_TRUE(LoadFileLines(tmp / "base", baseLines) && LoadFileLines(tmp / "two", lines2) &&
                    LoadFileLines(tmp / "three", lines3));
        CTextDiff c1, c2;
        c1.Compare(baseLines, lines3);
        c2.Compare(baseLines, lines2);
        std::vector<CDiffRow> m1, right, m2, left;
        c1.BuildRows(m1, right);
        c2.BuildRows(m2, left);
        reference(left, m2, m1, right);
        ASSERT_EQ(Column(r().leftRows), Column(left)) << "round " << round;
        ASSERT_EQ(Column(r().middleRows), Column(m1)) << "round " << round;
        ASSERT_EQ(Column(r().rightRows), Column(right)) << "round " << round;
    }
}

// ---------------------------------------------------------------------------
// Row texts and the set

TEST_F(DiffResultFixture, GetRowTextsSkipsFillersAndBadRows) {
    CDiffResultSet set;
    SetWindows("", "one\r\ntwo");
    set.PrepareInputOutputDiff();
    ASSERT_TRUE(BuildInputOutputDiff(set.m_InputOutputResult));
    std::vector<std::string> out{"stale"};
    EXPECT_EQ(set.GetRowTexts(out, 0, kDiffPaneRight, {1, 0}), (std::vector<std::string>{"two", "one"}));
    EXPECT_TRUE(set.GetRowTexts(out, 0, kDiffPaneLeft, {0, 1}).empty());
    EXPECT_TRUE(set.GetRowTexts(out, 0, kDiffPaneRight, {-1, 2, 99}).empty());
    EXPECT_TRUE(set.GetRowTexts(out, 3, kDiffPaneRight, {0}).empty());
    EXPECT_TRUE(set.GetRowTexts(out, -1, kDiffPaneRight, {0}).empty());
    EXPECT_TRUE(set.GetRowTexts(out, 0, 3, {0}).empty());
    EXPECT_TRUE(set.GetRowTexts(out, 2, kDiffPaneMiddle, {0}).empty());
}

TEST(DiffResultSet, CopiesPointAtTheirOwnResults) {
    CDiffResultSet a;
    a.m_FilesResult.name1 = "first";
    a.m_PaletteLines.push_back({15, -1, -1, "p"});
    CDiffResultSet b(a);
    CDiffResultSet c;
    c = a;
    for (CDiffResultSet* s : {&a, &b, &c}) {
        ASSERT_EQ(s->m_Results.size(), 3u);
        EXPECT_EQ(s->GetResult(0), &s->m_InputOutputResult);
        EXPECT_EQ(s->GetResult(1), &s->m_FilesResult);
        EXPECT_EQ(s->GetResult(2), &s->m_ThreeWayResult);
        EXPECT_EQ(s->GetResult(1)->name1, "first");
        EXPECT_EQ(s->m_PaletteLines.size(), 1u);
    }
    EXPECT_EQ(a.GetResult(3), nullptr);
    b.m_FilesResult.name1 = "changed";
    EXPECT_EQ(a.m_FilesResult.name1, "first");
    const CDiffResult fresh;
    EXPECT_FALSE(fresh.built);
    EXPECT_EQ(fresh.mode, 0);
}
