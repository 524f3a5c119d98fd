// "Report": the report columns and switches, and the two reports made from
// them: the column listing of the selected file items (tab "Files") and the
// comparison of the selected baskets of the session (tab "Baskets"). The
// dialog edits the settings in place; Close only hides it. The window that
// owns it says where the report goes and which baskets are selected.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "filelist/BasketComparison.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;
class QTreeWidget;
class CProgramData;
class CSessionReport;

class CReportDlg : public QDialog {
    Q_OBJECT
public:
    explicit CReportDlg(CProgramData* data, QWidget* parent = nullptr);

    // The selected rows of the main window's basket list, ascending.
    std::function<std::vector<int>()> selectedBaskets;
    // Shows the report text (the Input window, and the clipboard when asked).
    std::function<void(const std::string&)> showReport;
    // "Options>>": shows the comparison options of the File Diff Manager.
    std::function<void()> showDiffOptions;

    // Shows the settings again (default columns when there are none).
    void Refresh();
    // "Show Add/Delete trail" shows the option again (it is shared with the
    // File Diff Manager).
    void ShowTrail();
    // The report button.
    void MakeReport();
    int SelectedRow() const;

public slots:
    void accept() override;
    void reject() override;

private:
    CSessionReport& Report();
    void ShowTab(int index);
    void FillRow(int row);
    void SelectRow(int row);
    void OnModify();
    void OnMove(int delta);
    void OnIncluded(int column);
    void OnLocalTree();
    void OnRemoteTree();
    void OnDiffCommonFiles();
    void UpdateDiffControls();

    CProgramData* m_data;
    CBasketComparison m_work;
    QTabBar* m_tabs;              // 1808
    QTreeWidget* m_list;          // 1726
    QLineEdit* m_gutter;          // 1625
    QCheckBox* m_copy;            // 1469
    QCheckBox* m_dump;            // 1473
    QRadioButton* m_localTree;    // 1809
    QRadioButton* m_remoteTree;   // 1810
    QCheckBox* m_trail;           // 1509
    QCheckBox* m_diffCommon;      // 1467
    QCheckBox* m_diffDetail;      // 1472
    QPushButton* m_options;       // 1364
    QWidget* m_filesGroup;
    QWidget* m_basketsGroup;
    QStackedWidget* m_groups;
};
