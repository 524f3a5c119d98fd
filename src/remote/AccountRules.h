// Rules of the account dialogs without any widget: the connection status
// line, the duplicate-account test, the machine list of the global password
// update and when the session dialog refills its password.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "model/Account.h"

// "Not connected." or "Connected at %m/%d/%y %H:%M:%S. " with the idle time.
std::string ConnectionStatusText(bool open, std::time_t lastActivity, std::time_t now);
// The same for the open connection to (host, user), now.
std::string UpdateConnectionStatus(const std::string& host, const std::string& user);
// "Idle time: 1 hour 2 minutes 3 seconds." for a span; "" for 0 seconds.
std::string IdleTimeText(long long seconds);

// True when some account has the host (case ignored) and exactly the user.
bool VaultHasAccount(const CAccountVault& vault, const std::string& host, const std::string& user);

// The Account Properties OK test: the message to show and the control to
// focus, or an empty message when the account may be stored. A password
// holding a line break or a NUL, which no login could send, is refused
// as the login dialog refuses it.
struct AccountCheck {
    std::string message;
    int focusId = 0;
};
AccountCheck CheckAccountEdit(const CAccountVault& vault, const std::string& host, const std::string& user,
                              const std::string& startHost, const std::string& startUser,
                              const std::string& password = std::string());

// One row of the global password update: the account's place in the vault.
struct MachineRow {
    int cluster = 0;
    int host = 0;
};
std::vector<MachineRow> AccountsOfUser(const CAccountVault& vault, const std::string& user);
// "Total 5 machines" / "2 / 5 selected".
std::string SelectionCountText(int selected, int total);
// The one password all the rows share; "" when they differ or none is given.
std::string CommonPassword(const CAccountVault& vault, const std::vector<MachineRow>& rows);

// The Session Attributes password box: refilled from the vault only when the
// host or the user differs from the pair it was last filled for.
class PasswordRefill {
public:
    PasswordRefill(std::string host, std::string user) : m_host(std::move(host)), m_user(std::move(user)) {}
    bool NeedsRefill(const std::string& host, const std::string& user);

private:
    std::string m_host, m_user;
};
