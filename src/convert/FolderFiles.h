// The plain files directly in a folder.
#pragma once

#include <string>
#include <vector>

// Full paths of the files (not folders) directly in the folder, in the order
// the file system gives them; empty when there are none or the folder cannot
// be read.
std::vector<std::string> ListFilesInFolder(const std::string& folder);
