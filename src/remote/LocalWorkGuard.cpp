#include "remote/LocalWorkGuard.h"

#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <unordered_map>

#include "model/Globals.h"
#include "model/ListingLine.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpClient.h"
#include "remote/FtpConnections.h"
#include "remote/ServerChanges.h"
#include "remote/TransferChecks.h"

namespace {

// The size of each plain file a UNIX folder listing shows, by name.
std::unordered_map<std::string, long long> PlainFileSizes(const std::string& listing) {
    std::unordered_map<std::string, long long> sizes;
    for (size_t start = 0; start < listing.size();) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        std::string line = listing.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] != '-') continue;  // links, folders and the like tell nothing
        const CListingLine read = ReadUnixListingLine(line);
        if (!read.name.empty() && read.size >= 0) sizes[read.name] = read.size;
    }
    return sizes;
}

// The type the fetch takes for the item: binary where the item is, or where
// the local file holds NUL bytes in its head (the fetch marks it so).
bool FetchedAsBinary(const CFileItem& item) {
    return item.IsBinaryFile || HasNulByteInHead(item.LocalDir + item.FileName);
}

// Sets the connection's transfer type for as long as the object lives.
class TypeFor {
public:
    explicit TypeFor(CFtpClient& c) : m_client(c), m_wasBinary(c.GetTransferType() == "BINARY") {}
    ~TypeFor() {
        try {
            if (m_client.IsConnected() && (m_client.GetTransferType() == "BINARY") != m_wasBinary)
                Set(m_wasBinary);
        } catch (...) {
        }
    }
    void Set(bool binary) {
        if (binary)
            m_client.SetBinaryMode();
        else
            m_client.SetAsciiMode();
    }

private:
    CFtpClient& m_client;
    bool m_wasBinary;
};

// Whether the fetch would write other bytes than the local file holds: the
// file is received in the type the fetch takes and compared. (A text the
// fetch takes again in BINARY for the NUL bytes in its head differs from a
// local file without them either way.)
bool FetchWritesOtherBytes(CFtpClient& c, const CFileItem& item) {
    TypeFor type(c);
    type.Set(FetchedAsBinary(item));
    return !c.RetrievesSameBytes(item.RemoteDir + item.FileName, item.LocalDir + item.FileName);
}

}  // namespace

bool HasNoTransferOnRecord(const CFileItem& item) {
    if (item.IsFTPed == "Yes") return false;
    // A run that failed keeps the times an earlier transfer recorded.
    return item.IsFTPed != "failed" || !IsRealRemoteTime(item.RemoteModTime);
}

void CLocalWorkGuard::CheckAccount(const std::string& host, const std::string& user) {
    std::vector<size_t> indices;
    for (size_t k = 0; k < m_items.size(); ++k) {
        const CFileItem& it = m_items[k];
        if (m_skipped[k] || it.RemHost != host || it.RemUser != user) continue;
        if (it.RemoteDir.empty() || it.LocalDir.empty() || !HasNoTransferOnRecord(it)) continue;
        // A local change since the last transfer was asked about before the run.
        if (it.GetLocalStatus() == "LocalModified") continue;
        struct stat st {};
        if (::stat((it.LocalDir + it.FileName).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        indices.push_back(k);
    }
    if (indices.empty()) return;
    const std::vector<size_t> differing = FindDiffering(indices, host, user);
    if (!differing.empty()) HoldDiffering(differing);
}

// Each UNIX folder is listed once for the sizes of its binary files; the
// rest, and a binary file of the size the listing shows, are received and
// compared. An item that cannot be looked at (the server does not give its
// file, the local file cannot be replaced) is left to the fetch, which
// finds out for itself.
std::vector<size_t> CLocalWorkGuard::FindDiffering(const std::vector<size_t>& indices, std::string host,
                                                   std::string user) {
    std::map<std::string, std::vector<size_t>> folders;
    for (size_t k : indices) folders[m_items[k].RemoteDir].push_back(k);
    std::vector<size_t> differing;
    for (const auto& [dir, items] : folders) {
        std::unordered_map<std::string, long long> sizes;
        bool listed = false;
        for (size_t k : items) {
            if (g_bFtpBreak) return {};  // the run ends before its next fetch
            const CFileItem& item = m_items[k];
            bool differs = false;
            try {
                RunWithReconnect(m_data, host, user, true, [&](CFtpClient& c) {
                    const bool binary = FetchedAsBinary(item);
                    if (binary && item.GetHostKind() == "UNIX" && !listed) {
                        try {
                            sizes = PlainFileSizes(c.ListFolderToText(dir));
                        } catch (const CFtpClient::FTPException& e) {
                            if (e.ConnectionLost()) throw;
                        }
                        listed = true;
                    }
                    const auto size = sizes.find(item.FileName);
                    if (binary && size != sizes.end()) {
                        struct stat st {};
                        if (::stat((item.LocalDir + item.FileName).c_str(), &st) == 0 &&
                            static_cast<long long>(st.st_size) != size->second) {
                            differs = true;
                            return;
                        }
                    }
                    differs = FetchWritesOtherBytes(c, item);
                });
            } catch (const CFtpClient::FTPException&) {
                differs = false;
            }
            if (differs) differing.push_back(k);
        }
    }
    std::sort(differing.begin(), differing.end());
    return differing;
}

// One question names them all; No (the default) leaves them. A run nobody
// attends leaves them and says so.
void CLocalWorkGuard::HoldDiffering(const std::vector<size_t>& differing) {
    std::vector<CFileItem> named;
    for (size_t k : differing) named.push_back(m_items[k]);
    const bool unattended = IsUnattendedRun();
    if (!unattended && Prompter().AskDefaultNo(UnknownLocalWorkQuestion(named), MsgIcon::Question) == Answer::Yes)
        return;
    for (size_t k : differing) m_held[k] = true;
    if (unattended)
        for (const CFileItem& item : named) WriteTraceString(UnknownLocalWorkHeldLine(item));
}
