#include "widgets/DialogRules.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "model/WorkArea.h"

std::optional<std::string> NormalisePromptText(const std::string& text, int browseMode,
                                               bool showBrowse) {
    if (text.empty() && !(showBrowse && browseMode == 0)) return std::nullopt;
    std::string t = text;
    if (browseMode == 1) {
        if (t.find('[') != std::string::npos && t.find(']') == std::string::npos) return std::nullopt;
        if (t.find('/') != std::string::npos && t.back() != '/') t += "/";
    } else if (browseMode == 2) {
        if (t.empty() || t.back() != '/') t += "/";
    }
    return t;
}

MessageTextSize MessageTextLayout(const std::string& text, int maxWidth) {
    const int feeds = int(std::count(text.begin(), text.end(), '\n'));
    double width;
    if (feeds > 0) {
        std::size_t longest = 0, start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::size_t len = end - start;
            if (len > 0 && text[end - 1] == '\r') --len;
            longest = std::max(longest, len);
            start = end + 1;
        }
        width = std::min(double(longest) * 7.1 + 15, double(maxWidth));
    } else {
        width = double(text.size()) * 7.1 + 15;
    }
    return {int(width), (feeds + 1) * 13};
}

std::string HyperLinkErrorText(int code) {
    const char* t = nullptr;
    switch (code) {
        case 0: t = "The operating system is out\nof memory or resources."; break;
        case 2: t = "The specified file was not found."; break;
        case 3: t = "The specified path was not found."; break;
        case 5: t = "The operating system denied\naccess to the specified file."; break;
        case 8: t = "There was not enough memory to complete the operation."; break;
        case 11: t = "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."; break;
        case 26: t = "A sharing violation occurred. "; break;
        case 27: t = "The filename association is\nincomplete or invalid."; break;
        case 28: t = "The DDE transaction could not\nbe completed because the request timed out."; break;
        case 29: t = "The DDE transaction failed."; break;
        case 30:
            t = "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
                "being processed.";
            break;
        case 31: t = "There is no application associated\nwith the given filename extension."; break;
        case 32: t = "The specified dynamic-link library was not found."; break;
        default: break;
    }
    std::string body = t ? t : "Unknown Error (" + std::to_string(code) + ") occurred.";
    return "Unable to open hyperlink:\n\n" + body;
}

std::string BuildOpenCommand(const std::string& command, const std::string& url) {
    std::string c = command;
    auto p = c.find("\"%1\"");
    if (p == std::string::npos) p = c.find("%1");
    if (p != std::string::npos) c.erase(p);
    return c + " " + url;
}

namespace {
std::string Canonical(const std::string& p) {
    std::error_code ec;
    auto c = std::filesystem::weakly_canonical(p, ec);
    std::string s = ec ? p : c.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}
bool IsSameOrAncestor(const std::string& folder, const std::string& other) {
    // folder is other, or other lies inside folder
    if (folder == other) return true;
    if (folder == "/") return true;
    return other.size() > folder.size() && other.compare(0, folder.size(), folder) == 0 &&
           other[folder.size()] == '/';
}
}  // namespace

bool IsSafeFolderToDelete(const std::string& path, std::string* why) {
    auto refuse = [&](const char* reason) {
        if (why) *why = reason;
        return false;
    };
    if (path.empty() || path.find_first_not_of(" \t") == std::string::npos)
        return refuse("The folder name is empty.");
    if (path[0] != '/') return refuse("The folder name is not an absolute path.");
    for (const auto& part : std::filesystem::path(path))
        if (part == "." || part == "..") return refuse("The folder name holds \".\" or \"..\".");
    const std::string target = Canonical(path);
    if (target == "/") return refuse("The root folder cannot be deleted.");
    if (const char* home = std::getenv("HOME"); home && *home) {
        if (IsSameOrAncestor(target, Canonical(home))) return refuse("The home folder cannot be deleted.");
    }
    const std::string root = GetSystemDriveRoot();
    if (!root.empty() && IsSameOrAncestor(target, Canonical(root)))
        return refuse("The work-area root cannot be deleted.");
    return true;
}

bool DeleteFolderTree(const std::string& path, std::string* why) {
    if (!IsSafeFolderToDelete(path, why)) return false;
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ec))) {
        if (why) *why = "Not a folder: " + path;
        return false;
    }
    std::filesystem::remove_all(path, ec);
    if (ec) {
        if (why) *why = ec.message();
        return false;
    }
    return true;
}
