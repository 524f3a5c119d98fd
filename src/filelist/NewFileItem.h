// One new local file item from a typed path, and inserting it into a basket
// unless the basket already holds the same file.
#pragma once

#include <string>

#include "model/FileItem.h"

class CProgramData;

// The item for a local path: its file name (after the last "/"; "NewFile.txt"
// when the path ends in "/") and its folder. A bare name or a relative
// folder is taken inside the LocalDir of `like` (the work-files folder when
// that is empty); "." and ".." pieces of the folder are resolved. Host and
// user come from the current connection, the remote folder from `like`.
CFileItem MakeLocalFileItem(const std::string& path, const CFileItem& like);

// Inserts the item at pos of basket (p, s, b). False, with the error
// "File: " + FileName + " already exists in the list.", when an item of the
// basket has the same FileName and LocalDir (bytes compared, case counts).
bool AddOneFileItem(CProgramData& data, int p, int s, int b, int pos, const CFileItem& item,
                    std::string& error);
