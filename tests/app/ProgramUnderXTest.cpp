// The program on a real X server (Xvfb), where the desktop's clipboard, the
// window manager's frames and the end of a session are real: pasting with
// nothing on the clipboard, every window inside small screens, and a
// logout's signal, which must save as a close does.
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include <QElapsedTimer>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTextCursor>
#include <QTextDocument>
#include <QTreeWidget>
#include <QScreen>
#include <QSvgRenderer>
#include <QTest>
#include <QToolBar>
#include <filesystem>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "FtpWindowFixture.h"
#include "InProcessUnderXFixture.h"
#include "JourneyFixture.h"
#include "UiFixture.h"
#include "app/ConversionCommands.h"
#include "app/ItemCommands.h"
#include "app/ControlPanelBar.h"
#include "app/CompareCommands.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "app/PasteGuard.h"
#include "app/QuorvellianApp.h"
#include "app/StartupBannerDlg.h"
#include "widgets/TextRichEdit.h"
#include "convert_ui/ui/BatchTextConversionDlg.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/FileDiffDlg.h"
#include "compare/ui/MasterFileDlg.h"
#include "widgets/SharedDialogs.h"
#include "remote/TestServers.h"
#include "remote/TransferChecks.h"
#include "ProgramUnderXFixture.h"
#include "ThrottledFtpServer.h"
#include "support/RunProgram.h"
#include "support/XServer.h"

namespace {

using journey::Hands;
using qvltest::Xdo;

// ------------------------------------------------------------------ paste

class PasteTest : public InProcessUnderXTest {
protected:
    PasteTest() : InProcessUnderXTest("PasteUnderX.EveryPasteUnderX") {}
    void SetUp() override {
        InProcessUnderXTest::SetUp();
        if (set) MakeSampleArea();
    }
    int Rows() {
        return hands.Gui([&] {
            CProgramData& d = frame->Data();
            return d.GetFileItemCount(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
        });
    }
};

// A fresh desktop's clipboard holds nothing. Every road to Paste (the keys,
// the Edit menu, the toolbar, a middle click) into every kind of box leaves
// the program running and the boxes as they were; in the file list, Paste
// pastes the items copied there.
TEST_F(PasteTest, NothingOnTheClipboardPastesNothingAndTheFileListPastesItems) {
    ASSERT_TRUE(Start());
    ASSERT_FALSE(ClipboardHoldsText()) << "the new X server's clipboard is not empty";
    journey::Drive(hands, [&] {
        SendBannerAway();

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

// A text with line breaks that the user pastes into a one-line field, by
// every road (the keys, the field's own menu, a middle click), comes in as
// the one line the field shows: Tabulate's column selection, Write SQL's
// table. A path the "..." chooser returns is taken as it is: Load Session
// imports from a folder whose name holds a line break.
TEST_F(PasteTest, APastedLineBreakIsTheBlankTheFieldShowsAndAChosenPathStaysWhole) {
    const std::string folder = Files() + "/d\nx";
    std::filesystem::create_directories(folder);
    for (const char* f : {"_qvl_master.txt", "Box01-Ses01-Alpha.txt", "Box01-Ses02-Betaold.txt"})
        std::filesystem::copy_file(std::string(QVL_TEST_DATA) + "/model/master/" + f, folder + "/" + f);
    CTextPromptDlg::s_pickerOverride = [&](int) { return QString::fromStdString(folder + "/" + kMasterFileName); };
    ASSERT_TRUE(Start());
    journey::Drive(hands, [&] {
        SendBannerAway();
        const auto paste = [&](QLineEdit* field, const std::string& keys, const QString& text) {
            hands.Gui([&] { QGuiApplication::clipboard()->setText(text); });
            hands.Focus(field);
            hands.Click(field);
            hands.Key("ctrl+a BackSpace " + keys);
        };
        const auto holds = [&](QLineEdit* field, const QString& text) {
            return hands.WaitGui([&] { return field->text() == text; }, 3000);
        };
        for (const auto& [entry, title, box, text, shown] :
             std::vector<std::tuple<QString, QString, QString, QString, QString>>{
                 {"Tabulate Input Text", "Tabulate Text", "1608", "|\n;", "| ;"},
                 {"Write SQL code", "Write SQL", "1606", "db..t\r\nextra", "db..t extra"}}) {
            SCOPED_TRACE(box.toStdString());
            EXPECT_TRUE(hands.MenuBar(frame, "Xtra", {entry}));
            QPointer<QWidget> dlg = hands.WaitWindow(title);
            ASSERT_TRUE(dlg);
            auto* field = hands.Child<QLineEdit>(dlg, box);
            ASSERT_NE(field, nullptr);
            paste(field, "ctrl+v", text);
            EXPECT_TRUE(holds(field, shown)) << hands.Gui([&] { return field->text().toStdString(); });
            paste(field, "shift+Insert", text);
            EXPECT_TRUE(holds(field, shown)) << hands.Gui([&] { return field->text().toStdString(); });
            paste(field, "", text);
            EXPECT_TRUE(hands.ContextMenu(hands.Middle(field), {"&Paste"}));
            EXPECT_TRUE(holds(field, shown)) << hands.Gui([&] { return field->text().toStdString(); });
            hands.Key("ctrl+a BackSpace");
            hands.Gui([&] { QGuiApplication::clipboard()->setText(text, QClipboard::Selection); });
            hands.Click(field, 2);
            EXPECT_TRUE(holds(field, shown)) << hands.Gui([&] { return field->text().toStdString(); });
            hands.Key("Escape");
            EXPECT_TRUE(hands.WaitGone(dlg));
        }

        // Load Session, "...", OK.
        CPanelTree* tree = hands.Gui([&] { return frame->ControlPanel().SessionTree(); });
        ASSERT_TRUE(hands.ContextMenu(hands.TreePoint(tree, "Web site"), {"Load Session"}));
        QPointer<QWidget> prompt = hands.WaitWindow("Select File");
        ASSERT_TRUE(prompt);
        hands.Click(hands.Child(prompt, "1841"));
        EXPECT_TRUE(holds(hands.Child<QLineEdit>(prompt, "1622"), QString::fromStdString(folder + "/" + kMasterFileName)));
        hands.Click(hands.Child(prompt, "1"));
        EXPECT_TRUE(hands.WaitGone(prompt));
        EXPECT_TRUE(hands.WaitGui([&] { return frame->Data().GetSessionName(0, 1) == "Alpha <+>"; }, 5000))
            << hands.Gui([&] { return frame->Data().GetSessionName(0, 1); });
        EXPECT_EQ(hands.Gui([] { return QApplication::activeModalWidget(); }), nullptr) << hands.Gui([] {
            QWidget* m = QApplication::activeModalWidget();
            std::string t;
            if (m) for (QLabel* l : m->findChildren<QLabel*>()) t += l->text().toStdString() + "|";
            return t;
        });
    });
    CTextPromptDlg::s_pickerOverride = nullptr;
}

// Keys in the lists the program gives keys to never leave the highlight on
// rows other than the ones the window works on: a key the basket list or a
// Control panel tree does not take does nothing, and a key that moves the
// highlight of a diff column or of the master palette takes the rows it
// reaches as a click does.
class ListKeysTest : public PasteTest {
protected:
    // After the keys, once the program has had them.
    void Press(const std::string& keys) {
        hands.Key(keys);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        hands.Gui([] { QApplication::processEvents(); });
    }
    // The highlighted basket is the current one, whose files are listed.
    std::string BasketsAgree() {
        return hands.Gui([&] {
            CProgramData& d = frame->Data();
            const int b = d.GetCurBasket();
            const std::vector<int> rows = frame->BasketList()->SelectedRows();
            const int files = frame->FileList()->topLevelItemCount();
            if (rows == std::vector<int>{b} && files == d.GetFileItemCount(0, d.GetCurSession(), b)) return std::string();
            return "basket " + std::to_string(b) + " current, " + std::to_string(rows.size()) + " highlighted (first " +
                   (rows.empty() ? std::string("none") : std::to_string(rows.front())) + "), " +
                   std::to_string(files) + " files listed";
        });
    }
};

TEST_F(ListKeysTest, AKeyNeverHighlightsRowsOtherThanTheOnesTheWindowWorksOn) {
    WriteFile(Files() + "/index.html", "a\nb\nc\nd\n");
    WriteFile(Files() + "/about.txt", "a\nx\nc\nd\n");
    ASSERT_TRUE(Start());
    journey::Drive(hands, [&] {
        SendBannerAway();

        // The basket list: "Pages" (8 files) over "Scripts" (2 files).
        hands.Focus(frame);
        QTreeWidget* baskets = frame->BasketList();
        for (const auto& [row, keys] : std::vector<std::pair<int, std::string>>{
                 {1, "Home"}, {1, "Prior"}, {0, "End"}, {0, "Next"}, {1, "p"}, {0, "space"}}) {
            SCOPED_TRACE(keys);
            ASSERT_TRUE(hands.SelectRows(baskets, {row}));
            ASSERT_TRUE(hands.WaitGui([&] { return frame->Data().GetCurBasket() == row; }, 3000));
            Press(keys);
            EXPECT_EQ(BasketsAgree(), "");
        }
        // Down still takes the next basket and lists its files.
        ASSERT_TRUE(hands.SelectRows(baskets, {0}));
        Press("Down");
        EXPECT_EQ(hands.Gui([&] { return frame->Data().GetCurBasket(); }), 1);
        EXPECT_EQ(BasketsAgree(), "");

        // The session tree: the highlighted session is the one shown.
        CPanelTree* tree = hands.Gui([&] { return frame->ControlPanel().SessionTree(); });
        hands.ClickAt(hands.TreePoint(tree, "Web site"));
        ASSERT_TRUE(hands.WaitGui([&] { return frame->Data().GetCurSession() == 0; }, 3000));
        for (const std::string keys : {"Down", "End", "Home", "Up", "b"}) {
            SCOPED_TRACE(keys);
            Press(keys);
            EXPECT_EQ(hands.Gui([&] {
                          const auto items = tree->selectedItems();
                          return items.size() == 1 ? items.front()->text(0).toStdString() : std::string("?");
                      }),
                      hands.Gui([&] { return frame->Data().GetSessionName(0, frame->Data().GetCurSession()); }));
        }

        // The two-file diff and the master palette.
        hands.Focus(frame);
        ASSERT_TRUE(hands.SelectRows(baskets, {0}));
        ASSERT_TRUE(hands.SelectRows(frame->FileList(), {0, 1}));
        hands.Key("alt+2");
        CFileDiffDlg* diff = hands.Gui([&] { return &frame->CompareCommands().DiffWindow(1); });
        ASSERT_TRUE(hands.WaitGui([&] { return diff->isVisible() && diff->Pane(0)->model()->rowCount() >= 4; }));
        CMasterFileDlg* palette = hands.Gui([&] { return &frame->CompareCommands().Palette(); });
        hands.Gui([&] {
            palette->SetLines({"one", "two", "three", "four"});
            palette->show();
        });
        ASSERT_TRUE(hands.WaitGui([&] { return palette->isVisible(); }));
        const auto rowPoint = [&](QTableView* list, int row) {
            return hands.Gui([&] {
                return list->viewport()->mapToGlobal(list->visualRect(list->model()->index(row, 2)).center());
            });
        };
        const auto highlighted = [&](QTableView* list) {
            return hands.Gui([&] {
                std::vector<int> rows;
                for (const QModelIndex& i : list->selectionModel()->selectedRows()) rows.push_back(i.row());
                std::sort(rows.begin(), rows.end());
                return rows;
            });
        };
        for (const std::string keys : {"Down", "shift+Down", "Next", "Prior"}) {
            SCOPED_TRACE(keys);
            hands.Focus(diff);
            hands.ClickAt(rowPoint(diff->Pane(0), 1));
            Press(keys);
            EXPECT_EQ(hands.Gui([&] { return diff->Selection(0); }), highlighted(diff->Pane(0)));
            hands.Focus(palette);
            hands.ClickAt(rowPoint(palette->List(), 1));
            Press(keys);
            EXPECT_EQ(hands.Gui([&] { return palette->Palette().Selection(); }), highlighted(palette->List()));
        }
        EXPECT_EQ(highlighted(diff->Pane(0)), (std::vector<int>{0}));
        EXPECT_EQ(highlighted(palette->List()), (std::vector<int>{0}));
        hands.Gui([&] {
            diff->hide();
            palette->hide();
        });
    });
}

TEST(PasteUnderX, EveryPasteUnderX) {
    if (std::getenv("QVL_UNDER_X")) GTEST_SKIP() << "already the run under X";
    ASSERT_EQ(::access("/usr/bin/xdotool", X_OK), 0) << "xdotool is not installed (run scripts/setup)";
    qvltest::XServer server;
    std::string why;
    if (!server.Start(why)) GTEST_SKIP() << why;
    const qvltest::SelfRun run = qvltest::RunSelfUnderX(server.Display(), "PasteTest.*:ListKeysTest.*");
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.Exited0()) << run.out;
    EXPECT_NE(run.out.find("[  PASSED  ] 3 tests."), std::string::npos) << run.out;
}

// ------------------------------------------------------------------ windows on the screen

class ScreenTest : public FtpWindowTest {
protected:
    void SetUp() override {
        if (!std::getenv("QVL_UNDER_X")) GTEST_SKIP() << "runs on Xvfb from ScreenUnderX.*";
        FtpWindowTest::SetUp();
        if (IsSkipped()) return;
        MakeFtpArea();
    }
    // The program as main() starts it, its banner closed; null when it did not come up.
    CMainFrame* StartProgram() {
        g_modalWatchdogPaused = true;
        app = std::make_unique<CQuorvellianApp>();
        if (!app->InitInstance()) return nullptr;
        CMainFrame* w = app->MainFrame();
        if (!QTest::qWaitForWindowExposed(w, 30000)) return nullptr;
        w->Banner()->Close();
        return w;
    }
    // Ends it as its Exit would.
    void EndProgram() {
        app->MainFrame()->close();
        app->ExitInstance();
        app.reset();
        g_modalWatchdogPaused = false;
    }
    std::unique_ptr<CQuorvellianApp> app;
};

// Every window the menus open, with the frame the window manager gives it,
// lies inside the screen's free area.
TEST_F(ScreenTest, EveryWindowOpensInsideTheScreen) {
    CMainFrame* w = StartProgram();
    ASSERT_NE(w, nullptr);
    CProgramData& d = w->Data();
    d.SetSelection(0, 0, 0, {0, 1, 2});
    for (int r = 0; r < 3; ++r) w->FileList()->topLevelItem(r)->setSelected(true);

    const QRect screen = w->screen()->availableGeometry();
    std::map<std::string, std::string> outside;  // title: where it was
    std::set<std::string> seen;
    const char* shots = std::getenv("QVL_SHOTS");
    int shot = 0;
    const auto look = [&](QWidget* win) {
        const QRect f = win->frameGeometry();
        const std::string title = win->windowTitle().toStdString();
        seen.insert(title);
        if (!screen.contains(f))
            outside[title] = std::to_string(f.x()) + "," + std::to_string(f.y()) + " " + std::to_string(f.width()) +
                             "x" + std::to_string(f.height());
        if (shots)
            qvltest::RunShell("/usr/bin/import -window root '" + std::string(shots) + "/" + std::to_string(++shot) +
                              ".png'");
    };
    // A modal window is looked at once its frame is there, then closed.
    QWidget* modal = nullptr;
    int age = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* m = QApplication::activeModalWidget();
        if (m != modal) {
            modal = m;
            age = 0;
            return;
        }
        if (!m || ++age < 3) return;
        look(m);
        if (auto* dlg = qobject_cast<QDialog*>(m))
            dlg->reject();
        else
            m->close();
        modal = nullptr;
    });

    // The question of a send over forty files of a site's folder changed on
    // both sides, forty more not checked, in the program's own box: framed,
    // the box and its buttons lie inside the screen (the list scrolls in it,
    // by Page Down too, where the screen is too low), and the names take no
    // more rows than the screen's width makes them.
    {
        const std::string folder = "www/shop.example.org/public_html/catalogue/";
        std::vector<CFileItem> changed;
        std::vector<std::pair<CFileItem, std::string>> unchecked;
        for (int i = 1; i <= 80; ++i) {
            CFileItem it("product-" + std::to_string(1000 + i) + "-gallery.html");
            it.LocalDir = g_strDriveRoot + folder;
            it.RemoteDir = "/home/shop/" + folder;
            it.RemHost = "shop.example.org";
            it.RemUser = "shop";
            it.IsRemoteModified = "Yes";
            if (i <= 40)
                changed.push_back(it);
            else
                unchecked.emplace_back(it, "the server did not answer");
        }
        QTimer hand;
        int age = 0;
        std::string where = "no box";
        int lines = 0, rows = 0;
        bool scrolls = false, paged = false;
        QObject::connect(&hand, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box->frameGeometry() == box->geometry() || ++age < 4) return;
            hand.stop();
            const auto at = [](const QRect& r) {
                return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
                       std::to_string(r.height());
            };
            where.clear();
            if (!screen.contains(box->frameGeometry())) where += " box " + at(box->frameGeometry());
            for (QAbstractButton* b : box->buttons()) {
                const QRect r(b->mapToGlobal(QPoint(0, 0)), b->size());
                if (!screen.contains(r)) where += " " + b->text().toStdString() + " " + at(r);
            }
            if (auto* area = box->findChild<QScrollArea*>()) {
                scrolls = area->verticalScrollBar()->maximum() > 0;
                lines = int(box->text().count('\n')) + 1;
                rows = area->widget()->height() / area->widget()->fontMetrics().lineSpacing();
                QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_PageDown);
                paged = area->verticalScrollBar()->value() > 0;
            }
            if (shots) qvltest::RunShell("/usr/bin/import -window root '" + std::string(shots) + "/question.png'");
            box->button(QMessageBox::No)->click();
        });
        hand.start(250);
        EXPECT_EQ(Prompter().AskDefaultNo(BothChangedQuestion(changed, true, false, unchecked), MsgIcon::Question),
                  Answer::No);
        hand.stop();
        EXPECT_TRUE(where.empty()) << "past the screen " << screen.width() << "x" << screen.height() << ":" << where;
        EXPECT_LT(rows, 2 * lines) << rows << " rows for " << lines << " lines";
        // Page Down scrolls the list, where it scrolls.
        EXPECT_EQ(paged, scrolls);
    }

    closer.start(250);
    look(w);
    for (int id : {32501, 32579, 32583, 32632, 32630, 32642, 32629, 32511, 32549, 32548, 32546,
                   32554, 32523, 32518, 32522, 32533, 32535, 32556, 32563, 32623, 32652, 32621, 32503,
                   32550}) {
        QAction* action = w->Action(id);
        if (!action || !action->isEnabled()) {
            ADD_FAILURE() << "no command " << id;
            continue;
        }
        QTimer::singleShot(0, action, &QAction::trigger);
        QTest::qWait(700);
        for (int i = 0; i < 50 && QApplication::activeModalWidget(); ++i) QTest::qWait(100);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top == w || !top->isVisible() || top->windowType() == Qt::Popup || top->windowType() == Qt::ToolTip)
                continue;
            look(top);
            top->hide();
        }
    }
    closer.stop();
    look(w);
    std::string where;
    for (const auto& [title, at] : outside) where += "\n  \"" + title + "\" at " + at;
    EXPECT_TRUE(outside.empty()) << "past the screen " << screen.width() << "x" << screen.height() << ":" << where;
    EXPECT_GE(seen.size(), 20u);
    EndProgram();
}

// The Status box of a file item, framed by the window manager, sits beside
// the row it tells about and shows every line, a long folder wrapped in a
// box no wider than the maximum width.
TEST_F(ScreenTest, TheStatusBoxShowsEveryLineBesideItsRow) {
    CMainFrame* w = StartProgram();
    ASSERT_NE(w, nullptr);
    std::string folder = "/home/";
    while (folder.size() < 249) folder += "projects-of-the-year/";
    folder.resize(249);
    folder += "/";
    w->Data().GetBasketItemPtrs(0, 0, 0)[1]->LocalDir = folder;
    w->Data().SetSelection(0, 0, 0, {1});
    QTreeWidget* list = w->FileList();
    list->topLevelItem(1)->setSelected(true);
    QMenu popup;
    ASSERT_TRUE(w->BuildListContextMenu(list, popup));
    QAction* status = SubmenuAction(popup, "Work on file-list...", "Status");
    ASSERT_NE(status, nullptr);
    status->trigger();
    QDialog* box = w->ItemCommands().StatusDialog();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box, 30000));
    // The frame comes from the window manager.
    QTest::qWaitFor([&] { return box->frameGeometry() != box->geometry(); }, 10000);
    const QRect r = list->visualItemRect(list->topLevelItem(1));
    const QRect row(list->viewport()->mapToGlobal(r.topLeft()), r.size());
    EXPECT_FALSE(box->frameGeometry().intersects(row))
        << "box " << box->frameGeometry().x() << "," << box->frameGeometry().y() << " "
        << box->frameGeometry().width() << "x" << box->frameGeometry().height() << ", row " << row.x() << ","
        << row.y() << " " << row.width() << "x" << row.height();
    EXPECT_TRUE(box->screen()->availableGeometry().contains(box->frameGeometry()))
        << "box " << box->frameGeometry().x() << "," << box->frameGeometry().y() << " "
        << box->frameGeometry().width() << "x" << box->frameGeometry().height();
    auto* text = box->findChild<QPlainTextEdit*>("1661");
    ASSERT_NE(text, nullptr);
    EXPECT_NE(text->toPlainText().toStdString().find(folder), std::string::npos);
    EXPECT_LE(text->width(), 805);
    EXPECT_EQ(text->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(text->horizontalScrollBar()->maximum(), 0);
    QTextCursor end(text->document());
    end.movePosition(QTextCursor::End);
    EXPECT_TRUE(text->viewport()->rect().contains(text->cursorRect(end)));
    if (const char* shots = std::getenv("QVL_SHOTS"))
        qvltest::RunShell("/usr/bin/import -window root '" + std::string(shots) + "/status.png'");
    box->close();
    EndProgram();
}

// The windows stacked from the bottom up, as the window manager keeps them.
std::vector<unsigned long> StackingOrder(const std::string& display) {
    const std::string out =
        qvltest::RunShell("/usr/bin/timeout 5 /usr/bin/xprop -display " + display + " -root _NET_CLIENT_LIST_STACKING");
    std::vector<unsigned long> ids;
    for (size_t at = out.find("0x"); at != std::string::npos; at = out.find("0x", at + 2))
        ids.push_back(std::stoul(out.substr(at), nullptr, 16));
    return ids;
}
bool Above(const std::string& display, const QWidget* upper, const QWidget* lower) {
    const std::vector<unsigned long> ids = StackingOrder(display);
    const auto up = std::find(ids.begin(), ids.end(), static_cast<unsigned long>(upper->winId()));
    const auto down = std::find(ids.begin(), ids.end(), static_cast<unsigned long>(lower->winId()));
    return up != ids.end() && down != ids.end() && up > down;
}
std::string Where(const QWidget* w) {
    const QRect f = w->frameGeometry();
    return std::to_string(f.x()) + "," + std::to_string(f.y()) + " " + std::to_string(f.width()) + "x" +
           std::to_string(f.height());
}

// A window the user asks for opens in front of the others and inside the
// screen: the WorkPad beside the main window wherever that stands, the Find
// and Replace Preview over the batch window it belongs to.
TEST_F(ScreenTest, AWindowTheUserAsksForOpensInFrontBesideTheMainWindow) {
    CMainFrame* w = StartProgram();
    ASSERT_NE(w, nullptr);
    const std::string display = std::getenv("DISPLAY");
    const QRect screen = w->screen()->availableGeometry();
    const char* shots = std::getenv("QVL_SHOTS");
    const auto shoot = [&](const char* name) {
        if (shots) qvltest::RunShell("/usr/bin/import -window root '" + std::string(shots) + "/" + name + ".png'");
    };
    // Clicks of the user's own, which the window manager sees.
    const auto click = [&](QWidget* target, const QPoint& local) {
        const QPoint at = target->mapToGlobal(local);
        qvltest::Xdo("mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click 1");
        QTest::qWait(300);
    };

    // The preview of an instance the user clicks.
    UseOneMacroLibrary(w->Data().m_LibraryList, "Lines", "line", "row");
    w->ConversionCommands().FillLibraryLists();
    w->Data().SetSelection(0, 0, 0, {0});
    w->FileList()->topLevelItem(0)->setSelected(true);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w, 10000));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    CBatchTextConversionDlg* batch = w->ConversionCommands().Batch();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(batch, 30000));
    const auto press = [&](const char* id) { batch->findChild<QAbstractButton*>(id)->click(); };
    press("1737");  // the selected file
    press("1796");  // build the instances
    ASSERT_TRUE(QTest::qWaitFor([&] { return !batch->Runner().IsRunning(); }, 30000));
    QTreeWidget* inputs = batch->InputList();
    ASSERT_EQ(inputs->topLevelItemCount(), 1);
    click(inputs->viewport(), inputs->visualItemRect(inputs->topLevelItem(0)).center());
    QTableView* instances = batch->InstanceList();
    ASSERT_EQ(instances->model()->rowCount(), 2);
    const auto clickInstance = [&](int r) {
        click(instances->viewport(), instances->visualRect(instances->model()->index(r, 0)).center());
    };
    QWidget& preview = batch->Preview();
    clickInstance(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview.isVisible(); }, 10000));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview, 30000));
    QTest::qWaitFor([&] { return preview.frameGeometry() != preview.geometry(); }, 10000);
    QTest::qWait(300);
    shoot("preview");
    EXPECT_TRUE(Above(display, &preview, batch)) << Where(&preview) << " batch " << Where(batch);
    EXPECT_TRUE(screen.contains(preview.frameGeometry())) << Where(&preview);
    // A click in the batch window brings that to the front; the next
    // instance asked for brings its preview back over it.
    click(inputs->viewport(), inputs->visualItemRect(inputs->topLevelItem(0)).center());
    clickInstance(1);
    QTest::qWait(300);
    shoot("preview-again");
    EXPECT_TRUE(Above(display, &preview, batch)) << Where(&preview) << " batch " << Where(batch);
    preview.hide();
    batch->hide();

    w->move(200, 50);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->frameGeometry().topLeft() == QPoint(200, 50); }, 10000))
        << Where(w);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w, 10000));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F12, Qt::ControlModifier);
    QWidget& pad = w->ConversionCommands().WorkPad();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pad, 30000));
    QTest::qWaitFor([&] { return pad.frameGeometry() != pad.geometry(); }, 10000);
    QTest::qWait(300);
    shoot("workpad");
    // Where it stands beside a main window in the corner (over the last
    // 100 pixels of the file list), or as near to that as the screen lets.
    const QRect f = pad.frameGeometry();
    EXPECT_TRUE(f.left() == w->frameGeometry().left() + 450 || f.right() == screen.right())
        << Where(&pad) << " main " << Where(w);
    EXPECT_EQ(f.top(), w->frameGeometry().top()) << Where(&pad) << " main " << Where(w);
    EXPECT_TRUE(screen.contains(pad.frameGeometry())) << Where(&pad);
    EXPECT_TRUE(Above(display, &pad, w)) << Where(&pad);
    pad.hide();

    EndProgram();
}

// The windows on two small screens, framed by a window manager (openbox).
TEST(ScreenUnderX, EveryWindowInsideSmallScreens) {
    if (std::getenv("QVL_UNDER_X")) GTEST_SKIP() << "already the run under X";
    if (::access("/usr/bin/openbox", X_OK) != 0) GTEST_SKIP() << "openbox is not installed (run scripts/setup)";
    for (const char* size : {"1366x768x24", "1280x800x24"}) {
        qvltest::XServer server;
        std::string why;
        if (!server.Start(why, size)) GTEST_SKIP() << why;
        // openbox now and then never takes a busy display over: it is started
        // once more before the test gives up.
        qvltest::Child wm;
        bool framed = false, ran = false;
        for (int attempt = 0; attempt < 2 && !framed; ++attempt) {
            wm.Stop();
            {
                ScopedEnv display("DISPLAY", server.Display().c_str());
                wm.Start({"/usr/bin/openbox"});
            }
            framed = qvltest::WaitForWindowManager(server.Display());
            ran = wm.Running();
        }
        ASSERT_TRUE(framed) << "openbox did not start on " << size << (ran ? " (it runs)" : " (it ended)");
        const qvltest::SelfRun run = qvltest::RunSelfUnderX(server.Display(), "ScreenTest.*");
        ASSERT_TRUE(run.started);
        if (run.Exited0() && run.out.find("[  SKIPPED ] 1 test") != std::string::npos) GTEST_SKIP() << run.out;
        EXPECT_TRUE(run.Exited0()) << size << "\n" << run.out;
        EXPECT_NE(run.out.find("[  PASSED  ] 3 tests."), std::string::npos) << run.out;
    }
}

// ------------------------------------------------------------------ the built program

// The built program on a real X server, in a work area of its own.
class BuiltProgramTest : public ProgramUnderXTest {
protected:
    // Starts the program; the id of its main window, its banner sent away.
    std::string Start(const std::string& exe = QVL_BINARY) {
        program = std::make_unique<qvltest::Child>(std::vector<std::string>{exe});
        const std::string out = Xdo("search --sync --onlyvisible --name '^Quorvellian$'");
        const std::string id = out.substr(0, out.find('\n'));
        if (id.empty()) return id;
        Xdo("windowfocus --sync " + id);
        Xdo("key Escape");
        return id;
    }
    // Sends the signals one right after the other; true when the program
    // then ended by itself.
    bool EndsOn(int sig, int then = 0) {
        ::kill(program->Pid(), sig);
        if (then) ::kill(program->Pid(), then);
        return EndsByItself();
    }
    bool EndsByItself(int ms = 15000) {
        if (!qvltest::WaitFor([&] { return !program->Running(); }, ms)) return false;
        return WIFEXITED(program->Status());
    }
    // The first visible window of the process with that title, once it shows.
    static std::string WindowOf(int pid, const std::string& title) {
        const std::string out =
            Xdo("search --sync --all --onlyvisible --pid " + std::to_string(pid) + " --name '^" + title + "$'");
        return out.substr(0, out.find('\n'));
    }
    // The visible windows of the process with that title, as they are now.
    static std::vector<std::string> WindowsOf(int pid, const std::string& title) {
        std::vector<std::string> ids;
        const std::string out =
            Xdo("search --all --onlyvisible --pid " + std::to_string(pid) + " --name '^" + title + "$'");
        for (size_t at = 0; at < out.size();) {
            const size_t end = out.find('\n', at);
            const std::string id = out.substr(at, end - at);
            if (!id.empty()) ids.push_back(id);
            at = end == std::string::npos ? out.size() : end + 1;
        }
        return ids;
    }
    // A window of the process with that title other than `other`, once one
    // shows; empty when none came within ten seconds.
    static std::string OtherWindowOf(int pid, const std::string& title, const std::string& other) {
        std::string found;
        qvltest::WaitFor([&] {
            for (const std::string& id : WindowsOf(pid, title))
                if (id != other) found = id;
            return !found.empty();
        }, 10000);
        return found;
    }
    // The size of a window on the screen (width, height).
    static std::pair<int, int> SizeOf(const std::string& id) {
        const std::string out = Xdo("getwindowgeometry " + id);
        int w = 0, h = 0;
        const size_t at = out.find("Geometry: ");
        if (at != std::string::npos) std::sscanf(out.c_str() + at, "Geometry: %dx%d", &w, &h);
        return {w, h};
    }
    // F8 and a name: a new session.
    void AddSession(const std::string& id, const std::string& name) {
        Xdo("windowfocus --sync " + id);
        Xdo("key --clearmodifiers F8");
        const std::string out = Xdo("search --sync --onlyvisible --name '^Session$'");
        const std::string prompt = out.substr(0, out.find('\n'));
        ASSERT_FALSE(prompt.empty()) << "F8 asked for no name";
        Xdo("windowfocus --sync " + prompt);
        Xdo("type --clearmodifiers '" + name + "'");
        Xdo("key --clearmodifiers Return");
        EXPECT_TRUE(qvltest::WaitFor([&] { return Xdo("search --onlyvisible --name '^Session$'").empty(); }, 5000));
    }
    std::string Master() const { return g_strSessionInfoDir + kMasterFileName; }
};

// A logout or a shutdown sends SIGTERM, and a desktop's logout may send
// SIGHUP with it: either pair saves like one close. The first start leaves
// its master file, and a session just made is in it.
TEST_F(BuiltProgramTest, ALogoutSavesLikeAClose) {
    ASSERT_FALSE(std::filesystem::exists(Master()));
    ASSERT_FALSE(Start().empty()) << "the main window did not appear";
    EXPECT_TRUE(EndsOn(SIGTERM, SIGHUP));
    ASSERT_TRUE(std::filesystem::exists(Master()));

    std::string id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    AddSession(id, "Evening work");
    EXPECT_TRUE(EndsOn(SIGHUP, SIGTERM));
    EXPECT_NE(ReadFile(Master()).find("Evening work"), std::string::npos) << ReadFile(Master());

    id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    AddSession(id, "Night work");
    EXPECT_TRUE(EndsOn(SIGTERM));
    EXPECT_NE(ReadFile(Master()).find("Night work"), std::string::npos) << ReadFile(Master());
}

// Sessions named (F8, typed as a user types) with the texts that end and
// begin a session's record in the master data file, or with a name longer
// than a file system takes for a file's name, come back at the next start
// with the session after them and their work files, and that start finds
// the files whole.
TEST_F(BuiltProgramTest, SessionsNamedLikeMarkersComeBackAfterARestart) {
    std::string id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    const std::string longName = "Long " + std::string(295, 'n');
    AddSession(id, "End of Session ID: oops");
    AddSession(id, "Session ID: 9");
    AddSession(id, "After them");
    AddSession(id, longName);  // the current session at the close
    EXPECT_TRUE(EndsOn(SIGTERM));
    // The second start reads what the first wrote; its close writes back what it read.
    id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    EXPECT_TRUE(EndsOn(SIGTERM));
    CProgramData data;
    data.LoadMasterFile();
    std::vector<std::string> names;
    for (int p = 0; p < data.GetProjectCount(); ++p)
        for (int s = 0; s < data.GetSessionCount(p); ++s) {
            names.push_back(data.GetSessionName(p, s));
            std::error_code ec;
            EXPECT_TRUE(std::filesystem::is_regular_file(g_strSessionInfoDir + data.GetBoxFileName(p, s), ec))
                << data.GetSessionName(p, s) << ": " << ec.message();
        }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"After them", "End of Session ID: oops", longName, "My Session",
                                               "Session ID: 9"}))
        << ReadFile(Master());
    for (const auto& e : std::filesystem::directory_iterator(g_strSessionInfoDir))
        EXPECT_EQ(e.path().string().find(".bak"), std::string::npos) << e.path();
}

// A signal that comes while a start-up warning waits for its OK (here the
// library file is a folder) does not wait for the OK: the start goes on, and
// once the window exists the program saves and ends.
TEST_F(BuiltProgramTest, ASignalDuringAStartUpWarningEndsOnceTheWindowExists) {
    std::filesystem::create_directories(g_strLibraryInfoDir + kLibraryFileName);
    ASSERT_FALSE(std::filesystem::exists(Master()));
    program = std::make_unique<qvltest::Child>(std::vector<std::string>{QVL_BINARY});
    ASSERT_FALSE(WindowOf(program->Pid(), "Quorvellian").empty()) << "no start-up warning";
    ::kill(program->Pid(), SIGTERM);
    EXPECT_TRUE(EndsByItself()) << "the signal was lost";
    EXPECT_TRUE(std::filesystem::exists(Master()));
}

// A second window on a work area that a running window holds says so and
// opens nothing; the holder's sessions stay its own, and the command-line
// job still runs. A window killed with kill -9 leaves the work area free.
TEST_F(BuiltProgramTest, ASecondWindowOnOneWorkAreaOpensNothing) {
    const std::string id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    qvltest::Child second({QVL_BINARY});
    const std::string message = WindowOf(second.Pid(), "Quorvellian");
    ASSERT_FALSE(message.empty()) << "the second window said nothing";
    Xdo("windowfocus --sync " + message);
    Xdo("key --clearmodifiers Return");
    ASSERT_TRUE(qvltest::WaitFor([&] { return !second.Running(); }, 10000));
    EXPECT_TRUE(WIFEXITED(second.Status()) && WEXITSTATUS(second.Status()) != 0);

    // The command-line job works beside the window on the same work area.
    std::string block = ReadFile(std::string(QVL_TEST_DATA) + "/convert/sample_library_block.txt");
    block.replace(block.find("x\n---x---\n"), 10, "cat\ndog\n");
    const std::string lib = tmp / "lib.txt", in = tmp / "in.txt", out = tmp / "out.txt";
    WriteFile(lib, "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n" + block);
    WriteFile(in, "a cat\n");
    const JobRun job = RunJob({"-input=" + in + ",", "-output=" + out + ",", "-libfile=" + lib + ",", "-default=y"},
                              Area(), tmp / "stderr.txt", tmp.path());
    EXPECT_EQ(job.exitCode, 0) << job.err << job.log;
    EXPECT_NE(ReadFile(out).find("a dog"), std::string::npos) << ReadFile(out);

    AddSession(id, "First window work");
    EXPECT_TRUE(EndsOn(SIGTERM));
    EXPECT_NE(ReadFile(Master()).find("First window work"), std::string::npos);

    const std::string again = Start();
    ASSERT_FALSE(again.empty()) << "the main window did not appear";
    ::kill(program->Pid(), SIGKILL);
    ASSERT_TRUE(qvltest::WaitFor([&] { return !program->Running(); }, 10000));
    ASSERT_FALSE(Start().empty()) << "the work area stayed held after kill -9";
    EXPECT_TRUE(EndsOn(SIGTERM));
    EXPECT_NE(ReadFile(Master()).find("First window work"), std::string::npos);
}

// Whatever stands at the name of the old lock file (a folder, a link to a
// file elsewhere, a link to nothing), a second window on the work area is
// refused with the message that says why.
TEST_F(BuiltProgramTest, ASecondWindowIsRefusedWhateverStandsInTheUserFolder) {
    const std::string lock = g_strUserInfoDir + "_qvl_window.lock";
    const std::string elsewhere = tmp / "elsewhere.txt";
    WriteFile(elsewhere, "someone else's file\n");
    const std::vector<std::pair<std::string, std::function<void()>>> ways = {
        {"a folder", [&] { std::filesystem::create_directory(lock); }},
        {"a link to a file", [&] { std::filesystem::create_symlink(elsewhere, lock); }},
        {"a dangling link", [&] { std::filesystem::create_symlink(tmp / "gone", lock); }},
    };
    for (const auto& [what, make] : ways) {
        SCOPED_TRACE(what);
        std::filesystem::remove(lock);
        make();
        ASSERT_FALSE(Start().empty()) << "the main window did not appear";
        qvltest::Child second({QVL_BINARY});
        const std::string message = WindowOf(second.Pid(), "Quorvellian");
        ASSERT_FALSE(message.empty()) << "the second window showed nothing";
        Xdo("windowfocus --sync " + message + " key --clearmodifiers Return");
        EXPECT_TRUE(qvltest::WaitFor([&] { return !second.Running(); }, 10000)) << "the second window opened";
        EXPECT_TRUE(WIFEXITED(second.Status()) && WEXITSTATUS(second.Status()) != 0);
        EXPECT_TRUE(EndsOn(SIGTERM));
        EXPECT_EQ(ReadFile(elsewhere), "someone else's file\n");
    }
}

// A work area under a root nobody may write (the program runs without
// root's right to write anywhere): one message names every folder that could
// not be made and why, and a signal while it is up ends the program without
// an answer. Once it has opened, the window still holds the work area.
TEST_F(BuiltProgramTest, AWorkAreaNobodyMayWriteSaysSoOnceAndASignalEndsIt) {
    const std::string root = tmp / "locked";
    std::filesystem::create_directories(root);
    ASSERT_EQ(::chmod(root.c_str(), 0500), 0);
    ScopedEnv area("QVL_ROOT", root.c_str());
    const std::vector<std::string> asUser = {"/usr/bin/setpriv", "--bounding-set", "-dac_override,-dac_read_search",
                                             "--", QVL_BINARY};
    if (::geteuid() == 0 && qvltest::RunShell("/usr/bin/setpriv --bounding-set -dac_override -- /bin/true") != "")
        GTEST_SKIP() << "setpriv cannot drop root's right to write anywhere here";
    program = std::make_unique<qvltest::Child>(asUser);
    std::string box = WindowOf(program->Pid(), "Quorvellian");
    ASSERT_FALSE(box.empty()) << "no message";
    // Wide and tall enough for a line for each folder (a box cut to a few
    // characters is some 120 by 90).
    const auto [w, h] = SizeOf(box);
    EXPECT_GT(w, 400);
    EXPECT_GT(h, 200);
    ::kill(program->Pid(), SIGTERM);
    EXPECT_TRUE(EndsByItself()) << "the program waited for its boxes to be answered";

    // A second window on the same work area is refused all the same.
    program = std::make_unique<qvltest::Child>(asUser);
    box = WindowOf(program->Pid(), "Quorvellian");
    ASSERT_FALSE(box.empty());
    Xdo("windowfocus --sync " + box + " key --clearmodifiers Return");
    const std::string id = OtherWindowOf(program->Pid(), "Quorvellian", box);
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    qvltest::Child second(asUser);
    box = WindowOf(second.Pid(), "Quorvellian");
    ASSERT_FALSE(box.empty());
    Xdo("windowfocus --sync " + box + " key --clearmodifiers Return");
    const std::string refusal = OtherWindowOf(second.Pid(), "Quorvellian", box);
    ASSERT_FALSE(refusal.empty()) << "the second window said nothing more";
    Xdo("windowfocus --sync " + refusal + " key --clearmodifiers Return");
    EXPECT_TRUE(qvltest::WaitFor([&] { return !second.Running(); }, 10000)) << "the second window opened";
    EXPECT_TRUE(EndsOn(SIGTERM));
    ::chmod(root.c_str(), 0700);
}

// A session whose work file a folder has taken the place of, while the window
// ran, is saved beside it under a new name at the close, which the master file
// then names; a close by the keys says where in a box, a logout's signal
// does not wait for one.
TEST_F(BuiltProgramTest, ASessionWhoseWorkFileCannotBeWrittenIsSavedBesideIt) {
    MakeSampleArea();
    const auto boxFile = [&] {
        CProgramData d;
        d.LoadMasterFileFrom(Master());
        return d.GetSessionPtr(0, 0)->BoxFileName;
    };
    const auto items = [&] {
        CProgramData d;
        d.LoadMasterFileFrom(Master());
        if (!d.GetSessionPtr(0, 0)->IsLoaded) d.LoadSessionFile(0, 0);
        return d.GetFileItemCount(0, 0, 0) + d.GetFileItemCount(0, 0, 1);
    };
    const auto toFolder = [](const std::string& path) {
        std::filesystem::remove(path);
        std::filesystem::create_directory(path);
    };
    const std::string first = boxFile();
    ASSERT_EQ(items(), 10);

    std::string id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    toFolder(g_strSessionInfoDir + first);
    Xdo("windowfocus --sync " + id + " key --clearmodifiers shift+Escape");
    const std::string box = OtherWindowOf(program->Pid(), "Quorvellian", id);
    ASSERT_FALSE(box.empty()) << "the close said nothing";
    Xdo("windowfocus --sync " + box + " key --clearmodifiers Return");
    ASSERT_TRUE(EndsByItself());
    const std::string second = boxFile();
    EXPECT_NE(second, first);
    EXPECT_TRUE(std::filesystem::is_regular_file(g_strSessionInfoDir + second));
    EXPECT_EQ(items(), 10);

    id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    toFolder(g_strSessionInfoDir + second);
    EXPECT_TRUE(EndsOn(SIGTERM)) << "the close waited for an answer";
    const std::string third = boxFile();
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);
    EXPECT_EQ(items(), 10);
}

// A diff of two large files that share nothing but their blank lines
// (Alt+2 on the basket's two files) runs while the window goes on: a
// logout (SIGTERM, alone, twice or with SIGHUP) then ends the program
// within seconds, not once the diff is over.
TEST_F(BuiltProgramTest, ALogoutDuringALongDiffEndsWithinSeconds) {
    const std::string folder = Files() + "/";
    std::filesystem::create_directories(folder);
    std::string a, b;
    for (int i = 0; i < 100000; ++i) {
        a += i % 5 == 4 ? std::string("\n") : "    int field_" + std::to_string(i) + " = " + std::to_string(i * 7) + ";\n";
        b += i % 5 == 2 ? std::string("\n") : "Chapter " + std::to_string(i) + ": nothing like the other file\n";
    }
    WriteFile(folder + "left.c", a);
    WriteFile(folder + "right.txt", b);
    {
        CProgramData d;
        d.InsertProject("Demo", 0);
        d.InsertSession("Texts", 0, 0);
        CSession* se = d.GetSessionPtr(0, 0);
        se->IsLoaded = true;
        se->LocalDir = folder;
        d.InsertBasket("Pair", 0, 0, 0);
        int k = 0;
        for (const char* name : {"left.c", "right.txt"}) {
            CFileItem it(name);
            it.FileType = "local";
            it.LocalDir = folder;
            it.IsFTPed = "No";
            d.InsertFileItems(0, 0, 0, k++, it);
        }
        d.SetCurProject(0);
        d.SetCurSession(0, 0);
        d.SetCurrentBasket(0, 0, 0);
        ASSERT_TRUE(d.SaveMasterFile(Master()));
    }
    // TERM, TERM twice, TERM with HUP.
    const std::pair<int, int> ends[] = {{SIGTERM, 0}, {SIGTERM, SIGTERM}, {SIGTERM, SIGHUP}};
    for (const auto& [sig, then] : ends) {
        SCOPED_TRACE(std::to_string(sig) + " " + std::to_string(then));
        const std::string id = Start();
        ASSERT_FALSE(id.empty()) << "the main window did not appear";
        Xdo("mousemove --window " + id + " 320 236 click 1");
        Xdo("key --clearmodifiers ctrl+a");
        Xdo("key --clearmodifiers alt+2");
        // The File Diff Manager shows while the diff runs.
        EXPECT_FALSE(WindowOf(program->Pid(), "File Diff Manager").empty());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        QElapsedTimer clock;
        clock.start();
        ::kill(program->Pid(), sig);
        if (then) ::kill(program->Pid(), then);
        // The same signal again may find the close's save begun: the user
        // insists, and the program ends by that signal.
        const bool ended = then == sig ? qvltest::WaitFor([&] { return !program->Running(); }, 10000)
                                       : EndsByItself(10000);
        EXPECT_TRUE(ended) << "still running after " << clock.elapsed() << " ms";
    }
}

// The built program sending to and fetching from a real FTP server.
class BuiltProgramFtpTest : public BuiltProgramTest {
protected:
    void SetUp() override {
        BuiltProgramTest::SetUp();
        if (IsSkipped()) return;
        std::filesystem::create_directories(ServerRoot());
        server = std::make_unique<qvltest::PyFtpServer>(ServerRoot());
        if (!server->ok()) GTEST_SKIP() << server->why();
        port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(server->port()).c_str());
    }
    void TearDown() override {
        program.reset();
        server.reset();
        port.reset();
        BuiltProgramTest::TearDown();
    }
    std::string ServerRoot() const { return tmp / "server"; }
    std::string Local() const { return Files() + "/"; }
    static std::string Content(int i) { return std::string(64 * 1024, char('a' + i % 26)); }
    static std::string Name(int i) { return "file" + std::to_string(i) + ".bin"; }

    // One basket of n items, none sent yet; their files on the side they
    // go from, none on the other. Without the account the vault does not
    // know the server's user.
    void MakeBasket(int n, bool toRemote, bool account = true) {
        std::filesystem::remove_all(ServerRoot());
        std::filesystem::remove_all(Local());
        std::filesystem::create_directories(ServerRoot());
        std::filesystem::create_directories(Local());
        CProgramData d;
        AddLoopbackSession(d, Local());
        d.InsertBasket("Many", 0, 0, 0);
        for (int i = 0; i < n; ++i) {
            WriteFile((toRemote ? Local() : ServerRoot() + "/") + Name(i), Content(i));
            CFileItem it(Name(i));
            it.FileType = "local";
            it.RemHost = "127.0.0.1";
            it.RemUser = qvltest::kUser;
            it.RemoteDir = "/";
            it.LocalDir = Local();
            it.IsBinaryFile = true;
            it.IsFTPed = "No";
            it.IsRemoteModified = "No";
            it.IsRemoteMissing = "No";
            d.InsertFileItems(0, 0, 0, i, it);
        }
        if (account) {
            AddLoopbackAccount(d);
        } else {
            d.SetCurProject(0);
            d.SetCurSession(0, 0);
            d.SetCurrentBasket(0, 0, 0);
        }
        ASSERT_TRUE(d.SaveMasterFile(Master()));
    }
    // The files whole on the receiving side.
    int Whole(int n, bool toRemote) const {
        int whole = 0;
        for (int i = 0; i < n; ++i) {
            const std::string path = (toRemote ? ServerRoot() + "/" : Local()) + Name(i);
            std::error_code ec;
            if (std::filesystem::file_size(path, ec) == Content(i).size() && !ec && ReadFile(path) == Content(i))
                ++whole;
        }
        return whole;
    }
    // The names whole on the receiving side that the saved data does not
    // have as sent or fetched.
    std::string Unrecorded(int n, bool toRemote) const {
        CProgramData d;
        d.LoadMasterFileFrom(Master());
        if (d.GetSessionPtr(0, 0) && !d.GetSessionPtr(0, 0)->IsLoaded) d.LoadSessionFile(0, 0);
        if (d.GetFileItemCount(0, 0, 0) != n) return "the basket has " + std::to_string(d.GetFileItemCount(0, 0, 0));
        std::string names;
        for (int i = 0; i < n; ++i) {
            const std::string path = (toRemote ? ServerRoot() + "/" : Local()) + Name(i);
            if (ReadFile(path) == Content(i) && d.GetFileItem(0, 0, 0, i).IsFTPed != "Yes") names += " " + Name(i);
        }
        return names;
    }

    std::unique_ptr<qvltest::PyFtpServer> server;
    std::unique_ptr<ScopedEnv> port;
};

// A close during a transfer, by a signal or by Shift+Esc, keeps the record
// of every file that went: after it, each file whole on the receiving side
// is marked as transferred.
TEST_F(BuiltProgramFtpTest, AnEndDuringATransferKeepsWhatWentAcross) {
    constexpr int n = 400;
    struct Way {
        bool toRemote;
        const char* end;  // a signal's name, or the keys
    } ways[] = {{true, "TERM"}, {true, "shift+Escape"}, {false, "HUP"}};
    for (const Way& way : ways) {
        SCOPED_TRACE(std::string(way.toRemote ? "F5, " : "F4, ") + way.end);
        MakeBasket(n, way.toRemote);
        const std::string id = Start();
        ASSERT_FALSE(id.empty()) << "the main window did not appear";
        // Every item of the file list.
        Xdo("mousemove --window " + id + " 320 236 click 1");
        Xdo("key --clearmodifiers ctrl+a");
        Xdo(std::string("key --clearmodifiers ") + (way.toRemote ? "F5" : "F4"));
        ASSERT_TRUE(qvltest::WaitFor([&] { return Whole(n, way.toRemote) >= 10; }, 20000)) << "nothing went";
        if (std::string(way.end) == "TERM")
            ::kill(program->Pid(), SIGTERM);
        else if (std::string(way.end) == "HUP")
            ::kill(program->Pid(), SIGHUP);
        else
            Xdo("windowfocus --sync " + id + " key --clearmodifiers " + way.end);
        ASSERT_TRUE(EndsByItself(30000));
        const int whole = Whole(n, way.toRemote);
        EXPECT_GT(whole, 0);
        EXPECT_LT(whole, n) << "the run was over before the end came";
        EXPECT_EQ(Unrecorded(n, way.toRemote), "") << whole << " whole";
    }
}

// A logout while a file goes straight to a server that takes it slowly:
// the close waits for the server's word on the file (within its three
// seconds), not only for its last block to leave, so the file arrives
// whole and is recorded as sent.
TEST_F(BuiltProgramFtpTest, AnEndWaitsForTheServersWordOnAFileGoingStraight) {
    MakeBasket(1, true);
    // The server takes twice its rate, then nothing for two seconds, then the rest.
    constexpr int kRate = 2 << 20;
    const std::string text(2 * kRate + kRate / 2, 'q');
    WriteFile(Local() + Name(0), text);
    server.reset();
    ThrottledFtpServer slow(ServerRoot(), kRate);
    ASSERT_TRUE(slow.ok()) << slow.why();
    port.reset();
    port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(slow.port()).c_str());
    const std::string id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    Xdo("mousemove --window " + id + " 320 236 click 1");
    Xdo("key --clearmodifiers ctrl+a");
    Xdo("key --clearmodifiers F5");
    const std::string target = ServerRoot() + "/" + Name(0);
    ASSERT_TRUE(qvltest::WaitFor([&] {
        std::error_code ec;
        return std::filesystem::file_size(target, ec) >= 2u * kRate && !ec;
    }, 20000)) << "nothing went";
    // The rest has left the program by now; the server takes it in a second and a half.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(program->Pid(), SIGTERM);
    ASSERT_TRUE(EndsByItself(30000));
    EXPECT_TRUE(ReadFile(target) == text) << std::filesystem::file_size(target) << " bytes";
    CProgramData d;
    d.LoadMasterFileFrom(Master());
    if (d.GetSessionPtr(0, 0) && !d.GetSessionPtr(0, 0)->IsLoaded) d.LoadSessionFile(0, 0);
    EXPECT_EQ(d.GetFileItem(0, 0, 0, 0).IsFTPed, "Yes");
}

// A logout while the remote browser waits for a listing that trickles in:
// the window saves and closes, and the program ends with it rather than at
// the listing's time-out.
TEST_F(BuiltProgramFtpTest, AnEndDuringATricklingListingEndsTheProgram) {
    MakeBasket(1, true);
    for (int i = 0; i < 2000; ++i) WriteFile(ServerRoot() + "/page" + std::to_string(i) + ".html", "x");
    server.reset();
    ThrottledFtpServer slow(ServerRoot(), 500);
    ASSERT_TRUE(slow.ok()) << slow.why();
    port.reset();
    port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(slow.port()).c_str());
    const std::string id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    const auto before = std::filesystem::last_write_time(Master());
    // FTP, Browse remote files.
    Xdo("mousemove --window " + id + " 277 8 click 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Xdo("mousemove --window " + id + " 350 183 click 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    ASSERT_TRUE(program->Running());
    EXPECT_TRUE(EndsOn(SIGTERM)) << "the program lived on";
    EXPECT_NE(std::filesystem::last_write_time(Master()), before);
}

// A logout while the Login Information dialog asks for the data of an
// account the vault does not know (F5 to a server): the dialog goes, the
// transfer ends and the window saves and ends within the close's three
// seconds.
TEST_F(BuiltProgramFtpTest, AnEndWhileTheLoginDialogIsUpEndsWithinTheCloseWait) {
    MakeBasket(1, true, false);
    const std::string id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    Xdo("mousemove --window " + id + " 320 236 click 1");
    Xdo("key --clearmodifiers ctrl+a");
    Xdo("key --clearmodifiers F5");
    ASSERT_FALSE(WindowOf(program->Pid(), "Login Information").empty()) << "no login dialog";
    const auto before = std::filesystem::last_write_time(Master());
    const auto start = std::chrono::steady_clock::now();
    ::kill(program->Pid(), SIGTERM);
    ASSERT_TRUE(EndsByItself());
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(ms, 3000);
    EXPECT_NE(std::filesystem::last_write_time(Master()), before);
}

}  // namespace

namespace {

// F1 opens the manual the build put beside the program, in the desktop's
// browser (here a stand-in that writes down what it was given).
TEST_F(BuiltProgramTest, F1OpensTheManualBuiltBesideTheProgram) {
    const std::string manual = std::filesystem::path(QVL_BINARY).parent_path() / "Quorvellian.html";
    ASSERT_TRUE(std::filesystem::is_regular_file(manual)) << "the build made no manual (pandoc is missing?)";
    const std::string text = ReadFile(manual);
    EXPECT_NE(text.find("A first walk-through"), std::string::npos);
    EXPECT_EQ(text.find("id=\"for-developers\""), std::string::npos);  // the part for developers stays out

    const std::string bin = tmp / "bin", opened = tmp / "opened";
    std::filesystem::create_directories(bin);
    WriteFile(bin + "/xdg-open", "#!/bin/sh\necho \"$@\" >> '" + opened + "'\n");
    ::chmod((bin + "/xdg-open").c_str(), 0755);
    ScopedEnv path("PATH", (bin + ":" + std::getenv("PATH")).c_str());
    const std::string id = Start();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    Xdo("windowfocus --sync " + id);
    Xdo("key --clearmodifiers F1");
    EXPECT_TRUE(qvltest::WaitFor([&] { return std::filesystem::exists(opened); }, 10000));
    EXPECT_EQ(ReadFile(opened), "file://" + manual + "\n");
}


// Installed into a prefix as a desktop program: the program, the manual, a
// valid desktop entry and its icon. Started as the desktop entry says, with
// nothing beside it, F1 opens the installed manual.
TEST_F(BuiltProgramTest, InstalledIntoAPrefixF1OpensTheInstalledManual) {
    if (::access("/usr/bin/desktop-file-validate", X_OK) != 0)
        GTEST_SKIP() << "desktop-file-validate is not installed (run scripts/setup)";
    const std::filesystem::path build = std::filesystem::path(QVL_BINARY).parent_path();
    const std::filesystem::path prefix = tmp / "installed";
    const std::string said = qvltest::RunShell("'" QVL_CMAKE "' --install '" + build.string() + "' --prefix '" +
                                               prefix.string() + "'");
    const std::filesystem::path exe = prefix / "bin/quorvellian";
    const std::filesystem::path manual = prefix / "share/doc/quorvellian/Quorvellian.html";
    const std::filesystem::path entry = prefix / "share/applications/quorvellian.desktop";
    ASSERT_EQ(::access(exe.c_str(), X_OK), 0) << said;
    ASSERT_TRUE(std::filesystem::is_regular_file(manual)) << said;
    EXPECT_EQ(ReadFile(manual), ReadFile(build / "Quorvellian.html"));
    ASSERT_TRUE(std::filesystem::is_regular_file(entry)) << said;
    // These four and nothing else, as the README's lines for removing them say.
    std::set<std::string> installed;
    for (const auto& e : std::filesystem::recursive_directory_iterator(prefix))
        if (!e.is_directory()) installed.insert(std::filesystem::relative(e.path(), prefix).string());
    EXPECT_EQ(installed, (std::set<std::string>{"bin/quorvellian", "share/applications/quorvellian.desktop",
                                                 "share/doc/quorvellian/Quorvellian.html",
                                                 "share/icons/hicolor/scalable/apps/quorvellian.svg"}));

    EXPECT_EQ(qvltest::RunShell("/usr/bin/desktop-file-validate '" + entry.string() + "' | grep -E 'error|warning'"),
              "");
    std::map<std::string, std::string> keys;
    std::istringstream lines(ReadFile(entry));
    for (std::string line; std::getline(lines, line);)
        if (const auto eq = line.find('='); eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
    EXPECT_EQ(keys["Name"], "Quorvellian");
    EXPECT_FALSE(keys["Comment"].empty());
    EXPECT_EQ(keys["Terminal"], "false");
    EXPECT_NE(keys["Categories"].find("Development;"), std::string::npos);
    // Any argument starts the command-line job, so the entry passes none.
    EXPECT_EQ(keys["Exec"], "quorvellian");
    const std::filesystem::path icon = prefix / "share/icons/hicolor/scalable/apps" / (keys["Icon"] + ".svg");
    ASSERT_TRUE(std::filesystem::is_regular_file(icon)) << icon;
    EXPECT_TRUE(QSvgRenderer(QString::fromStdString(icon.string())).isValid());

    const std::string bin = tmp / "opener", opened = tmp / "opened";
    std::filesystem::create_directories(bin);
    WriteFile(bin + "/xdg-open", "#!/bin/sh\necho \"$@\" >> '" + opened + "'\n");
    ::chmod((bin + "/xdg-open").c_str(), 0755);
    ScopedEnv path("PATH", (bin + ":" + (prefix / "bin").string() + ":" + std::getenv("PATH")).c_str());
    const std::string id = Start(prefix / "bin" / keys["Exec"]);
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    Xdo("windowfocus --sync " + id);
    Xdo("key --clearmodifiers F1");
    EXPECT_TRUE(qvltest::WaitFor([&] { return std::filesystem::exists(opened); }, 10000));
    EXPECT_EQ(ReadFile(opened), "file://" + manual.string() + "\n");
}

}  // namespace
