// Local paths handed over by a drop or a file dialog, taken whole whatever
// their length: a path longer than the system's path limit is looked up one
// folder at a time.
#pragma once

#include <sys/stat.h>

#include <string>

#include "model/FileItem.h"

// stat() for a path of any length; false when it does not exist.
bool StatLocalPath(const std::string& path, struct stat& st);

// 2 an existing folder; 1 an existing plain file that is not ".", "..",
// hidden (a dot file) or temporary (ending in "~" or ".tmp"); 0 otherwise.
int ClassifyDroppedPath(const std::string& path);

// The item's LocalModTime from its local file (the default time when the
// file is missing).
void SetLocalTimeFromDisk(CFileItem& item);
