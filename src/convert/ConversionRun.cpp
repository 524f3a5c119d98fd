#include "convert/ConversionRun.h"

#include "model/Trace.h"

int g_nBatchStep = 0;
bool g_bBatchUseCurrentMacro = false;
CMacro CurrentMacro("Key/Find", "Definition/Replace");

CConversionRun MakeConversionRun() {
    CConversionRun run;
    run.nBatchStep = g_nBatchStep;
    run.bUseCurrentMacro = g_bBatchUseCurrentMacro;
    run.currentMacro = CurrentMacro;
    run.nLibraryIndex = g_nSelectedLibraryIndex;
    return run;
}

void LogBatchConversion(const std::string& text) {
    WriteTrace("--- Batch cvt " + text + " ---");
    g_bBatchIdle = true;
    g_bBatchBreak = false;
    g_bBatchTicker = false;
}
