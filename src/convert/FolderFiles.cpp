#include "convert/FolderFiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "model/SafeFile.h"
#include "model/Trace.h"
#include "remote/FolderScan.h"

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

namespace {
std::string RealPath(const std::string& path) {
    char* r = ::realpath(path.c_str(), nullptr);
    if (!r) return std::string();
    std::string s = r;
    std::free(r);
    return s;
}

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

bool IsInside(const std::string& path, const std::string& folderWithSlash) {
    return path.compare(0, folderWithSlash.size(), folderWithSlash) == 0;
}

struct Candidate {
    std::string path;
    bool link = false;
};

class CJobWalker {
public:
    CJobWalker(CJobFolderWalk& out, std::string outputDir, const std::string& include,
               const std::string& exclude, bool inPlace)
        : m_out(out), m_outputDir(std::move(outputDir)), m_include(include), m_exclude(exclude),
          m_inPlace(inPlace) {}

    void Walk(const std::string& dir) {
        struct stat st {};
        if (::stat(dir.c_str(), &st) != 0 || !m_seenFolders.insert({st.st_dev, st.st_ino}).second)
            return;
        DIR* d = ::opendir(dir.c_str());
        if (!d) {
            m_out.problems.push_back("The folder " + dir + " could not be read: " +
                                     SystemErrorText(errno));
            return;
        }
        std::vector<std::string> names;
        for (;;) {
            errno = 0;
            dirent* e = ::readdir(d);
            if (!e) {
                if (errno != 0)
                    m_out.problems.push_back("The folder " + dir + " could not be read whole: " +
                                             SystemErrorText(errno));
                break;
            }
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            names.push_back(name);
        }
        ::closedir(d);
        for (const std::string& name : names) Entry(dir, name);
    }

    void Finish() {
        // One name per file: the real one before a link, then the first by
        // path. Into another folder every real name of a file (its hard
        // links) gets its own output; only in place is the file converted once.
        std::map<std::pair<dev_t, ino_t>, Candidate> chosen;
        std::vector<std::pair<dev_t, ino_t>> order;
        for (auto& [id, c] : m_candidates) {
            auto it = chosen.find(id);
            if (it == chosen.end()) {
                chosen.emplace(id, c);
                order.push_back(id);
                continue;
            }
            Candidate& kept = it->second;
            if (!m_inPlace && !kept.link && !c.link) {
                m_out.files.push_back(c.path);
                continue;
            }
            const bool better = (kept.link && !c.link) ||
                                (kept.link == c.link && CompareFilePaths(c.path, kept.path));
            const Candidate& dropped = better ? kept : c;
            const std::string keptPath = better ? c.path : kept.path;
            m_out.skipped.push_back(dropped.path + " is the same file as " + keptPath +
                                    "; it is converted once.");
            if (better) kept = c;
        }
        for (const auto& id : order) m_out.files.push_back(chosen[id].path);
        SortFilePaths(m_out.files);
    }

private:
    void Entry(const std::string& dir, const std::string& name) {
        const std::string path = dir + name;
        if (path.size() >= PATH_MAX || name.size() > NAME_MAX) {
            m_out.problems.push_back("The path " + path.substr(0, 200) +
                                     "... is longer than the system allows; not converted.");
            return;
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (IsPartFileName(name)) return;  // a write that ended meanwhile
            m_out.problems.push_back(path + ": " + SystemErrorText(errno));
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!m_outputDir.empty() && WithSlash(RealPath(path)) == m_outputDir) {
                m_out.skipped.push_back("The output folder " + path +
                                        " lies inside the input folder; it is left out.");
                return;
            }
            Walk(path + "/");
            return;
        }
        // The temporaries of replacing writes (this job's, another run's or
        // a killed one's) are the program's own, never input.
        if (IsPartFileName(name)) return;
        if (S_ISLNK(st.st_mode)) {
            struct stat target {};
            const std::string real = RealPath(path);
            if (real.empty() || ::stat(path.c_str(), &target) != 0) {
                m_out.skipped.push_back("The link " + path + " leads nowhere; not converted.");
                return;
            }
            if (!IsInside(real, m_out.root)) {
                m_out.skipped.push_back("The link " + path + " leads outside the input folder (" +
                                        real + "); not converted.");
                return;
            }
            if (S_ISDIR(target.st_mode)) {
                m_out.skipped.push_back("The folder link " + path + " is not followed.");
                return;
            }
            if (!m_outputDir.empty() && IsInside(real, m_outputDir)) {
                m_out.skipped.push_back("The link " + path + " leads into the output folder; not converted.");
                return;
            }
            if (!S_ISREG(target.st_mode)) {
                m_out.skipped.push_back(path + " is not a regular file; not converted.");
                return;
            }
            if (MatchesFileFilters(name, m_include, m_exclude))
                m_candidates.push_back({{target.st_dev, target.st_ino}, {path, true}});
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            m_out.skipped.push_back(path + " is not a regular file; not converted.");
            return;
        }
        if (MatchesFileFilters(name, m_include, m_exclude))
            m_candidates.push_back({{st.st_dev, st.st_ino}, {path, false}});
    }

    CJobFolderWalk& m_out;
    std::string m_outputDir;
    const std::string& m_include;
    const std::string& m_exclude;
    bool m_inPlace;
    std::set<std::pair<dev_t, ino_t>> m_seenFolders;
    std::vector<std::pair<std::pair<dev_t, ino_t>, Candidate>> m_candidates;
};
}  // namespace

CJobFolderWalk WalkJobFolder(const std::string& inputDir, const std::string& outputDir,
                             const std::string& include, const std::string& exclude) {
    CJobFolderWalk out;
    const std::string root = RealPath(inputDir);
    if (root.empty()) {
        out.problems.push_back("The folder " + inputDir + " could not be read: " +
                               SystemErrorText(errno));
        return out;
    }
    out.root = WithSlash(root);
    // The output folder counts only when it lies inside the input folder
    // (it need not exist yet: then nothing of it can be met).
    std::string output = RealPath(outputDir);
    output = output.empty() ? std::string() : WithSlash(output);
    const bool inPlace = outputDir.empty() || output == out.root;
    if (output == out.root || !IsInside(output, out.root)) output.clear();
    CJobWalker walker(out, output, include, exclude, inPlace);
    walker.Walk(out.root);
    walker.Finish();
    return out;
}
