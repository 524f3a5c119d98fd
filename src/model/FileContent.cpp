// Operations on the disk files behind file items.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/TextUtil.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

std::string GetDirectoryPart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool RenameLocalFile(const std::string& oldPath, const std::string& newPath, std::string& error) {
    error.clear();
    if (!IsRegularFile(oldPath)) {
        error = "Original file is missing.";
        return false;
    }
    size_t slash = newPath.rfind('/');
    if (slash != std::string::npos && slash > 0) CreateFolderPath(newPath.substr(0, slash + 1));
    std::string why;
    if (!RenameNoReplace(oldPath, newPath, why)) {
        if (why.size() > 1000) why.resize(1000);
        error = "Failed to rename " + oldPath + ": " + why;
        return false;
    }
    return true;
}

void ReadUrlShortcut(const std::string& path, const std::string& fileName, std::string& name,
                     std::string& address) {
    std::string text;
    if (!ReadFileText(path, text)) return;
    name = fileName;
    for (size_t pos; (pos = name.find(".url")) != std::string::npos;) name.erase(pos, 4);
    address.clear();
    size_t key = text.find("BASEURL=");
    if (key == std::string::npos) return;
    size_t start = key + 8;
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) return;
    address = text.substr(start, nl - start);
    while (!address.empty() && (address.back() == ' ' || address.back() == '\t' ||
                                address.back() == '\r' || address.back() == '\n'))
        address.pop_back();
}

std::string BrowseForLocalFolder() {
    auto picked = Prompter().PickFolder("Select a directory in which to import the file(s):", "");
    if (!picked || picked->empty()) return "";
    std::string path = *picked + "/";
    for (size_t pos; (pos = path.find("//")) != std::string::npos;) path.erase(pos, 1);
    return path;
}

int CProgramData::UpdateBasketFromPaths(int p, int s, int b, int pos, std::vector<RemoteFileChoice>& files,
                                        std::vector<RemoteFolderChoice>& folders) {
    files.clear();
    folders.clear();
    if (!RunRemoteBrowser("*.*", files, folders)) return 0;
    ApplyCurrentHostToSession(p, s);
    if (files.empty() || !IsValidBasket(false, p, s, b)) return 0;
    if (pos < 0) pos = GetFileItemCount(p, s, b);
    // Baskets per remote folder only when the browser named folders; plain
    // picked files go into the basket itself.
    const bool perFolder = g_bAutoBasketCreate && !folders.empty();
    if (perFolder)
        for (size_t i = 0; i < folders.size(); ++i)
            InsertBasket(folders[i].name, p, s, b + 1 + static_cast<int>(i));
    const std::vector<CFileItem> existing = GetBasketItems(p, s, b);
    // Every item of the session, to refuse a new one whose local file
    // another remote file already has.
    std::vector<CFileItem> session;
    for (int k = 0; k < GetBasketCount(p, s); ++k) {
        const std::vector<CFileItem> items = GetBasketItems(p, s, k);
        session.insert(session.end(), items.begin(), items.end());
    }
    int added = 0;
    size_t refused = 0;
    for (auto& f : files) {
        CFileItem it;
        it.FileName = f.name;
        it.FileType = "remote";
        it.IsBinaryFile = IsBinaryByExtension(f.name);
        it.RemoteDir = f.remoteDir;
        it.LocalDir = f.localDir;
        it.RemHost = g_CurrentAccount.m_strHost;
        it.RemUser = g_CurrentAccount.m_strUser;
        if (!it.LocalDir.empty() && !(!perFolder && FindItemByRemoteDir(existing, it))) {
            bool shared = false;
            for (const CFileItem& other : session)
                if (other.FileName == it.FileName && other.LocalDir == it.LocalDir &&
                    !(other.RemoteDir == it.RemoteDir && ToLowerAscii(other.RemHost) == ToLowerAscii(it.RemHost)))
                    shared = true;
            if (shared) {
                if (refused++ == 0) WriteTraceString("Files not added: an item of the session has their local path.");
                WriteTraceString("   " + it.RemoteDir + it.FileName + " -> " + it.LocalDir + it.FileName);
                continue;
            }
        }
        if (perFolder) {
            if (InsertFileItems(p, s, b + 1 + f.folderIndex, -1, it)) { ++added; session.push_back(it); }
        } else if (FindItemByRemoteDir(existing, it)) {
            f.name += "$--$";
        } else {
            InsertFileItems(p, s, b, pos, it);
            session.push_back(it);
            ++pos;
            ++added;
        }
    }
    // The file-limit check belongs to the file-list operations: above the
    // limit automatic updates are switched off.
    if (g_bAutoUpdate && GetSessionItemCount(p, s) >= g_nTurnOff) {
        g_bAutoUpdate = false;
        const std::string row = "+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+";
        WriteTraceString(row);
        WriteTraceString("File limit exceeded " + std::to_string(g_nTurnOff) +
                         " files.\r\nAuto-update forcefully turned off.");
        WriteTraceString(row);
    }
    return added;
}
