#include "app/ListViews.h"

#include <QItemSelection>
#include <QItemSelectionModel>

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

#include "app/ControlPanelBar.h"
#include "app/DropFileList.h"
#include "widgets/Icons.h"
#include "app/MainFrame.h"
#include "app/MainPresenter.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"

CQuorvellianViewTop* g_pViewTop = nullptr;
CQuorvellianViewBot* g_pViewBot = nullptr;
std::function<bool(const std::vector<std::string>&)> CQuorvellianViewBot::s_addDroppedFiles;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

void Colour(QTreeWidget* w, QColor back, QColor text) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, back);
    p.setColor(QPalette::Text, text);
    w->setPalette(p);
}

// A row of the file-item list: its text, host and picture are the
// presenter's row, read when the row is drawn or asked for, so that filling
// a list of thousands of rows makes no texts or pictures of rows never shown.
class FileRowItem : public QTreeWidgetItem {
public:
    FileRowItem(const CMainPresenter& p, std::size_t row) : QTreeWidgetItem(UserType), m_p(p), m_row(row) {}
    QVariant data(int column, int role) const override {
        const auto& rows = m_p.FileRows();
        if (m_row < rows.size() && (column == 0 || column == 1)) {
            const FileRow& r = rows[m_row];
            if (role == Qt::DisplayRole || role == Qt::EditRole) return Q(column == 0 ? r.text : r.host);
            if (role == Qt::DecorationRole && column == 0) return ListIcon("file", r.image);
        }
        return QTreeWidgetItem::data(column, role);
    }
    // The presenter's row changed: the list draws it again.
    void Changed() { emitDataChanged(); }

private:
    const CMainPresenter& m_p;
    std::size_t m_row;
};

std::vector<int> Selected(const QTreeWidget* w) {
    std::vector<int> rows;
    for (int i = 0; i < w->topLevelItemCount(); ++i)
        if (w->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}
}  // namespace

// ---------------------------------------------------------------- top

CQuorvellianViewTop::CQuorvellianViewTop(CMainFrame* frame, QWidget* parent)
    : QTreeWidget(parent), m_frame(frame) {
    setObjectName("ViewTop");
    setColumnCount(1);
    setHeaderLabels({"File Baskets"});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(false);
    setColumnWidth(0, g_nViewWidth - 50);
    header()->setSectionsClickable(true);
    Colour(this, QColor(240, 230, 255), QColor(70, 70, 255));
    g_pViewTop = this;
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int) { m_frame->Presenter().OnSortBaskets(true); });
    connect(this, &QTreeWidget::itemClicked, this,
            [this] { m_frame->Presenter().OnBasketClicked(SelectedRows()); });
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this] { m_frame->Presenter().OnRenameBasket(SelectedRows()); });
}

std::vector<int> CQuorvellianViewTop::SelectedRows() const { return Selected(this); }

void CQuorvellianViewTop::Render(const CMainPresenter& p) {
    QSignalBlocker block(this);
    clear();
    QList<QTreeWidgetItem*> items;
    for (const auto& r : p.BasketRows()) {
        auto* it = new QTreeWidgetItem(QStringList{Q(r.text)});
        it->setIcon(0, ListIcon("basket", r.image));
        items << it;
    }
    addTopLevelItems(items);
    const int sel = p.SelectedBasketRow();
    if (sel >= 0 && sel < topLevelItemCount()) {
        topLevelItem(sel)->setSelected(true);
        setCurrentItem(topLevelItem(sel), 0, QItemSelectionModel::NoUpdate);
        scrollToItem(topLevelItem(sel));
    }
}

void CQuorvellianViewTop::RenderRow(const CMainPresenter& p, int row) {
    if (row < 0 || row >= topLevelItemCount() || row >= int(p.BasketRows().size())) return;
    const auto& r = p.BasketRows()[std::size_t(row)];
    topLevelItem(row)->setText(0, Q(r.text));
    topLevelItem(row)->setIcon(0, ListIcon("basket", r.image));
}

void CQuorvellianViewTop::mousePressEvent(QMouseEvent* e) {
    QTreeWidget::mousePressEvent(e);
    // A right click changes the current basket like a left click.
    if (e->button() == Qt::RightButton) m_frame->Presenter().OnBasketClicked(SelectedRows());
}

void CQuorvellianViewTop::contextMenuEvent(QContextMenuEvent* e) {
    m_frame->ShowListContextMenu(this, e->globalPos());
}

void CQuorvellianViewTop::keyPressEvent(QKeyEvent* e) {
    using K = CMainPresenter::BasketKey;
    K key = K::Other;
    if (e->key() == Qt::Key_A && (e->modifiers() & Qt::ControlModifier))
        key = K::SelectAll;
    else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        key = K::Enter;
    else if (e->key() == Qt::Key_Delete)
        key = K::Delete;
    else if (e->key() == Qt::Key_Up)
        key = K::Up;
    else if (e->key() == Qt::Key_Down)
        key = K::Down;
    // Any other key does nothing: the list's own moves (Home, End, the page
    // keys, a typed letter) would highlight a basket other than the one whose
    // files are listed and sent.
    if (key == K::Other) {
        e->ignore();
        return;
    }
    if (m_frame->Presenter().OnBasketListKey(key, SelectedRows())) selectAll();
}

// ---------------------------------------------------------------- bottom

CQuorvellianViewBot::CQuorvellianViewBot(CMainFrame* frame, QWidget* parent)
    : QTreeWidget(parent), m_frame(frame) {
    setObjectName("ViewBot");
    setColumnCount(2);
    setHeaderLabels({"My Files", "Hosts"});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setColumnWidth(0, g_nViewWidth - 110);
    setColumnWidth(1, 60);
    setAcceptDrops(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    header()->setSectionsClickable(true);
    Colour(this, QColor(240, 255, 230), QColor(70, 70, 255));
    g_pViewBot = this;
    connect(header(), &QHeaderView::sectionClicked, this, &CQuorvellianViewBot::headerClicked);
    connect(this, &QTreeWidget::itemClicked, this, &CQuorvellianViewBot::rowClicked);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &CQuorvellianViewBot::rowDoubleClicked);
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        CMainPresenter& p = m_frame->Presenter();
        const std::vector<int> rows = SelectedRows();
        p.SetFileSelection(rows);
        CProgramData& d = p.Data();
        d.SetSelection(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket(), rows);
        p.SetStatusText(d.GetSelectionStatusText(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket()));
    });
}

std::vector<int> CQuorvellianViewBot::SelectedRows() const { return Selected(this); }

void CQuorvellianViewBot::Render(const CMainPresenter& p) {
    QSignalBlocker block(this);
    setUpdatesEnabled(false);
    clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(p.FileRows().size()));
    for (std::size_t i = 0; i < p.FileRows().size(); ++i) items << new FileRowItem(p, i);
    addTopLevelItems(items);
    // The selected rows go in as runs: one selection change per run, not per
    // row, so that a list of thousands of selected rows draws at once.
    int first = -1;
    QItemSelection runs;
    const int n = int(p.FileRows().size());
    for (int i = 0; i < n;) {
        if (!p.FileRows()[std::size_t(i)].selected) {
            ++i;
            continue;
        }
        int j = i;
        while (j + 1 < n && p.FileRows()[std::size_t(j + 1)].selected) ++j;
        if (first < 0) first = i;
        runs.select(model()->index(i, 0), model()->index(j, columnCount() - 1));
        i = j + 1;
    }
    if (!runs.isEmpty()) selectionModel()->select(runs, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    setUpdatesEnabled(true);
    if (topLevelItemCount() > 0) scrollToItem(topLevelItem(first < 0 ? 0 : first));
}

void CQuorvellianViewBot::RenderRow(const CMainPresenter& p, int row) {
    if (row < 0 || row >= topLevelItemCount() || row >= int(p.FileRows().size())) return;
    QSignalBlocker block(this);
    const auto& r = p.FileRows()[std::size_t(row)];
    QTreeWidgetItem* it = topLevelItem(row);
    if (auto* f = dynamic_cast<FileRowItem*>(it)) f->Changed();
    it->setSelected(r.selected);
}

void CQuorvellianViewBot::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_A && (e->modifiers() & Qt::ControlModifier)) {
        selectAll();
        return;
    }
    if (e->key() == Qt::Key_Delete) {
        m_frame->ExecuteCommand(32520);
        return;
    }
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_F2) {
        m_frame->ExecuteCommand(32517);
        return;
    }
    QTreeWidget::keyPressEvent(e);
}

void CQuorvellianViewBot::contextMenuEvent(QContextMenuEvent* e) {
    m_frame->ShowListContextMenu(this, e->globalPos());
}

QStringList CQuorvellianViewBot::mimeTypes() const { return {"text/uri-list"}; }

QMimeData* CQuorvellianViewBot::mimeData(const QList<QTreeWidgetItem*>&) const {
    CDropFileList list;
    CProgramData& d = m_frame->Presenter().Data();
    for (int row : SelectedRows()) {
        CFileItem it = d.GetFileItem(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket(), row);
        list.Add(it.LocalDir + it.FileName);
    }
    auto* m = new QMimeData;
    const std::string uris = list.ToUriList();
    m->setData("text/uri-list", QByteArray(uris.data(), qsizetype(uris.size())));
    return m;
}

void CQuorvellianViewBot::dragEnterEvent(QDragEnterEvent* e) {
    if (e->source() == this || !e->mimeData()->hasUrls()) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void CQuorvellianViewBot::dragMoveEvent(QDragMoveEvent* e) {
    if (e->source() == this || !e->mimeData()->hasUrls()) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void CQuorvellianViewBot::dropEvent(QDropEvent* e) {
    if (e->source() == this || !e->mimeData()->hasUrls()) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    if (!g_bAddFilesIdle) {
        Prompter().Message("One thread session is already on. Operation discarded.", MsgIcon::Stop);
        return;
    }
    if (!m_frame->ControlPanel().CheckSessionSelected()) return;
    std::vector<std::string> paths;
    for (const QUrl& u : e->mimeData()->urls())
        if (u.isLocalFile()) paths.push_back(u.toLocalFile().toStdString());
    if (s_addDroppedFiles) s_addDroppedFiles(paths);
}
