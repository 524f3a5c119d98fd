// How a conversion run is driven: its batch step, its stop flags, its sinks,
// and the exception that ends a run from deep inside a pass.
#pragma once

#include <atomic>
#include <string>

#include "model/Library.h"
#include "model/Globals.h"
#include "model/SafeFile.h"

class IProgressSink;

// The index of the library chosen in the conversion dialogs ("FR_LibIndex=").
inline int& g_nSelectedLibraryIndex = g_nLibIndex;

// The batch step the starters set: 0 convert and write the changed files,
// 1 record instances and write nothing, 2 commit the kept instances.
extern int g_nBatchStep;
// Set while the batch applies the current macro instead of the library.
extern bool g_bBatchUseCurrentMacro;
// The macro of the work pad and the interactive dialog.
extern CMacro CurrentMacro;

// Reads a file for conversion: bytes as they are with every lone LF turned
// into CR LF. False, with the reason, when it cannot be read or holds a NUL
// byte (binary: reason "(binary)"). stamp, when given, is what the file was
// as read (see CSafeWriter::ReplaceOnlyIfUnchanged); crlf, when given, says
// whether the file's line ends are CR LF (its first line end is), so that
// its converted text is written with the line ends it had.
bool ReadFileForConversion(const std::string& path, std::string& text, std::string& reason,
                           CFileStamp* stamp = nullptr, bool* crlf = nullptr);
// Copies a file byte for byte the way WriteFileReplacing writes.
bool CopyFileReplacing(const std::string& from, const std::string& to, std::string& reason);
// Writes bytes to a temporary file in the target's folder and renames it over
// the target; missing folders are created; a link is written through and
// stays a link. append adds to the end instead.
// stripCr writes a converted text with LF line ends: CR LF reaches the disk
// as LF (for an input whose line ends were LF).
// A file converted in place passes what it was when read (unchanged): it is
// replaced only while it is still that, else the write fails.
bool WriteFileReplacing(const std::string& path, const std::string& bytes, bool append,
                        std::string& reason, bool stripCr = false,
                        const CFileStamp* unchanged = nullptr);
// True when every match of the macro lies within one line and its result
// does not depend on the text outside that line (no wild-card symbol, no
// line breaks in its literals or type-cards, no sub-filter, no delimiter
// parsing): a text may then be converted in parts cut after line feeds.
// Running numbers are the one exception; the caller checks them with
// CounterTagsExpandedOnThisThread(). manager is the library's (null: the default).
bool IsLineConfinedMacro(const CMacro& macro, const CWildTypeManager* manager);
// True when a wild macro's matches may reach across lines but each piece of
// its Find (the texts between wild-card symbols) keeps to one line: two or
// more pieces, no leading or trailing symbol, no line break in a literal or a
// type-card, no sub-filter, no delimiter parsing. A text may then be
// converted by it in parts, each part taking along the text from where a
// match may still start (see CConversionEngine::FindFirstPiece).
bool IsWideStreamableMacro(const CMacro& macro, const CWildTypeManager* manager);
// True when two local paths name the same file (compared in canonical form).
bool IsSamePath(const std::string& a, const std::string& b);

// Thrown by an abort check; caught at the top of the run, which writes the marker.
class CConversionAbort {
public:
    explicit CConversionAbort(std::string marker) : m_strMarker(std::move(marker)) {}
    const std::string& Marker() const { return m_strMarker; }

private:
    std::string m_strMarker;
};

// A run set-up from the program-wide values (batch step, current macro,
// selected library), taken once so that the run does not see later changes.
CConversionRun MakeConversionRun();

// "--- Batch cvt " + text + " ---" to the trace (the batch log in batch mode);
// the batch kind becomes idle and its stop and ticker flags are cleared.
void LogBatchConversion(const std::string& text);
