#include <QAction>
#include <QApplication>
#include <QTest>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>

#include "app/ConversionCommands.h"
#include "app/MainFrame.h"
#include "widgets/LineTextBox.h"
#include "app/QuorvellianApp.h"
#include "widgets/TextRichEdit.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "app/MessageWindowBar.h"
#include "widgets/TextWindows.h"
#include "compare/TextAccess.h"
#include "remote/FtpWorker.h"
#include "UiFixture.h"

#include <QMenu>
#include <QMenuBar>
#include <QClipboard>
#include <QTimer>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QToolBar>
#include <QTreeWidgetItemIterator>
#include <set>

#include "app/ControlPanelBar.h"
#include "app/ListViews.h"
#include "app/MainPresenter.h"
#include "convert_ui/ui/BatchTextConversionDlg.h"
#include "model/CommandTable.h"

#include "app/CompareCommands.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/FileDiffDlg.h"
#include "compare/ui/MasterFileDlg.h"

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

// The commands the main window routes: its menus, toolbars, pop-ups and
// keys, besides the rows of the key table.
const int kRoutedCommands[] = {
    32501, 32502, 32503, 32504, 32505, 32506, 32508, 32509, 32510, 32511, 32512, 32514,
    32515, 32516, 32517, 32518, 32519, 32520, 32521, 32522, 32523, 32524, 32525, 32526,
    32527, 32528, 32529, 32530, 32531, 32532, 32533, 32534, 32535, 32536, 32541, 32542,
    32543, 32544, 32545, 32546, 32548, 32549, 32550, 32551, 32552, 32553, 32554, 32555,
    32556, 32557, 32558, 32559, 32560, 32562, 32563, 32564, 32565, 32566, 32567, 32568,
    32569, 32570, 32574, 32575, 32578, 32579, 32580, 32582, 32583, 32584, 32585, 32586,
    32587, 32588, 32592, 32593, 32594, 32596, 32597, 32598, 32599, 32600, 32601, 32602,
    32604, 32605, 32606, 32607, 32608, 32609, 32610, 32611, 32612, 32613, 32614, 32615,
    32616, 32617, 32618, 32619, 32620, 32621, 32622, 32624, 32625, 32626, 32627, 32628,
    32629, 32630, 32631, 32632, 32636, 32639, 32640, 32641, 32642, 32643, 32644, 32647,
    32649, 32650, 32651, 32652, 32655, 32656, 32657, 32658, 32659, 32661, 32662, 32663,
    32664, 32665, 32666, 32667, 32668, 32669, 32670, 32671, 32672, 32673, 32674, 32675,
    32676, 32677, 32678, 32679, 32680, 32681, 32682, 32683, 32686, 32687,
};

class CommandRoutingTest : public UiTest {
protected:
    void TearDown() override {
        frame.reset();
        UiTest::TearDown();
    }
    // The program started on the sample work area, its window shown, the
    // one-second timer held.
    CMainFrame* StartProgram(CQuorvellianApp& app) {
        MakeSampleArea();
        if (!app.InitInstance()) return nullptr;
        SetPrompter(&prompter);
        CMainFrame* w = app.MainFrame();
        if (!QTest::qWaitForWindowExposed(w, 30000)) return nullptr;
        w->Timer().stop();
        return w;
    }
    std::unique_ptr<CMainFrame> frame;
};

}  // namespace

// Notes the command ids of every pop-up menu that opens (with its sub-menus)
// and closes it.
class PopupWatcher {
public:
    PopupWatcher() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* w = QApplication::activePopupWidget()) {
                if (auto* m = qobject_cast<QMenu*>(w)) {
                    Take(m);
                    names.insert(m->objectName().toStdString());
                }
                w->close();
                ++closed;
            }
        });
        m_timer.start();
    }
    void Take(const QMenu* m) {
        for (QAction* a : m->actions()) {
            if (a->menu()) Take(a->menu());
            bool ok = false;
            const int id = a->objectName().toInt(&ok);
            if (ok && a->isVisible()) ids.insert(id);
        }
    }
    std::set<int> ids;
    std::set<std::string> names;
    int closed = 0;  // pop-ups seen and closed

private:
    QTimer m_timer;
};

// Every command that does something is reachable by the user: a menu of the
// menu bar, a toolbar button, a pop-up menu of one of the windows or a key
// of the program's key table, as the program installs them.
TEST_F(CommandRoutingTest, EveryCommandWithABehaviourIsReachable) {
    CQuorvellianApp app;
    CMainFrame* w = StartProgram(app);
    ASSERT_TRUE(w);

    // Every row of the key table is a command of the window.
    for (const auto& row : g_KeyedCommands) EXPECT_NE(w->Action(row.commandId), nullptr) << row.commandId;
    for (const auto& row : g_UnkeyedCommands) EXPECT_NE(w->Action(row.commandId), nullptr) << row.commandId;
    // So is every command the window routes, with its behaviour.
    for (int id : kRoutedCommands) EXPECT_TRUE(w->IsCommandEnabled(id)) << id;
    std::ostringstream unexplained, stale;
    for (int id : w->CommandIds()) {
        const bool enabled = w->IsCommandEnabled(id);
        const bool listed = kDisabled.count(id) > 0;
        if (!enabled && !listed) unexplained << id << " \"" << w->Action(id)->text().toStdString() << "\"\n";
        if (enabled && listed) stale << id << "\n";
    }
    EXPECT_EQ(unexplained.str(), "") << "disabled without a reason";
    EXPECT_EQ(stale.str(), "") << "listed as disabled but enabled";
    for (const auto& [id, why] : kDisabled) {
        ASSERT_NE(w->Action(id), nullptr) << id << ": " << why;
        EXPECT_FALSE(w->Action(id)->isVisible()) << id << " shows as a dead menu entry";
    }

    PopupWatcher seen;
    std::set<int> keyed;
    std::ostringstream dead;
    // The menu bar; an entry it shows carries out its command.
    for (QAction* a : w->menuBar()->actions()) {
        if (!a->menu()) continue;
        seen.Take(a->menu());
        std::vector<QMenu*> menus{a->menu()};
        while (!menus.empty()) {
            QMenu* m = menus.back();
            menus.pop_back();
            for (QAction* e : m->actions()) {
                if (e->menu()) menus.push_back(e->menu());
                else if (!e->isSeparator() && e->isVisible() && !e->isEnabled())
                    dead << m->title().toStdString() << " > " << e->text().toStdString() << "\n";
            }
        }
    }
    EXPECT_EQ(dead.str(), "") << "menu entries shown disabled";
    // The toolbars.
    for (QToolBar* bar : w->findChildren<QToolBar*>())
        for (QAction* a : bar->actions()) {
            bool ok = false;
            const int id = a->objectName().toInt(&ok);
            if (ok) seen.ids.insert(id);
        }
    // The keys.
    for (int id : w->CommandIds())
        if (!w->ShortcutsOf(id).isEmpty()) keyed.insert(id);

    // The pop-up menus, opened by right clicks.
    // Each waits until the menu it opens has been seen and closed.
    auto rightClick = [&](QWidget* target, const QPoint& at) {
        const int before = seen.closed;
        QTest::mouseClick(target, Qt::RightButton, Qt::NoModifier, at);
        EXPECT_TRUE(QTest::qWaitFor([&] { return seen.closed > before; }, 10000));
    };
    auto menuRequest = [&](QWidget* target, const QPoint& at) {
        const int before = seen.closed;
        emit target->customContextMenuRequested(at);
        EXPECT_TRUE(QTest::qWaitFor([&] { return seen.closed > before; }, 10000));
    };
    w->Data().SetSelection(0, 0, 0, {0, 1});
    w->Presenter().FillFileItemList(0, 0, 0);
    for (QWidget* list : {w->BasketList()->viewport(), w->FileList()->viewport()}) {
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
        const int before = seen.closed;
        QApplication::sendEvent(list, &e);
        EXPECT_TRUE(QTest::qWaitFor([&] { return seen.closed > before; }, 10000));
    }
    menuRequest(w->MessageWindow().GetRichEdit(), QPoint(5, 5));
    w->ExecuteCommand(32642);  // the WorkPad with the Input and Output windows
    rightClick(g_pInputWindow->viewport(), QPoint(5, 5));
    rightClick(g_pOutputWindow->viewport(), QPoint(5, 5));
    // The Control panel trees, every node.
    CControlPanelBar& panel = w->ControlPanel();
    for (int tab : {0, 1}) {
        panel.Tabs()->setCurrentIndex(tab);
        CPanelTree* tree = tab == 0 ? panel.SessionTree() : panel.AccountTree();
        tree->expandAll();
        QApplication::processEvents();
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            menuRequest(tree, tree->visualItemRect(*it).center());
    }
    // The diff panes and the palette.
    w->Data().SetSelection(0, 0, 0, {0, 1});
    w->ExecuteCommand(32548);
    CFileDiffDlg& diff = w->CompareCommands().DiffWindow(1);
    menuRequest(diff.Pane(0), QPoint(5, 5));
    CMasterFileDlg& palette = w->CompareCommands().Palette();
    palette.show();
    menuRequest(palette.List(), QPoint(5, 5));
    // The input list of the batch window.
    CBatchTextConversionDlg* batch = w->ConversionCommands().Batch();
    batch->LoadSelectedFileItems();
    ASSERT_GT(batch->InputList()->topLevelItemCount(), 0);
    batch->InputList()->topLevelItem(0)->setSelected(true);
    menuRequest(batch->InputList(), QPoint(5, 5));
    for (const char* menu : {"128", "130", "155", "153", "156", "151", "152", "129", "158", "159", "160", "161", "162", "163"})
        EXPECT_TRUE(seen.names.count(menu)) << "pop-up menu " << menu << " did not open";

    // The "Intr:" indicator shows the program-wide status text.
    SetFtpStatusText("0:0:1.5");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->findChild<QLineEdit*>("2177")->text() == " 0:0:1.5"; }, 10000));
    EXPECT_EQ(w->findChild<QLineEdit*>("2177")->text(), " 0:0:1.5");
    seen.ids.insert(32570);

    std::ostringstream unreached;
    for (int id : w->CommandIds())
        if (w->IsCommandEnabled(id) && !seen.ids.count(id) && !keyed.count(id))
            unreached << id << " \"" << w->Action(id)->text().toStdString() << "\"\n";
    EXPECT_EQ(unreached.str(), "") << "commands nothing reaches";
    diff.hide();
    palette.hide();
    w->close();
    app.ExitInstance();
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

// Closes every modal dialog that opens and notes its title.
class ModalWatcher {
public:
    ModalWatcher() {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* m = QApplication::activeModalWidget()) {
                titles.push_back(m->windowTitle().toStdString());
                if (auto* d = qobject_cast<QDialog*>(m)) d->reject();
                else m->close();
            }
        });
        m_timer.start();
    }
    std::vector<std::string> Take() {
        auto t = std::move(titles);
        titles.clear();
        return t;
    }
    std::vector<std::string> titles;

private:
    QTimer m_timer;
};

// The program's keys as the program installs them: a window that handles a
// key itself gets it while it has the focus; everywhere else the key runs
// the program's command.
TEST_F(CommandRoutingTest, KeysBelongToTheWindowWithTheFocus) {
    CQuorvellianApp app;
    CMainFrame* w = StartProgram(app);
    ASSERT_TRUE(w);
    ModalWatcher modals;
    const std::vector<std::string> none;

    // Ctrl+S in the WorkPad's Input box saves the program data.
    w->ExecuteCommand(32642);
    QWidget& pad = w->ConversionCommands().WorkPad();
    ASSERT_TRUE(pad.isVisible());
    pad.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&pad, 30000));
    const std::string master = g_strSessionBackUpDir + kMasterFileName;
    std::filesystem::remove(master);
    QTest::keyClick(g_pInputWindow, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(std::filesystem::exists(master));
    pad.hide();

    // Alt+2 in the main window compares the two selected files.
    CFileItem* left = w->Data().GetFileItemPtr(0, 0, 0, 2);
    CFileItem* right = w->Data().GetFileItemPtr(0, 0, 0, 4);
    WriteFile(left->LocalDir + left->FileName, "a\nb\nc\n");
    WriteFile(right->LocalDir + right->FileName, "a\nB\nc\n");
    const std::string upper = right->LocalDir + right->FileName;  // "App.java"
    w->Data().SetSelection(0, 0, 0, {2, 4});
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w, 30000));
    QTest::keyClick(w, Qt::Key_2, Qt::AltModifier);
    CFileDiffDlg& diff = w->CompareCommands().DiffWindow(1);
    ASSERT_TRUE(diff.isVisible());
    modals.Take();

    // The keys of a diff pane.
    diff.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&diff, 30000));
    CDiffListCtrl* pane = diff.Pane(0);
    pane->setFocus();
    diff.ClickPane(0);
    diff.ClickPane(1);
    // A key that opens a dialog is waited for until the dialog has shown.
    auto press = [&](QWidget* target, Qt::Key key, Qt::KeyboardModifiers mods, std::size_t dialogs = 0) {
        prompter.entries.clear();
        QTest::keyClick(target, key, mods);
        // The simulated releases leave the modifiers held for the program:
        // a key that nothing takes lets them go.
        QTest::keyClick(target, Qt::Key_F24);
        QTest::qWaitFor([&] { return modals.titles.size() >= dialogs; }, 10000);
        QApplication::processEvents();
        return modals.Take();
    };
    EXPECT_EQ(press(pane, Qt::Key_Q, Qt::ControlModifier, 1), std::vector<std::string>{"Diff Two Lines"});
    EXPECT_TRUE(prompter.entries.empty());
    EXPECT_EQ(press(pane, Qt::Key_F, Qt::ControlModifier, 1), std::vector<std::string>{"Find Text"});
    EXPECT_FALSE(w->ConversionCommands().WorkPad().isVisible());
    EXPECT_EQ(press(pane, Qt::Key_F2, Qt::NoModifier), none);
    EXPECT_EQ(diff.Selection(0), std::vector<int>{1});
    EXPECT_EQ(press(pane, Qt::Key_F1, Qt::NoModifier), none);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Reached the beginning of the file."});
    EXPECT_EQ(press(pane, Qt::Key_A, Qt::ControlModifier), none);
    EXPECT_EQ(diff.Selection(0).size(), 3u);
    EXPECT_EQ(press(pane, Qt::Key_C, Qt::ControlModifier), none);
    EXPECT_EQ(QApplication::clipboard()->text(), "a\r\nb\r\nc\r\n");
    prompter.texts = {std::string("2")};
    EXPECT_EQ(press(pane, Qt::Key_G, Qt::ControlModifier), none);
    ASSERT_FALSE(prompter.entries.empty());
    EXPECT_EQ(prompter.entries[0].kind, "text");
    EXPECT_EQ(diff.Selection(0), std::vector<int>{1});
    diff.hide();

    // The keys of the master palette, with an item of the main window selected.
    w->Data().SetSelection(0, 0, 0, {4});
    CMasterFileDlg& palette = w->CompareCommands().Palette();
    palette.show();
    palette.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&palette, 30000));
    QWidget* list = palette.List();
    list->setFocus();
    int picked = 0;
    g_pickPaletteFile = [&](const std::string&) {
        ++picked;
        return std::optional<std::string>();
    };
    EXPECT_EQ(press(list, Qt::Key_L, Qt::ControlModifier), none);
    EXPECT_EQ(picked, 1);
    EXPECT_TRUE(std::filesystem::exists(upper)) << "renamed on disk";
    EXPECT_EQ(press(list, Qt::Key_Space, Qt::ControlModifier), none);
    EXPECT_EQ(w->Data().m_DiffResults.m_PaletteLines.size(), 1u);
    EXPECT_EQ(press(list, Qt::Key_S, Qt::ControlModifier), none);
    ASSERT_FALSE(prompter.entries.empty());
    EXPECT_EQ(prompter.entries[0].kind, "text");
    EXPECT_EQ(press(list, Qt::Key_F, Qt::ControlModifier, 1), std::vector<std::string>{"Find Text"});
    EXPECT_EQ(press(list, Qt::Key_E, Qt::ControlModifier, 1), std::vector<std::string>{"Edit Master Palette"});
    EXPECT_EQ(press(list, Qt::Key_F2, Qt::NoModifier), none);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Reached the end of the file."});
    EXPECT_EQ(press(list, Qt::Key_F1, Qt::NoModifier), none);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Reached the beginning of the file."});
    EXPECT_EQ(press(list, Qt::Key_G, Qt::ControlModifier), none);
    ASSERT_FALSE(prompter.entries.empty());
    EXPECT_EQ(prompter.entries[0].kind, "text");
    EXPECT_EQ(press(list, Qt::Key_A, Qt::ControlModifier), none);
    EXPECT_EQ(press(list, Qt::Key_Delete, Qt::NoModifier), none);
    EXPECT_TRUE(w->Data().m_DiffResults.m_PaletteLines.empty());
    g_pickPaletteFile = nullptr;
    palette.hide();

    // Keys a window does not take still run the program's commands there.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w, 30000));
    EXPECT_EQ(press(w, Qt::Key_F1, Qt::NoModifier), none);
    EXPECT_EQ(prompter.entries.size(), 1u);  // the manual's message
    // Shift+F4 "Clear local dirty icons" clears the local mark of the selection.
    Touch(Files() + "/about.txt", "changed\n", 1700000000);
    w->Data().SetSelection(0, 0, 0, {1});
    ASSERT_TRUE(w->Data().GetFileItem(0, 0, 0, 1).IsLocallyChanged());
    press(w, Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_FALSE(w->Data().GetFileItem(0, 0, 0, 1).IsLocallyChanged());
    // Ctrl+Shift+F "Batch Conversion" in work mode 0: Shift picks the batch window.
    g_nWorkMode = 0;
    press(w, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(w->ConversionCommands().Batch()->isVisible());
    EXPECT_FALSE(w->ConversionCommands().WorkPad().isVisible());
    w->ConversionCommands().Batch()->hide();
    w->close();
    app.ExitInstance();
}

// A command that fails on an error (an engine that throws, as a broken
// conversion did) is named and ends itself; the program and the user's
// sessions go on, and the next key still saves them.
TEST_F(CommandRoutingTest, ACommandThatFailsIsNamedAndTheProgramGoesOn) {
    CQuorvellianApp app;
    CMainFrame* w = StartProgram(app);
    ASSERT_TRUE(w);
    w->SetCommandHandler(32631, [] { throw std::out_of_range("basic_string::substr"); });
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w, 30000));
    QTest::keyClick(w, Qt::Key_F10);
    QApplication::processEvents();
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find("stopped on an error: basic_string::substr"), std::string::npos)
        << prompter.Messages()[0];
    EXPECT_NE(w->MessageWindow().GetText().find("basic_string::substr"), std::string::npos);

    const std::string master = g_strSessionBackUpDir + kMasterFileName;
    std::filesystem::remove(master);
    QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(w, Qt::Key_F24);
    EXPECT_TRUE(std::filesystem::exists(master));
    w->close();
    app.ExitInstance();
}
