#include "remote/FtpWorker.h"

#include <condition_variable>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpConnections.h"
#include "remote/RemoteStatus.h"
#include "remote/RexecClient.h"
#include "remote/TransferReport.h"

namespace {

std::mutex g_hookMutex;
std::function<void(GuiTask)> g_poster;
CProgramData* g_pMainData = nullptr;
std::function<void(const std::string&)> g_inputSink;
std::function<void(const std::string&)> g_messageSink;
std::function<bool()> g_modifierQuery;
std::function<void(const std::string&)> g_statusSink;
std::string g_strStatusText;

std::mutex g_resultsMutex;
FtpResultLists g_results;

std::mutex g_threadMutex;
std::thread g_worker;
std::atomic<bool> g_workerRunning{false};

template <class F>
F GetHook(const F& hook) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    return hook;
}

const char* const kRexecAbortText =
    "User interruption. REXEC aborted.\r\n"
    "Output from REXEC is discarded.\r\n"
    "---------------------------------";

// The ticker sleeps on this between its steps, so that the end of a worker
// does not wait for the rest of a step.
std::mutex g_tickerMutex;
std::condition_variable g_tickerWake;

void StopTicker() {
    {
        std::lock_guard<std::mutex> g(g_tickerMutex);
        g_bFtpTicker = false;
    }
    g_tickerWake.notify_all();
}

// The elapsed time of a run, after "(On-Demand) " for the fetch of "Open File".
void Ticker(std::chrono::steady_clock::time_point start, std::string label) {
    int pos = 0;
    while (g_bFtpTicker) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start).count();
        SetFtpStatusText(label + FormatElapsedTime(ms));
        {
            std::unique_lock<std::mutex> lock(g_tickerMutex);
            if (g_tickerWake.wait_for(lock, std::chrono::milliseconds(100), [] { return !g_bFtpTicker; }))
                break;
        }
        CHost account = GetFtpAccount();
        if (IsConnectionOpen(account.m_strHost, account.m_strUser)) {
            if (pos >= g_nProgressRange) pos = 0;
            g_nProgressPos = pos;
            pos += g_nProgressStep;
        }
    }
}

// Runs a worker body with the ticker and the connection registry; every way
// out of the body ends in the status line.
void WorkerFrame(const std::function<void()>& body) {
    std::lock_guard<std::mutex> use(FtpConnectionsInUse());
    g_bFtpTicker = true;
    // The status text starts here: a run may be over before the ticker's first step.
    const auto start = std::chrono::steady_clock::now();
    const std::string label = g_bOnDemandLogin ? "(On-Demand) " : "";
    SetFtpStatusText(label + FormatElapsedTime(0));
    std::thread ticker(Ticker, start, label);
    try {
        body();
        FinishFtpWorker("over");
    } catch (const FtpWorkerExit&) {
        // The end routine has written the status line.
    } catch (const CFtpClient::UserAbort& a) {
        if (a.WasUpload())
            WriteTraceString("-?- The upload of " + a.RemoteFile() + " was stopped: " +
                             (a.RemoteKept() ? "the file on the host was left as it was."
                                             : "the file on the host may be incomplete."));
        LogFtpStatus("User-aborted");
        DisconnectHost(a.Host(), a.User());
    } catch (const CRexecClient::UserAbort&) {
        SetInputWindowText(kRexecAbortText);
        FinishFtpWorker("-r-aborted");
    } catch (const std::exception& e) {
        WriteTraceString(std::string("-?- ") + e.what());
        FinishFtpWorker("unsuccessful");
    } catch (...) {
        WriteTraceString("-?- The run stopped on an unknown error.");
        FinishFtpWorker("unsuccessful");
    }
    StopTicker();
    ticker.join();
}

}  // namespace

void SetGuiPoster(std::function<void(GuiTask)> poster) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_poster = std::move(poster);
}

void PostToGui(GuiTask task) {
    auto poster = GetHook(g_poster);
    if (poster)
        poster(std::move(task));
    else
        task();
}

void SetMainProgramData(CProgramData* data) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_pMainData = data;
}

CProgramData* GetMainProgramData() {
    std::lock_guard<std::mutex> g(g_hookMutex);
    return g_pMainData;
}

void SetInputTextSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_inputSink = std::move(sink);
}

void SetInputWindowText(const std::string& text) {
    auto sink = GetHook(g_inputSink);
    if (sink) PostToGui([sink, text] { sink(text); });
}

void SetMessageTextSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_messageSink = std::move(sink);
}

void SetMessageWindowText(const std::string& text) {
    auto sink = GetHook(g_messageSink);
    if (sink) sink(text);
}

void SetModifierQuery(std::function<bool()> query) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_modifierQuery = std::move(query);
}

bool ShiftAndControlHeld() {
    auto q = GetHook(g_modifierQuery);
    return q ? q() : false;
}

void SetStatusTextSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_statusSink = std::move(sink);
}

std::string GetFtpStatusText() {
    std::lock_guard<std::mutex> g(g_hookMutex);
    return g_strStatusText;
}

void SetFtpStatusText(const std::string& text) {
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard<std::mutex> g(g_hookMutex);
        g_strStatusText = text;
        sink = g_statusSink;
    }
    if (sink) sink(text);
}

FtpResultsLock::FtpResultsLock() : m_guard(g_resultsMutex), m_lists(g_results) {}

void ClearFtpResultLists() {
    FtpResultsLock lists;
    lists->transfer.clear();
    lists->statusCheck.clear();
    lists->third.clear();
}

namespace {
bool TakeList(std::vector<CFileItem> FtpResultLists::*list, FtpResultTake& out, bool anyWorker) {
    if (!g_bFtpIdle && !anyWorker) return false;
    FtpResultsLock lists;
    if (((*lists).*list).empty()) return false;
    out.items.clear();
    out.items.swap((*lists).*list);
    out.project = lists->project;
    out.session = lists->session;
    out.basket = lists->basket;
    return true;
}
}  // namespace

bool TakeStatusResults(FtpResultTake& out, bool anyWorker) {
    return TakeList(&FtpResultLists::statusCheck, out, anyWorker);
}
bool TakeTransferResults(FtpResultTake& out, bool anyWorker) {
    return TakeList(&FtpResultLists::transfer, out, anyWorker);
}

bool ApplyFtpResults(CProgramData& data) {
    FtpResultTake transfer, checked;
    const bool anyTransfer = TakeTransferResults(transfer);
    const bool anyChecked = TakeStatusResults(checked);
    for (const CFileItem& item : transfer.items) {
        data.ApplyTransferStatus(item);
        data.ApplyTransferTimes(item);
    }
    for (CFileItem& item : checked.items) CompareRemoteTimes(data, checked.project, item);
    return anyTransfer || anyChecked;
}

bool ClaimFtpSlot(const std::string& busyMessage) {
    bool idle = true;
    // A worker that was told to stop still runs until its end routine: the
    // slot stays taken until its thread is done, whatever the idle flag says.
    if (g_workerRunning || !g_bFtpIdle.compare_exchange_strong(idle, false)) {
        if (!busyMessage.empty()) Prompter().Message(busyMessage, MsgIcon::Stop);
        return false;
    }
    g_bFtpBreak = false;
    AllowQuietReconnects();
    ClearFtpResultLists();
    ClearTransferReport();
    return true;
}

void StartFtpWorker(std::function<void()> body) {
    std::lock_guard<std::mutex> g(g_threadMutex);
    if (g_worker.joinable()) g_worker.join();  // the last one has written its end line
    g_workerRunning = true;
    g_worker = std::thread([body = std::move(body)] {
        WorkerFrame(body);
        g_workerRunning = false;
    });
}

void RunFtpWorkerHere(std::function<void()> body) { WorkerFrame(body); }

bool JoinFtpWorker(int ms) {
    for (int waited = 0; g_workerRunning && waited < ms; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard<std::mutex> g(g_threadMutex);
    if (g_workerRunning) return false;
    if (g_worker.joinable()) g_worker.join();
    return true;
}

bool ShutdownFtp(int ms) {
    g_bFtpClosing = true;
    g_bFtpBreak = true;
    // One wait in all: what has not ended by then is left to the end of the
    // process.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const auto left = [&end] {
        const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        return std::max(0, int(rest.count()));
    };
    const int grace = std::min(ms, 1000);
    // A file being sent straight over the server's copy is let finish
    // while the wait allows, with time left for the rest of the close:
    // finished is when the server has said so, not when the last block
    // has left (the sockets may hold seconds of it yet), and the server's
    // time of the file is read.
    const int sendGrace = std::max(grace, ms - 500);
    const auto straight = [] { return g_bFtpStraightSend || g_bFtpStraightRecord; };
    for (int waited = 0; g_workerRunning && (waited < grace || (straight() && waited < sendGrace));
         waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ShutdownConnections();
    g_bFtpClosing = false;
    const bool keepAliveDone = JoinKeepAlive(left());
    const bool workerDone = JoinFtpWorker(left());
    // A step of the remote browser may still use a connection: its sockets
    // are shut down, so it ends soon. The connections are closed only after
    // it has let go of them (a socket closed under a waiting call would be
    // waited on until the reply time-out).
    // (An on-demand fetch holds them on the window's own thread: nothing to
    // wait for.)
    bool stepDone = g_bOnDemandLogin;
    for (bool last = false; !stepDone && !last;) {
        last = left() == 0;
        std::unique_lock<std::mutex> use(FtpConnectionsInUse(), std::try_to_lock);
        if ((stepDone = use.owns_lock())) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return workerDone && keepAliveDone && stepDone;
}

void LogFtpStatus(const std::string& text) {
    // Whatever ended the run, what did not go is named before its end line.
    WriteTransferReport();
    WriteTraceString("--- FTP " + text + " ---");
    g_bFtpBreak = false;
    g_bOnDemandLogin = false;
    g_bFtpTicker = false;
    g_bFtpIdle = true;
}

void FinishFtpWorker(const std::string& text) {
    LogFtpStatus(text);
    g_nProgressPos = 0;
    std::string status = GetFtpStatusText();
    if (status.empty() || status.back() != '+') SetFtpStatusText(status + "+");
}

void EndFtpWorker(const std::string& text) {
    FinishFtpWorker(text);
    throw FtpWorkerExit(text);
}

void LogFtpFailure(const std::exception& e, const std::string& text, bool keepGoing, const std::string& failed) {
    WriteTraceString("-?- " + text + e.what());
    if (keepGoing) {
        // Auto-sync would try the same again at every tick: it stops, and
        // says so (a button pressed again would otherwise seem to work).
        if (g_bAutoSync.exchange(false))
            WriteTraceString("Auto-sync off: " + (failed.empty() ? std::string("a step of the run") : failed) +
                             " failed.");
        return;
    }
    EndFtpWorker("unsuccessful");
}

std::string FormatElapsedTime(long long milliseconds) {
    long long s = milliseconds / 1000;
    return std::to_string((s / 3600) % 24) + ":" + std::to_string((s / 60) % 60) + ":" +
           std::to_string(s % 60) + "." + std::to_string((milliseconds % 1000) / 100);
}
