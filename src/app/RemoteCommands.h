// The remote commands of the main window: the remote directory browser, remote create and delete, recursive collection, terminals and the account and session dialogs.
#pragma once

class CMainFrame;

class CRemoteCommands {
public:
    explicit CRemoteCommands(CMainFrame& frame);
    ~CRemoteCommands();
    CRemoteCommands(const CRemoteCommands&) = delete;
    CRemoteCommands& operator=(const CRemoteCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

private:
    CMainFrame& m_frame;
};
