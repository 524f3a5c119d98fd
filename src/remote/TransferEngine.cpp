// The transfer engine. A run (CTransferRun, after the helpers its steps
// share) works through the transfer list one item after the other, in these
// steps: refuse the items that write one file from different sources;
// connect to the item's account (and adopt the account's new name when the
// login renamed it); before an account's first send, refuse its items that
// write one server file through a link its folders' listings show (and
// those of the folders the links lead into); switch
// the transfer type; plan the send (straight, or through a temporary name
// where the folder's listing and its empty probe show that safe);
// send or fetch; record the result; update a folder's times from one
// listing once its last item went (the listing also confirms what each send
// left there); update at a stop, for the items that arrived whole; report
// the items that did not go.
#include "remote/TransferEngine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "model/ProgramOptionsRules.h"
#include "model/Globals.h"
#include "model/ListingLine.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "platform/Spawn.h"
#include "remote/FtpConnections.h"
#include "remote/LeftOnServer.h"
#include "remote/FtpWorker.h"
#include "remote/LocalWorkGuard.h"
#include "remote/RemoteStatus.h"
#include "remote/SendTargets.h"
#include "remote/ServerChanges.h"
#include "remote/TransferChecks.h"
#include "remote/TransferReport.h"

namespace {

thread_local LocalFileStamps* t_fetchDecided = nullptr;

bool Gather(CProgramData& data, int project, int session, int basket, const std::vector<int>& items) {
    if (!data.IsValidSession(false, project, session)) return false;
    FtpResultsLock lists;
    // The results belong to the basket the items came from, whatever is
    // current meanwhile.
    lists->project = project;
    lists->session = session;
    lists->basket = basket;
    for (int f : items)
        if (data.IsValidFileItem(false, project, session, basket, f))
            lists->transfer.push_back(data.GetFileItem(project, session, basket, f));
    // Where the account tells its host type, a folder holding "[" is no
    // sign of a VMS host.
    data.SetKnownHostTypes(lists->transfer);
    return true;
}

bool StartTransfer(CProgramData& data, bool toRemote, int project, int session, int basket,
                   const std::vector<int>& items) {
    if (!ClaimFtpSlot("One FTP session is already on...")) return false;
    auto snapshot = std::make_shared<CProgramData>(data);
    StartFtpWorker([snapshot, toRemote, project, session, basket, items] {
        if (toRemote)
            TransferToRemote(*snapshot, project, session, basket, items);
        else
            TransferToLocal(*snapshot, project, session, basket, items);
    });
    return true;
}

// Whether the server has the folder; true when that cannot be found out.
bool RemoteFolderExists(CProgramData& data, std::string host, std::string user, const std::string& folder) {
    bool exists = true;
    try {
        RunWithReconnect(data, host, user, true, [&](CFtpClient& c) { exists = c.FolderExists(folder); });
    } catch (const CFtpClient::FTPException&) {
    }
    return exists;
}

constexpr size_t kMaxRemoteNameBytes = 255;

// A file whose time only its listing line tells has that line read within
// this of its transfer; a transfer that took kTransferMayOutlast or more
// is one the next may be like.
constexpr std::chrono::milliseconds kListLinesWithin{1000};
constexpr std::chrono::milliseconds kTransferMayOutlast{250};

// Whether the local file goes in one data block: a stop cannot cut it, so
// it goes straight, without the temporary name's extra commands.
bool FitsOneBlock(const std::string& localPath) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(localPath, ec);
    return !ec && size <= CFtpClient::kBlockSize;
}

// Whether the server has a file of that name, as the commands that name
// one file exactly tell it (where a listing may read the name as a pattern
// or leave it out): MDTM, then SIZE. 1 yes, 0 no, -1 when they do not tell.
// A 550 says "no" only from a command that answered 213 on this login (a
// server that denies the command answers 550 to every name), and from SIZE
// only in BINARY (pyftpdlib answers SIZE in ASCII with a 550). knownFile,
// where given, is a file the folder's listing shows: asked once a login, it
// finds out whether the command answers at all.
int RemoteFileExists(CFtpClient& c, const std::string& path, const std::string& knownFile = std::string()) {
    for (const std::string command : {"MDTM", "SIZE"}) {
        std::string reply;
        const int code = c.SendCommand(command, path, reply);
        if (code == 213) return 1;
        if (code != 550 || (command == "SIZE" && c.GetTransferType() != "BINARY")) continue;
        if (!c.AnsweredForAFile(command) && !knownFile.empty() && c.FirstAskOfKnownFile(command))
            c.SendCommand(command, knownFile, reply);
        if (c.AnsweredForAFile(command)) return 0;
    }
    return -1;
}

// A sent file its folder's listing leaves out (a dot file, a name the
// one-name listing reads as a pattern): shown where the server has it under
// its own name; true, with what the commands that name it exactly tell of
// it in exact, where they tell its time. That time stays MDTM's (UTC), and
// the checks that look at the file later compare it with MDTM's alone.
// Only a server that tells it has no such file shows it not there: one that
// tells nothing of the name (it hides it and refuses MDTM and SIZE) leaves
// the file sent, its time not known.
bool ReadUnshownSentFile(CFtpClient& c, const CFileItem& item, bool& shown, CFileItem& exact,
                         const std::string& knownFile = std::string()) {
    shown = RemoteFileExists(c, item.RemoteDir + item.FileName, knownFile) != 0;
    if (!shown) return false;
    exact = item;
    int timeCode = 0, sizeCode = 0;
    return ReadExactRemoteState(c, exact, 0, timeCode, sizeCode);
}

// The item records the exact state read for a file no listing shows, so
// that a later change on the server shows against it: a time of MDTM's.
void TakeExactState(CFileItem& item, const CFileItem& exact) {
    item.RemoteModTime = exact.RemoteModTime;
    item.RemoteSecondKnown = exact.RemoteSecondKnown;
    item.RemoteTimeUnit = exact.RemoteTimeUnit;
    item.RemoteTimeListed = false;
    item.RemoteSize = exact.RemoteSize;
    item.IsRemoteMissing = "No";
}

// A time a listing gave without the second (the server tells none) is as
// fine as the line shows it, and is compared so from then on.
void KeepListedUnit(CFileItem& item, const std::string& lines) {
    if (item.RemoteSecondKnown || item.GetHostKind() != "UNIX" || !IsRealRemoteTime(item.RemoteModTime)) return;
    item.RemoteTimeUnit = ListedTimeUnit(item, lines);
}

// A listing a step reads; "" where the server refuses it (say, a data
// connection it cannot open) and the connection stays in step, so that
// the commands that name a file exactly tell instead.
std::string UnlessRefused(const std::function<std::string()>& list) {
    try {
        return list();
    } catch (const CFtpClient::FTPException& e) {
        if (e.ConnectionLost()) throw;
    }
    return std::string();
}

// How one send that may go through a temporary name goes.
struct SendPlan {
    bool viaTemporary = false;
    std::string tempPath;
    int mode = -1;  // the bits for the temporary before its data; -1: the server's own
};

// From now on every send to the item's host goes straight, as the server
// refused something only the temporary name needs; said once a host, with
// the empty file it would not delete (left: its path), if any.
void SendStraightFrom(CSendTargets& targets, const CFileItem& item, const std::string& why,
                      const std::string& left = std::string()) {
    if (targets.SetStraight(item))
        WriteTraceString("-?- " + ShortHostName(item.RemHost) + " " + why +
                         ": files are sent straight over the remote files, so a stopped send leaves the remote "
                         "file cut." +
                         (left.empty() ? std::string() : " The empty file " + left + " could not be removed."));
}

// After a send through a temporary name went straight (whether that send
// then went or not): what was refused decides for the later sends.
void AfterStraightSend(CSendTargets& targets, const CFileItem& item, const CFtpClient& c) {
    const std::string& refused = c.RefusedCommand();
    if (refused == "STOR")
        targets.Folder(item).SetStraight();  // the folder takes no new file
    else if (refused == "RNFR" || refused == "RNTO")
        SendStraightFrom(targets, item, "refuses to rename files");
    else if (!refused.empty())
        SendStraightFrom(targets, item, "refuses " + refused);
}

// Reads the folder's listing with the names starting with a dot (its text
// to listing when given); false, and every send to the host straight,
// where the server refuses it.
bool ListSendFolder(CFtpClient& c, CSendTargets& targets, const CFileItem& item, std::string* listing = nullptr) {
    std::string text;
    try {
        text = c.ListFolderToText(item.RemoteDir, "-a");
    } catch (const CFtpClient::FTPException& e) {
        if (e.ConnectionLost()) throw;
        SendStraightFrom(targets, item, "refuses \"LIST -a\"");
        return false;
    }
    CFolderTargets& folder = targets.Folder(item);
    folder.Read(text);
    if (folder.ShowsOwners()) targets.SetShowsOwners(item);
    if (listing) *listing = std::move(text);
    return true;
}

// Whether the server has no file of that very name: only its answer to a
// command that names the file exactly tells that (see RemoteFileExists).
// False where it has one or does not tell.
bool RemoteNameFree(CFtpClient& c, const std::string& path, const std::string& knownFile, bool& told) {
    const int there = RemoteFileExists(c, path, knownFile);
    told = there >= 0;
    return there == 0;
}

// Whether the server has the file, empty, as SIZE tells it in BINARY.
bool RemoteFileEmpty(CFtpClient& c, const std::string& path) {
    if (c.GetTransferType() != "BINARY") return false;
    std::string reply;
    if (c.SendCommand("SIZE", path, reply) != 213) return false;
    const size_t at = reply.find_first_not_of(' ');
    return at != std::string::npos && reply.compare(at, std::string::npos, "0") == 0;
}

// A name beside the item's file that no file has, not even one of the
// user's or one this run sends; "" when none is found. A name the listing
// leaves out may still be a file (hidden by the server, past its cap, or
// made since the listing was read): a name is taken only once the server
// has answered that it has no file of that name.
std::string FreeTemporary(CFtpClient& c, CFolderTargets& folder, const CFileItem& item,
                          const std::string& fileName) {
    // The item's target, where the listing shows it as a file: the server
    // has it, so a command that names one file answers it with 213 where
    // it answers at all.
    const CListingFields* target = folder.Find(item.FileName);
    const std::string known = target && target->type == '-' ? item.RemoteDir + item.FileName : std::string();
    for (;;) {
        const std::string temp = folder.FreeTemporaryName(fileName, kMaxRemoteNameBytes);
        if (temp.empty()) return temp;
        bool told = false;
        if (RemoteNameFree(c, item.RemoteDir + temp, known, told)) return temp;
        folder.Take(temp);
        if (!told) return std::string();
    }
}

std::string FreeTemporary(CFtpClient& c, CFolderTargets& folder, const CFileItem& item) {
    return FreeTemporary(c, folder, item, item.FileName);
}

// The folder's empty probe, made before any file's text goes to a
// temporary there: under the name of a probe an earlier run left, else a
// free name of the probe's own. Listed, it shows whom a new file
// of the login user's belongs to; renamed to another free name and deleted
// from there, it shows that a temporary can be renamed over its target and
// taken away after a stop. A host that does either not (vsftpd's
// cmds_denied, an anonymous upload area, pure-ftpd's -K) would keep hidden
// copies of the user's files: every send to it goes straight, and the
// probe it would not delete is named.
void ProbeFolder(CFtpClient& c, CSendTargets& targets, CFolderTargets& folder, const CFileItem& item) {
    std::string probe = folder.LeftProbeName();
    // The listing may be older than the folder's first large send: a left
    // probe is made again only while the server still tells it empty.
    if (!probe.empty() && !RemoteFileEmpty(c, item.RemoteDir + probe)) probe.clear();
    if (probe.empty()) probe = FreeTemporary(c, folder, item, CFolderTargets::kProbeName);
    const std::string path = item.RemoteDir + probe;
    CFolderTargets made;
    if (probe.empty() || !c.MakeEmptyFile(path)) {
        folder.SetOwnerFrom(nullptr);
        return;
    }
    try {
        made.Read(c.ListFolderToText(item.RemoteDir, "-a"));
    } catch (const CFtpClient::FTPException& e) {
        if (e.ConnectionLost()) throw;
        folder.SetOwnerFrom(nullptr);
        SendStraightFrom(targets, item, "refuses \"LIST -a\"", c.DropFile(path) ? "" : path);
        return;
    }
    folder.SetOwnerFrom(made.Find(probe));
    if (made.ShowsOwners() || folder.ShowsOwners()) targets.SetShowsOwners(item);
    folder.Take(probe);
    const std::string second = FreeTemporary(c, folder, item, CFolderTargets::kProbeName);
    std::string left = path, reply;
    bool renamed = false;
    if (!second.empty() && c.SendCommand("RNFR", path, reply) == 350 &&
        c.SendCommand("RNTO", item.RemoteDir + second, reply) == 250) {
        renamed = true;
        left = item.RemoteDir + second;
        folder.Take(second);
    }
    bool deleted = c.DropFile(left);
    // Not there to delete, yet there under its first name: the rename was
    // answered as done without being done.
    if (renamed && !deleted && c.DropFile(path)) {
        renamed = false;
        deleted = true;
    }
    // Without a second free name nothing is proven, and nothing refused.
    const bool refusedRename = !second.empty() && !renamed;
    if (renamed && deleted) {
        folder.SetRenameProven();
    } else if (refusedRename || !deleted) {
        c.SetTemporaryRefusal(!deleted && refusedRename ? "refuses to rename and to delete files"
                              : refusedRename           ? "refuses to rename files"
                                                        : "refuses to delete files");
        SendStraightFrom(targets, item, c.TemporaryRefusal(), deleted ? "" : left);
    }
}

// A send goes through a temporary name only where the folder's listing
// shows the target's own line as a plain file with one link that the login
// user owns and may write, and shows owners at all, and where the host
// renames and deletes the user's new files: then the file put in the
// target's place keeps all that a plain STOR keeps, and no temporary stays
// behind. A name the listing does not show (a new file, or one the server
// hides or leaves past its cap), a link, a folder, a read-only or someone
// else's file goes straight, as it always went; so does every send to a
// host that refused a command only the temporary name needs. The folder is
// listed and probed once, before the first send into it that may go
// through a temporary name.
SendPlan PlanSend(CFtpClient& c, CSendTargets& targets, const CFileItem& item) {
    SendPlan plan;
    if (targets.Straight(item)) return plan;
    if (!c.TemporaryRefusal().empty()) {
        SendStraightFrom(targets, item, c.TemporaryRefusal());
        return plan;
    }
    CFolderTargets& folder = targets.Folder(item);
    if (folder.Straight()) return plan;
    if (!folder.Listed() && !ListSendFolder(c, targets, item)) return plan;
    const CListingFields* target = folder.Find(item.FileName);
    if (!target || !IsReplaceableTarget(*target)) return plan;
    if (folder.FreeTemporaryName(item.FileName, kMaxRemoteNameBytes).empty()) return plan;
    if (!folder.OwnerTried()) ProbeFolder(c, targets, folder, item);
    if (targets.Straight(item)) return plan;
    // Where every line shows one owner and group, the listing cannot tell
    // the user's files from others' (vsftpd's hide_ids names them all
    // "ftp"): nothing proves the target the user's.
    const bool owners = targets.ShowsOwners(item);
    if (!owners && folder.OwnerKnown() && targets.Tell(item, "owners"))
        WriteTraceString("-?- " + ShortHostName(item.RemHost) +
                         " shows one owner for all its files: files are sent straight over the remote files, so "
                         "a stopped send leaves the remote file cut.");
    if (!owners || !folder.SameAsOwnFile(*target) || !folder.RenameProven()) return plan;
    // The temporary name is asked for only now that it is used.
    const std::string temp = FreeTemporary(c, folder, item);
    if (temp.empty()) return plan;
    plan.tempPath = item.RemoteDir + temp;
    // A new file gets the very bits the target has: nothing to carry over,
    // and the temporary needs neither an empty start nor CHMOD.
    plan.mode = target->mode != folder.NewFileMode() ? target->mode : -1;
    plan.viaTemporary = true;
    return plan;
}

void StoreItem(size_t i, const CFileItem& item) {
    FtpResultsLock lists;
    if (i < lists->transfer.size()) lists->transfer[i] = item;
}

}  // namespace

std::vector<size_t> FindSameTargetItems(const std::vector<CFileItem>& items, bool toRemote) {
    // What each item writes (the remote file when sending, the local file
    // when fetching) and what it writes it from, as files, not spellings.
    LocalFolderKeys folders;
    std::vector<std::string> written(items.size());
    std::map<std::string, std::set<std::string>> sources;
    for (size_t i = 0; i < items.size(); ++i) {
        const CFileItem& it = items[i];
        if (it.RemoteDir.empty() || it.LocalDir.empty()) continue;
        const std::string local = LocalTargetKey(it, &folders);
        const std::string remote = RemoteTargetKey(it);
        written[i] = toRemote ? remote : local;
        sources[written[i]].insert(toRemote ? local : remote);
    }
    std::vector<size_t> refused;
    for (size_t i = 0; i < items.size(); ++i) {
        const CFileItem& it = items[i];
        if (it.RemoteDir.empty() || it.LocalDir.empty()) continue;
        if (sources[written[i]].size() > 1) refused.push_back(i);
    }
    return refused;
}

std::string SameTargetRefusal(const CFileItem& item, bool toRemote, const std::string& why) {
    const std::string remote = item.RemHost + ":" + item.RemoteDir + item.FileName;
    const std::string local = item.LocalDir + item.FileName;
    return toRemote ? "-?- Not sent: " + local + " -> " + remote + " (" +
                          (why.empty() ? "other items of this run write the same remote file" : why) + ")"
                    : "-?- Not fetched: " + remote + " -> " + local +
                          " (other items of this run write the same local file)";
}

LocalFileStamps StampLocalFiles(const std::vector<CFileItem>& items) {
    LocalFileStamps stamps;
    for (const CFileItem& item : items)
        if (!item.LocalDir.empty()) {
            const std::string path = item.LocalDir + item.FileName;
            if (!stamps.count(path)) stamps.emplace(path, StampOfFile(path));
        }
    return stamps;
}

CFetchDecided::CFetchDecided(LocalFileStamps stamps) : m_stamps(std::move(stamps)), m_previous(t_fetchDecided) {
    t_fetchDecided = &m_stamps;
}

CFetchDecided::~CFetchDecided() { t_fetchDecided = m_previous; }

bool StartTransferToRemote(CProgramData& data, int project, int session, int basket,
                           const std::vector<int>& items) {
    return StartTransfer(data, true, project, session, basket, items);
}

bool StartTransferToLocal(CProgramData& data, int project, int session, int basket,
                          const std::vector<int>& items) {
    return StartTransfer(data, false, project, session, basket, items);
}

bool FetchOnDemand(CProgramData& data, int project, int session, int basket,
                   const std::vector<int>& items) {
    if (!ClaimFtpSlot("One FTP session is already on...")) return false;
    g_bOnDemandLogin = true;
    RunFtpWorkerHere([&] { TransferToLocal(data, project, session, basket, items); });
    return true;
}

bool TransferToRemote(CProgramData& data, int project, int session, int basket,
                      const std::vector<int>& items) {
    if (!Gather(data, project, session, basket, items)) return false;
    return TransferFiles(data, true);
}

bool TransferToLocal(CProgramData& data, int project, int session, int basket,
                     const std::vector<int>& items) {
    if (!Gather(data, project, session, basket, items)) return false;
    return TransferFiles(data, false);
}

void RenameTransferListAccount(const std::string& oldHost, const std::string& oldUser,
                               const std::string& newHost, const std::string& newUser) {
    FtpResultsLock lists;
    for (CFileItem& it : lists->transfer)
        if (it.RemHost == oldHost && it.RemUser == oldUser) {
            it.RemHost = newHost;
            it.RemUser = newUser;
        }
}

void RenameItemAccount(CProgramData& data, const std::string& oldHost, const std::string& oldUser,
                       const std::string& newHost, const std::string& newUser) {
    for (CProject& pr : data.m_ProjectList.m_Projects)
        for (CSession& se : pr.m_Sessions) {
            if (!se.IsLoaded) continue;
            for (CFileBasket& bk : se.m_Baskets)
                for (CFileItem& it : bk.m_Items)
                    if (it.RemHost == oldHost && it.RemUser == oldUser) {
                        it.RemHost = newHost;
                        it.RemUser = newUser;
                    }
        }
}

namespace {

// A remote folder of one account: host, user and folder.
using FolderKey = std::tuple<std::string, std::string, std::string>;

// A folder listing serves a UNIX host's items; a name starting with a dot
// is not in it (servers leave such names out unless asked), and a VMS
// listing is read as one entry: those items list the file itself.
bool ListsFolder(const CFileItem& it) {
    return it.GetHostKind() != "VMS" && !it.FileName.empty() && it.FileName[0] != '.';
}

// The lines of a listing by the name each gives, so that each item looks at
// its own lines only, not at the whole listing. The views point into the
// listing.
using ListingByName = std::unordered_map<std::string, std::vector<std::string_view>>;

ListingByName LinesByName(const std::string& listing) {
    ListingByName byName;
    for (std::size_t start = 0; start < listing.size();) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        std::string_view line(listing.data() + start, end - start);
        start = end + 1;
        std::string bare(line);
        if (!bare.empty() && bare.back() == '\r') bare.pop_back();
        byName[CFtpClient::UnixListingName(bare)].push_back(line);
    }
    return byName;
}

// The item's own lines of the listing (by its name or its whole path), in
// the listing's order, each line once, as the whole listing gives them.
std::string OwnListingText(const ListingByName& byName, const CFileItem& item) {
    std::vector<std::string_view> own;
    for (const std::string& name : {item.FileName, item.RemoteDir + item.FileName}) {
        auto found = byName.find(name);
        if (found != byName.end()) own.insert(own.end(), found->second.begin(), found->second.end());
    }
    using View = std::string_view;
    auto before = [](View a, View b) { return a.data() < b.data(); };
    auto same = [](View a, View b) { return a.data() == b.data(); };
    std::sort(own.begin(), own.end(), before);
    own.erase(std::unique(own.begin(), own.end(), same), own.end());
    std::string ownText;
    for (std::string_view l : own) ownText.append(l).append("\n");
    return ownText;
}

// The account a folder's listing is read on.
struct ListingAccount {
    std::string host, user;

    void Run(CProgramData& data, const std::function<void(CFtpClient&)>& step) {
        RunWithReconnect(data, host, user, true, step);
    }
};

// The items the transfer list holds for this run.
std::vector<CFileItem> TransferList() {
    FtpResultsLock lists;
    return lists->transfer;
}

// One run through the transfer list, sending or fetching its items one
// after the other. Each item goes through the steps in this order:
// RefuseSameTargets (once, for the whole list), Connect (AdoptRenamedAccount),
// RefuseLinkedTargets (once an account), SwitchType, PlanTheSend, SendOrFetch,
// RecordResult; then UpdateFolder
// gives the items of a folder their remote times, UpdateAtStop does so for a
// stopped run, and Report closes the run.
class CTransferRun {
public:
    CTransferRun(CProgramData& data, bool toRemote);
    // True when the run reached its end; the other ends go through
    // EndFtpWorker.
    bool Run();

private:
    // With FTPUpdate each transferred item takes its remote time from its
    // line of a listing. One listing of the remote folder, taken after the
    // folder's last item of the run, gives every item of it the same line
    // as a listing of the file itself would, at the cost of one listing
    // instead of one per item (a server reads the whole folder for either).
    // Items wait for it here: by folder, the transferred items and the
    // index of the folder's last item.
    // What a send put on the server, for the listing after it to confirm:
    // the bytes of a binary file and the bits carried over from the old
    // file; -1 where it is not known.
    struct SentCopy {
        long long size = -1;
        int mode = -1;
    };
    // ownTime: the server's time of the file read right after its own
    // transfer (MDTM, on MDTM's clock), where ownKnown.
    struct Waiting {
        int index = 0;
        CFileItem item;
        SentCopy sent;
        bool ownKnown = false;
        std::time_t ownTime = 0;
    };
    struct FolderUpdate {
        int last = -1;
        std::vector<Waiting> waiting;
    };
    // The item being transferred and what is found on its way.
    struct Step {
        int index = 0;
        CFileItem item;
        std::string host, user;  // the account as the login left it
        std::string hostKey;
        std::string remotePath, localPath;
        std::string line;  // the item's progress line
        bool vms = false;
        bool straight = false;  // a send that goes straight over the remote file
        SendPlan plan;
        SentCopy sent;
        bool switched = false;   // the type commands ran on this connection
        bool announced = false;  // the progress line is written
        bool alreadyThere = false;  // a fetch whose local file holds the server's bytes
        // The server's time of the file right after its transfer (MDTM):
        // known, or refused (the server tells none; its listing line is read
        // at once instead).
        bool ownKnown = false, ownRefused = false;
        std::time_t ownTime = 0;
    };

    int Count() const { return static_cast<int>(m_items.size()); }
    void RefuseSameTargets();
    bool RefuseLinkedTargets(const Step& s);
    void FollowLinksAway(const std::vector<CFileItem>& run, std::string& host, std::string& user);
    void AskUnlistedNames(const std::vector<CFileItem>& run, std::string& host, std::string& user);
    void ReadBackItem(int i);
    void TransferItem(int i);
    bool SkippedBeforeLogin(const Step& s);
    void ReadWhatOthersOwe(const Step& s);
    bool Connect(Step& s);
    bool HoldsServerChange(const Step& s);
    bool HeldByLookAgain(const Step& s);
    [[noreturn]] void StopBeforeItem();
    [[noreturn]] void StoppedInItem(const CFtpClient::FTPException& e, const Step& s);
    bool HoldsLocalWork(const Step& s);
    void KeepFetchedStamp(const Step& s);
    void LeaveChangedFile(const Step& s, const std::string& why);
    void AdoptRenamedAccount(Step& s);
    void RenameAccount(std::string oldHost, std::string oldUser, std::string host, std::string user);
    void PrepareItem(Step& s);
    void SwitchType(CFtpClient& c, Step& s, bool carry = false);
    [[noreturn]] void TypeRefusedEnds(CFtpClient& c, Step& s, const CFtpClient::FTPException& e);
    void PlanTheSend(CFtpClient& c, Step& s);
    void SendOrFetch(CFtpClient& c, Step& s);
    void Fetch(CFtpClient& c, Step& s);
    void Send(CFtpClient& c, Step& s);
    void ReadOwnTime(CFtpClient& c, Step& s);
    bool OwnTimeByMdtm(const Step& s) const;
    void ReadPendingOwnTimes(CFtpClient& c);
    void CollectOwnTimes(CFtpClient& c, bool now = false);
    bool OwnTimesOverdue() const;
    void ReadPendingOwnTimesOf(const std::string& host, const std::string& user, ListingAccount* on = nullptr);
    void FillOwnTimes(std::vector<Waiting>& waiting);
    void WaitForListing(const Step& s, const CFileItem& item);
    bool ListBeforeTransfer(const Step& s) const;
    void ListTheFilesThatWent(CFtpClient* on = nullptr);
    void KeepListedSizes(const FolderKey& folder, const ListingByName& byName);
    void RecordResult(Step& s);
    void ReportFailure(const CFtpClient::FTPException& e, const Step& s);
    bool UpdateFolder(FolderUpdate& folder);
    std::vector<int> AskSeconds(ListingAccount& on, const std::vector<Waiting>& waiting);
    std::time_t ListingClock(ListingAccount& on, const ListingByName& byName, const std::vector<Waiting>& waiting);
    bool KeepsOwnTime(const ListingByName& byName, Waiting& entry, std::time_t offset, const int* second);
    bool ListedWithOtherSize(const ListingByName& byName, const Waiting& entry) const;
    void RecordOwnTime(Waiting& entry, std::time_t offset, bool listed);
    void UpdateWaitingItem(ListingAccount& on, const ListingByName& byName, Waiting& entry, const int* second);
    bool ConfirmSentCopy(CFileItem& item, const std::string& lines, const SentCopy& sent);
    void NotSentUnderItsName(CFileItem& item);
    void ReadUnlisted(CFtpClient& c, const CFileItem& item, bool& shown, bool& exactKnown, CFileItem& exact);
    void MarkCutOnServer(const Step& s);
    void ClearLeftTemporaries(const Step& s);
    int RemoteSecondOf(ListingAccount& on, CFileItem& item);
    void UpdateAtStop(const CHost* cut = nullptr);
    void KeepOwnTimes(std::vector<Waiting>& waiting);
    void NameUntimed(const std::vector<Waiting>& waiting);
    size_t PlaceOf(const CFileItem& item) const;
    // reasonShown: a line of the Message Window says why; otherwise the item
    // lacks a folder.
    void NoteFailure(const CFileItem& item, bool reasonShown = true);
    void NoteFailureBecause(const CFileItem& item, const std::string& reason, bool noFolder = false);
    bool Report();
    std::string ItemLine(const Step& s) const;

    CProgramData& m_data;
    const bool m_bToRemote;
    std::vector<CFileItem> m_items;
    std::vector<bool> m_refused;  // items that write one file from different sources
    size_t m_nNameWidth = 0;      // the longest name's columns, for the progress lines
    std::vector<size_t> m_entries;  // each item's entry in the closing list of the run
    int m_nCurrent = -1;            // the item in hand
    bool m_bAnyFailure = false;     // an item of this basket did not go
    std::vector<CHost> m_failedHosts;  // accounts whose login failed: their items are skipped
    // The local folder made (or found) for the item before: a basket's items
    // mostly share one, which need not be made again for each.
    std::string m_strMadeLocalDir;
    std::set<std::string> m_missingDirs;    // remote folders looked at after a failed send
    std::set<std::string> m_linksRead;      // accounts whose folders were listed for their links
    std::set<std::string> m_straightHosts;  // hosts told that sends go straight over their files
    std::set<std::string> m_leftCleared;    // accounts whose left temporaries were looked after
    // The remote folders listed before the first send into them that goes
    // through a temporary name, and the hosts whose sends go straight.
    CSendTargets m_targets;
    std::map<FolderKey, FolderUpdate> m_folders;  // the items waiting for their folder's listing
    // By account: how far its listings' clock stands from MDTM's, where a
    // listing after a transfer told it.
    std::map<std::string, std::time_t> m_listingClocks;
    // The server times of files sent in one data block are asked for
    // together, on the connection that sent them, at most a second after
    // the first of them went, and before anything else goes there: the
    // files waiting for it (index, remote path, when it went), their
    // account, the accounts whose MDTM told a time in this run, and the
    // times read, by item.
    struct PendingOwn {
        int index = 0;
        std::string path;
        std::chrono::steady_clock::time_point went;
    };
    std::vector<PendingOwn> m_pendingOwn;
    std::string m_pendingHost, m_pendingUser;
    std::set<std::string> m_mdtmTells;
    std::map<int, std::time_t> m_ownTimes;
    // Where the server refuses MDTM, a file's time is its line of its
    // folder's listing, read within about a second of its transfer: the
    // files of one account that went since the first of them did
    // (m_listedSince) wait here, and one listing of each of their folders
    // serves them all (vsftpd reads the whole folder for a listing of one
    // name too, and every listing takes a data connection). They are listed
    // a second after the first went, before anything goes that may outlast
    // the rest of that second (a file of more than one data block, a fetch
    // of a size no listing told, any file after a slow one), and before
    // another account's item.
    std::vector<Waiting> m_listedLater;
    std::string m_listedHost, m_listedUser;
    std::chrono::steady_clock::time_point m_listedSince;
    std::chrono::steady_clock::duration m_lastTransfer{};  // how long the last data copy took
    // The sizes of the files the last listing of a folder showed, by name.
    std::map<FolderKey, std::unordered_map<std::string, long long>> m_listedSizes;
    std::vector<FolderKey> m_folderOf;            // each item's folder
    // A send first looks whether the server's copies changed since their
    // last transfer, and leaves them when the user says so.
    CServerChangeGuard m_serverChanges;
    // A fetch first compares the local files it would replace with the
    // server's copies where no transfer of theirs is on record.
    CLocalWorkGuard m_localWork;
    // Fetching: each item's local file as it was when the fetch was decided.
    std::vector<CFileStamp> m_seen;
};

CTransferRun::CTransferRun(CProgramData& data, bool toRemote)
    : m_data(data),
      m_bToRemote(toRemote),
      m_items(TransferList()),
      m_targets(m_items),
      m_serverChanges(data, m_items),
      m_localWork(data, m_items) {
    m_entries = ClaimTransferEntries(m_items);
    m_serverChanges.SetRenamed([this](const std::string& oldHost, const std::string& oldUser,
                                      const std::string& host, const std::string& user) {
        RenameAccount(oldHost, oldUser, host, user);
    });
    m_refused.assign(m_items.size(), false);
    for (const CFileItem& it : m_items) m_nNameWidth = std::max(m_nNameWidth, TextColumns(it.FileName));
    for (int i = 0; i < Count(); ++i) {
        const CFileItem& it = m_items[static_cast<size_t>(i)];
        m_folderOf.emplace_back(it.RemHost, it.RemUser, it.RemoteDir);
        m_folders[m_folderOf.back()].last = i;
    }
    if (!m_bToRemote) {
        for (const CFileItem& it : m_items) {
            const std::string path = it.LocalDir + it.FileName;
            const auto decided = t_fetchDecided ? t_fetchDecided->find(path) : LocalFileStamps::iterator();
            if (t_fetchDecided && decided != t_fetchDecided->end())
                m_seen.push_back(decided->second);
            else
                m_seen.push_back(it.LocalDir.empty() ? CFileStamp() : StampOfFile(path));
        }
        m_localWork.SetSeen(&m_seen);
    }
}

bool CTransferRun::Run() {
    RefuseSameTargets();
    for (size_t i = 0; i < m_refused.size(); ++i)
        if (m_refused[i]) {
            m_serverChanges.Skip(i);
            m_localWork.Skip(i);
        }
    for (int i = 0; i < Count(); ++i) {
        // The folder of the item before is listed once that was its last
        // item; all are when the run is being stopped, for the items it has
        // transferred.
        if (!g_bFtpBreak && i > 0) {
            FolderUpdate& previous = m_folders[m_folderOf[static_cast<size_t>(i - 1)]];
            if (previous.last == i - 1) UpdateFolder(previous);
        }
        // A stop ends the run before the next item: the items not reached
        // are named as such in the closing list.
        if (g_bFtpBreak) StopBeforeItem();
        m_nCurrent = i;
        ReadBackItem(i);
        if (m_refused[static_cast<size_t>(i)]) {
            NoteFailure(m_items[static_cast<size_t>(i)]);
            continue;
        }
        try {
            TransferItem(i);
        } catch (const CFtpClient::UserAbort& a) {
            // Only a send stopped on its way to a temporary name leaves the
            // connection in step for the stop's listing; after any other
            // cut transfer the server's word on it is still owed there.
            const CHost cut(a.Host(), a.User());
            UpdateAtStop(a.WasUpload() && a.RemoteKept() ? nullptr : &cut);
            throw;
        }
    }
    if (g_bFtpBreak) {
        UpdateAtStop();
    } else {
        ListTheFilesThatWent();
        for (auto& entry : m_folders) UpdateFolder(entry.second);
    }
    return Report();
}

// Items that would write one file from different sources go nowhere:
// whichever came last would silently replace the others.
void CTransferRun::RefuseSameTargets() {
    for (size_t i : FindSameTargetItems(m_items, m_bToRemote)) {
        m_refused[i] = true;
        CFileItem item = m_items[i];
        item.IsFTPed = "failed";
        StoreItem(i, item);
        WriteTraceString(SameTargetRefusal(item, m_bToRemote));
    }
}

// The item's folder listing for the links it shows: the one a send
// through a temporary name reads, or where the host refuses that, the plain
// one; "" where it lists nothing. keep: the listing serves the sends into
// the folder that follow at once; a folder sent into later is listed again
// before its first send, so that the listing its sends go by is fresh.
// listed: false where the server refused every listing of the folder.
std::string ListLinks(CFtpClient& c, CSendTargets& targets, const CFileItem& item, bool keep, bool& listed) {
    listed = true;
    std::string listing;
    if (keep && !targets.Straight(item) && !targets.Folder(item).Listed() &&
        ListSendFolder(c, targets, item, &listing))
        return listing;
    if (!keep && !targets.Straight(item)) {
        try {
            return c.ListFolderToText(item.RemoteDir, "-a");
        } catch (const CFtpClient::FTPException& e) {
            if (e.ConnectionLost()) throw;
            SendStraightFrom(targets, item, "refuses \"LIST -a\"");
        }
    }
    try {
        return c.ListFolderToText(item.RemoteDir);
    } catch (const CFtpClient::FTPException& e) {
        if (e.ConnectionLost()) throw;
    }
    listed = false;
    return std::string();
}

// An item of the account whose server file a folder listing shows: one
// with both folders, outside a VMS folder.
bool SentFromListedFolder(const CFileItem& it, const std::string& host, const std::string& user) {
    return it.RemHost == host && it.RemUser == user && it.GetHostKind() != "VMS" && !it.RemoteDir.empty() &&
           !it.LocalDir.empty();
}

// The listing of a folder a link leads into, for the links it shows;
// false where the server would not list it.
bool ListLinkFolder(CFtpClient& c, const std::string& folder, std::string& listing) {
    for (const char* options : {"-a", ""}) {
        try {
            listing = c.ListFolderToText(folder, options);
            return true;
        } catch (const CFtpClient::FTPException& e) {
            if (e.ConnectionLost()) throw;
        }
    }
    return false;
}

// A link may lead out of the run's folders, on through a link of that
// folder: the folders the items' links lead into are listed as well (a
// few steps, a bounded number of folders). Where a link leads to a name
// no listing shows, the server is asked whether it has that file: a
// hidden or unreadable name may be a further link.
void CTransferRun::FollowLinksAway(const std::vector<CFileItem>& run, std::string& host, std::string& user) {
    constexpr int kMaxFolders = 64;
    int listed = 0;
    for (int step = 0; step <= CSendTargets::kMaxLinkSteps; ++step) {
        const std::set<std::string> folders = m_targets.UnreadLinkFolders(run);
        if (folders.empty()) break;
        for (const std::string& folder : folders) {
            CFileItem at = run.front();
            at.RemoteDir = folder.empty() ? "./" : folder == "/" ? folder : folder + "/";
            at.FileName.clear();
            std::string listing;
            bool read = false;
            if (step < CSendTargets::kMaxLinkSteps && listed++ < kMaxFolders)
                RunWithReconnect(m_data, host, user, true,
                                 [&](CFtpClient& c) { read = ListLinkFolder(c, at.RemoteDir, listing); });
            if (read)
                m_targets.ReadLinks(at, listing);
            else
                m_targets.MarkNotListed(at);
        }
    }
    for (const std::string& path : m_targets.UnshownLinkEnds(run)) {
        int there = -1;
        RunWithReconnect(m_data, host, user, true, [&](CFtpClient& c) { there = RemoteFileExists(c, path); });
        if (there != 0) m_targets.MarkUnknownLinkEnd(run.front(), path);
    }
}

// The names of a run's items in folders the server would not list, asked
// by the commands that name one file exactly: a name the server has no
// file of is no link either. A 550 tells that only from a command that
// answers 213 for a file on this login, which any of the names may show:
// all are asked before any answer is read as "no file".
void CTransferRun::AskUnlistedNames(const std::vector<CFileItem>& run, std::string& host, std::string& user) {
    std::vector<const CFileItem*> unlisted;
    for (const CFileItem& it : run)
        if (m_targets.InUnlistedFolder(it)) unlisted.push_back(&it);
    // An item alone in its run writes no other item's file.
    if (unlisted.empty() || run.size() < 2) return;
    RunWithReconnect(m_data, host, user, true, [&](CFtpClient& c) {
        std::vector<int> codes;
        for (const CFileItem* it : unlisted) {
            std::string reply;
            codes.push_back(c.SendCommand("MDTM", it->RemoteDir + it->FileName, reply));
        }
        for (size_t k = 0; k < unlisted.size(); ++k) {
            const CFileItem& it = *unlisted[k];
            int there = codes[k] == 213 ? 1 : codes[k] == 550 && c.AnsweredForAFile("MDTM") ? 0 : -1;
            if (there < 0) {
                std::string reply;
                const int size = c.SendCommand("SIZE", it.RemoteDir + it.FileName, reply);
                there = size == 213                                                                ? 1
                        : size == 550 && c.GetTransferType() == "BINARY" && c.AnsweredForAFile("SIZE") ? 0
                                                                                                       : -1;
            }
            m_targets.SetNameState(it, there);
        }
    });
}

// Two names can be one server file: a link the folder's listing shows
// ("link.html -> index.html"). Before the first item of an account goes,
// the folders of its items are listed once for their links, and the items
// that write one file through a link are refused as those of one name
// are: within the run, and where an item of the loaded sessions sends the
// file the link leads to (its own run, before or after this one, writes
// it under its own name). True when the item in hand is one of them.
bool CTransferRun::RefuseLinkedTargets(const Step& s) {
    if (!m_bToRemote || g_bFtpBreak || !m_linksRead.insert(s.host + '\n' + s.user).second) return false;
    std::map<std::string, const CFileItem*> folders;  // one item of each folder
    std::vector<CFileItem> run;                       // the items of the run still to go
    std::vector<size_t> runIndex;
    std::set<std::tuple<std::string, std::string, std::string>> runFiles;
    for (size_t j = static_cast<size_t>(s.index); j < m_items.size(); ++j) {
        const CFileItem& it = m_items[j];
        if (m_refused[j] || !SentFromListedFolder(it, s.host, s.user)) continue;
        run.push_back(it);
        runIndex.push_back(j);
        runFiles.emplace(it.FileName, it.LocalDir, it.RemoteDir);
        folders.emplace(it.RemoteDir, &it);
    }
    // The account's other items of the loaded sessions: the same file in
    // another basket is no other item.
    std::vector<CFileItem> others;
    for (const CProject& pr : m_data.m_ProjectList.m_Projects)
        for (const CSession& se : pr.m_Sessions) {
            if (!se.IsLoaded) continue;
            for (const CFileBasket& bk : se.m_Baskets)
                for (const CFileItem& it : bk.m_Items)
                    if (SentFromListedFolder(it, s.host, s.user) &&
                        !runFiles.count({it.FileName, it.LocalDir, it.RemoteDir}))
                        others.push_back(it);
        }
    if (run.size() + others.size() < 2 || run.empty()) return false;
    std::string host = s.host, user = s.user;
    try {
        for (const auto& folder : folders) {
            const CFileItem& it = *folder.second;
            std::string listing;
            bool listed = true;
            const bool keep = it.RemoteDir == s.item.RemoteDir;
            RunWithReconnect(m_data, host, user, true,
                             [&](CFtpClient& c) { listing = ListLinks(c, m_targets, it, keep, listed); });
            if (listed)
                m_targets.ReadLinks(it, listing);
            else
                m_targets.MarkNotListed(it);
        }
        FollowLinksAway(run, host, user);
        AskUnlistedNames(run, host, user);
    } catch (const CFtpClient::FTPException& e) {
        // Stopped meanwhile: why, and the item in hand, are named.
        if (g_bFtpBreak) {
            WriteTraceString(std::string("-?- ") + e.what());
            NoteFailure(s.item);
            const CHost cut(host, user);
            UpdateAtStop(&cut);
            EndFtpWorker("aborted-(2)");
        }
        // The item in hand fails; the account's next item looks at the
        // links again before it goes.
        m_linksRead.erase(s.host + '\n' + s.user);
        throw;
    }
    for (const CSendTargets::LinkedTarget& linked : m_targets.FindLinkedTargetItems(run, others)) {
        const size_t j = runIndex[linked.index];
        m_refused[j] = true;
        CFileItem item = m_items[j];
        item.IsFTPed = "failed";
        StoreItem(j, item);
        WriteTraceString(SameTargetRefusal(item, true, linked.reason));
    }
    return m_refused[static_cast<size_t>(s.index)];
}

// The item as the transfer list holds it now; an emptied list ends the run.
void CTransferRun::ReadBackItem(int i) {
    FtpResultsLock lists;
    if (lists->transfer.empty()) EndFtpWorker("aborted-(-?-)");
    if (static_cast<size_t>(i) < lists->transfer.size())
        m_items[static_cast<size_t>(i)] = lists->transfer[static_cast<size_t>(i)];
}

// One item from its login to its result. It stays stored as "failed" until
// it went.
// An item without its folders, or of an account whose login failed in
// this run, fails without a login.
bool CTransferRun::SkippedBeforeLogin(const Step& s) {
    if (s.item.RemoteDir.empty() || s.item.LocalDir.empty()) {
        NoteFailure(s.item, false);
        return true;
    }
    if (ContainsHost(m_failedHosts, CHost(s.item.RemHost, s.item.RemUser)) ||
        m_serverChanges.LoginFailed(s.item.RemHost, s.item.RemUser)) {
        WriteTraceString(ShownHostName(s.item.RemHost) + " is not connected. " + s.item.FileName +
                         " is skipped.");
        NoteFailure(s.item);
        return true;
    }
    return false;
}

// Files of another account waiting for their times or listing lines are
// not kept waiting through this one's login; the listing lines are read
// within their bound whatever the account.
void CTransferRun::ReadWhatOthersOwe(const Step& s) {
    if (!m_pendingOwn.empty() && (m_pendingHost != s.item.RemHost || m_pendingUser != s.item.RemUser))
        ReadPendingOwnTimesOf(m_pendingHost, m_pendingUser);
    if (!m_listedLater.empty() &&
        (m_listedHost != s.item.RemHost || m_listedUser != s.item.RemUser ||
         std::chrono::steady_clock::now() - m_listedSince >= kListLinesWithin))
        ListTheFilesThatWent();
}

void CTransferRun::TransferItem(int i) {
    Step s;
    s.index = i;
    s.item = m_items[static_cast<size_t>(i)];
    s.item.IsFTPed = "failed";
    StoreItem(static_cast<size_t>(i), s.item);
    if (SkippedBeforeLogin(s)) return;
    ReadWhatOthersOwe(s);
    if (!Connect(s)) return;
    ClearLeftTemporaries(s);
    if (m_bToRemote && !g_bFtpBreak && HoldsServerChange(s)) return;
    if (!m_bToRemote && !g_bFtpBreak && HoldsLocalWork(s)) return;
    // Stopped during the login or the look: the item is not reached.
    if (g_bFtpBreak) StopBeforeItem();
    // A local file proved to hold the server's bytes is not received again.
    CFileStamp compared;
    s.alreadyThere = !m_bToRemote && m_localWork.ProvedSame(static_cast<size_t>(i), compared) &&
                     static_cast<size_t>(i) < m_seen.size() && compared == m_seen[static_cast<size_t>(i)];
    PrepareItem(s);
    // A straight send a close lets finish is recorded while the close
    // waits for it.
    struct StraightRecord {
        bool on = false;
        ~StraightRecord() {
            if (on) g_bFtpStraightRecord = false;
        }
    } straightRecord;
    try {
        if (RefuseLinkedTargets(s)) {
            NoteFailure(s.item);
            return;
        }
        RunWithReconnect(m_data, s.host, s.user, true, [&](CFtpClient& c) {
            // The times owed (each asked as its file ended) are read
            // before the next command of this file goes. Ones owed for
            // longer (a reconnect lost them, a look took its time) are
            // read at once.
            bool carry = false;
            if (!m_pendingOwn.empty() && m_pendingHost == s.host && m_pendingUser == s.user) {
                if (OwnTimesOverdue() || s.alreadyThere)
                    ReadPendingOwnTimes(c);
                else
                    carry = !(m_bToRemote && s.straight);
            }
            if (!m_listedLater.empty() && ListBeforeTransfer(s)) ListTheFilesThatWent(&c);
            if (!s.alreadyThere) SwitchType(c, s, carry);
            if (!s.alreadyThere && (!m_bToRemote || s.straight)) {
                // The type command of a fetch or a send of one data block
                // goes with the PASV of its data connection, opened before
                // its line; the replies of the times owed are read there.
                try {
                    c.OpenDataConnectionAhead();
                } catch (const CFtpClient::TypeRefused& e) {
                    TypeRefusedEnds(c, s, e);
                }
            }
            if (carry) CollectOwnTimes(c);
            PlanTheSend(c, s);
            if (g_bFtpBreak) StopBeforeItem();
            if (!s.announced) WriteTraceString(s.line);
            s.announced = true;
            if (m_bToRemote && (s.straight || !s.plan.viaTemporary)) {
                straightRecord.on = true;
                g_bFtpStraightRecord = true;
            }
            const auto copying = std::chrono::steady_clock::now();
            if (!m_bToRemote && !s.alreadyThere && OwnTimeByMdtm(s)) c.AskTimeAfterFetch(s.remotePath);
            SendOrFetch(c, s);
            if (!m_pendingOwn.empty() && m_pendingHost == s.host && m_pendingUser == s.user)
                CollectOwnTimes(c);
            if (!s.alreadyThere) m_lastTransfer = std::chrono::steady_clock::now() - copying;
            ReadOwnTime(c, s);
        });
        RecordResult(s);
        if (straightRecord.on && g_bFtpBreak) UpdateAtStop();
    } catch (const CFtpClient::UserAbort& a) {
        NoteFailureBecause(s.item, !a.WasUpload()    ? "stopped"
                                   : a.RemoteKept() ? "stopped; the file on the host was left as it was"
                                                    : "stopped; the file on the host may be incomplete");
        if (a.WasUpload() && !a.RemoteKept()) MarkCutOnServer(s);
        throw;
    } catch (const CFtpClient::LocalFileChanged& e) {
        LeaveChangedFile(s, e.what());
    } catch (const CFtpClient::FTPException& e) {
        if (g_bFtpBreak) StoppedInItem(e, s);
        ReportFailure(e, s);
    }
}

// A stop seen before the item's transfer began ends the run there: the
// files that went keep their times, and the item in hand and the rest are
// named as never reached.
void CTransferRun::StopBeforeItem() {
    UpdateAtStop();
    EndFtpWorker("aborted-(2)");
}

// A failure on the way of an item once a stop was raised is the stop's
// doing (it gave up the reply the item waited for, and with it the
// connection): the run ends there, as stopped, the item named with why.
void CTransferRun::StoppedInItem(const CFtpClient::FTPException& e, const Step& s) {
    if (!s.announced) WriteTraceString(s.line);
    WriteTraceString("-?- " + std::string(e.what()));
    // A file that went whole before stays one that went.
    if (s.item.IsFTPed != "Yes") NoteFailureBecause(s.item, "stopped");
    const CHost cut(s.host, s.user);
    UpdateAtStop(e.ConnectionLost() ? &cut : nullptr);
    EndFtpWorker("aborted-(2)");
}

// A send the stop cut leaves part of the file on the server. The item is
// marked not sent: its local file no longer counts as the one sent (the
// row shows it changed here, so F5 and auto-sync send it again), and what
// it recorded of the server's copy is gone, as that copy is its own cut
// one, no change made on the server to ask about.
void CTransferRun::MarkCutOnServer(const Step& s) {
    const size_t at = static_cast<size_t>(s.index);
    CFileItem item = m_items[at];
    item.IsFTPed = item.IsFTPed == "Yes" ? "Yes" : "No";
    item.IsBinaryFile = s.item.IsBinaryFile;
    item.LocalModTime = DefaultItemTime();
    item.LocalSeen = CFileItem::LocalFileSeen();
    item.RemoteModTime = DefaultItemTime();
    item.RemoteSecondKnown = false;
    item.RemoteSize = -1;
    item.RemoteTimeUnit = 0;
    item.RemoteTimeListed = false;
    item.IsRemoteModified = "No";
    item.IsRemoteMissing = "No";
    StoreItem(at, item);
    // Named as possibly incomplete at the next start too, until it is sent
    // whole (a close ends the program before anyone reads this run's lines).
    NoteCutRemoteFile(s.host, s.user, s.remotePath);
}

// The temporaries the program's own earlier sends to the account left
// (stopped where the server could no longer take them away: a close, a
// server that stopped answering) are removed once a run, before anything
// goes there. Only names the program made and did not see go are asked
// for (LeftOnServer.h); a file that merely looks like one stays.
void CTransferRun::ClearLeftTemporaries(const Step& s) {
    if (g_bFtpBreak || !m_leftCleared.insert(s.host + '\n' + s.user).second) return;
    const std::vector<std::string> left = LeftTemporaries(s.host, s.user);
    if (left.empty()) return;
    std::string host = s.host, user = s.user;
    try {
        RunWithReconnect(m_data, host, user, true, [&](CFtpClient& c) {
            for (const std::string& path : left) {
                std::string reply;
                const int code = c.SendCommand("DELE", path, reply);
                if (code == 250)
                    WriteTraceString("Removed " + path + " from " + ShortHostName(s.host) +
                                     ": a stopped send had left it there.");
                // Gone already (or never made): nothing to try again.
                if (code == 250 || code == 550) ForgetLeftTemporary(s.host, s.user, path);
            }
        });
    } catch (const CFtpClient::FTPException&) {
        // Tried again by a later run.
    }
}

// Logs in to the item's account. A failed login skips every later item of
// the account.
bool CTransferRun::Connect(Step& s) {
    s.host = s.item.RemHost;
    s.user = s.item.RemUser;
    if (!ConnectHost(m_data, s.host, s.user, true)) {
        // Which item the failed login stopped.
        WriteTraceString(ItemLine(s));
        WriteTraceString(LoginFailedLine());
        m_failedHosts.push_back(CHost(s.item.RemHost, s.item.RemUser));
        m_serverChanges.NoteLoginFailed(s.item.RemHost, s.item.RemUser);
        NoteFailure(s.item);
        return false;
    }
    if (s.host != s.item.RemHost || s.user != s.item.RemUser) AdoptRenamedAccount(s);
    return true;
}

// A target changed on the server since its last transfer, or whose change
// could not be told, stays as it is unless the user lets the send
// overwrite it: the item keeps what it recorded, marked changed on the
// server where a change was seen.
bool CTransferRun::HoldsServerChange(const Step& s) {
    const size_t at = static_cast<size_t>(s.index);
    const bool holds = m_serverChanges.Holds(at, s.host, s.user);
    // Left by the user's answer, or by a run nobody attends (whose line
    // has said why): named in the run's closing list, with no beep. Every
    // item the look left is named now: a stop before its turn does not
    // make it one the run never reached. Only a change seen marks it.
    const auto name = [&](size_t k) {
        std::string why;
        const bool unchecked = m_serverChanges.Unchecked(k, why);
        const CFileItem held = HeldItemState(m_data, m_items[k], !unchecked);
        if (k < m_entries.size())
            NoteTransferFailed(m_entries[k], IsUnattendedRun() ? std::string()
                                             : unchecked       ? UncheckedOnServerHeldReason(why)
                                                               : BothChangedHeldReason(held, true));
        return held;
    };
    for (size_t k : m_serverChanges.TakeHeld())
        if (k != at) name(k);
    if (!holds) return HeldByLookAgain(s);
    StoreItem(at, name(at));
    return true;
}

// A file the look let go, whose look is old by its turn (files before it
// took their time), is looked at again right before it goes: a copy
// changed on the server since stays, with no second question, and so does
// one whose change could not be told; the run's closing list says which.
bool CTransferRun::HeldByLookAgain(const Step& s) {
    const size_t at = static_cast<size_t>(s.index);
    // The times owed of the files before are read first: the look may take
    // a while.
    if (!m_pendingOwn.empty() && m_serverChanges.LookIsStale(at))
        ReadPendingOwnTimesOf(m_pendingHost, m_pendingUser);
    std::string why;
    const auto again = m_serverChanges.LookAgain(at, s.host, s.user, why);
    if (again == CServerChangeGuard::Again::Same || g_bFtpBreak) return false;
    const bool changed = again == CServerChangeGuard::Again::Changed;
    StoreItem(at, HeldItemState(m_data, m_items[at], changed));
    if (at < m_entries.size())
        NoteTransferFailed(m_entries[at],
                           changed ? ChangedOnServerDuringRunReason() : UncheckedOnServerHeldReason(why));
    return true;
}

// A local file of an item with no transfer on record that differs from
// the server's copy stays as it is unless the user lets the fetch replace
// it; the item keeps what it had.
bool CTransferRun::HoldsLocalWork(const Step& s) {
    const size_t at = static_cast<size_t>(s.index);
    bool held = false;
    try {
        held = m_localWork.Holds(at, s.host, s.user);
    } catch (const CFtpClient::UserAbort&) {
        NoteFailureBecause(s.item, "stopped");
        throw;
    }
    // Every item the look left is named with its reason now: a stop before
    // its turn does not make it one the run never reached.
    for (const auto& [k, reason] : m_localWork.TakeHeld())
        if (k < m_entries.size()) NoteTransferFailed(m_entries[k], reason);
    if (!held) return false;
    StoreItem(at, m_items[at]);
    // Held with no reason noted: a stop cut the look short.
    if (at < m_entries.size()) NoteTransferFailed(m_entries[at], "stopped");
    return true;
}

// The local file changed after the fetch was decided: it stays as it is,
// and so does the item.
void CTransferRun::LeaveChangedFile(const Step& s, const std::string& why) {
    if (!s.announced) WriteTraceString(s.line);
    WriteTraceString("-?- " + why);
    const size_t at = static_cast<size_t>(s.index);
    StoreItem(at, m_items[at]);
    NoteFailureBecause(s.item, ChangedDuringRunReason());
}

// The file the fetch wrote is the one a later fetch of it in the run may
// replace.
void CTransferRun::KeepFetchedStamp(const Step& s) {
    const size_t at = static_cast<size_t>(s.index);
    const CFileStamp now = StampOfFile(s.localPath);
    if (at < m_seen.size()) m_seen[at] = now;
    if (t_fetchDecided) (*t_fetchDecided)[s.localPath] = now;
}

// The login renamed the account (another host or user was given): the
// transfer list, the program data of the run and of the window, the run's
// items and those waiting for their folder's listing take the new names.
void CTransferRun::AdoptRenamedAccount(Step& s) {
    RenameAccount(s.item.RemHost, s.item.RemUser, s.host, s.user);
    s.item.RemHost = s.host;
    s.item.RemUser = s.user;
}

void CTransferRun::RenameAccount(std::string oldHost, std::string oldUser, std::string host, std::string user) {
    RenameTransferListAccount(oldHost, oldUser, host, user);
    RenameItemAccount(m_data, oldHost, oldUser, host, user);
    if (GetMainProgramData() && GetMainProgramData() != &m_data)
        PostToGui([=] {
            if (CProgramData* m = GetMainProgramData()) RenameItemAccount(*m, oldHost, oldUser, host, user);
        });
    const auto rename = [&](CFileItem& it) {
        if (it.RemHost == oldHost && it.RemUser == oldUser) {
            it.RemHost = host;
            it.RemUser = user;
        }
    };
    for (CFileItem& it : m_items) rename(it);
    for (auto& entry : m_folders)
        for (Waiting& waiting : entry.second.waiting) rename(waiting.item);
    for (Waiting& waiting : m_listedLater) rename(waiting.item);
    if (m_listedHost == oldHost && m_listedUser == oldUser) {
        m_listedHost = host;
        m_listedUser = user;
    }
}

// The local folder, the paths, the progress line, the type a text file
// that is none takes, and whether a send goes straight.
void CTransferRun::PrepareItem(Step& s) {
    CFileItem& item = s.item;
    if (item.LocalDir != m_strMadeLocalDir) {
        if (!CreateFolderPath(item.LocalDir)) {
            NoteFailureBecause(item, "its local folder could not be made");
            ListTheFilesThatWent();
            EndFtpWorker("failed to create local dir");
        }
        m_strMadeLocalDir = item.LocalDir;
    }
    s.remotePath = item.RemoteDir + item.FileName;
    s.localPath = item.LocalDir + item.FileName;
    // What is sent is the file's whole text, never a copy a killed run cut.
    if (m_bToRemote) FinishCutCopyOf(s.localPath);
    s.line = ItemLine(s);
    // A file marked text whose start holds a NUL byte is no text: sent
    // or fetched as text it would lose or gain bytes.
    if (!item.IsBinaryFile && HasNulByteInHead(s.localPath)) {
        item.IsBinaryFile = true;
        WriteTraceString(item.FileName + " is marked ASCII but holds NUL bytes: it goes in BINARY.");
    }
    // A send goes straight to a VMS host (which keeps versions) and when
    // it is one data block, which a stop cannot cut; PlanSend decides
    // the rest.
    s.vms = item.GetHostKind() == "VMS";
    s.hostKey = s.host + '\n' + s.user;
    s.straight = m_bToRemote && (s.vms || FitsOneBlock(s.localPath));
}

// The transfer type is the connection's own: it is set for each item as
// the item needs it (carry: the times owed go in the same write, before
// it). A type the server already took on the connection is not sent again
// unless times owed wait for it. A fetch, and a send of one data block,
// send it with the PASV that opens the item's data connection, in the same
// write, its reply read first (see TransferItem); a larger send's checks
// use the connection in its type first. A refusal ends the run.
void CTransferRun::SwitchType(CFtpClient& c, Step& s, bool carry) {
    const std::string type = c.GetTransferType();
    const bool binary = s.item.IsBinaryFile;
    const bool withNext = !m_bToRemote || s.straight;
    try {
        // The times owed ride on a type command (carry).
        if (carry && type == "ASCII" && !binary) c.SetAsciiMode(withNext);
        if (type == "ASCII" && binary) {
            if (!s.switched) WriteTraceString("Switching to BINARY:");
            c.SetBinaryMode(withNext);
            c.SetBinaryMode(withNext);
        } else if (type == "BINARY" && !binary) {
            if (!s.switched) WriteTraceString("Switching to ASCII:");
            c.SetAsciiMode(withNext);
        } else if (type == "BINARY" && binary) {
            c.SetBinaryMode(withNext);
        }
    } catch (const CFtpClient::FTPException& e) {
        if (e.ConnectionLost()) throw;
        TypeRefusedEnds(c, s, e);
    }
    s.switched = true;
}

void CTransferRun::TypeRefusedEnds(CFtpClient& c, Step& s, const CFtpClient::FTPException& e) {
    WriteTraceString("-?- " +
                     std::string(s.item.IsBinaryFile ? "Unable to switch to BINARY: " : "Unable to switch to ASCII: ") +
                     e.what());
    NoteFailure(s.item);
    ListTheFilesThatWent(&c);
    EndFtpWorker("unsuccessful");
}

// How a send goes is found before its line is written (see PlanSend).
void CTransferRun::PlanTheSend(CFtpClient& c, Step& s) {
    if (!m_bToRemote || s.straight || g_bFtpBreak) return;
    s.plan = PlanSend(c, m_targets, s.item);
}

void CTransferRun::SendOrFetch(CFtpClient& c, Step& s) {
    if (m_bToRemote)
        Send(c, s);
    else
        Fetch(c, s);
}

void CTransferRun::Fetch(CFtpClient& c, Step& s) {
    const size_t at = static_cast<size_t>(s.index);
    if (s.alreadyThere) {
        // Proved the same before the run's first fetch; still that file.
        if (at < m_seen.size() && !FileMatchesStamp(s.localPath, m_seen[at]))
            throw CFtpClient::LocalFileChanged("The local file " + s.localPath +
                                               " changed since the fetch was decided; it is left as it is.");
        return;
    }
    c.RetrieveFile(s.remotePath, s.localPath, at < m_seen.size() ? &m_seen[at] : nullptr);
    KeepFetchedStamp(s);
    // Marked text by its extension only, the file may be none: converted
    // it would lose or gain bytes.
    if (!s.item.IsBinaryFile && c.RetrievedNulInHead()) {
        s.item.IsBinaryFile = true;
        WriteTraceString(s.item.FileName + " is marked ASCII but holds NUL bytes: it is fetched again in BINARY.");
        c.SetBinaryMode();
        c.RetrieveFile(s.remotePath, s.localPath, at < m_seen.size() ? &m_seen[at] : nullptr);
        KeepFetchedStamp(s);
    }
}

// A larger send goes to a temporary name and is renamed over the remote
// file when whole, so that a stop never leaves the server's copy cut;
// where that would keep less than a plain STOR keeps (see PlanSend), it
// goes straight.
void CTransferRun::Send(CFtpClient& c, Step& s) {
    if (s.item.IsBinaryFile && s.item.GetHostKind() == "UNIX") {
        std::error_code ec;
        const auto size = std::filesystem::file_size(s.localPath, ec);
        s.sent.size = ec ? -1 : static_cast<long long>(size);
    }
    if (s.straight) {
        if (s.vms && m_straightHosts.insert(s.hostKey).second)
            WriteTraceString("-?- " + ShortHostName(s.host) +
                             " is a VMS host: files are sent straight over the remote files, so a "
                             "stopped send leaves the remote file cut.");
        c.PutFile(s.localPath, s.remotePath);
        return;
    }
    if (!s.plan.viaTemporary) {
        c.PutFile(s.localPath, s.remotePath);
        return;
    }
    bool replaced = false;
    // The temporary is on record before the server may have it, until it
    // is seen renamed or deleted: one a stop leaves is removed by a later
    // run (ClearLeftTemporaries).
    NoteLeftTemporary(s.host, s.user, s.plan.tempPath);
    struct LeftTemporary {
        const CFtpClient& c;
        const Step& s;
        ~LeftTemporary() {
            if (!c.TemporaryLeft()) ForgetLeftTemporary(s.host, s.user, s.plan.tempPath);
        }
    } left{c, s};
    try {
        replaced = c.PutFileReplacing(s.localPath, s.remotePath, s.plan.tempPath, s.plan.mode);
    } catch (const CFtpClient::FTPException&) {
        // The straight send after a refusal failed as well: the refusal
        // still holds for the later sends.
        AfterStraightSend(m_targets, s.item, c);
        throw;
    }
    if (replaced)
        s.sent.mode = s.plan.mode;
    else
        AfterStraightSend(m_targets, s.item, c);
}

// The server's time of the file, read on the control connection right
// after its transfer: what the folder's listing shows later may be a
// change another user made since. Where the connection is lost on the way
// the folder's listing tells what it can; where the server refuses MDTM,
// the file's listing line is read within a second (WaitForListing), and a
// login whose server refused it is not asked it again. On a host
// whose MDTM told a time, the file's MDTM goes out at once, the server
// answering while this side finishes the file: no round trip of its own,
// and its reply read before anything else goes; the next file, the
// folder's listing or a stop reads it, and one owed for longer than
// kOwnTimeWait is read at once.
constexpr std::chrono::milliseconds kOwnTimeWait{500};

// Whether the file's own time is asked by MDTM as its transfer ends (the
// host's MDTM told a time on this run), its reply read with the next command.
bool CTransferRun::OwnTimeByMdtm(const Step& s) const {
    return g_bFtpUpdate && !s.vms && ListsFolder(s.item) && s.item.GetHostKind() == "UNIX" &&
           m_mdtmTells.count(s.hostKey) > 0;
}

void CTransferRun::ReadOwnTime(CFtpClient& c, Step& s) {
    s.ownKnown = s.ownRefused = false;
    if (!g_bFtpUpdate || s.vms || !ListsFolder(s.item) || s.item.GetHostKind() != "UNIX") return;
    // A local file proved to hold the server's bytes has the time read
    // right after its compare.
    if (s.alreadyThere && m_localWork.OwnTimeOf(static_cast<size_t>(s.index), s.ownTime)) {
        s.ownKnown = true;
        return;
    }
    const bool sameAccount = m_pendingOwn.empty() || (m_pendingHost == s.host && m_pendingUser == s.user);
    if (!sameAccount) ReadPendingOwnTimesOf(m_pendingHost, m_pendingUser);
    if (OwnTimeByMdtm(s)) {
        m_pendingHost = s.host;
        m_pendingUser = s.user;
        // A fetch asked it as its transfer ended.
        if (!c.TakeTimeAskedAfterFetch(s.remotePath)) c.AskTimeWithNextCommand(s.remotePath);
        m_pendingOwn.push_back({s.index, s.remotePath, std::chrono::steady_clock::now()});
        return;
    }
    if (!m_pendingOwn.empty()) ReadPendingOwnTimes(c);
    // A login whose server refuses MDTM is not asked it again.
    if (c.RefusesForFiles("MDTM")) {
        s.ownRefused = true;
        return;
    }
    try {
        const int code = ReadRemoteFileTime(c, s.remotePath, s.ownTime);
        s.ownKnown = code == 213;
        s.ownRefused = !s.ownKnown;
        if (s.ownKnown) m_mdtmTells.insert(s.hostKey);
        if (code != 501) c.NoteAnswerForAFile("MDTM", code);
    } catch (const CFtpClient::FTPException&) {
    }
}

// Whether the oldest time owed waits past its bound.
bool CTransferRun::OwnTimesOverdue() const {
    return !m_pendingOwn.empty() && std::chrono::steady_clock::now() - m_pendingOwn.front().went >= kOwnTimeWait;
}

// The replies the connection has read for the times owed (with now, the
// ones not sent yet are asked first) go to their files.
void CTransferRun::CollectOwnTimes(CFtpClient& c, bool now) {
    for (const CFtpClient::TimeReply& r : c.TakeAskedTimes(now)) {
        const auto owed = std::find_if(m_pendingOwn.begin(), m_pendingOwn.end(),
                                       [&](const PendingOwn& p) { return p.path == r.path; });
        if (owed == m_pendingOwn.end()) continue;
        std::time_t t = 0;
        if (RemoteFileTimeOfReply(r.code, r.reply, t) == 213) m_ownTimes[owed->index] = t;
        m_pendingOwn.erase(owed);
    }
}

// The times of the files waiting for theirs, on their connection; where
// that fails they have none (their folder's listing tells what it can).
// Those the connection does not hold (asked on one since lost) are asked
// again here, as one group.
void CTransferRun::ReadPendingOwnTimes(CFtpClient& c) {
    try {
        CollectOwnTimes(c, true);
        std::vector<PendingOwn> pending;
        pending.swap(m_pendingOwn);
        std::vector<std::string> paths;
        for (const PendingOwn& p : pending) paths.push_back(p.path);
        if (paths.empty()) return;
        const std::vector<std::pair<int, std::time_t>> times = ReadRemoteFileTimes(c, paths);
        for (size_t k = 0; k < pending.size() && k < times.size(); ++k)
            if (times[k].first == 213) m_ownTimes[pending[k].index] = times[k].second;
    } catch (const CFtpClient::FTPException&) {
    }
    m_pendingOwn.clear();
}

// The same where the connection in hand is another account's: on the
// account's listing connection (on), or else on its open connection only,
// never a new one (a stop ends within seconds).
void CTransferRun::ReadPendingOwnTimesOf(const std::string& host, const std::string& user, ListingAccount* on) {
    if (m_pendingOwn.empty() || host != m_pendingHost || user != m_pendingUser) return;
    try {
        if (on) {
            on->Run(m_data, [&](CFtpClient& c) { ReadPendingOwnTimes(c); });
            return;
        }
        std::shared_ptr<CFtpClient> open = SelectOpenConnection(host, user);
        if (open) ReadPendingOwnTimes(*open);
    } catch (const CFtpClient::FTPException&) {
    }
    m_pendingOwn.clear();
}

// The entries take the times read for them after their transfer.
void CTransferRun::FillOwnTimes(std::vector<Waiting>& waiting) {
    for (Waiting& entry : waiting) {
        const auto own = m_ownTimes.find(entry.index);
        if (entry.ownKnown || own == m_ownTimes.end()) continue;
        entry.ownKnown = true;
        entry.ownTime = own->second;
    }
}

// A file whose server told no time of it right after its transfer waits
// for its line of its folder's listing with the others that went in the
// same second; the group is listed once that second is over.
void CTransferRun::WaitForListing(const Step& s, const CFileItem& item) {
    if (!m_listedLater.empty() && (m_listedHost != s.host || m_listedUser != s.user)) ListTheFilesThatWent();
    const auto now = std::chrono::steady_clock::now();
    if (m_listedLater.empty()) {
        m_listedSince = now;
        m_listedHost = s.host;
        m_listedUser = s.user;
    }
    m_listedLater.push_back({s.index, item, s.sent, false, 0});
    if (now - m_listedSince >= kListLinesWithin) ListTheFilesThatWent();
}

// Whether the files waiting for their listing lines are listed before the
// item's transfer: one that may outlast what is left of their second.
bool CTransferRun::ListBeforeTransfer(const Step& s) const {
    if (s.alreadyThere) return false;  // nothing goes
    if (m_listedHost != s.host || m_listedUser != s.user) return true;
    if (std::chrono::steady_clock::now() - m_listedSince >= kListLinesWithin - kTransferMayOutlast ||
        m_lastTransfer >= kTransferMayOutlast)
        return true;
    if (m_bToRemote) return !s.straight;
    const auto sizes = m_listedSizes.find(m_folderOf[static_cast<size_t>(s.index)]);
    if (sizes == m_listedSizes.end()) return true;
    const auto size = sizes->second.find(s.item.FileName);
    return size == sizes->second.end() || size->second < 0 ||
           static_cast<unsigned long long>(size->second) > CFtpClient::kBlockSize;
}

// The files waiting for their listing lines take them, as a listing of
// each file right after its transfer would give them: one listing of each
// of their folders, on the connection given or else on their account's
// open one. A file that listing leaves out (a server may cut a long one
// short) is listed by itself, and named exactly where no listing shows
// it. Where the listing fails, they keep the mark of a time not known and
// are named.
void CTransferRun::ListTheFilesThatWent(CFtpClient* on) {
    if (m_listedLater.empty()) return;
    std::vector<Waiting> group;
    group.swap(m_listedLater);
    std::shared_ptr<CFtpClient> open;
    if (!on) {
        open = SelectOpenConnection(m_listedHost, m_listedUser);
        on = open.get();
    }
    if (!on) {
        NameUntimed(group);
        return;
    }
    struct Found {
        std::string lines;
        bool shown = true, exactKnown = false;
        CFileItem exact;
    };
    std::vector<Found> found(group.size());
    std::map<std::string, std::string> listings;  // by folder
    std::string folder;
    try {
        for (const Waiting& entry : group) {
            folder = entry.item.RemoteDir;
            if (!listings.count(folder))
                listings[folder] = UnlessRefused([&] { return on->ListFolderToText(folder); });
        }
        std::map<std::string, ListingByName> byFolder;
        for (const auto& [dir, listing] : listings) byFolder[dir] = LinesByName(listing);
        for (size_t k = 0; k < group.size(); ++k) {
            const CFileItem& item = group[k].item;
            Found& f = found[k];
            folder = item.RemoteDir;
            f.lines = ItemListingLines(item, OwnListingText(byFolder[folder], item));
            if (!f.lines.empty()) continue;
            f.lines = UnlessRefused([&] {
                const std::string own = ItemListingLines(item, on->ListToText(item.RemoteDir + item.FileName));
                return own.empty() ? ListItemLinesByPattern(*on, item) : own;
            });
            if (f.lines.empty()) ReadUnlisted(*on, item, f.shown, f.exactKnown, f.exact);
        }
        if (!m_bToRemote)
            for (const Waiting& entry : group)
                KeepListedSizes(m_folderOf[static_cast<size_t>(entry.index)], byFolder[entry.item.RemoteDir]);
    } catch (const CFtpClient::FTPException& e) {
        if (!g_bFtpBreak) LogFtpFailure(e, "", true, "listing " + m_listedHost + ":" + folder);
        NameUntimed(group);
        return;
    } catch (const CFtpClient::UserAbort&) {
        NameUntimed(group);
        return;
    }
    for (size_t k = 0; k < group.size(); ++k) {
        CFileItem& item = group[k].item;
        const Found& f = found[k];
        std::string status;
        item.UpdateRemoteStatus(f.lines, status);
        KeepRemoteSecond(item, -1);
        KeepListedUnit(item, f.lines);
        if (f.exactKnown) TakeExactState(item, f.exact);
        if (f.shown)
            ConfirmSentCopy(item, f.lines, group[k].sent);
        else
            NotSentUnderItsName(item);
        StoreItem(static_cast<size_t>(group[k].index), item);
    }
}

// The sizes of the folder's files as its listing shows them, for the
// fetches that follow (once a folder).
void CTransferRun::KeepListedSizes(const FolderKey& folder, const ListingByName& byName) {
    auto& sizes = m_listedSizes[folder];
    if (!sizes.empty()) return;
    for (const auto& [name, lines] : byName) {
        CListingFields fields;
        if (lines.size() == 1 && ReadListingFields(std::string(lines.front()), fields) && fields.type == '-')
            sizes[name] = fields.size;
    }
}

// The item went: it is stored as transferred. With FTPUpdate it waits for
// its folder's listing, or lists its own file at once.
void CTransferRun::RecordResult(Step& s) {
    CFileItem& item = s.item;
    const size_t at = static_cast<size_t>(s.index);
    item.IsFTPed = "Yes";
    item.IsRemoteModified = "No";
    item.IsRemoteMissing = "No";
    item.RefreshLocalTime();
    // Until its listing line is read the remote time is not known: the
    // one of the transfer before would read as a change made on the
    // server. Without FTPUpdate it stays not known, as the option says;
    // with it, a time that is never read (the listing failed, a stop came
    // first) is marked not known, and the next send looks at the server's
    // copy as one it cannot tell from a changed one.
    item.RemoteModTime = g_bFtpUpdate ? RemoteUnknownTime() : DefaultItemTime();
    item.RemoteSecondKnown = false;
    item.RemoteSize = -1;
    item.RemoteTimeUnit = 0;
    item.RemoteTimeListed = false;
    StoreItem(at, item);
    if (at < m_entries.size()) NoteTransferWent(m_entries[at]);
    if (m_bToRemote) ForgetCutRemoteFile(s.host, s.user, s.remotePath);
    if (g_bFtpUpdate && ListsFolder(item) && !s.ownRefused) {
        m_folders[m_folderOf[at]].waiting.push_back({s.index, item, s.sent, s.ownKnown, s.ownTime});
    } else if (g_bFtpUpdate && ListsFolder(item) && s.ownRefused) {
        WaitForListing(s, item);
    } else if (g_bFtpUpdate) {
        std::string listing;
        bool shown = true, exactKnown = false;
        CFileItem exact;
        RunWithReconnect(m_data, s.host, s.user, true, [&](CFtpClient& c) {
            listing = UnlessRefused([&] { return ListItemLines(c, item); });
            if (ItemListingLines(item, listing).empty()) ReadUnlisted(c, item, shown, exactKnown, exact);
        });
        const std::string lines = ItemListingLines(item, listing);
        std::string status;
        item.UpdateRemoteStatus(lines, status);
        KeepRemoteSecond(item, s.ownRefused ? -1 : AskRemoteSecond(m_data, s.host, s.user, item));
        KeepListedUnit(item, lines);
        if (exactKnown) TakeExactState(item, exact);
        if (shown)
            ConfirmSentCopy(item, lines, s.sent);
        else
            NotSentUnderItsName(item);
        StoreItem(at, item);
    }
    BeepTransferDone();
}

// The server's failure, after the item's line.
void CTransferRun::ReportFailure(const CFtpClient::FTPException& e, const Step& s) {
    // A failure before the item's own line (say the connection was lost
    // at the type command) still shows which item it was.
    if (!s.announced) WriteTraceString(s.line);
    const std::string local = s.item.LocalDir + s.item.FileName;
    const std::string remote = s.item.RemHost + ":" + s.item.RemoteDir + s.item.FileName;
    LogFtpFailure(e, "", true,
                  m_bToRemote ? "sending " + local + " -> " + remote : "fetching " + remote + " -> " + local);
    NoteFailure(s.item);
    // A send into a folder the server does not have fails per file with
    // the server's bare reply: name the folder once.
    std::string host = s.host, user = s.user;
    if (m_bToRemote && !e.ConnectionLost() && s.item.GetHostKind() == "UNIX" &&
        m_missingDirs.insert(host + '\n' + user + '\n' + s.item.RemoteDir).second &&
        !RemoteFolderExists(m_data, host, user, s.item.RemoteDir))
        WriteTraceString("-?- The remote folder " + s.item.RemoteDir + " does not exist on " +
                         ShortHostName(host) +
                         ". Make it first (the remote browser's new-folder button), or add the files "
                         "by dropping their folder.");
}

// Lists a folder and updates its waiting items; false where the listing
// failed (stopped meanwhile, the items are left to the stop).
bool CTransferRun::UpdateFolder(FolderUpdate& folder) {
    if (folder.waiting.empty()) return true;
    std::vector<Waiting> waiting;
    waiting.swap(folder.waiting);
    const std::string remoteDir = waiting.front().item.RemoteDir;
    ListingAccount on{waiting.front().item.RemHost, waiting.front().item.RemUser};
    ReadPendingOwnTimesOf(on.host, on.user, &on);
    FillOwnTimes(waiting);
    std::string listing;
    try {
        // From inside the folder: pure-ftpd reads blanks in a LIST
        // argument as separators.
        on.Run(m_data, [&](CFtpClient& c) { listing = c.ListFolderToText(remoteDir); });
    } catch (const CFtpClient::FTPException& e) {
        // Stopped meanwhile: the items are left to the stop.
        if (g_bFtpBreak) {
            folder.waiting.swap(waiting);
            return false;
        }
        LogFtpFailure(e, "", true, "listing " + on.host + ":" + remoteDir);
        if (e.ConnectionLost()) {
            KeepOwnTimes(waiting);
            return false;
        }
        // Refused: each file is looked at by itself.
        listing.clear();
    }
    const ListingByName byName = LinesByName(listing);
    const std::time_t offset = ListingClock(on, byName, waiting);
    // A file whose own time was read has its second; only the others are
    // asked for theirs.
    const std::vector<int> seconds = AskSeconds(on, waiting);
    size_t nextSecond = 0;
    for (Waiting& entry : waiting) {
        // A line that shows other bytes than were sent is told from the
        // file's own by the second the server tells now.
        CFileItem asked = entry.item;
        const int ownSecond = !entry.ownKnown                     ? -1
                              : ListedWithOtherSize(byName, entry) ? RemoteSecondOf(on, asked)
                                                                   : SecondOfTime(entry.ownTime);
        const size_t mine =
            entry.item.GetHostKind() == "UNIX" && !entry.ownKnown ? nextSecond++ : seconds.size();
        const int* second = entry.ownKnown ? (ownSecond >= 0 ? &ownSecond : nullptr)
                            : mine < seconds.size() ? &seconds[mine]
                                                    : nullptr;
        // A file whose line shows a change made after its transfer keeps
        // the time read then; the others take their line's time and the
        // second the server tells now, which is that time.
        if (entry.ownKnown && KeepsOwnTime(byName, entry, offset, second)) continue;
        UpdateWaitingItem(on, byName, entry, second);
    }
    return true;
}

// How far the clock of the folder's listing stands from MDTM's (a server
// may list its local time while MDTM gives UTC): what the lines of the
// files whose own times were read show against those times, in whole
// minutes. Only a zone's offset counts (quarter hours, 14 hours at most),
// and the one most lines show: a file someone changed since its own time
// was read moves nothing. Where no line tells, what the account's listings
// told before in this run, else none. No server is asked.
std::time_t CTransferRun::ListingClock(ListingAccount& on, const ListingByName& byName,
                                       const std::vector<Waiting>& waiting) {
    const std::string account = on.host + '\n' + on.user;
    const auto before = m_listingClocks.find(account);
    const std::time_t known = before != m_listingClocks.end() ? before->second : 0;
    std::map<std::time_t, int> votes;
    for (const Waiting& entry : waiting) {
        if (!entry.ownKnown) continue;
        const std::string lines = ItemListingLines(entry.item, OwnListingText(byName, entry.item));
        std::time_t offset = 0;
        if (ZoneOffsetOfLines(entry.item, lines, entry.ownTime, offset)) ++votes[offset];
        // Sixteen lines that all show one clock tell it.
        if (votes.size() == 1 && votes.begin()->second >= 16) break;
    }
    if (votes.empty()) return known;
    auto best = votes.begin();
    for (auto it = votes.begin(); it != votes.end(); ++it)
        if (it->second > best->second || (it->second == best->second && it->first == known)) best = it;
    m_listingClocks[account] = best->first;
    return best->first;
}

// A file whose own time was read right after its transfer, and whose line
// of the folder's listing shows another time (within the line's minute:
// the second the server tells now is another, or not told), was changed by
// someone since: the line is theirs. The file records the time of its own
// transfer, on the listing's clock, so that the next look sees their
// change, and the line confirms nothing of what the send put there. False
// where the line is the file's own, or the listing does not show it.
bool CTransferRun::KeepsOwnTime(const ListingByName& byName, Waiting& entry, std::time_t offset, const int* second) {
    const std::string lines = ItemListingLines(entry.item, OwnListingText(byName, entry.item));
    if (lines.empty()) return false;
    CFileItem listed = entry.item;
    std::string status;
    listed.UpdateRemoteStatus(lines, status);
    if (status == "-missing-" || !IsRealRemoteTime(listed.RemoteModTime)) return false;
    listed.RemoteTimeUnit = ListedTimeUnit(listed, lines);
    if (listed.RemoteTimeUnit == 0) return false;
    CFileItem own = listed;
    own.RemoteModTime = entry.ownTime + offset;
    own.RemoteSecondKnown = true;
    own.RemoteTimeUnit = 0;
    if (SameRemoteTime(own, listed) &&
        (listed.RemoteTimeUnit == 1 || (second && *second == SecondOfTime(own.RemoteModTime))))
        return false;
    RecordOwnTime(entry, offset, true);
    return true;
}

// Whether the file's line shows another size than the bytes sent.
bool CTransferRun::ListedWithOtherSize(const ListingByName& byName, const Waiting& entry) const {
    if (entry.sent.size < 0) return false;
    const std::string lines = ItemListingLines(entry.item, OwnListingText(byName, entry.item));
    if (lines.empty()) return false;
    CFileItem listed = entry.item;
    std::string status;
    listed.UpdateRemoteStatus(lines, status);
    return listed.RemoteSize >= 0 && listed.RemoteSize != entry.sent.size;
}

// The file records the time read right after its transfer, put on the
// listing's clock (offset; listed: the offset is a listing's finding).
void CTransferRun::RecordOwnTime(Waiting& entry, std::time_t offset, bool listed) {
    CFileItem& item = entry.item;
    item.RemoteModTime = entry.ownTime + offset;
    item.RemoteSecondKnown = true;
    item.RemoteTimeUnit = 0;
    item.RemoteTimeListed = listed;
    item.RemoteSize = entry.sent.size;
    item.IsRemoteMissing = "No";
    StoreItem(static_cast<size_t>(entry.index), item);
}

// The exact seconds of the UNIX items' files whose own time was not read,
// asked all at once; none when that fails (each item asks for its own).
std::vector<int> CTransferRun::AskSeconds(ListingAccount& on, const std::vector<Waiting>& waiting) {
    std::vector<int> seconds;
    std::vector<std::string> paths;
    for (const Waiting& entry : waiting)
        if (entry.item.GetHostKind() == "UNIX" && !entry.ownKnown)
            paths.push_back(entry.item.RemoteDir + entry.item.FileName);
    try {
        if (!paths.empty()) on.Run(m_data, [&](CFtpClient& c) { seconds = c.GetModificationSeconds(paths); });
    } catch (const CFtpClient::FTPException&) {
        seconds.clear();
    }
    return seconds;
}

// The item takes its lines of the folder's listing and its second (asked
// for alone where second is null).
void CTransferRun::UpdateWaitingItem(ListingAccount& on, const ListingByName& byName, Waiting& entry,
                                     const int* second) {
    CFileItem& item = entry.item;
    std::string lines = ItemListingLines(item, OwnListingText(byName, item));
    bool shown = true, exactKnown = false;
    CFileItem exact;
    if (lines.empty()) {
        // Not in the folder's listing (a server may cut a long one
        // short): the file itself is listed, as it was, and a sent file
        // no listing shows is asked for by its exact name.
        try {
            on.Run(m_data, [&](CFtpClient& c) {
                lines = UnlessRefused([&] {
                    const std::string own = ItemListingLines(item, c.ListToText(item.RemoteDir + item.FileName));
                    return own.empty() ? ListItemLinesByPattern(c, item) : own;
                });
                if (lines.empty()) ReadUnlisted(c, item, shown, exactKnown, exact);
            });
        } catch (const CFtpClient::FTPException& e) {
            LogFtpFailure(e, "", true, "listing " + item.RemHost + ":" + item.RemoteDir + item.FileName);
            std::vector<Waiting> one{entry};
            KeepOwnTimes(one);
            return;
        }
    }
    std::string status;
    item.UpdateRemoteStatus(lines, status);
    KeepRemoteSecond(item, second ? *second : RemoteSecondOf(on, item));
    KeepListedUnit(item, lines);
    if (exactKnown) TakeExactState(item, exact);
    if (shown)
        ConfirmSentCopy(item, lines, entry.sent);
    else
        NotSentUnderItsName(item);
    StoreItem(static_cast<size_t>(entry.index), item);
}

// A file no listing line shows after its transfer (the server hides its
// name, or refuses to list) is named exactly on a UNIX host: what MDTM and
// SIZE tell of it goes to exact (exactKnown), and for a send, shown tells
// whether the server has it under its own name.
void CTransferRun::ReadUnlisted(CFtpClient& c, const CFileItem& item, bool& shown, bool& exactKnown,
                                CFileItem& exact) {
    if (item.GetHostKind() != "UNIX") return;
    bool there = true;
    // Where MDTM has neither answered nor been refused for every file on
    // this login, a file the folder's listing shows tells whether it
    // answers at all: a sent file it then
    // does not find is not there under its own name (pure-ftpd stores
    // "a.txt " as "a.txt_").
    std::string known;
    if (m_bToRemote && !c.AnsweredForAFile("MDTM") && !c.RefusesForFiles("MDTM")) {
        try {
            const std::string listing = c.ListFolderToText(item.RemoteDir);
            for (std::size_t start = 0; start < listing.size() && known.empty();) {
                const std::size_t end = std::min(listing.find('\n', start), listing.size());
                std::string line = listing.substr(start, end - start);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                const std::string name = CFtpClient::UnixListingName(line);
                if (!line.empty() && line[0] == '-' && !name.empty() && name != item.FileName)
                    known = item.RemoteDir + name;
                start = end + 1;
            }
        } catch (const CFtpClient::FTPException& e) {
            if (e.ConnectionLost()) throw;
        }
    }
    exactKnown = ReadUnshownSentFile(c, item, there, exact, known);
    if (m_bToRemote) shown = there;
}

// A sent file the server has not under the item's own name (pure-ftpd
// stores "a.txt " as "a.txt_"): what went is not where the item says, and
// the item is reported and not marked as sent.
void CTransferRun::NotSentUnderItsName(CFileItem& item) {
    WriteTraceString("-?- After the send the server does not list " + item.RemoteDir + item.FileName +
                     " under its own name: it is not marked as sent.");
    item.IsFTPed = "failed";
    NoteFailure(item);
}

// The file's line after the send shows what the send put there: a server
// may answer a rename or a change of bits as done without doing it. A
// plain file of another size than the bytes sent (in any listing form), or
// of other bits than the old file's, is reported and the item not marked
// as sent. Where no line shows it, the size SIZE told is looked at the same
// way.
bool CTransferRun::ConfirmSentCopy(CFileItem& item, const std::string& lines, const SentCopy& sent) {
    if (!m_bToRemote) return true;
    CListingFields fields;
    const bool lsForm = !lines.empty() && ReadListingFields(lines.substr(0, lines.find('\n')), fields);
    if (!lines.empty() && (lsForm ? fields.type != '-' : !IsPlainFileLine(lines.substr(0, lines.find_first_of("\r\n")))))
        return true;
    std::string wrong;
    if (sent.size >= 0 && item.RemoteSize >= 0 && item.RemoteSize != sent.size)
        wrong = std::to_string(item.RemoteSize) + " bytes (" + std::to_string(sent.size) + " sent)";
    if (lsForm && sent.mode >= 0 && fields.mode >= 0 && fields.mode != sent.mode) {
        char bits[48];
        std::snprintf(bits, sizeof bits, "mode %04o (%04o kept)", fields.mode, sent.mode);
        wrong += (wrong.empty() ? "" : " and ") + std::string(bits);
    }
    if (wrong.empty()) return true;
    WriteTraceString("-?- After the send the server " + std::string(lines.empty() ? "tells " : "lists ") +
                     item.RemoteDir + item.FileName + " with " + wrong + ": it is not marked as sent.");
    item.IsFTPed = "failed";
    // The server's copy is not what went: the next send asks before it
    // replaces it.
    item.IsRemoteModified = "Yes";
    NoteFailure(item);
    return false;
}

// The second of one item's file.
int CTransferRun::RemoteSecondOf(ListingAccount& on, CFileItem& item) {
    return AskRemoteSecond(m_data, on.host, on.user, item);
}

// A stop ends the run, yet the files that arrived whole keep their remote
// times: each read its own right after its transfer, so no server is asked
// again and the stop ends within seconds whatever the server does. Where
// the stop cut a transfer (cut: its account), the server's word on the cut
// file is still owed on that connection: it is dropped. The files whose
// time was not read keep the mark of a time not known, so that the next
// send counts the server's copy as changed since, and are named.
void CTransferRun::UpdateAtStop(const CHost* cut) {
    // The files waiting for their listing lines are listed on their open
    // connection, unless the stop cut a transfer there.
    if (cut && cut->m_strHost == m_listedHost && cut->m_strUser == m_listedUser) {
        NameUntimed(m_listedLater);
        m_listedLater.clear();
    }
    ListTheFilesThatWent();
    if (std::none_of(m_folders.begin(), m_folders.end(), [](const auto& e) { return !e.second.waiting.empty(); }))
        return;
    // The times owed on the cut connection that were read before the cut
    // transfer began are kept; the others cannot be asked there.
    if (cut && cut->m_strHost == m_pendingHost && cut->m_strUser == m_pendingUser) {
        if (std::shared_ptr<CFtpClient> open = SelectOpenConnection(cut->m_strHost, cut->m_strUser))
            CollectOwnTimes(*open);
        m_pendingOwn.clear();
    }
    if (cut) DropOpenConnection(cut->m_strHost, cut->m_strUser);
    ReadPendingOwnTimesOf(m_pendingHost, m_pendingUser);
    for (auto& entry : m_folders) {
        FillOwnTimes(entry.second.waiting);
        KeepOwnTimes(entry.second.waiting);
        entry.second.waiting.clear();
    }
}

// Items whose folder's listing cannot be read (a stop, a lost connection):
// those whose own time was read keep it, on the clock the account's
// listings showed in this run (MDTM's own where none did yet); the others
// are named.
void CTransferRun::KeepOwnTimes(std::vector<Waiting>& waiting) {
    std::vector<Waiting> untimed;
    for (Waiting& entry : waiting) {
        const auto clock = m_listingClocks.find(entry.item.RemHost + '\n' + entry.item.RemUser);
        if (entry.ownKnown)
            RecordOwnTime(entry, clock != m_listingClocks.end() ? clock->second : 0, clock != m_listingClocks.end());
        else
            untimed.push_back(entry);
    }
    NameUntimed(untimed);
}

// Items that went whole while their server time could not be read keep
// the mark of a time not known: said here, once each.
void CTransferRun::NameUntimed(const std::vector<Waiting>& waiting) {
    for (const Waiting& entry : waiting)
        WriteTraceString("-?- The server's time of " + entry.item.RemoteDir + entry.item.FileName +
                         " could not be read after its transfer: the next send counts the server's copy as "
                         "changed.");
}

// The item's place in the run: the item in hand, else the first item of
// the same file.
size_t CTransferRun::PlaceOf(const CFileItem& item) const {
    const auto same = [&item](const CFileItem& it) {
        return it.FileName == item.FileName && it.LocalDir == item.LocalDir && it.RemoteDir == item.RemoteDir &&
               it.RemHost == item.RemHost && it.RemUser == item.RemUser;
    };
    if (m_nCurrent >= 0 && m_nCurrent < Count() && same(m_items[static_cast<size_t>(m_nCurrent)]))
        return static_cast<size_t>(m_nCurrent);
    return static_cast<size_t>(std::find_if(m_items.begin(), m_items.end(), same) - m_items.begin());
}

// Every item that did not go, whatever the reason, is named in the run's
// closing list (TransferReport.h), written when the worker ends.
void CTransferRun::NoteFailure(const CFileItem& item, bool reasonShown) {
    NoteFailureBecause(item, reasonShown ? std::string() : MissingFolderReason(item), !reasonShown);
}

void CTransferRun::NoteFailureBecause(const CFileItem& item, const std::string& reason, bool noFolder) {
    m_bAnyFailure = true;
    const size_t at = PlaceOf(item);
    if (at < m_entries.size()) NoteTransferFailed(m_entries[at], reason, noFolder);
}

// The end of this basket's run: the fetched items opened (Open File) when
// all went, or the stop. The list of the items that did not go closes the
// whole run, over all its baskets (TransferReport.h).
bool CTransferRun::Report() {
    if (m_bAnyFailure) {
        // A stopped run ends as stopped, whatever else it met.
        if (g_bFtpBreak) EndFtpWorker("aborted-by-user");
        BeepTransferFailed();
        return true;
    }
    if (g_bOnDemandLogin)
        for (const CFileItem& it : m_items) OpenWithAssociation(it.LocalDir + it.FileName, g_strEditor, g_strTxtOpnStr);
    if (g_bFtpBreak) EndFtpWorker("aborted-by-user");
    BeepTransferFailed();
    return true;
}

// The item's progress line: its number, name and remote folder.
std::string CTransferRun::ItemLine(const Step& s) const {
    std::string l = (m_bToRemote ? "->" : "<-") + FormatItemNumber(s.index + 1, Count()) + " " + s.item.FileName;
    std::string shownDir = s.item.RemoteDir;
    if (GetFtpAccount().m_strHostType != "UNIX") shownDir = ToLowerAscii(shownDir);
    return PadRight(l, m_nNameWidth + 13) + shownDir;
}

}  // namespace

bool TransferFiles(CProgramData& data, bool toRemote) {
    CTransferRun run(data, toRemote);
    return run.Run();
}

std::string GetFileExtension(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    return path.substr(dot);
}

bool RunCommandLine(const std::string& command, const std::string& argument) {
    std::string program = command;
    if (command.empty() || IsWindowsProgramPath(command)) {
        program = ResolveEditorProgram(command);
    } else if (ToLowerAscii(command) == "open") {
        program = "xdg-open";
    }
    if (!program.empty() && SpawnDetached({program, argument})) return true;
    Prompter().Message("Failed to execute the command: " + command + " " + argument, MsgIcon::Stop);
    return false;
}

void OpenWithAssociation(const std::string& path, const std::string& editor,
                         const std::string& textExtensions) {
    FinishCutCopyOf(path);
    const std::string ext = ToLowerAscii(GetFileExtension(path));
    if (ext.empty() || ToLowerAscii(textExtensions).find(ext) != std::string::npos) {
        RunCommandLine(editor, path);
        return;
    }
    if (!SpawnDetached({"xdg-open", path})) RunCommandLine(editor, path);
}
