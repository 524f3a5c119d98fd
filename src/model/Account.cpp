#include "model/Account.h"

#include <algorithm>
#include <cctype>

#include "model/Trace.h"

CHost::CHost(const std::string& host, const std::string& user) : m_strHost(host), m_strUser(user) {}

CHost::CHost(const std::string& host, const std::string& user, const std::string& password)
    : m_strHost(host), m_strUser(user), m_strPassword(password) {}

void CHost::SetPassword(const std::string& password) {
    m_strPassword = password;
    // The log names the account only; a password never reaches it.
    WriteTraceString("{" + m_strUser + "}{" + m_strHost + "}[password changed]");
}

std::vector<std::string> CAccountVault::GetUserNames() const {
    std::vector<std::string> names;
    for (const auto& c : m_Clusters)
        for (const auto& h : c.m_Hosts) names.push_back(h.m_strUser);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void CAccountVault::RenumberClusterIndices() {
    for (size_t c = 0; c < m_Clusters.size(); ++c)
        for (auto& h : m_Clusters[c].m_Hosts) h.m_nClusterInd = static_cast<int>(c);
}

bool CAccountVault::HasAccount(const std::string& host, const std::string& user) const {
    const std::string lh = ToLowerAscii(host), lu = ToLowerAscii(user);
    for (const auto& c : m_Clusters)
        for (const auto& h : c.m_Hosts)
            if (ToLowerAscii(h.m_strHost) == lh && ToLowerAscii(h.m_strUser) == lu) return true;
    return false;
}

std::string EncodePassword(const std::string& password) {
    static const char* hex = "0123456789abcdef";
    if (password.empty()) return "";
    std::string out = "h:";
    out.reserve(password.size() * 2 + 2);
    for (unsigned char c : password) {
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

std::string DecodePassword(const std::string& stored, bool* damaged) {
    auto val = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;  // the writer writes lower-case digits only
    };
    if (damaged) *damaged = false;
    auto refuse = [&] {
        if (damaged) *damaged = true;
        return std::string();
    };
    // A value that starts like a mark (blanks, a letter and ":") but is not
    // the writer's "h:" is a damaged mark: never taken as the password.
    const size_t first = stored.find_first_not_of(' ');
    const bool marked = first != std::string::npos && first + 1 < stored.size() &&
                        std::isalpha(static_cast<unsigned char>(stored[first])) && stored[first + 1] == ':';
    // Without a mark (an older file) the value is taken as it stands.
    if (!marked) return stored;
    if (first != 0 || stored.compare(0, 2, "h:") != 0) return refuse();
    // The writer marks only a password that is not empty, as pairs of digits.
    if (stored.size() == 2 || stored.size() % 2 != 0) return refuse();
    std::string out;
    for (size_t i = 2; i + 1 < stored.size(); i += 2) {
        int hi = val(stored[i]), lo = val(stored[i + 1]);
        if (hi < 0 || lo < 0) return refuse();
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

CHost g_CurrentAccount;
