#include "remote/TransferEngine.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <set>

#include "filelist/AddFileItems.h"
#include "settings/ProgramOptionsRules.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "platform/Spawn.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/RemoteStatus.h"

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

void StoreItem(size_t i, const CFileItem& item) {
    FtpResultsLock lists;
    if (i < lists->transfer.size()) lists->transfer[i] = item;
}

}  // namespace

std::vector<size_t> FindSameTargetItems(const std::vector<CFileItem>& items, bool toRemote) {
    // What each item writes (the remote file when sending, the local file
    // when fetching) and what it writes it from.
    auto remoteOf = [](const CFileItem& it) {
        std::string path = it.RemoteDir + it.FileName;
        if (it.GetHostKind() == "VMS") path = ToLowerAscii(path);
        return it.RemHost + '\n' + it.RemUser + '\n' + path;
    };
    auto localOf = [](const CFileItem& it) { return it.LocalDir + it.FileName; };
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

    for (int i = 0; i < count; ++i) {
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
                if (g_bFtpBreak) EndFtpWorker("aborted-(2)");
                if (!announced) WriteTraceString(line);
                announced = true;
                if (toRemote)
                    c.PutFile(localPath, remotePath);
                else
                    c.RetrieveFile(remotePath, localPath);
            });
            item.IsFTPed = "Yes";
            item.IsRemoteModified = "No";
            item.IsRemoteMissing = "No";
            item.RefreshLocalTime();
            StoreItem(static_cast<size_t>(i), item);
            if (g_bFtpUpdate) {
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
