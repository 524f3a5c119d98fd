// Before a fetch replaces a local file the program knows nothing of: an
// item with no transfer on record has no state to tell a local edit by, so
// its local file is compared with the server's copy instead.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "model/FileItem.h"
#include "remote/AccountItemGuard.h"

class CProgramData;

// True when the item records no transfer of its own: it was never sent or
// fetched, or its last run did not go and no earlier one left a remote
// time. Its local time may be the one it was added with, so an edit made
// before that shows nothing.
bool HasNoTransferOnRecord(const CFileItem& item);

// At the first item of each account a fetch reaches, the run's items of
// that account that record no transfer and have a local file are compared
// with the server's copies: by size where the listing shows a binary
// file's, else by the bytes the fetch would write. Those that differ are
// named in one question (No by default) or, in a run nobody attends, left
// and named. Items whose local copy changed since their last transfer were
// asked about before the run started. An item it holds stays where it is:
// its local file differs from the server's and the user said No (or nobody
// was asked).
class CLocalWorkGuard : public CAccountItemGuard {
public:
    using CAccountItemGuard::CAccountItemGuard;

private:
    void CheckAccount(const std::string& host, const std::string& user) override;
    std::vector<size_t> FindDiffering(const std::vector<size_t>& indices, std::string host, std::string user);
    void HoldDiffering(const std::vector<size_t>& differing);
};
