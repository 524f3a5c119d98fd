// The program's multi-line text box. Its role decides where a dropped file
// goes, which caret label it feeds and which text window it stands for:
// 0 the Message Window, 1 the main Input box, 2 the main Output box, 3 and 4
// the two boxes of one dialog, 5 the master palette, 6 another dialog's box.
// (The Input and Output windows themselves are CLineTextBox views.)
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

class CTextRichEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CTextRichEdit(int role = 0, QWidget* parent = nullptr);

    int Role() const { return m_role; }
    void SetRole(int role) { m_role = role; }

    // The whole text with CR LF line breaks.
    std::string GetText() const;
    // Sets the text (CR LF or LF), nothing else.
    void SetWindowTextFromString(const std::string& text);
    std::string GetFirstLine() const;
    std::string GetSecondLine() const;
    // Clears the input side's clear-on-first-click flag, sets the text, selects
    // it, copies it to the clipboard when asked, and puts the caret at the start.
    void SetTextAndSelect(const std::string& text, bool copy);
    // " Ln %d, Col %d" of the selection start.
    std::string UpdateCaretPosition() const;

    // Role 3: the partner box (role 4) that follows its scrolling.
    void SetScrollPartner(CTextRichEdit* partner) { m_partner = partner; }
    // Roles 3 and 4: the label that shows the caret text.
    void SetCaretLabel(QLabel* label) { m_caretLabel = label; }
    // Role 5: receives the lines of a dropped file.
    void SetLinesHandler(std::function<void(const std::vector<std::string>&)> f) {
        m_linesHandler = std::move(f);
    }
    // Roles 3, 4 and 6: told the text of a dropped file.
    void SetTextHandler(std::function<void(const std::string&)> f) { m_textHandler = std::move(f); }
    // Roles 3 and 4: the context menu shown on a right click.
    void SetContextMenuProvider(std::function<void(const QPoint&)> f) { m_menu = std::move(f); }

    // Loads dropped paths as a drop would: a folder among them refuses all
    // with "Directory or hidden file not allowed."; only the first is loaded.
    bool LoadDroppedFiles(const std::vector<std::string>& paths);

    // The last files dropped on the Input and the Output window.
    static std::string s_lastInputFile;
    static std::string s_lastOutputFile;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    int m_role;
    QPointer<CTextRichEdit> m_partner;
    QPointer<QLabel> m_caretLabel;
    std::function<void(const std::vector<std::string>&)> m_linesHandler;
    std::function<void(const std::string&)> m_textHandler;
    std::function<void(const QPoint&)> m_menu;
};

// The file a drop of paths loads: the first, unless any is a folder or a
// hidden file ("Directory or hidden file not allowed."). The last file
// dropped on the Input or Output window is remembered.
bool TakeDroppedPath(const std::vector<std::string>& paths, std::string& path);

// Reads a text file line by line; "Failed to read the file: " + path when it
// cannot be opened.
bool LoadTextFile(const std::string& path, std::vector<std::string>& lines);
