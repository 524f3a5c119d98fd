// The worker of the interactive conversions (the WorkPad's Convert and the
// tab expansion): one at a time, on its own thread, with a ticker on the
// window thread that moves the status bar's time and progress. The body
// never touches a widget; its result is handed to the window thread, where
// the end routine writes the status line and frees the slot.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>
#include <thread>

class QLineEdit;
class QProgressBar;

class CInteractiveWorker : public QObject {
    Q_OBJECT
public:
    // Runs on the worker: fills result, or returns false with the abort marker.
    using Body = std::function<bool(std::string& result, std::string& marker)>;
    // Runs on the window thread with the result of a body that finished; it
    // may take the string over (a big result is moved, never copied).
    using Done = std::function<void(std::string& result)>;

    explicit CInteractiveWorker(QObject* parent = nullptr);
    ~CInteractiveWorker() override;

    // The status bar's progress bar and time pane the ticker moves.
    void SetStatusWidgets(QProgressBar* bar, QLineEdit* time);

    // Claims the conversion slot and starts the body. Refuses, with "One
    // interactive conversion session is already on.", while one runs.
    bool Start(Body body, Done done, const std::string& overText);
    bool IsRunning() const { return m_thread.joinable(); }
    // Processes events until the worker has ended or ms passed (tests, close).
    bool WaitIdle(int ms);

private:
    void Tick();
    void Finish(bool ok, std::string& result, const std::string& marker);

    std::thread m_thread;
    QTimer m_ticker;
    QElapsedTimer m_clock;
    QPointer<QProgressBar> m_bar;
    QPointer<QLineEdit> m_time;
    Done m_done;
    std::string m_overText;
};
