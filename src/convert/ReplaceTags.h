// Replacement templates: piece tags of a wild replace, bare symbols, running
// numbers ("<i=") and column alignment ("<a=", "<A=").
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/PassOutput.h"
#include "model/Library.h"

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
// What the alignment of a pass's result knows of the line it has reached:
// carried from tag to tag and from match to match, so that each tag looks
// only at the text that came since the one before (a long line, or lines a
// macro joined, is not read again for every tag in it). Good for one text
// that only grows at its end between calls.
struct AlignLineState {
    std::size_t scanned = 0;                          // the text before this was looked at
    std::size_t lineStart = 0;                        // just after the last LF before scanned
    std::size_t lastBlank = std::string::npos;        // the last blank of lineStart..scanned
    std::size_t lastWordBlank = std::string::npos;    // the last of those a non-blank follows
    bool endsInBlank = false;                         // the character before scanned is such a blank
};
// Expands the alignment tags between from and to; returns the change of length.
// A right-aligning tag puts its fill in front of the last word before it,
// which may stand before from: firstChange, when given, is lowered to the
// first position where the text was changed.
long ExpandAlignTags(CPassOutput& text, std::size_t from, std::size_t to, AlignLineState& line,
                     std::size_t* firstChange = nullptr);
// Where a right-aligning fill goes, looking back from the end of before over
// the line that starts at lineStart: in front of the last word.
std::size_t FindAlignInsertPoint(std::string_view before, std::size_t lineStart);

// A wild replacement cut once per pass into literal text and piece tags
// "<NAME n>" of type-cards, so that a match's replacement is put together
// without parsing the tags again. Only templates whose result cannot depend
// on the captured texts beyond their insertion are cut: no wild-card symbol,
// no "<" or ">" outside the tags, no range, case or substitution in a tag, no
// running number or alignment, and each tag opening names exactly one card.
class CReplaceTemplate {
public:
    // False (and nothing cut) when the template needs the full tag procedure.
    bool Compile(const std::string& replace, char symbol, const std::vector<CTypeCard>& cards);
    bool IsCompiled() const { return m_compiled; }
    // The replacement from the cards' captures of this match. False when a
    // captured text holds "<" (it could form a tag): the caller then takes
    // the full procedure for this match.
    bool Build(const std::vector<CTypeCard>& cards, std::string& out) const;

private:
    struct Part {
        int card = -1;   // -1: literal text
        int index = -1;  // the capture of the card; -1: none (an empty piece)
        std::string text;
    };
    std::vector<Part> m_parts;
    bool m_compiled = false;
};
