// The UI tests share one QApplication on the offscreen platform. Two guards
// keep the suite headless and clean:
//  - a modal dialog or pop-up menu that stays open for two seconds (a test
//    that would wait for a user) fails the running test and is closed;
//  - a top-level window left behind by a test fails the run;
//  - every test starts with no modifier key held.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

// A test that answers dialogs itself, by keys and clicks, pauses the guard.
std::atomic<bool> g_modalWatchdogPaused{false};

namespace {

bool g_windowLeft = false;

class LeftWindowCheck : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& info) override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (m_reported.contains(w)) continue;
            m_reported.insert(w);
            std::fprintf(stderr, "%s.%s left a window behind: %s \"%s\"\n", info.test_suite_name(), info.name(),
                         w->metaObject()->className(), qPrintable(w->windowTitle()));
            g_windowLeft = true;
            w->hide();
        }
    }
    QSet<QWidget*> m_reported;
};

// A key click with Ctrl or Shift leaves the application believing the key is
// still held (the test's release of the modifier key carries the modifier):
// the next test's click on a command that reads the held keys would take
// another path. Each test starts with the keys up.
class ReleaseModifierKeys : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { Release(); }
    void OnTestEnd(const ::testing::TestInfo&) override { Release(); }
    static void Release() {
        if (QGuiApplication::keyboardModifiers() == Qt::NoModifier) return;
        QWidget sink;
        QTest::keyRelease(&sink, Qt::Key_Control, Qt::NoModifier);
    }
};

// Closes a modal window or a menu that nobody answers.
class ModalWatchdog : public QObject {
public:
    ModalWatchdog() {
        m_timer.setInterval(250);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Check(); });
        m_timer.start();
    }

private:
    void Check() {
        if (g_modalWatchdogPaused) {
            m_seen = nullptr;
            return;
        }
        QWidget* w = QApplication::activeModalWidget();
        if (!w) w = QApplication::activePopupWidget();
        if (w != m_seen) {
            m_seen = w;
            m_since = std::chrono::steady_clock::now();
            return;
        }
        if (!w || std::chrono::steady_clock::now() - m_since < std::chrono::seconds(2)) return;
        QString what = w->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(w)) what += ": " + box->text();
        ADD_FAILURE() << "a " << w->metaObject()->className() << " waited for an answer (" << what.toStdString()
                      << ")";
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
        else
            w->close();
        m_seen = nullptr;
    }
    QTimer m_timer;
    QWidget* m_seen = nullptr;
    std::chrono::steady_clock::time_point m_since;
};

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ReleaseModifierKeys);
    ::testing::UnitTest::GetInstance()->listeners().Append(new LeftWindowCheck);
    ModalWatchdog watchdog;
    const int rc = RUN_ALL_TESTS();
    return g_windowLeft ? 1 : rc;
}
