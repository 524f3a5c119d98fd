#include <gtest/gtest.h>

#include <filesystem>

#include "model/Globals.h"
#include "remote/FtpClient.h"
#include "remote/Socket.h"
#include "support/TempDir.h"
#include "TestServers.h"

using namespace qvltest;

namespace {

// Short time limits for the fault cases; restored afterwards.
class ShortTimeouts {
public:
    ShortTimeouts() : m_saved(NetTimeoutValues()) {
        NetTimeoutValues().replyMs = 500;
        NetTimeoutValues().dataMs = 500;
        NetTimeoutValues().connectMs = 1000;
    }
    ~ShortTimeouts() { NetTimeoutValues() = m_saved; }
private:
    NetTimeouts m_saved;
};

class FakeFtp : public ::testing::Test {
protected:
    void SetUp() override { ResetWorkerFlags(); }
    void Connect(CFtpClient& c) { c.Connect("127.0.0.1", "ann", "secret", server.port()); }
    FakeFtpServer server;
    ShortTimeouts timeouts;
};

TEST_F(FakeFtp, LoginSendsUserAndPassAndAPassiveModeAndReadsTheSystemType) {
    server.systReply = "215 VMS system type.\r\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    EXPECT_TRUE(c.IsConnected());
    EXPECT_EQ(c.Host(), "127.0.0.1");
    EXPECT_EQ(c.GetSystemType(), "VMS");
    c.Disconnect();
    server.Stop();
    auto r = server.Received();
    ASSERT_GE(r.size(), 5u);
    EXPECT_EQ(r[0], "USER ann");
    EXPECT_EQ(r[1], "PASS secret");
    EXPECT_EQ(r[2], "PASV");
    EXPECT_EQ(r[3], "SYST");
    EXPECT_EQ(r[4], "QUIT");
}

TEST_F(FakeFtp, GreetingOtherThan220AndRefusedLoginsThrowTheReplyText) {
    server.greeting = "421 Too many users\r\n";
    server.Start();
    CFtpClient c;
    try {
        Connect(c);
        FAIL();
    } catch (const CFtpClient::FTPException& e) {
        EXPECT_STREQ(e.what(), "Too many users");
    }
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(c.Host(), "");
}

TEST_F(FakeFtp, UserAnswered230NeedsNoPassAndUserAnswered530SendsNoPass) {
    server.replies["USER"] = "230 Welcome in\r\n";
    server.Start();
    {
        CFtpClient c;
        Connect(c);
        c.Disconnect();
    }
    server.Stop();
    auto r = server.Received();
    EXPECT_EQ(r[1], "PASV");

    FakeFtpServer s2;
    s2.replies["USER"] = "530 Not allowed\r\n";
    s2.Start();
    CFtpClient c2;
    EXPECT_THROW(c2.Connect("127.0.0.1", "ann", "pw", s2.port()), CFtpClient::FTPException);
    s2.Stop();
    for (const std::string& line : s2.Received()) EXPECT_NE(line.rfind("PASS", 0), 0u);
}

TEST_F(FakeFtp, MultiLineRepliesRunToTheClosingLineWhateverLiesBetween) {
    server.greeting = "220-Welcome\r\n\r\n   indented\r\n230 not the end\r\n220 Ready.\r\n";
    server.replies["SYST"] = "215-first\r\n215-second\r\n215 UNIX Type: L8\r\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    std::string reply;
    EXPECT_EQ(c.SendCommandWithReply("SYST", reply), 215);
    EXPECT_EQ(reply, "first 215-second 215 UNIX Type: L8");
}

TEST_F(FakeFtp, ShortReplyLineAndALineWithALoneCr) {
    server.replies["NOOP"] = "22\r\n";
    server.replies["STAT"] = "211 abc\rdef\r\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    std::string reply;
    EXPECT_EQ(c.SendCommandWithReply("STAT", reply), 211);
    EXPECT_EQ(reply, "abc\rdef");
    EXPECT_THROW(c.SendCommandWithReply("NOOP", reply), CFtpClient::FTPException);
}

TEST_F(FakeFtp, ArgumentsWithLineBreaksOrNulAreRefusedBeforeSending) {
    server.Start();
    CFtpClient c;
    Connect(c);
    EXPECT_THROW(c.ChangeDirectory("a\r\nDELE x"), CFtpClient::FTPException);
    EXPECT_THROW(c.MakeDirectory(std::string("a\0b", 3)), CFtpClient::FTPException);
    EXPECT_THROW(c.RetrieveFile("x\ny", "/tmp/never"), CFtpClient::FTPException);
    std::string reply;
    c.SendCommand("CWD", "", reply);  // an empty argument still sends the blank
    server.Stop();
    auto r = server.Received();
    for (const std::string& line : r) EXPECT_EQ(line.find("DELE"), std::string::npos);
    EXPECT_EQ(r.back(), "CWD ");
}

TEST_F(FakeFtp, EveryTransferAsksForItsOwnPassivePortAndConnectsToTheControlPeer) {
    // The address in the reply is not ours: data must still go to 127.0.0.1.
    server.pasvAddress = "10,254,254,1";
    server.retrData = "hello\r\nworld\r\n";
    server.listing = "-rw-r--r-- 1 a b 5 Jan 1 00:00 f.txt\r\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    TempDir t;
    c.RetrieveFile("f.txt", t / "f.txt");
    EXPECT_EQ(ReadFile(t / "f.txt"), "hello\nworld\n");  // ASCII: CR LF becomes LF
    EXPECT_EQ(c.ListToText("f.txt"), server.listing);
    server.Stop();
    int pasv = 0;
    for (const std::string& line : server.Received()) pasv += line == "PASV";
    EXPECT_EQ(pasv, 3);  // login, RETR, LIST
}

TEST_F(FakeFtp, APassiveReplyOtherThan227OrWithoutAPortFailsAndLeavesNoDataSocket) {
    server.replies["PASV"] = "500 no passive today\r\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    EXPECT_THROW(c.ListToText("x"), CFtpClient::FTPException);
    server.SetReply("PASV", "227 Entering Passive Mode (garbage).\r\n");
    try {
        c.ListToText("x");
        FAIL();
    } catch (const CFtpClient::FTPException& e) {
        EXPECT_NE(std::string(e.what()).find("Invalid passive mode reply"), std::string::npos);
    }
}

TEST_F(FakeFtp, ADataConnectionDroppedMidTransferKeepsTheOldLocalFile) {
    server.replies["TYPE"] = "200 ok\r\n";
    server.retrData = std::string(300000, 'x');
    server.dropRetrAfter = 1000;
    server.Start();
    CFtpClient c;
    Connect(c);
    c.SetBinaryMode();
    TempDir t;
    WriteFile(t / "keep.bin", "old content");
    try {
        c.RetrieveFile("keep.bin", t / "keep.bin");
        FAIL();
    } catch (const CFtpClient::FTPException& e) {
        EXPECT_STREQ(e.what(), "Connection closed; transfer aborted.");
    }
    EXPECT_EQ(ReadFile(t / "keep.bin"), "old content");
    EXPECT_FALSE(std::filesystem::exists(t / "keep.bin.qvl-part"));
    // The connection is still in step for the next command.
    EXPECT_EQ(c.GetSystemType(), "UNIX");
}

TEST_F(FakeFtp, ASlowReplyHitsTheTimeOutAndMarksTheConnectionLost) {
    server.delays["SYST"] = 2000;
    server.Start();
    CFtpClient c;
    Connect(c);
    auto start = std::chrono::steady_clock::now();
    try {
        c.GetSystemType();
        FAIL();
    } catch (const CFtpClient::FTPException& e) {
        EXPECT_TRUE(e.ConnectionLost());
        EXPECT_STREQ(e.what(), "Unable to receive server's response");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1800));
}

TEST_F(FakeFtp, AListThatFindsNothingIsAnEmptyListing) {
    server.replies["LIST"] = "550 No such file or directory.\r\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    EXPECT_EQ(c.ListToText("/gone/file.txt"), "");
    server.SetReply("LIST", "450 Not available\r\n");
    EXPECT_EQ(c.ListToText("/gone/file.txt"), "");
}

TEST_F(FakeFtp, VmsListingThroughTheServer) {
    server.systReply = "215 VMS system type.\r\n";
    server.listing = "Directory DKA0:[ANN]\r\n\r\nLOGIN.COM;3  2/3\r\nSUB.DIR;1  1/3\r\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    std::vector<CDirEntry> e;
    c.ListDirectoryVms("*.*", e);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].strName, "SUB");
    EXPECT_TRUE(e[0].bIsDir);
    EXPECT_EQ(e[1].strName, "LOGIN.COM");
    c.ListDirectoryVms("[A,B]*.*", e);  // a comma and a wild card: nothing is sent
    EXPECT_TRUE(e.empty());
    server.Stop();
    auto r = server.Received();
    EXPECT_NE(std::find(r.begin(), r.end(), "LIST *.*;"), r.end());
}

TEST_F(FakeFtp, KeepAliveAndPwd) {
    server.replies["PWD"] = "257 \"/home/user\" is the current directory\r\n";
    server.Start();
    CFtpClient c;
    Connect(c);
    std::string text;
    EXPECT_TRUE(c.KeepAlive(text));
    EXPECT_EQ(text, "215:UNIX Type: L8");
    EXPECT_EQ(c.GetCurrentDirectory(), "/home/user");
    server.replies["SYST"] = "215 Not logged in\r\n";
    EXPECT_FALSE(c.KeepAlive(text));
}

TEST_F(FakeFtp, TheBreakFlagStopsADownloadBetweenBlocksAndASendWhoseDataConnectionHangs) {
    server.retrData = std::string(4 * 1024 * 1024, 'y');
    server.Start();
    CFtpClient c;
    Connect(c);
    c.SetBinaryMode();
    TempDir t;
    WriteFile(t / "big", "previous");
    g_bFtpBreak = true;
    try {
        c.RetrieveFile("big", t / "big");
        FAIL();
    } catch (const CFtpClient::UserAbort& a) {
        EXPECT_FALSE(a.WasUpload());
        EXPECT_EQ(a.Host(), "127.0.0.1");
        EXPECT_EQ(a.User(), "ann");
    }
    g_bFtpBreak = false;
    EXPECT_EQ(ReadFile(t / "big"), "previous");

    // A send to a temporary name whose data connection the server never
    // takes: the stop ends the wait, the STOR never went, and the empty
    // temporary made for it goes. (A stopped copy leaves its connection
    // out of step: the send has one of its own.)
    CFtpClient sender;
    Connect(sender);
    NetTimeoutValues().connectMs = 30000;
    NetTimeoutValues().stopMs = 1000;
    server.SetReply("SITE", "200 SITE CHMOD command successful\r\n");
    server.SetDelay("SITE", 300);
    WriteFile(t / "up", "new text");
    const auto count = [&](const std::string& line) {
        const std::vector<std::string> got = server.Received();
        return std::count(got.begin(), got.end(), line);
    };
    std::thread pause([&] {
        WaitFor([&] { return count("SITE CHMOD 644 .up.qvl-part") > 0; });
        server.pasvTakesNothing = true;
        const long pasvBefore = count("PASV");
        WaitFor([&] { return count("PASV") > pasvBefore; });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        g_bFtpBreak = true;
    });
    const auto start = std::chrono::steady_clock::now();
    try {
        sender.PutFileReplacing(t / "up", "up", ".up.qvl-part", 0644);
        ADD_FAILURE() << "not stopped";
    } catch (const CFtpClient::FTPException& e) {
        EXPECT_TRUE(e.ConnectionLost());
        EXPECT_STREQ(e.what(), "Stopped while opening the data connection.");
    }
    pause.join();
    g_bFtpBreak = false;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(server.StoredNames(), std::vector<std::string>{".up.qvl-part"});  // the empty one only
    EXPECT_EQ(count("DELE .up.qvl-part"), 1);
}

// --- against a real server -------------------------------------------------

class PyFtp : public ::testing::Test {
protected:
    void SetUp() override {
        ResetWorkerFlags();
        if (!server.ok()) GTEST_SKIP() << server.why();
        client.Connect("127.0.0.1", kUser, kPassword, server.port());
    }
    void TearDown() override {
        if (client.IsConnected()) client.Disconnect();
    }
    TempDir root, local;
    PyFtpServer server{root.path()};
    CFtpClient client;
};

TEST_F(PyFtp, BinaryFilesGoBothWaysByteExact) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>((i * 7919) & 0xff));
    bytes += "\r\n\n\r";
    WriteFile(local / "up.bin", bytes);
    client.SetBinaryMode();
    EXPECT_EQ(client.GetTransferType(), "BINARY");
    client.PutFile(local / "up.bin", "up.bin");
    EXPECT_EQ(ReadFile(root / "up.bin"), bytes);
    client.RetrieveFile("up.bin", local / "down.bin");
    EXPECT_EQ(ReadFile(local / "down.bin"), bytes);
    EXPECT_GT(client.LastActivity(), 0);
}

TEST_F(PyFtp, AsciiTransfersConvertLineEnds) {
    WriteFile(local / "t.txt", "one\ntwo\n");
    client.SetAsciiMode();
    client.PutFile(local / "t.txt", "t.txt");
    // The server stores its own line ends; the round trip gives ours back.
    EXPECT_EQ(ReadFile(root / "t.txt"), "one\ntwo\n");
    client.RetrieveFile("t.txt", local / "back.txt");
    EXPECT_EQ(ReadFile(local / "back.txt"), "one\ntwo\n");
}

TEST_F(PyFtp, DirectoriesAreMadeChangedListedAndRemoved) {
    client.MakeDirectory("sub");
    client.MakeDirectory("sub/inner");
    WriteFile(root / "sub/my file.txt", "x");
    client.ChangeDirectory("sub");
    EXPECT_EQ(client.GetCurrentDirectory(), "/sub");
    std::vector<CDirEntry> e;
    client.ListDirectoryUnix("*", e);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].strName, "inner");
    EXPECT_TRUE(e[0].bIsDir);
    EXPECT_EQ(e[1].strName, "my file.txt");
    client.RemoveDirectory("inner");
    EXPECT_FALSE(std::filesystem::exists(root / "sub/inner"));
    EXPECT_THROW(client.ChangeDirectory("nowhere"), CFtpClient::FTPException);
    client.DeleteFile("my file.txt");
    EXPECT_FALSE(std::filesystem::exists(root / "sub/my file.txt"));
}

TEST_F(PyFtp, ListOfOneFileAndOfAMissingFile) {
    WriteFile(root / "one.txt", "abc");
    std::string text = client.ListToText("/one.txt");
    EXPECT_NE(text.find("one.txt"), std::string::npos);
    EXPECT_EQ(client.ListToText("/missing.txt"), "");
    EXPECT_EQ(client.GetSystemType(), "UNIX");
}

TEST_F(PyFtp, AStorageOfAMissingLocalFileSendsNoStor) {
    EXPECT_THROW(client.PutFile(local / "none", "none"), CFtpClient::FTPException);
    EXPECT_FALSE(std::filesystem::exists(root / "none"));
    WriteFile(local / "x", "1");
    client.PutFile(local / "x", "x");
    EXPECT_EQ(ReadFile(root / "x"), "1");
}

}  // namespace

namespace {

TEST_F(FakeFtp, AnUploadWhoseDataConnectionIsRefusedFailsAndSaysTheFileMayBeIncomplete) {
    server.dropStor = true;
    server.Start();
    CFtpClient c;
    Connect(c);
    c.SetBinaryMode();
    TempDir t;
    WriteFile(t / "big", std::string(16 << 20, 'q'));
    try {
        c.PutFile(t / "big", "big");
        FAIL();
    } catch (const CFtpClient::FTPException& e) {
        EXPECT_NE(std::string(e.what()).find("may be incomplete"), std::string::npos) << e.what();
    }
    // The control connection stays usable.
    EXPECT_EQ(c.GetSystemType(), "UNIX");
}

}  // namespace
