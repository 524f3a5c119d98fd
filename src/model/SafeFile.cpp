#include "model/SafeFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "model/Trace.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {
bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Creates a unique temporary file beside `path`.
int MakeTempBeside(const std::string& path, std::string& tmp, unsigned mode) {
    tmp = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd >= 0) ::fchmod(fd, mode);
    return fd;
}
}  // namespace

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool SaveFileAtomic(const std::string& path, const std::string& bytes, std::string& error,
                    unsigned mode) {
    std::string tmp;
    int fd = MakeTempBeside(path, tmp, mode);
    if (fd < 0) {
        error = SystemErrorText(errno) + " (" + path + ")";
        return false;
    }
    bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        error = SystemErrorText(err) + " (" + path + ")";
        return false;
    }
    // Make the rename itself durable.
    int dfd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool CopyFileBytes(const std::string& from, const std::string& to, bool overwrite,
                   std::string& error) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = SystemErrorText(errno) + " (" + from + ")";
        return false;
    }
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        error = SystemErrorText(EISDIR) + " (" + from + ")";
        return false;
    }
    std::string tmp;
    int out;
    if (overwrite) {
        out = MakeTempBeside(to, tmp, st.st_mode & 07777);
    } else {
        out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    }
    if (out < 0) {
        error = SystemErrorText(errno) + " (" + to + ")";
        ::close(in);
        return false;
    }
    char buf[65536];
    bool ok = true;
    int err = 0;
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            err = errno;
            break;
        }
        if (n == 0) break;
        if (!WriteAll(out, buf, static_cast<size_t>(n))) {
            ok = false;
            err = errno;
            break;
        }
    }
    ::close(in);
    if (ok && ::fsync(out) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    const std::string& written = overwrite ? tmp : to;
    if (ok && overwrite && ::rename(tmp.c_str(), to.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(written.c_str());
        error = SystemErrorText(err) + " (" + to + ")";
        return false;
    }
    return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error) {
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        error = SystemErrorText(errno);
        return false;
    }
#endif
    // File systems without the flag: refuse an existing target, then rename.
    if (PathExists(to)) {
        error = SystemErrorText(EEXIST);
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        error = SystemErrorText(errno);
        return false;
    }
    return true;
}

bool RenameReplace(const std::string& from, const std::string& to, std::string& error) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        error = SystemErrorText(errno);
        return false;
    }
    return true;
}
