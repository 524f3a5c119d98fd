#include "model/Trace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/Globals.h"
#include "model/SafeFile.h"
#include "platform/Prompter.h"

namespace {
std::mutex g_traceMutex;
// The platform's default prompter writes to the trace.
[[maybe_unused]] const bool g_prompterLinesToTrace = (SetDefaultPrompterLines(&WriteTrace), true);
ITraceSink* g_traceSink = nullptr;
std::FILE* g_batchLog = nullptr;
bool g_batchLogFailed = false;
}  // namespace

void WriteTrace(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    if (g_bBatchMode) {
        if (!g_batchLog) return;
        std::string clean;
        clean.reserve(line.size() + 1);
        for (char c : line)
            if (c != '\r') clean += c;
        clean += '\n';
        const bool ok = std::fwrite(clean.data(), 1, clean.size(), g_batchLog) == clean.size() &&
                        std::fflush(g_batchLog) == 0;
        if (!ok && !g_batchLogFailed) {
            // Said once: the log itself cannot carry it (a full disk).
            g_batchLogFailed = true;
            std::fprintf(stderr, "quorvellian: writing the batch log failed: %s\n",
                         SystemErrorText(errno).c_str());
            std::fflush(stderr);
        }
        return;
    }
    if (g_traceSink) g_traceSink->AppendLine(line);
}

ITraceSink* SetTraceSink(ITraceSink* sink) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    ITraceSink* old = g_traceSink;
    g_traceSink = sink;
    return old;
}

bool OpenBatchLog(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    if (g_batchLog) std::fclose(g_batchLog);
    g_batchLogFailed = false;
    // Opened without waiting, and no pipe: a pipe that nobody reads, or
    // stops reading, must not hold the job.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    g_batchLog = ::fdopen(fd, "a");
    if (!g_batchLog) ::close(fd);
    return g_batchLog != nullptr;
}

void CloseBatchLog() {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    if (g_batchLog && std::fclose(g_batchLog) != 0 && !g_batchLogFailed) {
        g_batchLogFailed = true;
        std::fprintf(stderr, "quorvellian: writing the batch log failed: %s\n",
                     SystemErrorText(errno).c_str());
    }
    g_batchLog = nullptr;
}

bool BatchLogWriteFailed() {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    return g_batchLogFailed;
}

bool IsBatchLogOpen() {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    return g_batchLog != nullptr;
}

std::string SystemErrorText(int err) {
    char buf[256];
    std::string s;
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    s = strerror_r(err, buf, sizeof buf);
#else
    if (strerror_r(err, buf, sizeof buf) == 0) s = buf;
#endif
    if (s.size() > 1024) s.resize(1024);
    return s;
}

bool ReadFileText(const std::string& path, std::string& text) {
    text.clear();
    FinishCutCopyOf(path);
    // A folder, pipe, device or socket is refused without blocking on it.
    std::string why;
    int fd = OpenRegularFileForReading(path, why);
    if (fd < 0) {
        WriteTrace(why);
        return false;
    }
    const bool trace = g_bTrace;
    char block[4096];
    long blocks = 0;
    for (;;) {
        ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            WriteTrace(SystemErrorText(err) + " (" + path + ")");
            return false;
        }
        if (n == 0) break;
        text.append(block, static_cast<size_t>(n));
        ++blocks;
        if (!trace && blocks % 64 == 0) {
            char line[64];
            std::snprintf(line, sizeof line, "Read: %3ld K.", blocks * 4);
            WriteTrace(std::string(line) + " (" + GetFileNameFromPath(path) + ")");
        }
    }
    ::close(fd);
    if (trace) WriteTrace(path);
    return true;
}

std::string GetPathTail(const std::string& text, char separator) {
    auto pos = text.rfind(separator);
    return pos == std::string::npos ? text : text.substr(pos + 1);
}

std::string GetFileNameFromPath(const std::string& path) { return GetPathTail(path, '/'); }

std::vector<std::string> SplitPathFolders(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t pos = path.find('/', start);
        if (pos == std::string::npos) {
            if (start < path.size()) parts.push_back(path.substr(start));
            break;
        }
        if (pos > start) parts.push_back(path.substr(start, pos - start));
        start = pos + 1;
    }
    return parts;
}

bool CreateFolderPath(const std::string& path, unsigned mode) {
    if (path.empty()) return true;
    std::string running = path[0] == '/' ? "" : ".";
    for (const auto& part : SplitPathFolders(path)) {
        running += "/" + part;
        if (::mkdir(running.c_str(), mode) == 0) continue;
        if (errno == EEXIST) {
            struct stat st {};
            if (::stat(running.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
        }
        return false;
    }
    return true;
}

bool IsValidPath(const std::string& path) {
    if (path.find_first_not_of(' ') == std::string::npos) return false;
    return path.find_first_of(std::string("?\"<>|\\\r\n\0", 9)) == std::string::npos;
}
