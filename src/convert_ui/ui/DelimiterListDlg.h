// The editor of a library's delimiter list: single delimiters and pairs.
// It works on its own copy; the caller takes Delims() after Accepted.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "model/Library.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTreeWidget;

class CDelimiterListDlg : public QDialog {
public:
    explicit CDelimiterListDlg(const std::vector<CMacroTokenDelim>& delims, QWidget* parent = nullptr);

    const std::vector<CMacroTokenDelim>& Delims() const { return m_delims; }
    QTreeWidget* List() const { return m_list; }

    void SetMode(bool single);
    void OnClickList();
    void OnAdd();
    void OnModify();
    void OnDelete();
    void OnMove(int step);
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void FillRows();
    void SetRowTexts(int row, const CMacroTokenDelim& d);
    std::vector<int> SelectedRows() const;
    void SelectOnly(int row, bool keep = false);
    bool Check(int skipRow);

    std::vector<CMacroTokenDelim> m_delims;  // the rows, in list order
    bool m_bSingleMode = true;
    QTreeWidget* m_list = nullptr;
    QRadioButton* m_radioSingle = nullptr;
    QRadioButton* m_radioPair = nullptr;
    QGroupBox* m_singleGroup = nullptr;
    QGroupBox* m_pairGroup = nullptr;
    QLineEdit* m_single = nullptr;
    QLineEdit* m_begin = nullptr;
    QLineEdit* m_end = nullptr;
};
