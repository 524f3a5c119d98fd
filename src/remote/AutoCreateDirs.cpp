#include "remote/AutoCreateDirs.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FolderScan.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"

namespace {
std::mutex g_listMutex;
std::vector<std::string> g_AutoCreateFolders;

void SetFolderList(const std::vector<std::string>& folders) {
    std::lock_guard<std::mutex> g(g_listMutex);
    g_AutoCreateFolders = folders;
}
}  // namespace

std::vector<std::string> GetAutoCreateFolderList() {
    std::lock_guard<std::mutex> g(g_listMutex);
    return g_AutoCreateFolders;
}

std::string MakeAutoCreateQuestion(const std::vector<std::string>& folders) {
    std::string listing;
    for (size_t i = 0; i < folders.size() && i < 10; ++i) listing += "     " + folders[i] + "\r\n";
    if (folders.size() > 10) listing += "<and more...>\r\n";
    listing += "(Total: " + std::to_string(folders.size()) + ").\r\n";
    std::string q;
    q += "It is now good time to auto-create these directories on the server,\r\n";
    q += "especially if you plan to transfer any of these files to the remote system:\r\n";
    q += listing + "\r\n";
    q += "If you do not plan to transfer any of these file, it is recommended\r\n";
    q += "you select \"No\", since this process takes time.\r\n\r\n";
    q += "\r\n";
    q += "Auto-create remote directories (if they do not already exist)?\r\n";
    return q;
}

void PromptAutoCreateRemoteDirs(CProgramData& data, const std::string& base,
                                const std::vector<CDirEntry>& entries) {
    SetFolderList({});
    if (!g_bFtpIdle) {
        Prompter().Message("One FTP session is already on. Auto-create discarded.", MsgIcon::None);
        return;
    }
    std::vector<std::string> dirs;
    for (const CDirEntry& e : entries)
        if (std::find(dirs.begin(), dirs.end(), e.strRemoteDir) == dirs.end())
            dirs.push_back(e.strRemoteDir);
    // A UNIX account's folder may hold "[": its host type decides the form.
    std::vector<std::string> folders =
        CollectRemoteDirectories(base, dirs, "", g_CurrentAccount.m_strHostType);
    if (Prompter().Ask(MakeAutoCreateQuestion(folders), MsgIcon::Question, false) != Answer::Yes)
        return;
    if (!ClaimFtpSlot("One FTP session is already on. Auto-create discarded.")) return;
    SetFolderList(folders);
    CHost account = g_CurrentAccount;
    SetFtpAccount(account);
    auto snapshot = std::make_shared<CProgramData>(data);
    StartFtpWorker([snapshot, account, folders] {
        AutoCreateRemoteDirs(*snapshot, account.m_strHost, account.m_strUser, folders);
    });
}

void AutoCreateRemoteDirs(CProgramData& data, const std::string& hostIn, const std::string& userIn,
                          const std::vector<std::string>& folders) {
    std::string host = hostIn, user = userIn;
    if (!ConnectHost(data, host, user, false)) {
        WriteTraceString(LoginFailedLine());
        EndFtpWorker("over");
    }
    for (const std::string& folder : folders) {
        if (g_bFtpBreak) {
            LogFtpStatus("User-aborted");
            DisconnectHost(host, user);
            throw FtpWorkerExit("User-aborted");
        }
        try {
            RunWithReconnect(data, host, user, false,
                             [&](CFtpClient& c) { c.MakeDirectory(folder); });
            WriteTraceString("Created: " + folder);
        } catch (const CFtpClient::FTPException& e) {
            WriteTraceString(std::string("Failed: ") + e.what());
        }
    }
}
