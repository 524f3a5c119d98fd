#include "app/CompareCommands.h"

#include "app/MainFrame.h"
#include "compare/DiffWindowsState.h"
#include "compare/ui/FileDiffDlg.h"
#include "compare/ui/FileDiffManagerDlg.h"

CCompareCommands::CCompareCommands(CMainFrame& frame) : m_frame(frame) {}

CCompareCommands::~CCompareCommands() {
    for (CFileDiffDlg*& w : m_windows) {
        delete w;
        w = nullptr;
    }
    delete m_manager;
}

void CCompareCommands::Wire() {
    ResetDiffWindowsState();
    for (int w = 0; w < 3; ++w) {
        m_windows[w] = new CFileDiffDlg(&m_frame);
        m_windows[w]->SetDiffMode(&m_frame.Data(), w);
        m_windows[w]->sendCommand = [this](int id) { m_frame.ExecuteCommand(id); };
        m_windows[w]->commandEnabled = [this](int id) { return m_frame.IsCommandEnabled(id); };
    }
    m_manager = new CFileDiffManagerDlg(&m_frame);
    m_manager->SetProgramData(&m_frame.Data());
    m_manager->SetDiffWindows(m_windows);

    m_frame.SetCommandHandler(32511, [this] { ShowManager(); });
    m_frame.SetCommandHandler(32549, [this] {
        ShowManager();
        m_manager->RunInputOutputDiff();
    });
    m_frame.SetCommandHandler(32548, [this] {
        ShowManager();
        m_manager->RunQuickDiff();
    });
    m_frame.SetCommandHandler(32546, [this] {
        ShowManager();
        m_manager->RunThreeWayDiff();
    });
    m_frame.SetCommandHandler(32604, [this] {
        if (CFileDiffDlg* w = LastActiveWindow()) w->CopyRows(g_DiffWindows.lastPane);
    });
    m_frame.SetCommandHandler(32605, [this] {
        if (CFileDiffDlg* w = LastActiveWindow()) w->FindText();
    });
    m_frame.SetCommandHandler(32606, [this] {
        if (CFileDiffDlg* w = LastActiveWindow()) w->GoToLine();
    });
    m_frame.SetCommandHandler(32607, [this] {
        if (CFileDiffDlg* w = LastActiveWindow()) w->CompareTwoLinesHere();
    });
}

void CCompareCommands::ShowManager() {
    g_DiffWindows.managerShown = true;
    m_manager->RefreshOptions();
    m_manager->show();
    m_manager->raise();
}

CFileDiffDlg* CCompareCommands::LastActiveWindow() {
    const int w = g_DiffWindows.lastWindow;
    return w >= 0 && w < 3 ? m_windows[w] : nullptr;
}
