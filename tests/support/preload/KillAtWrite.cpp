// Loaded into the program under test with LD_PRELOAD: kills the process
// (SIGKILL, as a crash or kill -9 would) right after its writes into one
// file have reached a number of bytes. The file and the number come from
// QVL_KILL_AT_WRITE="DEVICE:INODE:BYTES" (the device and inode of the file,
// which every name of it shares). Tests use it to stop a write at a point
// they choose rather than after a guessed time.
#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {
unsigned long long g_dev = 0, g_ino = 0;
long long g_after = -1;
std::atomic<long long> g_written{0};

__attribute__((constructor)) void ReadTarget() {
    const char* v = std::getenv("QVL_KILL_AT_WRITE");
    if (!v || std::sscanf(v, "%llu:%llu:%lld", &g_dev, &g_ino, &g_after) != 3) g_after = -1;
}

void Count(int fd, ssize_t n) {
    if (g_after < 0 || n <= 0) return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_dev != g_dev || st.st_ino != g_ino) return;
    if ((g_written += n) >= g_after) ::kill(::getpid(), SIGKILL);
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" {
ssize_t write(int fd, const void* buf, size_t n) {
    static auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
    const ssize_t r = real(fd, buf, n);
    Count(fd, r);
    return r;
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) {
    static auto real = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    const ssize_t r = real(fd, buf, n, at);
    Count(fd, r);
    return r;
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t at) {
    static auto real = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    const ssize_t r = real(fd, buf, n, at);
    Count(fd, r);
    return r;
}
}
