// Reads the lines of UNIX-style listings: "ls -l" in its date forms and
// the DOS-style lines of Windows servers.
#include "model/ListingLine.h"

#include <cctype>
#include <string>
#include <vector>

namespace {

bool AllDigits(const std::string& s, size_t minLen, size_t maxLen) {
    if (s.size() < minLen || s.size() > maxLen) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A-Z only: the bytes of UTF-8 month names stay as they are whatever the
// program's locale.
std::string LowerAscii(const std::string& s) {
    std::string l = s;
    for (char& c : l)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return l;
}

// The month a listing's month word names, 1 to 12, or 0. "ls -l" writes the
// abbreviated month of its locale: English ("Jan"), German ("Jan", "Mär",
// "Okt", older systems "Jan." or "März"), French ("janv.", "févr.", "août",
// "déc."), and Japanese, Chinese or Korean with the month's number ("1月",
// "12月", "1월").
int ListingMonth(const std::string& word) {
    static const struct {
        const char* text;
        int month;
    } kNames[] = {
        {"jan", 1},  {"feb", 2},  {"mar", 3},   {"apr", 4},   {"may", 5},   {"jun", 6},
        {"jul", 7},  {"aug", 8},  {"sep", 9},   {"oct", 10},  {"nov", 11},  {"dec", 12},
        // German
        {"mär", 3},  {"märz", 3}, {"mrz", 3},   {"mai", 5},   {"juni", 6},  {"juli", 7},
        {"sept", 9}, {"okt", 10}, {"dez", 12},
        // French
        {"janv", 1}, {"févr", 2}, {"fév", 2},   {"mars", 3},  {"avr", 4},   {"avril", 4},
        {"juin", 6}, {"juil", 7}, {"août", 8},  {"aoû", 8},   {"déc", 12},
    };
    std::string w = LowerAscii(word);
    if (!w.empty() && w.back() == '.') w.pop_back();
    for (const auto& n : kNames)
        if (w == n.text) return n.month;
    size_t digits = 0;
    while (digits < w.size() && std::isdigit(static_cast<unsigned char>(w[digits]))) ++digits;
    if (digits >= 1 && digits <= 2) {
        const std::string unit = w.substr(digits);
        const int m = std::stoi(w.substr(0, digits));
        if ((unit == "\xE6\x9C\x88" || unit == "\xEC\x9B\x94") && m >= 1 && m <= 12) return m;  // 月, 월
    }
    return 0;
}

// "5" or, as German listings write it, "5.": the day of the month.
int ListingDay(const std::string& word) {
    std::string w = word;
    if (!w.empty() && w.back() == '.') w.pop_back();
    if (!AllDigits(w, 1, 2)) return 0;
    const int d = std::stoi(w);
    return d >= 1 && d <= 31 ? d : 0;
}

// "12:00" or "2020": the time of day of a recent file, or the year of an
// older one.
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

// "12:00", "12:00:59" or, with --time-style=full-iso, "12:00:59.123456789"
// (ISO listings).
bool IsClock(const std::string& s) {
    size_t colon = s.find(':');
    if (colon == std::string::npos || !AllDigits(s.substr(0, colon), 1, 2)) return false;
    std::string rest = s.substr(colon + 1);
    if (rest.size() > 6 && rest[5] == '.' && AllDigits(rest.substr(6), 1, 9)) rest.resize(5);
    if (rest.size() == 5 && rest[2] == ':') return AllDigits(rest.substr(0, 2), 2, 2) && AllDigits(rest.substr(3), 2, 2);
    return AllDigits(rest, 2, 2);
}

// "+0100" or "-0500": the zone full-iso listings give after the time.
bool IsZone(const std::string& s) {
    return s.size() == 5 && (s[0] == '+' || s[0] == '-') && AllDigits(s.substr(1), 4, 4);
}

// Reads "12:00", "12:00:59" or "12:00:59.5" into the line's clock.
void ReadClock(const std::string& s, CListingLine& out) {
    out.clock = true;
    out.hour = std::stoi(s.substr(0, s.find(':')));
    const std::string rest = s.substr(s.find(':') + 1);
    out.minute = std::stoi(rest.substr(0, 2));
    out.second = rest.size() >= 5 && rest[2] == ':' ? std::stoi(rest.substr(3, 2)) : 0;
}

// Reads "12:00" (the clock) or "2020" (the year).
void ReadTimeOrYear(const std::string& s, CListingLine& out) {
    if (s.find(':') != std::string::npos)
        ReadClock(s, out);
    else
        out.year = std::stoi(s);
}

// Reads "2020-01-05".
void ReadIsoDate(const std::string& s, CListingLine& out) {
    out.year = std::stoi(s.substr(0, 4));
    out.month = std::stoi(s.substr(5, 2));
    out.day = std::stoi(s.substr(8, 2));
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

// "-rw-r--r--", "drwxr-xr-x+", "lrwxrwxrwx.": the mode of an "ls -l" line.
bool IsMode(const std::string& s) {
    if (s.size() < 10 || std::string("-bcdlpsDn").find(s[0]) == std::string::npos) return false;
    for (size_t i = 1; i < 10; ++i)
        if (std::string("rwxsStTlL-").find(s[i]) == std::string::npos) return false;
    return true;
}

}  // namespace

CListingLine ReadUnixListingLine(const std::string& line) {
    CListingLine out;
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
    auto sizeBefore = [&](size_t k) { return k >= 1 && AllDigits(words[k - 1].text, 1, 20); };
    // The name is everything after the first date of the line, in any of
    // the forms:
    //   month, day, then time or year, after a size ("12 Jan 5 12:00 name",
    //     "12 1月 5 2020 name");
    //   day, month, then time or year, after a size ("12 5. Jan 12:00 name",
    //     "12 5 janv. 2020 name");
    //   an ISO date and time after a size ("12 2020-01-05 12:00 name", and
    //     full-iso "12 2020-01-05 12:00:00.000000000 +0100 name");
    //   ISO date and time in one, after a size or opening the line
    //     ("12 2020-01-05T12:00 name");
    //   DOS-style: date, time with AM or PM, then "<DIR>" or a size
    //     ("01-05-20  12:00PM  <DIR>  name").
    for (size_t k = 0; k < words.size(); ++k) {
        size_t start = std::string::npos;
        size_t sizeAt = sizeBefore(k) ? k - 1 : std::string::npos;
        CListingLine date;
        date.dated = true;
        bool dos = false;
        if (sizeBefore(k) && k + 2 < words.size() && ListingMonth(words[k].text) &&
            ListingDay(words[k + 1].text) && IsTimeOrYear(words[k + 2].text)) {
            date.month = ListingMonth(words[k].text);
            date.day = ListingDay(words[k + 1].text);
            ReadTimeOrYear(words[k + 2].text, date);
            start = words[k + 2].end + 1;
        } else if (sizeBefore(k) && k + 2 < words.size() && ListingDay(words[k].text) &&
                   ListingMonth(words[k + 1].text) && IsTimeOrYear(words[k + 2].text)) {
            date.day = ListingDay(words[k].text);
            date.month = ListingMonth(words[k + 1].text);
            ReadTimeOrYear(words[k + 2].text, date);
            start = words[k + 2].end + 1;
            // A year is shorter than the time of day, and where the
            // language's year form has no blank to spare ("5. Jan 2020"),
            // ls pads it after the year to keep the names in one column.
            if (!date.clock && start + 1 < line.size() && line[start] == ' ') ++start;
        } else if (sizeBefore(k) && k + 1 < words.size() && IsIsoDate(words[k].text) &&
                   IsClock(words[k + 1].text)) {
            ReadIsoDate(words[k].text, date);
            ReadClock(words[k + 1].text, date);
            start = words[k + 1].end + 1;
            if (k + 2 < words.size() && IsZone(words[k + 2].text) && words[k + 2].begin == start)
                start = words[k + 2].end + 1;
        } else if ((k == 0 || sizeBefore(k)) && IsIsoDateTime(words[k].text)) {
            ReadIsoDate(words[k].text.substr(0, 10), date);
            ReadClock(words[k].text.substr(11), date);
            start = words[k].end + 1;
        } else if (k + 2 < words.size() && IsDosDate(words[k].text) && IsDosTime(words[k + 1].text) &&
                   (words[k + 2].text == "<DIR>" || AllDigits(words[k + 2].text, 1, 20))) {
            const std::string& d = words[k].text;
            date.month = std::stoi(d.substr(0, 2));
            date.day = std::stoi(d.substr(3, 2));
            date.year = std::stoi(d.substr(6));
            if (d.size() == 8) date.year += date.year < 70 ? 2000 : 1900;
            const std::string& t = words[k + 1].text;
            ReadClock(t.substr(0, t.size() - 2), date);
            const bool pm = std::toupper(static_cast<unsigned char>(t[t.size() - 2])) == 'P';
            date.hour = date.hour % 12 + (pm ? 12 : 0);
            date.isDir = words[k + 2].text == "<DIR>";
            sizeAt = k + 2;
            dos = true;
            // The name stands after the blanks that pad the size column.
            start = words[k + 2].end;
            while (start < line.size() && line[start] == ' ') ++start;
        } else {
            continue;
        }
        if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) continue;
        // The size stands before the date, in a DOS-style line after it.
        if (sizeAt < words.size() && AllDigits(words[sizeAt].text, 1, 18))
            date.size = std::stoll(words[sizeAt].text);
        out = date;
        // The mode stands before the date, mostly opening the line ("ls
        // -li" puts the inode number in front of it).
        if (dos) {
            out.kind = out.isDir ? 'd' : '-';
        } else {
            for (size_t m = 0; m < k && !out.kind; ++m)
                if (IsMode(words[m].text)) out.kind = words[m].text[0];
        }
        if (start >= line.size()) return out;  // a date and no name
        out.name = line.substr(start);
        if (line[0] == 'l') {
            size_t arrow = out.name.find(" -> ");
            if (arrow != std::string::npos) out.name.resize(arrow);
        }
        if (line[0] == 'd') out.isDir = true;
        return out;
    }
    // No date found: the last word, with a link's target cut off. The
    // "total 8" line names no file "8".
    if (IsListingTotalLine(line)) return out;
    out.isDir = !line.empty() && line[0] == 'd';
    std::string rest = line;
    size_t arrow = rest.find("->");
    if (arrow != std::string::npos) {
        rest.resize(arrow);
        if (!rest.empty() && rest.back() == ' ') rest.pop_back();
    }
    size_t blank = rest.rfind(' ');
    if (blank != std::string::npos) out.name = rest.substr(blank + 1);
    return out;
}

bool IsPlainFileLine(const std::string& line) {
    const CListingLine read = ReadUnixListingLine(line);
    if (read.kind) return read.kind == '-';
    return read.dated && !read.isDir && !read.name.empty();
}

bool IsListingTotalLine(const std::string& line) {
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) return false;
    size_t gap = line.find(' ', first);
    if (gap == std::string::npos) return false;
    size_t second = line.find_first_not_of(' ', gap);
    return second != std::string::npos && line.find(' ', second) == std::string::npos &&
           std::isdigit(static_cast<unsigned char>(line[second]));
}
