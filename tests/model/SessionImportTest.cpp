#include <filesystem>
#include <unistd.h>

#include "ModelFixture.h"

namespace fs = std::filesystem;

class SessionImportTest : public ModelTest {};

TEST_F(SessionImportTest, CopiedMasterFileWithOneWorkFileMissing) {
    const std::string folder = tmp.dir() + "elsewhere/";
    CreateFolderPath(folder);
    for (const char* f : {"_qvl_master.txt", "Box01-Ses01-Alpha.txt", "Box01-Ses02-Betaold.txt"})
        fs::copy_file(Data(std::string("master/") + f), folder + f);
    g_nTabWidth = 6;
    CProgramData imported;
    imported.ImportSessions(folder + "_qvl_master.txt");
    ASSERT_EQ(imported.GetProjectCount(), 2);
    EXPECT_EQ(imported.GetSessionCount(0), 2);
    EXPECT_EQ(imported.GetSessionCount(1), 0);  // Gamma's work file is missing
    EXPECT_EQ(imported.GetFileItem(0, 0, 0, 0).FileName, "main.c");
    EXPECT_EQ(imported.GetFileItemCount(0, 1, 1), 1);
    EXPECT_EQ(imported.GetClusterCount(), 0);  // options, vault and report lines change nothing
    EXPECT_EQ(g_nTabWidth, 6);
    int failed = 0;
    for (const auto& l : trace.lines)
        if (l.rfind("Failed to locate ", 0) == 0) ++failed;
    EXPECT_EQ(failed, 1);
    EXPECT_TRUE(trace.Has("Failed to locate " + folder + "Box02-Ses01-Gamma.txt."));
}

TEST_F(SessionImportTest, OlderSingleSessionFile) {
    // Its items' files: the copy of a new text into a file with two names
    // was cut by a crash, here and beside the file a link points to.
    const std::string local = tmp.dir() + "l/", other = tmp.dir() + "other/";
    CreateFolderPath(local);
    CreateFolderPath(other);
    WriteFile(local + "x.com", "the new tthe old text\n");
    ASSERT_EQ(::link((local + "x.com").c_str(), (other + "x-too.com").c_str()), 0);
    WriteFile(local + "x.com.qvl-part-linked", "the new text\n");
    WriteFile(other + "real.txt", "cut");
    ASSERT_EQ(::link((other + "real.txt").c_str(), (other + "real-too.txt").c_str()), 0);
    WriteFile(other + "real.txt.qvl-part-linked", "the whole text\n");
    fs::create_symlink(other + "real.txt", local + "y.txt");
    WriteFile(tmp / "old.txt",
              "Session ID: 0\n"
              "SessionName=Old, Host=h, User=u, RemoteDir=/r/, LocalDir=" + local + ", SessionBox=0, BasketInd=0, \n"
              "Box01-Ses01-Old.txt\n"
              "    0. FileName=x.com, LocalDir=" + local + ", m_IsBatfile=Yes, BasketInd=0, \n"
              "    1. FileName=y.txt, LocalDir=" + local + ", BasketInd=0, \n"
              "End of Session ID: \n");
    CProgramData imported;
    imported.ImportSessions(tmp / "old.txt");
    ASSERT_EQ(imported.GetProjectCount(), 1);
    EXPECT_EQ(imported.GetProjectName(0), "My Project");
    ASSERT_EQ(imported.GetSessionCount(0), 1);
    EXPECT_TRUE(imported.GetFileItem(0, 0, 0, 0).IsBatFile);
    ASSERT_EQ(imported.GetFileItem(0, 0, 0, 1).GetLocalPath(), local + "y.txt");
    // Both copies are finished as the session is read.
    EXPECT_EQ(ReadFile(other + "x-too.com"), "the new text\n");
    EXPECT_EQ(ReadFile(other + "real-too.txt"), "the whole text\n");
    EXPECT_FALSE(fs::exists(local + "x.com.qvl-part-linked"));
    EXPECT_FALSE(fs::exists(other + "real.txt.qvl-part-linked"));
}

TEST_F(SessionImportTest, NothingToImport) {
    CProgramData a;
    a.ImportSessions(tmp / "none.txt");
    EXPECT_EQ(a.GetProjectCount(), 0);
    // Blocks without a "Session Box:" line have nowhere to go.
    WriteFile(tmp / "blocks.txt",
              "Session ID: 5\n"
              "junk first line\nSession ID: 0\nSessionName=S, SessionBox=0, \nBox.txt\nEnd of Session ID: 0\n");
    CProgramData b;
    b.ImportSessions(tmp / "blocks.txt");
    // The first line holds "Session ID:": read as an older single-session file.
    EXPECT_EQ(b.GetProjectCount(), 1);
    WriteFile(tmp / "blocks2.txt", "x\nSession ID: 0\nSessionName=S, SessionBox=0, \nBox.txt\nEnd of Session ID: 0\n");
    CProgramData c;
    c.ImportSessions(tmp / "blocks2.txt");
    EXPECT_EQ(c.GetProjectCount(), 0);
}
