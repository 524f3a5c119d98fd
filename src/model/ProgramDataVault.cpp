// The account vault operations of the program data.
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

namespace {
IVaultObserver* g_vaultObserver = nullptr;
RemoteBrowserFn g_remoteBrowser;

int Count(size_t n) { return static_cast<int>(n); }

bool Matches(const CHost& h, const std::string& lhost, const std::string& luser) {
    return ToLowerAscii(h.m_strHost) == lhost && ToLowerAscii(h.m_strUser) == luser;
}
}  // namespace

IVaultObserver* SetVaultObserver(IVaultObserver* observer) {
    IVaultObserver* old = g_vaultObserver;
    g_vaultObserver = observer;
    return old;
}

void SetRemoteBrowser(RemoteBrowserFn fn) { g_remoteBrowser = std::move(fn); }

void CProgramData::AddCluster(const std::string& name, int c) {
    auto& v = m_Vault.m_Clusters;
    if (c < 0 || c > Count(v.size()) || !IsStorableName(name)) return;
    v.insert(v.begin() + c, CCluster(name, 0));
    m_Vault.RenumberClusterIndices();
}

void CProgramData::DeleteCluster(int c) {
    auto& v = m_Vault.m_Clusters;
    if (c < 0 || c >= Count(v.size())) return;
    v.erase(v.begin() + c);
    m_Vault.RenumberClusterIndices();
    if (m_Vault.m_nCurrClustInd >= Count(v.size())) m_Vault.m_nCurrClustInd = v.empty() ? 0 : Count(v.size()) - 1;
}

int CProgramData::GetClusterCount() const { return Count(m_Vault.m_Clusters.size()); }

std::string CProgramData::GetClusterName(int c) const {
    if (c < 0 || c >= GetClusterCount()) return "";
    return m_Vault.m_Clusters[c].m_strName;
}

void CProgramData::SetClusterName(int c, const std::string& name) {
    if (c < 0 || c >= GetClusterCount() || !IsStorableName(name)) return;
    m_Vault.m_Clusters[c].m_strName = name;
}

void CProgramData::AddHost(const std::string& host, const std::string& user,
                           const std::string& password, int c, int h) {
    if (c < 0 || c >= GetClusterCount()) return;
    auto& v = m_Vault.m_Clusters[c].m_Hosts;
    if (h < 0 || h > Count(v.size())) return;
    CHost account(host, user, password);
    account.m_nClusterInd = c;
    v.insert(v.begin() + h, std::move(account));
}

void CProgramData::DeleteHost(int c, int h) {
    if (!GetHostPtr(c, h)) return;
    auto& cl = m_Vault.m_Clusters[c];
    cl.m_Hosts.erase(cl.m_Hosts.begin() + h);
    if (cl.m_nHostInd >= Count(cl.m_Hosts.size())) cl.m_nHostInd = cl.m_Hosts.empty() ? 0 : Count(cl.m_Hosts.size()) - 1;
}

int CProgramData::GetHostCount(int c) const {
    if (c < 0 || c >= GetClusterCount()) return 0;
    return Count(m_Vault.m_Clusters[c].m_Hosts.size());
}

CHost* CProgramData::GetHostPtr(int c, int h) {
    if (c < 0 || c >= GetClusterCount()) return nullptr;
    auto& v = m_Vault.m_Clusters[c].m_Hosts;
    if (h < 0 || h >= Count(v.size())) return nullptr;
    return &v[h];
}

CHost CProgramData::GetHost(int c, int h) const {
    if (c < 0 || c >= GetClusterCount()) return CHost();
    const auto& v = m_Vault.m_Clusters[c].m_Hosts;
    if (h < 0 || h >= Count(v.size())) return CHost();
    return v[h];
}

bool CProgramData::SetHost(int c, int h, const CHost& account) {
    CHost* p = GetHostPtr(c, h);
    if (!p) return false;
    *p = account;
    return true;
}

// The current cluster first, then the others in index order.
bool CProgramData::SearchVault(const std::string& host, const std::string& user, int& c, int& h) const {
    const std::string lh = ToLowerAscii(host), lu = ToLowerAscii(user);
    const int n = GetClusterCount();
    const int cur = m_Vault.m_nCurrClustInd;
    auto searchOne = [&](int ci) {
        const auto& hosts = m_Vault.m_Clusters[ci].m_Hosts;
        for (size_t j = 0; j < hosts.size(); ++j)
            if (Matches(hosts[j], lh, lu)) {
                c = ci;
                h = static_cast<int>(j);
                return true;
            }
        return false;
    };
    if (cur >= 0 && cur < n && searchOne(cur)) return true;
    for (int ci = 0; ci < n; ++ci)
        if (ci != cur && searchOne(ci)) return true;
    return false;
}

bool CProgramData::FindVaultHost(const std::string& host, const std::string& user, CHost& out) const {
    int c = 0, h = 0;
    if (!SearchVault(host, user, c, h)) return false;
    out = m_Vault.m_Clusters[c].m_Hosts[h];
    return true;
}

bool CProgramData::UpdateVaultHost(const std::string& host, const std::string& user, const CHost& account) {
    int c = 0, h = 0;
    if (!SearchVault(host, user, c, h)) return false;
    m_Vault.m_Clusters[c].m_Hosts[h] = account;
    return true;
}

void CProgramData::FindVaultHostEx2(const std::string& host, const std::string& user, int& c, int& h) const {
    if (host.empty() || user.empty()) return;
    int cc = 0, hh = 0;
    if (SearchVault(host, user, cc, hh)) {
        c = cc;
        h = hh;
    }
}

void CProgramData::SetVaultLastFolder(const std::string& host, const std::string& user,
                                      const std::string& folder) {
    int c = 0, h = 0;
    if (SearchVault(host, user, c, h)) m_Vault.m_Clusters[c].m_Hosts[h].m_strLastFolder = folder;
}

std::string CProgramData::GetVaultPassword(const std::string& host, const std::string& user) const {
    const std::string lh = ToLowerAscii(host), lu = ToLowerAscii(user);
    for (const auto& cl : m_Vault.m_Clusters)
        for (const auto& h : cl.m_Hosts)
            if (Matches(h, lh, lu)) return h.m_strPassword;
    return "";
}

std::string CProgramData::GetHostType(const std::string& host, const std::string& user) {
    const std::string lh = ToLowerAscii(host), lu = ToLowerAscii(user);
    for (auto& cl : m_Vault.m_Clusters)
        for (auto& h : cl.m_Hosts)
            if (Matches(h, lh, lu)) {
                if (h.m_strHostType == "UNIX" || h.m_strHostType == "VMS") return h.m_strHostType;
                Answer a = Prompter().Ask("Is this a UNIX (LINUX) machine?", MsgIcon::Question, false);
                h.m_strHostType = a == Answer::Yes ? "UNIX" : "VMS";
                return h.m_strHostType;
            }
    return "";
}

std::string CProgramData::GetKnownHostType(const std::string& host, const std::string& user) const {
    const std::string lh = ToLowerAscii(host), lu = ToLowerAscii(user);
    for (const auto& cl : m_Vault.m_Clusters)
        for (const auto& h : cl.m_Hosts)
            if (Matches(h, lh, lu)) return h.m_strHostType == "UNIX" || h.m_strHostType == "VMS" ? h.m_strHostType : "";
    return "";
}

void CProgramData::SetKnownHostTypes(std::vector<CFileItem>& items) const {
    for (CFileItem& item : items) item.HostType = GetKnownHostType(item.RemHost, item.RemUser);
}

void CProgramData::UpdateVaultFromSession(const std::string& hostIn, const std::string& user,
                                          const std::string& password, const std::string& hostType,
                                          const std::string& lastFolder, bool mark) {
    if (hostIn.empty() || user.empty()) return;
    const std::string host = ToLowerAscii(hostIn);
    int c = 0, h = 0;
    if (SearchVault(host, user, c, h)) {
        CHost& acc = m_Vault.m_Clusters[c].m_Hosts[h];
        acc.m_strPassword = password;
        acc.m_strUser = user;
        if (!lastFolder.empty()) acc.m_strLastFolder = lastFolder;
        if (mark) acc.m_nStatus = 6;
        if (g_vaultObserver) g_vaultObserver->UpdateAccountItem(c, h);
        m_Vault.m_nCurrClustInd = c;
        m_Vault.m_Clusters[c].m_nHostInd = h;
        g_CurrentAccount = acc;
        return;
    }
    if (m_Vault.m_Clusters.empty()) EnsureDefaultCluster();
    int cur = m_Vault.m_nCurrClustInd;
    if (cur < 0 || cur >= GetClusterCount()) cur = m_Vault.m_nCurrClustInd = 0;
    CHost acc(host, user, password);
    acc.m_strHostType = hostType;
    acc.m_strLastFolder = lastFolder;
    acc.m_nStatus = mark ? 6 : 2;
    acc.m_nClusterInd = cur;
    auto& hosts = m_Vault.m_Clusters[cur].m_Hosts;
    size_t at = 0;
    while (at < hosts.size() && !(hosts[at].m_strHost > host)) ++at;
    hosts.insert(hosts.begin() + static_cast<long>(at), acc);
    if (g_vaultObserver) g_vaultObserver->InsertAccountItem(cur, static_cast<int>(at));
    m_Vault.m_Clusters[cur].m_nHostInd = static_cast<int>(at);
    g_CurrentAccount = acc;
}

bool CProgramData::RunRemoteBrowser(const std::string& pattern, std::vector<RemoteFileChoice>& files,
                                    std::vector<RemoteFolderChoice>& folders) {
    Prompter().SetWaitCursor(true);
    CHost account = g_CurrentAccount;
    std::vector<RemoteFileChoice> f;
    std::vector<RemoteFolderChoice> d;
    bool ok = g_remoteBrowser && g_remoteBrowser(pattern, account, f, d);
    if (ok) {
        // The browser hands back the account it browsed: the one asked for,
        // or the one a login on the way named (and made, on a fresh work
        // area). Its visited folders and last folder go to that account.
        g_CurrentAccount = account;
        UpdateVaultHost(account.m_strHost, account.m_strUser, g_CurrentAccount);
        if (CSession* se = GetSessionPtr(GetCurProject(), GetCurSession()))
            se->RemoteDir = g_CurrentAccount.m_strLastFolder;
        files = std::move(f);
        folders = std::move(d);
    }
    Prompter().SetWaitCursor(false);
    return ok;
}

std::string CProgramData::BrowseRemoteFolder() {
    std::vector<RemoteFileChoice> f;
    std::vector<RemoteFolderChoice> d;
    return RunRemoteBrowser("*.DIR", f, d) ? g_CurrentAccount.m_strLastFolder : "";
}

void CProgramData::SetLocationField(int kind, const std::string& value, int p, int s, int b,
                                    const std::vector<int>& sel) {
    CSession* se = GetSessionPtr(p, s);
    if (!se || value.empty()) return;
    if (kind != 1 && kind != 2 && kind != 4 && kind != 5) return;
    if (IsValidBasket(false, p, s, b)) {
        auto& items = se->m_Baskets[b].m_Items;
        for (int i : sel) {
            if (i < 0 || i >= Count(items.size())) continue;
            CFileItem& it = items[i];
            if (kind == 1) it.RemHost = value;
            else if (kind == 2) it.RemUser = value;
            else if (kind == 4) it.LocalDir = value;
            else it.RemoteDir = value;
        }
    }
    if (kind == 1) { se->Host = value; g_CurrentAccount.m_strHost = value; }
    else if (kind == 2) { se->User = value; g_CurrentAccount.m_strUser = value; }
    else if (kind == 4) { se->LocalDir = value; g_sDefaultLocalDir = value; }
    else { se->RemoteDir = value; g_CurrentAccount.m_strLastFolder = value; }
}

void CProgramData::SetItemAttributesEx(int p, int s, int b, const std::vector<int>& sel) {
    CSession* se = GetSessionPtr(p, s);
    if (!se || !IsValidBasket(false, p, s, b)) return;
    auto& items = se->m_Baskets[b].m_Items;
    for (int i : sel) {
        if (i < 0 || i >= Count(items.size())) continue;
        if (items[i].RemHost.empty() || items[i].RemUser.empty()) {
            items[i].RemHost = se->Host;
            items[i].RemUser = se->User;
        }
    }
}

void CProgramData::SetItemAttributes(int p, int s, int b, const std::vector<int>& sel) {
    if (!IsValidBasket(false, p, s, b)) return;
    auto& items = m_ProjectList.m_Projects[p].m_Sessions[s].m_Baskets[b].m_Items;
    for (int i : sel) {
        if (i < 0 || i >= Count(items.size())) continue;
        items[i].RemPassword = GetVaultPassword(items[i].RemHost, items[i].RemUser);
    }
}

bool CProgramData::EnsureDefaultCluster() {
    if (!m_Vault.m_Clusters.empty()) return false;
    m_Vault.m_nCurrClustInd = 0;
    m_Vault.m_Clusters.emplace_back("My Cluster", 0);
    return true;
}
