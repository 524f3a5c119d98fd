#include <gtest/gtest.h>

#include "compare/TextAccess.h"
#include "filelist/OutputNames.h"
#include "model/Globals.h"
#include "platform/Prompter.h"

namespace {

using Names = std::vector<std::string>;

class OutputNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_strCommonName.clear();
        g_strNewExtension.clear();
        g_strUnixReplacement = "_";
    }
    void TearDown() override {
        SetTextWindowReaders(nullptr, nullptr);
        SetShowOutputWindowHook(nullptr);
        g_strCommonName.clear();
        g_strNewExtension.clear();
        g_strUnixReplacement = "_";
    }
    static std::vector<CFileItem> Items(const Names& names, const std::string& dir = "/w/") {
        std::vector<CFileItem> items;
        for (const auto& n : names) {
            CFileItem it(n);
            it.LocalDir = dir;
            items.push_back(it);
        }
        return items;
    }
    static std::vector<CFileItem> Numbered(int n, const std::string& name) {
        return Items(Names(std::size_t(n), name));
    }
    void OutputWindowHolds(const std::string& text) {
        SetTextWindowReaders(nullptr, [text] { return text; });
    }
    bool RulesShown() const {
        for (const auto& m : prompter.Messages())
            if (m == kInvalidNamesMessage) return true;
        return false;
    }

    RecordingPrompter prompter;
    ScopedPrompter scoped{prompter};
    Names out{"stale"};
};

TEST_F(OutputNamesTest, NamePiecesFollowTheirRules) {
    EXPECT_EQ(StripNumbers("03 report 12.txt"), "report.txt");
    EXPECT_EQ(StripNumbers("2024.txt"), ".txt");
    EXPECT_EQ(StripNumbers("report 07.txt"), "report.txt");

    EXPECT_EQ(FormatIndexNumber(1, 150), "001");
    EXPECT_EQ(FormatIndexNumber(42, 150), "042");
    EXPECT_EQ(FormatIndexNumber(150, 150), "150");
    EXPECT_EQ(FormatIndexNumber(7, 12000), "00007");
    EXPECT_EQ(FormatIndexNumber(3, 200000), "00003");  // widths stop at five digits

    std::string n = "my file (1).txt";
    MakeUnixName(n, "_");
    EXPECT_EQ(n, "my_file__1_.txt");
    n = "A&B.TXT";
    MakeUnixName(n, "-");
    EXPECT_EQ(n, "A-B.TXT");
    n = "A&B.TXT";
    MakeUnixName(n, "");
    EXPECT_EQ(n, "AB.TXT");
    n = "gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac\xf0\x9f\x98\x80.txt";  // one mark per letter, however long in UTF-8
    MakeUnixName(n, "_");
    EXPECT_EQ(n, "gr__e___.txt");
    n = ".my rc";  // only dot first: kept
    MakeUnixName(n, "_");
    EXPECT_EQ(n, ".my rc");

    // "_aux" goes into the file-name part only, never into a folder.
    EXPECT_EQ(MakeUniqueName({"/w/a_b.txt"}, "/w/a_b.txt"), "/w/a_b_aux.txt");
    EXPECT_EQ(MakeUniqueName({"/w/a.txt", "/w/a_aux.txt"}, "/w/a.txt"), "/w/a_aux_aux.txt");
    EXPECT_EQ(MakeUniqueName({"/w.d/readme"}, "/w.d/readme"), "/w.d/_auxreadme");

    EXPECT_EQ(SplitOutputLines(""), Names{});
    EXPECT_EQ(SplitOutputLines("a\r\nb"), (Names{"a", "b"}));
    EXPECT_EQ(SplitOutputLines("a\r\nb\r\n"), (Names{"a", "b", ""}));
    EXPECT_EQ(SplitOutputLines("a\rbc"), (Names{"a", "bc"}));  // a lone CR takes no letter with it
}

TEST_F(OutputNamesTest, NameChecksRefuseWhatCannotBeAFileName) {
    for (const char* bad : {"", "   ", "a?b", "a\"b", "a<b", "a>b", "a|b", "a\\b", "a\r\nb", "a\nb"})
        EXPECT_FALSE(IsValidFileName(bad)) << bad;
    EXPECT_FALSE(IsValidFileName(std::string("a\0b", 3)));
    EXPECT_TRUE(IsValidFileName("/abs/my file.txt"));

    EXPECT_FALSE(IsBareFileName("sub/a.txt"));
    EXPECT_FALSE(IsBareFileName(".."));
    EXPECT_TRUE(IsBareFileName("..hidden"));

    EXPECT_TRUE(IsValidNewName("/x/y.txt"));
    EXPECT_TRUE(IsValidNewName("y.txt"));
    EXPECT_FALSE(IsValidNewName("/x/../etc/y.txt"));
    EXPECT_FALSE(IsValidNewName("/x/y/"));
    EXPECT_FALSE(IsValidNewName("/x/.."));
    EXPECT_FALSE(IsValidNewName("a|b"));

    EXPECT_FALSE(AreValidFileNames({}, 0));
    EXPECT_TRUE(AreValidFileNames({"a"}, 0));
    EXPECT_FALSE(AreValidFileNames({"a"}, 2));
    EXPECT_TRUE(AreValidFileNames({"a", ""}, 1));
    EXPECT_FALSE(AreValidFileNames({"a", ""}, -1));
}

TEST_F(OutputNamesTest, SequentialNumbersAtEitherEnd) {
    MakeIndexedNames(2, Numbered(10, "name.txt"), out);
    ASSERT_EQ(out.size(), 10u);
    EXPECT_EQ(out[0], "/w/name 01.txt");
    EXPECT_EQ(out[9], "/w/name 10.txt");
    MakeIndexedNames(2, Numbered(9, "name.txt"), out);
    EXPECT_EQ(out[0], "/w/name 1.txt");
    EXPECT_EQ(out[8], "/w/name 9.txt");

    const auto items = Items({"report 07.txt", "readme", "2024.txt", "a1.txt"});
    MakeIndexedNames(1, items, out);
    EXPECT_EQ(out, (Names{"/w/1 report.txt", "/w/2readme", "/w/3.txt", "/w/4 a.txt"}));
    MakeIndexedNames(2, items, out);
    EXPECT_EQ(out, (Names{"/w/report 1.txt", "/w/readme2", "/w/3.txt", "/w/a 4.txt"}));

    MakeIndexedNames(3, items, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(prompter.Messages().back(), "Invalid flag");
    MakeIndexedNames(1, {}, out);
    EXPECT_TRUE(out.empty());
}

TEST_F(OutputNamesTest, CommonNameWithNumbers) {
    const auto items = Items({"x.txt", "y.c", "z"});
    g_strCommonName = "Chapter";
    MakeCommonNameNames(1, items, out);
    EXPECT_EQ(out, (Names{"/w/Chapter 1.txt", "/w/Chapter 2.c", "/w/Chapter 3"}));
    MakeCommonNameNames(2, items, out);
    EXPECT_EQ(out, (Names{"/w/1 Chapter.txt", "/w/2 Chapter.c", "/w/3 Chapter"}));
    g_strCommonName.clear();
    MakeCommonNameNames(1, items, out);
    EXPECT_EQ(out, (Names{"/w/1.txt", "/w/2.c", "/w/3"}));
    MakeCommonNameNames(0, items, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(prompter.Messages().back(), "Invalid flag");

    // A common name may not lead into another folder.
    for (const char* bad : {"../../etc/passwd", "sub/x", "a|b"}) {
        out = {"stale"};
        g_strCommonName = bad;
        MakeCommonNameNames(1, Items({".."}), out);
        EXPECT_TRUE(out.empty()) << bad;
    }
    EXPECT_TRUE(RulesShown());
}

TEST_F(OutputNamesTest, NewExtensionKeepsFoldersAndMakesNamesUnique) {
    g_strNewExtension = ".md";
    MakeExtensionNames(Items({"a.txt", "a.c", ".profile", "b"}), out);
    EXPECT_EQ(out, (Names{"/w/a.md", "/w/a_aux.md", "/w/.profile.md", "/w/b.md"}));
    // Three names colliding: "_aux" once, then twice.
    MakeExtensionNames(Items({"r.1", "r.2", "r.3"}), out);
    EXPECT_EQ(out, (Names{"/w/r.md", "/w/r_aux.md", "/w/r_aux_aux.md"}));

    for (const char* bad : {"/../../x", ".t?t", "/"}) {
        out = {"stale"};
        g_strNewExtension = bad;
        MakeExtensionNames(Items({"a.txt"}), out);
        EXPECT_TRUE(out.empty()) << bad;
    }
    EXPECT_TRUE(RulesShown());
}

TEST_F(OutputNamesTest, UnixNamesReplaceOnlyInTheFileName) {
    MakeUnixNames(Items({"a b.txt", "a-b.txt", "ok.txt"}, "/my dir/"), out);
    EXPECT_EQ(out, (Names{"/my dir/a_b.txt", "/my dir/a_b_aux.txt", "/my dir/ok.txt"}));
    g_strUnixReplacement = "/";
    MakeUnixNames(Items({"a b.txt"}), out);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(RulesShown());
}

TEST_F(OutputNamesTest, NamesFromTheOutputWindow) {
    const auto items = Items({"one.txt", "two.txt"});
    OutputWindowHolds("/tmp/x.txt\r\ny.txt\r\nextra.txt");
    MakeIndexedNames(1, items, out);
    TakeNamesFromOutputWindow(items, out);
    EXPECT_EQ(out, (Names{"/tmp/x.txt", "/w/y.txt"}));

    // Too few names (the WorkPad showing first is tested in the window).
    OutputWindowHolds("only.txt");
    TakeNamesFromOutputWindow(items, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(prompter.entries.back().text, "Not enough file names on Output window.");
    EXPECT_EQ(prompter.entries.back().icon, MsgIcon::Stop);

    // The last line of a text ending in a line break is empty: refused.
    OutputWindowHolds("a.txt\r\n");
    TakeNamesFromOutputWindow(items, out);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(RulesShown());

    // A name for the item's folder may not lead elsewhere.
    for (const char* bad : {"../evil.txt\r\nb.txt", "sub/a.txt\r\nb.txt", "/x/../y.txt\r\nb.txt", "a?.txt\r\nb"}) {
        out = {"stale"};
        OutputWindowHolds(bad);
        TakeNamesFromOutputWindow(items, out);
        EXPECT_TRUE(out.empty()) << bad;
    }
}

}  // namespace
