// Moving session work files between the session folder, its backup area and
// its deprecated area.
#include <algorithm>
#include <fnmatch.h>
#include <filesystem>
#include <sys/stat.h>
#include <unordered_set>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

namespace {
struct WaitCursor {
    WaitCursor() { Prompter().SetWaitCursor(true); }
    ~WaitCursor() { Prompter().SetWaitCursor(false); }
};

void TraceList(const std::vector<std::string>& names) {
    if (!g_bTrace) return;
    std::string s = "Files found in DEFAULT area:\r\n";
    if (names.empty()) s += "     (none)";
    for (const auto& n : names) s += "    " + n + "\r\n";
    WriteTraceString(s);
}

// Moves one file into an area, replacing a file of that name. False (with
// a message) when the move fails.
bool MoveInto(const std::string& from, const std::string& to) {
    std::string error;
    if (RenameReplace(from, to, error)) return true;
    WriteTraceString("Failed to move " + from + " to " + to + ": " + error);
    Prompter().Message("Failed to move " + from + " to " + to + ":\r\n" + error, MsgIcon::Stop);
    return false;
}
}  // namespace

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern) {
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    if (folder == "." || folder == ".." || folder.empty()) return out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (it->is_directory(e2)) continue;
        const std::string name = it->path().filename().string();
        if (::fnmatch(pattern.c_str(), name.c_str(), FNM_PERIOD) == 0) out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

int GetPathKind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    if (S_ISDIR(st.st_mode)) return 2;
    const std::string name = GetFileNameFromPath(path);
    if (name.empty() || name == "." || name == ".." || name[0] == '.') return 0;
    if (name.back() == '~' || (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)) return 0;
    return S_ISREG(st.st_mode) ? 1 : 0;
}

void CProgramData::RenameSessionBoxFile(int p, int s) {
    CSession* se = GetSessionPtr(p, s);
    if (!se) return;
    const std::string oldName = se->BoxFileName;
    const std::string newName = MakeBoxFileName(p, s);
    if (newName != oldName) {
        if (!se->IsLoaded) LoadSessionFile(p, s);
        se = GetSessionPtr(p, s);
        se->BoxFileName = newName;
        se->IsLoaded = true;
        if (se->m_Baskets.empty()) se->m_Baskets.emplace_back();
        return;
    }
    CreateFolderPath(g_strSessionBackUpDir, 0700);
    std::string error;
    if (!RenameReplace(g_strSessionInfoDir + oldName, g_strSessionBackUpDir + newName, error))
        Prompter().Message("File " + g_strSessionInfoDir + oldName + " not found, cause = " + error,
                           MsgIcon::Stop);
}

bool CProgramData::MoveBoxFilesToDeprecated() {
    WaitCursor wait;
    // Every session must be in memory before its work file leaves the
    // session folder; the caller writes them all afterwards.
    for (int p = 0; p < GetProjectCount(); ++p)
        for (int s = 0; s < GetSessionCount(p); ++s) {
            LoadSessionFile(p, s);
            CSession* se = GetSessionPtr(p, s);
            se->IsLoaded = true;
            if (se->m_Baskets.empty()) se->m_Baskets.emplace_back();
        }
    std::unordered_set<std::string> inUse;
    for (size_t p = 0; p < m_ProjectList.m_Projects.size(); ++p) {
        auto& sessions = m_ProjectList.m_Projects[p].m_Sessions;
        for (size_t s = 0; s < sessions.size(); ++s)
            sessions[s].SetBoxFileNameAmong(static_cast<int>(p), static_cast<int>(s), inUse);
    }
    const auto names = ListFiles(g_strSessionInfoDir, "Box*.txt");
    WriteTraceString("Moving files from DEFAULT to DEPRECATED area...");
    TraceList(names);
    CreateFolderPath(g_strDeprecatedDir, 0700);
    for (const auto& n : names)
        if (!MoveInto(g_strSessionInfoDir + n, g_strDeprecatedDir + n)) return false;
    return true;
}

bool CProgramData::RestoreBoxFilesFromBackup() {
    WaitCursor wait;
    for (int p = 0; p < GetProjectCount(); ++p)
        for (int s = 0; s < GetSessionCount(p); ++s) RenameSessionBoxFile(p, s);
    auto names = ListFiles(g_strSessionInfoDir, "Box*.txt");
    WriteTraceString("Moving files from DEFAULT to DEPRECATED area...(BAD ONES)");
    TraceList(names);
    CreateFolderPath(g_strDeprecatedDir, 0700);
    for (const auto& n : names)
        if (!MoveInto(g_strSessionInfoDir + n, g_strDeprecatedDir + n)) return false;
    names = ListFiles(g_strSessionBackUpDir, "Box*.txt");
    WriteTraceString("Moving files from BACKUP to DEFAULT area...(GOOD ONES)");
    TraceList(names);
    for (const auto& n : names)
        if (!MoveInto(g_strSessionBackUpDir + n, g_strSessionInfoDir + n)) return false;
    return true;
}
