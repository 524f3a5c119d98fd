#include "widgets/LineTextBox.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstring>

#include "widgets/TextRichEdit.h"
#include "widgets/TextRules.h"
#include "widgets/TextWindows.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

namespace {
constexpr int kTabCells = 8;

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), std::size_t(b.size()));
}
bool InputSide(int role) { return role == 1 || role == 3; }
bool OutputSide(int role) { return role == 2 || role == 4; }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }
// UTF-16 units of the character that starts with byte c.
int Units(unsigned char c) {
    if (IsContinuation(c)) return 0;
    return c >= 0xF0 ? 2 : 1;
}

// The code point at p (at most n bytes) and its length in bytes; a broken
// sequence reads as U+FFFD, one byte long.
char32_t Decode(const char* p, std::size_t n, std::size_t& len) {
    const auto c = static_cast<unsigned char>(p[0]);
    len = 1;
    if (c < 0x80) return c;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (more < 0 || std::size_t(more) >= n) return 0xFFFD;
    char32_t cp = c & (0x3F >> more);
    for (int i = 1; i <= more; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        if (!IsContinuation(b)) return 0xFFFD;
        cp = (cp << 6) | (b & 0x3F);
    }
    len = std::size_t(more) + 1;
    return cp;
}

bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x1F900 && c <= 0x1F9FF) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

// The cells a character takes when it starts at cell `at`.
int CellsOf(char32_t c, int at) {
    if (c == '\t') return kTabCells - at % kTabCells;
    return IsWide(c) ? 2 : 1;
}

bool IsWordChar(char32_t c) { return c >= 0x80 || c == '_' || (c < 0x80 && std::isalnum(int(c))); }

// The text with a CR before every LF that lacks one.
std::string WithCrLf(std::string text) {
    std::size_t bare = 0;
    for (const char* p = text.data(); (p = static_cast<const char*>(
                                           std::memchr(p, '\n', text.size() - std::size_t(p - text.data()))));
         ++p)
        if (p == text.data() || p[-1] != '\r') ++bare;
    if (bare == 0) return text;
    return ToCrLf(text);
}
}  // namespace

CLineTextBox::CLineTextBox(int role, QWidget* parent) : QAbstractScrollArea(parent), m_role(role) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, true);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    UpdateMetrics();
    Reindex();
}

// ---------------------------------------------------------------- the text

void CLineTextBox::SetWindowTextFromString(const std::string& text) { TakeText(std::string(text)); }

void CLineTextBox::TakeText(std::string&& text) {
    m_text = WithCrLf(std::move(text));
    Reindex();
    emit textChanged();
    emit cursorPositionChanged();
}

void CLineTextBox::Reindex() {
    m_starts.assign(1, 0);
    const char* base = m_text.data();
    const std::size_t n = m_text.size();
    for (const char* p = base; (p = static_cast<const char*>(std::memchr(p, '\n', n - std::size_t(p - base))));)
        m_starts.push_back(std::size_t(++p - base));
    m_widest = WidestLineCells(0, m_starts.size());
    m_charsKnown = false;
    m_marks.clear();
    m_undo.clear();
    m_redo.clear();
    m_caret = m_anchor = 0;
    m_goalCell = -1;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
}

QString CLineTextBox::toPlainText() const { return Q(FromCrLf(m_text)); }

std::string CLineTextBox::GetFirstLine() const { return GetFirstLineOf(m_text); }
std::string CLineTextBox::GetSecondLine() const { return GetSecondLineOf(m_text); }

void CLineTextBox::SetTextAndSelect(const std::string& text, bool copy) {
    g_bInputShowsTitle = false;
    SetWindowTextFromString(text);
    if (copy) QApplication::clipboard()->setText(toPlainText());
    SetCaret(0);
}

std::string CLineTextBox::LineText(int line) const {
    if (line < 0 || line >= LineCount()) return {};
    return m_text.substr(LineStart(line), LineEnd(line) - LineStart(line));
}

int CLineTextBox::LineOfOffset(std::size_t offset) const {
    const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), offset);
    return int(it - m_starts.begin()) - 1;
}

std::size_t CLineTextBox::LineEnd(int line) const {
    if (std::size_t(line) + 1 < m_starts.size()) return m_starts[std::size_t(line) + 1] - 2;
    return m_text.size();
}

std::size_t CLineTextBox::NextOffset(std::size_t offset) const {
    if (offset >= m_text.size()) return m_text.size();
    if (m_text[offset] == '\r' && offset + 1 < m_text.size() && m_text[offset + 1] == '\n') return offset + 2;
    std::size_t len = 0;
    Decode(m_text.data() + offset, m_text.size() - offset, len);
    return offset + len;
}

std::size_t CLineTextBox::PrevOffset(std::size_t offset) const {
    if (offset == 0) return 0;
    if (offset >= 2 && m_text[offset - 1] == '\n' && m_text[offset - 2] == '\r') return offset - 2;
    // The lead byte whose sequence ends here; a broken one steps one byte.
    for (std::size_t back = 1; back <= 4 && back <= offset; ++back) {
        if (IsContinuation(static_cast<unsigned char>(m_text[offset - back]))) continue;
        std::size_t len = 0;
        Decode(m_text.data() + offset - back, back, len);
        return len == back ? offset - back : offset - 1;
    }
    return offset - 1;
}

std::size_t CLineTextBox::WordOffset(std::size_t offset, bool forward) const {
    auto charAt = [&](std::size_t at) {
        std::size_t len = 0;
        return Decode(m_text.data() + at, m_text.size() - at, len);
    };
    if (forward) {
        // Over the rest of this word, then over the blanks to the next one.
        if (offset < m_text.size() && IsWordChar(charAt(offset)))
            while (offset < m_text.size() && IsWordChar(charAt(offset))) offset = NextOffset(offset);
        else if (offset < m_text.size())
            offset = NextOffset(offset);
        while (offset < m_text.size() && (m_text[offset] == ' ' || m_text[offset] == '\t')) ++offset;
        return offset;
    }
    while (offset > 0) {
        const std::size_t p = PrevOffset(offset);
        if (m_text[p] != ' ' && m_text[p] != '\t') break;
        offset = p;
    }
    if (offset > 0 && !IsWordChar(charAt(PrevOffset(offset)))) return PrevOffset(offset);
    while (offset > 0 && IsWordChar(charAt(PrevOffset(offset)))) offset = PrevOffset(offset);
    return offset;
}

// ---------------------------------------------------------------- positions

void CLineTextBox::CountLineChars() const {
    if (m_charsKnown) return;
    m_lineChars.resize(m_starts.size());
    std::int64_t pos = 0;
    for (std::size_t l = 0; l < m_starts.size(); ++l) {
        m_lineChars[l] = pos;
        const std::size_t end = LineEnd(int(l));
        for (std::size_t i = m_starts[l]; i < end; ++i) pos += Units(static_cast<unsigned char>(m_text[i]));
        ++pos;  // the line break
    }
    m_charsKnown = true;
}

int CLineTextBox::CharacterCount() const {
    CountLineChars();
    const std::size_t last = m_starts.size() - 1;
    std::int64_t pos = m_lineChars[last];
    for (std::size_t i = m_starts[last]; i < m_text.size(); ++i) pos += Units(static_cast<unsigned char>(m_text[i]));
    return int(pos);
}

int CLineTextBox::PositionOfOffset(std::size_t offset) const {
    CountLineChars();
    const int line = LineOfOffset(offset);
    std::int64_t pos = m_lineChars[std::size_t(line)];
    for (std::size_t i = LineStart(line); i < offset; ++i) pos += Units(static_cast<unsigned char>(m_text[i]));
    return int(pos);
}

std::size_t CLineTextBox::OffsetOfPosition(int position) const {
    CountLineChars();
    if (position <= 0) return 0;
    const auto it = std::upper_bound(m_lineChars.begin(), m_lineChars.end(), std::int64_t(position));
    const int line = int(it - m_lineChars.begin()) - 1;
    std::int64_t pos = m_lineChars[std::size_t(line)];
    const std::size_t end = LineEnd(line);
    std::size_t i = LineStart(line);
    while (i < end && pos < position) {
        pos += Units(static_cast<unsigned char>(m_text[i]));
        i = NextOffset(i);
    }
    return std::min(i, end);
}

int CLineTextBox::Position() const { return PositionOfOffset(m_caret); }
int CLineTextBox::Anchor() const { return PositionOfOffset(m_anchor); }

int CLineTextBox::LineOfPosition(int position) const { return LineOfOffset(OffsetOfPosition(position)); }

void CLineTextBox::SetSelection(int anchor, int position) {
    SetSelectionOffsets(OffsetOfPosition(anchor), OffsetOfPosition(position));
    m_goalCell = -1;
    EnsureCaretVisible();
}

void CLineTextBox::SetSelectionOffsets(std::size_t anchor, std::size_t caret) {
    anchor = std::min(anchor, m_text.size());
    caret = std::min(caret, m_text.size());
    if (anchor == m_anchor && caret == m_caret) return;
    m_anchor = anchor;
    m_caret = caret;
    RestartBlink();
    viewport()->update();
    emit cursorPositionChanged();
}

std::string CLineTextBox::SelectedText() const {
    const std::size_t s = std::min(m_caret, m_anchor), e = std::max(m_caret, m_anchor);
    return m_text.substr(s, e - s);
}

void CLineTextBox::selectAll() {
    SetSelectionOffsets(0, m_text.size());
}

void CLineTextBox::ReplaceSelection(const std::string& text) {
    Replace(std::min(m_caret, m_anchor), std::max(m_caret, m_anchor), WithCrLf(text));
    EnsureCaretVisible();
}

void CLineTextBox::SetForeground(int start, int end, const QColor& colour) {
    const std::size_t s = OffsetOfPosition(start), e = OffsetOfPosition(end);
    if (s >= e) return;
    // The new colour lies on top of what was there.
    std::vector<Mark> kept;
    for (const Mark& m : m_marks) {
        if (m.to <= s || m.from >= e) kept.push_back(m);
        else {
            if (m.from < s) kept.push_back({m.from, s, m.colour});
            if (m.to > e) kept.push_back({e, m.to, m.colour});
        }
    }
    kept.push_back({s, e, colour});
    std::sort(kept.begin(), kept.end(), [](const Mark& a, const Mark& b) { return a.from < b.from; });
    m_marks = std::move(kept);
    viewport()->update();
}

QColor CLineTextBox::ForegroundAt(int position) const {
    const std::size_t at = OffsetOfPosition(position);
    for (const Mark& m : m_marks)
        if (at >= m.from && at < m.to) return m.colour;
    return palette().color(QPalette::Text);
}

// ---------------------------------------------------------------- editing

void CLineTextBox::Apply(std::size_t from, std::size_t to, const std::string& text) {
    const int first = LineOfOffset(from), last = LineOfOffset(to);
    m_text.replace(from, to - from, text);
    const std::ptrdiff_t delta = std::ptrdiff_t(text.size()) - std::ptrdiff_t(to - from);
    // The lines between first and last are gone; those of the new text come in.
    std::vector<std::size_t> fresh;
    for (std::size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
        fresh.push_back(from + i + 1);
    auto tail = m_starts.begin() + last + 1;
    for (auto it = tail; it != m_starts.end(); ++it) *it = std::size_t(std::ptrdiff_t(*it) + delta);
    m_starts.erase(m_starts.begin() + first + 1, tail);
    m_starts.insert(m_starts.begin() + first + 1, fresh.begin(), fresh.end());
    m_widest = std::max(m_widest, WidestLineCells(std::size_t(first), std::size_t(first) + fresh.size() + 1));
    m_charsKnown = false;
    // Colours: those within the changed bytes go, those after it move.
    std::vector<Mark> kept;
    for (Mark m : m_marks) {
        if (m.to <= from) {
            kept.push_back(m);
            continue;
        }
        if (m.from >= to) {
            m.from = std::size_t(std::ptrdiff_t(m.from) + delta);
            m.to = std::size_t(std::ptrdiff_t(m.to) + delta);
            kept.push_back(m);
            continue;
        }
        if (m.from < from) kept.push_back({m.from, from, m.colour});
        if (m.to > to)
            kept.push_back({from + text.size(), std::size_t(std::ptrdiff_t(m.to) + delta), m.colour});
    }
    m_marks = std::move(kept);
    UpdateScrollBars();
    viewport()->update();
}

void CLineTextBox::Replace(std::size_t from, std::size_t to, const std::string& text, bool typing) {
    if (from == to && text.empty()) return;
    Edit step;
    step.from = from;
    step.removed = m_text.substr(from, to - from);
    step.inserted = text;
    step.anchorBefore = m_anchor;
    step.caretBefore = m_caret;
    step.anchorAfter = step.caretAfter = from + text.size();
    step.typing = typing && step.removed.empty();
    Apply(from, to, text);
    m_redo.clear();
    // Letters typed one after the other undo together; a line break parts them.
    Edit* last = m_undo.empty() ? nullptr : &m_undo.back();
    if (step.typing && last && last->typing && last->from + last->inserted.size() == from &&
        last->caretAfter == step.caretBefore && step.inserted != "\r\n" && last->inserted.back() != '\n') {
        last->inserted += step.inserted;
        last->anchorAfter = last->caretAfter = step.caretAfter;
    } else {
        m_undo.push_back(std::move(step));
    }
    m_anchor = m_caret = from + text.size();
    m_goalCell = -1;
    RestartBlink();
    emit textChanged();
    emit cursorPositionChanged();
}

void CLineTextBox::undo() {
    if (m_undo.empty()) return;
    Edit step = std::move(m_undo.back());
    m_undo.pop_back();
    Apply(step.from, step.from + step.inserted.size(), step.removed);
    m_anchor = step.anchorBefore;
    m_caret = step.caretBefore;
    m_redo.push_back(std::move(step));
    m_goalCell = -1;
    emit textChanged();
    emit cursorPositionChanged();
    EnsureCaretVisible();
}

void CLineTextBox::redo() {
    if (m_redo.empty()) return;
    Edit step = std::move(m_redo.back());
    m_redo.pop_back();
    Apply(step.from, step.from + step.removed.size(), step.inserted);
    m_anchor = step.anchorAfter;
    m_caret = step.caretAfter;
    step.typing = false;
    m_undo.push_back(std::move(step));
    m_goalCell = -1;
    emit textChanged();
    emit cursorPositionChanged();
    EnsureCaretVisible();
}

void CLineTextBox::setReadOnly(bool readOnly) {
    m_readOnly = readOnly;
    viewport()->setCursor(readOnly ? Qt::ArrowCursor : Qt::IBeamCursor);
    viewport()->update();
}

void CLineTextBox::copy() {
    if (m_caret == m_anchor) selectAll();
    if (m_caret == m_anchor) return;
    QApplication::clipboard()->setText(Q(FromCrLf(SelectedText())));
}

void CLineTextBox::cut() {
    if (m_readOnly) return;
    copy();
    if (m_caret == m_anchor) return;
    ReplaceSelection(std::string());
}

void CLineTextBox::paste() {
    if (m_readOnly) return;
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty()) return;
    ReplaceSelection(S(text));
}

void CLineTextBox::Type(const std::string& text) {
    if (m_readOnly) return;
    Replace(std::min(m_caret, m_anchor), std::max(m_caret, m_anchor), text, m_caret == m_anchor);
    EnsureCaretVisible();
}

void CLineTextBox::DeleteSelectionOr(bool forward, bool word) {
    if (m_readOnly) return;
    std::size_t s = std::min(m_caret, m_anchor), e = std::max(m_caret, m_anchor);
    if (s == e) {
        if (forward) e = word ? WordOffset(s, true) : NextOffset(s);
        else s = word ? WordOffset(e, false) : PrevOffset(e);
    }
    if (s == e) return;
    Replace(s, e, std::string());
    EnsureCaretVisible();
}

// ---------------------------------------------------------------- cells and geometry

int CLineTextBox::WidestLineCells(std::size_t from, std::size_t to) const {
    // Not the exact cells but a bound that needs no decoding: a character
    // takes no more cells than it has bytes, but for a tab (at most eight).
    std::size_t widest = 0;
    to = std::min(to, m_starts.size());
    const char* base = m_text.data();
    for (std::size_t l = from; l < to; ++l) {
        const std::size_t begin = m_starts[l], end = LineEnd(int(l));
        std::size_t cells = end - begin;
        for (const char* p = base + begin;
             (p = static_cast<const char*>(std::memchr(p, '\t', end - std::size_t(p - base)))); ++p)
            cells += kTabCells - 1;
        widest = std::max(widest, cells);
    }
    return int(std::min<std::size_t>(widest, 1u << 24));
}

int CLineTextBox::CellOfOffset(std::size_t offset) const {
    const int line = LineOfOffset(offset);
    int cell = 0;
    for (std::size_t i = LineStart(line); i < offset;) {
        std::size_t len = 0;
        cell += CellsOf(Decode(m_text.data() + i, offset - i, len), cell);
        i += len;
    }
    return cell;
}

std::size_t CLineTextBox::OffsetOfCell(int line, int cell) const {
    const std::size_t end = LineEnd(line);
    int at = 0;
    std::size_t i = LineStart(line);
    while (i < end) {
        std::size_t len = 0;
        const int w = CellsOf(Decode(m_text.data() + i, end - i, len), at);
        // The nearer side of the character.
        if (at + w > cell) return (cell - at) * 2 >= w ? i + len : i;
        at += w;
        i += len;
    }
    return end;
}

std::size_t CLineTextBox::OffsetAt(const QPoint& p) const {
    const int line = std::clamp(FirstVisibleLine() + (p.y() < 0 ? -1 - (-p.y() / m_lineHeight) : p.y() / m_lineHeight), 0,
                                LineCount() - 1);
    const qreal x = p.x() + horizontalScrollBar()->value() - 4;
    const int cell = std::max(0, int(std::floor(x / m_cell + 0.5)));
    return OffsetOfCell(line, cell);
}

QPoint CLineTextBox::PointOfPosition(int position) const {
    const std::size_t at = OffsetOfPosition(position);
    const int line = LineOfOffset(at);
    return QPoint(int(4 + CellOfOffset(at) * m_cell) - horizontalScrollBar()->value(),
                  (line - FirstVisibleLine()) * m_lineHeight + m_lineHeight / 2);
}

void CLineTextBox::UpdateMetrics() {
    const QFontMetricsF fm(font());
    m_cell = fm.horizontalAdvance(QString(100, QLatin1Char('M'))) / 100.0;
    m_lineHeight = std::max(1, int(std::ceil(fm.lineSpacing())));
    m_ascent = int(std::ceil(fm.ascent()));
}

int CLineTextBox::VisibleLines() const { return std::max(1, viewport()->height() / m_lineHeight); }

int CLineTextBox::FirstVisibleLine() const { return verticalScrollBar()->value(); }

void CLineTextBox::ScrollToLine(int line) { verticalScrollBar()->setValue(std::max(0, line)); }

void CLineTextBox::UpdateScrollBars() {
    const int visible = VisibleLines();
    verticalScrollBar()->setRange(0, std::max(0, LineCount() - visible));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    const int width = int(std::ceil(m_widest * m_cell)) + 8 + int(m_cell);
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(std::max(1, int(m_cell * 2)));
}

void CLineTextBox::EnsureCaretVisible() {
    ShowCaretLine();
    // A scroll bar that comes with this change takes its room only later.
    if (!m_recheckCaret) {
        m_recheckCaret = true;
        QTimer::singleShot(0, this, [this] {
            m_recheckCaret = false;
            ShowCaretLine();
        });
    }
}

void CLineTextBox::ShowCaretLine() {
    const int line = LineOfOffset(m_caret);
    const int first = FirstVisibleLine(), visible = VisibleLines();
    if (line < first) ScrollToLine(line);
    else if (line >= first + visible) ScrollToLine(line - visible + 1);
    const int x = int(4 + CellOfOffset(m_caret) * m_cell);
    QScrollBar* h = horizontalScrollBar();
    const int w = viewport()->width();
    if (x < h->value()) h->setValue(std::max(0, x - w / 4));
    else if (x + int(m_cell) + 4 > h->value() + w) h->setValue(x + int(m_cell) + 4 - w + w / 4);
}

std::string CLineTextBox::UpdateCaretPosition() const {
    const std::size_t at = std::min(m_caret, m_anchor);
    const int line = LineOfOffset(at);
    int col = 0;
    for (std::size_t i = LineStart(line); i < at; ++i) col += Units(static_cast<unsigned char>(m_text[i]));
    char buf[64];
    std::snprintf(buf, sizeof buf, " Ln %d, Col %d", line + 1, col + 1);
    return buf;
}

// ---------------------------------------------------------------- painting

void CLineTextBox::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    const QPalette& pal = palette();
    p.fillRect(e->rect(), pal.color(QPalette::Base));
    p.setFont(font());
    const int first = FirstVisibleLine();
    const int last = std::min(LineCount() - 1, first + viewport()->height() / m_lineHeight + 1);
    const int scroll = horizontalScrollBar()->value();
    const int leftCell = std::max(0, int((scroll - 4) / m_cell) - 1);
    const int rightCell = int((scroll + viewport()->width()) / m_cell) + 2;
    const std::size_t selFrom = std::min(m_caret, m_anchor), selTo = std::max(m_caret, m_anchor);
    const QColor text = pal.color(QPalette::Text);
    const QColor selBack = pal.color(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
    const QColor selText = pal.color(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::HighlightedText);
    auto xOf = [&](int cell) { return 4 + cell * m_cell - scroll; };
    // The colour marks that start before the first line in sight.
    auto mark = std::lower_bound(m_marks.begin(), m_marks.end(), first < LineCount() ? LineStart(std::max(first, 0)) : 0,
                                 [](const Mark& m, std::size_t at) { return m.to <= at; });
    for (int line = first; line <= last; ++line) {
        const int top = (line - first) * m_lineHeight;
        const qreal base = top + m_ascent;
        const std::size_t end = LineEnd(line);
        int cell = 0;
        QString run;
        int runCell = 0;
        bool runSelected = false;
        QColor runColour = text;
        auto flush = [&] {
            if (run.isEmpty()) return;
            p.setPen(runSelected ? selText : runColour);
            p.drawText(QPointF(xOf(runCell), base), run);
            run.clear();
        };
        for (std::size_t i = LineStart(line); i < end && cell <= rightCell;) {
            std::size_t len = 0;
            const char32_t c = Decode(m_text.data() + i, end - i, len);
            const int w = CellsOf(c, cell);
            if (cell + w < leftCell) {
                cell += w;
                i += len;
                continue;
            }
            const bool selected = i >= selFrom && i < selTo;
            while (mark != m_marks.end() && mark->to <= i) ++mark;
            const QColor colour = mark != m_marks.end() && mark->from <= i ? mark->colour : text;
            if (selected) p.fillRect(QRectF(xOf(cell), top, w * m_cell, m_lineHeight), selBack);
            // Runs of plain ASCII go out at once; other characters one by one
            // in their cells, whatever font supplies them.
            const bool plain = c >= 0x20 && c < 0x7F;
            if (!plain || selected != runSelected || colour != runColour || run.isEmpty()) {
                flush();
                runCell = cell;
                runSelected = selected;
                runColour = colour;
            }
            if (plain) {
                run.append(QChar(char16_t(c)));
            } else if (c > 0x7F && c != 0xFEFF) {
                if (c > 0xFFFF) {
                    run.append(QChar::highSurrogate(c));
                    run.append(QChar::lowSurrogate(c));
                } else {
                    run.append(QChar(char16_t(c)));
                }
                flush();
            }
            cell += w;
            i += len;
        }
        flush();
        // A selected line break shows as a cell past the line's end.
        if (end < m_text.size() && end >= selFrom && end < selTo && cell <= rightCell)
            p.fillRect(QRectF(xOf(cell), top, m_cell, m_lineHeight), selBack);
    }
    if (hasFocus() && m_caretShown) {
        const int line = LineOfOffset(m_caret);
        if (line >= first && line <= last) {
            const int x = int(xOf(CellOfOffset(m_caret)));
            p.fillRect(QRect(x, (line - first) * m_lineHeight, 2, m_lineHeight), text);
        }
    }
}

void CLineTextBox::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollBars();
}

void CLineTextBox::changeEvent(QEvent* e) {
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange) {
        UpdateMetrics();
        UpdateScrollBars();
        viewport()->update();
    }
}

void CLineTextBox::scrollContentsBy(int, int) {
    viewport()->update();
    if (m_role == 3 && m_partner) m_partner->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void CLineTextBox::RestartBlink() {
    m_caretShown = true;
    if (hasFocus()) {
        const int ms = QApplication::styleHints()->cursorFlashTime() / 2;
        if (ms > 0) m_blink.start(ms, this);
    }
}

void CLineTextBox::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_autoScroll.timerId()) {
        if (!m_selecting) m_autoScroll.stop();
        else MoveTo(OffsetAt(m_dragPoint), true);
        return;
    }
    if (e->timerId() != m_blink.timerId()) return QAbstractScrollArea::timerEvent(e);
    m_caretShown = !m_caretShown;
    const int line = LineOfOffset(m_caret);
    viewport()->update(QRect(0, (line - FirstVisibleLine()) * m_lineHeight, viewport()->width(), m_lineHeight));
}

// ---------------------------------------------------------------- keys

bool CLineTextBox::TakesKey(QKeyEvent* e) const {
    static const QKeySequence::StandardKey keys[] = {
        QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste, QKeySequence::Undo, QKeySequence::Redo,
        QKeySequence::SelectAll, QKeySequence::MoveToNextChar, QKeySequence::MoveToPreviousChar,
        QKeySequence::MoveToNextWord, QKeySequence::MoveToPreviousWord, QKeySequence::MoveToNextLine,
        QKeySequence::MoveToPreviousLine, QKeySequence::MoveToNextPage, QKeySequence::MoveToPreviousPage,
        QKeySequence::MoveToStartOfLine, QKeySequence::MoveToEndOfLine, QKeySequence::MoveToStartOfDocument,
        QKeySequence::MoveToEndOfDocument, QKeySequence::SelectNextChar, QKeySequence::SelectPreviousChar,
        QKeySequence::SelectNextWord, QKeySequence::SelectPreviousWord, QKeySequence::SelectNextLine,
        QKeySequence::SelectPreviousLine, QKeySequence::SelectNextPage, QKeySequence::SelectPreviousPage,
        QKeySequence::SelectStartOfLine, QKeySequence::SelectEndOfLine, QKeySequence::SelectStartOfDocument,
        QKeySequence::SelectEndOfDocument, QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord};
    for (auto k : keys)
        if (e->matches(k)) return true;
    const auto mods = e->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (mods != Qt::NoModifier) return false;
    switch (e->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
            return true;
        default:
            break;
    }
    const QString t = e->text();
    return !t.isEmpty() && t.at(0).isPrint();
}

bool CLineTextBox::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (TakesKey(k)) {
            k->accept();
            return true;
        }
    }
    // Tab is a character here, not a move to the next control.
    if (e->type() == QEvent::KeyPress && !m_readOnly && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Tab &&
        !(static_cast<QKeyEvent*>(e)->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        keyPressEvent(static_cast<QKeyEvent*>(e));
        return true;
    }
    return QAbstractScrollArea::event(e);
}

void CLineTextBox::MoveTo(std::size_t offset, bool keepAnchor, bool keepGoal) {
    if (!keepGoal) m_goalCell = -1;
    SetSelectionOffsets(keepAnchor ? m_anchor : offset, offset);
    EnsureCaretVisible();
}

void CLineTextBox::keyPressEvent(QKeyEvent* e) {
    using K = QKeySequence;
    if (e->matches(K::Copy)) return copy();
    if (e->matches(K::Cut)) return cut();
    if (e->matches(K::Paste)) return paste();
    if (e->matches(K::Undo)) return m_readOnly ? void() : undo();
    if (e->matches(K::Redo)) return m_readOnly ? void() : redo();
    if (e->matches(K::SelectAll)) return selectAll();
    if (e->matches(K::DeleteStartOfWord)) return DeleteSelectionOr(false, true);
    if (e->matches(K::DeleteEndOfWord)) return DeleteSelectionOr(true, true);

    const int line = LineOfOffset(m_caret);
    auto vertical = [&](int lines, bool keep) {
        if (m_goalCell < 0) m_goalCell = CellOfOffset(m_caret);
        const int target = std::clamp(line + lines, 0, LineCount() - 1);
        std::size_t to = OffsetOfCell(target, m_goalCell);
        if (line + lines < 0) to = 0;
        if (line + lines >= LineCount()) to = m_text.size();
        if (std::abs(lines) > 1) ScrollToLine(FirstVisibleLine() + (target - line));
        MoveTo(to, keep, true);
    };
    const int page = VisibleLines();
    for (bool keep : {false, true}) {
        auto is = [&](K::StandardKey m, K::StandardKey s) { return e->matches(keep ? s : m); };
        if (is(K::MoveToNextChar, K::SelectNextChar))
            return MoveTo(!keep && m_caret != m_anchor ? std::max(m_caret, m_anchor) : NextOffset(m_caret), keep);
        if (is(K::MoveToPreviousChar, K::SelectPreviousChar))
            return MoveTo(!keep && m_caret != m_anchor ? std::min(m_caret, m_anchor) : PrevOffset(m_caret), keep);
        if (is(K::MoveToNextWord, K::SelectNextWord)) return MoveTo(WordOffset(m_caret, true), keep);
        if (is(K::MoveToPreviousWord, K::SelectPreviousWord)) return MoveTo(WordOffset(m_caret, false), keep);
        if (is(K::MoveToNextLine, K::SelectNextLine)) return vertical(1, keep);
        if (is(K::MoveToPreviousLine, K::SelectPreviousLine)) return vertical(-1, keep);
        if (is(K::MoveToNextPage, K::SelectNextPage)) return vertical(page, keep);
        if (is(K::MoveToPreviousPage, K::SelectPreviousPage)) return vertical(-page, keep);
        if (is(K::MoveToStartOfLine, K::SelectStartOfLine)) return MoveTo(LineStart(line), keep);
        if (is(K::MoveToEndOfLine, K::SelectEndOfLine)) return MoveTo(LineEnd(line), keep);
        if (is(K::MoveToStartOfDocument, K::SelectStartOfDocument)) return MoveTo(0, keep);
        if (is(K::MoveToEndOfDocument, K::SelectEndOfDocument)) return MoveTo(m_text.size(), keep);
    }
    const auto mods = e->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (mods == Qt::NoModifier) {
        switch (e->key()) {
            case Qt::Key_Backspace: return DeleteSelectionOr(false, false);
            case Qt::Key_Delete: return DeleteSelectionOr(true, false);
            case Qt::Key_Return:
            case Qt::Key_Enter: return Type("\r\n");
            case Qt::Key_Tab: return Type("\t");
            default: break;
        }
        const QString t = e->text();
        if (!t.isEmpty() && t.at(0).isPrint()) return Type(S(t));
    }
    e->ignore();
}

void CLineTextBox::inputMethodEvent(QInputMethodEvent* e) {
    // Only the committed text goes in; a composition in progress is the
    // input method's own to show.
    if (!m_readOnly && !e->commitString().isEmpty()) Type(S(e->commitString()));
    e->accept();
}

QVariant CLineTextBox::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
        case Qt::ImEnabled: return !m_readOnly;
        case Qt::ImCursorRectangle: {
            const QPoint p = PointOfPosition(Position());
            return QRect(p.x(), p.y() - m_lineHeight / 2, 2, m_lineHeight);
        }
        case Qt::ImFont: return font();
        default: return QAbstractScrollArea::inputMethodQuery(query);
    }
}

// ---------------------------------------------------------------- mouse

void CLineTextBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) {
        if (m_role == 3 || m_role == 4) g_nActiveTextWindow = m_role == 3 ? 1 : 2;
        if ((m_role == 3 || m_role == 4) && m_menu) {
            m_menu(e->globalPosition().toPoint());
            e->accept();
            return;
        }
        ShowContextMenu(e->globalPosition().toPoint());
        e->accept();
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    const std::size_t at = OffsetAt(e->position().toPoint());
    // A third click soon after a double click takes the line with its break.
    if (m_doubleClick.isValid() && m_doubleClick.elapsed() < QApplication::doubleClickInterval() &&
        LineOfOffset(at) == m_doubleClickLine) {
        m_doubleClick.invalidate();
        const int line = LineOfOffset(at);
        SetSelectionOffsets(LineStart(line), line + 1 < LineCount() ? LineStart(line + 1) : m_text.size());
        return;
    }
    MoveTo(at, e->modifiers() & Qt::ShiftModifier);
    m_selecting = true;
}

void CLineTextBox::mouseMoveEvent(QMouseEvent* e) {
    if (!m_selecting || !(e->buttons() & Qt::LeftButton)) return;
    m_dragPoint = e->position().toPoint();
    MoveTo(OffsetAt(m_dragPoint), true);
    // Held beyond the edge, the selection goes on scrolling.
    if (viewport()->rect().contains(m_dragPoint)) m_autoScroll.stop();
    else if (!m_autoScroll.isActive()) m_autoScroll.start(50, this);
}

void CLineTextBox::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const std::size_t at = OffsetAt(e->position().toPoint());
    const int line = LineOfOffset(at);
    // The word under the pointer.
    std::size_t s = at, en = at;
    auto wordAt = [&](std::size_t i) {
        std::size_t len = 0;
        return i < LineEnd(line) && IsWordChar(Decode(m_text.data() + i, m_text.size() - i, len));
    };
    while (s > LineStart(line) && wordAt(PrevOffset(s))) s = PrevOffset(s);
    while (wordAt(en)) en = NextOffset(en);
    if (s == en) en = std::min(NextOffset(at), LineEnd(line));
    SetSelectionOffsets(s, en);
    m_selecting = false;
    m_doubleClick.start();
    m_doubleClickLine = line;
}

void CLineTextBox::mouseReleaseEvent(QMouseEvent* e) {
    m_selecting = false;
    m_autoScroll.stop();
    if (e->button() != Qt::LeftButton) return;
    if (m_role < 1 || m_role > 4) return;
    if (m_caretLabel) m_caretLabel->setText(Q(UpdateCaretPosition()));
    // The box still showing its caption empties at the first click.
    bool& flag = InputSide(m_role) ? g_bInputShowsTitle : g_bOutputShowsTitle;
    if (flag) {
        flag = false;
        clear();
    }
}

void CLineTextBox::contextMenuEvent(QContextMenuEvent* e) {
    // Right clicks open the menu at the press; this is the keyboard's menu key.
    if (e->reason() == QContextMenuEvent::Mouse) return;
    ShowContextMenu(e->globalPos());
}

void CLineTextBox::ShowContextMenu(const QPoint& global) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool sel = m_caret != m_anchor;
    menu->addAction(tr("&Undo"), this, &CLineTextBox::undo)->setEnabled(!m_readOnly && IsUndoAvailable());
    menu->addAction(tr("&Redo"), this, &CLineTextBox::redo)->setEnabled(!m_readOnly && IsRedoAvailable());
    menu->addSeparator();
    menu->addAction(tr("Cu&t"), this, &CLineTextBox::cut)->setEnabled(!m_readOnly && !m_text.empty());
    menu->addAction(tr("&Copy"), this, &CLineTextBox::copy)->setEnabled(!m_text.empty());
    menu->addAction(tr("&Paste"), this, &CLineTextBox::paste)
        ->setEnabled(!m_readOnly && !QApplication::clipboard()->text().isEmpty());
    menu->addAction(tr("Delete"), this, [this] { DeleteSelectionOr(true, false); })->setEnabled(!m_readOnly && sel);
    menu->addSeparator();
    menu->addAction(tr("Select All"), this, &CLineTextBox::selectAll)->setEnabled(!m_text.empty());
    if (m_menuExtender) m_menuExtender(*menu);
    menu->popup(global);
}

void CLineTextBox::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    if (m_role == 3 || m_role == 1) g_nActiveTextWindow = 1;
    if (m_role == 4 || m_role == 2) g_nActiveTextWindow = 2;
    if (m_role == 0) g_nActiveTextWindow = 3;
    RestartBlink();
    viewport()->update();
}

void CLineTextBox::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    m_blink.stop();
    viewport()->update();
}

// ---------------------------------------------------------------- drops

void CLineTextBox::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls() || (!m_readOnly && e->mimeData()->hasText())) e->acceptProposedAction();
}

void CLineTextBox::dragMoveEvent(QDragMoveEvent* e) {
    if (e->mimeData()->hasUrls() || (!m_readOnly && e->mimeData()->hasText())) e->acceptProposedAction();
}

void CLineTextBox::dropEvent(QDropEvent* e) {
    const QMimeData* mime = e->mimeData();
    if (mime->hasUrls()) {
        std::vector<std::string> paths;
        for (const QUrl& u : mime->urls())
            if (u.isLocalFile()) paths.push_back(S(u.toLocalFile()));
        e->acceptProposedAction();
        LoadDroppedFiles(paths);
        return;
    }
    if (m_readOnly || !mime->hasText()) return;
    e->acceptProposedAction();
    const std::size_t at = OffsetAt(e->position().toPoint());
    SetSelectionOffsets(at, at);
    ReplaceSelection(S(mime->text()));
    setFocus();
}

bool CLineTextBox::LoadDroppedFiles(const std::vector<std::string>& paths) {
    std::string path;
    if (!TakeDroppedPath(paths, path)) return false;
    if (m_role < 1 || m_role > 4) return false;
    Prompter().SetWaitCursor(true);
    std::string text;
    const bool ok = ReadFileText(path, text);
    if (ok) {
        TakeText(std::move(text));
        if ((m_role == 3 || m_role == 4) && m_textHandler) m_textHandler(m_text);
        if (InputSide(m_role)) g_bInputShowsTitle = false;
        if (OutputSide(m_role)) g_bOutputShowsTitle = false;
    }
    Prompter().SetWaitCursor(false);
    return ok;
}
