// Local folder walks, filters and the remote directory forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "model/Globals.h"
#include "platform/Prompter.h"
#include "remote/FolderScan.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

TEST(FolderFilters, IncludeAndExcludeTexts) {
    EXPECT_TRUE(MatchesFileFilters("a.txt", "*.*", ""));
    EXPECT_FALSE(MatchesFileFilters("a.txt", "*.*", "*"));
    EXPECT_FALSE(MatchesFileFilters("a.txt", "", ""));
    EXPECT_TRUE(MatchesFileFilters("a.cpp", "*.c, *.h", ""));  // ".c" is inside ".cpp"
    EXPECT_TRUE(MatchesFileFilters("x.h", "*.c;*.h", ""));
    EXPECT_FALSE(MatchesFileFilters("x.H", "*.h", ""));        // case-sensitive
    EXPECT_FALSE(MatchesFileFilters("a.log", "*.*", "*.log *.tmp"));
    EXPECT_FALSE(MatchesFileFilters("a.txt", "* ,", ""));  // only an exact "*" means every file
}

TEST(FolderWalk, ScansDepthFirstWithAbsolutePaths) {
    TempDir tmp;
    fs::create_directories(tmp / "top/sub one/deep");
    WriteFile(tmp / "top/a.txt", "");
    WriteFile(tmp / "top/b.log", "");
    WriteFile(tmp / "top/sub one/c.txt", "");
    WriteFile(tmp / "top/sub one/deep/d.txt", "");
    fs::create_directory_symlink(tmp / "top", tmp / "top/sub one/loop");  // never followed
    std::vector<std::string> files;
    ScanLocalFolder(tmp / "top", "*.*", files, "*.*", "*.log", false);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{tmp / "top/a.txt", tmp / "top/sub one/c.txt",
                                               tmp / "top/sub one/deep/d.txt"}));
    files.clear();
    ScanLocalFolder(tmp / "nowhere", "*.*", files, "*.*", "", false);
    EXPECT_TRUE(files.empty());

    g_bAddFilesBreak = true;
    try {
        ScanLocalFolder(tmp / "top", "*.*", files, "*.*", "", true);
        ADD_FAILURE() << "no abort";
    } catch (const CFolderScanAbort& a) {
        EXPECT_EQ(a.Code(), 6);
    }
    g_bAddFilesBreak = false;
}

TEST(FolderWalk, RemoteMappingGivesFolderRecords) {
    TempDir tmp;
    fs::create_directories(tmp / "work/proj/sub one");
    WriteFile(tmp / "work/proj/a.c", "");
    WriteFile(tmp / "work/proj/b.c", "");
    WriteFile(tmp / "work/proj/sub one/c.c", "");
    std::vector<CDirEntry> entries;
    std::vector<CFolderRecord> records;
    WalkFolderTree(tmp / "work/proj", true, "/u/", entries, records, "*.*", "");
    ASSERT_EQ(entries.size(), 3u);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].strRelativeDir, "proj");
    EXPECT_EQ(records[1].strRelativeDir, "proj/sub one");
    EXPECT_EQ(entries[0].strName, "a.c");
    EXPECT_EQ(entries[0].strRemoteDir, "/u/proj/");
    EXPECT_EQ(entries[0].nIndex, entries[1].nIndex);  // one record per folder
    EXPECT_EQ(entries[2].strRemoteDir, "/u/proj/sub-one/");
    EXPECT_EQ(entries[2].strLocalDir, tmp / "work/proj/sub one/");
    EXPECT_EQ(entries[2].nIndex, 1);

    // Without mapping every entry gets the remote directory itself and -1.
    entries.clear();
    records.clear();
    WalkFolderTree(tmp / "work/proj", false, "", entries, records, "*.*", "");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].nIndex, -1);
    EXPECT_TRUE(records.empty());

    // A single dropped file gets the normalised remote directory and -1.
    entries.clear();
    BuildFolderLists({tmp / "work/proj/a.c"}, tmp / "work/proj/a.c", true, "/u", entries, records,
                     true);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].nIndex, -1);
}

TEST(RemoteForms, MappingNormalisingAndChains) {
    auto unixMap = MapLocalFolderToRemote("/work/", "/work/proj/my sub/a.c", "/home/ann", "UNIX");
    EXPECT_EQ(unixMap.first, "/home/ann/proj/my-sub/");
    EXPECT_EQ(unixMap.second, "proj/my sub/");
    EXPECT_EQ(MapLocalFolderToRemote("/work/", "/work/proj/my sub/a.c", "DKA0:[ANN]", "VMS").first,
              "DKA0:[ANN.proj.my-sub]");
    EXPECT_EQ(MapLocalFolderToRemote("/work/", "/work/proj/my sub/a.c", "WORK", "VMS").first,
              "[.WORK.proj.my-sub]");
    EXPECT_EQ(MapLocalFolderToRemote("/elsewhere/", "/work/a.c", "/r/", "UNIX").first, "/r/");

    std::string d = "/a//b";
    NormalizeRemoteDir(d);
    EXPECT_EQ(d, "/a/b/");
    d = "///";
    NormalizeRemoteDir(d);
    EXPECT_EQ(d, "//");
    d = "DKA0:[X]";
    NormalizeRemoteDir(d);
    EXPECT_EQ(d, "DKA0:[X]");
    d = "]A]";  // a "]" after the first character marks a VMS text
    NormalizeRemoteDir(d);
    EXPECT_EQ(d, "]A]");
    d = "]a";
    NormalizeRemoteDir(d);
    EXPECT_EQ(d, "]a/");

    EXPECT_EQ(ConvertRemoteDirectory("DKA0:[ANN]", "DKA0:[ANN.PROJ.SUB]"),
              (std::vector<std::string>{"DKA0:[ANN.PROJ]", "DKA0:[ANN.PROJ.SUB]"}));
    EXPECT_EQ(ConvertRemoteDirectory("/home/ann/", "/home/ann/proj/sub/"),
              (std::vector<std::string>{"/home/ann/proj/", "/home/ann/proj/sub/"}));
    EXPECT_TRUE(ConvertRemoteDirectory("/home/ann/", "/home/ann/").empty());
    EXPECT_EQ(ConvertRemoteDirectory("ANN", "[.ANN.X]"), (std::vector<std::string>{"[.ANN.X]"}));

    RecordingPrompter prompter;
    ScopedPrompter scope(prompter);
    EXPECT_TRUE(ConvertRemoteDirectory("/home/bob/", "/srv/x/").empty());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"Invalid remote directory processed"}));
    auto all = CollectRemoteDirectories("/b/", {"/b/x/y/", "/b/x/", "/c/"});
    EXPECT_EQ(all, (std::vector<std::string>{"/b/x/", "/b/x/y/"}));

    // A UNIX folder's name may hold brackets (a dropped "d [1]"): the
    // account's host type decides, and a folder with "/" is never VMS.
    const size_t messages = prompter.Messages().size();
    EXPECT_EQ(CollectRemoteDirectories("/home/ann/", {"/home/ann/d-[1]/x/"}, "", "UNIX"),
              (std::vector<std::string>{"/home/ann/d-[1]/", "/home/ann/d-[1]/x/"}));
    EXPECT_EQ(ConvertRemoteDirectory("/home/ann/", "/home/ann/d-[1]/", "/home/ann/[old]/"),
              (std::vector<std::string>{"/home/ann/d-[1]/"}));
    EXPECT_EQ(prompter.Messages().size(), messages);
    d = "/a//x]";
    NormalizeRemoteDir(d, "UNIX");
    EXPECT_EQ(d, "/a/x]/");
    std::vector<CDirEntry> entries;
    std::vector<CFolderRecord> records;
    BuildFolderLists({"/work/d [1]/a.c"}, "/work/d [1]", true, "/home/ann/x]", entries, records, false, "",
                     "UNIX");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].strRemoteDir, "/home/ann/x]/d-[1]/");
}

TEST(RemoteForms, SortOrders) {
    std::vector<std::string> dirs = {"/B/", "/a/", "[X.b]", "[x.A]"};
    SortRemoteDirectories(dirs);
    EXPECT_EQ(dirs, (std::vector<std::string>{"/B/", "/a/", "[x.A]", "[X.b]"}));
    std::vector<std::string> paths = {"/Z/b.txt", "/a/c.txt", "/A/a.txt"};
    SortFilePaths(paths);
    EXPECT_EQ(paths[2], "/Z/b.txt");
    EXPECT_TRUE(CompareFilePaths("/a/B.txt", "/a/a.txt"));  // names compared as written
}
