// Near copies with the edits people make that the short way of
// NearCopy.cpp leaves to the full procedure: no right line between head and
// tail (a deletion), more right lines between them than it takes (a block
// changed), and lines between them that are also between head and tail on
// the left (a few edits close together). Gives the procedure's runs
// without numbering every line, or nothing (the full procedure then runs).
//
// Why the runs are those of the procedure. As in NearCopy.cpp: head H
// lines, tail T lines (right line H + M + k is left line nL - T + k), the M
// right lines between them the middle, the ML left lines between them the
// left middle, nR = H + M + T; the box is the middle against the left
// middle. Every text of the middle, of the last head lines and of the first
// tail lines gets a number, and every left line the number of its text (0
// for a text not among them): two lines whose numbers differ are different,
// two of the same number other than 0 are equal, and only two of number 0
// are compared as bytes. The scan of a right line i of a numbered text
// (a middle line, or the first tail line) over left lines F to L for at
// most R lines is made exactly as the procedure makes it, from the left
// lines of its text: every place before the first of them has no run, that
// one gives b >= 1, and after it only a place whose next line is right line
// i + 1's text can give more than 1, so only the places of the pair of texts
// are looked at, each only where the scan's steps of b + 1 land on it (a
// place the steps land on before it has no longer run, and the scan ends at
// the first place where min(L - j + 1, R) <= b, a number that only falls);
// where the steps left are fewer than the places, the places the steps land
// on are told by their numbers instead.
// J, the longest run that holds head line H - 1 and right line H, is
// measured along the diagonals of the places of that pair of texts.
//
// A run from head line i is within the head (at most H - i lines) or holds
// lines H - 1 and H (at most J).
//  - H >= T (H > 0): asked J <= H. Then right line 0's scan meets left line
//    0 first, finds exactly H there (one more line would be a run through
//    H - 1 and H longer than H) and nothing longer later: its run is
//    (0, H), and no head line's run is longer than H. The first pass
//    takes line 0 with H, having visited the lines below M + T (those of
//    the middle among them scanned here over all left lines; asked: none
//    longer than H). Then the part after it,
//    right and left lines from H on: where T = 0 it is the box itself, with
//    the runs the middle lines have so far. Otherwise each middle line's
//    run is kept (no run, or one that starts at left line H or later) or
//    scanned again over left lines H on (asked: each shorter than T), and
//    the first tail line, scanned from left line H, must find T at the left
//    tail's first line (it is scanned for the first time: the first pass
//    stopped before M + T <= H + M). It is the run; the next right line has
//    only T - 1 lines left. Its part before is the box, with the middle
//    lines' runs as they now are; nothing is after it.
//  - T > H: asked J < T. The first pass visits every right line up to the
//    first tail line: head lines have runs of at most max(H - i, J) < T,
//    middle lines are scanned over all left lines (asked: shorter than T),
//    and the first tail line, scanned from left line 0, must find T at the
//    left tail's first line. It is the run; the part after it is empty;
//    the part before it is the right lines below H + M against the left
//    lines below H + ML. Where H = 0 that is the box. Otherwise let A be
//    how many right lines from H on equal the left lines from H on within
//    the part (a line deleted or inserted beside a line of its text leaves
//    such lines), and J' the longest run through lines H - 1 and H within
//    the part (cut where it leaves it); asked: J' <= H + A. Right line 0's
//    run at left line 0 is H + A there; a longer one would be a run through
//    H - 1 and H within the part, and the run it kept from the first pass,
//    where it lies within the part, is at most that and, found first at
//    left line 0 or else longer than H + A, at least that: right line 0
//    has (0, H + A). The lines below M - A are visited: head lines have
//    runs of at most max(H - i, J') <= H + A, which do not win a tie, and a
//    middle line keeps its run where it lies within the part and is not
//    longer than the lines left, else is scanned again over left lines 0
//    to H + ML - 1 (asked: at most H + A). Line 0 wins with (0, H + A),
//    nothing is before it, and what is after it is the box from right and
//    left line H + A on, with the middle lines' runs as they now are.
// The box is then matched by the procedure itself, line by line, from the
// runs its right lines have: only numbered texts meet there.
// The tail may as well be taken from its line k on, its first k lines
// counted as middle lines (T - k, M + k and ML + k lines): all of the above
// holds for each k on its own, asked anew. Where the scan of the tail's
// first line steps over the left tail's first line (as a scan among many
// places of its text does, or one that first meets another copy of a block
// the file holds twice), k = 1, 2, ... up to 62 are tried in turn (the rest
// asked only where that line's scan lands), the scans over all left lines
// from 0 or from H kept between them; where all of them are stepped over,
// up to 1,022, then up to some 61,000 (the scans of a long tail that first
// meet another copy land only here and there). A run from a head or tail line
// at another left line is a run of the left file against itself: told by
// the numbers of the lines' texts where both have one, else measured on its
// bytes, and what is found along one diagonal is kept, so that the lines of
// a long run through another copy are walked once. Files of few texts (a
// blank line in every five, or every other line, the rest drawn from 50
// texts) take this way too: the places of a pair of texts found in more
// than one line in 32 are not kept, and a scan finds them by its steps
// over the numbers. Where a condition fails, or the looking takes long
// (more than a step a left line, or lines of very few texts: fewer than 8
// make most of the first 64K lines), the inputs are matched the full way.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "compare/TextDiff.h"
#include "compare/diff/InParts.h"
#include "compare/diff/LineFeeds.h"
#include "compare/diff/LineTable.h"

namespace {
// Head lines before the middle and tail lines after it whose texts are
// numbered too, so that runs leaving the middle are mostly told by numbers;
// the tail is taken from one of its first kTailBand - 1 lines, else (where
// the scans of all of them step over the left tail's) from one of 16 times
// as many, then of as many as the numbers of texts leave room for (16
// bits), the left file numbered again each time.
constexpr uint32_t kBand = 8;
constexpr uint32_t kTailBand = 64;
constexpr uint32_t kNone = UINT32_MAX;

// The left lines are numbered on as many threads at once as the processor
// runs (kParts at least, kMostParts at most) from kPartsFrom lines on, in
// kPieces pieces a thread; piece k of pieces of nL lines starts at this
// line (a multiple of 64: a place a file read without every line's keeps).
// The places of a pair are let go past one line in 32, or past kDenseFrom
// in a quarter of the lines (in all where they are one piece) where that is
// more.
constexpr uint32_t kParts = 4;
constexpr uint32_t kMostParts = 8;
constexpr uint32_t kPieces = 4;
constexpr size_t kDenseFrom = 4096;
constexpr uint32_t kFewTexts = 8;
constexpr size_t kSquareTexts = 256;
constexpr uint32_t kSampleLines = 4096;
constexpr uint32_t kPartsFrom = uint32_t{1} << 18;
uint32_t PartStart(uint32_t nL, uint32_t k, uint32_t parts) {
    return k >= parts ? nL : static_cast<uint32_t>(uint64_t{nL} * k / parts) & ~63u;
}

// A table of few keys (below kNone) to values, open addressing.
class KeyTable {
public:
    explicit KeyTable(size_t keys) {
        size_t n = 16;
        while (n < 2 * keys + 2) n *= 2;
        m_Keys.assign(n, kNone);
        m_Values.assign(n, 0);
    }
    // The value of key, kNone where it has none.
    uint32_t Find(uint32_t key) const {
        for (size_t s = Slot(key);; s = (s + 1) & (m_Keys.size() - 1)) {
            if (m_Keys[s] == key) return m_Values[s];
            if (m_Keys[s] == kNone) return kNone;
        }
    }
    // The value of key, given value where it had none.
    uint32_t Add(uint32_t key, uint32_t value) {
        for (size_t s = Slot(key);; s = (s + 1) & (m_Keys.size() - 1)) {
            if (m_Keys[s] == key) return m_Values[s];
            if (m_Keys[s] == kNone) {
                m_Keys[s] = key;
                m_Values[s] = value;
                return value;
            }
        }
    }

private:
    size_t Slot(uint32_t key) const {
        return static_cast<size_t>((uint64_t{key} * 0x9E3779B97F4A7C15ULL) >> 32) & (m_Keys.size() - 1);
    }
    std::vector<uint32_t> m_Keys, m_Values;
};

// The numbered texts: each distinct text a number from 1 on.
class TextNumbers {
public:
    // (Room for texts texts at first; it grows as more are added.)
    explicit TextNumbers(size_t texts) {
        m_Filter.assign(kFilter / 64, 0);
        Grow(texts);
    }
    uint32_t Add(std::string_view text) {
        const uint64_t h = textdiff::ExactTexts::Hash(text);
        for (size_t s = h & (m_Slots.size() - 1);; s = (s + 1) & (m_Slots.size() - 1)) {
            Slot& slot = m_Slots[s];
            if (slot.number == 0) {
                slot = {h, static_cast<uint32_t>(++m_nCount), text};
                const uint32_t key = Key(text);
                m_Filter[key / 64] |= uint64_t{1} << (key % 64);
                const size_t bit = HashBit(h);
                m_HashBits[bit / 64] |= uint64_t{1} << (bit % 64);
                const uint32_t number = slot.number;
                if (2 * m_nCount + 2 > m_Slots.size()) Grow(m_nCount);
                return number;
            }
            if (slot.hash == h && slot.text == text) return slot.number;
        }
    }
    // The number of text, 0 where it has none.
    uint32_t Find(std::string_view text) const {
        const uint32_t key = Key(text);
        if (!((m_Filter[key / 64] >> (key % 64)) & 1)) return 0;
        const uint64_t h = textdiff::ExactTexts::Hash(text);
        const size_t bit = HashBit(h);
        if (!((m_HashBits[bit / 64] >> (bit % 64)) & 1)) return 0;
        for (size_t s = h & (m_Slots.size() - 1);; s = (s + 1) & (m_Slots.size() - 1)) {
            const Slot& slot = m_Slots[s];
            if (slot.number == 0) return 0;
            if (slot.hash == h && slot.text == text) return slot.number;
        }
    }
    size_t Count() const { return m_nCount; }

private:
    // Texts are first told apart by their length and first and last bytes,
    // mixed into one of kFilter bits.
    static constexpr uint32_t kFilter = uint32_t{1} << 16;
    static uint32_t Key(std::string_view text) {
        const uint32_t n = static_cast<uint32_t>(text.size());
        const uint32_t first = n ? static_cast<unsigned char>(text[0]) : 256;
        const uint32_t last = n ? static_cast<unsigned char>(text[n - 1]) : 256;
        uint32_t h = (n * 0x9E3779B1u) ^ (first * 0x85EBCA6Bu) ^ (last * 0xC2B2AE35u);
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        return h >> 16;
    }
    // Then by bits of their hashes (four to eight bits a slot, so that a
    // text not among many is mostly told without a look at the slots).
    size_t HashBit(uint64_t h) const { return (h >> 32) & (m_HashBits.size() * 64 - 1); }
    // Room for twice as many texts as texts, at least (the slots and bits
    // laid out again).
    void Grow(size_t texts) {
        size_t n = 16;
        while (n < 2 * texts + 2) n *= 2;
        n *= 2;
        std::vector<Slot> slots(n, Slot{});
        for (const Slot& slot : m_Slots) {
            if (slot.number == 0) continue;
            size_t s = slot.hash & (n - 1);
            while (slots[s].number != 0) s = (s + 1) & (n - 1);
            slots[s] = slot;
        }
        m_Slots.swap(slots);
        m_HashBits.assign(std::max<size_t>(n * 8, kFilter) / 64, 0);
        for (const Slot& slot : m_Slots) {
            if (slot.number == 0) continue;
            const size_t bit = HashBit(slot.hash);
            m_HashBits[bit / 64] |= uint64_t{1} << (bit % 64);
        }
    }
    struct Slot {
        uint64_t hash = 0;
        uint32_t number = 0;
        std::string_view text;
    };
    std::vector<Slot> m_Slots;
    std::vector<uint64_t> m_Filter, m_HashBits;
    size_t m_nCount = 0;
};

// The numbers of texts met lately, asked before the numbered texts: in
// files of few texts a line is mostly one met before, told by its length
// and first and last eight bytes (all of its bytes where it has no more
// than sixteen), then its other bytes, without hashing it.
class RecentTexts {
public:
    uint32_t Find(std::string_view text, const TextNumbers& numbers) {
        const size_t n = text.size();
        const char* const p = text.data();
        uint64_t word = 0, last = 0;
        if (n >= 8) {
            std::memcpy(&word, p, 8);
            std::memcpy(&last, p + n - 8, 8);
        } else if (n >= 4) {
            uint32_t a, b;
            std::memcpy(&a, p, 4);
            std::memcpy(&b, p + n - 4, 4);
            word = a | uint64_t{b} << 32;
        } else if (n > 0) {
            word = static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[n / 2]) << 8 |
                   static_cast<unsigned char>(p[n - 1]) << 16;
        }
        Seen& seen = m_Seen[((word ^ (last * 0xC2B2AE3D27D4EB4FULL) ^ n) * 0x9E3779B97F4A7C15ULL) >> (64 - kBits)];
        if (seen.size == n && seen.word == word && seen.last == last &&
            (n <= 16 || std::memcmp(seen.text + 8, p + 8, n - 16) == 0))
            return seen.id;
        const uint32_t id = numbers.Find(text);
        seen = {word, last, n, id, p};
        return id;
    }

private:
    static constexpr unsigned kBits = 8;
    struct Seen {
        uint64_t word = 0, last = 0;
        size_t size = SIZE_MAX;
        uint32_t id = 0;
        const char* text = nullptr;
    };
    Seen m_Seen[size_t{1} << kBits];
};

// The procedure over a near copy, as the head comment tells. Left: the left
// lines by number (operator[]).
template <class Left>
class EditsMatch {
public:
    EditsMatch(const Left& left, const CDiffFileText* bytes, uint32_t nL, uint32_t head, uint32_t tail,
               const std::vector<std::string_view>& middle, uint32_t tailBand)
        : m_Left(left), m_nL(nL), m_nH(head), m_nT(tail), m_nM(static_cast<uint32_t>(middle.size())),
          m_Middle(middle), m_nTailBand(tailBand), m_Texts(middle.size() + kBand + tailBand) {
        m_nR = head + m_nM + tail;
        m_nTailFrom = nL - tail;
        m_nML = m_nTailFrom - head;
        m_nBudget = int64_t{nL} + 4096;
        m_pText = bytes;
    }

    // walk(k, take) hands take(j, text) every left line of piece k of
    // pieces in order (lines PartStart(nL, k, pieces) to the next piece's),
    // walked on parts threads.
    template <class Walk>
    bool Run(Walk walk, uint32_t parts, uint32_t pieces, std::vector<CDiffChange>& runs) {
        if (m_nH + m_nT == 0 || m_nTailFrom < m_nH) return false;
        Number(walk, parts, pieces);
        // (J is measured as far as the longer of head and tail.)
        if (m_nBudget < 0 || !MeasureHeadJoin(std::max(m_nH, m_nT))) return false;
        // The tail taken from its first line on, else from the next ones
        // (the lines before it then count as middle lines).
        for (uint32_t k = 0; k == 0 || (k + 1 < m_nTailBand && k < m_nT); ++k) {
            // (The rest is asked only where the scan of the tail's first
            // line lands on the left tail's.)
            if (k > 0 && !TailLands(k)) {
                if (m_nBudget < 0) break;
                m_bBandMissed = k + 2 == m_nTailBand;
                continue;
            }
            switch (Passes(k, runs)) {
            case Outcome::Found:
                return true;
            case Outcome::Failed:
                runs.clear();
                return false;
            case Outcome::TailMissed:
                break;
            }
        }
        runs.clear();
        return false;
    }

    // Whether Run found nothing only because every tail line of the band
    // was stepped over (a wider band may find it: not where the rest of the
    // tail lies whole before it as well).
    bool BandMissed() const { return m_bBandMissed && !m_bTailCopied; }

private:
    enum class Outcome { Found, Failed, TailMissed };

    // Whether the scan of the first tail line, the tail taken from its line
    // k (k > 0), finds the tail, as the passes below ask it.
    bool TailLands(uint32_t k) {
        const uint32_t T = m_nT - k, i = m_nH + m_nM + k;
        const CDiffRun t = Scan(i, m_nH >= T ? m_nH : 0, m_nL - 1, T);
        // (A copy of all the rest of the tail before it wins the tie.)
        m_bTailCopied = m_bTailCopied || t.length == static_cast<int>(T);
        return t.start == static_cast<int>(m_nTailFrom + k) && t.length == static_cast<int>(T);
    }

    // The passes of the head comment, with the first k tail lines taken as
    // middle lines.
    Outcome Passes(uint32_t k, std::vector<CDiffChange>& runs) {
        const uint32_t H = m_nH, T = m_nT - k, M = m_nM + k, ML = m_nML + k, nR = m_nR, nL = m_nL;
        const uint32_t tailFrom = m_nTailFrom + k;
        std::vector<CDiffRun> found(M, CDiffRun{-1, -2});
        auto ends = [](const CDiffRun& e) { return e.start + e.length - 1; };
        const CDiffChange headRun{0, 0, static_cast<int>(H), kDiffSame};
        uint32_t along = 0;  // A of the head comment (T > H)
        const CDiffChange tailRun{static_cast<int>(H + M), static_cast<int>(tailFrom), static_cast<int>(T), kDiffSame};
        auto lands = [&](const CDiffRun& t) {
            return t.start == static_cast<int>(tailFrom) && t.length == static_cast<int>(T);
        };
        runs.clear();
        if (H >= T ? m_nJoin > H : m_nJoin >= T) return Outcome::Failed;
        if (H >= T) {
            // The first pass: line 0 with H; middle lines below M + T scanned.
            for (uint32_t i = H; i < H + M && i < M + T; ++i) {
                found[i - H] = Scan(i, 0, nL - 1, nR - i);
                if (found[i - H].length > static_cast<int>(H)) return Outcome::Failed;
            }
            runs.push_back(headRun);
            if (T > 0) {
                for (uint32_t i = H; i < H + M; ++i) {
                    CDiffRun& e = found[i - H];
                    if (e.length == -2 || (e.length > 0 && e.start < static_cast<int>(H)))
                        e = Scan(i, H, nL - 1, nR - i);
                    if (e.length >= static_cast<int>(T)) return Outcome::Failed;
                }
                if (!lands(Scan(H + M, H, nL - 1, T))) return m_nBudget < 0 ? Outcome::Failed : Outcome::TailMissed;
                runs.push_back(tailRun);
            }
        } else {
            for (uint32_t i = H; i < H + M; ++i) {
                found[i - H] = Scan(i, 0, nL - 1, nR - i);
                if (found[i - H].length >= static_cast<int>(T)) return Outcome::Failed;
            }
            if (!lands(Scan(H + M, 0, nL - 1, T))) return m_nBudget < 0 ? Outcome::Failed : Outcome::TailMissed;
            runs.push_back(tailRun);
            if (H > 0) {
                // Right line 0 runs on from left line 0 past the head
                // where the first middle lines are the left middle's.
                along = HeadAheadWithin(M, ML);
                if (HeadJoinWithin(M, ML) > H + along) return Outcome::Failed;
                const int leftLast = static_cast<int>(H + ML) - 1;
                for (uint32_t i = H; i < H + M && i + along < M; ++i) {
                    CDiffRun& e = found[i - H];
                    const int left = static_cast<int>(H + M - i);
                    if (e.length > 0 && (e.length > left || ends(e) > leftLast))
                        e = Scan(i, 0, static_cast<uint32_t>(leftLast), static_cast<uint32_t>(left));
                    if (e.length > static_cast<int>(H + along)) return Outcome::Failed;
                }
                runs.push_back({0, 0, static_cast<int>(H + along), kDiffSame});
            }
        }
        if (m_nBudget < 0) return Outcome::Failed;
        // The box, matched by the procedure from the runs found so far.
        m_pFound = &found;
        m_pRuns = &runs;
        if (M > along && ML > along && !MatchBox(H + along, H + M - 1, H + along, H + ML - 1)) return Outcome::Failed;
        return m_nBudget >= 0 ? Outcome::Found : Outcome::Failed;
    }

    uint32_t RightNumber(uint32_t r) const {
        if (r < m_nH) return m_Ids[r];
        if (r < m_nH + m_nM) return m_MiddleIds[r - m_nH];
        return m_Ids[r - m_nH - m_nM + m_nTailFrom];
    }
    bool Equal(uint32_t r, uint32_t l) {
        const uint32_t a = RightNumber(r);
        if (a != m_Ids[l]) return false;
        if (a != 0) return true;
        m_nBudget -= 8;
        const uint32_t q = r < m_nH ? r : r - m_nH - m_nM + m_nTailFrom;
        return m_Left[q] == m_Left[l];
    }
    // The run of right line r at left line l, at most maxLen lines.
    uint32_t Length(uint32_t r, uint32_t l, uint32_t maxLen) {
        uint32_t k = 0;
        while (k < maxLen) {
            const uint32_t q = r + k, p = l + k;
            // A head or tail line is a left line: from there on the run is
            // one of the left file against itself, to the end of the head
            // or of both files (all of it where it is the same left line).
            if (q >= m_nH + m_nM) return k + SameAhead(q - m_nH - m_nM + m_nTailFrom, p, maxLen - k);
            if (q < m_nH) {
                const uint32_t most = std::min(maxLen - k, m_nH - q), n = SameAhead(q, p, most);
                k += n;
                if (n < most) break;
                continue;
            }
            if (--m_nBudget < 0 || !Equal(q, p)) break;
            ++k;
        }
        return k;
    }

    // How many lines from left lines a and b on are equal, at most most.
    // What is found along one diagonal of the left file against itself is
    // kept: the lines of one long run (through a block the file holds
    // twice) are then walked once, whichever of its lines a scan meets.
    uint32_t SameAhead(uint32_t a, uint32_t b, uint32_t most) {
        if (a == b || most == 0) return most;
        --m_nBudget;
        // (A run that ends within its first lines of numbered texts, as
        // most do among lines of few texts, is told by their numbers alone.)
        for (uint32_t k = 0, told = std::min({most, kByNumbers, m_nL - std::max(a, b)}); k < told; ++k) {
            const uint16_t x = m_Ids[a + k], y = m_Ids[b + k];
            if (x != y) return k;
            if (x == 0) break;
        }
        const int64_t apart = int64_t{b} - a;
        const auto kept = m_Stretches.find(apart);
        if (kept != m_Stretches.end() && kept->second.from <= a && a <= kept->second.to) {
            Stretch& known = kept->second;
            const uint32_t have = known.to - a;
            if (known.ended || have >= most) return std::min(have, most);
            const uint32_t more = WalkAhead(known.to, static_cast<uint32_t>(known.to + apart), most - have);
            known.to += more;
            known.ended = more < most - have;
            return have + more;
        }
        const uint32_t n = WalkAhead(a, b, most);
        // (Short runs are walked again: few lines, and not worth the memory.)
        if (n >= kKeptRun) m_Stretches[apart] = {a, a + n, n < most};
        return n;
    }
    static constexpr uint32_t kKeptRun = 256;
    static constexpr uint32_t kByNumbers = 64;
    // Lines a, a - 1, ... against b, b - 1, ...: how many are equal, at
    // most most (no more than min(a, b) + 1).
    uint32_t SameBehind(uint32_t a, uint32_t b, uint32_t most) {
        if (a == b) return most;
        --m_nBudget;
        // (Lines of numbered texts are told by their numbers first.)
        uint32_t k = 0;
        for (const uint32_t told = std::min(most, kByNumbers); k < told; ++k) {
            const uint16_t x = m_Ids[a - k], y = m_Ids[b - k];
            if (x != y) return k;
            if (x == 0) break;
        }
        if (k == most) return most;
        if (!m_pText) {
            while (k < most && m_Left[a - k] == m_Left[b - k]) ++k;
            m_nBudget -= k / 4;
            return k;
        }
        const char* bytes = m_pText->bytes.get();
        size_t ea = m_pText->Start(a - k + 1), eb = m_pText->Start(b - k + 1);
        while (k < most) {
            const size_t room = std::min({ea, eb, kChunk});
            const size_t same = textdiff::SameLastBytes(bytes + ea - room, bytes + eb - room, room);
            // Lines whose line feed before them lies within the same bytes
            // are equal (the line feed at the very end is the line's own).
            const size_t own = same > 0 && bytes[ea - 1] == '\n' ? 1 : 0;
            const void* feed = same > own ? std::memchr(bytes + ea - same, '\n', same - own) : nullptr;
            if (feed) {
                const size_t f = static_cast<size_t>(static_cast<const char*>(feed) - bytes);
                const size_t lines = textdiff::CountLineFeeds(std::string_view(bytes + f, ea - own - f));
                m_nBudget -= static_cast<int64_t>(lines / 8);
                if (lines >= most - k) return most;
                k += static_cast<uint32_t>(lines);
                eb -= ea - (f + 1);
                ea = f + 1;
                if (same == room && room == kChunk) continue;
            }
            // Lines a - k and b - k differ in their bytes, or one of them
            // is longer than the bytes compared: equal only as texts.
            const size_t sa = LineStartBefore(ea), sb = LineStartBefore(eb);
            if (CDiffFileText::LineBetween(bytes, sa, ea) != CDiffFileText::LineBetween(bytes, sb, eb)) break;
            ++k;
            ea = sa;
            eb = sb;
        }
        return k;
    }
    // (Compared as bytes a piece at a time, so that a short run costs little.)
    static constexpr size_t kChunk = size_t{1} << 14;
    uint32_t WalkAhead(uint32_t a, uint32_t b, uint32_t most) {
        // Lines of numbered texts are told by their numbers first (lines of
        // different numbers differ): among lines of few texts a run mostly
        // ends within a few lines, found so without reading their bytes.
        uint32_t k = 0;
        for (const uint32_t told = std::min({most, kByNumbers, m_nL - std::max(a, b)}); k < told; ++k) {
            const uint16_t x = m_Ids[a + k], y = m_Ids[b + k];
            if (x != y) return k;
            if (x == 0) break;
        }
        if (k == most) return most;
        m_nBudget -= k / 4;
        if (std::max(a, b) + k >= m_nL) return k;
        return k + WalkBytes(a + k, b + k, most - k);
    }
    uint32_t WalkBytes(uint32_t a, uint32_t b, uint32_t most) {
        uint32_t k = 0;
        if (!m_pText) {
            while (k < most && a + k < m_nL && b + k < m_nL && m_Left[a + k] == m_Left[b + k]) ++k;
            m_nBudget -= k / 4;
            return k;
        }
        const char* bytes = m_pText->bytes.get();
        const size_t size = m_pText->size;
        size_t pa = m_pText->Start(a), pb = m_pText->Start(b);
        while (k < most && pa < size && pb < size) {
            const size_t room = std::min(size - std::max(pa, pb), kChunk);
            const size_t same = textdiff::SameBytes(bytes + pa, bytes + pb, room);
            // Lines whose line feed lies within the same bytes are equal.
            const void* feed = same ? memrchr(bytes + pa, '\n', same) : nullptr;
            if (feed) {
                const size_t through = static_cast<size_t>(static_cast<const char*>(feed) - (bytes + pa)) + 1;
                const size_t lines = textdiff::CountLineFeeds(std::string_view(bytes + pa, through));
                m_nBudget -= static_cast<int64_t>(lines / 8);
                if (lines >= most - k) return most;
                k += static_cast<uint32_t>(lines);
                pa += through;
                pb += through;
                if (same == room && room == kChunk) continue;
                if (pa >= size || pb >= size) break;
            }
            // Lines a + k and b + k differ in their bytes, or one of them is
            // longer than the bytes compared, or runs to the end of the file
            // without a line feed: equal only as texts.
            const size_t ea = LineEnd(pa), eb = LineEnd(pb);
            if (CDiffFileText::LineBetween(bytes, pa, ea) != CDiffFileText::LineBetween(bytes, pb, eb)) break;
            ++k;
            pa = ea;
            pb = eb;
        }
        return std::min(k, most);
    }
    // Just past the line feed of the line that starts at byte from (the end
    // of the file where it has none).
    size_t LineEnd(size_t from) const {
        const size_t size = m_pText->size;
        const void* feed = std::memchr(m_pText->bytes.get() + from, '\n', size - from);
        return feed ? static_cast<size_t>(static_cast<const char*>(feed) - m_pText->bytes.get()) + 1 : size;
    }
    // Where the line that ends at byte end (just past its line feed, if any) starts.
    size_t LineStartBefore(size_t end) const {
        const char* bytes = m_pText->bytes.get();
        const size_t before = end > 0 && bytes[end - 1] == '\n' ? end - 1 : end;
        const void* feed = before ? memrchr(bytes, '\n', before) : nullptr;
        return feed ? static_cast<size_t>(static_cast<const char*>(feed) - bytes) + 1 : 0;
    }

    // Numbers the texts (middle, bands), then every left line, noting the
    // places of the texts that are scanned and of the pairs looked at.
    template <class Walk>
    void Number(Walk walk, uint32_t parts, uint32_t pieces) {
        const std::vector<uint32_t> keys = NumberTexts();
        std::vector<Notes> notes = NumberLines(walk, parts, pieces, SquareOf(keys));
        // Lines of very few texts hold long runs by chance everywhere: their
        // scans and places would take longer than the full way.
        if (OfVeryFewTexts()) {
            m_nBudget = -1;
            return;
        }
        JoinPlaces(notes);
        m_nBudget -= m_nL / 8;
    }
    // Numbers the texts of the middle, of the bands and of the first left
    // lines, takes room for the numbers of the left lines (the bands'
    // filled in), and notes the texts scanned and the pairs whose places are
    // kept; gives the pairs' keys.
    std::vector<uint32_t> NumberTexts() {
        const uint32_t H = m_nH, M = m_nM;
        m_MiddleIds.resize(M);
        for (uint32_t p = 0; p < M; ++p) m_MiddleIds[p] = m_Texts.Add(m_Middle[p]);
        const uint32_t bandFrom = H > kBand ? H - kBand : 0;
        const uint32_t bandTo = static_cast<uint32_t>(std::min<uint64_t>(m_nL, uint64_t{m_nTailFrom} + m_nTailBand));
        std::vector<uint32_t> band;
        for (uint32_t j = bandFrom; j < H; ++j) band.push_back(m_Texts.Add(m_Left[j]));
        for (uint32_t j = m_nTailFrom; j < bandTo; ++j) band.push_back(m_Texts.Add(m_Left[j]));
        // The texts of the first lines are numbered as well (not scanned):
        // where the texts are few those are all of them, and lines are then
        // told apart by their numbers, not by reading their bytes again.
        // (As many as the 16-bit numbers leave room for beside the widest band.)
        const size_t room = 0xFFFE - std::min<size_t>(0xFFFE, size_t{M} + kBand + m_nTailBand);
        for (uint32_t j = 0; j < std::min(m_nL, kSampleLines) && m_Texts.Count() < room; ++j) m_Texts.Add(m_Left[j]);
        // (Every line's is written by the walk, each piece's by the thread
        // that takes it; the bands' are needed first, and kWindow numbers
        // past the last line, 0: a window read there holds nothing.)
        m_Ids.reset(new uint16_t[size_t{m_nL} + kWindow]);
        std::fill_n(m_Ids.get() + m_nL, kWindow, uint16_t{0});
        for (uint32_t j = bandFrom, k = 0; j < H; ++j) m_Ids[j] = static_cast<uint16_t>(band[k++]);
        for (uint32_t j = m_nTailFrom, k = H - bandFrom; j < bandTo; ++j) m_Ids[j] = static_cast<uint16_t>(band[k++]);
        const size_t texts = m_Texts.Count() + 1;
        m_Scanned.assign(texts, 0);
        m_First.assign(texts, kNone);
        m_FirstFromHead.assign(texts, kNone);
        // The right lines scanned, and the pairs whose places are kept.
        std::vector<uint32_t> keys;
        auto pair = [&](uint32_t r) {
            if (r + 1 < m_nR) keys.push_back(RightNumber(r) << 16 | RightNumber(r + 1));
        };
        for (uint32_t i = H; i < H + M; ++i) {
            m_Scanned[RightNumber(i)] = 1;
            pair(i);
        }
        for (uint32_t k = 0; k + 1 < m_nTailBand && k < m_nT; ++k) {
            m_Scanned[RightNumber(H + M + k)] = 1;
            pair(H + M + k);
        }
        if (H > 0) {
            m_Scanned[RightNumber(H - 1)] = 1;
            pair(H - 1);
        }
        m_Pairs = KeyTable(keys.size());
        for (uint32_t key : keys)
            if (m_Pairs.Add(key, static_cast<uint32_t>(m_Places.size())) == m_Places.size()) m_Places.emplace_back();
        return keys;
    }
    // Where the texts are few, the walk finds a pair in a square table of
    // the numbers of its two texts (empty where they are many). It holds no
    // pair after a text not scanned, nor with number 0, never scanned.
    std::vector<uint32_t> SquareOf(const std::vector<uint32_t>& keys) const {
        const size_t texts = m_Texts.Count() + 1;
        std::vector<uint32_t> square;
        if (texts <= kSquareTexts) {
            square.assign(texts * texts, kNone);
            for (uint32_t key : keys) square[(key >> 16) * texts + (key & 0xFFFF)] = m_Pairs.Find(key);
        }
        return square;
    }
    // A piece's places of the pairs, and the pairs whose places it let go.
    struct Notes {
        std::vector<std::vector<uint32_t>> places;
        std::vector<char> dense;
    };
    // Numbers every left line: the pieces of the left file are walked at
    // once, taken in turn by parts threads, each piece noting the places of
    // the pairs within it, each thread the first places of the texts it
    // meets (the least line wins). The places of a pair found in more than
    // one line in 32 are let go (a scan finds those by its steps): not
    // those of the pair of head line H - 1 and right line H, all of which
    // are measured.
    template <class Walk>
    std::vector<Notes> NumberLines(Walk walk, uint32_t parts, uint32_t pieces, const std::vector<uint32_t>& square) {
        const uint32_t H = m_nH;
        const size_t texts = m_Texts.Count() + 1;
        const uint32_t join = H > 0 && H < m_nR ? m_Pairs.Find(RightNumber(H - 1) << 16 | RightNumber(H)) : kNone;
        std::vector<Notes> notes(pieces);
        std::vector<std::vector<uint32_t>> firsts(parts), firstsFromHead(parts);
        std::vector<RecentTexts> recents(parts);
        const bool done = textdiff::RunInTurn(parts, pieces, [&](size_t c, size_t t) {
            // (Thread 0's first places go straight into the lists.)
            if (t > 0 && firsts[t].empty()) {
                firsts[t].assign(texts, kNone);
                firstsFromHead[t].assign(texts, kNone);
            }
            uint32_t* const first = t > 0 ? firsts[t].data() : m_First.data();
            uint32_t* const firstFromHead = t > 0 ? firstsFromHead[t].data() : m_FirstFromHead.data();
            // (What the walk reads is held by this thread, not read through
            // the caller's.)
            uint16_t* const ids = m_Ids.get();
            const char* const scanned = m_Scanned.data();
            const TextNumbers* const numbers = &m_Texts;
            const KeyTable* const pairs = &m_Pairs;
            const uint32_t* const squared = square.empty() ? nullptr : square.data();
            const uint32_t head = H;
            RecentTexts* const recent = &recents[t];
            notes[c].dense.assign(m_Places.size(), 0);
            notes[c].places.resize(m_Places.size());
            char* const dense = notes[c].dense.data();
            std::vector<std::vector<uint32_t>>* const places = &notes[c].places;
            const uint32_t k = static_cast<uint32_t>(c);
            const size_t most = std::max<size_t>(kDenseFrom * std::min(pieces, kParts) / pieces,
                                                 (PartStart(m_nL, k + 1, pieces) - PartStart(m_nL, k, pieces)) / 32);
            uint32_t before = 0;  // the number of the line before
            walk(c, [=, &before](uint32_t j, std::string_view text) {
                const uint32_t id = recent->Find(text, *numbers);
                ids[j] = static_cast<uint16_t>(id);
                // (Kept for every text, looked at for those scanned: lines
                // come in order.)
                first[id] = std::min(first[id], j);
                firstFromHead[id] = std::min(firstFromHead[id], j >= head ? j : kNone);
                const uint32_t g = squared                          ? squared[before * texts + id]
                                   : scanned[before] && id != 0 ? pairs->Find(before << 16 | id)
                                                                : kNone;
                if (g != kNone && !dense[g]) {
                    std::vector<uint32_t>& list = (*places)[g];
                    if (list.size() < most || g == join) {
                        list.push_back(j - 1);
                    } else {
                        dense[g] = 1;
                        std::vector<uint32_t>().swap(list);
                    }
                }
                before = id;
            });
        });
        if (!done) throw std::bad_alloc();
        for (uint32_t t = 1; t < parts; ++t) {
            if (firsts[t].empty()) continue;
            for (size_t x = 0; x < texts; ++x) {
                m_First[x] = std::min(m_First[x], firsts[t][x]);
                m_FirstFromHead[x] = std::min(m_FirstFromHead[x], firstsFromHead[t][x]);
            }
        }
        return notes;
    }
    // Whether fewer than kFewTexts texts make most of the first 64K lines.
    bool OfVeryFewTexts() const {
        if (m_nL <= 0xFFFF) return false;
        std::vector<char> met(m_Texts.Count() + 1, 0);
        uint32_t numbered = 0, distinct = 0;
        for (uint32_t j = 0; j < 0xFFFF; ++j) {
            const uint32_t id = m_Ids[j];
            numbered += id != 0;
            distinct += id != 0 && !met[id];
            met[id] = 1;
        }
        return distinct < kFewTexts && uint64_t{numbered} * 5 > uint64_t{0xFFFF} * 3;
    }
    // Joins the pieces' places of each pair in order, with the place across
    // each border of pieces between; a pair let go in one piece is let go.
    void JoinPlaces(std::vector<Notes>& notes) {
        const uint32_t pieces = static_cast<uint32_t>(notes.size());
        m_Dense.assign(m_Places.size(), 0);
        for (uint32_t c = 0; c < pieces; ++c)
            for (size_t g = 0; g < m_Places.size(); ++g) m_Dense[g] |= notes[c].dense[g];
        for (size_t g = 0; g < m_Places.size(); ++g) {
            if (m_Dense[g]) continue;
            size_t count = pieces;  // (with room for a place across each border)
            for (uint32_t c = 0; c < pieces; ++c) count += notes[c].places[g].size();
            m_Places[g] = std::move(notes[0].places[g]);
            m_Places[g].reserve(count);
        }
        for (uint32_t c = 1; c < pieces; ++c) {
            const uint32_t j = PartStart(m_nL, c, pieces);
            const uint32_t before = j > 0 && j < m_nL ? m_Ids[j - 1] : 0, id = j < m_nL ? m_Ids[j] : 0;
            if (m_Scanned[before] && id != 0) {
                const uint32_t g = m_Pairs.Find(before << 16 | id);
                if (g != kNone && !m_Dense[g]) m_Places[g].push_back(j - 1);
            }
            for (size_t g = 0; g < m_Places.size(); ++g)
                if (!m_Dense[g])
                    m_Places[g].insert(m_Places[g].end(), notes[c].places[g].begin(), notes[c].places[g].end());
            notes[c] = Notes();
        }
    }
    // The procedure's scan of right line i (a numbered text) over left lines
    // from to last, for at most left lines.
    CDiffRun Scan(uint32_t i, uint32_t from, uint32_t last, uint32_t left) {
        // Scans over all left lines from 0 or H are kept: each way of taking
        // the tail asks them again.
        CDiffRun* kept = nullptr;
        if (last == m_nL - 1 && left == m_nR - i && (from == 0 || from == m_nH) && i - m_nH < m_nM + m_nTailBand) {
            std::vector<CDiffRun>& memo = m_Kept[from == 0 ? 0 : 1];
            if (memo.empty()) memo.assign(m_nM + m_nTailBand, CDiffRun{-1, -2});
            kept = &memo[i - m_nH];
            if (kept->length != -2) return *kept;
        }
        const CDiffRun found = ScanOnce(i, from, last, left);
        if (kept) *kept = found;
        return found;
    }
    CDiffRun ScanOnce(uint32_t i, uint32_t from, uint32_t last, uint32_t left) {
        const uint32_t t = RightNumber(i);
        // (Scans start at left line 0 or H; the line after i has a number.)
        if ((from != 0 && from != m_nH) || (i + 1 < m_nR && RightNumber(i + 1) == 0)) {
            m_nBudget = -1;
            return {-1, -1};
        }
        const uint32_t first = from == 0 ? m_First[t] : m_FirstFromHead[t];
        if (first == kNone || first > last || left == 0) return {-1, -1};
        auto maxAt = [&](uint32_t j) { return std::min(last - j + 1, left); };
        uint32_t b = Length(i, first, maxAt(first)), start = first, j = first + b + 1;
        if (i + 1 < m_nR) {
            const uint32_t u = RightNumber(i + 1);
            const uint32_t g = m_Pairs.Find(t << 16 | u);
            if (g != kNone) {
                const std::vector<uint32_t>& places = m_Places[g];  // (none kept where dense)
                const bool dense = m_Dense[g];
                auto it = std::lower_bound(places.begin(), places.end(), j);
                // The next place of the pair the steps land on: found among
                // the places, or by the steps themselves where they are fewer.
                while ((dense || it != places.end()) && j <= last && maxAt(j) > b) {
                    uint32_t o = kNone;
                    // (A step or a place passed over costs a quarter of a
                    // line compared: a number or a place read in order.)
                    int64_t passed = 0;
                    if (dense || (last - j) / (b + 1) + 1 < static_cast<size_t>(places.end() - it)) {
                        // (A step lands on a place of the pair; only one
                        // whose run is longer than b changes the scan, so
                        // the steps pass over those whose first lines, up
                        // to kWindow, are not right line i's and on.)
                        const Window window = WindowOf(i, b);
                        for (uint32_t q = j; q <= last && maxAt(q) > b; q += b + 1) {
                            ++passed;
                            if (window.Holds(m_Ids.get() + q)) {
                                o = q;
                                break;
                            }
                        }
                    } else {
                        const auto from = it;
                        while (it != places.end() && (*it - j) % (b + 1) != 0) ++it;
                        passed = it - from;
                        if (it != places.end() && *it <= last && maxAt(*it) > b) o = *it;
                    }
                    m_nBudget -= 1 + passed / 4;
                    if (o == kNone || m_nBudget < 0) break;
                    const uint32_t n = Length(i, o, maxAt(o));
                    if (n > b) {
                        b = n;
                        start = o;
                    }
                    j = o + b + 1;
                    it = std::lower_bound(it, places.end(), j);
                }
            }
        }
        return {static_cast<int>(start), static_cast<int>(b)};
    }

    // The numbers of right lines i, i + 1, ... (at most b + 1 of them, at
    // most kWindow, up to the first of number 0) to be told at once against
    // those of left lines from a place on: a place that does not hold them
    // has a run of at most b.
    static constexpr uint32_t kWindow = 8;
    struct Window {
        uint64_t numbers[2] = {0, 0}, mask[2] = {0, 0};
        bool Holds(const uint16_t* ids) const {
            uint64_t at[2];
            std::memcpy(at, ids, sizeof at);
            return (((at[0] ^ numbers[0]) & mask[0]) | ((at[1] ^ numbers[1]) & mask[1])) == 0;
        }
    };
    Window WindowOf(uint32_t i, uint32_t b) const {
        uint16_t numbers[kWindow] = {}, mask[kWindow] = {};
        for (uint32_t k = 0; k < kWindow && k <= b && i + k < m_nR; ++k) {
            numbers[k] = static_cast<uint16_t>(RightNumber(i + k));
            if (numbers[k] == 0) break;
            mask[k] = 0xFFFF;
        }
        Window window;
        std::memcpy(window.numbers, numbers, sizeof numbers);
        std::memcpy(window.mask, mask, sizeof mask);
        return window;
    }

    // J, the longest run that holds head line H - 1 and right line H, where
    // it is at most limit lines (else false), measured along the diagonals
    // of the places of that pair of texts; the lines of each place's run
    // before and after the pair are kept for the part before the tail.
    bool MeasureHeadJoin(uint32_t limit) {
        const uint32_t H = m_nH;
        m_nJoin = 0;
        if (H == 0 || H >= m_nR) return true;
        const uint32_t g = m_Pairs.Find(RightNumber(H - 1) << 16 | RightNumber(H));
        if (g == kNone) return true;
        // (Among lines of few texts the pair has many places, most of whose
        // runs end right beside the pair: told by the numbers there first.)
        const uint32_t beforeJoin = H >= 2 ? m_Ids[H - 2] : 0;
        const uint32_t afterJoin = H + 1 < m_nR ? RightNumber(H + 1) : 0;
        for (const uint32_t o : m_Places[g]) {
            // Left line o is head line H - 1's text, o + 1 right line H's.
            const uint32_t most = std::min({H - 1, o, limit + 1});
            const uint32_t back = most == 0 || (beforeJoin != 0 && m_Ids[o - 1] != beforeJoin)
                                      ? 0
                                      : SameBehind(H - 2, o - 1, most);
            const uint32_t room = std::min({m_nR - H, m_nL - o - 1, limit + 1});
            const uint32_t ahead = room >= 2 && afterJoin != 0 && m_Ids[o + 2] != afterJoin ? 1 : Length(H, o + 1, room);
            if (m_nBudget < 0 || back + 1 + ahead > limit) return false;
            m_nJoin = std::max(m_nJoin, back + 1 + ahead);
            // (Kept for the part before a tail longer than the head: not
            // places past every way of taking the tail, which lie in no
            // part, and, but for the place right before the head's end,
            // not runs of H lines or fewer, which no cut makes longer than
            // H + A there.)
            if (H < m_nT && o + 1 < m_nTailFrom + m_nTailBand && (back + 1 + ahead > H || o + 1 == H))
                m_Joins.push_back({o, back, ahead});
        }
        m_nBudget -= static_cast<int64_t>(m_Places[g].size() / 4);
        return true;
    }
    // How many of the right lines from H on below H + M equal the left
    // lines from H on below H + ML.
    uint32_t HeadAheadWithin(uint32_t M, uint32_t ML) const {
        for (const Join& join : m_Joins)
            if (join.at + 1 == m_nH) return std::min({join.ahead, M, ML});
        return 0;
    }
    // The longest run through head line H - 1 and right line H within the
    // right lines below H + M and the left lines below H + ML (cut where it
    // leaves them, as the procedure's scans cut it).
    uint32_t HeadJoinWithin(uint32_t M, uint32_t ML) const {
        uint32_t longest = 0;
        for (const Join& join : m_Joins) {
            if (M == 0 || join.at + 1 >= m_nH + ML) continue;
            const uint32_t ahead = std::min({join.ahead, M, m_nH + ML - 1 - join.at});
            longest = std::max(longest, join.back + 1 + ahead);
        }
        return longest;
    }

    // The procedure's scan within the box (left lines looked at one by one).
    CDiffRun BoxScan(uint32_t i, uint32_t from, uint32_t last, uint32_t left) {
        uint32_t b = 0;
        int start = -1;
        for (uint32_t j = from; j <= last;) {
            const uint32_t maxLen = std::min(last - j + 1, left);
            if (maxLen <= b) break;
            const uint32_t n = Length(i, j, maxLen);
            if (n > b) {
                b = n;
                start = static_cast<int>(j);
            }
            j += b + 1;
        }
        return b > 0 ? CDiffRun{start, static_cast<int>(b)} : CDiffRun{-1, -1};
    }

    // The procedure's match of right lines rightFirst to rightLast against
    // left lines leftFirst to leftLast, all within the box.
    bool MatchBox(uint32_t rightFirst, uint32_t rightLast, uint32_t leftFirst, uint32_t leftLast) {
        std::vector<CDiffRun>& found = *m_pFound;
        for (;;) {
            if (m_nBudget < 0) return false;
            int bestLine = -1, bestLen = -1;
            if (rightFirst > rightLast) return true;
            for (uint32_t i = rightFirst; i <= rightLast; ++i) {
                const int remaining = static_cast<int>(rightLast - i + 1);
                if (remaining <= bestLen) break;
                CDiffRun& e = found[i - m_nH];
                if (e.length > 0 && (e.length > remaining || e.start < static_cast<int>(leftFirst) ||
                                     e.start + e.length - 1 > static_cast<int>(leftLast)))
                    e = {-1, -2};
                if (e.length == -2) e = BoxScan(i, leftFirst, leftLast, static_cast<uint32_t>(remaining));
                if (e.length > bestLen) {
                    bestLine = static_cast<int>(i);
                    bestLen = e.length;
                }
            }
            if (bestLine < 0) return true;
            const uint32_t best = static_cast<uint32_t>(bestLine);
            const uint32_t leftStart = static_cast<uint32_t>(found[best - m_nH].start);
            m_pRuns->push_back({bestLine, static_cast<int>(leftStart), bestLen, kDiffSame});
            if (rightFirst < best && leftFirst < leftStart && !MatchBox(rightFirst, best - 1, leftFirst, leftStart - 1))
                return false;
            rightFirst = best + static_cast<uint32_t>(bestLen);
            leftFirst = leftStart + static_cast<uint32_t>(bestLen);
            if (rightFirst > rightLast || leftFirst > leftLast) return true;
        }
    }

    const Left& m_Left;
    uint32_t m_nL, m_nH, m_nT, m_nM, m_nR = 0, m_nTailFrom = 0, m_nML = 0;
    const std::vector<std::string_view>& m_Middle;
    uint32_t m_nTailBand;
    bool m_bBandMissed = false, m_bTailCopied = false;
    // J, and per place of the pair of head line H - 1 and right line H on
    // the left: the equal lines before the pair and from right line H on.
    uint32_t m_nJoin = 0;
    struct Join {
        uint32_t at, back, ahead;
    };
    std::vector<Join> m_Joins;
    int64_t m_nBudget = 0;
    TextNumbers m_Texts;
    std::unique_ptr<uint16_t[]> m_Ids;  // per left line: the number of its text
    std::vector<uint32_t> m_MiddleIds;
    std::vector<char> m_Scanned;
    std::vector<uint32_t> m_First, m_FirstFromHead;
    KeyTable m_Pairs{0};
    std::vector<std::vector<uint32_t>> m_Places;  // per pair: the left lines that start it
    std::vector<char> m_Dense;                    // per pair: its places let go
    std::vector<CDiffRun> m_Kept[2];  // per right line from H on: its scan from left line 0, and from H
    std::vector<CDiffRun>* m_pFound = nullptr;
    std::vector<CDiffChange>* m_pRuns = nullptr;
    const CDiffFileText* m_pText = nullptr;  // the left lines' bytes, where they are a file held whole
    // Per diagonal of the left file against itself: lines from to to (a's
    // side) equal, and where ended, line to not (or past the file's end).
    struct Stretch {
        uint32_t from = kNone, to = 0;
        bool ended = false;
    };
    std::unordered_map<int64_t, Stretch> m_Stretches;
};
}  // namespace

bool CTextDiff::NearEditsRuns(const LineSource& left, uint32_t head, uint32_t tail,
                              const std::vector<std::string_view>& middle, std::vector<CDiffChange>& runs) {
    const uint32_t nL = static_cast<uint32_t>(left.count);
    if (middle.size() > kNearEditsLines || head + tail > nL) return false;
    const CDiffFileText* text = !left.views && !left.lines && !left.stored ? left.text : nullptr;
    // A file held as a block is walked in pieces at once where it is large;
    // where only every 64th line's place is kept, a piece's first byte is
    // found before (a look-up moves the places kept of the last lines).
    const bool inParts = text && (text->sampled || !text->starts.empty()) && nL >= kPartsFrom;
    const uint32_t parts = inParts ? std::clamp(std::thread::hardware_concurrency(), kParts, kMostParts) : 1;
    const uint32_t pieces = inParts ? parts * kPieces : 1;
    std::vector<size_t> partBytes;
    if (text && text->sampled)
        for (uint32_t k = 0; k <= pieces; ++k) partBytes.push_back(text->Start(PartStart(nL, k, pieces)));
    auto walk = [&](size_t k, auto&& take) {
        const uint32_t from = PartStart(nL, static_cast<uint32_t>(k), pieces);
        const uint32_t to = PartStart(nL, static_cast<uint32_t>(k) + 1, pieces);
        if (text && text->sampled) {
            const char* bytes = text->bytes.get();
            uint32_t j = from;
            size_t at = partBytes[k];
            const size_t end = partBytes[k + 1];
            textdiff::ForEachLineFeed(std::string_view(bytes + at, end - at), [&](const char* nl) {
                const size_t next = static_cast<size_t>(nl + 1 - bytes);
                take(j++, CDiffFileText::LineBetween(bytes, at, next));
                at = next;
            });
            if (at < end) take(j, CDiffFileText::LineBetween(bytes, at, end));
        } else if (text && !text->starts.empty()) {
            const char* bytes = text->bytes.get();
            const uint32_t* starts = text->starts.data();
            for (uint32_t j = from; j < to; ++j) take(j, CDiffFileText::LineBetween(bytes, starts[j], starts[j + 1]));
        } else {
            for (uint32_t j = from; j < to; ++j) take(j, left[j]);
        }
    };
    // (Short of memory for the numbers, the full way is taken, with its own
    // measure of what fits.)
    try {
        for (const uint32_t band : {kTailBand, kTailBand * 16, 0xFFFF - kNearEditsLines - kBand - 1}) {
            EditsMatch<LineSource> match(left, text && text->wideStarts.empty() ? text : nullptr, nL, head, tail,
                                         middle, band);
            if (match.Run(walk, parts, pieces, runs)) return true;
            if (!match.BandMissed()) break;
        }
    } catch (const std::bad_alloc&) {
    }
    runs.clear();
    return false;
}
