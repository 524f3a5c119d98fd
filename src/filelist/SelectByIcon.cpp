#include "filelist/SelectByIcon.h"

#include <algorithm>
#include <cctype>

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}
}  // namespace

std::vector<int> MatchItemsByIcon(const std::vector<CFileItem>& items, int code, const std::string& text) {
    std::vector<int> out;
    const std::string needle = Lower(text);
    for (int i = 0; i < int(items.size()); ++i) {
        const CFileItem& it = items[std::size_t(i)];
        bool match = false;
        if (code >= 1 && code <= 10) match = it.GetImageIndex() == code;
        else if (code == kIconModified) match = it.GetLocalStatus() == "LocalModified";
        else if (code == kIconMissing) match = it.GetLocalStatus() == "LocalMissing";
        else if (code == kIconByName) match = !needle.empty() && Lower(it.FileName).find(needle) != std::string::npos;
        if (match) out.push_back(i);
    }
    return out;
}
