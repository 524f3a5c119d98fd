#include "remote/FolderScan.h"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include "model/Globals.h"
#include "model/TextUtil.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

namespace fs = std::filesystem;

namespace {
std::vector<std::string> SplitPatterns(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == ';') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

bool AnyPatternIn(const std::string& name, const std::string& list) {
    for (std::string p : SplitPatterns(list)) {
        p.erase(std::remove_if(p.begin(), p.end(), [](char c) { return c == '*' || c == ' '; }),
                p.end());
        if (p.empty()) continue;
        if (name.find(p) != std::string::npos) return true;
    }
    return false;
}

bool IsEverything(const std::string& t) { return t == "*.*" || t == "*"; }

std::string ReplaceChar(std::string s, char from, char to) {
    std::replace(s.begin(), s.end(), from, to);
    return s;
}

// Folder part through the last "/", or "?" when there is none after the first character.
std::string LocalFolderOf(const std::string& path) {
    std::size_t k = path.rfind('/');
    if (k == std::string::npos || k == 0) return k == 0 ? "/" : "?";
    return path.substr(0, k + 1);
}

bool IsVmsAccountFolder(const std::string& f, char mark) {
    std::size_t k = f.find(mark);
    return k != std::string::npos && (mark == '[' || k > 0) && f.find('/') == std::string::npos;
}

// The account's known host type decides; only an unknown one leaves it to
// the folders' form.
bool JudgedVms(const std::string& hostType, bool byForm) {
    if (hostType == "VMS") return true;
    if (hostType == "UNIX") return false;
    return byForm;
}

void ScanInto(const fs::path& dir, const std::string& pattern, std::vector<std::string>& files,
              const std::string& include, const std::string& exclude, bool abortCheck) {
    if (abortCheck && g_bAddFilesBreak) throw CFolderScanAbort(6);
    std::error_code ec;
    fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
    if (ec) return;
    const bool all = IsEverything(pattern);
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        if (abortCheck && g_bAddFilesBreak) throw CFolderScanAbort(3);
        const fs::directory_entry& e = *it;
        std::error_code ec2;
        if (e.is_symlink(ec2) && e.is_directory(ec2)) continue;  // no loops through links
        if (e.is_directory(ec2)) {
            ScanInto(e.path(), pattern, files, include, exclude, abortCheck);
            continue;
        }
        if (!e.is_regular_file(ec2)) continue;
        std::string name = e.path().filename().string();
        if (!all && ::fnmatch(pattern.c_str(), name.c_str(), 0) != 0) continue;
        if (MatchesFileFilters(name, include, exclude)) files.push_back(e.path().string());
    }
}
}  // namespace

bool MatchesFileFilters(const std::string& name, const std::string& include,
                        const std::string& exclude) {
    bool included = IsEverything(include) || AnyPatternIn(name, include);
    bool excluded = IsEverything(exclude) || AnyPatternIn(name, exclude);
    return included && !excluded;
}

void ScanLocalFolder(const std::string& folder, const std::string& pattern,
                     std::vector<std::string>& files, const std::string& include,
                     const std::string& exclude, bool abortCheck) {
    if (folder.empty()) return;
    std::error_code ec;
    fs::path dir = fs::absolute(fs::path(folder), ec);
    if (ec) return;
    ScanInto(dir.lexically_normal(), pattern, files, include, exclude, abortCheck);
}

void WalkFolderTree(const std::string& folder, bool mapRemote, const std::string& remoteDir,
                    std::vector<CDirEntry>& entries, std::vector<CFolderRecord>& records,
                    const std::string& include, const std::string& exclude,
                    const std::string& accountFolder, const std::string& hostType) {
    std::error_code ec;
    if (!fs::is_directory(fs::path(folder), ec)) return;
    std::vector<std::string> files;
    ScanLocalFolder(folder, "*.*", files, include, exclude, true);
    std::string abs = fs::absolute(fs::path(folder), ec).lexically_normal().string();
    BuildFolderLists(std::move(files), abs, mapRemote, remoteDir, entries, records, false,
                     accountFolder, hostType);
}

void BuildFolderLists(std::vector<std::string> files, const std::string& folder, bool mapRemote,
                      const std::string& remoteDir, std::vector<CDirEntry>& entries,
                      std::vector<CFolderRecord>& records, bool singleFiles,
                      const std::string& accountFolder, const std::string& knownHostType) {
    SortFilePaths(files);
    if (!mapRemote) {
        std::string rdir = remoteDir;
        NormalizeRemoteDir(rdir, knownHostType);
        for (const std::string& path : files) {
            CDirEntry e;
            e.strName = GetFileNameFromPath(path);
            e.strRemoteDir = rdir;
            e.strLocalDir = LocalFolderOf(path);
            e.nIndex = -1;
            entries.push_back(std::move(e));
        }
        return;
    }
    const bool vms = JudgedVms(knownHostType, (!remoteDir.empty() && remoteDir.back() == ']' &&
                                               remoteDir.find('/') == std::string::npos) ||
                                                  IsVmsAccountFolder(accountFolder, ']'));
    const std::string hostType = vms ? "VMS" : "UNIX";
    // The base is the parent of the walked folder, so that relative folders
    // begin with the folder's own name.
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    std::size_t k = f.rfind('/');
    std::string base = (k == std::string::npos || k == 0) ? (k == 0 ? "/" : f) : f.substr(0, k + 1);

    for (const std::string& path : files) {
        CDirEntry e;
        e.strName = GetFileNameFromPath(path);
        e.strLocalDir = LocalFolderOf(path);
        int index = -1;
        std::string rdir;
        for (std::size_t r = 0; r < records.size(); ++r)
            if (records[r].strLocalDir == e.strLocalDir) {
                index = static_cast<int>(r);
                rdir = records[r].strRemoteDir;
                break;
            }
        if (index < 0) {
            auto [mapped, rel] = MapLocalFolderToRemote(base, path, remoteDir, hostType);
            NormalizeRemoteDir(mapped, hostType);
            rdir = mapped;
            if (!rel.empty()) {
                index = static_cast<int>(records.size());
                CFolderRecord rec{e.strLocalDir, e.strLocalDir, mapped,
                                  rel.substr(0, rel.size() - 1)};
                records.push_back(std::move(rec));
            }
        }
        e.strRemoteDir = rdir;
        e.nIndex = singleFiles ? -1 : index;
        entries.push_back(std::move(e));
    }
}

std::pair<std::string, std::string> MapLocalFolderToRemote(const std::string& base,
                                                           const std::string& path,
                                                           const std::string& remoteDir,
                                                           const std::string& hostType) {
    std::size_t k = path.rfind('/');
    std::string rel = k == std::string::npos ? path : path.substr(0, k + 1);
    std::string rdir = remoteDir;
    if (rel.compare(0, base.size(), base) != 0) return {rdir, rdir};
    rel.erase(0, base.size());
    if (rel.empty()) return {rdir, ""};
    const std::string relative = rel;
    if (hostType == "VMS") {
        rel = ReplaceChar(ReplaceChar(rel, '/', '.'), ' ', '-');
        if (rel[0] != '.') rel.insert(0, ".");
        if (!rel.empty() && rel.back() == '.') rel.pop_back();
        if (rdir.find(']') == std::string::npos) rdir = "[." + rdir + "]";
        return {rdir.substr(0, rdir.size() - 1) + rel + "]", relative};
    }
    if (hostType == "UNIX") {
        rel = ReplaceChar(rel, ' ', '-');
        if (!rel.empty() && rel[0] == '/') rel.erase(0, 1);
        if (rel.empty() || rel.back() != '/') rel += '/';
        if (rdir.empty()) return {rel, relative};
        return {rdir + (rdir.back() == '/' ? "" : "/") + rel, relative};
    }
    return {rdir + "?", relative};
}

void NormalizeRemoteDir(std::string& dir, const std::string& hostType) {
    // A VMS directory form (a folder with "/" is never one).
    if (JudgedVms(hostType, dir.find(']', 1) != std::string::npos && dir.find('/') == std::string::npos)) return;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    std::string out;
    for (std::size_t i = 0; i < dir.size(); ++i) {
        if (dir[i] == '/' && i + 1 < dir.size() && dir[i + 1] == '/') {
            out += '/';
            ++i;
            continue;
        }
        out += dir[i];
    }
    dir.swap(out);
}

bool CompareFilePaths(const std::string& a, const std::string& b) {
    std::size_t ka = a.rfind('/'), kb = b.rfind('/');
    std::string fa = ka == std::string::npos ? "" : ToLowerAscii(a.substr(0, ka + 1));
    std::string fb = kb == std::string::npos ? "" : ToLowerAscii(b.substr(0, kb + 1));
    if (fa != fb) return fa < fb;
    std::string na = ka == std::string::npos ? a : a.substr(ka + 1);
    std::string nb = kb == std::string::npos ? b : b.substr(kb + 1);
    return na < nb;
}

void SortFilePaths(std::vector<std::string>& paths) {
    std::stable_sort(paths.begin(), paths.end(), CompareFilePaths);
}

void ConvertRemoteDirectoryRecursive(char separator, std::vector<std::string>& pieces,
                                     std::string& text) {
    std::size_t start = 0;
    for (;;) {
        std::size_t k = text.find(separator, start);
        if (k == std::string::npos) break;
        if (k > start) pieces.push_back(text.substr(start, k - start));
        start = k + 1;
    }
    text.erase(0, start);
}

std::vector<std::string> ConvertRemoteDirectory(const std::string& base, const std::string& dir,
                                                const std::string& accountFolder, const std::string& hostType) {
    std::vector<std::string> list;
    const bool vms =
        JudgedVms(hostType, (dir.find('[') != std::string::npos && dir.find('/') == std::string::npos) ||
                                IsVmsAccountFolder(accountFolder, '['));
    if (vms) {
        std::string b = base;
        if (b.find(']') == std::string::npos) b = b.empty() ? "[]" : "[." + b + "]";
        std::string key = b.substr(0, b.size() - 1);
        if (dir.find(key) == std::string::npos) {
            Prompter().Message("Invalid remote directory processed", MsgIcon::Warning);
            return {};
        }
        std::string rest = dir.size() > b.size() ? dir.substr(b.size()) : std::string();
        rest = ReplaceChar(rest, ']', '.');
        std::vector<std::string> pieces;
        ConvertRemoteDirectoryRecursive('.', pieces, rest);
        std::string cur = ReplaceChar(b, ']', '.');
        for (const std::string& p : pieces) {
            cur += p + ".";
            list.push_back(cur);
        }
        for (std::string& s : list) s.back() = ']';
        return list;
    }
    if (dir.find(base) == std::string::npos) {
        Prompter().Message("Invalid remote directory processed", MsgIcon::Warning);
        return {};
    }
    std::string rest = dir.size() > base.size() ? dir.substr(base.size()) : std::string();
    std::vector<std::string> pieces;
    ConvertRemoteDirectoryRecursive('/', pieces, rest);
    std::string cur = base;
    if (cur.empty() || cur.back() != '/') cur += '/';
    for (const std::string& p : pieces) {
        cur += p + "/";
        list.push_back(cur);
    }
    return list;
}

bool CompareRemoteDirectories(const std::string& a, const std::string& b) {
    std::string ca = a, cb = b;
    if (a.find('/') == std::string::npos && b.find('/') == std::string::npos) {
        ca = ToLowerAscii(ca);
        cb = ToLowerAscii(cb);
    }
    for (std::string* s : {&ca, &cb})
        for (char& c : *s)
            if (c == '.' || c == ']') c = '/';
    return ca < cb;
}

void SortRemoteDirectories(std::vector<std::string>& dirs) {
    std::stable_sort(dirs.begin(), dirs.end(), CompareRemoteDirectories);
}

std::vector<std::string> CollectRemoteDirectories(const std::string& base,
                                                  const std::vector<std::string>& dirs,
                                                  const std::string& accountFolder,
                                                  const std::string& hostType) {
    std::set<std::string> all;
    for (const std::string& d : dirs)
        for (std::string& c : ConvertRemoteDirectory(base, d, accountFolder, hostType)) all.insert(c);
    std::vector<std::string> out(all.begin(), all.end());
    SortRemoteDirectories(out);
    return out;
}
