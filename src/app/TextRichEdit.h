// The program's multi-line text box. Its role decides where a dropped file
// goes, which caret label it feeds and which text window it stands for:
// 0 the Message Window, 1 the main Input box, 2 the main Output box, 3 and 4
// the two boxes of one dialog, 5 the master palette, 6 another dialog's box.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextDocument>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>



// A plain-text document that holds only the first lines of a long text, laid
// out and ready to show; the remaining text (starting with its line break)
// travels with it and is filled in by the box that takes the document.
class CHeadTextDocument : public QTextDocument {
    Q_OBJECT
public:
    explicit CHeadTextDocument(QObject* parent = nullptr) : QTextDocument(parent) {}
    // The whole text; the part from restFrom on is not in the document yet.
    QString rest;
    qsizetype restFrom = 0;
};

// Builds the document of a CR LF or LF text for a box: the first headLines
// lines are put in at once, the rest is left for the box. Usable on any
// thread (the document is no widget); move it to the box's thread after.
CHeadTextDocument* MakeHeadDocument(const std::string& text, int headLines = 2000);

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
    // Shows a document built by MakeHeadDocument (the box deletes its old
    // one) and fills in the rest of its text in short steps on the window
    // thread, so that the window keeps answering. While it fills, the box is
    // read-only and GetText already returns the whole text; writing a new
    // text or a change made by someone else stops the filling.
    void TakeDocument(CHeadTextDocument* document);
    bool IsFilling() const { return m_fillPos >= 0; }
    // Puts the rest of the text in at once.
    void FinishFilling();

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
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void FillStep();
    void StopFilling();
    void AppendRest(qsizetype upTo);

    // The text still to be put in the box from m_fillPos on; -1 when none.
    QString m_rest;
    qsizetype m_fillPos = -1;
    bool m_appending = false;
    bool m_wasReadOnly = false;
    QTimer m_fillTimer;
    QPointer<QTextDocument> m_fillDoc;
    QMetaObject::Connection m_fillWatch;
    int m_role;
    QPointer<CTextRichEdit> m_partner;
    QPointer<QLabel> m_caretLabel;
    std::function<void(const std::vector<std::string>&)> m_linesHandler;
    std::function<void(const std::string&)> m_textHandler;
    std::function<void(const QPoint&)> m_menu;
};

// Reads a text file line by line; "Failed to read the file: " + path when it
// cannot be opened.
bool LoadTextFile(const std::string& path, std::vector<std::string>& lines);
