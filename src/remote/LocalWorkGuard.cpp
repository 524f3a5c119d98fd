#include "remote/LocalWorkGuard.h"

#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <unordered_map>

#include "model/Globals.h"
#include "model/ListingLine.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpClient.h"
#include "remote/FtpConnections.h"
#include "remote/ServerChanges.h"
#include "remote/TransferChecks.h"

namespace {

// The size of each plain file a UNIX folder listing shows, by name.
std::unordered_map<std::string, long long> PlainFileSizes(const std::string& listing) {
    std::unordered_map<std::string, long long> sizes;
    for (size_t start = 0; start < listing.size();) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        std::string line = listing.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] != '-') continue;  // links, folders and the like tell nothing
        const CListingLine read = ReadUnixListingLine(line);
        if (!read.name.empty() && read.size >= 0) sizes[read.name] = read.size;
    }
    return sizes;
}

// The type the fetch takes for the item: binary where the item is, or where
// the local file holds NUL bytes in its head (the fetch marks it so).
bool FetchedAsBinary(const CFileItem& item) {
    return item.IsBinaryFile || HasNulByteInHead(item.LocalDir + item.FileName);
}

// The run's record of a file a basket before left: its key, and after it
// the reason it was left.
std::string HeldKey(const CFileItem& item) {
    return "\nlocal\n" + LocalTargetKey(item) + '\n' + RemoteTargetKey(item) + '\t';
}

// Why a look failed, on one line.
std::string OneLine(std::string text) {
    for (char& ch : text)
        if (ch == '\r' || ch == '\n') ch = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text.empty() ? std::string("no reason given") : text;
}

}  // namespace

bool HasNoTransferOnRecord(const CFileItem& item) {
    if (item.IsFTPed == "Yes") return false;
    // A run that failed keeps the times an earlier transfer recorded.
    return item.IsFTPed != "failed" || !IsRealRemoteTime(item.RemoteModTime);
}

bool CLocalWorkGuard::ProvedSame(size_t index, CFileStamp& stamp) const {
    if (index >= m_looks.size() || m_looks[index].result != Look::Same) return false;
    stamp = m_looks[index].stamp;
    return true;
}

bool CLocalWorkGuard::OwnTimeOf(size_t index, std::time_t& t) const {
    if (index >= m_looks.size() || m_looks[index].result != Look::Same || !m_looks[index].ownKnown) return false;
    t = m_looks[index].ownTime;
    return true;
}

std::vector<std::pair<size_t, std::string>> CLocalWorkGuard::TakeHeld() {
    std::vector<std::pair<size_t, std::string>> held;
    held.swap(m_newlyHeld);
    return held;
}

void CLocalWorkGuard::CheckAccount(const std::string& host, const std::string& user) {
    m_looks.resize(m_items.size());
    std::set<std::string>* runHeld = RunHeldFiles();
    std::vector<size_t> indices;
    for (size_t k = 0; k < m_items.size(); ++k) {
        const CFileItem& it = m_items[k];
        if (m_skipped[k] || it.RemHost != host || it.RemUser != user) continue;
        if (it.RemoteDir.empty() || it.LocalDir.empty() || !HasNoTransferOnRecord(it)) continue;
        const std::string path = it.LocalDir + it.FileName;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        // Changed since the fetch was decided: the fetch leaves it.
        if (m_seen && k < m_seen->size() && (*m_seen)[k].known && !FileMatchesStamp(path, (*m_seen)[k])) continue;
        // Left by a basket before in this run: the answer given there holds.
        if (runHeld) {
            const std::string key = HeldKey(it);
            const auto found = runHeld->lower_bound(key);
            if (found != runHeld->end() && found->compare(0, key.size(), key) == 0) {
                HoldAs(k, IsUnattendedRun() ? std::string() : found->substr(key.size()));
                continue;
            }
        }
        indices.push_back(k);
    }
    if (indices.empty()) return;
    LookAt(indices, host, user);
    std::vector<size_t> differing, uncompared, lineEnds;
    for (size_t k : indices) {
        if (m_looks[k].result == Look::NotGiven) {
            const std::string& why = m_looks[k].why;
            HoldAs(k, IsUnattendedRun() ? std::string() : RefusedLocalWorkHeldReason(why));
            if (IsUnattendedRun()) WriteTraceString(RefusedLocalWorkHeldLine(m_items[k], why));
        }
        if (m_looks[k].result == Look::Differs) differing.push_back(k);
        if (m_looks[k].result == Look::LineEnds) lineEnds.push_back(k);
        if (m_looks[k].result == Look::Unknown) uncompared.push_back(k);
        // Not looked at (the run is being stopped): it stays, named at its
        // turn, which the stop never gives it.
        if (m_looks[k].result == Look::NotLooked) m_held[k] = true;
    }
    if (!differing.empty() || !uncompared.empty() || !lineEnds.empty()) Hold(differing, uncompared, lineEnds);
}

// Each UNIX folder is listed once for the sizes of its binary files; the
// rest, and a binary file of the size the listing shows, are compared byte
// for byte. Whatever keeps a look from its answer (a refused or failed
// transfer, a lost connection, a local file that cannot be read) leaves
// the item not compared, which is held as one that differs.
void CLocalWorkGuard::LookAt(const std::vector<size_t>& indices, std::string host, std::string user) {
    std::map<std::string, std::vector<size_t>> folders;
    for (size_t k : indices) folders[m_items[k].RemoteDir].push_back(k);
    // The compares take each file in the type its fetch takes; the
    // connection is given back in the type it had.
    bool typeKnown = false, wasBinary = false;
    // The time of a file proved the same is asked at once; its reply is
    // read before the next command (the next compare) goes.
    // A server that gives no time of a file it has just sent (MDTM
    // refused) is not asked again.
    std::map<std::string, std::vector<size_t>> timed;
    bool askTimes = g_bFtpUpdate;
    const auto takeTimes = [&](CFtpClient& c, bool now) {
        for (const CFtpClient::TimeReply& r : c.TakeAskedTimes(now)) {
            auto owed = timed.find(r.path);
            if (owed == timed.end() || owed->second.empty()) continue;
            Look& look = m_looks[owed->second.front()];
            owed->second.erase(owed->second.begin());
            look.ownKnown = RemoteFileTimeOfReply(r.code, r.reply, look.ownTime) == 213;
            if (!look.ownKnown) askTimes = false;
        }
    };
    for (const auto& [dir, items] : folders) {
        std::unordered_map<std::string, long long> sizes;
        bool listed = false;
        for (size_t k : items) {
            if (g_bFtpBreak) break;  // the run ends before its next fetch
            const CFileItem& item = m_items[k];
            const std::string path = item.LocalDir + item.FileName;
            Look& look = m_looks[k];
            look.stamp = m_seen && k < m_seen->size() && (*m_seen)[k].known ? (*m_seen)[k] : StampOfFile(path);
            try {
                RunWithReconnect(m_data, host, user, true, [&](CFtpClient& c) {
                    takeTimes(c, false);
                    if (!typeKnown) {
                        wasBinary = c.GetTransferType() == "BINARY";
                        typeKnown = true;
                    }
                    const bool binary = FetchedAsBinary(item);
                    if (binary && item.GetHostKind() == "UNIX" && !listed) {
                        try {
                            sizes = PlainFileSizes(c.ListFolderToText(dir));
                        } catch (const CFtpClient::FTPException& e) {
                            if (e.ConnectionLost()) throw;
                        }
                        listed = true;
                    }
                    const auto size = sizes.find(item.FileName);
                    if (binary && size != sizes.end() && look.stamp.known && !look.stamp.absent &&
                        look.stamp.size != size->second) {
                        look.result = Look::Differs;
                        return;
                    }
                    if ((c.GetTransferType() == "BINARY") != binary) {
                        if (binary)
                            c.SetBinaryMode();
                        else
                            c.SetAsciiMode();
                    }
                    // A text the fetch takes again in BINARY for the NUL
                    // bytes in its head differs from a local file without
                    // them either way.
                    look.result = c.RetrievesSameBytes(item.RemoteDir + item.FileName, path) ? Look::Same
                                                                                              : Look::Differs;
                    takeTimes(c, false);
                    if (look.result == Look::Same && askTimes && item.GetHostKind() == "UNIX" &&
                        !item.FileName.empty() && item.FileName[0] != '.') {
                        c.AskTimeWithNextCommand(item.RemoteDir + item.FileName);
                        timed[item.RemoteDir + item.FileName].push_back(k);
                    }
                    // A text that differs from what its fetch writes may
                    // still be the server's very bytes (its CR LF kept).
                    if (look.result == Look::Differs && !binary) {
                        try {
                            c.SetBinaryMode();
                            if (c.RetrievesSameBytes(item.RemoteDir + item.FileName, path))
                                look.result = Look::LineEnds;
                        } catch (const CFtpClient::FTPException& e) {
                            // Where this second look fails, the text differs.
                            if (e.ConnectionLost()) throw;
                        }
                    }
                });
            } catch (const CFtpClient::RemoteFileRefused& e) {
                look.result = Look::NotGiven;
                look.why = OneLine(e.what());
            } catch (const CFtpClient::FTPException& e) {
                if (g_bFtpBreak) {
                    look.result = Look::NotLooked;
                    break;
                }
                look.result = Look::Unknown;
                look.why = OneLine(e.what());
            }
            // A file that changed while it was compared proves nothing; its
            // fetch finds it changed and leaves it.
            if (look.result == Look::Same && (!look.stamp.known || !FileMatchesStamp(path, look.stamp)))
                look.result = Look::Changed;
        }
    }
    if (!typeKnown) return;
    try {
        RunWithReconnect(m_data, host, user, true, [&](CFtpClient& c) {
            try {
                takeTimes(c, true);
            } catch (const CFtpClient::FTPException& e) {
                if (e.ConnectionLost()) throw;
            }
            if ((c.GetTransferType() == "BINARY") == wasBinary) return;
            if (wasBinary)
                c.SetBinaryMode();
            else
                c.SetAsciiMode();
        });
    } catch (const CFtpClient::FTPException&) {
        // Each fetch sets the type it needs.
    }
}

void CLocalWorkGuard::HoldAs(size_t k, const std::string& reason) {
    m_held[k] = true;
    m_newlyHeld.emplace_back(k, reason);
}

// One question names them all; No (the default) leaves them. A run nobody
// attends leaves them and says so.
void CLocalWorkGuard::Hold(const std::vector<size_t>& differing, const std::vector<size_t>& uncompared,
                          const std::vector<size_t>& lineEnds) {
    std::vector<CFileItem> named, otherLineEnds;
    for (size_t k : differing) named.push_back(m_items[k]);
    for (size_t k : lineEnds) otherLineEnds.push_back(m_items[k]);
    std::vector<std::pair<CFileItem, std::string>> unknown;
    for (size_t k : uncompared) unknown.emplace_back(m_items[k], m_looks[k].why);
    const bool unattended = IsUnattendedRun();
    if (!unattended && Prompter().AskDefaultNo(UnknownLocalWorkQuestion(named, unknown, otherLineEnds),
                                               MsgIcon::Question) == Answer::Yes)
        return;
    std::set<std::string>* runHeld = RunHeldFiles();
    const auto hold = [&](size_t k, const std::string& reason, const std::string& line) {
        HoldAs(k, unattended ? std::string() : reason);
        if (unattended) WriteTraceString(line);
        if (runHeld) runHeld->insert(HeldKey(m_items[k]) + reason);
    };
    for (size_t k : differing) hold(k, UnknownLocalWorkHeldReason(), UnknownLocalWorkHeldLine(m_items[k]));
    for (size_t k : lineEnds) hold(k, LineEndsLocalWorkHeldReason(), LineEndsLocalWorkHeldLine(m_items[k]));
    for (size_t k : uncompared)
        hold(k, UncomparedLocalWorkHeldReason(m_looks[k].why), UncomparedLocalWorkHeldLine(m_items[k], m_looks[k].why));
}
