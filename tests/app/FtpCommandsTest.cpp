#include <chrono>
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <utime.h>

#include "FtpWindowFixture.h"
#include "ThrottledFtpServer.h"
#include "app/AddFilesCommands.h"
#include "app/FileListCommands.h"
#include "app/QtPrompter.h"
#include <QDialog>
#include <QLineEdit>
#include <algorithm>
#include "model/Account.h"
#include "model/StopCommands.h"
#include "remote/RemoteStatus.h"
#include "settings/AcceleratorManager.h"

namespace {

// The lines of a text, the last one last, without their CRs.
std::vector<std::string> LinesOf(std::string log) {
    std::vector<std::string> out;
    log.erase(std::remove(log.begin(), log.end(), '\r'), log.end());
    for (size_t at = 0; at <= log.size();) {
        const size_t end = std::min(log.find('\n', at), log.size());
        out.push_back(log.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

std::string WorkFileText(CMainFrame& w) {
    return ReadFile(g_strSessionInfoDir + w.Data().GetBoxFileName(0, 0));
}

TEST_F(FtpWindowTest, PutAndGetTheSelectionFromTheWindowAndSaveTheResults) {
    MakeFtpArea();
    CMainFrame& w = Open();
    ASSERT_EQ(w.FileList()->topLevelItemCount(), 3);
    SelectRows({0, 1, 2});
    ASSERT_EQ(w.Data().GetSelection(0, 0, 0), (std::vector<int>{0, 1, 2}));

    w.ExecuteCommand(32564);  // F5
    EXPECT_FALSE(w.MessageWindow().isHidden());
    Finish();
    EXPECT_EQ(ReadFile(ServerRoot() + "/my file.txt"), "first line\nsecond line\n");
    EXPECT_EQ(ReadFile(ServerRoot() + "/pic.bin"), ReadFile(Local() + "pic.bin"));
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\n");
    EXPECT_EQ(Count("--- FTP over ---"), 1);
    // Nothing reaches the model before the timer takes the results over.
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 0).IsFTPed, "No");
    Tick();
    for (int r = 0; r < 3; ++r) {
        const CFileItem it = w.Data().GetFileItem(0, 0, 0, r);
        EXPECT_EQ(it.IsFTPed, "Yes") << r;
        EXPECT_EQ(RowText(r).toStdString(), it.FileName);
        EXPECT_EQ(w.Presenter().FileRows()[std::size_t(r)].image, it.GetImageIndex());
        EXPECT_EQ(w.FileList()->topLevelItem(r)->text(1), "127.0.0.1");
    }
    // The session takes the connection's host.
    EXPECT_EQ(w.Data().GetSession(0, 0).Host, "127.0.0.1");

    // The server copy of the name with a blank changes; F4 fetches it.
    WriteFile(ServerRoot() + "/my file.txt", "changed on the server\n");
    SelectRows({0});
    w.ExecuteCommand(32557);  // F4
    Finish();
    Tick();
    EXPECT_EQ(ReadFile(Local() + "my file.txt"), "changed on the server\n");
    EXPECT_EQ(Count("--- FTP over ---"), 2);
    EXPECT_EQ(RowText(0), "my file.txt");  // in sync again: no mark

    w.ExecuteCommand(32580);  // Ctrl+S
    const std::string work = WorkFileText(w);
    for (const char* name : {"FileName=my file.txt,", "FileName=pic.bin,", "FileName=notes.txt,"}) {
        const size_t at = work.find(name);
        ASSERT_NE(at, std::string::npos) << name;
        const std::string line = work.substr(at, work.find('\n', at) - at);
        EXPECT_NE(line.find("IsFTPed=Yes"), std::string::npos) << line;
    }
}

TEST_F(FtpWindowTest, ASecondStartIsRefusedAndStopEndsTheTransferBetweenBlocks) {
    MakeFtpArea();
    // A big binary file: the stop comes long before its end.
    const std::string big = Local() + "big.bin";
    {
        std::ofstream f(big, std::ios::binary);
        std::string block(1 << 20, 'x');
        for (int i = 0; i < 200; ++i) f << block;
    }
    CMainFrame& w = Open();
    CFileItem it = Item("big.bin", Local(), true);
    it.RefreshLocalTime();
    w.Data().InsertFileItems(0, 0, 0, 3, it);
    w.Presenter().ShowSession(0, 0, 0);
    SelectRows({3});
    w.ExecuteCommand(32564);
    EXPECT_FALSE(g_bFtpIdle);
    EXPECT_FALSE(w.Action(32567)->isChecked());  // the stop command's mark: FTP busy
    // Wait until the upload is under way (a new file goes straight).
    ASSERT_TRUE(qvltest::WaitFor([&] {
        std::error_code ec;
        return std::filesystem::file_size(ServerRoot() + "/big.bin", ec) > 0 && !ec;
    }, 10000));
    prompter.entries.clear();
    w.ExecuteCommand(32557);
    ASSERT_EQ(prompter.Messages(), std::vector<std::string>{"One FTP session is already on..."});
    w.ExecuteCommand(32567);  // Stop FTP (Break)
    EXPECT_TRUE(g_bFtpBreak);
    Finish();
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_FALSE(g_bFtpBreak);
    EXPECT_EQ(Count("--- FTP User-aborted ---"), 1) << Log();
    // What arrived of the new file is named as possibly cut; no other name
    // was made.
    EXPECT_EQ(Count("-?- The upload of /big.bin was stopped: the file on the host may be incomplete."), 1) << Log();
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() + "/.big.bin.qvl-part"));
    // The item the stop cut is marked not sent: its row shows it changed
    // here, and auto-sync and the manual sync would send it again.
    Tick();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 3).IsFTPed, "No");
    EXPECT_EQ(RowText(3).toStdString().rfind("*big.bin", 0), 0u) << RowText(3).toStdString();
    EXPECT_EQ(w.Presenter().LocalChangeList(), std::vector<int>{3});
    EXPECT_TRUE(w.Action(32567)->isChecked());
    // FTP is free again.
    SelectRows({2});
    EXPECT_TRUE(w.FtpCommands().StartFtpPutSelected());
    Finish();
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\n");

    // Closing the window during a send over the server's copy leaves that
    // copy. (The server, run as root, leaves every file it writes root's: a
    // file of another user's beside them shows that its listing tells
    // owners apart.)
    WriteFile(ServerRoot() + "/big.bin", "the server's copy\n");
    ASSERT_NO_FATAL_FAILURE(AddAnotherUsersFile());
    SelectRows({3});
    w.ExecuteCommand(32564);
    ASSERT_TRUE(qvltest::WaitFor([&] {
        std::error_code ec;
        return std::filesystem::file_size(ServerRoot() + "/.big.bin.qvl-part", ec) > 0 && !ec;
    }, 10000));
    EXPECT_TRUE(w.close());
    EXPECT_EQ(ReadFile(ServerRoot() + "/big.bin"), "the server's copy\n");
}

// The Pause key in the middle of a file, sending and fetching: the file
// that went whole before it keeps the server's time of it, also after a
// restart, so that F5 asks before it overwrites a later change made on the
// server.
TEST_F(FtpWindowTest, APauseLeavesTheFilesThatWentWholeTheirServerTimes) {
    MakeFtpArea();
    ASSERT_NO_FATAL_FAILURE(UseThrottledServer(256 * 1024));
    WriteFile(Local() + "big.bin", std::string(4 << 20, 'b'));
    CMainFrame& w = Open();
    CFileItem big = Item("big.bin", Local(), true);
    big.RefreshLocalTime();
    w.Data().InsertFileItems(0, 0, 0, 3, big);
    w.Presenter().ShowSession(0, 0, 0);
    const auto press = [&](Qt::Key key) {
        QApplication::processEvents();
        CAcceleratorManager keys;
        keys.Connect(frame.get(), false);
        InstallAccelerators(keys);
        frame->FileList()->setFocus();
        QTest::keyClick(frame->FileList(), key);
        keys.Connect(nullptr, false);
    };
    // The key, then Pause once the second file is on its way.
    const auto pausedInTheSecond = [&](Qt::Key key, const std::string& line) {
        SelectRows({2, 3});
        press(key);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Log().find(line) != std::string::npos; }, 20000)) << Log();
        press(Qt::Key_Pause);
        Finish();
        Tick();
        EXPECT_EQ(Count("--- FTP User-aborted ---"), 1) << Log();
    };
    const auto serverTime = [&] {
        struct stat st {};
        EXPECT_EQ(::stat((ServerRoot() + "/notes.txt").c_str(), &st), 0);
        return st.st_mtime;
    };

    pausedInTheSecond(Qt::Key_F5, "->2/2 big.bin");
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\n");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsFTPed, "Yes");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).RemoteModTime, serverTime()) << Log();

    // Paused while the server has stopped answering: the run ends within
    // seconds, and the file that went whole keeps its time.
    Touch(Local() + "notes.txt", "notes\nsent before the server stopped\n", std::time(nullptr) - 5);
    frame->MessageWindow().Clear();
    SelectRows({2, 3});
    press(Qt::Key_F5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Log().find("->2/2 big.bin") != std::string::npos; }, 20000)) << Log();
    throttled->Freeze();
    const auto paused = std::chrono::steady_clock::now();
    press(Qt::Key_Pause);
    Finish();
    const auto took = std::chrono::steady_clock::now() - paused;
    throttled->Thaw();
    Tick();
    // Where the Pause meets a reply still awaited, the stop waits for it
    // up to its own bound: ample room is left above that wait.
    EXPECT_LT(took, std::chrono::milliseconds(NetTimeoutValues().stopMs + 5000)) << Log();
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nsent before the server stopped\n");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).RemoteModTime, serverTime()) << Log();

    // Changed on the server and fetched, paused in the second file.
    WriteFile(ServerRoot() + "/notes.txt", "notes\nfrom the server\n");
    const std::time_t hourAgo = std::time(nullptr) / 60 * 60 - 3600;
    utimbuf then{hourAgo, hourAgo};
    ASSERT_EQ(::utime((ServerRoot() + "/notes.txt").c_str(), &then), 0);
    WriteFile(ServerRoot() + "/big.bin", std::string(4 << 20, 'B'));
    prompter.entries.clear();
    prompter.answers = {Answer::Yes};  // the stopped file's local copy is fetched over
    frame->MessageWindow().Clear();
    pausedInTheSecond(Qt::Key_F4, "<-2/2 big.bin");
    EXPECT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(ReadFile(Local() + "notes.txt"), "notes\nfrom the server\n");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).RemoteModTime, serverTime()) << Log();

    // Changed here and sent, the window closed (Shift+Esc) while the second
    // file goes: the first keeps its server time, and after a start F5 of
    // it, changed here again, asks nothing.
    Touch(Local() + "notes.txt", "notes\nsent before the close\n", std::time(nullptr) - 5);
    SelectRows({2, 3});
    prompter.entries.clear();
    prompter.answers = {Answer::No};
    press(Qt::Key_F5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Log().find("->2/2 big.bin") != std::string::npos; }, 20000)) << Log();
    {
        CAcceleratorManager keys;
        keys.Connect(frame.get(), false);
        InstallAccelerators(keys);
        frame->FileList()->setFocus();
        QTest::keyClick(frame->FileList(), Qt::Key_Escape, Qt::ShiftModifier);
        keys.Connect(nullptr, false);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame->isVisible(); }, 10000));
    frame.reset();
    Open();
    EXPECT_EQ(frame->Data().GetFileItem(0, 0, 0, 2).RemoteModTime, serverTime());
    Touch(Local() + "notes.txt", "notes\nafter the start\n", std::time(nullptr) - 3);
    SelectRows({2});
    prompter.entries.clear();
    press(Qt::Key_F5);
    Finish();
    Tick();
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nafter the start\n") << Log();

    // Saved and started again; changed on the server once more and here:
    // F5 asks, and No keeps the server's copy.
    frame->ExecuteCommand(32580);  // Ctrl+S
    frame->close();
    frame.reset();
    CMainFrame& again = Open();
    WriteFile(ServerRoot() + "/notes.txt", "notes\nfrom the server again\n");
    utimbuf later{hourAgo + 600, hourAgo + 600};
    ASSERT_EQ(::utime((ServerRoot() + "/notes.txt").c_str(), &later), 0);
    Touch(Local() + "notes.txt", "notes\nfrom here\n", std::time(nullptr) - 5);
    SelectRows({2});
    prompter.entries.clear();
    prompter.answers = {Answer::No};
    press(Qt::Key_F5);
    Finish();
    Tick();
    EXPECT_EQ(prompter.Questions().size(), 1u) << Log();
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nfrom the server again\n");
    EXPECT_EQ(again.Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "Yes");
}

// The Pause key while the run's own look at the server's copies waits on a
// server that does not answer its listing: the run ends within seconds,
// with no question, and every file stays, named as never reached.
TEST_F(FtpWindowTest, APauseWhileTheLookWaitsOnTheServerEndsTheRunWithNoQuestion) {
    CMainFrame& w = OpenWithItemsSent();
    for (int r = 0; r < 3; ++r) ASSERT_EQ(w.Data().GetFileItem(0, 0, 0, r).IsFTPed, "Yes") << Log();
    qvltest::FakeFtpServer fake;
    fake.holdControlAt = "LIST";
    CloseAllConnections();
    UseFakeServer(fake);
    const auto sent = [&](const char* word) {
        for (const std::string& l : fake.Received())
            if (l.rfind(word, 0) == 0) return true;
        return false;
    };
    const auto pressed = std::chrono::steady_clock::now();
    // The listing's command is held unread once its data connection is asked for.
    ASSERT_TRUE(PressThenPause({0, 1, 2}, Qt::Key_F5, [&] { return sent("PASV"); })) << Log();
    const auto took = std::chrono::steady_clock::now() - pressed;
    EXPECT_LT(took, std::chrono::milliseconds(NetTimeoutValues().stopMs + 5000)) << Log();
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    EXPECT_FALSE(sent("STOR"));
    EXPECT_EQ(Count("--- FTP aborted-(2) ---"), 1) << Log();
    EXPECT_EQ(Count("(the run ended before its turn)"), 3) << Log();
    EXPECT_EQ(Count("could not be looked at"), 0) << Log();
    CloseAllConnections();
}

// An item without a folder cannot go: F5 puts it on the failure list and
// sends the rest, without a dialog; an item without its user asks for the
// login and the rest go when it is cancelled. "Open File" of remote items
// never fetched does the same on demand: its status text says so, and the
// failure list comes before the end line.
TEST_F(FtpWindowTest, AnItemWithoutAFolderGoesOnTheFailureListAndTheRestGo) {
    MakeFtpArea();
    CMainFrame& w = Open();
    CAcceleratorManager keys;
    keys.Connect(&w, false);
    InstallAccelerators(keys);
    QApplication::processEvents();  // the window becomes the active one
    auto press = [&](Qt::Key key) {
        w.FileList()->setFocus();
        QTest::keyClick(w.FileList(), key);
    };
    // The Message Window's lines, the last one last.
    auto lines = [&] { return LinesOf(Log()); };
    std::vector<std::string> dialogs;
    CFileListCommands::s_runModal = [&](QDialog& d) {
        dialogs.push_back(d.windowTitle().toStdString());
        d.reject();
        return d.result();
    };
    w.Data().GetFileItemPtr(0, 0, 0, 1)->RemoteDir.clear();  // pic.bin
    SelectRows({0, 1, 2});
    w.ExecuteCommand(32574);  // auto-sync on
    ASSERT_TRUE(g_bAutoSync);
    prompter.entries.clear();
    press(Qt::Key_F5);
    Finish();
    EXPECT_EQ(dialogs, std::vector<std::string>{});
    EXPECT_EQ(ReadFile(ServerRoot() + "/my file.txt"), "first line\nsecond line\n");
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\n");
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() + "/pic.bin"));
    EXPECT_EQ(lines(), (std::vector<std::string>{"Failed to transfer the following:", "   1. pic.bin",
                                                  "--- FTP over ---"}));
    EXPECT_FALSE(g_bAutoSync);  // it would try the item again every second
    Tick();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 0).IsFTPed, "Yes");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 1).IsFTPed, "failed");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsFTPed, "Yes");

    // Without their host the items ask for the login once; Cancel skips
    // them, saying so, and naming the host they lack; the rest go.
    std::filesystem::remove(ServerRoot() + "/notes.txt");
    WriteFile(Local() + "my file.txt", "changed\n");
    for (int r : {0, 1}) w.Data().GetFileItemPtr(0, 0, 0, r)->RemHost.clear();
    w.Data().GetFileItemPtr(0, 0, 0, 1)->RemoteDir = "/";
    SelectRows({0, 1, 2});
    prompter.logins = {std::nullopt};
    press(Qt::Key_F5);
    Finish();
    EXPECT_EQ(dialogs, std::vector<std::string>{});
    int logins = 0;
    for (const auto& e : prompter.entries) logins += e.kind == "login";
    EXPECT_EQ(logins, 1);
    EXPECT_EQ(Count("-?- Login cancelled."), 1) << Log();
    EXPECT_EQ(Count("-?- Login failed."), 0) << Log();
    EXPECT_EQ(Count("\n(no host) is not connected. pic.bin is skipped."), 1) << Log();
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() + "/pic.bin"));
    EXPECT_EQ(ReadFile(ServerRoot() + "/my file.txt"), "first line\nsecond line\n");
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\n");
    EXPECT_EQ(lines().back(), "--- FTP over ---");
    CFileListCommands::s_runModal = nullptr;
    Tick();

    // "Open File" (Enter) of two remote items never fetched, one without
    // its remote folder: the other is fetched, nothing is opened.
    ScopedEnv editor("VISUAL", "/bin/true");
    std::filesystem::create_directories(ServerRoot() + "/pub");
    WriteFile(ServerRoot() + "/pub/readme.txt", "from the server\n");
    for (const char* name : {"readme.txt", "lost.txt"}) {
        CFileItem it = Item(name, Local() + "fetched/");
        it.FileType = "remote";
        it.RemoteDir = name == std::string("readme.txt") ? "/pub/" : "";
        w.Data().InsertFileItems(0, 0, 0, w.Data().GetFileItemCount(0, 0, 0), it);
    }
    w.Presenter().ShowSession(0, 0, 0);
    SelectRows({3, 4});
    w.MessageWindow().SetText("");
    press(Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_EQ(ReadFile(Local() + "fetched/readme.txt"), "from the server\n");
    EXPECT_EQ(lines(), (std::vector<std::string>{"Failed to transfer the following:", "   1. lost.txt",
                                                  "--- FTP over ---"}));
    QLineEdit* pane = w.findChild<QLineEdit*>("2177");
    const QString status = pane->text();
    EXPECT_TRUE(status.startsWith(" (On-Demand) 0:0:") && status.endsWith("+")) << status.toStdString();
    // The pane shows all of it.
    EXPECT_LE(pane->fontMetrics().horizontalAdvance(status) + 8, pane->width()) << pane->width();
    Tick();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 3).IsFTPed, "Yes");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 4).IsFTPed, "failed");
    keys.Connect(nullptr, false);
}

// A login that the user cancels after stopping FTP (what the stop command does).
class StopAtLoginPrompter : public RecordingPrompter {
public:
    std::optional<LoginData> AskLogin(const LoginData& start) override {
        OnStopFtp();
        return RecordingPrompter::AskLogin(start);
    }
};

// Put All goes through the selected baskets in row order. One list at the
// end of the run names every item of every basket that did not go, with
// its reason where no line above it gives one; so does a run stopped on
// its way, naming the items it never reached.
TEST_F(FtpWindowTest, AllItemsOfTheSelectedBasketsGoInRowOrderAndAllReachTheModel) {
    MakeFtpArea();
    CMainFrame& w = Open();
    w.Data().InsertBasket("Empty", 0, 0, 1);  // between "One" and "Two"
    w.Presenter().ShowSession(0, 0, 0);
    ASSERT_EQ(w.BasketList()->topLevelItemCount(), 3);
    // The FTP toolbar's "To Remote" button (all items of the selected baskets).
    QToolBar* bar = w.ToolBar(141);
    bar->show();
    const auto pressPutAll = [&] { QTest::mouseClick(bar->widgetForAction(w.Action(32565)), Qt::LeftButton); };
    for (int r = 0; r < 3; ++r) w.BasketList()->topLevelItem(r)->setSelected(true);
    pressPutAll();
    Finish();
    for (const char* n : {"my file.txt", "pic.bin", "notes.txt", "other.txt"})
        EXPECT_TRUE(std::filesystem::exists(ServerRoot() + "/" + n)) << n;
    const std::string log = Log();
    EXPECT_LT(log.find("notes.txt"), log.find("other.txt"));
    Tick();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 0).IsFTPed, "Yes");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 2, 0).IsFTPed, "Yes");  // the other basket too

    // The server refuses a file of "One"; an item of "Two" has no remote folder.
    const auto lines = [&] { return LinesOf(Log()); };
    const auto tail = [&](size_t n) {
        const std::vector<std::string> all = lines();
        return std::vector<std::string>(all.end() - static_cast<long>(std::min(n, all.size())), all.end());
    };
    w.Data().GetFileItemPtr(0, 0, 0, 2)->RemoteDir = "/no such folder/";  // notes.txt
    w.Data().GetFileItemPtr(0, 0, 2, 0)->RemoteDir.clear();               // other.txt
    const auto putAll = [&] {
        w.MessageWindow().SetText("");
        for (int r = 0; r < 3; ++r) w.BasketList()->topLevelItem(r)->setSelected(true);
        pressPutAll();
    };
    putAll();
    Finish();
    EXPECT_EQ(tail(4), (std::vector<std::string>{"Failed to transfer the following:", "   1. notes.txt",
                                                  "   2. other.txt (no remote folder)", "--- FTP over ---"}))
        << Log();
    EXPECT_EQ(Count("-?- The remote folder /no such folder/ does not exist"), 1) << Log();
    Tick();

    // Stopped at the first item's login, the run names that item and every
    // item after it, in both baskets.
    w.Data().GetFileItemPtr(0, 0, 0, 2)->RemoteDir = "/";
    w.Data().GetFileItemPtr(0, 0, 2, 0)->RemoteDir = "/";
    w.Data().GetFileItemPtr(0, 0, 0, 0)->RemUser = "nobody";  // asks for its login
    {
        StopAtLoginPrompter stopper;
        ScopedPrompter scoped(stopper);
        putAll();
        Finish();
    }
    EXPECT_EQ(tail(6), (std::vector<std::string>{"Failed to transfer the following:", "   1. my file.txt",
                                                  "   2. pic.bin (the run ended before its turn)",
                                                  "   3. notes.txt (the run ended before its turn)",
                                                  "   4. other.txt (the run ended before its turn)",
                                                  "--- FTP aborted-(2) ---"}))
        << Log();
    EXPECT_EQ(Count("-?- Login failed."), 1) << Log();
    Tick();

    // All in step again; Two holds notes.txt and my file.txt as well. The
    // status check has marked notes.txt and other.txt (edited here as
    // well) changed on the server, and my file.txt changed there unseen.
    // One question for the run names each once; answered No, each held
    // file is named once, in the closing list with its reason, "too" only
    // for other.txt.
    w.Data().GetFileItemPtr(0, 0, 0, 0)->RemUser = qvltest::kUser;
    putAll();
    Finish();
    Tick();
    ASSERT_EQ(Count("Failed to transfer"), 0) << Log();
    w.Data().InsertFileItems(0, 0, 2, 1, w.Data().GetFileItem(0, 0, 0, 2));
    w.Data().InsertFileItems(0, 0, 2, 2, w.Data().GetFileItem(0, 0, 0, 0));
    w.Data().GetFileItemPtr(0, 0, 0, 2)->IsRemoteModified = "Yes";
    w.Data().GetFileItemPtr(0, 0, 2, 1)->IsRemoteModified = "Yes";
    w.Data().GetFileItemPtr(0, 0, 2, 0)->IsRemoteModified = "Yes";
    Touch(Local() + "other.txt", "other, edited here\n", std::time(nullptr) - 5);
    WriteFile(ServerRoot() + "/my file.txt", "edited on the server\n");
    utimbuf old{1000000000, 1000000000};
    ASSERT_EQ(::utime((ServerRoot() + "/my file.txt").c_str(), &old), 0);
    prompter.entries.clear();
    putAll();
    Finish();
    ASSERT_EQ(prompter.Questions().size(), 1u) << Log();
    const std::string question = prompter.Questions()[0];
    for (const char* n : {"other.txt", "notes.txt", "my file.txt"}) {
        const std::string file = Local() + n + "  (127.0.0.1:/" + n + ")";
        const size_t named = question.find(file);
        EXPECT_NE(named, std::string::npos) << question;
        EXPECT_EQ(question.find(file, named + 1), std::string::npos) << question;
    }
    EXPECT_EQ(tail(5), (std::vector<std::string>{
                           "Failed to transfer the following:",
                           "   1. my file.txt (changed on the server since the last transfer; not sent)",
                           "   2. notes.txt (changed on the server since the last transfer; not sent)",
                           "   3. other.txt (changed on the server too since the last transfer; not sent)",
                           "--- FTP over ---"}))
        << Log();
    EXPECT_EQ(ReadFile(ServerRoot() + "/my file.txt"), "edited on the server\n");
    EXPECT_EQ(ReadFile(ServerRoot() + "/other.txt"), "other\n");
    Tick();

    // Two's files go to another account (the same server by the name
    // localhost). One's files stay marked; Two's my file.txt changed on the
    // server unseen, which only the run's own look on that account finds.
    // Still one question, before anything is sent, for both accounts; No
    // keeps the server's copy.
    w.Data().AddHost("localhost", qvltest::kUser, qvltest::kPassword, 0, 1);
    for (int r = 0; r < 3; ++r) {
        w.Data().GetFileItemPtr(0, 0, 2, r)->RemHost = "localhost";
        w.Data().GetFileItemPtr(0, 0, 2, r)->IsRemoteModified = "No";
    }
    w.Presenter().ShowSession(0, 0, 0);
    prompter.entries.clear();
    putAll();
    Finish();
    ASSERT_EQ(prompter.Questions().size(), 1u) << Log();
    for (const std::string file : {Local() + "my file.txt  (127.0.0.1:/my file.txt)",
                                   Local() + "notes.txt  (127.0.0.1:/notes.txt)",
                                   Local() + "my file.txt  (localhost:/my file.txt)"})
        EXPECT_NE(prompter.Questions()[0].find(file), std::string::npos) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(ServerRoot() + "/my file.txt"), "edited on the server\n");
    EXPECT_EQ(ReadFile(ServerRoot() + "/other.txt"), "other, edited here\n") << Log();
    Tick();

    // The login to that account cancelled in the look: asked once, and
    // Two's files are not sent, each named.
    for (int r = 0; r < 3; ++r) w.Data().GetFileItemPtr(0, 0, 2, r)->RemUser = "nobody";
    Touch(Local() + "other.txt", "other, edited again\n", std::time(nullptr) - 3);
    prompter.entries.clear();
    putAll();
    Finish();
    int logins = 0;
    for (const auto& e : prompter.entries) logins += e.kind == "login";
    EXPECT_EQ(logins, 1) << Log();
    EXPECT_EQ(Count("localhost is not connected. "), 3) << Log();
    EXPECT_EQ(ReadFile(ServerRoot() + "/other.txt"), "other, edited here\n") << Log();
    Tick();

    // Given there with the test user instead, the login renames the account
    // of Two's files for the run and the model; still one login, one question.
    prompter.entries.clear();
    prompter.logins = {LoginData{"localhost", qvltest::kUser, qvltest::kPassword, "", false}};
    putAll();
    Finish();
    logins = 0;
    for (const auto& e : prompter.entries) logins += e.kind == "login";
    EXPECT_EQ(logins, 1) << Log();
    EXPECT_EQ(prompter.Questions().size(), 1u) << Log();
    EXPECT_EQ(ReadFile(ServerRoot() + "/other.txt"), "other, edited again\n") << Log();
    Tick();
    for (int r = 0; r < 3; ++r) EXPECT_EQ(w.Data().GetFileItem(0, 0, 2, r).RemUser, qvltest::kUser) << r;

    // No basket selected: the worker ends at once.
    w.BasketList()->clearSelection();
    w.MessageWindow().SetText("");
    w.ExecuteCommand(32558);
    Finish();
    EXPECT_EQ(Count("--- FTP over ---"), 1);
}

TEST_F(FtpWindowTest, RemoteStatusMarksChangedAndMissingAndManualSyncFetchesThem) {
    CMainFrame& w = OpenWithItemsSent();
    // A server that refuses the folder's listing: the check says so, names
    // the folder, and nothing reads as in sync.
    {
        qvltest::FakeFtpServer fake;
        fake.replies["LIST"] = "451 Requested action aborted: local error in processing.\r\n";
        CloseAllConnections();
        UseFakeServer(fake);
        w.ExecuteCommand(32562);  // Get status of remote files
        Finish();
        Tick();
        EXPECT_EQ(Count("-?- Failed to get verbose listing of / on 127.0.0.1. Requested action aborted"), 1)
            << Log();
        EXPECT_EQ(Count("-?- The status of the remote files in / on 127.0.0.1 is not known: the check failed."), 1)
            << Log();
        EXPECT_EQ(Count("Remote files are in sync."), 0) << Log();
        for (int r = 0; r < 3; ++r) EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, r).IsRemoteModified, "No") << r;
        CloseAllConnections();
        port.reset();
        port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(server->port()).c_str());
    }
    // On the server "notes.txt" gets an old time, "pic.bin" goes away.
    utimbuf old{1000000000, 1000000000};
    ASSERT_EQ(::utime((ServerRoot() + "/notes.txt").c_str(), &old), 0);
    WriteFile(ServerRoot() + "/notes.txt", "notes from the server\n");
    ::utime((ServerRoot() + "/notes.txt").c_str(), &old);
    std::filesystem::remove(ServerRoot() + "/pic.bin");

    w.ExecuteCommand(32562);  // Get status of remote files
    Finish();
    EXPECT_EQ(Count("--- Checking status of remote files ---"), 2);  // the refused one too
    Tick();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "Yes");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 1).IsRemoteMissing, "Yes");
    EXPECT_EQ(w.Presenter().FileRows()[2].image, 29);
    EXPECT_EQ(w.Presenter().FileRows()[1].image, 28);
    EXPECT_NE(Log().find("1 modified in remote system.\r\n1 missing in remote system.\r\n"
                         "1 ready for transfer to local."),
              std::string::npos)
        << Log();
    EXPECT_EQ(w.Presenter().RemoteChangeList(), std::vector<int>{2});
    EXPECT_FALSE(w.Action(32568)->isChecked());

    // The fetch fails (the server's file is away for a moment): the sync is
    // not done, the file stays on the list, and the next sync fetches it.
    QToolBar* bar = w.ToolBar(141);
    bar->show();
    const auto syncToLocal = [&] {
        QTest::mouseClick(bar->widgetForAction(w.Action(32568)), Qt::LeftButton);  // Manual sync to local
        Finish();
        Tick();
    };
    std::filesystem::rename(ServerRoot() + "/notes.txt", ServerRoot() + "/notes.away");
    const int runs = Count("--- FTP over ---");
    syncToLocal();
    EXPECT_EQ(Count("--- FTP over ---"), runs + 1) << Log();
    EXPECT_EQ(Count("   1. notes.txt"), 1) << Log();
    EXPECT_EQ(ReadFile(Local() + "notes.txt"), "notes\n");
    EXPECT_EQ(w.Presenter().RemoteChangeList(), std::vector<int>{2});
    EXPECT_EQ(w.Presenter().RemoteChangesFetched(), 0);
    EXPECT_FALSE(w.Action(32568)->isChecked());
    std::filesystem::rename(ServerRoot() + "/notes.away", ServerRoot() + "/notes.txt");

    syncToLocal();
    EXPECT_EQ(Count("--- FTP over ---"), runs + 2) << Log();
    EXPECT_EQ(ReadFile(Local() + "notes.txt"), "notes from the server\n");
    EXPECT_TRUE(w.Presenter().RemoteChangeList().empty());
    EXPECT_EQ(w.Presenter().RemoteChangesFetched(), 1);
    EXPECT_TRUE(w.Action(32568)->isChecked());
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "No");

    // A Windows server lists in DOS form, to the minute of each file's last
    // transfer; MDTM tells another second within that minute: the toolbar's
    // check marks them changed.
    {
        qvltest::FakeFtpServer fake;
        fake.systReply = "215 Windows_NT\r\n";
        const std::time_t minute = (std::time(nullptr) - 3 * 86400) / 60 * 60;
        for (int r = 0; r < 3; ++r) {
            CFileItem* it = w.Data().GetFileItemPtr(0, 0, 0, r);
            it->IsRemoteModified = it->IsRemoteMissing = "No";
            it->IsFTPed = "Yes";
            it->RemoteModTime = minute + r * 60 + 10;
            it->RemoteSecondKnown = true;
            std::tm at{};
            localtime_r(&it->RemoteModTime, &at);
            char line[256];
            std::snprintf(line, sizeof line, "%02d-%02d-%02d  %02d:%02d%s                   14 %s\r\n",
                          at.tm_mon + 1, at.tm_mday, at.tm_year % 100, (at.tm_hour + 11) % 12 + 1, at.tm_min,
                          at.tm_hour < 12 ? "AM" : "PM", it->FileName.c_str());
            fake.listing += line;
        }
        fake.replies["MDTM"] = "213 20200101000040\r\n";  // only its second counts here
        CloseAllConnections();
        UseFakeServer(fake);
        QTest::mouseClick(bar->widgetForAction(w.Action(32562)), Qt::LeftButton);  // Get status of remote files
        Finish();
        Tick();
        for (int r = 0; r < 3; ++r) EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, r).IsRemoteModified, "Yes") << r << Log();
        EXPECT_EQ(Count("Remote files are in sync."), 0) << Log();
        CloseAllConnections();
    }
    bar->hide();
}

TEST_F(FtpWindowTest, AutoSyncSendsAChangedLocalItemByItselfAndOnlyOnce) {
    CMainFrame& w = OpenWithItemsSent();
    w.ExecuteCommand(32574);  // auto-sync on
    EXPECT_TRUE(w.Action(32574)->isChecked());
    // Nothing changed: ticks check and start nothing.
    Tick(3);
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_EQ(Count("--- FTP over ---"), 1);

    Touch(Local() + "notes.txt", "edited here\n", std::time(nullptr) - 5);
    Tick();  // finds the change and starts the sync
    Finish();
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "edited here\n");
    EXPECT_EQ(Count("--- FTP over ---"), 2);
    Tick();  // takes the result over; in sync again
    EXPECT_EQ(RowText(2), "notes.txt");
    EXPECT_TRUE(w.Presenter().LocalChangeList().empty());
    EXPECT_TRUE(w.Action(32569)->isChecked());
    Tick(2);
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_EQ(Count("--- FTP over ---"), 2);
    EXPECT_TRUE(g_bAutoSync);

    // Changed on the server too: auto-sync never overwrites it, it names it once.
    WriteFile(ServerRoot() + "/notes.txt", "edited on the server\n");
    utimbuf old{1000000000, 1000000000};
    ASSERT_EQ(::utime((ServerRoot() + "/notes.txt").c_str(), &old), 0);
    w.ExecuteCommand(32562);  // Get status of remote files
    Finish();
    Tick();
    ASSERT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "Yes");
    Touch(Local() + "notes.txt", "edited here again\n", std::time(nullptr) - 3);
    const int runs = Count("--- FTP over ---");
    Tick(3);
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_EQ(Count("--- FTP over ---"), runs);
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "edited on the server\n");
    EXPECT_EQ(ReadFile(Local() + "notes.txt"), "edited here again\n");
    EXPECT_EQ(Count("-?- Not sent: " + Local() + "notes.txt -> 127.0.0.1:/notes.txt (changed on the server too"), 1)
        << Log();
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_TRUE(g_bAutoSync);
}

// Both copies of notes.txt change after a transfer; the remote status marks
// the server's. F4, F5 and the two manual syncs ask once, naming the file;
// No leaves it as it is on both sides and lets the rest go, Yes overwrites.
// A run whose every file stays says so in its closing list. Before that:
// an edit made in the very second of a fetch is seen.
TEST_F(FtpWindowTest, AFileChangedOnBothSidesIsOverwrittenOnlyWhenTheUserSaysSo) {
    CMainFrame& w = OpenWithItemsSent();
    CAcceleratorManager keys;
    keys.Connect(&w, false);
    InstallAccelerators(keys);
    auto press = [&](Qt::Key key) {
        w.FileList()->setFocus();
        QTest::keyClick(w.FileList(), key);
    };
    // The key pressed with the program's own boxes, the user's hand on
    // Enter at each (No, their default): the boxes' texts, and the Message
    // Window's lines once the run is over.
    QtPrompter dialogs;
    dialogs.SetParentWindow(&w);
    std::vector<std::string> boxes;
    QTimer hand;
    AnswerEveryBoxWithEnter(hand, boxes);
    const auto pressAnsweringWithEnter = [&](Qt::Key key) {
        ScopedPrompter use(dialogs);
        boxes.clear();
        w.MessageWindow().SetText("");
        hand.start(20);
        press(key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return JoinFtpWorker(0) && Log().find("--- FTP") != std::string::npos; },
                                    20000))
            << Log();
        hand.stop();
        Tick();
        // The window is the active one again once the box is gone.
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        return LinesOf(Log());
    };
    const std::string notes = Local() + "notes.txt";

    SelectRows({2});
    press(Qt::Key_F4);
    Finish();
    Tick();
    ASSERT_EQ(Count("--- FTP over ---"), 2);
    // A line added within the second the fetch wrote the file.
    struct stat st {};
    ASSERT_EQ(::stat(notes.c_str(), &st), 0);
    const std::string edited = "notes\na\n";
    WriteFile(notes, edited);
    const timespec same[2] = {{st.st_mtim.tv_sec, (st.st_mtim.tv_nsec + 1) % 1000000000},
                              {st.st_mtim.tv_sec, (st.st_mtim.tv_nsec + 1) % 1000000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, notes.c_str(), same, 0), 0);
    w.ExecuteCommand(32555);  // Get status of local files
    EXPECT_NE(Log().find("1 modified in local area."), std::string::npos) << Log();
    EXPECT_TRUE(RowText(2).startsWith("*")) << RowText(2).toStdString();

    // F4 over the local edit alone asks too, naming only that file; No keeps
    // line a and fetches the rest.
    // F4 on pic.bin and notes.txt once the server's pic.bin changed,
    // answered No: what was asked.
    const auto fetchBothAnsweringNo = [&](const std::string& picture) {
        WriteFile(ServerRoot() + "/pic.bin", picture);
        SelectRows({1, 2});
        prompter.entries.clear();
        prompter.answers = {Answer::No};
        press(Qt::Key_F4);
        Finish();
        Tick();
        return prompter.Questions();
    };
    int runs = Count("--- FTP over ---");
    // No periodic look at the files puts a lost mark back meanwhile.
    const bool autoUpdate = g_bAutoUpdate;
    g_bAutoUpdate = false;
    auto asked = fetchBothAnsweringNo("new picture");
    ASSERT_EQ(asked.size(), 1u);
    std::string question = asked[0];
    EXPECT_NE(question.find("These files were changed here since their last transfer:\r\n   " + notes +
                            "  (127.0.0.1:/notes.txt)\r\n\r\n"),
              std::string::npos)
        << question;
    EXPECT_EQ(ReadFile(notes), edited);
    EXPECT_EQ(ReadFile(Local() + "pic.bin"), ReadFile(ServerRoot() + "/pic.bin"));
    EXPECT_EQ(Count("--- FTP over ---"), ++runs);
    // The file held back keeps its mark and stays among the local changes.
    EXPECT_TRUE(RowText(2).startsWith("*")) << RowText(2).toStdString();
    EXPECT_EQ(w.Presenter().LocalChangeList(), std::vector<int>{2});
    // F4 on it alone, Enter: nothing is fetched, and the run says why.
    SelectRows({2});
    EXPECT_EQ(pressAnsweringWithEnter(Qt::Key_F4),
              (std::vector<std::string>{"Failed to transfer the following:",
                                        "   1. notes.txt (changed here since the last transfer; not fetched)",
                                        "--- FTP over ---"}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("These files were changed here since their last transfer:"), std::string::npos)
        << boxes[0];
    EXPECT_EQ(ReadFile(notes), edited);
    g_bAutoUpdate = autoUpdate;

    // The server's copy changes too, and the remote status marks it.
    WriteFile(ServerRoot() + "/notes.txt", "notes\nb\n");
    utimbuf old{1000000000, 1000000000};
    ASSERT_EQ(::utime((ServerRoot() + "/notes.txt").c_str(), &old), 0);
    w.ExecuteCommand(32562);
    Finish();
    Tick();
    ASSERT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "Yes");

    // F4 on pic.bin and notes.txt, No: pic.bin is fetched, notes.txt keeps line a.
    runs = Count("--- FTP over ---");
    asked = fetchBothAnsweringNo("newer picture");
    ASSERT_EQ(asked.size(), 1u);
    question = asked[0];
    EXPECT_NE(question.find("changed here and on the server"), std::string::npos) << question;
    EXPECT_NE(question.find(notes + "  (127.0.0.1:/notes.txt)"), std::string::npos) << question;
    EXPECT_EQ(question.find("pic.bin"), std::string::npos) << question;
    EXPECT_NE(question.find("The changes made here are lost."), std::string::npos) << question;
    EXPECT_EQ(ReadFile(notes), edited);
    EXPECT_EQ(ReadFile(Local() + "pic.bin"), ReadFile(ServerRoot() + "/pic.bin"));
    EXPECT_EQ(Count("--- FTP over ---"), ++runs);

    // F5, Enter: the server keeps line b; nothing else was asked for,
    // nothing is sent, and the run says why.
    SelectRows({2});
    const std::vector<std::string> sent = pressAnsweringWithEnter(Qt::Key_F5);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(sent.end() - 3, sent.end()),
              (std::vector<std::string>{
                  "Failed to transfer the following:",
                  "   1. notes.txt (changed on the server too since the last transfer; not sent)",
                  "--- FTP over ---"}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("The changes made on the server are lost."), std::string::npos) << boxes[0];
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nb\n");

    // The manual syncs ask the same.
    EXPECT_EQ(w.Presenter().RemoteChangeList(), std::vector<int>{2});
    w.ExecuteCommand(32555);
    EXPECT_EQ(w.Presenter().LocalChangeList(), std::vector<int>{2});
    prompter.entries.clear();
    prompter.answers = {Answer::No, Answer::No};
    w.MessageWindow().SetText("");
    w.Action(32568)->trigger();  // Manual sync to local
    Finish();
    w.Action(32569)->trigger();  // Manual sync to remote
    Finish();
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_EQ(prompter.Questions().size(), 2u);
    EXPECT_EQ(Count("--- FTP over ---"), 2);
    EXPECT_EQ(Count("changed on the server too since the last transfer; not sent)"), 1) << Log();
    EXPECT_EQ(Count("changed here too since the last transfer; not fetched)"), 1) << Log();
    EXPECT_EQ(ReadFile(notes), edited);
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nb\n");
    EXPECT_EQ(w.Presenter().RemoteChangeList(), std::vector<int>{2});

    // "Run bat file" sends the command file before it runs it: its button
    // asks the same, and No leaves the server's copy and runs nothing.
    w.Data().GetFileItemPtr(0, 0, 0, 2)->IsBatFile = true;
    QToolBar* bar = w.ToolBar(141);
    bar->show();
    SelectRows({2});
    prompter.entries.clear();
    prompter.answers = {Answer::No};
    QTest::mouseClick(bar->widgetForAction(w.Action(32566)), Qt::LeftButton);
    EXPECT_TRUE(g_bFtpIdle);
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_NE(prompter.Questions()[0].find(notes + "  (127.0.0.1:/notes.txt)"), std::string::npos)
        << prompter.Questions()[0];
    EXPECT_NE(prompter.Questions()[0].find("The changes made on the server are lost."), std::string::npos);
    EXPECT_TRUE(prompter.Messages().empty());
    Finish();
    EXPECT_EQ(Count("--- FTP"), Count("--- FTP over ---"));
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nb\n");
    bar->hide();
    w.Data().GetFileItemPtr(0, 0, 0, 2)->IsBatFile = false;

    // Yes: the local copy goes, and both sides are in step again.
    prompter.entries.clear();
    prompter.answers = {Answer::Yes};
    press(Qt::Key_F5);
    Finish();
    Tick();
    EXPECT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), edited);
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "No");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).GetLocalStatus(), "");

    // other.txt (basket Two) was never sent or fetched, and the server has
    // another text: F4 asks before it replaces the local one, No keeps it
    // and the closing list says why; "To Local", Yes, fetches it.
    WriteFile(ServerRoot() + "/other.txt", "other, as the server has it\n");
    w.Presenter().OnBasketClicked({1});
    ASSERT_EQ(RowText(0), "other.txt");
    SelectRows({0});
    prompter.entries.clear();
    prompter.answers = {Answer::No};
    w.MessageWindow().SetText("");
    press(Qt::Key_F4);
    Finish();
    Tick();
    ASSERT_EQ(prompter.Questions().size(), 1u) << Log();
    EXPECT_NE(prompter.Questions()[0].find("no transfer of them is on record:\r\n   " + Local() +
                                           "other.txt  (127.0.0.1:/other.txt)\r\n"),
              std::string::npos)
        << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(Local() + "other.txt"), "other\n");
    EXPECT_EQ(Count("   1. other.txt (the local file differs from the server's and no transfer of it is on record; "
                    "not fetched)"),
              1)
        << Log();
    prompter.entries.clear();
    prompter.answers = {Answer::Yes};
    w.BasketList()->clearSelection();
    w.BasketList()->topLevelItem(1)->setSelected(true);
    bar->show();
    QTest::mouseClick(bar->widgetForAction(w.Action(32558)), Qt::LeftButton);  // "To Local "
    Finish();
    Tick();
    EXPECT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(ReadFile(Local() + "other.txt"), "other, as the server has it\n");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 1, 0).IsFTPed, "Yes");
    keys.Connect(nullptr, false);
}

// The first fetch over local copies of files no transfer is on record for,
// over two baskets. notes.txt, in both and other than the server's, is
// asked about once (No keeps it, named once); a file added from the
// server's listing (no local time) is compared, not called changed here;
// copies that hold the server's bytes are not received again. Stopped
// (the Pause key) while a file comes down, the run names notes.txt, which
// the user kept before the stop, with its own reason.
TEST_F(FtpWindowTest, GetAllAsksOnceOverBasketsAndAStopKeepsTheReasonOfAFileKeptBeforeIt) {
    MakeFtpArea();
    for (const char* n : {"my file.txt", "pic.bin", "other.txt"})
        WriteFile(ServerRoot() + "/" + n, ReadFile(Local() + n));
    WriteFile(ServerRoot() + "/notes.txt", "notes, as the server has them\n");
    WriteFile(ServerRoot() + "/listed.txt", "listed\n");
    WriteFile(Local() + "listed.txt", "listed\n");
    struct stat picBefore {};
    ASSERT_EQ(::stat((Local() + "pic.bin").c_str(), &picBefore), 0);
    CMainFrame& w = Open();
    CFileItem notes = Item("notes.txt", Local());
    notes.RefreshLocalTime();
    w.Data().InsertFileItems(0, 0, 1, 1, notes);
    CFileItem listed = Item("listed.txt", Local());
    listed.FileType = "remote";  // as the remote browser adds it
    w.Data().InsertFileItems(0, 0, 1, 2, listed);
    w.Presenter().ShowSession(0, 0, 0);
    QToolBar* bar = w.ToolBar(141);
    bar->show();
    w.BasketList()->topLevelItem(0)->setSelected(true);
    w.BasketList()->topLevelItem(1)->setSelected(true);
    prompter.entries.clear();
    prompter.answers = {Answer::No};
    QTest::mouseClick(bar->widgetForAction(w.Action(32558)), Qt::LeftButton);  // "To Local "
    Finish();
    Tick();
    ASSERT_EQ(prompter.Questions().size(), 1u) << Log();
    const std::string question = prompter.Questions()[0];
    const std::string named = Local() + "notes.txt  (127.0.0.1:/notes.txt)";
    EXPECT_NE(question.find("no transfer of them is on record:\r\n   " + named + "\r\n\r\n"), std::string::npos)
        << question;
    EXPECT_EQ(ReadFile(Local() + "notes.txt"), "notes\n");
    EXPECT_EQ(Count("notes.txt (the local file differs from the server's and no transfer of it is on record; not "
                    "fetched)"),
              1)
        << Log();
    EXPECT_EQ(Count("the run ended before its turn"), 0) << Log();
    for (const auto& [b, r] : {std::pair{0, 0}, {0, 1}, {1, 0}, {1, 2}})
        EXPECT_EQ(w.Data().GetFileItem(0, 0, b, r).IsFTPed, "Yes") << w.Data().GetFileItem(0, 0, b, r).FileName;
    struct stat picAfter {};
    ASSERT_EQ(::stat((Local() + "pic.bin").c_str(), &picAfter), 0);
    EXPECT_EQ(picAfter.st_ino, picBefore.st_ino) << "received again";

    // A big file (with a fetch on record) before notes.txt: the question
    // comes first, then the Pause key stops the big file's fetch.
    {
        std::ofstream f(ServerRoot() + "/big.bin", std::ios::binary);
    }
    std::filesystem::resize_file(ServerRoot() + "/big.bin", 2ll << 30);
    CFileItem big = Item("big.bin", Local(), true);
    big.IsFTPed = "Yes";
    w.Data().InsertFileItems(0, 0, 0, 0, big);
    w.Presenter().ShowSession(0, 0, 0);
    ASSERT_EQ(RowText(0), "~big.bin");  // not here yet
    const auto partOfBig = [&] {
        for (const auto& e : std::filesystem::directory_iterator(Local())) {
            const std::string n = e.path().filename().string();
            std::error_code ec;
            if (n.rfind("big.bin.", 0) == 0 && std::filesystem::file_size(e.path(), ec) > 0 && !ec) return true;
        }
        return false;
    };
    ASSERT_TRUE(PressThenPause({0, 3}, Qt::Key_F4, partOfBig)) << Log();
    EXPECT_EQ(prompter.Questions().size(), 1u) << Log();
    EXPECT_EQ(Count("   1. big.bin (stopped)"), 1) << Log();
    EXPECT_FALSE(std::filesystem::exists(Local() + "big.bin"));
    const std::vector<std::string> lines = LinesOf(Log());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "   2. notes.txt (the local file differs from the server's and no transfer of it is on record; "
                        "not fetched)"),
              lines.end())
        << Log();
    EXPECT_EQ(Count("the run ended before its turn"), 0) << Log();
    EXPECT_EQ(ReadFile(Local() + "notes.txt"), "notes\n");
}

// notes.txt was fetched before and is edited here; F4 asks before it
// replaces it, and while the question is open the user saves the file once
// more. Yes lets the fetch replace the file the question named, not the
// one saved since: it stays, named in the closing list. Asked again over
// both baskets that hold it, Yes fetches it once for each.
TEST_F(FtpWindowTest, AFileSavedWhileItsFetchIsAskedAboutIsLeftAndNamed) {
    CMainFrame& w = OpenWithItemsSent();
    const std::string notes = Local() + "notes.txt";
    Touch(notes, "notes\nedited here\n", std::time(nullptr) - 5);
    WriteFile(ServerRoot() + "/notes.txt", "notes\nfrom the server\n");
    class SavingPrompter : public RecordingPrompter {
    public:
        std::function<void()> whileAsked;
        Answer Ask(const std::string& text, MsgIcon icon, bool allowCancel) override {
            if (whileAsked) whileAsked();
            return RecordingPrompter::Ask(text, icon, allowCancel);
        }
    } saving;
    ScopedPrompter asking(saving);
    saving.whileAsked = [&] { WriteFile(notes, "notes\nsaved while asked\n"); };
    saving.answers = {Answer::Yes};
    CAcceleratorManager keys;
    keys.Connect(&w, false);
    InstallAccelerators(keys);
    SelectRows({2});
    w.MessageWindow().SetText("");
    w.FileList()->setFocus();
    QTest::keyClick(w.FileList(), Qt::Key_F4);
    Finish();
    Tick();
    keys.Connect(nullptr, false);
    ASSERT_EQ(saving.Questions().size(), 1u) << Log();
    EXPECT_NE(saving.Questions()[0].find("changed here since their last transfer"), std::string::npos)
        << saving.Questions()[0];
    EXPECT_EQ(ReadFile(notes), "notes\nsaved while asked\n");
    EXPECT_EQ(Count("   1. notes.txt (changed here during the run; not fetched)"), 1) << Log();

    // Both baskets hold it now; the question's Yes covers both.
    w.Data().InsertFileItems(0, 0, 1, 1, w.Data().GetFileItem(0, 0, 0, 2));
    saving.whileAsked = nullptr;
    saving.entries.clear();
    saving.answers = {Answer::Yes};
    w.MessageWindow().SetText("");
    QToolBar* bar = w.ToolBar(141);
    bar->show();
    w.BasketList()->clearSelection();
    w.BasketList()->topLevelItem(0)->setSelected(true);
    w.BasketList()->topLevelItem(1)->setSelected(true);
    QTest::mouseClick(bar->widgetForAction(w.Action(32558)), Qt::LeftButton);  // "To Local "
    Finish();
    Tick();
    EXPECT_EQ(saving.Questions().size(), 1u) << Log();
    EXPECT_EQ(ReadFile(notes), "notes\nfrom the server\n");
    // Only other.txt, which the server does not have, is left.
    const std::vector<std::string> lines = LinesOf(Log());
    ASSERT_GE(lines.size(), 3u) << Log();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"Failed to transfer the following:",
                                        "   1. other.txt (the server refused to send it: No such file or "
                                        "directory.; not fetched)",
                                        "--- FTP over ---"}))
        << Log();
}

// notes.txt changes on the server after its send, where no status check
// sees it, and then here: F5 asks before it overwrites the server's copy,
// and asks again after the program was closed and started again (the mark
// is not stored; the listing shows the change). Auto-sync leaves it and
// says so once. A run the Pause key stops before its turn names it with
// its own reason.
TEST_F(FtpWindowTest, F5AsksOverAServerChangeNoStatusCheckSawAlsoAfterARestart) {
    OpenWithItemsSent();
    const std::string notes = Local() + "notes.txt";
    WriteFile(ServerRoot() + "/notes.txt", "notes\nfrom the server\n");
    utimbuf old{1000000000, 1000000000};
    ASSERT_EQ(::utime((ServerRoot() + "/notes.txt").c_str(), &old), 0);
    Touch(notes, "notes\nfrom here\n", std::time(nullptr) - 5);
    const auto pressF5AnsweringNo = [&] {
        QApplication::processEvents();  // the window (started again) takes its keys
        CAcceleratorManager keys;
        keys.Connect(frame.get(), false);
        InstallAccelerators(keys);
        SelectRows({2});
        prompter.entries.clear();
        prompter.answers = {Answer::No};
        frame->FileList()->setFocus();
        QTest::keyClick(frame->FileList(), Qt::Key_F5);
        Finish();
        Tick();
        keys.Connect(nullptr, false);
        ASSERT_EQ(prompter.Questions().size(), 1u) << Log();
        EXPECT_NE(prompter.Questions()[0].find("changed here and on the server since their last transfer:\r\n   " +
                                               notes + "  (127.0.0.1:/notes.txt)"),
                  std::string::npos)
            << prompter.Questions()[0];
        EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nfrom the server\n");
        EXPECT_EQ(frame->Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "Yes");
    };
    pressF5AnsweringNo();

    frame->ExecuteCommand(32580);  // Ctrl+S
    frame->close();
    frame.reset();
    CMainFrame& w = Open();
    ASSERT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "No");
    pressF5AnsweringNo();

    // "Manual sync to remote" asks the same inside its run (the mark the
    // last No left is cleared, so that the run itself finds the change); No
    // leaves the file to be sent, and the sync is not shown as done.
    w.Data().GetFileItemPtr(0, 0, 0, 2)->IsRemoteModified = "No";
    w.ExecuteCommand(32555);  // Get status of local files
    ASSERT_EQ(w.Presenter().LocalChangeList(), std::vector<int>{2});
    QToolBar* bar = w.ToolBar(141);
    bar->show();
    prompter.entries.clear();
    prompter.answers = {Answer::No};
    QTest::mouseClick(bar->widgetForAction(w.Action(32569)), Qt::LeftButton);  // Manual sync to remote
    Finish();
    bar->hide();
    ASSERT_EQ(prompter.Questions().size(), 1u) << Log();
    EXPECT_NE(prompter.Questions()[0].find("changed here and on the server since their last transfer"),
              std::string::npos)
        << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nfrom the server\n");
    // Opening the FTP menu brings the marks up to date: not sent.
    QMenu* menu = w.findChild<QMenu*>("menuFTP");
    ASSERT_NE(menu, nullptr);
    menu->popup(QPoint(10, 10));
    QApplication::processEvents();
    EXPECT_FALSE(w.Action(32569)->isChecked());
    menu->hide();
    Tick();

    // Auto-sync: nobody is asked, the server keeps its copy, named once.
    w.Data().GetFileItemPtr(0, 0, 0, 2)->IsRemoteModified = "No";
    prompter.entries.clear();
    const int runs = Count("--- FTP over ---");
    w.ExecuteCommand(32574);  // auto-sync on
    Tick();
    Finish();
    Tick(3);
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_EQ(Count("--- FTP over ---"), runs + 1) << Log();
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_EQ(Count("-?- Not sent: " + notes + " -> 127.0.0.1:/notes.txt (changed on the server too"), 1) << Log();
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nfrom the server\n");
    w.ExecuteCommand(32574);  // auto-sync off

    // Its last send went whole, but the server's time of it was never read:
    // whether it changed since cannot be told. Auto-sync keeps the server's
    // copy and says so once, without calling it changed.
    CFileItem* item = w.Data().GetFileItemPtr(0, 0, 0, 2);
    const CFileItem recorded = *item;
    item->IsRemoteModified = "No";
    item->RemoteModTime = RemoteUnknownTime();
    item->RemoteSize = -1;
    w.ExecuteCommand(32574);  // auto-sync on
    for (int tick = 0; tick < 4; ++tick) {
        Tick();
        Finish();
    }
    w.ExecuteCommand(32574);  // auto-sync off
    EXPECT_EQ(Count("--- FTP over ---"), runs + 2) << Log();
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_EQ(Count("-?- Not sent: " + notes + " -> 127.0.0.1:/notes.txt (whether it was changed on the server "
                    "could not be checked: its time on the server was not read after its last transfer; auto-sync "
                    "leaves it as it is)"),
              1)
        << Log();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "No");
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nfrom the server\n");
    *w.Data().GetFileItemPtr(0, 0, 0, 2) = recorded;

    // A big file before notes.txt: the question comes first, then the Pause
    // key stops the big file's send. notes.txt, which the user kept before
    // the stop, is named with its own reason.
    w.Data().GetFileItemPtr(0, 0, 0, 2)->IsRemoteModified = "No";
    {
        std::ofstream f(Local() + "big.bin", std::ios::binary);
    }
    std::filesystem::resize_file(Local() + "big.bin", 2ll << 30);
    w.Data().InsertFileItems(0, 0, 0, 0, Item("big.bin", Local(), true));
    w.Presenter().ShowSession(0, 0, 0);
    const auto partOfBig = [&] {
        std::error_code ec;
        const auto size = std::filesystem::file_size(ServerRoot() + "/big.bin", ec);
        return !ec && size > 0;
    };
    ASSERT_TRUE(PressThenPause({0, 3}, Qt::Key_F5, partOfBig)) << Log();
    EXPECT_EQ(prompter.Questions().size(), 1u) << Log();
    EXPECT_EQ(Count("notes.txt (changed on the server too since the last transfer; not sent)"), 1) << Log();
    EXPECT_EQ(Count("the run ended before its turn"), 0) << Log();
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nfrom the server\n");
}

// A key pressed in the file list, with the key table installed as the
// program installs it.
void PressInFileList(CMainFrame& w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QApplication::processEvents();
    CAcceleratorManager keys;
    keys.Connect(&w, false);
    InstallAccelerators(keys);
    w.FileList()->setFocus();
    QTest::keyClick(w.FileList(), key, modifiers);
    keys.Connect(nullptr, false);
}

// "To Remote" over two baskets that hold the same files, on the servers
// sites are hosted on: the second basket's part sees what the first one's
// sent, so nothing asks about the run's own send and no record goes back to
// the time before it, also after a restart, also for a file no listing
// shows where the listings show the server's local time (pure-ftpd runs in
// Tokyo's, MDTM gives UTC). Changes made on the server are asked about once
// for the run, those a status check marked with those the run's own look
// finds, and No leaves them in both baskets.
class PutAllOverBaskets : public FtpWindowTest, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        FtpWindowTest::SetUp();
        if (IsSkipped()) return;
        int listening = 0;
        if (GetParam() == "vsftpd") {
            vs = std::make_unique<qvltest::VsftpdServer>("");
            if (!vs->ok()) GTEST_SKIP() << vs->why();
            listening = vs->port();
        } else {
            pure = std::make_unique<qvltest::PureFtpdServer>(std::vector<std::string>{},
                                                             std::vector<std::string>{"TZ=Asia/Tokyo"});
            if (!pure->ok()) GTEST_SKIP() << pure->why();
            listening = pure->port();
            // Tokyo keeps no summer time.
            const std::time_t now = std::time(nullptr);
            std::tm utc{};
            gmtime_r(&now, &utc);
            listed = MakeLocalTime(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                                   utc.tm_sec) + 9 * 3600 - now;
        }
        if (work.path().empty()) GTEST_SKIP() << "cannot make a folder for the test user";
        port.reset();
        port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(listening).c_str());
    }
    void TearDown() override {
        FtpWindowTest::TearDown();
        vs.reset();
        pure.reset();
    }
    // Baskets "X" and "Y", each holding f.txt and a dot file no listing
    // shows, which go to the test user's folder.
    void MakeArea() {
        CProgramData d;
        AddLoopbackSession(d, Local());
        d.InsertBasket("X", 0, 0, 0);
        d.InsertBasket("Y", 0, 0, 1);
        std::filesystem::create_directories(Local());
        WriteFile(Local() + "f.txt", "first\n");
        WriteFile(Local() + kDot, "first\n");
        for (int b = 0; b < 2; ++b)
            for (int r = 0; r < 2; ++r) {
                CFileItem it = Item(r == 0 ? "f.txt" : kDot, Local(), true);
                it.RemoteDir = work.dir();
                d.InsertFileItems(0, 0, b, r, it);
                d.GetFileItemPtr(0, 0, b, r)->RefreshLocalTime();
            }
        AddLoopbackAccount(d);
        ASSERT_TRUE(d.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    }
    // Put All from the toolbar over both baskets; with wait, until the run ends.
    void PressPutAllOnBothBaskets(bool wait = true) {
        QToolBar* bar = frame->ToolBar(141);
        bar->show();
        frame->BasketList()->clearSelection();
        for (int r = 0; r < 2; ++r) frame->BasketList()->topLevelItem(r)->setSelected(true);
        prompter.entries.clear();
        QTest::mouseClick(bar->widgetForAction(frame->Action(32565)), Qt::LeftButton);
        if (!wait) return;
        Finish();
        Tick();
    }
    std::time_t ServerTime() {
        struct stat st {};
        EXPECT_EQ(::stat((work / "f.txt").c_str(), &st), 0);
        return st.st_mtime;
    }
    // A second later, so that the server's time of the next send differs.
    void EditHere(const std::string& text) {
        const std::time_t was = ServerTime();
        while (std::time(nullptr) <= was + 1) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        WriteFile(Local() + "f.txt", text);
        WriteFile(Local() + kDot, text);
    }

    static constexpr const char* kDot = ".g [1].txt";
    std::time_t listed = 0;  // how far the listings' clock stands from this machine's
    qvltest::UserDir work;
    std::unique_ptr<qvltest::VsftpdServer> vs;
    std::unique_ptr<qvltest::PureFtpdServer> pure;
};

TEST_P(PutAllOverBaskets, EachBasketSeesWhatTheRunSent) {
    MakeArea();
    CMainFrame& w = Open();
    SelectRows({0, 1});
    w.ExecuteCommand(32564);  // sent once from "X"
    Finish();
    Tick();
    ASSERT_EQ(ReadFile(work / "f.txt"), "first\n") << Log();
    ASSERT_EQ(ReadFile(work / kDot), "first\n") << Log();

    EditHere("second\n");
    PressPutAllOnBothBaskets();
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(work / "f.txt"), "second\n") << Log();
    EXPECT_EQ(ReadFile(work / kDot), "second\n") << Log();
    for (int b = 0; b < 2; ++b) {
        const CFileItem it = w.Data().GetFileItem(0, 0, b, 0);
        EXPECT_EQ(it.IsRemoteModified, "No") << b;
        EXPECT_EQ(it.RemoteModTime, ServerTime() + listed) << b << Log();
    }

    // Saved and started again: the next send asks nothing either.
    w.ExecuteCommand(32580);
    frame->close();
    frame.reset();
    Open();
    EditHere("third\n");
    PressPutAllOnBothBaskets();
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(work / "f.txt"), "third\n") << Log();
    EXPECT_EQ(ReadFile(work / kDot), "third\n") << Log();

    // Changed on the server: one question for the run; No keeps it.
    EditHere("fourth\n");
    WriteFile(work / "f.txt", "from the server\n");
    EditHere("fifth\n");
    PressPutAllOnBothBaskets();
    EXPECT_EQ(prompter.Questions().size(), 1u) << Log();
    EXPECT_EQ(ReadFile(work / "f.txt"), "from the server\n") << Log();
    for (int b = 0; b < 2; ++b) EXPECT_EQ(frame->Data().GetFileItem(0, 0, b, 0).IsRemoteModified, "Yes") << b;

    // Get status marks f.txt; the dot file changes on the server after the
    // check, where only the run's own look sees it. Still one question for
    // the run, naming each file once; No keeps both.
    QToolBar* bar = frame->ToolBar(141);
    QTest::mouseClick(bar->widgetForAction(frame->Action(32562)), Qt::LeftButton);
    Finish();
    Tick();
    ASSERT_EQ(frame->Data().GetFileItem(0, 0, 0, 0).IsRemoteModified, "Yes") << Log();
    WriteFile(work / kDot, "the dot file, from the server\n");
    PressPutAllOnBothBaskets();
    ASSERT_EQ(prompter.Questions().size(), 1u) << Log();
    const std::string question = prompter.Questions()[0];
    for (const std::string n : {"f.txt", kDot}) {
        const std::string named = Local() + n + "  (127.0.0.1:" + work.dir() + n + ")";
        const size_t at = question.find(named);
        EXPECT_NE(at, std::string::npos) << question;
        EXPECT_EQ(question.find(named, at + 1), std::string::npos) << question;
    }
    EXPECT_EQ(ReadFile(work / "f.txt"), "from the server\n") << Log();
    EXPECT_EQ(ReadFile(work / kDot), "the dot file, from the server\n") << Log();
}

// A file changed on the server while another file of the run goes is not
// sent over it: the run's one look before anything was sent is seconds old
// by the file's turn, so the file is looked at again right before it goes,
// and it stays, with no second question, named in the run's closing list.
// Over two baskets (Put All over {big.dat, c.txt} and {d.txt}) and within
// one ({big.dat, c.txt}, F5); the server takes uploads slowly, so that
// big.dat takes seconds. A Pause in big.dat leaves the file sent before it
// the time read after it, on the clock it was read on (pure-ftpd lists
// Tokyo's, MDTM gives UTC), also after a restart.
TEST_P(PutAllOverBaskets, AFileChangedOnTheServerWhileAnotherGoesStaysWithoutASecondQuestion) {
    port.reset();
    vs.reset();
    pure.reset();
    int listening = 0;
    if (GetParam() == "vsftpd") {
        vs = std::make_unique<qvltest::VsftpdServer>("", "local_max_rate=400000\n");
        ASSERT_TRUE(vs->ok()) << vs->why();
        listening = vs->port();
    } else {
        pure = std::make_unique<qvltest::PureFtpdServer>(std::vector<std::string>{"-T", "400"},
                                                         std::vector<std::string>{"TZ=Asia/Tokyo"});
        ASSERT_TRUE(pure->ok()) << pure->why();
        listening = pure->port();
    }
    port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(listening).c_str());
    // The server's word after a slow file comes once the file is in.
    NetTimeoutValues().replyMs = 30000;
    NetTimeoutValues().dataMs = 30000;
    {
        CProgramData d;
        AddLoopbackSession(d, Local());
        d.InsertBasket("X", 0, 0, 0);
        d.InsertBasket("Y", 0, 0, 1);
        std::filesystem::create_directories(Local());
        WriteFile(Local() + "big.dat", std::string(2 << 20, 'b'));
        WriteFile(Local() + "c.txt", "c\n");
        WriteFile(Local() + "d.txt", "d\n");
        const std::vector<std::pair<int, std::string>> items{{0, "big.dat"}, {0, "c.txt"}, {1, "d.txt"}};
        for (const auto& [basket, name] : items) {
            CFileItem it = Item(name, Local(), true);
            it.RemoteDir = work.dir();
            const int row = static_cast<int>(d.GetBasketItemPtrs(0, 0, basket).size());
            d.InsertFileItems(0, 0, basket, row, it);
            d.GetFileItemPtr(0, 0, basket, row)->RefreshLocalTime();
        }
        AddLoopbackAccount(d);
        ASSERT_TRUE(d.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    }
    CMainFrame& w = Open();
    PressPutAllOnBothBaskets();
    ASSERT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    ASSERT_TRUE(ReadFile(work / "big.dat") == std::string(2 << 20, 'b')) << Log();
    ASSERT_EQ(ReadFile(work / "d.txt"), "d\n") << Log();

    // Someone writes the file on the server once big.dat is on its way.
    const std::string theirs = "written on the server while big.dat went\n";
    const auto writtenWhileBigGoes = [&](const std::string& name) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return Log().find("->1/2 big.dat") != std::string::npos; }, 20000))
            << Log();
        WriteFile(work / name, theirs);
        Finish();
        Tick();
    };
    const auto heldLine = [](const std::string& name) {
        return ". " + name + " (changed on the server during this run; not sent)";
    };

    // Put All over both baskets, changed here; d.txt, in the second basket,
    // changes on the server while big.dat goes.
    WriteFile(Local() + "big.dat", std::string(2 << 20, 'B'));
    WriteFile(Local() + "c.txt", "c, from here\n");
    WriteFile(Local() + "d.txt", "d, from here\n");
    frame->MessageWindow().SetText("");
    PressPutAllOnBothBaskets(false);
    writtenWhileBigGoes("d.txt");
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(work / "d.txt"), theirs) << Log();
    EXPECT_EQ(ReadFile(work / "c.txt"), "c, from here\n") << Log();
    EXPECT_TRUE(ReadFile(work / "big.dat") == std::string(2 << 20, 'B')) << Log();
    EXPECT_EQ(Count(heldLine("d.txt")), 1) << Log();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 1, 0).IsRemoteModified, "Yes") << Log();
    EXPECT_EQ(Count("--- FTP over ---"), 1) << Log();

    // F5 over big.dat and c.txt of one basket; c.txt changes on the server
    // while big.dat goes.
    WriteFile(Local() + "big.dat", std::string(2 << 20, 'x'));
    WriteFile(Local() + "c.txt", "c, from here again\n");
    frame->MessageWindow().SetText("");
    frame->Presenter().OnBasketClicked({0});  // basket X
    SelectRows({0, 1});
    prompter.entries.clear();
    PressInFileList(*frame, Qt::Key_F5);
    writtenWhileBigGoes("c.txt");
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(work / "c.txt"), theirs) << Log();
    EXPECT_TRUE(ReadFile(work / "big.dat") == std::string(2 << 20, 'x')) << Log();
    EXPECT_EQ(Count(heldLine("c.txt")), 1) << Log();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 1).IsRemoteModified, "Yes") << Log();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 0).IsRemoteModified, "No") << Log();
    frame->ToolBar(141)->hide();

    // F5 over a.txt and big.dat, and the Pause key while big.dat goes:
    // a.txt went whole, and no listing after it told the listing's clock.
    // Saved and started again, the status check finds a.txt as it was
    // sent, and F5 of it, changed here, asks nothing.
    WriteFile(Local() + "a.txt", "a\n");
    CFileItem a = Item("a.txt", Local(), true);
    a.RemoteDir = work.dir();
    w.Data().InsertFileItems(0, 0, 0, 0, a);
    w.Data().GetFileItemPtr(0, 0, 0, 0)->RefreshLocalTime();
    w.Presenter().ShowSession(0, 0, 0);
    WriteFile(Local() + "big.dat", std::string(2 << 20, 'p'));
    const auto partOfBig = [&] {
        for (const char* name : {"big.dat", ".big.dat.qvl-part"}) {
            std::error_code ec;
            const auto size = std::filesystem::file_size(work / name, ec);
            if (!ec && size > 0 && size < (2u << 20)) return true;
        }
        return false;
    };
    ASSERT_TRUE(PressThenPause({0, 1}, Qt::Key_F5, partOfBig)) << Log();
    Tick();
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    // Stopped in big.dat's data or in the wait for the server's word on it.
    EXPECT_EQ(Count("--- FTP User-aborted ---") + Count("--- FTP aborted-(2) ---"), 1) << Log();
    ASSERT_EQ(ReadFile(work / "a.txt"), "a\n") << Log();
    ASSERT_EQ(w.Data().GetFileItem(0, 0, 0, 0).IsFTPed, "Yes") << Log();
    PressInFileList(w, Qt::Key_S, Qt::ControlModifier);
    frame->close();
    frame.reset();
    CMainFrame& again = Open();
    QToolBar* bar = again.ToolBar(141);
    bar->show();
    QTest::mouseClick(bar->widgetForAction(again.Action(32562)), Qt::LeftButton);  // Get status of remote files
    Finish();
    Tick();
    bar->hide();
    std::string checked;
    for (const std::string& l : LinesOf(Log()))
        if (l.find(": Checking: a.txt") != std::string::npos) checked = l;
    EXPECT_EQ(checked.substr(checked.size() - std::min<size_t>(checked.size(), 3)), " Ok") << Log();
    EXPECT_EQ(again.Data().GetFileItem(0, 0, 0, 0).IsRemoteModified, "No") << Log();
    WriteFile(Local() + "a.txt", "a, after the start\n");
    SelectRows({0});
    prompter.entries.clear();
    PressInFileList(*frame, Qt::Key_F5);
    Finish();
    Tick();
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(work / "a.txt"), "a, after the start\n") << Log();
}

// Auto-sync over a file the server will not let the user write (another
// user's file, as a hosting account always has some): the send fails, auto-sync
// stops, and the Message Window's last word on it says so and names the file,
// every time the button turns it on and a failure turns it off again.
TEST_P(PutAllOverBaskets, AutoSyncSaysWhenAFailureStopsIt) {
    MakeArea();
    CMainFrame& w = Open();
    SelectRows({0});
    w.ExecuteCommand(32564);
    Finish();
    Tick();
    ASSERT_EQ(ReadFile(work / "f.txt"), "first\n") << Log();
    ASSERT_EQ(::chown((work / "f.txt").c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod((work / "f.txt").c_str(), 0644), 0);

    QToolBar* bar = frame->ToolBar(141);
    bar->show();
    QWidget* button = bar->widgetForAction(w.Action(32574));
    const auto lastWord = [&] {
        std::string last;
        for (const std::string& l : LinesOf(Log()))
            if (l.rfind("Auto-sync", 0) == 0) last = l;
        return last;
    };
    const std::string said = "Auto-sync off: sending " + Local() + "f.txt -> 127.0.0.1:" + work.dir() +
                             "f.txt failed.";
    EditHere("second\n");
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(g_bAutoSync);
        EXPECT_EQ(lastWord(), "Auto-sync on.");
        Tick();  // finds the change and starts the sync
        Finish();
        Tick();
        EXPECT_EQ(ReadFile(work / "f.txt"), "first\n");
        EXPECT_FALSE(g_bAutoSync);
        EXPECT_FALSE(w.Action(32574)->isChecked());
        EXPECT_EQ(lastWord(), said) << Log();
        EXPECT_EQ(Count(said), round);
    }
    bar->hide();
}

INSTANTIATE_TEST_SUITE_P(Servers, PutAllOverBaskets, ::testing::Values("vsftpd", "pure-ftpd"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param == "vsftpd" ? std::string("vsftpd") : std::string("pureftpd");
                         });

TEST_F(FtpWindowTest, LocalStatusReportAndFolderRepairsAskFirst) {
    MakeFtpArea();
    CMainFrame& w = Open();
    Touch(Local() + "my file.txt", "x\n", 1700000000);
    Touch(Local() + "notes.txt", "y\n", 1700000000);
    w.ExecuteCommand(32555);
    EXPECT_NE(Log().find("2 modified in local area.\r\n2 ready for transfer to remote."), std::string::npos)
        << Log();
    EXPECT_EQ(w.Presenter().LocalChangeList(), (std::vector<int>{0, 2}));
    EXPECT_FALSE(w.Action(32569)->isChecked());

    SelectRows({0, 1});
    prompter.entries.clear();
    prompter.answers = {Answer::No};
    w.ExecuteCommand(32682);
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(prompter.Questions()[0],
              "This will modify local directories of the selected items.\r\n"
              "Text from Output Window will be used to fill up the local directories.\r\n"
              "Are you sure?");
    EXPECT_TRUE(prompter.Messages().empty());
    // Yes without an Output window: the lines are not there, nothing changes.
    prompter.answers = {Answer::Yes};
    w.ExecuteCommand(32683);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Insufficient number of lines in Output Window."});
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 0).RemoteDir, "/");
    EXPECT_EQ(w.StatusBar()->PaneText(0).toStdString(), w.Data().GetSelectionStatusText(0, 0, 0));
}

TEST_F(FtpWindowTest, TheDeferredCommandsStayDisabledAndTheRestAreWired) {
    MakeFtpArea();
    CMainFrame& w = Open();
    for (int id : {32563, 32587, 32557, 32564, 32558, 32565, 32568, 32569, 32562, 32555, 32566, 32682, 32683})
        EXPECT_TRUE(w.IsCommandEnabled(id)) << id;
    EXPECT_EQ(w.Action(32569)->text(), "Manual sync to remote");
    EXPECT_TRUE(w.Action(32567)->isChecked());
    EXPECT_FALSE(w.Action(32574)->isChecked());
    // Manual sync to remote with nothing changed starts nothing at all.
    EXPECT_FALSE(w.FtpCommands().StartManualSyncToRemote());
    EXPECT_EQ(Count("--- FTP"), 0);
    // "Run bat file" shows the Message Window and hands the selection to the
    // remote build, which refuses an item not marked as a command file.
    w.MessageWindow().hide();
    SelectRows({2});
    prompter.entries.clear();
    w.ExecuteCommand(32566);
    EXPECT_FALSE(w.MessageWindow().isHidden());
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"You must first mark the file as a com file."});
    EXPECT_TRUE(g_bFtpIdle);
}

// A first site as a user builds it: files from three folders, each with its
// own index.html, added with "Add local files" into the account's one remote
// folder, then F5. No remote file may be written from two local files, and
// a picture whose extension is not on the binary list must arrive whole.
TEST_F(FtpWindowTest, AddedFilesThatShareARemoteFileAreRefusedAndAPictureArrivesWhole) {
    MakeFtpArea(false);
    std::vector<std::string> picked;
    for (const std::string dir : {"site/", "site/about/", "site/docs/"}) {
        std::filesystem::create_directories(Local() + dir);
        WriteFile(Local() + dir + "index.html", "<p>" + dir + "</p>\n");
        picked.push_back(Local() + dir + "index.html");
    }
    const std::string png("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\n\r\n", 19);
    WriteFile(Local() + "site/logo.png", png);
    picked.push_back(Local() + "site/logo.png");
    CAddFilesCommands::s_pickLocalFiles = [&] { return std::optional<std::vector<std::string>>(picked); };
    CMainFrame& w = Open();
    CAcceleratorManager keys;
    keys.Connect(&w, false);
    InstallAccelerators(keys);
    g_CurrentAccount.m_strHost = "127.0.0.1";
    g_CurrentAccount.m_strUser = qvltest::kUser;
    g_CurrentAccount.m_strLastFolder = "/";

    w.Action(32556)->trigger();  // FTP > Browse local files
    CAddFilesCommands::s_pickLocalFiles = nullptr;
    ASSERT_EQ(w.FileList()->topLevelItemCount(), 4);
    // The second and third index.html are named as they come in.
    EXPECT_EQ(Count("Same remote file: "), 2) << Log();
    EXPECT_NE(Log().find("Same remote file: " + Local() + "site/about/index.html and " + Local() +
                         "site/index.html both go to /index.html on 127.0.0.1."),
              std::string::npos)
        << Log();
    EXPECT_TRUE(w.Data().GetFileItem(0, 0, 0, 3).IsBinaryFile);  // its NUL bytes tell

    w.FileList()->setFocus();
    QTest::keyClick(w.FileList(), Qt::Key_F5);
    Finish();
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() + "/index.html"));
    for (const std::string dir : {"site/", "site/about/", "site/docs/"})
        EXPECT_NE(Log().find("-?- Not sent: " + Local() + dir + "index.html -> 127.0.0.1:/index.html"),
                  std::string::npos)
            << Log();
    EXPECT_EQ(ReadFile(ServerRoot() + "/logo.png"), png);
    EXPECT_EQ(Count("--- FTP over ---"), 1);
    Tick();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 0).IsFTPed, "failed");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 3).IsFTPed, "Yes");
    keys.Connect(nullptr, false);
}

// One remote file spelt three ways, or one local folder and a link to it:
// each run would write one file from several sources.
TEST_F(FtpWindowTest, OtherSpellingsOfOneTargetAreRefusedAsTheSameFile) {
    MakeFtpArea(false);
    std::filesystem::create_directories(ServerRoot() + "/remote");
    std::filesystem::create_directories(ServerRoot() + "/other");
    WriteFile(ServerRoot() + "/remote/x.txt", "remote\n");
    WriteFile(ServerRoot() + "/other/x.txt", "other\n");
    std::filesystem::create_directories(Local() + "d");
    std::filesystem::create_directory_symlink(Local() + "d", Local() + "link");
    CMainFrame& w = Open();
    int f = 0;
    for (const std::string dir : {"a/", "b/", "c/"}) {
        WriteFile(Local() + dir + "page.html", dir + "\n");
        CFileItem it = Item("page.html", Local() + dir);
        it.RemoteDir = dir == "a/" ? "/remote/" : dir == "b/" ? "/remote/./" : "//remote/";
        it.RefreshLocalTime();
        w.Data().InsertFileItems(0, 0, 0, f++, it);
    }
    CFileItem one = Item("x.txt", Local() + "d/");
    one.RemoteDir = "/remote/";
    CFileItem two = Item("x.txt", Local() + "link/");
    two.RemoteDir = "/other/";
    w.Data().InsertFileItems(0, 0, 0, f++, one);
    w.Data().InsertFileItems(0, 0, 0, f++, two);
    w.Presenter().ShowSession(0, 0, 0);
    CAcceleratorManager keys;
    keys.Connect(&w, false);
    InstallAccelerators(keys);
    QApplication::processEvents();  // the window becomes the active one

    SelectRows({0, 1, 2});
    w.FileList()->setFocus();
    QTest::keyClick(w.FileList(), Qt::Key_F5);
    Finish();
    EXPECT_FALSE(std::filesystem::exists(ServerRoot() + "/remote/page.html"));
    EXPECT_EQ(Count("-?- Not sent: "), 3) << Log();

    SelectRows({3, 4});
    w.FileList()->setFocus();
    QTest::keyClick(w.FileList(), Qt::Key_F4);
    Finish();
    EXPECT_FALSE(std::filesystem::exists(Local() + "d/x.txt"));
    EXPECT_EQ(Count("-?- Not fetched: "), 2) << Log();
    keys.Connect(nullptr, false);
}

}  // namespace

namespace {

// The server's link.html leads to index.html, and a/link.html there too
// through b/link2.html: basket "One" sends index.html, basket "Two" both
// links. Put All over both, and F5 on each link by itself, leave index.html
// with index.html's text and name the link.
TEST_F(FtpWindowTest, ALinkOnTheServerWritesNoItemsFileUnderAnotherNameAcrossBaskets) {
    MakeFtpArea(false);
    WriteFile(ServerRoot() + "/index.html", "old index\n");
    std::filesystem::create_symlink("index.html", ServerRoot() + "/link.html");
    for (const char* d : {"/a", "/b"}) std::filesystem::create_directories(ServerRoot() + d);
    std::filesystem::create_symlink("../b/link2.html", ServerRoot() + "/a/link.html");
    std::filesystem::create_symlink("../index.html", ServerRoot() + "/b/link2.html");
    WriteFile(Local() + "index.html", "new index\n");
    WriteFile(Local() + "link.html", "new link\n");
    std::filesystem::create_directories(Local() + "a");
    WriteFile(Local() + "a/link.html", "new link in a\n");
    CMainFrame& w = Open();
    CFileItem index = Item("index.html", Local()), link = Item("link.html", Local());
    CFileItem away = Item("link.html", Local() + "a/");
    away.RemoteDir = "/a/";
    index.RefreshLocalTime();
    link.RefreshLocalTime();
    away.RefreshLocalTime();
    w.Data().InsertFileItems(0, 0, 0, 0, index);
    w.Data().InsertFileItems(0, 0, 1, 0, link);
    w.Data().InsertFileItems(0, 0, 1, 1, away);
    w.Presenter().ShowSession(0, 0, 0);
    QToolBar* bar = w.ToolBar(141);
    bar->show();
    for (int r = 0; r < 2; ++r) w.BasketList()->topLevelItem(r)->setSelected(true);
    QTest::mouseClick(bar->widgetForAction(w.Action(32565)), Qt::LeftButton);  // To Remote
    Finish();
    EXPECT_EQ(ReadFile(ServerRoot() + "/index.html"), "new index\n") << Log();
    EXPECT_TRUE(std::filesystem::is_symlink(ServerRoot() + "/link.html"));
    const std::string refusal = "-?- Not sent: " + Local() +
                                "link.html -> 127.0.0.1:/link.html (link.html is a link to index.html on the server)";
    EXPECT_EQ(Count(refusal), 1) << Log();
    const std::vector<std::string> lines = LinesOf(Log());
    const auto list = std::find(lines.begin(), lines.end(), "Failed to transfer the following:");
    ASSERT_LT(list + 1, lines.end()) << Log();
    EXPECT_EQ(list[1], "   1. link.html") << Log();
    const std::string awayRefusal = "-?- Not sent: " + Local() +
                                     "a/link.html -> 127.0.0.1:/a/link.html (link.html is a link to ../b/link2.html on "
                                     "the server)";
    EXPECT_EQ(Count(awayRefusal), 1) << Log();
    Tick();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 0).IsFTPed, "Yes");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 1, 0).IsFTPed, "failed");
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 1, 1).IsFTPed, "failed");

    // F5 on link.html alone, in its own basket.
    CAcceleratorManager keys;
    keys.Connect(&w, false);
    InstallAccelerators(keys);
    QTreeWidget* baskets = w.BasketList();
    baskets->clearSelection();
    QTest::mouseClick(baskets->viewport(), Qt::LeftButton, {},
                      baskets->visualItemRect(baskets->topLevelItem(1)).center());
    QApplication::processEvents();
    ASSERT_EQ(w.Data().GetCurBasket(), 1);
    SelectRows({0});
    w.FileList()->setFocus();
    QTest::keyClick(w.FileList(), Qt::Key_F5);
    Finish();
    EXPECT_EQ(ReadFile(ServerRoot() + "/index.html"), "new index\n") << Log();
    EXPECT_EQ(Count(refusal), 2) << Log();
    SelectRows({1});
    w.FileList()->setFocus();
    QTest::keyClick(w.FileList(), Qt::Key_F5);
    Finish();
    EXPECT_EQ(ReadFile(ServerRoot() + "/index.html"), "new index\n") << Log();
    EXPECT_EQ(Count(awayRefusal), 2) << Log();
    keys.Connect(nullptr, false);
}

}  // namespace

namespace {

// A server that lists no folder (LIST, NLST and MLSD answered 502): F5 of
// one new file sends it, though the session holds more items of the
// account; F5 of a file there and a new one sends both, as MDTM tells the
// new name has no file (nor link) there; F5 of two files there sends
// neither, as one may be a link to the other, and names why.
TEST_F(FtpWindowTest, F5WhereTheServerListsNoFolderRefusesOnlyNamesThatMayBeLinks) {
    MakeFtpArea();
    server.reset();
    const std::string refused = "502 Command not implemented.";
    qvltest::PyFtpRefusingServer py(ServerRoot(), {{"LIST", refused}, {"NLST", refused}, {"MLSD", refused}},
                                    tmp / "py.log");
    if (!py.ok()) GTEST_SKIP() << py.why();
    port.reset();
    port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(py.port()).c_str());
    Open();
    CAcceleratorManager keys;
    keys.Connect(frame.get(), false);
    InstallAccelerators(keys);
    const auto pressF5 = [&](const std::vector<int>& rows) {
        QApplication::processEvents();  // the window takes its keys
        SelectRows(rows);
        prompter.entries.clear();
        frame->FileList()->setFocus();
        QTest::keyClick(frame->FileList(), Qt::Key_F5);
        Finish();
        Tick();
    };
    const std::string why = " (the server would not list /: the name may be a link there)";
    pressF5({0});
    EXPECT_EQ(ReadFile(ServerRoot() + "/my file.txt"), "first line\nsecond line\n") << Log();
    EXPECT_EQ(frame->Data().GetFileItem(0, 0, 0, 0).IsFTPed, "Yes") << Log();
    EXPECT_EQ(Count(why), 0) << Log();

    // my file.txt again: MDTM tells its time as the send recorded it.
    pressF5({0, 1});
    EXPECT_TRUE(prompter.Questions().empty()) << Log();
    EXPECT_TRUE(std::filesystem::exists(ServerRoot() + "/pic.bin")) << Log();
    EXPECT_EQ(frame->Data().GetFileItem(0, 0, 0, 1).IsFTPed, "Yes") << Log();
    EXPECT_EQ(Count(why), 0) << Log();

    WriteFile(ServerRoot() + "/notes.txt", "notes on the server\n");
    pressF5({0, 2});
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes on the server\n") << Log();
    EXPECT_EQ(Count("-?- Not sent: " + Local() + "notes.txt -> 127.0.0.1:/notes.txt" + why), 1) << Log();
    EXPECT_EQ(Count("-?- Not sent: " + Local() + "my file.txt -> 127.0.0.1:/my file.txt" + why), 1) << Log();
    keys.Connect(nullptr, false);
}

}  // namespace

namespace {

// The program's keys pressed in the file list of the window.
// What a stop leaves on the server is cleared or named. A Pause while the
// server has stopped answering leaves the temporary of a large file sent
// over the server's copy; the next F5 removes it (only it: a file of the
// user's that merely looks like one stays) and sends the file whole under
// the same name. Closing the window while a file goes straight over the
// copy (a host that shows one owner) past the close's wait leaves that
// file cut: the next start names it as possibly incomplete, and so does
// every start until it is sent whole.
TEST_F(FtpWindowTest, WhatAStopLeavesOnTheServerIsClearedOrNamed) {
    MakeFtpArea();
    ASSERT_NO_FATAL_FAILURE(UseThrottledServer(256 * 1024));
    const std::string first(1 << 20, 'b');
    WriteFile(Local() + "big.bin", first);
    WriteFile(ServerRoot() + "/big.bin", "the server's copy\n");
    // The server, run as root, leaves every file it writes root's: a file
    // of another user's beside them shows that its listing tells owners
    // apart.
    ASSERT_NO_FATAL_FAILURE(AddAnotherUsersFile());
    const std::string own = ServerRoot() + "/.big.bin.qvl-part-1";
    WriteFile(own, "the user's own\n");
    CMainFrame& w = Open();
    CFileItem big = Item("big.bin", Local(), true);
    big.RefreshLocalTime();
    w.Data().InsertFileItems(0, 0, 0, 3, big);
    w.Presenter().ShowSession(0, 0, 0);
    const std::string temp = ServerRoot() + "/.big.bin.qvl-part";

    SelectRows({3});
    PressInFileList(w, Qt::Key_F5);
    ASSERT_TRUE(qvltest::WaitFor([&] {
        std::error_code ec;
        return std::filesystem::file_size(temp, ec) > 0 && !ec;
    }, 10000)) << Log();
    throttled->Freeze();
    PressInFileList(w, Qt::Key_Pause);
    Finish();
    throttled->Thaw();
    Tick();
    ASSERT_TRUE(std::filesystem::exists(temp)) << Log();
    EXPECT_EQ(ReadFile(ServerRoot() + "/big.bin"), "the server's copy\n");

    SelectRows({3});
    PressInFileList(w, Qt::Key_F5);
    Finish();
    Tick();
    EXPECT_EQ(Count("Removed /.big.bin.qvl-part from 127.0.0.1: a stopped send had left it there."), 1) << Log();
    EXPECT_TRUE(ReadFile(ServerRoot() + "/big.bin") == first) << Log();
    EXPECT_EQ(ReadFile(own), "the user's own\n");
    for (const auto& e : std::filesystem::directory_iterator(ServerRoot())) {
        const std::string n = e.path().filename().string();
        if (n.find(".qvl-part") != std::string::npos) EXPECT_EQ(n, ".big.bin.qvl-part-1") << Log();
    }

    // Every file root's: the send goes straight over the server's copy.
    std::filesystem::remove(ServerRoot() + "/theirs.txt");
    const std::string second(3 << 19, 'c');
    Touch(Local() + "big.bin", second, std::time(nullptr) - 5);
    SelectRows({3});
    PressInFileList(w, Qt::Key_F5);
    ASSERT_TRUE(qvltest::WaitFor([&] { return ReadFile(ServerRoot() + "/big.bin").rfind("cc", 0) == 0; }, 10000))
        << Log();
    PressInFileList(w, Qt::Key_Escape, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame->isVisible(); }, 10000));
    frame.reset();
    ASSERT_LT(ReadFile(ServerRoot() + "/big.bin").size(), second.size());
    const std::string named = "-?- The upload of /big.bin to 127.0.0.1 was stopped on ";
    const std::string incomplete = ": the file on the host may be incomplete until it is sent again.";
    const auto namedAtStart = [&] {
        const std::string log = Log();
        const size_t at = log.find(named);
        return at != std::string::npos && log.find(incomplete, at) != std::string::npos;
    };
    CMainFrame& again = Open();
    EXPECT_TRUE(namedAtStart()) << Log();
    again.close();
    frame.reset();
    CMainFrame& third = Open();
    EXPECT_TRUE(namedAtStart()) << Log();
    SelectRows({3});
    PressInFileList(third, Qt::Key_F5);
    Finish();
    Tick();
    EXPECT_TRUE(ReadFile(ServerRoot() + "/big.bin") == second) << Log();
    third.close();
    frame.reset();
    Open();
    EXPECT_FALSE(namedAtStart()) << Log();
}

// A server that tells no second (MDTM refused). A record the previous
// release wrote there (no RemoteTimeUnit=) is compared to the minute its
// listing showed: auto-sync sends over it, nobody is asked, and the work
// file then keeps the full record. A record with a unit no listing gives
// is a damaged one: warned about when the work file is read, and F5 asks
// about it as one that could not be checked (No keeps the server's copy),
// never as a change seen.
TEST_F(FtpWindowTest, RecordsOfThePreviousReleaseAndDamagedOnesWhereTheServerTellsNoSecond) {
    MakeFtpArea();
    server.reset();
    qvltest::PyFtpRefusingServer py(ServerRoot(), {{"MDTM", "502 Command not implemented."}}, tmp / "py.log");
    if (!py.ok()) GTEST_SKIP() << py.why();
    port.reset();
    port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(py.port()).c_str());
    CMainFrame& w = Open();
    SelectRows({0, 1, 2});
    PressInFileList(w, Qt::Key_F5);
    Finish();
    Tick();
    ASSERT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsFTPed, "Yes") << Log();
    const std::string box = g_strSessionInfoDir + w.Data().GetBoxFileName(0, 0);
    w.ExecuteCommand(32580);  // Ctrl+S
    // notes.txt's line of the work file, edited as the test says.
    const auto editNotes = [&](const std::function<void(std::string&)>& edit) {
        frame->close();
        frame.reset();
        std::string text = ReadFile(box);
        const size_t at = text.find("FileName=notes.txt,");
        ASSERT_NE(at, std::string::npos) << text;
        std::string line = text.substr(at, text.find('\n', at) - at);
        ASSERT_NE(line.find("RemoteTimeUnit=60, RemoteSize="), std::string::npos) << line;
        const std::string was = line;
        edit(line);
        text.replace(at, was.size(), line);
        WriteFile(box, text);
    };
    editNotes([](std::string& line) {
        const size_t at = line.find("RemoteTimeUnit=");
        line.erase(at, line.find("BasketInd=") - at);
    });
    CMainFrame& earlier = Open();
    ASSERT_EQ(earlier.Data().GetFileItem(0, 0, 0, 2).RemoteTimeUnit, 0);
    Touch(Local() + "notes.txt", "notes\nsent by auto-sync\n", std::time(nullptr) - 5);
    prompter.entries.clear();
    earlier.ExecuteCommand(32574);  // auto-sync on
    for (int tick = 0; tick < 4; ++tick) {
        Tick();
        Finish();
    }
    earlier.ExecuteCommand(32574);  // auto-sync off
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\nsent by auto-sync\n") << Log();
    EXPECT_EQ(Count("-?- Not sent: "), 0) << Log();
    earlier.ExecuteCommand(32580);  // Ctrl+S
    {
        const std::string text = ReadFile(box);
        const size_t at = text.find("FileName=notes.txt,");
        ASSERT_NE(at, std::string::npos);
        EXPECT_NE(text.substr(at, text.find('\n', at) - at).find("RemoteTimeUnit=60, RemoteSize=24, "),
                  std::string::npos)
            << text;
    }

    editNotes([](std::string& line) { line.replace(line.find("RemoteTimeUnit=60"), 17, "RemoteTimeUnit=999999"); });
    CMainFrame& damaged = Open();
    EXPECT_NE(Log().find("item \"notes.txt\": RemoteTimeUnit=\"999999\" is no listing's unit"), std::string::npos)
        << Log();
    EXPECT_NE(Log().find("was not read whole"), std::string::npos) << Log();
    // Changed on the server an hour later, to the same size.
    WriteFile(ServerRoot() + "/notes.txt", "NOTES\nSENT BY AUTO-SYNC\n");
    const std::time_t later = std::time(nullptr) + 3600;
    utimbuf then{later, later};
    ASSERT_EQ(::utime((ServerRoot() + "/notes.txt").c_str(), &then), 0);
    Touch(Local() + "notes.txt", "notes\nnot to go\n", std::time(nullptr) - 5);
    SelectRows({2});
    prompter.entries.clear();
    prompter.answers = {Answer::No};
    PressInFileList(damaged, Qt::Key_F5);
    Finish();
    Tick();
    ASSERT_EQ(prompter.Questions().size(), 1u) << Log();
    EXPECT_NE(prompter.Questions()[0].find("could not be checked"), std::string::npos) << prompter.Questions()[0];
    EXPECT_EQ(prompter.Questions()[0].find("These files were changed on the server"), std::string::npos)
        << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "NOTES\nSENT BY AUTO-SYNC\n");
    EXPECT_EQ(damaged.Data().GetFileItem(0, 0, 0, 2).IsRemoteModified, "No");
}

}  // namespace
