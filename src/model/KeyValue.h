// The key=value reading and writing shared by every data file.
#pragma once

#include <initializer_list>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

// The comma code: a comma inside a free-text value is stored as this text.
constexpr const char* kCommaCode = "[<]my_comma[>]";
// The colon that ends a section marker's text inside a free-text value is
// stored as this text, so that no stored line holds a marker where its
// writer did not put one (the readers find markers anywhere in a line).
constexpr const char* kColonCode = "[<]my_colon[>]";
// The "[" of a "[<]" that a value itself holds, so that the value never
// reads back as a code.
constexpr const char* kBracketCode = "[<]my_bracket[>]";
// A carriage return and a line feed inside a value, so that a text holding a
// line break (a file's name, a delimiter, a comment) stays on its one line.
constexpr const char* kCrCode = "[<]my_cr[>]";
constexpr const char* kLfCode = "[<]my_lf[>]";

// The value of `key` in a line of "key=value, " pairs: the text after the
// first occurrence of the key that starts a field, up to the terminator (or
// the end of the line). A field starts at the beginning of the line, after
// ", " (or a bare ","), or, in the first field, after a blank that ends a
// line prefix such as "    0. " or "Program Option: " (a prefix holds no
// "=", so a key-like text inside the first value is no key). Empty when absent.
// The value comes back as stored: untrimmed and still comma-coded.
std::string GetKeyValue(const std::string& line, const std::string& key, char terminator = ',');

// True when the key starts a field of the line.
bool HasKey(const std::string& line, const std::string& key);

// Free-text values: every "," becomes the comma code on writing, the colon
// of every section-marker text the colon code, the "[" of every "[<]" the
// bracket code and every CR and LF the CR and LF codes; the codes become
// those characters again on reading. A text that holds none of these is
// written unchanged, and a "[<]" that starts no code reads as it stands
// (older files hold only the comma code).
std::string EncodeText(const std::string& value);
std::string DecodeText(const std::string& stored);
// The same for a text that is a whole line of its own (a macro's Find or
// Replace text, a type-card comment): commas stay; the marker colons, "[<]",
// CR and LF are coded.
std::string EncodeLineText(const std::string& text);
std::string DecodeLineText(const std::string& stored);
// A text stored as it stands, commas too (a type-card comment): only its CR,
// LF and marker colons are coded, and a "[<]" only where it would read as
// one of those codes or as the bracket code (or the whole text as the comma
// code), so that a text of an earlier build writes the same bytes. Read back
// with DecodeLineText.
std::string EncodeRawText(const std::string& text);
// GetKeyValue followed by DecodeText.
std::string GetTextValue(const std::string& line, const std::string& key);

// "key" + value + ", " as every writer puts a pair.
std::string KeyPair(const std::string& key, const std::string& value);
// The same with the value comma-coded.
std::string TextPair(const std::string& key, const std::string& value);
inline const char* YesNo(bool b) { return b ? "Yes" : "No"; }

// Each value in decimal followed by the separator ("0#3#4#").
std::string JoinIntList(const std::vector<int>& values, char separator);
// The integers between separators; empty tokens are skipped, tokens read like atoi.
std::vector<int> SplitIntList(const std::string& text, char separator);

// atoi that saturates instead of overflowing; leading blanks and a sign are taken.
int ParseInt(const std::string& text);

// True when the list holds exactly that text.
bool ContainsString(const std::vector<std::string>& list, const std::string& text);

// The position after the index that starts an item or basket line
// ("    0. "): blanks, digits, "." and one blank. 0 when the line has none.
size_t SkipIndexPrefix(const std::string& line);

// Compares the fields of a record line, from `start` on, with the keys its
// writer writes. Each field (the text between commas, blanks before it
// dropped) must begin with one of the keys, and each key must come exactly
// once; only the text after the last comma may be blank. "" for such a
// line; otherwise what is wrong, for the log: the first few unknown,
// repeated and missing keys by name (a key's value is never named, so a
// password cannot reach the log) and how many more there are.
std::string CheckRecordKeys(const std::string& line, size_t start,
                            std::initializer_list<std::string_view> keys);

// A text read from a file, fit for one log line: control characters become
// "?" and a long text is cut after `most` bytes with "...".
std::string TextForLog(std::string_view text, size_t most = 60);

// Reads one line of any length. LF, CR LF and a lone CR each end a line,
// decided line by line; a last line without a line break is read. False at
// the end of the stream; a failed read sets the stream's bad bit and never
// throws.
bool ReadLine(std::istream& in, std::string& line);
