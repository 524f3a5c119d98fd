#include "remote/Collect.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "model/TextUtil.h"
#include "model/Trace.h"
#include "remote/FtpClient.h"
#include "remote/RemoteBrowser.h"

std::atomic<bool> g_bStopRemoteCollect{false};

namespace {

std::string SortKey(const std::string& folder) {
    std::string k = ToLowerAscii(folder);
    for (char& c : k)
        if (c == '.' || c == '/') c = 'a';
    return k;
}

std::string Pad(const std::string& s, size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

// True when every "/"-separated part is a plain name (no "." or "..").
bool StaysBelow(const std::string& rest) {
    size_t start = 0;
    while (start < rest.size()) {
        size_t cut = rest.find('/', start);
        const std::string part = rest.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
        if (part == "." || part == "..") return false;
        if (cut == std::string::npos) break;
        start = cut + 1;
    }
    return true;
}

}  // namespace

std::string NormalizeLocalFolder(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    size_t at;
    while ((at = folder.find("//")) != std::string::npos) folder.erase(at, 1);
    return folder;
}

bool RecursiveEntryLess(const CDirEntry& a, const CDirEntry& b) {
    const std::string ka = SortKey(a.strRemoteDir), kb = SortKey(b.strRemoteDir);
    if (ka != kb) return ka < kb;
    return a.strName < b.strName;
}

std::string MapLocalFolderPath(const std::string& hostType, const std::string& remoteFolder,
                               const std::string& remoteRoot, const std::string& localRoot) {
    if (remoteFolder == remoteRoot) return localRoot;
    std::string r = remoteFolder, root = remoteRoot;
    if (hostType == "VMS") {
        if (!r.empty()) r.pop_back();
        if (!root.empty()) root.pop_back();
    }
    const size_t at = r.find(root);
    if (root.empty() || at == std::string::npos) return std::string();
    r.erase(at, root.size());
    if (hostType == "VMS") {
        for (char& c : r)
            if (c == '.') c = '/';
        r = ToLowerAscii(r);
        if (!r.empty()) r.erase(0, 1);
    } else {
        // A UNIX server tells "Sub" from "sub": so does the local side.
        if (!r.empty()) r.pop_back();
    }
    if (!StaysBelow(r)) return std::string();
    return NormalizeLocalFolder(localRoot + r);
}

void MapLocalFolder(const std::string& hostType, CDirEntry& entry, const std::string& remoteFolder,
                    const std::string& remoteRoot, const std::string& localRoot,
                    std::vector<FolderRecord>& records) {
    const std::string key = remoteRoot + localRoot + remoteFolder;
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].key == key) {
            entry.strLocalDir = records[i].localDir;
            entry.nIndex = static_cast<int>(i);
            return;
        }
    entry.nIndex = static_cast<int>(records.size());
    entry.strLocalDir = MapLocalFolderPath(hostType, remoteFolder, remoteRoot, localRoot);
    records.push_back({key, entry.strLocalDir, std::string()});
}

void AssignLocalFolders(const std::string& hostType, const std::string& remoteRoot, bool keepTree,
                        const std::string& localRoot, std::vector<CDirEntry>& entries,
                        std::vector<FolderRecord>& records) {
    for (CDirEntry& e : entries) {
        if (keepTree) {
            MapLocalFolder(hostType, e, e.strRemoteDir, remoteRoot, localRoot, records);
        } else {
            e.strLocalDir = localRoot;
            e.nIndex = 0;
        }
    }
}

WalkEnd ListDirectoryRecursive(CFtpClient& client, const std::string& hostType,
                               const std::string& folder, const std::string& keep,
                               const std::string& exclude, std::vector<CDirEntry>& entries,
                               int depth, std::vector<std::string>* cut) {
    if (g_bStopRemoteCollect) return WalkEnd::Stopped;
    if (depth > kMaxCollectDepth) {
        WriteTrace("-?- Not going deeper than " + std::to_string(kMaxCollectDepth) +
                   " folders: " + folder + " is left out.");
        return WalkEnd::Done;
    }
    std::vector<CDirEntry> listed;
    try {
        client.ChangeDirectory(folder);
        WriteTrace("Processing " + folder);
        if (hostType == "VMS") client.ListDirectoryVms("*.*", listed);
        else client.ListDirectoryUnix("*.*", listed);
    } catch (const std::exception& e) {
        WriteTrace(std::string("-nav1-: Unable to set initial directory: ") + e.what());
        return WalkEnd::Failed;
    }
    if (!client.ListingCut().empty()) {
        WriteTrace("-?- The server cut the listing of " + folder + " short: " + client.ListingCut());
        if (cut) cut->push_back(folder);
    }
    for (const CDirEntry& e : listed) {
        if (!IsUsableListedName(e.strName)) continue;
        if (e.bIsDir) {
            WalkEnd end = ListDirectoryRecursive(client, hostType, ChildRemoteFolder(folder, e.strName, hostType),
                                                 keep, exclude, entries, depth + 1, cut);
            if (end != WalkEnd::Done) return end;
            try {
                client.ChangeDirectory(folder);
            } catch (const std::exception& ex) {
                WriteTrace(std::string("-nav2-: Unable to set initial directory: ") + ex.what());
                return WalkEnd::Failed;
            }
        } else if (PassesNameFilters(e.strName, keep, exclude)) {
            CDirEntry f;
            f.strName = e.strName;
            f.strRemoteDir = folder;
            entries.push_back(f);
        }
    }
    return WalkEnd::Done;
}

WalkEnd CollectRecursive(CFtpClient& client, const std::string& hostType,
                         const std::string& remoteRoot, const std::string& startFolder,
                         const std::string& localRoot, bool keepTree, const std::string& keep,
                         const std::string& exclude, std::vector<CDirEntry>& entries,
                         std::vector<std::string>* cut) {
    entries.clear();
    if (cut) cut->clear();
    WalkEnd end = ListDirectoryRecursive(client, hostType, startFolder, keep, exclude, entries, 0, cut);
    if (end != WalkEnd::Done) {
        entries.clear();
        return end;
    }
    std::vector<FolderRecord> records;
    std::stable_sort(entries.begin(), entries.end(), RecursiveEntryLess);
    AssignLocalFolders(hostType, remoteRoot, keepTree, localRoot, entries, records);
    RefuseSharedLocalPaths(entries);
    return WalkEnd::Done;
}

size_t RefuseSharedLocalPaths(std::vector<CDirEntry>& entries) {
    std::set<std::string> taken;
    std::vector<CDirEntry> kept;
    kept.reserve(entries.size());
    size_t refused = 0;
    for (CDirEntry& e : entries) {
        const std::string local = e.strLocalDir + e.strName;
        if (taken.insert(local).second) {
            kept.push_back(std::move(e));
            continue;
        }
        if (refused++ == 0) WriteTrace("Files not collected: another collected file has their local path.");
        WriteTrace("   " + e.strRemoteDir + e.strName + " -> " + local);
    }
    entries = std::move(kept);
    return refused;
}

std::string CollectedEntriesText(const std::vector<CDirEntry>& entries) {
    size_t w1 = 0, w2 = 0;
    for (const CDirEntry& e : entries) {
        w1 = std::max(w1, e.strName.size());
        w2 = std::max(w2, e.strRemoteDir.size());
    }
    std::string text;
    int n = 0;
    for (const CDirEntry& e : entries) {
        char num[16];
        std::snprintf(num, sizeof num, "%4d", ++n);
        text += std::string(num) + ". " + Pad(e.strName, w1 + 1) + Pad(e.strRemoteDir, w2 + 1) +
                e.strLocalDir + "\r\n";
    }
    return text + std::string(62, '=') + "\r\n";
}

std::string CutListingsText(const std::vector<std::string>& folders) {
    if (folders.empty()) return std::string();
    const std::string which = folders.size() == 1
                                  ? "the listing of " + folders.front()
                                  : "the listings of " + std::to_string(folders.size()) + " folders (the first: " +
                                        folders.front() + ")";
    return "The server cut " + which + " short.\r\n" +
           "The files past its limit are not in this recursive process.";
}
