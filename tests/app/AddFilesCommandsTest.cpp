// Adding files to the current basket from the window: drops on the file
// list (with the Directory Usage question for folders), the Drag-and-Drop
// dialog and its Stop, and "Add local files" with duplicates.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <filesystem>

#include "UiFixture.h"
#include "app/AddFilesCommands.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "app/PaneControlStatusBar.h"
#include "filelist/AddFileItems.h"
#include "filelist/ui/DirectoryUsageDlg.h"
#include "filelist/ui/DragAndDropDlg.h"

namespace {

class AddFilesWindowTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        MakeSampleArea();
        CAddFilesCommands::s_pickLocalFiles = nullptr;
    }
    void TearDown() override {
        CAddFilesCommands::s_pickLocalFiles = nullptr;
        CAddFilesCommands::s_batchApplied = nullptr;
        frame.reset();
        UiTest::TearDown();
    }
    CMainFrame& Open() {
        frame = std::make_unique<CMainFrame>();
        frame->show();
        return *frame;
    }
    std::string Log() { return frame->MessageWindow().GetText(); }
    bool LogHas(const std::string& line) {
        return ("\r\n" + Log() + "\r\n").find("\r\n" + line + "\r\n") != std::string::npos;
    }
    std::string Make(const std::string& rel) {
        const std::string path = Files() + "/" + rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteFile(path, "data\n");
        return path;
    }
    // Hands the paths to the file-item list's drop hook, as its drop does
    // after its own checks.
    void Drop(const std::vector<std::string>& paths) {
        ASSERT_TRUE(CQuorvellianViewBot::s_addDroppedFiles);
        CQuorvellianViewBot::s_addDroppedFiles(paths);
    }
    template <class Pred>
    bool WaitFor(Pred pred, int ms = 20000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    bool WaitIdle() {
        return WaitFor([this] { return g_bAddFilesIdle && !frame->AddFilesCommands().IsBusy(); });
    }
    template <class W>
    W* Control(QWidget* in, const char* id) {
        return in->findChild<W*>(id);
    }
    std::vector<std::string> Rows() {
        std::vector<std::string> out;
        for (int i = 0; i < frame->FileList()->topLevelItemCount(); ++i)
            out.push_back(frame->FileList()->topLevelItem(i)->text(0).toStdString());
        return out;
    }
    std::vector<std::string> BasketRows() {
        std::vector<std::string> out;
        for (int i = 0; i < frame->BasketList()->topLevelItemCount(); ++i)
            out.push_back(frame->BasketList()->topLevelItem(i)->text(0).toStdString());
        return out;
    }
    int Items() {
        CProgramData& d = frame->Data();
        return d.GetFileItemCount(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
    }

    std::unique_ptr<CMainFrame> frame;
};

}  // namespace

TEST_F(AddFilesWindowTest, DroppedFolderAsksDirectoryUsageThenMakesBasketsPerFolder) {
    const std::string tree = Files() + "/drop/tree";
    Make("drop/tree/a.txt");
    Make("drop/tree/skip.bak");
    // A folder whose name holds brackets is no VMS folder on a UNIX host.
    Make("drop/tree/sub [1]/b.txt");
    Make("drop/tree/sub [1]/old_c.txt");
    const std::string keptLoose = Make("drop/loose.txt");
    const std::string droppedLoose = Make("drop/loose.bin");
    CMainFrame& w = Open();
    Drop({tree, keptLoose, droppedLoose});

    CDirectoryUsageDlg* dlg = w.AddFilesCommands().DirectoryUsageDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->windowTitle(), "Directory Usage");
    for (const char* id : {"1501", "1890", "1907", "1906", "1618", "1617", "1500", "1925", "1905", "1655", "1629",
                           "1389", "1403", "1502", "1503"})
        EXPECT_NE(dlg->findChild<QWidget*>(id), nullptr) << id;
    // Local files are added: only the remote side is asked.
    EXPECT_TRUE(Control<QLineEdit>(dlg, "1629")->isHidden());
    EXPECT_FALSE(Control<QLineEdit>(dlg, "1655")->isHidden());
    EXPECT_EQ(Control<QLabel>(dlg, "1907")->text().toStdString(), Files() + "/drop/");
    EXPECT_EQ(Control<QLineEdit>(dlg, "1617")->text(), "*.*");
    EXPECT_TRUE(Control<QRadioButton>(dlg, "1500")->isChecked());

    // A second drop while the first one waits is turned away.
    Drop({keptLoose});
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages().back(), "One thread session is already on. Operation discarded.");

    Control<QLineEdit>(dlg, "1655")->setText("/srv/www");
    Control<QLineEdit>(dlg, "1617")->setText(".txt");
    Control<QLineEdit>(dlg, "1618")->setText("old_");
    QTest::mouseClick(Control<QPushButton>(dlg, "1"), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle());

    EXPECT_EQ(BasketRows(), (std::vector<std::string>{"Pages", "tree", "tree/sub [1]", "Scripts"}));
    CProgramData& d = w.Data();
    EXPECT_EQ(d.GetCurBasket(), 0);
    ASSERT_EQ(Items(), 9);
    EXPECT_EQ(d.GetFileItem(0, 0, 0, 8).FileName, "loose.txt");
    EXPECT_EQ(d.GetFileItem(0, 0, 0, 8).RemoteDir, "/srv/www/");
    ASSERT_EQ(d.GetFileItemCount(0, 0, 1), 1);
    EXPECT_EQ(d.GetFileItem(0, 0, 1, 0).FileName, "a.txt");
    ASSERT_EQ(d.GetFileItemCount(0, 0, 2), 1);
    EXPECT_EQ(d.GetFileItem(0, 0, 2, 0).RemoteDir, "/srv/www/tree/sub-[1]/");
    EXPECT_EQ(Rows().size(), 9u);
    EXPECT_TRUE(g_bAutoBasketCreate);
    // The new remote folders are offered for creation.
    ASSERT_FALSE(prompter.Questions().empty());
    EXPECT_NE(prompter.Questions().back().find("Auto-create remote directories"), std::string::npos);
    EXPECT_NE(prompter.Questions().back().find("/srv/www/tree/sub-[1]/\r\n"), std::string::npos)
        << prompter.Questions().back();
    EXPECT_NE(prompter.Questions().back().find("(Total: 2)"), std::string::npos) << prompter.Questions().back();
    const std::vector<std::string> messages = prompter.Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Invalid remote directory processed"), 0);
    EXPECT_TRUE(LogHas("Preparing files..."));
    EXPECT_TRUE(LogHas("Adding files to list..."));
    EXPECT_TRUE(LogHas("--- DND Drag-n-drop over ---"));
    EXPECT_TRUE(w.StatusBar()->findChild<QLineEdit*>("2177")->text().endsWith("+"));
    EXPECT_EQ(w.StatusBar()->findChild<QProgressBar*>("2174")->value(), 0);
    EXPECT_FALSE(w.AddFilesCommands().DragAndDropDialog()->isVisible());
    EXPECT_FALSE(g_bDragAndDropShown);
}

TEST_F(AddFilesWindowTest, CancelInDirectoryUsageAddsNothing) {
    Make("tree2/a.txt");
    CMainFrame& w = Open();
    Drop({Files() + "/tree2"});
    CDirectoryUsageDlg* dlg = w.AddFilesCommands().DirectoryUsageDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_FALSE(g_bAddFilesIdle);
    QTest::mouseClick(Control<QPushButton>(dlg, "2"), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(BasketRows(), (std::vector<std::string>{"Pages", "Scripts"}));
    EXPECT_EQ(Items(), 8);
    EXPECT_TRUE(g_bAutoBasketCreate);
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_TRUE(LogHas("--- DND Drag-n-drop over ---"));
    EXPECT_EQ(w.AddFilesCommands().DirectoryUsageDialog(), nullptr);
}

TEST_F(AddFilesWindowTest, DirectoryUsageTreeChoiceFollowsTheDeriveBox) {
    CProgramData data;
    g_bAutoBasketCreate = false;
    CDirectoryUsageDlg dlg(&data, 1, "", "/home/u/", nullptr);
    EXPECT_EQ(dlg.m_bAutoCreateBaskets, 1);
    EXPECT_TRUE(g_bAutoBasketCreate);  // written as the dialog is made
    dlg.show();
    auto* derive = Control<QCheckBox>(&dlg, "1503");
    auto* autoCreate = Control<QRadioButton>(&dlg, "1500");
    auto* flatten = Control<QRadioButton>(&dlg, "1501");
    auto* msg = Control<QLabel>(&dlg, "1890");
    EXPECT_FALSE(msg->isVisible());
    QTest::mouseClick(flatten, Qt::LeftButton);
    EXPECT_EQ(dlg.m_bAutoCreateBaskets, 0);
    EXPECT_FALSE(g_bAutoBasketCreate);
    QTest::mouseClick(derive, Qt::LeftButton);
    EXPECT_EQ(dlg.m_bDeriveRemote, 0);
    EXPECT_FALSE(autoCreate->isVisible());
    EXPECT_FALSE(flatten->isVisible());
    EXPECT_TRUE(msg->isVisible());
    EXPECT_EQ(Control<QLabel>(&dlg, "1925")->text(), "Remote directory for all files: (must exist)");
    EXPECT_EQ(dlg.m_bAutoCreateBaskets, 0);
    QTest::mouseClick(derive, Qt::LeftButton);
    EXPECT_TRUE(autoCreate->isChecked());
    EXPECT_EQ(dlg.m_bAutoCreateBaskets, 1);
    EXPECT_TRUE(g_bAutoBasketCreate);
    EXPECT_FALSE(msg->isVisible());

    // An empty remote folder is questioned; No keeps the dialog open.
    QTest::mouseClick(Control<QPushButton>(&dlg, "1"), Qt::LeftButton);
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(prompter.Questions()[0],
              "Remote directory should not be empty.\r\nAre you sure you want to leave it empty for now?");
    EXPECT_TRUE(dlg.isVisible());
    prompter.answers = {Answer::Yes};
    QTest::mouseClick(Control<QPushButton>(&dlg, "1"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(g_bAutoBasketCreate);

    // Cancel keeps what the radios wrote.
    CDirectoryUsageDlg cancelled(&data, 1, "/r/", "/home/u/", nullptr);
    cancelled.show();
    QTest::mouseClick(Control<QRadioButton>(&cancelled, "1501"), Qt::LeftButton);
    QTest::mouseClick(Control<QPushButton>(&cancelled, "2"), Qt::LeftButton);
    EXPECT_FALSE(g_bAutoBasketCreate);

    CDirectoryUsageDlg remote(&data, 2, "/r/", "/l/", nullptr);
    EXPECT_TRUE(Control<QLineEdit>(&remote, "1655")->isHidden());
    EXPECT_FALSE(Control<QLineEdit>(&remote, "1629")->isHidden());
    EXPECT_EQ(Control<QLabel>(&remote, "1906")->text(), "Remote root directory in use:");
}

TEST_F(AddFilesWindowTest, DroppedFilesGoAfterTheSelectionAndDuplicatesAreReportedOnce) {
    std::vector<std::string> paths;
    for (int i = 0; i < 12; ++i) paths.push_back(Make("dup/f" + std::to_string(10 + i) + ".txt"));
    paths.push_back(Make("dup/.hidden"));
    WriteFile(paths[11], std::string("text\0with a NUL\n", 16));  // the one new file
    CMainFrame& w = Open();
    CProgramData& d = w.Data();
    for (int i = 0; i < 11; ++i) {
        CFileItem it("f" + std::to_string(10 + i) + ".txt");
        it.LocalDir = Files() + "/dup/";
        d.InsertFileItems(0, 0, 0, -1, it);
    }
    d.SetSelection(0, 0, 0, {1});
    w.Presenter().ShowSession(0, 0, 0);
    Drop(paths);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(Items(), 20);
    EXPECT_EQ(d.GetFileItem(0, 0, 0, 2).FileName, "f21.txt");
    EXPECT_TRUE(d.GetFileItem(0, 0, 0, 2).IsBinaryFile);  // by its NUL byte
    EXPECT_EQ(d.GetSelection(0, 0, 0), (std::vector<int>{2}));
    ASSERT_EQ(Rows().size(), 20u);
    EXPECT_EQ(Rows()[2], "f21.txt");
    EXPECT_TRUE(w.FileList()->topLevelItem(2)->isSelected());
    EXPECT_FALSE(g_bAutoBasketCreate);  // no folder dropped
    const auto msgs = prompter.Messages();
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0], "File does not exist. Or, hidden, and temporary files are not droppable.");
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += "    f" + std::to_string(10 + i) + ".txt\r\n";
    EXPECT_EQ(msgs[1], std::string(kDuplicateFilesTitle) + "\r\n" + ten + "<and more>...");
    EXPECT_TRUE(prompter.Questions().empty());  // no folders, no remote offer
    EXPECT_TRUE(LogHas("--- DND Drag-n-drop over ---"));
}

TEST_F(AddFilesWindowTest, FileLimitReachedByADropTurnsAutoUpdateOff) {
    g_nTurnOff = 5;
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) paths.push_back(Make("lim/g" + std::to_string(i) + ".c"));
    Open();
    ASSERT_TRUE(g_bAutoUpdate);
    g_nTurnOff = 5;
    Drop(paths);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Items(), 13);
    EXPECT_FALSE(g_bAutoUpdate);
    EXPECT_NE(Log().find("File limit exceeded 5 files.\r\nAuto-update forcefully turned off."), std::string::npos);
}

TEST_F(AddFilesWindowTest, StopDuringALargeDropLeavesAConsistentBasket) {
    std::vector<std::string> paths;
    for (int i = 0; i < 6000; ++i) paths.push_back(Make("big/n" + std::to_string(100000 + i) + ".txt"));
    CMainFrame& w = Open();
    Drop(paths);
    CDragAndDropDlg* dnd = w.AddFilesCommands().DragAndDropDialog();
    ASSERT_TRUE(dnd->isVisible());
    EXPECT_TRUE(g_bDragAndDropShown);
    EXPECT_FALSE(Control<QLabel>(dnd, "1866")->isVisible());
    // Stop is pressed once the first files are in the basket.
    bool pressed = false;
    CAddFilesCommands::s_batchApplied = [&] {
        if (pressed) return;
        pressed = true;
        QTest::mouseClick(Control<QPushButton>(dnd, "1349"), Qt::LeftButton);
        EXPECT_TRUE(Control<QLabel>(dnd, "1866")->isVisible());
    };
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log().find("--- DND Drag-n-drop over ---"), std::string::npos);
    EXPECT_TRUE(LogHas("--- DND -d-aborted 2 ---") || LogHas("--- DND -d-aborted 5 ---")) << Log();
    EXPECT_FALSE(dnd->isVisible());
    EXPECT_FALSE(g_bAddFilesBreak);
    // The list shows exactly the basket: the first items of the drop, in order, selected.
    CProgramData& d = w.Data();
    const int n = Items();
    ASSERT_GT(n, 8);
    ASSERT_EQ(int(Rows().size()), n);
    for (int i = 8; i < n; ++i) ASSERT_EQ(d.GetFileItem(0, 0, 0, i).FileName, "n" + std::to_string(100000 + i - 8) + ".txt");
    const std::vector<int> sel = d.GetSelection(0, 0, 0);
    ASSERT_EQ(int(sel.size()), n - 8);
    EXPECT_EQ(sel.front(), 8);
    EXPECT_EQ(w.GetSelectedListRows(w.FileList()), sel);
    // The next drop runs normally.
    Drop({Make("after/z.txt")});
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Items(), n + 1);
}

TEST_F(AddFilesWindowTest, SuppressedScrollingStaysOnForTheRun) {
    CMainFrame& w = Open();
    CDragAndDropDlg* dnd = w.AddFilesCommands().DragAndDropDialog();
    auto* box = Control<QCheckBox>(dnd, "1521");
    dnd->ResetForNewRun();
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(g_bSuppressListScrolling);
    EXPECT_FALSE(box->isEnabled());
    Drop({Make("sup/a.txt")});
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(g_bSuppressListScrolling);  // a new run starts with it off
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(Rows().size(), 9u);  // the end of the run shows the basket
}

TEST_F(AddFilesWindowTest, AddLocalFilesReportsWhatIsAlreadyThere) {
    std::vector<std::string> picked;
    for (int i = 0; i < 15; ++i) picked.push_back(Make("loc/p" + std::to_string(10 + i) + ".txt"));
    CMainFrame& w = Open();
    CProgramData& d = w.Data();
    for (int i = 0; i < 15; ++i) {
        CFileItem it("p" + std::to_string(10 + i) + ".txt");
        it.LocalDir = Files() + "/loc/";
        d.InsertFileItems(0, 0, 0, -1, it);
    }
    picked.push_back(Make("loc/new.txt"));
    CAddFilesCommands::s_pickLocalFiles = [&] { return std::optional<std::vector<std::string>>(picked); };
    ASSERT_TRUE(w.IsCommandEnabled(32556));
    w.ExecuteCommand(32556);
    ASSERT_EQ(Items(), 24);
    EXPECT_EQ(Rows().back(), "new.txt");
    EXPECT_TRUE(w.FileList()->topLevelItem(23)->isSelected());
    ASSERT_EQ(prompter.Messages().size(), 1u);
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += "    p" + std::to_string(10 + i) + ".txt\r\n";
    EXPECT_EQ(prompter.Messages()[0], std::string(kDuplicateFilesTitle) + "\r\n" + ten + "<and more>...");

    // Cancelled picker: nothing happens; a running drop refuses the command.
    CAddFilesCommands::s_pickLocalFiles = [] { return std::optional<std::vector<std::string>>(); };
    w.ExecuteCommand(32556);
    EXPECT_EQ(Items(), 24);
    g_bAddFilesIdle = false;
    w.ExecuteCommand(32556);
    EXPECT_TRUE(LogHas("Thread on session...[a]"));
    g_bAddFilesIdle = true;
    g_bFtpIdle = false;
    w.ExecuteCommand(32556);
    EXPECT_EQ(prompter.Messages().back(),
              "This step is not allowed when an FTP session is on.\r\nTry later, or Stop the FTP session first.");
    g_bFtpIdle = true;
}

TEST_F(AddFilesWindowTest, NoRemoteFolderOfferWhileFtpIsBusy) {
    Make("busy/sub/a.txt");
    CMainFrame& w = Open();
    g_CurrentAccount.m_strLastFolder = "/home/alice";
    g_bFtpIdle = false;
    Drop({Files() + "/busy"});
    CDirectoryUsageDlg* dlg = w.AddFilesCommands().DirectoryUsageDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Control<QLineEdit>(dlg, "1655")->text(), "/home/alice");
    QTest::mouseClick(Control<QPushButton>(dlg, "1"), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle());
    g_bFtpIdle = true;
    EXPECT_EQ(BasketRows(), (std::vector<std::string>{"Pages", "busy/sub", "Scripts"}));
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 1, 0).RemoteDir, "/home/alice/busy/sub/");
    EXPECT_TRUE(prompter.Questions().empty());
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages().back(), "One FTP session is already on. Auto-create discarded.");
    EXPECT_TRUE(LogHas("--- DND Drag-n-drop over ---"));
}

TEST_F(AddFilesWindowTest, ClosingTheWindowDuringADropEndsTheWorkerCleanly) {
    std::vector<std::string> paths;
    for (int i = 0; i < 3000; ++i) paths.push_back(Make("gone/q" + std::to_string(i) + ".txt"));
    Open();
    Drop(paths);
    EXPECT_FALSE(g_bAddFilesIdle);
    frame.reset();  // batches still on their way are dropped with the window
    QCoreApplication::processEvents();
    EXPECT_TRUE(g_bAddFilesIdle);
    EXPECT_FALSE(g_bAddFilesBreak);
    EXPECT_FALSE(CQuorvellianViewBot::s_addDroppedFiles);

    // A drop waiting for its Directory Usage answer goes the same way.
    Open();
    Drop({Files() + "/gone"});
    ASSERT_NE(frame->AddFilesCommands().DirectoryUsageDialog(), nullptr);
    frame.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(g_bAddFilesIdle);
}
