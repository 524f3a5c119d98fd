// The work area: the folder names every part shares and their absolute paths.
#pragma once

#include <string>
#include <vector>

// Relative folder names below the root (each ends in "/").
constexpr const char* kUserFolder = "QVL-UserInfo/";
constexpr const char* kWorkFilesFolder = "QVL-WorkFiles/";
constexpr const char* kLoadingAreaFolder = "QVL-WorkFiles/Loading-Area/";
constexpr const char* kLoadingBackUpFolder = "QVL-WorkFiles/Loading-Area/BackUp/";
constexpr const char* kLoadingTempFolder = "QVL-WorkFiles/Loading-Area/temp/";
constexpr const char* kCmdAreaFolder = "QVL-WorkFiles/Cmd-Area/";

constexpr const char* kMasterFileName = "_qvl_master.txt";
constexpr const char* kLibraryFileName = "_qvl_library.txt";
constexpr const char* kBatchLogName = "cmd_log.txt";
// In the user folder: the lock file of the window that works on the work
// area, where the file system cannot lock the user folder itself.
constexpr const char* kWorkAreaLockName = "_qvl_window.lock";

// Absolute paths, set once by CreateWorkAreaFolders and read everywhere after.
extern std::string g_strDriveRoot;
extern std::string g_strWorkFilesDir;
extern std::string g_strLoadingAreaDir;
extern std::string g_strLoadingBackUpDir;
extern std::string g_strLoadingTempDir;
extern std::string g_strCmdAreaDir;
extern std::string g_strUserInfoDir;
extern std::string g_strBufferTextDir;
extern std::string g_strSessionInfoDir;
extern std::string g_strDeprecatedDir;
extern std::string g_strSessionBackUpDir;
extern std::string g_strLibraryInfoDir;

// The work area's root: $QVL_ROOT when set, else $HOME (else the password
// entry's home, else "/"), always ending in "/".
std::string GetSystemDriveRoot();

// Appends every non-empty piece of the text that stands before a "/"; the
// piece after the last "/" is dropped (callers end the text with "/").
void SplitPathComponents(std::vector<std::string>& parts, const std::string& text);

// Creates every missing folder along the path; true when every folder exists
// afterwards. An empty path is true.
bool MakeFolderPath(const std::string& path, unsigned mode = 0755);

// Sets every path value from the root and creates the ten folders in their
// fixed order; the walk goes on past a failure, and the folders that failed
// are named, with the reason, in one message through the prompter. Returns
// the failed places.
std::vector<int> CreateWorkAreaFolders();

// Sets the path values from a root without creating anything.
void SetWorkAreaPaths(const std::string& root);
