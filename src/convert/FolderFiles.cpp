#include "convert/FolderFiles.h"

#include <filesystem>

namespace fs = std::filesystem;

std::vector<std::string> ListFilesInFolder(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), fs::directory_options::skip_permission_denied, ec);
    if (ec) return files;
    for (fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code ec2;
        if (it->is_regular_file(ec2)) files.push_back(it->path().string());
    }
    return files;
}
