#include "filelist/AddDroppedFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_set>

#include "compare/TextAccess.h"
#include "filelist/AddFileItems.h"
#include "filelist/AddLocalPath.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Session.h"
#include "model/Trace.h"
#include "remote/FtpWorker.h"

namespace {
const char* const kDropOver = "Drag-n-drop over";

void ReplaceAll(std::string& s, const std::string& what, const std::string& with) {
    for (std::size_t k = 0; (k = s.find(what, k)) != std::string::npos;) s.replace(k, what.size(), with);
}

// A folder name may hold characters a basket name cannot.
std::string StorableBasketName(std::string name) {
    for (char& c : name)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return name;
}

// The duplicate test's key: FileName and LocalDir, byte for byte.
std::string ItemKey(const CFileItem& it) { return it.FileName + std::string(1, '\0') + it.LocalDir; }

std::string Padded(const std::string& text, std::size_t width) {
    std::string out = text;
    if (out.size() < width) out.append(width - out.size(), ' ');
    return out;
}
}  // namespace

int FindFirstDroppedFolder(const std::vector<std::string>& paths) {
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (ClassifyDroppedPath(paths[i]) == 2) return static_cast<int>(i);
    return -1;
}

std::string GetDropLocalRoot(const std::string& folder) {
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    const auto k = f.rfind('/');
    if (k == std::string::npos || k == 0) return std::string();
    return f.substr(0, k + 1);
}

void NormalizeDropRoots(std::string& remoteRoot, std::string& localRoot, const std::string& accountFolder,
                        const std::string& hostType) {
    const auto vmsForm = [](const std::string& t) {
        // A folder with "/" in it is never a VMS one.
        const auto k = t.find(']');
        return k != std::string::npos && k > 0 && t.find('/') == std::string::npos;
    };
    const bool vms = hostType == "VMS" || (hostType != "UNIX" && (vmsForm(remoteRoot) || vmsForm(accountFolder)));
    if (!vms) {
        if (!remoteRoot.empty() && remoteRoot.back() != '/') remoteRoot += '/';
        ReplaceAll(remoteRoot, "//", "/");
    }
    if (!localRoot.empty() && localRoot.back() != '/') localRoot += '/';
    ReplaceAll(localRoot, "//", "/");
}

bool PassesKeepExclude(const std::string& name, const std::string& keep, const std::string& exclude) {
    return MatchesFileFilters(name, keep, exclude);
}

DropCollection CollectDroppedFiles(const std::vector<std::string>& paths, const DropChoices& choices,
                                   const std::string& accountFolder, const std::string& hostType) {
    DropCollection c;
    for (const std::string& path : paths) {
        if (g_bAddFilesBreak) {
            c.aborted = "-d-aborted 8";
            return c;
        }
        switch (ClassifyDroppedPath(path)) {
            case 1: {
                if (choices.folderSeen &&
                    !PassesKeepExclude(GetFileNameFromPath(path), choices.keep, choices.exclude))
                    break;
                // Measured against its own folder, a loose file lands in the remote root.
                BuildFolderLists({path}, path, choices.deriveRemote, choices.remoteRoot, c.entries,
                                 c.folders, true, accountFolder, hostType);
                break;
            }
            case 2:
                try {
                    WalkFolderTree(path, choices.deriveRemote, choices.remoteRoot, c.entries, c.folders,
                                   choices.keep, choices.exclude, accountFolder, hostType);
                } catch (const CFolderScanAbort& a) {
                    c.aborted = "-d-aborted " + std::to_string(a.Code());
                    return c;
                }
                break;
            default:
                c.refused = true;
                break;
        }
    }
    return c;
}

void MakeDroppedEntries(const DropCollection& c, std::vector<DroppedFileEntry>& files,
                        std::vector<std::string>& newBaskets) {
    files.clear();
    newBaskets.clear();
    files.reserve(c.entries.size());
    for (const CDirEntry& e : c.entries)
        files.push_back({e.strName, e.strRemoteDir, e.strLocalDir, e.nIndex < 0 ? -1 : e.nIndex});
    for (const CFolderRecord& r : c.folders) newBaskets.push_back(r.strRelativeDir);
}

std::string FormatDroppedEntries(const std::vector<DroppedFileEntry>& files) {
    std::size_t wName = 0, wRemote = 0;
    for (const auto& f : files) {
        wName = std::max(wName, f.FileName.size());
        wRemote = std::max(wRemote, f.RemoteDir.size());
    }
    std::string out;
    int i = 0;
    for (const auto& f : files) {
        char num[16];
        std::snprintf(num, sizeof num, "%4d", ++i);
        out += std::string(num) + ". " + Padded(f.FileName, wName + 1) + Padded(f.RemoteDir, wRemote + 1) +
               f.LocalDir + "\r\n";
    }
    out += std::string(62, '=') + "\r\n";
    return out;
}

std::string FormatTracedEntries(const std::vector<DroppedFileEntry>& files) {
    std::size_t wName = 0, wRemote = 0, wLocal = 0;
    for (const auto& f : files) {
        wName = std::max(wName, f.FileName.size());
        wRemote = std::max(wRemote, f.RemoteDir.size());
        wLocal = std::max(wLocal, f.LocalDir.size());
    }
    std::string out;
    int i = 0;
    for (const auto& f : files) {
        char num[16];
        std::snprintf(num, sizeof num, "%4d", i++);
        out += std::string(num) + ". " + Padded(f.FileName, wName) + " " + Padded(f.RemoteDir, wRemote) + " " +
               Padded(f.LocalDir, wLocal) + "\r\n";
    }
    return out;
}

void ListCollectedFiles(const std::vector<DroppedFileEntry>& files) {
    SetInputWindowText(GetInputWindowText() + FormatDroppedEntries(files));
}

AddFilesOutcome AddDroppedFiles(const AddFilesJob& job, std::vector<DroppedFileEntry>& files,
                                const std::vector<std::string>& newBaskets, IAddFilesSink& sink) {
    using Clock = std::chrono::steady_clock;
    AddFilesOutcome out;
    out.status = kDropOver;
    if (files.empty()) return out;

    std::unordered_set<std::string> present;
    present.reserve(job.existing.size());
    for (const CFileItem& it : job.existing) present.insert(ItemKey(it));
    const auto isDuplicate = [&](const CFileItem& it) { return present.count(ItemKey(it)) > 0; };

    DropBatch batch;
    auto last = Clock::now();
    const auto flush = [&] {
        if (batch.items.empty() && batch.newBaskets.empty()) return;
        sink.Deliver(std::move(batch));
        batch = DropBatch();
        last = Clock::now();
    };
    const auto abort = [&](const char* code) {
        flush();
        out.aborted = true;
        out.status = std::string("-d-aborted ") + code;
        return out;
    };

    if (job.autoBasketCreate) {
        for (const std::string& name : newBaskets) {
            if (g_bAddFilesBreak) return abort("1");
            batch.newBaskets.push_back(name);
        }
        flush();
    }
    const int basketsMade = job.autoBasketCreate ? static_cast<int>(newBaskets.size()) : 0;
    for (DroppedFileEntry& e : files) {
        if (g_bAddFilesBreak) return abort("2");
        DropPlacement pl;
        CFileItem& it = pl.item;
        it.FileName = e.FileName;
        it.FileType = "local";
        it.RemoteDir = e.RemoteDir;
        it.LocalDir = e.LocalDir;
        it.IsBinaryFile = IsBinaryByExtension(it.FileName);
        it.RemHost = job.host;
        it.RemUser = job.user;
        SetLocalTimeFromDisk(it);
        if (job.autoBasketCreate) {
            const int target = e.BasketOffset < basketsMade ? e.BasketOffset : -1;
            pl.basketOffset = target;
            if (target >= 0) {
                ++out.placed;
            } else if (isDuplicate(it)) {
                out.duplicates += "     " + it.FileName + "\r\n";
                continue;
            } else {
                ++out.added;
            }
        } else if (isDuplicate(it)) {
            e.FileName += "$--$";
            out.duplicates += "    " + it.FileName + "\r\n";
            continue;
        } else {
            pl.atInsertPoint = true;
            ++out.added;
        }
        // Only an item that goes in has its start read for NUL bytes.
        if (!it.IsBinaryFile) it.IsBinaryFile = HasNulByteInHead(it.LocalDir + it.FileName);
        batch.items.push_back(std::move(pl));
        if (batch.items.size() >= job.batchSize || Clock::now() - last > std::chrono::milliseconds(50)) flush();
    }
    flush();
    return out;
}

AddFilesOutcome RunAddFilesWorker(const AddFilesJob& job, IAddFilesSink& sink) {
    DropCollection c = CollectDroppedFiles(job.paths, job.choices, job.accountFolder, job.hostType);
    if (!c.aborted.empty()) {
        AddFilesOutcome out;
        out.aborted = true;
        out.status = c.aborted;
        return out;
    }
    std::vector<DroppedFileEntry> files;
    std::vector<std::string> newBaskets;
    MakeDroppedEntries(c, files, newBaskets);
    if (job.trace) sink.ShowEntryListing(FormatTracedEntries(files));
    WriteTraceString("Adding files to list...");
    AddFilesOutcome out = AddDroppedFiles(job, files, newBaskets, sink);
    out.refused = c.refused;
    out.entries = std::move(c.entries);
    return out;
}

// ---------------------------------------------------------------- GUI thread

CDropInserter::CDropInserter(CProgramData& data, int p, int s, int b, int pos)
    : m_data(data), m_p(p), m_s(s), m_b(b), m_pos(pos), m_targets(data, p, s) {}

bool CDropInserter::Insert(const DropBatch& batch) {
    if (!m_data.IsValidBasket(false, m_p, m_s, m_b)) return false;
    for (const std::string& name : batch.newBaskets)
        if (m_data.InsertBasket(StorableBasketName(name), m_p, m_s, m_b + 1 + m_basketsMade)) ++m_basketsMade;
    CSession* se = m_data.GetSessionPtr(m_p, m_s);
    std::vector<CFileItem>& items = se->m_Baskets[std::size_t(m_b)].m_Items;
    if (m_pos < 0 || m_pos > static_cast<int>(items.size())) m_pos = static_cast<int>(items.size());
    std::vector<CFileItem> atPos;
    for (const DropPlacement& pl : batch.items) {
        m_targets.Note(pl.item);
        if (pl.atInsertPoint) {
            atPos.push_back(pl.item);
            continue;
        }
        int target = m_b;
        if (pl.basketOffset >= 0 && pl.basketOffset < m_basketsMade) target = m_b + 1 + pl.basketOffset;
        se->m_Baskets[std::size_t(target)].m_Items.push_back(pl.item);
        ++m_inserted;
    }
    if (!atPos.empty()) {
        std::vector<CFileItem>& b = se->m_Baskets[std::size_t(m_b)].m_Items;
        b.insert(b.begin() + m_pos, atPos.begin(), atPos.end());
        for (std::size_t i = 0; i < atPos.size(); ++i) m_selection.push_back(m_pos + static_cast<int>(i));
        m_pos += static_cast<int>(atPos.size());
        m_inserted += static_cast<int>(atPos.size());
    }
    return true;
}

void CDropInserter::Finish() {
    if (m_data.IsValidBasket(false, m_p, m_s, m_b)) m_data.SetSelection(m_p, m_s, m_b, m_selection);
}
