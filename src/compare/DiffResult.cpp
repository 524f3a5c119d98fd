#include "model/DiffResult.h"

#include <algorithm>
#include <new>

#include "compare/DiffOptions.h"
#include "compare/TextAccess.h"
#include "compare/TextDiff.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

namespace {
void ReportLoadFailure() { Prompter().Message("Failed to load the files.", MsgIcon::Warning); }

void ReportOutOfMemory() {
    Prompter().Message("There is not enough memory to compare the files.", MsgIcon::Warning);
}

// What a line of a compared file costs beside its bytes and its place, at
// most, while the files are compared and their rows are built and shown:
// the comparison's own tables (under 60 bytes a line on the most
// repetitive inputs), or, after them, two rows of 32 bytes where a line
// has no partner, with its share of the change list.
constexpr size_t kLineCost = 96;

// The texts of the Input and Output windows as read for one comparison.
struct WindowTexts {
    std::string input, output;
};
}  // namespace

void CDiffResult::SetHeader(int no1, int no2, int no3, const std::string& n1,
                            const std::string& n2, const std::string& n3, int m) {
    fileNo1 = no1;
    fileNo2 = no2;
    fileNo3 = no3;
    name1 = n1;
    name2 = n2;
    name3 = n3;
    mode = m;
}

void CDiffResult::PrepareHeader(int no1, int no2, int no3, const std::string& n1,
                                const std::string& n2, const std::string& n3, int m) {
    if (!m_PreviousHeader) m_PreviousHeader = Header{mode, fileNo1, fileNo2, fileNo3, name1, name2, name3};
    SetHeader(no1, no2, no3, n1, n2, n3, m);
}

bool CDiffResult::Fail() {
    if (m_PreviousHeader) {
        const Header h = *m_PreviousHeader;
        SetHeader(h.fileNo1, h.fileNo2, h.fileNo3, h.name1, h.name2, h.name3, h.mode);
        m_PreviousHeader.reset();
    }
    return false;
}

bool CDiffResult::Succeed(std::shared_ptr<const void> texts, std::vector<CDiffRow> left,
                          std::vector<CDiffRow> middle, std::vector<CDiffRow> right,
                          const char* doneLine) {
    leftRows.swap(left);
    middleRows.swap(middle);
    rightRows.swap(right);
    m_Texts = std::move(texts);
    m_PreviousHeader.reset();
    built = true;
    WriteTraceString(doneLine);
    return true;
}

bool CDiffResult::BuildInputOutputDiff(const std::atomic<bool>* breakFlag) {
    try {
        auto texts = std::make_shared<WindowTexts>();
        texts->input = GetInputWindowText();
        texts->output = GetOutputWindowText();
        CTextDiff diff(CDiffOptions::FromProgramOptions());
        diff.SetBreakFlag(breakFlag);
        if (!diff.CompareViews(SplitTextIntoLineViews(texts->input), SplitTextIntoLineViews(texts->output)))
            return Fail();
        std::vector<CDiffRow> l, r;
        diff.BuildRows(l, r);
        return Succeed(std::move(texts), std::move(l), {}, std::move(r), "Input/Output diff built.");
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return Fail();
    }
}

bool CDiffResult::BuildFilesDiff(const std::atomic<bool>* breakFlag) {
    auto texts = std::make_shared<std::vector<CDiffFileText>>();
    if (!LoadFileTexts({name1, name3}, *texts, kLineCost)) {
        ReportLoadFailure();
        return Fail();
    }
    try {
        CTextDiff diff(CDiffOptions::FromProgramOptions());
        diff.SetBreakFlag(breakFlag);
        if (!diff.CompareFileTexts((*texts)[0], (*texts)[1])) return Fail();
        std::vector<CDiffRow> l, r;
        diff.BuildRows(l, r);
        return Succeed(std::move(texts), std::move(l), {}, std::move(r), "Files diff built.");
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return Fail();
    }
}

bool CDiffResult::Build3WayDiff(const std::atomic<bool>* breakFlag) {
    // The base (name2) is read once and compared with file 3, then file 2;
    // its lines cost twice.
    auto texts = std::make_shared<std::vector<CDiffFileText>>();
    if (!LoadFileTexts({name2, name3, name1}, *texts, 2 * kLineCost)) {
        ReportLoadFailure();
        return Fail();
    }
    const CDiffFileText &base = (*texts)[0], &file3 = (*texts)[1], &file2 = (*texts)[2];
    const CDiffOptions options = CDiffOptions::FromProgramOptions();
    try {
        std::vector<CDiffRow> m1, right, m2, left, middle;
        {
            CTextDiff c1(options);
            c1.SetBreakFlag(breakFlag);
            if (!c1.CompareFileTexts(base, file3)) return Fail();
            c1.BuildRows(m1, right);
        }
        {
            CTextDiff c2(options);
            c2.SetBreakFlag(breakFlag);
            if (!c2.CompareFileTexts(base, file2)) return Fail();
            c2.BuildRows(m2, left);
        }
        MergeThreeWay(left, m2, middle, m1, right);
        return Succeed(std::move(texts), std::move(left), std::move(middle), std::move(right),
                       "3-way diff built.");
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return Fail();
    }
}

int CombineMiddleMarkers(int a, int b) {
    static const int table[3][3] = {{0, 4, 2}, {5, 6, 8}, {1, 7, 3}};
    auto index = [](int v) { return v == 0 ? 0 : v == 1 ? 1 : v == 3 ? 2 : -1; };
    int ia = index(a), ib = index(b);
    if (ia < 0 || ib < 0) return 0;
    return table[ia][ib];
}

void MergeThreeWay(std::vector<CDiffRow>& leftRows, std::vector<CDiffRow>& m2,
                   std::vector<CDiffRow>& middleRows, std::vector<CDiffRow>& m1,
                   std::vector<CDiffRow>& rightRows) {
    // The outer columns run parallel to their working lists; keep them so
    // even if a caller hands lists of other lengths.
    leftRows.resize(std::max(leftRows.size(), m2.size()));
    rightRows.resize(std::max(rightRows.size(), m1.size()));
    // First where the fillers go, walking both lists as they grow: at each
    // row, 0 both lists go on, 1 a filler goes into M2 (and the left
    // column), 2 into M1 (and the right column). Then every list is spread
    // out to its full length from its end, in place.
    enum : unsigned char { kBoth, kIntoM2, kIntoM1 };
    std::vector<unsigned char> steps;
    steps.reserve(std::max(m1.size(), m2.size()));
    for (size_t i1 = 0, i2 = 0; i1 < m1.size() || i2 < m2.size();) {
        const bool has1 = i1 < m1.size();
        const bool has2 = i2 < m2.size();
        const bool filler1 = has1 && m1[i1].lineNo == -1;
        const bool filler2 = has2 && m2[i2].lineNo == -1;
        if ((filler1 && !filler2) || !has2) {
            steps.push_back(kIntoM2);
            ++i1;
        } else if ((filler2 && !filler1) || !has1) {
            steps.push_back(kIntoM1);
            ++i2;
        } else {
            steps.push_back(kBoth);
            ++i1;
            ++i2;
        }
    }
    const CDiffRow filler(0, -2, -1, std::string_view());
    // Spreads rows out so that a filler stands at every step that puts one
    // into it; the rows after the working list's end (an outer column may
    // be longer) keep their order behind.
    auto spread = [&](std::vector<CDiffRow>& rows, size_t listSize, unsigned char into) {
        size_t fillers = 0;
        for (unsigned char s : steps) fillers += s == into;
        const size_t old = rows.size();
        rows.resize(old + fillers);
        size_t from = old, to = old + fillers;
        while (from > listSize) rows[--to] = rows[--from];
        for (size_t k = steps.size(); k-- > 0;) {
            if (steps[k] == into) rows[--to] = filler;
            else rows[--to] = rows[--from];
        }
    };
    const size_t n1 = m1.size(), n2 = m2.size();
    spread(m2, n2, kIntoM2);
    spread(leftRows, n2, kIntoM2);
    spread(m1, n1, kIntoM1);
    spread(rightRows, n1, kIntoM1);
    for (size_t i = 0; i < steps.size(); ++i) m1[i].marker = CombineMiddleMarkers(m2[i].marker, m1[i].marker);
    middleRows = std::move(m1);
    m1.clear();
}

CDiffResultSet::CDiffResultSet()
    : m_Results{&m_InputOutputResult, &m_FilesResult, &m_ThreeWayResult} {}

CDiffResultSet::CDiffResultSet(const CDiffResultSet& other)
    : m_InputOutputResult(other.m_InputOutputResult),
      m_FilesResult(other.m_FilesResult),
      m_ThreeWayResult(other.m_ThreeWayResult),
      m_Results{&m_InputOutputResult, &m_FilesResult, &m_ThreeWayResult},
      m_PaletteLines(other.m_PaletteLines) {}

CDiffResultSet& CDiffResultSet::operator=(const CDiffResultSet& other) {
    if (this != &other) {
        m_InputOutputResult = other.m_InputOutputResult;
        m_FilesResult = other.m_FilesResult;
        m_ThreeWayResult = other.m_ThreeWayResult;
        m_PaletteLines = other.m_PaletteLines;
    }
    return *this;
}

CDiffResult* CDiffResultSet::GetResult(int window) {
    if (window < 0 || window >= static_cast<int>(m_Results.size())) return nullptr;
    return m_Results[window];
}

const CDiffResult* CDiffResultSet::GetResult(int window) const {
    if (window < 0 || window >= static_cast<int>(m_Results.size())) return nullptr;
    return m_Results[window];
}

void CDiffResultSet::PrepareInputOutputDiff() {
    m_InputOutputResult.PrepareHeader(0, 0, 1, "Input window", "", "Output window", 0);
}

bool CDiffResultSet::PrepareTwoFileDiff(const std::vector<std::string>& paths) {
    if (paths.size() < 2) return false;
    m_FilesResult.PrepareHeader(0, 0, 1, paths[0], "", paths[1], 1);
    return true;
}

bool CDiffResultSet::PrepareThreeWayDiff(const std::vector<std::string>& paths) {
    if (paths.size() < 3) return false;
    m_ThreeWayResult.PrepareHeader(1, 0, 2, paths[1], paths[0], paths[2], 2);
    return true;
}

std::vector<std::string>& CDiffResultSet::GetRowTexts(std::vector<std::string>& out, int window,
                                                      int pane, const std::vector<int>& rows) const {
    out.clear();
    const CDiffResult* result = GetResult(window);
    if (!result) return out;
    const std::vector<CDiffRow>* column = nullptr;
    switch (pane) {
    case kDiffPaneLeft: column = &result->leftRows; break;
    case kDiffPaneRight: column = &result->rightRows; break;
    case kDiffPaneMiddle: column = &result->middleRows; break;
    default: return out;
    }
    for (int row : rows) {
        if (row < 0 || row >= static_cast<int>(column->size())) continue;
        const CDiffRow& line = (*column)[row];
        if (line.lineNo >= 0) out.emplace_back(line.text);
    }
    return out;
}
