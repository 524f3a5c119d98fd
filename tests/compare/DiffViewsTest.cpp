// Files read as one block of bytes and compared over views of their lines
// must give exactly what the line lists give.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "DiffTestSupport.h"
#include "ReferenceDiff.h"
#include "compare/TextDiff.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace {
void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string_view> Views(const std::vector<CDiffLine>& lines) {
    std::vector<std::string_view> out;
    for (const CDiffLine& l : lines) out.push_back(l.text);
    return out;
}
}  // namespace

TEST(LoadFileText, SameLinesAsTheLineLists) {
    TempDir tmp;
    std::string big;
    for (int k = 0; k < 30000; ++k) big += "line " + std::to_string(k) + (k % 3 ? "\r\n" : "\n");
    // A file large enough to be read in parts at once.
    std::string huge;
    while (huge.size() < (12u << 20)) huge += big;
    huge += "last";
    const std::vector<std::string> contents = {
        "", "\n", "\r\n", "one\r\ntwo\nthree\n", "x\n\nlast", "a\rb\r\n", "\r", "end\r", big, huge};
    for (size_t k = 0; k < contents.size(); ++k) {
        const std::string path = tmp / ("f" + std::to_string(k));
        Write(path, contents[k]);
        std::vector<CDiffLine> lines;
        CDiffFileText text;
        ASSERT_TRUE(LoadFileLines(path, lines));
        ASSERT_TRUE(LoadFileText(path, text));
        std::vector<std::string> a, b;
        for (const CDiffLine& l : lines) a.push_back(l.text);
        for (size_t k = 0; k < text.Count(); ++k) b.emplace_back(text.Line(k));
        EXPECT_EQ(a, b) << "content " << k;
    }
}

// A pipe without a writer is refused at once (opening it for reading used
// to wait for a writer forever), and so is a device that never ends.
TEST(LoadFileText, MissingFileFolderPipeOrDeviceIsReported) {
    TempDir tmp;
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    CDiffFileText text;
    const std::string old = tmp / "old.txt";
    Write(old, "old\n");
    ASSERT_TRUE(LoadFileText(old, text));
    EXPECT_FALSE(LoadFileText(tmp / "none.txt", text));
    EXPECT_EQ(text.Count(), 0u);
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0], "Failed to read the file: " + (tmp / "none.txt") +
                                          "\r\nNo such file or directory (" + (tmp / "none.txt") + ")");
    // The reason is named as every reader of the program names it.
    EXPECT_FALSE(LoadFileText(tmp.path(), text));
    EXPECT_EQ(prompter.Messages().back(),
              "Failed to read the file: " + tmp.path() + "\r\n" + tmp.path() + " is a folder, not a file.");

    const std::string pipe = tmp / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::vector<CDiffFileText> texts;
    EXPECT_FALSE(LoadFileTexts({old, pipe}, texts, 100));
    EXPECT_EQ(prompter.Messages().back(), "Failed to read the file: " + pipe + "\r\n" + pipe + " is a named pipe, not a file.");
    std::vector<CDiffLine> lines;
    EXPECT_FALSE(LoadFileLines(pipe, lines));
    EXPECT_FALSE(LoadFileText("/dev/zero", text));
    EXPECT_EQ(prompter.Messages().back(), "Failed to read the file: /dev/zero\r\n/dev/zero is a device, not a file.");

    // Two files compared as read: each refused as LoadFileText refuses it,
    // the left one's message first.
    const size_t before = prompter.Messages().size();
    CTextDiff files;
    EXPECT_FALSE(files.CompareFiles(old, "/dev/zero"));
    EXPECT_FALSE(files.CompareFiles(tmp / "none.txt", pipe));
    ASSERT_EQ(prompter.Messages().size(), before + 3);
    EXPECT_EQ(prompter.Messages()[before], "Failed to read the file: /dev/zero\r\n/dev/zero is a device, not a file.");
    EXPECT_EQ(prompter.Messages()[before + 1], "Failed to read the file: " + (tmp / "none.txt") +
                                                   "\r\nNo such file or directory (" + (tmp / "none.txt") + ")");
    EXPECT_EQ(prompter.Messages()[before + 2],
              "Failed to read the file: " + pipe + "\r\n" + pipe + " is a named pipe, not a file.");
}

namespace {
// The file the read probe writes over once it has been looked at, and what
// it writes there (the files of a comparison may be looked at on two
// threads at once).
std::string g_writtenPath, g_writtenBytes;
std::atomic<bool> g_written{false};
void WriteOverOnce(const std::string& path) {
    if (path != g_writtenPath || g_written.exchange(true)) return;
    Write(path, g_writtenBytes);
}

// The lines of the right input, counted from the change list.
size_t RightLineCount(const CTextDiff& diff) {
    size_t n = 0;
    for (const CDiffChange& c : diff.BuildChangeList())
        if (c.kind != kDiffDeleted) n += static_cast<size_t>(c.count);
    return n;
}
}  // namespace

// A file written to between being looked at and being read (its size was
// taken once and then trusted, and a right file is read in several
// passes) is reported as one that could not be read, on either side,
// grown or shrunk, and nothing is compared; a right file of far more lines
// than its size suggests beside the left file is compared all the same.
// Both used to end the program (a list of the right lines failed to grow).
TEST(CompareFiles, AFileWrittenToWhileItIsReadIsReportedAsNotReadable) {
    TempDir tmp;
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    SetDiffReadProbe(WriteOverOnce);
    struct Unset {
        ~Unset() { SetDiffReadProbe(nullptr); }
    } unset;
    const std::string l = tmp / "l.txt", r = tmp / "r.txt";
    std::string longLines, shortLines;
    for (int k = 0; k < 20000; ++k) longLines += "line " + std::to_string(k) + std::string(180, '.') + "\n";
    for (int k = 0; k < 2000000; ++k) shortLines += std::to_string(k % 100) + "\n";
    Write(l, longLines);
    Write(r, shortLines);
    g_written = true;
    {
        CTextDiff files;
        ASSERT_TRUE(files.CompareFiles(l, r));
        EXPECT_EQ(RightLineCount(files), 2000000u);
    }
    EXPECT_TRUE(prompter.Messages().empty());

    // Grown to many short lines, shrunk, a near copy grown, the left file
    // grown, and the right one grown where case is ignored (both files
    // then held whole).
    struct Case {
        std::string path, before, after;
        bool ignoreCase = false;
    };
    const Case cases[] = {{r, longLines.substr(0, 4000), shortLines},
                          {r, shortLines, "0\n1\n"},
                          {r, longLines.substr(0, 4000) + "x\n" + longLines.substr(4000), longLines + "more\n"},
                          {l, longLines, longLines + "more\n"},
                          {r, longLines, longLines + "more\n", true}};
    for (const Case& c : cases) {
        Write(l, longLines);
        Write(c.path, c.before);
        g_writtenPath = c.path;
        g_writtenBytes = c.after;
        g_written = false;
        prompter.entries.clear();
        CTextDiff files(CDiffOptions(c.ignoreCase, false, {}));
        EXPECT_FALSE(files.CompareFiles(l, r)) << c.path << " " << c.before.size();
        EXPECT_TRUE(files.GetRuns().empty());
        EXPECT_EQ(prompter.Messages(),
                  std::vector<std::string>{"Failed to read the file: " + c.path + "\r\nIt changed while it was read."});
    }
    // The lines of a file read for the comparison of baskets.
    g_writtenPath = r;
    g_writtenBytes = "0\n";
    g_written = false;
    std::vector<CDiffLine> lines;
    EXPECT_FALSE(LoadFileLines(r, lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(prompter.Messages().back(), "Failed to read the file: " + r + "\r\nIt changed while it was read.");
}

// The runs, the report and the rows of a comparison match those of the
// comparison of the line lists.
static void ExpectSameResult(CTextDiff& got, CTextDiff& lists, int round) {
    ASSERT_EQ(Describe(got.GetRuns()), Describe(lists.GetRuns())) << "round " << round;
    std::string a, b;
    EXPECT_EQ(got.ListChanges(true, b), lists.ListChanges(true, a));
    EXPECT_EQ(b, a) << "round " << round;
    std::vector<CDiffRow> la, ra, lb, rb;
    lists.BuildRows(la, ra);
    got.BuildRows(lb, rb);
    EXPECT_EQ(lb, la);
    EXPECT_EQ(rb, ra);
}

TEST(CompareViews, SameRunsReportAndRowsAsTheLineLists) {
    std::mt19937 rng(5);
    const CDiffOptions options[] = {CDiffOptions(), CDiffOptions(true, false, {}),
                                    CDiffOptions(false, true, {"^b"})};
    for (int round = 0; round < 60; ++round) {
        const RandomPair p = MakeRandomPair(rng, 300, round % 2 ? 5 : 60, round % 3 != 0);
        const CDiffOptions& opt = options[round % 3];
        CTextDiff lists(opt), views(opt);
        lists.Compare(p.left, p.right);
        views.CompareViews(Views(p.left), Views(p.right));
        ExpectSameResult(views, lists, round);
        EXPECT_TRUE(views.GetLeft().empty());
    }
}

// Files compared as blocks of bytes with the places of their lines, line
// ends mixed and the last line now and then unterminated; and near copies,
// whose equal stretches are found by comparing the blocks: one line
// changed, inserted or dropped, and lines drawn from few texts edited by
// lines of the same texts.
TEST(CompareTexts, SameRunsReportAndRowsAsTheLineLists) {
    TempDir tmp;
    std::mt19937 rng(11);
    // Line ends: every third a CR LF, or all LF, or all CR LF.
    auto write = [&](const std::string& path, const std::vector<CDiffLine>& lines, int ends = 0) {
        std::string bytes;
        for (size_t k = 0; k < lines.size(); ++k) {
            bytes += lines[k].text;
            const bool last = k + 1 == lines.size();
            if (last && !lines[k].text.empty() && rng() % 2) break;
            bytes += ends == 1 ? "\n" : ends == 2 ? "\r\n" : rng() % 3 ? "\n" : "\r\n";
        }
        Write(path, bytes);
    };
    const CDiffOptions options[] = {CDiffOptions(), CDiffOptions(true, false, {})};
    for (int round = 0; round < 40; ++round) {
        const RandomPair p = MakeRandomPair(rng, 300, round % 2 ? 5 : 60, round % 3 != 0);
        const CDiffOptions& opt = options[round % 2];
        write(tmp / "l.txt", p.left);
        write(tmp / "r.txt", p.right);
        CDiffFileText left, right;
        ASSERT_TRUE(LoadFileText(tmp / "l.txt", left));
        ASSERT_TRUE(LoadFileText(tmp / "r.txt", right));
        ASSERT_EQ(left.Count(), p.left.size());
        CTextDiff lists(opt), texts(opt), files(opt);
        lists.Compare(p.left, p.right);
        texts.CompareTexts(std::move(left), std::move(right));
        ExpectSameResult(texts, lists, round);
        ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
        ExpectSameResult(files, lists, round);
    }
    // A last line without a line feed that begins a longer line of the
    // other file, or differs from it only in the line feed; lines ended by
    // CR LF moved between a common head and tail.
    const std::pair<std::string, std::string> ends[] = {
        {"a\nb\nc1\n", "a\nb\nc"}, {"a\nb\nc", "a\nb\nc1"},   {"a\nb\nc", "a\nb\nc\nd\n"},
        {"a\r\nb\r\n", "a\nb\n"}, {"a\nb\nc\n", "a\nb\nc"}, {"a\nb\nc\r", "a\nb\nc\r\n"},
        {"a\r\nb\r\nc\r\nd\r\ne\r\n", "a\r\nc\r\nb\r\nd\r\ne\r\n"}};
    for (const auto& [a, b] : ends) {
        for (int swap = 0; swap < 2; ++swap) {
            Write(tmp / "l.txt", swap ? b : a);
            Write(tmp / "r.txt", swap ? a : b);
            std::vector<CDiffLine> ll, rl;
            ASSERT_TRUE(CTextDiff::LoadFilePair(tmp / "l.txt", tmp / "r.txt", ll, rl));
            CDiffFileText l, r;
            ASSERT_TRUE(LoadFileText(tmp / "l.txt", l));
            ASSERT_TRUE(LoadFileText(tmp / "r.txt", r));
            CTextDiff texts, files;
            texts.CompareTexts(std::move(l), std::move(r));
            EXPECT_EQ(Describe(texts.GetRuns()), Describe(ReferenceDiff(CDiffOptions()).Compare(ll, rl)))
                << (swap ? b : a) << " against " << (swap ? a : b);
            ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
            ExpectSameResult(files, texts, swap);
        }
    }
    for (int round = 0; round < 60; ++round) {
        std::vector<std::string> left = RandomTexts(rng, 1 + rng() % 3000, round % 3 ? 20 : 400, false);
        std::vector<std::string> right = left;
        if (round % 2 == 0) {
            const size_t at = rng() % right.size();
            if (round % 6 == 0) right[at] += "x";
            else if (round % 12 == 10) right[at].back() = '#';  // the same size
            else if (round % 6 == 2) right.insert(right.begin() + at, RandomTexts(rng, 1, 20, false)[0]);
            else right.erase(right.begin() + at);
        } else {
            right.clear();
            for (const std::string& t : left) {
                const unsigned r = rng() % 1000;
                if (r < 3) continue;
                if (r < 6) right.push_back(RandomTexts(rng, 1, 20, false)[0]);
                else right.push_back(t);
                if (r >= 6 && r < 9) right.push_back(RandomTexts(rng, 1, 20, false)[0]);
            }
        }
        if (round % 4 == 3) std::swap(left, right);
        const RandomPair p{Lines(left), Lines(right)};
        const CDiffOptions& opt = options[round % 5 == 4];
        write(tmp / "l.txt", p.left, round % 7 == 6 ? 0 : 1);
        write(tmp / "r.txt", p.right, round % 7 == 6 ? 2 : 1);
        CDiffFileText l, r;
        ASSERT_TRUE(LoadFileText(tmp / "l.txt", l));
        ASSERT_TRUE(LoadFileText(tmp / "r.txt", r));
        CTextDiff lists(opt), texts(opt), files(opt);
        lists.Compare(p.left, p.right);
        texts.CompareTexts(std::move(l), std::move(r));
        ASSERT_EQ(Describe(texts.GetRuns()), Describe(ReferenceDiff(opt).Compare(p.left, p.right)))
            << "near copy " << round;
        ExpectSameResult(texts, lists, 100 + round);
        ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
        ExpectSameResult(files, lists, 200 + round);
    }
    // Files of a few megabytes, read a piece at a time: lines longer than a
    // piece, a line changed at the same size (the first round), lines of
    // the right file's own and lines dropped.
    std::vector<std::string> left = RandomTexts(rng, 150000, 3000, false);
    left[70000] = std::string(3 << 20, 'w');
    left[90000] = std::string((1 << 20) + 7, 'v');
    for (int round = 0; round < 3; ++round) {
        std::vector<std::string> right = left;
        right[70000 + round].back() = '#';
        if (round > 0)
            for (int k = 1; k < 40; ++k) right[k * 3700 + round * 11] += "!" + std::to_string(k % 7);
        if (round == 2) right.erase(right.begin() + 100, right.begin() + 160);
        const RandomPair p{Lines(left), Lines(right)};
        write(tmp / "l.txt", p.left, 1);
        write(tmp / "r.txt", p.right, round == 1 ? 2 : 1);
        CDiffFileText l, r;
        ASSERT_TRUE(LoadFileText(tmp / "l.txt", l));
        ASSERT_TRUE(LoadFileText(tmp / "r.txt", r));
        CTextDiff texts, files;
        texts.CompareTexts(std::move(l), std::move(r));
        ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
        ExpectSameResult(files, texts, 300 + round);
    }
}

// The left file of a near copy is read keeping only some of its lines'
// places, and its lines are then found by walking its bytes: empty lines
// and CR LF ends walked over backwards, lines looked up far from the last
// ones looked at (the report and the rows of a long stretch of the left
// file dropped or changed), changes next to every 64th line, lines of the
// middle that are also lines of the head and tail.
TEST(CompareFiles, ANearCopyFoundFromTheLeftFilesBytesGivesTheRunsReportAndRowsOfTheLines) {
    TempDir tmp;
    std::mt19937 rng(29);
    const std::vector<std::string> pool = {"", "", "b", "c", "}", "d e", "longer line of text"};
    for (int round = 0; round < 48; ++round) {
        std::vector<std::string> left;
        const int n = 4096 + (round % 3) * 37;
        for (int k = 0; k < n; ++k)
            left.push_back(rng() % 4 ? pool[rng() % pool.size()] : "line " + std::to_string(rng() % 900));
        std::vector<std::string> right = left;
        const size_t at = std::vector<size_t>{1024, 2047, 2048, 2049, 2111, 2500}[round % 6];
        const size_t dropped = std::vector<size_t>{0, 1, 3, 40, 300, 1}[(round / 6) % 6];
        right.erase(right.begin() + at, right.begin() + at + dropped);
        for (int k = round % 4; k > 0; --k) right.insert(right.begin() + at, pool[rng() % pool.size()]);
        if (round % 2) std::swap(left, right);
        const RandomPair p{Lines(left), Lines(right)};
        const std::string end = round % 3 == 0 ? "\r\n" : "\n";
        auto write = [&](const std::string& path, const std::vector<std::string>& lines) {
            std::string bytes;
            for (const std::string& line : lines) bytes += line + end;
            if (round % 5 == 4 && !lines.back().empty()) bytes.resize(bytes.size() - end.size());
            Write(path, bytes);
        };
        write(tmp / "l.txt", left);
        write(tmp / "r.txt", right);
        CTextDiff lists, files;
        lists.Compare(p.left, p.right);
        ASSERT_EQ(Describe(lists.GetRuns()), Describe(ReferenceDiff(CDiffOptions()).Compare(p.left, p.right)));
        ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
        ExpectSameResult(files, lists, round);
    }
}

// A file of one line repeated against the same with a few more: the near
// copy's look at the runs through the lines between head and tail gives
// up within its budget (once it ran out on the way back, it went on
// without one, a walk over the whole file for every place: minutes).
TEST(CompareFiles, OneLineRepeatedAgainstAFewMoreGivesUpTheNearCopysLookWithinItsBudget) {
    TempDir tmp;
    const int n = 40000;
    for (const int more : {4, 16}) {
        for (const std::string line : {"", "x"}) {
            std::string left, right;
            for (int k = 0; k < n; ++k) left += line + "\n";
            right = left;
            for (int k = 0; k < more; ++k) right += line + "\n";
            Write(tmp / "l.txt", left);
            Write(tmp / "r.txt", right);
            CTextDiff files;
            ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
            int same = 0;
            for (const CDiffChange& run : files.GetRuns())
                if (run.kind == kDiffSame) same += run.count;
            EXPECT_EQ(same, n) << more << " lines more of '" << line << "'";
        }
    }
}

// Near copies with the edits people make beyond one line: a line or a
// block deleted, a block of more than 16 lines changed, and a few edits
// close together, among lines that repeat (blank lines, braces, a few
// texts, a repeated block), at the start, the end or inside, either way
// round. The runs, report and rows are the plain procedure's, over lines
// held and over files (the scans of the lines between head and tail made
// from the places of their texts, the runs they keep, the tail taken from
// one of its first lines).
TEST(CompareFiles, NearCopiesWithADeletionABlockOrEditsCloseTogetherGiveThePlainProceduresRuns) {
    TempDir tmp;
    std::mt19937 rng(58);
    // The runs over the lines held are the plain procedure's, and those
    // over the files l.txt and r.txt the same.
    auto expectPlainRuns = [&](const RandomPair& p, const std::string& what, int id) {
        CTextDiff lists, files;
        lists.Compare(p.left, p.right);
        ASSERT_EQ(Describe(lists.GetRuns()), Describe(ReferenceDiff(CDiffOptions()).Compare(p.left, p.right))) << what;
        ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
        ExpectSameResult(files, lists, id);
    };
    // The same for two lists of lines, the files written with one line end.
    auto expectPlainRunsOf = [&](const std::vector<std::string>& left, const std::vector<std::string>& right,
                                 const std::string& end, const std::string& what, int id) {
        const auto write = [&](const std::string& path, const std::vector<std::string>& lines) {
            std::string bytes;
            for (const std::string& line : lines) bytes += line + end;
            Write(path, bytes);
        };
        write(tmp / "l.txt", left);
        write(tmp / "r.txt", right);
        expectPlainRuns(RandomPair{Lines(left), Lines(right)}, what, id);
    };
    const std::vector<std::string> pool = {"", "", "}", "{", "  return 0;"};
    // First a head of 4 lines, a middle of 5 and a long tail. Right line 4
    // runs 4 lines at left line 30 (in the tail, 4 lines from the end of
    // the part before it): scanned again within that part, it finds 3 at
    // left line 6, which a scan of the middle alone steps over.
    std::vector<std::string> tail;
    for (int k = 0; k < 40; ++k) tail.push_back("u" + std::to_string(k));
    tail.insert(tail.begin() + 20, {"a", "b", "c", "m1", "X"});
    for (int round = -1; round < 600; ++round) {
        if (round == -1) {
            std::vector<std::string> left = {"x", "y", "a", "v", "q", "a", "a", "b", "c", "r"};
            std::vector<std::string> right = {"x", "y", "a", "v", "a", "b", "c", "m1", "m2"};
            left.insert(left.end(), tail.begin(), tail.end());
            right.insert(right.end(), tail.begin(), tail.end());
            const RandomPair p{Lines(left), Lines(right)};
            CTextDiff lists;
            lists.Compare(p.left, p.right);
            ASSERT_EQ(Describe(lists.GetRuns()), Describe(ReferenceDiff(CDiffOptions()).Compare(p.left, p.right)));
            continue;
        }
        // Every other round: a few edits within 400 lines about the middle
        // of 500 to 3,500 lines (the middle's lines then scanned in the
        // first pass as well).
        const bool about = round % 2 == 1;
        const int n = about ? 500 + static_cast<int>(rng() % 3000)
                      : round % 5 == 0 ? 1 + static_cast<int>(rng() % 40) : 200 + static_cast<int>(rng() % 2800);
        const int texts = std::vector<int>{2, 5, 30, 100000}[about ? 2 + round % 4 / 2 : round % 4];
        const int period = !about && round % 7 == 4 ? 1 + static_cast<int>(rng() % 40) : 0;
        std::vector<std::string> left;
        for (int k = 0; k < n; ++k) {
            if (period) left.push_back(k % 499 == 250 ? "own " + std::to_string(k) : "b" + std::to_string(k % period));
            else if (rng() % 10 < 3) left.push_back(pool[rng() % pool.size()]);
            else left.push_back("t" + std::to_string(rng() % texts));
        }
        auto other = [&] {
            switch (rng() % 4) {
            case 0: return pool[rng() % pool.size()];
            case 1: return left[rng() % left.size()];
            case 2: return "t" + std::to_string(rng() % texts);
            default: return "new " + std::to_string(rng() % 1000);
            }
        };
        std::vector<std::string> right = left;
        // Anywhere, at either end, near the start or about the middle
        // (head and tail of nearly the same length).
        const size_t at = about ? right.size() / 2 - rng() % 100
                                : std::vector<size_t>{rng() % right.size(), rng() % 2 ? 0 : right.size() - 1,
                                                      std::min(right.size() - 1, rng() % 6),
                                                      right.size() / 2 - std::min(right.size() / 2, rng() % 8)}[rng() % 4];
        switch (about ? 3 : round % 4) {
        case 0:  // a line or a block deleted
            right.erase(right.begin() + at, right.begin() + std::min(right.size(), at + 1 + (rng() % 3 ? 0 : rng() % 30)));
            break;
        case 1:  // a block changed
            for (size_t k = at; k < std::min(right.size(), at + 17 + rng() % 24); ++k)
                right[k] = rng() % 3 ? right[k] + " /*c*/" : other();
            break;
        default:  // a few edits close together
            const size_t span = 1 + rng() % (round % 4 == 2 ? 20 : 400);
            for (int e = 2 + static_cast<int>(rng() % 4); e > 0 && !right.empty(); --e) {
                const size_t p = std::min(right.size() - 1, at + rng() % span);
                switch (rng() % 3) {
                case 0: right[p] += " /*c*/"; break;
                case 1: right.erase(right.begin() + p); break;
                default: right.insert(right.begin() + p, other());
                }
            }
        }
        if (!about && round % 3 == 2) std::swap(left, right);
        expectPlainRunsOf(left, right, round % 10 == 5 ? "\r\n" : "\n", "round " + std::to_string(round), round);
        if (HasFatalFailure()) return;
    }
    // Edits inside a block the file holds two or more times (a folder of
    // headers copied): runs through the other copies are runs of the left
    // file against itself, longer than a piece of its bytes compared at a
    // time, its copies with CR LF or LF ends, the last line with none.
    for (int round = 0; round < 160; ++round) {
        const int texts = std::vector<int>{30, 1000, 100000}[round % 3];
        auto lines = [&](int n) {
            std::vector<std::string> out;
            for (int k = 0; k < n; ++k)
                out.push_back(rng() % 10 < 3 ? pool[rng() % pool.size()]
                                             : "t" + std::to_string(rng() % texts) + std::string(rng() % 30, '.'));
            return out;
        };
        const std::vector<std::string> block = lines(round % 4 == 0 ? 1 + static_cast<int>(rng() % 40)
                                                                    : 200 + static_cast<int>(rng() % 1300));
        std::vector<std::string> left = lines(static_cast<int>(rng() % 300));
        std::vector<size_t> copies;
        for (int c = 2 + (round % 5 == 0 ? static_cast<int>(rng() % 4) : 0); c > 0; --c) {
            copies.push_back(left.size());
            left.insert(left.end(), block.begin(), block.end());
            const std::vector<std::string> gap = lines(static_cast<int>(rng() % 3 ? rng() % 60 : rng() % 3000));
            left.insert(left.end(), gap.begin(), gap.end());
        }
        std::vector<std::string> right = left;
        const size_t at = copies[rng() % copies.size()] + rng() % block.size();
        switch (round % 3) {
        case 0:  // a line or a block deleted
            right.erase(right.begin() + at, right.begin() + std::min(right.size(), at + 1 + (rng() % 3 ? 0 : rng() % 30)));
            break;
        case 1:  // a block changed
            for (size_t k = at; k < std::min(right.size(), at + 17 + rng() % 24); ++k) right[k] += " /*c*/";
            break;
        default:  // a few edits close together
            for (int e = 2 + static_cast<int>(rng() % 4); e > 0; --e) {
                const size_t q = std::min(right.size() - 1, at + rng() % 300);
                switch (rng() % 3) {
                case 0: right[q] += " /*c*/"; break;
                case 1: right.erase(right.begin() + q); break;
                default: right.insert(right.begin() + q, block[rng() % block.size()]);
                }
            }
        }
        const bool swapped = round % 4 == 3;
        if (swapped) std::swap(left, right);
        const RandomPair p{Lines(left), Lines(right)};
        // CR LF: every line, the lines of the first copy, or none; the left
        // file's copy and the right file's lines at the same places alike.
        const int ends = static_cast<int>(rng() % 3);
        auto write = [&](const std::string& path, const std::vector<std::string>& lines) {
            std::string bytes;
            for (size_t k = 0; k < lines.size(); ++k) {
                const bool crlf = ends == 1 || (ends == 2 && k >= copies[0] && k < copies[0] + block.size());
                bytes += lines[k] + (crlf ? "\r\n" : "\n");
            }
            if (round % 7 == 6 && !lines.back().empty())
                bytes.resize(bytes.size() - (bytes.ends_with("\r\n") ? 2 : 1));
            Write(path, bytes);
        };
        write(tmp / "l.txt", left);
        write(tmp / "r.txt", right);
        expectPlainRuns(p, "copies, round " + std::to_string(round), 1000 + round);
        if (HasFatalFailure()) return;
    }
    // A line whose text is also the line's before or after it (a blank
    // line among blank lines, a comment line, any line of a run) deleted,
    // or copies of it inserted beside it, the head the shorter side or the
    // longer: the runs through the head's last line and on past it.
    // First a head whose last line, and the first middle lines after it,
    // are found together in the left middle: the part before the tail
    // starts with the longer run there.
    {
        std::vector<std::string> left = {"c", "a", "X", "c", "a", "m1", "W"}, right = {"c", "a", "m1", "Z"};
        left.insert(left.end(), tail.begin(), tail.end());
        right.insert(right.end(), tail.begin(), tail.end());
        expectPlainRunsOf(left, right, "\n", "a head found again in the left middle", 2000);
        if (HasFatalFailure()) return;
    }
    const std::vector<std::string> repeated = {"", "", " *", "}", "#endif", "  return 0;"};
    for (int round = 0; round < 400; ++round) {
        const int n = round % 5 == 0 ? 2 + static_cast<int>(rng() % 60) : 100 + static_cast<int>(rng() % 2900);
        const int texts = std::vector<int>{3, 30, 100000}[round % 3];
        std::vector<std::string> left;
        while (static_cast<int>(left.size()) < n) {
            if (rng() % 10 < 3)
                left.insert(left.end(), 1 + rng() % (rng() % 4 ? 3 : 40), repeated[rng() % repeated.size()]);
            else
                left.push_back("t" + std::to_string(rng() % texts));
        }
        left.resize(n);
        std::vector<size_t> beside;
        for (size_t k = 0; k < left.size(); ++k)
            if ((k > 0 && left[k - 1] == left[k]) || (k + 1 < left.size() && left[k + 1] == left[k])) beside.push_back(k);
        const size_t at = beside.empty() || rng() % 10 == 0 ? rng() % left.size() : beside[rng() % beside.size()];
        const size_t count = rng() % 4 ? 1 : 2 + rng() % 3;
        std::vector<std::string> right = left;
        if (rng() % 2) right.erase(right.begin() + at, right.begin() + std::min(right.size(), at + count));
        else right.insert(right.begin() + at, count, left[at]);
        if (right.empty()) continue;
        if (round % 3 == 2) std::swap(left, right);
        expectPlainRunsOf(left, right, round % 10 == 5 ? "\r\n" : "\n", "beside, round " + std::to_string(round),
                          3000 + round);
        if (HasFatalFailure()) return;
    }
    // Files of few texts and many blank lines (a fifth or half of them),
    // one to three blank lines inserted each before a run of blank lines,
    // or deleted from one: the scans of the first tail lines step over the
    // left tail among the many places of blank lines.
    for (int round = 0; round < 300; ++round) {
        const int n = 100 + static_cast<int>(rng() % 2900), blank = round % 2 ? 50 : 20;
        const int texts = std::vector<int>{2, 5, 50}[round % 3];
        std::vector<std::string> left;
        for (int k = 0; k < n; ++k)
            left.push_back(static_cast<int>(rng() % 100) < blank ? "" : "t" + std::to_string(rng() % texts));
        std::vector<std::string> right = left;
        const bool deleted = round % 4 == 3;
        for (int e = round % 5 == 4 ? 3 : 1; e > 0; --e) {
            size_t at = 1 + rng() % (right.size() - 2);
            while (at + 1 < right.size() && (right[at - 1].empty() || !right[at].empty() || !right[at + 1].empty())) ++at;
            if (at + 1 >= right.size()) continue;
            if (deleted) right.erase(right.begin() + at);
            else right.insert(right.begin() + at, "");
        }
        if (round % 7 == 6) std::swap(left, right);
        expectPlainRunsOf(left, right, round % 10 == 5 ? "\r\n" : "\n", "blank lines, round " + std::to_string(round),
                          4000 + round);
        if (HasFatalFailure()) return;
    }
    // Two to six edits far apart (more than 4,096 lines from the first to
    // the last): lines deleted, inserted or changed, a blank line inserted
    // before a run of blank lines or deleted from one, a block replaced,
    // among few texts or many, a fifth or half of the lines blank. The
    // files are near copies all the same (not numbered line by line) and
    // give the plain procedure's runs.
    int nearWay = 0;
    const int farRounds = 48;
    for (int round = 0; round < farRounds; ++round) {
        const int n = 5000 + static_cast<int>(rng() % 2500), blank = round % 2 ? 50 : 20;
        const int texts = std::vector<int>{5, 50, 5000, 1000000}[round % 4];
        std::vector<std::string> left;
        for (int k = 0; k < n; ++k)
            left.push_back(static_cast<int>(rng() % 100) < blank ? "" : "t" + std::to_string(rng() % texts));
        std::vector<std::string> right = left;
        const int edits = 2 + static_cast<int>(rng() % 5);
        std::vector<size_t> places;
        for (int e = 0; e < edits; ++e) places.push_back(rng() % (right.size() - 60));
        places.front() = rng() % 400;
        places.back() = right.size() - 60 - rng() % 400;
        std::sort(places.rbegin(), places.rend());  // from the end, so that each stays where it was drawn
        for (size_t at : places) {
            switch (rng() % 6) {
            case 0: right.erase(right.begin() + at); break;
            case 1: right.insert(right.begin() + at, "t" + std::to_string(rng() % texts)); break;
            case 2: right[at] += " /*c*/"; break;
            case 3:
                right.erase(right.begin() + at, right.begin() + at + 1 + rng() % 20);
                right.insert(right.begin() + at, rng() % 20, "new " + std::to_string(rng() % 10));
                break;
            default: {  // a blank line before a run of blank lines, or one of it deleted
                while (at + 2 < right.size() && (!right[at].empty() || !right[at + 1].empty())) ++at;
                if (at + 2 >= right.size()) break;
                if (rng() % 2) right.insert(right.begin() + at, "");
                else right.erase(right.begin() + at);
            }
            }
        }
        if (round % 5 == 4) std::swap(left, right);
        const std::string end = round % 6 == 5 ? "\r\n" : "\n";
        auto write = [&](const std::string& path, const std::vector<std::string>& lines) {
            std::string bytes;
            for (const std::string& line : lines) bytes += line + end;
            Write(path, bytes);
        };
        write(tmp / "l.txt", left);
        write(tmp / "r.txt", right);
        const RandomPair p{Lines(left), Lines(right)};
        CTextDiff lists, files;
        lists.Compare(p.left, p.right);
        ASSERT_EQ(Describe(lists.GetRuns()), Describe(ReferenceDiff(CDiffOptions()).Compare(p.left, p.right)))
            << "far apart, round " << round;
        ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
        ExpectSameResult(files, lists, 5000 + round);
        if (HasFatalFailure()) return;
        nearWay += files.WasNearCopy();
    }
    EXPECT_GE(nearWay, farRounds * 3 / 4);
}

// A line whose text is also the line's right beside it (a blank line among
// blank lines, one of two comment lines " *") deleted or inserted, where
// the file's first lines up to it are the shorter side: a near copy, as a
// line of its own deleted there is, not matched the full way (three to
// five times as long; bench/README.md has the times). The same in files of
// few texts and many blank lines (a fifth or half of the lines blank, the
// others drawn from 50 texts), either side the shorter: a blank line
// inserted before a run of blank lines or deleted from one is a near copy
// (the full way took 10 to 40 times as long), with the full way's runs.
TEST(CompareFiles, ALineBesideOneOfItsTextDeletedOrInsertedTakesTheNearCopysWayAsAnotherLineDeleted) {
    TempDir tmp;
    std::mt19937 rng(61);
    const std::vector<std::string> pool = {"}", "{", "  return 0;", "#endif"};
    std::vector<std::string> left;
    while (left.size() < 300000) {
        const unsigned r = rng() % 100;
        if (r < 10) left.insert(left.end(), rng() % 4 ? 1 : 2 + rng() % 2, "");
        else if (r < 13) left.insert(left.end(), 1 + rng() % 2, " *");
        else if (r < 20) left.push_back(pool[rng() % pool.size()]);
        else left.push_back("int v" + std::to_string(rng()) + ";");
    }
    auto write = [](const std::string& path, const std::vector<std::string>& lines) {
        std::string bytes;
        for (const std::string& line : lines) bytes += line + "\n";
        Write(path, bytes);
    };
    write(tmp / "l.txt", left);
    std::vector<std::string> right;
    for (const size_t from : {30000, 90000, 140000}) {
        // The first of two or more blank lines and of two " *" from there on.
        for (const std::string text : {"", " *"}) {
            size_t at = from;
            while (left[at] != text || left[at + 1] != text) ++at;
            for (const bool inserted : {false, true}) {
                right = left;
                if (inserted) right.insert(right.begin() + at, text);
                else right.erase(right.begin() + at);
                write(tmp / "r.txt", right);
                CTextDiff files;
                ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
                EXPECT_EQ(files.GetRuns().size(), 2u);
                EXPECT_TRUE(files.WasNearCopy()) << (inserted ? "inserted" : "deleted") << " '" << text << "' at " << at;
            }
        }
    }
    for (const unsigned blank : {20u, 50u}) {
        left.clear();
        while (left.size() < 150000) left.push_back(rng() % 100 < blank ? "" : "text " + std::to_string(rng() % 50));
        write(tmp / "l.txt", left);
        for (const size_t from : {25000, 60000, 110000}) {
            size_t at = from;
            while (left[at - 1].empty() || !left[at].empty() || !left[at + 1].empty()) ++at;
            for (const bool inserted : {false, true}) {
                right = left;
                if (inserted) right.insert(right.begin() + at, "");
                else right.erase(right.begin() + at);
                write(tmp / "r.txt", right);
                CTextDiff files, full(CDiffOptions(true, false, {}));
                ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
                ASSERT_TRUE(full.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
                const std::string what = std::to_string(blank) + "% blank, " + (inserted ? "inserted" : "deleted") +
                                         " at " + std::to_string(at);
                EXPECT_TRUE(files.WasNearCopy()) << what;
                EXPECT_FALSE(full.WasNearCopy()) << what;
                EXPECT_EQ(Describe(files.GetRuns()), Describe(full.GetRuns())) << what;
            }
        }
    }
}

// A file against the same lines with CR LF ends (either way round), the
// texts the same or a line changed: the right file is read about once.
// The walk over the lines used to read a piece of a megabyte again for
// every line, where the bytes differ at each line end.
TEST(CompareFiles, LineEndsOtherThanTheLeftFilesAreReadOnce) {
    TempDir tmp;
    std::string lf, crlf;
    for (int k = 0; k < 50000; ++k) {
        const std::string line = "    value_" + std::to_string(k) + " = count(k);";
        lf += line + "\n";
        crlf += line + "\r\n";
    }
    Write(tmp / "lf.txt", lf);
    Write(tmp / "crlf.txt", crlf);
    std::string changed = crlf;
    changed.replace(changed.find("value_6000 "), 10, "VALUE_6000");
    Write(tmp / "changed.txt", changed);
    for (const auto& [l, r] : {std::pair{"lf.txt", "crlf.txt"}, std::pair{"crlf.txt", "lf.txt"},
                               std::pair{"lf.txt", "changed.txt"}}) {
        const uint64_t before = textdiff::BytesReadAt();
        CTextDiff files;
        ASSERT_TRUE(files.CompareFiles(tmp / l, tmp / r));
        const uint64_t read = textdiff::BytesReadAt() - before;
        EXPECT_LE(read, 2 * (lf.size() + crlf.size())) << l << " against " << r;
        std::string report;
        const bool differ = files.ListChanges(true, report);
        EXPECT_EQ(differ, std::string(r) == "changed.txt") << report;
        if (differ) {
            EXPECT_EQ(Unix(report), "1. Modified:\n------------\nL  6001     value_6000 = count(k);\n"
                                    "R  6001     VALUE_6000 = count(k);\n");
        }
    }
}

namespace {
// The lines in common of a longest common subsequence, by the textbook
// table over the lines whose text the other side has (one row at a time).
size_t LongestCommonLength(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    const std::unordered_set<std::string> inA(a.begin(), a.end()), inB(b.begin(), b.end());
    std::vector<std::string> x, y;
    for (const std::string& t : a)
        if (inB.count(t)) x.push_back(t);
    for (const std::string& t : b)
        if (inA.count(t)) y.push_back(t);
    std::vector<uint32_t> row(y.size() + 1, 0), next(y.size() + 1, 0);
    for (const std::string& t : x) {
        for (size_t j = 0; j < y.size(); ++j)
            next[j + 1] = t == y[j] ? row[j] + 1 : std::max(row[j + 1], next[j]);
        row.swap(next);
    }
    return row.back();
}

// The lines GNU diff marks (deleted and added), or -1 where it cannot run.
long DiffMarkedLines(const std::string& left, const std::string& right) {
    FILE* pipe = ::popen(("diff '" + left + "' '" + right + "' 2>/dev/null").c_str(), "r");
    if (!pipe) return -1;
    long marked = 0;
    bool any = false;
    char line[4096];
    bool atStart = true;
    while (std::fgets(line, sizeof line, pipe)) {
        any = true;
        if (atStart && (line[0] == '<' || line[0] == '>')) ++marked;
        atStart = std::strchr(line, '\n') != nullptr;
    }
    const int status = ::pclose(pipe);
    return any || status == 0 ? marked : -1;
}
}  // namespace

// Two files that have little but blank lines in common (lines of C-like
// declarations against lines drawn from 50 texts, each a fifth or so
// blank, and a few "#endif" on both sides): the procedure's passes find a
// run of one or two blank lines in each part and rescan the blank lines
// of every part, so its work grows with the square of the lines (minutes
// at a million lines). It gives up and the runs are a longest common
// subsequence: a valid edit script (the change list turns the left lines
// into the right ones), of as many lines in common as the textbook table
// finds, so no more marked lines than GNU diff's. Files of a few thousand
// such lines still get the procedure's runs.
TEST(CompareFiles, FilesThatShareLittleButBlankLinesGiveALongestCommonSubsequence) {
    TempDir tmp;
    std::mt19937 rng(73);
    auto make = [&](size_t n, bool declarations) {
        std::vector<std::string> lines;
        while (lines.size() < n) {
            const unsigned r = rng() % 4000;
            if (r < 1) lines.push_back("#endif");
            else if (r < (declarations ? 520u : 800u)) lines.insert(lines.end(), 1 + (rng() % 5 == 0), "");
            else if (declarations) lines.push_back("extern int f" + std::to_string(rng()) + "(void);");
            else lines.push_back("text " + std::to_string(rng() % 50) + " of fifty");
        }
        return lines;
    };
    auto write = [](const std::string& path, const std::vector<std::string>& lines) {
        std::string bytes;
        for (const std::string& line : lines) bytes += line + "\n";
        Write(path, bytes);
    };
    for (const size_t n : {size_t{2000}, size_t{60000}}) {
        const std::vector<std::string> left = make(n, true), right = make(n + n / 8, false);
        write(tmp / "l.txt", left);
        write(tmp / "r.txt", right);
        CTextDiff files;
        ASSERT_TRUE(files.CompareFiles(tmp / "l.txt", tmp / "r.txt"));
        const std::vector<CDiffChange> list = files.BuildChangeList();
        // The change list takes every left line once and gives the right lines.
        std::vector<std::string> made;
        size_t leftAt = 0, same = 0, marked = 0;
        for (const CDiffChange& c : list) {
            if (c.kind != kDiffAdded) {
                ASSERT_EQ(static_cast<size_t>(c.leftPos), leftAt);
                leftAt += static_cast<size_t>(c.count);
            }
            for (int k = 0; k < c.count; ++k) {
                if (c.kind == kDiffSame) {
                    ASSERT_EQ(left[static_cast<size_t>(c.leftPos + k)], right[static_cast<size_t>(c.rightPos + k)]);
                    made.push_back(left[static_cast<size_t>(c.leftPos + k)]);
                } else if (c.kind != kDiffDeleted) {
                    made.push_back(right[static_cast<size_t>(c.rightPos + k)]);
                }
            }
            if (c.kind == kDiffSame) same += static_cast<size_t>(c.count);
            else marked += static_cast<size_t>(c.count) * (c.kind == kDiffModified ? 2 : 1);
        }
        EXPECT_EQ(leftAt, left.size());
        EXPECT_TRUE(made == right) << n << " lines";
        if (n == 2000) {
            // Few enough lines for the procedure's way.
            EXPECT_FALSE(files.WasLongestCommon());
            std::vector<CDiffLine> l, r;
            for (const std::string& t : left) l.emplace_back(0, -1, -1, t);
            for (const std::string& t : right) r.emplace_back(0, -1, -1, t);
            EXPECT_EQ(Describe(files.GetRuns()), Describe(ReferenceDiff(CDiffOptions()).Compare(l, r)));
            continue;
        }
        EXPECT_TRUE(files.WasLongestCommon());
        EXPECT_EQ(same, LongestCommonLength(left, right));
        const long diffMarked = DiffMarkedLines(tmp / "l.txt", tmp / "r.txt");
        if (diffMarked >= 0) EXPECT_LE(static_cast<long>(marked), diffMarked);
        else ADD_FAILURE() << "GNU diff could not be run";
        // The same lines held: the same way out.
        CTextDiff held;
        ASSERT_TRUE(held.Compare(Lines(left), Lines(right)));
        EXPECT_TRUE(held.WasLongestCommon());
        EXPECT_EQ(Describe(held.GetRuns()), Describe(files.GetRuns()));
    }
}

namespace {
std::string g_stopAtPath;
std::atomic<bool> g_stop{false};
void StopAt(const std::string& path) {
    if (path == g_stopAtPath) g_stop = true;
}
}  // namespace

// A stop (the break flag raised, as the diff window's Pause or close
// raises it on the thread that compares) ends a comparison of files at the
// next look, whichever way it takes: raised as the right file is looked
// at, of a near copy with edits far apart or of files that share little
// but blank lines, the right file's lines are not read after the left
// file. A near copy used to be compared to its end, the stop unheeded.
TEST(CompareFiles, AStopRaisedAsTheFilesAreReadEndsTheComparisonAtTheNextLook) {
    TempDir tmp;
    SetDiffReadProbe(StopAt);
    struct Unset {
        ~Unset() { SetDiffReadProbe(nullptr); }
    } unset;
    std::string left, nearCopy, other;
    for (int k = 0; k < 200000; ++k) {
        const std::string line = k % 7 == 0 ? "" : "    value_" + std::to_string(k) + " = count(k);";
        left += line + "\n";
        nearCopy += (k % 50000 == 7 ? "changed" : line) + "\n";
        other += (k % 5 == 0 ? std::string() : "text " + std::to_string(k % 50)) + "\n";
    }
    Write(tmp / "l.txt", left);
    Write(tmp / "near.txt", nearCopy + "more\n");
    Write(tmp / "other.txt", other);
    for (const std::string right : {"near.txt", "other.txt"}) {
        g_stopAtPath = tmp / right;
        g_stop = false;
        CTextDiff files;
        files.SetBreakFlag(&g_stop);
        const uint64_t before = textdiff::BytesReadAt();
        EXPECT_FALSE(files.CompareFiles(tmp / "l.txt", tmp / right)) << right;
        EXPECT_TRUE(files.WasBroken()) << right;
        EXPECT_TRUE(files.GetRuns().empty()) << right;
        // (A first look at its ends at most: not its lines.)
        EXPECT_LE(textdiff::BytesReadAt() - before, 65536u) << right;
        // Not stopped: compared.
        g_stopAtPath.clear();
        g_stop = false;
        CTextDiff whole;
        whole.SetBreakFlag(&g_stop);
        EXPECT_TRUE(whole.CompareFiles(tmp / "l.txt", tmp / right)) << right;
        EXPECT_FALSE(whole.WasBroken()) << right;
    }
}
