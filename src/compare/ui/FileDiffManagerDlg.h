// The "File Diff Manager": starts the three kinds of diff, lists the diffs
// made so far, and keeps the comparison options.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string>

class CProgramData;
class CFileDiffDlg;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

class CFileDiffManagerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CFileDiffManagerDlg(QWidget* parent = nullptr);

    void SetProgramData(CProgramData* data) { m_data = data; }
    // The three diff windows it fills and shows.
    void SetDiffWindows(const std::array<CFileDiffDlg*, 3>& windows) { m_windows = windows; }
    // The master palette window the manager shows and hides.
    void SetPalette(QDialog* palette) { m_palette = palette; }
    void ShowPalette();

    void RefreshOptions();
    void RunInputOutputDiff();
    void RunQuickDiff();
    void RunThreeWayDiff();
    void AddDiffInstance(const std::string& name, int icon, int position);
    void ShowSelectedInstance();
    bool Reset();
    void OnAddIgnoreText();
    void OnDeleteIgnoreText();
    void ShowOptionsTab();
    // The two cross listings of the Cross page (the main window does them).
    void SetCrossActions(std::function<void()> files, std::function<void()> windows) {
        m_crossFiles = std::move(files);
        m_crossWindows = std::move(windows);
    }

    QListWidget* Instances() const { return m_instances; }

protected:
    void done(int r) override;

private:
    void ShowDiffWindow(int window);
    void HideAll();
    std::vector<std::string> SelectedPaths() const;

    CProgramData* m_data = nullptr;
    std::function<void()> m_crossFiles, m_crossWindows;
    std::array<CFileDiffDlg*, 3> m_windows{};
    QDialog* m_palette = nullptr;
    QTabWidget* m_tabs;
    QListWidget* m_instances;
    QCheckBox* m_ignoreCase;
    QCheckBox* m_ignoreText;
    QCheckBox* m_trail;
    QLineEdit* m_edit;
    QComboBox* m_combo;
    QPushButton* m_add;
    QPushButton* m_delete;
};
