// The remote browser, remote create and delete and the recursive collection
// against vsftpd and in.rexecd started on 127.0.0.1 for the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "RemoteFixture.h"
#include "model/WorkArea.h"
#include "remote/Collect.h"
#include "remote/RemoteBrowser.h"
#include "remote/RemoteDelete.h"

using namespace qvltest;
namespace fs = std::filesystem;

namespace {

class RealBrowser : public RemoteEngineTest {
protected:
    void SetUp() override {
        RemoteEngineTest::SetUp();
        if (!ftp.ok()) GTEST_SKIP() << ftp.why();
        if (work.path().empty()) GTEST_SKIP() << "cannot make a folder for the test user";
        envFtp = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(ftp.port()).c_str());
        oldPrompter = SetPrompter(&prompter);
        savedRoot = g_strDriveRoot;
        g_strDriveRoot = local.dir();
        g_bStopRemoteCollect = false;
        AddAccount("127.0.0.1", kUser, kPassword);
        // work/ a.txt b.log "my file.txt" src/ (main.c util.h lib/ (net.c)) empty/
        Make("a.txt");
        Make("b.log");
        Make("my file.txt");
        Make("src/main.c");
        Make("src/util.h");
        Make("src/Lib/net.c");
        fs::create_directories(work / "empty");
        Own(work.path());
    }
    void TearDown() override {
        SetPrompter(oldPrompter);
        g_strDriveRoot = savedRoot;
        RemoteEngineTest::TearDown();
    }
    void Make(const std::string& rel) {
        fs::create_directories(fs::path(work / rel).parent_path());
        WriteFile(work / rel, "x\n");
    }
    static void Own(const std::string& top) {
        uid_t uid;
        gid_t gid;
        std::string home;
        TestUserIds(uid, gid, home);
        for (auto& e : fs::recursive_directory_iterator(top)) ::lchown(e.path().c_str(), uid, gid);
    }
    CHost Account(const std::string& last = "") {
        CHost h("127.0.0.1", kUser, kPassword);
        h.m_strLastFolder = last;
        return h;
    }
    void Connect() {
        std::string h = "127.0.0.1", u = kUser;
        ASSERT_TRUE(ConnectHost(data, h, u, true));
    }
    static std::vector<std::string> Names(const CRemoteBrowser& b) {
        std::vector<std::string> out;
        for (auto& i : b.m_items) out.push_back(i.name + (i.folder ? "/" : ""));
        return out;
    }
    int Row(const CRemoteBrowser& b, const std::string& name) {
        for (size_t i = 0; i < b.m_items.size(); ++i)
            if (b.m_items[i].name == name) return static_cast<int>(i);
        return -1;
    }

    UserDir work;
    TempDir local;
    VsftpdServer ftp{""};
    std::unique_ptr<ScopedEnv> envFtp;
    RecordingPrompter prompter;
    IPrompter* oldPrompter = nullptr;
    std::string savedRoot;
};

TEST_F(RealBrowser, WithoutAnOpenConnectionTheBrowserRefusesToOpen) {
    CRemoteBrowser b("*.*", Account(work.dir()));
    EXPECT_FALSE(b.Init());
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Connection must be established first."});
}

TEST_F(RealBrowser, BrowsesFiltersBookmarksAndPicksFiles) {
    Connect();
    CRemoteBrowser b("*.*", Account(work.path()));
    ASSERT_TRUE(b.Init());
    EXPECT_EQ(b.m_strHostType, "UNIX");
    EXPECT_EQ(b.m_strCaption, "Files - 127.0.0.1");
    EXPECT_EQ(b.m_strCurrentFolder, work.dir());  // the trailing "/" comes with the first listing
    EXPECT_EQ(Names(b), (std::vector<std::string>{"empty/", "src/", "a.txt", "b.log", "my file.txt"}));
    EXPECT_EQ(b.m_strStatus, "2 directories, 3 files found.");
    ASSERT_EQ(b.m_account.m_Bookmarks.size(), 1u);
    EXPECT_EQ(b.m_account.m_Bookmarks[0].RemName, "-Accessed-");

    // Filters apply at the next listing and never hide folders.
    b.m_strKeep = ".txt";
    b.m_strExclude = "my";
    EXPECT_EQ(Names(b).size(), 5u);
    b.RefreshListing();
    EXPECT_EQ(Names(b), (std::vector<std::string>{"empty/", "src/", "a.txt"}));
    b.m_strKeep = "*.*";
    b.m_strExclude = "";

    b.EnterFolder("src");
    EXPECT_EQ(b.m_strCurrentFolder, work.dir() + "src/");
    EXPECT_EQ(Names(b), (std::vector<std::string>{"Lib/", "main.c", "util.h"}));
    EXPECT_EQ(b.m_account.m_Bookmarks.size(), 2u);
    b.Up();
    EXPECT_EQ(b.m_strCurrentFolder, work.dir());
    EXPECT_EQ(b.m_account.m_Bookmarks.size(), 2u);  // a folder is recorded once

    // A folder that is not there: the message, and the old folder stays.
    b.SetDirectory(work.dir() + "gone/");
    EXPECT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0].rfind("Unable to change directories: ", 0), 0u);
    EXPECT_EQ(b.m_strCurrentFolder, work.dir());

    // Two files picked: OK hands them back with the folder.
    b.Select({Row(b, "a.txt"), Row(b, "my file.txt")});
    EXPECT_EQ(b.m_strStatus, "2 files selected");
    ASSERT_TRUE(b.Ok({Row(b, "a.txt"), Row(b, "my file.txt")}));
    ASSERT_EQ(b.m_result.size(), 2u);
    EXPECT_EQ(b.m_result[1].strName, "my file.txt");
    EXPECT_EQ(b.m_result[1].strRemoteDir, work.dir());
    EXPECT_EQ(b.m_account.m_strLastFolder, work.dir());
    // OK on a folder in file mode walks into it and stays open.
    EXPECT_FALSE(b.Ok({Row(b, "src")}));
    EXPECT_EQ(b.m_strCurrentFolder, work.dir() + "src/");
}

TEST_F(RealBrowser, WithoutHistoryNothingIsRecordedAndABadLastFolderFallsBackToABookmark) {
    Connect();
    g_bBookmarkRecord = false;
    CHost acc = Account(work.dir() + "nothing-here/");
    CRemoteBookmark bm;
    bm.RemName = "x";
    bm.RemDir = work.dir() + "src/";
    acc.m_Bookmarks.push_back(bm);
    CRemoteBrowser b("*.DIR", acc);
    ASSERT_TRUE(b.Init());
    g_bBookmarkRecord = true;
    EXPECT_EQ(b.m_strCaption, "Directory - 127.0.0.1");
    EXPECT_EQ(b.m_strCurrentFolder, work.dir() + "src/");
    EXPECT_EQ(Names(b), std::vector<std::string>{"Lib/"});  // folders only
    EXPECT_EQ(b.m_account.m_Bookmarks.size(), 1u);
    EXPECT_TRUE(trace.All().find("Setting to last good directory from History: ") != std::string::npos);
    // Folder picking: OK on a folder answers with that folder.
    ASSERT_TRUE(b.Ok({0}));
    EXPECT_EQ(b.m_strCurrentFolder, work.dir() + "src/Lib/");
}

TEST_F(RealBrowser, CreatesAFolderAndDeletesByFtpWhenRexecIsRefused) {
    Connect();
    ScopedEnv noRexec("QVL_REXEC_PORT", std::to_string(FreePort()).c_str());
    CRemoteBrowser b("*.*", Account(work.dir()));
    ASSERT_TRUE(b.Init());
    prompter.texts = {std::string("new dir")};
    b.CreateDirectory();
    EXPECT_TRUE(fs::is_directory(work / "new dir"));
    ASSERT_GE(Row(b, "new dir"), 0);

    // Files: the script path fails, DELE follows without a second question.
    prompter.answers = {Answer::Yes};
    b.Delete({Row(b, "a.txt"), Row(b, "my file.txt")});
    EXPECT_FALSE(fs::exists(work / "a.txt"));
    EXPECT_FALSE(fs::exists(work / "my file.txt"));
    EXPECT_TRUE(fs::exists(work / "b.log"));
    EXPECT_TRUE(trace.All().find("REXEC failed: ") != std::string::npos) << trace.All();
    // The procedure that never ran is gone from the host and from here.
    for (auto& e : fs::directory_iterator(work.path()))
        EXPECT_EQ(e.path().filename().string().rfind("_DEL_QVL_", 0), std::string::npos) << e.path();
    EXPECT_TRUE(fs::is_empty(local.path()));
    const std::string q = "This will remove the selected files.\r\nAre you sure?\r\nClick \"No\", if you're not sure.";
    EXPECT_EQ(prompter.Questions(), (std::vector<std::string>{q}));

    // A folder that is not empty: RMD is refused by the server and reported.
    prompter.answers = {Answer::Yes};
    b.Delete({Row(b, "src")});
    EXPECT_TRUE(fs::exists(work / "src"));
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages().back().rfind("Failed to delete directory.", 0), 0u);
    // An empty one goes; No asks once and still refreshes.
    prompter.answers = {Answer::Yes};
    b.Delete({Row(b, "empty")});
    EXPECT_FALSE(fs::exists(work / "empty"));
    prompter.answers = {Answer::No};
    const size_t asked = prompter.Questions().size();
    b.Delete({Row(b, "b.log")});
    EXPECT_EQ(prompter.Questions().size(), asked + 1);
    EXPECT_TRUE(fs::exists(work / "b.log"));
}

class RealDelete : public RealBrowser {
protected:
    void SetUp() override {
        RealBrowser::SetUp();
        if (IsSkipped()) return;
        if (!rexec.ok()) GTEST_SKIP() << rexec.why();
        envRexec = std::make_unique<ScopedEnv>("QVL_REXEC_PORT", std::to_string(rexec.port()).c_str());
    }
    RexecServer rexec;
    std::unique_ptr<ScopedEnv> envRexec;
};

TEST_F(RealDelete, TheGeneratedProcedureDeletesAFileWithABlankAndAWholeTree) {
    Make("my");  // a neighbour that a split name would hit
    Make("file.txt");
    Own(work.path());
    Connect();
    CRemoteBrowser b("*.*", Account(work.dir()));
    ASSERT_TRUE(b.Init());
    bool offThread = false;
    const auto window = std::this_thread::get_id();
    b.m_runner = [&](const std::function<bool()>& job) {
        return RunOnWorkerAndWait([&] {
            offThread = std::this_thread::get_id() != window;
            return job();
        });
    };
    prompter.answers = {Answer::Yes};
    b.Delete({Row(b, "my file.txt")});
    EXPECT_TRUE(offThread);
    EXPECT_FALSE(fs::exists(work / "my file.txt"));
    EXPECT_TRUE(fs::exists(work / "my"));
    EXPECT_TRUE(fs::exists(work / "file.txt"));
    EXPECT_EQ(prompter.Questions().size(), 1u);  // no second question: the script did it
    prompter.answers = {Answer::Yes};
    b.Delete({Row(b, "src")});
    EXPECT_FALSE(fs::exists(work / "src"));
    EXPECT_EQ(prompter.Questions().back(),
              "This will remove the directory src and its contents.\r\nAre you sure?\r\nClick \"No\", if you're not sure.");
    // The procedures removed themselves; no local copy is left.
    for (auto& e : fs::directory_iterator(work.path()))
        EXPECT_EQ(e.path().filename().string().rfind("_DEL_QVL_", 0), std::string::npos) << e.path();
    EXPECT_TRUE(fs::is_empty(local.path()));
    EXPECT_EQ(Names(b), (std::vector<std::string>{"empty/", "a.txt", "b.log", "file.txt", "my"}));
}

TEST_F(RealBrowser, CollectsEveryFileBelowAFolderWithMirroredLocalFolders) {
    Connect();
    auto client = SelectOpenConnection("127.0.0.1", kUser);
    ASSERT_TRUE(client);
    std::vector<CDirEntry> out;
    const std::string root = work.dir() + "src/";
    ASSERT_EQ(CollectRecursive(*client, "UNIX", root, root, "/l/", true, "*.*", "", out), WalkEnd::Done);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].strName, "main.c");
    EXPECT_EQ(out[0].strLocalDir, "/l/");
    EXPECT_EQ(out[1].strName, "util.h");
    EXPECT_EQ(out[2].strName, "net.c");
    EXPECT_EQ(out[2].strRemoteDir, root + "Lib/");
    EXPECT_EQ(out[2].strLocalDir, "/l/Lib/");
    EXPECT_TRUE(trace.Has("Processing " + root + "Lib/"));
    // "Lib/" and "lib/" stay two local folders; in one local folder the
    // second "net.c" is refused and listed, never mapped onto the first.
    fs::create_directories(root + "lib");
    WriteFile(root + "lib/net.c", "other");
    ASSERT_EQ(CollectRecursive(*client, "UNIX", root, root, "/l/", true, "*.*", "", out), WalkEnd::Done);
    std::set<std::string> locals;
    for (const CDirEntry& e : out) locals.insert(e.strLocalDir + e.strName);
    EXPECT_EQ(locals, (std::set<std::string>{"/l/main.c", "/l/util.h", "/l/Lib/net.c", "/l/lib/net.c"}));
    ASSERT_EQ(CollectRecursive(*client, "UNIX", root, root, "/l/", false, "*.*", "", out), WalkEnd::Done);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_NE(trace.All().find("net.c -> /l/net.c\n"), std::string::npos) << trace.All();
    fs::remove_all(root + "lib");
    // The filters hold for the walk; an empty keep finds nothing.
    ASSERT_EQ(CollectRecursive(*client, "UNIX", root, root, "/l/", true, ".h", "", out), WalkEnd::Done);
    EXPECT_EQ(out.size(), 1u);
    ASSERT_EQ(CollectRecursive(*client, "UNIX", root, root, "/l/", true, "", "", out), WalkEnd::Done);
    EXPECT_TRUE(out.empty());
    // A stop ends the walk with nothing; a missing folder fails it.
    g_bStopRemoteCollect = true;
    EXPECT_EQ(CollectRecursive(*client, "UNIX", root, root, "/l/", true, "*.*", "", out), WalkEnd::Stopped);
    g_bStopRemoteCollect = false;
    EXPECT_EQ(CollectRecursive(*client, "UNIX", root, root + "gone/", "/l/", true, "*.*", "", out),
              WalkEnd::Failed);
    EXPECT_TRUE(trace.All().find("-nav1-: Unable to set initial directory: ") != std::string::npos);
}

}  // namespace

namespace {

// A VMS host is only reachable through the scripted server: its listing,
// its folder syntax and the DCL procedure that goes up before the fallback.
class FakeServerBrowser : public RemoteEngineTest {
protected:
    void SetUp() override {
        RemoteEngineTest::SetUp();
        oldPrompter = SetPrompter(&prompter);
        savedRoot = g_strDriveRoot;
        g_strDriveRoot = local.dir();
        server.systReply = "215 VMS OpenVMS V8.4\r\n";
        server.listing =
            "Directory DISK$1:[USER.A]\r\n\r\n"
            "LOGIN.COM;3         2/3      12-JAN-2020 10:00:00.00\r\n"
            "SUB.DIR;1           1/3      12-JAN-2020 10:00:00.00\r\n"
            "\r\nTotal of 2 files, 3/6 blocks.\r\n";
        server.replies["CWD"] = "250 CWD ok\r\n";
        server.replies["PWD"] = "257 \"DISK$1:[USER.A]\" is current directory.\r\n";
        server.replies["DELE"] = "250 DELE ok\r\n";
        server.Start();
        envFtp = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(server.port()).c_str());
        envRexec = std::make_unique<ScopedEnv>("QVL_REXEC_PORT", std::to_string(FreePort()).c_str());
        AddAccount("127.0.0.1", "USER", "pw");
    }
    void TearDown() override {
        CloseAllConnections();
        server.Stop();
        SetPrompter(oldPrompter);
        g_strDriveRoot = savedRoot;
        RemoteEngineTest::TearDown();
    }
    FakeFtpServer server;
    TempDir local;
    std::unique_ptr<ScopedEnv> envFtp, envRexec;
    RecordingPrompter prompter;
    IPrompter* oldPrompter = nullptr;
    std::string savedRoot;
};

TEST_F(FakeServerBrowser, ListsAVmsFolderAndDeletesEveryVersionAfterTheProcedureFailed) {
    std::string h = "127.0.0.1", u = "USER";
    ASSERT_TRUE(ConnectHost(data, h, u, true));
    CRemoteBrowser b("*.*", CHost("127.0.0.1", "USER", "pw"));
    ASSERT_TRUE(b.Init());
    EXPECT_EQ(b.m_strHostType, "VMS");
    EXPECT_EQ(b.m_strUser, "user");
    EXPECT_EQ(b.m_strCurrentFolder, "DISK$1:[USER.A]");
    ASSERT_EQ(b.m_items.size(), 2u);
    EXPECT_EQ(b.m_items[0].name, "SUB");
    EXPECT_TRUE(b.m_items[0].folder);
    b.EnterFolder("SUB");
    EXPECT_EQ(b.m_strCurrentFolder, "DISK$1:[USER.A.SUB]");

    prompter.answers = {Answer::Yes, Answer::Yes};
    b.Delete({1});
    const std::string stored = server.Stored();
    EXPECT_NE(stored.find("$ set default DISK$1:[USER.A]\r\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("$ del LOGIN.COM;*\r\n"), std::string::npos);
    ASSERT_EQ(server.StoredNames().size(), 1u);
    const std::string script = server.StoredNames()[0];
    EXPECT_EQ(script.rfind("DISK$1:[USER.A]_DEL_QVL_", 0), 0u) << script;
    const auto got = server.Received();
    auto sent = [&](const std::string& l) { return std::find(got.begin(), got.end(), l) != got.end(); };
    EXPECT_TRUE(sent("DELE " + script + ";*"));  // the procedure that never ran goes again
    EXPECT_TRUE(sent("DELE LOGIN.COM;*"));
    EXPECT_TRUE(fs::is_empty(local.path()));
}

}  // namespace

namespace {

TEST_F(FakeServerBrowser, AnEndlessTreeIsWalkedDownToTheDepthLimitWithALineSayingSo) {
    // Every folder of this host holds SUB.DIR: the tree has no bottom.
    std::string h = "127.0.0.1", u = "USER";
    ASSERT_TRUE(ConnectHost(data, h, u, true));
    auto client = SelectOpenConnection("127.0.0.1", "USER");
    ASSERT_TRUE(client);
    std::atomic<bool> ended{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1500 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!ended) g_bStopRemoteCollect = true;  // a walk that never ends fails the test
    });
    std::vector<CDirEntry> out;
    const std::string root = "DISK$1:[USER.A]";
    const WalkEnd end = CollectRecursive(*client, "VMS", root, root, "/l/", true, "*.*", "", out);
    ended = true;
    watchdog.join();
    g_bStopRemoteCollect = false;
    ASSERT_EQ(end, WalkEnd::Done);
    EXPECT_EQ(out.size(), static_cast<size_t>(kMaxCollectDepth + 1));  // LOGIN.COM of each level
    std::string deepest = "DISK$1:[USER.A";
    for (int i = 0; i <= kMaxCollectDepth; ++i) deepest += ".SUB";
    EXPECT_EQ(trace.Count("-?- Not going deeper than 64 folders: " + deepest + "] is left out."), 1);
}

TEST_F(FakeServerBrowser, ListedDotNamesAndSlashesAreNeverShownCollectedOrDeleted) {
    server.systReply = "215 UNIX Type: L8\r\n";
    server.listing =
        "drwxr-xr-x 2 u g 4096 Jan 12 10:00 .\r\n"
        "drwxr-xr-x 2 u g 4096 Jan 12 10:00 ..\r\n"
        "drwxr-xr-x 2 u g 4096 Jan 12 10:00 ../../etc\r\n"
        "-rw-r--r-- 1 u g 10 Jan 12 10:00 a/../../b.txt\r\n"
        "-rw-r--r-- 1 u g 10 Jan 12 10:00 good.txt\r\n";
    server.SetReply("PWD", "257 \"/home/u\" is current directory.\r\n");
    std::string h = "127.0.0.1", u = "USER";
    ASSERT_TRUE(ConnectHost(data, h, u, true));
    CRemoteBrowser b("*.*", CHost("127.0.0.1", "USER", "pw"));
    ASSERT_TRUE(b.Init());
    ASSERT_EQ(b.m_items.size(), 1u);
    EXPECT_EQ(b.m_items[0].name, "good.txt");
    std::vector<CDirEntry> out;
    auto client = SelectOpenConnection("127.0.0.1", "USER");
    ASSERT_EQ(CollectRecursive(*client, "UNIX", "/home/u/", "/home/u/", "/l/", true, "*.*", "", out),
              WalkEnd::Done);
    ASSERT_EQ(out.size(), 1u);  // the walk never went into "." or ".."
    EXPECT_EQ(out[0].strName, "good.txt");
    const auto got = server.Received();
    EXPECT_EQ(std::count(got.begin(), got.end(), "CWD /home/u/"), 1);
    for (const auto& l : got) EXPECT_EQ(l.find("etc"), std::string::npos) << l;
}

}  // namespace
