#include "filelist/OutputNames.h"

#include <cstdio>
#include <mutex>

#include "compare/TextAccess.h"
#include "model/Globals.h"
#include "platform/Prompter.h"

const char* const kInvalidNamesMessage =
    "One or more file names are invalid. Check your input text \r\n"
    "(from Output window or manual editing).\r\n"
    "   1. File name cannot be empty.\r\n"
    "   2. File name may not contain /, ?, <, >, |, \".\r\n\r\n"
    "Absolute path with or without drive name is however allowed.";

namespace {
bool IsDigitOrBlank(char c) { return (c >= '0' && c <= '9') || c == ' '; }
bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::mutex g_hookMutex;
std::function<void()> g_showOutputWindow;

// The new names of a maker pass when each one's file-name part is a bare,
// valid file name; otherwise the rules are shown and nothing is made.
bool AcceptNames(const std::vector<std::string>& names) {
    for (const std::string& n : names)
        if (!IsBareFileName(n)) {
            ShowInvalidNamesMessage();
            return false;
        }
    return true;
}

void AddPaths(const std::vector<CFileItem>& items, const std::vector<std::string>& names,
              std::vector<std::string>& out) {
    for (std::size_t i = 0; i < names.size(); ++i) out.push_back(items[i].LocalDir + names[i]);
}
}  // namespace

// ---------------------------------------------------------------- pieces of names

std::string StripNumbers(std::string name) {
    std::size_t front = 0;
    while (front < name.size() && IsDigitOrBlank(name[front])) ++front;
    name.erase(0, front);
    std::size_t end = name.rfind('.');
    if (end == std::string::npos) end = name.size();
    std::size_t start = end;
    while (start > 0 && IsDigitOrBlank(name[start - 1])) --start;
    name.erase(start, end - start);
    return name;
}

std::string FormatIndexNumber(int k, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", k);
    std::string s = buf;
    if (s.size() == 1 && n > 9) s = "0" + s;
    if (s.size() == 2 && n > 99) s = "0" + s;
    if (s.size() == 3 && n > 999) s = "0" + s;
    if (s.size() == 4 && n > 9999) s = "0" + s;
    return s;
}

std::string GetNameExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string GetNamePart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void MakeUnixName(std::string& name, const std::string& replacement) {
    const std::size_t dot = name.rfind('.');
    if (name.empty() || dot == 0) return;
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    std::string out;
    for (std::size_t i = 0; i < base.size();) {
        const unsigned char c = static_cast<unsigned char>(base[i++]);
        if (IsAlnum(char(c))) {
            out += char(c);
            continue;
        }
        // A letter written in several UTF-8 bytes is one letter: its lead byte
        // and the continuation bytes after it make one replacement.
        if (c >= 0xC0)
            while (i < base.size() && (static_cast<unsigned char>(base[i]) & 0xC0) == 0x80) ++i;
        out += replacement;
    }
    name = out + ext;
}

std::string MakeUniqueName(const std::vector<std::string>& list, std::string name) {
    auto taken = [&list](const std::string& n) {
        for (const std::string& e : list)
            if (e == n) return true;
        return false;
    };
    while (taken(name)) {
        // Only the file-name part changes; a "." in a folder name is not an extension.
        const std::size_t slash = name.rfind('/');
        const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
        const std::size_t dot = name.rfind('.');
        const std::size_t at = (dot == std::string::npos || dot < start) ? start : dot;
        name.insert(at, "_aux");
    }
    return name;
}

std::vector<std::string> SplitOutputLines(const std::string& text) { return SplitTextIntoLines(text); }

// ---------------------------------------------------------------- checks

bool IsValidFileName(const std::string& name) {
    if (name.find_first_not_of(' ') == std::string::npos) return false;
    return name.find_first_of(std::string("?\"<>|\\\r\n\0", 10)) == std::string::npos;
}

bool IsBareFileName(const std::string& name) {
    return IsValidFileName(name) && name.find('/') == std::string::npos && name != "." && name != "..";
}

bool IsValidNewName(const std::string& name) {
    if (!IsValidFileName(name) || !IsBareFileName(GetNamePart(name))) return false;
    std::size_t start = 0;
    while (start < name.size()) {
        std::size_t slash = name.find('/', start);
        if (slash == std::string::npos) break;
        const std::string piece = name.substr(start, slash - start);
        if (piece == "." || piece == "..") return false;
        start = slash + 1;
    }
    return true;
}

bool AreValidFileNames(const std::vector<std::string>& list, int count) {
    if (list.empty()) return false;
    if (count < 0) count = int(list.size());
    if (count > int(list.size())) return false;
    for (int i = 0; i < count; ++i)
        if (!IsValidFileName(list[std::size_t(i)])) return false;
    return true;
}

void ShowInvalidNamesMessage() { Prompter().Message(kInvalidNamesMessage, MsgIcon::None); }

// ---------------------------------------------------------------- the makers

void MakeIndexedNames(int flag, const std::vector<CFileItem>& items, std::vector<std::string>& out) {
    out.clear();
    if (flag != 1 && flag != 2) {
        Prompter().Message("Invalid flag", MsgIcon::None);
        return;
    }
    if (items.empty()) return;
    const int n = int(items.size());
    std::vector<std::string> names;
    for (int k = 1; k <= n; ++k) {
        const std::string base = StripNumbers(items[std::size_t(k - 1)].FileName);
        const std::string num = FormatIndexNumber(k, n);
        const std::size_t d = base.rfind('.');
        std::string name;
        if (flag == 1) {
            name = (d != std::string::npos && d > 0) ? num + " " + base : num + base;
        } else if (d == std::string::npos) {
            name = base + num;
        } else if (d == 0) {
            name = num + base;
        } else {
            name = base;
            name.insert(d, " " + num);
        }
        names.push_back(name);
    }
    if (AcceptNames(names)) AddPaths(items, names, out);
}

void MakeCommonNameNames(int flag, const std::vector<CFileItem>& items, std::vector<std::string>& out) {
    out.clear();
    if (flag != 1 && flag != 2) {
        Prompter().Message("Invalid flag", MsgIcon::None);
        return;
    }
    if (items.empty()) return;
    const std::string c = g_strCommonName;
    const std::string gap = c.empty() ? "" : " ";
    const int n = int(items.size());
    std::vector<std::string> names;
    for (int k = 1; k <= n; ++k) {
        const std::string num = FormatIndexNumber(k, n);
        const std::string ext = GetNameExtension(items[std::size_t(k - 1)].FileName);
        names.push_back(flag == 1 ? c + gap + num + ext : num + gap + c + ext);
    }
    if (AcceptNames(names)) AddPaths(items, names, out);
}

namespace {
// The validity step of the extension and UNIX makers over the full paths.
void FinishUniqueNames(const std::vector<CFileItem>& items, const std::vector<std::string>& list,
                       std::vector<std::string>& out) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string& dir = items[i].LocalDir;
        if (list[i].compare(0, dir.size(), dir) != 0 || !IsBareFileName(list[i].substr(dir.size()))) {
            ShowInvalidNamesMessage();
            return;
        }
    }
    if (AreValidFileNames(list, int(list.size())))
        out = list;
    else
        ShowInvalidNamesMessage();
}
}  // namespace

void MakeExtensionNames(const std::vector<CFileItem>& items, std::vector<std::string>& out) {
    out.clear();
    if (items.empty()) return;
    std::vector<std::string> list;
    for (const CFileItem& it : items) {
        std::string base = it.FileName;
        const std::size_t dot = base.rfind('.');
        if (dot != std::string::npos && dot > 0) base.erase(dot);
        list.push_back(MakeUniqueName(list, it.LocalDir + base + g_strNewExtension));
    }
    FinishUniqueNames(items, list, out);
}

void MakeUnixNames(const std::vector<CFileItem>& items, std::vector<std::string>& out) {
    out.clear();
    if (items.empty()) return;
    std::vector<std::string> list;
    for (const CFileItem& it : items) {
        std::string name = it.FileName;
        MakeUnixName(name, g_strUnixReplacement);
        list.push_back(MakeUniqueName(list, it.LocalDir + name));
    }
    FinishUniqueNames(items, list, out);
}

std::function<void()> SetShowOutputWindowHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    std::swap(hook, g_showOutputWindow);
    return hook;
}

void TakeNamesFromOutputWindow(const std::vector<CFileItem>& items, std::vector<std::string>& out) {
    out.clear();
    if (items.empty()) return;
    std::vector<std::string> lines = SplitOutputLines(GetOutputWindowText());
    if (lines.size() < items.size()) {
        std::function<void()> show;
        {
            std::lock_guard<std::mutex> lock(g_hookMutex);
            show = g_showOutputWindow;
        }
        if (show) show();
        Prompter().Message("Not enough file names on Output window.", MsgIcon::Stop);
        return;
    }
    lines.resize(items.size());
    if (!AreValidFileNames(lines, int(items.size()))) {
        ShowInvalidNamesMessage();
        return;
    }
    // A whole path starts with "/"; any other line is a name for the item's
    // own folder and may not lead elsewhere.
    for (const std::string& line : lines) {
        const bool whole = line[0] == '/';
        if (whole ? !IsValidNewName(line) : !IsBareFileName(line)) {
            ShowInvalidNamesMessage();
            return;
        }
    }
    for (std::size_t i = 0; i < lines.size(); ++i)
        out.push_back(lines[i][0] == '/' ? lines[i] : items[i].LocalDir + lines[i]);
}

// ---------------------------------------------------------------- proposals

std::string GetSuggestedCommonName(const std::vector<CFileItem>& items) {
    if (items.empty()) return std::string();
    std::string name = GetNamePart(items.front().FileName);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return StripNumbers(name);
}

std::string GetCommonLocalDir(const std::vector<CFileItem>& items) {
    if (items.empty()) return std::string();
    for (const CFileItem& it : items)
        if (it.LocalDir != items.front().LocalDir) return std::string();
    return items.front().LocalDir;
}

std::string GetFirstSelectedExtension(const std::vector<CFileItem>& items) {
    if (items.empty()) return std::string();
    std::string ext = GetNameExtension(items.front().FileName);
    std::string out;
    for (char c : ext)
        if (c != ' ') out += c;
    return out;
}
