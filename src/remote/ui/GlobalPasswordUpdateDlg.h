// "Global Password Update": one new password for chosen accounts of one user
// name across the whole vault.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "remote/AccountRules.h"

class CProgramData;
class QComboBox;
class QLabel;
class QLineEdit;
class QTreeWidget;

class CGlobalPasswordUpdateDlg : public QDialog {
    Q_OBJECT
public:
    CGlobalPasswordUpdateDlg(CProgramData& data, QWidget* parent = nullptr);

    std::string m_strPassword;
    void FillMachineList(const std::string& user);
    void OnUpdate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnSelectionChanged();

    CProgramData& m_data;
    std::vector<MachineRow> m_rows;
    QComboBox* m_users = nullptr;     // 1536
    QTreeWidget* m_list = nullptr;    // 1717
    QLabel* m_count = nullptr;        // 1866
    QLineEdit* m_pPassword = nullptr; // 1642
};
