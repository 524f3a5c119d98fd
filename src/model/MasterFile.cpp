// The master data file: options, projects and session headers, the account
// vault and the report settings.
#include <cerrno>
#include <cstdlib>
#include <cctype>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <unordered_set>

#include "model/ProgramOptionsRules.h"
#include "model/Globals.h"
#include "model/KeyValue.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

namespace {
ExitHook g_exitHook;

int Count(size_t n) { return static_cast<int>(n); }

std::string Pair(const std::string& key, const std::string& value) {
    return key + StoredText(value) + ", ";
}
std::string IntPair(const std::string& key, int value) { return key + std::to_string(value) + ", "; }
std::string FlagPair(const std::string& key, bool value) { return key + YesNo(value) + ", "; }

// The fields of a line after its marker, split at the commas; the blank
// that follows each comma is dropped.
std::vector<std::string> Fields(const std::string& line, const std::string& marker) {
    std::vector<std::string> out;
    size_t pos = line.find(marker);
    pos = pos == std::string::npos ? 0 : pos + marker.size();
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        if (pos >= line.size()) break;
        size_t comma = line.find(',', pos);
        out.push_back(line.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return out;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// A field of a list line that is none of the line's keys, for the log.
std::string UnknownField(const std::string& field) {
    const size_t eq = field.find('=');
    if (eq == std::string::npos) return "a field without a key";
    return "unknown key \"" + TextForLog(std::string_view(field).substr(0, eq + 1), 40) + "\"";
}

const char* kVersionPrompt =
    "The version of the application and the version of the _qv.txt are incompatible.\r\n"
    "It is likely that the exisiting _qv.txt file is too old for this version of the application.\r\n\r\n"
    "If you choose to continue, the exisitng information in _qv.txt will be all lost.\r\n\r\n"
    "Continue anyway?";

// Keeps an unreadable or foreign file (the master data file, or the work
// file of the session that is loaded at start) under a ".bak" name before a
// save can replace it, and tells the user.
void PreserveBadFile(const std::string& path, const std::string& why,
                     const std::string& what = "master data file",
                     const std::string& outcome = "the program starts with default data") {
    std::string bak, error;
    const bool kept = KeepBackupCopy(path, bak, error);
    if (bak.empty()) bak = path + ".bak";
    std::string label = what;
    if (!label.empty()) label[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[0])));
    WriteTraceString(label + " " + path + ": " + why);
    if (kept)
        Prompter().Message("The " + what + " " + path + " could not be read (" + why +
                               ").\r\nIt was kept as " + bak + "; " + outcome +
                               " and the next save writes a new file.",
                           MsgIcon::Warning);
    else
        Prompter().Message("The " + what + " " + path + " could not be read (" + why +
                               ") and could not be kept as " + bak + ": " + error,
                           MsgIcon::Warning);
}
}  // namespace

void CProgramData::NoteDamagedRecord(const std::string& record, const std::string& problem, size_t lines) {
    m_nReadSkipped += lines;
    NoteReadProblem(m_ReadProblems, record + ": " + problem);
}

ExitHook SetExitHook(ExitHook hook) {
    ExitHook old = std::move(g_exitHook);
    g_exitHook = std::move(hook);
    return old;
}

std::vector<int> SplitVersionString(const std::string& text, const std::string& separator) {
    std::vector<int> out;
    if (text.empty() || separator.empty()) return out;
    size_t pos = 0;
    for (;;) {
        size_t sep = text.find(separator, pos);
        out.push_back(ParseInt(text.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos)));
        if (sep == std::string::npos) break;
        pos = sep + separator.size();
    }
    return out;
}

int CompareVersionStrings(const std::string& a, const std::string& b) {
    const auto x = SplitVersionString(a, "."), y = SplitVersionString(b, ".");
    const size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        if (x[i] < y[i]) return 0;
        if (x[i] > y[i]) return 1;
    }
    return -1;
}

std::string EncodeCommaValue(const std::string& value) { return EncodeText(value); }
std::string DecodeCommaValue(const std::string& value) { return DecodeText(value); }

// ---------------------------------------------------------------- options line

std::string CProgramData::FormatProgramOptions() const {
    const CSessionReport& r = m_SessionReport;
    std::string s = "Program Option: ";
    s += Pair("Version=", kProgramVersion);
    s += FlagPair("SingleClick=", g_bSingleClick);
    s += FlagPair("AutoUpdate=", g_bAutoUpdate);
    s += FlagPair("AutoUpBasket=", g_bAutoUpBasket);
    s += IntPair("AutoUpdateInc=", g_nAutoUpdateInc);
    s += IntPair("TurnOff=", g_nTurnOff);
    s += IntPair("OptionSel=", g_nOptionSel);
    s += FlagPair("FTPUpdate=", g_bFtpUpdate);
    s += FlagPair("ReportCopy=", r.ReportCopy);
    s += FlagPair("ReportDump=", r.ReportDump);
    s += FlagPair("ReportUseLocalDir=", r.ReportUseLocalDir);
    s += FlagPair("ReportCompFiles=", r.ReportCompFiles);
    s += FlagPair("ReportDumpDiffs=", r.ReportDumpDiffs);
    s += FlagPair("DiffLinear=", g_bDiffLinear);
    s += FlagPair("DiffIgnoreCase=", g_bDiffIgnoreCase);
    s += FlagPair("DiffIgnoreIdent=", g_bDiffIgnoreIdent);
    s += FlagPair("DiffReportInter=", g_bDiffReportInter);
    s += Pair("Editor=", g_strEditor);
    s += Pair("Telnet=", g_strTelnet);
    s += Pair("ImportQVFile=", g_strImportLibraryFile);
    s += Pair("ExportQVFile=", g_strExportLibraryFile);
    s += FlagPair("Sound=", g_bSoundsOn);
    s += FlagPair("Trace=", g_bTrace);
    s += FlagPair("CloseLibrary=", g_bCloseLibrary);
    s += FlagPair("CloseWorkPad=", g_bCloseWorkPad);
    s += FlagPair("AutoBasketCreate=", g_bAutoBasketCreate);
    s += FlagPair("UseBinExt=", g_bUseBinExt);
    s += Pair("BinExtStr=", g_strBinExtStr);
    s += Pair("TxtOpnStr=", g_strTxtOpnStr);
    s += IntPair("TabWidth=", g_nTabWidth);
    s += FlagPair("BookmarkRecord=", g_bBookmarkRecord);
    s += FlagPair("SortAscend=", g_bSortAscend);
    s += FlagPair("SortMatchCase=", g_bSortMatchCase);
    s += FlagPair("SortRemDuplicity=", g_bSortRemDuplicity);
    s += FlagPair("WrapXmlTag=", g_bWrapXmlTag);
    return s;
}

bool CProgramData::ConfirmVersion() {
    Answer a = Prompter().AskDefaultNo(kVersionPrompt, MsgIcon::Question);
    if (a == Answer::Yes) return true;
    // "No" ends the program with nothing saved.
    m_bExitRequested = true;
    if (g_exitHook)
        g_exitHook(0);
    else
        std::exit(0);
    return false;
}

bool CProgramData::ReadProgramOptions(const std::string& line) {
    const std::string version = GetKeyValue(line, "Version=");
    if (CompareVersionStrings(version, "1.0.0.0") == 0) {
        ConfirmVersion();
        return false;
    }
    const size_t marker = line.find("Program Option:");
    const std::string problem = CheckRecordKeys(
        line, marker == std::string::npos ? 0 : marker + 15,
        {"Version=", "SingleClick=", "AutoUpdate=", "AutoUpBasket=", "AutoUpdateInc=", "TurnOff=",
         "OptionSel=", "FTPUpdate=", "ReportCopy=", "ReportDump=", "ReportUseLocalDir=",
         "ReportCompFiles=", "ReportDumpDiffs=", "DiffLinear=", "DiffIgnoreCase=", "DiffIgnoreIdent=",
         "DiffReportInter=", "Editor=", "Telnet=", "ImportQVFile=", "ExportQVFile=", "Sound=", "Trace=",
         "CloseLibrary=", "CloseWorkPad=", "AutoBasketCreate=", "UseBinExt=", "BinExtStr=",
         "TxtOpnStr=", "TabWidth=", "BookmarkRecord=", "SortAscend=", "SortMatchCase=",
         "SortRemDuplicity=", "WrapXmlTag="});
    if (!problem.empty()) NoteDamagedRecord("program options", problem);
    auto yes = [&](const char* key) { return GetKeyValue(line, key) == "Yes"; };
    auto notNo = [&](const char* key) { return GetKeyValue(line, key) != "No"; };
    auto num = [&](const char* key, int zero) {
        int v = ParseInt(GetKeyValue(line, key));
        return v == 0 ? zero : v;
    };
    auto text = [&](const char* key, const std::string& empty) {
        std::string v = GetTextValue(line, key);
        return v.empty() ? empty : v;
    };
    g_bSingleClick = yes("SingleClick=");
    g_bAutoUpdate = yes("AutoUpdate=");
    g_bAutoUpBasket = yes("AutoUpBasket=");
    g_nAutoUpdateInc = num("AutoUpdateInc=", 2);
    g_nTurnOff = num("TurnOff=", 1000);
    g_nOptionSel = ParseInt(GetKeyValue(line, "OptionSel="));
    g_bFtpUpdate = yes("FTPUpdate=");
    m_SessionReport.ReportCopy = notNo("ReportCopy=");
    m_SessionReport.ReportDump = notNo("ReportDump=");
    m_SessionReport.ReportUseLocalDir = notNo("ReportUseLocalDir=");
    m_SessionReport.ReportCompFiles = notNo("ReportCompFiles=");
    m_SessionReport.ReportDumpDiffs = notNo("ReportDumpDiffs=");
    g_bDiffLinear = notNo("DiffLinear=");
    g_bDiffIgnoreCase = notNo("DiffIgnoreCase=");
    g_bDiffIgnoreIdent = notNo("DiffIgnoreIdent=");
    g_bDiffReportInter = notNo("DiffReportInter=");
    g_strEditor = GetTextValue(line, "Editor=");
    g_strTelnet = text("Telnet=", "cmd (Windows built-in Telnet)");
    g_strImportLibraryFile = GetTextValue(line, "ImportQVFile=");
    g_strExportLibraryFile = GetTextValue(line, "ExportQVFile=");
    g_bSoundsOn = yes("Sound=");
    g_bTrace = yes("Trace=");
    g_bCloseLibrary = yes("CloseLibrary=");
    g_bCloseWorkPad = yes("CloseWorkPad=");
    g_bAutoBasketCreate = yes("AutoBasketCreate=");
    g_bUseBinExt = yes("UseBinExt=");
    g_strBinExtStr = text("BinExtStr=", g_strBinExtDefault);
    g_strTxtOpnStr = text("TxtOpnStr=", g_strTxtOpnDefault);
    g_nTabWidth = num("TabWidth=", 8);
    // A width the tab prompt would refuse is not taken from the file either.
    if (g_nTabWidth < 1) g_nTabWidth = 8;
    if (g_nTabWidth > 256) g_nTabWidth = 256;
    // Intervals and limits that the options dialog would refuse are put in range.
    ClampLoadedOptions(g_nAutoUpdateInc, g_nTurnOff);
    g_bBookmarkRecord = yes("BookmarkRecord=");
    g_bSortAscend = yes("SortAscend=");
    g_bSortMatchCase = yes("SortMatchCase=");
    g_bSortRemDuplicity = yes("SortRemDuplicity=");
    g_bWrapXmlTag = yes("WrapXmlTag=");
    return true;
}

// ---------------------------------------------------------------- sessions

bool CProgramData::ReadSessionBoxes(const std::string& line) {
    std::vector<std::string> names;
    std::vector<int> current;
    std::string problem;
    for (const auto& f : Fields(line, "Session Box:")) {
        if (StartsWith(f, "Sess=")) names.push_back(DecodeCommaValue(f.substr(5)));
        else if (StartsWith(f, "SessInd=")) current.push_back(ParseInt(f.substr(8)));
        else problem = UnknownField(f);
        if (names.size() < current.size() || names.size() > current.size() + 1)
            problem = "a \"Sess=\" without its \"SessInd=\"";
    }
    if (problem.empty() && names.size() != current.size()) problem = "a \"Sess=\" without its \"SessInd=\"";
    if (!problem.empty()) NoteDamagedRecord("project list", problem);
    // The k-th "SessInd=" belongs to the k-th project; an empty name is a
    // project all the same.
    for (size_t k = 0; k < names.size(); ++k)
        m_ProjectList.m_Projects.emplace_back(names[k], k < current.size() ? current[k] : 0);
    return true;
}

void CProgramData::ReadSessionBlock(std::istream& in) {
    // The block runs to its "End of Session ID:" line: the session's values,
    // then its work-file name. A missing line must not take the next one.
    std::vector<std::string> block;
    std::string line;
    bool ended = false;
    while (ReadLine(in, line)) {
        if (line.find("End of Session ID:") != std::string::npos) {
            ended = true;
            break;
        }
        block.push_back(line);
    }
    if (!ended) ++m_nReadSkipped;
    CSession session;
    size_t at = 0;
    if (at < block.size() && HasKey(block[at], "SessionName=")) {
        session.ReadHeader(block[at]);
        const std::string problem = CheckHeaderKeys(block[at]);
        if (!problem.empty()) NoteDamagedRecord("session \"" + TextForLog(session.SessionName) + "\"", problem);
        ++at;
    } else {
        ++m_nReadSkipped;  // kept in the first project with default values
        session.SessionBox = 0;
    }
    if (at < block.size() && block[at].find('=') == std::string::npos) {
        session.BoxFileName = block[at];
        ++at;
    } else {
        ++m_nReadSkipped;
        session.BoxFileName.clear();
    }
    for (; at < block.size(); ++at)
        if (!block[at].empty()) ++m_nReadSkipped;
    if (!session.BoxFileName.empty() && !IsSafeBoxFileName(session.BoxFileName)) {
        WriteTraceString("Work-file name refused: \"" + session.BoxFileName + "\" (session " +
                         session.SessionName + ")");
        session.BoxFileName.clear();  // a fresh name is given after reading
    }
    if (!IsValidProject(false, session.SessionBox)) {
        WriteTraceString("Session \"" + session.SessionName + "\" names no project (" +
                         std::to_string(session.SessionBox) + "); skipped.");
        m_nReadSkipped += 2;
        return;
    }
    m_ProjectList.m_Projects[session.SessionBox].m_Sessions.push_back(std::move(session));
}

void CProgramData::ReadSessionState(const std::string& line) {
    const size_t marker = line.find("Session State:");
    const std::string problem =
        CheckRecordKeys(line, marker == std::string::npos ? 0 : marker + 14, {"ProjInd="});
    if (!problem.empty()) NoteDamagedRecord("session state", problem);
    int p = ParseInt(GetKeyValue(line, "ProjInd="));
    m_ProjectList.m_nProjInd = p < 0 ? 0 : p;
}

// A session made here is new: it has no work file yet and its (empty)
// contents are in memory, so it counts as loaded. Otherwise the baskets and
// items put into it would never be written by a save, and showing it would
// try to read a work file that does not exist.
int CProgramData::EnsureCurrentBasket() {
    if (m_ProjectList.m_Projects.empty()) {
        m_ProjectList.m_nProjInd = 0;
        m_ProjectList.m_Projects.emplace_back();
        InsertSession("My Session", 0, 0);
        m_ProjectList.m_Projects[0].m_nSessInd = 0;
        m_ProjectList.m_Projects[0].m_Sessions[0].IsLoaded = true;
        m_ProjectList.m_Projects[0].m_Sessions[0].m_Baskets.emplace_back();
        return 3;
    }
    const int p = GetCurProject();
    if (!IsValidProject(false, p)) return 0;
    CProject& pr = m_ProjectList.m_Projects[p];
    if (pr.m_Sessions.empty()) {
        InsertSession("My Session", p, 0);
        pr.m_nSessInd = 0;
        pr.m_Sessions[0].IsLoaded = true;
        pr.m_Sessions[0].m_Baskets.emplace_back();
        return 2;
    }
    CSession* se = GetSessionPtr(p, pr.m_nSessInd);
    if (se && se->m_Baskets.empty()) {
        se->m_Baskets.emplace_back();
        return 1;
    }
    return 0;
}

int CProgramData::CreateDefaultSession() {
    if (m_ProjectList.m_Projects.empty()) {
        m_ProjectList.m_nProjInd = 0;
        m_ProjectList.m_Projects.emplace_back();
        InsertSession("My Session", 0, 0);
        m_ProjectList.m_Projects[0].m_nSessInd = 0;
        m_ProjectList.m_Projects[0].m_Sessions[0].IsLoaded = true;
        return 4;
    }
    const int p = GetCurProject();
    if (IsValidProject(false, p) && m_ProjectList.m_Projects[p].m_Sessions.empty()) {
        InsertSession("My Session", p, 0);
        m_ProjectList.m_Projects[p].m_nSessInd = 0;
        m_ProjectList.m_Projects[p].m_Sessions[0].IsLoaded = true;
        return 5;
    }
    return 0;
}

int CProgramData::CreateDefaultProject() {
    if (!m_ProjectList.m_Projects.empty()) return 0;
    m_ProjectList.m_nProjInd = 0;
    m_ProjectList.m_Projects.emplace_back();
    return 6;
}

int CProgramData::LoadSessionFile(int p, int s, bool sweepItemFolders) {
    CSession* se = GetSessionPtr(p, s);
    if (!se || se->BoxFileName.empty()) return 0;
    if (se->IsLoaded) return -1;
    const int read = se->Read(g_strSessionInfoDir);
    if (read == 1 && sweepItemFolders) SweepItemFolders(*se);
    return read;
}

void CProgramData::SweepItemFolders(const CSession& session) {
    std::vector<std::string> folders;
    std::unordered_set<std::string> seen;
    for (const CFileBasket& basket : session.m_Baskets)
        for (const CFileItem& item : basket.m_Items)
            if (!item.LocalDir.empty() && seen.insert(item.LocalDir).second) folders.push_back(item.LocalDir);
    if (!folders.empty()) SweepStalePartFiles(folders, ProgramStartTime());
    // A file reached through a symbolic link keeps its cut copy beside the
    // file the link names, in a folder the sweep may not read.
    for (const CFileBasket& basket : session.m_Baskets)
        for (const CFileItem& item : basket.m_Items)
            if (!item.LocalDir.empty()) FinishCutCopyOf(item.LocalDir + item.FileName);
}

int CProgramData::DumpSession(int p, int s) {
    CSession* se = GetSessionPtr(p, s);
    if (!se || se->BoxFileName.empty()) return 0;
    if (!se->IsLoaded) return -1;
    int r = se->Write(g_strSessionInfoDir, s, p);
    if (!r) return 0;  // the items stay in memory when they could not be written
    se->IsLoaded = false;
    se->m_Baskets.clear();
    WriteTraceString("-Dumped: " + se->BoxFileName);
    return r;
}

// ---------------------------------------------------------------- accounts

void CProgramData::ReadClusterNames(const std::string& line) {
    std::vector<std::string> names;
    std::vector<int> hosts;
    bool haveCur = false, haveHost = false;
    int cur = 0, curHost = 0;
    std::string problem;
    int curKeys = 0, hostKeys = 0;
    for (const auto& f : Fields(line, "Remote Cluster Names:")) {
        if (StartsWith(f, "Cluster=")) names.push_back(DecodeCommaValue(f.substr(8)));
        else if (StartsWith(f, "HostInd=")) hosts.push_back(ParseInt(f.substr(8)));
        else if (StartsWith(f, "CurrClustInd=")) { cur = ParseInt(f.substr(13)); haveCur = true; ++curKeys; }
        else if (StartsWith(f, "CurrrHostInd=")) { curHost = ParseInt(f.substr(13)); haveHost = true; ++hostKeys; }
        else problem = UnknownField(f);
        if (hosts.size() > names.size() || names.size() > hosts.size() + 1)
            problem = "a \"Cluster=\" without its \"HostInd=\"";
    }
    if (problem.empty() && names.size() != hosts.size()) problem = "a \"Cluster=\" without its \"HostInd=\"";
    if (problem.empty() && (curKeys != 1 || hostKeys != 1))
        problem = "not one \"CurrClustInd=\" and one \"CurrrHostInd=\"";
    if (!problem.empty()) NoteDamagedRecord("cluster list", problem);
    for (size_t k = 0; k < names.size(); ++k)
        m_Vault.m_Clusters.emplace_back(names[k], k < hosts.size() ? hosts[k] : 0);
    if (haveCur || !names.empty()) m_Vault.m_nCurrClustInd = cur;
    if (haveHost && cur >= 0 && cur < GetClusterCount()) m_Vault.m_Clusters[cur].m_nHostInd = curHost;
}

void CProgramData::ReadBookmarks(std::istream& in) {
    std::string line;
    ReadLine(in, line);
    CHost acc;
    acc.m_strHost = ToLowerAscii(GetTextValue(line, "GoodReside="));
    acc.m_strHostType = GetTextValue(line, "ResideType=");
    acc.m_strUser = GetTextValue(line, "ActiveName=");
    acc.m_strLastFolder = GetTextValue(line, "LastReside=");
    acc.m_nStatus = ParseInt(GetKeyValue(line, "AcctStatus="));
    if (acc.m_nStatus < 2) acc.m_nStatus = 2;
    acc.m_nClusterInd = ParseInt(GetKeyValue(line, "ClusterInd="));
    bool badPassword = false;
    acc.m_strPassword = DecodePassword(GetKeyValue(line, "BinaryFormat="), &badPassword);
    const std::string account = "account " + TextForLog(acc.m_strUser + "@" + acc.m_strHost);
    if (!HasKey(line, "GoodReside=")) {
        ++m_nReadSkipped;
    } else {
        const std::string problem =
            CheckRecordKeys(line, 0,
                            {"GoodReside=", "ResideType=", "ActiveName=", "LastReside=", "AcctStatus=",
                             "ClusterInd=", "BinaryFormat="});
        if (!problem.empty()) NoteDamagedRecord(account, problem);
    }
    if (badPassword)
        NoteDamagedRecord(account, "the stored password is damaged; it is left empty");
    bool ended = false;
    while (ReadLine(in, line)) {
        if (line.find("End of remote dir Bookmark:") != std::string::npos) {
            ended = true;
            break;
        }
        // A line the writer did not write still makes a (blank) bookmark, as
        // it always has, but it is counted so that the file is kept.
        if (!line.empty() && !HasKey(line, "RemName=") && !HasKey(line, "RemDir="))
            ++m_nReadSkipped;
        else if (!line.empty())
            if (std::string problem = CheckRecordKeys(line, 0, {"RemName=", "RemDir="}); !problem.empty())
                NoteDamagedRecord("bookmark of " + account, problem);
        CRemoteBookmark bm;
        bm.RemName = GetTextValue(line, "RemName=");
        bm.RemDir = GetTextValue(line, "RemDir=");
        acc.m_Bookmarks.push_back(std::move(bm));
    }
    if (!ended) ++m_nReadSkipped;
    if (m_Vault.m_Clusters.empty()) m_Vault.m_Clusters.emplace_back("My Cluster", 0);
    if (acc.m_nClusterInd < 0 || acc.m_nClusterInd >= GetClusterCount()) {
        WriteTraceString("Account " + acc.m_strUser + "@" + acc.m_strHost +
                         " names no cluster; kept in the first cluster.");
        acc.m_nClusterInd = 0;
    }
    m_Vault.m_Clusters[acc.m_nClusterInd].m_Hosts.push_back(std::move(acc));
}

// ---------------------------------------------------------------- the file

std::string CProgramData::FormatMasterFile() {
    std::ostringstream out;
    out << FormatProgramOptions() << "\n";
    out << "Session Box: ";
    for (const auto& pr : m_ProjectList.m_Projects)
        out << "Sess=" << StoredText(pr.m_strName) << ", " << "SessInd=" << pr.m_nSessInd << ", ";
    out << "\n";
    for (size_t p = 0; p < m_ProjectList.m_Projects.size(); ++p) {
        auto& sessions = m_ProjectList.m_Projects[p].m_Sessions;
        for (size_t s = 0; s < sessions.size(); ++s) {
            sessions[s].WriteHeader(out, Count(s), Count(p), true);
            out << "End of Session ID: " << s << "\n";
        }
    }
    out << "Session State: ProjInd=" << m_ProjectList.m_nProjInd << ", " << "\n";
    out << "Remote Cluster Names: ";
    for (const auto& cl : m_Vault.m_Clusters)
        out << "Cluster=" << StoredText(cl.m_strName) << ", " << "HostInd=" << cl.m_nHostInd << ", ";
    const int cur = m_Vault.m_nCurrClustInd;
    const int curHost = cur >= 0 && cur < GetClusterCount() ? m_Vault.m_Clusters[cur].m_nHostInd : 0;
    out << "CurrClustInd=" << cur << ", " << "CurrrHostInd=" << curHost << ", " << "\n";
    for (size_t c = 0; c < m_Vault.m_Clusters.size(); ++c) {
        const auto& hosts = m_Vault.m_Clusters[c].m_Hosts;
        for (size_t j = 0; j < hosts.size(); ++j) {
            const CHost& h = hosts[j];
            int status = h.m_nStatus > 4 ? 4 : (h.m_nStatus == 3 ? 2 : h.m_nStatus);
            out << "Remote dir Bookmark: " << j << "\n";
            out << Pair("GoodReside=", ToLowerAscii(h.m_strHost)) << Pair("ResideType=", h.m_strHostType)
                << Pair("ActiveName=", h.m_strUser) << Pair("LastReside=", h.m_strLastFolder)
                << IntPair("AcctStatus=", status) << IntPair("ClusterInd=", Count(c))
                << "BinaryFormat=" << EncodePassword(h.m_strPassword) << ", " << "\n";
            for (const auto& bm : h.m_Bookmarks)
                out << Pair("RemName=", bm.RemName) << Pair("RemDir=", bm.RemDir) << "\n";
            out << "End of remote dir Bookmark: " << j << "\n";
        }
    }
    m_SessionReport.WriteSpecs(out, "Report specs from user:", "End of report specs from user:");
    return out.str();
}

bool CProgramData::SaveMasterFile(const std::string& path) {
    if (m_bExitRequested) return false;
    // Every loaded session's work file first.
    for (size_t p = 0; p < m_ProjectList.m_Projects.size(); ++p) {
        auto& sessions = m_ProjectList.m_Projects[p].m_Sessions;
        for (size_t s = 0; s < sessions.size(); ++s) {
            if (!sessions[s].IsLoaded) continue;
            if (!SaveSessionWorkFile(Count(p), Count(s)))
                Prompter().Message("Session info write failed.", MsgIcon::Stop);
        }
    }
    std::string error;
    // It holds passwords: whatever mode it had, only its owner may read it.
    const bool ok = SaveFileAtomic(path, FormatMasterFile(), error, 0600, 0700);
    if (!ok) {
        WriteTraceString("Failed to save the master data file: " + error);
        Prompter().Message("Failed to save the master data file " + path + ":\r\n" + error,
                           MsgIcon::Stop);
    }
    // Empty the loading area's temporary folder (files only, every level).
    // The rename runs' folder is left alone: a file there is the only copy
    // of a file that a broken rename did not move on.
    if (!g_strLoadingTempDir.empty()) {
        namespace fs = std::filesystem;
        std::error_code ec;
        std::vector<fs::path> files;
        const fs::path parked = fs::path(g_strLoadingTempDir) / "delme";
        for (fs::recursive_directory_iterator it(g_strLoadingTempDir, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code e2;
            if (it->path() == parked) {
                it.disable_recursion_pending();
                continue;
            }
            if (!it->is_directory(e2)) files.push_back(it->path());
        }
        for (const auto& f : files) fs::remove(f, ec);
    }
    return ok;
}

void CProgramData::LoadMasterFile() { LoadMasterFileFrom(g_strSessionInfoDir + kMasterFileName); }

void CProgramData::RepairIndices() {
    auto& projects = m_ProjectList.m_Projects;
    if (m_ProjectList.m_nProjInd < 0 || m_ProjectList.m_nProjInd >= Count(projects.size()))
        m_ProjectList.m_nProjInd = 0;
    std::unordered_set<std::string> inUse;
    bool inUseKnown = false;
    for (auto& pr : projects) {
        if (pr.m_nSessInd < 0 || pr.m_nSessInd >= Count(pr.m_Sessions.size())) pr.m_nSessInd = 0;
        for (auto& se : pr.m_Sessions)
            if (se.BasketInd < 0 || (se.IsLoaded && se.BasketInd >= Count(se.m_Baskets.size())))
                se.BasketInd = 0;
    }
    // Two sessions on one work file, or a session on the master file itself,
    // would write over each other at every save: the later one gets a fresh
    // name (and starts empty) instead.
    // One look-up a session: a start with very many sessions stays linear.
    size_t sessions = 0;
    for (const auto& pr : projects) sessions += pr.m_Sessions.size();
    std::unordered_set<std::string_view> seen;
    seen.reserve(sessions + 2);
    seen.insert(kMasterFileName);
    if (g_strLibraryInfoDir == g_strSessionInfoDir) seen.insert(kLibraryFileName);
    for (auto& pr : projects)
        for (auto& se : pr.m_Sessions) {
            if (se.BoxFileName.empty()) continue;
            if (!seen.insert(se.BoxFileName).second) {
                WriteTraceString("Session \"" + se.SessionName + "\" named the work file " +
                                 se.BoxFileName + ", which another file uses; it is given a new one.");
                se.BoxFileName.clear();
                se.IsLoaded = false;
            }
        }
    // A session whose work-file name was refused gets a fresh one.
    for (size_t p = 0; p < projects.size(); ++p)
        for (size_t s = 0; s < projects[p].m_Sessions.size(); ++s) {
            CSession& se = projects[p].m_Sessions[s];
            if (!se.BoxFileName.empty()) continue;
            if (!inUseKnown) {
                for (auto& name : GetBoxFileNamesInUse(true)) inUse.insert(std::move(name));
                inUseKnown = true;
            }
            se.SetBoxFileNameAmong(Count(p), Count(s), inUse);
            se.IsLoaded = true;
            se.m_Baskets.clear();
            se.m_Baskets.emplace_back();
            se.BasketInd = 0;
        }
    auto& clusters = m_Vault.m_Clusters;
    if (m_Vault.m_nCurrClustInd < 0 || m_Vault.m_nCurrClustInd >= Count(clusters.size()))
        m_Vault.m_nCurrClustInd = 0;
    for (auto& cl : clusters)
        if (cl.m_nHostInd < 0 || cl.m_nHostInd >= Count(cl.m_Hosts.size())) cl.m_nHostInd = 0;
    m_Vault.RenumberClusterIndices();
}

void CProgramData::LoadMasterFileFrom(const std::string& path) {
    // Read only a regular file (a pipe or device there must not block or
    // flood the start), whole, before anything of it is taken.
    std::string bytes, why;
    const bool opened = PathExists(path) && ReadRegularFile(path, bytes, why);
    if (!opened && PathExists(path))
        PreserveBadFile(path, IsRegularFile(path) ? SystemErrorText(EACCES) : "not a plain file");
    std::istringstream in(std::move(bytes));  // not a second copy of a large file
    m_nReadSkipped = 0;
    m_ReadProblems = {};
    bool oldVersion = false;
    if (opened) {
        std::string line;
        bool known = false, any = false;
        bool readError = false;
        bool haveOptions = false;
        // The writer ends every file with the report section. A file that
        // holds more than the options line (a file with nothing else is
        // whole: it loads the defaults) but not that section's end line was
        // cut short (or read as one line). Any other section may be missing.
        bool beyondOptions = false, haveReportEnd = false;
        while (ReadLine(in, line)) {
            if (!line.empty()) any = true;
            const bool options = line.find("Program Option:") != std::string::npos;
            if (!options && !line.empty()) beyondOptions = true;
            if (options) {
                known = haveOptions = true;
                if (!ReadProgramOptions(line)) {
                    if (m_bExitRequested) return;
                    // "Yes" to the old-version question: the old file is
                    // kept; the program goes on with default data.
                    oldVersion = true;
                    break;
                }
            } else if (line.find("Session Box:") != std::string::npos) {
                known = true;
                ReadSessionBoxes(line);
            } else if (line.find("Session ID:") != std::string::npos) {
                known = true;
                ReadSessionBlock(in);
            } else if (line.find("Session State:") != std::string::npos) {
                known = true;
                ReadSessionState(line);
            } else if (line.find("Remote Cluster Names:") != std::string::npos) {
                known = true;
                ReadClusterNames(line);
            } else if (line.find("Remote dir Bookmark:") != std::string::npos) {
                known = true;
                ReadBookmarks(in);
            } else if (line.find("Report specs from user:") != std::string::npos) {
                known = true;
                size_t damaged = 0;
                haveReportEnd = m_SessionReport.ReadSpecs(in, "End of report specs from user:", &damaged);
                if (damaged)
                    NoteDamagedRecord("report columns",
                                      std::to_string(damaged) + (damaged == 1 ? " line" : " lines") +
                                          " without the keys the program writes",
                                      damaged);
            } else if (!line.empty()) {
                ++m_nReadSkipped;  // a damaged or misspelt line
            }
        }
        readError = in.bad();
        if (known && !oldVersion) m_nReadSkipped += !haveOptions;
        const bool cutShort = known && !oldVersion && beyondOptions && !haveReportEnd;
        if (readError)
            PreserveBadFile(path, "read error");
        else if (any && !known)
            PreserveBadFile(path, "not a master data file");
        else if (oldVersion)
            KeepDamagedFile(path, "master data file", 0, "an older version");
        else if (m_nReadSkipped > 0) {
            TraceReadProblems("Master data file " + path, m_ReadProblems);
            m_ReadProblems = {};
            KeepDamagedFile(path, "master data file", m_nReadSkipped);
        }
        else if (cutShort)
            KeepDamagedFile(path, "master data file", 0, "it ends before its \"End of report specs from user:\" line");
    }
    RepairIndices();
    EnsureCurrentBasket();
    const int p = GetCurProject(), s = GetCurSession();
    if (opened) {
        CSession* se = GetSessionPtr(p, s);
        // The start sweeps the folders of this session's items itself, with
        // the other folders it reads once.
        if (se && !se->IsLoaded && LoadSessionFile(p, s, false) == 0 && !se->BoxFileName.empty()) {
            // The session is marked loaded below and written at the next
            // save: a work file that is there but could not be read must not
            // be lost to that.
            const std::string work = g_strSessionInfoDir + se->BoxFileName;
            if (PathExists(work))
                PreserveBadFile(work, IsRegularFile(work) ? SystemErrorText(EACCES) : "not a plain file",
                                "session work file", "the session starts empty");
        }
    }
    SetSessionLoaded(p, s, true);
    if (CSession* se = GetSessionPtr(p, s)) {
        if (se->m_Baskets.empty()) se->m_Baskets.emplace_back();
        if (se->BasketInd < 0 || se->BasketInd >= Count(se->m_Baskets.size())) se->BasketInd = 0;
    }
    EnsureDefaultCluster();
    if (!m_SessionReport.HasColumns()) m_SessionReport.SetDefaultColumns();
}
