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
#include "BenchChild.h"
#include "BenchMasterFile.h"
#include "BenchWorkArea.h"

namespace fs = std::filesystem;

namespace {
// Loads the master file in a child; its time and peak resident memory.
PhaseResult TimedLoad() {
    return RunPhase([] {}, [] {
        CProgramData d;
        d.LoadMasterFile();
    });
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
