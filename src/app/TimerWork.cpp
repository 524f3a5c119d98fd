#include "app/TimerWork.h"

#include "app/ControlPanelPresenter.h"
#include "app/FtpCommands.h"
#include "app/MainFrame.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "model/Sound.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/RemoteStatus.h"

namespace {
constexpr int kAutosaveTicks = 600;
constexpr int kKeepAliveTicks = 240;
}  // namespace

CTimerWork::CTimerWork(CMainFrame& frame) : m_frame(frame) {}
CTimerWork::~CTimerWork() = default;

void CTimerWork::Wire() {}

void CTimerWork::ResetCounters() {
    m_autosave = 1;
    m_keepAlive = 1;
    m_autoUpdate = 1;
    m_blink = 1;
    m_autosaveTarget = 0;
    m_frame.Presenter().SetBlinkCounter(m_blink);
}

void CTimerWork::OnTimerTick() {
    CProgramData& d = m_frame.Data();
    CMainPresenter& mp = m_frame.Presenter();
    ++m_autosave;
    ++m_keepAlive;
    ++m_autoUpdate;

    // Autosave every ten minutes, by turns into the session folder and its backup.
    if (m_autosave > kAutosaveTicks) {
        Prompter().SetWaitCursor(true);
        if (m_autosaveTarget == 0) {
            mp.WriteMasterFile(g_strSessionInfoDir + kMasterFileName);
            m_autosaveTarget = 1;
        } else {
            mp.WriteMasterFile(g_strSessionBackUpDir + kMasterFileName);
            m_autosaveTarget = 0;
        }
        BeepDone();
        m_autosave = 1;
        m_autoUpdate = 1;
        m_blink = 1;
        mp.SetBlinkCounter(m_blink);
        Prompter().SetWaitCursor(false);
    }

    // While a worker runs the counter goes on, so the first idle tick after
    // a long run sends at once.
    if (g_bFtpIdle && m_keepAlive > kKeepAliveTicks) {
        m_keepAlive = 1;
        SendKeepAlive();
    }

    const int p = d.GetCurProject();
    if (d.GetProjectCount() == 0 || d.GetSessionCount(p) == 0) {
        m_frame.FtpCommands().UpdateCommandChecks();
        return;
    }

    TakeOverStatusResults();
    TakeOverTransferResults();

    if (g_bAutoSync) {
        mp.CheckSyncStatus();
        if (g_bFtpIdle) m_frame.FtpCommands().StartAutoSyncToRemote();
    } else if (g_bAutoUpdate && m_autoUpdate - 1 >= g_nAutoUpdateInc) {
        mp.SetBlinkCounter(m_blink);
        mp.CheckSyncStatus();
        if (!g_bAutoUpBasket) mp.UpdateBasketIcons();
        m_autoUpdate = 1;
        ++m_blink;
    }
    m_frame.FtpCommands().UpdateCommandChecks();
}

void CTimerWork::TakeOverResultsAtClose() {
    const CProgramData& d = m_frame.Data();
    if (d.GetProjectCount() == 0 || d.GetSessionCount(d.GetCurProject()) == 0) return;
    TakeOverStatusResults(true);
    TakeOverTransferResults(true);
}

void CTimerWork::TakeOverStatusResults(bool anyWorker) {
    FtpResultTake results;
    if (!TakeStatusResults(results, anyWorker)) return;
    CProgramData& d = m_frame.Data();
    CMainPresenter& mp = m_frame.Presenter();
    // The lists are rebuilt from the items by the report below.
    mp.ClearRemoteChangeList();
    mp.SetRemoteChangesFetched(1);
    // An item without a time of its last transfer reads "-not sure-": the
    // basket is then not called in sync.
    bool known = true;
    for (CFileItem& item : results.items) known = CompareRemoteTimes(d, results.project, item) && known;
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    // The rows show the basket the check ran on only while it is still shown.
    if (p == results.project && s == results.session && b == results.basket) {
        const int rows = int(mp.FileRows().size());
        for (int r = 0; r < rows; ++r) {
            if (!d.IsValidFileItem(false, p, s, b, r)) break;
            const CFileItem item = d.GetFileItem(p, s, b, r);
            FileRow row = mp.FileRows()[std::size_t(r)];
            const int before = row.image;
            if (item.IsRemoteModified == "Yes") row.image = 29;
            if (item.IsRemoteMissing == "Yes") row.image = 28;
            if (row.image != before) mp.SetFileRow(r, row);
        }
    }
    // Files whose listing failed are not in sync, whatever the others are.
    const std::vector<std::string> unchecked = UncheckedFolderLines(results.items);
    mp.ReportRemoteChanges(true, unchecked.empty() && known);
    for (const std::string& line : unchecked) CMainPresenter::LogMessage(line);
}

void CTimerWork::TakeOverTransferResults(bool anyWorker) {
    FtpResultTake results;
    if (!TakeTransferResults(results, anyWorker)) return;
    CProgramData& d = m_frame.Data();
    CMainPresenter& mp = m_frame.Presenter();
    for (const CFileItem& item : results.items) {
        d.ApplyTransferStatus(item);
        d.ApplyTransferTimes(item);
    }
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    if (p == results.project && s == results.session) {
        const int rows = int(mp.FileRows().size());
        for (int r = 0; r < rows; ++r) {
            if (!d.IsValidFileItem(false, p, s, b, r)) break;
            const CFileItem item = d.GetFileItem(p, s, b, r);
            if (item.IsFTPed == "failed") continue;
            FileRow row = mp.FileRows()[std::size_t(r)];
            row.text = item.FileName;
            row.image = item.GetImageIndex();
            row.host = GetShortHostName(item.RemHost);
            mp.SetFileRow(r, row);
        }
        // A row the run held back or never reached keeps its mark and its
        // place among the local changes: the marks are taken again from
        // the files and the times the run recorded.
        mp.CheckSyncStatus();
    }
    d.ApplyCurrentHostToSession(p, s);
}

void CTimerWork::SendKeepAlive() {
    std::weak_ptr<bool> alive = m_alive;
    StartKeepAlivePass([this, alive](const std::string& host, const std::string& user) {
        PostToGui([this, alive, host, user] {
            if (alive.lock()) MarkAccountLost(host, user);
        });
    });
}

void CTimerWork::MarkAccountLost(const std::string& host, const std::string& user) {
    CProgramData& d = m_frame.Data();
    int c = -1, h = -1;
    d.FindVaultHostEx2(host, user, c, h);
    CHost* account = d.GetHostPtr(c, h);
    if (!account) return;
    account->m_nStatus = 4;
    // The label stays what it was; the picture shows the lost connection.
    m_frame.PanelPresenter().UpdateAccountItem(c, h, true);
}
