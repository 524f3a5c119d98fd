#include "remote/LeftOnServer.h"

#include <algorithm>
#include <mutex>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "model/FileItem.h"
#include "model/KeyValue.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "model/WorkArea.h"

namespace {

// One line of the file: "Temporary: " or "Cut: ", then the account, the
// remote path and (for a cut file) when the send was stopped.
struct Entry {
    bool cut = false;
    std::string host, user, path;
    std::time_t when = 0;
    bool operator==(const Entry& o) const {
        return cut == o.cut && host == o.host && user == o.user && path == o.path;
    }
};

// The entries as the file holds them, read again whenever the file is not
// the one read last (another session folder, or changed since).
struct Kept {
    std::string path;
    bool read = false;
    bool there = false;
    struct stat seen {};
    std::vector<Entry> entries;
};

std::mutex g_mutex;
Kept g_kept;

std::string FilePath() {
    return g_strSessionInfoDir.empty() ? std::string() : g_strSessionInfoDir + kLeftOnServersFileName;
}

bool SameStat(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

std::vector<Entry> Parse(const std::string& bytes, const std::string& path) {
    std::vector<Entry> entries;
    std::istringstream in(bytes);
    std::string line;
    size_t skipped = 0;
    while (ReadLine(in, line)) {
        if (line.empty()) continue;
        Entry e;
        if (line.rfind("Temporary: ", 0) == 0) {
            e.cut = false;
        } else if (line.rfind("Cut: ", 0) == 0) {
            e.cut = true;
        } else {
            ++skipped;
            continue;
        }
        e.host = GetTextValue(line, "Host=");
        e.user = GetTextValue(line, "User=");
        e.path = GetTextValue(line, "Path=");
        if (e.cut) e.when = ParseStoredTime(GetKeyValue(line, "Time="));
        if (e.host.empty() || e.path.empty()) {
            ++skipped;
            continue;
        }
        if (std::find(entries.begin(), entries.end(), e) == entries.end()) entries.push_back(e);
    }
    if (skipped > 0) KeepDamagedFile(path, "record of what stopped sends left on the servers", skipped);
    return entries;
}

// The entries, up to date with the file; with the lock held.
std::vector<Entry>& Entries() {
    const std::string path = FilePath();
    struct stat now {};
    const bool there = !path.empty() && ::stat(path.c_str(), &now) == 0;
    if (g_kept.read && g_kept.path == path && g_kept.there == there && (!there || SameStat(now, g_kept.seen)))
        return g_kept.entries;
    g_kept = Kept();
    g_kept.path = path;
    g_kept.read = true;
    g_kept.there = there;
    g_kept.seen = now;
    if (!there) return g_kept.entries;
    std::string bytes, why;
    if (ReadRegularFile(path, bytes, why))
        g_kept.entries = Parse(bytes, path);
    else
        WriteTrace("-?- " + path + " could not be read: " + why);
    return g_kept.entries;
}

// Writes the entries back (the file goes when none is left); with the lock
// held. Without a session folder nothing is kept.
void Save() {
    if (g_kept.path.empty()) {
        g_kept.entries.clear();
        return;
    }
    std::string text, error;
    for (const Entry& e : g_kept.entries) {
        text += e.cut ? "Cut: " : "Temporary: ";
        text += TextPair("Host=", e.host) + TextPair("User=", e.user) + TextPair("Path=", e.path);
        if (e.cut) text += KeyPair("Time=", FormatStoredTime(e.when));
        text += "\n";
    }
    if (text.empty()) {
        ::unlink(g_kept.path.c_str());
    } else if (!SaveFileAtomic(g_kept.path, text, error, 0600)) {
        WriteTrace("-?- " + g_kept.path + " could not be written: " + error);
    }
    struct stat now {};
    g_kept.there = ::stat(g_kept.path.c_str(), &now) == 0;
    g_kept.seen = now;
}

void Note(const Entry& e) {
    std::lock_guard<std::mutex> g(g_mutex);
    std::vector<Entry>& entries = Entries();
    if (g_kept.path.empty()) return;
    const auto at = std::find(entries.begin(), entries.end(), e);
    if (at != entries.end()) {
        if (at->when == e.when) return;
        at->when = e.when;
    } else {
        entries.push_back(e);
    }
    Save();
}

void Forget(const Entry& e) {
    std::lock_guard<std::mutex> g(g_mutex);
    std::vector<Entry>& entries = Entries();
    const auto at = std::find(entries.begin(), entries.end(), e);
    if (at == entries.end()) return;
    entries.erase(at);
    Save();
}

Entry Make(bool cut, const std::string& host, const std::string& user, const std::string& path) {
    Entry e;
    e.cut = cut;
    e.host = host;
    e.user = user;
    e.path = path;
    return e;
}

}  // namespace

void NoteLeftTemporary(const std::string& host, const std::string& user, const std::string& path) {
    Note(Make(false, host, user, path));
}

void ForgetLeftTemporary(const std::string& host, const std::string& user, const std::string& path) {
    Forget(Make(false, host, user, path));
}

std::vector<std::string> LeftTemporaries(const std::string& host, const std::string& user) {
    std::lock_guard<std::mutex> g(g_mutex);
    std::vector<std::string> paths;
    for (const Entry& e : Entries())
        if (!e.cut && e.host == host && e.user == user) paths.push_back(e.path);
    return paths;
}

void NoteCutRemoteFile(const std::string& host, const std::string& user, const std::string& path) {
    Entry e = Make(true, host, user, path);
    e.when = std::time(nullptr);
    Note(e);
}

void ForgetCutRemoteFile(const std::string& host, const std::string& user, const std::string& path) {
    Forget(Make(true, host, user, path));
}

std::vector<CCutRemoteFile> CutRemoteFiles() {
    std::lock_guard<std::mutex> g(g_mutex);
    std::vector<CCutRemoteFile> cut;
    for (const Entry& e : Entries())
        if (e.cut) cut.push_back({e.host, e.user, e.path, e.when});
    return cut;
}

void NameCutRemoteFiles() {
    for (const CCutRemoteFile& f : CutRemoteFiles()) {
        char when[32] = "";
        std::tm tm{};
        if (localtime_r(&f.when, &tm)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &tm);
        WriteTrace("-?- The upload of " + f.path + " to " + f.host + " was stopped on " + when +
                   ": the file on the host may be incomplete until it is sent again.");
    }
}
