// remote-browse-uibench HOST PORT USER PASSWORD BIGFOLDER TREEFOLDER [runs]:
// times the remote browser and the recursive collection against an FTP
// server (bench/remote_browse.sh starts one and makes the folders).
//
//  - listing data: the LIST of BIGFOLDER as text (the data arriving);
//  - parse: the listing text parsed into entries;
//  - shown: the browser dialog opened on BIGFOLDER, from the first byte
//    asked to the filled list (so it holds the listing data too);
//  - collect: every file below TREEFOLDER collected with its local folder
//    (one CWD and one LIST per folder, one CWD back per subfolder).
#include <QApplication>
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "model/ProgramData.h"
#include "platform/Prompter.h"
#include "remote/Collect.h"
#include "remote/FtpClient.h"
#include "remote/FtpConnections.h"
#include "remote/ui/RemoteBrowserDlg.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void Report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("| %s | %.1f ms | %.1f ms | %.1f ms |\n", what, v.front(), v[v.size() / 2], v.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD BIGFOLDER TREEFOLDER [runs]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string host = argv[1], user = argv[3], password = argv[4], big = argv[5], tree = argv[6];
    const int runs = argc > 7 ? std::atoi(argv[7]) : 5;
    qputenv("QVL_FTP_PORT", argv[2]);
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);

    CProgramData data;
    data.AddCluster("Bench", 0);
    data.AddHost(host, user, password, 0, 0);
    std::string h = host, u = user;
    if (!ConnectHost(data, h, u, true)) {
        std::fprintf(stderr, "cannot connect\n");
        return 1;
    }
    auto client = SelectOpenConnection(host, user);
    std::vector<double> arrive, parse, shown, collect;
    size_t entries = 0, collected = 0, items = 0;
    for (int r = 0; r < runs; ++r) {
        client->ChangeDirectory(big);
        auto t0 = Clock::now();
        const std::string text = client->ListToText("");
        auto t1 = Clock::now();
        std::vector<CDirEntry> parsed;
        CFtpClient::ParseUnixListingText(text, "*.*", parsed);
        auto t2 = Clock::now();
        arrive.push_back(Ms(t0, t1));
        parse.push_back(Ms(t1, t2));
        entries = parsed.size();

        CHost account(host, user, password);
        account.m_strLastFolder = big;
        auto t3 = Clock::now();
        {
            CRemoteBrowserDlg dlg("*.*", account);
            if (!dlg.Initialize()) return 1;
            items = dlg.findChild<QListWidget*>("1849")->count();
            shown.push_back(Ms(t3, Clock::now()));
        }

        std::vector<CDirEntry> out;
        auto t4 = Clock::now();
        if (CollectRecursive(*client, "UNIX", tree, tree, "/tmp/mirror/", true, "*.*", "", out) != WalkEnd::Done)
            return 1;
        collect.push_back(Ms(t4, Clock::now()));
        collected = out.size();
    }
    std::printf("| step (%d runs) | min | median | max |\n|---|---|---|---|\n", runs);
    Report(("listing data of " + std::to_string(entries) + " entries").c_str(), arrive);
    Report("parse of that listing", parse);
    Report(("browser opened and shown (" + std::to_string(items) + " rows, listing included)").c_str(), shown);
    Report(("collect " + std::to_string(collected) + " files").c_str(), collect);
    CloseAllConnections();
    return 0;
}
