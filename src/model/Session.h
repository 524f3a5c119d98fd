// One working context: connection defaults, its work file and its baskets.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/FileBasket.h"

struct CReadProblems;

// Text written on one line of a data file: its commas, line breaks, marker
// colons and "[<]" coded (EncodeText), read back whole by GetTextValue.
std::string StoredText(const std::string& value);

class CSession {
public:
    CSession();

    std::string SessionName = "My Session";
    std::string Host;
    std::string User;
    std::string LocalDir;
    std::string RemoteDir;
    std::string BoxFileName = "ttt-ttt";
    bool IsLoaded = false;
    int BasketInd = 0;
    int SessionBox = 0;
    std::vector<CFileBasket> m_Baskets;

    int GetImageIndex() const { return IsLoaded ? 3 : 2; }

    // Lines 1 to 3 of a work file or a master-file session block.
    void WriteHeader(std::ostream& out, int number, int project, bool plainName);
    // The "File-Basket info: " block.
    void WriteBaskets(std::ostream& out);
    // The whole work file as text.
    std::string FormatWorkFile(int number, int project);
    // Writes folder + BoxFileName (atomically): 1 on success, 0 on failure
    // with a message and the reason in the log.
    int Write(const std::string& folder, int number, int project);
    // The same to a path, without a message: false with the reason.
    bool WriteTo(const std::string& path, int number, int project, std::string& error);

    void ReadHeader(const std::string& line);
    // The basket lines up to the block's closing line; the number of lines
    // it could not read (a missing closing line counts one).
    // With `problems`, a basket line whose keys are not the writer's counts
    // too and what is wrong is added there.
    size_t ReadBaskets(std::istream& in, CReadProblems* problems = nullptr);
    // Reads folder + BoxFileName: 1 when read (the session is then loaded),
    // 0 when it cannot be opened (the session is left as it was). A work
    // file of the session folder that was not read whole is kept under a
    // backup name first.
    int Read(const std::string& folder);
    // The header and body of a work file's bytes (Read without the file):
    // the number of lines it could not read; readError when the stream failed.
    size_t ReadBytes(std::string bytes, const std::string& path, bool& readError);
    // The items and baskets of a work file from a stream positioned after
    // its three header lines; marks the session loaded. Returns the number
    // of lines it could not read.
    // expectedItems: room made for that many items at once (the lines of
    // the file, when known).
    size_t ReadBody(std::istream& in, const std::string& batKey, const std::string& source,
                    size_t expectedItems = 0);
    // One session block of the older master-file layout.
    void ReadLegacy(std::istream& in);

    void AddItemToBasket(const CFileItem& item, int basket);

    std::string MakeBoxFileName(int project, int session, const std::vector<std::string>& inUse) const;
    void SetBoxFileName(int project, int session, std::vector<std::string>& inUse);
    // The same with the names in use in a set (many sessions named at once).
    void SetBoxFileNameAmong(int project, int session, std::unordered_set<std::string>& inUse);

private:
    template <class Taken>
    std::string MakeBoxFileNameIf(int project, int session, Taken taken) const;
};

// Starts reading, on a worker thread, the work file of the session the
// master file at masterPath names current, from folder. CSession::Read of
// that file takes the worker's items when the file read cleanly and has not
// changed since; otherwise it reads the file itself as always. The worker
// writes no trace lines and changes nothing of the program's data.
void PrefetchCurrentWorkFile(const std::string& masterPath, const std::string& folder);
// Waits for a worker that Read did not take, and drops its items.
void DropWorkFilePrefetch();

// What is wrong with the keys of a session's header line ("" when nothing).
std::string CheckHeaderKeys(const std::string& line);

// The longest work-file name the program makes, in bytes: well inside the
// name limit of every file system (255 bytes, 143 on an encrypted home),
// whatever the session's name.
constexpr size_t kMostBoxFileName = 128;

// True when a work-file name read from a file may be used: no folder parts,
// and no longer than a file system takes.
bool IsSafeBoxFileName(const std::string& name);
