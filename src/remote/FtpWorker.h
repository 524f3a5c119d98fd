// The one FTP worker of the program: its start, its ticker, its end routine
// and status line, the result lists the timer takes over, and the hooks
// through which a worker reaches the window without touching it.
#pragma once

#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "model/FileItem.h"

class CProgramData;

// The window road installs, before the first FTP command: SetGuiPoster (a
// queued call onto the GUI thread), SetMainProgramData, SetInputTextSink,
// SetMessageTextSink, SetModifierQuery and SetStatusTextSink. Its one-second
// timer takes the results over (TakeStatusResults, TakeTransferResults) and,
// every 240 seconds, starts a keep-alive pass (StartKeepAlivePass); closing
// the window calls ShutdownFtp and then CloseAllConnections.

// ---- hooks installed by the window road (defaults suit tests and batch) ----

using GuiTask = std::function<void()>;
// How a task reaches the GUI thread. Without a poster the task runs at once.
void SetGuiPoster(std::function<void(GuiTask)> poster);
void PostToGui(GuiTask task);

// The program's main data (owned by the main frame). Posted tasks apply
// vault and item changes to it.
void SetMainProgramData(CProgramData* data);
CProgramData* GetMainProgramData();

// The Input window's text and the whole Message Window text. The message
// sink is called on the caller's thread and keeps the order of the trace
// lines: on the GUI thread it replaces the text at once, from a worker it
// queues the change behind the lines already written.
void SetInputTextSink(std::function<void(const std::string&)> sink);
void SetInputWindowText(const std::string& text);
void SetMessageTextSink(std::function<void(const std::string&)> sink);
void SetMessageWindowText(const std::string& text);

// Whether Shift and Control are both held right now.
void SetModifierQuery(std::function<bool()> query);
bool ShiftAndControlHeld();

// The status-bar time pane: the ticker's elapsed time; the end routine
// appends "+". A sink hears every change.
void SetStatusTextSink(std::function<void(const std::string&)> sink);
std::string GetFtpStatusText();
void SetFtpStatusText(const std::string& text);

// ---- result lists -----------------------------------------------------------

// The three FTP result lists and the basket they belong to, under one mutex.
struct FtpResultLists {
    std::vector<CFileItem> transfer;     // g_TransferList
    std::vector<CFileItem> statusCheck;  // g_StatusCheckList
    std::vector<CFileItem> third;        // g_FtpThirdResultList
    int project = 0, session = 0, basket = 0;
};
// Locks the lists for the lifetime of the returned guard.
class FtpResultsLock {
public:
    FtpResultsLock();
    FtpResultsLock(const FtpResultsLock&) = delete;
    FtpResultsLock& operator=(const FtpResultsLock&) = delete;
    FtpResultLists* operator->() { return &m_lists; }
    FtpResultLists& operator*() { return m_lists; }
private:
    std::lock_guard<std::mutex> m_guard;
    FtpResultLists& m_lists;
};
void ClearFtpResultLists();
// The timer's part: while FTP is idle, applies the transfer results to the
// data's items and compares the status-check results (then empties both).
// True when something was applied.
bool ApplyFtpResults(CProgramData& data);
// The timer's take-over, one list at a time: while FTP is idle and the list
// is not empty, moves it into items (the list is left empty) together with
// the project, session and basket of the run. False otherwise (the list
// stays for a later tick). The close takes them over whether or not the
// worker it stopped has ended (anyWorker): what has finished is kept.
struct FtpResultTake {
    std::vector<CFileItem> items;
    int project = 0, session = 0, basket = 0;
};
bool TakeStatusResults(FtpResultTake& out, bool anyWorker = false);
bool TakeTransferResults(FtpResultTake& out, bool anyWorker = false);

// ---- the worker ---------------------------------------------------------------

// Thrown by EndFtpWorker to end the worker; the worker's frame catches it.
class FtpWorkerExit : public std::exception {
public:
    explicit FtpWorkerExit(std::string text) : m_text(std::move(text)) {}
    const char* what() const noexcept override { return m_text.c_str(); }
private:
    std::string m_text;
};

// Claims the FTP slot: false (and "One FTP session is already on..." through
// the prompter when message is not empty) while a worker runs; otherwise FTP
// is busy, the break flag is down and the three result lists are empty.
bool ClaimFtpSlot(const std::string& busyMessage);

// Starts the worker body on its own thread after the slot was claimed. The
// body runs with the ticker beside it and with the connection registry held.
// It ends through EndFtpWorker; a body that returns ends with "over".
void StartFtpWorker(std::function<void()> body);
// Runs a body the same way on the calling thread (the on-demand fetch).
void RunFtpWorkerHere(std::function<void()> body);
// Waits up to ms for the last worker thread; true when none runs.
bool JoinFtpWorker(int ms);
// Closing the window: raises the break flag and gives the worker a moment
// to stop between blocks (so that a file whose last block has gone is
// finished and recorded; a file sent straight over the server's copy, until
// the server's final reply to it), then shuts every connection's sockets down so
// blocked calls return, and waits for the worker, the keep-alive pass and a
// step of the remote browser (to let go of its connection): up to ms in all.
bool ShutdownFtp(int ms);

// The run's list of the items that did not go (TransferReport.h), the status
// line "--- FTP " + text + " ---"; FTP idle, break, ticker and on-demand
// flags cleared.
void LogFtpStatus(const std::string& text);
// LogFtpStatus, progress reset, "+" on the time pane, then ends the worker.
[[noreturn]] void EndFtpWorker(const std::string& text);
// The same without ending the caller (for a start refused on the GUI thread).
void FinishFtpWorker(const std::string& text);

// "-?- " + text + the exception's text. Keep going: auto-sync off and return,
// with "Auto-sync off: " + failed + " failed." when it was on; otherwise
// EndFtpWorker("unsuccessful").
void LogFtpFailure(const std::exception& e, const std::string& text, bool keepGoing,
                   const std::string& failed = std::string());

// "h:m:s.t" of a span in milliseconds, no leading zeros; hours wrap at 24.
std::string FormatElapsedTime(long long milliseconds);
