#include "remote/RemoteStatus.h"

#include <map>
#include <set>
#include <memory>
#include <optional>

#include "model/Globals.h"
#include "model/ListingLine.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/ListingIndex.h"
#include "remote/ServerChanges.h"

std::string ItemListingLines(const CFileItem& item, const std::string& listing) {
    if (item.GetHostKind() == "VMS") return listing;
    const std::string full = item.RemoteDir + item.FileName;
    std::string kept;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        std::string line = listing.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string name = CFtpClient::UnixListingName(line);
        if (!item.FileName.empty() && (name == item.FileName || name == full)) kept += line + "\r\n";
        start = end + 1;
    }
    return kept;
}

void KeepRemoteSecond(CFileItem& item, int second) {
    item.RemoteSecondKnown = false;
    if (second < 0 || second > 59 || !IsRealRemoteTime(item.RemoteModTime)) return;
    item.RemoteModTime += second - SecondOfTime(item.RemoteModTime);
    item.RemoteSecondKnown = true;
}

int AskRemoteSecond(CProgramData& data, std::string& host, std::string& user,
                    const CFileItem& item) {
    if (item.GetHostKind() != "UNIX") return -1;
    int second = -1;
    try {
        RunWithReconnect(data, host, user, true, [&](CFtpClient& c) {
            try {
                second = c.GetModificationSecond(item.RemoteDir + item.FileName);
            } catch (const CFtpClient::FTPException& e) {
                if (e.ConnectionLost()) throw;
            }
        });
    } catch (const CFtpClient::FTPException&) {
        // The exact second is a refinement: without it the minute stands.
    }
    return second;
}

std::string ListItemLines(CFtpClient& c, const CFileItem& item) {
    std::string lines = ItemListingLines(item, c.ListToText(item.RemoteDir + item.FileName));
    if (lines.empty() && item.GetHostKind() == "UNIX")
        lines = ItemListingLines(item, c.ListFolderToText(item.RemoteDir));
    if (lines.empty()) lines = ListItemLinesByPattern(c, item);
    return lines;
}

std::string ListItemLinesByPattern(CFtpClient& c, const CFileItem& item) {
    if (item.GetHostKind() != "UNIX") return std::string();
    std::string pattern = item.FileName;
    bool control = false;
    for (char& ch : pattern) {
        const unsigned char u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u == 0x7f) control = true;
        if (u <= 0x20 || u == 0x7f) ch = '?';
    }
    if (!control) return std::string();
    return ItemListingLines(item, c.ListFolderToText(item.RemoteDir, pattern));
}

std::string FormatItemNumber(int number, int count) {
    std::string n = std::to_string(number);
    if (count > 9 && number < 10) n = "0" + n;
    if (count > 99 && number < 100) n = "0" + n;
    return n + "/" + std::to_string(count);
}

std::string FormatStoredTimeForDisplay(const std::string& stored) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::vector<std::string> f;
    size_t pos = 0;
    while (f.size() < 6) {
        size_t plus = stored.find('+', pos);
        if (plus == std::string::npos) return std::string();
        f.push_back(stored.substr(pos, plus - pos));
        pos = plus + 1;
    }
    int month = 0;
    for (char c : f[1]) {
        if (c < '0' || c > '9') return std::string();
        month = month * 10 + (c - '0');
        if (month > 12) return std::string();
    }
    if (month < 1) return std::string();
    for (size_t i = 2; i < 6; ++i)
        if (f[i].size() == 1) f[i] = "0" + f[i];
    return f[2] + "-" + kMonths[month - 1] + "-" + f[0] + " " + f[3] + ":" + f[4] + ":" + f[5];
}

namespace {
// Whether a file that its folder's listing does not show is really gone.
// MDTM and SIZE ask for the file itself (timeCode, sizeCode: their replies):
// a server that finds it tells that the folder only hides it from this
// user, and one that refuses both commands tells nothing. A file they do
// not find is gone when its folder can be entered; a folder the user may
// not enter proves nothing while its parent's listing shows it.
bool AbsenceProven(CFtpClient& c, const CFileItem& item, int timeCode, int sizeCode,
                   std::map<std::string, bool>& closedFolders, const std::string& key) {
    if (timeCode == 213 || sizeCode == 213 || (timeCode != 550 && sizeCode != 550)) return false;
    auto known = closedFolders.find(key);
    if (known == closedFolders.end()) {
        bool closed = false;
        if (!c.FolderExists(item.RemoteDir)) {
            std::string dir = item.RemoteDir;
            while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
            const size_t slash = dir.rfind('/');
            if (slash != std::string::npos && slash + 1 < dir.size()) {
                const std::string name = dir.substr(slash + 1);
                const std::string listing = c.ListFolderToText(dir.substr(0, slash + 1));
                for (size_t start = 0; start < listing.size() && !closed;) {
                    size_t end = listing.find('\n', start);
                    if (end == std::string::npos) end = listing.size();
                    std::string line = listing.substr(start, end - start);
                    if (!line.empty() && line.back() == '\r') line.pop_back();
                    closed = CFtpClient::UnixListingName(line) == name;
                    start = end + 1;
                }
            }
        }
        known = closedFolders.emplace(key, closed).first;
    }
    return !known->second;
}
}  // namespace

bool StartRemoteStatusCheck(CProgramData& data, int project, int session, int basket) {
    if (!data.IsValidBasket(false, project, session, basket)) return false;
    if (!ClaimFtpSlot("One FTP session is already on.")) return false;
    {
        FtpResultsLock lists;
        lists->statusCheck = data.GetBasketItems(project, session, basket);
        lists->project = project;
        lists->session = session;
        lists->basket = basket;
    }
    auto snapshot = std::make_shared<CProgramData>(data);
    StartFtpWorker([snapshot] {
        WriteTraceString("--- Checking status of remote files ---");
        std::vector<CFileItem> list;
        {
            FtpResultsLock lists;
            list = lists->statusCheck;
        }
        CheckRemoteStatus(*snapshot, list);
        FtpResultsLock lists;
        lists->statusCheck = list;
    });
    return true;
}

namespace {

// The time unit of a listing line that shows the minute.
constexpr int kListedMinute = 60;

// What one status check carries from item to item.
struct StatusCheckRun {
    explicit StatusCheckRun(CProgramData& d) : data(d) {}
    CProgramData& data;
    int count = 0;
    size_t width = 0;                            // the longest name's columns
    std::vector<CHost> failed;                   // accounts whose login failed
    std::map<std::string, CListingIndex> folders;  // host, user and folder -> its listing
    std::set<std::string> unlisted;              // host, user and folder whose listing failed
    std::map<std::string, bool> closedFolders;   // host, user and folder -> the user may not look in
    std::map<std::string, std::time_t> clocks;   // host, user and folder -> its listing's clock from MDTM's
};

// What a check that could not look leaves is no information, never the
// time recorded at the last transfer (which reads as in sync).
void ForgetRemoteTime(CFileItem& item) {
    item.RemoteModTime = DefaultItemTime();
    item.RemoteSecondKnown = false;
    item.RemoteSize = -1;
    item.RemoteTimeUnit = 0;
}

// Logs in to the item's account; false (the item not known) when the check
// was stopped, or the account's login failed now or before.
bool ReachAccount(StatusCheckRun& run, CFileItem& item, std::string& host, std::string& user) {
    // A stopped check leaves the items it did not reach not known.
    if (g_bFtpBreak) {
        ForgetRemoteTime(item);
        return false;
    }
    if (ContainsHost(run.failed, CHost(host, user))) {
        WriteTraceString(ShownHostName(host) + " is not connected.");
        ForgetRemoteTime(item);
        return false;
    }
    if (!ConnectHost(run.data, host, user, true)) {
        WriteTraceString(LoginFailedLine());
        run.failed.push_back(CHost(item.RemHost, item.RemUser));
        ForgetRemoteTime(item);
        return false;
    }
    return true;
}

// The item's own lines: on a UNIX host looked up by name in a listing of its
// folder, each folder listed and read once (servers read the argument of
// "LIST path" differently: pure-ftpd splits it at blanks). A file no
// listing shows (a dot file, a name past the server's cap, a name its
// one-name LIST reads as a pattern) is told by MDTM and SIZE (told); hidden:
// the folder does not let this user see the file, which is neither there
// nor gone.
std::string ListOwnLines(StatusCheckRun& run, const CFileItem& item, std::string& host, std::string& user,
                         const std::string& key, bool& hidden, std::optional<CFileItem>& told) {
    std::string lines;
    RunWithReconnect(run.data, host, user, true, [&](CFtpClient& c) {
        hidden = false;
        told.reset();
        const std::string path = item.RemoteDir + item.FileName;
        if (item.GetHostKind() != "UNIX") {
            lines = c.ListToText(path);
            return;
        }
        auto folder = run.folders.find(key);
        if (folder == run.folders.end()) {
            try {
                folder = run.folders.emplace(key, CListingIndex(c.ListFolderToText(item.RemoteDir))).first;
            } catch (const CFtpClient::FTPException& e) {
                // A lost connection is tried once more on a new one.
                if (!e.ConnectionLost()) run.unlisted.insert(key);
                throw;
            }
        }
        lines = folder->second.ItemLines(item);
        // Dot files are left out of most folder listings.
        if (lines.empty()) lines = ItemListingLines(item, c.ListToText(path));
        if (lines.empty()) lines = ListItemLinesByPattern(c, item);
        if (!lines.empty()) return;
        // MDTM's time goes on the listing's clock where the recorded time
        // is the listing's: a record is compared with a time of its kind.
        std::time_t offset = 0;
        if (item.RemoteTimeListed) {
            auto clock = run.clocks.find(key);
            if (clock == run.clocks.end())
                clock = run.clocks.emplace(key, ListingClockOffset(c, folder->second, item)).first;
            offset = clock->second;
        }
        CFileItem exact = item;
        int timeCode = 0, sizeCode = 0;
        if (ReadExactRemoteState(c, exact, offset, timeCode, sizeCode))
            told = exact;
        else
            hidden = !AbsenceProven(c, item, timeCode, sizeCode, run.closedFolders, key);
    });
    return lines;
}

// The listing tells the minute only: within the recorded minute the exact
// second decides, also where the recorded second is 0 (read back from the
// stored file, which does not keep whether it was known). Without the
// second nothing tells the times apart: false, and the remote time is not
// known.
// Only a plain file's line is read that way: MDTM of a link tells the time of
// the file it points to, its line the link's own.
bool TakeSecondWithinMinute(StatusCheckRun& run, CFileItem& item, const CFileItem& recorded, const std::string& own,
                            std::string& host, std::string& user) {
    const std::time_t was = recorded.RemoteModTime;
    if (!IsRealRemoteTime(item.RemoteModTime) || !IsRealRemoteTime(was)) return true;
    if (item.GetHostKind() == "UNIX" && !IsPlainFileLine(own.substr(0, own.find_first_of("\r\n")))) return true;
    if (was - SecondOfTime(was) != item.RemoteModTime - SecondOfTime(item.RemoteModTime)) return true;
    // A record taken to the minute (the server told no second) is compared
    // to the minute, and its size.
    if (!recorded.RemoteSecondKnown && recorded.RemoteTimeUnit >= 60) return true;
    const int second = AskRemoteSecond(run.data, host, user, item);
    // A record of second 0 without a unit, on a server that tells no second
    // at all (MDTM answered no file on this login): the minute its listing
    // showed, as an earlier release recorded it there, compared to that
    // minute as a record with the unit is.
    const CFtpClient* c = GetCurrentFtpClient();
    if (second < 0 && recorded.RemoteTimeUnit == 0 && !recorded.RemoteSecondKnown && SecondOfTime(was) == 0 &&
        c && c->Host() == host && c->User() == user && !c->AnsweredForAFile("MDTM"))
        return true;
    if (second < 0) {
        // A change within the minute cannot be ruled out.
        if (item.GetHostKind() == "UNIX") {
            WriteTraceString("-?- " + ShortHostName(host) + " does not tell the second of " + item.RemoteDir +
                             item.FileName + " (MDTM): a change within the minute of its last transfer cannot be "
                             "ruled out.");
            ForgetRemoteTime(item);
            return false;
        }
        item.RemoteModTime = was;
    } else {
        KeepRemoteSecond(item, second);
    }
    return true;
}

// The word says what the result marks in the basket (see
// CompareRemoteTimes): without a time of the last transfer (none recorded,
// or one never read) nothing tells a change, and within one second a change
// shows in the size alone.
std::string StatusWord(const CFileItem& recorded, const CFileItem& checked) {
    const std::string checkedText = checked.GetRemoteTimeText();
    if (checkedText == kRemoteMissingTime) return "-missing-";
    const std::string recordedText = recorded.GetRemoteTimeText();
    if (recordedText == kNoTimeInfo || recordedText == kRemoteMissingTime) return "-not sure-";
    if (!SameRemoteTime(recorded, checked)) return "-dirty-";
    if (recorded.RemoteSize >= 0 && checked.RemoteSize >= 0 && checked.RemoteSize != recorded.RemoteSize)
        return "-dirty-";
    return " Ok";
}

// One item: its remote time and size from its listing line, and the status
// word of its trace line; nothing where no line is written.
std::optional<std::string> CheckOneItem(StatusCheckRun& run, CFileItem& item) {
    std::string host = item.RemHost, user = item.RemUser;
    if (!ReachAccount(run, item, host, user)) return std::nullopt;
    // The state recorded at the last transfer, before the listing's.
    const CFileItem recorded = item;
    const std::string key = host + '\n' + user + '\n' + item.RemoteDir;
    if (run.unlisted.count(key)) {
        ForgetRemoteTime(item);
        return std::string();
    }
    try {
        bool hidden = false;
        std::optional<CFileItem> told;
        const std::string lines = ListOwnLines(run, item, host, user, key, hidden, told);
        if (hidden) {
            ForgetRemoteTime(item);
            return std::string();
        }
        if (told) {
            item = *told;
            return StatusWord(recorded, item);
        }
        std::string status;
        const std::string own = ItemListingLines(item, lines);
        item.UpdateRemoteStatus(own, status);
        item.RemoteSecondKnown = false;  // a listing's time, until MDTM gives the second
        item.RemoteTimeUnit = ListedTimeUnit(item, own);
        // A record on MDTM's clock is compared with the line's time on
        // that clock.
        if (RecordsMdtmClock(recorded) && item.GetHostKind() == "UNIX" && IsRealRemoteTime(item.RemoteModTime)) {
            std::time_t offset = 0;
            RunWithReconnect(run.data, host, user, true, [&](CFtpClient& c) {
                auto clock = run.clocks.find(key);
                const auto folder = run.folders.find(key);
                if (clock == run.clocks.end() && folder != run.folders.end())
                    clock = run.clocks.emplace(key, ListingClockOffset(c, folder->second, item)).first;
                if (clock != run.clocks.end()) offset = clock->second;
            });
            item.RemoteModTime -= offset;
            item.RemoteTimeListed = false;
        }
        if (!TakeSecondWithinMinute(run, item, recorded, own, host, user)) return std::string("-not sure-");
        const std::string word = StatusWord(recorded, item);
        // The change's line tells the second MDTM gives, not the listing's
        // minute (of a plain file: MDTM of a link tells its target's time).
        if (word == "-dirty-" && !item.RemoteSecondKnown && item.RemoteTimeUnit == kListedMinute &&
            IsPlainFileLine(own.substr(0, own.find_first_of("\r\n"))))
            KeepRemoteSecond(item, AskRemoteSecond(run.data, host, user, item));
        return word;
    } catch (const CFtpClient::FTPException& e) {
        ForgetRemoteTime(item);
        LogFtpFailure(e, "Failed to get verbose listing of " + item.RemoteDir + " on " + ShortHostName(host) + ". ",
                      true, "the status check of " + host + ":" + item.RemoteDir + item.FileName);
    }
    return std::string();
}

}  // namespace

void CheckRemoteStatus(CProgramData& data, std::vector<CFileItem>& list) {
    data.SetKnownHostTypes(list);
    StatusCheckRun run(data);
    for (const CFileItem& it : list) run.width = std::max(run.width, TextColumns(it.FileName));
    run.count = static_cast<int>(list.size());
    for (int i = 0; i < run.count; ++i) {
        CFileItem& item = list[static_cast<size_t>(i)];
        const std::optional<std::string> status = CheckOneItem(run, item);
        if (!status) continue;
        WriteTraceString(PadRight(FormatItemNumber(i + 1, run.count) + ": Checking: " + item.FileName,
                                  run.width + 18) +
                         *status);
    }
}

bool CompareRemoteTimes(CProgramData& data, int project, CFileItem& checked) {
    if (!data.IsValidProject(false, project)) return true;
    bool known = true;
    const std::string checkedTime = checked.GetRemoteTimeText();
    const int sessions = data.GetSessionCount(project);
    for (int s = 0; s < sessions; ++s) {
        CSession* session = data.GetSessionPtr(project, s);
        if (!session || !session->IsLoaded) continue;
        const int baskets = data.GetBasketCount(project, s);
        for (int b = 0; b < baskets; ++b) {
            const int items = data.GetFileItemCount(project, s, b);
            for (int f = 0; f < items; ++f) {
                CFileItem* model = data.GetFileItemPtr(project, s, b, f);
                if (!model || model->FileName != checked.FileName ||
                    model->LocalDir != checked.LocalDir || model->RemoteDir != checked.RemoteDir ||
                    model->RemUser != checked.RemUser || model->RemHost != checked.RemHost)
                    continue;
                const std::string modelTime = model->GetRemoteTimeText();
                if (checkedTime == kRemoteMissingTime) {
                    data.SetRemoteMissing(project, s, b, f, "Yes");
                    WriteTraceString("Missing from remote directory.   \t" + checked.FileName);
                } else if (checkedTime == kNoTimeInfo) {
                    WriteTraceString("No remote information available. \t" + checked.FileName);
                } else if (modelTime == kNoTimeInfo || modelTime == kRemoteMissingTime) {
                    known = false;
                    WriteTraceString("No info on last FTP available.   \t" + checked.FileName);
                } else if (!SameRemoteTime(*model, checked)) {
                    data.SetRemoteModified(project, s, b, f, "Yes");
                    WriteTraceString("Last FTP time: " + FormatStoredTimeForDisplay(modelTime) +
                                     ".  Remote file time: " +
                                     FormatStoredTimeForDisplay(checkedTime) +
                                     ".  File: " + checked.FileName);
                } else if (model->RemoteSize >= 0 && checked.RemoteSize >= 0 &&
                           model->RemoteSize != checked.RemoteSize) {
                    // Changed within the second of the last transfer.
                    data.SetRemoteModified(project, s, b, f, "Yes");
                    WriteTraceString("Last FTP time: " + FormatStoredTimeForDisplay(modelTime) + " (" +
                                     std::to_string(model->RemoteSize) + " bytes).  Remote file time: " +
                                     FormatStoredTimeForDisplay(checkedTime) + " (" +
                                     std::to_string(checked.RemoteSize) + " bytes).  File: " + checked.FileName);
                }
            }
        }
    }
    return known;
}

std::vector<std::string> UncheckedFolderLines(const std::vector<CFileItem>& checked) {
    std::vector<std::string> lines;
    std::set<std::string> named;
    for (const CFileItem& it : checked) {
        if (it.GetRemoteTimeText() != kNoTimeInfo) continue;
        const std::string line = "-?- The status of the remote files in " + it.RemoteDir + " on " +
                                 ShortHostName(it.RemHost) + " is not known: the check failed.";
        if (named.insert(line).second) lines.push_back(line);
    }
    return lines;
}
