#include "convert_ui/ui/DefinedMacrosDlg.h"

#include <QFileInfo>
#include <algorithm>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "widgets/Icons.h"
#include "widgets/SharedDialogs.h"
#include "convert_ui/LibraryEditing.h"
#include "convert_ui/ui/DefineMacroDlg.h"
#include "convert_ui/ui/DelimiterListDlg.h"
#include "convert_ui/ui/LibraryButtons.h"
#include "convert_ui/ui/ModalRun.h"
#include "convert_ui/ui/WildCardManagerDlg.h"
#include "filelist/AddFileItems.h"
#include "model/Globals.h"
#include "model/WorkArea.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"

bool g_bDefinedMacrosShown = false;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), std::size_t(b.size()));
}

// The list image strip: plain inactive, plain active, wild inactive, wild
// active, library.
QIcon RowIcon(int image) {
    static const QColor colours[5] = {QColor(180, 180, 180), QColor(40, 150, 40), QColor(230, 200, 160),
                                      QColor(220, 110, 20), QColor(60, 90, 200)};
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setBrush(colours[std::clamp(image, 0, 4)]);
    p.setPen(Qt::darkGray);
    if (image == 4) p.drawRect(2, 2, 11, 11);
    else if (image >= 2) p.drawPolygon(QPolygon({QPoint(8, 1), QPoint(15, 8), QPoint(8, 15), QPoint(1, 8)}));
    else p.drawEllipse(2, 2, 11, 11);
    return QIcon(pm);
}

QTreeWidget* MakeList(QWidget* parent, const char* id) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(id);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setAllColumnsShowFocus(true);
    list->setUniformRowHeights(true);
    return list;
}

// Asks for a library name until one is given or the user cancels.
std::optional<std::string> AskLibraryName(const char* title, const std::string& initial) {
    std::optional<std::string> name;
    for (;;) {
        name = Prompter().AskText(title, "Enter library name:", initial);
        if (!name || !name->empty()) return name;
    }
}
}  // namespace

CDefinedMacrosDlg::CDefinedMacrosDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Text Conversion Library");
    setSizeGripEnabled(true);
    m_libs = MakeList(this, "1716");
    m_libs->setHeaderLabels({"Libraries"});
    m_libs->setToolTip("Libraries");
    m_macros = MakeList(this, "1715");
    m_macros->setHeaderLabels({"Find", "Case", "Wild", "Replace", "Wild", "Knobs", "Used"});
    m_macros->setToolTip("Library items");
    m_macros->header()->setSectionsClickable(true);
    m_macros->header()->setSortIndicatorShown(false);

    struct B {
        const char* id;
        QStyle::StandardPixmap icon;
        const char* text;
        const char* tip;
    };
    const B libButtons[] = {
        {"1327", QStyle::SP_ArrowUp, "", "Move up"},
        {"1325", QStyle::SP_ArrowDown, "", "Move down"},
        {"1319", QStyle::SP_FileDialogNewFolder, "", "Add library"},
        {"1750", QStyle::SP_CustomBase, "Ren", "Modify library"},
        {"1557", QStyle::SP_TrashIcon, "", "Delete library"},
        {"1745", QStyle::SP_CustomBase, "Imp", "Import macros from other libraries"},
        {"1320", QStyle::SP_CustomBase, "Gen", "Auto-generate library from output text"},
        {"1704", QStyle::SP_DialogOpenButton, "", "Import libraries from file"},
        {"1697", QStyle::SP_DialogSaveButton, "", "Export selected library to a file."},
    };
    const B macroButtons[] = {
        {"1326", QStyle::SP_ArrowUp, "", "Move up"},
        {"1324", QStyle::SP_ArrowDown, "", "Move down"},
        {"1321", QStyle::SP_FileIcon, "", "Add item to library"},
        {"1594", QStyle::SP_CustomBase, "Dup", "Duplicate item in library"},
        {"1751", QStyle::SP_CustomBase, "Ed", "Modify item"},
        {"1752", QStyle::SP_CustomBase, "Ed*", "Modify attributes for multiple items"},
        {"1558", QStyle::SP_TrashIcon, "", "Delete item from library"},
        {"1314", QStyle::SP_DialogApplyButton, "", "Activate (conversion uses this item)"},
        {"1550", QStyle::SP_DialogCancelButton, "", "De-activate (conversion skips this item)"},
        {"1695", QStyle::SP_CustomBase, "WP", "Export selected macro to Workpad"},
    };
    auto* bar = new QHBoxLayout;
    bar->setSpacing(2);
    auto button = [this](const B& b) {
        QPushButton* w = MakeIconButton(this, b.id, b.icon, b.text, b.tip);
        if (b.icon == QStyle::SP_CustomBase) ShowButtonPicture(w, "libmgr", 16);
        return w;
    };
    for (const B& b : libButtons) bar->addWidget(button(b));
    bar->addSpacing(12);
    for (const B& b : macroButtons) bar->addWidget(button(b));
    bar->addStretch(1);
    auto* close = new QPushButton("Close", this);
    close->setObjectName("1");
    close->setAutoDefault(false);
    bar->addWidget(close);

    auto* convert = MakeIconButton(this, "1350", QStyle::SP_MediaPlay, "", "Convert");
    auto* delims = MakeIconButton(this, "1366", QStyle::SP_CustomBase, ">>", "Delimiters");
    auto* wild = MakeIconButton(this, "1454", QStyle::SP_CustomBase, ">>", "Wild-card manager");
    m_symbol = MakeWildSymbolBox(this, 30);
    auto* middle = new QVBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{convert, delims, wild, m_symbol}) middle->addWidget(w);
    middle->addStretch(1);

    auto* lists = new QHBoxLayout;
    lists->addWidget(m_libs, 2);
    lists->addLayout(middle);
    lists->addWidget(m_macros, 5);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(bar);
    lay->addLayout(lists, 1);
    setMinimumSize(447, 150);
    setMaximumSize(1200, 800);
    resize(920, 300);
    m_libs->setColumnWidth(0, 150);
    const double widths[] = {0.19, 0.11, 0.11, 0.19, 0.11, 0.14, 0.11};
    for (int c = 0; c < 7; ++c) m_macros->setColumnWidth(c, int(widths[c] * 640));


    auto on = [this](const char* id, std::function<void()> fn) {
        connect(findChild<QPushButton*>(id), &QPushButton::clicked, this, [fn] { fn(); });
    };
    on("1", [this] { accept(); });
    on("1327", [this] { OnMoveLibrary(-1); });
    on("1325", [this] { OnMoveLibrary(1); });
    on("1319", [this] { OnAddLibrary(); });
    on("1750", [this] { OnRenameLibrary(); });
    on("1557", [this] { OnDeleteLibrary(); });
    on("1745", [this] { OnImportMacros(); });
    on("1320", [this] { NewLibraryFromOutput(); });
    on("1704", [this] { OnImportLibrary(); });
    on("1697", [this] { OnExportLibrary(); });
    on("1350", [this] { ExecuteLibrary(); });
    on("1326", [this] { OnMoveMacros(-1); });
    on("1324", [this] { OnMoveMacros(1); });
    on("1321", [this] { OnAddMacro(); });
    on("1594", [this] { OnDuplicateMacro(); });
    on("1751", [this] { OnModifyMacro(); });
    on("1752", [this] { OnModifyMultipleMacros(); });
    on("1558", [this] { OnDeleteMacro(); });
    on("1314", [this] { OnActivate(true); });
    on("1550", [this] { OnActivate(false); });
    on("1695", [this] { OnToFindRep(); });
    on("1366", [this] { OnDelimiters(); });
    on("1454", [this] { OnWildCardManager(); });
    m_libs->installEventFilter(this);
    m_macros->installEventFilter(this);
    connect(m_libs, &QTreeWidget::itemClicked, this, [this] { OnClickLibraryList(); });
    connect(m_libs, &QTreeWidget::itemDoubleClicked, this, [this] { OnRenameLibrary(); });
    connect(m_macros, &QTreeWidget::itemDoubleClicked, this, [this] { OnModifyMacro(); });
    connect(m_macros->header(), &QHeaderView::sectionClicked, this, [this](int c) { OnHeaderItemClick(c); });
}

CLibraryList& CDefinedMacrosDlg::Libs() { return m_data->m_LibraryList; }

std::vector<CMacro>* CDefinedMacrosDlg::Macros() { return m_data ? ActiveMacroList(Libs()) : nullptr; }

std::string CDefinedMacrosDlg::CurrentSymbol() { return CurrentLibraryWithFallback(Libs()).WildTypeManager.WildCard; }

void CDefinedMacrosDlg::ShowManager() {
    g_bDefinedMacrosShown = true;
    show();
    if (!m_columnsSized) {
        // The columns take their shares of the lists once the window has its size.
        m_columnsSized = true;
        if (layout()) layout()->activate();
        m_libs->header()->setStretchLastSection(false);
        m_macros->header()->setStretchLastSection(false);
        m_libs->setColumnWidth(0, std::max(20, m_libs->viewport()->width() - 18));
        const double widths[] = {0.19, 0.11, 0.11, 0.19, 0.11, 0.14, 0.11};
        const int w = m_macros->viewport()->width();
        for (int c = 0; c < 7; ++c) m_macros->setColumnWidth(c, int(widths[c] * w));
    }
    raise();
    activateWindow();
}

void CDefinedMacrosDlg::ShowWildCardSymbol() {
    if (!m_data) return;
    m_symbol->setText(Q(CurrentSymbol()));
}

void CDefinedMacrosDlg::FillMacroList() {
    m_macros->clear();
    if (std::vector<CMacro>* list = Macros())
        for (std::size_t i = 0; i < list->size(); ++i) InsertMacroRow(int(i), (*list)[i]);
}

void CDefinedMacrosDlg::RefillLibraryList() {
    m_libs->clear();
    if (!m_data) return;
    for (const std::string& name : Libs().GetLibNames()) {
        auto* it = new QTreeWidgetItem({Q(name)});
        it->setIcon(0, RowIcon(4));
        m_libs->addTopLevelItem(it);
    }
    SelectLibraryRow(g_nLibIndex);
}

void CDefinedMacrosDlg::SelectLibraryRow(int row) {
    m_libs->clearSelection();
    if (row < 0 || row >= m_libs->topLevelItemCount()) return;
    QTreeWidgetItem* it = m_libs->topLevelItem(row);
    it->setSelected(true);
    m_libs->setCurrentItem(it, 0, QItemSelectionModel::NoUpdate);
    m_libs->scrollToItem(it);
}

void CDefinedMacrosDlg::InsertMacroRow(int row, const CMacro& m) {
    m_macros->insertTopLevelItem(row, new QTreeWidgetItem);
    UpdateMacroRow(row, m, true);
}

void CDefinedMacrosDlg::UpdateMacroRow(int row, const CMacro& m, bool deselect) {
    QTreeWidgetItem* it = m_macros->topLevelItem(row);
    if (!it) return;
    const std::vector<std::string> texts = MacroRowTexts(m);
    for (int c = 0; c < 7; ++c) it->setText(c, Q(texts[c]));
    const int image = MacroRowImage(m);
    it->setIcon(0, RowIcon(image));
    it->setData(0, Qt::UserRole, image);
    it->setSelected(!deselect);
}

std::vector<int> CDefinedMacrosDlg::SelectedMacros() const {
    std::vector<int> rows;
    for (int i = 0; i < m_macros->topLevelItemCount(); ++i)
        if (m_macros->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

std::vector<int> CDefinedMacrosDlg::SelectedLibraries() const {
    std::vector<int> rows;
    for (int i = 0; i < m_libs->topLevelItemCount(); ++i)
        if (m_libs->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

std::string CDefinedMacrosDlg::GetSelectedLibraryName() const {
    const std::vector<int> rows = SelectedLibraries();
    if (rows.empty()) return "Name-error";
    return S(m_libs->topLevelItem(rows[0])->text(0));
}

void CDefinedMacrosDlg::SetActiveLibrary(int i) { SetActiveLibraryIndex(Libs(), i); }

void CDefinedMacrosDlg::RefreshSymbols() {
    if (onWildSymbolChanged) onWildSymbolChanged();
    ShowWildCardSymbol();
}

// ---- library operations

void CDefinedMacrosDlg::OnClickLibraryList() {
    QTreeWidgetItem* cur = m_libs->currentItem();
    const int row = cur ? m_libs->indexOfTopLevelItem(cur) : -1;
    if (row < 0 || !Libs().IsValidIndex(row)) return;
    SetActiveLibrary(row);
    FillMacroList();
    RefreshSymbols();
}

void CDefinedMacrosDlg::OnAddLibrary() {
    const std::optional<std::string> name = AskLibraryName("New Library", "");
    if (!name) return;
    const int pos = NewLibraryPosition(SelectedLibraries(), Libs().GetCount());
    Libs().InsertLibrary(pos, *name);
    ShowNewLibrary(pos, *name);
}

// A library just inserted at pos: its row, made the active one.
void CDefinedMacrosDlg::ShowNewLibrary(int pos, const std::string& name) {
    SetActiveLibrary(pos);
    auto* it = new QTreeWidgetItem({Q(name)});
    it->setIcon(0, RowIcon(4));
    m_libs->insertTopLevelItem(pos, it);
    SelectLibraryRow(pos);
    FillMacroList();
    RefreshSymbols();
}

void CDefinedMacrosDlg::OnRenameLibrary() {
    const std::vector<int> rows = SelectedLibraries();
    if (rows.empty() || !Libs().IsValidIndex(rows[0])) return;
    const int i = rows[0];
    const std::optional<std::string> name = AskLibraryName("Modify Library", Libs().GetLibName(i));
    if (!name) return;
    Libs().SetLibName(i, *name);
    m_libs->topLevelItem(i)->setText(0, Q(*name));
    m_libs->topLevelItem(i)->setSelected(true);
}

void CDefinedMacrosDlg::OnDeleteLibrary() {
    if (Prompter().AskDefaultNo("Are you sure?", MsgIcon::Question) != Answer::Yes) return;
    const std::vector<int> rows = SelectedLibraries();
    if (rows.empty() || !Libs().IsValidIndex(rows[0])) return;
    const int i = rows[0];
    Libs().DeleteLibrary(i);
    delete m_libs->takeTopLevelItem(i);
    const int next = RowAfterDelete(i, Libs().GetCount());
    if (next >= 0) {
        SetActiveLibrary(next);
        SelectLibraryRow(next);
        if (onWildSymbolChanged) onWildSymbolChanged();
        ShowWildCardSymbol();
    } else {
        // No library is left: nothing is active until one is added.
        m_symbol->clear();
    }
    FillMacroList();
}

void CDefinedMacrosDlg::OnMoveLibrary(int step) {
    const std::vector<int> rows = SelectedLibraries();
    if (rows.empty()) return;
    const int i = rows[0], o = i + step;
    if (!Libs().IsValidIndex(i) || !Libs().IsValidIndex(o)) return;
    Libs().SwapLibraries(i, o);
    m_libs->topLevelItem(i)->setText(0, Q(Libs().GetLibName(i)));
    m_libs->topLevelItem(o)->setText(0, Q(Libs().GetLibName(o)));
    SelectLibraryRow(o);
    SetActiveLibrary(o);
    FillMacroList();
    ShowWildCardSymbol();
}

void CDefinedMacrosDlg::OnImportMacros() {
    const std::vector<int> rows = SelectedLibraries();
    if (rows.empty() || !Libs().IsValidIndex(rows[0])) return;
    CSelectDlg dlg(0, m_data, 0, 0, this);
    if (RunDialogModal(dlg) != QDialog::Accepted) return;
    std::vector<int> chosen = dlg.Selected();
    std::sort(chosen.begin(), chosen.end());
    Libs().MergeLibraries(rows[0], chosen);
    FillMacroList();
}

void CDefinedMacrosDlg::OnDelimiters() {
    if (!Libs().IsValidIndex(g_nLibIndex)) return;
    CDelimiterListDlg dlg(Libs()[g_nLibIndex].DelimList, this);
    if (RunDialogModal(dlg) != QDialog::Accepted) return;
    // The index is looked up again: the library list may have changed meanwhile.
    if (Libs().IsValidIndex(g_nLibIndex)) Libs()[g_nLibIndex].DelimList = dlg.Delims();
}

void CDefinedMacrosDlg::OnWildCardManager() {
    CWildCardManagerDlg dlg(m_data, this);
    if (RunDialogModal(dlg) != QDialog::Accepted) return;
    RefreshSymbols();
}

// ---- macro operations

bool CDefinedMacrosDlg::EnsureLibraryListed() {
    if (!Libs().empty()) {
        if (!Libs().IsValidIndex(g_nLibIndex)) SetActiveLibrary(0);
        return true;
    }
    Libs().CreateSampleLibrary();
    SetActiveLibrary(0);
    RefillLibraryList();
    FillMacroList();
    return true;
}

void CDefinedMacrosDlg::OnAddMacro() {
    EnsureLibraryListed();
    CDefineMacroDlg dlg(CurrentSymbol(), true, this);
    if (RunDialogModal(dlg) != QDialog::Accepted) return;
    AppendMacro(dlg.Result());
}

void CDefinedMacrosDlg::AppendMacro(const CMacro& macro) {
    if (!m_data) return;
    EnsureLibraryListed();
    std::vector<CMacro>* list = Macros();
    if (!list) return;
    list->push_back(macro);
    m_macros->clearSelection();
    const int row = int(list->size()) - 1;
    InsertMacroRow(row, list->back());
    m_macros->topLevelItem(row)->setSelected(true);
    m_macros->scrollToItem(m_macros->topLevelItem(row));
}

void CDefinedMacrosDlg::OnModifyMacro() {
    const std::vector<int> sel = SelectedMacros();
    std::vector<CMacro>* list = Macros();
    if (sel.empty() || !list || sel[0] >= int(list->size())) return;
    const int r = sel[0];
    CDefineMacroDlg dlg(CurrentSymbol(), (*list)[r], true, this);
    if (RunDialogModal(dlg) != QDialog::Accepted) return;
    list = Macros();
    if (!list || r >= int(list->size())) return;
    CMacro& m = (*list)[r];
    const CMacro edited = dlg.Result();
    m.Find = edited.Find;
    m.Replace = edited.Replace;
    CopyMacroAttributes(edited, m);
    UpdateMacroRow(r, m, false);
}

void CDefinedMacrosDlg::OnModifyMultipleMacros() {
    const std::vector<int> sel = SelectedMacros();
    std::vector<CMacro>* list = Macros();
    if (sel.empty() || !list || sel[0] >= int(list->size())) return;
    CDefineMacroDlg dlg(CurrentSymbol(), (*list)[sel[0]], false, this);
    if (RunDialogModal(dlg) != QDialog::Accepted) return;
    list = Macros();
    if (!list) return;
    const CMacro edited = dlg.Result();
    for (int r : sel) {
        if (r >= int(list->size())) continue;
        CopyMacroAttributes(edited, (*list)[r]);
        UpdateMacroRow(r, (*list)[r], false);
    }
}

void CDefinedMacrosDlg::OnDuplicateMacro() {
    std::vector<CMacro>* list = Macros();
    const std::vector<int> sel = SelectedMacros();
    if (!list || sel.empty()) return;
    for (int row : DuplicateMacros(*list, sel)) InsertMacroRow(row, (*list)[row]);
}

void CDefinedMacrosDlg::OnDeleteMacro() {
    std::vector<CMacro>* list = Macros();
    const std::vector<int> sel = SelectedMacros();
    if (!list || sel.empty()) return;
    const int next = DeleteMacros(*list, sel);
    for (auto it = sel.rbegin(); it != sel.rend(); ++it) delete m_macros->takeTopLevelItem(*it);
    m_macros->clearSelection();
    if (next >= 0) m_macros->topLevelItem(next)->setSelected(true);
}

void CDefinedMacrosDlg::OnMoveMacros(int step) {
    std::vector<CMacro>* list = Macros();
    const std::vector<int> sel = SelectedMacros();
    if (!list || sel.empty()) return;
    const std::vector<int> now = step < 0 ? MoveMacrosUp(*list, sel) : MoveMacrosDown(*list, sel);
    for (int r : sel) UpdateMacroRow(r, (*list)[r], true);
    for (int r : now) UpdateMacroRow(r, (*list)[r], false);
}

void CDefinedMacrosDlg::OnActivate(bool active) {
    std::vector<CMacro>* list = Macros();
    const std::vector<int> sel = SelectedMacros();
    if (!list) return;
    SetMacrosActive(*list, sel, active);
    for (int r : sel) UpdateMacroRow(r, (*list)[r], false);
}

void CDefinedMacrosDlg::OnHeaderItemClick(int column) {
    if (column == 0 || column == 3) {
        std::vector<CMacro>* list = Macros();
        const std::vector<int> sel = SelectedMacros();
        if (!list || sel.size() < 2) return;
        if (Prompter().Ask("This will sort the selected items.\r\nAre you sure?", MsgIcon::Question, false) !=
            Answer::Yes)
            return;
        CLibraryList::SortMacrosByColumn(*list, sel, column);
        for (int r : sel) UpdateMacroRow(r, (*list)[r], false);
        return;
    }
    const std::string help = MacroColumnHelp(column);
    if (!help.empty()) Prompter().Message(help, MsgIcon::Info);
}

void CDefinedMacrosDlg::OnToFindRep() {
    std::vector<CMacro>* list = Macros();
    const std::vector<int> sel = SelectedMacros();
    if (!list || sel.empty() || sel[0] >= int(list->size())) return;
    const CMacro macro = (*list)[sel[0]];
    if (onToFindRep) onToFindRep(macro);
    if (g_bCloseLibrary) accept();
}

bool CDefinedMacrosDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == m_libs || watched == m_macros)) {
        auto* e = static_cast<QKeyEvent*>(event);
        if (watched == m_macros && e->matches(QKeySequence::SelectAll)) {
            m_macros->selectAll();
            return true;
        }
        if (e->key() == Qt::Key_Delete || e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) {
            if (watched == m_macros && e->key() != Qt::Key_Delete) return false;
            keyPressEvent(e);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CDefinedMacrosDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Delete) {
        if (m_libs->hasFocus()) OnDeleteLibrary();
        else if (m_macros->hasFocus()) OnDeleteMacro();
        return;
    }
    if (m_libs->hasFocus() && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down)) {
        QTreeWidgetItem* cur = m_libs->currentItem();
        const int row = cur ? m_libs->indexOfTopLevelItem(cur) : -1;
        const int next = row + (e->key() == Qt::Key_Up ? -1 : 1);
        if (row < 0 || next < 0 || next >= m_libs->topLevelItemCount()) return;
        SelectLibraryRow(next);
        SetActiveLibrary(next);
        FillMacroList();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CDefinedMacrosDlg::accept() {
    g_bDefinedMacrosShown = false;
    hide();
}

void CDefinedMacrosDlg::reject() { accept(); }

// ---- library exchange and run

namespace {
// The file dialog of the import and export prompts starts in the folder of
// the last name entered, else in the last local folder.
std::string StartFolderOf(const std::string& path) {
    const std::string dir = GetDirectoryPart(path);
    return dir.empty() ? g_strLastLocalDir : dir;
}
}  // namespace

void CDefinedMacrosDlg::OnImportLibrary() {
    const std::vector<int> sel = SelectedLibraries();
    const int position = !sel.empty() ? sel[0] : Libs().GetCount() - 1;
    g_nLibIndex = std::max(position, 0);
    const auto path = Prompter().AskTextBrowse("Select File", "Enter name of the data file", g_strImportLibraryFile, 3,
                                               StartFolderOf(g_strImportLibraryFile));
    if (!path) return;
    g_strImportLibraryFile = *path;
    CProgramData file;
    if (!file.ImportLibraries(*path)) return;  // already said why
    CSelectDlg dlg(0, &file, 0, 0, this);
    if (RunDialogModal(dlg) != QDialog::Accepted) return;
    std::vector<int> chosen = dlg.Selected();
    std::sort(chosen.begin(), chosen.end());
    InsertImportedLibraries(Libs(), position, file.m_LibraryList, chosen);
    if (Libs().IsValidIndex(g_nLibIndex)) SetActiveLibrary(g_nLibIndex);
    RefillLibraryList();
    FillMacroList();
}

void CDefinedMacrosDlg::OnExportLibrary() {
    const std::vector<int> sel = SelectedLibraries();
    if (sel.empty()) {
        Prompter().Message("No library selected.", MsgIcon::None);
        return;
    }
    CProgramData file;
    for (int r : sel)
        if (Libs().IsValidIndex(r)) file.m_LibraryList.Append(Libs()[r]);
    const std::string reserved = g_strLibraryInfoDir + "_qvl_library.txt";
    for (;;) {
        const auto path = Prompter().AskTextBrowse("Export to File", "Enter name of the data file for export",
                                                   g_strExportLibraryFile, 4, StartFolderOf(g_strExportLibraryFile));
        if (!path) return;
        if (IsReservedLibraryPath(*path, reserved)) {
            Prompter().Message(*path + " is a reserved name.\r\nYou must choose a diferent name and different location.",
                               MsgIcon::Warning);
            continue;
        }
        g_strExportLibraryFile = *path;
        if (QFileInfo::exists(Q(*path)) &&
            Prompter().AskDefaultNo("File already exists. Ok to overwrite?", MsgIcon::Question) != Answer::Yes)
            continue;
        if (file.SaveLibraryFile(*path)) Prompter().Message("Selected library dumped to:\r\n   " + *path, MsgIcon::None);
        return;
    }
}

void CDefinedMacrosDlg::NewLibraryFromOutput() {
    const std::string text = outputWindowText ? outputWindowText() : std::string();
    if (text.empty()) {
        Prompter().Message("Output Window has no text.", MsgIcon::None);
        return;
    }
    const std::vector<std::string> lines = SplitOutputTextLines(text);
    if (lines.size() % 2 &&
        Prompter().Ask("Output text seems to have odd number of line.\r\nIt should have even number of lines.\r\n\r\n"
                       "Proceed anyway?",
                       MsgIcon::Question, false) != Answer::Yes)
        return;
    const std::optional<std::string> name = AskLibraryName("New Library", "");
    if (!name) return;
    const int pos = NewLibraryPosition(SelectedLibraries(), Libs().GetCount());
    Libs().CreateDefaultLibraryMacros(pos, *name, lines);
    ShowNewLibrary(pos, *name);
}

void CDefinedMacrosDlg::MakeLibraryFromOutput() {
    show();
    raise();
    NewLibraryFromOutput();
}

void CDefinedMacrosDlg::ExecuteLibrary() {
    if (onExecuteLibrary) onExecuteLibrary();
}
