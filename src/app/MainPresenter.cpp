#include "app/MainPresenter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/ControlPanelPresenter.h"
#include "convert/ConversionRun.h"
#include "model/Library.h"
#include "filelist/RenameFiles.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "remote/LeftOnServer.h"
#include "model/Sound.h"

const char* const kFtpBusyRefusal =
    "This step is not allowed when an FTP session is on.\r\n"
    "Try later, or Stop the FTP session first.";

std::function<void(CProgramData&)> CMainPresenter::s_createSampleLibrary;
std::function<void(int)> CMainPresenter::s_dumpTextBuffer;

namespace {
bool StartsWithMark(const std::string& t) { return !t.empty() && (t[0] == '*' || t[0] == '~'); }

// The local status of each item ("LocalModified", "LocalMissing" or ""). A
// long basket asks the file system on a few threads: a stat each, mostly the
// walk of the path, which would keep the window from drawing for tens of
// milliseconds at ten thousand items.
std::vector<std::string> LocalStatuses(const std::vector<CFileItem*>& items, int n) {
    std::vector<std::string> out(std::size_t(std::max(n, 0)));
    auto part = [&](int from, int to) {
        for (int r = from; r < to; ++r) out[std::size_t(r)] = items[std::size_t(r)]->GetLocalStatus();
    };
    constexpr int kPerThread = 1024;
    const int threads = std::min({4, int(std::max(1u, std::thread::hardware_concurrency())), n / kPerThread});
    if (threads < 2) {
        part(0, n);
        return out;
    }
    std::vector<std::thread> workers;
    const int step = (n + threads - 1) / threads;
    for (int k = 1; k < threads; ++k) workers.emplace_back(part, k * step, std::min(n, (k + 1) * step));
    part(0, std::min(n, step));
    for (auto& w : workers) w.join();
    return out;
}
}  // namespace

CMainPresenter::CMainPresenter(CProgramData& data) : m_data(data) {}

int CMainPresenter::CurP() const { return m_data.GetCurProject(); }
int CMainPresenter::CurS() const { return m_data.GetCurSession(); }
int CMainPresenter::CurB() const { return m_data.GetCurBasket(); }

void CMainPresenter::LogMessage(const std::string& text) { WriteTrace(text); }

bool CMainPresenter::RefuseWhileFtp() {
    if (g_bFtpIdle) return false;
    Prompter().Message(kFtpBusyRefusal, MsgIcon::Stop);
    return true;
}

void CMainPresenter::SetStatusText(const std::string& text) {
    m_status = text;
    Notify(&IMainView::StatusTextChanged);
}

void CMainPresenter::SetFileSelection(const std::vector<int>& rows) {
    for (auto& r : m_files) r.selected = false;
    for (int r : rows)
        if (r >= 0 && r < int(m_files.size())) m_files[std::size_t(r)].selected = true;
}

std::vector<int> CMainPresenter::SelectedFileRows() const {
    std::vector<int> out;
    for (std::size_t i = 0; i < m_files.size(); ++i)
        if (m_files[i].selected) out.push_back(int(i));
    return out;
}

void CMainPresenter::InsertFileRow(int row, const FileRow& r) {
    row = std::clamp(row, 0, int(m_files.size()));
    m_files.insert(m_files.begin() + row, r);
    Notify(&IMainView::FileRowsChanged);
}

void CMainPresenter::SetFileRow(int row, const FileRow& r) {
    if (row < 0 || row >= int(m_files.size())) return;
    m_files[std::size_t(row)] = r;
    if (m_view) m_view->FileRowChanged(row);
}

void CMainPresenter::ShowFileSelection(const std::vector<int>& rows) {
    SetFileSelection(rows);
    Notify(&IMainView::FileRowsChanged);
}

// ---------------------------------------------------------------- showing a session

void CMainPresenter::ShowSession(int p, int s, int b) {
    if (!FillBasketList(p, s)) {
        m_files.clear();
        Notify(&IMainView::FileRowsChanged);
        return;
    }
    m_selectedBasket = (b >= 0 && b < int(m_baskets.size())) ? b : -1;
    Notify(&IMainView::BasketRowsChanged);
    FillFileItemList(p, s, b);
}

bool CMainPresenter::FillBasketList(int p, int s) {
    m_data.LoadSessionFile(p, s);
    if (g_bAutoSync) {
        g_bAutoSync = false;
        WriteTrace("Auto-sync off.");
    }
    m_baskets.clear();
    m_selectedBasket = -1;
    for (const auto& name : m_data.GetBasketNames(p, s)) m_baskets.push_back({name, 0});
    Notify(&IMainView::BasketRowsChanged);
    return !m_baskets.empty();
}

void CMainPresenter::FillFileItemList(int p, int s, int b) {
    CheckFileLimit(m_data.GetSessionItemCount(p, s));
    m_files.clear();
    const std::vector<CFileItem*> items = m_data.GetBasketItemPtrs(p, s, b);
    m_files.reserve(items.size());
    for (const CFileItem* it : items) m_files.push_back({it->FileName, GetShortHostName(it->RemHost), it->GetImageIndex(), false});
    m_inFill = true;
    CheckSyncStatus();
    m_inFill = false;
    m_localSent = m_localModified.empty() ? 1 : 0;
    ReportRemoteChanges(false, false);
    m_remoteFetched = m_remoteChanges.empty() ? 1 : 0;
    SetFileSelection(m_data.GetSelection(p, s, b));
    Notify(&IMainView::FileRowsChanged);
    SetStatusText(m_data.GetSelectionStatusText(p, s, b));
}

void CMainPresenter::CheckFileLimit(int count) {
    if (count < g_nTurnOff || !g_bAutoUpdate) return;
    g_bAutoUpdate = false;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d", g_nTurnOff);
    LogMessage(std::string("+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+\r\n") + "File limit exceeded " + buf +
               " files.\r\nAuto-update forcefully turned off." + "\r\n+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+");
}

void CMainPresenter::ClearLists() {
    m_baskets.clear();
    m_files.clear();
    m_selectedBasket = -1;
    Notify(&IMainView::BasketRowsChanged);
    Notify(&IMainView::FileRowsChanged);
}

void CMainPresenter::RefreshMovedRows(int oldRow, int newRow) {
    if (newRow < 0 || newRow > int(m_files.size()) - 1) return;
    if (oldRow < 0 || oldRow > int(m_files.size()) - 1) return;
    const int p = CurP(), s = CurS(), b = CurB();
    for (int row : {oldRow, newRow}) {
        CFileItem it = m_data.GetFileItem(p, s, b, row);
        FileRow& r = m_files[std::size_t(row)];
        r.text = it.FileName;
        r.image = it.GetImageIndex();
        r.host = GetShortHostName(it.RemHost);
        r.selected = row == newRow;
        if (m_view) m_view->FileRowChanged(row);
    }
}

void CMainPresenter::FillAccountTrees(int p, int s, int c, int h) {
    if (!m_panel) return;
    m_panel->FillSessionTree(p, s);
    m_panel->FillAccountTree(c, h);
    Notify(&IMainView::TreesChanged);
}

void CMainPresenter::ShowCurrentPosition() {
    const int c = m_data.m_Vault.m_nCurrClustInd;
    int h = 0;
    if (c >= 0 && c < int(m_data.m_Vault.m_Clusters.size())) h = m_data.m_Vault.m_Clusters[std::size_t(c)].m_nHostInd;
    FillAccountTrees(CurP(), CurS(), c, h);
}

// ---------------------------------------------------------------- sync status

void CMainPresenter::CheckSyncStatus() {
    if (!g_bFtpIdle) return;
    m_localModified.clear();
    m_localMissing.clear();
    const int p = CurP(), s = CurS(), b = CurB();
    const std::vector<CFileItem*> items = m_data.GetBasketItemPtrs(p, s, b);
    const int n = int(std::min(items.size(), m_files.size()));
    const bool arrowPhase = m_blink % 2 == 0;
    const std::vector<std::string> statuses = LocalStatuses(items, n);
    for (int r = 0; r < n; ++r) {
        const CFileItem& it = *items[std::size_t(r)];
        FileRow& row = m_files[std::size_t(r)];
        const FileRow before = row;
        struct Report {
            CMainPresenter* self;
            const FileRow& before;
            const FileRow& row;
            int r;
            ~Report() {
                if (!self->m_inFill && self->m_view && (before.text != row.text || before.image != row.image))
                    self->m_view->FileRowChanged(r);
            }
        } report{this, before, row, r};
        const std::string& L = statuses[std::size_t(r)];
        const bool remMod = it.IsRemoteModified == "Yes";
        const bool remMiss = it.IsRemoteMissing == "Yes";
        if (remMod) row.image = 29;
        if (remMiss) row.image = 28;
        if (L.empty()) {
            if (StartsWithMark(row.text)) {
                row.text = it.FileName;
                row.image = it.GetImageIndex();
            }
            continue;
        }
        if (g_bAutoUpdate) {
            if (L == "LocalModified") {
                row.text = arrowPhase ? "*" + it.FileName + "<-" : "*" + it.FileName;
                row.image = arrowPhase ? 23 : (remMod ? 25 : 24);
            } else if (L == "LocalMissing") {
                row.text = arrowPhase ? "~" + it.FileName + "<-" : "~" + it.FileName;
                row.image = arrowPhase ? 25 : (remMiss ? 27 : 26);
            }
        } else {
            if (L == "LocalModified" && row.text.rfind('*', 0) != 0) {
                row.text = "*" + it.FileName;
                row.image = remMod ? 30 : 24;
            } else if (L == "LocalMissing" && row.text.rfind('~', 0) != 0) {
                row.text = "~" + it.FileName;
                row.image = remMiss ? 27 : 26;
            }
        }
        if (L == "LocalModified") m_localModified.push_back(r);
        if (L == "LocalMissing") m_localMissing.push_back(r);
    }
    m_localSent = m_localModified.empty() ? 1 : 0;
    m_localChanges = m_localModified;
    if (b >= 0 && b < int(m_baskets.size())) {
        m_baskets[std::size_t(b)].image = m_localChanges.empty() ? 0 : 2;
        if (m_view) m_view->BasketRowChanged(b);
    }
}

void CMainPresenter::UpdateBasketIcons() {
    const int p = CurP(), s = CurS(), cur = CurB();
    for (int b = 0; b < int(m_baskets.size()); ++b) {
        if (b == cur) continue;
        m_baskets[std::size_t(b)].image = m_data.GetLocalModifiedState(p, s, b);
        if (m_view) m_view->BasketRowChanged(b);
    }
}

void CMainPresenter::ReportRemoteChanges(bool report, bool reportInSync) {
    m_remoteChanges.clear();
    m_remoteMissing.clear();
    const std::vector<CFileItem*> items = m_data.GetBasketItemPtrs(CurP(), CurS(), CurB());
    const int n = int(std::min(items.size(), m_files.size()));
    for (int r = 0; r < n; ++r) {
        if (items[std::size_t(r)]->IsRemoteModified == "Yes") m_remoteChanges.push_back(r);
        if (items[std::size_t(r)]->IsRemoteMissing == "Yes") m_remoteMissing.push_back(r);
    }
    if (report) {
        const int m = int(m_remoteChanges.size()), k = int(m_remoteMissing.size());
        std::string text;
        if (m > 0) text += std::to_string(m) + " modified in remote system.\r\n";
        if (k > 0) text += std::to_string(k) + " missing in remote system.\r\n";
        if (m > 0) text += std::to_string(m) + " ready for transfer to local.";
        if (m > 0 || k > 0)
            LogMessage(text);
        else if (reportInSync)
            LogMessage("Remote files are in sync.");
    }
    m_remoteFetched = m_remoteChanges.empty() ? 1 : 0;
}

void CMainPresenter::RemoveRowsFromLocalChanges(const std::vector<int>& rows) {
    std::vector<int> kept;
    for (int r : m_localModified)
        if (std::find(rows.begin(), rows.end(), r) == rows.end()) kept.push_back(r);
    m_localModified = std::move(kept);
}

// ---------------------------------------------------------------- basket commands

void CMainPresenter::OnAddBasket() {
    if (RefuseWhileFtp()) return;
    if (!g_bAddFilesIdle) {
        LogMessage("Thread on session...[a]");
        return;
    }
    if (m_data.CreateDefaultSession() != 0) ShowCurrentPosition();
    auto name = Prompter().AskText("New Basket", "Enter Basket name:", "");
    if (!name) return;
    const int p = CurP(), s = CurS();
    // A session whose work file does not exist yet (a new one) holds its
    // baskets in memory: it counts as loaded, so the next save writes them.
    if (CSession* se = m_data.GetSessionPtr(p, s); se && !se->IsLoaded && m_data.LoadSessionFile(p, s) == 0) {
        std::error_code ec;
        if (!std::filesystem::exists(g_strSessionInfoDir + se->BoxFileName, ec)) m_data.SetSessionLoaded(p, s, true);
    }
    const int count = m_data.GetBasketCount(p, s);
    const int b = count > 0 ? CurB() + 1 : 0;
    if (!m_data.InsertBasket(*name, p, s, std::min(b, count))) return;
    m_data.SetCurrentBasket(p, s, std::min(b, count));
    ShowSession(p, s, std::min(b, count));
}

void CMainPresenter::OnRenameBasket(const std::vector<int>& selectedRows) {
    if (selectedRows.empty()) return;
    if (RefuseWhileFtp()) return;
    if (!g_bAddFilesIdle) {
        LogMessage("Thread on session...[b]");
        return;
    }
    const int p = CurP(), s = CurS(), b = CurB();
    const std::string old = m_data.GetBasketName(p, s, b);
    auto name = Prompter().AskText("Rename Basket", "Enter Basket name:", old);
    if (!name || *name == old) return;
    if (!m_data.SetBasketName(p, s, b, *name)) return;
    // The row of the renamed (current) basket follows the model.
    if (b >= 0 && b < int(m_baskets.size())) {
        m_baskets[std::size_t(b)].text = *name;
        if (m_view) m_view->BasketRowChanged(b);
    }
}

void CMainPresenter::OnDeleteBasket(const std::vector<int>& selectedRows) {
    if (selectedRows.empty()) return;
    if (RefuseWhileFtp()) return;
    if (!g_bAddFilesIdle) {
        LogMessage("Thread on session...[b]");
        return;
    }
    const Answer a = Prompter().AskDefaultNo(
        "Are you sure you want to delete the basket?\r\n\r\n"
        "This will remove the basket and all of its file information.\r\n"
        "Select No, if you are not sure.",
        MsgIcon::Stop);
    if (a != Answer::Yes) return;
    const int p = CurP(), s = CurS();
    std::vector<int> rows = selectedRows;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (int(rows.size()) >= int(m_baskets.size())) {
        m_data.DeleteAllBaskets(p, s);
        ClearLists();
        return;
    }
    int last = -1;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const int idx = rows[k] - int(k);
        if (m_data.DeleteBasket(p, s, idx)) {
            m_baskets.erase(m_baskets.begin() + idx);
            last = idx;
        }
    }
    if (last < 0) return;
    if (last > int(m_baskets.size()) - 1) last = int(m_baskets.size()) - 1;
    m_selectedBasket = last;
    m_data.SetCurrentBasket(p, s, last);
    Notify(&IMainView::BasketRowsChanged);
    FillFileItemList(p, s, last);
}

void CMainPresenter::OnSortBaskets(bool fromHeaderClick) {
    if (fromHeaderClick) {
        if (RefuseWhileFtp()) return;
        if (!g_bAddFilesIdle) {
            LogMessage("Thread on session...[b]");
            return;
        }
        if (Prompter().Ask("This will sort the selected items.\r\nAre you sure?", MsgIcon::Question,
                           false) != Answer::Yes)
            return;
    }
    const int p = CurP(), s = CurS();
    m_data.SortBaskets(p, s);
    ShowSession(p, s, CurB());
    SetStatusText(m_data.GetSelectionStatusText(p, s, CurB()));
}

void CMainPresenter::OnMoveItemsToBasket(int target) {
    // The transfer worker works on the rows of the shown basket.
    if (RefuseWhileFtp()) return;
    const int p = CurP(), s = CurS(), b = CurB();
    if (!m_data.IsValidBasket(false, p, s, target)) return;
    std::vector<int> rows = SelectedFileRows();
    std::vector<CFileItem> held;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const int idx = rows[k] - int(k);
        held.push_back(m_data.GetFileItem(p, s, b, idx));
        m_data.RemoveFileItem(p, s, b, idx);
        if (idx < int(m_files.size())) m_files.erase(m_files.begin() + idx);
    }
    m_data.ClearSelection(p, s, b);
    for (const auto& it : held) m_data.InsertFileItems(p, s, target, m_data.GetFileItemCount(p, s, target), it);
    if (target == b || !held.empty()) FillFileItemList(p, s, b);
}

void CMainPresenter::OnBasketClicked(const std::vector<int>& selectedRows) {
    Prompter().SetWaitCursor(true);
    if (!g_bFtpIdle || !g_bAddFilesIdle) {
        LogMessage(!g_bFtpIdle ? "Thread on session...[1f]" : "Thread on session...[1]");
        // The list shows the current basket selected again, not the clicked row.
        Notify(&IMainView::BasketRowsChanged);
    } else if (!selectedRows.empty() && selectedRows.front() != CurB()) {
        const int p = CurP(), s = CurS(), b = selectedRows.front();
        m_data.SetCurrentBasket(p, s, b);
        m_selectedBasket = b;
        FillFileItemList(p, s, b);
        ReportRemoteChanges(true, false);
        SetStatusText(m_data.GetSelectionStatusText(p, s, b));
    }
    Prompter().SetWaitCursor(false);
}

bool CMainPresenter::OnBasketListKey(BasketKey key, const std::vector<int>& selectedRows) {
    switch (key) {
        case BasketKey::SelectAll: return true;
        case BasketKey::Enter: OnRenameBasket(selectedRows); return false;
        case BasketKey::Delete: OnDeleteBasket(selectedRows); return false;
        case BasketKey::Up:
        case BasketKey::Down: {
            // Moving to another basket is refused while a transfer works on this one.
            if (!g_bFtpIdle) {
                LogMessage("Thread on session...[1f]");
                return false;
            }
            if (!g_bAddFilesIdle) {
                LogMessage("Thread on session...[1]");
                return false;
            }
            const int p = CurP(), s = CurS(), b = CurB();
            int nb = b;
            if (key == BasketKey::Up && b > 0) nb = b - 1;
            if (key == BasketKey::Down && b < int(m_baskets.size()) - 1) nb = b + 1;
            if (nb == b) return false;
            m_data.SetCurrentBasket(p, s, nb);
            m_selectedBasket = nb;
            Notify(&IMainView::BasketRowsChanged);
            FillFileItemList(p, s, nb);
            return false;
        }
        default: return false;
    }
}

// ---------------------------------------------------------------- load and save

void CMainPresenter::InitialLoad() {
    LoadProgramData();
    if (s_createSampleLibrary)
        s_createSampleLibrary(m_data);
    else
        CreateSampleLibrary(m_data.m_LibraryList);
    // The macro of the work pad starts from its placeholder texts.
    CurrentMacro = CMacro("Find Text", "Replace Text", 1, 0, 0, 0, 0, 0, 0, 1);
}

void CMainPresenter::LoadProgramData() {
    // What an earlier run that was killed mid-way left behind, before any
    // save can empty the temporary folder.
    RestoreParkedFiles(RenameTempFolder());
    std::vector<std::string> written{g_strSessionInfoDir, g_strSessionBackUpDir, g_strLibraryInfoDir,
                                     g_strDeprecatedDir,  g_strUserInfoDir,      g_strWorkFilesDir,
                                     g_strLoadingAreaDir, g_strLoadingBackUpDir, g_strLoadingTempDir,
                                     g_strCmdAreaDir,     g_strBufferTextDir,    g_sDefaultLocalDir};
    m_data.LoadMasterFile();
    DropWorkFilePrefetch();
    // The local folders of the session shown at start are written by its
    // transfers too.
    for (int b = 0; b < m_data.GetBasketCount(CurP(), CurS()) && written.size() < 256; ++b)
        for (const CFileItem* it : m_data.GetBasketItemPtrs(CurP(), CurS(), b))
            if (!it->LocalDir.empty() && std::find(written.begin(), written.end(), it->LocalDir) == written.end())
                written.push_back(it->LocalDir);
    FolderPartNames parts;
    RestoreHiddenParkedFiles(written, &parts);
    SweepStalePartFiles(written, ProgramStartTime(), &parts);
    m_data.LoadLibraryFile(g_strLibraryInfoDir + kLibraryFileName, false);
    m_data.LoadLibrariesFromLoadingArea();
    const int p = CurP(), s = CurS();
    m_data.SelectSessionHost(p, s);
    m_nLastProject = p;
    m_nLastSession = s;
    m_nLastBasket = CurB();
    ShowCurrentPosition();
    ShowSession(p, s, CurB());
    g_bAutoSync = false;
    WriteTrace("Auto-sync off.");
    // A file a stopped send left cut on a server (the window was closed
    // while it went) is named at every start until it is sent whole.
    NameCutRemoteFiles();
}

bool CMainPresenter::WriteMasterFile(const std::string& path) {
    const bool master = m_data.SaveMasterFile(path);
    const bool library = m_data.SaveLibraryFile(g_strLibraryInfoDir + kLibraryFileName);
    return master && library;
}

bool CMainPresenter::SaveProgramData() {
    const bool ok = WriteMasterFile(g_strSessionInfoDir + kMasterFileName);
    if (ok) BeepDone();
    return ok;
}

bool CMainPresenter::SaveUserInformation() {
    Prompter().SetWaitCursor(true);
    const std::string first = g_strSessionInfoDir + kMasterFileName;
    const std::string second = g_strSessionBackUpDir + kMasterFileName;
    const bool ok1 = WriteMasterFile(first);
    const bool ok2 = WriteMasterFile(second);
    Prompter().SetWaitCursor(false);
    if (!ok1 || !ok2) {
        LogMessage("-?- Saving user-information failed.");
        return false;
    }
    LogMessage("Saved user-information:");
    LogMessage("Seesions:  " + first);
    LogMessage("Backups:   " + second);
    LogMessage("Libraries: " + g_strLibraryInfoDir + kLibraryFileName);
    BeepDone();
    return true;
}

bool CMainPresenter::CloseSteps(const std::function<void()>& saveBarState,
                                const std::function<bool()>& closeUnsaved) {
    if (!SaveProgramData() && closeUnsaved && !closeUnsaved()) return false;
    if (s_dumpTextBuffer) s_dumpTextBuffer(0);
    if (saveBarState) saveBarState();
    LogMessage("Closing...");
    return true;
}
