// Input shapes that make a plain line-by-line matcher slow: blocks of one
// repeated line, short blocks repeated over and over with a rare changed
// line, and few distinct texts. The runs must stay those of the plain
// procedure whichever short cuts the matcher takes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "DiffTestSupport.h"
#include "ReferenceDiff.h"
#include "compare/TextDiff.h"

namespace {
void ExpectSameRunsAsPlainProcedure(const RandomPair& p, const std::string& what) {
    ReferenceDiff ref{CDiffOptions()};
    CTextDiff diff;
    diff.Compare(p.left, p.right);
    ASSERT_EQ(Describe(diff.GetRuns()), Describe(ref.Compare(p.left, p.right))) << what;
}

// Blocks of one line, each block of a random length, drawn from few texts.
std::vector<std::string> BlockTexts(std::mt19937& rng, int lines, int texts, int maxBlock) {
    std::uniform_int_distribution<int> pick(0, texts - 1);
    std::uniform_int_distribution<int> length(1, maxBlock);
    std::vector<std::string> out;
    while (static_cast<int>(out.size()) < lines)
        out.insert(out.end(), length(rng), "t" + std::to_string(pick(rng)));
    out.resize(lines);
    return out;
}

// One short block of numbered lines repeated, with a line of its own now
// and then.
std::vector<std::string> PeriodicTexts(std::mt19937& rng, int lines, int period, int every) {
    std::uniform_int_distribution<int> coin(0, every - 1);
    std::vector<std::string> out;
    for (int k = 0; k < lines; ++k)
        out.push_back(coin(rng) == 0 ? "own " + std::to_string(k) : "line " + std::to_string(k % period));
    return out;
}

// A copy with a few lines dropped, changed or inserted.
std::vector<std::string> Edited(std::mt19937& rng, const std::vector<std::string>& in, int per1000,
                                const std::string& tag) {
    std::uniform_int_distribution<int> r(0, 999);
    std::vector<std::string> out;
    for (size_t k = 0; k < in.size(); ++k) {
        const int x = r(rng);
        if (x < per1000 / 3) continue;
        if (x < 2 * per1000 / 3) {
            out.push_back(in[k] + tag);
            continue;
        }
        if (x < per1000) out.push_back(tag);
        out.push_back(in[k]);
    }
    return out;
}
}  // namespace

TEST(DiffShapes, BlocksOfOneLineGiveThePlainRuns) {
    std::mt19937 rng(101);
    for (int round = 0; round < 30; ++round) {
        const int maxBlock = round % 3 == 0 ? 400 : (round % 3 == 1 ? 40 : 5);
        std::vector<std::string> left = BlockTexts(rng, 2500, 1 + round % 3, maxBlock);
        std::vector<std::string> right =
            round % 4 == 3 ? BlockTexts(rng, 2500, 1 + round % 3, maxBlock) : Edited(rng, left, 20, "x");
        RandomPair p{Lines(left), Lines(right)};
        ExpectSameRunsAsPlainProcedure(p, "round " + std::to_string(round));
        std::swap(p.left, p.right);
        ExpectSameRunsAsPlainProcedure(p, "swapped round " + std::to_string(round));
    }
}

TEST(DiffShapes, OneLineOnBothSidesWithALineInsertedOrChanged) {
    const std::vector<std::string> same(3000, "same");
    std::vector<std::string> inserted = same;
    inserted.insert(inserted.begin() + 1500, "inserted");
    std::vector<std::string> changed = same;
    changed[1000] = "changed";
    std::vector<std::string> shorter(same.begin(), same.end() - 7);
    const std::vector<std::vector<std::string>> others = {inserted, changed, shorter, same};
    for (size_t k = 0; k < others.size(); ++k) {
        ExpectSameRunsAsPlainProcedure({Lines(same), Lines(others[k])}, "right " + std::to_string(k));
        ExpectSameRunsAsPlainProcedure({Lines(others[k]), Lines(same)}, "left " + std::to_string(k));
    }
}

// Many diagonals of a repeated block agree for hundreds of lines; past some
// work the matcher reads the equal lines from a sorted order of the inputs'
// suffixes instead of walking them.
TEST(DiffShapes, RepeatedBlocksWithRareOwnLinesGiveThePlainRuns) {
    std::mt19937 rng(202);
    const int periods[] = {1, 2, 7, 50};
    for (int round = 0; round < 16; ++round) {
        const int period = periods[round % 4];
        const int every = round < 8 ? 300 : 40;
        std::vector<std::string> left = PeriodicTexts(rng, 3000, period, every);
        std::vector<std::string> right =
            round % 5 == 4 ? PeriodicTexts(rng, 3000, period, every) : Edited(rng, left, 5, "edit");
        RandomPair p{Lines(left), Lines(right)};
        ExpectSameRunsAsPlainProcedure(p, "round " + std::to_string(round));
        std::swap(p.left, p.right);
        ExpectSameRunsAsPlainProcedure(p, "swapped round " + std::to_string(round));
    }
}

// Large enough that a matcher walking every diagonal line by line would not
// finish in any reasonable time; the result is known without the plain
// procedure.
TEST(DiffShapes, LargeInputsOfOneLine) {
    const int n = 200000;
    std::vector<std::string> same(n, "same");
    std::vector<std::string> inserted = same;
    inserted.insert(inserted.begin() + n / 2, "inserted");
    {
        CTextDiff diff;
        diff.Compare(Lines(same), Lines(inserted));
        std::string report;
        ASSERT_TRUE(diff.ListChanges(true, report));
        EXPECT_EQ(Unix(report), "1. Added to right:\n------------------\n+ 100001 inserted\n");
    }
    {
        CTextDiff diff;
        diff.Compare(Lines(inserted), Lines(same));
        std::string report;
        ASSERT_TRUE(diff.ListChanges(true, report));
        EXPECT_EQ(Unix(report), "1. Deleted from left:\n---------------------\nx 100001 inserted\n");
    }
}
