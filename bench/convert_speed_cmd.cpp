// convert-speed [MB]: times the conversion engine beside perl -pe and sed on
// the same work and checks that the outputs are identical:
//   1. a literal replace of a common word,
//   2. a date swap, Find "^d-^d-^d", Replace "<^d3>.<^d2>.<^d1>",
// on a generated log of MB megabytes (default 50) and twice that size (to see
// that the time grows linearly), then 10,000 files of 10 KB in folder mode.
// Each time is the best of three runs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "convert/ConversionRun.h"
#include "convert/Library.h"
#include "model/Globals.h"
#include "remote/FolderScan.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a) {
    return std::chrono::duration<double>(Clock::now() - a).count();
}

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Runs a program with stdout to a file; returns the seconds it took, or -1.
double RunTool(std::vector<std::string> args, const std::string& out) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    auto t = Clock::now();
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) return -1;
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    waitpid(pid, &status, 0);
    double s = Seconds(t);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

void MakeLog(const std::string& path, std::size_t bytes, unsigned seed) {
    std::mt19937 rng(seed);
    const char* levels[] = {"INFO", "WARN", "DEBUG", "ERROR"};
    const char* words[] = {"request", "served", "cache", "miss", "user", "login", "timeout",
                           "retry", "disk", "queue"};
    std::string out;
    out.reserve(bytes + 200);
    char buf[200];
    while (out.size() < bytes) {
        int n = std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u %s %s %s the %s %s id=%u\n",
                              2000 + rng() % 30, 1 + rng() % 12, 1 + rng() % 28, rng() % 24,
                              rng() % 60, rng() % 60, levels[rng() % 4], words[rng() % 10],
                              words[rng() % 10], words[rng() % 10], words[rng() % 10], rng() % 100000);
        out.append(buf, n);
    }
    std::ofstream(path, std::ios::binary) << out;
}

// The engine as the batch uses it: read, convert with the library, write.
double RunEngine(const CMacro& macro, const std::string& in, const std::string& out) {
    CLibraryList list;
    CLibrary lib("bench");
    lib.MacroList.push_back(macro);
    list.Append(lib);
    list.m_Run.nBatchStep = 0;
    list.m_Run.nLibraryIndex = 0;
    list.Previews.resize(1);
    list.Previews[0].InputName = in;
    list.Previews[0].OutputName = out;
    list.Previews[0].Mode = "O";
    auto t = Clock::now();
    bool modified = false;
    list.CurrentLibrary = 0;
    list.RunKind = 2;
    list.ConvertFileForBatch(list.Previews[0], 0, modified);
    return Seconds(t);
}

struct Work {
    const char* name;
    CMacro macro;
    std::string perl, sed;
};

void Compare(const std::string& label, const std::string& dir, const Work& w, std::size_t mb,
             double& engineTime) {
    const std::string log = dir + "/log.txt";
    MakeLog(log, mb << 20, 11);
    // The best of three runs each, so that a busy machine disturbs less.
    double te = 1e9, tp = 1e9, ts = 1e9;
    for (int r = 0; r < 3; ++r) {
        te = std::min(te, RunEngine(w.macro, log, dir + "/engine.txt"));
        tp = std::min(tp, RunTool({"perl", "-pe", w.perl, log}, dir + "/perl.txt"));
        ts = std::min(ts, RunTool({"sed", "-E", w.sed, log}, dir + "/sed.txt"));
    }
    std::string e = Slurp(dir + "/engine.txt"), p = Slurp(dir + "/perl.txt"),
                s = Slurp(dir + "/sed.txt");
    std::printf("%-14s %4zu MB  engine %6.3f s   perl %6.3f s   sed %6.3f s   %s\n",
                label.c_str(), mb, te, tp, ts,
                (e == p && e == s) ? "outputs identical" : "OUTPUTS DIFFER");
    engineTime = te;
}
}  // namespace

int main(int argc, char** argv) {
    std::size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    if (mb == 0) mb = 50;
    g_bBatchMode = true;  // no trace sink: keep the engine quiet
    std::string dir = (fs::temp_directory_path() / "qvl-convert-speed").string();
    fs::remove_all(dir);
    fs::create_directories(dir);

    CMacro literal("request", "REQUEST");
    CMacro date("^d-^d-^d", "<^d3>.<^d2>.<^d1>", 1, 1, 1, 0, 0, 0, 0, 1);
    std::vector<Work> work = {
        {"literal", literal, "s/request/REQUEST/g", "s/request/REQUEST/g"},
        {"date swap", date, "s/(\\d+)-(\\d+)-(\\d+)/$3.$2.$1/g",
         "s/([0-9]+)-([0-9]+)-([0-9]+)/\\3.\\2.\\1/g"},
    };
    for (const Work& w : work) {
        double t1 = 0, t2 = 0;
        Compare(w.name, dir, w, mb, t1);
        Compare(w.name, dir, w, mb * 2, t2);
        std::printf("%-14s scaling %zu MB -> %zu MB: %.2f times (at most 2.2 wanted)\n", w.name,
                    mb, mb * 2, t1 > 0 ? t2 / t1 : 0.0);
    }

    // Folder mode: 10,000 files of 10 KB.
    const std::string tree = dir + "/tree", copy = dir + "/perl-tree";
    std::vector<std::string> files;
    for (int i = 0; i < 10000; ++i) {
        std::string sub = tree + "/d" + std::to_string(i / 500);
        if (i % 500 == 0) fs::create_directories(sub);
        std::string f = sub + "/f" + std::to_string(i) + ".log";
        MakeLog(f, 10 << 10, i);
        files.push_back(f);
    }
    fs::copy(tree, copy, fs::copy_options::recursive);
    CLibraryList list;
    CLibrary lib("bench");
    lib.MacroList.push_back(date);
    list.Append(lib);
    list.m_Run.nBatchStep = 0;
    list.m_Run.nLibraryIndex = 0;
    auto t = Clock::now();
    std::vector<CDirEntry> entries;
    std::vector<CFolderRecord> records;
    WalkFolderTree(tree, false, "", entries, records, "*.*", "");
    for (const CDirEntry& e : entries) {
        CFindRepPreview p;
        p.InputName = p.OutputName = e.strLocalDir + e.strName;
        p.Mode = "O";
        list.Previews.push_back(p);
    }
    int failed = list.RunBatchReport();
    double te = Seconds(t);
    std::vector<std::string> args = {"perl", "-pi", "-e", work[1].perl};
    for (const std::string& f : files) args.push_back(copy + f.substr(tree.size()));
    double tp = RunTool(args, dir + "/perl-out.txt");
    bool same = true;
    for (const std::string& f : files)
        if (Slurp(f) != Slurp(copy + f.substr(tree.size()))) same = false;
    std::printf("folder mode    %zu files of 10 KB: engine %.3f s (%d failed)   perl -pi %.3f s   %s\n",
                entries.size(), te, failed, tp, same ? "outputs identical" : "OUTPUTS DIFFER");
    fs::remove_all(dir);
    return 0;
}
