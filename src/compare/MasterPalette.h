// The master palette: one list of lines that the user assembles from diff
// rows, a loaded file, typed lines and library conversions, each line
// remembering where it came from. These are its editing rules over the
// program data's palette lines; the window shows the result.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/MasterPaletteLine.h"

enum PaletteOrigin { kOriginOverride = 7, kOriginConverted = 14, kOriginLoaded = 15, kOriginTyped = 16 };

class CMasterPalette {
public:
    explicit CMasterPalette(std::vector<CMasterPaletteLine>& lines) : m_lines(lines) {}

    std::vector<CMasterPaletteLine>& Lines() { return m_lines; }
    int Count() const { return static_cast<int>(m_lines.size()); }

    // The selection record: row indexes in list order. Every change of the
    // lines keeps it inside the rows; readers still check each entry.
    const std::vector<int>& Selection() const { return m_selection; }
    void SetSelection(std::vector<int> rows);
    void SetSelectedRow(int row);
    void SelectAll();
    // Which rows show "mod" in the origin column (edited in the editor).
    bool IsModified(int row) const;

    // Replaces every line by the texts, origin 15.
    void SetLines(const std::vector<std::string>& texts);
    // Inserts after the last recorded row (at the end when none); returns
    // the position. The record stays.
    int AddLines(const std::vector<std::string>& texts, int origin);
    // Replaces the selected rows (listSelected, ascending) by the texts with
    // origin + 7... (the caller passes the final origin). False with nothing
    // changed when no row is selected. The first formerly selected row that
    // is still a row becomes the record.
    bool OverrideLines(const std::vector<int>& listSelected, const std::vector<std::string>& texts, int origin);
    // Removes the selected rows; the row now at the last removed index (or
    // the last row) becomes the record. Returns the new selected row or -1.
    int DeleteLines(const std::vector<int>& listSelected);
    void Clear();
    // An empty typed line after the last recorded row (at 0 when none).
    int InsertBlankLine();

    // The first row of the next / the previous block of another origin,
    // starting from the first recorded row; nullopt at the end / beginning.
    std::optional<int> NextBlock() const;
    std::optional<int> PreviousBlock() const;
    // The palette search (as the diff pane's): the matching row or -1.
    int Find(const std::string& text, bool partial) const;

    // Applies the editor's lines to the recorded rows: changed pairs take
    // the new text and show "mod"; extra lines are inserted after the last
    // recorded row with origin 16; missing lines remove the recorded rows
    // beyond them.
    void ApplyEdit(const std::vector<std::string>& edited);
    // Applies converted lines the same way, the changed pairs taking origin
    // 14; the changed rows become the record. Returns the count changed.
    int ApplyConversion(const std::vector<std::string>& converted);
    // The texts of the recorded rows, in record order.
    std::vector<std::string> SelectedTexts() const;

private:
    void ClampSelection();
    void InsertAt(int pos, const std::vector<std::string>& texts, int origin);
    // Removes the recorded rows from the index keep onwards, from the last
    // entry downwards, and keeps only the first keep entries of the record.
    void RemoveRecordedBeyond(size_t keep);

    std::vector<CMasterPaletteLine>& m_lines;
    std::vector<int> m_selection;
    std::vector<unsigned char> m_modified;
};

// "Save current contents to a file. (dir/name)" or, for an empty palette,
// "Load or drag-and-drop Master file.".
std::string PaletteStatusText(bool empty, const std::string& paletteFile);

// The file text of a palette: each line's text followed by LF.
std::string FormatPaletteFile(const std::vector<CMasterPaletteLine>& lines);
// Writes the palette file through a temporary file and a rename, so a
// failed write leaves the old file whole. False with the reason.
bool WritePaletteFile(const std::string& path, const std::vector<CMasterPaletteLine>& lines, std::string& error);
// Reads a file's lines (LF, CR LF or lone CR ends; a last unterminated line
// kept). False with "Failed to read the file: " + path.
bool ReadPaletteFile(const std::string& path, std::vector<std::string>& lines, std::string& error);

// The Edit Master Palette dialog's live summary of n lines against o.
struct PaletteEditSummary {
    std::string status;
    int mode = 0;   // 0 update only, 1 lines added, -1 lines removed
    int count = 0;
};
PaletteEditSummary BuildPaletteEditSummary(int lines, int startLines);
// The lines of an edited text: split at CR LF, lone CR or LF, never eating a
// character after the break; an empty text is one empty line, a text that
// ends in a break ends with an empty line.
std::vector<std::string> SplitEditedText(const std::string& text);
