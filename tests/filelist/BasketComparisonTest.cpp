// The presence comparison of baskets, the cross listings and the column
// listing of file items.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "filelist/BasketComparison.h"
#include "filelist/FileListing.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace {

class TraceLines : public ITraceSink {
public:
    void AppendLine(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

class ComparisonTest : public ::testing::Test {
protected:
    void SetUp() override {
        old = SetTraceSink(&trace);
        g_bDiffIgnoreCase = false;
        g_bDiffReportInter = false;
        g_bTrace = false;
    }
    void TearDown() override {
        SetTraceSink(old);
        g_bDiffIgnoreCase = false;
        g_bDiffReportInter = false;
    }
    void Basket(const std::string& label, const std::vector<std::string>& paths) {
        ReportBasketEntry& be = work.AddBasket(label);
        for (const std::string& p : paths) {
            const std::size_t slash = p.rfind('/');
            CBasketComparison::AddEntry(be, p.substr(0, slash + 1), p.substr(slash + 1));
        }
    }
    bool Traced(const std::string& line) const {
        return std::find(trace.lines.begin(), trace.lines.end(), line) != trace.lines.end();
    }

    CBasketComparison work;
    TraceLines trace;
    ITraceSink* old = nullptr;
    RecordingPrompter prompter;
    ScopedPrompter scoped{prompter};
};

TEST_F(ComparisonTest, TwoBasketsWithExclusiveAndCommonFiles) {
    Basket("Old", {"/srv/a/x.c", "/srv/a/sub/y.c", "/srv/a/only-old.txt"});
    Basket("New", {"/home/b/x.c", "/home/b/sub/y.c", "/home/b/new1.txt", "/home/b/new2.txt"});
    EXPECT_EQ(work.BuildComparisonReport(true),
              "Files found exclusively in Basket-1: Old (1)\r\n" +
                  std::string(40, '-') + "\r\n"
              "    only-old.txt\r\n"
              "Total 1 item.\r\n\r\n"
              "Files found exclusively in Basket-2: New (2)\r\n" +
                  std::string(40, '-') + "\r\n"
              "    new1.txt\r\n"
              "    new2.txt\r\n"
              "Total 2 items.\r\n\r\n"
              "Files common to all selected baskets:  (2)\r\n"
              "--------------------------------------\r\n"
              "    x.c\r\n"  // the folder part sorts first
              "    sub/y.c\r\n"
              "Total 2 items.\r\n\r\n");
}

TEST_F(ComparisonTest, SameTreeUnderDifferentRootsIsIdentical) {
    Basket("A", {"/c/a/one.txt", "/c/a/d/two.txt"});
    Basket("B", {"/d/b/one.txt", "/d/b/d/two.txt"});
    const std::string text = work.BuildComparisonReport(false);
    EXPECT_EQ(text.rfind(std::string(64, '-') + "\r\nBoth baskets are identical. They contain exactly the same files.\r\n",
                         0),
              0u);
    EXPECT_NE(text.find("However contents inside file may vary"), std::string::npos);

    CBasketComparison three;
    work = three;
    for (const char* label : {"1", "2", "3"}) Basket(label, {"/r/" + std::string(label) + "/f.txt"});
    const std::string all = work.BuildComparisonReport(true);
    EXPECT_NE(all.find("All 3 baskets are identical."), std::string::npos);
    EXPECT_EQ(all.find("However contents"), std::string::npos);
    EXPECT_NE(all.find("Files common to all selected baskets:  (1)\r\n"), std::string::npos);
}

TEST_F(ComparisonTest, FiveBasketsAndTheTrailTable) {
    g_bDiffReportInter = true;
    Basket("B1", {"/a/common.txt", "/a/one-and-three.txt"});
    Basket("B2", {"/b/common.txt"});
    Basket("B3", {"/c/common.txt", "/c/one-and-three.txt"});
    Basket("B4", {"/d/common.txt", "/d/only-four.txt"});
    Basket("B5", {"/e/common.txt"});
    const std::string text = work.BuildComparisonReport(true);
    EXPECT_NE(text.find("Files found exclusively in Basket-4: B4 (1)\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Basket-1:"), std::string::npos);  // one-and-three is in no exclusive section
    const std::size_t w = std::string("one-and-three.txt").size() + 8;
    std::string row = "    one-and-three.txt";
    row.resize(w, ' ');
    EXPECT_NE(text.find(row + "1    0    1    0    0    \r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(w, ' ') + "B1   B2   B3   B4   B5   \r\n" + std::string(w, ' ') +
                        "----------------------\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("Files common to all selected baskets:  (1)\r\n"), std::string::npos);
}

TEST_F(ComparisonTest, MoreThanSixtyFourBasketsStayApart) {
    for (int i = 1; i <= 70; ++i) Basket("K" + std::to_string(i), {"/r" + std::to_string(i) + "/shared.txt"});
    Basket("K71", {"/x/shared.txt", "/x/late.txt"});
    const std::string text = work.BuildComparisonReport(true);
    EXPECT_NE(text.find("Files found exclusively in Basket-71: K71 (1)\r\n"), std::string::npos);
    EXPECT_NE(text.find("Files common to all selected baskets:  (1)\r\n"), std::string::npos);
}

TEST_F(ComparisonTest, LetterCaseCountsUnlessIgnored) {
    Basket("A", {"/a/Read.me"});
    Basket("B", {"/b/read.ME"});
    EXPECT_NE(work.BuildComparisonReport(true).find("(0)"), std::string::npos);
    work = CBasketComparison();
    g_bDiffIgnoreCase = true;
    Basket("A", {"/a/Read.me"});
    Basket("B", {"/b/read.ME"});
    EXPECT_NE(work.BuildComparisonReport(true).find("Both baskets are identical."), std::string::npos);
    // Each basket keeps its own spelling for the text comparison.
    ASSERT_EQ(work.MasterList.size(), 1u);
    EXPECT_EQ(work.MasterList[0].Origins, (std::vector<std::string>{"/a/Read.me", "/b/read.ME"}));
}

TEST_F(ComparisonTest, TheRootMustBeAWholeFolderPrefix) {
    // "/a/" is inside "/x/a/" but is not its start: no common root.
    Basket("Odd", {"/a/f.txt", "/x/a/g.txt"});
    Basket("Ok", {"/k/f.txt"});
    work.BuildComparisonReport(true);
    EXPECT_TRUE(Traced("Degenerate basket: Odd"));
    EXPECT_TRUE(Traced("Files in the basket do not belong to a common root directory."));
    EXPECT_FALSE(Traced("Degenerate basket: Ok"));
    // Its entries keep their full folders.
    EXPECT_EQ(work.BasketEntries[0].Files[1].Dir, "/x/a/");

    std::vector<ReportFileEntry> files(2);
    files[0].Dir = "/a/";
    files[1].Dir = "/a/b/";
    std::string root;
    bool vms = false;
    EXPECT_TRUE(FindBasketRoot(files, root, vms));
    EXPECT_EQ(root, "/a/");
}

TEST_F(ComparisonTest, VmsFoldersLoseTheirRootAndKeepABracket) {
    Basket("V", {});
    ReportBasketEntry& v = work.BasketEntries.back();
    CBasketComparison::AddEntry(v, "[USER.A]", "X.COM");
    CBasketComparison::AddEntry(v, "[USER.A]", "Y.COM");
    Basket("W", {});
    ReportBasketEntry& w = work.BasketEntries.back();
    CBasketComparison::AddEntry(w, "[USER.A]", "X.COM");
    CBasketComparison::AddEntry(w, "[USER.A.B]", "Z.COM");
    work.BuildComparisonReport(true);
    EXPECT_EQ(work.BasketEntries[0].Files[0].Dir, "[.]");
    EXPECT_TRUE(Traced("Degenerate basket: W"));
}

TEST_F(ComparisonTest, CommonFilesAreComparedPairByPairAndUnreadablePairsAreNamed) {
    TempDir tmp;
    auto write = [&](const std::string& rel, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(tmp / rel).parent_path());
        std::ofstream(tmp / rel) << text;
    };
    write("one/same.txt", "a\nb\n");
    write("two/same.txt", "a\nb\n");
    write("one/diff.txt", "a\nb\n");
    write("two/diff.txt", "a\nB\n");
    write("one/gone.txt", "a\n");
    Basket("1", {tmp / "one/same.txt", tmp / "one/diff.txt", tmp / "one/gone.txt"});
    Basket("2", {tmp / "two/same.txt", tmp / "two/diff.txt", tmp / "two/gone.txt"});
    work.BuildComparisonReport(true);
    const std::string text = work.DiffCommonFiles(true);
    EXPECT_NE(text.find("Basket (1): " + tmp / "one/diff.txt" + "\r\nBasket (2): " + tmp / "two/diff.txt"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("same.txt"), std::string::npos);
    EXPECT_NE(text.find("Failed to load the files:\r\nBasket (1): " + tmp / "one/gone.txt"), std::string::npos);
    EXPECT_NE(text.find("Total 1 file.\r\n"), std::string::npos);
    EXPECT_NE(text.find("Not compared: 1 pair."), std::string::npos);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Failed to read the file: " + tmp / "two/gone.txt" +
                                                            "\r\nNo such file or directory (" + tmp / "two/gone.txt" +
                                                            ")"});
}

TEST_F(ComparisonTest, CrossListingsOfWindowsAndFiles) {
    EXPECT_EQ(CrossListInputOutput(work, "", "x\r\ny", true),
              "Files found exclusively in Basket-2: Output Window (2)\r\n" +
                  std::string(50, '-') + "\r\n"
              "    x\r\n    y\r\nTotal 2 items.\r\n\r\n"
              "Files common to all selected baskets:  (0)\r\n"
              "--------------------------------------\r\n"
              "Total 0 item.\r\n\r\n");
    const std::string same = CrossListInputOutput(work, "b\r\na\r\na", "a\r\nb", true);
    EXPECT_NE(same.find("Both baskets are identical."), std::string::npos);
    EXPECT_EQ(same.find("However contents inside file may vary"), std::string::npos);
    // Without "Compare files common to Baskets" the note says how to compare contents.
    EXPECT_NE(CrossListInputOutput(work, "a", "a", false).find("\r\n\r\nHowever contents inside file may vary, for which you want to\r\n"),
              std::string::npos);
    EXPECT_NE(same.find("    a\r\n    b\r\nTotal 2 items."), std::string::npos);

    TempDir tmp;
    std::ofstream(tmp / "l.txt") << "one\r\ntwo\r\n";
    std::ofstream(tmp / "r.txt") << "two\nthree\n";
    CProgramData d;
    d.InsertProject("P", 0);
    d.InsertSession("S", 0, 0);
    d.InsertBasket("B", 0, 0, 0);
    for (const char* n : {"l.txt", "r.txt", "missing.txt"}) {
        CFileItem it(n);
        it.LocalDir = tmp.dir();
        d.InsertFileItems(0, 0, 0, d.GetFileItemCount(0, 0, 0), it);
    }
    const std::string parent = std::filesystem::path(tmp.path()).filename().string();
    const std::string text = CrossListSelectedFiles(d, work, 0, 0, 0, {0, 1, 2});
    EXPECT_NE(text.find("Files found exclusively in Basket-1: " + parent + "/l.txt (1)\r\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Files found exclusively in Basket-2: " + parent + "/r.txt (1)\r\n"), std::string::npos);
    EXPECT_EQ(work.BasketEntries.size(), 3u);  // the unreadable file takes part empty
    EXPECT_EQ(prompter.Messages().back(), "Failed to read the file: " + tmp / "missing.txt");
}

// ---------------------------------------------------------------- column listing

class ListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        d.InsertProject("P", 0);
        d.InsertSession("S", 0, 0);
        d.InsertBasket("B", 0, 0, 0);
        const char* names[] = {"a.txt", "longer-name.c", "m.h"};
        for (int i = 0; i < 3; ++i) {
            CFileItem it(names[i]);
            it.LocalDir = i == 1 ? "/l2/" : "/l/";
            it.RemoteDir = "/r/";
            d.InsertFileItems(0, 0, 0, i, it);
        }
        report.SetDefaultColumns();
    }
    ReportColumnOption& Column(const std::string& name) {
        for (auto& c : report.Columns)
            if (c.OptionName == name) return c;
        throw std::runtime_error(name);
    }
    CProgramData d;
    CSessionReport report;
};

TEST_F(ListingTest, DefaultColumnsListTheNamesOnly) {
    EXPECT_EQ(ListFileItems(d, report, 0, 0, 0, {0, 1, 2}), "a.txt\r\nlonger-name.c\r\nm.h");
    EXPECT_EQ(ListFileItems(d, report, 0, 0, 0, {}), "");
    EXPECT_EQ(ListFileItems(d, report, 0, 0, 0, {0, 9}), "a.txt\r\n");  // a bad index gives empty values
    EXPECT_EQ(ListFileItems(d, report, 0, 0, 4, {0}), "");
}

TEST_F(ListingTest, AGutterAlignsAColumnAndNoGutterGluesIt) {
    Column("Local directory").IsIncluded = true;
    Column("Local directory").GutterVal = 2;
    // The directory column stands first in the list: move it behind the names.
    ASSERT_TRUE(SwapColumns(report, 0, 2));
    EXPECT_EQ(ListFileItems(d, report, 0, 0, 0, {0, 1}), "a.txt          /l/\r\nlonger-name.c  /l2/");
    Column("Local directory").GutterVal = 0;
    EXPECT_EQ(ListFileItems(d, report, 0, 0, 0, {0, 1}), "a.txt/l/\r\nlonger-name.c/l2/");
    // A column of an unknown name lists nothing; two columns of one name each print by their own mark.
    report.Columns.push_back({3, true, "Colour"});
    report.Columns.push_back({0, false, "File name"});
    EXPECT_EQ(ListFileItems(d, report, 0, 0, 0, {0}), "a.txt/l/");
}

TEST_F(ListingTest, SwappingChecksBothIndices) {
    EXPECT_FALSE(SwapColumns(report, 2, 2));
    EXPECT_FALSE(SwapColumns(report, 6, 7));
    EXPECT_FALSE(SwapColumns(report, 0, -1));
    EXPECT_TRUE(SwapColumns(report, 6, 5));
    EXPECT_EQ(report.Columns[5].OptionName, "Tansfer status");
}

TEST(ListingHelpersTest, ParentNamesPaddingAndWebLinks) {
    EXPECT_EQ(GetParentAndFileName("/home/u/docs/a.txt"), "docs/a.txt");
    EXPECT_EQ(GetParentAndFileName("/a.txt"), "a.txt");
    EXPECT_EQ(GetParentAndFileName("a.txt"), "a.txt");
    std::string t = "x\r\nab";
    PadLastLineToWidth(t, 4);
    EXPECT_EQ(t, "x\r\nab  ");
    PadLastLineToWidth(t, 2);
    EXPECT_EQ(t, "x\r\nab  ");

    TempDir tmp;
    std::ofstream(tmp / "site.url") << "[DEFAULT]\r\nBASEURL=https://example.org/x  \r\nIconIndex=0\r\n";
    std::ofstream(tmp / "plain.txt") << "nothing\n";
    CProgramData d;
    d.InsertProject("P", 0);
    d.InsertSession("S", 0, 0);
    d.InsertBasket("B", 0, 0, 0);
    for (const char* n : {"site.url", "plain.txt"}) {
        CFileItem it(n);
        it.LocalDir = tmp.dir();
        d.InsertFileItems(0, 0, 0, d.GetFileItemCount(0, 0, 0), it);
    }
    d.SetSelection(0, 0, 0, {0, 1});
    EXPECT_EQ(GetWebLinkText(d, 0, 0, 0), "site\r\nhttps://example.org/x\r\nplain.txt\r\n\r\n");
}

}  // namespace
