#include "compare/DiffBuilder.h"

#include <malloc.h>

#include <algorithm>
#include <cstring>
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

// The rows point into the bytes of the files only: the places of their
// lines are let go.
void DropLinePlaces(CDiffFileText& text) {
    std::vector<uint32_t>().swap(text.starts);
    std::vector<uint64_t>().swap(text.wideStarts);
}
}  // namespace

namespace {
DiffBuildOutput Failed(const DiffBuildInput& input, DiffBuildOutput::Outcome outcome) {
    DiffBuildOutput out;
    out.window = input.window;
    out.outcome = outcome;
    return out;
}

DiffBuildOutput Built(const DiffBuildInput& input, std::shared_ptr<const void> texts, std::vector<CDiffRow> left,
                      std::vector<CDiffRow> middle, std::vector<CDiffRow> right) {
    DiffBuildOutput out;
    out.window = input.window;
    out.outcome = DiffBuildOutput::kBuilt;
    out.texts = std::move(texts);
    out.left = std::move(left);
    out.middle = std::move(middle);
    out.right = std::move(right);
    return out;
}

DiffBuildOutput MakeInputOutputBuild(DiffBuildInput& input, const std::atomic<bool>* breakFlag) {
    try {
        auto texts = std::make_shared<WindowTexts>();
        texts->input = std::move(input.input);
        texts->output = std::move(input.output);
        CTextDiff diff(input.options);
        diff.SetBreakFlag(breakFlag);
        if (!diff.CompareViews(SplitTextIntoLineViews(texts->input), SplitTextIntoLineViews(texts->output)))
            return Failed(input, DiffBuildOutput::kStopped);
        std::vector<CDiffRow> l, r;
        diff.BuildRows(l, r);
        return Built(input, std::move(texts), std::move(l), {}, std::move(r));
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return Failed(input, DiffBuildOutput::kNoMemory);
    }
}

DiffBuildOutput MakeFilesBuild(const DiffBuildInput& input, const std::atomic<bool>* breakFlag) {
    auto texts = std::make_shared<std::vector<CDiffFileText>>();
    if (!LoadFileTexts({input.name1, input.name3}, *texts, kLineCost)) {
        ReportLoadFailure();
        return Failed(input, DiffBuildOutput::kLoadFailed);
    }
    try {
        CTextDiff diff(input.options);
        diff.SetBreakFlag(breakFlag);
        if (!diff.CompareFileTexts((*texts)[0], (*texts)[1])) return Failed(input, DiffBuildOutput::kStopped);
        std::vector<CDiffRow> l, r;
        diff.BuildRows(l, r);
        for (CDiffFileText& text : *texts) DropLinePlaces(text);
        return Built(input, std::move(texts), std::move(l), {}, std::move(r));
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return Failed(input, DiffBuildOutput::kNoMemory);
    }
}
}  // namespace

namespace {
// The lines of a file read as a block, one after the other, found by their
// line feeds (the places of the lines may be let go by then).
class LineWalker {
public:
    explicit LineWalker(const CDiffFileText* text) : m_Text(text) {
        if (m_Text) m_End = EndFrom(0);
    }
    std::string_view Line() const {
        return m_Text ? CDiffFileText::LineBetween(m_Text->bytes.get(), m_Start, m_End) : std::string_view();
    }
    void Next() {
        if (!m_Text) return;
        m_Start = m_End;
        m_End = EndFrom(m_Start);
    }

private:
    size_t EndFrom(size_t from) const {
        if (from >= m_Text->size) return m_Text->size;
        const void* lf = std::memchr(m_Text->bytes.get() + from, '\n', m_Text->size - from);
        return lf ? static_cast<const char*>(lf) - m_Text->bytes.get() + 1 : m_Text->size;
    }
    const CDiffFileText* m_Text;
    size_t m_Start = 0, m_End = 0;
};

// The rows of one comparison one pair at a time, as CTextDiff::BuildRows
// would give them, from its change list: the left row (of the base) and the
// right row (of the other file) at the cursor. A side given no text gets
// its rows without texts.
class RowCursor {
public:
    RowCursor(const std::vector<CDiffChange>& list, const CDiffFileText* left, const CDiffFileText* right)
        : m_List(list), m_Left(left), m_Right(right) {
        Enter();
    }
    bool AtEnd() const { return m_Change == m_List.size(); }
    // A filler on the left: the other file adds a line.
    bool LeftIsFiller() const { return Kind() == kDiffAdded; }
    CDiffRow LeftRow() const {
        switch (Kind()) {
        case kDiffSame: return CDiffRow(0, m_Li, -1, m_Left.Line());
        case kDiffModified: return CDiffRow(1, m_Li, m_Group, m_Left.Line());
        case kDiffDeleted: return CDiffRow(3, m_Li, m_Group, m_Left.Line());
        default: return CDiffRow(0, -1, m_Group, std::string_view());
        }
    }
    CDiffRow RightRow() const {
        switch (Kind()) {
        case kDiffSame: return CDiffRow(0, m_Ri, -1, m_Right.Line());
        case kDiffModified: return CDiffRow(1, m_Ri, m_Group, m_Right.Line());
        case kDiffAdded: return CDiffRow(2, m_Ri, m_Group, m_Right.Line());
        default: return CDiffRow(0, -1, m_Group, std::string_view());
        }
    }
    // The left row's marker alone.
    int LeftMarker() const { return Kind() == kDiffModified ? 1 : Kind() == kDiffDeleted ? 3 : 0; }
    void Next() {
        const int kind = Kind();
        if (kind != kDiffAdded) {
            ++m_Li;
            m_Left.Next();
        }
        if (kind != kDiffDeleted) {
            ++m_Ri;
            m_Right.Next();
        }
        if (++m_Step == m_List[m_Change].count) {
            ++m_Change;
            Enter();
        }
    }

private:
    int Kind() const { return m_List[m_Change].kind; }
    // Steps onto the change at m_Change, past changes that give no rows;
    // every change but "same" counts as a difference.
    void Enter() {
        m_Step = 0;
        for (; m_Change < m_List.size(); ++m_Change) {
            const CDiffChange& c = m_List[m_Change];
            if (c.kind != kDiffSame) ++m_Group;
            const bool rows = c.kind == kDiffSame || c.kind == kDiffModified || c.kind == kDiffDeleted ||
                              c.kind == kDiffAdded;
            if (rows && c.count > 0) return;
        }
    }
    const std::vector<CDiffChange>& m_List;
    LineWalker m_Left, m_Right;
    size_t m_Change = 0;
    int m_Step = 0;
    int m_Li = 0, m_Ri = 0, m_Group = 0;
};

// The three columns of the three-file alignment, from the changes of the
// base against file 2 (its other side the left column) and against file 3
// (the right column). The two comparisons' rows are walked side by side:
// where one has a filler in the base column and the other does not, the
// filler {0, -2, -1, ""} goes into the other's base and outer column, so
// that every base line shares one row in all columns. The middle column
// is the base column of file 3's comparison with the markers of both
// combined. Counted first, so that each column is taken at its size.
// The rows point into the bytes of the files; the places of their lines
// are not read.
void BuildThreeWayRows(const std::vector<CDiffChange>& changes2, const std::vector<CDiffChange>& changes3,
                       const CDiffFileText& base, const CDiffFileText& file2, const CDiffFileText& file3,
                       std::vector<CDiffRow>& left, std::vector<CDiffRow>& middle,
                       std::vector<CDiffRow>& right) {
    const CDiffRow filler(0, -2, -1, std::string_view());
    // The count needs no texts. File 2's comparison gives no row of the
    // base, only its markers.
    auto walk = [&](bool texts, auto&& emit) {
        RowCursor c2(changes2, nullptr, texts ? &file2 : nullptr);
        RowCursor c3(changes3, texts ? &base : nullptr, texts ? &file3 : nullptr);
        while (!c2.AtEnd() || !c3.AtEnd()) {
            const bool has3 = !c3.AtEnd(), has2 = !c2.AtEnd();
            const bool filler3 = has3 && c3.LeftIsFiller();
            const bool filler2 = has2 && c2.LeftIsFiller();
            if ((filler3 && !filler2) || !has2) {
                emit(c2, c3, false, true);
                c3.Next();
            } else if ((filler2 && !filler3) || !has3) {
                emit(c2, c3, true, false);
                c2.Next();
            } else {
                emit(c2, c3, true, true);
                c2.Next();
                c3.Next();
            }
        }
    };
    size_t rows = 0;
    walk(false, [&](const RowCursor&, const RowCursor&, bool, bool) { ++rows; });
    left.clear();
    middle.clear();
    right.clear();
    left.reserve(rows);
    middle.reserve(rows);
    right.reserve(rows);
    walk(true, [&](const RowCursor& c2, const RowCursor& c3, bool from2, bool from3) {
        left.push_back(from2 ? c2.RightRow() : filler);
        CDiffRow mid = from3 ? c3.LeftRow() : filler;
        mid.marker = CombineMiddleMarkers(from2 ? c2.LeftMarker() : 0, mid.marker);
        middle.push_back(mid);
        right.push_back(from3 ? c3.RightRow() : filler);
    });
}

// The rows of an outer column whose line reads the same as the base line
// in the middle column's row point into the base's bytes instead; the
// lines that differ are copied into a block of their own, which replaces
// the file's bytes, so that the three-file window keeps little more than
// the base. A file most of whose lines differ from the base keeps its
// bytes, as a copy of them would cost more than it saves while it is made.
void ShareBaseLines(std::vector<CDiffRow>& outer, const std::vector<CDiffRow>& middle, CDiffFileText& file) {
    auto own = [&](size_t i) {
        const CDiffRow& r = outer[i];
        return r.lineNo >= 0 && !(middle[i].lineNo >= 0 && middle[i].Text() == r.Text());
    };
    size_t extra = 0;
    for (size_t i = 0; i < outer.size(); ++i)
        if (own(i)) extra += outer[i].Text().size();
    if (extra > file.size / 2) return;
    textdiff::Block block = textdiff::NewBlock(extra);
    size_t used = 0;
    for (size_t i = 0; i < outer.size(); ++i) {
        CDiffRow& r = outer[i];
        if (r.lineNo < 0) continue;
        if (!own(i)) {
            r.SetText(middle[i].Text());
            continue;
        }
        const std::string_view text = r.Text();
        if (!text.empty()) std::memcpy(block.get() + used, text.data(), text.size());
        r.SetText(std::string_view(block.get() + used, text.size()));
        used += text.size();
    }
    file.bytes = std::move(block);
    file.size = used;
}

}  // namespace

namespace {
DiffBuildOutput MakeThreeWayBuild(const DiffBuildInput& input, const std::atomic<bool>* breakFlag) {
    // The base (name2) is read once and compared with file 3, then file 2;
    // its lines cost twice. Only the change lists of the comparisons are
    // kept, and the places of the lines are let go as soon as no comparison
    // needs them, before the rows of all three columns are built.
    auto texts = std::make_shared<std::vector<CDiffFileText>>();
    if (!LoadFileTexts({input.name2, input.name3, input.name1}, *texts, 2 * kLineCost)) {
        ReportLoadFailure();
        return Failed(input, DiffBuildOutput::kLoadFailed);
    }
    CDiffFileText &base = (*texts)[0], &file3 = (*texts)[1], &file2 = (*texts)[2];
    try {
        std::vector<CDiffChange> changes3, changes2;
        {
            CTextDiff c1(input.options);
            c1.SetBreakFlag(breakFlag);
            if (!c1.CompareFileTexts(base, file3)) return Failed(input, DiffBuildOutput::kStopped);
            changes3 = c1.BuildChangeList();
        }
        DropLinePlaces(file3);
        {
            CTextDiff c2(input.options);
            c2.SetBreakFlag(breakFlag);
            if (!c2.CompareFileTexts(base, file2)) return Failed(input, DiffBuildOutput::kStopped);
            changes2 = c2.BuildChangeList();
        }
        DropLinePlaces(base);
        DropLinePlaces(file2);
        // What the comparisons let go goes back to the system before the
        // columns are taken.
        malloc_trim(0);
        std::vector<CDiffRow> left, middle, right;
        BuildThreeWayRows(changes2, changes3, base, file2, file3, left, middle, right);
        ShareBaseLines(left, middle, file2);
        ShareBaseLines(right, middle, file3);
        malloc_trim(0);
        return Built(input, std::move(texts), std::move(left), std::move(middle), std::move(right));
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return Failed(input, DiffBuildOutput::kNoMemory);
    }
}
}  // namespace

DiffBuildInput DiffBuildInputOf(const CDiffResult& result, int window) {
    DiffBuildInput input;
    input.window = window;
    input.name1 = result.name1;
    input.name2 = result.name2;
    input.name3 = result.name3;
    input.options = CDiffOptions::FromProgramOptions();
    if (window == kDiffWindowInputOutput) {
        input.input = GetInputWindowText();
        input.output = GetOutputWindowText();
    }
    return input;
}

DiffBuildOutput MakeDiffBuild(DiffBuildInput input, const std::atomic<bool>* breakFlag) {
    switch (input.window) {
    case kDiffWindowInputOutput: return MakeInputOutputBuild(input, breakFlag);
    case kDiffWindowThreeWay: return MakeThreeWayBuild(input, breakFlag);
    default: return MakeFilesBuild(input, breakFlag);
    }
}

bool FinishDiffBuild(CDiffResult& result, DiffBuildOutput output) {
    if (output.outcome != DiffBuildOutput::kBuilt) return result.FailBuild();
    const char* done = output.window == kDiffWindowInputOutput ? "Input/Output diff built."
                       : output.window == kDiffWindowThreeWay  ? "3-way diff built."
                                                               : "Files diff built.";
    return result.TakeBuild(std::move(output.texts), std::move(output.left), std::move(output.middle),
                            std::move(output.right), done);
}

bool BuildInputOutputDiff(CDiffResult& result, const std::atomic<bool>* breakFlag) {
    return FinishDiffBuild(result, MakeDiffBuild(DiffBuildInputOf(result, kDiffWindowInputOutput), breakFlag));
}

bool BuildFilesDiff(CDiffResult& result, const std::atomic<bool>* breakFlag) {
    return FinishDiffBuild(result, MakeDiffBuild(DiffBuildInputOf(result, kDiffWindowFiles), breakFlag));
}

bool Build3WayDiff(CDiffResult& result, const std::atomic<bool>* breakFlag) {
    return FinishDiffBuild(result, MakeDiffBuild(DiffBuildInputOf(result, kDiffWindowThreeWay), breakFlag));
}
