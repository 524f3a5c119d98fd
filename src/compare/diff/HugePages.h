// Memory of the diff engine's large lists. Takes a block or a list about to
// be filled; gives it huge pages where the system hands them out on
// request, before anything is written to it.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace textdiff {

// Asks for the pages of a large block to be huge ones where the system
// gives them on request: a block filled once then costs a fault every
// 2 MB rather than every 4 KB. Only the whole huge pages inside it are
// asked for; nothing else about the block changes.
inline void AdviseHugePages(const void* block, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t{1} << 21;
    if (bytes < kHuge) return;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kHuge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

// Makes room in a list for n items, with huge pages asked for when that is
// large, before anything is written to it.
template <class List>
void ReserveHuge(List& list, size_t n) {
    list.reserve(n);
    AdviseHugePages(list.data(), list.capacity() * sizeof(*list.data()));
}

}  // namespace textdiff
