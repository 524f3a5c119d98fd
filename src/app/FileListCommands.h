// The file-list dialogs of the main window: attributes, open and print, copy/cut/paste palettes, Make Same Host, reports, basket comparison, listings, rename/duplicate, concatenation and select by icon.
#pragma once

class CMainFrame;

class CFileListCommands {
public:
    explicit CFileListCommands(CMainFrame& frame);
    ~CFileListCommands();
    CFileListCommands(const CFileListCommands&) = delete;
    CFileListCommands& operator=(const CFileListCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

private:
    CMainFrame& m_frame;
};
