// The hold a window of the program keeps on its work area, so that a second
// window on the same work area does not overwrite the first one's data when
// it closes. The hold is a lock on a file in the work area: the system
// releases it when the holder ends, however it ends.
#pragma once

#include <string>

class CWorkAreaLock {
public:
    enum class Result {
        Held,    // this process holds the work area now
        Taken,   // another process holds it
        Failed,  // the lock file could not be opened or locked
    };
    CWorkAreaLock() = default;
    ~CWorkAreaLock();
    CWorkAreaLock(const CWorkAreaLock&) = delete;
    CWorkAreaLock& operator=(const CWorkAreaLock&) = delete;

    // Takes the lock on the file (created with mode 0600 when missing);
    // never waits for another holder.
    Result Take(const std::string& path);
    void Release();
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
