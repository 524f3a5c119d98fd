#include "model/KeyValue.h"

#include <cctype>
#include <climits>

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

std::string EncodeText(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == ',')
            out += kCommaCode;
        else
            out += c;
    }
    return out;
}

std::string DecodeText(const std::string& stored) {
    static const std::string code = kCommaCode;
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = stored.find(code, pos);
        if (hit == std::string::npos) break;
        out.append(stored, pos, hit - pos);
        out += ',';
        pos = hit + code.size();
    }
    out.append(stored, pos, std::string::npos);
    return out;
}

std::string GetTextValue(const std::string& line, const std::string& key) {
    return DecodeText(GetKeyValue(line, key, ','));
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

namespace {
// How a stream ends its lines, found at its first line break: 0 not known
// yet, 1 LF (a CR before it is dropped), 2 a lone CR.
int LineEndSlot() {
    static const int slot = std::ios_base::xalloc();
    return slot;
}
}  // namespace

bool ReadLine(std::istream& in, std::string& line) {
    line.clear();
    long& style = in.iword(LineEndSlot());
    if (style == 2) {
        if (!std::getline(in, line, '\r')) return false;
        if (!line.empty() && line[0] == '\n') line.erase(0, 1);
        return true;
    }
    if (style == 1) {
        if (!std::getline(in, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    // The first line decides: a CR that no LF follows makes a file of
    // CR-only line ends (every line of it would otherwise be one).
    std::streambuf* sb = in.rdbuf();
    if (!sb || !in.good()) {
        in.setstate(std::ios::failbit);
        return false;
    }
    bool any = false;
    for (;;) {
        int c = sb->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(any ? std::ios::eofbit : (std::ios::eofbit | std::ios::failbit));
            return any;
        }
        any = true;
        if (c == '\n') {
            style = 1;
            return true;
        }
        if (c == '\r') {
            int next = sb->sgetc();
            if (next == '\n') {
                sb->sbumpc();
                style = 1;
            } else if (next == std::char_traits<char>::eof()) {
                style = 1;
            } else {
                style = 2;
            }
            return true;
        }
        line.push_back(static_cast<char>(c));
    }
}
