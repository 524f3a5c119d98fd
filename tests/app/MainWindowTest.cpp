#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QLineEdit>
#include <QProgressBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <filesystem>
#include <thread>

#include "app/ControlPanelBar.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "app/PaneControlStatusBar.h"
#include "app/QtPrompter.h"
#include "app/QuorvellianApp.h"
#include "widgets/SharedDialogs.h"
#include "app/StartupBannerDlg.h"
#include "UiFixture.h"
#include "widgets/TextRichEdit.h"
#include "model/Globals.h"

namespace {

class WindowTest : public UiTest {
protected:
    void TearDown() override {
        frame.reset();
        UiTest::TearDown();
    }
    // The window as the program opens it; the trace goes to its Message Window.
    CMainFrame& Open() {
        frame = std::make_unique<CMainFrame>();
        frame->show();
        return *frame;
    }
    std::string Log() { return frame->MessageWindow().GetText(); }
    static bool LogHas(const std::string& log, const std::string& line) {
        return ("\r\n" + log + "\r\n").find("\r\n" + line + "\r\n") != std::string::npos;
    }
    std::unique_ptr<CMainFrame> frame;
};

}  // namespace

TEST_F(WindowTest, OpensOnASavedWorkArea) {
    const std::string from = std::string(QVL_TEST_DATA) + "/model/master/";
    for (const char* f : {"_qvl_master.txt", "Box01-Ses01-Alpha.txt", "Box01-Ses02-Betaold.txt"})
        std::filesystem::copy_file(from + f, g_strSessionInfoDir + f);
    CMainFrame& w = Open();
    // The current session is "Beta, old" with its second basket current.
    ASSERT_EQ(w.BasketList()->topLevelItemCount(), 2);
    EXPECT_EQ(w.BasketList()->topLevelItem(0)->text(0), "Main");
    EXPECT_EQ(w.BasketList()->topLevelItem(1)->text(0), "Images, misc");
    EXPECT_TRUE(w.BasketList()->topLevelItem(1)->isSelected());
    ASSERT_EQ(w.FileList()->topLevelItemCount(), 1);
    EXPECT_TRUE(w.FileList()->topLevelItem(0)->text(0).startsWith("~pic.jpg"));  // missing locally
    EXPECT_EQ(w.FileList()->topLevelItem(0)->text(1), "h");
    EXPECT_FALSE(w.FileList()->topLevelItem(0)->isSelected());
    QTreeWidgetItem* vault = w.ControlPanel().SessionTree()->topLevelItem(0);
    EXPECT_EQ(vault->text(0), "My Vault");
    ASSERT_EQ(vault->childCount(), 2);
    EXPECT_EQ(vault->child(0)->child(1)->text(0), "Beta, old");
    EXPECT_EQ(w.ControlPanel().AccountTree()->topLevelItem(0)->text(0), "My Network");
    EXPECT_TRUE(LogHas(Log(), "Auto-sync off."));
    EXPECT_EQ(w.MessageWindow().windowTitle(), "Message Window");
    EXPECT_EQ(w.ControlPanel().windowTitle(), "Control panel");
    EXPECT_NE(w.StatusBar(), nullptr);
}

TEST_F(WindowTest, OpensOnTheDefaultsOfAFreshWorkArea) {
    CMainFrame& w = Open();
    EXPECT_EQ(w.windowTitle(), "Quorvellian");
    QTreeWidgetItem* vault = w.ControlPanel().SessionTree()->topLevelItem(0);
    ASSERT_NE(vault, nullptr);
    EXPECT_EQ(vault->text(0), "My Vault");
    EXPECT_EQ(w.FileList()->topLevelItemCount(), 0);
    EXPECT_EQ(w.FileList()->headerItem()->text(0), "My Files");
    EXPECT_EQ(w.FileList()->headerItem()->text(1), "Hosts");
    EXPECT_EQ(w.BasketList()->headerItem()->text(0), "File Baskets");
    // The last column of each list takes at least its width and the rest of the row.
    EXPECT_GE(w.BasketList()->columnWidth(0), 250);
    EXPECT_EQ(w.FileList()->columnWidth(0), 190);
    EXPECT_GE(w.FileList()->columnWidth(1), 60);

    // Bars, their titles and ids, the timer and the status panes.
    for (auto [id, title] : {std::pair{132, "Main"}, {145, "Session"}, {141, "FTP"},
                             {143, "FTP Advanced"}, {165, "Manage Text Buffer"}}) {
        ASSERT_NE(w.ToolBar(id), nullptr) << id;
        EXPECT_EQ(w.ToolBar(id)->windowTitle(), title);
    }
    EXPECT_TRUE(w.ToolBar(132)->isVisible());
    EXPECT_FALSE(w.ToolBar(145)->isVisible());
    EXPECT_EQ(w.dockWidgetArea(&w.MessageWindow()), Qt::BottomDockWidgetArea);
    EXPECT_EQ(w.dockWidgetArea(&w.ControlPanel()), Qt::LeftDockWidgetArea);
    // Placed at the top left, 550 wide and, with its frame, as high as the
    // work area; sizing keeps it between 250 x 300 and (W - 50) x H.
    const FrameLayout& L = w.Layout();
    EXPECT_EQ(w.pos(), QPoint(0, 0));
    EXPECT_EQ(w.width(), 550);
    EXPECT_EQ(w.frameGeometry().height(), L.H);
    EXPECT_EQ(w.minimumSize(), QSize(250, 300));
    EXPECT_EQ(w.maximumSize(), QSize(L.W - 50, L.H));
    EXPECT_EQ(g_nViewWidth, 300);
    EXPECT_EQ(w.Timer().objectName(), "1105");
    EXPECT_EQ(w.Timer().interval(), 1000);
    EXPECT_TRUE(w.Timer().isActive());
    EXPECT_EQ(w.StatusBar()->PaneCount(), 3);
    auto* edit = w.findChild<QLineEdit*>("2177");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), " Ftp time");
    auto* progress = w.findChild<QProgressBar*>("2174");
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->maximum(), 1000);
    auto* tabs = w.findChild<QTabBar*>("1972");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(0), " Projects ");
    EXPECT_EQ(tabs->tabText(1), " Accounts ");

    // Commands whose handlers come later are shown disabled; built ones work.
    EXPECT_TRUE(w.Action(32563)->isEnabled());
    EXPECT_FALSE(w.Action(32547)->isEnabled());
    EXPECT_TRUE(w.Action(32580)->isEnabled());
    EXPECT_TRUE(w.Action(32503)->isEnabled());
    // The View toggles follow their bars.
    w.Action(32582)->trigger();
    EXPECT_TRUE(w.ToolBar(145)->isVisible());
    EXPECT_TRUE(w.Action(32582)->isChecked());
}

TEST_F(WindowTest, SaveCommandWritesBothMasterFilesAndTheLibraryAndLogsFourLines) {
    MakeSampleArea();
    CMainFrame& w = Open();
    std::filesystem::remove(g_strSessionInfoDir + kMasterFileName);
    w.ExecuteCommand(32580);
    EXPECT_TRUE(std::filesystem::exists(g_strSessionInfoDir + kMasterFileName));
    EXPECT_TRUE(std::filesystem::exists(g_strSessionBackUpDir + kMasterFileName));
    EXPECT_TRUE(std::filesystem::exists(g_strLibraryInfoDir + kLibraryFileName));
    const std::string log = Log();
    const std::string expected = "Saved user-information:\r\nSeesions:  " + g_strSessionInfoDir +
                                 kMasterFileName + "\r\nBackups:   " + g_strSessionBackUpDir +
                                 kMasterFileName + "\r\nLibraries: " + g_strLibraryInfoDir + kLibraryFileName;
    EXPECT_NE(log.find(expected), std::string::npos) << log;
}

TEST_F(WindowTest, AFailedSaveIsShownNotSilent) {
    MakeSampleArea();
    CMainFrame& w = Open();
    // The session folder cannot take the master file.
    std::filesystem::remove(g_strSessionInfoDir + kMasterFileName);
    std::filesystem::create_directory(g_strSessionInfoDir + kMasterFileName);
    prompter.entries.clear();
    w.ExecuteCommand(32580);
    EXPECT_FALSE(prompter.Messages().empty());
    EXPECT_TRUE(LogHas(Log(), "-?- Saving user-information failed."));
    EXPECT_FALSE(LogHas(Log(), "Saved user-information:"));

    // Closing shows the failure too and asks; Yes closes all the same.
    prompter.entries.clear();
    prompter.answers = {Answer::Yes};
    EXPECT_TRUE(w.close());
    EXPECT_EQ(prompter.Questions().size(), 1u);
    EXPECT_FALSE(prompter.Messages().empty());
    const std::string log = Log();
    EXPECT_EQ(log.substr(log.size() - std::string("Closing...").size()), "Closing...");
}

// The next start shows the bars as they were left; the window itself opens
// at its first place and size again.
TEST_F(WindowTest, ClosingSavesLogsClosingAndBarsComeBack) {
    MakeSampleArea();
    {
        CMainFrame& w = Open();
        std::filesystem::remove(g_strSessionInfoDir + kMasterFileName);
        w.ToolBar(141)->show();
        QApplication::processEvents();
        QApplication::processEvents();
        w.resizeDocks({&w.ControlPanel()}, {180}, Qt::Horizontal);
        // The window's own place and size are not kept.
        w.move(60, 40);
        w.resize(700, 400);
        QApplication::processEvents();
        g_bFtpIdle = false;  // closing while a transfer runs still saves
        EXPECT_TRUE(w.close());
        EXPECT_TRUE(std::filesystem::exists(g_strSessionInfoDir + kMasterFileName));
        EXPECT_TRUE(std::filesystem::exists(g_strLibraryInfoDir + kLibraryFileName));
        const std::string log = Log();
        EXPECT_EQ(log.substr(log.size() - std::string("Closing...").size()), "Closing...");
        frame.reset();
        g_bFtpIdle = true;
    }
    QSettings s;
    EXPECT_TRUE(s.contains("QuorvellianToolbarState-1.0.735.0-SCBar-2033/sizeVertCX"));
    EXPECT_TRUE(s.contains("QuorvellianToolbarState-1.0.735.0-SCBar-2034/sizeHorzCY"));
    const int savedWidth = s.value("QuorvellianToolbarState-1.0.735.0-SCBar-2033/sizeVertCX").toInt();
    EXPECT_LT(savedWidth, 250);  // the user's width, not the first one
    CMainFrame& w = Open();
    QApplication::processEvents();
    EXPECT_TRUE(w.ToolBar(141)->isVisible());
    EXPECT_EQ(w.ControlPanel().SizeVert().width(), savedWidth);
    EXPECT_EQ(w.pos(), QPoint(0, 0));
    EXPECT_EQ(w.width(), 550);
    EXPECT_EQ(w.frameGeometry().height(), w.Layout().H);
}

TEST_F(WindowTest, BarSizesBelowTheMinimumLoadAsTheMinimum) {
    {
        QSettings s;
        s.setValue("P-SCBar-2034/sizeHorzCX", 10);
        s.setValue("P-SCBar-2034/sizeVertCY", 0);
        s.setValue("P-SCBar-2034/sizeFloatCX", 400);
    }
    CMainFrame& w = Open();
    w.MessageWindow().LoadState("P");
    EXPECT_EQ(w.MessageWindow().SizeHorz().width(), 33);
    EXPECT_EQ(w.MessageWindow().SizeVert().height(), 32);
    EXPECT_EQ(w.MessageWindow().SizeFloat().width(), 400);
}

TEST_F(WindowTest, MessageWindowAppendsFromAnyThreadInOrder) {
    CMainFrame& w = Open();
    CMessageWindowBar& mw = w.MessageWindow();
    mw.Clear();
    mw.AppendLine("");
    EXPECT_EQ(mw.GetText(), "");
    mw.AppendLine("first");
    mw.AppendLine("two\r\nlines");
    EXPECT_EQ(mw.GetText(), "first\r\ntwo\r\nlines");
    mw.Clear();
    mw.AppendLine("x");
    EXPECT_EQ(mw.GetText(), "x");

    mw.Clear();
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) WriteTrace("w" + std::to_string(i));
    });
    worker.join();
    QApplication::processEvents();
    std::string expected;
    for (int i = 0; i < 50; ++i) expected += (i ? "\r\n" : "") + ("w" + std::to_string(i));
    EXPECT_EQ(mw.GetText(), expected);
}

TEST_F(WindowTest, DefaultKeysWorkAndAUserKeystrokeSurvivesARestart) {
    MakeSampleArea();
    const std::string path = "Software\\QuorvellianToolbars-1.0.735.0\\Quorvellian\\Settings";
    {
        CQuorvellianApp app;
        ASSERT_TRUE(app.InitInstance());
        CMainFrame* w = app.MainFrame();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w, 30000));
        EXPECT_EQ(app.AcceleratorPath(), path);
        ASSERT_TRUE(w->ShortcutsOf(32580).contains(QKeySequence("Ctrl+S")));
        std::filesystem::remove(g_strSessionBackUpDir + kMasterFileName);
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w, 30000));
        QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
        EXPECT_TRUE(std::filesystem::exists(g_strSessionBackUpDir + kMasterFileName));

        // The user gives "Save data" Ctrl+Alt+B instead.
        CAccelCommandOb* save = app.Accelerators().FindCommand(32580);
        save->RemoveUnlocked();
        save->keys.push_back({kKeyVirt | kKeyControl | kKeyAlt, 'B', false});
        app.Accelerators().CreateAcceleratorTable();
        w->close();
        app.ExitInstance();
    }
    QSettings s;
    EXPECT_EQ(s.value("Settings/Keyboard").typeId(), QMetaType::QByteArray);
    {
        CQuorvellianApp app;
        ASSERT_TRUE(app.InitInstance());
        CMainFrame* w = app.MainFrame();
        EXPECT_TRUE(w->ShortcutsOf(32580).contains(QKeySequence("Ctrl+Alt+B")));
        EXPECT_FALSE(w->ShortcutsOf(32580).contains(QKeySequence("Ctrl+S")));
        EXPECT_TRUE(w->ShortcutsOf(32627).contains(QKeySequence("Ctrl+C")));
        std::filesystem::remove(g_strSessionBackUpDir + kMasterFileName);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w, 30000));
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w, 30000));
        QTest::keyClick(w, Qt::Key_B, Qt::ControlModifier | Qt::AltModifier);
        EXPECT_TRUE(std::filesystem::exists(g_strSessionBackUpDir + kMasterFileName));
        w->close();
        app.ExitInstance();
    }
}

TEST_F(WindowTest, ListsFollowClicksAndTheSessionTree) {
    MakeSampleArea();
    CMainFrame& w = Open();
    ASSERT_EQ(w.BasketList()->topLevelItemCount(), 2);
    EXPECT_EQ(w.FileList()->topLevelItemCount(), 8);
    // Click the second basket.
    QTreeWidget* top = w.BasketList();
    QRect r = top->visualItemRect(top->topLevelItem(1));
    QTest::mouseClick(top->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(w.Data().GetCurBasket(), 1);
    EXPECT_EQ(w.FileList()->topLevelItemCount(), 2);
    // While a transfer runs a click changes nothing, and the list still shows
    // the current basket selected.
    g_bFtpIdle = false;
    r = top->visualItemRect(top->topLevelItem(0));
    QTest::mouseClick(top->viewport(), Qt::LeftButton, {}, r.center());
    g_bFtpIdle = true;
    EXPECT_EQ(w.Data().GetCurBasket(), 1);
    EXPECT_FALSE(top->topLevelItem(0)->isSelected());
    EXPECT_TRUE(top->topLevelItem(1)->isSelected());
    EXPECT_EQ(w.FileList()->topLevelItemCount(), 2);
    // Select a file row: the basket keeps the selection and the status bar says so.
    QTreeWidget* bot = w.FileList();
    r = bot->visualItemRect(bot->topLevelItem(1));
    QTest::mouseClick(bot->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(w.Data().GetSelection(0, 0, 1), std::vector<int>{1});
    EXPECT_EQ(w.StatusBar()->PaneText(0).toStdString(), w.Data().GetSelectionStatusText(0, 0, 1));
    // Click the "Build" session in the Control panel.
    CPanelTree* tree = w.ControlPanel().SessionTree();
    QTreeWidgetItem* build = tree->topLevelItem(0)->child(0)->child(1);
    r = tree->visualItemRect(build);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(w.Data().GetCurSession(), 1);
    EXPECT_EQ(w.BasketList()->topLevelItem(0)->text(0), "Make");
    EXPECT_EQ(w.FileList()->topLevelItemCount(), 2);
}

TEST_F(WindowTest, StartupBannerShowsTenQuipsAndStopsOnAKey) {
    CStartupBannerDlg banner;
    banner.RunBanner(1);
    EXPECT_TRUE(banner.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!banner.isVisible(), 2000);
    EXPECT_EQ(banner.QuipsShown(), 10);

    CStartupBannerDlg other;
    other.RunBanner(1000);
    QTest::keyClick(&other, Qt::Key_Space);
    EXPECT_TRUE(other.IsClosed());
    EXPECT_FALSE(other.isVisible());
    EXPECT_EQ(other.QuipsShown(), 1);
}

// A picture of the main window on a work area with two sessions and a dozen
// items, saved as "artifacts/main-window.png" in the test's folder.
// QVL_SCREENSHOT_HOLD=<seconds> keeps the window up for an outside capture.
TEST_F(WindowTest, ScreenshotArtifact) {
    MakeSampleArea();
    Touch(Files() + "/index.html", "changed\n", 1700000000);
    std::filesystem::remove(Files() + "/about.txt");
    CMainFrame& w = Open();
    w.Banner()->Close();
    w.Data().SetRemoteModified(0, 0, 0, 2, "Yes");
    w.Data().SetRemoteMissing(0, 0, 0, 3, "Yes");
    w.Presenter().ShowSession(0, 0, 0);
    WriteTrace("Ready.");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w, 30000));
    QApplication::processEvents();
    const std::filesystem::path dir = std::filesystem::path(QVL_BINARY).parent_path() / "artifacts";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(w.grab().save(QString::fromStdString((dir / "main-window.png").string())));
    if (const char* hold = std::getenv("QVL_SCREENSHOT_HOLD")) QTest::qWait(std::atoi(hold) * 1000);
}

TEST_F(WindowTest, HiddenDialogsShowAtHomeAndShownOnesFollowTheFrame) {
    CMainFrame& w = Open();
    QWidget first, hidden, shown;
    for (QWidget* d : {&first, &hidden, &shown}) d->resize(100, 100);
    bool firstFlag = false, hiddenFlag = false, shownFlag = true;
    shown.move(700, 300);
    w.RegisterModelessDialog(&first, HomeSlot::Report, &firstFlag);
    w.RegisterModelessDialog(&hidden, HomeSlot::DefinedMacros, &hiddenFlag);
    w.RegisterModelessDialog(&shown, HomeSlot::Report, &shownFlag);
    const QPoint before = w.frameGeometry().topLeft();
    first.show();
    EXPECT_EQ(first.pos(), before + QPoint(0, w.Layout().H / 2 - 105));
    first.hide();
    w.FollowFrame();
    const QPoint shownBefore = shown.pos();
    w.move(before + QPoint(40, 10));
    QApplication::processEvents();
    w.FollowFrame();
    const QPoint moved = w.frameGeometry().topLeft() - before;
    EXPECT_EQ(shown.pos(), shownBefore + moved);
    hidden.show();
    EXPECT_EQ(hidden.pos(), w.frameGeometry().topLeft() + QPoint(28, 86));
}

TEST_F(WindowTest, KeysAreNotWrittenBackAfterTheUserWipedTheKey) {
    const std::string path = "Software\\QuorvellianToolbars-1.0.735.0\\Quorvellian\\Settings";
    {
        CQuorvellianApp app;
        ASSERT_TRUE(app.InitInstance());
        EXPECT_TRUE(app.Registry().KeyExists(path));  // made at start-up
        EXPECT_TRUE(app.Registry().DeleteKey(path));
        app.MainFrame()->close();
        app.ExitInstance();
    }
    QSettings s;
    EXPECT_FALSE(s.contains("Settings/Keyboard"));
}

TEST_F(WindowTest, ControlPanelCommandsRedrawTheTrees) {
    MakeSampleArea();
    CMainFrame& w = Open();
    w.PanelPresenter().OnSessionRightClick(TreeRef::Parent(0));
    prompter.texts = {std::string("Second")};
    w.ExecuteCommand(32676);  // Add Project
    QTreeWidgetItem* vault = w.ControlPanel().SessionTree()->topLevelItem(0);
    ASSERT_EQ(vault->childCount(), 2);
    EXPECT_EQ(vault->child(1)->text(0), "Second");
    prompter.texts = {std::string("Fresh session")};
    w.ExecuteCommand(32671);  // Add Session on the new project
    vault = w.ControlPanel().SessionTree()->topLevelItem(0);
    ASSERT_EQ(vault->child(1)->childCount(), 1);
    EXPECT_EQ(vault->child(1)->child(0)->text(0), "Fresh session");
    EXPECT_TRUE(vault->child(1)->child(0)->isSelected());
    EXPECT_EQ(w.BasketList()->topLevelItemCount(), 0);  // the new session has no basket yet

    w.PanelPresenter().OnAccountRightClick(TreeRef::Parent(0));
    prompter.texts = {std::string("Cluster two")};
    w.ExecuteCommand(32666);
    QTreeWidgetItem* net = w.ControlPanel().AccountTree()->topLevelItem(0);
    ASSERT_EQ(net->childCount(), 2);
    EXPECT_EQ(net->child(1)->text(0), "Cluster two");
    EXPECT_EQ(net->child(0)->child(0)->text(0), "www ~ alice");
    EXPECT_TRUE(w.IsCommandEnabled(32664));
}

TEST_F(WindowTest, LoadSessionAsksForTheFileWithTheBrowseButton) {
    MakeSampleArea();
    CMainFrame& w = Open();
    w.Banner()->Close();
    // A project added on the root stands first in the saved file, without a session.
    w.PanelPresenter().OnSessionRightClick(TreeRef::Root());
    prompter.texts = {std::string("Newest")};
    w.ExecuteCommand(32676);
    w.ExecuteCommand(32580);  // save the user information
    w.PanelPresenter().OnSessionRightClick(TreeRef::Parent(1));
    QtPrompter dialogs;
    ScopedPrompter use(dialogs);
    bool seen = false;
    QTimer::singleShot(0, &w, [&] {
        auto* dlg = qobject_cast<CTextPromptDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        seen = true;
        EXPECT_EQ(dlg->windowTitle(), "Select File");
        EXPECT_EQ(dlg->findChild<QLabel*>("1903")->text(),
                  "Enter name of leaf-file that contains session information");
        EXPECT_FALSE(dlg->BrowseButton()->isHidden());
        dlg->Edit()->setText(QString::fromStdString(g_strSessionInfoDir + kMasterFileName));
        dlg->accept();
    });
    w.ExecuteCommand(32673);
    EXPECT_TRUE(seen);
    QTreeWidgetItem* project = w.ControlPanel().SessionTree()->topLevelItem(0)->child(1);
    ASSERT_EQ(project->childCount(), 3);
    EXPECT_EQ(project->child(0)->text(0), "Web site <+>");
    EXPECT_EQ(w.Data().GetSessionItemCount(1, 0), w.Data().GetSessionItemCount(1, 1));
}

namespace {
// A menu as text: one line per entry, sub-menus indented, "-" for separators.
std::string MenuOutline(const QMenu* menu, const std::string& indent = "") {
    std::string out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            out += indent + "-\n";
        else
            out += indent + a->text().toStdString() + "\n";
        if (a->menu()) out += MenuOutline(a->menu(), indent + "  ");
    }
    return out;
}
}  // namespace

TEST_F(WindowTest, ListContextMenusHoldTheirEntriesInOrder) {
    CMainFrame& w = Open();
    QMenu top, bot, other;
    ASSERT_TRUE(w.BuildListContextMenu(w.BasketList(), top));
    EXPECT_EQ(MenuOutline(&top),
              "Add\tF7\nRename\tCtrl+F7\nDelete\tCtrl+Shift+F7\nSort\n-\nFtp\n"
              "  To Local \t(Get All)\n  To Remote\t(Put All)\n");
    ASSERT_TRUE(w.BuildListContextMenu(w.FileList(), bot));
    EXPECT_EQ(MenuOutline(&bot),
              "Open Folder\tCtrl+Space\nOpen File\tDbl Click\nSelect all\tCtrl+A\nPrint\nRemove\tDelete\n-\n"
              "Work on file-list...\n  Up\tCtrl+1\n  Down\tCtrl+2\n  Pin\tCtrl+P\n  Mirror copies\tCtrl+D\n"
              "  Make same Host\tCtrl+Shift+D\n  Case\n    Lower case\tCtrl+L\n    Upper case\tCtrl+U\n"
              "    Change case...\n  Status\n"
              "File tools...\n  Diff files\tAlt+D\n    Quick diff (Input Output window)\tAlt+1\n"
              "    Quick diff (2 files)\tAlt+2\n    3-Way diff (3 files)\tAlt+3\n  Report on files\tCtrl+R\n"
              "  Rename multiple files\tAlt+R\n  New multiple files\n"
              "FTP files...\n  To local (from remote)\tF4 (get)\n  To remote (from local)\tF5 (put)\n"
              "  Mark as binary\n  Mark bat file\n-\nCut\nCopy\nPaste\n-\nNew file\nRename file\nDuplicate file\n"
              "Concatenate files\nDelete file\n-\nProperties...\tCtrl+Q\n");
    // Built commands are enabled, the others shown disabled.
    EXPECT_TRUE(top.findChild<QAction*>("32503")->isEnabled());
    ASSERT_NE(bot.findChild<QAction*>("32557"), nullptr);
    EXPECT_EQ(bot.findChild<QAction*>("32557")->isEnabled(), w.IsCommandEnabled(32557));
    // The Message Window's text: menu 155, acting on the Message Window.
    QMenu message;
    g_nActiveTextWindow = 1;
    ASSERT_TRUE(w.BuildListContextMenu(w.MessageWindow().GetRichEdit(), message));
    EXPECT_EQ(MenuOutline(&message), "&Copy\tCtrl+C\n&Paste\tCtrl+V\nC&ut\tCtrl+X\n&Save Text\nClea&r Text\n");
    EXPECT_EQ(g_nActiveTextWindow, 3);
    w.MessageWindow().GetRichEdit()->setPlainText("log line");
    message.findChild<QAction*>("32624")->trigger();
    EXPECT_EQ(w.MessageWindow().GetText(), "");
    EXPECT_FALSE(w.BuildListContextMenu(&w.MessageWindow(), other));
}

TEST_F(WindowTest, TreesTakeDropsOnlyFromThemselves) {
    MakeSampleArea();
    CMainFrame& w = Open();
    CPanelTree* tree = w.ControlPanel().SessionTree();
    QTreeWidgetItem* build = tree->topLevelItem(0)->child(0)->child(1);
    const QPoint at = tree->visualItemRect(build).center();
    // Something dragged in from elsewhere (the other tree, another program).
    EXPECT_FALSE(tree->HandleDrop(w.ControlPanel().AccountTree(), at));
    EXPECT_FALSE(tree->HandleDrop(nullptr, at));
    EXPECT_EQ(w.Data().GetSessionName(0, 0), "Web site");
    EXPECT_EQ(w.Data().GetSessionName(0, 1), "Build");
    // The tree's own current item dropped there moves after it.
    EXPECT_TRUE(tree->HandleDrop(tree, at));
    EXPECT_EQ(w.Data().GetSessionName(0, 0), "Build");
    EXPECT_EQ(w.Data().GetSessionName(0, 1), "Web site");
}

TEST_F(WindowTest, EnterAtAQuestionWhoseYesDeletesOrLosesSomethingKeepsIt) {
    MakeSampleArea();
    CMainFrame& w = Open();
    w.Banner()->Close();
    QtPrompter dialogs;
    dialogs.SetParentWindow(&w);
    ScopedPrompter use(dialogs);
    // The user's hand: Return on every box that comes up, whatever has the
    // box's focus.
    std::vector<std::string> boxes;
    QTimer hand;
    AnswerEveryBoxWithEnter(hand, boxes);
    hand.start(20);
    const auto asked = [&](const std::string& part) {
        return !boxes.empty() && boxes.back().find(part) != std::string::npos;
    };
    CProgramData& d = w.Data();

    w.BasketList()->topLevelItem(0)->setSelected(true);
    w.ExecuteCommand(32504);  // Delete basket
    EXPECT_TRUE(asked("delete the basket?\r\n\r\nThis will remove the basket"));
    EXPECT_EQ(d.GetBasketCount(0, 0), 2);

    const std::string file = d.GetFileItem(0, 0, 0, 0).GetLocalPath();
    w.FileList()->topLevelItem(0)->setSelected(true);
    w.ExecuteCommand(32526);  // Delete file
    EXPECT_TRUE(asked("from your local disk permanently?"));
    EXPECT_TRUE(std::filesystem::exists(file));

    w.PanelPresenter().OnSessionRightClick(TreeRef::Leaf(0, 1));
    w.ExecuteCommand(32672);  // Delete session
    EXPECT_TRUE(asked("delete the session?"));
    EXPECT_EQ(d.GetSessionCount(0), 2);

    std::vector<std::string> folders{Files() + "/saved"};
    std::filesystem::create_directories(folders[0]);
    {
        CSelectDlg pick(&folders, &w);
        pick.List()->topLevelItem(0)->setSelected(true);
        pick.findChild<QPushButton*>("1589")->click();  // Delete
    }
    EXPECT_TRUE(asked("delete the selected directories?"));
    EXPECT_TRUE(std::filesystem::is_directory(Files() + "/saved"));

    // The close cannot save (a folder in the master file's place): the
    // window stays open with what it holds.
    const std::string master = g_strSessionInfoDir + kMasterFileName;
    std::filesystem::remove(master);
    std::filesystem::create_directory(master);
    d.InsertBasket("New", 0, 0, 2);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(asked("Close anyway?"));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(d.GetBasketCount(0, 0), 3);
    hand.stop();
    std::filesystem::remove(master);
}
