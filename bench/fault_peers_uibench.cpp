// fault-peers-uibench: one talk with a peer that never stops, through the
// program's own clients, for bench/fault_peers.py. Prints the lines the
// program would show and, last, "rss-mb=N" (peak resident memory).
//
//   fault-peers-uibench rexec PORT          a command whose output never ends
//   fault-peers-uibench update URL FOLDER   the update check, then the updater
//                                           download into FOLDER
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/RexecClient.h"
#include "settings/ui/InlineUpdateDlg.h"

namespace {
struct PrintSink : ITraceSink {
    void AppendLine(const std::string& line) override { std::printf("log: %s\n", line.c_str()); }
};

// Prints the last non-empty line of the text.
void PrintLastLine(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) --end;
    const size_t nl = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
    const size_t start = nl == std::string::npos ? 0 : nl + 1;
    std::printf("%s\n", text.substr(start, end - start).c_str());
}

template <class Pred>
bool WaitWhile(Pred busy, int ms) {
    QElapsedTimer t;
    t.start();
    while (busy() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 50);
    return !busy();
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fault-peers-uibench rexec PORT | update URL FOLDER\n");
        return 2;
    }
    static PrintSink sink;
    SetTraceSink(&sink);
    const std::string mode = argv[1];
    int rc = 0;
    if (mode == "rexec") {
        std::string output;
        try {
            CRexecClient client;
            client.Execute("user", "secret", "127.0.0.1", std::atoi(argv[2]), "sh", "./endless", output);
            std::printf("output-bytes=%zu\n", output.size());
            PrintLastLine(output);
        } catch (const std::exception& e) {
            std::printf("failed: %s\n", e.what());
            rc = 1;
        }
    } else if (mode == "update" && argc > 3) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        setenv("QVL_UPDATE_URL", argv[2], 1);
        QApplication app(argc, argv);
        CInlineUpdateDlg::s_programFolder = QString::fromLocal8Bit(argv[3]);
        CInlineUpdateDlg dlg;
        dlg.CheckForLatest();
        if (!WaitWhile([&] { return dlg.Checking(); }, 900000)) rc = 1;
        std::printf("check: ");
        PrintLastLine(dlg.LogText().toStdString());
        std::fflush(stdout);
        dlg.GetLatest();
        if (!WaitWhile([&] { return dlg.Downloading(); }, 900000)) rc = 1;
        std::printf("download: ");
        PrintLastLine(dlg.LogText().toStdString());
        std::printf("updater-started=%d\n", dlg.UpdaterStarted() ? 1 : 0);
    } else {
        return 2;
    }
    struct rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("rss-mb=%ld\n", ru.ru_maxrss / 1024);
    return rc;
}
