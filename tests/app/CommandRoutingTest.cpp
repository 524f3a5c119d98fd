#include <QAction>
#include <QApplication>
#include <QTest>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/ConversionCommands.h"
#include "app/MainFrame.h"
#include "app/LineTextBox.h"
#include "app/QuorvellianApp.h"
#include "app/TextRichEdit.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "app/MessageWindowBar.h"
#include "app/TextWindows.h"
#include "compare/TextAccess.h"
#include "remote/FtpWorker.h"
#include "UiFixture.h"

#include <QMenu>
#include <QMenuBar>

namespace {

// Commands that stay disabled, each with the part of the program that is not
// there yet or the reason the command has no handler.
const std::map<int, const char*> kDisabled = {
    {32547, "the keyboard table names it, but the window routes no handler to it"},
    {32603, "the keyboard table names it, but the window routes no handler to it"},
    {32633, "the keyboard table names it, but the window routes no handler to it (the Key-Lookup and Token Parameter libraries)"},
    {32634, "the keyboard table names it, but the window routes no handler to it (the Key-Lookup and Token Parameter libraries)"},
    {32637, "the keyboard table names it, but the window routes no handler to it (the Key-Lookup and Token Parameter libraries)"},
    {32638, "the keyboard table names it, but the window routes no handler to it (the Key-Lookup and Token Parameter libraries)"},
};

class CommandRoutingTest : public UiTest {
protected:
    void TearDown() override {
        frame.reset();
        UiTest::TearDown();
    }
    std::unique_ptr<CMainFrame> frame;
};

}  // namespace

TEST_F(CommandRoutingTest, EveryCommandHasAHandlerOrAKnownReasonToBeDisabled) {
    MakeSampleArea();
    frame = std::make_unique<CMainFrame>();
    std::ostringstream unexplained, stale;
    for (int id : frame->CommandIds()) {
        const bool enabled = frame->IsCommandEnabled(id);
        const bool listed = kDisabled.count(id) > 0;
        if (!enabled && !listed)
            unexplained << id << " \"" << frame->Action(id)->text().toStdString() << "\"\n";
        if (enabled && listed) stale << id << "\n";
    }
    EXPECT_EQ(unexplained.str(), "") << "disabled without a reason";
    EXPECT_EQ(stale.str(), "") << "listed as disabled but enabled";
    for (const auto& [id, why] : kDisabled) {
        ASSERT_NE(frame->Action(id), nullptr) << id << ": " << why;
        EXPECT_FALSE(frame->Action(id)->isVisible()) << id << " shows as a dead menu entry";
    }
    // Every entry the menu bar shows carries out its command.
    std::ostringstream dead;
    std::vector<QMenu*> menus;
    for (QAction* a : frame->menuBar()->actions())
        if (a->menu()) menus.push_back(a->menu());
    while (!menus.empty()) {
        QMenu* m = menus.back();
        menus.pop_back();
        for (QAction* a : m->actions()) {
            if (a->menu()) menus.push_back(a->menu());
            else if (!a->isSeparator() && a->isVisible() && !a->isEnabled())
                dead << m->title().toStdString() << " > " << a->text().toStdString() << "\n";
        }
    }
    EXPECT_EQ(dead.str(), "") << "menu entries shown disabled";
}

TEST_F(CommandRoutingTest, CrossInputOutputTextFillsTheMessageWindow) {
    MakeSampleArea();
    frame = std::make_unique<CMainFrame>();
    frame->Timer().stop();
    SetInputWindowText("alpha\r\nshared\r\n");
    SetOutputWindowText("shared\r\nomega\r\n");
    QApplication::processEvents();
    frame->ExecuteCommand(32597);
    QApplication::processEvents();
    const std::string log = frame->MessageWindow().GetText();
    for (const char* text : {"Input Window", "Output Window", "alpha", "omega", "shared",
                             "Cross of texts from Input and Output windows is shown on Message Window."})
        EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages().back(), "Cross of texts from Input and Output windows is shown on Message Window.");
}

TEST_F(CommandRoutingTest, KeysWorkFromTheModelessDialogsToo) {
    MakeSampleArea();
    CQuorvellianApp app;
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* w = app.MainFrame();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    w->Timer().stop();
    w->ExecuteCommand(32642);  // the WorkPad
    QWidget& pad = w->ConversionCommands().WorkPad();
    ASSERT_TRUE(pad.isVisible());
    pad.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&pad));
    const std::string master = g_strSessionBackUpDir + kMasterFileName;
    std::filesystem::remove(master);
    // Ctrl+S typed in the WorkPad's Input box saves the program data.
    QTest::keyClick(g_pInputWindow, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(std::filesystem::exists(master));
    w->close();
    app.ExitInstance();
}
