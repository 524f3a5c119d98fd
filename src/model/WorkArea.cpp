#include "model/WorkArea.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "model/Globals.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

std::string g_strDriveRoot = "/";
std::string g_strWorkFilesDir;
std::string g_strLoadingAreaDir;
std::string g_strLoadingBackUpDir;
std::string g_strLoadingTempDir;
std::string g_strCmdAreaDir;
std::string g_strUserInfoDir;
std::string g_strBufferTextDir;
std::string g_strSessionInfoDir;
std::string g_strDeprecatedDir;
std::string g_strSessionBackUpDir;
std::string g_strLibraryInfoDir;

std::string GetSystemDriveRoot() {
    std::string root;
    if (const char* r = std::getenv("QVL_ROOT"); r && *r) {
        root = r;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        root = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) {
        root = pw->pw_dir;
    } else {
        root = "/";
    }
    if (root.back() != '/') root += '/';
    return root;
}

void SplitPathComponents(std::vector<std::string>& parts, const std::string& text) {
    size_t start = 0;
    for (;;) {
        size_t pos = text.find('/', start);
        if (pos == std::string::npos) break;
        if (pos > start) parts.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

bool MakeFolderPath(const std::string& path, unsigned mode) {
    return CreateFolderPath(path, mode);
}

void SetWorkAreaPaths(const std::string& root) {
    g_strDriveRoot = root;
    if (g_strDriveRoot.empty() || g_strDriveRoot.back() != '/') g_strDriveRoot += '/';
    g_strWorkFilesDir = g_strDriveRoot + kWorkFilesFolder;
    g_sDefaultLocalDir = g_strWorkFilesDir;
    g_strLoadingAreaDir = g_strDriveRoot + kLoadingAreaFolder;
    g_strLoadingBackUpDir = g_strDriveRoot + kLoadingBackUpFolder;
    g_strLoadingTempDir = g_strDriveRoot + kLoadingTempFolder;
    g_strCmdAreaDir = g_strDriveRoot + kCmdAreaFolder;
    g_strUserInfoDir = g_strDriveRoot + kUserFolder;
    g_strBufferTextDir = g_strUserInfoDir + "BufferText/";
    g_strSessionInfoDir = g_strUserInfoDir + "SessionInfo/";
    g_strDeprecatedDir = g_strSessionInfoDir + "Deprecated/";
    g_strSessionBackUpDir = g_strSessionInfoDir + "BackUp/";
    g_strLibraryInfoDir = g_strUserInfoDir + "LibraryInfo/";
}

std::vector<int> CreateWorkAreaFolders() {
    SetWorkAreaPaths(GetSystemDriveRoot());
    // The user folders hold passwords: only the owner may enter them.
    struct Place {
        const std::string* folder;
        unsigned mode;
    };
    const Place places[10] = {
        {&g_strWorkFilesDir, 0755},    {&g_strLoadingAreaDir, 0755},
        {&g_strLoadingBackUpDir, 0755}, {&g_strCmdAreaDir, 0755},
        {&g_strLoadingTempDir, 0755},  {&g_strBufferTextDir, 0700},
        {&g_strSessionInfoDir, 0700},  {&g_strDeprecatedDir, 0700},
        {&g_strSessionBackUpDir, 0700}, {&g_strLibraryInfoDir, 0700},
    };
    std::vector<int> failed;
    std::string lines;
    for (int i = 0; i < 10; ++i) {
        if (!MakeFolderPath(*places[i].folder, places[i].mode)) {
            const int err = errno;
            failed.push_back(i + 1);
            lines += "\r\n" + *places[i].folder + "  (" +
                     (err == EEXIST || err == ENOTDIR ? std::string("a file stands in its way") : SystemErrorText(err)) + ")";
        }
    }
    // One message for all of them: a work area that cannot be written fails
    // every folder at once.
    if (!failed.empty())
        Prompter().Message("Failed to make the folders of the work area in " + g_strDriveRoot + ":" + lines +
                               "\r\n\r\nThe program goes on, but what belongs in these folders (sessions, "
                               "libraries, the job log) cannot be kept.",
                           MsgIcon::Warning);
    return failed;
}
