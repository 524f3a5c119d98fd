#include "app/ItemCommands.h"
#include "app/PasteGuard.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTextEdit>
#include <algorithm>
#include <set>

#include "app/ControlPanelBar.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MainPresenter.h"
#include "app/MessageWindowBar.h"
#include "widgets/SharedDialogs.h"
#include "widgets/TextRichEdit.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextWindows.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/TextUtil.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "remote/TransferEngine.h"

std::function<void(int, bool)> CItemCommands::s_showPalette;
bool CItemCommands::s_bMakeSameHostPick = false;
std::function<void()> CItemCommands::s_makeSameHostPick;
std::function<bool()> CItemCommands::s_editProperties;
std::function<void(const std::string&)> CItemCommands::s_openFile;
std::function<bool(const std::vector<std::string>&)> CItemCommands::s_startProgram;
std::function<void(const std::string&, std::function<void(bool)>)> CItemCommands::s_printFile;
std::function<std::vector<std::string>(std::vector<std::string>&)> CItemCommands::s_chooseBufferFolders;

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Commands that show or read the Input window: enabled only while one exists.
const int kInputWindowCommands[] = {32655, 32625, 32650, 32651, 32640, 32626};

std::uint64_t NextCutTag() {
    static std::uint64_t tag = 0;
    return ++tag;
}

void OpenFile(const std::string& path) {
    FinishCutCopyOf(path);
    if (CItemCommands::s_openFile)
        CItemCommands::s_openFile(path);
    else
        OpenWithAssociation(path, g_strEditor, g_strTxtOpnStr);
}

bool StartProgram(const std::vector<std::string>& argv) {
    if (CItemCommands::s_startProgram) return CItemCommands::s_startProgram(argv);
    if (argv.empty()) return false;
    QStringList args;
    for (size_t i = 1; i < argv.size(); ++i) args << Q(argv[i]);
    return QProcess::startDetached(Q(argv[0]), args);
}

// `lp` takes the file; done hears once whether it was accepted.
void PrintWithLp(const std::string& path, std::function<void(bool)> done) {
    auto* proc = new QProcess(qApp);
    auto finish = std::make_shared<std::function<void(bool)>>(std::move(done));
    QObject::connect(proc, &QProcess::finished, proc, [proc, finish](int code, QProcess::ExitStatus st) {
        if (*finish) (*finish)(st == QProcess::NormalExit && code == 0);
        *finish = nullptr;
        proc->deleteLater();
    });
    QObject::connect(proc, &QProcess::errorOccurred, proc, [proc, finish](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        if (*finish) (*finish)(false);
        *finish = nullptr;
        proc->deleteLater();
    });
    proc->start("lp", {Q(path)});
}

// "name.ext" with a tag before the extension, or the extension replaced.
std::string WithTag(const std::string& name, const std::string& tag, bool replaceExtension) {
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string ext = stem.size() == name.size() ? std::string() : name.substr(stem.size());
    return replaceExtension ? stem + tag : stem + tag + ext;
}

std::vector<int> Sorted(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

}  // namespace

CItemCommands::CItemCommands(CMainFrame& frame) : m_frame(frame) {}

CItemCommands::~CItemCommands() {
    QObject::disconnect(m_focusConnection);
    if (m_textWindowsObserver) RemoveTextWindowsObserver(m_textWindowsObserver);
    CMainPresenter::s_dumpTextBuffer = nullptr;
    if (m_statusDlg) delete m_statusDlg;
}

int CItemCommands::P() const { return m_frame.Data().GetCurProject(); }
int CItemCommands::S() const { return m_frame.Data().GetCurSession(); }
int CItemCommands::B() const { return m_frame.Data().GetCurBasket(); }
CProgramData& CItemCommands::Data() { return m_frame.Data(); }

std::vector<int> CItemCommands::Selection() const {
    const CProgramData& d = m_frame.Data();
    const int n = d.GetFileItemCount(P(), S(), B());
    std::vector<int> out;
    for (int f : Sorted(d.GetSelection(P(), S(), B())))
        if (f >= 0 && f < n) out.push_back(f);
    return out;
}

void CItemCommands::Refill() {
    CMainPresenter& mp = m_frame.Presenter();
    mp.FillFileItemList(P(), S(), B());
    mp.SetStatusText(Data().GetSelectionStatusText(P(), S(), B()));
}

bool CItemCommands::Guard(char letter) {
    if (CMainPresenter::RefuseWhileFtp()) return false;
    if (!g_bAddFilesIdle) {
        CMainPresenter::LogMessage(std::string("Thread on session...[") + letter + "]");
        return false;
    }
    return true;
}

void CItemCommands::Wire() {
    CMainFrame& f = m_frame;
    f.SetCommandHandler(32551, [this] { CutFileItems(); });
    f.SetCommandHandler(32550, [this] { CopyFileItems(); });
    f.SetCommandHandler(32552, [this] { PasteFileItems(); });
    f.SetCommandHandler(32520, [this] { RemoveItems(); });
    f.SetCommandHandler(32524, [this] {
        if (QTreeWidget* list = m_frame.FileList()) list->selectAll();
    });
    f.SetCommandHandler(32514, [this] { MoveItems(+1); });
    f.SetCommandHandler(32516, [this] { MoveItems(-1); });
    f.SetCommandHandler(32521, [this] { MirrorCopies(); });
    f.SetCommandHandler(32559, [this] { ToggleMark(false); });
    f.SetCommandHandler(32560, [this] { ToggleMark(true); });
    // Each clears the marks its name says: 32508 local and 32510 remote of
    // the selection, 32507 local and 32509 remote of the whole session.
    f.SetCommandHandler(32508, [this] { ClearLocalDirty(); });
    f.SetCommandHandler(32510, [this] { ClearRemoteDirty(); });
    f.SetCommandHandler(32509, [this] { ClearAllRemoteDirty(); });
    f.SetCommandHandler(32507, [this] { ClearAllLocalDirty(); });
    f.SetCommandHandler(32534, [this] { ChangeCase(1); });
    f.SetCommandHandler(32536, [this] { ChangeCase(2); });
    f.SetCommandHandler(32535, [this] { ChangeCaseAsked(); });
    f.SetCommandHandler(32592, [this] { ShowItemStatus(); });
    f.SetCommandHandler(32601, [this] { ShowFileSpec(); });
    f.SetCommandHandler(32512, [this] { OpenFolder(); });
    f.SetCommandHandler(32517, [this] { OpenSelectedFiles(); });
    f.SetCommandHandler(32519, [this] { PrintItems(); });
    f.SetCommandHandler(32598, [this] { RepairLineBreaks(); });

    f.SetCommandHandler(32649, [this] { SaveText(); });
    f.SetCommandHandler(32655, [this] { SaveInputToBuffer(); });
    f.SetCommandHandler(32650, [this] { ShowBufferStep(TextBufferScroll(+1)); });
    f.SetCommandHandler(32651, [this] { ShowBufferStep(TextBufferScroll(-1)); });
    f.SetCommandHandler(32625, [this] { ShowBufferStep(TextBufferRemoveCurrent()); });
    f.SetCommandHandler(32639, [] { DumpTextBufferToDisk(true); });
    f.SetCommandHandler(32640, [this] {
        LoadTextBufferFromDisk([this](std::vector<std::string>& folders) -> std::vector<std::string> {
            if (s_chooseBufferFolders) return s_chooseBufferFolders(folders);
            CSelectDlg dlg(&folders, &m_frame);
            if (dlg.exec() != QDialog::Accepted) return {};
            return dlg.ChosenFolders();
        });
        ShowBufferStep(TextBufferShowFirst());
    });
    f.SetCommandHandler(32626, [this] { ClearAllTexts(); });
    CMainPresenter::s_dumpTextBuffer = [](int interactive) { DumpTextBufferToDisk(interactive != 0); };

    f.SetCommandHandler(32627, [this] { EditCommand(0); });
    f.SetCommandHandler(32628, [this] { EditCommand(1); });
    f.SetCommandHandler(32647, [this] { EditCommand(2); });
    f.SetCommandHandler(57643, [this] { EditCommand(3); });

    if (CQuorvellianViewBot* list = f.FileList()) {
        connect(list, &CQuorvellianViewBot::headerClicked, this, [this](int column) { SortSelectedItems(column, true); });
        connect(list, &CQuorvellianViewBot::rowClicked, this, &CItemCommands::OnFileListClicked);
        connect(list, &CQuorvellianViewBot::rowDoubleClicked, this, &CItemCommands::OnFileListDoubleClicked);
    }
    // The text window that gets the focus is the one the text commands act on.
    m_focusConnection = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now) return;
        if (now == g_pInputWindow) g_nActiveTextWindow = 1;
        else if (now == g_pOutputWindow) g_nActiveTextWindow = 2;
        else if (now == m_frame.MessageWindow().GetRichEdit()) g_nActiveTextWindow = 3;
    });
    m_textWindowsObserver = AddTextWindowsObserver([this] { UpdateTextWindowCommands(); });
    UpdateTextWindowCommands();
}

void CItemCommands::UpdateTextWindowCommands() {
    for (int id : kInputWindowCommands)
        if (QAction* a = m_frame.Action(id)) a->setEnabled(g_pInputWindow != nullptr);
}

// ---------------------------------------------------------------- item clipboard

void CItemCommands::CutFileItems() {
    const std::vector<int> sel = Selection();
    if (m_mode != Empty || sel.empty()) return;
    if (s_showPalette) s_showPalette(1, true);
    m_clipboard.clear();
    m_cutTags.clear();
    for (int f : sel) {
        CFileItem* it = Data().GetFileItemPtr(P(), S(), B(), f);
        it->CutTag = NextCutTag();
        m_cutTags.push_back(it->CutTag);
        m_clipboard.push_back(*it);
        m_clipboard.back().CutTag = 0;
    }
    m_cutProject = P();
    m_cutSession = S();
    m_cutBasket = B();
    m_mode = CutPending;
}

void CItemCommands::CopyFileItems() {
    const std::vector<int> sel = Selection();
    if (m_mode != Empty || sel.empty()) return;
    if (s_showPalette) s_showPalette(2, true);
    m_clipboard.clear();
    for (int f : sel) {
        m_clipboard.push_back(Data().GetFileItem(P(), S(), B(), f));
        m_clipboard.back().CutTag = 0;
    }
    m_mode = CopyPending;
}

void CItemCommands::CancelClipboard() {
    if (m_mode == Empty) return;
    if (s_showPalette) s_showPalette(m_mode == CutPending ? 1 : 2, false);
    m_mode = Empty;
    m_clipboard.clear();
    m_cutTags.clear();
}

bool CItemCommands::ShowCurrentBasket() {
    if (!m_frame.ControlPanel().CheckSessionSelected()) return false;
    CMainPresenter& mp = m_frame.Presenter();
    if (Data().EnsureCurrentBasket() != 0) {
        mp.ShowCurrentPosition();
        mp.ShowSession(P(), S(), B());
    }
    return true;
}

void CItemCommands::PasteFileItems() {
    if (m_mode == Empty) return;
    if (!ShowCurrentBasket()) return;
    CProgramData& d = Data();
    const int p = P(), s = S(), b = B();
    const std::vector<int> sel = Selection();
    int row = sel.empty() ? d.GetFileItemCount(p, s, b) : sel.back() + 1;
    std::vector<int> pasted;
    for (const CFileItem& it : m_clipboard) {
        d.InsertFileItems(p, s, b, row, it);
        pasted.push_back(row++);
    }
    d.SetSelection(p, s, b, pasted);

    if (m_mode == CutPending) {
        // The cut records leave wherever they stand now (they may have been
        // moved or reordered since the cut); the pasted copies carry no tag.
        const std::set<std::uint64_t> tags(m_cutTags.begin(), m_cutTags.end());
        auto& projects = d.m_ProjectList.m_Projects;
        for (int pp = 0; pp < int(projects.size()); ++pp)
            for (int ss = 0; ss < int(projects[size_t(pp)].m_Sessions.size()); ++ss) {
                CSession& se = projects[size_t(pp)].m_Sessions[size_t(ss)];
                for (int bb = 0; bb < int(se.m_Baskets.size()); ++bb) {
                    auto& items = se.m_Baskets[size_t(bb)].m_Items;
                    bool removed = false;
                    for (int f = int(items.size()) - 1; f >= 0; --f)
                        if (items[size_t(f)].CutTag && tags.count(items[size_t(f)].CutTag)) {
                            d.DeleteFileItem(pp, ss, bb, f);
                            removed = true;
                        }
                    if (removed && !(pp == p && ss == s && bb == b)) d.ClearSelection(pp, ss, bb);
                }
            }
    }
    CancelClipboard();
    Refill();
}

// ---------------------------------------------------------------- small item commands

void CItemCommands::RemoveItems() {
    if (!Guard('x')) return;
    const std::vector<int> sel = Selection();
    if (sel.empty()) return;
    CProgramData& d = Data();
    const int count = d.GetFileItemCount(P(), S(), B());
    if (int(sel.size()) == count) {
        d.ClearBasketItems(P(), S(), B());
        d.ClearSelection(P(), S(), B());
    } else {
        // Rows go from the first selected on; the row that then stands where
        // the last one went (or the new last row) stays selected.
        int r = 0;
        for (std::size_t k = 0; k < sel.size(); ++k) {
            r = sel[k] - int(k);
            d.DeleteFileItem(P(), S(), B(), r);
        }
        const int left = d.GetFileItemCount(P(), S(), B());
        if (r >= left) r = left - 1;
        d.SetSelection(P(), S(), B(), std::vector<int>{r});
    }
    m_frame.Presenter().FillFileItemList(P(), S(), B());
    m_frame.Presenter().SetStatusText(std::to_string(sel.size()) + " files removed.");
}

void CItemCommands::MoveItems(int delta) {
    std::vector<int> sel = Selection();
    if (sel.empty()) return;
    CProgramData& d = Data();
    const int n = d.GetFileItemCount(P(), S(), B());
    std::set<int> taken(sel.begin(), sel.end());
    // Down works from the last selected item, up from the first; an item
    // stops at the end of the list or at a selected item that could not move.
    if (delta > 0) std::reverse(sel.begin(), sel.end());
    bool moved = false;
    for (int& f : sel) {
        const int to = f + delta;
        if (to < 0 || to >= n || taken.count(to)) continue;
        d.SwapItems(P(), S(), B(), f, to, -1, 0);
        taken.erase(f);
        taken.insert(to);
        f = to;
        moved = true;
    }
    if (!moved) return;
    d.SetSelection(P(), S(), B(), Sorted(sel));
    Refill();
}

void CItemCommands::MirrorCopies() {
    const std::vector<int> sel = Selection();
    if (sel.empty()) return;
    CProgramData& d = Data();
    std::vector<int> copies;
    for (int f : sel) {
        CFileItem copy = d.GetFileItem(P(), S(), B(), f);
        copy.CutTag = 0;
        const int at = d.GetFileItemCount(P(), S(), B());
        d.InsertFileItems(P(), S(), B(), at, copy);
        copies.push_back(at);
    }
    d.SetSelection(P(), S(), B(), copies);
    Refill();
}

void CItemCommands::ToggleMark(bool binary) {
    const std::vector<int> sel = Selection();
    if (sel.empty()) return;
    const bool ctrl = QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
    for (int f : sel) {
        if (binary)
            Data().ToggleAsciiBinary(P(), S(), B(), f, ctrl);
        else
            Data().ToggleItemFlag(P(), S(), B(), f);
    }
    Refill();
}

void CItemCommands::LogUpdated(int count) {
    CMainPresenter::LogMessage(count > 0 ? std::to_string(count) + " item" + " updated." : "All fine.");
}

void CItemCommands::ClearLocalDirty() {
    const std::vector<int> sel = Selection();
    if (sel.empty()) {
        Prompter().Message("None selected...", MsgIcon::Info);
        return;
    }
    CMainPresenter& mp = m_frame.Presenter();
    mp.RemoveRowsFromLocalChanges(sel);
    int count = 0;
    for (int f : sel)
        if (CFileItem* it = Data().GetFileItemPtr(P(), S(), B(), f)) count += it->ClearLocalDirty();
    Refill();
    LogUpdated(count);
}

void CItemCommands::ClearRemoteDirty() {
    const std::vector<int> sel = Selection();
    if (sel.empty()) {
        Prompter().Message("None selected...", MsgIcon::Info);
        return;
    }
    int count = 0;
    for (int f : sel) {
        const CFileItem it = Data().GetFileItem(P(), S(), B(), f);
        if (it.IsRemoteModified == "Yes" || it.IsRemoteMissing == "Yes") ++count;
        Data().SetRemoteModified(P(), S(), B(), f, "No");
        Data().SetRemoteMissing(P(), S(), B(), f, "No");
    }
    Refill();
    LogUpdated(count);
}

// Accepts the local state of every item of the session; the count is of
// the items that changed.
void CItemCommands::ClearAllLocalDirty() {
    CSession* se = Data().GetSessionPtr(P(), S());
    if (!se) return;
    int count = 0;
    for (CFileBasket& bk : se->m_Baskets)
        for (CFileItem& it : bk.m_Items) count += it.ClearLocalDirty();
    std::vector<int> rows(Data().GetFileItemCount(P(), S(), B()));
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    m_frame.Presenter().RemoveRowsFromLocalChanges(rows);
    Refill();
    m_frame.Presenter().UpdateBasketIcons();
    LogUpdated(count);
}

void CItemCommands::ClearAllRemoteDirty() {
    CSession* se = Data().GetSessionPtr(P(), S());
    if (!se) return;
    int count = 0;
    for (CFileBasket& bk : se->m_Baskets)
        for (CFileItem& it : bk.m_Items) {
            if (it.IsRemoteModified == "Yes" || it.IsRemoteMissing == "Yes") ++count;
            it.IsRemoteModified = "No";
            it.IsRemoteMissing = "No";
        }
    Refill();
    m_frame.Presenter().UpdateBasketIcons();
    LogUpdated(count);
}

// The item takes the new spelling of its name. Local file names are case
// sensitive here: an existing local file is renamed with it, so the item
// keeps naming its file; a rename that fails leaves the item as it was.
bool CItemCommands::SetItemName(int f, const std::string& name) {
    const CFileItem it = Data().GetFileItem(P(), S(), B(), f);
    if (it.FileName == name) return true;
    const std::string from = it.LocalDir + it.FileName;
    if (PathExists(from)) {
        std::string error;
        if (!RenameLocalFile(from, it.LocalDir + name, error)) {
            Prompter().Message("Failed to rename the file. " + from + "\r\n" + error, MsgIcon::Stop);
            return false;
        }
        // The rename keeps the file's time, so a clean item stays clean.
        Data().ChangeFileNameCase(P(), S(), B(), {f}, 3, name);
        return true;
    }
    Data().ChangeFileNameCase(P(), S(), B(), {f}, 3, name);
    return true;
}

void CItemCommands::ChangeCase(int mode) {
    const std::vector<int> sel = Selection();
    if (sel.empty()) return;
    for (int f : sel) {
        const std::string name = Data().GetFileItem(P(), S(), B(), f).FileName;
        SetItemName(f, mode == 1 ? ToLowerAscii(name) : ToUpperAscii(name));
    }
    Refill();
}

void CItemCommands::ChangeCaseAsked() {
    const std::vector<int> sel = Selection();
    if (sel.empty()) return;
    const std::string name = Data().GetFileItem(P(), S(), B(), sel.front()).FileName;
    auto answer = Prompter().AskText("Proper Case", "Enter proper case of file name:", name);
    if (!answer || *answer == name) return;
    if (ToLowerAscii(*answer) != ToLowerAscii(name)) {
        Prompter().Message("You cannot change the file name. Only the case can be changed.", MsgIcon::Stop);
        return;
    }
    // Only the item whose name was asked for takes the spelling.
    SetItemName(sel.front(), *answer);
    Refill();
}

void CItemCommands::ShowItemStatus() {
    const std::vector<int> sel = Selection();
    QTreeWidget* list = m_frame.FileList();
    if (sel.empty() || !list || sel.front() >= list->topLevelItemCount()) return;
    const std::string text = Data().GetFileItemStatusText(P(), S(), B(), sel.front());
    const QRect r = list->visualItemRect(list->topLevelItem(sel.front()));
    const QPoint at = list->viewport()->mapToGlobal(r.bottomLeft()) + QPoint(18, 2);
    if (m_statusDlg) delete m_statusDlg;
    auto* dlg = new CMessageTextDlg(Q(text), at.x(), at.y(), &m_frame);
    const QWidget* port = list->viewport();
    dlg->PlaceBeside(QRect(port->mapToGlobal(r.topLeft()), r.size()),
                     QRect(port->mapToGlobal(QPoint(0, 0)), port->size()));
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    m_statusDlg = dlg;
    dlg->open();
}

void CItemCommands::ShowFileSpec() {
    QTreeWidget* list = m_frame.FileList();
    const std::vector<int> sel = Selection();
    int f = list && list->currentItem() && list->currentItem()->isSelected()
                ? list->indexOfTopLevelItem(list->currentItem())
                : (sel.empty() ? -1 : sel.front());
    if (f < 0) return;
    CMainPresenter::LogMessage(Data().GetFileItemReport(P(), S(), B(), f));
}

void CItemCommands::OpenFolder() {
    const std::vector<int> sel = Selection();
    std::string folder = sel.empty() ? g_strWorkFilesDir : Data().GetFileItem(P(), S(), B(), sel.front()).LocalDir;
    if (folder.empty()) folder = g_strWorkFilesDir;
    if (!StartProgram({"xdg-open", folder}))
        Prompter().Message("Failed to execute the command: xdg-open " + folder, MsgIcon::Stop);
}

void CItemCommands::PrintItems() {
    const std::vector<int> sel = Selection();
    for (int f : sel) {
        std::string path = Data().GetFileItem(P(), S(), B(), f).GetLocalPath();
        auto failed = [path] {
            Prompter().Message("Failed to print: " + path + "\r\n\r\n" +
                                   "File is missing or Windows refused to print this file.",
                               MsgIcon::Stop);
        };
        if (!IsRegularFile(path)) {
            failed();
            continue;
        }
        // A relative name must not read as an option of the print program.
        const std::string arg = path.front() == '/' ? path : "./" + path;
        auto done = [failed](bool ok) {
            if (!ok) failed();
        };
        if (s_printFile)
            s_printFile(arg, done);
        else
            PrintWithLp(arg, done);
    }
}

void CItemCommands::RepairLineBreaks() {
    const std::vector<int> sel = Selection();
    if (sel.empty()) return;
    const Answer a = Prompter().AskDefaultNo(
        "This process will cleanse line-breaks in the file and make it UNIX-compliant.\r\n"
        "It is suitable for .txt, .c, .cpp, .java, i.e., source code files.\r\n\r\n"
        "It is certainly not appropriate for .doc, .jpg, .exe, .pdf, etc. files.\r\n\r\n"
        "Are you sure, you want to touch the files?",
        MsgIcon::Question);
    if (a != Answer::Yes) return;
    for (int f : sel)
        if (CFileItem* it = Data().GetFileItemPtr(P(), S(), B(), f)) it->RepairLineBreaks();
    Refill();
}

// ---------------------------------------------------------------- opening

void CItemCommands::OpenSelectedFiles() {
    std::vector<int> sel = Selection();
    if (sel.empty()) return;
    CProgramData& d = Data();
    const int p = P(), s = S(), b = B();
    for (int f : sel) {
        if (!d.GetFileItem(p, s, b, f).LocalDir.empty()) continue;
        if (!s_editProperties) {
            Prompter().Message("You need to specify local directory for all of the selected files.", MsgIcon::Stop);
            return;
        }
        const Answer a = Prompter().Ask(
            "You need to specify local directory for all of the selected files.\r\n"
            "Specify the local directory now?",
            MsgIcon::Question, false);
        if (a != Answer::Yes || !s_editProperties()) return;
        break;
    }
    sel = Selection();
    bool neverFetched = false;
    for (int f : sel) {
        const CFileItem it = d.GetFileItem(p, s, b, f);
        if (it.FileType == "remote" && it.IsFTPed == "No") neverFetched = true;
    }
    if (neverFetched) {
        if (!g_bFtpIdle) return;
        m_frame.MessageWindow().show();
    }
    std::vector<int> fetch;
    std::vector<std::string> open;
    for (int f : sel) {
        const CFileItem it = d.GetFileItem(p, s, b, f);
        const std::string path = it.GetLocalPath();
        const bool remoteUnfetched = it.FileType == "remote" && it.IsFTPed != "Yes";
        if (remoteUnfetched && !PathExists(path)) {
            fetch.push_back(f);
            continue;
        }
        if (remoteUnfetched) WriteTraceString("Auto-copy halted. Opened local copy of " + path);
        open.push_back(path);
    }
    // A refused fetch (a transfer runs) opens nothing at all.
    if (!fetch.empty() && !FetchOnDemand(d, p, s, b, fetch)) return;
    for (const std::string& path : open) OpenFile(path);
}

// ---------------------------------------------------------------- clicks and sorting

void CItemCommands::OnFileListClicked() {
    CProgramData& d = Data();
    const int p = P(), s = S(), b = B();
    QTreeWidget* list = m_frame.FileList();
    const std::vector<int> rows = m_frame.GetSelectedListRows(list);
    if (rows.empty()) {
        if (!s_bMakeSameHostPick) d.ClearSelection(p, s, b);
        return;
    }
    if (s_bMakeSameHostPick) {
        if (s_makeSameHostPick) s_makeSameHostPick();
        return;
    }
    d.SetSelection(p, s, b, rows);
    // The double click that may follow does not open them a second time.
    if (g_bSingleClick) OpenSelectedFiles();
    m_lastProject = p;
    m_lastSession = s;
    m_lastBasket = b;
    m_frame.Presenter().SetStatusText(d.GetSelectionStatusText(p, s, b));
}

void CItemCommands::OnFileListDoubleClicked() {
    if (g_bSingleClick || s_bMakeSameHostPick) return;
    OpenSelectedFiles();
}

void CItemCommands::SortSelectedItems(int column, bool ask) {
    const std::vector<int> sel = Selection();
    if (sel.size() < 2) {
        Prompter().Message("Select multiple items from the list.", MsgIcon::Info);
        return;
    }
    if (ask && Prompter().Ask("This will sort the selected items.\r\nAre you sure?", MsgIcon::Question, false) !=
                   Answer::Yes)
        return;
    Data().SortSelectedItems(P(), S(), B(), sel, column);
    Refill();
}

// ---------------------------------------------------------------- text windows

void CItemCommands::EditCommand(int which) {
    QWidget* w = QApplication::focusWidget();
    if (which == 2) {
        // In the file list, Paste means the items that were cut or copied.
        if (w && (w == m_frame.FileList() || m_frame.FileList()->isAncestorOf(w))) return PasteFileItems();
        if (!ClipboardHoldsText()) return;
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) w = combo->lineEdit();
    auto act = [which](auto* box) {
        switch (which) {
            case 0: box->copy(); break;
            case 1: box->cut(); break;
            case 2: box->paste(); break;
            default: box->undo(); break;
        }
    };
    // Copy and Cut in the Message Window take the whole text when nothing is
    // selected, as the Input and Output boxes do themselves.
    CTextRichEdit* messages = m_frame.MessageWindow().GetRichEdit();
    auto actOnMessages = [&] {
        if (which <= 1 && !messages->textCursor().hasSelection()) messages->selectAll();
        act(messages);
    };
    if (w && w == messages) return actOnMessages();
    if (auto* le = qobject_cast<QLineEdit*>(w)) {
        // A one-line field takes the pasted text as one line.
        if (which == 2 && OneLineField(le)) return PasteIntoField(le);
        return act(le);
    }
    if (auto* pe = qobject_cast<QPlainTextEdit*>(w)) return act(pe);
    if (auto* te = qobject_cast<QTextEdit*>(w)) return act(te);
    if (auto* lb = qobject_cast<CLineTextBox*>(w)) return act(lb);
    // No text box has the focus: the active text window; Copy hands it the focus.
    const int active = g_nActiveTextWindow;
    QWidget* target = nullptr;
    if (active == 1 && g_pInputWindow) {
        act(g_pInputWindow);
        target = g_pInputWindow;
    }
    if (active == 2 && g_pOutputWindow) {
        act(g_pOutputWindow);
        target = g_pOutputWindow;
    }
    if (active == 3) {
        actOnMessages();
        target = messages;
    }
    if (which == 0 && target) target->setFocus();
}

void CItemCommands::SaveText() {
    if (!ShowCurrentBasket()) return;
    CProgramData& d = Data();
    const int p = P(), s = S(), b = B();
    // The Input and Output windows only while they exist; else the Message Window.
    int window = g_nActiveTextWindow;
    if ((window == 1 && !g_pInputWindow) || (window == 2 && !g_pOutputWindow) || window < 1 || window > 3)
        window = 3;
    const std::vector<int> sel = Selection();
    std::string folder = g_strWorkFilesDir;
    std::string name = window == 1 ? "New-File-In.txt" : window == 2 ? "New-File-Out.txt" : "New-File-Msg.log";
    if (!sel.empty()) {
        const CFileItem it = d.GetFileItem(p, s, b, sel.front());
        if (!it.LocalDir.empty()) folder = it.LocalDir;
        name = window == 1 ? WithTag(it.FileName, "-In", false)
               : window == 2 ? WithTag(it.FileName, "-Out", false)
                             : WithTag(it.FileName, ".log", true);
    }
    auto answer = Prompter().AskText("File Name", "Enter filename:", folder + name);
    if (!answer || answer->empty()) return;
    std::string path = *answer;
    if (path.front() != '/') path = folder + path;
    if (!IsStorableName(path) || !IsValidPath(path) || path.back() == '/') {
        Prompter().Message("Failed to write: " + path, MsgIcon::Stop);
        return;
    }
    if (PathExists(path) && Prompter().AskDefaultNo(path + " Replace existing?", MsgIcon::Question) != Answer::Yes)
        return;
    std::string text = window == 1   ? g_pInputWindow->GetText()
                       : window == 2 ? g_pOutputWindow->GetText()
                                     : m_frame.MessageWindow().GetText();
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    std::string error;
    if (!CreateFolderPath(GetDirectoryPart(path)) || !SaveFileAtomic(path, text, error, 0644)) {
        WriteTrace("-?- Failed to write: " + path + " " + error);
        Prompter().Message("Failed to write: " + path + "\r\n" + error, MsgIcon::Stop);
        return;
    }
    // The file's item in the current basket: found there, or added.
    const std::string dir = GetDirectoryPart(path);
    const std::string file = path.substr(dir.size());
    int row = -1;
    const std::vector<CFileItem> items = d.GetBasketItems(p, s, b);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].FileName == file && items[i].LocalDir == dir) row = int(i);
    if (row < 0) {
        const CSession se = d.GetSession(p, s);
        CFileItem it(file);
        it.FileType = "local";
        it.LocalDir = dir;
        it.RemHost = se.Host;
        it.RemUser = se.User;
        it.RemoteDir = se.RemoteDir;
        it.IsBinaryFile = IsBinaryByExtension(file);
        it.RefreshLocalTime();
        row = d.GetFileItemCount(p, s, b);
        d.InsertFileItems(p, s, b, row, it);
    }
    d.SetSelection(p, s, b, {row});
    Refill();
}

void CItemCommands::SaveInputToBuffer() {
    if (!g_pInputWindow) return;
    g_bInputShowsTitle = false;
    const std::string text = g_pInputWindow->GetText();
    if (text.empty()) {
        Prompter().Message("Input text box is empty.", MsgIcon::Info);
        return;
    }
    ShowBufferStep(TextBufferAdd(text));
}

void CItemCommands::ShowBufferStep(const TextBufferStep& step) {
    if (step.show && g_pInputWindow) {
        g_bInputShowsTitle = false;
        g_pInputWindow->SetWindowTextFromString(*step.show);
    }
    if (!step.log.empty()) CMainPresenter::LogMessage(step.log);
}

void CItemCommands::ClearAllTexts() {
    for (CLineTextBox* box : {g_pInputWindow, g_pOutputWindow})
        if (box) box->SetWindowTextFromString(std::string());
    if (g_pInputWindow) g_bInputShowsTitle = false;
    if (g_pOutputWindow) g_bOutputShowsTitle = false;
    m_frame.MessageWindow().Clear();
}
