// The Input text as a table: cut into cells, written aligned in columns, or
// written as SQL statements; and the checks of the parameters the Tabulate
// Input Text dialog gathers.
#pragma once

#include <string>
#include <vector>

// What the Tabulate Input Text dialog leaves for the tool.
struct TabulateParams {
    std::string delimiter = "|";        // "^t" is a tab, "<blank>" a blank
    std::vector<int> columnStarts;      // fixed-width columns (blank delimiter)
    std::vector<int> selectedColumns;   // the table's columns, also the SET list
    std::vector<int> whereColumns;      // the WHERE list
    std::vector<std::string> columnNames;
    std::vector<unsigned char> quoteColumns;  // set: the value is put in quotes
    std::string tableName;
    int gutter = 4;
    bool transpose = false;
    int sqlMode = 0;  // 0 tabulate, 1 UPDATE, 2 INSERT, 3 DELETE
};

// "^t" becomes a tab and "<blank>" a blank.
std::string DecodeDelimiter(const std::string& delimiter);

// Cells between the occurrences of ch; the text after the last one is a
// cell only when not empty.
void SplitAtCharacter(std::vector<std::string>& cells, const std::string& line, char ch);
// Fixed-width cells from each start to the next (or the line's end),
// trimmed; a column that starts outside the line is left out.
void SplitAtColumnStarts(std::vector<std::string>& cells, const std::string& line,
                         const std::vector<int>& starts);
// A blank delimiter cuts at the column starts, any other at its first character.
void SplitLineIntoColumns(const std::string& delimiter, const std::string& line,
                          std::vector<std::string>& cells, const std::vector<int>& starts = {});

// The table of the text's lines, each row ending with CR LF.
std::string TabulateText(const std::string& text, const TabulateParams& params);

// True for a real decimal literal: an optional sign, digits with at most one
// point (at least one digit), and an optional exponent with digits.
bool IsNumericLiteral(const std::string& text);
// A value as SQL writes it: quoted (inner quotes doubled) when the column is
// marked for quotes or the value is not a numeric literal.
std::string SqlValue(const std::string& value, bool quote);
// The SET or WHERE lines: four blanks, name, " = ", value, each ending CR
// LF; items are joined by joiner ("," for SET, " AND" for WHERE).
std::string BuildAssignmentList(const std::vector<int>& columns, const std::vector<std::string>& cells,
                                const TabulateParams& params, const std::string& joiner);
// The UPDATE statement of one data line.
std::string WriteSqlUpdate(const std::string& line, const TabulateParams& params);
// The INSERT and DELETE statements of one data line.
std::string WriteSqlInsert(const std::string& line, const TabulateParams& params);
std::string WriteSqlDelete(const std::string& line, const TabulateParams& params);
// The tool: mode 0 the table of the whole text; the SQL modes one statement
// per non-empty line after the first (the column names), each followed by
// an empty line.
std::string TabulateOrWriteSql(const std::string& text, const TabulateParams& params);

// ---- the dialog's rules ------------------------------------------------------

// The delimiter the first line suggests (tab, "|", ",", blank in this order);
// current when the line holds none of them. With a blank, starts gets the
// column starts of the line.
std::string GuessDelimiter(const std::string& firstLine, const std::string& current,
                           std::vector<int>& starts);
// 0, then every position where a run of blanks ends after the first word.
std::vector<int> FindBlankColumnStarts(const std::string& line);
// The numbers of a blank-separated list (atoi of each non-empty piece).
std::vector<int> ParseIndexList(const std::string& text);
// The dialog's numeric test of a sample value: a numeric literal.
bool IsNumericText(const std::string& text);

// What the dialog's boxes hold when a button is pressed.
struct TabulateInput {
    std::string delimiter;
    std::string columnSel;
    std::string whereSel;
    std::string gutter;
    std::string tableName;
    bool transpose = false;
    int columnCount = 0;
    bool sql = false;
};
// The result of the checks: empty message when they pass. focus names the
// box that gets the focus (its control id; 0 none).
struct TabulateCheck {
    std::string message;
    int focus = 0;
};
// Checks the boxes in the dialog's order and fills params on success
// (columns 0-based, delimiter decoded, gutter, transpose, table).
TabulateCheck ValidateTabulateInput(const TabulateInput& in, TabulateParams& params);
