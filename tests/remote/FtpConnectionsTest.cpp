#include "RemoteFixture.h"

using namespace qvltest;

namespace {

class Connections : public FakeServerEngineTest {
protected:
    RecordingPrompter prompter;
};

TEST_F(Connections, AnOpenConnectionIsReusedWhateverTheLetterCase) {
    AddAccount("localhost", "Bob", "pw");
    ScopedPrompter scoped(prompter);
    std::string host = "LOCALHOST", user = "Bob";
    ASSERT_TRUE(ConnectHost(data, host, user, true));
    CFtpClient* first = GetCurrentFtpClient();
    std::string h2 = "localhost", u2 = "bob";
    ASSERT_TRUE(ConnectHost(data, h2, u2, true));
    EXPECT_EQ(GetCurrentFtpClient(), first);
    EXPECT_EQ(GetFtpAccount().m_nStatus, 6);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(trace.Count("Connecting to LOCALHOST as Bob..."), 1);
    EXPECT_TRUE(prompter.entries.empty());
}

TEST_F(Connections, MissingLoginDataOrShiftControlOpenTheDialog) {
    AddAccount("localhost", "bob", "pw");
    LoginData answer;
    answer.host = "localhost";
    answer.user = "bob";
    answer.password = "pw";
    prompter.logins = {answer, answer};
    ScopedPrompter scoped(prompter);
    std::string host = "localhost", user;
    ASSERT_TRUE(ConnectHost(data, host, user, true));
    EXPECT_EQ(user, "bob");
    EXPECT_EQ(prompter.entries.size(), 1u);
    SetModifierQuery([] { return true; });
    std::string u2 = "bob";
    ASSERT_TRUE(ConnectHost(data, host, u2, true));
    SetModifierQuery(nullptr);
    EXPECT_EQ(prompter.entries.size(), 2u);
}

TEST_F(Connections, AFailedLoginIsTracedAndTheDialogOpensAgainUntilCancelled) {
    server.replies["PASS"] = "530 Login incorrect.\r\n";
    AddAccount("localhost", "bob", "wrong");
    ScopedPrompter scoped(prompter);
    std::string host = "localhost", user = "bob";
    g_bAutoSync = true;
    EXPECT_FALSE(ConnectHost(data, host, user, true));
    EXPECT_TRUE(trace.Has("Login incorrect."));
    ASSERT_EQ(prompter.entries.size(), 1u);
    EXPECT_EQ(prompter.entries[0].text, "localhost|bob");
    EXPECT_FALSE(g_bAutoSync);
    EXPECT_EQ(FindOpenConnection("localhost", "bob"), -1);
    EXPECT_EQ(trace.All().find("wrong"), std::string::npos);  // no password in the log
}

TEST_F(Connections, AVmsServerLowerCasesTheUser) {
    server.systReply = "215 VMS V7.3\r\n";
    AddAccount("localhost", "BOB", "pw");
    ScopedPrompter scoped(prompter);
    std::string host = "localhost", user = "BOB";
    ASSERT_TRUE(ConnectHost(data, host, user, true));
    EXPECT_EQ(user, "bob");
    EXPECT_EQ(GetFtpAccount().m_strHostType, "VMS");
}

TEST_F(Connections, ALoginStoresTheServersSystemTypeInAnAccountTheVaultHolds) {
    SetMainProgramData(&data);
    AddAccount("localhost", "ann", "pw");            // stored without a type
    AddAccount("localhost", "bob", "pw");
    data.m_Vault.m_Clusters[0].m_Hosts[1].m_strHostType = "VMS";  // stored wrongly
    ScopedPrompter scoped(prompter);
    std::string h = "localhost", a = "ann", b = "bob";
    ASSERT_TRUE(ConnectHost(data, h, a, true));
    EXPECT_EQ(data.GetHost(0, 0).m_strHostType, "UNIX");
    EXPECT_EQ(g_CurrentAccount.m_strHostType, "UNIX");
    ASSERT_TRUE(ConnectHost(data, h, b, true));
    EXPECT_EQ(data.GetHost(0, 1).m_strHostType, "UNIX");
    EXPECT_EQ(data.GetHostCount(0), 2);
    EXPECT_EQ(data.GetHostType("localhost", "ann"), "UNIX");
    EXPECT_TRUE(prompter.entries.empty());  // nothing asked
}

TEST_F(Connections, ALostConnectionIsOpenedAgainOnceButNotAfterAStopRequest) {
    AddAccount("localhost", "bob", "pw");
    ScopedPrompter scoped(prompter);
    std::string h = "localhost", u = "bob";
    ASSERT_TRUE(ConnectHost(data, h, u, true));
    int calls = 0;
    ShutdownConnections();  // the control connection is gone
    std::string text;
    RunWithReconnect(data, h, u, true, [&](CFtpClient& c) {
        ++calls;
        c.KeepAlive(text);
    });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(server.Connections(), 2);

    ShutdownConnections();
    g_bFtpBreak = true;  // what closing the window does before it shuts the sockets
    EXPECT_THROW(RunWithReconnect(data, h, u, true, [&](CFtpClient& c) { c.KeepAlive(text); }),
                 CFtpClient::FTPException);
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_TRUE(prompter.entries.empty());
}

TEST_F(Connections, DisconnectHostClosesEveryUserOfTheHostLastFirst) {
    AddAccount("localhost", "ann", "pw");
    AddAccount("localhost", "bob", "pw");
    ScopedPrompter scoped(prompter);
    std::string h = "localhost", a = "ann", b = "bob";
    ASSERT_TRUE(ConnectHost(data, h, a, true));
    ASSERT_TRUE(ConnectHost(data, h, b, true));
    EXPECT_EQ(ListOpenConnections().size(), 2u);
    DisconnectHost("LOCALHOST", "ann");
    EXPECT_TRUE(ListOpenConnections().empty());
    EXPECT_EQ(GetCurrentFtpClient(), nullptr);
    auto lines = trace.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "- bob disconnected from localhost.");
    EXPECT_EQ(lines.back(), "- ann disconnected from localhost.");
}

TEST_F(Connections, KeepAliveDropsADeadConnectionAndWaitsWhileAWorkerRuns) {
    AddAccount("localhost", "bob", "pw");
    ScopedPrompter scoped(prompter);
    std::string h = "localhost", u = "bob";
    ASSERT_TRUE(ConnectHost(data, h, u, true));
    {
        std::lock_guard<std::mutex> worker(FtpConnectionsInUse());
        ShutdownConnections();
        KeepAliveConnections();  // a worker holds the connections: nothing happens
        EXPECT_EQ(ListOpenConnections().size(), 1u);
    }
    g_bFtpIdle = false;
    KeepAliveConnections();  // FTP busy: nothing happens
    EXPECT_EQ(ListOpenConnections().size(), 1u);
    g_bFtpIdle = true;
    KeepAliveConnections();
    EXPECT_TRUE(ListOpenConnections().empty());
}

TEST_F(Connections, StopRaisesTheBreakFlagOnlyAndTheWorkerEndRoutineMakesFtpIdle) {
    ASSERT_TRUE(ClaimFtpSlot(""));
    std::atomic<bool> release{false};
    StartFtpWorker([&] {
        while (!g_bFtpBreak) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EndFtpWorker("aborted-by-user");
    });
    g_bFtpBreak = true;  // what the stop command does
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(g_bFtpIdle);  // still running: the starters keep refusing
    EXPECT_FALSE(ClaimFtpSlot(""));
    g_bFtpIdle = true;  // even a stop that marks FTP idle at once does not free the slot
    EXPECT_FALSE(ClaimFtpSlot(""));
    release = true;
    ASSERT_TRUE(JoinFtpWorker(2000));
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_FALSE(g_bFtpBreak);
    EXPECT_FALSE(g_bFtpTicker);
    EXPECT_TRUE(trace.Has("--- FTP aborted-by-user ---"));
}

}  // namespace

namespace {

TEST_F(Connections, ClosingTheWindowStopsAWorkerBlockedOnTheServer) {
    server.delays["SYST"] = 3000;
    AddAccount("localhost", "bob", "pw");
    ScopedPrompter scoped(prompter);
    std::string h = "localhost", u = "bob";
    ASSERT_TRUE(ClaimFtpSlot(""));
    StartFtpWorker([&] {
        std::string host = h, user = u;
        ConnectHost(data, host, user, true);  // waits for the slow SYST
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ShutdownFtp(2000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_TRUE(g_bFtpIdle);
}

}  // namespace
