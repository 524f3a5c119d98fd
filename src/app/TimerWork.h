// The work of the main window's one-second timer: autosave, keep-alive, taking over FTP results, auto-sync and the periodic sync check.
#pragma once

class CMainFrame;

class CTimerWork {
public:
    explicit CTimerWork(CMainFrame& frame);
    ~CTimerWork();
    CTimerWork(const CTimerWork&) = delete;
    CTimerWork& operator=(const CTimerWork&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();
    // The start values of the counters (the first data load sets them).
    void ResetCounters();
    // One tick of the one-second timer.
    void OnTimerTick();

private:
    CMainFrame& m_frame;
};
