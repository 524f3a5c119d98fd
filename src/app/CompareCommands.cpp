#include "app/CompareCommands.h"

#include <QAction>
#include <filesystem>

#include "app/ControlPanelBar.h"
#include "app/MainFrame.h"
#include "app/MainPresenter.h"
#include "compare/DiffWindowsState.h"
#include "compare/MasterPalette.h"
#include "compare/ui/FileDiffDlg.h"
#include "compare/ui/FileDiffManagerDlg.h"
#include "compare/ui/DiffTwoLinesDlg.h"
#include "compare/ui/MasterFileDlg.h"
#include "convert_ui/ui/ModalRun.h"
#include "compare/TextAccess.h"
#include "filelist/BasketComparison.h"
#include "filelist/AddFileItems.h"
#include "filelist/NewFileItem.h"
#include "app/MessageWindowBar.h"
#include "model/Trace.h"
#include "remote/FtpWorker.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

namespace {

// The Find Text dialog for the palette; the text to search, or nullopt.
std::optional<std::string> AskPaletteFindText(QWidget* parent, const std::string& initial) {
    CDiffTwoLinesDlg dlg(initial, "", "master palette", "Find:", "", true, parent);
    if (RunDialogModal(dlg) != QDialog::Accepted) return std::nullopt;
    return dlg.ResultText();
}

}  // namespace

CCompareCommands::CCompareCommands(CMainFrame& frame) : m_frame(frame) {}

CCompareCommands::~CCompareCommands() {
    for (CFileDiffDlg*& w : m_windows) {
        delete w;
        w = nullptr;
    }
    delete m_manager;
    delete m_palette;
}

bool CCompareCommands::StopDiff(int ms) { return !m_manager || m_manager->StopDiff(ms); }

void CCompareCommands::Wire() {
    ResetDiffWindowsState();
    auto send = [this](int id) { m_frame.ExecuteCommand(id); };
    auto enabled = [this](int id) { return m_frame.IsCommandEnabled(id); };
    // Starting places from the work area: the palette in the lower half, the
    // two-pane diff windows in the upper half (they keep sharing one
    // placement afterwards); the three-pane window keeps its own size.
    const FrameLayout& layout = m_frame.Layout();
    const int half = layout.H / 2 - 20;
    CFileDiffDlg::TwoPanePlacement() = QRect(227, 26, layout.W - 327, half);
    m_palette = new CMasterFileDlg(m_frame.Data(), &m_frame);
    m_palette->SetLabelFont(CMainFrame::LabelFont());
    m_palette->sendCommand = send;
    m_palette->commandEnabled = enabled;
    m_palette->save = [this] { SaveMasterPaletteToFile(); };
    m_palette->dropRows = [this](int window, int pane, bool override) {
        if (window >= 0 && window < 3) m_windows[window]->ExportToPalette(pane, override);
    };
    for (int w = 0; w < 3; ++w) {
        m_windows[w] = new CFileDiffDlg(&m_frame);
        m_windows[w]->SetDiffMode(&m_frame.Data(), w);
        m_windows[w]->SetLabelFont(CMainFrame::LabelFont());
        m_windows[w]->sendCommand = send;
        m_windows[w]->commandEnabled = enabled;
        m_windows[w]->findInPalette = [this](const std::string& text, bool partial) {
            m_palette->FindText(text, partial);
        };
        m_windows[w]->exportLines = [this](const std::vector<std::string>& texts, int origin, bool override) {
            if (override) return m_palette->OverrideLines(texts, origin);
            m_palette->AddLines(texts, origin);
            return true;
        };
    }
    m_manager = new CFileDiffManagerDlg(&m_frame);
    m_manager->SetProgramData(&m_frame.Data());
    m_manager->SetDiffWindows(m_windows);
    m_manager->SetPalette(m_palette);
    m_manager->SetCrossActions([this] { CrossSelectedFiles(); }, [this] { CrossInputOutput(); });
    // Hidden, they wait at their places beside the frame; shown, they follow it.
    m_frame.RegisterModelessDialog(m_manager, HomeSlot::FileDiffManager, &g_DiffWindows.managerShown);
    m_frame.RegisterModelessDialog(m_palette, HomeSlot::MasterFile, &g_DiffWindows.paletteShown);
    const HomeSlot diffSlots[3] = {HomeSlot::FileDiff0, HomeSlot::FileDiff1, HomeSlot::FileDiff2};
    for (int w = 0; w < 3; ++w)
        m_frame.RegisterModelessDialog(m_windows[w], diffSlots[w], &g_DiffWindows.windowShown[w]);
    // They start at their own places until the frame first moves.
    m_palette->setGeometry(300, half, layout.W - 350, half);
    for (int w : {0, 1}) m_windows[w]->setGeometry(CFileDiffDlg::TwoPanePlacement());

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
    m_frame.SetCommandHandler(32609, [this] {
        if (CFileDiffDlg* w = LastActiveWindow()) w->ExportToPalette(g_DiffWindows.lastPane, false);
    });
    m_frame.SetCommandHandler(32610, [this] {
        if (CFileDiffDlg* w = LastActiveWindow()) w->ExportToPalette(g_DiffWindows.lastPane, true);
    });
    m_frame.SetCommandHandler(32608, [this] {
        // The palette's own find: the Find Text dialog, then the palette search.
        m_palette->RecordListSelection();
        const auto& sel = m_palette->Palette().Selection();
        const auto& lines = m_palette->Palette().Lines();
        const std::string initial = !sel.empty() && sel.front() < static_cast<int>(lines.size())
                                        ? lines[sel.front()].text
                                        : "Enter your text here...";
        if (auto text = AskPaletteFindText(m_palette, initial)) m_palette->FindText(*text, g_DiffWindows.findMatchPartial);
    });
    m_frame.SetCommandHandler(32611, [this] { m_palette->Clear(); });
    m_frame.SetCommandHandler(32612, [this] { m_palette->DeleteSelectedLines(); });
    m_frame.SetCommandHandler(32613, [this] { m_palette->EditSelectedLines(); });
    m_frame.SetCommandHandler(32614, [this] { m_palette->GoToLine(); });
    m_frame.SetCommandHandler(32615, [this] { m_palette->InsertBlankLine(); });
    m_frame.SetCommandHandler(32616, [this] { m_palette->LoadFile(); });
    m_frame.SetCommandHandler(32617, [this] { SaveMasterPaletteToFile(); });
    m_frame.SetCommandHandler(32618, [this] { m_palette->ConvertUsingLibrary(); });
}

void CCompareCommands::CrossSelectedFiles() {
    CProgramData& d = m_frame.Data();
    const std::vector<int> sel = d.GetCurrentSelection();
    if (sel.size() < 2) {
        Prompter().Message("At least two files must be selected that you want to analyze.", MsgIcon::Info);
        return;
    }
    CBasketComparison work;
    SetInputWindowText(
        CrossListSelectedFiles(d, work, d.GetCurProject(), d.GetCurSession(), d.GetCurBasket(), sel));
    m_frame.ExecuteCommand(32642);  // the WorkPad and its Attributes shown
    Prompter().Message("Cross of texts from selected files is shown on ***Input*** Window.", MsgIcon::Warning);
}

void CCompareCommands::CrossInputOutput() {
    CBasketComparison work;
    const std::string listing = CrossListInputOutput(work, GetInputWindowText(), GetOutputWindowText(),
                                                     m_frame.Data().m_SessionReport.ReportCompFiles);
    m_frame.MessageWindow().Clear();
    WriteTrace(listing);
    m_frame.ExecuteCommand(32642);
    Prompter().Message("Cross of texts from Input and Output windows is shown on ***Message*** Window.",
                       MsgIcon::Warning);
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

void CCompareCommands::SaveMasterPaletteToFile() {
    if (!m_frame.ControlPanel().CheckSessionSelected()) return;
    CProgramData& d = m_frame.Data();
    if (d.EnsureCurrentBasket() != 0) {
        m_frame.Presenter().ShowCurrentPosition();
        m_frame.Presenter().ShowSession(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
    }
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    const std::vector<int> sel = d.GetSelection(p, s, b);
    CFileItem like = MakeLocalFileItem("New-File-Master.txt", CFileItem());
    if (!sel.empty()) like = d.GetFileItem(p, s, b, sel.front());
    // The palette's own file, else a new name in the folder palettes are
    // loaded from; never the selected item, which is some other file.
    std::string folder = g_strLastLocalDir.empty() ? g_strWorkFilesDir : g_strLastLocalDir;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string initial = !g_strPaletteFile.empty() ? g_strPaletteFile : folder + "New-File-Master.txt";
    const auto typed = Prompter().AskText("File Name", "Enter filename:", initial);
    if (!typed) return;
    CFileItem item = MakeLocalFileItem(*typed, like);
    const std::string path = item.GetLocalPath();
    std::error_code ec;
    const auto st = std::filesystem::status(path, ec);
    if (std::filesystem::exists(st)) {
        if (!std::filesystem::is_regular_file(st)) {
            Prompter().Message("Not a file: " + path, MsgIcon::Stop);
            return;
        }
        if (Prompter().AskDefaultNo(path + " Replace existing?", MsgIcon::Question) != Answer::Yes) return;
    }
    std::string error;
    // Written whole through a temporary file; on failure the old file and
    // the palette's file name stay as they were.
    if (!WritePaletteFile(path, d.m_DiffResults.m_PaletteLines, error)) {
        Prompter().Message(error, MsgIcon::Stop);
        return;
    }
    g_strPaletteFile = path;
    m_palette->UpdateStatus();
    const int count = d.GetFileItemCount(p, s, b);
    const int pos = sel.empty() ? count : std::min(sel.back() + 1, count);
    if (!AddFileItem(d, p, s, b, pos, item, &error)) return;  // already listed: only written
    m_frame.Presenter().InsertFileRow(pos, FileRow{item.FileName, GetShortHostName(item.RemHost),
                                                   item.GetImageIndex(), true});
    d.SetSelection(p, s, b, {pos});
    m_frame.Presenter().ShowFileSelection({pos});
    m_frame.Presenter().SetStatusText(d.GetSelectionStatusText(p, s, b));
}
