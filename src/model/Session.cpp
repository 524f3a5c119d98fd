#include "model/Session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <system_error>

#include <sys/stat.h>

#include "model/Account.h"
#include "model/KeyValue.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

namespace {
constexpr size_t kMaxSelectionWritten = 1000;

std::string Pair(const std::string& key, const std::string& value) {
    return key + StoredText(value) + ", ";
}

std::string Index5(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%5d. ", i);
    return buf;
}

// A remote time recorded as finely as a listing showed it (the minute, or
// the day), from a server that tells no second: how fine it is and the
// size the line showed, so that after a restart it is still compared at
// that precision. Only such a record writes the keys; a line without them
// reads as before, its time taken to the second.
std::string RemoteTimeUnitFields(const CFileItem& it) {
    if (it.RemoteSecondKnown || it.RemoteTimeUnit <= 1 || it.RemoteModTime == RemoteUnknownTime() ||
        it.RemoteModTime == DefaultItemTime())
        return std::string();
    return "RemoteTimeUnit=" + std::to_string(it.RemoteTimeUnit) + ", RemoteSize=" + std::to_string(it.RemoteSize) +
           ", ";
}

// A time MDTM gave after a transfer, before any listing of its folder told
// the listing's clock (the run was stopped first): a server may list its
// local time while MDTM gives UTC, so the record keeps that it is on
// MDTM's clock, and is put on the listing's when it is next compared, as
// the engine does with such a record in memory. Any other record writes
// no key.
std::string RemoteClockField(const CFileItem& it) {
    if (!it.RemoteSecondKnown || it.RemoteTimeListed || it.RemoteModTime == RemoteUnknownTime() ||
        it.RemoteModTime == DefaultItemTime())
        return std::string();
    return "RemoteClock=MDTM, ";
}

// Whether the text is a whole decimal number a listing can give as a size
// (-1 where none was known).
bool IsListedSizeText(const std::string& text) {
    if (text == "-1") return true;
    if (text.empty() || text.size() > 18) return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Reads the two keys. A value no listing gives (a unit other than the
// minute or the day, a size that is no number or none a listing shows)
// makes the whole record one that cannot be checked: its remote time is
// taken as not known, never as a coarser clock or another size, and what
// is wrong is returned for the damaged-file warning ("" when nothing is).
std::string ReadRemoteTimeUnit(const std::string& line, CFileItem& it) {
    const std::string unitText = GetKeyValue(line, "RemoteTimeUnit=");
    const std::string sizeText = GetKeyValue(line, "RemoteSize=");
    const int unit = ParseInt(unitText);
    const bool unitOk = unitText == std::to_string(unit) && (unit == 1 || unit == 60 || unit == 86400);
    const bool sizeOk = HasKey(line, "RemoteSize=") && IsListedSizeText(sizeText);
    if (unitOk && sizeOk) {
        if (unit == 1) return std::string();  // taken to the second, as a record without the keys
        it.RemoteTimeUnit = unit;
        it.RemoteSize = std::strtoll(sizeText.c_str(), nullptr, 10);
        return std::string();
    }
    if (it.RemoteModTime != RemoteUnknownTime() && it.RemoteModTime != DefaultItemTime()) {
        it.RemoteModTime = RemoteUnknownTime();
        it.RemoteTimeUnit = -1;  // in memory: a damaged record, not a time never read
    }
    std::string what;
    if (!unitOk) what = "RemoteTimeUnit=\"" + TextForLog(unitText, 24) + "\" is no listing's unit";
    if (!sizeOk)
        what += (what.empty() ? "" : ", ") + std::string(HasKey(line, "RemoteSize=")
                                                             ? "RemoteSize=\"" + TextForLog(sizeText, 24) +
                                                                   "\" is no size a listing gives"
                                                             : "RemoteSize= is missing");
    return what + ": its server time is taken as not known, and its next send asks first";
}

// Reads the key of a record on MDTM's clock. Another value, or the key on
// a record with a listing's unit (never written together), makes a record
// that cannot be checked: its remote time is taken as not known, never as
// on another clock, and what is wrong is returned for the damaged-file
// warning ("" when nothing is).
std::string ReadRemoteClock(const std::string& line, CFileItem& it, bool coarse) {
    const std::string clock = GetKeyValue(line, "RemoteClock=");
    const bool real = it.RemoteModTime != RemoteUnknownTime() && it.RemoteModTime != DefaultItemTime();
    if (clock == "MDTM" && !coarse) {
        if (real) {
            it.RemoteSecondKnown = true;
            it.RemoteTimeListed = false;
        }
        return std::string();
    }
    if (real) {
        it.RemoteModTime = RemoteUnknownTime();
        it.RemoteTimeUnit = -1;  // in memory: a damaged record, not a time never read
        it.RemoteSecondKnown = false;
    }
    return (clock == "MDTM" ? std::string("RemoteClock=MDTM beside RemoteTimeUnit=")
                            : "RemoteClock=\"" + TextForLog(clock, 24) + "\" is no clock a record is kept on") +
           ": its server time is taken as not known, and its next send asks first";
}

// Set on the worker that reads the current work file ahead: its reader
// writes no trace lines (its items are used only when there was nothing
// to say).
thread_local bool t_quietRead = false;

struct PrefetchedWorkFile {
    std::string path;
    struct stat seen {};
    bool clean = false;
    CSession session;
};

// Started and taken on the GUI thread only.
std::future<PrefetchedWorkFile> g_prefetch;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The work-file name of the session the master file names current, or ""
// (a guess only: Read takes the worker's items for the name it reads).
std::string GuessCurrentBoxFileName(const std::string& bytes) {
    std::istringstream in(bytes);
    std::string line;
    std::vector<int> current;                          // "SessInd=" of each project
    std::vector<std::vector<std::string>> sessions;   // the work files of each project
    int project = 0;
    while (ReadLine(in, line)) {
        if (line.find("Session Box:") != std::string::npos) {
            // Each "SessInd=" that starts a field (a project's name may hold the text).
            current.clear();
            for (size_t at = 0; at < line.size();) {
                while (at < line.size() && line[at] == ' ') ++at;
                const size_t comma = line.find(',', at);
                if (line.compare(at, 8, "SessInd=") == 0)
                    current.push_back(ParseInt(line.substr(at + 8, comma == std::string::npos ? comma : comma - at - 8)));
                if (comma == std::string::npos) break;
                at = comma + 1;
            }
        } else if (line.find("Session State:") != std::string::npos) {
            project = ParseInt(GetKeyValue(line, "ProjInd="));
        } else if (line.find("Session ID:") != std::string::npos &&
                   line.find("End of Session ID:") == std::string::npos) {
            std::string header, name;
            if (!ReadLine(in, header) || !ReadLine(in, name)) break;
            const int box = ParseInt(GetKeyValue(header, "SessionBox="));
            if (box >= 0 && box < 4096 && name.find('=') == std::string::npos) {
                if (static_cast<size_t>(box) >= sessions.size()) sessions.resize(box + 1);
                sessions[box].push_back(name);
            }
        }
    }
    if (project < 0 || static_cast<size_t>(project) >= current.size() ||
        static_cast<size_t>(project) >= sessions.size())
        return {};
    const int s = current[project];
    if (s < 0 || static_cast<size_t>(s) >= sessions[project].size()) return {};
    return sessions[project][s];
}

PrefetchedWorkFile ReadAhead(const std::string& masterPath, const std::string& folder) {
    PrefetchedWorkFile r;
    std::string bytes, why;
    if (!ReadRegularFile(masterPath, bytes, why)) return r;
    const std::string name = GuessCurrentBoxFileName(bytes);
    if (name.empty() || !IsSafeBoxFileName(name)) return r;
    r.path = folder + name;
    struct stat after {};
    if (stat(r.path.c_str(), &r.seen) != 0 || !ReadRegularFile(r.path, bytes, why) ||
        stat(r.path.c_str(), &after) != 0 || !SameFile(r.seen, after))
        return r;
    t_quietRead = true;
    bool readError = false;
    const size_t skipped = r.session.ReadBytes(std::move(bytes), r.path, readError);
    t_quietRead = false;
    r.clean = skipped == 0 && !readError;
    return r;
}

// Shows the wait cursor for the lifetime of the object.
struct WaitCursor {
    WaitCursor() { Prompter().SetWaitCursor(true); }
    ~WaitCursor() { Prompter().SetWaitCursor(false); }
};
}  // namespace

std::string StoredText(const std::string& value) { return EncodeText(value); }

bool IsSafeBoxFileName(const std::string& name) {
    return !name.empty() && name.size() <= 255 && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find("..") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

CSession::CSession()
    : Host(g_CurrentAccount.m_strHost),
      User(g_CurrentAccount.m_strUser),
      LocalDir(g_strWorkFilesDir),
      RemoteDir(g_CurrentAccount.m_strLastFolder) {}

void CSession::WriteHeader(std::ostream& out, int number, int project, bool plainName) {
    SessionBox = project;
    out << "Session ID: " << number << "\n";
    out << Pair("SessionName=", SessionName) << Pair("Host=", Host) << Pair("User=", User)
        << Pair("RemoteDir=", RemoteDir) << Pair("LocalDir=", LocalDir)
        << "SessionBox=" << SessionBox << ", " << "BasketInd=" << BasketInd << ", " << "\n";
    out << BoxFileName;
    if (!plainName) out << " (This may not reflect file's physical name over time.)";
    out << "\n";
}

void CSession::WriteBaskets(std::ostream& out) {
    out << "File-Basket info: \n";
    for (size_t b = 0; b < m_Baskets.size(); ++b) {
        const CFileBasket& basket = m_Baskets[b];
        // The file keeps one item of a selection above the limit; the
        // selection in memory stays whole.
        std::vector<int> stored = basket.m_Selection;
        if (stored.size() > kMaxSelectionWritten) stored.resize(1);
        out << Index5(static_cast<int>(b)) << Pair("BasketName=", basket.BasketName)
            << "BasketSel=" << JoinIntList(stored, '#') << ", " << "\n";
    }
    out << "End of file-basket info: \n";
}

std::string CSession::FormatWorkFile(int number, int project) {
    std::ostringstream out;
    WriteHeader(out, number, project, false);
    for (size_t b = 0; b < m_Baskets.size(); ++b) {
        const auto& items = m_Baskets[b].m_Items;
        for (size_t i = 0; i < items.size(); ++i) {
            const CFileItem& it = items[i];
            out << Index5(static_cast<int>(i)) << Pair("FileName=", it.FileName)
                << Pair("FileType=", it.FileType) << Pair("RemoteDir=", it.RemoteDir)
                << Pair("LocalDir=", it.LocalDir) << Pair("RemHost=", it.RemHost)
                << Pair("RemUser=", it.RemUser) << Pair("IsFTPed=", it.IsFTPed)
                << Pair("IsPinned=", it.IsPinned) << "IsBatFile=" << YesNo(it.IsBatFile) << ", "
                << "IsBinaryFile=" << YesNo(it.IsBinaryFile) << ", "
                << "LocalModTime=" << it.GetLocalTimeText() << ", "
                << "RemoteModTime=" << it.GetRemoteTimeText() << ", " << RemoteTimeUnitFields(it)
                << RemoteClockField(it) << "BasketInd=" << b << ", " << "\n";
        }
    }
    out << "End of Session ID: \n";
    WriteBaskets(out);
    return out.str();
}

bool CSession::WriteTo(const std::string& path, int number, int project, std::string& error) {
    return SaveFileAtomic(path, FormatWorkFile(number, project), error, 0600);
}

int CSession::Write(const std::string& folder, int number, int project) {
    const std::string path = folder + BoxFileName;
    std::string error;
    if (!IsSafeBoxFileName(BoxFileName) || !WriteTo(path, number, project, error)) {
        if (error.empty()) error = "bad work-file name (" + path + ")";
        WriteTraceString("Failed to write session info to file: " + error);
        Prompter().Message("Failed to write session info to file.", MsgIcon::Stop);
        return 0;
    }
    return 1;
}

std::string CheckHeaderKeys(const std::string& line) {
    return CheckRecordKeys(line, 0,
                           {"SessionName=", "Host=", "User=", "RemoteDir=", "LocalDir=", "SessionBox=",
                            "BasketInd="});
}

void CSession::ReadHeader(const std::string& line) {
    SessionName = GetTextValue(line, "SessionName=");
    Host = GetTextValue(line, "Host=");
    User = GetTextValue(line, "User=");
    RemoteDir = GetTextValue(line, "RemoteDir=");
    LocalDir = GetTextValue(line, "LocalDir=");
    SessionBox = ParseInt(GetKeyValue(line, "SessionBox="));
    BasketInd = ParseInt(GetKeyValue(line, "BasketInd="));
}

size_t CSession::ReadBaskets(std::istream& in, CReadProblems* problems) {
    std::string line;
    size_t skipped = 0;
    while (ReadLine(in, line)) {
        if (line.find("End of file-basket info:") != std::string::npos) return skipped;
        if (!HasKey(line, "BasketName=")) {
            // A damaged line is no basket: items would be filed under it.
            if (!line.empty()) ++skipped;
            continue;
        }
        CFileBasket basket;
        basket.BasketName = GetTextValue(line, "BasketName=");
        if (problems) {
            std::string problem = CheckRecordKeys(line, SkipIndexPrefix(line), {"BasketName=", "BasketSel="});
            if (!problem.empty()) {
                ++skipped;
                NoteReadProblem(*problems, "basket \"" + TextForLog(basket.BasketName) + "\": " + problem);
            }
        }
        basket.m_Selection = SplitIntList(GetKeyValue(line, "BasketSel="), '#');
        m_Baskets.push_back(std::move(basket));
    }
    return skipped + 1;  // the closing line is missing
}

size_t CSession::ReadBody(std::istream& in, const std::string& batKey, const std::string& source,
                          size_t expectedItems) {
    std::vector<CFileItem> items;
    items.reserve(expectedItems);
    std::string line;
    size_t skipped = 0;
    bool ended = false;
    // The keys are checked in the present layout only: the older layout
    // ("m_IsBatfile=") is read for import, never written back.
    const bool checkKeys = batKey == "IsBatFile=";
    CReadProblems problems;
    CStoredTimeReader times;
    while (ReadLine(in, line)) {
        if (line.find("End of Session ID:") != std::string::npos) {
            ended = true;
            break;
        }
        if (!HasKey(line, "FileName=")) {
            // Not an item line: a damaged or foreign line is reported, not
            // turned into an item.
            if (!line.empty()) ++skipped;
            continue;
        }
        CFileItem& it = items.emplace_back();
        it.FileName = GetTextValue(line, "FileName=");
        it.FileType = GetTextValue(line, "FileType=");
        it.RemoteDir = GetTextValue(line, "RemoteDir=");
        it.LocalDir = GetTextValue(line, "LocalDir=");
        it.RemHost = GetTextValue(line, "RemHost=");
        it.RemUser = GetTextValue(line, "RemUser=");
        it.IsFTPed = GetTextValue(line, "IsFTPed=");
        it.IsPinned = GetTextValue(line, "IsPinned=");
        it.IsBatFile = GetKeyValue(line, batKey) == "Yes";
        it.IsBinaryFile = GetKeyValue(line, "IsBinaryFile=") == "Yes";
        it.SetLocalTimeFromText(GetKeyValue(line, "LocalModTime="), times);
        it.SetRemoteTimeFromText(GetKeyValue(line, "RemoteModTime="), times);
        const bool coarse = HasKey(line, "RemoteTimeUnit=");
        const bool clocked = HasKey(line, "RemoteClock=");
        std::string damaged = coarse ? ReadRemoteTimeUnit(line, it) : std::string();
        if (clocked) {
            const std::string clockDamaged = ReadRemoteClock(line, it, coarse);
            if (!clockDamaged.empty()) damaged += (damaged.empty() ? "" : ", ") + clockDamaged;
        }
        it.BasketInd = ParseInt(GetKeyValue(line, "BasketInd="));
        if (checkKeys) {
            std::string problem =
                coarse    ? CheckRecordKeys(line, SkipIndexPrefix(line),
                                            {"FileName=", "FileType=", "RemoteDir=", "LocalDir=", "RemHost=",
                                             "RemUser=", "IsFTPed=", "IsPinned=", "IsBatFile=", "IsBinaryFile=",
                                             "LocalModTime=", "RemoteModTime=", "RemoteTimeUnit=", "RemoteSize=",
                                             "BasketInd="})
                : clocked ? CheckRecordKeys(line, SkipIndexPrefix(line),
                                            {"FileName=", "FileType=", "RemoteDir=", "LocalDir=", "RemHost=",
                                             "RemUser=", "IsFTPed=", "IsPinned=", "IsBatFile=", "IsBinaryFile=",
                                             "LocalModTime=", "RemoteModTime=", "RemoteClock=", "BasketInd="})
                          : CheckRecordKeys(line, SkipIndexPrefix(line),
                                            {"FileName=", "FileType=", "RemoteDir=", "LocalDir=", "RemHost=",
                                             "RemUser=", "IsFTPed=", "IsPinned=", "IsBatFile=", "IsBinaryFile=",
                                             "LocalModTime=", "RemoteModTime=", "BasketInd="});
            if (!damaged.empty()) problem += (problem.empty() ? "" : ", ") + damaged;
            if (!problem.empty()) {
                ++skipped;
                NoteReadProblem(problems, "item \"" + TextForLog(it.FileName) + "\": " + problem);
            }
        }
    }
    if (!ended) ++skipped;  // the closing line is missing
    IsLoaded = true;
    m_Baskets.clear();
    if (ReadLine(in, line)) {
        while (line.empty() && ReadLine(in, line)) {
        }
        if (line.find("File-Basket info:") != std::string::npos)
            skipped += ReadBaskets(in, checkKeys ? &problems : nullptr);
        else if (!line.empty())
            ++skipped;
    }
    // No basket block after the items is a whole file: its items go to one
    // basket "My Basket".
    if (m_Baskets.empty()) m_Baskets.emplace_back();
    // The items are moved into their baskets, not copied; when they all
    // belong to one basket, their list becomes that basket's list.
    auto basketOf = [&](const CFileItem& it) {
        return static_cast<size_t>(
            it.BasketInd >= 0 && it.BasketInd < static_cast<int>(m_Baskets.size()) ? it.BasketInd : 0);
    };
    const size_t only = items.empty() ? 0 : basketOf(items.front());
    if (m_Baskets[only].m_Items.empty() &&
        std::all_of(items.begin(), items.end(), [&](const CFileItem& it) { return basketOf(it) == only; })) {
        m_Baskets[only].m_Items = std::move(items);
        items.clear();
    }
    std::vector<size_t> counts(m_Baskets.size());
    for (const auto& it : items) ++counts[basketOf(it)];
    for (size_t b = 0; b < m_Baskets.size(); ++b) m_Baskets[b].m_Items.reserve(m_Baskets[b].m_Items.size() + counts[b]);
    for (auto& it : items) m_Baskets[basketOf(it)].m_Items.push_back(std::move(it));
    // Selections and the current basket must name what exists.
    for (auto& basket : m_Baskets) {
        std::vector<int> sel;
        for (int i : basket.m_Selection)
            if (i >= 0 && i < static_cast<int>(basket.m_Items.size())) sel.push_back(i);
        basket.m_Selection = std::move(sel);
    }
    if (BasketInd < 0 || BasketInd >= static_cast<int>(m_Baskets.size())) BasketInd = 0;
    if (t_quietRead) return skipped;
    TraceReadProblems(source, problems);
    if (skipped > 0)
        WriteTraceString("Skipped " + std::to_string(skipped) + " unreadable line(s) in " + source);
    return skipped;
}

int CSession::Read(const std::string& folder) {
    WaitCursor wait;
    const std::string path = folder + BoxFileName;
    if (g_prefetch.valid()) {
        PrefetchedWorkFile ahead = g_prefetch.get();
        struct stat now {};
        if (ahead.clean && ahead.path == path && stat(path.c_str(), &now) == 0 && SameFile(ahead.seen, now)) {
            m_Baskets = std::move(ahead.session.m_Baskets);
            IsLoaded = true;
            if (BasketInd < 0 || BasketInd >= static_cast<int>(m_Baskets.size())) BasketInd = 0;
            return 1;
        }
    }
    // Only a regular file is read (a pipe there must not block the window).
    std::string bytes, why;
    if (!IsSafeBoxFileName(BoxFileName) || !ReadRegularFile(path, bytes, why)) {
        WriteTraceString("Data retrieve failed. \r\nNot found: " + path + "\r\nObject re-initialized.");
        return 0;
    }
    bool readError = false;
    const size_t skipped = ReadBytes(std::move(bytes), path, readError);
    // Only the session folder's own files are written again by a save.
    if ((skipped > 0 || readError) && folder == g_strSessionInfoDir)
        KeepDamagedFile(path, "session work file", skipped, readError ? "read error" : "");
    return 1;
}

size_t CSession::ReadBytes(std::string bytes, const std::string& path, bool& readError) {
    const size_t lineCount = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    std::istringstream in(std::move(bytes));
    // The three header lines: "Session ID:", the session's values and the
    // work-file name. A missing one must not take an item line with it. The
    // body is read on from where its first line starts.
    std::vector<std::string> lines;
    std::vector<std::streamoff> starts;
    std::string line;
    for (int k = 0; k < 3; ++k) {
        const std::streamoff start = in.tellg();
        if (!ReadLine(in, line)) break;
        starts.push_back(start);
        lines.push_back(std::move(line));
    }
    const std::streamoff afterHeader = in.good() ? std::streamoff(in.tellg()) : std::streamoff(-1);
    readError = in.bad();
    size_t at = 0, missing = 0;
    auto isBodyLine = [&](const std::string& l) {
        return HasKey(l, "FileName=") || l.find("End of Session ID:") != std::string::npos ||
               l.find("File-Basket info:") != std::string::npos;
    };
    if (at < lines.size() && lines[at].find("Session ID:") != std::string::npos &&
        lines[at].find("End of Session ID:") == std::string::npos)
        ++at;
    else
        ++missing;
    size_t head = 0;  // the header lines present before the first item
    while (head < 2 && at + head < lines.size() && !isBodyLine(lines[at + head])) ++head;
    if (head == 2) {
        if (!HasKey(lines[at], "SessionName=")) {
            ++missing;  // a damaged values line
        } else if (std::string problem = CheckHeaderKeys(lines[at]); !problem.empty()) {
            ++missing;
            if (!t_quietRead) TraceReadProblems(path, {{"session header: " + problem}, 0});
        }
    } else {
        missing += 2 - head;
    }
    at += head;
    const std::streamoff bodyStart = at < starts.size() ? starts[at] : afterHeader;
    size_t skipped = missing;
    if (bodyStart >= 0) {
        in.clear();
        in.seekg(bodyStart);
        skipped += ReadBody(in, "IsBatFile=", path, lineCount);
    } else {
        std::istringstream none;
        skipped += ReadBody(none, "IsBatFile=", path);
    }
    return skipped;
}

void PrefetchCurrentWorkFile(const std::string& masterPath, const std::string& folder) {
    DropWorkFilePrefetch();
    try {
        g_prefetch = std::async(std::launch::async, ReadAhead, masterPath, folder);
    } catch (const std::system_error&) {
        // No thread to spare: the load reads the file itself.
    }
}

void DropWorkFilePrefetch() {
    if (g_prefetch.valid()) g_prefetch.get();
}

void CSession::ReadLegacy(std::istream& in) {
    std::string line;
    ReadLine(in, line);
    ReadHeader(line);
    ReadLine(in, line);
    BoxFileName = line;
    ReadBody(in, "m_IsBatfile=", "session file");
}

void CSession::AddItemToBasket(const CFileItem& item, int basket) {
    if (m_Baskets.empty()) m_Baskets.emplace_back();
    if (basket < 0 || basket >= static_cast<int>(m_Baskets.size())) basket = 0;
    m_Baskets[basket].m_Items.push_back(item);
}

template <class Taken>
std::string CSession::MakeBoxFileNameIf(int project, int session, Taken taken) const {
    std::string kept;
    for (char c : SessionName)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')
            kept += c;
    char buf[64];
    std::snprintf(buf, sizeof buf, "Box%02d-Ses%02d-", project + 1, session + 1);
    std::string base = buf + kept;
    // A long name is cut, with room left for a number and ".txt"; a cut
    // name that is taken is numbered like any other.
    constexpr size_t kRoom = 10;  // "-NNNNN.txt"
    if (base.size() > kMostBoxFileName - kRoom) base.resize(kMostBoxFileName - kRoom);
    if (!taken(base + ".txt")) return base + ".txt";
    for (int n = 1;; ++n) {
        std::snprintf(buf, sizeof buf, "-%02d.txt", n);
        if (!taken(base + buf)) return base + buf;
    }
}

std::string CSession::MakeBoxFileName(int project, int session,
                                      const std::vector<std::string>& inUse) const {
    return MakeBoxFileNameIf(project, session,
                             [&](const std::string& name) { return ContainsString(inUse, name); });
}

void CSession::SetBoxFileName(int project, int session, std::vector<std::string>& inUse) {
    BoxFileName = MakeBoxFileName(project, session, inUse);
    inUse.push_back(BoxFileName);
}

void CSession::SetBoxFileNameAmong(int project, int session, std::unordered_set<std::string>& inUse) {
    BoxFileName = MakeBoxFileNameIf(project, session,
                                    [&](const std::string& name) { return inUse.count(name) != 0; });
    inUse.insert(BoxFileName);
}
