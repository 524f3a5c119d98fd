// The UNIX and VMS listing parsers of CFtpClient.
#include <cctype>

#include "remote/FtpClient.h"

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        std::string line = text.substr(pos, lf == std::string::npos ? std::string::npos : lf - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (lf == std::string::npos) break;
        pos = lf + 1;
    }
    return lines;
}

bool AllDigits(const std::string& s, size_t minLen, size_t maxLen) {
    if (s.size() < minLen || s.size() > maxLen) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool IsMonthName(const std::string& s) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (s.size() != 3) return false;
    std::string l;
    for (char c : s) l.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    for (const char* m : kMonths)
        if (l == m) return true;
    return false;
}

bool IsTimeOrYear(const std::string& s) {
    if (AllDigits(s, 4, 4)) return true;
    size_t colon = s.find(':');
    return colon != std::string::npos && AllDigits(s.substr(0, colon), 1, 2) &&
           AllDigits(s.substr(colon + 1), 2, 2);
}

// "2020-01-01": an ISO date.
bool IsIsoDate(const std::string& s) {
    return s.size() == 10 && s[4] == '-' && s[7] == '-' && AllDigits(s.substr(0, 4), 4, 4) &&
           AllDigits(s.substr(5, 2), 2, 2) && AllDigits(s.substr(8, 2), 2, 2);
}

// "12:00" or "12:00:59" (ISO listings).
bool IsClock(const std::string& s) {
    size_t colon = s.find(':');
    if (colon == std::string::npos || !AllDigits(s.substr(0, colon), 1, 2)) return false;
    std::string rest = s.substr(colon + 1);
    if (rest.size() == 5 && rest[2] == ':') return AllDigits(rest.substr(0, 2), 2, 2) && AllDigits(rest.substr(3), 2, 2);
    return AllDigits(rest, 2, 2);
}

// "2020-01-01T12:00" or "2020-01-01T12:00:59": an ISO date and time in one.
bool IsIsoDateTime(const std::string& s) {
    return s.size() > 11 && s[10] == 'T' && IsIsoDate(s.substr(0, 10)) && IsClock(s.substr(11));
}

// "01-01-20" or "01-01-2020": the date of a DOS-style listing.
bool IsDosDate(const std::string& s) {
    return (s.size() == 8 || s.size() == 10) && s[2] == '-' && s[5] == '-' && AllDigits(s.substr(0, 2), 2, 2) &&
           AllDigits(s.substr(3, 2), 2, 2) && AllDigits(s.substr(6), 2, 4);
}

// "12:00PM" or "09:15AM": the time of a DOS-style listing.
bool IsDosTime(const std::string& s) {
    if (s.size() < 6) return false;
    std::string half = s.substr(s.size() - 2);
    for (char& c : half) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return (half == "AM" || half == "PM") && IsClock(s.substr(0, s.size() - 2));
}

// A control character (below 0x20, or DEL) in a name: it could end a
// command line or fool the log, so such a name is refused like one with "/".
bool HasControlChar(const std::string& name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
    return false;
}

// A name taken from a listing that must not become an entry.
bool IsUnusableName(const std::string& name) {
    return name.empty() || name[0] == '.' || name.find('/') != std::string::npos ||
           HasControlChar(name);
}

void Output(const std::vector<CDirEntry>& collected, const std::string& pattern,
            std::vector<CDirEntry>& entries) {
    for (const CDirEntry& e : collected)
        if (e.bIsDir) entries.push_back(e);
    if (pattern == "*.DIR") return;
    for (const CDirEntry& e : collected)
        if (!e.bIsDir) entries.push_back(e);
}

}  // namespace

std::string CFtpClient::UnixListingName(const std::string& line) {
    // Words with their start and end.
    struct Word {
        size_t begin, end;
        std::string text;
    };
    std::vector<Word> words;
    for (size_t i = 0; i < line.size();) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        size_t b = i;
        while (i < line.size() && line[i] != ' ') ++i;
        words.push_back({b, i, line.substr(b, i - b)});
    }
    // The name is everything after the first date of the line, in any of
    // the forms: month name, day, and time or year after a size
    // ("12 Jan 1 12:00 name"); an ISO date and time after a size
    // ("12 2020-01-01 12:00 name", "12 2020-01-01T12:00 name", or the
    // latter opening the line); or DOS-style, date, time with AM or PM,
    // then "<DIR>" or a size ("01-01-20  12:00PM  <DIR>  name").
    for (size_t k = 0; k < words.size(); ++k) {
        size_t start = std::string::npos;
        if (k >= 1 && k + 2 < words.size() && AllDigits(words[k - 1].text, 1, 20) && IsMonthName(words[k].text) &&
            AllDigits(words[k + 1].text, 1, 2) && IsTimeOrYear(words[k + 2].text)) {
            start = words[k + 2].end + 1;
        } else if (k >= 1 && k + 1 < words.size() && AllDigits(words[k - 1].text, 1, 20) &&
                   IsIsoDate(words[k].text) && IsClock(words[k + 1].text)) {
            start = words[k + 1].end + 1;
        } else if ((k == 0 || AllDigits(words[k - 1].text, 1, 20)) && IsIsoDateTime(words[k].text)) {
            start = words[k].end + 1;
        } else if (k + 2 < words.size() && IsDosDate(words[k].text) && IsDosTime(words[k + 1].text) &&
                   (words[k + 2].text == "<DIR>" || AllDigits(words[k + 2].text, 1, 20))) {
            // The name stands after the blanks that pad the size column.
            start = words[k + 2].end;
            while (start < line.size() && line[start] == ' ') ++start;
        } else {
            continue;
        }
        if (start >= line.size()) return std::string();  // a date and no name
        std::string name = line.substr(start);
        if (!line.empty() && line[0] == 'l') {
            size_t arrow = name.find(" -> ");
            if (arrow != std::string::npos) name.resize(arrow);
        }
        return name;
    }
    // No date found: the last word, with a link's target cut off.
    std::string rest = line;
    size_t arrow = rest.find("->");
    if (arrow != std::string::npos) {
        rest.resize(arrow);
        if (!rest.empty() && rest.back() == ' ') rest.pop_back();
    }
    size_t blank = rest.rfind(' ');
    if (blank == std::string::npos) return std::string();
    return rest.substr(blank + 1);
}

void CFtpClient::ParseUnixListingText(const std::string& text, const std::string& pattern,
                                      std::vector<CDirEntry>& entries) {
    std::vector<CDirEntry> collected;
    std::vector<std::string> lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (i == 0 && line.compare(0, 6, "total ") == 0) continue;
        if (line.empty()) continue;
        std::string name = UnixListingName(line);
        if (IsUnusableName(name)) continue;
        CDirEntry e;
        e.strName = name;
        e.bIsDir = line[0] == 'd';
        collected.push_back(e);
    }
    Output(collected, pattern, entries);
}

void CFtpClient::ParseVmsListingText(const std::string& text, const std::string& pattern,
                                     std::vector<CDirEntry>& entries) {
    if (text.find("->") != std::string::npos) return;
    std::vector<CDirEntry> collected;
    std::vector<std::string> lines = SplitLines(text);
    bool headerSkipped = false;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        if (!headerSkipped) {
            headerSkipped = true;  // "Directory DKA0:[USER]"
            continue;
        }
        if (line[0] == ' ' || line[0] == '\t') continue;  // wrapped second line
        size_t semi = line.find(';');
        size_t blank = line.find_first_of(" \t");
        if (semi == std::string::npos || (blank != std::string::npos && blank < semi)) continue;
        std::string name = line.substr(0, semi);
        CDirEntry e;
        size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0) {
            std::string type = name.substr(dot + 1);
            for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (type == "DIR") {
                name.resize(dot);
                e.bIsDir = true;
            }
        }
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
            HasControlChar(name))
            continue;
        e.strName = name;
        collected.push_back(e);
    }
    Output(collected, pattern, entries);
}
