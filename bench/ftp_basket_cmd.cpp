// ftp-basket: sends or fetches every plain file of a folder as one basket
// through the transfer engine (one connection, item after item) and prints
// the time it took.
//   ftp-basket put|get|status HOST PORT USER PASSWORD LOCAL-FOLDER/ REMOTE-FOLDER/ [--no-update]
//       [--names-from=FOLDER] [--sent-before]
// put sends the files of LOCAL-FOLDER; get fetches the same names into it
// (the names are those of the files in LOCAL-FOLDER, or of NAMES-FROM given
// with --names-from=FOLDER). --no-update leaves out the listing after each
// item that gives the item its remote time ("FTPUpdate=No").
// --sent-before (put): the basket is sent once untimed, its items take the
// records of that send as a restarted program reads them back from its
// work file, and the send of the same basket again is timed: before it
// overwrites anything it looks whether the server's copies changed since.
// status (with --sent-before): the same basket sent once untimed, then its
// "Get status of remote files" timed.
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
#include "remote/RemoteStatus.h"
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
                 "usage: ftp-basket put|get|status HOST PORT USER PASSWORD LOCAL-FOLDER/ REMOTE-FOLDER/ "
                 "[--no-update] [--names-from=FOLDER] [--sent-before]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 8) return Usage();
    const std::string verb = argv[1], host = argv[2], port = argv[3], user = argv[4],
                      password = argv[5], local = argv[6], remote = argv[7];
    std::string namesFrom = local;
    bool sentBefore = false;
    for (int i = 8; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--no-update")
            g_bFtpUpdate = false;
        else if (a == "--sent-before")
            sentBefore = true;
        else if (a.rfind("--names-from=", 0) == 0)
            namesFrom = a.substr(13);
        else
            return Usage();
    }
    if ((verb != "put" && verb != "get" && verb != "status") || (sentBefore && verb == "get") ||
        (verb == "status" && !sentBefore) || local.empty() || local.back() != '/' || remote.empty() ||
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

    if (sentBefore) {
        if (!ClaimFtpSlot("")) return 1;
        RunFtpWorkerHere([&] { TransferToRemote(data, 0, 0, 0, indices); });
        ApplyFtpResults(data);
        CloseAllConnections();
        for (CFileItem* it : data.GetBasketItemPtrs(0, 0, 0)) {
            if (it->IsFTPed != "Yes") {
                std::fprintf(stderr, "%s was not sent the first time\n", it->FileName.c_str());
                return 1;
            }
            // What the work file keeps: the time to its second, no size.
            it->SetRemoteTimeFromText(it->GetRemoteTimeText());
            it->RemoteSecondKnown = false;
            it->RemoteSize = -1;
        }
    }
    if (!ClaimFtpSlot("")) return 1;
    const auto start = std::chrono::steady_clock::now();
    std::vector<CFileItem> checked;
    RunFtpWorkerHere([&] {
        if (verb == "put") {
            TransferToRemote(data, 0, 0, 0, indices);
        } else if (verb == "get") {
            TransferToLocal(data, 0, 0, 0, indices);
        } else {
            checked = data.GetBasketItems(0, 0, 0);
            CheckRemoteStatus(data, checked);
        }
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t ok = 0;
    if (verb == "status") {
        // Every file is as it was sent: in sync.
        for (CFileItem& it : checked) CompareRemoteTimes(data, 0, it);
        for (const CFileItem* it : data.GetBasketItemPtrs(0, 0, 0))
            ok += it->IsRemoteModified != "Yes" && it->IsRemoteMissing != "Yes";
    } else {
        FtpResultsLock lists;
        for (const CFileItem& it : lists->transfer) ok += it.IsFTPed == "Yes";
    }
    CloseAllConnections();
    SetTraceSink(nullptr);
    std::printf("%s %zu of %zu files in %.3f s\n", verb.c_str(), ok, names.size(), seconds);
    return ok == names.size() ? 0 : 1;
}
