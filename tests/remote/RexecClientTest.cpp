#include <gtest/gtest.h>

#include <thread>

#include "TestServers.h"
#include "model/Globals.h"
#include "remote/RexecClient.h"
#include "remote/Socket.h"

using namespace qvltest;

namespace {

TEST(RexecWire, ThreeStringsThenTheStatusByteAndTheOutput) {
    ResetWorkerFlags();
    FakeRexec server(std::string("\0abc\0def", 8));
    CRexecClient client;
    std::string out = "before:";
    EXPECT_TRUE(client.Execute("ann", "pw", "127.0.0.1", server.port(), "chmod", "700 x.sh", out));
    EXPECT_EQ(out, "before:abcdef");  // the status byte is not output; NULs are dropped
    EXPECT_EQ(server.got(), std::string("\0ann\0pw\0chmod 700 x.sh\0", 23));
}

TEST(RexecWire, AnEmptyArgumentStillSendsTheBlank) {
    FakeRexec server(std::string("\0", 1));
    CRexecClient client;
    std::string out;
    client.Execute("u", "p", "127.0.0.1", server.port(), "ls", "", out);
    EXPECT_EQ(server.got(), std::string("\0u\0p\0ls \0", 9));
    EXPECT_EQ(out, "");
}

TEST(RexecWire, StatusOneCarriesAnErrorMessage) {
    FakeRexec server("\001Permission denied.\n");
    CRexecClient client;
    std::string out;
    try {
        client.Execute("u", "p", "127.0.0.1", server.port(), "ls", "", out);
        FAIL();
    } catch (const CRexecClient::ZmrRexecException& e) {
        EXPECT_STREQ(e.what(), "Permission denied.");
    }
}

TEST(RexecWire, AConnectionClosedBeforeAnyStatusIsALoginFailure) {
    FakeRexec server("");
    CRexecClient client;
    std::string out;
    try {
        client.Execute("u", "p", "127.0.0.1", server.port(), "ls", "", out);
        FAIL();
    } catch (const CRexecClient::ZmrRexecException& e) {
        EXPECT_STREQ(e.what(), CRexecClient::kLoginFailed);
    }
}

TEST(RexecWire, LineBreaksInArgumentsAreRefusedAndAClosedPortFails) {
    CRexecClient client;
    std::string out;
    EXPECT_THROW(client.Execute("u", "p", "127.0.0.1", 1, "ls", "a\nb", out),
                 CRexecClient::ZmrRexecException);
    try {
        client.Execute("u", "p", "127.0.0.1", FreePort(), "ls", "", out);
        FAIL();
    } catch (const CRexecClient::ZmrRexecException& e) {
        EXPECT_STREQ(e.what(), "Unable to connect to server");
    }
}

TEST(RexecWire, TheBreakFlagStopsTheWaitForASilentCommand) {
    ResetWorkerFlags();
    FakeRexec server(std::string("\0partial", 8), 5000);
    CRexecClient client;
    std::string out;
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        g_bFtpBreak = true;
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(client.Execute("u", "p", "127.0.0.1", server.port(), "sleep", "60", out),
                 CRexecClient::UserAbort);
    stopper.join();
    ResetWorkerFlags();
    EXPECT_EQ(out, "");  // the output read so far is dropped
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

class RealRexec : public ::testing::Test {
protected:
    void SetUp() override {
        ResetWorkerFlags();
        saved = NetTimeoutValues();
        NetTimeoutValues().connectMs = 2000;
        NetTimeoutValues().replyMs = 5000;  // in.rexecd answers a wrong password after a second
        if (!server.ok()) GTEST_SKIP() << server.why();
    }
    void TearDown() override { NetTimeoutValues() = saved; }
    NetTimeouts saved;
    RexecServer server;
};

TEST_F(RealRexec, RunsACommandAndReturnsItsOutput) {
    CRexecClient client;
    std::string out;
    EXPECT_TRUE(client.Execute(kUser, kPassword, "127.0.0.1", server.port(), "echo",
                               "hello; id -un", out));
    EXPECT_EQ(out, "hello\nqvltest\n");
}

TEST_F(RealRexec, AnEndlessOutputStopsAtItsLimitWithALineSayingSo) {
    NetLimits saved = NetLimitValues();
    NetLimitValues().maxRexecOutputBytes = 3u << 20;
    CRexecClient client;
    std::string out = "earlier\n";  // the output of a step before counts too
    const auto start = std::chrono::steady_clock::now();
    std::atomic<bool> ended{false};
    std::thread watchdog([&] {  // an output that never stops fails the test instead of hanging it
        for (int i = 0; i < 1000 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!ended) g_bFtpBreak = true;
    });
    EXPECT_NO_THROW(client.Execute(kUser, kPassword, "127.0.0.1", server.port(), "yes", "", out));
    ended = true;
    watchdog.join();
    ResetWorkerFlags();
    NetLimitValues() = saved;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const std::string line = "\n--- The output was stopped at 3 MB. ---\n";
    ASSERT_EQ(out.size(), (3u << 20) + line.size());
    EXPECT_EQ(out.compare(0, 12, "earlier\ny\ny\n"), 0);
    EXPECT_EQ(out.substr(out.size() - line.size()), line);
}

TEST_F(RealRexec, AWrongPasswordIsALoginFailure) {
    CRexecClient client;
    std::string out;
    try {
        client.Execute(kUser, "wrong", "127.0.0.1", server.port(), "echo", "hi", out);
        FAIL();
    } catch (const CRexecClient::ZmrRexecException& e) {
        EXPECT_STREQ(e.what(), CRexecClient::kLoginFailed);
    }
    EXPECT_EQ(out, "");
}

TEST_F(RealRexec, ThePortComesFromTheEnvironment) {
    std::string port = std::to_string(server.port());
    ::setenv("QVL_REXEC_PORT", port.c_str(), 1);
    CRexecClient client;
    std::string out;
    client.Execute(kUser, kPassword, "127.0.0.1", "printf", "ok", out);
    ::unsetenv("QVL_REXEC_PORT");
    EXPECT_EQ(out, "ok");
}

}  // namespace
