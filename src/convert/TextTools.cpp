#include "convert/TextTools.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "compare/TextAccess.h"
#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"
#include "model/Library.h"

namespace {
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Byte order as unsigned characters; a prefix is smaller.
bool Less(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

void PadTo(std::string& s, std::size_t width) {
    const std::size_t n = Utf8Length(s);
    if (n < width) s.append(width - n, ' ');
}
}  // namespace

std::string JoinTextLines(const std::vector<std::string>& lines) {
    std::string out;
    std::size_t total = 0;
    for (const auto& l : lines) total += l.size() + 2;
    out.reserve(total);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) out += "\r\n";
        out += lines[i];
    }
    return out;
}

std::size_t Utf8Length(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if (!IsContinuation(c)) ++n;
    return n;
}

std::string Utf8Prefix(const std::string& text, std::size_t n) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuation(static_cast<unsigned char>(text[i]))) continue;
        if (chars == n) return text.substr(0, i);
        ++chars;
    }
    return text;
}

std::string SortTextLines(const std::string& text, bool ascend, bool matchCase,
                          bool removeDuplicates) {
    std::vector<std::string> lines = SplitTextIntoLines(text);
    // Each line is compared by its key: itself, or its lower-case form.
    std::vector<std::pair<std::string, std::size_t>> keyed;
    keyed.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        keyed.emplace_back(matchCase ? lines[i] : Lower(lines[i]), i);
    std::stable_sort(keyed.begin(), keyed.end(), [ascend](const auto& a, const auto& b) {
        return ascend ? Less(a.first, b.first) : Less(b.first, a.first);
    });
    std::vector<std::string> out;
    out.reserve(lines.size());
    const std::string* lastKey = nullptr;
    for (const auto& [key, index] : keyed) {
        if (removeDuplicates && lastKey && *lastKey == key) continue;
        out.push_back(std::move(lines[index]));
        lastKey = &key;
    }
    return JoinTextLines(out);
}

std::string ClearDuplicateLines(const std::string& text) {
    std::vector<std::string> lines = SplitTextIntoLines(text);
    std::vector<std::string> kept;
    std::map<std::string, bool> seen;
    for (std::string& l : lines)
        if (seen.emplace(l, true).second) kept.push_back(std::move(l));
    return JoinTextLines(kept);
}

std::string CountFrequency(const std::string& text) {
    std::map<std::string, int, decltype(&Less)> counts(&Less);
    for (const std::string& l : SplitTextIntoLines(text))
        if (!l.empty()) ++counts[l];
    std::size_t w = 0;
    for (const auto& [item, n] : counts) w = std::max(w, Utf8Length(item));
    const std::size_t c = w + 16 - (w % 16);
    std::string out;
    long long total = 0;
    for (const auto& [item, n] : counts) {
        std::string line = item;
        PadTo(line, c);
        out += line + std::to_string(n) + "\r\n";
        total += n;
    }
    out += std::string(c + 8, '-') + "\r\n";
    std::string last = "Total";
    PadTo(last, c);
    out += last + std::to_string(total);
    return out;
}

std::string ClearMultiLineBreaks(CLibraryList& libraries, const std::string& text) {
    if (!libraries.IsValidIndex(libraries.CurrentLibrary)) {
        libraries.Append(CLibrary());
        libraries.CurrentLibrary = 0;
    }
    // A scratch list: the default type-cards with the current wild-card symbol.
    CLibraryList scratch;
    CLibrary lib;
    lib.WildTypeManager = CWildTypeManager();
    lib.WildTypeManager.SetDefaultTypeCards();
    lib.WildTypeManager.WildCard = libraries[libraries.CurrentLibrary].WildTypeManager.WildCard;
    scratch.Append(lib);
    scratch.CurrentLibrary = 0;
    scratch.RunKind = 0;
    scratch.m_Run.nBatchStep = 0;
    scratch.m_Run.pConversionBreak = nullptr;  // a tool of the window thread is never stopped
    scratch.m_Run.pBatchBreak = nullptr;
    CMacro macro("^n", "\r\n", 1, 1, 1, 0, 0, 0, 0, 1);
    CFindRepPreview preview;
    preview.Mode = "O";
    preview.NoInstances = 1;
    return CConversionEngine(scratch).ApplyOneMacroToText(text, macro, preview);
}

std::string ChangeCaseOfRange(const std::string& text, std::size_t start, std::size_t end,
                              bool upper) {
    std::string out = text;
    if (start >= end) {
        start = 0;
        end = out.size();
    }
    end = std::min(end, out.size());
    for (std::size_t i = start; i < end; ++i) {
        char& c = out[i];
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string ViewLineBreaks(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\r') out += '#';
        else if (c == '\n') out += "|\r\n";
        else out += c;
    }
    return out;
}

// ---------------------------------------------------------------- tabs

std::size_t TabColumn(const std::string& text, std::size_t p) {
    if (text.empty() || p == 0) return 0;
    if (p > text.size()) p = text.size() - 1;
    std::size_t column = 0;
    while (p > 0 && text[p - 1] != '\n') {
        --p;
        if (!IsContinuation(static_cast<unsigned char>(text[p]))) ++column;
    }
    return column;
}

std::string BlanksToNextTabStop(std::size_t column, int width) {
    if (width <= 0) return std::string();
    return std::string(static_cast<std::size_t>(width) - column % static_cast<std::size_t>(width), ' ');
}

bool ExpandTabs(std::string& text, int width, const std::atomic<bool>* stop) {
    if (text.find('\t') == std::string::npos) return true;
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    std::size_t column = 0;
    std::size_t i = 0;
    for (char c : text) {
        if ((++i & 0xFFFF) == 0 && stop && stop->load()) return false;
        if (c == '\t') {
            const std::string blanks = BlanksToNextTabStop(column, width);
            out += blanks;
            column += blanks.size();
            continue;
        }
        out += c;
        if (c == '\n') column = 0;
        else if (!IsContinuation(static_cast<unsigned char>(c))) ++column;
    }
    if (stop && stop->load()) return false;
    text = std::move(out);
    return true;
}

int ParseTabWidthAnswer(const std::string& answer, std::string& message, bool& warn) {
    warn = false;
    message.clear();
    // Leading blanks, an optional sign, the digits up to the first other character.
    std::size_t i = 0;
    while (i < answer.size() && (answer[i] == ' ' || answer[i] == '\t')) ++i;
    bool negative = false;
    if (i < answer.size() && (answer[i] == '+' || answer[i] == '-')) negative = answer[i++] == '-';
    long long value = 0;
    while (i < answer.size() && answer[i] >= '0' && answer[i] <= '9') {
        value = value * 10 + (answer[i++] - '0');
        if (value > 1000000) break;  // far beyond any accepted width
    }
    if (negative) value = -value;
    if (value <= 0) {
        message = "Invalid tab width.";
        return 0;
    }
    if (value > kMaxTabWidth) {
        message = "Invalid tab width.\r\n\r\nA tab is at most " + std::to_string(kMaxTabWidth) + " blanks.";
        return 0;
    }
    if (value > kWarnTabWidth) {
        warn = true;
        message = "Caution:\r\n\r\nTab too big.";
    }
    return static_cast<int>(value);
}

// ---------------------------------------------------------------- Append Right

std::string AppendRightText(const std::string& base, const std::string& block, std::size_t caret) {
    std::vector<std::string> baseLines = SplitTextIntoLines(base);
    std::vector<std::string> added = SplitTextIntoLines(block);
    const bool caretMode = caret != std::string::npos && caret < base.size();
    std::size_t c = caretMode ? TabColumn(base, caret) : 0;
    std::vector<std::string> tails(baseLines.size());
    if (caretMode) {
        for (std::size_t i = 0; i < baseLines.size(); ++i) {
            if (Utf8Length(baseLines[i]) < c) continue;
            std::string head = Utf8Prefix(baseLines[i], c);
            tails[i] = baseLines[i].substr(head.size());
            baseLines[i] = std::move(head);
        }
    }
    const std::size_t n = std::max(baseLines.size(), added.size());
    baseLines.resize(n + 1);
    added.resize(n + 1);
    tails.resize(n + 1);
    std::size_t wb = 0, wa = 0;
    for (const auto& l : baseLines) wb = std::max(wb, Utf8Length(l));
    for (const auto& l : added) wa = std::max(wa, Utf8Length(l));
    for (auto& l : baseLines) PadTo(l, wb);
    for (auto& l : added) PadTo(l, wa);
    const bool leaveBaseOut = caretMode && c == 0;
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (!leaveBaseOut) out += baseLines[i] + " ";
        out += added[i];
        if (caretMode) out += " " + tails[i];
        out += "\r\n";
    }
    if (out.size() >= 2) out.resize(out.size() - 2);
    return out;
}
