#include "compare/DiffRows.h"

#include <algorithm>
#include <cctype>

std::string ShortenDiffName(const std::string& name) {
    const size_t last = name.find_last_of("/\\");
    if (last == std::string::npos || last == 0) return name;
    const size_t before = name.find_last_of("/\\", last - 1);
    if (before == std::string::npos) return name;
    return name.substr(before + 1);
}

int LastDifferenceNumber(const DiffRows& rows) {
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (it->group != -1) return it->group;
    return 0;
}

std::string DiffLineNumberText(int lineNo, bool traceFillers) {
    if (lineNo == -1) return "";
    if (lineNo == -2) return traceFillers ? "." : "";
    return std::to_string(lineNo + 1);
}

std::string DiffLabelSuffix(const DiffRows& rows, int r, int lastDifference) {
    if (r < 0 || r >= static_cast<int>(rows.size())) return " ~";
    const int g = rows[r].group;
    if (g >= 0) return " (" + std::to_string(g) + "/" + std::to_string(lastDifference) + ")";
    return " (ok/" + std::to_string(lastDifference) + ")";
}

int NextDifferenceRow(const std::vector<const DiffRows*>& panes, int current) {
    int count = 0;
    for (const DiffRows* p : panes) count = std::max(count, static_cast<int>(p->size()));
    int target = count;
    for (const DiffRows* p : panes) {
        const int n = static_cast<int>(p->size());
        const int g = current >= 0 && current < n ? (*p)[current].group : -1;
        const int start = std::max(current + 1, 0);
        int answer = count;
        for (int i = start; i < n; ++i) {
            const int gi = (*p)[i].group;
            if (g == -1 ? gi != -1 : gi == g + 1) {
                answer = i;
                break;
            }
        }
        target = std::min(target, answer);
    }
    return target;
}

int PreviousDifferenceRow(const std::vector<const DiffRows*>& panes, int current) {
    if (current < 0) return -1;
    int target = -1;
    for (const DiffRows* p : panes) {
        const int n = static_cast<int>(p->size());
        if (current >= n) continue;
        const int g = (*p)[current].group;
        int answer = -1;
        for (int i = current - 1; i >= 0; --i) {
            const int gi = (*p)[i].group;
            if (g != -1 ? gi == g - 1 : gi != -1) {
                answer = i;
                break;
            }
        }
        target = std::max(target, answer);
    }
    return target;
}

namespace {

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\r\n";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    const size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

}  // namespace

int FindRowInPane(const DiffRows& rows, const std::string& text, bool partial, int selected) {
    const int n = static_cast<int>(rows.size());
    if (n == 0) return -1;
    if (selected >= n) selected = n - 1;
    const std::string_view wanted = partial ? Trim(text) : std::string_view(text);
    auto matches = [&](int i) {
        if (!partial) return rows[i].Text() == wanted;
        return Trim(rows[i].Text()).find(wanted) != std::string::npos;
    };
    const int start = selected < 0 ? 0 : selected + 1;
    for (int i = start; i < n; ++i)
        if (matches(i)) return i;
    if (start != 0)
        for (int i = 0; i <= selected && i < n; ++i)
            if (matches(i)) return i;
    return -1;
}

std::optional<int> GoToLineRow(const std::string& entry, int rowCount) {
    const std::string t(Trim(entry));
    if (t.empty() || t.size() > 9) return std::nullopt;
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const int n = std::stoi(t);
    if (n < 1) return std::nullopt;
    if (rowCount <= 0) return 0;
    return std::min(n - 1, rowCount - 1);
}

std::string CopyRowsText(const DiffRows& rows, const std::vector<int>& selection) {
    std::string out;
    for (int r : selection)
        if (r >= 0 && r < static_cast<int>(rows.size())) {
            out += rows[r].Text();
            out += "\r\n";
        }
    return out;
}

std::string CopiedRowsTrace(int count) {
    return std::to_string(count) + " line" + (count > 1 ? "s" : "") + " copied to clipboard.";
}

namespace {

void RemoveAll(std::string& s, const std::string& item) {
    if (item.empty()) return;
    std::string out;
    size_t pos = 0;
    for (size_t f; (f = s.find(item, pos)) != std::string::npos; pos = f + item.size())
        out.append(s, pos, f - pos);
    out.append(s, pos, std::string::npos);
    s = std::move(out);
}

}  // namespace

TwoLineComparison CompareTwoLines(std::string first, std::string second, const CDiffOptions& options) {
    TwoLineComparison c;
    if (options.ignoreCase) {
        first = AsciiLower(first);
        second = AsciiLower(second);
    }
    if (options.ignoreText) {
        for (const std::string& raw : options.ignoreList) {
            std::string item = options.ignoreCase ? AsciiLower(raw) : raw;
            if (item == "^b") item = " ";
            else if (item == "^t") item = "\t";
            RemoveAll(first, item);
            RemoveAll(second, item);
        }
    }
    const size_t shorter = std::min(first.size(), second.size());
    const size_t longer = std::max(first.size(), second.size());
    bool differs = false;
    for (size_t i = 0; i < shorter; ++i) {
        const bool d = first[i] != second[i];
        differs = differs || d;
        c.markers += d ? '|' : ' ';
    }
    c.markers.append(longer - shorter, '|');
    c.identical = !differs && first.size() == second.size();
    if (c.markers.size() > 125) c.markers = c.markers.substr(0, 120) + "...|";
    if (c.identical) {
        c.verdict = "(Identical)";
    } else {
        c.verdict = "(Different)";
        if (options.ignoreCase) c.verdict += " Case ignored.";
        if (options.ignoreText) c.verdict += " Text ignored.";
    }
    c.first = std::move(first);
    c.second = std::move(second);
    return c;
}
