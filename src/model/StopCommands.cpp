#include "model/StopCommands.h"

#include "model/Globals.h"
#include "model/Trace.h"
#include "model/Sound.h"

// A stop only raises the break flag: the kind stays busy until its worker's
// end routine runs, so no second worker can start beside one still running.

bool OnStopFtp() {
    if (g_bFtpIdle || g_bFtpBreak) return false;
    g_bFtpTicker = false;
    g_bFtpBreak = true;
    BeepStop();
    if (g_bAutoSync) {
        g_bAutoSync = false;
        WriteTrace("Auto-sync off.");
    }
    return true;
}

void StopTextConversion() {
    const bool wasRunning = !g_bConversionIdle && !g_bConversionBreak;
    g_bConversionBreak = true;
    if (wasRunning) WriteTrace("---Conversion aborted-(0)---");
    g_bConversionTicker = false;
}

bool OnStopTextConversion() {
    if (g_bConversionIdle || g_bConversionBreak) return false;
    StopTextConversion();
    return true;
}

void OnStopAllThreads() {
    OnStopTextConversion();
    OnStopFtp();
    if (!g_bBatchIdle) {
        g_bBatchBreak = true;
        g_bBatchTicker = false;
    }
    g_bAddFilesBreak = true;
    g_bAddFilesTicker = false;
    if (!g_bDiffIdle) g_bDiffBreak = true;
}

void OnAutoSyncToRemote() {
    const bool on = !g_bAutoSync;
    g_bAutoSync = on;
    WriteTrace(on ? "Auto-sync on." : "Auto-sync off.");
}
