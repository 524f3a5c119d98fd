// The library file "_qvl_library.txt": the option line and the block of
// conversion libraries, also used for library export and import and for the
// files waiting in the loading area.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sstream>

#include "model/LibraryFile.h"
#include "model/Globals.h"
#include "model/KeyValue.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

namespace {
const char* kOptionMarker = "~*~ Library option:";
const char* kBeginMarker = "~*~ (1.2)+ Wild find and replace libraries:";
const char* kEndMarker = "~*~ (1.2)- End of wild find and replace libraries:";

struct WaitCursor {
    WaitCursor() { Prompter().SetWaitCursor(true); }
    ~WaitCursor() { Prompter().SetWaitCursor(false); }
};

// A library file that exists but cannot be opened would be replaced by an
// empty list at the next save: keep it under a ".bak" name first (a copy,
// or the file itself moved aside) and tell the user.
void PreserveUnreadableLibraryFile(const std::string& path, const std::string& why) {
    std::string bak, error;
    const bool kept = KeepBackupCopy(path, bak, error);
    if (bak.empty()) bak = path + ".bak";
    WriteTraceString("Library file " + path + " could not be read: " + why);
    if (kept)
        Prompter().Message("The library file " + path + " could not be read (" + why +
                               ").\r\nIt was kept as " + bak +
                               "; the next save writes a new library file.",
                           MsgIcon::Warning);
    else
        Prompter().Message("The library file " + path + " could not be read (" + why +
                               ") and could not be kept as " + bak + ": " + error,
                           MsgIcon::Warning);
}
}  // namespace

int CProgramData::GetLibraryCount() const { return m_LibraryList.GetCount(); }

std::string CProgramData::FormatLibraryFile() const {
    std::ostringstream out;
    out << "~*~ Library option: " << "Version=" << kProgramVersion << ", " << "WorkMode=" << g_nWorkMode
        << ", " << "FR_LibIndex=" << g_nLibIndex << ", " << "\n";
    WriteLibraries(out, m_LibraryList);
    return out.str();
}

bool CProgramData::SaveLibraryFile(const std::string& path) {
    if (m_bExitRequested) return false;
    std::string error;
    if (!SaveFileAtomic(path, FormatLibraryFile(), error, 0600)) {
        WriteTraceString("Failed to save the library file: " + error);
        Prompter().Message("Failed to save the library file " + path + ":\r\n" + error, MsgIcon::Stop);
        return false;
    }
    return true;
}

bool CProgramData::ReadLibraryOptions(const std::string& line) {
    if (CompareVersionStrings(GetKeyValue(line, "Version="), "1.0.0.0") == 0) {
        ConfirmVersion();
        return false;
    }
    g_nWorkMode = ParseInt(GetKeyValue(line, "WorkMode="));
    g_nLibIndex = ParseInt(GetKeyValue(line, "FR_LibIndex="));
    return true;
}

void CProgramData::LoadLibraryFile(const std::string& path, bool skipOptions) {
    // Only a regular file is read: a folder, pipe or device there is kept
    // aside like an unreadable file, never read.
    std::string bytes, why;
    if (!ReadRegularFile(path, bytes, why)) {
        g_bLibraryFileFound = false;
        if (!skipOptions && PathExists(path))
            PreserveUnreadableLibraryFile(path, IsRegularFile(path) ? SystemErrorText(EACCES) : why);
        return;
    }
    std::istringstream in(bytes);
    std::string line;
    size_t skipped = 0;
    CReadProblems problems;
    bool haveOptions = false, oldVersion = false, any = false;
    while (ReadLine(in, line)) {
        if (!line.empty()) any = true;
        if (line.find(kOptionMarker) != std::string::npos) {
            haveOptions = true;
            if (skipOptions) continue;
            if (!ReadLibraryOptions(line)) {
                if (m_bExitRequested) return;
                oldVersion = true;  // "Yes": the old file is kept below
                break;
            }
            if (std::string problem = CheckLibraryOptionKeys(line); !problem.empty()) {
                ++skipped;
                NoteReadProblem(problems, "option line: " + problem);
            }
        } else if (line.find(kBeginMarker) != std::string::npos) {
            ReadLibrary(in, kEndMarker, m_LibraryList, &skipped, &problems);
        } else if (!line.empty()) {
            ++skipped;
        }
    }
    if (skipOptions) return;  // files of the loading area are not written again
    if (!haveOptions && any) ++skipped;  // the option line is missing
    if (oldVersion) {
        KeepDamagedFile(path, "library file", 0, "an older version");
    } else if (skipped > 0) {
        TraceReadProblems("Library file " + path, problems);
        KeepDamagedFile(path, "library file", skipped);
    }
}

bool CProgramData::ImportLibraries(const std::string& path) {
    WaitCursor wait;
    std::string bytes, why;
    if (!ReadRegularFile(path, bytes, why)) {
        WriteTraceString("Import failed: " + why);
        Prompter().Message("The libraries could not be imported:\r\n" + why, MsgIcon::Stop);
        return false;
    }
    std::istringstream in(bytes);
    std::string line;
    while (ReadLine(in, line))
        if (line.find(kBeginMarker) != std::string::npos) ReadLibrary(in, kEndMarker, m_LibraryList);
    return true;
}

void CProgramData::LoadLibrariesFromLoadingArea() {
    namespace fs = std::filesystem;
    const int before = GetLibraryCount();
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(g_strLoadingAreaDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (it->is_regular_file(e2)) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    if (!files.empty()) CreateFolderPath(g_strLoadingBackUpDir);
    for (const auto& f : files) {
        LoadLibraryFile(f, true);
        const std::string backup = g_strLoadingBackUpDir + GetFileNameFromPath(f);
        std::string error;
        // The file leaves the loading area only once its backup exists.
        if (!CopyFileBytes(f, backup, true, error)) {
            WriteTraceString("Failed to back up " + f + ": " + error + "; the file stays in the loading area.");
            continue;
        }
        if (std::remove(f.c_str()) != 0) WriteTraceString("Failed to remove " + f + ": " + SystemErrorText(errno));
    }
    const int added = GetLibraryCount() - before;
    if (added <= 0) return;
    const bool manyFiles = files.size() > 1, manyLibs = added > 1;
    std::string text = manyLibs ? "Libraries " : "Library ";
    text += "loaded from file";
    if (manyFiles) text += "s";
    text += " found in the loading area:\r\n    " + g_strLoadingAreaDir + "\r\n\r\n" + "The file";
    text += manyFiles ? "s are " : " is ";
    text += "backed up in " + g_strLoadingBackUpDir + " area.\r\n\r\n" + "New ";
    text += manyLibs ? "libraries are " : "library is ";
    text += "added at the ***end*** of the library-list.";
    Prompter().Message(text, MsgIcon::Info);
}
