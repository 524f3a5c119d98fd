#include "compare/DiffOptions.h"

#include "model/Globals.h"

CDiffOptions CDiffOptions::FromProgramOptions() {
    return CDiffOptions(g_bDiffIgnoreCase, g_bDiffIgnoreIdent, g_DiffIgnoreList);
}

std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

namespace {
// Removes every non-overlapping occurrence of item, scanning once from the left.
void RemoveAll(std::string& text, const std::string& item) {
    if (item.empty() || text.size() < item.size()) return;
    size_t pos = text.find(item);
    if (pos == std::string::npos) return;
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    while (pos != std::string::npos) {
        out.append(text, from, pos - from);
        from = pos + item.size();
        pos = text.find(item, from);
    }
    out.append(text, from, std::string::npos);
    text.swap(out);
}
}  // namespace

std::string NormalizeDiffText(const std::string& text, const CDiffOptions& options) {
    std::string a = options.ignoreCase ? AsciiLower(text) : text;
    if (options.ignoreText) {
        for (const std::string& entry : options.ignoreList) {
            std::string item = options.ignoreCase ? AsciiLower(entry) : entry;
            if (item == "^b")
                item = " ";
            else if (item == "^t")
                item = "\t";
            RemoveAll(a, item);
        }
    }
    return a;
}
