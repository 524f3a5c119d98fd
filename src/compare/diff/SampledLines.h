// The lines of a file held as one block, without the place of every line:
// the start of every 64th line is kept, and a line is found by walking
// from the nearest place known (one of those, or one of the last lines
// looked at). A left file that looks like a near copy of the right one is
// read this way: its runs are then found from its bytes, and the places of
// all its lines (four bytes a line, as much as the text of short lines)
// are taken only where they are needed after all. Looking a line up moves
// the places kept of the last lines looked at: not for two threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace textdiff {

class SampledLines {
public:
    static constexpr size_t kEvery = 64;

    // While the file is read: Begin(), then Take() for each piece in
    // order (bytes[from, to), bytes the start of the file, below 4 GB),
    // then End() with the bytes read.
    void Begin() {
        m_Every.assign(1, 0);
        m_nFeeds = 0;
    }
    void Take(const char* bytes, size_t from, size_t to);
    void End(const char* bytes, size_t size);

    size_t Count() const { return m_nCount; }
    // Line k's first byte and the place just past its line feed (past its
    // last byte where it has none), for k below Count().
    std::pair<size_t, size_t> Span(size_t k) const;
    // Where line k starts; Count() gives the size of the file.
    size_t Start(size_t k) const { return k >= m_nCount ? m_nSize : Span(k).first; }
    // Tells where line k lies, found by a caller walking the bytes, so that
    // the lines next to it are found from there.
    void Seat(size_t k, size_t from, size_t to) const;
    // How many line feeds the first n bytes hold.
    size_t FeedsBefore(size_t n) const;
    // The first line that starts at byte x or later; Count() when none does.
    size_t FirstLineFrom(size_t x) const;

private:
    struct Cursor {
        size_t line = SIZE_MAX, from = 0, to = 0;
        uint64_t used = 0;
    };
    size_t NextStart(size_t from) const;
    size_t PreviousStart(size_t start) const;
    Cursor& Oldest() const;

    const char* m_pBytes = nullptr;
    size_t m_nSize = 0;
    std::vector<uint32_t> m_Every;  // where lines 0, 64, 128, ... start
    size_t m_nFeeds = 0, m_nCount = 0;
    mutable Cursor m_Cursors[3];
    mutable uint64_t m_nClock = 0;
};

}  // namespace textdiff
