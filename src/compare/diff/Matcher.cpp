// The passes over the parts: the matcher's own stage. Takes the numbered
// lines and their bounds (see the other files of the matcher); gives the
// matching runs in the order the procedure finds them: each part's winner
// is the first right line with the longest run, and the part before the
// run is matched before the part after it. Lines that never came into
// question are replayed through the passes they owe when they do.
#include "compare/diff/Matcher.h"

CTextDiff::Matcher::Matcher(const LineSource& left, const LineSource& right,
                            const CDiffOptions& options, std::vector<CDiffChange>& runs,
                            const std::atomic<bool>* brk)
    : m_nL(static_cast<int>(left.count)),
      m_nR(static_cast<int>(right.count)),
      m_Runs(runs),
      m_pBreak(brk) {
    Intern(left, right, options);
    m_Hints.Allocate(static_cast<size_t>(m_nR) + 1);
    m_Cache.Allocate(m_nR);
    // Right lines that mostly follow the left ones in a few long stretches
    // (a near copy) leave few parts and few lines to scan; anything else
    // fills the lists of hints and runs densely.
    long covered = 0;
    for (const auto& stretch : m_Stretches) covered += stretch.second;
    if (static_cast<long>(m_Stretches.size()) > DenseFrom() || covered < m_nR - m_nR / 256) ListsInHugePages();
}

bool CTextDiff::Matcher::Stopped() {
    return m_pBreak && m_pBreak->load(std::memory_order_relaxed);
}

// The run of right line i when the pass over a part comes to it, given
// the passes above that part that left it unknown: each pass that visits
// the line rescans it unless it keeps the run found before.
CDiffRun CTextDiff::Matcher::Replay(int i, int part) {
    const int depth = m_Parts[part].depth;
    int d = m_Parts[OwesFrom(i)].depth;
    CDiffRun e{-1, -2};
    m_Path0.lF = -1;
    while (d < depth) {
        if (e.length != -2) {
            int lo = d, hi = depth;
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (PathPart(mid).Keeps(e, i)) lo = mid + 1;
                else hi = mid;
            }
            d = lo;
            if (d == depth) break;
        }
        int x = m_LastVisited.FirstAtLeast(d, depth, i);
        if (x < 0) break;
        // The next passes that visit the line and scan from the same left
        // line come, whether they keep the run or rescan, to what the last
        // of them scans: the same scan over fewer lines.
        int y = m_LastVisited.FirstAtLeast(x + 1, depth, i);
        while (y >= 0 && PathPart(y).lF == PathPart(x).lF) {
            x = y;
            y = m_LastVisited.FirstAtLeast(x + 1, depth, i);
        }
        if (y < 0 && m_Parts[part].lF == PathPart(x).lF) {
            e = CDiffRun{-1, -2};
            break;
        }
        // The run found here matters only where the next pass that visits
        // the line (or this part) keeps it; the scan stops as soon as it
        // cannot be kept there, and that pass rescans.
        const Part& p = PathPart(x);
        e = Scan(i, p.lF, p.lL, p.rL - i + 1, y < 0 ? &m_Parts[part] : &PathPart(y), &m_Path0);
        if (e.length == kNotKept) {
            e = CDiffRun{-1, -2};
            d = y < 0 ? depth : y;
        } else {
            d = x + 1;
        }
    }
    const Part& p = m_Parts[part];
    if (e.length != -2 && p.Keeps(e, i)) return e;
    return Scan(i, p.lF, p.lL, p.rL - i + 1, nullptr, &m_Path0);
}

// One pass of the procedure over a part: the right line with the longest
// run wins, the first on a tie. Runs are scanned only for lines that can
// still win, longest bound first, the first line on a tie; the others owe
// their scans until then. A line scanned here has a bound of at least the
// winning length and no more than the lines it leaves, so the pass visits
// it and keeps the run found.
bool CTextDiff::Matcher::MatchPart(int part) {
    const int rF = m_Parts[part].rF, rL = m_Parts[part].rL;
    const int lF = m_Parts[part].lF, lL = m_Parts[part].lL;
    // Known runs that no longer fit are rescanned by this pass if it visits
    // their lines: they owe the scans from here on.
    for (int e = FirstEvent(rF, rL, lF, lL, rL); e <= rL; e = FirstEvent(e + 1, rL, lF, lL, rL)) {
        Cache(e, CDiffRun{-1, -2}, part);
        TreeSet(e);
    }
    const int leftSize = lL - lF + 1;
    int winner = -1, length = -1;
    // Lines whose bound the part cuts, one by one as they come to the top;
    // once they are many, all lines of the part at once.
    int capped = 0;
    const int manyCapped = std::max(64, (rL - rF + 1) / 64);
    for (;;) {
        const int m = RangeMax(rF, rL);
        if (m <= 0) break;
        const int i = FirstLongest(rF, rL, m);
        if (m_Cache[i].code != 0) {
            winner = i;
            length = m;
            break;
        }
        const int cap = std::min(rL - i + 1, leftSize);
        if (m_Bound[i] > cap) {
            m_Bound[i] = cap;
            if (++capped == manyCapped) {
                CapBounds(rF, rL, leftSize);
                continue;
            }
        } else if (!m_bTight && (++m_nScanned > m_nScanBudget ||
                                 (m_bTrial && m_nLookupSteps >= LevelSteps()))) {
            // Too many lines had to be scanned: their bounds are loose.
            if (OverBudget(true) || Stopped()) return false;
            if (m_bTrial) GramBounds();
            else TightenBounds();
            if (Stopped()) return false;
            continue;
        } else {
            if (++m_nScansDone > DenseFrom()) ListsInHugePages();
            Cache(i, Replay(i, part));
            if (Stopped()) return false;
            m_nWork += 64;
            if (OverBudget()) return false;
        }
        TreeSet(i);
    }
    m_Parts[part].winner = winner;
    m_Parts[part].length = length;
    return true;
}

// The bounds of the lines from rF to rL whose runs are not known, cut to
// the lines a part of those right lines and leftSize left lines leaves
// them: as the pass over the part cuts each when it comes to the top.
// (Every part still to come that holds such a line lies within this one,
// so the cut holds for all of them; a line cut here that the pass would
// not have come to is never the first with the longest bound either way.)
void CTextDiff::Matcher::CapBounds(int rF, int rL, int leftSize) {
    for (int i = rF; i <= rL; ++i)
        if (m_Cache[i].code == 0) m_Bound[i] = std::min(m_Bound[i], std::min(rL - i + 1, leftSize));
    TreeRebuild(rF, rL);
}

bool CTextDiff::Matcher::Run() {
    // (A stop may have cut the numbering short.)
    if (Stopped()) return false;
    if (m_nL == 0 || m_nR == 0) return true;
    if (GiveUpAtOnce()) return false;
    // Lines with many places make the diagonal bounds loose.
    int many = 0;
    long absent = 0;
    DiagonalBounds(many, absent);
    if (Stopped()) return false;
    // Lines that repeat a lot leave the diagonal bounds loose, so the
    // suffix order soon has to be built; yet where few lines need a scan
    // at all (one long equal stretch) it is never needed.
    if (many > m_nR / 4) {
        m_nScanBudget = kFewScans;
        m_bTrial = true;
    }
    // Lines found nowhere on the left have their runs written at once.
    if (absent > DenseFrom()) ListsInHugePages();
    if (absent > 0)
        for (int i = 0; i < m_nR; ++i)
            if (m_Bound[i] == 0) Cache(i, CDiffRun{-1, -1});
    TreeBuild(absent == 0);
    if (Stopped()) return false;
    // The part before a run is matched before the part after it; a stack of
    // pending parts keeps that order without nesting calls.
    m_Parts.push_back({0, m_nR - 1, 0, m_nL - 1});
    std::vector<int> pending{0};
    while (!pending.empty()) {
        const int part = pending.back();
        pending.pop_back();
        if (m_pBreak && m_pBreak->load(std::memory_order_relaxed)) return false;
        const int depth = m_Parts[part].depth;
        if (static_cast<int>(m_Path.size()) <= depth) m_Path.resize(depth + 1);
        m_Path[depth] = part;
        m_nWork += 64;
        if (OverBudget() || !MatchPart(part)) return false;
        const Part p = m_Parts[part];
        m_LastVisited.Set(depth, p.rL - p.length);
        if (p.winner < 0) continue;
        const int start = m_Cache[p.winner].start;
        m_Runs.push_back({p.winner, start, p.length, kDiffSame});
        const Part after{p.winner + p.length, p.rL, start + p.length, p.lL, depth + 1};
        const Part before{p.rF, p.winner - 1, p.lF, start - 1, depth + 1};
        if (after.rF <= after.rL && after.lF <= after.lL) {
            pending.push_back(static_cast<int>(m_Parts.size()));
            m_Parts.push_back(after);
        }
        if (before.rF <= before.rL && before.lF <= before.lL) {
            pending.push_back(static_cast<int>(m_Parts.size()));
            m_Parts.push_back(before);
        }
    }
    return true;
}
