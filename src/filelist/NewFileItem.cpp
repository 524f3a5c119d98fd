#include "filelist/NewFileItem.h"

#include <filesystem>

#include "model/Account.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "model/WorkArea.h"

namespace {
// An absolute folder with "." and ".." resolved, ending in "/".
std::string NormalFolder(const std::string& folder) {
    std::string out = std::filesystem::path(folder).lexically_normal().string();
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}
}  // namespace

CFileItem MakeLocalFileItem(const std::string& path, const CFileItem& like) {
    CFileItem item;
    std::string dirLocal = like.LocalDir.empty() ? g_strWorkFilesDir : like.LocalDir;
    std::string name = GetPathTail(path, '/');
    if (name.empty()) name = "NewFile.txt";
    const std::string dir = GetDirectoryPart(path);
    if (!dir.empty()) dirLocal = dir[0] == '/' ? dir : dirLocal + dir;
    if (!dirLocal.empty() && dirLocal[0] == '/') dirLocal = NormalFolder(dirLocal);
    item.FileName = name;
    item.FileType = "local";
    item.RemHost = g_CurrentAccount.m_strHost;
    item.RemUser = g_CurrentAccount.m_strUser;
    item.RemoteDir = like.RemoteDir;
    item.LocalDir = dirLocal;
    return item;
}
