#include "remote/ServerChanges.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpClient.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/RemoteStatus.h"
#include "remote/TransferChecks.h"

namespace {

constexpr int kSecond = 1, kMinute = 60, kDay = 86400;

// The seconds an item's remote time is known to: what the listing that gave
// it told, or the second where MDTM gave it (or where it is not 0, which no
// listing read to the minute gives).
int TimeUnitOf(const CFileItem& item) {
    if (item.RemoteSecondKnown) return kSecond;
    if (item.RemoteTimeUnit > 0) return item.RemoteTimeUnit;
    return SecondOfTime(item.RemoteModTime) != 0 ? kSecond : kMinute;
}

bool SameAtUnit(std::time_t a, std::time_t b, int unit) {
    if (unit <= kSecond) return a == b;
    if (unit < kDay) return a - SecondOfTime(a) == b - SecondOfTime(b);
    std::tm ta{}, tb{};
    localtime_r(&a, &ta);
    localtime_r(&b, &tb);
    return ta.tm_year == tb.tm_year && ta.tm_mon == tb.tm_mon && ta.tm_mday == tb.tm_mday;
}

// Calls f with every item of the loaded sessions.
template <typename Data, typename F>
void ForEachLoadedItem(Data& data, F f) {
    for (auto& project : data.m_ProjectList.m_Projects)
        for (auto& session : project.m_Sessions) {
            if (!session.IsLoaded) continue;
            for (auto& basket : session.m_Baskets)
                for (auto& it : basket.m_Items) f(it);
        }
}

thread_local bool t_unattended = false;

std::mutex g_heldMutex;
std::vector<std::string> g_heldLines;

// The items of the window's data that name the same remote files are marked
// changed on the server, as a status check would mark them.
void MarkChangedOnServer(const std::vector<CFileItem>& changed) {
    std::set<std::string> keys;
    for (const CFileItem& item : changed) keys.insert(RemoteTargetKey(item));
    PostToGui([keys] {
        CProgramData* data = GetMainProgramData();
        if (!data) return;
        ForEachLoadedItem(*data, [&](CFileItem& it) {
            if (keys.count(RemoteTargetKey(it))) it.IsRemoteModified = "Yes";
        });
    });
}

}  // namespace

bool IsRealRemoteTime(std::time_t t) { return t != RemoteUnknownTime() && t != DefaultItemTime(); }

int SecondOfTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_sec;
}

int ListedTimeUnit(const CFileItem& item, const std::string& lines) {
    const std::string text = item.GetRemoteListingText(lines);
    if (text == "RemoteMissing") return 0;
    const size_t first = text.find(':');
    if (first == std::string::npos) return kDay;
    const size_t second = text.find(':', first + 1);
    if (second == std::string::npos) return kMinute;
    return std::atoi(text.c_str() + second + 1) != 0 ? kSecond : kMinute;
}

bool SameRemoteTime(const CFileItem& recorded, const CFileItem& checked) {
    const int unit = std::max(TimeUnitOf(recorded), TimeUnitOf(checked));
    return SameAtUnit(recorded.RemoteModTime, checked.RemoteModTime, unit);
}

CFileItem RecordedTransfer(const CProgramData& data, const CFileItem& item) {
    // An item that went recorded its own state, a time or nothing.
    if (IsRealRemoteTime(item.RemoteModTime) || item.IsFTPed != "No") return item;
    CFileItem recorded = item;
    const std::string key = RemoteTargetKey(item);
    bool unknown = false;  // a transfer that recorded nothing may be the last one
    ForEachLoadedItem(data, [&](const CFileItem& it) {
        if (unknown || it.IsFTPed != "Yes" || RemoteTargetKey(it) != key) return;
        if (!IsRealRemoteTime(it.RemoteModTime)) {
            unknown = true;
            return;
        }
        if (IsRealRemoteTime(recorded.RemoteModTime) && it.RemoteModTime <= recorded.RemoteModTime) return;
        recorded.RemoteModTime = it.RemoteModTime;
        recorded.RemoteSecondKnown = it.RemoteSecondKnown;
        recorded.RemoteSize = it.RemoteSize;
        recorded.RemoteTimeUnit = it.RemoteTimeUnit;
    });
    if (unknown) return item;
    return recorded;
}

CFileItem HeldItemState(const CProgramData& data, const CFileItem& item) {
    CFileItem held = item;
    if (!IsRealRemoteTime(item.RemoteModTime) && item.IsFTPed == "No")
        ForEachLoadedItem(data, [&](const CFileItem& it) {
            if (it.IsFTPed == "Yes" && IsRealRemoteTime(it.RemoteModTime) && IsSameFile(it, item)) held = it;
        });
    held.IsRemoteModified = "Yes";
    return held;
}

bool ListingShowsChange(CFtpClient& c, const CFileItem& recorded, const std::string& lines) {
    if (!IsRealRemoteTime(recorded.RemoteModTime)) return false;
    CFileItem listed = recorded;
    listed.RemoteSecondKnown = false;
    listed.RemoteSize = -1;
    std::string status;
    listed.UpdateRemoteStatus(lines, status);
    if (status == "-missing-" || !IsRealRemoteTime(listed.RemoteModTime)) return false;
    listed.RemoteTimeUnit = ListedTimeUnit(listed, lines);
    if (recorded.RemoteSize >= 0 && listed.RemoteSize >= 0 && recorded.RemoteSize != listed.RemoteSize)
        return true;
    if (!SameRemoteTime(recorded, listed)) return true;
    // The same minute: the exact second tells, where the last transfer
    // recorded one.
    if (TimeUnitOf(recorded) != kSecond || TimeUnitOf(listed) != kMinute || listed.GetHostKind() != "UNIX")
        return false;
    int second = -1;
    try {
        second = c.GetModificationSecond(recorded.RemoteDir + recorded.FileName);
    } catch (const CFtpClient::FTPException& e) {
        if (e.ConnectionLost()) throw;
    }
    return second >= 0 && second != SecondOfTime(recorded.RemoteModTime);
}

CUnattendedRun::CUnattendedRun(bool unattended) : m_previous(t_unattended) { t_unattended = unattended; }

CUnattendedRun::~CUnattendedRun() { t_unattended = m_previous; }

bool IsUnattendedRun() { return t_unattended; }

std::vector<std::string> TakeHeldLines() {
    std::lock_guard<std::mutex> g(g_heldMutex);
    std::vector<std::string> lines;
    lines.swap(g_heldLines);
    return lines;
}

CServerChangeGuard::CServerChangeGuard(CProgramData& data, const std::vector<CFileItem>& items)
    : m_data(data), m_items(items), m_skipped(items.size(), false), m_held(items.size(), false) {}

void CServerChangeGuard::Skip(size_t index) {
    if (index < m_skipped.size()) m_skipped[index] = true;
}

bool CServerChangeGuard::Holds(size_t index, std::string host, std::string user) {
    if (index >= m_items.size() || m_skipped[index]) return false;
    CheckAccount(host, user);
    return m_held[index];
}

void CServerChangeGuard::CheckAccount(const std::string& host, const std::string& user) {
    if (!m_checkedAccounts.insert(host + '\n' + user).second) return;
    std::vector<size_t> indices;
    for (size_t k = 0; k < m_items.size(); ++k) {
        const CFileItem& it = m_items[k];
        if (m_skipped[k] || it.RemHost != host || it.RemUser != user) continue;
        if (it.RemoteDir.empty() || it.LocalDir.empty() || it.IsRemoteModified == "Yes") continue;
        indices.push_back(k);
    }
    const std::vector<size_t> changed = FindChanged(indices, host, user);
    if (!changed.empty()) HoldChanged(changed);
}

// Each folder is listed once; a name its listing leaves out (a dot file, a
// listing cut short) is listed by itself. A folder that cannot be listed
// shows nothing: the send finds out for itself.
std::vector<size_t> CServerChangeGuard::FindChanged(const std::vector<size_t>& indices, std::string host,
                                                    std::string user) {
    std::map<std::string, std::vector<std::pair<size_t, CFileItem>>> folders;
    for (size_t k : indices) {
        CFileItem recorded = RecordedTransfer(m_data, m_items[k]);
        if (IsRealRemoteTime(recorded.RemoteModTime)) folders[recorded.RemoteDir].emplace_back(k, recorded);
    }
    std::vector<size_t> changed;
    for (const auto& [dir, targets] : folders) {
        std::vector<size_t> found;
        try {
            RunWithReconnect(m_data, host, user, true, [&](CFtpClient& c) {
                found.clear();
                const bool unix = targets.front().second.GetHostKind() == "UNIX";
                const std::string listing = unix ? c.ListFolderToText(dir) : std::string();
                for (const auto& [k, recorded] : targets) {
                    std::string lines = unix ? ItemListingLines(recorded, listing) : std::string();
                    if (lines.empty())
                        lines = ItemListingLines(recorded, c.ListToText(recorded.RemoteDir + recorded.FileName));
                    if (ListingShowsChange(c, recorded, lines)) found.push_back(k);
                }
            });
        } catch (const CFtpClient::FTPException&) {
            found.clear();
        }
        changed.insert(changed.end(), found.begin(), found.end());
    }
    std::sort(changed.begin(), changed.end());
    return changed;
}

// One question names them all; No (the default) leaves them. A run nobody
// attends leaves them and says so. Either way they are marked changed on
// the server, as a status check would have marked them.
void CServerChangeGuard::HoldChanged(const std::vector<size_t>& changed) {
    std::vector<CFileItem> named;
    for (size_t k : changed) {
        named.push_back(m_items[k]);
        named.back().IsRemoteModified = "Yes";
    }
    MarkChangedOnServer(named);
    const bool unattended = IsUnattendedRun();
    if (!unattended && Prompter().AskDefaultNo(BothChangedQuestion(named, true, m_bBeforeRun),
                                               MsgIcon::Question) == Answer::Yes)
        return;
    for (size_t k : changed) m_held[k] = true;
    if (!unattended) return;
    std::lock_guard<std::mutex> g(g_heldMutex);
    for (const CFileItem& item : named) {
        const std::string line = BothChangedHeldLine(item, true);
        WriteTraceString(line);
        g_heldLines.push_back(line);
    }
}
