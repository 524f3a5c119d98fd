// The remote commands of the main window: the remote directory browser, remote create and delete, recursive collection, terminals and the account and session dialogs.
#pragma once

#include <functional>

class CMainFrame;

class CRemoteCommands {
public:
    explicit CRemoteCommands(CMainFrame& frame);
    ~CRemoteCommands();
    CRemoteCommands(const CRemoteCommands&) = delete;
    CRemoteCommands& operator=(const CRemoteCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

    // "Telnet to remote system": the current connection account, or with
    // Ctrl the host chooser first.
    void OnTelnetToRemoteSystem();
    // "Browse remote system": the browse step, or with Ctrl the host chooser first.
    void OnBrowseRemoteSystem();
    // Adds the files picked in the remote browser to the current basket;
    // with selectSessionHost the current session's account is used.
    void AddBrowsedRemoteFiles(bool selectSessionHost);
    // The two host choosers at a screen point.
    void TelnetToHost(int x, int y);
    bool BrowseRemoteHostChooser(int x, int y);

    // Whether Ctrl is held (tests replace it).
    static std::function<bool()> s_ctrlHeld;

private:
    void ChooserPoint(int& x, int& y) const;
    CMainFrame& m_frame;
};
