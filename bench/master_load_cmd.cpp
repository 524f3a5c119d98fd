// master-load [sessions ...] [-shared]: times the start-up load of a master
// data file that holds very many sessions (the session headers only: the
// work file of the current session is missing, as after a first start).
// With -shared every session names the same work file, so that the load
// gives all but the first a fresh name. Each load runs in a child process so
// that its peak memory is reported on its own.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/WorkArea.h"
#include "BenchMasterFile.h"
#include "BenchWorkArea.h"

namespace fs = std::filesystem;

namespace {
struct PhaseResult {
    double seconds = 0;
    long maxRssKb = 0;
    int exitCode = 0;
};

// Loads the master file in a child; its time and peak resident memory.
PhaseResult TimedLoad() {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        auto t0 = std::chrono::steady_clock::now();
        CProgramData d;
        d.LoadMasterFile();
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        (void)!::write(fds[1], &secs, sizeof secs);
        ::_exit(0);
    }
    ::close(fds[1]);
    PhaseResult r;
    (void)!::read(fds[0], &r.seconds, sizeof r.seconds);
    ::close(fds[0]);
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    r.maxRssKb = ru.ru_maxrss;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    bool shared = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-shared") == 0)
            shared = true;
        else
            counts.push_back(std::max(1, std::atoi(argv[i])));
    }
    if (counts.empty()) counts = {100000, 200000};
    char tmpl[] = "/tmp/qvl-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const std::string root = std::string(tmpl) + "/";
    SetWorkAreaPaths(root);
    MakeWorkAreaFolders();
    const std::string master = g_strSessionInfoDir + kMasterFileName;
    for (int n : counts) {
        std::string error;
        const std::string text = MakeMasterText(n, shared);
        if (!SaveFileAtomic(master, text, error)) {
            std::fprintf(stderr, "master-load: %s\n", error.c_str());
            return 1;
        }
        const PhaseResult r = TimedLoad();
        std::printf("%9d sessions%s  %6.1f MB file   load %9.1f ms   peak RSS %7.1f MB%s\n", n,
                    shared ? " (one shared work file)" : "", text.size() / 1048576.0, r.seconds * 1000.0,
                    r.maxRssKb / 1024.0, r.exitCode ? "   (the load failed)" : "");
        std::fflush(stdout);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
