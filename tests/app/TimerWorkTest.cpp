#include <QApplication>
#include <filesystem>

#include "UiFixture.h"
#include "app/ControlPanelBar.h"
#include "app/FtpCommands.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "app/StartupBannerDlg.h"
#include "app/TimerWork.h"
#include "model/Sound.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/RemoteStatus.h"
#include "remote/Socket.h"
#include "remote/TestServers.h"

namespace {

class TimerTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        SetSoundPlayer([this](int hz, int ms) { tones.push_back(hz); });
        g_bSoundsOn = true;
        ClearFtpResultLists();
    }
    void TearDown() override {
        frame.reset();
        CloseAllConnections();
        ClearFtpResultLists();
        SetSoundPlayer(nullptr);
        UiTest::TearDown();
    }
    CMainFrame& Open() {
        frame = std::make_unique<CMainFrame>();
        frame->Timer().stop();
        frame->show();
        frame->Banner()->Close();
        return *frame;
    }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) frame->TimerWork().OnTimerTick();
        QApplication::processEvents();
    }
    std::string Log() {
        QApplication::processEvents();
        return frame->MessageWindow().GetText();
    }
    static bool Exists(const std::string& p) { return std::filesystem::exists(p); }

    std::vector<int> tones;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(TimerTest, AutosaveEveryTenMinutesAlternatesBetweenTheTwoFoldersAndRestartsTheCheck) {
    MakeSampleArea();
    Open();
    const std::string first = g_strSessionInfoDir + kMasterFileName;
    const std::string second = g_strSessionBackUpDir + kMasterFileName;
    std::filesystem::remove(first);
    std::filesystem::remove(second);
    tones.clear();
    g_bFtpIdle = false;  // autosave runs during FTP work too
    Tick(599);
    EXPECT_FALSE(Exists(first));
    EXPECT_FALSE(Exists(second));
    EXPECT_TRUE(tones.empty());
    Tick();  // the 600th
    EXPECT_TRUE(Exists(first));
    EXPECT_FALSE(Exists(second));
    EXPECT_EQ(tones, (std::vector<int>{2400, 1200}));
    EXPECT_EQ(frame->TimerWork().AutosaveCounter(), 1);
    EXPECT_EQ(frame->TimerWork().AutoUpdateCounter(), 1);
    EXPECT_EQ(frame->TimerWork().BlinkCounter(), 1);
    g_bFtpIdle = true;
    std::filesystem::remove(first);
    Tick(599);
    EXPECT_FALSE(Exists(second));
    Tick();  // the 1200th
    EXPECT_TRUE(Exists(second));
    EXPECT_FALSE(Exists(first));
    Tick(600);
    EXPECT_TRUE(Exists(first));
}

TEST_F(TimerTest, ThePeriodicCheckRunsEveryIncrementAndBlinksTheMarks) {
    MakeSampleArea();
    Touch(Files() + "/index.html", "changed\n", 1700000000);
    Open();
    g_nAutoUpdateInc = 5;
    const int blink = frame->TimerWork().BlinkCounter();
    Tick(4);
    EXPECT_EQ(frame->TimerWork().BlinkCounter(), blink);
    Tick();
    EXPECT_EQ(frame->TimerWork().BlinkCounter(), blink + 1);
    EXPECT_EQ(frame->TimerWork().AutoUpdateCounter(), 1);
    const QString a = frame->FileList()->topLevelItem(0)->text(0);
    Tick(5);
    const QString b = frame->FileList()->topLevelItem(0)->text(0);
    EXPECT_NE(a, b);
    EXPECT_TRUE(a == "*index.html<-" || b == "*index.html<-") << a.toStdString() << " " << b.toStdString();
    EXPECT_TRUE(a == "*index.html" || b == "*index.html");
    EXPECT_EQ(frame->TimerWork().BlinkCounter(), blink + 2);

    // Off: nothing runs.
    g_bAutoUpdate = false;
    Tick(10);
    EXPECT_EQ(frame->TimerWork().BlinkCounter(), blink + 2);
}

TEST_F(TimerTest, TransferResultsReachRowsExceptFailedItemsWhichStayMarked) {
    MakeSampleArea();
    Touch(Files() + "/index.html", "changed\n", 1700000000);
    Touch(Files() + "/about.txt", "changed\n", 1700000000);
    Open();
    g_bAutoUpdate = false;  // only the take-over acts
    CMainPresenter& mp = frame->Presenter();
    ASSERT_EQ(mp.LocalModifiedRows(), (std::vector<int>{0, 1}));
    ASSERT_EQ(frame->FileList()->topLevelItem(0)->text(0).left(1), "*");
    g_CurrentAccount.m_strHost = "www.example.com";
    g_CurrentAccount.m_strUser = "alice";
    {
        FtpResultsLock lists;
        CFileItem failed = frame->Data().GetFileItem(0, 0, 0, 0);
        failed.IsFTPed = "failed";
        CFileItem sent = frame->Data().GetFileItem(0, 0, 0, 1);
        sent.IsFTPed = "Yes";
        sent.RefreshLocalTime();
        lists->transfer = {failed, sent};
        lists->project = 0;
        lists->session = 0;
        lists->basket = 0;
    }
    g_bFtpIdle = false;  // a worker still runs: nothing is taken
    Tick();
    EXPECT_EQ(frame->Data().GetFileItem(0, 0, 0, 0).IsFTPed, "Yes");
    g_bFtpIdle = true;
    Tick();
    EXPECT_EQ(frame->Data().GetFileItem(0, 0, 0, 0).IsFTPed, "failed");
    EXPECT_EQ(frame->FileList()->topLevelItem(0)->text(0).left(1), "*");
    EXPECT_EQ(frame->FileList()->topLevelItem(1)->text(0), "about.txt");
    EXPECT_EQ(mp.LocalModifiedRows(), std::vector<int>{0});
    EXPECT_EQ(frame->Data().GetSession(0, 0).Host, "www.example.com");
    FtpResultsLock lists;
    EXPECT_TRUE(lists->transfer.empty());
}

TEST_F(TimerTest, StatusResultsOfAnotherBasketChangeTheModelAndReportButLeaveTheRows) {
    MakeSampleArea();
    Open();
    {
        FtpResultsLock lists;
        CFileItem gone = frame->Data().GetFileItem(0, 0, 1, 0);  // a script of "Scripts"
        gone.SetRemoteTimeFromText(kRemoteMissingTime);
        lists->statusCheck = {gone};
        lists->project = 0;
        lists->session = 0;
        lists->basket = 1;
    }
    const std::vector<FileRow> before = frame->Presenter().FileRows();
    Tick();
    EXPECT_EQ(frame->Data().GetFileItem(0, 0, 1, 0).IsRemoteMissing, "Yes");
    const std::string name = frame->Data().GetFileItem(0, 0, 1, 0).FileName;
    EXPECT_NE(Log().find("Missing from remote directory.   \t" + name), std::string::npos) << Log();
    EXPECT_NE(Log().find("Remote files are in sync."), std::string::npos);
    for (size_t r = 0; r < before.size(); ++r) EXPECT_EQ(frame->Presenter().FileRows()[r].image, before[r].image);

    // A file the server has that was never sent from here (a stopped send
    // did not reach it) reads "-not sure-": the basket is not in sync.
    const size_t before2 = Log().size();
    {
        FtpResultsLock lists;
        CFileItem never = frame->Data().GetFileItem(0, 0, 1, 1);
        ASSERT_EQ(never.GetRemoteTimeText(), kNoTimeInfo);
        never.SetRemoteTimeFromText("2024+5+6+7+8+9+");
        lists->statusCheck = {never};
        lists->project = 0;
        lists->session = 0;
        lists->basket = 1;
    }
    Tick();
    const std::string after = Log().substr(before2);
    EXPECT_NE(after.find("No info on last FTP available."), std::string::npos) << after;
    EXPECT_EQ(after.find("Remote files are in sync."), std::string::npos) << after;
}

TEST_F(TimerTest, AutoSyncChecksEveryTickAndStartsNothingWhileInSync) {
    MakeSampleArea();
    Open();
    frame->ExecuteCommand(32574);
    ASSERT_TRUE(g_bAutoSync);
    const int blink = frame->TimerWork().BlinkCounter();
    Tick(5);
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_EQ(Log().find("--- FTP"), std::string::npos);
    EXPECT_EQ(frame->TimerWork().BlinkCounter(), blink);  // the periodic check waits
    // A change made now is seen on the next tick (the sync would start).
    Touch(Files() + "/util.h", "edited\n", 1700000000);
    g_bFtpIdle = false;  // busy: the check skips itself and nothing starts
    Tick();
    EXPECT_TRUE(frame->Presenter().LocalChangeList().empty());
    g_bFtpIdle = true;
    EXPECT_TRUE(frame->Action(32574)->isChecked());
    frame->ExecuteCommand(32574);
    EXPECT_FALSE(frame->Action(32574)->isChecked());
}

// The keep-alive is seen as SYST commands on a scripted server.
class KeepAliveTest : public TimerTest {
protected:
    void SetUp() override {
        TimerTest::SetUp();
        saved = NetTimeoutValues();
        NetTimeoutValues().replyMs = 3000;
        server.Start();
        port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(server.port()).c_str());
    }
    void TearDown() override {
        JoinKeepAlive(5000);
        TimerTest::TearDown();
        server.Stop();
        NetTimeoutValues() = saved;
    }
    int Systs() {
        int n = 0;
        for (const std::string& l : server.Received()) n += l == "SYST";
        return n;
    }
    void Connect() {
        frame->Data().AddHost("127.0.0.1", "bob", "pw", 0, 2);
        std::string h = "127.0.0.1", u = "bob";
        ASSERT_TRUE(ConnectHost(frame->Data(), h, u, true));
        QApplication::processEvents();
        ASSERT_EQ(Systs(), 1);  // the connect asks for the system type
    }
    void TickAndSettle(int n = 1) {
        Tick(n);
        ASSERT_TRUE(JoinKeepAlive(5000));
        QApplication::processEvents();
    }
    qvltest::FakeFtpServer server;
    std::unique_ptr<ScopedEnv> port;
    NetTimeouts saved;
};

TEST_F(KeepAliveTest, EveryFourMinutesWhileIdleAndAtOnceAfterALongRun) {
    MakeSampleArea();
    Open();
    Connect();
    TickAndSettle(239);
    EXPECT_EQ(Systs(), 1);
    TickAndSettle();  // the 240th idle tick
    EXPECT_EQ(Systs(), 2);
    EXPECT_EQ(frame->TimerWork().KeepAliveCounter(), 1);
    // A long FTP run: nothing is sent meanwhile, then at once.
    g_bFtpIdle = false;
    TickAndSettle(1000);
    EXPECT_EQ(Systs(), 2);
    g_bFtpIdle = true;
    TickAndSettle();
    EXPECT_EQ(Systs(), 3);
    EXPECT_TRUE(IsConnectionOpen("127.0.0.1", "bob"));
    EXPECT_EQ(Log().find("-?-"), std::string::npos);
}

TEST_F(KeepAliveTest, AFailedKeepAliveDropsTheConnectionAndMarksTheAccountLost) {
    MakeSampleArea();
    Open();
    Connect();
    server.SetReply("SYST", "421 Service not available, closing control connection.\r\n");
    TickAndSettle(240);
    EXPECT_EQ(Systs(), 2);
    EXPECT_FALSE(IsConnectionOpen("127.0.0.1", "bob"));
    EXPECT_NE(Log().find("Service not available"), std::string::npos) << Log();
    int c = -1, h = -1;
    frame->Data().FindVaultHostEx2("127.0.0.1", "bob", c, h);
    ASSERT_GE(c, 0);
    EXPECT_EQ(frame->Data().GetHost(c, h).m_nStatus, 4);
}

}  // namespace
