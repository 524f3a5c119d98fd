// The UNIX and VMS listing parsers of CFtpClient.
#include <cctype>

#include "remote/FtpClient.h"
#include "model/ListingLine.h"

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
    return ReadUnixListingLine(line).name;
}

void CFtpClient::ParseUnixListingText(const std::string& text, const std::string& pattern,
                                      std::vector<CDirEntry>& entries) {
    std::vector<CDirEntry> collected;
    std::vector<std::string> lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (i == 0 && IsListingTotalLine(line)) continue;
        if (line.empty()) continue;
        const CListingLine read = ReadUnixListingLine(line);
        if (IsUnusableName(read.name)) continue;
        CDirEntry e;
        e.strName = read.name;
        e.bIsDir = read.isDir;
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
