#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <thread>

#include "model/Globals.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace {
struct CollectingSink : ITraceSink {
    std::mutex m;
    std::vector<std::string> lines;
    void AppendLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(m);
        lines.push_back(line);
    }
};

struct SinkGuard {
    ITraceSink* old;
    explicit SinkGuard(ITraceSink* s) : old(SetTraceSink(s)) {}
    ~SinkGuard() { SetTraceSink(old); }
};
}  // namespace

TEST(Trace, BatchModeWritesLinesWithoutCarriageReturns) {
    TempDir tmp;
    std::string log = tmp / "cmd_log.txt";
    WriteFile(log, "earlier run\n");
    ASSERT_TRUE(OpenBatchLog(log));
    g_bBatchMode = true;
    WriteTrace("one\r\ntwo");
    WriteTrace("");
    g_bBatchMode = false;
    CloseBatchLog();
    EXPECT_EQ(ReadFile(log), "earlier run\none\ntwo\n\n");
}

TEST(Trace, WindowModeGoesToTheSinkFromManyThreads) {
    CollectingSink sink;
    SinkGuard guard(&sink);
    WriteTrace("before");  // no sink would have dropped it; here it arrives
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) WriteTrace("t" + std::to_string(t));
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(sink.lines.size(), 1u + 8 * 200);
    SetTraceSink(nullptr);
    WriteTrace("dropped");  // no sink, no batch mode: nothing, no crash
}

TEST(Trace, ReadFileTextIsVerbatimAndReportsProgress) {
    TempDir tmp;
    CollectingSink sink;
    SinkGuard guard(&sink);
    std::string bytes = "a\r\nb\nc\0d\re";
    bytes += std::string("\0\0", 2);
    WriteFile(tmp / "f.bin", bytes);
    std::string text;
    g_bTrace = true;
    ASSERT_TRUE(ReadFileText(tmp / "f.bin", text));
    g_bTrace = false;
    EXPECT_EQ(text, bytes);
    EXPECT_EQ(sink.lines.back(), tmp / "f.bin");

    // 1 MB with tracing off: a line per 256 KB.
    sink.lines.clear();
    WriteFile(tmp / "big.txt", std::string(1024 * 1024, 'x'));
    ASSERT_TRUE(ReadFileText(tmp / "big.txt", text));
    EXPECT_EQ(text.size(), 1024u * 1024u);
    EXPECT_EQ(sink.lines, (std::vector<std::string>{
                              "Read: 256 K. (big.txt)", "Read: 512 K. (big.txt)",
                              "Read: 768 K. (big.txt)", "Read: 1024 K. (big.txt)"}));

    sink.lines.clear();
    EXPECT_FALSE(ReadFileText(tmp / "missing.txt", text));
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_NE(sink.lines[0].find("missing.txt"), std::string::npos);
    EXPECT_FALSE(ReadFileText(tmp.path(), text));  // a folder is not a file
}

TEST(Trace, PathHelpers) {
    EXPECT_EQ(GetFileNameFromPath("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(GetFileNameFromPath("c.txt"), "c.txt");
    EXPECT_EQ(GetPathTail("[a.b]c.com", ']'), "c.com");
    EXPECT_EQ(SplitPathFolders("/a/b//c"), (std::vector<std::string>{"a", "b", "c"}));

    EXPECT_TRUE(IsValidPath("/tmp/a*b.txt"));
    EXPECT_FALSE(IsValidPath(""));
    EXPECT_FALSE(IsValidPath("   "));
    for (const char* bad : {"a?b", "a\"b", "a<b", "a>b", "a|b", "a\\b", "a\nb"})
        EXPECT_FALSE(IsValidPath(bad)) << bad;
}

TEST(Trace, CreateFolderPathMakesEachLevelAndFailsOnAFile) {
    TempDir tmp;
    EXPECT_TRUE(CreateFolderPath(tmp / "x/y/z"));
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "x/y/z"));
    EXPECT_TRUE(CreateFolderPath(tmp / "x/y/z/"));  // existing is no failure
    WriteFile(tmp / "file", "");
    EXPECT_FALSE(CreateFolderPath(tmp / "file/sub"));
}
