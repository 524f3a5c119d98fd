// Output naming, the checks before a batch run, and the run controller on
// real files of a temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <mutex>
#include <thread>

#include "convert/ConversionRun.h"
#include "convert_ui/BatchRows.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace {

std::vector<CFindRepPreview> Rows(std::initializer_list<std::pair<const char*, const char*>> io) {
    std::vector<CFindRepPreview> rows;
    for (auto [in, out] : io) {
        CFindRepPreview p;
        p.InputName = in;
        p.OutputName = out;
        p.Mode = "O";
        rows.push_back(p);
    }
    return rows;
}

std::vector<std::string> Outs(const std::vector<CFindRepPreview>& rows) {
    std::vector<std::string> v;
    for (const auto& r : rows) v.push_back(r.OutputName);
    return v;
}

TEST(OutputNaming, EveryScheme) {
    NamingFlags f;
    EXPECT_EQ(EnumNumber(0, 9), "1");
    EXPECT_EQ(EnumNumber(0, 10), "01");
    EXPECT_EQ(EnumNumber(6, 150), "007");
    EXPECT_EQ(EnumNumber(11, 99999), "00012");

    auto rows = Rows({{"/a/x.txt", ""}, {"/a/y.txt", ""}, {"/a/z.txt", ""}});
    ApplyCustomNaming(rows, {0, 1, 2}, 1, "_", "", "", f);
    EXPECT_EQ(Outs(rows), (std::vector<std::string>{"/a/1_x.txt", "/a/2_y.txt", "/a/3_z.txt"}));

    // Suffix with enumeration; only the last extension takes it.
    f.enumSuffix = true;
    f.enumPrefix = false;
    rows = Rows({{"/i/1", "/o/a.txt"}, {"/i/2", "/o/b.txt"}, {"/i/3", "/o/a.txt.txt"}});
    SetOutputNames(rows, {0, 1, 2}, 2, "_v", f);
    EXPECT_EQ(Outs(rows), (std::vector<std::string>{"/o/a_v1.txt", "/o/b_v2.txt", "/o/a.txt_v3.txt"}));
    // A name without an extension, and a hidden file, get the suffix at the end.
    EXPECT_EQ(BuildOutputName(2, "/o/make", "", "_v", 0, 1, NamingFlags{}), "/o/make_v");
    EXPECT_EQ(BuildOutputName(2, "/o/.profile", "", "_v", 0, 1, NamingFlags{}), "/o/.profile_v");

    NamingFlags keep;
    EXPECT_EQ(BuildOutputName(5, "/o/x.txt", "", ".bak", 0, 1, keep), "/o/x.txt");
    keep.preserveExt = false;
    EXPECT_EQ(BuildOutputName(5, "/o/x.txt", "", ".bak", 0, 1, keep), "/o/x.bak");
    EXPECT_EQ(BuildOutputName(5, "/o/x", "", ".bak", 0, 1, keep), "/o/x.bak");
    EXPECT_EQ(BuildOutputName(3, "/o/x", "", "", 0, 1, keep), "");
    EXPECT_EQ(BuildOutputName(4, "/o/x.txt", "", "/new/", 0, 1, keep), "/new/x.txt");
    EXPECT_EQ(BuildOutputName(4, "/o/x.txt", "", "", 0, 1, keep), "x.txt");
    EXPECT_EQ(BuildOutputName(1, "/o/x", "/in/y", "", 0, 1, keep), "/in/y");

    // Output window lines: fewer lines leave rows without a name.
    rows = Rows({{"/i/1", ""}, {"/i/2", ""}, {"/i/3", ""}});
    SetOutputNames(rows, {0, 1, 2}, 7, "", keep, "/o/one\r\n/o/two");
    EXPECT_EQ(Outs(rows), (std::vector<std::string>{"/o/one", "/o/two", ""}));
    // A fresh row customised without a base gets the bare texts.
    rows = Rows({{"/i/1", ""}});
    NamingFlags plain;
    plain.enumPrefix = false;
    ApplyCustomNaming(rows, {0}, 0, "p_", "_s", "", plain);
    EXPECT_EQ(rows[0].OutputName, "p__s");
}

TEST(BatchValidation, RefusalsAndTheOverwriteQuestion) {
    std::vector<CFindRepPreview> none;
    EXPECT_EQ(ValidateListForConversion(none, true).refusal,
              "The list must contain filenames that you want to convert. Empty list.");

    std::vector<CFindRepPreview> ten;
    for (int i = 0; i < 10; ++i) ten.push_back(Rows({{"/i/f", ""}})[0]);
    const std::string r = ValidateListForConversion(ten, true).refusal;
    EXPECT_EQ(r.rfind("Following files in the list has no output information.\r\n", 0), 0u);
    EXPECT_NE(r.find("    /i/f\r\n<and more...>\r\n\r\nProvide output"), std::string::npos);
    EXPECT_EQ(std::count(r.begin(), r.end(), '\n'), 9 + 1 + 1 + 1 + 2 + 1);

    // Two rows writing one file, directly or through a relative name.
    auto rows = Rows({{"/i/a.txt", "/o/out.txt"}, {"/i/b.txt", "../o/out.txt"}});
    EXPECT_NE(ValidateListForConversion(rows, true).refusal.find("the same output file"), std::string::npos);
    EXPECT_EQ(rows[1].OutputName, "/o/out.txt");
    // A row writing another row's input.
    rows = Rows({{"/i/a.txt", "/i/b.txt"}, {"/i/b.txt", "/o/b.txt"}});
    EXPECT_NE(ValidateListForConversion(rows, true).refusal.find("input file of another"), std::string::npos);

    // A convert run asks about every row that overwrites its input; a commit
    // only about those with instances.
    rows = Rows({{"/i/a.txt", "/i/a.txt"}, {"/i/b.txt", "/o/b.txt"}});
    BatchCheck c = ValidateListForConversion(rows, true);
    EXPECT_TRUE(c.ok());
    EXPECT_NE(c.question.find("      1. /i/a.txt\r\n"), std::string::npos);
    EXPECT_EQ(c.question.rfind("Following files in the list will be overwritten", 0), 0u);
    EXPECT_TRUE(ValidateListForConversion(rows, false).question.empty());
    rows[0].Instances.resize(1);
    EXPECT_FALSE(ValidateListForConversion(rows, false).question.empty());
    // Relative outputs resolve against the input's folder.
    EXPECT_EQ(ResolveOutputPath("/i/a.txt", "out/a.txt"), "/i/out/a.txt");
}

TEST(InstanceRows, ImageAndDescription) {
    CFindRepInstance i;
    EXPECT_EQ(InstanceImage(i), 6);
    i.Skip = 1;
    EXPECT_EQ(InstanceImage(i), 10);  // first macro step
    i.StepNo = 2;
    EXPECT_EQ(InstanceImage(i), 8);
    i.KeepSteps = 1;
    EXPECT_EQ(InstanceImage(i), 10);
    i.Skip = 0;
    i.Changed = 1;
    EXPECT_EQ(InstanceImage(i), 12);
    i.KeepSteps = 0;
    EXPECT_EQ(InstanceImage(i), 10);
    i.MacroIndex = 1;
    i.InstanceNo = 4;
    EXPECT_EQ(DescribeInstance(i, false, CMacro(), "L"), "Library: L,  Macro: 2,  Instance: 5.");
    EXPECT_EQ(DescribeInstance(i, true, CMacro("f", "r"), "L"), "Using current macro: {f}{r}");
}

class BatchRunnerTest : public ::testing::Test, public ITraceSink {
protected:
    void AppendLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(m);
        trace += line + "\n";
    }
    void SetUp() override {
        previousSink = SetTraceSink(this);
        g_bBatchIdle = true;
        g_bBatchBreak = false;
        live.Libraries.clear();
        CLibrary lib("L");
        lib.MacroList.emplace_back("cat", "dog");
        live.Libraries.push_back(lib);
        g_nLibIndex = 0;
        for (int i = 0; i < 3; ++i) {
            const std::string in = tmp / ("f" + std::to_string(i) + ".txt");
            WriteFile(in, "a cat and a cat\r\n");
            CFindRepPreview p;
            p.InputName = in;
            p.OutputName = tmp / ("out" + std::to_string(i) + ".txt");
            p.Mode = "O";
            live.Previews.push_back(p);
        }
        runner = std::make_unique<CBatchRunner>(live);
        runner->post = [this](std::function<void()> task) {
            std::lock_guard<std::mutex> lock(m);
            queue.push_back(std::move(task));
        };
        runner->onFinished = [this](BatchMode, int f) {
            ++finished;
            failed = f;
        };
    }
    void TearDown() override {
        runner.reset();
        SetTraceSink(previousSink);
        g_bBatchIdle = true;
        g_bBatchBreak = false;
    }
    // Waits for the worker and runs what it handed to the GUI thread.
    void Settle() {
        runner->Join();
        std::vector<std::function<void()>> tasks;
        {
            std::lock_guard<std::mutex> lock(m);
            tasks.swap(queue);
        }
        for (auto& t : tasks) t();
    }
    int Instances() const {
        int n = 0;
        for (const auto& p : live.Previews) n += int(p.Instances.size());
        return n;
    }
    TempDir tmp;
    CLibraryList live;
    std::unique_ptr<CBatchRunner> runner;
    std::mutex m;
    std::vector<std::function<void()>> queue;
    int finished = 0, failed = -5;
    std::string trace;
    ITraceSink* previousSink = nullptr;
};

TEST_F(BatchRunnerTest, ConvertWritesAndIdlesOnlyWhenTheResultsArrive) {
    runner->useCurrentMacro = false;
    ASSERT_TRUE(runner->Start(BatchMode::Convert));
    EXPECT_TRUE(runner->IsRunning());
    EXPECT_FALSE(runner->Start(BatchMode::Convert));  // one run at a time
    runner->Join();
    // The worker ended but its results have not reached the GUI thread yet.
    EXPECT_TRUE(runner->IsRunning());
    Settle();
    EXPECT_FALSE(runner->IsRunning());
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(ReadFile(tmp / "out1.txt"), "a dog and a dog\r\n");  // the line ends it had
}

TEST_F(BatchRunnerTest, InstancesTwiceThenSkipEditCommitAndCommitAgain) {
    ASSERT_TRUE(runner->Start(BatchMode::Instances));
    // Edits after the start do not reach the run.
    live.Libraries[0].MacroList[0].Find = "zzz";
    Settle();
    EXPECT_EQ(Instances(), 6);
    EXPECT_TRUE(runner->previewReady);
    live.Libraries[0].MacroList[0].Find = "cat";
    ASSERT_TRUE(runner->Start(BatchMode::Instances));
    Settle();
    EXPECT_EQ(Instances(), 6);  // fresh records: not appended again

    ASSERT_TRUE(live.SetInstanceSkip(0, 0, 1));
    ASSERT_TRUE(live.SaveInstance(1, 1, "bird"));
    // The third file changes after its preview.
    WriteFile(live.Previews[2].InputName, "no animals\r\n");
    ASSERT_TRUE(runner->Start(BatchMode::Commit));
    Settle();
    EXPECT_EQ(failed, 1);
    EXPECT_NE(runner->skippedReport.find("f2.txt: changed since its preview"), std::string::npos);
    EXPECT_EQ(ReadFile(tmp / "out0.txt"), "a cat and a dog\r\n");
    EXPECT_EQ(ReadFile(tmp / "out1.txt"), "a dog and a bird\r\n");
    EXPECT_FALSE(std::filesystem::exists(tmp / "out2.txt"));
    EXPECT_EQ(Instances(), 0);
    EXPECT_TRUE(runner->previewReady);
}

TEST_F(BatchRunnerTest, StopRaisesTheBreakFlagOnly) {
    for (int i = 0; i < 200; ++i) {
        CFindRepPreview p = live.Previews[0];
        p.OutputName = tmp / ("many" + std::to_string(i));
        live.Previews.push_back(p);
    }
    // The worker waits at its first row until the stop has been raised, so
    // the stop cannot come after the last row however fast the machine.
    std::promise<void> stopped;
    std::shared_future<void> released = stopped.get_future().share();
    auto queueTask = runner->post;
    runner->post = [queueTask, released](std::function<void()> task) {
        released.wait();
        queueTask(std::move(task));
    };
    ASSERT_TRUE(runner->Start(BatchMode::Instances));
    runner->Stop();
    stopped.set_value();
    EXPECT_TRUE(runner->IsRunning());
    Settle();
    EXPECT_FALSE(runner->IsRunning());
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(g_bBatchIdle);
    // The pass's own line, then the worker's.
    const auto aborted = trace.find("--- Batch cvt -f-aborted ---\n");
    ASSERT_NE(aborted, std::string::npos) << trace;
    EXPECT_EQ(trace.substr(aborted + 29), "--- Batch cvt (F) over ---\n");
}

// The window closes while the worker is stuck in a call that does not
// return: the runner waits a while, then lets the worker go, so that the
// program's end does not wait for it.
TEST_F(BatchRunnerTest, AClosingWindowDoesNotWaitForAStuckWorker) {
    std::promise<void> unstick;
    std::shared_future<void> stuck = unstick.get_future().share();
    runner->post = [stuck](std::function<void()>) { stuck.wait(); };
    ASSERT_TRUE(runner->Start(BatchMode::Instances));
    auto closed = std::async(std::launch::async, [this] { runner.reset(); });
    const bool ended = closed.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    EXPECT_TRUE(BatchWorkerRunning());
    unstick.set_value();
    closed.wait();
    EXPECT_TRUE(ended) << "the closing window waited for its stuck worker";
    for (int i = 0; i < 1000 && BatchWorkerRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(BatchWorkerRunning());
}

}  // namespace

namespace {

// Two macros, the second working on what the first wrote.
TEST_F(BatchRunnerTest, TheSourceAccessTableKeepsEveryStepOnlyWhenAsked) {
    live.Libraries[0].MacroList.emplace_back("dog", "bird");
    live.Previews.resize(1);
    for (bool keep : {false, true}) {
        runner->keepSteps = keep;
        ASSERT_TRUE(runner->Start(BatchMode::Instances));
        Settle();
        const CFindRepPreview& row = live.Previews[0];
        ASSERT_EQ(row.Instances.size(), 4u) << keep;
        EXPECT_EQ(row.KeepSteps, keep ? 1 : 0);
        // Off, only the text before the first macro is kept.
        ASSERT_EQ(row.StepTexts.size(), keep ? 2u : 1u);
        EXPECT_EQ(row.StepTexts[0], "a cat and a cat\r\n");
        if (keep) EXPECT_EQ(row.StepTexts[1], "a dog and a dog\r\n");
        for (const CFindRepInstance& i : row.Instances) {
            if (i.StepNo == 0) EXPECT_EQ(InstanceImage(i), 6);
            else EXPECT_EQ(InstanceImage(i), keep ? 7 : 9);
        }
    }
    // The table changes nothing of what a commit writes.
    runner->keepSteps = false;
    ASSERT_TRUE(runner->Start(BatchMode::Instances));
    Settle();
    ASSERT_TRUE(runner->Start(BatchMode::Commit));
    Settle();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(ReadFile(tmp / "out0.txt"), "a bird and a bird\r\n");
}

}  // namespace

namespace {

// A right-aligning tag puts its fill in front of the word before the match:
// the instance covers that stretch, so that a commit writes what a convert
// writes, and a skipped instance leaves the line as it was.
TEST_F(BatchRunnerTest, ARightAlignedMatchIsCommittedAsConvertWritesIt) {
    CMacro align("^d", "<A=20>#");
    align.IsFindWild = align.IsRepWild = align.IsPerLine = 1;
    live.Libraries[0].MacroList = {align};
    live.Previews.resize(2);
    const std::string text = "x = 1\r\n\xc3\x84nderung 7\r\n";
    const std::string converted = "x                = #\r\n         \xc3\x84nderung #\r\n";
    for (CFindRepPreview& row : live.Previews) WriteFile(row.InputName, text);
    ASSERT_TRUE(runner->Start(BatchMode::Convert));
    Settle();
    EXPECT_EQ(ReadFile(live.Previews[0].OutputName), converted);

    ASSERT_TRUE(runner->Start(BatchMode::Instances));
    Settle();
    const CFindRepInstance& first = live.Previews[0].Instances.at(0);
    EXPECT_EQ(first.FindText, " = 1");
    EXPECT_EQ(first.RepText, std::string(16, ' ') + "= #");
    EXPECT_EQ(first.LineText, "x = 1");
    EXPECT_EQ(live.Previews[1].Instances.at(1).LineNo, 1);
    ASSERT_TRUE(live.SetInstanceSkip(1, 1, 1));
    ASSERT_TRUE(runner->Start(BatchMode::Commit));
    Settle();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(ReadFile(live.Previews[0].OutputName), converted);
    EXPECT_EQ(ReadFile(live.Previews[1].OutputName), "x                = #\r\n\xc3\x84nderung 7\r\n");

    // The fill goes in front of what an earlier match of the line became: a
    // column that grows from match to match, and tab stops in a token pass.
    CMacro growing("^d", "<A=<i=2?18>>#");
    growing.IsFindWild = growing.IsRepWild = growing.IsPerLine = 1;
    CMacro tokens("^d", "<A=-4>#");
    tokens.IsFindWild = tokens.IsRepWild = tokens.IsPerLine = tokens.IsDelimParse = 1;
    CMacro column("^d", "<A=<i=5?12>>");
    column.IsFindWild = column.IsRepWild = column.IsPerLine = column.IsDelimParse = 1;
    for (const auto& [macro, input] : {std::pair{growing, "price 3.4\r\n"}, std::pair{tokens, "foo 3.4\r\nbar 7\r\n"},
                                       std::pair{column, "foo 3.4\r\nbar 7\r\n"}}) {
        live.Libraries[0].MacroList = {macro};
        live.Previews.resize(1);
        WriteFile(live.Previews[0].InputName, input);
        ASSERT_TRUE(runner->Start(BatchMode::Convert));
        Settle();
        const std::string written = ReadFile(live.Previews[0].OutputName);
        EXPECT_NE(written, input);
        std::filesystem::remove(live.Previews[0].OutputName);
        ASSERT_TRUE(runner->Start(BatchMode::Instances));
        Settle();
        ASSERT_TRUE(runner->Start(BatchMode::Commit));
        Settle();
        EXPECT_EQ(failed, 0) << macro.Replace << ": " << runner->skippedReport;
        EXPECT_EQ(ReadFile(live.Previews[0].OutputName), written) << macro.Replace;
    }
}

// An error inside a run ends the run, not the program: it is named, and the
// preview it cut short is not offered to a commit.
TEST_F(BatchRunnerTest, AnErrorInTheWorkerEndsTheRunAndIsNamed) {
    auto post = runner->post;
    int calls = 0;
    runner->post = [&](std::function<void()> task) {
        if (calls++ == 0) throw std::runtime_error("the window is gone");
        post(std::move(task));
    };
    ASSERT_TRUE(runner->Start(BatchMode::Instances));
    Settle();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(failed, -1);
    EXPECT_FALSE(runner->IsRunning());
    EXPECT_FALSE(runner->previewReady);
    EXPECT_EQ(Instances(), 0);
    EXPECT_NE(runner->errorReport.find("the window is gone"), std::string::npos) << runner->errorReport;
    EXPECT_NE(trace.find("the window is gone"), std::string::npos) << trace;
    // The next run works as ever.
    ASSERT_TRUE(runner->Start(BatchMode::Instances));
    Settle();
    EXPECT_EQ(Instances(), 6);
    EXPECT_TRUE(runner->errorReport.empty());
}

}  // namespace
