// Bad input: no crash, no hang, and a sound result.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "convert/ConversionEngine.h"
#include "convert/DelimTokens.h"

TEST(BadInput, UnterminatedTagsStayAsText) {
    EXPECT_EQ(Convert(MakeMacro("[*]", "<*1", Wild()), "[a]"), "<*1");
    EXPECT_EQ(Convert(MakeMacro("x", "<i=3", Wild()), "x"), "<i=3");
    EXPECT_EQ(Convert(MakeMacro("x", "<a=5", Wild()), "x"), "<a=5");
    EXPECT_EQ(Convert(MakeMacro("x", "<a=<i=1>>", Wild()), "x"), "");  // counter, then column 1
    EXPECT_EQ(Convert(MakeMacro("[*]", "<*1?=x?>", Wild()), "[ab]"), "ab");
    EXPECT_EQ(Convert(MakeMacro("[*]", "<*-1:-99999999999:99999999999>", Wild()), "[ab]"), "ab");
}

TEST(BadInput, UnbalancedDelimitersInTheTokenPath) {
    MacroFlags f;
    f.delimParse = true;
    EXPECT_EQ(Convert(MakeMacro("a", "b", f), "((a)"), "((b)");
    EXPECT_EQ(Convert(MakeMacro("a", "b", f), "a)a(a"), "a)a(b");
    EXPECT_EQ(Convert(MakeMacro("a", "b", f), "{{{{a"), "{{{{b");
}

TEST(BadInput, TenMegabyteSingleLine) {
    std::string line;
    line.reserve(10u << 20);
    while (line.size() < (10u << 20)) line += "alpha 12-34-56 beta, (gamma) x ";
    const std::size_t n = line.size();
    const std::size_t units = n / 31;  // the repeated piece has 31 characters

    std::string out = Convert(MakeMacro("beta", "B"), line);
    EXPECT_EQ(out.size(), n - 3 * units);
    out = Convert(MakeMacro("^d-^d-^d", "<^d3>/<^d1>", Wild()), line);
    EXPECT_EQ(out.substr(0, 20), "alpha 56/12 beta, (g");
    out = Convert(MakeMacro("*x*", "[<*1>]", Wild()), line);  // one match: the whole line
    EXPECT_EQ(out.substr(0, 7), "[alpha ");
    MacroFlags delim;
    delim.delimParse = true;
    out = Convert(MakeMacro("gamma", "G", delim), line);
    EXPECT_EQ(out.substr(0, 28), "alpha 12-34-56 beta, (G) x a");
    MacroFlags nocase;
    nocase.matchCase = false;
    out = Convert(MakeMacro("ALPHA", "a", nocase), line);
    EXPECT_EQ(out.substr(0, 2), "a ");
    out = Convert(MakeMacro("^n", "", Wild()), line);  // no break anywhere
    EXPECT_EQ(out.size(), n);

    // Recording instances on the long line stays linear.
    CLibraryList list = OneLibrary({MakeMacro("beta", "B")});
    list.m_Run.nBatchStep = 1;
    list.RunKind = 2;
    CFindRepPreview p;
    CConversionEngine(list).RunLibraryPass(line.substr(0, 2u << 20), p);
    EXPECT_EQ(p.Instances.size(), (2u << 20) / 31);
    EXPECT_LE(p.Instances.back().LineText.size(), 2 * 240u + 4u);
}
