// Golden tables: text in, macro, text out, on the plain and the wild paths.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "EngineTestUtil.h"
#include "../support/TempDir.h"
#include "model/LibraryFile.h"
#include "support/RunProgram.h"
#include "convert/ConversionEngine.h"

namespace {
struct Case {
    const char* name;
    std::string find, rep;
    MacroFlags flags;
    std::string in, out;
};

MacroFlags F(std::initializer_list<const char*> on, bool wild = true) {
    MacroFlags f;
    f.findWild = f.repWild = wild;
    for (std::string k : on) {
        if (k == "nocase") f.matchCase = false;
        if (k == "perline") f.perLine = true;
        if (k == "min") f.compConst = true;
        if (k == "sub") f.subFilter = true;
        if (k == "delim") f.delimParse = true;
        if (k == "norepwild") f.repWild = false;
    }
    return f;
}

void RunTable(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        CMacro m = MakeMacro(c.find, c.rep, c.flags);
        EXPECT_EQ(Convert(m, c.in), c.out) << c.name;
    }
}
}  // namespace

TEST(FindReplacePass, PlainPaths) {
    RunTable({
        {"replacement is not searched again", "x", "xx", F({}, false), "x x", "xx xx"},
        {"caseless keeps the replace text's case", "ab", "X", F({"nocase"}, false), "aB Ab",
         "X X"},
        {"empty find leaves the text", "", "Q", F({}, false), "abc", "abc"},
        {"plain find takes backslash t literally", "\\t", "T", F({}, false), "a\\tb\tc",
         "aTb\tc"},
        {"no match", "zz", "y", F({}, false), "abc", "abc"},
        {"overlapping occurrences left to right", "aa", "b", F({}, false), "aaaaa", "bba"},
        {"line breaks kept", "b", "B", F({}, false), "a\r\nb\r\n", "a\r\nB\r\n"},
    });
}

TEST(FindReplacePass, WildCardsAndTypeCards) {
    RunTable({
        {"bare symbol gets the wild text", "a*b", "[*]", Wild(), "xa12by", "x[12]y"},
        {"digits with captures in order", "^d-^d-^d", "<^d3>.<^d2>.<^d1>", Wild(),
         "on 2024-05-07 and 1-2-3", "on 07.05.2024 and 3.2.1"},
        {"type-card without a match fails", "^d", "#", Wild(), "ab", "ab"},
        {"x then digits, two matches", "x^d", "<^d1>", Wild(), "x1 x23", "1 23"},
        {"bare type-card names in order", "^a=^d", "^d:^a", Wild(), "k=5, m=66", "5:k, 66:m"},
        {"leading wild reaches to line start", "*a", "(<*1>)", Wild(), "xxa\r\nyya",
         "(xx)\r\n(yy)"},
        {"trailing wild stops at the line break", "a*", "[<*1>]", Wild(), "abc\r\nmore",
         "[bc]\r\nmore"},
        {"inner wild stops at the nearest piece", "a*c", "<*1>", Wild(), "a1c2c", "12c"},
        {"minimal span", "a*c", "[<*1>]", F({"min"}), "a a c", "a [ ]"},
        {"whole text with the doubled symbol", "**", "<<*1>>", Wild(), "l1\r\nl2",
         "<l1\r\nl2>"},
        {"one line per symbol-only match", "*", "[*]", Wild(), "a\r\nb\r\nc", "[a]\r\n[b]\r\n[c]"},
        {"tab escape in a wild find", "\\t", "<T>", Wild(), "a\tb", "a<T>b"},
        {"caret-t escape", "a^tb", "ok", Wild(), "a\tb", "ok"},
        {"caseless literal, case kept in capture", "A*C", "<*1u>", F({"nocase"}), "xabc",
         "xB"},
        {"rep tags off: written literally", "a*b", "<*1>", F({"norepwild"}), "a1b", "<*1>"},
        {"unknown caret pair is literal", "^q", "Q", Wild(), "a^qb", "aQb"},
        {"blank type-card", "a^bb", "a_b", Wild(), "a   b", "a_b"},
        {"new-line type-card grabs blanks before a break", "x^ny", "x|y", Wild(),
         "x  \r\n\r\ny", "x|y"},
    });
}

TEST(FindReplacePass, RangesCaseAndSubstitutions) {
    RunTable({
        {"two pieces swapped", "*-*", "<*2>-<*1>", Wild(), "ab-cd", "cd-ab"},
        {"missing piece is removed", "*-*", "<*3>|", Wild(), "ab-cd", "|"},
        {"range :2", "*<", "<*1:2>", Wild(), "hello<", "he"},
        {"range :-2", "*<", "<*1:-2>", Wild(), "hello<", "lo"},
        {"range :2:3", "*<", "<*1:2:3>", Wild(), "hello<", "ell"},
        {"range :4:-1", "*<", "<*1:4:-1>", Wild(), "hello<", "lo"},
        {"range :9:2 clamps", "*<", "<*1:9:2>", Wild(), "hello<", "o"},
        {"upper", "[*]", "<*1u>", Wild(), "[mixed Case]", "MIXED CASE"},
        {"proper", "[*]", "<*1p>", Wild(), "[mixed Case]", "Mixed case"},
        {"range then upper", "[*]", "<*1:1u>", Wild(), "[mixed]", "M"},
        {"substitutions left to right", "[*]", "<*1?a=b?c=d>", Wild(), "[aacc]", "bbdd"},
        {"case before substitutions", "[*]", "<*1u?x=y>", Wild(), "[axa]", "AYA"},
        {"substitutions take the macro's minimal span", "[*]", "<*1?a*c=X>", F({"min"}),
         "[a a c]", "a X"},
        {"a wild substitution with a star kept literal", "[*]", "<*1?-=*>", Wild(), "[a-b]",
         "a*b"},
        {"number 0 removed", "[*]", "(<*0>)", Wild(), "[q]", "()"},
        {"other symbol: a star tag is plain", "[*]", "<*1>", Wild(), "[q]", "q"},
    });
    // A library whose symbol is "$".
    CLibraryList list = OneLibrary({MakeMacro("[$]", "<$1>/<*1>", Wild())});
    list.Libraries[0].WildTypeManager.WildCard = "$";
    EXPECT_EQ(CConversionEngine(list).ConvertText("[q]"), "q/<*1>");
}

TEST(FindReplacePass, CountersAndAlignment) {
    RunTable({
        {"counter from 1", "x", "<i=1>", Wild(), "x x x", "1 2 3"},
        {"counter start, step and width", "x", "<i=10?5#4>", Wild(), "x x", "0010 0015"},
        {"counter without start", "x", "<i=>", Wild(), "x x", "0 1"},
        {"align to column 10", "abc", "abc<a=10>|", Wild(), "abc", "abc      |"},
        {"align with a fill", "abc", "abc<a=10?.>|", Wild(), "abc", "abc......|"},
        {"align to tab stops", "abcde", "abcde<a=-4>|", Wild(), "abcde", "abcde   |"},
        {"align past the column", "abcdef", "abcdef<a=3>|", Wild(), "abcdef", "abcdef|"},
        {"right align the last word", "ab cd", "ab cd<A=10>|", Wild(), "ab cd",
         "ab     cd|"},
        {"huge width is clamped", "x", "<i=1#99999999>", Wild(), "x",
         std::string(9999, '0') + "1"},
        {"huge column is clamped", "x", "x<a=99999999>|", Wild(), "x",
         "x" + std::string(9998, ' ') + "|"},
        {"huge tab stop is clamped", "x", "x<a=-99999999>|", Wild(), "x",
         "x" + std::string(9999, ' ') + "|"},
    });
}

TEST(FindReplacePass, PerLineSubFilterAndDelimiters) {
    RunTable({
        {"per line refuses a match across lines", "a*b", "X", F({"perline"}), "a\r\nb",
         "a\r\nb"},
        {"without per line the match spans lines", "a*b", "X", Wild(), "a\r\nb", "X"},
        {"per line finds the match on a later line", "a*b", "X", F({"perline"}),
         "a\r\nazb", "a\r\nX"},
        {"sub-filter keeps the replacements", "^d", "<^d1>", F({"sub"}), "a1b22c333",
         "1\r\n22\r\n333"},
        {"sub-filter without a match is empty", "^d", "x", F({"sub"}), "abc", ""},
        {"delimited: no match across tokens", "a*b", "X", F({"delim"}), "(a1)(2b)",
         "(a1)(2b)"},
        {"delimited: each token on its own", "a*b", "X", F({"delim"}), "(a1b)(a2b)",
         "(X)(X)"},
        {"delimited: a longer token does not hide the next", "x", "xxx",
         F({"delim"}, false), "[x][x]", "[xxx][xxx]"},
    });
}

TEST(FindReplacePass, EmptyMatchesAlwaysAdvance) {
    // "*" matches every line, also empty ones, and ends.
    RunTable({
        {"empty lines", "*", "[*]", Wild(), "a\r\n\r\nb\r\n", "[a]\r\n[]\r\n[b]\r\n[]"},
        {"star with empty replace", "*", "", Wild(), "a\r\nb", "\r\n"},
    });
}

TEST(LibraryPass, MacrosRunInOrderAndInactiveAreSkipped) {
    MacroFlags off;
    off.active = false;
    CLibraryList list = OneLibrary({MakeMacro("a", "b"), MakeMacro("b", "c", off),
                                    MakeMacro("b", "d")});
    EXPECT_EQ(CConversionEngine(list).ConvertText("a"), "d");
}

TEST(LibraryPass, StepOneKeepsOneTextPerActiveMacro) {
    MacroFlags off;
    off.active = false;
    CLibraryList list = OneLibrary({MakeMacro("a", "b"), MakeMacro("z", "y", off),
                                    MakeMacro("b", "c"), MakeMacro("c", "d")});
    list.m_Run.nBatchStep = 1;
    list.RunKind = 2;
    CFindRepPreview p;
    EXPECT_EQ(CConversionEngine(list).RunLibraryPass("a\r\nab", p), "d\r\ndd");
    ASSERT_EQ(p.StepTexts.size(), 3u);
    EXPECT_EQ(p.StepTexts[0], "a\r\nab");
    EXPECT_EQ(p.StepTexts[1], "b\r\nbb");
    // Instances of the second applied macro carry their line in its source text.
    int seen = 0;
    for (const CFindRepInstance& i : p.Instances)
        if (i.StepNo == 1) {
            EXPECT_EQ(i.MacroIndex, 2);
            EXPECT_EQ(i.LineNo, seen == 0 ? 0 : 1);
            ++seen;
        }
    EXPECT_EQ(seen, 3);
    // ConvertText leaves nothing behind, also in step 1.
    list.Previews.clear();
    EXPECT_EQ(CConversionEngine(list).ConvertText("a"), "d");
    EXPECT_TRUE(list.Previews.empty());
}

TEST(LibraryPass, RecordedInstancesDescribeTheirMatch) {
    CLibraryList list = OneLibrary({MakeMacro("^d", "<<^d1>>", Wild())});
    list.m_Run.nBatchStep = 1;
    list.RunKind = 2;
    CFindRepPreview p;
    EXPECT_EQ(CConversionEngine(list).RunLibraryPass("a1\r\nb\t22", p), "a<1>\r\nb\t<22>");
    ASSERT_EQ(p.Instances.size(), 2u);
    const CFindRepInstance& a = p.Instances[0];
    const CFindRepInstance& b = p.Instances[1];
    EXPECT_EQ(a.FindText, "1");
    EXPECT_EQ(a.RepText, "<1>");
    EXPECT_EQ(a.LineText, "a1");
    EXPECT_EQ(a.Offset, 1);
    EXPECT_EQ(a.Position, 1);
    EXPECT_EQ(a.LineNo, 0);
    EXPECT_EQ(a.ImageNo, 6);
    EXPECT_EQ(b.FindText, "22");
    EXPECT_EQ(b.LineText, "b\\t22");
    EXPECT_EQ(b.Position, 6);
    EXPECT_EQ(b.Offset, 8);
    EXPECT_EQ(b.PrevPosition, 1);
    EXPECT_EQ(b.LineNo, 1);
    EXPECT_EQ(b.InstanceNo, 1);
}

TEST(LibraryPass, StopFlagsOfTheRunsKindOnly) {
    std::atomic<bool> conv{true}, batch{false};
    MacroFlags off;
    off.active = false;
    CLibraryList list = OneLibrary({MakeMacro("a", "b", off)});
    list.m_Run.pConversionBreak = &conv;
    list.m_Run.pBatchBreak = &batch;
    list.RunKind = 1;
    CFindRepPreview p;
    // All macros inactive: the stop is still seen at the first macro.
    EXPECT_THROW(CConversionEngine(list).RunLibraryPass("a", p), CConversionAbort);
    list.RunKind = 2;  // a batch run ignores the other family's flag
    EXPECT_EQ(CConversionEngine(list).RunLibraryPass("a", p), "a");
    batch = true;
    try {
        CConversionEngine(list).RunLibraryPass("a", p);
        FAIL() << "no abort";
    } catch (const CConversionAbort& a) {
        EXPECT_EQ(a.Marker(), "-f-aborted");
    }
}

TEST(LibraryPass, ABadCurrentLibraryConvertsNothing) {
    CLibraryList list = OneLibrary({MakeMacro("a", "b")});
    list.CurrentLibrary = 5;
    EXPECT_EQ(CConversionEngine(list).ConvertText("a"), "a");
}

TEST(MacroApplication, TokenPathRecordsOneInstancePerToken) {
    MacroFlags delim;
    delim.delimParse = true;
    CLibraryList list = OneLibrary({MakeMacro("a", "A", delim)});
    list.m_Run.nBatchStep = 1;
    list.RunKind = 2;
    CFindRepPreview p;
    EXPECT_EQ(CConversionEngine(list).RunLibraryPass("(ab)(cd)(a)", p), "(Ab)(cd)(A)");
    ASSERT_EQ(p.Instances.size(), 3u);  // changed or not
    EXPECT_EQ(p.Instances[1].FindText, "(cd)");
    EXPECT_EQ(p.Instances[1].RepText, "(cd)");
    EXPECT_EQ(p.Instances[2].Offset, 8);
    // Replaying the instances gives the same text.
    std::string text = "(ab)(cd)(a)";
    EXPECT_TRUE(CConversionEngine(list).ApplyInstances(p, text));
    EXPECT_EQ(text, "(Ab)(cd)(A)");
}

// Create instances, then commit them, must write what a convert writes:
// random libraries of wild macros, per line or token by token, whose
// replacements hold running numbers and left and right alignment (a right
// aligning fill goes in front of text the pass has already replaced). The
// texts are files with LF, CR LF and lone CR line ends mixed, read as a
// batch reads them (a lone line feed is read as CR LF); the commit over the
// file itself leaves on the disk the bytes the convert writes to another
// (the batch window's Convert and the command-line job write through the
// same ConvertFileForBatch, which takes a large file part by part; the
// large files go through the job as well).
TEST(MacroApplication, ReplayedInstancesGiveWhatConvertGivesOnRandomLibraries) {
    const std::vector<std::string> finds = {"^d", "^d.^d", "^a", "^a ^d", "o",   "^b", "^p", "*",
                                            "^a*^d", "^m", "*^d", "^d*", "a", "^b^d", "\\t", "^n"};
    const std::vector<std::string> reps = {
        "#",        "<A=-4>#",          "<A=<i=5?12>>", "<A=<i=2?18>>#",  "<a=-4>|",    "<a=<i=3?7>>^d",
        "<^d1>",    "<A=20>[<^a1>]",    "<i=1?3>",      "<A=3>x",         "",           "  <A=-8>",
        "<*1>;",    "<A=<i=9?-3>>",     "<A=5?.>x",     "<a=9?->y<A=12>z", "\t<A=-3>", "<^a1> <A=-6>",
        "<A=0>",    "<A=1>ab cd",       "<i=0?1#3><A=-5>"};
    const std::vector<std::string> words = {"foo", " ",  "3.4", "bar", "7", "\r\n",  "price", ",",     "(a 1)", "12",
                                            "  ",  "x:y", "[b]", "#",  "<9>", "-",   "\t",    "a1 b2", "{z 9}", "\r", "\n"};
    // The last rounds take files larger than the parts a large file is
    // converted in, with macros the parts can take: wild-cards whose
    // matches run over line ends (alignment then counts from a line that
    // began in an earlier part), and macros that keep to a line.
    const std::vector<std::string> wideFinds = {"^a*^d", "^d*^a", "o*^d", "^p*b", "^d", "^a ^d", "^b", "a"};
    const std::vector<std::string> wideReps = {"#",     "<A=-4>#", "<a=-4>|",  "<^d1>",       "<A=20>[<^a1>]",
                                               "<A=3>x", "",       "  <A=-8>", "<*1>;",       "<A=5?.>x",
                                               "\t<A=-3>", "<a=8>x", "<A=1>ab cd", "<i=0?1#3><A=-5>"};
    TempDir tmp;
    const std::string file = tmp / "in.txt", convertedFile = tmp / "converted.txt";
    const std::string libFile = tmp / "lib.txt", jobFile = tmp / "job.txt";
    std::mt19937 rng(11);
    for (int round = 0; round < 308; ++round) {
        const bool large = round >= 300;
        CLibraryList list = OneLibrary({});
        std::string described;
        for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) {
            MacroFlags f = Wild();
            f.delimParse = !large && rng() % 3 != 0;
            f.perLine = rng() % 2 != 0;
            f.matchCase = rng() % 4 != 0;
            f.compConst = rng() % 4 == 0;
            const std::vector<std::string>& fs = large ? wideFinds : finds;
            const std::vector<std::string>& rs = large ? wideReps : reps;
            const CMacro m = MakeMacro(fs[rng() % fs.size()], rs[rng() % rs.size()], f);
            list.Libraries[0].MacroList.push_back(m);
            described += "{" + m.Find + "}{" + m.Replace + "}" + (f.delimParse ? "d" : "") + (f.perLine ? "l" : "");
        }
        std::string bytes;
        for (int w = 1 + static_cast<int>(rng() % 12); w > 0; --w) bytes += words[rng() % words.size()];
        while (large && bytes.size() < (4u << 20) + 4096) bytes += words[rng() % words.size()];
        WriteFile(file, bytes);
        std::string text, reason;
        ASSERT_TRUE(ReadFileForConversion(file, text, reason)) << reason;
        const std::string converted = CConversionEngine(list).ConvertText(text);

        list.RunKind = 2;
        list.m_Run.nBatchStep = 1;
        list.m_Run.bKeepSteps = rng() % 2;
        CFindRepPreview preview;
        CConversionEngine(list).RunLibraryPass(text, preview);
        std::string committed = text;
        ASSERT_TRUE(CConversionEngine(list).ApplyInstances(preview, committed))
            << described << " on " << (large ? "a large text" : text);
        ASSERT_TRUE(committed == converted) << described << " on " << (large ? "a large text" : text);

        // The same through the files: Convert to another file, Commit over the file itself.
        list.m_Run.nBatchStep = 0;
        CFindRepPreview row;
        row.InputName = file;
        row.OutputName = convertedFile;
        row.Mode = "O";
        bool modified = false;
        ASSERT_TRUE(CConversionEngine(list).ConvertFileForBatch(row, 0, modified)) << described;
        if (large) {
            // The command-line job with the library written to a file of its own.
            std::ostringstream lib;
            lib << "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n";
            WriteLibraries(lib, list);
            WriteFile(libFile, lib.str());
            const JobRun job = RunJob({"-input=" + file + ",", "-output=" + jobFile + ",",
                                       "-libfile=" + libFile + ",", "-libind=0,", "-default=y"},
                                      tmp / "root", tmp / "stderr.txt", tmp.path());
            ASSERT_EQ(job.exitCode, 0) << job.err;
            ASSERT_TRUE(ReadFile(jobFile) == ReadFile(convertedFile)) << described << " (the job)";
        }
        list.m_Run.nBatchStep = 2;
        preview.InputName = preview.OutputName = file;
        preview.Mode = "O";
        ASSERT_TRUE(CConversionEngine(list).CommitFile(preview, 0)) << described;
        ASSERT_TRUE(ReadFile(file) == ReadFile(convertedFile))
            << described << " on " << (large ? "a large text" : ::testing::PrintToString(bytes));
    }
}

TEST(MacroApplication, ExactSweepOfStepZeroRunsToItsEnd) {
    std::atomic<bool> stop{false};
    CLibraryList list = OneLibrary({MakeMacro("a", "b")});
    list.RunKind = 2;
    list.m_Run.pBatchBreak = &stop;
    CFindRepPreview p;
    CMacro m = MakeMacro("a", "b");
    std::string text = "aaa";
    stop = true;  // raised during the pass: the one sweep does not look at it
    CConversionEngine(list).FindReplacePass("", text, m, p);
    EXPECT_EQ(text, "bbb");
}

TEST(MacroApplication, InteractiveFindAndReplaceWithTheCurrentMacro) {
    CLibraryList list = OneLibrary({});
    list.m_Run.currentMacro = MakeMacro("^d", "<<^d1>>", Wild());
    std::size_t s = 0, e = 0;
    ASSERT_TRUE(CConversionEngine(list).FindNextWithCurrentMacro("ab 12 cd 3", s, e, 0));
    EXPECT_EQ(s, 3u);
    EXPECT_EQ(e, 5u);
    ASSERT_TRUE(CConversionEngine(list).FindNextWithCurrentMacro("ab 12 cd 3", s, e, 5));
    EXPECT_EQ(s, 9u);
    EXPECT_FALSE(CConversionEngine(list).FindNextWithCurrentMacro("ab 12 cd 3", s, e, 10));
    std::string text = "ab 12 cd 3";
    ASSERT_TRUE(CConversionEngine(list).ReplaceWithCurrentMacro(text, 0, s, e));
    EXPECT_EQ(text, "ab <12> cd 3");
    EXPECT_EQ(e, 7u);
}
