// diffwin-uibench [lines]: a two-file diff window on two files of a million
// lines (by default) with one line in a thousand changed.
//
//  - engine: reading and comparing the files into the result (the build the
//    two-file command runs);
//  - window: the result handed to the diff window, shown and its first rows
//    painted (what the window adds to the engine's time);
//  - scrolling: a page down in the left pane, the right pane following, and
//    both repainted; the longest and the mean of 200 steps;
//  - the process's peak memory (its highest resident size).
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {
// The highest resident size of the process so far, in MiB (0 when unknown).
long PeakMiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kb = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kb;
            break;
        }
    }
    return kb / 1024;
}
}  // namespace

#include "model/DiffResult.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/FileDiffDlg.h"
#include "model/ProgramData.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const long lines = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qvl-diffwin-bench";
    std::filesystem::create_directories(dir);
    const std::string left = dir / "left.txt", right = dir / "right.txt";
    {
        std::ofstream a(left), b(right);
        for (long i = 0; i < lines; ++i) {
            const std::string line = "line " + std::to_string(i) + " of the benchmark text\n";
            a << line;
            b << (i % 1000 == 500 ? "changed " + std::to_string(i) + "\n" : line);
        }
    }
    CProgramData data;
    CFileDiffDlg window;
    window.SetDiffMode(&data, kDiffWindowFiles);
    window.resize(1000, 700);

    QElapsedTimer t;
    t.start();
    CDiffResultSet& set = data.m_DiffResults;
    set.PrepareTwoFileDiff({left, right});
    if (!set.m_FilesResult.BuildFilesDiff()) {
        std::fprintf(stderr, "the diff failed\n");
        return 1;
    }
    const double engine = t.nsecsElapsed() / 1e6;
    t.restart();
    window.LoadDiffResult(&set.m_FilesResult);
    window.show();
    window.repaint();
    QApplication::processEvents();
    const double shown = t.nsecsElapsed() / 1e6;

    double worst = 0, total = 0;
    const int steps = 200;
    CDiffListCtrl* pane = window.Pane(0);
    for (int i = 0; i < steps; ++i) {
        t.restart();
        pane->verticalScrollBar()->setValue(pane->TopRow() + pane->RowsPerPage() * 25);
        window.repaint();
        QApplication::processEvents();
        const double ms = t.nsecsElapsed() / 1e6;
        worst = std::max(worst, ms);
        total += ms;
    }
    const int leftTop = pane->TopRow(), rightTop = window.Pane(1)->TopRow();
    window.SelectRow(0, -1);
    window.SelectRow(1, -1);
    t.restart();
    window.NextDifference();
    window.repaint();
    const double next = t.nsecsElapsed() / 1e6;
    std::printf("rows %d\nengine %.1f ms\nwindow (load, show, first paint) %.1f ms\n"
                "scroll step: mean %.2f ms, worst %.2f ms (left pane at row %d, right pane at row %d)\n"
                "next difference %.2f ms\npeak memory %ld MiB\n",
                window.RowCount(), engine, shown, total / steps, worst, leftTop, rightTop, next, PeakMiB());
    std::filesystem::remove_all(dir);
    return 0;
}
