// The command-line batch job: it converts one file, or every file of a folder
// tree, with one library of the library file, without a window, and logs to
// the batch log "cmd_log.txt".
#pragma once

#include <chrono>
#include <string>

#include "model/Library.h"

class CCommandLineJob {
public:
    std::string m_strCommandLine;       // kept in lower case (the log shows it)
    std::string m_strGivenCommandLine;  // as given: option values keep their case
    std::string m_strNotes;             // the defaults taken, for the log
    std::string m_strError;
    int m_nMethod = 1;                  // 0 "tp", 1 "fr", 2 "kl"
    std::string m_strMethodName = "Find and Replace (default)";
    int m_nLibIndex = 0;
    std::string m_strInputDir, m_strInputFile, m_strOutputDir, m_strOutputFile;
    std::string m_strLibraryFile;
    std::string m_strInclude = "*.*";
    std::string m_strExclude;
    bool m_bDirectoryMode = false;
    bool m_bDefaultsWarning = true;
    CLibraryList m_LibraryList;         // the job's own libraries and file list
    std::chrono::system_clock::time_point m_StartTime;
    std::chrono::system_clock::time_point m_EndTime;

    bool m_bFailed = false;        // the job could not do its work at all
    std::string m_strFailure;      // why, for standard error
    int m_nFailedFiles = 0;        // files that could not be converted
};

// Builds the job record from the command line and writes the log header.
void WriteBatchLogHeader(CCommandLineJob& job, const std::string& commandLine);

// Runs the job and writes the processing-time footer to the log.
void FinishBatchConversion(CCommandLineJob& job);

// The steps of the job; false when it stopped at an error (m_strError says why).
bool RunBatchConversion(CCommandLineJob& job);
bool ParseBatchArguments(CCommandLineJob& job);
// False when an item of the command line is no known option ("-input=",
// "-output=", ...) or an option comes twice; m_strError names it.
bool CheckBatchOptionKeys(CCommandLineJob& job);
bool CheckBatchLibrary(CCommandLineJob& job);
bool BuildBatchFileList(CCommandLineJob& job);
// False when an output of the file list is the library file, the log or a
// file the work area keeps (compared by identity, not by spelling).
bool CheckBatchOutputs(CCommandLineJob& job);
void WriteBatchSummary(const CCommandLineJob& job);
// Removes what killed runs left in the folders the job writes: temporary
// files of replacing writes older than the job's start.
void RemoveStaleTemporaries(const CCommandLineJob& job);

// The value of a "-key=" item: the text after the key (matched without regard
// to case, at the start of an item) up to the next comma; "" when absent.
std::string GetArgumentValue(const std::string& commandLine, const std::string& key);
// A relative path is taken against the current folder.
std::string MakeAbsolutePath(const std::string& path);
// Reads the libraries of a library file into the list; false when the file
// cannot be read. An old version is logged, not asked, and its libraries are skipped.
bool LoadLibraryFileForJob(const std::string& path, CLibraryList& list);
