// The remote commands of the window: browsing a real FTP server into the
// basket, the terminal launches and the host choosers. Dialogs run through a
// modal runner that opens them with open() and presses their buttons.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <sys/stat.h>

#include "FtpWindowFixture.h"
#include "app/ControlPanelBar.h"
#include "app/RemoteCommands.h"
#include "remote/ui/LoginInformationDlg.h"
#include "remote/ui/ModalRun.h"
#include "remote/ui/RemoteBrowserDlg.h"
#include "remote/ui/SelectHostDlg.h"

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
        emit list->itemDoubleClicked(list->item(docs));
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

}  // namespace
