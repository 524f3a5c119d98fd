// The remote directory browser: one folder of an open connection, walked,
// filtered and picked from; remote create and delete; the recursive
// collection of a folder's files. Its rules live in CRemoteBrowser.
#pragma once

#include <QDialog>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "remote/RemoteBrowser.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

class CRemoteBrowserDlg : public QDialog {
    Q_OBJECT
public:
    CRemoteBrowserDlg(const std::string& pattern, const CHost& account, QWidget* parent = nullptr);
    ~CRemoteBrowserDlg() override;

    // Looks for the open connection and shows the first folder; false when
    // the dialog must not be shown.
    bool Initialize();

    CRemoteBrowser& Browser() { return m_browser; }
    // True while a collection walks the remote tree.
    bool Collecting() const { return m_collecting; }
    // True while the walk or a browser step uses the connection.
    bool Busy() const { return m_collecting || m_browser.Busy(); }
    // The selected rows of the list, ascending.
    std::vector<int> SelectedRows() const;

    // Handlers (also reached by the tests).
    void OnSetDirectory();
    void OnUp();
    void OnCreateDirectory();
    void OnDelete();
    void OnAddRecursive();
    void OnRemoveBookmark();

public slots:
    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Sync();
    void EnableBrowserControls(bool enable);
    // cut: the folders whose listings the server cut short.
    void FinishCollect(int end, std::vector<CDirEntry> entries, std::vector<std::string> cut);
    void StopCollect();

    // Where the walk's end is posted; emptied when the dialog goes.
    struct CollectReport {
        CRemoteBrowserDlg* dialog = nullptr;
    };
    std::shared_ptr<CollectReport> m_report = std::make_shared<CollectReport>(CollectReport{this});

    CRemoteBrowser m_browser;
    bool m_collecting = false;
    bool m_keepTree = false;
    bool m_cancelled = false;
    QListWidget* m_list = nullptr;      // 1849
    QComboBox* m_dirCombo = nullptr;    // 1460
    QComboBox* m_bookCombo = nullptr;   // 1461
    QCheckBox* m_saveHistory = nullptr; // 1504
    QLineEdit* m_keep = nullptr;        // 1617
    QLineEdit* m_exclude = nullptr;     // 1618
    QLineEdit* m_status = nullptr;      // 1635
    QPushButton* m_ok = nullptr;
    std::vector<QPushButton*> m_buttons;  // 1332, 1333, 1431, 1459, 1331
};
