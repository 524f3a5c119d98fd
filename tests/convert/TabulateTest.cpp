// The table and SQL writer and the checks of their parameters.
#include <gtest/gtest.h>

#include "convert/Tabulate.h"

namespace {
TabulateParams Params(const std::string& delim, std::vector<int> sel, int gutter = 2) {
    TabulateParams p;
    p.delimiter = delim;
    p.selectedColumns = std::move(sel);
    p.gutter = gutter;
    return p;
}
}  // namespace

TEST(Tabulate, CellsAreCutAtTheDelimiterOrTheColumnStarts) {
    std::vector<std::string> cells;
    SplitAtCharacter(cells, "a,,b,", ',');
    EXPECT_EQ(cells, (std::vector<std::string>{"a", "", "b"}));
    cells.clear();
    SplitLineIntoColumns("<blank>", "ab   cd", cells, {0, 5});
    EXPECT_EQ(cells, (std::vector<std::string>{"ab", "cd"}));
    cells.clear();
    SplitLineIntoColumns("^t", "x\ty", cells);
    EXPECT_EQ(cells, (std::vector<std::string>{"x", "y"}));
    // A start past the end of a short line is left out.
    cells.clear();
    SplitAtColumnStarts(cells, "ab", {0, 5});
    EXPECT_EQ(cells, (std::vector<std::string>{"ab"}));
}

TEST(Tabulate, TableAlignsTransposesAndReorders) {
    EXPECT_EQ(TabulateText("a,bb\r\nccc,d", Params(",", {0, 1})), "a    bb\r\nccc  d\r\n");
    TabulateParams t = Params(",", {0, 1});
    t.transpose = true;
    EXPECT_EQ(TabulateText("a,bb\r\nccc,d", t), "a   ccc\r\nbb  d\r\n");
    EXPECT_EQ(TabulateText("a,bb\r\nccc,d", Params(",", {1, 0}, 1)), "bb a\r\nd  ccc\r\n");
    // Indexes past a row's end are skipped, not read.
    EXPECT_EQ(TabulateText("a,b\r\nc", Params(",", {1, 7})), "b\r\n");
}

TEST(Tabulate, SqlUpdateQuotesAndJoinsSafely) {
    TabulateParams p = Params(",", {1});
    p.whereColumns = {0};
    p.columnNames = {"id", "name"};
    p.quoteColumns = {0, 1};
    p.tableName = "t";
    EXPECT_EQ(WriteSqlUpdate("7,x", p), "UPDATE t SET \r\n    name = 'x'\r\n WHERE \r\n    id = 7\r\n");
    // An embedded quote is doubled.
    EXPECT_EQ(WriteSqlUpdate("7,O'Brien", p),
              "UPDATE t SET \r\n    name = 'O''Brien'\r\n WHERE \r\n    id = 7\r\n");
    // A value of an unquoted column that is no number is quoted anyway.
    EXPECT_EQ(WriteSqlUpdate("1; DROP TABLE t,x", p),
              "UPDATE t SET \r\n    name = 'x'\r\n WHERE \r\n    id = '1; DROP TABLE t'\r\n");
    // Several WHERE columns are joined with AND.
    p.whereColumns = {0, 1};
    p.selectedColumns = {0};
    EXPECT_EQ(WriteSqlUpdate("7,x", p),
              "UPDATE t SET \r\n    id = 7\r\n WHERE \r\n    id = 7 AND\r\n    name = 'x'\r\n");
    // A missing cell or name is never read past its list.
    p.whereColumns = {5};
    EXPECT_EQ(WriteSqlUpdate("7", p), "UPDATE t SET \r\n    id = 7\r\n WHERE \r\n     = ''\r\n");
    // A name that is no plain name is quoted as an identifier.
    p.columnNames = {" first name", "say \"hi\"; --"};
    p.selectedColumns = {0, 1};
    p.whereColumns = {};
    EXPECT_EQ(WriteSqlUpdate("7,x", p), "UPDATE t SET \r\n    \"first name\" = 7,\r\n    \"say \"\"hi\"\"; --\" = 'x'\r\n");
    p.sqlMode = 2;
    p.columnNames = {"t.id", "2nd"};
    EXPECT_EQ(WriteSqlInsert("7,x", p), "INSERT INTO t (t.id, \"2nd\") \r\nVALUES (7, 'x')\r\n");
    // A reserved word, in any case and as any part of a qualified name, is quoted.
    p.columnNames = {"t.Order", "select"};
    EXPECT_EQ(WriteSqlInsert("7,x", p), "INSERT INTO t (t.\"Order\", \"select\") \r\nVALUES (7, 'x')\r\n");
    p.columnNames = {"selected", "from_date"};
    EXPECT_EQ(WriteSqlInsert("7,x", p), "INSERT INTO t (selected, from_date) \r\nVALUES (7, 'x')\r\n");
}

TEST(Tabulate, NumbersAreRealDecimalLiterals) {
    for (const char* n : {"12", "-3", "+4.5", "3.5e2", "1E-3", ".5", "5."}) EXPECT_TRUE(IsNumericLiteral(n)) << n;
    for (const char* n : {"", "3.5e", "e", "-", "1.2.3", "1e+", "12abc", "0x10", "1 2"})
        EXPECT_FALSE(IsNumericLiteral(n)) << n;
}

TEST(Tabulate, SqlModesWriteOneStatementPerDataLine) {
    TabulateParams p = Params(",", {0, 1});
    p.columnNames = {"id", "name"};
    p.quoteColumns = {0, 1};
    p.tableName = "db..t";
    p.sqlMode = 2;
    EXPECT_EQ(TabulateOrWriteSql("id,name\r\n1,a\r\n\r\n2,b", p),
              "INSERT INTO db..t (id, name) \r\nVALUES (1, 'a')\r\n\r\n"
              "INSERT INTO db..t (id, name) \r\nVALUES (2, 'b')\r\n\r\n");
    p.sqlMode = 3;
    p.whereColumns = {0};
    EXPECT_EQ(TabulateOrWriteSql("id,name\r\n1,a", p), "DELETE FROM db..t WHERE \r\n    id = 1\r\n\r\n");
    EXPECT_EQ(TabulateOrWriteSql("", p), "");
}

TEST(Tabulate, DialogRulesGuessParseAndCheck) {
    std::vector<int> starts;
    EXPECT_EQ(GuessDelimiter("a\tb,c", "|", starts), "^t");
    EXPECT_EQ(GuessDelimiter("a,b c", "|", starts), ",");
    EXPECT_EQ(GuessDelimiter("abc", "|", starts), "|");
    EXPECT_EQ(GuessDelimiter("abcd   efg h", "|", starts), "<blank>");
    EXPECT_EQ(starts, (std::vector<int>{0, 7, 11}));
    EXPECT_EQ(ParseIndexList("1 2  3 "), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ParseIndexList("ab"), (std::vector<int>{0}));

    TabulateInput in;
    in.delimiter = "^t";
    in.columnSel = "3 1 3";
    in.gutter = "200";
    in.columnCount = 3;
    TabulateParams p;
    EXPECT_EQ(ValidateTabulateInput(in, p).message, "");
    EXPECT_EQ(p.selectedColumns, (std::vector<int>{2, 0, 2}));
    EXPECT_EQ(p.delimiter, "\t");
    in.columnSel = "4";
    TabulateCheck c = ValidateTabulateInput(in, p);
    EXPECT_EQ(c.message, "Invalid index listed for the column selection: 4");
    EXPECT_EQ(c.focus, 1659);
    in.columnSel = "0";
    EXPECT_EQ(ValidateTabulateInput(in, p).message, "Invalid index listed for the column selection: 0");
    in.columnSel = "";
    EXPECT_EQ(ValidateTabulateInput(in, p).message, "No columns selected.");
    in.columnSel = "1";
    in.whereSel = "9";
    EXPECT_EQ(ValidateTabulateInput(in, p).message, "Invalid index listed for the WHERE selection: 9");
    in.whereSel = "";
    for (const char* g : {"-1", "201"}) {
        in.gutter = g;
        EXPECT_EQ(ValidateTabulateInput(in, p).message, "Gutter must be:   0 <= value <= 200.") << g;
    }
    in.gutter = "0";
    in.sql = true;
    in.tableName = "   ";
    EXPECT_EQ(ValidateTabulateInput(in, p).message, "Emtpy database..table name.");
    in.tableName = " db..t ";
    EXPECT_EQ(ValidateTabulateInput(in, p).message, "");
    EXPECT_EQ(p.tableName, "db..t");
    in.delimiter = "";
    EXPECT_EQ(ValidateTabulateInput(in, p).message, "Delimiter is empty.");
}
