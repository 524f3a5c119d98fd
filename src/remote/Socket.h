// Small POSIX socket helpers shared by the FTP and rexec clients.
#pragma once

#include <functional>
#include <string>

// Time limits of the network clients, in milliseconds. Tests shorten them.
struct NetTimeouts {
    int connectMs = 15000;   // opening a TCP connection
    int replyMs = 60000;     // waiting for a reply on a control connection
    int dataMs = 120000;     // an idle data connection
    int listingMs = 300000;  // a whole listing, however slowly it comes
    int stopMs = 3000;       // a reply still awaited once the FTP run is being stopped
};
NetTimeouts& NetTimeoutValues();

// Size limits of what a server may send. A reply must arrive whole within
// the reply time-out (one deadline for the reply, not per byte), and each of
// its lines and the number of its lines are bounded; so is a listing.
struct NetLimits {
    size_t maxLineBytes = 64 * 1024;          // one control line
    int maxReplyLines = 1000;                 // the lines of a multi-line reply
    size_t maxListingBytes = 256u << 20;      // a LIST text, far above any real folder
    size_t maxRexecOutputBytes = 64u << 20;   // what a command's output may add to the Input window
};
NetLimits& NetLimitValues();

// Result of a socket helper; on failure text says why.
struct NetError {
    std::string text;
};

// Port to use: the environment variable's value when it holds a valid port,
// else the default.
int PortFromEnvironment(const char* variable, int defaultPort);

// Resolves host (a name or a dotted address) and connects a TCP socket within
// the connect time-out. Returns the socket, or -1 with error set to
// "Unable to resolve host name", "Unable to create socket" or
// "Unable to connect to server". A connect still waited for ends as soon as
// stop() (when given) says so, failing as one that timed out.
int ConnectTcp(const std::string& host, int port, int timeoutMs, std::string& error,
               const std::function<bool()>& stop = nullptr);

// Connects to the numeric address of a peer (as getpeername gives it).
int ConnectToPeerOf(int controlSocket, int port, int timeoutMs, std::string& error,
                    const std::function<bool()>& stop = nullptr);

// Receive and send time-outs of a connected socket.
void SetSocketTimeouts(int fd, int ms);

// Sends every byte (MSG_NOSIGNAL), looping over short sends. False on failure.
bool SendAll(int fd, const char* data, size_t size);
inline bool SendAll(int fd, const std::string& s) { return SendAll(fd, s.data(), s.size()); }

// How a send that waits for its peer ended.
enum class SendEnd { Sent, Failed, Stopped };
// Sends every byte, waiting for the peer to take them in short slices:
// stop() is asked whenever the peer has no room (Stopped as soon as it says
// so; bytes that fit go as they would), and a peer that takes nothing for
// idleMs fails the send. However the socket's
// own time-outs are set, no single wait lasts longer than a slice.
SendEnd SendAllUnlessStopped(int fd, const char* data, size_t size, int idleMs,
                             const std::function<bool()>& stop);

// Closes the socket when it is open and sets it to -1.
void CloseSocket(int& fd);

// True when text holds CR, LF or NUL: such a value must not go on a control line.
bool HasLineBreakOrNul(const std::string& text);
