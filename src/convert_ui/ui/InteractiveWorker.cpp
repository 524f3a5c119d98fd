#include "convert_ui/ui/InteractiveWorker.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QThread>

#include "widgets/TextRules.h"
#include "convert_ui/WorkPadRun.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpWorker.h"

CInteractiveWorker::CInteractiveWorker(QObject* parent) : QObject(parent) {
    m_ticker.setInterval(100);
    connect(&m_ticker, &QTimer::timeout, this, &CInteractiveWorker::Tick);
}

CInteractiveWorker::~CInteractiveWorker() {
    if (m_thread.joinable()) {
        // Closing: the body sees the stop and ends; its queued end is dropped
        // with this object, so the flags are put back here.
        g_bConversionBreak = true;
        m_thread.join();
        g_bConversionTicker = false;
        g_bConversionBreak = false;
        g_bConversionIdle = true;
    }
}

void CInteractiveWorker::SetStatusWidgets(QProgressBar* bar, QLineEdit* time) {
    m_bar = bar;
    m_time = time;
}

bool CInteractiveWorker::Start(Body body, Done done, const std::string& overText) {
    if (!g_bConversionIdle || m_thread.joinable()) {
        Prompter().Message("One interactive conversion session is already on.", MsgIcon::Stop);
        return false;
    }
    g_bConversionIdle = false;
    g_bConversionBreak = false;
    g_bConversionTicker = true;
    m_done = std::move(done);
    m_overText = overText;
    m_clock.start();
    g_nProgressPos = 0;
    m_ticker.start();
    m_thread = std::thread([this, body = std::move(body)] {
        std::string result, marker;
        bool ok = false;
        try {
            ok = body(result, marker);
        } catch (const std::exception& e) {
            marker = std::string("-i-failed: ") + e.what();
        } catch (...) {
            marker = "-i-failed: an unknown error";
        }
        // The window thread takes the result over; the call is dropped if
        // this object is gone.
        QMetaObject::invokeMethod(
            this,
            [this, ok, result = std::move(result), marker = std::move(marker)]() mutable {
                Finish(ok, result, marker);
            },
            Qt::QueuedConnection);
    });
    return true;
}

bool CInteractiveWorker::WaitIdle(int ms) {
    QElapsedTimer t;
    t.start();
    while (m_thread.joinable() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !m_thread.joinable();
}

void CInteractiveWorker::Tick() {
    if (!g_bConversionTicker) return;
    // The elapsed time becomes the program-wide status text, which the main
    // window's "Intr:" indicator shows.
    const std::string elapsed = FormatElapsedTime(m_clock.elapsed());
    SetFtpStatusText(elapsed);
    if (m_time) m_time->setText(" " + QString::fromStdString(elapsed));
    if (g_nProgressPos >= g_nProgressRange) g_nProgressPos = 0;
    if (m_bar) m_bar->setValue(g_nProgressPos);
    g_nProgressPos += g_nProgressStep;
}

void CInteractiveWorker::Finish(bool ok, std::string& result, const std::string& marker) {
    if (m_thread.joinable()) m_thread.join();
    m_ticker.stop();
    if (ok && m_done) m_done(result);
    m_done = nullptr;
    // The end routine: status line, flags released, progress reset, "+" on the time.
    WriteTrace(InteractiveStatusLine(ok ? m_overText : marker));
    g_bConversionTicker = false;
    g_bConversionBreak = false;
    g_nProgressPos = 0;
    if (m_bar) m_bar->setValue(0);
    if (m_time && !m_time->text().endsWith("+")) m_time->setText(m_time->text() + "+");
    // The status text too, so a later refresh of the indicator keeps the "+".
    const std::string status = GetFtpStatusText();
    if (!status.empty() && status.back() != '+') SetFtpStatusText(status + "+");
    g_bConversionIdle = true;
}
