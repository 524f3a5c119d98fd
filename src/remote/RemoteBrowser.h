// The rules of the remote directory browser without any widget: the shown
// folder of an open connection, the walk up and down the remote tree, the
// name filters, the per-account folder history, what a click, OK and a
// double-click choose, and remote create and delete.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/Account.h"
#include "remote/DirEntry.h"

class CFtpClient;

// True when a file with this name is shown: the keep filter hits and the
// exclude filter does not. Filters are lists of words cut at ",", " " and
// ";"; "*" and blanks are dropped from a word; "*" or "*.*" hit everything.
bool PassesNameFilters(const std::string& name, const std::string& keep,
                       const std::string& exclude);
// A UNIX folder gets its trailing "/" and loses doubled "/"; a VMS folder
// ("]" after its first character, and no "/") stays as it is.
void NormalizeRemoteFolder(std::string& folder);
// The folder of a child: UNIX folder + "/" + name + "/", VMS [A.B] + C -> [A.B.C].
std::string ChildRemoteFolder(const std::string& folder, const std::string& name,
                              const std::string& hostType);
// "2 directories, 1 file found." or "Empty...".
std::string ListingSummaryText(int folders, int files);
// Said after the summary of a listing the server cut short at its limit.
constexpr const char* kListingCutNote = "The server cut the listing short.";
// "Directory - " or "Files - " and the upper-cased short host.
std::string BrowserCaption(const std::string& pattern, const std::string& host);
// False for the names a listing must never hand on: empty, ".", ".." and
// names holding "/" (or NUL, CR, LF).
bool IsUsableListedName(const std::string& name);

// Runs a job away from the window thread and waits for its answer; the
// window installs one that keeps its events going meanwhile.
using OffThreadRunner = std::function<bool(const std::function<bool()>& job)>;
bool RunOnWorkerAndWait(const std::function<bool()>& job);

struct BrowserItem {
    std::string name;
    bool folder = false;
};

class CRemoteBrowser {
public:
    CRemoteBrowser(const std::string& pattern, const CHost& account);
    ~CRemoteBrowser();
    CRemoteBrowser(const CRemoteBrowser&) = delete;
    CRemoteBrowser& operator=(const CRemoteBrowser&) = delete;

    bool FolderPicking() const { return m_pattern == "*.DIR"; }

    // Initialisation. False when the dialog must close at once (no open
    // connection); "Unknown Host type." leaves it open and empty.
    bool Init();
    void RefreshListing();

    // Navigation; each restores the previous folder after a failure.
    void Up();
    // The directory combo's text ("Set directory", F5, a selection).
    void SetDirectory(const std::string& folder);
    void EnterFolder(const std::string& name);

    // Bookmarks: the combo 1461 shows the folder of each.
    void ChooseBookmark(int index);  // the folder becomes the directory text
    void RemoveBookmark(int index);
    void ToggleSaveHistory();

    // A click on the list with these rows selected (ascending).
    void Select(const std::vector<int>& rows);
    // OK with these rows selected: true when the dialog closes with OK.
    bool Ok(const std::vector<int>& rows);
    // A double-click on a row: true when the dialog closes with OK.
    bool DoubleClick(int row);
    // Stops the walk and any step in progress; later steps are refused.
    void Cancel();
    // True while a step waits for the server (the window stays usable).
    bool Busy() const { return m_nBusy > 0; }

    // Remote create and delete.
    void CreateDirectory();
    void Delete(const std::vector<int>& rows);

    // ---- state the window shows
    std::string m_strHost, m_strUser, m_strPassword, m_pattern;
    CHost m_account;                 // copy with the history and last folder
    std::string m_strCurrentFolder;  // the remote folder shown
    std::string m_strHostType;       // "UNIX" or "VMS" after Init
    std::string m_strDirectoryText;  // text of combo 1460
    std::vector<std::string> m_dirCombo;  // folders visited in this dialog
    std::string m_strStatus;         // edit 1635
    std::string m_strKeep = "*.*";   // edit 1617
    std::string m_strExclude;        // edit 1618
    std::vector<BrowserItem> m_items;  // list 1849, in order
    std::string m_strListingCut;       // the server's word when it cut the listing short
    std::vector<std::string> m_selectedFolders, m_selectedFiles;
    std::vector<CDirEntry> m_result;   // the files handed back
    bool m_bKeepTree = false;          // the result came from a collection keeping the tree
    std::string m_strCaption;

    // The client and the job runner (replaceable by tests).
    std::shared_ptr<CFtpClient> m_client;
    OffThreadRunner m_runner = RunOnWorkerAndWait;

private:
    // One use of the connection, through m_runner; rethrows its failure.
    void RunStep(const std::function<void()>& step);
    bool TryCwd(const std::string& target, std::string& error);
    void Navigate(const std::string& target, bool pwdAfter, const char* failText,
                  const char* restoreText);
    void SelectFolderInCombo(const std::string& folder);
    void RecordAccessedFolder(const std::string& folder);
    int FindBookmarkByFolder(const std::string& folder) const;
    void Summarize();

    int m_nBusy = 0;
    bool m_bCancelled = false;
};
