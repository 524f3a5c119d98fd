#include "remote/ListingIndex.h"

#include <algorithm>

#include "model/ListingLine.h"
#include "remote/FtpClient.h"

CListingIndex::CListingIndex(std::string listing) : m_listing(std::move(listing)) {
    for (size_t start = 0; start < m_listing.size();) {
        size_t end = m_listing.find('\n', start);
        if (end == std::string::npos) end = m_listing.size();
        size_t length = end - start;
        if (length > 0 && m_listing[start + length - 1] == '\r') --length;
        m_byName[CFtpClient::UnixListingName(m_listing.substr(start, length))].emplace_back(start, length);
        start = end + 1;
    }
}

std::string CListingIndex::ItemLines(const CFileItem& item) const {
    if (item.GetHostKind() == "VMS") return m_listing;
    if (item.FileName.empty()) return std::string();
    std::vector<Place> own;
    for (const std::string& name : {item.FileName, item.RemoteDir + item.FileName}) {
        const auto found = m_byName.find(name);
        if (found != m_byName.end()) own.insert(own.end(), found->second.begin(), found->second.end());
    }
    // In the listing's order; a line that gives both names, once.
    std::sort(own.begin(), own.end());
    own.erase(std::unique(own.begin(), own.end()), own.end());
    std::string lines;
    for (const Place& p : own) lines.append(Line(p)).append("\r\n");
    return lines;
}

std::vector<std::string> CListingIndex::FileLines() const {
    std::vector<Place> files;
    for (const auto& [name, places] : m_byName)
        for (const Place& p : places)
            if (!name.empty() && p.second > 0 && IsPlainFileLine(std::string(Line(p)))) files.push_back(p);
    std::sort(files.begin(), files.end());
    std::vector<std::string> lines;
    for (const Place& p : files) lines.emplace_back(Line(p));
    return lines;
}
