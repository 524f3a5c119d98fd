#include "platform/WorkAreaLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

CWorkAreaLock::~CWorkAreaLock() { Release(); }

CWorkAreaLock::Result CWorkAreaLock::Take(const std::string& path) {
    Release();
    // Close-on-exec: a program started from the window (an editor, a
    // terminal) must not keep the work area held after the window is gone.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return Result::Failed;
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return taken ? Result::Taken : Result::Failed;
    }
    m_fd = fd;
    return Result::Held;
}

void CWorkAreaLock::Release() {
    if (m_fd < 0) return;
    ::close(m_fd);
    m_fd = -1;
}
