// The file-list dialogs driven on the window as the program opens it: File
// Attributes, Select by Icon, the clipboard palettes and Make Same Host.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#include <QClipboard>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <fstream>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "app/CompareCommands.h"
#include "app/ConversionCommands.h"
#include "app/FileListCommands.h"
#include "app/ItemCommands.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MainPresenter.h"
#include "app/QuorvellianApp.h"
#include "app/MessageWindowBar.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextWindows.h"
#include "compare/DiffWindowsState.h"
#include "compare/ui/FileDiffManagerDlg.h"
#include "convert_ui/ui/AttributesDlg.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "filelist/ui/ConcatenateTemplateDlg.h"
#include "filelist/ui/FileAttributesDlg.h"
#include "filelist/ui/MakeSameHostDlg.h"
#include "filelist/ui/ReportDlg.h"
#include "filelist/ui/RenameDuplicateSelectedFilesDlg.h"
#include "filelist/ui/SelectByIconDlg.h"
#include "filelist/ui/SessionFilesPalettes.h"
#include "DialogControls.h"
#include "SampleWindowFixture.h"

namespace {

class FileListCommandsTest : public SampleWindowTest {
protected:
    void SetUp() override {
        SampleWindowTest::SetUp();
        CItemCommands::s_openFile = [this](const std::string& path) { opened.push_back(path); };
        CFileListCommands::s_runModal = [this](QDialog& dlg) {
            ++modalRuns;
            titles.push_back(dlg.windowTitle().toStdString());
            if (drive) drive(dlg);
            return dlg.result();
        };
    }
    void TearDown() override {
        frame.reset();
        CItemCommands::s_openFile = nullptr;
        CFileListCommands::s_runModal = nullptr;
        SampleWindowTest::TearDown();
    }

    void Click(int row) {
        const QRect r = List()->visualItemRect(List()->topLevelItem(row));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, r.center());
    }
    void ShowPlace(int s, int b) {
        D().SetCurSession(0, s);
        D().SetCurrentBasket(0, s, b);
        frame->Presenter().ShowSession(0, s, b);
    }
    CFileItem Item(int s, int b, int f) { return D().GetFileItem(0, s, b, f); }
    std::vector<std::string> Names(int s, int b) { return D().GetBasketFileNames(0, s, b); }
    std::string Log() { return frame->MessageWindow().GetText(); }

    std::function<void(QDialog&)> drive;
    int modalRuns = 0;
    std::vector<std::string> titles, opened;
};

// ---------------------------------------------------------------- File Attributes

TEST_F(FileListCommandsTest, AttributesShowWhatTheItemsShareAndOkWritesItBack) {
    Open();
    Select({0, 1, 2});
    std::map<std::string, std::string> shown;
    drive = [&](QDialog& dlg) {
        for (const char* id : {"1626", "1693", "1642", "1587", "1583"})
            shown[id] = Control<QLineEdit>(&dlg, id)->text().toStdString();
        for (const char* id : {"1586", "1582", "1", "2"}) EXPECT_NE(dlg.findChild<QPushButton*>(id), nullptr) << id;
        // The password is hidden and never shown in a tool tip.
        EXPECT_EQ(Control<QLineEdit>(&dlg, "1642")->echoMode(), QLineEdit::Password);
        for (QWidget* w : dlg.findChildren<QWidget*>()) EXPECT_TRUE(w->toolTip().isEmpty());
        Control<QLineEdit>(&dlg, "1587")->setText("//srv//web");
        // A pasted line break is a blank of the one-line field, never a raw LF of the stored folder.
        Control<QLineEdit>(&dlg, "1583")->clear();
        QApplication::clipboard()->setText(QString::fromStdString(Files() + "//new\nfolder"));
        QTest::keyClick(Control<QLineEdit>(&dlg, "1583"), Qt::Key_V, Qt::ControlModifier);
        Control<QLineEdit>(&dlg, "1642")->setText("changed");
        Press(&dlg, "1");
    };
    frame->ExecuteCommand(32554);
    EXPECT_EQ(titles, std::vector<std::string>{"File Attributes"});
    EXPECT_EQ(shown["1626"], "www.example.com");
    EXPECT_EQ(shown["1693"], "alice");
    EXPECT_EQ(shown["1642"], "secret");
    EXPECT_EQ(shown["1587"], "/var/www/");
    EXPECT_EQ(shown["1583"], Files() + "/");
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(Item(0, 0, f).RemoteDir, "/srv/web/");
        EXPECT_EQ(Item(0, 0, f).LocalDir, Files() + "/new folder/");
    }
    EXPECT_EQ(Item(0, 0, 3).RemoteDir, "/var/www/");
    EXPECT_EQ(D().GetVaultPassword("www.example.com", "alice"), "changed");
    EXPECT_EQ(D().GetSession(0, 0).RemoteDir, "/srv/web/");
}

TEST_F(FileListCommandsTest, AttributesBoxLeftEmptyKeepsEachItemsOwnValue) {
    Open();
    Select({2, 3});  // hosts www.example.com and 10.0.0.7
    std::string host, user, password;
    drive = [&](QDialog& dlg) {
        host = Control<QLineEdit>(&dlg, "1626")->text().toStdString();
        user = Control<QLineEdit>(&dlg, "1693")->text().toStdString();
        password = Control<QLineEdit>(&dlg, "1642")->text().toStdString();
        Control<QLineEdit>(&dlg, "1693")->setText("bob");
        Press(&dlg, "1");
    };
    frame->ExecuteCommand(32554);
    EXPECT_EQ(host, "");
    EXPECT_EQ(user, "alice");
    EXPECT_EQ(password, "");  // the two accounts have different passwords
    EXPECT_EQ(Item(0, 0, 2).RemHost, "www.example.com");
    EXPECT_EQ(Item(0, 0, 3).RemHost, "10.0.0.7");
    EXPECT_EQ(Item(0, 0, 2).RemUser, "bob");
    EXPECT_EQ(Item(0, 0, 3).RemUser, "bob");
    // The host column of the rows shows the short host names.
    EXPECT_EQ(List()->topLevelItem(3)->text(1).toStdString(), "10.0.0.7");
}

TEST_F(FileListCommandsTest, AttributesPasswordFollowsTheAccountAndNeverMovesToAnother) {
    Open();
    D().AddHost("10.0.0.7", "alice", "B", 0, 2);
    Select({0});  // www.example.com, alice: "secret"
    auto typeHost = [](QDialog& dlg, const char* host) {
        QLineEdit* box = Control<QLineEdit>(&dlg, "1626");
        box->selectAll();
        QTest::keyClicks(box, host);
    };
    std::vector<std::string> shown;
    drive = [&](QDialog& dlg) {
        typeHost(dlg, "10.0.0.7");
        shown.push_back(Control<QLineEdit>(&dlg, "1642")->text().toStdString());
        typeHost(dlg, "new.example.com");
        shown.push_back(Control<QLineEdit>(&dlg, "1642")->text().toStdString());
        Press(&dlg, "1");
    };
    frame->ExecuteCommand(32554);
    EXPECT_EQ(shown, (std::vector<std::string>{"B", ""}));
    EXPECT_EQ(D().GetVaultPassword("www.example.com", "alice"), "secret");
    EXPECT_EQ(D().GetVaultPassword("new.example.com", "alice"), "");
    EXPECT_EQ(D().GetVaultPassword("10.0.0.7", "alice"), "B");
    EXPECT_EQ(Item(0, 0, 0).RemHost, "new.example.com");

    // A password typed after the change is the new account's.
    drive = [&](QDialog& dlg) {
        typeHost(dlg, "10.0.0.7");
        Control<QLineEdit>(&dlg, "1642")->setText("typed");
        Press(&dlg, "1");
    };
    frame->ExecuteCommand(32554);
    EXPECT_EQ(D().GetVaultPassword("10.0.0.7", "alice"), "typed");
    EXPECT_EQ(D().GetVaultPassword("new.example.com", "alice"), "");
}

TEST_F(FileListCommandsTest, AttributesCancelChangesNothingEvenForIncompleteItems) {
    Open();
    CFileItem* it = D().GetFileItemPtr(0, 0, 0, 0);
    it->RemHost.clear();
    it->RemUser.clear();
    Select({0});
    std::string host;
    drive = [&](QDialog& dlg) {
        host = Control<QLineEdit>(&dlg, "1626")->text().toStdString();
        Control<QLineEdit>(&dlg, "1587")->setText("/other/");
        Press(&dlg, "2");
    };
    frame->ExecuteCommand(32554);
    EXPECT_EQ(host, "www.example.com");  // the session's host is offered
    EXPECT_EQ(Item(0, 0, 0).RemHost, "");
    EXPECT_EQ(Item(0, 0, 0).RemoteDir, "/var/www/");
    EXPECT_TRUE(Item(0, 0, 0).RemPassword.empty());

    // OK completes the item from the session.
    drive = [&](QDialog& dlg) { Press(&dlg, "1"); };
    frame->ExecuteCommand(32554);
    EXPECT_EQ(Item(0, 0, 0).RemHost, "www.example.com");
    EXPECT_EQ(Item(0, 0, 0).RemUser, "alice");

    // Without a selection there is nothing to edit.
    Select({});
    D().ClearSelection(0, 0, 0);
    const int runs = modalRuns;
    frame->ExecuteCommand(32554);
    EXPECT_EQ(modalRuns, runs);
}

TEST_F(FileListCommandsTest, OpenAsksForTheMissingLocalFolderThroughTheAttributesDialog) {
    Open();
    D().SetLocalDir(0, 0, 0, 1, "");
    Select({1});
    prompter.answers = {Answer::Yes};
    drive = [&](QDialog& dlg) {
        Control<QLineEdit>(&dlg, "1583")->setText(QString::fromStdString(Files()));
        Press(&dlg, "1");
    };
    frame->ExecuteCommand(32517);
    EXPECT_EQ(titles, std::vector<std::string>{"File Attributes"});
    EXPECT_EQ(Item(0, 0, 1).LocalDir, Files() + "/");
    EXPECT_EQ(opened, std::vector<std::string>{Files() + "/about.txt"});
}

// ---------------------------------------------------------------- Select by Icon

TEST_F(FileListCommandsTest, SelectByIconDialogRecordsEachButtonsChoice) {
    struct Case {
        const char* id;
        bool mark;
        int code;
    };
    for (const Case& c : {Case{"1766", true, 1}, Case{"1780", true, 8}, Case{"1342", true, 31},
                          Case{"1767", false, 1}, Case{"1781", false, 8}, Case{"1782", false, 24},
                          Case{"1785", false, 26}, Case{"1784", false, 9}, Case{"1786", false, 10}}) {
        CSelectByIconDlg dlg(550, 40);
        Press(&dlg, c.id);
        EXPECT_EQ(dlg.result(), QDialog::Accepted) << c.id;
        EXPECT_EQ(dlg.m_bMark, c.mark) << c.id;
        EXPECT_EQ(dlg.m_nIconCode, c.code) << c.id;
    }
    CSelectByIconDlg dlg(550, 40);
    EXPECT_EQ(dlg.windowTitle(), "Select by Icon");
    EXPECT_EQ(dlg.pos(), QPoint(550, 40));
    dlg.show();
    // Enter in the empty name box: the message, and the dialog stays.
    QLineEdit* name = Control<QLineEdit>(&dlg, "1614");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(prompter.Messages().back(), "Empty extension. Enter an extension.");
    EXPECT_TRUE(dlg.isVisible());
    QTest::keyClicks(name, ".txt");
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.m_bMark);
    EXPECT_EQ(dlg.m_nIconCode, 32);
    EXPECT_EQ(dlg.m_strName, ".txt");
}

TEST_F(FileListCommandsTest, PinMarksTheSelectionAndSelectsByIconStatusOrName) {
    Open();
    Select({0, 1});
    drive = [](QDialog& dlg) { Press(&dlg, "1768"); };  // mark with icon 2
    frame->ExecuteCommand(32518);
    EXPECT_EQ(Item(0, 0, 0).IsPinned, "IsPinned2");
    EXPECT_EQ(Item(0, 0, 1).IsPinned, "IsPinned2");
    EXPECT_EQ(frame->Presenter().FileRows()[0].image, 2);

    Select({5});
    drive = [](QDialog& dlg) { Press(&dlg, "1769"); };  // select icon 2
    frame->ExecuteCommand(32518);
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{0, 1}));
    EXPECT_TRUE(List()->topLevelItem(1)->isSelected());
    EXPECT_FALSE(List()->topLevelItem(5)->isSelected());
    EXPECT_EQ(frame->Presenter().StatusText(), "2 items selected.");

    drive = [](QDialog& dlg) { Press(&dlg, "1775"); };  // icon 5: nobody has it
    frame->ExecuteCommand(32518);
    EXPECT_EQ(prompter.Messages().back(), "No such item in the list.");
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{0, 1}));

    drive = [](QDialog& dlg) {
        Control<QLineEdit>(&dlg, "1614")->setText("TXT");
        Press(&dlg, "1783");
    };
    frame->ExecuteCommand(32518);
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{1, 7}));  // about.txt, notes.txt

    // A locally modified file.
    Touch(Files() + "/main.c", "changed\n", 1700000000);
    drive = [](QDialog& dlg) { Press(&dlg, "1782"); };
    frame->ExecuteCommand(32518);
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{2}));

    Select({1});
    drive = [](QDialog& dlg) { Press(&dlg, "1342"); };  // clear the mark
    frame->ExecuteCommand(32518);
    EXPECT_EQ(Item(0, 0, 1).GetImageIndex(), Item(0, 0, 7).GetImageIndex());
    EXPECT_EQ(Item(0, 0, 0).IsPinned, "IsPinned2");

    // Close leaves everything as it is.
    drive = [](QDialog& dlg) { Press(&dlg, "2"); };
    frame->ExecuteCommand(32518);
    EXPECT_EQ(Item(0, 0, 0).IsPinned, "IsPinned2");
}

// ---------------------------------------------------------------- palettes

TEST_F(FileListCommandsTest, CopyPaletteShowsUntilItsPasteIntoAnotherSession) {
    Open();
    CCopySessionFilesDlg* copy = frame->FileListCommands().CopyPalette();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->windowTitle(), "Copy Session Files");
    EXPECT_NE(copy->findChild<QLabel*>("1152"), nullptr);
    EXPECT_TRUE(Control<QPushButton>(copy, "1395")->isDefault());
    // Nothing selected: no palette.
    Select({});
    D().ClearSelection(0, 0, 0);
    frame->ExecuteCommand(32550);
    EXPECT_FALSE(copy->isVisible());

    Select({0, 2});
    frame->ExecuteCommand(32550);
    EXPECT_TRUE(copy->isVisible());
    // While a copy waits, Cut does nothing.
    frame->ExecuteCommand(32551);
    EXPECT_FALSE(frame->FileListCommands().CutPalette()->isVisible());

    ShowPlace(1, 0);
    Select({0});
    Press(copy, "1395");
    EXPECT_EQ(Names(1, 0), (std::vector<std::string>{"config.h", "index.html", "main.c", "Makefile"}));
    EXPECT_EQ(Names(0, 0).size(), 8u);
    EXPECT_FALSE(copy->isVisible());
    EXPECT_EQ(frame->ItemCommands().ClipboardMode(), CItemCommands::Empty);

    // A copy into a basket that holds the same files adds them again.
    ShowPlace(0, 0);
    Select({0});
    frame->ExecuteCommand(32550);
    QTest::keyClick(copy, Qt::Key_Return);  // Enter pastes
    EXPECT_EQ(Names(0, 0).size(), 9u);
    EXPECT_EQ(Names(0, 0)[1], "index.html");
}

TEST_F(FileListCommandsTest, CutPaletteCancelKeepsTheItemsAndPasteMovesThem) {
    Open();
    CCutSessionFilesDlg* cut = frame->FileListCommands().CutPalette();
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->windowTitle(), "Cut Session Files");
    EXPECT_NE(cut->findChild<QLabel*>("1153"), nullptr);
    Select({1, 2});
    frame->ExecuteCommand(32551);
    EXPECT_TRUE(cut->isVisible());
    Press(cut, "2");
    EXPECT_FALSE(cut->isVisible());
    EXPECT_EQ(frame->ItemCommands().ClipboardMode(), CItemCommands::Empty);
    frame->ExecuteCommand(32552);
    EXPECT_EQ(Names(0, 0).size(), 8u);

    // Cut in one session, paste in the other: the items move once.
    Select({1, 2});
    frame->ExecuteCommand(32551);
    ShowPlace(1, 0);
    Press(cut, "1395");
    EXPECT_EQ(Names(1, 0), (std::vector<std::string>{"config.h", "Makefile", "about.txt", "main.c"}));
    EXPECT_EQ(Names(0, 0).size(), 6u);
    EXPECT_FALSE(cut->isVisible());
}

// ---------------------------------------------------------------- Make Same Host

TEST_F(FileListCommandsTest, MakeSameHostGivesTheClickedItemsAccountToTheWaitingItems) {
    Open();
    CMakeSameHostDlg* palette = frame->FileListCommands().MakeSameHostPalette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette->windowTitle(), "Make Same Host");
    ShowPlace(1, 0);  // loads the "Build" session
    CFileItem* model = D().GetFileItemPtr(0, 1, 0, 1);  // its Makefile
    ASSERT_NE(model, nullptr);
    model->RemUser = "bob";
    model->RemoteDir = "/src/";
    ShowPlace(0, 0);

    // Refused while a transfer runs.
    g_bFtpIdle = false;
    frame->ExecuteCommand(32523);
    g_bFtpIdle = true;
    EXPECT_EQ(prompter.Messages().back(),
              "This step is not allowed when an FTP session is on.\r\nTry later, or Stop the FTP session first.");
    EXPECT_FALSE(palette->isVisible());
    // And while files are being added.
    g_bAddFilesIdle = false;
    frame->ExecuteCommand(32523);
    g_bAddFilesIdle = true;
    EXPECT_NE(Log().find("Thread on session...[z]"), std::string::npos);
    EXPECT_FALSE(palette->isVisible());

    Select({0, 1});
    frame->ExecuteCommand(32523);
    EXPECT_TRUE(palette->isVisible());
    EXPECT_TRUE(CItemCommands::s_bMakeSameHostPick);
    ShowPlace(1, 0);
    ASSERT_EQ(List()->topLevelItem(1)->text(0), "Makefile");
    Click(1);
    EXPECT_FALSE(palette->isVisible());
    EXPECT_FALSE(CItemCommands::s_bMakeSameHostPick);
    for (int f : {0, 1}) {
        EXPECT_EQ(Item(0, 0, f).RemHost, "build.example.com");
        EXPECT_EQ(Item(0, 0, f).RemUser, "bob");
        EXPECT_EQ(Item(0, 0, f).RemoteDir, "/src/");
    }
    EXPECT_EQ(Item(0, 0, 2).RemHost, "www.example.com");
    EXPECT_EQ(prompter.Messages().back(), "About to go back to original selection...\r\n(Web site/Pages)...");
    EXPECT_EQ(D().GetCurSession(), 0);
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{0, 1}));
    EXPECT_EQ(List()->topLevelItem(0)->text(1), "build");
    const std::string log = Log();
    EXPECT_NE(log.find("The following files from \"Web site\" session and \"Pages\" basket:\r\n"
                       "now have new file-attributes for their remote host:\r\n"
                       "     index.html\r\n     about.txt\r\n"),
              std::string::npos)
        << log;

    // Cancel ends the wait: a later click is an ordinary click.
    Select({3});
    frame->ExecuteCommand(32523);
    Press(palette, "2");
    EXPECT_FALSE(CItemCommands::s_bMakeSameHostPick);
    Click(5);
    EXPECT_EQ(Item(0, 0, 3).RemHost, "10.0.0.7");
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{5}));
}

}  // namespace

// ---------------------------------------------------------------- Rename/Duplicate

namespace {

class RenameDialogTest : public FileListCommandsTest {
protected:
    CRenameDuplicateSelectedFilesDlg* Dlg() { return frame->FileListCommands().RenameDuplicateDialog(); }
    std::vector<std::string> Rows() {
        std::vector<std::string> out;
        auto* list = Control<QTreeWidget>(Dlg(), "1727");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out.push_back(list->topLevelItem(i)->text(1).toStdString() + list->topLevelItem(i)->text(0).toStdString());
        return out;
    }
    bool Exists(const std::string& name) { return std::filesystem::exists(Files() + "/" + name); }
};

TEST_F(RenameDialogTest, SequentialNumbersRenameTheRealFilesAfterConfirmation) {
    Open();
    Select({1, 7});  // about.txt, notes.txt
    frame->ExecuteCommand(32529);
    ASSERT_NE(Dlg(), nullptr);
    EXPECT_TRUE(Dlg()->isVisible());
    EXPECT_EQ(Dlg()->windowTitle(), "Rename/Duplicate Selected Files");
    // Sized within 1000 pixels of width, 517 high, whatever the user drags.
    Dlg()->resize(1600, 900);
    EXPECT_EQ(Dlg()->size(), QSize(1000, 517));
    EXPECT_LE(Dlg()->layout()->minimumSize().height(), 517);
    for (const char* id : {"1950", "1407", "1408", "1409", "1410", "1605", "1405", "1615", "1411", "1637", "1908",
                           "1406", "1727", "1640", "1340", "1448", "1404", "1371", "1887", "1"})
        EXPECT_NE(Dlg()->findChild<QWidget*>(id), nullptr) << id;
    EXPECT_FALSE(Control<QWidget>(Dlg(), "1605")->isVisibleTo(Dlg()));  // scheme 2 is not shown

    // Nothing generated yet.
    Press(Dlg(), "1404");
    EXPECT_EQ(prompter.Messages().back(), "First click on a picture-button and review the output.");

    Press(Dlg(), "1407");  // numbers at the end
    EXPECT_EQ(Rows(), (std::vector<std::string>{Files() + "/about 1.txt", Files() + "/notes 2.txt"}));
    EXPECT_EQ(Control<QLineEdit>(Dlg(), "1640")->text().toStdString(), Files() + "/");
    EXPECT_TRUE(Dlg()->PreviewValid());

    // No: nothing happens.
    prompter.answers = {Answer::No};
    Press(Dlg(), "1404");
    EXPECT_EQ(prompter.Questions().back(),
              "About to rename the selected files. This is irreversible.\r\n\r\nContinue?");
    EXPECT_TRUE(Exists("about.txt"));

    prompter.answers = {Answer::Yes};
    Press(Dlg(), "1404");
    EXPECT_FALSE(Exists("about.txt"));
    EXPECT_TRUE(Exists("about 1.txt"));
    EXPECT_TRUE(Exists("notes 2.txt"));
    EXPECT_EQ(Item(0, 0, 1).FileName, "about 1.txt");
    EXPECT_EQ(Item(0, 0, 7).FileName, "notes 2.txt");
    EXPECT_TRUE(Rows().empty());
    EXPECT_FALSE(Dlg()->PreviewValid());
}

TEST_F(RenameDialogTest, ANameThatExistsIsNeverOverwritten) {
    Open();
    Touch(Files() + "/about 1.txt", "precious\n", 1600000000);
    Select({1});
    frame->ExecuteCommand(32533);
    Press(Dlg(), "1407");
    ASSERT_EQ(Rows(), (std::vector<std::string>{Files() + "/about 1.txt"}));
    prompter.answers = {Answer::Yes};
    Press(Dlg(), "1404");
    EXPECT_TRUE(Exists("about.txt"));
    std::ifstream in(Files() + "/about 1.txt");
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "precious");
    EXPECT_EQ(Item(0, 0, 1).FileName, "about.txt");
}

TEST_F(RenameDialogTest, DuplicateWithANewExtensionAddsTheCopiesAsItems) {
    Open();
    Select({1, 7});
    frame->ExecuteCommand(32528);
    Dlg()->SelectScheme(2);
    EXPECT_EQ(Control<QLabel>(Dlg(), "1908")->text(), "Enter extension for all files:");
    EXPECT_EQ(Control<QLineEdit>(Dlg(), "1615")->text(), ".txt");  // the first item's extension
    Control<QLineEdit>(Dlg(), "1615")->setText("a?b");
    Press(Dlg(), "1405");
    EXPECT_EQ(prompter.Messages().back(), "Invalid extension.");
    EXPECT_TRUE(Rows().empty());
    Control<QLineEdit>(Dlg(), "1615")->setText(".bak");
    Press(Dlg(), "1405");
    ASSERT_EQ(Rows(), (std::vector<std::string>{Files() + "/about.bak", Files() + "/notes.bak"}));
    prompter.answers = {Answer::Yes};
    Press(Dlg(), "1371");
    EXPECT_EQ(prompter.Questions().back(),
              "About to duplicate the selected files. This is irreversible.\r\n\r\nContinue?");
    EXPECT_TRUE(Exists("about.txt"));
    EXPECT_TRUE(Exists("about.bak"));
    EXPECT_TRUE(Exists("notes.bak"));
    const auto names = Names(0, 0);
    EXPECT_EQ(names.size(), 10u);
    EXPECT_NE(std::find(names.begin(), names.end(), "notes.bak"), names.end());
}

TEST_F(RenameDialogTest, TwoFilesExchangeTheirNames) {
    Open();
    WriteFile(Files() + "/about.txt", "A\n");
    WriteFile(Files() + "/notes.txt", "N\n");
    Select({1, 7});
    frame->ExecuteCommand(32533);
    Press(Dlg(), "1407");
    auto* list = Control<QTreeWidget>(Dlg(), "1727");
    prompter.texts = {std::string(Files() + "/notes.txt"), std::string(Files() + "/about.txt")};
    emit list->itemDoubleClicked(list->topLevelItem(0), 0);
    emit list->itemDoubleClicked(list->topLevelItem(1), 0);
    prompter.answers = {Answer::Yes};
    Press(Dlg(), "1404");
    std::ifstream a(Files() + "/about.txt"), n(Files() + "/notes.txt");
    std::string ta, tn;
    std::getline(a, ta);
    std::getline(n, tn);
    EXPECT_EQ(ta, "N");
    EXPECT_EQ(tn, "A");
    EXPECT_EQ(Item(0, 0, 1).FileName, "notes.txt");
    EXPECT_EQ(Item(0, 0, 7).FileName, "about.txt");
}

TEST_F(RenameDialogTest, ADuplicateNeverReplacesAFileOnDisk) {
    Open();
    Touch(Files() + "/about.bak", "precious\n", 1600000000);
    Select({1, 7});
    frame->ExecuteCommand(32533);
    Dlg()->SelectScheme(2);
    Control<QLineEdit>(Dlg(), "1615")->setText(".bak");
    Press(Dlg(), "1405");
    prompter.answers = {Answer::Yes};
    Press(Dlg(), "1371");
    std::ifstream in(Files() + "/about.bak");
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "precious");
    EXPECT_TRUE(Exists("notes.bak"));
    EXPECT_NE(prompter.Messages().back().find("Some of the files could not be created. They already exist in "
                                              "local directory:\r\n"),
              std::string::npos);
    EXPECT_NE(prompter.Messages().back().find("about.bak"), std::string::npos);
    const auto names = Names(0, 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "about.bak"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "notes.bak"), 1);

    // Scheme 4 makes two equal names unique.
    Touch(Files() + "/a b.txt", "1\n", 1600000000);
    Touch(Files() + "/a-b.txt", "2\n", 1600000000);
    for (const char* n : {"a b.txt", "a-b.txt"}) {
        CFileItem it(n);
        it.LocalDir = Files() + "/";
        D().InsertFileItems(0, 0, 0, D().GetFileItemCount(0, 0, 0), it);
    }
    frame->Presenter().ShowSession(0, 0, 0);
    const int n = D().GetFileItemCount(0, 0, 0);
    List()->clearSelection();
    List()->topLevelItem(n - 2)->setSelected(true);
    List()->topLevelItem(n - 1)->setSelected(true);
    Dlg()->SelectScheme(3);
    Control<QLineEdit>(Dlg(), "1637")->setText("_");
    Press(Dlg(), "1411");
    EXPECT_EQ(Rows(), (std::vector<std::string>{Files() + "/a_b.txt", Files() + "/a_b_aux.txt"}));
}

TEST_F(RenameDialogTest, CommonNameOutputFolderAndSelectionChecks) {
    Open();
    Select({1, 7});
    frame->ExecuteCommand(32533);
    Dlg()->SelectScheme(1);
    EXPECT_EQ(Control<QLineEdit>(Dlg(), "1605")->text(), "about");  // suggested from the first item
    Control<QLineEdit>(Dlg(), "1605")->setText("what?");
    Press(Dlg(), "1409");
    EXPECT_EQ(prompter.Messages().back(), "Invalid common name.");
    EXPECT_TRUE(Rows().empty());
    Control<QLineEdit>(Dlg(), "1605")->setText("page");
    Press(Dlg(), "1410");  // numbers at the beginning
    EXPECT_EQ(Rows(), (std::vector<std::string>{Files() + "/1 page.txt", Files() + "/2 page.txt"}));

    // The output folder: empty is refused, a folder without its "/" gets one.
    Control<QLineEdit>(Dlg(), "1640")->clear();
    Press(Dlg(), "1448");
    EXPECT_EQ(prompter.Messages().back(), "Empty output directory.");
    Control<QLineEdit>(Dlg(), "1640")->setText(QString::fromStdString(Files() + "/out"));
    Press(Dlg(), "1448");
    EXPECT_EQ(Dlg()->GeneratedPaths(),
              (std::vector<std::string>{Files() + "/out/1 page.txt", Files() + "/out/2 page.txt"}));

    // A single name changed by a double click.
    prompter.texts = {std::string(Files() + "/out/first.txt")};
    auto* list = Control<QTreeWidget>(Dlg(), "1727");
    emit list->itemDoubleClicked(list->topLevelItem(0), 0);
    EXPECT_EQ(Dlg()->GeneratedPaths()[0], Files() + "/out/first.txt");
    EXPECT_EQ(list->topLevelItem(0)->text(0), "first.txt");

    // The selection of the main list changed since the names were made.
    Select({1});
    Press(Dlg(), "1404");
    EXPECT_EQ(prompter.Messages().back(),
              "Files selected on main list do not match the generated names.\r\n"
              "Operation discontinued. Make sure you do not change the selection on \r\n"
              "the main window during the process.");
    EXPECT_TRUE(Exists("about.txt"));

    // Changing the tab throws the preview away.
    Select({1, 7});
    Dlg()->SelectScheme(3);
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(Control<QLabel>(Dlg(), "1908")->text(), "Replace non-alpha characters by:");
    Press(Dlg(), "1404");
    EXPECT_EQ(prompter.Messages().back(), "First click on a picture-button and review the output.");

    // "Rename files" needs a selection; Close hides the dialog.
    Press(Dlg(), "1");
    EXPECT_FALSE(Dlg()->isVisible());
    Select({});
    D().ClearSelection(0, 0, 0);
    frame->ExecuteCommand(32529);
    EXPECT_FALSE(Dlg()->isVisible());
}

}  // namespace

// ---------------------------------------------------------------- Report

namespace {

class ReportDialogTest : public FileListCommandsTest {
protected:
    void TearDown() override {
        SetTextWindows(nullptr, nullptr);
        input.reset();
        output.reset();
        FileListCommandsTest::TearDown();
    }
    void PublishTextWindows() {
        input = std::make_unique<CLineTextBox>(1);
        output = std::make_unique<CLineTextBox>(2);
        SetTextWindows(input.get(), output.get());
    }
    CReportDlg* Dlg() { return frame->FileListCommands().ReportDialog(); }
    std::string InputText() { return input->toPlainText().toStdString(); }
    QTreeWidget* Columns() { return Control<QTreeWidget>(Dlg(), "1726"); }
    void SelectBaskets(std::initializer_list<int> rows) {
        frame->BasketList()->clearSelection();
        for (int r : rows) frame->BasketList()->topLevelItem(r)->setSelected(true);
    }
    std::unique_ptr<CLineTextBox> input, output;
};

std::string Lf(std::string s) {
    for (std::size_t p; (p = s.find("\r\n")) != std::string::npos;) s.erase(p, 1);
    return s;
}

TEST_F(ReportDialogTest, FilesTabListsTheSelectionByTheChosenColumns) {
    Open();
    SetTextWindows(nullptr, nullptr);  // the WorkPad's boxes withdrawn
    EXPECT_FALSE(frame->IsCommandEnabled(32522));  // no Input window
    PublishTextWindows();
    EXPECT_TRUE(frame->IsCommandEnabled(32522));
    EXPECT_TRUE(frame->IsCommandEnabled(32599));
    Select({0, 2});
    frame->ExecuteCommand(32522);
    ASSERT_NE(Dlg(), nullptr);
    EXPECT_TRUE(Dlg()->isVisible());
    EXPECT_EQ(Dlg()->windowTitle(), "Report");
    for (const char* id : {"1808", "1726", "1482", "1488", "1625", "1750", "1326", "1324", "1418", "1416", "1469",
                           "1473", "1875", "1809", "1810", "1509", "1467", "1472", "1364", "1"})
        EXPECT_NE(Dlg()->findChild<QWidget*>(id), nullptr) << id;
    ASSERT_EQ(Columns()->topLevelItemCount(), 7);
    EXPECT_EQ(Dlg()->SelectedRow(), 2);  // "File name", the first included column
    EXPECT_EQ(Control<QLineEdit>(Dlg(), "1625")->text(), "0");

    Press(Dlg(), "1416");
    EXPECT_EQ(Lf(InputText()), "index.html\nmain.c");
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "index.html\r\nmain.c");

    // "Local directory" (row 0) included with a gutter of 2, moved behind the names.
    Press(Dlg(), "1482");
    Columns()->setCurrentItem(Columns()->topLevelItem(0));
    Control<QLineEdit>(Dlg(), "1625")->setText("2");
    Press(Dlg(), "1750");
    Press(Dlg(), "1324");
    Press(Dlg(), "1324");
    EXPECT_EQ(Columns()->topLevelItem(2)->text(2), "Local directory");
    EXPECT_EQ(Dlg()->SelectedRow(), 2);
    Press(Dlg(), "1469");  // no clipboard copy
    QApplication::clipboard()->setText("untouched");
    Press(Dlg(), "1416");
    EXPECT_EQ(Lf(InputText()), "index.html  " + Files() + "/\nmain.c      " + Files() + "/");
    EXPECT_EQ(QApplication::clipboard()->text(), "untouched");

    // The choice is saved in the master file and back after a restart.
    ASSERT_TRUE(frame->close());
    frame.reset();
    SetTextWindows(nullptr, nullptr);
    frame = std::make_unique<CMainFrame>();
    const CSessionReport& r = frame->Data().m_SessionReport;
    ASSERT_EQ(r.Columns.size(), 7u);
    EXPECT_EQ(r.Columns[2].OptionName, "Local directory");
    EXPECT_TRUE(r.Columns[2].IsIncluded);
    EXPECT_EQ(r.Columns[2].GutterVal, 2);
    EXPECT_FALSE(r.ReportCopy);
}

TEST_F(ReportDialogTest, ColumnEditsAtTheEdgesAndReset) {
    Open();
    PublishTextWindows();
    frame->ExecuteCommand(32522);
    Columns()->setCurrentItem(Columns()->topLevelItem(0));
    Press(Dlg(), "1326");  // the first row cannot go up
    EXPECT_EQ(Columns()->topLevelItem(0)->text(2), "Local directory");
    Columns()->setCurrentItem(Columns()->topLevelItem(6));
    Press(Dlg(), "1324");  // nor the last one down
    EXPECT_EQ(Columns()->topLevelItem(6)->text(2), "Tansfer status");
    Control<QLineEdit>(Dlg(), "1625")->setText("abc");
    Press(Dlg(), "1750");
    EXPECT_EQ(D().m_SessionReport.Columns[6].GutterVal, 0);
    Control<QLineEdit>(Dlg(), "1625")->setText("5");
    Press(Dlg(), "1750");
    Press(Dlg(), "1488");
    Press(Dlg(), "1473");
    EXPECT_EQ(D().m_SessionReport.Columns[6].GutterVal, 5);
    EXPECT_TRUE(D().m_SessionReport.Columns[6].IsIncluded);
    EXPECT_FALSE(D().m_SessionReport.ReportDump);
    Press(Dlg(), "1418");
    EXPECT_EQ(D().m_SessionReport.Columns[6].GutterVal, 0);
    EXPECT_FALSE(D().m_SessionReport.Columns[6].IsIncluded);
    EXPECT_TRUE(D().m_SessionReport.ReportDump);
    EXPECT_FALSE(Control<QCheckBox>(Dlg(), "1488")->isChecked());
    Press(Dlg(), "1");
    EXPECT_FALSE(Dlg()->isVisible());
}

TEST_F(ReportDialogTest, BasketsTabComparesTheSelectedBasketsAndTheirCommonFiles) {
    Open();
    PublishTextWindows();
    frame->ExecuteCommand(32522);
    Control<QTabBar>(Dlg(), "1808")->setCurrentIndex(1);
    EXPECT_TRUE(Control<QWidget>(Dlg(), "1809")->isVisible());
    EXPECT_FALSE(Control<QWidget>(Dlg(), "1726")->isVisible());
    input->SetWindowTextFromString("keep");
    SelectBaskets({0});
    Press(Dlg(), "1416");
    EXPECT_EQ(prompter.Messages().back(), "At least two baskets must be selected that you want to compare.");
    EXPECT_EQ(InputText(), "keep");

    // A third basket holding two of the pages, one of them changed on disk.
    D().InsertBasket("Copies", 0, 0, 2);
    for (const char* n : {"main.c", "util.h"}) {
        CFileItem it(n);
        it.LocalDir = Files() + "/copies/";
        it.RemoteDir = "/var/www/";
        Touch(it.LocalDir + n, std::string(n) == "main.c" ? "other\n" : "text\n", 1600000000);
        D().InsertFileItems(0, 0, 2, D().GetFileItemCount(0, 0, 2), it);
    }
    frame->Presenter().ShowSession(0, 0, 0);
    SelectBaskets({0, 2});
    Press(Dlg(), "1416");
    const std::string text = Lf(InputText());
    EXPECT_NE(text.find("Files found exclusively in Basket-1: Pages (6)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Files common to all selected baskets:  (2)\n"), std::string::npos);
    EXPECT_NE(text.find("Difference in files:\n"), std::string::npos);
    EXPECT_NE(text.find("Basket (2): " + Files() + "/copies/main.c\n"), std::string::npos);
    EXPECT_EQ(text.find("copies/util.h"), std::string::npos);
    EXPECT_NE(text.find("Total 1 file.\n"), std::string::npos);

    // Remote trees: no text comparison, and it stays off when going back. A
    // remote file the basket holds twice is named in the trace.
    CFileItem twice("main.c");
    twice.LocalDir = Files() + "/copies2/";
    twice.RemoteDir = "/var/www/";
    D().InsertFileItems(0, 0, 2, D().GetFileItemCount(0, 0, 2), twice);
    frame->Presenter().ShowSession(0, 0, 0);
    SelectBaskets({0, 2});
    g_bTrace = true;
    Press(Dlg(), "1810");
    EXPECT_FALSE(Control<QCheckBox>(Dlg(), "1467")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(Dlg(), "1467")->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(Dlg(), "1472")->isChecked());
    Press(Dlg(), "1416");
    g_bTrace = false;
    EXPECT_EQ(Lf(InputText()).find("Difference in files:"), std::string::npos);
    EXPECT_NE(Log().find("-|-Not expected."), std::string::npos) << Log();
    Press(Dlg(), "1809");
    EXPECT_TRUE(Control<QCheckBox>(Dlg(), "1467")->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(Dlg(), "1467")->isChecked());
    EXPECT_FALSE(D().m_SessionReport.ReportCompFiles);
}

TEST_F(ReportDialogTest, WebLinksOfTheSelectedShortcutsGoToTheInputWindow) {
    Open();
    PublishTextWindows();
    Touch(Files() + "/site.url", "[InternetShortcut]\r\nBASEURL=http://example.org/  \r\n", 1600000000);
    CFileItem it("site.url");
    it.LocalDir = Files() + "/";
    D().InsertFileItems(0, 0, 0, 8, it);
    frame->Presenter().ShowSession(0, 0, 0);
    Select({8, 1});
    frame->ExecuteCommand(32599);
    EXPECT_EQ(Lf(InputText()), "about.txt\n\nsite\nhttp://example.org/\n");
}

TEST_F(ReportDialogTest, OptionsButtonOpensTheComparisonOptionsWhileCommonFilesAreCompared) {
    Open();
    frame->ExecuteCommand(32522);
    Control<QTabBar>(Dlg(), "1808")->setCurrentIndex(1);
    auto* options = Control<QPushButton>(Dlg(), "1364");
    CFileDiffManagerDlg& manager = frame->CompareCommands().Manager();
    EXPECT_TRUE(D().m_SessionReport.ReportCompFiles);
    EXPECT_TRUE(options->isEnabled());
    ASSERT_FALSE(manager.isVisible());
    Press(Dlg(), "1364");
    EXPECT_TRUE(manager.isVisible());
    EXPECT_EQ(Control<QTabWidget>(&manager, "1948")->currentIndex(), 1);
    EXPECT_TRUE(g_DiffWindows.managerShown);

    // The trail option is one: a click in either window shows in both.
    auto* ours = Control<QCheckBox>(Dlg(), "1509");
    auto* theirs = Control<QCheckBox>(&manager, "1509");
    const bool trail = g_bDiffReportInter;
    theirs->click();
    EXPECT_EQ(g_bDiffReportInter, !trail);
    EXPECT_EQ(ours->isChecked(), !trail);
    ours->click();
    EXPECT_EQ(g_bDiffReportInter, trail);
    EXPECT_EQ(theirs->isChecked(), trail);
    manager.reject();

    // Without the text comparison there are no options to set.
    Press(Dlg(), "1467");
    EXPECT_FALSE(options->isEnabled());
    Press(Dlg(), "1467");
    EXPECT_TRUE(options->isEnabled());
    Press(Dlg(), "1810");
    EXPECT_FALSE(options->isEnabled());
    Press(Dlg(), "1809");
    EXPECT_FALSE(options->isEnabled());
    Dlg()->Refresh();
    EXPECT_FALSE(options->isEnabled());
}

TEST_F(ReportDialogTest, TheReportOpensTheInteractiveWindowWhenAsked) {
    Open();
    CInteractiveTextConversionDlg& pad = frame->ConversionCommands().WorkPad();
    ASSERT_FALSE(pad.isVisible());
    Select({0, 2});
    frame->ExecuteCommand(32522);
    Press(Dlg(), "1473");  // off: the report goes into the hidden pad's Input window
    EXPECT_FALSE(D().m_SessionReport.ReportDump);
    Press(Dlg(), "1416");
    EXPECT_EQ(Lf(g_pInputWindow->GetText()), "index.html\nmain.c");
    EXPECT_FALSE(pad.isVisible());

    Press(Dlg(), "1473");
    Select({1});
    Press(Dlg(), "1416");
    EXPECT_TRUE(pad.isVisible());
    EXPECT_TRUE(g_bInteractiveShown);
    ASSERT_NE(frame->ConversionCommands().Attributes(), nullptr);
    EXPECT_TRUE(frame->ConversionCommands().Attributes()->isVisible());
    EXPECT_EQ(Lf(pad.Input()->GetText()), "about.txt");
}

}  // namespace

// ---------------------------------------------------------------- Concatenate

namespace {

class ConcatenateTest : public FileListCommandsTest {
protected:
    void SetUp() override {
        FileListCommandsTest::SetUp();
        g_strConcatOutputFile.clear();
        g_strConcatTemplateCurrent = g_strConcatTemplateDefault;
    }
    void TearDown() override {
        g_strConcatOutputFile.clear();
        g_strConcatTemplateCurrent = g_strConcatTemplateDefault;
        CConcatenateTemplateDlg::s_browseForFile = nullptr;
        FileListCommandsTest::TearDown();
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Fills the dialog and presses Concatenate.
    void Answer(const std::string& finalName, const std::string& tmpl = "") {
        drive = [=, this](QDialog& dlg) {
            proposed = Control<QLineEdit>(&dlg, "1622")->text().toStdString();
            if (!finalName.empty()) Control<QLineEdit>(&dlg, "1622")->setText(QString::fromStdString(finalName));
            if (!tmpl.empty()) Control<QPlainTextEdit>(&dlg, "1663")->setPlainText(QString::fromStdString(tmpl));
            Press(&dlg, "1");
        };
    }
    std::string proposed;
};

TEST_F(ConcatenateTest, TheSelectedFilesAreJoinedThroughTheTemplateAndTheResultIsAdded) {
    Open();
    WriteFile(Files() + "/notes.txt", "second {$FileName}\n");
    Select({1});
    frame->ExecuteCommand(32525);
    EXPECT_EQ(prompter.Messages().back(), "Must select more than one file.");
    EXPECT_EQ(modalRuns, 0);

    Select({1, 7});
    Answer("", "== {$FileName} in {$RemoteDir}\n{$FileText}");
    frame->ExecuteCommand(32525);
    EXPECT_EQ(titles.back(), "Concatenate Template");
    const std::string final1 = Files() + "/about-final.txt";
    EXPECT_EQ(proposed, final1);
    EXPECT_EQ(Read(final1), "== about.txt in /var/www/\ntext\n== notes.txt in /var/www/\nsecond {$FileName}\n");
    ASSERT_EQ(Names(0, 0).size(), 9u);
    EXPECT_EQ(Names(0, 0)[8], "about-final.txt");
    EXPECT_EQ(Item(0, 0, 8).RemHost, Item(0, 0, 7).RemHost);  // inherits the remote side
    EXPECT_EQ(D().GetSelection(0, 0, 0), std::vector<int>{8});
    EXPECT_TRUE(List()->topLevelItem(8)->isSelected());

    // The next proposal uses the folder of the last final file.
    Select({1, 7});
    Answer(Files() + "/notes.txt");  // one of the inputs
    frame->ExecuteCommand(32525);
    EXPECT_EQ(proposed, Files() + "/about-Final.txt");
    EXPECT_EQ(prompter.Messages().back(),
              "The final file cannot be one of the files it joins:\r\n" + Files() + "/notes.txt");
    EXPECT_EQ(Read(Files() + "/notes.txt"), "second {$FileName}\n");

    // Another spelling of an input is still that input.
    Answer(Files() + "/./notes.txt");
    frame->ExecuteCommand(32525);
    EXPECT_EQ(Read(Files() + "/notes.txt"), "second {$FileName}\n");
}

TEST_F(ConcatenateTest, TheBlocksGoAfterWhatTheFinalFileHeldAndInWholeOnly) {
    Open();
    const std::string target = Files() + "/out/joined.txt";
    Touch(target, "old content\n", 1600000000);
    Select({1, 7});
    Answer(target, "{$FileText}");
    frame->ExecuteCommand(32525);
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_EQ(Read(target), "old content\ntext\ntext\n");

    // The same concatenation again adds the blocks once more.
    Select({1, 7});
    frame->ExecuteCommand(32525);
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_EQ(Read(target), "old content\ntext\ntext\ntext\ntext\n");

    // A write that fails half-way (the file size limit of the process is
    // reached) leaves the old final file as it was.
    Touch(target, "old content\n", 1600000000);
    WriteFile(Files() + "/notes.txt", std::string(4096, 'x'));
    Select({1, 7});
    {
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
        frame->ExecuteCommand(32525);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    EXPECT_EQ(prompter.Messages().back(),
              "Failed to concatenate the selected files. \r\nSee Message Window for deatails.");
    EXPECT_EQ(Read(target), "old content\n");
}

TEST_F(ConcatenateTest, TemplateDialogRules) {
    CFileItem item("Makefile");
    item.LocalDir = "/w/";
    {
        CConcatenateTemplateDlg dlg(item);
        EXPECT_EQ(dlg.windowTitle(), "Concatenate Template");
        for (const char* id : {"1532", "1866", "1663", "1622", "1335", "1346", "1418", "1", "2"})
            EXPECT_NE(dlg.findChild<QWidget*>(id), nullptr) << id;
        EXPECT_EQ(dlg.m_strFinalName, "/w/Makefile-final.");
        EXPECT_EQ(dlg.m_strTemplate, g_strConcatTemplateDefault);
        EXPECT_EQ(g_strConcatTemplateDefault.size(), 272u);
        EXPECT_EQ(Control<QLabel>(&dlg, "1866")->text(), "Use to reperesent Local Directory of the file.");
        Control<QComboBox>(&dlg, "1532")->setCurrentIndex(3);
        EXPECT_EQ(Control<QLabel>(&dlg, "1866")->text(), "Use to reperesent the actual ***TEXT*** of the file.");

        // "Enter" replaces the selected text of the template.
        auto* box = Control<QPlainTextEdit>(&dlg, "1663");
        box->setPlainText("A-B-C");
        QTextCursor c = box->textCursor();
        c.setPosition(2);
        c.setPosition(3, QTextCursor::KeepAnchor);
        box->setTextCursor(c);
        Press(&dlg, "1346");
        EXPECT_EQ(dlg.m_strTemplate, "A-{$FileText}-C");

        // Empty name or template: a message and the dialog stays; blanks are a template.
        Control<QLineEdit>(&dlg, "1622")->clear();
        Press(&dlg, "1");
        EXPECT_EQ(prompter.Messages().back(), "Final file name cannot be empty.");
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        Control<QLineEdit>(&dlg, "1622")->setText("/w/all.txt");
        box->clear();
        Press(&dlg, "1");
        EXPECT_EQ(prompter.Messages().back(), "Template cannot be empty.");
        box->setPlainText("   ");
        CConcatenateTemplateDlg::s_browseForFile = [](const std::string& title, const std::string& folder) {
            return title == "Final File" && folder == "/w/" ? std::string("/w/picked.txt") : std::string();
        };
        Press(&dlg, "1335");
        EXPECT_EQ(Control<QLineEdit>(&dlg, "1622")->text(), "/w/picked.txt");
        Press(&dlg, "1");
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(g_strConcatOutputFile, "/w/picked.txt");
        EXPECT_EQ(g_strConcatTemplateCurrent, "   ");
    }
    {
        // Reset followed by Cancel still restores the default template.
        CConcatenateTemplateDlg dlg(item);
        EXPECT_EQ(dlg.m_strFinalName, "/w/Makefile-Final.");
        EXPECT_EQ(dlg.m_strTemplate, "   ");
        Press(&dlg, "1418");
        Press(&dlg, "2");
        EXPECT_EQ(g_strConcatTemplateCurrent, g_strConcatTemplateDefault);
    }
}

}  // namespace

// ---------------------------------------------------------------- keys

namespace {

TEST_F(FileListCommandsTest, TheFileMenuKeysReachTheDialogs) {
    MakeSampleArea();
    CQuorvellianApp app;
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* w = app.MainFrame();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w, 30000));
    EXPECT_TRUE(w->ShortcutsOf(32554).contains(QKeySequence("Ctrl+Q")));
    EXPECT_TRUE(w->ShortcutsOf(32518).contains(QKeySequence("Ctrl+P")));
    EXPECT_TRUE(w->ShortcutsOf(32523).contains(QKeySequence("Ctrl+Shift+D")));
    EXPECT_TRUE(w->ShortcutsOf(32522).contains(QKeySequence("Ctrl+R")));
    EXPECT_TRUE(w->ShortcutsOf(32533).contains(QKeySequence("Alt+R")));
    for (const auto& [id, key] : std::vector<std::pair<int, const char*>>{{32512, "Ctrl+Space"},
                                                                        {32521, "Ctrl+D"},
                                                                        {32516, "Ctrl+1"},
                                                                        {32514, "Ctrl+2"},
                                                                        {32534, "Ctrl+L"},
                                                                        {32536, "Ctrl+U"}}) {
        EXPECT_TRUE(w->ShortcutsOf(id).contains(QKeySequence(key))) << id << " " << key;
        EXPECT_TRUE(w->IsCommandEnabled(id)) << id;
    }
    for (int id : {32535, 32528, 32529}) EXPECT_TRUE(w->IsCommandEnabled(id)) << id;
    w->FileList()->topLevelItem(1)->setSelected(true);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w, 30000));
    drive = [](QDialog& dlg) { dlg.reject(); };
    QTest::keyClick(w, Qt::Key_Q, Qt::ControlModifier);
    QTest::keyClick(w, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(titles, (std::vector<std::string>{"File Attributes", "Select by Icon"}));
    QTest::keyClick(w, Qt::Key_R, Qt::AltModifier);
    CRenameDuplicateSelectedFilesDlg* rename = w->FileListCommands().RenameDuplicateDialog();
    EXPECT_TRUE(rename->isVisible());
    // Names from the Output window, one for two files: the WorkPad and its
    // Attributes come up to show what was read, then the refusal.
    w->FileList()->topLevelItem(2)->setSelected(true);
    w->Data().SetSelection(0, 0, 0, {1, 2});
    CConversionCommands& conversion = w->ConversionCommands();
    conversion.WorkPad().Output()->SetWindowTextFromString("only.txt");
    ASSERT_FALSE(conversion.WorkPad().isVisible());
    struct Seeing : RecordingPrompter {
        std::function<void()> seen;
        void Message(const std::string& text, MsgIcon icon) override {
            if (seen) seen();
            RecordingPrompter::Message(text, icon);
        }
    } seeing;
    bool bothShown = false;
    seeing.seen = [&] { bothShown = conversion.WorkPad().isVisible() && conversion.Attributes()->isVisible(); };
    {
        ScopedPrompter scoped(seeing);
        auto* schemes = Control<QListWidget>(rename, "1950");
        schemes->setCurrentRow(4);
        EXPECT_EQ(schemes->currentItem()->text(), "5. Using names from Ouput window");
        Press(rename, "1406");
    }
    ASSERT_EQ(seeing.Messages(), std::vector<std::string>{"Not enough file names on Output window."});
    EXPECT_TRUE(bothShown);
    rename->hide();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w, 30000));
    QTest::keyClick(w, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(w->FileListCommands().MakeSameHostPalette()->isVisible());
    w->FileListCommands().CancelMakeSameHost();
    w->close();
    app.ExitInstance();
}

}  // namespace
