// The shared small dialogs: the one-line text prompt, the list selection and
// the message box sized to its text.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTreeWidget;
class QPlainTextEdit;

// The program's message box and question: a message box whose text takes
// the width the screen gives before it wraps, and that stays on the screen
// with its buttons: a text taller than the screen scrolls inside the box.
class CMessageBox : public QMessageBox {
    Q_OBJECT
public:
    CMessageBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons,
                QWidget* parent = nullptr);
    // The area the text scrolls in.
    QScrollArea* TextArea() const { return m_area; }

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    // Page Up and Page Down scroll a text that scrolls.
    void keyPressEvent(QKeyEvent* e) override;

private:
    void FitText();
    QScrollArea* m_area = nullptr;
    QLabel* m_text = nullptr;
    bool m_fitting = false;
};

// The Open File dialog: the chosen full path, or empty when cancelled.
QString BrowseForFile(const QString& title, const QString& initialFolder, QWidget* parent = nullptr);
// The Save dialog for a file to be written: a new name may be given; it asks
// nothing about an existing file (the caller does).
QString BrowseForFileToWrite(const QString& title, const QString& initialFolder, QWidget* parent = nullptr);

class CProgramData;
// The program data of the open main window (null until it opens); a text
// prompt whose button browses remote folders browses on its connection.
extern CProgramData* g_pProgramData;

class CTextPromptDlg : public QDialog {
    Q_OBJECT
public:
    CTextPromptDlg(const QString& title, const QString& prompt, QWidget* parent = nullptr);
    CTextPromptDlg(const QString& title, const QString& prompt, bool showBrowse,
                   QWidget* parent = nullptr);
    CTextPromptDlg(const QString& title, const QString& prompt, const QString& initial,
                   QWidget* parent = nullptr);
    CTextPromptDlg(const QString& title, const QString& prompt, const QString& initial,
                   int browseArg, bool showBrowse, int browseMode, const QString& initialFolder,
                   QWidget* parent = nullptr);

    // The answer after Accepted.
    QString Text() const { return m_text; }
    std::string TextBytes() const;
    QLineEdit* Edit() const { return m_edit; }
    QPushButton* BrowseButton() const { return m_browse; }

    // Browse mode 1 asks this for a remote folder (argument: the browse argument).
    static std::function<std::optional<std::string>(int)> s_remoteFolderChooser;
    // Replaces the file and folder pickers (tests).
    static std::function<QString(int mode)> s_pickerOverride;

    // Runs the prompt modally; the answer, or nullopt on Cancel.
    static std::optional<std::string> Ask(const std::string& title, const std::string& prompt,
                                          const std::string& initial, QWidget* parent = nullptr);

public slots:
    void accept() override;
    void OnBrowse();

private:
    void Build();
    QString m_title, m_prompt, m_text, m_initialFolder;
    int m_browseArg = 0;
    bool m_showBrowse = false;
    int m_browseMode = 0;
    QLabel* m_label = nullptr;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_browse = nullptr;
};

// One row of the selection list.
struct SelectRow {
    std::vector<std::string> cells;
    int image = -1;
};

// What a selection list shows: columns (title, share of the width; a
// negative share means the width minus that many pixels), the icon set of
// the rows, and the rows.
struct SelectSpec {
    std::vector<std::pair<std::string, double>> columns;
    std::string iconSet;
    std::vector<SelectRow> rows;
};

class CProgramData;

// The rows of a selection list of the given kind from the program data:
// 0 the libraries, 1 none, 2 the items of the current basket, 3 the baskets
// of the current session, 4 the session boxes.
SelectSpec BuildSelectSpec(int kind, const CProgramData& data);

class CSelectDlg : public QDialog {
    Q_OBJECT
public:
    // The list of a kind for the program data (value 1 and 2 are the caller's).
    CSelectDlg(int kind, const CProgramData* data, int value1, int value2, QWidget* parent = nullptr);
    // Kinds: 0 libraries, 1 key-lookup libraries, 2 file items, 3 baskets,
    // 4 session boxes, 5 saved folders (deletable).
    CSelectDlg(int kind, SelectSpec layout, QWidget* parent = nullptr);
    // Kind 5: the saved folders of the source; the chosen and the deleted
    // entries go back through it.
    CSelectDlg(std::vector<std::string>* folders, QWidget* parent = nullptr);

    int Kind() const { return m_kind; }
    // The selected rows, in list order, after Accepted.
    const std::vector<int>& Selected() const { return m_selected; }
    // Kind 5: the chosen folders after Accepted.
    std::vector<std::string> ChosenFolders() const;
    QTreeWidget* List() const { return m_list; }

public slots:
    void accept() override;
    void OnSelectAll();
    void OnDelete();

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Build(const SelectSpec& layout);
    void SyncSelection();
    int m_kind;
    std::vector<std::string>* m_folders = nullptr;
    std::vector<int> m_selected;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_delete = nullptr;
};

class CMessageTextDlg : public QDialog {
    Q_OBJECT
public:
    CMessageTextDlg(const QString& text, int x, int y, QWidget* parent = nullptr);
    QPlainTextEdit* TextBox() const { return m_textBox; }
    // Moves the box beside the list that shows row (both in screen
    // coordinates), right of it where the screen has room, else left of it,
    // else below the row: it never covers the row it tells about.
    void PlaceBeside(const QRect& row, const QRect& list);

private:
    QPlainTextEdit* m_textBox = nullptr;
};
