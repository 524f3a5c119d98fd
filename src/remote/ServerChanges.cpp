#include "remote/ServerChanges.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>

#include "model/ListingLine.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpClient.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/ListingIndex.h"
#include "remote/RemoteStatus.h"
#include "remote/TransferChecks.h"

namespace {

constexpr int kSecond = 1, kMinute = 60, kDay = 86400;

// The seconds an item's remote time is known to: the second where MDTM gave
// it, else what the listing that gave it told. A time no listing just gave
// is a recorded one, taken to its second: the stored file does not keep
// whether a second of 0 was known, and a server that tells the second
// (MDTM) decides then.
int TimeUnitOf(const CFileItem& item) {
    if (item.RemoteSecondKnown) return kSecond;
    if (item.RemoteTimeUnit > 0) return item.RemoteTimeUnit;
    return kSecond;
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
// The remote files the run over several baskets has left so far; null
// outside such a run.
thread_local std::set<std::string>* t_runHeld = nullptr;
thread_local CServerChangeRun* t_run = nullptr;

std::mutex g_heldMutex;
std::vector<std::string> g_heldLines;
std::vector<std::string> g_uncheckedHeld;

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

namespace {

// Whether the item went once: it recorded its own state, a time or nothing.
bool Went(const CFileItem& item) { return IsRealRemoteTime(item.RemoteModTime) || item.IsFTPed != "No"; }

// A transfer that went whole while the server's time of its file could not
// be read (a stop came first, the listing failed): what the server holds
// since cannot be told from a change.
// So is a record the work file held damaged (its time taken as not known),
// also where a later send of it failed.
bool RecordsUnreadTime(const CFileItem& item) {
    return (item.IsFTPed == "Yes" || (item.IsFTPed == "failed" && item.RemoteTimeUnit < 0)) &&
           item.RemoteModTime == RemoteUnknownTime();
}

// The newest record the items of the loaded sessions that went hold for
// each remote file of keys, in one pass over them: null where one of them
// recorded nothing (that transfer may be the last one), none where none
// went. A record whose time was not read goes before all: that transfer
// may be the last one too, and a change since cannot be told.
std::map<std::string, const CFileItem*> LastRecords(const CProgramData& data, const std::set<std::string>& keys) {
    std::map<std::string, const CFileItem*> last;
    if (keys.empty()) return last;
    ForEachLoadedItem(data, [&](const CFileItem& it) {
        if (it.IsFTPed != "Yes") return;
        const std::string key = RemoteTargetKey(it);
        if (!keys.count(key)) return;
        const bool real = IsRealRemoteTime(it.RemoteModTime), unread = RecordsUnreadTime(it);
        const auto [at, first] = last.emplace(key, real || unread ? &it : nullptr);
        if (first || (at->second && RecordsUnreadTime(*at->second))) return;
        if (unread) {
            at->second = &it;
            return;
        }
        if (!at->second) return;
        if (!real)
            at->second = nullptr;
        else if (it.RemoteModTime > at->second->RemoteModTime)
            at->second = &it;
    });
    return last;
}

CFileItem WithLastRecord(const CFileItem& item, const std::map<std::string, const CFileItem*>& last) {
    if (Went(item)) return item;
    const auto found = last.find(RemoteTargetKey(item));
    if (found == last.end() || !found->second) return item;
    CFileItem recorded = item;
    recorded.IsFTPed = "Yes";  // the record of that transfer
    recorded.RemoteModTime = found->second->RemoteModTime;
    recorded.RemoteSecondKnown = found->second->RemoteSecondKnown;
    recorded.RemoteSize = found->second->RemoteSize;
    recorded.RemoteTimeUnit = found->second->RemoteTimeUnit;
    recorded.RemoteTimeListed = found->second->RemoteTimeListed;
    return recorded;
}

}  // namespace

CFileItem RecordedTransfer(const CProgramData& data, const CFileItem& item) {
    if (Went(item)) return item;
    return WithLastRecord(item, LastRecords(data, {RemoteTargetKey(item)}));
}

CFileItem HeldItemState(const CProgramData& data, const CFileItem& item, bool seen) {
    CFileItem held = item;
    const bool went = IsRealRemoteTime(item.RemoteModTime) || item.IsFTPed != "No";
    ForEachLoadedItem(data, [&](const CFileItem& it) {
        if (it.IsFTPed != "Yes" || !IsRealRemoteTime(it.RemoteModTime) || !IsSameFile(it, item)) return;
        if (!went) {
            if (!IsRealRemoteTime(held.RemoteModTime) || it.RemoteModTime > held.RemoteModTime) held = it;
            return;
        }
        // A later record of the same pair of files; a last transfer that
        // recorded no time keeps none.
        if (!IsRealRemoteTime(held.RemoteModTime) || it.RemoteModTime <= held.RemoteModTime) return;
        held.RemoteModTime = it.RemoteModTime;
        held.RemoteSecondKnown = it.RemoteSecondKnown;
        held.RemoteSize = it.RemoteSize;
        held.RemoteTimeUnit = it.RemoteTimeUnit;
        held.RemoteTimeListed = it.RemoteTimeListed;
    });
    held.IsRemoteModified = seen ? "Yes" : item.IsRemoteModified;
    return held;
}

namespace {

// What a target's own listing lines tell of it since its last transfer.
// Unrecorded: the file is there, and its last transfer read no time of it.
enum class Listed { Same, Changed, SameMinute, NotShown, Unrecorded };

// Why a change since the last transfer could not be told.
const char* const kNoTimeRead = "its time on the server was not read after its last transfer";
const char* const kDamagedRecord = "what its last transfer recorded was damaged in the work file";
const char* UnreadTimeWhy(const CFileItem& recorded) {
    return recorded.RemoteTimeUnit < 0 ? kDamagedRecord : kNoTimeRead;
}

// recorded: the state of the last transfer. listed takes the lines' state.
Listed LookAtLines(const CFileItem& recorded, const std::string& lines, CFileItem& listed) {
    listed = recorded;
    listed.RemoteSecondKnown = false;
    listed.RemoteSize = -1;
    std::string status;
    listed.UpdateRemoteStatus(lines, status);
    if (status == "-missing-" || !IsRealRemoteTime(listed.RemoteModTime)) return Listed::NotShown;
    if (!IsRealRemoteTime(recorded.RemoteModTime)) return Listed::Unrecorded;
    listed.RemoteTimeUnit = ListedTimeUnit(listed, lines);
    if (recorded.RemoteSize >= 0 && listed.RemoteSize >= 0 && recorded.RemoteSize != listed.RemoteSize)
        return Listed::Changed;
    if (!SameRemoteTime(recorded, listed)) return Listed::Changed;
    // The same minute: the exact second tells, on a host that gives it, of
    // a plain file in any listing form (MDTM of a link tells the time of the
    // file it points to, its line the link's own). After a last transfer at
    // second 59 a later change shows in the minute.
    if (TimeUnitOf(recorded) == kSecond && TimeUnitOf(listed) == kMinute && listed.GetHostKind() == "UNIX" &&
        IsPlainFileLine(lines.substr(0, lines.find_first_of("\r\n"))) &&
        SecondOfTime(recorded.RemoteModTime) != 59)
        return Listed::SameMinute;
    return Listed::Same;
}

// The time an MDTM reply gives (its fields read as a listing's are), or
// false.
bool MdtmReplyTime(const std::string& reply, std::time_t& t) {
    size_t at = 0;
    for (;;) {
        at = reply.find_first_of("0123456789", at);
        if (at == std::string::npos) return false;
        size_t end = at;
        while (end < reply.size() && reply[end] >= '0' && reply[end] <= '9') ++end;
        if (end - at >= 14) break;
        at = end;
    }
    const auto field = [&](size_t from, size_t length) { return std::atoi(reply.substr(at + from, length).c_str()); };
    const int month = field(4, 2), day = field(6, 2), hour = field(8, 2), minute = field(10, 2), second = field(12, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    t = MakeLocalTime(field(0, 4), month, day, hour, minute, second);
    return true;
}

// A target the folder's listing leaves out (a dot file, a name past the
// server's cap, a name the one-name LIST reads as a pattern) is looked at by
// the commands that name one file exactly: changed where its time (MDTM, on
// the clock of the recorded time: the listing's for a time a listing gave,
// else MDTM's own) or its size (SIZE) differs from the recorded one; not
// told where neither command tells, or where the last transfer read no
// time (why says so); a file neither command finds is not there to
// overwrite. A name a listing may leave out although the server has it (a
// dot file, a name a listing reads as a pattern) is gone only where a 550
// comes from a command that has named a file on this login (a server may
// refuse MDTM or SIZE with 550 too, as vsftpd's cmds_denied does): where
// neither has, the file the listing shows first (shown) is asked once, and
// where that proves nothing either, the target's change is not told.
enum class Unshown { Same, Changed, NotTold, Gone };
bool NoSuchFileProven(CFtpClient& c, const CFileItem& recorded, int timeCode, int sizeCode,
                      const std::string& shown) {
    if (recorded.FileName.rfind('.', 0) != 0 && recorded.FileName.find_first_of("*?[") == std::string::npos)
        return true;
    const auto proves = [&] {
        return (timeCode == 550 && c.AnsweredForAFile("MDTM")) ||
               (sizeCode == 550 && c.GetTransferType() == "BINARY" && c.AnsweredForAFile("SIZE"));
    };
    if (proves()) return true;
    std::string reply;
    if (timeCode == 550 && !shown.empty() && c.FirstAskOfKnownFile("MDTM")) c.SendCommand("MDTM", shown, reply);
    return proves();
}
Unshown LookAtUnshownTarget(CFtpClient& c, const CFileItem& recorded, std::time_t clockOffset,
                            const std::string& shown, std::string& why) {
    CFileItem now = recorded;
    int timeCode = 0, sizeCode = 0;
    const bool timed =
        ReadExactRemoteState(c, now, recorded.RemoteTimeListed ? clockOffset : 0, timeCode, sizeCode);
    if (timeCode == 550 && sizeCode == 550) {
        if (NoSuchFileProven(c, recorded, timeCode, sizeCode, shown)) return Unshown::Gone;
        why = "the server tells nothing of the file (MDTM and SIZE refused)";
        return Unshown::NotTold;
    }
    if (recorded.RemoteSize >= 0 && now.RemoteSize >= 0 && now.RemoteSize != recorded.RemoteSize)
        return Unshown::Changed;
    if (!IsRealRemoteTime(recorded.RemoteModTime)) {
        why = UnreadTimeWhy(recorded);
        return Unshown::NotTold;
    }
    if (!timed) {
        why = "the server does not tell its time (MDTM)";
        return Unshown::NotTold;
    }
    return SameRemoteTime(recorded, now) ? Unshown::Same : Unshown::Changed;
}

}  // namespace

// How far the clock of a folder's listing stands from MDTM's (a server may
// list its local time while MDTM gives UTC), in whole minutes, found on the
// first files the listing shows with their clock; 0 where none tells.
std::time_t ListingClockOffset(CFtpClient& c, const CListingIndex& listing, const CFileItem& like) {
    int tried = 0;
    for (const std::string& line : listing.FileLines()) {
        CFileItem shown = like;
        shown.FileName = CFtpClient::UnixListingName(line);
        std::string status;
        shown.UpdateRemoteStatus(line + "\r\n", status);
        if (status == "-missing-" || !IsRealRemoteTime(shown.RemoteModTime) ||
            ListedTimeUnit(shown, line) != kMinute)
            continue;
        if (++tried > 3) break;
        std::string reply;
        std::time_t exact = 0;
        if (c.SendCommand("MDTM", shown.RemoteDir + shown.FileName, reply) != 213 || !MdtmReplyTime(reply, exact))
            continue;
        const std::time_t listed = shown.RemoteModTime - SecondOfTime(shown.RemoteModTime);
        return (listed - (exact - SecondOfTime(exact))) / 60 * 60;
    }
    return 0;
}

int ReadRemoteFileTime(CFtpClient& c, const std::string& path, std::time_t& t) {
    std::string reply;
    const int code = c.SendModificationTime(path, reply);
    if (code != 213) return code;
    return MdtmReplyTime(reply, t) ? code : 501;
}

std::vector<std::pair<int, std::time_t>> ReadRemoteFileTimes(CFtpClient& c, const std::vector<std::string>& paths) {
    std::vector<std::pair<int, std::time_t>> times;
    for (const auto& [code, reply] : c.SendModificationTimes(paths)) {
        std::time_t t = 0;
        times.emplace_back(RemoteFileTimeOfReply(code, reply, t), t);
    }
    return times;
}

bool RecordsMdtmClock(const CFileItem& recorded) {
    return recorded.RemoteSecondKnown && !recorded.RemoteTimeListed && IsRealRemoteTime(recorded.RemoteModTime);
}

int RemoteFileTimeOfReply(int code, const std::string& reply, std::time_t& t) {
    return code == 213 && !MdtmReplyTime(reply, t) ? 501 : code;
}

bool ZoneOffsetOfLines(const CFileItem& like, const std::string& lines, std::time_t own, std::time_t& offset) {
    if (lines.empty()) return false;
    CFileItem listed = like;
    std::string status;
    listed.UpdateRemoteStatus(lines, status);
    const int unit = ListedTimeUnit(listed, lines);
    if (status == "-missing-" || !IsRealRemoteTime(listed.RemoteModTime) || unit == 0 || unit >= 86400)
        return false;
    const std::time_t found = unit == 1 ? listed.RemoteModTime - own
                                        : (listed.RemoteModTime - SecondOfTime(listed.RemoteModTime)) -
                                              (own - SecondOfTime(own));
    if (found % 900 != 0 || found > 14 * 3600 || found < -14 * 3600) return false;
    offset = found;
    return true;
}

bool ReadExactRemoteState(CFtpClient& c, CFileItem& item, std::time_t clockOffset, int& timeCode, int& sizeCode) {
    const std::string path = item.RemoteDir + item.FileName;
    std::string timeReply, sizeReply;
    timeCode = c.SendCommand("MDTM", path, timeReply);
    sizeCode = c.SendCommand("SIZE", path, sizeReply);
    item.RemoteSize = -1;
    const size_t at = sizeReply.find_first_of("0123456789");
    if (sizeCode == 213 && at != std::string::npos) item.RemoteSize = std::atoll(sizeReply.c_str() + at);
    std::time_t t = 0;
    if (timeCode != 213 || !MdtmReplyTime(timeReply, t)) return false;
    item.RemoteModTime = t + clockOffset;
    item.RemoteSecondKnown = true;
    item.RemoteTimeUnit = kSecond;
    return true;
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

std::vector<std::string> TakeUncheckedHeld() {
    std::lock_guard<std::mutex> g(g_heldMutex);
    std::vector<std::string> keys;
    keys.swap(g_uncheckedHeld);
    return keys;
}

CServerChangeRun::CServerChangeRun(CProgramData& data, std::vector<std::vector<CFileItem>> parts)
    : m_data(data), m_parts(std::move(parts)), m_previous(t_runHeld), m_previousRun(t_run) {
    t_runHeld = &m_held;
    t_run = this;
}

CServerChangeRun::~CServerChangeRun() {
    t_runHeld = m_previous;
    t_run = m_previousRun;
}

std::set<std::string>* RunHeldFiles() { return t_runHeld; }

void CServerChangeRun::TakeResults(const std::vector<CFileItem>& results) {
    for (const CFileItem& item : results) {
        // What a part sent; a file it left, or did not reach, keeps the
        // record the run started with.
        if (item.IsFTPed != "Yes" || item.IsRemoteModified == "Yes") continue;
        m_data.ApplyTransferStatus(item);
        m_data.ApplyTransferTimes(item);
    }
}

// The items the look takes: this part's (own: their indices in it) that the
// run has neither left nor looked at, then the later parts' of the run, so
// that the run asks once. An item the run left before is held here too,
// with its reason.
void CServerChangeGuard::GatherLooked(const std::function<bool(const CFileItem&)>& lookable,
                                      std::vector<CFileItem>& looked, std::vector<size_t>& own) {
    for (size_t k = 0; k < m_items.size(); ++k) {
        const CFileItem& it = m_items[k];
        if (m_skipped[k] || !lookable(it)) continue;
        const std::string key = RemoteTargetKey(it);
        // Left by the run before: the answer given there holds.
        if (t_runHeld && t_runHeld->count(key)) {
            m_held[k] = true;
            if (t_run) {
                const auto why = t_run->m_heldWhy.find(key);
                if (why != t_run->m_heldWhy.end()) m_unchecked[k] = why->second;
            }
            continue;
        }
        // Looked at by the run before, and let go.
        if (t_run && t_run->m_looked.count(key)) continue;
        // A status check's mark asked about before the run started.
        if (m_bBeforeRun && it.IsRemoteModified == "Yes") continue;
        looked.push_back(it);
        own.push_back(k);
    }
    // The later parts' items, so that the run asks once.
    if (t_run)
        for (size_t part = t_run->m_part + 1; part < t_run->m_parts.size(); ++part)
            for (const CFileItem& it : t_run->m_parts[part]) {
                if (!lookable(it)) continue;
                const std::string key = RemoteTargetKey(it);
                if (t_runHeld->count(key) || t_run->m_looked.count(key)) continue;
                looked.push_back(it);
            }
}

void CServerChangeGuard::CheckAccount(const std::string& host, const std::string& user) {
    // A run somebody attends looks at the items of every account at once,
    // so that it asks one question; one nobody attends asks nothing and
    // looks at each account's items when it reaches the account.
    const bool everyAccount = t_run && !IsUnattendedRun();
    const auto lookable = [&](const CFileItem& it) {
        return (everyAccount || (it.RemHost == host && it.RemUser == user)) && !it.RemoteDir.empty() &&
               !it.LocalDir.empty() && !LoginFailed(it.RemHost, it.RemUser);
    };
    std::vector<CFileItem> looked;
    std::vector<size_t> own;
    GatherLooked(lookable, looked, own);
    if (looked.empty()) return;
    // A status check saw the change of a marked item; the rest are looked at.
    Found found;
    std::vector<size_t> here, others;  // on this account, on the others
    for (size_t i = 0; i < looked.size(); ++i) {
        if (looked[i].IsRemoteModified == "Yes")
            found.emplace_back(i, std::string());
        else if (looked[i].RemHost == host && looked[i].RemUser == user)
            here.push_back(i);
        else
            others.push_back(i);
    }
    std::vector<bool> notLooked(looked.size(), false);
    if (!others.empty()) {
        const Found elsewhere = FindChangedElsewhere(looked, others, host, user, notLooked);
        found.insert(found.end(), elsewhere.begin(), elsewhere.end());
    }
    const Found seen = FindChanged(looked, here, host, user);
    found.insert(found.end(), seen.begin(), seen.end());
    // Stopped meanwhile: nothing is asked, and the run ends before its
    // next send.
    if (g_bFtpBreak) return;
    // Nothing is asked about the items of an account that could not be
    // logged in to: they are not sent.
    found.erase(std::remove_if(found.begin(), found.end(), [&](const auto& f) { return notLooked[f.first]; }),
                found.end());
    std::sort(found.begin(), found.end());
    if (t_run)
        for (size_t i = 0; i < looked.size(); ++i)
            if (!notLooked[i]) t_run->m_looked.insert(RemoteTargetKey(looked[i]));
    if (!found.empty()) HoldChanged(looked, own, found);
}

CServerChangeGuard::Found CServerChangeGuard::FindChangedElsewhere(std::vector<CFileItem>& looked,
                                                                   const std::vector<size_t>& others,
                                                                   const std::string& host,
                                                                   const std::string& user,
                                                                   std::vector<bool>& notLooked) {
    std::vector<std::pair<std::string, std::string>> accounts;  // in the run's order
    std::map<std::pair<std::string, std::string>, std::vector<size_t>> itemsOf;
    for (size_t i : others) {
        const std::pair<std::string, std::string> account(looked[i].RemHost, looked[i].RemUser);
        auto& items = itemsOf[account];
        if (items.empty()) accounts.push_back(account);
        items.push_back(i);
    }
    const CHost current = GetFtpAccount();
    bool switched = false;
    Found found;
    for (const auto& [oldHost, oldUser] : accounts) {
        bool failed = false;
        const auto login = [&, oldHost = oldHost, oldUser = oldUser](std::string& h, std::string& u) {
            switched = true;
            if (!ConnectHost(m_data, h, u, true)) {
                failed = true;
                return false;
            }
            if (h == oldHost && u == oldUser) return true;
            // The login dialog renamed the account: the run's items of it
            // take the new names, as the run's own login would give them.
            const auto rename = [&](CFileItem& it) {
                if (it.RemHost != oldHost || it.RemUser != oldUser) return;
                it.RemHost = h;
                it.RemUser = u;
            };
            for (CFileItem& it : looked) rename(it);
            if (t_run)
                for (auto& part : t_run->m_parts)
                    for (CFileItem& it : part) rename(it);
            if (m_renamed) m_renamed(oldHost, oldUser, h, u);
            return true;
        };
        const Found seen = FindChanged(looked, itemsOf[{oldHost, oldUser}], oldHost, oldUser, login);
        if (!failed) {
            found.insert(found.end(), seen.begin(), seen.end());
            continue;
        }
        // As a failed login of the run: the account's items are skipped
        // ("is not connected"), and nobody is asked for its login again.
        for (size_t i = 0; i < looked.size(); ++i)
            if (looked[i].RemHost == oldHost && looked[i].RemUser == oldUser) notLooked[i] = true;
        if (g_bFtpBreak) continue;
        WriteTraceString(LoginFailedLine());
        NoteLoginFailed(oldHost, oldUser);
    }
    if (!switched) return found;
    // The run goes on with its own account's connection; where that is gone,
    // with none (nothing of it may go over another account's).
    SetFtpAccount(current);
    if (!SelectOpenConnection(host, user))
        if (CFtpClient* c = GetCurrentFtpClient()) DropOpenConnection(c->Host(), c->User());
    return found;
}

void CServerChangeGuard::NoteLoginFailed(const std::string& host, const std::string& user) {
    (t_run ? t_run->m_failedLogins : m_failedLogins).insert(host + '\n' + user);
}

bool CServerChangeGuard::LoginFailed(const std::string& host, const std::string& user) const {
    return (t_run ? t_run->m_failedLogins : m_failedLogins).count(host + '\n' + user) > 0;
}

bool CServerChangeGuard::Unchecked(size_t index, std::string& why) const {
    const auto found = m_unchecked.find(index);
    if (found == m_unchecked.end()) return false;
    why = found->second;
    return true;
}

// Each folder is listed once and its targets looked up in it by name; a
// name its listing leaves out (a dot file, a listing cut short) is listed by
// itself, and where that shows nothing either (or the server refuses to list
// the folder), MDTM and SIZE tell. The seconds the listing's minute leaves
// open are asked together. A folder whose look fails on the way (the
// connection lost and not made again) tells nothing of its targets, and the
// Message Window says why.
CServerChangeGuard::Found CServerChangeGuard::FindChanged(const std::vector<CFileItem>& items,
                                                          const std::vector<size_t>& indices, std::string host,
                                                          std::string user,
                                                          const std::function<bool(std::string&, std::string&)>& login) {
    // The items that never went take the last record of their remote file.
    std::set<std::string> unsent;
    for (size_t k : indices)
        if (!Went(items[k])) unsent.insert(RemoteTargetKey(items[k]));
    const std::map<std::string, const CFileItem*> last = LastRecords(m_data, unsent);
    std::map<std::string, std::vector<std::pair<size_t, CFileItem>>> folders;
    for (size_t k : indices) {
        CFileItem recorded = WithLastRecord(items[k], last);
        // A record whose time was not read tells no change from none.
        if (IsRealRemoteTime(recorded.RemoteModTime) || RecordsUnreadTime(recorded))
            folders[recorded.RemoteDir].emplace_back(k, recorded);
    }
    if (folders.empty() || (login && !login(host, user))) return {};
    Found changed;
    for (const auto& [dir, targets] : folders) {
        Found found;
        if (g_bFtpBreak) return {};
        const auto at = std::chrono::steady_clock::now();
        try {
            RunWithReconnect(m_data, host, user, true, [&](CFtpClient& c) {
                found = FindChangedInFolder(c, targets);
            });
        } catch (const CFtpClient::FTPException& e) {
            // The stop gave the look up: it tells nothing, and asks nothing.
            if (g_bFtpBreak) return {};
            WriteTraceString("-?- The remote files in " + dir + " on " + ShownHostName(host) +
                             " could not be looked at (" + e.what() +
                             "): whether they were changed on the server cannot be told.");
            found.clear();
            for (const auto& target : targets)
                found.emplace_back(target.first, "the look at the server failed (" + std::string(e.what()) + ")");
        }
        // What the look let go is looked at again right before it goes,
        // where this look is old by then.
        std::set<size_t> named;
        for (const auto& f : found) named.insert(f.first);
        const auto took = std::chrono::steady_clock::now() - at;
        for (const auto& [k, recorded] : targets)
            if (!named.count(k)) {
                LookedTarget& t = Looked()[RemoteTargetKey(items[k])];
                t.host = host;
                t.user = user;
                t.recorded = recorded;
                t.at = at;
                t.took = took;
            }
        changed.insert(changed.end(), found.begin(), found.end());
    }
    return changed;
}

CServerChangeGuard::Found CServerChangeGuard::FindChangedInFolder(
    CFtpClient& c, const std::vector<std::pair<size_t, CFileItem>>& targets) {
    Found found;
    const CFileItem& first = targets.front().second;
    const bool unix = first.GetHostKind() == "UNIX";
    // On a UNIX host a listing the server refuses (a folder the user may
    // enter but not read) shows nothing, which is no sign of no change.
    const auto list = [&](const std::function<std::string()>& listing) {
        if (!unix) return listing();
        try {
            return listing();
        } catch (const CFtpClient::FTPException& e) {
            if (e.ConnectionLost()) throw;
        }
        return std::string();
    };
    const CListingIndex listing(unix ? list([&] { return c.ListFolderToText(first.RemoteDir); }) : std::string());
    std::vector<std::pair<size_t, const CFileItem*>> sameMinute, unshown;
    // A record on MDTM's clock (a stopped run kept the time read after the
    // transfer before any listing of its folder told the listing's clock)
    // is put on the listing's clock before its line is read against it.
    std::vector<std::pair<size_t, CFileItem>> onListingClock;
    const auto onMdtmClock = [&](const CFileItem& recorded) { return unix && RecordsMdtmClock(recorded); };
    if (std::any_of(targets.begin(), targets.end(), [&](const auto& t) { return onMdtmClock(t.second); })) {
        const std::time_t offset = ListingClockOffset(c, listing, first);
        for (const auto& [k, recorded] : targets) {
            onListingClock.emplace_back(k, recorded);
            if (!onMdtmClock(recorded)) continue;
            onListingClock.back().second.RemoteModTime += offset;
            onListingClock.back().second.RemoteTimeListed = true;
        }
    }
    for (const auto& [k, recorded] : onListingClock.empty() ? targets : onListingClock) {
        std::string lines = unix ? listing.ItemLines(recorded) : std::string();
        if (lines.empty())
            lines = ItemListingLines(recorded,
                                     list([&] { return c.ListToText(recorded.RemoteDir + recorded.FileName); }));
        CFileItem listed;
        switch (LookAtLines(recorded, lines, listed)) {
        case Listed::Changed:
            found.emplace_back(k, std::string());
            break;
        case Listed::Unrecorded:
            found.emplace_back(k, UnreadTimeWhy(recorded));
            break;
        case Listed::SameMinute:
            sameMinute.emplace_back(k, &recorded);
            break;
        case Listed::NotShown:
            if (unix) unshown.emplace_back(k, &recorded);
            break;
        case Listed::Same:
            break;
        }
    }
    if (!sameMinute.empty()) {
        std::vector<std::string> paths;
        for (const auto& [k, recorded] : sameMinute) paths.push_back(recorded->RemoteDir + recorded->FileName);
        std::vector<int> seconds;
        try {
            seconds = c.GetModificationSeconds(paths);
        } catch (const CFtpClient::FTPException& e) {
            if (e.ConnectionLost()) throw;
        }
        // A second the server does not tell (MDTM refused or failed) clears
        // nothing: whether the target changed cannot be told. Except on a
        // server that tells no second at all (MDTM answered no file on this
        // login), for a record of second 0 with no unit: the minute its
        // listing showed, as the previous release recorded it there without
        // the unit. It is compared to that minute, as a record with the
        // unit is, and its next transfer records the unit.
        const bool tellsNoSecond = !c.AnsweredForAFile("MDTM");
        for (size_t i = 0; i < sameMinute.size(); ++i) {
            const CFileItem& recorded = *sameMinute[i].second;
            const int second = i < seconds.size() ? seconds[i] : -1;
            if (second < 0 && tellsNoSecond && recorded.RemoteTimeUnit == 0 && !recorded.RemoteSecondKnown &&
                SecondOfTime(recorded.RemoteModTime) == 0)
                continue;
            if (second < 0) {
                WriteTraceString("-?- " + ShortHostName(recorded.RemHost) + " does not tell the second of " +
                                 recorded.RemoteDir + recorded.FileName +
                                 " (MDTM): a change within the minute of its last transfer cannot be ruled out.");
                found.emplace_back(sameMinute[i].first,
                                   "the server does not tell the second within the minute of its last transfer "
                                   "(MDTM)");
            } else if (second != SecondOfTime(recorded.RemoteModTime)) {
                found.emplace_back(sameMinute[i].first, std::string());
            }
        }
    }
    if (!unshown.empty()) {
        // The listing's clock only where a record was read off a listing.
        const bool listed = std::any_of(unshown.begin(), unshown.end(),
                                        [](const auto& target) { return target.second->RemoteTimeListed; });
        const std::time_t offset = listed ? ListingClockOffset(c, listing, first) : 0;
        const std::vector<std::string> shownFiles = listing.FileLines();
        const std::string shown =
            shownFiles.empty() ? std::string() : first.RemoteDir + CFtpClient::UnixListingName(shownFiles.front());
        for (const auto& [k, recorded] : unshown) {
            std::string why;
            const Unshown state = LookAtUnshownTarget(c, *recorded, offset, shown, why);
            if (state == Unshown::Changed || state == Unshown::NotTold) found.emplace_back(k, why);
        }
    }
    return found;
}

LookedTargets& CServerChangeGuard::Looked() { return t_run ? t_run->m_lookedAt : m_lookedAt; }

bool CServerChangeGuard::LookIsStale(size_t index) const {
    if (index >= m_items.size() || m_skipped[index]) return false;
    const LookedTargets& looked = Looked();
    const auto found = looked.find(RemoteTargetKey(m_items[index]));
    return found != looked.end() && found->second.state == LookedTarget::State::Same &&
           std::chrono::steady_clock::now() - found->second.at >= kLookFresh + found->second.took;
}

CServerChangeGuard::Again CServerChangeGuard::LookAgain(size_t index, std::string host, std::string user,
                                                        std::string& why) {
    if (index >= m_items.size() || m_skipped[index]) return Again::Same;
    LookedTargets& looked = Looked();
    const std::string key = RemoteTargetKey(m_items[index]);
    auto found = looked.find(key);
    if (found == looked.end()) return Again::Same;
    if (LookIsStale(index)) {
        LookAgainInFolder(found->second, host, user);
        found = looked.find(key);
        if (found == looked.end()) return Again::Same;
    }
    // The file goes now, or stays: either way no later look is owed.
    const LookedTarget target = found->second;
    looked.erase(found);
    why = target.why;
    if (target.state == Again::Same) return Again::Same;
    // Left by the later parts of the run too.
    if (t_runHeld) t_runHeld->insert(key);
    if (t_run && target.state == Again::NotTold) t_run->m_heldWhy[key] = why;
    return target.state;
}

// One listing of the folder (as the look reads it) tells of every target
// there the look let go: each is compared with its last transfer's record
// again, as the look found it still so. Where that fails on the way,
// whether they changed cannot be told.
void CServerChangeGuard::LookAgainInFolder(const LookedTarget& target, std::string host, std::string user) {
    std::vector<LookedTarget*> again;
    std::vector<std::pair<size_t, CFileItem>> targets;
    for (auto& [key, t] : Looked())
        if (t.state == LookedTarget::State::Same && t.host == target.host && t.user == target.user &&
            t.recorded.RemoteDir == target.recorded.RemoteDir) {
            targets.emplace_back(again.size(), t.recorded);
            again.push_back(&t);
        }
    if (targets.empty()) return;
    const auto at = std::chrono::steady_clock::now();
    Found found;
    try {
        RunWithReconnect(m_data, host, user, true, [&](CFtpClient& c) { found = FindChangedInFolder(c, targets); });
    } catch (const CFtpClient::FTPException& e) {
        // Stopped: the run ends before the file goes.
        if (g_bFtpBreak) return;
        for (LookedTarget* t : again) {
            t->state = LookedTarget::State::NotTold;
            t->why = "the look right before its send failed (" + std::string(e.what()) + ")";
        }
        return;
    }
    const auto took = std::chrono::steady_clock::now() - at;
    for (LookedTarget* t : again) {
        t->at = at;
        t->took = took;
    }
    std::vector<CFileItem> changed;
    for (const auto& [i, why] : found) {
        LookedTarget& t = *again[i];
        t.state = why.empty() ? LookedTarget::State::Changed : LookedTarget::State::NotTold;
        t.why = why;
        if (why.empty()) changed.push_back(t.recorded);
    }
    MarkChangedOnServer(changed);
}

// One question names them all, the changes seen apart from those that
// could not be told; No (the default) leaves them. A run nobody attends
// leaves them and says so. Either way a change seen is marked changed on
// the server, as a status check would have marked it.
std::vector<size_t> CServerChangeGuard::TakeHeld() {
    std::vector<size_t> held;
    held.swap(m_newlyHeld);
    return held;
}

void CServerChangeGuard::HoldChanged(const std::vector<CFileItem>& looked, const std::vector<size_t>& own,
                                     const Found& found) {
    // Each remote file once, as the first item that names it shows it.
    std::vector<CFileItem> named;
    std::vector<std::pair<CFileItem, std::string>> unchecked;
    std::map<std::string, std::string> whyOf;  // remote file -> why ("" for a change seen)
    for (const auto& [i, why] : found) {
        CFileItem item = looked[i];
        if (!whyOf.emplace(RemoteTargetKey(item), why).second) continue;
        if (why.empty()) {
            item.IsRemoteModified = "Yes";
            named.push_back(item);
        } else {
            unchecked.emplace_back(item, why);
        }
    }
    MarkChangedOnServer(named);
    const bool unattended = IsUnattendedRun();
    if (!unattended && Prompter().AskDefaultNo(BothChangedQuestion(named, true, m_bBeforeRun, unchecked),
                                               MsgIcon::Question) == Answer::Yes)
        return;
    for (size_t i = 0; i < own.size(); ++i) {
        const auto why = whyOf.find(RemoteTargetKey(looked[i]));
        if (why == whyOf.end()) continue;
        const size_t k = own[i];
        m_held[k] = true;
        m_newlyHeld.push_back(k);
        if (!why->second.empty()) m_unchecked[k] = why->second;
    }
    for (const auto& [key, why] : whyOf) {
        if (t_runHeld) t_runHeld->insert(key);
        if (t_run && !why.empty()) t_run->m_heldWhy[key] = why;
    }
    if (!unattended) return;
    std::lock_guard<std::mutex> g(g_heldMutex);
    for (const CFileItem& item : named) {
        const std::string line = BothChangedHeldLine(item, true);
        WriteTraceString(line);
        g_heldLines.push_back(line);
    }
    for (const auto& [item, why] : unchecked) {
        WriteTraceString(UncheckedOnServerHeldLine(item, why));
        g_uncheckedHeld.push_back(RemoteTargetKey(item));
    }
}
