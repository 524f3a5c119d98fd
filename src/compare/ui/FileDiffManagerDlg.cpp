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

#include "compare/DiffBuilder.h"
#include "compare/DiffOptions.h"
#include "compare/DiffWindowsState.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/FileDiffDlg.h"
#include "model/Globals.h"
#include "widgets/Icons.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"

namespace {

const char* const kInstanceNames[3] = {"Input vs. Output Window", "File-1 vs. File-2", "3-Way Diff"};

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
    CDiffResultSet& set = m_data->m_DiffResults;
    set.PrepareInputOutputDiff();
    AddDiffInstance(kInstanceNames[0], 0, 0);
    if (BuildInputOutputDiff(set.m_InputOutputResult) && m_windows[0])
        m_windows[0]->LoadDiffResult(&set.m_InputOutputResult);
    ShowDiffWindow(0);
}

void CFileDiffManagerDlg::RunQuickDiff() {
    if (!m_data) return;
    const std::vector<std::string> paths = SelectedPaths();
    if (paths.size() < 2) {
        Prompter().Message("At least two files must be selected that you want to compare.", MsgIcon::Warning);
        return;
    }
    CDiffResultSet& set = m_data->m_DiffResults;
    set.PrepareTwoFileDiff(paths);
    const int n = m_instances->count();
    const bool first = n == 0 || (n == 1 && m_instances->item(0)->text() == kInstanceNames[2]);
    AddDiffInstance(kInstanceNames[1], 1, first ? 0 : 1);
    if (BuildFilesDiff(set.m_FilesResult) && m_windows[1]) m_windows[1]->LoadDiffResult(&set.m_FilesResult);
    ShowDiffWindow(1);
}

void CFileDiffManagerDlg::RunThreeWayDiff() {
    if (!m_data) return;
    const std::vector<std::string> paths = SelectedPaths();
    if (paths.size() < 3) {
        Prompter().Message("At least three files must be selected that you want to compare.", MsgIcon::Warning);
        return;
    }
    CDiffResultSet& set = m_data->m_DiffResults;
    set.PrepareThreeWayDiff(paths);
    AddDiffInstance(kInstanceNames[2], 2, m_instances->count());
    if (Build3WayDiff(set.m_ThreeWayResult) && m_windows[2])
        m_windows[2]->LoadDiffResult(&set.m_ThreeWayResult);
    ShowDiffWindow(2);
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
