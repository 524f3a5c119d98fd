// A batch writes its files in groups: each file still reaches its target
// whole, in order, and later rows see what earlier rows wrote.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "../support/TempDir.h"
#include "EngineTestUtil.h"
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
    EXPECT_EQ(list.RunBatchReport(), 0);
    EXPECT_EQ(ReadFile(tmp / "b.txt"), "xy\n");
    EXPECT_EQ(ReadFile(tmp / "c.txt"), "xyy\n");
    EXPECT_EQ(ReadFile(tmp / "t.txt"), "xyyy\nxy");
    EXPECT_EQ(ReadFile(tmp / "a.txt"), "xy\n");
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
    EXPECT_EQ(list.RunBatchReport(), 0);
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
    EXPECT_EQ(list.RunBatchReport(), -1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ReadFile(tmp / ("f" + std::to_string(i) + ".txt")), i < 3 ? "new" : "old") << i;
    EXPECT_EQ(LeftoverTemporaries(tmp.path()), 0);
}
