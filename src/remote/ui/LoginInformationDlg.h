// "Login Information": asks for the host, user and password of an account.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

class CLoginInformationDlg : public QDialog {
    Q_OBJECT
public:
    CLoginInformationDlg(const std::string& host, const std::string& user,
                         const std::string& password, bool editable, QWidget* parent = nullptr);

    std::string m_strHost;
    std::string m_strUser;
    std::string m_strPassword;

public slots:
    void accept() override;  // OnOK: checks host and user, stays open on a refusal

private:
    QLineEdit* m_pHost = nullptr;      // 1626
    QLineEdit* m_pUser = nullptr;      // 1693
    QLineEdit* m_pPassword = nullptr;  // 1642
};
