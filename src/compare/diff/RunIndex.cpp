// Indexes of runs of lines: the run index stage of the matcher. Takes the
// numbered lines (m_L, m_R) and their left places (m_Single); gives, level
// by level, a key for the run of 2, 4, 8, 12, 16, 24 or 32 lines that
// starts at each place, and the left places of each key (m_Grams), so that
// a scan looks a long run up by a rare key rather than by its lines.
#include <exception>
#include <system_error>
#include <thread>

#include "compare/diff/Matcher.h"

using textdiff::ReserveHuge;

// Each level joins two halves: the runs of a lower level that start at a
// place (first), and the runs of a lower level that follow them (second).
struct CTextDiff::Matcher::GramHalves {
    int half;  // lines of the first half
    const KeyList& firstLeft;
    const KeyList& firstRight;
    const OccIndex& firstIndex;
    const KeyList& secondLeft;
    const KeyList& secondRight;
    const OccIndex& secondIndex;
    int firstKeys;
    int secondKeys;
    static bool Frequent(const OccIndex& index, int key) { return key >= 0 && index.Count(key) > kFewPlaces; }
};

// The next level of runs of lines: a run of 2^level lines is the pair of
// its two halves of the level below. Built when a scan first meets runs that
// occur often. Only runs whose two halves both occur often are ever looked
// up, so only they are indexed; any left place of such a run has the same
// two halves and so is indexed too, and a right run of two frequent halves
// that is not indexed never occurs on the left.
//
// Where there are few possible pairs, a table of them numbers the places;
// else the pairs are numbered without a table of pairs: the places are taken
// group by group of their first half (the left ones from its index, the
// right ones sorted into such groups), and within a group each second half
// gets a number the first time it is met, kept in a list by second half.
void CTextDiff::Matcher::BuildGramLevel() {
    const int level = static_cast<int>(m_Grams.size()) + 1;
    const OccIndex& firstIndex = Index(kFirst[level]);
    const OccIndex& secondIndex = Index(kSecond[level]);
    const GramHalves halves{kGramLength[kFirst[level]],
                            LeftKeys(kFirst[level]),
                            RightKeys(kFirst[level]),
                            firstIndex,
                            LeftKeys(kSecond[level]),
                            RightKeys(kSecond[level]),
                            secondIndex,
                            static_cast<int>(firstIndex.start.size()) - 1,
                            static_cast<int>(secondIndex.start.size()) - 1};
    int count = 0;
    Gram gram;
    // Few frequent halves: a table of all their pairs numbers the places in
    // one pass over each input, in order (the grouping reads the places of
    // each first half across the whole input, one cache miss each). Where
    // the pairs are so few that their keys fit in two bytes, the keys are
    // written as the level keeps them.
    long firstFew = 0, secondFew = 0;
    for (int key = 0; key < halves.firstKeys; ++key) firstFew += GramHalves::Frequent(firstIndex, key);
    for (int key = 0; key < halves.secondKeys; ++key) secondFew += GramHalves::Frequent(secondIndex, key);
    if (firstFew * secondFew + 2 <= UINT16_MAX) {
        NumberPairsByTable<uint16_t>(halves, count, gram);
    } else if (firstFew * secondFew <= kPairTable) {
        NumberPairsByTable<int>(halves, count, gram);
    } else {
        std::vector<int> left, right;
        ReserveHuge(left, m_nL);
        ReserveHuge(right, m_nR);
        left.assign(m_nL, -1);
        right.assign(m_nR, -2);
        // The grouping's own lists of places hold the index.
        std::vector<int> spareA, spareB;
        NumberPairsByGroup(halves, left, right, count, spareA);
        gram.index.Build(left, count, spareA, spareB, &m_L, kGramLength[level]);
        gram.left.Keep(std::move(left), count);
        gram.right.Keep(std::move(right), count);
    }
    if (3 * PlacesPerLookUp(gram.index) > 2 * PlacesPerLookUp(Index(level - 1))) m_bLevelsDone = true;
    m_Grams.push_back(std::move(gram));
    m_nStepsWanting = 0;
    m_nWantingFrom = -1;
}

// Numbers the places through a table of all pairs of frequent halves, and
// keeps the level's keys and left index in gram. Keys are kept as Key, with
// -2 and -1 as 0 and 1 where that is two bytes.
template <class Key>
void CTextDiff::Matcher::NumberPairsByTable(const GramHalves& halves, int& count, Gram& gram) {
    constexpr int kBias = sizeof(Key) < sizeof(int) ? 2 : 0;
    std::vector<Key> left, right;
    ReserveHuge(left, m_nL);
    ReserveHuge(right, m_nR);
    left.assign(m_nL, static_cast<Key>(kBias - 1));
    right.assign(m_nR, static_cast<Key>(kBias - 2));
    // Each frequent half's place in the table; -1 when not frequent.
    auto dense = [](const OccIndex& index, int keys, std::vector<int>& at) {
        at.assign(keys, -1);
        int n = 0;
        for (int key = 0; key < keys; ++key)
            if (GramHalves::Frequent(index, key)) at[key] = n++;
        return n;
    };
    std::vector<int> firstAt, secondAt;
    dense(halves.firstIndex, halves.firstKeys, firstAt);
    const long secondFew = dense(halves.secondIndex, halves.secondKeys, secondAt);
    long firstFew = 0;
    for (int a : firstAt) firstFew += a >= 0;
    std::vector<int> pair(static_cast<size_t>(firstFew * secondFew), -1);
    // The pair's slot in the table; -1 when either half is not frequent.
    auto slot = [&](int f, int second) -> long {
        if (f < 0 || second < 0) return -1;
        const int a = firstAt[f], b = secondAt[second];
        return a < 0 || b < 0 ? -1 : a * secondFew + b;
    };
    const int half = halves.half;
    for (int j = 0; j + half < m_nL; ++j) {
        const long k = slot(halves.firstLeft[j], halves.secondLeft[j + half]);
        if (k < 0) continue;
        if (pair[k] < 0) pair[k] = count++;
        left[j] = static_cast<Key>(pair[k] + kBias);
    }
    // The left places are indexed on a thread of their own meanwhile: the
    // right places only read the table of pairs.
    const int n = count;
    const int length = kGramLength[m_Grams.size() + 1];
    std::exception_ptr failure;
    auto keepLeft = [&] {
        try {
            std::vector<int> none;
            gram.index.Build(left.data(), left.size(), kBias, n, none, none, &m_L, length);
            gram.left.Keep(std::move(left), n);
        } catch (...) {
            failure = std::current_exception();
        }
    };
    std::thread indexer;
    try {
        indexer = std::thread(keepLeft);
    } catch (const std::system_error&) {
        keepLeft();
    }
    for (int i = 0; i + half < m_nR; ++i) {
        const long k = slot(halves.firstRight[i], halves.secondRight[i + half]);
        if (k >= 0) right[i] = static_cast<Key>(pair[k] + kBias);
    }
    try {
        gram.right.Keep(std::move(right), n);
    } catch (...) {
        if (indexer.joinable()) indexer.join();
        throw;
    }
    if (indexer.joinable()) indexer.join();
    if (failure) std::rethrow_exception(failure);
}

// Numbers the places without a table of pairs: the places are taken group
// by group of their first half (the left ones in the order of its index,
// the right ones sorted into such groups), and within a group each second
// half gets a number the first time it is met. The second halves are
// gathered into the groups' order in one pass in text order, and the
// numbers scattered back to the places afterwards: stores at random places
// do not hold the processor up as reads at random places do.
void CTextDiff::Matcher::NumberPairsByGroup(const GramHalves& halves, std::vector<int>& left,
                                            std::vector<int>& right, int& count, std::vector<int>& spare) {
    const int half = halves.half;
    const int firstKeys = halves.firstKeys;
    const OccIndex& firstIndex = halves.firstIndex;
    std::vector<uint8_t> firstFrequent(firstKeys), secondFrequent(halves.secondKeys);
    for (int f = 0; f < firstKeys; ++f) firstFrequent[f] = GramHalves::Frequent(firstIndex, f);
    for (int s = 0; s < halves.secondKeys; ++s) secondFrequent[s] = GramHalves::Frequent(halves.secondIndex, s);
    auto frequentSecond = [&](int s) { return s >= 0 && secondFrequent[s]; };
    // Per place of the first half's index, the second half that follows it
    // (-1: none or not frequent); then its number.
    std::vector<int> leftSeconds(firstIndex.pos.size(), -1);
    {
        std::vector<int> fill(firstIndex.start.begin(), firstIndex.start.end() - 1);
        for (int j = 0; j + half < m_nL; ++j) {
            const int f = halves.firstLeft[j];
            if (f < 0) continue;
            const int s = halves.secondLeft[j + half];
            leftSeconds[fill[f]++] = frequentSecond(s) ? s : -1;
        }
    }
    // Right places of two frequent halves, by first half, with their second
    // halves (then their numbers).
    std::vector<int> rightStart(static_cast<size_t>(firstKeys) + 1, 0);
    std::vector<int> rightPos, rightSeconds;
    {
        auto both = [&](int i) { return firstFrequent[halves.firstRight[i]] && frequentSecond(halves.secondRight[i + half]); };
        for (int i = 0; i + half < m_nR; ++i)
            if (halves.firstRight[i] >= 0 && both(i)) ++rightStart[halves.firstRight[i] + 1];
        for (int f = 0; f < firstKeys; ++f) rightStart[f + 1] += rightStart[f];
        rightPos.resize(rightStart[firstKeys]);
        rightSeconds.resize(rightStart[firstKeys]);
        std::vector<int> fill(rightStart.begin(), rightStart.end() - 1);
        for (int i = 0; i + half < m_nR; ++i) {
            if (halves.firstRight[i] < 0 || !both(i)) continue;
            const int x = fill[halves.firstRight[i]]++;
            rightPos[x] = i;
            rightSeconds[x] = halves.secondRight[i + half];
        }
    }
    std::vector<int> group(halves.secondKeys, -1), number(halves.secondKeys);
    for (int f = 0; f < firstKeys; ++f) {
        if (!firstFrequent[f]) continue;
        for (int x = firstIndex.start[f]; x < firstIndex.start[f + 1]; ++x) {
            const int second = leftSeconds[x];
            if (second < 0) continue;
            if (group[second] != f) {
                group[second] = f;
                number[second] = count++;
            }
            leftSeconds[x] = number[second];
        }
        for (int x = rightStart[f]; x < rightStart[f + 1]; ++x) {
            const int second = rightSeconds[x];
            rightSeconds[x] = group[second] == f ? number[second] : -1;
        }
    }
    for (int f = 0; f < firstKeys; ++f) {
        if (!firstFrequent[f]) continue;
        for (int x = firstIndex.start[f]; x < firstIndex.start[f + 1]; ++x) left[firstIndex.pos[x]] = leftSeconds[x];
    }
    for (size_t x = 0; x < rightPos.size(); ++x) right[rightPos[x]] = rightSeconds[x];
    spare = std::move(leftSeconds);
}

// The places a look-up of the run at a left place meets on average: the
// sum of the squared counts of the indexed keys over their places.
double CTextDiff::Matcher::PlacesPerLookUp(const OccIndex& index) {
    double squares = 0;
    for (size_t key = 0; key + 1 < index.start.size(); ++key) {
        const double c = index.start[key + 1] - index.start[key];
        squares += c * c;
    }
    return index.pos.empty() ? 0 : squares / static_cast<double>(index.pos.size());
}

void CTextDiff::Matcher::OccIndex::Build(const std::vector<int>& keys, size_t keyCount) {
    std::vector<int> none;
    Build(keys, keyCount, none, none);
}

void CTextDiff::Matcher::OccIndex::Build(const std::vector<int>& keys, size_t keyCount, std::vector<int>& spareStart,
                                         std::vector<int>& sparePos, const std::vector<int>* lines, int length) {
    Build(keys.data(), keys.size(), 0, keyCount, spareStart, sparePos, lines, length);
}

template <class Key>
void CTextDiff::Matcher::OccIndex::Build(const Key* keyAt, size_t m, int bias, size_t keyCount,
                                         std::vector<int>& spareStart, std::vector<int>& sparePos,
                                         const std::vector<int>* lines, int length) {
    // The key of place j (-1 or -2: none).
    auto keys = [keyAt, bias](size_t j) { return static_cast<int>(keyAt[j]) - bias; };
    // A spare list large enough becomes the list; else it goes first, so
    // that the peak is no higher than with fresh lists.
    auto take = [](std::vector<int>& list, std::vector<int>& spare, size_t n) {
        if (spare.capacity() >= n) list = std::move(spare);
        std::vector<int>().swap(spare);
    };
    take(start, spareStart, keyCount + 1);
    ReserveHuge(start, keyCount + 1);
    start.assign(keyCount + 1, 0);
    // With many keys the counts and places are written at random places
    // too far apart for the cache: the place of a key a few places on is
    // asked for ahead, so that the waits for memory overlap.
    constexpr size_t kAhead = 16;
    const bool ahead = keyCount > (size_t{1} << 14);
    for (size_t j = 0; j < m; ++j) {
        if (ahead && j + kAhead < m && keys(j + kAhead) >= 0) __builtin_prefetch(&start[keys(j + kAhead)], 1);
        if (keys(j) >= 0) ++start[keys(j)];
    }
    // start[key] becomes the end of the key's places; placing them from the
    // last down moves it back to their first, with no list of its own.
    for (size_t k = 0; k < keyCount; ++k) start[k + 1] += start[k];
    take(pos, sparePos, start[keyCount]);
    ReserveHuge(pos, start[keyCount]);
    pos.resize(start[keyCount]);
    if (lines) {
        ReserveHuge(around, pos.size());
        around.resize(pos.size());
    }
    const int* line = lines ? lines->data() : nullptr;
    const size_t n = lines ? lines->size() : 0;
    for (size_t j = m; j-- > 0;) {
        if (ahead && j >= kAhead && keys(j - kAhead) >= 0) {
            // Not yet placed, so at least 1.
            const int x = start[keys(j - kAhead)] - 1;
            __builtin_prefetch(&pos[x], 1);
            if (line) __builtin_prefetch(&around[x], 1);
        }
        if (keys(j) < 0) continue;
        const int x = --start[keys(j)];
        pos[x] = static_cast<int>(j);
        if (line)
            around[x] = static_cast<uint8_t>((j + length < n ? Print(line[j + length]) : 0) |
                                             (j > 0 ? Print(line[j - 1]) << 4 : 0));
    }
}
