// The program on a real X server (Xvfb), where the desktop's clipboard and
// the end of a session are real: pasting with nothing on the clipboard, and
// a logout's signal, which must save as a close does.
#include <signal.h>
#include <sys/wait.h>

#include <QToolBar>
#include <filesystem>

#include "JourneyFixture.h"
#include "UiFixture.h"
#include "app/ConversionCommands.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "app/PasteGuard.h"
#include "app/QuorvellianApp.h"
#include "app/StartupBannerDlg.h"
#include "app/TextRichEdit.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "remote/TestServers.h"
#include "support/XServer.h"

namespace {

using journey::Hands;
using qvltest::Xdo;

// ------------------------------------------------------------------ paste

class PasteTest : public UiTest {
protected:
    void SetUp() override {
        if (!std::getenv("QVL_UNDER_X")) GTEST_SKIP() << "runs on Xvfb from PasteUnderX.EveryPasteUnderX";
        UiTest::SetUp();
        set = true;
        MakeSampleArea();
    }
    void TearDown() override {
        if (!set) return;
        if (app) {
            if (frame && frame->isVisible()) frame->close();
            app->ExitInstance();
            app.reset();
        }
        UiTest::TearDown();
    }
    int Rows() {
        return hands.Gui([&] {
            CProgramData& d = frame->Data();
            return d.GetFileItemCount(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
        });
    }

    bool set = false;
    Hands hands;
    std::unique_ptr<CQuorvellianApp> app;
    CMainFrame* frame = nullptr;
};

// A fresh desktop's clipboard holds nothing. Every road to Paste (the keys,
// the Edit menu, the toolbar, a middle click) into every kind of box leaves
// the program running and the boxes as they were; in the file list, Paste
// pastes the items copied there.
TEST_F(PasteTest, NothingOnTheClipboardPastesNothingAndTheFileListPastesItems) {
    app = std::make_unique<CQuorvellianApp>();
    ASSERT_TRUE(app->InitInstance());
    frame = app->MainFrame();
    ASSERT_FALSE(ClipboardHoldsText()) << "the new X server's clipboard is not empty";
    journey::Drive(hands, [&] {
        hands.Focus(frame->Banner());
        hands.Key("Escape");
        hands.WaitGui([&] { return frame->Banner()->IsClosed(); }, 5000);

        // The file list: nothing was cut or copied, nothing comes.
        hands.Focus(frame);
        ASSERT_TRUE(hands.SelectRows(frame->FileList(), {0}));
        hands.Key("ctrl+v shift+Insert");
        EXPECT_EQ(Rows(), 8);

        // The Message Window: the keys, a middle click, the menu, the toolbar.
        QWidget* log = hands.Gui([&] { return (QWidget*)frame->MessageWindow().GetRichEdit(); });
        const std::string before = hands.Gui([&] { return frame->MessageWindow().GetText(); });
        hands.Click(log);
        hands.Key("ctrl+v shift+Insert");
        hands.Click(log, 2);
        EXPECT_TRUE(hands.MenuBar(frame, "Edit", {"Paste"}));
        QWidget* button = hands.Gui([&] { return frame->ToolBar(132)->widgetForAction(frame->Action(32647)); });
        ASSERT_NE(button, nullptr);
        hands.Click(button);
        EXPECT_EQ(hands.Gui([&] { return frame->MessageWindow().GetText(); }), before);

        // A WorkPad box.
        hands.Focus(frame);
        hands.Key("ctrl+F12");
        auto* pad = hands.Gui([&] { return &frame->ConversionCommands().WorkPad(); });
        ASSERT_TRUE(hands.WaitGui([&] { return pad->isVisible(); }));
        auto* find = hands.Child<QPlainTextEdit>(pad, "1621");
        ASSERT_NE(find, nullptr);
        const QString text = hands.Gui([&] { return find->toPlainText(); });
        hands.Focus(pad);
        hands.Click(find);
        hands.Key("ctrl+v shift+Insert");
        hands.Click(find, 2);
        EXPECT_EQ(hands.Gui([&] { return find->toPlainText(); }), text);
        hands.Gui([&] { pad->hide(); });

        // Items copied in the file list are what Ctrl+V pastes there.
        hands.Focus(frame);
        ASSERT_TRUE(hands.SelectRows(frame->FileList(), {0}));
        ASSERT_TRUE(hands.ContextMenu(hands.RowPoint(frame->FileList(), 0), {"Copy"}));
        hands.Focus(frame);
        ASSERT_TRUE(hands.SelectRows(frame->FileList(), {1}));
        hands.Key("ctrl+v");
        EXPECT_TRUE(hands.WaitGui([&] { return Rows() == 9; }, 3000)) << Rows();
    });
}

TEST(PasteUnderX, EveryPasteUnderX) {
    if (std::getenv("QVL_UNDER_X")) GTEST_SKIP() << "already the run under X";
    ASSERT_EQ(::access("/usr/bin/xdotool", X_OK), 0) << "xdotool is not installed (run scripts/setup)";
    qvltest::XServer server;
    std::string why;
    if (!server.Start(why)) GTEST_SKIP() << why;
    const qvltest::SelfRun run = qvltest::RunSelfUnderX(server.Display(), "PasteTest.*");
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.Exited0()) << run.out;
    EXPECT_NE(run.out.find("[  PASSED  ] 1 test."), std::string::npos) << run.out;
}

// ------------------------------------------------------------------ the end of a session

// The built program on a real X server, in a work area of its own.
class EndSignalTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        std::string why;
        if (!x.Start(why)) GTEST_SKIP() << why;
        if (::access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed (run scripts/setup)";
        env = qvltest::ProgramEnvUnderX(x.Display(), tmp.path());
    }
    void TearDown() override {
        program.reset();
        env.clear();
        UiTest::TearDown();
    }
    // Starts the program; the id of its main window, its banner sent away.
    std::string Start() {
        program = std::make_unique<qvltest::Child>(std::vector<std::string>{QVL_BINARY});
        const std::string out = Xdo("search --sync --onlyvisible --name '^Quorvellian$'");
        const std::string id = out.substr(0, out.find('\n'));
        if (id.empty()) return id;
        Xdo("windowfocus --sync " + id);
        Xdo("key Escape");
        return id;
    }
    // Sends the signal; true when the program then ended by itself.
    bool EndsOn(int sig) {
        ::kill(program->Pid(), sig);
        if (!qvltest::WaitFor([&] { return !program->Running(); }, 15000)) return false;
        return WIFEXITED(program->Status());
    }
    std::string Master() const { return g_strSessionInfoDir + kMasterFileName; }

    qvltest::XServer x;
    std::vector<std::unique_ptr<ScopedEnv>> env;
    std::unique_ptr<qvltest::Child> program;
};

// A logout or a shutdown sends SIGTERM: the first start leaves its
// master file, and a session just made is in it.
TEST_F(EndSignalTest, ALogoutSavesLikeAClose) {
    ASSERT_FALSE(std::filesystem::exists(Master()));
    ASSERT_FALSE(Start().empty()) << "the main window did not appear";
    EXPECT_TRUE(EndsOn(SIGTERM));
    ASSERT_TRUE(std::filesystem::exists(Master()));

    const std::string id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    Xdo("windowfocus --sync " + id);
    Xdo("key --clearmodifiers F8");
    const std::string out = Xdo("search --sync --onlyvisible --name '^Session$'");
    const std::string prompt = out.substr(0, out.find('\n'));
    ASSERT_FALSE(prompt.empty()) << "F8 asked for no name";
    Xdo("windowfocus --sync " + prompt);
    Xdo("type --clearmodifiers 'Evening work'");
    Xdo("key --clearmodifiers Return");
    EXPECT_TRUE(qvltest::WaitFor([&] { return Xdo("search --onlyvisible --name '^Session$'").empty(); }, 5000));
    EXPECT_TRUE(EndsOn(SIGTERM));
    EXPECT_NE(ReadFile(Master()).find("Evening work"), std::string::npos) << ReadFile(Master());
}

}  // namespace
