#include "compare/ui/MasterFileDlg.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "convert/ConversionEngine.h"
#include "widgets/Icons.h"
#include "compare/DiffRows.h"
#include "compare/DiffWindowsState.h"
#include "compare/ui/CommandMenu.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/DiffTwoLinesDlg.h"
#include "convert_ui/ui/ModalRun.h"
#include "filelist/AddFileItems.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"

std::function<std::optional<std::string>(const std::string& startDir)> g_pickPaletteFile;

namespace {

QColor OriginColour(int origin) {
    if (origin <= 6) return QColor(0, 150, 0);        // added from a diff window
    if (origin <= 13) return QColor(200, 120, 0);     // overridden
    if (origin == kOriginConverted) return QColor(140, 60, 200);
    if (origin == kOriginLoaded) return QColor(40, 90, 200);
    return QColor(110, 110, 110);                     // typed
}

std::optional<std::string> PickWithDialog(const std::string& startDir) {
    QStringList files =
        QFileDialog::getOpenFileNames(nullptr, "Select Master File", QString::fromStdString(startDir));
    if (files.isEmpty()) return std::nullopt;
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    std::sort(paths.begin(), paths.end());
    return paths.front();
}

QPushButton* ToolButton(QWidget* parent, const char* id, const char* caption, const char* tip) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(id);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

QPixmap PaletteOriginPixmap(int origin) {
    static std::vector<QPixmap> cache;
    if (cache.empty()) {
        for (int i = 0; i <= 16; ++i) {
            QPixmap pm(16, 16);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(OriginColour(i));
            p.drawRoundedRect(QRect(2, 2, 12, 12), 3, 3);
            p.setPen(Qt::white);
            QFont f = p.font();
            f.setPixelSize(9);
            f.setBold(true);
            p.setFont(f);
            const char* sign = i <= 6 ? "+" : i <= 13 ? "o" : i == 14 ? "c" : i == 15 ? "L" : "E";
            p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, sign);
            cache.push_back(pm);
        }
    }
    return cache[std::clamp(origin, 0, 16)];
}

int CPaletteModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_palette.Count(); }
int CPaletteModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant CPaletteModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    if (!index.isValid() || row >= m_palette.Count()) return {};
    const CMasterPaletteLine& line = m_palette.Lines()[row];
    if (index.column() == 0) {
        if (role == Qt::DecorationRole) return PaletteOriginPixmap(line.origin);
        if (role == Qt::DisplayRole && m_palette.IsModified(row)) return QString("mod");
        return {};
    }
    if (role != Qt::DisplayRole) return {};
    if (index.column() == 1) return row + 1;
    return QString::fromStdString(line.text);
}

QVariant CPaletteModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* titles[] = {"Origin", "#", "Lines"};
    return section >= 0 && section < 3 ? QString(titles[section]) : QVariant();
}

CMasterFileDlg::CMasterFileDlg(CProgramData& data, QWidget* parent)
    : QDialog(parent), m_data(data),
      m_palette(std::make_unique<CMasterPalette>(data.m_DiffResults.m_PaletteLines)) {
    setObjectName("2054");
    setWindowTitle("Master File");
    setModal(false);
    setSizeGripEnabled(true);
    resize(900, 520);
    m_model = new CPaletteModel(*m_palette, this);
    m_list = new CDiffListCtrl(this);
    m_list->setObjectName("1711");
    m_list->paneIndex = 3;
    m_list->windowNo = -1;
    m_list->setModel(m_model);
    m_list->setIconSize(QSize(16, 16));
    m_list->horizontalHeader()->resizeSection(0, 60);
    m_list->horizontalHeader()->resizeSection(1, 40);
    m_list->horizontalHeader()->resizeSection(2, 770);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->installEventFilter(this);
    connect(m_list, &CDiffListCtrl::FilesDropped, this, [this](const std::vector<std::string>& paths) {
        DropFiles(paths);
    });
    connect(m_list, &QAbstractItemView::clicked, this, [this] { RecordListSelection(); });
    connect(m_list, &CDiffListCtrl::KeySelected, this, [this] { RecordListSelection(); });
    connect(m_list, &CDiffListCtrl::RowsDropped, this, [this](int window, int pane, int row, bool override) {
        if (row >= 0) SetSelectedRow(row);
        if (dropRows) dropRows(window, pane, override);
    });
    connect(m_list, &QAbstractItemView::doubleClicked, this, [this] {
        RecordListSelection();
        EditSelectedLines();
    });
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowPopup(m_list->viewport()->mapToGlobal(pos)); });
    m_status = new QLabel(this);
    m_status->setObjectName("1866");
    m_status->setTextFormat(Qt::PlainText);

    auto* tools = new QHBoxLayout;
    tools->setContentsMargins(0, 0, 0, 0);
    struct B { const char* id; const char* caption; const char* tip; std::function<void()> act; };
    const std::vector<B> buttons = {
        {"1357", "P", "Previous diference (F1)", [this] { PreviousBlock(); }},
        {"1356", "N", "Next difference (F2)", [this] { NextBlock(); }},
        {"1362", "Load", "Load a file to be used as final copy", [this] { LoadFile(); }},
        {"1365", "Save", "Save master palette to a file", [this] { if (save) save(); }},
        {"1355", "Edit", "Edit selected lines in an editor", [this] { EditSelectedLines(); }},
        {"1353", "Delete", "Delete selected lines", [this] { DeleteSelectedLines(); }},
        {"1358", "Go to", "Go to line", [this] { GoToLine(); }},
        {"1363", "Find", "Find text in Master palette", [this] { if (sendCommand) sendCommand(32608); }},
        // The conversion library manager: the frame's command shows it and
        // brings it to the front.
        {"1361", "Library", "Open current conversion library", [this] { if (sendCommand) sendCommand(32636); }},
        {"1352", "Convert", "Convert Master Palette text using current library", [this] { ConvertUsingLibrary(); }},
        {"1359", "L", "Icon summary", [this] { ShowIconLegend(); }},
    };
    for (const B& b : buttons) {
        QPushButton* w = ToolButton(this, b.id, b.caption, b.tip);
        ShowButtonPicture(w, "palette", 16);
        connect(w, &QPushButton::clicked, this, b.act);
        tools->addWidget(w);
    }
    tools->addStretch();
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 4);
    top->addLayout(tools);
    top->addWidget(m_status);
    top->addWidget(m_list, 1);
    m_menu = new QMenu(this);
    m_menu->setObjectName("152");
    Refresh();
    UpdateStatus();
}

CMasterFileDlg::~CMasterFileDlg() = default;

void CMasterFileDlg::SetLabelFont(const QFont& font) { m_status->setFont(font); }

std::string CMasterFileDlg::StatusText() const { return m_status->text().toStdString(); }

void CMasterFileDlg::UpdateStatus() {
    m_status->setText(QString::fromStdString(PaletteStatusText(m_palette->Count() == 0, g_strPaletteFile)));
}

void CMasterFileDlg::Refresh() {
    m_model->Reload();
    ShowRecord(false);
}

void CMasterFileDlg::ShowRecord(bool scroll) {
    QItemSelectionModel* sm = m_list->selectionModel();
    QItemSelection sel;
    for (int r : m_palette->Selection())
        if (r >= 0 && r < m_model->rowCount()) sel.select(m_model->index(r, 0), m_model->index(r, 2));
    sm->select(sel, QItemSelectionModel::ClearAndSelect);
    if (scroll && !m_palette->Selection().empty())
        m_list->scrollTo(m_model->index(m_palette->Selection().front(), 0), QAbstractItemView::PositionAtCenter);
}

std::vector<int> CMasterFileDlg::ListSelection() const {
    std::vector<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CMasterFileDlg::RecordListSelection() { m_palette->SetSelection(ListSelection()); }

void CMasterFileDlg::SetLines(const std::vector<std::string>& texts) {
    m_palette->SetLines(texts);
    Refresh();
    UpdateStatus();
}

void CMasterFileDlg::AddLines(const std::vector<std::string>& texts, int origin) {
    m_palette->AddLines(texts, origin);
    Refresh();
    UpdateStatus();
}

bool CMasterFileDlg::OverrideLines(const std::vector<std::string>& texts, int origin) {
    if (!m_palette->OverrideLines(ListSelection(), texts, origin)) {
        Prompter().Message("Nothing selected in Master palette.", MsgIcon::Warning);
        return false;
    }
    Refresh();
    ShowRecord(true);
    UpdateStatus();
    return true;
}

void CMasterFileDlg::SetSelectedRow(int row) {
    m_palette->SetSelectedRow(row);
    ShowRecord(false);
}

void CMasterFileDlg::LoadFile() {
    if (m_palette->Count() > 0 &&
        Prompter().AskDefaultNo("The master palette contains text.\r\nAre you sure to discard that text, and load with your new file?",
                                MsgIcon::Question) != Answer::Yes)
        return;
    // The dialog starts in the local folder used last.
    const auto path = g_pickPaletteFile ? g_pickPaletteFile(g_strLastLocalDir) : PickWithDialog(g_strLastLocalDir);
    if (!path) return;
    LoadPath(*path);
}

bool CMasterFileDlg::LoadPath(const std::string& path) {
    std::vector<std::string> lines;
    std::string error;
    Prompter().SetWaitCursor(true);
    const bool ok = ReadPaletteFile(path, lines, error);
    Prompter().SetWaitCursor(false);
    if (!ok) {
        Prompter().Message(error, MsgIcon::Stop);
        return false;
    }
    g_strPaletteFile = path;
    SetLines(lines);
    return true;
}

void CMasterFileDlg::DropFiles(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    if (m_palette->Count() > 0 &&
        Prompter().AskDefaultNo("The master palette contains text.\r\nAre you sure to discard that text, and load with your new file?",
                                MsgIcon::Question) != Answer::Yes)
        return;
    // Only the first item counts, whatever the length of its path.
    const std::string& path = paths.front();
    if (GetPathKind(path) != 1) {
        Prompter().Message("Directory or hidden file not allowed.", MsgIcon::Warning);
        return;
    }
    LoadPath(path);
}

void CMasterFileDlg::EditSelectedLines() {
    const std::vector<std::string> texts = m_palette->SelectedTexts();
    if (texts.empty()) return;
    CEditMasterPaletteDlg dlg(texts, this);
    if (RunDialogModal(dlg) != QDialog::Accepted) return;
    m_palette->ApplyEdit(dlg.EditedLines());
    Refresh();
}

void CMasterFileDlg::DeleteSelectedLines() {
    m_palette->DeleteLines(ListSelection());
    Refresh();
    ShowRecord(true);
    if (m_palette->Count() == 0) UpdateStatus();
}

void CMasterFileDlg::Clear() {
    m_palette->Clear();
    Refresh();
    UpdateStatus();
}

void CMasterFileDlg::InsertBlankLine() {
    const bool wasEmpty = m_palette->Count() == 0;
    m_palette->InsertBlankLine();
    Refresh();
    ShowRecord(true);
    if (wasEmpty) UpdateStatus();
}

void CMasterFileDlg::GoToLine() {
    const int count = m_palette->Count();
    if (count == 0) {
        Prompter().Message("The palette is empty.", MsgIcon::Warning);
        return;
    }
    const auto entry = Prompter().AskText("Go To", "Enter line number where you want to go to:", std::to_string(count));
    if (!entry) return;
    const auto row = GoToLineRow(*entry, count);
    if (!row) {
        Prompter().Message("Invalid line number.", MsgIcon::Warning);
        return;
    }
    m_palette->SetSelectedRow(*row);
    ShowRecord(true);
}

void CMasterFileDlg::FindText(const std::string& text, bool partial) {
    if (m_palette->Count() == 0) {
        Prompter().Message("Master File palette is empty.", MsgIcon::Warning);
        return;
    }
    const int row = m_palette->Find(text, partial);
    if (row < 0) {
        Prompter().Message("Text not found in Master File palette.", MsgIcon::Info);
        return;
    }
    m_palette->SetSelectedRow(row);
    ShowRecord(true);
}

void CMasterFileDlg::ConvertUsingLibrary() {
    const std::vector<std::string> texts = m_palette->SelectedTexts();
    if (texts.empty()) {
        Prompter().Message("Nothing selected in Master palette.", MsgIcon::Warning);
        return;
    }
    std::string joined;
    for (size_t i = 0; i < texts.size(); ++i) joined += (i ? "\r\n" : "") + texts[i];
    const std::string converted = CConversionEngine(m_data.m_LibraryList).ConvertText(joined);
    const int changed = m_palette->ApplyConversion(SplitEditedText(converted));
    Refresh();
    if (changed == 0) return;
    ShowRecord(true);
    m_status->setText(QString("Total %1 line%2 modified.").arg(changed).arg(changed > 1 ? "s" : ""));
}

void CMasterFileDlg::NextBlock() {
    const auto row = m_palette->NextBlock();
    if (!row) {
        Prompter().Message("Reached the end of the file.", MsgIcon::Info);
        m_list->setFocus();
        return;
    }
    m_palette->SetSelectedRow(*row);
    ShowRecord(true);
}

void CMasterFileDlg::PreviousBlock() {
    const auto row = m_palette->PreviousBlock();
    if (!row) {
        Prompter().Message("Reached the beginning of the file.", MsgIcon::Info);
        m_list->setFocus();
        return;
    }
    m_palette->SetSelectedRow(*row);
    ShowRecord(true);
}

void CMasterFileDlg::ShowIconLegend() {
    CIconDescriptionsDlg dlg(this);
    RunDialogModal(dlg);
}

void CMasterFileDlg::ShowPopup(const QPoint& at) {
    m_menu->clear();
    auto add = [this](int id, const char* text) {
        AddCommandItem(m_menu, this, id, text, commandEnabled, sendCommand);
    };
    add(32616, "Load file onto Master palette\tCtrl+L");
    add(32617, "Save Master palette\tCtrl+S");
    add(32613, "Edit selected lines\tCtrl+E, Dbl Click");
    add(32612, "Delete selected lines\tDelete");
    add(32608, "Find text here\tCtrl+F");
    add(32614, "Go to line here\tCtrl+G");
    add(32618, "Convert using Library\tCtrl+T");
    add(32615, "Insert blank\tSpace Bar");
    m_menu->addSeparator();
    add(32611, "Clear Master palette");
    m_menu->popup(at);
    RecordListSelection();
}

namespace {
// The keys the palette list handles itself: F1, F2 and Delete alone, Ctrl
// with A, L, S, E, F, G, T or Space.
bool IsPaletteKey(const QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier)
        return key->key() == Qt::Key_F1 || key->key() == Qt::Key_F2 || key->key() == Qt::Key_Delete;
    if (mods != Qt::ControlModifier) return false;
    switch (key->key()) {
    case Qt::Key_A: case Qt::Key_L: case Qt::Key_S: case Qt::Key_E:
    case Qt::Key_F: case Qt::Key_G: case Qt::Key_T: case Qt::Key_Space: return true;
    default: return false;
    }
}
}  // namespace

bool CMasterFileDlg::eventFilter(QObject* watched, QEvent* event) {
    const bool press = event->type() == QEvent::KeyPress;
    // The list's own keys win over the program's keys while it has the focus.
    if (watched != m_list || (!press && event->type() != QEvent::ShortcutOverride))
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (!IsPaletteKey(key)) return QDialog::eventFilter(watched, event);
    event->accept();
    if (!press) return true;
    switch (key->key()) {
    case Qt::Key_F1: PreviousBlock(); break;
    case Qt::Key_F2: NextBlock(); break;
    case Qt::Key_Delete: DeleteSelectedLines(); break;
    case Qt::Key_A:
        m_list->selectAll();
        m_palette->SelectAll();
        break;
    case Qt::Key_L: LoadFile(); break;
    case Qt::Key_S: if (save) save(); break;
    case Qt::Key_E: RecordListSelection(); EditSelectedLines(); break;
    case Qt::Key_F: if (sendCommand) sendCommand(32608); break;
    case Qt::Key_G: GoToLine(); break;
    case Qt::Key_T: ConvertUsingLibrary(); break;
    case Qt::Key_Space: InsertBlankLine(); break;
    }
    return true;
}

void CMasterFileDlg::done(int r) {
    g_DiffWindows.paletteShown = false;
    QDialog::done(r);
}

CEditMasterPaletteDlg::CEditMasterPaletteDlg(const std::vector<std::string>& lines, QWidget* parent)
    : QDialog(parent), m_startLines(static_cast<int>(lines.size())) {
    setObjectName("2048");
    setWindowTitle("Edit Master Palette");
    setSizeGripEnabled(true);
    for (size_t i = 0; i < lines.size(); ++i) m_text += (i ? "\r\n" : "") + lines[i];
    m_edit = new QPlainTextEdit(this);
    m_edit->setObjectName("1630");
    QFont f("Lucida Console", 9);
    f.setStyleHint(QFont::Monospace);
    if (!QFontInfo(f).fixedPitch()) {
        f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSize(9);
    }
    m_edit->setFont(f);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setPlainText(QString::fromStdString(m_text));
    m_summary = new QLabel("Status:", this);
    m_summary->setObjectName("1866");
    m_summary->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_summary->setMinimumWidth(70);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_edit, &QPlainTextEdit::textChanged, this, [this] {
        m_text = m_edit->toPlainText().toStdString();
        const int n = static_cast<int>(SplitEditedText(m_text).size());
        const PaletteEditSummary s = BuildPaletteEditSummary(n, m_startLines);
        m_mode = s.mode;
        m_count = s.count;
        m_summary->setText("Status:\n" + QString::fromStdString(s.status).replace("\r\n", "\n"));
    });
    auto* row = new QHBoxLayout;
    row->addWidget(m_summary);
    row->addWidget(m_edit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addLayout(row, 1);
    top->addLayout(buttons);
    resize(640, 320);
}

QString CEditMasterPaletteDlg::Summary() const { return m_summary->text(); }

void CEditMasterPaletteDlg::accept() {
    m_edited = SplitEditedText(m_text);
    QDialog::accept();
}
