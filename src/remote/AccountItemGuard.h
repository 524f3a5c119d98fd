// A look a run takes once for each account, at the first of its items that
// reaches the account: which of the run's items of that account stay where
// they are.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "model/FileItem.h"

class CProgramData;

class CAccountItemGuard {
public:
    // items: the run's items as it holds them (renamed accounts included).
    CAccountItemGuard(CProgramData& data, const std::vector<CFileItem>& items);
    virtual ~CAccountItemGuard() = default;
    // Items of the run that are not to be looked at (refused before).
    void Skip(size_t index);
    // True when the item at index stays where it is. host and user: the
    // account as the login left it; its items are looked at the first time.
    bool Holds(size_t index, const std::string& host, const std::string& user);

protected:
    // Looks at the run's items of the account, setting m_held for those
    // that stay.
    virtual void CheckAccount(const std::string& host, const std::string& user) = 0;

    CProgramData& m_data;
    const std::vector<CFileItem>& m_items;
    std::vector<bool> m_skipped;
    std::vector<bool> m_held;

private:
    std::set<std::string> m_checkedAccounts;
};
