// A list of file paths packed in the shell's file-drop block layout:
// a 20-byte header (offset 20 of the first name, then 16 zero bytes), each
// path followed by a zero byte, zeros to the end; the size is a multiple of
// 32 with at least 22 bytes beyond the names.
#pragma once

#include <string>
#include <vector>

class CDropFileList {
public:
    void Add(const std::string& path) {
        m_paths.push_back(path);
        m_buffer.clear();
    }
    const std::vector<std::string>& Paths() const { return m_paths; }
    void BuildBuffer();
    const std::string& GetBuffer() const { return m_buffer; }
    std::size_t GetBufferSize() const { return m_buffer.size(); }
    // The paths as a text/uri-list, one "file://" URI per line.
    std::string ToUriList() const;

private:
    std::vector<std::string> m_paths;
    std::string m_buffer;
};
