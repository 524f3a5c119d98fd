// Replacement templates: piece tags of a wild replace, bare symbols, running
// numbers ("<i=") and column alignment ("<a=", "<A=").
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/Library.h"

// Widths and columns a template may ask for are clamped to this.
constexpr int kMaxTemplateWidth = 10000;

// Applies one macro to a text in place (the substitutions of a piece tag use it).
using MacroApplier = std::function<void(std::string& text, const CMacro& macro)>;

// Expands the piece tags "<" symbol number [range] [case] {"?" a=b} ">".
std::string ApplyReplaceTags(const std::string& replace, const std::string& symbol,
                             const std::vector<std::string>& pieces, const CMacro& macro,
                             const MacroApplier& apply);
// Puts the pieces, in order, at the bare symbols of the text.
std::string FillWildSymbolsInOrder(const std::string& replace, const std::string& symbol,
                                   const std::vector<std::string>& pieces);
// A leading ":A[:B]" of rest cuts the piece; the range is consumed from rest.
void ApplyPieceRange(std::string& piece, std::string& rest);
// The run of digits and "-" at start, read as a number and removed from text.
int ParseSignedNumber(std::size_t start, std::string& text);
std::string ToLowerText(const std::string& text);
std::string ToUpperText(const std::string& text);
std::string ToProperText(const std::string& text);
// The number text behind marker ("" when none); marker and number are removed.
std::string ExtractTagNumber(std::string& text, char marker);
// Expands the counter tags between from and to; returns the change of length.
long ExpandCounterTags(std::string& text, long n, std::size_t from, std::size_t to);
// How many counter tags this thread has expanded so far (a text converted in
// parts must know whether its running numbers depended on the earlier parts).
unsigned long CounterTagsExpandedOnThisThread();
// Expands the alignment tags between from and to; returns the change of length.
long ExpandAlignTags(std::string& text, std::size_t from, std::size_t to);
std::size_t FindAlignInsertPoint(std::string_view before, std::size_t lineStart);
