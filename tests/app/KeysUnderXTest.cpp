// What a user meets with the keyboard and the clipboard on a real X server
// (Xvfb), the program started as main() starts it: the menus opened from
// the keyboard, the Control panel's highlight after a right-click, a
// password with a line break in Account Properties, and the remote
// browser on a server that cuts its listings short (pure-ftpd's -L): the
// folder box taking a pasted line as the one line it shows, and a cut
// listing said in the browser and in the recursive collection.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTabBar>
#include <QTreeWidget>
#include <filesystem>
#include <set>

#include "FtpWindowFixture.h"
#include "InProcessUnderXFixture.h"
#include "app/ControlPanelBar.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MenuMnemonics.h"
#include "app/QuorvellianApp.h"
#include "app/StartupBannerDlg.h"
#include "model/ProgramData.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/TestServers.h"
#include "support/XServer.h"
#include "settings/AcceleratorManager.h"

namespace {

using journey::Hands;

class KeysTest : public InProcessUnderXTest {
protected:
    KeysTest() : InProcessUnderXTest("KeysUnderX.EveryKeyUnderX") {}
    // The text of the message box that comes up; "" when none does.
    std::string BoxText(int ms = 10000) {
        std::string text;
        hands.WaitGui(
            [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box && box->isVisible()) text = box->text().toStdString();
                return !text.empty();
            },
            ms);
        return text;
    }
    // Answers the message box up with a key, and waits for it to go.
    void AnswerBox(const std::string& key) {
        QPointer<QWidget> box = hands.Gui([] { return QApplication::activeModalWidget(); });
        hands.Focus(box);
        hands.Key(key);
        hands.WaitGone(box, 5000);
    }
    // The key of a text's underlined letter, for xdotool ("t" for "F&TP").
    static std::string LetterKey(const QString& text) {
        const QKeySequence k = QKeySequence::mnemonic(text);
        return k.isEmpty() ? std::string() : std::string(1, char(QChar(k[0].key()).toLower().unicode()));
    }
    QMenu* OpenMenu() {
        QMenu* menu = nullptr;
        hands.WaitGui([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; },
                      3000);
        return menu;
    }
};

// Every title of the menu bar has a letter of its own that no Alt key of
// the key table takes, and Alt with it opens that menu; in a menu, every
// entry has a letter of its own, the documents' letters among them, and
// the letter runs the entry. Alt+D stays the diff manager's key. F10 is
// the key table's; once the user's table leaves it free, it opens the menus.
// An Alt key the user gives a command takes a title's letter, and the title
// takes another: no title is left without one.
TEST_F(KeysTest, TheMenusOpenFromTheKeyboard) {
    MakeSampleArea();
    ASSERT_TRUE(Start());
    journey::Drive(hands, [&] {
        SendBannerAway();
        // "Sort text" asked its properties: the dialog shows and Escape closes it.
        const auto sortPropertiesAsked = [&] {
            QPointer<QWidget> sort = hands.WaitWindow("Sort Properties");
            EXPECT_TRUE(sort);
            if (sort) {
                hands.Key("Escape");
                hands.WaitGone(sort);
            }
        };
        // The key table's Alt keys (Alt+D, Alt+N, Alt+R, Alt+1 ...).
        std::set<QChar> altKeys;
        hands.Gui([&] {
            for (int id : frame->CommandIds())
                for (const QKeySequence& k : frame->ShortcutsOf(id))
                    if (k.count() == 1 && k[0].keyboardModifiers() == Qt::AltModifier)
                        altKeys.insert(QChar(k[0].key()).toLower());
        });
        ASSERT_TRUE(altKeys.count('d') && altKeys.count('r') && altKeys.count('n'));

        std::set<QChar> titleLetters;
        for (QAction* title : hands.Gui([&] { return frame->menuBar()->actions(); })) {
            const QString text = hands.Gui([&] { return title->text(); });
            SCOPED_TRACE(text.toStdString());
            const QKeySequence mnemonic = QKeySequence::mnemonic(text);
            ASSERT_FALSE(mnemonic.isEmpty()) << "no letter";
            const QChar letter = QChar(mnemonic[0].key()).toLower();
            EXPECT_TRUE(titleLetters.insert(letter).second) << "a letter of another title";
            EXPECT_EQ(altKeys.count(letter), 0u) << "a key of the key table";

            hands.Focus(frame);
            hands.Key(std::string("alt+") + char(letter.unicode()));
            QMenu* menu = OpenMenu();
            EXPECT_EQ(menu, hands.Gui([&] { return title->menu(); }));
            hands.Key("Escape Escape");
            hands.WaitGui([] { return QApplication::activePopupWidget() == nullptr; }, 3000);

            std::set<QChar> entryLetters;
            for (QAction* a : hands.Gui([&] { return title->menu()->actions(); })) {
                const QString entry = hands.Gui([&] { return a->isSeparator() ? QString() : a->text(); });
                if (entry.isEmpty()) continue;
                const QKeySequence m = QKeySequence::mnemonic(entry);
                EXPECT_FALSE(m.isEmpty()) << entry.toStdString() << ": no letter";
                if (!m.isEmpty())
                    EXPECT_TRUE(entryLetters.insert(QChar(m[0].key()).toLower()).second)
                        << entry.toStdString() << ": a letter of another entry";
            }
        }
        // The documents' letters.
        const auto text = [&](int id) { return hands.Gui([&] { return frame->Action(id)->text().section('\t', 0, 0); }); };
        EXPECT_EQ(text(32587), "&Telnet to remote system");
        EXPECT_EQ(text(32652), "&Sort text");
        EXPECT_EQ(text(32628), "C&ut");
        EXPECT_EQ(text(32594), "Fix &multiple line-breaks");
        EXPECT_EQ(text(32683), "Repair &Remote directories from Output Window");

        // Alt, the Xtra menu's letter, then S: "Sort text" asks its properties.
        hands.Focus(frame);
        const QString xtra = hands.Gui([&] { return frame->findChild<QMenu*>("menuXtra")->title(); });
        hands.Key("alt+" + LetterKey(xtra));
        ASSERT_NE(OpenMenu(), nullptr);
        hands.Key("s");
        sortPropertiesAsked();

        // Alt+D: the diff manager, not a menu.
        hands.Focus(frame);
        hands.Key("alt+d");
        QPointer<QWidget> diff = hands.WaitWindow("File Diff Manager", 5000);
        EXPECT_TRUE(diff);
        EXPECT_EQ(hands.Gui([] { return QApplication::activePopupWidget(); }), nullptr);
        if (diff) hands.Gui([&] { diff->hide(); });

        // F10 is "Execute Find-Replace lib"; without it in the table, F10 opens the first menu.
        hands.Focus(frame);
        hands.Key("F10");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(hands.Gui([] { return QApplication::activePopupWidget(); }), nullptr);
        hands.CloseOpenDialogs();
        hands.Gui([&] {
            // As the Accel Editor takes a key away from a command.
            CAccelCommandOb* run = app->Accelerators().FindCommand(32631);
            ASSERT_NE(run, nullptr);
            std::erase_if(run->keys, [](const CAccelsOb& k) { return k.m_wKey == 0x79; });  // VK_F10
            app->Accelerators().CreateAcceleratorTable();
        });
        ASSERT_EQ(hands.Gui([&] { return frame->ShortcutsOf(32631).size(); }), 0);
        hands.Focus(frame);
        hands.Key("F10");
        EXPECT_EQ(OpenMenu(), hands.Gui([&] { return frame->findChild<QMenu*>("menuApplication"); }));
        hands.Key("Escape Escape");
        hands.WaitGui([] { return QApplication::activePopupWidget() == nullptr; }, 3000);

        // Every Alt+letter the table leaves free, given to "Sort text" as Map
        // Keystrokes gives it: every title still has a letter of its own that
        // no Alt key takes.
        for (char c = 'a'; c <= 'z'; ++c) {
            if (altKeys.count(QChar(c))) continue;
            SCOPED_TRACE(std::string("alt+") + c);
            const std::uint16_t key = std::uint16_t('A' + (c - 'a'));
            hands.Gui([&] {
                ASSERT_EQ(app->Accelerators().AssignKeystroke(32652, key, false, true, false),
                          CAcceleratorManager::AssignResult::Assigned);
                app->Accelerators().CreateAcceleratorTable();
            });
            std::set<QChar> letters;
            QString diffTitle;
            for (QAction* title : hands.Gui([&] { return frame->menuBar()->actions(); })) {
                const QString text = hands.Gui([&] { return title->text(); });
                const QKeySequence m = QKeySequence::mnemonic(text);
                EXPECT_FALSE(m.isEmpty()) << text.toStdString() << ": no letter";
                if (m.isEmpty()) continue;
                const QChar letter = QChar(m[0].key()).toLower();
                EXPECT_TRUE(letters.insert(letter).second) << text.toStdString() << ": a letter of another title";
                EXPECT_TRUE(letter != QChar(c) && !altKeys.count(letter)) << text.toStdString() << ": a key of the table";
                if (WithoutMnemonic(text) == "Diff") diffTitle = text;
            }
            if (c == 'f') {
                // Alt+F runs the command; the Diff menu opens with its letter.
                hands.Focus(frame);
                hands.Key("alt+f");
                sortPropertiesAsked();
                hands.Focus(frame);
                hands.Key("alt+" + LetterKey(diffTitle));
                EXPECT_EQ(OpenMenu(), hands.Gui([&] { return frame->findChild<QMenu*>("menuDiff"); }));
                hands.Key("Escape Escape");
                hands.WaitGui([] { return QApplication::activePopupWidget() == nullptr; }, 3000);
            }
            hands.Gui([&] {
                CAccelsOb given;
                given.fVirt = std::uint8_t(kKeyVirt | kKeyAlt);
                given.m_wKey = key;
                EXPECT_EQ(app->Accelerators().RemoveKeystroke(32652, given),
                          CAcceleratorManager::RemoveResult::Removed);
                app->Accelerators().CreateAcceleratorTable();
            });
        }
    });
}

// A right-click on a session that is not the current one, then Escape: the
// highlight is back on the current session, whose files the lists show.
TEST_F(KeysTest, ARightClickLeavesTheHighlightOnTheCurrentSession) {
    MakeSampleArea();
    ASSERT_TRUE(Start());
    journey::Drive(hands, [&] {
        SendBannerAway();
        CPanelTree* tree = hands.Gui([&] { return frame->ControlPanel().SessionTree(); });
        hands.ClickAt(hands.TreePoint(tree, "Web site"));
        ASSERT_TRUE(hands.WaitGui([&] { return frame->Data().GetCurSession() == 0; }, 3000));
        const auto highlighted = [&] {
            return hands.Gui([&] {
                const auto items = tree->selectedItems();
                return items.size() == 1 ? items.front()->text(0).toStdString() : std::to_string(items.size());
            });
        };
        for (const char* key : {"Escape", "alt+F4"}) {
            SCOPED_TRACE(key);
            hands.ClickAt(hands.TreePoint(tree, "Build"), 3);
            ASSERT_NE(OpenMenu(), nullptr);
            hands.Key(key);
            ASSERT_TRUE(hands.WaitGui([] { return QApplication::activePopupWidget() == nullptr; }, 3000));
            EXPECT_TRUE(hands.WaitGui([&] { return highlighted() == "Web site"; }, 2000)) << highlighted();
            EXPECT_EQ(hands.Gui([&] { return frame->Data().GetCurSession(); }), 0);
        }
    });
}

// A password pasted with a line break, which no login could send, is
// refused where it is typed, as the login dialog refuses it: in Account
// Properties (OK and Connect), Global Password Update, Session Attributes
// and File Attributes. The vault keeps its passwords.
TEST_F(KeysTest, EveryPasswordBoxRefusesALineBreak) {
    MakeSampleArea();
    ASSERT_TRUE(Start());
    journey::Drive(hands, [&] {
        SendBannerAway();
        const auto refuses = [&](QPointer<QWidget> dlg, const std::vector<const char*>& buttons) {
            ASSERT_TRUE(dlg);
            auto* password = hands.Child<QLineEdit>(dlg, "1642");
            ASSERT_NE(password, nullptr);
            hands.Gui([&] { QGuiApplication::clipboard()->setText("new\npw"); });
            hands.Focus(dlg);
            hands.Click(password);
            hands.Key("ctrl+a BackSpace ctrl+v");
            ASSERT_TRUE(hands.WaitGui([&] { return password->text() == "new\npw"; }, 3000));
            for (const char* button : buttons) {
                SCOPED_TRACE(button);
                hands.Click(hands.Child(dlg, button));
                EXPECT_EQ(BoxText(), "Invalid password. Cannot have line breaks.");
                AnswerBox("Return");
                EXPECT_TRUE(hands.Gui([&] { return dlg && dlg->isVisible() && password->hasFocus(); }));
            }
            hands.Key("Escape");
            EXPECT_TRUE(hands.WaitGone(dlg));
        };
        QTabBar* tabs = hands.Gui([&] { return frame->ControlPanel().Tabs(); });
        const auto tab = [&](int i) {
            hands.ClickAt(hands.Gui([&] { return tabs->mapToGlobal(tabs->tabRect(i).center()); }));
            hands.WaitGui([&] { return tabs->currentIndex() == i; }, 3000);
        };
        CPanelTree* accounts = hands.Gui([&] { return frame->ControlPanel().AccountTree(); });
        CPanelTree* sessions = hands.Gui([&] { return frame->ControlPanel().SessionTree(); });

        tab(1);
        ASSERT_TRUE(hands.ContextMenu(hands.TreePoint(accounts, "www ~ alice"), {"Properties..."}));
        refuses(hands.WaitWindow("Account Properties"), {"1", "1419"});
        ASSERT_TRUE(hands.ContextMenu(hands.TreePoint(accounts, "My Network"), {"Modify passwords globally..."}));
        QPointer<QWidget> global = hands.WaitWindow("Global Password Update");
        ASSERT_TRUE(global);
        hands.Gui([&] { hands.Child<QTreeWidget>(global, "1717")->selectAll(); });
        refuses(global, {"1449"});

        tab(0);
        ASSERT_TRUE(hands.ContextMenu(hands.TreePoint(sessions, "Web site"), {"Properties..."}));
        refuses(hands.WaitWindow("Session Attributes"), {"1"});

        hands.Focus(frame);
        ASSERT_TRUE(hands.SelectRows(frame->FileList(), {0}));
        hands.Key("ctrl+q");
        refuses(hands.WaitWindow("File Attributes"), {"1"});

        EXPECT_EQ(hands.Gui([&] { return frame->Data().GetHost(0, 0).m_strPassword; }), "secret");
        EXPECT_EQ(hands.Gui([&] { return frame->Data().GetHost(0, 1).m_strPassword; }), "pw");
    });
}

// The remote browser on pure-ftpd, which lists no more than 100 entries.
class BrowserKeysTest : public KeysTest {
protected:
    void SetUp() override {
        KeysTest::SetUp();
        if (IsSkipped()) return;
        server = std::make_unique<qvltest::PureFtpdServer>(std::vector<std::string>{"-L", "100:5"});
        if (!server->ok()) GTEST_SKIP() << server->why();
        if (dir.path().empty()) GTEST_SKIP() << "cannot make a folder for the test user";
        port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(server->port()).c_str());
        std::filesystem::create_directories(dir / "many");
        for (int i = 0; i < 120; ++i) WriteFile(dir / ("many/f" + std::to_string(100 + i) + ".txt"), "x\n");
        std::filesystem::create_directories(dir / "tri cky");
        WriteFile(dir / "tri cky/inside.txt", "x\n");
        // The session and the account on the server, the browser starting in the folder.
        CProgramData d;
        AddLoopbackSession(d, Files() + "/");
        d.GetSessionPtr(0, 0)->RemoteDir = dir.dir();
        d.InsertBasket("One", 0, 0, 0);
        AddLoopbackAccount(d);
        d.GetHostPtr(0, 0)->m_strLastFolder = dir.dir();
        ASSERT_TRUE(d.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    }
    void TearDown() override {
        KeysTest::TearDown();
        server.reset();
        port.reset();
    }
    // FTP, Browse remote files.
    QPointer<QWidget> OpenBrowser() {
        if (!hands.MenuBar(frame, "FTP", {"Browse remote files"})) return nullptr;
        return hands.WaitWindow("Files - 127.0.0.1", 20000);
    }
    std::string Status(QWidget* dlg) {
        return hands.Gui([&] { return hands.Child<QLineEdit>(dlg, "1635")->text().toStdString(); });
    }

    qvltest::UserDir dir;
    std::unique_ptr<qvltest::PureFtpdServer> server;
    std::unique_ptr<ScopedEnv> port;
};

// A folder pasted into the folder box with a line break in it and the line
// end a terminal's copy brings, by every road (the keys, the box's own
// menu, a middle click), is the one line the box shows, nothing after it:
// Enter goes there.
TEST_F(BrowserKeysTest, APastedLineBreakInTheFolderBoxIsTheBlankItShows) {
    ASSERT_TRUE(Start());
    journey::Drive(hands, [&] {
        SendBannerAway();
        QPointer<QWidget> dlg = OpenBrowser();
        ASSERT_TRUE(dlg);
        auto* box = hands.Child<QComboBox>(dlg, "1460");
        ASSERT_NE(box, nullptr);
        QLineEdit* field = hands.Gui([&] { return box->lineEdit(); });
        const QString pasted = QString::fromStdString(dir.dir()) + "tri\ncky\n";
        const QString shown = QString::fromStdString(dir.dir()) + "tri cky";
        const auto holds = [&] {
            return hands.WaitGui([&] { return box->currentText() == shown; }, 3000);
        };
        const auto empty = [&] {
            hands.Focus(dlg);
            hands.Click(field);
            hands.Key("ctrl+a BackSpace");
        };
        for (const char* keys : {"ctrl+v", "shift+Insert"}) {
            SCOPED_TRACE(keys);
            hands.Gui([&] { QGuiApplication::clipboard()->setText(pasted); });
            empty();
            hands.Key(keys);
            EXPECT_TRUE(holds()) << hands.Gui([&] { return box->currentText().toStdString(); });
        }
        empty();
        EXPECT_TRUE(hands.ContextMenu(hands.Middle(field), {"&Paste"}));
        EXPECT_TRUE(holds()) << hands.Gui([&] { return box->currentText().toStdString(); });
        empty();
        hands.Gui([&] { QGuiApplication::clipboard()->setText(pasted, QClipboard::Selection); });
        hands.Click(field, 2);
        EXPECT_TRUE(holds()) << hands.Gui([&] { return box->currentText().toStdString(); });

        // Enter: the folder's listing, no message.
        hands.Key("Return");
        EXPECT_TRUE(hands.WaitGui([&] { return Status(dlg) == "1 file found."; }, 10000))
            << Status(dlg) << " / " << BoxText(500);
        hands.Key("Escape");
        EXPECT_TRUE(hands.WaitGone(dlg));
    });
}

// A folder of 120 files on a server that lists 100: the browser says the
// server cut the listing short, and the recursive collection says so
// before it offers the 100 files it found.
TEST_F(BrowserKeysTest, AListingTheServerCutIsSaidToBeCut) {
    ASSERT_TRUE(Start());
    journey::Drive(hands, [&] {
        SendBannerAway();
        QPointer<QWidget> dlg = OpenBrowser();
        ASSERT_TRUE(dlg);
        EXPECT_EQ(Status(dlg), "2 directories found.");
        auto* list = hands.Child<QListWidget>(dlg, "1849");
        ASSERT_NE(list, nullptr);
        const QPoint many = hands.Gui([&] {
            QListWidgetItem* it = list->findItems("many", Qt::MatchExactly).value(0);
            return it ? list->viewport()->mapToGlobal(list->visualItemRect(it).center()) : QPoint();
        });
        ASSERT_FALSE(many.isNull());

        // The collection: "many", "Add directory contents recursively", OK in "Directory Usage".
        hands.ClickAt(many);
        hands.Click(hands.Child(dlg, "1331"));
        QPointer<QWidget> usage = hands.WaitWindow("Directory Usage");
        ASSERT_TRUE(usage);
        hands.Click(hands.Child(usage, "1"));
        const std::string cut = BoxText(20000);
        EXPECT_NE(cut.find("The server cut the listing of " + dir.dir() + "many/ short."), std::string::npos) << cut;
        if (cut.find("There are") != 0) AnswerBox("Return");
        EXPECT_EQ(BoxText().rfind("There are 100 file(s) from this recursive process.", 0), 0u);
        AnswerBox("n");
        EXPECT_EQ(BoxText(), "Information discarded.");
        AnswerBox("Return");

        // Into the folder: 100 files, and the word that there are more.
        hands.Gui([&] { list->clearSelection(); });
        hands.ClickAt(many);
        hands.Key("Return");
        EXPECT_TRUE(hands.WaitGui([&] { return Status(dlg) == "100 files found. The server cut the listing short."; },
                                  10000))
            << Status(dlg);
        hands.Key("Escape");
        EXPECT_TRUE(hands.WaitGone(dlg));
    });
}

}  // namespace

TEST(KeysUnderX, EveryKeyUnderX) {
    if (std::getenv("QVL_UNDER_X")) GTEST_SKIP() << "already the run under X";
    ASSERT_EQ(::access("/usr/bin/xdotool", X_OK), 0) << "xdotool is not installed (run scripts/setup)";
    qvltest::XServer server;
    std::string why;
    if (!server.Start(why)) GTEST_SKIP() << why;
    const qvltest::SelfRun run = qvltest::RunSelfUnderX(server.Display(), "KeysTest.*:BrowserKeysTest.*");
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.Exited0()) << run.out;
    EXPECT_NE(run.out.find("[  PASSED  ] 5 tests."), std::string::npos) << run.out;
}
