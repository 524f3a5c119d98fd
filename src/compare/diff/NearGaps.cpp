// Near copies with edits far apart: the right file is the left one with a
// few small edits (lines deleted, inserted or changed) anywhere, so that it
// is made of long pieces of the left file (left lines it equals, in order)
// and a few lines of its own between them. The procedure is followed part
// by part as it goes, but a right line is scanned only where its run could
// change what the part takes; the runs are the procedure's own.
//
// Why that holds. In a part's first pass a line only counts where its run
// is longer than the longest found before it: a line whose run cannot be
// that long leaves the part's choice as it is, whatever its run is. Of a
// right line i of a piece or of own lines that ends at right line r (and is
// not the last), a run is either within the piece (at most r - i lines) or
// holds right lines r - 1 and r; then it is (r - i) lines and as many more
// as the lines from r on equal the left lines after a place q of the left
// file whose line and the r - i lines before it are the right's lines r - 1
// back to i. Those places (where left lines q and q + 1 are the texts of
// right lines r - 1 and r) are found once, each with how far its equal
// lines reach back and on; that bounds every line of the piece, and most
// lines of a piece are then bounded by the lines left in it alone. A line
// whose bound is no more than the longest run found in the pass so far is
// passed over: the procedure would have visited it, and the run it keeps
// (the run found then, kept or found anew in a later part) is worked out
// only where a later part asks for it, by replaying the parts that
// visited it in their order, each with the bounds the procedure used (a
// run kept from an earlier part is never longer than the bound either: it
// lies within the part). A line whose bound is longer is scanned exactly
// as the procedure scans it. Runs along a piece are measured by its length,
// not line by line.
// Every left line gets a print of its text (lines of different prints
// differ). The places and their reaches are told by the prints alone
// (what equal prints reach is at least what equal lines reach, so the
// bounds stand); a scan measures a place by the prints and compares the
// lines only where that would make it the longest so far.
// Where the edits are many, far from small, or the scans take long, the
// inputs are matched the full way.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compare/TextDiff.h"
#include "compare/diff/InParts.h"
#include "compare/diff/LineFeeds.h"

using textdiff::ReadAt;

namespace {
using Span = CTextDiff::NearSpan;
constexpr uint32_t kOwnSpan = CTextDiff::NearSpan::kOwn;

// Lines looked at past an edit to find where the files go on alike (own
// and left lines together), and how many lines must then be alike.
constexpr uint32_t kReach = 64;
constexpr uint32_t kAlike = 8;
// At most so many stretches (pieces of the left file and lines of the
// right's own between them), and own lines in all.
constexpr size_t kMaxSpans = 64;
constexpr size_t kMaxOwn = 65536;
constexpr size_t kPiece = size_t{1} << 20;
// Left files of so many lines or more get the prints of their lines in
// kParts parts at once.
constexpr uint32_t kPartsFrom = uint32_t{1} << 18;
constexpr uint32_t kParts = 4;
// Pairs of texts whose places are looked for one by one (more: in a table).
constexpr size_t kFewPairs = 8;

struct GiveUp {};

// The right file read a piece at a time.
class RightBytes {
public:
    RightBytes(int fd, size_t size) : m_Fd(fd), m_nSize(size) {}
    size_t Size() const { return m_nSize; }
    // Bytes from at (below the size) on: as many as the piece in hand holds
    // past at, n of them; a new piece is read from at where fewer than
    // kAhead are in hand and the file holds more. So each byte is read
    // about once however short the steps that ask for them.
    const char* Ahead(size_t at, size_t& n) {
        constexpr size_t kAhead = 4096;
        const size_t end = m_nFrom + m_Bytes.size();
        if (at < m_nFrom || at >= end || (end - at < kAhead && end < m_nSize)) {
            const size_t want = std::min(kPiece, m_nSize - at);
            m_Bytes.resize(want);
            if (!ReadAt(m_Fd, m_Bytes.data(), want, at)) throw GiveUp{};
            m_nFrom = at;
        }
        n = m_nFrom + m_Bytes.size() - at;
        return m_Bytes.data() + (at - m_nFrom);
    }
    // Bytes [at, at + n) of the file (n at most what is left).
    const char* At(size_t at, size_t n) {
        if (at < m_nFrom || at + n > m_nFrom + m_Bytes.size()) {
            const size_t want = std::min(std::max(n, kPiece), m_nSize - at);
            m_Bytes.resize(want);
            if (!ReadAt(m_Fd, m_Bytes.data(), want, at)) throw GiveUp{};
            m_nFrom = at;
        }
        return m_Bytes.data() + (at - m_nFrom);
    }
    // The line that starts at byte at: its text, and where the next starts.
    std::string_view Line(size_t at, size_t& next) {
        size_t n = std::min<size_t>(4096, m_nSize - at);
        for (;;) {
            const char* p = At(at, n);
            const void* lf = std::memchr(p, '\n', n);
            if (lf || at + n == m_nSize) {
                const size_t to = lf ? static_cast<size_t>(static_cast<const char*>(lf) - p) + 1 : n;
                next = at + to;
                return CDiffFileText::LineBetween(p, 0, to);
            }
            n = std::min(n * 4, m_nSize - at);
        }
    }

private:
    int m_Fd;
    size_t m_nSize, m_nFrom = 0;
    std::string m_Bytes;
};

// The right file as pieces of the left one and lines of its own.
struct GapInput {
    const CDiffFileText* left = nullptr;
    uint32_t nL = 0, nR = 0;
    std::vector<Span> spans;  // in order, the first from right line 0
    std::string own;
    std::vector<uint32_t> ownStarts{0};
};

// Cuts the right file into pieces of the left one and lines of its own.
class PieceCutter {
public:
    PieceCutter(RightBytes& right, GapInput& in)
        : m_Right(right), m_In(in), m_Left(*in.left), m_Starts(in.left->starts.data()), m_nL(in.nL),
          m_nLeftSize(in.left->size), m_nRightSize(right.Size()) {
        const bool lastOpen = m_Left.bytes[m_nLeftSize - 1] != '\n';
        m_nClosed = lastOpen ? m_nL - 1 : m_nL;
    }

    // False where the right file is not made that way (or not worth it).
    bool Cut(size_t headBytes, size_t tailBytes) {
        TakeHead(headBytes);
        while (m_nOff < m_nRightSize && m_nLeftLine < m_nL) {
            if (TakeSameLines(tailBytes)) continue;
            if (!TakeWhereAlike()) return false;
            if (m_In.spans.size() > kMaxSpans || m_In.ownStarts.size() > kMaxOwn) return false;
        }
        // Right lines after the left's last: its own; left lines after the
        // right's last: deleted.
        while (m_nOff < m_nRightSize) {
            size_t next;
            AddOwn(m_Right.Line(m_nOff, next));
            m_nOff = next;
            if (m_In.ownStarts.size() > kMaxOwn) return false;
        }
        m_In.nR = m_nRightLine;
        return (m_In.spans.size() >= 2 || AllLeftLines()) && m_In.spans.size() <= kMaxSpans;
    }
    // Whether the right lines are the left lines, all of them in order (the
    // same texts; the line ends differ).
    bool AllLeftLines() const {
        return m_In.spans.size() == 1 && m_In.spans[0].from == 0 && m_nRightLine == m_nL && m_nLeftLine == m_nL;
    }

private:
    void AddLeft(uint32_t count) {
        if (count == 0) return;
        auto& spans = m_In.spans;
        if (spans.empty() || (spans.back().from & kOwnSpan) ||
            spans.back().from + (m_nRightLine - spans.back().right) != m_nLeftLine)
            spans.push_back({m_nRightLine, m_nLeftLine});
        m_nRightLine += count;
        m_nLeftLine += count;
    }
    void AddOwn(std::string_view text) {
        auto& spans = m_In.spans;
        const uint32_t q = static_cast<uint32_t>(m_In.ownStarts.size() - 1);
        if (spans.empty() || !(spans.back().from & kOwnSpan) ||
            (spans.back().from & ~kOwnSpan) + (m_nRightLine - spans.back().right) != q)
            spans.push_back({m_nRightLine, kOwnSpan | q});
        m_In.own.append(text);
        m_In.ownStarts.push_back(static_cast<uint32_t>(m_In.own.size()));
        ++m_nRightLine;
    }
    // How many left lines from line `from` on end (line feed included)
    // within the first `bytes` bytes of the file, counted from 0.
    uint32_t LinesEndingBy(uint32_t from, size_t bytes) const {
        return static_cast<uint32_t>(std::upper_bound(m_Starts + from + 1, m_Starts + m_nClosed + 1,
                                                      static_cast<uint32_t>(bytes)) -
                                     (m_Starts + 1));
    }

    // The first lines, within the bytes known to be the same.
    void TakeHead(size_t headBytes) {
        const uint32_t h = LinesEndingBy(0, std::min(headBytes, m_nLeftSize));
        AddLeft(h);
        m_nOff = m_Starts[h];
    }

    // Takes as many whole lines as are the same bytes, or the same text
    // with other line ends; false where the next lines differ.
    bool TakeSameLines(size_t tailBytes) {
        const size_t lOff = m_Starts[m_nLeftLine];
        const size_t rest = m_nRightSize - m_nOff;
        // The last bytes known to be the same: the rest is the left's.
        const bool sameRest = rest == m_nLeftSize - lOff;
        if (sameRest && rest <= tailBytes) return TakeRest();
        const size_t avail = std::min(rest, m_nLeftSize - lOff);
        size_t same = 0;
        while (same < avail) {
            size_t n;
            const char* bytes = m_Right.Ahead(m_nOff + same, n);
            n = std::min(n, avail - same);
            const size_t k = textdiff::SameBytes(bytes, m_Left.bytes.get() + lOff + same, n);
            same += k;
            if (k < n) break;
        }
        if (same == avail && sameRest) return TakeRest();
        const uint32_t upto = LinesEndingBy(m_nLeftLine, lOff + same);
        if (upto > m_nLeftLine) {
            AddLeft(upto - m_nLeftLine);
            m_nOff += m_Starts[m_nLeftLine] - lOff;
            return true;
        }
        return TakeLinesAlike();
    }
    // Lines of the same text whose line ends differ (CR LF on one side, LF
    // on the other), one after another as long as they come: false where
    // the next line differs. Stops after a line whose ends agree, so that
    // the lines after it are compared as bytes again.
    bool TakeLinesAlike() {
        uint32_t taken = 0;
        while (m_nOff < m_nRightSize && m_nLeftLine + taken < m_nL) {
            const uint32_t j = m_nLeftLine + taken;
            size_t next;
            if (m_Right.Line(m_nOff, next) != m_Left.Line(j)) break;
            const bool endsAgree = next - m_nOff == m_Starts[j + 1] - m_Starts[j];
            m_nOff = next;
            ++taken;
            if (endsAgree) break;
        }
        AddLeft(taken);
        return taken > 0;
    }
    bool TakeRest() {
        AddLeft(m_nL - m_nLeftLine);
        m_nOff = m_nRightSize;
        return true;
    }

    // Past lines that differ: the fewest right and left lines skipped
    // (kReach at most together) after which kAlike lines are alike, or
    // both files end alike. The right lines skipped are its own.
    bool TakeWhereAlike() {
        m_Ahead.clear();
        m_AheadEnd.clear();
        size_t next = m_nOff;
        while (m_Ahead.size() < kReach + kAlike && next < m_nRightSize) {
            m_Ahead.emplace_back(m_Right.Line(next, next));
            m_AheadEnd.push_back(next);
        }
        const bool toEnd = next >= m_nRightSize;
        for (uint32_t d = 1; d <= kReach; ++d) {
            for (uint32_t a = 0; a <= d; ++a) {
                const uint32_t c = d - a;
                if (a > m_Ahead.size() || m_nLeftLine + c > m_nL) continue;
                const size_t rl = m_Ahead.size() - a, ll = m_nL - m_nLeftLine - c;
                const size_t kk = std::min<size_t>({kAlike, rl, ll});
                if (kk < kAlike && !(toEnd && rl == ll)) continue;
                bool alike = true;
                for (size_t t = 0; t < kk && alike; ++t) alike = m_Ahead[a + t] == m_Left.Line(m_nLeftLine + c + t);
                if (!alike) continue;
                for (uint32_t t = 0; t < a; ++t) AddOwn(m_Ahead[t]);
                if (a > 0) m_nOff = m_AheadEnd[a - 1];
                m_nLeftLine += c;
                return true;
            }
        }
        return false;
    }

    RightBytes& m_Right;
    GapInput& m_In;
    const CDiffFileText& m_Left;
    const uint32_t* m_Starts;
    const uint32_t m_nL;
    uint32_t m_nClosed = 0;  // left lines that end with a line feed
    const size_t m_nLeftSize, m_nRightSize;
    uint32_t m_nRightLine = 0, m_nLeftLine = 0;
    size_t m_nOff = 0;  // where the right file's next line starts
    std::vector<std::string> m_Ahead;
    std::vector<size_t> m_AheadEnd;
};

// The procedure over the pieces, as the head comment tells.
class GapMatcher {
public:
    GapMatcher(const GapInput& in, uint64_t budget, const std::atomic<bool>* brk)
        : m_In(in), m_nBudget(budget), m_pBreak(brk) {
        m_Starts = in.left->starts.data();
    }

    bool Run(std::vector<CDiffChange>& runs) {
        try {
            TakePrints();
            Bounds();
            if (m_In.nR > 0 && m_In.nL > 0) MatchRange(0, m_In.nR - 1, 0, m_In.nL - 1, -1);
        } catch (const GiveUp&) {
            return false;
        }
        runs = std::move(m_Runs);
        return true;
    }

private:
    struct Part {
        uint32_t rF, rL, lF, lL;
        int parent;
        uint32_t visitEnd;
    };
    struct State {
        int start = -1, length = -2;
        int asOf = -1;  // the last part its run is brought up to
    };
    // Of the places that bound the lines of one span: their reach back
    // (falling) and the longest reach on among those reaching back as far.
    struct Stair {
        std::vector<uint32_t> back, on;
        uint32_t maxBack = 0;
    };

    void Spend(uint64_t n) {
        m_nSpent += n;
        if (m_nSpent > m_nBudget) throw GiveUp{};
        // A stop gives up too (the caller then ends the comparison).
        if (m_nSpent >= m_nNextPoll) {
            if (m_pBreak && m_pBreak->load(std::memory_order_relaxed)) throw GiveUp{};
            m_nNextPoll = m_nSpent + kPoll;
        }
    }

    size_t SpanOf(uint32_t i) const {
        const auto& s = m_In.spans;
        return static_cast<size_t>(
                   std::upper_bound(s.begin(), s.end(), i, [](uint32_t v, const Span& x) { return v < x.right; }) -
                   s.begin()) -
               1;
    }
    uint32_t SpanEnd(size_t s) const { return s + 1 < m_In.spans.size() ? m_In.spans[s + 1].right : m_In.nR; }
    std::string_view Own(uint32_t q) const {
        return std::string_view(m_In.own.data() + m_In.ownStarts[q], m_In.ownStarts[q + 1] - m_In.ownStarts[q]);
    }
    std::string_view Text(uint32_t i, size_t s) const {
        const Span& x = m_In.spans[s];
        if (x.from & kOwnSpan) return Own((x.from & ~kOwnSpan) + (i - x.right));
        return m_In.left->Line(x.from + (i - x.right));
    }
    // Left line j's text, as CDiffFileText::Line gives it.
    std::string_view LeftText(uint32_t j) const {
        return CDiffFileText::LineBetween(m_In.left->bytes.get(), m_Starts[j], m_Starts[j + 1]);
    }
    // A print of a text: texts of different prints differ.
    static uint32_t PrintOf(std::string_view t) {
        uint64_t h = 0x9E3779B97F4A7C15ull ^ t.size();
        size_t k = 0;
        for (; k + 8 <= t.size(); k += 8) {
            uint64_t w;
            std::memcpy(&w, t.data() + k, 8);
            h = (h ^ w) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        // The last 1 to 7 bytes, read as two overlapping words or three bytes.
        const size_t rest = t.size() - k;
        if (rest > 0) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(t.data() + k);
            uint64_t w;
            if (rest >= 4) {
                uint32_t a, b;
                std::memcpy(&a, p, 4);
                std::memcpy(&b, p + rest - 4, 4);
                w = a | uint64_t{b} << 32;
            } else {
                w = p[0] | uint64_t{p[rest / 2]} << 8 | uint64_t{p[rest - 1]} << 16;
            }
            h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
        }
        h ^= h >> 29;
        return static_cast<uint32_t>(h);
    }
    // The prints of every left line, in parts at once.
    void TakePrints() {
        const uint32_t nL = m_In.nL;
        m_Prints.resize(nL);
        const uint32_t parts = nL >= kPartsFrom ? kParts : 1;
        textdiff::RunInParts(parts, [this, nL, parts](size_t k) {
            const uint32_t to = static_cast<uint32_t>(uint64_t{nL} * (k + 1) / parts);
            for (uint32_t j = static_cast<uint32_t>(uint64_t{nL} * k / parts); j < to; ++j)
                m_Prints[j] = PrintOf(LeftText(j));
        });
    }
    // The print of right line i (of span s).
    uint32_t RightPrint(uint32_t i, size_t s) const {
        const Span& x = m_In.spans[s];
        if (x.from & kOwnSpan) return PrintOf(Own((x.from & ~kOwnSpan) + (i - x.right)));
        return m_Prints[x.from + (i - x.right)];
    }

    // How many right lines from i on go with the left lines from j on, at
    // most maxLen, where same(ii, jj, span of ii) tells two lines off a
    // piece (along a piece they all go).
    template <class Same>
    uint32_t Along(uint32_t i, uint32_t j, uint32_t maxLen, Same same) {
        uint32_t k = 0;
        size_t s = SpanOf(i);
        while (k < maxLen) {
            const uint32_t ii = i + k, jj = j + k;
            while (SpanEnd(s) <= ii) ++s;
            const Span& x = m_In.spans[s];
            Spend(1);
            if (!(x.from & kOwnSpan) && x.from + (ii - x.right) == jj) {
                k += std::min(SpanEnd(s) - ii, maxLen - k);
                continue;
            }
            if (!same(ii, jj, s)) break;
            ++k;
        }
        return k;
    }
    // The lines with the same prints: at least as many as are equal.
    uint32_t PrintLength(uint32_t i, uint32_t j, uint32_t maxLen) {
        return Along(i, j, maxLen, [this](uint32_t ii, uint32_t jj, size_t s) {
            return jj < m_In.nL && m_Prints[jj] == RightPrint(ii, s);
        });
    }
    // Of n lines with the same prints, those that are equal.
    uint32_t EqualLength(uint32_t i, uint32_t j, uint32_t n) {
        return Along(i, j, n, [this](uint32_t ii, uint32_t jj, size_t s) { return LeftText(jj) == Text(ii, s); });
    }

    // The scan of right line i over left lines lF to lL, runs at most
    // `remaining` long, as the procedure makes it. A place is measured by
    // the prints, and its lines compared only where it would be the
    // longest so far.
    std::pair<int, int> Scan(uint32_t i, uint32_t lF, uint32_t lL, uint32_t remaining) {
        const uint32_t print = RightPrint(i, SpanOf(i));
        const uint32_t* prints = m_Prints.data();
        uint32_t b = 0;
        int start = -1;
        uint64_t j = lF;
        // (Lines passed over and places of other prints count a sixteenth
        // and a quarter of a line compared.)
        uint64_t passed = 0, probes = 0;
        while (j <= lL) {
            if (b == 0) {
                const uint64_t from = j;
                while (j <= lL && prints[j] != print) ++j;
                passed += j - from;
                if (j > lL) break;
            }
            const uint32_t maxLen = std::min(static_cast<uint32_t>(lL - j + 1), remaining);
            if (maxLen <= b) break;
            ++probes;
            uint32_t n = prints[j] == print ? PrintLength(i, static_cast<uint32_t>(j), maxLen) : 0;
            if (n > b) n = EqualLength(i, static_cast<uint32_t>(j), n);
            if (n > b) {
                b = n;
                start = static_cast<int>(j);
            }
            j += b + 1;
        }
        Spend(passed / 16 + probes / 4 + 1);
        return b > 0 ? std::pair<int, int>{start, static_cast<int>(b)} : std::pair<int, int>{-1, -1};
    }

    // The places that bound the lines of each span (see the head comment).
    void Bounds() {
        const size_t nS = m_In.spans.size();
        m_Stairs.assign(nS, Stair{});
        if (nS < 2) return;
        const std::vector<std::vector<uint32_t>> places = PlacesOfEnds();
        for (size_t s = 0; s + 1 < nS; ++s) m_Stairs[s] = StairOf(s, places[s]);
    }

    // Per span but the last: the left places q whose lines q and q + 1
    // have the prints of the span's last line and the right line after it.
    std::vector<std::vector<uint32_t>> PlacesOfEnds() {
        const size_t nS = m_In.spans.size();
        // The spans by the prints of their last line and of the line after.
        std::unordered_map<uint64_t, std::vector<uint32_t>> byPair;
        for (size_t s = 0; s + 1 < nS; ++s) {
            const uint32_t r = SpanEnd(s);
            byPair[uint64_t{RightPrint(r - 1, s)} << 32 | RightPrint(r, s + 1)].push_back(static_cast<uint32_t>(s));
        }
        std::vector<std::vector<uint32_t>> places(nS);
        const uint32_t nL = m_In.nL;
        const uint32_t* prints = m_Prints.data();
        Spend(nL / 16);
        if (byPair.size() <= kFewPairs) {
            std::vector<uint64_t> pairs;
            std::vector<uint32_t> of;
            for (const auto& entry : byPair) {
                pairs.push_back(entry.first);
                of.push_back(entry.second.front());
            }
            const size_t n = pairs.size();
            for (uint32_t q = 0; q + 1 < nL; ++q) {
                const uint64_t key = uint64_t{prints[q]} << 32 | prints[q + 1];
                for (size_t k = 0; k < n; ++k)
                    if (pairs[k] == key) places[of[k]].push_back(q);
            }
        } else {
            // Lines whose print may start a pair, told by a bit of 64K.
            std::vector<uint64_t> maybe(1024);
            for (const auto& entry : byPair) {
                const uint32_t first = static_cast<uint32_t>(entry.first >> 32) & 0xFFFF;
                maybe[first >> 6] |= uint64_t{1} << (first & 63);
            }
            for (uint32_t q = 0; q + 1 < nL; ++q) {
                const uint32_t first = prints[q] & 0xFFFF;
                if (!(maybe[first >> 6] >> (first & 63) & 1)) continue;
                const auto it = byPair.find(uint64_t{prints[q]} << 32 | prints[q + 1]);
                if (it != byPair.end()) places[it->second.front()].push_back(q);
            }
        }
        for (const auto& entry : byPair)
            for (size_t k = 1; k < entry.second.size(); ++k) places[entry.second[k]] = places[entry.second.front()];
        return places;
    }

    // The bounds of span s from the places of its end, their reaches told
    // by the prints (no shorter than the lines').
    Stair StairOf(size_t s, const std::vector<uint32_t>& places) {
        const uint32_t r = SpanEnd(s), length = r - m_In.spans[s].right;
        const uint32_t* prints = m_Prints.data();
        // The longest reach on of the places reaching back so far, for
        // reaches back below kFewBack; the others as they come.
        constexpr uint32_t kFewBack = 64;
        uint32_t onOf[kFewBack] = {};
        std::vector<std::pair<uint32_t, uint32_t>> steps;  // (back, on)
        for (uint32_t q : places) {
            Spend(1);
            uint32_t back = 1;
            while (back < length && back <= q && prints[q - back] == RightPrint(r - 1 - back, s)) {
                ++back;
                Spend(1);
            }
            const uint32_t on = PrintLength(r, q + 1, m_In.nR - r);
            if (back < kFewBack) onOf[back] = std::max(onOf[back], on);
            else steps.push_back({back, on});
        }
        for (uint32_t back = 1; back < kFewBack; ++back)
            if (onOf[back] > 0) steps.push_back({back, onOf[back]});
        std::sort(steps.begin(), steps.end(), [](auto x, auto y) { return x.first > y.first; });
        Stair stair;
        uint32_t most = 0;
        for (const auto& [back, on] : steps) {
            most = std::max(most, on);
            stair.back.push_back(back);
            stair.on.push_back(most);
        }
        stair.maxBack = steps.empty() ? 0 : steps.front().first;
        return stair;
    }

    // The longest a run of right line i (of span s) can be: x = lines
    // left in the span from i.
    uint64_t BoundAt(size_t s, uint32_t x) const {
        const Stair& stair = m_Stairs[s];
        if (s + 1 == m_In.spans.size() || x > stair.maxBack) return x;
        // The last place reaching back at least x lines.
        const auto it = std::partition_point(stair.back.begin(), stair.back.end(), [x](uint32_t b) { return b >= x; });
        if (it == stair.back.begin()) return x;
        return uint64_t{x} + stair.on[static_cast<size_t>(it - stair.back.begin()) - 1];
    }

    // The procedure's visit of right line i in part p: the run it keeps.
    void Visit(uint32_t i, State& st, const Part& p) {
        const uint32_t remaining = p.rL - i + 1;
        if (st.length > 0 &&
            (static_cast<uint32_t>(st.length) > remaining || static_cast<uint32_t>(st.start) < p.lF ||
             static_cast<uint32_t>(st.start + st.length - 1) > p.lL))
            st = {-1, -2, st.asOf};
        if (st.length == -2) {
            const auto [start, length] = Scan(i, p.lF, p.lL, remaining);
            st.start = start;
            st.length = length;
        }
    }

    // The run right line i keeps after its visit in part q: the visits of
    // the parts before that passed it over replayed first.
    const State& Evaluate(uint32_t i, int q) {
        State& st = m_States[i];
        m_Chain.clear();
        for (int p = m_Parts[q].parent; p > st.asOf; p = m_Parts[p].parent) m_Chain.push_back(p);
        for (auto it = m_Chain.rbegin(); it != m_Chain.rend(); ++it)
            if (i < m_Parts[*it].visitEnd) Visit(i, st, m_Parts[*it]);
        Visit(i, st, m_Parts[q]);
        st.asOf = q;
        return st;
    }

    // The first pass of part q: the right line that starts the longest
    // run (-1 where none has one) and its length. Lines whose bound is no
    // longer than the longest so far are passed over, most of a piece in
    // one step.
    std::pair<int64_t, int64_t> FirstPass(int q) {
        const Part& p = m_Parts[q];
        const uint32_t rL = p.rL;
        const uint64_t leftSpan = uint64_t{p.lL} - p.lF + 1;
        int64_t best = -1, bestLine = -1;
        uint64_t i = p.rF;
        size_t s = SpanOf(p.rF);
        // Lines below limit are visited (those with more lines left than
        // the longest run so far).
        auto limit = [&] { return uint64_t{rL} + 1 - static_cast<uint64_t>(std::max<int64_t>(best, 0)); };
        while (i <= rL) {
            const uint64_t remaining = uint64_t{rL} - i + 1;
            if (static_cast<int64_t>(remaining) <= best) break;
            if (static_cast<int64_t>(leftSpan) <= best) {
                i = limit();
                break;
            }
            while (SpanEnd(s) <= i) ++s;
            const uint32_t end = SpanEnd(s);
            const uint32_t x = end - static_cast<uint32_t>(i);
            Spend(1);
            if (best >= 0 && s + 1 < m_In.spans.size() && x > m_Stairs[s].maxBack &&
                static_cast<int64_t>(x) <= best) {
                // Every line from here to the last that has no place
                // reaching back to it is bounded by the lines left.
                i = std::min<uint64_t>(end - m_Stairs[s].maxBack, limit());
                continue;
            }
            if (best >= 0 && s + 1 == m_In.spans.size() && static_cast<int64_t>(x) <= best) {
                i = limit();  // the last span: bounded by the lines left
                break;
            }
            const uint64_t bound = std::min({BoundAt(s, x), remaining, leftSpan});
            if (static_cast<int64_t>(bound) > best) {
                const State& st = Evaluate(static_cast<uint32_t>(i), q);
                if (st.length > best) {
                    best = st.length;
                    bestLine = static_cast<int64_t>(i);
                }
            }
            ++i;
        }
        m_Parts[q].visitEnd = static_cast<uint32_t>(std::min<uint64_t>(i, uint64_t{rL} + 1));
        return {bestLine, best};
    }

    void MatchRange(uint32_t rF, uint32_t rL, uint32_t lF, uint32_t lL, int parent) {
        struct Deeper {
            size_t& depth;
            explicit Deeper(size_t& d) : depth(d) {
                if (++depth > 4096) throw GiveUp{};
            }
            ~Deeper() { --depth; }
        } deeper(m_nDepth);
        for (;;) {
            const int q = static_cast<int>(m_Parts.size());
            m_Parts.push_back({rF, rL, lF, lL, parent, rF});
            const auto [bestLine, best] = FirstPass(q);
            if (bestLine < 0) return;
            const uint32_t line = static_cast<uint32_t>(bestLine);
            const uint32_t length = static_cast<uint32_t>(best);
            const uint32_t leftStart = static_cast<uint32_t>(m_States[line].start);
            m_Runs.push_back({static_cast<int>(line), static_cast<int>(leftStart), static_cast<int>(length), kDiffSame});
            if (rF < line && lF < leftStart) MatchRange(rF, line - 1, lF, leftStart - 1, q);
            rF = line + length;
            lF = leftStart + length;
            parent = q;
            if (rF > rL || lF > lL) return;
        }
    }

    const GapInput& m_In;
    const uint32_t* m_Starts = nullptr;
    std::vector<uint32_t> m_Prints;
    uint64_t m_nBudget, m_nSpent = 0;
    static constexpr uint64_t kPoll = uint64_t{1} << 16;  // spent between looks at the break flag
    uint64_t m_nNextPoll = kPoll;
    const std::atomic<bool>* m_pBreak = nullptr;
    size_t m_nDepth = 0;
    std::vector<Stair> m_Stairs;
    std::vector<Part> m_Parts;
    std::unordered_map<uint32_t, State> m_States;
    std::vector<int> m_Chain;
    std::vector<CDiffChange> m_Runs;
};
}  // namespace

bool CTextDiff::CompareNearGaps(int fd, size_t rightSize, size_t headBytes, size_t tailBytes) {
    const CDiffFileText& left = m_LeftText;
    if (left.starts.empty() || left.Count() == 0 || rightSize == 0) return false;
    GapInput in;
    in.left = &left;
    in.nL = static_cast<uint32_t>(left.Count());
    try {
        RightBytes right(fd, rightSize);
        if (!PieceCutter(right, in).Cut(headBytes, tailBytes)) return false;
    } catch (const GiveUp&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (in.nR >= uint32_t{1} << 31) return false;
    // About what numbering both files would take, in lines looked at.
    const uint64_t budget = 4 * (uint64_t{in.nL} + in.nR) + (uint64_t{1} << 16);
    std::vector<CDiffChange> runs;
    if (in.spans.size() == 1) {
        // The same lines with other line ends: the one run of all of them
        // is the longest there is.
        runs.push_back({0, 0, static_cast<int>(in.nL), kDiffSame});
    } else {
        try {
            if (!GapMatcher(in, budget, m_pBreak).Run(runs)) return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    m_Runs = std::move(runs);
    auto stored = std::make_unique<RightLines>();
    stored->left = &m_LeftText;
    stored->near = true;
    stored->nearSpans = std::move(in.spans);
    stored->ownStarts.PushBack(0);
    for (size_t q = 0; q + 1 < in.ownStarts.size(); ++q)
        stored->AddOwn(0, std::string_view(in.own.data() + in.ownStarts[q], in.ownStarts[q + 1] - in.ownStarts[q]));
    stored->count = in.nR;
    m_pStored = std::move(stored);
    return true;
}
