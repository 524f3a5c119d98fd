// Inputs that share little but one text: the matcher's way out where the
// procedure cannot end in time. Two files that have nothing in common but
// their blank lines (a file of C headers against one of other text, each a
// fifth blank) leave the procedure a run of one or two blank lines in
// every part, and every pass over a part rescans the blank lines it holds
// over the blank lines of its left lines: its work grows with the square of
// the lines (minutes at a million lines). There the procedure's way is
// given up, at once where the runs of blank lines are many on both sides,
// else once its passes go past a budget of work, and the runs come from a
// longest common subsequence of the lines instead: no edit script marks
// fewer lines.
//
// How it is found. Lines whose text the other side lacks are never
// matched. Of the texts both sides have, the one of the most pairs of
// lines (the bulk text) is left aside; the lines of the others make few
// pairs (at most kFewPairs), else the procedure's way goes on. A common
// subsequence is then a chain of such pairs in order, with lines of the
// bulk text matched between each two of them, as many as the side with
// fewer of them there has; the longest chain of that sum is found over the
// pairs, each taking the best of the pairs before it.
#include <algorithm>
#include <climits>

#include "compare/diff/Matcher.h"

// Where no more than kFewPairs pairs of lines share a text other than the
// bulk text (m_nBulkText, set here): gives up at once (true) where the
// runs of lines of the bulk text, counted on each side, are so many that
// the procedure's passes would take long (their product at least 64 lines
// looked at for each line of both inputs, and 1,024 on each side at
// least); else sets the budget of work.
bool CTextDiff::Matcher::GiveUpAtOnce() {
    std::vector<int> onRight(static_cast<size_t>(m_nKeys), 0);
    for (const int key : m_R) ++onRight[static_cast<size_t>(key)];
    long double most = 0, all = 0;
    for (int key = 0; key < m_nKeys; ++key) {
        const long double pairs = static_cast<long double>(m_Single.Count(key)) * onRight[static_cast<size_t>(key)];
        all += pairs;
        if (pairs > most) {
            most = pairs;
            m_nBulkText = key;
        }
    }
    if (all - most > kFewPairs) return false;
    auto runsOf = [&](const std::vector<int>& lines) {
        long runs = 0;
        for (size_t k = 0; k < lines.size(); ++k)
            runs += lines[k] == m_nBulkText && (k == 0 || lines[k - 1] != m_nBulkText);
        return runs;
    };
    const long runsL = m_nBulkText < 0 ? 0 : runsOf(m_L), runsR = m_nBulkText < 0 ? 0 : runsOf(m_R);
    if (std::min(runsL, runsR) >= 1024 &&
        static_cast<long double>(runsL) * runsR >= 64.0L * (static_cast<long double>(m_nL) + m_nR))
        return m_bGaveUp = true;
    m_nWorkBudget = 2 * 1048576L + 4 * (static_cast<long>(m_nL) + m_nR);
    return false;
}

bool CTextDiff::Matcher::LongestCommonRuns(std::vector<CDiffChange>& runs) {
    runs.clear();
    const int bulk = m_nBulkText;
    // The places of the bulk text on each side, ascending.
    std::vector<int> bulkL, bulkR;
    if (bulk >= 0) {
        const int* first = m_Single.pos.data() + m_Single.start[bulk];
        bulkL.assign(first, first + m_Single.Count(bulk));
    }
    // The pairs of the other texts both have, by left line, then right line.
    struct Pair {
        int i, j;   // left line, right line
        int bl, br;  // lines of the bulk text before them, on each side
        int best = 0, from = -1;
    };
    std::vector<std::pair<int, int>> byText;  // (left line, right line)
    for (int k = 0; k < m_nR; ++k) {
        if ((k & 0xFFFF) == 0 && Stopped()) return false;
        const int key = m_R[k];
        if (key == bulk) {
            bulkR.push_back(k);
        } else if (m_Single.Count(key) > 0) {
            const int* first = m_Single.pos.data() + m_Single.start[key];
            for (const int* q = first; q < first + m_Single.Count(key); ++q) byText.emplace_back(*q, k);
        }
    }
    std::sort(byText.begin(), byText.end());
    std::vector<Pair> pairs;
    pairs.reserve(byText.size());
    for (const auto& [i, j] : byText) {
        const int bl = static_cast<int>(std::lower_bound(bulkL.begin(), bulkL.end(), i) - bulkL.begin());
        const int br = static_cast<int>(std::lower_bound(bulkR.begin(), bulkR.end(), j) - bulkR.begin());
        pairs.push_back({i, j, bl, br});
    }
    // Each pair: the longest subsequence that ends with it.
    for (size_t p = 0; p < pairs.size(); ++p) {
        if ((p & 63) == 0 && Stopped()) return false;
        Pair& at = pairs[p];
        at.best = std::min(at.bl, at.br) + 1;
        for (size_t q = 0; q < p; ++q) {
            const Pair& before = pairs[q];
            if (before.i >= at.i || before.j >= at.j) continue;
            const int v = before.best + std::min(at.bl - before.bl, at.br - before.br) + 1;
            if (v > at.best) {
                at.best = v;
                at.from = static_cast<int>(q);
            }
        }
    }
    const int totalL = static_cast<int>(bulkL.size()), totalR = static_cast<int>(bulkR.size());
    int best = std::min(totalL, totalR), last = -1;
    for (size_t p = 0; p < pairs.size(); ++p) {
        const int v = pairs[p].best + std::min(totalL - pairs[p].bl, totalR - pairs[p].br);
        if (v > best) {
            best = v;
            last = static_cast<int>(p);
        }
    }
    runs.reserve(static_cast<size_t>(best));
    // The chain from its first pair on, then the lines matched: between
    // two pairs (or an end), the first lines of the bulk text on each side.
    std::vector<int> chain;
    for (int p = last; p >= 0; p = pairs[static_cast<size_t>(p)].from) chain.push_back(p);
    std::reverse(chain.begin(), chain.end());
    int bl = 0, br = 0;
    auto add = [&](int i, int j) {
        if (!runs.empty() && runs.back().leftPos + runs.back().count == i &&
            runs.back().rightPos + runs.back().count == j) {
            ++runs.back().count;
        } else {
            runs.push_back({j, i, 1, kDiffSame});
        }
    };
    auto bulkBetween = [&](int toL, int toR) {
        const int n = std::min(toL - bl, toR - br);
        for (int k = 0; k < n; ++k) add(bulkL[static_cast<size_t>(bl + k)], bulkR[static_cast<size_t>(br + k)]);
    };
    for (const int p : chain) {
        const Pair& at = pairs[static_cast<size_t>(p)];
        bulkBetween(at.bl, at.br);
        add(at.i, at.j);
        bl = at.bl;
        br = at.br;
    }
    bulkBetween(totalL, totalR);
    return true;
}
