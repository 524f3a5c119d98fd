// The builders of the diff results: each compares with the program's diff
// options, fills the columns of the result and sets built, and writes one
// trace line. True on success; then the caller hands the result to its
// diff window. On failure ("Failed to load the files.", or the break flag
// raised) the result keeps its previous rows, header and built value and
// false is returned.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "compare/DiffOptions.h"
#include "model/DiffResult.h"

// Input window (left) against Output window (right).
bool BuildInputOutputDiff(CDiffResult& result, const std::atomic<bool>* breakFlag = nullptr);
// File name1 (left) against file name3 (right).
bool BuildFilesDiff(CDiffResult& result, const std::atomic<bool>* breakFlag = nullptr);
// Base file name2 (middle) with file name1 (left) and file name3 (right).
bool Build3WayDiff(CDiffResult& result, const std::atomic<bool>* breakFlag = nullptr);

// The same build in two steps, so that the comparison may run on a worker
// while the window goes on: what it reads is taken on the window thread,
// the build is made on any thread, and the window thread puts it into the
// result.

// What a build of diff window `window` (0 Input/Output, 1 two files, 2
// three files) reads: the result's file names, the program's diff options
// and, for the Input/Output diff, the texts of the two windows (read here).
struct DiffBuildInput {
    int window = 1;
    std::string name1, name2, name3;
    CDiffOptions options;
    std::string input, output;
};
DiffBuildInput DiffBuildInputOf(const CDiffResult& result, int window);

// A build made apart from its result: the rows with the inputs they point
// into, or why there are none.
struct DiffBuildOutput {
    enum Outcome { kBuilt, kLoadFailed, kNoMemory, kStopped };
    Outcome outcome = kStopped;
    int window = 1;
    std::shared_ptr<const void> texts;
    std::vector<CDiffRow> left, middle, right;
};
// Its messages (a file that cannot be read, "Failed to load the files.",
// too little memory) go to Prompter() of the thread it runs on.
DiffBuildOutput MakeDiffBuild(DiffBuildInput input, const std::atomic<bool>* breakFlag);
// The end of the build: the result takes the rows (true) or keeps what it
// had (false), as the builders above say.
bool FinishDiffBuild(CDiffResult& result, DiffBuildOutput output);
