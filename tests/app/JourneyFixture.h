// A user's hands on the program's window in this test process, under a real
// X server: a driver thread sends keys and clicks with xdotool and looks at
// the window through the GUI thread, while the GUI thread runs the event
// loop and the program's own modal dialogs and menus. Every wait is a wait
// for a condition with a time limit.
#pragma once

#include <gtest/gtest.h>

#include "app/MenuMnemonics.h"
#include "widgets/LineTextBox.h"
#include "support/XServer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabBar>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>

// Set while a journey drives dialogs by hand: the suite's guard against
// dialogs nobody answers leaves them alone meanwhile.
extern std::atomic<bool> g_modalWatchdogPaused;

namespace journey {

using namespace std::chrono_literals;

using qvltest::RunShell;

// A text as one single-quoted shell word.
inline std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class Hands {
public:
    // ---- the GUI thread

    // Runs f on the GUI thread and waits for its result (at once when
    // called there).
    template <class F>
    auto Gui(F f) -> decltype(f()) {
        using R = decltype(f());
        if (QThread::currentThread() == qApp->thread()) return f();
        if constexpr (std::is_void_v<R>) {
            QMetaObject::invokeMethod(qApp, [&] { f(); }, Qt::BlockingQueuedConnection);
        } else {
            R result{};
            QMetaObject::invokeMethod(qApp, [&] { result = f(); }, Qt::BlockingQueuedConnection);
            return result;
        }
    }
    // Waits until ok() (asked on the GUI thread) holds.
    template <class F>
    bool WaitGui(F ok, int ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (Gui([&] { return bool(ok()); })) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(50ms);
        }
    }
    // Waits until ok() (asked in this thread: files, servers) holds.
    template <class F>
    static bool Wait(F ok, int ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (ok()) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(50ms);
        }
    }

    // ---- xdotool

    static std::string Xdo(const std::string& args) { return qvltest::Xdo(args); }
    // Gives a top-level window the keyboard (there is no window manager).
    void Focus(QWidget* w) {
        const unsigned long id = Gui([&] { return w ? (unsigned long)w->window()->winId() : 0ul; });
        if (id) Xdo("windowfocus --sync " + std::to_string(id));
        WaitGui([&] { return w && w->window()->isActiveWindow(); }, 3000);
    }
    void Key(const std::string& keys) { Xdo("key --clearmodifiers --delay 40 " + keys); }
    // Types a text; its line breaks as presses of Return.
    void Type(const std::string& text) {
        size_t from = 0;
        for (;;) {
            const size_t nl = text.find('\n', from);
            const std::string line = text.substr(from, nl == std::string::npos ? std::string::npos : nl - from);
            if (!line.empty()) Xdo("type --clearmodifiers --delay 15 -- " + Quoted(line));
            if (nl == std::string::npos) return;
            Key("Return");
            from = nl + 1;
        }
    }
    void ClickAt(QPoint global, int button = 1, const std::string& held = "") {
        const std::string at = std::to_string(global.x()) + " " + std::to_string(global.y());
        std::string line = "mousemove " + at + " sleep 0.1 ";
        if (!held.empty()) line += "keydown " + held + " ";
        line += "click " + std::to_string(button);
        if (!held.empty()) line += " keyup " + held;
        Xdo(line);
    }
    // The middle of a widget (or of a rectangle in it) on the screen.
    QPoint Middle(QWidget* w, QRect r = QRect()) {
        return Gui([&] {
            if (!w) return QPoint();
            return w->mapToGlobal(r.isNull() ? w->rect().center() : r.center());
        });
    }
    void Click(QWidget* w, int button = 1) { ClickAt(Middle(w), button); }

    // ---- windows and dialogs

    // The visible top-level window with this title that is a dialog.
    QPointer<QWidget> WaitWindow(const QString& title, int ms = 10000) {
        QPointer<QWidget> found;
        WaitGui(
            [&] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->isVisible() && w->windowTitle() == title) {
                        found = w;
                        return true;
                    }
                return false;
            },
            ms);
        return found;
    }
    bool WaitGone(const QPointer<QWidget>& w, int ms = 10000) {
        return WaitGui([&] { return !w || !w->isVisible(); }, ms);
    }
    template <class T = QWidget>
    T* Child(QWidget* parent, const QString& name) {
        return Gui([&] { return parent ? parent->findChild<T*>(name) : nullptr; });
    }
    // Clicks into a text box, replaces its text by typing, and checks what it holds.
    bool Fill(QWidget* box, const std::string& text) {
        if (!box) return false;
        const QString want = QString::fromStdString(text);
        auto holds = [&] {
            if (auto* e = qobject_cast<QLineEdit*>(box)) return e->text() == want;
            if (auto* e = qobject_cast<QPlainTextEdit*>(box)) return e->toPlainText() == want;
            if (auto* e = qobject_cast<CLineTextBox*>(box)) return e->toPlainText() == want;
            if (auto* e = qobject_cast<QTextEdit*>(box)) return e->toPlainText() == want;
            return false;
        };
        for (int attempt = 0; attempt < 3; ++attempt) {
            Focus(box);
            Click(box);
            Key("ctrl+a BackSpace");
            Type(text);
            if (WaitGui(holds, 2000)) return true;
        }
        return false;
    }
    // Answers a prompt of the program's text dialog: its edit, then OK.
    bool AnswerPrompt(const QString& title, const std::string& text) {
        QPointer<QWidget> dlg = WaitWindow(title);
        if (!dlg) return false;
        if (!Fill(Child(dlg, "1622"), text)) return false;
        Click(Child(dlg, "1"));
        return WaitGone(dlg);
    }

    // ---- menus

    // Whether a menu opened (waits a little for it).
    bool OpenedPopup() {
        return WaitGui([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }, 3000);
    }
    // Clicks the entry of the open menu whose text (the part before a tab,
    // its underlined letter aside) is text, or whose object name is text; a
    // sub-menu opens.
    bool ClickEntry(const QString& text) {
        QMenu* menu = nullptr;
        WaitGui([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }, 5000);
        if (!menu) return false;
        QAction* action = Gui([&]() -> QAction* {
            for (QAction* a : menu->actions())
                if (a->objectName() == text || WithoutMnemonic(a->text().section('\t', 0, 0)) == WithoutMnemonic(text))
                    return a;
            return nullptr;
        });
        if (!action) return false;
        const QPoint at = Middle(menu, Gui([&] { return menu->actionGeometry(action); }));
        const bool sub = Gui([&] { return action->menu() != nullptr; });
        ClickAt(at);
        if (sub) return WaitGui([&] { return QApplication::activePopupWidget() == action->menu(); }, 5000);
        return WaitGui([&] { return QApplication::activePopupWidget() != menu; }, 5000);
    }
    // Opens a menu of the window's menu bar and clicks its entries in turn.
    bool MenuBar(QMainWindow* w, const QString& title, const std::vector<QString>& entries) {
        QMenuBar* bar = Gui([&] { return w->menuBar(); });
        QAction* menu = Gui([&]() -> QAction* {
            for (QAction* a : bar->actions())
                if (WithoutMnemonic(a->text()) == WithoutMnemonic(title)) return a;
            return nullptr;
        });
        if (!menu) return false;
        Focus(w);
        for (int attempt = 0; attempt < 3; ++attempt) {
            ClickAt(Middle(bar, Gui([&] { return bar->actionGeometry(menu); })));
            if (OpenedPopup()) break;
        }
        return ClickEntries(entries);
    }
    // Right-clicks a point and clicks the entries of the context menu in turn.
    bool ContextMenu(QPoint at, const std::vector<QString>& entries) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            ClickAt(at, 3);
            if (OpenedPopup()) break;
        }
        return ClickEntries(entries);
    }
    // Clicks the entries of an open menu in turn; a missing one closes it.
    bool ClickEntries(const std::vector<QString>& entries) {
        for (const QString& e : entries)
            if (!ClickEntry(e)) {
                Key("Escape Escape Escape");
                return false;
            }
        return true;
    }

    // ---- lists and trees

    QPoint RowPoint(QTreeWidget* list, int row) {
        return Gui([&] {
            QTreeWidgetItem* it = list->topLevelItem(row);
            if (!it) return QPoint();
            list->scrollToItem(it);
            return list->viewport()->mapToGlobal(list->visualItemRect(it).center());
        });
    }
    QPoint TreePoint(QTreeWidget* tree, const QString& label) {
        return Gui([&] {
            const auto found = tree->findItems(label, Qt::MatchExactly | Qt::MatchRecursive);
            if (found.isEmpty()) return QPoint();
            tree->scrollToItem(found.front());
            return tree->viewport()->mapToGlobal(tree->visualItemRect(found.front()).center());
        });
    }
    // Selects rows of a list with clicks (the first alone, the others with Ctrl).
    bool SelectRows(QTreeWidget* list, const std::vector<int>& rows) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            for (size_t i = 0; i < rows.size(); ++i) ClickAt(RowPoint(list, rows[i]), 1, i ? "ctrl" : "");
            const bool ok = WaitGui(
                [&] {
                    for (int r = 0; r < list->topLevelItemCount(); ++r) {
                        const bool want = std::find(rows.begin(), rows.end(), r) != rows.end();
                        if (list->topLevelItem(r)->isSelected() != want) return false;
                    }
                    return true;
                },
                2000);
            if (ok) return true;
        }
        return false;
    }

    // ---- what the user sees, for the failure message

    std::string Screenshot(const std::string& path) {
        RunShell("/usr/bin/import -window root " + Quoted(path));
        return path;
    }
    // Closes whatever dialog or menu is still open (after a failed step).
    void CloseOpenDialogs() {
        for (int i = 0; i < 20; ++i) {
            const bool any = Gui([] {
                if (QWidget* p = QApplication::activePopupWidget()) {
                    p->close();
                    return true;
                }
                if (QWidget* m = QApplication::activeModalWidget()) {
                    if (auto* d = qobject_cast<QDialog*>(m))
                        d->reject();
                    else
                        m->close();
                    return true;
                }
                return false;
            });
            if (!any) return;
            std::this_thread::sleep_for(100ms);
        }
    }
};

// Runs body in a driver thread while this (the GUI) thread runs the event
// loop, and returns when the body has ended.
inline void Drive(Hands& hands, const std::function<void()>& body) {
    std::atomic<bool> done{false};
    g_modalWatchdogPaused = true;
    const bool quitOnClose = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    std::thread driver([&] {
        body();
        hands.CloseOpenDialogs();
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done) loop.quit();
    });
    poll.start(50);
    loop.exec();
    driver.join();
    QApplication::setQuitOnLastWindowClosed(quitOnClose);
    g_modalWatchdogPaused = false;
}

}  // namespace journey
