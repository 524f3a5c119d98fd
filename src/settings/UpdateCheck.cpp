#include "settings/UpdateCheck.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace {
std::vector<long> Fields(const std::string& text) {
    std::vector<long> f;
    if (text.empty()) return f;
    std::size_t start = 0;
    while (true) {
        std::size_t dot = text.find('.', start);
        std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        f.push_back(std::strtol(part.c_str(), nullptr, 10));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return f;
}
}  // namespace

UpdateLimits& UpdateLimitValues() {
    static UpdateLimits limits;
    return limits;
}

bool LooksLikeProgram(const std::string& head) {
    return head.rfind("\x7f" "ELF", 0) == 0 || head.rfind("#!", 0) == 0;
}

int CompareVersionNumbers(const std::string& a, const std::string& b) {
    const auto x = Fields(a), y = Fields(b);
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (x[i] < y[i]) return 0;
        if (x[i] > y[i]) return 1;
    }
    return -1;
}

std::optional<std::string> ParseVersionFile(const std::string& content) {
    std::string line = content.substr(0, content.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line.empty() || line.size() > 64) return std::nullopt;
    // A number, then fields of letters and digits, separated by single dots;
    // a field that is no number compares as 0.
    bool field = false, first = true;
    for (char c : line) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isdigit(u) || (!first && std::isalpha(u))) {
            field = true;
        } else if (c == '.' && field) {
            field = false;
            first = false;
        } else {
            return std::nullopt;
        }
    }
    if (!field) return std::nullopt;
    return line;
}

std::string UpdateBaseUrl() {
    const char* v = std::getenv("QVL_UPDATE_URL");
    std::string base = v ? v : "";
    if (!base.empty() && base.back() != '/') base += '/';
    return base;
}

std::string VersionFileUrl(const std::string& base) { return base + "download/" + kVersionFileName; }
std::string UpdaterUrl(const std::string& base) { return base + "download/" + kUpdaterFileName; }

std::string CheckStartLog(const std::string& server) {
    return "\r\nThis step may take a few minutes.\r\nQuerying the update server " + server;
}

CheckVerdict MakeCheckVerdict(const std::string& latest, const std::string& mine) {
    CheckVerdict v;
    v.result = CompareVersionNumbers(latest, mine);
    if (v.result == 1) {
        v.newer = true;
        v.message = "You do not have the latest. Your machine has: " + mine +
                    " Latest version is: " + latest + "\r\n\r\n" +
                    "Select \"OK\" to proceed with automatic download. Otherwise, click on\r\n" +
                    "\"Get Latest\" button, whenever ready to get the latest from web.";
        v.log = "\r\n    --- Checking complete ---\r\n    You need to download the latest.\r\n"
                "    Use \"Get Latest\" above.";
        return v;
    }
    v.message = v.result == -1 ? "You have the latest! All fine." : "No idea how you got a newer image.";
    v.log = "\r\n    --- Checking complete ---\r\n    " + v.message;
    return v;
}
