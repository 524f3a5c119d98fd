// A work area with one large session, for the window benchmarks.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/WorkArea.h"

// A project with a small session (current unless largeCurrent) and a large
// one holding `items` file items in one basket, with local files whose times
// agree with the items (so every row is checked and found in sync).
inline void WriteWorkArea(const std::string& files, int items, bool largeCurrent) {
    CProgramData d;
    d.InsertProject("Bench", 0);
    d.InsertSession("Small", 0, 0);
    d.InsertSession("Large", 0, 1);
    for (int s = 0; s < 2; ++s) {
        CSession* se = d.GetSessionPtr(0, s);
        se->IsLoaded = true;
        se->Host = "www.example.com";
        se->User = "bench";
        se->LocalDir = files;
        se->RemoteDir = "/srv/bench/";
    }
    d.InsertBasket("Pages", 0, 0, 0);
    d.InsertBasket("Big", 0, 1, 0);
    d.InsertBasket("Other", 0, 1, 1);
    const std::time_t t0 = 1600000000;
    auto item = [&](const std::string& name, int i) {
        CFileItem it(name);
        it.FileType = "local";
        it.LocalDir = files;
        it.RemoteDir = "/srv/bench/";
        it.RemHost = i % 5 ? "www.example.com" : "10.1.2.3";
        it.RemUser = "bench";
        it.IsFTPed = "Yes";
        it.IsPinned = "No";
        it.LocalModTime = t0;
        it.RemoteModTime = t0;
        return it;
    };
    for (int i = 0; i < 3; ++i) d.InsertFileItems(0, 0, 0, -1, item("small" + std::to_string(i) + ".txt", i));
    for (int i = 0; i < items; ++i) d.InsertFileItems(0, 1, 0, -1, item("file" + std::to_string(i) + ".c", i));
    d.AddCluster("Lab", 0);
    d.AddHost("www.example.com", "bench", "secret", 0, 0);
    d.SetCurProject(0);
    d.SetCurSession(0, largeCurrent ? 1 : 0);
    d.SetCurrentBasket(0, 0, 0);
    d.SetCurrentBasket(0, 1, 0);
    if (!d.SaveMasterFile(g_strSessionInfoDir + kMasterFileName)) {
        std::fprintf(stderr, "cannot write the master file\n");
        std::exit(1);
    }
}

inline void MakeLocalFiles(const std::string& files, int items) {
    std::filesystem::create_directories(files);
    const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(std::time(nullptr) - 1600000000);
    auto make = [&](const std::string& name) {
        const std::string path = files + name;
        std::ofstream(path) << "x\n";
        std::filesystem::last_write_time(path, when);
    };
    for (int i = 0; i < 3; ++i) make("small" + std::to_string(i) + ".txt");
    for (int i = 0; i < items; ++i) make("file" + std::to_string(i) + ".c");
}
