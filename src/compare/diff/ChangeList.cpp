// The change list: takes the matching runs; gives every line of both
// inputs once, in order, as runs of same, modified, deleted and added
// lines (BuildChangeList), or as aligned rows (BuildRows).
#include <algorithm>

#include "compare/TextDiff.h"

void CTextDiff::AppendTailChanges(std::vector<CDiffChange>& list, int rPos, int nR, int lPos,
                                  int nL) {
    const int r = nR - rPos;
    const int l = nL - lPos;
    if (l > 0 && r <= 0) {
        list.push_back(MakeDeletedChange(lPos, l));
    } else if (r > 0 && l <= 0) {
        list.push_back(MakeAddedChange(rPos, r));
    } else if (r > 0 && l > 0) {
        list.push_back(MakeModifiedChange(rPos, lPos, std::min(r, l)));
        if (r > l)
            list.push_back(MakeAddedChange(rPos + l, r - l));
        else if (l > r)
            list.push_back(MakeDeletedChange(lPos + r, l - r));
    }
}

std::vector<CDiffChange> CTextDiff::BuildChangeList() const {
    std::vector<CDiffChange> list;
    const int nR = static_cast<int>(RightSource().count);
    const int nL = static_cast<int>(LeftSource().count);
    if (nR == 0) {
        if (nL > 0) list.push_back(MakeDeletedChange(0, nL));
        return list;
    }
    if (nL == 0) {
        list.push_back(MakeAddedChange(0, nR));
        return list;
    }
    std::vector<CDiffChange> runs = m_Runs;
    if (!std::is_sorted(runs.begin(), runs.end(), CompareChangesByRightPos))
        std::sort(runs.begin(), runs.end(), CompareChangesByRightPos);
    // At most three changes a run, and two after the last.
    list.reserve(3 * runs.size() + 2);
    int rPos = 0, lPos = 0;
    for (const CDiffChange& run : runs) {
        const int rGap = run.rightPos - rPos;
        const int lGap = run.leftPos - lPos;
        if (rGap > 0 && lGap > 0) {
            const int m = std::min(rGap, lGap);
            list.push_back(MakeModifiedChange(rPos, lPos, m));
            if (lGap < rGap)
                list.push_back(MakeAddedChange(rPos + m, rGap - lGap));
            else if (lGap > rGap)
                list.push_back(MakeDeletedChange(lPos + m, lGap - rGap));
            list.push_back(run);
        } else if (rGap > 0) {
            list.push_back(MakeAddedChange(rPos, rGap));
            list.push_back(run);
        } else if (lGap > 0) {
            list.push_back(MakeDeletedChange(lPos, lGap));
            list.push_back(run);
        } else if (list.empty()) {
            list.push_back(run);
        } else {
            list.back().count += run.count;
        }
        rPos = run.rightPos + run.count;
        lPos = run.leftPos + run.count;
    }
    AppendTailChanges(list, rPos, nR, lPos, nL);
    return list;
}
void CTextDiff::BuildRows(std::vector<CDiffRow>& leftRows, std::vector<CDiffRow>& rightRows) const {
    leftRows.clear();
    rightRows.clear();
    const std::vector<CDiffChange> list = BuildChangeList();
    const LineSource left = LeftSource(), right = RightSource();
    // Every change gives one row per line counted on each side.
    size_t rows = 0;
    for (const CDiffChange& c : list) rows += static_cast<size_t>(c.count);
    leftRows.reserve(rows);
    rightRows.reserve(rows);
    int li = 0, ri = 0, g = 0;
    for (const CDiffChange& c : list) {
        if (c.kind != kDiffSame) ++g;
        switch (c.kind) {
        case kDiffSame:
            for (int k = 0; k < c.count; ++k, ++li, ++ri) {
                leftRows.emplace_back(0, li, -1, left[li]);
                rightRows.emplace_back(0, ri, -1, right[ri]);
            }
            break;
        case kDiffModified:
            for (int k = 0; k < c.count; ++k, ++li, ++ri) {
                leftRows.emplace_back(1, li, g, left[li]);
                rightRows.emplace_back(1, ri, g, right[ri]);
            }
            break;
        case kDiffDeleted:
            for (int k = 0; k < c.count; ++k, ++li) {
                leftRows.emplace_back(3, li, g, left[li]);
                rightRows.emplace_back(0, -1, g, std::string_view());
            }
            break;
        case kDiffAdded:
            for (int k = 0; k < c.count; ++k, ++ri) {
                leftRows.emplace_back(0, -1, g, std::string_view());
                rightRows.emplace_back(2, ri, g, right[ri]);
            }
            break;
        default:
            break;
        }
    }
}
