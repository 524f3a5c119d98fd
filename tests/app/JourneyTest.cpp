// A user's first day with the program, on a real X server (Xvfb) against
// vsftpd and in.rexecd on 127.0.0.1: an empty work area; a project, a
// session and a basket made through the Control panel and the keys; three
// files added through the file dialog (a blank in one name, one binary);
// the account typed into the login dialog; F5; a server copy and a local
// copy change; the remote and the local status checks show both marks; F4;
// both copies of one file change and F4 asks first; a command file runs on the host; the WorkPad converts; two items are
// diffed; two files are renamed; Ctrl+S, Exit, and a second start finds it
// all again. Keys and clicks go to the real window through xdotool; what
// only the program knows (row pictures, texts) is read through its presenter.
#include <algorithm>
#include <sys/stat.h>

#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>

#include "JourneyFixture.h"
#include "UiFixture.h"
#include "app/CompareCommands.h"
#include "app/ControlPanelBar.h"
#include "widgets/DialogPlacement.h"
#include "app/FileListCommands.h"
#include "app/ConversionCommands.h"
#include "app/ListViews.h"
#include "app/MessageWindowBar.h"
#include "app/MainFrame.h"
#include "app/QuorvellianApp.h"
#include "app/StartupBannerDlg.h"
#include "widgets/TextRichEdit.h"
#include "widgets/TextWindows.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/FileDiffDlg.h"
#include "compare/ui/FileDiffManagerDlg.h"
#include "filelist/ui/RenameDuplicateSelectedFilesDlg.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "model/Account.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/Socket.h"
#include "remote/TestServers.h"
#include "support/XServer.h"

namespace {

using journey::Hands;

const std::string kBlank = "my notes.txt";
const std::string kBinary = "blob.dat";
const std::string kScript = "hello.sh";
// Bytes a text-mode transfer would change: CR LF, a lone LF, NUL, ^Z, 0xFF.
const std::string kBlob("\x89QV\r\n\x1a\n\x00\x01\xff\r\r\n\x00", 14);

class JourneyTest : public UiTest {
protected:
    void SetUp() override {
        if (!std::getenv("QVL_UNDER_X")) GTEST_SKIP() << "runs on Xvfb from JourneyUnderX.WholeProgramUnderX";
        UiTest::SetUp();
        set = true;
        saved = NetTimeoutValues();
        work = std::make_unique<qvltest::UserDir>();
        ftp = std::make_unique<qvltest::VsftpdServer>("");
        rexec = std::make_unique<qvltest::RexecServer>();
        if (!ftp->ok()) GTEST_SKIP() << ftp->why();
        if (!rexec->ok()) GTEST_SKIP() << rexec->why();
        if (work->path().empty()) GTEST_SKIP() << "cannot make a folder for the test user";
        NetTimeoutValues().connectMs = 3000;
        NetTimeoutValues().replyMs = 8000;
        NetTimeoutValues().dataMs = 8000;
        CloseAllConnections();
        ClearFtpResultLists();
        env.push_back(std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(ftp->port()).c_str()));
        env.push_back(std::make_unique<ScopedEnv>("QVL_REXEC_PORT", std::to_string(rexec->port()).c_str()));
        std::filesystem::create_directories(Files());
        WriteFile(Local(kBlank), "first line\nsecond line\n");
        WriteFile(Local(kBinary), kBlob);
        WriteFile(Local(kScript), "echo hello from the host\necho one two\n");
    }
    void TearDown() override {
        if (!set) return;
        if (app) Close();
        CloseAllConnections();
        ClearFtpResultLists();
        NetTimeoutValues() = saved;
        env.clear();
        rexec.reset();
        ftp.reset();
        UiTest::TearDown();
    }

    std::string Local(const std::string& name) const { return Files() + "/" + name; }
    std::string Remote(const std::string& name) const { return *work / name; }
    std::string Shot(const std::string& step) {
        return hands.Screenshot((std::filesystem::temp_directory_path() / ("qvl-journey-" + step + ".png")).string());
    }

    // The program as main() starts it, on this test's QApplication.
    void Start() {
        hands.Gui([&] {
            app = std::make_unique<CQuorvellianApp>();
            started = app->InitInstance();
        });
        frame = app ? app->MainFrame() : nullptr;
    }
    // Ends the run as main() does; a window still open is closed first, as
    // its Exit would (workers stopped and joined).
    void Close() {
        hands.Gui([&] {
            if (frame && frame->isVisible()) frame->close();
            app->ExitInstance();
            app.reset();
        });
        frame = nullptr;
    }
    // Gets the banner out of the way as the user does: Escape.
    bool PassBanner() {
        hands.Focus(frame);
        if (hands.WaitGui([&] { return !frame->Banner() || frame->Banner()->IsClosed(); }, 500)) return true;
        hands.Focus(frame->Banner());
        hands.Key("Escape");
        return hands.WaitGui([&] { return !frame->Banner() || frame->Banner()->IsClosed(); }, 5000);
    }
    // Keys pressed with the main window in front.
    void PressOnWindow(const std::string& keys) {
        hands.Focus(frame);
        hands.Key(keys);
    }
    std::string Log() {
        return hands.Gui([&] { return frame ? frame->MessageWindow().GetText() : std::string(); });
    }
    int RowOf(const std::string& name) {
        return hands.Gui([&] {
            CProgramData& d = frame->Data();
            const auto items = d.GetBasketItems(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
            for (size_t i = 0; i < items.size(); ++i)
                if (items[i].FileName == name) return int(i);
            return -1;
        });
    }
    CFileItem Item(const std::string& name) {
        const int r = RowOf(name);
        return hands.Gui([&] {
            CProgramData& d = frame->Data();
            return r < 0 ? CFileItem() : d.GetFileItem(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket(), r);
        });
    }
    FileRow Row(const std::string& name) {
        const int r = RowOf(name);
        return hands.Gui([&] {
            const auto& rows = frame->Presenter().FileRows();
            return r < 0 || r >= int(rows.size()) ? FileRow() : rows[size_t(r)];
        });
    }
    bool Select(const std::vector<std::string>& names) {
        std::vector<int> rows;
        for (const std::string& n : names) rows.push_back(RowOf(n));
        hands.Focus(frame);
        return hands.SelectRows(frame->FileList(), rows);
    }
    // A button of the FTP toolbar, which View > "Open FTP toolbar" shows.
    bool ClickFtpButton(int id) {
        QToolBar* bar = hands.Gui([&] { return frame->ToolBar(141); });
        if (!hands.Gui([&] { return bar->isVisible(); }) &&
            !hands.MenuBar(frame, "View", {"32575"}))
            return false;
        if (!hands.WaitGui([&] { return bar->isVisible(); }, 3000)) return false;
        QWidget* button = hands.Gui([&] { return bar->widgetForAction(frame->Action(id)); });
        if (!button || !hands.Gui([&] { return button->isEnabled(); })) return false;
        hands.Click(button);
        return true;
    }
    static bool Same(const std::string& a, const std::string& b) {
        std::error_code ec;
        return std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec) && ReadFile(a) == ReadFile(b);
    }
    // A text file's lines, whatever line ends the server keeps (vsftpd
    // stores an ASCII upload with the CR LF of the wire).
    static std::string Lines(const std::string& path) {
        std::string text = ReadFile(path);
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    }
    static bool SameText(const std::string& a, const std::string& b) {
        std::error_code ec;
        return std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec) && Lines(a) == Lines(b);
    }
    // Every file under a folder whose bytes hold the text.
    static std::vector<std::string> FilesHolding(const std::string& folder, const std::string& text) {
        std::vector<std::string> found;
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file(ec) && ReadFile(it->path().string()).find(text) != std::string::npos)
                found.push_back(it->path().string());
        return found;
    }

    void Journey();
    void SecondStart();

    bool set = false;
    std::unique_ptr<qvltest::UserDir> work;
    std::unique_ptr<qvltest::VsftpdServer> ftp;
    std::unique_ptr<qvltest::RexecServer> rexec;
    std::vector<std::unique_ptr<ScopedEnv>> env;
    NetTimeouts saved;
    Hands hands;
    std::unique_ptr<CQuorvellianApp> app;
    CMainFrame* frame = nullptr;
    bool started = false;
};

// The steps of the first run; each failure says what the user would have seen.
void JourneyTest::Journey() {
    Start();
    ASSERT_TRUE(started && frame) << "the program did not start";
    ASSERT_TRUE(hands.WaitGui([&] { return frame->isVisible(); })) << "the main window did not appear";
    ASSERT_TRUE(PassBanner()) << "the banner did not close on Escape; " << Shot("banner");

    // ---- a project, a session and a basket
    CPanelTree* sessions = hands.Gui([&] { return frame->ControlPanel().SessionTree(); });
    const QString root = hands.Gui([&] {
        return sessions->topLevelItemCount() ? sessions->topLevelItem(0)->text(0) : QString();
    });
    ASSERT_FALSE(root.isEmpty()) << "the session tree has no root; " << Shot("tree");
    ASSERT_TRUE(hands.ContextMenu(hands.TreePoint(sessions, root), {"Add Project"})) << Shot("add-project-menu");
    ASSERT_TRUE(hands.AnswerPrompt("Project", "Web")) << Shot("project-prompt");
    ASSERT_TRUE(hands.WaitGui([&] { return !sessions->findItems("Web", Qt::MatchExactly | Qt::MatchRecursive).isEmpty(); }))
        << Shot("project");
    ASSERT_TRUE(hands.ContextMenu(hands.TreePoint(sessions, "Web"), {"Add Session"})) << Shot("add-session-menu");
    ASSERT_TRUE(hands.AnswerPrompt("Session", "Site")) << Shot("session-prompt");
    ASSERT_TRUE(hands.WaitGui([&] {
        CProgramData& d = frame->Data();
        return d.GetProjectName(d.GetCurProject()) == "Web" && d.GetSessionCount(d.GetCurProject()) == 1 &&
               d.GetSessionName(d.GetCurProject(), d.GetCurSession()) == "Site";
    })) << "the new session is not the current one; "
        << Shot("session");
    PressOnWindow("F7");
    ASSERT_TRUE(hands.AnswerPrompt("New Basket", "Pages")) << Shot("basket-prompt");
    ASSERT_TRUE(hands.WaitGui([&] { return frame->BasketList()->topLevelItemCount() == 1; })) << Shot("basket");

    // ---- three local files through FTP > Browse local files
    ASSERT_TRUE(hands.MenuBar(frame, "FTP", {"32556"})) << Shot("ftp-menu");
    QPointer<QWidget> files = hands.WaitWindow("Browse Local File System");
    ASSERT_TRUE(files) << "the file dialog did not open; " << Shot("file-dialog");
    ASSERT_TRUE(hands.Fill(hands.Child(files, "fileNameEdit"),
                           "\"" + Local(kBlank) + "\" \"" + Local(kBinary) + "\" \"" + Local(kScript) + "\""))
        << Shot("file-names");
    hands.Key("Return");
    ASSERT_TRUE(hands.WaitGone(files));
    ASSERT_TRUE(hands.WaitGui([&] { return frame->FileList()->topLevelItemCount() == 3; })) << Shot("added");

    // The binary file came in binary (its NUL bytes, whatever its extension);
    // "Mark as binary" turns the mark off and on again. The script becomes a
    // command file.
    ASSERT_TRUE(Item(kBinary).IsBinaryFile) << "its NUL bytes did not make it binary";
    ASSERT_TRUE(Select({kBinary})) << Shot("select-binary");
    ASSERT_TRUE(hands.ContextMenu(hands.RowPoint(frame->FileList(), RowOf(kBinary)), {"FTP files...", "32560"}))
        << Shot("binary-menu");
    EXPECT_TRUE(hands.WaitGui([&] { return !Item(kBinary).IsBinaryFile; }));
    ASSERT_TRUE(hands.ContextMenu(hands.RowPoint(frame->FileList(), RowOf(kBinary)), {"FTP files...", "32560"}))
        << Shot("binary-menu-again");
    EXPECT_TRUE(hands.WaitGui([&] { return Item(kBinary).IsBinaryFile; }));
    EXPECT_EQ(Row(kBinary).image, 13);  // binary, not yet sent
    ASSERT_TRUE(Select({kScript}));
    ASSERT_TRUE(hands.ContextMenu(hands.RowPoint(frame->FileList(), RowOf(kScript)), {"FTP files...", "32559"}))
        << Shot("bat-menu");
    EXPECT_TRUE(hands.WaitGui([&] { return Item(kScript).IsBatFile; }));
    EXPECT_EQ(Row(kScript).image, 11);  // command file, not yet sent

    // ---- the account: a cluster and an account typed into the login dialog
    QTabBar* tabs = hands.Gui([&] { return frame->ControlPanel().Tabs(); });
    hands.ClickAt(hands.Middle(tabs, hands.Gui([&] { return tabs->tabRect(1); })));
    CPanelTree* accounts = hands.Gui([&] { return frame->ControlPanel().AccountTree(); });
    ASSERT_TRUE(hands.WaitGui([&] { return accounts->isVisible(); })) << Shot("accounts-tab");
    const QString vault = hands.Gui([&] {
        return accounts->topLevelItemCount() ? accounts->topLevelItem(0)->text(0) : QString();
    });
    ASSERT_FALSE(vault.isEmpty()) << Shot("account-tree");
    ASSERT_TRUE(hands.ContextMenu(hands.TreePoint(accounts, vault), {"Add Cluster"})) << Shot("cluster-menu");
    ASSERT_TRUE(hands.AnswerPrompt("Cluster", "Lab")) << Shot("cluster-prompt");
    ASSERT_TRUE(hands.ContextMenu(hands.TreePoint(accounts, "Lab"), {"Add Account"})) << Shot("account-menu");
    QPointer<QWidget> login = hands.WaitWindow("Login Information");
    ASSERT_TRUE(login) << Shot("login");
    ASSERT_TRUE(hands.Fill(hands.Child(login, "1626"), "127.0.0.1"));
    ASSERT_TRUE(hands.Fill(hands.Child(login, "1693"), qvltest::kUser));
    ASSERT_TRUE(hands.Fill(hands.Child(login, "1642"), qvltest::kPassword));
    hands.Click(hands.Child(login, "IDOK"));
    ASSERT_TRUE(hands.WaitGone(login)) << Shot("login-ok");
    ASSERT_TRUE(hands.WaitGui([&] { return frame->Data().m_Vault.HasAccount("127.0.0.1", qvltest::kUser); }));

    // ---- F5: the items lack their host and folder: they go on the failure list
    ASSERT_TRUE(Select({kBlank, kBinary, kScript})) << Shot("select-all");
    PressOnWindow("F5");
    ASSERT_TRUE(hands.WaitGui([&] { return g_bFtpIdle && Item(kBlank).IsFTPed == "failed"; }, 20000))
        << "F5 did not end; " << Shot("put-incomplete") << "\n" << Log();
    {
        std::string log = Log();
        log.erase(std::remove(log.begin(), log.end(), '\r'), log.end());
        EXPECT_EQ(log, "Failed to transfer the following:\n   1. " + kBlank + "\n   2. " + kBinary + "\n   3. " +
                           kScript + "\n--- FTP over ---");
    }
    EXPECT_FALSE(std::filesystem::exists(Remote(kBlank)));
    const auto sent = [&] {
        return SameText(Local(kBlank), Remote(kBlank)) && Same(Local(kBinary), Remote(kBinary)) &&
               SameText(Local(kScript), Remote(kScript));
    };
    // Properties (Ctrl+Q) offers the current account; the remote folder is
    // typed in, and F5 sends them.
    PressOnWindow("ctrl+q");
    QPointer<QWidget> attributes = hands.WaitWindow("File Attributes");
    ASSERT_TRUE(attributes) << "Ctrl+Q did not open the attributes; " << Shot("attributes") << "\n" << Log();
    const auto text = [&](const char* id) {
        return hands.Gui([&] { return attributes->findChild<QLineEdit*>(id)->text().toStdString(); });
    };
    EXPECT_EQ(text("1626"), "127.0.0.1");
    EXPECT_EQ(text("1693"), qvltest::kUser);
    if (text("1626").empty()) ASSERT_TRUE(hands.Fill(hands.Child(attributes, "1626"), "127.0.0.1"));
    if (text("1693").empty()) ASSERT_TRUE(hands.Fill(hands.Child(attributes, "1693"), qvltest::kUser));
    ASSERT_TRUE(hands.Fill(hands.Child(attributes, "1587"), work->dir()));
    hands.Click(hands.Child(attributes, "1"));
    ASSERT_TRUE(hands.WaitGone(attributes)) << Shot("attributes-ok");
    PressOnWindow("F5");
    ASSERT_TRUE(Hands::Wait(sent, 20000)) << "F5 did not put the three files on the server; " << Shot("put") << "\n"
                                          << Log();
    EXPECT_EQ(ReadFile(Remote(kBinary)), kBlob) << "the binary file changed on its way";
    ASSERT_TRUE(hands.WaitGui([&] { return g_bFtpIdle && Item(kBlank).IsFTPed == "Yes"; }, 10000)) << Shot("put-done");
    EXPECT_EQ(Row(kBinary).image, 14);  // binary, sent
    EXPECT_EQ(Row(kScript).image, 12);  // command file, sent

    // ---- a server copy and a local copy change; both status checks mark them
    // The server's copy is replaced by one from elsewhere: its time is not
    // the last transfer's (the listing tells minutes, so an hour apart).
    WriteFile(Remote(kBlank), "first line\nchanged on the server\nthird line\n");
    {
        const std::time_t earlier = std::time(nullptr) - 3600, later = std::time(nullptr) + 60;
        const timespec remote[2] = {{earlier, 0}, {earlier, 0}};
        ::utimensat(AT_FDCWD, Remote(kBlank).c_str(), remote, 0);
        WriteFile(Local(kScript), "echo hello from the host\necho one two\necho changed here\n");
        const timespec local[2] = {{later, 0}, {later, 0}};
        ::utimensat(AT_FDCWD, Local(kScript).c_str(), local, 0);
    }
    ASSERT_TRUE(Select({kBlank, kBinary, kScript}));
    ASSERT_TRUE(ClickFtpButton(32562)) << "no enabled \"Get status of remote files\" button; " << Shot("ftp-bar");
    ASSERT_TRUE(hands.WaitGui([&] { return Row(kBlank).image == 29; }, 20000))
        << "the changed server copy has no remote mark: image " << Row(kBlank).image << "; " << Shot("remote-status");
    ASSERT_TRUE(hands.WaitGui([&] { return bool(g_bFtpIdle); }, 10000));
    ASSERT_TRUE(ClickFtpButton(32555)) << Shot("local-status-button");
    ASSERT_TRUE(hands.WaitGui([&] { return Row(kScript).text.rfind('*', 0) == 0; }, 5000))
        << "the changed local copy has no local mark: " << Row(kScript).text << "; " << Shot("local-status");
    EXPECT_EQ(Row(kBlank).image, 29) << "the remote mark went away";
    EXPECT_EQ(Row(kBinary).text, kBinary);

    // ---- F4 fetches the changed server copy
    ASSERT_TRUE(Select({kBlank}));
    PressOnWindow("F4");
    ASSERT_TRUE(Hands::Wait([&] { return Lines(Local(kBlank)) == Lines(Remote(kBlank)); }, 20000))
        << "F4 did not fetch the changed file; " << Shot("get");
    ASSERT_TRUE(hands.WaitGui([&] { return g_bFtpIdle && Row(kBlank).image != 29; }, 10000))
        << "the remote mark stayed after F4; " << Shot("get-done");

    // ---- both copies change: F4 first asks, naming the file; Enter (No) keeps the local line
    const std::string mine = ReadFile(Local(kBlank)) + "a\n";
    WriteFile(Local(kBlank), mine);
    WriteFile(Remote(kBlank), ReadFile(Remote(kBlank)) + "b\n");
    {
        const std::time_t earlier = std::time(nullptr) - 7200, later = std::time(nullptr) + 120;
        const timespec remote[2] = {{earlier, 0}, {earlier, 0}};
        ::utimensat(AT_FDCWD, Remote(kBlank).c_str(), remote, 0);
        const timespec local[2] = {{later, 0}, {later, 0}};
        ::utimensat(AT_FDCWD, Local(kBlank).c_str(), local, 0);
    }
    ASSERT_TRUE(Select({kBlank}));
    ASSERT_TRUE(ClickFtpButton(32562)) << Shot("status-again");
    ASSERT_TRUE(hands.WaitGui([&] { return g_bFtpIdle && Item(kBlank).IsRemoteModified == "Yes"; }, 20000))
        << Shot("both-marks");
    ASSERT_TRUE(Select({kBlank}));
    PressOnWindow("F4");
    QPointer<QWidget> both = nullptr;
    ASSERT_TRUE(hands.WaitGui([&] { return (both = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); }))
        << "F4 did not ask before overwriting a file changed on both sides; " << Shot("both-question");
    const std::string question =
        hands.Gui([&] { return qobject_cast<QMessageBox*>(both.data())->text().toStdString(); });
    EXPECT_NE(question.find(Local(kBlank)), std::string::npos) << question;
    hands.Key("Return");
    ASSERT_TRUE(hands.WaitGone(both)) << Shot("both-no");
    EXPECT_TRUE(hands.Gui([] { return bool(g_bFtpIdle); }));
    EXPECT_EQ(ReadFile(Local(kBlank)), mine);

    // ---- the command file runs on the host; its output is in the Input window
    ASSERT_TRUE(Select({kScript}));
    ASSERT_TRUE(ClickFtpButton(32566)) << Shot("run-button");
    ASSERT_TRUE(hands.WaitGui(
        [&] { return g_pInputWindow && g_pInputWindow->GetText().find("changed here") != std::string::npos; }, 30000))
        << "no output of the command file: " << hands.Gui([] { return g_pInputWindow ? g_pInputWindow->GetText() : ""; })
        << "; " << Shot("run");
    const std::string output = hands.Gui([] { return g_pInputWindow->GetText(); });
    EXPECT_NE(output.find("hello from the host\r\none two\r\nchanged here"), std::string::npos) << output;
    ASSERT_TRUE(hands.WaitGui([&] { return bool(g_bFtpIdle); }, 10000));
    // The run sent the changed local copy up: its local mark is gone.
    EXPECT_TRUE(hands.WaitGui([&] { return Row(kScript).text == kScript; }, 5000))
        << Row(kScript).text << "; " << Shot("run-mark");

    // ---- the WorkPad: Ctrl+F, a macro, Convert
    PressOnWindow("ctrl+f");
    CInteractiveTextConversionDlg* pad = hands.Gui([&] { return &frame->ConversionCommands().WorkPad(); });
    ASSERT_TRUE(hands.WaitGui([&] { return pad->isVisible(); })) << Shot("workpad");
    ASSERT_TRUE(hands.Fill(hands.Child(pad, "1621"), "one"));
    ASSERT_TRUE(hands.Fill(hands.Child(pad, "1656"), "1"));
    ASSERT_TRUE(hands.Fill(hands.Child(pad, "1666"), "one two\nthree one"))
        << hands.Gui([&] { return pad->findChild<CLineTextBox*>("1666")->GetText(); }) << "; "
        << Shot("input");
    hands.Click(hands.Child(pad, "1413"));
    ASSERT_TRUE(hands.WaitGui([&] { return g_pOutputWindow && g_pOutputWindow->GetText() == "1 two\r\nthree 1"; }))
        << "Output: " << hands.Gui([] { return g_pOutputWindow ? g_pOutputWindow->GetText() : ""; }) << "; "
        << Shot("convert");
    hands.Click(hands.Child(pad, "2"));
    ASSERT_TRUE(hands.WaitGui([&] { return !pad->isVisible(); }));

    // ---- Quick diff (2 files) of the notes and the script
    ASSERT_TRUE(Select({kBlank, kScript}));
    ASSERT_TRUE(hands.ContextMenu(hands.RowPoint(frame->FileList(), RowOf(kBlank)),
                                  {"File tools...", "Diff files", "32548"}))
        << Shot("diff-menu");
    CFileDiffDlg* diff = hands.Gui([&] { return &frame->CompareCommands().DiffWindow(1); });
    ASSERT_TRUE(hands.WaitGui([&] { return diff->isVisible() && diff->RowCount() > 0; })) << Shot("diff");
    EXPECT_EQ(hands.Gui([&] { return diff->windowTitle(); }), "2-Way Diff - Files");
    const bool marked = hands.Gui([&] {
        for (int r = 0; r < diff->RowCount(); ++r)
            if (diff->Model(0)->Marker(r) != 0 || diff->Model(1)->Marker(r) != 0) return true;
        return false;
    });
    EXPECT_TRUE(marked) << "the diff window shows no difference; " << Shot("diff-rows");
    // The manager's "Hide all" puts the diff window away, its Close itself.
    QWidget* manager = hands.Gui([&]() -> QWidget* { return &frame->CompareCommands().Manager(); });
    hands.Focus(manager);
    hands.Click(hands.Child(manager, "1566"));
    ASSERT_TRUE(hands.WaitGui([&] { return !diff->isVisible(); })) << Shot("hide-all");
    hands.Click(hands.Child(manager, "1"));
    ASSERT_TRUE(hands.WaitGui([&] { return !manager->isVisible(); })) << Shot("manager-close");

    // ---- two files renamed: the blank goes with Rename files (Alt+R, the
    // clean UNIX names), the script with Rename file
    ASSERT_TRUE(Select({kBlank}));
    PressOnWindow("alt+r");
    QPointer<QWidget> rename = hands.WaitWindow("Rename/Duplicate Selected Files");
    ASSERT_TRUE(rename) << Shot("rename-files");
    auto* schemes = hands.Child<QListWidget>(rename, "1950");
    ASSERT_NE(schemes, nullptr);
    hands.ClickAt(hands.Middle(schemes, hands.Gui([&] { return schemes->visualItemRect(schemes->item(3)); })));
    QWidget* clean = hands.Child(rename, "1411");
    ASSERT_TRUE(hands.WaitGui([&] { return clean->isVisible(); })) << Shot("rename-scheme");
    hands.Click(clean);
    auto* preview = hands.Child<QTreeWidget>(rename, "1727");
    ASSERT_TRUE(hands.WaitGui([&] { return preview->topLevelItemCount() == 1; })) << Shot("rename-preview");
    const std::string renamedBlank = hands.Gui([&] { return preview->topLevelItem(0)->text(0).toStdString(); });
    EXPECT_EQ(renamedBlank, "my_notes.txt");
    hands.Click(hands.Child(rename, "1404"));
    QPointer<QWidget> sure = nullptr;
    ASSERT_TRUE(hands.WaitGui([&] { return (sure = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); }))
        << Shot("rename-question");
    hands.Click(hands.Gui([&] { return qobject_cast<QMessageBox*>(sure.data())->button(QMessageBox::Yes); }));
    ASSERT_TRUE(hands.WaitGone(sure));
    ASSERT_TRUE(hands.WaitGui([&] { return RowOf(renamedBlank) >= 0; })) << Shot("renamed-blank");
    EXPECT_TRUE(std::filesystem::exists(Local(renamedBlank)));
    EXPECT_FALSE(std::filesystem::exists(Local(kBlank)));
    hands.Click(hands.Child(rename, "1"));
    ASSERT_TRUE(hands.WaitGone(rename)) << Shot("rename-close");

    const std::string renamedScript = "hello2.sh";
    ASSERT_TRUE(Select({kScript}));
    ASSERT_TRUE(hands.ContextMenu(hands.RowPoint(frame->FileList(), RowOf(kScript)), {"32532"})) << Shot("rename-menu");
    ASSERT_TRUE(hands.AnswerPrompt("Rename File", renamedScript)) << Shot("rename-prompt");
    ASSERT_TRUE(hands.WaitGui([&] { return RowOf(renamedScript) >= 0; })) << Shot("renamed-script");
    EXPECT_TRUE(std::filesystem::exists(Local(renamedScript)));
    EXPECT_FALSE(std::filesystem::exists(Local(kScript)));
    EXPECT_TRUE(Item(renamedScript).IsBatFile);

    // ---- Ctrl+S, then Exit (Shift+Escape)
    const std::string master = g_strSessionInfoDir + kMasterFileName;
    std::filesystem::remove(master);
    PressOnWindow("ctrl+s");
    ASSERT_TRUE(Hands::Wait([&] { return std::filesystem::exists(master); })) << Shot("save");
    PressOnWindow("shift+Escape");
    ASSERT_TRUE(hands.WaitGui([&] { return !frame->isVisible(); })) << "Exit did not close the window; " << Shot("exit");
    Close();
}

// The second start on the same work area finds what the first left.
void JourneyTest::SecondStart() {
    Start();
    ASSERT_TRUE(started && frame);
    ASSERT_TRUE(PassBanner());
    CProgramData& d = *hands.Gui([&] { return &frame->Data(); });
    // The project and the session are there, the session the current one
    // as it was when the program ended.
    const int p = hands.Gui([&] {
        for (int i = 0; i < d.GetProjectCount(); ++i)
            if (d.GetProjectName(i) == "Web") return i;
        return -1;
    });
    ASSERT_GE(p, 0) << "the project is gone; " << Shot("second-projects");
    ASSERT_EQ(hands.Gui([&] { return d.GetSessionCount(p); }), 1);
    EXPECT_EQ(hands.Gui([&] { return d.GetSessionName(p, 0); }), "Site");
    EXPECT_EQ(hands.Gui([&] { return d.GetCurProject(); }), p);
    EXPECT_EQ(hands.Gui([&] { return d.GetCurSession(); }), 0);
    ASSERT_TRUE(hands.WaitGui([&] { return frame->BasketList()->topLevelItemCount() == 1; })) << Shot("second-baskets");
    EXPECT_EQ(hands.Gui([&] { return frame->BasketList()->topLevelItem(0)->text(0).toStdString(); }), "Pages");
    ASSERT_TRUE(hands.WaitGui([&] { return frame->FileList()->topLevelItemCount() == 3; })) << Shot("second-rows");
    const CFileItem blank = Item("my_notes.txt"), binary = Item(kBinary), script = Item("hello2.sh");
    EXPECT_EQ(blank.IsFTPed, "Yes");
    EXPECT_EQ(blank.RemHost, "127.0.0.1");
    EXPECT_EQ(blank.RemoteDir, work->dir());
    EXPECT_TRUE(binary.IsBinaryFile);
    EXPECT_EQ(binary.IsFTPed, "Yes");
    EXPECT_TRUE(script.IsBatFile);
    EXPECT_EQ(Row(kBinary).image, 14);
    EXPECT_EQ(Row("hello2.sh").image, 12);
    EXPECT_EQ(ReadFile(Local(kBinary)), kBlob);
    // With the line kept when F4 asked.
    EXPECT_EQ(ReadFile(Local("my_notes.txt")), "first line\nchanged on the server\nthird line\na\n");
    // The account and its password are in the vault; no file holds the password as it was typed.
    EXPECT_TRUE(hands.Gui([&] { return d.m_Vault.HasAccount("127.0.0.1", qvltest::kUser); }));
    const std::string password = hands.Gui([&] {
        for (const CCluster& c : d.m_Vault.m_Clusters)
            for (const CHost& h : c.m_Hosts)
                if (h.m_strHost == "127.0.0.1" && h.m_strUser == qvltest::kUser) return h.m_strPassword;
        return std::string();
    });
    EXPECT_EQ(password, qvltest::kPassword);
    for (const std::string& folder : {Area(), std::string(tmp / "settings")})
        for (const std::string& f : FilesHolding(folder, qvltest::kPassword)) ADD_FAILURE() << "the password in " << f;
    struct stat st {};
    ASSERT_EQ(::stat((g_strSessionInfoDir + kMasterFileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    PressOnWindow("shift+Escape");
    EXPECT_TRUE(hands.WaitGui([&] { return !frame->isVisible(); }));
    Close();
}

TEST_F(JourneyTest, FirstDayThenASecondStart) {
    journey::Drive(hands, [&] {
        Journey();
        if (app) Close();
        if (HasFatalFailure()) return;
        SecondStart();
    });
}

// A command file must be marked before "Run bat file" takes it: the mark is
// on the file list's menu beside "Mark as binary", and toggles.
class FileListMenu : public UiTest {};

TEST_F(FileListMenu, MarksACommandFileAndTakesTheMarkOffAgain) {
    MakeSampleArea();
    CMainFrame w;
    w.Timer().stop();
    w.show();
    w.Banner()->Close();
    w.FileList()->topLevelItem(1)->setSelected(true);
    CProgramData& d = w.Data();
    ASSERT_EQ(d.GetSelection(0, 0, 0), std::vector<int>{1});
    for (bool marked : {true, false}) {
        QMenu menu;
        ASSERT_TRUE(w.BuildListContextMenu(w.FileList(), menu));
        QAction* mark = menu.findChild<QAction*>("32559");
        ASSERT_NE(mark, nullptr);
        EXPECT_EQ(mark->text(), "Mark bat file");
        ASSERT_TRUE(mark->isEnabled());
        mark->trigger();
        EXPECT_EQ(d.GetFileItem(0, 0, 0, 1).IsBatFile, marked);
        EXPECT_EQ(w.Presenter().FileRows()[1].image, marked ? 12 : 22);  // sent: command file, else text
        EXPECT_FALSE(d.GetFileItem(0, 0, 0, 0).IsBatFile);
    }
    w.close();
}

// The wide Rename/Duplicate dialog opens whole on the screen, Close button
// included, though its home beside the frame lies near the screen's edge.
TEST_F(FileListMenu, RenameFilesOpensInsideTheScreen) {
    MakeSampleArea();
    CMainFrame w;
    w.Timer().stop();
    w.show();
    w.Banner()->Close();
    w.FileList()->topLevelItem(1)->setSelected(true);
    w.ExecuteCommand(32533);
    QWidget* dlg = w.FileListCommands().RenameDuplicateDialog();
    ASSERT_TRUE(dlg->isVisible());
    const QRect screen = w.screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(dlg->frameGeometry())) << dlg->frameGeometry().x() << "," << dlg->frameGeometry().y()
                                                       << " " << dlg->width() << "x" << dlg->height();
    QWidget* close = dlg->findChild<QWidget*>("1");
    EXPECT_TRUE(screen.contains(QRect(close->mapToGlobal(QPoint(0, 0)), close->size())));
    dlg->hide();
    w.close();
}

TEST(DialogPlacementRules, KeepOnScreenMovesInOnlyAsFarAsNeeded) {
    const PlaceRect screen{0, 0, 1279, 1023};
    auto at = [&](int x, int y, int w, int h) {
        const PlacePoint p = KeepOnScreen({x, y}, w, h, screen);
        return std::pair{p.x, p.y};
    };
    EXPECT_EQ(at(550, 100, 900, 600), std::pair(380, 100));  // past the right edge
    EXPECT_EQ(at(100, 800, 300, 300), std::pair(100, 724));  // past the bottom
    EXPECT_EQ(at(380, 100, 900, 600), std::pair(380, 100));  // fits: stays
    EXPECT_EQ(at(-20, -5, 100, 100), std::pair(0, 0));
    EXPECT_EQ(at(300, 0, 2000, 100), std::pair(0, 0));  // wider than the screen: its left edge shows
}

// The journey runs in a second run of this test program on its own Xvfb.
TEST(JourneyUnderX, WholeProgramUnderX) {
    if (std::getenv("QVL_UNDER_X")) GTEST_SKIP() << "already the run under X";
    std::string why = qvltest::RootServerUnavailable("/usr/sbin/vsftpd");
    if (why.empty()) why = qvltest::RootServerUnavailable("/usr/sbin/in.rexecd");
    if (!why.empty()) GTEST_SKIP() << "vsftpd and in.rexecd: " << why;
    ASSERT_EQ(::access("/usr/bin/xdotool", X_OK), 0) << "xdotool is not installed (run scripts/setup)";
    qvltest::XServer server;
    if (!server.Start(why, "1280x1024x24")) GTEST_SKIP() << why;
    const qvltest::SelfRun run = qvltest::RunSelfUnderX(server.Display(), "JourneyTest.*");
    ASSERT_TRUE(run.started);
    // A server that did not start there is a skip, with the run's reason.
    if (run.Exited0() && run.out.find("[  SKIPPED ] 1 test") != std::string::npos) GTEST_SKIP() << run.out;
    EXPECT_TRUE(run.Exited0()) << run.out;
    EXPECT_NE(run.out.find("[  PASSED  ] 1 test."), std::string::npos) << run.out;
}

}  // namespace
