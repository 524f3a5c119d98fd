#include "remote/TransferChecks.h"

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

std::string LocalTargetKey(const CFileItem& item) {
    const std::filesystem::path path(item.LocalDir + item.FileName);
    std::error_code ec;
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

}  // namespace

std::string BothChangedQuestion(const std::vector<CFileItem>& items, bool toRemote, bool beforeRun) {
    bool allBoth = true;
    for (const CFileItem& item : items) allBoth = allBoth && IsChangedOnBothSides(item);
    std::string text = allBoth     ? "These files were changed here and on the server since their last transfer:\r\n"
                       : toRemote ? "These files were changed on the server since their last transfer:\r\n"
                                  : "These files were changed here since their last transfer:\r\n";
    text += NamedFiles(items);
    if (beforeRun && toRemote)
        return text + "\r\nSend it anyway and run it? The changes made on the server are lost.\r\n"
                      "No leaves the file as it is and runs nothing.";
    text += toRemote ? "\r\nSend them anyway? The changes made on the server are lost.\r\n"
                       "No leaves these files as they are and sends the rest."
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

std::string UnknownLocalWorkQuestion(const std::vector<CFileItem>& items,
                                     const std::vector<std::pair<CFileItem, std::string>>& uncompared) {
    std::string text;
    if (!items.empty())
        text = "These local files differ from the server's copies, and no transfer of them is on record:\r\n" +
               NamedFiles(items);
    if (!uncompared.empty()) {
        if (!text.empty()) text += "\r\n";
        text += "These local files could not be compared with the server's copies, and no transfer of them is on "
                "record:\r\n";
        for (size_t i = 0; i < uncompared.size() && i < kNamed; ++i) {
            const CFileItem& item = uncompared[i].first;
            text += "   " + item.LocalDir + item.FileName + "  (" + RemoteShown(item) + "): " + uncompared[i].second +
                    "\r\n";
        }
        if (uncompared.size() > kNamed)
            text += "   ... and " + std::to_string(uncompared.size() - kNamed) + " more\r\n";
    }
    return text +
           "\r\nFetch them anyway? What the local files hold now is lost.\r\n"
           "No leaves these files as they are and fetches the rest.";
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

std::string ChangedDuringRunReason() { return "changed here during the run; not fetched"; }
