// The hold a window of the program keeps on its work area, so that a second
// window on the same work area does not overwrite the first one's data when
// it closes. The hold is a lock on the work area's folder itself (or, where
// the file system cannot lock a folder, on a lock file in it): the system
// releases it when the holder ends, however it ends.
#pragma once

#include <string>

class CWorkAreaLock {
public:
    enum class Result {
        Held,    // this process holds the work area now
        Taken,   // another process holds it
        Failed,  // the folder or the lock file could not be opened or locked
    };
    CWorkAreaLock() = default;
    ~CWorkAreaLock();
    CWorkAreaLock(const CWorkAreaLock&) = delete;
    CWorkAreaLock& operator=(const CWorkAreaLock&) = delete;

    // Takes the lock on the folder (links to it followed). A folder can be
    // opened for reading whatever its mode for writing, and nothing that
    // stands inside it is in the way. Never waits for another holder.
    Result TakeFolder(const std::string& folder);
    // Takes the lock on a lock file (created with mode 0600 when missing);
    // anything but a regular file at the path is a failure. Never waits.
    Result TakeFile(const std::string& path);
    void Release();
    bool Held() const { return m_fd >= 0; }
    // The system's error number of the last failure (0 after a success).
    int Error() const { return m_error; }

private:
    Result Lock(int fd);
    int m_fd = -1;
    int m_error = 0;
};
