// Two files that are near copies of each other: the same first lines (the
// head) and the same last lines (the tail), a few lines of the right file
// between them. Takes the left file held as a block and the right file
// opened (or the lines of both, held); gives the runs of the procedure
// without numbering a line, or nothing (the caller then matches the
// inputs the full way). Of a right file only the few lines between head
// and tail are read as lines; the rest is compared byte for byte with the
// left file and kept as the left lines it equals.
//
// Why the runs are those of the procedure. Let the head be H lines, the tail
// T lines, the M right lines between them the middle (at least one), the
// left lines between them the left middle, nR = H + M + T. Let B be the
// longest run that holds a middle line (0 where no middle line is a left
// line; else the longest diagonal of equal lines through a middle line and a
// left line of its text). Asked: no middle line is a line of the left
// middle; B < T (B <= H where T = 0); the scan of the first tail line, made
// as the procedure makes it over the left lines from H (H >= T) or from 0
// (T > H), comes to the left tail's first line (it is made here; among most
// lines the text is found nowhere before). Head and tail are first taken as
// long as the lines are equal; where they would overlap, the longer keeps
// its length (the head on a tie) and the other is cut to the lines beside it
// (as the procedure's part before or after the first run cuts it). A run
// that holds no middle line lies within the head or within the tail on the
// right, so a run from right line i of the head is at most max(H - i, B)
// long, one from a tail line at most the lines left. The scan of right line
// 0 meets left line 0 first and finds at least H there. Then:
//  - H >= T: right line H is no left line H (that run would hold a middle
//    line and be longer than B), so line 0 finds H at left line 0, and no
//    later place beats it. The first pass takes right line 0 with H (no line
//    has a longer run; the first wins a tie) and visits only right lines
//    below nR - H, none of them in the tail, so the tail's lines are still
//    unknown in the part after the run (right and left lines from H on).
//    There each middle line's run, kept or scanned again, is a run of the
//    part, shorter than T. The first tail line (the first tail line of the
//    left: tail lines are the same on both sides) is scanned from left line
//    H: it comes to the left tail's first line, which gives T, so the tail
//    is the run. What lies before it, the middle against the left middle,
//    has no equal lines and so no run.
//  - T > H: the first pass visits every right line up to the first of the
//    tail (none before it has a run of T); its scan from left line 0 comes
//    to the left tail and finds T there, so the tail is the run, found
//    first. In the part before it a run through a middle line can only meet
//    head lines on the left (middle lines are no lines of the left middle),
//    so no run of the part is longer than H, and right line 0's run, kept or
//    scanned again, is H from left line 0, the first of the longest; after
//    the head only the middle and the left middle are left.
// Where a condition fails (a line of the middle that is also in the left
// middle or starts long runs, a scan of the first tail line that steps over
// the left tail, as among lines that repeat), or where no line or more than
// 16 lines lie between head and tail, the way of NearEdits.cpp is tried,
// and failing that the inputs are matched the full way.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "compare/TextDiff.h"
#include "compare/diff/LineFeeds.h"

using textdiff::ReadAt;

namespace {
// Right lines between head and tail taken this way at most (their bytes:
// kNearEditsBytes, as for the way of NearEdits.cpp).
constexpr uint32_t kMiddleLines = 16;
constexpr size_t kPiece = size_t{1} << 18;
// Right lines before and after the middle kept as texts while the runs
// through the middle lines are measured.
constexpr uint32_t kNextLines = 16;


// How many bytes from the start of both files are the same, at most limit.
bool SameHead(int fd, const char* left, size_t limit, std::unique_ptr<char[]>& buffer, size_t& same) {
    same = 0;
    while (same < limit) {
        const size_t n = std::min(kPiece, limit - same);
        if (!ReadAt(fd, buffer.get(), n, same)) return false;
        if (std::memcmp(buffer.get(), left + same, n) != 0) {
            same += textdiff::SameBytes(buffer.get(), left + same, n);
            return true;
        }
        same += n;
    }
    return true;
}

// How many bytes from the end of both files are the same, at most limit.
bool SameTail(int fd, size_t rightSize, const char* left, size_t leftSize, size_t limit,
              std::unique_ptr<char[]>& buffer, size_t& same) {
    same = 0;
    while (same < limit) {
        const size_t n = std::min(kPiece, limit - same);
        if (!ReadAt(fd, buffer.get(), n, rightSize - same - n)) return false;
        const char* l = left + leftSize - same - n;
        if (std::memcmp(buffer.get(), l, n) != 0) {
            same += textdiff::SameLastBytes(buffer.get(), l, n);
            return true;
        }
        same += n;
    }
    return true;
}

// Splits bytes into lines as LoadFileLines does.
std::vector<std::string_view> SplitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    size_t from = 0;
    while (from < bytes.size()) {
        const size_t lf = bytes.find('\n', from);
        const size_t to = lf == std::string_view::npos ? bytes.size() : lf + 1;
        lines.push_back(CDiffFileText::LineBetween(bytes.data(), from, to));
        from = to;
    }
    return lines;
}

// Whether a line of span bytes (its text, then at most CR LF) can be one
// of the middle lines.
bool SpanFits(uint32_t span, const std::vector<std::string_view>& middle) {
    for (const std::string_view& line : middle)
        if (span - line.size() <= 2) return true;
    return false;
}

// Hands consider(j, line) each line j of a text read with every 64th line's
// place whose length in bytes fits one of the middle lines, walking its
// bytes in order; stops at the first false.
template <class Consider>
bool EachLineOfItsLength(const CDiffFileText& text, const std::vector<std::string_view>& middle,
                         Consider consider) {
    const char* bytes = text.bytes.get();
    const textdiff::SampledLines& lines = *text.sampled;
    // The spans below 256 bytes that fit, as bits.
    uint64_t fits[4] = {};
    for (uint32_t span = 0; span < 256; ++span)
        if (SpanFits(span, middle)) fits[span >> 6] |= uint64_t{1} << (span & 63);
    uint32_t j = 0;
    size_t from = 0;
    bool going = true;
    auto look = [&](size_t to) {
        const size_t span = to - from;
        if (going && (span < 256 ? (fits[span >> 6] >> (span & 63)) & 1
                                 : SpanFits(static_cast<uint32_t>(span), middle))) {
            // (Twice: the lines before it and those after it are each
            // found from there.)
            lines.Seat(j, from, to);
            lines.Seat(j, from, to);
            going = consider(j, CDiffFileText::LineBetween(bytes, from, to));
        }
        ++j;
        from = to;
    };
    textdiff::ForEachLineFeed(std::string_view(bytes, text.size),
                              [&](const char* nl) { look(static_cast<size_t>(nl + 1 - bytes)); });
    if (from < text.size) look(text.size);
    return going;
}

// Whether the line that ends right before byte from of bytes (the start
// of a line) reads text.
bool LineBeforeIs(const char* bytes, size_t from, std::string_view text) {
    if (from == 0) return false;
    size_t end = from - 1;  // its line feed
    if (end > 0 && bytes[end - 1] == '\r') --end;
    if (end < text.size() || (end > text.size() && bytes[end - text.size() - 1] != '\n')) return false;
    return std::memcmp(bytes + end - text.size(), text.data(), text.size()) == 0;
}

// Whether the line after the one whose text ends at byte end of bytes
// (size bytes) reads text.
bool LineAfterIs(const char* bytes, size_t size, size_t end, std::string_view text) {
    // Past the line's own line end.
    if (end < size && bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n') end += 2;
    else if (end < size && bytes[end] == '\n') ++end;
    else return false;
    if (end >= size || size - end < text.size() || std::memcmp(bytes + end, text.data(), text.size()) != 0)
        return false;
    const size_t after = end + text.size();
    return after == size || bytes[after] == '\n' ||
           (bytes[after] == '\r' && after + 1 < size && bytes[after + 1] == '\n');
}

// How many line feeds the first n bytes of text hold.
uint32_t FeedsBefore(const CDiffFileText& text, size_t n) {
    if (text.sampled) return static_cast<uint32_t>(text.sampled->FeedsBefore(n));
    const uint32_t* starts = text.starts.data();
    const size_t nL = text.Count();
    const bool lastOpen = text.bytes[text.size - 1] != '\n';
    return static_cast<uint32_t>(
        std::upper_bound(starts + 1, starts + (lastOpen ? nL - 1 : nL) + 1, static_cast<uint32_t>(n)) -
        (starts + 1));
}

// The first line of text that starts at byte x or later; Count() when none.
uint32_t FirstLineFrom(const CDiffFileText& text, size_t x) {
    if (text.sampled) return static_cast<uint32_t>(text.sampled->FirstLineFrom(x));
    const uint32_t* starts = text.starts.data();
    return static_cast<uint32_t>(std::lower_bound(starts, starts + text.Count(), static_cast<uint32_t>(x)) - starts);
}
}  // namespace

bool CTextDiff::NearCopyRuns(const LineSource& left, uint32_t head, uint32_t tail,
                             const std::vector<std::string_view>& middle, std::vector<CDiffChange>& runs) {
    const uint32_t nL = static_cast<uint32_t>(left.count), m = static_cast<uint32_t>(middle.size());
    const uint32_t nR = head + m + tail;
    if (m == 0 || head + tail == 0) return false;
    const uint32_t tailFrom = nL - tail, firstSearched = head >= tail ? head : 0;
    // The first middle line's text right after the head on the left, or the
    // last one's right before the tail (a line inserted beside one of its
    // text), is a run through a middle line of H + 1 or T + 1 lines at
    // least: B is then too long, known without a look at the other lines.
    if (head > 0 && head < nL && (tail == 0 || head + 1 >= tail) && left[head] == middle.front()) return false;
    if (tail > 0 && tailFrom > 0 && left[tailFrom - 1] == middle.back()) return false;
    // The right lines next to the middle are looked up once; the left
    // lines next to each place of a middle line's text are then found from
    // that place.
    std::vector<std::string_view> before, after;
    for (uint32_t k = 0; k < kNextLines && k < head; ++k) before.push_back(left[head - 1 - k]);
    for (uint32_t k = 0; k < kNextLines && k < tail; ++k) after.push_back(left[tailFrom + k]);
    auto right = [&](uint32_t q) {
        if (q < head) return head - 1 - q < before.size() ? before[head - 1 - q] : left[q];
        if (q < head + m) return middle[q - head];
        return q - head - m < after.size() ? after[q - head - m] : left[q - head - m + tailFrom];
    };
    const bool held = left.text && !left.views && !left.lines && !left.stored;
    const char* bytes = held ? left.text->bytes.get() : nullptr;
    const size_t size = held ? left.text->size : 0;
    // B, the longest run through a middle line, measured along the
    // diagonals of its places on the left (given up where that takes long).
    uint32_t longest = 0;
    uint64_t budget = 4 * uint64_t{nL} + 4096;
    // Left line j of the text line: false where the runs could be others.
    auto consider = [&](uint32_t j, std::string_view line) {
        for (uint32_t p = 0; p < m; ++p) {
            if (line != middle[p]) continue;
            if (j >= head && j < tailFrom) return false;
            const uint32_t i = head + p;
            uint32_t back = 0, ahead = 0;
            // (Where the line is seen in the left file's bytes, the lines
            // beside it are first read there.)
            const size_t from = bytes ? static_cast<size_t>(line.data() - bytes) : 0;
            const bool before = !bytes || (i > 0 && LineBeforeIs(bytes, from, right(i - 1)));
            const bool next = !bytes || (i + 1 < nR && LineAfterIs(bytes, size, from + line.size(), right(i + 1)));
            // (A head or tail line met at its own place on the left: the
            // rest of the way is the same lines on both sides.)
            while (before && back < i && back < j) {
                const uint32_t q = i - 1 - back;
                if (q < head && q == j - 1 - back) {
                    if (budget <= q + 1) return false;
                    budget -= q + 1;
                    back += q + 1;
                    break;
                }
                if (right(q) != left[j - 1 - back] || --budget == 0) break;
                ++back;
            }
            // (A budget spent on the way back must not wrap round on the
            // way ahead.)
            if (budget == 0) return false;
            while (next && i + 1 + ahead < nR && j + 1 + ahead < nL) {
                const uint32_t q = i + 1 + ahead;
                if (q >= head + m && q - head - m + tailFrom == j + 1 + ahead) {
                    if (budget <= nR - q) return false;
                    budget -= nR - q;
                    ahead += nR - q;
                    break;
                }
                if (right(q) != left[j + 1 + ahead] || --budget == 0) break;
                ++ahead;
            }
            if (budget == 0) return false;
            longest = std::max(longest, back + 1 + ahead);
        }
        return true;
    };
    // The scan of the first tail line over the left lines before the left
    // tail, as the procedure makes it (each place's run is at most T - 1
    // lines: T there would be a copy of the tail): it must come to the
    // left tail's first line, which then gives T. (Made first: where it
    // does not, the left file need not be walked for the middle's texts.)
    uint32_t at = firstSearched, best = 0;
    while (tail > 0 && at < tailFrom) {
        uint32_t n = 0;
        while (n < tail && left[tailFrom + n] == left[at + n] && --budget) ++n;
        if (budget == 0 || n == tail) return false;
        best = std::max(best, n);
        at += best + 1;
    }
    if (tail > 0 && at != tailFrom) return false;
    // (The lines of a file held as a block are first told apart by their
    // lengths in bytes.)
    if (left.text && left.text->sampled) {
        if (!EachLineOfItsLength(*left.text, middle, consider)) return false;
    } else {
        const uint32_t* starts = !left.views && !left.lines && !left.stored && left.text &&
                                         !left.text->starts.empty()
                                     ? left.text->starts.data()
                                     : nullptr;
        for (uint32_t j = 0; j < nL; ++j) {
            if (starts && !SpanFits(starts[j + 1] - starts[j], middle)) continue;
            if (!consider(j, left[j])) return false;
        }
    }
    if (tail > 0 ? longest >= tail : longest > head) return false;
    const CDiffChange headRun{0, 0, static_cast<int>(head), kDiffSame};
    const CDiffChange tailRun{static_cast<int>(nR - tail), static_cast<int>(tailFrom), static_cast<int>(tail),
                              kDiffSame};
    runs.clear();
    if (head >= tail) {
        runs.push_back(headRun);
        if (tail) runs.push_back(tailRun);
    } else {
        runs.push_back(tailRun);
        if (head) runs.push_back(headRun);
    }
    return true;
}

bool CTextDiff::FewRuns(const LineSource& left, uint32_t head, uint32_t tail,
                        const std::vector<std::string_view>& middle, std::vector<CDiffChange>& runs) {
    // The short way where the middle is small and none of its lines is a
    // line of a small left middle (it asks that), else the way of the
    // edits (NearEdits.cpp).
    const uint32_t m = static_cast<uint32_t>(middle.size()), tailFrom = static_cast<uint32_t>(left.count) - tail;
    bool few = m >= 1 && m <= kMiddleLines && head <= tailFrom;
    for (uint32_t j = head; few && j < tailFrom && tailFrom - head <= kMiddleLines * 4; ++j)
        few = std::find(middle.begin(), middle.end(), left[j]) == middle.end();
    // (A middle that starts with the text of the left line after the head,
    // a line inserted beside one of its text, is tried the way of the
    // edits first: among lines of few texts the short way's scan of the
    // first tail line looks up many left lines and mostly steps over the
    // tail. Either way gives the procedure's runs where it holds.)
    const bool beside = m >= 1 && head < left.count && left[head] == middle.front();
    if (beside && NearEditsRuns(left, head, tail, middle, runs)) return true;
    if (few && NearCopyRuns(left, head, tail, middle, runs)) return true;
    if (!beside && NearEditsRuns(left, head, tail, middle, runs)) return true;
    runs.clear();
    return false;
}

bool CTextDiff::CompareNearCopy(int fd, size_t rightSize, size_t knownHead) {
    const CDiffFileText& left = m_LeftText;
    const size_t leftSize = left.size, limit = std::min(leftSize, rightSize);
    m_nNearHeadBytes = m_nNearTailBytes = 0;
    const uint32_t nL = static_cast<uint32_t>(left.Count());
    if (nL == 0 || limit == 0 || !left.wideStarts.empty()) return false;
    std::unique_ptr<char[]> buffer(new char[kPiece]);
    size_t headBytes = knownHead, tailBytes = 0;
    if (knownHead == SIZE_MAX && !SameHead(fd, left.bytes.get(), limit, buffer, headBytes)) return false;
    headBytes = std::min(headBytes, limit);
    if (!SameTail(fd, rightSize, left.bytes.get(), leftSize, limit, buffer, tailBytes)) return false;
    m_nNearHeadBytes = headBytes;
    m_nNearTailBytes = tailBytes;
    // Not a near copy (or not worth it) unless the part between is small.
    if (headBytes + tailBytes + kNearEditsBytes < rightSize) return false;
    // Head lines end (line feed included) within the same first bytes;
    // tail lines start within the same last bytes, on a line start of both
    // (the right one's place of left line j from the tail on: rightAt(j)).
    uint32_t head = FeedsBefore(left, headBytes);
    auto rightAt = [&](uint32_t j) {
        return static_cast<int64_t>(rightSize - leftSize) + static_cast<int64_t>(left.Start(j));
    };
    uint32_t tailLine = FirstLineFrom(left, leftSize - tailBytes);
    if (tailLine < nL && left.Start(tailLine) == leftSize - tailBytes && rightAt(tailLine) > 0) {
        char before;
        if (!ReadAt(fd, &before, 1, static_cast<size_t>(rightAt(tailLine) - 1))) return false;
        if (before != '\n') ++tailLine;
    }
    // Where head and tail overlap, the longer is the procedure's first run
    // (the head on a tie) and the other is what is left beside it.
    if (head >= nL - tailLine) {
        tailLine = std::max(tailLine, head);
        while (tailLine < nL && rightAt(tailLine) < static_cast<int64_t>(left.Start(head))) ++tailLine;
    } else {
        head = std::min(head, tailLine);
        while (head > 0 && static_cast<int64_t>(left.Start(head)) > rightAt(tailLine)) --head;
    }
    const size_t middleFrom = left.Start(head), middleTo = static_cast<size_t>(rightAt(tailLine));
    if (middleTo - middleFrom > kNearEditsBytes) return false;
    std::string bytes(middleTo - middleFrom + 1, '\0');
    // (One more byte: a file that grew meanwhile is matched the full way.)
    if (!ReadAt(fd, bytes.data(), bytes.size() - 1, middleFrom) || ReadAt(fd, bytes.data(), 1, rightSize))
        return false;
    bytes.pop_back();
    if (textdiff::CountLineFeeds(bytes) > kNearEditsLines) return false;
    const std::vector<std::string_view> middle = SplitLines(bytes);
    const LineSource leftLines{nullptr, nullptr, nL, &m_LeftText};
    if (!FewRuns(leftLines, head, nL - tailLine, middle, m_Runs)) return false;
    // The right lines: the head and tail as the left lines they equal, the
    // lines between as texts of their own.
    auto stored = std::make_unique<RightLines>();
    stored->left = &m_LeftText;
    stored->near = true;
    stored->nearHead = head;
    stored->nearTail = tailLine;
    stored->ownStarts.PushBack(0);
    for (uint32_t m = 0; m < middle.size(); ++m) stored->AddOwn(head + m, middle[m]);
    stored->count = head + middle.size() + (nL - tailLine);
    m_pStored = std::move(stored);
    return true;
}

bool CTextDiff::CompareNearCopyLines(const LineSource& left, const LineSource& right) {
    if (m_Options.ignoreCase || m_Options.ignoreText || right.stored) return false;
    const size_t nL = left.count, nR = right.count, limit = std::min(nL, nR);
    size_t head = 0, tail = 0;
    while (head < limit && left[head] == right[head]) ++head;
    while (tail < limit && left[nL - 1 - tail] == right[nR - 1 - tail]) ++tail;
    // Where they overlap, the longer is the first run (the head on a tie).
    if (head >= tail) tail = std::min({tail, nL - head, nR - head});
    else head = std::min({head, nL - tail, nR - tail});
    if (nR - head - tail > kNearEditsLines) return false;
    std::vector<std::string_view> middle;
    for (size_t k = head; k < nR - tail; ++k) middle.push_back(right[k]);
    return FewRuns(left, static_cast<uint32_t>(head), static_cast<uint32_t>(tail), middle, m_Runs);
}
