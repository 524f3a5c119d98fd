// The program data object: index checks, the session tree and the file items.
#include "model/ProgramData.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "model/Globals.h"
#include "model/KeyValue.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

namespace {
int Count(size_t n) { return static_cast<int>(n); }

// Drops selection entries that name no item and repeated entries (the first
// occurrence stays).
std::vector<int> CleanSelection(const std::vector<int>& sel, int count) {
    std::vector<int> out;
    for (int i : sel)
        if (i >= 0 && i < count && std::find(out.begin(), out.end(), i) == out.end()) out.push_back(i);
    return out;
}
}  // namespace

CProgramData g_EngineProgramData;

bool IsStorableName(const std::string& name) {
    return name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// ---------------------------------------------------------------- checks

bool CProgramData::IsValidProject(bool allowEnd, int p) const {
    const int n = Count(m_ProjectList.m_Projects.size());
    return (p >= 0 && p < n) || (allowEnd && p == n);
}

bool CProgramData::IsValidSession(bool allowEnd, int p, int s) const {
    if (!IsValidProject(false, p)) return false;
    const int n = Count(m_ProjectList.m_Projects[p].m_Sessions.size());
    return (s >= 0 && s < n) || (allowEnd && s == n);
}

bool CProgramData::IsValidBasket(bool allowEnd, int p, int s, int b) const {
    if (!IsValidSession(false, p, s)) return false;
    const int n = Count(m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets.size());
    return (b >= 0 && b < n) || (allowEnd && b == n);
}

bool CProgramData::IsValidFileItem(bool allowEnd, int p, int s, int b, int f) const {
    if (!IsValidBasket(false, p, s, b)) return false;
    const int n = Count(m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets[b].m_Items.size());
    return (f >= 0 && f < n) || (allowEnd && f == n);
}

CProject* CProgramData::ProjectPtr(int p) {
    return IsValidProject(false, p) ? &m_ProjectList.m_Projects[p] : nullptr;
}
const CProject* CProgramData::ProjectPtr(int p) const {
    return IsValidProject(false, p) ? &m_ProjectList.m_Projects[p] : nullptr;
}
CFileBasket* CProgramData::BasketPtr(int p, int s, int b) {
    return IsValidBasket(false, p, s, b) ? &m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets[b]
                                         : nullptr;
}
const CFileBasket* CProgramData::BasketPtr(int p, int s, int b) const {
    return IsValidBasket(false, p, s, b) ? &m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets[b]
                                         : nullptr;
}

// ---------------------------------------------------------------- tree

std::vector<std::string> CProgramData::GetBoxFileNamesInUse(bool withDisk) const {
    std::vector<std::string> names;
    for (const auto& pr : m_ProjectList.m_Projects)
        for (const auto& se : pr.m_Sessions) names.push_back(se.BoxFileName);
    if (withDisk && !g_strSessionInfoDir.empty())
        for (auto& n : ListFiles(g_strSessionInfoDir, "Box*.txt")) names.push_back(n);
    return names;
}

bool CProgramData::SaveSessionWorkFile(int p, int s) {
    CSession* se = GetSessionPtr(p, s);
    if (!se) return false;
    const std::string path = g_strSessionInfoDir + se->BoxFileName;
    std::string error;
    if (IsSafeBoxFileName(se->BoxFileName) && se->WriteTo(path, s, p, error)) return true;
    if (error.empty()) error = "bad work-file name (" + path + ")";
    WriteTraceString("Failed to write session info to file: " + error);
    // The session's items are only in memory now: they go to a new name
    // beside the old one, never over a file that is there or over the name
    // of another session.
    // A name that is too long for the folder (kept from an older build) gives
    // way to a fresh one.
    std::string stem = IsSafeBoxFileName(se->BoxFileName) && se->BoxFileName.size() <= kMostBoxFileName
                           ? se->BoxFileName
                           : se->MakeBoxFileName(p, s, {});
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".txt") == 0) stem.resize(stem.size() - 4);
    // A spare name that fails in its turn gives the next number, not a longer name.
    if (stem.size() > 3 && stem[stem.size() - 3] == '-' && std::isdigit(static_cast<unsigned char>(stem.end()[-2])) &&
        std::isdigit(static_cast<unsigned char>(stem.back())))
        stem.resize(stem.size() - 3);
    const std::vector<std::string> inUse = GetBoxFileNamesInUse(false);
    for (int n = 1; n < 100; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%02d.txt", n);
        const std::string name = stem + suffix, spare = g_strSessionInfoDir + name;
        struct stat st {};
        if (std::find(inUse.begin(), inUse.end(), name) != inUse.end() || ::lstat(spare.c_str(), &st) == 0 ||
            errno != ENOENT)
            continue;
        std::string why;
        if (!se->WriteTo(spare, s, p, why)) {
            // A folder that refuses one new file refuses them all.
            WriteTraceString("Failed to write session info to file: " + why);
            break;
        }
        se->BoxFileName = name;
        WriteTraceString("Session \"" + se->SessionName + "\" saved in " + spare + " instead.");
        Prompter().Message("Failed to write session info to file.\r\n" + error + "\r\n\r\nThe session \"" +
                               se->SessionName + "\" was saved in\r\n" + spare +
                               "\r\ninstead, and is kept there from now on.",
                           MsgIcon::Warning);
        return true;
    }
    Prompter().Message("Failed to write session info to file.", MsgIcon::Stop);
    return false;
}

bool CProgramData::InsertProject(const std::string& name, int p) {
    if (!IsValidProject(true, p) || !IsStorableName(name)) return false;
    m_ProjectList.m_Projects.insert(m_ProjectList.m_Projects.begin() + p, CProject(name));
    return true;
}

bool CProgramData::InsertSession(const std::string& name, int p, int s) {
    if (!IsValidSession(true, p, s) || !IsStorableName(name)) return false;
    CSession session;
    session.SessionName = name;
    std::vector<std::string> inUse = GetBoxFileNamesInUse(true);
    session.SetBoxFileName(p, s, inUse);
    auto& v = m_ProjectList.m_Projects[p].m_Sessions;
    v.insert(v.begin() + s, std::move(session));
    return true;
}

bool CProgramData::InsertSessionCopy(CSession session, int p, int s) {
    if (!IsValidSession(true, p, s)) return false;
    std::vector<std::string> inUse = GetBoxFileNamesInUse(true);
    session.SetBoxFileName(p, s, inUse);
    session.IsLoaded = true;
    auto& v = m_ProjectList.m_Projects[p].m_Sessions;
    v.insert(v.begin() + s, std::move(session));
    return true;
}

bool CProgramData::InsertBasket(const std::string& name, int p, int s, int b) {
    if (!IsValidBasket(true, p, s, b) || !IsStorableName(name)) return false;
    auto& v = m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets;
    v.insert(v.begin() + b, CFileBasket(name));
    return true;
}

bool CProgramData::DeleteProject(int p) {
    if (!IsValidProject(false, p)) return false;
    m_ProjectList.m_Projects.erase(m_ProjectList.m_Projects.begin() + p);
    return true;
}

bool CProgramData::DeleteSession(int p, int s) {
    if (!IsValidSession(false, p, s)) return false;
    auto& v = m_ProjectList.m_Projects[p].m_Sessions;
    const std::string name = v[s].BoxFileName;
    v.erase(v.begin() + s);
    if (!IsSafeBoxFileName(name)) return true;
    const std::string source = g_strSessionInfoDir + name;
    const std::string target = g_strDeprecatedDir + name;
    if (!IsRegularFile(source)) return true;
    CreateFolderPath(g_strDeprecatedDir, 0700);
    std::string error;
    if (!RenameReplace(source, target, error)) {
        WriteTraceString("Failed to move " + source + ": " + error);
        Prompter().Message("Failed to move " + source + " to " + target + ": " + error, MsgIcon::Stop);
        return false;
    }
    return true;
}

bool CProgramData::DeleteBasket(int p, int s, int b) {
    if (!IsValidBasket(false, p, s, b)) return false;
    auto& v = m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets;
    v.erase(v.begin() + b);
    return true;
}

bool CProgramData::DeleteAllBaskets(int p, int s) {
    if (!IsValidSession(false, p, s)) return false;
    m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets.clear();
    return true;
}

int CProgramData::GetProjectCount() const { return Count(m_ProjectList.m_Projects.size()); }

std::string CProgramData::GetProjectName(int p) const {
    const CProject* pr = ProjectPtr(p);
    return pr ? pr->m_strName : std::string();
}

bool CProgramData::SetProjectName(int p, const std::string& name) {
    CProject* pr = ProjectPtr(p);
    if (!pr || !IsStorableName(name)) return false;
    pr->m_strName = name;
    return true;
}

int CProgramData::GetSessionCount(int p) const {
    const CProject* pr = ProjectPtr(p);
    return pr ? Count(pr->m_Sessions.size()) : 0;
}

std::string CProgramData::GetSessionName(int p, int s) const {
    return IsValidSession(false, p, s) ? m_ProjectList.m_Projects[p].m_Sessions[s].SessionName : "";
}

bool CProgramData::SetSessionName(int p, int s, const std::string& name) {
    if (!IsValidSession(false, p, s) || !IsStorableName(name)) return false;
    m_ProjectList.m_Projects[p].m_Sessions[s].SessionName = name;
    return true;
}

int CProgramData::GetBasketCount(int p, int s) const {
    return IsValidSession(false, p, s)
               ? Count(m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets.size())
               : 0;
}

std::string CProgramData::GetBasketName(int p, int s, int b) const {
    const CFileBasket* bk = BasketPtr(p, s, b);
    return bk ? bk->BasketName : std::string();
}

bool CProgramData::SetBasketName(int p, int s, int b, const std::string& name) {
    CFileBasket* bk = BasketPtr(p, s, b);
    if (!bk || !IsStorableName(name)) return false;
    bk->BasketName = name;
    return true;
}

std::string CProgramData::GetBoxFileName(int p, int s) const {
    return IsValidSession(false, p, s) ? m_ProjectList.m_Projects[p].m_Sessions[s].BoxFileName : "";
}

std::string CProgramData::MakeBoxFileName(int p, int s) const {
    if (!IsValidSession(false, p, s)) return "-?-";
    return m_ProjectList.m_Projects[p].m_Sessions[s].MakeBoxFileName(p, s, {});
}

void CProgramData::SetSessionBox(int p, int s, const std::string& name) {
    if (IsValidSession(false, p, s)) m_ProjectList.m_Projects[p].m_Sessions[s].BoxFileName = name;
}

void CProgramData::SetSessionLoaded(int p, int s, bool loaded) {
    if (IsValidSession(false, p, s)) m_ProjectList.m_Projects[p].m_Sessions[s].IsLoaded = loaded;
}

void CProgramData::SetSessionRemoteDir(int p, int s, const std::string& folder) {
    if (IsValidSession(false, p, s)) m_ProjectList.m_Projects[p].m_Sessions[s].RemoteDir = folder;
}

void CProgramData::SetCurrentBasket(int p, int s, int b) {
    if (IsValidSession(false, p, s)) m_ProjectList.m_Projects[p].m_Sessions[s].BasketInd = b;
}

int CProgramData::GetCurProject() const { return m_ProjectList.m_nProjInd; }

int CProgramData::GetCurSession() const {
    const CProject* pr = ProjectPtr(m_ProjectList.m_nProjInd);
    return pr ? pr->m_nSessInd : 0;
}

int CProgramData::GetCurBasket() const {
    const int p = GetCurProject(), s = GetCurSession();
    return IsValidSession(false, p, s) ? m_ProjectList.m_Projects[p].m_Sessions[s].BasketInd : 0;
}

void CProgramData::SetCurProject(int p) { m_ProjectList.m_nProjInd = p; }

void CProgramData::SetCurSession(int p, int s) {
    if (CProject* pr = ProjectPtr(p)) pr->m_nSessInd = s;
}

CSession* CProgramData::GetSessionPtr(int p, int s) {
    return IsValidSession(false, p, s) ? &m_ProjectList.m_Projects[p].m_Sessions[s] : nullptr;
}

CSession CProgramData::GetSession(int p, int s) const {
    return IsValidSession(false, p, s) ? m_ProjectList.m_Projects[p].m_Sessions[s] : CSession();
}

bool CProgramData::GetFirstSession(CSession& out) const {
    // The first session that exists: projects without one (a project added
    // on the root stands first) are passed over.
    for (const auto& project : m_ProjectList.m_Projects)
        if (!project.m_Sessions.empty()) {
            out = project.m_Sessions.front();
            return true;
        }
    return false;
}

std::vector<CFileItem> CProgramData::GetBasketItems(int p, int s, int b) const {
    const CFileBasket* bk = BasketPtr(p, s, b);
    return bk ? bk->m_Items : std::vector<CFileItem>();
}

std::vector<CFileItem*> CProgramData::GetBasketItemPtrs(int p, int s, int b) {
    std::vector<CFileItem*> out;
    if (CFileBasket* bk = BasketPtr(p, s, b))
        for (auto& it : bk->m_Items) out.push_back(&it);
    return out;
}

int CProgramData::GetFileItemCount(int p, int s, int b) const {
    const CFileBasket* bk = BasketPtr(p, s, b);
    return bk ? Count(bk->m_Items.size()) : 0;
}

int CProgramData::GetSessionItemCount(int p, int s) const {
    if (!IsValidSession(false, p, s)) return 0;
    int n = 0;
    for (const auto& bk : m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets) n += Count(bk.m_Items.size());
    return n;
}

CFileItem CProgramData::GetFileItem(int p, int s, int b, int f) const {
    if (!IsValidFileItem(false, p, s, b, f)) return CFileItem();
    return m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets[b].m_Items[f];
}

CFileItem* CProgramData::GetFileItemPtr(int p, int s, int b, int f) {
    if (!IsValidFileItem(false, p, s, b, f)) return nullptr;
    return &m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets[b].m_Items[f];
}

std::vector<std::string> CProgramData::GetBasketFileNames(int p, int s, int b) const {
    std::vector<std::string> out;
    if (const CFileBasket* bk = BasketPtr(p, s, b))
        for (const auto& it : bk->m_Items) out.push_back(it.FileName);
    return out;
}

std::vector<std::string> CProgramData::GetBasketNames(int p, int s) const {
    std::vector<std::string> out;
    if (IsValidSession(false, p, s))
        for (const auto& bk : m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets)
            out.push_back(bk.BasketName);
    return out;
}

bool CProgramData::BasketHasLocalModified(int p, int s, int b) const {
    if (const CFileBasket* bk = BasketPtr(p, s, b))
        for (const auto& it : bk->m_Items)
            if (it.GetLocalStatus() == "LocalModified") return true;
    return false;
}

int CProgramData::GetLocalModifiedState(int p, int s, int b) const {
    return BasketHasLocalModified(p, s, b) ? 2 : 0;
}

std::vector<SessionChooserEntry> CProgramData::ListSessionsForChooser() const {
    std::vector<SessionChooserEntry> out;
    for (const auto& pr : m_ProjectList.m_Projects)
        for (size_t s = 0; s < pr.m_Sessions.size(); ++s)
            out.push_back({std::to_string(s + 1), pr.m_strName, pr.m_Sessions[s].SessionName,
                           pr.m_Sessions[s].IsLoaded});
    return out;
}

// ---------------------------------------------------------------- selections

std::vector<int> CProgramData::GetSelection(int p, int s, int b) const {
    const CFileBasket* bk = BasketPtr(p, s, b);
    return bk ? bk->m_Selection : std::vector<int>();
}

std::vector<int> CProgramData::GetCurrentSelection() const {
    return GetSelection(GetCurProject(), GetCurSession(), GetCurBasket());
}

void CProgramData::SetSelection(int p, int s, int b, const std::vector<int>& selection) {
    if (CFileBasket* bk = BasketPtr(p, s, b)) bk->m_Selection = selection;
}

void CProgramData::ClearSelection(int p, int s, int b) {
    if (CFileBasket* bk = BasketPtr(p, s, b)) bk->m_Selection.clear();
}

std::string GetShortHostName(const std::string& host) {
    if (host.empty() || std::isdigit(static_cast<unsigned char>(host[0]))) return host;
    const auto dot = host.find('.');
    return dot == std::string::npos || dot == 0 ? host : host.substr(0, dot);
}

std::string CProgramData::GetSelectionStatusText(int p, int s, int b) {
    CFileBasket* bk = BasketPtr(p, s, b);
    if (!bk) return "-?-";
    const int count = Count(bk->m_Items.size());
    for (int i : bk->m_Selection)
        if (i >= count) {
            WriteTraceString("Fixing mess...");
            bk->m_Selection.clear();
            return "---?---";
        }
    if (bk->m_Selection.empty()) return "0 file selected";
    std::set<std::string> hosts;
    for (int i : bk->m_Selection)
        if (i >= 0) hosts.insert(bk->m_Items[size_t(i)].RemHost);
    std::string names;
    for (const std::string& h : hosts) names += (names.empty() ? "" : ", ") + GetShortHostName(h);
    return std::to_string(bk->m_Selection.size()) + " selected (" + names + ")";
}

// ---------------------------------------------------------------- current connection

void CProgramData::SelectSessionHost(int p, int s) {
    if (!IsValidSession(false, p, s)) return;
    const CSession& se = m_ProjectList.m_Projects[p].m_Sessions[s];
    const std::string host = se.Host, user = se.User, folder = se.RemoteDir;
    SetVaultLastFolder(host, user, folder);
    if (!FindVaultHost(host, user, g_CurrentAccount)) {
        g_CurrentAccount.m_strHost = host;
        g_CurrentAccount.m_strHostType.clear();
        g_CurrentAccount.m_strUser = user;
        g_CurrentAccount.m_strPassword.clear();
        g_CurrentAccount.m_strLastFolder = folder;
    }
    g_sDefaultLocalDir = se.LocalDir;
}

void CProgramData::SetCurrentHost(int c, int h) {
    const CHost* host = GetHostPtr(c, h);
    if (!host) return;
    g_CurrentAccount = *host;
    if (CSession* se = GetSessionPtr(GetCurProject(), GetCurSession())) {
        se->Host = host->m_strHost;
        se->User = host->m_strUser;
        se->RemoteDir = host->m_strLastFolder;
    }
}

void CProgramData::ApplyCurrentHostToSession(int p, int s) {
    CSession* se = GetSessionPtr(p, s);
    if (!se) return;
    // Without a current connection there is nothing to take over, and an
    // empty folder never replaces the session's own.
    if (g_CurrentAccount.m_strHost.empty() || g_CurrentAccount.m_strUser.empty()) return;
    se->Host = g_CurrentAccount.m_strHost;
    se->User = g_CurrentAccount.m_strUser;
    if (!g_CurrentAccount.m_strLastFolder.empty()) se->RemoteDir = g_CurrentAccount.m_strLastFolder;
    if (!g_sDefaultLocalDir.empty()) se->LocalDir = g_sDefaultLocalDir;
}

void CProgramData::FillEmptyItemDirs(int p, int s) {
    CSession* se = GetSessionPtr(p, s);
    if (!se) return;
    for (auto& bk : se->m_Baskets)
        for (auto& it : bk.m_Items) {
            if (it.LocalDir.empty()) it.LocalDir = se->LocalDir;
            if (it.RemoteDir.empty()) it.RemoteDir = se->RemoteDir;
        }
}

// ---------------------------------------------------------------- items

bool CProgramData::InsertFileItems(int p, int s, int b, int pos, const CFileItem& item) {
    CFileBasket* bk = BasketPtr(p, s, b);
    if (!bk) return false;
    const int n = Count(bk->m_Items.size());
    if (pos < 0 || pos > n) pos = n;
    bk->m_Items.insert(bk->m_Items.begin() + pos, item);
    return true;
}

bool CProgramData::DeleteFileItem(int p, int s, int b, int f) {
    if (!IsValidFileItem(false, p, s, b, f)) return false;
    CFileBasket* bk = BasketPtr(p, s, b);
    bk->m_Items.erase(bk->m_Items.begin() + f);
    // The selection follows: the deleted item leaves it, later ones move down.
    std::vector<int> sel;
    for (int i : bk->m_Selection) {
        if (i == f) continue;
        sel.push_back(i > f ? i - 1 : i);
    }
    bk->m_Selection = CleanSelection(sel, Count(bk->m_Items.size()));
    return true;
}

std::vector<CFileItem>* CProgramData::ClearBasketItems(int p, int s, int b) {
    CFileBasket* bk = BasketPtr(p, s, b);
    if (!bk) return nullptr;
    bk->m_Items.clear();
    bk->m_Selection.clear();
    return &bk->m_Items;
}

bool CProgramData::SwapItems(int p, int s, int b, int f1, int f2, int k, int delta) {
    CFileBasket* bk = BasketPtr(p, s, b);
    if (!bk) return false;
    const int n = Count(bk->m_Items.size());
    if (f1 < 0 || f1 >= n || f2 < 0 || f2 >= n) return false;
    std::swap(bk->m_Items[f1], bk->m_Items[f2]);
    if (k >= 0 && k < Count(bk->m_Selection.size())) bk->m_Selection[k] += delta;
    return true;
}

void CProgramData::SetFileName(int p, int s, int b, int f, const std::string& name) {
    if (CFileItem* it = GetFileItemPtr(p, s, b, f)) it->FileName = name;
}
void CProgramData::SetLocalDir(int p, int s, int b, int f, const std::string& folder) {
    if (CFileItem* it = GetFileItemPtr(p, s, b, f)) it->LocalDir = folder;
}
void CProgramData::SetRemoteModified(int p, int s, int b, int f, const std::string& value) {
    if (CFileItem* it = GetFileItemPtr(p, s, b, f)) it->IsRemoteModified = value;
}
void CProgramData::SetRemoteMissing(int p, int s, int b, int f, const std::string& value) {
    if (CFileItem* it = GetFileItemPtr(p, s, b, f)) it->IsRemoteMissing = value;
}

void CProgramData::ToggleItemFlag(int p, int s, int b, int f) {
    if (CFileItem* it = GetFileItemPtr(p, s, b, f)) it->IsBatFile = !it->IsBatFile;
}

void CProgramData::ToggleAsciiBinary(int p, int s, int b, int f, bool ctrlDown) {
    CFileItem* it = GetFileItemPtr(p, s, b, f);
    if (!it) return;
    it->IsBinaryFile = ctrlDown ? true : !it->IsBinaryFile;
    WriteTraceString(it->IsBinaryFile ? "Now BINARY: " + it->FileName : "Now ASCII:  " + it->FileName);
}

void CProgramData::TogglePinned(int p, int s, int b, int f, int n) {
    CFileItem* it = GetFileItemPtr(p, s, b, f);
    if (!it) return;
    if (n >= 1 && n <= 8)
        it->IsPinned = "IsPinned" + std::to_string(n);
    else
        it->IsPinned.clear();
}

bool CProgramData::IsItemLocallyChanged(int p, int s, int b, int f) const {
    if (!IsValidFileItem(false, p, s, b, f)) return false;
    return m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets[b].m_Items[f].IsLocallyChanged();
}

int CProgramData::CountLocallyChanged(int p, int s, int b) const {
    if (!IsValidBasket(false, p, s, b)) return 0;
    int n = 0;
    for (const auto& bk : m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets)
        for (const auto& it : bk.m_Items)
            if (it.IsLocallyChanged()) ++n;
    return n;
}

void CProgramData::ChangeFileNameCase(int p, int s, int b, const std::vector<int>& sel, int mode,
                                      const std::string& text) {
    CFileBasket* bk = BasketPtr(p, s, b);
    if (!bk) return;
    if (mode == 3 && text.empty()) return;
    for (int i : CleanSelection(sel, Count(bk->m_Items.size()))) {
        CFileItem& it = bk->m_Items[i];
        if (mode == 1) it.FileName = ToLowerAscii(it.FileName);
        else if (mode == 2) it.FileName = ToUpperAscii(it.FileName);
        else if (mode == 3) it.FileName = text;
    }
}

void CProgramData::CopyRemoteLocation(int p, int s, int b, const std::vector<int>& sel, int p2,
                                      int s2, int b2, int f2) {
    CFileBasket* bk = BasketPtr(p, s, b);
    if (!bk || !IsValidFileItem(false, p2, s2, b2, f2)) return;
    const CFileItem src = GetFileItem(p2, s2, b2, f2);
    for (int i : CleanSelection(sel, Count(bk->m_Items.size()))) {
        bk->m_Items[i].RemHost = src.RemHost;
        bk->m_Items[i].RemUser = src.RemUser;
        bk->m_Items[i].RemoteDir = src.RemoteDir;
    }
}

bool CProgramData::SetItemDirsFromOutput(int p, int s, int b, const std::vector<int>& sel, int mode,
                                         const std::string& outputText) {
    CFileBasket* bk = BasketPtr(p, s, b);
    if (!bk) return false;
    // Lines as the Output window holds them: CR LF, a lone LF or a lone CR
    // ends a line.
    std::vector<std::string> lines;
    if (!outputText.empty()) {
        std::string line;
        for (size_t k = 0; k < outputText.size(); ++k) {
            const char c = outputText[k];
            if (c == '\r' || c == '\n') {
                lines.push_back(line);
                line.clear();
                if (c == '\r' && k + 1 < outputText.size() && outputText[k + 1] == '\n') ++k;
            } else {
                line += c;
            }
        }
        lines.push_back(line);
    }
    if (lines.size() < sel.size()) {
        Prompter().Message("Insufficient number of lines in Output Window.", MsgIcon::Info);
        return false;
    }
    for (size_t k = 0; k < sel.size(); ++k) {
        int i = sel[k];
        if (i < 0 || i >= Count(bk->m_Items.size())) continue;
        // A folder is joined to the file name: it ends with its separator.
        std::string dir = lines[k];
        const bool vms = mode == 2 && !dir.empty() && dir.back() == ']';
        if (!dir.empty() && dir.back() != '/' && !vms) dir += '/';
        if (mode == 1) bk->m_Items[i].LocalDir = dir;
        else if (mode == 2) bk->m_Items[i].RemoteDir = dir;
    }
    Prompter().Message("Successful.", MsgIcon::Info);
    return true;
}

namespace {
int CompareKey(const std::string& a, const std::string& b) {
    const std::string x = g_bSortMatchCase ? a : ToLowerAscii(a);
    const std::string y = g_bSortMatchCase ? b : ToLowerAscii(b);
    return x.compare(y) < 0 ? -1 : (x == y ? 0 : 1);
}

bool Primary(int cmp) { return g_bSortAscend ? cmp < 0 : cmp > 0; }

// Tie-breaks: smallest first, case-sensitive, whatever the direction.
bool TieBreak(std::initializer_list<std::pair<const std::string*, const std::string*>> keys) {
    for (const auto& [a, b] : keys) {
        if (*a != *b) return *a < *b;
    }
    return false;
}

bool ItemBefore(const CFileItem& a, const CFileItem& b, int kind) {
    switch (kind) {
    case 0: {
        int c = CompareKey(a.FileName, b.FileName);
        if (c != 0) return Primary(c);
        return TieBreak({{&a.LocalDir, &b.LocalDir}, {&a.RemoteDir, &b.RemoteDir}});
    }
    case 1: {
        int c = CompareKey(a.RemHost, b.RemHost);
        if (c != 0) return Primary(c);
        if (a.RemHost != b.RemHost) return false;
        return TieBreak({{&a.FileName, &b.FileName}, {&a.LocalDir, &b.LocalDir}, {&a.RemoteDir, &b.RemoteDir}});
    }
    case 2: {
        size_t la = a.FileName.size(), lb = b.FileName.size();
        if (la != lb) return g_bSortAscend ? la < lb : la > lb;
        return TieBreak({{&a.FileName, &b.FileName}, {&a.RemHost, &b.RemHost}});
    }
    default:
        return false;
    }
}
}  // namespace

void CProgramData::SortSelectedItems(int p, int s, int b, const std::vector<int>& sel, int kind) {
    CFileBasket* bk = BasketPtr(p, s, b);
    if (!bk) return;
    // A repeated or stale entry would copy one item over another.
    const std::vector<int> clean = CleanSelection(sel, Count(bk->m_Items.size()));
    std::vector<CFileItem> list;
    for (int i : clean) list.push_back(bk->m_Items[i]);
    if (kind >= 0 && kind <= 2)
        std::stable_sort(list.begin(), list.end(),
                  [kind](const CFileItem& x, const CFileItem& y) { return ItemBefore(x, y, kind); });
    for (size_t k = 0; k < clean.size(); ++k) bk->m_Items[clean[k]] = list[k];
}

void CProgramData::SortBaskets(int p, int s) {
    CSession* se = GetSessionPtr(p, s);
    if (!se) return;
    std::stable_sort(se->m_Baskets.begin(), se->m_Baskets.end(), [](const CFileBasket& a, const CFileBasket& b) {
        int c = CompareKey(a.BasketName, b.BasketName);
        return c != 0 && Primary(c);
    });
}

std::string CProgramData::GetFileItemStatusText(int p, int s, int b, int f) const {
    if (!IsValidFileItem(false, p, s, b, f)) return "";
    return GetFileItem(p, s, b, f).GetShortReport();
}

std::string CProgramData::GetFileItemReport(int p, int s, int b, int f) {
    if (!IsValidFileItem(false, p, s, b, f)) return "";
    const CFileItem it = GetFileItem(p, s, b, f);
    return it.GetLongReport(GetHostType(it.RemHost, it.RemUser));
}

void CProgramData::ApplyTransferStatus(const CFileItem& item) {
    for (auto& pr : m_ProjectList.m_Projects)
        for (auto& se : pr.m_Sessions) {
            if (!se.IsLoaded) continue;
            for (auto& bk : se.m_Baskets)
                for (auto& it : bk.m_Items)
                    if (IsSameFile(it, item)) it.IsFTPed = item.IsFTPed;
        }
}

void CProgramData::ApplyTransferTimes(const CFileItem& item) {
    for (auto& pr : m_ProjectList.m_Projects)
        for (auto& se : pr.m_Sessions) {
            if (!se.IsLoaded) continue;
            for (auto& bk : se.m_Baskets)
                for (auto& it : bk.m_Items)
                    if (IsSameFile(it, item) && it.IsFTPed != "failed") {
                        it.LocalModTime = item.LocalModTime;
                        it.LocalSeen = item.LocalSeen;
                        it.RemoteModTime = item.RemoteModTime;
                        it.RemoteSecondKnown = item.RemoteSecondKnown;
                        it.RemoteSize = item.RemoteSize;
                        it.RemoteTimeUnit = item.RemoteTimeUnit;
                        it.RemoteTimeListed = item.RemoteTimeListed;
                        // A file the transfer found to hold NUL bytes is binary from now on.
                        if (item.IsBinaryFile) it.IsBinaryFile = true;
                        it.IsRemoteModified = item.IsRemoteModified;
                        it.IsRemoteMissing = item.IsRemoteMissing;
                    } else if (IsSameFile(it, item) && item.IsRemoteModified == "Yes") {
                        // A transfer that did not go saw the server's copy
                        // differ from what it sent: the next send asks first.
                        it.IsRemoteModified = "Yes";
                    }
        }
}

// ---------------------------------------------------------------- free helpers

std::vector<std::string> SplitBySeparator(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t cut = text.find_first_of(", ;", start);
        if (cut == std::string::npos) cut = text.size();
        if (cut > start) out.push_back(text.substr(start, cut - start));
        start = cut + 1;
    }
    return out;
}

bool IsBinaryByExtension(const std::string& name) {
    if (!g_bUseBinExt) return false;
    const std::string n = ToLowerAscii(name);
    for (const auto& piece : SplitBySeparator(ToLowerAscii(g_strBinExtStr))) {
        size_t pos = n.rfind(piece);
        if (pos != std::string::npos && pos + piece.size() == n.size()) return true;
    }
    return false;
}

bool IsSameFile(const CFileItem& a, const CFileItem& b) {
    return a.FileName == b.FileName && a.LocalDir == b.LocalDir && a.RemoteDir == b.RemoteDir &&
           a.RemHost == b.RemHost;
}

bool FindItemByLocalDir(const std::vector<CFileItem>& items, const CFileItem& item) {
    for (const auto& it : items)
        if (it.FileName == item.FileName && it.LocalDir == item.LocalDir) return true;
    return false;
}

bool FindItemPtrByLocalDir(const std::vector<CFileItem*>& items, const CFileItem& item) {
    for (const CFileItem* it : items)
        if (it && it->FileName == item.FileName && it->LocalDir == item.LocalDir) return true;
    return false;
}

bool FindItemByRemoteDir(const std::vector<CFileItem>& items, const CFileItem& item) {
    for (const auto& it : items)
        if (it.FileName == item.FileName && it.RemoteDir == item.RemoteDir) return true;
    return false;
}
