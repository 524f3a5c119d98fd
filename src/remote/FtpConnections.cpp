#include "remote/FtpConnections.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>

#include "model/FileItem.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "model/Sound.h"
#include "remote/FtpWorker.h"

namespace {

std::mutex g_listMutex;  // guards the list, the current client and the account
// Shared: the keep-alive pass holds the clients it works on, so a connection
// removed meanwhile (the account deleted on the GUI thread) stays alive until
// the pass lets go of it.
std::vector<std::shared_ptr<CFtpClient>> g_OpenConnections;
CFtpClient* g_pCurrentFtpClient = nullptr;
CHost g_FtpAccount;
std::mutex g_inUse;
// Held around each keep-alive exchange and around closing removed clients:
// a client is never closed while the keep-alive talks on it.
std::mutex g_keepAliveClient;
std::mutex g_keepAliveThreadMutex;
std::atomic<bool> g_keepAliveRunning{false};
// The window's close has shut the sockets down: no connection is made
// behind its back.
std::atomic<bool> g_shutDown{false};
// Never destroyed: a pass still running at the very end must not take the
// process down with it.
std::thread& KeepAliveThread() {
    static auto* t = new std::thread();
    return *t;
}

std::string Lower(const std::string& s) { return ToLowerAscii(s); }

int FindLocked(const std::string& host, const std::string& user, bool connectedOnly) {
    const std::string h = Lower(host), u = Lower(user);
    for (size_t i = 0; i < g_OpenConnections.size(); ++i) {
        const CFtpClient& c = *g_OpenConnections[i];
        if (Lower(c.Host()) == h && Lower(c.User()) == u && (!connectedOnly || c.IsConnected()))
            return static_cast<int>(i);
    }
    return -1;
}

// A login adds or updates the vault account. The vault update leaves the
// type of an account it finds alone (a location change from a dialog must
// not wipe it), but after a connect the server's own answer to SYST is the
// type: without it an account stored without a type (or with a wrong one)
// would keep asking, or keep listing with the wrong parser.
void UpdateVaultAfterLogin(CProgramData& data, const std::string& host, const std::string& user,
                           const std::string& password, const std::string& hostType) {
    data.UpdateVaultFromSession(host, user, password, hostType, "", true);
    if (hostType.empty()) return;
    const int c = data.m_Vault.m_nCurrClustInd;
    if (c < 0 || c >= static_cast<int>(data.m_Vault.m_Clusters.size())) return;
    CCluster& cluster = data.m_Vault.m_Clusters[static_cast<size_t>(c)];
    const int h = cluster.m_nHostInd;
    if (h < 0 || h >= static_cast<int>(cluster.m_Hosts.size())) return;
    CHost& account = cluster.m_Hosts[static_cast<size_t>(h)];
    if (Lower(account.m_strHost) != Lower(host) || Lower(account.m_strUser) != Lower(user)) return;
    account.m_strHostType = hostType;
    g_CurrentAccount.m_strHostType = hostType;
}

// Remembers the connected account in the vault the worker looks up, so that
// later items of the run find it; the main data hears it on the GUI thread.
void RememberAccount(CProgramData& data, const std::string& host, const std::string& user,
                     const std::string& password, const std::string& hostType) {
    CProgramData* main = GetMainProgramData();
    if (&data == main) {
        UpdateVaultAfterLogin(data, host, user, password, hostType);
        return;
    }
    bool found = false;
    for (CCluster& cl : data.m_Vault.m_Clusters)
        for (CHost& a : cl.m_Hosts)
            if (!found && Lower(a.m_strHost) == Lower(host) && Lower(a.m_strUser) == Lower(user)) {
                a.m_strUser = user;
                a.m_strPassword = password;
                if (!hostType.empty()) a.m_strHostType = hostType;
                a.m_nStatus = 6;
                found = true;
            }
    if (!found) {
        if (data.m_Vault.m_Clusters.empty()) data.m_Vault.m_Clusters.emplace_back();
        CHost a(Lower(host), user, password);
        a.m_strHostType = hostType;
        a.m_nStatus = 6;
        data.m_Vault.m_Clusters.front().m_Hosts.push_back(a);
    }
    if (main)
        PostToGui([=] {
            if (CProgramData* m = GetMainProgramData())
                UpdateVaultAfterLogin(*m, host, user, password, hostType);
        });
}

}  // namespace

std::mutex& FtpConnectionsInUse() { return g_inUse; }

int FindOpenConnection(const std::string& host, const std::string& user) {
    std::lock_guard<std::mutex> g(g_listMutex);
    return FindLocked(host, user, false);
}

bool IsConnectionOpen(const std::string& host, const std::string& user) {
    std::lock_guard<std::mutex> g(g_listMutex);
    return FindLocked(host, user, true) >= 0;
}

std::vector<OpenConnectionInfo> ListOpenConnections() {
    std::lock_guard<std::mutex> g(g_listMutex);
    std::vector<OpenConnectionInfo> out;
    for (const auto& c : g_OpenConnections) out.push_back({c->Host(), c->User(), c->LastActivity()});
    return out;
}

std::shared_ptr<CFtpClient> SelectOpenConnection(const std::string& host, const std::string& user) {
    std::lock_guard<std::mutex> g(g_listMutex);
    const int i = FindLocked(host, user, false);
    if (i < 0) return nullptr;
    g_pCurrentFtpClient = g_OpenConnections[static_cast<size_t>(i)].get();
    return g_OpenConnections[static_cast<size_t>(i)];
}

CFtpClient* GetCurrentFtpClient() {
    std::lock_guard<std::mutex> g(g_listMutex);
    return g_pCurrentFtpClient;
}

void SetFtpAccount(const CHost& account) {
    std::lock_guard<std::mutex> g(g_listMutex);
    g_FtpAccount = account;
}

CHost GetFtpAccount() {
    std::lock_guard<std::mutex> g(g_listMutex);
    return g_FtpAccount;
}

void AssignConnectionRecord(CHost* destination, const std::string& host, const std::string& user,
                            const std::string& password, const std::string& hostType,
                            const std::string& lastFolder) {
    destination->m_strHost = host;
    destination->m_strUser = user;
    destination->m_strPassword = password;
    destination->m_strHostType = hostType;
    destination->m_strLastFolder = lastFolder;
}

std::string ShortHostName(const std::string& host) {
    if (host.empty() || (host[0] >= '0' && host[0] <= '9')) return host;
    return host.substr(0, host.find('.'));
}

std::string ShownHostName(const std::string& host) { return host.empty() ? "(no host)" : ShortHostName(host); }

namespace {
// Whether the user cancelled the login box of this thread's last ConnectHost.
thread_local bool t_loginCancelled = false;
}  // namespace

std::string LoginFailedLine() { return t_loginCancelled ? "-?- Login cancelled." : "-?- Login failed."; }

std::string MakeConnectionMessage(int kind, const std::string& host, const std::string& user) {
    switch (kind) {
        case 1: return "Connecting to " + ShortHostName(host) + " as " + user + "...";
        case 2: return "+ " + user + " connected to " + ShortHostName(host) + ".";
        case 3: return "- " + user + " disconnected from " + ShortHostName(host) + ".";
        default: return std::string();
    }
}

bool ConnectHost(CProgramData& data, std::string& host, std::string& user, bool lookup) {
    t_loginCancelled = false;
    bool force = false;
    CHost account = GetFtpAccount();
    if (lookup) {
        CHost found;
        if (data.FindVaultHost(host, user, found)) {
            account = found;
        } else {
            account = CHost();
            AssignConnectionRecord(&account, host, user, "", "", "");
            force = true;
        }
    } else if (Lower(account.m_strHost) != Lower(host) || Lower(account.m_strUser) != Lower(user)) {
        std::string keepFolder = account.m_strLastFolder;
        AssignConnectionRecord(&account, host, user, "", "", keepFolder);
    }
    std::string password = account.m_strPassword;
    SetFtpAccount(account);

    for (;;) {
        if (force || host.empty() || user.empty() || ShiftAndControlHeld()) {
            LoginData start;
            start.host = host;
            start.user = user;
            start.password = password;
            start.hostType = account.m_strHostType;
            std::optional<LoginData> answer = Prompter().AskLogin(start);
            if (!answer) {
                g_bAutoSync = false;
                // A stop that closed the box is not the user's answer.
                t_loginCancelled = !g_bFtpBreak;
                return false;
            }
            host = answer->host;
            user = answer->user;
            password = answer->password;
            AssignConnectionRecord(&account, host, user, password, "", "");
            account.m_nStatus = 2;
            SetFtpAccount(account);
        }
        force = false;
        bool reused = false;
        {
            std::lock_guard<std::mutex> g(g_listMutex);
            int i = FindLocked(host, user, false);
            if (i >= 0) {
                g_pCurrentFtpClient = g_OpenConnections[static_cast<size_t>(i)].get();
                account.m_nStatus = 6;
                g_FtpAccount = account;
                reused = true;
            }
        }
        if (reused) {
            PostToGui([account] {
                AssignConnectionRecord(&g_CurrentAccount, account.m_strHost, account.m_strUser,
                                       account.m_strPassword, g_CurrentAccount.m_strHostType,
                                       g_CurrentAccount.m_strLastFolder);
                g_CurrentAccount.m_nStatus = 6;
            });
            return true;
        }
        try {
            WriteTraceString(MakeConnectionMessage(1, host, user));
            auto client = std::make_shared<CFtpClient>();
            client->Connect(host, user, password);
            CFtpClient* raw = client.get();
            {
                std::lock_guard<std::mutex> g(g_listMutex);
                g_OpenConnections.push_back(std::move(client));
                g_pCurrentFtpClient = raw;
            }
            WriteTraceString(MakeConnectionMessage(2, host, user));
            std::string system = raw->GetSystemType();
            if (system == "VMS") user = Lower(user);
            AssignConnectionRecord(&account, host, user, password, system, account.m_strLastFolder);
            account.m_nStatus = 6;
            SetFtpAccount(account);
            RememberAccount(data, host, user, password, system);
            return true;
        } catch (const CFtpClient::FTPException& e) {
            WriteTraceString(e.what());
            // Stopped while connecting or logging in: no login data is
            // wrong, and the stop asks nothing more of the user.
            if (g_bFtpBreak) return false;
            force = true;
        }
    }
}

bool ReconnectQuietly(CProgramData& data, const std::string& host, const std::string& user) {
    if (g_shutDown) return false;
    std::string password;
    bool known = false;
    {
        std::lock_guard<std::mutex> g(g_listMutex);
        const int i = FindLocked(host, user, false);
        if (i >= 0) {
            password = g_OpenConnections[static_cast<size_t>(i)]->Password();
            known = true;
        }
    }
    CHost account;
    if (!known && data.FindVaultHost(host, user, account)) {
        password = account.m_strPassword;
        known = true;
    }
    DropOpenConnection(host, user);
    if (!known) {
        WriteTraceString("-?- No login data for " + user + " on " + ShownHostName(host) + ".");
        return false;
    }
    try {
        WriteTraceString(MakeConnectionMessage(1, host, user));
        auto client = std::make_shared<CFtpClient>();
        client->Connect(host, user, password);
        std::lock_guard<std::mutex> g(g_listMutex);
        g_pCurrentFtpClient = client.get();
        g_OpenConnections.push_back(std::move(client));
    } catch (const CFtpClient::FTPException& e) {
        WriteTraceString(std::string("-?- ") + e.what());
        return false;
    }
    WriteTraceString(MakeConnectionMessage(2, host, user));
    return true;
}

static void RemoveWhere(const std::function<bool(const CFtpClient&)>& match) {
    std::vector<std::shared_ptr<CFtpClient>> removed;
    {
        std::lock_guard<std::mutex> g(g_listMutex);
        for (size_t i = g_OpenConnections.size(); i-- > 0;) {
            if (!match(*g_OpenConnections[i])) continue;
            if (g_OpenConnections[i].get() == g_pCurrentFtpClient) g_pCurrentFtpClient = nullptr;
            removed.push_back(std::move(g_OpenConnections[i]));
            g_OpenConnections.erase(g_OpenConnections.begin() + static_cast<long>(i));
        }
    }
    if (removed.empty()) return;
    std::lock_guard<std::mutex> k(g_keepAliveClient);
    for (auto& c : removed) {
        c->Disconnect();
        WriteTraceString(MakeConnectionMessage(3, c->Host(), c->User()));
    }
}

void DisconnectHost(const std::string& host, const std::string& user) {
    const std::string h = Lower(host);
    RemoveWhere([&](const CFtpClient& c) { return Lower(c.Host()) == h; });
}

bool DropOpenConnection(const std::string& host, const std::string& user) {
    const std::string h = Lower(host), u = Lower(user);
    bool any = false;
    RemoveWhere([&](const CFtpClient& c) {
        const bool m = Lower(c.Host()) == h && Lower(c.User()) == u;
        any = any || m;
        return m;
    });
    return any;
}

void KeepAliveConnections(const std::function<void(const std::string&, const std::string&)>& lost) {
    if (!g_bFtpIdle) return;
    std::unique_lock<std::mutex> use(g_inUse, std::try_to_lock);
    if (!use.owns_lock()) return;
    std::vector<std::shared_ptr<CFtpClient>> clients;
    {
        std::lock_guard<std::mutex> g(g_listMutex);
        clients = g_OpenConnections;
    }
    for (const auto& c : clients) {
        // A worker that started meanwhile waits for this pass, which gives
        // way at once; so does a stop or the window closing.
        if (g_bFtpBreak || !g_bFtpIdle) return;
        bool alive = false;
        std::string text;
        {
            std::lock_guard<std::mutex> k(g_keepAliveClient);
            try {
                alive = c->KeepAlive(text);
            } catch (const CFtpClient::FTPException& e) {
                text = e.what();
            }
        }
        if (alive) continue;
        const std::string host = c->Host(), user = c->User();
        WriteTraceString(text);
        bool stillListed = false;
        {
            std::lock_guard<std::mutex> g(g_listMutex);
            for (const auto& o : g_OpenConnections) stillListed = stillListed || o == c;
        }
        RemoveWhere([&](const CFtpClient& x) { return &x == c.get(); });
        // A connection closed by someone else meanwhile is no lost account.
        if (stillListed && lost) lost(host, user);
        return;  // the others wait for the next pass
    }
}

bool StartKeepAlivePass(std::function<void(const std::string&, const std::string&)> lost) {
    if (!g_bFtpIdle) return false;
    {
        std::lock_guard<std::mutex> g(g_listMutex);
        if (g_OpenConnections.empty()) return false;
    }
    std::lock_guard<std::mutex> t(g_keepAliveThreadMutex);
    if (g_keepAliveRunning) return false;
    std::thread& thread = KeepAliveThread();
    if (thread.joinable()) thread.join();
    g_keepAliveRunning = true;
    thread = std::thread([lost = std::move(lost)] {
        KeepAliveConnections(lost);
        g_keepAliveRunning = false;
    });
    return true;
}

bool JoinKeepAlive(int ms) {
    for (int waited = 0; g_keepAliveRunning && waited < ms; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::lock_guard<std::mutex> t(g_keepAliveThreadMutex);
    if (g_keepAliveRunning) return false;
    std::thread& thread = KeepAliveThread();
    if (thread.joinable()) thread.join();
    return true;
}

void AllowQuietReconnects() { g_shutDown = false; }

void ShutdownConnections() {
    g_shutDown = true;
    std::lock_guard<std::mutex> g(g_listMutex);
    for (auto& c : g_OpenConnections) c->Shutdown();
}

void CloseAllConnections() {
    JoinKeepAlive(5000);
    RemoveWhere([](const CFtpClient&) { return true; });
    SetFtpAccount(CHost());
}

bool ContainsHost(const std::vector<CHost>& list, const CHost& account) {
    return std::any_of(list.begin(), list.end(), [&](const CHost& h) {
        return h.m_strHost == account.m_strHost && h.m_strUser == account.m_strUser;
    });
}

size_t TextColumns(const std::string& text) {
    // Continuation bytes of a multi-byte character take no column of their own.
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string PadRight(const std::string& text, size_t width) {
    const size_t columns = TextColumns(text);
    if (columns >= width) return text;
    return text + std::string(width - columns, ' ');
}

std::time_t GetLocalFileTimes(const std::string& path) {
    std::time_t t = 0;
    if (GetLocalFileTime(path, t)) return t;
    return DefaultItemTime();
}

void BeepTransferDone() {
    if (g_bSoundsOn) PlayTone(1500, 50);
}

void BeepTransferFailed() {
    if (!g_bSoundsOn) return;
    PlayTone(300, 100);
    PlayTone(200, 200);
    PlayTone(500, 200);
}

void RunWithReconnect(CProgramData& data, std::string& host, std::string& user, bool lookup,
                      const std::function<void(CFtpClient&)>& step) {
    CFtpClient* client = GetCurrentFtpClient();
    if (!client) throw CFtpClient::FTPException("Not connected to " + host + ".", true);
    try {
        step(*client);
        return;
    } catch (const CFtpClient::FTPException& e) {
        // A stop request (or the window closing, which shuts the sockets
        // down) is no reason to connect again.
        if (!e.ConnectionLost() || g_bFtpBreak) throw;
        WriteTraceString("-?- " + std::string(e.what()) + " Reconnecting to " +
                         ShortHostName(host) + "...");
        DropOpenConnection(client->Host(), client->User());
        if (!ConnectHost(data, host, user, lookup) || !GetCurrentFtpClient()) throw;
    }
    step(*GetCurrentFtpClient());
}
