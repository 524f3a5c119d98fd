// Memory of the diff engine's large lists. Takes a block or a list about to
// be filled; gives it huge pages where the system hands them out on
// request, before anything is written to it.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <memory>
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

// A block of bytes that the engine fills once and reads many times (the
// bytes of a file read whole). A large one starts on a huge page and is
// mapped for itself, huge pages asked for over all of it, so that filling
// it costs a fault every 2 MB; its last part takes a huge page too where
// that costs little beside its size. A small one is an ordinary block.
struct BlockRelease {
    size_t mapped = 0;  // the length mapped, 0 for an ordinary block
    void operator()(char* p) const noexcept {
        if (mapped != 0) ::munmap(p, mapped);
        else delete[] p;
    }
};
using Block = std::unique_ptr<char[], BlockRelease>;

// A block of at least bytes bytes (bad_alloc where none can be had).
inline Block NewBlock(size_t bytes) {
    constexpr size_t kHuge = size_t{1} << 21, kPage = 4096;
#if defined(MADV_HUGEPAGE)
    if (bytes >= kHuge && bytes <= SIZE_MAX / 2) {
        size_t length = (bytes + kPage - 1) & ~(kPage - 1);
        const size_t past = length % kHuge;
        if (past != 0 && kHuge - past <= bytes / 8) length += kHuge - past;
        void* raw = ::mmap(nullptr, length + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) throw std::bad_alloc();
        const uintptr_t from = reinterpret_cast<uintptr_t>(raw);
        const uintptr_t start = (from + kHuge - 1) & ~(kHuge - 1);
        // (What lies before the aligned start and past the length is let go.)
        if (start > from) ::munmap(raw, start - from);
        if (from + kHuge > start) ::munmap(reinterpret_cast<void*>(start + length), from + kHuge - start);
        ::madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
        return Block(reinterpret_cast<char*>(start), BlockRelease{length});
    }
#endif
    return Block(new char[bytes > 0 ? bytes : 1], BlockRelease{});
}

// Makes room in a list for n items, with huge pages asked for when that is
// large, before anything is written to it.
template <class List>
void ReserveHuge(List& list, size_t n) {
    list.reserve(n);
    AdviseHugePages(list.data(), list.capacity() * sizeof(*list.data()));
}

}  // namespace textdiff
