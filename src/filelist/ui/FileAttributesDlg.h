// "File Attributes": host, user, password and the two folders of the
// selected items of the current basket, edited in one go. A box shows a
// value only when every selected item agrees on it; a box left empty leaves
// each item's own value. Cancel changes nothing.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class CProgramData;

class CFileAttributesDlg : public QDialog {
    Q_OBJECT
public:
    // Takes the current basket's selection of the program data.
    explicit CFileAttributesDlg(CProgramData* data, QWidget* parent = nullptr);

    std::string m_strHost;
    std::string m_strUser;
    std::string m_strPassword;
    std::string m_strRemoteDir;
    std::string m_strLocalDir;

public slots:
    void accept() override;

private:
    void OnBrowseRemoteDirectory();
    void OnBrowseLocalDirectory();
    void ShowMembers(bool withLocal);
    // A host or user that names another account than the password box's
    // fills the box with that account's password from the vault.
    void RefillPasswordForAccount();

    CProgramData* m_data;
    int m_p, m_s, m_b;
    std::vector<int> m_selection;
    // The account the password box belongs to.
    std::string m_strPasswordHost, m_strPasswordUser;
    QLineEdit* m_host;       // 1626
    QLineEdit* m_user;       // 1693
    QLineEdit* m_password;   // 1642
    QLineEdit* m_remote;     // 1587
    QLineEdit* m_local;      // 1583
    QPushButton* m_browseRemote;  // 1586
    QPushButton* m_browseLocal;   // 1582
};
