// The comparison commands of the main window: the diff windows, the File Diff Manager, the two-line comparison and the master palette.
#pragma once

class CMainFrame;

class CCompareCommands {
public:
    explicit CCompareCommands(CMainFrame& frame);
    ~CCompareCommands();
    CCompareCommands(const CCompareCommands&) = delete;
    CCompareCommands& operator=(const CCompareCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

private:
    CMainFrame& m_frame;
};
