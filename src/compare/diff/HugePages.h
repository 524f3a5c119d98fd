// Memory of the diff engine's large lists. Takes a block or a list about to
// be filled; gives it huge pages where the system hands them out on
// request, before anything is written to it.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <new>

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

// A large block of memory of its own, of zero bytes, that starts on a huge
// page's bound: huge pages then cover the whole of it but its last part
// (a block from the heap mostly starts elsewhere, and only the huge pages
// that fit wholly inside it are given); a block a little short of a whole
// number of huge pages is made that long. Blocks from kHugeBlock bytes on.
constexpr size_t kHugeBlock = size_t{1} << 20;
inline size_t HugeBlockLength(size_t bytes) {
    constexpr size_t kHuge = size_t{1} << 21, kPage = 4096;
    const size_t whole = (bytes + kHuge - 1) & ~(kHuge - 1);
    return whole - bytes <= bytes / 8 ? whole : (bytes + kPage - 1) & ~(kPage - 1);
}
inline void* MapHugeBlock(size_t bytes) {
    constexpr size_t kHuge = size_t{1} << 21;
    const size_t length = HugeBlockLength(bytes);
    void* mapped = ::mmap(nullptr, length + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    // The memory before the bound and after the block is given back.
    const uintptr_t from = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t start = (from + kHuge - 1) & ~(kHuge - 1);
    if (start > from) ::munmap(mapped, start - from);
    if (from + kHuge > start) ::munmap(reinterpret_cast<void*>(start + length), from + kHuge - start);
    AdviseHugePages(reinterpret_cast<void*>(start), length);
    return reinterpret_cast<void*>(start);
}
inline void UnmapHugeBlock(void* block, size_t bytes) {
    if (block) ::munmap(block, HugeBlockLength(bytes));
}

// Makes room in a list for n items, with huge pages asked for when that is
// large, before anything is written to it.
template <class List>
void ReserveHuge(List& list, size_t n) {
    list.reserve(n);
    AdviseHugePages(list.data(), list.capacity() * sizeof(*list.data()));
}

}  // namespace textdiff
