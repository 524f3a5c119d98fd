// The small Select by Icon palette of the "Pin" command: one click marks the
// selected items with an icon or clears their mark, or selects the items of
// the list by icon, by local status or by a piece of their name. It only
// records the choice; the caller applies it.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

class CSelectByIconDlg : public QDialog {
    Q_OBJECT
public:
    CSelectByIconDlg(int x, int y, QWidget* parent = nullptr);

    std::string m_strName;
    int m_nIconCode = 0;
    bool m_bMark = true;

private:
    void OnMarkOrSelectIcon(bool mark, int code);
    void OnSelect();

    QLineEdit* m_name;  // 1614
};
