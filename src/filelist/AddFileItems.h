// Putting file items into a basket: one item from a typed path, many local
// files picked at once, and the shared rules of both (the duplicate test,
// the file limit that turns automatic updates off, the duplicates report
// and the end-of-run line of the add-files worker).
#pragma once

#include <atomic>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/FileItem.h"

class CProgramData;

// The local folder used last by an add.
extern std::string g_strLastLocalDir;
// The Drag-and-Drop dialog is shown (GUI thread only).
extern bool g_bDragAndDropShown;
// The user asked the add-files run to leave the lists alone until it ends.
extern std::atomic<bool> g_bSuppressListScrolling;

// Which side a typed path names: a local path and a UNIX remote path look
// alike here, so the caller says which one it means.
enum class PathSide { Local, Remote };

// 0 a "\" path, 1 a "/" path, 2 a VMS path with "]"; 0 when none occurs.
int GetPathStyle(const std::string& path);
// The path up to and including its last sep; empty when sep does not occur.
std::string GetPathUpToSeparator(const std::string& path, char sep);

// One new item for a path. A local path sets LocalDir, a remote one
// RemoteDir (a path without a folder keeps like's); the name defaults to
// "NewFile.txt"; host and user come from the current connection.
CFileItem MakeNewFileItem(const std::string& path, const CFileItem& like, PathSide side);

// Whether a local file added as an item is marked binary: by its extension
// (the "BinExtStr=" list) or by a NUL byte near its start.
bool IsBinaryLocalFile(const std::string& fileName, const std::string& path);

// The remote files the items of one session write, each with the local file
// it comes from. Note() says in the Message Window when a new item would
// write a remote file (host, user, remote folder and name) that another item
// writes from a different local file, then records the new item.
class CRemoteTargetIndex {
public:
    CRemoteTargetIndex(const CProgramData& data, int p, int s);
    void Note(const CFileItem& item);

private:
    std::unordered_map<std::string, std::string> m_local;  // remote key -> local path
};

// True when items already holds an item of the same FileName and LocalDir
// (byte for byte).
bool IsDuplicateItem(const std::vector<CFileItem>& items, const CFileItem& item);

// Inserts item at pos of basket (p, s, b). A duplicate is refused with
// "File: NAME already exists in the list." in error.
bool AddFileItem(CProgramData& data, int p, int s, int b, int pos, const CFileItem& item,
                 std::string* error);

// Adds local files at pos (-1: at the end) and returns how many were added.
// Every entry of paths becomes its file name; a refused duplicate gets
// "$--$" appended. Duplicates are judged against the basket as it was
// before the call. The added items become the basket's selection.
int AddFileItems(CProgramData& data, int p, int s, int b, int pos, std::vector<std::string>& paths,
                 bool inheritRemote);

// Turns automatic updates off, with a framed trace text, when count reaches
// the "TurnOff=" limit while they are on.
void ReportFileLimitExceeded(int count);

// The title line of every duplicates report.
extern const char* const kDuplicateFilesTitle;
// One message: header, CR LF, up to ten lines of the list, then
// "<and more>..." when more remain; nothing for an empty list.
void ListDuplicateFiles(const std::string& header, const std::string& list);
void ReportDuplicateFiles(const std::string& list);
// The refused entries of an AddFileItems call (marked "$--$") as report
// lines of four blanks, the name and CR LF.
std::string CollectRefusedFiles(const std::vector<std::string>& paths);

// What the window does when an add-files run ends: hide the Drag-and-Drop
// dialog; reset the status bar's progress bar and mark the time pane.
class IDndStatusView {
public:
    virtual ~IDndStatusView() = default;
    virtual void HideDragAndDrop() = 0;
    virtual void ResetDndProgress() = 0;
};
IDndStatusView* SetDndStatusView(IDndStatusView* view);

// "--- DND " + text + " ---" in the Message Window, the add-files flags
// back to idle, the dialog hidden.
void LogDndStatus(const std::string& text);
// LogDndStatus and the progress reset.
void FinishDndStatus(const std::string& text);
