#include "widgets/TextRichEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <sstream>

#include "widgets/TextRules.h"
#include "widgets/TextWindows.h"
#include "model/Globals.h"
#include "model/KeyValue.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

std::string CTextRichEdit::s_lastInputFile;
std::string CTextRichEdit::s_lastOutputFile;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) {
    QByteArray b = s.toUtf8();
    return std::string(b.constData(), std::size_t(b.size()));
}
bool InputSide(int role) { return role == 1 || role == 3; }
bool OutputSide(int role) { return role == 2 || role == 4; }
}  // namespace

CTextRichEdit::CTextRichEdit(int role, QWidget* parent) : QPlainTextEdit(parent), m_role(role) {
    setAcceptDrops(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

std::string CTextRichEdit::GetText() const { return ToCrLf(S(toPlainText())); }

void CTextRichEdit::SetWindowTextFromString(const std::string& text) {
    setPlainText(Q(FromCrLf(text)));
}

std::string CTextRichEdit::GetFirstLine() const { return GetFirstLineOf(GetText()); }
std::string CTextRichEdit::GetSecondLine() const { return GetSecondLineOf(GetText()); }

void CTextRichEdit::SetTextAndSelect(const std::string& text, bool copy) {
    g_bInputShowsTitle = false;
    SetWindowTextFromString(text);
    selectAll();
    if (copy) QApplication::clipboard()->setText(toPlainText());
    QTextCursor c = textCursor();
    c.setPosition(0);
    setTextCursor(c);
}

std::string CTextRichEdit::UpdateCaretPosition() const {
    QTextCursor c = textCursor();
    c.setPosition(c.selectionStart());
    char buf[64];
    std::snprintf(buf, sizeof buf, " Ln %d, Col %d", c.blockNumber() + 1, c.positionInBlock() + 1);
    return buf;
}

void CTextRichEdit::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton && (m_role == 3 || m_role == 4)) {
        g_nActiveTextWindow = m_role == 3 ? 1 : 2;
        if (m_menu) {
            m_menu(e->globalPosition().toPoint());
            return;
        }
    }
    QPlainTextEdit::mousePressEvent(e);
}

void CTextRichEdit::keyPressEvent(QKeyEvent* e) {
    // The Message Window copies or cuts its whole text when nothing is selected.
    if (m_role == 0 && (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::Cut)) &&
        !textCursor().hasSelection())
        selectAll();
    QPlainTextEdit::keyPressEvent(e);
}

void CTextRichEdit::mouseReleaseEvent(QMouseEvent* e) {
    QPlainTextEdit::mouseReleaseEvent(e);
    if (e->button() != Qt::LeftButton) return;
    const std::string caret = UpdateCaretPosition();
    if (m_role != 3 && m_role != 4 && m_role != 1 && m_role != 2) return;
    if (m_caretLabel) m_caretLabel->setText(Q(caret));
    bool& flag = InputSide(m_role) ? g_bInputShowsTitle : g_bOutputShowsTitle;
    if (flag) {
        clear();
        flag = false;
    }
}

void CTextRichEdit::focusInEvent(QFocusEvent* e) {
    QPlainTextEdit::focusInEvent(e);
    if (m_role == 3 || m_role == 1) g_nActiveTextWindow = 1;
    if (m_role == 4 || m_role == 2) g_nActiveTextWindow = 2;
    if (m_role == 0) g_nActiveTextWindow = 3;
}

void CTextRichEdit::scrollContentsBy(int dx, int dy) {
    QPlainTextEdit::scrollContentsBy(dx, dy);
    if (m_role == 3 && m_partner)
        m_partner->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void CTextRichEdit::wheelEvent(QWheelEvent* e) { QPlainTextEdit::wheelEvent(e); }

void CTextRichEdit::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
    else
        QPlainTextEdit::dragEnterEvent(e);
}

void CTextRichEdit::dragMoveEvent(QDragMoveEvent* e) {
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
    else
        QPlainTextEdit::dragMoveEvent(e);
}

void CTextRichEdit::dropEvent(QDropEvent* e) {
    if (!e->mimeData()->hasUrls()) {
        QPlainTextEdit::dropEvent(e);
        return;
    }
    std::vector<std::string> paths;
    for (const QUrl& u : e->mimeData()->urls())
        if (u.isLocalFile()) paths.push_back(S(u.toLocalFile()));
    e->acceptProposedAction();
    LoadDroppedFiles(paths);
}

bool TakeDroppedPath(const std::vector<std::string>& paths, std::string& path) {
    if (paths.empty()) return false;
    for (const auto& p : paths) {
        QFileInfo fi(Q(p));
        if (fi.isDir() || fi.fileName().startsWith('.')) {
            Prompter().Message("Directory or hidden file not allowed.", MsgIcon::Stop);
            return false;
        }
    }
    path = paths.front();
    if (g_nActiveTextWindow == 1) CTextRichEdit::s_lastInputFile = path;
    if (g_nActiveTextWindow == 2) CTextRichEdit::s_lastOutputFile = path;
    return true;
}

bool CTextRichEdit::LoadDroppedFiles(const std::vector<std::string>& paths) {
    std::string path;
    if (!TakeDroppedPath(paths, path)) return false;
    Prompter().SetWaitCursor(true);
    bool ok = false;
    if (m_role == 5) {
        std::vector<std::string> lines;
        ok = LoadTextFile(path, lines);
        if (ok && m_linesHandler) m_linesHandler(lines);
    } else if (m_role >= 1 && m_role <= 6) {
        std::string text;
        ok = ReadFileText(path, text);
        if (ok) {
            SetWindowTextFromString(text);
            if ((m_role == 3 || m_role == 4 || m_role == 6) && m_textHandler) m_textHandler(GetText());
            if (InputSide(m_role)) g_bInputShowsTitle = false;
            if (OutputSide(m_role)) g_bOutputShowsTitle = false;
        }
    }
    Prompter().SetWaitCursor(false);
    return ok;
}

bool LoadTextFile(const std::string& path, std::vector<std::string>& lines) {
    // A pipe, device or folder is refused before it can block or fill memory.
    std::string bytes, why;
    if (!ReadRegularFile(path, bytes, why)) {
        Prompter().Message("Failed to read the file: " + path + "\r\n" + why, MsgIcon::Stop);
        return false;
    }
    std::istringstream f(std::move(bytes));
    std::string line;
    while (ReadLine(f, line)) lines.push_back(line);
    return true;
}
