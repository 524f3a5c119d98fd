// Shared set-up of the remote engine tests: a program data object with one
// basket, a recorded log, and the FTP state reset before and after.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>

#include "TestServers.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/Socket.h"
#include "remote/TransferEngine.h"
#include "support/TempDir.h"

class RecordingTrace : public ITraceSink {
public:
    void AppendLine(const std::string& line) override {
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard<std::mutex> g(m_mutex);
            m_lines.push_back(line);
            hook = onLine;
        }
        if (hook) hook(line);
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_lines;
    }
    std::string All() {
        std::string s;
        for (const std::string& l : Lines()) s += l + "\n";
        return s;
    }
    int Count(const std::string& text) {
        int n = 0;
        for (const std::string& l : Lines()) n += l == text;
        return n;
    }
    bool Has(const std::string& text) { return Count(text) > 0; }
    std::function<void(const std::string&)> onLine;  // set before the run

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

inline CFileItem MakeItem(const std::string& name, const std::string& host, const std::string& user,
                          const std::string& remoteDir, const std::string& localDir,
                          bool binary = false) {
    CFileItem it(name);
    it.RemHost = host;
    it.RemUser = user;
    it.RemoteDir = remoteDir;
    it.LocalDir = localDir;
    it.IsBinaryFile = binary;
    return it;
}

class RemoteEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Bounded waits: a server that stops answering fails the test in
        // seconds instead of the minute a real connection waits.
        m_savedTimeouts = NetTimeoutValues();
        NetTimeoutValues().connectMs = 2000;
        NetTimeoutValues().replyMs = 5000;
        NetTimeoutValues().dataMs = 5000;
        ResetWorkerFlags();
        CloseAllConnections();
        ClearFtpResultLists();
        m_oldSink = SetTraceSink(&trace);
        SetMessageTextSink([this](const std::string& t) {
            std::lock_guard<std::mutex> g(m_mutex);
            messageText = t;
        });
        SetInputTextSink([this](const std::string& t) {
            std::lock_guard<std::mutex> g(m_mutex);
            inputText = t;
        });
        CProject project("P");
        CSession session;
        session.IsLoaded = true;
        session.m_Baskets.push_back(CFileBasket("B"));
        project.m_Sessions.push_back(session);
        data.m_ProjectList.m_Projects.push_back(project);
        data.m_Vault.m_Clusters.push_back(CCluster("My Cluster"));
    }
    void TearDown() override {
        JoinFtpWorker(5000);
        CloseAllConnections();
        SetTraceSink(m_oldSink);
        SetMessageTextSink(nullptr);
        SetInputTextSink(nullptr);
        SetMainProgramData(nullptr);
        ResetWorkerFlags();
        g_bFtpUpdate = true;
        NetTimeoutValues() = m_savedTimeouts;
    }
    void AddAccount(const std::string& host, const std::string& user, const std::string& pw) {
        data.m_Vault.m_Clusters[0].m_Hosts.push_back(CHost(host, user, pw));
    }
    void AddItem(const CFileItem& item) {
        data.m_ProjectList.m_Projects[0].m_Sessions[0].m_Baskets[0].m_Items.push_back(item);
    }
    std::vector<CFileItem>& Items() {
        return data.m_ProjectList.m_Projects[0].m_Sessions[0].m_Baskets[0].m_Items;
    }
    // Runs a transfer of the first basket's items on this thread, as a worker would.
    void RunTransfer(bool toRemote, const std::vector<int>& indices) {
        ASSERT_TRUE(ClaimFtpSlot(""));
        RunFtpWorkerHere([&] {
            if (toRemote)
                TransferToRemote(data, 0, 0, 0, indices);
            else
                TransferToLocal(data, 0, 0, 0, indices);
        });
    }
    std::vector<CFileItem> TransferResults() {
        FtpResultsLock lists;
        return lists->transfer;
    }
    std::string MessageText() {
        std::lock_guard<std::mutex> g(m_mutex);
        return messageText;
    }
    std::string InputText() {
        std::lock_guard<std::mutex> g(m_mutex);
        return inputText;
    }

    RecordingTrace trace;
    CProgramData data;
    std::mutex m_mutex;
    std::string messageText, inputText;

private:
    ITraceSink* m_oldSink = nullptr;
    NetTimeouts m_savedTimeouts;
};

// The engine against the scripted FTP server on 127.0.0.1, its port handed
// to the connections through QVL_FTP_PORT.
class FakeServerEngineTest : public RemoteEngineTest {
protected:
    void SetUp() override {
        RemoteEngineTest::SetUp();
        server.Start();
        port = std::to_string(server.port());
        env = std::make_unique<ScopedEnv>("QVL_FTP_PORT", port.c_str());
    }
    void TearDown() override {
        RemoteEngineTest::TearDown();
        server.Stop();
    }
    qvltest::FakeFtpServer server;
    std::string port;
    std::unique_ptr<ScopedEnv> env;
};

// Transfers with that server: one account for it in the vault and a local
// folder for the files.
class FakeServerTransferTest : public FakeServerEngineTest {
protected:
    void SetUp() override {
        FakeServerEngineTest::SetUp();
        AddAccount("127.0.0.1", "ann", "pw");
        g_bFtpUpdate = false;
    }
    TempDir local;
};
