// Small helpers shared by the comparison tests.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "compare/DiffChange.h"
#include "model/DiffLine.h"

inline std::vector<CDiffLine> Lines(const std::vector<std::string>& texts) {
    std::vector<CDiffLine> lines;
    for (const std::string& t : texts) lines.emplace_back(0, -1, -1, t);
    return lines;
}

// The report with LF line ends, easier to read in expectations.
inline std::string Unix(const std::string& crlf) {
    std::string out;
    for (size_t k = 0; k < crlf.size(); ++k)
        if (!(crlf[k] == '\r' && k + 1 < crlf.size() && crlf[k + 1] == '\n')) out += crlf[k];
    return out;
}

inline std::string Describe(const std::vector<CDiffChange>& list) {
    std::string s;
    for (const CDiffChange& c : list)
        s += "{" + std::to_string(c.rightPos) + "," + std::to_string(c.leftPos) + "," +
             std::to_string(c.count) + "," + std::to_string(c.kind) + "}";
    return s;
}

// Random inputs: lines drawn from a small alphabet so that equal lines
// repeat, and a right input either unrelated or an edited copy of the left.
struct RandomPair {
    std::vector<CDiffLine> left, right;
};

inline std::vector<std::string> RandomTexts(std::mt19937& rng, int count, int alphabet,
                                            bool mixedCase) {
    std::vector<std::string> out;
    std::uniform_int_distribution<int> pick(0, alphabet - 1);
    std::uniform_int_distribution<int> coin(0, 1);
    for (int k = 0; k < count; ++k) {
        int v = pick(rng);
        std::string t = std::string(1, static_cast<char>('a' + v % 26)) + std::to_string(v / 26);
        if (mixedCase && coin(rng)) t[0] = static_cast<char>(t[0] - 'a' + 'A');
        if (mixedCase && coin(rng)) t.insert(1, " ");
        // Longer lines, some equal only with case ignored, and bytes next to
        // the capitals ('@' '[' '`' '{') and above ASCII that must not fold.
        static const char* const kTails[] = {" Mixed@[`{Z\xC1", " mixed@[`{z\xC1", " mixed@[`{z\xE1",
                                             " mixed`[@{z\xC1"};
        if (mixedCase && coin(rng)) t += kTails[std::uniform_int_distribution<int>(0, 3)(rng)];
        out.push_back(t);
    }
    return out;
}

inline RandomPair MakeRandomPair(std::mt19937& rng, int maxLines, int alphabet, bool mixedCase) {
    std::uniform_int_distribution<int> len(0, maxLines);
    std::uniform_int_distribution<int> percent(0, 99);
    RandomPair p;
    std::vector<std::string> left = RandomTexts(rng, len(rng), alphabet, mixedCase);
    std::vector<std::string> right;
    if (percent(rng) < 30) {
        right = RandomTexts(rng, len(rng), alphabet, mixedCase);
    } else {
        // An edited copy: lines kept, dropped, changed and inserted.
        const int editRate = 5 + percent(rng) / 2;
        for (const std::string& t : left) {
            const int r = percent(rng);
            if (r < editRate / 3) continue;
            if (r < 2 * editRate / 3) {
                right.push_back(RandomTexts(rng, 1, alphabet, mixedCase)[0]);
                continue;
            }
            if (r < editRate) {
                for (const std::string& x : RandomTexts(rng, 1 + percent(rng) % 3, alphabet, mixedCase))
                    right.push_back(x);
            }
            right.push_back(t);
        }
    }
    p.left = Lines(left);
    p.right = Lines(right);
    return p;
}

// Inputs built from a few short blocks of lines repeated in random order, so
// that long runs of lines occur many times; the right input is an edited
// copy of the left.
inline RandomPair MakeBlockPair(std::mt19937& rng, int lines) {
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<std::vector<std::string>> blocks;
    for (int b = 0; b < 3; ++b) blocks.push_back(RandomTexts(rng, 6 + percent(rng) % 7, 3, false));
    std::vector<std::string> left;
    while (static_cast<int>(left.size()) < lines) {
        const auto& block = blocks[percent(rng) % 3];
        left.insert(left.end(), block.begin(), block.end());
    }
    std::vector<std::string> right;
    for (const std::string& t : left) {
        const int r = percent(rng);
        if (r == 0) continue;
        right.push_back(r == 1 ? RandomTexts(rng, 1, 3, false)[0] : t);
    }
    RandomPair p;
    p.left = Lines(left);
    p.right = Lines(right);
    return p;
}

// Inputs whose lines repeat at every scale: long runs of one line, and
// two blocks of 25 to 45 lines drawn from two texts, repeated in random order
// and sometimes with one line changed;
// the right input is an edited copy of the left or another such input.
inline std::vector<std::string> RepeatTexts(std::mt19937& rng, int lines) {
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<std::vector<std::string>> blocks;
    for (int b = 0; b < 2; ++b) blocks.push_back(RandomTexts(rng, 25 + percent(rng) % 21, 2, false));
    std::vector<std::string> out;
    while (static_cast<int>(out.size()) < lines) {
        const int r = percent(rng);
        if (r < 20) {
            out.insert(out.end(), 1 + percent(rng) + percent(rng) / 5, RandomTexts(rng, 1, 2, false)[0]);
        } else {
            // A copy of a block, every other one with one line changed.
            std::vector<std::string> copy = blocks[r % 2];
            if (r % 4 < 2) copy[percent(rng) % copy.size()] += "x";
            out.insert(out.end(), copy.begin(), copy.end());
        }
    }
    out.resize(lines);
    return out;
}

inline RandomPair MakeRepeatPair(std::mt19937& rng, int lines) {
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<std::string> left = RepeatTexts(rng, lines);
    std::vector<std::string> right;
    if (percent(rng) < 25) {
        right = RepeatTexts(rng, lines);
    } else {
        for (const std::string& t : left) {
            const int r = percent(rng);
            if (r == 0) continue;
            if (r == 1) right.push_back(RandomTexts(rng, 1, 2, false)[0]);
            right.push_back(t);
        }
    }
    RandomPair p;
    p.left = Lines(left);
    p.right = Lines(right);
    return p;
}
