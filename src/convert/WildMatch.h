// The wild-card matcher: a Find pattern of wild-card symbols, type-cards
// ("^d", ...) and literal text, matched in a text with its captures.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "model/Library.h"

// One token of a pattern piece: a literal run or a type-card.
struct WildToken {
    int card = -1;           // index into the manager's type-cards, -1 for a literal
    std::string lit;         // the literal as written
    std::string litLower;    // the literal lower-cased, for caseless searches
    // The last search answer, reused while the search start stays within it.
    mutable std::size_t cacheFrom = std::string::npos;
    mutable std::size_t cacheHit = std::string::npos;
};

struct WildCardTable {
    std::array<bool, 256> primary{};
    std::array<bool, 256> aux{};
    bool hasAux = false;
};

// A pattern cut once per pass into its parts.
struct WildPattern {
    char symbol = '*';
    bool doubleSymbol = false;  // exactly the symbol twice: the whole text
    bool onlySymbols = false;   // symbols alone: one line
    bool leading = false;
    bool trailing = false;
    std::vector<std::vector<WildToken>> pieces;
    std::vector<WildCardTable> cards;  // one per type-card of the manager
};

// Where a search stands in the working text. Text in front of floor has
// already been converted and is never looked at again (only the doubled
// symbol, which takes the whole text, answers from 0).
struct WildContext {
    std::size_t floor = 0;
    bool atTextStart = true;  // floor is the start of the working text
    bool lfBefore = false;    // the working text has a line feed just before floor
    WildPattern* pattern = nullptr;   // the pattern as written
    WildPattern* reversed = nullptr;  // the pattern backwards, for the minimal span
};

// The context of a search that starts at `from` in `text`.
inline WildContext WildContextAt(const std::string& text, std::size_t from) {
    WildContext ctx;
    if (from > 0) {
        ctx.floor = from;
        ctx.atTextStart = false;
        ctx.lfBefore = text[from - 1] == '\n';
    }
    return ctx;
}

// The symbol character of a manager ("*" when its text is empty).
char WildSymbol(const CWildTypeManager& manager);
WildPattern CompileWildPattern(const std::string& pattern, const CWildTypeManager& manager);
// The same pattern read backwards (type-card names keep their order).
WildPattern ReverseWildPattern(const WildPattern& pattern);
// Resets the search caches (a new text).
void ResetWildCaches(WildPattern& pattern);

// The next match at or after position. On success the macro's Find text is
// the matched text, position its start, and the captures are in the manager.
bool MatchWildPattern(WildPattern& pattern, CWildTypeManager& manager, CMacro& macro,
                      const std::string& text, const std::string& shadow, std::size_t& position,
                      const WildContext& context);
// Shrinks a match to the latest start that still ends where it ends.
bool FindMinimalSpan(WildPattern& reversed, CWildTypeManager& manager, CMacro& macro,
                     const std::string& text, std::size_t& start, std::size_t end);

// Type-card tests over a text.
bool IsTypeCardCharAt(const std::string& text, std::size_t p, const WildCardTable& card);
std::size_t FindTypeCardStart(const std::string& text, std::size_t p, const WildCardTable& card);
// The end of the greedy grab from p (p itself when nothing is grabbed).
std::size_t GrabTypeCard(const std::string& text, std::size_t p, const WildCardTable& card);
// Reverses a text and turns each "\n\r" into "\r\n" again.
std::string ReverseKeepingLineBreaks(const std::string& text);
