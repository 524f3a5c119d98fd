// batch-preview: times the batch window's two steps on 1,000 files of 10 KB
// holding 10,000 matches in all: building the Find-Rep instances, then the
// commit that writes every file from its instances. Each time is the best of
// three runs; the goal is under one second each.
#include <unistd.h>

#include <chrono>
#include <functional>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "convert/ConversionRun.h"
#include "convert_ui/BatchRows.h"
#include "model/Globals.h"

namespace fs = std::filesystem;

int main() {
    const fs::path dir = fs::temp_directory_path() / ("qvl-batch-preview-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // Ten matches per file of about 10 KB.
    std::string text;
    for (int k = 0; k < 10; ++k) {
        text += "the cat came back\r\n";
        while (text.size() < std::size_t(1000 * (k + 1))) text += "lorem ipsum dolor sit amet, consectetur\r\n";
    }
    CLibraryList live;
    CLibrary lib("bench");
    lib.MacroList.emplace_back("cat", "dog");
    live.Append(lib);
    g_nLibIndex = 0;
    for (int i = 0; i < 1000; ++i) {
        const fs::path in = dir / ("f" + std::to_string(i) + ".txt");
        std::ofstream(in, std::ios::binary) << text;
        CFindRepPreview p;
        p.InputName = in.string();
        p.OutputName = (dir / ("out" + std::to_string(i) + ".txt")).string();
        p.Mode = "O";
        live.Previews.push_back(p);
    }
    double best[2] = {1e9, 1e9};
    std::size_t instances = 0;
    for (int run = 0; run < 3; ++run) {
        for (int step = 0; step < 2; ++step) {
            CBatchRunner runner(live);
            std::vector<std::function<void()>> done;
            runner.post = [&done](std::function<void()> t) { done.push_back(std::move(t)); };
            runner.previewReady = true;
            const auto t0 = std::chrono::steady_clock::now();
            runner.Start(step == 0 ? BatchMode::Instances : BatchMode::Commit);
            runner.Join();
            for (auto& t : done) t();
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            best[step] = std::min(best[step], s);
            if (step == 0) {
                instances = 0;
                for (const auto& p : live.Previews) instances += p.Instances.size();
            }
        }
    }
    std::printf("files: 1000, instances: %zu\n", instances);
    std::printf("preview (build instances): %.3f s\n", best[0]);
    std::printf("commit (write from instances): %.3f s\n", best[1]);
    fs::remove_all(dir);
    return 0;
}
