// The program's two roads after the work area is ready.
#pragma once

#include <string>

// The raw command line: the arguments after the program name, joined by blanks.
std::string JoinCommandLine(int argc, char** argv);

// The command-line road: no window, no GUI object. Creates the work-area
// folders (failures to standard error), sets batch mode, opens "cmd_log.txt"
// for appending and runs the batch job. Returns the process exit code:
// 0 when the job ran, non-zero (with the reason on standard error) when the
// log cannot be opened or the job could not do its work at all.
int RunCommandLineRoad(const std::string& commandLine);
