// The checks a transfer run makes on its items before anything is written:
// which items would write one file from different sources, and which items
// changed since their last transfer on the side a run would overwrite.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <unordered_map>

#include "model/FileItem.h"

// What an item's remote file is, whatever the spelling: the host without
// case, the user, and the folder and name. A UNIX folder is read without its
// "." parts and repeated slashes ("//www/./" is "/www/"); a VMS folder keeps
// its own form and is compared without case.
std::string RemoteTargetKey(const CFileItem& item);
// What an item's local file is: its path with the symbolic links and "."
// parts of its existing part resolved, so that a folder and a link to it
// name one file. With folders, each folder is resolved once for the items
// in it that are no link (a map kept by the caller for one look at many
// items, by the folder as the items spell it).
using LocalFolderKeys = std::unordered_map<std::string, std::string>;
std::string LocalTargetKey(const CFileItem& item, LocalFolderKeys* folders = nullptr);

// True when the program knows that both copies changed since the item's
// last transfer: the local file is marked changed and the last remote status
// check found the remote file changed. Either way a transfer would lose one
// side's edit.
bool IsChangedOnBothSides(const CFileItem& item);
// True when the copy a transfer would overwrite changed since the item's last
// transfer: sending, the server's copy (marked by the last remote status
// check); fetching, the local copy of an item with a transfer on record
// (one without is compared by the fetch itself). That change would be lost.
bool OverwritesAChange(const CFileItem& item, bool toRemote);
// The question before a run that would overwrite such items (sending, the
// server's copies; fetching, the local ones), naming them. beforeRun: the
// one command file that "Run bat file" sends before it runs it. unchecked
// (sending): the server's copies whose change since the last transfer
// could not be told, each with why.
std::string BothChangedQuestion(const std::vector<CFileItem>& items, bool toRemote, bool beforeRun = false,
                                const std::vector<std::pair<CFileItem, std::string>>& unchecked = {});
// The Message Window line of an unattended run that leaves such an item.
std::string BothChangedHeldLine(const CFileItem& item, bool toRemote);
// Why a run left such an item, for its closing list: the side that
// changed, "too" where the other changed as well.
std::string BothChangedHeldReason(const CFileItem& item, bool toRemote);
// The same for a send whose look at the server's copy could not tell
// whether it changed (why).
std::string UncheckedOnServerHeldLine(const CFileItem& item, const std::string& why);
std::string UncheckedOnServerHeldReason(const std::string& why);

// The question before a fetch replaces local files of items that record no
// transfer and differ from the server's copies, naming them; uncompared:
// those that could not be compared with the server's copies, each with why;
// lineEnds: those that hold the server's bytes, which the fetch writes with
// this system's line ends.
std::string UnknownLocalWorkQuestion(const std::vector<CFileItem>& items,
                                     const std::vector<std::pair<CFileItem, std::string>>& uncompared = {},
                                     const std::vector<CFileItem>& lineEnds = {});
// The Message Window line of an unattended fetch that leaves such an item.
std::string UnknownLocalWorkHeldLine(const CFileItem& item);
// Why a run left such an item, for its closing list.
std::string UnknownLocalWorkHeldReason();
// The same for an item whose local file could not be compared (why).
std::string UncomparedLocalWorkHeldLine(const CFileItem& item, const std::string& why);
std::string UncomparedLocalWorkHeldReason(const std::string& why);
// The same for an item whose local file differs from the server's only in
// its line ends.
std::string LineEndsLocalWorkHeldLine(const CFileItem& item);
std::string LineEndsLocalWorkHeldReason();
// The same for an item whose file the server refused to send (why).
std::string RefusedLocalWorkHeldLine(const CFileItem& item, const std::string& why);
std::string RefusedLocalWorkHeldReason(const std::string& why);
// Why a fetch left a local file that changed after the fetch was decided.
std::string ChangedDuringRunReason();
// Why a send left a file that changed on the server after the run's look
// at it, before its turn came.
std::string ChangedOnServerDuringRunReason();
