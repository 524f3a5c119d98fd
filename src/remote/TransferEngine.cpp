#include "remote/TransferEngine.h"

#include <algorithm>
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
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "platform/Spawn.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/RemoteStatus.h"
#include "remote/SendTargets.h"
#include "remote/TransferChecks.h"

namespace {

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

// Whether the local file goes in one data block: a stop cannot cut it, so
// it goes straight, without the temporary name's extra commands.
bool FitsOneBlock(const std::string& localPath) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(localPath, ec);
    return !ec && size <= CFtpClient::kBlockSize;
}

// Whether the server has a file of that name, asked by MDTM: 1 yes, 0 no,
// -1 when it does not tell.
int RemoteFileExists(CFtpClient& c, const std::string& path) {
    std::string reply;
    const int code = c.SendCommand("MDTM", path, reply);
    return code == 213 ? 1 : code == 550 ? 0 : -1;
}

// How one send that may go through a temporary name goes.
struct SendPlan {
    bool viaTemporary = false;
    std::string tempPath;
    int mode = -1;          // the bits for the temporary before its data; -1: the server's own
    bool tempMade = false;  // the temporary is there already, empty
};

// From now on every send to the item's host goes straight, as the server
// refused something only the temporary name needs; said once a host.
void SendStraightFrom(CSendTargets& targets, const CFileItem& item, const std::string& why) {
    if (targets.SetStraight(item))
        WriteTraceString("-?- " + ShortHostName(item.RemHost) + " " + why +
                         ": files are sent straight over the remote files, so a stopped send leaves the remote "
                         "file cut.");
}

// After a send through a temporary name went straight: what was refused
// decides for the later sends.
void AfterStraightSend(CSendTargets& targets, const CFileItem& item, const CFtpClient& c) {
    const std::string& refused = c.RefusedCommand();
    if (refused == "STOR")
        targets.Folder(item).SetStraight();  // the folder takes no new file
    else if (refused == "RNFR" || refused == "RNTO")
        SendStraightFrom(targets, item, "refuses to rename files");
    else if (!refused.empty())
        SendStraightFrom(targets, item, "refuses " + refused);
}

// A send goes through a temporary name only where the folder's listing
// shows the target's own line as a plain file with one link that the login
// user owns and may write, and shows owners at all: then the file put in
// the target's place keeps all that a plain STOR keeps. A name the listing
// does not show (a new file, or one the server hides or leaves past its
// cap), a link, a folder, a read-only or someone else's file goes
// straight, as it always went; so does every send to a host that refused
// a command only the temporary name needs. The folder is listed once,
// before the first send into it that may go through a temporary name.
SendPlan PlanSend(CFtpClient& c, CSendTargets& targets, const CFileItem& item) {
    SendPlan plan;
    if (targets.Straight(item)) return plan;
    CFolderTargets& folder = targets.Folder(item);
    if (folder.Straight()) return plan;
    if (!folder.Listed()) {
        // One listing tells every target of the folder, with the names
        // starting with a dot.
        std::string text;
        try {
            text = c.ListFolderToText(item.RemoteDir, "-a");
        } catch (const CFtpClient::FTPException& e) {
            if (e.ConnectionLost()) throw;
            SendStraightFrom(targets, item, "refuses \"LIST -a\"");
            return plan;
        }
        folder.Read(text);
        if (folder.ShowsOwners()) targets.SetShowsOwners(item);
    }
    const CListingFields* target = folder.Find(item.FileName);
    if (!target || !IsReplaceableTarget(*target)) return plan;
    // A name no file has, not even one of the user's or one this run
    // sends. A listing that may leave names out (without "." dot names may
    // be hidden; or as long as a server's cap) is asked about the name.
    const bool whole = folder.HiddenShown() && !folder.MayBeCut();
    std::string temp;
    for (;;) {
        temp = folder.FreeTemporaryName(item.FileName, kMaxRemoteNameBytes);
        if (temp.empty()) return plan;
        if (whole) break;
        const int there = RemoteFileExists(c, item.RemoteDir + temp);
        if (there == 0) break;
        folder.Take(temp);
        if (there < 0) return plan;
    }
    plan.tempPath = item.RemoteDir + temp;
    // The new file must belong to whom the old one did: the owner and
    // group a new file of the login user's gets in this folder are seen
    // once, on an empty temporary.
    if (!folder.OwnerTried()) {
        plan.tempMade = c.MakeEmptyFile(plan.tempPath);
        CFolderTargets made;
        if (plan.tempMade) {
            try {
                made.Read(c.ListFolderToText(item.RemoteDir, "-a"));
            } catch (const CFtpClient::FTPException& e) {
                if (e.ConnectionLost()) throw;
                c.DropFile(plan.tempPath);
                SendStraightFrom(targets, item, "refuses \"LIST -a\"");
                return SendPlan();
            }
        }
        folder.SetOwnerFrom(made.Find(temp));
        if (made.ShowsOwners() || folder.ShowsOwners()) targets.SetShowsOwners(item);
    }
    // Where every line shows one owner and group, the listing cannot tell
    // the user's files from others' (vsftpd's hide_ids names them all
    // "ftp"): nothing proves the target the user's.
    const bool owners = targets.ShowsOwners(item);
    if (!owners && folder.OwnerKnown() && targets.Tell(item, "owners"))
        WriteTraceString("-?- " + ShortHostName(item.RemHost) +
                         " shows one owner for all its files: files are sent straight over the remote files, so "
                         "a stopped send leaves the remote file cut.");
    if (!owners || !folder.SameAsOwnFile(*target)) {
        if (plan.tempMade) c.DropFile(plan.tempPath);
        return SendPlan();
    }
    // A new file gets the very bits the target has: nothing to carry over,
    // and the temporary needs neither an empty start nor CHMOD.
    plan.mode = plan.tempMade || target->mode != folder.NewFileMode() ? target->mode : -1;
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
    auto remoteOf = [](const CFileItem& it) { return RemoteTargetKey(it); };
    auto localOf = [](const CFileItem& it) { return LocalTargetKey(it); };
    std::map<std::string, std::set<std::string>> sources;
    for (const CFileItem& it : items) {
        if (it.RemoteDir.empty() || it.LocalDir.empty()) continue;
        sources[toRemote ? remoteOf(it) : localOf(it)].insert(toRemote ? localOf(it) : remoteOf(it));
    }
    std::vector<size_t> refused;
    for (size_t i = 0; i < items.size(); ++i) {
        const CFileItem& it = items[i];
        if (it.RemoteDir.empty() || it.LocalDir.empty()) continue;
        if (sources[toRemote ? remoteOf(it) : localOf(it)].size() > 1) refused.push_back(i);
    }
    return refused;
}

std::string SameTargetRefusal(const CFileItem& item, bool toRemote) {
    const std::string remote = item.RemHost + ":" + item.RemoteDir + item.FileName;
    const std::string local = item.LocalDir + item.FileName;
    return toRemote ? "-?- Not sent: " + local + " -> " + remote +
                          " (other items of this run write the same remote file)"
                    : "-?- Not fetched: " + remote + " -> " + local +
                          " (other items of this run write the same local file)";
}

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

bool TransferFiles(CProgramData& data, bool toRemote) {
    std::string failures;
    int counter = 1;
    std::vector<CHost> failedHosts;
    std::vector<CFileItem> items;
    {
        FtpResultsLock lists;
        items = lists->transfer;
    }
    const int count = static_cast<int>(items.size());
    size_t width = 0;
    for (const CFileItem& it : items) width = std::max(width, TextColumns(it.FileName));
    // The local folder made (or found) for the item before: a basket's items
    // mostly share one, which need not be made again for each.
    std::string madeLocalDir;
    std::set<std::string> missingDirs;  // remote folders looked at after a failed send
    std::set<std::string> straightHosts;  // hosts told that sends go straight over their files
    // The remote folders listed before the first send into them that goes
    // through a temporary name, and the hosts whose sends go straight.
    CSendTargets targets(items);

    // Items that would write one file from different sources go nowhere:
    // whichever came last would silently replace the others.
    std::vector<bool> refused(items.size(), false);
    for (size_t i : FindSameTargetItems(items, toRemote)) {
        refused[i] = true;
        CFileItem item = items[i];
        item.IsFTPed = "failed";
        StoreItem(i, item);
        WriteTraceString(SameTargetRefusal(item, toRemote));
    }

    // With FTPUpdate each transferred item takes its remote time from its
    // line of a listing. One listing of the remote folder, taken after the
    // folder's last item of the run, gives every item of it the same line
    // as a listing of the file itself would, at the cost of one listing
    // instead of one per item (a server reads the whole folder for either).
    // Items wait for it here: by folder, the transferred items and the
    // index of the folder's last item.
    struct FolderUpdate {
        int last = -1;
        std::vector<std::pair<int, CFileItem>> waiting;
    };
    std::map<std::tuple<std::string, std::string, std::string>, FolderUpdate> folders;
    std::vector<std::tuple<std::string, std::string, std::string>> folderOf;
    for (int i = 0; i < count; ++i) {
        const CFileItem& it = items[static_cast<size_t>(i)];
        folderOf.emplace_back(it.RemHost, it.RemUser, it.RemoteDir);
        folders[folderOf.back()].last = i;
    }
    // Lists a folder and updates its waiting items. A run being stopped
    // uses the current connection as it is, never a new one.
    auto updateFolder = [&](FolderUpdate& folder, bool stopping) {
        if (folder.waiting.empty()) return;
        std::vector<std::pair<int, CFileItem>> waiting;
        waiting.swap(folder.waiting);
        CFileItem& first = waiting.front().second;
        std::string host = first.RemHost, user = first.RemUser;
        const auto onHost = [&](const std::function<void(CFtpClient&)>& step) {
            if (!stopping) return RunWithReconnect(data, host, user, true, step);
            CFtpClient* c = GetCurrentFtpClient();
            if (!c) throw CFtpClient::FTPException("Not connected to " + host + ".", true);
            step(*c);
        };
        std::string listing;
        try {
            onHost([&](CFtpClient& c) {
                // From inside the folder: pure-ftpd reads blanks in a LIST
                // argument as separators.
                listing = c.ListFolderToText(first.RemoteDir);
            });
        } catch (const CFtpClient::FTPException& e) {
            // Stopped meanwhile: the items wait for the listing of the stop.
            if (g_bFtpBreak && !stopping) {
                folder.waiting.swap(waiting);
                return;
            }
            LogFtpFailure(e, "", true);
            return;
        }
        // The listing's lines by the name each gives, so that each item
        // looks at its own lines only, not at the whole listing.
        std::unordered_map<std::string, std::vector<std::string_view>> byName;
        for (std::size_t start = 0; start < listing.size();) {
            std::size_t end = listing.find('\n', start);
            if (end == std::string::npos) end = listing.size();
            std::string_view line(listing.data() + start, end - start);
            start = end + 1;
            std::string bare(line);
            if (!bare.empty() && bare.back() == '\r') bare.pop_back();
            byName[CFtpClient::UnixListingName(bare)].push_back(line);
        }
        // The exact seconds of the folder's files, asked all at once.
        std::vector<int> seconds;
        if (!stopping) {
            std::vector<std::string> paths;
            for (const auto& entry : waiting)
                if (entry.second.GetHostKind() == "UNIX")
                    paths.push_back(entry.second.RemoteDir + entry.second.FileName);
            try {
                if (!paths.empty())
                    onHost([&](CFtpClient& c) { seconds = c.GetModificationSeconds(paths); });
            } catch (const CFtpClient::FTPException&) {
                seconds.clear();  // each item asks for its own below
            }
        }
        size_t nextSecond = 0;
        for (auto& [index, item] : waiting) {
            const bool unix = item.GetHostKind() == "UNIX";
            const size_t mine = unix ? nextSecond++ : seconds.size();
            std::vector<std::string_view> own;
            for (const std::string& name : {item.FileName, item.RemoteDir + item.FileName}) {
                auto found = byName.find(name);
                if (found != byName.end())
                    own.insert(own.end(), found->second.begin(), found->second.end());
            }
            // In the listing's order, each line once, as the whole listing gives them.
            using View = std::string_view;
            auto before = [](View a, View b) { return a.data() < b.data(); };
            auto same = [](View a, View b) { return a.data() == b.data(); };
            std::sort(own.begin(), own.end(), before);
            own.erase(std::unique(own.begin(), own.end(), same), own.end());
            std::string ownText;
            for (std::string_view l : own) ownText.append(l).append("\n");
            std::string lines = ItemListingLines(item, ownText);
            if (lines.empty()) {
                // Not in the folder's listing (a server may cut a long
                // one short): the file itself is listed, as it was.
                try {
                    onHost([&](CFtpClient& c) {
                        lines = ItemListingLines(item, c.ListToText(item.RemoteDir + item.FileName));
                        if (lines.empty()) lines = ListItemLinesByPattern(c, item);
                    });
                } catch (const CFtpClient::FTPException& e) {
                    LogFtpFailure(e, "", true);
                    continue;
                }
            }
            std::string status;
            item.UpdateRemoteStatus(lines, status);
            int second = -1;
            if (!stopping && mine < seconds.size()) {
                second = seconds[mine];
            } else if (!stopping) {
                second = AskRemoteSecond(data, host, user, item);
            } else if (unix) {
                try {
                    onHost([&](CFtpClient& c) { second = c.GetModificationSecond(item.RemoteDir + item.FileName); });
                } catch (const CFtpClient::FTPException&) {
                }
            }
            KeepRemoteSecond(item, second);
            StoreItem(static_cast<size_t>(index), item);
        }
    };
    auto updateAllFolders = [&] {
        for (auto& entry : folders) updateFolder(entry.second, false);
    };
    // A stop ends the run, yet the files that arrived whole get their
    // remote times: each folder holding such files is listed once on the
    // connection still open to its host, the stop held back meanwhile.
    // Another stop, or the closing window shutting the sockets down, ends
    // that listing; the files then keep no remote time, never an old one.
    auto updateAtStop = [&] {
        if (std::none_of(folders.begin(), folders.end(), [](const auto& e) { return !e.second.waiting.empty(); }))
            return;
        g_bFtpBreak = false;
        for (auto& entry : folders) {
            FolderUpdate& folder = entry.second;
            if (folder.waiting.empty() || g_bFtpBreak) continue;
            const CFileItem& first = folder.waiting.front().second;
            if (const auto open = SelectOpenConnection(first.RemHost, first.RemUser)) updateFolder(folder, true);
        }
        g_bFtpBreak = true;
    };
    // A folder listing serves a UNIX host's items; a name starting with a dot
    // is not in it (servers leave such names out unless asked), and a VMS
    // listing is read as one entry: those items list the file itself.
    auto listsFolder = [](const CFileItem& it) {
        return it.GetHostKind() != "VMS" && !it.FileName.empty() && it.FileName[0] != '.';
    };

    for (int i = 0; i < count; ++i) {
        // The folder of the item before is listed once that was its last
        // item; all are when the run is being stopped, for the items it has
        // transferred.
        if (!g_bFtpBreak && i > 0) {
            FolderUpdate& previous = folders[folderOf[static_cast<size_t>(i - 1)]];
            if (previous.last == i - 1) updateFolder(previous, false);
        }
        if (g_bFtpBreak) updateAtStop();
        {
            FtpResultsLock lists;
            if (lists->transfer.empty()) EndFtpWorker("aborted-(-?-)");
            if (static_cast<size_t>(i) < lists->transfer.size())
                items[static_cast<size_t>(i)] = lists->transfer[static_cast<size_t>(i)];
        }
        if (refused[static_cast<size_t>(i)]) continue;
        CFileItem item = items[static_cast<size_t>(i)];
        item.IsFTPed = "failed";
        StoreItem(static_cast<size_t>(i), item);
        if (item.RemoteDir.empty() || item.LocalDir.empty()) {
            failures += "   " + std::to_string(counter++) + ". " + item.FileName + "\r\n";
            continue;
        }
        if (ContainsHost(failedHosts, CHost(item.RemHost, item.RemUser))) {
            WriteTraceString(ShortHostName(item.RemHost) + " is not connected. " + item.FileName +
                             " is skipped.");
            continue;
        }
        // The item's progress line: its number, name and remote folder.
        auto itemLine = [&] {
            std::string l = (toRemote ? "->" : "<-") + FormatItemNumber(i + 1, count) + " " +
                            item.FileName;
            std::string shownDir = item.RemoteDir;
            if (GetFtpAccount().m_strHostType != "UNIX") shownDir = ToLowerAscii(shownDir);
            return PadRight(l, width + 13) + shownDir;
        };
        std::string host = item.RemHost, user = item.RemUser;
        if (!ConnectHost(data, host, user, true)) {
            // Which item the failed login stopped.
            WriteTraceString(itemLine());
            WriteTraceString("-?- Login failed.");
            failedHosts.push_back(CHost(item.RemHost, item.RemUser));
            continue;
        }
        if (host != item.RemHost || user != item.RemUser) {
            const std::string oldHost = item.RemHost, oldUser = item.RemUser;
            RenameTransferListAccount(oldHost, oldUser, host, user);
            RenameItemAccount(data, oldHost, oldUser, host, user);
            if (GetMainProgramData() && GetMainProgramData() != &data)
                PostToGui([=] {
                    if (CProgramData* m = GetMainProgramData())
                        RenameItemAccount(*m, oldHost, oldUser, host, user);
                });
            for (CFileItem& it : items)
                if (it.RemHost == oldHost && it.RemUser == oldUser) {
                    it.RemHost = host;
                    it.RemUser = user;
                }
            for (auto& entry : folders)
                for (auto& [index, it] : entry.second.waiting)
                    if (it.RemHost == oldHost && it.RemUser == oldUser) {
                        it.RemHost = host;
                        it.RemUser = user;
                    }
            item.RemHost = host;
            item.RemUser = user;
        }
        if (item.LocalDir != madeLocalDir) {
            if (!CreateFolderPath(item.LocalDir)) EndFtpWorker("failed to create local dir");
            madeLocalDir = item.LocalDir;
        }

        const std::string remotePath = item.RemoteDir + item.FileName;
        const std::string localPath = item.LocalDir + item.FileName;
        const std::string line = itemLine();

        // A file marked text whose start holds a NUL byte is no text: sent
        // or fetched as text it would lose or gain bytes.
        if (!item.IsBinaryFile && HasNulByteInHead(localPath)) {
            item.IsBinaryFile = true;
            WriteTraceString(item.FileName + " is marked ASCII but holds NUL bytes: it goes in BINARY.");
        }
        // A send goes straight to a VMS host (which keeps versions), to a
        // server that refused the rename in this run, and when it is one
        // data block, which a stop cannot cut.
        const bool vms = item.GetHostKind() == "VMS";
        const std::string hostKey = host + '\n' + user;
        const bool straightSend = toRemote && (vms || FitsOneBlock(localPath));
        SendPlan plan;
        bool switched = false;  // the type commands ran on this connection
        bool announced = false;
        try {
            RunWithReconnect(data, host, user, true, [&](CFtpClient& c) {
                // The transfer type is the connection's own.
                const std::string type = c.GetTransferType();
                try {
                    if (type == "ASCII" && item.IsBinaryFile) {
                        if (!switched) WriteTraceString("Switching to BINARY:");
                        c.SetBinaryMode();
                        c.SetBinaryMode();
                    } else if (type == "BINARY" && !item.IsBinaryFile) {
                        if (!switched) WriteTraceString("Switching to ASCII:");
                        c.SetAsciiMode();
                    } else if (type == "BINARY" && item.IsBinaryFile) {
                        c.SetBinaryMode();
                    }
                } catch (const CFtpClient::FTPException& e) {
                    if (e.ConnectionLost()) throw;
                    WriteTraceString("-?- " +
                                     std::string(item.IsBinaryFile ? "Unable to switch to BINARY: "
                                                                   : "Unable to switch to ASCII: ") +
                                     e.what());
                    EndFtpWorker("unsuccessful");
                }
                switched = true;
                // How a send goes is found before its line is written.
                if (toRemote && !straightSend && !g_bFtpBreak) {
                    plan = PlanSend(c, targets, item);
                    if (g_bFtpBreak && plan.tempMade) c.DropFile(plan.tempPath);
                }
                if (g_bFtpBreak) EndFtpWorker("aborted-(2)");
                if (!announced) WriteTraceString(line);
                announced = true;
                if (!toRemote) {
                    c.RetrieveFile(remotePath, localPath);
                    // Marked text by its extension only, the file may be
                    // none: converted it would lose or gain bytes.
                    if (!item.IsBinaryFile && c.RetrievedNulInHead()) {
                        item.IsBinaryFile = true;
                        WriteTraceString(item.FileName +
                                         " is marked ASCII but holds NUL bytes: it is fetched again in BINARY.");
                        c.SetBinaryMode();
                        c.RetrieveFile(remotePath, localPath);
                    }
                    return;
                }
                // A larger send goes to a temporary name and is renamed
                // over the remote file when whole, so that a stop never
                // leaves the server's copy cut; where that would keep less
                // than a plain STOR keeps (see PlanSend), it goes straight.
                if (straightSend) {
                    if (vms && straightHosts.insert(hostKey).second)
                        WriteTraceString("-?- " + ShortHostName(host) +
                                         " is a VMS host: files are sent straight over the remote files, so a "
                                         "stopped send leaves the remote file cut.");
                    c.PutFile(localPath, remotePath);
                    return;
                }
                if (!plan.viaTemporary) {
                    c.PutFile(localPath, remotePath);
                    return;
                }
                if (!c.PutFileReplacing(localPath, remotePath, plan.tempPath, plan.mode, plan.tempMade))
                    AfterStraightSend(targets, item, c);
            });
            item.IsFTPed = "Yes";
            item.IsRemoteModified = "No";
            item.IsRemoteMissing = "No";
            item.RefreshLocalTime();
            if (g_bFtpUpdate) {
                // Until its listing line is read the remote time is not
                // known: the one of the transfer before would read as a
                // change made on the server.
                item.RemoteModTime = DefaultItemTime();
                item.RemoteSecondKnown = false;
                item.RemoteSize = -1;
            }
            StoreItem(static_cast<size_t>(i), item);
            if (g_bFtpUpdate && listsFolder(item)) {
                folders[folderOf[static_cast<size_t>(i)]].waiting.emplace_back(i, item);
            } else if (g_bFtpUpdate) {
                std::string listing;
                RunWithReconnect(data, host, user, true, [&](CFtpClient& c) {
                    listing = ListItemLines(c, item);
                });
                std::string status;
                item.UpdateRemoteStatus(ItemListingLines(item, listing), status);
                KeepRemoteSecond(item, AskRemoteSecond(data, host, user, item));
                StoreItem(static_cast<size_t>(i), item);
            }
            BeepTransferDone();
        } catch (const CFtpClient::UserAbort& a) {
            // Only a send stopped on its way to a temporary name leaves the
            // connection in step for the stop's listing.
            if (a.WasUpload() && a.RemoteKept()) updateAtStop();
            throw;
        } catch (const CFtpClient::FTPException& e) {
            // A failure before the item's own line (say the connection was
            // lost at the type command) still shows which item it was.
            if (!announced) WriteTraceString(line);
            LogFtpFailure(e, "", true);
            // A send into a folder the server does not have fails per file
            // with the server's bare reply: name the folder once.
            if (toRemote && !e.ConnectionLost() && item.GetHostKind() == "UNIX" &&
                missingDirs.insert(host + '\n' + user + '\n' + item.RemoteDir).second &&
                !RemoteFolderExists(data, host, user, item.RemoteDir))
                WriteTraceString("-?- The remote folder " + item.RemoteDir + " does not exist on " +
                                 ShortHostName(host) +
                                 ". Make it first (the remote browser's new-folder button), or add the files "
                                 "by dropping their folder.");
        }
    }
    if (g_bFtpBreak)
        updateAtStop();
    else
        updateAllFolders();

    if (!failures.empty()) {
        failures.resize(failures.size() - 2);
        SetMessageWindowText("Failed to transfer the following:\r\n" + failures);
        BeepTransferFailed();
        return true;
    }
    if (g_bOnDemandLogin)
        for (const CFileItem& it : items)
            OpenWithAssociation(it.LocalDir + it.FileName, g_strEditor, g_strTxtOpnStr);
    if (g_bFtpBreak) EndFtpWorker("aborted-by-user");
    BeepTransferFailed();
    return true;
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
    const std::string ext = ToLowerAscii(GetFileExtension(path));
    if (ext.empty() || ToLowerAscii(textExtensions).find(ext) != std::string::npos) {
        RunCommandLine(editor, path);
        return;
    }
    if (!SpawnDetached({"xdg-open", path})) RunCommandLine(editor, path);
}
