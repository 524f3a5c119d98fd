#include <gtest/gtest.h>

#include "compare/TextAccess.h"

namespace {
using V = std::vector<std::string>;

struct ReadersGuard {
    ~ReadersGuard() { SetTextWindowReaders(nullptr, nullptr); }
};
}  // namespace

TEST(SplitTextIntoLines, CrLfBreaks) {
    EXPECT_EQ(SplitTextIntoLines(""), V{});
    EXPECT_EQ(SplitTextIntoLines("abc"), V{"abc"});
    EXPECT_EQ(SplitTextIntoLines("a\r\nb"), (V{"a", "b"}));
    EXPECT_EQ(SplitTextIntoLines("a\r\n"), (V{"a", ""}));
    EXPECT_EQ(SplitTextIntoLines("\r\n"), (V{"", ""}));
    EXPECT_EQ(SplitTextIntoLines("a\r\n\r\n"), (V{"a", "", ""}));
    // A lone LF stays inside its line.
    EXPECT_EQ(SplitTextIntoLines("one\ntwo"), V{"one\ntwo"});
}

// A lone CR ends its line but never swallows the first character of the next.
TEST(SplitTextIntoLines, LoneCrKeepsTheNextCharacter) {
    EXPECT_EQ(SplitTextIntoLines("a\rb"), (V{"a", "b"}));
    EXPECT_EQ(SplitTextIntoLines("a\rbc\r\nd"), (V{"a", "bc", "d"}));
    EXPECT_EQ(SplitTextIntoLines("a\r"), (V{"a", ""}));
    EXPECT_EQ(SplitTextIntoLines("\r\r"), (V{"", "", ""}));
    EXPECT_EQ(SplitTextIntoLines("a\r\r\nb"), (V{"a", "", "b"}));
}

TEST(TextWindowAccess, ReadersGiveCrLfTextAndClearTheChangedFlag) {
    ReadersGuard guard;
    EXPECT_EQ(GetInputWindowText(), "");
    bool inputChanged = true, outputChanged = true;
    SetTextWindowReaders(
        [&] {
            inputChanged = false;
            return std::string("a\nb\r\nc");
        },
        [&] {
            outputChanged = false;
            return std::string();
        });
    EXPECT_EQ(GetInputWindowText(), "a\r\nb\r\nc");
    EXPECT_FALSE(inputChanged);
    // Reading an empty window clears its flag as well.
    EXPECT_EQ(GetOutputWindowText(), "");
    EXPECT_FALSE(outputChanged);
    EXPECT_EQ(ToCrLfText("\n\r\n\r"), "\r\n\r\n\r");
}
