// Lines of a file found by walking from the nearest place known (see
// SampledLines.h).
#include "compare/diff/SampledLines.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

namespace textdiff {

void SampledLines::Take(const char* bytes, size_t from, size_t to) {
    const char* p = bytes + from;
    const char* end = bytes + to;
    // The line feeds are counted sixteen bytes at a time; only the one that
    // completes 64 is looked for.
    auto feed = [&](const char* nl) {
        if (++m_nFeeds % kEvery == 0) m_Every.push_back(static_cast<uint32_t>(nl + 1 - bytes));
    };
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n'), one = _mm_set1_epi8(1), zero = _mm_setzero_si128();
    for (; end - p >= 16; p += 16) {
        const __m128i found = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf);
        // (The ones of the line feeds summed by halves.)
        const __m128i sums = _mm_sad_epu8(_mm_and_si128(found, one), zero);
        const size_t count = static_cast<size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
        if (m_nFeeds % kEvery + count < kEvery) {
            m_nFeeds += count;
            continue;
        }
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(found)); mask; mask &= mask - 1)
            feed(p + __builtin_ctz(mask));
    }
#endif
    for (; p < end; ++p)
        if (*p == '\n') feed(p);
}

void SampledLines::End(const char* bytes, size_t size) {
    m_pBytes = bytes;
    m_nSize = size;
    // A last line without a line feed is a line too.
    m_nCount = m_nFeeds + (size > 0 && bytes[size - 1] != '\n' ? 1 : 0);
    for (Cursor& c : m_Cursors) c = Cursor();
}

// The start of the line after the one that starts at from.
size_t SampledLines::NextStart(size_t from) const {
    const void* lf = std::memchr(m_pBytes + from, '\n', m_nSize - from);
    return lf ? static_cast<size_t>(static_cast<const char*>(lf) - m_pBytes) + 1 : m_nSize;
}

// The start of the line before the one that starts at start (above 0).
size_t SampledLines::PreviousStart(size_t start) const {
    // The byte before start is the line feed of the line before.
    const void* lf = start >= 2 ? ::memrchr(m_pBytes, '\n', start - 1) : nullptr;
    return lf ? static_cast<size_t>(static_cast<const char*>(lf) - m_pBytes) + 1 : 0;
}

SampledLines::Cursor& SampledLines::Oldest() const {
    Cursor* oldest = &m_Cursors[0];
    for (Cursor& c : m_Cursors)
        if (c.used < oldest->used) oldest = &c;
    return *oldest;
}

std::pair<size_t, size_t> SampledLines::Span(size_t k) const {
    // The line itself, or the next or the one before a line looked at: the
    // place kept for it moves there.
    for (Cursor& c : m_Cursors) {
        if (c.line == SIZE_MAX) continue;
        if (c.line == k) {
        } else if (c.line + 1 == k) {
            c.from = c.to;
            c.to = NextStart(c.from);
        } else if (c.line == k + 1) {
            c.to = c.from;
            c.from = PreviousStart(c.from);
        } else {
            continue;
        }
        c.line = k;
        c.used = ++m_nClock;
        return {c.from, c.to};
    }
    // Else walked from the nearest of the kept lines and the samples around.
    const size_t sample = k / kEvery;
    size_t line = sample * kEvery, start = m_Every[sample];
    size_t distance = k - line;
    if (sample + 1 < m_Every.size() && (sample + 1) * kEvery - k < distance) {
        line = (sample + 1) * kEvery;
        start = m_Every[sample + 1];
        distance = line - k;
    }
    for (const Cursor& c : m_Cursors) {
        if (c.line == SIZE_MAX) continue;
        const size_t d = c.line < k ? k - c.line : c.line - k;
        if (d < distance) {
            distance = d;
            line = c.line;
            start = c.from;
        }
    }
    for (; line < k; ++line) start = NextStart(start);
    for (; line > k; --line) start = PreviousStart(start);
    Cursor& c = Oldest();
    c.line = k;
    c.from = start;
    c.to = NextStart(start);
    c.used = ++m_nClock;
    return {c.from, c.to};
}

void SampledLines::Seat(size_t k, size_t from, size_t to) const {
    Cursor& c = Oldest();
    c.line = k;
    c.from = from;
    c.to = to;
    c.used = ++m_nClock;
}

size_t SampledLines::FeedsBefore(size_t n) const {
    n = std::min(n, m_nSize);
    // The last sample at or before n: 64 feeds a sample lie before it.
    const size_t sample =
        static_cast<size_t>(std::upper_bound(m_Every.begin(), m_Every.end(), n) - m_Every.begin()) - 1;
    size_t feeds = sample * kEvery;
    for (size_t at = m_Every[sample]; at < n; ++feeds) {
        const void* lf = std::memchr(m_pBytes + at, '\n', n - at);
        if (!lf) break;
        at = static_cast<size_t>(static_cast<const char*>(lf) - m_pBytes) + 1;
    }
    return feeds;
}

size_t SampledLines::FirstLineFrom(size_t x) const {
    if (x == 0) return 0;
    // Line k (from 1) starts just past the k-th line feed: at x or later
    // where that feed lies at x - 1 or later.
    return std::min(FeedsBefore(x - 1) + 1, m_nCount);
}

}  // namespace textdiff
