// Files are cut into lines many bytes at a time; every place of a line end
// (inside or across each group of bytes, CR LF split over two groups, a
// lone CR, a last line without an end) must give the lines of the plain
// rules: lines end at LF, a CR right before the LF is dropped, a lone CR
// stays, a last line without LF is a line, an LF at the very end adds none.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "compare/TextDiff.h"
#include "support/TempDir.h"

namespace {
std::vector<std::string> PlainLines(const std::string& bytes) {
    std::vector<std::string> out;
    std::string cur;
    bool open = false;
    for (char c : bytes) {
        if (c == '\n') {
            if (!cur.empty() && cur.back() == '\r') cur.pop_back();
            out.push_back(cur);
            cur.clear();
            open = false;
        } else {
            cur += c;
            open = true;
        }
    }
    if (open) out.push_back(cur);
    return out;
}
}  // namespace

TEST(LineSplit, RandomBytesGiveThePlainLines) {
    TempDir tmp;
    std::mt19937 rng(5150);
    const char alphabet[] = {'\n', '\r', 'x', '\xc3', '\0', ' '};
    const std::string path = tmp / "bytes";
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int size = static_cast<int>(rng() % (round < 100 ? 40 : 700));
        // Dense line ends in some rounds, sparse ones in others.
        const int spread = round % 3 == 0 ? 2 : 6;
        for (int k = 0; k < size; ++k) bytes += alphabet[rng() % spread];
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        CDiffFileText text;
        std::vector<CDiffLine> lines;
        ASSERT_TRUE(LoadFileText(path, text));
        ASSERT_TRUE(LoadFileLines(path, lines));
        const std::vector<std::string> want = PlainLines(bytes);
        std::vector<std::string> got, gotLines;
        for (size_t k = 0; k < text.Count(); ++k) got.emplace_back(text.Line(k));
        for (const CDiffLine& l : lines) gotLines.push_back(l.text);
        ASSERT_EQ(got, want) << "round " << round;
        ASSERT_EQ(gotLines, want) << "round " << round;
    }
}
