#include "remote/RemoteBuild.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "model/Sound.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/RemoteScripts.h"
#include "remote/RemoteStatus.h"
#include "remote/RexecClient.h"
#include "remote/ServerChanges.h"
#include "remote/TransferChecks.h"

std::string RemoteHostTypeOf(const std::string& remoteDir) {
    std::string type;
    if (remoteDir.size() > 1 && remoteDir.find(']', 1) != std::string::npos) type = "VMS";
    if (remoteDir.find('/') != std::string::npos) type = "UNIX";
    return type;
}

namespace {
// Whether the command file's copy on the server changed since its last
// transfer (or whether it did could not be told: why) and the user would
// rather keep it than send and run this one.
bool ServerCopyChanged(CProgramData& data, const RemoteBuildValues& v, const std::string& host,
                       const std::string& user, std::string& why) {
    std::vector<CFileItem> items{v.item};
    items[0].RemHost = host;
    items[0].RemUser = user;
    CServerChangeGuard guard(data, items);
    guard.SetBeforeRun(true);
    if (!guard.Holds(0, host, user)) return false;
    guard.Unchecked(0, why);
    return true;
}
}  // namespace

bool StartRemoteBuild(CProgramData& data, int project, int session, int basket,
                      const std::vector<int>& selection) {
    if (!g_bFtpIdle) {
        Prompter().Message("One FTP session is already on.", MsgIcon::Stop);
        return false;
    }
    if (g_bFtpTicker) {
        Prompter().Message("A remote build is on progress.", MsgIcon::Stop);
        return false;
    }
    if (selection.empty() || !data.IsValidFileItem(false, project, session, basket, selection[0]))
        return false;
    if (!ClaimFtpSlot("One FTP session is already on.")) return false;
    const CFileItem item = data.GetFileItem(project, session, basket, selection[0]);
    auto refuse = [](const std::string& text, MsgIcon icon) {
        Prompter().Message(text, icon);
        g_bFtpIdle = true;
        return false;
    };
    if (!item.IsBatFile) return refuse("You must first mark the file as a com file.", MsgIcon::Stop);
    std::time_t localTime = 0;
    if (item.GetLocalStatus() == "LocalMissing" || !GetLocalFileTime(item.GetLocalPath(), localTime))
        return refuse("The file is not available in the local area.", MsgIcon::Info);
    if (item.RemoteDir.empty())
        return refuse("The file is not available in the remote area.", MsgIcon::Stop);
    // The run sends the command file first: a copy changed on the server
    // since the last transfer is overwritten only when the user says so.
    // No leaves it there and runs nothing (the server's copy is not what
    // the user sees here).
    if (OverwritesAChange(item, true) &&
        Prompter().AskDefaultNo(BothChangedQuestion({item}, true, true), MsgIcon::Question) != Answer::Yes) {
        g_bFtpIdle = true;
        return false;
    }

    auto values = std::make_shared<RemoteBuildValues>();
    values->hostType = RemoteHostTypeOf(item.RemoteDir);
    std::string message;
    bool written = false;
    if (values->hostType == "UNIX")
        written = WriteShellScript(values->scriptLocalPath, values->scriptRemoteName, item, message);
    else if (values->hostType == "VMS")
        written = WriteDclCommandProcedure(values->scriptLocalPath, values->scriptRemoteName, item,
                                           message);
    else {
        Prompter().Message("Unknown remote session type.", MsgIcon::Stop);
        FinishFtpWorker("ignored");
        return false;
    }
    if (!written) {
        std::remove(values->scriptLocalPath.c_str());
        return refuse(message, MsgIcon::Stop);
    }
    values->fileName = item.FileName;
    values->localPath = item.LocalDir + item.FileName;
    values->remotePath = item.RemoteDir + item.FileName;
    values->host = item.RemHost;
    values->user = item.RemUser;
    values->item = item;
    g_CurrentAccount.m_strHost = item.RemHost;
    g_CurrentAccount.m_strUser = item.RemUser;
    {
        FtpResultsLock lists;
        lists->transfer.assign(1, CFileItem());
        lists->transfer[0].LocalModTime = DefaultItemTime();
        lists->project = project;
        lists->session = session;
        lists->basket = basket;
    }
    auto snapshot = std::make_shared<CProgramData>(data);
    StartFtpWorker([snapshot, values] {
        SetInputWindowText("Preparing to execute " + values->fileName + "...");
        std::string output;
        CFileItem result;
        ExecuteRemoteCommandFile(*snapshot, *values, output, result);
        SetInputWindowText(FinishRemoteBuild(output));
        EndFtpWorker("and Rexec over");
    });
    return true;
}

namespace {

// The server's time of the command file, read right after its send (MDTM),
// put on the clock of its listing line (a server may list its local time
// while MDTM gives UTC); its size where it went byte for byte. Without
// FTPUpdate, or where MDTM tells nothing, the time stays as own has it.
void ReadSentFileTime(CFtpClient& c, const RemoteBuildValues& v, CFileItem& own) {
    if (!g_bFtpUpdate || v.hostType != "UNIX") return;
    std::time_t t = 0;
    try {
        if (ReadRemoteFileTime(c, v.remotePath, t) != 213) return;
    } catch (const CFtpClient::FTPException& e) {
        if (e.ConnectionLost()) throw;
        return;
    }
    own.RemoteModTime = t;
    own.RemoteSecondKnown = true;
    own.RemoteTimeListed = false;
    std::error_code ec;
    const auto size = std::filesystem::file_size(v.localPath, ec);
    own.RemoteSize = ec ? -1 : static_cast<long long>(size);
    std::string lines;
    try {
        lines = ItemListingLines(own, c.ListFolderToText(own.RemoteDir));
    } catch (const CFtpClient::FTPException& e) {
        if (e.ConnectionLost()) throw;
    }
    std::time_t offset = 0;
    if (!ZoneOffsetOfLines(own, lines, t, offset)) return;
    own.RemoteModTime = t + offset;
    own.RemoteTimeListed = true;
}

}  // namespace

void ExecuteRemoteCommandFile(CProgramData& data, RemoteBuildValues& v, std::string& output,
                              CFileItem& result) {
    output.clear();
    std::string host = v.host, user = v.user;
    FinishCutCopyOf(v.localPath);
    if (!ConnectHost(data, host, user, true)) {
        std::remove(v.scriptLocalPath.c_str());
        WriteTraceString(LoginFailedLine());
        EndFtpWorker("over");
    }
    std::string why;
    if (ServerCopyChanged(data, v, host, user, why)) {
        std::remove(v.scriptLocalPath.c_str());
        result = HeldItemState(data, v.item, why.empty());
        FtpResultsLock lists;
        if (lists->transfer.empty()) lists->transfer.resize(1);
        lists->transfer[0] = result;
        WriteTraceString("-?- " + v.fileName + " was neither sent nor run: " +
                         (why.empty() ? "the copy on the server changed since its last transfer."
                                      : "whether the copy on the server changed since its last transfer could not "
                                        "be checked (" + why + ")."));
        EndFtpWorker("over");
    }
    bool sent = false;
    CFileItem own = v.item;
    own.RemoteModTime = g_bFtpUpdate ? RemoteUnknownTime() : DefaultItemTime();
    try {
        RunWithReconnect(data, host, user, true, [&](CFtpClient& c) {
            // A shell script must reach a UNIX host with its LF line ends;
            // a VMS host takes text records.
            if (v.hostType == "UNIX")
                c.SetBinaryMode();
            else
                c.SetAsciiMode();
            c.PutFile(v.scriptLocalPath, v.scriptRemoteName);
            c.PutFile(v.localPath, v.remotePath);
            sent = true;
            ReadSentFileTime(c, v, own);
        });
    } catch (const CFtpClient::FTPException& e) {
        std::remove(v.scriptLocalPath.c_str());
        LogFtpFailure(e, "Unable to retrieve files: ", false);
    }
    result = v.item;
    result.IsFTPed = "Yes";
    result.IsRemoteModified = "No";
    result.IsRemoteMissing = "No";
    result.RefreshLocalTime();
    // The server's time of the command file right after it went, as a
    // transfer records it; where it could not be read it is marked not
    // known (the one of the transfer before would read as a change made
    // there), and the next send asks first.
    result.RemoteModTime = sent ? own.RemoteModTime : (g_bFtpUpdate ? RemoteUnknownTime() : DefaultItemTime());
    result.RemoteSecondKnown = sent && own.RemoteSecondKnown;
    result.RemoteSize = sent ? own.RemoteSize : -1;
    result.RemoteTimeUnit = 0;
    result.RemoteTimeListed = sent && own.RemoteTimeListed;
    result.RemHost = host;
    result.RemUser = user;
    {
        FtpResultsLock lists;
        if (lists->transfer.empty()) lists->transfer.resize(1);
        lists->transfer[0] = result;
    }
    std::remove(v.scriptLocalPath.c_str());
    WriteTraceString("---File transferred---");
    SetInputWindowText("Executing " + v.fileName + ":\r\n" +
                       "Waiting for output from REXEC command...\r\n");

    const CHost account = GetFtpAccount();
    const std::string name = v.scriptRemoteName;
    try {
        CRexecClient rexec;
        if (v.hostType == "UNIX") {
            rexec.Execute(account.m_strUser, account.m_strPassword, host, "chmod",
                          "u+x -- " + QuoteShellWord(name), output);
            rexec.Execute(account.m_strUser, account.m_strPassword, host, "sh",
                          "./" + QuoteShellWord(name), output);
            std::string scratch;
            rexec.Execute(account.m_strUser, account.m_strPassword, host, "rm",
                          "-f -- " + QuoteShellWord(name), scratch);
        } else {
            rexec.Execute(account.m_strUser, account.m_strPassword, host, "", "@" + name, output);
            std::string scratch;
            rexec.Execute(account.m_strUser, account.m_strPassword, host, "delete",
                          name + ";*", scratch);
        }
        BeepRemoteBuildDone();
    } catch (const CRexecClient::ZmrRexecException& e) {
        Prompter().Message(std::string("REXEC failed: ") + e.what(), MsgIcon::Stop);
    }
}

std::string FinishRemoteBuild(const std::string& output) {
    if (output.empty()) return std::string();
    std::string t = output;
    for (int i = 0; i < 3 && !t.empty() && (t.front() == '\r' || t.front() == '\n'); ++i)
        t.erase(0, 1);
    for (int i = 0; i < 3 && !t.empty() && (t.back() == '\r' || t.back() == '\n'); ++i) t.pop_back();
    // Every line end becomes CR LF; a CR LF that is already there stays one.
    std::string out;
    out.reserve(t.size() + t.size() / 16 + 2);
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\n' && (i == 0 || t[i - 1] != '\r')) out.push_back('\r');
        out.push_back(t[i]);
    }
    return out + "\r\n";
}

void BeepRemoteBuildDone() {
    if (!g_bSoundsOn) return;
    PlayTone(1500, 100);
    PlayTone(800, 100);
    PlayTone(2000, 100);
    PlayTone(1000, 150);
    PlayTone(2000, 150);
    PlayTone(1000, 200);
}
