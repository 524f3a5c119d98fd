#include "convert_ui/BatchRows.h"

#include <chrono>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>

#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

namespace fs = std::filesystem;

namespace {

std::string DirOf(const std::string& p) {
    const auto k = p.rfind('/');
    return k == std::string::npos ? std::string() : p.substr(0, k + 1);
}
std::string NameOf(const std::string& p) {
    const auto k = p.rfind('/');
    return k == std::string::npos ? p : p.substr(k + 1);
}
// The extension of a name from its last dot; a name whose only dot is its
// first character (a hidden file such as ".profile") has none.
std::size_t ExtAt(const std::string& name) {
    const auto k = name.rfind('.');
    return k == std::string::npos || k == 0 ? std::string::npos : k;
}

std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    std::size_t from = 0;
    for (;;) {
        const auto k = text.find("\r\n", from);
        if (k == std::string::npos) {
            lines.push_back(text.substr(from));
            return lines;
        }
        lines.push_back(text.substr(from, k - from));
        from = k + 2;
    }
}

// A path key that names the same file for two spellings of it.
std::string PathKey(const std::string& p) {
    std::error_code ec;
    const fs::path c = fs::weakly_canonical(fs::path(p), ec);
    return ec ? fs::path(p).lexically_normal().string() : c.string();
}

}  // namespace

std::string EnumNumber(int i, int n) {
    std::string s = std::to_string(i + 1);
    if (s.size() == 1 && n > 9) s = "0" + s;
    if (s.size() == 2 && n > 99) s = "0" + s;
    if (s.size() == 3 && n > 999) s = "0" + s;
    if (s.size() == 4 && n > 9999) s = "0" + s;
    return s;
}

std::string BuildOutputName(int scheme, const std::string& o, const std::string& in,
                            const std::string& text, int i, int n, const NamingFlags& flags,
                            const std::string& outputText) {
    const std::string dir = DirOf(o), name = NameOf(o);
    const std::size_t dot = ExtAt(name);
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    switch (scheme) {
        case 1: return in;
        case 2: {
            const std::string s = text + (flags.enumSuffix ? EnumNumber(i, n) : std::string());
            // Only the last extension takes the suffix: "a.txt.txt" becomes "a.txt_v.txt".
            return dir + base + s + ext;
        }
        case 3: return text;
        case 4: return text + name;
        case 5: return dir + base + (flags.preserveExt ? ext : text);
        case 6: return dir + (flags.enumPrefix ? EnumNumber(i, n) + text : text) + name;
        case 7: {
            const std::vector<std::string> lines = CrLfLines(outputText);
            return i < static_cast<int>(lines.size()) ? lines[i] : std::string();
        }
        default: return o;
    }
}

void SetOutputNames(std::vector<CFindRepPreview>& rows, const std::vector<int>& selected, int scheme,
                    const std::string& text, const NamingFlags& flags, const std::string& outputText) {
    const int n = static_cast<int>(selected.size());
    for (int i = 0; i < n; ++i) {
        const int r = selected[i];
        if (r < 0 || r >= static_cast<int>(rows.size())) continue;
        rows[r].OutputName = BuildOutputName(scheme, rows[r].OutputName, rows[r].InputName, text, i, n, flags,
                                             outputText);
    }
}

void ApplyCustomNaming(std::vector<CFindRepPreview>& rows, const std::vector<int>& selected, int base,
                       const std::string& prefix, const std::string& suffix, const std::string& ext,
                       const NamingFlags& flags, const std::string& outputText) {
    if (base == 1) SetOutputNames(rows, selected, 1, "", flags);
    if (base == 2) SetOutputNames(rows, selected, 7, "", flags, outputText);
    SetOutputNames(rows, selected, 2, suffix, flags);
    SetOutputNames(rows, selected, 5, ext, flags);
    SetOutputNames(rows, selected, 6, prefix, flags);
}

std::string ResolveOutputPath(const std::string& input, const std::string& output) {
    if (output.empty() || output[0] == '/') return output;
    return (fs::path(input).parent_path() / output).lexically_normal().string();
}

BatchCheck ValidateListForConversion(std::vector<CFindRepPreview>& rows, bool convertRun) {
    if (rows.empty()) return {"The list must contain filenames that you want to convert. Empty list.", {}};
    for (CFindRepPreview& r : rows) r.OutputName = ResolveOutputPath(r.InputName, r.OutputName);

    std::string missing;
    int nMissing = 0;
    for (const CFindRepPreview& r : rows) {
        if (!NameOf(r.OutputName).empty()) continue;
        if (++nMissing <= 9) missing += "    " + r.InputName + "\r\n";
    }
    if (nMissing) {
        if (nMissing >= 10) missing += "<and more...>\r\n";
        missing += "\r\n";
        return {"Following files in the list has no output information.\r\n" + missing +
                    "Provide output information for those items, or simply remove them from the list.\r\n\r\n"
                    "Batch processing halted.\r\n",
                {}};
    }

    // No two rows may write one file, and no row may write over another row's input.
    std::map<std::string, int> outputs, inputs;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) inputs.emplace(PathKey(rows[i].InputName), i);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const std::string key = PathKey(rows[i].OutputName);
        const auto [it, fresh] = outputs.emplace(key, i);
        if (!fresh)
            return {"Two files in the list have the same output file:\r\n    " + rows[it->second].InputName +
                        "\r\n    " + rows[i].InputName + "\r\n    --> " + rows[i].OutputName +
                        "\r\n\r\nBatch processing halted.\r\n",
                    {}};
        const auto in = inputs.find(key);
        if (in != inputs.end() && in->second != i)
            return {"The output file of one item is the input file of another:\r\n    " + rows[i].InputName +
                        "\r\n    --> " + rows[i].OutputName + "\r\n\r\nBatch processing halted.\r\n",
                    {}};
    }

    std::vector<std::string> lines;
    int n = 0;
    for (const CFindRepPreview& r : rows) {
        if (!convertRun && r.Instances.empty()) continue;
        if (!IsSamePath(r.InputName, r.OutputName)) continue;
        char num[16];
        std::snprintf(num, sizeof num, "%3d. ", ++n);
        lines.push_back("    " + std::string(num) + r.InputName + "\r\n");
    }
    if (lines.empty()) return {};
    std::string list;
    for (std::size_t k = 0; k < lines.size() && k < 10; ++k) list += lines[k];
    if (lines.size() > 10) list += "<and more>...";
    return {{},
            "Following files in the list will be overwritten by the conversion proccess.\r\n"
            "since their input and ouput destinations are identical.\r\n" +
                list + "\r\n" +
                "If that's what you intended, click \"Yes\" to proceed. Otherwise click \"No\".\r\n\r\n"
                "Continue?\r\n"};
}

int InstanceImage(const CFindRepInstance& inst) {
    const int b = inst.ImageNo;
    const bool late = inst.StepNo != 0 && inst.KeepSteps == 0;
    if (inst.Skip) return late ? b + 2 : b + 4;
    if (inst.Changed) return late ? b + 4 : b + 6;
    return b;
}

std::string DescribeInstance(const CFindRepInstance& inst, bool usingCurrentMacro, const CMacro& current,
                             const std::string& libraryName) {
    if (usingCurrentMacro) return "Using current macro: {" + current.Find + "}{" + current.Replace + "}";
    return "Library: " + libraryName + ",  " + "Macro: " + std::to_string(inst.MacroIndex + 1) + ",  " +
           "Instance: " + std::to_string(inst.InstanceNo + 1) + ".";
}

int CommitRows(CLibraryList& snap, std::string& skipped) {
    snap.CurrentLibrary = snap.m_Run.nLibraryIndex >= 0 ? snap.m_Run.nLibraryIndex : g_nSelectedLibraryIndex;
    snap.RunKind = 2;
    CConversionEngine engine(snap);
    try {
        if (engine.UsesSubFilter()) {
            WriteTrace("Instances cannot be committed for a library with an active sub-filter "
                       "macro. Convert the files directly instead.");
            LogBatchConversion("Failure");
            return -1;
        }
        int nFailed = 0;
        if (snap.m_Run.pProgress) snap.m_Run.pProgress->Reset();
        for (std::size_t i = 0; i < snap.Previews.size(); ++i) {
            CFindRepPreview& rec = snap.Previews[i];
            if (snap.m_Run.selectRow) snap.m_Run.selectRow(static_cast<int>(i));
            engine.CheckAbort();
            const std::string name = GetFileNameFromPath(rec.InputName);
            bool any = false;
            for (const CFindRepInstance& inst : rec.Instances) any = any || !inst.Skip;
            std::string why;
            try {
                if (any) {
                    // The file must still hold, at every instance, what the preview found.
                    std::string text, reason;
                    if (!ReadFileForConversion(rec.InputName, text, reason))
                        why = reason.empty() ? "could not be read" : reason;
                    else if (!engine.ApplyInstances(rec, text))
                        why = "changed since its preview; left untouched";
                }
                if (why.empty() && !engine.CommitFile(rec, static_cast<int>(i), why) && why.empty())
                    why = "could not be written";
            } catch (const std::exception& e) {
                why = std::string("stopped by an error (") + e.what() + "); left untouched";
            }
            if (!why.empty()) {
                skipped += "   " + name + ": " + why + "\r\n";
                ++nFailed;
            }
            if (snap.m_Run.pProgress) snap.m_Run.pProgress->Step();
        }
        if (nFailed == 0) {
            LogBatchConversion("over");
        } else {
            WriteTrace("Failed to process the following:\r\n" + skipped);
            LogBatchConversion("Failure");
        }
        return nFailed;
    } catch (const CConversionAbort& abort) {
        LogBatchConversion(abort.Marker());
        return -1;
    }
}

// ---- the run controller

static std::map<const CBatchRunner*, std::shared_ptr<bool>>& AliveTokens() {
    static std::map<const CBatchRunner*, std::shared_ptr<bool>> tokens;
    return tokens;
}

CBatchRunner::CBatchRunner(CLibraryList& live) : m_live(live) {
    AliveTokens()[this] = std::make_shared<bool>(true);
}

namespace {
// The batch workers whose threads have not ended yet, of every runner.
std::atomic<int> g_batchWorkers{0};
}  // namespace

bool BatchWorkerRunning() { return g_batchWorkers > 0; }

CBatchRunner::~CBatchRunner() {
    *AliveTokens()[this] = false;
    if (m_worker.joinable()) {
        if (m_running) g_bBatchBreak = true;
        // The worker sees the stop at its next file. One that does not end
        // within the wait (stuck in a call that does not return) is let go:
        // it touches nothing of this runner, and the program's end does not
        // wait for it.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBatchEndWaitMs);
        while (!*m_ended && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (*m_ended)
            m_worker.join();
        else
            m_worker.detach();
    }
    AliveTokens().erase(this);
}

bool CBatchRunner::Start(BatchMode mode) {
    if (m_running || !g_bBatchIdle) return false;
    if (m_worker.joinable()) m_worker.join();
    if (mode == BatchMode::Instances) {
        // Each instance run starts from fresh records: nothing of an earlier run stays.
        for (CFindRepPreview& r : m_live.Previews) {
            r.Instances.clear();
            r.StepTexts.clear();
            r.KeepSteps = 0;
            r.NoInstances = 0;
        }
        previewReady = false;
    }
    if (mode == BatchMode::Convert) previewReady = false;

    // The one snapshot of this run: the worker sees nothing of later edits.
    CLibraryList snap;
    snap.Libraries = m_live.Libraries;
    snap.Previews = m_live.Previews;
    snap.m_Run = MakeConversionRun();
    snap.m_Run.nBatchStep = static_cast<int>(mode);
    snap.m_Run.bKeepSteps = keepSteps;
    snap.m_Run.bUseCurrentMacro = mode != BatchMode::Commit && useCurrentMacro;
    snap.m_Run.currentMacro = CurrentMacro;
    snap.m_Run.nLibraryIndex = g_nSelectedLibraryIndex;  // the library of this run, fixed at its start
    snap.m_Run.pProgress = nullptr;
    std::weak_ptr<bool> alive = AliveTokens()[this];
    // The worker keeps its own copy of the way to the GUI thread: it may
    // outlive this runner (see the destructor).
    auto postIfAlive = [post = post, alive](std::function<void()> task) {
        if (!post) return;
        post([alive, task = std::move(task)] {
            if (auto a = alive.lock(); a && *a) task();
        });
    };
    if (mode == BatchMode::Instances || mode == BatchMode::Commit) {
        snap.m_Run.selectRow = [this, postIfAlive](int row) {
            postIfAlive([this, row] { if (onSelectRow) onSelectRow(row); });
        };
    }
    if (mode == BatchMode::Instances) {
        snap.m_Run.setRowImage = [this, postIfAlive](int row, int image) {
            postIfAlive([this, row, image] { if (onRowImage) onRowImage(row, image); });
        };
    }
    m_live.RunKind = 2;
    g_bBatchIdle = false;
    g_bBatchBreak = false;
    g_bBatchTicker = true;
    m_running = true;
    skippedReport.clear();
    errorReport.clear();
    m_ended = std::make_shared<std::atomic<bool>>(false);
    ++g_batchWorkers;
    m_worker = std::thread([this, mode, postIfAlive, ended = m_ended, snap = std::move(snap)]() mutable {
        std::string skipped, error;
        int failed = -1;
        // Whatever goes wrong in the run ends the run, not the program: the
        // error is named, and the files the run had not written stay as they were.
        try {
            failed = mode == BatchMode::Commit ? CommitRows(snap, skipped) : CConversionEngine(snap).RunBatchReport();
        } catch (const std::exception& e) {
            error = e.what();
        } catch (...) {
            error = "an unknown error";
        }
        if (!error.empty()) {
            failed = -1;
            // A preview cut short is not one to commit.
            if (mode == BatchMode::Instances)
                for (CFindRepPreview& r : snap.Previews) {
                    r.Instances.clear();
                    r.StepTexts.clear();
                }
            error = "The batch conversion stopped on an error: " + error + ".";
            WriteTrace(error);
            LogBatchConversion("Failure");
        }
        snap.m_Run.selectRow = nullptr;
        snap.m_Run.setRowImage = nullptr;
        // The worker's own end line follows the pass's, however the pass ended.
        LogBatchConversion("(F) over");
        postIfAlive([this, mode, failed, previews = std::move(snap.Previews), skipped, error]() mutable {
            Finish(mode, failed, std::move(previews), std::move(skipped), std::move(error));
        });
        *ended = true;
        --g_batchWorkers;
    });
    return true;
}

void CBatchRunner::Finish(BatchMode mode, int failed, std::vector<CFindRepPreview> previews, std::string skipped,
                          std::string error) {
    if (mode == BatchMode::Instances) {
        // The instances found (all of them, or those found before a stop) go
        // to the rows that are still the rows of the run.
        for (std::size_t i = 0; i < previews.size() && i < m_live.Previews.size(); ++i) {
            if (m_live.Previews[i].InputName != previews[i].InputName) continue;
            m_live.Previews[i].Instances = std::move(previews[i].Instances);
            m_live.Previews[i].StepTexts = std::move(previews[i].StepTexts);
            m_live.Previews[i].KeepSteps = previews[i].KeepSteps;
        }
        previewReady = error.empty();
    } else if (mode == BatchMode::Commit) {
        for (CFindRepPreview& r : m_live.Previews) r.Instances.clear();
    }
    skippedReport = std::move(skipped);
    errorReport = std::move(error);
    m_running = false;
    g_bBatchIdle = true;
    g_bBatchTicker = false;
    if (onFinished) onFinished(mode, failed);
}

void CBatchRunner::Stop() {
    if (m_running) g_bBatchBreak = true;
}

void CBatchRunner::Join() {
    if (m_worker.joinable()) m_worker.join();
}
