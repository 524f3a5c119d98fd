#include "app/DropFileList.h"

#include <cctype>
#include <cstdio>

void CDropFileList::BuildBuffer() {
    std::size_t size = 0;
    for (const auto& p : m_paths) size += p.size() + 1;
    size = ((size + 22) / 32 + 1) * 32;
    m_buffer.assign(size, '\0');
    m_buffer[0] = 20;
    std::size_t at = 20;
    for (const auto& p : m_paths) {
        m_buffer.replace(at, p.size(), p);
        at += p.size() + 1;
    }
}

std::string CDropFileList::ToUriList() const {
    std::string out;
    for (const auto& p : m_paths) {
        out += "file://";
        for (unsigned char c : p) {
            if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
                out.push_back(char(c));
            } else {
                char buf[4];
                std::snprintf(buf, sizeof buf, "%%%02X", c);
                out += buf;
            }
        }
        out += "\r\n";
    }
    return out;
}
