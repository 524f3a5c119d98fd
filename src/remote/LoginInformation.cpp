#include "remote/LoginInformation.h"

#include "remote/Socket.h"

bool IsValidLoginText(const std::string& first, const std::string& second) {
    return !first.empty() && !second.empty() && first.find(' ') == std::string::npos &&
           second.find(' ') == std::string::npos;
}

LoginCheck CheckLoginInformation(const std::string& host, const std::string& user,
                                 const std::string& password) {
    LoginCheck c;
    if (!IsValidLoginText(host, "dummy") || HasLineBreakOrNul(host)) {
        c.ok = false;
        c.message = "Invalid host. Cannot be empty. Cannot have blanks.";
        c.focusId = 1626;
    } else if (!IsValidLoginText("dummy", user) || HasLineBreakOrNul(user)) {
        c.ok = false;
        c.message = "Invalid username. Cannot be empty. Cannot have blanks.";
        c.focusId = 1693;
    } else if (HasLineBreakOrNul(password)) {
        c.ok = false;
        c.message = "Invalid password. Cannot have line breaks.";
        c.focusId = 1642;
    }
    return c;
}
