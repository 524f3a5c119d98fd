// The matcher scans a right line only when it can still win the part it is
// in, and replays the scans a line owes when it comes into question. These
// inputs make lines owe scans over many nested parts, leave evaluated lines
// outside the lines a pass visits, and mix lines found once with lines found
// everywhere, so that both kinds of bounds and the change from one to the
// other are used. The runs must be those of the plain procedure.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "DiffTestSupport.h"
#include "ReferenceDiff.h"
#include "compare/TextDiff.h"

namespace {
void ExpectPlainRuns(const std::vector<std::string>& left, const std::vector<std::string>& right,
                     const std::string& what) {
    const RandomPair p{Lines(left), Lines(right)};
    ReferenceDiff ref{CDiffOptions()};
    CTextDiff diff;
    ASSERT_TRUE(diff.Compare(p.left, p.right));
    ASSERT_EQ(Describe(diff.GetRuns()), Describe(ref.Compare(p.left, p.right))) << what;
}

// Source-like text: lines drawn from many texts (each found a few times),
// with blank lines and closing braces (found everywhere) between them.
std::vector<std::string> SourceLike(std::mt19937& rng, int lines, int commonPercent, int texts) {
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<std::string> out;
    for (int k = 0; k < lines; ++k) {
        const int r = percent(rng);
        if (r < commonPercent / 2) out.emplace_back("");
        else if (r < commonPercent) out.emplace_back("}");
        else out.push_back("x = " + std::to_string(rng() % texts) + ";");
    }
    return out;
}

// A copy with lines dropped, changed and inserted at the given rate.
std::vector<std::string> Edit(std::mt19937& rng, const std::vector<std::string>& in,
                              int perThousand, int alphabet) {
    std::uniform_int_distribution<int> r(0, 999);
    std::vector<std::string> out;
    for (const std::string& t : in) {
        const int x = r(rng);
        if (x < perThousand / 3) continue;
        if (x < 2 * perThousand / 3) {
            out.push_back(alphabet > 0 ? "t" + std::to_string(rng() % alphabet) : t + " changed");
            continue;
        }
        if (x < perThousand) out.push_back("new " + std::to_string(rng() % 1000));
        out.push_back(t);
    }
    return out;
}

std::vector<std::string> FewTexts(std::mt19937& rng, int lines, int alphabet) {
    std::vector<std::string> out;
    for (int k = 0; k < lines; ++k) out.push_back("t" + std::to_string(rng() % alphabet));
    return out;
}
}  // namespace

TEST(DiffScanOrder, SourceLikeTextsEditedOrUnrelated) {
    std::mt19937 rng(4242);
    for (int round = 0; round < 24; ++round) {
        const int common = round % 3 == 0 ? 10 : (round % 3 == 1 ? 20 : 30);
        const int texts = round % 2 == 0 ? 100000 : 1500;
        const std::vector<std::string> left = SourceLike(rng, 3000, common, texts);
        // Unrelated texts give many small parts with short runs, so that
        // many lines are scanned and the bounds change kind on the way.
        const std::vector<std::string> right = round % 4 >= 2 ? SourceLike(rng, 3000, common, texts)
                                                              : Edit(rng, left, 4 + 20 * (round % 4), 0);
        ExpectPlainRuns(left, right, "round " + std::to_string(round));
        ExpectPlainRuns(right, left, "swapped round " + std::to_string(round));
    }
}

TEST(DiffScanOrder, FewTextsWithSparseEditsOwingScansOverManyParts) {
    std::mt19937 rng(777);
    for (int round = 0; round < 24; ++round) {
        const int alphabet = 2 + round % 3;
        const std::vector<std::string> left = FewTexts(rng, 4000, alphabet);
        const std::vector<std::string> right = Edit(rng, left, 2 + round % 6 * 4, alphabet);
        ExpectPlainRuns(left, right, "round " + std::to_string(round));
        ExpectPlainRuns(right, left, "swapped round " + std::to_string(round));
    }
}

// Runs that reach the end of their part, and lines right after a run: the
// lines of a part's last run length are not visited by its pass, and the
// lines that were scanned there must keep what they had before.
TEST(DiffScanOrder, ShiftedAndRotatedCopies) {
    std::mt19937 rng(91);
    for (int round = 0; round < 30; ++round) {
        const int alphabet = round % 2 == 0 ? 3 : 60;
        std::vector<std::string> left = FewTexts(rng, 1500, alphabet);
        std::vector<std::string> right = left;
        const int cut = static_cast<int>(rng() % 1500);
        if (round % 3 == 0) std::rotate(right.begin(), right.begin() + cut, right.end());
        else if (round % 3 == 1) right.erase(right.begin(), right.begin() + cut / 4);
        else right.insert(right.begin() + cut, left.begin(), left.begin() + cut / 3);
        right = Edit(rng, right, 3, alphabet);
        ExpectPlainRuns(left, right, "round " + std::to_string(round));
        ExpectPlainRuns(right, left, "swapped round " + std::to_string(round));
    }
}

// Every other line dropped, neighbours swapped, two halves interleaved:
// each part's winner is a run of one line at its start, so the parts nest as
// deep as there are lines and a line scanned late owes the passes of every
// part above it.
namespace {
std::vector<std::string> Numbered(int n) {
    std::vector<std::string> out;
    for (int k = 0; k < n; ++k) out.push_back("line " + std::to_string(k));
    return out;
}

std::vector<std::vector<std::string>> DeepShapes(const std::vector<std::string>& left) {
    const int n = static_cast<int>(left.size());
    std::vector<std::string> half, swapped, interleaved;
    for (int k = 0; k < n; k += 2) half.push_back(left[k]);
    for (int k = 0; k + 1 < n; k += 2) {
        swapped.push_back(left[k + 1]);
        swapped.push_back(left[k]);
    }
    for (int k = 0; k < n / 2; ++k) {
        interleaved.push_back(left[k]);
        interleaved.push_back(left[n / 2 + k]);
    }
    return {half, swapped, interleaved};
}
}  // namespace

TEST(DiffScanOrder, DeeplyNestedPartsGiveThePlainRuns) {
    std::mt19937 rng(12);
    const std::vector<std::string> left = Numbered(3000);
    const std::vector<std::vector<std::string>> shapes = DeepShapes(left);
    for (size_t k = 0; k < shapes.size(); ++k) {
        ExpectPlainRuns(left, shapes[k], "shape " + std::to_string(k));
        ExpectPlainRuns(shapes[k], left, "swapped shape " + std::to_string(k));
        ExpectPlainRuns(left, Edit(rng, shapes[k], 20, 0), "edited shape " + std::to_string(k));
    }
}

// Large enough that replaying owed scans part by part down such a nesting
// would not finish in any reasonable time; the runs are known without the
// plain procedure: right line k is left line 2k, each a run of its own.
TEST(DiffScanOrder, EveryOtherLineDroppedFromALargeInput) {
    const std::vector<std::string> left = Numbered(200000);
    const std::vector<std::string> half = DeepShapes(left)[0];
    CTextDiff diff;
    ASSERT_TRUE(diff.Compare(Lines(left), Lines(half)));
    const std::vector<CDiffChange>& runs = diff.GetRuns();
    ASSERT_EQ(runs.size(), half.size());
    for (size_t k = 0; k < runs.size(); ++k) {
        ASSERT_EQ(runs[k].rightPos, static_cast<int>(k));
        ASSERT_EQ(runs[k].leftPos, static_cast<int>(2 * k));
        ASSERT_EQ(runs[k].count, 1);
    }
}
