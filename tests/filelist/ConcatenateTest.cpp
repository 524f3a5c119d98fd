#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "filelist/Concatenate.h"
#include "model/FileItem.h"
#include "support/TempDir.h"

TEST(ConcatenateTemplateTest, PlaceholdersAreReplacedOnceAndLineBreaksBecomeLf) {
    CFileItem it("a {$FileText}.txt");
    it.LocalDir = "/l/";
    it.RemoteDir = "/r/";
    EXPECT_EQ(ApplyConcatTemplate("[{$LocalDir}|{$RemoteDir}|{$FileName}]\r\n{$FileText}{$Other}\r\n", it,
                                  "body {$LocalDir}\r\n"),
              "[/l/|/r/|a {$FileText}.txt]\nbody {$LocalDir}\r\n{$Other}\n");
}

TEST(ConcatenateTemplateTest, FinalNameProposals) {
    CFileItem it("report.txt");
    it.LocalDir = "/docs/";
    EXPECT_EQ(ProposeConcatFinalName(it, ""), "/docs/report-final.txt");
    EXPECT_EQ(ProposeConcatFinalName(it, "/out/x.txt"), "/out/report-Final.txt");
    EXPECT_EQ(ProposeConcatFinalName(CFileItem("README"), "x"), "README-Final.");
}

TEST(ConcatenateTemplateTest, TheFinalFileIsNoInputUnderAnySpelling) {
    TempDir tmp;
    std::ofstream(tmp / "a.txt") << "a";
    std::filesystem::create_symlink(tmp / "a.txt", tmp / "link.txt");
    CFileItem it("a.txt");
    it.LocalDir = tmp.dir();
    EXPECT_TRUE(IsOneOfTheInputs(tmp / "a.txt", {it}));
    EXPECT_TRUE(IsOneOfTheInputs(tmp.dir() + "./a.txt", {it}));
    EXPECT_TRUE(IsOneOfTheInputs(tmp / "link.txt", {it}));
    EXPECT_FALSE(IsOneOfTheInputs(tmp / "b.txt", {it}));

    std::string error;
    CFileItem missing("none.txt");
    missing.LocalDir = tmp.dir();
    EXPECT_FALSE(ConcatenateItems({missing}, tmp / "out.txt", "{$FileText}", error));
    EXPECT_FALSE(std::filesystem::exists(tmp / "out.txt"));
    EXPECT_TRUE(ConcatenateItems({missing, it, it}, tmp / "sub/out.txt", "<{$FileText}>", error));
    std::ifstream in(tmp / "sub/out.txt");
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "<a><a>");
}

namespace {
std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(ConcatenateTemplateTest, TheBlocksAreAddedAfterTheFinalFilesTextAndKeptWholeOnFailure) {
    TempDir tmp;
    std::filesystem::create_directories(tmp / "src");
    std::ofstream(tmp / "src/a", std::ios::binary) << "x {$FileName}";
    std::ofstream(tmp / "src/b", std::ios::binary) << "y";
    std::vector<CFileItem> items;
    for (const char* n : {"a", "b"}) {
        CFileItem it(n);
        it.LocalDir = tmp.dir() + "src/";
        it.RemoteDir = "/r/";
        items.push_back(it);
    }
    const std::string tmpl = "== {$FileName} in {$RemoteDir}\r\n{$FileText}";
    const std::string final = tmp / "out/dir/all.txt";
    const std::string joined = "== a in /r/\nx {$FileName}== b in /r/\ny";
    std::string error;
    EXPECT_TRUE(ConcatenateItems(items, final, tmpl, error));
    EXPECT_EQ(ReadAll(final), joined);
    // A second run adds the blocks after what the final file holds.
    EXPECT_TRUE(ConcatenateItems(items, final, tmpl, error));
    EXPECT_EQ(ReadAll(final), joined + joined);

    // Nothing readable: false, and the old final file stays as it was.
    std::filesystem::remove(tmp / "src/a");
    std::filesystem::remove(tmp / "src/b");
    EXPECT_FALSE(ConcatenateItems(items, final, tmpl, error));
    EXPECT_EQ(error, "None of the selected files could be read.");
    EXPECT_EQ(ReadAll(final), joined + joined);

    // A folder that cannot be made is reported and nothing is written.
    std::ofstream(tmp / "src/a", std::ios::binary) << "again";
    std::ofstream(tmp / "plain") << "";
    EXPECT_FALSE(ConcatenateItems(items, tmp / "plain/x/out.txt", tmpl, error));
    EXPECT_EQ(error, "Failed to create the directory: " + tmp.dir() + "plain/x/");

    // A final file that cannot be written keeps its old text; a pipe at its
    // name is refused without waiting for a reader.
    std::filesystem::create_directories(tmp / "locked");
    std::ofstream(tmp / "locked/all.txt") << "old";
    std::filesystem::permissions(tmp / "locked/all.txt", std::filesystem::perms::owner_read);
    if (::access((tmp / "locked/all.txt").c_str(), W_OK) != 0) {
        EXPECT_FALSE(ConcatenateItems(items, tmp / "locked/all.txt", tmpl, error));
        EXPECT_EQ(error.rfind("Failed to open file: " + (tmp / "locked/all.txt") + ": ", 0), 0u) << error;
        EXPECT_EQ(ReadAll(tmp / "locked/all.txt"), "old");
    }
    ASSERT_EQ(::mkfifo((tmp / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(ConcatenateItems(items, tmp / "pipe", tmpl, error));
    EXPECT_EQ(error.rfind("Failed to open file: " + (tmp / "pipe") + ": ", 0), 0u) << error;
}
