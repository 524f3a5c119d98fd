// One new local file item from a typed path (AddFileItem of
// filelist/AddFileItems.h puts it into a basket).
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
