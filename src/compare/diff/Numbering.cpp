// Numbering the lines: the line table stage of the matcher. Takes the
// lines of both inputs and the options (ignore case, items to ignore);
// gives every line the number of its compared form (m_L, m_R), the left
// places of each number (m_Single), the stretches of right lines found
// equal to left lines in order (m_Stretches), and per place the count of
// equal lines that follow (m_SameL, m_SameR). A right file read a piece
// at a time (CTextDiff::CompareFiles) is numbered as it comes, and each of
// its lines is kept as a left line of its text or as a text of its own;
// where the left file has few distinct texts, both files are kept as their
// texts and the number of each line's text, and the left file's bytes are
// let go before the matching.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compare/diff/InParts.h"
#include "compare/diff/LineFeeds.h"
#include "compare/diff/LineTable.h"
#include "compare/diff/Matcher.h"

using textdiff::BesideWork;
using textdiff::ExactTexts;
using textdiff::ExpectedTexts;
using textdiff::FoldedTexts;
using textdiff::LineTable;
using textdiff::ReserveHuge;
using textdiff::RunInParts;
using textdiff::SameBytes;

namespace {
// The lines of both inputs for numbering, all held: line k of all lines
// (left then right) is text(k).
template <class TextOf>
struct HeldLines {
    static constexpr bool kStreamed = false;
    TextOf text;
    uint32_t nL, nR;
    [[gnu::always_inline]] std::string_view operator()(uint32_t k) const { return text(k); }
    [[gnu::always_inline]] std::string_view Left(uint32_t j) const { return text(j); }
    [[gnu::always_inline]] std::string_view Right(uint32_t k) const { return text(nL + k); }
    void Ready(uint32_t) const {}
    bool Has(uint32_t k) const { return k < nR; }
};
template <class TextOf>
HeldLines<TextOf> Held(TextOf text, uint32_t nL, uint32_t nR) {
    return {std::move(text), nL, nR};
}

// The lines of a left file held as a block and of a right file read a
// piece at a time: a right line is read from the reader's window while it
// is numbered, and from what is kept of it (a left line of its text, or a
// text of its own) once the table keeps it.
template <class Stored>
struct StreamedLines {
    static constexpr bool kStreamed = true;
    const char* left;
    const uint32_t* leftStarts;
    uint32_t nL;
    Stored* stored;
    textdiff::LineReader* reader;
    const std::vector<int>* rightIds;
    [[gnu::always_inline]] std::string_view Left(uint32_t j) const {
        return CDiffFileText::LineBetween(left, leftStarts[j], leftStarts[j + 1]);
    }
    // (The table asks for a right line only where it keeps the line for
    // its text: with few texts, always a text of the right's own.)
    [[gnu::always_inline]] std::string_view operator()(uint32_t k) const {
        if (k < nL) return Left(k);
        if (stored->few) return stored->Text((*rightIds)[k - nL]);
        return stored->Line(k - nL);
    }
    std::string_view Right(uint32_t k) const { return reader->Line(k); }
    void Ready(uint32_t k) const { reader->Ready(k); }
    bool Has(uint32_t k) const { return reader->Has(k); }
    // How many lines from left line j and right line k (in the window) on
    // are the same bytes, line feeds included, as SameLines counts them;
    // those past the window are counted once it reaches them.
    uint32_t Same(uint32_t j, uint32_t k) const {
        const uint32_t* starts = reader->Starts();
        const uint32_t at = k - reader->First(), lines = reader->LineFeedLines();
        if (at >= lines) return 0;
        const size_t lFrom = leftStarts[j], rFrom = starts[at];
        const size_t n = std::min<size_t>(leftStarts[nL] - lFrom, starts[lines] - rFrom);
        const size_t same = SameBytes(left + lFrom, reader->Bytes() + rFrom, n);
        const uint32_t* first = starts + at + 1;
        const uint32_t* last = starts + lines + 1;
        const uint32_t t =
            static_cast<uint32_t>(std::upper_bound(first, last, static_cast<uint32_t>(rFrom + same)) - first);
        return std::min(t, nL - j);
    }
};

// Where the right lines after right line k follow the left lines again,
// looked for around a left line.
template <class Texts, class TextOf>
struct FollowSearch {
    const TextOf& text;
    uint32_t nL;
    // At most the lines the reader holds ahead.
    static constexpr uint32_t kFollow = textdiff::LineReader::kAhead;

    bool SameText(uint32_t j, uint32_t k) const { return Texts::Equal(text.Left(j), text.Right(k)); }
    // Whether the count right lines after line k follow left line a on.
    bool ResumesAt(uint32_t a, uint32_t k, uint32_t count) const {
        for (uint32_t c = 0; c < count; ++c) {
            if (!text.Has(k + 1 + c) || a + c >= nL) return c > 0;
            if (!SameText(a + c, k + 1 + c)) return false;
        }
        return true;
    }
    // The nearest place around next where they do.
    uint32_t ResumeAround(uint32_t next, uint32_t k, uint32_t around, uint32_t count) const {
        for (uint32_t d = 0; d <= around; ++d) {
            if (next + d < nL && ResumesAt(next + d, k, count)) return next + d;
            if (d > 0 && d <= next && next - d < nL && ResumesAt(next - d, k, count)) return next - d;
        }
        return UINT32_MAX;
    }
    // How many right lines after line k follow left line a on, up to
    // kFollow (at least count where either file ends after one of them).
    uint32_t FollowsAt(uint32_t a, uint32_t k, uint32_t count) const {
        for (uint32_t c = 0; c < kFollow; ++c) {
            if (!text.Has(k + 1 + c) || a + c >= nL) return c > 0 ? std::max(c, count) : 0;
            if (!SameText(a + c, k + 1 + c)) return c;
        }
        return kFollow;
    }
    // The place around next where the most right lines after line k
    // follow, at least count of them, the nearest on a tie: among few
    // texts eight lines follow at some place nearby by chance, but rarely
    // as many as at the place the comparisons belong.
    uint32_t BestAround(uint32_t next, uint32_t k, uint32_t around, uint32_t count) const {
        uint32_t best = UINT32_MAX, most = count - 1;
        auto take = [&](uint32_t a) {
            const uint32_t n = FollowsAt(a, k, count);
            if (n > most) best = a, most = n;
            return most >= kFollow;
        };
        for (uint32_t d = 0; d <= around; ++d) {
            if (next + d < nL && take(next + d)) break;
            if (d > 0 && d <= next && next - d < nL && take(next - d)) break;
        }
        return best;
    }
};

// Numbers left lines from..to - 1 into ids through table, hashes taken a
// batch ahead so that the table's slots are fetched while earlier lines
// are looked up. met(k, h) is called for each line whose text the table
// had not met; false from it stops the numbering (then false).
template <class Texts, class TextOf, class Table, class Met>
bool NumberLeftLines(const TextOf& text, Table& table, int* ids, uint32_t from, uint32_t to, Met met) {
    constexpr uint32_t kBatch = 16;
    uint64_t hashes[kBatch];
    std::string_view texts[kBatch];
    for (uint32_t first = from; first < to; first += kBatch) {
        const uint32_t n = std::min(kBatch, to - first);
        for (uint32_t k = 0; k < n; ++k) {
            texts[k] = text(first + k);
            hashes[k] = Texts::Hash(texts[k]);
            table.Prefetch(hashes[k]);
        }
        for (uint32_t k = 0; k < n; ++k) {
            const size_t known = table.Count();
            ids[first + k] = table.Intern(first + k, texts[k], hashes[k]);
            if (table.Count() > known && !met(first + k, hashes[k])) return false;
        }
    }
    return true;
}

// Numbers many left lines of few distinct texts in parts at once: each
// part numbers its texts in the order it meets them, in a table of its
// own; then the parts' texts go into the table in order (part by part,
// each part's in the order it met them, which is the order the whole
// input meets them, each with the line it first has it on), and every
// line's number becomes the table's. The table and the numbers come out
// as numbering the lines one by one gives them. False, with the table
// untouched, where a part meets more than a few texts (or memory ran
// out): then the lines are numbered one by one.
template <class Texts, class TextOf, class Table>
bool NumberLeftInParts(const TextOf& text, uint32_t nL, int* ids, Table& table, size_t expected) {
    constexpr uint32_t kParts = 4;
    const uint32_t length = nL / kParts;
    // Per part: the texts it meets (their first line and hash), in order.
    std::vector<std::vector<std::pair<uint32_t, uint64_t>>> met(kParts);
    std::vector<char> many(kParts, 0);
    const bool numbered = RunInParts(kParts, [&](size_t p) {
        const uint32_t from = static_cast<uint32_t>(p) * length, to = p + 1 == kParts ? nL : from + length;
        Table own(expected, text, ids, nullptr, nL);
        many[p] = !NumberLeftLines<Texts>(text, own, ids, from, to, [&](uint32_t k, uint64_t h) {
            met[p].emplace_back(k, h);
            return met[p].size() <= (to - from) / 16;
        });
    });
    if (!numbered || std::find(many.begin(), many.end(), 1) != many.end()) return false;
    // A text the table already has is found through the number of the
    // line it keeps, which is the table's by then.
    std::vector<std::vector<int>> number(kParts);
    for (uint32_t p = 0; p < kParts; ++p) {
        for (const auto& [line, hash] : met[p]) {
            number[p].push_back(table.Intern(line, text(line), hash));
            ids[line] = number[p].back();
        }
    }
    for (uint32_t p = 0; p < kParts; ++p)
        for (size_t q = 0; q < met[p].size(); ++q) ids[met[p][q].first] = static_cast<int>(q);
    return RunInParts(kParts, [&](size_t p) {
        const uint32_t from = static_cast<uint32_t>(p) * length, to = p + 1 == kParts ? nL : from + length;
        const int* of = number[p].data();
        for (uint32_t j = from; j < to; ++j) ids[j] = of[ids[j]];
    });
}
}  // namespace

void CTextDiff::Matcher::Intern(const LineSource& left, const LineSource& right,
                                const CDiffOptions& options) {
    if (right.stored) {
        // A left file held as a block against a right file read a piece at
        // a time, lines equal only as the same bytes: the right lines are
        // counted as they come.
        RightLines& stored = *right.stored;
        const uint32_t nL = static_cast<uint32_t>(left.count);
        ReserveHuge(m_L, m_nL);
        m_L.resize(m_nL);
        ReserveHuge(m_R, stored.expected);
        FileBytes bytes;
        bytes.left = left.text->bytes.get();
        bytes.leftStarts = left.text->starts.data();
        const StreamedLines<RightLines> lines{bytes.left, bytes.leftStarts, nL, &stored, stored.reader.get(), &m_R};
        InternLines<ExactTexts>(lines, nL, static_cast<uint32_t>(stored.expected), &bytes);
        return;
    }
    ReserveHuge(m_L, m_nL);
    ReserveHuge(m_R, m_nR);
    m_L.resize(m_nL);
    m_R.resize(m_nR);
    const uint32_t nL = static_cast<uint32_t>(left.count), nR = static_cast<uint32_t>(right.count);
    // Whether an item of the ignore list can remove anything (an empty one
    // removes nothing).
    const bool removes = options.ignoreText &&
                         std::any_of(options.ignoreList.begin(), options.ignoreList.end(),
                                     [](const std::string& item) { return !item.empty(); });
    auto original = [&](uint32_t k) { return k < nL ? left[k] : right[k - nL]; };
    // Two files read as blocks: their lines are read from the blocks
    // directly, and stretches of lines that are the same bytes on both
    // sides are found by comparing the blocks.
    FileBytes bytes;
    const bool blocks = left.text && right.text && left.text->wideStarts.empty() &&
                        right.text->wideStarts.empty();
    if (blocks) {
        bytes.left = left.text->bytes.get();
        bytes.leftStarts = left.text->starts.data();
        bytes.right = right.text->bytes.get();
        bytes.rightStarts = right.text->starts.data();
        bytes.rightEndsInLineFeed = right.text->size > 0 && bytes.right[right.text->size - 1] == '\n';
    }
    if (!removes) {
        // Only the case of letters, if anything, is ignored: the lines are
        // hashed and compared as they stand, folding capitals on the way.
        if (blocks) {
            struct Line {
                const FileBytes* bytes;
                uint32_t nL;
                [[gnu::always_inline]] std::string_view operator()(uint32_t k) const {
                    return k < nL ? CDiffFileText::LineBetween(bytes->left, bytes->leftStarts[k], bytes->leftStarts[k + 1])
                                  : CDiffFileText::LineBetween(bytes->right, bytes->rightStarts[k - nL],
                                                               bytes->rightStarts[k - nL + 1]);
                }
            };
            const Line line{&bytes, nL};
            if (options.ignoreCase) InternLines<FoldedTexts>(Held(line, nL, nR), nL, nR, &bytes);
            else InternLines<ExactTexts>(Held(line, nL, nR), nL, nR, &bytes);
        } else {
            if (options.ignoreCase) InternLines<FoldedTexts>(Held(original, nL, nR), nL, nR, nullptr);
            else InternLines<ExactTexts>(Held(original, nL, nR), nL, nR, nullptr);
        }
        return;
    }
    // Lines from which an item is removed are compared as their normal form,
    // kept in one block; the others as they stand (with capitals folded
    // under ignore case: their normal form is only lower-cased).
    std::vector<std::string_view> texts(static_cast<size_t>(nL) + nR);
    std::vector<std::pair<uint32_t, size_t>> changed;  // line, end of its form in the block
    std::string block;
    for (uint32_t k = 0; k < nL + nR; ++k) {
        const std::string_view line = original(k);
        texts[k] = line;
        const std::string normal = NormalizeDiffText(std::string(line), options);
        if (normal.size() == line.size()) continue;
        block += normal;
        changed.emplace_back(k, block.size());
    }
    size_t from = 0;
    for (const auto& [k, to] : changed) {
        texts[k] = std::string_view(block.data() + from, to - from);
        from = to;
    }
    std::vector<std::pair<uint32_t, size_t>>().swap(changed);
    auto text = [&](uint32_t k) { return texts[k]; };
    if (options.ignoreCase) InternLines<FoldedTexts>(Held(text, nL, nR), nL, nR, blocks ? &bytes : nullptr);
    else InternLines<ExactTexts>(Held(text, nL, nR), nL, nR, blocks ? &bytes : nullptr);
}


// How many lines from left line j and right line k on are the same bytes,
// line feeds included (and so the same texts, whatever the options). A
// last right line without a line feed is left to the caller.
uint32_t CTextDiff::Matcher::SameLines(const FileBytes& bytes, uint32_t j, uint32_t k) const {
    const uint32_t nL = static_cast<uint32_t>(m_nL), nR = static_cast<uint32_t>(m_nR);
    const size_t lFrom = bytes.leftStarts[j], rFrom = bytes.rightStarts[k];
    const size_t n = std::min(bytes.leftStarts[nL] - lFrom, bytes.rightStarts[nR] - rFrom);
    const size_t same = SameBytes(bytes.left + lFrom, bytes.right + rFrom, n);
    // Right lines k .. k + t - 1 end within the same bytes.
    const uint32_t lastEnd = bytes.rightEndsInLineFeed ? nR : nR - 1;  // lines that end in a line feed
    const uint32_t* first = bytes.rightStarts + k + 1;
    const uint32_t* last = bytes.rightStarts + std::max(lastEnd, k) + 1;
    uint32_t t = static_cast<uint32_t>(std::upper_bound(first, last, static_cast<uint32_t>(rFrom + same)) - first);
    return std::min(t, nL - j);
}

template <class Texts, class TextOf>
void CTextDiff::Matcher::InternLines(const TextOf& text, uint32_t nL, uint32_t nR, const FileBytes* bytes) {
    // The table is let go before anything more is taken for the lines.
    std::optional<LineTable<TextOf, Texts>> table;
    size_t room;
    const size_t expected = ExpectedTexts<Texts>(nL, nR, text, &room);
    table.emplace(room, text, m_L.data(), &m_R, nL);
    // Many left lines of few texts are numbered in parts at once.
    constexpr uint32_t kInParts = uint32_t{1} << 17;
    if (nL < kInParts || expected >= std::max(nL, nR) ||
        !NumberLeftInParts<Texts>(text, nL, m_L.data(), *table, expected))
        NumberLeftLines<Texts>(text, *table, m_L.data(), 0, nL, [](uint32_t, uint64_t) { return true; });
    // The left places of each text: texts first met on the right have none.
    const size_t leftTexts = table->Count();
    if constexpr (TextOf::kStreamed) {
        // A left file of few distinct texts (a few bytes in all) is kept
        // as those texts once the lines are numbered; the right lines are
        // then kept as the numbers of their texts alone.
        if (leftTexts <= nL / 32) {
            size_t textBytes = 0;
            table->ForEachText([&](uint32_t line) { textBytes += text.Left(line).size(); });
            text.stored->few = textBytes <= text.leftStarts[nL] / 8;
            text.stored->leftTexts = leftTexts;
        }
    }
    m_Single.Build(m_L, leftTexts);
    {
        // The left lines' counts of same lines that follow are taken while
        // the right lines are numbered (which only read the left ones).
        constexpr uint32_t kBeside = uint32_t{1} << 16;
        std::optional<BesideWork> left;
        if (nL >= kBeside) left.emplace([&] { CountSame(m_L, m_SameL); });
        InternRightLines<Texts>(text, nL, nR, bytes, *table, leftTexts);
        if (left) left->Join();
        else CountSame(m_L, m_SameL);
    }
    if constexpr (TextOf::kStreamed) {
        RightLines& stored = *text.stored;
        if (stored.few) {
            std::vector<uint32_t> first(leftTexts);
            table->ForEachText([&](uint32_t line) {
                if (line < nL) first[static_cast<size_t>(m_L[line])] = line;
            });
            stored.fewStarts.reserve(leftTexts + 1);
            stored.fewStarts.push_back(0);
            for (const uint32_t line : first) {
                stored.fewBytes += text.Left(line);
                stored.fewStarts.push_back(static_cast<uint32_t>(stored.fewBytes.size()));
            }
            stored.where.Clear();
            CDiffFileText& left = *stored.left;
            left.bytes.reset();
            left.size = 0;
            std::vector<uint32_t>().swap(left.starts);
        }
    }
    m_nKeys = static_cast<int>(table->Count());
    table.reset();
    // Texts only on the right have no places.
    m_Single.start.resize(static_cast<size_t>(m_nKeys) + 1, m_Single.start.back());
    m_LineKeysL = KeyList(m_L);
    m_LineKeysR = KeyList(m_R);
    CountSame(m_R, m_SameR);
    m_nWalkBound = 64L * (m_nL + m_nR) + 65536;
}

// Right lines mostly follow left lines in order: each is first compared
// with the left line after the one the line before it matched (in files
// read as blocks, a whole stretch of lines at once, byte for byte), and
// looked up only when that differs. After a line that differs, the next
// two right lines (after the first, eight where they follow) are looked
// for a few lines around on the left (a line changed, inserted or
// dropped); failing that, the
// comparisons go on after the text's place on the left from there on where
// the text has few places, else on the next left line (a changed line).
// Once lines have kept differing, the next right lines are looked for in
// a window that grows with the lines that differed (an inserted or dropped
// run), around where the last long stretch of lines would have them,
// whatever was found nearby, and the place where most of them follow is
// taken: the comparisons find their place again after long edits, at a few
// comparisons per line in all. Among few texts a line or two of such a run
// follow by chance, and eight now and then; they do not end it.
// The walk down the right lines of InternRightLines: where the
// comparisons stand on the left, and how long they have held or differed.
template <class Texts, class TextOf, class Table>
struct CTextDiff::Matcher::RightWalk {
    Matcher& m;
    const TextOf& text;
    uint32_t nL, nR;
    const FileBytes* bytes;
    Table& table;
    size_t leftTexts;
    FollowSearch<Texts, TextOf> search{text, nL};
    static constexpr uint32_t kAround = 8;
    // Where the comparisons last held for kHeld lines on end (among two
    // texts by chance once in billions), right line k stood against left
    // line k + shift; lost right lines have differed since, and the wide
    // window is searched around that shift once lost reaches wideAt (around
    // the place of the last comparison it would drift with the chance
    // places found meanwhile).
    static constexpr uint32_t kHeld = 32;
    static constexpr uint32_t kPoll = 65536;  // right lines between looks at the break flag
    // The widest window: files that have long stopped following each
    // other (unrelated files) search no more than this at each doubling.
    static constexpr uint32_t kWidest = 65536;
    uint32_t k = 0, next = 0;  // the right line, and the left line it is compared with first
    uint32_t misses = 0;       // right lines that differed since the comparisons last held
    // Right lines that followed their left lines since the last that
    // differed: among few texts a line or two follow by chance, so the
    // comparisons count as held again only after kAround of them.
    uint32_t followed = 0;
    int64_t shift = 0;
    uint32_t lost = 0, wideAt = 4;
    RightLines* stored = nullptr;  // a right file read a piece at a time

    void Run() {
        TakeKnownHead();
        // (A stop ends the walk: the lines so far are numbered, and the
        // matcher stops before matching them.)
        uint32_t poll = k + kPoll;
        while (HasLine()) {
            if (k >= poll) {
                if (m.Stopped()) break;
                poll = k + kPoll;
            }
            if (FollowStretch()) continue;
            const std::string_view t = text.Right(k);
            if (FollowLine(t)) continue;
            MoveOn(LookUp(t));
            ++k;
        }
        Finish();
    }
    void Held() {
        if (followed >= kAround) misses = 0;
        if (followed >= kHeld) lost = 0, wideAt = 4, shift = static_cast<int64_t>(next) - k;
    }
    // Right lines k .. k + count - 1 are left lines next .. next + count - 1.
    void Follow(uint32_t count) {
        std::memcpy(m.m_R.data() + k, m.m_L.data() + next, count * sizeof(int));
        if constexpr (TextOf::kStreamed)
            if (!stored->few)
                for (uint32_t c = 0; c < count; ++c) stored->where[k + c] = next + c;
        m.AddStretch(k, next, count);
        k += count;
        next += count;
        followed += count;
        Held();
    }
    // The first right lines may be known to be the left's first lines (the
    // same bytes): they are numbered as the comparison of the bytes would
    // number them.
    void TakeKnownHead() {
        if constexpr (TextOf::kStreamed) {
            stored = text.stored;
            if (stored->prefix == 0) return;
            m.m_R.resize(stored->prefix);
            stored->where.Resize(stored->prefix);
            Follow(stored->prefix);
        }
    }
    // Whether there is a right line k; the lines read so far have their
    // places in the lists.
    bool HasLine() {
        if constexpr (TextOf::kStreamed) {
            text.Ready(k);
            if (!text.Has(k)) return false;
            const uint32_t end = text.reader->End();
            if (m.m_R.size() < end) {
                m.m_R.resize(end);
                stored->where.Resize(end);
            }
            return true;
        }
        return k < nR;
    }
    // In files read as blocks, a whole stretch of lines that are the same
    // bytes at once.
    bool FollowStretch() {
        if (!bytes || next >= nL) return false;
        uint32_t same;
        if constexpr (TextOf::kStreamed) same = text.Same(next, k);
        else same = m.SameLines(*bytes, next, k);
        if (same > 0) Follow(same);
        return same > 0;
    }
    bool FollowLine(std::string_view t) {
        if (next >= nL || !Texts::Equal(text.Left(next), t)) return false;
        Follow(1);
        return true;
    }
    // The number of a right line that differed; a text not met before is
    // kept as a text of its own, another as the line the table holds for it.
    int LookUp(std::string_view t) {
        int id;
        if constexpr (TextOf::kStreamed) {
            uint32_t line;
            const size_t texts = table.Count();
            id = table.Intern(nL + k, t, Texts::Hash(t), line);
            if (table.Count() > texts) stored->AddOwn(k, t);
            else if (!stored->few) stored->where[k] = line < nL ? line : stored->where[line - nL];
        } else {
            id = table.Intern(nL + k, t, Texts::Hash(t));
        }
        m.m_R[k] = id;
        ++misses;
        ++lost;
        followed = 0;
        return id;
    }
    // Where the comparisons go on after right line k (of text id) differed.
    // Among few texts two lines follow at some place nearby by chance:
    // after the first line that differs a place where eight follow is
    // looked for first, and once lines have kept differing the window is
    // searched for one whatever was found nearby (else the comparisons
    // drift from one chance place to the next and never find their place
    // again).
    void MoveOn(int id) {
        uint32_t resume = UINT32_MAX;
        const bool onLeft = static_cast<size_t>(id) < leftTexts;
        if (text.Has(k + 1)) {
            if (lost >= wideAt && onLeft) {
                const int64_t at = std::clamp<int64_t>(static_cast<int64_t>(k) + 1 + shift, 0, nL - 1);
                resume = search.BestAround(static_cast<uint32_t>(at), k, std::clamp(2 * lost, kAround, kWidest), 8);
                wideAt = 2 * lost;
            } else if (misses == 1) {
                resume = search.BestAround(next, k, kAround, 8);
            }
            // Right lines that have long stopped following look nearby only
            // at every eighth line (a run of lines of its own that ends is
            // found again a few lines later, the lines between looked up).
            if (resume == UINT32_MAX && (lost < 64 || lost % 8 == 0))
                resume = search.ResumeAround(next, k, kAround, 2);
        }
        if (resume != UINT32_MAX) {
            next = resume;
            return;
        }
        const int* first = onLeft ? m.m_Single.pos.data() + m.m_Single.start[id] : nullptr;
        const int* last = onLeft ? m.m_Single.pos.data() + m.m_Single.start[id + 1] : nullptr;
        if (first && last - first <= kFewPlaces) {
            const int* at = last - first == 1 ? first : std::lower_bound(first, last, static_cast<int>(next));
            if (at < last) next = static_cast<uint32_t>(*at) + 1;
        } else if (next < nL) {
            ++next;
        }
    }
    // Every right line is numbered: the reader is let go.
    void Finish() {
        if constexpr (TextOf::kStreamed) {
            m.m_R.resize(k);
            stored->where.Resize(k);
            stored->count = k;
            stored->reader.reset();
            m.m_nR = static_cast<int>(k);
        }
    }
};

// Right lines mostly follow left lines in order: each is first compared
// with the left line after the one the line before it matched (in files
// read as blocks, a whole stretch of lines at once, byte for byte), and
// looked up only when that differs. After a line that differs, the next
// two right lines (after the first, eight where they follow) are looked
// for a few lines around on the left (a line changed, inserted or
// dropped); failing that, the comparisons go on after the text's place on
// the left from there on where the text has few places, else on the next
// left line (a changed line). Once lines have kept differing, the next
// right lines are looked for in a window that grows with the lines that
// differed (an inserted or dropped run), around where the last long
// stretch of lines would have them, whatever was found nearby, and the
// place where most of them follow is taken: the comparisons find their
// place again after long edits, at a few comparisons per line in all.
// Among few texts a line or two of such a run follow by chance, and eight
// now and then; they do not end it.
template <class Texts, class TextOf, class Table>
void CTextDiff::Matcher::InternRightLines(const TextOf& text, uint32_t nL, uint32_t nR, const FileBytes* bytes,
                                          Table& table, size_t leftTexts) {
    RightWalk<Texts, TextOf, Table>{*this, text, nL, nR, bytes, table, leftTexts}.Run();
}

void CTextDiff::Matcher::CountSame(const std::vector<int>& ids, std::vector<uint8_t>& same) {
    ReserveHuge(same, ids.size());
    same.resize(ids.size());
    if (ids.empty()) return;
    // Without branches: among few texts whether a line repeats the one
    // after it is a toss of a coin.
    const size_t last = ids.size() - 1;
    const int* id = ids.data();
    uint8_t* out = same.data();
    unsigned run = 1;
    out[last] = 1;
    for (size_t k = last; k-- > 0;) {
        const unsigned equal = id[k + 1] == id[k];
        run = (run & (0u - equal)) + 1;
        out[k] = static_cast<uint8_t>(run < 255 ? run : 255);
    }
}
