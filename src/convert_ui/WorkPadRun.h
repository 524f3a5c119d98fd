// The rules of the WorkPad that need no window: one conversion run on its
// own snapshot of the libraries and the current macro, find and replace
// next on the Input text, the check before a macro joins a library, and the
// mapping between the engine's byte offsets and a text box's positions.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "model/Library.h"

// Everything one Convert works on, taken on the window thread when it starts.
struct WorkPadSnapshot {
    CLibraryList libraries;
    CMacro macro;
    int libraryIndex = 0;
    int source = 0;  // 0 the current macro, 1 the current library
};

// Takes the snapshot: a copy of the libraries and of the macro.
WorkPadSnapshot TakeWorkPadSnapshot(const CLibraryList& libraries, const CMacro& macro,
                                    int libraryIndex, int source);

// Converts text with the snapshot (on a worker). False when stop was raised:
// marker then holds "-i-aborted" and output is untouched.
bool RunWorkPadConversion(WorkPadSnapshot& snapshot, const std::string& text, std::string& output,
                          std::string& marker, const std::atomic<bool>* stop);

// "--- Itr cvt " + text + " ---"
std::string InteractiveStatusLine(const std::string& text);

// The next match of the macro in text from byte offset from; false when
// there is none (then the next search starts at the top).
bool FindNextMatch(const CLibraryList& libraries, int libraryIndex, const CMacro& macro,
                   const std::string& text, std::size_t from, std::size_t& start, std::size_t& end);

// Replace next: when [selStart, selEnd) is a match of the macro it is
// replaced in text and replaced/replacedEnd tell where the replacement
// stands; false when the selection is no match (text unchanged).
bool ReplaceSelectedMatch(const CLibraryList& libraries, int libraryIndex, const CMacro& macro,
                          std::string& text, std::size_t selStart, std::size_t selEnd,
                          std::size_t& replaced, std::size_t& replacedEnd);

// True when no macro of the library has the same Find and Replace texts and
// the same seven flags (IsActive is not compared). False without a library.
bool IsMacroNewToLibrary(const CLibraryList& libraries, int libraryIndex, const CMacro& macro);

// A text box holds LF line breaks and counts UTF-16 units; the engine works
// on the CR LF UTF-8 text. These map a byte offset of the CR LF text to the
// box position and back.
int BoxPositionOfOffset(const std::string& crlfText, std::size_t offset);
std::size_t OffsetOfBoxPosition(const std::string& crlfText, int position);
