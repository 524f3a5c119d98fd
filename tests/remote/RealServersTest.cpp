// One site against each real server the users meet: vsftpd, pure-ftpd and
// pyftpdlib. Files added as the add-files command adds them go up and come
// back byte for byte (text and a picture the extension list does not know),
// the folder lists names with blanks and non-ASCII letters, the status check
// finds them, and a server edit within the minute or the second of the
// upload is seen. A send replaces the server's copy whole or not at all; a
// stopped send keeps the times of the files that arrived whole.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <map>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

#include "RemoteFixture.h"
#include "app/ThrottledFtpServer.h"
#include "filelist/AddFileItems.h"
#include "model/Account.h"
#include "model/WorkArea.h"
#include "remote/FtpClient.h"
#include "remote/LeftOnServer.h"
#include "remote/RemoteStatus.h"
#include "remote/ServerChanges.h"
#include "remote/TransferEngine.h"

using namespace qvltest;

namespace {

constexpr const char* kTheirs = "theirs.txt";

class RealServers : public RemoteEngineTest, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        RemoteEngineTest::SetUp();
        savedAccount = g_CurrentAccount;
        // What stopped sends leave on the server is kept in the session folder.
        savedSessionInfo = g_strSessionInfoDir;
        g_strSessionInfoDir = sessionInfo.dir();
        const std::string kind = GetParam();
        if (kind == "pyftpdlib") {
            py = std::make_unique<PyFtpServer>(pyRoot.path());
            if (!py->ok()) GTEST_SKIP() << py->why();
            port = py->port();
            remoteDir = "/";
            serverDir = pyRoot.dir();
            // Run as root, pyftpdlib leaves every file it writes root's: a
            // file of another user's beside them shows that its listing
            // tells owners apart.
            uid_t uid;
            gid_t gid;
            std::string home;
            if (TestUserIds(uid, gid, home)) {
                WriteFile(serverDir + kTheirs, "theirs\n");
                if (::chown((serverDir + kTheirs).c_str(), uid, gid) != 0) GTEST_SKIP() << "cannot give a file away";
            }
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
        g_strSessionInfoDir = savedSessionInfo;
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
    // The server started again, taking uploads at no more than bytesPerSecond.
    void Throttle(int bytesPerSecond) {
        env.reset();
        if (GetParam() == "vsftpd") {
            vs.reset();
            vs = std::make_unique<VsftpdServer>("", "local_max_rate=" + std::to_string(bytesPerSecond) + "\n");
            ASSERT_TRUE(vs->ok()) << vs->why();
            port = vs->port();
        } else {
            pure.reset();
            pure = std::make_unique<PureFtpdServer>(
                std::vector<std::string>{"-T", std::to_string(bytesPerSecond / 1024)});
            ASSERT_TRUE(pure->ok()) << pure->why();
            port = pure->port();
        }
        env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(port).c_str());
    }
    // The server started again with a short idle time-out of its own;
    // returns how long a connection must stay idle to meet it (pure-ftpd
    // counts in whole minutes).
    int ShortIdle() {
        env.reset();
        int idleMs = 0;
        if (GetParam() == "pyftpdlib") {
            py.reset();
            py = std::make_unique<PyFtpServer>(pyRoot.path(), 1.0);
            EXPECT_TRUE(py->ok()) << py->why();
            port = py->port();
            idleMs = 2500;
        } else if (GetParam() == "vsftpd") {
            vs.reset();
            vs = std::make_unique<VsftpdServer>("", "idle_session_timeout=2\n");
            EXPECT_TRUE(vs->ok()) << vs->why();
            port = vs->port();
            idleMs = 3500;
        } else {
            pure.reset();
            pure = std::make_unique<PureFtpdServer>(std::vector<std::string>{"-I", "1"});
            EXPECT_TRUE(pure->ok()) << pure->why();
            port = pure->port();
            idleMs = 62000;
        }
        env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(port).c_str());
        return idleMs;
    }
    void CheckStatus() {
        ASSERT_TRUE(StartRemoteStatusCheck(data, 0, 0, 0));
        ASSERT_TRUE(JoinFtpWorker(20000));
        ASSERT_TRUE(ApplyFtpResults(data));
    }

    CHost savedAccount;
    TempDir pyRoot, local, sessionInfo;
    std::string savedSessionInfo;
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

// Waits until the clock's second is from low to high.
void WaitForSecondBetween(int low, int high) {
    for (;;) {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        if (tm.tm_sec >= low && tm.tm_sec <= high) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

TEST_P(RealServers, FilesGoBothWaysWholeAndTheStatusCheckFindsNamesWithBlanks) {
    const std::string text = "first line\nsecond line\n";
    const std::string png("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\n\r\n\x00\xff", 21);
    WriteFile(local / "café menü.txt", text);
    WriteFile(local / "my file.txt", "x\n");
    WriteFile(local / "logo.png", png);
    WriteFile(local / "late.txt", "late\n");
    WriteFile(local / "old.png", png);
    WriteFile(local / "tail .txt ", "tail\n");
    Add({"café menü.txt", "my file.txt", "logo.png", "late.txt", "old.png", "tail .txt "});
    EXPECT_FALSE(Items()[0].IsBinaryFile);
    EXPECT_TRUE(Items()[2].IsBinaryFile);  // no ".png" on the list: its NUL bytes tell
    Items()[3].RemoteDir = remoteDir + "no such folder/";
    Items()[4].IsBinaryFile = false;  // as an item from before was marked

    Run(true, {0, 1, 2, 3, 4, 5});
    // A name the server stores otherwise (pure-ftpd turns a blank at its
    // end into "_") is not taken as sent.
    if (std::filesystem::exists(serverDir + "tail .txt ")) {
        EXPECT_EQ(Items()[5].IsFTPed, "Yes") << trace.All();
    } else {
        EXPECT_EQ(Items()[5].IsFTPed, "failed") << trace.All();
        EXPECT_TRUE(trace.Has("-?- After the send the server does not list " + remoteDir +
                              "tail .txt  under its own name: it is not marked as sent."))
            << trace.All();
        EXPECT_TRUE(trace.Has("   2. tail .txt ")) << trace.All();
    }
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
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const CDirEntry& e) { return e.strName == kTheirs; }),
                  entries.end());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].strName, "big.bin");

    // Paused while the file goes to its temporary and the server has
    // stopped answering: nothing can take the temporary away, and it stays,
    // on record. The next run removes it before anything goes, and says so;
    // a file of the user's that merely looks like one stays, and no further
    // name is taken.
    if (GetParam() == "pyftpdlib") return;  // its throttled twin stops in FtpWindowTest
    ASSERT_NO_FATAL_FAILURE(Throttle(1 << 20));
    CloseAllConnections();
    LoopbackServer* server = vs ? static_cast<LoopbackServer*>(vs.get()) : pure.get();
    uid_t uid;
    gid_t gid;
    std::string home;
    ASSERT_TRUE(TestUserIds(uid, gid, home));
    const std::string own = serverDir + ".big.bin.qvl-part-1";
    WriteFile(own, "the user's own\n");
    ASSERT_EQ(::chown(own.c_str(), uid, gid), 0);
    const std::string third(2000000, 'c');
    WriteFile(local / "big.bin", third);
    std::thread pause([&] {
        WaitFor([&] {
            std::error_code ec;
            return std::filesystem::file_size(serverDir + ".big.bin.qvl-part", ec) > 0 && !ec;
        }, 10000);
        server->FreezeAll();
        g_bFtpBreak = true;
    });
    ASSERT_TRUE(StartTransferToRemote(data, 0, 0, 0, {0}));
    pause.join();
    const bool ended = JoinFtpWorker(20000);
    server->ThawAll();
    ASSERT_TRUE(ended);
    ASSERT_TRUE(ApplyFtpResults(data));
    EXPECT_TRUE(trace.Has("--- FTP User-aborted ---")) << trace.All();
    ASSERT_TRUE(std::filesystem::exists(serverDir + ".big.bin.qvl-part")) << trace.All();
    EXPECT_TRUE(ReadFile(serverDir + "big.bin") == second);
    EXPECT_EQ(LeftTemporaries("127.0.0.1", kUser), std::vector<std::string>{remoteDir + ".big.bin.qvl-part"});
    CloseAllConnections();
    ClearFtpResultLists();
    Run(true, {0});
    EXPECT_EQ(Items()[0].IsFTPed, "Yes") << trace.All();
    EXPECT_TRUE(ReadFile(serverDir + "big.bin") == third);
    EXPECT_TRUE(trace.Has("Removed " + remoteDir + ".big.bin.qvl-part from 127.0.0.1: a stopped send had left it "
                          "there."))
        << trace.All();
    EXPECT_EQ(ReadFile(own), "the user's own\n");
    for (const auto& e : std::filesystem::directory_iterator(serverDir)) {
        const std::string n = e.path().filename().string();
        if (n.find(".qvl-part") != std::string::npos) EXPECT_EQ(n, ".big.bin.qvl-part-1");
    }
    EXPECT_TRUE(LeftTemporaries("127.0.0.1", kUser).empty());
}

// Fetched with its time at a full minute, the file records second 0, which
// the stored file keeps as any listing's minute: read back after a restart,
// an edit on the server within that minute, of the same size, is still seen
// by the status check and by the next send.
TEST_P(RealServers, TheStatusCheckFindsATabInANameAndAnEditWithinARecordAtAFullMinute) {
    const std::time_t minute = (std::time(nullptr) - 7200) / 60 * 60;
    WriteFile(serverDir + "minute.html", "<p>first</p>\n");
    SetModificationTime(serverDir + "minute.html", minute);
    WriteFile(serverDir + "tab\tname.txt", "tab\n");
    AddItem(MakeItem("minute.html", "127.0.0.1", kUser, remoteDir, local.dir()));
    AddItem(MakeItem("tab\tname.txt", "127.0.0.1", kUser, remoteDir, local.dir()));
    Run(false, {0});
    ASSERT_EQ(Items()[0].IsFTPed, "Yes");
    ASSERT_EQ(Items()[0].RemoteModTime, minute);
    const auto restart = [&] {
        for (CFileItem& it : Items()) {
            it.SetRemoteTimeFromText(it.GetRemoteTimeText());
            it.RemoteSecondKnown = false;
            it.RemoteSize = -1;
            it.IsRemoteModified = "No";
        }
    };
    restart();
    CheckStatus();
    EXPECT_EQ(Items()[0].IsRemoteModified, "No") << trace.All();

    // Edited on the server in the same minute.
    WriteFile(serverDir + "minute.html", "<p>FIRST</p>\n");
    SetModificationTime(serverDir + "minute.html", minute + 20);
    CheckStatus();
    EXPECT_EQ(Items()[0].IsRemoteModified, "Yes") << trace.All();
    EXPECT_EQ(Items()[1].IsRemoteMissing, "No") << trace.All();
    EXPECT_EQ(trace.All().find("Missing from remote directory."), std::string::npos) << trace.All();

    // And here: the send asks, and No keeps the server's copy.
    restart();
    WriteFile(local / "minute.html", "<p>mine</p>\n");
    RecordingPrompter prompter;  // answers No
    ScopedPrompter asking(prompter);
    Run(true, {0});
    ASSERT_EQ(prompter.Questions().size(), 1u) << trace.All();
    EXPECT_NE(prompter.Questions()[0].find(local.dir() + "minute.html  (127.0.0.1:" + remoteDir + "minute.html)"),
              std::string::npos)
        << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(serverDir + "minute.html"), "<p>FIRST</p>\n");
}

TEST_P(RealServers, AServerEditFiveSecondsOrNoneAfterTheUploadIsReported) {
    // The upload and the edit fall in one minute, which the listing alone
    // cannot tell apart. (An upload at a full minute records no second.)
    WaitForSecondBetween(2, 50);
    WriteFile(local / "page.html", "<p>mine</p>\n");
    WriteFile(local / "kept.html", "<p>kept</p>\n");
    WriteFile(local / "about.html", "<p>about</p>\n");
    WriteFile(local / "older.html", "<p>older</p>\n");
    Add({"page.html", "kept.html", "about.html", "older.html"});
    Run(true, {0, 1, 2, 3});
    ASSERT_EQ(Items()[0].IsFTPed, "Yes");
    ASSERT_EQ(Items()[2].IsFTPed, "Yes");
    ASSERT_EQ(Items()[3].IsFTPed, "Yes");

    // about.html grows on the server within the second of its upload: only
    // its size tells.
    struct stat st {};
    ASSERT_EQ(::stat((serverDir + "about.html").c_str(), &st), 0);
    {
        std::ofstream grow(serverDir + "about.html", std::ios::app | std::ios::binary);
        grow << "<p>added on the server</p>\n";
    }
    SetModificationTime(serverDir + "about.html", st.st_mtime);

    // older.html is put back on the server as it was minutes before, at a
    // second the listing does not show: its line tells MDTM's second.
    const std::time_t older = (std::time(nullptr) / 60 - 3) * 60 + 55;
    WriteFile(serverDir + "older.html", "<p>older on the server</p>\n");
    SetModificationTime(serverDir + "older.html", older);

    std::this_thread::sleep_for(std::chrono::seconds(5));
    WriteFile(serverDir + "page.html", "<p>edited on the server</p>\n");

    CheckStatus();
    EXPECT_EQ(Items()[3].IsRemoteModified, "Yes") << trace.All();
    EXPECT_NE(trace.All().find(".  Remote file time: " + FormatStoredTimeForDisplay(FormatStoredTime(older)) +
                               ".  File: older.html"),
              std::string::npos)
        << trace.All();
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
            Items()[k].RemoteSize = 3;
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

    // The second file is new on the server and goes straight: the stop cuts
    // it, and its connection still owes the server's word on it. The first
    // is timed on a new connection.
    const auto serverTime = [&](const std::string& name) {
        struct stat at {};
        EXPECT_EQ(::stat((serverDir + name).c_str(), &at), 0) << name;
        return at.st_mtime;
    };
    CloseAllConnections();
    sentEarlier();
    ASSERT_EQ(std::remove((serverDir + "blob2.bin").c_str()), 0);
    trace.onLine = stopAtTheSecond;
    Run(true, {0, 1, 2, 3});
    trace.onLine = nullptr;
    ASSERT_TRUE(trace.Has("-?- The upload of " + remoteDir + "blob2.bin was stopped: the file on the host may be "
                          "incomplete.")) << trace.All();
    EXPECT_EQ(Items()[0].IsFTPed, "Yes");
    EXPECT_EQ(Items()[0].RemoteModTime, serverTime("blob1.bin")) << trace.All();

    // A fetch stopped in its second file: the same.
    CloseAllConnections();
    sentEarlier();
    for (size_t k = 0; k < names.size(); ++k) {
        WriteFile(serverDir + names[k], std::string(2 << 20, char('p' + k)));
        SetModificationTime(serverDir + names[k], earlier - 60);
    }
    trace.onLine = [](const std::string& l) {
        if (l.rfind("<-2/4 ", 0) == 0) g_bFtpBreak = true;
    };
    Run(false, {0, 1, 2, 3});
    trace.onLine = nullptr;
    ASSERT_TRUE(trace.Has("--- FTP User-aborted ---")) << trace.All();
    EXPECT_TRUE(ReadFile(local / "blob1.bin") == std::string(2 << 20, 'p'));
    EXPECT_EQ(Items()[0].IsFTPed, "Yes");
    EXPECT_EQ(Items()[0].RemoteModTime, earlier - 60) << trace.All();

    // No new connection can be had once the stop comes (the server takes no
    // more): the stop asks no server, and the file that arrived whole keeps
    // the time read right after it, also as the work file keeps it: the
    // status check finds it in sync and its next send asks nothing.
    CloseAllConnections();
    sentEarlier();
    ASSERT_EQ(std::remove((serverDir + "blob2.bin").c_str()), 0);
    std::unique_ptr<ScopedEnv> nobody;
    trace.onLine = [&](const std::string& l) {
        if (l.rfind("->2/4 ", 0) != 0) return;
        g_bFtpBreak = true;
        nobody = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(FreePort()).c_str());
    };
    Run(true, {0, 1, 2, 3});
    trace.onLine = nullptr;
    nobody.reset();
    EXPECT_FALSE(trace.Has("-?- The server's time of " + remoteDir + "blob1.bin could not be read")) << trace.All();
    CFileItem& first = Items()[0];
    EXPECT_EQ(first.IsFTPed, "Yes");
    EXPECT_EQ(first.RemoteModTime, serverTime("blob1.bin")) << trace.All();
    first.SetRemoteTimeFromText(first.GetRemoteTimeText());
    first.RemoteSecondKnown = false;
    first.RemoteSize = -1;
    first.RemoteTimeUnit = 0;
    CloseAllConnections();
    CheckStatus();
    EXPECT_EQ(Items()[0].IsRemoteModified, "No") << trace.All();
    CloseAllConnections();
    WriteFile(local / "blob1.bin", "sent again\n");
    RecordingPrompter asked;  // answers No
    ScopedPrompter asking(asked);
    Run(true, {0});
    EXPECT_TRUE(asked.Questions().empty()) << trace.All();
    EXPECT_EQ(ReadFile(serverDir + "blob1.bin"), "sent again\n");

    // A file that went whole while its time could not be read (the
    // connection lost right after it) is marked so: the status check cannot
    // tell, and the next send, after a restart too, counts the server's copy
    // as changed since and asks (No keeps it).
    first.IsFTPed = "Yes";
    first.RemoteModTime = RemoteUnknownTime();
    first.SetRemoteTimeFromText(first.GetRemoteTimeText());
    const std::string kept = ReadFile(serverDir + "blob1.bin");
    CloseAllConnections();
    CheckStatus();
    EXPECT_TRUE(trace.Has("No info on last FTP available.   \tblob1.bin")) << trace.All();
    EXPECT_EQ(Items()[0].IsRemoteModified, "No");
    CloseAllConnections();
    WriteFile(local / "blob1.bin", "edited here\n");
    asked.entries.clear();
    Run(true, {0});
    EXPECT_EQ(asked.Questions().size(), 1u) << trace.All();
    EXPECT_TRUE(ReadFile(serverDir + "blob1.bin") == kept);
    // Nor does a send from another basket that holds the file.
    CloseAllConnections();
    std::vector<CFileBasket>& baskets = data.m_ProjectList.m_Projects[0].m_Sessions[0].m_Baskets;
    baskets.push_back(CFileBasket("Other"));
    CFileItem other = MakeItem("blob1.bin", "127.0.0.1", kUser, remoteDir, local.dir(), true);
    other.IsFTPed = "No";
    other.RefreshLocalTime();
    baskets.back().m_Items.push_back(other);
    asked.entries.clear();
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 1, {0}); });
    EXPECT_EQ(asked.Questions().size(), 1u) << trace.All();
    EXPECT_TRUE(ReadFile(serverDir + "blob1.bin") == kept);
}

// The status check right after a send: a symbolic link the send kept is
// there (its own line's time), a folder whose name holds "[" is a UNIX
// folder, a folder the user may not look into leaves its files not known
// (never missing), a file never sent is not called changed, and a file
// that went is missing.
TEST_P(RealServers, TheStatusCheckReadsLinksBracketsAndClosedFoldersAsTheServerHasThem) {
    if (GetParam() == "pyftpdlib") GTEST_SKIP() << "runs as root: it reads every folder";
    uid_t uid;
    gid_t gid;
    std::string home;
    ASSERT_TRUE(TestUserIds(uid, gid, home));
    const auto owned = [&](const std::string& path) { ASSERT_EQ(::lchown(path.c_str(), uid, gid), 0) << path; };
    WriteFile(serverDir + "target.txt", "old\n");
    owned(serverDir + "target.txt");
    ASSERT_EQ(::symlink("target.txt", (serverDir + "link.txt").c_str()), 0);
    owned(serverDir + "link.txt");
    ASSERT_EQ(::mkdir((serverDir + "d [1]").c_str(), 0755), 0);
    owned(serverDir + "d [1]");
    WriteFile(serverDir + "never.txt", "theirs\n");
    owned(serverDir + "never.txt");
    // Root's folder the user may not enter, and the user's own folder that
    // may be entered but not listed.
    ASSERT_EQ(::mkdir((serverDir + "closed").c_str(), 0700), 0);
    WriteFile(serverDir + "closed/shut.txt", "x\n");
    ASSERT_EQ(::mkdir((serverDir + "blind").c_str(), 0755), 0);
    WriteFile(serverDir + "blind/unseen.txt", "x\n");
    owned(serverDir + "blind/unseen.txt");
    owned(serverDir + "blind");
    ASSERT_EQ(::chmod((serverDir + "blind").c_str(), 0311), 0);
    for (const char* n : {"link.txt", "f.txt", "never.txt", "shut.txt", "unseen.txt", "gone.txt"})
        WriteFile(local / n, std::string(n) + "\n");
    Add({"link.txt", "f.txt", "never.txt", "shut.txt", "unseen.txt", "gone.txt"});
    Items()[1].RemoteDir = remoteDir + "d [1]/";
    Items()[3].RemoteDir = remoteDir + "closed/";
    Items()[4].RemoteDir = remoteDir + "blind/";
    // Sent an hour ago, as the server's times show.
    const std::time_t earlier = (std::time(nullptr) - 3600) / 60 * 60;
    for (const char* n : {"link.txt", "closed/shut.txt", "blind/unseen.txt"}) {
        const timespec times[2] = {{earlier, 0}, {earlier, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (serverDir + n).c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << n;
    }
    for (size_t i : {0u, 3u, 4u, 5u}) {
        Items()[i].IsFTPed = "Yes";
        Items()[i].RemoteModTime = earlier;
    }
    for (CFileItem& it : Items()) it.IsBinaryFile = true;

    // pure-ftpd refuses to write through a link; vsftpd writes the target.
    Run(true, {0, 1});
    EXPECT_EQ(Items()[0].IsFTPed, GetParam() == "vsftpd" ? "Yes" : "failed");
    EXPECT_EQ(Items()[1].IsFTPed, "Yes");
    EXPECT_EQ(ReadFile(serverDir + "d [1]/f.txt"), "f.txt\n");
    struct stat st {};
    ASSERT_EQ(::lstat((serverDir + "link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(trace.All().find("VMS"), std::string::npos) << trace.All();
    for (size_t i : {0u, 1u}) EXPECT_NE(Items()[i].GetRemoteTimeText(), kRemoteMissingTime) << i;

    CheckStatus();
    const std::string all = trace.All();
    const auto word = [&](const std::string& name) {
        const size_t at = all.find(": Checking: " + name);
        if (at == std::string::npos) return std::string("(no line)");
        const size_t end = all.find('\n', at);
        std::string rest = all.substr(at + 12 + name.size(), end - at - 12 - name.size());
        rest.erase(0, rest.find_first_not_of(' '));
        return rest;
    };
    EXPECT_EQ(word("link.txt"), "Ok") << all;
    EXPECT_EQ(word("f.txt"), "Ok") << all;
    EXPECT_EQ(word("never.txt"), "-not sure-") << all;
    EXPECT_EQ(word("gone.txt"), "-missing-") << all;
    // The folder the user may not enter gives nothing; where the server
    // still lists the file in the folder the user may not read (pure-ftpd),
    // its time is the one sent.
    EXPECT_EQ(word("shut.txt"), "") << all;
    EXPECT_TRUE(trace.Has("No remote information available. \tshut.txt")) << all;
    EXPECT_TRUE(word("unseen.txt") == "" || word("unseen.txt") == "Ok") << all;
    for (size_t i : {0u, 1u, 2u, 3u, 4u}) {
        EXPECT_EQ(Items()[i].IsRemoteMissing, "No") << Items()[i].FileName;
        EXPECT_EQ(Items()[i].IsRemoteModified, "No") << Items()[i].FileName;
    }
    EXPECT_EQ(Items()[5].IsRemoteMissing, "Yes");
}

// A target its folder's listing leaves out (a dot file, which pure-ftpd's
// one-name LIST also reads as two patterns; a name vsftpd's hide_file
// hides; a file in a folder the user may not list) is looked at by MDTM and
// SIZE: a change on the server, also within the minute of the last
// transfer, is asked about, and an unchanged hidden target is sent without
// a question. The status check finds the changes the same way. pure-ftpd
// runs in Tokyo's time: its listings show that clock while MDTM gives UTC,
// and the record of a hidden file, also read back after a restart, is
// compared with a time on the clock it was taken on.
TEST_P(RealServers, ASendAsksOverAServerChangeTheListingDoesNotShow) {
    if (GetParam() == "pyftpdlib") GTEST_SKIP() << "runs as root: it lists every file";
    env.reset();
    if (GetParam() == "vsftpd") {
        vs.reset();
        vs = std::make_unique<VsftpdServer>("", "hide_file={*[1]*}\n");
        ASSERT_TRUE(vs->ok()) << vs->why();
        port = vs->port();
    } else {
        pure.reset();
        pure = std::make_unique<PureFtpdServer>(std::vector<std::string>{},
                                                std::vector<std::string>{"TZ=Asia/Tokyo"});
        ASSERT_TRUE(pure->ok()) << pure->why();
        port = pure->port();
    }
    env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(port).c_str());
    // How far the listings' clock stands from this machine's (Tokyo keeps
    // no summer time).
    const std::time_t listed = GetParam() == "pure-ftpd" ? [] {
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        gmtime_r(&now, &utc);
        return MakeLocalTime(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                             utc.tm_sec) + 9 * 3600 - now;
    }() : 0;
    uid_t uid;
    gid_t gid;
    std::string home;
    ASSERT_TRUE(TestUserIds(uid, gid, home));
    // Sent an hour ago, as the server's times show.
    const std::time_t earlier = (std::time(nullptr) - 3600) / 60 * 60 + 17;
    const std::vector<std::string> names = {"a.txt", ".b [1].txt", "z [1].txt"};
    for (const std::string& n : names) {
        WriteFile(serverDir + n, n + "\n");
        ASSERT_EQ(::chown((serverDir + n).c_str(), uid, gid), 0);
        SetModificationTime(serverDir + n, earlier);
        WriteFile(local / n, n + " edited here\n");
    }
    // And a folder the user may enter but not list.
    ASSERT_EQ(::mkdir((serverDir + "blind").c_str(), 0755), 0);
    WriteFile(serverDir + "blind/unseen.txt", "unseen\n");
    ASSERT_EQ(::chown((serverDir + "blind/unseen.txt").c_str(), uid, gid), 0);
    SetModificationTime(serverDir + "blind/unseen.txt", earlier);
    ASSERT_EQ(::chown((serverDir + "blind").c_str(), uid, gid), 0);
    ASSERT_EQ(::chmod((serverDir + "blind").c_str(), 0311), 0);
    WriteFile(local / "unseen.txt", "unseen, edited here\n");
    Add({names[0], names[1], names[2], "unseen.txt"});
    Items()[3].RemoteDir = remoteDir + "blind/";
    // As the listing showed them, the files no listing shows as MDTM did.
    for (CFileItem& it : Items()) {
        it.IsFTPed = "Yes";
        it.RemoteModTime = earlier + (it.FileName == "a.txt" || it.FileName == "z [1].txt" ? listed : 0);
        it.IsBinaryFile = true;
    }
    // Changed on the server within that minute, to a text of the same size.
    WriteFile(serverDir + ".b [1].txt", ".B [1].TXT\n");
    SetModificationTime(serverDir + ".b [1].txt", earlier + 20);
    WriteFile(serverDir + "blind/unseen.txt", "UNSEEN\n");
    SetModificationTime(serverDir + "blind/unseen.txt", earlier + 60);

    RecordingPrompter prompter;  // answers No
    ScopedPrompter asking(prompter);
    Run(true, {0, 1, 2, 3});
    ASSERT_EQ(prompter.Questions().size(), 1u) << trace.All();
    const std::string question = prompter.Questions()[0];
    EXPECT_NE(question.find("   " + local.dir() + ".b [1].txt  (127.0.0.1:" + remoteDir + ".b [1].txt)\r\n   " +
                            local.dir() + "unseen.txt  (127.0.0.1:" + remoteDir + "blind/unseen.txt)"),
              std::string::npos)
        << question;
    EXPECT_EQ(ReadFile(serverDir + "blind/unseen.txt"), "UNSEEN\n");
    EXPECT_EQ(question.find("z [1].txt"), std::string::npos) << question;
    EXPECT_EQ(question.find("a.txt"), std::string::npos) << question;
    EXPECT_EQ(ReadFile(serverDir + ".b [1].txt"), ".B [1].TXT\n");
    EXPECT_EQ(ReadFile(serverDir + "z [1].txt"), "z [1].txt edited here\n") << trace.All();
    EXPECT_EQ(ReadFile(serverDir + "a.txt"), "a.txt edited here\n") << trace.All();
    EXPECT_EQ(Items()[1].IsRemoteModified, "Yes");

    // The status check reads them by the same commands.
    for (CFileItem& it : Items()) it.IsRemoteModified = "No";
    CheckStatus();
    for (size_t i : {1u, 3u}) EXPECT_EQ(Items()[i].IsRemoteModified, "Yes") << Items()[i].FileName << trace.All();
    EXPECT_TRUE(trace.Has("Last FTP time: " + FormatStoredTimeForDisplay(FormatStoredTime(earlier)) +
                          ".  Remote file time: " + FormatStoredTimeForDisplay(FormatStoredTime(earlier + 20)) +
                          ".  File: .b [1].txt"))
        << trace.All();

    // Sent over (the user says Yes to the status check's mark), the file the
    // listing leaves out records what MDTM and SIZE tell of it: nothing is
    // asked while the server's copy stays as sent, and a change made there
    // after it is asked about again.
    const std::string hidden = serverDir + ".b [1].txt";
    prompter.entries.clear();
    prompter.answers = {Answer::Yes};
    Run(true, {1});
    EXPECT_EQ(prompter.Questions().size(), 1u) << trace.All();
    ASSERT_EQ(ReadFile(hidden), ".b [1].txt edited here\n") << trace.All();
    EXPECT_EQ(Items()[1].IsRemoteMissing, "No");
    WriteFile(local / ".b [1].txt", ".b [1].txt edited again\n");
    prompter.entries.clear();
    Run(true, {1});
    EXPECT_TRUE(prompter.Questions().empty()) << trace.All();
    EXPECT_EQ(ReadFile(hidden), ".b [1].txt edited again\n");
    // The same after a restart: the record read back from its stored text.
    Items()[1].SetRemoteTimeFromText(Items()[1].GetRemoteTimeText());
    Items()[1].RemoteSecondKnown = false;
    Items()[1].RemoteSize = -1;
    Items()[1].RemoteTimeUnit = 0;
    WriteFile(local / ".b [1].txt", ".b [1].txt edited after a restart\n");
    Run(true, {1});
    EXPECT_TRUE(prompter.Questions().empty()) << trace.All();
    EXPECT_EQ(ReadFile(hidden), ".b [1].txt edited after a restart\n");
    WriteFile(hidden, ".B [1].TXT EDITED AGAIN\n");
    SetModificationTime(hidden, std::time(nullptr) + 120);
    WriteFile(local / ".b [1].txt", ".b [1].txt edited thrice\n");
    prompter.entries.clear();
    Run(true, {1});
    EXPECT_EQ(prompter.Questions().size(), 1u) << trace.All();
    EXPECT_EQ(ReadFile(hidden), ".B [1].TXT EDITED AGAIN\n");
}

// The window closing (or an end signal) while a file goes straight over
// another user's file lets it finish within the close's wait: stopped, it
// would leave the server's copy cut. Finished is when the server says so:
// at the server's pace the sockets still hold seconds of the file when its
// last block leaves the program; the item then records the server's time.
// Where the wait is too short, or a stop cuts the send, the file is named
// as possibly cut and the item is marked not sent: changed here, with no
// record of a server copy that is its own cut one, so that the next send
// goes without a question about a change on the server.
TEST_P(RealServers, AClosingWindowLetsAStraightSendFinishWithinItsWait) {
    if (GetParam() == "pyftpdlib") GTEST_SKIP() << "runs as root: every file is the user's own";
    // Three seconds of data at the server's pace.
    constexpr int kRate = 2 << 20;
    ASSERT_NO_FATAL_FAILURE(Throttle(kRate));
    const std::string before = "another user's text\n", after(3 * kRate, 'n');
    WriteFile(local / "shared.dat", after);
    Add({"shared.dat"});
    Items()[0].IsBinaryFile = true;
    const auto serverTime = [&] {
        struct stat st {};
        ::stat((serverDir + "shared.dat").c_str(), &st);
        return st.st_mtime;
    };
    // The server's copy as the item's last transfer recorded it.
    const auto sentBefore = [&] {
        WriteFile(serverDir + "shared.dat", before);  // root's, written by all
        ASSERT_EQ(::chmod((serverDir + "shared.dat").c_str(), 0666), 0);
        SetModificationTime(serverDir + "shared.dat", std::time(nullptr) / 60 * 60 - 600);
        Items()[0].IsFTPed = "Yes";
        Items()[0].RemoteModTime = serverTime();
        Items()[0].RemoteSize = static_cast<long long>(before.size());
        Items()[0].RefreshLocalTime();
        CloseAllConnections();
        ClearFtpResultLists();
    };
    // Named as possibly incomplete, also at the next start (the record
    // kept in the session folder), until it is sent whole.
    const auto markedNotSent = [&](const CFileItem& item) {
        EXPECT_EQ(item.IsFTPed, "Yes");
        EXPECT_EQ(item.GetLocalStatus(), "LocalModified");
        EXPECT_EQ(item.RemoteModTime, DefaultItemTime());
        EXPECT_EQ(item.IsRemoteModified, "No");
        const std::vector<CCutRemoteFile> cut = CutRemoteFiles();
        ASSERT_EQ(cut.size(), 1u);
        EXPECT_EQ(cut[0].path, remoteDir + "shared.dat");
        const size_t from = trace.All().size();
        NameCutRemoteFiles();
        EXPECT_NE(trace.All().find("-?- The upload of " + remoteDir + "shared.dat to 127.0.0.1 was stopped on ", from),
                  std::string::npos)
            << trace.All();
    };
    RecordingPrompter prompter;  // answers No
    ScopedPrompter asking(prompter);
    // The next send asks nothing and sends the whole file.
    const auto sentAgain = [&] {
        Run(true, {0});
        EXPECT_TRUE(prompter.Questions().empty()) << trace.All();
        EXPECT_EQ(Items()[0].IsFTPed, "Yes") << trace.All();
        EXPECT_TRUE(ReadFile(serverDir + "shared.dat") == after) << trace.All();
        EXPECT_EQ(Items()[0].GetLocalStatus(), "");
        EXPECT_TRUE(CutRemoteFiles().empty());
    };

    // Paused while the data goes.
    sentBefore();
    trace.onLine = [](const std::string& l) {
        if (l.rfind("->1/1 ", 0) == 0) g_bFtpBreak = true;
    };
    Run(true, {0});
    trace.onLine = nullptr;
    ASSERT_NE(trace.All().find("the file on the host may be incomplete"), std::string::npos) << trace.All();
    ASSERT_LT(ReadFile(serverDir + "shared.dat").size(), after.size());
    markedNotSent(Items()[0]);
    sentAgain();

    // The short wait last: the server may go on writing a file cut short.
    for (const int wait : {8000, 1000}) {
        SCOPED_TRACE(wait);
        sentBefore();
        const size_t from = trace.All().size();
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
        ASSERT_TRUE(ApplyFtpResults(data));
        if (wait == 1000) {
            EXPECT_NE(trace.All().find("the file on the host may be incomplete", from), std::string::npos)
                << trace.All();
            markedNotSent(Items()[0]);
            sentAgain();
        } else {
            EXPECT_EQ(results[0].IsFTPed, "Yes") << trace.All();
            EXPECT_TRUE(ReadFile(serverDir + "shared.dat") == after) << trace.All();
            EXPECT_EQ(trace.All().find("may be incomplete", from), std::string::npos) << trace.All();
            EXPECT_EQ(Items()[0].RemoteModTime, serverTime()) << trace.All();
        }
    }
    CloseAllConnections();
}

// Two items that write one server file through a link the folder's
// listing shows (in the folder or beside it) are refused as two items of
// one name are, named in the closing list, the link named as the reason:
// neither takes the other's place. Sent in runs of their own, the file
// keeps the text of the item of its own name, whichever went first. A
// link to a file no other item sends is written through as before.
TEST_P(RealServers, TwoItemsWritingOneFileThroughALinkAreRefused) {
    const auto link = [&](const std::string& target, const std::string& name) {
        ASSERT_EQ(::symlink(target.c_str(), (serverDir + name).c_str()), 0) << name;
    };
    WriteFile(serverDir + "index.html", "old index\n");
    WriteFile(serverDir + "other.html", "old other\n");
    ASSERT_EQ(::mkdir((serverDir + "sub").c_str(), 0755), 0);
    link("index.html", "link.html");
    link("../index.html", "sub/up.html");
    link("other.html", "alias.html");
    uid_t uid;
    gid_t gid;
    std::string home;
    if (GetParam() != "pyftpdlib" && TestUserIds(uid, gid, home))
        for (const char* n : {"index.html", "other.html", "sub", "link.html", "sub/up.html", "alias.html"})
            ASSERT_EQ(::lchown((serverDir + n).c_str(), uid, gid), 0) << n;
    for (const char* n : {"index.html", "link.html", "up.html", "alias.html"}) WriteFile(local / n, "new " + std::string(n));
    for (const char* n : {"index.html", "link.html", "up.html", "alias.html"})
        AddItem(MakeItem(n, "127.0.0.1", kUser, remoteDir + (n == std::string("up.html") ? "sub/" : ""), local.dir(),
                         true));
    Run(true, {0, 1, 2, 3});
    EXPECT_EQ(ReadFile(serverDir + "index.html"), "old index\n");
    const std::string log = trace.All();
    const size_t list = log.find("Failed to transfer the following:\n");
    ASSERT_NE(list, std::string::npos) << log;
    const std::string linkReason = "link.html is a link to index.html on the server";
    const std::string reasons[] = {linkReason, linkReason, "up.html is a link to ../index.html on the server"};
    for (size_t i = 0; i < 3; ++i) {
        const CFileItem& it = Items()[i];
        EXPECT_EQ(it.IsFTPed, "failed") << it.FileName;
        EXPECT_EQ(trace.Count(SameTargetRefusal(it, true, reasons[i])), 1) << log;
        EXPECT_NE(log.find(". " + it.FileName + "\n", list), std::string::npos) << log;
    }
    EXPECT_EQ(ReadFile(serverDir + "other.html"), Items()[3].IsFTPed == "Yes" ? "new alias.html" : "old other\n");
    EXPECT_TRUE(std::filesystem::is_symlink(serverDir + "alias.html"));

    // One item a run: F5 on index.html, then on link.html; then the other
    // way round.
    for (const bool indexFirst : {true, false}) {
        SCOPED_TRACE(indexFirst);
        const std::string text = indexFirst ? "index, sent first\n" : "index, sent last\n";
        WriteFile(local / "index.html", text);
        Run(true, {indexFirst ? 0 : 1});
        Run(true, {indexFirst ? 1 : 0});
        EXPECT_EQ(ReadFile(serverDir + "index.html"), text) << trace.All();
        EXPECT_EQ(Items()[0].IsFTPed, "Yes");
        EXPECT_EQ(Items()[1].IsFTPed, "failed");
        EXPECT_TRUE(std::filesystem::is_symlink(serverDir + "link.html"));
        EXPECT_EQ(trace.Count(SameTargetRefusal(Items()[1], true, linkReason)), indexFirst ? 2 : 3) << trace.All();
    }

    // A link through another folder's link: a/link.html leads to
    // b/link2.html, which leads to b/index.html; a/hop.html leads through a
    // folder the user may enter but not list. F5 on either, after
    // b/index.html went, leaves that file as its own item sent it.
    for (const char* d : {"a", "b", "closed"}) {
        ASSERT_EQ(::mkdir((serverDir + d).c_str(), 0755), 0);
        std::filesystem::create_directories(local / d);
    }
    WriteFile(serverDir + "b/index.html", "old b index\n");
    link("../b/link2.html", "a/link.html");
    link("index.html", "b/link2.html");
    link("../closed/hop.html", "a/hop.html");
    link("../b/index.html", "closed/hop.html");
    if (GetParam() != "pyftpdlib" && TestUserIds(uid, gid, home))
        for (const char* n : {"a", "b", "a/link.html", "b/link2.html", "a/hop.html", "b/index.html"})
            ASSERT_EQ(::lchown((serverDir + n).c_str(), uid, gid), 0) << n;
    ASSERT_EQ(::chmod((serverDir + "closed").c_str(), 0711), 0);
    WriteFile(local / "b/index.html", "b index, sent first\n");
    WriteFile(local / "a/link.html", "through two links\n");
    WriteFile(local / "a/hop.html", "through a closed folder\n");
    AddItem(MakeItem("index.html", "127.0.0.1", kUser, remoteDir + "b/", local / "b/", true));
    AddItem(MakeItem("link.html", "127.0.0.1", kUser, remoteDir + "a/", local / "a/", true));
    AddItem(MakeItem("hop.html", "127.0.0.1", kUser, remoteDir + "a/", local / "a/", true));
    Run(true, {4});
    ASSERT_EQ(Items()[4].IsFTPed, "Yes") << trace.All();
    Run(true, {5});
    Run(true, {6});
    EXPECT_EQ(ReadFile(serverDir + "b/index.html"), "b index, sent first\n");
    EXPECT_EQ(Items()[5].IsFTPed, "failed");
    EXPECT_EQ(trace.Count(SameTargetRefusal(Items()[5], true, "link.html is a link to ../b/link2.html on the server")),
              1)
        << trace.All();
    // Where the server lists the closed folder (pyftpdlib, run as root),
    // the link on is read; elsewhere the file it leads to is there, but not
    // where.
    EXPECT_EQ(Items()[6].IsFTPed, "failed");
    const std::string hopReason = "hop.html is a link to ../closed/hop.html on the server";
    EXPECT_EQ(trace.Count(SameTargetRefusal(
                  Items()[6], true,
                  GetParam() == "pyftpdlib" ? hopReason
                                            : hopReason + ", and where it leads cannot be read from the server")),
              1)
        << trace.All();

    // A chain of more links than are followed: f1/x leads through f2/x,
    // ..., f9/x to t/index.html. F5 on f1/x after t/index.html went leaves
    // that file as its own item sent it.
    ASSERT_EQ(::mkdir((serverDir + "t").c_str(), 0755), 0);
    std::filesystem::create_directories(local / "t");
    std::filesystem::create_directories(local / "f1");
    WriteFile(serverDir + "t/index.html", "old t index\n");
    if (GetParam() != "pyftpdlib" && TestUserIds(uid, gid, home))
        for (const char* n : {"t", "t/index.html"}) ASSERT_EQ(::lchown((serverDir + n).c_str(), uid, gid), 0) << n;
    for (int k = 1; k <= 9; ++k) {
        const std::string f = "f" + std::to_string(k);
        ASSERT_EQ(::mkdir((serverDir + f).c_str(), 0755), 0);
        link(k < 9 ? "../f" + std::to_string(k + 1) + "/x" : "../t/index.html", f + "/x");
        if (GetParam() != "pyftpdlib" && TestUserIds(uid, gid, home))
            for (const std::string& n : {f, f + "/x"}) ASSERT_EQ(::lchown((serverDir + n).c_str(), uid, gid), 0) << n;
    }
    WriteFile(local / "t/index.html", "t index, sent first\n");
    WriteFile(local / "f1/x", "through nine links\n");
    AddItem(MakeItem("index.html", "127.0.0.1", kUser, remoteDir + "t/", local / "t/", true));
    AddItem(MakeItem("x", "127.0.0.1", kUser, remoteDir + "f1/", local / "f1/", true));
    Run(true, {7});
    ASSERT_EQ(Items()[7].IsFTPed, "Yes") << trace.All();
    Run(true, {8});
    EXPECT_EQ(ReadFile(serverDir + "t/index.html"), "t index, sent first\n");
    EXPECT_EQ(Items()[8].IsFTPed, "failed");
    EXPECT_EQ(trace.Count(SameTargetRefusal(
                  Items()[8], true,
                  "x is a link to ../f2/x on the server, and it leads on through more links than are followed")),
              1)
        << trace.All();
}

// Files the user makes on the server under the hidden names a send takes,
// after the run listed their folder (one where the listing showed an empty
// probe an earlier run left): the large file sent after them leaves each as
// it was, and no other hidden name behind.
TEST_P(RealServers, HiddenNamesMadeAfterTheFoldersListingAreNotTaken) {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
    const bool give = GetParam() != "pyftpdlib" && TestUserIds(uid, gid, home);
    const auto put = [&](const std::string& name, const std::string& text) {
        WriteFile(serverDir + name, text);
        if (give) ASSERT_EQ(::chown((serverDir + name).c_str(), uid, gid), 0);
    };
    const std::string before(100000, 'o'), after(100000, 'n');
    put("big.dat", before);
    put("small.txt", "old\n");
    WriteFile(local / "big.dat", after);
    WriteFile(local / "small.txt", "new\n");
    AddItem(MakeItem("small.txt", "127.0.0.1", kUser, remoteDir, local.dir(), true));
    AddItem(MakeItem("big.dat", "127.0.0.1", kUser, remoteDir, local.dir(), true));
    const std::vector<std::string> own = {".big.dat.qvl-part", ".qvl-probe.qvl-part", ".qvl-probe.qvl-part-1",
                                          ".qvl-probe.qvl-part-2"};
    put(own.back(), "");
    trace.onLine = [&](const std::string& l) {
        if (l.rfind("->1/2 ", 0) == 0)
            for (const std::string& n : own) put(n, "the user's own " + n + "\n");
    };
    Run(true, {0, 1});
    trace.onLine = nullptr;
    EXPECT_EQ(Items()[1].IsFTPed, "Yes") << trace.All();
    EXPECT_TRUE(ReadFile(serverDir + "big.dat") == after);
    for (const std::string& n : own) EXPECT_EQ(ReadFile(serverDir + n), "the user's own " + n + "\n") << n;
    for (const auto& e : std::filesystem::directory_iterator(serverDir)) {
        const std::string n = e.path().filename().string();
        if (n.find(".qvl-part") != std::string::npos) EXPECT_NE(std::find(own.begin(), own.end(), n), own.end()) << n;
    }
}

// A change made on the server that no status check has seen is not
// overwritten unasked: the send compares each target's listing line with
// what its last transfer recorded, also after the items were read back
// from their stored texts and for the same file in another basket (whose
// status check marks nothing that did not change). A run nobody attends
// leaves it and says so; a send that recorded no server time of its own
// (FTPUpdate off) asks nothing afterwards.
TEST_P(RealServers, ASendAsksBeforeOverwritingAServerChangeNoCheckHasSeen) {
    // Sent at a second the listing's minute cannot show.
    WaitForSecondBetween(2, 45);
    WriteFile(local / "page.html", "<p>mine</p>\n");
    WriteFile(local / "gapA.txt", "gap\n");
    Add({"page.html", "gapA.txt"});
    Run(true, {0, 1});
    ASSERT_EQ(Items()[0].IsFTPed, "Yes");
    ASSERT_EQ(Items()[1].IsFTPed, "Yes");

    // The same files in a second basket, not sent from there: its status
    // check marks nothing in the first.
    data.m_ProjectList.m_Projects[0].m_Sessions[0].m_Baskets.push_back(CFileBasket("Second"));
    for (const CFileItem& it : Items()) {
        CFileItem copy = MakeItem(it.FileName, it.RemHost, it.RemUser, it.RemoteDir, it.LocalDir);
        copy.FileType = "local";
        data.m_ProjectList.m_Projects[0].m_Sessions[0].m_Baskets[1].m_Items.push_back(copy);
    }
    ASSERT_TRUE(StartRemoteStatusCheck(data, 0, 0, 1));
    ASSERT_TRUE(JoinFtpWorker(20000));
    ASSERT_TRUE(ApplyFtpResults(data));
    EXPECT_EQ(Items()[1].IsRemoteModified, "No") << trace.All();
    EXPECT_EQ(trace.All().find("Last FTP time: "), std::string::npos) << trace.All();

    // Changed on the server a few seconds after the send (in its minute),
    // then here.
    struct stat st {};
    ASSERT_EQ(::stat((serverDir + "page.html").c_str(), &st), 0);
    while (std::time(nullptr) < st.st_mtime + 4) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WriteFile(serverDir + "page.html", "<p>edited on the server</p>\n");
    SetModificationTime(serverDir + "page.html", st.st_mtime + 3);
    WriteFile(local / "page.html", "<p>mine, edited</p>\n");
    RecordingPrompter prompter;  // answers No
    ScopedPrompter asking(prompter);
    // Sent from either basket with no mark left (none is kept over a restart).
    const auto sendAnsweredNo = [&](int basket) {
        for (CFileBasket& b : data.m_ProjectList.m_Projects[0].m_Sessions[0].m_Baskets)
            for (CFileItem& it : b.m_Items) it.IsRemoteModified = "No";
        prompter.entries.clear();
        ASSERT_TRUE(ClaimFtpSlot(""));
        RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, basket, {0}); });
        ASSERT_TRUE(ApplyFtpResults(data));
        ASSERT_EQ(prompter.Questions().size(), 1u) << basket << trace.All();
        EXPECT_NE(prompter.Questions()[0].find("on the server since their last transfer:\r\n   " + local.dir() +
                                               "page.html  (127.0.0.1:" + remoteDir + "page.html)"),
                  std::string::npos)
            << prompter.Questions()[0];
        EXPECT_EQ(ReadFile(serverDir + "page.html"), "<p>edited on the server</p>\n") << basket << trace.All();
        // Named with its reason in the run's closing list.
        EXPECT_NE(trace.All().find(". page.html (changed on the server too since the last transfer; not sent)\n"),
                  std::string::npos)
            << trace.All();
    };
    sendAnsweredNo(0);
    EXPECT_EQ(Items()[0].IsRemoteModified, "Yes");
    // Read back from the stored texts, as after a restart; the second
    // basket's items never went from there.
    for (CFileBasket& basket : data.m_ProjectList.m_Projects[0].m_Sessions[0].m_Baskets)
        for (CFileItem& it : basket.m_Items) {
            const bool second = basket.BasketName == "Second";
            it.SetRemoteTimeFromText(second ? kNoTimeInfo : it.GetRemoteTimeText());
            if (second) it.IsFTPed = "No";
            it.RemoteSecondKnown = false;
            it.RemoteSize = -1;
            it.IsRemoteModified = "No";
        }
    sendAnsweredNo(1);
    sendAnsweredNo(0);
    {
        const CUnattendedRun nobodyThere(true);
        prompter.entries.clear();
        Items()[0].IsRemoteModified = "No";
        Run(true, {0});
    }
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_TRUE(trace.Has("-?- Not sent: " + local.dir() + "page.html -> 127.0.0.1:" + remoteDir +
                          "page.html (changed on the server too since the last transfer; auto-sync leaves it as "
                          "it is)"))
        << trace.All();
    EXPECT_EQ(ReadFile(serverDir + "page.html"), "<p>edited on the server</p>\n");

    // Sent without FTPUpdate: nothing of the server's time is recorded, so
    // neither the status check nor the next send calls its copy changed.
    g_bFtpUpdate = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    WriteFile(local / "gapA.txt", "gap, edited\n");
    Run(true, {1});
    ASSERT_EQ(ReadFile(serverDir + "gapA.txt").substr(0, 11), "gap, edited");
    CheckStatus();
    EXPECT_EQ(Items()[1].IsRemoteModified, "No") << trace.All();
    prompter.entries.clear();
    Run(true, {1});
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
}

// Local files no transfer is on record for (added, never sent or fetched,
// or their send refused, or added from the server's folder listing with no
// local time) that differ from the server's copies: a fetch asks before it
// replaces them, naming them, and No keeps them; a run nobody attends leaves
// them and says so. A file the fetch would write byte for byte is not
// received again (the same file stays, its times recorded as a fetch
// records them), also a text the server keeps with CR LF. A copy that holds
// the server's very bytes, which the fetch would give LF line ends, is named
// for its line ends alone; a file the server does not have is left without
// a question, named with the server's refusal. A local file saved after the
// question and before its own fetch is left and named.
// Once a fetch is on record, a later one goes as before. A compare stops at
// the first byte that differs.
TEST_P(RealServers, AFetchAsksBeforeReplacingLocalFilesNoTransferIsOnRecordFor) {
    const std::string png("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\n\r\n\x00\xff", 21);
    std::string edited = png;
    edited[18] = 'x';  // the same size, other bytes
    std::string copy(10240, '\0');
    for (size_t i = 0; i < copy.size(); ++i) copy[i] = static_cast<char>((i * 7919) >> 3);
    WriteFile(local / "home.html", "<p>my new page</p>\n");
    WriteFile(serverDir + "home.html", "<p>the server's page</p>\n");
    WriteFile(local / "logo.png", edited);
    WriteFile(serverDir + "logo.png", png);
    WriteFile(local / "big.png", png + "more");
    WriteFile(serverDir + "big.png", png);
    WriteFile(local / "same.txt", "a\nb\n");
    // vsftpd sends a text as it keeps it, so its CR LF come down as LF;
    // pure-ftpd and pyftpdlib add a CR to every LF.
    WriteFile(serverDir + "same.txt", GetParam() == "vsftpd" ? "a\r\nb\r\n" : "a\nb\n");
    WriteFile(local / "copy.dat", copy);
    WriteFile(serverDir + "copy.dat", copy);
    WriteFile(local / "browsed.txt", "my notes\n");
    WriteFile(serverDir + "browsed.txt", "the server's notes\n");
    // The server's very bytes, which a text's fetch writes with LF.
    WriteFile(local / "crlf.txt", "c\r\nd\r\n");
    WriteFile(serverDir + "crlf.txt", "c\r\nd\r\n");
    // A file the server does not have.
    WriteFile(local / "gone.txt", "mine alone\n");
    Add({"home.html", "logo.png", "big.png", "same.txt", "copy.dat", "browsed.txt", "crlf.txt", "gone.txt"});
    ASSERT_TRUE(Items()[1].IsBinaryFile);
    ASSERT_TRUE(Items()[2].IsBinaryFile);
    ASSERT_TRUE(Items()[4].IsBinaryFile);
    Items()[0].IsFTPed = "failed";  // its send was refused
    // As the remote browser adds a file of the server's folder: no local time.
    Items()[5].FileType = "remote";
    Items()[5].LocalModTime = DefaultItemTime();
    Items()[5].LocalSeen = CFileItem::LocalFileSeen();
    ASSERT_EQ(Items()[5].GetLocalStatus(), "LocalModified");
    struct stat sameBefore {}, copyBefore {};
    ASSERT_EQ(::stat((local / "same.txt").c_str(), &sameBefore), 0);
    ASSERT_EQ(::stat((local / "copy.dat").c_str(), &copyBefore), 0);

    RecordingPrompter prompter;  // answers No
    ScopedPrompter asking(prompter);
    Run(false, {0, 1, 2, 3, 4, 5, 6, 7});
    ASSERT_EQ(prompter.Questions().size(), 1u) << trace.All();
    const std::string question = prompter.Questions()[0];
    for (const char* n : {"home.html", "logo.png", "big.png", "browsed.txt"})
        EXPECT_NE(question.find("   " + local.dir() + n + "  (127.0.0.1:" + remoteDir + n + ")\r\n"),
                  std::string::npos)
            << question;
    EXPECT_EQ(question.find("same.txt"), std::string::npos) << question;
    EXPECT_EQ(question.find("copy.dat"), std::string::npos) << question;
    EXPECT_NE(question.find("Fetch them anyway?"), std::string::npos) << question;
    EXPECT_EQ(prompter.entries[0].kind, "ask");
    EXPECT_EQ(ReadFile(local / "home.html"), "<p>my new page</p>\n");
    EXPECT_EQ(ReadFile(local / "logo.png"), edited);
    EXPECT_EQ(ReadFile(local / "big.png"), png + "more");
    EXPECT_EQ(ReadFile(local / "same.txt"), "a\nb\n");
    EXPECT_EQ(ReadFile(local / "browsed.txt"), "my notes\n");
    EXPECT_EQ(Items()[0].IsFTPed, "failed");
    EXPECT_EQ(Items()[1].IsFTPed, "No");
    EXPECT_EQ(Items()[5].IsFTPed, "No");
    for (const auto& [i, before] : {std::pair<size_t, struct stat>{3, sameBefore}, {4, copyBefore}}) {
        const std::string path = local / Items()[i].FileName;
        struct stat now {};
        ASSERT_EQ(::stat(path.c_str(), &now), 0);
        EXPECT_EQ(now.st_ino, before.st_ino) << path << " was received again";
        EXPECT_EQ(now.st_mtim.tv_nsec, before.st_mtim.tv_nsec) << path;
        EXPECT_EQ(Items()[i].IsFTPed, "Yes") << path;
        EXPECT_EQ(Items()[i].GetLocalStatus(), "") << path;
        EXPECT_TRUE(IsRealRemoteTime(Items()[i].RemoteModTime)) << path;
    }
    EXPECT_TRUE(trace.Has("   1. home.html (the local file differs from the server's and no transfer of it is on "
                          "record; not fetched)"))
        << trace.All();
    EXPECT_TRUE(trace.Has("   3. big.png (the local file differs from the server's and no transfer of it is on "
                          "record; not fetched)"))
        << trace.All();
    // The copy that holds the server's bytes is named for its line ends
    // alone, where the fetch would change them (pure-ftpd's CR LF come down
    // as they are); the file the server does not have, with its refusal.
    const std::string crlf = "   " + local.dir() + "crlf.txt  (127.0.0.1:" + remoteDir + "crlf.txt)\r\n";
    const bool lineEnds = GetParam() != "pure-ftpd";
    EXPECT_EQ(question.find("These local files differ from the server's copies only in their line ends, and no "
                            "transfer of them is on record:\r\n" + crlf) != std::string::npos,
              lineEnds)
        << question;
    EXPECT_EQ(ReadFile(local / "crlf.txt"), "c\r\nd\r\n");
    EXPECT_EQ(question.find("gone.txt"), std::string::npos) << question;
    bool goneNamed = false;
    for (const std::string& l : trace.Lines())
        goneNamed = goneNamed || l.rfind("   6. gone.txt (the server refused to send it: ", 0) == 0 ||
                    l.rfind("   5. gone.txt (the server refused to send it: ", 0) == 0;
    EXPECT_TRUE(goneNamed) << trace.All();
    if (lineEnds) {
        prompter.entries.clear();
        Run(false, {6});
        ASSERT_EQ(prompter.Questions().size(), 1u) << trace.All();
        EXPECT_EQ(prompter.Questions()[0],
                  "These local files differ from the server's copies only in their line ends, and no transfer of "
                  "them is on record:\r\n" + crlf +
                      "\r\nFetch them anyway? Their line ends become this system's (LF).\r\n"
                      "No leaves these files as they are and fetches the rest.");
        EXPECT_EQ(ReadFile(local / "crlf.txt"), "c\r\nd\r\n");
    }

    {
        const CUnattendedRun nobodyThere(true);
        prompter.entries.clear();
        Run(false, {0});
    }
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_TRUE(trace.Has("-?- Not fetched: 127.0.0.1:" + remoteDir + "home.html -> " + local.dir() +
                          "home.html (the local file differs from the server's and no transfer of it is on record; "
                          "auto-sync leaves it as it is)"))
        << trace.All();
    EXPECT_EQ(ReadFile(local / "home.html"), "<p>my new page</p>\n");

    // Yes; big.png is saved here while home.html comes down: it stays.
    bool saved = false;
    trace.onLine = [&](const std::string& line) {
        if (!saved && line.rfind("<-", 0) == 0 && line.find(" home.html") != std::string::npos) {
            WriteFile(local / "big.png", "saved during the run");
            saved = true;
        }
    };
    prompter.entries.clear();
    prompter.answers = {Answer::Yes};
    Run(false, {0, 1, 2});
    trace.onLine = nullptr;
    EXPECT_EQ(prompter.Questions().size(), 1u);
    ASSERT_TRUE(saved) << trace.All();
    EXPECT_EQ(ReadFile(local / "home.html"), "<p>the server's page</p>\n");
    EXPECT_EQ(ReadFile(local / "logo.png"), png);
    EXPECT_EQ(ReadFile(local / "big.png"), "saved during the run");
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(Items()[i].IsFTPed, "Yes") << i;
    EXPECT_NE(Items()[2].IsFTPed, "Yes");
    EXPECT_TRUE(trace.Has("   1. big.png (changed here during the run; not fetched)")) << trace.All();

    // On record now: the server's next edit comes down unasked.
    WriteFile(serverDir + "home.html", "<p>the server's page, edited</p>\n");
    prompter.entries.clear();
    Run(false, {0});
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(local / "home.html"), "<p>the server's page, edited</p>\n");

    // A big file that differs from its first byte on: the compare does not
    // wait for the rest of it (16 s at the server's rate where it has one),
    // and the connection it cut short serves the next fetch.
    const std::string huge(4 << 20, 'h');
    WriteFile(local / "huge.dat", huge);
    WriteFile(serverDir + "huge.dat", "H" + huge.substr(1));
    Add({"huge.dat"});
    const bool limited = GetParam() != "pyftpdlib";
    if (limited) Throttle(256 * 1024);
    WriteFile(serverDir + "home.html", "<p>the server's page, edited again</p>\n");
    prompter.entries.clear();
    const auto start = std::chrono::steady_clock::now();
    Run(false, {static_cast<int>(Items().size()) - 1, 0});
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(prompter.Questions().size(), 1u) << trace.All();
    EXPECT_NE(prompter.Questions()[0].find("huge.dat"), std::string::npos) << prompter.Questions()[0];
    if (limited) EXPECT_LT(took, std::chrono::seconds(4)) << trace.All();
    EXPECT_EQ(ReadFile(local / "huge.dat"), huge);
    EXPECT_EQ(ReadFile(local / "home.html"), "<p>the server's page, edited again</p>\n") << trace.All();
}

// A connection opened and left idle, as Account Properties > Connect leaves
// it, meets the server's word on the idle time: pyftpdlib gives up the
// passive port asked for at the login with an unasked 421 and goes on,
// vsftpd and pure-ftpd say 421 and close. A send after it reports each file
// as it went: the new files stored, the one whose name is a folder on the
// server refused.
TEST_P(RealServers, ASendOnAConnectionLeftIdleReportsEachFilesRealResult) {
    const int idleMs = ShortIdle();
    if (HasFailure()) return;
    WriteFile(local / "one.txt", "one");
    WriteFile(local / "two.bin", std::string("\x00\x01two\r\n", 7));
    WriteFile(local / "odd.txt", "odd\n");
    ASSERT_EQ(::mkdir((serverDir + "odd.txt").c_str(), 0755), 0);
    Add({"one.txt", "odd.txt", "two.bin"});
    Items()[2].IsBinaryFile = true;
    std::string host = "127.0.0.1", user = kUser;
    ASSERT_TRUE(ConnectHost(data, host, user, true));
    // pure-ftpd's minute is waited for once, before the fetch.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(idleMs, 3500)));
    Run(true, {0, 1, 2});
    EXPECT_EQ(ReadFile(serverDir + "one.txt"), "one");
    EXPECT_EQ(ReadFile(serverDir + "two.bin"), std::string("\x00\x01two\r\n", 7));
    EXPECT_EQ(Items()[0].IsFTPed, "Yes") << trace.All();
    std::cerr << trace.All();
    EXPECT_EQ(Items()[1].IsFTPed, "failed") << trace.All();
    EXPECT_EQ(Items()[2].IsFTPed, "Yes") << trace.All();
    const std::string log = trace.All();
    const size_t list = log.find("Failed to transfer the following:\n");
    ASSERT_NE(list, std::string::npos) << log;
    EXPECT_EQ(log.substr(list), "Failed to transfer the following:\n   1. odd.txt\n--- FTP over ---\n") << log;
    if (GetParam() == "pyftpdlib")
        EXPECT_TRUE(trace.Has("-?- 127.0.0.1 sent a reply no command asked for; it is set aside: "
                              "421 Passive data channel timed out."))
            << log;

    // Left idle again, the connection fetches the server's new text.
    WriteFile(serverDir + "one.txt", "ONE");
    std::this_thread::sleep_for(std::chrono::milliseconds(idleMs));
    Run(false, {0});
    EXPECT_EQ(ReadFile(local / "one.txt"), "ONE") << trace.All();
    EXPECT_EQ(Items()[0].IsFTPed, "Yes") << trace.All();
}

// Someone else writes two files of a run on the server once they went,
// as the run's last, larger file goes: each keeps the time of its own transfer,
// sent or fetched, not the change made after it (within the minute of the
// transfer too). The binary one stays sent, and the next send asks before
// overwriting either (No keeps them).
TEST_P(RealServers, AChangeSomeoneMakesWhileTheRunGoesOnIsNotRecordedAsItsOwn) {
    WaitForSecondBetween(2, 45);
    WriteFile(local / "a.txt", "mine\n");
    WriteFile(local / "b.bin", std::string("\x01\x00mine", 6));
    WriteFile(local / "last.bin", std::string(1 << 20, 'l'));
    Add({"a.txt", "b.bin", "last.bin"});
    Items()[1].IsBinaryFile = true;
    Items()[2].IsBinaryFile = true;
    const std::string theirs = "theirs, longer than mine\n";
    std::map<std::string, std::time_t> own;
    const auto theyWriteAt = [&](const std::string& lastLine) {
        own.clear();
        trace.onLine = [&, lastLine](const std::string& l) {
            if (l.rfind(lastLine, 0) != 0) return;
            for (const std::string name : {"a.txt", "b.bin"}) {
                struct stat st {};
                ASSERT_EQ(::stat((serverDir + name).c_str(), &st), 0) << name;
                own[name] = st.st_mtime;
                while (std::time(nullptr) < st.st_mtime + 2) std::this_thread::sleep_for(std::chrono::milliseconds(100));
                WriteFile(serverDir + name, theirs);
                SetModificationTime(serverDir + name, std::time(nullptr));
            }
        };
    };
    const auto keptTheirOwn = [&](const std::string& what) {
        trace.onLine = nullptr;
        ASSERT_EQ(own.size(), 2u) << what << trace.All();
        for (size_t k = 0; k < 2; ++k) {
            EXPECT_EQ(Items()[k].IsFTPed, "Yes") << what << k << trace.All();
            EXPECT_EQ(Items()[k].RemoteModTime, own[Items()[k].FileName]) << what << k << trace.All();
        }
    };

    theyWriteAt("->3/3 ");
    Run(true, {0, 1, 2});
    keptTheirOwn("sent: ");

    // Fetched back as the server has it now, and written again meanwhile.
    WriteFile(local / "a.txt", "stale\n");
    WriteFile(local / "b.bin", "stale");
    for (CFileItem& it : Items()) it.RefreshLocalTime();
    theyWriteAt("<-3/3 ");
    Run(false, {0, 1, 2});
    keptTheirOwn("fetched: ");
    EXPECT_EQ(ReadFile(local / "a.txt"), theirs);

    CloseAllConnections();
    WriteFile(local / "a.txt", "edited here\n");
    WriteFile(local / "b.bin", std::string("\x02\x00edited", 8));
    RecordingPrompter asked;  // answers No
    ScopedPrompter asking(asked);
    Run(true, {0, 1});
    ASSERT_EQ(asked.Questions().size(), 1u) << trace.All();
    EXPECT_NE(asked.Questions()[0].find("a.txt"), std::string::npos) << asked.Questions()[0];
    EXPECT_NE(asked.Questions()[0].find("b.bin"), std::string::npos) << asked.Questions()[0];
    EXPECT_EQ(ReadFile(serverDir + "a.txt"), theirs);
    EXPECT_EQ(ReadFile(serverDir + "b.bin"), theirs);
}

// Each file's own server time is read before anything else goes on its
// connection: with the next file's first command, not after its transfer.
// A stop that cuts a file of one data block keeps the times owed for the
// files before it, on the clock the next look reads them on (pure-ftpd
// lists Tokyo's clock here, MDTM tells UTC), also after a restart: the
// status check and the next send see no change. A binary file the listing after the send shows with
// other bytes than went is asked about before the next send replaces it.
TEST_P(RealServers, EachFilesOwnTimeIsReadBeforeAnythingElseGoes) {
    const auto serverTime = [&](const std::string& name) {
        struct stat at {};
        EXPECT_EQ(::stat((serverDir + name).c_str(), &at), 0) << name;
        return at.st_mtime;
    };
    RecordingPrompter asked;  // answers No
    ScopedPrompter asking(asked);
    // The basket keeps its items in name order.
    const auto at = [&](const std::string& name) {
        for (size_t k = 0; k < Items().size(); ++k)
            if (Items()[k].FileName == name) return static_cast<int>(k);
        ADD_FAILURE() << name;
        return 0;
    };
    const auto item = [&](const std::string& name) -> CFileItem& { return Items()[static_cast<size_t>(at(name))]; };

    // A name the server stores otherwise (pure-ftpd turns a blank at its
    // end into "_"), sent as the run's second file: said at once, and not
    // marked as sent.
    WriteFile(local / "ta.txt", "ta\n");
    WriteFile(local / "tb.txt ", "tb\n");
    Add({"ta.txt", "tb.txt "});
    Run(true, {at("tb.txt ")});
    if (!std::filesystem::exists(serverDir + "tb.txt ")) {
        EXPECT_EQ(item("tb.txt ").IsFTPed, "failed") << trace.All();
        EXPECT_TRUE(trace.Has("-?- After the send the server does not list " + remoteDir +
                              "tb.txt  under its own name: it is not marked as sent."))
            << trace.All();
    }

    // Someone writes b.bin the moment it arrived, keeping its time.
    WriteFile(local / "b.bin", std::string("\x01\x00mine", 6));
    WriteFile(local / "c.txt", "c\n");
    Add({"b.bin", "c.txt"});
    item("b.bin").IsBinaryFile = true;
    const std::string theirs = "theirs, longer than mine\n";
    trace.onLine = [&](const std::string& l) {
        if (l.rfind("->2/2 ", 0) != 0) return;
        const std::time_t own = serverTime("b.bin");
        WriteFile(serverDir + "b.bin", theirs);
        SetModificationTime(serverDir + "b.bin", own);
    };
    Run(true, {at("b.bin"), at("c.txt")});
    trace.onLine = nullptr;
    EXPECT_EQ(item("b.bin").IsFTPed, "failed") << trace.All();
    EXPECT_TRUE(trace.Has("-?- After the send the server lists " + remoteDir +
                          "b.bin with 25 bytes (6 sent): it is not marked as sent."))
        << trace.All();
    CloseAllConnections();
    WriteFile(local / "b.bin", std::string("\x02\x00edited", 8));
    Run(true, {at("b.bin")});
    ASSERT_EQ(asked.Questions().size(), 1u) << trace.All();
    EXPECT_NE(asked.Questions()[0].find("b.bin"), std::string::npos) << asked.Questions()[0];
    EXPECT_EQ(ReadFile(serverDir + "b.bin"), theirs);
    asked.entries.clear();

    // A slow link: 8 KB a second (pure-ftpd's throttle holds its replies
    // for seconds: it lists Tokyo's clock instead).
    CloseAllConnections();
    NetTimeoutValues().replyMs = 20000;
    env.reset();
    std::unique_ptr<ThrottledFtpServer> slowPy;
    if (GetParam() == "pyftpdlib") {
        py.reset();
        slowPy = std::make_unique<ThrottledFtpServer>(pyRoot.path(), 8 * 1024);
        ASSERT_TRUE(slowPy->ok()) << slowPy->why();
        port = slowPy->port();
    } else if (GetParam() == "vsftpd") {
        vs.reset();
        vs = std::make_unique<VsftpdServer>("", "local_max_rate=8192\n");
        ASSERT_TRUE(vs->ok()) << vs->why();
        port = vs->port();
    } else {
        pure.reset();
        pure = std::make_unique<PureFtpdServer>(std::vector<std::string>{}, std::vector<std::string>{"TZ=Asia/Tokyo"});
        ASSERT_TRUE(pure->ok()) << pure->why();
        port = pure->port();
    }
    env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(port).c_str());
    // Stopped with the third file's line: its transfer (one data block) is
    // cut.
    for (const char* name : {"s1.txt", "s2.txt"}) WriteFile(local / name, std::string(name) + "\n");
    WriteFile(local / "s3.txt", std::string(60 << 10, 's'));
    Add({"s1.txt", "s2.txt", "s3.txt"});
    trace.onLine = [](const std::string& l) {
        if (l.rfind("->3/3 ", 0) == 0) g_bFtpBreak = true;
    };
    Run(true, {at("s1.txt"), at("s2.txt"), at("s3.txt")});
    trace.onLine = nullptr;
    if (GetParam() != "pure-ftpd")
        ASSERT_TRUE(trace.Has("-?- The upload of " + remoteDir + "s3.txt was stopped: the file on the host may be "
                              "incomplete."))
            << trace.All();
    for (const std::string name : {"s1.txt", "s2.txt"}) {
        EXPECT_EQ(item(name).IsFTPed, "Yes") << name << trace.All();
        EXPECT_EQ(trace.All().find("-?- The server's time of " + remoteDir + name), std::string::npos) << trace.All();
    }
    if (GetParam() != "pure-ftpd") EXPECT_EQ(item("s2.txt").RemoteModTime, serverTime("s2.txt")) << trace.All();
    CloseAllConnections();
    // The program closed and started again: the work file keeps which
    // clock each time was read on.
    {
        CSession back;
        bool readError = false;
        back.ReadBytes(data.m_ProjectList.m_Projects[0].m_Sessions[0].FormatWorkFile(0, 0), "work file", readError);
        ASSERT_FALSE(readError);
        Items() = back.m_Baskets[0].m_Items;
    }
    CheckStatus();
    for (const std::string name : {"s1.txt", "s2.txt"}) {
        EXPECT_EQ(item(name).IsRemoteModified, "No") << name << trace.All();
        EXPECT_EQ(trace.All().find("File: " + name), std::string::npos) << trace.All();
    }
    CloseAllConnections();
    WriteFile(local / "s1.txt", "s1 again\n");
    WriteFile(local / "s2.txt", "s2 again\n");
    Run(true, {at("s1.txt"), at("s2.txt")});
    EXPECT_TRUE(asked.Questions().empty()) << trace.All();
    EXPECT_NE(ReadFile(serverDir + "s2.txt").find("s2 again"), std::string::npos);
    // A whole run's listing told the listing's clock: the records are on it.
    const std::string saved = data.m_ProjectList.m_Projects[0].m_Sessions[0].FormatWorkFile(0, 0);
    for (const std::string name : {"s1.txt", "s2.txt"}) {
        const size_t line = saved.find("FileName=" + name);
        ASSERT_NE(line, std::string::npos) << saved;
        EXPECT_EQ(saved.substr(line, saved.find('\n', line) - line).find("RemoteClock="), std::string::npos) << saved;
    }

    if (GetParam() == "pure-ftpd") return;

    // While big.bin goes, someone writes a.txt, sent just before it. Then
    // fetched over copies that hold the server's bytes: a.txt, proved the
    // same first, is written while big.bin is compared.
    const auto writeLater = [&](const std::string& name, std::time_t at) {
        return std::thread([this, name, at, theirs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            WriteFile(serverDir + name, theirs);
            SetModificationTime(serverDir + name, at);
        });
    };
    WriteFile(local / "0.txt", "first\n");
    WriteFile(local / "a.txt", "mine\n");
    WriteFile(local / "big.bin", std::string(40 << 10, 'b'));
    Add({"0.txt", "a.txt", "big.bin"});
    item("big.bin").IsBinaryFile = true;
    std::time_t own = 0;
    std::thread writer;
    trace.onLine = [&](const std::string& l) {
        if (l.rfind("->3/3 ", 0) != 0) return;
        own = serverTime("a.txt");
        writer = writeLater("a.txt", own - 120);
    };
    Run(true, {at("0.txt"), at("a.txt"), at("big.bin")});
    trace.onLine = nullptr;
    writer.join();
    EXPECT_EQ(item("a.txt").IsFTPed, "Yes") << trace.All();
    if (GetParam() != "pure-ftpd") EXPECT_EQ(item("a.txt").RemoteModTime, own) << trace.All();
    EXPECT_NE(item("a.txt").RemoteModTime, own - 120) << trace.All();

    CloseAllConnections();
    const std::time_t earlier = (std::time(nullptr) - 3600) / 60 * 60;
    WriteFile(serverDir + "a.txt", "mine\n");
    SetModificationTime(serverDir + "a.txt", earlier);
    for (const std::string name : {"a.txt", "big.bin"}) {
        item(name).IsFTPed = "No";
        item(name).RemoteModTime = DefaultItemTime();
        item(name).RefreshLocalTime();
    }
    writer = writeLater("a.txt", earlier - 7200);
    Run(false, {at("a.txt"), at("big.bin")});
    writer.join();
    EXPECT_TRUE(asked.Questions().empty()) << trace.All();
    EXPECT_EQ(ReadFile(local / "a.txt"), "mine\n");
    EXPECT_EQ(item("a.txt").IsFTPed, "Yes") << trace.All();
    if (GetParam() != "pure-ftpd") EXPECT_EQ(item("a.txt").RemoteModTime, earlier) << trace.All();
    EXPECT_NE(item("a.txt").RemoteModTime, earlier - 7200) << trace.All();
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
// the way), and a target the server cannot rename onto fails alone. No
// temporary name is a name the run itself sends.
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
                                            "trail .txt", "keep.txt", "odd.txt", "big5.dat", "secret.dat",
                                            ".x.dat.qvl-part", "x.dat"};
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
    put("x.dat", before, 0644);
    for (const std::string& n : names) WriteFile(local / n, after);
    WriteFile(local / ".x.dat.qvl-part", std::string(100000, 't'));
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
    Run(true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
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
    // Both items arrive as sent: neither took the other's place.
    EXPECT_EQ(Items()[10].IsFTPed, "Yes");
    EXPECT_EQ(Items()[11].IsFTPed, "Yes");
    EXPECT_TRUE(ReadFile(serverDir + ".x.dat.qvl-part") == std::string(100000, 't'));
    EXPECT_TRUE(ReadFile(serverDir + "x.dat") == after);
    EXPECT_EQ(trace.All().find("sent straight"), std::string::npos) << trace.All();
    for (const auto& e : std::filesystem::directory_iterator(serverDir)) {
        const std::string n = e.path().filename().string();
        if (n != ".keep.txt.qvl-part" && n != ".x.dat.qvl-part") EXPECT_EQ(n.find(".qvl-part"), std::string::npos) << n;
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

// Servers set up as hosting accounts often are. Each run sends over files
// of the user's and of root's, and keeps what a plain STOR keeps.
class HostingServers : public RemoteEngineTest {
protected:
    // Sends the named files (100,000 bytes each) into the folder served on
    // port, as user (any password but the test user's); the basket holds
    // only them.
    void Send(int port, const std::string& folder, const std::vector<std::string>& names,
              const std::string& user = kUser) {
        CloseAllConnections();
        ClearFtpResultLists();
        Items().clear();
        data.m_Vault.m_Clusters[0].m_Hosts.clear();
        env.reset();
        env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(port).c_str());
        AddAccount("127.0.0.1", user, user == kUser ? kPassword : "guest@");
        std::vector<int> all;
        for (const std::string& n : names) {
            WriteFile(local / n, after);
            all.push_back(static_cast<int>(Items().size()));
            AddItem(MakeItem(n, "127.0.0.1", user, folder, local.dir(), true));
        }
        RunTransfer(true, all);
    }
    // A file of the user's (or root's) in the folder, with the mode.
    void Put(const UserDir& dir, const std::string& name, mode_t mode, bool root = false) {
        WriteFile(dir / name, before);
        ASSERT_EQ(::chown((dir / name).c_str(), root ? 0 : uid, root ? 0 : gid), 0);
        ASSERT_EQ(::chmod((dir / name).c_str(), mode), 0);
    }
    std::string Result(const std::string& name) {
        for (const CFileItem& it : TransferResults())
            if (it.FileName == name) return it.IsFTPed;
        return "not in the run";
    }
    static struct stat Lstat(const std::string& path) {
        struct stat st {};
        ::lstat(path.c_str(), &st);
        return st;
    }
    // The user's own files under the hidden names a send into the folder
    // and its probe would take first, where the listing leaves them out: a
    // large file sent over a copy of the user's leaves each as it was, and
    // no other hidden name behind.
    void SendBesideOwnHiddenNames(int port, const UserDir& dir) {
        const std::vector<std::string> own = {".qvl-probe.qvl-part", ".qvl-probe.qvl-part-1", ".big.txt.qvl-part"};
        for (const std::string& n : own) {
            WriteFile(dir / n, "the user's own " + n + "\n");
            ASSERT_EQ(::chown((dir / n).c_str(), uid, gid), 0);
        }
        Put(dir, "big.txt", 0644);
        Send(port, dir.dir(), {"big.txt"});
        EXPECT_EQ(Result("big.txt"), "Yes") << trace.All();
        EXPECT_TRUE(ReadFile(dir / "big.txt") == after);
        for (const std::string& n : own) EXPECT_EQ(ReadFile(dir / n), "the user's own " + n + "\n") << n;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            const std::string n = e.path().filename().string();
            if (n.find(".qvl-part") != std::string::npos)
                EXPECT_NE(std::find(own.begin(), own.end(), n), own.end()) << n;
        }
    }
    static void NoTemporaries(const UserDir& dir) {
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            EXPECT_EQ(e.path().filename().string().find(".qvl-part"), std::string::npos) << e.path();
    }
    // A private file, a read-only one, a link and a hard link, named so
    // that the listing leaves them out: sent, each keeps what a plain STOR
    // keeps.
    void SendOverUnlisted(int port, const UserDir& dir, const std::string& p) {
        Put(dir, p + "private.txt", 0600);
        Put(dir, p + "readonly.txt", 0444);
        Put(dir, p + "target.txt", 0644);
        ASSERT_EQ(::symlink((p + "target.txt").c_str(), (dir / (p + "link.txt")).c_str()), 0);
        ASSERT_EQ(::lchown((dir / (p + "link.txt")).c_str(), uid, gid), 0);
        Put(dir, p + "hard.txt", 0644);
        ASSERT_EQ(::link((dir / (p + "hard.txt")).c_str(), (dir / (p + "other name.txt")).c_str()), 0);
        Send(port, dir.dir(), {p + "private.txt", p + "readonly.txt", p + "link.txt", p + "hard.txt"});
        EXPECT_EQ(Result(p + "private.txt"), "Yes") << trace.All();
        EXPECT_TRUE(ReadFile(dir / (p + "private.txt")) == after);
        EXPECT_EQ(Lstat(dir / (p + "private.txt")).st_mode & 0777, 0600u);
        EXPECT_EQ(Result(p + "readonly.txt"), "failed");
        EXPECT_TRUE(ReadFile(dir / (p + "readonly.txt")) == before);
        EXPECT_TRUE(S_ISLNK(Lstat(dir / (p + "link.txt")).st_mode));
        EXPECT_TRUE(ReadFile(dir / (p + "target.txt")) == (Result(p + "link.txt") == "Yes" ? after : before));
        EXPECT_EQ(Result(p + "hard.txt"), "Yes");
        EXPECT_TRUE(ReadFile(dir / (p + "other name.txt")) == after);
        NoTemporaries(dir);
    }

    void SetUp() override {
        RemoteEngineTest::SetUp();
        std::string home;
        if (!TestUserIds(uid, gid, home)) GTEST_SKIP() << "the user qvltest is missing";
    }
    void TearDown() override {
        RemoteEngineTest::TearDown();
        env.reset();
    }

    const std::string before = std::string(100000, 'o'), after = std::string(100000, 'n');
    uid_t uid = 0;
    gid_t gid = 0;
    TempDir local;
    std::unique_ptr<ScopedEnv> env;
};

// Names the listing leaves out (hidden by the server, or past its cap) are
// not taken for new files, nor for the hidden names a send and its probe
// use (also where the server denies MDTM), and a listing that shows one
// owner for all proves no file the user's.
TEST_F(HostingServers, ASendKeepsWhatAPlainSendKeptWhereTheListingHidesNamesOrOwners) {
    {
        VsftpdServer vs("", "hide_file={z*}\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        SendOverUnlisted(vs.port(), dir, "z");
    }
    {
        // pure-ftpd lists 50 entries of the folder's 126.
        PureFtpdServer pure({"-L", "50:5"});
        if (!pure.ok()) GTEST_SKIP() << pure.why();
        UserDir dir;
        for (int k = 0; k < 120; ++k) Put(dir, "a" + std::to_string(1000 + k), 0644);
        SendOverUnlisted(pure.port(), dir, "z");
    }
    {
        VsftpdServer vs("", "hide_file={.*}\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        SendBesideOwnHiddenNames(vs.port(), dir);
    }
    {
        // MDTM denied ("550 Permission denied." to every name): SIZE tells
        // which hidden names are taken.
        VsftpdServer vs("", "hide_file={.*}\ncmds_denied=MDTM\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        SendBesideOwnHiddenNames(vs.port(), dir);
    }
    {
        // Every owner and group shows as "ftp": no send uses a temporary
        // name, and none is asked for.
        TempDir logs;
        VsftpdServer vs("", "hide_ids=YES\nxferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file=" +
                                logs.dir() + "v.log\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        Put(dir, "rootfile.txt", 0644, true);
        Put(dir, "other.txt", 0666, true);
        Put(dir, "mine.txt", 0644);
        Send(vs.port(), dir.dir(), {"rootfile.txt", "other.txt", "mine.txt"});
        EXPECT_EQ(Result("rootfile.txt"), "failed");
        EXPECT_TRUE(ReadFile(dir / "rootfile.txt") == before);
        EXPECT_EQ(Lstat(dir / "rootfile.txt").st_uid, 0u);
        EXPECT_EQ(Result("other.txt"), "Yes");
        EXPECT_TRUE(ReadFile(dir / "other.txt") == after);
        EXPECT_EQ(Lstat(dir / "other.txt").st_uid, 0u);
        EXPECT_EQ(Lstat(dir / "other.txt").st_mode & 0777, 0666u);
        EXPECT_EQ(Result("mine.txt"), "Yes");
        NoTemporaries(dir);
        std::ifstream in(logs.dir() + "v.log");
        for (std::string line; std::getline(in, line);)
            for (const char* n : {".rootfile.txt.qvl-part", ".other.txt.qvl-part", ".mine.txt.qvl-part"})
                EXPECT_EQ(line.find(n), std::string::npos) << line;
    }
}

// A server that refuses what only the temporary name needs (the hidden
// names' listing, SITE CHMOD, RNTO) gets that item straight at once and
// every later one as well: no item fails for it, and it is asked once.
TEST_F(HostingServers, ACommandOnlyTheTemporaryNeedsRefusedSendsStraightFromThenOn) {
    TempDir logs;
    const auto count = [](const std::string& log, const std::string& start) {
        std::ifstream in(log);
        int n = 0;
        for (std::string line; std::getline(in, line);)
            if (line.find(start) != std::string::npos) ++n;
        return n;
    };
    {
        // A server that carries no permissions over: the private files stay
        // private.
        VsftpdServer vs("", "chmod_enable=NO\nxferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file=" +
                                logs.dir() + "chmod.log\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        Put(dir, "private.txt", 0640);
        Put(dir, "private2.txt", 0600);
        Send(vs.port(), dir.dir(), {"private.txt", "private2.txt"});
        EXPECT_EQ(Result("private.txt"), "Yes");
        EXPECT_EQ(Result("private2.txt"), "Yes");
        EXPECT_TRUE(ReadFile(dir / "private.txt") == after);
        EXPECT_EQ(Lstat(dir / "private.txt").st_mode & 0777, 0640u);
        EXPECT_EQ(Lstat(dir / "private2.txt").st_mode & 0777, 0600u);
        EXPECT_EQ(count(logs.dir() + "chmod.log", "\"SITE CHMOD"), 1);
        NoTemporaries(dir);
    }
    {
        // RNFR taken, RNTO denied.
        VsftpdServer vs("", "cmds_denied=RNTO\nxferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file=" +
                                logs.dir() + "rnto.log\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        for (const char* n : {"a.txt", "b.txt", "c.txt"}) Put(dir, n, 0644);
        Send(vs.port(), dir.dir(), {"a.txt", "b.txt", "c.txt", "new.txt"});
        for (const char* n : {"a.txt", "b.txt", "c.txt", "new.txt"}) {
            EXPECT_EQ(Result(n), "Yes") << n << trace.All();
            EXPECT_TRUE(ReadFile(dir / n) == after) << n;
        }
        EXPECT_EQ(count(logs.dir() + "rnto.log", "\"RNTO"), 1);
        EXPECT_EQ(trace.Count("-?- 127.0.0.1 refuses to rename files: files are sent straight over the remote files, "
                              "so a stopped send leaves the remote file cut."),
                  1)
            << trace.All();
        NoTemporaries(dir);
    }
    {
        // "LIST -a" refused: pyftpdlib answers as some servers do.
        TempDir root;
        const std::string log = logs.dir() + "list.log";
        PyFtpRefusingServer py(root.path(), {{"LIST -a", "501 Invalid option."}}, log);
        if (!py.ok()) GTEST_SKIP() << py.why();
        for (const char* n : {"a.txt", "b.txt"}) WriteFile(root / n, before);
        UserDir unused;
        Send(py.port(), "/", {"a.txt", "b.txt", "new.txt"});
        for (const char* n : {"a.txt", "b.txt", "new.txt"}) {
            EXPECT_EQ(Result(n), "Yes") << n << trace.All();
            EXPECT_TRUE(ReadFile(root / n) == after) << n;
        }
        EXPECT_EQ(count(log, "LIST -a"), 1);
    }
}

// A server that will not list the folders at all, or loses the connection
// at each listing: whether a name there is a link to another item's file
// cannot be told, so no item of them goes, each named with the reason.
TEST_F(HostingServers, NoItemGoesWhereTheServerWillNotListItsFolder) {
    for (const std::string refusal : {"451 Requested action aborted: local error in processing.", "CLOSE"}) {
        SCOPED_TRACE(refusal);
        CloseAllConnections();
        ClearFtpResultLists();
        Items().clear();
        data.m_Vault.m_Clusters[0].m_Hosts.clear();
        TempDir root, logs, from;
        PyFtpRefusingServer py(root.path(), {{"LIST", refusal}}, logs.dir() + "list.log");
        if (!py.ok()) GTEST_SKIP() << py.why();
        for (const char* d : {"a", "b"}) {
            ASSERT_EQ(::mkdir((root / d).c_str(), 0755), 0);
            std::filesystem::create_directories(from / d);
        }
        WriteFile(root / "b/index.html", before);
        ASSERT_EQ(::symlink("../b/index.html", (root / "a/link.html").c_str()), 0);
        WriteFile(from / "b/index.html", after);
        WriteFile(from / "a/link.html", "through the link\n");
        env.reset();
        env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(py.port()).c_str());
        AddAccount("127.0.0.1", kUser, kPassword);
        AddItem(MakeItem("index.html", "127.0.0.1", kUser, "/b/", from / "b/", true));
        AddItem(MakeItem("link.html", "127.0.0.1", kUser, "/a/", from / "a/", true));
        RunTransfer(true, {0, 1});
        EXPECT_TRUE(ReadFile(root / "b/index.html") == before) << trace.All();
        for (const CFileItem& it : TransferResults()) {
            EXPECT_EQ(it.IsFTPed, "failed") << it.FileName;
            if (refusal != "CLOSE")
                EXPECT_EQ(trace.Count(SameTargetRefusal(it, true,
                                                        "the server would not list " +
                                                            it.RemoteDir.substr(0, it.RemoteDir.size() - 1) +
                                                            ": the name may be a link there")),
                          1)
                    << trace.All();
        }
    }
}

// A host whose listings fail (its data connections refused) still names
// each file exactly: a sent file records the server's time of it by MDTM,
// so that the next send asks over a change made on the server since, and
// only then; one that SIZE shows cut short (a full quota) is not marked
// sent. (A send of two files there goes nowhere: whether one name is a
// link to the other cannot be told; so each goes in a run of its own.)
TEST_F(HostingServers, AHostWhoseListingsFailTimesTheSentFilesByTheirNames) {
    TempDir root, logs;
    PyFtpRefusingServer py(root.path(), {{"LIST", "425 Can't open data connection."}, {"SIZE /b.dat", "213 5"}},
                           logs.dir() + "log");
    if (!py.ok()) GTEST_SKIP() << py.why();
    Send(py.port(), "/", {"b.dat"});
    EXPECT_EQ(Result("b.dat"), "failed");
    EXPECT_TRUE(trace.Has("-?- After the send the server tells /b.dat with 5 bytes (100000 sent): it is not marked "
                          "as sent."))
        << trace.All();
    Send(py.port(), "/", {"a.txt"});
    ASSERT_TRUE(ApplyFtpResults(data));
    EXPECT_EQ(Items()[0].IsFTPed, "Yes") << trace.All();
    EXPECT_EQ(Items()[0].RemoteModTime, Lstat(root / "a.txt").st_mtime) << trace.All();
    RecordingPrompter prompter;  // answers No
    ScopedPrompter asking(prompter);
    WriteFile(local / "a.txt", "edited here\n");
    RunTransfer(true, {0});
    ASSERT_TRUE(ApplyFtpResults(data));
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(root / "a.txt"), "edited here\n");
    WriteFile(root / "a.txt", "from the server\n");
    SetModificationTime(root / "a.txt", std::time(nullptr) + 120);
    WriteFile(local / "a.txt", "edited here again\n");
    RunTransfer(true, {0});
    EXPECT_EQ(prompter.Questions().size(), 1u) << trace.All();
    EXPECT_EQ(ReadFile(root / "a.txt"), "from the server\n");
}

// A server that tells no second (vsftpd with cmds_denied=MDTM, a server
// answering MDTM with 500 or 502) has a file sent timed to the minute its
// listing shows, and compared to that minute and its size: sent again in
// the same session and after a restart (through the work file), it asks
// nothing, and the status check finds it in sync. A change of another size
// within that minute is still seen. A dot file on a server that tells
// nothing of it (hidden from listings, MDTM and SIZE refused with 550) is
// no file gone from there: changed on the server, the next send asks as
// one that could not be checked, and No keeps the server's copy.
TEST_F(HostingServers, AServerWithoutMdtmAsksNothingOverTheFilesItWasSent) {
    const auto sendAgain = [&](int port, const std::string& folder, const std::string& served,
                               const std::string& what) {
        Send(port, folder, {"a.dat"});
        ASSERT_TRUE(ApplyFtpResults(data));
        ASSERT_EQ(Items()[0].IsFTPed, "Yes") << what << trace.All();
        RecordingPrompter asked;  // answers No
        ScopedPrompter asking(asked);
        for (const bool restarted : {false, true}) {
            const std::string when = what + (restarted ? ", after a restart" : ", in the same session");
            if (restarted) {
                CSession& session = data.m_ProjectList.m_Projects[0].m_Sessions[0];
                CSession back;
                bool readError = false;
                ASSERT_EQ(back.ReadBytes(session.FormatWorkFile(0, 0), "work file", readError), 0u) << when;
                Items() = back.m_Baskets[0].m_Items;
            }
            const std::string text = after + (restarted ? "second" : "first");
            WriteFile(local / "a.dat", text);
            RunTransfer(true, {0});
            ASSERT_TRUE(ApplyFtpResults(data));
            EXPECT_TRUE(asked.Questions().empty()) << when << trace.All();
            EXPECT_TRUE(ReadFile(served) == text) << when;
            asked.entries.clear();
        }
        ASSERT_TRUE(StartRemoteStatusCheck(data, 0, 0, 0));
        ASSERT_TRUE(JoinFtpWorker(20000));
        ASSERT_TRUE(ApplyFtpResults(data));
        EXPECT_TRUE(trace.Has(PadRight("1/1: Checking: a.dat", 23) + " Ok")) << what << trace.All();
        EXPECT_EQ(Items()[0].IsRemoteModified, "No") << what;

        // The work file read back as the given text (say, with its record
        // as the previous release wrote it, or damaged).
        CSession& session = data.m_ProjectList.m_Projects[0].m_Sessions[0];
        const auto restartWith = [&](const std::function<std::string(std::string)>& edit) {
            const std::string text = session.FormatWorkFile(0, 0);
            CSession back;
            bool readError = false;
            back.ReadBytes(edit(text), "work file", readError);
            Items() = back.m_Baskets[0].m_Items;
        };
        const auto withoutUnit = [](std::string text) {
            const size_t at = text.find("RemoteTimeUnit=");
            return at == std::string::npos ? text : text.erase(at, text.find(", BasketInd=", at) + 2 - at);
        };
        // Recorded without the unit, by the previous release: compared to
        // the minute its listing showed, by the status check, a send and
        // auto-sync, and the next transfer records the unit.
        restartWith(withoutUnit);
        const int inSync = trace.Count(PadRight("1/1: Checking: a.dat", 23) + " Ok");
        ASSERT_TRUE(StartRemoteStatusCheck(data, 0, 0, 0));
        ASSERT_TRUE(JoinFtpWorker(20000));
        ASSERT_TRUE(ApplyFtpResults(data));
        EXPECT_EQ(trace.Count(PadRight("1/1: Checking: a.dat", 23) + " Ok"), inSync + 1) << what << trace.All();
        for (const bool unattended : {false, true}) {
            const std::string when = what + (unattended ? ", a record of the previous release, auto-sync"
                                                        : ", a record of the previous release");
            restartWith(withoutUnit);
            ASSERT_EQ(Items()[0].RemoteTimeUnit, 0) << when;
            const std::string text = after + (unattended ? "by auto-sync" : "from an earlier release");
            WriteFile(local / "a.dat", text);
            {
                CUnattendedRun nobody(unattended);
                RunTransfer(true, {0});
            }
            ASSERT_TRUE(ApplyFtpResults(data));
            EXPECT_TRUE(asked.Questions().empty()) << when << trace.All();
            EXPECT_TRUE(ReadFile(served) == text) << when << trace.All();
            EXPECT_EQ(Items()[0].RemoteTimeUnit, 60) << when;
            asked.entries.clear();
        }
        // A unit no listing gives, or a size that is none: a damaged record,
        // warned about and asked about as one that could not be checked
        // (No keeps the server's copy), never read as a coarser clock or as
        // a changed size.
        for (const std::string damage : {"RemoteTimeUnit=999999, RemoteSize=" + std::to_string(after.size()),
                                          std::string("RemoteTimeUnit=60, RemoteSize=abc"),
                                          std::string("RemoteTimeUnit=60, RemoteSize=100000000000000000000000")}) {
            const std::string when = what + ", " + damage;
            restartWith([&](std::string text) {
                const size_t at = text.find("RemoteTimeUnit=");
                EXPECT_NE(at, std::string::npos) << when << text;
                if (at == std::string::npos) return text;
                return text.replace(at, text.find(", BasketInd=", at) - at, damage);
            });
            EXPECT_NE(trace.All().find("work file: item \"a.dat\": Remote"), std::string::npos) << when << trace.All();
            // Changed on the server an hour later, to the same size.
            const std::string theirs(ReadFile(served).size(), 'T');
            WriteFile(served, theirs);
            SetModificationTime(served, Lstat(served).st_mtime + 3600);
            WriteFile(local / "a.dat", after + "not to go");
            RunTransfer(true, {0});
            ASSERT_TRUE(ApplyFtpResults(data));
            ASSERT_EQ(asked.Questions().size(), 1u) << when << trace.All();
            EXPECT_NE(asked.Questions()[0].find("could not be checked"), std::string::npos) << asked.Questions()[0];
            EXPECT_EQ(asked.Questions()[0].find("These files were changed on the server"), std::string::npos)
                << asked.Questions()[0];
            EXPECT_TRUE(ReadFile(served) == theirs) << when;
            asked.entries.clear();
            // Sent again with a good record.
            WriteFile(local / "a.dat", after);
            Send(port, folder, {"a.dat"});
            ASSERT_TRUE(ApplyFtpResults(data));
        }

        // Changed on the server within the minute of the send, to another size.
        const std::time_t sent = Lstat(served).st_mtime;
        WriteFile(served, "changed on the server\n");
        const timespec times[2] = {{sent, 0}, {sent, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, served.c_str(), times, 0), 0);
        WriteFile(local / "a.dat", after + "third");
        RunTransfer(true, {0});
        EXPECT_EQ(asked.Questions().size(), 1u) << what << trace.All();
        EXPECT_EQ(ReadFile(served), "changed on the server\n") << what;
    };
    {
        VsftpdServer vs("", "cmds_denied=MDTM\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        sendAgain(vs.port(), dir.dir(), dir / "a.dat", "vsftpd");
    }
    for (const std::string refusal : {"500 Unknown command.", "502 Command not implemented."}) {
        TempDir root, logs;
        PyFtpRefusingServer py(root.path(), {{"MDTM", refusal}}, logs.dir() + "log");
        if (!py.ok()) GTEST_SKIP() << py.why();
        sendAgain(py.port(), "/", root / "a.dat", refusal);
    }
    {
        VsftpdServer vs("", "hide_file={.*}\ncmds_denied=MDTM,SIZE\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        WriteFile(local / ".a.dat", after);
        Send(vs.port(), dir.dir(), {".a.dat"});
        ASSERT_TRUE(ApplyFtpResults(data));
        ASSERT_TRUE(ReadFile(dir / ".a.dat") == after) << trace.All();
        WriteFile(dir / ".a.dat", "changed on the server\n");
        WriteFile(local / ".a.dat", after + "again");
        RecordingPrompter asked;  // answers No
        ScopedPrompter asking(asked);
        RunTransfer(true, {0});
        EXPECT_EQ(asked.Questions().size(), 1u) << trace.All();
        EXPECT_EQ(ReadFile(dir / ".a.dat"), "changed on the server\n") << trace.All();
    }
}

// A server without MDTM (vsftpd's cmds_denied) tells a file's time by its
// listing line alone. A refused MDTM is asked once a login, and the lines of
// the files that went in the same second come from one listing of their
// folder: a basket of more files than the server's 21 passive ports goes
// with one data connection a file and a few listings, sent, sent again and
// fetched, and each item records its line's minute and size as a listing
// of its own file gave them. (The ports lie below the system's ephemeral
// range: there the machine's other connections may hold all of them.)
TEST_F(HostingServers, AServerWithoutMdtmListsTheFilesThatWentTogether) {
    TempDir logs;
    const std::string log = logs.dir() + "v.log";
    const int low = 20000 + static_cast<int>(::getpid() % 500) * 20;
    VsftpdServer vs("", "cmds_denied=MDTM\nxferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file=" + log +
                            "\npasv_min_port=" + std::to_string(low) + "\npasv_max_port=" +
                            std::to_string(low + 20) + "\n");
    if (!vs.ok()) GTEST_SKIP() << vs.why();
    UserDir dir;
    size_t logged = 0;
    // The commands the server logged since the last call, by their word.
    const auto commands = [&] {
        std::map<std::string, int> n;
        std::ifstream in(log);
        size_t line = 0;
        for (std::string l; std::getline(in, l); ++line) {
            const size_t at = l.find("FTP command: Client \"127.0.0.1\", \"");
            if (line < logged || at == std::string::npos) continue;
            const std::string word = l.substr(at + 34, l.find_first_of(" \"", at + 34) - at - 34);
            ++n[word];
        }
        logged = line;
        return n;
    };
    constexpr int kFiles = 120;
    env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(vs.port()).c_str());
    AddAccount("127.0.0.1", kUser, kPassword);
    std::vector<int> all;
    const auto text = [](int i, const std::string& round) { return round + " of file " + std::to_string(i) + "\n"; };
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(i) + ".dat";
        WriteFile(local / name, text(i, "first"));
        all.push_back(i);
        AddItem(MakeItem(name, "127.0.0.1", kUser, dir.dir(), local.dir(), true));
    }
    RecordingPrompter asked;  // answers No
    ScopedPrompter asking(asked);
    const auto recorded = [&](const std::string& round, const std::string& when) {
        for (int i = 0; i < kFiles; ++i) {
            const CFileItem& it = Items()[static_cast<size_t>(i)];
            ASSERT_EQ(it.IsFTPed, "Yes") << when << " " << it.FileName << trace.All();
            const struct stat st = Lstat(dir / it.FileName);
            EXPECT_EQ(it.RemoteSize, static_cast<long long>(text(i, round).size())) << when << " " << it.FileName;
            EXPECT_EQ(it.RemoteTimeUnit, 60) << when << " " << it.FileName;
            EXPECT_FALSE(it.RemoteSecondKnown) << when << " " << it.FileName;
            EXPECT_EQ(it.RemoteModTime, st.st_mtime - st.st_mtime % 60) << when << " " << it.FileName;
        }
    };
    const auto fewListings = [&](const std::string& when, const char* transfer) {
        std::map<std::string, int> n = commands();
        EXPECT_EQ(n[transfer], kFiles) << when;
        EXPECT_LE(n["MDTM"], 2) << when;
        EXPECT_LE(n["LIST"], 6) << when;
        EXPECT_LE(n["PASV"], kFiles + 6) << when;
    };
    commands();
    RunTransfer(true, all);
    ASSERT_TRUE(ApplyFtpResults(data));
    recorded("first", "sent");
    fewListings("sent", "STOR");
    for (int i = 0; i < kFiles; ++i) WriteFile(local / Items()[static_cast<size_t>(i)].FileName, text(i, "second"));
    RunTransfer(true, all);
    ASSERT_TRUE(ApplyFtpResults(data));
    EXPECT_TRUE(asked.Questions().empty()) << trace.All();
    recorded("second", "sent again");
    fewListings("sent again", "STOR");
    for (int i = 0; i < kFiles; ++i) WriteFile(dir / Items()[static_cast<size_t>(i)].FileName, text(i, "third"));
    for (CFileItem& it : Items()) it.LocalDir = logs.dir();
    RunTransfer(false, all);
    ASSERT_TRUE(ApplyFtpResults(data));
    EXPECT_TRUE(asked.Questions().empty()) << trace.All();
    recorded("third", "fetched");
    fewListings("fetched", "RETR");
    EXPECT_EQ(ReadFile(logs / "f7.dat"), text(7, "third"));

    // A file of many data blocks may outlast the second: the lines of the
    // files before it are read before it goes.
    WriteFile(local / "big.dat", std::string(4 << 20, 'b'));
    Items().resize(2);
    Items()[1] = MakeItem("big.dat", "127.0.0.1", kUser, dir.dir(), local.dir(), true);
    Items()[0].LocalDir = local.dir();
    WriteFile(local / Items()[0].FileName, "fourth\n");
    commands();
    RunTransfer(true, {0, 1});
    ASSERT_TRUE(ApplyFtpResults(data));
    EXPECT_EQ(Items()[0].RemoteSize, 7) << trace.All();
    EXPECT_EQ(Items()[1].RemoteSize, 4 << 20) << trace.All();
    std::vector<std::string> order;
    std::ifstream in(log);
    for (std::string l; std::getline(in, l);)
        for (const std::string c : {"\"LIST", "\"STOR"})
            if (l.find(c) != std::string::npos) order.push_back(l.substr(l.find(c) + 1, l.rfind('"') - l.find(c) - 1));
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(order.end() - 4, order.end()),
              (std::vector<std::string>{"STOR " + dir / Items()[0].FileName, "LIST", "STOR " + dir / "big.dat", "LIST"}));
}

// A host that will not rename or delete the user's files (vsftpd's
// cmds_denied, also where it hides the owners; an anonymous upload area;
// pure-ftpd's -K) keeps no copy of a file under a hidden name: the folder's
// empty probe finds it out before any text goes to a temporary, every file
// goes straight (and ends as a plain STOR leaves it), and the Message Window
// says so once, naming the empty probe the host would not delete. A
// straight send that fails after a refused rename (an immutable target)
// still sends the later files straight.
TEST_F(HostingServers, AHostThatRenamesOrDeletesNoFileKeepsNoHiddenCopy) {
    const auto said = [&](const std::string& why, const std::string& left) {
        return trace.Count("-?- 127.0.0.1 " + why +
                           ": files are sent straight over the remote files, so a stopped send leaves the remote "
                           "file cut." +
                           (left.empty() ? "" : " The empty file " + left + " could not be removed."));
    };
    // The names the folder holds under a temporary name, each empty.
    const auto temporaries = [](const std::string& dir) {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n.find(".qvl-part") == std::string::npos) continue;
            EXPECT_EQ(std::filesystem::file_size(e.path()), 0u) << n;
            found.push_back(n);
        }
        return found;
    };
    const std::vector<std::string> one{".qvl-probe.qvl-part"};
    // A later program run (its own connection) makes no second probe
    // beside the one left: it takes that one again.
    const auto runAgain = [&](const std::vector<int>& items) {
        CloseAllConnections();
        ClearFtpResultLists();
        RunTransfer(true, items);
    };
    for (const std::string hide : {"", "hide_ids=YES\n"}) {
        VsftpdServer vs("", "cmds_denied=RNFR,RNTO,DELE\n" + hide);
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        for (const char* n : {"a.txt", "b.txt"}) Put(dir, n, 0644);
        Send(vs.port(), dir.dir(), {"a.txt", "b.txt", "new.txt"});
        for (const char* n : {"a.txt", "b.txt", "new.txt"}) {
            EXPECT_EQ(Result(n), "Yes") << n << trace.All();
            EXPECT_TRUE(ReadFile(dir / n) == after) << n;
        }
        EXPECT_EQ(said("refuses to rename and to delete files", dir.dir() + one[0]), 1) << trace.All();
        EXPECT_EQ(temporaries(dir.path()), one);
        runAgain({0, 1, 2});
        EXPECT_EQ(Result("a.txt"), "Yes") << trace.All();
        EXPECT_EQ(said("refuses to rename and to delete files", dir.dir() + one[0]), 2) << trace.All();
        EXPECT_EQ(temporaries(dir.path()), one);
    }
    {
        // Uploads of the anonymous user: new files only, none replaced.
        TempDir root;
        ASSERT_EQ(::chmod(root.path().c_str(), 0755), 0);
        const passwd* ftp = ::getpwnam("ftp");
        if (!ftp) GTEST_SKIP() << "no ftp user for anonymous logins";
        const std::string incoming = root / "incoming";
        ASSERT_EQ(::mkdir(incoming.c_str(), 0755), 0);
        ASSERT_EQ(::chown(incoming.c_str(), ftp->pw_uid, 0), 0);
        for (const char* n : {"a.txt", "b.txt"}) {
            WriteFile(incoming + "/" + n, before);
            ASSERT_EQ(::chown((incoming + "/" + n).c_str(), ftp->pw_uid, ftp->pw_gid), 0);
            ASSERT_EQ(::chmod((incoming + "/" + n).c_str(), 0600), 0);
        }
        VsftpdServer vs("", "anonymous_enable=YES\nanon_upload_enable=YES\nno_anon_password=YES\nanon_root=" +
                                root.path() + "\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        Send(vs.port(), "/incoming/", {"a.txt", "b.txt", "new.txt"}, "anonymous");
        for (const char* n : {"a.txt", "b.txt"}) {
            EXPECT_EQ(Result(n), "failed") << n << trace.All();
            EXPECT_TRUE(ReadFile(incoming + "/" + n) == before) << n;
        }
        EXPECT_EQ(Result("new.txt"), "Yes") << trace.All();
        EXPECT_EQ(said("refuses to rename and to delete files", "/incoming/" + one[0]), 1) << trace.All();
        EXPECT_EQ(temporaries(incoming), one);
        runAgain({0, 1, 2});
        EXPECT_EQ(temporaries(incoming), one);
    }
    {
        // Renames, but deletes nothing; the first target is root's.
        PureFtpdServer pure({"-K"});
        if (!pure.ok()) GTEST_SKIP() << pure.why();
        UserDir dir;
        Put(dir, "theirs.txt", 0666, true);
        Put(dir, "a.txt", 0644);
        Send(pure.port(), dir.dir(), {"theirs.txt", "a.txt"});
        for (const char* n : {"theirs.txt", "a.txt"}) {
            EXPECT_EQ(Result(n), "Yes") << n << trace.All();
            EXPECT_TRUE(ReadFile(dir / n) == after) << n;
        }
        EXPECT_EQ(said("refuses to delete files", dir.dir() + ".qvl-probe.qvl-part-1"), 1) << trace.All();
        // The next run on the connection makes no file to find it out again.
        ClearFtpResultLists();
        RunTransfer(true, {0, 1});
        EXPECT_EQ(Result("a.txt"), "Yes") << trace.All();
        EXPECT_EQ(said("refuses to delete files", ""), 1) << trace.All();
        EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{".qvl-probe.qvl-part-1"});
        // A new program run renames the probe it finds back and leaves it.
        runAgain({0, 1});
        EXPECT_EQ(Result("a.txt"), "Yes") << trace.All();
        EXPECT_EQ(said("refuses to delete files", dir.dir() + one[0]), 1) << trace.All();
        EXPECT_EQ(temporaries(dir.path()), one);
    }
    {
        TempDir logs;
        VsftpdServer vs("", "xferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file=" + logs.dir() + "v.log\n");
        if (!vs.ok()) GTEST_SKIP() << vs.why();
        UserDir dir;
        for (const char* n : {"a.txt", "b.txt", "c.txt"}) Put(dir, n, 0644);
        if (std::system(("chattr +i " + dir / "a.txt" + " 2>/dev/null").c_str()) != 0)
            GTEST_SKIP() << "chattr +i is not possible here";
        Send(vs.port(), dir.dir(), {"a.txt", "b.txt", "c.txt"});
        std::system(("chattr -i " + dir / "a.txt").c_str());
        EXPECT_EQ(Result("a.txt"), "failed");
        for (const char* n : {"b.txt", "c.txt"}) EXPECT_EQ(Result(n), "Yes") << n << trace.All();
        EXPECT_EQ(said("refuses to rename files", ""), 1) << trace.All();
        std::ifstream in(logs.dir() + "v.log");
        int renames = 0;
        for (std::string line; std::getline(in, line);) renames += line.find("\"RNTO") != std::string::npos;
        EXPECT_EQ(renames, 2);  // the probe's and a.txt's
        NoTemporaries(dir);
    }
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

// A server that answers the change of bits of a send through a temporary
// name as done without doing it leaves a private file readable by all: the
// listing read after the send shows it, and the item is reported and not
// marked as sent. One that answers a rename so would leave the old file in
// place: the folder's empty probe shows it before any send, and every file
// goes straight.
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
        // Run as root, pyftpdlib leaves every file root's: a file of another
        // user's beside them shows that its listing tells owners apart.
        uid_t uid;
        gid_t gid;
        std::string home;
        if (!TestUserIds(uid, gid, home)) GTEST_SKIP() << "the user qvltest is missing";
        WriteFile(root / kTheirs, "theirs\n");
        ASSERT_EQ(::chown((root / kTheirs).c_str(), uid, gid), 0);
        const size_t before = trace.All().size();
        RunTransfer(true, {0, 1});
        const std::vector<CFileItem> results = TransferResults();
        ASSERT_EQ(results.size(), 2u);
        if (lie == "rnto") {
            EXPECT_NE(trace.All().find("-?- 127.0.0.1 refuses to rename files: ", before), std::string::npos)
                << trace.All();
            for (size_t i = 0; i < 2; ++i) {
                EXPECT_EQ(results[i].IsFTPed, "Yes") << i << trace.All();
                EXPECT_TRUE(ReadFile(root / results[i].FileName) == std::string(200000, 'n')) << i;
            }
            continue;
        }
        EXPECT_EQ(results[0].IsFTPed, "failed") << trace.All();
        EXPECT_NE(trace.All().find("-?- After the send the server lists /secret.dat with ", before), std::string::npos)
            << trace.All();
        EXPECT_NE(trace.All().find("Failed to transfer the following:\n   1. secret.dat\n", before), std::string::npos)
            << trace.All();
        // The file whose bits needed no change went whole.
        EXPECT_EQ(results[1].IsFTPed, "Yes") << trace.All();
        CloseAllConnections();
    }
}

}  // namespace

