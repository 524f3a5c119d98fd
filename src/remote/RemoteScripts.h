// The wrapper procedures a remote build stores on the host and runs there:
// a shell script for UNIX hosts, a DCL command procedure for VMS hosts.
#pragma once

#include <ctime>
#include <string>

class CFileItem;

// The closing banner both wrappers print.
extern const char* const kExecutionCompletedBanner;

// A value for a shell command line: as it is when every character is one of
// [A-Za-z0-9_./:@%+,=-], else in single quotes (a quote as '\'').
std::string QuoteShellWord(const std::string& value);

// True when every character of the value is safe in a DCL command line.
bool IsDclSafe(const std::string& value);

// The name of the local computer ("dummy" when it cannot be read), read once.
std::string GetLocalHostName();

// prefix + stamp ("%m%d%H%M%S" of the local time) + host name, cut to 31
// characters, + suffix.
void MakeUniqueRemoteName(const std::string& prefix, const std::string& suffix, std::string& name);
std::string MakeUniqueRemoteName(const std::string& prefix, const std::string& suffix,
                                 std::time_t now, const std::string& hostName);

// Writes the UNIX wrapper into the work-area root. Returns the local path and
// the remote name (the bare name). False with a message when the file
// cannot be written.
bool WriteShellScript(std::string& localPath, std::string& remoteName, const CFileItem& item,
                      std::string& message);
// Writes the VMS wrapper; the remote name is "SYS$LOGIN:" + name. False with
// a message when a value holds characters DCL does not take safely, or the
// file cannot be written.
bool WriteDclCommandProcedure(std::string& localPath, std::string& remoteName,
                              const CFileItem& item, std::string& message);

// The texts of the two wrappers (lines end with LF).
std::string MakeShellScriptText(const std::string& name, const CFileItem& item);
std::string MakeDclProcedureText(const std::string& name, const CFileItem& item);
