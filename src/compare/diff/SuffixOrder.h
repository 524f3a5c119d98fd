// The sorted order of all suffixes of the two lists of line numbers, read
// as one list. Takes the right and the left line numbers; gives the equal
// lines from any right place and any left place in constant time
// (EqualLineIndex), and for each right line the most equal lines it starts
// anywhere on the left (LongestMatches).
#pragma once

#include <algorithm>
#include <atomic>
#include <climits>
#include <vector>

namespace textdiff {

// The right lines, a separator found nowhere else, the left lines and the
// end, as one list of numbers read in place: line numbers + 2, then 1, then
// line numbers + 2, then 0.
class JoinedLines {
public:
    JoinedLines(const std::vector<int>& right, const std::vector<int>& left)
        : m_pR(right.data()), m_pL(left.data()), m_nR(static_cast<int>(right.size())),
          m_nEnd(static_cast<int>(right.size() + left.size()) + 1) {}
    int size() const { return m_nEnd + 1; }
    int operator[](int p) const {
        if (p < m_nR) return m_pR[p] + 2;
        if (p == m_nR) return 1;
        if (p < m_nEnd) return m_pL[p - m_nR - 1] + 2;
        return 0;
    }

private:
    const int* m_pR;
    const int* m_pL;
    int m_nR, m_nEnd;
};

// The number of equal lines from any right place and any left place, in
// constant time: the suffixes of the two line lists are sorted together
// (by induced sorting), and the equal lines of two suffixes are the least
// common prefix between them in that order. Built only when walking the
// diagonals line by line has grown too costly.
class EqualLineIndex {
public:
    // ids of both lists are numbers below keyCount.
    EqualLineIndex(const std::vector<int>& right, const std::vector<int>& left, int keyCount);

    // Equal lines from right line i and left line j on.
    int Equal(int i, int j) const {
        int a = m_Rank[i], b = m_Rank[m_nR + 1 + j];
        if (a > b) std::swap(a, b);
        return RangeMin(a + 1, b);
    }

    // Suffix order of s[0 .. n-1] whose last value is a 0 found nowhere else
    // and whose values are below k; left unfinished once *stop is true.
    template <class Text>
    static void SortSuffixes(const Text& s, int* sa, int n, int k, const std::atomic<bool>* stop = nullptr);

private:
    static constexpr int kBlock = 16;

    int RangeMin(int lo, int hi) const {
        int m = INT_MAX;
        const int bl = lo / kBlock, bh = hi / kBlock;
        if (bl == bh) {
            for (int r = lo; r <= hi; ++r) m = std::min(m, m_Common[r]);
            return m;
        }
        for (int r = lo; r < (bl + 1) * kBlock; ++r) m = std::min(m, m_Common[r]);
        for (int r = bh * kBlock; r <= hi; ++r) m = std::min(m, m_Common[r]);
        if (bl + 1 <= bh - 1) {
            const int count = bh - 1 - bl;
            const int k = 31 - __builtin_clz(static_cast<unsigned>(count));
            m = std::min({m, m_Sparse[k][bl + 1], m_Sparse[k][bh - (1 << k)]});
        }
        return m;
    }

    int m_nR = 0;
    std::vector<int> m_Rank;
    std::vector<int> m_Common;
    std::vector<std::vector<int>> m_Sparse;
};

// For each right line, the most equal lines it starts anywhere on the left:
// the longest common prefix of its suffix with any left suffix, read from
// the suffix order of both lists (the common prefix with the nearest left
// suffix above and below it in that order). Line numbers are below keyCount.
// Empty once *stop is true (looked at between the passes).
std::vector<int> LongestMatches(const std::vector<int>& right, const std::vector<int>& left, int keyCount,
                                const std::atomic<bool>* stop = nullptr);

}  // namespace textdiff
