// The rules of the update check: comparing version texts, reading the
// version file, the verdict texts, and where the downloads come from.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

constexpr const char* kProgramBuildDate = "4-Jul-2008";
constexpr const char* kVersionFileName = "QVL-Version.txt";
constexpr const char* kUpdaterFileName = "UpdateQVL_2.exe";

// 1 when a is newer than b, 0 when older, -1 when the compared fields are equal.
int CompareVersionNumbers(const std::string& a, const std::string& b);

// What a download from the update server may take: the version file and
// the updater each end at their size cap or at their deadline for the
// whole transfer, however slowly the bytes come. Tests shorten them.
struct UpdateLimits {
    std::size_t maxVersionBytes = 4096;
    std::size_t maxUpdaterBytes = std::size_t(256) << 20;
    int versionMs = 60000;
    int updaterMs = 600000;
};
UpdateLimits& UpdateLimitValues();

// True when a file's first bytes are those of a program this system starts:
// an ELF executable or a script with "#!".
bool LooksLikeProgram(const std::string& head);

// The latest version named by the version file's text: its first line
// without the line end. Nothing when that line is empty or is not made of
// numbers separated by dots.
std::optional<std::string> ParseVersionFile(const std::string& content);

// The update server's base address: $QVL_UPDATE_URL with one trailing "/".
// Empty when the variable is not set.
std::string UpdateBaseUrl();
std::string VersionFileUrl(const std::string& base);
std::string UpdaterUrl(const std::string& base);

// The verdict of a check.
struct CheckVerdict {
    int result = -1;           // as CompareVersionNumbers(latest, mine)
    std::string message;       // the message box text
    std::string log;           // the log edit text
    bool newer = false;        // a download is offered
};
CheckVerdict MakeCheckVerdict(const std::string& latest, const std::string& mine);

// The log lines.
std::string CheckStartLog(const std::string& server);
constexpr const char* kRetrieveFailed = "Failed to retrieve information from server.";
constexpr const char* kVersionFileInvalid =
    "The version information from the server is not valid.";
