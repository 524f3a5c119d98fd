// The command-line batch job: its record, its log header and the job itself.
#pragma once

#include <chrono>
#include <string>

class CCommandLineJob {
public:
    std::string m_strCommandLine;  // kept in lower case
    std::chrono::system_clock::time_point m_StartTime;
    bool m_bFailed = false;        // the job could not do its work at all
    std::string m_strFailure;      // why, for standard error
};

// Builds the job record from the command line and writes the log header.
void WriteBatchLogHeader(CCommandLineJob& job, const std::string& commandLine);

// Runs the job and writes the processing-time footer to the log.
void FinishBatchConversion(CCommandLineJob& job);
