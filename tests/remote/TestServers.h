// Servers the remote tests start on 127.0.0.1: pyftpdlib, vsftpd, pure-ftpd, in.rexecd
// behind socat, and a scripted fake FTP server for replies real servers do
// not give. Each stops its server when it goes out of scope.
#pragma once

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qvltest {

inline const char* kUser = "qvltest";
inline const char* kPassword = "qvltest-pw";

// A port nobody listens on right now.
inline int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    int port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// Connects to 127.0.0.1:port and reads until a 220 greeting arrives.
inline bool AnswersFtp(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        pollfd p{fd, POLLIN, 0};
        char buf[256];
        if (::poll(&p, 1, 2000) > 0 && ::recv(fd, buf, sizeof buf, 0) >= 3)
            ok = std::strncmp(buf, "220", 3) == 0;
        ::send(fd, "QUIT\r\n", 6, MSG_NOSIGNAL);
    }
    ::close(fd);
    return ok;
}

inline bool AcceptsConnection(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// True when a process of the process group pgid listens on 127.0.0.1:port:
// the server that answers there is the one started, not another test's that
// was handed the same free port a moment earlier.
inline bool GroupListensOn(pid_t pgid, int port) {
    std::set<std::string> inodes;  // "socket:[N]" of the listeners on the port
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    std::getline(tcp, line);
    char want[16];
    std::snprintf(want, sizeof want, "0100007F:%04X", static_cast<unsigned>(port));
    while (std::getline(tcp, line)) {
        std::istringstream f(line);
        std::string slot, local, remote, state, queues, timer, retr, uid, timeout, inode;
        if (!(f >> slot >> local >> remote >> state >> queues >> timer >> retr >> uid >> timeout >> inode))
            continue;
        if (local == want && state == "0A") inodes.insert("socket:[" + inode + "]");
    }
    if (inodes.empty()) return false;
    std::error_code ec;
    for (const auto& proc : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = proc.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(proc.path() / "stat");
        std::string statLine;
        std::getline(stat, statLine);
        // pid (comm) state ppid pgrp ...: comm may hold blanks, so read after the last ')'.
        const auto close = statLine.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(statLine.substr(close + 1));
        std::string state;
        long ppid = 0, pgrp = 0;
        if (!(rest >> state >> ppid >> pgrp) || pgrp != pgid) continue;
        std::error_code fdErr;
        for (const auto& fd : std::filesystem::directory_iterator(proc.path() / "fd", fdErr)) {
            std::error_code linkErr;
            const auto target = std::filesystem::read_symlink(fd.path(), linkErr);
            if (!linkErr && inodes.count(target.string())) return true;
        }
    }
    return false;
}

// A child process started with an argument list, stopped on destruction.
class Child {
public:
    Child() = default;
    explicit Child(const std::vector<std::string>& args) { Start(args); }
    ~Child() { Stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool Start(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (const std::string& s : args) argv.push_back(const_cast<char*>(s.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        int rc = posix_spawn(&m_pid, argv[0], &fa, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        if (rc != 0) m_pid = -1;
        return m_pid > 0;
    }
    void Stop() {
        if (m_pid <= 0) return;
        ::kill(-m_pid, SIGTERM);  // its own process group: the server and its children
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(-m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    // False once the child has ended (it is reaped then and never signalled).
    bool Running() {
        if (m_pid <= 0) return false;
        if (::waitpid(m_pid, &m_status, WNOHANG) == 0) return true;
        m_pid = -1;
        return false;
    }
    pid_t Pid() const { return m_pid; }
    // How it ended (as from waitpid), once Running() has said it ended.
    int Status() const { return m_status; }

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

template <class F>
bool WaitFor(F ok, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (ok()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

inline bool HavePyFtpdLib() {
    return ::access("/usr/bin/python3", X_OK) == 0 &&
           std::system("/usr/bin/python3 -c 'import pyftpdlib' >/dev/null 2>&1") == 0;
}

// A server program on a free loopback port, started up to three times (another
// test may take the port first) and stopped with the object.
class LoopbackServer {
public:
    bool ok() const { return m_ok; }
    const std::string& why() const { return m_why; }
    int port() const { return m_port; }

protected:
    // argsForPort gives the command line for a port; answers says whether a
    // server answers there.
    void Launch(const std::function<std::vector<std::string>(int)>& argsForPort,
                const std::function<bool(int)>& answers, int waitMs, const std::string& name) {
        for (int attempt = 0; attempt < 3 && !m_ok; ++attempt) {
            m_port = FreePort();
            m_child = std::make_unique<Child>(argsForPort(m_port));
            // Another test's server may have been given the same port: the
            // one that answers must be ours.
            m_ok = WaitFor(
                [&] {
                    return !m_child->Running() ||
                           (answers(m_port) && GroupListensOn(m_child->Pid(), m_port));
                },
                waitMs);
            m_ok = m_ok && m_child->Running();
            if (!m_ok) m_child.reset();
        }
        if (!m_ok) m_why = name + " did not start";
    }
    void StopServer() { m_child.reset(); }

public:
    // The server and every process of its own stop answering anything
    // (their processes are stopped), and go on again.
    void FreezeAll() { SignalAll(SIGSTOP); }
    void ThawAll() { SignalAll(SIGCONT); }

protected:
    // The server's process and its descendants (a server may give each
    // session a process group of its own), found by their parents.
    void SignalAll(int signal) {
        if (!m_child) return;
        std::vector<pid_t> all{m_child->Pid()};
        for (size_t k = 0; k < all.size(); ++k) {
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
                const std::string name = e.path().filename().string();
                if (name.find_first_not_of("0123456789") != std::string::npos) continue;
                std::ifstream stat(e.path() / "stat");
                std::string line;
                std::getline(stat, line);
                const size_t close = line.rfind(')');
                if (close == std::string::npos) continue;
                std::istringstream rest(line.substr(close + 2));
                std::string state;
                pid_t parent = 0;
                rest >> state >> parent;
                const pid_t pid = static_cast<pid_t>(std::stol(name));
                if (parent == all[k] && std::find(all.begin(), all.end(), pid) == all.end()) all.push_back(pid);
            }
        }
        for (pid_t pid : all) ::kill(pid, signal);
    }

    std::unique_ptr<Child> m_child;
    int m_port = 0;
    bool m_ok = false;
    std::string m_why;
};

// python3 -m pyftpdlib with a user, a password and a root folder.
// passiveSeconds > 0: a passive port nobody connects to is given up after
// that many seconds instead of pyftpdlib's 30, with its own unasked
// "421 Passive data channel timed out." on the control connection.
class PyFtpServer : public LoopbackServer {
public:
    explicit PyFtpServer(const std::string& root, double passiveSeconds = 0) {
        if (!HavePyFtpdLib()) {
            m_why = "python3-pyftpdlib is not installed (run scripts/setup)";
            return;
        }
        const std::string script =
            "import sys\n"
            "from pyftpdlib.authorizers import DummyAuthorizer\n"
            "from pyftpdlib.handlers import FTPHandler, PassiveDTP\n"
            "from pyftpdlib.servers import FTPServer\n"
            "port, root, user, pw, low, passive = sys.argv[1:7]\n"
            "PassiveDTP.timeout = float(passive)\n"
            "a = DummyAuthorizer()\n"
            "a.add_user(user, pw, root, perm='elradfmwMT')\n"
            "FTPHandler.authorizer = a\n"
            "FTPHandler.passive_ports = range(int(low), int(low) + 21)\n"
            "FTPServer(('127.0.0.1', int(port)), FTPHandler).serve_forever()\n";
        Launch(
            [&](int port) {
                const int low = FreePort();
                if (passiveSeconds > 0)
                    return std::vector<std::string>{"/usr/bin/python3", "-c", script, std::to_string(port), root,
                                                    kUser, kPassword, std::to_string(low),
                                                    std::to_string(passiveSeconds)};
                const std::string range = std::to_string(low) + "-" + std::to_string(low + 20);
                return std::vector<std::string>{
                    "/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                    std::to_string(port), "-w", "-d", root, "-u", kUser, "-P", kPassword, "-r",
                    range};
            },
            AnswersFtp, 5000, "pyftpdlib");
    }
};

// pyftpdlib with a handler that answers some commands as no real server
// does: refuse holds command words and lines starting with them ("LIST -a"),
// each answered with its reply (the reply "CLOSE" closes the connection
// instead, as a network fault would); every command line received is
// written to the file log.
class PyFtpRefusingServer : public LoopbackServer {
public:
    PyFtpRefusingServer(const std::string& root, const std::map<std::string, std::string>& refuse,
                        const std::string& log) {
        if (!HavePyFtpdLib()) {
            m_why = "python3-pyftpdlib is not installed (run scripts/setup)";
            return;
        }
        std::string table;
        for (const auto& [line, reply] : refuse) table += "    " + Quote(line) + ": " + Quote(reply) + ",\n";
        const std::string script =
            "import sys\n"
            "from pyftpdlib.authorizers import DummyAuthorizer\n"
            "from pyftpdlib.handlers import FTPHandler\n"
            "from pyftpdlib.servers import FTPServer\n"
            "port, root, user, pw, low, log = sys.argv[1:7]\n"
            "REFUSE = {\n" + table + "}\n"
            "class Handler(FTPHandler):\n"
            "    def pre_process_command(self, line, cmd, arg):\n"
            "        with open(log, 'a') as f:\n"
            "            f.write(line + '\\n')\n"
            "        for start, reply in REFUSE.items():\n"
            "            if line == start or line.startswith(start + ' '):\n"
            "                if reply == 'CLOSE':\n"
            "                    self.close()\n"
            "                else:\n"
            "                    self.respond(reply)\n"
            "                return\n"
            "        return FTPHandler.pre_process_command(self, line, cmd, arg)\n"
            "a = DummyAuthorizer()\n"
            "a.add_user(user, pw, root, perm='elradfmwMT')\n"
            "Handler.authorizer = a\n"
            "Handler.passive_ports = range(int(low), int(low) + 20)\n"
            "FTPServer(('127.0.0.1', int(port)), Handler).serve_forever()\n";
        Launch(
            [&](int port) {
                return std::vector<std::string>{"/usr/bin/python3", "-c", script, std::to_string(port), root, kUser,
                                                kPassword, std::to_string(FreePort()), log};
            },
            AnswersFtp, 5000, "pyftpdlib");
    }

private:
    static std::string Quote(const std::string& s) {
        std::string q = "'";
        for (char c : s) {
            if (c == '\'' || c == '\\') q += '\\';
            q += c;
        }
        return q + "'";
    }
};

// The test user's ids, or false when the user does not exist.
inline bool TestUserIds(uid_t& uid, gid_t& gid, std::string& home) {
    passwd* pw = ::getpwnam(kUser);
    if (!pw) return false;
    uid = pw->pw_uid;
    gid = pw->pw_gid;
    home = pw->pw_dir;
    return true;
}

// A folder owned by the test user, removed afterwards (root only).
class UserDir {
public:
    UserDir() {
        uid_t uid;
        gid_t gid;
        std::string home;
        if (!TestUserIds(uid, gid, home)) return;
        std::string tmpl = "/tmp/qvl-user-XXXXXX";
        if (!::mkdtemp(tmpl.data())) return;
        m_path = tmpl;
        if (::chown(m_path.c_str(), uid, gid) != 0) m_path.clear();
    }
    ~UserDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }
    std::string dir() const { return m_path + "/"; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Why the root-only servers cannot run here; empty when they can.
inline std::string RootServerUnavailable(const char* program) {
    if (::geteuid() != 0) return "needs root (a local test user logs in)";
    if (::access(program, X_OK) != 0) return std::string(program) + " is not installed";
    uid_t uid;
    gid_t gid;
    std::string home;
    if (!TestUserIds(uid, gid, home)) return "the user qvltest is missing (run scripts/setup as root)";
    return std::string();
}

// vsftpd with the local test user; its login folder is root (the user's
// home when root is empty).
class VsftpdServer : public LoopbackServer {
public:
    // extra: more lines for its configuration ("chmod_enable=NO\n").
    explicit VsftpdServer(const std::string& root, const std::string& extra = "") {
        m_why = RootServerUnavailable("/usr/sbin/vsftpd");
        if (!m_why.empty()) return;
        std::filesystem::create_directories("/var/run/vsftpd/empty");
        m_conf = "/tmp/qvl-vsftpd-" + std::to_string(::getpid()) + "-" +
                 std::to_string(reinterpret_cast<uintptr_t>(this)) + ".conf";
        Launch(
            [&](int port) {
                const int low = FreePort();
                std::ofstream c(m_conf, std::ios::trunc);
                c << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port
                  << "\nbackground=NO\nlocal_enable=YES\nwrite_enable=YES\nanonymous_enable=NO\n"
                  << "seccomp_sandbox=NO\nsecure_chroot_dir=/var/run/vsftpd/empty\n"
                  << "pam_service_name=vsftpd\n"
                  << (root.empty() ? "" : "local_root=" + root + "\n") << "local_umask=022\n"
                  << "pasv_enable=YES\npasv_min_port=" << low << "\npasv_max_port=" << low + 20
                  << "\nuse_localtime=YES\nxferlog_enable=NO\nconnect_from_port_20=NO\n"
                  << "max_per_ip=0\nmax_clients=0\n" << extra;
                c.close();
                return std::vector<std::string>{"/usr/sbin/vsftpd", m_conf};
            },
            AnswersFtp, 5000, "vsftpd");
    }
    ~VsftpdServer() {
        StopServer();
        if (!m_conf.empty()) std::remove(m_conf.c_str());
    }

private:
    std::string m_conf;
};

// pure-ftpd in the foreground with the local test user (unix logins), not
// shut in a folder: its items use absolute remote folders. Its Debian package
// conflicts with vsftpd, so scripts/setup unpacks it into a folder of its
// own; QVL_PURE_FTPD names another binary. extra: more options ("-L", "50:5");
// environment: settings of its own ("TZ=Asia/Tokyo": its listings show that
// zone's clock, MDTM stays UTC).
class PureFtpdServer : public LoopbackServer {
public:
    explicit PureFtpdServer(const std::vector<std::string>& extra = {},
                            const std::vector<std::string>& environment = {}) {
        const char* env = std::getenv("QVL_PURE_FTPD");
        const std::string program = env && *env ? env : "/opt/qvl-pure-ftpd/usr/sbin/pure-ftpd";
        m_why = RootServerUnavailable(program.c_str());
        if (!m_why.empty()) {
            m_why += " (scripts/setup unpacks it)";
            return;
        }
        Launch(
            [program, extra, environment](int port) {
                const int low = FreePort();
                std::vector<std::string> args{program, "-S", "127.0.0.1," + std::to_string(port), "-4", "-H",
                                              "-E", "-l", "unix", "-p",
                                              std::to_string(low) + ":" + std::to_string(low + 20)};
                args.insert(args.end(), extra.begin(), extra.end());
                if (!environment.empty()) {
                    std::vector<std::string> env{"/usr/bin/env"};
                    env.insert(env.end(), environment.begin(), environment.end());
                    args.insert(args.begin(), env.begin(), env.end());
                }
                return args;
            },
            AnswersFtp, 5000, "pure-ftpd");
    }
};

// in.rexecd served by socat on a loopback port.
class RexecServer : public LoopbackServer {
public:
    RexecServer() {
        m_why = RootServerUnavailable("/usr/sbin/in.rexecd");
        if (m_why.empty() && ::access("/usr/bin/socat", X_OK) != 0) m_why = "socat is not installed";
        if (!m_why.empty()) return;
        Launch(
            [](int port) {
                return std::vector<std::string>{
                    "/usr/bin/socat",
                    "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,fork",
                    "EXEC:/usr/sbin/in.rexecd,nofork"};
            },
            AcceptsConnection, 3000, "socat");
    }
};

// A scripted FTP server in a thread of the test. It answers the usual
// commands itself; replies[word] overrides the answer to a command word
// (raw bytes, CR LF included), delays[word] waits before answering.
class FakeFtpServer {
public:
    std::string greeting = "220 fake FTP ready\r\n";
    std::string systReply = "215 UNIX Type: L8\r\n";
    std::string pasvAddress = "127,0,0,1";
    std::map<std::string, std::string> replies;
    std::map<std::string, int> delays;
    std::string listing;                   // data of LIST
    std::string retrData;                  // data of RETR
    size_t dropRetrAfter = std::string::npos;  // close the data connection early
    std::string stored;                    // data received by the last STOR
    std::vector<std::string> storedNames;  // every STOR's file name, in order
    bool dropStor = false;                 // close a STOR's data connection unread
    int listingLineMs = 0;                 // wait before each line of LIST data
    size_t storReadLimit = std::string::npos;  // a STOR's data is read this far, then no more
    std::map<std::string, int> withholdEvery;  // every n-th command of the word gets no reply
    std::atomic<bool> pasvTakesNothing{false};  // a PASV port whose backlog is full: connects hang
    std::string holdControlAt;             // a command line starting so is read no further, ever
    std::map<std::string, std::string> mdtm;  // MDTM's time by path ("20240102030405"); others get 550

    FakeFtpServer() {
        m_listen = Listen(m_port);
    }
    ~FakeFtpServer() { Stop(); }
    int port() const { return m_port; }
    void Start() {
        m_stop = false;
        m_thread = std::thread([this] { Run(); });
    }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_listen >= 0) ::close(m_listen);
        m_listen = -1;
    }
    // Changes a scripted reply while the server runs.
    void SetReply(const std::string& word, const std::string& reply) {
        std::lock_guard<std::mutex> g(m_mutex);
        replies[word] = reply;
    }
    // The first RETR commands from now on, over all connections, are
    // answered in turn with these replies instead of a transfer; "" drops
    // the control connection there.
    void SetRetrReplies(std::vector<std::string> first) {
        std::lock_guard<std::mutex> g(m_mutex);
        m_retrReplies = std::move(first);
        m_retrSeen = 0;
    }
    // Changes a delay while the server runs.
    void SetDelay(const std::string& word, int ms) {
        std::lock_guard<std::mutex> g(m_mutex);
        delays[word] = ms;
    }
    // The next command of the word gets `reply` (another command's reply,
    // out of its place) just before its own; once.
    void SendFirstOnce(const std::string& word, const std::string& reply) {
        std::lock_guard<std::mutex> g(m_mutex);
        m_firstOnce[word] = reply;
    }
    std::vector<std::string> Received() {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_received;
    }
    std::string Stored() {
        std::lock_guard<std::mutex> g(m_mutex);
        return stored;
    }
    std::vector<std::string> StoredNames() {
        std::lock_guard<std::mutex> g(m_mutex);
        return storedNames;
    }
    int Connections() {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_connections;
    }

private:
    static int Listen(int& port) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        return fd;
    }
    int AcceptWithin(int fd, int ms) {
        pollfd p{fd, POLLIN, 0};
        for (int waited = 0; waited < ms && !m_stop; waited += 50)
            if (::poll(&p, 1, 50) > 0) return ::accept(fd, nullptr, nullptr);
        return -1;
    }
    // Every socket of a session gives up after a few seconds, so that a
    // client that stops reading or writing cannot hold Stop() forever.
    static void Bound(int fd) {
        timeval tv{3, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }
    static void Send(int fd, const std::string& s) {
        if (!s.empty()) ::send(fd, s.data(), s.size(), MSG_NOSIGNAL);
    }
    // One line, taking no byte of the next; a line that starts with
    // holdControlAt is read no further (the server holds until it stops).
    bool ReadLine(int fd, std::string& line) {
        line.clear();
        pollfd p{fd, POLLIN, 0};
        for (;;) {
            if (!holdControlAt.empty() && line == holdControlAt) {
                pollfd gone{fd, POLLRDHUP, 0};
                while (!m_stop && ::poll(&gone, 1, 50) == 0) {
                }
                return false;
            }
            if (::poll(&p, 1, 50) <= 0) {
                if (m_stop) return false;
                continue;
            }
            char buf[65536];
            size_t want = sizeof buf;
            if (line.size() < holdControlAt.size()) want = holdControlAt.size() - line.size();
            const ssize_t seen = ::recv(fd, buf, want, MSG_PEEK);
            if (seen <= 0) return false;
            const char* nl = static_cast<const char*>(std::memchr(buf, '\n', static_cast<size_t>(seen)));
            const size_t take = nl ? static_cast<size_t>(nl - buf) + 1 : static_cast<size_t>(seen);
            if (::recv(fd, buf, take, 0) != static_cast<ssize_t>(take)) return false;
            line.append(buf, nl ? take - 1 : take);
            if (nl) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return true;
            }
        }
    }
    // A passive port that takes no connection: its backlog is filled by
    // connections nobody accepts, so a client's connect is never answered.
    static int ListenTakingNothing(int& port, std::vector<int>& fillers) {
        const int fd = Listen(port);
        ::listen(fd, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        for (int i = 0; i < 2; ++i) {
            fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return fd;
    }
    void Run() {
        while (!m_stop) {
            int c = AcceptWithin(m_listen, 1000000);
            if (c < 0) continue;
            {
                std::lock_guard<std::mutex> g(m_mutex);
                ++m_connections;
            }
            m_sessions.emplace_back([this, c] {
                Serve(c);
                ::close(c);
            });
        }
        for (std::thread& t : m_sessions) t.join();
        m_sessions.clear();
    }
    void Serve(int c) {
        Bound(c);
        Send(c, greeting);
        int dataListen = -1;
        std::vector<int> fillers;
        std::string line;
        while (ReadLine(c, line)) {
            {
                std::lock_guard<std::mutex> g(m_mutex);
                m_received.push_back(line);
            }
            std::string word = line.substr(0, line.find(' '));
            int delay = 0;
            bool scripted = false;
            std::string reply;
            {
                std::lock_guard<std::mutex> g(m_mutex);
                auto d = delays.find(word);
                if (d != delays.end()) delay = d->second;
                auto r = replies.find(word);
                if (r != replies.end()) {
                    scripted = true;
                    reply = r->second;
                }
            }
            for (int w = 0; w < delay && !m_stop; w += 20)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            {
                std::lock_guard<std::mutex> g(m_mutex);
                auto every = withholdEvery.find(word);
                if (every != withholdEvery.end() && ++m_counts[word] % every->second == 0) continue;
            }
            {
                std::lock_guard<std::mutex> g(m_mutex);
                auto first = m_firstOnce.find(word);
                if (first != m_firstOnce.end()) {
                    Send(c, first->second);
                    m_firstOnce.erase(first);
                }
            }
            if (scripted) {
                Send(c, reply);
                continue;
            }
            if (word == "RETR") {
                bool instead = false;
                {
                    std::lock_guard<std::mutex> g(m_mutex);
                    if (m_retrSeen < m_retrReplies.size()) {
                        instead = true;
                        reply = m_retrReplies[m_retrSeen++];
                    }
                }
                if (instead && reply.empty()) break;
                if (instead) {
                    Send(c, reply);
                    continue;
                }
            }
            if (word == "USER") Send(c, "331 Password required\r\n");
            else if (word == "PASS") Send(c, "230 Logged in\r\n");
            else if (word == "SYST") Send(c, systReply);
            else if (word == "TYPE") Send(c, "200 Type set\r\n");
            else if (word == "QUIT") { Send(c, "221 Bye\r\n"); break; }
            else if (word == "RNFR") Send(c, "350 Ready for RNTO\r\n");
            else if (word == "RNTO") Send(c, "250 Renamed\r\n");
            else if (word == "DELE") Send(c, "250 Deleted\r\n");
            else if (word == "NOOP") Send(c, "200 NOOP ok.\r\n");
            else if (word == "MDTM") {
                std::string time;
                {
                    std::lock_guard<std::mutex> g(m_mutex);
                    const auto t = mdtm.find(line.substr(5));
                    if (t != mdtm.end()) time = t->second;
                }
                Send(c, time.empty() ? "550 No such file.\r\n" : "213 " + time + "\r\n");
            }
            else if (word == "PASV") {
                if (dataListen >= 0) ::close(dataListen);
                int p = 0;
                dataListen = pasvTakesNothing ? ListenTakingNothing(p, fillers) : Listen(p);
                Send(c, "227 Entering Passive Mode (" + pasvAddress + "," +
                            std::to_string(p / 256) + "," + std::to_string(p % 256) + ").\r\n");
            } else if (word == "LIST" || word == "RETR" || word == "STOR") {
                int data = AcceptWithin(dataListen, 3000);
                if (data < 0) { Send(c, "425 No data connection\r\n"); continue; }
                Bound(data);
                Send(c, "150 Opening data connection\r\n");
                bool aborted = false;
                if (word == "LIST" && listingLineMs > 0) {
                    // One line at a time, until the client stops reading.
                    for (size_t at = 0; at < listing.size() && !m_stop;) {
                        const size_t end = std::min(listing.find('\n', at), listing.size() - 1) + 1;
                        std::this_thread::sleep_for(std::chrono::milliseconds(listingLineMs));
                        const std::string line = listing.substr(at, end - at);
                        if (::send(data, line.data(), line.size(), MSG_NOSIGNAL) <= 0) break;
                        at = end;
                    }
                } else if (word == "LIST") Send(data, listing);
                else if (word == "RETR") {
                    if (dropRetrAfter < retrData.size()) {
                        Send(data, retrData.substr(0, dropRetrAfter));
                        aborted = true;
                    } else Send(data, retrData);
                } else if (dropStor) {
                    linger lg{1, 0};
                    ::setsockopt(data, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
                    aborted = true;
                } else if (storReadLimit != std::string::npos) {
                    // Reads so far, then holds the connection without reading
                    // until the client gives up on it (or says something).
                    std::string got;
                    char buf[4096];
                    ssize_t n = 1;
                    while (got.size() < storReadLimit && (n = ::recv(data, buf, sizeof buf, 0)) > 0) got.append(buf, n);
                    pollfd held[2] = {{c, POLLIN, 0}, {data, POLLRDHUP, 0}};
                    while (!m_stop && ::poll(held, 2, 50) == 0) {
                    }
                    aborted = true;
                } else {
                    std::string got;
                    char buf[4096];
                    ssize_t n;
                    while ((n = ::recv(data, buf, sizeof buf, 0)) > 0) got.append(buf, n);
                    std::lock_guard<std::mutex> g(m_mutex);
                    stored = got;
                    storedNames.push_back(line.substr(5));
                }
                ::close(data);
                ::close(dataListen);
                dataListen = -1;
                Send(c, aborted ? "426 Connection closed; transfer aborted.\r\n"
                                : "226 Transfer complete\r\n");
            } else Send(c, "502 Command not implemented\r\n");
        }
        if (dataListen >= 0) ::close(dataListen);
        for (int fd : fillers) ::close(fd);
    }

    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    std::vector<std::thread> m_sessions;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_received;
    std::map<std::string, int> m_counts;
    std::map<std::string, std::string> m_firstOnce;
    int m_connections = 0;
    std::vector<std::string> m_retrReplies;
    size_t m_retrSeen = 0;
};

// A scripted rexec service in a thread: one connection per answer, in order.
// Records what each client sent (user, password, command) and answers with
// the given bytes, then closes.
class FakeRexec {
public:
    explicit FakeRexec(std::string answer, int holdMs = 0)
        : FakeRexec(std::vector<std::string>{std::move(answer)}, holdMs) {}
    FakeRexec(std::vector<std::string> answers, int holdMs) : m_answers(std::move(answers)) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this, holdMs] {
            for (const std::string& answer : m_answers) {
                int c = ::accept(m_fd, nullptr, nullptr);
                if (c < 0) return;
                timeval tv{3, 0};
                ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
                ::setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
                // The three strings end with the fourth NUL (the first is the port).
                std::string got;
                int zeros = 0;
                char ch;
                while (zeros < 4 && ::recv(c, &ch, 1, 0) == 1) {
                    got.push_back(ch);
                    zeros += ch == '\0';
                }
                {
                    std::lock_guard<std::mutex> g(m_mutex);
                    m_got.push_back(got);
                }
                ::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
                for (int w = 0; w < holdMs && !m_closed; w += 10)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                ::close(c);
            }
        });
    }
    ~FakeRexec() {
        m_closed = true;
        ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable()) m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }
    // Waits for the service to end; every request, joined.
    std::string got() {
        if (m_thread.joinable()) m_thread.join();
        std::string all;
        for (const std::string& r : m_got) all += r;
        return all;
    }
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_got;
    }

private:
    std::vector<std::string> m_answers;
    int m_fd = -1, m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_got;
    std::atomic<bool> m_closed{false};
};

}  // namespace qvltest
