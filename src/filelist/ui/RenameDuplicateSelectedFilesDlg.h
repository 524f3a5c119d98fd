// "Rename/Duplicate Selected Files": new names for the selected items of the
// current basket by one of five schemes, shown for review (the output
// folder and single names may be changed), checked, and then used to rename
// the local files or to duplicate them. The window that owns the file list
// provides the selected items and the two file operations.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "model/FileItem.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

class CRenameDuplicateSelectedFilesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CRenameDuplicateSelectedFilesDlg(QWidget* parent = nullptr);

    // The selected items of the current basket, in selection order.
    std::function<std::vector<CFileItem>()> selectedItems;
    // Renames / duplicates the selected files to the given paths.
    std::function<void(const std::vector<std::string>&)> renameFiles;
    std::function<void(const std::vector<std::string>&)> duplicateFiles;

    const std::vector<std::string>& GeneratedPaths() const { return m_paths; }
    bool PreviewValid() const { return m_bPreviewValid; }
    // Chooses a scheme (0-4) as a click on its tab does.
    void SelectScheme(int index);

public slots:
    void accept() override;
    void reject() override;

private:
    void OnScheme(int button);
    void FillList();
    void OnBrowseOutput();
    void OnChangeOutput();
    void OnRowDoubleClicked(QTreeWidgetItem* row);
    void OnRenameOrDuplicate(bool rename);
    std::vector<CFileItem> Items() const;

    std::vector<std::string> m_paths;
    bool m_bPreviewValid = false;
    QListWidget* m_tabs;         // 1950
    QTreeWidget* m_list;         // 1727
    QLineEdit* m_output;         // 1640
    QLineEdit* m_commonName;     // 1605
    QLineEdit* m_extension;      // 1615
    QLineEdit* m_replacement;    // 1637
    QLabel* m_inputLabel;        // 1908
    QLabel* m_commonLabel;       // 1888
    QLabel* m_comment;           // 1887
    std::vector<std::vector<QWidget*>> m_schemeControls;
};
