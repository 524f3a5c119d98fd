// Joining the local files of file items into one final file through a
// template that may name each file's folders, its name and its text.
#pragma once

#include <string>
#include <vector>

class CProgramData;
class CFileItem;

// The template for one file: "{$LocalDir}", "{$RemoteDir}", "{$FileName}"
// and "{$FileText}" replaced in one pass (a placeholder inside a file's text
// or name stays as it is), CR LF of the template written as LF.
std::string ApplyConcatTemplate(const std::string& tmpl, const CFileItem& item, const std::string& text);

// The final name the dialog proposes for an item: first its own local folder
// with name-final.ext, afterwards the folder of the last final file with
// name-Final.ext.
std::string ProposeConcatFinalName(const CFileItem& item, const std::string& lastFinalName);

// True when the path is the local file of one of the items (the same file
// on disk, also through another spelling or a link).
bool IsOneOfTheInputs(const std::string& path, const std::vector<CFileItem>& items);

// Adds the blocks of the items' local files, in their order, at the end of
// the final file (a missing one is created; what it held stays before them).
// The blocks go in whole or not at all. A file that cannot be read is left
// out with a trace line. False (reason in error) when nothing could be read
// or the final file could not be opened or written.
bool ConcatenateItems(const std::vector<CFileItem>& items, const std::string& finalPath, const std::string& tmpl,
                      std::string& error);
