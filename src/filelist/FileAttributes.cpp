#include "filelist/FileAttributes.h"

#include "model/TextUtil.h"
#include "model/ProgramData.h"

namespace {

// The item as the dialog sees it: host and user completed from the session.
CFileItem Completed(const CProgramData& data, const CSession& session, int p, int s, int b, int f) {
    CFileItem it = data.GetFileItem(p, s, b, f);
    if (it.RemHost.empty() || it.RemUser.empty()) {
        it.RemHost = session.Host;
        it.RemUser = session.User;
    }
    it.RemPassword = data.GetVaultPassword(it.RemHost, it.RemUser);
    return it;
}

void CollapseDoubleSlashes(std::string& dir) {
    for (std::size_t pos; (pos = dir.find("//")) != std::string::npos;) dir.erase(pos, 1);
}

}  // namespace

FileAttributeValues GetCommonFileAttributes(const CProgramData& data, int p, int s, int b,
                                            const std::vector<int>& selection) {
    FileAttributeValues v;
    const int count = data.GetFileItemCount(p, s, b);
    std::vector<int> sel;
    for (int f : selection)
        if (f >= 0 && f < count) sel.push_back(f);
    if (sel.empty()) return v;
    const CSession session = data.GetSession(p, s);
    std::vector<CFileItem> items;
    for (int f : sel) items.push_back(Completed(data, session, p, s, b, f));
    v.host = items[0].RemHost;
    v.user = items[0].RemUser;
    v.password = items[0].RemPassword;
    v.remoteDir = items[0].RemoteDir;
    v.localDir = items[0].LocalDir;
    v.passwordHost = v.host;
    v.passwordUser = v.user;
    auto agree = [&](std::string& value, std::string CFileItem::*field) {
        for (std::size_t i = 1; i < items.size(); ++i)
            if (items[i].*field != value) {
                value.clear();
                return;
            }
    };
    agree(v.host, &CFileItem::RemHost);
    agree(v.user, &CFileItem::RemUser);
    agree(v.password, &CFileItem::RemPassword);
    agree(v.localDir, &CFileItem::LocalDir);
    agree(v.remoteDir, &CFileItem::RemoteDir);
    if (v.host.empty() || v.user.empty()) v.passwordHost = v.passwordUser = std::string();
    return v;
}

std::string NormalizeLocalDir(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    CollapseDoubleSlashes(dir);
    return dir;
}

std::string NormalizeRemoteDir(std::string dir) {
    // A UNIX folder's name may hold "]": a folder with "/" is never VMS.
    const std::size_t bracket = dir.find(']');
    if (bracket != std::string::npos && bracket >= 1 && dir.find('/') == std::string::npos) return dir;
    return NormalizeLocalDir(std::move(dir));
}

bool IsSameAccount(const std::string& host1, const std::string& user1, const std::string& host2,
                   const std::string& user2) {
    return ToLowerAscii(host1) == ToLowerAscii(host2) && ToLowerAscii(user1) == ToLowerAscii(user2);
}

void ApplyFileAttributes(CProgramData& data, int p, int s, int b, const std::vector<int>& selection,
                         FileAttributeValues v) {
    if (!IsSameAccount(v.host, v.user, v.passwordHost, v.passwordUser))
        v.password = data.GetVaultPassword(v.host, v.user);
    v.localDir = NormalizeLocalDir(v.localDir);
    v.remoteDir = NormalizeRemoteDir(v.remoteDir);
    data.SetItemAttributesEx(p, s, b, selection);
    data.SetItemAttributes(p, s, b, selection);
    data.SetLocationField(1, v.host, p, s, b, selection);
    data.SetLocationField(2, v.user, p, s, b, selection);
    data.UpdateVaultFromSession(v.host, v.user, v.password, "", v.remoteDir, false);
    data.SetLocationField(4, v.localDir, p, s, b, selection);
    data.SetLocationField(5, v.remoteDir, p, s, b, selection);
}
