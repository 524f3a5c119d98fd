#include "remote/TransferChecks.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "model/TextUtil.h"
#include "remote/LocalWorkGuard.h"

namespace {

std::string UnixFolderKey(const std::string& dir) {
    std::string key = !dir.empty() && dir[0] == '/' ? "/" : "";
    size_t start = 0;
    while (start <= dir.size()) {
        size_t end = dir.find('/', start);
        if (end == std::string::npos) end = dir.size();
        const std::string part = dir.substr(start, end - start);
        if (!part.empty() && part != ".") key += part + "/";
        start = end + 1;
    }
    return key;
}

std::string RemoteShown(const CFileItem& item) { return item.RemHost + ":" + item.RemoteDir + item.FileName; }

}  // namespace

std::string RemoteTargetKey(const CFileItem& item) {
    std::string path;
    if (item.GetHostKind() == "VMS")
        path = ToLowerAscii(item.RemoteDir + item.FileName);
    else
        path = UnixFolderKey(item.RemoteDir) + item.FileName;
    return ToLowerAscii(item.RemHost) + '\n' + item.RemUser + '\n' + path;
}

std::string LocalTargetKey(const CFileItem& item, LocalFolderKeys* folders) {
    const std::filesystem::path path(item.LocalDir + item.FileName);
    std::error_code ec;
    const std::string& name = item.FileName;
    struct stat st {};
    // A name that is no link (or nothing yet) is its resolved folder's.
    if (folders && !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
        (::lstat(path.c_str(), &st) == 0 ? !S_ISLNK(st.st_mode) : errno == ENOENT)) {
        const auto [at, fresh] = folders->try_emplace(item.LocalDir);
        if (fresh) {
            const std::filesystem::path folder = std::filesystem::weakly_canonical(path.parent_path(), ec);
            at->second = ec || folder.empty() ? std::string() : folder.string();
        }
        if (!at->second.empty()) return (std::filesystem::path(at->second) / name).string();
    }
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    if (ec) resolved = path.lexically_normal();
    return resolved.string();
}

bool IsChangedOnBothSides(const CFileItem& item) {
    return item.IsRemoteModified == "Yes" && item.GetLocalStatus() == "LocalModified";
}

bool OverwritesAChange(const CFileItem& item, bool toRemote) {
    if (toRemote) return item.IsRemoteModified == "Yes";
    // Without a transfer on record there is no local time to tell a change
    // by: the fetch compares such a file with the server's copy instead.
    return item.GetLocalStatus() == "LocalModified" && !HasNoTransferOnRecord(item);
}

namespace {

constexpr size_t kNamed = 20;

std::string NamedFiles(const std::vector<CFileItem>& items) {
    std::string text;
    for (size_t i = 0; i < items.size() && i < kNamed; ++i)
        text += "   " + items[i].LocalDir + items[i].FileName + "  (" + RemoteShown(items[i]) + ")\r\n";
    if (items.size() > kNamed) text += "   ... and " + std::to_string(items.size() - kNamed) + " more\r\n";
    return text;
}

// Each file with why after it.
std::string NamedFilesWithWhy(const std::vector<std::pair<CFileItem, std::string>>& items) {
    std::string text;
    for (size_t i = 0; i < items.size() && i < kNamed; ++i) {
        const CFileItem& item = items[i].first;
        text += "   " + item.LocalDir + item.FileName + "  (" + RemoteShown(item) + "): " + items[i].second + "\r\n";
    }
    if (items.size() > kNamed) text += "   ... and " + std::to_string(items.size() - kNamed) + " more\r\n";
    return text;
}

}  // namespace

std::string BothChangedQuestion(const std::vector<CFileItem>& items, bool toRemote, bool beforeRun,
                                const std::vector<std::pair<CFileItem, std::string>>& unchecked) {
    const bool anyUnchecked = toRemote && !unchecked.empty();
    std::string text;
    if (!items.empty() || !anyUnchecked) {
        bool allBoth = true;
        for (const CFileItem& item : items) allBoth = allBoth && IsChangedOnBothSides(item);
        text = allBoth     ? "These files were changed here and on the server since their last transfer:\r\n"
               : toRemote ? "These files were changed on the server since their last transfer:\r\n"
                          : "These files were changed here since their last transfer:\r\n";
        text += NamedFiles(items);
    }
    if (anyUnchecked) {
        if (!text.empty()) text += "\r\n";
        text += "Whether these files were changed on the server since their last transfer could not be "
                "checked:\r\n" +
                NamedFilesWithWhy(unchecked);
    }
    // Where no change was seen, none is said to be lost.
    const std::string lost = items.empty() && anyUnchecked ? "Any change made on the server is lost."
                                                           : "The changes made on the server are lost.";
    if (beforeRun && toRemote)
        return text + "\r\nSend it anyway and run it? " + lost + "\r\nNo leaves the file as it is and runs nothing.";
    text += toRemote ? "\r\nSend them anyway? " + lost + "\r\nNo leaves these files as they are and sends the rest."
                     : "\r\nFetch them anyway? The changes made here are lost.\r\n"
                       "No leaves these files as they are and fetches the rest.";
    return text;
}

std::string BothChangedHeldLine(const CFileItem& item, bool toRemote) {
    const std::string local = item.LocalDir + item.FileName;
    const std::string too = IsChangedOnBothSides(item) ? " too" : "";
    return toRemote ? "-?- Not sent: " + local + " -> " + RemoteShown(item) + " (changed on the server" + too +
                          " since the last transfer; auto-sync leaves it as it is)"
                    : "-?- Not fetched: " + RemoteShown(item) + " -> " + local + " (changed here" + too +
                          " since the last transfer; auto-sync leaves it as it is)";
}

std::string BothChangedHeldReason(const CFileItem& item, bool toRemote) {
    const std::string too = IsChangedOnBothSides(item) ? " too" : "";
    return toRemote ? "changed on the server" + too + " since the last transfer; not sent"
                    : "changed here" + too + " since the last transfer; not fetched";
}

std::string UncheckedOnServerHeldLine(const CFileItem& item, const std::string& why) {
    return "-?- Not sent: " + item.LocalDir + item.FileName + " -> " + RemoteShown(item) +
           " (whether it was changed on the server could not be checked: " + why +
           "; auto-sync leaves it as it is)";
}

std::string UncheckedOnServerHeldReason(const std::string& why) {
    return "whether it was changed on the server could not be checked: " + why + "; not sent";
}

std::string UnknownLocalWorkQuestion(const std::vector<CFileItem>& items,
                                     const std::vector<std::pair<CFileItem, std::string>>& uncompared,
                                     const std::vector<CFileItem>& lineEnds) {
    std::string text;
    if (!items.empty())
        text = "These local files differ from the server's copies, and no transfer of them is on record:\r\n" +
               NamedFiles(items);
    if (!lineEnds.empty()) {
        if (!text.empty()) text += "\r\n";
        text += "These local files differ from the server's copies only in their line ends, and no transfer of "
                "them is on record:\r\n" +
                NamedFiles(lineEnds);
    }
    if (!uncompared.empty()) {
        if (!text.empty()) text += "\r\n";
        text += "These local files could not be compared with the server's copies, and no transfer of them is on "
                "record:\r\n" +
                NamedFilesWithWhy(uncompared);
    }
    // Files that differ in their line ends alone lose nothing else.
    const std::string lost = items.empty() && uncompared.empty()
                                 ? "Their line ends become this system's (LF)."
                                 : "What the local files hold now is lost.";
    return text + "\r\nFetch them anyway? " + lost + "\r\nNo leaves these files as they are and fetches the rest.";
}

std::string UnknownLocalWorkHeldLine(const CFileItem& item) {
    return "-?- Not fetched: " + RemoteShown(item) + " -> " + item.LocalDir + item.FileName +
           " (the local file differs from the server's and no transfer of it is on record; auto-sync leaves it "
           "as it is)";
}

std::string UnknownLocalWorkHeldReason() {
    return "the local file differs from the server's and no transfer of it is on record; not fetched";
}

std::string UncomparedLocalWorkHeldLine(const CFileItem& item, const std::string& why) {
    return "-?- Not fetched: " + RemoteShown(item) + " -> " + item.LocalDir + item.FileName +
           " (the local file could not be compared with the server's: " + why +
           "; no transfer of it is on record; auto-sync leaves it as it is)";
}

std::string UncomparedLocalWorkHeldReason(const std::string& why) {
    return "the local file could not be compared with the server's: " + why +
           "; no transfer of it is on record; not fetched";
}

std::string LineEndsLocalWorkHeldLine(const CFileItem& item) {
    return "-?- Not fetched: " + RemoteShown(item) + " -> " + item.LocalDir + item.FileName +
           " (the local file differs from the server's only in its line ends and no transfer of it is on record; "
           "auto-sync leaves it as it is)";
}

std::string LineEndsLocalWorkHeldReason() {
    return "the local file differs from the server's only in its line ends and no transfer of it is on record; "
           "not fetched";
}

std::string RefusedLocalWorkHeldLine(const CFileItem& item, const std::string& why) {
    return "-?- Not fetched: " + RemoteShown(item) + " -> " + item.LocalDir + item.FileName +
           " (the server refused to send it: " + why + "; auto-sync leaves the local file as it is)";
}

std::string RefusedLocalWorkHeldReason(const std::string& why) {
    return "the server refused to send it: " + why + "; not fetched";
}

std::string ChangedDuringRunReason() { return "changed here during the run; not fetched"; }

std::string ChangedOnServerDuringRunReason() { return "changed on the server during this run; not sent"; }
