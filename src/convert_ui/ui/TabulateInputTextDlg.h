// "Tabulate Input Text" and "Write SQL code": the parameters of the table
// and SQL tools, read from the first two lines of the Input text; and the
// "SQL Preview" that shows the statement of the first data line before the
// SQL is written.
#pragma once

#include <QDialog>
#include <string>

#include "convert/Tabulate.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class CTabulateInputTextDlg : public QDialog {
    Q_OBJECT
public:
    // kind 0 tabulate, 1 write SQL.
    CTabulateInputTextDlg(int kind, const std::string& firstLine, const std::string& secondLine,
                          QWidget* parent = nullptr);

    // What the tool runs with after OK.
    const TabulateParams& Params() const { return m_params; }

    QTreeWidget* List() const { return m_list; }
    QLineEdit* ColumnSel() const { return m_columnSel; }
    QLineEdit* WhereSel() const { return m_whereSel; }

    // Forgets the values remembered for the run (tests).
    static void ResetRemembered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillColumnList();
    void FillSelectionAll();
    void ApplyLayout();
    bool Validate();
    void RunSql(int mode);
    void OnListClicked(QTreeWidgetItem* item);

    int m_kind;
    std::string m_firstLine, m_secondLine;
    bool m_columnTarget = true;
    TabulateParams m_params;
    QCheckBox* m_selectAll = nullptr;
    QCheckBox* m_transpose = nullptr;
    QLineEdit* m_table = nullptr;
    QLineEdit* m_columnSel = nullptr;
    QLineEdit* m_whereSel = nullptr;
    QLineEdit* m_delimiter = nullptr;
    QLineEdit* m_gutter = nullptr;
    QTreeWidget* m_list = nullptr;
    QWidget* m_lower = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_insert = nullptr;
    QPushButton* m_delete = nullptr;
};

class CSqlPreviewDlg : public QDialog {
    Q_OBJECT
public:
    CSqlPreviewDlg(const std::string& dataLine, const TabulateParams& params, QWidget* parent = nullptr);
    QPlainTextEdit* Box() const { return m_box; }

private:
    QPlainTextEdit* m_box = nullptr;
};
