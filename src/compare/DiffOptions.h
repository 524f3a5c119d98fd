// What counts as an equal line in a comparison.
#pragma once

#include <string>
#include <vector>

class CDiffLine;

class CDiffOptions {
public:
    CDiffOptions() = default;
    CDiffOptions(bool ignoreCase, bool ignoreText, const std::vector<std::string>& ignoreList)
        : ignoreCase(ignoreCase), ignoreText(ignoreText), ignoreList(ignoreList) {}

    // The options of the program: "DiffIgnoreCase=", "DiffIgnoreIdent=" and
    // the ignore-text list of the File Diff Manager.
    static CDiffOptions FromProgramOptions();

    // True when a line's text is compared as it is.
    bool IsPlain() const { return !ignoreCase && (!ignoreText || ignoreList.empty()); }

    bool ignoreCase = false;
    bool ignoreText = false;
    std::vector<std::string> ignoreList;
};

// The form of a line that is compared byte by byte: lower-cased (ASCII only)
// with ignore case; with ignore text, every item of the list in order is
// removed from it in one left-to-right pass of non-overlapping occurrences.
// An item that is exactly "^b" stands for one blank and "^t" for one tab
// (after lower-casing, so "^B" and "^T" count with ignore case); an empty
// item removes nothing.
std::string NormalizeDiffText(const std::string& text, const CDiffOptions& options);

// Line equality under the options: -1, 0 or 1 as the normalised texts
// compare byte by byte (unsigned); equal lines give 0. line is the right
// line, other the left line.
int CompareDiffLines(const CDiffLine& line, const CDiffLine& other, const CDiffOptions& options);

// ASCII lower case of a text; other bytes stay as they are.
std::string AsciiLower(std::string text);
