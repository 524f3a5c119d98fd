// Finding the line feeds of bytes read from a file, and where two stretches
// of bytes differ, sixteen bytes at a time where the processor can.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace textdiff {

// Calls at(p) for the place of every LF in bytes, in order; sixty-four
// bytes are looked at together where the processor can (so that the walk
// over their line feeds is the only branch that depends on the text).
template <class At>
inline void ForEachLineFeed(std::string_view bytes, At at) {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    auto mask16 = [&](const char* q) {
        return static_cast<uint64_t>(static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), lf))));
    };
    for (; end - p >= 64; p += 64) {
        for (uint64_t mask = mask16(p) | mask16(p + 16) << 16 | mask16(p + 32) << 32 | mask16(p + 48) << 48; mask;
             mask &= mask - 1)
            at(p + __builtin_ctzll(mask));
    }
    for (; end - p >= 16; p += 16) {
        for (uint64_t mask = mask16(p); mask; mask &= mask - 1) at(p + __builtin_ctzll(mask));
    }
#endif
    for (; p < end; ++p)
        if (*p == '\n') at(p);
}

// How many LFs bytes has.
inline size_t CountLineFeeds(std::string_view bytes) {
    size_t count = 0;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
#if defined(__SSE2__)
    // Per byte lane, the line feeds of up to 255 blocks of sixteen bytes;
    // then their sum.
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        __m128i lanes = zero;
        for (int block = 0; block < 255 && end - p >= 16; ++block, p += 16)
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf));
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; p < end; ++p) count += *p == '\n';
    return count;
}

// Writes, for each LF of bytes in order, where the line after it starts
// (its place + 1 + offset) to out; gives how many. Sixty-four bytes are
// looked at together, so that the walk over a block's line feeds is the
// only branch that depends on the text.
inline size_t PlaceLineStarts(std::string_view bytes, size_t offset, uint32_t* out) {
    const char* p = bytes.data();
    const size_t n = bytes.size();
    uint32_t* next = out;
    size_t k = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    auto mask16 = [&](size_t at) {
        return static_cast<uint64_t>(static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)), lf))));
    };
    for (; k + 64 <= n; k += 64) {
        uint64_t mask = mask16(k) | mask16(k + 16) << 16 | mask16(k + 32) << 32 | mask16(k + 48) << 48;
        const uint32_t at = static_cast<uint32_t>(offset + k + 1);
        for (; mask; mask &= mask - 1) *next++ = at + static_cast<uint32_t>(__builtin_ctzll(mask));
    }
#endif
    for (; k < n; ++k)
        if (p[k] == '\n') *next++ = static_cast<uint32_t>(offset + k + 1);
    return static_cast<size_t>(next - out);
}

// How many bytes from a and b on are the same, at most n.
inline size_t SameBytes(const char* a, const char* b, size_t n) {
    size_t k = 0;
#if defined(__SSE2__)
    for (; k + 64 <= n; k += 64) {
        auto eq = [&](size_t at) {
            return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at)));
        };
        const __m128i all = _mm_and_si128(_mm_and_si128(eq(k), eq(k + 16)), _mm_and_si128(eq(k + 32), eq(k + 48)));
        if (_mm_movemask_epi8(all) != 0xFFFF) break;
    }
#endif
    for (; k + 8 <= n; k += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + k, 8);
        std::memcpy(&y, b + k, 8);
        if (x != y) return k + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
    }
    for (; k < n; ++k)
        if (a[k] != b[k]) return k;
    return n;
}

// How many bytes at the end of a and of b (n bytes each) are the same.
inline size_t SameLastBytes(const char* a, const char* b, size_t n) {
    size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + n - k - 8, 8);
        std::memcpy(&y, b + n - k - 8, 8);
        if (x != y) return k + static_cast<size_t>(__builtin_clzll(x ^ y) / 8);
    }
    for (; k < n; ++k)
        if (a[n - 1 - k] != b[n - 1 - k]) return k;
    return n;
}

}  // namespace textdiff
