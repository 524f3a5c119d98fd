// The bounds on each right line's run: the bounds stage of the matcher.
// Takes the numbered lines; gives m_Bound, per right line at least the
// longest run it can have in any part still to come. The bounds start
// walked up the diagonals; where many lines have to be scanned they are cut
// by the runs of a few lines found nowhere on the left, and at last by the
// suffix order of both inputs. Bounds only decide which lines are scanned,
// never what a scan finds.
#include "compare/diff/InParts.h"
#include "compare/diff/Matcher.h"

using textdiff::LongestMatches;
using textdiff::ReserveHuge;
using textdiff::RunInParts;

namespace {

// What the walk up the right lines knows of the line below the one at hand:
// its key and bound; where it has few places, the bound from each of them
// (ascending); else the place whose run may be longer than the others' (-1
// none), its bound, and the bound of the runs from all its other places.
struct LineBelow {
    std::pair<int, int> lists[2][textdiff::kFewPlaces];
    std::pair<int, int>* below = lists[0];
    std::pair<int, int>* here = lists[1];
    bool listed = false;
    int count = 0;
    int key = -1;
    int bound = 0;
    int bestPlace = -1, bestBound = 0, otherBound = 0;
};

// A line with few places [first, last) on the left L: the run from place j
// is one more than the one from place j + 1 of the line below. Its bounds
// per place become the line below's.
inline int FewPlacesBound(LineBelow& b, const int* first, const int* last, const std::vector<int>& L, int nL) {
    int best = 0;
    int k = 0, n = 0;
    for (const int* q = first; q < last; ++q) {
        const int j = *q;
        int v = 1;
        if (b.bound > 0 && b.listed) {
            // The line below is on left line j + 1 where that is one of its
            // places (both lists ascend).
            while (k < b.count && b.below[k].first < j + 1) ++k;
            if (k < b.count && b.below[k].first == j + 1) v += b.below[k].second;
        } else if (b.bound > 0 && j + 1 < nL && L[j + 1] == b.key) {
            v += j + 1 == b.bestPlace ? b.bestBound : b.otherBound;
        }
        b.here[n++] = {j, v};
        best = std::max(best, v);
    }
    b.listed = true;
    b.count = n;
    std::swap(b.below, b.here);
    return best;
}

// A line with many places: a run of two or more lines from place j goes on
// from place j + 1 of the line below. Its best place and the bound of the
// others become the line below's.
inline int ManyPlacesBound(LineBelow& b, int key, const std::vector<int>& L, int nL) {
    int place = -1, placeBound = 0, others = 1;
    if (b.bound == 0) {
        // No line below, or none of its lines is on the left.
    } else if (b.listed) {
        for (int k = 0; k < b.count; ++k) {
            const int j = b.below[k].first - 1;
            if (j < 0 || L[j] != key) continue;
            const int v = 1 + b.below[k].second;
            if (v > placeBound) {
                others = std::max(others, placeBound);
                place = j;
                placeBound = v;
            } else {
                others = std::max(others, v);
            }
        }
    } else {
        if (b.bestPlace >= 1 && L[b.bestPlace - 1] == key) {
            place = b.bestPlace - 1;
            placeBound = std::min(b.bestBound + 1, nL);
        }
        others = std::min(b.otherBound + 1, nL);
    }
    b.bestPlace = place;
    b.bestBound = placeBound;
    b.otherBound = others;
    b.listed = false;
    return std::max(placeBound, others);
}

}  // namespace

// Bounds walked up each right line's diagonals from the end: the equal
// lines from (i, j) are none when the lines differ, else one more than
// those from (i + 1, j + 1). Kept per place for lines with few places on
// the left. A line with many places keeps a bound at one place (the one
// whose diagonal goes on from the best place below) and one for all its
// other places: a run from any other place goes on, if at all, from a
// place of the line below other than its best one.
void CTextDiff::Matcher::DiagonalBounds(int& many, long& absent) {
    // (Every line's bound is written below.)
    ReserveHuge(m_Bound, m_nR);
    m_Bound.resize(m_nR);
    LineBelow below;
    const int* pos = m_Single.pos.data();
    const int* start = m_Single.start.data();
    many = 0;
    absent = 0;
    for (int i = m_nR - 1; i >= 0; --i) {
        // The places of the lines a few lines up are fetched ahead.
        if (i >= 32) {
            __builtin_prefetch(start + m_R[i - 32]);
            __builtin_prefetch(pos + start[m_R[i - 16]]);
        }
        const int key = m_R[i];
        const int* first = pos + start[key];
        const int* last = pos + start[key + 1];
        int bound;
        if (last - first <= kFewPlaces) {
            bound = FewPlacesBound(below, first, last, m_L, m_nL);
            absent += first == last;
        } else {
            bound = ManyPlacesBound(below, key, m_L, m_nL);
            ++many;
        }
        m_Bound[i] = bound;
        below.bound = bound;
        below.key = key;
    }
    m_nScanBudget = m_nR / 16 + 1024;
}

// Bounds from the runs of q lines of the right that occur nowhere on the
// left: a run from right line i that covers such a run of q lines cannot
// be equal to any left lines, so it is shorter than the distance to the
// first of them plus q. Right runs within a stretch that the numbering of
// the lines found equal to left lines in order are on the left; only the
// others are looked for, by their hashes: up to one per four left lines in
// a table that every left run is looked up in (behind a filter of sixteen
// bits per open run, small enough to stay in the cache), else among the
// left runs kept as a filter of bits (two per run, in one word). A run taken for one of the
// left that is not only makes a bound looser, never wrong. q is chosen so
// that runs of q lines drawn at random from the left texts are seldom
// found on the left by chance.
void CTextDiff::Matcher::GramBounds() {
    m_bTrial = false;
    const int q = AbsentRunLength();
    if (q <= m_nL && q <= m_nR) {
        std::vector<uint8_t> absent(m_nR, 0);
        // A right run that lies within a stretch of lines found equal to
        // left lines in order is on the left; the others are looked for.
        // They are counted first: where they are many, they are picked out
        // as the filter is read rather than listed.
        long covered = 0;
        for (const auto& stretch : m_Stretches) covered += std::max(0, stretch.second - q + 1);
        if (static_cast<long>(m_nR) - q + 1 - covered <= m_nL / 4) AbsentByTable(q, OpenRuns(q), absent);
        else AbsentByFilter(q, {}, absent);
        int next = -1;  // the first right run of q lines from i on found nowhere on the left
        for (int i = m_nR - 1; i >= 0; --i) {
            if (absent[i]) next = i;
            if (next >= 0) m_Bound[i] = std::min(m_Bound[i], next - i + q - 1);
        }
    }
    m_nScanBudget = m_nScanned + m_nR / 16 + 1024;
    TreeBuild();
}

// The length q of the runs looked for: runs of q lines drawn at random
// from the left's texts are seldom found on the left by chance.
int CTextDiff::Matcher::AbsentRunLength() const {
    long texts = 0;
    for (int key = 0; key < m_nKeys; ++key) texts += m_Single.Count(key) > 0;
    texts = std::max(texts, 2L);
    const double want = 256.0 * m_nL;
    int q = 2;
    for (double runs = static_cast<double>(texts) * texts; runs < want && q < 64; runs *= texts) ++q;
    return q;
}

// The right runs of q lines that do not lie within a stretch found equal
// to left lines in order, by first line.
std::vector<int> CTextDiff::Matcher::OpenRuns(int q) const {
    std::vector<int> open;
    OpenRanges(q, [&](int from, int to) {
        for (int p = from; p <= to; ++p) open.push_back(p);
    });
    return open;
}

namespace {
constexpr uint64_t kRollBase = 0x9E3779B97F4A7C15ULL;

// Calls at(p, h) with the hash h of the q lines from each place p from
// first to last of v (the runs must fit in v), rolled along.
template <class At>
void RollRange(const std::vector<int>& v, int first, int last, int q, At&& at) {
    uint64_t top = 1;  // kRollBase^(q-1)
    for (int k = 1; k < q; ++k) top *= kRollBase;
    uint64_t h = 0;
    for (int k = 0; k < q; ++k) h = h * kRollBase + static_cast<uint32_t>(v[first + k]);
    for (int p = first;; ++p) {
        at(p, h);
        if (p >= last) break;
        h = (h - top * static_cast<uint32_t>(v[p])) * kRollBase + static_cast<uint32_t>(v[p + q]);
    }
}

// The same for each place p of the first n of v.
template <class At>
void RollRuns(const std::vector<int>& v, int n, int q, At&& at) {
    RollRange(v, 0, n - q, q, at);
}
}  // namespace

namespace {
// The hashes of few open runs in a small table (kept with their lowest bit
// set, so that 0 is an empty slot), and beside it a bit for each value of
// other bits of the hash, about sixteen per run: most left runs are on no
// list and are passed over after one look at this much smaller map. (Read
// at random places: in huge pages where the system gives them, so that a
// read seldom waits for the page's address as well.)
struct OpenRunTable {
    static constexpr size_t kAhead = 16;
    size_t cap = 64;
    std::vector<uint64_t> slots, filter;
    int filterBits = 9;
    explicit OpenRunTable(size_t runs) {
        while (cap < 2 * runs) cap <<= 1;
        ReserveHuge(slots, cap);
        slots.assign(cap, 0);
        while (filterBits < 30 && (size_t{1} << filterBits) < 16 * runs) ++filterBits;
        ReserveHuge(filter, (size_t{1} << filterBits) / 64);
        filter.assign((size_t{1} << filterBits) / 64, 0);
    }
    size_t Home(uint64_t h) const { return static_cast<size_t>((h * 0x9E3779B97F4A7C15ULL) >> 20) & (cap - 1); }
    size_t FilterBit(uint64_t h) const {
        return static_cast<size_t>((h * 0xC2B2AE3D27D4EB4FULL) >> (64 - filterBits));
    }
    // The slot of h; cap where it has none.
    size_t Find(uint64_t h) const {
        for (size_t x = Home(h);; x = (x + 1) & (cap - 1)) {
            if (slots[x] == h) return x;
            if (slots[x] == 0) return cap;
        }
    }
    // The slot of h, taken where it has none.
    size_t Insert(uint64_t h) {
        size_t x = Home(h);
        while (slots[x] != h && slots[x] != 0) x = (x + 1) & (cap - 1);
        slots[x] = h;
        return x;
    }
    // The slot of each of hashes, added in order.
    std::vector<uint32_t> Add(const std::vector<uint64_t>& hashes) {
        std::vector<uint32_t> slotAt(hashes.size());
        for (size_t k = 0; k < hashes.size(); ++k) {
            if (k + kAhead < hashes.size()) __builtin_prefetch(&slots[Home(hashes[k + kAhead])], 1);
            slotAt[k] = static_cast<uint32_t>(Insert(hashes[k]));
            const size_t b = FilterBit(hashes[k]);
            filter[b >> 6] |= uint64_t{1} << (b & 63);
        }
        return slotAt;
    }
    // Marks the slot of each left run of q lines from first to last of ids
    // found in the table. Two rings of left runs: those whose filter word
    // is on its way, and those the filter passed whose slot is.
    void MarkFound(const std::vector<int>& ids, int first, int last, int q, uint8_t* marks) const {
        uint64_t checks[kAhead], probes[kAhead];
        size_t nChecks = 0, nProbes = 0;
        auto probe = [&](uint64_t h) {
            const size_t x = Find(h);
            if (x < cap) marks[x] = 1;
        };
        auto check = [&](uint64_t h) {
            const size_t b = FilterBit(h);
            if (!((filter[b >> 6] >> (b & 63)) & 1)) return;
            uint64_t& slot = probes[nProbes++ % kAhead];
            if (nProbes > kAhead) probe(slot);
            slot = h;
            __builtin_prefetch(&slots[Home(h)]);
        };
        RollRange(ids, first, last, q, [&](int, uint64_t h) {
            h |= 1;
            uint64_t& slot = checks[nChecks++ % kAhead];
            if (nChecks > kAhead) check(slot);
            slot = h;
            __builtin_prefetch(&filter[FilterBit(h) >> 6]);
        });
        for (size_t k = nChecks > kAhead ? nChecks - kAhead : 0; k < nChecks; ++k) check(checks[k % kAhead]);
        for (size_t k = nProbes > kAhead ? nProbes - kAhead : 0; k < nProbes; ++k) probe(probes[k % kAhead]);
    }
};
}  // namespace

// Few open runs: their hashes in a small table, every left run looked up
// in it. Sets absent for each open run found nowhere on the left. The
// table is larger than the caches where the open runs are many, and a
// run's slot is at a random place in it: slots (and the filter's words)
// are read a few runs after a fetch of them was asked for.
void CTextDiff::Matcher::AbsentByTable(int q, const std::vector<int>& open, std::vector<uint8_t>& absent) const {
    OpenRunTable table(open.size());
    std::vector<uint64_t> hashes(open.size());
    // The open runs lie in stretches of consecutive first lines; the hash
    // is rolled along each.
    for (size_t o = 0; o < open.size();) {
        size_t end = o + 1;
        while (end < open.size() && open[end] == open[end - 1] + 1) ++end;
        RollRange(m_R, open[o], open[end - 1], q, [&](int, uint64_t h) { hashes[o++] = h | 1; });
    }
    const std::vector<uint32_t> slotAt = table.Add(hashes);
    // The left runs are looked up in parts at once (many of them), each
    // part marking the open runs it finds in a list of its own.
    const int runs = m_nL - q + 1;
    const int parts = runs >= (1 << 16) ? 4 : 1;
    std::vector<std::vector<uint8_t>> found(parts, std::vector<uint8_t>(table.cap, 0));
    RunInParts(parts, [&](size_t part) {
        const int from = static_cast<int>(part) * (runs / parts);
        const int last = part + 1 == static_cast<size_t>(parts) ? runs - 1 : from + runs / parts - 1;
        table.MarkFound(m_L, from, last, q, found[part].data());
    });
    for (size_t part = 1; part < found.size(); ++part)
        for (size_t x = 0; x < table.cap; ++x) found[0][x] |= found[part][x];
    for (size_t k = 0; k < open.size(); ++k) absent[open[k]] = !found[0][slotAt[k]];
}

// Many open runs: the left runs kept as a filter of bits, two per run in
// one word. Sets absent for each open run found nowhere on the left; the
// open runs are those listed, or when the list is empty every right run
// outside the stretches.
void CTextDiff::Matcher::AbsentByFilter(int q, const std::vector<int>& open, std::vector<uint8_t>& absent) const {
    int bits = 16;
    while (bits < 40 && (1L << bits) < 32L * m_nL) ++bits;
    // Both bits of a run lie in one word, so that a run costs one place in
    // memory.
    auto probes = [bits](uint64_t h, uint64_t& word, uint64_t& mask) {
        const uint64_t y = h * 0xFF51AFD7ED558CCDULL;
        word = (h * 0xD6E8FEB86659FD93ULL) >> (70 - bits);
        mask = (1ULL << (y >> 58)) | (1ULL << ((y >> 52) & 63));
    };
    // (In huge pages where the system gives them: see AbsentByTable.)
    std::vector<uint64_t> filter;
    ReserveHuge(filter, static_cast<size_t>(1) << (bits - 6));
    filter.assign(static_cast<size_t>(1) << (bits - 6), 0);
    // The words are read a few runs after their place is known, once a
    // fetch asked for then has brought them in: the filter is larger than
    // the caches, and a run's word is at a random place in it.
    constexpr int kAhead = 16;
    struct Probe {
        int p;
        uint64_t word, mask;
    };
    Probe ring[kAhead];
    long queued = 0;
    auto queue = [&](int p, uint64_t h, bool forWrite, auto&& use) {
        Probe& slot = ring[queued % kAhead];
        if (queued >= kAhead) use(slot);
        slot.p = p;
        probes(h, slot.word, slot.mask);
        if (forWrite) __builtin_prefetch(&filter[slot.word], 1);
        else __builtin_prefetch(&filter[slot.word], 0);
        ++queued;
    };
    auto drain = [&](auto&& use) {
        for (long k = std::max(0L, queued - kAhead); k < queued; ++k) use(ring[k % kAhead]);
        queued = 0;
    };
    auto add = [&](const Probe& x) { filter[x.word] |= x.mask; };
    RollRuns(m_L, m_nL, q, [&](int p, uint64_t h) { queue(p, h, true, add); });
    drain(add);
    auto look = [&](const Probe& x) { absent[x.p] = (filter[x.word] & x.mask) != x.mask; };
    auto lookUp = [&](int p, uint64_t h) { queue(p, h, false, look); };
    if (open.empty()) {
        OpenRanges(q, [&](int from, int to) { RollRange(m_R, from, to, q, lookUp); });
    } else {
        for (size_t o = 0; o < open.size();) {
            size_t end = o + 1;
            while (end < open.size() && open[end] == open[end - 1] + 1) ++end;
            RollRange(m_R, open[o], open[end - 1], q, lookUp);
            o = end;
        }
    }
    drain(look);
}

// The longest match of each line anywhere on the left, from the suffix
// order; bounds only ever come down. The order costs a few passes over
// both inputs and a good deal of memory while it is built, and it only
// spares the scans of lines whose bound was above the run they have; so
// where at least a quarter of the lines scanned so far found a run as long
// as their bound (the suffix order would have given them no less), the
// bounds are good enough: the scans go on for another stretch and are
// looked at again then.
void CTextDiff::Matcher::TightenBounds() {
    long known = 0, full = 0;
    for (int i = 0; i < m_nR; ++i) {
        if (m_Bound[i] <= 0 || m_Cache[i].code == 0) continue;
        ++known;
        full += m_Cache[i].code - 2 >= m_Bound[i];
    }
    if (4 * full >= known) {
        m_nScanBudget = m_nScanned + m_nR / 16 + 1024;
        return;
    }
    m_bTight = true;
    m_bTrial = false;
    const std::vector<int> longest = LongestMatches(m_R, m_L, m_nKeys, m_pBreak);
    // (Stopped meanwhile: the caller ends the passes.)
    if (longest.empty()) return;
    for (int i = 0; i < m_nR; ++i) m_Bound[i] = std::min(m_Bound[i], longest[i]);
    TreeBuild();
}
