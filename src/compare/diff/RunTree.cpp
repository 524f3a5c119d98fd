// The tree over the run cache: the block tree of the matcher. Takes the
// run found for each right line (or the bound of a line not known) in the
// run cache; gives, over any range of right lines, the longest of them, the
// first line with the longest, and the first line whose run no longer fits
// a part. The leaves are blocks of kLeaf right lines, looked at one by one.
#include "compare/diff/InParts.h"
#include "compare/diff/Matcher.h"

using textdiff::RunInParts;

CTextDiff::Matcher::Node CTextDiff::Matcher::Leaf(int i) const {
    if (i >= m_nR) return {INT_MAX, INT_MIN, INT_MIN, -1};
    const CDiffRun c = Cached(i);
    if (c.length > 0) return {c.start, c.start + c.length - 1, i + c.length - 1, c.length};
    if (c.length == -1) return {INT_MAX, INT_MIN, INT_MIN, -1};
    // Not known: stands for the longest run it may have.
    return {INT_MAX, INT_MIN, INT_MIN, m_Bound[i]};
}

// The leaves of a block combined, read in one pass: most lines of a block
// are not known yet and give only their bound.
CTextDiff::Matcher::Node CTextDiff::Matcher::BlockNode(int block) const {
    Node n{INT_MAX, INT_MIN, INT_MIN, -1};
    const int lo = block * kLeaf;
    const int hi = std::min(lo + kLeaf, m_nR);
    int maxLen = -1;
    for (int i = lo; i < hi; ++i) {
        const Entry e = m_Cache[i];
        const int length = e.code - 2;
        if (length > 0) {
            n.minStart = std::min(n.minStart, e.start);
            n.maxLEnd = std::max(n.maxLEnd, e.start + length - 1);
            n.maxREnd = std::max(n.maxREnd, i + length - 1);
        }
        maxLen = std::max(maxLen, e.code == 0 ? m_Bound[i] : length);
    }
    n.maxLen = maxLen;
    return n;
}

// Many blocks are read in parts at once. Where no run is in the cache yet
// (noRuns), a block gives the longest bound of its lines, without a read
// of the cache (whose pages are then never faulted in).
void CTextDiff::Matcher::TreeBuild(bool noRuns) {
    const int blocks = (m_nR + kLeaf - 1) / kLeaf;
    m_nSize = 1;
    while (m_nSize < blocks) m_nSize <<= 1;
    m_Tree.resize(2 * static_cast<size_t>(m_nSize));
    constexpr int kBlocksInParts = 1 << 12;
    const int parts = m_nSize >= kBlocksInParts ? 4 : 1;
    RunInParts(parts, [&](size_t part) {
        const int from = static_cast<int>(part) * (m_nSize / parts), to = from + m_nSize / parts;
        if (!noRuns) {
            for (int b = from; b < to; ++b) m_Tree[m_nSize + b] = BlockNode(b);
            return;
        }
        for (int b = from; b < to; ++b) {
            const int lo = std::min(b * kLeaf, m_nR), hi = std::min(lo + kLeaf, m_nR);
            int maxLen = -1;
            for (int i = lo; i < hi; ++i) maxLen = std::max(maxLen, m_Bound[i]);
            m_Tree[m_nSize + b] = {INT_MAX, INT_MIN, INT_MIN, maxLen};
        }
    });
    for (int node = m_nSize - 1; node >= 1; --node)
        m_Tree[node] = Combine(m_Tree[2 * node], m_Tree[2 * node + 1]);
}

void CTextDiff::Matcher::TreeRebuild(int a, int b) {
    int lo = a / kLeaf, hi = b / kLeaf;
    for (int block = lo; block <= hi; ++block) m_Tree[m_nSize + block] = BlockNode(block);
    for (lo = (m_nSize + lo) >> 1, hi = (m_nSize + hi) >> 1; lo >= 1; lo >>= 1, hi >>= 1)
        for (int node = lo; node <= hi; ++node) m_Tree[node] = Combine(m_Tree[2 * node], m_Tree[2 * node + 1]);
}

void CTextDiff::Matcher::TreeSet(int i) {
    int node = m_nSize + i / kLeaf;
    m_Tree[node] = BlockNode(i / kLeaf);
    for (node >>= 1; node >= 1; node >>= 1) {
        const Node n = Combine(m_Tree[2 * node], m_Tree[2 * node + 1]);
        if (n == m_Tree[node]) break;
        m_Tree[node] = n;
    }
}

template <class Want>
int CTextDiff::Matcher::FirstWith(int a, int b, Want want) const {
    if (a > b) return b + 1;
    const int ba = a / kLeaf, bb = b / kLeaf;
    const int firstEnd = ba == bb ? b : (ba + 1) * kLeaf - 1;
    for (int i = a; i <= firstEnd; ++i)
        if (want(Leaf(i))) return i;
    if (ba == bb) return b + 1;
    if (ba + 1 <= bb - 1) {
        const int block = FirstBlockIn(1, 0, m_nSize - 1, ba + 1, bb - 1, want);
        if (block >= 0) {
            for (int i = block * kLeaf;; ++i)
                if (want(Leaf(i))) return i;
        }
    }
    for (int i = bb * kLeaf; i <= b; ++i)
        if (want(Leaf(i))) return i;
    return b + 1;
}

template <class Want>
int CTextDiff::Matcher::FirstBlockIn(int node, int lo, int hi, int a, int b, Want want) const {
    if (hi < a || lo > b || !want(m_Tree[node])) return -1;
    if (lo == hi) return lo;
    const int mid = (lo + hi) / 2;
    const int r = FirstBlockIn(2 * node, lo, mid, a, b, want);
    if (r >= 0) return r;
    return FirstBlockIn(2 * node + 1, mid + 1, hi, a, b, want);
}

// The first right line in [a, b] whose run no longer fits the part.
int CTextDiff::Matcher::FirstEvent(int a, int b, int lF, int lL, int rL) const {
    return FirstWith(a, b, [&](const Node& n) { return NodeHasEvent(n, lF, lL, rL); });
}

// The first right line in [a, b] whose run (or bound) is at least length.
int CTextDiff::Matcher::FirstLongest(int a, int b, int length) const {
    return FirstWith(a, b, [length](const Node& n) { return n.maxLen >= length; });
}

// The longest cached length (or bound) in [a, b].
int CTextDiff::Matcher::RangeMax(int a, int b) const {
    const int ba = a / kLeaf, bb = b / kLeaf;
    int m = INT_MIN;
    const int firstEnd = ba == bb ? b : (ba + 1) * kLeaf - 1;
    for (int i = a; i <= firstEnd; ++i) m = std::max(m, Leaf(i).maxLen);
    if (ba == bb) return m;
    if (ba + 1 <= bb - 1) m = std::max(m, RangeMaxIn(1, 0, m_nSize - 1, ba + 1, bb - 1));
    for (int i = bb * kLeaf; i <= b; ++i) m = std::max(m, Leaf(i).maxLen);
    return m;
}

int CTextDiff::Matcher::RangeMaxIn(int node, int lo, int hi, int a, int b) const {
    if (hi < a || lo > b) return INT_MIN;
    if (a <= lo && hi <= b) return m_Tree[node].maxLen;
    const int mid = (lo + hi) / 2;
    return std::max(RangeMaxIn(2 * node, lo, mid, a, b), RangeMaxIn(2 * node + 1, mid + 1, hi, a, b));
}

