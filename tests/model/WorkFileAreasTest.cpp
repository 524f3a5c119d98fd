#include <filesystem>

#include "ModelFixture.h"

namespace fs = std::filesystem;

class WorkFileAreasTest : public ModelTest {};

TEST_F(WorkFileAreasTest, ListFilesAndPathKinds) {
    EXPECT_TRUE(ListFiles(g_strSessionInfoDir, "Box*.txt").empty());
    WriteFile(g_strSessionInfoDir + "Box2.txt", "");
    WriteFile(g_strSessionInfoDir + "Box1.txt", "");
    WriteFile(g_strSessionInfoDir + "other.txt", "");
    CreateFolderPath(g_strSessionInfoDir + "BoxDir.txt");
    EXPECT_EQ(ListFiles(g_strSessionInfoDir, "Box*.txt"), (std::vector<std::string>{"Box1.txt", "Box2.txt"}));
    EXPECT_TRUE(ListFiles(".", "*").empty());
    EXPECT_EQ(GetPathKind(g_strSessionInfoDir + "BoxDir.txt"), 2);
    EXPECT_EQ(GetPathKind(g_strSessionInfoDir + "Box1.txt"), 1);
    WriteFile(g_strSessionInfoDir + ".hidden", "");
    EXPECT_EQ(GetPathKind(g_strSessionInfoDir + ".hidden"), 0);
    EXPECT_EQ(GetPathKind(g_strSessionInfoDir + "missing"), 0);
}

TEST_F(WorkFileAreasTest, MoveToDeprecatedReplacesAndRenamesSessions) {
    CProgramData data;
    data.EnsureCurrentBasket();
    data.SetSessionName(0, 0, "Renamed");
    WriteFile(g_strSessionInfoDir + "Box01-Ses01-MySession.txt", "new");
    WriteFile(g_strDeprecatedDir + "Box01-Ses01-MySession.txt", "old");
    g_bTrace = true;
    EXPECT_TRUE(data.MoveBoxFilesToDeprecated());
    EXPECT_EQ(data.GetBoxFileName(0, 0), "Box01-Ses01-Renamed.txt");
    EXPECT_EQ(ReadFile(g_strDeprecatedDir + "Box01-Ses01-MySession.txt"), "new");
    EXPECT_TRUE(ListFiles(g_strSessionInfoDir, "Box*.txt").empty());
    EXPECT_TRUE(trace.Has("Moving files from DEFAULT to DEPRECATED area..."));
    EXPECT_TRUE(trace.Has("    Box01-Ses01-MySession.txt\r\n"));
    EXPECT_TRUE(data.MoveBoxFilesToDeprecated());
    EXPECT_TRUE(trace.Has("     (none)"));
}

TEST_F(WorkFileAreasTest, MoveToDeprecatedLoadsUnloadedSessionsFirst) {
    CProgramData data;
    data.EnsureCurrentBasket();
    data.SetSessionLoaded(0, 0, true);
    data.InsertFileItems(0, 0, 0, -1, CFileItem("keep.c"));
    ASSERT_EQ(data.DumpSession(0, 0), 1);
    data.SetSessionName(0, 0, "New name");
    EXPECT_TRUE(data.MoveBoxFilesToDeprecated());
    ASSERT_TRUE(data.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    CProgramData back;
    back.LoadMasterFile();
    EXPECT_EQ(back.GetBoxFileName(0, 0), "Box01-Ses01-Newname.txt");
    EXPECT_EQ(back.GetFileItem(0, 0, 0, 0).FileName, "keep.c");
}

TEST_F(WorkFileAreasTest, RestoreFromBackupKeepsGoodNamesAndRetiresStrays) {
    CProgramData data;
    data.EnsureCurrentBasket();
    data.SetSessionLoaded(0, 0, true);
    data.InsertFileItems(0, 0, 0, -1, CFileItem("keep.c"));
    ASSERT_TRUE(data.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    const std::string good = data.GetBoxFileName(0, 0);
    ASSERT_EQ(good, "Box01-Ses01-MySession.txt");
    WriteFile(g_strSessionInfoDir + "Box09-Ses09-Stray.txt", "stray");
    EXPECT_TRUE(data.RestoreBoxFilesFromBackup());
    EXPECT_TRUE(fs::exists(g_strSessionInfoDir + good));
    EXPECT_FALSE(fs::exists(g_strSessionInfoDir + "Box09-Ses09-Stray.txt"));
    EXPECT_TRUE(fs::exists(g_strDeprecatedDir + "Box09-Ses09-Stray.txt"));
    EXPECT_FALSE(fs::exists(g_strDeprecatedDir + good));
    EXPECT_TRUE(trace.Has("Moving files from BACKUP to DEFAULT area...(GOOD ONES)"));
}
