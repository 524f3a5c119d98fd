// Finding the line feeds of bytes read from a file, sixteen bytes at a
// time where the processor can.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <string_view>

namespace textdiff {

// Calls at(p) for the place of every LF in bytes, in order; sixteen bytes
// are looked at together where the processor can.
template <class At>
inline void ForEachLineFeed(std::string_view bytes, At at) {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end - p >= 16; p += 16) {
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf)));
        while (mask) {
            at(p + __builtin_ctz(mask));
            mask &= mask - 1;
        }
    }
#endif
    for (; p < end; ++p)
        if (*p == '\n') at(p);
}

}  // namespace textdiff
