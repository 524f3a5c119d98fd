// The work area's folders, made for a benchmark that writes stored files
// without the window that would make them at start.
#pragma once

#include <string>

#include "model/Globals.h"
#include "model/Trace.h"

inline void MakeWorkAreaFolders() {
    for (const std::string* d : {&g_strWorkFilesDir, &g_strLoadingAreaDir, &g_strLoadingBackUpDir,
                                 &g_strLoadingTempDir, &g_strCmdAreaDir, &g_strBufferTextDir,
                                 &g_strSessionInfoDir, &g_strDeprecatedDir, &g_strSessionBackUpDir,
                                 &g_strLibraryInfoDir})
        CreateFolderPath(*d, 0700);
}
