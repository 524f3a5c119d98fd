#include "remote/RexecClient.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

#include "model/Globals.h"
#include "remote/Socket.h"

namespace {
// Slice of the output wait, so that a stop request is seen while the remote
// command is silent.
constexpr int kWaitSliceMs = 100;
}

CRexecClient::~CRexecClient() { Close(); }

void CRexecClient::Close() { CloseSocket(m_ControlSocket); }

bool CRexecClient::Execute(const std::string& user, const std::string& password,
                           const std::string& host, const std::string& command,
                           const std::string& argument, std::string& output) {
    return Execute(user, password, host, PortFromEnvironment("QVL_REXEC_PORT", 512), command,
                   argument, output);
}

bool CRexecClient::Execute(const std::string& user, const std::string& password,
                           const std::string& host, int port, const std::string& command,
                           const std::string& argument, std::string& output) {
    for (const std::string* s : {&user, &password, &host, &command, &argument})
        if (HasLineBreakOrNul(*s))
            throw ZmrRexecException("Invalid character (CR, LF or NUL) in a rexec argument");
    Close();
    m_ControlSocket = Connect(host, port);
    m_strHost = host;
    try {
        // An empty port text first: no separate error connection.
        if (!SendString("") || !SendString(user) || !SendString(password + '\0' + command + " " + argument))
            throw ZmrRexecException("Unable to send string: " + user);
        const size_t cap = NetLimitValues().maxRexecOutputBytes;
        output += ReadOutput(output.size() < cap ? cap - output.size() : 0);
    } catch (...) {
        Close();
        throw;
    }
    Close();
    return true;
}

int CRexecClient::Connect(const std::string& host, int port) {
    std::string error;
    int fd = ConnectTcp(host, port, NetTimeoutValues().connectMs, error);
    if (fd < 0) throw ZmrRexecException(error);
    return fd;
}

bool CRexecClient::SendString(const std::string& text) {
    std::string bytes = text;
    bytes.push_back('\0');
    return SendAll(m_ControlSocket, bytes);
}

bool CRexecClient::WaitReadable(int milliseconds) {
    pollfd p{m_ControlSocket, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, milliseconds < 0 ? -1 : milliseconds);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) throw ZmrRexecException("rexec output failure");
    return rc > 0;
}

std::string CRexecClient::ReadOutput(size_t budget) {
    std::string output;
    bool haveStatus = false;
    bool isError = false;
    int waitedForStatus = 0;
    char buf[4096];
    for (;;) {
        if (g_bFtpBreak) {
            Close();
            throw UserAbort();
        }
        if (!WaitReadable(kWaitSliceMs)) {
            if (!haveStatus) {
                waitedForStatus += kWaitSliceMs;
                if (waitedForStatus >= NetTimeoutValues().replyMs)
                    throw ZmrRexecException("No answer from the rexec service.");
            }
            continue;
        }
        ssize_t n = ::recv(m_ControlSocket, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        size_t start = 0;
        if (!haveStatus) {
            // The first byte is the status: 0 output follows, 1 an error message.
            haveStatus = true;
            isError = buf[0] != 0;
            start = 1;
        }
        for (ssize_t i = static_cast<ssize_t>(start); i < n; ++i)
            if (buf[i] != '\0') output.push_back(buf[i]);
        if (!isError && output.size() >= budget) {
            // An endless command: what it wrote so far is kept, the rest is
            // never read.
            output.resize(budget);
            Close();
            const size_t cap = NetLimitValues().maxRexecOutputBytes;
            const std::string size = cap % (1u << 20) == 0 ? std::to_string(cap >> 20) + " MB"
                                                            : std::to_string(cap) + " bytes";
            return output + "\n--- The output was stopped at " + size + ". ---\n";
        }
    }
    if (!haveStatus) throw ZmrRexecException(kLoginFailed);
    if (isError) {
        while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
        throw ZmrRexecException(output.empty() ? std::string("rexec refused the command") : output);
    }
    return output;
}
