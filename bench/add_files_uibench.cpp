// add-files-uibench [files] [repetitions]: times the adding of dropped files
// to a basket through the window (10,000 files by default) and watches that
// the window stays responsive meanwhile.
//
//  - drop: the files dropped on an empty basket until the run's end line
//    (the walk, the items, the live list, the final list of all rows);
//  - drop, suppressed: the same with "Suppress Scrolling file-list" on;
//  - drop, all duplicates: the same files dropped again on that basket;
//  - drop of their folder: the folder dropped, Directory Usage answered OK at
//    once, a new basket made for it and the files walked into it;
//  - stop: Stop pressed right after the drop started, until the run has
//    ended (with the number of rows the stopped run left in the basket).
//
// For every run the longest time the GUI thread did not get to a 5 ms timer
// ("stall") is shown: that is how long the window could not repaint or
// take a click.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/AddFilesCommands.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/StartupBannerDlg.h"
#include "filelist/ui/DirectoryUsageDlg.h"
#include "filelist/ui/DragAndDropDlg.h"
#include "model/Account.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "UiBench.h"

namespace fs = std::filesystem;

namespace {

// The longest gap between two ticks of a 5 ms timer.
class StallMeter {
public:
    StallMeter() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            m_max = std::max(m_max, std::chrono::duration<double, std::milli>(now - m_last).count());
            m_last = now;
        });
    }
    void Start() {
        m_max = 0;
        m_last = Clock::now();
        m_timer.start();
    }
    double Stop() {
        m_timer.stop();
        // A block at the very end has no tick after it.
        m_max = std::max(m_max, std::chrono::duration<double, std::milli>(Clock::now() - m_last).count());
        return m_max;
    }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    double m_max = 0;
};

struct Run {
    double total = 0, stall = 0;
};

void Report(const char* what, std::vector<Run> runs) {
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.total < b.total; });
    double stall = 0;
    for (const Run& r : runs) stall = std::max(stall, r.stall);
    std::printf("%-28s median %8.1f ms   max %8.1f ms   longest stall %6.1f ms   (%zu runs)\n", what,
                runs[runs.size() / 2].total, runs.back().total, stall, runs.size());
}

void WaitIdle(CMainFrame& w) {
    while (!(g_bAddFilesIdle && !w.AddFilesCommands().IsBusy()))
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A fresh empty basket, current and shown.
void NewBasket(CMainFrame& w, const std::string& name) {
    CProgramData& d = w.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession();
    d.InsertBasket(name, p, s, 0);
    d.SetCurrentBasket(p, s, 0);
    w.Presenter().ShowSession(p, s, 0);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string tmp = PrepareBenchFolder("/tmp/qvl-addbench-XXXXXX");
    if (tmp.empty()) return 1;

    QApplication app(argc, argv);
    UseBenchSettings(tmp);
    QuietTrace quiet;
    RecordingPrompter answers;
    SetPrompter(&answers);
    CreateWorkAreaFolders();

    const std::string files = tmp + "/files/";
    fs::create_directories(files);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(files + "file" + std::to_string(100000 + i) + ".c");
        std::ofstream(paths.back()) << "x\n";
    }
    std::printf("dropping %d files, %d runs each\n", count, reps);

    int failures = 0;
    {
        CMainFrame w;
        w.show();
        w.Banner()->Close();
        SetTraceSink(&quiet);
        QApplication::processEvents();
        g_nTurnOff = count * 10;
        g_CurrentAccount.m_strLastFolder = "/srv/bench/";  // keep automatic updates on: the list is checked as usual
        StallMeter meter;
        std::vector<Run> drop, suppressed, dups, stop, folder;
        std::vector<int> kept;
        for (int r = 0; r < reps; ++r) {
            NewBasket(w, "Bench " + std::to_string(r));
            meter.Start();
            auto t0 = Clock::now();
            CQuorvellianViewBot::s_addDroppedFiles(paths);
            WaitIdle(w);
            drop.push_back({MsSince(t0), meter.Stop()});
            if (w.FileList()->topLevelItemCount() != count) {
                std::fprintf(stderr, "the list shows %d rows\n", w.FileList()->topLevelItemCount());
                ++failures;
            }

            answers.entries.clear();
            meter.Start();
            t0 = Clock::now();
            CQuorvellianViewBot::s_addDroppedFiles(paths);
            WaitIdle(w);
            dups.push_back({MsSince(t0), meter.Stop()});
            if (answers.Messages().size() != 1) ++failures;

            NewBasket(w, "Tree " + std::to_string(r));
            meter.Start();
            t0 = Clock::now();
            CQuorvellianViewBot::s_addDroppedFiles({files});
            if (CDirectoryUsageDlg* dlg = w.AddFilesCommands().DirectoryUsageDialog()) dlg->accept();
            WaitIdle(w);
            folder.push_back({MsSince(t0), meter.Stop()});
            if (w.Data().GetFileItemCount(w.Data().GetCurProject(), w.Data().GetCurSession(), 1) != count) ++failures;

            NewBasket(w, "Quiet " + std::to_string(r));
            meter.Start();
            t0 = Clock::now();
            CQuorvellianViewBot::s_addDroppedFiles(paths);
            w.AddFilesCommands().DragAndDropDialog()->findChild<QCheckBox*>("1521")->click();
            WaitIdle(w);
            suppressed.push_back({MsSince(t0), meter.Stop()});

            NewBasket(w, "Stop " + std::to_string(r));
            meter.Start();
            CQuorvellianViewBot::s_addDroppedFiles(paths);
            t0 = Clock::now();
            w.AddFilesCommands().DragAndDropDialog()->findChild<QPushButton*>("1349")->click();
            WaitIdle(w);
            kept.push_back(w.FileList()->topLevelItemCount());
            stop.push_back({MsSince(t0), meter.Stop()});
        }
        Report("drop", drop);
        Report("drop, all duplicates", dups);
        Report("drop, suppressed list", suppressed);
        Report("drop of their folder", folder);
        Report("Stop pressed as it starts", stop);
        std::printf("rows kept after Stop:");
        for (int k : kept) std::printf(" %d", k);
        std::printf("\n");
        SetTraceSink(nullptr);
    }
    SetPrompter(nullptr);
    std::error_code ec;
    fs::remove_all(tmp, ec);
    return failures ? 1 : 0;
}
