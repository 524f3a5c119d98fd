// pyftpdlib with slow data connections, for tests that must catch a
// transfer or a listing while it is under way.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "remote/TestServers.h"

// pyftpdlib whose data connections move at most `rate` bytes a second, so
// that a test can stop it in the middle of a file.
class ThrottledFtpServer : public qvltest::LoopbackServer {
public:
    ThrottledFtpServer(const std::string& root, int rate) {
        if (!qvltest::HavePyFtpdLib()) {
            m_why = "python3-pyftpdlib is not installed (run scripts/setup)";
            return;
        }
        static const char* const script =
            "import sys\n"
            "from pyftpdlib.authorizers import DummyAuthorizer\n"
            "from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler\n"
            "from pyftpdlib.servers import FTPServer\n"
            "port, root, user, pw, low, rate = sys.argv[1:7]\n"
            "a = DummyAuthorizer()\n"
            "a.add_user(user, pw, root, perm='elradfmwMT')\n"
            "ThrottledDTPHandler.read_limit = int(rate)\n"
            "ThrottledDTPHandler.write_limit = int(rate)\n"
            "FTPHandler.authorizer = a\n"
            "FTPHandler.dtp_handler = ThrottledDTPHandler\n"
            "FTPHandler.passive_ports = range(int(low), int(low) + 20)\n"
            "FTPServer(('127.0.0.1', int(port)), FTPHandler).serve_forever()\n";
        Launch(
            [&](int port) {
                return std::vector<std::string>{"/usr/bin/python3", "-c", script,
                                                std::to_string(port), root, qvltest::kUser,
                                                qvltest::kPassword,
                                                std::to_string(qvltest::FreePort()),
                                                std::to_string(rate)};
            },
            qvltest::AnswersFtp, 5000, "throttled pyftpdlib");
    }
    // Ends the server process at once, whatever it is doing.
    void Kill() { StopServer(); }
    // The server stops answering anything (its process is stopped), and
    // goes on again.
    void Freeze() { ::kill(m_child->Pid(), SIGSTOP); }
    void Thaw() { ::kill(m_child->Pid(), SIGCONT); }
};
