// The rarest line of a range of right lines. Takes the right line numbers
// and the start of each number's left places; gives, for any range, a line
// in it with the fewest places on the left.
#pragma once

#include <algorithm>
#include <vector>

namespace textdiff {

// The place of the smallest value in any range of a list: ranges of blocks
// of 32 places by a table of doubling spans, the ends place by place.
class RangeArgMin {
public:
    // The value of place p is the count of its key, start[keys[p] + 1] -
    // start[keys[p]], read again whenever needed; both lists must outlive
    // this.
    RangeArgMin(int n, const int* keys, const int* start) : m_pKeys(keys), m_pStart(start) {
        const int blocks = (n + kBlock - 1) / kBlock;
        std::vector<int> level(blocks);
        for (int b = 0; b < blocks; ++b) level[b] = Scan(b * kBlock, std::min(n, (b + 1) * kBlock) - 1);
        m_Sparse.push_back(std::move(level));
        for (int w = 1; 2 * w <= blocks; w *= 2) {
            const std::vector<int>& prev = m_Sparse.back();
            std::vector<int> next(blocks - 2 * w + 1);
            for (size_t b = 0; b < next.size(); ++b) next[b] = Better(prev[b], prev[b + w]);
            m_Sparse.push_back(std::move(next));
        }
    }
    int Value(int p) const { return CountAt(p); }
    // A place in [lo, hi] with the smallest value.
    int Find(int lo, int hi) const {
        const int bl = lo / kBlock, bh = hi / kBlock;
        if (bl == bh) return Scan(lo, hi);
        int best = Better(Scan(lo, (bl + 1) * kBlock - 1), Scan(bh * kBlock, hi));
        if (bl + 1 <= bh - 1) {
            const int k = 31 - __builtin_clz(static_cast<unsigned>(bh - 1 - bl));
            best = Better(best, Better(m_Sparse[k][bl + 1], m_Sparse[k][bh - (1 << k)]));
        }
        return best;
    }

private:
    static constexpr int kBlock = 32;
    int Better(int a, int b) const { return CountAt(b) < CountAt(a) ? b : a; }
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
    int CountAt(int p) const {
        const int key = m_pKeys[p];
        return m_pStart[key + 1] - m_pStart[key];
    }
    const int* m_pKeys;
    const int* m_pStart;
    std::vector<std::vector<int>> m_Sparse;
};

}  // namespace textdiff
