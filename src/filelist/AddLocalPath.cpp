#include "filelist/AddLocalPath.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include "model/Trace.h"

bool StatLocalPath(const std::string& path, struct stat& st) {
    if (path.empty()) return false;
    if (path.size() < PATH_MAX) return ::stat(path.c_str(), &st) == 0;
    // Too long for one call: walk down from the root (or the current folder).
    int dir = path[0] == '/' ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
    if (path[0] == '/' && dir < 0) return false;
    std::size_t start = 0;
    bool ok = false;
    for (;;) {
        while (start < path.size() && path[start] == '/') ++start;
        std::size_t end = path.find('/', start);
        std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::size_t rest = end == std::string::npos ? path.size() : end;
        while (rest < path.size() && path[rest] == '/') ++rest;
        if (rest >= path.size()) {
            ok = ::fstatat(dir, part.empty() ? "." : part.c_str(), &st, 0) == 0;
            break;
        }
        const int next = ::openat(dir, part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir != AT_FDCWD) ::close(dir);
        dir = next;
        if (dir < 0) return false;
        start = rest;
    }
    if (dir != AT_FDCWD && dir >= 0) ::close(dir);
    return ok;
}

int ClassifyDroppedPath(const std::string& path) {
    struct stat st {};
    if (!StatLocalPath(path, st)) return 0;
    if (S_ISDIR(st.st_mode)) return 2;
    const std::string name = GetFileNameFromPath(path);
    if (name.empty() || name == "." || name == ".." || name[0] == '.') return 0;
    if (name.back() == '~' || (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)) return 0;
    return S_ISREG(st.st_mode) ? 1 : 0;
}

void SetLocalTimeFromDisk(CFileItem& item) {
    struct stat st {};
    item.LocalModTime = StatLocalPath(item.GetLocalPath(), st) ? st.st_mtime : DefaultItemTime();
}
