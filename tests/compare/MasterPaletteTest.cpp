// The master palette's editing rules, its file and the editor's summary.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <sys/stat.h>

#include "compare/MasterPalette.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> Texts(const std::vector<CMasterPaletteLine>& lines) {
    std::vector<std::string> t;
    for (const auto& l : lines) t.push_back(l.text);
    return t;
}
std::vector<int> Origins(const std::vector<CMasterPaletteLine>& lines) {
    std::vector<int> o;
    for (const auto& l : lines) o.push_back(l.origin);
    return o;
}

class PaletteTest : public ::testing::Test {
protected:
    void SetUp() override { palette.SetLines({"r0", "r1", "r2", "r3", "r4", "r5"}); }
    std::vector<CMasterPaletteLine> lines;
    CMasterPalette palette{lines};
};

TEST_F(PaletteTest, AddInsertsAfterTheRecordAndKeepsIt) {
    EXPECT_EQ(Origins(lines), std::vector<int>(6, 15));
    EXPECT_EQ(palette.AddLines({"x"}, 3), 6);  // nothing recorded: at the end
    palette.SetSelection({2, 3, 4});
    EXPECT_EQ(palette.AddLines({"a", "b"}, 2), 5);
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"r0", "r1", "r2", "r3", "r4", "a", "b", "r5", "x"}));
    EXPECT_EQ(lines[5].origin, 2);
    EXPECT_EQ(lines[5].lineNo, -1);
    EXPECT_EQ(palette.Selection(), (std::vector<int>{2, 3, 4}));
}

TEST_F(PaletteTest, OverrideReplacesTheSelectedBlock) {
    EXPECT_FALSE(palette.OverrideLines({}, {"z"}, 9));
    EXPECT_EQ(lines.size(), 6u);
    ASSERT_TRUE(palette.OverrideLines({2, 3, 4}, {"n1", "n2"}, 2 + 7));
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"r0", "r1", "n1", "n2", "r5"}));
    EXPECT_EQ(Origins(lines), (std::vector<int>{15, 15, 9, 9, 15}));
    EXPECT_EQ(palette.Selection(), std::vector<int>{2});
    ASSERT_TRUE(palette.OverrideLines({0, 1, 2, 3, 4}, {"only"}, 8));
    EXPECT_EQ(Texts(lines), std::vector<std::string>{"only"});
    EXPECT_EQ(palette.Selection(), std::vector<int>{0});
}

TEST_F(PaletteTest, SelectionStaysInsideWhenTheListShrinksOrIsReplaced) {
    palette.SetSelection({4, 5});
    palette.SetLines({"one"});
    EXPECT_TRUE(palette.Selection().empty());
    EXPECT_TRUE(palette.SelectedTexts().empty());
    palette.SetSelection({0, 7, -2});
    EXPECT_EQ(palette.Selection(), std::vector<int>{0});
    palette.Clear();
    EXPECT_TRUE(palette.Selection().empty());
    EXPECT_FALSE(palette.NextBlock());
    EXPECT_EQ(palette.AddLines({"after clear"}, 0), 0);
}

TEST_F(PaletteTest, DeleteAndInsertBlank) {
    EXPECT_EQ(palette.DeleteLines({4, 5}), 3);  // past the end: the last row
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"r0", "r1", "r2", "r3"}));
    EXPECT_EQ(palette.DeleteLines({1}), 1);
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"r0", "r2", "r3"}));
    palette.SetSelection({1});
    EXPECT_EQ(palette.InsertBlankLine(), 2);
    EXPECT_EQ(lines[2].origin, 16);
    EXPECT_EQ(palette.Selection(), std::vector<int>{1});
    EXPECT_EQ(palette.DeleteLines({0, 1, 2, 3}), -1);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(palette.InsertBlankLine(), 0);
    EXPECT_EQ(palette.Selection(), std::vector<int>{0});
}

TEST_F(PaletteTest, BlocksFindAndGoTo) {
    EXPECT_FALSE(palette.NextBlock());  // one origin throughout
    palette.SetSelection({1});
    palette.AddLines({"added"}, 3);
    palette.SetSelection({0});
    EXPECT_EQ(palette.NextBlock(), 2);
    palette.SetSelection({4});
    EXPECT_EQ(palette.PreviousBlock(), 2);
    palette.SetSelection({0});
    EXPECT_FALSE(palette.PreviousBlock());
    EXPECT_EQ(palette.Find("r4", false), 5);
    EXPECT_EQ(palette.Find(" adde ", true), 2);
    EXPECT_EQ(palette.Find("none", true), -1);
}

TEST_F(PaletteTest, EditAppliesChangesAddsAndRemoves) {
    palette.SetSelection({1, 2, 3});
    palette.ApplyEdit({"r1", "R2", "r3", "new"});
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"r0", "r1", "R2", "r3", "new", "r4", "r5"}));
    EXPECT_FALSE(palette.IsModified(1));
    EXPECT_TRUE(palette.IsModified(2));
    EXPECT_EQ(lines[2].origin, 15);
    EXPECT_EQ(lines[4].origin, 16);
    palette.SetSelection({0, 1, 2});
    palette.ApplyEdit({"r0"});
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"r0", "r3", "new", "r4", "r5"}));
    EXPECT_EQ(palette.Selection(), std::vector<int>{0});
}

TEST_F(PaletteTest, ConversionMarksChangedRows) {
    palette.SetSelection({1, 2});
    EXPECT_EQ(palette.ApplyConversion({"r1", "r2"}), 0);
    EXPECT_EQ(palette.Selection(), (std::vector<int>{1, 2}));
    EXPECT_EQ(palette.ApplyConversion({"r1", "X", "extra"}), 1);
    EXPECT_EQ(lines[2].origin, 14);
    EXPECT_EQ(lines[3].text, "extra");
    EXPECT_EQ(lines[3].origin, 16);
    EXPECT_EQ(palette.Selection(), std::vector<int>{2});
}

TEST(PaletteFile, SaveIsAtomicAndReloads) {
    TempDir tmp;
    const std::string path = tmp / "palette.txt";
    std::vector<CMasterPaletteLine> lines{{2, -1, -1, "one"}, {16, -1, -1, ""}, {15, -1, -1, "three"}};
    std::string error;
    ASSERT_TRUE(WritePaletteFile(path, lines, error)) << error;
    std::vector<std::string> read;
    ASSERT_TRUE(ReadPaletteFile(path, read, error));
    EXPECT_EQ(read, (std::vector<std::string>{"one", "", "three"}));
    // A folder in the way: the write fails with a reason and the old file stays.
    EXPECT_FALSE(WritePaletteFile(tmp / "no/such/dir/p.txt", lines, error));
    EXPECT_FALSE(error.empty());
    std::filesystem::create_directory(tmp / "ro");
    std::filesystem::permissions(tmp / "ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::geteuid() != 0) EXPECT_FALSE(WritePaletteFile(tmp / "ro/p.txt", lines, error));
    std::filesystem::permissions(tmp / "ro", std::filesystem::perms::owner_all);

    { std::ofstream(tmp / "mixed.txt", std::ios::binary) << "a\r\nb\rc\nlast"; }
    ASSERT_TRUE(ReadPaletteFile(tmp / "mixed.txt", read, error));
    EXPECT_EQ(read, (std::vector<std::string>{"a", "b", "c", "last"}));
    EXPECT_FALSE(ReadPaletteFile(tmp / "missing.txt", read, error));
    EXPECT_EQ(error.rfind("Failed to read the file: " + std::string(tmp / "missing.txt"), 0), 0u);
    // A device would never end and a named pipe would block the window:
    // neither is read.
    ASSERT_EQ(::mkfifo((tmp / "pipe").c_str(), 0600), 0);
    for (const std::string& odd : {tmp / "pipe", std::string("/dev/zero"), tmp.path()}) {
        EXPECT_FALSE(ReadPaletteFile(odd, read, error)) << odd;
        EXPECT_NE(error.find(odd + " is "), std::string::npos) << error;
        EXPECT_TRUE(read.empty());
    }
}

TEST(PaletteEditor, SummaryAndSplit) {
    auto s = BuildPaletteEditSummary(3, 3);
    EXPECT_EQ(s.status, "Update:\r\n3 lines.");
    EXPECT_EQ(s.mode, 0);
    s = BuildPaletteEditSummary(4, 3);
    EXPECT_EQ(s.status, "Update:\r\n3 lines.\r\n\r\nAdd:\r\n1 line.");
    EXPECT_EQ(s.mode, 1);
    EXPECT_EQ(s.count, 1);
    s = BuildPaletteEditSummary(1, 3);
    EXPECT_EQ(s.status, "Update:\r\n1 line.\r\n\r\nDelete:\r\n2 lines.");
    EXPECT_EQ(s.mode, -1);
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(SplitEditedText(""), std::vector<std::string>{""});
    EXPECT_EQ(SplitEditedText("a\r\nb"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitEditedText("a\r\n"), (std::vector<std::string>{"a", ""}));
    // A lone CR ends a line without taking the next character with it.
    EXPECT_EQ(SplitEditedText("ab\rcd\nef"), (std::vector<std::string>{"ab", "cd", "ef"}));
}

}  // namespace
