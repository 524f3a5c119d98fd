// ui-session-uibench [items] [repetitions]: times the window road on a work
// area whose largest basket holds many file items (10,000 by default).
//
//  - start-up: the application object's start (registry key, work-area
//    folders, main window with its first data load, keyboard) until the
//    window is exposed, on a work area whose current session is the large one;
//  - first show: a click on the large session in the Control panel when its
//    work file has not been read yet (read, lists filled, sync check);
//  - show: showing the large session again once it is loaded (both lists
//    refilled and drawn, sync check), as after every session or basket click;
//    and the same with every row of the basket selected.
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise; the work area and the
// settings live in a temporary folder that is removed at the end.
#include <QApplication>
#include <QSettings>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/ControlPanelBar.h"
#include "app/ListViews.h"
#include "app/StartupBannerDlg.h"
#include "app/MainFrame.h"
#include "app/QuorvellianApp.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "LargeSessionArea.h"
#include "UiBench.h"

namespace {

void WaitExposed(QWidget* w) {
    const auto t0 = Clock::now();
    while (!(w->windowHandle() && w->windowHandle()->isExposed()) && MsSince(t0) < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    QApplication::processEvents();
}

struct Stats {
    double min = 0, median = 0, max = 0;
};
Stats Summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    Stats s;
    if (v.empty()) return s;
    s.min = v.front();
    s.max = v.back();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    return s;
}
void Report(const char* what, const std::vector<double>& v) {
    const Stats s = Summarise(v);
    std::printf("%-34s min %8.1f ms   median %8.1f ms   max %8.1f ms   (%zu runs)\n", what, s.min,
                s.median, s.max, v.size());
}

}  // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const std::string tmp = PrepareBenchFolder("/tmp/qvl-uibench-XXXXXX");
    if (tmp.empty()) return 1;
    const std::string files = tmp + "/files/";

    QApplication app(argc, argv);
    UseBenchSettings(tmp);
    QuietTrace quiet;
    // Questions outside the application object get recorded answers; the work
    // area is written so that its start asks none.
    RecordingPrompter answers;
    SetPrompter(&answers);
    SetTraceSink(&quiet);
    CreateWorkAreaFolders();

    auto t = Clock::now();
    MakeLocalFiles(files, items);
    const double makeFiles = MsSince(t);
    t = Clock::now();
    WriteWorkArea(files, items, true);
    const double writeArea = MsSince(t);
    std::printf("work area: %d items in one basket (%.0f ms to make the files, %.0f ms to save)\n", items,
                makeFiles, writeArea);

    // ---- start-up to the window shown, the large session current
    std::vector<double> startup;
    for (int r = 0; r < reps; ++r) {
        const auto t0 = Clock::now();
        {
            CQuorvellianApp theApp;
            if (!theApp.InitInstance()) return 1;
            WaitExposed(theApp.MainFrame());
            startup.push_back(MsSince(t0));
            if (theApp.MainFrame()->FileList()->topLevelItemCount() != items) {
                std::fprintf(stderr, "the large basket shows %d rows\n",
                             theApp.MainFrame()->FileList()->topLevelItemCount());
                return 1;
            }
            theApp.MainFrame()->Banner()->Close();
            // Leaves without the closing save: the work area stays as written.
        }
        SetPrompter(&answers);
        SetTraceSink(&quiet);
    }

    // ---- showing the large session, first and again
    WriteWorkArea(files, items, false);
    std::vector<double> firstShow, show, showSelected;
    for (int r = 0; r < reps; ++r) {
        CMainFrame frame;
        frame.Banner()->Close();
        frame.show();
        WaitExposed(&frame);
        SetTraceSink(&quiet);
        auto t0 = Clock::now();
        frame.PanelPresenter().OnSessionClick(TreeRef::Leaf(0, 1));
        QApplication::processEvents();
        firstShow.push_back(MsSince(t0));
        if (frame.FileList()->topLevelItemCount() != items) {
            std::fprintf(stderr, "the large session shows %d rows\n", frame.FileList()->topLevelItemCount());
            return 1;
        }
        for (int k = 0; k < 3; ++k) {
            frame.PanelPresenter().OnSessionClick(TreeRef::Leaf(0, 0));
            QApplication::processEvents();
            t0 = Clock::now();
            frame.PanelPresenter().OnSessionClick(TreeRef::Leaf(0, 1));
            QApplication::processEvents();
            show.push_back(MsSince(t0));
        }
        // Every row selected, then the session shown again: the list draws
        // all its selected rows.
        frame.ExecuteCommand(32524);
        QApplication::processEvents();
        t0 = Clock::now();
        frame.PanelPresenter().OnSessionClick(TreeRef::Leaf(0, 0));
        frame.PanelPresenter().OnSessionClick(TreeRef::Leaf(0, 1));
        QApplication::processEvents();
        showSelected.push_back(MsSince(t0));
    }
    SetTraceSink(nullptr);
    SetPrompter(nullptr);

    Report("start-up to window shown", startup);
    Report("first show of the session", firstShow);
    Report("showing the session (loaded)", show);
    Report("showing it with every row selected", showSelected);

    std::error_code ec;
    std::filesystem::remove_all(tmp, ec);
    return 0;
}
