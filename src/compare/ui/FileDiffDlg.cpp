#include "compare/ui/FileDiffDlg.h"

#include <QAction>
#include <QClipboard>
#include <QDrag>
#include <QMimeData>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "compare/DiffRows.h"
#include "compare/DiffWindowsState.h"
#include "compare/ui/CommandMenu.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/DiffTwoLinesDlg.h"
#include "convert_ui/ui/ModalRun.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "model/Sound.h"

namespace {

const DiffRows kEmptyRows;
const char* const kPaneIds[3] = {"1714", "1730", "1725"};
const char* const kLabelIds[3] = {"1866", "1870", "1871"};

QIcon ButtonIcon(const char* letter, QColor colour) {
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(1, 1, 18, 18);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(12);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 20, 20), Qt::AlignCenter, letter);
    return QIcon(pm);
}

}  // namespace

CFileDiffDlg::CFileDiffDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("2051");
    setModal(false);
    setSizeGripEnabled(true);
    resize(900, 560);
    m_next = new QPushButton(this);
    m_next->setObjectName("1356");
    m_next->setIcon(ButtonIcon("N", QColor(0, 120, 200)));
    m_next->setToolTip("Next difference (F2)");
    m_prev = new QPushButton(this);
    m_prev->setObjectName("1357");
    m_prev->setIcon(ButtonIcon("P", QColor(0, 120, 200)));
    m_prev->setToolTip("Previous diference (F1)");
    m_legend = new QPushButton(this);
    m_legend->setObjectName("1359");
    m_legend->setIcon(ButtonIcon("L", QColor(90, 90, 90)));
    m_legend->setToolTip("Icon summary");
    for (QPushButton* b : {m_next, m_prev, m_legend}) {
        b->setFixedSize(26, 24);
        b->setAutoDefault(false);
    }
    connect(m_next, &QPushButton::clicked, this, &CFileDiffDlg::NextDifference);
    connect(m_prev, &QPushButton::clicked, this, &CFileDiffDlg::PreviousDifference);
    connect(m_legend, &QPushButton::clicked, this, &CFileDiffDlg::ShowIconLegend);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    for (int p : {0, 2, 1}) {
        auto* column = new QWidget(m_splitter);
        auto* v = new QVBoxLayout(column);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(2);
        m_labels[p] = new QLabel(column);
        m_labels[p]->setObjectName(kLabelIds[p]);
        m_labels[p]->setTextFormat(Qt::PlainText);
        m_labels[p]->setToolTip(kLabelIds[p]);
        m_panes[p] = new CDiffListCtrl(column);
        m_panes[p]->setObjectName(kPaneIds[p]);
        m_panes[p]->paneIndex = p;
        m_models[p] = new CDiffPaneModel(p == 2, this);
        m_panes[p]->setModel(m_models[p]);
        m_panes[p]->setContextMenuPolicy(Qt::CustomContextMenu);
        m_panes[p]->installEventFilter(this);
        m_panes[p]->setTextElideMode(Qt::ElideNone);
        QHeaderView* h = m_panes[p]->horizontalHeader();
        h->setMinimumSectionSize(5);
        h->resizeSection(0, p == 2 ? 40 : 24);
        h->resizeSection(1, 5);
        h->resizeSection(2, 50);
        h->resizeSection(3, 800);
        v->addWidget(m_labels[p]);
        v->addWidget(m_panes[p], 1);
        m_columns[p] = column;
        m_splitter->addWidget(column);
        connect(m_panes[p], &CDiffListCtrl::TopRowChanged, this, [this, p](int top) { SyncFrom(p, top); });
        connect(m_panes[p], &QAbstractItemView::clicked, this, [this, p] { ClickPane(p); });
        connect(m_panes[p], &CDiffListCtrl::KeySelected, this, [this, p] { ClickPane(p); });
        connect(m_panes[p], &CDiffListCtrl::RowDragStarted, this, [this, p] { StartRowDrag(p); });
        connect(m_panes[p], &QAbstractItemView::doubleClicked, this, [this, p] {
            g_DiffWindows.lastWindow = m_mode;
            g_DiffWindows.lastPane = p;
            FindText();
        });
        connect(m_panes[p], &QWidget::customContextMenuRequested, this,
                [this, p](const QPoint& pos) { ShowPopup(p, m_panes[p]->viewport()->mapToGlobal(pos)); });
    }
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(m_next);
    buttons->addWidget(m_prev);
    buttons->addWidget(m_legend);
    buttons->addStretch();
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(4, 2, 4, 4);
    top->setSpacing(2);
    top->addLayout(buttons);
    top->addWidget(m_splitter, 1);
    m_menu = new QMenu(this);
    m_menu->setObjectName("151");
}

CFileDiffDlg::~CFileDiffDlg() = default;

void CFileDiffDlg::SetDiffMode(CProgramData* data, int mode) {
    m_data = data;
    m_mode = mode;
    m_activePane = -1;
    static const char* captions[] = {"Input vs. Output Window", "2-Way Diff - Files", "3-Way Diff - Files"};
    setWindowTitle(captions[std::clamp(mode, 0, 2)]);
    for (int p = 0; p < 3; ++p) m_panes[p]->windowNo = mode;
    const bool three = mode == kDiffWindowThreeWay;
    m_columns[2]->setVisible(three);
    if (three) resize(1200, 600);
    else if (TwoPanePlacement().isValid()) setGeometry(TwoPanePlacement());
    // Splitter handles after the left column (1930) and after the middle one (1931).
    m_splitter->handle(1)->setObjectName(three ? "1930" : "");
    m_splitter->handle(2)->setObjectName(three ? "1931" : "1930");
}

CDiffListCtrl* CFileDiffDlg::Pane(int pane) const { return pane >= 0 && pane < 3 ? m_panes[pane] : nullptr; }
CDiffPaneModel* CFileDiffDlg::Model(int pane) const { return pane >= 0 && pane < 3 ? m_models[pane] : nullptr; }
QLabel* CFileDiffDlg::Label(int pane) const { return pane >= 0 && pane < 3 ? m_labels[pane] : nullptr; }

const std::vector<int>& CFileDiffDlg::Selection(int pane) const {
    static const std::vector<int> none;
    return pane >= 0 && pane < 3 ? m_selection[pane] : none;
}

const DiffRows& CFileDiffDlg::RowsOf(int pane) const {
    return pane >= 0 && pane < 3 ? m_models[pane]->Rows() : kEmptyRows;
}

int CFileDiffDlg::RowCount() const { return static_cast<int>(RowsOf(0).size()); }

void CFileDiffDlg::LoadDiffResult(CDiffResult* result) {
    if (!result) {
        Prompter().Message("This should not be null.", MsgIcon::Warning);
        return;
    }
    m_result = result;
    m_names[0] = ShortenDiffName(result->name1);
    m_names[2] = ShortenDiffName(result->name2);
    m_names[1] = ShortenDiffName(result->name3);
    const bool three = m_mode == kDiffWindowThreeWay;
    m_models[0]->SetRows(&result->leftRows, g_bTrace);
    m_models[1]->SetRows(&result->rightRows, g_bTrace);
    m_models[2]->SetRows(three ? &result->middleRows : nullptr, g_bTrace);
    for (auto& s : m_selection) s.clear();
    const int count = static_cast<int>(result->leftRows.size());
    if (count != 0) {
        m_numbers[0] = std::to_string(result->fileNo1 + 1);
        m_numbers[2] = std::to_string(result->fileNo2 + 1);
        m_numbers[1] = std::to_string(result->fileNo3 + 1);
    }
    if (m_labelFont)
        for (QLabel* label : m_labels) label->setFont(*m_labelFont);
    for (int p = 0; p < 3; ++p) m_lastDifference[p] = LastDifferenceNumber(RowsOf(p));
    if (!three) m_lastDifference[2] = 0;
    SelectRow(0, 0);
    SelectRow(1, 0);
    if (m_lastDifference[2] != 0) SelectRow(2, 0);
    for (int p : {0, 2, 1}) g_DiffWindows.PushPaneClick(p);
    UpdateLabels(0);
    const int numberWidth = (static_cast<int>(std::to_string(count).size()) + 1) * 9;
    for (int p = 0; p < 3; ++p) {
        if (p == 2 && m_lastDifference[2] == 0) continue;
        m_panes[p]->horizontalHeader()->resizeSection(2, std::max(numberWidth, 30));
        m_panes[p]->ScrollToTop(0);
    }
}

std::string CFileDiffDlg::LabelText(int pane, int row) const {
    std::string text = m_numbers[pane] + ". " + m_names[pane];
    if (pane != 2) text += DiffLabelSuffix(RowsOf(pane), row, m_lastDifference[pane]);
    return text;
}

void CFileDiffDlg::UpdateLabels(int row) {
    for (int p = 0; p < 3; ++p) m_labels[p]->setText(QString::fromStdString(LabelText(p, row)));
}

void CFileDiffDlg::SelectRow(int pane, int row) {
    if (pane < 0 || pane >= 3) return;
    QItemSelectionModel* sm = m_panes[pane]->selectionModel();
    sm->clearSelection();
    m_selection[pane].clear();
    if (row >= 0 && row < m_models[pane]->rowCount()) {
        const QModelIndex index = m_models[pane]->index(row, 0);
        sm->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sm->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        m_selection[pane].push_back(row);
    }
}

void CFileDiffDlg::ScrollRowIntoView(int row) {
    for (int p = 0; p < PaneCount(); ++p) {
        if (row < 0 || row >= m_models[p]->rowCount()) continue;
        m_panes[p]->scrollTo(m_models[p]->index(row, 0), QAbstractItemView::PositionAtCenter);
    }
}

void CFileDiffDlg::SyncFrom(int pane, int top) {
    if (m_syncing) return;
    m_syncing = true;
    for (int p = 0; p < PaneCount(); ++p)
        if (p != pane) m_panes[p]->ScrollToTop(top);
    m_syncing = false;
}

int CFileDiffDlg::CurrentRow() const {
    auto first = [this](int p) { return m_selection[p].empty() ? -1 : m_selection[p].front(); };
    if (m_activePane >= 0 && m_activePane < 3) return first(m_activePane);
    int row = -1;
    for (int p = 0; p < PaneCount(); ++p) row = std::max(row, first(p));
    return row;
}

void CFileDiffDlg::NextDifference() {
    std::vector<const DiffRows*> panes;
    for (int p = 0; p < PaneCount(); ++p) panes.push_back(&RowsOf(p));
    const int target = NextDifferenceRow(panes, CurrentRow());
    if (target >= RowCount()) {
        Prompter().Message("Reached the end of the file.", MsgIcon::Info);
        return;
    }
    for (int p = 0; p < PaneCount(); ++p) SelectRow(p, target);
    ScrollRowIntoView(target);
    UpdateLabels(target);
}

void CFileDiffDlg::PreviousDifference() {
    std::vector<const DiffRows*> panes;
    for (int p = 0; p < PaneCount(); ++p) panes.push_back(&RowsOf(p));
    const int target = PreviousDifferenceRow(panes, CurrentRow());
    if (target < 0) {
        Prompter().Message("Reached the beginning of the file.", MsgIcon::Info);
        return;
    }
    for (int p = 0; p < PaneCount(); ++p) SelectRow(p, target);
    ScrollRowIntoView(target);
    UpdateLabels(target);
}

void CFileDiffDlg::ClickPane(int pane) {
    g_DiffWindows.lastWindow = m_mode;
    g_DiffWindows.lastPane = pane;
    m_activePane = pane;
    g_DiffWindows.PushPaneClick(pane);
    std::vector<int>& rec = m_selection[pane];
    rec.clear();
    for (const QModelIndex& i : m_panes[pane]->selectionModel()->selectedRows()) rec.push_back(i.row());
    std::sort(rec.begin(), rec.end());
    const int row = rec.empty() ? -1 : rec.back();
    m_labels[pane]->setText(QString::fromStdString(LabelText(pane, row)));
}

void CFileDiffDlg::SelectAllRows(int pane) {
    if (pane < 0 || pane >= PaneCount()) return;
    m_panes[pane]->selectAll();
    const int n = m_models[pane]->rowCount();
    m_selection[pane].resize(n);
    for (int i = 0; i < n; ++i) m_selection[pane][i] = i;
}

void CFileDiffDlg::SearchPane(int pane, const std::string& text, bool partial) {
    if (pane < 0 || pane >= PaneCount()) {
        Prompter().Message("Click on a line in left or right pane.\r\nThen proceed.", MsgIcon::Warning);
        return;
    }
    const DiffRows& rows = RowsOf(pane);
    if (rows.empty()) {
        Prompter().Message("List is empty.", MsgIcon::Warning);
        return;
    }
    const int selected = m_selection[pane].empty() ? -1 : m_selection[pane].front();
    const int found = FindRowInPane(rows, text, partial, selected);
    if (found < 0) {
        Prompter().Message("Text not found here.", MsgIcon::Info);
        return;
    }
    SelectRow(pane, found);
    ScrollRowIntoView(found);
}

void CFileDiffDlg::FindText() {
    const int pane = g_DiffWindows.lastPane;
    static const char* names[] = {"left", "right", "middle"};
    std::string initial = "Enter your text here...";
    std::string status;
    const std::vector<int>& sel = Selection(pane);
    if (!sel.empty() && sel.front() < static_cast<int>(RowsOf(pane).size())) {
        initial = std::string(RowsOf(pane)[sel.front()].Text());
        status = "Grabbed line " + std::to_string(sel.front() + 1) + " from " +
                 (pane >= 0 && pane < 3 ? names[pane] : "unknown") + " list.";
    }
    CDiffTwoLinesDlg dlg(initial, "", status, "Find:", "", true, this);
    dlg.SetPaletteAvailable(static_cast<bool>(findInPalette));
    if (RunDialogModal(dlg) != QDialog::Accepted) return;
    const std::string text = dlg.ResultText();
    if (g_DiffWindows.findInMasterPalette && findInPalette) findInPalette(text, g_DiffWindows.findMatchPartial);
    else SearchPane(pane, text, g_DiffWindows.findMatchPartial);
}

void CFileDiffDlg::GoToLine() {
    const int current = CurrentRow();
    const int count = RowCount();
    const int prefill = current >= 0 && current < count ? current + 1 : count;
    const auto entry = Prompter().AskText("Go To", "Enter line number where you want to go to:", std::to_string(prefill));
    if (!entry) return;
    const auto row = GoToLineRow(*entry, count);
    if (!row) {
        Prompter().Message("Invalid line number.", MsgIcon::Warning);
        return;
    }
    for (int p = 0; p < PaneCount(); ++p) SelectRow(p, *row);
    ScrollRowIntoView(*row);
}

void CFileDiffDlg::CopyRows(int pane) {
    if (pane < 0 || pane >= PaneCount()) return;
    const std::vector<int>& sel = m_selection[pane];
    const std::string text = CopyRowsText(RowsOf(pane), sel);
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    int copied = 0;
    for (int r : sel) copied += r >= 0 && r < static_cast<int>(RowsOf(pane).size());
    if (copied == 0) return;
    WriteTraceString(CopiedRowsTrace(copied));
    PlayTone(200, 100);
    PlayTone(2000, 100);
}

void CFileDiffDlg::CompareTwoLinesHere() {
    int lo = 0, hi = 2;
    g_DiffWindows.ComparePanes(lo, hi);
    static const char* labels[] = {"Left:", "Right:", "Middle:"};
    auto textOf = [this](int p) {
        const std::vector<int>& sel = Selection(p);
        const DiffRows& rows = RowsOf(p);
        if (sel.empty() || sel.front() >= static_cast<int>(rows.size())) return std::string();
        return std::string(rows[sel.front()].Text());
    };
    CDiffTwoLinesDlg dlg(textOf(lo), textOf(hi), "", labels[lo], labels[hi], false, this);
    RunDialogModal(dlg);
}

void CFileDiffDlg::ShowIconLegend() {
    CIconDescriptionsDlg dlg(this);
    RunDialogModal(dlg);
}

void CFileDiffDlg::ExportToPalette(int pane, bool override) {
    if (pane < 0 || pane >= PaneCount() || !m_data || !exportLines) return;
    std::vector<int> rows;
    for (const QModelIndex& i : m_panes[pane]->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    if (rows.empty()) return;
    std::vector<std::string> texts;
    m_data->m_DiffResults.GetRowTexts(texts, m_mode, pane, rows);
    const int origin = m_mode * 2 + pane + (override ? 7 : 0);
    // Rows are marked only when the palette took the lines.
    if (!exportLines(texts, origin, override)) return;
    for (int r : rows) m_models[pane]->MarkExported(r);
}

void CFileDiffDlg::StartRowDrag(int pane) {
    const int count = static_cast<int>(m_panes[pane]->selectionModel()->selectedRows().size());
    if (count == 0) return;
    m_activePane = pane;
    g_DiffWindows.lastWindow = m_mode;
    g_DiffWindows.lastPane = pane;
    auto* mime = new QMimeData;
    mime->setData(kDiffRowsMime, QByteArray::number(m_mode) + "," + QByteArray::number(pane));
    // One sheet for one row, a stack for several.
    QPixmap pm(28, 22);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    painter.setPen(QColor(60, 60, 60));
    painter.setBrush(QColor(255, 255, 220));
    const int sheets = count == 1 ? 1 : 3;
    for (int i = sheets - 1; i >= 0; --i) painter.drawRect(2 + i * 3, 2 + i * 3, 16, 12);
    painter.end();
    auto* drag = new QDrag(m_panes[pane]);
    drag->setMimeData(mime);
    drag->setPixmap(pm);
    drag->setHotSpot(QPoint(-10, -14));
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void CFileDiffDlg::ShowPopup(int pane, const QPoint& at) {
    g_DiffWindows.lastWindow = m_mode;
    g_DiffWindows.lastPane = pane;
    m_menu->clear();
    auto add = [this](int id, const char* text) {
        AddCommandItem(m_menu, this, id, text, commandEnabled, sendCommand);
    };
    add(32609, "Add these lines to Master palette");
    add(32610, "Override selected lines in Master palette with these lines");
    m_menu->addSeparator();
    add(32604, "Copy\tCtrl+C");
    add(32605, "Find text\tCtrl+F, Dbl Click");
    add(32606, "Go to line here\tCtrl+G");
    add(32607, "Compare two lines here\tCtrl+Q");
    m_menu->popup(at);
}

namespace {
// The keys a pane handles itself: F1 and F2 alone, Ctrl with A, C, F, G or Q.
bool IsPaneKey(const QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) return key->key() == Qt::Key_F1 || key->key() == Qt::Key_F2;
    if (mods != Qt::ControlModifier) return false;
    switch (key->key()) {
    case Qt::Key_A: case Qt::Key_C: case Qt::Key_F: case Qt::Key_G: case Qt::Key_Q: return true;
    default: return false;
    }
}
}  // namespace

bool CFileDiffDlg::eventFilter(QObject* watched, QEvent* event) {
    const bool press = event->type() == QEvent::KeyPress;
    // A pane's own keys win over the program's keys while the pane has the focus.
    if (!press && event->type() != QEvent::ShortcutOverride) return QDialog::eventFilter(watched, event);
    int pane = -1;
    for (int p = 0; p < 3; ++p)
        if (watched == m_panes[p]) pane = p;
    auto* key = static_cast<QKeyEvent*>(event);
    if (pane < 0 || !IsPaneKey(key)) return QDialog::eventFilter(watched, event);
    event->accept();
    if (!press) return true;
    switch (key->key()) {
    case Qt::Key_F1: PreviousDifference(); break;
    case Qt::Key_F2: NextDifference(); break;
    case Qt::Key_A: SelectAllRows(pane); break;
    case Qt::Key_C: CopyRows(pane); break;
    case Qt::Key_F: FindText(); break;
    case Qt::Key_G: GoToLine(); break;
    case Qt::Key_Q: CompareTwoLinesHere(); break;
    }
    return true;
}

QRect& CFileDiffDlg::TwoPanePlacement() {
    static QRect placement;
    return placement;
}

void CFileDiffDlg::SetLabelFont(const QFont& font) {
    m_labelFont = font;
    for (QLabel* label : m_labels) label->setFont(font);
}

void CFileDiffDlg::moveEvent(QMoveEvent* e) {
    QDialog::moveEvent(e);
    if (isVisible()) TwoPanePlacement().moveTopLeft(geometry().topLeft());
}

void CFileDiffDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (isVisible()) TwoPanePlacement().setSize(geometry().size());
}

void CFileDiffDlg::done(int r) {
    if (m_mode >= 0 && m_mode < 3) g_DiffWindows.windowShown[m_mode] = false;
    QDialog::done(r);
}
