#include "remote/Socket.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

NetTimeouts& NetTimeoutValues() {
    static NetTimeouts values;
    return values;
}

NetLimits& NetLimitValues() {
    static NetLimits values;
    return values;
}

int PortFromEnvironment(const char* variable, int defaultPort) {
    const char* v = std::getenv(variable);
    if (!v || !*v) return defaultPort;
    char* end = nullptr;
    long n = std::strtol(v, &end, 10);
    if (*end != '\0' || n <= 0 || n > 65535) return defaultPort;
    return static_cast<int>(n);
}

// Connects fd to addr within timeoutMs, waiting in short slices so that
// stop() (when given) ends the wait as soon as it says so; true on success.
static bool ConnectWithTimeout(int fd, const sockaddr* addr, socklen_t len, int timeoutMs,
                               const std::function<bool()>& stop) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, addr, len);
    if (rc != 0) {
        if (errno != EINPROGRESS) return false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        pollfd p{fd, POLLOUT, 0};
        for (;;) {
            if (stop && stop()) return false;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) return false;
            rc = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
            if (rc > 0) break;
            if (rc < 0 && errno != EINTR) return false;
        }
        int err = 0;
        socklen_t elen = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &elen) != 0 || err != 0) return false;
    }
    ::fcntl(fd, F_SETFL, flags);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

int ConnectTcp(const std::string& host, int port, int timeoutMs, std::string& error,
               const std::function<bool()>& stop) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    std::string service = std::to_string(port);
    if (host.empty() || ::getaddrinfo(host.c_str(), service.c_str(), &hints, &res) != 0 || !res) {
        error = "Unable to resolve host name";
        return -1;
    }
    bool created = false;
    int fd = -1;
    for (addrinfo* ai = res; ai; ai = ai->ai_next) {
        fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) continue;
        created = true;
        if (ConnectWithTimeout(fd, ai->ai_addr, ai->ai_addrlen, timeoutMs, stop)) break;
        ::close(fd);
        fd = -1;
        if (stop && stop()) break;
    }
    ::freeaddrinfo(res);
    if (fd < 0) error = created ? "Unable to connect to server" : "Unable to create socket";
    return fd;
}

int ConnectToPeerOf(int controlSocket, int port, int timeoutMs, std::string& error,
                    const std::function<bool()>& stop) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(controlSocket, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
        error = "Unable to connect to server";
        return -1;
    }
    if (peer.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in*>(&peer)->sin_port = htons(static_cast<uint16_t>(port));
    else if (peer.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port = htons(static_cast<uint16_t>(port));
    int fd = ::socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = "Unable to create socket";
        return -1;
    }
    if (!ConnectWithTimeout(fd, reinterpret_cast<sockaddr*>(&peer), len, timeoutMs, stop)) {
        ::close(fd);
        error = "Unable to connect to server";
        return -1;
    }
    return fd;
}

void SetSocketTimeouts(int fd, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool SendAll(int fd, const char* data, size_t size) {
    if (fd < 0) return false;
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

SendEnd SendAllUnlessStopped(int fd, const char* data, size_t size, int idleMs,
                             const std::function<bool()>& stop) {
    if (fd < 0) return SendEnd::Failed;
    auto lastProgress = std::chrono::steady_clock::now();
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            lastProgress = std::chrono::steady_clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return SendEnd::Failed;
        // The peer takes nothing now: wait a slice for room, unless told to stop.
        if (stop && stop()) return SendEnd::Stopped;
        if (std::chrono::steady_clock::now() - lastProgress >= std::chrono::milliseconds(idleMs))
            return SendEnd::Failed;
        pollfd p{fd, POLLOUT, 0};
        const int rc = ::poll(&p, 1, 100);
        if (rc < 0 && errno != EINTR) return SendEnd::Failed;
    }
    return SendEnd::Sent;
}

void CloseSocket(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool HasLineBreakOrNul(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}
