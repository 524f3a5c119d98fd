// The program's log and the small file and folder helpers every part uses.
#pragma once

#include <string>
#include <vector>

class ITraceSink;

// The one log function. In batch mode every "\r" is removed and the line goes
// to the batch log followed by "\n"; otherwise it goes to the trace sink (the
// Message Window), or nowhere while no sink is set. Safe from any thread.
void WriteTrace(const std::string& line);
inline void WriteTraceString(const std::string& line) { WriteTrace(line); }

// Installs the sink of the window road; nullptr removes it. Returns the old one.
ITraceSink* SetTraceSink(ITraceSink* sink);

// The batch log ("cmd_log.txt"), opened for appending. False when it cannot
// be opened. Closing flushes it.
bool OpenBatchLog(const std::string& path);
void CloseBatchLog();
bool IsBatchLogOpen();
// True when a write to the batch log failed since it was opened (the first
// failure is said on standard error).
bool BatchLogWriteFailed();

// Reads a whole file as bytes, verbatim (a copy into it that a crash cut is
// finished first, see FinishCutCopyOf). False (and a trace line with the
// system's reason) when it cannot be read. With "Trace=" on the path is
// traced; otherwise every 256 KB read gives a "Read: %3d K." line.
bool ReadFileText(const std::string& path, std::string& text);

// The part after the last separator, or the whole text when there is none.
std::string GetPathTail(const std::string& text, char separator);
std::string GetFileNameFromPath(const std::string& path);

// The components of a path, each without its "/" (empty ones dropped).
std::vector<std::string> SplitPathFolders(const std::string& path);

// Creates every missing folder of the path. True when each folder exists
// afterwards (a file in a folder's place is a failure). New folders get mode.
bool CreateFolderPath(const std::string& path, unsigned mode = 0755);

// True when the path may be used for a new file: not empty, not only blanks,
// and none of ? " < > | \ nor a control line break or NUL.
bool IsValidPath(const std::string& path);

// The system's text for an errno value.
std::string SystemErrorText(int err);
