// The library manager's editing rules: row texts, macro moves, duplicates,
// deletes, the delimiter and type-card checks, and the written library file.
#include <gtest/gtest.h>

#include <sstream>

#include "model/LibraryFile.h"
#include "convert_ui/LibraryEditing.h"
#include "model/Globals.h"
#include "support/TempDir.h"

namespace {

std::vector<CMacro> Named(std::initializer_list<const char*> names) {
    std::vector<CMacro> v;
    for (const char* n : names) v.emplace_back(n, "");
    return v;
}

std::string Order(const std::vector<CMacro>& v) {
    std::string s;
    for (const CMacro& m : v) s += m.Find + " ";
    return s;
}

TEST(MacroRows, EscapesAndKnobColumns) {
    CMacro m("a\r\nb\tc\rd\ne", "x");
    EXPECT_EQ(MacroRowTexts(m)[0], "a\\nb\\tc\rd\\ne");
    EXPECT_EQ(m.Find, "a\r\nb\tc\rd\ne");  // only the display changes

    // A plain macro hides its wild-only flags whatever they hold.
    m.IsFindWild = 0;
    m.IsRepWild = m.IsPerLine = m.IsDelimParse = 1;
    auto t = MacroRowTexts(m);
    EXPECT_EQ(t[4], "---");
    EXPECT_EQ(t[5], "---");
    EXPECT_EQ(MacroRowImage(m), 1);

    m.IsFindWild = 1;
    m.IsRepWild = 0;
    m.IsPerLine = 1;
    m.IsCompConst = 0;
    m.IsSubFilter = 1;
    m.IsDelimParse = 0;
    m.IsActive = 0;
    t = MacroRowTexts(m);
    EXPECT_EQ(t[1], "Yes");
    EXPECT_EQ(t[2], "Yes");
    EXPECT_EQ(t[4], "No");
    EXPECT_EQ(t[5], "P-x-F-x");
    EXPECT_EQ(t[6], "No");
    EXPECT_EQ(MacroRowImage(m), 2);

    EXPECT_TRUE(MacroColumnHelp(0).empty());
    EXPECT_TRUE(MacroColumnHelp(6).empty());
    EXPECT_EQ(MacroColumnHelp(1),
              "Match case:\r\nIndicates whether the search is case sensitive or not.\r\n(Sorting by this field is not allowed.)");
}

TEST(MacroEditing, DuplicateLandsAfterEachSource) {
    auto v = Named({"a", "b", "c", "d", "e", "f"});
    const auto copies = DuplicateMacros(v, {2, 5});
    EXPECT_EQ(copies, (std::vector<int>{3, 7}));
    EXPECT_EQ(Order(v), "a b c c~ d e f f~ ");
}

TEST(MacroEditing, DeleteSelectsTheNextRowOrTheLast) {
    auto v = Named({"a", "b", "c", "d"});
    EXPECT_EQ(DeleteMacros(v, {1, 2}), 1);
    EXPECT_EQ(Order(v), "a d ");
    EXPECT_EQ(DeleteMacros(v, {1}), 0);
    EXPECT_EQ(DeleteMacros(v, {0}), -1);
    EXPECT_TRUE(v.empty());
}

TEST(MacroEditing, MovingASelectedBlockKeepsItsOrder) {
    auto v = Named({"a", "b", "c", "d"});
    // The block at the top cannot move, and its members do not trade places.
    EXPECT_EQ(MoveMacrosUp(v, {0, 1}), (std::vector<int>{0, 1}));
    EXPECT_EQ(Order(v), "a b c d ");
    EXPECT_EQ(MoveMacrosUp(v, {2, 3}), (std::vector<int>{1, 2}));
    EXPECT_EQ(Order(v), "a c d b ");
    EXPECT_EQ(MoveMacrosDown(v, {2, 3}), (std::vector<int>{2, 3}));
    EXPECT_EQ(Order(v), "a c d b ");
    EXPECT_EQ(MoveMacrosDown(v, {0, 2}), (std::vector<int>{1, 3}));
    EXPECT_EQ(Order(v), "c a b d ");
    // Scattered selections move each on its own.
    EXPECT_EQ(MoveMacrosUp(v, {1, 3}), (std::vector<int>{0, 2}));
    EXPECT_EQ(Order(v), "a c d b ");
}

TEST(MacroEditing, ActivateAndAttributesLeaveTextsAlone) {
    auto v = Named({"a", "b"});
    SetMacrosActive(v, {1}, false);
    EXPECT_EQ(v[0].IsActive, 1);
    EXPECT_EQ(v[1].IsActive, 0);
    CMacro flags;
    flags.IsMatchCase = 0;
    flags.IsFindWild = flags.IsDelimParse = 1;
    flags.IsActive = 1;
    CopyMacroAttributes(flags, v[1]);
    EXPECT_EQ(v[1].Find, "b");
    EXPECT_EQ(v[1].IsActive, 0);
    EXPECT_EQ(v[1].IsFindWild, 1);
    EXPECT_EQ(v[1].IsDelimParse, 1);
    EXPECT_EQ(v[1].IsMatchCase, 0);
}

TEST(LibraryEditing, ActiveListIsLookedUpByIndex) {
    CLibraryList libs;
    libs.Append(CLibrary("one"));
    libs.Append(CLibrary("two"));
    SetActiveLibraryIndex(libs, 1);
    EXPECT_EQ(libs.CurrentLibrary, 1);
    // Inserting before the active one moves the vectors; the lookup still finds
    // the library now at the active index.
    libs.InsertLibrary(0, "zero");
    for (int k = 0; k < 20; ++k) libs.Append(CLibrary("more"));
    ASSERT_NE(ActiveMacroList(libs), nullptr);
    EXPECT_EQ(ActiveMacroList(libs), &libs[1].MacroList);
    libs.Clear();
    EXPECT_EQ(ActiveMacroList(libs), nullptr);
    // The fallback makes a default library.
    CLibrary& lib = CurrentLibraryWithFallback(libs);
    EXPECT_EQ(lib.LibName, "test-library");
    EXPECT_EQ(libs.CurrentLibrary, 0);
    EXPECT_EQ(NewLibraryPosition({2}, 5), 3);
    EXPECT_EQ(NewLibraryPosition({}, 5), 5);
    EXPECT_EQ(RowAfterDelete(4, 4), 3);
    EXPECT_EQ(RowAfterDelete(0, 0), -1);
    g_nLibIndex = 0;
}

TEST(DelimiterEditing, ChecksAndWhites) {
    auto rows = DefaultDelimList();
    EXPECT_EQ(EscapeWhites(rows[4].BeginDelim), "\\b");
    EXPECT_EQ(UnescapeWhites("\\b\\r\\n\\t\\x"), " \r\n\t\\x");
    EXPECT_EQ(CheckDelimiter(rows, true, "", "", "", -1).message, "Empty delimeter.");
    EXPECT_EQ(CheckDelimiter(rows, false, "", "", ")", -1).message, "Empty \"Begin\" delimeter.");
    EXPECT_EQ(CheckDelimiter(rows, false, "", "x", "", -1).focus, DelimField::End);
    // Only the begin side counts: "(" "]" collides with "(" ")".
    EXPECT_EQ(CheckDelimiter(rows, false, "", "(", "]", -1).message, "Already listed.");
    // Typing "\b" is the blank that is already listed.
    EXPECT_EQ(CheckDelimiter(rows, true, "\\b", "", "", -1).message, "Already listed.");
    // A row may keep its own text.
    EXPECT_TRUE(CheckDelimiter(rows, true, ",", "", "", 0).message.empty());
    EXPECT_TRUE(CheckDelimiter(rows, true, ";", "", "", -1).message.empty());
    const CMacroTokenDelim d = MakeDelimiter(false, "", "\\t", "x");
    EXPECT_EQ(d.BeginDelim, "\t");
    EXPECT_EQ(d.IsSingle, 0);
    EXPECT_EQ(DeleteDelimiters(rows, {9}), 8);
}

TEST(TypeCardEditing, ChecksModifyAndSkip) {
    CWildTypeManager store;
    store.SetDefaultTypeCards();
    EXPECT_EQ(CheckTypeCard(store, "x", "a", -1).message,
              "Type card must be of length 2, and begin with \"^\".");
    EXPECT_EQ(CheckTypeCard(store, "^d", "a", -1).message, "Type card already listed.");
    EXPECT_TRUE(CheckTypeCard(store, "^d", "a", 3).message.empty());
    EXPECT_EQ(CheckTypeCard(store, "^x", "", -1).focus, CardField::Primary);

    std::string p = "aabba", a = "";
    store.AddTypeCard("^x", p, a, "");
    EXPECT_EQ(p, "ab");

    // The auxiliary set of "^n" becomes exactly one TAB.
    std::string np = "\r\n", na = "\t";
    ModifyTypeCard(store, 1, "^n", np, na, "c");
    EXPECT_EQ(store.TypeCards[1].AuxSet, "\t");
    EXPECT_EQ(store.TypeCards[1].AuxCharSet, "\t");

    store.TypeCards[0].IsSkipped = 1;
    ToggleSkipped(store, {0, 1});
    EXPECT_EQ(store.TypeCards[0].IsSkipped, 0);
    EXPECT_EQ(store.TypeCards[1].IsSkipped, 1);
    SwapTypeCards(store, 0, 1);
    EXPECT_EQ(store.TypeCards[0].Name, "^n");
    EXPECT_EQ(store.TypeCards[0].IsSkipped, 1);
    EXPECT_EQ(DeleteTypeCards(store, {5, 6}), 4);
    EXPECT_EQ(TypeCardNames(store).size(), 5u);
}

TEST(LibraryEditing, EditedLibraryFileReadsBackTheSame) {
    CLibraryList libs;
    libs.InsertLibrary(0, "edited");
    auto& macros = libs[0].MacroList;
    macros.emplace_back("a\r\nb", "c\td");
    macros.emplace_back("*x*", "y");
    macros[1].IsFindWild = macros[1].IsPerLine = 1;
    DuplicateMacros(macros, {0});
    MoveMacrosDown(macros, {0});
    libs[0].DelimList.push_back(MakeDelimiter(false, "", "<<", ">>"));
    std::string p = "xyz", a = " ";
    libs[0].WildTypeManager.AddTypeCard("^q", p, a, "quote");
    libs[0].WildTypeManager.WildCard = "%";

    std::stringstream file;
    WriteLibraries(file, libs);
    std::string first;
    std::getline(file, first);
    CLibraryList back;
    ReadLibrary(file, kLibrariesEndMarker, back);
    ASSERT_EQ(back.GetCount(), 1);
    const CLibrary& lib = back[0];
    ASSERT_EQ(lib.MacroList.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lib.MacroList[i].Find, macros[i].Find);
        EXPECT_EQ(lib.MacroList[i].Replace, macros[i].Replace);
        EXPECT_EQ(MacroRowTexts(lib.MacroList[i]), MacroRowTexts(macros[i]));
    }
    ASSERT_EQ(lib.DelimList.size(), libs[0].DelimList.size());
    EXPECT_EQ(lib.DelimList.back().EndDelim, ">>");
    EXPECT_EQ(lib.WildTypeManager.WildCard, "%");
    EXPECT_EQ(TypeCardNames(lib.WildTypeManager), TypeCardNames(libs[0].WildTypeManager));
}

}  // namespace

namespace {

TEST(LibraryExchange, ImportMergeSplitAndReservedPath) {
    CLibraryList target, source;
    for (const char* n : {"t0", "t1", "t2"}) target.Append(CLibrary(n));
    for (const char* n : {"A", "B", "C"}) source.Append(CLibrary(n));
    source[0].MacroList.emplace_back("x", "y");
    InsertImportedLibraries(target, 1, source, {0, 2, 7, -1});
    EXPECT_EQ(target.GetLibNames(), (std::vector<std::string>{"t0", "t1", "(i) A", "(i) C", "t2"}));
    EXPECT_EQ(target[2].MacroList.size(), 1u);
    // Importing an imported one again; a bad position appends.
    CLibraryList again;
    again.Append(target[2]);
    InsertImportedLibraries(target, 99, again, {0});
    EXPECT_EQ(target.GetLibName(5), "(i) (i) A");
    InsertImportedLibraries(target, 0, source, {});
    EXPECT_EQ(target.GetCount(), 6);

    EXPECT_EQ(SplitOutputTextLines("a\r\nb"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitOutputTextLines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b", ""}));

    TempDir dir;
    const std::string reserved = dir / "_qvl_library.txt";
    WriteFile(reserved, "x");
    EXPECT_TRUE(IsReservedLibraryPath(dir.dir() + "./_qvl_library.txt", reserved));
    std::filesystem::create_symlink(reserved, dir / "link.txt");
    EXPECT_TRUE(IsReservedLibraryPath(dir / "link.txt", reserved));
    EXPECT_FALSE(IsReservedLibraryPath(dir / "_QVL_library.txt", reserved));
}

}  // namespace
