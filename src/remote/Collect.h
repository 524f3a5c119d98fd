// Collecting every file below a remote folder: the walk over an open
// connection, the order of the collected entries and the local folders that
// mirror their places under a local root.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "remote/DirEntry.h"

class CFtpClient;

// Raised by the browser's Cancel; the walk ends at its next folder.
extern std::atomic<bool> g_bStopRemoteCollect;

// A local folder with one trailing "/" and no doubled "/".
std::string NormalizeLocalFolder(std::string folder);

// Remote folders compared lower-cased with "." and "/" read as "a", then
// the names byte-wise.
bool RecursiveEntryLess(const CDirEntry& a, const CDirEntry& b);

// One local folder per distinct remote folder (and roots).
struct FolderRecord {
    std::string key;
    std::string localDir;
    std::string third;
};

// The local folder of a remote folder R below the remote root: the local
// root plus the rest of R, in its own case (a VMS folder, whose server
// ignores case, lower-cased). Empty when R is not below the root or its rest
// would leave the local root.
std::string MapLocalFolderPath(const std::string& hostType, const std::string& remoteFolder,
                               const std::string& remoteRoot, const std::string& localRoot);
void MapLocalFolder(const std::string& hostType, CDirEntry& entry, const std::string& remoteFolder,
                    const std::string& remoteRoot, const std::string& localRoot,
                    std::vector<FolderRecord>& records);
void AssignLocalFolders(const std::string& hostType, const std::string& remoteRoot, bool keepTree,
                        const std::string& localRoot, std::vector<CDirEntry>& entries,
                        std::vector<FolderRecord>& records);

enum class WalkEnd { Done, Stopped, Failed };
// How many folders deep a walk goes below its start folder; a folder
// deeper than that (an endless tree, a link back up) is left out with a line.
constexpr int kMaxCollectDepth = 64;
// Lists folder and every folder below it (CWD, LIST, and CWD back after
// each subfolder) and appends the files that pass the filters. depth is
// the folder's level below the start folder. A folder whose listing the
// server cut short at its limit gets a line in the log and, with cut
// given, is appended there.
WalkEnd ListDirectoryRecursive(CFtpClient& client, const std::string& hostType,
                               const std::string& folder, const std::string& keep,
                               const std::string& exclude, std::vector<CDirEntry>& entries,
                               int depth = 0, std::vector<std::string>* cut = nullptr);

// The whole collection: the walk from the start folder, the sort and the
// local folders; entries that would share a local path with an earlier one
// are refused. The entries are valid only when Done comes back; cut gets
// the folders whose listings the server cut short.
WalkEnd CollectRecursive(CFtpClient& client, const std::string& hostType,
                         const std::string& remoteRoot, const std::string& startFolder,
                         const std::string& localRoot, bool keepTree, const std::string& keep,
                         const std::string& exclude, std::vector<CDirEntry>& entries,
                         std::vector<std::string>* cut = nullptr);

// What the user is told when the server cut listings of the walk short:
// the files past its limit are not collected.
std::string CutListingsText(const std::vector<std::string>& folders);

// Drops every entry whose local path (local folder + name) an earlier entry
// already has, so that no two remote files end in one local file; the
// dropped ones are listed in the log. The number dropped.
size_t RefuseSharedLocalPaths(std::vector<CDirEntry>& entries);

// The trace table of the collected entries, with its closing line.
std::string CollectedEntriesText(const std::vector<CDirEntry>& entries);
