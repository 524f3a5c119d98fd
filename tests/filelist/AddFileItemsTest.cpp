// Adding file items: the single and many-file adds, the duplicate rule, the
// file limit, the duplicates report, and the add-files worker over real
// folder trees (filters, baskets per folder, stop, very long paths).
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "filelist/AddDroppedFiles.h"
#include "filelist/AddFileItems.h"
#include "filelist/AddLocalPath.h"
#include "model/ModelFixture.h"
#include "remote/FtpWorker.h"

namespace fs = std::filesystem;

namespace {

class AddFilesTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        ResetWorkerFlags();
        g_bSuppressListScrolling = false;
        data.InsertProject("P", 0);
        data.InsertSession("S", 0, 0);
        data.GetSessionPtr(0, 0)->IsLoaded = true;
        data.InsertBasket("Main", 0, 0, 0);
        g_CurrentAccount = CHost("host.example.com", "bob");
        g_CurrentAccount.m_strLastFolder = "/home/bob";
    }
    void TearDown() override {
        ResetWorkerFlags();
        ModelTest::TearDown();
    }
    std::string Make(const std::string& rel, const std::string& text = "x\n") {
        const std::string path = tmp / rel;
        fs::create_directories(fs::path(path).parent_path());
        WriteFile(path, text);
        return path;
    }
    std::vector<std::string> Names(int b) const {
        std::vector<std::string> out;
        for (const auto& it : data.GetBasketItems(0, 0, b)) out.push_back(it.FileName);
        return out;
    }
    CFileItem Item(const std::string& name, const std::string& dir) {
        CFileItem it(name);
        it.LocalDir = dir;
        return it;
    }

    CProgramData data;
};

// Applies every batch at once, as the window does on its own thread.
class InsertingSink : public IAddFilesSink {
public:
    explicit InsertingSink(CDropInserter& ins) : m_ins(ins) {}
    void Deliver(DropBatch&& batch) override {
        ++batches;
        m_ins.Insert(batch);
        if (onBatch) onBatch();
    }
    void ShowEntryListing(const std::string& text) override { listing = text; }
    int batches = 0;
    std::string listing;
    std::function<void()> onBatch;

private:
    CDropInserter& m_ins;
};

}  // namespace

TEST_F(AddFilesTest, NewItemTakesItsFolderFromTheSideItIsOn) {
    CFileItem like;
    like.LocalDir = "/work/";
    like.RemoteDir = "/srv/";
    CFileItem a = MakeNewFileItem("/usr/x/a.c", like, PathSide::Remote);
    EXPECT_EQ(a.FileName, "a.c");
    EXPECT_EQ(a.RemoteDir, "/usr/x/");
    EXPECT_EQ(a.LocalDir, "/work/");
    EXPECT_EQ(a.FileType, "remote");
    EXPECT_EQ(a.RemHost, "host.example.com");
    EXPECT_EQ(a.RemUser, "bob");

    CFileItem v = MakeNewFileItem("DISK:[DIR]A.COM", like, PathSide::Remote);
    EXPECT_EQ(v.FileName, "A.COM");
    EXPECT_EQ(v.RemoteDir, "DISK:[DIR]");

    CFileItem l = MakeNewFileItem("/home/u/notes/", like, PathSide::Local);
    EXPECT_EQ(l.FileName, "NewFile.txt");
    EXPECT_EQ(l.LocalDir, "/home/u/notes/");
    EXPECT_EQ(l.RemoteDir, "/srv/");
    EXPECT_EQ(l.FileType, "local");

    CFileItem bare = MakeNewFileItem("a.txt", like, PathSide::Local);
    EXPECT_EQ(bare.LocalDir, "/work/");
    EXPECT_EQ(bare.FileType, "local");

    EXPECT_EQ(GetPathStyle("C:\\a/b"), 0);
    EXPECT_EQ(GetPathStyle("/a/b"), 1);
    EXPECT_EQ(GetPathStyle("D:[A]B"), 2);
    EXPECT_EQ(GetPathStyle("plain"), 0);
}

TEST_F(AddFilesTest, DuplicateMeansSameNameAndLocalFolderWithCase) {
    std::string error;
    ASSERT_TRUE(AddFileItem(data, 0, 0, 0, 0, Item("A.txt", "/d/"), &error));
    EXPECT_TRUE(AddFileItem(data, 0, 0, 0, 1, Item("a.txt", "/d/"), &error));
    EXPECT_TRUE(AddFileItem(data, 0, 0, 0, 0, Item("A.txt", "/e/"), &error));
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(AddFileItem(data, 0, 0, 0, 0, Item("A.txt", "/d/"), &error));
    EXPECT_EQ(error, "File: A.txt already exists in the list.");
    EXPECT_EQ(Names(0), (std::vector<std::string>{"A.txt", "A.txt", "a.txt"}));
}

TEST_F(AddFilesTest, ManyFilesAreJudgedAgainstTheBasketAsItWas) {
    const std::string a = Make("in/a.txt"), b = Make("in/b.c");
    ASSERT_TRUE(AddFileItem(data, 0, 0, 0, 0, Item("first", "/x/"), nullptr));
    ASSERT_TRUE(AddFileItem(data, 0, 0, 0, 1, Item("last", "/x/"), nullptr));
    std::vector<std::string> paths{a, a, b};
    EXPECT_EQ(AddFileItems(data, 0, 0, 0, 1, paths, false), 3);
    EXPECT_EQ(paths, (std::vector<std::string>{"a.txt", "a.txt", "b.c"}));
    EXPECT_EQ(Names(0), (std::vector<std::string>{"first", "a.txt", "a.txt", "b.c", "last"}));
    EXPECT_EQ(data.GetSelection(0, 0, 0), (std::vector<int>{1, 2, 3}));
    const CFileItem added = data.GetFileItem(0, 0, 0, 1);
    EXPECT_EQ(added.LocalDir, tmp / "in/");
    EXPECT_EQ(added.FileType, "local");
    EXPECT_EQ(added.RemHost, "host.example.com");
    EXPECT_EQ(added.RemoteDir, "/home/bob");
    struct stat st {};
    ASSERT_EQ(::stat(a.c_str(), &st), 0);
    EXPECT_EQ(added.LocalModTime, st.st_mtime);
    EXPECT_EQ(g_strLastLocalDir, tmp / "in/");

    // A later call refuses them, marks them and keeps the selection.
    std::vector<std::string> again{b, Make("in/new.h")};
    EXPECT_EQ(AddFileItems(data, 0, 0, 0, -1, again, false), 1);
    EXPECT_EQ(again, (std::vector<std::string>{"b.c$--$", "new.h"}));
    EXPECT_EQ(CollectRefusedFiles(again), "    b.c\r\n");
    EXPECT_EQ(data.GetSelection(0, 0, 0), (std::vector<int>{5}));
    EXPECT_EQ(AddFileItems(data, 0, 0, 7, -1, again, false), 0);  // no such basket
}

TEST_F(AddFilesTest, ConcatenatedFilesInheritTheRemoteSideOfTheItemBefore) {
    CFileItem prev = Item("prev", "/x/");
    prev.RemHost = "other";
    prev.RemUser = "u2";
    prev.RemoteDir = "/r/";
    ASSERT_TRUE(AddFileItem(data, 0, 0, 0, 0, prev, nullptr));
    std::vector<std::string> paths{Make("c/out.txt")};
    ASSERT_EQ(AddFileItems(data, 0, 0, 0, 1, paths, true), 1);
    const CFileItem it = data.GetFileItem(0, 0, 0, 1);
    EXPECT_EQ(it.RemHost, "other");
    EXPECT_EQ(it.RemUser, "u2");
    EXPECT_EQ(it.RemoteDir, "/r/");
}

TEST_F(AddFilesTest, FileLimitCountsOneCallAndTurnsAutoUpdateOffOnce) {
    g_nTurnOff = 1000;
    ReportFileLimitExceeded(999);
    EXPECT_TRUE(g_bAutoUpdate);
    EXPECT_TRUE(trace.lines.empty());
    ReportFileLimitExceeded(1000);
    EXPECT_FALSE(g_bAutoUpdate);
    const std::string frame = "+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+";
    ASSERT_EQ(trace.lines.size(), 1u);
    EXPECT_EQ(trace.lines[0], frame + "\r\nFile limit exceeded 1000 files.\r\nAuto-update forcefully turned off.\r\n" + frame);
    ReportFileLimitExceeded(5000);
    EXPECT_EQ(trace.lines.size(), 1u);

    // Through AddFileItems: the basket's earlier items do not count.
    g_bAutoUpdate = true;
    g_nTurnOff = 3;
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(AddFileItem(data, 0, 0, 0, 0, Item("old" + std::to_string(i), "/o/"), nullptr));
    std::vector<std::string> two{Make("l/1"), Make("l/2")};
    AddFileItems(data, 0, 0, 0, -1, two, false);
    EXPECT_TRUE(g_bAutoUpdate);
    std::vector<std::string> three{Make("l/3"), Make("l/4"), Make("l/5")};
    AddFileItems(data, 0, 0, 0, -1, three, false);
    EXPECT_FALSE(g_bAutoUpdate);
    EXPECT_NE(trace.lines.back().find("File limit exceeded 3 files."), std::string::npos);
}

TEST_F(AddFilesTest, DuplicatesReportShowsTenNamesThenAndMore) {
    std::string ten, eleven;
    for (int i = 0; i < 10; ++i) ten += "    f" + std::to_string(i) + "\r\n";
    eleven = ten + "    f10\r\n";
    ReportDuplicateFiles("");
    EXPECT_TRUE(prompter.entries.empty());
    ReportDuplicateFiles(eleven);
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0],
              "Some of the files could not be added. They already exist in the list:\r\n" + ten + "<and more>...");
}

TEST_F(AddFilesTest, RootsOfADropAreNormalised) {
    std::string r = "/home/u", l = "/tmp/x";
    NormalizeDropRoots(r, l, "");
    EXPECT_EQ(r, "/home/u/");
    EXPECT_EQ(l, "/tmp/x/");
    r = "/a//b";
    l = "";
    NormalizeDropRoots(r, l, "");
    EXPECT_EQ(r, "/a/b/");
    EXPECT_EQ(l, "");
    r = "DISK:[A.B]";
    NormalizeDropRoots(r, l, "");
    EXPECT_EQ(r, "DISK:[A.B]");
    r = "/a";
    NormalizeDropRoots(r, l, "USER:[HOME]");
    EXPECT_EQ(r, "/a");
    EXPECT_EQ(GetDropLocalRoot("/tmp/drop/tree"), "/tmp/drop/");
    EXPECT_EQ(GetDropLocalRoot("/tmp/drop/tree/"), "/tmp/drop/");
    EXPECT_EQ(GetDropLocalRoot("/tree"), "");
    EXPECT_TRUE(PassesKeepExclude("a.txt", "*.*", ""));
    EXPECT_TRUE(PassesKeepExclude("run.log", ".txt,.log", ""));
    EXPECT_FALSE(PassesKeepExclude("a.c", ".txt,.log", ""));
    EXPECT_FALSE(PassesKeepExclude("a.txt", "", ""));
    EXPECT_FALSE(PassesKeepExclude("old.txt", "*", "old"));
}

TEST_F(AddFilesTest, DroppedTreeBecomesBasketsPerFolderWithFilters) {
    const std::string tree = tmp / "drop/tree";
    Make("drop/tree/a.txt");
    Make("drop/tree/skip.bak");
    Make("drop/tree/sub/b.txt");
    Make("drop/tree/sub/old_c.txt");
    Make("drop/tree/sub/deeper/d.txt");
    const std::string loose = Make("drop/loose.txt");
    const std::string looseBad = Make("drop/loose.bin");
    const std::string hidden = Make("drop/.hidden.txt");
    // The loose file is already in the basket.
    ASSERT_TRUE(AddFileItem(data, 0, 0, 0, 0, Item("loose.txt", tmp / "drop/"), nullptr));

    AddFilesJob job;
    job.paths = {tree, loose, looseBad, hidden, tmp / "drop/missing.txt"};
    job.choices.folderSeen = true;
    job.choices.remoteRoot = "/srv/www/";
    job.choices.keep = ".txt";
    job.choices.exclude = "old_";
    job.autoBasketCreate = true;
    job.trace = true;
    job.host = "h";
    job.user = "u";
    job.existing = data.GetBasketItems(0, 0, 0);
    CDropInserter ins(data, 0, 0, 0, 0);
    InsertingSink sink(ins);
    const AddFilesOutcome out = RunAddFilesWorker(job, sink);
    ins.Finish();

    EXPECT_FALSE(out.aborted);
    EXPECT_EQ(out.status, "Drag-n-drop over");
    EXPECT_TRUE(out.refused);  // hidden and missing
    EXPECT_EQ(out.duplicates, "     loose.txt\r\n");
    EXPECT_EQ(out.placed, 3);
    EXPECT_EQ(out.added, 0);
    ASSERT_EQ(data.GetBasketNames(0, 0),
              (std::vector<std::string>{"Main", "tree", "tree/sub", "tree/sub/deeper"}));
    EXPECT_EQ(Names(0), (std::vector<std::string>{"loose.txt"}));
    EXPECT_EQ(Names(1), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(Names(2), (std::vector<std::string>{"b.txt"}));
    EXPECT_EQ(Names(3), (std::vector<std::string>{"d.txt"}));
    const CFileItem d = data.GetFileItem(0, 0, 3, 0);
    EXPECT_EQ(d.LocalDir, tree + "/sub/deeper/");
    EXPECT_EQ(d.RemoteDir, "/srv/www/tree/sub/deeper/");
    EXPECT_EQ(d.RemHost, "h");
    EXPECT_EQ(d.FileType, "local");
    EXPECT_TRUE(data.GetSelection(0, 0, 0).empty());
    EXPECT_EQ(sink.listing.substr(0, 6), "   0. ");
    EXPECT_EQ(sink.listing.find('='), std::string::npos);
    EXPECT_TRUE(trace.Has("Adding files to list..."));
}

TEST_F(AddFilesTest, FlatDropInsertsAfterTheSelectionAndMarksDuplicates) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(AddFileItem(data, 0, 0, 0, i, Item("k" + std::to_string(i), "/k/"), nullptr));
    Make("flat/one.txt");
    Make("flat/two.txt");
    const std::string three = Make("flat/x/three.txt");
    ASSERT_TRUE(AddFileItem(data, 0, 0, 0, 3, Item("three.txt", tmp / "flat/x/"), nullptr));
    data.SetSelection(0, 0, 0, {0, 3});

    AddFilesJob job;
    job.paths = {tmp / "flat"};
    job.choices.folderSeen = true;
    job.choices.remoteRoot = "/r/";
    job.choices.deriveRemote = false;
    job.autoBasketCreate = false;
    job.existing = data.GetBasketItems(0, 0, 0);
    job.batchSize = 1;
    CDropInserter ins(data, 0, 0, 0, 1);
    InsertingSink sink(ins);
    const AddFilesOutcome out = RunAddFilesWorker(job, sink);
    ins.Finish();
    EXPECT_EQ(out.added, 2);
    EXPECT_EQ(out.duplicates, "    three.txt\r\n");
    EXPECT_EQ(Names(0), (std::vector<std::string>{"k0", "one.txt", "two.txt", "k1", "k2", "three.txt"}));
    EXPECT_EQ(data.GetSelection(0, 0, 0), (std::vector<int>{1, 2}));
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 1).RemoteDir, "/r/");
    EXPECT_EQ(data.GetBasketCount(0, 0), 1);
    EXPECT_GE(sink.batches, 2);
}

TEST_F(AddFilesTest, StopDuringTheItemsKeepsWhatWasAddedAndNothingElse) {
    for (int i = 0; i < 50; ++i) Make("many/f" + std::to_string(100 + i) + ".txt");
    AddFilesJob job;
    for (int i = 0; i < 50; ++i) job.paths.push_back(tmp / ("many/f" + std::to_string(100 + i) + ".txt"));
    job.autoBasketCreate = false;
    job.batchSize = 10;
    CDropInserter ins(data, 0, 0, 0, 0);
    InsertingSink sink(ins);
    sink.onBatch = [] { g_bAddFilesBreak = true; };
    const AddFilesOutcome out = RunAddFilesWorker(job, sink);
    ins.Finish();
    EXPECT_TRUE(out.aborted);
    EXPECT_EQ(out.status, "-d-aborted 2");
    ASSERT_EQ(data.GetFileItemCount(0, 0, 0), 10);
    EXPECT_EQ(Names(0).front(), "f100.txt");
    EXPECT_EQ(Names(0).back(), "f109.txt");
    EXPECT_EQ(data.GetSelection(0, 0, 0).size(), 10u);

    // A stop before the walk adds nothing at all.
    CProgramData fresh = data;
    g_bAddFilesBreak = true;
    job.paths = {tmp / "many"};
    CDropInserter ins2(fresh, 0, 0, 0, 0);
    InsertingSink sink2(ins2);
    const AddFilesOutcome out2 = RunAddFilesWorker(job, sink2);
    EXPECT_EQ(out2.status, "-d-aborted 8");
    EXPECT_EQ(sink2.batches, 0);
}

TEST_F(AddFilesTest, PathLongerThanTheSystemLimitIsTakenWhole) {
    // Build a folder chain deeper than PATH_MAX one step at a time.
    const std::string part(200, 'd');
    int dir = ::open(tmp.path().c_str(), O_PATH | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    std::string path = tmp.path();
    while (path.size() < 4300) {
        ASSERT_EQ(::mkdirat(dir, part.c_str(), 0755), 0);
        const int next = ::openat(dir, part.c_str(), O_PATH | O_DIRECTORY);
        ::close(dir);
        ASSERT_GE(next, 0);
        dir = next;
        path += "/" + part;
    }
    ::close(dir);
    const std::string file = path + "/long-name.txt";
    ASSERT_GT(file.size(), std::size_t(PATH_MAX));
    {
        // Write the file through a relative walk as well.
        int d = ::open(tmp.path().c_str(), O_PATH | O_DIRECTORY);
        for (std::size_t k = tmp.path().size() + 1; k < path.size(); k += part.size() + 1) {
            const int n = ::openat(d, part.c_str(), O_PATH | O_DIRECTORY);
            ::close(d);
            d = n;
        }
        const int fd = ::openat(d, "long-name.txt", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "x", 1), 1);
        ::close(fd);
        ::close(d);
    }
    EXPECT_EQ(ClassifyDroppedPath(file), 1);
    EXPECT_EQ(ClassifyDroppedPath(path), 2);
    EXPECT_EQ(ClassifyDroppedPath(path + "/nothing.txt"), 0);

    AddFilesJob job;
    job.paths = {file};
    CDropInserter ins(data, 0, 0, 0, 0);
    InsertingSink sink(ins);
    const AddFilesOutcome out = RunAddFilesWorker(job, sink);
    EXPECT_FALSE(out.refused);
    ASSERT_EQ(data.GetFileItemCount(0, 0, 0), 1);
    const CFileItem it = data.GetFileItem(0, 0, 0, 0);
    EXPECT_EQ(it.FileName, "long-name.txt");
    EXPECT_EQ(it.LocalDir, path + "/");
    EXPECT_NE(it.LocalModTime, DefaultItemTime());
    // Leave the chain removable.
    std::error_code ec;
    fs::remove_all(tmp / part, ec);
}

TEST_F(AddFilesTest, FolderNamesThatCannotNameABasketAreMadeStorable) {
    Make("odd/line\nbreak/a.txt");
    AddFilesJob job;
    job.paths = {tmp / "odd"};
    job.choices.folderSeen = true;
    job.autoBasketCreate = true;
    CDropInserter ins(data, 0, 0, 0, 0);
    InsertingSink sink(ins);
    const AddFilesOutcome out = RunAddFilesWorker(job, sink);
    EXPECT_EQ(out.placed, 1);
    ASSERT_EQ(data.GetBasketNames(0, 0), (std::vector<std::string>{"Main", "odd/line break"}));
    EXPECT_EQ(Names(1), (std::vector<std::string>{"a.txt"}));
}

TEST_F(AddFilesTest, CollectedFilesAreListedInColumns) {
    std::vector<DroppedFileEntry> files{{"a.c", "/r/long/", "/l/", -1}, {"longer.h", "/r/", "/l/x/", 0}};
    EXPECT_EQ(FormatDroppedEntries(files),
              "   1. a.c      /r/long/ /l/\r\n"
              "   2. longer.h /r/      /l/x/\r\n" +
                  std::string(62, '=') + "\r\n");
    EXPECT_EQ(FormatDroppedEntries({}), std::string(62, '=') + "\r\n");
    // The trace of a drop counts from 0, pads every column and draws no rule.
    EXPECT_EQ(FormatTracedEntries(files),
              "   0. a.c      /r/long/ /l/  \r\n"
              "   1. longer.h /r/      /l/x/\r\n");
    std::string input;
    SetInputTextSink([&](const std::string& t) { input = t; });
    ListCollectedFiles(files);
    SetInputTextSink(nullptr);
    EXPECT_EQ(input, FormatDroppedEntries(files));
}
