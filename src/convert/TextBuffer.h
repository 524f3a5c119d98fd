// The text buffer: the program's own clipboard of texts taken from the Input
// window, browsed one item at a time, dumped into dated folders under the
// work area's "BufferText/" and loaded back from them.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// ---- browsing (on g_TextBuffer and g_nTextBufferIndex) ----------------------

// What a buffer step did: the log line ("Text Buffer: ..."), and the text the
// Input window is to show (nullopt: leave the window as it is).
struct TextBufferStep {
    std::string log;
    std::optional<std::string> show;
};

// Appends a text as a new item and makes it current. The caller refuses an
// empty text before.
TextBufferStep TextBufferAdd(const std::string& text);
// Moves the current index by delta (-1 left, +1 right), kept inside the
// buffer, and shows that item.
TextBufferStep TextBufferScroll(int delta);
// Removes the current item; the index stays on its place (moved back when it
// was the last) and the window shows the new current item or nothing. A
// step with an empty log did nothing.
TextBufferStep TextBufferRemoveCurrent();
// Makes the first item current and shows it.
TextBufferStep TextBufferShowFirst();

// ---- dump and load ------------------------------------------------------------

// "2024-03-05-Tuesday-" for the local date of t.
std::string MakeBufferFolderStem(std::time_t t);

// Writes every item (CR LF as LF, a lone CR kept) as "Text-NNN.txt" into a new folder stem + "NN/" under the
// buffer folder (g_strBufferTextDir). Messages only with interactive, except
// the failures, which are always shown. Returns the folder written, or "".
std::string DumpTextBufferToDisk(bool interactive, std::time_t now = std::time(nullptr));

// The saved buffer folders (with a trailing "/"), oldest name first.
std::vector<std::string> ListSavedTextBuffers(const std::string& bufferDir);
// The full paths of the plain files of a saved buffer, in name order (the
// order they were written in).
std::vector<std::string> ListBufferFiles(const std::string& folder);

// Asks which of the saved folders to load: the chosen ones, or none.
using BufferFolderChooser = std::function<std::vector<std::string>(std::vector<std::string>& folders)>;
// The folders the user chose; "No clipboard saved in the past..." and none
// when nothing was ever saved.
std::vector<std::string> ChooseSavedTextBuffer(const std::string& bufferDir, const BufferFolderChooser& choose);
// Appends the files of the chosen folders to the buffer (as CR LF texts,
// an empty file as an empty item); returns the number of items appended.
int LoadTextBufferFromDisk(const BufferFolderChooser& choose);
