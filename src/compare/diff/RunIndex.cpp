// Indexes of runs of lines: the run index stage of the matcher. Takes the
// numbered lines (m_L, m_R) and their left places (m_Single); gives, level
// by level, a key for the run of 2, 4, 8, 12, 16, 24 or 32 lines that
// starts at each place, and the left places of each key (m_Grams), so that
// a scan looks a long run up by a rare key rather than by its lines.
#include <type_traits>
#include <utility>

#include "compare/diff/InParts.h"
#include "compare/diff/Matcher.h"

using textdiff::BesideWork;
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
// Where the level below was passed over, the runs are numbered from their
// lines.
void CTextDiff::Matcher::BuildGramLevel(int level, Gram& gram) const {
    if (Skipped(kFirst[level])) {
        // Each line's place among the frequent lines (-1: not frequent);
        // a run is indexed where all its lines are frequent.
        std::vector<int> dense(m_nKeys, -1);
        int frequent = 0;
        for (int key = 0; key < m_nKeys; ++key)
            if (GramHalves::Frequent(m_Single, key)) dense[key] = frequent++;
        // (No more than kPairTable keys: the level below is passed over
        // only then.)
        int keys = 1;
        for (int k = 0; k < kGramLength[level]; ++k) keys *= frequent;
        if (keys + 2 <= UINT16_MAX) NumberRunsOfLines<uint16_t>(dense, frequent, keys, level, gram);
        else NumberRunsOfLines<int>(dense, frequent, keys, level, gram);
        return;
    }
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
    // Few frequent halves: a table of all their pairs numbers the places in
    // one pass over each input, in order (the grouping reads the places of
    // each first half across the whole input, one cache miss each). Where
    // the pairs are so few that their keys fit in two bytes, the keys are
    // written as the level keeps them.
    long firstFew = 0, secondFew = 0;
    for (int key = 0; key < halves.firstKeys; ++key) firstFew += GramHalves::Frequent(firstIndex, key);
    for (int key = 0; key < halves.secondKeys; ++key) secondFew += GramHalves::Frequent(secondIndex, key);
    if (firstFew * secondFew + 2 <= UINT16_MAX) {
        NumberPairsByTable<uint16_t>(halves, level, gram);
    } else if (firstFew * secondFew <= kPairTable) {
        NumberPairsByTable<int>(halves, level, gram);
    } else {
        UnsetList<int> left, right;
        ReserveHuge(left, m_nL);
        ReserveHuge(right, m_nR);
        left.assign(m_nL, -1);
        right.assign(m_nR, -2);
        // The grouping's own list of places holds the index's places.
        std::vector<int> noStart;
        UnsetList<int> spare;
        int count = 0;
        NumberPairsByGroup(halves, left, right, count, spare);
        gram.index.Build(left.data(), left.size(), 0, count, noStart, spare, &m_L, kGramLength[level]);
        gram.left.Keep(std::move(left), count);
        gram.right.Keep(std::move(right), count);
    }
}

// A level costs a pass over both inputs and its own memory, so it is built
// only once the look-ups it would have served, since the level below was
// built, have stepped over an eighth as many places as there are lines (a
// step is a read at a random place, a level a pass in order). Where the
// runs of the level below have no more than a few hundred places on
// average, a look-up steps over a few places more without the level (the
// run of that level that ends the wanted run is read beside the key's, in
// order): less than the level costs.
//
// Where a run of two lines would still have more than an eighth of the
// places on average (lines drawn from two texts, or from a few of which
// one or two make up most), the level of pairs is passed over: a look-up
// by a pair steps over as many places as one by a line there, and the
// memory of a third of the levels is spared. The runs of four lines are
// then numbered from the lines themselves.
bool CTextDiff::Matcher::LevelBuilt(int level) {
    if (m_nStepsWanting < LevelSteps()) {
        m_nWantingFrom = m_nLookupSteps;
        return false;
    }
    int below = level - 1;
    while (Skipped(below)) --below;
    if (PlacesPerLookUp(Index(below)) <= 32 * kFewPlaces) {
        m_bLevelsDone = true;
        return false;
    }
    if (level == 1 && kFirst[2] == 1 && kSecond[2] == 1) {
        const double share = PlacesPerLookUp(m_Single) / m_nL;
        long frequent = 0;
        for (int key = 0; key < m_nKeys; ++key) frequent += GramHalves::Frequent(m_Single, key);
        long keys = 1;
        for (int k = 0; k < kGramLength[2] && keys <= kPairTable; ++k) keys *= frequent;
        if (share * share > 1.0 / 8 && keys <= kPairTable) {
            m_Grams.emplace_back();
            ++level;
        }
    }
    Gram gram;
    BuildGramLevel(level, gram);
    // A level whose runs are hardly rarer than those below: longer runs
    // would be no rarer either.
    if (3 * PlacesPerLookUp(gram.index) > 2 * PlacesPerLookUp(Index(below))) m_bLevelsDone = true;
    m_Grams.push_back(std::move(gram));
    m_nStepsWanting = 0;
    m_nWantingFrom = -1;
    return true;
}

// Numbers the places through a table of all pairs of frequent halves, and
// keeps the level's keys and left index in gram. A pair's key is its place
// in the table (a pair found nowhere on the left has no places).
template <class Key>
void CTextDiff::Matcher::NumberPairsByTable(const GramHalves& halves, int level, Gram& gram) const {
    // Each half's row (or column) in the table, by its key + 2; the last
    // one, past the frequent halves, where it is not frequent or none.
    auto dense = [](const OccIndex& index, int keys, std::vector<int>& at) {
        at.assign(static_cast<size_t>(keys) + 2, 0);
        int n = 0;
        for (int key = 0; key < keys; ++key)
            if (GramHalves::Frequent(index, key)) at[key + 2] = n++;
        for (int key = -2; key < keys; ++key)
            if (key < 0 || !GramHalves::Frequent(index, key)) at[key + 2] = n;
        return n;
    };
    const int half = halves.half;
    std::vector<int> firstAt, secondAt;
    const int firstFew = dense(halves.firstIndex, halves.firstKeys, firstAt);
    const int secondFew = dense(halves.secondIndex, halves.secondKeys, secondAt);
    const int keys = firstFew * secondFew;
    // By key + 2: the first half's row times the row's length, the second
    // half's column; -1 where it is not frequent, so that a pair with such
    // a half comes out below 0.
    for (int& a : firstAt) a = a == firstFew ? -1 : a * secondFew;
    for (int& b : secondAt) b = b == secondFew ? -1 : b;
    // Calls pairs(at, n, ...) with a reader at(j) of the key of the pair
    // from each place j below n (keys where either half is not frequent).
    auto withPairs = [&](const KeyList& firstList, const KeyList& secondList, int n, auto&& pairs) {
        firstList.Raw([&](const auto* first, int firstBias) {
            secondList.Raw([&](const auto* second, int secondBias) {
                const int* row = firstAt.data() + 2 - firstBias;
                const int* column = secondAt.data() + 2 - secondBias;
                const auto* next = second + half;
                pairs([=](int j) {
                    const int a = row[first[j]], b = column[next[j]];
                    return (a | b) < 0 ? keys : a + b;
                }, std::max(0, n - half));
            });
        });
    };
    // Each place indexed has a first half indexed.
    NumberRuns<Key>(keys, halves.firstIndex.pos.size(), level, gram, [&](bool leftSide, auto&& runs) {
        if (leftSide) withPairs(halves.firstLeft, halves.secondLeft, m_nL, runs);
        else withPairs(halves.firstRight, halves.secondRight, m_nR, runs);
    });
}

namespace {
// start[key] becomes where the places of key begin (then their total, which
// is given), from the counts of its places in the earlier and the later half
// of the left input; early and late become where the next place of each
// half goes.
int StartPlaces(std::vector<int>& start, std::vector<int>& early, std::vector<int>& late, int keys) {
    start.resize(static_cast<size_t>(keys) + 1);
    int total = 0;
    for (int key = 0; key < keys; ++key) {
        start[key] = total;
        const int e = early[key], l = late[key];
        early[key] = total;
        late[key] = total + e;
        total += e + l;
    }
    start[keys] = total;
    return total;
}
}  // namespace

// Keeps in gram the keys (below keys) of the runs of the level's length
// from each place, and the left index: withRuns(left, runs) calls runs(at,
// n) with a reader at(j) of the key of the run from each place j below n
// of that side (keys where it is not indexed). The left places are
// numbered and counted, the earlier and the later half of the left input
// each on a thread of its own; then the places are put into the index,
// each half again on a thread of its own, while the right places are
// numbered beside them (they only read the counts). Keys are kept as Key, with -2 and -1 as 0
// and 1 where that is two bytes.
template <class Key, class WithRuns>
void CTextDiff::Matcher::NumberRuns(int keys, size_t places, int level, Gram& gram, WithRuns&& withRuns) const {
    constexpr int kBias = sizeof(Key) < sizeof(int) ? 2 : 0;
    const int length = kGramLength[level];
    UnsetList<Key> left, right;
    ReserveHuge(left, m_nL);
    ReserveHuge(right, m_nR);
    left.resize(m_nL);
    right.resize(m_nR);
    // The places of each key in the earlier and in the later half of the
    // left input (the last slot: not indexed).
    const int midL = m_nL / 2;
    std::vector<int> early(static_cast<size_t>(keys) + 1, 0), late(static_cast<size_t>(keys) + 1, 0);
    // The system clears fresh memory as it is first written to: the lists
    // of the index (as long as its places can be) and of the right keys
    // are first written to on two threads of their own while the left
    // places are numbered.
    OccIndex& index = gram.index;
    auto touch = [](void* list, size_t bytes) {
        for (size_t b = 0; b < bytes; b += 4096) static_cast<char*>(list)[b] = 0;
    };
    BesideWork preparer([&] {
        ReserveHuge(index.pos, places);
        index.pos.resize(places);
        touch(index.pos.data(), places * sizeof(int));
    });
    BesideWork otherPreparer([&] {
        ReserveHuge(index.around, places);
        index.around.resize(places);
        touch(index.around.data(), places);
        touch(right.data(), right.size() * sizeof(Key));
    });
    withRuns(true, [&](auto runAt, int n) {
        Key* out = left.data();
        auto number = [&](int from, int to, int* counts) {
            for (int j = from; j < to; ++j) {
                const int key = runAt(j);
                out[j] = static_cast<Key>((key == keys ? -1 : key) + kBias);
                ++counts[key];
            }
        };
        BesideWork laterPlaces([&] { number(std::min(n, midL), n, late.data()); });
        number(0, std::min(n, midL), early.data());
        for (int j = n; j < m_nL; ++j) out[j] = static_cast<Key>(kBias - 1);
        laterPlaces.Join();
        early[keys] = late[keys] = 0;
    });
    preparer.Join();
    otherPreparer.Join();
    const int total = StartPlaces(index.start, early, late, keys);
    index.pos.resize(total);
    index.around.resize(total);
    // The right key of each pair: -1 where it is nowhere on the left, -2
    // where it is not indexed.
    std::vector<Key> rightKey(static_cast<size_t>(keys) + 1);
    for (int key = 0; key < keys; ++key)
        rightKey[key] = static_cast<Key>((index.start[key] == index.start[key + 1] ? -1 : key) + kBias);
    rightKey[keys] = static_cast<Key>(kBias - 2);
    auto numberRight = [&](int from, int to) {
        withRuns(false, [&](auto runAt, int n) {
            const Key* keyOf = rightKey.data();
            Key* out = right.data();
            for (int i = from; i < std::min(to, n); ++i) out[i] = keyOf[runAt(i)];
            for (int i = std::max(from, n); i < to; ++i) out[i] = static_cast<Key>(kBias - 2);
        });
    };
    const int midR = m_nR / 2;
    const bool ahead = keys > (1 << 14);
    BesideWork laterHalf([&] {
        index.Place(left.data(), midL, m_nL, kBias, late.data(), ahead, m_L, length);
        numberRight(midR, m_nR);
    });
    index.Place(left.data(), 0, midL, kBias, early.data(), ahead, m_L, length);
    numberRight(0, midR);
    laterHalf.Join();
    gram.left.Keep(std::move(left), keys);
    gram.right.Keep(std::move(right), keys);
}

// Numbers the places by their lines: the key of a run is the number whose
// digits (base frequent) are the places of its lines among the frequent
// lines.
template <class Key>
void CTextDiff::Matcher::NumberRunsOfLines(const std::vector<int>& dense, int frequent, int keys, int level,
                                           Gram& gram) const {
    const int length = kGramLength[level];
    NumberRuns<Key>(keys, m_nL, level, gram, [&](bool leftSide, auto&& runs) {
        const int* lines = leftSide ? m_L.data() : m_R.data();
        const int n = leftSide ? m_nL : m_nR;
        const int* at = dense.data();
        runs([=](int j) {
            int key = 0;
            for (int k = 0; k < length; ++k) {
                const int d = at[lines[j + k]];
                if (d < 0) return keys;
                key = key * frequent + d;
            }
            return key;
        }, std::max(0, n - length + 1));
    });
}

// Numbers the places without a table of pairs: the places are taken group
// by group of their first half (the left ones in the order of its index,
// the right ones sorted into such groups), and within a group each second
// half gets a number the first time it is met. The second halves are
// gathered into the groups' order in one pass in text order, and the
// numbers scattered back to the places afterwards: stores at random places
// do not hold the processor up as reads at random places do.
void CTextDiff::Matcher::NumberPairsByGroup(const GramHalves& halves, UnsetList<int>& left,
                                            UnsetList<int>& right, int& count, UnsetList<int>& spare) const {
    const int half = halves.half;
    const int firstKeys = halves.firstKeys;
    const OccIndex& firstIndex = halves.firstIndex;
    std::vector<uint8_t> firstFrequent(firstKeys), secondFrequent(halves.secondKeys);
    for (int f = 0; f < firstKeys; ++f) firstFrequent[f] = GramHalves::Frequent(firstIndex, f);
    for (int s = 0; s < halves.secondKeys; ++s) secondFrequent[s] = GramHalves::Frequent(halves.secondIndex, s);
    auto frequentSecond = [&](int s) { return s >= 0 && secondFrequent[s]; };
    // Per place of the first half's index, the second half that follows it
    // (-1: none or not frequent); then its number.
    UnsetList<int> leftSeconds(firstIndex.pos.size(), -1);
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

// Few keys of many places: the places are counted in the earlier and the
// later half of the input while the list of places is first written to on
// a thread of its own, then each half is put in order on a thread of its
// own.
void CTextDiff::Matcher::OccIndex::Build(const std::vector<int>& keys, size_t keyCount) {
    const size_t m = keys.size();
    if (m < (size_t{1} << 16) || keyCount * 16 > m) {
        std::vector<int> noStart;
        UnsetList<int> noPos;
        Build(keys, keyCount, noStart, noPos);
        return;
    }
    std::vector<int> late(keyCount + 1, 0);
    start.assign(keyCount + 1, 0);
    BesideWork preparer([&] {
        ReserveHuge(pos, m);
        pos.resize(m);
        for (size_t b = 0; b < m * sizeof(int); b += 4096) reinterpret_cast<char*>(pos.data())[b] = 0;
    });
    const size_t mid = m / 2;
    const int* key = keys.data();
    int* early = start.data();
    for (size_t j = 0; j < mid; ++j)
        if (key[j] >= 0) ++early[key[j]];
    for (size_t j = mid; j < m; ++j)
        if (key[j] >= 0) ++late[key[j]];
    preparer.Join();
    // start[key] becomes where its places begin, late where the later
    // half's go, fill where the earlier half's go.
    int total = 0;
    for (size_t k = 0; k < keyCount; ++k) {
        const int e = start[k], l = late[k];
        start[k] = total;
        late[k] = total + e;
        total += e + l;
    }
    start[keyCount] = total;
    pos.resize(total);
    std::vector<int> fill(start);
    auto place = [&](size_t from, size_t to, int* next) {
        int* places = pos.data();
        for (size_t j = from; j < to; ++j)
            if (key[j] >= 0) places[next[key[j]]++] = static_cast<int>(j);
    };
    BesideWork laterHalf([&] { place(mid, m, late.data()); });
    place(0, mid, fill.data());
    laterHalf.Join();
}

void CTextDiff::Matcher::OccIndex::Build(const std::vector<int>& keys, size_t keyCount, std::vector<int>& spareStart,
                                         UnsetList<int>& sparePos, const std::vector<int>* lines, int length) {
    Build(keys.data(), keys.size(), 0, keyCount, spareStart, sparePos, lines, length);
}

template <class Key>
void CTextDiff::Matcher::OccIndex::Build(const Key* keyAt, size_t m, int bias, size_t keyCount,
                                         std::vector<int>& spareStart, UnsetList<int>& sparePos,
                                         const std::vector<int>* lines, int length) {
    // The key of place j (-1 or -2: none).
    auto keys = [keyAt, bias](size_t j) { return static_cast<int>(keyAt[j]) - bias; };
    // A spare list large enough becomes the list; else it goes first, so
    // that the peak is no higher than with fresh lists.
    auto take = [](auto& list, auto& spare, size_t n) {
        if (spare.capacity() >= n) list = std::move(spare);
        std::remove_reference_t<decltype(spare)>().swap(spare);
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

template <class Key>
void CTextDiff::Matcher::OccIndex::Place(const Key* keyAt, size_t from, size_t to, int bias, int* fill, bool ahead,
                                         const std::vector<int>& lines, int length) {
    // With many keys the places are written at random places too far apart
    // for the cache: the place of a key a few places on is asked for ahead.
    constexpr size_t kAhead = 16;
    const int* line = lines.data();
    const size_t n = lines.size();
    int* places = pos.data();
    uint8_t* prints = around.data();
    for (size_t j = from; j < to; ++j) {
        if (ahead && j + kAhead < to) {
            const int next = static_cast<int>(keyAt[j + kAhead]) - bias;
            if (next >= 0) {
                __builtin_prefetch(places + fill[next], 1);
                __builtin_prefetch(prints + fill[next], 1);
            }
        }
        const int key = static_cast<int>(keyAt[j]) - bias;
        if (key < 0) continue;
        const int x = fill[key]++;
        places[x] = static_cast<int>(j);
        prints[x] = static_cast<uint8_t>((j + length < n ? Print(line[j + length]) : 0) |
                                         (j > 0 ? Print(line[j - 1]) << 4 : 0));
    }
}
