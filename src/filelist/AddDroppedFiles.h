// The add-files worker: local files and folders dropped on the file-item
// list (or handed over by a command) become file items of the current
// basket, with a basket per folder of a dropped tree when asked.
//
// The window settles everything that needs the user before the worker
// starts (the first folder of the drop opens the Directory Usage question)
// and takes a copy of the basket for the duplicate test. The worker walks
// the folders, builds the items and hands them over in batches; only the
// GUI thread puts them into the program data (CDropInserter). The worker
// polls g_bAddFilesBreak once per dropped name, per folder entry, per new
// basket and per file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "filelist/AddFileItems.h"
#include "model/FileItem.h"
#include "remote/DirEntry.h"
#include "remote/FolderScan.h"

class CProgramData;

// One file for the worker.
struct DroppedFileEntry {
    std::string FileName;
    std::string RemoteDir;
    std::string LocalDir;
    int BasketOffset = -1;  // -1 the current basket b; k >= 0 the k-th new basket (b + 1 + k)
};

// The answer of the Directory Usage question for a drop holding a folder.
struct DropChoices {
    bool folderSeen = false;
    std::string remoteRoot;
    std::string localRoot;
    bool deriveRemote = true;
    std::string keep = "*.*";
    std::string exclude;
};

// The index of the first existing folder among the paths, or -1.
int FindFirstDroppedFolder(const std::vector<std::string>& paths);
// The folder holding a dropped folder (through its last "/"), or empty when
// that "/" is the first character or missing.
std::string GetDropLocalRoot(const std::string& folder);
// The remote root gets its trailing "/" and loses doubled ones unless it (or
// the account's last folder) is a VMS directory; the local root likewise.
// The account's host type, where "UNIX" or "VMS", decides instead.
void NormalizeDropRoots(std::string& remoteRoot, std::string& localRoot,
                        const std::string& accountFolder, const std::string& hostType = "");

// Names kept by the Keep and Exclude texts (a substring test per item).
bool PassesKeepExclude(const std::string& name, const std::string& keep, const std::string& exclude);

// A piece of work handed to the GUI thread.
struct DropPlacement {
    int basketOffset = -1;       // as DroppedFileEntry::BasketOffset
    bool atInsertPoint = false;  // goes to the insertion point of basket b (and is selected)
    CFileItem item;
};
struct DropBatch {
    std::vector<std::string> newBaskets;  // appended after the ones already made
    std::vector<DropPlacement> items;
};

// Where the worker's results go (called on the worker thread).
class IAddFilesSink {
public:
    virtual ~IAddFilesSink() = default;
    virtual void Deliver(DropBatch&& batch) = 0;
    // The numbered list of the collected files ("Trace=" on): the Input window's new text.
    virtual void ShowEntryListing(const std::string& text) {}
};

// Everything the worker needs, copied on the GUI thread before it starts.
struct AddFilesJob {
    std::vector<std::string> paths;  // as dropped, whole
    DropChoices choices;
    bool autoBasketCreate = false;
    bool trace = false;
    std::string accountFolder;  // the current connection's last remote folder
    std::string hostType;       // the current connection's host type ("UNIX", "VMS" ...)
    std::string host, user;     // the current connection
    std::vector<CFileItem> existing;  // basket b as it was at the start
    std::size_t batchSize = 256;
};

struct AddFilesOutcome {
    bool aborted = false;
    std::string status;      // "Drag-n-drop over" or "-d-aborted " + code
    bool refused = false;    // a missing, hidden or temporary name was dropped
    std::string duplicates;  // lines for the duplicates report
    int added = 0;           // items put into basket b
    int placed = 0;          // items put into new baskets
    std::vector<CDirEntry> entries;  // the collected files (for the remote-folder offer)
};

// The folder walk and the listing of the files.
struct DropCollection {
    std::vector<CDirEntry> entries;
    std::vector<CFolderRecord> folders;
    bool refused = false;
    std::string aborted;  // "-d-aborted " + code, or empty
};
DropCollection CollectDroppedFiles(const std::vector<std::string>& paths, const DropChoices& choices,
                                   const std::string& accountFolder, const std::string& hostType = "");
// The entries and the new-basket names (one per folder record).
void MakeDroppedEntries(const DropCollection& c, std::vector<DroppedFileEntry>& files,
                        std::vector<std::string>& newBaskets);
// "%4d. " + name, remote folder and local folder in columns, CR LF per entry,
// then 62 "=" and CR LF.
std::string FormatDroppedEntries(const std::vector<DroppedFileEntry>& files);
// The trace listing of a drop: index ("%4d", from 0) + ". " + name, remote
// folder and local folder, each column padded to its longest text, CR LF per
// entry. It replaces the Input window's text.
std::string FormatTracedEntries(const std::vector<DroppedFileEntry>& files);
// Appends the collected list to the Input window (the remote browser shows what its
// recursive pass collected before it offers to add it).
void ListCollectedFiles(const std::vector<DroppedFileEntry>& files);

// Builds the items of the entries and hands them to the sink; the duplicate
// test runs against job.existing. files: a refused duplicate gets "$--$".
AddFilesOutcome AddDroppedFiles(const AddFilesJob& job, std::vector<DroppedFileEntry>& files,
                                const std::vector<std::string>& newBaskets, IAddFilesSink& sink);

// The whole worker body: the walk, then the items.
AddFilesOutcome RunAddFilesWorker(const AddFilesJob& job, IAddFilesSink& sink);

// The GUI thread's half: puts delivered batches into basket (p, s, b),
// starting at the insertion point pos (-1: the end).
class CDropInserter {
public:
    CDropInserter(CProgramData& data, int p, int s, int b, int pos);
    // False when the basket is gone (the batch is dropped).
    bool Insert(const DropBatch& batch);
    // The added items of basket b become its selection.
    void Finish();
    int Project() const { return m_p; }
    int Session() const { return m_s; }
    int Basket() const { return m_b; }
    int BasketsMade() const { return m_basketsMade; }
    int ItemsInserted() const { return m_inserted; }
    const std::vector<int>& NewSelection() const { return m_selection; }

private:
    CProgramData& m_data;
    int m_p, m_s, m_b, m_pos;
    CRemoteTargetIndex m_targets;
    int m_basketsMade = 0;
    int m_inserted = 0;
    std::vector<int> m_selection;
};
