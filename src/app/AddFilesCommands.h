// Adding files to the current basket: the file dialog, dropped files and folders with the add-files worker, its progress and stop, and the Directory Usage dialog.
#pragma once

class CMainFrame;

class CAddFilesCommands {
public:
    explicit CAddFilesCommands(CMainFrame& frame);
    ~CAddFilesCommands();
    CAddFilesCommands(const CAddFilesCommands&) = delete;
    CAddFilesCommands& operator=(const CAddFilesCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

private:
    CMainFrame& m_frame;
};
