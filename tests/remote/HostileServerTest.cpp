// Servers that send too much, too slowly or the wrong names, and local
// targets that a download or an upload must not harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>

#include "RemoteFixture.h"
#include "platform/Prompter.h"
#include "remote/FtpClient.h"
#include "remote/FtpWorker.h"
#include "remote/RemoteStatus.h"
#include "remote/TransferEngine.h"

using namespace qvltest;
namespace fs = std::filesystem;

namespace {

// A server that answers one connection with a script of its own; the script
// gets a send function that fails once the client has gone.
class HostileServer {
public:
    using Script = std::function<void(const std::function<bool(const std::string&)>& send)>;
    explicit HostileServer(Script script) : m_script(std::move(script)) {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 1);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) return;
            int c = ::accept(m_listen, nullptr, nullptr);
            if (c < 0) return;
            timeval tv{1, 0};
            ::setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
            m_script([&](const std::string& s) {
                return !m_stop && ::send(c, s.data(), s.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(s.size());
            });
            ::close(c);
        });
    }
    ~HostileServer() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        ::close(m_listen);
    }
    int port() const { return m_port; }

private:
    Script m_script;
    int m_listen = -1, m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class Limits {
public:
    Limits() : m_t(NetTimeoutValues()), m_l(NetLimitValues()) {
        NetTimeoutValues().replyMs = 1500;
        NetTimeoutValues().dataMs = 1500;
        NetTimeoutValues().connectMs = 1000;
    }
    ~Limits() {
        NetTimeoutValues() = m_t;
        NetLimitValues() = m_l;
    }

private:
    NetTimeouts m_t;
    NetLimits m_l;
};

long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

// Connects to a hostile server and returns the failure it ends with.
std::string ConnectFails(int port, bool& lost, long long& ms) {
    CFtpClient c;
    const auto start = std::chrono::steady_clock::now();
    try {
        c.Connect("127.0.0.1", "ann", "pw", port);
    } catch (const CFtpClient::FTPException& e) {
        ms = MsSince(start);
        lost = e.ConnectionLost();
        return e.what();
    }
    ms = MsSince(start);
    return "connected";
}

class HostileFtp : public ::testing::Test {
protected:
    void SetUp() override { ResetWorkerFlags(); }
    void Connect(CFtpClient& c) { c.Connect("127.0.0.1", "ann", "secret", server.port()); }
    size_t Count(const std::string& word) {
        size_t n = 0;
        for (const std::string& l : server.Received()) n += l.rfind(word, 0) == 0;
        return n;
    }
    Limits limits;
    FakeFtpServer server;
};

}  // namespace

// ---------------------------------------------------------------- replies

TEST(HostileReplies, AnEndlessLineOrAnEndlessReplyEndsTheCommandQuickly) {
    Limits limits;
    bool lost = false;
    long long ms = 0;
    {
        HostileServer s([](auto send) {
            if (!send("220 ")) return;
            const std::string block(8192, 'x');
            while (send(block)) {
            }
        });
        EXPECT_EQ(ConnectFails(s.port(), lost, ms), "The server's reply line is too long.");
        EXPECT_TRUE(lost);
        EXPECT_LT(ms, 1500);
    }
    {
        HostileServer s([](auto send) {
            if (!send("220-welcome\r\n")) return;
            while (send("220-and more\r\n")) {
            }
        });
        EXPECT_EQ(ConnectFails(s.port(), lost, ms), "The server's reply is too long.");
        EXPECT_TRUE(lost);
        EXPECT_LT(ms, 1500);
    }
}

TEST(HostileReplies, AReplyThatDripsForeverMeetsOneDeadlineNotATimerPerByte) {
    Limits limits;
    NetTimeoutValues().replyMs = 1000;
    bool lost = false;
    long long ms = 0;
    HostileServer s([](auto send) {
        // A byte every 50 ms: a per-byte timer would never fire.
        if (!send("220-")) return;
        for (int i = 0; i < 200 && send(i % 40 == 39 ? "\r\n220-" : "x"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    EXPECT_EQ(ConnectFails(s.port(), lost, ms), "Unable to receive server's response");
    EXPECT_TRUE(lost);
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 2500);
}

TEST_F(HostileFtp, AListingPastItsCapDropsTheConnectionAndTheNextOneWorks) {
    NetLimitValues().maxListingBytes = 100000;
    std::string listing;
    while (listing.size() < 300000) listing += "-rw-r--r-- 1 u g 5 Jan 01 12:00 file.txt\r\n";
    server.listing = listing;
    server.Start();
    CFtpClient c;
    Connect(c);
    try {
        c.ListToText("/");
        FAIL() << "the listing was taken whole";
    } catch (const CFtpClient::FTPException& e) {
        EXPECT_TRUE(e.ConnectionLost());
        EXPECT_NE(std::string(e.what()).find("listing is longer than 100000 bytes"), std::string::npos);
    }
    // A listing under the cap on a new connection.
    server.listing = listing.substr(0, 4300);
    CFtpClient again;
    Connect(again);
    EXPECT_EQ(again.ListToText("/"), server.listing);
}

// The times of a group of files (MDTM commands sent at once): a reply the
// server doubles shifts every later one onto the next file; the group is
// read again, and each file gets its own time. A time owed after a
// transfer is asked at once and counts once the next command's reply
// follows it in its place: a doubled reply there proves nothing, and none
// is taken. A stop while the server withholds a reply keeps the replies
// that came before it.
TEST_F(HostileFtp, MdtmRepliesOutOfStepAreReadAgainAndAStopKeepsTheRepliesThatCame) {
    std::vector<std::string> paths;
    for (int k = 1; k <= 40; ++k) {
        paths.push_back("/r/f" + std::to_string(k));
        server.mdtm[paths.back()] = "202401020304" + std::to_string(10 + k);
    }
    server.Start();
    CFtpClient c;
    Connect(c);
    const auto ownTimes = [&](const std::vector<std::pair<int, std::string>>& replies, size_t count) {
        ASSERT_EQ(replies.size(), count);
        for (size_t k = 0; k < count; ++k) {
            EXPECT_EQ(replies[k].first, 213) << paths[k];
            EXPECT_EQ(replies[k].second, server.mdtm[paths[k]]) << paths[k];
        }
    };
    const auto asked = [&](const std::string& path) {
        const std::vector<std::string> received = server.Received();
        return std::count(received.begin(), received.end(), "MDTM " + path);
    };
    server.SendFirstOnce("MDTM", "213 20240102030400\r\n");
    ownTimes(c.SendModificationTimes(paths), paths.size());
    EXPECT_EQ(asked("/r/f1"), 2);  // the first group, asked again
    EXPECT_EQ(asked("/r/f40"), 1);
    // In step again: the next group needs no second round.
    ownTimes(c.SendModificationTimes({paths[0], paths[1]}), 2);
    EXPECT_EQ(asked("/r/f1"), 3);

    server.listing = "-rw-r--r-- 1 u g 5 Jan 01 12:00 f1\r\n";
    c.AskTimeWithNextCommand(paths[0]);
    // Its reply is in before the second goes: it is still the first's.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    c.AskTimeWithNextCommand(paths[1]);
    EXPECT_EQ(c.ListToText("/r/"), server.listing);
    auto owed = c.TakeAskedTimes(false);
    ASSERT_EQ(owed.size(), 2u);
    EXPECT_EQ(owed[1].path, paths[1]);
    EXPECT_EQ(owed[1].reply, server.mdtm[paths[1]]);
    server.SendFirstOnce("MDTM", "213 20240102030400\r\n");
    c.AskTimeWithNextCommand(paths[2]);
    EXPECT_THROW(c.ListToText("/r/"), CFtpClient::FTPException);
    EXPECT_TRUE(c.TakeAskedTimes(false).empty());

    NetTimeoutValues().stopMs = 500;
    NetTimeoutValues().replyMs = 20000;
    server.holdControlAt = "MDTM /r/f4";
    CFtpClient held;
    Connect(held);
    std::thread pause([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        g_bFtpBreak = true;
    });
    std::vector<std::pair<int, std::string>> replies;
    EXPECT_NO_THROW(replies = held.SendModificationTimes(paths));
    pause.join();
    g_bFtpBreak = false;
    ownTimes(replies, 3);
}

TEST_F(HostileFtp, ATricklingListingEndsAtItsDeadlineAndAtOnceOnABreak) {
    NetTimeoutValues().listingMs = 1500;
    for (int i = 0; i < 60; ++i) server.listing += "-rw-r--r-- 1 u g 5 Jan 01 12:00 f" + std::to_string(i) + "\r\n";
    server.listingLineMs = 100;  // every line well within the idle limit
    server.Start();
    auto listFails = [&](long long& ms) {
        CFtpClient c;
        Connect(c);
        const auto start = std::chrono::steady_clock::now();
        try {
            c.ListToText("/");
        } catch (const CFtpClient::FTPException& e) {
            ms = MsSince(start);
            EXPECT_TRUE(e.ConnectionLost());
            return std::string(e.what());
        }
        ms = MsSince(start);
        return std::string("listed");
    };
    long long ms = 0;
    EXPECT_EQ(listFails(ms), "The listing took longer than 1 seconds.");
    EXPECT_GE(ms, 1400);
    EXPECT_LT(ms, 3000);
    // The program's Stop ends a listing in progress without waiting for it.
    NetTimeoutValues().listingMs = 60000;
    std::thread stop([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        g_bFtpBreak = true;
    });
    EXPECT_EQ(listFails(ms), "The listing was stopped.");
    stop.join();
    g_bFtpBreak = false;
    EXPECT_LT(ms, 1500);
}

TEST(HostileListings, NamesWithControlCharactersAreRefusedLikeNamesWithASlash) {
    const std::string text =
        "total 4\r\n"
        "-rw-r--r-- 1 u g 5 Jan 01 12:00 good.txt\r\n"
        "-rw-r--r-- 1 u g 5 Jan 01 12:00 bad\x01name\r\n"
        "-rw-r--r-- 1 u g 5 Jan 01 12:00 tab\tname\r\n"
        "-rw-r--r-- 1 u g 5 Jan 01 12:00 del\x7fname\r\n"
        "-rw-r--r-- 1 u g 5 Jan 01 12:00 cr\rname\r\n"
        "drwxr-xr-x 2 u g 5 Jan 01 12:00 esc\x1b[2Jdir\r\n"
        "-rw-r--r-- 1 u g 5 Jan 01 12:00 a/b\r\n";
    std::vector<CDirEntry> e;
    CFtpClient::ParseUnixListingText(text, "*", e);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].strName, "good.txt");
    std::vector<CDirEntry> v;
    CFtpClient::ParseVmsListingText("Directory DKA0:[ANN]\r\n\r\nGOOD.COM;1 2/3\r\nBAD\x02.COM;1 2/3\r\n",
                                    "*", v);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].strName, "GOOD.COM");
}

// ---------------------------------------------------------------- local targets

TEST_F(HostileFtp, ALocalFileThatCannotBeMadeSendsNoRetrAndKeepsTheConnectionInStep) {
    server.retrData = "remote text\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    TempDir t;
    fs::create_directories(t / "folder");
    ASSERT_EQ(::mkfifo((t / "pipe").c_str(), 0644), 0);
    for (const std::string& target : {t / "folder", t / "missing/dir/f.txt", t / "pipe"}) {
        try {
            c.RetrieveFile("f.txt", target);
            FAIL() << target;
        } catch (const CFtpClient::FTPException& e) {
            EXPECT_FALSE(e.ConnectionLost());
            EXPECT_EQ(std::string(e.what()).rfind("Unable to open local file for writing.", 0), 0u)
                << e.what();
        }
        EXPECT_EQ(c.GetSystemType(), "UNIX");  // in step
    }
    EXPECT_EQ(Count("RETR"), 0u);
    EXPECT_TRUE(fs::is_directory(t / "folder"));
    struct stat st {};
    ::lstat((t / "pipe").c_str(), &st);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // The same connection fetches the next file.
    c.RetrieveFile("f.txt", t / "ok.txt");
    EXPECT_EQ(ReadFile(t / "ok.txt"), "remote text\n");
}

TEST_F(HostileFtp, ADownloadKeepsModeAndLinksAndNeverReplacesADevice) {
    server.retrData = "new\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    TempDir t;
    const std::string priv = t / "priv.txt";
    WriteFile(priv, "old");
    ::chmod(priv.c_str(), 0600);
    ::symlink(priv.c_str(), (t / "link").c_str());
    c.RetrieveFile("f", t / "link");
    EXPECT_TRUE(fs::is_symlink(t / "link"));
    EXPECT_EQ(ReadFile(priv), "new\n");
    struct stat st {};
    ::lstat(priv.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A read-only file is not rewritten.
    ::chmod(priv.c_str(), 0400);
    EXPECT_THROW(c.RetrieveFile("f", priv), CFtpClient::FTPException);
    ::chmod(priv.c_str(), 0600);
    EXPECT_EQ(ReadFile(priv), "new\n");
    // A link planted at the old temporary name leads nowhere now.
    WriteFile(t / "victim", "victim");
    ::symlink((t / "victim").c_str(), (t / "dl.txt.qvl-part").c_str());
    c.RetrieveFile("f", t / "dl.txt");
    EXPECT_EQ(ReadFile(t / "victim"), "victim");
    EXPECT_EQ(ReadFile(t / "dl.txt"), "new\n");

    if (::geteuid() != 0) GTEST_SKIP() << "device nodes need root";
    const std::string null = t / "null";
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_THROW(c.RetrieveFile("f", null), CFtpClient::FTPException);
    ::lstat(null.c_str(), &st);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, makedev(1, 3));
}

TEST_F(HostileFtp, PutOfAFolderOrAPipeIsRefusedBeforeStor) {
    server.Start();
    CFtpClient c;
    Connect(c);
    TempDir t;
    ASSERT_EQ(::mkfifo((t / "pipe").c_str(), 0644), 0);
    // No writer ever opens the pipe: the refusal must not wait for one.
    for (const std::string& local : {t.path(), t / "pipe"}) {
        try {
            c.PutFile(local, "/remote.txt");
            FAIL() << local;
        } catch (const CFtpClient::FTPException& e) {
            EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(Count("STOR"), 0u);
    EXPECT_TRUE(server.StoredNames().empty());
    EXPECT_EQ(c.GetSystemType(), "UNIX");
}

// ---------------------------------------------------------------- the engine

namespace {
class HostileTransfer : public FakeServerTransferTest {
protected:
    HostileTransfer() { server.retrData = "fetched\n"; }
};
}  // namespace

TEST_F(HostileTransfer, ABasketWhoseFirstItemCannotBeWrittenStillFetchesTheRest) {
    fs::create_directories(local / "first.txt");  // a folder where the file would go
    AddItem(MakeItem("first.txt", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("second.txt", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("third.txt", "127.0.0.1", "ann", "/r/", local.dir()));
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToLocal(data, 0, 0, 0, {0, 1, 2}); });
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].IsFTPed, "failed");
    EXPECT_EQ(results[1].IsFTPed, "Yes");
    EXPECT_EQ(results[2].IsFTPed, "Yes");
    EXPECT_EQ(ReadFile(local / "second.txt"), "fetched\n");
    EXPECT_EQ(ReadFile(local / "third.txt"), "fetched\n");
    EXPECT_TRUE(fs::is_directory(local / "first.txt"));
    EXPECT_EQ(server.Connections(), 1);  // no reconnect was needed
}

// A fetch's TYPE goes in the same write as its PASV. A reply out of the
// type's place (a 227) is the type's, never taken for the PASV's: the
// connection is dropped and the file fetched whole on a new one. A
// refused TYPE ends the run as unsuccessful, nothing fetched, and the
// PASV's reply is read so the connection stays in step.
TEST_F(HostileTransfer, AFetchsTypeRidesOnItsPasvAndItsReplyIsNeverThePasvs) {
    AddItem(MakeItem("a.bin", "127.0.0.1", "ann", "/r/", local.dir(), true));
    AddItem(MakeItem("b.bin", "127.0.0.1", "ann", "/r/", local.dir(), true));
    server.SendFirstOnce("TYPE", "227 Entering Passive Mode (127,0,0,1,1,1)\r\n");
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToLocal(data, 0, 0, 0, {0}); });
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].IsFTPed, "Yes") << trace.All();
    EXPECT_EQ(ReadFile(local / "a.bin"), "fetched\n");
    EXPECT_TRUE(trace.Has("-?- The server's reply does not answer TYPE: 227 Entering Passive Mode "
                          "(127,0,0,1,1,1) Reconnecting to 127.0.0.1...")) << trace.All();
    EXPECT_EQ(server.Connections(), 2);
    // The new connection is set to the type again.
    const auto types = [&] {
        const std::vector<std::string> got = server.Received();
        return std::count_if(got.begin(), got.end(), [](const std::string& l) { return l == "TYPE I"; });
    };
    EXPECT_EQ(types(), 2);

    // On a new login (the type the last one took holds only on its own
    // connection).
    CloseAllConnections();
    server.SetReply("TYPE", "504 Type not implemented for that parameter\r\n");
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToLocal(data, 0, 0, 0, {1}); });
    results = TransferResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].IsFTPed, "failed") << trace.All();
    EXPECT_FALSE(fs::exists(local / "b.bin"));
    EXPECT_TRUE(trace.Has("-?- Unable to switch to BINARY: Type not implemented for that parameter"))
        << trace.All();
    EXPECT_TRUE(trace.Has("--- FTP unsuccessful ---")) << trace.All();
    const std::vector<std::string> got = server.Received();
    EXPECT_EQ(std::count_if(got.begin(), got.end(), [](const std::string& l) { return l.rfind("RETR", 0) == 0; }), 1)
        << trace.All();
    EXPECT_EQ(server.Connections(), 3);
}

// A reply no command asked for (pyftpdlib's 421 about the passive port of
// the login, which it sends while the connection idles and then goes on)
// is set aside: every file goes and is reported as it went. Another
// command's reply read where a STOR's own was awaited is never taken for
// its answer: the file is sent again on a new connection, whole.
TEST_F(HostileTransfer, AnUnaskedReplyIsSetAsideAndAnotherCommandsReplyIsNeverTakenForAnAnswer) {
    server.replies["SYST"] = "215 UNIX Type: L8\r\n421 Passive data channel timed out.\r\n";
    WriteFile(local / "a.txt", "a text");
    WriteFile(local / "b.bin", std::string("b\0bin", 5));
    AddItem(MakeItem("a.txt", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("b.bin", "127.0.0.1", "ann", "/r/", local.dir(), true));
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0, 1}); });
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].IsFTPed, "Yes") << trace.All();
    EXPECT_EQ(results[1].IsFTPed, "Yes") << trace.All();
    EXPECT_EQ(server.StoredNames(), (std::vector<std::string>{"/r/a.txt", "/r/b.bin"}));
    EXPECT_EQ(server.Stored(), std::string("b\0bin", 5));
    EXPECT_TRUE(trace.Has("-?- 127.0.0.1 sent a reply no command asked for; it is set aside: "
                          "421 Passive data channel timed out."))
        << trace.All();
    EXPECT_EQ(trace.All().find("Failed to transfer"), std::string::npos) << trace.All();
    EXPECT_EQ(server.Connections(), 1);

    server.SendFirstOnce("STOR", "226 Transfer complete\r\n");
    WriteFile(local / "a.txt", "a newer text");
    ASSERT_TRUE(ClaimFtpSlot(""));
    RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, {0}); });
    results = TransferResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].IsFTPed, "Yes") << trace.All();
    EXPECT_EQ(server.Stored(), "a newer text") << trace.All();
    EXPECT_TRUE(trace.Has("-?- The server's reply does not answer STOR: 226 Transfer complete Reconnecting to "
                          "127.0.0.1..."))
        << trace.All();
    EXPECT_EQ(server.Connections(), 2);
}

// Local files no transfer is on record for, whose compare with the
// server's copy fails: the server refuses the RETR once (425), or drops the
// connection at it (and again after the reconnect). Neither is taken for
// "the same": both are asked about with why (No by default) and kept; the
// closing list names them with why. Asked again, Yes fetches them.
TEST_F(HostileTransfer, ALocalFileThatCouldNotBeComparedIsKeptUnlessTheUserSaysSo) {
    WriteFile(local / "refused.txt", "my own work\n");
    WriteFile(local / "dropped.txt", "more of my own work\n");
    AddItem(MakeItem("refused.txt", "127.0.0.1", "ann", "/r/", local.dir()));
    AddItem(MakeItem("dropped.txt", "127.0.0.1", "ann", "/r/", local.dir()));
    server.SetRetrReplies({"425 Can't open data connection.\r\n", "", ""});
    RecordingPrompter prompter;  // answers No
    ScopedPrompter asking(prompter);
    RunTransfer(false, {0, 1});
    ASSERT_EQ(prompter.Questions().size(), 1u) << trace.All();
    const std::string question = prompter.Questions()[0];
    EXPECT_NE(question.find("could not be compared with the server's copies"), std::string::npos) << question;
    EXPECT_NE(question.find("   " + local.dir() + "refused.txt  (127.0.0.1:/r/refused.txt): Can't open data "
                            "connection.\r\n"),
              std::string::npos)
        << question;
    EXPECT_NE(question.find("   " + local.dir() + "dropped.txt  (127.0.0.1:/r/dropped.txt): "), std::string::npos)
        << question;
    EXPECT_EQ(ReadFile(local / "refused.txt"), "my own work\n");
    EXPECT_EQ(ReadFile(local / "dropped.txt"), "more of my own work\n");
    EXPECT_TRUE(trace.Has("   1. refused.txt (the local file could not be compared with the server's: Can't "
                          "open data connection.; no transfer of it is on record; not fetched)"))
        << trace.All();
    EXPECT_EQ(TransferResults()[0].IsFTPed, "No");
    EXPECT_EQ(TransferResults()[1].IsFTPed, "No");

    server.SetRetrReplies({"425 Can't open data connection.\r\n"});
    prompter.entries.clear();
    prompter.answers = {Answer::Yes};
    ClearFtpResultLists();
    RunTransfer(false, {0});
    EXPECT_EQ(prompter.Questions().size(), 1u) << trace.All();
    EXPECT_EQ(ReadFile(local / "refused.txt"), "fetched\n");
    EXPECT_EQ(TransferResults()[0].IsFTPed, "Yes");
}

// A server that lists in another form than "ls -l" (a Windows server's DOS
// form, a bare ISO date) shows the minute only: a change within the minute
// of the last transfer is told by MDTM there as well, also after a restart
// (when the record keeps no size), before a send overwrites it and in the
// status check. The same second is no change; a second the server does not
// tell, or a look that fails, keeps the server's copy (and the status not
// sure) and says why; commands that tell nothing prove no file missing. A
// sent file the line after the send shows cut is not marked as sent.
TEST_F(HostileTransfer, EveryListingFormGetsTheChecksOfLsAndALookThatFailsKeepsTheFile) {
    server.systReply = "215 Windows_NT\r\n";
    server.replies["SIZE"] = "213 7\r\n";
    const std::time_t sent = MakeLocalTime(2026, 12, 8, 23, 42, 10);
    WriteFile(local / "d1.txt", "mine 2\n");
    AddItem(MakeItem("d1.txt", "127.0.0.1", "ann", "/r/", local.dir()));
    RecordingPrompter prompter;  // answers No
    ScopedPrompter asking(prompter);
    const struct {
        const char* mdtm;
        const char* status;  // the word of the status check's line
    } answers[] = {{"213 20261208234240\r\n", "-dirty-"},
                   {"213 20261208234210\r\n", " Ok"},
                   {"502 Command not implemented.\r\n", "-not sure-"},
                   {"550 Could not get file modification time.\r\n", "-not sure-"}};
    const std::string unknown = "-?- 127.0.0.1 does not tell the second of /r/d1.txt (MDTM)";
    for (const std::string& form : {std::string("12-08-26  11:42PM                    7 "),
                                    std::string("12-08-2026  11:42PM                  7 "),
                                    std::string("2026-12-08T23:42 "),
                                    std::string("-rw-r--r-- 1 ann ann 7 2026-12-08 23:42 ")}) {
        server.listing = form + "d1.txt\r\n";
        for (const bool restarted : {false, true}) {
            for (const auto& [mdtm, status] : answers) {
                const bool same = std::string(status) == " Ok", changed = std::string(status) == "-dirty-";
                const std::string what = form + (restarted ? " after a restart, " : ", ") + mdtm;
                server.SetReply("MDTM", mdtm);
                // As the last send left it, or as the stored file gives it back.
                CFileItem& item = Items()[0];
                item.IsFTPed = "Yes";
                item.IsRemoteModified = "No";
                item.RemoteModTime = sent;
                item.RemoteSecondKnown = !restarted;
                item.RemoteSize = restarted ? -1 : 7;
                item.RemoteTimeUnit = restarted ? 0 : 1;
                const CFileItem recorded = item;
                prompter.entries.clear();
                const size_t stored = server.StoredNames().size();
                const auto said = [&] {
                    size_t n = 0;
                    for (const std::string& l : trace.Lines()) n += l.rfind(unknown, 0) == 0;
                    return n;
                };
                const size_t saidBefore = said();
                RunTransfer(true, {0});
                ASSERT_EQ(prompter.Questions().size(), same ? 0u : 1u) << what << trace.All();
                // Changed on the server only where the change was seen.
                const std::string named = "   " + local.dir() + "d1.txt  (127.0.0.1:/r/d1.txt)";
                const std::string noSecond =
                    "the server does not tell the second within the minute of its last transfer (MDTM)";
                if (changed) {
                    EXPECT_NE(prompter.Questions()[0].find("changed here and on the server since their last "
                                                           "transfer:\r\n" + named + "\r\n"),
                              std::string::npos)
                        << what << prompter.Questions()[0];
                    EXPECT_TRUE(trace.Has("   1. d1.txt (changed on the server too since the last transfer; not "
                                          "sent)"))
                        << what << trace.All();
                } else if (!same) {
                    EXPECT_EQ(prompter.Questions()[0],
                              "Whether these files were changed on the server since their last transfer could not "
                              "be checked:\r\n" + named + ": " + noSecond +
                                  "\r\n\r\nSend them anyway? Any change made on the server is lost.\r\n"
                                  "No leaves these files as they are and sends the rest.")
                        << what;
                    EXPECT_TRUE(trace.Has("   1. d1.txt (whether it was changed on the server could not be checked: " +
                                          noSecond + "; not sent)"))
                        << what << trace.All();
                    EXPECT_EQ(TransferResults()[0].IsRemoteModified, "No") << what;
                }
                EXPECT_EQ(server.StoredNames().size(), stored + (same ? 1 : 0)) << what;
                EXPECT_EQ(said(), saidBefore + (same || changed ? 0 : 1)) << what << trace.All();

                Items()[0] = recorded;
                const std::string line = PadRight("1/1: Checking: d1.txt", 24) + status;
                const int before = trace.Count(line);
                ASSERT_TRUE(StartRemoteStatusCheck(data, 0, 0, 0));
                ASSERT_TRUE(JoinFtpWorker(20000));
                ASSERT_TRUE(ApplyFtpResults(data));
                EXPECT_EQ(Items()[0].IsRemoteModified, changed ? "Yes" : "No") << what << trace.All();
                EXPECT_EQ(trace.Count(line), before + 1) << what << trace.All();
                EXPECT_EQ(said(), saidBefore + (same || changed ? 0 : 2)) << what << trace.All();
            }
        }
    }

    // A file the listing does not show, and of which MDTM and SIZE tell
    // nothing, is not called missing.
    server.listing = "12-08-26  11:40PM                    3 other.txt\r\n";
    server.SetReply("MDTM", "502 Command not implemented.\r\n");
    server.SetReply("SIZE", "502 Command not implemented.\r\n");
    Items()[0].IsFTPed = "Yes";
    Items()[0].RemoteModTime = sent;
    ASSERT_TRUE(StartRemoteStatusCheck(data, 0, 0, 0));
    ASSERT_TRUE(JoinFtpWorker(20000));
    ASSERT_TRUE(ApplyFtpResults(data));
    EXPECT_EQ(Items()[0].IsRemoteMissing, "No") << trace.All();
    EXPECT_FALSE(trace.Has(PadRight("1/1: Checking: d1.txt", 24) + "-missing-")) << trace.All();

    // After a send the DOS-form line shows fewer bytes than went: the file
    // is named and not marked as sent.
    server.listing = "12-08-26  11:44PM                    4 d2.bin\r\n";
    WriteFile(local / "d2.bin", std::string("\x01\x02\x00\x03\x04\x05\x06\x07\x08", 9));
    AddItem(MakeItem("d2.bin", "127.0.0.1", "ann", "/r/", local.dir(), true));
    g_bFtpUpdate = true;
    RunTransfer(true, {1});
    g_bFtpUpdate = false;
    ASSERT_EQ(TransferResults().size(), 1u);
    EXPECT_EQ(TransferResults()[0].IsFTPed, "failed") << trace.All();
    EXPECT_TRUE(trace.Has("-?- After the send the server lists /r/d2.bin with 4 bytes (9 sent): it is not marked as "
                          "sent."))
        << trace.All();

    // A look at the folder that loses its connection, and again on a new
    // one, tells nothing: the server's copy stays, and the Message Window
    // says why.
    FakeFtpServer dropping;
    dropping.listing = server.listing;
    dropping.replies["MDTM"] = "213 20261208234210\r\n";
    dropping.holdControlAt = "LIST /r/";
    dropping.Start();
    CloseAllConnections();
    NetTimeoutValues().replyMs = 1000;
    CFileItem& item = Items()[0];
    item.IsFTPed = "Yes";
    item.IsRemoteModified = "No";
    item.RemoteModTime = sent;
    prompter.entries.clear();
    {
        ScopedEnv to("QVL_FTP_PORT", std::to_string(dropping.port()).c_str());
        RunTransfer(true, {0});
        CloseAllConnections();
    }
    ASSERT_EQ(prompter.Questions().size(), 1u) << trace.All();
    EXPECT_NE(prompter.Questions()[0].find("could not be checked:\r\n   " + local.dir() +
                                           "d1.txt  (127.0.0.1:/r/d1.txt): the look at the server failed"),
              std::string::npos)
        << prompter.Questions()[0];
    EXPECT_EQ(prompter.Questions()[0].find("These files were changed"), std::string::npos) << prompter.Questions()[0];
    EXPECT_TRUE(dropping.StoredNames().empty()) << trace.All();
    EXPECT_TRUE(trace.Has("-?- The remote files in /r/ on 127.0.0.1 could not be looked at (Unable to receive "
                          "server's response): whether they were changed on the server cannot be told."))
        << trace.All();
}

TEST(RemoteStatusMatch, ALongerNameThatEndsWithTheItemsNameIsAnotherFile) {
    CFileItem item = MakeItem("a.c", "h", "u", "/src/", "/tmp/");
    const std::string other = "-rw-r--r-- 1 u g 9 Mar 03 2020 my a.c\r\n";
    const std::string mine = "-rw-r--r-- 1 u g 9 Jul 14 2008 a.c\r\n";
    EXPECT_EQ(ItemListingLines(item, other), "");
    std::string status;
    item.UpdateRemoteStatus(ItemListingLines(item, other), status);
    EXPECT_EQ(item.GetRemoteTimeText(), kRemoteMissingTime);
    // With the item's own line present, that line gives the time.
    EXPECT_EQ(ItemListingLines(item, other + mine), mine);
    item.UpdateRemoteStatus(ItemListingLines(item, other + mine), status);
    EXPECT_EQ(item.GetRemoteTimeText().rfind("2008+7+14+", 0), 0u) << item.GetRemoteTimeText();
    // The full path, as some servers list a single file, and a link's name.
    EXPECT_EQ(ItemListingLines(item, "-rw-r--r-- 1 u g 9 Jul 14 2008 /src/a.c\r\n"),
              "-rw-r--r-- 1 u g 9 Jul 14 2008 /src/a.c\r\n");
    EXPECT_EQ(ItemListingLines(item, "lrwxrwxrwx 1 u g 9 Jul 14 2008 b.c -> a.c\r\n"), "");
    // ISO and DOS-style dates: the whole name after the date counts too.
    for (const std::string& form : {std::string("-rw-r--r-- 1 u g 9 2020-01-01 12:00 "),
                                    std::string("-rw-r--r-- 1 u g 9 2020-01-01T12:00 "),
                                    std::string("2020-01-01T12:00 "),
                                    std::string("01-01-20  12:00PM                    9 ")}) {
        EXPECT_EQ(ItemListingLines(item, form + "my a.c\r\n"), "") << form;
        EXPECT_EQ(ItemListingLines(item, form + "my a.c\r\n" + form + "a.c\r\n"), form + "a.c\r\n") << form;
    }
    EXPECT_EQ(CFtpClient::UnixListingName("01-01-2020  09:15AM       <DIR>          my dir"), "my dir");
}

// Listings in the forms ls gives under other languages and time styles, and
// those of Windows servers: the status check finds the item's line by its
// whole name and records the time the line shows.
TEST(RemoteStatusMatch, EveryListingDateFormGivesTheWholeNameAndItsTime) {
    const std::string thisYear = std::to_string(1900 + [] {
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        return tm.tm_year;
    }());
    const std::pair<const char*, std::string> forms[] = {
        {"-rw-r--r-- 1 u g 123  5. Jan 2020  ", "2020+1+5+0+0+0+"},
        {"-rw-r--r-- 1 u g 123  5. Jan. 2020  ", "2020+1+5+0+0+0+"},
        {"-rw-r--r-- 1 u g 123  5. M\xC3\xA4r 2020  ", "2020+3+5+0+0+0+"},
        {"-rw-r--r-- 1 u g 123  1. Jan 00:01 ", thisYear + "+1+1+0+1+0+"},
        {"-rw-r--r-- 1 u g 123  5 d\xC3\xA9" "c.   2020 ", "2020+12+5+0+0+0+"},
        {"-rw-r--r-- 1 u g 123 10\xE6\x9C\x88  5  2020 ", "2020+10+5+0+0+0+"},
        {"-rw-r--r-- 1 u g 123 2020-01-05 12:00:07.123456789 +0100 ", "2020+1+5+12+0+7+"},
        {"-rw-r--r-- 1 u g 123 2020-01-05 12:00 ", "2020+1+5+12+0+0+"},
        {"01-05-20  12:00PM                 1234 ", "2020+1+5+12+0+0+"},
        {"01-05-20  12:30AM                 1234 ", "2020+1+5+0+30+0+"},
    };
    for (const auto& [form, time] : forms) {
        CFileItem item = MakeItem("my file.txt", "h", "u", "/src/", "/tmp/");
        const std::string line = std::string(form) + "my file.txt\r\n";
        EXPECT_EQ(ItemListingLines(item, line), line) << form;
        std::string status;
        item.UpdateRemoteStatus(ItemListingLines(item, line), status);
        EXPECT_EQ(item.GetRemoteTimeText(), time) << form;
    }
}
