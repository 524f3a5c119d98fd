// Rules of the text boxes that need no widget: line breaks, the first and
// second line, and the caret position text.
#pragma once

#include <string>

// Lone LF becomes CR LF (the text windows hand CR LF texts to the engine).
std::string ToCrLf(const std::string& text);
// CR LF becomes LF (what a text widget holds).
std::string FromCrLf(const std::string& text);

// The text up to the first CR; the whole text when there is none.
std::string GetFirstLineOf(const std::string& text);
// The text between the first CR + 2 and the next line end (or the end);
// empty when the text has no CR.
std::string GetSecondLineOf(const std::string& text);

// " Ln %d, Col %d" for a caret at a byte offset of a CR LF text: the 1-based
// line and the 1-based column of the offset within its line.
std::string CaretPositionText(const std::string& text, std::size_t offset);
