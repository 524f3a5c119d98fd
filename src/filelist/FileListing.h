// The column listing of selected file items laid out by the user's report
// columns, the web links of ".url" shortcuts, and the small text helpers the
// listings share.
#pragma once

#include <string>
#include <vector>

class CProgramData;
class CSessionReport;

// ---- report columns
// True when some column of that exact name is included.
bool FindColumn(const CSessionReport& report, const std::string& name);
// Exchanges columns i and j; false, with nothing changed, when i equals j,
// either is outside the list.
bool SwapColumns(CSessionReport& report, int i, int j);
// The seven column names the listing knows, in value-list order.
const std::vector<std::string>& KnownColumnNames();

// ---- listings
// One row per item index (a bad index gives a row of empty values): the
// included columns in column order; a column with a gutter is put that many
// blanks after the longest row so far, a column without one follows
// directly. Rows joined by CR LF, no line end after the last.
std::string ListFileItems(const CProgramData& data, const CSessionReport& report, int p, int s, int b,
                          const std::vector<int>& items);
// For every selected item of the basket: the shortcut's name and its
// address, each followed by CR LF.
std::string GetWebLinkText(const CProgramData& data, int p, int s, int b);

// ---- text helpers
// The file's lines without their line ends; false with the message "Failed
// to read the file: " + path when it cannot be read (lines unchanged).
bool ReadFileLines(const std::string& path, std::vector<std::string>& lines);
// "parent/name" of a path; the name alone with one "/" only; the path
// without any.
std::string GetParentAndFileName(const std::string& path);
std::size_t MaxStringLength(const std::vector<std::string>& lines);
void PadLinesToEqualLength(std::vector<std::string>& lines);
void PrefixLines(std::vector<std::string>& lines, int blanks);
void AppendColumnAligned(std::vector<std::string>& rows, const std::vector<std::string>& values);
void AppendColumn(std::vector<std::string>& rows, const std::vector<std::string>& values);
// Blanks after the text until its last line is n characters long.
void PadLastLineToWidth(std::string& text, std::size_t n);
