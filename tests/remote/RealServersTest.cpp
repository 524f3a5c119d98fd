// One site against each real server the users meet: vsftpd, pure-ftpd and
// pyftpdlib. Files added as the add-files command adds them go up and come
// back byte for byte (text and a picture the extension list does not know),
// the folder lists names with blanks and non-ASCII letters, the status check
// finds them, and a server edit within the minute or the second of the
// upload is seen. A send replaces the server's copy whole or not at all; a
// stopped send keeps the times of the files that arrived whole.
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

#include "RemoteFixture.h"
#include "filelist/AddFileItems.h"
#include "model/Account.h"
#include "remote/FtpClient.h"
#include "remote/RemoteStatus.h"
#include "remote/TransferEngine.h"

using namespace qvltest;

namespace {

class RealServers : public RemoteEngineTest, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        RemoteEngineTest::SetUp();
        savedAccount = g_CurrentAccount;
        const std::string kind = GetParam();
        if (kind == "pyftpdlib") {
            py = std::make_unique<PyFtpServer>(pyRoot.path());
            if (!py->ok()) GTEST_SKIP() << py->why();
            port = py->port();
            remoteDir = "/";
            serverDir = pyRoot.dir();
        } else {
            if (kind == "vsftpd") {
                vs = std::make_unique<VsftpdServer>("");
                if (!vs->ok()) GTEST_SKIP() << vs->why();
                port = vs->port();
            } else {
                pure = std::make_unique<PureFtpdServer>();
                if (!pure->ok()) GTEST_SKIP() << pure->why();
                port = pure->port();
            }
            if (work.path().empty()) GTEST_SKIP() << "cannot make a folder for the test user";
            remoteDir = serverDir = work.dir();
        }
        env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(port).c_str());
        AddAccount("127.0.0.1", kUser, kPassword);
        g_bFtpUpdate = true;
        g_CurrentAccount.m_strHost = "127.0.0.1";
        g_CurrentAccount.m_strUser = kUser;
        g_CurrentAccount.m_strLastFolder = remoteDir;
    }
    void TearDown() override {
        g_CurrentAccount = savedAccount;
        RemoteEngineTest::TearDown();
    }
    // The files as "Add local files" puts them into the basket.
    void Add(std::vector<std::string> names) {
        for (std::string& n : names) n = local.dir() + n;
        ASSERT_EQ(AddFileItems(data, 0, 0, 0, -1, names, false), static_cast<int>(names.size()));
    }
    void Run(bool toRemote, const std::vector<int>& indices) {
        RunTransfer(toRemote, indices);
        ASSERT_TRUE(ApplyFtpResults(data));
    }
    void CheckStatus() {
        ASSERT_TRUE(StartRemoteStatusCheck(data, 0, 0, 0));
        ASSERT_TRUE(JoinFtpWorker(20000));
        ASSERT_TRUE(ApplyFtpResults(data));
    }

    CHost savedAccount;
    TempDir pyRoot, local;
    UserDir work;
    std::unique_ptr<PyFtpServer> py;
    std::unique_ptr<VsftpdServer> vs;
    std::unique_ptr<PureFtpdServer> pure;
    int port = 0;
    std::string remoteDir, serverDir;
    std::unique_ptr<ScopedEnv> env;
};

void SetModificationTime(const std::string& path, std::time_t t) {
    const timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

TEST_P(RealServers, FilesGoBothWaysWholeAndTheStatusCheckFindsNamesWithBlanks) {
    const std::string text = "first line\nsecond line\n";
    const std::string png("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\n\r\n\x00\xff", 21);
    WriteFile(local / "café menü.txt", text);
    WriteFile(local / "my file.txt", "x\n");
    WriteFile(local / "logo.png", png);
    WriteFile(local / "late.txt", "late\n");
    WriteFile(local / "old.png", png);
    Add({"café menü.txt", "my file.txt", "logo.png", "late.txt", "old.png"});
    EXPECT_FALSE(Items()[0].IsBinaryFile);
    EXPECT_TRUE(Items()[2].IsBinaryFile);  // no ".png" on the list: its NUL bytes tell
    Items()[3].RemoteDir = remoteDir + "no such folder/";
    Items()[4].IsBinaryFile = false;  // as an item from before was marked

    Run(true, {0, 1, 2, 3, 4});
    EXPECT_EQ(ReadFile(serverDir + "old.png"), png);
    EXPECT_TRUE(trace.Has("old.png is marked ASCII but holds NUL bytes: it goes in BINARY.")) << trace.All();
    EXPECT_TRUE(Items()[4].IsBinaryFile);
    // vsftpd keeps what an ASCII upload sends (CR LF) unless told otherwise.
    const auto lf = [](std::string s) {
        for (size_t at; (at = s.find("\r\n")) != std::string::npos;) s.erase(at, 1);
        return s;
    };
    EXPECT_EQ(lf(ReadFile(serverDir + "café menü.txt")), text);
    EXPECT_EQ(lf(ReadFile(serverDir + "my file.txt")), "x\n");
    EXPECT_EQ(ReadFile(serverDir + "logo.png"), png);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Items()[static_cast<size_t>(i)].IsFTPed, "Yes") << i;
    // The send into a folder the server lacks says which folder it is.
    EXPECT_EQ(Items()[3].IsFTPed, "failed");
    EXPECT_TRUE(trace.Has("-?- The remote folder " + remoteDir +
                          "no such folder/ does not exist on 127.0.0.1. Make it first (the remote browser's "
                          "new-folder button), or add the files by dropping their folder."))
        << trace.All();

    // The folder's listing names every file whole.
    {
        CFtpClient c;
        c.Connect("127.0.0.1", kUser, kPassword, port);
        std::vector<CDirEntry> entries;
        CFtpClient::ParseUnixListingText(c.ListFolderToText(remoteDir), "*.*", entries);
        std::vector<std::string> names;
        for (const CDirEntry& e : entries) names.push_back(e.strName);
        for (const char* n : {"café menü.txt", "my file.txt", "logo.png"})
            EXPECT_NE(std::find(names.begin(), names.end(), n), names.end()) << n;
        c.Disconnect();
    }

    Items().resize(3);
    CheckStatus();
    EXPECT_EQ(trace.All().find("Missing from remote directory."), std::string::npos) << trace.All();
    EXPECT_EQ(trace.All().find("Last FTP time: "), std::string::npos) << trace.All();
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Items()[i].IsRemoteMissing, "No") << i;
        EXPECT_EQ(Items()[i].IsRemoteModified, "No") << i;
    }

    for (const char* n : {"café menü.txt", "my file.txt", "logo.png"}) std::filesystem::remove(local / n);
    // A picture only the server has, marked text as the remote collection
    // marks an extension the list does not know.
    WriteFile(serverDir + "shot.png", png);
    CFileItem shot = MakeItem("shot.png", "127.0.0.1", kUser, remoteDir, local.dir());
    shot.FileType = "remote";
    AddItem(shot);
    Run(false, {0, 1, 2, 3});
    EXPECT_EQ(ReadFile(local / "café menü.txt"), text);
    EXPECT_EQ(ReadFile(local / "my file.txt"), "x\n");
    EXPECT_EQ(ReadFile(local / "logo.png"), png);
    EXPECT_EQ(ReadFile(local / "shot.png"), png);
    EXPECT_TRUE(Items()[3].IsBinaryFile);
    EXPECT_TRUE(trace.Has("shot.png is marked ASCII but holds NUL bytes: it is fetched again in BINARY."))
        << trace.All();
}

TEST_P(RealServers, ASendReplacesTheServersCopyWholeOrNotAtAll) {
    const std::string first(2000000, 'a'), second(2000000, 'b');
    const auto noTemporaries = [&] {
        for (const auto& e : std::filesystem::directory_iterator(serverDir))
            EXPECT_EQ(e.path().filename().string().find(".qvl-part"), std::string::npos) << e.path();
    };
    WriteFile(local / "big.bin", first);
    Add({"big.bin"});
    Items()[0].IsBinaryFile = true;
    Run(true, {0});
    ASSERT_TRUE(ReadFile(serverDir + "big.bin") == first);
    // Permissions given on the server, which the file in its place keeps.
    ASSERT_EQ(::chmod((serverDir + "big.bin").c_str(), 0754), 0);
    const auto mode = [&] {
        struct stat st {};
        ::stat((serverDir + "big.bin").c_str(), &st);
        return st.st_mode & 07777;
    };

    // Stopped once its copy has begun, the send leaves the server's copy.
    WriteFile(local / "big.bin", second);
    trace.onLine = [](const std::string& l) {
        if (l.rfind("->", 0) == 0) g_bFtpBreak = true;
    };
    Run(true, {0});
    trace.onLine = nullptr;
    EXPECT_TRUE(trace.Has("--- FTP User-aborted ---")) << trace.All();
    EXPECT_TRUE(trace.Has("-?- The upload of " + remoteDir + "big.bin was stopped: the file on the host was "
                          "left as it was."))
        << trace.All();
    EXPECT_EQ(ReadFile(serverDir + "big.bin").size(), first.size());
    EXPECT_TRUE(ReadFile(serverDir + "big.bin") == first);
    noTemporaries();

    // Sent whole, it takes the copy's place, and the recorded remote time
    // is that of the file in its place.
    Run(true, {0});
    EXPECT_EQ(Items()[0].IsFTPed, "Yes");
    EXPECT_TRUE(ReadFile(serverDir + "big.bin") == second);
    EXPECT_EQ(mode(), 0754u);
    noTemporaries();
    struct stat st {};
    ASSERT_EQ(::stat((serverDir + "big.bin").c_str(), &st), 0);
    EXPECT_EQ(Items()[0].RemoteModTime, st.st_mtime);
    CFtpClient c;
    c.Connect("127.0.0.1", kUser, kPassword, port);
    std::vector<CDirEntry> entries;
    CFtpClient::ParseUnixListingText(c.ListFolderToText(remoteDir), "*.*", entries);
    c.Disconnect();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].strName, "big.bin");
}

TEST_P(RealServers, TheStatusCheckFindsATabInANameAndAnEditWithinARecordAtAFullMinute) {
    // Fetched with its time at a full minute, the file records second 0.
    const std::time_t minute = (std::time(nullptr) - 7200) / 60 * 60;
    WriteFile(serverDir + "minute.html", "<p>first</p>\n");
    SetModificationTime(serverDir + "minute.html", minute);
    WriteFile(serverDir + "tab\tname.txt", "tab\n");
    AddItem(MakeItem("minute.html", "127.0.0.1", kUser, remoteDir, local.dir()));
    AddItem(MakeItem("tab\tname.txt", "127.0.0.1", kUser, remoteDir, local.dir()));
    Run(false, {0});
    ASSERT_EQ(Items()[0].IsFTPed, "Yes");
    ASSERT_EQ(Items()[0].RemoteModTime, minute);

    // Edited on the server in the same minute.
    WriteFile(serverDir + "minute.html", "<p>edited on the server</p>\n");
    SetModificationTime(serverDir + "minute.html", minute + 20);
    CheckStatus();
    EXPECT_EQ(Items()[0].IsRemoteModified, "Yes") << trace.All();
    EXPECT_EQ(Items()[1].IsRemoteMissing, "No") << trace.All();
    EXPECT_EQ(trace.All().find("Missing from remote directory."), std::string::npos) << trace.All();
}

TEST_P(RealServers, AServerEditFiveSecondsOrNoneAfterTheUploadIsReported) {
    // The upload and the edit fall in one minute, which the listing alone
    // cannot tell apart. (An upload at a full minute records no second.)
    const auto second = [] {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        return tm.tm_sec;
    };
    while (second() > 50 || second() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    WriteFile(local / "page.html", "<p>mine</p>\n");
    WriteFile(local / "kept.html", "<p>kept</p>\n");
    WriteFile(local / "about.html", "<p>about</p>\n");
    Add({"page.html", "kept.html", "about.html"});
    Run(true, {0, 1, 2});
    ASSERT_EQ(Items()[0].IsFTPed, "Yes");
    ASSERT_EQ(Items()[2].IsFTPed, "Yes");

    // about.html grows on the server within the second of its upload: only
    // its size tells.
    struct stat st {};
    ASSERT_EQ(::stat((serverDir + "about.html").c_str(), &st), 0);
    {
        std::ofstream grow(serverDir + "about.html", std::ios::app | std::ios::binary);
        grow << "<p>added on the server</p>\n";
    }
    SetModificationTime(serverDir + "about.html", st.st_mtime);

    std::this_thread::sleep_for(std::chrono::seconds(5));
    WriteFile(serverDir + "page.html", "<p>edited on the server</p>\n");

    CheckStatus();
    EXPECT_EQ(Items()[0].IsRemoteModified, "Yes") << trace.All();
    EXPECT_NE(trace.All().find("Last FTP time: "), std::string::npos) << trace.All();
    EXPECT_NE(trace.All().find(".  File: page.html"), std::string::npos) << trace.All();
    EXPECT_EQ(Items()[1].IsRemoteModified, "No") << trace.All();
    EXPECT_EQ(Items()[2].IsRemoteModified, "Yes") << trace.All();
    EXPECT_NE(trace.All().find(" bytes).  File: about.html"), std::string::npos) << trace.All();
}

// Four files to one folder, stopped once the first has arrived whole: the
// one that arrived keeps the server's time of it, whether the run was
// paused or the window closed, and the status check finds nothing changed.
TEST_P(RealServers, AStoppedSendRecordsTheTimesOfTheFilesThatArrivedWhole) {
    const std::vector<std::string> names = {"blob1.bin", "blob2.bin", "blob3.bin", "blob4.bin"};
    const std::time_t earlier = (std::time(nullptr) - 3600) / 60 * 60;
    for (size_t k = 0; k < names.size(); ++k) WriteFile(local / names[k], std::string(2 << 20, char('a' + k)));
    Add(names);
    // Sent an hour ago: the server has those copies (the login user's, as
    // its sends leave them; pyftpdlib runs as root and leaves root's), the
    // items their time.
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
    const bool user = GetParam() != std::string("pyftpdlib") && TestUserIds(uid, gid, home);
    const auto sentEarlier = [&] {
        for (size_t k = 0; k < names.size(); ++k) {
            WriteFile(serverDir + names[k], "old");
            if (user) ASSERT_EQ(::chown((serverDir + names[k]).c_str(), uid, gid), 0);
            SetModificationTime(serverDir + names[k], earlier);
            Items()[k].IsBinaryFile = true;
            Items()[k].IsFTPed = "Yes";
            Items()[k].RemoteModTime = earlier;
        }
    };
    const auto firstArrivedAndNothingChanged = [&] {
        EXPECT_TRUE(ReadFile(serverDir + "blob1.bin") == std::string(2 << 20, 'a'));
        EXPECT_EQ(ReadFile(serverDir + "blob2.bin"), "old");
        EXPECT_EQ(Items()[0].IsFTPed, "Yes");
        CheckStatus();
        for (size_t k = 0; k < names.size(); ++k) EXPECT_EQ(Items()[k].IsRemoteModified, "No") << k << trace.All();
        EXPECT_EQ(trace.All().find("Last FTP time: "), std::string::npos) << trace.All();
    };
    // The stop comes with the second file's line, once the first is whole.
    const auto stopAtTheSecond = [](const std::string& l) {
        if (l.rfind("->2/4 ", 0) == 0) g_bFtpBreak = true;
    };

    // Paused.
    sentEarlier();
    trace.onLine = stopAtTheSecond;
    Run(true, {0, 1, 2, 3});
    trace.onLine = nullptr;
    ASSERT_TRUE(trace.Has("--- FTP User-aborted ---")) << trace.All();
    struct stat st {};
    ASSERT_EQ(::stat((serverDir + "blob1.bin").c_str(), &st), 0);
    EXPECT_EQ(Items()[0].RemoteModTime, st.st_mtime);
    firstArrivedAndNothingChanged();

    // The window closed: the worker is told to stop, then the connections
    // are shut down, and what had finished is taken over.
    CloseAllConnections();
    sentEarlier();
    std::promise<void> stopped;
    trace.onLine = [&](const std::string& l) {
        const bool second = l.rfind("->2/4 ", 0) == 0;
        stopAtTheSecond(l);
        if (second) stopped.set_value();
    };
    ASSERT_TRUE(StartTransferToRemote(data, 0, 0, 0, {0, 1, 2, 3}));
    ASSERT_EQ(stopped.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    ASSERT_TRUE(ShutdownFtp(3000));
    trace.onLine = nullptr;
    FtpResultTake results;
    ASSERT_TRUE(TakeTransferResults(results, true));
    for (const CFileItem& item : results.items) {
        data.ApplyTransferStatus(item);
        data.ApplyTransferTimes(item);
    }
    CloseAllConnections();
    firstArrivedAndNothingChanged();
}

// The window closing (or an end signal) while a file goes straight over
// another user's file lets it finish within the close's wait: stopped, it
// would leave the server's copy cut. Where the wait is too short the file
// is named as possibly cut and the item is not marked as sent.
TEST_P(RealServers, AClosingWindowLetsAStraightSendFinishWithinItsWait) {
    if (GetParam() == "pyftpdlib") GTEST_SKIP() << "runs as root: every file is the user's own";
    const std::string before = "another user's text\n", after(8 << 20, 'n');
    WriteFile(local / "shared.dat", after);
    Add({"shared.dat"});
    Items()[0].IsBinaryFile = true;
    for (const int wait : {0, 3000}) {
        SCOPED_TRACE(wait);
        WriteFile(serverDir + "shared.dat", before);  // root's, written by all
        ASSERT_EQ(::chmod((serverDir + "shared.dat").c_str(), 0666), 0);
        CloseAllConnections();
        ClearFtpResultLists();
        // The window's close raises its flags, then waits.
        std::promise<void> sending;
        trace.onLine = [&](const std::string& l) {
            if (l.rfind("->1/1 ", 0) != 0) return;
            g_bFtpClosing = true;
            g_bFtpBreak = true;
            sending.set_value();
        };
        ASSERT_TRUE(StartTransferToRemote(data, 0, 0, 0, {0}));
        ASSERT_EQ(sending.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
        ShutdownFtp(wait);
        ASSERT_TRUE(JoinFtpWorker(20000));
        trace.onLine = nullptr;
        const std::vector<CFileItem> results = TransferResults();
        ASSERT_EQ(results.size(), 1u);
        const std::string server = ReadFile(serverDir + "shared.dat");
        if (wait == 0 && results[0].IsFTPed != "Yes") {
            if (server != before) EXPECT_NE(trace.All().find("may be incomplete"), std::string::npos) << trace.All();
        } else {
            EXPECT_EQ(results[0].IsFTPed, "Yes") << trace.All();
            EXPECT_TRUE(server == after) << server.size() << " bytes\n" << trace.All();
        }
    }
    CloseAllConnections();
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServers, ::testing::Values("vsftpd", "pure-ftpd", "pyftpdlib"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name;
                             for (char c : info.param)
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             return name;
                         });

}  // namespace

// Whatever a plain STOR kept, the send through a temporary name keeps: a
// read-only file is refused, a link stays a link and every name of the
// file sees the new text, a file of the user's named like a temporary is
// left alone, a private file stays private (also while its new text is on
// the way), and a target the server cannot rename onto fails alone.
TEST_P(RealServers, ASendKeepsWhatAPlainSendKept) {
    if (GetParam() == "pyftpdlib") GTEST_SKIP() << "runs as root: every file is root's";
    uid_t uid;
    gid_t gid;
    std::string home;
    ASSERT_TRUE(TestUserIds(uid, gid, home));
    const std::string before(100000, 'o'), after(100000, 'n');
    const auto put = [&](const std::string& name, const std::string& text, mode_t mode) {
        WriteFile(serverDir + name, text);
        ASSERT_EQ(::chown((serverDir + name).c_str(), uid, gid), 0);
        ASSERT_EQ(::chmod((serverDir + name).c_str(), mode), 0);
    };
    const auto modeOf = [&](const std::string& name) {
        struct stat st {};
        ::lstat((serverDir + name).c_str(), &st);
        return st.st_mode;
    };
    const std::vector<std::string> names = {"ro.txt", "link.txt", "hard.txt", "[ab].txt", "a b.txt",
                                            "trail .txt", "keep.txt", "odd.txt", "big5.dat", "secret.dat"};
    put("ro.txt", before, 0444);
    put("target.txt", before, 0644);
    ASSERT_EQ(::symlink("target.txt", (serverDir + "link.txt").c_str()), 0);
    ASSERT_EQ(::lchown((serverDir + "link.txt").c_str(), uid, gid), 0);
    put("hard.txt", before, 0644);
    ASSERT_EQ(::link((serverDir + "hard.txt").c_str(), (serverDir + "other name.txt").c_str()), 0);
    for (const char* n : {"[ab].txt", "a b.txt", "trail .txt"}) put(n, before, 0600);
    put("keep.txt", before, 0644);
    put(".keep.txt.qvl-part", "the user's own file\n", 0644);
    ASSERT_EQ(::mkdir((serverDir + "odd.txt").c_str(), 0755), 0);
    ASSERT_EQ(::chown((serverDir + "odd.txt").c_str(), uid, gid), 0);
    put("big5.dat", before, 0644);
    put("secret.dat", before, 0600);
    for (const std::string& n : names) WriteFile(local / n, after);
    WriteFile(local / "secret.dat", std::string(32 << 20, 's'));
    Add(names);
    for (CFileItem& it : Items()) it.IsBinaryFile = true;

    // The new text of the private file is never readable by more users
    // than the old one was, even while it is on its way.
    std::atomic<bool> done{false}, seen{false};
    std::atomic<unsigned> widest{0};
    std::thread watch([&] {
        const std::string temp = serverDir + ".secret.dat.qvl-part";
        while (!done) {
            struct stat st {};
            if (::stat(temp.c_str(), &st) == 0 && st.st_size > 0) {
                widest = widest | (st.st_mode & 0777);
                seen = true;
            }
        }
    });
    Run(true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    done = true;
    watch.join();
    EXPECT_TRUE(seen) << "the temporary was never seen with data";
    EXPECT_EQ(widest.load(), 0600u);

    // Every item that did not go is named in the run's closing list, after
    // the lines that tell why.
    const std::string log = trace.All();
    const size_t list = log.find("\nFailed to transfer the following:\n");
    ASSERT_NE(list, std::string::npos) << log;
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(log.find(". " + names[i] + "\n", list) != std::string::npos, Items()[i].IsFTPed != "Yes")
            << names[i] << "\n" << log;
    // Refused as a plain STOR is refused, and left as it was.
    EXPECT_EQ(Items()[0].IsFTPed, "failed");
    EXPECT_TRUE(ReadFile(serverDir + "ro.txt") == before);
    EXPECT_EQ(modeOf("ro.txt") & 0777, 0444u);
    // A link stays a link; where the server writes through it, every name
    // sees the new text.
    EXPECT_TRUE(S_ISLNK(modeOf("link.txt")));
    EXPECT_TRUE(ReadFile(serverDir + "target.txt") == (Items()[1].IsFTPed == "Yes" ? after : before));
    EXPECT_EQ(Items()[2].IsFTPed, "Yes");
    EXPECT_TRUE(ReadFile(serverDir + "hard.txt") == after);
    EXPECT_TRUE(ReadFile(serverDir + "other name.txt") == after);
    for (size_t i : {3u, 4u, 5u, 9u}) {
        EXPECT_EQ(Items()[i].IsFTPed, "Yes") << names[i];
        EXPECT_EQ(modeOf(names[i]) & 0777, 0600u) << names[i];
    }
    EXPECT_TRUE(ReadFile(serverDir + "a b.txt") == after);
    EXPECT_EQ(Items()[6].IsFTPed, "Yes");
    EXPECT_TRUE(ReadFile(serverDir + "keep.txt") == after);
    EXPECT_EQ(ReadFile(serverDir + ".keep.txt.qvl-part"), "the user's own file\n");
    // The folder in the item's place fails that item alone.
    EXPECT_EQ(Items()[7].IsFTPed, "failed");
    EXPECT_TRUE(std::filesystem::is_directory(serverDir + "odd.txt"));
    EXPECT_EQ(Items()[8].IsFTPed, "Yes");
    EXPECT_EQ(trace.All().find("sent straight"), std::string::npos) << trace.All();
    for (const auto& e : std::filesystem::directory_iterator(serverDir)) {
        const std::string n = e.path().filename().string();
        if (n != ".keep.txt.qvl-part") EXPECT_EQ(n.find(".qvl-part"), std::string::npos) << n;
    }

    // The next send still goes through the temporary name: stopped, it
    // leaves the server's copy whole.
    WriteFile(local / "big5.dat", std::string(8 << 20, 'z'));
    trace.onLine = [](const std::string& l) {
        if (l.rfind("->", 0) == 0 && l.find("big5.dat") != std::string::npos) g_bFtpBreak = true;
    };
    Run(true, {7, 8});
    trace.onLine = nullptr;
    EXPECT_TRUE(ReadFile(serverDir + "big5.dat") == after);
}

namespace {

class NoChmodServer : public RemoteEngineTest {};

// A server that carries no permissions over (SITE CHMOD refused) gets the
// file straight, as a plain send: the private file stays private.
TEST_F(NoChmodServer, APrivateFileGoesStraightAndStaysPrivate) {
    VsftpdServer vs("", "chmod_enable=NO\n");
    if (!vs.ok()) GTEST_SKIP() << vs.why();
    UserDir work;
    TempDir local;
    uid_t uid;
    gid_t gid;
    std::string home;
    ASSERT_TRUE(TestUserIds(uid, gid, home));
    const std::string path = work / "private.txt";
    WriteFile(path, std::string(100000, 'o'));
    ASSERT_EQ(::chown(path.c_str(), uid, gid), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    WriteFile(local / "private.txt", std::string(100000, 'n'));
    ScopedEnv env("QVL_FTP_PORT", std::to_string(vs.port()).c_str());
    AddAccount("127.0.0.1", kUser, kPassword);
    AddItem(MakeItem("private.txt", "127.0.0.1", kUser, work.dir(), local.dir(), true));
    RunTransfer(true, {0});
    EXPECT_EQ(TransferResults()[0].IsFTPed, "Yes");
    EXPECT_TRUE(ReadFile(path) == std::string(100000, 'n'));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    for (const auto& e : std::filesystem::directory_iterator(work.path()))
        EXPECT_EQ(e.path().filename().string().find(".qvl-part"), std::string::npos) << e.path();
}

// pyftpdlib that answers SITE CHMOD or RNTO (as `lie` names) as done
// without doing it, as some hosting servers do.
class LyingFtpServer : public LoopbackServer {
public:
    LyingFtpServer(const std::string& root, const std::string& lie) {
        if (!HavePyFtpdLib()) {
            m_why = "python3-pyftpdlib is not installed (run scripts/setup)";
            return;
        }
        static const char* const script =
            "import sys\n"
            "from pyftpdlib.authorizers import DummyAuthorizer\n"
            "from pyftpdlib.handlers import FTPHandler\n"
            "from pyftpdlib.servers import FTPServer\n"
            "port, root, user, pw, low, lie = sys.argv[1:7]\n"
            "class Lying(FTPHandler):\n"
            "    def ftp_SITE_CHMOD(self, path, mode):\n"
            "        if lie != 'chmod': return FTPHandler.ftp_SITE_CHMOD(self, path, mode)\n"
            "        self.respond('200 SITE CHMOD successful.')\n"
            "    def ftp_RNTO(self, path):\n"
            "        if lie != 'rnto' or not self._rnfr: return FTPHandler.ftp_RNTO(self, path)\n"
            "        self._rnfr = None\n"
            "        self.respond('250 Renaming ok.')\n"
            "a = DummyAuthorizer()\n"
            "a.add_user(user, pw, root, perm='elradfmwMT')\n"
            "Lying.authorizer = a\n"
            "Lying.passive_ports = range(int(low), int(low) + 20)\n"
            "FTPServer(('127.0.0.1', int(port)), Lying).serve_forever()\n";
        Launch(
            [&](int port) {
                return std::vector<std::string>{"/usr/bin/python3", "-c", script, std::to_string(port), root,
                                                kUser, kPassword, std::to_string(FreePort()), lie};
            },
            AnswersFtp, 5000, "pyftpdlib that lies about " + lie);
    }
};

class LyingServer : public RemoteEngineTest {};

// A server that answers the change of bits or the rename of a send through
// a temporary name as done without doing it leaves a private file readable
// by all, or the old file in place: the listing read after the send shows
// it, and the item is reported and not marked as sent.
TEST_F(LyingServer, WhatTheListingAfterTheSendShowsIsLookedAt) {
    for (const std::string lie : {"chmod", "rnto"}) {
        SCOPED_TRACE(lie);
        TempDir root, local;
        LyingFtpServer server(root.path(), lie);
        if (!server.ok()) GTEST_SKIP() << server.why();
        ScopedEnv env("QVL_FTP_PORT", std::to_string(server.port()).c_str());
        CloseAllConnections();
        Items().clear();
        data.m_Vault.m_Clusters[0].m_Hosts.clear();
        AddAccount("127.0.0.1", kUser, kPassword);
        for (const char* name : {"secret.dat", "plain.dat"}) {
            WriteFile(root / name, std::string(100000, 'o'));
            WriteFile(local / name, std::string(200000, 'n'));
            AddItem(MakeItem(name, "127.0.0.1", kUser, "/", local.dir(), true));
        }
        ASSERT_EQ(::chmod((root / "secret.dat").c_str(), 0600), 0);
        const size_t before = trace.All().size();
        RunTransfer(true, {0, 1});
        const std::vector<CFileItem> results = TransferResults();
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[0].IsFTPed, "failed") << trace.All();
        EXPECT_NE(trace.All().find("-?- After the send the server lists /secret.dat with ", before), std::string::npos)
            << trace.All();
        EXPECT_NE(trace.All().find("Failed to transfer the following:\n   1. secret.dat\n", before), std::string::npos)
            << trace.All();
        // The file whose bits needed no change went whole where the rename
        // was done.
        EXPECT_EQ(results[1].IsFTPed, lie == "chmod" ? "Yes" : "failed") << trace.All();
        CloseAllConnections();
    }
}

}  // namespace

