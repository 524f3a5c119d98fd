#include "convert/Startup.h"

#include <cstdio>

#include "convert/CommandLineJob.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

std::string JoinCommandLine(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

int RunCommandLineRoad(const std::string& commandLine) {
    static StderrPrompter stderrPrompter;
    SetPrompter(&stderrPrompter);
    CreateWorkAreaFolders();
    g_bBatchMode = true;
    const std::string logPath = g_strCmdAreaDir + kBatchLogName;
    if (!OpenBatchLog(logPath)) {
        std::fprintf(stderr, "quorvellian: cannot open the batch log %s\n", logPath.c_str());
        return 1;
    }
    CCommandLineJob job;
    WriteBatchLogHeader(job, commandLine);
    FinishBatchConversion(job);
    CloseBatchLog();
    // The job has already said why on standard error.
    if (job.m_bFailed) return 1;
    if (job.m_nFailedFiles > 0) {
        std::fprintf(stderr, "quorvellian: %d file(s) could not be converted; see %s\n",
                     job.m_nFailedFiles, logPath.c_str());
        return 2;
    }
    // A log that could not be written is no success either.
    if (BatchLogWriteFailed()) return 2;
    return 0;
}
