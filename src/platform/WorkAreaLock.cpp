#include "platform/WorkAreaLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

CWorkAreaLock::~CWorkAreaLock() { Release(); }

// Close-on-exec everywhere: a program started from the window (an editor, a
// terminal) must not keep the work area held after the window is gone.
CWorkAreaLock::Result CWorkAreaLock::TakeFolder(const std::string& folder) {
    Release();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_error = errno;
        return Result::Failed;
    }
    return Lock(fd);
}

CWorkAreaLock::Result CWorkAreaLock::TakeFile(const std::string& path) {
    Release();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        m_error = errno;
        return Result::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = EINVAL;
        ::close(fd);
        return Result::Failed;
    }
    return Lock(fd);
}

CWorkAreaLock::Result CWorkAreaLock::Lock(int fd) {
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        m_error = errno;
        ::close(fd);
        return m_error == EWOULDBLOCK ? Result::Taken : Result::Failed;
    }
    m_fd = fd;
    m_error = 0;
    return Result::Held;
}

void CWorkAreaLock::Release() {
    if (m_fd < 0) return;
    ::close(m_fd);
    m_fd = -1;
}
