// A large file is converted part by part on several threads; whatever the
// macros and the line ends, the file written is the one the whole text gives.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <string>

#include "../support/TempDir.h"
#include "EngineTestUtil.h"
#include "convert/ConversionEngine.h"
#include "convert/ReplaceTags.h"
#include "model/Globals.h"
#include "platform/Prompter.h"

namespace fs = std::filesystem;

namespace {
// About `bytes` of log-like lines with LF, CR LF and lone CR line ends, some
// dates, mixed-case words, a line longer than a part and no final line end.
std::string RandomText(std::size_t bytes, unsigned seed) {
    std::mt19937 rng(seed);
    const char* words[] = {"Cat", "cat", "CAT", "dog", "2024-01-31", "7-8-9", "x<i=1>", "a b",
                           "\t", "12", "-", "--3-4-"};
    const char* ends[] = {"\n", "\r\n", "\r", "\n", "\r\n"};
    std::string s;
    while (s.size() < bytes) {
        int n = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i) {
            s += words[rng() % 12];
            s += ' ';
        }
        if (rng() % 2) s.pop_back();  // a word right at the line end
        s += ends[rng() % 5];
        if (s.size() > bytes / 2 && s.size() < bytes / 2 + 200) s += std::string(1500000, 'z');
    }
    s += "last line 1-2-3";
    return s;
}

// What the file must hold: the whole text converted, each LF of it a line
// end of the file (CR LF when its first line ends so, else LF). A CR that no
// LF follows is left of a line break taken apart and goes, unless the file
// held such CRs itself.
std::string Expected(CLibraryList list, const std::string& path) {
    std::string text, reason;
    bool crlf = false;
    EXPECT_TRUE(ReadFileForConversion(path, text, reason, nullptr, &crlf));
    auto lone = [](const std::string& t, std::size_t i) {
        return t[i] == '\r' && (i + 1 == t.size() || t[i + 1] != '\n');
    };
    bool fileHasLoneCr = false;
    for (std::size_t i = 0; i < text.size(); ++i) fileHasLoneCr = fileHasLoneCr || lone(text, i);
    std::string out = CConversionEngine(list).ConvertText(text), disk;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\n') disk += crlf ? "\r\n" : "\n";
        else if (out[i] != '\r' || (lone(out, i) && fileHasLoneCr)) disk += out[i];
    }
    return disk;
}

int Leftovers(const std::string& dir) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().find(".qvl-part-") != std::string::npos) ++n;
    return n;
}

CLibraryList BatchOf(std::initializer_list<CMacro> macros) {
    CLibraryList list = OneLibrary(macros);
    list.m_Run.nBatchStep = 0;
    list.m_Run.nLibraryIndex = 0;
    return list;
}

CFindRepPreview Row(const std::string& in, const std::string& out) {
    CFindRepPreview p;
    p.InputName = in;
    p.OutputName = out;
    p.Mode = "O";
    return p;
}

MacroFlags Caseless() {
    MacroFlags f;
    f.matchCase = false;
    return f;
}

MacroFlags WildCaseless() {
    MacroFlags f = Wild();
    f.matchCase = false;
    return f;
}

MacroFlags Shortest() {
    MacroFlags f = Wild();
    f.compConst = true;
    return f;
}
}  // namespace

TEST(LargeFileParts, OnlyLineConfinedMacrosMaySplitAText) {
    EXPECT_TRUE(IsLineConfinedMacro(MakeMacro("cat", "dog"), nullptr));
    EXPECT_TRUE(IsLineConfinedMacro(MakeMacro("^d-^d-^d", "<^d3>.<^d2>.<^d1>", Wild()), nullptr));
    EXPECT_TRUE(IsLineConfinedMacro(MakeMacro("a^tb", "x", Wild()), nullptr));
    EXPECT_FALSE(IsLineConfinedMacro(MakeMacro("a\r\nb", "x"), nullptr));
    EXPECT_FALSE(IsLineConfinedMacro(MakeMacro("a*b", "x", Wild()), nullptr));
    EXPECT_FALSE(IsLineConfinedMacro(MakeMacro("*b", "x", Wild()), nullptr));
    EXPECT_FALSE(IsLineConfinedMacro(MakeMacro("**", "x", Wild()), nullptr));
    EXPECT_FALSE(IsLineConfinedMacro(MakeMacro("a^nb", "x", Wild()), nullptr));  // grabs returns
    MacroFlags sub;
    sub.subFilter = true;
    EXPECT_FALSE(IsLineConfinedMacro(MakeMacro("cat", "dog", sub), nullptr));
    MacroFlags delim;
    delim.delimParse = true;
    EXPECT_FALSE(IsLineConfinedMacro(MakeMacro("cat", "dog", delim), nullptr));
    // Wild-card symbols between pieces that keep to a line: the matches may
    // reach across lines, and parts carry along where the next may start.
    EXPECT_TRUE(IsWideStreamableMacro(MakeMacro("a*b", "x", Wild()), nullptr));
    EXPECT_TRUE(IsWideStreamableMacro(MakeMacro("^d-*x*c^a", "x", Shortest()), nullptr));
    EXPECT_FALSE(IsWideStreamableMacro(MakeMacro("*b", "x", Wild()), nullptr));
    EXPECT_FALSE(IsWideStreamableMacro(MakeMacro("a*", "x", Wild()), nullptr));
    EXPECT_FALSE(IsWideStreamableMacro(MakeMacro("**", "x", Wild()), nullptr));
    EXPECT_FALSE(IsWideStreamableMacro(MakeMacro("a*^nb", "x", Wild()), nullptr));
    EXPECT_FALSE(IsWideStreamableMacro(MakeMacro("cat", "dog"), nullptr));
    MacroFlags wideSub = Wild();
    wideSub.subFilter = true;
    EXPECT_FALSE(IsWideStreamableMacro(MakeMacro("a*b", "x", wideSub), nullptr));
}

TEST(LargeFileParts, WrittenFileIsTheWholeTextConverted) {
    TempDir tmp;
    const std::string text = RandomText(9u << 20, 7);
    // Each library goes over the same file; the first two leave the split
    // path (running numbers; a CR in a replacement makes the line ends CR LF).
    const std::vector<std::pair<std::string, std::vector<CMacro>>> cases = {
        {"counter", {MakeMacro("^d-^d-^d", "<i=1>:<^d1>", Wild())}},
        {"cr in replacement", {MakeMacro("cat", "c\r"), MakeMacro("^d", "<^d1>\r", Wild())}},
        {"literals", {MakeMacro("cat", "lion"), MakeMacro("DOG", "wolf", Caseless())}},
        {"date swap", {MakeMacro("^d-^d-^d", "<^d3>.<^d2>.<^d1>", Wild())}},
        {"wild caseless and shortest",
         {MakeMacro("c^a", "[<^a1>]", WildCaseless()), MakeMacro("-^d-", "=<^d1>=", Shortest())}},
        {"align and new lines", {MakeMacro("dog", "D<a=30>|"), MakeMacro("a b", "a\nb")}},
        // Wide macros between line-confined ones: short matches across
        // lines, matches taking in the long line (parts carried along), a
        // caseless shortest match, a per-line one, and one whose end is
        // never found (everything from its first start carried to the end).
        {"wide between confined",
         {MakeMacro("cat", "lion"), MakeMacro("Cat*dog", "{<*1>}", Wild()),
          MakeMacro("^d-^d-^d", "<^d3>.<^d2>.<^d1>", Wild())}},
        {"wide over the long line", {MakeMacro("CAT*zzzz", "[long]", Wild()), MakeMacro("z", "y")}},
        {"wide caseless shortest and per line",
         {MakeMacro("cat*7-^d", "(<^d1>)", [] {
              MacroFlags f = WildCaseless();
              f.compConst = true;
              return f;
          }()),
          MakeMacro("a b*12", "ab", [] {
              MacroFlags f = Wild();
              f.perLine = true;
              return f;
          }())}},
        {"wide without an end", {MakeMacro("dog*no such end", "x", Wild()), MakeMacro("Cat", "C")}},
        // Alignment in a wide macro's replacement counts from a line that
        // may have begun in an earlier part, and a right-aligning fill may
        // go in front of a word converted there.
        {"wide with alignment", {MakeMacro("^a*^d", "<A=5?.>x", Wild()), MakeMacro("cat*-", "<a=8>y", Wild())}},
    };
    // The same text led by a CR LF line: written with CR LF line ends.
    const std::string crlfText = "first line\r\n" + text;
    // A text without CRs of its own, whose line breaks wide macros take
    // apart (leaving CRs or LFs on their own), in both kinds of line ends.
    std::string noLoneCr = text;
    for (std::size_t i = 0; i < noLoneCr.size(); ++i)
        if (noLoneCr[i] == '\r' && (i + 1 == noLoneCr.size() || noLoneCr[i + 1] != '\n')) noLoneCr[i] = '.';
    const std::vector<CMacro> takenApart = {MakeMacro("Cat*dog", "{<*1?^n=;>}", Wild()),
                                            MakeMacro("CAT*7", "<*1?^r=>", Wild())};
    for (std::size_t k = 0; k < cases.size() + 5; ++k) {
        const bool crlf = k >= cases.size() && k != cases.size() + 3;
        const bool apart = k >= cases.size() + 3;
        const auto& [caseName, macros] =
            apart ? std::pair<std::string, std::vector<CMacro>>{"line breaks taken apart", takenApart}
                  : cases[crlf ? (k - cases.size()) * 3 + 1 : k];
        const std::string name = caseName + (crlf ? " (CR LF)" : "");
        const std::string in = tmp / "in.txt", out = tmp / "out.txt";
        WriteFile(in, apart ? (crlf ? "first line\r\n" + noLoneCr : noLoneCr) : crlf ? crlfText : text);
        CLibraryList list = OneLibrary({});
        list.Libraries[0].MacroList = macros;
        list.m_Run.nLibraryIndex = 0;
        const std::string want = Expected(list, in);
        list.Previews = {Row(in, out), Row(in, in)};
        EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0) << name;
        EXPECT_TRUE(ReadFile(out) == want) << name;
        EXPECT_TRUE(ReadFile(in) == want) << name;
        EXPECT_EQ(Leftovers(tmp.path()), 0) << name;
    }
}

TEST(LargeFileParts, UnchangedBinaryAndStoppedFilesAreLeftAlone) {
    TempDir tmp;
    std::string text = RandomText(6u << 20, 3);
    const std::string in = tmp / "in.txt";
    WriteFile(in, text);
    // Nothing to replace: the file keeps its bytes (CR LF too); a copy is byte for byte.
    CLibraryList none = BatchOf({MakeMacro("no such word", "x")});
    none.Previews = {Row(in, in), Row(in, tmp / "copy.txt")};
    EXPECT_EQ(CConversionEngine(none).RunBatchReport(), 0);
    EXPECT_TRUE(ReadFile(in) == text);
    EXPECT_TRUE(ReadFile(tmp / "copy.txt") == text);

    // A NUL byte far into the file: binary, nothing written.
    std::string bin = text;
    bin[5u << 20] = '\0';
    WriteFile(tmp / "bin.txt", bin);
    CLibraryList conv = BatchOf({MakeMacro("cat", "lion")});
    std::string why;
    bool modified = true;
    conv.CurrentLibrary = 0;
    conv.RunKind = 2;
    CFindRepPreview row = Row(tmp / "bin.txt", tmp / "bin.txt");
    EXPECT_FALSE(CConversionEngine(conv).ConvertFileForBatch(row, 0, modified, why));
    EXPECT_EQ(why, "(binary)");
    EXPECT_FALSE(modified);
    EXPECT_TRUE(ReadFile(tmp / "bin.txt") == bin);

    // A stop while the parts are converted: the file stays as it was.
    std::atomic<bool> stop{true};
    conv.m_Run.pBatchBreak = &stop;
    CFindRepPreview row2 = Row(in, in);
    EXPECT_THROW(CConversionEngine(conv).ConvertFileForBatch(row2, 0, modified, why), CConversionAbort);
    EXPECT_TRUE(ReadFile(in) == text);
    EXPECT_EQ(Leftovers(tmp.path()), 0);
}

TEST(LargeFileParts, TheCurrentMacroIsJudgedAsItIsApplied) {
    TempDir tmp;
    const std::string text = RandomText(5u << 20, 11);
    const std::string in = tmp / "in.txt";
    WriteFile(in, text);
    // Marked inactive, the current macro is still applied by a batch that
    // uses it; its wild-card spans the file, so the file must not be split.
    MacroFlags f = Wild();
    f.active = false;
    CLibraryList list = BatchOf({MakeMacro("x", "y")});
    list.m_Run.bUseCurrentMacro = true;
    list.m_Run.currentMacro = MakeMacro("Cat*last line", "ONE", f);
    std::string whole, reason;
    ASSERT_TRUE(ReadFileForConversion(in, whole, reason));
    CFindRepPreview scratch;
    scratch.NoInstances = 1;
    list.CurrentLibrary = 0;
    std::string want = CConversionEngine(list).ApplyOneMacroToText(whole, list.m_Run.currentMacro, scratch), disk;
    for (std::size_t i = 0; i < want.size(); ++i)
        if (!(want[i] == '\r' && i + 1 < want.size() && want[i + 1] == '\n')) disk += want[i];
    list.Previews = {Row(in, tmp / "out.txt")};
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0);
    EXPECT_TRUE(ReadFile(tmp / "out.txt") == disk);
}

// Far more parts than are held at once: a running number or a NUL byte met
// only near the end must still give the whole text's result, or leave the
// target as it was, after many parts were already written.
TEST(LargeFileParts, LateSurprisesAfterManyWrittenParts) {
    TempDir tmp;
    std::string text;
    while (text.size() < (24u << 20)) text += "no numbers on this line at all\n";
    text += "last 1-2-3\n";
    const std::string in = tmp / "in.txt", out = tmp / "out.txt";
    WriteFile(in, text);
    CLibraryList counter = BatchOf({MakeMacro("^d-^d-^d", "<i=5>", Wild())});
    counter.Previews = {Row(in, out)};
    EXPECT_EQ(CConversionEngine(counter).RunBatchReport(), 0);
    EXPECT_TRUE(ReadFile(out) == text.substr(0, text.size() - 6) + "5\n");
    EXPECT_EQ(Leftovers(tmp.path()), 0);

    std::string bin = text;
    bin[bin.size() - 3] = '\0';
    WriteFile(in, bin);
    CLibraryList conv = BatchOf({MakeMacro("numbers", "NUMBERS")});
    conv.CurrentLibrary = 0;
    conv.RunKind = 2;
    CFindRepPreview row = Row(in, in);
    std::string why;
    bool modified = true;
    EXPECT_FALSE(CConversionEngine(conv).ConvertFileForBatch(row, 0, modified, why));
    EXPECT_EQ(why, "(binary)");
    EXPECT_FALSE(modified);
    EXPECT_TRUE(ReadFile(in) == bin);
    EXPECT_EQ(Leftovers(tmp.path()), 0);

    // Into folders that are not there yet: the folders made for it go again.
    CFindRepPreview elsewhere = Row(in, tmp / "new/deeper/out.txt");
    EXPECT_FALSE(CConversionEngine(conv).ConvertFileForBatch(elsewhere, 0, modified, why));
    EXPECT_EQ(why, "(binary)");
    EXPECT_FALSE(std::filesystem::exists(tmp / "new"));
    // Written, they stay with the file.
    WriteFile(in, text);
    CFindRepPreview written = Row(in, tmp / "new/deeper/out.txt");
    EXPECT_TRUE(CConversionEngine(conv).ConvertFileForBatch(written, 0, modified, why)) << why;
    EXPECT_TRUE(std::filesystem::exists(tmp / "new/deeper/out.txt"));
}
