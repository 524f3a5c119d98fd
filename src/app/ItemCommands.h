// The commands on the file items of the current basket and on the text buffer, the file list's clicks, keys and header clicks, and the edit commands of the focused window.
#pragma once

class CMainFrame;

class CItemCommands {
public:
    explicit CItemCommands(CMainFrame& frame);
    ~CItemCommands();
    CItemCommands(const CItemCommands&) = delete;
    CItemCommands& operator=(const CItemCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

private:
    CMainFrame& m_frame;
};
