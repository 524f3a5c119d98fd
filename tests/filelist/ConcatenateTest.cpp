#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
