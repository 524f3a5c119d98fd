// "Directory Usage": when a folder tree is added, how the side that is not
// known is filled (derived from the known paths below a root, or one folder
// for all files), whether the tree becomes baskets or one flat list, and
// which files to keep or exclude by name. The dialog only collects these
// choices; the caller reads its members after OK.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class CProgramData;

class CDirectoryUsageDlg : public QDialog {
    Q_OBJECT
public:
    // mode 1: local files are added (the remote side is asked);
    // mode 2: remote files are added (the local side is asked).
    CDirectoryUsageDlg(CProgramData* data, int mode, const std::string& remoteDir,
                       const std::string& localDir, QWidget* parent = nullptr);

    int m_bDeriveRemote = 1;
    int m_bDeriveLocal = 1;
    std::string m_strLocalDir;
    std::string m_strRemoteDir;
    int m_bAutoCreateBaskets = 1;
    std::string m_strKeep = "*.*";
    std::string m_strExclude;

public slots:
    // OK: an empty directory is questioned first.
    void accept() override;

private:
    void OnDeriveRemote();
    void OnDeriveLocal();
    void OnAutoCreateBaskets();
    void OnFlattenTree();
    void OnBrowseRemoteRoot();
    void OnBrowseLocalRoot();
    void UpdateTreeChoice();

    CProgramData* m_data;
    int m_mode;
    QRadioButton* m_flatten;       // 1501
    QLabel* m_message;             // 1890
    QLabel* m_value;               // 1907
    QLabel* m_locale;              // 1906
    QLineEdit* m_exclude;          // 1618
    QLineEdit* m_keep;             // 1617
    QRadioButton* m_autoCreate;    // 1500
    QLabel* m_remLabel;            // 1925
    QLabel* m_locLabel;            // 1905
    QLineEdit* m_remoteEdit;       // 1655
    QLineEdit* m_localEdit;        // 1629
    QPushButton* m_browseLocal;    // 1389
    QPushButton* m_browseRemote;   // 1403
    QCheckBox* m_deriveLocal;      // 1502
    QCheckBox* m_deriveRemote;     // 1503
};
