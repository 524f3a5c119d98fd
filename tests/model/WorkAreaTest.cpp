#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "model/Globals.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {
const char* kTenFolders[] = {
    "QVL-WorkFiles",
    "QVL-WorkFiles/Loading-Area",
    "QVL-WorkFiles/Loading-Area/BackUp",
    "QVL-WorkFiles/Cmd-Area",
    "QVL-WorkFiles/Loading-Area/temp",
    "QVL-UserInfo/BufferText",
    "QVL-UserInfo/SessionInfo",
    "QVL-UserInfo/SessionInfo/Deprecated",
    "QVL-UserInfo/SessionInfo/BackUp",
    "QVL-UserInfo/LibraryInfo",
};
}  // namespace

TEST(WorkArea, RootComesFromQvlRootThenHome) {
    {
        ScopedEnv root("QVL_ROOT", "/some/where");
        EXPECT_EQ(GetSystemDriveRoot(), "/some/where/");
    }
    {
        ScopedEnv root("QVL_ROOT", nullptr);
        ScopedEnv home("HOME", "/home/tester/");
        EXPECT_EQ(GetSystemDriveRoot(), "/home/tester/");
    }
    {
        ScopedEnv root("QVL_ROOT", "");
        ScopedEnv home("HOME", "/h");
        EXPECT_EQ(GetSystemDriveRoot(), "/h/");
    }
}

TEST(WorkArea, CreatesTheTenFoldersAndThePathValues) {
    TempDir tmp;
    std::string root = tmp / "nested/root";  // parents are missing too
    ScopedEnv env("QVL_ROOT", root.c_str());
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);

    EXPECT_TRUE(CreateWorkAreaFolders().empty());
    EXPECT_TRUE(prompter.entries.empty());
    for (const char* f : kTenFolders) EXPECT_TRUE(fs::is_directory(root + "/" + f)) << f;

    EXPECT_EQ(g_strDriveRoot, root + "/");
    EXPECT_EQ(g_strWorkFilesDir, root + "/QVL-WorkFiles/");
    EXPECT_EQ(g_sDefaultLocalDir, g_strWorkFilesDir);
    EXPECT_EQ(g_strCmdAreaDir, root + "/QVL-WorkFiles/Cmd-Area/");
    EXPECT_EQ(g_strSessionBackUpDir, root + "/QVL-UserInfo/SessionInfo/BackUp/");
    EXPECT_EQ(g_strLibraryInfoDir, root + "/QVL-UserInfo/LibraryInfo/");

    // The user folders hold passwords: owner only.
    struct stat st {};
    ASSERT_EQ(::stat((root + "/QVL-UserInfo/SessionInfo").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A second start finds everything present and says nothing.
    EXPECT_TRUE(CreateWorkAreaFolders().empty());
    EXPECT_TRUE(prompter.entries.empty());
}

TEST(WorkArea, AFileInAFoldersPlaceFailsThatPlaceAndTheWalkGoesOn) {
    TempDir tmp;
    ScopedEnv env("QVL_ROOT", tmp.path().c_str());
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    // A file where the loading area should be: places 2, 3 and 5 lie below it.
    fs::create_directories(tmp / "QVL-WorkFiles");
    WriteFile(tmp / "QVL-WorkFiles/Loading-Area", "not a folder");
    // And one where the library folder should be: place 10.
    fs::create_directories(tmp / "QVL-UserInfo");
    WriteFile(tmp / "QVL-UserInfo/LibraryInfo", "x");

    std::vector<int> failed = CreateWorkAreaFolders();
    EXPECT_EQ(failed, (std::vector<int>{2, 3, 5, 10}));
    // One message names them all.
    const std::string root = tmp.path() + "/";
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{
                  "Failed to make the folders of the work area in " + root + ":\r\n" + root +
                  "QVL-WorkFiles/Loading-Area/  (a file stands in its way)\r\n" + root +
                  "QVL-WorkFiles/Loading-Area/BackUp/  (a file stands in its way)\r\n" + root +
                  "QVL-WorkFiles/Loading-Area/temp/  (a file stands in its way)\r\n" + root +
                  "QVL-UserInfo/LibraryInfo/  (a file stands in its way)\r\n\r\nThe program goes on, but what "
                  "belongs in these folders (sessions, libraries, the job log) cannot be kept."}));
    EXPECT_TRUE(fs::is_directory(tmp / "QVL-WorkFiles/Cmd-Area"));
    EXPECT_TRUE(fs::is_directory(tmp / "QVL-UserInfo/SessionInfo/BackUp"));
}

TEST(WorkArea, SplitPathComponentsDropsTheTailAndEmptyPieces) {
    std::vector<std::string> parts;
    SplitPathComponents(parts, "/a//b/c/tail");
    EXPECT_EQ(parts, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(MakeFolderPath(""));
}
