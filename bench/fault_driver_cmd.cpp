// fault-driver: the work of scripts/fault-rerun that the window would do,
// run through the same core routines so that it can be killed at any moment.
//
//   fault-driver setup ROOT N   a work area under ROOT with one session whose
//                               basket holds N local files (ROOT/files/),
//                               each holding its own number
//   fault-driver rename ROOT    renames every file of that basket in two
//                               phases and saves the master file, again and
//                               again (back and forth) until killed
//   fault-driver save ROOT      reads the work area and saves it once; the
//                               program's log lines go to standard output;
//                               exit 1 when the save failed
//   fault-driver check ROOT N   reads the work area as the program does and
//                               counts the files lost; prints one line
//                               "items=I on-disk=D lost=L parked=P stale=S"
//                               and exits 0 only when nothing is lost
//   fault-driver sendsetup ROOT N USER PASSWORD
//                               a work area under ROOT with one session whose
//                               basket holds N local files of 32 KB
//                               (ROOT/files/), none sent yet, going to "/"
//                               of the FTP account USER on 127.0.0.1
//   fault-driver sendcheck ROOT N SERVERDIR
//                               reads the work area as the program does and
//                               compares it with the server's folder; prints
//                               "items=I marked-sent=M whole-on-server=W
//                               unrecorded=U" and exits 0 only when every
//                               file whole on the server is marked sent
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "filelist/RenameFiles.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "BenchWorkArea.h"
#include "platform/Prompter.h"

namespace fs = std::filesystem;

namespace {
struct PrintSink : ITraceSink {
    void AppendLine(const std::string& line) override { std::printf("%s\n", line.c_str()); }
};

std::string Master() { return g_strSessionInfoDir + kMasterFileName; }

// Loads the master file and the first session's work file.
void Load(CProgramData& data) {
    data.LoadMasterFile();
    if (data.GetProjectCount() > 0 && data.GetSessionCount(0) > 0) data.LoadSessionFile(0, 0);
}

int Setup(const std::string& root, int n) {
    const std::string files = root + "files/";
    CreateFolderPath(files, 0700);
    CProgramData data;
    data.InsertProject("Fault project", 0);
    data.InsertSession("Fault session", 0, 0);
    data.GetSessionPtr(0, 0)->IsLoaded = true;
    data.GetSessionPtr(0, 0)->LocalDir = files;
    data.InsertBasket("Files", 0, 0, 0);
    for (int i = 0; i < n; ++i) {
        const std::string name = "file_" + std::to_string(i) + ".txt";
        std::ofstream(files + name, std::ios::binary) << "file " << i << "\n";
        CFileItem it(name);
        it.FileType = "local";
        it.LocalDir = files;
        data.InsertFileItems(0, 0, 0, -1, it);
    }
    return data.SaveMasterFile(Master()) ? 0 : 1;
}

int Rename() {
    CProgramData data;
    Load(data);
    if (data.GetProjectCount() < 1 || data.GetSessionCount(0) < 1 || data.GetBasketCount(0, 0) < 1) return 1;
    for (int round = 0;; ++round) {
        const std::vector<CFileItem> items = data.GetBasketItems(0, 0, 0);
        std::vector<int> all;
        std::vector<std::string> names;
        for (std::size_t i = 0; i < items.size(); ++i) {
            all.push_back(int(i));
            std::string name = items[i].FileName;
            const std::string mark = ".moved";
            if (name.size() > mark.size() && name.compare(name.size() - mark.size(), mark.size(), mark) == 0)
                name.resize(name.size() - mark.size());
            else
                name += mark;
            names.push_back(name);
        }
        data.SetSelection(0, 0, 0, all);
        RenameFilesToNewNames(data, 0, 0, 0, names);
        if (!data.SaveMasterFile(Master())) return 1;
        std::printf("round %d\n", round);
        std::fflush(stdout);
    }
}

// The number a file of the set holds, or -1.
int Number(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::string word;
    int n = -1;
    if (in >> word >> n && word == "file") return n;
    return -1;
}

int Check(const std::string& root, int n) {
    CProgramData data;
    Load(data);
    int items = 0, stale = 0;
    if (data.GetProjectCount() > 0 && data.GetSessionCount(0) > 0 && data.GetBasketCount(0, 0) > 0)
        for (const CFileItem& it : data.GetBasketItems(0, 0, 0)) {
            ++items;
            struct stat st {};
            if (::stat(it.GetLocalPath().c_str(), &st) != 0) ++stale;
        }
    // Every number must be in the files folder exactly once under a visible name.
    std::vector<int> seen(n, 0);
    int onDisk = 0, parked = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root + "files", ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        const int k = Number(it->path());
        if (k < 0 || k >= n) continue;
        if (it->path().filename().string()[0] == '.') ++parked;  // under a hidden parking name
        else if (seen[k]++ == 0) ++onDisk;
    }
    for (fs::recursive_directory_iterator it(g_strLoadingTempDir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file() && Number(it->path()) >= 0) ++parked;
    const int lost = n - onDisk;
    std::printf("items=%d on-disk=%d lost=%d parked=%d stale=%d\n", items, onDisk, lost, parked, stale);
    return lost == 0 && parked == 0 && items == n ? 0 : 1;
}
std::string SendContent(int i) { return std::string(32 * 1024, char('a' + i % 26)); }
std::string SendName(int i) { return "send_" + std::to_string(i) + ".bin"; }

int SendSetup(const std::string& root, int n, const std::string& user, const std::string& password) {
    const std::string files = root + "files/";
    CreateFolderPath(files, 0700);
    CProgramData data;
    data.InsertProject("Fault project", 0);
    data.InsertSession("Send session", 0, 0);
    CSession* se = data.GetSessionPtr(0, 0);
    se->IsLoaded = true;
    se->LocalDir = files;
    se->RemoteDir = "/";
    se->Host = "127.0.0.1";
    se->User = user;
    data.InsertBasket("Files", 0, 0, 0);
    for (int i = 0; i < n; ++i) {
        std::ofstream(files + SendName(i), std::ios::binary) << SendContent(i);
        CFileItem it(SendName(i));
        it.FileType = "local";
        it.LocalDir = files;
        it.RemoteDir = "/";
        it.RemHost = "127.0.0.1";
        it.RemUser = user;
        it.IsBinaryFile = true;
        it.IsFTPed = "No";
        it.IsRemoteModified = "No";
        it.IsRemoteMissing = "No";
        data.InsertFileItems(0, 0, 0, -1, it);
    }
    data.AddCluster("Fault", 0);
    data.AddHost("127.0.0.1", user, password, 0, 0);
    data.SetCurProject(0);
    data.SetCurSession(0, 0);
    data.SetCurrentBasket(0, 0, 0);
    return data.SaveMasterFile(Master()) ? 0 : 1;
}

int SendCheck(int n, const std::string& serverDir) {
    CProgramData data;
    Load(data);
    int items = 0, marked = 0, whole = 0, unrecorded = 0;
    if (data.GetProjectCount() > 0 && data.GetSessionCount(0) > 0 && data.GetBasketCount(0, 0) > 0)
        for (const CFileItem& it : data.GetBasketItems(0, 0, 0)) {
            ++items;
            const bool sent = it.IsFTPed == "Yes";
            if (sent) ++marked;
            int i = -1;
            for (int k = 0; k < n && i < 0; ++k)
                if (SendName(k) == it.FileName) i = k;
            if (i < 0) continue;
            std::ifstream in(serverDir + "/" + it.FileName, std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            if (!in || bytes.str() != SendContent(i)) continue;
            ++whole;
            if (!sent) ++unrecorded;
        }
    std::printf("items=%d marked-sent=%d whole-on-server=%d unrecorded=%d\n", items, marked, whole, unrecorded);
    return items == n && unrecorded == 0 ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fault-driver setup|rename|save|check|sendsetup|sendcheck ROOT [N] [...]\n");
        return 2;
    }
    const std::string mode = argv[1];
    std::string root = fs::absolute(argv[2]).lexically_normal().string();
    if (root.back() != '/') root += '/';
    const int n = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000;
    SetWorkAreaPaths(root);
    MakeWorkAreaFolders();
    if (mode == "setup") return Setup(root, n);
    if (mode == "rename") return Rename();
    if (mode == "save") {
        static PrintSink sink;
        SetTraceSink(&sink);
        CProgramData data;
        Load(data);
        return data.SaveMasterFile(Master()) ? 0 : 1;
    }
    if (mode == "check") return Check(root, n);
    if (mode == "sendsetup" && argc > 5) return SendSetup(root, n, argv[4], argv[5]);
    if (mode == "sendcheck" && argc > 4) return SendCheck(n, argv[4]);
    return 2;
}
