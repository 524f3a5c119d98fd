// The "Program Options" dialog: a tree of categories on the left, the
// controls of the selected page and its comment on the right. The values
// are edited on working copies; OK checks them and only then writes them to
// the program's options; Cancel leaves every option as it was.
#pragma once

#include <QDialog>
#include <functional>
#include <map>

#include "model/ProgramOptionsRules.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

class CProgramOptionsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CProgramOptionsDlg(QWidget* parent = nullptr);

    // The page code of the current tree item.
    int CurrentCode() const;
    void SelectCode(int code);
    const OptionsDraft& Draft() const { return m_draft; }
    QWidget* Control(int id) const;

    // "Map Keystrokes" runs this (the keyboard editor on the application's keys).
    static std::function<void(QWidget*)> s_mapKeystrokes;
    // Runs the program prompt of ">>" (tests drive it without a blocking exec()).
    static std::function<int(QDialog&)> s_runModal;

public slots:
    void accept() override;

private:
    void Build();
    void ShowPage(int code);
    void EnableAutoUpdateControls();
    void BrowseProgram(bool editor);

    OptionsDraft m_draft;
    QTreeWidget* m_tree = nullptr;
    QLabel* m_comment = nullptr;
    std::map<int, QWidget*> m_controls;
    std::map<int, QTreeWidgetItem*> m_items;
    QCheckBox* m_autoUpdate = nullptr;
    QCheckBox* m_basket = nullptr;
    QLineEdit* m_interval = nullptr;
    QLineEdit* m_editor = nullptr;
    QLineEdit* m_telnet = nullptr;
    QLineEdit* m_limit = nullptr;
    QPlainTextEdit* m_binExt = nullptr;
    QPlainTextEdit* m_txtOpn = nullptr;
    QRadioButton* m_interactive = nullptr;
    QRadioButton* m_batch = nullptr;
};
