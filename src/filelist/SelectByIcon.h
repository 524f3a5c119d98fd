// The choices of the Select by Icon dialog and how they pick file items.
#pragma once

#include <string>
#include <vector>

#include "model/FileItem.h"

// Result codes of the dialog: 1-8 the mark icons, 9 and 10 the pictures of
// never-transferred local and remote files, 24 locally modified, 26 locally
// missing, 31 no mark, 32 a piece of the file name.
enum IconChoice {
    kIconLocalNew = 9,
    kIconRemoteNew = 10,
    kIconModified = 24,
    kIconMissing = 26,
    kIconClear = 31,
    kIconByName = 32,
};

// Indices of the items a select choice matches, ascending. Codes 1-10
// compare the item's picture; 24 and 26 its local status; 32 looks for the
// text in the file name, ignoring letter case.
std::vector<int> MatchItemsByIcon(const std::vector<CFileItem>& items, int code, const std::string& text);
