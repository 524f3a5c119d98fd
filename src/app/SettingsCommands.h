// The settings commands of the main window: the Program Options dialog, the Accel Editor, the manual and the update check.
#pragma once

class CMainFrame;

class CSettingsCommands {
public:
    explicit CSettingsCommands(CMainFrame& frame);
    ~CSettingsCommands();
    CSettingsCommands(const CSettingsCommands&) = delete;
    CSettingsCommands& operator=(const CSettingsCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

private:
    CMainFrame& m_frame;
};
