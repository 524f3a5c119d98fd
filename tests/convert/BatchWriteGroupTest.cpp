// A batch writes its files in groups: each file still reaches its target
// whole, in order, and later rows see what earlier rows wrote.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "../support/TempDir.h"
#include "EngineTestUtil.h"
#include "convert/ConversionEngine.h"
#include "model/Globals.h"
#include "platform/Prompter.h"

namespace fs = std::filesystem;

namespace {
CFindRepPreview Row(const std::string& in, const std::string& out, const char* mode = "O") {
    CFindRepPreview p;
    p.InputName = in;
    p.OutputName = out;
    p.Mode = mode;
    return p;
}

CLibraryList Batch(const CMacro& m) {
    CLibraryList list = OneLibrary({m});
    list.m_Run.nBatchStep = 0;
    list.m_Run.nLibraryIndex = 0;
    return list;
}

// Raises the stop flag once `after` files are done.
class CountingStop : public IProgressSink {
public:
    CountingStop(std::atomic<bool>& stop, int& seen, int after)
        : m_stop(stop), m_seen(seen), m_after(after) {}
    void Step() override {
        if (++m_seen == m_after) m_stop = true;
    }
    void Reset() override {}

private:
    std::atomic<bool>& m_stop;
    int& m_seen;
    int m_after;
};

int LeftoverTemporaries(const fs::path& dir) {
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().filename().string().find(".qvl-part-") != std::string::npos) ++n;
    return n;
}
}  // namespace

TEST(BatchWriteGroup, LaterRowsReadAndAppendToWhatEarlierRowsWrote) {
    TempDir tmp;
    WriteFile(tmp / "a.txt", "x\n");
    WriteFile(tmp / "extra.txt", "x");
    CLibraryList list = Batch(MakeMacro("x", "xy"));
    // b is written from a, then read as the input of c; t gets b's text and
    // then, appended, extra's.
    list.Previews = {Row(tmp / "a.txt", tmp / "b.txt"), Row(tmp / "b.txt", tmp / "c.txt"),
                     Row(tmp / "./c.txt", tmp / "t.txt"), Row(tmp / "extra.txt", tmp / "t.txt", "A"),
                     Row(tmp / "a.txt", tmp / "a.txt")};
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0);
    EXPECT_EQ(ReadFile(tmp / "b.txt"), "xy\n");
    EXPECT_EQ(ReadFile(tmp / "c.txt"), "xyy\n");
    EXPECT_EQ(ReadFile(tmp / "t.txt"), "xyyy\nxy");
    EXPECT_EQ(ReadFile(tmp / "a.txt"), "xy\n");
    EXPECT_EQ(LeftoverTemporaries(tmp.path()), 0);

    // Other names of a file being written: a hard link and a symbolic link.
    WriteFile(tmp / "h.txt", "x");
    fs::create_hard_link(tmp / "h.txt", tmp / "hard.txt");
    WriteFile(tmp / "s.txt", "x");
    fs::create_symlink(tmp / "s.txt", tmp / "soft.txt");
    CLibraryList links = Batch(MakeMacro("x", "xy"));
    links.Previews = {Row(tmp / "h.txt", tmp / "h.txt"), Row(tmp / "hard.txt", tmp / "h2.txt"),
                      Row(tmp / "s.txt", tmp / "s.txt"), Row(tmp / "soft.txt", tmp / "s2.txt")};
    EXPECT_EQ(CConversionEngine(links).RunBatchReport(), 0);
    EXPECT_EQ(ReadFile(tmp / "h2.txt"), "xyy");
    EXPECT_EQ(ReadFile(tmp / "hard.txt"), "xy");
    EXPECT_EQ(ReadFile(tmp / "s2.txt"), "xyy");
    EXPECT_EQ(LeftoverTemporaries(tmp.path()), 0);
}

TEST(BatchWriteGroup, ManyFilesAreAllWrittenAndTheSameFileTwiceKeepsTheLastText) {
    TempDir tmp;
    const int count = 1300;  // several groups
    CLibraryList list = Batch(MakeMacro("old", "new"));
    for (int i = 0; i < count; ++i) {
        std::string name = "f" + std::to_string(i) + ".txt";
        WriteFile(tmp / name, "old " + std::to_string(i) + "\n");
        list.Previews.push_back(Row(tmp / name, tmp / name));
    }
    // Two rows of one output: the later text wins, as when written one by one.
    WriteFile(tmp / "one.txt", "old one");
    WriteFile(tmp / "two.txt", "old two");
    list.Previews.push_back(Row(tmp / "one.txt", tmp / "out.txt"));
    list.Previews.push_back(Row(tmp / "two.txt", tmp / "out.txt"));
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0);
    for (int i = 0; i < count; i += 97)
        EXPECT_EQ(ReadFile(tmp / ("f" + std::to_string(i) + ".txt")),
                  "new " + std::to_string(i) + "\n");
    EXPECT_EQ(ReadFile(tmp / ("f" + std::to_string(count - 1) + ".txt")),
              "new " + std::to_string(count - 1) + "\n");
    EXPECT_EQ(ReadFile(tmp / "out.txt"), "new two");
    EXPECT_EQ(LeftoverTemporaries(tmp.path()), 0);
}

TEST(BatchWriteGroup, StopKeepsTheFilesConvertedBeforeIt) {
    TempDir tmp;
    std::atomic<bool> stop{false};
    CLibraryList list = Batch(MakeMacro("old", "new"));
    list.m_Run.pBatchBreak = &stop;
    for (int i = 0; i < 5; ++i) {
        std::string name = "f" + std::to_string(i) + ".txt";
        WriteFile(tmp / name, "old");
        list.Previews.push_back(Row(tmp / name, tmp / name));
    }
    int seen = 0;
    CountingStop progress(stop, seen, 3);
    list.m_Run.pProgress = &progress;
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), -1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ReadFile(tmp / ("f" + std::to_string(i) + ".txt")), i < 3 ? "new" : "old") << i;
    EXPECT_EQ(LeftoverTemporaries(tmp.path()), 0);
}

namespace {
class CountingProgress : public IProgressSink {
public:
    void Step() override { ++steps; }
    void Reset() override { steps = 0; }
    int steps = 0;
};
}  // namespace

TEST(BatchWriteGroup, FilesConvertedInPlaceSideBySideReportAsOneByOne) {
    TempDir tmp;
    CLibraryList list = Batch(MakeMacro("old", "new"));
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        std::string name = "f" + std::to_string(i) + ".txt";
        WriteFile(tmp / name, i == 7 ? std::string("old\0", 4) : i % 3 ? "old\r\n" + name : name);
        list.Previews.push_back(Row(tmp / name, tmp / name));
    }
    CountingProgress progress;
    list.m_Run.pProgress = &progress;
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 1);  // the binary one
    EXPECT_EQ(progress.steps, count);
    for (int i = 0; i < count; ++i) {
        std::string name = "f" + std::to_string(i) + ".txt";
        std::string want = i == 7 ? std::string("old\0", 4) : i % 3 ? "new\r\n" + name : name;
        EXPECT_EQ(ReadFile(tmp / name), want) << name;
    }
    EXPECT_EQ(LeftoverTemporaries(tmp.path()), 0);
}

TEST(BatchWriteGroup, StopWhileFilesRunSideBySideLeavesEachFileWhole) {
    TempDir tmp;
    std::atomic<bool> stop{false};
    CLibraryList list = Batch(MakeMacro("old", "new"));
    list.m_Run.pBatchBreak = &stop;
    const int count = 400;
    for (int i = 0; i < count; ++i) {
        std::string name = "f" + std::to_string(i) + ".txt";
        WriteFile(tmp / name, "old " + std::string(4000, 'x'));
        list.Previews.push_back(Row(tmp / name, tmp / name));
    }
    int seen = 0;
    CountingStop progress(stop, seen, 50);
    list.m_Run.pProgress = &progress;
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), -1);
    int converted = 0;
    for (int i = 0; i < count; ++i) {
        std::string text = ReadFile(tmp / ("f" + std::to_string(i) + ".txt"));
        ASSERT_EQ(text.size(), 4004u) << i;
        if (text.compare(0, 4, "new ") == 0) ++converted;
        else EXPECT_EQ(text.compare(0, 4, "old "), 0) << i;
    }
    EXPECT_GE(converted, 50);
    EXPECT_LT(converted, count);
    EXPECT_EQ(LeftoverTemporaries(tmp.path()), 0);
}
