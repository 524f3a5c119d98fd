#include "filelist/AddFileItems.h"
#include "filelist/RenameFiles.h"

#include "filelist/AddLocalPath.h"
#include "model/Account.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/TransferChecks.h"

#include <unistd.h>
#include <cstring>

std::string g_strLastLocalDir;
bool g_bDragAndDropShown = false;
std::atomic<bool> g_bSuppressListScrolling{false};

const char* const kDuplicateFilesTitle =
    "Some of the files could not be added. They already exist in the list:";

namespace {
IDndStatusView* g_dndView = nullptr;

const char* const kFrameLine = "+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+";
}  // namespace

int GetPathStyle(const std::string& path) {
    if (path.find('\\') != std::string::npos) return 0;
    if (path.find('/') != std::string::npos) return 1;
    if (path.find(']') != std::string::npos) return 2;
    return 0;
}

std::string GetPathUpToSeparator(const std::string& path, char sep) {
    const auto k = path.rfind(sep);
    return k == std::string::npos ? std::string() : path.substr(0, k + 1);
}

CFileItem MakeNewFileItem(const std::string& path, const CFileItem& like, PathSide side) {
    CFileItem item;
    std::string dirLocal = like.LocalDir, dirRemote = like.RemoteDir;
    // A remote path is a VMS path when it holds "]" (and no "/"), else UNIX.
    char sep = '/';
    if (side == PathSide::Remote && path.find('/') == std::string::npos &&
        path.find(']') != std::string::npos)
        sep = ']';
    std::string name = GetPathTail(path, sep);
    if (name.empty()) name = "NewFile.txt";
    const std::string dir = GetPathUpToSeparator(path, sep);
    if (side == PathSide::Local) {
        if (!dir.empty()) dirLocal = dir;
        item.FileType = "local";
    } else {
        if (!dir.empty()) dirRemote = dir;
        item.FileType = "remote";
    }
    item.FileName = name;
    item.RemHost = g_CurrentAccount.m_strHost;
    item.RemUser = g_CurrentAccount.m_strUser;
    item.RemoteDir = dirRemote;
    item.LocalDir = dirLocal;
    return item;
}

bool IsBinaryLocalFile(const std::string& fileName, const std::string& path) {
    return IsBinaryByExtension(fileName) || HasNulByteInHead(path);
}

CRemoteTargetIndex::CRemoteTargetIndex(const CProgramData& data, int p, int s) {
    if (!data.IsValidSession(false, p, s)) return;
    const CSession& se = data.m_ProjectList.m_Projects[static_cast<size_t>(p)].m_Sessions[static_cast<size_t>(s)];
    for (const CFileBasket& bk : se.m_Baskets)
        for (const CFileItem& it : bk.m_Items)
            if (!it.RemoteDir.empty()) m_local.emplace(RemoteTargetKey(it), it.LocalDir + it.FileName);
}

void CRemoteTargetIndex::Note(const CFileItem& item) {
    if (item.RemoteDir.empty()) return;
    const std::string local = item.LocalDir + item.FileName;
    const auto [at, added] = m_local.emplace(RemoteTargetKey(item), local);
    if (added || at->second == local) return;
    // The same local file under another spelling is no other source.
    CFileItem other = item;
    other.LocalDir = GetDirectoryPart(at->second);
    other.FileName = GetFileNameFromPath(at->second);
    if (LocalTargetKey(other) == LocalTargetKey(item)) return;
    WriteTraceString("Same remote file: " + local + " and " + at->second + " both go to " + item.RemoteDir +
                     item.FileName + " on " + item.RemHost + ".");
}

bool IsDuplicateItem(const std::vector<CFileItem>& items, const CFileItem& item) {
    return FindItemByLocalDir(items, item);
}

bool AddFileItem(CProgramData& data, int p, int s, int b, int pos, const CFileItem& item,
                 std::string* error) {
    if (!data.IsValidBasket(false, p, s, b)) return false;
    if (IsDuplicateItem(data.GetBasketItems(p, s, b), item)) {
        if (error) *error = "File: " + item.FileName + " already exists in the list.";
        return false;
    }
    CRemoteTargetIndex(data, p, s).Note(item);
    return data.InsertFileItems(p, s, b, pos, item);
}

int AddFileItems(CProgramData& data, int p, int s, int b, int pos, std::vector<std::string>& paths,
                 bool inheritRemote) {
    if (!data.IsValidBasket(false, p, s, b)) return 0;
    const int count = data.GetFileItemCount(p, s, b);
    if (pos < 0 || pos > count) pos = count;
    const std::vector<CFileItem> before = data.GetBasketItems(p, s, b);
    std::vector<int> selection;
    int added = 0;
    std::string lastDir = CFileItem().LocalDir;
    CRemoteTargetIndex targets(data, p, s);
    for (std::string& path : paths) {
        CFileItem it;
        it.FileName = GetFileNameFromPath(path);
        it.FileType = "local";
        it.LocalDir = GetDirectoryPart(path);
        it.IsBinaryFile = IsBinaryLocalFile(it.FileName, path);
        SetLocalTimeFromDisk(it);
        if (inheritRemote && pos > 0) {
            const CFileItem prev = data.GetFileItem(p, s, b, pos - 1);
            it.RemHost = prev.RemHost;
            it.RemUser = prev.RemUser;
            it.RemoteDir = prev.RemoteDir;
        } else {
            it.RemHost = g_CurrentAccount.m_strHost;
            it.RemUser = g_CurrentAccount.m_strUser;
            it.RemoteDir = g_CurrentAccount.m_strLastFolder;
        }
        lastDir = it.LocalDir;
        path = it.FileName;
        if (IsDuplicateItem(before, it)) {
            path += "$--$";
            continue;
        }
        targets.Note(it);
        data.InsertFileItems(p, s, b, pos, it);
        selection.push_back(pos);
        ++pos;
        ++added;
    }
    g_strLastLocalDir = lastDir;
    data.ApplyCurrentHostToSession(p, s);
    ReportFileLimitExceeded(added);
    if (!selection.empty()) data.SetSelection(p, s, b, selection);
    return added;
}

void ReportFileLimitExceeded(int count) {
    if (count < g_nTurnOff || !g_bAutoUpdate) return;
    g_bAutoUpdate = false;
    WriteTraceString(std::string(kFrameLine) + "\r\nFile limit exceeded " + std::to_string(g_nTurnOff) +
                     " files.\r\nAuto-update forcefully turned off.\r\n" + kFrameLine);
}

void ListDuplicateFiles(const std::string& header, const std::string& list) {
    if (list.empty()) return;
    Prompter().Message(FormatFileListReport(header, list), MsgIcon::Warning);
}

void ReportDuplicateFiles(const std::string& list) { ListDuplicateFiles(kDuplicateFilesTitle, list); }

std::string CollectRefusedFiles(const std::vector<std::string>& paths) {
    static const std::string mark = "$--$";
    std::string out;
    for (const std::string& p : paths)
        if (p.size() >= mark.size() && p.compare(p.size() - mark.size(), mark.size(), mark) == 0)
            out += "    " + p.substr(0, p.size() - mark.size()) + "\r\n";
    return out;
}

IDndStatusView* SetDndStatusView(IDndStatusView* view) {
    IDndStatusView* old = g_dndView;
    g_dndView = view;
    return old;
}

void LogDndStatus(const std::string& text) {
    WriteTraceString("--- DND " + text + " ---");
    g_bAddFilesBreak = false;
    g_bAddFilesTicker = false;
    g_bDragAndDropShown = false;
    g_bAddFilesIdle = true;
    if (g_dndView) g_dndView->HideDragAndDrop();
}

void FinishDndStatus(const std::string& text) {
    LogDndStatus(text);
    g_nProgressPos = 0;
    if (g_dndView) g_dndView->ResetDndProgress();
}
