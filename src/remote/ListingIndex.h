// A folder's listing read once: its lines by the name each gives, so that
// every item of the folder finds its own lines without going through the
// whole listing again.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/FileItem.h"

class CListingIndex {
public:
    CListingIndex() = default;
    explicit CListingIndex(std::string listing);

    // The item's own lines, as ItemListingLines gives them from the whole
    // listing: on a UNIX host the lines whose name is the item's file name
    // or its full remote path, in the listing's order, each ending in CR LF;
    // a VMS listing whole.
    std::string ItemLines(const CFileItem& item) const;
    // The lines that name a plain file, in the listing's order (without
    // their CR).
    std::vector<std::string> FileLines() const;
    const std::string& Text() const { return m_listing; }

private:
    // Where a line stands in the listing and its length without its line end.
    using Place = std::pair<size_t, size_t>;
    std::string_view Line(Place p) const { return std::string_view(m_listing).substr(p.first, p.second); }

    std::string m_listing;
    std::unordered_map<std::string, std::vector<Place>> m_byName;
};
