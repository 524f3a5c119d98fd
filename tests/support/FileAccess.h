// Lets a test that runs as root see file permissions as an ordinary user
// does: while the object lives, the calling thread lacks the two
// capabilities that let root read and write any file.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class ScopedFilePermissionsApply {
public:
    ScopedFilePermissionsApply() {
        if (::geteuid() != 0) return;
        if (!Get(m_saved)) return;
        __user_cap_data_struct data[2] = {m_saved[0], m_saved[1]};
        data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_active = Set(data);
    }
    ~ScopedFilePermissionsApply() {
        if (m_active) Set(m_saved);
    }
    ScopedFilePermissionsApply(const ScopedFilePermissionsApply&) = delete;
    ScopedFilePermissionsApply& operator=(const ScopedFilePermissionsApply&) = delete;

    // True when unreadable files are unreadable for this thread now.
    bool ok() const { return ::geteuid() != 0 || m_active; }

private:
    static bool Get(__user_cap_data_struct* data) {
        __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capget, &hdr, data) == 0;
    }
    static bool Set(__user_cap_data_struct* data) {
        __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capset, &hdr, data) == 0;
    }
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};
