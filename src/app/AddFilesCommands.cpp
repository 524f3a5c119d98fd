#include "app/AddFilesCommands.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <exception>

#include "app/ControlPanelBar.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MainPresenter.h"
#include "app/PaneControlStatusBar.h"
#include "filelist/ui/DirectoryUsageDlg.h"
#include "filelist/ui/DragAndDropDlg.h"
#include "model/Account.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/AutoCreateDirs.h"
#include "remote/FtpWorker.h"

std::function<std::optional<std::vector<std::string>>()> CAddFilesCommands::s_pickLocalFiles;
std::function<void()> CAddFilesCommands::s_batchApplied;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

const char* const kDropOver = "Drag-n-drop over";
// The lists follow a running drop at most this often (milliseconds).
constexpr int kRefreshInterval = 300;

class WorkerSink : public IAddFilesSink {
public:
    explicit WorkerSink(std::function<void(std::shared_ptr<DropBatch>)> deliver) : m_deliver(std::move(deliver)) {}
    void Deliver(DropBatch&& batch) override { m_deliver(std::make_shared<DropBatch>(std::move(batch))); }
    void ShowEntryListing(const std::string& text) override { SetInputWindowText(text); }

private:
    std::function<void(std::shared_ptr<DropBatch>)> m_deliver;
};
}  // namespace

CAddFilesCommands::CAddFilesCommands(CMainFrame& frame) : m_frame(frame) {
    m_dnd = new CDragAndDropDlg(&frame);
    m_dnd->setWindowFlag(Qt::Tool, true);
    m_ticker.setInterval(100);
    QObject::connect(&m_ticker, &QTimer::timeout, &m_context, [this] { Tick(); });
    m_refresh.setSingleShot(true);
    QObject::connect(&m_refresh, &QTimer::timeout, &m_context, [this] { RefreshLists(); });
}

CAddFilesCommands::~CAddFilesCommands() {
    if (CQuorvellianViewBot::s_addDroppedFiles) CQuorvellianViewBot::s_addDroppedFiles = nullptr;
    IDndStatusView* view = SetDndStatusView(nullptr);
    if (view != this) SetDndStatusView(view);
    if (m_worker.joinable()) {
        g_bAddFilesBreak = true;
        m_worker.join();
    }
    if (m_busy) {
        g_bAddFilesIdle = true;
        g_bAddFilesBreak = false;
        g_bAddFilesTicker = false;
        g_bDragAndDropShown = false;
    }
    delete m_usage.data();
}

CDirectoryUsageDlg* CAddFilesCommands::DirectoryUsageDialog() const { return m_usage.data(); }

void CAddFilesCommands::Wire() {
    SetDndStatusView(this);
    m_frame.RegisterModelessDialog(m_dnd, HomeSlot::DragAndDrop, &g_bDragAndDropShown);
    CQuorvellianViewBot::s_addDroppedFiles = [this](const std::vector<std::string>& paths) {
        return AddDroppedFiles(paths);
    };
    m_frame.SetCommandHandler(32556, [this] { OnAddLocalFiles(); });
}

void CAddFilesCommands::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(&m_context, std::move(task), Qt::QueuedConnection);
}

// ---------------------------------------------------------------- "Add local files"

void CAddFilesCommands::OnAddLocalFiles() {
    if (CMainPresenter::RefuseWhileFtp()) return;
    if (!g_bAddFilesIdle) {
        CMainPresenter::LogMessage("Thread on session...[a]");
        return;
    }
    if (!m_frame.ControlPanel().CheckSessionSelected()) return;
    CProgramData& d = m_frame.Data();
    CMainPresenter& pr = m_frame.Presenter();
    if (d.EnsureCurrentBasket() != 0) pr.ShowSession(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
    pr.ShowCurrentPosition();

    std::optional<std::vector<std::string>> picked;
    if (s_pickLocalFiles) {
        picked = s_pickLocalFiles();
    } else {
        // The dialog opens where the last files came from, else in the
        // session's local folder, else in the home folder.
        std::string start = g_strLastLocalDir;
        if (start.empty()) start = d.GetSession(d.GetCurProject(), d.GetCurSession()).LocalDir;
        if (start.empty() && std::getenv("HOME")) start = std::getenv("HOME");
        const QStringList files = QFileDialog::getOpenFileNames(&m_frame, "Browse Local File System", Q(start));
        if (!files.isEmpty()) {
            picked.emplace();
            for (const QString& f : files) picked->push_back(f.toUtf8().toStdString());
        }
    }
    if (!picked || picked->empty()) return;

    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    const std::vector<int> sel = d.GetSelection(p, s, b);
    const int pos = sel.empty() ? -1 : *std::max_element(sel.begin(), sel.end()) + 1;
    std::vector<std::string> paths = *picked;
    AddFileItems(d, p, s, b, pos, paths, false);
    ShowRows(p, s, b, false);
    ReportDuplicateFiles(CollectRefusedFiles(paths));
}

// ---------------------------------------------------------------- dropped files

bool CAddFilesCommands::AddDroppedFiles(const std::vector<std::string>& paths) {
    if (!g_bAddFilesIdle) {
        Prompter().Message("One thread session is already on. Operation discarded.", MsgIcon::Stop);
        return false;
    }
    CProgramData& d = m_frame.Data();
    CMainPresenter& pr = m_frame.Presenter();
    if (d.EnsureCurrentBasket() != 0) pr.ShowSession(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
    pr.ShowCurrentPosition();
    g_bAddFilesIdle = false;
    g_bAddFilesBreak = false;
    g_bAddFilesTicker = true;
    m_busy = true;
    m_dnd->ResetForNewRun();
    if (paths.empty()) {
        FinishDndStatus(kDropOver);
        return false;
    }
    CMainPresenter::LogMessage("Preparing files...");
    DropChoices choices;
    choices.remoteRoot = g_CurrentAccount.m_strLastFolder;
    const int first = FindFirstDroppedFolder(paths);
    if (first < 0) {
        // Loose files only: no tree to turn into baskets.
        g_bAutoBasketCreate = false;
        StartWorker(paths, choices);
        return true;
    }
    choices.folderSeen = true;
    choices.localRoot = GetDropLocalRoot(paths[std::size_t(first)]);
    auto* dlg = new CDirectoryUsageDlg(&d, 1, choices.remoteRoot, choices.localRoot, &m_frame);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    m_usage = dlg;
    QObject::connect(dlg, &QDialog::finished, &m_context, [this, dlg, paths, choices](int result) mutable {
        m_usage = nullptr;
        if (result != QDialog::Accepted) {
            FinishDndStatus(kDropOver);
            return;
        }
        choices.localRoot = dlg->m_strLocalDir;
        choices.remoteRoot = dlg->m_strRemoteDir;
        choices.deriveRemote = dlg->m_bDeriveRemote != 0;
        choices.keep = dlg->m_strKeep;
        choices.exclude = dlg->m_strExclude;
        NormalizeDropRoots(choices.remoteRoot, choices.localRoot, g_CurrentAccount.m_strLastFolder,
                           g_CurrentAccount.m_strHostType);
        StartWorker(paths, choices);
    });
    dlg->open();
    return true;
}

void CAddFilesCommands::StartWorker(const std::vector<std::string>& paths, const DropChoices& choices) {
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    d.ApplyCurrentHostToSession(p, s);
    const std::vector<int> sel = d.GetSelection(p, s, b);
    const int pos = sel.empty() ? d.GetFileItemCount(p, s, b) : *std::max_element(sel.begin(), sel.end()) + 1;

    AddFilesJob job;
    job.paths = paths;
    job.choices = choices;
    job.autoBasketCreate = g_bAutoBasketCreate;
    job.trace = g_bTrace;
    job.accountFolder = g_CurrentAccount.m_strLastFolder;
    job.hostType = g_CurrentAccount.m_strHostType;
    job.host = g_CurrentAccount.m_strHost;
    job.user = g_CurrentAccount.m_strUser;
    job.existing = d.GetBasketItems(p, s, b);
    m_inserter = std::make_unique<CDropInserter>(d, p, s, b, pos);
    m_remoteRoot = choices.remoteRoot;
    m_autoBasket = job.autoBasketCreate;

    g_bDragAndDropShown = true;
    m_frame.FollowFrame();
    m_dnd->show();
    m_dnd->raise();
    m_clock.start();
    m_lastRefresh.start();
    m_ticker.start();

    if (m_worker.joinable()) m_worker.join();
    m_worker = std::thread([this, job = std::move(job)] {
        // The adding yields to everything else.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
        WorkerSink sink([this](std::shared_ptr<DropBatch> batch) { Post([this, batch] { OnBatch(*batch); }); });
        AddFilesOutcome outcome;
        try {
            outcome = RunAddFilesWorker(job, sink);
        } catch (const std::exception& e) {
            // What was added so far stays; the run ends as stopped, with the reason.
            outcome.aborted = true;
            outcome.status = std::string("-d-aborted: ") + e.what();
        } catch (...) {
            outcome.aborted = true;
            outcome.status = "-d-aborted: an unknown error";
        }
        auto done = std::make_shared<AddFilesOutcome>(std::move(outcome));
        Post([this, done] { OnWorkerDone(*done); });
    });
}

void CAddFilesCommands::OnBatch(const DropBatch& batch) {
    if (!m_inserter) return;
    m_inserter->Insert(batch);
    if (!g_bSuppressListScrolling) ScheduleRefresh();
    if (s_batchApplied) s_batchApplied();
}

void CAddFilesCommands::ScheduleRefresh() {
    if (m_refresh.isActive()) return;
    const qint64 since = m_lastRefresh.elapsed();
    if (since >= kRefreshInterval)
        RefreshLists();
    else
        m_refresh.start(int(kRefreshInterval - since));
}

// Shows the drop's basket as the data now holds it, when it is the one on view.
void CAddFilesCommands::RefreshLists() {
    m_lastRefresh.restart();
    if (!m_inserter) return;
    CProgramData& d = m_frame.Data();
    const int p = m_inserter->Project(), s = m_inserter->Session(), b = m_inserter->Basket();
    if (d.GetCurProject() != p || d.GetCurSession() != s || d.GetCurBasket() != b) return;
    ShowRows(p, s, b, true);
}

// Thousands of new rows may be selected: the list gets its rows first and
// then the selection as a few ranges, not one row at a time.
void CAddFilesCommands::ShowRows(int p, int s, int b, bool withBaskets) {
    CProgramData& d = m_frame.Data();
    const std::vector<int> sel = d.GetSelection(p, s, b);
    d.SetSelection(p, s, b, {});
    if (withBaskets)
        m_frame.Presenter().ShowSession(p, s, b);
    else
        m_frame.Presenter().FillFileItemList(p, s, b);
    d.SetSelection(p, s, b, sel);
    SelectFileRows(sel);
}

void CAddFilesCommands::SelectFileRows(const std::vector<int>& rows) {
    QTreeWidget* list = m_frame.FileList();
    if (!list || rows.empty()) return;
    QAbstractItemModel* model = list->model();
    const int count = model->rowCount();
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    QItemSelection selection;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1) ++j;
        if (sorted[i] >= 0 && sorted[j] < count)
            selection.select(model->index(sorted[i], 0), model->index(sorted[j], model->columnCount() - 1));
        i = j + 1;
    }
    list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (sorted.front() >= 0 && sorted.front() < count) list->scrollToItem(list->topLevelItem(sorted.front()));
}

void CAddFilesCommands::OnWorkerDone(const AddFilesOutcome& outcome) {
    if (m_worker.joinable()) m_worker.join();
    m_ticker.stop();
    m_refresh.stop();
    if (!m_inserter) return;
    AddFilesOutcome out = outcome;
    // A stop that came after the last file still ends the run as stopped.
    if (!out.aborted && g_bAddFilesBreak) {
        out.aborted = true;
        out.status = "-d-aborted 5";
    }
    if (out.aborted) {
        // What was added so far stays; the lists show it as it is.
        m_inserter->Finish();
        RefreshLists();
        m_inserter.reset();
        FinishDndStatus(out.status);
        return;
    }
    if (out.refused)
        Prompter().Message("File does not exist. Or, hidden, and temporary files are not droppable.", MsgIcon::Warning);
    FinishAddingDroppedFiles(out);
    g_bAddFilesTicker = false;
    const std::string remoteRoot = m_remoteRoot;
    if (m_autoBasket && !out.entries.empty()) PromptAutoCreateRemoteDirs(m_frame.Data(), remoteRoot, out.entries);
    FinishDndStatus(kDropOver);
}

void CAddFilesCommands::FinishAddingDroppedFiles(const AddFilesOutcome& outcome) {
    CProgramData& d = m_frame.Data();
    m_inserter->Finish();
    ReportFileLimitExceeded(outcome.added);
    ReportFileLimitExceeded(outcome.placed);
    const int p = m_inserter->Project(), s = m_inserter->Session(), b = m_inserter->Basket();
    if (d.IsValidBasket(false, p, s, b)) {
        const bool moved = d.GetCurProject() != p || d.GetCurSession() != s;
        d.SetCurProject(p);
        d.SetCurSession(p, s);
        d.SetCurrentBasket(p, s, b);
        if (moved) m_frame.Presenter().ShowCurrentPosition();
        RefreshLists();
    }
    m_inserter.reset();
    if (!outcome.duplicates.empty()) {
        g_bAddFilesTicker = false;
        ReportDuplicateFiles(outcome.duplicates);
    }
}

// ---------------------------------------------------------------- ticker and end

void CAddFilesCommands::Tick() {
    if (!g_bAddFilesTicker) return;
    if (auto* time = m_frame.StatusBar()->findChild<QLineEdit*>("2177"))
        time->setText(Q(FormatElapsedTime(m_clock.elapsed())));
    if (g_nProgressPos >= g_nProgressRange) g_nProgressPos = 0;
    if (auto* bar = m_frame.StatusBar()->findChild<QProgressBar*>("2174")) bar->setValue(g_nProgressPos);
    g_nProgressPos += g_nProgressStep;
}

void CAddFilesCommands::HideDragAndDrop() {
    m_busy = false;
    m_ticker.stop();
    if (m_dnd) m_dnd->hide();
}

void CAddFilesCommands::ResetDndProgress() {
    if (auto* bar = m_frame.StatusBar()->findChild<QProgressBar*>("2174")) bar->setValue(0);
    if (auto* time = m_frame.StatusBar()->findChild<QLineEdit*>("2177"))
        if (!time->text().endsWith("+")) time->setText(time->text() + "+");
}
