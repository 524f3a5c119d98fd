// The one-shot text tools of the main window. Each takes the Input window's
// text (CR LF line breaks) and gives the text the Output window shows: sort,
// duplicate removal, frequency count, multi-line break clearing, case
// changes, tab expansion, the line-break view and "Append Right".
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

class CLibraryList;

// Lines joined with CR LF between them and none after the last.
std::string JoinTextLines(const std::vector<std::string>& lines);

// Number of characters of a UTF-8 text (continuation bytes do not count).
std::size_t Utf8Length(const std::string& text);
// The first n characters of a UTF-8 text (all of it when it is shorter).
std::string Utf8Prefix(const std::string& text, std::size_t n);

// The lines sorted: ascending or descending, byte order (unsigned), with or
// without case; with removeDuplicates a line equal to the last kept one
// (case counted only with matchCase) is dropped.
std::string SortTextLines(const std::string& text, bool ascend, bool matchCase,
                          bool removeDuplicates);
// Each line only at its first place (exact comparison).
std::string ClearDuplicateLines(const std::string& text);
// The non-empty lines counted: each distinct line padded to the next
// multiple of 16 above the longest, its count, a dashed line and the total.
std::string CountFrequency(const std::string& text);
// Every run of line breaks, with blanks or tabs between them, becomes one
// CR LF; uses the wild-card symbol of the list's current library (a default
// library is added when the list has none).
std::string ClearMultiLineBreaks(CLibraryList& libraries, const std::string& text);

// The text with bytes [start, end) lower-cased (upper with upper); an empty
// range means the whole text. ASCII letters only change.
std::string ChangeCaseOfRange(const std::string& text, std::size_t start, std::size_t end,
                              bool upper);

// Every CR shown as "#" and every LF as "|" and a new line.
std::string ViewLineBreaks(const std::string& text);

// ---- tabs -----------------------------------------------------------------

// The tab width a master file may hold, and the widest one the prompt takes.
constexpr int kMaxTabWidth = 256;
constexpr int kWarnTabWidth = 48;

// Column of position p within its line, counted from 0 in characters.
std::size_t TabColumn(const std::string& text, std::size_t p);
// w - (c mod w) blanks.
std::string BlanksToNextTabStop(std::size_t column, int width);
// Every tab replaced by blanks up to the next tab stop. Returns false, the
// text left as it was, when stop was raised during the work.
bool ExpandTabs(std::string& text, int width, const std::atomic<bool>* stop = nullptr);

// The answer of the "Tab Amount" prompt: the width, or 0 with the message
// to show. warn is set for a width that is accepted with a caution.
int ParseTabWidthAnswer(const std::string& answer, std::string& message, bool& warn);

// ---- Append Right ----------------------------------------------------------

// Appends the lines of block to the right of the lines of base. caret is
// the byte offset of an empty selection in base, or npos when base has a
// selection or no caret: then every base line stays whole and is padded.
// With a caret at column c each base line is cut at c and the appended line
// goes between the two parts (column 0 leaves the base part out).
std::string AppendRightText(const std::string& base, const std::string& block,
                            std::size_t caret = std::string::npos);
