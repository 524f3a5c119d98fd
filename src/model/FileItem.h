// One entry of a file basket: a local file paired with a remote file.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

struct stat;

// Builds a local time from its six parts (month 1-12).
std::time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second);

// Stored time text: six decimal numbers each followed by "+" (2008+7+5+13+4+9+).
std::string FormatStoredTime(std::time_t t);
// Reads a stored time; a date that cannot be right gives 2006-01-01 00:00:00.
std::time_t ParseStoredTime(const std::string& text);

// Reads the stored times of one file, as ParseStoredTime does. A file's times
// fall mostly on a few days: the zone's offset is looked up once for a day
// whose offset holds from 27 hours before it to 27 hours after it, and then
// serves every time of that day.
class CStoredTimeReader {
public:
    std::time_t Parse(const std::string& text);

private:
    long long m_day = -1LL << 62;
    long m_offset = 0;
    bool m_steady = false;
};

// "jan" ... "dec" to 1 ... 12; anything else gives 1.
int GetMonthNumber(const std::string& month);

// The remote time marker: unknown remote time or a missing remote file.
std::time_t RemoteUnknownTime();  // 1970-01-01 01:01:01 local
std::time_t DefaultItemTime();    // 1970-01-01 00:00:00 local

// Last-write time of a local file; false when it does not exist.
bool GetLocalFileTime(const std::string& path, std::time_t& t);

class CFileItem {
public:
    CFileItem();
    explicit CFileItem(const std::string& fileName);

    void Reset();

    std::string FileName;
    std::string FileType;     // "local" or "remote"
    std::string RemHost;
    std::string RemUser;
    std::string RemPassword;  // never stored in the work file
    std::string RemoteDir;
    std::string LocalDir;
    bool IsBatFile = false;
    bool IsBinaryFile = false;
    std::string IsFTPed;      // "Yes", "No" or "failed" (transfer result)
    std::string IsPinned;     // "IsPinned1" ... "IsPinned8", "No" or empty
    std::string IsRemoteModified;
    std::string IsRemoteMissing;
    std::time_t LocalModTime = 0;
    std::time_t RemoteModTime = 0;
    int BasketInd = 0;
    // In memory only, never stored: marks the very records of a pending cut.
    std::uint64_t CutTag = 0;
    // RemoteModTime holds the exact second (by MDTM after a transfer of
    // this run of the program), even where that second is 0. Stored only
    // for a time on MDTM's clock (with RemoteTimeListed false: the work
    // file's "RemoteClock=MDTM").
    bool RemoteSecondKnown = false;
    // In memory only, never stored: the remote file's size in bytes as the
    // listing line that gave RemoteModTime showed it; -1 when not known.
    long long RemoteSize = -1;
    // In memory only, never stored: the seconds the listing that gave
    // RemoteModTime tells its time to (1, 60, or 86400 where it shows the
    // date alone); 0 when not known; -1 where the work file held a damaged
    // record of it (RemoteModTime is then the mark of a time not known).
    int RemoteTimeUnit = 0;
    // In memory only, never stored: RemoteModTime was read off a listing
    // line, on the clock the listing shows (a server may list its local
    // time while MDTM gives UTC). False where MDTM alone gave it, and for a
    // time read back from the stored file (which marks one on MDTM's clock
    // with "RemoteClock=MDTM"; a time without the mark is taken as the
    // listing's).
    bool RemoteTimeListed = false;
    // In memory only, never stored: the account's host type ("UNIX" or
    // "VMS") where the program data knows it; it decides GetHostKind.
    std::string HostType;

    // In memory only, never stored: what the program last saw of the local
    // file beyond the whole second it stores. It counts only while `sec`
    // equals LocalModTime, so a time set any other way leaves it out.
    struct LocalFileSeen {
        std::time_t sec = -1;
        long nsec = -1;
        long long size = -1;
    } LocalSeen;

    std::string GetLocalPath() const { return LocalDir + FileName; }

    // "LocalModified", "LocalMissing" or "".
    std::string GetLocalStatus() const;
    // Accepts the local state; 1 when something changed.
    int ClearLocalDirty();
    // Takes the local file's time (and, in memory, its sub-second time and
    // size) as the state of the last transfer.
    void RefreshLocalTime();
    // True when the local file exists and is not as last taken: another
    // whole second, or, where this run saw it, another sub-second time or size.
    bool IsLocalFileChanged() const;
    // The local file's state, as stat gave it, differs from the one last seen.
    bool DiffersFrom(const struct stat& st) const;
    // True when the local status is not "".
    bool IsLocallyChanged() const { return !GetLocalStatus().empty(); }

    // Takes the remote time from a directory listing and returns (and sets)
    // the status word " Ok", "-dirty-", "-not sure-" or "-missing-".
    std::string UpdateRemoteStatus(const std::string& listing, std::string& status);
    // The time text of this item's entry in a listing, or "RemoteMissing".
    std::string GetRemoteListingText(const std::string& listing) const;
    // The size the item's entry in a UNIX listing shows; -1 when none.
    long long GetRemoteListingSize(const std::string& listing) const;
    // Applies a time text as above and returns the status word.
    std::string ApplyRemoteTime(const std::string& timeText, const std::string& hostKind);
    // The account's host type where it is known (HostType); else "VMS"
    // when the remote folder holds "[" and no "/", else "UNIX".
    std::string GetHostKind() const;

    std::string GetModifiedTimeText() const;
    std::string GetCreatedTimeText() const;
    std::string GetSyncText() const;
    std::string GetTypeFromExtension() const;
    int GetImageIndex() const;
    std::string GetStatusText() const;
    std::string GetShortReport() const;
    // hostType: the account's host type as the program data reports it.
    std::string GetLongReport(const std::string& hostType) const;

    std::string GetLocalTimeText() const { return FormatStoredTime(LocalModTime); }
    std::string GetRemoteTimeText() const { return FormatStoredTime(RemoteModTime); }
    void SetLocalTimeFromText(const std::string& text) { LocalModTime = ParseStoredTime(text); }
    void SetRemoteTimeFromText(const std::string& text) { RemoteModTime = ParseStoredTime(text); }
    void SetLocalTimeFromText(const std::string& text, CStoredTimeReader& times) { LocalModTime = times.Parse(text); }
    void SetRemoteTimeFromText(const std::string& text, CStoredTimeReader& times) {
        RemoteModTime = times.Parse(text);
    }

    // Creates the local file empty: 1 created, 0 exists already (message set),
    // 2 the path cannot be used or the file cannot be made (message set).
    int CreateEmptyLocalFile(std::string& message);
    // Copies the source item's local file to this item's: 1 copied, 0 the
    // target exists, 2 refused or failed (message set).
    int CopyFileWithCheck(const CFileItem& source, std::string& message);
    // Rewrites the local file with LF line breaks and no stray CR; false
    // (and a trace line) when it cannot be written.
    bool RepairLineBreaks();
};
