// Two files that are near copies of each other: the same first lines (the
// head) and the same last lines (the tail), a few lines of the right file
// between them. Takes the left file held as a block and the right file
// opened (or the lines of both, held); gives the runs of the procedure
// without numbering a line, or nothing (the caller then matches the
// inputs the full way). Of a right file only the few lines between head
// and tail are read as lines; the rest is compared byte for byte with the
// left file and kept as the left lines it equals.
//
// Why the runs are those of the procedure. Let the head be H lines, the
// tail T lines, the right lines between them M (at least one), none of
// which equals any left line (each is "fresh"), and nR = H + M + T.
// No run can hold a fresh right line, so every run lies within the head or
// within the tail on the right, and a run from right line i of the head
// is at most H - i long, one from a tail line at most the lines left.
// The scan of right line 0 over all left lines meets left line 0 first
// and finds H there; no later place can beat it. Then:
//  - H >= T: the first pass takes right line 0 with H (no line has a
//    longer run; the first wins a tie) and visits only right lines below
//    nR - H, none of them in the tail, so the tail's lines are still
//    unknown in the part after the run (right and left lines from H on),
//    whose fresh lines have no run. Its first tail line (the first tail
//    line of the left: tail lines are the same on both sides) is scanned
//    from left line H: where that text is no left line between head and
//    tail, every place before the left tail finds nothing and moves on by
//    one, and the left tail's first line gives T, so the tail is the run;
//    what lies before it holds fresh right lines only.
//  - T > H: the first pass visits every right line up to the first of the
//    tail (none before it has a run of more than H); where that line's
//    text is no left line before the left tail, its scan from left line 0
//    finds T at the left tail and nothing before it, so the tail is the
//    run, found first. The part before it starts at right line 0, whose
//    run (H from left line 0) still fits and beats every other line of
//    the part; after the head only fresh lines are left.
// Where a condition fails (a line between head and tail that is also a
// left line, such as a blank line inserted into source, or a first tail
// line found again before the left tail, as among lines that repeat) the
// runs may be others, and the files are matched the full way.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "compare/TextDiff.h"

namespace {
// Right lines between head and tail taken this way at most, and their bytes.
constexpr uint32_t kMiddleLines = 16;
constexpr size_t kMiddleBytes = size_t{1} << 16;
constexpr size_t kPiece = size_t{1} << 18;

// Reads n bytes of fd at offset into to; false when it could not (a
// file that shrank meanwhile included).
bool ReadAt(int fd, char* to, size_t n, size_t offset) {
    while (n > 0) {
        const ssize_t got = ::pread(fd, to, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        n -= static_cast<size_t>(got);
        offset += static_cast<size_t>(got);
    }
    return true;
}

// How many bytes from the start of both files are the same, at most limit.
bool SameHead(int fd, const char* left, size_t limit, std::unique_ptr<char[]>& buffer, size_t& same) {
    same = 0;
    while (same < limit) {
        const size_t n = std::min(kPiece, limit - same);
        if (!ReadAt(fd, buffer.get(), n, same)) return false;
        if (std::memcmp(buffer.get(), left + same, n) != 0) {
            size_t k = 0;
            while (buffer[k] == left[same + k]) ++k;
            same += k;
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
            size_t k = n;
            while (buffer[k - 1] == l[k - 1]) --k;
            same += n - k;
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
}  // namespace

bool CTextDiff::NearCopyRuns(const LineSource& left, uint32_t head, uint32_t tail,
                             const std::vector<std::string_view>& middle, std::vector<CDiffChange>& runs) {
    const uint32_t nL = static_cast<uint32_t>(left.count);
    const uint32_t nR = head + static_cast<uint32_t>(middle.size()) + tail;
    if (middle.empty() || head + tail == 0) return false;
    // The left lines the first tail line must not be: those between head
    // and tail, or (T > H) all before the tail.
    const uint32_t tailFrom = nL - tail, firstSearched = head >= tail ? head : 0;
    const std::string_view tailFirst = tail ? left[tailFrom] : std::string_view();
    for (uint32_t j = 0; j < nL; ++j) {
        const std::string_view line = left[j];
        for (const std::string_view m : middle)
            if (m.size() == line.size() && std::memcmp(m.data(), line.data(), m.size()) == 0) return false;
        if (tail && j >= firstSearched && j < tailFrom && line == tailFirst) return false;
    }
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

bool CTextDiff::CompareNearCopy(int fd, size_t rightSize, size_t knownHead) {
    const CDiffFileText& left = m_LeftText;
    const size_t leftSize = left.size, limit = std::min(leftSize, rightSize);
    const uint32_t nL = static_cast<uint32_t>(left.Count());
    if (nL == 0 || limit == 0 || !left.wideStarts.empty()) return false;
    std::unique_ptr<char[]> buffer(new char[kPiece]);
    size_t headBytes = knownHead, tailBytes = 0;
    if (knownHead == SIZE_MAX && !SameHead(fd, left.bytes.get(), limit, buffer, headBytes)) return false;
    headBytes = std::min(headBytes, limit);
    // Not worth it (or not a near copy) unless the part between is small.
    if (rightSize - headBytes > kMiddleBytes &&
        !SameTail(fd, rightSize, left.bytes.get(), leftSize, limit - headBytes, buffer, tailBytes))
        return false;
    if (rightSize - headBytes - tailBytes > kMiddleBytes) return false;
    // Head lines end (line feed included) within the same first bytes.
    const uint32_t* starts = left.starts.data();
    const bool lastOpen = left.bytes[leftSize - 1] != '\n';
    const uint32_t head = static_cast<uint32_t>(
        std::upper_bound(starts + 1, starts + (lastOpen ? nL - 1 : nL) + 1, static_cast<uint32_t>(headBytes)) -
        (starts + 1));
    // Tail lines start within the same last bytes, on a line start of both.
    const size_t middleFrom = starts[head];
    uint32_t tailLine = static_cast<uint32_t>(
        std::lower_bound(starts + head, starts + nL, static_cast<uint32_t>(leftSize - tailBytes)) - starts);
    size_t middleTo = rightSize - (leftSize - starts[tailLine]);
    std::string bytes(middleTo - middleFrom + 1, '\0');
    // (One more byte: a file that grew meanwhile is matched the full way.)
    if (!ReadAt(fd, bytes.data(), bytes.size() - 1, middleFrom) || ReadAt(fd, bytes.data(), 1, rightSize))
        return false;
    bytes.pop_back();
    if (tailLine < nL && !bytes.empty() && bytes.back() != '\n') {
        ++tailLine;
        const size_t more = middleTo;
        middleTo = rightSize - (leftSize - starts[tailLine]);
        bytes.resize(middleTo - middleFrom);
        if (!ReadAt(fd, bytes.data() + (more - middleFrom), middleTo - more, more)) return false;
    }
    const std::vector<std::string_view> middle = SplitLines(bytes);
    if (middle.size() > kMiddleLines) return false;
    const LineSource leftLines{nullptr, nullptr, nL, &m_LeftText};
    if (!NearCopyRuns(leftLines, head, nL - tailLine, middle, m_Runs)) return false;
    // The right lines: the head and tail as the left lines they equal, the
    // lines between as texts of their own.
    auto stored = std::make_unique<RightLines>();
    stored->left = &m_LeftText;
    stored->near = true;
    stored->nearHead = head;
    stored->nearTail = tailLine;
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
    while (tail < limit - head && left[nL - 1 - tail] == right[nR - 1 - tail]) ++tail;
    if (nR - head - tail > kMiddleLines) return false;
    std::vector<std::string_view> middle;
    for (size_t k = head; k < nR - tail; ++k) middle.push_back(right[k]);
    return NearCopyRuns(left, static_cast<uint32_t>(head), static_cast<uint32_t>(tail), middle, m_Runs);
}
