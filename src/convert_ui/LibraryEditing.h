// The editing rules of the library manager and its three editors (macros,
// delimiters, wild-card store): what the rows show, where a new entry goes,
// what a refusal says and how selections move. The dialogs only wire these
// to their controls.
#pragma once

#include <string>
#include <vector>

#include "model/Library.h"

// ---- Macro rows
// Display form of a Find or Replace text: CR LF and LF become "\n", TAB "\t".
std::string EscapeMacroForRow(const std::string& text);
// The seven column texts of a macro row.
std::vector<std::string> MacroRowTexts(const CMacro& macro);
// 0/1 plain inactive/active, 2/3 wild inactive/active.
int MacroRowImage(const CMacro& macro);
// The explanation shown for a click on a heading that does not sort; empty
// for the sortable columns and for "Used".
std::string MacroColumnHelp(int column);

// The macro vector of the active library (g_nLibIndex), looked up afresh on
// every call; null when no library is active.
std::vector<CMacro>* ActiveMacroList(CLibraryList& libs);
// Makes the current index address a library: a default library is appended
// and the current index becomes 0 when it does not.
CLibrary& CurrentLibraryWithFallback(CLibraryList& libs);
// g_nLibIndex and the list's current index both become i.
void SetActiveLibraryIndex(CLibraryList& libs, int i);

// ---- Macro operations on a list and its selection (ascending indexes).
// Inserts after each selected macro a copy whose Find ends in "~"; returns
// the indexes of the copies.
std::vector<int> DuplicateMacros(std::vector<CMacro>& list, const std::vector<int>& selected);
// Deletes the selected macros; returns the row to select afterwards, -1 when
// the list is empty.
int DeleteMacros(std::vector<CMacro>& list, const std::vector<int>& selected);
// Moves every selected macro one place up (down). A selected block keeps its
// order: a macro that cannot move stops the selected ones right behind it.
// Returns the new selection.
std::vector<int> MoveMacrosUp(std::vector<CMacro>& list, const std::vector<int>& selected);
std::vector<int> MoveMacrosDown(std::vector<CMacro>& list, const std::vector<int>& selected);
void SetMacrosActive(std::vector<CMacro>& list, const std::vector<int>& selected, bool active);
// The seven attribute flags of from (all but IsActive) on to.
void CopyMacroAttributes(const CMacro& from, CMacro& to);

// ---- Library operations
// Where "Add library" inserts: after the first selected row, or at the end.
int NewLibraryPosition(const std::vector<int>& selectedRows, int count);
// The active row after deleting row i of a list now holding count rows; -1
// when none is left.
int RowAfterDelete(int deleted, int count);

// ---- Whites in the delimiter and type-card editors
// Blank, CR, LF and TAB as "\b", "\r", "\n" and "\t", and back.
std::string EscapeWhites(const std::string& text);
std::string UnescapeWhites(const std::string& text);

// ---- Delimiter list editing
enum class DelimField { None, Single, Begin, End };
struct DelimCheck {
    std::string message;  // empty when accepted
    DelimField focus = DelimField::None;
};
// Checks a new or changed delimiter against the rows (skipRow: the row being
// modified, -1 for a new one). Only the begin side is compared.
DelimCheck CheckDelimiter(const std::vector<CMacroTokenDelim>& rows, bool single,
                          const std::string& singleText, const std::string& begin,
                          const std::string& end, int skipRow);
// The record a row holds for the typed texts (typing "\b" gives a blank).
CMacroTokenDelim MakeDelimiter(bool single, const std::string& singleText, const std::string& begin,
                               const std::string& end);
// Deletes the selected rows; returns the row to select afterwards, or -1.
int DeleteDelimiters(std::vector<CMacroTokenDelim>& rows, const std::vector<int>& selected);

// ---- Type-card editing
enum class CardField { None, Name, Primary };
struct CardCheck {
    std::string message;
    CardField focus = CardField::None;
};
// The name, duplicate and empty-set tests (skipRow: the card being modified).
CardCheck CheckTypeCard(const CWildTypeManager& store, const std::string& name,
                        const std::string& primaryText, int skipRow);
std::vector<std::string> TypeCardNames(const CWildTypeManager& store);
// Card r gets the name, both sets exactly the distinct characters of the
// texts, and the comment; IsSkipped stays. The texts come back rebuilt.
void ModifyTypeCard(CWildTypeManager& store, int r, const std::string& name, std::string& primary,
                    std::string& aux, const std::string& comment);
void SwapTypeCards(CWildTypeManager& store, int a, int b);
// Deletes the selected cards; returns the row to show afterwards, or -1.
int DeleteTypeCards(CWildTypeManager& store, const std::vector<int>& selected);
void ToggleSkipped(CWildTypeManager& store, const std::vector<int>& selected);

// ---- Library exchange
// Inserts copies of the chosen source libraries, named "(i) " + name, after
// target library position, in the order chosen. A position outside -1 ..
// last is taken as the end; selection indices the source lacks are passed over.
void InsertImportedLibraries(CLibraryList& target, int position, const CLibraryList& source,
                             const std::vector<int>& selection);
// The Output text cut at each CR (the CR and the one character after it
// dropped); a text ending in a line break yields a final empty line.
std::vector<std::string> SplitOutputTextLines(const std::string& text);
// True when path names the program's own library file (the same file when
// both exist, else the same normalised path).
bool IsReservedLibraryPath(const std::string& path, const std::string& reserved);
