// Runs one command line on a remote host through the rexec service and
// returns what the command wrote.
#pragma once

#include <stdexcept>
#include <string>

class CRexecClient {
public:
    // Every failure of the client; what() says why.
    class ZmrRexecException : public std::domain_error {
    public:
        explicit ZmrRexecException(const std::string& text) : std::domain_error(text) {}
    };
    using VadRexecException = ZmrRexecException;

    // Thrown when the FTP break flag is raised while output is awaited; the
    // connection is closed and the output read so far is dropped.
    class UserAbort : public std::exception {
    public:
        const char* what() const noexcept override { return "-r-aborted"; }
    };

    // The text of a refused login (the host closed without a status byte).
    static constexpr const char* kLoginFailed = "Login failed: the host closed the rexec connection.";

    CRexecClient() = default;
    virtual ~CRexecClient();
    CRexecClient(const CRexecClient&) = delete;
    CRexecClient& operator=(const CRexecClient&) = delete;

    // Connects to port 512 (or QVL_REXEC_PORT), sends user, password and
    // command + " " + argument, reads the status byte and then the output
    // until the host closes. Appends the output; closes the connection.
    // The output grows to the rexec output limit at most: there the
    // connection is closed and a line saying so ends the output.
    bool Execute(const std::string& user, const std::string& password, const std::string& host,
                 const std::string& command, const std::string& argument, std::string& output);
    bool Execute(const std::string& user, const std::string& password, const std::string& host,
                 int port, const std::string& command, const std::string& argument,
                 std::string& output);

    int Connect(const std::string& host, int port);
    bool SendString(const std::string& text);
    // The output up to budget bytes; past it the connection is closed and
    // the output ends with the line that says so.
    std::string ReadOutput(size_t budget = static_cast<size_t>(-1));
    // True when the socket can be read within the time (below 0: no limit).
    bool WaitReadable(int milliseconds);

    const std::string& Host() const { return m_strHost; }

private:
    void Close();
    std::string m_strHost;
    int m_ControlSocket = -1;
};
