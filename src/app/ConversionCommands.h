// The conversion and text commands of the main window: the WorkPad and its Input and Output windows, the library runs, find and replace next, and the text tools.
#pragma once

class CMainFrame;

class CConversionCommands {
public:
    explicit CConversionCommands(CMainFrame& frame);
    ~CConversionCommands();
    CConversionCommands(const CConversionCommands&) = delete;
    CConversionCommands& operator=(const CConversionCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

private:
    CMainFrame& m_frame;
};
