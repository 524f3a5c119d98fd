// The "File Diff Manager": starts the three kinds of diff, lists the diffs
// made so far, and keeps the comparison options.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
    ~CFileDiffManagerDlg() override;

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

    // A diff is built on a worker, one at a time, while the windows go on:
    // the run operations refuse another while one is built. "Stop all
    // threads" raises its break flag; the result of a diff that ends is
    // shown as the run operation would have shown it.
    bool DiffRunning() const { return m_job != nullptr; }
    // Raises the diff's break flag and waits up to ms for its worker to
    // end (the window's close); true when none runs any more.
    bool StopDiff(int ms);
    // Whether a diff's worker still runs, also one let go by a manager
    // that was destroyed (the program's end does not wait for it).
    static bool DiffWorkerLeft();

protected:
    void done(int r) override;

private:
    struct DiffJob;
    void StartDiff(int window, const std::vector<std::string>& paths);
    void EndDiff(std::shared_ptr<DiffJob> job);
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
    std::shared_ptr<DiffJob> m_job;  // the diff its worker builds
    std::thread m_worker;
};
