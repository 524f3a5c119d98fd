// A replacement template cut once per pass must give, match after match, what
// the tag procedure gives; where it cannot be sure it must decline.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "EngineTestUtil.h"
#include "convert/ConversionEngine.h"
#include "convert/ReplaceTags.h"
#include "convert/WildMatch.h"

namespace {
// The replacement the full procedure builds from the manager's captures.
std::string FullProcedure(CWildTypeManager& mgr, const std::string& replace) {
    CLibraryList list = OneLibrary({});
    CMacro m = MakeMacro("x", replace, Wild());
    CConversionEngine(list).BuildReplacement(mgr, m, 0);
    return m.Replace;
}

std::string Pick(std::mt19937& rng, const std::vector<std::string>& from, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += from[rng() % from.size()];
    return s;
}
}  // namespace

TEST(ReplaceTemplate, SameAsTheTagProcedureOnRandomTemplatesAndCaptures) {
    // Fragments that make templates plain, tangled or beyond the cut form:
    // unknown cards, ranges, case, substitutions, counters, bare names, symbols.
    const std::vector<std::string> parts = {
        "<^d1>", "<^d2>", "<^d3>", "<^a1>", "<^d0>", "<^d12>", "<^m1>", "<^x1>", "<*1>",
        "*",     "^d",    ".",     "<",     ">",     "<^d1:2>", "<^du1>", "<^d1?1=x>",
        "<i=1>", "<a=9>", "x",     "-",     " ",     "<^d",    "<^d1",   "<^1>", "<^dd1>"};
    const std::vector<std::string> captured = {"1", "22", "abc", "<", ">", "<^d1>", "^d",
                                               "<i=3>", "*", "-", "Z"};
    std::mt19937 rng(7);
    int compiled = 0, declined = 0;
    for (int round = 0; round < 4000; ++round) {
        CWildTypeManager mgr;
        mgr.SetDefaultTypeCards();
        if (round % 5 == 0) {  // a card whose name is a prefix of another's tag
            std::string p = "xyz", a;
            mgr.AddTypeCard(round % 10 == 0 ? "^" : "^dd", p, a, "");
        }
        const std::string replace = Pick(rng, parts, 1 + static_cast<int>(rng() % 5));
        CReplaceTemplate t;
        const bool cut = t.Compile(replace, WildSymbol(mgr), mgr.TypeCards);
        for (int match = 0; match < 4; ++match) {
            mgr.ClearCaptures();
            for (CTypeCard& card : mgr.TypeCards)
                for (int k = static_cast<int>(rng() % 4); k > 0; --k)
                    card.Captures.push_back(Pick(rng, captured, 1 + static_cast<int>(rng() % 2)));
            std::string built;
            if (!cut || !t.Build(mgr.TypeCards, built)) {
                ++declined;
                continue;
            }
            ++compiled;
            ASSERT_EQ(built, FullProcedure(mgr, replace)) << "template " << replace;
        }
    }
    // Both roads were taken often enough to mean something.
    EXPECT_GT(compiled, 1000);
    EXPECT_GT(declined, 1000);
}

TEST(ReplaceTemplate, DeclinesWhatOnlyTheTagProcedureKnows) {
    CWildTypeManager mgr;
    mgr.SetDefaultTypeCards();
    CReplaceTemplate t;
    EXPECT_TRUE(t.Compile("<^d3>.<^d2>.<^d1>", '*', mgr.TypeCards));
    EXPECT_TRUE(t.Compile("no tags at all", '*', mgr.TypeCards));
    for (const char* r : {"", "<^d1:2>", "<^du1>", "<^d1?a=b>", "<i=1>", "<*1>", "a*b",
                          "bare ^d name", "x > y", "<^d-1>", "<^q1>"})
        EXPECT_FALSE(t.Compile(r, '*', mgr.TypeCards)) << r;
    // A captured "<" could form a tag with the text around it.
    ASSERT_TRUE(t.Compile("[<^m1>]", '*', mgr.TypeCards));
    mgr.TypeCards[4].Captures = {"<"};
    std::string out;
    EXPECT_FALSE(t.Build(mgr.TypeCards, out));
    mgr.TypeCards[4].Captures = {"+>"};
    ASSERT_TRUE(t.Build(mgr.TypeCards, out));
    EXPECT_EQ(out, "[+>]");
}

// The whole pass with the date swap, checked against an independent matcher
// on texts full of digit runs, dashes and near misses.
TEST(ReplaceTemplate, DateSwapPassMatchesARegularExpression) {
    const CMacro swap = MakeMacro("^d-^d-^d", "<^d3>.<^d2>.<^d1>", Wild());
    const std::regex re("([0-9]+)-([0-9]+)-([0-9]+)");
    const std::vector<std::string> words = {"2024-01-31", "7-8-9", "1-2", "-3-", "12", "--4-5-6",
                                            "a-b-c", "1-2-3-4-5", "\r\n", " ", "x<", "09-"};
    std::mt19937 rng(3);
    for (int round = 0; round < 300; ++round) {
        const std::string text = Pick(rng, words, 1 + static_cast<int>(rng() % 40));
        ASSERT_EQ(Convert(swap, text), std::regex_replace(text, re, "$3.$2.$1")) << text;
    }
}
