// Local folder walks with include and exclude filters, and the remote
// directory forms the walked files get (UNIX paths or VMS specifications).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "remote/DirEntry.h"

// One local folder met by a walk with remote mapping.
struct CFolderRecord {
    std::string strLocalDir;     // through its last "/"
    std::string strLocalDir2;    // the same folder again
    std::string strRemoteDir;    // the remote directory mapped for it
    std::string strRelativeDir;  // relative to the walk's base, without the trailing "/"
};

// Thrown by a scan with abort checks on when g_bAddFilesBreak is raised;
// code 6 at a folder's entry, 3 between entries. The add-files worker
// catches it and ends with "-d-aborted " followed by the code.
class CFolderScanAbort {
public:
    explicit CFolderScanAbort(int code) : m_nCode(code) {}
    int Code() const { return m_nCode; }

private:
    int m_nCode;
};

// Appends the absolute path of every file of the folder and its subfolders
// (depth first, in the file system's order) that matches the pattern ("*.*"
// and "*" take every file) and passes the filters. Folder links are not
// followed. A folder that cannot be read adds nothing.
void ScanLocalFolder(const std::string& folder, const std::string& pattern,
                     std::vector<std::string>& files, const std::string& include,
                     const std::string& exclude, bool abortCheck);

// Include and exclude texts are lists of patterns separated by commas,
// blanks or semicolons; "*.*" and "*" alone mean every file. A pattern
// without its "*"s and blanks matches a name that contains it (case-sensitive).
bool MatchesFileFilters(const std::string& name, const std::string& include,
                        const std::string& exclude);

// Scans the folder (abort checks on) and turns the files into entries and
// folder records. accountFolder is the last remote folder of the current
// connection account, which helps tell a VMS host; hostType is that
// account's host type, which decides where it is "UNIX" or "VMS" (a UNIX
// folder's name may hold "[" or "]").
void WalkFolderTree(const std::string& folder, bool mapRemote, const std::string& remoteDir,
                    std::vector<CDirEntry>& entries, std::vector<CFolderRecord>& records,
                    const std::string& include, const std::string& exclude,
                    const std::string& accountFolder = "", const std::string& hostType = "");
void BuildFolderLists(std::vector<std::string> files, const std::string& folder, bool mapRemote,
                      const std::string& remoteDir, std::vector<CDirEntry>& entries,
                      std::vector<CFolderRecord>& records, bool singleFiles,
                      const std::string& accountFolder = "", const std::string& hostType = "");

// The remote directory of a file's folder and the folder relative to the base.
std::pair<std::string, std::string> MapLocalFolderToRemote(const std::string& base,
                                                           const std::string& path,
                                                           const std::string& remoteDir,
                                                           const std::string& hostType);
// A UNIX directory gets its trailing "/" and "//" folded once; VMS is left
// alone. The directory's form tells which, unless hostType does.
void NormalizeRemoteDir(std::string& dir, const std::string& hostType = "");

void SortFilePaths(std::vector<std::string>& paths);
bool CompareFilePaths(const std::string& a, const std::string& b);

// The directories from just below base down to dir, shallowest first. A dir
// outside base gives the message "Invalid remote directory processed" and none.
std::vector<std::string> ConvertRemoteDirectory(const std::string& base, const std::string& dir,
                                                const std::string& accountFolder = "",
                                                const std::string& hostType = "");
void ConvertRemoteDirectoryRecursive(char separator, std::vector<std::string>& pieces,
                                     std::string& text);
std::vector<std::string> CollectRemoteDirectories(const std::string& base,
                                                  const std::vector<std::string>& dirs,
                                                  const std::string& accountFolder = "",
                                                  const std::string& hostType = "");
void SortRemoteDirectories(std::vector<std::string>& dirs);
bool CompareRemoteDirectories(const std::string& a, const std::string& b);
