// The right file of a comparison read a piece at a time while its lines
// are numbered (CTextDiff::CompareFiles): a window of whole lines that
// moves down the file (LineReader), and lists that grow without being
// copied (GrowingList) for what is kept of the right lines afterwards.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "compare/diff/HugePages.h"

namespace textdiff {

// A list of plain items in memory of its own, which the system grows in
// place or moves without copying a page: growing never holds the list
// twice. Items never written read as zero.
template <class T>
class GrowingList {
public:
    GrowingList() = default;
    GrowingList(const GrowingList&) = delete;
    GrowingList& operator=(const GrowingList&) = delete;
    ~GrowingList() { Clear(); }
    // Lets go of the list and its memory.
    void Clear() {
        if (m_p) ::munmap(m_p, m_nBytes);
        m_p = nullptr;
        m_nSize = m_nCap = m_nBytes = 0;
    }
    void Reserve(size_t n) {
        if (n <= m_nCap) return;
        constexpr size_t kPage = 4096;
        const size_t bytes = (n * sizeof(T) + kPage - 1) & ~(kPage - 1);
        void* p = m_p ? ::mremap(m_p, m_nBytes, bytes, MREMAP_MAYMOVE) : MAP_FAILED;
        if (p == MAP_FAILED) {
            // A list the system would not move is copied into fresh memory.
            p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) throw std::bad_alloc();
            if (m_p) {
                std::copy(m_p, m_p + m_nSize, static_cast<T*>(p));
                ::munmap(m_p, m_nBytes);
            }
        }
        // Huge pages are asked for over the whole mapping: asked for over
        // a part, they would split it, and the system moves only a mapping
        // that is whole.
#if defined(MADV_HUGEPAGE)
        if (bytes >= (size_t{1} << 21)) ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
        m_p = static_cast<T*>(p);
        m_nBytes = bytes;
        m_nCap = bytes / sizeof(T);
    }
    // Grows (or shrinks) to n items.
    void Resize(size_t n) {
        if (n > m_nCap) Reserve(std::max(n, 2 * m_nCap));
        m_nSize = n;
    }
    void PushBack(const T& item) {
        if (m_nSize == m_nCap) Reserve(std::max<size_t>(2 * m_nCap, 1024));
        m_p[m_nSize++] = item;
    }
    void Append(const T* items, size_t n) {
        if (m_nSize + n > m_nCap) Reserve(std::max(m_nSize + n, 2 * m_nCap));
        std::copy(items, items + n, m_p + m_nSize);
        m_nSize += n;
    }
    size_t Size() const { return m_nSize; }
    T* Data() { return m_p; }
    const T* Data() const { return m_p; }
    T& operator[](size_t k) { return m_p[k]; }
    const T& operator[](size_t k) const { return m_p[k]; }

private:
    T* m_p = nullptr;
    size_t m_nSize = 0, m_nCap = 0, m_nBytes = 0;
};

// Reading failed part way: the reason (empty when the system gave none).
// Reads n bytes of fd at offset into to; false when it could not (a
// file that shrank meanwhile included).
bool ReadAt(int fd, char* to, size_t n, size_t offset);
// The bytes ReadAt has read in this process so far, on every thread: what
// a reader that reads a file a piece at a time is held to.
uint64_t BytesReadAt();

struct ReadFailure {
    std::string reason;
};

// Reads an opened file a piece at a time and keeps a window of its whole
// lines, from a line on to some lines after it (lines end as in
// LoadFileLines). A failure to read throws ReadFailure.
class LineReader {
public:
    // Lines after the first one asked for that are always in the window
    // (where the file has them).
    static constexpr uint32_t kAhead = 16;
    // Takes the file (closed with the reader); lines are counted from
    // first, which starts where the file is read from. Nothing past byte
    // end of the file is read (the size it had when looked at: a file
    // written to meanwhile does not keep it reading).
    explicit LineReader(int fd, uint32_t first = 0, size_t end = SIZE_MAX);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Lines k to k + kAhead are in the window where the file has them;
    // lines before k are let go. k is at least the first line of the
    // window, and at most one past its last.
    void Ready(uint32_t k) {
        if (k + kAhead >= m_nFirst + m_nCount && !m_bEnd) Refill(k);
    }
    // Whether line k (of the window or before it) is in the file.
    bool Has(uint32_t k) const { return k < m_nFirst + m_nCount; }
    // One past the last line of the window.
    uint32_t End() const { return m_nFirst + m_nCount; }
    uint32_t First() const { return m_nFirst; }
    std::string_view Line(uint32_t k) const {
        // Without its line feed, and without a CR right before it.
        const char* bytes = m_pBytes.get();
        const uint32_t at = k - m_nFirst;
        uint32_t from = m_Starts[at], to = m_Starts[at + 1];
        if (to > from && bytes[to - 1] == '\n') {
            --to;
            if (to > from && bytes[to - 1] == '\r') --to;
        }
        return std::string_view(bytes + from, to - from);
    }
    const char* Bytes() const { return m_pBytes.get(); }
    // Where each line of the window starts in Bytes(), from the first on,
    // then one place past the last.
    const uint32_t* Starts() const { return m_Starts.data(); }
    // Lines of the window that end in a line feed (all but a last line
    // of the file without one).
    uint32_t LineFeedLines() const { return m_nCount - (m_bLastOpen ? 1 : 0); }

    // Reads on from offset in the file, where line first starts.
    void Restart(size_t offset, uint32_t first);

private:
    void Refill(uint32_t k);
    size_t ReadSome(char* to, size_t n);
    int m_nFd = -1;
    size_t m_nAt = 0, m_nEnd = SIZE_MAX;  // where the file is read from, and where reading stops
    std::unique_ptr<char[]> m_pBytes;
    size_t m_nCapacity = 0;
    size_t m_nSize = 0;  // bytes in the window
    std::vector<uint32_t> m_Starts;
    uint32_t m_nFirst = 0, m_nCount = 0;
    bool m_bEnd = false;       // the file is read to its end
    bool m_bLastOpen = false;  // its last line has no line feed
};

}  // namespace textdiff
