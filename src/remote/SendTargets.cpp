#include "remote/SendTargets.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "model/ListingLine.h"
#include "model/TextUtil.h"
#include "remote/TransferChecks.h"

namespace {

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Each line of a listing, without its line end.
std::vector<std::string> ListingLines(const std::string& listing) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < listing.size();) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        lines.push_back(listing.substr(start, end - start));
        start = end + 1;
        if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
    }
    return lines;
}

// The first n blank-separated words of the line.
std::vector<std::string> LeadingWords(const std::string& line, size_t n) {
    std::vector<std::string> words;
    for (size_t i = 0; i < line.size() && words.size() < n;) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        const size_t b = i;
        while (i < line.size() && line[i] != ' ') ++i;
        words.push_back(line.substr(b, i - b));
    }
    return words;
}

}  // namespace

bool ReadListingFields(const std::string& line, CListingFields& out) {
    out = CListingFields();
    const std::vector<std::string> w = LeadingWords(line, 5);
    if (w.size() < 5 || w[0].size() < 10 || !AllDigits(w[1]) || !AllDigits(w[4])) return false;
    const std::string& bits = w[0];
    out.type = bits[0];
    out.links = w[1].size() <= 6 ? std::stoi(w[1]) : 0;
    out.owner = w[2];
    out.group = w[3];
    out.size = w[4].size() <= 18 ? std::stoll(w[4]) : -1;
    static const char kBits[] = "rwxrwxrwx";
    int mode = 0;
    for (size_t k = 0; k < 9; ++k) {
        const char c = bits[1 + k];
        mode <<= 1;
        if (c == kBits[k])
            mode |= 1;
        else if (c != '-')
            return true;  // set-id, sticky or unknown letters: the bits say more than a mode
    }
    // "+" marks an access list, which a new file would not have; "." (a
    // security context) and "@" (extended attributes) leave the bits as
    // they are.
    if (bits.size() > 11 || (bits.size() == 11 && bits[10] != '.' && bits[10] != '@')) return true;
    out.mode = mode;
    return true;
}

bool IsReplaceableTarget(const CListingFields& target) {
    return target.type == '-' && target.links == 1 && target.mode >= 0 && (target.mode & 0200) != 0;
}

void CFolderTargets::Read(const std::string& listing) {
    m_bListed = true;
    for (const std::string& line : ListingLines(listing)) {
        const std::string name = ReadUnixListingLine(line).name;
        if (name.empty()) continue;
        CListingFields fields;
        if (ReadListingFields(line, fields)) m_owners.insert(fields.owner + '\n' + fields.group);
        // A name listed twice is not one plain file.
        auto [it, added] = m_entries.emplace(name, fields);
        if (!added) it->second = CListingFields();
    }
}

const CListingFields* CFolderTargets::Find(const std::string& name) const {
    auto it = m_entries.find(name);
    return it == m_entries.end() ? nullptr : &it->second;
}

std::string CFolderTargets::FreeTemporaryName(const std::string& fileName, size_t maxBytes) const {
    const std::string base = "." + fileName + ".qvl-part";
    for (int n = 0; n < 100; ++n) {
        const std::string name = n == 0 ? base : base + "-" + std::to_string(n);
        if (name.size() > maxBytes) return std::string();
        if (!Has(name) && !m_kept.count(name)) return name;
    }
    return std::string();
}

std::string CFolderTargets::LeftProbeName() const {
    const std::string base = "." + std::string(kProbeName) + ".qvl-part";
    for (int n = 0; n < 100; ++n) {
        const std::string name = n == 0 ? base : base + "-" + std::to_string(n);
        const CListingFields* left = Find(name);
        if (left && left->type == '-' && left->links == 1 && left->size == 0 && !m_kept.count(name)) return name;
    }
    return std::string();
}

namespace {
// The folder's path alone: an item whose account is renamed meanwhile keeps
// its name from the others' temporaries.
std::string PathOf(const std::string& folderKey) {
    const size_t user = folderKey.find('\n');
    const size_t path = user == std::string::npos ? user : folderKey.find('\n', user + 1);
    return path == std::string::npos ? folderKey : folderKey.substr(path + 1);
}
}  // namespace

CSendTargets::CSendTargets(const std::vector<CFileItem>& items) {
    for (const CFileItem& it : items) m_names[PathOf(FolderKey(it))].push_back(it.FileName);
}

std::string CSendTargets::HostKey(const CFileItem& item) {
    return item.RemHost + '\n' + item.RemUser;
}

// The folder as the same-target check spells it: one key for "/a//b" and "/a/b/".
std::string CSendTargets::FolderKey(const CFileItem& item) {
    CFileItem folder = item;
    folder.FileName.clear();
    return RemoteTargetKey(folder);
}

CFolderTargets& CSendTargets::Folder(const CFileItem& item) {
    const std::string key = FolderKey(item);
    auto [it, added] = m_folders.try_emplace(key);
    if (added) {
        auto names = m_names.find(PathOf(key));
        if (names != m_names.end())
            for (const std::string& n : names->second) it->second.Keep(n);
    }
    return it->second;
}

namespace {

// A UNIX path without "." parts and repeated slashes, each ".." taking the
// part before it away ("/a/b/../c" is "/a/c"; "/.." is "/"), with no slash
// at its end.
std::string NormalUnixPath(const std::string& path) {
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string> parts;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
            continue;
        }
        if (part == ".." && absolute) continue;
        parts.push_back(part);
    }
    std::string out = absolute ? "/" : "";
    for (size_t k = 0; k < parts.size(); ++k) out += (k ? "/" : "") + parts[k];
    return out;
}

std::string AccountKey(const CFileItem& item) {
    return ToLowerAscii(item.RemHost) + '\n' + item.RemUser + '\n';
}

// The items whose server file a folder listing can show: UNIX folders.
bool InListedFolder(const CFileItem& item) {
    return item.GetHostKind() != "VMS" && !item.RemoteDir.empty() && !item.LocalDir.empty();
}

}  // namespace

void CSendTargets::ReadLinks(const CFileItem& item, const std::string& listing) {
    const std::string folder = AccountKey(item) + NormalUnixPath(item.RemoteDir);
    std::map<std::string, std::string>& links = m_links[folder];
    std::set<std::string>& shown = m_shown[folder];
    for (const std::string& line : ListingLines(listing)) {
        const std::string name = ReadUnixListingLine(line).name;
        if (!name.empty()) shown.insert(name);
        const size_t arrow = line.find(" -> ");
        if (line.empty() || line[0] != 'l' || arrow == std::string::npos) continue;
        if (!name.empty() && arrow + 4 < line.size()) links[name] = line.substr(arrow + 4);
    }
}

void CSendTargets::MarkNotListed(const CFileItem& item) {
    m_notListed.insert(AccountKey(item) + NormalUnixPath(item.RemoteDir));
}

bool CSendTargets::InUnlistedFolder(const CFileItem& item) const {
    return InListedFolder(item) && m_notListed.count(AccountKey(item) + NormalUnixPath(item.RemoteDir)) != 0;
}

void CSendTargets::SetNameState(const CFileItem& item, int there) {
    m_nameStates[AccountKey(item) + NormalUnixPath(item.RemoteDir + item.FileName)] = there;
}

int CSendTargets::NameState(const CFileItem& item) const {
    const auto found = m_nameStates.find(AccountKey(item) + NormalUnixPath(item.RemoteDir + item.FileName));
    return found == m_nameStates.end() ? -1 : found->second;
}

// An item in a folder the server would not list may be a link to the file
// of another of the run's items. Not where the server has no file or link
// of its name; nor where it has a file and every other item's name is
// free (a link to a name that has no file has no file at its end either);
// nor where it is the run's one item.
bool CSendTargets::UnlistedNameRefused(const std::vector<CFileItem>& items, size_t i) const {
    const int there = NameState(items[i]);
    if (there == 0) return false;
    for (size_t j = 0; j < items.size(); ++j)
        if (j != i && (there < 0 || NameState(items[j]) != 0)) return true;
    return false;
}

void CSendTargets::MarkUnknownLinkEnd(const CFileItem& item, const std::string& path) {
    m_unknownEnds.insert(AccountKey(item) + NormalUnixPath(path));
}

// The server file an item writes, followed through the links read, and
// the first link on the way ("" where none). A chain of more links than
// are followed (a loop among them) ends unknown.
struct CSendTargets::WrittenFile {
    std::string file;
    std::string link, target;  // the link's name and its target as listed
    std::string unread;        // the folder a link leads into whose listing is not read
    std::string unshown;       // the path a link leads to whose name its folder's listing leaves out
    bool unknown = false;      // where the links lead cannot be told
    bool tooLong = false;      // the links lead on past the last one followed
    std::string notListed;     // the folder on the way the server would not list
};

CSendTargets::WrittenFile CSendTargets::Follow(const CFileItem& it) const {
    WrittenFile out;
    if (!InListedFolder(it)) return out;
    const std::string account = AccountKey(it);
    std::string path = NormalUnixPath(it.RemoteDir + it.FileName);
    for (int step = 0;; ++step) {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : slash == 0 ? "/" : path.substr(0, slash);
        const bool throughLink = !out.link.empty();
        if (m_notListed.count(account + folder)) {
            out.unknown = true;
            out.notListed = folder;
            break;
        }
        const auto listed = m_links.find(account + folder);
        if (listed == m_links.end()) {
            if (throughLink) out.unread = folder;
            break;
        }
        const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
        const auto link = listed->second.find(name);
        if (link == listed->second.end()) {
            const auto shown = m_shown.find(account + folder);
            if (throughLink && (shown == m_shown.end() || !shown->second.count(name))) {
                out.unshown = path;
                out.unknown = m_unknownEnds.count(account + path) != 0;
            }
            break;
        }
        const std::string& target = link->second;
        if (step == kMaxLinkSteps) {
            out.unknown = out.tooLong = true;
            break;
        }
        if (out.link.empty()) {
            out.link = name;
            out.target = target;
        }
        path = NormalUnixPath(target[0] == '/' || folder.empty() ? target : folder + "/" + target);
    }
    out.file = account + path;
    return out;
}

std::set<std::string> CSendTargets::UnreadLinkFolders(const std::vector<CFileItem>& items) const {
    std::set<std::string> folders;
    for (const CFileItem& it : items) {
        const WrittenFile w = Follow(it);
        if (!w.unread.empty()) folders.insert(w.unread);
    }
    return folders;
}

std::set<std::string> CSendTargets::UnshownLinkEnds(const std::vector<CFileItem>& items) const {
    std::set<std::string> ends;
    for (const CFileItem& it : items) {
        const WrittenFile w = Follow(it);
        if (!w.unshown.empty() && !w.unknown) ends.insert(w.unshown);
    }
    return ends;
}

std::vector<CSendTargets::LinkedTarget> CSendTargets::FindLinkedTargetItems(
    const std::vector<CFileItem>& items, const std::vector<CFileItem>& others) const {
    const auto follow = [this](const CFileItem& it) { return Follow(it); };
    const auto reasonOf = [](const WrittenFile& w) { return w.link + " is a link to " + w.target + " on the server"; };
    std::vector<WrittenFile> written(items.size());
    std::map<std::string, std::set<std::string>> sources;
    std::map<std::string, size_t> firstLink;  // by file: the first item of the run that writes it through a link
    LocalFolderKeys folders;
    for (size_t i = 0; i < items.size(); ++i) {
        written[i] = follow(items[i]);
        if (written[i].file.empty()) continue;
        sources[written[i].file].insert(LocalTargetKey(items[i], &folders));
        if (!written[i].link.empty()) firstLink.emplace(written[i].file, i);
    }
    std::vector<LinkedTarget> refused;
    std::vector<bool> done(items.size(), false);
    for (size_t i = 0; i < items.size(); ++i)
        if (written[i].unknown) {
            const WrittenFile& w = written[i];
            if (w.link.empty() && !UnlistedNameRefused(items, i)) continue;
            refused.push_back({i, w.tooLong           ? reasonOf(w) + ", and it leads on through more links than are followed"
                                  : !w.link.empty() ? reasonOf(w) + ", and where it leads cannot be read from the server"
                                                    : "the server would not list " + w.notListed +
                                                          ": the name may be a link there"});
            done[i] = true;
        }
    for (size_t i = 0; i < items.size(); ++i) {
        if (done[i]) continue;
        const auto linked = firstLink.find(written[i].file);
        if (written[i].file.empty() || linked == firstLink.end() || sources[written[i].file].size() < 2) continue;
        refused.push_back({i, reasonOf(written[written[i].link.empty() ? linked->second : i])});
        done[i] = true;
    }
    // The run's items that reach another's file through a link, where an
    // item outside the run sends that file from another local file.
    std::map<std::string, std::vector<size_t>> throughLink;  // by file, items not refused yet
    for (size_t i = 0; i < items.size(); ++i)
        if (!done[i] && !written[i].link.empty()) throughLink[written[i].file].push_back(i);
    if (throughLink.empty()) return refused;
    for (const CFileItem& other : others) {
        const WrittenFile w = follow(other);
        const auto run = throughLink.find(w.file);
        if (w.file.empty() || run == throughLink.end()) continue;
        const std::string source = LocalTargetKey(other, &folders);
        for (size_t i : run->second)
            if (!done[i] && LocalTargetKey(items[i], &folders) != source) {
                refused.push_back({i, reasonOf(written[i])});
                done[i] = true;
            }
    }
    std::sort(refused.begin(), refused.end(),
              [](const LinkedTarget& a, const LinkedTarget& b) { return a.index < b.index; });
    return refused;
}
