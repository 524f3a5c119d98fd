// The one object that holds everything the user edits: the session tree,
// the account vault, the conversion libraries and the report settings.
// Every tree operation checks its indices first; a bad index does nothing
// and gives a neutral result.
#pragma once

#include <ctime>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "model/Account.h"
#include "model/FileItem.h"
#include "model/Project.h"
#include "model/SafeFile.h"
#include "model/SessionReport.h"

#include "model/DiffResult.h"
#include "model/Library.h"

// One row of the session chooser.
struct SessionChooserEntry {
    std::string number;   // 1-based within its project
    std::string project;
    std::string session;
    bool loaded = false;
};

// What the remote browser hands back.
struct RemoteFileChoice {
    std::string name;
    std::string remoteDir;
    std::string localDir;
    int folderIndex = 0;
};
struct RemoteFolderChoice {
    std::string name;
};

// Opens a connection for the account and runs the remote browser on it with
// the pattern; on OK updates the account record as the user left it, fills
// the two lists and returns true. Installed by the remote-access layer.
using RemoteBrowserFn = std::function<bool(const std::string& pattern, CHost& account,
                                           std::vector<RemoteFileChoice>& files,
                                           std::vector<RemoteFolderChoice>& folders)>;
void SetRemoteBrowser(RemoteBrowserFn fn);

// The account tree of the Control panel, told of vault changes.
class IVaultObserver {
public:
    virtual ~IVaultObserver() = default;
    virtual void UpdateAccountItem(int cluster, int host) = 0;
    virtual void InsertAccountItem(int cluster, int host) = 0;
};
IVaultObserver* SetVaultObserver(IVaultObserver* observer);

// Ends the program (the version prompt's "No"). The default calls
// std::exit; tests install a recorder.
using ExitHook = std::function<void(int)>;
ExitHook SetExitHook(ExitHook hook);

// Version texts: 0 when a is lower at the first differing piece, 1 when
// higher, -1 when the same (or either is empty).
int CompareVersionStrings(const std::string& a, const std::string& b);
std::vector<int> SplitVersionString(const std::string& text, const std::string& separator);

// The comma code of names the user types.
std::string EncodeCommaValue(const std::string& value);
std::string DecodeCommaValue(const std::string& value);

// True when a name the user typed may be stored: no line break, no NUL.
bool IsStorableName(const std::string& name);

// Folder part of a path with its trailing "/"; empty when there is none.
std::string GetDirectoryPart(const std::string& path);

// Names (without folder) of the plain files in a folder that match a
// pattern with "*" and "?", sorted.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern);
// 2 a folder; 1 a plain file that is not hidden or temporary; 0 otherwise.
int GetPathKind(const std::string& path);

// The pieces between commas, blanks and semicolons, empty ones left out:
// "a, b;;c" -> "a", "b", "c"; "" -> none.
std::vector<std::string> SplitBySeparator(const std::string& text);
bool IsBinaryByExtension(const std::string& name);
// The host up to its first "." (from the second character on); unchanged when
// empty or starting with a digit.
std::string GetShortHostName(const std::string& host);
bool IsSameFile(const CFileItem& a, const CFileItem& b);
bool FindItemByLocalDir(const std::vector<CFileItem>& items, const CFileItem& item);
bool FindItemPtrByLocalDir(const std::vector<CFileItem*>& items, const CFileItem& item);
bool FindItemByRemoteDir(const std::vector<CFileItem>& items, const CFileItem& item);

// Renames a local file, creating the target's folder; never replaces an
// existing file. False with the reason in `error`.
bool RenameLocalFile(const std::string& oldPath, const std::string& newPath, std::string& error);
// Reads a ".url" shortcut; the outputs change only when the file was read.
void ReadUrlShortcut(const std::string& path, const std::string& fileName, std::string& name,
                     std::string& address);
// The folder picker; the chosen folder with a trailing "/", or "".
std::string BrowseForLocalFolder();

class CProgramData {
public:
    CProgramData() = default;
    virtual ~CProgramData() = default;
    CProgramData(const CProgramData&) = default;
    CProgramData& operator=(const CProgramData&) = default;

    CProjectList m_ProjectList;
    CAccountVault m_Vault;
    CLibraryList m_LibraryList;
    CSessionReport m_SessionReport;
    // The three diff results; the master palette lines live in it too.
    CDiffResultSet m_DiffResults;

    // ---- index checks
    bool IsValidProject(bool allowEnd, int p) const;
    bool IsValidSession(bool allowEnd, int p, int s) const;
    bool IsValidBasket(bool allowEnd, int p, int s, int b) const;
    bool IsValidFileItem(bool allowEnd, int p, int s, int b, int f) const;

    // ---- session tree
    bool InsertProject(const std::string& name, int p);
    bool InsertSession(const std::string& name, int p, int s);
    bool InsertSessionCopy(CSession session, int p, int s);
    bool InsertBasket(const std::string& name, int p, int s, int b);
    bool DeleteProject(int p);
    bool DeleteSession(int p, int s);
    bool DeleteBasket(int p, int s, int b);
    bool DeleteAllBaskets(int p, int s);

    int GetProjectCount() const;
    std::string GetProjectName(int p) const;
    bool SetProjectName(int p, const std::string& name);
    int GetSessionCount(int p) const;
    std::string GetSessionName(int p, int s) const;
    bool SetSessionName(int p, int s, const std::string& name);
    int GetBasketCount(int p, int s) const;
    std::string GetBasketName(int p, int s, int b) const;
    bool SetBasketName(int p, int s, int b, const std::string& name);
    std::string GetBoxFileName(int p, int s) const;
    std::string MakeBoxFileName(int p, int s) const;
    void SetSessionBox(int p, int s, const std::string& name);
    void SetSessionLoaded(int p, int s, bool loaded);
    void SetSessionRemoteDir(int p, int s, const std::string& folder);
    void SetCurrentBasket(int p, int s, int b);
    int GetCurProject() const;
    int GetCurSession() const;
    int GetCurBasket() const;
    void SetCurProject(int p);
    void SetCurSession(int p, int s);
    CSession* GetSessionPtr(int p, int s);
    CSession GetSession(int p, int s) const;
    // The first session of the first project that has one; false when no
    // project holds a session.
    bool GetFirstSession(CSession& out) const;
    std::vector<CFileItem> GetBasketItems(int p, int s, int b) const;
    std::vector<CFileItem*> GetBasketItemPtrs(int p, int s, int b);
    int GetFileItemCount(int p, int s, int b) const;
    int GetSessionItemCount(int p, int s) const;
    CFileItem GetFileItem(int p, int s, int b, int f) const;
    CFileItem* GetFileItemPtr(int p, int s, int b, int f);
    std::vector<std::string> GetBasketFileNames(int p, int s, int b) const;
    std::vector<std::string> GetBasketNames(int p, int s) const;
    bool BasketHasLocalModified(int p, int s, int b) const;
    int GetLocalModifiedState(int p, int s, int b) const;
    std::vector<SessionChooserEntry> ListSessionsForChooser() const;
    // Every work-file name in use (tree order), then the "Box*.txt" names on disk.
    std::vector<std::string> GetBoxFileNamesInUse(bool withDisk) const;

    // ---- selections
    std::vector<int> GetSelection(int p, int s, int b) const;
    std::vector<int> GetCurrentSelection() const;
    void SetSelection(int p, int s, int b, const std::vector<int>& selection);
    void ClearSelection(int p, int s, int b);

    // ---- current connection
    void SelectSessionHost(int p, int s);
    void SetCurrentHost(int c, int h);
    // The current connection's host, user and last folder and the default
    // local folder become the session's; empty values are not taken over.
    void ApplyCurrentHostToSession(int p, int s);
    void FillEmptyItemDirs(int p, int s);

    // ---- file items
    bool InsertFileItems(int p, int s, int b, int pos, const CFileItem& item);
    bool DeleteFileItem(int p, int s, int b, int f);
    bool RemoveFileItem(int p, int s, int b, int f) { return DeleteFileItem(p, s, b, f); }
    std::vector<CFileItem>* ClearBasketItems(int p, int s, int b);
    bool SwapItems(int p, int s, int b, int f1, int f2, int k, int delta);
    void SetFileName(int p, int s, int b, int f, const std::string& name);
    void SetLocalDir(int p, int s, int b, int f, const std::string& folder);
    void SetRemoteModified(int p, int s, int b, int f, const std::string& value);
    void SetRemoteMissing(int p, int s, int b, int f, const std::string& value);
    void ToggleItemFlag(int p, int s, int b, int f);
    void ToggleAsciiBinary(int p, int s, int b, int f, bool ctrlDown);
    void TogglePinned(int p, int s, int b, int f, int n);
    bool IsItemLocallyChanged(int p, int s, int b, int f) const;
    int CountLocallyChanged(int p, int s, int b) const;
    void ChangeFileNameCase(int p, int s, int b, const std::vector<int>& sel, int mode,
                            const std::string& text);
    void CopyRemoteLocation(int p, int s, int b, const std::vector<int>& sel, int p2, int s2,
                            int b2, int f2);
    // Lines of the Output window text as local (mode 1) or remote (mode 2) folders.
    bool SetItemDirsFromOutput(int p, int s, int b, const std::vector<int>& sel, int mode,
                               const std::string& outputText);
    void SortSelectedItems(int p, int s, int b, const std::vector<int>& sel, int kind);
    void SortBaskets(int p, int s);
    std::string GetFileItemStatusText(int p, int s, int b, int f) const;
    std::string GetFileItemReport(int p, int s, int b, int f);
    void ApplyTransferStatus(const CFileItem& item);
    void ApplyTransferTimes(const CFileItem& item);
    std::string GetSelectionStatusText(int p, int s, int b);

    // ---- vault
    void AddCluster(const std::string& name, int c);
    void DeleteCluster(int c);
    int GetClusterCount() const;
    std::string GetClusterName(int c) const;
    void SetClusterName(int c, const std::string& name);
    void AddHost(const std::string& host, const std::string& user, const std::string& password,
                 int c, int h);
    void DeleteHost(int c, int h);
    int GetHostCount(int c) const;
    CHost* GetHostPtr(int c, int h);
    CHost GetHost(int c, int h) const;
    bool SetHost(int c, int h, const CHost& account);
    bool FindVaultHost(const std::string& host, const std::string& user, CHost& out) const;
    bool UpdateVaultHost(const std::string& host, const std::string& user, const CHost& account);
    void FindVaultHostEx2(const std::string& host, const std::string& user, int& c, int& h) const;
    void SetVaultLastFolder(const std::string& host, const std::string& user, const std::string& folder);
    std::string GetVaultPassword(const std::string& host, const std::string& user) const;
    std::string GetHostType(const std::string& host, const std::string& user);
    // The account's host type when it is "UNIX" or "VMS", else "" (asks
    // nothing).
    std::string GetKnownHostType(const std::string& host, const std::string& user) const;
    // Gives each item its account's known host type (CFileItem::HostType).
    void SetKnownHostTypes(std::vector<CFileItem>& items) const;
    void UpdateVaultFromSession(const std::string& host, const std::string& user,
                                const std::string& password, const std::string& hostType,
                                const std::string& lastFolder, bool mark);
    bool RunRemoteBrowser(const std::string& pattern, std::vector<RemoteFileChoice>& files,
                          std::vector<RemoteFolderChoice>& folders);
    std::string BrowseRemoteFolder();
    void SetLocationField(int kind, const std::string& value, int p, int s, int b,
                          const std::vector<int>& sel);

    // ---- work-file areas
    void RenameSessionBoxFile(int p, int s);
    bool MoveBoxFilesToDeprecated();
    bool RestoreBoxFilesFromBackup();

    // ---- file contents
    int UpdateBasketFromPaths(int p, int s, int b, int pos, std::vector<RemoteFileChoice>& files,
                              std::vector<RemoteFolderChoice>& folders);

    // ---- master data file
    // Writes the master file (atomically, mode 0600) and every loaded
    // session's work file. False when the master file could not be written
    // (reported in a message and the log).
    bool SaveMasterFile(const std::string& path);
    // Writes a loaded session's work file. One that cannot be written (a
    // folder took its name, the file refuses writing) gets the session beside
    // it under a new name, which the session keeps; the log and a message
    // say where. False, with the failure's messages, when neither could be.
    bool SaveSessionWorkFile(int p, int s);
    std::string FormatMasterFile();
    void LoadMasterFile();
    // Reads a master file from a path (the start-up load uses the work area's).
    void LoadMasterFileFrom(const std::string& path);
    // The version prompt; true when the user chose to continue.
    bool ConfirmVersion();
    bool ReadProgramOptions(const std::string& line);
    std::string FormatProgramOptions() const;
    bool ReadSessionBoxes(const std::string& line);
    void ReadSessionBlock(std::istream& in);
    void ReadSessionState(const std::string& line);
    int EnsureCurrentBasket();
    int CreateDefaultSession();
    int CreateDefaultProject();
    // Reads a session's work file into memory (1), -1 when it is there
    // already, 0 when it cannot be read. Once it is read, the copies into
    // its items' local files that a killed run left unfinished are finished
    // (or their new text named), so none of its items is sent or converted
    // cut (sweepItemFolders false: the caller sweeps them itself).
    int LoadSessionFile(int p, int s, bool sweepItemFolders = true);
    int DumpSession(int p, int s);
    void ReadClusterNames(const std::string& line);
    void ReadBookmarks(std::istream& in);
    bool EnsureDefaultCluster();
    void SetItemAttributesEx(int p, int s, int b, const std::vector<int>& sel);
    void SetItemAttributes(int p, int s, int b, const std::vector<int>& sel);

    // ---- library file
    // Writes the library file atomically; false (reported) on failure.
    bool SaveLibraryFile(const std::string& path);
    std::string FormatLibraryFile() const;
    void LoadLibraryFile(const std::string& path, bool skipOptions);
    bool ReadLibraryOptions(const std::string& line);
    // False, with a message, when the file cannot be read (missing, not a
    // regular file).
    bool ImportLibraries(const std::string& path);
    void LoadLibrariesFromLoadingArea();
    int GetLibraryCount() const;

    // ---- session import
    // False, with a message, when the file cannot be read (missing, not a
    // regular file).
    bool ImportSessions(const std::string& path);

    // True after the version prompt was answered "No": nothing may be saved.
    bool IsExitRequested() const { return m_bExitRequested; }

private:
    // Sweeps the local folders of the session's items for what killed
    // writes left there (SweepStalePartFiles).
    static void SweepItemFolders(const CSession& session);
    CProject* ProjectPtr(int p);
    const CProject* ProjectPtr(int p) const;
    CFileBasket* BasketPtr(int p, int s, int b);
    const CFileBasket* BasketPtr(int p, int s, int b) const;
    bool SearchVault(const std::string& host, const std::string& user, int& c, int& h) const;
    void RepairIndices();

    bool m_bExitRequested = false;
    // Lines the master-file readers could not read (or read only in part)
    // during the current load, and what was wrong with those read in part.
    size_t m_nReadSkipped = 0;
    CReadProblems m_ReadProblems;
    // Counts record lines that were read only in part and keeps why.
    void NoteDamagedRecord(const std::string& record, const std::string& problem, size_t lines = 1);
};
