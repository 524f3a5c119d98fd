// The open FTP connections of the run and the one road to a server:
// ConnectHost finds the account, asks for missing login data, reuses an open
// connection or opens a new one.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/Account.h"
#include "remote/FtpClient.h"

class CProgramData;

// One open connection as the account dialogs show it.
struct OpenConnectionInfo {
    std::string host;
    std::string user;
    std::time_t lastActivity = 0;
};

// Index of the open connection to (host, user), compared in lower case; -1.
int FindOpenConnection(const std::string& host, const std::string& user);
// As FindOpenConnection, and the client must be connected.
bool IsConnectionOpen(const std::string& host, const std::string& user);
std::vector<OpenConnectionInfo> ListOpenConnections();

// Makes a connection to (host, user) current. With lookup the vault of data
// gives the password; missing login data, an unknown account, Shift+Control
// or a failed attempt open the login dialog (through the prompter). May
// change host and user (the dialog; a VMS server lower-cases the user).
// False when the user cancelled (auto-sync goes off).
bool ConnectHost(CProgramData& data, std::string& host, std::string& user, bool lookup);
// A new connection to (host, user) in place of the ones open to it (their
// replies may be out of step after a stop cut a transfer), with the login
// data the last connection or the vault of data holds, asking nothing: no
// dialog opens, and a failed login is no reason to ask again. It becomes
// the current one. False where it could not be made (why is in the Message
// Window), and while the window closes.
bool ReconnectQuietly(CProgramData& data, const std::string& host, const std::string& user);
// The open connection to (host, user) becomes the current one, without any
// network traffic; null when there is none. The caller shares its ownership.
std::shared_ptr<CFtpClient> SelectOpenConnection(const std::string& host, const std::string& user);
// The client of the last ConnectHost; null after its connection was dropped.
CFtpClient* GetCurrentFtpClient();
// The account of the current connection (a copy); a worker starts from the
// window's current account.
CHost GetFtpAccount();
void SetFtpAccount(const CHost& account);

// Closes (QUIT) and removes every open connection to the host, whatever its
// user, the last opened first; "- user disconnected from host." per connection.
void DisconnectHost(const std::string& host, const std::string& user);
// Closes and removes every connection to (host, user), the last opened
// first; false when there was none.
bool DropOpenConnection(const std::string& host, const std::string& user);
// One keep-alive pass: while FTP is idle and no worker holds the
// connections, each one in turn gets a SYST. The first that fails has its
// reply or failure text logged and is dropped; lost(host, user) hears of it
// (on the calling thread) and the pass ends there.
void KeepAliveConnections(
    const std::function<void(const std::string&, const std::string&)>& lost = nullptr);
// The timer's keep-alive: the same pass on a short-lived thread of its own,
// so that a slow server never holds the window. A worker started meanwhile
// waits for the pass (it never talks on a connection beside it). False when
// nothing was started (FTP busy, no connection, a pass still running).
bool StartKeepAlivePass(std::function<void(const std::string&, const std::string&)> lost);
// Waits up to ms for a running pass; true when none runs.
bool JoinKeepAlive(int ms);
// Closing the window: shuts every socket down so blocked calls return; no
// quiet reconnection is made from then until AllowQuietReconnects.
void ShutdownConnections();
// A worker starts: quiet reconnections may be made again.
void AllowQuietReconnects();
// Closes every connection (tests, the end of the run).
void CloseAllConnections();

void AssignConnectionRecord(CHost* destination, const std::string& host, const std::string& user,
                            const std::string& password, const std::string& hostType,
                            const std::string& lastFolder);
// 1 "Connecting to h as u...", 2 "+ u connected to h.", 3 "- u disconnected from h.".
std::string MakeConnectionMessage(int kind, const std::string& host, const std::string& user);
// The host name up to its first "." (unchanged when it starts with a digit).
std::string ShortHostName(const std::string& host);
// The short host name as a line names it: "(no host)" for an item without one.
std::string ShownHostName(const std::string& host);
// The line for the last ConnectHost of this thread that gave no connection:
// "-?- Login cancelled." where the user cancelled the login box, else
// "-?- Login failed.".
std::string LoginFailedLine();

// Held by a running worker for its whole run; the keep-alive only tries it.
std::mutex& FtpConnectionsInUse();

// Small shared helpers of the remote steps.
bool ContainsHost(const std::vector<CHost>& list, const CHost& account);
// The columns a UTF-8 text takes in the Message Window (one per character).
size_t TextColumns(const std::string& text);
// The text with blanks after it up to width columns.
std::string PadRight(const std::string& text, size_t width);
// Last-write time of a local file; the default item time when missing.
std::time_t GetLocalFileTimes(const std::string& path);
// 1500 Hz for 50 ms when sounds are on.
void BeepTransferDone();
// 300/100, 200/200, 500/200 when sounds are on: the end of a transfer run.
void BeepTransferFailed();

// Runs an FTP step on the current connection of (host, user). When the
// control connection turns out lost, the connection is dropped and opened
// again once (ConnectHost) before the step is tried a second time; the
// second failure, or any other failure, is thrown.
void RunWithReconnect(CProgramData& data, std::string& host, std::string& user, bool lookup,
                      const std::function<void(CFtpClient&)>& step);
