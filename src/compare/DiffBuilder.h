// The builders of the diff results: each compares with the program's diff
// options, fills the columns of the result and sets built, and writes one
// trace line. True on success; then the caller hands the result to its
// diff window. On failure ("Failed to load the files.", or the break flag
// raised) the result keeps its previous rows, header and built value and
// false is returned.
#pragma once

#include <atomic>

#include "model/DiffResult.h"

// Input window (left) against Output window (right).
bool BuildInputOutputDiff(CDiffResult& result, const std::atomic<bool>* breakFlag = nullptr);
// File name1 (left) against file name3 (right).
bool BuildFilesDiff(CDiffResult& result, const std::atomic<bool>* breakFlag = nullptr);
// Base file name2 (middle) with file name1 (left) and file name3 (right).
bool Build3WayDiff(CDiffResult& result, const std::atomic<bool>* breakFlag = nullptr);
