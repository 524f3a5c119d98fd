// "Session Attributes": the current session's host, user, password and
// default folders, and where its work file lies.
#pragma once

#include <QDialog>
#include <string>

#include "remote/AccountRules.h"

class CProgramData;
class QLineEdit;

class CSessionAttributesDlg : public QDialog {
    Q_OBJECT
public:
    CSessionAttributesDlg(CProgramData& data, QWidget* parent = nullptr);

    std::string m_strFileName, m_strLocation, m_strHost, m_strUser, m_strPassword, m_strRemoteDir, m_strLocalDir;

    void OnBrowseRemoteDirectory();
    void OnBrowseLocalDirectory();

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyToCurrentAccount();
    void ReloadFromCurrentAccount();
    void FillEdits();

    CProgramData& m_data;
    PasswordRefill m_refill;
    QLineEdit* m_pHost = nullptr;       // 1626
    QLineEdit* m_pUser = nullptr;       // 1693
    QLineEdit* m_pPassword = nullptr;   // 1642
    QLineEdit* m_pRemoteDir = nullptr;  // 1587
    QLineEdit* m_pLocalDir = nullptr;   // 1583
};
