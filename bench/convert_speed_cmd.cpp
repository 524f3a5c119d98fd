// convert-speed [MB] [RUNS] [literal|date|library|longline|folder|all]:
// times the conversion engine beside perl -pe, sd and rg --passthru -r on
// the same work and checks that the outputs are identical:
//   1. a literal replace of a common word,
//   2. a date swap, Find "^d-^d-^d", Replace "<^d3>.<^d2>.<^d1>",
//   3. a library of 20 macros (literals and the date swap), and the same
//      library with one of them a wild-card macro whose matches reach
//      across lines (beside perl -0777 -pe only),
//   4. the log with CR line ends (one line to the engine, which breaks
//      lines at LF), each run of blanks made a tab followed by a
//      right-aligning tab stop: Find "^b", Replace "\t<A=-3>", per line
//      (beside perl -0777 -pe only, which does the same by hand),
// on a generated log of MB megabytes (default 50) and twice that size (to see
// that the time grows linearly; both sizes run in every round), then 10,000
// files of 10 KB in folder mode.
// Each figure is the median of RUNS (default 5) paired runs: the engine and
// every peer once per round, so that a busy machine disturbs them alike.
// Peak memory is each process's maximum resident size.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
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

#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"
#include "model/Library.h"
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

struct Sample {
    double seconds = -1;  // -1: the run failed
    double mib = 0;       // peak resident memory of the process
};

// Runs a program under /usr/bin/time (a small process of its own, so that the
// peak memory it reports is the program's alone, not this process's), stdin
// from a file when given and stdout to a file.
Sample RunTool(std::vector<std::string> args, const std::string& in, const std::string& out) {
    const std::string memFile = out + ".mem";
    args.insert(args.begin(), {"/usr/bin/time", "-f", "%M", "-o", memFile});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (!in.empty()) posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    auto t = Clock::now();
    int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return Sample{};
    int status = 0;
    waitpid(pid, &status, 0);
    Sample s;
    s.seconds = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Seconds(t) : -1;
    s.mib = std::atof(Slurp(memFile).c_str()) / 1024.0;
    return s;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void MakeLog(const std::string& path, std::size_t bytes, unsigned seed, char lineEnd = '\n') {
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
        buf[n - 1] = lineEnd;
        out.append(buf, n);
    }
    std::ofstream(path, std::ios::binary) << out;
}

// The engine as the batch uses it: read, convert with the library, write.
// A library list of the macros, set up for a batch run.
void SetUpBatchList(CLibraryList& list, const std::vector<CMacro>& macros) {
    CLibrary lib("bench");
    lib.MacroList = macros;
    list.Append(lib);
    list.m_Run.nBatchStep = 0;
    list.m_Run.nLibraryIndex = 0;
}

bool RunEngine(const std::vector<CMacro>& macros, const std::string& in, const std::string& out) {
    CLibraryList list;
    SetUpBatchList(list, macros);
    list.Previews.resize(1);
    list.Previews[0].InputName = in;
    list.Previews[0].OutputName = out;
    list.Previews[0].Mode = "O";
    bool modified = false;
    list.CurrentLibrary = 0;
    list.RunKind = 2;
    return CConversionEngine(list).ConvertFileForBatch(list.Previews[0], 0, modified);
}

struct Work {
    const char* name;
    std::vector<CMacro> macros;
    std::string perl;
    std::vector<std::string> sd, rg;  // the peers' arguments (input on stdin); empty: not run
    bool slurp = false;               // perl takes the whole file at once (-0777)
    char lineEnd = '\n';              // of the log's lines
};

struct Peer {
    std::string name;
    std::vector<double> t, m;
};

// Runs the engine and each peer once per round on the log of `mb` megabytes
// and on one of twice that size, side by side, `runs` rounds; prints the
// medians of time and peak memory for each size and whether the outputs agree
// with perl's, then how much longer the engine takes at twice the size (the
// ratio of its medians and the median of the ratios within a round, so that
// a change of load between the sizes does not show as a change of speed).
void Compare(const std::string& self, const std::string& dir, const Work& w, std::size_t mb, int runs) {
    const std::size_t sizes[2] = {mb, 2 * mb};
    std::string logs[2];
    double inMib[2];
    for (int z = 0; z < 2; ++z) {
        logs[z] = dir + "/log" + std::to_string(z) + ".txt";
        MakeLog(logs[z], sizes[z] << 20, 11, w.lineEnd);
        inMib[z] = static_cast<double>(fs::file_size(logs[z])) / (1 << 20);
    }
    const char* names[4] = {"engine", "perl -pe", "sd", "rg --passthru -r"};
    std::vector<Peer> peers[2];
    for (int z = 0; z < 2; ++z)
        for (const char* name : names) peers[z].push_back({name, {}, {}});
    std::vector<double> ratios;
    bool same[2][4];
    for (int z = 0; z < 2; ++z)
        for (int k = 0; k < 4; ++k) same[z][k] = true;
    for (int r = 0; r < runs; ++r) {
        for (int z = 0; z < 2; ++z) {
            const std::string& log = logs[z];
            const std::string outs[4] = {dir + "/engine.txt", dir + "/perl.txt", dir + "/sd.txt",
                                         dir + "/rg.txt"};
            // Every program writes a new file: none pays for dropping the old one.
            for (const std::string& o : outs) fs::remove(o);
            std::vector<std::string> perl = {"perl", "-pe", w.perl, log};
            if (w.slurp) perl.insert(perl.begin() + 1, "-0777");
            Sample s[4] = {
                RunTool({self, "--engine", w.name, log, outs[0]}, "", dir + "/engine.out"),
                RunTool(perl, "", outs[1]),
                w.sd.empty() ? Sample{} : RunTool(w.sd, log, outs[2]),
                w.rg.empty() ? Sample{} : RunTool(w.rg, log, outs[3]),
            };
            const std::string p = Slurp(outs[1]);
            for (int k = 0; k < 4; ++k) {
                if (k >= 2 && (k == 2 ? w.sd : w.rg).empty()) continue;
                peers[z][k].t.push_back(s[k].seconds);
                peers[z][k].m.push_back(s[k].mib);
                if (Slurp(outs[k]) != p) same[z][k] = false;
            }
        }
        ratios.push_back(peers[1][0].t.back() / peers[0][0].t.back());
    }
    for (int z = 0; z < 2; ++z) {
        std::printf("%s, %zu MB (%.1f MiB), medians of %d paired runs:\n", w.name, sizes[z],
                    inMib[z], runs);
        for (int k = 0; k < 4; ++k) {
            if (peers[z][k].t.empty()) continue;
            double mem = Median(peers[z][k].m);
            std::printf("  %-18s %7.3f s  %7.1f MiB (%.2f x input)  %s\n", names[k],
                        Median(peers[z][k].t), mem, mem / inMib[z],
                        same[z][k] ? "same as perl" : "DIFFERS FROM PERL");
        }
    }
    const double t1 = Median(peers[0][0].t), t2 = Median(peers[1][0].t);
    std::printf("%s: engine %zu MB -> %zu MB takes %.2f times as long (median of the rounds' "
                "ratios %.2f; at most 2.1 wanted)\n\n",
                w.name, sizes[0], sizes[1], t1 > 0 ? t2 / t1 : 0.0, Median(ratios));
}

// count files of 10 KB in folders of 500 under tree; returns their paths.
std::vector<std::string> MakeTree(const std::string& tree, int count) {
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        std::string sub = tree + "/d" + std::to_string(i / 500);
        if (i % 500 == 0) fs::create_directories(sub);
        std::string f = sub + "/f" + std::to_string(i) + ".log";
        MakeLog(f, 10 << 10, i);
        files.push_back(f);
    }
    return files;
}

// Folder mode as the batch runs it: every file under the tree converted in
// place. Returns the number of files that failed; walked is how many there were.
int ConvertTree(const std::vector<CMacro>& macros, const std::string& tree, std::size_t& walked) {
    CLibraryList list;
    SetUpBatchList(list, macros);
    std::vector<CDirEntry> entries;
    std::vector<CFolderRecord> records;
    WalkFolderTree(tree, false, "", entries, records, "*.*", "");
    for (const CDirEntry& e : entries) {
        CFindRepPreview p;
        p.InputName = p.OutputName = e.strLocalDir + e.strName;
        p.Mode = "O";
        list.Previews.push_back(p);
    }
    walked = entries.size();
    return CConversionEngine(list).RunBatchReport();
}

// Folder mode: the engine over a tree of `count` files of 10 KB, beside perl -pi
// over a copy of the same tree; returns both medians.
void Folder(const std::string& dir, const Work& w, int count, int runs) {
    std::vector<double> te, tp;
    bool same = true;
    int failed = 0;
    std::size_t walked = 0;
    for (int r = 0; r < runs; ++r) {
        const std::string tree = dir + "/tree", copy = dir + "/perl-tree";
        fs::remove_all(tree);
        fs::remove_all(copy);
        const std::vector<std::string> files = MakeTree(tree, count);
        fs::copy(tree, copy, fs::copy_options::recursive);
        ::sync();  // start both from a clean page cache state
        auto t = Clock::now();
        failed += ConvertTree(w.macros, tree, walked);
        te.push_back(Seconds(t));
        ::sync();
        std::vector<std::string> args = {"perl", "-pi", "-e", w.perl};
        for (const std::string& f : files) args.push_back(copy + f.substr(tree.size()));
        tp.push_back(RunTool(args, "", dir + "/perl-out.txt").seconds);
        for (const std::string& f : files)
            if (Slurp(f) != Slurp(copy + f.substr(tree.size()))) same = false;
    }
    std::printf("folder mode, %zu files of 10 KB (%s), medians of %d paired runs:\n"
                "  engine             %7.3f s  (%d failed)\n  perl -pi           %7.3f s  %s\n",
                walked, w.name, runs, Median(te), failed, Median(tp),
                same ? "same as perl" : "DIFFERS FROM PERL");
}
}  // namespace

// convert-speed [MB] [RUNS] [literal|date|library|longline|folder|all]
int main(int argc, char** argv) {
    const std::string argv0 = fs::canonical("/proc/self/exe").string();
    std::size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    if (mb == 0) mb = 50;
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (runs <= 0) runs = 5;
    const std::string what = argc > 3 ? argv[3] : "all";
    g_bBatchMode = true;  // no trace sink: keep the engine quiet

    CMacro literal("request", "REQUEST");
    CMacro date("^d-^d-^d", "<^d3>.<^d2>.<^d1>", 1, 1, 1, 0, 0, 0, 0, 1);
    // A library of 20 macros; in the second, the eleventh is a wild-card
    // macro whose matches run from an ERROR to the next TIMEOUT, often in a
    // later line.
    const std::vector<std::pair<std::string, std::string>> words = {
        {"request", "REQUEST"}, {"served", "SERVED"}, {"cache", "CACHE"}, {"miss", "MISS"},
        {"user", "USER"},       {"login", "LOGIN"},   {"timeout", "TIMEOUT"}, {"retry", "RETRY"},
        {"disk", "DISK"},       {"queue", "QUEUE"}};
    const std::vector<std::pair<std::string, std::string>> after = {
        {"INFO", "info"}, {"WARN", "warn"}, {"DEBUG", "debug"}, {"ERROR", "error"},
        {" the ", " a "}, {"id=", "ident="}};
    std::vector<CMacro> library, wideLibrary;
    std::string perlLibrary, perlWide;
    for (const auto& [f, r] : words) {
        library.emplace_back(f, r);
        perlLibrary += "s/" + f + "/" + r + "/g; ";
    }
    wideLibrary = library;
    perlWide = perlLibrary;
    library.emplace_back("MISS", "M");
    perlLibrary += "s/MISS/M/g; ";
    wideLibrary.push_back(CMacro("ERROR*TIMEOUT", "E<*1>T", 1, 1, 1, 0, 0, 0, 0, 1));
    perlWide += "s/ERROR(.*?)TIMEOUT/E$1T/gs; ";
    std::string tail;
    for (const auto& [f, r] : after) {
        library.emplace_back(f, r);
        wideLibrary.emplace_back(f, r);
        tail += "s/" + f + "/" + r + "/g; ";
    }
    library.push_back(date);
    wideLibrary.push_back(date);
    tail += "s/(\\d+)-(\\d+)-(\\d+)/$3.$2.$1/g; s/REQUEST/Req/g; s/DISK/Disk/g;";
    for (auto* lib : {&library, &wideLibrary}) {
        lib->emplace_back("REQUEST", "Req");
        lib->emplace_back("DISK", "Disk");
    }
    perlLibrary += tail;
    perlWide += tail;
    const std::vector<Work> work = {
        {"literal", {literal}, "s/request/REQUEST/g", {"sd", "-s", "request", "REQUEST"},
         {"rg", "--passthru", "-N", "-F", "-r", "REQUEST", "request"}},
        {"date swap", {date}, "s/(\\d+)-(\\d+)-(\\d+)/$3.$2.$1/g",
         {"sd", "(\\d+)-(\\d+)-(\\d+)", "$3.$2.$1"},
         {"rg", "--passthru", "-N", "-r", "$3.$2.$1", "(\\d+)-(\\d+)-(\\d+)"}},
        {"library", library, perlLibrary, {}, {}, true},
        {"library with *", wideLibrary, perlWide, {}, {}, true},
        // Each run of blanks becomes a tab, and the text before it is
        // right-aligned to a tab stop of 3: with no blank left in the line
        // but the fills, every fill goes to the run of them at the line's
        // start. perl counts the same columns.
        {"long line", {CMacro("^b", "\\t<A=-3>", 1, 1, 1, 1, 0, 0, 0, 1)},
         "my ($n, $o) = (0, \"\"); while (/\\G([^ ]*) +/gc) { $o .= $1 . \"\\t\"; "
         "$n += 3 - ($n + length $o) % 3 } $_ = \" \" x $n . $o . substr($_, pos // 0);",
         {}, {}, true, '\r'},
    };
    if (argc == 5 && std::string(argv[1]) == "--engine") {
        // One engine run in a process of its own: --engine NAME IN OUT.
        for (const Work& w : work)
            if (w.name == std::string(argv[2])) return RunEngine(w.macros, argv[3], argv[4]) ? 0 : 1;
        return 2;
    }
    if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--make") {
        // The inputs alone, for a profile: --make MB FILE writes the log,
        // --make tree DIR [COUNT] the folder-mode tree (10,000 files).
        if (std::string(argv[2]) == "tree") MakeTree(argv[3], argc == 5 ? std::atoi(argv[4]) : 10000);
        else MakeLog(argv[3], std::strtoul(argv[2], nullptr, 10) << 20, 11);
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--tree") {
        // Folder mode alone, for a profile: --tree NAME DIR converts DIR in place.
        std::size_t walked = 0;
        for (const Work& w : work)
            if (w.name == std::string(argv[2])) return ConvertTree(w.macros, argv[3], walked) == 0 ? 0 : 1;
        return 2;
    }
    const std::string dir =
        (fs::temp_directory_path() / ("qvl-convert-speed-" + std::to_string(getpid()))).string();
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const Work& w : work) {
        const std::string kind = w.name == std::string("literal")     ? "literal"
                                 : w.name == std::string("date swap") ? "date"
                                 : w.name == std::string("long line") ? "longline"
                                                                      : "library";
        if (what != "all" && what != kind) continue;
        Compare(argv0, dir, w, mb, runs);
    }
    if (what == "all" || what == "folder") Folder(dir, work[1], 10000, runs);
    fs::remove_all(dir);
    return 0;
}
