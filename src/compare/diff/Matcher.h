// The matcher of the line diff engine: the repeated longest-run split of
// TextDiff.h over two lists of lines. Takes the lines of both inputs (as
// CTextDiff::LineSource) and the options; gives the matching runs, in the
// order they are found, into the caller's list. Its stages live in files
// of their own: Numbering.cpp (lines to numbers), Bounds.cpp (the bounds on
// each right line's run), RunIndex.cpp (indexes of runs of lines),
// Scan.cpp (the scan of one right line), RunTree.cpp (the tree over the
// run cache) and Matcher.cpp (the passes over the parts).
//
// Every line is reduced once to the integer of its compared form, so line
// equality is an integer test.
//
// A pass over a part needs only the first right line with the longest run.
// Each right line has a bound on any run it can have: the most equal lines
// it starts anywhere on the left, walked up the diagonals (exact when few
// lines repeat), tightened when many lines have to be scanned: where many
// lines repeat, first by the runs of a few lines found nowhere on the left,
// at last from a sorted order of all suffixes of both inputs. It is cut to
// the lines the part leaves it. A segment tree over the run cache,
// whose leaves are known runs and the bounds of lines not known, gives the
// first line with the longest value; while that is a bound, the line is
// scanned, and once it is a known run it wins. Lines that never come into
// question owe the scans the plain procedure would have done: the parts are
// kept with their winners, and when such a line is scanned at last, the
// passes that visited it since its run was last known are replayed for it,
// each rescanning or keeping the run as the plain procedure does. A pass
// visits its lines up to the last that leaves more lines than the winning
// run, and the winner; a line scanned by the pass always lies there. A
// replayed scan goes on only while what it finds could still be kept by
// the next pass that visits the line, and of the passes in a row that scan
// from the same left line only the last scans (keeping or rescanning, each
// comes to what that one finds).
//
// The scan of a right line visits only the left places where the rarest of
// its next few lines, or of runs of 2, 4, 8, 12, 16, 24 or 32 of them,
// occurs (or steps the same places directly when that is cheaper); every
// diagonal run measured is remembered for the next right line. A level of
// runs is built only once the look-ups it would have served have paid for
// it, and each of its places carries prints of the lines around its run,
// so that most places whose lines next to the run differ are passed over
// without a read at a random place. Equal lines
// along a diagonal cross blocks of one repeated line at once, and once such
// walks grow long they are read from the suffix order; a long run is also
// looked up by its rarest line. The runs found and the order they are found
// in are exactly those of the plain procedure.
#pragma once

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "compare/TextDiff.h"
#include "compare/diff/HugePages.h"
#include "compare/diff/RangeArgMin.h"
#include "compare/diff/SuffixOrder.h"

namespace textdiff {
// Lines (or runs of lines) with no more places than this are looked up one
// by one; longer runs are looked up only when these have more.
constexpr int kFewPlaces = 16;

// Hands out lists whose new items are left unset: for lists every item of
// which is written before it is read, so that growing one writes nothing.
template <class T>
struct UnsetAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnsetAllocator<U>;
    };
    UnsetAllocator() = default;
    template <class U>
    UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
};
template <class T>
using UnsetList = std::vector<T, UnsetAllocator<T>>;
}  // namespace textdiff

class CTextDiff::Matcher {
public:
    Matcher(const LineSource& left, const LineSource& right,
            const CDiffOptions& options, std::vector<CDiffChange>& runs,
            const std::atomic<bool>* brk);
    // False when stopped by the break flag.
    bool Run();
    // Whether Run gave up the procedure's way (returning false): the inputs
    // share little but one text (say, blank lines), and its runs of lines
    // are many on both sides or the passes went past their budget of work
    // (there the runs are short and each pass rescans the lines of that
    // text). LongestCommonRuns then gives the runs instead.
    bool GaveUp() const { return m_bGaveUp; }
    // The runs of a longest common subsequence of the lines (in order of
    // their right lines): the lines of the texts shared but the one that
    // is matched as a chain, with as many lines of that one text between
    // each two as both sides have there. False when stopped.
    bool LongestCommonRuns(std::vector<CDiffChange>& runs);
    // Hands over the numbers of the lines' texts (left, right).
    void TakeLineNumbers(std::vector<int>& left, std::vector<int>& right) {
        left.swap(m_L);
        right.swap(m_R);
    }

private:
    using EqualLineIndex = textdiff::EqualLineIndex;
    using RangeArgMin = textdiff::RangeArgMin;
    static constexpr int kFewPlaces = textdiff::kFewPlaces;
    template <class T>
    using UnsetList = textdiff::UnsetList<T>;
    // Zero bytes are the empty state of each of these, so that the lists
    // of them cost memory only where they are used: in pages of 4 KB while
    // few lines are scanned (a huge page would be cleared whole for one
    // entry), in huge pages, where the system gives them, once many are.
    struct Hint {
        int j1;            // 1 + left line of a known diagonal from this right line; 0 none
        unsigned len : 31;  // equal lines from (i, j) on: exactly, or at least
        unsigned exact : 1;
    };
    // A run found for a right line: code is its length + 2 (0 not known,
    // 1 no run). A line whose run is not known owes the scans of the passes
    // from part start on down to the part being matched.
    struct Entry {
        int start;
        int code;
    };
    template <class T>
    class ZeroList {
    public:
        void Allocate(size_t n) {
            m_p.reset(static_cast<T*>(std::calloc(n ? n : 1, sizeof(T))));
            if (!m_p) throw std::bad_alloc();
            m_n = n;
        }
        // The pages not yet used come in huge pages from now on.
        void Huge() { textdiff::AdviseHugePages(m_p.get(), m_n * sizeof(T)); }
        T& operator[](size_t k) { return m_p.get()[k]; }
        const T& operator[](size_t k) const { return m_p.get()[k]; }

    private:
        struct Free {
            void operator()(T* p) const { std::free(p); }
        };
        std::unique_ptr<T, Free> m_p;
        size_t m_n = 0;
    };
    // Once more than a few lines in ten thousand have their hints and runs
    // written (or are bound to), the rest of those lists come in huge pages.
    long DenseFrom() const { return m_nR / 4096 + 16; }
    bool m_bListsHuge = false;
    void ListsInHugePages() {
        if (m_bListsHuge) return;
        m_bListsHuge = true;
        m_Hints.Huge();
        m_Cache.Huge();
    }
    long m_nScansDone = 0;  // lines scanned in passes
    CDiffRun Cached(int i) const {
        const Entry e = m_Cache[i];
        return {e.code ? e.start : -1, e.code - 2};
    }
    // A known run (or none), or, for a line not known (length -2), the part
    // it owes the scans from.
    void Cache(int i, CDiffRun run, int owesFrom = 0) {
        m_Cache[i] = {run.length == -2 ? owesFrom : run.start, run.length + 2};
    }
    int OwesFrom(int i) const { return m_Cache[i].start; }

    void Intern(const LineSource& left, const LineSource& right,
                const CDiffOptions& options);
    // The bytes of two files read as blocks, where both are there.
    struct FileBytes {
        const char* left = nullptr;
        const uint32_t* leftStarts = nullptr;
        const char* right = nullptr;
        const uint32_t* rightStarts = nullptr;
        bool rightEndsInLineFeed = false;
    };
    template <class Texts, class TextOf>
    void InternLines(const TextOf& text, uint32_t nL, uint32_t nR, const FileBytes* bytes);
    template <class Texts, class TextOf, class Table>
    void InternRightLines(const TextOf& text, uint32_t nL, uint32_t nR, const FileBytes* bytes, Table& table,
                          size_t leftTexts);
    template <class Texts, class TextOf, class Table>
    struct RightWalk;
    uint32_t SameLines(const FileBytes& bytes, uint32_t j, uint32_t k) const;
    // Stretches of right lines found equal, in order, to left lines in
    // order while the lines were numbered: first right line and count.
    std::vector<std::pair<int, int>> m_Stretches;
    std::vector<int> m_StretchLeft;  // per stretch: its first left line
    void AddStretch(uint32_t k, uint32_t j, uint32_t count) {
        if (!m_Stretches.empty() && k == static_cast<uint32_t>(m_Stretches.back().first + m_Stretches.back().second) &&
            j == m_nStretchLeftEnd) {
            m_Stretches.back().second += static_cast<int>(count);
        } else {
            m_Stretches.emplace_back(static_cast<int>(k), static_cast<int>(count));
            m_StretchLeft.push_back(static_cast<int>(j));
        }
        m_nStretchLeftEnd = j + count;
    }
    // Where right line i and left line j lie in one stretch found equal in
    // order, how many lines from them on are in it (the same lines); else 0.
    int InStretch(int i, int j) const {
        auto at = std::upper_bound(m_Stretches.begin(), m_Stretches.end(), i,
                                   [](int line, const std::pair<int, int>& s) { return line < s.first; });
        if (at == m_Stretches.begin()) return 0;
        --at;
        const int from = i - at->first;
        if (from >= at->second || m_StretchLeft[at - m_Stretches.begin()] + from != j) return 0;
        return at->second - from;
    }
    uint32_t m_nStretchLeftEnd = 0;
    int MatchLength(int i, int j, int maxLen);
    bool RunsAtLeast(int i, int j, int len);
    struct Part;
    // The run of right line i over a part's left lines; given the part
    // whose pass comes to the line next, a run of length kNotKept once the
    // run found could not be kept there.
    static constexpr int kNotKept = -3;
    // The places and lengths a scan from one left line found, in order;
    // whole when the scan came to its end. A scan of the same line from
    // the same left line over fewer lines finds the same, cut where the
    // lines run out.
    struct ScanPath {
        int lF = -1;
        bool whole = false;
        std::vector<std::pair<int, int>> found;
    };
    ScanPath m_Path0;
    CDiffRun Scan(int i, int lF, int lL, int remaining, const Part* next = nullptr, ScanPath* path = nullptr);
    int FindCandidate(int i, int b, int anchor, int stride, int lastPos);
    // The key a candidate look-up goes by: the rarest of the first lines of
    // a run (or of its first runs of a level), its level, its place in the
    // run and its count of left places; level -1 when some line or run of
    // them is never on the left.
    struct LookUpKey {
        int level = 0;
        int key = -1;
        int offset = 0;
        int count = INT_MAX;
    };
    LookUpKey RarestLine(int i, int b);
    bool RarerRun(int g, int i, int b, LookUpKey& best, bool& indexed);
    LookUpKey RarestKey(int i, int b);
    bool Stopped();

    // Segment tree over the run cache, whose leaves are blocks of kLeaf
    // right lines; the lines of a block are looked at one by one.
    static constexpr int kLeaf = 16;
    void TreeBuild(bool noRuns = false);
    void TreeSet(int i);
    // The leaves of the right lines from a to b read again.
    void TreeRebuild(int a, int b);
    // The first right line in [a, b] whose entry has what want asks of a
    // node (and of a node above it exactly when of one below); b + 1 when
    // none.
    template <class Want>
    int FirstWith(int a, int b, Want want) const;
    template <class Want>
    int FirstBlockIn(int node, int lo, int hi, int a, int b, Want want) const;
    int FirstEvent(int a, int b, int lF, int lL, int rL) const;
    int FirstLongest(int a, int b, int length) const;
    int RangeMax(int a, int b) const;
    int RangeMaxIn(int node, int lo, int hi, int a, int b) const;
    // Per node, over the cache entries below it: the smallest left start,
    // the largest left and right end of a run, and the longest length (or
    // bound of a line whose run is not known).
    struct Node {
        int minStart, maxLEnd, maxREnd, maxLen;
        bool operator==(const Node&) const = default;
    };
    static bool NodeHasEvent(const Node& n, int lF, int lL, int rL) {
        return n.minStart < lF || n.maxLEnd > lL || n.maxREnd > rL;
    }
    Node Leaf(int i) const;
    Node BlockNode(int block) const;
    static Node Combine(const Node& a, const Node& b) {
        return {std::min(a.minStart, b.minStart), std::max(a.maxLEnd, b.maxLEnd),
                std::max(a.maxREnd, b.maxREnd), std::max(a.maxLen, b.maxLen)};
    }

    int m_nL = 0, m_nR = 0;
    std::vector<int> m_L, m_R;          // line numbers of the compared forms
    // Per place: how many lines from it on are the same line (at least 1),
    // so that a walk down a diagonal crosses a block of one line at once.
    // Counts over 255 are kept as 255: the count at the 255th line on
    // tells the rest.
    std::vector<uint8_t> m_SameL, m_SameR;
    static void CountSame(const std::vector<int>& ids, std::vector<uint8_t>& same);
    // Left places of each key, ascending.
    struct OccIndex {
        std::vector<int> start;  // per key: first index into pos
        UnsetList<int> pos;
        // Per place in pos (for the levels of runs): four bits of the
        // number of the left line that follows the run there, and four of
        // the line before it (0 where there is none), read in order beside
        // pos, so that most places whose lines next to the run differ are
        // passed over without a read at a random place.
        UnsetList<uint8_t> around;
        static uint8_t Print(int line) { return static_cast<uint8_t>((static_cast<uint32_t>(line) * 0x9E3779B1u) >> 28); }
        void Build(const std::vector<int>& keys, size_t keyCount);
        // The same, in the storage of two lists no longer needed where it
        // is large enough (memory already written to is not faulted in and
        // zeroed again); a list too small is let go first. With lines, each
        // place also gets the prints of the lines around its run of length
        // lines.
        void Build(const std::vector<int>& keys, size_t keyCount, std::vector<int>& spareStart,
                   UnsetList<int>& sparePos, const std::vector<int>* lines = nullptr, int length = 0);
        // The same from m keys of any type, each its key + bias.
        template <class Key>
        void Build(const Key* keys, size_t m, int bias, size_t keyCount, std::vector<int>& spareStart,
                   UnsetList<int>& sparePos, const std::vector<int>* lines, int length);
        // The places of keys from..to - 1 put in order where the counts of
        // keys before from (fill[key]: the index in pos of the key's next
        // place) leave them, each with the prints of the lines around its
        // run of length lines.
        template <class Key>
        void Place(const Key* keys, size_t from, size_t to, int bias, int* fill, bool ahead,
                   const std::vector<int>& lines, int length);
        int Count(int key) const { return start[key + 1] - start[key]; }
    };
    // Passes the places of a look-up key whose lines next to it may be the
    // lines of the run looked up there (where the key does not reach the
    // end of the run, or does not begin it); the index in pos of the key's
    // first place is 0.
    struct AroundFilter {
        const uint8_t* around = nullptr;
        uint8_t mask = 0;
        uint8_t want = 0;
        bool Passes(long x) const { return !mask || (around[x] & mask) == want; }
    };
    // The keys of one level, one per place: four bytes each, or two when
    // the level has few distinct keys (kept as key + 2, so that -2 and -1
    // fit), or the line numbers themselves for the single lines.
    class KeyList {
    public:
        KeyList() = default;
        explicit KeyList(const std::vector<int>& lines) : m_pWide(lines.data()) {}
        KeyList(KeyList&&) = default;
        KeyList& operator=(KeyList&&) = default;
        KeyList(const KeyList&) = delete;
        KeyList& operator=(const KeyList&) = delete;
        // Takes keys below count (or -1, -2).
        void Keep(UnsetList<int> keys, int count) {
            if (count + 2 <= UINT16_MAX) {
                m_Narrow.resize(keys.size());
                for (size_t k = 0; k < keys.size(); ++k) m_Narrow[k] = static_cast<uint16_t>(keys[k] + 2);
                m_pNarrow = m_Narrow.data();
            } else {
                m_Wide = std::move(keys);
                m_pWide = m_Wide.data();
            }
        }
        // Takes keys already kept as key + 2.
        void Keep(UnsetList<uint16_t> keys, int) {
            m_Narrow = std::move(keys);
            m_pNarrow = m_Narrow.data();
        }
        int operator[](size_t k) const { return m_pWide ? m_pWide[k] : static_cast<int>(m_pNarrow[k]) - 2; }
        // Calls read(keys, bias) with the list as it is kept: each key + bias.
        template <class Read>
        void Raw(Read&& read) const {
            if (m_pWide) read(m_pWide, 0);
            else read(m_pNarrow, 2);
        }

    private:
        // Moving the lists keeps their storage, so these stay valid.
        const int* m_pWide = nullptr;
        const uint16_t* m_pNarrow = nullptr;
        UnsetList<int> m_Wide;
        UnsetList<uint16_t> m_Narrow;
    };
    // Keys of the runs of a level's length that start at each place, with
    // the left places of each key. Level 0 is the single lines (m_L, m_R).
    struct Gram {
        KeyList left;   // -1: not indexed
        KeyList right;  // -2: not indexed; -1: never on the left
        OccIndex index;
    };
    // Lengths of the indexed runs; each level above the first joins the run
    // of level kFirst with the run of level kSecond that follows it.
    static constexpr int kGramLevels = 8;
    static constexpr int kGramLength[kGramLevels] = {1, 2, 4, 8, 12, 16, 24, 32};
    static constexpr int kFirst[kGramLevels] = {0, 0, 1, 2, 3, 3, 5, 5};
    static constexpr int kSecond[kGramLevels] = {0, 0, 1, 2, 2, 3, 3, 5};
    // Pairs of frequent halves up to this many are numbered through a table
    // of all.
    static constexpr long kPairTable = 1L << 20;
    OccIndex m_Single;
    std::vector<Gram> m_Grams;  // levels 1 and up, built when first needed
    long m_nLookupSteps = 0;  // places looked at by FindCandidate
    // Places looked at, since the last level was built, by look-ups that
    // the next level would have served: their runs reach its length and
    // the rarest key they had has many places. A look-up of a short run
    // gains nothing from a level of long runs, so only these pay for one.
    long m_nStepsWanting = 0;
    long m_nWantingFrom = -1;  // m_nLookupSteps when such a look-up began; -1 none
    // Counts the places of the look-up before, when it wanted the next level.
    void SettleWanting() {
        if (m_nWantingFrom >= 0) m_nStepsWanting += m_nLookupSteps - m_nWantingFrom;
        m_nWantingFrom = -1;
    }
    // The look-up steps that pay for a level of runs (and end the trial of
    // the loose bounds).
    long LevelSteps() const { return (static_cast<long>(m_nL) + m_nR) / 8; }
    KeyList m_LineKeysL, m_LineKeysR;  // m_L and m_R as key lists
    const KeyList& LeftKeys(int level) const { return level ? m_Grams[level - 1].left : m_LineKeysL; }
    const KeyList& RightKeys(int level) const { return level ? m_Grams[level - 1].right : m_LineKeysR; }
    const OccIndex& Index(int level) const { return level ? m_Grams[level - 1].index : m_Single; }
    // The filter for the places of key, looked up for the run of b + 1
    // lines from right line i; of its n places, those from about where
    // target would stand among places spread evenly over 0 .. range - 1
    // are fetched ahead, while the places themselves are searched.
    AroundFilter Around(const LookUpKey& key, int i, int b, long n, int target, int range) const {
        const OccIndex& index = Index(key.level);
        AroundFilter f;
        if (index.around.empty()) return f;
        f.around = index.around.data() + index.start[key.key];
        if (n > 0)
            __builtin_prefetch(f.around + std::min(n - 1, static_cast<long>(static_cast<double>(n) * target / range)));
        const int next = key.offset + kGramLength[key.level];
        if (next <= b) {
            f.mask |= 0x0F;
            f.want |= OccIndex::Print(m_R[i + next]);
        }
        if (key.offset > 0) {
            f.mask |= 0xF0;
            f.want |= static_cast<uint8_t>(OccIndex::Print(m_R[i + key.offset - 1]) << 4);
        }
        return f;
    }
    // Whether the level (the one above the last built) is there: it is
    // built once the look-ups that want it have paid for it.
    bool LevelBuilt(int level);
    void BuildGramLevel(int level, Gram& gram) const;
    struct GramHalves;
    template <class Key>
    void NumberPairsByTable(const GramHalves& halves, int level, Gram& gram) const;
    template <class Key, class WithRuns>
    void NumberRuns(int keys, size_t places, int level, Gram& gram, WithRuns&& withRuns) const;
    template <class Key>
    void NumberRunsOfLines(const std::vector<int>& dense, int frequent, int keys, int level, Gram& gram) const;
    // Whether the level was passed over (its runs hardly rarer than single
    // lines, where the lines are drawn from two texts): nothing of it is
    // kept, and the level above it is built from the lines themselves.
    bool Skipped(int level) const { return level > 0 && m_Grams[level - 1].index.start.empty(); }
    void NumberPairsByGroup(const GramHalves& halves, UnsetList<int>& left, UnsetList<int>& right, int& count,
                            UnsetList<int>& spare) const;
    // Set once a level's runs are hardly rarer than those of the level
    // below: each run is then nearly always followed by the same lines, and
    // longer runs would be no rarer either.
    bool m_bLevelsDone = false;
    static double PlacesPerLookUp(const OccIndex& index);
    ZeroList<Hint> m_Hints;
    // Lines walked down diagonals so far; past a bound the equal lines are
    // taken from the suffix order instead.
    long m_nWalked = 0;
    long m_nWalks = 0;
    long m_nWalkBound = 0;
    std::unique_ptr<EqualLineIndex> m_pEqual;
    std::unique_ptr<EqualLineIndex> m_pSpareEqual;
    // Left places of each right line's text, to find the rarest line of a
    // long run; built when first needed.
    std::unique_ptr<RangeArgMin> m_pRarest;
    int m_nKeys = 0;
    ZeroList<Entry> m_Cache;
    std::vector<CDiffChange>& m_Runs;
    const std::atomic<bool>* m_pBreak;

    int m_nSize = 1;  // leaf blocks of the tree (a power of two)
    std::vector<Node> m_Tree;

    // The parts matched so far, each with the run that won it and the
    // parts it split into (-1: none).
    struct Part {
        int rF, rL, lF, lL;
        int depth = 0;  // parts it lies in
        int winner = -1, length = -1;
        // A known run of right line i that the pass keeps.
        bool Keeps(const CDiffRun& e, int i) const {
            return e.length <= 0 ||
                   (e.length <= rL - i + 1 && e.start >= lF && e.start + e.length - 1 <= lL);
        }
    };
    std::vector<Part> m_Parts;
    // The parts the part being matched lies in, by depth. The pass over a
    // part visits right lines up to the last one that leaves more lines
    // than the winning run, and the winner (never a line of a part below).
    // A line owing scans is replayed through these: the first pass that no
    // longer keeps its run is found by halving (the parts nest), and the
    // first pass from there on that visits it by the tree of the last lines
    // each visits.
    std::vector<int> m_Path;
    const Part& PathPart(int depth) const { return m_Parts[m_Path[depth]]; }
    class MaxTree {
    public:
        void Set(int k, int v) {
            if (k >= m_nCap) Grow(k + 1);
            int node = m_nCap + k;
            m_Max[node] = v;
            for (node >>= 1; node >= 1; node >>= 1) m_Max[node] = std::max(m_Max[2 * node], m_Max[2 * node + 1]);
        }
        // The first k in [a, b) whose value is at least v; -1 when none.
        // The next few are looked at one by one first: the wanted one is
        // mostly near.
        int FirstAtLeast(int a, int b, int v) const {
            const int near = std::min({b, a + 16, m_nCap});
            for (int k = a; k < near; ++k)
                if (m_Max[m_nCap + k] >= v) return k;
            if (near >= b || near >= m_nCap) return -1;
            return First(1, 0, m_nCap - 1, near, b - 1, v);
        }

    private:
        void Grow(int n) {
            int cap = std::max(m_nCap, 64);
            while (cap < n) cap <<= 1;
            std::vector<int> next(2 * static_cast<size_t>(cap), INT_MIN);
            for (int k = 0; k < m_nCap; ++k) next[cap + k] = m_Max[m_nCap + k];
            for (int node = cap - 1; node >= 1; --node) next[node] = std::max(next[2 * node], next[2 * node + 1]);
            m_Max.swap(next);
            m_nCap = cap;
        }
        int First(int node, int lo, int hi, int a, int b, int v) const {
            if (hi < a || lo > b || m_Max[node] < v) return -1;
            if (lo == hi) return lo;
            const int mid = (lo + hi) / 2;
            const int r = First(2 * node, lo, mid, a, b, v);
            return r >= 0 ? r : First(2 * node + 1, mid + 1, hi, a, b, v);
        }
        int m_nCap = 0;
        std::vector<int> m_Max;
    };
    MaxTree m_LastVisited;
    // Per right line, at least the length of any run it can have in any
    // part still to come (the most equal lines it starts anywhere).
    UnsetList<int> m_Bound;
    // Also counts the right lines with many places on the left, and those
    // with none.
    void DiagonalBounds(int& many, long& absent);
    void GramBounds();
    int AbsentRunLength() const;
    std::vector<int> OpenRuns(int q) const;
    // Calls f(from, to) for each range of first lines of right runs of q
    // lines that do not lie within a stretch found equal to left lines in
    // order, in order.
    template <class F>
    void OpenRanges(int q, F&& f) const {
        const int last = m_nR - q;  // the last run's first line
        int p = 0;
        for (const auto& stretch : m_Stretches) {
            // Runs from these lines lie within the stretch.
            const int from = stretch.first, to = stretch.first + stretch.second - q;
            if (to < from) continue;
            if (p < from && p <= last) f(p, std::min(from - 1, last));
            p = std::max(p, to + 1);
        }
        if (p <= last) f(p, last);
    }
    void AbsentByTable(int q, const std::vector<int>& open, std::vector<uint8_t>& absent) const;
    void AbsentByFilter(int q, const std::vector<int>& open, std::vector<uint8_t>& absent) const;
    void TightenBounds();
    // Lines scanned in passes; past a budget the bounds are tightened once.
    long m_nScanned = 0;
    long m_nScanBudget = 0;
    static constexpr long kFewScans = 64;
    // The loose bounds are on trial: once the scans cost more than a few
    // (or would build indexes of runs), the suffix order is built first.
    bool m_bTrial = false;
    bool m_bTight = false;
    // Giving up where the inputs share little (diff/LittleShared.cpp).
    // Where the lines of texts both have but the bulk text make at most
    // kFewPairs pairs: at once where the bulk text's runs of lines are many
    // on both sides; else past a budget of work (places looked at, and a
    // part or a scan as 64 of them, the tightened bounds as 16 a line).
    static constexpr long kFewPairs = 2048;
    long m_nWork = 0;
    long m_nWorkBudget = LONG_MAX;
    bool m_bGaveUp = false;
    int m_nBulkText = -1;  // the one text shared in bulk; -1 none
    bool GiveUpAtOnce();
    // True where the passes give up now (m_bGaveUp set).
    bool OverBudget(bool tightening = false) {
        if (m_nWorkBudget == LONG_MAX) return false;
        if (tightening) m_nWork += 16 * (static_cast<long>(m_nL) + m_nR);
        return m_bGaveUp = m_nWork + m_nLookupSteps > m_nWorkBudget;
    }
    CDiffRun Replay(int i, int part);
    bool MatchPart(int part);
    void CapBounds(int rF, int rL, int leftSize);
};
