// The rules of the diff windows that need no window: names and labels of
// the panes, stepping from difference to difference, searching a pane,
// going to a line, copying rows and comparing two lines character by
// character. They read the rows of a diff result where they stand.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/DiffLine.h"
#include "compare/DiffOptions.h"

// The rows of one column of a diff result.
using DiffRows = std::vector<CDiffRow>;

// The last two components of a path ("dir/file"); a name without a
// separator stays whole. Both '/' and '\' separate.
std::string ShortenDiffName(const std::string& name);

// The group of the last row that belongs to a difference; 0 when none does.
int LastDifferenceNumber(const DiffRows& rows);

// The text of the line-number column: "" for a filler, "." for a filler of
// the three-file alignment when traceFillers is set, else lineNo + 1.
std::string DiffLineNumberText(int lineNo, bool traceFillers);

// The suffix of a left or right pane label for row r: " (g/last)",
// " (ok/last)" on an unchanged row, " ~" when r is not a row of the pane.
std::string DiffLabelSuffix(const DiffRows& rows, int r, int lastDifference);

// The first row of the next difference after row current over the given
// panes (all of equal length); the row count when there is none. A current
// row below 0 looks for the first difference from the top.
int NextDifferenceRow(const std::vector<const DiffRows*>& panes, int current);
// The last row of the previous difference before row current; -1 when none.
int PreviousDifferenceRow(const std::vector<const DiffRows*>& panes, int current);

// Searches a pane from the row after selected (from 0 when selected < 0)
// to the end, then from the top through the selected row. With partial the
// text and each row are trimmed of blanks at both ends and a row matches
// when it contains the text; without, a row must equal the text. Case
// matters. The matching row, or -1.
int FindRowInPane(const DiffRows& rows, const std::string& text, bool partial, int selected);

// The row a Go To entry leads to: nullopt for an entry that is not a
// decimal number of 1 or more; past the end it is the last row.
std::optional<int> GoToLineRow(const std::string& entry, int rowCount);

// The texts of the rows, each followed by CR LF; rows outside are skipped.
std::string CopyRowsText(const DiffRows& rows, const std::vector<int>& selection);
// "1 line copied to clipboard.", "3 lines copied to clipboard."
std::string CopiedRowsTrace(int count);

// Two lines compared character by character.
struct TwoLineComparison {
    std::string first;    // the lines as compared (lower-cased, fragments removed
    std::string second;   // under the options)
    std::string markers;  // '|' under each differing position, ' ' elsewhere
    std::string verdict;  // "(Identical)" or "(Different)" with the option notes
    bool identical = false;
};
TwoLineComparison CompareTwoLines(std::string first, std::string second, const CDiffOptions& options);
