// model-master [sessions] [items]: times the save and load of a master data
// file with its session work files, beside a plain read and write of the
// same bytes. Each phase runs in a child process so that its peak memory
// can be reported on its own.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "BenchChild.h"
#include "BenchWorkArea.h"
#include "platform/Prompter.h"

namespace fs = std::filesystem;

namespace {
int g_sessions = 50;
int g_items = 10000;
std::string g_root;

CProgramData BuildData() {
    CProgramData data;
    data.InsertProject("Bench project", 0);
    data.InsertProject("Second project", 1);
    for (int s = 0; s < g_sessions; ++s) {
        const int p = s % 2;
        const int at = data.GetSessionCount(p);
        data.InsertSession("Session " + std::to_string(s), p, at);
        CSession* se = data.GetSessionPtr(p, at);
        se->IsLoaded = true;
        se->Host = "host" + std::to_string(s % 5) + ".example.com";
        se->User = "user";
        se->RemoteDir = "/home/user/project/src/";
        se->LocalDir = "/home/user/work/project/src/";
        data.InsertBasket("Main", p, at, 0);
        data.InsertBasket("Tests", p, at, 1);
    }
    for (int i = 0; i < g_items; ++i) {
        const int s = i % g_sessions;
        const int p = s % 2, at = s / 2;
        CFileItem it("file_" + std::to_string(i) + ".cpp");
        it.FileType = i % 3 ? "local" : "remote";
        it.RemoteDir = "/home/user/project/src/module" + std::to_string(i % 40) + "/";
        it.LocalDir = "/home/user/work/project/src/module" + std::to_string(i % 40) + "/";
        it.RemHost = "host" + std::to_string(s % 5) + ".example.com";
        it.RemUser = "user";
        it.IsFTPed = i % 2 ? "Yes" : "No";
        it.LocalModTime = 1600000000 + i;
        it.RemoteModTime = 1600000100 + i;
        data.InsertFileItems(p, at, i % 7 == 0 ? 1 : 0, -1, it);
    }
    for (int c = 0; c < 3; ++c) {
        data.AddCluster("Cluster " + std::to_string(c), c);
        for (int h = 0; h < 10; ++h) data.AddHost("host" + std::to_string(h), "user", "secret", c, h);
    }
    data.m_SessionReport.SetDefaultColumns();
    return data;
}

std::uintmax_t FolderBytes(const std::string& dir) {
    std::uintmax_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) n += e.file_size();
    return n;
}

void Report(const char* what, const PhaseResult& r) {
    std::printf("%-34s %9.2f ms   peak RSS %7.1f MB\n", what, r.seconds * 1000.0, r.maxRssKb / 1024.0);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) g_sessions = std::max(1, std::atoi(argv[1]));
    if (argc > 2) g_items = std::max(0, std::atoi(argv[2]));
    char tmpl[] = "/tmp/qvl-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    g_root = std::string(tmpl) + "/";
    SetWorkAreaPaths(g_root);
    MakeWorkAreaFolders();
    const std::string master = g_strSessionInfoDir + kMasterFileName;

    auto nothing = [] {};
    // Build once in the parent so that the load phases have files to read.
    {
        CProgramData data = BuildData();
        data.SaveMasterFile(master);
    }
    const std::uintmax_t bytes = FolderBytes(g_strSessionInfoDir);
    std::printf("%d sessions, %d file items, %.2f MB in %zu files\n", g_sessions, g_items, bytes / 1048576.0,
                static_cast<size_t>(std::distance(fs::directory_iterator(g_strSessionInfoDir), fs::directory_iterator())));

    PhaseResult build = RunPhase(nothing, [] { CProgramData d = BuildData(); });
    Report("build in memory (baseline)", build);

    CProgramData* prepared = nullptr;
    PhaseResult save = RunPhase([&] { prepared = new CProgramData(BuildData()); },
                                [&] { prepared->SaveMasterFile(master); });
    Report("save master + work files (fsync)", save);

    size_t formatted = 0;
    PhaseResult format = RunPhase([&] { prepared = new CProgramData(BuildData()); }, [&] {
        formatted += prepared->FormatMasterFile().size();
        for (int p = 0; p < prepared->GetProjectCount(); ++p)
            for (int s = 0; s < prepared->GetSessionCount(p); ++s)
                formatted += prepared->GetSessionPtr(p, s)->FormatWorkFile(s, p).size();
    });
    Report("  of which text formatting", format);

    PhaseResult load = RunPhase(nothing, [] {
        CProgramData d;
        d.LoadMasterFile();
        for (int p = 0; p < d.GetProjectCount(); ++p)
            for (int s = 0; s < d.GetSessionCount(p); ++s) d.LoadSessionFile(p, s);
    });
    Report("load master + every work file", load);

    const std::string copyDir = g_root + "plain-copy/";
    CreateFolderPath(copyDir);
    PhaseResult plain = RunPhase(nothing, [&] {
        for (const auto& e : fs::directory_iterator(g_strSessionInfoDir)) {
            if (!e.is_regular_file()) continue;
            std::ifstream in(e.path(), std::ios::binary);
            std::ostringstream ss;
            ss << in.rdbuf();
            std::ofstream out(copyDir + e.path().filename().string(), std::ios::binary | std::ios::trunc);
            out << ss.str();
        }
    });
    Report("plain read + write of same bytes", plain);

    std::error_code ec;
    fs::remove_all(g_root, ec);
    return 0;
}
