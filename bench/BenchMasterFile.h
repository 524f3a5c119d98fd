// A master data file with very many sessions, written as the program's own
// writer writes one, for the benchmarks of the start-up load.
#pragma once

#include <cstdio>
#include <string>

#include "model/ProgramData.h"

// The text of a master data file with `sessions` sessions in two projects.
inline std::string MakeMasterText(int sessions, bool shared) {
    CProgramData data;
    data.InsertProject("Bench project", 0);
    data.InsertProject("Second project", 1);
    data.m_SessionReport.SetDefaultColumns();
    const std::string empty = data.FormatMasterFile();
    const size_t state = empty.find("Session State:");
    std::string text = empty.substr(0, state);
    text.reserve(static_cast<size_t>(sessions) * 230 + empty.size());
    int counts[2] = {0, 0};
    char name[96];
    for (int i = 0; i < sessions; ++i) {
        const int p = i % 2, s = counts[p]++;
        if (shared)
            std::snprintf(name, sizeof name, "Box01-Ses01-Shared.txt");
        else
            std::snprintf(name, sizeof name, "Box%02d-Ses%02d-Session%d.txt", p + 1, s + 1, i);
        text += "Session ID: " + std::to_string(s) + "\n";
        text += "SessionName=Session " + std::to_string(i) + ", Host=host" + std::to_string(i % 5) +
                ".example.com, User=user, RemoteDir=/home/user/project/src/, "
                "LocalDir=/home/user/work/project/src/, SessionBox=" +
                std::to_string(p) + ", BasketInd=0, \n";
        text += std::string(name) + "\n";
        text += "End of Session ID: " + std::to_string(s) + "\n";
    }
    text += empty.substr(state);
    return text;
}

