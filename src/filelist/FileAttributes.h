// The account and folders that the File Attributes dialog shows for the
// selected items of a basket, and what its OK writes back. Reading changes
// nothing: the items' own host, user and password are only completed from
// the session and the vault when the user confirms.
#pragma once

#include <string>
#include <vector>

class CProgramData;

struct FileAttributeValues {
    std::string host;
    std::string user;
    std::string password;
    std::string remoteDir;
    std::string localDir;
    // The account the password was typed or confirmed for (the account the
    // box was filled from, or the one shown when the user typed it).
    std::string passwordHost;
    std::string passwordUser;
};

// True when two host-and-user pairs name the same vault account (ASCII case
// ignored, as the vault does).
bool IsSameAccount(const std::string& host1, const std::string& user1, const std::string& host2,
                   const std::string& user2);

// The values of the first selected item (an item without host or user takes
// the session's, the password comes from the vault); a value stays only when
// every selected item agrees on it, else it is empty.
FileAttributeValues GetCommonFileAttributes(const CProgramData& data, int p, int s, int b,
                                            const std::vector<int>& selection);

// A local folder with a closing "/" and no doubled "/"; "" stays "".
std::string NormalizeLocalDir(std::string dir);
// The same for a remote folder; a VMS folder ("]" after the first
// character) stays as it is.
std::string NormalizeRemoteDir(std::string dir);

// OK of the dialog: completes the selected items' host and user from the
// session, then gives every non-empty value to the items, the session and
// the current account, and the account (with its password) to the vault.
// A password that was not typed or confirmed for the account now shown is
// never stored for it: the vault's own password of that account stays. The
// folders are normalised first.
void ApplyFileAttributes(CProgramData& data, int p, int s, int b, const std::vector<int>& selection,
                         FileAttributeValues values);
