// The remote commands of the window: browsing a real FTP server into the
// basket, the terminal launches and the host choosers. Dialogs run through a
// modal runner that opens them with open() and presses their buttons.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <sys/stat.h>

#include "FtpWindowFixture.h"
#include "app/ControlPanelBar.h"
#include "app/RemoteCommands.h"
#include "filelist/ui/DirectoryUsageDlg.h"
#include "remote/ui/AccountPropertiesDlg.h"
#include "remote/ui/GlobalPasswordUpdateDlg.h"
#include "remote/ui/LoginInformationDlg.h"
#include "remote/ui/ModalRun.h"
#include "remote/ui/RemoteBrowserDlg.h"
#include "remote/ui/SelectHostDlg.h"
#include "remote/ui/SessionAttributesDlg.h"
#include "settings/AcceleratorManager.h"

namespace fs = std::filesystem;

namespace {

template <class T>
T* Control(QWidget* w, const char* id) {
    T* c = w->findChild<T*>(id);
    EXPECT_NE(c, nullptr) << id;
    return c;
}

class RemoteWindowTest : public FtpWindowTest {
protected:
    void SetUp() override {
        FtpWindowTest::SetUp();
        if (IsSkipped()) return;
        bin = tmp / "bin";
        fs::create_directories(bin);
        const std::string fake = "#!/bin/sh\n{ for a in \"$@\"; do echo \"$a\"; done; echo END; } > " +
                                 tmp / "argv.tmp" + " && mv " + tmp / "argv.tmp" + " " + tmp / "argv.txt" + "\n";
        WriteFile(bin + "/x-terminal-emulator", fake);
        ::chmod((bin + "/x-terminal-emulator").c_str(), 0755);
        path = std::make_unique<ScopedEnv>("PATH", (bin + ":/usr/bin:/bin").c_str());
    }
    void TearDown() override {
        SetModalRunner(nullptr);
        CRemoteCommands::s_ctrlHeld = nullptr;
        FtpWindowTest::TearDown();
    }
    std::string Recorded() {
        EXPECT_TRUE(qvltest::WaitFor([&] { return fs::exists(tmp / "argv.txt"); }, 5000));
        std::string s = ReadFile(tmp / "argv.txt");
        fs::remove(tmp / "argv.txt");
        return s;
    }
    static int Row(QListWidget* list, const char* name) {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == name) return i;
        return -1;
    }
    std::string bin;
    std::unique_ptr<ScopedEnv> path;
};

TEST_F(RemoteWindowTest, BrowseRemoteSystemPicksFilteredFilesIntoTheBasket) {
    fs::create_directories(ServerRoot() + "/docs/sub");
    for (const char* n : {"docs/a.txt", "docs/b.c", "docs/c.txt", "docs/sub/d.txt"}) WriteFile(ServerRoot() + "/" + n, "x\n");
    MakeFtpArea();
    CMainFrame& w = Open();
    ASSERT_TRUE(w.IsCommandEnabled(32563));
    int runs = 0;
    std::string title;
    SetModalRunner([&](QDialog& d) {
        ++runs;
        auto* b = dynamic_cast<CRemoteBrowserDlg*>(&d);
        if (!b) return int(QDialog::Rejected);
        d.open();
        title = d.windowTitle().toStdString();
        auto* list = Control<QListWidget>(&d, "1849");
        // Into docs/ by a double-click, with a keep filter for the listing.
        Control<QLineEdit>(&d, "1617")->setText("");
        QTest::keyClicks(Control<QLineEdit>(&d, "1617"), ".txt");
        const int docs = Row(list, "docs");
        EXPECT_GE(docs, 0);
        if (docs < 0) return int(QDialog::Rejected);
        d.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d, 30000));
        const QPoint at = list->visualItemRect(list->item(docs)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
        // The list, disabled while the server listed the folder, has the focus again.
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == list; }, 30000));
        EXPECT_EQ(Control<QComboBox>(&d, "1460")->currentText(), "/docs/");
        EXPECT_EQ(Row(list, "b.c"), -1);
        EXPECT_GE(Row(list, "sub"), 0);  // folders are never filtered
        EXPECT_EQ(Control<QLineEdit>(&d, "1635")->text(), "1 directory, 2 files found.");
        list->item(Row(list, "a.txt"))->setSelected(true);
        list->item(Row(list, "c.txt"))->setSelected(true);
        EXPECT_EQ(Control<QLineEdit>(&d, "1635")->text(), "2 files selected");
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    w.ExecuteCommand(32563);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(title, "Files - 127.0.0.1");
    CProgramData& d = w.Data();
    ASSERT_EQ(d.GetFileItemCount(0, 0, 0), 5);
    const CFileItem a = d.GetFileItem(0, 0, 0, 3);
    EXPECT_EQ(a.FileName, "a.txt");
    EXPECT_EQ(a.FileType, "remote");
    EXPECT_EQ(a.RemoteDir, "/docs/");
    EXPECT_EQ(a.RemHost, "127.0.0.1");
    EXPECT_EQ(d.GetFileItem(0, 0, 0, 4).FileName, "c.txt");
    EXPECT_EQ(w.FileList()->topLevelItemCount(), 5);
    // The account keeps the folder and the visited-folder history.
    CHost acc = d.GetHost(0, 0);
    EXPECT_EQ(acc.m_strLastFolder, "/docs/");
    ASSERT_EQ(acc.m_Bookmarks.size(), 2u);
    EXPECT_EQ(acc.m_Bookmarks[1].RemDir, "/docs/");
    EXPECT_TRUE(prompter.Messages().empty());

    // Picking the same file again reports it instead of adding it twice.
    SetModalRunner([&](QDialog& d) {
        d.open();
        auto* list = Control<QListWidget>(&d, "1849");
        emit list->itemDoubleClicked(list->item(Row(list, "a.txt")));
        return d.result();
    });
    w.ExecuteCommand(32563);
    EXPECT_EQ(d.GetFileItemCount(0, 0, 0), 5);
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find("a.txt"), std::string::npos);
}

// A fresh work area knows no account: the login on the way makes it, and the
// browse's folder and history are that account's. The folder box has the
// focus, and Enter there goes to the typed folder instead of closing.
TEST_F(RemoteWindowTest, TheFirstBrowseOfAFreshAreaKeepsItsHistoryAndEnterGoesToTheTypedFolder) {
    fs::create_directories(ServerRoot() + "/docs");
    WriteFile(ServerRoot() + "/docs/a.txt", "x\n");
    WriteFile(ServerRoot() + "/top.txt", "x\n");
    CMainFrame& w = Open();
    prompter.logins = {LoginData{"127.0.0.1", qvltest::kUser, qvltest::kPassword, "", false}};
    SetModalRunner([&](QDialog& d) {
        if (!dynamic_cast<CRemoteBrowserDlg*>(&d)) return int(QDialog::Rejected);
        d.open();
        d.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d, 30000));
        auto* box = Control<QComboBox>(&d, "1460");
        auto* list = Control<QListWidget>(&d, "1849");
        QWidget* focus = QApplication::focusWidget();
        EXPECT_TRUE(focus == box || focus == box->lineEdit());
        EXPECT_GE(Row(list, "top.txt"), 0);
        list->item(Row(list, "top.txt"))->setSelected(true);
        box->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), "/docs");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(QTest::qWaitFor([&] { return Row(list, "a.txt") >= 0; }, 30000));
        EXPECT_EQ(Row(list, "top.txt"), -1);
        if (!d.isVisible() || Row(list, "a.txt") < 0) return d.result();
        list->item(Row(list, "a.txt"))->setSelected(true);
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    w.ExecuteCommand(32563);
    CProgramData& d = w.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    ASSERT_EQ(d.GetFileItemCount(p, s, b), 1);
    EXPECT_EQ(d.GetFileItem(p, s, b, 0).FileName, "a.txt");
    w.ExecuteCommand(32580);  // save the user information
    const std::string master = ReadFile(g_strSessionInfoDir + kMasterFileName);
    EXPECT_NE(master.find("LastReside=/docs/, "), std::string::npos) << master;
    EXPECT_NE(master.find("RemDir=/docs/, "), std::string::npos) << master;
}

TEST_F(RemoteWindowTest, TelnetCommandsStartTheTerminalWithAnArgumentList) {
    MakeFtpArea();
    CMainFrame& w = Open();
    g_CurrentAccount = CHost("alpha.beta", "joe", "pw");
    w.ExecuteCommand(32587);
    EXPECT_EQ(Recorded(), "-e\ntelnet\n-l\njoe\nalpha.beta\nEND\n");

    // The Control panel's "Telnet..." uses the clicked account.
    CControlPanelPresenter& cp = w.PanelPresenter();
    cp.ClassifyAccountItem(TreeRef::Leaf(0, 0));
    w.ExecuteCommand(32665);
    EXPECT_EQ(Recorded(), "-e\ntelnet\n-l\n" + std::string(qvltest::kUser) + "\n127.0.0.1\nEND\n");

    // With Ctrl the chooser comes first; its last entry is a plain terminal.
    CRemoteCommands::s_ctrlHeld = [] { return true; };
    std::vector<std::string> entries;
    SetModalRunner([&](QDialog& d) {
        d.open();
        EXPECT_EQ(d.windowTitle(), "Select Host");
        auto* combo = Control<QComboBox>(&d, "1535");
        for (int i = 0; i < combo->count(); ++i) entries.push_back(combo->itemText(i).toStdString());
        EXPECT_EQ(Control<QPushButton>(&d, "1")->text(), "Telnet");
        combo->setCurrentIndex(combo->count() - 1);
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    w.ExecuteCommand(32587);
    EXPECT_EQ(entries, (std::vector<std::string>{"127.0.0.1 ~ qvltest", "cmd"}));
    EXPECT_EQ(Recorded(), "END\n");
}

TEST_F(RemoteWindowTest, TheBrowseChooserMarksOpenConnectionsAndAsksForANewHost) {
    MakeFtpArea();
    CMainFrame& w = Open();
    std::string host = "127.0.0.1", user = qvltest::kUser;
    ASSERT_TRUE(ConnectHost(w.Data(), host, user, true));
    CRemoteCommands::s_ctrlHeld = [] { return true; };
    std::vector<std::string> entries;
    SetModalRunner([&](QDialog& d) {
        d.open();
        if (auto* login = dynamic_cast<CLoginInformationDlg*>(&d)) {
            EXPECT_EQ(Control<QLineEdit>(&d, "1626")->text(), "your-host");
            d.reject();
            return d.result();
        }
        auto* combo = Control<QComboBox>(&d, "1535");
        for (int i = 0; i < combo->count(); ++i) entries.push_back(combo->itemText(i).toStdString());
        EXPECT_EQ(Control<QPushButton>(&d, "1")->text(), "Browse");
        combo->setCurrentIndex(combo->count() - 1);
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    EXPECT_FALSE(w.RemoteCommands().BrowseRemoteHostChooser(0, 0));
    EXPECT_EQ(entries, (std::vector<std::string>{"127.0.0.1 ~ qvltest      + Up", "New host"}));
}


TEST_F(RemoteWindowTest, AccountPropertiesShowsAnOpenConnectionAndDisconnectClosesIt) {
    MakeFtpArea();
    CMainFrame& w = Open();
    std::string host = "127.0.0.1", user = qvltest::kUser;
    ASSERT_TRUE(ConnectHost(w.Data(), host, user, true));
    w.PanelPresenter().ClassifyAccountItem(TreeRef::Leaf(0, 0));
    std::string status, title;
    SetModalRunner([&](QDialog& d) {
        d.open();
        title = d.windowTitle().toStdString();
        auto* dlg = dynamic_cast<CAccountPropertiesDlg*>(&d);
        status = dlg->StatusText().toStdString();
        // The Quick Drop page: the account's bookmarks are shown; its buttons
        // have no work in this dialog and stay disabled, "Usage" stays hidden,
        // Connect and Disconnect belong to the first page only.
        auto* tabs = Control<QTabWidget>(&d, "1947");
        tabs->setCurrentIndex(1);
        EXPECT_FALSE(Control<QPushButton>(&d, "1419")->isVisible());
        EXPECT_FALSE(Control<QPushButton>(&d, "1420")->isVisible());
        for (const char* id : {"1369", "1842", "1421", "1428", "1423", "1430", "1425"}) {
            auto* b = Control<QPushButton>(&d, id);
            EXPECT_TRUE(b->isVisible()) << id;
            EXPECT_FALSE(b->isEnabled()) << id;
            EXPECT_FALSE(b->toolTip().isEmpty()) << id;
        }
        EXPECT_FALSE(Control<QPushButton>(&d, "1427")->isVisible());
        EXPECT_TRUE(Control<QLineEdit>(&d, "1658")->isEnabled());
        auto* marks = Control<QTreeWidget>(&d, "1718");
        EXPECT_EQ(marks->topLevelItemCount(), 2);
        EXPECT_EQ(marks->topLevelItem(1)->text(1), "/var/log");
        QTest::keyClick(marks, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(marks->selectedItems().size(), 2);
        QTest::keyClick(marks, Qt::Key_Delete);
        EXPECT_EQ(marks->topLevelItemCount(), 2);  // the list is not edited here
        tabs->setCurrentIndex(0);
        EXPECT_FALSE(Control<QLineEdit>(&d, "1626")->isEnabled());  // status 6: host and user fixed
        EXPECT_TRUE(Control<QLineEdit>(&d, "1642")->toolTip().isEmpty());
        EXPECT_TRUE(Control<QPushButton>(&d, "1420")->isVisible());
        EXPECT_FALSE(Control<QPushButton>(&d, "1419")->isVisible());
        // While a worker runs, the connection is not the dialog's to drop.
        g_bFtpIdle = false;
        Control<QPushButton>(&d, "1420")->click();
        g_bFtpIdle = true;
        prompter.answers = {Answer::No, Answer::Yes};
        Control<QPushButton>(&d, "1420")->click();
        EXPECT_GE(FindOpenConnection("127.0.0.1", qvltest::kUser), 0);
        Control<QPushButton>(&d, "1420")->click();
        EXPECT_EQ(FindOpenConnection("127.0.0.1", qvltest::kUser), -1);
        EXPECT_EQ(dlg->StatusText(), "Disconnected upon request");
        EXPECT_TRUE(Control<QPushButton>(&d, "1419")->isVisible());
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    w.Data().GetHostPtr(0, 0)->m_nStatus = 6;
    w.Data().GetHostPtr(0, 0)->m_Bookmarks = {{"home", "/srv", ""}, {"logs", "/var/log", ""}};
    w.ExecuteCommand(32664);
    EXPECT_EQ(title, "Account Properties");
    EXPECT_EQ(status.rfind("Connected at ", 0), 0u) << status;
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Cannot disconnect while an FTP session is on."});
    EXPECT_EQ(prompter.Questions(),
              (std::vector<std::string>{"This will disconnect the connection to 127.0.0.1\r\nOk to disconnect?",
                                        "This will disconnect the connection to 127.0.0.1\r\nOk to disconnect?"}));
    EXPECT_EQ(w.Data().GetHost(0, 0).m_nStatus, 4);
}

TEST_F(RemoteWindowTest, AccountPropertiesConnectsANewAccountAndRefusesADuplicate) {
    MakeFtpArea();
    CMainFrame& w = Open();
    w.Data().GetHostPtr(0, 0)->m_nStatus = 2;
    w.Data().AddHost("other.example.com", "bob", "pw", 0, 1);
    w.PanelPresenter().FillAccountTree(0, 0);
    w.PanelPresenter().ClassifyAccountItem(TreeRef::Leaf(0, 0));
    SetModalRunner([&](QDialog& d) {
        d.open();
        auto* dlg = dynamic_cast<CAccountPropertiesDlg*>(&d);
        EXPECT_EQ(dlg->StatusText(), "***Never*** connected.");
        EXPECT_TRUE(Control<QLineEdit>(&d, "1626")->isEnabled());
        g_bFtpIdle = false;
        Control<QPushButton>(&d, "1419")->click();
        g_bFtpIdle = true;
        EXPECT_EQ(FindOpenConnection("127.0.0.1", qvltest::kUser), -1);
        Control<QPushButton>(&d, "1419")->click();
        EXPECT_GE(FindOpenConnection("127.0.0.1", qvltest::kUser), 0);
        EXPECT_EQ(dlg->StatusText().left(13), "Connected at ");
        EXPECT_FALSE(Control<QLineEdit>(&d, "1626")->isEnabled());
        Control<QPushButton>(&d, "1419")->click();  // hidden now; pressed anyway
        d.reject();
        return d.result();
    });
    w.ExecuteCommand(32664);
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"Cannot connect while an FTP session is on.", "Already connected."}));
    EXPECT_EQ(w.Data().GetHost(0, 0).m_nStatus, 6);  // the tree shows the connection at once

    // A host that another account already has is refused; the password alone is fine.
    w.PanelPresenter().ClassifyAccountItem(TreeRef::Leaf(0, 1));
    SetModalRunner([&](QDialog& d) {
        d.open();
        Control<QLineEdit>(&d, "1626")->setText("127.0.0.1");
        Control<QLineEdit>(&d, "1693")->setText(qvltest::kUser);
        Control<QPushButton>(&d, "1")->click();
        EXPECT_TRUE(d.isVisible());
        Control<QLineEdit>(&d, "1626")->setText("other.example.com");
        Control<QLineEdit>(&d, "1693")->setText("bob");
        Control<QLineEdit>(&d, "1642")->setText("new pw");
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    w.ExecuteCommand(32664);
    EXPECT_EQ(prompter.Messages().back(), "This account already exists. Please change HOST or USER");
    EXPECT_EQ(w.Data().GetHost(0, 1).m_strPassword, "new pw");
}

// An account connected in Account Properties and left idle: pyftpdlib
// gives up the passive port of the login and says so with a 421 nobody
// asked for. F5 then sends each file, and the window tells each one's real
// result: the files stored, the one whose name is a folder on the server not.
TEST_F(RemoteWindowTest, AnAccountConnectedAndLeftIdleSendsEachFileWithItsRealResult) {
    server.reset();
    server = std::make_unique<qvltest::PyFtpServer>(ServerRoot(), 1.0);
    ASSERT_TRUE(server->ok()) << server->why();
    port.reset();
    port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(server->port()).c_str());
    fs::create_directories(ServerRoot() + "/notes.txt");
    MakeFtpArea();
    CMainFrame& w = Open();
    CAcceleratorManager keys;
    keys.Connect(&w, false);
    InstallAccelerators(keys);
    QApplication::processEvents();

    // The account's menu in the Control panel: Properties..., then Connect.
    CControlPanelBar& panel = w.ControlPanel();
    QTest::mouseClick(panel.Tabs(), Qt::LeftButton, {}, panel.Tabs()->tabRect(1).center());
    CPanelTree* accounts = panel.AccountTree();
    accounts->expandAll();
    QTreeWidgetItem* account = nullptr;
    for (QTreeWidgetItemIterator it(accounts); *it; ++it)
        if ((*it)->text(0).startsWith("127.0.0.1")) account = *it;
    ASSERT_NE(account, nullptr);
    QTimer menuHand;
    menuHand.setInterval(20);
    QObject::connect(&menuHand, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        menuHand.stop();
        for (QAction* a : menu->actions())
            if (a->text() == "Properties...") menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    int dialogs = 0;
    SetModalRunner([&](QDialog& d) {
        ++dialogs;
        d.open();
        QTest::mouseClick(Control<QPushButton>(&d, "1419"), Qt::LeftButton);
        EXPECT_GE(FindOpenConnection("127.0.0.1", qvltest::kUser), 0);
        QTest::mouseClick(Control<QPushButton>(&d, "1"), Qt::LeftButton);
        return d.result();
    });
    menuHand.start();
    // The right-click on the account, as the window system hands it over.
    const QPoint at = accounts->visualItemRect(account).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, accounts->viewport()->mapToGlobal(at));
    QApplication::sendEvent(accounts->viewport(), &click);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs == 1; }, 10000));
    SetModalRunner(nullptr);
    ASSERT_GE(FindOpenConnection("127.0.0.1", qvltest::kUser), 0);

    QTest::qWait(2500);  // past the server's passive time-out
    SelectRows({0, 1, 2});
    w.FileList()->setFocus();
    QTest::keyClick(w.FileList(), Qt::Key_F5);
    Finish();
    EXPECT_EQ(ReadFile(ServerRoot() + "/my file.txt"), "first line\nsecond line\n");
    EXPECT_EQ(ReadFile(ServerRoot() + "/pic.bin"), ReadFile(Local() + "pic.bin"));
    const std::string log = Log();
    const size_t list = log.find("Failed to transfer the following:");
    ASSERT_NE(list, std::string::npos) << log;
    std::string tail = log.substr(list);
    tail.erase(std::remove(tail.begin(), tail.end(), '\r'), tail.end());
    EXPECT_EQ(tail, "Failed to transfer the following:\n   1. notes.txt\n--- FTP over ---") << log;
    Tick();
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 0).IsFTPed, "Yes") << log;
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 1).IsFTPed, "Yes") << log;
    EXPECT_EQ(w.Data().GetFileItem(0, 0, 0, 2).IsFTPed, "failed") << log;
}

TEST_F(RemoteWindowTest, SessionAttributesStoreTheAccountAndKeepATypedPassword) {
    MakeFtpArea();
    CMainFrame& w = Open();
    w.Data().AddHost("other.example.com", "bob", "vault-pw", 0, 1);
    w.PanelPresenter().ClassifySessionItem(TreeRef::Leaf(0, 0));
    std::string title;
    QPoint at;
    SetModalRunner([&](QDialog& d) {
        d.open();
        title = d.windowTitle().toStdString();
        at = d.pos();
        auto* pw = Control<QLineEdit>(&d, "1642");
        EXPECT_EQ(Control<QLineEdit>(&d, "1626")->text(), "127.0.0.1");
        EXPECT_EQ(pw->text().toStdString(), qvltest::kPassword);
        // Typed for the same account: kept when the box gets the focus again.
        pw->setText("typed");
        QFocusEvent in(QEvent::FocusIn);
        QApplication::sendEvent(pw, &in);
        EXPECT_EQ(pw->text(), "typed");
        // Another account: the vault's password comes in.
        Control<QLineEdit>(&d, "1626")->setText("other.example.com");
        Control<QLineEdit>(&d, "1693")->setText("bob");
        QApplication::sendEvent(pw, &in);
        EXPECT_EQ(pw->text(), "vault-pw");
        Control<QLineEdit>(&d, "1583")->setText("");
        Control<QPushButton>(&d, "1")->click();
        EXPECT_TRUE(d.isVisible());
        Control<QLineEdit>(&d, "1583")->setText(QString::fromStdString(Files() + "/other"));
        Control<QLineEdit>(&d, "1587")->setText("/srv/");
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    w.ExecuteCommand(32674);
    EXPECT_EQ(title, "Session Attributes");
    // It opens at the Control panel's right edge and top.
    QWidget& panel = w.ControlPanel();
    ASSERT_TRUE(panel.isVisible());
    EXPECT_EQ(at, panel.mapToGlobal(QPoint(panel.width(), 0)));
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Empty local location."});
    CSession* se = w.Data().GetSessionPtr(0, 0);
    EXPECT_EQ(se->Host, "other.example.com");
    EXPECT_EQ(se->User, "bob");
    EXPECT_EQ(se->LocalDir, Files() + "/other/");
    EXPECT_EQ(w.Data().GetHost(0, 1).m_strLastFolder, "/srv/");
}

TEST_F(RemoteWindowTest, GlobalPasswordUpdateSetsTheChosenAccountsOfOneUser) {
    MakeFtpArea();
    CMainFrame& w = Open();
    w.Data().AddHost("b.example.com", "joe", "same", 0, 1);
    w.Data().AddHost("c.example.com", "joe", "same", 0, 2);
    w.Data().AddHost("d.example.com", "Joe", "other", 0, 3);
    g_bFtpIdle = false;
    int runs = 0;
    QPoint at;
    SetModalRunner([&](QDialog& d) {
        ++runs;
        d.open();
        at = d.pos();
        EXPECT_EQ(d.windowTitle(), "Global Password Update");
        auto* users = Control<QComboBox>(&d, "1536");
        const int joe = users->findText("joe");
        users->setCurrentIndex(joe);
        emit users->activated(joe);
        auto* list = Control<QTreeWidget>(&d, "1717");
        EXPECT_EQ(list->topLevelItemCount(), 2);
        EXPECT_EQ(Control<QLabel>(&d, "1866")->text(), "Total 2 machines");
        list->topLevelItem(0)->setSelected(true);
        list->topLevelItem(1)->setSelected(true);
        EXPECT_EQ(Control<QLabel>(&d, "1866")->text(), "2 / 2 selected");
        EXPECT_EQ(Control<QLineEdit>(&d, "1642")->text(), "same");
        Control<QLineEdit>(&d, "1642")->setText("fresh");
        Control<QPushButton>(&d, "1449")->click();
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    w.ExecuteCommand(32670);
    EXPECT_EQ(runs, 0);
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages().back(), "Cannot modify passwords while an FTP session is on.");
    g_bFtpIdle = true;
    w.ExecuteCommand(32670);
    EXPECT_EQ(runs, 1);
    // Over the top-left corner of the file-item list.
    EXPECT_EQ(at, w.FileList()->mapToGlobal(QPoint(0, 0)));
    EXPECT_EQ(prompter.Messages().back(), "Completed.");
    EXPECT_EQ(w.Data().GetHost(0, 1).m_strPassword, "fresh");
    EXPECT_EQ(w.Data().GetHost(0, 2).m_strPassword, "fresh");
    EXPECT_EQ(w.Data().GetHost(0, 3).m_strPassword, "other");
    for (const auto& l : trace.lines) EXPECT_EQ(l.find("fresh"), std::string::npos) << l;
}


class CollectWindowTest : public RemoteWindowTest {
protected:
    void MakeTree() {
        for (const char* n : {"tree/a.txt", "tree/Sub/b.txt", "tree/Sub/deep/c.txt", "tree/Sub/skip.log"}) {
            fs::create_directories(fs::path(ServerRoot() + "/" + n).parent_path());
            WriteFile(ServerRoot() + "/" + n, "x\n");
        }
        MakeFtpArea();
    }
    // Selects "tree" in the browser and presses "Add directory contents
    // recursively"; the Directory Usage question is answered with OK and
    // the keep filter ".txt".
    void StartCollect(QDialog& d) {
        auto* list = Control<QListWidget>(&d, "1849");
        for (int i = 0; i < list->count(); ++i) list->item(i)->setSelected(list->item(i)->text() == "tree");
        Control<QPushButton>(&d, "1331")->click();
    }
    ModalRunner Runner(bool cancel) {
        return [this, cancel](QDialog& d) {
            d.open();
            if (auto* usage = dynamic_cast<CDirectoryUsageDlg*>(&d)) {
                usage->m_strKeep = ".txt";
                usage->m_strLocalDir = Files() + "/mirror";
                d.accept();
                return d.result();
            }
            auto* b = dynamic_cast<CRemoteBrowserDlg*>(&d);
            if (!b) return int(QDialog::Rejected);
            StartCollect(d);
            EXPECT_TRUE(b->Collecting());
            EXPECT_FALSE(Control<QPushButton>(&d, "1")->isEnabled());
            if (cancel) {
                Control<QPushButton>(&d, "2")->click();
                EXPECT_TRUE(g_bFtpIdle);  // the walk was waited for
                QApplication::processEvents();
                return d.result();
            }
            qvltest::WaitFor([&] {
                QApplication::processEvents();
                return !d.isVisible();
            }, 10000);
            return d.result();
        };
    }
};

TEST_F(CollectWindowTest, CollectsAFolderTreeIntoTheSessionWithMirroredLocalFolders) {
    MakeTree();
    CMainFrame& w = Open();
    prompter.answers = {Answer::Yes};
    SetModalRunner(Runner(false));
    w.ExecuteCommand(32563);
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(prompter.Questions()[0].rfind("There are 3 file(s) from this recursive process.\r\n", 0), 0u);
    // One basket per remote folder after the current one, each file in the
    // basket of its folder with the local folder mirroring the tree.
    CProgramData& d = w.Data();
    std::vector<CFileItem> all;
    for (int b = 0; b < d.GetBasketCount(0, 0); ++b)
        for (const CFileItem& it : d.GetBasketItems(0, 0, b))
            if (it.FileType == "remote") all.push_back(it);
    ASSERT_EQ(all.size(), 3u);
    std::map<std::string, std::string> local;
    for (const CFileItem& it : all) local[it.RemoteDir + it.FileName] = it.LocalDir;
    EXPECT_EQ(local["/tree/a.txt"], Files() + "/mirror/");
    // The local folders keep the remote names' case.
    EXPECT_EQ(local["/tree/Sub/b.txt"], Files() + "/mirror/Sub/");
    EXPECT_EQ(local["/tree/Sub/deep/c.txt"], Files() + "/mirror/Sub/deep/");
    EXPECT_TRUE(g_bFtpIdle);
}

TEST_F(CollectWindowTest, CancelStopsTheWalkWaitsForItAndAsksNothing) {
    MakeTree();
    CMainFrame& w = Open();
    SetModalRunner(Runner(true));
    const int before = w.Data().GetFileItemCount(0, 0, 0);
    w.ExecuteCommand(32563);
    QApplication::processEvents();
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_EQ(w.Data().GetFileItemCount(0, 0, 0), before);
    EXPECT_TRUE(g_bFtpIdle);
}

// A host that stalls or trickles: the scripted server takes the FTP port.
class StallingHostTest : public CollectWindowTest {
protected:
    void SetUp() override {
        CollectWindowTest::SetUp();
        if (IsSkipped()) return;
        fake.listing = "drwxr-xr-x 2 u g 4096 Jan 12 10:00 tree\r\n";
        for (int i = 0; i < 40; ++i) fake.listing += "-rw-r--r-- 1 u g 1 Jan 12 10:00 f" + std::to_string(i) + ".txt\r\n";
        UseFakeServer(fake);
        MakeFtpArea();
    }
    void TearDown() override {
        CollectWindowTest::TearDown();
        fake.Stop();
    }
    static long long MsSince(const QElapsedTimer& t) { return t.elapsed(); }
    qvltest::FakeFtpServer fake;
};

TEST_F(StallingHostTest, CancelDuringAStalledWalkEndsTheWalkBeforeTheDialogGoes) {
    NetTimeoutValues().replyMs = 30000;  // the stall outlasts any bounded wait for the walk
    CMainFrame& w = Open();
    long long cancelMs = -1;
    bool walkOver = false;
    SetModalRunner([&](QDialog& d) {
        d.open();
        if (auto* usage = dynamic_cast<CDirectoryUsageDlg*>(&d)) {
            usage->m_strLocalDir = Files() + "/mirror";
            d.accept();
            return d.result();
        }
        if (!dynamic_cast<CRemoteBrowserDlg*>(&d)) return int(QDialog::Rejected);
        fake.SetDelay("LIST", 20000);  // the walk's first listing never comes
        const auto lists = [&] {
            int n = 0;
            for (const std::string& c : fake.Received()) n += c.rfind("LIST", 0) == 0;
            return n;
        };
        const int listed = lists();
        StartCollect(d);
        // Cancel once the walk waits for its listing.
        EXPECT_TRUE(QTest::qWaitFor([&] { return lists() > listed; }, 30000));
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(Control<QPushButton>(&d, "2"), Qt::LeftButton);
        cancelMs = t.elapsed();
        walkOver = JoinFtpWorker(0);
        return d.result();
    });
    w.Action(32563)->trigger();
    QTest::qWait(100);  // anything the walk posted reaches no dialog
    EXPECT_TRUE(walkOver);
    EXPECT_GE(cancelMs, 0);
    EXPECT_LT(cancelMs, 3000);
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_TRUE(g_bFtpIdle);
}

TEST_F(StallingHostTest, ATricklingListingLeavesTheBrowserUsableAndCancelEndsItAtOnce) {
    CMainFrame& w = Open();
    long long closedMs = -1;
    bool disabledMeanwhile = false;
    SetModalRunner([&](QDialog& d) {
        d.open();
        if (!dynamic_cast<CRemoteBrowserDlg*>(&d)) return int(QDialog::Rejected);
        auto* list = Control<QListWidget>(&d, "1849");
        const int tree = Row(list, "tree");
        EXPECT_GE(tree, 0);
        if (tree < 0) return int(QDialog::Rejected);
        fake.listingLineMs = 300;  // 41 lines: over 12 seconds
        QElapsedTimer t;
        t.start();
        // The window keeps taking input while the listing comes: the user
        // presses Cancel half a second in.
        QTimer::singleShot(500, &d, [&] {
            disabledMeanwhile = !Control<QPushButton>(&d, "1")->isEnabled();
            QTest::mouseClick(Control<QPushButton>(&d, "2"), Qt::LeftButton);
        });
        emit list->itemDoubleClicked(list->item(tree));
        closedMs = t.elapsed();
        EXPECT_FALSE(d.isVisible());
        return d.result();
    });
    w.Action(32563)->trigger();
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_GE(closedMs, 400);
    EXPECT_LT(closedMs, 3000);
    EXPECT_TRUE(prompter.Messages().empty());  // a cancelled listing is no failure to report
}

}  // namespace

namespace {

TEST_F(RemoteWindowTest, BrowserButtonsCreateDeleteAndKeepTheHistory) {
    fs::create_directories(ServerRoot() + "/full");
    for (const char* n : {"one.txt", "two words.txt", "full/inner.txt"}) WriteFile(ServerRoot() + "/" + n, "x\n");
    MakeFtpArea();
    CMainFrame& w = Open();
    // No rexec service: deleting falls back to plain FTP without asking again.
    ScopedEnv noRexec("QVL_REXEC_PORT", std::to_string(qvltest::FreePort()).c_str());
    w.PanelPresenter().ClassifyAccountItem(TreeRef::Leaf(0, 0));
    SetModalRunner([&](QDialog& d) {
        d.open();
        auto* list = Control<QListWidget>(&d, "1849");
        prompter.texts = {std::string("made here")};
        Control<QPushButton>(&d, "1332")->click();
        EXPECT_TRUE(fs::is_directory(ServerRoot() + "/made here"));
        EXPECT_GE(Row(list, "made here"), 0);

        // Delete on a file: after the refresh the folder combo has the focus,
        // not the read-only status line.
        d.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d, 30000));
        list->setFocus();
        list->clearSelection();
        list->item(Row(list, "two words.txt"))->setSelected(true);
        prompter.answers = {Answer::Yes};
        QTest::keyClick(list, Qt::Key_Delete);
        EXPECT_FALSE(fs::exists(ServerRoot() + "/two words.txt"));
        EXPECT_TRUE(fs::exists(ServerRoot() + "/one.txt"));
        EXPECT_EQ(Row(list, "two words.txt"), -1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == Control<QComboBox>(&d, "1460") ||
                                                 QApplication::focusWidget() == Control<QComboBox>(&d, "1460")->lineEdit(); },
                                    30000));

        // A folder that is not empty is refused by the server.
        list->clearSelection();
        list->item(Row(list, "full"))->setSelected(true);
        prompter.answers = {Answer::Yes};
        Control<QPushButton>(&d, "1333")->click();
        EXPECT_TRUE(fs::exists(ServerRoot() + "/full/inner.txt"));

        // Ctrl+A selects every row; F5 reloads the folder of the combo.
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(static_cast<int>(list->selectedItems().size()), list->count());
        WriteFile(ServerRoot() + "/late.txt", "x\n");
        QTest::keyClick(list, Qt::Key_F5);
        EXPECT_GE(Row(list, "late.txt"), 0);

        // History: "Save History" off records nothing; a bookmark can go.
        auto* books = Control<QComboBox>(&d, "1461");
        const int before = books->count();
        Control<QCheckBox>(&d, "1504")->click();
        EXPECT_FALSE(g_bBookmarkRecord);
        // Enter on a folder goes into it; the focus comes back to the list.
        d.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d, 30000));
        list->setFocus();
        list->setCurrentRow(Row(list, "made here"));
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(Control<QComboBox>(&d, "1460")->currentText(), "/made here/");
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == list; }, 30000));
        EXPECT_EQ(books->count(), before);
        Control<QPushButton>(&d, "1423")->click();
        EXPECT_EQ(books->count(), before - 1);
        // A typed folder stays as typed, even where a visited one begins so.
        auto* dirs = Control<QComboBox>(&d, "1460");
        EXPECT_GE(dirs->findText("/made here", Qt::MatchStartsWith), 0);
        d.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d, 30000));
        dirs->setFocus();
        dirs->lineEdit()->selectAll();
        QTest::keyClicks(dirs->lineEdit(), "/ma");
        EXPECT_EQ(dirs->currentText(), "/ma");
        Control<QCheckBox>(&d, "1504")->click();
        Control<QPushButton>(&d, "2")->click();
        return d.result();
    });
    w.ExecuteCommand(32662);
    EXPECT_TRUE(g_bBookmarkRecord);
    const auto q = prompter.Questions();
    ASSERT_EQ(q.size(), 2u);  // one question each, none again before the plain FTP delete
    EXPECT_EQ(q[0], "This will remove the selected files.\r\nAre you sure?\r\nClick \"No\", if you're not sure.");
    EXPECT_EQ(q[1], "This will remove the directory full and its contents.\r\nAre you sure?\r\nClick \"No\", if you're not sure.");
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages().back().rfind("Failed to delete directory.", 0), 0u);
    EXPECT_NE(Log().find("REXEC failed: "), std::string::npos);
    EXPECT_EQ(w.Data().GetFileItemCount(0, 0, 0), 3);  // Cancel adds nothing
}

}  // namespace

namespace {

TEST_F(RemoteWindowTest, SessionAttributesPicksTheRemoteFolderInTheFolderBrowser) {
    fs::create_directories(ServerRoot() + "/site/pages");
    WriteFile(ServerRoot() + "/site/index.html", "x\n");
    MakeFtpArea();
    CMainFrame& w = Open();
    w.PanelPresenter().ClassifySessionItem(TreeRef::Leaf(0, 0));
    std::string browserTitle;
    std::vector<std::string> rows;
    SetModalRunner([&](QDialog& d) {
        d.open();
        if (dynamic_cast<CRemoteBrowserDlg*>(&d)) {
            browserTitle = d.windowTitle().toStdString();
            auto* list = Control<QListWidget>(&d, "1849");
            EXPECT_FALSE(Control<QPushButton>(&d, "1331")->isEnabled());
            for (int i = 0; i < list->count(); ++i) rows.push_back(list->item(i)->text().toStdString());
            list->item(Row(list, "site"))->setSelected(true);
            Control<QPushButton>(&d, "1")->click();
            return d.result();
        }
        Control<QPushButton>(&d, "1586")->click();
        EXPECT_EQ(Control<QLineEdit>(&d, "1587")->text(), "/site/");
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    w.ExecuteCommand(32674);
    EXPECT_EQ(browserTitle, "Directory - 127.0.0.1");
    EXPECT_EQ(rows, std::vector<std::string>{"site"});  // folders only
    EXPECT_EQ(w.Data().GetSessionPtr(0, 0)->RemoteDir, "/site/");
    EXPECT_EQ(w.Data().GetHost(0, 0).m_strLastFolder, "/site/");
}

// A Windows server that answers SYST as UNIX but lists DOS-style, and one
// whose ls speaks German: the folder picker shows their folders, whole
// names and all.
TEST_F(RemoteWindowTest, TheFolderPickerShowsTheFoldersOfDosAndGermanListings) {
    qvltest::FakeFtpServer fake;
    UseFakeServer(fake);
    MakeFtpArea();
    CMainFrame& w = Open();
    w.PanelPresenter().ClassifySessionItem(TreeRef::Leaf(0, 0));
    std::vector<std::string> rows;
    SetModalRunner([&](QDialog& d) {
        d.open();
        if (dynamic_cast<CRemoteBrowserDlg*>(&d)) {
            auto* list = Control<QListWidget>(&d, "1849");
            rows.clear();
            for (int i = 0; i < list->count(); ++i) rows.push_back(list->item(i)->text().toStdString());
            const int row = Row(list, "my pages");
            if (row >= 0) list->item(row)->setSelected(true);
            Control<QPushButton>(&d, row >= 0 ? "1" : "2")->click();
            return d.result();
        }
        Control<QPushButton>(&d, "1586")->click();
        Control<QPushButton>(&d, "1")->click();
        return d.result();
    });
    fake.listing =
        "01-05-20  12:00PM       <DIR>          my pages\r\n"
        "01-05-20  09:15AM                 1234 index.html\r\n"
        "12-24-19  11:59PM       <DIR>          bin\r\n";
    w.ExecuteCommand(32674);
    EXPECT_EQ(rows, (std::vector<std::string>{"my pages", "bin"}));
    EXPECT_EQ(w.Data().GetSessionPtr(0, 0)->RemoteDir, "/my pages/");
    fake.listing =
        "insgesamt 8\r\n"
        "drwxr-xr-x 2 u g 4096  5. M\xC3\xA4r 2020  my pages\r\n"
        "-rw-r--r-- 1 u g   12  7. Dez 18:10 index.html\r\n";
    w.ExecuteCommand(32674);
    EXPECT_EQ(rows, (std::vector<std::string>{"my pages"}));
    fake.Stop();
}

}  // namespace
