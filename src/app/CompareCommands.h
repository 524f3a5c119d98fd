// The comparison commands of the main window: the diff windows, the File Diff Manager, the two-line comparison and the master palette.
#pragma once

#include <array>
#include <memory>

class CMainFrame;
class CFileDiffDlg;
class CFileDiffManagerDlg;
class CMasterFileDlg;

class CCompareCommands {
public:
    explicit CCompareCommands(CMainFrame& frame);
    ~CCompareCommands();
    CCompareCommands(const CCompareCommands&) = delete;
    CCompareCommands& operator=(const CCompareCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

    // The three diff windows (0 Input/Output, 1 two files, 2 three files)
    // and the File Diff Manager; created hidden with the frame.
    CFileDiffDlg& DiffWindow(int window) { return *m_windows[window]; }
    CFileDiffManagerDlg& Manager() { return *m_manager; }
    CMasterFileDlg& Palette() { return *m_palette; }

    // Saves the master palette to a file that becomes a file item of the
    // current basket.
    void SaveMasterPaletteToFile();

    // Stops a diff being built and waits up to ms for it (the close); true
    // when none runs any more.
    bool StopDiff(int ms);

    // The two cross listings of the File Diff Manager's Cross page.
    void CrossSelectedFiles();
    void CrossInputOutput();

private:
    void ShowManager();
    CFileDiffDlg* LastActiveWindow();

    CMainFrame& m_frame;
    std::array<CFileDiffDlg*, 3> m_windows{};
    CFileDiffManagerDlg* m_manager = nullptr;
    CMasterFileDlg* m_palette = nullptr;
};
