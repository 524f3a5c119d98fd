#include "app/FtpCommands.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <algorithm>
#include <memory>
#include <set>

#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "compare/TextAccess.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "model/StopCommands.h"
#include "remote/FtpWorker.h"
#include "remote/RemoteBuild.h"
#include "remote/RemoteStatus.h"
#include "remote/ServerChanges.h"
#include "remote/TransferChecks.h"
#include "remote/TransferEngine.h"
#include "remote/TransferReport.h"

namespace {

const char* const kFtpBusy = "One FTP session is already on...";

// Ends the worker without a status line: the run was given up before it
// reached the engine's own end.
[[noreturn]] void GiveUpWorker() {
    WriteTransferReport();
    g_bFtpTicker = false;
    g_bFtpBreak = false;
    g_bFtpIdle = true;
    throw FtpWorkerExit("given up");
}

}  // namespace

CFtpCommands::CFtpCommands(CMainFrame& frame) : m_frame(frame) {}

CFtpCommands::~CFtpCommands() { m_progressTimer.stop(); }

void CFtpCommands::Wire() {
    CMainFrame& f = m_frame;
    f.SetCommandHandler(32557, [this] { StartFtpGetSelected(); });
    f.SetCommandHandler(32564, [this] { StartFtpPutSelected(); });
    f.SetCommandHandler(32558, [this] { StartFtpGetAll(); });
    f.SetCommandHandler(32565, [this] { StartFtpPutAll(); });
    f.SetCommandHandler(32568, [this] { StartManualSyncToLocal(); });
    f.SetCommandHandler(32569, [this] { StartManualSyncToRemote(); });
    f.SetCommandHandler(32562, [this] { OnGetRemoteStatus(); });
    f.SetCommandHandler(32555, [this] { ReportLocalChanges(); });
    f.SetCommandHandler(32566, [this] { OnRunBatFile(); });
    f.SetCommandHandler(32682, [this] { FillItemDirsFromOutput(1); });
    f.SetCommandHandler(32683, [this] { FillItemDirsFromOutput(2); });
    const std::pair<int, const char*> texts[] = {
        {32558, "To Local "},
        {32565, "To Remote"},
        {32568, "Manual sync to local"},
        {32569, "Manual sync to remote"},
        {32562, "Get status of remote files"},
        {32555, "Get status of local files"},
        {32566, "Run bat file"},
        {32682, "Repair Local directories from Output Window"},
        {32683, "Repair Remote directories from Output Window"}};
    for (const auto& [id, text] : texts) f.SetCommandText(id, text);
    for (int id : {32567, 32574, 32568, 32569})
        if (QAction* a = f.Action(id)) a->setCheckable(true);
    // The stop and the auto-sync switch show their new state at once.
    f.SetCommandHandler(32567, [this] {
        OnStopFtp();
        UpdateCommandChecks();
    });
    f.SetCommandHandler(32574, [this] {
        // Switched on or off, auto-sync looks at what it could not check again.
        m_autoSyncUnchecked.clear();
        OnAutoSyncToRemote();
        UpdateCommandChecks();
    });
    // The marks are brought up to date whenever a menu opens (and every tick).
    for (QMenu* menu : f.findChildren<QMenu*>())
        QObject::connect(menu, &QMenu::aboutToShow, &f, [this] { UpdateCommandChecks(); });
    UpdateCommandChecks();

    // The ticker of a worker counts in g_nProgressPos; the bar follows it.
    m_progressTimer.setInterval(100);
    QObject::connect(&m_progressTimer, &QTimer::timeout, &f, [this] { UpdateProgress(); });
    m_progressTimer.start();
}

void CFtpCommands::UpdateProgress() {
    if (!m_progressBar) m_progressBar = m_frame.findChild<QProgressBar*>("2174");
    if (m_progressBar && m_progressBar->value() != g_nProgressPos) m_progressBar->setValue(g_nProgressPos);
}

void CFtpCommands::UpdateCommandChecks() {
    auto set = [this](int id, bool on) {
        if (QAction* a = m_frame.Action(id)) a->setChecked(on);
    };
    set(32567, g_bFtpIdle);
    set(32574, g_bAutoSync);
    set(32568, m_frame.Presenter().RemoteChangesFetched() != 0);
    set(32569, m_frame.Presenter().LocalChangesSent() != 0);
}

void CFtpCommands::ShowMessageWindow() { m_frame.MessageWindow().show(); }

// ---------------------------------------------------------------- starters

bool CFtpCommands::StartFtpGetSelected() {
    CProgramData& d = m_frame.Data();
    const int b = d.GetCurBasket();
    return StartTransferJobs(false, {{b, d.GetSelection(d.GetCurProject(), d.GetCurSession(), b)}},
                             After::Nothing);
}

bool CFtpCommands::StartFtpPutSelected() {
    CProgramData& d = m_frame.Data();
    const int b = d.GetCurBasket();
    return StartTransferJobs(true, {{b, d.GetSelection(d.GetCurProject(), d.GetCurSession(), b)}},
                             After::Nothing);
}

namespace {
// Every item of each basket selected in the "File Baskets" list, in row
// order; empty baskets are left out.
template <class Job>
std::vector<Job> SelectedBasketJobs(CMainFrame& frame) {
    CProgramData& d = frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession();
    std::vector<Job> jobs;
    for (int b : frame.BasketList()->SelectedRows()) {
        const int count = d.GetFileItemCount(p, s, b);
        if (count <= 0) continue;
        Job job{b, {}};
        for (int f = 0; f < count; ++f) job.items.push_back(f);
        jobs.push_back(std::move(job));
    }
    return jobs;
}
}  // namespace

bool CFtpCommands::StartFtpGetAll() {
    return StartTransferJobs(false, SelectedBasketJobs<Job>(m_frame), After::Nothing);
}

bool CFtpCommands::StartFtpPutAll() {
    return StartTransferJobs(true, SelectedBasketJobs<Job>(m_frame), After::Nothing);
}

bool CFtpCommands::StartManualSyncToLocal() {
    const int b = m_frame.Data().GetCurBasket();
    return StartTransferJobs(false, {{b, m_frame.Presenter().RemoteChangeList()}}, After::Fetched);
}

bool CFtpCommands::StartManualSyncToRemote() {
    const std::vector<int> changes = m_frame.Presenter().LocalChangeList();
    if (changes.empty()) return false;
    return StartTransferJobs(true, {{m_frame.Data().GetCurBasket(), changes}}, After::Sent);
}

bool CFtpCommands::StartAutoSyncToRemote() {
    const std::vector<int> changes = m_frame.Presenter().LocalChangeList();
    if (changes.empty()) {
        m_autoSyncHeld.clear();
        m_autoSyncUnchecked.clear();
        TakeHeldLines();
        TakeUncheckedHeld();
        return false;
    }
    return StartTransferJobs(true, {{m_frame.Data().GetCurBasket(), changes}}, After::Sent, true);
}

void CFtpCommands::HoldItemsThatOverwriteAChange(bool toRemote, std::vector<Job>& jobs, bool unattended,
                                               std::vector<int>& held,
                                               std::vector<std::pair<CFileItem, std::string>>& named) {
    // A send asks about the changes a status check marked inside its run,
    // in the one question its own look asks.
    if (toRemote && !unattended) return;
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession();
    if (unattended)
        for (std::string& key : TakeUncheckedHeld()) m_autoSyncUnchecked.insert(std::move(key));
    std::vector<CFileItem> both;
    std::vector<std::pair<size_t, size_t>> where;  // job, place in its list
    std::vector<std::pair<size_t, size_t>> unchecked;  // left by auto-sync before, already named
    for (size_t j = 0; j < jobs.size(); ++j)
        for (size_t k = 0; k < jobs[j].items.size(); ++k) {
            if (!d.IsValidFileItem(false, p, s, jobs[j].basket, jobs[j].items[k])) continue;
            const CFileItem item = d.GetFileItem(p, s, jobs[j].basket, jobs[j].items[k]);
            if (!OverwritesAChange(item, toRemote)) {
                if (unattended && toRemote && m_autoSyncUnchecked.count(RemoteTargetKey(item)))
                    unchecked.emplace_back(j, k);
                continue;
            }
            both.push_back(item);
            where.emplace_back(j, k);
        }
    // A file that several baskets hold is named once.
    std::vector<CFileItem> files;
    std::set<std::string> seen;
    for (const CFileItem& item : both)
        if (seen.insert(LocalTargetKey(item) + '\n' + RemoteTargetKey(item)).second) files.push_back(item);
    if (unattended) {
        // Named once: the timer comes here every second while they stay
        // (the run names those it found changed on the server itself).
        for (std::string& line : TakeHeldLines()) m_autoSyncHeld.push_back(std::move(line));
        std::vector<std::string> lines;
        for (const CFileItem& item : files) {
            const std::string line = BothChangedHeldLine(item, toRemote);
            if (std::find(m_autoSyncHeld.begin(), m_autoSyncHeld.end(), line) == m_autoSyncHeld.end()) {
                WriteTraceString(line);
                named.emplace_back(item, std::string());
            }
            lines.push_back(line);
        }
        m_autoSyncHeld = std::move(lines);
    }
    if (both.empty() && unchecked.empty()) return;
    if (!unattended &&
        Prompter().AskDefaultNo(BothChangedQuestion(files, toRemote), MsgIcon::Question) == Answer::Yes)
        return;
    where.insert(where.end(), unchecked.begin(), unchecked.end());
    std::vector<std::vector<bool>> drop(jobs.size());
    for (size_t j = 0; j < jobs.size(); ++j) drop[j].assign(jobs[j].items.size(), false);
    for (const auto& [j, k] : where) {
        drop[j][k] = true;
        held.push_back(jobs[j].items[k]);
    }
    if (!unattended)
        for (const CFileItem& item : files) named.emplace_back(item, BothChangedHeldReason(item, toRemote));
    for (size_t j = 0; j < jobs.size(); ++j) {
        std::vector<int> kept;
        for (size_t k = 0; k < jobs[j].items.size(); ++k)
            if (!drop[j][k]) kept.push_back(jobs[j].items[k]);
        jobs[j].items = std::move(kept);
    }
}

void CFtpCommands::NoteIncompleteItems(std::vector<Job>& jobs, bool unattended) {
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession();
    bool incomplete = false;
    for (Job& job : jobs) {
        std::vector<int> kept;
        for (int f : job.items) {
            if (d.IsValidFileItem(false, p, s, job.basket, f)) {
                const CFileItem item = d.GetFileItem(p, s, job.basket, f);
                const bool noFolder = item.RemoteDir.empty() || item.LocalDir.empty();
                const bool noAccount = item.RemHost.empty() || item.RemUser.empty();
                incomplete = incomplete || noFolder || noAccount;
                // Its login would ask, and nobody is there to answer.
                if (unattended && noAccount && !noFolder) continue;
            }
            kept.push_back(f);
        }
        job.items = std::move(kept);
    }
    if (incomplete && g_bAutoSync) {
        g_bAutoSync = false;
        WriteTrace("Auto-sync off.");
    }
}

namespace {

bool AnyItems(const std::vector<CFtpCommands::Job>& jobs) {
    for (const CFtpCommands::Job& job : jobs)
        if (!job.items.empty()) return true;
    return false;
}

// A run over several baskets: items of different baskets that would write
// one file stay behind (the engine checks each basket itself). The run's
// closing list names them, and the items a stop leaves in baskets it never
// reaches, in the run's order.
void RefuseSameTargetsAcrossBaskets(const CProgramData& d, int p, int s, bool toRemote,
                                    std::vector<CFtpCommands::Job>& jobs) {
    std::vector<CFileItem> all;
    std::vector<std::pair<size_t, size_t>> where;  // job, place in its list
    for (size_t j = 0; j < jobs.size(); ++j)
        for (size_t k = 0; k < jobs[j].items.size(); ++k)
            if (d.IsValidFileItem(false, p, s, jobs[j].basket, jobs[j].items[k])) {
                all.push_back(d.GetFileItem(p, s, jobs[j].basket, jobs[j].items[k]));
                where.emplace_back(j, k);
            }
    std::vector<std::vector<bool>> drop(jobs.size());
    for (size_t j = 0; j < jobs.size(); ++j) drop[j].assign(jobs[j].items.size(), false);
    for (size_t i : FindSameTargetItems(all, toRemote)) {
        WriteTraceString(SameTargetRefusal(all[i], toRemote));
        drop[where[i].first][where[i].second] = true;
    }
    for (size_t i = 0; i < all.size(); ++i) ExpectTransferItem(all[i], drop[where[i].first][where[i].second]);
    for (size_t j = 0; j < jobs.size(); ++j) {
        std::vector<int> kept;
        for (size_t k = 0; k < jobs[j].items.size(); ++k)
            if (!drop[j][k]) kept.push_back(jobs[j].items[k]);
        jobs[j].items = std::move(kept);
    }
}

// The worker's part: each basket's run in turn on the worker's copy of the
// data, which takes what each run wrote before the next basket's items are
// gathered from it; the results of the baskets before stay in the result
// lists however the run ends.
void RunTransferJobs(CProgramData& snapshot, const std::vector<CFtpCommands::Job>& jobs, bool toRemote, int p,
                     int s) {
    std::vector<std::vector<CFileItem>> parts;
    for (const CFtpCommands::Job& job : jobs) {
        parts.emplace_back();
        for (int f : job.items)
            if (snapshot.IsValidFileItem(false, p, s, job.basket, f))
                parts.back().push_back(snapshot.GetFileItem(p, s, job.basket, f));
    }
    CServerChangeRun run(snapshot, std::move(parts));
    std::vector<CFileItem> done;  // results of the baskets before the current one
    auto keepEarlier = [&] {
        if (done.empty()) return;
        FtpResultsLock lists;
        lists->transfer.insert(lists->transfer.begin(), done.begin(), done.end());
        done.clear();
    };
    try {
        for (size_t j = 0; j < jobs.size(); ++j) {
            const CFtpCommands::Job& job = jobs[j];
            if (job.items.empty()) continue;
            run.StartPart(j);
            const bool ok = toRemote ? TransferToRemote(snapshot, p, s, job.basket, job.items)
                                     : TransferToLocal(snapshot, p, s, job.basket, job.items);
            if (!ok) {
                keepEarlier();
                GiveUpWorker();
            }
            if (jobs.size() > 1) {
                FtpResultsLock lists;
                run.TakeResults(lists->transfer);
                done.insert(done.end(), lists->transfer.begin(), lists->transfer.end());
                lists->transfer.clear();
            }
        }
    } catch (...) {
        keepEarlier();
        throw;
    }
    keepEarlier();
}

// The rows a sync was asked to move.
std::vector<int> SyncRows(const std::vector<CFtpCommands::Job>& jobs) {
    std::vector<int> rows;
    for (const CFtpCommands::Job& job : jobs) rows.insert(rows.end(), job.items.begin(), job.items.end());
    return rows;
}

// The items of a sync as the run starts (a login may rename their account
// in the copy), to ask the run's closing list which of them went.
std::vector<std::pair<int, CFileItem>> SyncItems(const CProgramData& data,
                                                 const std::vector<CFtpCommands::Job>& jobs, int p, int s) {
    std::vector<std::pair<int, CFileItem>> items;
    for (const CFtpCommands::Job& job : jobs)
        for (int f : job.items)
            if (data.IsValidFileItem(false, p, s, job.basket, f)) items.emplace_back(f, data.GetFileItem(p, s, job.basket, f));
    return items;
}

// The rows of those items that went, ascending.
std::vector<int> RowsThatWent(const std::vector<std::pair<int, CFileItem>>& items) {
    std::vector<CFileItem> files;
    files.reserve(items.size());
    for (const auto& [row, item] : items) files.push_back(item);
    const std::vector<bool> went = TransfersWent(files);
    std::vector<int> rows;
    for (size_t k = 0; k < items.size(); ++k)
        if (went[k]) rows.push_back(items[k].first);
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool AllOf(const std::vector<int>& rows, const std::vector<int>& sortedRows) {
    for (int row : rows)
        if (!std::binary_search(sortedRows.begin(), sortedRows.end(), row)) return false;
    return true;
}

// Items held back before or during the run, refused or failed stay to be
// synced; the sync is done only when every one went.
// fetched: a sync to local.
void TakeSyncOutcome(CMainPresenter& presenter, bool fetched, const std::vector<int>& went, bool all) {
    if (fetched) {
        std::vector<int> left;
        for (int row : presenter.RemoteChangeList())
            if (!std::binary_search(went.begin(), went.end(), row)) left.push_back(row);
        presenter.SetRemoteChangesFetched(left.empty() ? 1 : 0);
        presenter.KeepRemoteChanges(left);
    } else if (all) {
        presenter.SetLocalChangesSent(1);
    }
}

}  // namespace

bool CFtpCommands::StartTransferJobs(bool toRemote, std::vector<Job> jobs, After after, bool unattended) {
    if (!g_bFtpIdle) {
        Prompter().Message(kFtpBusy, MsgIcon::Stop);
        return false;
    }
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession();
    // What a sync was asked to move: the run below may leave some of it.
    const std::vector<int> listed = after != After::Nothing ? SyncRows(jobs) : std::vector<int>();
    // The checks that may ask the user run here, before the worker exists
    // (only a login the run needs asks from inside it).
    NoteIncompleteItems(jobs, unattended);
    if (unattended && !AnyItems(jobs)) {
        UpdateCommandChecks();
        return false;
    }
    // A fetch replaces a local file only while it is as the checks before
    // the run saw it.
    LocalFileStamps seen;
    if (!toRemote) {
        std::vector<CFileItem> fetched;
        for (const Job& job : jobs)
            for (int f : job.items)
                if (d.IsValidFileItem(false, p, s, job.basket, f)) fetched.push_back(d.GetFileItem(p, s, job.basket, f));
        seen = StampLocalFiles(fetched);
    }
    // A copy changed since the last transfer is overwritten only when the user says so.
    std::vector<int> held;
    std::vector<std::pair<CFileItem, std::string>> named;
    HoldItemsThatOverwriteAChange(toRemote, jobs, unattended, held, named);
    // A run the user started goes on with every item held: its closing
    // list names them.
    if (unattended && !held.empty() && !AnyItems(jobs)) {
        UpdateCommandChecks();
        return false;
    }
    ShowMessageWindow();
    if (!ClaimFtpSlot(kFtpBusy)) return false;
    // The run's closing list names them first, each once.
    for (const auto& [item, reason] : named) NoteTransferHeld(item, reason);
    if (jobs.size() > 1) RefuseSameTargetsAcrossBaskets(d, p, s, toRemote, jobs);

    // The worker works on its own copy; what it finds comes back through the
    // result lists (the timer) and the posted task below.
    auto snapshot = std::make_shared<CProgramData>(d);
    std::weak_ptr<bool> alive = m_alive;
    CMainPresenter* presenter = &m_frame.Presenter();
    StartFtpWorker([snapshot, jobs = std::move(jobs), toRemote, after, p, s, alive, presenter, listed, unattended,
                    seen = std::move(seen)] {
        const CUnattendedRun nobodyAsked(unattended);
        const CFetchDecided decided(seen);
        const auto items = after != After::Nothing ? SyncItems(*snapshot, jobs, p, s)
                                                   : std::vector<std::pair<int, CFileItem>>();
        RunTransferJobs(*snapshot, jobs, toRemote, p, s);
        if (after == After::Nothing) return;
        const std::vector<int> went = RowsThatWent(items);
        const bool all = AllOf(listed, went);
        PostToGui([alive, presenter, after, went, all] {
            if (alive.lock()) TakeSyncOutcome(*presenter, after == After::Fetched, went, all);
        });
    });
    UpdateCommandChecks();
    return true;
}

// ---------------------------------------------------------------- status and remote work

void CFtpCommands::OnGetRemoteStatus() {
    CProgramData& d = m_frame.Data();
    Prompter().SetWaitCursor(true);
    ShowMessageWindow();
    StartRemoteStatusCheck(d, d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
    Prompter().SetWaitCursor(false);
    UpdateCommandChecks();
}

void CFtpCommands::ReportLocalChanges() {
    CMainPresenter& mp = m_frame.Presenter();
    mp.CheckSyncStatus();
    if (!g_bFtpIdle) return;
    const int m = int(mp.LocalModifiedRows().size());
    const int n = int(mp.LocalMissingRows().size());
    std::string text;
    if (m > 0) text += std::to_string(m) + " modified in local area.\r\n";
    if (n > 0) text += std::to_string(n) + " missing in local area.\r\n";
    if (m > 0) text += std::to_string(m) + " ready for transfer to remote.";
    if (m > 0 || n > 0) CMainPresenter::LogMessage(text);
    UpdateCommandChecks();
}

void CFtpCommands::OnRunBatFile() {
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    ShowMessageWindow();
    StartRemoteBuild(d, p, s, b, d.GetSelection(p, s, b));
    UpdateCommandChecks();
}

void CFtpCommands::FillItemDirsFromOutput(int kind) {
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    const std::vector<int> sel = d.GetSelection(p, s, b);
    if (sel.empty()) return;
    const std::string name = kind == 1 ? "local directories" : "remote directories";
    const Answer a = Prompter().AskDefaultNo("This will modify " + name + " of the selected items.\r\n" +
                                                "Text from Output Window will be used to fill up the " + name +
                                                ".\r\n" + "Are you sure?",
                                             MsgIcon::Question);
    // The model refuses an Output window with fewer lines than items
    // (also the case while no Output window exists).
    if (a == Answer::Yes) d.SetItemDirsFromOutput(p, s, b, sel, kind, GetOutputWindowText());
    m_frame.SetStatusText(d.GetSelectionStatusText(p, s, b));
}
