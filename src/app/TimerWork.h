// The work of the main window's one-second timer: autosave, keep-alive, taking over FTP results, auto-sync and the periodic sync check.
#pragma once

#include <memory>
#include <string>

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
    // One keep-alive pass over the open connections, on a thread of its
    // own; a connection that fails is dropped and its account shown lost.
    void SendKeepAlive();
    // The close's part: takes over the results of every item the stopped
    // worker finished, so that the save keeps them.
    void TakeOverResultsAtClose();
    // The vault account of (host, user) gets status 4 and the Control panel
    // redraws it (GUI thread).
    void MarkAccountLost(const std::string& host, const std::string& user);

    // Counters as the tick left them.
    int AutosaveCounter() const { return m_autosave; }
    int KeepAliveCounter() const { return m_keepAlive; }
    int AutoUpdateCounter() const { return m_autoUpdate; }
    int BlinkCounter() const { return m_blink; }
    int AutosaveTarget() const { return m_autosaveTarget; }

private:
    void TakeOverStatusResults(bool anyWorker = false);
    void TakeOverTransferResults(bool anyWorker = false);

    CMainFrame& m_frame;
    int m_autosave = 1;
    int m_keepAlive = 1;
    int m_autoUpdate = 1;
    int m_blink = 1;
    int m_autosaveTarget = 0;  // 0: the session folder next, 1: its backup folder
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
