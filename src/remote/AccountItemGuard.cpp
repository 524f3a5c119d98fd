#include "remote/AccountItemGuard.h"

CAccountItemGuard::CAccountItemGuard(CProgramData& data, const std::vector<CFileItem>& items)
    : m_data(data), m_items(items), m_skipped(items.size(), false), m_held(items.size(), false) {}

void CAccountItemGuard::Skip(size_t index) {
    if (index < m_skipped.size()) m_skipped[index] = true;
}

bool CAccountItemGuard::Holds(size_t index, const std::string& host, const std::string& user) {
    if (index >= m_items.size() || m_skipped[index]) return false;
    if (m_checkedAccounts.insert(host + '\n' + user).second) CheckAccount(host, user);
    return m_held[index];
}
