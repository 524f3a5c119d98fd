#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>
#include <sys/stat.h>
#include <utime.h>

#include "RemoteFixture.h"
#include "model/StopCommands.h"
#include "remote/RemoteStatus.h"
#include "remote/RexecClient.h"
#include "remote/TransferChecks.h"
#include "remote/TransferEngine.h"

using namespace qvltest;

namespace {

class PyTransfer : public RemoteEngineTest {
protected:
    void SetUp() override {
        RemoteEngineTest::SetUp();
        if (!server.ok()) GTEST_SKIP() << server.why();
        port = std::to_string(server.port());
        env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", port.c_str());
        AddAccount("127.0.0.1", kUser, kPassword);
        g_bFtpUpdate = false;
    }
    void Run(bool toRemote, const std::vector<int>& indices) { RunTransfer(toRemote, indices); }
    TempDir root, local;
    PyFtpServer server{root.path()};
    std::string port;
    std::unique_ptr<ScopedEnv> env;
};

TEST_F(PyTransfer, ABasketGoesUpWithTheTypeOfEachItemAndPerItemResults) {
    std::filesystem::create_directories(root / "src");
    WriteFile(local / "a.txt", "line1\nline2\n");
    std::string bin("\x00\x01\r\n\xff\n", 6);
    WriteFile(local / "b.bin", bin);
    AddItem(MakeItem("a.txt", "127.0.0.1", kUser, "/src/", local.dir()));
    AddItem(MakeItem("b.bin", "127.0.0.1", kUser, "/src/", local.dir(), true));
    Run(true, {0, 1});
    EXPECT_EQ(ReadFile(root / "src/a.txt"), "line1\nline2\n");
    EXPECT_EQ(ReadFile(root / "src/b.bin"), bin);
    auto lines = trace.Lines();
    EXPECT_TRUE(trace.Has("Connecting to 127.0.0.1 as qvltest..."));
    EXPECT_TRUE(trace.Has("+ qvltest connected to 127.0.0.1."));
    EXPECT_EQ(trace.Count("Switching to BINARY:"), 1);
    EXPECT_NE(trace.All().find("->1/2 a.txt"), std::string::npos);
    EXPECT_NE(trace.All().find("->2/2 b.bin"), std::string::npos);
    EXPECT_TRUE(trace.Has("--- FTP over ---"));
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].IsFTPed, "Yes");
    EXPECT_EQ(results[1].IsFTPed, "Yes");
    EXPECT_EQ(results[0].IsRemoteModified, "No");
    EXPECT_TRUE(g_bFtpIdle);
    // The timer applies the results to the model.
    EXPECT_TRUE(ApplyFtpResults(data));
    EXPECT_EQ(Items()[0].IsFTPed, "Yes");
    // The account was remembered with its host type; the password is never traced.
    CHost found;
    ASSERT_TRUE(data.FindVaultHost("127.0.0.1", kUser, found));
    EXPECT_EQ(found.m_strHostType, "UNIX");
    EXPECT_EQ(trace.All().find(kPassword), std::string::npos);
}

TEST_F(PyTransfer, DownloadsFailPerItemAndTheFailureListNamesItemsWithoutFolders) {
    WriteFile(root / "there.txt", "remote\r\nfile\r\n");
    AddItem(MakeItem("missing.txt", "127.0.0.1", kUser, "/", local.dir()));
    AddItem(MakeItem("there.txt", "127.0.0.1", kUser, "/", local.dir() + "new/sub/"));
    Run(false, {0, 1});
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].IsFTPed, "failed");
    EXPECT_EQ(results[1].IsFTPed, "Yes");
    EXPECT_FALSE(std::filesystem::exists(local / "missing.txt"));
    // ASCII download: the server's line ends become ours.
    EXPECT_EQ(ReadFile(local / "new/sub/there.txt"), "remote\nfile\n");
    bool failureLine = false;
    for (const std::string& l : trace.Lines()) failureLine |= l.rfind("-?- ", 0) == 0;
    EXPECT_TRUE(failureLine);
    EXPECT_FALSE(g_bAutoSync);

    trace.Lines();
    Items().push_back(MakeItem("nofolder.txt", "127.0.0.1", kUser, "", local.dir()));
    Run(false, {2});
    EXPECT_EQ(MessageText(), "Failed to transfer the following:\r\n   1. nofolder.txt");
}

TEST_F(PyTransfer, ACancelledLoginAsksOnceAndSkipsTheAccountsOtherItems) {
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    WriteFile(local / "x", "x");
    AddItem(MakeItem("x", "127.0.0.1", "nobody", "/", local.dir()));
    AddItem(MakeItem("x", "127.0.0.1", "nobody", "/", local.dir()));
    AddItem(MakeItem("x", "127.0.0.1", kUser, "/", local.dir()));
    Run(true, {0, 1, 2});
    int logins = 0;
    for (auto& e : prompter.entries) logins += e.kind == "login";
    EXPECT_EQ(logins, 1);
    EXPECT_EQ(trace.Count("-?- Login cancelled."), 1);
    EXPECT_TRUE(trace.Has("127 is not connected. x is skipped.") ||
                trace.Has("127.0.0.1 is not connected. x is skipped."));
    auto results = TransferResults();
    EXPECT_EQ(results[0].IsFTPed, "failed");
    EXPECT_EQ(results[1].IsFTPed, "failed");
    EXPECT_EQ(results[2].IsFTPed, "Yes");
}

TEST_F(PyTransfer, AUserChangedInTheLoginDialogFollowsThroughTheRunAndTheModel) {
    RecordingPrompter prompter;
    LoginData answer;
    answer.host = "127.0.0.1";
    answer.user = kUser;
    answer.password = kPassword;
    prompter.logins.push_back(answer);
    ScopedPrompter scoped(prompter);
    SetMainProgramData(&data);
    WriteFile(local / "x", "x");
    AddItem(MakeItem("x", "127.0.0.1", "olduser", "/", local.dir()));
    AddItem(MakeItem("x", "127.0.0.1", "olduser", "/", local.dir()));
    Run(true, {0, 1});
    auto results = TransferResults();
    EXPECT_EQ(results[1].RemUser, kUser);
    EXPECT_EQ(results[1].IsFTPed, "Yes");
    EXPECT_EQ(Items()[0].RemUser, kUser);
    EXPECT_EQ(Items()[1].RemUser, kUser);
}

TEST_F(PyTransfer, AStopBeforeAnItemEndsTheRunAndAStopDuringACopyDropsTheConnection) {
    WriteFile(local / "x", "x");
    AddItem(MakeItem("x", "127.0.0.1", kUser, "/", local.dir()));
    ASSERT_TRUE(ClaimFtpSlot(""));
    g_bFtpBreak = true;
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0}); });
    EXPECT_TRUE(trace.Has("--- FTP aborted-(2) ---"));
    EXPECT_FALSE(std::filesystem::exists(root / "x"));
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_FALSE(g_bFtpBreak);

    // The stop arrives once the item's copy has begun.
    WriteFile(local / "big", std::string(8 << 20, 'z'));
    AddItem(MakeItem("big", "127.0.0.1", kUser, "/", local.dir(), true));
    trace.onLine = [](const std::string& l) {
        if (l.rfind("->", 0) == 0) g_bFtpBreak = true;
    };
    Run(true, {1});
    trace.onLine = nullptr;
    EXPECT_TRUE(trace.Has("--- FTP User-aborted ---"));
    // A new file has no old text to keep: it went straight, and is named as
    // possibly cut.
    EXPECT_TRUE(trace.Has("-?- The upload of /big was stopped: the file on the host may be incomplete."))
        << trace.All();
    EXPECT_FALSE(std::filesystem::exists(root / ".big.qvl-part"));
    EXPECT_TRUE(trace.Has("- qvltest disconnected from 127.0.0.1."));
    EXPECT_EQ(FindOpenConnection("127.0.0.1", kUser), -1);
    EXPECT_TRUE(g_bFtpIdle);
}

TEST_F(PyTransfer, ALostControlConnectionIsOpenedAgainOnceBeforeTheItemFails) {
    WriteFile(local / "x", "x");
    AddItem(MakeItem("x", "127.0.0.1", kUser, "/", local.dir()));
    Run(true, {0});
    ASSERT_EQ(TransferResults()[0].IsFTPed, "Yes");
    ShutdownConnections();  // the control channel dies under the open connection
    WriteFile(local / "x", "second");
    Run(true, {0});
    EXPECT_EQ(TransferResults()[0].IsFTPed, "Yes");
    EXPECT_EQ(ReadFile(root / "x"), "second");
    EXPECT_EQ(trace.Count("+ qvltest connected to 127.0.0.1."), 2);
}

TEST_F(PyTransfer, TheWorkerThreadRunsTheTransferAndTheStarterRefusesWhileItRuns) {
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    WriteFile(local / "x", "threaded");
    AddItem(MakeItem("x", "127.0.0.1", kUser, "/", local.dir()));
    ASSERT_TRUE(StartTransferToRemote(data, 0, 0, 0, {0}));
    EXPECT_FALSE(StartTransferToLocal(data, 0, 0, 0, {0}));
    ASSERT_TRUE(JoinFtpWorker(5000));
    EXPECT_EQ(ReadFile(root / "x"), "threaded");
    EXPECT_TRUE(trace.Has("--- FTP over ---"));
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages()[0], "One FTP session is already on...");
    // The keep-alive runs while idle and keeps a healthy connection.
    KeepAliveConnections();
    EXPECT_TRUE(IsConnectionOpen("127.0.0.1", kUser));
}

TEST_F(PyTransfer, StatusCheckMarksModifiedAndMissingItems) {
    g_bFtpUpdate = true;
    WriteFile(local / "a.txt", "a");
    WriteFile(local / "b.txt", "b");
    AddItem(MakeItem("a.txt", "127.0.0.1", kUser, "/", local.dir()));
    AddItem(MakeItem("b.txt", "127.0.0.1", kUser, "/", local.dir()));
    Run(true, {0, 1});
    ASSERT_TRUE(ApplyFtpResults(data));
    ASSERT_NE(Items()[0].GetRemoteTimeText(), kNoTimeInfo);
    // a.txt changes on the host (an older time), b.txt disappears.
    utimbuf times{1000000000, 1000000000};
    ::utime((root / "a.txt").c_str(), &times);
    std::filesystem::remove(root / "b.txt");
    ASSERT_TRUE(StartRemoteStatusCheck(data, 0, 0, 0));
    ASSERT_TRUE(JoinFtpWorker(5000));
    EXPECT_TRUE(trace.Has("--- Checking status of remote files ---"));
    ASSERT_TRUE(ApplyFtpResults(data));
    EXPECT_EQ(Items()[0].IsRemoteModified, "Yes");
    EXPECT_EQ(Items()[1].IsRemoteMissing, "Yes");
    EXPECT_TRUE(trace.Has("Missing from remote directory.   \tb.txt"));
    EXPECT_NE(trace.All().find("Last FTP time: "), std::string::npos);
    EXPECT_NE(trace.All().find("1/2: Checking: a.txt"), std::string::npos);
}

TEST(SameTarget, ARunNeverWritesOneFileFromTwoSources) {
    // Three index.html from three folders into one remote folder: sending
    // would overwrite, fetching only copies one remote file three times.
    std::vector<CFileItem> site = {MakeItem("index.html", "h", "u", "/www/", "/site/"),
                                   MakeItem("index.html", "h", "u", "/www/", "/site/about/"),
                                   MakeItem("index.html", "h", "u", "/www/", "/site/docs/"),
                                   MakeItem("index.html", "h", "v", "/www/", "/site/v/"),
                                   MakeItem("a.css", "h", "u", "/www/", "/site/")};
    EXPECT_EQ(FindSameTargetItems(site, true), (std::vector<size_t>{0, 1, 2}));
    EXPECT_TRUE(FindSameTargetItems(site, false).empty());
    // One local file from two remote folders: fetching would overwrite.
    std::vector<CFileItem> two = {MakeItem("a.c", "h", "u", "/one/", "/l/"), MakeItem("a.c", "h", "u", "/two/", "/l/"),
                                  MakeItem("a.c", "h", "u", "/one/", "/l/")};
    EXPECT_EQ(FindSameTargetItems(two, false), (std::vector<size_t>{0, 1, 2}));
    EXPECT_TRUE(FindSameTargetItems(two, true).empty());

    // Files, not spellings: the host without case, a UNIX folder without "."
    // parts and repeated slashes, a VMS folder without case.
    std::vector<CFileItem> spelt = {MakeItem("a.c", "localhost", "u", "/remote/", "/l1/"),
                                    MakeItem("a.c", "LOCALHOST", "u", "/remote/./", "/l2/"),
                                    MakeItem("a.c", "localhost", "u", "//remote/", "/l3/"),
                                    MakeItem("a.c", "localhost", "u", "/remote/sub/", "/l4/"),
                                    MakeItem("a.c", "localhost", "U", "/remote/", "/l5/"),
                                    MakeItem("A.COM", "vax", "u", "DKA0:[USER]", "/v1/"),
                                    MakeItem("a.com", "VAX", "u", "dka0:[user]", "/v2/")};
    EXPECT_EQ(FindSameTargetItems(spelt, true), (std::vector<size_t>{0, 1, 2, 5, 6}));
    // A local folder, a link to it and the folder with "./" name one file.
    TempDir area;
    const std::string d = area.path() + "/d";
    std::filesystem::create_directories(d);
    std::filesystem::create_directory_symlink(d, area.path() + "/link");
    std::vector<CFileItem> local = {MakeItem("a.c", "h", "u", "/one/", d + "/"),
                                    MakeItem("a.c", "h", "u", "/two/", area.path() + "/link/"),
                                    MakeItem("a.c", "h", "u", "/three/", d + "/./"),
                                    MakeItem("a.c", "h", "u", "/four/", area.path() + "/new/")};
    EXPECT_EQ(FindSameTargetItems(local, false), (std::vector<size_t>{0, 1, 2}));
    // One file sent twice under two spellings loses nothing.
    std::vector<CFileItem> twice = {MakeItem("a.c", "h", "u", "/one/", d + "/"),
                                    MakeItem("a.c", "H", "u", "/one/./", area.path() + "/link/")};
    EXPECT_TRUE(FindSameTargetItems(twice, true).empty());
    EXPECT_TRUE(FindSameTargetItems(twice, false).empty());
}

// A transfer loses an edit where the side it writes is marked: the server's
// copy for a send, the local copy for a fetch, whatever the other side did.
TEST(BothChanged, TheMarkOfTheSideATransferWritesHoldsAnItem) {
    TempDir area;
    const std::string dir = area.path() + "/";
    WriteFile(dir + "page.html", "page\n");
    CFileItem it = MakeItem("page.html", "h", "u", "/www/", dir);
    it.FileType = "local";
    it.IsFTPed = "Yes";
    it.RefreshLocalTime();
    it.IsRemoteModified = "Yes";
    EXPECT_FALSE(IsChangedOnBothSides(it));  // the server's copy only
    EXPECT_TRUE(OverwritesAChange(it, true));
    EXPECT_FALSE(OverwritesAChange(it, false));
    EXPECT_NE(BothChangedQuestion({it}, true).find("These files were changed on the server since their last transfer:"),
              std::string::npos);
    WriteFile(dir + "page.html", "page\na\n");
    EXPECT_TRUE(IsChangedOnBothSides(it));
    EXPECT_TRUE(OverwritesAChange(it, true));
    EXPECT_TRUE(OverwritesAChange(it, false));
    it.IsRemoteModified = "No";
    EXPECT_FALSE(IsChangedOnBothSides(it));  // the local copy only
    EXPECT_FALSE(OverwritesAChange(it, true));
    EXPECT_TRUE(OverwritesAChange(it, false));
    EXPECT_NE(BothChangedQuestion({it}, false).find("These files were changed here since their last transfer:"),
              std::string::npos);
    EXPECT_NE(BothChangedHeldLine(it, false).find("(changed here since the last transfer;"), std::string::npos);
    it.IsRemoteModified = "Yes";
    const std::string q = BothChangedQuestion({it}, true);
    EXPECT_NE(q.find(dir + "page.html  (h:/www/page.html)"), std::string::npos) << q;
    EXPECT_NE(q.find("No leaves these files as they are and sends the rest."), std::string::npos) << q;
    EXPECT_EQ(BothChangedHeldLine(it, true).rfind("-?- Not sent: " + dir + "page.html -> h:/www/page.html", 0), 0u);
}

TEST(RemoteTexts, ItemNumbersStoredTimesAndElapsedTimes) {
    EXPECT_EQ(FormatItemNumber(3, 12), "03/12");
    EXPECT_EQ(FormatItemNumber(1, 120), "001/120");
    EXPECT_EQ(FormatItemNumber(10, 120), "010/120");
    EXPECT_EQ(FormatItemNumber(100, 120), "100/120");
    EXPECT_EQ(FormatItemNumber(5, 9), "5/9");
    EXPECT_EQ(FormatStoredTimeForDisplay("2008+7+14+9+5+3+"), "14-Jul-2008 09:05:03");
    EXPECT_EQ(FormatStoredTimeForDisplay("2008+12+3+14+7+0+"), "03-Dec-2008 14:07:00");
    EXPECT_EQ(FormatStoredTimeForDisplay("2008+13+3+14+7+0+"), "");
    EXPECT_EQ(FormatElapsedTime(3723450), "1:2:3.4");
    EXPECT_EQ(PadRight("ab", 4), "ab  ");
    EXPECT_EQ(PadRight("abcdef", 4), "abcdef");
    // Non-ASCII names line up with the others in the Message Window.
    EXPECT_EQ(PadRight("caf\xC3\xA9", 6), "caf\xC3\xA9  ");
    EXPECT_EQ(ShortHostName("alpha.example.com"), "alpha");
    EXPECT_EQ(ShortHostName("10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(MakeConnectionMessage(1, "alpha.x", "bob"), "Connecting to alpha as bob...");
    EXPECT_EQ(MakeConnectionMessage(3, "alpha.x", "bob"), "- bob disconnected from alpha.");
    EXPECT_EQ(MakeConnectionMessage(9, "alpha.x", "bob"), "");
}

TEST(RemoteTexts, TheEndRoutineLeavesOneTrailingPlus) {
    ResetWorkerFlags();
    SetFtpStatusText("0:0:1.2");
    FinishFtpWorker("over");
    FinishFtpWorker("over");
    EXPECT_EQ(GetFtpStatusText(), "0:0:1.2+");
    EXPECT_TRUE(g_bFtpIdle);
}

// Fetched with FTPUpdate from vsftpd: every item gets the time of its own
// line, items of two folders taking turns, a name with blanks, a dot file
// (not in a folder's listing) and a file gone from the host meanwhile.
class VsftpdTransfer : public RemoteEngineTest {
protected:
    void SetUp() override {
        RemoteEngineTest::SetUp();
        if (!ftp.ok()) GTEST_SKIP() << ftp.why();
        if (work.path().empty()) GTEST_SKIP() << "cannot make a folder for the test user";
        port = std::to_string(ftp.port());
        env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", port.c_str());
        AddAccount("127.0.0.1", kUser, kPassword);
    }
    UserDir work;
    VsftpdServer ftp{""};
    TempDir local;
    std::string port;
    std::unique_ptr<ScopedEnv> env;
};

TEST_F(VsftpdTransfer, EachFetchedItemGetsTheTimeOfItsOwnListingLine) {
    g_bFtpUpdate = true;
    std::filesystem::create_directories(work / "p");
    std::filesystem::create_directories(work / "q");
    struct File {
        const char* folder;
        const char* name;
        int year, month, day;
    };
    const File files[] = {{"p", "a.txt", 2001, 1, 2}, {"q", "c.txt", 2003, 5, 6},
                          {"p", "b b.txt", 2002, 3, 4}, {"p", ".hidden", 2004, 7, 8},
                          {"q", "d.txt", 2005, 9, 10}};
    for (const File& f : files) {
        const std::string path = work / (std::string(f.folder) + "/" + f.name);
        WriteFile(path, f.name);
        std::tm tm{};
        tm.tm_year = f.year - 1900;
        tm.tm_mon = f.month - 1;
        tm.tm_mday = f.day;
        tm.tm_hour = 12;
        tm.tm_isdst = -1;
        utimbuf times{std::mktime(&tm), std::mktime(&tm)};
        ::utime(path.c_str(), &times);
        AddItem(MakeItem(f.name, "127.0.0.1", kUser, work.dir() + f.folder + "/", local.dir()));
    }
    AddItem(MakeItem("gone.txt", "127.0.0.1", kUser, work.dir() + "p/", local.dir()));
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToLocal(data, 0, 0, 0, {0, 1, 2, 3, 4, 5}); });
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 6u);
    for (std::size_t i = 0; i < 5; ++i) {
        const File& f = files[i];
        EXPECT_EQ(results[i].IsFTPed, "Yes") << f.name;
        EXPECT_EQ(results[i].GetRemoteTimeText(), std::to_string(f.year) + "+" +
                                                      std::to_string(f.month) + "+" +
                                                      std::to_string(f.day) + "+0+0+0+")
            << f.name;
    }
    EXPECT_EQ(results[5].IsFTPed, "failed");
}

}  // namespace

namespace {

class FakeTransfer : public FakeServerTransferTest {};

TEST_F(FakeTransfer, TheTypeFollowsEachItemOnItsConnection) {
    for (const char* n : {"a", "b", "c", "d", "e"}) WriteFile(local / n, n);
    AddItem(MakeItem("a", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("b", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("c", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("d", "127.0.0.1", "ann", "/r/", local.dir(), true));
    AddItem(MakeItem("e", "127.0.0.1", "ann", "/r/", local.dir(), true));
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0, 1, 2, 3, 4}); });
    server.Stop();
    std::vector<std::string> seen;
    for (const std::string& l : server.Received())
        if (l.rfind("TYPE", 0) == 0 || l.rfind("STOR", 0) == 0) seen.push_back(l);
    // Files of one data block go straight: a stop cannot cut them. A type
    // the server took holds on the connection: it is not sent again.
    EXPECT_EQ(seen, (std::vector<std::string>{"STOR /r/a", "STOR /r/b", "STOR /r/c", "TYPE I", "STOR /r/d",
                                              "STOR /r/e"}));
    EXPECT_EQ(trace.Count("Switching to BINARY:"), 1);
    EXPECT_EQ(trace.Count("Switching to ASCII:"), 0);
}

// Each folder is listed once after its last item. A server that tells no
// time by MDTM is asked it once a login, and the files that went in the
// same second take their lines from one listing of their folder; a file
// that listing does not show is listed by itself.
TEST_F(FakeTransfer, FtpUpdateListsEachFolderOnceAfterItsLastItem) {
    g_bFtpUpdate = true;
    server.replies["MDTM"] = "213 20010102000000\r\n";
    server.listing =
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 a\r\n"
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 b\r\n"
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 c\r\n";
    for (const char* n : {"a", "b", "c", "gone"}) WriteFile(local / n, n);
    AddItem(MakeItem("a", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("c", "127.0.0.1", "ann", "/s/", local.dir()));
    AddItem(MakeItem("b", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("gone", "127.0.0.1", "ann", "/r/", local.dir()));
    const auto run = [&](const std::vector<int>& items) {
        const size_t before = server.Received().size();
        EXPECT_TRUE(ClaimFtpSlot(""));
        RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, items); });
        std::vector<std::string> seen;
        const std::vector<std::string> received = server.Received();
        for (size_t k = before; k < received.size(); ++k)
            if (received[k].rfind("LIST", 0) == 0 || received[k].rfind("STOR", 0) == 0) seen.push_back(received[k]);
        return seen;
    };
    // Before the first send each folder is listed for its links.
    const size_t asked = server.Received().size();
    EXPECT_EQ(run({0, 1, 2}), (std::vector<std::string>{"LIST -a /r/", "LIST -a /s/", "STOR /r/a", "STOR /s/c",
                                                         "LIST /s/", "STOR /r/b", "LIST /r/"}));
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 3u);
    for (const CFileItem& it : results) EXPECT_EQ(it.GetRemoteTimeText(), "2001+1+2+0+0+0+") << it.FileName;
    // One MDTM a file, its own time: the listing after asks none again.
    const std::vector<std::string> received = server.Received();
    EXPECT_EQ(std::count_if(received.begin() + static_cast<std::ptrdiff_t>(asked), received.end(),
                            [](const std::string& l) { return l.rfind("MDTM ", 0) == 0; }),
              3);

    // A new login to a server that refuses MDTM: it is asked for the
    // first file only, and the two files take their lines from one
    // listing; the one it does not show lists its own file.
    server.SetReply("MDTM", "502 Command not implemented.\r\n");
    CloseAllConnections();
    const size_t from = server.Received().size();
    EXPECT_EQ(run({0, 3}), (std::vector<std::string>{"LIST -a /r/", "STOR /r/a", "STOR /r/gone", "LIST /r/",
                                                      "LIST /r/gone"}));
    const std::vector<std::string> refusing = server.Received();
    const auto at = [&](const std::string& l) {
        return std::find(refusing.begin() + static_cast<long>(from), refusing.end(), l) - refusing.begin();
    };
    EXPECT_EQ(at("MDTM /r/a"), at("STOR /r/a") + 1);
    EXPECT_GT(at("MDTM /r/gone"), at("LIST /r/gone"));
    results = TransferResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].GetRemoteTimeText(), "2001+1+2+0+0+0+");
    EXPECT_EQ(results[0].RemoteTimeUnit, 86400);
    EXPECT_EQ(results[1].GetRemoteTimeText(), kRemoteMissingTime);
}

// The listing after a send shows its clock by the lines of the files whose
// own times were read: one file listed two minutes off (someone wrote it
// since) moves no other file's record, and keeps its own time.
TEST_F(FakeTransfer, OneFileListedOffMovesNoOtherRecordOfTheFolder) {
    g_bFtpUpdate = true;
    // A month ago, in the listing's form with the clock.
    const std::time_t then = (std::time(nullptr) - 30 * 86400) / 3600 * 3600;
    const auto stamp = [](std::time_t t, const char* form) {
        std::tm tm{};
        localtime_r(&t, &tm);
        char text[64];
        std::strftime(text, sizeof text, form, &tm);
        return std::string(text);
    };
    const std::time_t own[] = {then + 5, then + 67, then + 129};  // a, b, c
    const char* names[] = {"a", "b", "c"};
    for (int k = 0; k < 3; ++k) {
        server.mdtm[std::string("/r/") + names[k]] = stamp(own[k], "%Y%m%d%H%M%S");
        WriteFile(local / names[k], names[k]);
        AddItem(MakeItem(names[k], "127.0.0.1", "ann", "/r/", local.dir()));
    }
    server.listing = "-rw-r--r--   1 ann  ann  1 " + stamp(own[0] + 120, "%b %e %H:%M") + " a\r\n" +
                     "-rw-r--r--   1 ann  ann  1 " + stamp(own[1], "%b %e %H:%M") + " b\r\n" +
                     "-rw-r--r--   1 ann  ann  1 " + stamp(own[2], "%b %e %H:%M") + " c\r\n";
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0, 1, 2}); });
    const std::vector<CFileItem> results = TransferResults();
    ASSERT_EQ(results.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(results[static_cast<size_t>(k)].IsFTPed, "Yes") << names[k] << trace.All();
        EXPECT_EQ(results[static_cast<size_t>(k)].RemoteModTime, own[k]) << names[k] << trace.All();
    }
}

TEST_F(FakeTransfer, MdtmRepliesAfterAPreliminaryLineGoToTheirOwnFilesAndLeaveTheConnectionInStep) {
    g_bFtpUpdate = true;
    server.listing =
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 a\r\n"
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 b\r\n"
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 c\r\n";
    server.replies["MDTM"] = "150 File status okay\r\n213 20010102000007\r\n";
    for (const char* n : {"a", "b", "c"}) WriteFile(local / n, n);
    for (const char* n : {"a", "b", "c"}) AddItem(MakeItem(n, "127.0.0.1", "ann", "/r/", local.dir()));
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0, 1, 2}); });
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 3u);
    for (const CFileItem& it : results) EXPECT_EQ(it.GetRemoteTimeText(), "2001+1+2+0+0+7+") << it.FileName;
    // The next run on that connection meets no leftover reply.
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0}); });
    ASSERT_EQ(TransferResults().size(), 1u);
    EXPECT_EQ(TransferResults()[0].IsFTPed, "Yes");
    EXPECT_EQ(trace.All().find("-?-"), std::string::npos) << trace.All();

    // A reply that fits no MDTM drops the connection instead of being
    // read as a time.
    server.SetReply("MDTM", "226 Transfer complete\r\n");
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0, 1}); });
    for (const CFileItem& it : TransferResults()) EXPECT_FALSE(it.RemoteSecondKnown) << it.FileName;
    server.SetReply("MDTM", "213 20010102000009\r\n");
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {2}); });
    EXPECT_EQ(TransferResults()[0].GetRemoteTimeText(), "2001+1+2+0+0+9+") << trace.All();
}

TEST_F(FakeTransfer, APauseEndsTheRunWhileTheServerWithholdsAReplyOrStopsReadingData) {
    g_bFtpUpdate = true;
    NetTimeoutValues().replyMs = 30000;
    server.listing =
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 a\r\n"
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 b\r\n"
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 c\r\n";
    server.withholdEvery["MDTM"] = 3;
    for (const char* n : {"a", "b", "c"}) WriteFile(local / n, n);
    for (const char* n : {"a", "b", "c"}) AddItem(MakeItem(n, "127.0.0.1", "ann", "/r/", local.dir()));
    std::chrono::steady_clock::time_point stoppedAt{};
    // Pauses settleMs after ready() holds.
    const auto pauseWhen = [&](std::function<bool()> ready, int settleMs) {
        return std::thread([&, ready, settleMs] {
            WaitFor(ready, 10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
            stoppedAt = std::chrono::steady_clock::now();
            OnStopFtp();
        });
    };
    const auto received = [&](const char* word) {
        int seen = 0;
        for (const std::string& l : server.Received()) seen += l.rfind(word, 0) == 0;
        return seen;
    };
    // Pauses once the server has had n MDTM commands, the last one unanswered.
    const auto pauseAfter = [&](int n) { return pauseWhen([&, n] { return received("MDTM") >= n; }, 300); };
    std::thread pause = pauseAfter(3);
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0, 1, 2}); });
    auto ended = std::chrono::steady_clock::now();
    pause.join();
    EXPECT_LT(ended - stoppedAt, std::chrono::seconds(8));
    // The files went whole before the pause: they stay recorded as sent.
    for (const CFileItem& it : TransferResults()) EXPECT_EQ(it.IsFTPed, "Yes") << it.FileName;

    // The status check asks each item's second (its recorded time lies in
    // the listed minute); the third MDTM again gets no reply.
    std::vector<CFileItem> list = Items();
    for (CFileItem& it : list) {
        it.IsFTPed = "Yes";
        it.RemoteModTime = MakeLocalTime(2001, 1, 2, 0, 0, 7);
        it.RemoteSecondKnown = true;
    }
    pause = pauseAfter(6);
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { CheckRemoteStatus(data, list); });
    ended = std::chrono::steady_clock::now();
    pause.join();
    EXPECT_LT(ended - stoppedAt, std::chrono::seconds(8));

    // A server that stops reading a file's data holds no pause either; the
    // file is named as possibly cut.
    NetTimeoutValues().dataMs = 30000;
    server.storReadLimit = 3 << 20;
    WriteFile(local / "big", std::string(30 << 20, 'z'));
    AddItem(MakeItem("big", "127.0.0.1", "ann", "/r/", local.dir(), true));
    const auto itemLineShown = [&](const std::string& name) {
        return [&, name] {
            for (const std::string& l : trace.Lines())
                if (l.rfind("->", 0) == 0 && l.find(" " + name + " ") != std::string::npos) return true;
            return false;
        };
    };
    // By a second after the item's line the server reads no more.
    pause = pauseWhen(itemLineShown("big"), 1000);
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {3}); });
    ended = std::chrono::steady_clock::now();
    pause.join();
    EXPECT_LT(ended - stoppedAt, std::chrono::seconds(8));
    EXPECT_TRUE(trace.Has("-?- The upload of /r/big was stopped: the file on the host may be incomplete."))
        << trace.All();
    // The new file is marked not sent: changed here, so that it goes again.
    ASSERT_EQ(TransferResults().size(), 1u);
    EXPECT_EQ(TransferResults()[0].IsFTPed, "No");
    EXPECT_EQ(TransferResults()[0].GetLocalStatus(), "LocalModified");

    // Nor does a passive port that never takes the data connection, or a
    // server that stops reading commands. The file's STOR never went: the
    // server's copy is untouched, and the run's failure list names the file.
    const auto stoppedBeforeStor = [&](const std::string& name, const char* why) {
        EXPECT_LT(ended - stoppedAt, std::chrono::seconds(8));
        EXPECT_TRUE(trace.Has(why)) << trace.All();
        EXPECT_EQ(trace.All().find("upload of /r/" + name), std::string::npos) << trace.All();
        EXPECT_NE(trace.All().find("Failed to transfer the following:"), std::string::npos) << trace.All();
        ASSERT_EQ(TransferResults().size(), 1u);
        EXPECT_EQ(TransferResults()[0].IsFTPed, "failed");
    };
    NetTimeoutValues().connectMs = 30000;
    server.storReadLimit = std::string::npos;
    server.pasvTakesNothing = true;
    WriteFile(local / "d", "d");
    AddItem(MakeItem("d", "127.0.0.1", "ann", "/r/", local.dir()));
    const int pasvBefore = received("PASV"), storsBefore = received("STOR");
    pause = pauseWhen([&] { return received("PASV") > pasvBefore; }, 1000);
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {4}); });
    ended = std::chrono::steady_clock::now();
    pause.join();
    stoppedBeforeStor("d", "-?- Stopped while opening the data connection.");
    EXPECT_EQ(received("STOR"), storsBefore);

    // A command far longer than the sockets hold, into a server that reads
    // no more of it.
    server.pasvTakesNothing = false;
    server.holdControlAt = "STOR ";
    AddItem(MakeItem("d", "127.0.0.1", "ann", "/" + std::string(8 << 20, 'e') + "/", local.dir()));
    pause = pauseWhen(itemLineShown("d"), 1000);
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {5}); });
    ended = std::chrono::steady_clock::now();
    pause.join();
    stoppedBeforeStor("d", "-?- Stopped while sending a command to the server.");

    // Nor a login the server does not answer; the pause asks the user for
    // no other login data.
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    CloseAllConnections();
    server.holdControlAt.clear();
    server.SetDelay("PASS", 30000);
    const int passBefore = received("PASS");
    pause = pauseWhen([&] { return received("PASS") > passBefore; }, 500);
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {4}); });
    ended = std::chrono::steady_clock::now();
    pause.join();
    EXPECT_LT(ended - stoppedAt, std::chrono::seconds(8));
    EXPECT_TRUE(prompter.entries.empty());
    ASSERT_EQ(TransferResults().size(), 1u);
    EXPECT_EQ(TransferResults()[0].IsFTPed, "failed");
}

// A stop while the server withholds a reply in a run of many small files
// ends the run there, as stopped: no later file is tried on the connection
// the stop gave up, nothing is blamed on the server, and the closing list
// names the files the run never reached. A stop while the run's own look
// before the first send waits on a server that does not answer ends the
// run the same way, with no question.
TEST_F(FakeTransfer, AStopWhileAReplyIsWithheldEndsTheRunAndNamesTheFilesItNeverReached) {
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    g_bFtpUpdate = true;
    NetTimeoutValues().replyMs = 30000;
    // Each file takes a moment, so that the times of the first ones are
    // asked for together while most files are still to go.
    server.delays["STOR"] = 60;
    server.withholdEvery["MDTM"] = 3;
    constexpr int kFiles = 40;
    std::vector<int> all;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(100 + i);
        WriteFile(local / name, name);
        AddItem(MakeItem(name, "127.0.0.1", "ann", "/r/", local.dir(), true));
        all.push_back(i);
    }
    // The Message Window's lines of the run from `from` on, and how often
    // a text shows in them.
    const auto since = [&](size_t from) {
        std::string text;
        const std::vector<std::string> lines = trace.Lines();
        for (size_t k = from; k < lines.size(); ++k) text += lines[k] + "\n";
        return text;
    };
    const auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    const auto received = [&](const char* word) {
        int seen = 0;
        for (const std::string& l : server.Received()) seen += l.rfind(word, 0) == 0;
        return seen;
    };
    std::chrono::steady_clock::time_point stoppedAt{};
    int storsAtStop = 0;
    const auto pauseWhen = [&](std::function<bool()> ready) {
        return std::thread([&, ready] {
            WaitFor(ready, 10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            storsAtStop = received("STOR");
            stoppedAt = std::chrono::steady_clock::now();
            OnStopFtp();
        });
    };
    std::thread pause = pauseWhen([&] { return received("MDTM") >= 3; });
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, all); });
    auto ended = std::chrono::steady_clock::now();
    pause.join();
    EXPECT_LT(ended - stoppedAt, std::chrono::seconds(8));
    ASSERT_LT(storsAtStop, kFiles / 2) << trace.All();
    std::string log = since(0);
    EXPECT_EQ(received("STOR"), storsAtStop) << log;
    EXPECT_EQ(count(log, "closed the connection"), 0) << log;
    EXPECT_EQ(count(log, "--- FTP aborted-(2) ---"), 1) << log;
    EXPECT_EQ(count(log, "--- FTP over ---"), 0) << log;
    EXPECT_GE(count(log, "(the run ended before its turn)"), kFiles - storsAtStop - 1) << log;
    EXPECT_EQ(count(log, ". f139 (the run ended before its turn)"), 1) << log;
    const std::vector<CFileItem> results = TransferResults();
    for (int i = 0; i < storsAtStop; ++i) EXPECT_EQ(results[size_t(i)].IsFTPed, "Yes") << i;
    EXPECT_TRUE(prompter.entries.empty());

    // Sent before: the run looks at the server's copies first, and the
    // server holds that look's listing.
    server.withholdEvery.clear();
    server.delays.clear();
    server.holdControlAt = "LIST";
    for (CFileItem& it : Items()) {
        it.IsFTPed = "Yes";
        it.RemoteModTime = MakeLocalTime(2001, 1, 2, 0, 0, 7);
        it.RemoteSecondKnown = true;
    }
    const int storsBefore = received("STOR");
    const size_t mark = trace.Lines().size();
    // The listing's command is held unread once its data connection is
    // asked for.
    const int pasvBefore = received("PASV");
    pause = pauseWhen([&] { return received("PASV") > pasvBefore; });
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, all); });
    ended = std::chrono::steady_clock::now();
    pause.join();
    EXPECT_LT(ended - stoppedAt, std::chrono::seconds(8));
    EXPECT_EQ(received("STOR"), storsBefore);
    EXPECT_TRUE(prompter.entries.empty()) << prompter.entries.front().text;
    log = since(mark);
    EXPECT_EQ(count(log, "--- FTP aborted-(2) ---"), 1) << log;
    EXPECT_GE(count(log, "(the run ended before its turn)"), kFiles - 1) << log;
    EXPECT_EQ(count(log, "could not be looked at"), 0) << log;
}

// The look before a send is taken once; a file whose turn comes seconds
// later is looked at again right before it goes. Where that second look
// cannot tell (the server drops the connection at the listing, and again
// after the reconnect), the file stays as it is, not marked changed, and
// the closing list says why.
TEST_F(FakeTransfer, AFileWhoseSecondLookCannotTellStaysAndIsNotMarkedChanged) {
    server.listing =
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 a\r\n"
        "-rw-r--r--   1 ann  ann  1 Jan  2  2001 b\r\n";
    for (const char* n : {"a", "b"}) {
        WriteFile(local / n, std::string("new ") + n);
        CFileItem it = MakeItem(n, "127.0.0.1", "ann", "/r/", local.dir());
        it.IsFTPed = "Yes";
        it.RemoteModTime = MakeLocalTime(2001, 1, 2, 0, 0, 7);
        it.RemoteSecondKnown = true;
        AddItem(it);
    }
    const auto received = [&](const char* word) {
        int seen = 0;
        for (const std::string& l : server.Received()) seen += l.rfind(word, 0) == 0;
        return seen;
    };
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0, 1}); });
    EXPECT_EQ(received("STOR"), 2);
    const int listings = received("LIST");

    // The first file now takes longer than a look stays fresh; while it
    // goes, the server starts dropping the connection at every listing.
    server.SetDelay("STOR", 3500);
    std::thread dropping([&] {
        WaitFor([&] { return received("STOR") > 2; }, 10000);
        server.SetReply("LIST", "421 Service not available, closing control connection.\r\n");
    });
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0, 1}); });
    dropping.join();
    EXPECT_EQ(received("STOR"), 3) << trace.All();
    EXPECT_GT(received("LIST"), listings);
    const std::vector<CFileItem> results = TransferResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].IsRemoteModified, "No");
    EXPECT_EQ(results[1].GetRemoteTimeText(), Items()[1].GetRemoteTimeText());
    const std::string all = trace.All();
    EXPECT_NE(all.find(". b (whether it was changed on the server could not be checked: the look right before its "
                       "send failed ("),
              std::string::npos)
        << all;
    EXPECT_EQ(all.find("changed on the server during this run"), std::string::npos) << all;
}

TEST_F(FakeTransfer, ANewFileAndASendToVmsGoStraightAndVmsSaysSo) {
    server.listing = "drwxr-xr-x   2 ann  ann  4096 Jan  2  2001 .\r\n";
    for (const char* n : {"a", "b", "c"}) WriteFile(local / n, std::string(100000, *n));
    AddItem(MakeItem("a", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("b", "127.0.0.1", "ann", "/r/", local.dir()));
    // A VMS account (its host type known from an earlier login).
    AddAccount("127.0.0.1", "vms", "pw");
    data.m_Vault.m_Clusters[0].m_Hosts.back().m_strHostType = "VMS";
    AddItem(MakeItem("c", "127.0.0.1", "vms", "DKA0:[ANN]", local.dir()));
    const auto sent = [&] {
        std::vector<std::string> seen;
        for (const std::string& l : server.Received())
            for (const char* w : {"STOR ", "RNFR ", "RNTO ", "DELE "})
                if (l.rfind(w, 0) == 0) seen.push_back(l);
        return seen;
    };
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0, 1}); });
    // Files the folder's whole listing does not have are new: they have no
    // old text to keep, and go straight.
    EXPECT_EQ(sent(), (std::vector<std::string>{"STOR /r/a", "STOR /r/b"}));
    EXPECT_EQ(trace.All().find("sent straight"), std::string::npos) << trace.All();
    EXPECT_EQ(TransferResults()[0].IsFTPed, "Yes");
    EXPECT_EQ(TransferResults()[1].IsFTPed, "Yes");

    // A VMS host keeps versions of its files: the send goes straight there.
    size_t before = sent().size();
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {2}); });
    const std::vector<std::string> vms = sent();
    EXPECT_EQ(std::vector<std::string>(vms.begin() + static_cast<long>(before), vms.end()),
              std::vector<std::string>{"STOR DKA0:[ANN]c"});
    EXPECT_TRUE(trace.Has("-?- 127.0.0.1 is a VMS host: files are sent straight over the remote files, so a "
                          "stopped send leaves the remote file cut."))
        << trace.All();
}

TEST_F(FakeTransfer, AFolderThatCannotBeMadeEndsTheRun) {
    WriteFile(local / "file", "x");
    AddItem(MakeItem("x", "127.0.0.1", "ann", "/r/", local.dir() + "file/sub/"));
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToLocal(data, 0, 0, 0, {0}); });
    EXPECT_TRUE(trace.Has("--- FTP failed to create local dir ---"));
    EXPECT_TRUE(g_bFtpIdle);
}

TEST_F(FakeTransfer, AVmsAccountShowsTheFolderInLowerCaseAndTheListEmptyRunEndsQuietly) {
    server.systReply = "215 VMS V7.3\r\n";
    WriteFile(local / "A.COM", "x");
    AddItem(MakeItem("A.COM", "127.0.0.1", "ann", "DKA0:[ANN.SRC]", local.dir()));
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0}); });
    EXPECT_NE(trace.All().find("->1/1 A.COM"), std::string::npos);
    EXPECT_NE(trace.All().find("dka0:[ann.src]"), std::string::npos);
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].IsFTPed, "Yes");

    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {}); });
    EXPECT_TRUE(TransferResults().empty());
    EXPECT_EQ(trace.Count("--- FTP over ---"), 2);
}

TEST_F(FakeTransfer, AStopWhileRexecOutputIsAwaitedShowsTheAbortText) {
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([] { throw CRexecClient::UserAbort(); });
    EXPECT_EQ(InputText(),
              "User interruption. REXEC aborted.\r\nOutput from REXEC is discarded.\r\n"
              "---------------------------------");
    EXPECT_TRUE(trace.Has("--- FTP -r-aborted ---"));
    EXPECT_TRUE(g_bFtpIdle);
}

}  // namespace

TEST_F(PyTransfer, ResultsBelongToTheBasketTheItemsCameFromNotToTheCurrentOne) {
    WriteFile(local / "c.txt", "c\n");
    data.InsertBasket("Other", 0, 0, 1);
    CFileItem it = MakeItem("c.txt", "127.0.0.1", kUser, "/", local.dir());
    data.InsertFileItems(0, 0, 1, 0, it);
    data.SetCurrentBasket(0, 0, 0);
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 1, {0}); });
    FtpResultsLock lists;
    ASSERT_EQ(lists->transfer.size(), 1u);
    EXPECT_EQ(lists->transfer[0].IsFTPed, "Yes");
    EXPECT_EQ(lists->basket, 1);
}
