// Cutting a text into tokens by a library's delimiter list.
#pragma once

#include <string>
#include <vector>

#include "model/Library.h"

// One token of a delimited text.
class CFindRepRecord {
public:
    std::string Text;
    int Position = -99;  // offset in the source text once the list is finished
    int Kind = 0;        // 0 plain text, 1 closed by a single delimiter, 2 a paired block
    std::string BeginDelim;
    std::string EndDelim;
};

// Fills tokens (cleared first). onlyDelimited drops plain-text tokens;
// keepDelims makes a block's text include its begin and end delimiters.
void TokenizeByDelimiters(const std::string& source, const std::vector<CMacroTokenDelim>& delims,
                          std::vector<CFindRepRecord>& tokens, bool onlyDelimited, bool keepDelims);

// The earliest delimiter at or after start (a pair by its begin text); -1 when none.
// Ties go to the delimiter that stands first in the list; a later delimiter
// wins only when it ends before the best one found so far begins.
long FindEarliestDelimiter(const std::string& text, const std::vector<CMacroTokenDelim>& delims,
                           std::size_t start, std::size_t& length, int& kind);
// The earliest begin text of a pair; false when none occurs.
bool FindEarliestPairedBegin(const std::string& text, const std::vector<CMacroTokenDelim>& delims,
                             std::string& begin, std::string& end, std::size_t& position);
// Takes the block opened at position p off the front part of text (nesting counted).
void ExtractPairedBlock(std::string& text, std::size_t p, const std::string& begin,
                        const std::string& end, std::vector<CFindRepRecord>& tokens,
                        bool keepDelims);
void FinishTokenList(const std::string& source, std::vector<CFindRepRecord>& tokens,
                     bool onlyDelimited);
