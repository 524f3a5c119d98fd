// Changes made on the server since an item's last transfer: the remote
// times compared as finely as both sides tell them, and the look at the
// targets of a send before anything overwrites them.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/FileItem.h"
#include "remote/AccountItemGuard.h"

class CProgramData;
class CFtpClient;
class CListingIndex;

// A real remote time, not one of the two reserved values.
bool IsRealRemoteTime(std::time_t t);
// The second (0 to 59) of a time, in local time.
int SecondOfTime(std::time_t t);

// The seconds the time of the item's own listing lines tells: 1 where the
// line shows seconds that are not 0 (a VMS listing, a full-iso one), 60
// where it shows month, day and clock, 86400 where it shows month, day and
// year; 0 when the lines show no time.
int ListedTimeUnit(const CFileItem& item, const std::string& lines);
// Whether the remote time recorded at the last transfer (recorded) and one
// just read (checked) are the same, compared to the coarser of the two: a
// time read to the minute says nothing of seconds, a date alone nothing of
// the clock. A recorded time is taken to its second, also a second of 0
// read back from the stored file (which does not keep whether the second
// was known): where only that second tells, MDTM decides.
bool SameRemoteTime(const CFileItem& recorded, const CFileItem& checked);

// The remote state the last transfer of the item's remote file recorded:
// the item's own, or, for an item that never went (added after that
// transfer), the newest one the items of the loaded sessions that went hold
// for the same remote file; none where one of them recorded nothing, and
// the mark of a time not known where one of them went whole without its
// server time being read.
CFileItem RecordedTransfer(const CProgramData& data, const CFileItem& item);
// What a send that left the item hands back: the item as the run found it.
// An item that never went takes the state of an item of the loaded sessions
// for the same pair of files that did, so that handing it back does not
// clear the time that item recorded. Where
// an item for the same pair of files recorded a later transfer (another
// basket's part of the same run), the item takes that record: a record is
// never moved back in time. An item whose last transfer recorded no time
// keeps none. seen: a change was seen (the item is marked changed on the
// server); otherwise it keeps its mark as it was.
CFileItem HeldItemState(const CProgramData& data, const CFileItem& item, bool seen = true);
// How far the clock of a folder's listing stands from MDTM's (a server may
// list its local time while MDTM gives UTC), in whole minutes, found on the
// first files the listing shows with their clock; 0 where none tells.
std::time_t ListingClockOffset(CFtpClient& c, const CListingIndex& listing, const CFileItem& like);
// The time MDTM gives of one remote file (its fields read as a listing's
// are) in t; returns the reply code, 213 where t was set. A reply that
// answers another command ends the connection's use (a lost connection).
int ReadRemoteFileTime(CFtpClient& c, const std::string& path, std::time_t& t);
// The same for many files at once (MDTM commands in groups): one reply
// code a path, and the time where it is 213.
std::vector<std::pair<int, std::time_t>> ReadRemoteFileTimes(CFtpClient& c, const std::vector<std::string>& paths);
// The time one MDTM reply gives: the code, 213 where t was set (501 for a
// 213 whose time cannot be read).
int RemoteFileTimeOfReply(int code, const std::string& reply, std::time_t& t);
// Whether a record holds a time on MDTM's clock (read after its transfer,
// in this run of the program, where no listing told the listing's clock).
bool RecordsMdtmClock(const CFileItem& recorded);
// How far a listing's clock stands from MDTM's by one file's lines and the
// time MDTM gave of the same file (own): a zone's offset in whole quarter
// hours, 14 hours at most, in offset; false where the lines tell none (no
// time to the minute, or one that no zone explains: the file changed).
bool ZoneOffsetOfLines(const CFileItem& like, const std::string& lines, std::time_t own, std::time_t& offset);
// The state of the item's remote file by the commands that name one file
// exactly, for a file its folder's listing leaves out: its size by SIZE (-1
// where SIZE tells none) and its time by MDTM, put on the listing's clock
// (clockOffset; 0 keeps MDTM's own) and known to the second. False where
// MDTM gives no time (the time is left as it was). timeCode, sizeCode: the
// two reply codes.
bool ReadExactRemoteState(CFtpClient& c, CFileItem& item, std::time_t clockOffset, int& timeCode, int& sizeCode);

// What the look before a send saw of a target it let go, for the look
// right before the target's own send: the account and when the look was
// taken, the state the last transfer recorded (the server's copy was
// still so then), and what a later look at its folder found.
struct LookedTarget {
    enum class State { Same, Changed, NotTold };
    std::string host, user;
    CFileItem recorded;
    std::chrono::steady_clock::time_point at;
    std::chrono::steady_clock::duration took{};  // how long that look took
    State state = State::Same;
    std::string why;  // NotTold: why
};
// By remote file (RemoteTargetKey).
using LookedTargets = std::map<std::string, LookedTarget>;

// A run that nobody attends (auto-sync, started by the timer): it asks
// nothing and names what it leaves. Set for the lifetime of the object, on
// the thread that runs the transfer.
class CUnattendedRun {
public:
    explicit CUnattendedRun(bool unattended);
    ~CUnattendedRun();
    CUnattendedRun(const CUnattendedRun&) = delete;
    CUnattendedRun& operator=(const CUnattendedRun&) = delete;

private:
    bool m_previous;
};
bool IsUnattendedRun();
// The Message Window lines unattended sends wrote for the targets they
// left, taken over (and forgotten) by the starter that names such items
// once while they stay.
std::vector<std::string> TakeHeldLines();
// The remote files (RemoteTargetKey) unattended sends left because the
// look could not tell whether they changed, taken over (and forgotten) the
// same way: they carry no mark that would keep the next run from them.
std::vector<std::string> TakeUncheckedHeld();

// A run over several baskets, for its lifetime on the thread that runs it:
// each basket's part sees what the parts before wrote. The records of the
// files they sent go into the run's copy of the data (the later baskets'
// items of the same files are gathered from it). The look before a send
// takes the items of every account, the later parts' too, so that the run
// asks once; a file the run has looked at is not looked at again by a
// later part's look (only right before it goes, where that look has grown
// old: CServerChangeGuard::LookAgain), and one it left is left by the later
// parts too, with the same reason. An account whose login failed is not
// asked for again: its items are not sent.
class CServerChangeRun {
public:
    // parts: the items of each basket's part, in the run's order.
    explicit CServerChangeRun(CProgramData& data, std::vector<std::vector<CFileItem>> parts = {});
    ~CServerChangeRun();
    CServerChangeRun(const CServerChangeRun&) = delete;
    CServerChangeRun& operator=(const CServerChangeRun&) = delete;
    // The part that runs now.
    void StartPart(size_t part) { m_part = part; }
    // The results one basket's part left in the transfer list.
    void TakeResults(const std::vector<CFileItem>& results);

private:
    friend class CServerChangeGuard;
    CProgramData& m_data;
    std::vector<std::vector<CFileItem>> m_parts;
    size_t m_part = 0;
    std::set<std::string> m_held;  // the remote files left so far
    std::map<std::string, std::string> m_heldWhy;  // a file left for a change not told: why
    std::set<std::string> m_looked;  // the remote files looked at before a send
    std::set<std::string> m_failedLogins;  // accounts (host, LF, user) whose login failed
    LookedTargets m_lookedAt;  // the targets the look let go, not sent yet
    std::set<std::string>* m_previous;
    CServerChangeRun* m_previousRun;
};

// The run's own record of what its parts left so far, for the checks of
// each part to read and add to (keys of their own); nullptr outside a run
// over several baskets.
std::set<std::string>* RunHeldFiles();

// Before a send overwrites anything: the targets changed on the server
// since their last transfer. At the first item of each account the run
// reaches (in a run somebody attends, at the first item it reaches:
// the run's items of every account are looked at then, each account with
// the run's login), every folder its items of that account write into is
// listed once and each target looked up in it by name. Within the minute the
// listing shows, the targets' exact seconds are asked (MDTM) all at once; a
// target the listing leaves out is looked at by the commands that name one
// file exactly (MDTM, SIZE). The changed targets, those a status check
// marked changed, and those whose change could not be told (the server
// does not tell the second or the time, the look failed, the last transfer
// went whole without its server time being read) are named in one
// question, each kind under its own words (No by default) or, in a run
// nobody attends, left and named. Only a change seen marks the item
// changed on the server. An item it holds stays where it is: the user said
// No (or nobody was asked).
class CServerChangeGuard : public CAccountItemGuard {
public:
    using CAccountItemGuard::CAccountItemGuard;
    // beforeRun: the one command file "Run bat file" sends before it runs
    // it (a mark of a status check on it was asked about before).
    void SetBeforeRun(bool beforeRun) { m_bBeforeRun = beforeRun; }
    // The items the last look held, each once.
    std::vector<size_t> TakeHeld();
    // Right before an item goes that the look let go: where that look is
    // older than a few seconds by the clock, the server's copy is looked at
    // again, the same way (with the other targets of its folder the look
    // let go, in one listing). Changed: it changed since the look; NotTold:
    // that could not be told (why). A fresh look asks the server nothing.
    using Again = LookedTarget::State;
    Again LookAgain(size_t index, std::string host, std::string user, std::string& why);
    // Whether LookAgain would ask the server.
    bool LookIsStale(size_t index) const;
    // How old a look may be when its file goes (counted from its end where
    // the look itself took longer: a folder listed slowly is not listed
    // again back to back).
    static constexpr std::chrono::seconds kLookFresh{3};
    // Whether a held item was held because its change could not be told,
    // and why.
    bool Unchecked(size_t index, std::string& why) const;
    // A login to the account failed in this run, the run's own or the
    // look's: its items are not sent, and the login is not asked for again.
    void NoteLoginFailed(const std::string& host, const std::string& user);
    bool LoginFailed(const std::string& host, const std::string& user) const;
    // Called where the look's login to another account renamed it (the
    // login dialog), before its items go on under the new names.
    using Renamed = std::function<void(const std::string& oldHost, const std::string& oldUser,
                                       const std::string& host, const std::string& user)>;
    void SetRenamed(Renamed renamed) { m_renamed = std::move(renamed); }

private:
    // The targets (index into items) that changed on the server (why
    // empty) or whose change could not be told (why).
    using Found = std::vector<std::pair<size_t, std::string>>;
    void CheckAccount(const std::string& host, const std::string& user) override;
    void GatherLooked(const std::function<bool(const CFileItem&)>& lookable, std::vector<CFileItem>& looked,
                      std::vector<size_t>& own);
    // login: for an account other than the one the run is connected to,
    // makes its connection the current one before the first folder is
    // listed (false: nothing is looked at).
    Found FindChanged(const std::vector<CFileItem>& items, const std::vector<size_t>& indices, std::string host,
                      std::string user, const std::function<bool(std::string&, std::string&)>& login = nullptr);
    // The same for the targets of one remote folder (index and recorded
    // state), on a connection to their account.
    Found FindChangedInFolder(CFtpClient& c, const std::vector<std::pair<size_t, CFileItem>>& targets);
    // looked: every item looked at, this part's first (own: their indices
    // in the part), then the later parts'; found: those to ask about.
    void HoldChanged(const std::vector<CFileItem>& looked, const std::vector<size_t>& own, const Found& found);

    // The items of the other accounts: each account's looked at on its own
    // connection (looked: renamed where its login renames the account);
    // notLooked: the items of accounts that could not be logged in to.
    Found FindChangedElsewhere(std::vector<CFileItem>& looked, const std::vector<size_t>& others,
                               const std::string& host, const std::string& user, std::vector<bool>& notLooked);

    LookedTargets& Looked();
    const LookedTargets& Looked() const { return const_cast<CServerChangeGuard*>(this)->Looked(); }
    // The targets of the folder of one the look let go, looked at again.
    void LookAgainInFolder(const LookedTarget& target, std::string host, std::string user);

    bool m_bBeforeRun = false;
    Renamed m_renamed;
    LookedTargets m_lookedAt;  // outside a run over baskets
    std::set<std::string> m_failedLogins;  // outside a run over baskets
    std::vector<size_t> m_newlyHeld;
    std::map<size_t, std::string> m_unchecked;  // held items whose change could not be told: why
};
