// The line diff engine: two lists of lines, a left (first) and a right
// (second) input, are compared into matching runs of equal lines by a
// repeated longest-run split, turned into an ordered change list and written
// as a numbered text report or as aligned rows.
//
// The runs are those of this procedure, not of a shortest edit script: for
// each part of the inputs the right line that starts the longest run wins
// (the first right line on a tie), where the run of a right line is found by
// a scan of the left lines that moves on by the best length found so far
// plus one, and keeps the leftmost start on a tie. The part before a run and
// the part after it are then matched the same way. Each right line keeps the
// run found for it and rescans only when that run no longer fits the part.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "compare/DiffChange.h"
#include "model/DiffLine.h"
#include "compare/DiffOptions.h"
#include "compare/diff/HugePages.h"
#include "compare/diff/RightLines.h"
#include "compare/diff/SampledLines.h"

// Reads a file into input lines {0, -1, -1, text}: lines end at LF, a CR
// right before the LF is dropped (a lone CR stays in the line), a last line
// without a terminator is still a line, a terminator at the very end adds no
// empty line. When the file cannot be read: the message "Failed to read the
// file: " + path (with the reason on a second line where there is one: a
// pipe, device or socket is refused without waiting for it, a file written
// to while it was read is "It changed while it was read.", and running out
// of memory is reported, never thrown), lines left empty, false.
bool LoadFileLines(const std::string& path, std::vector<CDiffLine>& lines);

// The lines of a file read as one block: the same lines LoadFileLines
// gives, kept as the place where each starts in bytes (four bytes a line;
// eight for files of 4 GB and more), or, for the left file of a comparison
// of files that looks like a near copy, as every 64th of those places
// (lines found by walking from there: one thread at a time).
struct CDiffFileText {
    textdiff::Block bytes;
    size_t size = 0;
    // Where each line starts, then one place past the last line.
    std::vector<uint32_t> starts;
    std::vector<uint64_t> wideStarts;  // instead, for files of 4 GB and more
    std::unique_ptr<textdiff::SampledLines> sampled;  // instead of both

    size_t Count() const {
        if (!starts.empty()) return starts.size() - 1;
        if (!wideStarts.empty()) return wideStarts.size() - 1;
        return sampled ? sampled->Count() : 0;
    }
    size_t Start(size_t k) const {
        if (!starts.empty()) return starts[k];
        return wideStarts.empty() ? sampled->Start(k) : wideStarts[k];
    }
    // Line k without its LF, and without a CR right before that LF.
    std::string_view Line(size_t k) const {
        if (!starts.empty()) return LineBetween(bytes.get(), starts[k], starts[k + 1]);
        if (!wideStarts.empty()) return LineBetween(bytes.get(), wideStarts[k], wideStarts[k + 1]);
        const auto [from, to] = sampled->Span(k);
        return LineBetween(bytes.get(), from, to);
    }
    static std::string_view LineBetween(const char* bytes, size_t from, size_t to) {
        if (to > from && bytes[to - 1] == '\n') {
            --to;
            if (to > from && bytes[to - 1] == '\r') --to;
        }
        return std::string_view(bytes + from, to - from);
    }
};
bool LoadFileText(const std::string& path, CDiffFileText& text);

// Reads the files of one comparison as blocks, all at once (each but the
// first on a thread of its own); texts gets one entry per path. Refused,
// each with the message of LoadFileLines naming the file: anything that is
// not a regular file, files written to while they were read, files whose
// bytes would not fit in the memory available (checked before anything
// is read), and files whose lines would not fit beside them at lineCost
// bytes a line (checked once the lines are read and placed, before
// anything else is taken for them; 0 checks the bytes only). False, with
// every text left empty, when a file failed.
bool LoadFileTexts(const std::vector<std::string>& paths, std::vector<CDiffFileText>& texts,
                   size_t lineCost);

// The memory that may still be taken, in bytes: MemAvailable of
// /proc/meminfo, 0 when unknown (then nothing is refused). A probe set
// here answers instead (nullptr: the system again).
uint64_t DiffMemoryAvailable();
void SetDiffMemoryProbe(uint64_t (*probe)());

// A probe called with the path of each file a comparison reads, once the
// file has been looked at and before its bytes are read (nullptr: none).
void SetDiffReadProbe(void (*probe)(const std::string& path));

// A text of ch repeated as many times as text has bytes.
std::string MakeUnderline(const std::string& text, char ch);

class CTextDiff {
public:
    explicit CTextDiff(const CDiffOptions& options = CDiffOptions());
    ~CTextDiff();
    CTextDiff(const CTextDiff&) = delete;
    CTextDiff& operator=(const CTextDiff&) = delete;

    // LoadFileLines(pathA, a) and, only when that succeeded, LoadFileLines(pathB, b).
    static bool LoadFilePair(const std::string& pathA, const std::string& pathB,
                             std::vector<CDiffLine>& a, std::vector<CDiffLine>& b);

    // A flag that stops a running comparison when it becomes true; polled
    // while matching. nullptr: never stopped.
    void SetBreakFlag(const std::atomic<bool>* flag) { m_pBreak = flag; }

    // Takes both inputs (pass them with std::move to avoid a copy) and finds
    // the matching runs. Call once per object. False when the break flag
    // stopped it: then there are no runs and WasBroken() is true, and the
    // change list and rows must not be used.
    bool Compare(std::vector<CDiffLine> left, std::vector<CDiffLine> right);
    // The same over lines kept by the caller, which must outlive every later
    // call on this object; GetLeft() and GetRight() are empty then.
    bool CompareViews(std::vector<std::string_view> left, std::vector<std::string_view> right);
    // The same over the lines of two files read as blocks, which it keeps.
    bool CompareTexts(CDiffFileText left, CDiffFileText right);
    // The same over files read as blocks and kept by the caller, which must
    // outlive every later call on this object.
    bool CompareFileTexts(const CDiffFileText& left, const CDiffFileText& right);
    // The same over two files it reads, with the messages and refusals of
    // LoadFileText for each. The left file is held whole; where lines are
    // equal only when their bytes are (neither case nor items ignored) the
    // right one is read a piece at a time as its lines are numbered, and
    // only its texts the left file does not have are kept (a left file of
    // few distinct texts is then kept as those texts once its lines are
    // numbered, and each line as the number of its text; a left file that
    // begins and ends as the right one is first read keeping every 64th
    // line's place, and keeps no other where it is a near copy with its
    // edits close together; a right file that is the left one with a few
    // edits anywhere is kept as pieces of the left one and its own lines,
    // and the left lines are not numbered). False
    // when a file could not be read (the right one may have been read in
    // part; a file written to while it was read is one), when the memory
    // ran out (with a message: nothing is thrown), or when stopped
    // (WasBroken()).
    bool CompareFiles(const std::string& leftPath, const std::string& rightPath);
    bool WasBroken() const { return m_bBroken; }
    // Whether the last comparison found the right input a near copy of the
    // left and took its runs without numbering the lines.
    bool WasNearCopy() const { return m_bNearCopy; }
    // Whether the last comparison gave up the procedure's runs for those
    // of a longest common subsequence of the lines: inputs that share
    // little but one text (blank lines, say), where the procedure's work
    // grows with the square of the lines and could not end in time. The
    // change list is then a shortest edit script.
    bool WasLongestCommon() const { return m_bLongestCommon; }

    // The ordered change list: every line of both inputs once, in order.
    std::vector<CDiffChange> BuildChangeList() const;

    // True when the inputs differ; the numbered report (CR LF line ends) is
    // stored into report only when wantText is set.
    bool ListChanges(bool wantText, std::string& report) const;
    // The same report handed to write a piece at a time (each piece ends at
    // a line end), so that a large report is never held whole, its lines
    // ended with lineEnd. A false from write stops the writing and sets
    // *writeFailed where given.
    bool ListChanges(const std::function<bool(std::string_view)>& write, bool* writeFailed = nullptr,
                     std::string_view lineEnd = "\r\n") const;

    // Empties both lists and fills them with one row per line or filler:
    // same {0, index, -1, text} on both sides; modified {1, index, g, text}
    // on both sides; deleted {3, index, g, text} left against the filler
    // {0, -1, g, ""}; added the filler left against {2, index, g, text}.
    // g counts the changes that are not "same" from 1. The texts of the
    // rows point into the compared lines: they stay valid while those do
    // (this object's own copies, or the lines kept by the caller).
    void BuildRows(std::vector<CDiffRow>& leftRows, std::vector<CDiffRow>& rightRows) const;

    // The matching runs (kind 0) in the order they were found.
    const std::vector<CDiffChange>& GetRuns() const { return m_Runs; }
    const std::vector<CDiffLine>& GetLeft() const { return m_Left; }
    const std::vector<CDiffLine>& GetRight() const { return m_Right; }
    const CDiffOptions& GetOptions() const { return m_Options; }

    static bool CompareChangesByRightPos(const CDiffChange& a, const CDiffChange& b) {
        return a.rightPos < b.rightPos;
    }
    static CDiffChange MakeModifiedChange(int rightPos, int leftPos, int count) {
        return {rightPos, leftPos, count, kDiffModified};
    }
    static CDiffChange MakeDeletedChange(int leftPos, int count) {
        return {-1, leftPos, count, kDiffDeleted};
    }
    static CDiffChange MakeAddedChange(int rightPos, int count) {
        return {rightPos, -1, count, kDiffAdded};
    }

    // A stretch of a right file held as pieces of the left one: right
    // lines from `right` on are the left lines from `from` on, or (with
    // kOwn) the right file's own texts from (from & ~kOwn) on.
    struct NearSpan {
        static constexpr uint32_t kOwn = 0x80000000u;
        uint32_t right = 0, from = 0;
    };

private:
    class Matcher;
    // The lines of a right file read a piece at a time (CompareFiles):
    // while they are numbered, the reader's window; then each line as a
    // left line of the same text or as a text of its own.
    struct RightLines {
        static constexpr uint32_t kOwn = 0x80000000u;
        CDiffFileText* left = nullptr;
        // Per right line: a left line of its text, or kOwn + the place of
        // its text among the texts of its own.
        textdiff::GrowingList<uint32_t> where;
        textdiff::GrowingList<char> own;              // the texts of its own, one after another
        textdiff::GrowingList<uint32_t> ownStarts;    // where each starts, then one past the last
        std::unique_ptr<textdiff::LineReader> reader;  // while the lines are numbered
        uint32_t prefix = 0;      // first lines known to be the same bytes as the left's first lines
        size_t expected = 0;      // a guess of the count of lines
        size_t count = 0;         // the lines, once numbered
        // Where the left file has few distinct texts, both files are kept
        // as those texts and the number of each line's text once the lines
        // are numbered (the left file's bytes are let go): texts below
        // leftTexts are the left's, the others the right's own in order.
        bool few = false;
        size_t leftTexts = 0;
        std::vector<uint32_t> fewStarts;  // where each left text starts in fewBytes, then one past the last
        std::string fewBytes;
        std::vector<int> leftIds, rightIds;
        // A near copy of the left file (CompareNearCopy): right lines below
        // nearHead are the left lines of the same number, the next ones the
        // texts of its own, the others the left lines from nearTail on.
        bool near = false;
        uint32_t nearHead = 0, nearTail = 0;
        // Or, where the edits are several (CompareNearGaps), the right
        // lines as stretches in order, the first from line 0.
        std::vector<NearSpan> nearSpans;
        // (With few texts or a near copy, where is not written at all.)
        void AddOwn(uint32_t k, std::string_view text) {
            if (ownStarts.Size() == 0) ownStarts.PushBack(0);
            if (own.Size() + text.size() >= kOwn) throw std::bad_alloc();
            if (!few && !near) where[k] = kOwn | static_cast<uint32_t>(ownStarts.Size() - 1);
            own.Append(text.data(), text.size());
            ownStarts.PushBack(static_cast<uint32_t>(own.Size()));
        }
        std::string_view Own(uint32_t q) const {
            const uint32_t* at = ownStarts.Data() + q;
            return std::string_view(own.Data() + at[0], at[1] - at[0]);
        }
        std::string_view Line(size_t k) const {
            if (near) return NearLine(k);
            const uint32_t w = where[k];
            if (w & kOwn) return Own(w & ~kOwn);
            return CDiffFileText::LineBetween(left->bytes.get(), left->starts[w], left->starts[w + 1]);
        }
        std::string_view NearLine(size_t k) const {
            if (!nearSpans.empty()) {
                const auto at = std::upper_bound(nearSpans.begin(), nearSpans.end(), k,
                                                 [](size_t v, const NearSpan& x) { return v < x.right; }) - 1;
                const uint32_t from = at->from + static_cast<uint32_t>(k - at->right);
                return (at->from & NearSpan::kOwn) ? Own(from & ~NearSpan::kOwn) : left->Line(from);
            }
            const size_t owned = ownStarts.Size() - 1;
            if (k < nearHead) return left->Line(k);
            if (k < nearHead + owned) return Own(static_cast<uint32_t>(k - nearHead));
            return left->Line(k - nearHead - owned + nearTail);
        }
        // The text numbered id, where the texts are few.
        std::string_view Text(int id) const {
            const size_t t = static_cast<size_t>(id);
            if (t < leftTexts) return std::string_view(fewBytes.data() + fewStarts[t], fewStarts[t + 1] - fewStarts[t]);
            return Own(static_cast<uint32_t>(t - leftTexts));
        }
    };
    // The lines of one input, whichever way they were handed over.
    struct LineSource {
        const CDiffLine* lines = nullptr;
        const std::string_view* views = nullptr;
        size_t count = 0;
        const CDiffFileText* text = nullptr;
        RightLines* stored = nullptr;
        const int* ids = nullptr;  // with stored: the numbers of the lines' texts, where they are few
        std::string_view operator[](size_t k) const {
            if (views) return views[k];
            if (lines) return std::string_view(lines[k].text);
            if (stored) return ids ? stored->Text(ids[k]) : stored->Line(k);
            if (!text->starts.empty())
                return CDiffFileText::LineBetween(text->bytes.get(), text->starts[k], text->starts[k + 1]);
            return text->Line(k);
        }
    };
    LineSource LeftSource() const;
    LineSource RightSource() const;
    bool RunMatcher();
    // Lets go of the inputs of an earlier call, whichever way they came.
    void ForgetInputs();
    // CompareFiles, which lets nothing it throws through.
    bool ReadAndCompareFiles(const std::string& leftPath, const std::string& rightPath);
    // CompareFiles where equal lines need not be the same bytes: both
    // files held whole.
    bool CompareFilesHeldWhole(const std::string& leftPath, const std::string& rightPath);
    static void AppendTailChanges(std::vector<CDiffChange>& list, int rPos, int nR, int lPos, int nL);
    // Two files of which the right one is a near copy of the left held in
    // m_LeftText (the same first and last lines, a few lines between):
    // the procedure's runs and the right lines kept as left lines, without
    // numbering a line (diff/NearCopy.cpp). False, with nothing kept, where
    // they are not, or where the runs could be others. knownHead: bytes
    // known to be the same from the start, SIZE_MAX when not known.
    bool CompareNearCopy(int fd, size_t rightSize, size_t knownHead);
    // The same where the right file is the left one with a few edits
    // anywhere (diff/NearGaps.cpp), the left file's every line start
    // taken; headBytes and tailBytes: bytes known to be the same at the
    // start and at the end (as CompareNearCopy found them).
    bool CompareNearGaps(int fd, size_t rightSize, size_t headBytes, size_t tailBytes);
    size_t m_nNearHeadBytes = 0, m_nNearTailBytes = 0;
    // The same over lines held, compared as their bytes.
    bool CompareNearCopyLines(const LineSource& left, const LineSource& right);
    static bool NearCopyRuns(const LineSource& left, uint32_t head, uint32_t tail,
                             const std::vector<std::string_view>& middle, std::vector<CDiffChange>& runs);
    // The same where the right lines between head and tail are none, many
    // (up to kNearEditsLines), or also between them on the left: the
    // procedure's runs from the lines of the texts involved
    // (diff/NearEdits.cpp).
    static constexpr uint32_t kNearEditsLines = 4096;
    static constexpr size_t kNearEditsBytes = size_t{1} << 18;
    // NearCopyRuns where it may hold, else NearEditsRuns.
    static bool FewRuns(const LineSource& left, uint32_t head, uint32_t tail,
                        const std::vector<std::string_view>& middle, std::vector<CDiffChange>& runs);
    static bool NearEditsRuns(const LineSource& left, uint32_t head, uint32_t tail,
                              const std::vector<std::string_view>& middle, std::vector<CDiffChange>& runs);

    std::vector<CDiffLine> m_Left;
    std::vector<CDiffLine> m_Right;
    std::vector<std::string_view> m_LeftViews;
    std::vector<std::string_view> m_RightViews;
    CDiffFileText m_LeftText;
    CDiffFileText m_RightText;
    const CDiffFileText* m_pLeftText = nullptr;   // m_LeftText or the caller's
    const CDiffFileText* m_pRightText = nullptr;
    std::unique_ptr<RightLines> m_pStored;        // the right file of CompareFiles, read in pieces
    std::vector<CDiffChange> m_Runs;
    CDiffOptions m_Options;
    const std::atomic<bool>* m_pBreak = nullptr;
    bool m_bBroken = false;
    bool m_bNearCopy = false;
    bool m_bLongestCommon = false;
};
