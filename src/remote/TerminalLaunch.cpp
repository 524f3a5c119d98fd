#include "remote/TerminalLaunch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/TextUtil.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "platform/Spawn.h"
#include "remote/FtpConnections.h"

namespace {

const char* kTerminal = "x-terminal-emulator";

std::string JoinArgs(const std::vector<std::string>& argv) {
    std::string s;
    for (const std::string& a : argv) s += (s.empty() ? "" : " ") + a;
    return s;
}

// A value as a string of the macro language: in single quotes, or in
// double quotes when it holds a single quote. Empty when it can be neither
// (both quotes, or a control character that would end the line).
std::string MacroString(const std::string& value) {
    for (char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::string();
    if (value.find('\'') == std::string::npos) return "'" + value + "'";
    if (value.find('"') == std::string::npos) return "\"" + value + "\"";
    return std::string();
}

}  // namespace

int ClassifyTerminalProgram(const std::string& program) {
    const std::string p = ToLowerAscii(program);
    if (p.empty() || p.find("cmd") != std::string::npos) return 0;
    if (p.find("ttpmacro") != std::string::npos) return 1;
    return 2;
}

std::string HostListText(const std::string& host, const std::string& user) {
    return ShortHostName(host) + " ~ " + user;
}

std::string TelnetScriptName(const std::string& host, const std::string& user) {
    std::string name = ToLowerAscii(ShortHostName(host) + "_" + user + ".txt");
    for (char& c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '_' || c == '-';
        if (!ok) c = '_';
    }
    // A name made of dots only would be the folder itself or its parent.
    if (name.find_first_not_of('.') == std::string::npos) name = "_" + name;
    return name;
}

std::string WriteTelnetMacroScript(CProgramData& data, const std::string& host,
                                   const std::string& user, const std::string& password) {
    const std::string qHost = MacroString(host), qUser = MacroString(user), qPassword = MacroString(password);
    if (qHost.empty() || qUser.empty() || qPassword.empty()) return std::string();
    const std::string path = g_strLoadingTempDir + TelnetScriptName(host, user);
    // The script holds the password: only the user may read it, and a link
    // planted at its place is never followed.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return std::string();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fchmod(fd, 0600) != 0) {
        ::close(fd);
        return std::string();
    }
    const std::string type = data.GetHostType(host, user);
    const std::string dashes = ";" + std::string(52, '-');
    std::string text;
    auto line = [&](const std::string& l) { text += l + "\n"; };
    line(dashes);
    line("; Intermediate script file");
    line(dashes);
    line("connect " + qHost);
    line(type == "UNIX" ? "UsernamePrompt = 'login:'" : "UsernamePrompt = 'Username:'");
    line(";");
    line("Username = " + qUser);
    line(";");
    line("PasswordPrompt = 'Password:'");
    line("Password = " + qPassword);
    line(";");
    line("wait UsernamePrompt");
    line("sendln Username");
    line(";");
    line("wait PasswordPrompt");
    line("sendln Password");
    line(dashes);
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            ::close(fd);
            return std::string();
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) return std::string();
    return path;
}

std::vector<std::string> BuildTelnetCommand(CProgramData& data, const std::string& host,
                                            const std::string& user, const std::string& password,
                                            bool commandWindowOnly) {
    if (commandWindowOnly) return {kTerminal};
    // A name that starts with "-" would be read as an option by the program.
    if ((!host.empty() && host[0] == '-') || (!user.empty() && user[0] == '-')) {
        Prompter().Message("Invalid host or user: a name cannot begin with \"-\".", MsgIcon::Stop);
        return {};
    }
    const std::string program = g_strTelnet;
    switch (ClassifyTerminalProgram(program)) {
        case 0:
            return {kTerminal, "-e", "telnet", "-l", user, host};
        case 1: {
            // The script names host, user and password as strings of the
            // macro language; a value no string can hold starts nothing.
            if (MacroString(host).empty() || MacroString(user).empty() || MacroString(password).empty()) {
                Prompter().Message("Invalid host, user or password: the terminal macro cannot hold both "
                                   "kinds of quotes or a control character in one value.",
                                   MsgIcon::Stop);
                return {};
            }
            const std::string script = WriteTelnetMacroScript(data, host, user, password);
            if (script.empty()) {
                Prompter().Message("Failed to create script file.", MsgIcon::Stop);
                return {};
            }
            return {program, "/I", script};
        }
        default:
            return {program};
    }
}

bool LaunchTelnet(CProgramData& data, const std::string& host, const std::string& user,
                  const std::string& password, bool commandWindowOnly) {
    const std::vector<std::string> argv =
        BuildTelnetCommand(data, host, user, password, commandWindowOnly);
    if (argv.empty()) return false;
    if (SpawnDetached(argv)) return true;
    Prompter().Message("Failed to execute the command: " + JoinArgs(argv), MsgIcon::Stop);
    return false;
}

std::vector<CHost> GetAllHosts(const CAccountVault& vault) {
    std::vector<CHost> out;
    for (const CCluster& c : vault.m_Clusters)
        for (const CHost& h : c.m_Hosts) out.push_back(h);
    return out;
}

int PreselectedHostIndex(const std::vector<CHost>& accounts, const CHost& current) {
    const std::string host = ToLowerAscii(current.m_strHost);
    int at = 0;
    for (size_t i = 0; i < accounts.size(); ++i)
        if (accounts[i].m_strHost == host && accounts[i].m_strUser == current.m_strUser)
            at = static_cast<int>(i);
    return at;
}

std::vector<std::string> TelnetChooserEntries(const std::vector<CHost>& accounts) {
    std::vector<std::string> out;
    for (const CHost& h : accounts) out.push_back(HostListText(h.m_strHost, h.m_strUser));
    out.push_back("cmd");
    return out;
}

std::vector<std::string> BrowseChooserEntries(const std::vector<CHost>& accounts,
                                              const std::function<bool(const CHost&)>& isOpen) {
    std::vector<std::string> out;
    for (const CHost& h : accounts) {
        std::string t = HostListText(h.m_strHost, h.m_strUser);
        if (isOpen && isOpen(h)) t += "      + Up";
        out.push_back(t);
    }
    out.push_back("New host");
    return out;
}
