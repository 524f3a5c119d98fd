#include "remote/FtpClient.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/Globals.h"
#include "model/TextUtil.h"
#include "model/Trace.h"
#include "remote/Socket.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Turns every LF not preceded by CR into CR LF. prevCr carries the last byte
// of the previous block.
void ToNetworkLineEnds(const char* data, size_t n, bool& prevCr, std::string& out) {
    out.clear();
    out.reserve(n + n / 16);
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        if (c == '\n' && !prevCr) out.push_back('\r');
        out.push_back(c);
        prevCr = (c == '\r');
    }
}

// Turns CR LF into LF; a CR at the end of a block waits in pendingCr.
void ToLocalLineEnds(const char* data, size_t n, bool& pendingCr, std::string& out) {
    out.clear();
    out.reserve(n + 1);
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        if (pendingCr) {
            pendingCr = false;
            if (c != '\n') out.push_back('\r');
        }
        if (c == '\r')
            pendingCr = true;
        else
            out.push_back(c);
    }
}

}  // namespace

CFtpClient::CFtpClient() = default;

CFtpClient::~CFtpClient() {
    CloseSocketField(m_nDataSocket);
    CloseSocketField(m_nControlSocket);
}

void CFtpClient::SetSocket(int& field, int fd) {
    std::lock_guard<std::mutex> g(m_socketMutex);
    field = fd;
}

void CFtpClient::CloseSocketField(int& field) {
    std::lock_guard<std::mutex> g(m_socketMutex);
    CloseSocket(field);
}

void CFtpClient::ThrowLost(const std::string& text) {
    // The control connection is out of step or gone: nothing more can be
    // said on it.
    CloseDataConnection();
    if (m_nControlSocket >= 0) ::shutdown(m_nControlSocket, SHUT_RDWR);
    m_strLost = text;
    // Times read and not proved in step: a stop keeps them, anything else
    // leaves them unproved (they are asked again).
    if (StopRaised()) ProveReadTimes();
    m_timeUnproved.clear();
    throw FTPException(text, true);
}

void CFtpClient::CheckArgument(const std::string& text) const {
    if (HasLineBreakOrNul(text))
        throw FTPException("Invalid character (CR, LF or NUL) in an FTP argument");
}

int CFtpClient::OpenSocket(const std::string& host, int port) {
    std::string error;
    int fd = ConnectTcp(host, port, NetTimeoutValues().connectMs, error, [this] { return StopWaitOver(); });
    if (fd < 0 && StopWaitOver()) throw FTPException("Stopped while connecting to the server.", true);
    if (fd < 0) throw FTPException(error);
    return fd;
}

void CFtpClient::Connect(const std::string& host, const std::string& user,
                         const std::string& password) {
    Connect(host, user, password, PortFromEnvironment("QVL_FTP_PORT", 21));
}

void CFtpClient::Connect(const std::string& host, const std::string& user,
                         const std::string& password, int port) {
    CheckArgument(host);
    CloseSocketField(m_nControlSocket);
    m_strPending.clear();
    m_strAnswering.clear();  // the greeting: nothing was asked
    m_bTransferStarted = false;
    m_strClosing.clear();
    m_strLost.clear();
    // Asked on the connection before: never answered on this one.
    m_timeSent.clear();
    m_timeUnproved.clear();
    m_strPeer = host;
    m_bAborted = false;
    m_bStopSeen = false;
    m_answeredForFile.clear();
    m_askedKnownFile.clear();
    m_refusedForFiles.clear();
    m_refusalsForFiles.clear();
    SetSocket(m_nControlSocket, OpenSocket(host, port));
    SetSocketTimeouts(m_nControlSocket, NetTimeoutValues().replyMs);
    try {
        std::string reply;
        int code = ReadFinalReply(reply);
        if (code != 220) throw FTPException(reply);
        Login(user, password);
        EnterPassiveModeAtLogin();
    } catch (...) {
        CloseSocketField(m_nControlSocket);
        throw;
    }
    m_strHost = host;
    m_strUser = user;
    m_strPassword = password;
    m_bBinary = false;
    m_typeAsks.clear();
    m_strTypeTaken.clear();
    m_bConnected = true;
}

void CFtpClient::Login(const std::string& user, const std::string& password) {
    CheckArgument(user);
    CheckArgument(password);
    std::string reply;
    int code = SendCommand("USER", user, reply);
    if (code == 331) code = SendCommand("PASS", password, reply);
    if (code != 230) throw FTPException(reply);
    m_tLastActivity = std::time(nullptr);
}

void CFtpClient::EnterPassiveModeAtLogin() {
    SendControl("PASV\r\n", "Error sending command(1): PASV");
    // Every transfer asks for its own port; only the reply is consumed here.
    std::string reply;
    ReadFinalReply(reply);
}

std::string CFtpClient::ReadLine() {
    return ReadLineBefore(std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(NetTimeoutValues().replyMs));
}

std::string CFtpClient::ReadLineBefore(std::chrono::steady_clock::time_point deadline) {
    const size_t cap = NetLimitValues().maxLineBytes;
    size_t searched = 0;
    for (;;) {
        size_t end = m_strPending.find("\r\n", searched);
        if (end != std::string::npos) {
            std::string line = m_strPending.substr(0, end);
            m_strPending.erase(0, end + 2);
            return line;
        }
        searched = m_strPending.empty() ? 0 : m_strPending.size() - 1;
        if (m_strPending.size() > cap) {
            m_strPending.clear();
            ThrowLost("The server's reply line is too long.");
        }
        const auto now = std::chrono::steady_clock::now();
        // A stop shortens the wait: what the server sends promptly (the end
        // of a file that went whole) is still read, a withheld reply is not
        // waited for.
        bool stopping = false;
        auto until = deadline;
        std::chrono::steady_clock::time_point stopEnd;
        if (StopEnd(stopEnd) && stopEnd < until) {
            until = stopEnd;
            stopping = true;
        }
        const long long left =
            std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count());
        // Short slices, so that a stop raised meanwhile is seen.
        pollfd p{m_nControlSocket, POLLIN, 0};
        int rc = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) ThrowLost("Unable to receive server's response");
        if (rc == 0) {
            if (left > 0) continue;
            ThrowLost(stopping ? "Stopped while waiting for the server's reply." : "Unable to receive server's response");
        }
        char buf[4096];
        ssize_t n = ::recv(m_nControlSocket, buf, sizeof buf, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0)
            ThrowLost(m_strClosing.empty() ? "Unable to receive server's response"
                                           : "The server closed the connection: " + m_strClosing);
        m_strPending.append(buf, static_cast<size_t>(n));
    }
}

bool CFtpClient::StopRaised() const {
    // The final reply of a straight send on a close is the exception: the
    // close's own wait bounds it (it shuts the connection down at its end).
    return m_bAborted || (g_bFtpBreak && !(m_bStraightReply && g_bFtpClosing));
}

bool CFtpClient::StopEnd(std::chrono::steady_clock::time_point& end) {
    if (!StopRaised()) {
        m_bStopSeen = false;
        return false;
    }
    if (!m_bStopSeen) {
        m_bStopSeen = true;
        m_stopSeen = std::chrono::steady_clock::now();
    }
    end = m_stopSeen + std::chrono::milliseconds(NetTimeoutValues().stopMs);
    return true;
}

bool CFtpClient::StopWaitOver() {
    std::chrono::steady_clock::time_point end;
    return StopEnd(end) && std::chrono::steady_clock::now() >= end;
}

void CFtpClient::SendControl(const std::string& text, const std::string& failure) {
    // MDTM commands sent before: their replies come first, read once this
    // command is on its way (no round trip of their own); whatever else is
    // pending was set aside before they went.
    const bool timesFirst = !m_timeSent.empty();
    if (timesFirst && !m_strLost.empty()) throw FTPException(m_strLost, true);
    if (!timesFirst) SetAsideUnasked();
    m_strAnswering = ToUpperAscii(text.substr(0, text.find_first_of(" \r\n")));
    m_bTransferStarted = false;
    // A server that stops reading commands holds the send as it would hold
    // a reply: a stop ends it after the stop's short wait, and a command
    // cut there leaves the connection out of step.
    const SendEnd end = SendAllUnlessStopped(m_nControlSocket, text.data(), text.size(),
                                             NetTimeoutValues().replyMs, [this] { return StopWaitOver(); });
    if (end == SendEnd::Stopped) ThrowLost("Stopped while sending a command to the server.");
    if (end != SendEnd::Sent) ThrowLost(failure);
    if (timesFirst) ReadSentTimes();
}

void CFtpClient::SetAsideUnasked() {
    // An aborted connection was shut down here: nothing it reads is the server's.
    if (m_nControlSocket < 0 || m_bAborted) return;
    // Given up here before (a stop, a reply that never came): that is why
    // nothing more goes, not the server.
    if (!m_strLost.empty()) throw FTPException(m_strLost, true);
    m_strClosing.clear();
    std::vector<std::string> unasked;
    bool closed = false;
    for (;;) {
        while (WholeReplyPending()) {
            // Whole already: read without a wait.
            std::string text;
            const int code = ReadRawReply(text, std::chrono::steady_clock::now());
            unasked.push_back(code < 0 ? text : std::to_string(code) + " " + text);
            if (code == 421) m_strClosing = unasked.back();
            if (unasked.size() >= static_cast<size_t>(NetLimitValues().maxReplyLines))
                ThrowLost("The server keeps sending replies nobody asked for.");
        }
        // Gone: the reconnect says why, with the server's last word.
        if (closed)
            ThrowLost(unasked.empty() ? "The server closed the connection."
                                      : "The server closed the connection: " + unasked.back());
        if (m_strPending.size() > NetLimitValues().maxLineBytes) {
            m_strPending.clear();
            ThrowLost("The server's reply line is too long.");
        }
        char buf[4096];
        const ssize_t n = ::recv(m_nControlSocket, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            m_strPending.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        closed = true;  // the end of the stream, or a reset
    }
    // A reply too many may be one of the times read last: they prove nothing.
    if (!unasked.empty()) m_timeUnproved.clear();
    for (const std::string& said : unasked)
        WriteTraceString("-?- " + m_strPeer + " sent a reply no command asked for; it is set aside: " + said);
}

int CFtpClient::ReadTimeReply(std::string& reply) {
    const int code = ReadFinalReply(reply);
    if (code == 213) m_answeredForFile.insert("MDTM");
    MdtmReplySecond(code, reply);
    return code;
}

void CFtpClient::ProveReadTimes() {
    m_timeReplies.insert(m_timeReplies.end(), m_timeUnproved.begin(), m_timeUnproved.end());
    m_timeUnproved.clear();
}

bool CFtpClient::WholeReplyPending() const {
    const size_t end = m_strPending.find("\r\n");
    if (end == std::string::npos) return false;
    if (end < 4 || m_strPending[3] != '-') return true;
    // A multi-line reply is whole once its closing line ("code ") has come.
    const std::string closing = "\r\n" + m_strPending.substr(0, 3) + " ";
    const size_t last = m_strPending.find(closing, end);
    return last != std::string::npos && m_strPending.find("\r\n", last + 2) != std::string::npos;
}

bool CFtpClient::CanAnswer(const std::string& command, bool started, int code) {
    if (command.empty()) return true;  // the greeting
    if (code == 421) return false;     // the server closing, asked or not
    if (code < 100 || code >= 400) return true;  // a refusal (or no code) answers any command
    const bool transfer = command == "LIST" || command == "NLST" || command == "RETR" || command == "STOR" ||
                          command == "STOU" || command == "APPE" || command == "MLSD";
    if (code < 200) return transfer && !started;
    // A transfer's end comes after its start: a 2xx or 3xx in the place of
    // the 1xx that starts it ends some other command.
    if (transfer && !started) return false;
    const auto oneOf = [&](std::initializer_list<const char*> commands) {
        for (const char* c : commands)
            if (command == c) return true;
        return false;
    };
    // The positive replies that only some commands get; any other (200,
    // 250, ...) may answer any command, and the caller judges it.
    switch (code) {
        case 211: case 212: case 214: return oneOf({"STAT", "FEAT", "HELP", "SITE"});
        case 213: return oneOf({"MDTM", "SIZE", "STAT", "MFMT"});
        case 215: return oneOf({"SYST"});
        case 220: return oneOf({"REIN"});
        case 221: return oneOf({"QUIT"});
        case 225: case 226: return transfer || oneOf({"ABOR"});
        case 227: return oneOf({"PASV"});
        case 228: return oneOf({"LPSV"});
        case 229: return oneOf({"EPSV"});
        case 230: case 232: return oneOf({"USER", "PASS", "ACCT"});
        case 234: return oneOf({"AUTH"});
        case 257: return oneOf({"PWD", "XPWD", "MKD", "XMKD"});
        case 331: case 332: return oneOf({"USER", "PASS"});
        case 350: return oneOf({"RNFR", "REST"});
        default: return true;
    }
}

int CFtpClient::ReadCutTransferReply(std::string& reply) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(NetTimeoutValues().replyMs);
    const int code = ReadRawReply(reply, deadline);
    if (code < 0) throw FTPException("Invalid response from server.");
    if (code == 421) ThrowLost("The server closed the connection: " + std::to_string(code) + " " + reply);
    return code;
}

int CFtpClient::ReadReply(std::string& reply) {
    // One deadline for the whole reply: a server that keeps sending does
    // not keep the client waiting.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(NetTimeoutValues().replyMs);
    for (int replies = 1;; ++replies) {
        const int code = ReadRawReply(reply, deadline);
        if (code < 0) throw FTPException("Invalid response from server.");
        if (CanAnswer(m_strAnswering, m_bTransferStarted, code)) {
            // The reply of a command other than MDTM, in its place: the
            // times read before it were in step.
            if (!m_timeUnproved.empty() && m_strAnswering != "MDTM") ProveReadTimes();
            return code;
        }
        const std::string said = std::to_string(code) + " " + reply;
        if (code >= 100 && code <= 199) {
            // A preliminary reply: the final one follows.
            if (replies >= NetLimitValues().maxReplyLines) ThrowLost("The server's reply is too long.");
            continue;
        }
        if (code == 421) ThrowLost("The server closed the connection: " + said);
        // A reply to another command: whatever is read next on this
        // connection could answer anything.
        ThrowLost("The server's reply does not answer " + m_strAnswering + ": " + said);
    }
}

int CFtpClient::ReadRawReply(std::string& reply, std::chrono::steady_clock::time_point deadline) {
    std::string line = ReadLineBefore(deadline);
    if (line.size() < 4) {
        reply = line;
        return -1;
    }
    int code = 0;
    if (IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]))
        code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    reply = line.substr(4);
    if (line[3] == '-') {
        // A multi-line reply runs to the line that starts with the same code
        // and a blank, whatever lies between (empty lines included).
        const std::string closing = line.substr(0, 3) + " ";
        for (int lines = 1;; ++lines) {
            if (lines >= NetLimitValues().maxReplyLines) ThrowLost("The server's reply is too long.");
            std::string next = ReadLineBefore(deadline);
            size_t p = next.find_first_not_of(' ');
            reply += " ";
            if (p != std::string::npos) reply += next.substr(p);
            if (next.compare(0, 4, closing) == 0) break;
        }
    }
    return code;
}

int CFtpClient::ReadFinalReply(std::string& reply) {
    for (;;) {
        const int code = ReadReply(reply);
        if (code < 100 || code > 199) return code;
    }
}

int CFtpClient::SendCommand(const std::string& command, const std::string& argument,
                            std::string& reply) {
    CheckArgument(command);
    CheckArgument(argument);
    SendControl(command + " " + argument + "\r\n", "Unable to send command: " + command);
    const int code = ReadFinalReply(reply);
    if (code == 213 && (command == "MDTM" || command == "SIZE")) m_answeredForFile.insert(command);
    return code;
}

void CFtpClient::NoteAnswerForAFile(const std::string& command, int code) {
    if (code == 213 || code < 500 || code > 599 || AnsweredForAFile(command)) return;
    if (code == 500 || code == 502 || code == 504 || ++m_refusalsForFiles[command] >= 2)
        m_refusedForFiles.insert(command);
}

int CFtpClient::SendCommandWithReply(const std::string& line, std::string& reply) {
    CheckArgument(line);
    SendControl(line + "\r\n", "Unable to send command: " + line);
    return ReadFinalReply(reply);
}

std::string CFtpClient::GetSystemType() {
    std::string reply;
    int code = SendCommandWithReply("SYST", reply);
    if (code != 215 && code != 200) throw FTPException(reply);
    size_t start = reply.find('"');
    start = (start == std::string::npos) ? 0 : start + 1;
    size_t end = reply.find(' ', start);
    m_tLastActivity = std::time(nullptr);
    return reply.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void CFtpClient::Disconnect() {
    // No reply is read, and none is waited for: a server that stopped
    // reading gets no QUIT rather than holding the close.
    if (m_nControlSocket >= 0) ::send(m_nControlSocket, "QUIT\r\n", 6, MSG_NOSIGNAL | MSG_DONTWAIT);
    CloseSocketField(m_nControlSocket);
    m_strPending.clear();
    CloseSocketField(m_nDataSocket);
    m_bDataAhead = false;
    m_bConnected = false;
    m_timeAsks.clear();
    m_timeSent.clear();
    m_timeUnproved.clear();
    m_typeAsks.clear();
    m_strTypeTaken.clear();
}

void CFtpClient::Shutdown() {
    std::lock_guard<std::mutex> g(m_socketMutex);
    if (m_nControlSocket >= 0) ::shutdown(m_nControlSocket, SHUT_RDWR);
    if (m_nDataSocket >= 0) ::shutdown(m_nDataSocket, SHUT_RDWR);
}

void CFtpClient::Abort() {
    m_bAborted = true;
    Shutdown();
}

int CFtpClient::EnterPassiveMode() {
    std::string reply;
    const int code = SendCarryingTimes("PASV", reply);
    if (code != 227) throw FTPException(reply);
    // "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": the port is in the last
    // two numbers. The address is not used: data goes to the control peer.
    size_t last = reply.rfind(',');
    size_t before = (last == std::string::npos || last == 0) ? std::string::npos
                                                              : reply.rfind(',', last - 1);
    auto number = [&](size_t pos, int& value) {
        value = 0;
        size_t i = pos, digits = 0;
        while (i < reply.size() && reply[i] == ' ') ++i;
        while (i < reply.size() && IsDigit(reply[i]) && digits < 4) {
            value = value * 10 + (reply[i] - '0');
            ++i;
            ++digits;
        }
        return digits > 0 && (i == reply.size() || !IsDigit(reply[i]));
    };
    int p1 = -1, p2 = -1;
    if (before == std::string::npos || !number(before + 1, p1) || !number(last + 1, p2) ||
        p1 > 255 || p2 > 255 || (p1 == 0 && p2 == 0))
        throw FTPException("Invalid passive mode reply: " + reply);
    return p1 * 256 + p2;
}

void CFtpClient::OpenDataConnection() {
    CloseDataConnection();
    int port = EnterPassiveMode();
    std::string error;
    // A stop ends the wait for a server that does not take the connection
    // (after the stop's short wait, as a reply's): no command has used it,
    // so the control connection stays in step, and the caller learns that
    // nothing went.
    SetSocket(m_nDataSocket, ConnectToPeerOf(m_nControlSocket, port, NetTimeoutValues().connectMs, error,
                                             [this] { return StopWaitOver(); }));
    if (m_nDataSocket < 0 && StopWaitOver()) {
        m_bStoppedBeforeCommand = true;
        throw FTPException("Stopped while opening the data connection.", true);
    }
    if (m_nDataSocket < 0) throw FTPException(error);
    SetSocketTimeouts(m_nDataSocket, NetTimeoutValues().dataMs);
    int size = 1 << 20;
    ::setsockopt(m_nDataSocket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(m_nDataSocket, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

void CFtpClient::CloseDataConnection() {
    CloseSocketField(m_nDataSocket);
    m_bDataAhead = false;
}

void CFtpClient::OpenDataConnectionAhead() {
    OpenDataConnection();
    m_bDataAhead = true;
}

void CFtpClient::QueueType(const std::string& line) {
    // Items that failed before their PASV leave theirs: the last two are
    // enough (a switch sends two), the server ends in the last one.
    if (m_typeAsks.size() >= 2) m_typeAsks.erase(m_typeAsks.begin());
    m_typeAsks.push_back(line);
}

void CFtpClient::SetType(const std::string& command, bool binary, bool withNext) {
    // The type holds on the connection until another is taken: the same
    // again is a command for nothing.
    const std::string& inForce = m_typeAsks.empty() ? m_strTypeTaken : m_typeAsks.back();
    if (inForce == command && (withNext || m_timeAsks.empty())) {
        m_bBinary = binary;
        return;
    }
    if (withNext) {
        QueueType(command);
    } else {
        m_typeAsks.clear();
        m_strTypeTaken.clear();
        std::string reply;
        if (SendCarryingTimes(command, reply) != 200) throw FTPException(reply);
        m_strTypeTaken = command;
    }
    m_bBinary = binary;
}

void CFtpClient::SetBinaryMode(bool withNext) { SetType("TYPE I", true, withNext); }

void CFtpClient::SetAsciiMode(bool withNext) { SetType("TYPE A", false, withNext); }

int CFtpClient::SendCarryingTimes(const std::string& line, std::string& reply) {
    // The owed MDTM commands go first, then (before a PASV) the type
    // commands waiting for it, in the same write; each reply is read in
    // its place, as its own command's, and the MDTM replies count only
    // once the command's own follows them.
    std::vector<std::string> asks;
    asks.swap(m_timeAsks);
    const std::string word = line.substr(0, line.find(' '));
    std::vector<std::string> types;
    if (word == "PASV") types.swap(m_typeAsks);
    if (!types.empty()) m_strTypeTaken.clear();
    std::string commands;
    for (const std::string& path : asks) commands += "MDTM " + path + "\r\n";
    for (const std::string& type : types) commands += type + "\r\n";
    SendControl(commands + line + "\r\n",
                word == "PASV" ? "Error sending command(2): PASV" : "Unable to send command: " + word);
    std::vector<TimeReply> times;
    std::string refused;
    int code = 0;
    try {
        for (const std::string& path : asks) {
            const int timeCode = ReadTimeReply(reply);
            times.push_back({path, timeCode, reply});
        }
        for (size_t k = 0; k < types.size(); ++k) {
            // A reply no type command gets (a 227 here) leaves the
            // connection out of step: it is never taken as the PASV's.
            m_strAnswering = "TYPE";
            m_bTransferStarted = false;
            if (ReadFinalReply(reply) != 200 && refused.empty()) refused = reply.empty() ? "TYPE refused" : reply;
        }
        m_strAnswering = word;
        m_bTransferStarted = false;
        code = ReadFinalReply(reply);
    } catch (const FTPException&) {
        // A stop keeps what came before it; anything else leaves the
        // group's replies unproved.
        if (StopRaised()) m_timeReplies.insert(m_timeReplies.end(), times.begin(), times.end());
        throw;
    }
    m_timeReplies.insert(m_timeReplies.end(), times.begin(), times.end());
    // The PASV's reply was read: the connection is in step, in a type the
    // server did not take.
    if (!refused.empty()) throw TypeRefused(refused);
    if (!types.empty()) m_strTypeTaken = types.back();
    return code;
}

bool CFtpClient::KeepAlive(std::string& text) {
    std::string reply;
    int code = SendCommandWithReply("SYST", reply);
    if (code != 215 && code != 200) throw FTPException(reply);
    if (reply.find("not ") != std::string::npos || reply.find("Not ") != std::string::npos) {
        text = reply;
        return false;
    }
    text = std::to_string(code) + ":" + reply;
    return true;
}

void CFtpClient::ChangeDirectory(const std::string& directory) {
    std::string reply;
    if (SendCommand("CWD", directory, reply) != 250) throw FTPException(reply);
}

void CFtpClient::MakeDirectory(const std::string& directory) {
    std::string reply;
    if (SendCommand("MKD", directory, reply) != 257) throw FTPException(reply);
}

void CFtpClient::RemoveDirectory(const std::string& directory) {
    std::string reply;
    if (SendCommand("RMD", directory, reply) != 250) throw FTPException(reply);
}

void CFtpClient::DeleteFile(const std::string& fileName) {
    std::string reply;
    if (SendCommand("DELE", fileName, reply) != 250) throw FTPException(reply);
}

void CFtpClient::RenameFile(const std::string& from, const std::string& to) {
    CheckArgument(to);
    std::string reply;
    if (SendCommand("RNFR", from, reply) != 350) throw FTPException(reply);
    if (SendCommand("RNTO", to, reply) != 250) throw FTPException(reply);
}

std::string CFtpClient::GetCurrentDirectory() {
    std::string reply;
    if (SendCommandWithReply("PWD", reply) != 257) throw FTPException(reply);
    size_t q1 = reply.find('"');
    if (q1 == std::string::npos) return reply;
    size_t q2 = reply.find('"', q1 + 1);
    return reply.substr(q1 + 1, q2 == std::string::npos ? std::string::npos : q2 - q1 - 1);
}

std::string CFtpClient::ReceiveAllData() {
    std::string text;
    std::vector<char> buf(kBlockSize);
    const size_t cap = NetLimitValues().maxListingBytes;
    // One deadline for the whole listing, so that a server sending a line
    // now and then cannot keep it open; the idle limit still ends a silent one.
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(NetTimeoutValues().listingMs);
    auto lastData = start;
    for (;;) {
        // The data connection stays open after a listing cut short: the
        // server's final reply would come after data never read.
        if (g_bFtpBreak || m_bAborted) ThrowLost("The listing was stopped.");
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            ThrowLost("The listing took longer than " + std::to_string(NetTimeoutValues().listingMs / 1000) +
                      " seconds.");
        if (now - lastData >= std::chrono::milliseconds(NetTimeoutValues().dataMs)) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        pollfd p{m_nDataSocket, POLLIN, 0};
        int rc = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 200)));
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) break;
        if (rc == 0) continue;
        ssize_t n = ::recv(m_nDataSocket, buf.data(), buf.size(), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        lastData = std::chrono::steady_clock::now();
        text.append(buf.data(), static_cast<size_t>(n));
        if (text.size() > cap) {
            // An endless listing: the server's final reply would come after
            // data never read, so the connection cannot be used again.
            ThrowLost("The listing is longer than " + std::to_string(cap) + " bytes.");
        }
    }
    if (m_bAborted) ThrowLost("The listing was stopped.");
    CloseDataConnection();
    return text;
}

int CFtpClient::StartDataCommand(const std::string& line, std::string& reply,
                                 bool missingIsEmpty) {
    m_bCommandSent = false;
    m_bStoppedBeforeCommand = false;
    if (!m_bDataAhead || m_nDataSocket < 0) OpenDataConnection();
    m_bDataAhead = false;
    int code;
    try {
        // The 150 or 125 that opens the transfer is this command's reply.
        CheckArgument(line);
        SendControl(line + "\r\n", "Unable to send command: " + line);
        m_bCommandSent = true;
        code = ReadReply(reply);
    } catch (...) {
        CloseDataConnection();
        throw;
    }
    if (code == 150 || code == 125) {
        m_bTransferStarted = true;
        return code;
    }
    CloseDataConnection();
    if (missingIsEmpty && (code == 450 || code == 550)) return code;
    throw FTPException(reply);
}

std::string CFtpClient::ListToText(const std::string& path) {
    CheckArgument(path);
    std::string reply;
    const int code = StartDataCommand("LIST " + path, reply, true);
    // The server has nothing to list: the file is missing.
    if (code == 450 || code == 550) return std::string();
    return ReceiveListing();
}

std::string CFtpClient::ReceiveListing() {
    std::string text = ReceiveAllData();
    size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    std::string reply;
    const int code = ReadReply(reply);
    if (code != 226 && code != 250 && code != 550 && code != 450) throw FTPException(reply);
    return text;
}

bool CFtpClient::WayBack(std::string& back) {
    try {
        back = GetCurrentDirectory();
        return true;
    } catch (const FTPException& e) {
        if (e.ConnectionLost()) throw;
        return false;
    }
}

std::string CFtpClient::ListFolderToText(const std::string& folder) {
    return ListFolderToText(folder, std::string());
}

std::string CFtpClient::ListFolderToText(const std::string& folder, const std::string& pattern) {
    CheckArgument(folder);
    CheckArgument(pattern);
    std::string back;
    // Without the way back the folder is listed by its name (after the
    // options, such as "-a").
    if (!WayBack(back))
        return ListToText(!pattern.empty() && pattern[0] == '-' ? pattern + " " + folder : folder + pattern);
    std::string reply;
    int code = SendCommand("CWD", folder, reply);
    if (code != 250) return std::string();  // no such folder: nothing in it
    std::string text;
    try {
        code = StartDataCommand(pattern.empty() ? std::string("LIST") : "LIST " + pattern, reply, true);
        if (code != 450 && code != 550) text = ReceiveListing();
    } catch (const FTPException& e) {
        if (!e.ConnectionLost() && !back.empty()) SendCommand("CWD", back, reply);
        throw;
    }
    if (!back.empty()) SendCommand("CWD", back, reply);
    return text;
}

bool CFtpClient::FolderExists(const std::string& folder) {
    CheckArgument(folder);
    std::string back;
    if (!WayBack(back)) return true;  // no way back: the folder is not entered
    std::string reply;
    if (SendCommand("CWD", folder, reply) != 250) return false;
    if (!back.empty()) SendCommand("CWD", back, reply);
    return true;
}

namespace {
// The second of an MDTM reply's "YYYYMMDDHHMMSS" (perhaps with a fraction),
// or -1.
int SecondOfMdtmReply(int code, const std::string& reply) {
    if (code != 213) return -1;
    size_t at = reply.find_first_of("0123456789");
    if (at == std::string::npos || reply.size() < at + 14) return -1;
    for (size_t i = at; i < at + 14; ++i)
        if (!IsDigit(reply[i])) return -1;
    const int second = (reply[at + 12] - '0') * 10 + (reply[at + 13] - '0');
    return second <= 59 ? second : -1;
}
}  // namespace

int CFtpClient::MdtmReplySecond(int code, const std::string& reply) {
    // 213 is the time, a 4xx or 5xx tells there is none. Anything else
    // answers another command: the replies are out of step, and nothing
    // read on this connection could be told apart any more.
    if (code != 213 && (code < 400 || code > 599)) {
        ThrowLost("The server's reply does not fit MDTM: " + std::to_string(code) + " " + reply);
    }
    return SecondOfMdtmReply(code, reply);
}

int CFtpClient::GetModificationSecond(const std::string& path) {
    CheckArgument(path);
    std::string reply;
    const int code = SendCommand("MDTM", path, reply);
    return MdtmReplySecond(code, reply);
}

int CFtpClient::SendModificationTime(const std::string& path, std::string& reply) {
    CheckArgument(path);
    const int code = SendCommand("MDTM", path, reply);
    MdtmReplySecond(code, reply);
    return code;
}

std::vector<int> CFtpClient::GetModificationSeconds(const std::vector<std::string>& paths) {
    std::vector<int> seconds;
    seconds.reserve(paths.size());
    for (const auto& [code, reply] : SendModificationTimes(paths)) seconds.push_back(SecondOfMdtmReply(code, reply));
    return seconds;
}

std::vector<std::pair<int, std::string>> CFtpClient::SendModificationTimes(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) CheckArgument(path);
    // The owed times go with the first group.
    std::vector<std::string> all;
    all.swap(m_timeAsks);
    const size_t owed = all.size();
    all.insert(all.end(), paths.begin(), paths.end());
    // Small groups: the replies of one group fit the socket buffers while
    // the commands are still being written.
    constexpr size_t kGroup = 32;
    std::vector<std::pair<int, std::string>> replies;
    replies.reserve(all.size());
    const auto keep = [&] {
        for (size_t k = 0; k < replies.size(); ++k) {
            if (k < owed)
                m_timeReplies.push_back({all[k], replies[k].first, replies[k].second});
        }
        replies.erase(replies.begin(), replies.begin() + static_cast<std::ptrdiff_t>(std::min(owed, replies.size())));
    };
    // With nothing to ask, a NOOP alone proves the times read before.
    if (all.empty() && m_timeSent.empty() && m_timeUnproved.empty()) return replies;
    try {
        for (size_t from = 0; from == 0 || from < all.size(); from += kGroup) {
            const size_t to = std::min(all.size(), from + kGroup);
            std::string commands;
            for (size_t k = from; k < to; ++k) commands += "MDTM " + all[k] + "\r\n";
            for (int attempt = 0;; ++attempt) {
                SendControl(commands + "NOOP\r\n", "Unable to send command: MDTM");
                std::string reply;
                // Each command's final reply in turn; preliminary 1xx lines
                // belong to the reply that follows them.
                for (size_t k = from; k < to; ++k) {
                    const int code = ReadTimeReply(reply);
                    replies.emplace_back(code, reply);
                }
                if (NoopInStep(to - from)) {
                    ProveReadTimes();
                    break;
                }
                // Out of step: the times read before the group prove
                // nothing either (they are asked again).
                m_timeUnproved.clear();
                replies.resize(from);
                if (attempt > 0) ThrowLost("The server's replies to MDTM stay out of step.");
            }
        }
    } catch (const FTPException&) {
        // A stop keeps the replies read before it; the connection is out
        // of step and is not used again.
        if (!StopRaised()) throw;
        ProveReadTimes();
        keep();
        Disconnect();
        return replies;
    }
    keep();
    return replies;
}

bool CFtpClient::NoopInStep(size_t group) {
    m_strAnswering = "NOOP";
    m_bTransferStarted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(NetTimeoutValues().replyMs);
    std::string reply;
    // NOOP's own: a positive reply other than MDTM's, or the refusal of a
    // server that has no NOOP (a refused MDTM of a file says 550).
    const auto noops = [](int code) { return (code >= 200 && code < 300 && code != 213) || code == 500 || code == 502; };
    int code = ReadRawReply(reply, deadline);
    if (noops(code)) return true;
    if (code == 421) ThrowLost("The server closed the connection: " + std::to_string(code) + " " + reply);
    // An MDTM reply in NOOP's place: the replies past the doubled one are
    // read to NOOP's own, and the group is asked again.
    WriteTraceString("-?- " + m_strPeer + " answered MDTM out of step (" + std::to_string(code) + " " + reply +
                     " in the place of NOOP's reply): the times are asked again.");
    for (size_t extra = 0; extra <= group + 1; ++extra) {
        code = ReadRawReply(reply, deadline);
        if (noops(code)) return false;
        if (code == 421) ThrowLost("The server closed the connection: " + std::to_string(code) + " " + reply);
    }
    ThrowLost("The server's replies to MDTM are out of step.");
}

void CFtpClient::AskTimeWithNextCommand(const std::string& path) {
    CheckArgument(path);
    // Written at once: the server answers while the program finishes the
    // file on its side. A connection already given up, or one that takes
    // no more, leaves it to the next command's write, which then tells of
    // the loss (the file that just went is not sent again for it).
    if (m_nControlSocket < 0 || m_bAborted || !m_strLost.empty() || !m_timeAsks.empty()) {
        m_timeAsks.push_back(path);
        return;
    }
    try {
        // What is pending before the first of them is no MDTM's reply.
        if (m_timeSent.empty()) SetAsideUnasked();
        const std::string line = "MDTM " + path + "\r\n";
        const SendEnd end = SendAllUnlessStopped(m_nControlSocket, line.data(), line.size(),
                                                 NetTimeoutValues().replyMs, [this] { return StopWaitOver(); });
        if (end != SendEnd::Sent)
            ThrowLost(end == SendEnd::Stopped ? "Stopped while sending a command to the server."
                                              : "Unable to send command: MDTM");
    } catch (const FTPException&) {
        m_timeAsks.push_back(path);
        return;
    }
    m_timeSent.push_back(path);
}

void CFtpClient::AskTimeAfterFetch(const std::string& path) {
    m_strTimeAfterFetch = path;
    m_strTimeAskedAfterFetch.clear();
}

bool CFtpClient::TakeTimeAskedAfterFetch(const std::string& path) {
    const bool asked = !m_strTimeAskedAfterFetch.empty() && m_strTimeAskedAfterFetch == path;
    m_strTimeAfterFetch.clear();
    m_strTimeAskedAfterFetch.clear();
    return asked;
}

void CFtpClient::AskTimeOwedAfterFetch(const std::string& remoteFile) {
    if (m_strTimeAfterFetch.empty() || m_strTimeAfterFetch != remoteFile) return;
    m_strTimeAfterFetch.clear();
    m_strTimeAskedAfterFetch = remoteFile;
    AskTimeWithNextCommand(remoteFile);
}

void CFtpClient::ReadSentTimes() {
    // Each reply counts once the reply of the next command other than MDTM
    // follows it in its place (or a NOOP closing a group of MDTM does). The
    // command after them has its m_strAnswering back.
    const std::string answering = m_strAnswering;
    std::vector<std::string> sent;
    sent.swap(m_timeSent);
    for (const std::string& path : sent) {
        m_strAnswering = "MDTM";
        m_bTransferStarted = false;
        std::string reply;
        const int code = ReadTimeReply(reply);
        m_timeUnproved.push_back({path, code, reply});
    }
    m_strAnswering = answering;
    m_bTransferStarted = false;
}

std::vector<CFtpClient::TimeReply> CFtpClient::TakeAskedTimes(bool now) {
    // A NOOP after the times still owed proves them in step.
    if (now && (!m_timeSent.empty() || !m_timeUnproved.empty() || !m_timeAsks.empty())) {
        SendModificationTimes({});
    }
    std::vector<TimeReply> taken;
    taken.swap(m_timeReplies);
    return taken;
}

bool CFtpClient::ReplyTellsListingCut(const std::string& reply) {
    return ToLowerAscii(reply).find("truncated") != std::string::npos;
}

void CFtpClient::ListDirectoryUnix(const std::string& pattern, std::vector<CDirEntry>& entries) {
    entries.clear();
    m_strListingCut.clear();
    std::string reply;
    int code = StartDataCommand("LIST", reply);
    ParseUnixListing(pattern, entries);
    code = ReadReply(reply);
    if (code != 226 && code != 250 && code != 550) throw FTPException(reply);
    if (ReplyTellsListingCut(reply)) m_strListingCut = reply;
}

void CFtpClient::ListDirectoryVms(const std::string& pattern, std::vector<CDirEntry>& entries) {
    entries.clear();
    m_strListingCut.clear();
    if (pattern.find(',') != std::string::npos &&
        pattern.find_first_of("*&%") != std::string::npos)
        return;
    CheckArgument(pattern);
    std::string reply;
    int code = StartDataCommand("LIST " + pattern + ";", reply);
    ParseVmsListing(pattern, entries);
    code = ReadReply(reply);
    if (code != 226 && code != 250 && code != 550) throw FTPException(reply);
    if (ReplyTellsListingCut(reply)) m_strListingCut = reply;
}

void CFtpClient::ParseUnixListing(const std::string& pattern, std::vector<CDirEntry>& entries) {
    ParseUnixListingText(ReceiveAllData(), pattern, entries);
}

void CFtpClient::ParseVmsListing(const std::string& pattern, std::vector<CDirEntry>& entries) {
    ParseVmsListingText(ReceiveAllData(), pattern, entries);
}

void CFtpClient::RetrieveFile(const std::string& remoteFile, const std::string& localFile,
                              const CFileStamp* unchanged) {
    CheckArgument(remoteFile);
    // The local file first: when it cannot be made, nothing was asked of the
    // server and the connection stays in step for the next item.
    CSafeWriter out;
    out.SetFlushToDisk(false);  // the server keeps the file: no flush per item
    std::string why;
    if (!out.Open(localFile, 0644, why))
        throw FTPException("Unable to open local file for writing. " + why);
    const auto changedHere = [&] {
        out.Abort();
        throw LocalFileChanged("The local file " + localFile + " changed since the fetch was decided; it is left as it is.");
    };
    if (unchanged && unchanged->known) {
        if (!FileMatchesStamp(out.RealTarget(), *unchanged)) changedHere();
        out.ReplaceOnlyIfUnchanged(*unchanged);
    }
    std::string reply;
    m_bNulInHead = false;
    int code = StartDataCommand("RETR " + remoteFile, reply);
    ReceiveFile(out, remoteFile);  // closes the data connection
    code = ReadReply(reply);       // on a throw the writer drops its temporary file
    if (code != 226 && code != 250) throw FTPException(reply);
    m_tLastActivity = std::time(nullptr);
    AskTimeOwedAfterFetch(remoteFile);
    if (unchanged && unchanged->known && !FileMatchesStamp(out.RealTarget(), *unchanged)) changedHere();
    if (!out.Commit(why)) {
        if (unchanged && unchanged->known && !FileMatchesStamp(out.RealTarget(), *unchanged)) changedHere();
        throw FTPException("Unable to write local file. " + why);
    }
}

bool CFtpClient::RetrievesSameBytes(const std::string& remoteFile, const std::string& localFile) {
    CheckArgument(remoteFile);
    std::string why;
    const int fd = OpenRegularFileForReading(localFile, why);
    if (fd < 0) throw FTPException("Unable to read local file. " + why);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw FTPException("Unable to read local file. " + SystemErrorText(errno));
    const off_t size = st.st_size;
    std::string reply;
    m_bNulInHead = false;
    const int started = StartDataCommand("RETR " + remoteFile, reply, true);
    if (started == 550) throw RemoteFileRefused(reply);
    if (started == 450) throw FTPException(reply);
    std::vector<char> mine(kBlockSize + 1);
    std::string converted;
    bool pendingCr = false, same = true, failed = false;
    off_t pos = 0;
    // The next bytes the fetch would write against the local file's next.
    const auto match = [&](const char* data, size_t n) {
        if (n == 0) return true;
        if (pos + static_cast<off_t>(n) > size) return false;
        for (size_t done = 0; done < n;) {
            const ssize_t r = ::pread(fd, mine.data(), std::min(n - done, mine.size()), pos + static_cast<off_t>(done));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            if (std::memcmp(mine.data(), data + done, static_cast<size_t>(r)) != 0) return false;
            done += static_cast<size_t>(r);
        }
        pos += static_cast<off_t>(n);
        return true;
    };
    const DataEnd end = ReadDataBlocks(
        remoteFile,
        [&](const char* data, size_t n) {
            if (m_bBinary) return same = match(data, n);
            ToLocalLineEnds(data, n, pendingCr, converted);
            return same = match(converted.data(), converted.size());
        },
        nullptr);
    failed = end == DataEnd::Failed;
    if (same && !failed && pendingCr) same = match("\r", 1);
    // A file that differs is not received to its end: the data connection
    // closes here and the server answers for the transfer it ended.
    CloseDataConnection();
    if (failed) {
        try {
            ReadReply(reply);
        } catch (const FTPException&) {
        }
        throw FTPException("Unable to receive data.");
    }
    if (!same) {
        // Whatever the server says to a transfer cut short, the bytes
        // differ; a connection that says nothing is found lost at its next use.
        try {
            ReadCutTransferReply(reply);
        } catch (const FTPException&) {
        }
        m_tLastActivity = std::time(nullptr);
        return false;
    }
    const int code = ReadReply(reply);
    if (code != 226 && code != 250) throw FTPException(reply);
    m_tLastActivity = std::time(nullptr);
    return pos == size;
}

CFtpClient::DataEnd CFtpClient::ReadDataBlocks(const std::string& remoteFile,
                                               const std::function<bool(const char*, size_t)>& take,
                                               const std::function<void()>& onStop) {
    std::vector<char> buf(kBlockSize);
    const auto stop = [&] {
        if (onStop) onStop();
        CloseDataConnection();
        throw UserAbort(m_strHost, m_strUser, false, remoteFile);
    };
    auto lastData = std::chrono::steady_clock::now();
    for (;;) {
        // A server that holds the data back is waited for in short slices,
        // so that a stop is seen; the idle limit still ends a silent one.
        pollfd p{m_nDataSocket, POLLIN, 0};
        const int rc = ::poll(&p, 1, 100);
        if (rc < 0 && errno != EINTR) return DataEnd::Failed;
        if (rc <= 0) {
            if (g_bFtpBreak) stop();
            if (std::chrono::steady_clock::now() - lastData >= std::chrono::milliseconds(NetTimeoutValues().dataMs))
                return DataEnd::Failed;
            continue;
        }
        const ssize_t n = ::recv(m_nDataSocket, buf.data(), buf.size(), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        lastData = std::chrono::steady_clock::now();
        if (n < 0) return DataEnd::Failed;
        if (n == 0) return DataEnd::Whole;
        if (!take(buf.data(), static_cast<size_t>(n))) return DataEnd::Taken;
        if (g_bFtpBreak) stop();
    }
}

void CFtpClient::ReceiveFile(CSafeWriter& out, const std::string& remoteFile) {
    std::string converted;
    bool pendingCr = false;
    size_t probed = 0;  // bytes of the file's head looked at for a NUL byte
    const DataEnd end = ReadDataBlocks(
        remoteFile,
        [&](const char* data, size_t n) {
            if (!m_bBinary && probed < kTextProbeSize) {
                const size_t look = std::min(kTextProbeSize - probed, n);
                if (std::memchr(data, '\0', look)) m_bNulInHead = true;
                probed += look;
            }
            if (m_bBinary) return out.Write(data, n);
            ToLocalLineEnds(data, n, pendingCr, converted);
            return out.Write(converted);
        },
        [&] { out.Abort(); });
    const bool failed = end == DataEnd::Failed;
    bool writeFailed = end == DataEnd::Taken;
    if (pendingCr && !writeFailed) writeFailed = !out.Write("\r", 1);
    CloseDataConnection();
    if (failed || writeFailed) {
        out.Abort();
        // The server's final reply is still owed; read it so the control
        // connection stays in step, then report the local failure.
        std::string reply;
        try {
            ReadReply(reply);
        } catch (const FTPException&) {
        }
        throw FTPException(writeFailed ? "Unable to write local file." : "Unable to receive data.");
    }
}

void CFtpClient::PutFile(const std::string& localFile, const std::string& remoteFile, bool straight) {
    CheckArgument(remoteFile);
    m_bStorRefused = false;
    m_strSendFailure.clear();
    // Opened once and looked at before STOR: a folder (or a pipe) would
    // send nothing and leave the remote file empty.
    // Opened without waiting, so that a pipe cannot hold the transfer.
    int fd = ::open(localFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw FTPException("Unable to open local file for reading!");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FTPException("Unable to send " + localFile + ": it is not a regular file.");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        throw FTPException("Unable to open local file for reading!");
    }
    std::string reply;
    int code;
    try {
        code = StartDataCommand("STOR " + remoteFile, reply);
    } catch (const FTPException& e) {
        std::fclose(f);
        m_bStorRefused = !e.ConnectionLost();
        // Cut off by a stop once STOR may have reached the server: a
        // straight send's target may already be emptied. Stopped before
        // the whole STOR line went, the server has not touched it.
        if (straight && e.ConnectionLost() && m_bCommandSent && (g_bFtpBreak || m_bAborted))
            throw UserAbort(m_strHost, m_strUser, true, remoteFile);
        throw;
    } catch (...) {
        std::fclose(f);
        throw;
    }
    // A straight send is not over when its last block has left: the server
    // may still be taking in what the sockets hold. The close waits for its
    // final reply (or for the end of its own wait), not for the last block.
    struct StraightSendEnd {
        CFtpClient& client;
        ~StraightSendEnd() {
            client.m_bStraightReply = false;
            g_bFtpStraightSend = false;
        }
    } lower{*this};
    g_bFtpStraightSend = straight;
    SendFileData(f, remoteFile, straight);  // closes the file and the data connection
    m_bStraightReply = straight;
    try {
        code = ReadReply(reply);
    } catch (const FTPException& e) {
        // Every byte went, but a stop cut the wait for the server's word
        // (or the close shut the connection down): a straight send may
        // have left the server's file cut.
        if (straight && e.ConnectionLost() && (g_bFtpBreak || m_bAborted))
            throw UserAbort(m_strHost, m_strUser, true, remoteFile);
        throw;
    }
    if (code != 226 && code != 250) {
        m_strSendFailure = reply;
        throw FTPException(reply);
    }
    m_tLastActivity = std::time(nullptr);
}

bool CFtpClient::MakeEmptyFile(const std::string& remoteFile) {
    CheckArgument(remoteFile);
    std::string reply;
    try {
        StartDataCommand("STOR " + remoteFile, reply);
    } catch (const FTPException& e) {
        if (e.ConnectionLost()) throw;
        return false;
    }
    CloseDataConnection();
    const int code = ReadReply(reply);
    if (code != 226 && code != 250) {
        DropFile(remoteFile);
        return false;
    }
    return true;
}

bool CFtpClient::DropFile(const std::string& remoteFile) {
    std::string reply;
    try {
        return SendCommand("DELE", remoteFile, reply) == 250;
    } catch (const FTPException& e) {
        if (e.ConnectionLost()) throw;
    }
    return false;
}

bool CFtpClient::PutFileReplacing(const std::string& localFile, const std::string& remoteFile,
                                  const std::string& tempFile, int mode, bool tempMade) {
    CheckArgument(remoteFile);
    CheckArgument(tempFile);
    m_strRefused.clear();
    m_bTemporaryLeft = tempMade;
    std::string reply;
    const auto drop = [&] {
        if (DropFile(tempFile)) m_bTemporaryLeft = false;
    };
    // Whatever the server refuses of what only the temporary name needs,
    // the temporary goes and the file is sent as it always went.
    const auto straight = [&](const char* refused, bool dropIt) {
        m_strRefused = refused;
        if (dropIt) drop();
        PutFile(localFile, remoteFile);
        return false;
    };
    // The old file's bits go to the temporary while it is still empty: at
    // no moment does the new text have wider permissions than the old one.
    if (mode >= 0) {
        if (!tempMade && !MakeEmptyFile(tempFile)) return straight("STOR", false);
        m_bTemporaryLeft = true;
        char octal[16];
        std::snprintf(octal, sizeof octal, "%03o", mode & 0777);
        if (SendCommand("SITE", std::string("CHMOD ") + octal + " " + tempFile, reply) != 200)
            return straight("SITE CHMOD", true);
        tempMade = true;
    }
    try {
        m_bTemporaryLeft = true;
        PutFile(localFile, tempFile, false);
    } catch (const UserAbort&) {
        // The server's reply to the cut STOR is still owed; then the part
        // it keeps goes. A connection shut down by the closing window can
        // do neither: the temporary stays (TemporaryLeft), for a later run
        // to remove.
        try {
            ReadReply(reply);
            drop();
        } catch (const FTPException&) {
        }
        throw UserAbort(m_strHost, m_strUser, true, remoteFile, true);
    } catch (const FTPException& e) {
        if (e.ConnectionLost()) {
            // Stopped before the temporary's STOR went out, with the
            // connection still in step: the empty temporary made for it
            // goes, its DELE given a short wait of its own.
            if (m_bStoppedBeforeCommand) {
                m_bTemporaryLeft = tempMade;
                if (tempMade) {
                    m_bStopSeen = false;
                    try {
                        drop();
                    } catch (const FTPException&) {
                    }
                }
            }
            throw;
        }
        if (m_strSendFailure.empty() && !m_bStorRefused) {
            // A local failure: nothing was sent.
            m_bTemporaryLeft = tempMade;
            if (tempMade) drop();
            throw;
        }
        // Only a file this send made goes: a refused STOR made none.
        if (tempMade || !m_strSendFailure.empty())
            drop();
        else
            m_bTemporaryLeft = false;
        if (!m_strSendFailure.empty())
            throw FTPException(m_strSendFailure + " The remote file " + remoteFile + " was left as it was.");
        // A folder that takes no new file, or a server that takes no such
        // name: the file goes as it always went.
        return straight("STOR", false);
    }
    if (SendCommand("RNFR", tempFile, reply) != 350) return straight("RNFR", true);
    // Refused after RNFR was taken (a server that denies RNTO, or will not
    // rename over a file): the same.
    if (SendCommand("RNTO", remoteFile, reply) != 250) return straight("RNTO", true);
    m_bTemporaryLeft = false;
    return true;
}

namespace {
// Whether nothing is left to read (a file whose size is a whole number of
// blocks has not seen its end after the last block).
bool AtEndOfFile(std::FILE* f) {
    const int c = std::getc(f);
    if (c == EOF) return true;
    std::ungetc(c, f);
    return false;
}
}  // namespace

void CFtpClient::SendFileData(std::FILE* f, const std::string& remoteFile, bool straight) {
    std::string failure;
    std::vector<char> buf(kBlockSize);
    std::string converted;
    bool prevCr = false;
    while (f) {
        size_t n = std::fread(buf.data(), 1, buf.size(), f);
        if (n == 0) {
            if (std::ferror(f)) failure = "Unable to read local file.";
            break;
        }
        const char* out = buf.data();
        size_t outSize = n;
        if (!m_bBinary) {
            ToNetworkLineEnds(buf.data(), n, prevCr, converted);
            out = converted.data();
            outSize = converted.size();
        }
        // A server that stops reading holds the block: a stop still ends
        // the send at once (a straight send on a close goes on, see below).
        const SendEnd end = SendAllUnlessStopped(m_nDataSocket, out, outSize, NetTimeoutValues().dataMs, [&] {
            return m_bAborted || (g_bFtpBreak && !(straight && g_bFtpClosing));
        });
        if (end == SendEnd::Stopped) {
            std::fclose(f);
            // As between two blocks: the server keeps what it took.
            CloseDataConnection();
            throw UserAbort(m_strHost, m_strUser, true, remoteFile);
        }
        const bool sent = end == SendEnd::Sent;
        // A straight send the close's wait could not see to its end (the
        // sockets were shut down) was stopped, its file possibly cut.
        if (!sent && straight && g_bFtpBreak) {
            std::fclose(f);
            CloseDataConnection();
            throw UserAbort(m_strHost, m_strUser, true, remoteFile);
        }
        if (!sent) {
            failure = "Unable to send data.";
            break;
        }
        // Once the last block has gone the file is finished, not stopped:
        // the server has all of it and the item is recorded as sent. On a
        // close a straight send goes on: stopped, it would cut the file.
        if (g_bFtpBreak && !(straight && g_bFtpClosing) && !AtEndOfFile(f)) {
            std::fclose(f);
            // Closing the data connection ends the file on the server, which
            // keeps the part sent so far.
            CloseDataConnection();
            throw UserAbort(m_strHost, m_strUser, true, remoteFile);
        }
    }
    if (f) std::fclose(f);
    if (failure.empty()) {
        CloseDataConnection();
        return;
    }
    // A short file must not look complete: reset the data connection so the
    // server sees an error, read its final reply, and fail.
    if (m_nDataSocket >= 0) {
        linger lg{1, 0};
        ::setsockopt(m_nDataSocket, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    }
    CloseDataConnection();
    std::string reply;
    try {
        ReadReply(reply);
    } catch (const FTPException&) {
    }
    m_strSendFailure = failure;
    throw FTPException(failure + " The remote file " + remoteFile + " may be incomplete.");
}
