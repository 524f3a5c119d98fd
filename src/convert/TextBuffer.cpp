#include "convert/TextBuffer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "compare/TextAccess.h"
#include "model/Globals.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

namespace {

std::string Numbered(const char* format, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, n);
    return buf;
}

std::string StepLog(int index, const char* word) {
    return "Text Buffer: " + std::to_string(index + 1) + word;
}

std::string NoBuffer() { return "Text Buffer: (No buffer)"; }

int LastIndex() { return static_cast<int>(g_TextBuffer.size()) - 1; }

TextBufferStep Show(int index, const char* word) {
    g_nTextBufferIndex = index;
    return {StepLog(index, word), g_TextBuffer[static_cast<size_t>(index)]};
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsPlainFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// Entry names of a folder (without "." and ".."), sorted, so that the files
// of a dump come back in the order they were written.
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// ---------------------------------------------------------------- browsing

TextBufferStep TextBufferAdd(const std::string& text) {
    g_TextBuffer.push_back(text);
    g_nTextBufferIndex = LastIndex();
    return {StepLog(g_nTextBufferIndex, " (added)"), std::nullopt};
}

TextBufferStep TextBufferScroll(int delta) {
    if (g_TextBuffer.empty()) return {NoBuffer(), std::nullopt};
    const int index = std::clamp(g_nTextBufferIndex + delta, 0, LastIndex());
    return Show(index, " (displayed)");
}

TextBufferStep TextBufferRemoveCurrent() {
    const int index = g_nTextBufferIndex;
    if (index < 0 || index > LastIndex()) return {};
    g_TextBuffer.erase(g_TextBuffer.begin() + index);
    TextBufferStep step{StepLog(index, " (removed)"), std::string()};
    g_nTextBufferIndex = std::min(index, LastIndex());
    if (g_nTextBufferIndex >= 0) step.show = g_TextBuffer[static_cast<size_t>(g_nTextBufferIndex)];
    return step;
}

TextBufferStep TextBufferShowFirst() {
    if (g_TextBuffer.empty()) return {NoBuffer(), std::nullopt};
    return Show(0, " (displayed)");
}

// ---------------------------------------------------------------- dump and load

std::string MakeBufferFolderStem(std::time_t t) {
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d-%s-", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  kDays[tm.tm_wday % 7]);
    return buf;
}

std::string DumpTextBufferToDisk(bool interactive, std::time_t now) {
    if (g_TextBuffer.empty()) {
        if (interactive) Prompter().Message("Empty clipboard. Nothing to be saved into disk...", MsgIcon::Info);
        return std::string();
    }
    const std::string base = WithSlash(g_strBufferTextDir);
    const std::string stem = base + MakeBufferFolderStem(now);
    std::string folder;
    if (CreateFolderPath(base, 0700)) {
        // The first number whose folder this call creates; an existing
        // folder is never written into.
        for (int n = 1; n < 10000 && folder.empty(); ++n) {
            const std::string candidate = stem + Numbered("%02d", n);
            if (::mkdir(candidate.c_str(), 0700) == 0)
                folder = candidate + "/";
            else if (errno != EEXIST)
                break;
        }
    }
    if (folder.empty()) {
        Prompter().Message("Failed to create directory.", MsgIcon::Stop);
        return std::string();
    }
    for (size_t i = 0; i < g_TextBuffer.size(); ++i) {
        // Written as a text file: each CR LF becomes LF; a lone CR stays,
        // so that loading it back gives the same text.
        const std::string& item = g_TextBuffer[i];
        std::string text;
        text.reserve(item.size());
        for (size_t k = 0; k < item.size(); ++k)
            if (item[k] != '\r' || k + 1 >= item.size() || item[k + 1] != '\n') text += item[k];
        std::string error;
        const std::string path = folder + "Text-" + Numbered("%03d", static_cast<int>(i) + 1) + ".txt";
        if (!SaveFileAtomic(path, text, error, 0600)) {
            WriteTrace("-?- " + path + ": " + error);
            // A folder that got none of the texts is not left behind as if
            // it held a saved buffer.
            if (i == 0) ::rmdir(folder.c_str());
            Prompter().Message("Failed to write...", MsgIcon::Stop);
            return std::string();
        }
    }
    if (interactive)
        Prompter().Message("Clipboard saved to hard disk in " + std::to_string(g_TextBuffer.size()) +
                               " file(s).\r\nLook into:\r\n\r\n     " + folder + "\r\n\r\narea for the saved files.",
                           MsgIcon::Info);
    return folder;
}

std::vector<std::string> ListSavedTextBuffers(const std::string& bufferDir) {
    const std::string base = WithSlash(bufferDir);
    std::vector<std::string> out;
    for (const std::string& n : Entries(base))
        if (IsFolder(base + n)) out.push_back(base + n + "/");
    return out;
}

std::vector<std::string> ListBufferFiles(const std::string& folder) {
    const std::string base = WithSlash(folder);
    std::vector<std::string> out;
    for (const std::string& n : Entries(base))
        if (IsPlainFile(base + n)) out.push_back(base + n);
    return out;
}

std::vector<std::string> ChooseSavedTextBuffer(const std::string& bufferDir, const BufferFolderChooser& choose) {
    std::vector<std::string> folders = ListSavedTextBuffers(bufferDir);
    if (folders.empty()) {
        Prompter().Message("No clipboard saved in the past.\r\nNothing to load...", MsgIcon::Info);
        return {};
    }
    if (!choose) return {};
    return choose(folders);
}

int LoadTextBufferFromDisk(const BufferFolderChooser& choose) {
    const std::vector<std::string> folders = ChooseSavedTextBuffer(g_strBufferTextDir, choose);
    Prompter().SetWaitCursor(true);
    int added = 0;
    for (const std::string& folder : folders)
        for (const std::string& path : ListBufferFiles(folder)) {
            std::string text;
            // An empty file is an empty item: the buffer comes back as many
            // items as were dumped.
            if (!ReadFileText(path, text)) continue;
            g_TextBuffer.push_back(ToCrLfText(text));
            ++added;
        }
    Prompter().SetWaitCursor(false);
    WriteTraceString("Text Buffer: " + std::to_string(g_TextBuffer.size()) + " (loaded)");
    return added;
}
