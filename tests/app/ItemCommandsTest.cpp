// The commands on the file items of the current basket, the file list's
// clicks, the text buffer commands and the edit commands, driven on the
// window as the program opens it.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTest>

#include "app/ItemCommands.h"
#include <QToolBar>
#include "convert_ui/ui/ModalRun.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MainPresenter.h"
#include "app/MessageWindowBar.h"
#include "app/PaneControlStatusBar.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextRichEdit.h"
#include "widgets/TextWindows.h"
#include "SampleWindowFixture.h"
#include "remote/FtpWorker.h"
#include "remote/TestServers.h"

namespace {

// Also remembers the start text of every prompt.
class PromptRecorder : public RecordingPrompter {
public:
    std::optional<std::string> AskText(const std::string& title, const std::string& prompt,
                                       const std::string& initial) override {
        initials.push_back(initial);
        return RecordingPrompter::AskText(title, prompt, initial);
    }
    std::vector<std::string> initials;
};

class ItemCommandsTest : public SampleWindowTest {
protected:
    void SetUp() override {
        SampleWindowTest::SetUp();
        scoped = std::make_unique<ScopedPrompter>(ask);
        g_TextBuffer.clear();
        g_nTextBufferIndex = -1;
        g_nActiveTextWindow = 1;
        CItemCommands::s_openFile = [this](const std::string& path) { opened.push_back(path); };
        CItemCommands::s_startProgram = [this](const std::vector<std::string>& argv) {
            started.push_back(argv);
            return true;
        };
        CItemCommands::s_printFile = [this](const std::string& path, std::function<void(bool)> done) {
            printed.push_back(path);
            done(true);
        };
        CItemCommands::s_showPalette = [this](int palette, bool show) {
            palettes.push_back((show ? "show " : "hide ") + std::to_string(palette));
        };
    }
    void TearDown() override {
        SetTextWindows(nullptr, nullptr);
        input.reset();
        output.reset();
        frame.reset();
        CItemCommands::s_openFile = nullptr;
        CItemCommands::s_startProgram = nullptr;
        CItemCommands::s_printFile = nullptr;
        CItemCommands::s_showPalette = nullptr;
        CItemCommands::s_chooseBufferFolders = nullptr;
        g_TextBuffer.clear();
        g_nTextBufferIndex = -1;
        g_nActiveTextWindow = 1;
        scoped.reset();
        SampleWindowTest::TearDown();
    }

    CItemCommands& Items() { return frame->ItemCommands(); }
    void ShowBasket(int b) { frame->Presenter().OnBasketClicked({b}); }
    std::vector<std::string> Names(int b) const {
        return frame->Data().GetBasketFileNames(0, 0, b);
    }
    std::vector<std::string> RowTexts() {
        std::vector<std::string> out;
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            out.push_back(List()->topLevelItem(i)->text(0).toStdString());
        return out;
    }
    std::string Log() { return frame->MessageWindow().GetText(); }
    bool LogHas(const std::string& line) {
        return ("\r\n" + Log() + "\r\n").find("\r\n" + line + "\r\n") != std::string::npos;
    }
    void Click(int row, bool twice = false) {
        const QRect r = List()->visualItemRect(List()->topLevelItem(row));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, r.center());
        if (twice) QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, r.center());
    }
    // Publishes an Input and an Output box as the conversion dialog does.
    void PublishTextWindows() {
        input = std::make_unique<CLineTextBox>(1);
        output = std::make_unique<CLineTextBox>(2);
        SetTextWindows(input.get(), output.get());
    }

    using Names_t = std::vector<std::string>;
    PromptRecorder ask;
    std::unique_ptr<ScopedPrompter> scoped;
    std::unique_ptr<CLineTextBox> input, output;
    std::vector<std::string> opened, printed, palettes;
    std::vector<std::vector<std::string>> started;
};

TEST_F(ItemCommandsTest, CutAndPasteIntoAnotherBasketMovesTheItemsOnce) {
    Open();
    Select({1, 2});
    frame->ExecuteCommand(32551);
    EXPECT_EQ(Items().ClipboardMode(), CItemCommands::CutPending);
    EXPECT_EQ(palettes, Names_t{"show 1"});
    EXPECT_EQ(Names(0).size(), 8u);  // nothing leaves before the paste

    ShowBasket(1);
    Select({0});
    frame->ExecuteCommand(32552);
    EXPECT_EQ(Names(1), (Names_t{"clean.sh", "about.txt", "main.c", "build.sh"}));
    EXPECT_EQ(D().GetSelection(0, 0, 1), (std::vector<int>{1, 2}));
    EXPECT_EQ(RowTexts(), Names(1));
    EXPECT_TRUE(List()->topLevelItem(1)->isSelected());
    EXPECT_EQ(Names(0), (Names_t{"index.html", "util.h", "App.java", "deploy.com", "logo.bin", "notes.txt"}));
    EXPECT_TRUE(D().GetSelection(0, 0, 0).empty());
    EXPECT_EQ(Items().ClipboardMode(), CItemCommands::Empty);
    EXPECT_EQ(palettes, (Names_t{"show 1", "hide 1"}));

    // A second paste has nothing to paste.
    frame->ExecuteCommand(32552);
    EXPECT_EQ(Names(1).size(), 4u);
    EXPECT_EQ(Names(0).size(), 6u);
}

TEST_F(ItemCommandsTest, PasteAfterCutRemovesTheCutRecordsWhereverTheyStandNow) {
    Open();
    Select({0, 1});  // index.html, about.txt
    frame->ExecuteCommand(32551);
    // The source is reordered by a header-click sort before the paste.
    Select({0, 1, 2, 3, 4, 5, 6, 7});
    ask.answers = {Answer::Yes};
    emit frame->FileList()->headerClicked(0);
    ASSERT_EQ(Names(0), (Names_t{"App.java", "about.txt", "deploy.com", "index.html", "logo.bin", "main.c",
                                 "notes.txt", "util.h"}));
    Select({7});
    frame->ExecuteCommand(32552);
    // Removing by the indices of the cut would have taken App.java instead.
    EXPECT_EQ(Names(0), (Names_t{"App.java", "deploy.com", "logo.bin", "main.c", "notes.txt", "util.h",
                                 "index.html", "about.txt"}));
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{6, 7}));
    EXPECT_EQ(RowTexts(), Names(0));
}

TEST_F(ItemCommandsTest, CopyNeedsASelectionAndBlocksCutWhilePending) {
    Open();
    Select({});
    frame->ExecuteCommand(32550);
    EXPECT_EQ(Items().ClipboardMode(), CItemCommands::Empty);
    EXPECT_TRUE(Items().ClipboardItems().empty());
    EXPECT_TRUE(palettes.empty());

    Select({2});
    frame->ExecuteCommand(32550);
    Select({3});
    frame->ExecuteCommand(32551);  // a copy is pending: the cut does nothing
    EXPECT_EQ(Items().ClipboardMode(), CItemCommands::CopyPending);
    ASSERT_EQ(Items().ClipboardItems().size(), 1u);
    EXPECT_EQ(Items().ClipboardItems()[0].FileName, "main.c");
    // Pasting a copy into its own basket adds it again; the original stays.
    Select({7});
    frame->ExecuteCommand(32552);
    EXPECT_EQ(Names(0).size(), 9u);
    EXPECT_EQ(Names(0)[2], "main.c");
    EXPECT_EQ(Names(0)[8], "main.c");
    EXPECT_EQ(palettes, (Names_t{"show 2", "hide 2"}));

    // A cancelled cut leaves everything in place.
    Select({0});
    frame->ExecuteCommand(32551);
    Items().CancelClipboard();
    frame->ExecuteCommand(32552);
    EXPECT_EQ(Names(0).size(), 9u);
}

TEST_F(ItemCommandsTest, UpAndDownMoveTheSelectedBlockAndStopAtTheEnds) {
    Open();
    Select({1, 2});
    frame->ExecuteCommand(32514);
    EXPECT_EQ(Names(0), (Names_t{"index.html", "util.h", "about.txt", "main.c", "App.java", "deploy.com",
                                 "logo.bin", "notes.txt"}));
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{2, 3}));
    EXPECT_TRUE(List()->topLevelItem(3)->isSelected());
    EXPECT_EQ(RowTexts(), Names(0));

    // The first item cannot go up; the one after it still can.
    Select({0, 7});
    frame->ExecuteCommand(32516);
    EXPECT_EQ(Names(0)[0], "index.html");
    EXPECT_EQ(Names(0)[6], "notes.txt");
    EXPECT_EQ(Names(0)[7], "logo.bin");
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{0, 6}));
    // A block at the end does not move down.
    Select({6, 7});
    frame->ExecuteCommand(32514);
    EXPECT_EQ(Names(0)[6], "notes.txt");
    EXPECT_EQ(Names(0)[7], "logo.bin");
}

TEST_F(ItemCommandsTest, MirrorCopiesMarksAndRemove) {
    Open();
    Select({0, 2});
    frame->ExecuteCommand(32521);
    EXPECT_EQ(Names(0).size(), 10u);
    EXPECT_EQ(Names(0)[8], "index.html");
    EXPECT_EQ(Names(0)[9], "main.c");
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{8, 9}));
    EXPECT_EQ(List()->topLevelItemCount(), 10);

    Select({1});
    frame->ExecuteCommand(32559);
    EXPECT_TRUE(D().GetFileItem(0, 0, 0, 1).IsBatFile);
    frame->ExecuteCommand(32560);
    EXPECT_TRUE(D().GetFileItem(0, 0, 0, 1).IsBinaryFile);
    EXPECT_TRUE(LogHas("Now BINARY: about.txt"));
    frame->ExecuteCommand(32560);
    EXPECT_FALSE(D().GetFileItem(0, 0, 0, 1).IsBinaryFile);
    frame->ExecuteCommand(32559);
    EXPECT_FALSE(D().GetFileItem(0, 0, 0, 1).IsBatFile);

    // Remove is refused while a transfer or the add-files worker runs.
    Select({8, 9});
    g_bFtpIdle = false;
    frame->ExecuteCommand(32520);
    g_bFtpIdle = true;
    EXPECT_EQ(ask.Messages().back(), kFtpBusyRefusal);
    g_bAddFilesIdle = false;
    frame->ExecuteCommand(32520);
    g_bAddFilesIdle = true;
    EXPECT_TRUE(LogHas("Thread on session...[x]"));
    EXPECT_EQ(Names(0).size(), 10u);
    frame->ExecuteCommand(32520);
    EXPECT_EQ(frame->StatusBar()->PaneText(0).toStdString(), "2 files removed.");
    EXPECT_EQ(Log().find("files removed."), std::string::npos);
    EXPECT_EQ(Names(0).size(), 8u);
    EXPECT_EQ(List()->topLevelItemCount(), 8);
    // The last rows went: the new last row stays selected, in the list too.
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{7}));
    EXPECT_TRUE(List()->topLevelItem(7)->isSelected());
    // Rows in the middle: the row that moved up into the gap is selected.
    Select({2, 4});
    const std::string next = Names(0)[5];
    frame->ExecuteCommand(32520);
    EXPECT_EQ(D().GetSelection(0, 0, 0), (std::vector<int>{3}));
    EXPECT_EQ(Names(0)[3], next);

    frame->ExecuteCommand(32524);  // Select all
    EXPECT_EQ(D().GetSelection(0, 0, 0).size(), 6u);
    frame->ExecuteCommand(32520);
    EXPECT_TRUE(Names(0).empty());
    EXPECT_TRUE(D().GetSelection(0, 0, 0).empty());
    EXPECT_EQ(frame->StatusBar()->PaneText(0).toStdString(), "6 files removed.");
}

TEST_F(ItemCommandsTest, CaseChangesRenameTheLocalFileAndOnlyTheCaseMayChange) {
    Open();
    Select({4});  // App.java
    frame->ExecuteCommand(32534);
    EXPECT_EQ(Names(0)[4], "app.java");
    EXPECT_TRUE(std::filesystem::exists(Files() + "/app.java"));
    EXPECT_FALSE(std::filesystem::exists(Files() + "/App.java"));
    EXPECT_EQ(RowTexts()[4], "app.java");  // not marked missing or modified
    frame->ExecuteCommand(32536);
    EXPECT_EQ(Names(0)[4], "APP.JAVA");

    ask.texts = {std::string("Other.java")};
    frame->ExecuteCommand(32535);
    EXPECT_EQ(ask.initials.back(), "APP.JAVA");
    EXPECT_EQ(ask.Messages().back(), "You cannot change the file name. Only the case can be changed.");
    EXPECT_EQ(Names(0)[4], "APP.JAVA");

    // With two selected, only the item that was asked about takes the spelling.
    Select({4, 5});
    ask.texts = {std::string("App.Java")};
    frame->ExecuteCommand(32535);
    EXPECT_EQ(Names(0)[4], "App.Java");
    EXPECT_EQ(Names(0)[5], "deploy.com");
    EXPECT_TRUE(std::filesystem::exists(Files() + "/App.Java"));
}

TEST_F(ItemCommandsTest, DirtyMarksAreClearedAndCounted) {
    Open();
    Select({});
    frame->ExecuteCommand(32508);
    EXPECT_EQ(ask.Messages().back(), "None selected...");
    // about.txt changes on disk; notes.txt is dirty on the remote side.
    Touch(Files() + "/about.txt", "changed\n", 1700000000);
    D().SetRemoteModified(0, 0, 0, 7, "Yes");
    frame->Presenter().FillFileItemList(0, 0, 0);
    EXPECT_EQ(RowTexts()[1].front(), '*');

    // "Clear local dirty icons" of the selection.
    Select({0, 1, 7});
    frame->ExecuteCommand(32508);
    EXPECT_TRUE(LogHas("1 item updated."));
    EXPECT_EQ(RowTexts()[1], "about.txt");
    EXPECT_EQ(D().GetFileItem(0, 0, 0, 7).IsRemoteModified, "Yes");
    frame->ExecuteCommand(32508);
    EXPECT_TRUE(LogHas("All fine."));

    // "Clear remote dirty icons" of the selection.
    Touch(Files() + "/about.txt", "changed again\n", 1700000050);
    Select({1, 7});
    frame->ExecuteCommand(32510);
    EXPECT_EQ(D().GetFileItem(0, 0, 0, 7).IsRemoteModified, "No");
    EXPECT_TRUE(D().GetFileItem(0, 0, 0, 1).IsLocallyChanged());

    // "Clear all remote dirty icons" takes every basket and leaves local marks.
    Touch(Files() + "/main.c", "changed\n", 1700000000);
    D().SetRemoteMissing(0, 0, 1, 0, "Yes");
    D().SetRemoteModified(0, 0, 0, 7, "Yes");
    frame->MessageWindow().Clear();
    frame->ExecuteCommand(32509);
    EXPECT_TRUE(LogHas("2 item updated."));
    EXPECT_EQ(D().GetFileItem(0, 0, 1, 0).IsRemoteMissing, "No");
    EXPECT_EQ(D().GetFileItem(0, 0, 0, 7).IsRemoteModified, "No");
    EXPECT_TRUE(D().GetFileItem(0, 0, 0, 2).IsLocallyChanged());

    // "Clear all local dirty icons" takes every basket and leaves remote marks.
    Touch(Files() + "/main.c", "again\n", 1700000100);
    Touch(Files() + "/about.txt", "again\n", 1700000100);
    D().SetRemoteModified(0, 0, 0, 7, "Yes");
    frame->Presenter().FillFileItemList(0, 0, 0);
    frame->MessageWindow().Clear();
    frame->ExecuteCommand(32507);
    EXPECT_TRUE(LogHas("2 item updated."));
    EXPECT_FALSE(D().GetFileItem(0, 0, 0, 2).IsLocallyChanged());
    EXPECT_FALSE(D().GetFileItem(0, 0, 0, 1).IsLocallyChanged());
    EXPECT_EQ(D().GetFileItem(0, 0, 0, 7).IsRemoteModified, "Yes");
    EXPECT_TRUE(frame->Presenter().LocalChangeList().empty());
}

TEST_F(ItemCommandsTest, HeaderClickSortsTheSelectionAfterTheQuestion) {
    Open();
    Select({3});
    emit frame->FileList()->headerClicked(0);
    EXPECT_EQ(ask.Messages().back(), "Select multiple items from the list.");
    EXPECT_TRUE(ask.Questions().empty());

    Select({0, 1, 2, 3});  // index.html about.txt main.c util.h
    emit frame->FileList()->headerClicked(0);  // answered No
    EXPECT_EQ(ask.Questions().back(), "This will sort the selected items.\r\nAre you sure?");
    EXPECT_EQ(Names(0)[0], "index.html");
    ask.answers = {Answer::Yes};
    emit frame->FileList()->headerClicked(0);
    EXPECT_EQ(Names(0), (Names_t{"about.txt", "index.html", "main.c", "util.h", "App.java", "deploy.com",
                                 "logo.bin", "notes.txt"}));
    EXPECT_EQ(RowTexts(), Names(0));
    // By host: the address-named host sorts first.
    ask.answers = {Answer::Yes};
    emit frame->FileList()->headerClicked(1);
    EXPECT_EQ(Names(0)[0], "util.h");
    EXPECT_EQ(frame->StatusBar()->PaneText(0).toStdString(), D().GetSelectionStatusText(0, 0, 0));
    // The Session toolbar's sort by name length asks for the order in the
    // Sort Properties dialog, not with the question.
    std::string asked;
    g_runModalHook = [&](QDialog& d) {
        asked = d.windowTitle().toStdString();
        return int(QDialog::Accepted);
    };
    const size_t questions = ask.Questions().size();
    QAction* byLength = frame->Action(32586);
    ASSERT_TRUE(frame->ToolBar(145)->actions().contains(byLength));
    byLength->trigger();
    g_runModalHook = nullptr;
    EXPECT_EQ(asked, "Sort Properties");
    EXPECT_EQ(ask.Questions().size(), questions);
    EXPECT_EQ(Names(0), (Names_t{"main.c", "util.h", "about.txt", "index.html", "App.java", "deploy.com",
                                 "logo.bin", "notes.txt"}));
}

TEST_F(ItemCommandsTest, SingleClickOpensOnceAndDoubleClickOpensOnlyWithoutIt) {
    Open();
    g_bSingleClick = true;
    Click(1);
    EXPECT_EQ(opened, Names_t{Files() + "/about.txt"});
    EXPECT_EQ(D().GetSelection(0, 0, 0), std::vector<int>{1});
    EXPECT_EQ(Items().LastClickBasket(), 0);
    Click(2, true);  // a click and a double click on another row
    EXPECT_EQ(opened, (Names_t{Files() + "/about.txt", Files() + "/main.c"}));

    g_bSingleClick = false;
    opened.clear();
    Click(3);
    EXPECT_TRUE(opened.empty());
    Click(3, true);
    EXPECT_EQ(opened, Names_t{Files() + "/util.h"});
    // Enter opens whatever the option says.
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(ItemCommandsTest, OpenFolderPrintStatusAndFileSpec) {
    Open();
    Select({});
    frame->ExecuteCommand(32512);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (Names_t{"xdg-open", g_strWorkFilesDir}));
    Select({2});
    frame->ExecuteCommand(32512);
    EXPECT_EQ(started[1], (Names_t{"xdg-open", Files() + "/"}));

    // The middle file is missing: the other two are printed, one message.
    std::filesystem::remove(Files() + "/main.c");
    Select({1, 2, 3});
    frame->ExecuteCommand(32519);
    EXPECT_EQ(printed, (Names_t{Files() + "/about.txt", Files() + "/util.h"}));
    ASSERT_EQ(ask.Messages().size(), 1u);
    EXPECT_EQ(ask.Messages()[0], "Failed to print: " + Files() + "/main.c\r\n\r\n" +
                                     "File is missing or Windows refused to print this file.");
    // A print the printing program refused is reported too.
    CItemCommands::s_printFile = [](const std::string&, std::function<void(bool)> done) { done(false); };
    Select({1});
    frame->ExecuteCommand(32519);
    EXPECT_EQ(ask.Messages().size(), 2u);

    // Status from the list's pop-up menu: every line shows, nothing to scroll.
    QMenu popup;
    ASSERT_TRUE(frame->BuildListContextMenu(frame->FileList(), popup));
    QAction* status = SubmenuAction(popup, "Work on file-list...", "Status");
    ASSERT_NE(status, nullptr);
    status->trigger();
    ASSERT_NE(Items().StatusDialog(), nullptr);
    auto* box = Items().StatusDialog()->findChild<QPlainTextEdit*>("1661");
    ASSERT_NE(box, nullptr);
    std::string text = D().GetFileItemStatusText(0, 0, 0, 1);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    EXPECT_EQ(box->toPlainText().toStdString(), text);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Items().StatusDialog()));
    EXPECT_NE(text.find("User:"), std::string::npos);
    EXPECT_EQ(box->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0);
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    const QTextCursor user = box->document()->find("User:");
    ASSERT_FALSE(user.isNull());
    EXPECT_TRUE(box->viewport()->rect().contains(box->cursorRect(user)));
    EXPECT_TRUE(box->viewport()->rect().contains(box->cursorRect(end)));
    Items().StatusDialog()->close();

    frame->ExecuteCommand(32601);
    EXPECT_NE(Log().find(D().GetFileItemReport(0, 0, 0, 1)), std::string::npos);
}

TEST_F(ItemCommandsTest, OpenFetchesNeverFetchedItemsOnlyWhenNoTransferRuns) {
    Open();
    // The "Build" session holds remote items that were never fetched.
    D().SetCurSession(0, 1);
    D().SetCurrentBasket(0, 1, 0);
    frame->Presenter().ShowSession(0, 1, 0);
    ASSERT_EQ(RowTexts(), (Names_t{"config.h", "Makefile"}));
    Select({0, 1});
    g_bFtpIdle = false;
    frame->ExecuteCommand(32517);
    g_bFtpIdle = true;
    EXPECT_TRUE(opened.empty());
    // A remote item whose local copy exists opens that copy and says so.
    Touch(Files() + "/build/Makefile", "all:\n", 1600000000);
    Select({1});
    frame->ExecuteCommand(32517);
    EXPECT_EQ(opened, Names_t{Files() + "/build/Makefile"});
    EXPECT_TRUE(LogHas("Auto-copy halted. Opened local copy of " + Files() + "/build/Makefile"));
    // An item without a local folder: the user is asked to give one first;
    // No opens nothing.
    D().SetLocalDir(0, 1, 0, 0, "");
    Select({0});
    frame->ExecuteCommand(32517);
    EXPECT_EQ(ask.Questions().back(),
              "You need to specify local directory for all of the selected files.\r\n"
              "Specify the local directory now?");
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(ItemCommandsTest, OpenFetchesANeverFetchedItemFromARealServerFirst) {
    TempDir serverRoot;
    qvltest::PyFtpServer server(serverRoot.path());
    if (!server.ok()) GTEST_SKIP() << server.why();
    const std::string port = std::to_string(server.port());
    ScopedEnv ftpPort("QVL_FTP_PORT", port.c_str());
    ScopedEnv editor("VISUAL", "/bin/true");  // the engine opens the fetched file
    std::filesystem::create_directories(serverRoot / "pub");
    WriteFile(serverRoot / "pub/readme.txt", "from the server\r\n");
    Open();
    D().AddHost("127.0.0.1", qvltest::kUser, qvltest::kPassword, 0, 2);
    CFileItem it("readme.txt");
    it.FileType = "remote";
    it.RemHost = "127.0.0.1";
    it.RemUser = qvltest::kUser;
    it.RemoteDir = "/pub/";
    it.LocalDir = Files() + "/fetched/";
    it.IsFTPed = "No";
    D().InsertFileItems(0, 0, 0, 8, it);
    frame->Presenter().FillFileItemList(0, 0, 0);
    frame->MessageWindow().hide();
    Select({8});
    frame->ExecuteCommand(32517);
    EXPECT_EQ(ReadFile(Files() + "/fetched/readme.txt"), "from the server\n");
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_TRUE(opened.empty());  // opened by the fetch, not a second time here
    EXPECT_TRUE(frame->MessageWindow().isVisible());
    // The timer takes the result over: the item counts as fetched now.
    EXPECT_TRUE(ApplyFtpResults(D()));
    EXPECT_EQ(D().GetFileItem(0, 0, 0, 8).IsFTPed, "Yes");
}

TEST_F(ItemCommandsTest, SaveTextWritesTheMessageWindowAndListsTheFile) {
    Open();
    frame->MessageWindow().SetText("first line\r\nsecond line");
    g_nActiveTextWindow = 3;
    Select({1});  // about.txt
    const std::string path = Files() + "/about.log";
    ask.texts = {path};
    frame->ExecuteCommand(32649);
    EXPECT_EQ(ask.initials.back(), path);
    EXPECT_EQ(ReadFile(path), "first line\nsecond line");
    ASSERT_EQ(Names(0).size(), 9u);
    EXPECT_EQ(Names(0)[8], "about.log");
    EXPECT_EQ(D().GetFileItem(0, 0, 0, 8).LocalDir, Files() + "/");
    EXPECT_EQ(D().GetSelection(0, 0, 0), std::vector<int>{8});
    EXPECT_EQ(RowTexts()[8], "about.log");

    // Saving again over it asks first; No leaves the file alone.
    frame->MessageWindow().SetText("other");
    ask.texts = {path};
    frame->ExecuteCommand(32649);
    EXPECT_EQ(ask.Questions().back(), path + " Replace existing?");
    EXPECT_EQ(ReadFile(path), "first line\nsecond line");
    ask.texts = {path};
    ask.answers = {Answer::Yes};
    frame->ExecuteCommand(32649);
    EXPECT_EQ(ReadFile(path), "other");
    EXPECT_EQ(Names(0).size(), 9u);  // found, not added twice

    // The Input window's name with nothing selected.
    PublishTextWindows();
    input->SetWindowTextFromString("in");
    g_nActiveTextWindow = 1;
    Select({});
    ask.texts = {std::nullopt};
    frame->ExecuteCommand(32649);
    EXPECT_EQ(ask.initials.back(), g_strWorkFilesDir + "New-File-In.txt");
}

TEST_F(ItemCommandsTest, TextBufferCommandsWaitForTheInputWindow) {
    Open();
    SetTextWindows(nullptr, nullptr);  // the WorkPad's own boxes withdrawn
    for (int id : {32655, 32625, 32650, 32651, 32640, 32626}) EXPECT_FALSE(frame->IsCommandEnabled(id)) << id;
    EXPECT_TRUE(frame->IsCommandEnabled(32639));
    EXPECT_TRUE(frame->IsCommandEnabled(32649));
    PublishTextWindows();
    for (int id : {32655, 32625, 32650, 32651, 32640, 32626}) EXPECT_TRUE(frame->IsCommandEnabled(id)) << id;

    input->SetWindowTextFromString("");
    frame->ExecuteCommand(32655);
    EXPECT_EQ(ask.Messages().back(), "Input text box is empty.");
    input->SetWindowTextFromString("alpha");
    frame->ExecuteCommand(32655);
    input->SetWindowTextFromString("beta");
    frame->ExecuteCommand(32655);
    EXPECT_TRUE(LogHas("Text Buffer: 2 (added)"));
    frame->ExecuteCommand(32651);
    frame->ExecuteCommand(32651);  // at the first item it stays there
    EXPECT_EQ(input->GetText(), "alpha");
    EXPECT_EQ(g_nTextBufferIndex, 0);
    EXPECT_TRUE(LogHas("Text Buffer: 1 (displayed)"));
    frame->ExecuteCommand(32625);
    EXPECT_TRUE(LogHas("Text Buffer: 1 (removed)"));
    EXPECT_EQ(input->GetText(), "beta");

    // Dump, then load it back through the chooser.
    ask.entries.clear();
    frame->ExecuteCommand(32639);
    ASSERT_EQ(ask.Messages().size(), 1u);
    EXPECT_EQ(ask.Messages()[0].rfind("Clipboard saved to hard disk in 1 file(s).", 0), 0u);
    CItemCommands::s_chooseBufferFolders = [](std::vector<std::string>& f) { return f; };
    frame->ExecuteCommand(32640);
    EXPECT_EQ(g_TextBuffer, (std::vector<std::string>{"beta", "beta"}));
    EXPECT_TRUE(LogHas("Text Buffer: 2 (loaded)"));

    output->SetWindowTextFromString("out");
    frame->ExecuteCommand(32626);
    EXPECT_EQ(input->GetText(), "");
    EXPECT_EQ(output->GetText(), "");
    EXPECT_EQ(Log(), "");

    // Withdrawn boxes disable the commands again.
    SetTextWindows(nullptr, nullptr);
    EXPECT_FALSE(frame->IsCommandEnabled(32655));
}

TEST_F(ItemCommandsTest, EditCommandsActOnTheFocusedBox) {
    Open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get(), 30000));
    frame->activateWindow();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get(), 30000));
    auto* line = new QLineEdit("copied text", frame.get());
    auto* pad = new QPlainTextEdit(frame.get());
    line->show();
    pad->show();
    line->setFocus();
    line->selectAll();
    QApplication::clipboard()->clear();
    frame->ExecuteCommand(32627);
    EXPECT_EQ(QApplication::clipboard()->text(), "copied text");
    frame->ExecuteCommand(32628);
    EXPECT_EQ(line->text(), "");
    frame->ExecuteCommand(57643);
    EXPECT_EQ(line->text(), "copied text");

    pad->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), pad);
    frame->ExecuteCommand(32647);
    EXPECT_EQ(pad->toPlainText(), "copied text");

    // A text window that gets the focus becomes the active text window.
    CTextRichEdit* messages = frame->MessageWindow().GetRichEdit();
    messages->setFocus();
    EXPECT_EQ(g_nActiveTextWindow, 3);
    // Its Copy with nothing selected takes the whole text.
    frame->MessageWindow().Clear();
    CMainPresenter::LogMessage("one line");
    QTextCursor c = messages->textCursor();
    c.clearSelection();
    messages->setTextCursor(c);
    QTest::keyClick(messages, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), messages->toPlainText().toStdString());
    EXPECT_NE(QApplication::clipboard()->text().indexOf("one line"), -1);
}

}  // namespace
