// Adding files to the current basket: the file dialog, dropped files and folders with the add-files worker, its progress and stop, and the Directory Usage dialog.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "filelist/AddDroppedFiles.h"
#include "filelist/AddFileItems.h"

class CMainFrame;
class CDragAndDropDlg;
class CDirectoryUsageDlg;

class CAddFilesCommands : public IDndStatusView {
public:
    explicit CAddFilesCommands(CMainFrame& frame);
    ~CAddFilesCommands() override;
    CAddFilesCommands(const CAddFilesCommands&) = delete;
    CAddFilesCommands& operator=(const CAddFilesCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

    // Files and folders dropped on the file-item list (local paths, whole).
    // A drop holding a folder first asks the Directory Usage question; the
    // worker starts after its OK. False when nothing is going to be added.
    bool AddDroppedFiles(const std::vector<std::string>& paths);
    // "Add local files" (F3).
    void OnAddLocalFiles();

    // True from the start of a drop until its end line.
    bool IsBusy() const { return m_busy; }
    CDragAndDropDlg* DragAndDropDialog() const { return m_dnd; }
    // The Directory Usage question of a drop while it waits for its answer.
    CDirectoryUsageDlg* DirectoryUsageDialog() const;

    // The file picker of "Add local files": the chosen paths, or nothing
    // when cancelled. Unset, the standard open-file dialog is used.
    static std::function<std::optional<std::vector<std::string>>()> s_pickLocalFiles;
    // Told on the GUI thread after each batch of a drop went into the basket
    // (tests and the benchmark watch a run through it).
    static std::function<void()> s_batchApplied;

    // IDndStatusView
    void HideDragAndDrop() override;
    void ResetDndProgress() override;

private:
    void StartWorker(const std::vector<std::string>& paths, const DropChoices& choices);
    void OnBatch(const DropBatch& batch);
    void OnWorkerDone(const AddFilesOutcome& outcome);
    void FinishAddingDroppedFiles(const AddFilesOutcome& outcome);
    void RefreshLists();
    void ScheduleRefresh();
    void ShowRows(int p, int s, int b, bool withBaskets);
    void SelectFileRows(const std::vector<int>& rows);
    void Tick();
    void Post(std::function<void()> task);

    CMainFrame& m_frame;
    QObject m_context;  // queued calls from the worker land here
    CDragAndDropDlg* m_dnd = nullptr;
    QPointer<CDirectoryUsageDlg> m_usage;
    std::thread m_worker;
    std::unique_ptr<CDropInserter> m_inserter;
    std::string m_remoteRoot;
    bool m_autoBasket = false;
    bool m_busy = false;
    QTimer m_ticker;
    QElapsedTimer m_clock;
    QTimer m_refresh;
    QElapsedTimer m_lastRefresh;
};
