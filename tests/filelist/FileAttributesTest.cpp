#include <gtest/gtest.h>

#include "filelist/FileAttributes.h"
#include "filelist/SelectByIcon.h"
#include "model/ProgramData.h"

TEST(FileAttributesTest, FoldersGetOneClosingSeparatorAndVmsFoldersStay) {
    EXPECT_EQ(NormalizeLocalDir("/data"), "/data/");
    EXPECT_EQ(NormalizeLocalDir("/data//sub///"), "/data/sub/");
    EXPECT_EQ(NormalizeLocalDir(""), "");
    EXPECT_EQ(NormalizeRemoteDir("/home/u"), "/home/u/");
    EXPECT_EQ(NormalizeRemoteDir("//home//u//"), "/home/u/");
    EXPECT_EQ(NormalizeRemoteDir("DISK:[USER.DIR]"), "DISK:[USER.DIR]");
    EXPECT_EQ(NormalizeRemoteDir("]odd"), "]odd/");  // a bracket first is no VMS folder
}

TEST(FileAttributesTest, ReadingTheSharedValuesLeavesTheItemsAlone) {
    CProgramData d;
    d.InsertProject("P", 0);
    d.InsertSession("S", 0, 0);
    d.GetSessionPtr(0, 0)->Host = "h.example";
    d.GetSessionPtr(0, 0)->User = "u";
    d.InsertBasket("B", 0, 0, 0);
    d.AddCluster("C", 0);
    d.AddHost("h.example", "u", "pw", 0, 0);
    for (int i = 0; i < 3; ++i) {
        CFileItem it("f" + std::to_string(i));
        it.RemoteDir = "/r/";
        it.LocalDir = i == 2 ? "/other/" : "/l/";
        it.RemHost = i > 0 ? "h.example" : "";
        it.RemUser = i > 0 ? "u" : "";
        d.InsertFileItems(0, 0, 0, i, it);
    }
    const FileAttributeValues v = GetCommonFileAttributes(d, 0, 0, 0, {0, 1, 2, 7});
    EXPECT_EQ(v.host, "h.example");
    EXPECT_EQ(v.user, "u");
    EXPECT_EQ(v.password, "pw");
    EXPECT_EQ(v.remoteDir, "/r/");
    EXPECT_EQ(v.localDir, "");  // the third item differs
    EXPECT_EQ(d.GetFileItem(0, 0, 0, 0).RemHost, "");
    EXPECT_EQ(d.GetFileItem(0, 0, 0, 0).RemPassword, "");

    ApplyFileAttributes(d, 0, 0, 0, {0, 1, 2}, {"h.example", "u", "pw", "/new", ""});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(d.GetFileItem(0, 0, 0, i).RemoteDir, "/new/");
    EXPECT_EQ(d.GetFileItem(0, 0, 0, 0).RemHost, "h.example");
    EXPECT_EQ(d.GetFileItem(0, 0, 0, 2).LocalDir, "/other/");  // an empty box keeps each one's own

    // A password shown for one account is not stored for another.
    d.AddHost("other.example", "u", "theirs", 0, 1);
    FileAttributeValues moved = GetCommonFileAttributes(d, 0, 0, 0, {1});
    moved.host = "other.example";
    ApplyFileAttributes(d, 0, 0, 0, {1}, moved);
    EXPECT_EQ(d.GetVaultPassword("other.example", "u"), "theirs");
    EXPECT_EQ(d.GetVaultPassword("h.example", "u"), "pw");
}

TEST(SelectByIconTest, MatchesPicturesStatusAndNamePieces) {
    std::vector<CFileItem> items(4);
    items[0].FileName = "Notes.TXT";
    items[0].IsPinned = "IsPinned4";
    items[1].FileName = "a.c";
    items[1].FileType = "remote";
    items[1].IsFTPed = "No";
    items[2].FileName = "b.c";
    items[2].FileType = "local";
    items[2].IsFTPed = "No";
    items[3].FileName = "readme.txt";
    items[3].IsFTPed = "Yes";
    EXPECT_EQ(MatchItemsByIcon(items, 4, ""), (std::vector<int>{0}));
    EXPECT_EQ(MatchItemsByIcon(items, kIconRemoteNew, ""), (std::vector<int>{1}));
    EXPECT_EQ(MatchItemsByIcon(items, kIconLocalNew, ""), (std::vector<int>{2}));
    EXPECT_EQ(MatchItemsByIcon(items, kIconByName, ".txt"), (std::vector<int>{0, 3}));
    EXPECT_TRUE(MatchItemsByIcon(items, kIconByName, "").empty());
    EXPECT_TRUE(MatchItemsByIcon(items, 7, "").empty());
}
