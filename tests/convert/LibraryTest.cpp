// The library model and the library block codec.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "../support/TempDir.h"
#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"
#include "model/Library.h"
#include "model/LibraryFile.h"
#include "model/Globals.h"

namespace {
std::string Golden(const std::string& name) {
    return ReadFile(std::string(QVL_TEST_DATA) + "/convert/" + name);
}

std::string WriteAll(const CLibraryList& list) {
    std::ostringstream out;
    WriteLibraries(out, list);
    return out.str();
}

CLibraryList ReadAll(const std::string& text) {
    std::istringstream in(text);
    std::string first;
    std::getline(in, first);  // the begin frame line, read by the container
    CLibraryList list;
    ReadLibrary(in, kLibrariesEndMarker, list);
    return list;
}
}  // namespace

TEST(LibraryModel, NewLibraryHasTheDefaults) {
    CLibrary lib;
    EXPECT_EQ(lib.LibName, "test-library");
    EXPECT_EQ(lib.NothingYetInt, 0);
    EXPECT_TRUE(lib.MacroList.empty());
    ASSERT_EQ(lib.DelimList.size(), 10u);
    EXPECT_EQ(lib.DelimList[0].BeginDelim, ",");
    EXPECT_TRUE(lib.DelimList[4].IsSingle);
    EXPECT_EQ(lib.DelimList[4].BeginDelim, " ");
    EXPECT_FALSE(lib.DelimList[9].IsSingle);
    EXPECT_EQ(lib.DelimList[9].EndDelim, "\\");
    EXPECT_EQ(lib.WildTypeManager.WildCard, "*");
    ASSERT_EQ(lib.WildTypeManager.TypeCards.size(), 6u);
    const char* names[] = {"^b", "^n", "^a", "^d", "^m", "^p"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(lib.WildTypeManager.TypeCards[i].Name, names[i]);
    EXPECT_EQ(lib.WildTypeManager.TypeCards[1].PrimaryCharSet, "\r\n");
    EXPECT_EQ(lib.WildTypeManager.TypeCards[1].AuxCharSet, " \t");
}

TEST(LibraryModel, FlagTextsAndConstructors) {
    CMacro placeholder;
    EXPECT_EQ(placeholder.Find, "Key/Find");
    EXPECT_EQ(placeholder.Replace, "Definition/Replace");
    CMacro m("f", "r");
    EXPECT_EQ(m.GetIsMatchCaseText(), "Yes");
    EXPECT_EQ(m.GetIsFindWildText(), "No");
    m.SetIsFindWildText("yes");
    EXPECT_EQ(m.IsFindWild, 0);  // only the exact "Yes" sets a flag
    m.SetIsFindWildText("Yes");
    EXPECT_EQ(m.IsFindWild, 1);
}

TEST(LibraryModel, AddTypeCardDeduplicatesAndWritesBack) {
    CWildTypeManager mgr;
    std::string primary = "aabba", aux = "  \t";
    mgr.AddTypeCard("^x", primary, aux, "c");
    EXPECT_EQ(primary, "ab");
    EXPECT_EQ(aux, " \t");
    EXPECT_EQ(mgr.TypeCards.back().PrimarySet, "ab");
    EXPECT_EQ(mgr.TypeCards.back().AuxSet, " \t");
}

TEST(LibraryModel, ListOperations) {
    CLibraryList list;
    list.InsertLibrary(0, "A");
    list.CreateDefaultLibraryMacros(1, "B", {"f1", "r1", "f2"});
    list.CreateDefaultLibraryMacros(2, "C", {});
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetLibNames(), (std::vector<std::string>{"A", "B", "C"}));
    ASSERT_EQ(list[1].MacroList.size(), 2u);
    EXPECT_EQ(list[1].MacroList[1].Replace, "");
    EXPECT_TRUE(list[2].MacroList.empty());

    list.MergeLibraries(2, {2, 1, 1});
    ASSERT_EQ(list[2].MacroList.size(), 4u);
    EXPECT_EQ(list[2].MacroList[2].Find, "f1");

    std::vector<CMacro> macros = {CMacro("e", "1"), CMacro("d", "2"), CMacro("c", "3"),
                                  CMacro("b", "4"), CMacro("a", "5")};
    CLibraryList::SortMacrosByColumn(macros, {0, 1, 2, 3, 4}, 1);
    EXPECT_EQ(macros[0].Find, "e");
    CLibraryList::SortMacrosByColumn(macros, {1, 3}, 0);  // only positions 1 and 3 change
    EXPECT_EQ(macros[0].Find, "e");
    EXPECT_EQ(macros[1].Find, "b");
    EXPECT_EQ(macros[3].Find, "d");
    EXPECT_EQ(macros[4].Find, "a");

    EXPECT_FALSE(list.CreateSampleLibrary());
    EXPECT_EQ(list.GetCount(), 3);
    list.DeleteLibrary(0);
    EXPECT_EQ(list.GetLibName(0), "B");
}

TEST(LibraryModel, ReverseCapturesTwiceGivesThemBack) {
    CWildTypeManager mgr;
    mgr.SetDefaultTypeCards();
    mgr.WildCaptures = {"ab\r\ncd", "xy"};
    mgr.TypeCards[3].Captures = {"12", "3\r\n"};
    CWildTypeManager copy = mgr;
    EXPECT_TRUE(copy.WildCaptures.empty());  // a copy starts without wild captures
    mgr.ReverseCaptures();
    EXPECT_EQ(mgr.WildCaptures[0], "yx");
    EXPECT_EQ(mgr.WildCaptures[1], "dc\r\nba");
    mgr.ReverseCaptures();
    EXPECT_EQ(mgr.WildCaptures, (std::vector<std::string>{"ab\r\ncd", "xy"}));
    EXPECT_EQ(mgr.TypeCards[3].Captures, (std::vector<std::string>{"12", "3\r\n"}));
}

TEST(LibraryModel, PreviewAccessorsCheckTheirIndices) {
    CLibraryList list;
    EXPECT_EQ(list.GetPreviewInstanceCount(0), 0);
    list.Previews.resize(1);
    list.Previews[0].Instances.resize(1);
    list.Previews[0].Instances[0].RepText = "ab";
    list.Previews[0].Instances[0].RepLength = 2;
    EXPECT_EQ(list.GetPreviewInstanceCount(1), 0);
    EXPECT_FALSE(list.SaveInstance(0, 1, "x"));
    EXPECT_FALSE(list.SetInstanceSkip(-1, 0, 1));
    EXPECT_TRUE(list.SaveInstance(0, 0, "xyz"));
    EXPECT_TRUE(list.SaveInstance(0, 0, "xyz"));
    CFindRepInstance inst;
    ASSERT_TRUE(list.GetPreviewInstance(0, 0, inst));
    EXPECT_EQ(inst.RepText, "xyz");
    EXPECT_EQ(inst.Changed, 1);
    EXPECT_EQ(inst.RepLength, 2);  // the recorded length stays for the commit
}

TEST(LibraryFile, SampleLibraryWritesTheKnownBlockAndReadsBack) {
    CLibraryList list;
    g_nLibIndex = 3;
    ASSERT_TRUE(CreateSampleLibrary(list));
    EXPECT_EQ(g_nLibIndex, 0);
    const std::string written = WriteAll(list);
    EXPECT_EQ(written, Golden("sample_library_block.txt"));

    CLibraryList back = ReadAll(written);
    ASSERT_EQ(back.GetCount(), 1);
    const CLibrary& lib = back[0];
    EXPECT_EQ(lib.LibName, "Find Rep library (sample)");
    ASSERT_EQ(lib.MacroList.size(), 1u);
    EXPECT_EQ(lib.MacroList[0].Replace, "---x---");
    EXPECT_EQ(lib.WildTypeManager.TypeCards[1].TypeComment,
              "Grab one or more return(s), ignoring whites.");
    EXPECT_EQ(lib.WildTypeManager.TypeCards[5].PrimaryCharSet, "-,.:;\"'");
    EXPECT_EQ(lib.DelimList[0].BeginDelim, ",");
    EXPECT_EQ(lib.DelimList[4].BeginDelim, " ");
    EXPECT_EQ(WriteAll(back), written);  // and writes again byte for byte
}

TEST(LibraryFile, MacroTextsAndAwkwardValuesRoundTrip) {
    CLibraryList list;
    CLibrary lib("a, b");
    lib.NothingYetStr = "x,y";
    lib.NothingYetInt = -42;
    CMacro m("line1\r\nline2", "", 0, 1, 1, 1, 1, 1, 1, 0);
    lib.MacroList.push_back(m);
    std::string longText(12000, 'q');
    longText += "0123456789";
    lib.MacroList.push_back(CMacro(longText, "r"));
    lib.WildTypeManager.WildCard = "$";
    lib.DelimList = {CMacroTokenDelim(1, ",", ""), CMacroTokenDelim(0, "<<", ">>")};
    list.Append(lib);
    std::string text = WriteAll(list);
    EXPECT_NE(text.find("line1\\nline2\n"), std::string::npos);
    CLibraryList back = ReadAll(text);
    ASSERT_EQ(back.GetCount(), 1);
    const CLibrary& b = back[0];
    EXPECT_EQ(b.LibName, "a, b");
    EXPECT_EQ(b.NothingYetStr, "x,y");
    EXPECT_EQ(b.NothingYetInt, -42);
    ASSERT_EQ(b.MacroList.size(), 2u);
    EXPECT_EQ(b.MacroList[0].Find, "line1\r\nline2");
    EXPECT_EQ(b.MacroList[0].IsMatchCase, 0);
    EXPECT_EQ(b.MacroList[0].IsDelimParse, 1);
    EXPECT_EQ(b.MacroList[0].IsActive, 0);
    // Long texts are kept whole: the reader has no line limit.
    EXPECT_EQ(b.MacroList[1].Find, longText);
    EXPECT_EQ(b.WildTypeManager.WildCard, "$");
    ASSERT_EQ(b.DelimList.size(), 2u);
    EXPECT_EQ(b.DelimList[1].EndDelim, ">>");
    EXPECT_EQ(WriteAll(back), text);
}

TEST(LibraryFile, ReaderTolerance) {
    // A block that ends after its macro list keeps the default delimiters and
    // type-cards; flags other than exactly "Yes" read as 0; an empty type-card
    // name reads as "*"; a present but empty section replaces the defaults.
    std::string text =
        "~*~ (1.2)+ Wild find and replace libraries: \n"
        "LibName=one, NothingYetStr=, NothingYetInt=  17abc, \n"
        "~X~ Wild find rep macro list: \n"
        "f\nr\nIsActive=yes, IsFindWild=Yes, \n"
        "~o~ End of wild find rep macro list: 1\n"
        "~*~ (1.2)- End of wild find and replace libraries: \n";
    CLibraryList a = ReadAll(text);
    ASSERT_EQ(a.GetCount(), 1);
    EXPECT_EQ(a[0].NothingYetInt, 17);
    EXPECT_EQ(a[0].MacroList[0].IsActive, 0);
    EXPECT_EQ(a[0].MacroList[0].IsFindWild, 1);
    EXPECT_EQ(a[0].MacroList[0].IsMatchCase, 0);
    EXPECT_EQ(a[0].DelimList.size(), 10u);
    EXPECT_EQ(a[0].WildTypeManager.TypeCards.size(), 6u);

    std::string text2 =
        "~*~ (1.2)+ Wild find and replace libraries: \n"
        "LibName=two, \n"
        "~X~ Wild find rep macro list: \n"
        "~o~ End of wild find rep macro list: 0\n"
        "~X~ Wild and type manager info: \n"
        "WildCard=#,\n"
        "~X~ Type card vector info: \n"
        "TypeCard=,PrimaryCharSet=ab,AuxCharSet=,TypeComment=,IsSkipped=Yes,\n"
        "~o~ End of type card vector info: 1\n"
        "~o~ End of wild and type manager info: \n"
        "~X~ Macro-token delim list: \n"
        "~o~ End of macro-token delim list: 0\n"
        "LibName=three, \n";  // no end frame: the stream's end closes the list
    CLibraryList b = ReadAll(text2);
    ASSERT_EQ(b.GetCount(), 2);
    EXPECT_EQ(b[0].WildTypeManager.WildCard, "#");
    ASSERT_EQ(b[0].WildTypeManager.TypeCards.size(), 1u);
    EXPECT_EQ(b[0].WildTypeManager.TypeCards[0].Name, "*");
    EXPECT_EQ(b[0].WildTypeManager.TypeCards[0].IsSkipped, 1);
    EXPECT_TRUE(b[0].DelimList.empty());
    EXPECT_EQ(b[1].LibName, "three");
}

TEST(LibraryFile, RandomBytesNeitherCrashNorHang) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        std::string junk(4096, '\0');
        for (char& c : junk) c = static_cast<char>(rng());
        if (round % 2) junk = "~*~ (1.2)+ Wild find and replace libraries: \n" + junk;
        // The block after the junk is still found, and the junk makes no library.
        CLibraryList list = ReadAll(junk + "\nLibName=after, \n" + kLibrariesEndMarker + "\n");
        ASSERT_EQ(list.GetCount(), 1) << round;
        EXPECT_EQ(list[0].LibName, "after");
    }
}

TEST(LibraryFile, ValueEncodings) {
    EXPECT_EQ(EncodeCharSet(", \t\r\n"), "-<com>--<blk>--<tab>--<ret>--<brk>-");
    EXPECT_EQ(DecodeCharSet("-<com>--<blk>--<tab>--<ret>--<brk>-"), ", \t\r\n");
    EXPECT_EQ(EncodeMacroText("a\r\nb\nc"), "a\\nb\\nc");
    EXPECT_EQ(DecodeMacroText("a\r\\nb\\nc"), "a\r\nb\r\nc");
    std::string big(12000, 'x');
    big.replace(big.size() - 10, 10, "0123456789");
    std::string s = ShortenMacroText(big);
    EXPECT_EQ(s.size(), 9993u);
    EXPECT_EQ(s.substr(s.size() - 23), "0123456789 (too big...)");
}

#include "platform/Prompter.h"
#include "model/Trace.h"

namespace {
class LineSink : public ITraceSink {
public:
    LineSink() : m_prev(SetTraceSink(this)) {}
    ~LineSink() override { SetTraceSink(m_prev); }
    void AppendLine(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;

private:
    ITraceSink* m_prev;
};
}  // namespace

TEST(LibraryModel, TraceCapturesListsWildCardsAndCardsWithCaptures) {
    LineSink sink;
    CWildTypeManager mgr;
    mgr.SetDefaultTypeCards();
    mgr.WildCaptures = {"ab", ""};
    mgr.TypeCards[3].Captures = {"1", "22"};
    mgr.TraceCaptures("title");
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"title", "----------(wild-cards)----------",
                                                    "1. ab", "2. ",
                                                    "----------(type-cards)----------",
                                                    "4. (^d){1}{22}"}));
}

TEST(LibraryModel, ABadSelectedIndexFromTheFileIsRefused) {
    LineSink sink;
    const int saved = g_nLibIndex;
    CLibraryList list;
    list.InsertLibrary(0, "A");
    list.InsertLibrary(1, "B");
    g_nLibIndex = 1;
    EXPECT_FALSE(list.CreateSampleLibrary());
    EXPECT_EQ(list.CurrentLibrary, 1);
    EXPECT_TRUE(sink.lines.empty());
    g_nLibIndex = 5;
    EXPECT_FALSE(list.CreateSampleLibrary());
    EXPECT_EQ(g_nLibIndex, 0);
    EXPECT_EQ(list.CurrentLibrary, 0);
    EXPECT_EQ(list.GetCount(), 2);
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_NE(sink.lines[0].find("library index 5"), std::string::npos);
    g_nLibIndex = saved;
}

TEST(LibraryModel, WildMatchesTraceTheirCapturesWhenTraceIsOn) {
    LineSink sink;
    const bool saved = g_bTrace;
    g_bTrace = true;
    CLibraryList list;
    list.Append(CLibrary("t"));
    list.Libraries[0].MacroList.push_back(CMacro("a*b", "<*1>", 1, 1, 1, 0, 0, 0, 0, 1));
    list.CurrentLibrary = 0;
    list.RunKind = 1;
    EXPECT_EQ(CConversionEngine(list).ConvertText("a1b"), "1");
    g_bTrace = saved;
    // Inside the match, under a line of underscores; then the whole match
    // under a line of equals signs.
    EXPECT_EQ(sink.lines,
              (std::vector<std::string>{std::string(39, '_'), "----------(wild-cards)----------",
                                        "1. 1", "----------(type-cards)----------",
                                        std::string(39, '='), "----------(wild-cards)----------",
                                        "1. 1", "----------(type-cards)----------"}));
}

TEST(LibraryModel, CurrentWildTypeManagerMakesALibraryWhenNoneIsValid) {
    CLibraryList list;
    list.CurrentLibrary = 3;
    CWildTypeManager mgr = list.GetCurrentWildTypeManager();
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.CurrentLibrary, 0);
    EXPECT_EQ(mgr.WildCard, "*");
    EXPECT_EQ(mgr.TypeCards.size(), 6u);
}

TEST(CurrentMacroStart, HoldsTheTwoPromptTextsBeforeAnyLoad) {
    // Run in a process of its own by ctest, so nothing has touched it yet.
    EXPECT_EQ(CurrentMacro.Find, "Key/Find");
    EXPECT_EQ(CurrentMacro.Replace, "Definition/Replace");
    EXPECT_EQ(CurrentMacro.IsMatchCase, 1);
    EXPECT_EQ(CurrentMacro.IsActive, 1);
    EXPECT_EQ(CurrentMacro.IsFindWild, 0);
}
