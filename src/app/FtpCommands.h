// The FTP commands of the main window: transfer starters and their workers, the remote status check, remote builds, terminals, remote browsing into the basket and the folder repairs from the Output window.
#pragma once

class CMainFrame;

class CFtpCommands {
public:
    explicit CFtpCommands(CMainFrame& frame);
    ~CFtpCommands();
    CFtpCommands(const CFtpCommands&) = delete;
    CFtpCommands& operator=(const CFtpCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

private:
    CMainFrame& m_frame;
};
