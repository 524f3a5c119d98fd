#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "support/FileAccess.h"
#include "ModelFixture.h"

namespace fs = std::filesystem;

class LibraryContainerTest : public ModelTest {
protected:
    std::string LibPath() { return g_strLibraryInfoDir + kLibraryFileName; }
};

TEST_F(LibraryContainerTest, GoldenFileLoadsAndSavesByteForByte) {
    fs::copy_file(Data("library/_qvl_library.txt"), LibPath());
    CProgramData data;
    data.LoadLibraryFile(LibPath(), false);
    EXPECT_TRUE(g_bLibraryFileFound);
    ASSERT_EQ(data.GetLibraryCount(), 2);
    EXPECT_EQ(data.m_LibraryList[0].LibName, "Cleanup, first");
    ASSERT_EQ(data.m_LibraryList[0].MacroList.size(), 2u);
    EXPECT_EQ(g_nWorkMode, 1);
    EXPECT_EQ(g_nLibIndex, 1);
    g_nWorkMode = g_nLibIndex = 0;
    CProgramData copy = data;
    g_nWorkMode = g_nLibIndex = 1;
    ASSERT_TRUE(copy.SaveLibraryFile(LibPath()));
    EXPECT_EQ(ReadFile(LibPath()), ReadFile(Data("library/_qvl_library.txt")));
}

TEST_F(LibraryContainerTest, EmptyListWritesOneLineAndMissingFileIsNoted) {
    CProgramData data;
    g_nWorkMode = 1;
    g_nLibIndex = 3;
    ASSERT_TRUE(data.SaveLibraryFile(LibPath()));
    EXPECT_EQ(ReadFile(LibPath()), "~*~ Library option: Version=1.0.735.0, WorkMode=1, FR_LibIndex=3, \n");
    g_nWorkMode = g_nLibIndex = 0;
    data.LoadLibraryFile(LibPath(), false);
    EXPECT_EQ(data.GetLibraryCount(), 0);
    EXPECT_EQ(g_nWorkMode, 1);
    EXPECT_EQ(g_nLibIndex, 3);
    WriteFile(LibPath(), "~*~ Library option: Version=1.0.735.0, WorkMode=, FR_LibIndex=2, ");
    data.LoadLibraryFile(LibPath(), false);
    EXPECT_EQ(g_nWorkMode, 0);
    EXPECT_EQ(g_nLibIndex, 2);
    data.LoadLibraryFile(g_strLibraryInfoDir + "none.txt", false);
    EXPECT_FALSE(g_bLibraryFileFound);
}

TEST_F(LibraryContainerTest, OldVersionPromptsAndStopsReading) {
    std::string text = ReadFile(Data("library/_qvl_library.txt"));
    text.replace(text.find("1.0.735.0"), 9, "0.1");
    WriteFile(LibPath(), text);
    prompter.answers = {Answer::Yes};
    CProgramData data;
    data.LoadLibraryFile(LibPath(), false);
    EXPECT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(data.GetLibraryCount(), 0);
    // Options are not looked at when a file comes in through the loading area.
    CProgramData other;
    other.LoadLibraryFile(LibPath(), true);
    EXPECT_EQ(other.GetLibraryCount(), 2);
    EXPECT_EQ(prompter.Questions().size(), 1u);
}

TEST_F(LibraryContainerTest, ExportThenImportGivesTheSameLibraries) {
    CProgramData data;
    data.LoadLibraryFile(Data("library/_qvl_library.txt"), true);
    const std::string exported = tmp.dir() + "export.txt";
    ASSERT_TRUE(data.SaveLibraryFile(exported));
    CProgramData imported;
    imported.ImportLibraries(exported);
    ASSERT_EQ(imported.GetLibraryCount(), 2);
    EXPECT_EQ(imported.FormatLibraryFile(), data.FormatLibraryFile());
}

TEST_F(LibraryContainerTest, LoadingAreaFilesAreImportedBackedUpAndRemoved) {
    const std::string golden = ReadFile(Data("library/_qvl_library.txt"));
    WriteFile(g_strLoadingAreaDir + "one.txt", golden);
    WriteFile(g_strLoadingAreaDir + "two.txt", "nothing of interest\n");
    WriteFile(g_strLoadingBackUpDir + "two.txt", "older backup");
    CProgramData data;
    data.LoadLibrariesFromLoadingArea();
    EXPECT_EQ(data.GetLibraryCount(), 2);
    EXPECT_FALSE(fs::exists(g_strLoadingAreaDir + "one.txt"));
    EXPECT_FALSE(fs::exists(g_strLoadingAreaDir + "two.txt"));
    EXPECT_EQ(ReadFile(g_strLoadingBackUpDir + "one.txt"), golden);
    EXPECT_EQ(ReadFile(g_strLoadingBackUpDir + "two.txt"), "nothing of interest\n");
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0],
              "Libraries loaded from files found in the loading area:\r\n    " + g_strLoadingAreaDir +
                  "\r\n\r\nThe files are backed up in " + g_strLoadingBackUpDir +
                  " area.\r\n\r\nNew libraries are added at the ***end*** of the library-list.");
}

TEST_F(LibraryContainerTest, LoadingAreaFileStaysWhenItsBackupFails) {
    WriteFile(g_strLoadingAreaDir + "one.txt", ReadFile(Data("library/_qvl_library.txt")));
    // A folder where the backup should go makes the copy fail.
    CreateFolderPath(g_strLoadingBackUpDir + "one.txt/x");
    CProgramData data;
    data.LoadLibrariesFromLoadingArea();
    EXPECT_TRUE(fs::exists(g_strLoadingAreaDir + "one.txt"));
    EXPECT_TRUE(trace.Has("stays in the loading area"));
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0].rfind("Libraries loaded from file found", 0), 0u);
    EXPECT_NE(prompter.Messages()[0].find("The file is backed up"), std::string::npos);
}

TEST_F(LibraryContainerTest, FailedSaveIsReported) {
    CProgramData data;
    EXPECT_FALSE(data.SaveLibraryFile(tmp.dir() + "missing/_qvl_library.txt"));
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find("Failed to save the library file"), std::string::npos);
}

TEST_F(LibraryContainerTest, RandomBytesAndTruncatedFilesDoNoHarm) {
    std::mt19937 rng(11);
    std::string junk;
    for (int i = 0; i < 20000; ++i) junk += static_cast<char>(rng() & 0xff);
    WriteFile(LibPath(), junk);
    CProgramData data;
    data.LoadLibraryFile(LibPath(), false);
    EXPECT_EQ(data.GetLibraryCount(), 0);
    std::string golden = ReadFile(Data("library/_qvl_library.txt"));
    WriteFile(LibPath(), golden.substr(0, golden.find("LibName=Second")));
    CProgramData cut;
    cut.LoadLibraryFile(LibPath(), false);
    EXPECT_EQ(cut.GetLibraryCount(), 1);
    EXPECT_EQ(cut.m_LibraryList[0].MacroList.size(), 2u);
}

// Regression: an unreadable library file was taken for a missing one, and the
// next save replaced it with an empty list.
TEST_F(LibraryContainerTest, UnreadableFileIsKeptAsBakBeforeASaveReplacesIt) {
    ScopedFilePermissionsApply asUser;
    if (!asUser.ok()) GTEST_SKIP() << "cannot drop the file-access capabilities";
    const std::string good = ReadFile(Data("library/_qvl_library.txt"));
    WriteFile(LibPath(), good);
    ::chmod(LibPath().c_str(), 0);
    CProgramData data;
    data.LoadLibraryFile(LibPath(), false);
    EXPECT_FALSE(g_bLibraryFileFound);
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find(LibPath() + ".bak"), std::string::npos);
    ASSERT_TRUE(data.SaveLibraryFile(LibPath()));
    ::chmod(LibPath().c_str(), 0600);
    ::chmod((LibPath() + ".bak").c_str(), 0600);
    EXPECT_EQ(ReadFile(LibPath() + ".bak"), good);
}
