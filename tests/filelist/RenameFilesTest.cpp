#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "filelist/AddFileItems.h"
#include "filelist/NewFileItem.h"
#include "filelist/RenameFiles.h"
#include "model/ModelFixture.h"
#include "support/FileAccess.h"

namespace {

namespace fs = std::filesystem;

class RenameFilesTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        files = tmp.dir() + "files/";
        fs::create_directories(files);
        temp = RenameTempFolder();
    }
    void Put(const std::string& name, const std::string& text) { WriteFile(files + name, text); }
    std::string Get(const std::string& name) { return ReadFile(files + name); }
    bool Exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }
    RenameRecord Record(const std::string& from, const std::string& to) {
        RenameRecord r;
        r.oldPath = files + from;
        r.tempPath = MakeTempPath(temp, files, from);
        r.newName = to[0] == '/' ? to : files + to;
        return r;
    }
    // A basket holding one item per name, all selected, in the files folder.
    void MakeBasket(const std::vector<std::string>& names) {
        data.InsertProject("P", 0);
        data.InsertSession("S", 0, 0);
        data.InsertBasket("B", 0, 0, 0);
        std::vector<int> sel;
        for (const auto& n : names) {
            CFileItem it(n);
            it.FileType = "local";
            it.LocalDir = files;
            data.InsertFileItems(0, 0, 0, int(sel.size()), it);
            sel.push_back(int(sel.size()));
        }
        data.SetSelection(0, 0, 0, sel);
    }
    CFileItem Item(int f) { return data.GetFileItem(0, 0, 0, f); }
    // Renames with the folder "locked" read-only. Root ignores folder modes,
    // so the rename runs on a thread without that power; false when the
    // modes cannot be applied to this process.
    bool RenameBesideALockedFolder(std::vector<RenameRecord>& rs, std::string& failures) {
        fs::create_directories(files + "locked");
        ::chmod((files + "locked").c_str(), 0555);
        bool applied = true;
        std::thread([&] {
            ScopedFilePermissionsApply asUser;
            applied = asUser.ok();
            if (applied) failures = RenameInTwoPhases(rs, temp);
        }).join();
        ::chmod((files + "locked").c_str(), 0755);
        return applied;
    }

    std::string files, temp;
    CProgramData data;
};

TEST_F(RenameFilesTest, TemporaryPlacesStayInsideTheTemporaryFolder) {
    EXPECT_EQ(MakeTempPath("/t/delme/", "/home/u/", "a.txt"), "/t/delme/home/u/a.txt");
    EXPECT_EQ(MakeTempPath("/t/delme", "/a/../../../etc/", "passwd"), "/t/delme/a/etc/passwd");
    EXPECT_EQ(MakeTempPath("/t/delme/", "../../", "x"), "/t/delme/x");
    EXPECT_EQ(MakeTempPath("/t/delme/", "", "x"), "/t/delme/x");
    EXPECT_EQ(MakeTempPath("/t/delme/", "/u/", ""), "");
    EXPECT_EQ(MakeTempPath("/t/delme/", "/u/", ".."), "");
}

TEST_F(RenameFilesTest, SwapKeepsBothContentsAndLeavesNoTemporaryFolder) {
    Put("a.txt", "alpha");
    Put("b.txt", "beta");
    std::vector<RenameRecord> rs{Record("a.txt", "b.txt"), Record("b.txt", "a.txt")};
    EXPECT_EQ(RenameInTwoPhases(rs, temp), "");
    EXPECT_EQ(Get("a.txt"), "beta");
    EXPECT_EQ(Get("b.txt"), "alpha");
    EXPECT_TRUE(rs[0].renamed && rs[1].renamed);
    EXPECT_FALSE(Exists(temp));
    EXPECT_TRUE(fs::is_directory(g_strLoadingTempDir));
}

TEST_F(RenameFilesTest, FilesOnAnotherFileSystemAreSwappedToo) {
    struct stat here {}, shm {};
    if (::stat(tmp.path().c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    char tmpl[] = "/dev/shm/qvlren-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string other = std::string(tmpl) + "/";
    WriteFile(other + "a.txt", "alpha");
    WriteFile(other + "b.txt", "beta");
    std::vector<RenameRecord> rs(2);
    rs[0].oldPath = other + "a.txt";
    rs[0].newName = other + "b.txt";
    rs[0].tempPath = MakeTempPath(temp, other, "a.txt");
    rs[1].oldPath = other + "b.txt";
    rs[1].newName = other + "a.txt";
    rs[1].tempPath = MakeTempPath(temp, other, "b.txt");
    const std::string failures = RenameInTwoPhases(rs, temp);
    const std::string a = ReadFile(other + "a.txt"), b = ReadFile(other + "b.txt");
    const auto left = std::distance(fs::directory_iterator(other), fs::directory_iterator());
    fs::remove_all(other);
    EXPECT_EQ(failures, "");
    EXPECT_EQ(a, "beta");
    EXPECT_EQ(b, "alpha");
    EXPECT_EQ(left, 2);
}

TEST_F(RenameFilesTest, ExistingOrSharedTargetsAreRefusedBeforeAnythingMoves) {
    Put("a.txt", "alpha");
    Put("b.txt", "beta");
    Put("keep.txt", "user data");
    std::vector<RenameRecord> rs{Record("a.txt", "keep.txt"), Record("b.txt", "new.txt")};
    const std::string failures = RenameInTwoPhases(rs, temp);
    EXPECT_EQ(failures, "   File already exists: " + files + "keep.txt\r\n");
    EXPECT_EQ(Get("keep.txt"), "user data");
    EXPECT_EQ(Get("a.txt"), "alpha");
    EXPECT_FALSE(rs[0].moved || rs[0].renamed);
    EXPECT_EQ(Get("new.txt"), "beta");

    // Two files of one run may not get one name; the first keeps it.
    Put("c.txt", "gamma");
    std::vector<RenameRecord> two{Record("a.txt", "same.txt"), Record("c.txt", files + "./same.txt")};
    EXPECT_NE(RenameInTwoPhases(two, temp).find("More than one file would be named"), std::string::npos);
    EXPECT_EQ(Get("same.txt"), "alpha");
    EXPECT_EQ(Get("c.txt"), "gamma");

    // A missing original is reported and the others still go.
    std::vector<RenameRecord> gone{Record("nothing.txt", "x.txt"), Record("c.txt", "d.txt")};
    EXPECT_EQ(RenameInTwoPhases(gone, temp), "   Original file is missing.\r\n");
    EXPECT_EQ(Get("d.txt"), "gamma");
    EXPECT_FALSE(Exists(temp));
}

TEST_F(RenameFilesTest, FailedSecondMoveGoesBackToTheOldName) {
    Put("a.txt", "alpha");
    Put("b.txt", "beta");
    std::string failures;
    std::vector<RenameRecord> rs{Record("a.txt", "locked/a.txt"), Record("b.txt", "b2.txt")};
    if (!RenameBesideALockedFolder(rs, failures))
        GTEST_SKIP() << "file permissions cannot be applied to this process";
    EXPECT_NE(failures.find("Failed to rename"), std::string::npos);
    EXPECT_EQ(Get("a.txt"), "alpha");
    EXPECT_FALSE(Exists(files + "locked/a.txt"));
    EXPECT_FALSE(rs[0].renamed || rs[0].moved);
    EXPECT_EQ(Get("b2.txt"), "beta");
    EXPECT_FALSE(Exists(temp));
}

TEST_F(RenameFilesTest, AFileThatCannotGoBackStaysInTheTemporaryFolder) {
    Put("a.txt", "alpha");
    Put("b.txt", "beta");
    // a takes b's name; b cannot reach the locked folder nor its old name.
    std::vector<RenameRecord> rs{Record("a.txt", "b.txt"), Record("b.txt", "locked/b.txt")};
    std::string failures;
    if (!RenameBesideALockedFolder(rs, failures))
        GTEST_SKIP() << "file permissions cannot be applied to this process";
    EXPECT_EQ(Get("b.txt"), "alpha");
    EXPECT_EQ(ReadFile(rs[1].tempPath), "beta");
    EXPECT_NE(failures.find("The file is kept at " + rs[1].tempPath), std::string::npos);
}

TEST_F(RenameFilesTest, OnlyEmptyFoldersOfTheTemporaryAreaAreRemoved) {
    fs::create_directories(temp + "x/y");
    fs::create_directories(temp + "z");
    WriteFile(temp + "z/left.txt", "left");
    fs::create_directories(files + "outside/empty");
    fs::create_symlink(files + "outside", temp + "link");
    RemoveEmptyFolders(temp);
    EXPECT_FALSE(Exists(temp + "x"));
    EXPECT_EQ(ReadFile(temp + "z/left.txt"), "left");
    EXPECT_TRUE(fs::is_symlink(temp + "link"));
    EXPECT_TRUE(fs::is_directory(files + "outside/empty"));

    // A temporary folder that is a link is not used at all.
    fs::remove_all(temp);
    fs::create_symlink(files + "outside", temp.substr(0, temp.size() - 1));
    Put("a.txt", "alpha");
    std::vector<RenameRecord> rs{Record("a.txt", "b.txt")};
    EXPECT_NE(RenameInTwoPhases(rs, temp).find("The temporary folder cannot be used"), std::string::npos);
    EXPECT_EQ(Get("a.txt"), "alpha");
}

TEST_F(RenameFilesTest, FilesParkedByAKilledRenameGoBackAtTheNextStart) {
    // The run ended after its first move: a and b parked, c already renamed
    // to a's old name, so a cannot go back there.
    Put("b.txt", "beta");
    Put("c.txt", "gamma");
    std::vector<RenameRecord> rs{Record("a.txt", "x.txt"), Record("b.txt", "y.txt"),
                                 Record("c.txt", "a.txt")};
    fs::create_directories(fs::path(rs[0].tempPath).parent_path());
    fs::create_directories(temp + "gone/folder");
    WriteFile(rs[0].tempPath, "alpha");
    fs::rename(files + "b.txt", rs[1].tempPath);
    fs::rename(files + "c.txt", files + "a.txt");
    WriteFile(temp + "gone/folder/d.txt", "delta");

    EXPECT_EQ(RestoreParkedFiles(temp), 1);
    EXPECT_EQ(Get("b.txt"), "beta");
    EXPECT_EQ(Get("a.txt"), "gamma");
    EXPECT_EQ(ReadFile(rs[0].tempPath), "alpha");
    EXPECT_EQ(ReadFile(temp + "gone/folder/d.txt"), "delta");
    EXPECT_TRUE(trace.Has("Rename: 1 file(s) left in the temporary folder by an unfinished rename were put back"))
        << trace.All();
    EXPECT_TRUE(trace.Has("Rename: " + files + "a.txt is kept at " + rs[0].tempPath)) << trace.All();
    EXPECT_TRUE(trace.Has("/gone/folder/d.txt is kept at " + temp + "gone/folder/d.txt")) << trace.All();

    // A file that waited under a hidden name in its own folder goes back too.
    Put(".qvl-rename-3-e.txt", "epsilon");
    Put(".qvl-rename-4-b.txt", "second b");
    EXPECT_EQ(RestoreHiddenParkedFiles({files, files}), 1);
    EXPECT_EQ(Get("e.txt"), "epsilon");
    EXPECT_EQ(Get(".qvl-rename-4-b.txt"), "second b");
    EXPECT_TRUE(trace.Has("Rename: " + files + "b.txt is kept at " + files + ".qvl-rename-4-b.txt")) << trace.All();

    // What stays parked survives the next save.
    data.EnsureCurrentBasket();
    ASSERT_TRUE(data.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    EXPECT_EQ(ReadFile(rs[0].tempPath), "alpha");
}

TEST_F(RenameFilesTest, ReportShowsTenLinesAtMost) {
    std::string ten, eleven;
    for (int i = 0; i < 10; ++i) ten += "    f" + std::to_string(i) + "\r\n";
    eleven = ten + "    last\r\n";
    EXPECT_EQ(FormatFileListReport("T:", ""), "");
    EXPECT_EQ(FormatFileListReport("T:", ten), "T:\r\n" + ten);
    EXPECT_EQ(FormatFileListReport("T:", eleven), "T:\r\n" + ten + "<and more>...");
}

TEST_F(RenameFilesTest, RenamingSelectedItemsUpdatesThoseThatMoved) {
    Put("a.txt", "alpha");
    Put("b.txt", "beta");
    MakeBasket({"a.txt", "b.txt", "gone.txt"});
    const std::string other = tmp.dir() + "other/";
    const auto changed = RenameFilesToNewNames(data, 0, 0, 0, {"b.txt", other + "a.c", "x.txt"});
    EXPECT_EQ(changed, (std::vector<int>{0, 1}));
    EXPECT_EQ(Item(0).FileName, "b.txt");
    EXPECT_EQ(Item(0).LocalDir, files);
    EXPECT_EQ(Item(1).FileName, "a.c");
    EXPECT_EQ(Item(1).LocalDir, other);
    EXPECT_EQ(Item(2).FileName, "gone.txt");
    EXPECT_EQ(Get("b.txt"), "alpha");
    EXPECT_EQ(ReadFile(other + "a.c"), "beta");
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0],
              "Some of the files could not be renamed. Unknown internal errors.\r\n"
              "   Original file is missing.\r\n");
}

TEST_F(RenameFilesTest, RenamingRefusesAMismatchOrABadNameBeforeTouchingFiles) {
    Put("a.txt", "alpha");
    Put("b.txt", "beta");
    Put("c.txt", "gamma");
    MakeBasket({"a.txt", "b.txt", "c.txt"});
    EXPECT_TRUE(RenameFilesToNewNames(data, 0, 0, 0, {"x", "y"}).empty());
    EXPECT_EQ(prompter.Messages().back(),
              "Files selected on main list do not match the generated names.\r\n"
              "Operation discontinued. Make sure you do not change the selection on \r\n"
              "the main window during the process.");
    for (const std::string bad : {"", "   ", "a|b.txt", "/x/../y.txt", "sub/"}) {
        EXPECT_TRUE(RenameFilesToNewNames(data, 0, 0, 0, {"b.txt", "a.txt", bad}).empty());
        EXPECT_NE(prompter.Messages().back().find("First bad name found at: Item 2\r\n"), std::string::npos)
            << bad;
    }
    EXPECT_EQ(prompter.Messages().back(),
              "One or more file names are invalid.\r\n   1. File name cannot be empty.\r\n"
              "   2. File name may not contain /, ?, <, >, |, \".\r\n\r\n"
              "Absolute path with or without drive name is however allowed.\r\n\r\n"
              "First bad name found at: Item 2\r\n       sub/");
    EXPECT_EQ(Get("a.txt"), "alpha");
    EXPECT_EQ(Get("b.txt"), "beta");
}

TEST_F(RenameFilesTest, DuplicatesGoAfterTheSelectionAndNeverOverwrite) {
    Put("a.txt", "alpha");
    Put("b.txt", "beta");
    Put("taken.txt", "mine");
    MakeBasket({"a.txt", "b.txt", "z.txt"});
    data.SetSelection(0, 0, 0, {0, 1});
    EXPECT_FALSE(DuplicateFilesToNewNames(data, 0, 0, 0, {"x"}).ran);
    EXPECT_EQ(prompter.entries.back().icon, MsgIcon::Stop);

    const DuplicateOutcome d = DuplicateFilesToNewNames(data, 0, 0, 0, {files + "a2.txt", "taken.txt"});
    EXPECT_TRUE(d.ran);
    EXPECT_EQ(d.newIndices, std::vector<int>{2});
    EXPECT_EQ(d.notCreated, "    taken.txt\r\n");
    EXPECT_EQ(Get("taken.txt"), "mine");
    EXPECT_EQ(Get("a2.txt"), "alpha");
    EXPECT_EQ(Item(2).FileName, "a2.txt");
    EXPECT_EQ(Item(2).LocalDir, files);
    EXPECT_EQ(Item(3).FileName, "z.txt");
    EXPECT_EQ(data.GetSelection(0, 0, 0), std::vector<int>{2});
}

TEST_F(RenameFilesTest, NewItemsFromTypedPaths) {
    CFileItem like("x");
    like.LocalDir = "/w/";
    like.RemoteDir = "/r/";
    g_CurrentAccount = CHost("h.example.com", "u");
    CFileItem it = MakeLocalFileItem("a.txt", like);
    EXPECT_EQ(it.GetLocalPath(), "/w/a.txt");
    EXPECT_EQ(it.RemoteDir + it.RemHost + it.FileType, "/r/h.example.comlocal");
    EXPECT_EQ(MakeLocalFileItem("/work/", like).GetLocalPath(), "/work/NewFile.txt");
    EXPECT_EQ(MakeLocalFileItem("sub/../../b.c", like).LocalDir, "/");
    EXPECT_EQ(MakeLocalFileItem("sub/b.c", like).LocalDir, "/w/sub/");

    MakeBasket({"a.txt"});
    std::string error;
    CFileItem same("a.txt");
    same.LocalDir = files;
    EXPECT_FALSE(AddFileItem(data, 0, 0, 0, 1, same, &error));
    EXPECT_EQ(error, "File: a.txt already exists in the list.");
    same.FileName = "A.txt";  // case counts
    EXPECT_TRUE(AddFileItem(data, 0, 0, 0, 1, same, &error));
    EXPECT_EQ(data.GetFileItemCount(0, 0, 0), 2);
}

}  // namespace
