// Changes made on the server since an item's last transfer: the remote
// times compared as finely as both sides tell them, and the look at the
// targets of a send before anything overwrites them.
#pragma once

#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "model/FileItem.h"

class CProgramData;
class CFtpClient;

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
// the clock.
bool SameRemoteTime(const CFileItem& recorded, const CFileItem& checked);

// The remote state the last transfer of the item's remote file recorded:
// the item's own, or, for an item that never went (added after that
// transfer), the newest one the items of the loaded sessions that went hold
// for the same remote file; none where one of them recorded nothing.
CFileItem RecordedTransfer(const CProgramData& data, const CFileItem& item);
// What a send that left the item hands back: the item as the run found it,
// marked changed on the server. An item that never went takes the state of
// an item of the loaded sessions for the same pair of files that did, so
// that handing it back does not clear the time that item recorded.
CFileItem HeldItemState(const CProgramData& data, const CFileItem& item);
// Whether the item's own listing lines show its remote file changed since
// recorded: another time or size. Within the recorded minute the exact
// second is asked (MDTM) where the recorded one is known. A file the lines
// do not show, or a recorded state without a time of its own, shows nothing.
bool ListingShowsChange(CFtpClient& c, const CFileItem& recorded, const std::string& lines);

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

// Before a send overwrites anything: the targets changed on the server
// since their last transfer. At the first item of each account the run
// reaches, every folder its items of that account write into is listed
// once; the changed targets are named in one question (No by default) or,
// in a run nobody attends, left and named. Items already marked changed on
// the server were asked about before the run started.
class CServerChangeGuard {
public:
    // items: the run's items as it holds them (renamed accounts included).
    CServerChangeGuard(CProgramData& data, const std::vector<CFileItem>& items);
    // beforeRun: the one command file "Run bat file" sends before it runs it.
    void SetBeforeRun(bool beforeRun) { m_bBeforeRun = beforeRun; }
    // Items of the run that are not to be looked at (refused before).
    void Skip(size_t index);
    // True when the item at index stays where it is: its target changed on
    // the server and the user said No (or nobody was asked). host and user:
    // the account as the login left it.
    bool Holds(size_t index, std::string host, std::string user);

private:
    void CheckAccount(const std::string& host, const std::string& user);
    std::vector<size_t> FindChanged(const std::vector<size_t>& indices, std::string host, std::string user);
    void HoldChanged(const std::vector<size_t>& changed);

    CProgramData& m_data;
    const std::vector<CFileItem>& m_items;
    std::vector<bool> m_skipped;
    std::vector<bool> m_held;
    std::set<std::string> m_checkedAccounts;
    bool m_bBeforeRun = false;
};
