// "Account Properties": host, user and password of one account, whether an
// FTP connection to it is open (its last activity and idle time), connect
// and disconnect, and the account's bookmarks.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "model/Account.h"

class CProgramData;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

class CAccountPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    CAccountPropertiesDlg(const CHost& account, CProgramData& data, QWidget* parent = nullptr);

    CHost m_host;  // the dialog's copy; read after OK
    std::string m_strHost, m_strUser, m_strPassword, m_strBookmark;
    std::string m_strStartHost, m_strStartUser;

    // Told when the account's status changes (6 connected, 4 disconnected)
    // so that the account tree shows it at once.
    std::function<void(int status)> onStatus;

    void OnConnect();
    void OnDisconnect();
    QString StatusText() const;

public slots:
    void accept() override;

private:
    void ShowPage(int page);
    void ShowConnectButton();

    CProgramData& m_data;
    QTabWidget* m_tabs = nullptr;   // 1947
    QLineEdit* m_pHost = nullptr;   // 1626
    QLineEdit* m_pUser = nullptr;   // 1693
    QLineEdit* m_pPassword = nullptr;  // 1642
    QLabel* m_status = nullptr;     // 1937
    QPushButton* m_connect = nullptr;     // 1419
    QPushButton* m_disconnect = nullptr;  // 1420
    QTreeWidget* m_bookmarks = nullptr;   // 1718
};
