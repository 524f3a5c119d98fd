// ftp-basket: sends or fetches every plain file of a folder as one basket
// through the transfer engine (one connection, item after item) and prints
// the time it took.
//   ftp-basket put|get HOST PORT USER PASSWORD LOCAL-FOLDER/ REMOTE-FOLDER/ [--no-update]
// put sends the files of LOCAL-FOLDER; get fetches the same names into it
// (the names are those of the files in LOCAL-FOLDER, or of NAMES-FROM given
// with --names-from=FOLDER). --no-update leaves out the listing after each
// item that gives the item its remote time ("FTPUpdate=No").
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"
#include "remote/TransferEngine.h"

namespace {

class FailureSink : public ITraceSink {
public:
    void AppendLine(const std::string& line) override {
        if (line.rfind("-?-", 0) == 0) std::fprintf(stderr, "%s\n", line.c_str());
    }
};

int Usage() {
    std::fprintf(stderr,
                 "usage: ftp-basket put|get HOST PORT USER PASSWORD LOCAL-FOLDER/ REMOTE-FOLDER/ "
                 "[--no-update] [--names-from=FOLDER]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 8) return Usage();
    const std::string verb = argv[1], host = argv[2], port = argv[3], user = argv[4],
                      password = argv[5], local = argv[6], remote = argv[7];
    std::string namesFrom = local;
    for (int i = 8; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--no-update")
            g_bFtpUpdate = false;
        else if (a.rfind("--names-from=", 0) == 0)
            namesFrom = a.substr(13);
        else
            return Usage();
    }
    if ((verb != "put" && verb != "get") || local.empty() || local.back() != '/' || remote.empty() ||
        remote.back() != '/')
        return Usage();
    ::setenv("QVL_FTP_PORT", port.c_str(), 1);
    FailureSink sink;
    SetTraceSink(&sink);

    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(namesFrom))
        if (e.is_regular_file()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());

    CProgramData data;
    data.InsertProject("Bench", 0);
    data.InsertSession("Bench", 0, 0);
    data.GetSessionPtr(0, 0)->IsLoaded = true;
    data.InsertBasket("Files", 0, 0, 0);
    data.AddCluster("Bench", 0);
    data.AddHost(host, user, password, 0, 0);
    std::vector<int> indices;
    for (const std::string& n : names) {
        CFileItem it(n);
        it.FileType = "local";
        it.RemHost = host;
        it.RemUser = user;
        it.RemoteDir = remote;
        it.LocalDir = local;
        it.IsBinaryFile = true;
        data.InsertFileItems(0, 0, 0, int(indices.size()), it);
        indices.push_back(int(indices.size()));
    }
    data.SetCurProject(0);
    data.SetCurSession(0, 0);
    data.SetCurrentBasket(0, 0, 0);

    if (!ClaimFtpSlot("")) return 1;
    const auto start = std::chrono::steady_clock::now();
    RunFtpWorkerHere([&] {
        if (verb == "put")
            TransferToRemote(data, 0, 0, 0, indices);
        else
            TransferToLocal(data, 0, 0, 0, indices);
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t ok = 0;
    {
        FtpResultsLock lists;
        for (const CFileItem& it : lists->transfer) ok += it.IsFTPed == "Yes";
    }
    CloseAllConnections();
    SetTraceSink(nullptr);
    std::printf("%s %zu of %zu files in %.3f s\n", verb.c_str(), ok, names.size(), seconds);
    return ok == names.size() ? 0 : 1;
}
