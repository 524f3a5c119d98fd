// Before a fetch replaces a local file the program knows nothing of: an
// item with no transfer on record has no state to tell a local edit by, so
// its local file is compared with the server's copy instead.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/FileItem.h"
#include "model/SafeFile.h"
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
// file's, else by the bytes the fetch would write, up to the first that
// differs. Those that differ (a text whose bytes are the server's is named
// as one that differs only in its line ends), and those that could not be
// compared (a refused or failed transfer, a local file that cannot be
// read), are named in one question (No by default) or, in a run nobody
// attends, left and named. One whose file the server refuses outright (550:
// its fetch would get nothing either) is left and named with the server's
// refusal, without a question. Items with a transfer on record whose local copy changed since
// were asked about before the run started. An item it holds stays where it
// is: its local file differs from the server's, or nobody could tell, and
// the user said No (or nobody was asked). In a run over several baskets a
// file held by an earlier basket is held again without a question.
class CLocalWorkGuard : public CAccountItemGuard {
public:
    using CAccountItemGuard::CAccountItemGuard;
    // The local files as they were when the fetch was decided, by item (the
    // run's own); an item whose file is no longer that one is not looked
    // at: the fetch leaves it.
    void SetSeen(const std::vector<CFileStamp>* seen) { m_seen = seen; }
    // True when the look proved the item's local file to hold the bytes its
    // fetch would write; stamp: the file as it was compared.
    bool ProvedSame(size_t index, CFileStamp& stamp) const;
    // The server's time of a file proved the same, read right after its
    // compare (with FTPUpdate, on a UNIX host); false where none was.
    bool OwnTimeOf(size_t index, std::time_t& t) const;
    // The items held since the last call, each with why ("" where a line of
    // the Message Window said it).
    std::vector<std::pair<size_t, std::string>> TakeHeld();

private:
    struct Look {
        // Changed: the local file changed while it was compared; NotGiven:
        // the server refused the file outright (550); LineEnds: the local
        // file holds the server's bytes, which the fetch of a text writes
        // with other line ends.
        enum Result { NotLooked, Same, Differs, Unknown, Changed, NotGiven, LineEnds } result = NotLooked;
        std::string why;  // Unknown, NotGiven: why it could not be compared
        CFileStamp stamp;
        bool ownKnown = false;  // ownTime: the server's time right after the compare
        std::time_t ownTime = 0;
    };
    void CheckAccount(const std::string& host, const std::string& user) override;
    void LookAt(const std::vector<size_t>& indices, std::string host, std::string user);
    void Hold(const std::vector<size_t>& differing, const std::vector<size_t>& uncompared,
              const std::vector<size_t>& lineEnds);
    void HoldAs(size_t k, const std::string& reason);

    const std::vector<CFileStamp>* m_seen = nullptr;
    std::vector<Look> m_looks;
    std::vector<std::pair<size_t, std::string>> m_newlyHeld;
};
