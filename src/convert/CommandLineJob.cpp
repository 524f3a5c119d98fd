#include "convert/CommandLineJob.h"

#include <cctype>
#include <ctime>

#include "model/Trace.h"

namespace {
std::string FormatTime(std::chrono::system_clock::time_point tp, const char* fmt) {
    std::time_t t = std::chrono::system_clock::to_time_t(tp);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[128];
    std::strftime(buf, sizeof buf, fmt, &tm);
    return buf;
}

std::string FormatDuration(std::chrono::seconds secs) {
    long long s = secs.count();
    if (s < 0) s = 0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%lld day %02lld hr %02lld min %02lld sec", s / 86400,
                  (s / 3600) % 24, (s / 60) % 60, s % 60);
    return buf;
}
}  // namespace

void WriteBatchLogHeader(CCommandLineJob& job, const std::string& commandLine) {
    job.m_strCommandLine = commandLine;
    for (char& c : job.m_strCommandLine)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    job.m_StartTime = std::chrono::system_clock::now();
    WriteTrace(std::string(79, '*'));
    WriteTrace("       Batch conversion executed at: " +
               FormatTime(job.m_StartTime, "%I:%M:%S %p,  %d-%b-%Y (%A)."));
    WriteTrace(std::string(79, '*'));
    WriteTrace("Command line: " + job.m_strCommandLine);
    WriteTrace(std::string(79, '-'));
}

void FinishBatchConversion(CCommandLineJob& job) {
    WriteTrace("No batch conversion job ran: this build has no conversion engine.");
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now() - job.m_StartTime);
    WriteTrace(std::string(79, '='));
    WriteTrace("       Batch conversion processing time: " + FormatDuration(elapsed));
    WriteTrace(std::string(79, '='));
}
