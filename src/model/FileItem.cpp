#include "model/FileItem.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/Account.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "model/ListingLine.h"

namespace {
// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

long UtcOffset(std::time_t t, std::tm* out = nullptr) {
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return LONG_MIN;
    if (out) *out = tm;
    return tm.tm_gmtoff;
}

// The local time read with localtime_r, which does not look at the zone's
// file again: mktime does on every call (glibc reads /etc/localtime's state
// each time when TZ is unset), and a session file of thousands of items
// asks for two times per item. Only a time whose zone offset is the same 27
// hours before and after it (more than any two offsets differ) is answered
// here: it names one moment, the one mktime gives. Anything near a change of
// the offset, or out of range, is left to mktime.
bool QuickLocalTime(int year, int month, int day, int hour, int minute, int second, std::time_t& out) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59 || year < 1902 || year > 2999)
        return false;
    const long long wall = DaysFromCivil(year, month, day) * 86400LL + hour * 3600 + minute * 60 + second;
    const long first = UtcOffset(std::time_t(wall));
    if (first == LONG_MIN) return false;
    const std::time_t t = std::time_t(wall - first);
    std::tm tm{};
    const long off = UtcOffset(t, &tm);
    if (off != first || tm.tm_year != year - 1900 || tm.tm_mon != month - 1 || tm.tm_mday != day ||
        tm.tm_hour != hour || tm.tm_min != minute || tm.tm_sec != second)
        return false;
    constexpr std::time_t kMargin = 27 * 3600;
    if (UtcOffset(t - kMargin) != off || UtcOffset(t + kMargin) != off) return false;
    out = t;
    return true;
}
}  // namespace

std::time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second) {
    if (std::time_t t; QuickLocalTime(year, month, day, hour, minute, second, t)) return t;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// Both markers are asked for with every item; the time zone does not change
// during a run.
std::time_t RemoteUnknownTime() {
    static const std::time_t t = MakeLocalTime(1970, 1, 1, 1, 1, 1);
    return t;
}
std::time_t DefaultItemTime() {
    static const std::time_t t = MakeLocalTime(1970, 1, 1, 0, 0, 0);
    return t;
}

std::string FormatStoredTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d+%d+%d+%d+%d+%d+", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

namespace {
// atoi: leading blanks, an optional sign, the digits that follow.
int AtoI(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' ||
                            s[i] == '\v' || s[i] == '\f'))
        ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    long long v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        v = v * 10 + (s[i] - '0');
        if (v > 100000000) v = 100000000;
        ++i;
    }
    return static_cast<int>(neg ? -v : v);
}

bool DateIsSane(int year, int month, int day) {
    return year >= 1970 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool FileExists(const std::string& path, struct stat* st = nullptr) {
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0 || !S_ISREG(s.st_mode)) return false;
    if (st) *st = s;
    return true;
}

std::string FormatColumnTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d-%s-%d %02d:%02d:%02d", tm.tm_mday, months[tm.tm_mon],
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// The extension's first occurrence is at the very end of the name.
bool EndsWithFirst(const std::string& s, const std::string& ext) {
    size_t pos = s.find(ext);
    return pos != std::string::npos && pos + ext.size() == s.size();
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<std::string> SplitBlanks(const std::string& s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}
}  // namespace

namespace {
// The six parts of a stored time; false when the date cannot be right.
bool ReadStoredParts(const std::string& text, int (&parts)[6]) {
    size_t at = 0;
    for (int& part : parts) {
        const size_t plus = text.find('+', at);
        if (plus == std::string::npos) continue;
        part = AtoI(std::string_view(text).substr(at, plus - at));
        at = plus + 1;
    }
    if (!DateIsSane(parts[0], parts[1], parts[2])) return false;
    // Keep the clock parts within a day so that a damaged file cannot move
    // the date by years.
    for (int i = 3; i < 6; ++i)
        if (parts[i] < 0 || parts[i] > 60) parts[i] = 0;
    return parts[0] <= 9999;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}
}  // namespace

std::time_t ParseStoredTime(const std::string& text) {
    int parts[6] = {1970, 1, 1, 0, 0, 0};
    if (!ReadStoredParts(text, parts)) return MakeLocalTime(2006, 1, 1, 0, 0, 0);
    return MakeLocalTime(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
}

std::time_t CStoredTimeReader::Parse(const std::string& text) {
    int parts[6] = {1970, 1, 1, 0, 0, 0};
    if (!ReadStoredParts(text, parts)) return MakeLocalTime(2006, 1, 1, 0, 0, 0);
    const int year = parts[0], month = parts[1], day = parts[2];
    // The times MakeLocalTime answers without mktime, on a real date.
    if (year < 1902 || year > 2999 || day > DaysInMonth(year, month) || parts[3] > 23 || parts[4] > 59 ||
        parts[5] > 59)
        return MakeLocalTime(year, month, day, parts[3], parts[4], parts[5]);
    const long long days = DaysFromCivil(year, month, day);
    if (days != m_day) {
        m_day = days;
        // The offset must hold over the day's moments and 27 hours on either
        // side: looked at no more than 26 hours apart, as MakeLocalTime looks
        // at a single time, so no change of the offset goes unseen.
        const long long start = days * 86400LL;
        m_offset = UtcOffset(std::time_t(start));
        m_steady = m_offset != LONG_MIN;
        const long long first = start - m_offset - 27 * 3600LL;
        const long long last = start + 86399 - m_offset + 27 * 3600LL;
        for (long long t = first; m_steady; t += 26 * 3600LL) {
            const long long at = std::min(t, last);
            m_steady = UtcOffset(std::time_t(at)) == m_offset;
            if (at == last) break;
        }
    }
    if (!m_steady) return MakeLocalTime(year, month, day, parts[3], parts[4], parts[5]);
    return std::time_t(m_day * 86400LL + parts[3] * 3600 + parts[4] * 60 + parts[5] - m_offset);
}

int GetMonthNumber(const std::string& month) {
    static const char* names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i)
        if (month == names[i]) return i + 1;
    return 1;
}

bool GetLocalFileTime(const std::string& path, std::time_t& t) {
    struct stat st {};
    if (!FileExists(path, &st)) return false;
    t = st.st_mtime;
    return true;
}

CFileItem::CFileItem() { Reset(); }

CFileItem::CFileItem(const std::string& fileName) {
    Reset();
    FileName = fileName;
}

void CFileItem::Reset() {
    FileName = "-na-";
    FileType = "-na-";
    RemHost = "-na-";
    RemUser = "-na-";
    RemPassword.clear();
    RemoteDir = "-na-";
    LocalDir = g_strWorkFilesDir;
    IsBatFile = false;
    IsBinaryFile = false;
    IsFTPed = "No";
    IsPinned = "No";
    IsRemoteModified = "No";
    IsRemoteMissing = "No";
    LocalModTime = DefaultItemTime();
    RemoteModTime = DefaultItemTime();
    RemoteSecondKnown = false;
    RemoteSize = -1;
    RemoteTimeUnit = 0;
    RemoteTimeListed = false;
    BasketInd = 0;
}

bool CFileItem::IsLocalFileChanged() const {
    struct stat st {};
    return FileExists(GetLocalPath(), &st) && DiffersFrom(st);
}

bool CFileItem::DiffersFrom(const struct stat& st) const {
    if (st.st_mtime != LocalModTime) return true;
    // An edit within the second of the last transfer shows in the part of
    // the time the stored whole second leaves out, or in the size.
    return LocalSeen.sec == LocalModTime &&
           (LocalSeen.nsec != st.st_mtim.tv_nsec || LocalSeen.size != static_cast<long long>(st.st_size));
}

std::string CFileItem::GetLocalStatus() const {
    struct stat st {};
    if (FileExists(GetLocalPath(), &st)) return DiffersFrom(st) ? "LocalModified" : "";
    if (FileType == "local") return "LocalMissing";
    if (FileType == "remote") return IsFTPed != "No" ? "LocalMissing" : "";
    return "";
}

int CFileItem::ClearLocalDirty() {
    const std::string status = GetLocalStatus();
    if (status == "LocalModified") {
        std::time_t t = 0;
        if (!GetLocalFileTime(GetLocalPath(), t)) return 0;
        RefreshLocalTime();
        return 1;
    }
    if (status == "LocalMissing" && FileType == "remote") {
        IsFTPed = "No";
        return 1;
    }
    return 0;
}

void CFileItem::RefreshLocalTime() {
    struct stat st {};
    if (!FileExists(GetLocalPath(), &st)) {
        LocalModTime = DefaultItemTime();
        LocalSeen = LocalFileSeen();
        return;
    }
    LocalModTime = st.st_mtime;
    LocalSeen.sec = st.st_mtime;
    LocalSeen.nsec = st.st_mtim.tv_nsec;
    LocalSeen.size = static_cast<long long>(st.st_size);
}

std::string CFileItem::GetHostKind() const {
    // A UNIX folder may hold "[" in its name: the folder's form decides
    // only where the account does not tell, and a folder with "/" in it
    // is never a VMS one.
    if (HostType == "UNIX" || HostType == "VMS") return HostType;
    return RemoteDir.find('[') != std::string::npos && RemoteDir.find('/') == std::string::npos ? "VMS" : "UNIX";
}

namespace {
// The line of a UNIX listing that is the entry of the file: it ends with a
// blank and the full path, or (as real servers list a folder) with a blank
// and the bare name. cut: where that blank stands.
bool FindUnixListingEntry(const std::string& listing, const std::string& fileName, const std::string& full,
                          std::string& line, size_t& cut) {
    if (fileName.empty()) return false;
    size_t lineStart = 0;
    while (lineStart <= listing.size()) {
        size_t lineEnd = listing.find_first_of("\r\n", lineStart);
        if (lineEnd == std::string::npos) lineEnd = listing.size();
        line = listing.substr(lineStart, lineEnd - lineStart);
        if (EndsWith(line, " " + full)) {
            cut = line.size() - full.size() - 1;
            return true;
        }
        if (EndsWith(line, " " + fileName) && !EndsWith(line, " -> " + fileName)) {
            cut = line.size() - fileName.size() - 1;  // not the target of a link
            return true;
        }
        // A symbolic link's own line: its name, then " -> " and its target.
        if (!line.empty() && line[0] == 'l') {
            for (const std::string* name : {&full, &fileName}) {
                const size_t at = line.find(" " + *name + " -> ");
                if (at != std::string::npos) {
                    cut = at;
                    return true;
                }
            }
        }
        if (lineEnd >= listing.size()) break;
        lineStart = lineEnd + 1;
    }
    return false;
}
}  // namespace

std::string CFileItem::GetRemoteListingText(const std::string& listing) const {
    const std::string missing = "RemoteMissing";
    if (GetHostKind() == "VMS") {
        const std::string name = ToLowerAscii(FileName);
        const std::string text = ToLowerAscii(listing);
        if (name.empty()) return missing;
        // The name counts only where an entry starts and its version follows.
        size_t pos = text.find(name);
        while (pos != std::string::npos) {
            bool atStart = pos == 0 || text[pos - 1] == ' ' || text[pos - 1] == '\t' ||
                           text[pos - 1] == '\n' || text[pos - 1] == '\r';
            size_t after = pos + name.size();
            if (atStart && after < text.size() && text[after] == ';') break;
            pos = text.find(name, pos + 1);
        }
        if (pos == std::string::npos) return missing;
        size_t bracket = listing.find('[', pos);
        if (bracket == std::string::npos) return missing;
        std::string entry = listing.substr(pos, bracket - pos);
        size_t slash = entry.find('/');
        if (slash == std::string::npos) return missing;
        size_t blank = entry.find(' ', slash);
        if (blank == std::string::npos) return missing;
        return entry.substr(blank);
    }
    std::string line;
    size_t cut = 0;
    if (!FindUnixListingEntry(listing, FileName, RemoteDir + FileName, line, cut)) return missing;
    // The date as the listing gave it, in one form for every language and
    // date style: "jan 5 12:00", "jan 5 2020" or, where a line shows both,
    // "jan 5 2020 12:00:00".
    const CListingLine read = ReadUnixListingLine(line);
    if (read.dated) {
        static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};
        char text[64];
        if (read.year == 0)
            std::snprintf(text, sizeof text, "%s %d %d:%02d", kMonths[read.month - 1], read.day, read.hour,
                          read.minute);
        else if (read.clock)
            std::snprintf(text, sizeof text, "%s %d %d %d:%02d:%02d", kMonths[read.month - 1], read.day,
                          read.year, read.hour, read.minute, read.second);
        else
            std::snprintf(text, sizeof text, "%s %d %d", kMonths[read.month - 1], read.day, read.year);
        return text;
    }
    std::string head = line.substr(0, cut);
    for (size_t i = head.size(); i-- > 0;) {
        if (head[i] >= 'a' && head[i] <= 'z') {
            return i >= 2 ? head.substr(i - 2) : head;
        }
    }
    return missing;
}

long long CFileItem::GetRemoteListingSize(const std::string& listing) const {
    std::string line;
    size_t cut = 0;
    if (GetHostKind() != "UNIX" || !FindUnixListingEntry(listing, FileName, RemoteDir + FileName, line, cut))
        return -1;
    return ReadUnixListingLine(line).size;
}

std::string CFileItem::ApplyRemoteTime(const std::string& timeText, const std::string& hostKind) {
    if (timeText == "RemoteMissing") {
        RemoteModTime = RemoteUnknownTime();
        return "-missing-";
    }
    std::string text = ToLowerAscii(timeText);
    size_t first = text.find_first_not_of(" \t");
    text = first == std::string::npos ? std::string() : text.substr(first);
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    bool thisYear = false;
    if (hostKind == "UNIX") {
        std::vector<std::string> tok = SplitBlanks(text);
        if (!tok.empty()) month = GetMonthNumber(tok[0]);
        if (tok.size() > 1) day = AtoI(tok[1]);
        if (tok.size() > 2) {
            size_t colon = tok[2].find(':');
            if (colon != std::string::npos) {
                std::time_t now = std::time(nullptr);
                std::tm tm{};
                localtime_r(&now, &tm);
                year = tm.tm_year + 1900;
                hour = AtoI(tok[2].substr(0, colon));
                minute = AtoI(tok[2].substr(colon + 1));
                thisYear = true;
            } else {
                year = AtoI(tok[2]);
                // The time of day after the year, as ISO and DOS-style
                // listings give it: "12:00" or "12:00:59".
                const size_t c1 = tok.size() > 3 ? tok[3].find(':') : std::string::npos;
                if (c1 != std::string::npos) {
                    hour = AtoI(tok[3].substr(0, c1));
                    minute = AtoI(tok[3].substr(c1 + 1));
                    const size_t c2 = tok[3].find(':', c1 + 1);
                    if (c2 != std::string::npos) second = AtoI(tok[3].substr(c2 + 1));
                }
            }
        }
    } else if (hostKind == "VMS") {
        size_t d1 = text.find('-');
        if (d1 != std::string::npos) {
            day = AtoI(text.substr(0, d1));
            size_t d2 = text.find('-', d1 + 1);
            if (d2 != std::string::npos) {
                month = GetMonthNumber(text.substr(d1 + 1, d2 - d1 - 1));
                size_t b = text.find(' ', d2 + 1);
                year = AtoI(text.substr(d2 + 1, b == std::string::npos ? std::string::npos : b - d2 - 1));
                if (b != std::string::npos) {
                    std::string clock = text.substr(b + 1);
                    size_t c1 = clock.find(':');
                    if (c1 != std::string::npos) {
                        hour = AtoI(clock.substr(0, c1));
                        size_t c2 = clock.find(':', c1 + 1);
                        minute = AtoI(clock.substr(c1 + 1));
                        if (c2 != std::string::npos) second = AtoI(clock.substr(c2 + 1));
                    }
                }
            }
        }
    }
    if (!DateIsSane(year, month, day) || year > 9999 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60) {
        year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
        thisYear = false;
    }
    std::time_t t = MakeLocalTime(year, month, day, hour, minute, second);
    // A listing shows the clock instead of the year for the last months;
    // such a date more than a day ahead of now lies in the previous year.
    if (thisYear && t > std::time(nullptr) + 86400)
        t = MakeLocalTime(year - 1, month, day, hour, minute, second);
    std::string status = " Ok";
    const std::time_t marker = RemoteUnknownTime();
    if (t == marker || RemoteModTime == marker)
        status = "-not sure-";
    else if (RemoteModTime != t)
        status = "-dirty-";
    RemoteModTime = t;
    return status;
}

std::string CFileItem::UpdateRemoteStatus(const std::string& listing, std::string& status) {
    const std::string kind = GetHostKind();
    status = ApplyRemoteTime(GetRemoteListingText(listing), kind);
    RemoteSize = status == "-missing-" ? -1 : GetRemoteListingSize(listing);
    RemoteTimeListed = status != "-missing-";
    return status;
}

std::string CFileItem::GetModifiedTimeText() const {
    if (FileType == "remote" && IsFTPed != "Yes") return "..-...-.... ..:..:..";
    std::time_t t = 0;
    if (!GetLocalFileTime(GetLocalPath(), t)) return "LocalMissing";
    return FormatColumnTime(LocalModTime);
}

std::string CFileItem::GetCreatedTimeText() const {
    if (FileType == "remote" && IsFTPed != "Yes") return "..-...-.... ..:..:..";
    const std::string path = GetLocalPath();
    if (!FileExists(path)) return "LocalMissing";
    std::time_t created = 0;
#ifdef STATX_BTIME
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) == 0) {
        created = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
    }
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) created = st.st_ctime;
#endif
    return FormatColumnTime(created);
}

std::string CFileItem::GetSyncText() const {
    const std::string suffix = IsPinned.find("IsPinned") != std::string::npos ? " (pinned)" : "";
    if (IsFTPed != "Yes") return "Not FTP-ed" + suffix;
    std::time_t t = 0;
    if (!GetLocalFileTime(GetLocalPath(), t)) return "Missing" + suffix;
    if (IsLocalFileChanged()) return "Modified" + suffix;
    return "Synchronized" + suffix;
}

std::string CFileItem::GetTypeFromExtension() const {
    if (IsBatFile && IsBinaryFile) return "~(Binary Batch file)~";
    if (IsBatFile) return "~(Batch file)~";
    if (IsBinaryFile) return "~(Binary file)~";
    const std::string n = ToLowerAscii(FileName);
    if (Contains(n, ".com")) return "Com file";
    if (Contains(n, ".txt")) return "Text file";
    if (Contains(n, ".cpp") || Contains(n, ".cxx")) return "C++ file";
    if (Contains(n, ".cob")) return "Cobol file";
    if (EndsWithFirst(n, ".c")) return "C file";
    if (EndsWithFirst(n, ".h")) return "Header file";
    if (Contains(n, ".java")) return "Java file";
    if (Contains(n, ".bas")) return "Basic file";
    if (Contains(n, ".doc")) return "Document";
    if (Contains(n, ".htm")) return "Html file";
    if (Contains(n, ".lib")) return "Static library";
    if (Contains(n, ".dll")) return "Dynamic link library";
    if (Contains(n, ".class")) return "Java class";
    if (Contains(n, ".bmp")) return "Bitmap file";
    if (Contains(n, ".jpg")) return "Jpeg file";
    if (Contains(n, ".gif")) return "Gif file";
    if (Contains(n, ".log")) return "Log file";
    if (Contains(n, ".exe")) return "Application file";
    if (Contains(n, ".ini")) return "Init file";
    if (Contains(n, ".obj")) return "Object file";
    if (EndsWithFirst(n, ".s")) return "Assembly file";
    if (Contains(n, ".bli")) return "Bliss file";
    if (Contains(n, ".pas")) return "Pascal file";
    if (Contains(n, ".opt")) return "Option file";
    if (Contains(n, ".dat")) return "Data file";
    if (Contains(n, ".out")) return "Output file";
    return "-(Unknown)-TBD";
}

int CFileItem::GetImageIndex() const {
    static const std::string pins[] = {"IsPinned1", "IsPinned2", "IsPinned3", "IsPinned4",
                                       "IsPinned5", "IsPinned6", "IsPinned7", "IsPinned8"};
    for (int i = 1; i <= 8; ++i)
        if (IsPinned.find(pins[i - 1]) != std::string::npos) return i;
    if (IsPinned.find("IsPinned") != std::string::npos) return 1;
    if (IsFTPed.find("No") != std::string::npos) {
        if (IsBatFile) return 11;
        if (IsBinaryFile) return 13;
        if (FileType == "local") return 9;
        if (FileType == "remote") return 10;
    }
    if (IsBatFile) return 12;
    if (IsBinaryFile) return 14;
    const std::string n = ToLowerAscii(FileName);
    if (EndsWithFirst(n, ".com")) return 15;
    if (EndsWithFirst(n, ".cpp") || EndsWithFirst(n, ".cxx")) return 16;
    if (EndsWithFirst(n, ".cob")) return 17;
    if (EndsWithFirst(n, ".c")) return 18;
    if (EndsWithFirst(n, ".h")) return 19;
    if (EndsWithFirst(n, ".java")) return 20;
    if (EndsWithFirst(n, ".bas")) return 21;
    if (EndsWithFirst(n, ".txt")) return 22;
    return 0;
}

std::string CFileItem::GetStatusText() const {
    std::string s;
    const std::string local = GetLocalStatus();
    if (local == "LocalModified") s += "*Local copy dirty. ";
    else if (local == "LocalMissing") s += "~Local copy missing. ";
    if (IsRemoteModified == "Yes") s += "*Remote copy dirty. ";
    if (IsRemoteMissing == "Yes") s += "~Remote copy missing. ";
    if (s.empty()) s += "Normal. ";
    if (IsBatFile) s += "Marked as BAT. ";
    s += IsFTPed == "Yes" ? "Ftped " : "Never Ftped ";
    s += IsBinaryFile ? "(bianry). " : "(ascii). ";
    if (FileType == "remote") s += "Added from remote. ";
    else if (FileType == "local") s += "Added from local. ";
    if (IsPinned.find("IsPinned") != std::string::npos) s += "(Pinned) ";
    return s;
}

std::string CFileItem::GetShortReport() const {
    return "File:   " + FileName + "\r\n" + "Remote: " + RemoteDir + "\r\n" + "Local:  " + LocalDir +
           "\r\n" + "Status: " + GetStatusText() + "\r\n" + "Host:   " + RemHost + "\r\n" +
           "User:   " + RemUser;
}

std::string CFileItem::GetLongReport(const std::string& hostType) const {
    std::string r(38, '_');
    r += "\r\n";
    r += "File:    \t" + FileName + "\r\n";
    r += "F Type:  \t" + FileType + "\r\n";
    r += "Remote:  \t" + RemoteDir + "\r\n";
    r += "Local:   \t" + LocalDir + "\r\n";
    r += "Host:    \t" + RemHost + "\r\n";
    r += "H Type:  \t" + hostType + "\r\n";
    r += "User:    \t" + RemUser + "\r\n";
    r += std::string("Is Bat:  \t") + (IsBatFile ? "Yes" : "No") + "\r\n";
    r += std::string("Is Bin:  \t") + (IsBinaryFile ? "Yes" : "No") + "\r\n";
    r += "Is FTPed:\t" + IsFTPed + "\r\n";
    r += "Is pin:  \t" + IsPinned + "\r\n";
    r += "Is R mod:\t" + IsRemoteModified + "\r\n";
    r += "Is R mis:\t" + IsRemoteMissing + "\r\n";
    r += "L Time:  \t" + GetLocalTimeText() + "\r\n";
    r += "R Time:  \t" + GetRemoteTimeText();
    return r;
}

int CFileItem::CreateEmptyLocalFile(std::string& message) {
    const std::string path = GetLocalPath();
    if (!IsValidPath(path) || FileName.empty()) return 2;
    if (::access(path.c_str(), F_OK) == 0) {
        message = "File already exists.";
        return 0;
    }
    if (!LocalDir.empty()) CreateFolderPath(LocalDir);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        message = SystemErrorText(errno);
        return 2;
    }
    ::close(fd);
    RefreshLocalTime();
    return 1;
}

int CFileItem::CopyFileWithCheck(const CFileItem& source, std::string& message) {
    const std::string from = source.GetLocalPath();
    const std::string to = GetLocalPath();
    if (!IsValidPath(from) || !IsValidPath(to)) return 2;
    if (from == to) {
        message = "Same file name.";
        return 2;
    }
    if (::access(to.c_str(), F_OK) == 0) {
        message = "File already exists.";
        return 0;
    }
    if (!FileExists(from)) {
        message = "Original file is missing.";
        return 2;
    }
    if (!LocalDir.empty()) CreateFolderPath(LocalDir);
    std::string error;
    if (!CopyFileBytes(from, to, false, error)) {
        message = error;
        return 2;
    }
    RefreshLocalTime();
    return 1;
}

bool CFileItem::RepairLineBreaks() {
    const std::string path = GetLocalPath();
    FinishCutCopyOf(path);
    if (!FileExists(path)) return true;
    std::string text;
    if (!ReadFileText(path, text)) return false;
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r') out += c;
    std::string error;
    if (!SaveFileAtomic(path, out, error, 0644)) {
        WriteTrace("Failed to write:" + path);
        return false;
    }
    return true;
}
