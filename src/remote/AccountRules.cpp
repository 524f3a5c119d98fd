#include "remote/AccountRules.h"

#include <set>

#include "model/TextUtil.h"
#include "remote/FtpConnections.h"
#include "remote/Socket.h"

std::string IdleTimeText(long long seconds) {
    if (seconds <= 0) return std::string();
    const long long d = seconds / 86400, h = seconds % 86400 / 3600, m = seconds % 3600 / 60, s = seconds % 60;
    std::string t = "Idle time: ";
    auto part = [&](long long n, const char* unit, const char* end) {
        if (n == 0) return;
        t += std::to_string(n) + " " + unit + (n > 1 ? "s" : "") + end;
    };
    part(d, "day", " ");
    part(h, "hour", " ");
    part(m, "minute", " ");
    part(s, "second", ".");
    return t;
}

std::string ConnectionStatusText(bool open, std::time_t lastActivity, std::time_t now) {
    if (!open) return "Not connected.";
    char when[64] = {};
    std::tm tm{};
    localtime_r(&lastActivity, &tm);
    std::strftime(when, sizeof when, "%m/%d/%y %H:%M:%S", &tm);
    return std::string("Connected at ") + when + ". " + IdleTimeText(static_cast<long long>(now - lastActivity));
}

std::string UpdateConnectionStatus(const std::string& host, const std::string& user) {
    const std::string h = ToLowerAscii(host), u = ToLowerAscii(user);
    for (const OpenConnectionInfo& c : ListOpenConnections())
        if (ToLowerAscii(c.host) == h && ToLowerAscii(c.user) == u)
            return ConnectionStatusText(true, c.lastActivity, std::time(nullptr));
    return ConnectionStatusText(false, 0, 0);
}

bool VaultHasAccount(const CAccountVault& vault, const std::string& host, const std::string& user) {
    const std::string h = ToLowerAscii(host);
    for (const CCluster& c : vault.m_Clusters)
        for (const CHost& a : c.m_Hosts)
            if (ToLowerAscii(a.m_strHost) == h && a.m_strUser == user) return true;
    return false;
}

AccountCheck CheckAccountEdit(const CAccountVault& vault, const std::string& host, const std::string& user,
                              const std::string& startHost, const std::string& startUser,
                              const std::string& password) {
    if (host.empty()) return {"Empty Host", 1626};
    if (user.empty()) return {"Empty User", 1693};
    if (HasLineBreakOrNul(password)) return {"Invalid password. Cannot have line breaks.", 1642};
    if ((host != startHost || user != startUser) && VaultHasAccount(vault, host, user))
        return {"This account already exists. Please change HOST or USER", 1626};
    return {};
}

std::vector<MachineRow> AccountsOfUser(const CAccountVault& vault, const std::string& user) {
    std::vector<MachineRow> rows;
    if (user.empty()) return rows;
    for (size_t c = 0; c < vault.m_Clusters.size(); ++c)
        for (size_t h = 0; h < vault.m_Clusters[c].m_Hosts.size(); ++h)
            if (vault.m_Clusters[c].m_Hosts[h].m_strUser == user)
                rows.push_back({static_cast<int>(c), static_cast<int>(h)});
    return rows;
}

std::string SelectionCountText(int selected, int total) {
    if (selected == 0) return "Total " + std::to_string(total) + " machine" + (total > 1 ? "s" : "");
    return std::to_string(selected) + " / " + std::to_string(total) + " selected";
}

std::string CommonPassword(const CAccountVault& vault, const std::vector<MachineRow>& rows) {
    std::set<std::string> seen;
    for (const MachineRow& r : rows) {
        if (r.cluster < 0 || r.cluster >= static_cast<int>(vault.m_Clusters.size())) continue;
        const auto& hosts = vault.m_Clusters[static_cast<size_t>(r.cluster)].m_Hosts;
        if (r.host < 0 || r.host >= static_cast<int>(hosts.size())) continue;
        seen.insert(hosts[static_cast<size_t>(r.host)].m_strPassword);
    }
    return seen.size() == 1 ? *seen.begin() : std::string();
}

bool PasswordRefill::NeedsRefill(const std::string& host, const std::string& user) {
    if (ToLowerAscii(host) == ToLowerAscii(m_host) && ToLowerAscii(user) == ToLowerAscii(m_user)) return false;
    m_host = host;
    m_user = user;
    return true;
}
