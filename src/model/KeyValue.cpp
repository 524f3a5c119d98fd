#include "model/KeyValue.h"

#include <cctype>
#include <climits>
#include <string_view>
#include <utility>

namespace {
// Position of the value of `key` in `line`, or npos.
size_t FindKey(const std::string& line, const std::string& key) {
    if (key.empty()) return std::string::npos;
    const size_t firstComma = line.find(',');
    size_t pos = line.find(key);
    while (pos != std::string::npos) {
        bool fieldStart = false;
        if (pos == 0) {
            fieldStart = true;
        } else {
            char prev = line[pos - 1];
            if (prev == ',') {
                fieldStart = true;
            } else if (prev == ' ') {
                // After ", " always; in the first field after a prefix blank.
                if (pos >= 2 && line[pos - 2] == ',')
                    fieldStart = true;
                else if ((firstComma == std::string::npos || pos < firstComma) &&
                         line.rfind('=', pos) == std::string::npos)
                    fieldStart = true;  // a line prefix holds no "=": a value does
            }
        }
        if (fieldStart) return pos + key.size();
        pos = line.find(key, pos + 1);
    }
    return std::string::npos;
}
}  // namespace

std::string GetKeyValue(const std::string& line, const std::string& key, char terminator) {
    size_t start = FindKey(line, key);
    if (start == std::string::npos) return {};
    size_t end = line.find(terminator, start);
    return end == std::string::npos ? line.substr(start) : line.substr(start, end - start);
}

bool HasKey(const std::string& line, const std::string& key) {
    return FindKey(line, key) != std::string::npos;
}

namespace {
// The texts the readers of the stored files look for anywhere in a line:
// the master data file, the session work files, the report columns and the
// library file. Each ends in a colon.
constexpr std::string_view kStoredMarkers[] = {
    "Program Option:",
    "Session Box:",
    "Session ID:",  // also the end of "End of Session ID:"
    "Session State:",
    "Remote Cluster Names:",
    "Remote dir Bookmark:",
    "End of remote dir Bookmark:",
    "Report specs from user:",
    "End of report specs from user:",
    "File-Basket info:",
    "End of file-basket info:",
    "~*~ Library option:",
    "~*~ (1.2)+ Wild find and replace libraries:",
    "~*~ (1.2)- End of wild find and replace libraries:",
    "~X~ Wild find rep macro list:",
    "~o~ End of wild find rep macro list:",
    "~X~ Wild and type manager info:",
    "~o~ End of wild and type manager info:",
    "~X~ Type card vector info:",
    "~o~ End of type card vector info:",
    "~X~ Macro-token delim list:",
    "~o~ End of macro-token delim list:",
};

// True when the colon at `at` ends the text of a marker.
bool EndsMarker(std::string_view text, size_t at) {
    for (std::string_view m : kStoredMarkers)
        if (m.size() <= at + 1 && text.compare(at + 1 - m.size(), m.size(), m) == 0) return true;
    return false;
}

// True when the "[<]" at `at` starts a code that DecodeLineText reads.
bool StartsLineCode(std::string_view text, size_t at) {
    for (std::string_view code : {kColonCode, kBracketCode, kCrCode, kLfCode})
        if (text.compare(at, code.size(), code) == 0) return true;
    return false;
}

// `allBrackets`: every "[<]" is coded; otherwise only one that would read
// as a code.
std::string Encode(const std::string& value, bool commas, bool allBrackets = true) {
    std::string out;
    out.reserve(value.size());
    const std::string_view v(value);
    for (size_t i = 0; i < v.size(); ++i) {
        const char c = v[i];
        if (c == ',' && commas)
            out += kCommaCode;
        else if (c == ':' && EndsMarker(v, i))
            out += kColonCode;
        else if (c == '[' && v.compare(i, 3, "[<]") == 0 &&
                 (allBrackets || StartsLineCode(v, i) || (i == 0 && v == kCommaCode)))
            out += kBracketCode;
        else if (c == '\r')
            out += kCrCode;
        else if (c == '\n')
            out += kLfCode;
        else
            out += c;
    }
    return out;
}

std::string Decode(const std::string& stored, bool commas) {
    // Each code and the character it stands for (the comma code only where
    // commas are coded).
    static const std::pair<std::string_view, char> codes[] = {
        {kCommaCode, ','}, {kColonCode, ':'}, {kBracketCode, '['}, {kCrCode, '\r'}, {kLfCode, '\n'}};
    std::string out;
    out.reserve(stored.size());
    const std::string_view s(stored);
    size_t pos = 0;
    for (;;) {
        const size_t hit = s.find("[<]", pos);
        if (hit == std::string_view::npos) break;
        out.append(s, pos, hit - pos);
        const std::string_view rest = s.substr(hit);
        out += '[';  // no code: the text as it stands
        pos = hit + 1;
        for (const auto& [code, c] : codes) {
            if ((commas || c != ',') && rest.substr(0, code.size()) == code) {
                out.back() = c;
                pos = hit + code.size();
                break;
            }
        }
    }
    out.append(s, pos, std::string_view::npos);
    return out;
}
}  // namespace

std::string EncodeText(const std::string& value) { return Encode(value, true); }
std::string DecodeText(const std::string& stored) { return Decode(stored, true); }
std::string EncodeLineText(const std::string& text) { return Encode(text, false); }
std::string EncodeRawText(const std::string& text) { return Encode(text, false, false); }
std::string DecodeLineText(const std::string& stored) {
    if (stored.find("[<]") == std::string::npos) return stored;
    return Decode(stored, false);
}

std::string GetTextValue(const std::string& line, const std::string& key) {
    std::string value = GetKeyValue(line, key, ',');
    // Most values hold no code: they are handed on as read.
    if (value.find("[<]") == std::string::npos) return value;
    return DecodeText(value);
}

std::string KeyPair(const std::string& key, const std::string& value) {
    return key + value + ", ";
}

std::string TextPair(const std::string& key, const std::string& value) {
    return key + EncodeText(value) + ", ";
}

std::string JoinIntList(const std::vector<int>& values, char separator) {
    std::string out;
    for (int v : values) {
        out += std::to_string(v);
        out += separator;
    }
    return out;
}

std::vector<int> SplitIntList(const std::string& text, char separator) {
    std::vector<int> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t sep = text.find(separator, pos);
        std::string token =
            sep == std::string::npos ? text.substr(pos) : text.substr(pos, sep - pos);
        if (!token.empty()) out.push_back(ParseInt(token));
        if (sep == std::string::npos) break;
        pos = sep + 1;
    }
    return out;
}

int ParseInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    long long v = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
        ++i;
    }
    if (neg) v = -v;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

bool ContainsString(const std::vector<std::string>& list, const std::string& text) {
    for (const auto& s : list)
        if (s == text) return true;
    return false;
}

size_t SkipIndexPrefix(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && line[i] == ' ') ++i;
    const size_t digits = i;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
    if (i == digits || line.compare(i, 2, ". ") != 0) return 0;
    return i + 2;
}

std::string TextForLog(std::string_view text, size_t most) {
    std::string out;
    for (char c : text.substr(0, most)) out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    if (text.size() > most) out += "...";
    return out;
}

std::string CheckRecordKeys(const std::string& line, size_t start,
                            std::initializer_list<std::string_view> keys) {
    std::vector<int> seen(keys.size(), 0);
    std::string problems;
    size_t count = 0;
    constexpr size_t kMostNamed = 4;
    auto add = [&](const std::string& what) {
        if (++count > kMostNamed) return;
        if (!problems.empty()) problems += ", ";
        problems += what;
    };
    size_t pos = start;
    while (pos <= line.size()) {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        const size_t comma = line.find(',', pos);
        const std::string_view field(line.data() + pos,
                                     (comma == std::string::npos ? line.size() : comma) - pos);
        if (field.empty()) {
            if (comma == std::string::npos) break;  // the writer ends with ", "
            add("an empty field");
        } else {
            const size_t eq = field.find('=');
            if (eq == std::string_view::npos) {
                add("a field without a key");
            } else {
                const std::string_view key = field.substr(0, eq + 1);
                size_t k = 0;
                for (std::string_view known : keys) {
                    if (known == key) break;
                    ++k;
                }
                if (k == keys.size())
                    add("unknown key \"" + TextForLog(key, 40) + "\"");
                else if (++seen[k] == 2)
                    add("repeated key \"" + TextForLog(key, 40) + "\"");
            }
        }
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    size_t k = 0;
    for (std::string_view known : keys)
        if (!seen[k++]) add("missing key \"" + std::string(known) + "\"");
    if (count > kMostNamed) problems += " and " + std::to_string(count - kMostNamed) + " more";
    return problems;
}

bool ReadLine(std::istream& in, std::string& line) {
    line.clear();
    // Each line ends at its own line break: LF, CR LF or a lone CR, so a
    // file whose lines end in different ways still reads line by line.
    std::streambuf* sb = in.rdbuf();
    if (!sb || !in.good()) {
        in.setstate(std::ios::failbit);
        return false;
    }
    using Traits = std::char_traits<char>;
    bool any = false;
    try {
        for (;;) {
            int c = sb->sbumpc();
            if (c == Traits::eof()) {
                in.setstate(any ? std::ios::eofbit : (std::ios::eofbit | std::ios::failbit));
                return any;
            }
            any = true;
            if (c == '\n') return true;
            if (c == '\r') {
                if (sb->sgetc() == '\n') sb->sbumpc();
                return true;
            }
            line.push_back(static_cast<char>(c));
        }
    } catch (...) {
        // A file buffer throws when the system refuses the read (a folder,
        // a vanished device): that is a read error of the stream, nothing more.
        line.clear();
        try {
            in.setstate(std::ios::badbit | std::ios::failbit);
        } catch (...) {
        }
        return false;
    }
}
