#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "model/KeyValue.h"

TEST(KeyValue, KeysMatchOnlyAtTheStartOfAField) {
    const std::string item =
        "    0. FileName=a.c, FileType=local, RemHost=h1, Host=h2, BasketInd=3, ";
    EXPECT_EQ(GetKeyValue(item, "FileName="), "a.c");
    EXPECT_EQ(GetKeyValue(item, "Host="), "h2");  // not the tail of "RemHost="
    EXPECT_EQ(GetKeyValue(item, "RemHost="), "h1");
    EXPECT_EQ(GetKeyValue(item, "BasketInd="), "3");
    EXPECT_EQ(GetKeyValue(item, "Missing="), "");
    // A key inside a value is not a field.
    EXPECT_EQ(GetKeyValue("FileName=xFileType=y, FileType=local, ", "FileType="), "local");
    EXPECT_EQ(GetKeyValue("Program Option: SingleClick=No, Trace=Yes, ", "SingleClick="), "No");
    // Nor a key after a blank inside the first value.
    EXPECT_EQ(GetKeyValue("    0. FileName=a RemHost=x, RemHost=h1, ", "RemHost="), "h1");
    EXPECT_EQ(GetKeyValue("Program Option: Editor=vi Trace=Yes, Trace=No, ", "Trace="), "No");
    EXPECT_EQ(GetKeyValue("Trace=Yes", "Trace="), "Yes");  // no terminator: to the end
    EXPECT_EQ(GetKeyValue("a=1,b=2,", "b="), "2");
}

TEST(KeyValue, CommaCodeRoundTripsAndReadsOldFiles) {
    EXPECT_EQ(EncodeText("a, b"), "a[<]my_comma[>] b");
    EXPECT_EQ(DecodeText(EncodeText("a,,b,")), "a,,b,");
    // A value that is exactly "," stores as it always did.
    EXPECT_EQ(EncodeText(","), "[<]my_comma[>]");
    const std::string line = TextPair("SessionName=", "Web, Mail") + TextPair("Host=", "h");
    EXPECT_EQ(GetTextValue(line, "SessionName="), "Web, Mail");
    EXPECT_EQ(GetTextValue(line, "Host="), "h");
    // The colon of a marker's text is coded, a colon of no marker is not;
    // a "[<]" that is no code reads as it stands, as in older files.
    EXPECT_EQ(EncodeText("End of Session ID: x"), "End of Session ID[<]my_colon[>] x");
    EXPECT_EQ(EncodeText("C:\\x: y"), "C:\\x: y");
    EXPECT_EQ(EncodeText("[<]my_comma[>]"), "[<]my_bracket[>]<]my_comma[>]");
    EXPECT_EQ(DecodeText("a[<]b[<]my_comma[>]"), "a[<]b,");
}

TEST(KeyValue, IntListsAndSaturatingNumbers) {
    EXPECT_EQ(JoinIntList({0, 3, 4}, '#'), "0#3#4#");
    EXPECT_EQ(SplitIntList("##3##5#", '#'), (std::vector<int>{3, 5}));
    EXPECT_EQ(SplitIntList("", '#'), std::vector<int>{});
    EXPECT_EQ(ParseInt(" -12x"), -12);
    EXPECT_EQ(ParseInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseInt("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(ParseInt("abc"), 0);
}

TEST(KeyValue, ReadLineTakesAnyLengthAndAnyLineEnd) {
    std::string huge(50000, 'x');
    std::istringstream in("a\r\nb\n" + huge + "\r\nlast");
    std::string line;
    std::vector<std::string> lines;
    while (ReadLine(in, line)) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", huge, "last"}));
}
