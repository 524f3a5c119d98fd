// New names for the selected file items, made by one of five schemes
// (numbers, a common name with numbers, a new extension, names safe for
// UNIX hosts, lines of the Output window), and the checks every new name
// passes. Each maker takes the selected items in selection order, empties
// its output list and fills it, one full path per item, only when every
// name is valid. A maker changes the file-name part only: the folder of
// each output path is the item's own LocalDir unless the user typed a
// whole path in the Output window.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/FileItem.h"

// ---- pieces of names
// Leading digits and blanks, and the digits and blanks just before the
// last "." (or the end), removed: "03 report 12.txt" -> "report.txt".
std::string StripNumbers(std::string name);
// k widened with leading zeros to the digit count of n (up to five digits).
std::string FormatIndexNumber(int k, int n);
// From the last "." to the end, the dot included; empty without a dot.
std::string GetNameExtension(const std::string& name);
// The text after the last "/", the whole text when there is none.
std::string GetNamePart(const std::string& path);
// Every character but 0-9, a-z and A-Z before the last "." replaced by the
// replacement text; a name whose only "." is its first character is kept.
void MakeUnixName(std::string& name, const std::string& replacement);
// The name, with "_aux" put into its file-name part (before the last ".",
// at the start of the file name when it has none) until no entry of the
// list equals it.
std::string MakeUniqueName(const std::vector<std::string>& list, std::string name);
// The lines of an Output-window text; a text ending in a line break gives
// a last empty line, an empty text none.
std::vector<std::string> SplitOutputLines(const std::string& text);

// ---- checks
// Not empty, not only blanks, none of ? " < > | \ and no line break or NUL.
bool IsValidFileName(const std::string& name);
// A file name without any folder: a valid file name holding no "/" that
// is not "." or "..".
bool IsBareFileName(const std::string& name);
// A new name that may be a path: a valid file name whose file-name part is
// bare and which holds no "." or ".." folder.
bool IsValidNewName(const std::string& name);
// False for an empty list and when count exceeds its size; count < 0 means
// the whole list; true for count 0; else every one of the first count
// entries is a valid file name.
bool AreValidFileNames(const std::vector<std::string>& list, int count);
// The message of the name rules.
extern const char* const kInvalidNamesMessage;
void ShowInvalidNamesMessage();

// ---- the makers (output list emptied first; filled only when all is valid)
// Numbers at the front (flag 1) or at the end (flag 2) of each name.
void MakeIndexedNames(int flag, const std::vector<CFileItem>& items, std::vector<std::string>& out);
// The common name g_strCommonName, then the number (flag 1) or the number
// then the common name (flag 2), with the item's extension.
void MakeCommonNameNames(int flag, const std::vector<CFileItem>& items, std::vector<std::string>& out);
// Each name with its extension replaced by g_strNewExtension.
void MakeExtensionNames(const std::vector<CFileItem>& items, std::vector<std::string>& out);
// Each name made safe for UNIX hosts with g_strUnixReplacement.
void MakeUnixNames(const std::vector<CFileItem>& items, std::vector<std::string>& out);
// One name per line of the Output window; a line starting with "/" is a
// whole path, any other line is a file name put into the item's folder.
void TakeNamesFromOutputWindow(const std::vector<CFileItem>& items, std::vector<std::string>& out);

// Shows the Output window when it holds too few names; installed by the
// window that owns it. Returns the previous hook.
std::function<void()> SetShowOutputWindowHook(std::function<void()> hook);

// ---- proposals for the Rename/Duplicate dialog
// The first item's name without extension and numbers; "" without items.
std::string GetSuggestedCommonName(const std::vector<CFileItem>& items);
// The LocalDir every item shares, else "".
std::string GetCommonLocalDir(const std::vector<CFileItem>& items);
// The first item's extension with every blank removed; "" without items.
std::string GetFirstSelectedExtension(const std::vector<CFileItem>& items);
