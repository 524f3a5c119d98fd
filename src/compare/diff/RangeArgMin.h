// The rarest line of a range of right lines. Takes the right line numbers
// and the start of each number's left places; gives, for any range, a line
// in it with the fewest places on the left.
#pragma once

#include <algorithm>
#include <vector>

namespace textdiff {

// The place of the smallest value in any range of a list (the first such
// place in each piece the range is cut into): the ends place by place, the
// whole blocks of 32 places between them by the least place of each block
// (kept with its value), and whole runs of 8 blocks by a table of doubling
// spans over them. The table over runs of blocks rather than blocks keeps
// it small (under a byte per place), and the values kept beside the places
// spare the reads of the places' keys.
class RangeArgMin {
public:
    // The value of place p is the count of its key, start[keys[p] + 1] -
    // start[keys[p]], read again whenever needed; both lists must outlive
    // this.
    RangeArgMin(int n, const int* keys, const int* start) : m_pKeys(keys), m_pStart(start) {
        const int blocks = (n + kBlock - 1) / kBlock;
        m_Least.resize(blocks);
        for (int b = 0; b < blocks; ++b) {
            const int p = Scan(b * kBlock, std::min(n, (b + 1) * kBlock) - 1);
            m_Least[b] = {p, CountAt(p)};
        }
        const int groups = (blocks + kGroup - 1) / kGroup;
        std::vector<Least> level(groups);
        for (int g = 0; g < groups; ++g) level[g] = ScanBlocks(g * kGroup, std::min(blocks, (g + 1) * kGroup) - 1);
        m_Sparse.push_back(std::move(level));
        for (int w = 1; 2 * w <= groups; w *= 2) {
            const std::vector<Least>& prev = m_Sparse.back();
            std::vector<Least> next(groups - 2 * w + 1);
            for (size_t g = 0; g < next.size(); ++g) next[g] = Better(prev[g], prev[g + w]);
            m_Sparse.push_back(std::move(next));
        }
    }
    int Value(int p) const { return CountAt(p); }
    // A place in [lo, hi] with the smallest value.
    int Find(int lo, int hi) const {
        const int bl = lo / kBlock, bh = hi / kBlock;
        if (bl == bh) return Scan(lo, hi);
        const int a = Scan(lo, (bl + 1) * kBlock - 1);
        const int b = Scan(bh * kBlock, hi);
        Least best = Better(Least{a, CountAt(a)}, Least{b, CountAt(b)});
        if (bl + 1 <= bh - 1) best = Better(best, Blocks(bl + 1, bh - 1));
        return best.place;
    }

private:
    static constexpr int kBlock = 32;
    static constexpr int kGroup = 8;  // blocks
    struct Least {
        int place, value;
    };
    // The first on a tie.
    static Least Better(const Least& a, const Least& b) { return b.value < a.value ? b : a; }
    int Scan(int lo, int hi) const {
        int best = lo, least = CountAt(lo);
        for (int p = lo + 1; p <= hi; ++p) {
            const int v = CountAt(p);
            if (v < least) {
                best = p;
                least = v;
            }
        }
        return best;
    }
    // The first least place of the blocks a to b.
    Least ScanBlocks(int a, int b) const {
        Least best = m_Least[a];
        for (int x = a + 1; x <= b; ++x) best = Better(best, m_Least[x]);
        return best;
    }
    // The first least place of the whole blocks a to b.
    Least Blocks(int a, int b) const {
        const int ga = a / kGroup, gb = b / kGroup;
        if (ga == gb) return ScanBlocks(a, b);
        Least best = ScanBlocks(a, (ga + 1) * kGroup - 1);
        if (ga + 1 <= gb - 1) {
            const int k = 31 - __builtin_clz(static_cast<unsigned>(gb - 1 - ga));
            best = Better(best, Better(m_Sparse[k][ga + 1], m_Sparse[k][gb - (1 << k)]));
        }
        return Better(best, ScanBlocks(gb * kGroup, b));
    }
    int CountAt(int p) const {
        const int key = m_pKeys[p];
        return m_pStart[key + 1] - m_pStart[key];
    }
    const int* m_pKeys;
    const int* m_pStart;
    std::vector<Least> m_Least;
    std::vector<std::vector<Least>> m_Sparse;
};

}  // namespace textdiff
