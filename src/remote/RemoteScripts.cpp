#include "remote/RemoteScripts.h"

#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "model/FileItem.h"
#include "model/SafeFile.h"
#include "model/WorkArea.h"

const char* const kExecutionCompletedBanner =
    "_______________ E x e c u t i o n    C o m p l e t e d ______________";

std::string QuoteShellWord(const std::string& value) {
    static const std::string kSafe =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./:@%+,=-";
    if (!value.empty() && value.find_first_not_of(kSafe) == std::string::npos) return value;
    std::string out = "'";
    for (char c : value) {
        if (c == '\'')
            out += "'\\''";
        else
            out.push_back(c);
    }
    out += "'";
    return out;
}

bool IsDclSafe(const std::string& value) {
    static const std::string kSafe =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_$.:[]<>;-";
    return !value.empty() && value.find_first_not_of(kSafe) == std::string::npos;
}

std::string GetLocalHostName() {
    static std::once_flag once;
    static std::string name;
    std::call_once(once, [] {
        char buf[260] = {};
        if (::gethostname(buf, sizeof buf - 1) == 0 && buf[0])
            name = buf;
        else
            name = "dummy";
    });
    return name;
}

std::string MakeUniqueRemoteName(const std::string& prefix, const std::string& suffix,
                                 std::time_t now, const std::string& hostName) {
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%m%d%H%M%S", &tm);
    std::string name = prefix + stamp + hostName;
    if (name.size() > 31) name.resize(31);
    return name + suffix;
}

void MakeUniqueRemoteName(const std::string& prefix, const std::string& suffix, std::string& name) {
    ::tzset();
    name = MakeUniqueRemoteName(prefix, suffix, std::time(nullptr), GetLocalHostName());
}

std::string MakeShellScriptText(const std::string& name, const CFileItem& item) {
    const std::string file = QuoteShellWord(item.FileName);
    std::string t;
    t += "BIN_SH=xpg4\n";
    t += "export BIN_SH\n";
    t += "# \n";
    t += "# " + name + "\n";
    t += "# This commmand procedure should be deleted automatically. \n";
    t += "# If not, please feel free to delete it. \n";
    t += "# \n";
    t += "cd " + QuoteShellWord(item.RemoteDir) + " || exit 1\n";
    t += "chmod u+x -- " + file + "\n";
    t += "sh -- " + file + "\n";
    t += "cd\n";
    t += "echo \"" + std::string(kExecutionCompletedBanner) + "\"\n";
    t += "BIN_SH=xpg4\n";
    return t;
}

std::string MakeDclProcedureText(const std::string& name, const CFileItem& item) {
    std::string t;
    t += "$! SYS$LOGIN:" + name + "\n";
    t += "$! This commmand procedure should be deleted automatically. \n";
    t += "$! If not, please feel free to delete it. \n";
    t += "$ SET NOON\n";
    t += "$ SET DEFAULT " + item.RemoteDir + "\n";
    t += "$ @" + item.FileName + "\n";
    t += "$ SET DEFAULT SYS$LOGIN\n";
    t += "write sys$output \"" + std::string(kExecutionCompletedBanner) + "\"\n";
    return t;
}

// Writes the wrapper readable and writable by its owner only, through the
// safe writer like every other replacing write.
static bool WriteWrapper(const std::string& path, const std::string& text, std::string& message) {
    std::string error;
    const bool ok = SaveFileAtomic(path, text, error, 0600, 0700);
    if (!ok) message = "Unable to write the command procedure " + path + ".";
    return ok;
}

bool WriteShellScript(std::string& localPath, std::string& remoteName, const CFileItem& item,
                      std::string& message) {
    std::string name;
    MakeUniqueRemoteName("_FTP_", ".txt", name);
    localPath = GetSystemDriveRoot() + name;
    remoteName = name;
    return WriteWrapper(localPath, MakeShellScriptText(name, item), message);
}

bool WriteDclCommandProcedure(std::string& localPath, std::string& remoteName,
                              const CFileItem& item, std::string& message) {
    std::string name;
    MakeUniqueRemoteName("_FTP_", ".txt", name);
    localPath = GetSystemDriveRoot() + name;
    remoteName = "SYS$LOGIN:" + name;
    for (const std::string* v : std::initializer_list<const std::string*>{&item.RemoteDir, &item.FileName, &name}) {
        if (!IsDclSafe(*v)) {
            message = "The name \"" + *v +
                      "\" holds characters that cannot be used in a VMS command procedure.";
            return false;
        }
    }
    return WriteWrapper(localPath, MakeDclProcedureText(name, item), message);
}
