#include "filelist/FileListing.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/SessionReport.h"
#include "platform/Prompter.h"

bool FindColumn(const CSessionReport& report, const std::string& name) {
    for (const ReportColumnOption& c : report.Columns)
        if (c.IsIncluded && c.OptionName == name) return true;
    return false;
}

bool SwapColumns(CSessionReport& report, int i, int j) {
    const int n = int(report.Columns.size());
    if (i == j || i < 0 || j < 0 || i >= n || j >= n) return false;
    std::swap(report.Columns[std::size_t(i)], report.Columns[std::size_t(j)]);
    return true;
}

const std::vector<std::string>& KnownColumnNames() {
    static const std::vector<std::string> names = {"File name",           "Remote directory",
                                                   "Local directory",     "Local modification time",
                                                   "Local creation time", "Local type",
                                                   "Tansfer status"};
    return names;
}

namespace {
std::string ColumnValue(const CFileItem& it, std::size_t column) {
    switch (column) {
        case 0: return it.FileName;
        case 1: return it.RemoteDir;
        case 2: return it.LocalDir;
        case 3: return it.GetModifiedTimeText();
        case 4: return it.GetCreatedTimeText();
        case 5: return it.GetTypeFromExtension();
        default: return it.GetSyncText();
    }
}
}  // namespace

std::string ListFileItems(const CProgramData& data, const CSessionReport& report, int p, int s, int b,
                          const std::vector<int>& items) {
    if (!data.IsValidBasket(false, p, s, b)) return std::string();
    const auto& names = KnownColumnNames();
    std::vector<std::vector<std::string>> values(names.size());
    std::vector<std::string> rows;
    const int count = data.GetFileItemCount(p, s, b);
    for (int f : items) {
        const bool valid = f >= 0 && f < count;
        const CFileItem it = valid ? data.GetFileItem(p, s, b, f) : CFileItem();
        rows.emplace_back();
        for (std::size_t c = 0; c < names.size(); ++c)
            if (FindColumn(report, names[c])) values[c].push_back(valid ? ColumnValue(it, c) : std::string());
    }
    for (const ReportColumnOption& col : report.Columns) {
        if (!col.IsIncluded) continue;
        const auto known = std::find(names.begin(), names.end(), col.OptionName);
        if (known == names.end()) continue;
        std::vector<std::string> v = values[std::size_t(known - names.begin())];
        if (col.GutterVal > 0) {
            PrefixLines(v, col.GutterVal);
            AppendColumnAligned(rows, v);
        } else {
            AppendColumn(rows, v);
        }
    }
    std::string text;
    for (std::size_t i = 0; i < rows.size(); ++i) text += (i ? "\r\n" : "") + rows[i];
    return text;
}

std::string GetWebLinkText(const CProgramData& data, int p, int s, int b) {
    if (!data.IsValidBasket(false, p, s, b)) return std::string();
    std::string text;
    const int count = data.GetFileItemCount(p, s, b);
    for (int f : data.GetSelection(p, s, b)) {
        if (f < 0 || f >= count) continue;
        const CFileItem it = data.GetFileItem(p, s, b, f);
        std::string name, address;
        ReadUrlShortcut(it.LocalDir + it.FileName, it.FileName, name, address);
        text += name + "\r\n" + address + "\r\n";
    }
    return text;
}

bool ReadFileLines(const std::string& path, std::vector<std::string>& lines) {
    // Only a regular file: a pipe would block, a device never end.
    std::string bytes, why;
    if (!ReadRegularFile(path, bytes, why)) {
        const bool odd = PathExists(path) && !IsRegularFile(path);
        Prompter().Message("Failed to read the file: " + path + (odd ? "\r\n" + why : std::string()), MsgIcon::Stop);
        return false;
    }
    lines.clear();
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return true;
}

std::string GetParentAndFileName(const std::string& path) {
    const std::size_t last = path.rfind('/');
    if (last == std::string::npos) return path;
    if (last == 0) return path.substr(1);
    const std::size_t before = path.rfind('/', last - 1);
    if (before == std::string::npos) return path.substr(last + 1);
    return path.substr(before + 1);
}

std::size_t MaxStringLength(const std::vector<std::string>& lines) {
    std::size_t n = 0;
    for (const std::string& l : lines) n = std::max(n, l.size());
    return n;
}

void PadLinesToEqualLength(std::vector<std::string>& lines) {
    const std::size_t n = MaxStringLength(lines);
    for (std::string& l : lines) l.resize(n, ' ');
}

void PrefixLines(std::vector<std::string>& lines, int blanks) {
    if (blanks <= 0) return;
    for (std::string& l : lines) l.insert(0, std::size_t(blanks), ' ');
}

void AppendColumnAligned(std::vector<std::string>& rows, const std::vector<std::string>& values) {
    PadLinesToEqualLength(rows);
    AppendColumn(rows, values);
}

void AppendColumn(std::vector<std::string>& rows, const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < rows.size() && i < values.size(); ++i) rows[i] += values[i];
}

void PadLastLineToWidth(std::string& text, std::size_t n) {
    const std::size_t nl = text.rfind('\n');
    const std::size_t len = nl == std::string::npos ? text.size() : text.size() - nl - 1;
    if (len < n) text.append(n - len, ' ');
}
