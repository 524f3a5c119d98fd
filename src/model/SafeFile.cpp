#include "model/SafeFile.h"


#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

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

// Makes a rename in the folder durable.
void SyncFolderOf(const std::string& path) {
    int dfd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

const std::string kPartMark = ".qvl-part-";
// The six characters that end the name of the temporary file holding the
// new text of a file with other hard links while it is copied into it.
const std::string kLinkedTag = "linked";

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// Creates a unique temporary file beside `path`, exclusively: whatever
// stands at a guessed name is never opened.
int MakeTempBeside(const std::string& path, std::string& tmp) {
    for (;;) {
        tmp = path + kPartMark + "XXXXXX";
        const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
        if (fd < 0 || !EndsWith(tmp, kLinkedTag)) return fd;
        // The name a copy into a linked file keeps its text under: not for
        // a temporary file that may be dropped.
        ::close(fd);
        ::unlink(tmp.c_str());
    }
}

std::string LinkedCopyName(const std::string& target) { return target + kPartMark + kLinkedTag; }

// Makes sure that `size` bytes fit in the file before a byte of it changes:
// its blocks are reserved (its length stays as it is); where the file system
// reserves nothing, the growth must fit in the free space. 0 or errno.
int ReserveRoom(int fd, off_t size) {
    if (size <= 0) return 0;
    int rc;
    do rc = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size);
    while (rc != 0 && errno == EINTR);
    if (rc == 0) return 0;
    if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL) return errno;
    struct stat st {};
    struct statvfs vfs {};
    if (::fstat(fd, &st) != 0 || ::fstatvfs(fd, &vfs) != 0) return errno;
    const unsigned long long used = static_cast<unsigned long long>(st.st_blocks) * 512ULL;
    const unsigned long long want = static_cast<unsigned long long>(size);
    if (want > used && want - used > static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize)
        return ENOSPC;
    return 0;
}

// One copy into a linked file at a time: the copier holds the file's lock.
// With `wait` it waits a while for another copy to end; without, a file that
// is being copied into now gives EWOULDBLOCK. A file system without locks
// gives 0: the copy goes on unlocked.
int LockForCopy(int fd, bool wait) {
    for (int tries = 0;; ++tries) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return 0;
        if (!wait || tries >= 600) return EWOULDBLOCK;
        ::usleep(50000);
    }
}

// How long after the last mark on the kept new text one write of the copy
// may still change the file: a file changed later than that was changed by
// someone else after a crash cut the copy.
constexpr long long kCopyWriteSlackNs = 2000000000LL;

// Marks the kept new text with the time now, just before the copy writes a
// block of it into the file: while the copy runs the file changes only up to
// a block's write after that mark (see FinishLinkedCopy).
void MarkCopyStep(int from) {
    const timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    ::futimens(from, times);
}

long long MtimeNs(const struct stat& st) {
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

// Copies the whole of `from` over the file `out`, cuts `out` to that length
// and flushes it to the disk. 0 or errno.
int CopyWholeInto(int from, int out) {
    std::vector<char> buf(1 << 20);
    off_t pos = 0;
    for (;;) {
        const ssize_t n = ::pread(from, buf.data(), buf.size(), pos);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        MarkCopyStep(from);
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::pwrite(out, buf.data() + done, static_cast<size_t>(n - done), pos + done);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return errno;
            done += w;
        }
        pos += n;
    }
    MarkCopyStep(from);
    if (::ftruncate(out, pos) != 0) return errno;
    if (::fsync(out) != 0) return errno;
    return 0;
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}
}  // namespace

bool ResolveWriteTarget(const std::string& path, std::string& real, std::string& error) {
    struct stat st {};
    int lstatErr = 0;
    return ResolveWriteTarget(path, real, error, st, lstatErr);
}

bool ResolveWriteTarget(const std::string& path, std::string& real, std::string& error,
                        struct stat& st, int& lstatErr) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        lstatErr = ::lstat(p.c_str(), &st) == 0 ? 0 : errno;
        if (lstatErr != 0 || !S_ISLNK(st.st_mode)) {
            real = p;
            return true;
        }
        std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
        if (n < 0 || static_cast<size_t>(n) >= buf.size()) {
            error = SystemErrorText(n < 0 ? errno : ENAMETOOLONG) + " (" + p + ")";
            return false;
        }
        std::string link(buf.data(), static_cast<size_t>(n));
        if (link.empty()) {
            error = SystemErrorText(ENOENT) + " (" + p + ")";
            return false;
        }
        p = link[0] == '/' ? link : (FolderOf(p) == "." ? link : FolderOf(p) + link);
    }
    error = SystemErrorText(ELOOP) + " (" + path + ")";
    return false;
}

CSafeWriter::~CSafeWriter() { Abort(); }

bool CSafeWriter::Open(const std::string& target, unsigned newMode, std::string& error,
                       unsigned keepMask) {
    Abort();
    m_inPlace = false;
    m_writeErrno = 0;
    m_openErrno = 0;
    m_expect = CFileStamp();
    // The link walk's last look is the look at the file itself.
    struct stat st {};
    int lstatErr = 0;
    if (!ResolveWriteTarget(target, m_target, error, st, lstatErr)) return false;
    bool exists = false;
    if (lstatErr == 0) {
        exists = true;
        if (!S_ISREG(st.st_mode)) {
            error = m_target + " is " + KindOf(st.st_mode) + "; it is not replaced.";
            return false;
        }
        if ((st.st_mode & 0222) == 0 || ::access(m_target.c_str(), W_OK) != 0) {
            error = m_target + " is read-only; it is not replaced.";
            return false;
        }
        m_inPlace = st.st_nlink > 1;
    } else if (lstatErr != ENOENT) {
        m_openErrno = lstatErr;
        error = SystemErrorText(lstatErr) + " (" + m_target + ")";
        return false;
    }
    m_fd = MakeTempBeside(m_target, m_tmp);
    if (m_fd < 0) {
        m_openErrno = errno;
        error = SystemErrorText(errno) + " (" + m_target + ")";
        m_tmp.clear();
        return false;
    }
    if (exists && !m_inPlace) {
        // The owner first: a change of owner clears the set-id bits.
        if (::fchown(m_fd, st.st_uid, st.st_gid) != 0) (void)::fchown(m_fd, static_cast<uid_t>(-1), st.st_gid);
        ::fchmod(m_fd, st.st_mode & 07777 & keepMask);
    } else if (!exists) {
        ::fchmod(m_fd, newMode & 07777);
    }
    return true;
}

bool CSafeWriter::Write(const char* data, size_t size) {
    if (m_fd < 0) {
        m_writeErrno = EBADF;
        return false;
    }
    if (WriteAll(m_fd, data, size)) return true;
    m_writeErrno = errno;
    return false;
}

bool CSafeWriter::Commit(std::string& error) {
    if (m_fd < 0) {
        error = SystemErrorText(EBADF) + " (" + m_target + ")";
        return false;
    }
    int err = 0;
    // The temporary file of a file written in place is flushed whatever the
    // caller asked: it holds the only whole new text while that is copied.
    if ((m_flush || m_inPlace) && ::fsync(m_fd) != 0) err = errno;
    if (!err && m_expect.known && !FileMatchesStamp(m_target, m_expect)) {
        Abort();
        error = "the file changed after it was read; it is not replaced (" + m_target + ")";
        return false;
    }
    if (!err && m_inPlace) return CommitInPlace(error);
    if (::close(m_fd) != 0 && !err) err = errno;
    m_fd = -1;
    if (!err && ::rename(m_tmp.c_str(), m_target.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(m_tmp.c_str());
        m_tmp.clear();
        error = SystemErrorText(err) + " (" + m_target + ")";
        return false;
    }
    m_tmp.clear();
    // A copy into the file that a killed run left unfinished is out of date.
    ::unlink(LinkedCopyName(m_target).c_str());
    if (m_flush) SyncFolderOf(m_target);
    return true;
}

bool CSafeWriter::CommitInPlace(std::string& error) {
    // Every name of the file must show the new text: it is copied into the
    // file itself. The file must hold the old text or the new, never a part
    // of each: the room for the new text is reserved before a byte changes
    // (a full disk fails here and leaves the file as it was), and while the
    // copy runs the new text stays whole under a name that the next start
    // knows (SweepStalePartFiles finishes the copy after a crash).
    int err = 0;
    const int out = ::open(m_target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {}, text {};
    if (out < 0)
        err = errno;
    else if (::fstat(out, &st) != 0 || !S_ISREG(st.st_mode))
        err = EINVAL;
    else if (::fstat(m_fd, &text) != 0)
        err = errno;
    else if ((err = LockForCopy(out, true)) == EWOULDBLOCK)
        err = EBUSY;
    if (!err) err = ReserveRoom(out, text.st_size);
    const std::string linked = LinkedCopyName(m_target);
    if (!err && ::rename(m_tmp.c_str(), linked.c_str()) != 0) err = errno;
    if (err) {
        if (out >= 0) ::close(out);
        Abort();
        error = SystemErrorText(err) + " (" + m_target + ")";
        return false;
    }
    m_tmp.clear();
    SyncFolderOf(linked);
    err = CopyWholeInto(m_fd, out);
    if (!err) ::unlink(linked.c_str());  // under the lock: no other copy is running
    ::close(out);
    ::close(m_fd);
    m_fd = -1;
    if (err) {
        error = SystemErrorText(err) + " (" + m_target + "); its new text is kept whole in " + linked +
                " and copied into it at the next start";
        return false;
    }
    return true;
}

bool FileMatchesStamp(const std::string& path, const CFileStamp& stamp) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return stamp.absent && errno == ENOENT;
    if (stamp.absent) return false;
    const long long mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return st.st_dev == stamp.dev && st.st_ino == stamp.ino && st.st_size == stamp.size &&
           mtime == stamp.mtimeNs;
}

CFileStamp StampOfFile(const std::string& path) {
    CFileStamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        s.known = s.absent = errno == ENOENT;
        return s;
    }
    s.known = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = static_cast<long long>(st.st_size);
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

void CSafeWriter::Abort() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_tmp.empty()) ::unlink(m_tmp.c_str());
    m_tmp.clear();
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int OpenRegularFileForReading(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = SystemErrorText(errno) + " (" + path + ")";
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = SystemErrorText(errno) + " (" + path + ")";
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + " is " + KindOf(st.st_mode) + ", not a file.";
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& error) {
    bytes.clear();
    const int fd = OpenRegularFileForReading(path, error);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        try {
            bytes.reserve(static_cast<size_t>(st.st_size));
        } catch (...) {
            // Too large to reserve at once: read what fits below.
        }
    }
    std::vector<char> buf(1 << 16);
    int err = 0;
    try {
        for (;;) {
            ssize_t n = ::read(fd, buf.data(), buf.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                err = errno;
                break;
            }
            if (n == 0) break;
            bytes.append(buf.data(), static_cast<size_t>(n));
        }
    } catch (...) {
        err = ENOMEM;
    }
    ::close(fd);
    if (err) {
        bytes.clear();
        error = SystemErrorText(err) + " (" + path + ")";
        return false;
    }
    return true;
}

bool HasNulByteInHead(const std::string& path) {
    // A pipe, device or folder at the path is no file.
    std::string why;
    const int fd = OpenRegularFileForReading(path, why);
    if (fd < 0) return false;
    char head[8192];
    size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = ::read(fd, head + got, sizeof head - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    return std::memchr(head, '\0', got) != nullptr;
}

bool SaveFileAtomic(const std::string& path, const std::string& bytes, std::string& error,
                    unsigned mode, unsigned keepMask) {
    CSafeWriter w;
    if (!w.Open(path, mode, error, keepMask)) return false;
    if (!w.Write(bytes)) {
        error = SystemErrorText(w.WriteErrno()) + " (" + path + ")";
        return false;
    }
    return w.Commit(error);
}

std::string NextBackupName(const std::string& path) {
    std::string bak = path + ".bak";
    for (int n = 1; PathExists(bak); ++n) bak = path + ".bak." + std::to_string(n);
    return bak;
}

bool KeepBackupCopy(const std::string& path, std::string& bak, std::string& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        bak = NextBackupName(path);
        std::string why;
        bool kept = CopyFileBytes(path, bak, false, why);
        if (!kept && PathExists(bak)) continue;  // taken meanwhile: the next number
        if (!kept) kept = RenameNoReplace(path, bak, why);
        if (!kept) {
            error = why;
            return false;
        }
        struct stat st {};
        if (::stat(bak.c_str(), &st) == 0) ::chmod(bak.c_str(), S_ISDIR(st.st_mode) ? 0700 : 0600);
        return true;
    }
    error = SystemErrorText(EEXIST);
    return false;
}

bool CopyFileBytes(const std::string& from, const std::string& to, bool overwrite,
                   std::string& error) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    CSafeWriter writer;
    int out = -1;
    if (overwrite) {
        if (writer.Open(to, st.st_mode & 07777, error)) out = writer.Fd();
        else {
            ::close(in);
            return false;
        }
    } else {
        out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    }
    if (out < 0) {
        error = SystemErrorText(errno) + " (" + to + ")";
        ::close(in);
        return false;
    }
    std::vector<char> buf(1 << 16);
    bool ok = true;
    int err = 0;
    for (;;) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            err = errno;
            break;
        }
        if (n == 0) break;
        if (!WriteAll(out, buf.data(), static_cast<size_t>(n))) {
            ok = false;
            err = errno;
            break;
        }
    }
    ::close(in);
    if (overwrite) {
        if (!ok) {
            writer.Abort();
            error = SystemErrorText(err) + " (" + to + ")";
            return false;
        }
        return writer.Commit(error);
    }
    if (ok && ::fsync(out) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(to.c_str());
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

namespace {
bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::string error;
    return ReadRegularFile(path, bytes, error);
}

// An earlier backup that holds the very same bytes (a damaged file read at
// every start is kept once, not once a start).
std::string FindSameBackup(const std::string& path) {
    std::string now;
    if (!ReadWholeFile(path, now)) return std::string();
    std::string bak = path + ".bak";
    for (int n = 1; PathExists(bak); ++n) {
        std::string old;
        if (ReadWholeFile(bak, old) && old == now) return bak;
        bak = path + ".bak." + std::to_string(n);
    }
    return std::string();
}
}  // namespace

std::string KeepDamagedFile(const std::string& path, const std::string& what, size_t lines,
                            const std::string& why) {
    std::string bak, error;
    std::string detail = why;
    if (detail.empty())
        detail = std::to_string(lines) + (lines == 1 ? " line" : " lines") + " could not be read";
    bak = FindSameBackup(path);
    if (!bak.empty()) {
        WriteTrace("The " + what + " " + path + " was not read whole (" + detail + "); it is kept as " +
                   bak + " already.");
        return bak;
    }
    if (!KeepBackupCopy(path, bak, error)) {
        WriteTrace("The " + what + " " + path + " was not read whole (" + detail +
                   ") and could not be kept: " + error);
        return std::string();
    }
    WriteTrace("The " + what + " " + path + " was not read whole (" + detail +
               "); it was kept as " + bak + " before the next save writes it again.");
    return bak;
}

void NoteReadProblem(CReadProblems& problems, std::string text) {
    constexpr size_t kMostLogged = 20;
    if (problems.first.size() < kMostLogged)
        problems.first.push_back(std::move(text));
    else
        ++problems.more;
}

void TraceReadProblems(const std::string& source, const CReadProblems& problems) {
    for (const auto& text : problems.first) WriteTrace(source + ": " + text);
    if (problems.more)
        WriteTrace(source + ": " + std::to_string(problems.more) + " more record(s) read only in part");
}

namespace {
const long long g_programStart = static_cast<long long>(::time(nullptr));
}  // namespace

// "NAME.qvl-part-" and the six characters mkostemp puts in.
bool IsPartFileName(const std::string& name) {
    static const std::string mark = ".qvl-part-";
    const size_t at = name.rfind(mark);
    return at != std::string::npos && at > 0 && name.size() == at + mark.size() + 6;
}

long long ProgramStartTime() { return g_programStart; }

namespace {
// True when the first `size` bytes of the two files are the same.
bool SameBytes(int a, int b, off_t size) {
    std::vector<char> x(1 << 16), y(1 << 16);
    for (off_t pos = 0; pos < size;) {
        const size_t want = static_cast<size_t>(std::min<off_t>(size - pos, off_t(x.size())));
        const ssize_t n = ::pread(a, x.data(), want, pos);
        if (n <= 0 || ::pread(b, y.data(), static_cast<size_t>(n), pos) != n) return false;
        if (std::memcmp(x.data(), y.data(), static_cast<size_t>(n)) != 0) return false;
        pos += n;
    }
    return true;
}

// The new text of a file that was changed after its copy was cut: it leaves
// the name the sweep finishes for one of its own beside the file
// ("NAME.unfinished", then "NAME.unfinished.1", ...), and the log says so.
void KeepLinkedCopyApart(const std::string& linked, const std::string& target, const std::string& what) {
    std::string why;
    for (int n = 0; n < 1000; ++n) {
        const std::string kept = target + ".unfinished" + (n ? "." + std::to_string(n) : std::string());
        why.clear();
        if (RenameNoReplace(linked, kept, why)) {
            WriteTrace(what + "it was changed since, so it stays as it is, and the new text of that save is kept in " +
                       kept + ".");
            return;
        }
        if (!PathExists(kept)) break;
    }
    WriteTrace(what + "it was changed since, so it stays as it is; the new text of that save stays in " + linked +
               " (" + why + ").");
}

// Copies the new text that a killed run left in `linked` into its file, the
// way CSafeWriter::CommitInPlace does, and removes it; says what it did. A
// file changed after the copy was cut keeps that change, and the new text is
// kept apart.
void FinishLinkedCopy(const std::string& linked) {
    const std::string target = linked.substr(0, linked.size() - kPartMark.size() - kLinkedTag.size());
    const std::string what = "The file " + target + " was left part-written by an unfinished save; ";
    std::string why;
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) {
        if (errno == ENOENT && RenameNoReplace(linked, target, why)) {
            WriteTrace(what + "its new text took its name again from " + linked + ".");
            return;
        }
        if (why.empty()) why = SystemErrorText(errno);
        WriteTrace(what + "its new text stays in " + linked + " (" + why + ").");
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        WriteTrace(what + "its new text stays in " + linked + " (" + target + " is " + KindOf(st.st_mode) +
                   " now).");
        return;
    }
    int err = 0;
    const int out = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (out < 0) err = errno;
    else if ((err = LockForCopy(out, false)) == EWOULDBLOCK) {
        ::close(out);  // a running program is copying it now and finishes it
        return;
    }
    // Opened under the lock: the text of the last copy that was begun.
    const int in = err ? -1 : ::open(linked.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat text {}, now {};
    if (!err && in < 0) err = errno;
    if (!err && (::fstat(in, &text) != 0 || !S_ISREG(text.st_mode))) err = EINVAL;
    // Where the file's time cannot be read, nothing tells that it was not
    // changed since: it is not written.
    if (!err && ::fstat(out, &now) != 0) err = errno;
    if (!err && MtimeNs(now) > MtimeNs(text) + kCopyWriteSlackNs) {
        // The file was changed after the copy was cut (its other name saved,
        // say): that change is not overwritten. A file that holds the new
        // text whole needs nothing more; else both stay.
        bool same = false;
        if (now.st_size == text.st_size) {
            const int look = ::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            same = look >= 0 && SameBytes(in, look, text.st_size);
            if (look >= 0) ::close(look);
        }
        ::close(in);
        if (same)
            ::unlink(linked.c_str());
        else
            KeepLinkedCopyApart(linked, target, what);
        ::close(out);  // the lock held until here
        return;
    }
    if (!err) err = ReserveRoom(out, text.st_size);
    if (!err) err = CopyWholeInto(in, out);
    if (!err) ::unlink(linked.c_str());
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    if (err == ENOENT && in < 0) return;  // the running program finished it meanwhile
    if (err)
        WriteTrace(what + "its new text stays in " + linked + " (" + SystemErrorText(err) + ").");
    else
        WriteTrace(what + "its new text, kept in " + linked + ", was copied into it.");
}
}  // namespace

void FinishCutCopyOf(const std::string& path) {
    if (path.empty()) return;
    struct stat st {};
    std::string linked = LinkedCopyName(path);
    if (::lstat(linked.c_str(), &st) != 0) {
        // A write through a symbolic link keeps the new text beside the
        // file the link names.
        struct stat self {};
        if (::lstat(path.c_str(), &self) != 0 || !S_ISLNK(self.st_mode)) return;
        std::string real, why;
        if (!ResolveWriteTarget(path, real, why) || real == path) return;
        linked = LinkedCopyName(real);
        if (::lstat(linked.c_str(), &st) != 0) return;
    }
    if (S_ISREG(st.st_mode)) FinishLinkedCopy(linked);
}

size_t SweepStalePartFiles(const std::vector<std::string>& folders, long long before,
                           const FolderPartNames* known) {
    size_t total = 0;
    std::vector<std::string> done;
    for (std::string folder : folders) {
        if (folder.empty()) continue;
        if (folder.back() != '/') folder += '/';
        if (std::find(done.begin(), done.end(), folder) != done.end()) continue;
        done.push_back(folder);
        std::vector<std::string> names;
        const auto at = known ? known->find(folder) : FolderPartNames::const_iterator();
        if (known && at != known->end()) {
            names = at->second;
        } else {
            DIR* dir = ::opendir(folder.c_str());
            if (!dir) continue;
            while (const dirent* e = ::readdir(dir))
                if (IsPartFileName(e->d_name)) names.emplace_back(e->d_name);
            ::closedir(dir);
        }
        size_t removed = 0;
        for (const std::string& name : names) {
            struct stat st {};
            const std::string path = folder + name;
            if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            if (EndsWith(name, kPartMark + kLinkedTag)) {
                FinishLinkedCopy(path);
                continue;
            }
            if (static_cast<long long>(st.st_mtime) >= before) continue;
            if (::unlink(path.c_str()) == 0) ++removed;
        }
        if (removed > 0)
            WriteTrace("Removed " + std::to_string(removed) + " temporary file(s) left by an unfinished save in " +
                       folder);
        total += removed;
    }
    return total;
}
