// Delimiter tokens, the wild-card matcher's edge cases and template pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "EngineTestUtil.h"
#include "convert/ConversionEngine.h"
#include "convert/DelimTokens.h"
#include "convert/PassOutput.h"
#include "convert/ReplaceTags.h"
#include "convert/WildMatch.h"
#include "model/KeyValue.h"

namespace {
std::vector<std::string> Texts(const std::vector<CFindRepRecord>& t) {
    std::vector<std::string> out;
    for (const auto& r : t) out.push_back(r.Text);
    return out;
}

std::vector<CMacroTokenDelim> Single(const std::string& d) { return {CMacroTokenDelim(1, d, "")}; }
std::vector<CMacroTokenDelim> Pair(const std::string& b, const std::string& e) {
    return {CMacroTokenDelim(0, b, e)};
}

// Runs the matcher once from position 0 with a default library.
bool Match(const std::string& pattern, const std::string& text, std::string& found,
           std::size_t& pos, MacroFlags f = Wild(), std::size_t from = 0) {
    CWildTypeManager mgr;
    mgr.SetDefaultTypeCards();
    CMacro m = MakeMacro(pattern, "", f);
    WildPattern wp = CompileWildPattern(pattern, mgr);
    WildPattern rev = ReverseWildPattern(wp);
    WildContext ctx;
    ctx.floor = from;
    ctx.atTextStart = from == 0;
    ctx.lfBefore = from > 0 && text[from - 1] == '\n';
    ctx.pattern = &wp;
    ctx.reversed = &rev;
    CLibraryList list = OneLibrary({});
    std::string shadow = f.matchCase ? "" : ToLowerText(text);
    pos = from;
    if (!CConversionEngine(list).WildFind(mgr, m, text, shadow, pos, ctx)) return false;
    found = m.Find;
    return true;
}
}  // namespace

TEST(DelimTokens, SinglesPairsAndNesting) {
    std::vector<CFindRepRecord> t;
    TokenizeByDelimiters("a,b,c", Single(","), t, true, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(t[1].Position, 2);
    EXPECT_EQ(t[0].Kind, 1);

    TokenizeByDelimiters("x(y)z", Pair("(", ")"), t, true, true);
    ASSERT_EQ(Texts(t), (std::vector<std::string>{"(y)"}));
    EXPECT_EQ(t[0].Position, 1);
    EXPECT_EQ(t[0].Kind, 2);
    TokenizeByDelimiters("x(y)z", Pair("(", ")"), t, false, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"x", "(y)", "z"}));
    EXPECT_EQ(t[2].Position, 4);
    TokenizeByDelimiters("x(y)z", Pair("(", ")"), t, false, false);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"x", "y", "z"}));

    TokenizeByDelimiters("{a{b}c}", Pair("{", "}"), t, true, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"{a{b}c}"}));
    TokenizeByDelimiters("(a(b)c)d", Pair("(", ")"), t, false, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"(a(b)c)", "d"}));
    TokenizeByDelimiters("|a|b", Pair("|", "|"), t, true, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"|a|"}));
    TokenizeByDelimiters("a,,b", Single(","), t, true, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"a"}));
    TokenizeByDelimiters("plain", Single(","), t, true, true);
    EXPECT_TRUE(t.empty());
    TokenizeByDelimiters("", Single(","), t, false, true);
    EXPECT_TRUE(t.empty());
}

TEST(DelimTokens, UnbalancedAndUnterminatedBlocks) {
    std::vector<CFindRepRecord> t;
    TokenizeByDelimiters("(a", Pair("(", ")"), t, true, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"(a"}));
    TokenizeByDelimiters("a)b(c(d)", DefaultDelimList(), t, true, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"(c(d)"}));
    TokenizeByDelimiters("((((", Pair("(", ")"), t, true, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"(((("}));
    // Earliest delimiter wins; ties go to the first in the list.
    std::vector<CMacroTokenDelim> both = {CMacroTokenDelim(1, ":", ""), CMacroTokenDelim(0, ":", ";")};
    TokenizeByDelimiters("a:b;c", both, t, true, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"a"}));  // "b;c" follows the last delimiter
    // A later delimiter must end before the best one so far: "a:" starts
    // before ":" but overlaps it, so ":" wins.
    std::vector<CMacroTokenDelim> overlap = {CMacroTokenDelim(1, ":", ""),
                                             CMacroTokenDelim(1, "a:", "")};
    std::size_t len = 0;
    int kind = 0;
    EXPECT_EQ(FindEarliestDelimiter("xa:", overlap, 0, len, kind), 2);
    EXPECT_EQ(len, 1u);
    TokenizeByDelimiters("xa:b:", overlap, t, true, true);
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"xa", "b"}));
    std::vector<CMacroTokenDelim> apart = {CMacroTokenDelim(1, ":", ""),
                                           CMacroTokenDelim(1, "ab", "")};
    EXPECT_EQ(FindEarliestDelimiter("xab:", apart, 0, len, kind), 1);
    EXPECT_EQ(len, 2u);
}

TEST(WildMatcher, EdgeCasesOfTheMatcher) {
    std::string f;
    std::size_t p;
    ASSERT_TRUE(Match("*a", "xxa", f, p));
    EXPECT_EQ(f, "xxa");
    ASSERT_TRUE(Match("a*", "abc\r\nmore", f, p));
    EXPECT_EQ(f, "abc");
    ASSERT_TRUE(Match("a*c", "a1c2c", f, p));
    EXPECT_EQ(f, "a1c");
    MacroFlags min = Wild();
    min.compConst = true;
    ASSERT_TRUE(Match("a*c", "a a c", f, p, min));
    EXPECT_EQ(f, "a c");
    EXPECT_EQ(p, 2u);
    ASSERT_TRUE(Match("^d", "12ab", f, p));
    EXPECT_EQ(f, "12");
    EXPECT_FALSE(Match("^d", "ab", f, p));
    // A leading wild-card searched from the middle of the last line finds nothing.
    EXPECT_FALSE(Match("*b", "ab\r\nxxb", f, p, Wild(), 5));
    MacroFlags perLine = Wild();
    perLine.perLine = true;
    EXPECT_FALSE(Match("a*b", "a\r\nb", f, p, perLine));
    ASSERT_TRUE(Match("a*b", "a\r\nb", f, p));
    EXPECT_EQ(f, "a\r\nb");
    ASSERT_TRUE(Match("**", "one\r\ntwo", f, p));
    EXPECT_EQ(f, "one\r\ntwo");
    // The doubled symbol takes the whole text from 0 whatever the search position.
    ASSERT_TRUE(Match("**", "one\r\ntwo", f, p, Wild(), 4));
    EXPECT_EQ(f, "one\r\ntwo");
    EXPECT_EQ(p, 0u);
    // "^n" takes blanks only where a line break follows them.
    ASSERT_TRUE(Match("^n", "ab  \r\ncd", f, p));
    EXPECT_EQ(f, "  \r\n");
    EXPECT_FALSE(Match("^n", "ab  ", f, p));
}

TEST(WildMatcher, TypeCardTest) {
    WildCardTable card;
    card.primary['\n'] = true;
    card.aux[' '] = true;
    card.hasAux = true;
    EXPECT_TRUE(IsTypeCardCharAt(" \nx", 0, card));
    EXPECT_FALSE(IsTypeCardCharAt(" \n", 0, card));  // the deciding break is the last character
    EXPECT_FALSE(IsTypeCardCharAt("  x", 0, card));
    EXPECT_EQ(FindTypeCardStart("ab  c \nq", 0, card), 5u);
    EXPECT_EQ(GrabTypeCard("  \n \nq", 0, card), 5u);
}

TEST(TemplatePieces, NumbersRangesAndCase) {
    std::string x = "--3x";
    EXPECT_EQ(ParseSignedNumber(0, x), 0);
    EXPECT_EQ(x, "x");
    x = "12-3y";
    EXPECT_EQ(ParseSignedNumber(0, x), 12);
    EXPECT_EQ(x, "y");
    x = "99999999999999999999";
    EXPECT_EQ(ParseSignedNumber(0, x), 2147483647);
    EXPECT_EQ(ToProperText(""), "");
    EXPECT_EQ(ToProperText("mIXED case"), "Mixed case");
    std::string tag = "a?5#3b";
    EXPECT_EQ(ExtractTagNumber(tag, '?'), "5");
    EXPECT_EQ(tag, "a#3b");
    // A piece that holds the tag itself does not loop.
    EXPECT_EQ(ApplyReplaceTags("<*1><*1>", "*", {"<*1>"}, CMacro("", ""), nullptr), "<*1><*1>");
    EXPECT_EQ(FillWildSymbolsInOrder("* and *", "*", {"*", "b", "c"}), "* and b");
    EXPECT_EQ(FillWildSymbolsInOrder("[*]", "*", {}), "[*]");
    // Substitutions with a line feed code.
    MacroFlags plain;
    CMacro applied = MakeMacro("", "", plain);
    CLibraryList list = OneLibrary({});
    MacroApplier apply = [&](std::string& t, const CMacro& m) {
        CFindRepPreview p;
        p.NoInstances = 1;
        CConversionEngine(list).RunMacro("", t, m, p);
    };
    EXPECT_EQ(ApplyReplaceTags("<*1?^n=;>", "*", {"a\nb\nc"}, applied, apply), "a;b;c");
    EXPECT_EQ(ApplyReplaceTags("<*1u?x=y>", "*", {"axa"}, applied, apply), "AYA");
}

namespace {
// Alignment tags the plain way: each tag looks back from its place for the
// line's start and for the word a right-aligning fill goes in front of.
long AlignByLookingBack(std::string& text, std::size_t from, std::size_t to, std::size_t& firstChange) {
    long total = 0;
    std::size_t pos = from;
    while (pos <= to) {
        const std::size_t pa = text.find("<a=", pos), pA = text.find("<A=", pos);
        const std::size_t p = std::min(pa, pA);
        if (p == std::string::npos || p > to) break;
        const std::size_t q = text.find('>', p);
        std::string inner = q == std::string::npos ? std::string() : text.substr(p + 3, q - p - 3);
        if (q == std::string::npos || inner.find('<') != std::string::npos) {
            pos = p + 1;
            continue;
        }
        std::string fill;
        const std::size_t h = inner.find('?');
        if (h != std::string::npos && h > 0 && h + 1 < inner.size()) {
            fill = inner.substr(h + 1, 1);
            inner = inner.substr(0, h);
        }
        std::erase(inner, '?');
        std::erase(fill, '?');
        if (fill.empty()) fill = " ";
        const long long col = std::clamp<long long>(ParseInt(inner), -kMaxTemplateWidth, kMaxTemplateWidth);
        const std::size_t lf = p == 0 ? std::string::npos : text.rfind('\n', p - 1);
        const std::size_t lineStart = lf == std::string::npos ? 0 : lf + 1;
        const long long c = static_cast<long long>(p - lineStart);
        const long long pad = std::max(0LL, col >= 0 ? col - (c + 1) : -col - c % -col);
        const std::size_t at = p == pA ? FindAlignInsertPoint(std::string_view(text).substr(0, p), lineStart) : p;
        text.erase(p, q - p + 1);
        text.insert(at, static_cast<std::size_t>(pad), fill[0]);
        firstChange = std::min(firstChange, pad > 0 ? at : p);
        const long change = static_cast<long>(pad) - static_cast<long>(q - p + 1);
        total += change;
        to = static_cast<std::size_t>(std::max<long>(0, static_cast<long>(to) + change));
        pos = p + 1;
    }
    return total;
}
}  // namespace

TEST(TemplatePieces, AlignmentGivesWhatLookingBackFromEachTagGives) {
    EXPECT_EQ(FindAlignInsertPoint("ab cd", 0), 2u);
    EXPECT_EQ(FindAlignInsertPoint("abcd", 0), 0u);
    EXPECT_EQ(FindAlignInsertPoint("ab cd  ", 0), 2u);
    EXPECT_EQ(FindAlignInsertPoint("x\nab", 2), 2u);
    // A pass's result grows by text it leaves and by replacements whose tags
    // are expanded as they come; the line's state is carried along. Long
    // lines, fills of blanks, of line feeds and of other characters, tags
    // in the text left (found again only where a fill moved them on), and
    // tags that never close.
    const std::vector<std::string> left = {"ab", " ", "   ", "\n", "\r\n", "word", "<a=4>", "<A=3>", "x y"};
    const std::vector<std::string> pieces = {
        "ab", " ", "  ", "\n", "\t", "cd ", "<a=5>", "<A=8>", "<a=-3>", "<A=-4?.>", "<A=6?\n>",
        "<a=3? >", "<A=-2?x>", "<a=", ">", "<A=12>|", "<A=0>", "<A=-5> ", "<a=<A=3>>", "<A=9? >"};
    std::mt19937 rng(5);
    for (int round = 0; round < 400; ++round) {
        std::string plain;
        CPassOutput out;
        AlignLineState line;
        const int steps = 1 + static_cast<int>(rng() % 60);
        for (int k = 0; k < steps; ++k) {
            std::string text;
            for (int w = static_cast<int>(rng() % 4); w > 0; --w) text += left[rng() % left.size()];
            if (rng() % 20 == 0) text += std::string(rng() % 3000, rng() % 2 ? 'z' : ' ');
            plain += text;
            out.append(text);
            std::string piece;
            for (int w = 1 + static_cast<int>(rng() % 5); w > 0; --w) piece += pieces[rng() % pieces.size()];
            const std::size_t from = plain.size();
            plain += piece;
            out.append(piece);
            std::size_t wantFirst = from, gotFirst = from;
            const long want = AlignByLookingBack(plain, from, plain.size(), wantFirst);
            const long got = ExpandAlignTags(out, from, out.size(), line, &gotFirst);
            ASSERT_EQ(got, want) << round << "/" << k;
            ASSERT_EQ(gotFirst, wantFirst) << round << "/" << k;
            ASSERT_EQ(out.size(), plain.size());
            ASSERT_EQ(out.Substr(0), plain) << round << "/" << k;
        }
        ASSERT_EQ(out.Take(), plain);
    }
}
