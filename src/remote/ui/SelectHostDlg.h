// "Select Host": a drop-down list of accounts and one button ("Telnet" or
// "Browse"); Escape cancels.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;

class CSelectHostDlg : public QDialog {
    Q_OBJECT
public:
    // mode 0 telnet, 1 browse.
    CSelectHostDlg(int x, int y, int selected, const std::vector<std::string>& entries, int mode,
                   QWidget* parent = nullptr);
    int m_nSelected;  // in: the preselected entry; out: the chosen one

private:
    QComboBox* m_combo = nullptr;  // 1535
};
