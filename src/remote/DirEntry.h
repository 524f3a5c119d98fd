// One directory entry: a file or folder of a remote listing, or a file found
// by a local folder walk.
#pragma once

#include <string>

struct CDirEntry {
    std::string strName;       // the entry's name
    std::string strRemoteDir;  // folder walks: the remote folder
    std::string strLocalDir;   // folder walks: the local folder
    int nIndex = 0;            // folder walks: the index of the folder record
    bool bIsDir = false;       // the entry is a directory
};
