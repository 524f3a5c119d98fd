// "Sort Properties": the order of the next sort. Each click writes its
// program-wide flag at once, so Cancel keeps what was clicked; only OK sorts.
#pragma once

#include <QDialog>

class QCheckBox;
class QRadioButton;

class CSortPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // Mode 0 the text sort; 1 the item sorts (no duplicate removal).
    explicit CSortPropertiesDlg(int mode, QWidget* parent = nullptr);

    QCheckBox* RemoveDuplicity() const { return m_dups; }
    QCheckBox* MatchCase() const { return m_case; }
    QRadioButton* Ascending() const { return m_asc; }
    QRadioButton* Descending() const { return m_desc; }

private:
    QCheckBox* m_dups = nullptr;
    QCheckBox* m_case = nullptr;
    QRadioButton* m_asc = nullptr;
    QRadioButton* m_desc = nullptr;
};
