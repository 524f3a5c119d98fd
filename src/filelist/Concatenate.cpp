#include "filelist/Concatenate.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/FileItem.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"

std::string ApplyConcatTemplate(const std::string& tmpl, const CFileItem& item, const std::string& text) {
    static const char* const kNames[] = {"{$LocalDir}", "{$RemoteDir}", "{$FileName}", "{$FileText}"};
    const std::string values[] = {item.LocalDir, item.RemoteDir, item.FileName, text};
    std::string out;
    std::size_t i = 0;
    while (i < tmpl.size()) {
        bool replaced = false;
        if (tmpl[i] == '{')
            for (int k = 0; k < 4; ++k) {
                const std::string name = kNames[k];
                if (tmpl.compare(i, name.size(), name) == 0) {
                    out += values[k];
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
        if (replaced) continue;
        if (tmpl[i] == '\r' && i + 1 < tmpl.size() && tmpl[i + 1] == '\n') {
            ++i;
            continue;
        }
        out += tmpl[i++];
    }
    return out;
}

std::string ProposeConcatFinalName(const CFileItem& item, const std::string& lastFinalName) {
    const std::string& name = item.FileName;
    const std::size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (!lastFinalName.empty()) {
        const std::size_t slash = lastFinalName.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : lastFinalName.substr(0, slash + 1);
        return folder + base + "-Final." + ext;
    }
    return item.LocalDir + base + "-final." + ext;
}

bool IsOneOfTheInputs(const std::string& path, const std::vector<CFileItem>& items) {
    struct stat target {};
    const bool exists = ::stat(path.c_str(), &target) == 0;
    for (const CFileItem& it : items) {
        const std::string input = it.GetLocalPath();
        if (input == path) return true;
        struct stat st {};
        if (exists && ::stat(input.c_str(), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino)
            return true;
    }
    return false;
}

namespace {
// Adds the bytes at the end of the file (created when missing). Only a
// regular file takes them; a text that does not fit whole is taken off
// again, so the file keeps what it held before.
bool AppendToFile(const std::string& path, const std::string& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "Failed to open file: " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat before {};
    if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode)) {
        ::close(fd);
        error = "Failed to open file: " + path + ": not a regular file";
        return false;
    }
    const char* p = bytes.data();
    size_t left = bytes.size();
    int err = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        p += n;
        left -= size_t(n);
    }
    if (err) (void)::ftruncate(fd, before.st_size);
    if (::close(fd) != 0 && !err) err = errno;
    if (err) {
        error = "Failed to write " + path + ": " + std::strerror(err);
        return false;
    }
    return true;
}
}  // namespace

bool ConcatenateItems(const std::vector<CFileItem>& items, const std::string& finalPath, const std::string& tmpl,
                      std::string& error) {
    error.clear();
    std::string all;
    bool any = false;
    for (const CFileItem& it : items) {
        std::string text;
        if (!ReadFileText(it.GetLocalPath(), text)) {
            WriteTraceString("Failed to read the file: " + it.GetLocalPath());
            continue;
        }
        all += ApplyConcatTemplate(tmpl, it, text);
        any = true;
    }
    if (!any) {
        error = "None of the selected files could be read.";
        return false;
    }
    const std::string folder = GetDirectoryPart(finalPath);
    if (!folder.empty() && !CreateFolderPath(folder)) {
        error = "Failed to create the directory: " + folder;
        return false;
    }
    return AppendToFile(finalPath, all, error);
}
