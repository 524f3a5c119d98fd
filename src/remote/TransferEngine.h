// The transfer engine: moves file items between their local and remote
// folders over FTP, one after the other, with per-item results.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "model/FileItem.h"
#include "model/SafeFile.h"

class CProgramData;

// Starters of the window thread: refuse while FTP is busy ("One FTP session
// is already on..."), else start the worker on a copy of the program data
// with the basket's items at the given indices. False when nothing started.
bool StartTransferToRemote(CProgramData& data, int project, int session, int basket,
                           const std::vector<int>& items);
bool StartTransferToLocal(CProgramData& data, int project, int session, int basket,
                          const std::vector<int>& items);
// "Open File" of items not yet fetched: the fetch runs on the calling thread
// and opens every fetched item. False when FTP was busy.
bool FetchOnDemand(CProgramData& data, int project, int session, int basket,
                   const std::vector<int>& items);

// What the local files of a fetch were when it was decided, by path
// (LocalDir + FileName): a fetch replaces a local file only while it is
// still that file, and otherwise leaves it and names it.
using LocalFileStamps = std::map<std::string, CFileStamp>;
LocalFileStamps StampLocalFiles(const std::vector<CFileItem>& items);
// The stamps of a fetch decided before its worker started, for the runs on
// this thread while the object lives (every basket of the run); each run
// keeps them up to date with the files it writes. A run without them takes
// the files as they are when it starts.
class CFetchDecided {
public:
    explicit CFetchDecided(LocalFileStamps stamps);
    ~CFetchDecided();
    CFetchDecided(const CFetchDecided&) = delete;
    CFetchDecided& operator=(const CFetchDecided&) = delete;

private:
    LocalFileStamps m_stamps;
    LocalFileStamps* m_previous;
};

// Gather the items into the transfer list and run TransferFiles.
bool TransferToRemote(CProgramData& data, int project, int session, int basket,
                      const std::vector<int>& items);
bool TransferToLocal(CProgramData& data, int project, int session, int basket,
                     const std::vector<int>& items);
// The indices of the items that would write one file from different
// sources: sending, one remote file (host, user, folder and name) from
// different local files; fetching, one local file from different remote
// files. Items without a local or remote folder are left out.
std::vector<size_t> FindSameTargetItems(const std::vector<CFileItem>& items, bool toRemote);
// The Message Window line that names such an item; why: the reason where
// it is not the items of one name (a link on the server).
std::string SameTargetRefusal(const CFileItem& item, bool toRemote, const std::string& why = std::string());
// Works through the transfer list. True when the run reached its end; the
// other ends go through EndFtpWorker.
bool TransferFiles(CProgramData& data, bool toRemote);

// Give the items of the transfer list, or of the loaded sessions of data,
// that carry the old host and user (exact compare) the new ones.
void RenameTransferListAccount(const std::string& oldHost, const std::string& oldUser,
                               const std::string& newHost, const std::string& newUser);
void RenameItemAccount(CProgramData& data, const std::string& oldHost, const std::string& oldUser,
                       const std::string& newHost, const std::string& newUser);

// Opens a fetched file: with the editor when its extension is empty or in the
// text-extension list, else with the desktop's default program (the editor
// when that fails).
void OpenWithAssociation(const std::string& path, const std::string& editor,
                         const std::string& textExtensions);
// Starts command + argument as a new process without waiting; a failure
// gives the message "Failed to execute the command: " + the line.
bool RunCommandLine(const std::string& command, const std::string& argument);
// The extension from the last "." on (the dot included); "" when none.
std::string GetFileExtension(const std::string& path);
