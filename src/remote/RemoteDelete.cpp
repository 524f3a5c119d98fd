#include "remote/RemoteDelete.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "model/Trace.h"
#include "remote/FtpClient.h"
#include "remote/RexecClient.h"

namespace {

bool SafeNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

// Restores the connection's transfer type when it leaves scope.
class TypeGuard {
public:
    TypeGuard(CFtpClient& c, bool binary) : m_client(c), m_wasBinary(c.GetTransferType() == "BINARY") {
        if (binary != m_wasBinary) binary ? c.SetBinaryMode() : c.SetAsciiMode();
        m_changed = binary != m_wasBinary;
    }
    ~TypeGuard() {
        if (!m_changed) return;
        try {
            m_wasBinary ? m_client.SetBinaryMode() : m_client.SetAsciiMode();
        } catch (...) {
        }
    }

private:
    CFtpClient& m_client;
    bool m_wasBinary;
    bool m_changed = false;
};

}  // namespace

std::string LocalHostName() {
    char buf[260] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0 || !buf[0]) return "dummy";
    return buf;
}

std::string MakeUniqueScriptName(const std::string& suffix, std::time_t now,
                                 const std::string& hostName) {
    char stamp[32] = {};
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%m%d%H%M%S", &tm);
    std::string host;
    for (char c : hostName)
        if (SafeNameByte(c)) host += c;
    std::string name = std::string("_DEL_QVL_") + stamp + host;
    if (name.size() > 31) name.resize(31);
    return name + suffix;
}

std::string ShellQuote(const std::string& value) {
    static const std::string safe =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_./:@%+,=-";
    if (!value.empty() && value.find_first_not_of(safe) == std::string::npos) return value;
    std::string q = "'";
    for (char c : value) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

bool IsDclSafe(const std::string& value, bool folder) {
    if (value.empty()) return false;
    for (char c : value) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '_' || c == '$' || c == '-';
        if (plain || c == '.') continue;
        if (folder && (c == '[' || c == ']' || c == ':' || c == '<' || c == '>')) continue;
        return false;
    }
    // A file name never climbs out with "..." or names a version.
    if (!folder && (value.find("..") != std::string::npos)) return false;
    return true;
}

std::vector<std::string> UnixDeleteScript(const std::string& scriptName, const std::string& folder,
                                          const std::vector<std::string>& names, bool folderFlag) {
    std::vector<std::string> l = {"BIN_SH=xpg4",
                                  "export BIN_SH",
                                  "# ",
                                  "# " + scriptName,
                                  "# This commmand procedure should be deleted automatically. ",
                                  "# If not, please feel free to delete it. ",
                                  "# ",
                                  "cd " + ShellQuote(folder) + " || exit 1"};
    if (folderFlag) {
        if (!names.empty()) {
            const std::string f = ShellQuote(names.front());
            // The owner needs write access to the folders to empty them;
            // nobody else gains anything.
            l.push_back("chmod -fR u+rwX -- " + f);
            l.push_back("rm -rf -- " + f);
        }
    } else {
        for (const std::string& n : names) l.push_back("rm -f -- " + ShellQuote(n));
    }
    l.push_back("rm -f -- " + ShellQuote(scriptName));
    l.push_back("BIN_SH=xpg4");
    return l;
}

bool VmsDeleteScript(const std::string& scriptName, const std::string& folder,
                     const std::vector<std::string>& names, bool folderFlag,
                     std::vector<std::string>& lines, std::string& error) {
    lines.clear();
    if (!IsDclSafe(folder, true)) {
        error = "Cannot delete in the folder " + folder + ": it holds characters DCL does not take.";
        return false;
    }
    for (const std::string& n : names)
        if (!IsDclSafe(n, false)) {
            error = "Cannot delete " + n + ": the name holds characters DCL does not take.";
            return false;
        }
    const std::string s = "$!" + std::string(57, '=');
    lines = {s,
             "$! File name: " + scriptName,
             "$! This commmand procedure should be deleted automatically. ",
             "$! If not, please feel free to delete it. ",
             s,
             "$ set noon",
             "$ def sys$error nl: /nolog",
             "$ def sys$output nl: /nolog",
             "$  purge TCPIP$FTP_SERVER.LOG",
             "$  purge TCPIP$REXEC_RUN.LOG",
             "$ set default " + folder,
             s};
    if (folderFlag) {
        if (!names.empty()) {
            const std::string& f = names.front();
            lines.insert(lines.end(),
                         {"$ if .not. cont then exit",
                          "$ set prot [." + f + "...]*.*;* /prot=o:rwed",
                          "$ set prot " + f + ".DIR;* /prot=o:rwed",
                          "$ if ('$status' .and. 1) .ne. 1 then exit",
                          "$ tries = 0",
                          "$ loop:",
                          "$   tries = tries + 1",
                          "$   del [." + f + "...]*.*;*",
                          "$   del " + f + ".DIR;*",
                          "$ if (('$status' .and. 1) .ne. 1) .and. (tries .lt. 20) then goto loop",
                          "$"});
        }
    } else {
        for (const std::string& f : names)
            lines.insert(lines.end(), {"$ set prot " + f + "; /prot=o:rwed", "$ del " + f + ";*", "$"});
    }
    lines.insert(lines.end(),
                 {s, "$ deass sys$error", "$ deass sys$output", "$ del " + scriptName + ";", "$"});
    return true;
}

std::string RemoteScriptPath(const std::string& hostType, const std::string& folder,
                             const std::string& name) {
    if (hostType == "VMS") return folder + name;
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool WriteScriptFile(const std::string& path, const std::vector<std::string>& lines) {
    ::unlink(path.c_str());
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const bool ok = ::close(fd) == 0 && done == text.size();
    if (!ok) ::unlink(path.c_str());
    return ok;
}

bool RunRemoteDelete(CFtpClient& client, const std::string& hostType, const std::string& host,
                     const std::string& user, const std::string& password,
                     const std::string& localFile, const std::string& remoteFile) {
    const bool vms = hostType == "VMS";
    try {
        // A shell script keeps its LF line ends; a DCL procedure goes as
        // text so that the host stores it as records.
        TypeGuard type(client, !vms);
        client.PutFile(localFile, remoteFile);
    } catch (const std::exception& e) {
        WriteTrace(std::string("Unable to retrieve file: ") + e.what());
        std::remove(localFile.c_str());
        return false;
    }
    std::remove(localFile.c_str());
    try {
        CRexecClient rexec;
        std::string output;
        if (vms) rexec.Execute(user, password, host, "@" + remoteFile, "", output);
        else rexec.Execute(user, password, host, "sh", ShellQuote(remoteFile), output);
    } catch (const CRexecClient::ZmrRexecException& e) {
        WriteTrace(std::string("REXEC failed: ") + e.what());
        // The procedure never ran: take it off the host again.
        try {
            client.DeleteFile(vms ? remoteFile + ";*" : remoteFile);
        } catch (const std::exception&) {
        }
        return false;
    } catch (const std::exception& e) {
        WriteTrace(std::string("Unable to retrieve com file: ") + e.what());
        return false;
    }
    return true;
}
