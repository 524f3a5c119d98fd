#include "compare/ui/FileDiffManagerDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include "compare/DiffBuilder.h"
#include "compare/DiffOptions.h"
#include "compare/DiffWindowsState.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/FileDiffDlg.h"
#include "model/Globals.h"
#include "widgets/Icons.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

namespace {

const char* const kInstanceNames[3] = {"Input vs. Output Window", "File-1 vs. File-2", "3-Way Diff"};

// How long a run operation waits for its diff before the window goes on
// and the diff ends on its own: a small diff is shown at once, as part of
// the command.
constexpr std::chrono::milliseconds kInlineWait{250};
// How long a manager that goes away waits for its worker.
constexpr std::chrono::milliseconds kLastWait{2000};

// The workers that are running, also those let go by a manager that was
// destroyed.
std::atomic<int> g_liveDiffWorkers{0};

// What a worker would say to the user, kept for the window thread.
class GatheringPrompter : public DefaultPrompter {
public:
    explicit GatheringPrompter(std::vector<std::pair<std::string, MsgIcon>>& out) : m_out(out) {}
    void Message(const std::string& text, MsgIcon icon) override { m_out.emplace_back(text, icon); }

private:
    std::vector<std::pair<std::string, MsgIcon>>& m_out;
};

// Sets the header of the next build of a result, as the run operations do.
void PrepareBuild(CDiffResultSet& set, int window, const std::vector<std::string>& paths) {
    switch (window) {
    case kDiffWindowInputOutput: set.PrepareInputOutputDiff(); break;
    case kDiffWindowFiles: set.PrepareTwoFileDiff(paths); break;
    default: set.PrepareThreeWayDiff(paths); break;
    }
}

QIcon InstanceIcon(int icon) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(60, 60, 60));
    const QColor fills[3] = {QColor(250, 230, 140), QColor(170, 210, 250), QColor(190, 240, 190)};
    p.setBrush(fills[icon % 3]);
    const int cols = icon == 2 ? 3 : 2;
    for (int i = 0; i < cols; ++i) p.drawRect(1 + i * (14 / cols), 2, 14 / cols - 1, 12);
    return QIcon(pm);
}

QPushButton* Button(QWidget* parent, const char* id, const QString& text, const QString& tip) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(id);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

// A button that shows its picture instead of its text; the tool tip names it.
void ShowPicture(QPushButton* b, int picture, int size) {
    const QIcon icon = ListIcon("diffmgr", picture);
    if (icon.isNull()) return;
    b->setIcon(icon);
    b->setIconSize(QSize(size, size));
    b->setText(QString());
}

}  // namespace

// One diff built on its worker. The worker owns its part of it: a manager
// that goes away before the diff has ended lets the worker go.
struct CFileDiffManagerDlg::DiffJob {
    int window = kDiffWindowFiles;
    std::vector<std::string> paths;
    DiffBuildInput input;
    // Written by the worker once, under the mutex, before done is set.
    DiffBuildOutput output;
    std::vector<std::pair<std::string, MsgIcon>> messages;
    std::exception_ptr error;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    CFileDiffManagerDlg* receiver = nullptr;  // where the end is posted; nullptr once it is gone

    bool WaitEnd(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(mutex);
        return ended.wait_for(lock, wait, [this] { return done; });
    }
};

CFileDiffManagerDlg::CFileDiffManagerDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("2052");
    setWindowTitle("File Diff Manager");
    setModal(false);
    m_instances = new QListWidget(this);
    m_instances->setObjectName("1720");
    m_instances->setMinimumHeight(70);
    connect(m_instances, &QListWidget::itemDoubleClicked, this, [this] { ShowSelectedInstance(); });

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName("1948");
    auto* diffPage = new QWidget;
    auto* dl = new QHBoxLayout(diffPage);
    auto* threeWay = Button(diffPage, "1559", "3-Way", "3-Way diff among 3 selected files");
    auto* quick = Button(diffPage, "1562", "2 Files", "Quick diff between 2 selected files");
    auto* io = Button(diffPage, "1560", "In/Out", "Quick diff between Input and Output window text");
    auto* palette = Button(diffPage, "1561", "Palette", "Display palette for Master file");
    connect(palette, &QPushButton::clicked, this, &CFileDiffManagerDlg::ShowPalette);
    auto* hideAll = Button(diffPage, "1566", "Hide all", "Hide all diff panes");
    auto* reset = Button(diffPage, "1568", "Reset", "Reset");
    ShowPicture(quick, 2100, 32);
    ShowPicture(threeWay, 2089, 32);
    ShowPicture(io, 2098, 32);
    ShowPicture(palette, 2093, 32);
    ShowPicture(hideAll, 2097, 32);
    for (QPushButton* b : {io, quick, threeWay, palette, hideAll, reset}) dl->addWidget(b);
    dl->addStretch();
    connect(threeWay, &QPushButton::clicked, this, &CFileDiffManagerDlg::RunThreeWayDiff);
    connect(quick, &QPushButton::clicked, this, &CFileDiffManagerDlg::RunQuickDiff);
    connect(io, &QPushButton::clicked, this, &CFileDiffManagerDlg::RunInputOutputDiff);
    connect(hideAll, &QPushButton::clicked, this, [this] {
        for (int w = 0; w < 3; ++w) g_DiffWindows.windowShown[w] = false;
        g_DiffWindows.paletteShown = false;
        HideAll();
    });
    connect(reset, &QPushButton::clicked, this, [this] { Reset(); });

    auto* optionsPage = new QWidget;
    auto* og = new QGridLayout(optionsPage);
    m_ignoreCase = new QCheckBox("Ignore Case", optionsPage);
    m_ignoreCase->setObjectName("1479");
    m_ignoreText = new QCheckBox("Ignore text as listed below:", optionsPage);
    m_ignoreText->setObjectName("1480");
    m_edit = new QLineEdit(optionsPage);
    m_edit->setObjectName("1627");
    m_add = Button(optionsPage, "1317", "Add", "Add");
    m_combo = new QComboBox(optionsPage);
    m_combo->setObjectName("1534");
    m_delete = Button(optionsPage, "1552", "Delete", "Delete");
    ShowPicture(m_add, 2063, 16);
    ShowPicture(m_delete, 2087, 16);
    auto* hint = new QLabel("Use ^t for tab", optionsPage);
    hint->setObjectName("1866");
    og->addWidget(m_ignoreCase, 0, 0, 1, 2);
    og->addWidget(m_ignoreText, 1, 0, 1, 2);
    og->addWidget(m_edit, 2, 0);
    og->addWidget(m_add, 2, 1);
    og->addWidget(m_combo, 3, 0);
    og->addWidget(m_delete, 3, 1);
    og->addWidget(hint, 4, 0);
    connect(m_ignoreCase, &QCheckBox::toggled, this, [](bool on) { g_bDiffIgnoreCase = on; });
    connect(m_ignoreText, &QCheckBox::toggled, this, [this](bool on) {
        g_bDiffIgnoreIdent = on;
        for (QWidget* w : std::initializer_list<QWidget*>{m_edit, m_add, m_combo, m_delete}) w->setEnabled(on);
    });
    connect(m_add, &QPushButton::clicked, this, &CFileDiffManagerDlg::OnAddIgnoreText);
    connect(m_delete, &QPushButton::clicked, this, &CFileDiffManagerDlg::OnDeleteIgnoreText);

    auto* crossPage = new QWidget;
    auto* cl = new QVBoxLayout(crossPage);
    m_trail = new QCheckBox("Show Delete trail", crossPage);
    m_trail->setObjectName("1509");
    connect(m_trail, &QCheckBox::clicked, this, [this] {
        g_bDiffReportInter = !g_bDiffReportInter;
        m_trail->setChecked(g_bDiffReportInter);
    });
    auto* crossFiles = Button(crossPage, "1564", "Files", "Cross lisitngs of selected files");
    auto* crossWindows = Button(crossPage, "1565", "In/Out", "Cross listings of Input and Output Windows");
    ShowPicture(crossFiles, 2095, 32);
    ShowPicture(crossWindows, 2096, 32);
    connect(crossFiles, &QPushButton::clicked, this, [this] {
        if (m_crossFiles) m_crossFiles();
    });
    connect(crossWindows, &QPushButton::clicked, this, [this] {
        if (m_crossWindows) m_crossWindows();
    });
    auto* crossRow = new QHBoxLayout;
    crossRow->addWidget(crossFiles);
    crossRow->addWidget(crossWindows);
    crossRow->addStretch();
    cl->addLayout(crossRow);
    cl->addWidget(m_trail);
    cl->addStretch();

    m_tabs->addTab(diffPage, "    Diff    ");
    m_tabs->addTab(optionsPage, "   Options  ");
    m_tabs->addTab(crossPage, "    Cross   ");
    auto* close = new QPushButton("Close", this);
    close->setObjectName("1");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(close);
    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel("Version diff", this));
    top->addWidget(m_instances);
    top->addWidget(m_tabs);
    top->addLayout(bottom);
    RefreshOptions();
}

void CFileDiffManagerDlg::RefreshOptions() {
    m_ignoreCase->setChecked(g_bDiffIgnoreCase);
    m_ignoreText->setChecked(g_bDiffIgnoreIdent);
    m_trail->setChecked(g_bDiffReportInter);
    for (QWidget* w : std::initializer_list<QWidget*>{m_edit, m_add, m_combo, m_delete})
        w->setEnabled(g_bDiffIgnoreIdent);
}

std::vector<std::string> CFileDiffManagerDlg::SelectedPaths() const {
    std::vector<std::string> paths;
    if (!m_data) return paths;
    const int p = m_data->GetCurProject(), s = m_data->GetCurSession(), b = m_data->GetCurBasket();
    for (int f : m_data->GetSelection(p, s, b)) {
        const CFileItem* it = const_cast<CProgramData*>(m_data)->GetFileItemPtr(p, s, b, f);
        if (it) paths.push_back(it->LocalDir + it->FileName);
    }
    return paths;
}

void CFileDiffManagerDlg::ShowDiffWindow(int window) {
    g_DiffWindows.windowShown[window] = true;
    if (CFileDiffDlg* w = m_windows[window]) {
        w->show();
        w->raise();
        w->activateWindow();
    }
}

void CFileDiffManagerDlg::RunInputOutputDiff() {
    if (!m_data) return;
    if (m_job) {
        Prompter().Message("One diff is already being built.", MsgIcon::Stop);
        return;
    }
    AddDiffInstance(kInstanceNames[0], 0, 0);
    StartDiff(kDiffWindowInputOutput, {});
}

void CFileDiffManagerDlg::RunQuickDiff() {
    if (!m_data) return;
    if (m_job) {
        Prompter().Message("One diff is already being built.", MsgIcon::Stop);
        return;
    }
    const std::vector<std::string> paths = SelectedPaths();
    if (paths.size() < 2) {
        Prompter().Message("At least two files must be selected that you want to compare.", MsgIcon::Warning);
        return;
    }
    const int n = m_instances->count();
    const bool first = n == 0 || (n == 1 && m_instances->item(0)->text() == kInstanceNames[2]);
    AddDiffInstance(kInstanceNames[1], 1, first ? 0 : 1);
    StartDiff(kDiffWindowFiles, paths);
}

void CFileDiffManagerDlg::RunThreeWayDiff() {
    if (!m_data) return;
    if (m_job) {
        Prompter().Message("One diff is already being built.", MsgIcon::Stop);
        return;
    }
    const std::vector<std::string> paths = SelectedPaths();
    if (paths.size() < 3) {
        Prompter().Message("At least three files must be selected that you want to compare.", MsgIcon::Warning);
        return;
    }
    AddDiffInstance(kInstanceNames[2], 2, m_instances->count());
    StartDiff(kDiffWindowThreeWay, paths);
}

// The build runs on a worker with what it reads taken here; the result
// keeps its header and rows until the build ends (EndDiff). A diff that
// ends within a moment is shown before the command returns.
void CFileDiffManagerDlg::StartDiff(int window, const std::vector<std::string>& paths) {
    CDiffResultSet& set = m_data->m_DiffResults;
    PrepareBuild(set, window, paths);
    CDiffResult& result = *set.GetResult(window);
    auto job = std::make_shared<DiffJob>();
    job->window = window;
    job->paths = paths;
    try {
        job->input = DiffBuildInputOf(result, window);
    } catch (...) {
        result.FailBuild();
        throw;
    }
    result.FailBuild();
    job->receiver = this;
    g_bDiffBreak = false;
    g_bDiffIdle = false;
    m_job = job;
    auto body = [job]() mutable {
        GatheringPrompter gather(job->messages);
        IPrompter* previous = SetThreadPrompter(&gather);
        DiffBuildOutput output;
        std::exception_ptr error;
        try {
            output = MakeDiffBuild(std::move(job->input), &g_bDiffBreak);
        } catch (...) {
            error = std::current_exception();
        }
        SetThreadPrompter(previous);
        {
            std::lock_guard<std::mutex> lock(job->mutex);
            job->output = std::move(output);
            job->error = error;
            job->done = true;
            if (CFileDiffManagerDlg* receiver = job->receiver)
                QMetaObject::invokeMethod(receiver, [receiver, job] { receiver->EndDiff(job); }, Qt::QueuedConnection);
            job->ended.notify_all();
        }
        job.reset();
        --g_liveDiffWorkers;
    };
    ++g_liveDiffWorkers;
    try {
        m_worker = std::thread(body);
    } catch (const std::system_error&) {
        // Where no thread can be had, the diff is built here.
        body();
    }
    if (m_job->WaitEnd(kInlineWait)) EndDiff(m_job);
}

// The end routine of a diff, on the window thread: the kind is free again,
// what the worker would have said is said, and the result takes the build
// and is shown as the run operation shows it. A stopped diff leaves the
// result as it was and shows nothing.
void CFileDiffManagerDlg::EndDiff(std::shared_ptr<DiffJob> job) {
    if (!job || job != m_job) return;
    if (m_worker.joinable()) m_worker.join();
    m_job.reset();
    g_bDiffBreak = false;
    g_bDiffIdle = true;
    for (const auto& [text, icon] : job->messages) Prompter().Message(text, icon);
    if (job->error) std::rethrow_exception(job->error);
    if (job->output.outcome == DiffBuildOutput::kStopped) {
        WriteTrace("Diff stopped.");
        return;
    }
    const int window = job->window;
    CDiffResultSet& set = m_data->m_DiffResults;
    PrepareBuild(set, window, job->paths);
    CDiffResult& result = *set.GetResult(window);
    if (FinishDiffBuild(result, std::move(job->output)) && m_windows[window])
        m_windows[window]->LoadDiffResult(&result);
    ShowDiffWindow(window);
}

bool CFileDiffManagerDlg::StopDiff(int ms) {
    if (!m_job) return true;
    g_bDiffBreak = true;
    const std::shared_ptr<DiffJob> job = m_job;
    if (!job->WaitEnd(std::chrono::milliseconds(ms))) return false;
    EndDiff(job);
    return true;
}

bool CFileDiffManagerDlg::DiffWorkerLeft() { return g_liveDiffWorkers > 0; }

CFileDiffManagerDlg::~CFileDiffManagerDlg() {
    if (!m_job) return;
    {
        std::lock_guard<std::mutex> lock(m_job->mutex);
        m_job->receiver = nullptr;
    }
    g_bDiffBreak = true;
    if (!m_job->WaitEnd(kLastWait)) {
        // It ends on its own, holding only what is its own.
        if (m_worker.joinable()) m_worker.detach();
        return;
    }
    if (m_worker.joinable()) m_worker.join();
    g_bDiffBreak = false;
    g_bDiffIdle = true;
}

void CFileDiffManagerDlg::AddDiffInstance(const std::string& name, int icon, int position) {
    for (int i = m_instances->count() - 1; i >= 0; --i)
        if (m_instances->item(i)->text().toStdString() == name) return;
    position = std::clamp(position, 0, m_instances->count());
    m_instances->insertItem(position, new QListWidgetItem(InstanceIcon(icon), QString::fromStdString(name)));
}

void CFileDiffManagerDlg::ShowSelectedInstance() {
    const auto sel = m_instances->selectedItems();
    if (sel.isEmpty()) return;
    const std::string text = sel.front()->text().toStdString();
    for (int w = 0; w < 3; ++w)
        if (text == kInstanceNames[w]) ShowDiffWindow(w);
}

void CFileDiffManagerDlg::HideAll() {
    for (CFileDiffDlg* w : m_windows)
        if (w) w->hide();
    if (m_palette) m_palette->hide();
}

void CFileDiffManagerDlg::ShowPalette() {
    g_DiffWindows.paletteShown = true;
    if (!m_palette) return;
    m_palette->show();
    m_palette->raise();
    m_palette->activateWindow();
}

bool CFileDiffManagerDlg::Reset() {
    if (m_instances->count() > 0 &&
        Prompter().AskDefaultNo("This will remove all instances of diffs.\r\n\r\nGo ahead?", MsgIcon::Question) !=
            Answer::Yes)
        return false;
    m_instances->clear();
    for (int w = 0; w < 3; ++w) g_DiffWindows.windowShown[w] = false;
    g_DiffWindows.paletteShown = false;
    HideAll();
    return true;
}

void CFileDiffManagerDlg::OnAddIgnoreText() {
    const std::string text = m_edit->text().toStdString();
    for (const std::string& item : g_DiffIgnoreList) {
        const bool same = g_bDiffIgnoreCase ? AsciiLower(item) == AsciiLower(text) : item == text;
        if (same) {
            Prompter().Message("\"" + text + "\" already listed.", MsgIcon::Warning);
            m_edit->setFocus();
            return;
        }
    }
    if (text.empty()) {
        Prompter().Message("Empty string...", MsgIcon::Warning);
        m_edit->setFocus();
        return;
    }
    g_DiffIgnoreList.push_back(text);
    m_combo->addItem(QString::fromStdString(text));
    m_combo->setCurrentIndex(m_combo->count() - 1);
    m_combo->setFocus();
}

void CFileDiffManagerDlg::OnDeleteIgnoreText() {
    const int i = m_combo->currentIndex();
    if (i < 0) return;
    m_combo->removeItem(i);
    if (i < static_cast<int>(g_DiffIgnoreList.size())) g_DiffIgnoreList.erase(g_DiffIgnoreList.begin() + i);
    m_combo->setCurrentIndex(std::min(i, m_combo->count() - 1));
    m_combo->setFocus();
}

void CFileDiffManagerDlg::ShowOptionsTab() {
    m_tabs->setCurrentIndex(1);
    g_DiffWindows.managerShown = true;
    show();
}

void CFileDiffManagerDlg::done(int r) {
    g_DiffWindows.managerShown = false;
    HideAll();
    QDialog::done(r);
}
