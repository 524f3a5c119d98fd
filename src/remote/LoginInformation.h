// The rules of the Login Information dialog, apart from its window.
#pragma once

#include <string>

// True when both texts are non-empty and neither holds a blank.
bool IsValidLoginText(const std::string& first, const std::string& second);

// What OK does with the typed values.
struct LoginCheck {
    bool ok = true;
    std::string message;  // the refusal, when not ok
    int focusId = 0;      // the control that gets the focus: 1626 host, 1693 user
};
// The host must be valid, then the user; the password is not tested. A line
// break or NUL in any of the three is refused as well: it would end an FTP
// or rexec command line early.
LoginCheck CheckLoginInformation(const std::string& host, const std::string& user,
                                 const std::string& password);
