// The main window on a work area whose items live on a real FTP server
// (pyftpdlib) started on 127.0.0.1 for the test. The one-second timer is
// stopped: tests drive its ticks themselves.
#pragma once

#include <QApplication>
#include <QTest>
#include <functional>
#include <filesystem>

#include "UiFixture.h"
#include "app/FtpCommands.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "app/PaneControlStatusBar.h"
#include "app/StartupBannerDlg.h"
#include "app/TimerWork.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/Socket.h"
#include "remote/TestServers.h"
#include "ThrottledFtpServer.h"
#include "settings/AcceleratorManager.h"


// Project "P" with session "S" on the FTP server at 127.0.0.1 ("/"), its
// local files in `local`.
inline void AddLoopbackSession(CProgramData& d, const std::string& local) {
    d.InsertProject("P", 0);
    d.InsertSession("S", 0, 0);
    CSession* se = d.GetSessionPtr(0, 0);
    se->IsLoaded = true;
    se->Host = "127.0.0.1";
    se->User = qvltest::kUser;
    se->LocalDir = local;
    se->RemoteDir = "/";
}
// The server's account in the vault; "P", "S" and its first basket current.
inline void AddLoopbackAccount(CProgramData& d) {
    d.AddCluster("Lab", 0);
    d.AddHost("127.0.0.1", qvltest::kUser, qvltest::kPassword, 0, 0);
    d.SetCurProject(0);
    d.SetCurSession(0, 0);
    d.SetCurrentBasket(0, 0, 0);
}

class FtpWindowTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        saved = NetTimeoutValues();
        NetTimeoutValues().connectMs = 2000;
        NetTimeoutValues().replyMs = 5000;
        NetTimeoutValues().dataMs = 5000;
        CloseAllConnections();
        ClearFtpResultLists();
        std::filesystem::create_directories(ServerRoot());
        server = std::make_unique<qvltest::PyFtpServer>(ServerRoot());
        if (!server->ok()) GTEST_SKIP() << server->why();
        port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(server->port()).c_str());
    }
    void TearDown() override {
        if (frame) frame->close();
        JoinFtpWorker(10000);
        frame.reset();
        CloseAllConnections();
        ClearFtpResultLists();
        server.reset();
        throttled.reset();
        port.reset();
        NetTimeoutValues() = saved;
        UiTest::TearDown();
    }

    std::string ServerRoot() const { return tmp / "server"; }
    std::string Local() const { return Files() + "/"; }
    // Replaces the fixture's server by a throttled one on the same folder.
    void UseThrottledServer(int rate) {
        server.reset();
        throttled = std::make_unique<ThrottledFtpServer>(ServerRoot(), rate);
        ASSERT_TRUE(throttled->ok()) << throttled->why();
        port.reset();  // the old one puts back what it found: first
        port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(throttled->port()).c_str());
    }
    // theirs.txt, a file of the test user's beside the server's own.
    void AddAnotherUsersFile() {
        uid_t uid;
        gid_t gid;
        std::string home;
        ASSERT_TRUE(qvltest::TestUserIds(uid, gid, home));
        WriteFile(ServerRoot() + "/theirs.txt", "theirs\n");
        ASSERT_EQ(::chown((ServerRoot() + "/theirs.txt").c_str(), uid, gid), 0);
    }

    static CFileItem Item(const std::string& name, const std::string& localDir, bool binary = false) {
        CFileItem it(name);
        it.FileType = "local";
        it.RemHost = "127.0.0.1";
        it.RemUser = qvltest::kUser;
        it.RemoteDir = "/";
        it.LocalDir = localDir;
        it.IsBinaryFile = binary;
        it.IsFTPed = "No";
        it.IsRemoteModified = "No";
        it.IsRemoteMissing = "No";
        return it;
    }

    // Project "P", session "S" with the baskets "One" ("my file.txt",
    // "pic.bin", "notes.txt") and "Two" ("other.txt"), the local files, and
    // the server's account in the vault.
    // withItems false: the session and its baskets only, the files on disk.
    void MakeFtpArea(bool withItems = true) {
        CProgramData d;
        AddLoopbackSession(d, Local());
        d.InsertBasket("One", 0, 0, 0);
        d.InsertBasket("Two", 0, 0, 1);
        std::filesystem::create_directories(Local());
        WriteFile(Local() + "my file.txt", "first line\nsecond line\n");
        WriteFile(Local() + "pic.bin", std::string("\x89PNG\r\n\x1a\n\x00\x01\xff\r\n", 14));
        WriteFile(Local() + "notes.txt", "notes\n");
        WriteFile(Local() + "other.txt", "other\n");
        if (withItems) {
            d.InsertFileItems(0, 0, 0, 0, Item("my file.txt", Local()));
            d.InsertFileItems(0, 0, 0, 1, Item("pic.bin", Local(), true));
            d.InsertFileItems(0, 0, 0, 2, Item("notes.txt", Local()));
            d.InsertFileItems(0, 0, 1, 0, Item("other.txt", Local()));
        }
        for (int b = 0; b < 2; ++b)
            for (CFileItem* it : d.GetBasketItemPtrs(0, 0, b)) it->RefreshLocalTime();
        AddLoopbackAccount(d);
        ASSERT_TRUE(d.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    }

    // The program talks to `fake` instead of the real server: a scripted
    // server that takes CWD and PWD, started here.
    void UseFakeServer(qvltest::FakeFtpServer& fake) {
        fake.replies["CWD"] = "250 CWD ok\r\n";
        fake.replies["PWD"] = "257 \"/\" is current directory.\r\n";
        fake.Start();
        port.reset();
        port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(fake.port()).c_str());
    }

    CMainFrame& Open() {
        frame = std::make_unique<CMainFrame>();
        frame->Timer().stop();
        frame->show();
        frame->Banner()->Close();
        return *frame;
    }
    void SelectRows(const std::vector<int>& rows) {
        frame->FileList()->clearSelection();
        for (int r : rows) frame->FileList()->topLevelItem(r)->setSelected(true);
    }
    // The FTP area in the window with the three items of "One" sent to the
    // server once and the results taken in.
    CMainFrame& OpenWithItemsSent() {
        MakeFtpArea();
        CMainFrame& w = Open();
        SelectRows({0, 1, 2});
        w.ExecuteCommand(32564);
        Finish();
        Tick();
        return w;
    }
    // Waits for the worker and lets the posted work reach the window.
    void Finish() {
        ASSERT_TRUE(JoinFtpWorker(20000));
        QApplication::processEvents();
    }
    // The rows selected and a transfer key pressed in the file list with the
    // program's keys (questions answered No); once the part shows that the
    // first file is on its way, the Pause key. The run is over on return;
    // false where no part showed in time.
    bool PressThenPause(const std::vector<int>& rows, Qt::Key key, const std::function<bool()>& partShows) {
        CAcceleratorManager keys;
        keys.Connect(frame.get(), false);
        InstallAccelerators(keys);
        SelectRows(rows);
        frame->MessageWindow().SetText("");
        prompter.entries.clear();
        prompter.answers = {Answer::No};
        frame->FileList()->setFocus();
        QTest::keyClick(frame->FileList(), key);
        const bool shown = qvltest::WaitFor(partShows, 20000);
        if (shown) {
            frame->FileList()->setFocus();
            QTest::keyClick(frame->FileList(), Qt::Key_Pause);
        }
        Finish();
        keys.Connect(nullptr, false);
        return shown;
    }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) frame->TimerWork().OnTimerTick();
        QApplication::processEvents();
    }
    std::string Log() {
        QApplication::processEvents();
        return frame->MessageWindow().GetText();
    }
    int Count(const std::string& text) {
        const std::string log = Log();
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    QString RowText(int r) { return frame->FileList()->topLevelItem(r)->text(0); }

    std::unique_ptr<qvltest::PyFtpServer> server;
    std::unique_ptr<ThrottledFtpServer> throttled;
    std::unique_ptr<ScopedEnv> port;
    std::unique_ptr<CMainFrame> frame;
    NetTimeouts saved;
};
