#include "remote/ui/RemoteBrowserDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>
#include <future>

#include "compare/TextAccess.h"
#include "filelist/ui/DirectoryUsageDlg.h"
#include "model/Globals.h"
#include "platform/Prompter.h"
#include "remote/Collect.h"
#include "remote/FtpClient.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/ui/ModalRun.h"
#include "widgets/Icons.h"

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

QPushButton* IconButton(QWidget* parent, const char* id, QStyle::StandardPixmap icon, const char* tip) {
    auto* b = new QPushButton(parent);
    b->setObjectName(id);
    b->setIcon(StandardIcon(parent, icon));
    b->setToolTip(tip);
    b->setFixedSize(28, 24);
    return b;
}

}  // namespace

CRemoteBrowserDlg::CRemoteBrowserDlg(const std::string& pattern, const CHost& account, QWidget* parent)
    : QDialog(parent), m_browser(pattern, account) {
    // A step on the server runs on a worker thread while the window stays
    // usable: it repaints, moves and takes Cancel; the browser's own
    // controls wait until the step is done.
    m_browser.m_runner = [this](const std::function<bool()>& job) {
        EnableBrowserControls(false);
        auto future = std::async(std::launch::async, job);
        while (future.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EnableBrowserControls(!m_collecting);
        return future.get();
    };
    setObjectName("1976");
    setWindowTitle(Q(m_browser.m_strCaption));
    setMinimumSize(460, 300);
    setMaximumSize(1000, 1000);
    resize(520, 520);

    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Keep:", this), 0, 0);
    m_keep = new QLineEdit(this);
    m_keep->setObjectName("1617");
    m_keep->setToolTip("Keep files which have these strings");
    grid->addWidget(m_keep, 0, 1);
    grid->addWidget(new QLabel("Exclude:", this), 0, 2);
    m_exclude = new QLineEdit(this);
    m_exclude->setObjectName("1618");
    m_exclude->setToolTip("Exclude files which have these strings");
    grid->addWidget(m_exclude, 0, 3);
    top->addLayout(grid);

    m_saveHistory = new QCheckBox("Save History", this);
    m_saveHistory->setObjectName("1504");
    m_saveHistory->setToolTip("Save History");
    top->addWidget(m_saveHistory);

    auto* bookRow = new QHBoxLayout;
    m_bookCombo = new QComboBox(this);
    m_bookCombo->setObjectName("1461");
    bookRow->addWidget(m_bookCombo, 1);
    auto* removeBook = IconButton(this, "1423", QStyle::SP_DialogDiscardButton, "Remove bookmark");
    bookRow->addWidget(removeBook);
    top->addLayout(bookRow);

    auto* buttonRow = new QHBoxLayout;
    auto* up = IconButton(this, "1459", QStyle::SP_FileDialogToParent, "Go to upper directory");
    auto* mkdir = IconButton(this, "1332", QStyle::SP_FileDialogNewFolder, "Create new direcctory");
    auto* del = IconButton(this, "1333", QStyle::SP_TrashIcon, "Delete");
    auto* rec = IconButton(this, "1331", QStyle::SP_FileDialogDetailedView, "Add directory contents recursively");
    for (QPushButton* b : {up, mkdir, del, rec}) buttonRow->addWidget(b);
    buttonRow->addStretch(1);
    top->addLayout(buttonRow);

    auto* dirRow = new QHBoxLayout;
    m_dirCombo = new QComboBox(this);
    m_dirCombo->setObjectName("1460");
    m_dirCombo->setEditable(true);
    m_dirCombo->setInsertPolicy(QComboBox::NoInsert);
    // "Set directory" goes where the user typed, not to a visited folder the
    // typed text happens to begin.
    m_dirCombo->setCompleter(nullptr);
    m_dirCombo->setToolTip("Current remote directory");
    // Enter in the folder box goes to the typed folder, not to OK.
    m_dirCombo->installEventFilter(this);
    dirRow->addWidget(m_dirCombo, 1);
    auto* set = IconButton(this, "1431", QStyle::SP_DialogApplyButton, "Set directory");
    dirRow->addWidget(set);
    top->addLayout(dirRow);

    m_list = new QListWidget(this);
    m_list->setObjectName("1849");
    m_list->setToolTip("Remote directories and files");
    m_list->setSelectionMode(pattern == "*.DIR" ? QAbstractItemView::SingleSelection
                                                : QAbstractItemView::ExtendedSelection);
    m_list->installEventFilter(this);
    if (pattern == "*.DIR") {
        m_list->setStyleSheet("QListWidget { background: rgb(75, 115, 150); color: rgb(0, 255, 255); }");
        rec->setEnabled(false);
    }
    top->addWidget(m_list, 1);

    m_status = new QLineEdit(this);
    m_status->setObjectName("1635");
    m_status->setReadOnly(true);
    top->addWidget(m_status);

    auto* okRow = new QHBoxLayout;
    okRow->addStretch(1);
    m_ok = new QPushButton("OK", this);
    m_ok->setObjectName("1");
    m_ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    okRow->addWidget(m_ok);
    okRow->addWidget(cancel);
    top->addLayout(okRow);
    m_buttons = {mkdir, del, set, up, rec};

    connect(m_ok, &QPushButton::clicked, this, &CRemoteBrowserDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CRemoteBrowserDlg::reject);
    connect(set, &QPushButton::clicked, this, &CRemoteBrowserDlg::OnSetDirectory);
    connect(up, &QPushButton::clicked, this, &CRemoteBrowserDlg::OnUp);
    connect(mkdir, &QPushButton::clicked, this, &CRemoteBrowserDlg::OnCreateDirectory);
    connect(del, &QPushButton::clicked, this, &CRemoteBrowserDlg::OnDelete);
    connect(rec, &QPushButton::clicked, this, &CRemoteBrowserDlg::OnAddRecursive);
    connect(removeBook, &QPushButton::clicked, this, &CRemoteBrowserDlg::OnRemoveBookmark);
    connect(m_dirCombo, &QComboBox::activated, this, [this](int) { OnSetDirectory(); });
    connect(m_bookCombo, &QComboBox::activated, this, [this](int i) {
        if (Busy()) return;
        m_browser.ChooseBookmark(i);
        Sync();
    });
    connect(m_saveHistory, &QCheckBox::clicked, this, [this] { m_browser.ToggleSaveHistory(); });
    connect(m_keep, &QLineEdit::textEdited, this, [this](const QString& t) { m_browser.m_strKeep = S(t); });
    connect(m_exclude, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_browser.m_strExclude = S(t); });
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        m_browser.Select(SelectedRows());
        m_status->setText(Q(m_browser.m_strStatus));
    });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* it) {
        if (Busy()) return;
        const bool close = m_browser.DoubleClick(m_list->row(it));
        Sync();
        if (close) QDialog::accept();
        else m_list->setFocus();
    });
}

CRemoteBrowserDlg::~CRemoteBrowserDlg() {
    // Whatever the walk still posts finds no dialog.
    m_report->dialog = nullptr;
    StopCollect();
}

void CRemoteBrowserDlg::StopCollect() {
    if (!m_collecting) return;
    // The walk is stopped where it waits (its connection is aborted) and
    // waited for; the connection is dropped, the next use connects again.
    g_bStopRemoteCollect = true;
    std::shared_ptr<CFtpClient> client = m_browser.m_client;
    if (client) client->Abort();
    if (!JoinFtpWorker(15000)) return;
    m_collecting = false;
    if (client) DropOpenConnection(client->Host(), client->User());
}

bool CRemoteBrowserDlg::Initialize() {
    if (!m_browser.Init()) return false;
    if (!m_browser.m_strCaption.empty()) setWindowTitle(Q(m_browser.m_strCaption));
    Sync();
    // The listing leaves the focus in the folder box.
    m_dirCombo->setFocus();
    return true;
}

std::vector<int> CRemoteBrowserDlg::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->isSelected()) rows.push_back(i);
    return rows;
}

void CRemoteBrowserDlg::Sync() {
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    const QIcon dirIcon = style()->standardIcon(QStyle::SP_DirIcon);
    m_list->blockSignals(true);
    m_list->clear();
    for (const BrowserItem& it : m_browser.m_items)
        new QListWidgetItem(it.folder ? dirIcon : fileIcon, Q(it.name), m_list);
    m_list->blockSignals(false);
    m_dirCombo->blockSignals(true);
    m_dirCombo->clear();
    for (const std::string& f : m_browser.m_dirCombo) m_dirCombo->addItem(Q(f));
    const int at = m_dirCombo->findText(Q(m_browser.m_strDirectoryText), Qt::MatchExactly);
    if (at >= 0) m_dirCombo->setCurrentIndex(at);
    else m_dirCombo->setEditText(Q(m_browser.m_strDirectoryText));
    m_dirCombo->blockSignals(false);
    const int book = m_bookCombo->currentIndex();
    m_bookCombo->clear();
    for (const CRemoteBookmark& b : m_browser.m_account.m_Bookmarks) m_bookCombo->addItem(Q(b.RemDir));
    if (m_bookCombo->count() > 0) m_bookCombo->setCurrentIndex(book >= 0 && book < m_bookCombo->count() ? book : 0);
    m_saveHistory->setChecked(g_bBookmarkRecord);
    m_keep->setText(Q(m_browser.m_strKeep));
    m_exclude->setText(Q(m_browser.m_strExclude));
    m_status->setText(Q(m_browser.m_strStatus));
}

void CRemoteBrowserDlg::OnSetDirectory() {
    if (Busy()) return;  // the walk or a step owns the connection
    m_browser.SetDirectory(S(m_dirCombo->currentText()));
    Sync();
    m_list->setFocus();
}

void CRemoteBrowserDlg::OnUp() {
    if (Busy()) return;
    m_browser.Up();
    Sync();
    m_list->setFocus();
}

void CRemoteBrowserDlg::OnCreateDirectory() {
    if (Busy()) return;
    m_browser.CreateDirectory();
    Sync();
    m_dirCombo->setFocus();
}

void CRemoteBrowserDlg::OnDelete() {
    if (Busy()) return;
    m_browser.Delete(SelectedRows());
    Sync();
    // The list the server's step disabled gave the focus away: the refreshed
    // folder's combo takes it.
    m_dirCombo->setFocus();
}

void CRemoteBrowserDlg::OnRemoveBookmark() {
    if (Busy()) return;
    const int i = m_bookCombo->currentIndex();
    m_browser.RemoveBookmark(i);
    if (i >= 0 && i < m_bookCombo->count()) m_bookCombo->removeItem(i);
    if (m_bookCombo->count() > 0) m_bookCombo->setCurrentIndex(0);
    m_bookCombo->setFocus();
}

bool CRemoteBrowserDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_dirCombo && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnSetDirectory();
            return true;
        }
    }
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_A && (k->modifiers() & Qt::ControlModifier)) {
            m_list->selectAll();
            return true;
        }
        if (k->key() == Qt::Key_Delete) {
            OnDelete();
            return true;
        }
        if (k->key() == Qt::Key_F5) {
            OnSetDirectory();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CRemoteBrowserDlg::EnableBrowserControls(bool enable) {
    m_ok->setEnabled(enable);
    m_list->setEnabled(enable);
    for (QPushButton* b : m_buttons) b->setEnabled(enable);
    if (enable && m_browser.FolderPicking()) m_buttons.back()->setEnabled(false);
}

void CRemoteBrowserDlg::accept() {
    if (Busy()) return;
    const bool close = m_browser.Ok(SelectedRows());
    Sync();
    // Into a folder: the dialog stays, and the list the server's step
    // disabled takes the focus back.
    if (close) QDialog::accept();
    else m_list->setFocus();
}

void CRemoteBrowserDlg::reject() {
    m_cancelled = true;
    // A step in progress ends at once; the walk is stopped and waited for
    // before the dialog goes.
    m_browser.Cancel();
    StopCollect();
    QDialog::reject();
}

// ---------------------------------------------------------------- collection

void CRemoteBrowserDlg::OnAddRecursive() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty() || Busy() || !m_browser.m_client) return;
    const BrowserItem item = m_browser.m_items[static_cast<size_t>(rows.front())];
    if (!item.folder || !IsUsableListedName(item.name)) return;
    std::string start = ChildRemoteFolder(m_browser.m_strCurrentFolder, item.name, m_browser.m_strHostType);
    NormalizeRemoteFolder(start);
    const std::string localProposal = NormalizeLocalFolder(g_sDefaultLocalDir);

    CDirectoryUsageDlg usage(GetMainProgramData(), 2, start, localProposal, this);
    if (RunModal(usage) != QDialog::Accepted) return;
    m_browser.m_strKeep = usage.m_strKeep;
    m_browser.m_strExclude = usage.m_strExclude;
    m_keep->setText(Q(usage.m_strKeep));
    m_exclude->setText(Q(usage.m_strExclude));
    std::string remoteRoot = usage.m_strRemoteDir;
    NormalizeRemoteFolder(remoteRoot);
    const std::string localRoot = NormalizeLocalFolder(usage.m_strLocalDir);
    const bool keepTree = usage.m_bAutoCreateBaskets != 0;
    m_keepTree = keepTree;

    // The walk uses the connection: it holds the FTP slot like any worker.
    if (!ClaimFtpSlot("One FTP session is already on...")) return;
    g_bStopRemoteCollect = false;
    m_collecting = true;
    EnableBrowserControls(false);
    std::shared_ptr<CFtpClient> client = m_browser.m_client;
    const std::string type = m_browser.m_strHostType, keep = m_browser.m_strKeep,
                      exclude = m_browser.m_strExclude;
    // The worker reports through the shared report, never to the dialog
    // itself: the dialog may be gone by the time the walk ends.
    std::shared_ptr<CollectReport> report = m_report;
    StartFtpWorker([=] {
        std::vector<CDirEntry> entries;
        std::vector<std::string> cut;
        const WalkEnd end = CollectRecursive(*client, type, remoteRoot, start, localRoot, keepTree, keep, exclude,
                                             entries, &cut);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [report, end, entries, cut]() mutable {
                if (report->dialog)
                    report->dialog->FinishCollect(static_cast<int>(end), std::move(entries), std::move(cut));
            },
            Qt::QueuedConnection);
    });
}

void CRemoteBrowserDlg::FinishCollect(int end, std::vector<CDirEntry> entries, std::vector<std::string> cut) {
    // A walk the user cancelled asks nothing.
    if (m_cancelled) return;
    JoinFtpWorker(15000);
    m_collecting = false;
    EnableBrowserControls(true);
    if (static_cast<WalkEnd>(end) != WalkEnd::Done) return;
    m_browser.m_result = entries;
    m_browser.m_bKeepTree = m_keepTree;
    // A listing the server cut short left files out: said before the count.
    if (!cut.empty()) Prompter().Message(CutListingsText(cut), MsgIcon::Warning);
    bool accepted = false;
    if (entries.empty()) {
        Prompter().Message("No files found on this recursive process.", MsgIcon::None);
        m_browser.m_result.clear();
    } else {
        const Answer a = Prompter().Ask(
            "There are " + std::to_string(entries.size()) + " file(s) from this recursive process.\r\n" +
                "Do you want to add them to the session?\r\n\r\n" +
                "Click \"Yes\" to close this window and add those files to the session.\r\n" +
                "Click \"No\" to discard this recursive information.",
            MsgIcon::Question, false);
        if (a == Answer::Yes) {
            accepted = true;
        } else {
            m_browser.m_result.clear();
            Prompter().Message("Information discarded.", MsgIcon::None);
        }
    }
    if (g_bTrace && !entries.empty())
        SetInputWindowText(GetInputWindowText() + CollectedEntriesText(m_browser.m_result));
    if (accepted) QDialog::accept();
}
