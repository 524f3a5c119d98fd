// Remote delete procedures: a shell script (UNIX) or a DCL procedure (VMS)
// that deletes the chosen names in one remote folder and then itself; it is
// uploaded by FTP and run through rexec.
#pragma once

#include <ctime>
#include <string>
#include <vector>

class CFtpClient;

// "_DEL_QVL_" + "%m%d%H%M%S" of now + the host name (bytes outside
// [A-Za-z0-9._-] dropped), cut to 31 characters, then the suffix.
std::string MakeUniqueScriptName(const std::string& suffix, std::time_t now,
                                 const std::string& hostName);
// The local host name ("dummy" when it cannot be had).
std::string LocalHostName();
// A value for a POSIX shell: as it is when made only of safe characters,
// otherwise in single quotes.
std::string ShellQuote(const std::string& value);
// True when DCL takes the value safely: a folder ("[A.B]", "DISK:[A]") or a
// file name.
bool IsDclSafe(const std::string& value, bool folder);

// The lines of the procedures (without line ends). A folder flag deletes
// the first name with everything below it; otherwise every name is a file.
std::vector<std::string> UnixDeleteScript(const std::string& scriptName, const std::string& folder,
                                          const std::vector<std::string>& names, bool folderFlag);
// False (with the refusal in error) when a value is not safe for DCL.
bool VmsDeleteScript(const std::string& scriptName, const std::string& folder,
                     const std::vector<std::string>& names, bool folderFlag,
                     std::vector<std::string>& lines, std::string& error);

// Where a procedure goes on the host: UNIX folder + "/" + name, VMS folder + name.
std::string RemoteScriptPath(const std::string& hostType, const std::string& folder,
                             const std::string& name);

// Writes the procedure to a new local file (mode 0600); false when it
// cannot be written.
bool WriteScriptFile(const std::string& path, const std::vector<std::string>& lines);

// Uploads the local procedure, deletes the local copy and runs it through
// rexec (UNIX "sh FILE", VMS "@FILE"). Failures go to the trace only.
// Meant for a worker thread: it never asks the user anything.
bool RunRemoteDelete(CFtpClient& client, const std::string& hostType, const std::string& host,
                     const std::string& user, const std::string& password,
                     const std::string& localFile, const std::string& remoteFile);
