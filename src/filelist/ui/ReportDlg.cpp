#include "filelist/ui/ReportDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>

#include "filelist/FileListing.h"
#include "filelist/ui/DialogText.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"
#include "widgets/Icons.h"

using namespace filelist_ui;

namespace {
constexpr int kFirstRowCheck = 1482;
constexpr int kRowChecks = 7;
}  // namespace

CReportDlg::CReportDlg(CProgramData* data, QWidget* parent) : QDialog(parent, Qt::Tool), m_data(data) {
    setObjectName("2041");
    setWindowTitle("Report");

    m_tabs = Named(new QTabBar, "1808");
    m_tabs->addTab("    Files    ");
    m_tabs->addTab("    Baskets    ");

    // Both groups share one place, so the window keeps its size between tabs.
    // They go into it before their contents: the first one shown there lays
    // out what it holds at once, which can wait until the window is shown.
    m_filesGroup = new QWidget;
    m_basketsGroup = new QWidget;
    m_groups = new QStackedWidget;
    m_groups->addWidget(m_filesGroup);
    m_groups->addWidget(m_basketsGroup);

    // The "Files" group: the columns, their marks and gutters.
    m_list = Named(new QTreeWidget, "1726");
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({"", "Gutter", "Fields"});
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnWidth(0, 34);
    m_list->setColumnWidth(1, 60);
    m_list->setMinimumHeight(190);
    m_gutter = Named(new QLineEdit, "1625");
    m_gutter->setMaximumWidth(60);
    auto* modify = Named(new QPushButton("Modify"), "1750");
    auto* up = Named(new QPushButton, "1326");
    auto* down = Named(new QPushButton, "1324");
    up->setIcon(StandardIcon(this, QStyle::SP_ArrowUp));
    down->setIcon(StandardIcon(this, QStyle::SP_ArrowDown));
    for (QPushButton* b : {modify, up, down}) b->setAutoDefault(false);
    auto* example = new QHBoxLayout;
    for (const auto& [id, text] : std::vector<std::pair<const char*, const char*>>{
             {"1866", "Gutter"}, {"1872", "Filename"}, {"1871", "Gutter"}, {"1870", "Remote dir"}}) {
        auto* l = Named(new QLabel(text), id);
        l->setFrameShape(QFrame::Box);
        example->addWidget(l);
    }
    example->addStretch(1);
    auto* files = new QGridLayout(m_filesGroup);
    files->setContentsMargins(0, 0, 0, 0);
    files->addLayout(example, 0, 0, 1, 3);
    files->addWidget(Named(new QLabel("Fields:"), "1874"), 1, 0, 1, 3);
    files->addWidget(m_list, 2, 0, 1, 2);
    auto* moves = new QVBoxLayout;
    moves->addWidget(up);
    moves->addWidget(down);
    moves->addStretch(1);
    files->addLayout(moves, 2, 2);
    auto* gutterRow = new QHBoxLayout;
    gutterRow->addWidget(Named(new QLabel("Gutter:"), "1873"));
    gutterRow->addWidget(m_gutter);
    gutterRow->addWidget(modify);
    gutterRow->addStretch(1);
    files->addLayout(gutterRow, 3, 0, 1, 3);

    // The "Baskets" group: how baskets are compared.
    m_localTree = Named(new QRadioButton("Local directory tree structure"), "1809");
    m_remoteTree = Named(new QRadioButton("Remote directory tree structure"), "1810");
    m_trail = Named(new QCheckBox("Show Add/Delete trail"), "1509");
    m_diffCommon = Named(new QCheckBox("Diff common files"), "1467");
    m_diffDetail = Named(new QCheckBox("Show diff analysis"), "1472");
    m_options = Named(new QPushButton("Options>>"), "1364");
    m_options->setAutoDefault(false);
    auto* baskets = new QVBoxLayout(m_basketsGroup);
    baskets->setContentsMargins(0, 0, 0, 0);
    baskets->addWidget(Named(new QLabel("Compare Baskets by examining:"), "1875"));
    baskets->addWidget(m_localTree);
    baskets->addWidget(m_remoteTree);
    baskets->addWidget(m_trail);
    baskets->addWidget(m_diffCommon);
    auto* detail = new QHBoxLayout;
    detail->addSpacing(20);
    detail->addWidget(m_diffDetail);
    detail->addWidget(m_options);
    detail->addStretch(1);
    baskets->addLayout(detail);
    baskets->addStretch(1);

    m_copy = Named(new QCheckBox("Copy report to the clip-board"), "1469");
    m_dump = Named(new QCheckBox("Open Interactive Window, if closed"), "1473");
    auto* reset = Named(new QPushButton("Reset"), "1418");
    auto* make = Named(new QPushButton("Report"), "1416");
    make->setIcon(StandardIcon(this, QStyle::SP_FileDialogDetailedView));
    auto* close = Named(new QPushButton("Close"), "1");
    for (QPushButton* b : {reset, make}) b->setAutoDefault(false);

    auto* root = new QVBoxLayout(this);
    root->addWidget(m_tabs);
    root->addWidget(m_groups, 1);
    root->addWidget(m_copy);
    root->addWidget(m_dump);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reset);
    buttons->addStretch(1);
    buttons->addWidget(make);
    buttons->addWidget(close);
    root->addLayout(buttons);
    resize(380, 460);

    connect(m_tabs, &QTabBar::currentChanged, this, &CReportDlg::ShowTab);
    connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        m_gutter->setText(item->text(1));
    });
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
        if (item) m_gutter->setText(item->text(1));
    });
    connect(modify, &QPushButton::clicked, this, &CReportDlg::OnModify);
    connect(up, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(down, &QPushButton::clicked, this, [this] { OnMove(1); });
    connect(reset, &QPushButton::clicked, this, [this] {
        Report().SetDefaultColumns();
        Refresh();
    });
    connect(make, &QPushButton::clicked, this, &CReportDlg::MakeReport);
    connect(close, &QPushButton::clicked, this, &CReportDlg::reject);
    connect(m_copy, &QCheckBox::clicked, this, [this] { Report().ReportCopy = !Report().ReportCopy; });
    connect(m_dump, &QCheckBox::clicked, this, [this] { Report().ReportDump = !Report().ReportDump; });
    connect(m_diffDetail, &QCheckBox::clicked, this,
            [this] { Report().ReportDumpDiffs = !Report().ReportDumpDiffs; });
    connect(m_trail, &QCheckBox::clicked, this, [] { g_bDiffReportInter = !g_bDiffReportInter; });
    connect(m_localTree, &QRadioButton::clicked, this, &CReportDlg::OnLocalTree);
    connect(m_remoteTree, &QRadioButton::clicked, this, &CReportDlg::OnRemoteTree);
    connect(m_diffCommon, &QCheckBox::clicked, this, &CReportDlg::OnDiffCommonFiles);
    connect(m_options, &QPushButton::clicked, this, [this] {
        if (showDiffOptions) showDiffOptions();
    });
    ShowTab(0);
}

CSessionReport& CReportDlg::Report() { return m_data->m_SessionReport; }

void CReportDlg::ShowTab(int index) {
    m_groups->setCurrentWidget(index == 1 ? m_basketsGroup : m_filesGroup);
}

void CReportDlg::FillRow(int row) {
    const ReportColumnOption& c = Report().Columns[std::size_t(row)];
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    item->setText(1, QString::number(c.GutterVal));
    item->setText(2, Q(c.OptionName));
    if (row >= kRowChecks) return;
    auto* check = qobject_cast<QCheckBox*>(m_list->itemWidget(item, 0));
    if (!check) {
        check = new QCheckBox;
        check->setObjectName(QString::number(kFirstRowCheck + row));
        connect(check, &QCheckBox::clicked, this, [this, row] { OnIncluded(row); });
        m_list->setItemWidget(item, 0, check);
    }
    check->setChecked(c.IsIncluded);
}

void CReportDlg::Refresh() {
    CSessionReport& r = Report();
    if (r.Columns.empty()) r.SetDefaultColumns();
    // The rows (and the mark boxes in them) are kept and rewritten.
    while (m_list->topLevelItemCount() > int(r.Columns.size())) delete m_list->takeTopLevelItem(m_list->topLevelItemCount() - 1);
    while (m_list->topLevelItemCount() < int(r.Columns.size())) new QTreeWidgetItem(m_list);
    for (std::size_t i = 0; i < r.Columns.size(); ++i) FillRow(int(i));
    m_copy->setChecked(r.ReportCopy);
    m_dump->setChecked(r.ReportDump);
    m_trail->setChecked(g_bDiffReportInter);
    m_localTree->setChecked(r.ReportUseLocalDir);
    m_remoteTree->setChecked(!r.ReportUseLocalDir);
    m_diffCommon->setChecked(r.ReportUseLocalDir && r.ReportCompFiles);
    m_diffCommon->setEnabled(r.ReportUseLocalDir);
    m_diffDetail->setChecked(r.ReportDumpDiffs);
    m_diffDetail->setEnabled(m_diffCommon->isChecked());
    m_options->setEnabled(m_diffCommon->isChecked());
    int first = 0;
    for (std::size_t i = 0; i < r.Columns.size(); ++i)
        if (r.Columns[i].IsIncluded) {
            first = int(i);
            break;
        }
    SelectRow(first);
}

void CReportDlg::ShowTrail() { m_trail->setChecked(g_bDiffReportInter); }

void CReportDlg::SelectRow(int row) {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (!item) return;
    m_list->setCurrentItem(item);
    m_list->clearSelection();
    item->setSelected(true);
    m_gutter->setText(item->text(1));
}

int CReportDlg::SelectedRow() const {
    const auto items = m_list->selectedItems();
    return items.isEmpty() ? -1 : m_list->indexOfTopLevelItem(items.front());
}

void CReportDlg::OnModify() {
    const int row = SelectedRow();
    if (row < 0 || row >= int(Report().Columns.size())) return;
    const std::string text = m_gutter->text().toStdString();
    Report().Columns[std::size_t(row)].GutterVal = std::atoi(text.c_str());
    m_list->topLevelItem(row)->setText(1, m_gutter->text());
}

void CReportDlg::OnMove(int delta) {
    const int row = SelectedRow();
    if (row < 0 || !SwapColumns(Report(), row, row + delta)) return;
    FillRow(row);
    FillRow(row + delta);
    SelectRow(row + delta);
}

void CReportDlg::OnIncluded(int column) {
    if (column >= int(Report().Columns.size())) return;
    ReportColumnOption& c = Report().Columns[std::size_t(column)];
    c.IsIncluded = !c.IsIncluded;
    FillRow(column);
}

void CReportDlg::UpdateDiffControls() {
    const CSessionReport& r = Report();
    m_diffDetail->setChecked(r.ReportCompFiles && r.ReportDumpDiffs);
    m_diffDetail->setEnabled(r.ReportCompFiles);
    m_options->setEnabled(r.ReportCompFiles);
}

void CReportDlg::OnLocalTree() {
    Report().ReportUseLocalDir = true;
    m_diffCommon->setEnabled(true);
    UpdateDiffControls();
}

void CReportDlg::OnRemoteTree() {
    CSessionReport& r = Report();
    r.ReportUseLocalDir = false;
    r.ReportCompFiles = false;
    r.ReportDumpDiffs = false;
    m_diffCommon->setChecked(false);
    m_diffCommon->setEnabled(false);
    m_diffDetail->setChecked(false);
    m_diffDetail->setEnabled(false);
    m_options->setEnabled(false);
}

void CReportDlg::OnDiffCommonFiles() {
    CSessionReport& r = Report();
    r.ReportCompFiles = !r.ReportCompFiles;
    if (!r.ReportCompFiles) r.ReportDumpDiffs = false;
    m_diffCommon->setChecked(r.ReportCompFiles);
    UpdateDiffControls();
}

void CReportDlg::MakeReport() {
    CProgramData& d = *m_data;
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    std::string text;
    if (m_tabs->currentIndex() == 1) {
        const std::vector<int> rows = selectedBaskets ? selectedBaskets() : std::vector<int>();
        if (rows.size() < 2) {
            Prompter().Message("At least two baskets must be selected that you want to compare.", MsgIcon::Info);
            return;
        }
        text = CompareSelectedBaskets(d, Report(), m_work, p, s, rows);
        if (Report().ReportCompFiles) text += "Difference in files:\r\n" + m_work.DiffCommonFiles(Report().ReportDumpDiffs);
    } else {
        std::vector<int> sel = d.GetSelection(p, s, b);
        std::sort(sel.begin(), sel.end());
        text = ListFileItems(d, Report(), p, s, b, sel);
    }
    if (showReport) showReport(text);
}

void CReportDlg::accept() { hide(); }
void CReportDlg::reject() { hide(); }
