#include "filelist/RenameFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <set>

#include "filelist/AddFileItems.h"
#include "filelist/NewFileItem.h"
#include "filelist/OutputNames.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

namespace fs = std::filesystem;

namespace {
const char* const kCountMismatch =
    "Files selected on main list do not match the generated names.\r\n"
    "Operation discontinued. Make sure you do not change the selection on \r\n"
    "the main window during the process.";

std::string NormalPath(const std::string& path) { return fs::path(path).lexically_normal().string(); }

std::string WithoutSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

bool IsRealFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

std::string MakeTempPath(const std::string& tempFolder, const std::string& localDir,
                         const std::string& fileName) {
    const std::string whole = localDir + "/" + fileName;
    std::string rel;
    std::size_t start = 0;
    while (start <= whole.size()) {
        std::size_t slash = whole.find('/', start);
        if (slash == std::string::npos) slash = whole.size();
        const std::string piece = whole.substr(start, slash - start);
        if (!piece.empty() && piece != "." && piece != "..") rel += (rel.empty() ? "" : "/") + piece;
        start = slash + 1;
    }
    if (rel.empty() || fileName.empty() || fileName == "." || fileName == "..") return std::string();
    std::string folder = tempFolder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder + rel;
}

void RemoveEmptyFolders(const std::string& folder) {
    const std::string root = WithoutSlash(folder);
    if (!IsRealFolder(root)) return;
    std::error_code ec;
    std::vector<std::string> subs;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        if (it->symlink_status(ec).type() == fs::file_type::directory) subs.push_back(it->path().string());
    for (const std::string& sub : subs) RemoveEmptyFolders(sub);
    ::rmdir(root.c_str());  // fails, as it should, while anything is left inside
}

std::string RenameInTwoPhases(std::vector<RenameRecord>& records, const std::string& tempFolder) {
    std::string failures;
    auto fail = [&failures](const std::string& text) { failures += "   " + text + "\r\n"; };
    const std::string root = WithoutSlash(tempFolder);
    if (PathExists(root) && !IsRealFolder(root)) {
        for (const RenameRecord& r : records) fail("The temporary folder cannot be used: " + root + " (" + r.oldPath + ")");
        return failures;
    }

    // Before anything moves: a new name may be taken only from a file of this run.
    std::set<std::string> oldPaths, claimed;
    for (const RenameRecord& r : records) oldPaths.insert(NormalPath(r.oldPath));
    std::vector<bool> refused(records.size(), false);
    for (std::size_t i = 0; i < records.size(); ++i) {
        RenameRecord& r = records[i];
        r.moved = r.renamed = false;
        const std::string target = NormalPath(r.newName);
        if (r.tempPath.empty() || r.newName.empty()) {
            fail("Cannot rename " + r.oldPath);
            refused[i] = true;
        } else if (claimed.count(target)) {
            fail("More than one file would be named " + r.newName);
            refused[i] = true;
        } else if (PathExists(r.newName) && !oldPaths.count(target)) {
            fail("File already exists: " + r.newName);
            refused[i] = true;
        } else {
            claimed.insert(target);
        }
    }

    // A file cannot be renamed onto another file system: a file whose
    // folder lies on another one than the temporary folder waits under a
    // hidden name in its own folder instead.
    CreateFolderPath(root + "/", 0700);
    struct stat rootStat {};
    const bool haveRoot = ::stat(root.c_str(), &rootStat) == 0;
    std::string error;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (refused[i]) continue;
        RenameRecord& r = records[i];
        const std::string folder = GetDirectoryPart(r.oldPath);
        struct stat dirStat {};
        if (haveRoot && ::stat(folder.empty() ? "." : folder.c_str(), &dirStat) == 0 &&
            dirStat.st_dev != rootStat.st_dev)
            r.tempPath = folder + ".qvl-rename-" + std::to_string(i) + "-" + GetNamePart(r.oldPath);
        if (RenameLocalFile(records[i].oldPath, records[i].tempPath, error))
            records[i].moved = true;
        else
            fail(error);
    }
    for (RenameRecord& r : records) {
        if (!r.moved) continue;
        if (RenameLocalFile(r.tempPath, r.newName, error)) {
            r.renamed = true;
            continue;
        }
        fail(error);
        std::string why;
        if (RenameNoReplace(r.tempPath, r.oldPath, why)) {
            r.moved = false;
        } else {
            fail("The file is kept at " + r.tempPath + ": " + why);
            WriteTrace("Rename: " + r.oldPath + " is kept at " + r.tempPath);
        }
    }
    RemoveEmptyFolders(root);
    return failures;
}

int RestoreHiddenParkedFiles(const std::vector<std::string>& folders, FolderPartNames* parts) {
    static const std::string mark = ".qvl-rename-";
    int back = 0;
    std::set<std::string> seen;
    for (std::string folder : folders) {
        if (folder.empty()) continue;
        if (folder.back() != '/') folder += '/';
        if (!seen.insert(folder).second || !IsRealFolder(WithoutSlash(folder))) continue;
        // A folder of a large session holds thousands of names: they are
        // read as the system hands them out, and only the parked ones kept.
        std::vector<std::string> parked;
        std::vector<std::string>* partNames = nullptr;
        if (DIR* dir = ::opendir(folder.c_str())) {
            if (parts) partNames = &(*parts)[folder];
            while (const dirent* e = ::readdir(dir)) {
                if (std::strncmp(e->d_name, mark.c_str(), mark.size()) == 0) parked.emplace_back(e->d_name);
                if (partNames && IsPartFileName(e->d_name)) partNames->emplace_back(e->d_name);
            }
            ::closedir(dir);
        }
        for (const std::string& name : parked) {
            const std::size_t dash = name.find('-', mark.size());
            if (dash == std::string::npos || dash == mark.size() || dash + 1 >= name.size()) continue;
            if (name.find_first_not_of("0123456789", mark.size()) != dash) continue;
            std::error_code e2;
            if (fs::symlink_status(folder + name, e2).type() == fs::file_type::directory) continue;
            const std::string at = folder + name, oldPath = folder + name.substr(dash + 1);
            std::string why;
            if (RenameNoReplace(at, oldPath, why)) {
                ++back;
                if (partNames && IsPartFileName(name.substr(dash + 1))) partNames->push_back(name.substr(dash + 1));
            } else
                WriteTrace("Rename: " + oldPath + " is kept at " + at + " (" + why + ")");
        }
    }
    if (back > 0)
        WriteTrace("Rename: " + std::to_string(back) +
                   " file(s) left under a hidden name by an unfinished rename were put back to their old names.");
    return back;
}

std::string FormatFileListReport(const std::string& title, const std::string& list) {
    if (list.empty()) return std::string();
    std::string shown;
    std::size_t pos = 0;
    for (int line = 0; line < 10 && pos < list.size(); ++line) {
        std::size_t end = list.find("\r\n", pos);
        end = end == std::string::npos ? list.size() : end + 2;
        shown += list.substr(pos, end - pos);
        pos = end;
    }
    if (pos < list.size()) shown += "<and more>...";
    return title + "\r\n" + shown;
}

std::string CheckNewNames(const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (IsValidNewName(names[i])) continue;
        char index[32];
        std::snprintf(index, sizeof index, "%d", int(i));
        return std::string("One or more file names are invalid.\r\n") + "   1. File name cannot be empty.\r\n" +
               "   2. File name may not contain /, ?, <, >, |, \".\r\n\r\n" +
               "Absolute path with or without drive name is however allowed.\r\n\r\n" +
               "First bad name found at: Item " + index + "\r\n" + "   " + GetNamePart(names[i]) + "    " +
               GetDirectoryPart(names[i]);
    }
    return std::string();
}

std::string RenameTempFolder() { return g_strLoadingTempDir + "delme/"; }

int RestoreParkedFiles(const std::string& tempFolder) {
    const std::string root = WithoutSlash(tempFolder);
    if (!IsRealFolder(root)) return 0;
    std::vector<std::string> parked;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (it->symlink_status(e2).type() != fs::file_type::directory) parked.push_back(it->path().string());
    }
    std::sort(parked.begin(), parked.end());
    int back = 0;
    std::vector<std::string> kept;
    for (const std::string& at : parked) {
        const std::string oldPath = at.substr(root.size());  // starts with "/"
        const std::string folder = GetDirectoryPart(oldPath);
        std::string why;
        if (!IsRealFolder(folder.empty() ? "/" : folder))
            why = "its folder " + folder + " is gone";
        else if (RenameNoReplace(at, oldPath, why))
            ++back;
        if (!why.empty()) kept.push_back(oldPath + " is kept at " + at + " (" + why + ")");
    }
    RemoveEmptyFolders(root);
    if (back > 0)
        WriteTrace("Rename: " + std::to_string(back) +
                   " file(s) left in the temporary folder by an unfinished rename were put back to their old names.");
    const std::size_t shown = std::min<std::size_t>(kept.size(), 20);
    for (std::size_t i = 0; i < shown; ++i) WriteTrace("Rename: " + kept[i]);
    if (kept.size() > shown)
        WriteTrace("Rename: " + std::to_string(kept.size() - shown) + " more file(s) are kept in " + root + "/");
    return back;
}

std::vector<int> RenameFilesToNewNames(CProgramData& data, int p, int s, int b,
                                       const std::vector<std::string>& newNames) {
    const std::vector<int> sel = data.GetSelection(p, s, b);
    if (sel.size() != newNames.size()) {
        Prompter().Message(kCountMismatch, MsgIcon::None);
        return {};
    }
    if (const std::string bad = CheckNewNames(newNames); !bad.empty()) {
        Prompter().Message(bad, MsgIcon::None);
        return {};
    }
    const std::string temp = RenameTempFolder();
    std::vector<RenameRecord> records;
    for (std::size_t i = 0; i < sel.size(); ++i) {
        const CFileItem it = data.GetFileItem(p, s, b, sel[i]);
        RenameRecord r;
        r.oldPath = it.LocalDir + it.FileName;
        r.tempPath = MakeTempPath(temp, it.LocalDir, it.FileName);
        r.newName = newNames[i][0] == '/' ? newNames[i] : it.LocalDir + newNames[i];
        records.push_back(r);
    }
    const std::string failures = RenameInTwoPhases(records, temp);
    std::vector<int> changed;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!records[i].renamed) continue;
        data.SetFileName(p, s, b, sel[i], GetNamePart(records[i].newName));
        data.SetLocalDir(p, s, b, sel[i], GetDirectoryPart(records[i].newName));
        changed.push_back(sel[i]);
    }
    if (!failures.empty())
        Prompter().Message(
            FormatFileListReport("Some of the files could not be renamed. Unknown internal errors.", failures),
            MsgIcon::None);
    return changed;
}

DuplicateOutcome DuplicateFilesToNewNames(CProgramData& data, int p, int s, int b,
                                          const std::vector<std::string>& names) {
    DuplicateOutcome out;
    const std::vector<int> sel = data.GetSelection(p, s, b);
    if (sel.empty()) return out;
    if (sel.size() != names.size()) {
        Prompter().Message(kCountMismatch, MsgIcon::Stop);
        return out;
    }
    out.ran = true;
    int pos = 0;
    for (int f : sel) pos = std::max(pos, f + 1);
    pos = std::min(pos, data.GetFileItemCount(p, s, b));
    for (std::size_t i = 0; i < sel.size(); ++i) {
        const CFileItem source = data.GetFileItem(p, s, b, sel[i]);
        if (!IsValidNewName(names[i])) {
            out.notCreated += "    " + names[i] + "\r\n";
            continue;
        }
        CFileItem copy = MakeLocalFileItem(names[i], source);
        std::string error;
        if (copy.CopyFileWithCheck(source, error) != 1) {
            out.notCreated += "    " + copy.FileName + "\r\n";
            continue;
        }
        if (!AddFileItem(data, p, s, b, pos, copy, &error)) {
            out.notAdded += "    " + copy.FileName + "\r\n";
            continue;
        }
        out.newIndices.push_back(pos++);
    }
    if (!out.newIndices.empty()) data.SetSelection(p, s, b, out.newIndices);
    return out;
}
