// Renaming the local files of selected items to new names in two phases
// through a temporary folder, so that names may be exchanged among the
// files of one run, and duplicating them under new names.
#pragma once

#include <string>
#include <vector>

#include "model/SafeFile.h"

class CProgramData;

// One file of a rename run.
struct RenameRecord {
    std::string oldPath;
    std::string tempPath;  // inside the temporary folder
    bool moved = false;    // the file lies at tempPath
    std::string newName;   // the whole new path
    bool renamed = false;  // the file lies at newName
};

// The temporary place of a file: the temporary folder followed by the
// file's folder and name with every empty, "." and ".." piece left out, so
// the place never leaves the temporary folder. "" when nothing is left.
std::string MakeTempPath(const std::string& tempFolder, const std::string& localDir,
                         const std::string& fileName);

// Renames every record's file to its new name: first each file to its
// temporary place, then from there to the new name. A new name that already
// exists and is not the old name of a file of this run, or that two records
// share, is refused before anything moves. A file whose second move fails
// goes back to its old name (or, when that cannot be done, stays at its
// temporary place, which the failure list names). Existing files are never
// replaced. A file on another file system than the temporary folder waits
// under a hidden name in its own folder instead. Afterwards the empty folders of the temporary folder are
// removed; nothing else is deleted. Returns the failure list, one line of
// "   " + text + CR LF per failure; "" when all went well.
std::string RenameInTwoPhases(std::vector<RenameRecord>& records, const std::string& tempFolder);

// Removes the folder and the folders below it that are empty; files, links
// and folders that still hold something stay.
void RemoveEmptyFolders(const std::string& folder);

// title + CR LF + at most the first ten lines of the list (each ends in
// CR LF), then "<and more>..." when more remain; "" for an empty list.
std::string FormatFileListReport(const std::string& title, const std::string& list);

// The message for the first name that is not a valid new name; "" when all are.
std::string CheckNewNames(const std::vector<std::string>& names);

// The temporary folder of rename runs ("delme" in the loading area's temp folder).
std::string RenameTempFolder();

// Puts back the files that a rename run parked in the temporary folder and
// never moved on (the program ended between the two moves): each goes back
// to its old name, the absolute path its temporary place stands for, unless
// that folder is gone or the name is taken meanwhile; then it stays where it
// is. The log says how many came back and where each one that stayed is.
// Returns the number put back.
int RestoreParkedFiles(const std::string& tempFolder);
// The same for files that waited under a hidden name in their own folder
// (".qvl-rename-N-NAME", a folder on another file system than the temporary
// folder): each goes back to NAME when that is free.
// With `parts`, the names of the folders read are also looked at for the
// sweep of stale part files (SweepStalePartFiles), so that a start reads
// each folder once.
int RestoreHiddenParkedFiles(const std::vector<std::string>& folders, FolderPartNames* parts = nullptr);

// Renames the files of the selected items of basket (p, s, b), one new name
// per selected item in selection order (a name without "/" stays in the
// item's folder). Refuses, with a message and before touching any file, a
// count that differs from the selection or an invalid name. Items whose
// files reached their new names get the new FileName and LocalDir; their
// indices are returned. Failures are reported in one message.
std::vector<int> RenameFilesToNewNames(CProgramData& data, int p, int s, int b,
                                       const std::vector<std::string>& newNames);

// What a duplicate run made.
struct DuplicateOutcome {
    bool ran = false;             // false: refused before any copy
    std::vector<int> newIndices;  // items added, ascending
    std::string notCreated;       // "    " + name + CR LF per file not copied
    std::string notAdded;         // the same for copies already in the basket
};

// Copies the file of every selected item of basket (p, s, b) to its new
// name (never over an existing file) and adds each copy as an item after
// the last selected one. A count that differs from the selection is refused
// with a message. The caller shows the new rows and reports the lists.
DuplicateOutcome DuplicateFilesToNewNames(CProgramData& data, int p, int s, int b,
                                          const std::vector<std::string>& names);
