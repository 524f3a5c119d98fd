// The suffix order of the two lists of line numbers (see SuffixOrder.h):
// takes the right and the left line numbers, gives the equal-line index
// and the longest match of each right line. Suffixes are sorted by induced
// sorting (SA-IS), the common prefixes of neighbours in the order by
// Kasai's walk over text places.
#include "compare/diff/SuffixOrder.h"

namespace textdiff {

namespace {
// The common prefix of each text place's suffix with the suffix before it
// in the order (0 for the first in the order), by text place.
std::vector<int> CommonPrefixesByPlace(const JoinedLines& text, const std::vector<int>& order) {
    const int n = static_cast<int>(order.size());
    std::vector<int> common(n);
    common[order[0]] = -1;
    for (int r = 1; r < n; ++r) common[order[r]] = order[r - 1];
    int h = 0;
    for (int p = 0; p < n; ++p) {
        const int q = common[p];
        if (q < 0) {
            common[p] = 0;
            h = 0;
            continue;
        }
        while (p + h < n && q + h < n && text[p + h] == text[q + h]) ++h;
        common[p] = h;
        if (h > 0) --h;
    }
    return common;
}
}  // namespace

EqualLineIndex::EqualLineIndex(const std::vector<int>& right, const std::vector<int>& left, int keyCount) {
    m_nR = static_cast<int>(right.size());
    const int n = m_nR + static_cast<int>(left.size()) + 2;
    const JoinedLines text(right, left);
    std::vector<int> order(n);
    SortSuffixes(text, order.data(), n, keyCount + 2);
    // Common prefix of each suffix with the one before it in the order:
    // first by text place, then moved to order places. Each list is let go
    // as soon as it is no longer needed.
    std::vector<int> common = CommonPrefixesByPlace(text, order);
    m_Rank.resize(n);
    for (int r = 0; r < n; ++r) m_Rank[order[r]] = r;
    for (int r = 0; r < n; ++r) order[r] = common[order[r]];
    std::vector<int>().swap(common);
    m_Common = std::move(order);
    // Minimum of each block of the order, and of runs of 2^k blocks.
    const int blocks = (n + kBlock - 1) / kBlock;
    std::vector<int> level(blocks, INT_MAX);
    for (int r = 0; r < n; ++r) level[r / kBlock] = std::min(level[r / kBlock], m_Common[r]);
    m_Sparse.push_back(std::move(level));
    for (int w = 1; 2 * w <= blocks; w *= 2) {
        const std::vector<int>& prev = m_Sparse.back();
        std::vector<int> next(blocks - 2 * w + 1);
        for (size_t b = 0; b < next.size(); ++b) next[b] = std::min(prev[b], prev[b + w]);
        m_Sparse.push_back(std::move(next));
    }
}

template <class Text>
void EqualLineIndex::SortSuffixes(const Text& s, int* sa, int n, int k, const std::atomic<bool>* stop) {
    // A stop leaves the order unfinished, looked at between the passes.
    auto stopped = [&] { return stop && stop->load(std::memory_order_relaxed); };
    std::vector<char> small(n);  // the suffix is smaller than the next one
    small[n - 1] = 1;
    for (int p = n - 2; p >= 0; --p)
        small[p] = s[p] < s[p + 1] || (s[p] == s[p + 1] && small[p + 1]);
    auto isLms = [&](int p) { return p > 0 && small[p] && !small[p - 1]; };
    std::vector<int> count(k + 1, 0);
    for (int p = 0; p < n; ++p) ++count[s[p] + 1];
    for (int c = 0; c < k; ++c) count[c + 1] += count[c];
    std::vector<int> bucket(k);
    auto induce = [&](const std::vector<int>& lms) {
        std::fill(sa, sa + n, -1);
        for (int c = 0; c < k; ++c) bucket[c] = count[c + 1];
        for (size_t x = lms.size(); x-- > 0;) sa[--bucket[s[lms[x]]]] = lms[x];
        for (int c = 0; c < k; ++c) bucket[c] = count[c];
        for (int r = 0; r < n; ++r) {
            const int p = sa[r] - 1;
            if (sa[r] > 0 && !small[p]) sa[bucket[s[p]]++] = p;
        }
        for (int c = 0; c < k; ++c) bucket[c] = count[c + 1];
        for (int r = n - 1; r >= 0; --r) {
            const int p = sa[r] - 1;
            if (sa[r] > 0 && small[p]) sa[--bucket[s[p]]] = p;
        }
    };
    std::vector<int> lms;
    for (int p = 1; p < n; ++p)
        if (isLms(p)) lms.push_back(p);
    if (stopped()) return;
    induce(lms);
    if (stopped()) return;
    // Name the sorted LMS pieces; equal pieces share a name. The sorted
    // pieces are moved to the front of sa, and the name of the piece at
    // p is kept at sa[m + p / 2] (pieces start at least two apart), so
    // that reading that half in order gives the names in text order.
    const int m = static_cast<int>(lms.size());
    {
        int x = 0;
        for (int r = 0; r < n; ++r)
            if (isLms(sa[r])) sa[x++] = sa[r];
    }
    std::fill(sa + m, sa + n, -1);
    int names = 0, prev = -1;
    for (int x = 0; x < m; ++x) {
        const int p = sa[x];
        bool same = prev >= 0;
        for (int d = 0; same; ++d) {
            if (s[p + d] != s[prev + d] || small[p + d] != small[prev + d]) {
                same = false;
            } else if (d > 0 && (isLms(p + d) || isLms(prev + d))) {
                same = isLms(p + d) && isLms(prev + d);
                break;
            }
        }
        if (!same) ++names;
        sa[m + p / 2] = names - 1;
        prev = p;
    }
    std::vector<int> reduced(m), reducedOrder(m);
    {
        int x = 0;
        for (int q = m; q < n; ++q)
            if (sa[q] >= 0) reduced[x++] = sa[q];
    }
    if (stopped()) return;
    if (names < m) {
        SortSuffixes(reduced.data(), reducedOrder.data(), m, names, stop);
        if (stopped()) return;
    } else {
        for (int x = 0; x < m; ++x) reducedOrder[reduced[x]] = x;
    }
    // The LMS suffixes in their order, written over the names.
    for (int x = 0; x < m; ++x) reduced[x] = lms[reducedOrder[x]];
    std::vector<int>().swap(lms);
    std::vector<int>().swap(reducedOrder);
    induce(reduced);
}

std::vector<int> LongestMatches(const std::vector<int>& right, const std::vector<int>& left, int keyCount,
                                const std::atomic<bool>* stop) {
    const int nR = static_cast<int>(right.size());
    const int n = nR + static_cast<int>(left.size()) + 2;
    const JoinedLines text(right, left);
    std::vector<int> order(n);
    EqualLineIndex::SortSuffixes(text, order.data(), n, keyCount + 2, stop);
    if (stop && stop->load(std::memory_order_relaxed)) return {};
    // common[p] belongs to text place p; the passes go in order.
    const std::vector<int> common = CommonPrefixesByPlace(text, order);
    if (stop && stop->load(std::memory_order_relaxed)) return {};
    std::vector<int> best(nR, 0);
    auto isLeft = [&](int p) { return p > nR && p < n - 1; };
    int run = -1;  // common prefix with the last left suffix seen; -1 none
    for (int r = 0; r < n; ++r) {
        const int p = order[r];
        if (run >= 0) run = std::min(run, common[p]);
        if (isLeft(p)) run = INT_MAX;
        else if (p < nR && run > best[p]) best[p] = run;
    }
    run = -1;
    for (int r = n - 1; r >= 0; --r) {
        const int p = order[r];
        if (isLeft(p)) run = INT_MAX;
        else if (p < nR && run > best[p]) best[p] = run;
        if (run >= 0) run = std::min(run, common[p]);
    }
    return best;
}

}  // namespace textdiff
