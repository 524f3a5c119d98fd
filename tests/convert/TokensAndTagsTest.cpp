// Delimiter tokens, the wild-card matcher's edge cases and template pieces.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "convert/ConversionEngine.h"
#include "convert/DelimTokens.h"
#include "convert/ReplaceTags.h"
#include "convert/WildMatch.h"

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

TEST(TemplatePieces, AlignInsertPoint) {
    EXPECT_EQ(FindAlignInsertPoint("ab cd", 0), 2u);
    EXPECT_EQ(FindAlignInsertPoint("abcd", 0), 0u);
    EXPECT_EQ(FindAlignInsertPoint("ab cd  ", 0), 2u);
    EXPECT_EQ(FindAlignInsertPoint("x\nab", 2), 2u);
}
