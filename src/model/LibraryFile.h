// The block codec of the library file "_qvl_library.txt": the library blocks
// between "~*~ (1.2)+ Wild find and replace libraries: " and
// "~*~ (1.2)- End of wild find and replace libraries: ". The option line and
// those two frame lines are written by the library file container.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "model/Library.h"

struct CReadProblems;

constexpr const char* kLibrariesBeginMarker = "~*~ (1.2)+ Wild find and replace libraries: ";
constexpr const char* kLibrariesEndMarker = "~*~ (1.2)- End of wild find and replace libraries: ";
constexpr const char* kMacroListBegin = "~X~ Wild find rep macro list: ";
constexpr const char* kMacroListEnd = "~o~ End of wild find rep macro list: ";
constexpr const char* kWildTypeBegin = "~X~ Wild and type manager info: ";
constexpr const char* kWildTypeEnd = "~o~ End of wild and type manager info: ";
constexpr const char* kTypeCardsBegin = "~X~ Type card vector info: ";
constexpr const char* kTypeCardsEnd = "~o~ End of type card vector info: ";
constexpr const char* kDelimListBegin = "~X~ Macro-token delim list: ";
constexpr const char* kDelimListEnd = "~o~ End of macro-token delim list: ";

// Reads library blocks from the line after the begin frame line and appends
// each to the list, until a line holding endMarker (its trailing blank is not
// needed) or the end of the stream. Lines of any length are read whole.
// Lines it cannot read (damaged lines, misspelt markers, a missing end line)
// are added to *skipped when it is given; they never become libraries. So
// are record lines whose keys are not the ones the writer writes (a
// misspelt, repeated or missing key): they are read, and what is wrong with
// them is noted in *problems by key name, never by value. A block without
// some of its sections is whole: it keeps the defaults there.
void ReadLibrary(std::istream& in, const std::string& endMarker, CLibraryList& list,
                 size_t* skipped = nullptr, CReadProblems* problems = nullptr);

// The writer, called per library in list order (WriteLibraryBlock calls all four).
void WriteLibraryHeader(std::ostream& out, const CLibrary& lib);
void WriteMacroList(std::ostream& out, const std::vector<CMacro>& macros,
                    const std::string& beginMarker, const std::string& endMarker,
                    bool withFlags = true);
void WriteWildTypeManager(std::ostream& out, const CWildTypeManager& manager,
                          const std::string& beginMarker, const std::string& endMarker);
void WriteTypeCards(std::ostream& out, const std::vector<CTypeCard>& cards,
                    const std::string& beginMarker, const std::string& endMarker);
void WriteDelimList(std::ostream& out, const std::vector<CMacroTokenDelim>& delims,
                    const std::string& beginMarker, const std::string& endMarker);
void WriteLibraryBlock(std::ostream& out, const CLibrary& lib);
// The begin frame line, every block and the end frame line; nothing when the list is empty.
void WriteLibraries(std::ostream& out, const CLibraryList& list);

// Section readers (the stream is positioned after the section's begin line).
void ReadLibraryHeader(const std::string& line, CLibrary& lib);
// With `skipped` given they count and note damage as ReadLibrary does.
void ReadMacroList(std::istream& in, const std::string& endMarker, bool withFlags,
                   std::vector<CMacro>& macros, size_t* skipped = nullptr,
                   CReadProblems* problems = nullptr);
void ReadWildTypeManager(std::istream& in, const std::string& endMarker, CWildTypeManager& manager,
                         size_t* skipped = nullptr, CReadProblems* problems = nullptr);
void ReadTypeCards(std::istream& in, const std::string& endMarker, std::vector<CTypeCard>& cards,
                   size_t* skipped = nullptr, CReadProblems* problems = nullptr);
void ReadDelimList(std::istream& in, const std::string& endMarker,
                   std::vector<CMacroTokenDelim>& delims, size_t* skipped = nullptr,
                   CReadProblems* problems = nullptr);
// What is wrong with the keys of the library file's option line
// ("~*~ Library option: Version=..., WorkMode=..., FR_LibIndex=..., "); ""
// when they are the writer's.
std::string CheckLibraryOptionKeys(const std::string& line);

// Value encodings of the file.
std::string EncodeCharSet(const std::string& set);
std::string DecodeCharSet(const std::string& text);
std::string EncodeMacroText(const std::string& text);
std::string DecodeMacroText(const std::string& text);
std::string ShortenMacroText(const std::string& encoded);
