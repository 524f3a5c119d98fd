// Batch conversion over a temporary tree: convert and write, preview, commit.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <mutex>

#include "../support/TempDir.h"
#include "EngineTestUtil.h"
#include "convert/ConversionEngine.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

namespace {
class RecordingTrace : public ITraceSink {
public:
    RecordingTrace() : m_prev(SetTraceSink(this)) {}
    ~RecordingTrace() override { SetTraceSink(m_prev); }
    void AppendLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (char c : line)  // compare as the batch log shows it
            if (c != '\r') text += c;
        text += "\n";
    }
    std::string text;

private:
    std::mutex m_mutex;
    ITraceSink* m_prev;
};

class CountingProgress : public IProgressSink {
public:
    void Step() override { ++steps; }
    void Reset() override { steps = 0; ++resets; }
    int steps = 0, resets = 0;
};

CFindRepPreview Rec(const std::string& in, const std::string& out, const char* mode = "O") {
    CFindRepPreview p;
    p.InputName = in;
    p.OutputName = out;
    p.Mode = mode;
    return p;
}

CLibraryList BatchList(std::initializer_list<CMacro> macros, int step) {
    CLibraryList list = OneLibrary(macros);
    list.m_Run.nBatchStep = step;
    list.m_Run.nLibraryIndex = 0;
    return list;
}
}  // namespace

TEST(BatchConversion, StepZeroWritesChangedFilesAndReports) {
    TempDir tmp;
    RecordingTrace trace;
    WriteFile(tmp / "a.txt", "cat\ndog\r\nbar\r0%\r50%\n");  // changes; lone CRs stay
    WriteFile(tmp / "b.txt", "nothing here\r\n");   // unchanged, same path
    WriteFile(tmp / "c.txt", "plain\r\n");          // unchanged, other path: copied
    WriteFile(tmp / "d.bin", std::string("cat\0cat", 7));
    WriteFile(tmp / "e.txt", "cat");                // appended to an existing output
    WriteFile(tmp / "e.out", "old\n");
    CLibraryList list = BatchList({MakeMacro("cat", "lion")}, 0);
    list.Previews = {Rec(tmp / "a.txt", tmp / "a.txt"), Rec(tmp / "b.txt", tmp / "b.txt"),
                     Rec(tmp / "c.txt", tmp / "sub/deeper/c.txt"),
                     Rec(tmp / "d.bin", tmp / "d.bin"), Rec(tmp / "e.txt", tmp / "e.out", "A"),
                     Rec(tmp / "missing.txt", tmp / "missing.txt")};
    CountingProgress progress;
    list.m_Run.pProgress = &progress;
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 2);
    EXPECT_EQ(progress.resets, 1);
    EXPECT_EQ(progress.steps, 6);  // one step per file
    EXPECT_EQ(ReadFile(tmp / "a.txt"), "lion\ndog\nbar\r0%\r50%\n");
    EXPECT_EQ(ReadFile(tmp / "b.txt"), "nothing here\r\n");
    EXPECT_EQ(ReadFile(tmp / "sub/deeper/c.txt"), "plain\r\n");  // byte for byte
    EXPECT_EQ(ReadFile(tmp / "d.bin"), std::string("cat\0cat", 7));
    EXPECT_EQ(ReadFile(tmp / "e.out"), "old\nlion");
    EXPECT_NE(trace.text.find("The following files were modified:\n"
                              "==================================\n"
                              "      1. a.txt\n      2. e.txt\n"),
              std::string::npos)
        << trace.text;
    EXPECT_NE(trace.text.find("Some of the files could not be processed. They are:\n"
                              "   d.bin (binary)\n   missing.txt"),
              std::string::npos)
        << trace.text;
    EXPECT_NE(trace.text.find("--- Batch cvt Failure ---"), std::string::npos);
    EXPECT_TRUE(g_bBatchIdle);
    // The reason a file could not be read is logged once, not once per look.
    const std::string missing = "(" + tmp / "missing.txt" + ")";
    const std::size_t first = trace.text.find(missing);
    ASSERT_NE(first, std::string::npos) << trace.text;
    EXPECT_EQ(trace.text.find(missing, first + 1), std::string::npos) << trace.text;
}

TEST(ConversionRun, ARunKeepsTheSettingsItWasStartedWith) {
    TempDir tmp;
    RecordingTrace trace;
    WriteFile(tmp / "s.txt", "ab");
    const CMacro savedMacro = CurrentMacro;
    const int savedStep = g_nBatchStep, savedLib = g_nSelectedLibraryIndex;
    const bool savedUse = g_bBatchUseCurrentMacro;
    CurrentMacro = MakeMacro("a", "A");
    g_nBatchStep = 0;
    g_bBatchUseCurrentMacro = true;
    g_nSelectedLibraryIndex = 0;
    CLibraryList list = OneLibrary({MakeMacro("b", "B")});
    list.m_Run = MakeConversionRun();
    list.Previews = {Rec(tmp / "s.txt", tmp / "s.txt")};
    // What the window thread changes after the start does not reach the run.
    CurrentMacro = MakeMacro("b", "X");
    g_nBatchStep = 1;
    g_bBatchUseCurrentMacro = false;
    g_nSelectedLibraryIndex = 7;
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0);
    EXPECT_EQ(ReadFile(tmp / "s.txt"), "Ab");
    // Nor does a change to the list the run was copied from.
    CLibraryList source = OneLibrary({MakeMacro("b", "B")});
    CLibraryList run = source;
    run.m_Run.nLibraryIndex = 0;
    run.m_Run.nBatchStep = 0;
    source.Libraries[0].MacroList[0].Replace = "Z";
    run.Previews = {Rec(tmp / "s.txt", tmp / "s.txt")};
    EXPECT_EQ(CConversionEngine(run).RunBatchReport(), 0);
    EXPECT_EQ(ReadFile(tmp / "s.txt"), "AB");
    CurrentMacro = savedMacro;
    g_nBatchStep = savedStep;
    g_nSelectedLibraryIndex = savedLib;
    g_bBatchUseCurrentMacro = savedUse;
}

TEST(ConversionRun, StopRaisesTheFlagOnlyAndTheRunsEndMakesTheKindIdle) {
    TempDir tmp;
    RecordingTrace trace;
    WriteFile(tmp / "a.txt", "a");
    CLibraryList list = BatchList({MakeMacro("a", "b")}, 0);
    list.Previews = {Rec(tmp / "a.txt", tmp / "a.txt")};
    g_bBatchIdle = false;  // a batch runs
    g_bBatchBreak = true;  // Stop
    EXPECT_FALSE(g_bBatchIdle);
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), -1);
    EXPECT_EQ(ReadFile(tmp / "a.txt"), "a");
    EXPECT_NE(trace.text.find("--- Batch cvt -f-aborted ---"), std::string::npos);
    EXPECT_TRUE(g_bBatchIdle);    // the run's end made the kind idle
    EXPECT_FALSE(g_bBatchBreak);  // and took the stop request down
}

TEST(BatchConversion, EmptyListAndBadLibraryIndex) {
    RecordingTrace trace;
    CLibraryList list = BatchList({MakeMacro("a", "b")}, 0);
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0);
    EXPECT_NE(trace.text.find("(None).\n"), std::string::npos);
    EXPECT_NE(trace.text.find("--- Batch cvt over ---"), std::string::npos);
    list.m_Run.nLibraryIndex = 4;
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), -1);
    EXPECT_NE(trace.text.find("Invalid library index 4"), std::string::npos);
}

TEST(BatchConversion, PreviewThenCommitWithSkippedAndEditedInstances) {
    TempDir tmp;
    RecordingTrace trace;
    const std::string file = tmp / "f.txt";
    WriteFile(file, "one 1 two 22\nthree 333\n");
    CLibraryList list = BatchList({MakeMacro("^d", "<<^d1>>", Wild()), MakeMacro("o", "0")}, 1);
    list.Previews = {Rec(file, file)};
    std::vector<int> images;
    list.m_Run.setRowImage = [&](int, int image) { images.push_back(image); };
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0);
    EXPECT_EQ(ReadFile(file), "one 1 two 22\nthree 333\n");  // step 1 writes nothing
    EXPECT_EQ(images, (std::vector<int>{15}));
    EXPECT_NE(trace.text.find("The following files will be modified:"), std::string::npos);
    ASSERT_EQ(list.GetPreviewInstanceCount(0), 5);  // three numbers, two o's

    // Skip "22", edit the replacement of "1", keep the rest.
    ASSERT_TRUE(list.SetInstanceSkip(0, 1, 1));
    ASSERT_TRUE(list.SaveInstance(0, 0, "[one]"));
    CLibraryList commit = list;
    commit.m_Run.nBatchStep = 2;
    EXPECT_EQ(CConversionEngine(commit).BatchConversionThreadTail(), 0);
    EXPECT_EQ(ReadFile(file), "0ne [one] tw0 22\nthree <333>\n");

    // A second commit with nothing in memory only says so.
    CLibraryList again = commit;
    for (CFindRepPreview& p : again.Previews) p.Instances.clear();
    EXPECT_EQ(CConversionEngine(again).BatchConversionThreadTail(), 0);
    EXPECT_NE(trace.text.find(file + ": 0 instance in this file. Skipped."), std::string::npos);
}

TEST(BatchConversion, CommitRefusesAFileThatChangedSincePreview) {
    TempDir tmp;
    RecordingTrace trace;
    const std::string file = tmp / "g.txt";
    WriteFile(file, "abc abc\n");
    CLibraryList list = BatchList({MakeMacro("abc", "x")}, 1);
    list.Previews = {Rec(file, file)};
    CConversionEngine(list).RunBatchReport();
    WriteFile(file, "zzz abc\n");
    list.m_Run.nBatchStep = 2;
    EXPECT_EQ(CConversionEngine(list).BatchConversionThreadTail(), 1);
    EXPECT_EQ(ReadFile(file), "zzz abc\n");
    EXPECT_NE(trace.text.find("Failed to process the following:\n   g.txt"), std::string::npos);
}

TEST(BatchConversion, AFileAddedToWhileConvertedInPlaceIsNotReplaced) {
    // Another process adds lines to the files after they were read and before
    // the new texts are put in place: a small file, and one large enough to
    // be converted in parts.
    TempDir tmp;
    RecordingTrace trace;
    const std::string small = tmp / "small.log", large = tmp / "large.log";
    WriteFile(small, "cat\n");
    std::string big;
    while (big.size() < (6u << 20)) big += "a cat line\n";
    WriteFile(large, big);
    WriteFile(tmp / "other.log", "cat\n");
    struct Appender : IProgressSink {
        std::vector<std::string> files;  // by row: added to once the row is converted
        std::size_t row = 0;
        void Step() override {
            if (row < files.size() && !files[row].empty()) {
                std::FILE* fp = std::fopen(files[row].c_str(), "ab");
                std::fputs("appended\n", fp);
                std::fclose(fp);
            }
            ++row;
        }
        void Reset() override {}
    } appender;
    appender.files = {small, large, ""};
    CLibraryList list = BatchList({MakeMacro("cat", "dog")}, 0);
    list.Previews = {Rec(small, small), Rec(large, large), Rec(tmp / "other.log", tmp / "other.log")};
    list.m_Run.pProgress = &appender;
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 2) << trace.text;
    EXPECT_EQ(ReadFile(small), "cat\nappended\n");
    EXPECT_TRUE(ReadFile(large) == big + "appended\n");
    EXPECT_EQ(ReadFile(tmp / "other.log"), "dog\n");
    EXPECT_NE(trace.text.find(small + ": the file changed after it was read; it is not replaced"),
              std::string::npos)
        << trace.text;
    EXPECT_NE(trace.text.find("Some of the files could not be processed. They are:\n"
                              "   small.log\n   large.log\n"),
              std::string::npos)
        << trace.text;
}

TEST(BatchConversion, CommitIsRefusedForASubFilterLibrary) {
    TempDir tmp;
    RecordingTrace trace;
    const std::string file = tmp / "h.txt";
    WriteFile(file, "a1b2\n");
    MacroFlags sub = Wild();
    sub.subFilter = true;
    CLibraryList list = BatchList({MakeMacro("^d", "<^d1>", sub)}, 1);
    list.Previews = {Rec(file, file)};
    CConversionEngine(list).RunBatchReport();
    list.m_Run.nBatchStep = 2;
    EXPECT_EQ(CConversionEngine(list).BatchConversionThreadTail(), -1);
    EXPECT_EQ(ReadFile(file), "a1b2\n");
    EXPECT_NE(trace.text.find("sub-filter"), std::string::npos);
}

TEST(BatchConversion, ApplyInstancesReplaysEveryMacroInOrder) {
    // Instances of later macros were recorded on the text the earlier ones made.
    CLibraryList list = BatchList({MakeMacro("a", "xyz"), MakeMacro("z", "Q"), MakeMacro("b", "")},
                                  1);
    CFindRepPreview p;
    std::string converted = CConversionEngine(list).RunLibraryPass("ab\r\nab", p);
    EXPECT_EQ(converted, "xyQ\r\nxyQ");
    std::string text = "ab\r\nab";
    std::vector<int> dropped;
    EXPECT_TRUE(CConversionEngine(list).ApplyInstances(p, text, &dropped));
    EXPECT_EQ(text, converted);
    EXPECT_TRUE(dropped.empty());
    // The first "a" skipped: its "z" never appears, and that instance of the
    // second macro is left out on its own; the third macro still applies.
    p.Instances[0].Skip = 1;
    text = "ab\r\nab";
    EXPECT_TRUE(CConversionEngine(list).ApplyInstances(p, text, &dropped));
    EXPECT_EQ(text, "a\r\nxyQ");
    EXPECT_EQ(dropped, std::vector<int>{2});
}

TEST(BatchConversion, ASkippedOrEditedInstanceLeavesOutOnlyWhatWasFoundInItsReplacement) {
    // A chain: the second macro finds what the first one makes.
    CLibraryList list = BatchList({MakeMacro("foo", "FOO1"), MakeMacro("FOO1", "BAR2")}, 1);
    CFindRepPreview p;
    const std::string file = "foo bar\r\nbar foo\r\n";
    EXPECT_EQ(CConversionEngine(list).RunLibraryPass(file, p), "BAR2 bar\r\nbar BAR2\r\n");
    ASSERT_EQ(p.Instances.size(), 4u);
    std::vector<int> dropped;
    std::string text = file;
    p.Instances[0].Skip = 1;
    EXPECT_TRUE(CConversionEngine(list).ApplyInstances(p, text, &dropped));
    EXPECT_EQ(text, "foo bar\r\nbar BAR2\r\n");
    EXPECT_EQ(dropped, std::vector<int>{2});
    // The skipped instance of the second macro too: nothing more to leave out.
    p.Instances[2].Skip = 1;
    text = file;
    EXPECT_TRUE(CConversionEngine(list).ApplyInstances(p, text, &dropped));
    EXPECT_EQ(text, "foo bar\r\nbar BAR2\r\n");
    EXPECT_TRUE(dropped.empty());
    // An edited replacement is written as edited; what the preview found in
    // the replacement it had is left out.
    p.Instances[0].Skip = p.Instances[2].Skip = 0;
    p.Instances[1].RepText = "foo-1";
    p.Instances[1].Changed = 1;
    text = file;
    EXPECT_TRUE(CConversionEngine(list).ApplyInstances(p, text, &dropped));
    EXPECT_EQ(text, "BAR2 bar\r\nbar foo-1\r\n");
    EXPECT_EQ(dropped, std::vector<int>{3});
    // A text other than the one the preview read is refused.
    text = "fox bar\r\nbar foo\r\n";
    EXPECT_FALSE(CConversionEngine(list).ApplyInstances(p, text, &dropped));
}

TEST(BatchConversion, StopBetweenFilesEndsTheRunWithItsMarker) {
    TempDir tmp;
    RecordingTrace trace;
    WriteFile(tmp / "a.txt", "a");
    std::atomic<bool> stop{true};
    CLibraryList list = BatchList({MakeMacro("a", "b")}, 0);
    list.m_Run.pBatchBreak = &stop;
    list.Previews = {Rec(tmp / "a.txt", tmp / "a.txt")};
    EXPECT_EQ(CConversionEngine(list).RunBatchReport(), -1);
    EXPECT_EQ(ReadFile(tmp / "a.txt"), "a");
    EXPECT_NE(trace.text.find("--- Batch cvt -f-aborted ---"), std::string::npos);
}

#include "convert/FolderFiles.h"

TEST(FolderFiles, ListsOnlyThePlainFilesOfTheFolder) {
    TempDir tmp;
    std::filesystem::create_directories(tmp / "sub");
    WriteFile(tmp / "a.txt", "");
    WriteFile(tmp / "sub/b.txt", "");
    EXPECT_EQ(ListFilesInFolder(tmp.path()), (std::vector<std::string>{tmp / "a.txt"}));
    EXPECT_TRUE(ListFilesInFolder(tmp / "none").empty());
}

TEST(BatchFiles, WritesGoThroughATemporaryFileRenamedOverTheTarget) {
    TempDir tmp;
    namespace fs = std::filesystem;
    const std::string target = tmp / "w/t.txt";
    fs::create_directories(tmp / "w");
    WriteFile(target, "old\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    std::string reason;
    ASSERT_TRUE(WriteFileReplacing(target, "a\r\nb\r\n", false, reason, true));
    EXPECT_EQ(ReadFile(target), "a\nb\n");  // text mode: LF on disk
    // Only the CR of a CR LF pair goes; a CR on its own is text.
    ASSERT_TRUE(WriteFileReplacing(target, "\rc\rd\r\r\ne\r", false, reason, true));
    EXPECT_EQ(ReadFile(target), "\rc\rd\r\ne\r");
    ASSERT_TRUE(WriteFileReplacing(target, "a\r\nb\r\n", false, reason, true));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);  // the target's mode is kept
    // Nothing but the target is left in the folder.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(tmp / "w")) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
    // A folder that cannot be written: the old file stays whole, no temporary is left.
    if (::geteuid() != 0) {
        fs::permissions(tmp / "w", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(WriteFileReplacing(target, "new", false, reason));
        EXPECT_FALSE(reason.empty());
        fs::permissions(tmp / "w", fs::perms::owner_all);
        EXPECT_EQ(ReadFile(target), "a\nb\n");
        entries = 0;
        for (const auto& e : fs::directory_iterator(tmp / "w")) {
            (void)e;
            ++entries;
        }
        EXPECT_EQ(entries, 1);
    }
    // Missing folders are made; a file standing in a folder's place fails.
    EXPECT_TRUE(WriteFileReplacing(tmp / "x/y/z.txt", "z", false, reason));
    EXPECT_EQ(ReadFile(tmp / "x/y/z.txt"), "z");
    EXPECT_FALSE(WriteFileReplacing(tmp / "w/t.txt/q.txt", "q", false, reason));
    EXPECT_TRUE(CopyFileReplacing(target, tmp / "c/copy.txt", reason));
    EXPECT_EQ(ReadFile(tmp / "c/copy.txt"), "a\nb\n");
    // A link is written through and stays a link.
    fs::create_directories(tmp / "l");
    fs::create_symlink(target, tmp / "l/link.txt");
    EXPECT_TRUE(WriteFileReplacing(tmp / "l/link.txt", "via link", false, reason));
    EXPECT_TRUE(fs::is_symlink(tmp / "l/link.txt"));
    EXPECT_EQ(ReadFile(target), "via link");
}

TEST(BatchFiles, ReadingTurnsLoneLineFeedsIntoCrLf) {
    TempDir tmp;
    WriteFile(tmp / "m.txt", "\na\nb\r\nc\rd\n\n");
    std::string text, reason;
    ASSERT_TRUE(ReadFileForConversion(tmp / "m.txt", text, reason));
    EXPECT_EQ(text, "\r\na\r\nb\r\nc\rd\r\n\r\n");
    WriteFile(tmp / "e.txt", "");
    ASSERT_TRUE(ReadFileForConversion(tmp / "e.txt", text, reason));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(ReadFileForConversion(tmp.path(), text, reason));
    EXPECT_EQ(reason, "(unreadable)");
    std::string big(3u << 20, 'x');
    big[1000] = '\n';
    WriteFile(tmp / "big.txt", big);
    ASSERT_TRUE(ReadFileForConversion(tmp / "big.txt", text, reason));
    EXPECT_EQ(text.size(), big.size() + 1);
    EXPECT_EQ(text.substr(999, 4), "x\r\nx");
}
