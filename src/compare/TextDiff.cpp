// The line diff engine's door (see TextDiff.h): takes the two inputs in
// whichever form the caller has them (lines, views, files read as blocks)
// and runs the matcher over them; gives the matching runs. The stages live
// in files of their own: reading files (diff/ReadFiles.cpp), numbering the
// lines (diff/Numbering.cpp, diff/LineTable.h), the matcher and its bounds
// (diff/Matcher.h and the files it names), the change list
// (diff/ChangeList.cpp) and the report (diff/Report.cpp).
#include "compare/TextDiff.h"

#include <cstring>

#include "compare/diff/Matcher.h"

CTextDiff::CTextDiff(const CDiffOptions& options) : m_Options(options) {}

CTextDiff::~CTextDiff() = default;

void CTextDiff::ForgetInputs() {
    m_Left.clear();
    m_Right.clear();
    m_LeftViews.clear();
    m_RightViews.clear();
    m_LeftText = CDiffFileText();
    m_RightText = CDiffFileText();
    m_pLeftText = m_pRightText = nullptr;
    m_pStored.reset();
}

bool CTextDiff::Compare(std::vector<CDiffLine> left, std::vector<CDiffLine> right) {
    ForgetInputs();
    m_Left = std::move(left);
    m_Right = std::move(right);
    return RunMatcher();
}

bool CTextDiff::CompareTexts(CDiffFileText left, CDiffFileText right) {
    ForgetInputs();
    m_LeftText = std::move(left);
    m_RightText = std::move(right);
    m_pLeftText = &m_LeftText;
    m_pRightText = &m_RightText;
    return RunMatcher();
}

bool CTextDiff::CompareFileTexts(const CDiffFileText& left, const CDiffFileText& right) {
    ForgetInputs();
    m_pLeftText = &left;
    m_pRightText = &right;
    return RunMatcher();
}

bool CTextDiff::CompareViews(std::vector<std::string_view> left, std::vector<std::string_view> right) {
    ForgetInputs();
    m_LeftViews = std::move(left);
    m_RightViews = std::move(right);
    return RunMatcher();
}

CTextDiff::LineSource CTextDiff::LeftSource() const {
    if (m_pStored && m_pStored->few)
        return {nullptr, nullptr, m_pStored->leftIds.size(), nullptr, m_pStored.get(), m_pStored->leftIds.data()};
    if (!m_LeftViews.empty()) return {nullptr, m_LeftViews.data(), m_LeftViews.size()};
    if (m_pLeftText && m_pLeftText->Count()) return {nullptr, nullptr, m_pLeftText->Count(), m_pLeftText};
    return {m_Left.data(), nullptr, m_Left.size()};
}

CTextDiff::LineSource CTextDiff::RightSource() const {
    if (m_pStored) {
        const int* ids = m_pStored->few ? m_pStored->rightIds.data() : nullptr;
        return {nullptr, nullptr, m_pStored->count, nullptr, m_pStored.get(), ids};
    }
    if (!m_RightViews.empty()) return {nullptr, m_RightViews.data(), m_RightViews.size()};
    if (m_pRightText && m_pRightText->Count()) return {nullptr, nullptr, m_pRightText->Count(), m_pRightText};
    return {m_Right.data(), nullptr, m_Right.size()};
}

bool CTextDiff::RunMatcher() {
    m_Runs.clear();
    m_bBroken = false;
    m_bNearCopy = false;
    m_bLongestCommon = false;
    const LineSource left = LeftSource(), right = RightSource();
    // (The lines of a right file read in pieces are counted as they are numbered.)
    if (left.count == 0 || (right.count == 0 && !right.stored)) return true;
    // Two files of the same bytes: the one run of all lines is the run the
    // procedure finds (no other run is as long), without numbering a line.
    if (left.text && right.text && left.text->size == right.text->size &&
        !(m_pBreak && m_pBreak->load(std::memory_order_relaxed)) &&
        std::memcmp(left.text->bytes.get(), right.text->bytes.get(), left.text->size) == 0) {
        m_Runs.push_back({0, 0, static_cast<int>(left.count), kDiffSame});
        return true;
    }
    // A near copy (the same first and last lines, a few others between):
    // its runs where they are shown to be the procedure's (diff/NearCopy.cpp).
    if (CompareNearCopyLines(left, right)) return m_bNearCopy = true;
    bool done;
    {
        Matcher matcher(left, right, m_Options, m_Runs, m_pBreak);
        done = matcher.Run();
        // Inputs that share little but one text, where the procedure's way
        // cannot end in time: a longest common subsequence instead.
        if (!done && matcher.GaveUp()) {
            done = matcher.LongestCommonRuns(m_Runs);
            m_bLongestCommon = done;
        }
        // A file pair kept as its few texts keeps the numbers of its lines.
        if (m_pStored && m_pStored->few) matcher.TakeLineNumbers(m_pStored->leftIds, m_pStored->rightIds);
    }
    if (!done) {
        m_bBroken = true;
        m_Runs.clear();
    }
    return done;
}
