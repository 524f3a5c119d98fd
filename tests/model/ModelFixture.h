// A work area in a temporary folder, a recording prompter and a trace
// recorder for the session model tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "model/Account.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

class TraceRecorder : public ITraceSink {
public:
    void AppendLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(m);
        lines.push_back(line);
    }
    bool Has(const std::string& part) const {
        for (const auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    std::string All() const {
        std::string s;
        for (const auto& l : lines) s += l + "\n";
        return s;
    }
    std::vector<std::string> lines;
    std::mutex m;
};

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProgramOptions();
        SetWorkAreaPaths(tmp.dir());
        for (const std::string* d : {&g_strWorkFilesDir, &g_strLoadingAreaDir, &g_strLoadingBackUpDir,
                                     &g_strLoadingTempDir, &g_strCmdAreaDir, &g_strBufferTextDir,
                                     &g_strSessionInfoDir, &g_strDeprecatedDir, &g_strSessionBackUpDir,
                                     &g_strLibraryInfoDir})
            CreateFolderPath(*d, 0700);
        g_CurrentAccount = CHost();
        g_sDefaultLocalDir.clear();
        g_bLibraryFileFound = true;
        oldSink = SetTraceSink(&trace);
        oldPrompter = SetPrompter(&prompter);
        oldExit = SetExitHook([this](int code) { exitCodes.push_back(code); });
    }
    void TearDown() override {
        SetExitHook(oldExit);
        SetPrompter(oldPrompter);
        SetTraceSink(oldSink);
        SetRemoteBrowser(nullptr);
        ResetProgramOptions();
        g_strConcatTemplateCurrent = g_strConcatTemplateDefault;
        g_strConcatOutputFile.clear();
        g_CurrentAccount = CHost();
        g_sDefaultLocalDir.clear();
        g_bLibraryFileFound = true;
    }

    static std::string Data(const std::string& rel) { return std::string(QVL_TEST_DATA) + "/model/" + rel; }
    // Copies every file of a data folder into a folder of the work area.
    static void CopyDataFolder(const std::string& rel, const std::string& to) {
        namespace fs = std::filesystem;
        for (const auto& e : fs::directory_iterator(Data(rel)))
            if (e.is_regular_file())
                fs::copy_file(e.path(), to + e.path().filename().string(),
                              fs::copy_options::overwrite_existing);
    }

    TempDir tmp;
    TraceRecorder trace;
    RecordingPrompter prompter;
    std::vector<int> exitCodes;
    ITraceSink* oldSink = nullptr;
    IPrompter* oldPrompter = nullptr;
    ExitHook oldExit;
};
