// The file commands of the file-item list: new, duplicate, rename and delete files on disk, and renaming selected files to new names.
#pragma once

class CMainFrame;

class CFileCommands {
public:
    explicit CFileCommands(CMainFrame& frame);
    ~CFileCommands();
    CFileCommands(const CFileCommands&) = delete;
    CFileCommands& operator=(const CFileCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

private:
    CMainFrame& m_frame;
};
