#include "remote/TransferReport.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "model/Trace.h"
#include "remote/FtpWorker.h"

namespace {

struct Entry {
    enum State { Pending, Went, Failed };
    std::string name;
    std::string file;  // which pair of files the item moves
    State state = Pending;
    std::string reason;
    bool noFolder = false;
    bool awaited = false;  // declared for a basket's run that has not claimed it yet
};

std::string FileOf(const CFileItem& item) {
    return item.LocalDir + item.FileName + '\n' + item.RemHost + '\n' + item.RemUser + '\n' + item.RemoteDir +
           item.FileName;
}

std::mutex g_reportMutex;
std::vector<Entry> g_entries;
size_t g_nClaimed = 0;  // entries before this one belong to runs that have started

}  // namespace

void ClearTransferReport() {
    std::lock_guard<std::mutex> g(g_reportMutex);
    g_entries.clear();
    g_nClaimed = 0;
}

void ExpectTransferItem(const CFileItem& item, bool leftOut) {
    std::lock_guard<std::mutex> g(g_reportMutex);
    Entry e;
    e.name = item.FileName;
    e.file = FileOf(item);
    e.state = leftOut ? Entry::Failed : Entry::Pending;
    e.awaited = !leftOut;
    g_entries.push_back(e);
}

void NoteTransferHeld(const CFileItem& item, const std::string& reason) {
    std::lock_guard<std::mutex> g(g_reportMutex);
    Entry e;
    e.name = item.FileName;
    e.file = FileOf(item);
    e.state = Entry::Failed;
    e.reason = reason;
    g_entries.push_back(e);
}

std::vector<size_t> ClaimTransferEntries(const std::vector<CFileItem>& items) {
    std::lock_guard<std::mutex> g(g_reportMutex);
    std::vector<size_t> claimed;
    for (size_t e = g_nClaimed; e < g_entries.size() && claimed.size() < items.size(); ++e)
        if (g_entries[e].awaited) claimed.push_back(e);
    bool declared = claimed.size() == items.size();
    for (size_t k = 0; declared && k < claimed.size(); ++k) declared = g_entries[claimed[k]].name == items[k].FileName;
    if (declared) {
        for (size_t e : claimed) g_entries[e].awaited = false;
        if (!claimed.empty()) g_nClaimed = claimed.back() + 1;
        return claimed;
    }
    claimed.clear();
    for (const CFileItem& item : items) {
        Entry e;
        e.name = item.FileName;
        e.file = FileOf(item);
        claimed.push_back(g_entries.size());
        g_entries.push_back(e);
    }
    g_nClaimed = g_entries.size();
    return claimed;
}

void NoteTransferWent(size_t entry) {
    std::lock_guard<std::mutex> g(g_reportMutex);
    if (entry < g_entries.size() && g_entries[entry].state == Entry::Pending) g_entries[entry].state = Entry::Went;
}

void NoteTransferFailed(size_t entry, const std::string& reason, bool noFolder) {
    std::lock_guard<std::mutex> g(g_reportMutex);
    if (entry >= g_entries.size()) return;
    Entry& e = g_entries[entry];
    // The first reason found is the one that stopped the item.
    if (e.state == Entry::Failed) return;
    e.state = Entry::Failed;
    e.reason = reason;
    e.noFolder = noFolder;
}

std::vector<bool> TransfersWent(const std::vector<CFileItem>& items) {
    enum { None, AllWent, NotAll };
    std::unordered_map<std::string, int> files;
    {
        std::lock_guard<std::mutex> g(g_reportMutex);
        for (const Entry& e : g_entries) {
            int& state = files[e.file];
            if (e.state != Entry::Went)
                state = NotAll;
            else if (state == None)
                state = AllWent;
        }
    }
    std::vector<bool> went;
    went.reserve(items.size());
    for (const CFileItem& item : items) {
        const auto found = files.find(FileOf(item));
        went.push_back(found != files.end() && found->second == AllWent);
    }
    return went;
}

std::string MissingFolderReason(const CFileItem& item) {
    if (item.RemoteDir.empty() && item.LocalDir.empty()) return "no remote or local folder";
    return item.RemoteDir.empty() ? "no remote folder" : "no local folder";
}

void WriteTransferReport() {
    std::vector<Entry> entries;
    {
        std::lock_guard<std::mutex> g(g_reportMutex);
        entries.swap(g_entries);
        g_nClaimed = 0;
    }
    std::vector<const Entry*> listed;
    bool onlyWithoutFolders = true;
    for (const Entry& e : entries) {
        if (e.state == Entry::Went) continue;
        // A file that baskets of the run held for one reason is named once.
        const auto same = [&e](const Entry* l) {
            return l->state == Entry::Failed && e.state == Entry::Failed && !e.reason.empty() &&
                   l->reason == e.reason && l->file == e.file;
        };
        if (std::any_of(listed.begin(), listed.end(), same)) continue;
        listed.push_back(&e);
        onlyWithoutFolders = onlyWithoutFolders && e.noFolder;
    }
    if (listed.empty()) return;
    const std::string title = "Failed to transfer the following:";
    const auto number = [](size_t k) { return "   " + std::to_string(k + 1) + ". "; };
    if (onlyWithoutFolders) {
        std::string list = title;
        for (size_t k = 0; k < listed.size(); ++k) list += "\r\n" + number(k) + listed[k]->name;
        SetMessageWindowText(list);
        return;
    }
    WriteTraceString(title);
    for (size_t k = 0; k < listed.size(); ++k) {
        const Entry& e = *listed[k];
        const std::string reason = e.state == Entry::Pending ? "the run ended before its turn" : e.reason;
        WriteTraceString(number(k) + e.name + (reason.empty() ? "" : " (" + reason + ")"));
    }
}
