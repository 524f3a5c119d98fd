#include "compare/ui/DiffPane.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

#include "model/Trace.h"

namespace {

const DiffRows kNoRows;

// Colours of the markers: same, modified, added, deleted.
QColor MarkerColour(int m) {
    switch (m) {
    case 1: return QColor(230, 170, 0);
    case 2: return QColor(0, 160, 0);
    case 3: return QColor(210, 30, 30);
    default: return QColor();
    }
}

// The middle marker as the pair of markers it combines (against file 2, file 3).
void MiddlePair(int m, int& a, int& b) {
    static const int pairs[9][2] = {{0, 0}, {3, 0}, {0, 3}, {3, 3}, {0, 1},
                                    {1, 0}, {1, 1}, {3, 1}, {1, 3}};
    a = pairs[m][0];
    b = pairs[m][1];
}

void DrawMark(QPainter& p, const QRect& r, int m) {
    if (m == 0) return;
    p.setPen(Qt::NoPen);
    p.setBrush(MarkerColour(m == 3 ? 3 : m));
    p.drawRoundedRect(r.adjusted(2, 3, -2, -3), 2, 2);
    p.setPen(Qt::white);
    const char* sign = m == 1 ? "~" : m == 2 ? "+" : "-";
    QFont f = p.font();
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    p.drawText(r, Qt::AlignCenter, sign);
}

}  // namespace

QPixmap DiffMarkerPixmap(int marker, bool middle) {
    static std::vector<QPixmap> outer, inner;
    std::vector<QPixmap>& cache = middle ? inner : outer;
    if (cache.empty()) {
        const int count = middle ? 18 : 8;
        const int half = count / 2;
        for (int i = 0; i < count; ++i) {
            QPixmap pm(middle ? 32 : 16, 16);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            const int m = i % half;
            if (middle) {
                int a = 0, b = 0;
                MiddlePair(m, a, b);
                DrawMark(p, QRect(0, 0, 16, 16), a);
                DrawMark(p, QRect(16, 0, 16, 16), b);
            } else {
                DrawMark(p, QRect(0, 0, 16, 16), m);
            }
            if (i >= half) {  // exported: a blue corner
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(30, 80, 220));
                p.drawEllipse(QRect(pm.width() - 7, 0, 6, 6));
            }
            cache.push_back(pm);
        }
    }
    if (marker < 0 || marker >= static_cast<int>(cache.size())) return cache[0];
    return cache[marker];
}

CDiffPaneModel::CDiffPaneModel(bool middle, QObject* parent)
    : QAbstractTableModel(parent), m_middle(middle) {}

void CDiffPaneModel::SetRows(const DiffRows* rows, bool traceFillers) {
    beginResetModel();
    m_rows = rows;
    m_traceFillers = traceFillers;
    // The marks are taken with the first row exported.
    m_exported.clear();
    endResetModel();
}

const DiffRows& CDiffPaneModel::Rows() const { return m_rows ? *m_rows : kNoRows; }

int CDiffPaneModel::Marker(int row) const {
    const DiffRows& r = Rows();
    if (row < 0 || row >= static_cast<int>(r.size())) return 0;
    return r[row].marker + (!m_exported.empty() && m_exported[row] ? ExportStep() : 0);
}

void CDiffPaneModel::MarkExported(int row) {
    const DiffRows& r = Rows();
    if (row < 0 || row >= static_cast<int>(r.size())) return;
    if (r[row].lineNo < 0 || r[row].marker >= ExportStep()) return;
    if (m_exported.empty()) m_exported.assign(r.size(), 0);
    if (m_exported[row]) return;
    m_exported[row] = 1;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::DecorationRole});
}

int CDiffPaneModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Rows().size());
}

int CDiffPaneModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

// Rows can be dragged with the mouse (onto the master palette).
Qt::ItemFlags CDiffPaneModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | Qt::ItemIsDragEnabled;
}

QVariant CDiffPaneModel::data(const QModelIndex& index, int role) const {
    const DiffRows& r = Rows();
    const int row = index.row();
    if (!index.isValid() || row >= static_cast<int>(r.size())) return {};
    if (role == Qt::DecorationRole && index.column() == 0) return DiffMarkerPixmap(Marker(row), m_middle);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case 1: return row + 1;
    case 2: return QString::fromStdString(DiffLineNumberText(r[row].lineNo, m_traceFillers));
    case 3: return QString::fromUtf8(r[row].Text().data(), static_cast<qsizetype>(r[row].Text().size()));
    default: return {};
    }
}

QVariant CDiffPaneModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* titles[] = {"", "#", "#", "Lines"};
    return section >= 0 && section < 4 ? QString(titles[section]) : QVariant();
}

CDiffListCtrl::CDiffListCtrl(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(true);
    setWordWrap(false);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAcceptDrops(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    viewport()->setAcceptDrops(true);
    verticalHeader()->hide();
    // Every row has the same height: the view never measures rows one by one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    // Titles sit at the left, so "Lines" shows while its wide column is cut.
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setIconSize(QSize(32, 16));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) { emit TopRowChanged(v); });
}

int CDiffListCtrl::TopRow() const { return verticalScrollBar()->value(); }

int CDiffListCtrl::RowsPerPage() const {
    const int h = verticalHeader()->defaultSectionSize();
    return std::max(1, viewport()->height() / std::max(1, h));
}

void CDiffListCtrl::ScrollToTop(int top) { verticalScrollBar()->setValue(top); }

void CDiffListCtrl::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls() || e->mimeData()->hasFormat(kDiffRowsMime)) e->acceptProposedAction();
    else QTableView::dragEnterEvent(e);
}

void CDiffListCtrl::dragMoveEvent(QDragMoveEvent* e) {
    if (e->mimeData()->hasFormat(kDiffRowsMime)) {
        if (paneIndex != 3) {
            // Rows go only to the palette; over their own pane they may move on.
            if (e->source() == this) e->acceptProposedAction();
            else e->ignore();
            return;
        }
        // The row under the cursor becomes the palette's whole selection.
        const int row = indexAt(e->position().toPoint()).row();
        if (row >= 0) {
            selectionModel()->select(model()->index(row, 0),
                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::MoveAction : Qt::CopyAction);
        e->accept();
        return;
    }
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    else QTableView::dragMoveEvent(e);
}

void CDiffListCtrl::scrollTo(const QModelIndex& index, ScrollHint hint) {
    // A clicked or found row comes into view, but the view would also bring
    // the wide text column's left edge in, hiding the marker and number
    // columns: the rows follow, the columns stay where they are.
    const int column = horizontalScrollBar()->value();
    QTableView::scrollTo(index, hint);
    horizontalScrollBar()->setValue(column);
}

void CDiffListCtrl::startDrag(Qt::DropActions) {
    if (paneIndex >= 0 && paneIndex <= 2) emit RowDragStarted();
}

void CDiffListCtrl::HandleDroppedRows(int window, int pane, int row, bool override) {
    if (paneIndex != 3) return;
    emit RowsDropped(window, pane, row, override);
}

void CDiffListCtrl::HandleDroppedUrls(const QList<QUrl>& urls) {
    if (paneIndex != 3) {
        WriteTrace("Drag-n-drop ignored.");
        return;
    }
    std::vector<std::string> paths;
    for (const QUrl& u : urls) paths.push_back(u.toLocalFile().toStdString());
    emit FilesDropped(paths);
}

void CDiffListCtrl::dropEvent(QDropEvent* e) {
    if (e->mimeData()->hasFormat(kDiffRowsMime)) {
        const QList<QByteArray> parts = e->mimeData()->data(kDiffRowsMime).split(',');
        if (paneIndex != 3 || parts.size() != 2) {
            e->ignore();
            return;
        }
        e->accept();
        HandleDroppedRows(parts[0].toInt(), parts[1].toInt(), indexAt(e->position().toPoint()).row(),
                          e->modifiers() & Qt::ControlModifier);
        return;
    }
    if (!e->mimeData()->hasUrls()) {
        QTableView::dropEvent(e);
        return;
    }
    if (paneIndex == 3) e->acceptProposedAction();
    else e->ignore();
    HandleDroppedUrls(e->mimeData()->urls());
}

void CDiffListCtrl::keyPressEvent(QKeyEvent* e) {
    const QModelIndexList before = selectionModel()->selectedRows();
    QTableView::keyPressEvent(e);
    if (selectionModel()->selectedRows() != before) emit KeySelected();
}
