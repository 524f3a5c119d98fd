// The table of line texts. Takes the texts of all lines (left then right);
// gives each distinct text a number, so that lines compare as integers.
// Texts are hashed eight bytes at a time, as they stand (ExactTexts) or
// with ASCII capitals taken as small letters (FoldedTexts).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <functional>
#include <string_view>
#include <vector>

#include "compare/diff/HugePages.h"

namespace textdiff {

// Line texts compared as they are. The hash takes eight bytes at a time, the last word read where the text ends (it may
// overlap the word before; the length is part of the hash), shorter texts
// in one word, and mixed at the end so that every bit of the text reaches
// both halves of the hash (the table takes its slot from the lower half and
// its check from the upper one).
struct ExactTexts {
    static uint64_t Word(const char* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    static uint64_t Half(const char* p) {
        uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    }
    static uint64_t Mix(uint64_t h, uint64_t w) {
        h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
        return h ^ (h >> 29);
    }
    static uint64_t Hash(std::string_view text) {
        const char* p = text.data();
        const size_t n = text.size();
        uint64_t h = 0x2545F4914F6CDD1DULL ^ (n * 0xC2B2AE3D27D4EB4FULL);
        if (n >= 8) {
            for (size_t k = 0; k + 8 < n; k += 8) h = Mix(h, Word(p + k));
            h = Mix(h, Word(p + n - 8));
        } else if (n >= 4) {
            h = Mix(h, (Half(p) << 32) | Half(p + n - 4));
        } else if (n > 0) {
            const auto byte = [p](size_t k) { return static_cast<uint64_t>(static_cast<unsigned char>(p[k])); };
            h = Mix(h, byte(0) | (byte(n / 2) << 8) | (byte(n - 1) << 16));
        }
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDULL;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ULL;
        return h ^ (h >> 33);
    }
    static bool Equal(std::string_view a, std::string_view b) { return a == b; }
};

// Line texts compared with ASCII capitals taken as small letters, eight
// bytes at a time, without a lower-cased copy of any line.
struct FoldedTexts {
    static uint64_t Word(const char* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    // Bytes p[0] to p[n - 1] (n below 8) in the low bytes of a word.
    static uint64_t Tail(const char* p, size_t n) {
        uint64_t w = 0;
        for (size_t k = n; k-- > 0;) w = (w << 8) | static_cast<unsigned char>(p[k]);
        return w;
    }
    // Each byte 'A' to 'Z' of w gets its 0x20 bit.
    static uint64_t Fold(uint64_t w) {
        constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
        const uint64_t low7 = w & ~kHigh;
        const uint64_t fromA = low7 + (0x80 - 'A') * kOnes;      // high bit: byte >= 'A'
        const uint64_t pastZ = low7 + (0x80 - 'Z' - 1) * kOnes;  // high bit: byte > 'Z'
        const uint64_t capitals = fromA & ~pastZ & ~w & kHigh;
        return w | (capitals >> 2);
    }
    static uint64_t Mix(uint64_t h, uint64_t w) {
        h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
        return h ^ (h >> 29);
    }
    // Equal texts have equal lengths, so each length may have its own hash:
    // a short line is folded into a buffer and hashed as a plain line is,
    // a longer one word by word. From 8 bytes on, the last word is read
    // where it ends with the text (overlapping the word before).
    static constexpr size_t kShort = 256;
    static uint64_t Hash(std::string_view text) {
        const char* p = text.data();
        const size_t n = text.size();
        if (n < 8) {
            char folded[8];
            const uint64_t w = Fold(Tail(p, n));
            for (size_t k = 0; k < n; ++k) folded[k] = static_cast<char>(w >> (8 * k));
            return std::hash<std::string_view>{}(std::string_view(folded, n));
        }
        if (n <= kShort) {
            char folded[kShort];
            for (size_t k = 0; k + 8 <= n; k += 8) {
                const uint64_t w = Fold(Word(p + k));
                std::memcpy(folded + k, &w, 8);
            }
            const uint64_t last = Fold(Word(p + n - 8));
            std::memcpy(folded + n - 8, &last, 8);
            return std::hash<std::string_view>{}(std::string_view(folded, n));
        }
        uint64_t h = 0x2545F4914F6CDD1DULL ^ n;
        for (size_t k = 0; k + 8 <= n; k += 8) h = Mix(h, Fold(Word(p + k)));
        h = Mix(h, Fold(Word(p + n - 8)));
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDULL;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ULL;
        return h ^ (h >> 33);
    }
    static bool Equal(std::string_view a, std::string_view b) {
        const size_t n = a.size();
        if (n != b.size()) return false;
        if (std::memcmp(a.data(), b.data(), n) == 0) return true;
        const char *p = a.data(), *q = b.data();
        if (n < 8) return Fold(Tail(p, n)) == Fold(Tail(q, n));
        for (size_t k = 0; k + 8 <= n; k += 8)
            if (Fold(Word(p + k)) != Fold(Word(q + k))) return false;
        return Fold(Word(p + n - 8)) == Fold(Word(q + n - 8));
    }
};

// Open-addressing table from a text to its number, sized once for all
// lines: each slot holds the upper half of the text's hash and a line of
// that text, whose number the caller's lists of numbers give (each line's
// number is stored there before the next line is looked up). Texts gives
// the hash and equality of the texts.
template <class TextOf, class Texts = ExactTexts>
class LineTable {
public:
    // text(k) gives line k of all lines (left then right); lines is a guess
    // of how many distinct texts there will be; the numbers of the lines go
    // to leftIds (the first nLeft lines) and rightIds (which may grow).
    LineTable(size_t lines, TextOf text, const int* leftIds, const std::vector<int>* rightIds, uint32_t nLeft)
        : m_Text(std::move(text)), m_pLeftIds(leftIds), m_pRightIds(rightIds), m_nLeft(nLeft) {
        size_t cap = 1024;
        while (cap < lines + lines / 2) cap <<= 1;
        m_Slots.Allocate(cap);
        m_nSlots = cap;
        m_nShift = 32 - __builtin_ctzll(cap);
    }
    static uint64_t Hash(std::string_view text) { return Texts::Hash(text); }
    void Prefetch(uint64_t h) const { __builtin_prefetch(&m_Slots[SlotOf(static_cast<uint32_t>(h >> 32))]); }
    // The number of the text of line k, whose hash is h.
    int Intern(uint32_t k, std::string_view text, uint64_t h) {
        uint32_t line;
        return Intern(k, text, h, line);
    }
    // The same; line is the line the table keeps for the text (k for a
    // text not met before).
    int Intern(uint32_t k, std::string_view text, uint64_t h, uint32_t& line) {
        const uint32_t tag = static_cast<uint32_t>(h >> 32);
        const size_t mask = m_nSlots - 1;
        for (size_t s = SlotOf(tag);; s = (s + 1) & mask) {
            Slot& slot = m_Slots[s];
            if (slot.line == 0) {
                slot = Slot{tag, k + 1};
                line = k;
                const int id = static_cast<int>(m_nCount++);
                if (m_nCount * 4 > m_nSlots * 3) Grow();
                return id;
            }
            if (slot.tag == tag && Texts::Equal(m_Text(slot.line - 1), text)) {
                line = slot.line - 1;
                return IdOf(line);
            }
        }
    }
    size_t Count() const { return m_nCount; }
    // Calls line(k) for the line the table keeps for each text.
    template <class Line>
    void ForEachText(Line line) const {
        for (size_t s = 0; s < m_nSlots; ++s)
            if (m_Slots[s].line) line(m_Slots[s].line - 1);
    }

private:
    // A slot holds the upper half of the text's hash (its tag), whose top
    // bits are also where the text's slot is: the table grows without
    // hashing any text again.
    struct Slot {
        uint32_t tag;
        uint32_t line;  // a line of the text (left then right) + 1; 0 empty
    };
    int IdOf(uint32_t k) const { return k < m_nLeft ? m_pLeftIds[k] : (*m_pRightIds)[k - m_nLeft]; }
    size_t SlotOf(uint32_t tag) const { return tag >> m_nShift; }
    // Slots in zeroed memory (empty), which costs pages only as it is
    // first written to.
    class Slots {
    public:
        void Allocate(size_t n) {
            m_p.reset(static_cast<Slot*>(std::calloc(n, sizeof(Slot))));
            if (!m_p) throw std::bad_alloc();
            AdviseHugePages(m_p.get(), n * sizeof(Slot));
        }
        Slot& operator[](size_t k) { return m_p.get()[k]; }
        const Slot& operator[](size_t k) const { return m_p.get()[k]; }
        void swap(Slots& other) { m_p.swap(other.m_p); }

    private:
        struct Free {
            void operator()(Slot* p) const { std::free(p); }
        };
        std::unique_ptr<Slot, Free> m_p;
    };
    void Grow() {
        Slots old;
        old.Allocate(m_nSlots * 2);
        old.swap(m_Slots);
        const size_t oldCount = m_nSlots;
        m_nSlots *= 2;
        --m_nShift;
        const size_t mask = m_nSlots - 1;
        for (size_t k = 0; k < oldCount; ++k) {
            const Slot& o = old[k];
            if (o.line == 0) continue;
            size_t s = SlotOf(o.tag);
            while (m_Slots[s].line != 0) s = (s + 1) & mask;
            m_Slots[s] = o;
        }
    }
    TextOf m_Text;
    Slots m_Slots;
    size_t m_nSlots = 0;
    int m_nShift = 22;  // 32 less the bits of a slot's place
    const int* m_pLeftIds;
    const std::vector<int>* m_pRightIds;
    uint32_t m_nLeft;
    size_t m_nCount = 0;  // texts numbered
};

// How many distinct texts the table should first make room for: one per
// line of the longer input, unless the first lines of the left input
// repeat a lot; then a few times the texts seen there, and the table grows
// should more come. room, where given, gets the texts the table is first
// made for: where the first lines repeat now and then (as source text
// does: blank lines, braces, the ends of comments), two for every three
// lines of the longer input (source text has about half as many texts as
// lines), so that the table starts at half the size: less fresh memory to
// clear and less for the caches to hold. It grows should the texts be
// more after all.
template <class Texts, class TextOf>
size_t ExpectedTexts(size_t nL, size_t nR, const TextOf& text, size_t* room = nullptr) {
    const size_t lines = std::max(nL, nR);
    constexpr size_t kSample = 4096;
    if (room) *room = lines;
    if (nL < 4 * kSample) return lines;
    std::vector<uint64_t> hashes(kSample);
    for (size_t k = 0; k < kSample; ++k) hashes[k] = Texts::Hash(text(static_cast<uint32_t>(k)));
    std::sort(hashes.begin(), hashes.end());
    const size_t distinct = static_cast<size_t>(std::unique(hashes.begin(), hashes.end()) - hashes.begin());
    if (distinct > kSample / 4) {
        // (nR may be a guess an eighth above the lines a right file's size
        // suggests.)
        if (room && distinct < kSample * 7 / 8) *room = std::max(nL, nR / 9 * 8) / 3 * 2;
        return lines;
    }
    const size_t few = std::min(lines, 16 * distinct);
    if (room) *room = few;
    return few;
}

}  // namespace textdiff
