// Terminal sessions on a remote host: which kind of terminal program the
// "Telnet=" option names, the argument list each kind is started with, the
// intermediate script of a terminal macro program, and the entry lists of
// the two host choosers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/Account.h"

class CProgramData;

// 0 the built-in telnet in a terminal window (empty or holding "cmd"),
// 1 a terminal macro program ("ttpmacro"), 2 any other program.
int ClassifyTerminalProgram(const std::string& program);

// "short host ~ user".
std::string HostListText(const std::string& host, const std::string& user);

// The file name of the intermediate script: short host, "_", user, ".txt",
// lower-cased; every byte outside [A-Za-z0-9._-] becomes "_".
std::string TelnetScriptName(const std::string& host, const std::string& user);

// Writes the intermediate script (mode 0600) into the loading area's temp
// folder; its full path, or "" when it could not be written. Host, user and
// password are quoted as strings of the macro language ('...', or "..."
// for a value holding '); a value that holds both quotes or a control
// character is refused.
std::string WriteTelnetMacroScript(CProgramData& data, const std::string& host,
                                   const std::string& user, const std::string& password);

// The argument list of a launch; empty when nothing is to start (a refused
// host or user, a script that could not be written: the user was told).
std::vector<std::string> BuildTelnetCommand(CProgramData& data, const std::string& host,
                                            const std::string& user, const std::string& password,
                                            bool commandWindowOnly);

// Builds the command and starts it. False when nothing was started.
bool LaunchTelnet(CProgramData& data, const std::string& host, const std::string& user,
                  const std::string& password, bool commandWindowOnly);

// Copies of every account, clusters in vault order, accounts in cluster order.
std::vector<CHost> GetAllHosts(const CAccountVault& vault);
// The account matching the current one (lower-cased host, exact user); the
// last such, 0 when none.
int PreselectedHostIndex(const std::vector<CHost>& accounts, const CHost& current);
// The entries of the telnet chooser (the accounts, then "cmd") and of the
// browse chooser (the accounts, "      + Up" after an open one, then "New host").
std::vector<std::string> TelnetChooserEntries(const std::vector<CHost>& accounts);
std::vector<std::string> BrowseChooserEntries(const std::vector<CHost>& accounts,
                                              const std::function<bool(const CHost&)>& isOpen);
