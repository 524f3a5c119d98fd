// The Input and Output windows' text box: a view over its own text. The box
// keeps the text as one UTF-8 string with CR LF line breaks and the start of
// every line, and paints only the lines in sight, so that a text of some
// hundred thousand lines is taken over in a few milliseconds (the string is
// moved in and its lines indexed) and read back as a copy of the string.
//
// Positions given to and taken from the box count characters as the other
// text boxes do: UTF-16 units, a line break counting one. The role means
// what it means for CTextRichEdit (1 the Input window, 2 the Output window,
// 3 and 4 the two boxes of a dialog).
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QColor>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QMenu;

class CLineTextBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CLineTextBox(int role = 0, QWidget* parent = nullptr);

    int Role() const { return m_role; }
    void SetRole(int role) { m_role = role; }

    // ---- the text
    // The whole text with CR LF line breaks.
    std::string GetText() const { return m_text; }
    const std::string& Text() const { return m_text; }
    // Sets the text (CR LF or LF); the undo history goes, the caret goes to the start.
    void SetWindowTextFromString(const std::string& text);
    // The same, taking the string over instead of copying it.
    void TakeText(std::string&& text);
    void clear() { SetWindowTextFromString(std::string()); }
    // The text with LF line breaks.
    QString toPlainText() const;
    std::string GetFirstLine() const;
    std::string GetSecondLine() const;
    // Clears the input side's clear-on-first-click flag, sets the text, selects
    // it, copies it to the clipboard when asked, and puts the caret at the start.
    void SetTextAndSelect(const std::string& text, bool copy);

    int LineCount() const { return int(m_starts.size()); }
    // One line without its line break.
    std::string LineText(int line) const;
    // The line that holds a character position.
    int LineOfPosition(int position) const;
    // Positions in the text: one past the last character.
    int CharacterCount() const;

    // ---- caret and selection (character positions)
    int Position() const;
    int Anchor() const;
    int SelectionStart() const { return std::min(Position(), Anchor()); }
    int SelectionEnd() const { return std::max(Position(), Anchor()); }
    bool HasSelection() const { return m_caret != m_anchor; }
    // Selects from anchor to position (the caret) and shows the caret.
    void SetSelection(int anchor, int position);
    void SetCaret(int position) { SetSelection(position, position); }
    // The selected text with CR LF line breaks.
    std::string SelectedText() const;
    void selectAll();
    // Replaces the selection by a CR LF or LF text as one step of undo; the
    // caret stands after it. Works on a read-only box too (program edits).
    void ReplaceSelection(const std::string& text);

    // Colours the text between two positions (a found match).
    void SetForeground(int start, int end, const QColor& colour);
    // The colour of the character at a position.
    QColor ForegroundAt(int position) const;

    // ---- editing
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);
    void undo();
    void redo();
    bool IsUndoAvailable() const { return !m_undo.empty(); }
    bool IsRedoAvailable() const { return !m_redo.empty(); }
    // With nothing selected, Copy and Cut first select the whole text.
    void copy();
    void cut();
    void paste();

    // ---- scrolling
    int FirstVisibleLine() const;
    void ScrollToLine(int line);
    void EnsureCaretVisible();

    // " Ln %d, Col %d" of the selection start.
    std::string UpdateCaretPosition() const;

    // Role 3: the partner box that follows its scrolling.
    void SetScrollPartner(CLineTextBox* partner) { m_partner = partner; }
    // Roles 1 to 4: the label that shows the caret text after a click.
    void SetCaretLabel(QLabel* label) { m_caretLabel = label; }
    // Roles 3 and 4: told the text of a dropped file.
    void SetTextHandler(std::function<void(const std::string&)> f) { m_textHandler = std::move(f); }
    // Roles 3 and 4: the context menu shown on a right click instead of the box's own.
    void SetContextMenuProvider(std::function<void(const QPoint&)> f) { m_menu = std::move(f); }
    // Adds entries after the box's own ones in its context menu.
    void SetMenuExtender(std::function<void(QMenu&)> f) { m_menuExtender = std::move(f); }

    // Loads dropped paths as a drop would: a folder among them refuses all
    // with "Directory or hidden file not allowed."; only the first is loaded.
    bool LoadDroppedFiles(const std::vector<std::string>& paths);

    // Geometry for tests and the window: the point of a position in the viewport.
    QPoint PointOfPosition(int position) const;

signals:
    void textChanged();
    void cursorPositionChanged();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    struct Edit {
        std::size_t from = 0;
        std::string removed, inserted;
        std::size_t anchorBefore = 0, caretBefore = 0, anchorAfter = 0, caretAfter = 0;
        bool typing = false;
    };
    struct Mark {
        std::size_t from, to;
        QColor colour;
    };

    // The text changed as a whole: lines, widths, colours and history anew.
    void Reindex();
    // Replaces the bytes [from, to) by text (CR LF already); records the step.
    void Replace(std::size_t from, std::size_t to, const std::string& text, bool typing = false);
    void Apply(std::size_t from, std::size_t to, const std::string& text);
    void Type(const std::string& text);
    void DeleteSelectionOr(bool forward, bool word);

    // Byte offsets of the buffer.
    int LineOfOffset(std::size_t offset) const;
    std::size_t LineStart(int line) const { return m_starts[std::size_t(line)]; }
    std::size_t LineEnd(int line) const;  // before the line break
    std::size_t NextOffset(std::size_t offset) const;
    std::size_t PrevOffset(std::size_t offset) const;
    std::size_t WordOffset(std::size_t offset, bool forward) const;
    std::size_t OffsetOfPosition(int position) const;
    int PositionOfOffset(std::size_t offset) const;
    void CountLineChars() const;

    // Cells: the display columns of a line (a tab goes to the next eighth).
    int CellOfOffset(std::size_t offset) const;
    std::size_t OffsetOfCell(int line, int cell) const;
    std::size_t OffsetAt(const QPoint& viewportPoint) const;
    int WidestLineCells(std::size_t from, std::size_t to) const;

    void MoveTo(std::size_t offset, bool keepAnchor, bool keepGoal = false);
    void SetSelectionOffsets(std::size_t anchor, std::size_t caret);
    void UpdateScrollBars();
    void ShowCaretLine();
    void UpdateMetrics();
    int VisibleLines() const;
    bool TakesKey(QKeyEvent* e) const;
    void ShowContextMenu(const QPoint& global);
    void RestartBlink();

    std::string m_text;
    std::vector<std::size_t> m_starts{0};
    mutable std::vector<std::int64_t> m_lineChars;  // first position of each line
    mutable bool m_charsKnown = false;
    std::size_t m_caret = 0, m_anchor = 0;
    int m_goalCell = -1;
    int m_widest = 0;  // at least the cells of the widest line
    std::vector<Mark> m_marks;
    std::vector<Edit> m_undo, m_redo;
    bool m_readOnly = false;
    bool m_selecting = false;
    bool m_caretShown = true;
    bool m_recheckCaret = false;
    QBasicTimer m_blink;
    QBasicTimer m_autoScroll;  // a drag held beyond the edge
    QPoint m_dragPoint;
    QElapsedTimer m_doubleClick;  // since the last double click
    int m_doubleClickLine = -1;
    qreal m_cell = 8;
    int m_lineHeight = 16;
    int m_ascent = 12;
    int m_role;
    QPointer<CLineTextBox> m_partner;
    QPointer<QLabel> m_caretLabel;
    std::function<void(const std::string&)> m_textHandler;
    std::function<void(const QPoint&)> m_menu;
    std::function<void(QMenu&)> m_menuExtender;
};
