// The remote status check: the listing line of every item's remote file
// gives its remote time, which the timer compares with the last transfer.
#pragma once

#include <string>
#include <vector>

#include "model/FileItem.h"

class CProgramData;
class CFtpClient;

// The two reserved stored times.
constexpr const char* kNoTimeInfo = "1970+1+1+0+0+0+";
constexpr const char* kRemoteMissingTime = "1970+1+1+1+1+1+";

// "Get status of remote files" on the basket (window thread): refuses while
// FTP is busy ("One FTP session is already on."), else starts the worker on
// copies of the basket's items. False when nothing was started.
bool StartRemoteStatusCheck(CProgramData& data, int project, int session, int basket);
// The check itself, item by item, on the connections of the items' accounts.
void CheckRemoteStatus(CProgramData& data, std::vector<CFileItem>& list);
// Marks every matching item of the project's loaded sessions modified or
// missing, with one line per difference. False when a matching item has no
// time of its last transfer to compare with (it cannot be called in sync).
bool CompareRemoteTimes(CProgramData& data, int project, CFileItem& checked);
// After a check: one Message Window line for each folder (and host) of
// the checked items whose remote time it could not learn (a listing that
// failed); none when every item got its time.
std::vector<std::string> UncheckedFolderLines(const std::vector<CFileItem>& checked);
// The lines of a listing that are the item's own, for the remote status: on
// a UNIX host the lines whose name is the item's file name or its full
// remote path; a longer name that ends with it ("my a.c" for "a.c") is
// another file. A VMS listing passes whole.
std::string ItemListingLines(const CFileItem& item, const std::string& listing);
// A listing tells the remote time to the minute. The exact second (MDTM)
// goes into the time the listing gave to item, when that is a real time
// and second is 0 to 59; RemoteSecondKnown tells whether it went in.
void KeepRemoteSecond(CFileItem& item, int second);
// The second of the remote file's time by MDTM on the item's connection,
// or -1 (a UNIX host only; a server without MDTM gives -1 too).
int AskRemoteSecond(CProgramData& data, std::string& host, std::string& user,
                    const CFileItem& item);
// The item's lines from "LIST path", or, when that names no such entry on a
// UNIX host (pure-ftpd reads blanks in the path as separators), from the
// listing of its folder, and last from ListItemLinesByPattern.
std::string ListItemLines(CFtpClient& c, const CFileItem& item);
// A name holding a control character (a TAB) is left out of some servers'
// folder listings and changed in their arguments (pure-ftpd turns it into
// "_"): the item's lines from a listing of its folder by a pattern with "?"
// for every such character and blank; "" for any other name.
std::string ListItemLinesByPattern(CFtpClient& c, const CFileItem& item);
// "2008+7+14+9+5+3+" -> "14-Jul-2008 09:05:03"; "" for a text it cannot read.
std::string FormatStoredTimeForDisplay(const std::string& stored);
// The item number as the progress lines show it: "03/12", "007/120".
std::string FormatItemNumber(int number, int count);
