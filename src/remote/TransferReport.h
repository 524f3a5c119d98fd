// The closing list of an FTP run: every item of the run that did not go,
// each named once with why, written when the worker ends (before its
// status line), over all the baskets the run went through and however it
// ended: at its end, on a failure that ends it, or stopped.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/FileItem.h"

// Forgets the list of the run before (claiming the FTP slot does this).
void ClearTransferReport();
// An item of a run over several baskets, declared in the run's order before
// it starts, so that a run that ends early names the items it never
// reached. leftOut: an item the run leaves out (a line has said why).
void ExpectTransferItem(const CFileItem& item, bool leftOut = false);
// An item the run leaves before it starts (the user said No to
// overwriting it). reason: empty where a line of the Message Window has
// said why.
void NoteTransferHeld(const CFileItem& item, const std::string& reason);
// The list's entries for the items of one basket's run, in their order:
// the next ones declared for them, else new ones.
std::vector<size_t> ClaimTransferEntries(const std::vector<CFileItem>& items);
// The item went (an item that failed stays failed).
void NoteTransferWent(size_t entry);
// The item did not go. reason: empty where a line of the Message Window
// has said why; noFolder: it lacks its remote or local folder.
void NoteTransferFailed(size_t entry, const std::string& reason, bool noFolder = false);
// For each item: whether every item of the run so far that moves its pair
// of files went (false where the run holds none). Asked before the list is
// written.
std::vector<bool> TransfersWent(const std::vector<CFileItem>& items);
// Why an item without its folders cannot go.
std::string MissingFolderReason(const CFileItem& item);
// Writes the list, then forgets it; nothing when every item went. Where
// every item on it lacks a folder (no line says why), the list takes the
// Message Window's place; otherwise its lines follow the others, each
// item's reason beside it where no line has given it.
void WriteTransferReport();
