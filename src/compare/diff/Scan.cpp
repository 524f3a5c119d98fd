// The scan of one right line: the scan stage of the matcher. Takes a right
// line, a range of left lines and the lines the part leaves it; gives the
// run the plain procedure finds for it there (the leftmost of the longest),
// looking candidate places up by the rarest line or run of lines and
// measuring runs down diagonals (remembered as hints for the next right
// lines, or read from the suffix order once walks grow long).
#include "compare/diff/Matcher.h"

// Equal lines from right line i and left line j on, at most maxLen. Every
// result is a fact about the inputs, kept for the next right line as a hint
// so that walking down one diagonal costs its length once.
int CTextDiff::Matcher::MatchLength(int i, int j, int maxLen) {
    Hint& h = m_Hints[i];
    int d;
    bool exact;
    if (h.j1 == j + 1 && (h.exact || static_cast<int>(h.len) >= maxLen)) {
        d = static_cast<int>(h.len);
        exact = h.exact;
    } else {
        int k = (h.j1 == j + 1) ? static_cast<int>(h.len) : 0;
        const int from = k;
        // Once the suffix order is there, only short walks are done by hand.
        const int limit = m_pEqual ? std::min(maxLen, k + 8) : maxLen;
        const int* r = m_R.data() + i;
        const int* l = m_L.data() + j;
        const uint8_t* sr = m_SameR.data() + i;
        const uint8_t* sl = m_SameL.data() + j;
        // Along a stretch that the numbering found equal in order, long
        // walks cross the rest of the stretch at once (lines that cost no
        // walk: they do not count towards the suffix order below).
        int tryStretch = k + 64;
        int crossed = 0;
        // Where both sides stand in a block of the same line, the shorter
        // block ends the equal lines and blocks of equal length are crossed
        // whole: the line after a block differs from the block's line (a
        // count kept as 255 is crossed by 255 and looked at again).
        while (k < limit && r[k] == l[k]) {
            if (k >= tryStretch) {
                const int rest = InStretch(i + k, j + k);
                if (rest > 0) {
                    const int to = std::min(limit, k + rest);
                    crossed += to - k;
                    k = to;
                    continue;
                }
                tryStretch = k + 4096;
            }
            const int a = sr[k], c = sl[k];
            if (a != c) {
                k += std::min(a, c);
                break;
            }
            if (a > 1) {
                k += a;
                continue;
            }
            // Outside blocks: a stretch line by line before looking again.
            const int stop = std::min(limit, k + 32);
            for (++k; k < stop && r[k] == l[k];) ++k;
        }
        if (m_pEqual) {
            if (k >= limit && limit < maxLen) k = m_pEqual->Equal(i, j);
        } else {
            m_nWalked += k - from - crossed;
            ++m_nWalks;
            // Worth it only where the walks are long on average.
            if (m_nWalked > m_nWalkBound && m_nWalked > 16 * m_nWalks) {
            m_pEqual = m_pSpareEqual ? std::move(m_pSpareEqual)
                                         : std::make_unique<EqualLineIndex>(m_R, m_L, m_nKeys);
            }
        }
        exact = k < maxLen;
        d = std::min(k, maxLen);
        if (h.j1 != j + 1 ? d > static_cast<int>(h.len) : true) h = Hint{j + 1, static_cast<unsigned>(d), exact};
    }
    if (d >= 2) {
        Hint& next = m_Hints[i + 1];
        const int nextLen = static_cast<int>(next.len);
        if (next.j1 == j + 2 ? (d - 1 > nextLen || (exact && !next.exact)) : d - 1 > nextLen)
            next = Hint{j + 2, static_cast<unsigned>(d - 1), exact};
    }
    return std::min(d, maxLen);
}

// Whether the len lines from right line i equal those from left line j.
// The last of them is looked at first: where it differs (most places of a
// key that covers only some of the lines, the more so where the lines are
// drawn from few texts), neither walk nor query is needed. The walks so
// spared would have left a hint for the next right line at a place that
// line seldom looks at.
bool CTextDiff::Matcher::RunsAtLeast(int i, int j, int len) {
    if (len > 1 && m_R[i + len - 1] != m_L[j + len - 1]) return false;
    return MatchLength(i, j, len) >= len;
}

namespace {
// std::lower_bound over places that spread evenly over 0 .. range - 1: the
// search starts where the target would stand and widens from there.
const int* LowerBound(const int* first, const int* last, int target, int range) {
    const long n = last - first;
    if (n <= 64) return std::lower_bound(first, last, target);
    const int* lo = first;
    const int* hi = last;
    const int* guess = first + std::min(n - 1, static_cast<long>(static_cast<double>(n) * target / range));
    long step = 8;
    if (*guess < target) {
        lo = guess + 1;
        while (last - lo > step && lo[step - 1] < target) {
            lo += step;
            step *= 2;
        }
        if (last - lo > step) hi = lo + step;
    } else {
        hi = guess;
        while (hi - first > step && hi[-step] >= target) {
            hi -= step;
            step *= 2;
        }
        if (hi - first > step) lo = hi - step + 1;
    }
    return std::lower_bound(lo, hi, target);
}

// The first of the ascending places from q up to end that is at least
// target: a few steps forward, doubling, then halving.
const int* SkipBelow(const int* q, const int* end, int target) {
    if (q == end || *q >= target) return q;
    long step = 1;
    const int* lo = q;
    while (end - lo > step && lo[step] < target) {
        lo += step;
        step *= 2;
    }
    return std::lower_bound(lo + 1, end - lo > step ? lo + step + 1 : end, target);
}
}  // namespace

// The rarest of the first few lines of the run of b + 1 lines from right
// line i, or its rarest line of all when the run is long and that is rarer
// still.
CTextDiff::Matcher::LookUpKey CTextDiff::Matcher::RarestLine(int i, int b) {
    LookUpKey best;
    for (int k = 0; k <= std::min(b, 3); ++k) {
        const int key = m_R[i + k];
        const int c = m_Single.Count(key);
        if (c == 0) return {-1};
        if (c < best.count) best = {0, key, k, c};
    }
    if (best.count > kFewPlaces && b > 3) {
        if (!m_pRarest) {
            m_pRarest = std::make_unique<RangeArgMin>(m_nR, m_R.data(), m_Single.start.data());
        }
        const int x = m_pRarest->Find(i + 4, i + b);
        const int c = m_pRarest->Value(x);
        if (c == 0) return {-1};
        if (c < best.count) best = {0, m_R[x], x - i, c};
    }
    return best;
}

// Looks at the first few runs of level g from right line i; false when one
// of them never occurs on the left. Sets indexed when one of them is
// indexed.
bool CTextDiff::Matcher::RarerRun(int g, int i, int b, LookUpKey& best, bool& indexed) {
    if (Skipped(g)) return true;
    const KeyList& right = RightKeys(g);
    const OccIndex& index = Index(g);
    for (int k = 0; k <= std::min(b + 1 - kGramLength[g], 2); ++k) {
        const int key = right[i + k];
        if (key == -2) continue;
        if (key < 0) return false;
        indexed = true;
        const int c = index.Count(key);
        if (c < best.count) best = {g, key, k, c};
    }
    return true;
}

// Look the places up by the rarest of the first few lines of the run, or
// of the first few runs of 2, 4, ... of its lines.
CTextDiff::Matcher::LookUpKey CTextDiff::Matcher::RarestKey(int i, int b) {
    SettleWanting();
    LookUpKey best = RarestLine(i, b);
    if (best.level < 0) return best;
    int top = 0;
    while (top + 1 < kGramLevels && kGramLength[top + 1] <= b + 1) ++top;
    if (best.count > kFewPlaces && top > 0 && static_cast<int>(m_Grams.size()) >= top) {
        // All levels are there: the longest indexed runs are the rarest.
        for (int g = top; g >= 1; --g) {
            bool indexed = false;
            if (!RarerRun(g, i, b, best, indexed)) return {-1};
            if (indexed) break;
        }
    } else {
        // Longer runs are built of these, so once none of them is indexed
        // the levels above are not looked at (nor built) either.
        // A level costs a pass over both inputs and its own memory, so it
        // is built only once the look-ups it would have served, since the
        // level below was built, have stepped over an eighth as many places
        // as there are lines (a step is a read at a random place, a level a
        // pass in order): the levels then never cost more than the
        // look-ups they save.
        for (int g = 1; g <= top && best.count > kFewPlaces; ++g) {
            if (static_cast<int>(m_Grams.size()) < g) {
                if (m_bTrial || m_bLevelsDone || !LevelBuilt(g)) break;
            }
            bool indexed = false;
            if (!RarerRun(g, i, b, best, indexed)) return {-1};
            if (!indexed && !Skipped(g)) break;
        }
    }
    return best;
}

// The first place p of anchor, anchor + stride, ... up to lastPos where the
// b + 1 right lines from i equal the left lines from p; -1 when none.
int CTextDiff::Matcher::FindCandidate(int i, int b, int anchor, int stride, int lastPos) {
    const LookUpKey key = RarestKey(i, b);
    if (key.level < 0) return -1;
    const OccIndex* index = &Index(key.level);
    const KeyList& leftKeys = LeftKeys(key.level);
    const int* first = index->pos.data() + index->start[key.key];
    const int* last = index->pos.data() + index->start[key.key + 1];
    // Where the key covers only some of the run, the run of its level that
    // ends the run is looked at too: a place whose run goes on that far has
    // that run there. A run that is never on the left ends the look-up.
    int other = -2, otherOffset = 0;
    if (key.level > 0) {
        otherOffset = b + 1 - kGramLength[key.level];
        if (otherOffset > key.offset) {
            other = RightKeys(key.level)[i + otherOffset];
            if (other == -1) return -1;
        }
    }
    // Walk the places of the key when they are expected to be well fewer
    // than the places of the progression (finding where to start costs too),
    // else step the progression.
    const long places = (static_cast<long>(lastPos) - anchor) / stride + 1;
    const long span = static_cast<long>(lastPos) - anchor + 1;
    if (2 * (last - first) * span + 32L * m_nL <= places * m_nL) {
        const AroundFilter around = Around(key, i, b, last - first, anchor + key.offset, m_nL);
        const int* from = LowerBound(first, last, anchor + key.offset, m_nL);
        const int* to = last;
        // (p - anchor) is a multiple of stride exactly when its product with
        // this factor, modulo 2^64, is at most the factor less one.
        const uint64_t factor = UINT64_MAX / static_cast<uint32_t>(stride) + 1;
        // The places of the run that ends the run are read in order beside
        // the key's (instead of the lines of each place, at random places).
        const int* second = nullptr;
        const int* secondEnd = nullptr;
        if (other >= 0) {
            const int* pos = index->pos.data();
            second = LowerBound(pos + index->start[other], pos + index->start[other + 1],
                                static_cast<int>(std::min<long>(anchor + otherOffset, INT_MAX)), m_nL);
            secondEnd = pos + index->start[other + 1];
        }
        for (const int* q = from; q < to; ++q) {
            ++m_nLookupSteps;
            const int p = *q - key.offset;
            if (p > lastPos) break;
            if (static_cast<uint64_t>(static_cast<uint32_t>(p - anchor)) * factor > factor - 1) continue;
            if (!around.Passes(q - first)) continue;
            if (second) {
                second = SkipBelow(second, secondEnd, p + otherOffset);
                if (second == secondEnd) break;
                if (*second != p + otherOffset) continue;
            }
            if (RunsAtLeast(i, p, b + 1)) return p;
        }
    } else {
        // The key of that run at each place where the key's is found: more
        // lines told apart by one read than the last line of the run.
        for (long p = anchor; p <= lastPos; p += stride) {
            ++m_nLookupSteps;
            if (leftKeys[p + key.offset] != key.key) continue;
            if (other >= 0 && leftKeys[p + otherOffset] != other) continue;
            if (RunsAtLeast(i, static_cast<int>(p), b + 1)) return static_cast<int>(p);
        }
    }
    return -1;
}

// The scan of the left range for right line i (see Matcher.h). With next,
// once the run found so far could not be kept by that pass, only a longer
// run that it could keep is looked for: where there is none, whatever the
// scan would go on to find, that pass rescans.
CDiffRun CTextDiff::Matcher::Scan(int i, int lF, int lL, int remaining, const Part* next, ScanPath* path) {
    int b = 0;
    int start = -1;
    long anchor = lF;
    int stride = 1;
    if (path && path->lF != lF) {
        path->lF = lF;
        path->whole = false;
        path->found.clear();
    }
    size_t k = 0;  // steps of the path taken
    for (;;) {
        if (remaining <= b) break;
        int lastPos = lL - b;
        if (anchor > lastPos) break;
        const bool restricted = next && !next->Keeps(CDiffRun{start, b}, i);
        if (restricted) {
            // Runs found later are longer and lie further on.
            if (b >= next->rL - i + 1) return {-1, kNotKept};
            lastPos = std::min(lastPos, next->lL - b);
            if (anchor > lastPos) return {-1, kNotKept};
        }
        int p, n;
        if (path && k < path->found.size()) {
            p = path->found[k].first;
            n = path->found[k].second;
            ++k;
            if (p > lastPos) p = -1;
            else n = std::min({n, lL - p + 1, remaining});
        } else if (path && path->whole) {
            p = -1;
        } else {
            p = FindCandidate(i, b, static_cast<int>(anchor), stride, lastPos);
            if (p >= 0) {
                n = MatchLength(i, p, std::min(lL - p + 1, remaining));
                if (path) {
                    path->found.emplace_back(p, n);
                    ++k;
                }
            } else if (path && !restricted) {
                path->whole = true;
            }
        }
        if (p < 0) {
            if (restricted) return {-1, kNotKept};
            break;
        }
        b = n;
        start = p;
        anchor = static_cast<long>(p) + b + 1;
        stride = b + 1;
    }
    if (b > 0) return {start, b};
    return {-1, -1};
}
