// The FTP commands of the main window: transfer starters and their workers, the remote status check, remote builds, terminals, remote browsing into the basket and the folder repairs from the Output window.
#pragma once

#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/FileItem.h"

class CMainFrame;

class CFtpCommands {
public:
    explicit CFtpCommands(CMainFrame& frame);
    ~CFtpCommands();
    CFtpCommands(const CFtpCommands&) = delete;
    CFtpCommands& operator=(const CFtpCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

    // ---- transfer starters (window thread). Each refuses with "One FTP
    // session is already on..." while FTP is busy and checks the items
    // before its worker starts; true when a worker was started.
    bool StartFtpGetSelected();
    bool StartFtpPutSelected();
    bool StartFtpGetAll();
    bool StartFtpPutAll();
    bool StartManualSyncToLocal();
    bool StartManualSyncToRemote();
    // The one-second timer's sync to remote while auto-sync is on: nobody
    // is asked, and an item changed on the server is never sent (it is
    // named in the Message Window once).
    bool StartAutoSyncToRemote();

    // ---- status and remote work
    void OnGetRemoteStatus();
    void ReportLocalChanges();
    void OnRunBatFile();
    // kind 1: local folders, 2: remote folders of the selected items, one
    // line of the Output window each.
    void FillItemDirsFromOutput(int kind);

    // The check marks of "Stop FTP (Break)", "Auto sync to remote" and the
    // two manual syncs, as the program state has them now.
    void UpdateCommandChecks();

    // The items of one basket that a run takes.
    struct Job {
        int basket;
        std::vector<int> items;
    };

private:
    enum class After { Nothing, Fetched, Sent };
    // Steps 2 to 6 of every starter: the busy refusal, the item check, the
    // Message Window, the claim and the worker on a copy of the data.
    // Unattended: the run of auto-sync, which asks nothing.
    bool StartTransferJobs(bool toRemote, std::vector<Job> jobs, After after, bool unattended = false);
    // Items that lack a folder go on the engine's failure list and the rest
    // go; an item without its host or user asks for the login when the run
    // reaches it, and a run nobody attends leaves such items out. Either way
    // auto-sync goes off, so that it does not try them again every second.
    void NoteIncompleteItems(std::vector<Job>& jobs, bool unattended);
    // Items whose copy on the side the run writes changed since their last
    // transfer (a local edit before a fetch, a change on the server before a
    // send) leave the jobs unless the user lets them go (one question for the
    // run; a send asks about the server's changes inside its run, where its
    // own look adds what it finds to the same question); unattended, they
    // always stay, and so do the files an unattended send could not check.
    // Their rows go into held; into named, each with its reason ("" where a
    // line just said why), those the run's closing list names.
    void HoldItemsThatOverwriteAChange(bool toRemote, std::vector<Job>& jobs, bool unattended,
                                     std::vector<int>& held,
                                     std::vector<std::pair<CFileItem, std::string>>& named);
    void ShowMessageWindow();
    void UpdateProgress();

    CMainFrame& m_frame;
    QTimer m_progressTimer;
    QPointer<QProgressBar> m_progressBar;  // the status bar's "2174"
    // Tasks a worker posts back check this first: the window may be gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // The items auto-sync left last time, named once while they stay so.
    std::vector<std::string> m_autoSyncHeld;
    // The remote files auto-sync left because it could not tell whether
    // they changed on the server, named once: left while its changes stay
    // and it is not switched again.
    std::set<std::string> m_autoSyncUnchecked;
};
