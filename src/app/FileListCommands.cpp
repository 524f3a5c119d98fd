#include "app/FileListCommands.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QScreen>
#include <QTextCursor>
#include <algorithm>

#include "app/CompareCommands.h"
#include "widgets/DialogPlacement.h"
#include "app/FileCommands.h"
#include "app/ItemCommands.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MainPresenter.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextWindows.h"
#include "compare/ui/FileDiffManagerDlg.h"
#include "filelist/AddFileItems.h"
#include "filelist/Concatenate.h"
#include "filelist/FileListing.h"
#include "filelist/ui/ConcatenateTemplateDlg.h"
#include "app/ControlPanelBar.h"
#include "filelist/ui/ReportDlg.h"
#include "widgets/TextRichEdit.h"
#include "filelist/SelectByIcon.h"
#include "filelist/ui/FileAttributesDlg.h"
#include "filelist/ui/MakeSameHostDlg.h"
#include "filelist/ui/RenameDuplicateSelectedFilesDlg.h"
#include "filelist/ui/SelectByIconDlg.h"
#include "filelist/ui/SessionFilesPalettes.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

std::function<int(QDialog&)> CFileListCommands::s_runModal;

namespace {
int RunModal(QDialog& dlg) {
    if (CFileListCommands::s_runModal) return CFileListCommands::s_runModal(dlg);
    return dlg.exec();
}
}  // namespace

CFileListCommands::CFileListCommands(CMainFrame& frame) : m_frame(frame) {}

CFileListCommands::~CFileListCommands() {
    // Only the hooks this window put in place are taken back.
    if (m_ownHooks & 2) CItemCommands::s_editProperties = nullptr;
    if (m_ownHooks & 4) CItemCommands::s_showPalette = nullptr;
    if (m_ownHooks & 8) CItemCommands::s_makeSameHostPick = nullptr;
    CItemCommands::s_bMakeSameHostPick = false;
    delete m_copyDlg;
    delete m_cutDlg;
    delete m_makeSameHostDlg;
    delete m_renameDlg;
    delete m_reportDlg;
    if (m_textWindowsObserver) RemoveTextWindowsObserver(m_textWindowsObserver);
}

CCopySessionFilesDlg* CFileListCommands::CopyPalette() const { return m_copyDlg; }
CCutSessionFilesDlg* CFileListCommands::CutPalette() const { return m_cutDlg; }
CMakeSameHostDlg* CFileListCommands::MakeSameHostPalette() const { return m_makeSameHostDlg; }

CRenameDuplicateSelectedFilesDlg* CFileListCommands::RenameDuplicateDialog() const { return m_renameDlg; }

CReportDlg* CFileListCommands::ReportDialog() const { return m_reportDlg; }

int CFileListCommands::P() const { return m_frame.Data().GetCurProject(); }
int CFileListCommands::S() const { return m_frame.Data().GetCurSession(); }
int CFileListCommands::B() const { return m_frame.Data().GetCurBasket(); }

std::vector<int> CFileListCommands::Selection() const {
    const CProgramData& d = m_frame.Data();
    const int n = d.GetFileItemCount(P(), S(), B());
    std::vector<int> out;
    for (int f : d.GetSelection(P(), S(), B()))
        if (f >= 0 && f < n) out.push_back(f);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

void CFileListCommands::Refill() {
    CMainPresenter& mp = m_frame.Presenter();
    mp.FillFileItemList(P(), S(), B());
    mp.SetStatusText(m_frame.Data().GetSelectionStatusText(P(), S(), B()));
}

void CFileListCommands::Wire() {
    CMainFrame& f = m_frame;
    f.SetCommandHandler(32554, [this] { EditSelectedItemProperties(); });
    f.SetCommandHandler(32518, [this] { OnPin(); });
    f.SetCommandHandler(32523, [this] { OnMakeSameHost(); });
    f.SetCommandHandler(32522, [this] { ShowReportDialog(); });
    f.SetCommandHandler(32599, [this] { OnGetWebLinkInfo(); });
    f.SetCommandHandler(32525, [this] { OnConcatenateFiles(); });
    f.SetCommandHandler(32528, [this] { ShowRenameDuplicate(false); });
    f.SetCommandHandler(32529, [this] { ShowRenameDuplicate(true); });
    f.SetCommandHandler(32533, [this] { ShowRenameDuplicate(false); });
    // A hook that is already set (a test's recorder) stays.
    if (!CItemCommands::s_editProperties) {
        CItemCommands::s_editProperties = [this] { return EditSelectedItemProperties(); };
        m_ownHooks |= 2;
    }

    // The clipboard palettes and the Make Same Host palette live as long as
    // the window.
    m_copyDlg = new CCopySessionFilesDlg(&f);
    m_cutDlg = new CCutSessionFilesDlg(&f);
    m_makeSameHostDlg = new CMakeSameHostDlg(&f);
    for (CSessionFilesPalette* pal : {static_cast<CSessionFilesPalette*>(m_copyDlg.data()),
                                      static_cast<CSessionFilesPalette*>(m_cutDlg.data())}) {
        pal->onPaste = [this] { m_frame.ItemCommands().PasteFileItems(); };
        pal->onCancel = [this] { m_frame.ItemCommands().CancelClipboard(); };
    }
    m_makeSameHostDlg->onCancel = [this] { CancelMakeSameHost(); };
    f.RegisterModelessDialog(m_makeSameHostDlg, HomeSlot::MakeSameHost, &CItemCommands::s_bMakeSameHostPick);
    f.RegisterModelessDialog(m_cutDlg, HomeSlot::CutSessionFiles, nullptr);
    f.RegisterModelessDialog(m_copyDlg, HomeSlot::CopySessionFiles, nullptr);
    m_renameDlg = new CRenameDuplicateSelectedFilesDlg(&f);
    m_renameDlg->selectedItems = [this] { return m_frame.FileCommands().SelectedItems(); };
    m_renameDlg->renameFiles = [this](const std::vector<std::string>& names) {
        m_frame.FileCommands().RenameSelectedFiles(names);
    };
    m_renameDlg->duplicateFiles = [this](const std::vector<std::string>& names) {
        m_frame.FileCommands().DuplicateFilesToNewNames(names);
    };
    f.RegisterModelessDialog(m_renameDlg, HomeSlot::RenameDuplicate, nullptr);
    m_reportDlg = new CReportDlg(&f.Data(), &f);
    m_reportDlg->selectedBaskets = [this] { return m_frame.GetSelectedListRows(m_frame.BasketList()); };
    m_reportDlg->showReport = [this](const std::string& text) { ShowReportText(text); };
    m_reportDlg->showDiffOptions = [this] {
        CFileDiffManagerDlg& manager = m_frame.CompareCommands().Manager();
        manager.RefreshOptions();
        manager.ShowOptionsTab();
        manager.raise();
    };
    f.RegisterModelessDialog(m_reportDlg, HomeSlot::Report, nullptr);
    m_textWindowsObserver = AddTextWindowsObserver([this] { UpdateInputWindowCommands(); });
    UpdateInputWindowCommands();
    if (!CItemCommands::s_showPalette) {
        CItemCommands::s_showPalette = [this](int palette, bool show) { ShowPalette(palette, show); };
        m_ownHooks |= 4;
    }
    if (!CItemCommands::s_makeSameHostPick) {
        CItemCommands::s_makeSameHostPick = [this] { OnMakeSameHostPick(); };
        m_ownHooks |= 8;
    }
}

// ---------------------------------------------------------------- attributes

bool CFileListCommands::EditSelectedItemProperties() {
    if (Selection().empty()) return false;
    CFileAttributesDlg dlg(&m_frame.Data(), &m_frame);
    if (QWidget* list = m_frame.FileList()) {
        const QPoint at = list->mapToGlobal(QPoint(0, 0));
        dlg.move(at.x() + 20, at.y() + 20);
    }
    if (RunModal(dlg) != QDialog::Accepted) return false;
    Refill();
    return true;
}

// ---------------------------------------------------------------- select by icon

void CFileListCommands::OnPin() {
    int y = 0;
    if (QWidget* list = m_frame.FileList()) y = list->mapToGlobal(QPoint(0, 0)).y();
    CSelectByIconDlg dlg(m_frame.Layout().frameWidth, y, &m_frame);
    if (RunModal(dlg) != QDialog::Accepted) return;
    ApplyIconChoice(dlg.m_bMark, dlg.m_nIconCode, dlg.m_strName);
}

void CFileListCommands::ApplyIconChoice(bool mark, int code, const std::string& name) {
    CProgramData& d = m_frame.Data();
    const int p = P(), s = S(), b = B();
    if (!d.IsValidBasket(false, p, s, b)) return;
    if (mark) {
        for (int f : Selection()) d.TogglePinned(p, s, b, f, code);
        Refill();
        return;
    }
    const std::vector<int> rows = MatchItemsByIcon(d.GetBasketItems(p, s, b), code, name);
    if (rows.empty()) {
        Prompter().Message("No such item in the list.", MsgIcon::Info);
        return;
    }
    d.SetSelection(p, s, b, rows);
    m_frame.Presenter().ShowFileSelection(rows);
    m_frame.Presenter().SetStatusText(std::to_string(rows.size()) + " item" + (rows.size() > 1 ? "s" : "") +
                                      " selected.");
}

// ---------------------------------------------------------------- palettes

void CFileListCommands::ShowPalette(int palette, bool show) {
    QDialog* dlg = palette == 1 ? static_cast<QDialog*>(m_cutDlg) : static_cast<QDialog*>(m_copyDlg);
    if (!dlg) return;
    if (!show) {
        dlg->hide();
        return;
    }
    dlg->show();
    dlg->raise();
    dlg->activateWindow();
}

// ---------------------------------------------------------------- rename/duplicate

void CFileListCommands::ShowRenameDuplicate(bool needSelection) {
    if (!m_renameDlg || (needSelection && Selection().empty())) return;
    m_renameDlg->show();
    KeepRenameDialogOnScreen();
    m_renameDlg->raise();
    m_renameDlg->activateWindow();
}

void CFileListCommands::KeepRenameDialogOnScreen() {
    // Its home beside the frame may leave the wide dialog (and its Close
    // button) past the screen's edge: it moves in as far as needed, and on a
    // small screen it is made no larger than the screen first.
    const QScreen* screen = m_frame.screen();
    if (!screen) return;
    const QRect a = screen->availableGeometry();
    const QSize extra = m_renameDlg->frameGeometry().size() - m_renameDlg->geometry().size();
    if (m_renameDlg->width() + extra.width() > a.width() || m_renameDlg->height() + extra.height() > a.height())
        m_renameDlg->resize(m_renameDlg->size().boundedTo(a.size() - extra));
    const QSize size = m_renameDlg->size() + extra;
    const QPoint at = m_renameDlg->frameGeometry().topLeft();
    const PlacePoint p =
        KeepOnScreen({at.x(), at.y()}, size.width(), size.height(), {a.left(), a.top(), a.right(), a.bottom()});
    if (p.x != at.x() || p.y != at.y()) m_renameDlg->move(p.x, p.y);
}

// ---------------------------------------------------------------- reports

void CFileListCommands::UpdateInputWindowCommands() {
    for (int id : {32522, 32599})
        if (QAction* a = m_frame.Action(id)) a->setEnabled(g_pInputWindow != nullptr);
}

void CFileListCommands::LinkTrailBoxes() {
    // "Show Add/Delete trail" here and "Show Delete trail" in the File Diff
    // Manager are one option: a click in either shows in both.
    if (m_trailLinked || !m_reportDlg) return;
    CFileDiffManagerDlg& manager = m_frame.CompareCommands().Manager();
    auto* theirs = manager.findChild<QCheckBox*>("1509");
    auto* ours = m_reportDlg->findChild<QCheckBox*>("1509");
    if (!theirs || !ours) return;
    m_trailLinked = true;
    connect(theirs, &QCheckBox::clicked, m_reportDlg, [this] { m_reportDlg->ShowTrail(); });
    connect(ours, &QCheckBox::clicked, theirs, [theirs] { theirs->setChecked(g_bDiffReportInter); });
}

void CFileListCommands::ShowReportDialog() {
    if (!m_reportDlg) return;
    LinkTrailBoxes();
    m_reportDlg->Refresh();
    m_reportDlg->show();
    m_reportDlg->raise();
    m_reportDlg->activateWindow();
}

namespace {
// The Input window's whole text, written at once (this runs on the GUI thread).
void PutIntoInputWindow(const std::string& text) {
    if (!g_pInputWindow) return;
    g_bInputShowsTitle = false;
    g_pInputWindow->SetWindowTextFromString(text);
    g_pInputWindow->SetCaret(0);
}
}  // namespace

void CFileListCommands::ShowReportText(const std::string& text) {
    PutIntoInputWindow(text);
    if (m_frame.Data().m_SessionReport.ReportCopy)
        QApplication::clipboard()->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    // The Interactive window (with its Attributes beside it) shows the report.
    if (m_frame.Data().m_SessionReport.ReportDump) m_frame.ExecuteCommand(32642);
}

void CFileListCommands::OnGetWebLinkInfo() {
    const CProgramData& d = m_frame.Data();
    if (!d.IsValidBasket(false, P(), S(), B())) return;
    PutIntoInputWindow(GetWebLinkText(d, P(), S(), B()));
}

// ---------------------------------------------------------------- concatenation

void CFileListCommands::OnConcatenateFiles() {
    if (!m_frame.ControlPanel().CheckSessionSelected()) return;
    CProgramData& d = m_frame.Data();
    if (d.EnsureCurrentBasket() != 0) m_frame.Presenter().ShowCurrentPosition();
    const int p = P(), s = S(), b = B();
    std::vector<int> rows = Selection();
    if (rows.size() == 1) {
        Prompter().Message("Must select more than one file.", MsgIcon::Info);
        return;
    }
    if (rows.empty())
        for (int f = 0; f < d.GetFileItemCount(p, s, b); ++f) rows.push_back(f);
    if (rows.empty()) return;
    std::vector<CFileItem> items;
    for (int f : rows) items.push_back(d.GetFileItem(p, s, b, f));

    CConcatenateTemplateDlg dlg(items.front(), &m_frame);
    if (RunModal(dlg) != QDialog::Accepted) return;
    const std::string finalPath = g_strConcatOutputFile;
    if (IsOneOfTheInputs(finalPath, items)) {
        Prompter().Message("The final file cannot be one of the files it joins:\r\n" + finalPath, MsgIcon::Stop);
        return;
    }
    std::string error;
    if (!ConcatenateItems(items, finalPath, g_strConcatTemplateCurrent, error)) {
        WriteTraceString(error);
        Prompter().Message("Failed to concatenate the selected files. \r\nSee Message Window for deatails.",
                           MsgIcon::Stop);
        return;
    }
    const std::vector<int> sel = Selection();
    const int pos = sel.empty() ? -1 : sel.back() + 1;
    std::vector<std::string> paths{finalPath};
    AddFileItems(d, p, s, b, pos, paths, true);
    ReportDuplicateFiles(CollectRefusedFiles(paths));
    m_frame.Presenter().ShowSession(p, s, b);
}

// ---------------------------------------------------------------- Make Same Host

void CFileListCommands::OnMakeSameHost() {
    if (CMainPresenter::RefuseWhileFtp()) return;
    // The pick rewrites items by index, which the add-files worker moves.
    if (!g_bAddFilesIdle) {
        CMainPresenter::LogMessage("Thread on session...[z]");
        return;
    }
    m_targetProject = P();
    m_targetSession = S();
    m_targetBasket = B();
    m_targetSelection = Selection();
    CItemCommands::s_bMakeSameHostPick = true;
    if (m_makeSameHostDlg) {
        m_makeSameHostDlg->show();
        m_makeSameHostDlg->raise();
    }
}

void CFileListCommands::CancelMakeSameHost() {
    CItemCommands::s_bMakeSameHostPick = false;
    if (m_makeSameHostDlg) m_makeSameHostDlg->hide();
}

void CFileListCommands::OnMakeSameHostPick() {
    CProgramData& d = m_frame.Data();
    const int p = P(), s = S(), b = B();
    const std::vector<int> rows = m_frame.GetSelectedListRows(m_frame.FileList());
    if (rows.empty() || !d.IsValidFileItem(false, p, s, b, rows.front())) return;
    const int model = rows.front();
    const int tp = m_targetProject, ts = m_targetSession, tb = m_targetBasket;
    // The model itself is no target.
    std::vector<int> targets;
    for (int f : m_targetSelection)
        if (!(tp == p && ts == s && tb == b && f == model)) targets.push_back(f);
    d.CopyRemoteLocation(tp, ts, tb, targets, p, s, b, model);
    CancelMakeSameHost();

    const std::string session = d.GetSessionName(tp, ts);
    const std::string basket = d.GetBasketName(tp, ts, tb);
    Prompter().Message("About to go back to original selection...\r\n(" + session + "/" + basket + ")...",
                       MsgIcon::Info);
    d.SetCurProject(tp);
    d.SetCurSession(tp, ts);
    d.SetCurrentBasket(tp, ts, tb);
    d.SetSelection(tp, ts, tb, targets);
    m_frame.Presenter().ShowCurrentPosition();
    m_frame.Presenter().ShowSession(tp, ts, tb);

    const std::string rule = "=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=\r\n";
    std::string text = rule + "The following files from \"" + session + "\" session and \"" + basket +
                       "\" basket:\r\n" + "now have new file-attributes for their remote host:\r\n";
    for (int f : targets) text += "     " + d.GetFileItem(tp, ts, tb, f).FileName + "\r\n";
    text += rule;
    CMainPresenter::LogMessage(text);
}
