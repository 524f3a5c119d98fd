// The matching procedure written out plainly, line by line and with nested
// calls, to check the engine's fast matcher against.
#pragma once

#include <algorithm>
#include <vector>

#include "compare/DiffChange.h"
#include "model/DiffLine.h"
#include "compare/DiffOptions.h"

class ReferenceDiff {
public:
    explicit ReferenceDiff(const CDiffOptions& options) : m_options(options) {}

    // The matching runs in the order they are found.
    std::vector<CDiffChange> Compare(const std::vector<CDiffLine>& left,
                                     const std::vector<CDiffLine>& right) {
        m_left = left;
        m_right = right;
        m_runs.clear();
        m_cache.clear();
        if (left.empty() || right.empty()) return m_runs;
        m_cache.assign(right.size(), CDiffRun{-1, -2});
        MatchRange(0, static_cast<int>(right.size()) - 1, 0, static_cast<int>(left.size()) - 1);
        return m_runs;
    }

private:
    int MatchLength(int i, int j, int maxLen) const {
        int k = 0;
        while (k < maxLen && CompareDiffLines(m_right[i + k], m_left[j + k], m_options) == 0) ++k;
        return k;
    }

    void MatchRange(int rightFirst, int rightLast, int leftFirst, int leftLast) {
        for (;;) {
            int bestLine = -1, bestLen = -1;
            if (rightFirst > rightLast) return;
            for (int i = rightFirst; i <= rightLast; ++i) {
                const int remaining = rightLast - i + 1;
                if (remaining <= bestLen) break;
                CDiffRun& entry = m_cache[i];
                if (entry.length > 0 &&
                    (entry.length > remaining || entry.start < leftFirst ||
                     entry.start + entry.length - 1 > leftLast))
                    entry = {-1, -2};
                if (entry.length == -2) {
                    int b = 0, start = -1, j = leftFirst;
                    while (j <= leftLast) {
                        const int maxLen = std::min(leftLast - j + 1, remaining);
                        if (maxLen <= b) break;
                        const int n = MatchLength(i, j, maxLen);
                        if (n > b) {
                            b = n;
                            start = j;
                        }
                        j = j + b + 1;
                    }
                    entry = b > 0 ? CDiffRun{start, b} : CDiffRun{-1, -1};
                }
                if (entry.length > bestLen) {
                    bestLine = i;
                    bestLen = entry.length;
                }
            }
            if (bestLine < 0) return;
            const int leftStart = m_cache[bestLine].start;
            m_runs.push_back({bestLine, leftStart, bestLen, kDiffSame});
            if (rightFirst < bestLine && leftFirst < leftStart)
                MatchRange(rightFirst, bestLine - 1, leftFirst, leftStart - 1);
            rightFirst = bestLine + bestLen;
            leftFirst = leftStart + bestLen;
            if (rightFirst > rightLast || leftFirst > leftLast) return;
        }
    }

    CDiffOptions m_options;
    std::vector<CDiffLine> m_left, m_right;
    std::vector<CDiffChange> m_runs;
    std::vector<CDiffRun> m_cache;
};
