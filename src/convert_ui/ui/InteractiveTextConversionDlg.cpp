#include "convert_ui/ui/InteractiveTextConversionDlg.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMoveEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>

#include "widgets/Icons.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextRules.h"
#include "widgets/TextWindows.h"
#include "convert/ConversionRun.h"
#include "convert_ui/WorkPadRun.h"
#include "convert_ui/ui/InteractiveWorker.h"
#include "model/Globals.h"
#include "model/ProgramData.h"

bool g_bInteractiveShown = false;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), std::size_t(b.size()));
}
// A box's text as the engine takes it: CR LF line breaks.
std::string BoxText(const QPlainTextEdit* box) { return ToCrLf(S(box->toPlainText())); }

QPushButton* Button(const QString& text, const char* id, const QString& tip, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(id);
    if (!tip.isEmpty()) b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}
}  // namespace

CInteractiveTextConversionDlg::CInteractiveTextConversionDlg(CInteractiveWorker& worker, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint), m_worker(worker) {
    setObjectName("2055");
    setWindowTitle("Interactive Text Conversion");
    setMinimumSize(150, 200);
    Build();
}

CInteractiveTextConversionDlg::~CInteractiveTextConversionDlg() {
    if (g_pInputWindow == m_input) SetTextWindows(nullptr, nullptr);
}

void CInteractiveTextConversionDlg::Build() {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto* buttons = new QVBoxLayout;
    QPushButton* convert = Button("Convert", "1413", "Convert text in Input window", this);
    QPushButton* findNext = Button("Find Next", "1379", "Find next", this);
    QPushButton* toLibrary = Button("To library", "1696", "Export this macro to current library", this);
    QPushButton* clear = Button("x", "1343", "Clear Find edit-box", this);
    QPushButton* wp = Button("WP", "32660", "Open WorkPad", this);
    QPushButton* help = Button("Help", "32632", "Quick Convert Help", this);
    QPushButton* left = Button("Left", "32646", QString(), this);
    QPushButton* buffer = Button("Buffer", "32645", "Manage Text Buffer", this);
    // Pictures in place of the captions: the three large ones at 32 px.
    for (QPushButton* b : {convert, findNext, toLibrary}) ShowButtonPicture(b, "workpad", 32);
    for (QPushButton* b : {clear, wp, help, left, buffer}) ShowButtonPicture(b, "workpad", 16);
    for (QPushButton* b : {convert, findNext, toLibrary, clear, wp, help, left, buffer}) buttons->addWidget(b);
    buttons->addStretch(1);
    QPushButton* close = Button("Close", "2", QString(), this);
    close->setDefault(true);
    buttons->addWidget(close);

    m_find = new QPlainTextEdit(this);
    m_find->setObjectName("1621");
    m_replace = new QPlainTextEdit(this);
    m_replace->setObjectName("1656");
    for (QPlainTextEdit* box : {m_find, m_replace}) {
        box->setFont(fixed);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setStyleSheet("QPlainTextEdit { background: rgb(230, 255, 200); }");
        box->setTabChangesFocus(true);
    }
    m_input = new CLineTextBox(1, this);
    m_input->setObjectName("1666");
    m_input->setToolTip("Input window");
    m_output = new CLineTextBox(2, this);
    m_output->setObjectName("1668");
    m_output->setToolTip("Output window");

    auto* findRow = new QSplitter(Qt::Horizontal, this);
    findRow->setObjectName("1936");
    findRow->addWidget(m_find);
    findRow->addWidget(m_replace);
    auto* boxRow = new QSplitter(Qt::Horizontal, this);
    boxRow->setObjectName("1932");
    boxRow->addWidget(m_input);
    boxRow->addWidget(m_output);
    auto* rows = new QSplitter(Qt::Vertical, this);
    rows->setObjectName("1934");
    rows->addWidget(findRow);
    rows->addWidget(boxRow);
    rows->setStretchFactor(0, 0);
    rows->setStretchFactor(1, 1);
    rows->setSizes({60, 500});

    m_inputCaret = new QLabel(" Ln 1, Col 1", this);
    m_inputCaret->setObjectName("1643");
    m_inputCaret->setToolTip("Cursor position for left column");
    m_outputCaret = new QLabel(" Ln 1, Col 1", this);
    m_outputCaret->setObjectName("1644");
    m_outputCaret->setToolTip("Cursor position for right column");
    auto* carets = new QHBoxLayout;
    carets->addWidget(m_inputCaret);
    carets->addStretch(1);
    carets->addWidget(m_outputCaret);

    auto* right = new QVBoxLayout;
    right->addLayout(carets);
    right->addWidget(rows, 1);
    auto* top = new QHBoxLayout(this);
    top->addLayout(buttons);
    top->addLayout(right, 1);

    SetBoxText(m_find, "Find Text");
    SetBoxText(m_replace, "Replace Text");
    m_input->SetWindowTextFromString("Input Text");
    m_output->SetWindowTextFromString("Output Text");
    g_bInputShowsTitle = true;
    g_bOutputShowsTitle = true;

    connect(convert, &QPushButton::clicked, this, [this] { Convert(); });
    connect(findNext, &QPushButton::clicked, this, [this] { FindNext(); });
    connect(clear, &QPushButton::clicked, this, [this] { ClearFind(); });
    // Ctrl or Shift held also adds the current macro to the current library.
    connect(toLibrary, &QPushButton::clicked, this, [this] {
        const bool add = QGuiApplication::keyboardModifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
        if (onToLibrary) onToLibrary(add);
    });
    connect(wp, &QPushButton::clicked, this, [this] {
        if (onShowAttributes) onShowAttributes();
        TakeFindFromSelection();
    });
    connect(help, &QPushButton::clicked, this, [this] {
        if (onHelp) onHelp();
    });
    connect(left, &QPushButton::clicked, this, [this] { TextToLeft(); });
    connect(buffer, &QPushButton::clicked, this, [this] {
        const bool ctrl = QApplication::keyboardModifiers() & Qt::ControlModifier;
        if (onTextBuffer) onTextBuffer(!ctrl);
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_find, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_settingText) CurrentMacro.SetFind(BoxText(m_find));
    });
    connect(m_replace, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_settingText) CurrentMacro.SetReplace(BoxText(m_replace));
    });
    connect(m_input, &CLineTextBox::cursorPositionChanged, this, [this] { ShowCaret(m_input, m_inputCaret); });
    connect(m_output, &CLineTextBox::cursorPositionChanged, this, [this] { ShowCaret(m_output, m_outputCaret); });
    resize(760, 560);
    SetTextWindows(m_input, m_output);
}

void CInteractiveTextConversionDlg::SetBoxText(QPlainTextEdit* box, const std::string& text) {
    m_settingText = true;
    box->setPlainText(Q(FromCrLf(text)));
    m_settingText = false;
}

void CInteractiveTextConversionDlg::ShowCaret(CLineTextBox* box, QLabel* label) {
    label->setText(Q(box->UpdateCaretPosition()));
}

void CInteractiveTextConversionDlg::ShowPad() {
    g_bInteractiveShown = true;
    SetCurrentMacro(CurrentMacro);
    show();
    raise();
    activateWindow();
}

bool CInteractiveTextConversionDlg::Convert() {
    if (!m_data) return false;
    g_bInputShowsTitle = false;
    auto text = std::make_shared<const std::string>(m_input->GetText());
    auto snapshot = std::make_shared<WorkPadSnapshot>(
        TakeWorkPadSnapshot(m_data->m_LibraryList, CurrentMacro, g_nLibIndex, 0));
    return m_worker.Start(
        [snapshot, text](std::string& result, std::string& marker) {
            return RunWorkPadConversion(*snapshot, *text, result, marker, &g_bConversionBreak);
        },
        [this](std::string& result) { ShowOutputText(std::move(result)); },
        "(WorkPad) over");
}

bool CInteractiveTextConversionDlg::FindNext() {
    if (!m_data) return false;
    g_bInputShowsTitle = false;
    const std::string& text = m_input->Text();  // only read while this runs
    std::size_t from = OffsetOfBoxPosition(text, m_input->SelectionEnd());
    if (m_restartSearch) {
        from = 0;
        m_restartSearch = false;
    }
    std::size_t s = 0, e = 0;
    if (!FindNextMatch(m_data->m_LibraryList, g_nLibIndex, CurrentMacro, text, from, s, e)) {
        // Nothing more: the Input window keeps its selection and takes the
        // focus, as after a match; the next search starts at the top.
        m_restartSearch = true;
        m_input->setFocus();
        return false;
    }
    const int ps = BoxPositionOfOffset(text, s), pe = BoxPositionOfOffset(text, e);
    m_input->SetForeground(ps, pe, QColor(255, 10, 0));
    m_input->setFocus();
    m_input->SetSelection(ps, pe);
    // The found line stands five lines below the top.
    m_input->ScrollToLine(m_input->LineOfPosition(ps) - 5);
    return true;
}

bool CInteractiveTextConversionDlg::ReplaceNext() {
    if (!m_data) return false;
    const std::string text = m_input->GetText();
    const std::size_t s = OffsetOfBoxPosition(text, m_input->SelectionStart());
    const std::size_t e = OffsetOfBoxPosition(text, m_input->SelectionEnd());
    std::string changed = text;
    std::size_t r = 0, re = 0;
    if (ReplaceSelectedMatch(m_data->m_LibraryList, g_nLibIndex, CurrentMacro, changed, s, e, r, re)) {
        // Only the match changes in the box: the rest keeps its colours and undo.
        m_input->SetSelection(BoxPositionOfOffset(text, r), BoxPositionOfOffset(text, e));
        m_input->ReplaceSelection(changed.substr(r, re - r));
        m_input->SetCaret(BoxPositionOfOffset(changed, re));
        m_restartSearch = false;
    }
    return FindNext();
}

void CInteractiveTextConversionDlg::ShowOutputText(std::string&& result) {
    g_bOutputShowsTitle = false;
    m_output->TakeText(std::move(result));
}

void CInteractiveTextConversionDlg::SetCurrentMacro(const CMacro& macro) {
    CurrentMacro = macro;
    SetBoxText(m_find, CurrentMacro.Find);
    SetBoxText(m_replace, CurrentMacro.Replace);
    if (onMacroShown) onMacroShown(CurrentMacro);
}

void CInteractiveTextConversionDlg::ClearFind() {
    SetBoxText(m_replace, "");
    SetBoxText(m_find, "");
    m_find->setFocus();
    CurrentMacro.SetFind("");
    CurrentMacro.SetReplace("");
}

void CInteractiveTextConversionDlg::TextToLeft() {
    g_bOutputShowsTitle = false;
    if (m_output->Text().empty()) return;
    g_bInputShowsTitle = false;
    m_input->SetWindowTextFromString(m_output->Text());
}

void CInteractiveTextConversionDlg::TakeFindFromSelection() {
    std::string sel;
    if (g_nActiveTextWindow == 1) sel = m_input->SelectedText();
    else if (g_nActiveTextWindow == 2) sel = m_output->SelectedText();
    if (sel.empty()) return;
    SetBoxText(m_find, sel);
    CurrentMacro.SetFind(sel);
}

void CInteractiveTextConversionDlg::reject() {
    g_bInteractiveShown = false;
    hide();
    if (onHideAttributes) onHideAttributes();
}

void CInteractiveTextConversionDlg::accept() { reject(); }

// The window's own place, without the frame: the frame a window manager
// puts round it after it is shown is no move of the window.
void CInteractiveTextConversionDlg::RememberPosition() {
    m_lastPos = geometry().topLeft();
    m_posKnown = true;
}

void CInteractiveTextConversionDlg::moveEvent(QMoveEvent* e) {
    QDialog::moveEvent(e);
    const QPoint now = geometry().topLeft();
    if (m_posKnown && now != m_lastPos) emit moved(now - m_lastPos);
    m_lastPos = now;
    m_posKnown = true;
}
