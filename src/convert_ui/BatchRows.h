// The rows of the batch conversion: output naming, the checks before a run,
// and the run controller that takes one snapshot per run, runs the engine on
// a worker and hands the results back to the GUI thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "model/Library.h"

class CProgramData;

// ---- Output naming
struct NamingFlags {
    bool enumSuffix = false;
    bool enumPrefix = true;
    bool preserveExt = true;
};
// The row number i + 1 padded to the digits of n (n up to five digits).
std::string EnumNumber(int i, int n);
// The new output path of the i-th of n selected rows (output o, input in).
// Scheme 1 same as input, 2 suffix, 3 text as is, 4 redirect, 5 extension,
// 6 prefix, 7 line i of outputText. The suffix goes before the last dot only.
std::string BuildOutputName(int scheme, const std::string& o, const std::string& in,
                            const std::string& text, int i, int n, const NamingFlags& flags,
                            const std::string& outputText = {});
// Applies a scheme to the selected rows.
void SetOutputNames(std::vector<CFindRepPreview>& rows, const std::vector<int>& selected, int scheme,
                    const std::string& text, const NamingFlags& flags, const std::string& outputText = {});
// Base naming (0 none, 1 same as input, 2 Output window), then suffix,
// extension and prefix.
void ApplyCustomNaming(std::vector<CFindRepPreview>& rows, const std::vector<int>& selected, int base,
                       const std::string& prefix, const std::string& suffix, const std::string& ext,
                       const NamingFlags& flags, const std::string& outputText = {});
// A relative output path taken against the input's folder.
std::string ResolveOutputPath(const std::string& input, const std::string& output);

// ---- The checks before a run
struct BatchCheck {
    std::string refusal;   // shown with a stop icon; the run does not start
    std::string question;  // Yes/No; No stops the run
    bool ok() const { return refusal.empty(); }
};
// Before Convert (convertRun) and Commit. Relative outputs are resolved in
// the rows first. Missing outputs, shared outputs and an output that is
// another row's input are refused; rows that would overwrite their input are
// asked about (in a convert run every such row, in a commit the rows with
// instances).
BatchCheck ValidateListForConversion(std::vector<CFindRepPreview>& rows, bool convertRun);

// The image of an instance row: base image, then Skip and Changed by the
// step that found it and its trailing flag.
int InstanceImage(const CFindRepInstance& inst);
// The description of an instance in the hint box.
std::string DescribeInstance(const CFindRepInstance& inst, bool usingCurrentMacro, const CMacro& current,
                             const std::string& libraryName);

// ---- Runs
enum class BatchMode { Convert = 0, Instances = 1, Commit = 2 };

// How long a runner that goes (the window closes) waits for its worker to end.
constexpr int kBatchEndWaitMs = 2000;
// True while the thread of a batch worker has not ended, also one a runner let go.
bool BatchWorkerRunning();

class CBatchRunner {
public:
    // rows and libraries: the live program data's library list (GUI thread only).
    explicit CBatchRunner(CLibraryList& live);
    ~CBatchRunner();
    CBatchRunner(const CBatchRunner&) = delete;
    CBatchRunner& operator=(const CBatchRunner&) = delete;

    // How the worker reaches the GUI thread (tests may run the task at once).
    std::function<void(std::function<void()>)> post;
    // On the GUI thread when a run ended (after the results reached the rows).
    std::function<void(BatchMode mode, int failed)> onFinished;
    // Engine callbacks, posted to the GUI thread.
    std::function<void(int row)> onSelectRow;
    std::function<void(int row, int image)> onRowImage;

    bool previewReady = false;
    // The batch applies the selected library in every run; it never falls
    // back on the WorkPad's macro on its own.
    bool useCurrentMacro = false;
    // An instance run keeps the text before every active macro (the source
    // access table); off, only the text before the first one.
    bool keepSteps = true;
    // What the last commit left untouched and why, one "   name: why" line each.
    std::string skippedReport;
    // Why the last run broke off, when an error ended it; empty otherwise.
    std::string errorReport;

    // Starts a run on a snapshot of the live list; false when one runs.
    bool Start(BatchMode mode);
    bool IsRunning() const { return m_running; }
    // Raises the break flag only; the worker hands its results back when it ends.
    void Stop();
    // Waits for the worker (and runs what it posted when post runs at once).
    void Join();

private:
    void Finish(BatchMode mode, int failed, std::vector<CFindRepPreview> previews, std::string skipped,
                std::string error);

    CLibraryList& m_live;
    std::thread m_worker;
    std::shared_ptr<std::atomic<bool>> m_ended = std::make_shared<std::atomic<bool>>(true);  // set by the worker as it ends
    bool m_running = false;  // GUI thread only: cleared when the results arrived
};

// The commit of one snapshot: every row written from its kept instances; a
// row whose file changed since its preview is left untouched and named in
// skipped. Returns the number of rows not written, or -1 when refused/stopped.
int CommitRows(CLibraryList& snapshot, std::string& skipped);
