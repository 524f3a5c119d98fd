// diffwin-uibench [lines] [--three] [--ignore] [--dir DIR] [--dump FILE]:
// a diff window on files of a million lines (by default).
//
// Two files (the default): the second has one line in a thousand changed.
// --three: the three-file window; the base has the lines, the left file has
// one line in a thousand changed and one in a thousand deleted, the right
// file one in a thousand changed and one in a thousand with a line inserted
// after it (at other places than the left file's).
// --ignore: "ignore case" and "ignore text" on with an empty ignore list,
// as when their keys are missing from the master file.
// --dir DIR: the files are written there (named left.txt, right.txt and,
// for --three, base.txt) and kept, so that another program can compare
// them; files already there are used as they are.
// --dump FILE: the rows of every pane are written to FILE (marker, line
// number, group and text of each), to compare two builds.
//
//  - engine: reading and comparing the files into the result (the build the
//    diff command runs);
//  - window: the result handed to the diff window, shown and its first rows
//    painted (what the window adds to the engine's time);
//  - scrolling: a page down in the left pane, the other panes following,
//    and all repainted; the longest and the mean of 200 steps;
//  - the process's peak memory (its highest resident size).
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

void MakeTwoFiles(const std::string& left, const std::string& right, long lines) {
    std::ofstream a(left), b(right);
    for (long i = 0; i < lines; ++i) {
        const std::string line = "line " + std::to_string(i) + " of the benchmark text\n";
        a << line;
        b << (i % 1000 == 500 ? "changed " + std::to_string(i) + "\n" : line);
    }
}

void MakeThreeFiles(const std::string& base, const std::string& left, const std::string& right,
                    long lines) {
    std::ofstream m(base), a(left), b(right);
    for (long i = 0; i < lines; ++i) {
        const std::string line = "line " + std::to_string(i) + " of the benchmark text\n";
        m << line;
        if (i % 1000 == 500)
            a << "changed " << i << " on the left\n";
        else if (i % 1000 != 700)
            a << line;
        b << (i % 1000 == 250 ? "changed " + std::to_string(i) + " on the right\n" : line);
        if (i % 1000 == 900) b << "inserted after " << i << "\n";
    }
}
}  // namespace

#include "compare/DiffBuilder.h"
#include "model/DiffResult.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/FileDiffDlg.h"
#include "model/Globals.h"
#include "model/ProgramData.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    long lines = 1000000;
    bool three = false, ignore = false;
    std::string dirArg, dumpPath;
    for (int k = 1; k < argc; ++k) {
        if (!std::strcmp(argv[k], "--three")) three = true;
        else if (!std::strcmp(argv[k], "--ignore")) ignore = true;
        else if (!std::strcmp(argv[k], "--dir") && k + 1 < argc) dirArg = argv[++k];
        else if (!std::strcmp(argv[k], "--dump") && k + 1 < argc) dumpPath = argv[++k];
        else lines = std::strtol(argv[k], nullptr, 10);
    }
    const std::filesystem::path dir =
        dirArg.empty() ? std::filesystem::temp_directory_path() / "qvl-diffwin-bench" : std::filesystem::path(dirArg);
    std::filesystem::create_directories(dir);
    const std::string left = dir / "left.txt", right = dir / "right.txt", base = dir / "base.txt";
    const bool made = std::filesystem::exists(left) && std::filesystem::exists(right) &&
                      (!three || std::filesystem::exists(base));
    if (dirArg.empty() || !made) {
        if (three) MakeThreeFiles(base, left, right, lines);
        else MakeTwoFiles(left, right, lines);
    }
    g_bDiffIgnoreCase = ignore;
    g_bDiffIgnoreIdent = ignore;

    CProgramData data;
    CFileDiffDlg window;
    const int mode = three ? kDiffWindowThreeWay : kDiffWindowFiles;
    window.SetDiffMode(&data, mode);
    window.resize(1000, 700);

    QElapsedTimer t;
    t.start();
    CDiffResultSet& set = data.m_DiffResults;
    CDiffResult& result = three ? set.m_ThreeWayResult : set.m_FilesResult;
    // The selection order of the three-file command: base, left, right.
    const bool built = three ? set.PrepareThreeWayDiff({base, left, right}) && Build3WayDiff(result)
                             : set.PrepareTwoFileDiff({left, right}) && BuildFilesDiff(result);
    if (!built) {
        std::fprintf(stderr, "the diff failed\n");
        return 1;
    }
    const double engine = t.nsecsElapsed() / 1e6;
    t.restart();
    window.LoadDiffResult(&result);
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
    for (int p = 0; p < window.PaneCount(); ++p) window.SelectRow(p, -1);
    t.restart();
    window.NextDifference();
    window.repaint();
    const double next = t.nsecsElapsed() / 1e6;
    const long peak = PeakMiB();
    if (!dumpPath.empty()) {
        std::ofstream out(dumpPath, std::ios::binary);
        const std::vector<CDiffRow>* panes[] = {&result.leftRows, &result.middleRows, &result.rightRows};
        for (const std::vector<CDiffRow>* rows : panes) {
            out << "pane " << rows->size() << "\n";
            for (const CDiffRow& r : *rows)
                out << r.marker << ' ' << r.lineNo << ' ' << r.group << ' ' << r.Text() << '\n';
        }
    }
    std::printf("rows %d\nengine %.1f ms\nwindow (load, show, first paint) %.1f ms\nopen %.1f ms\n"
                "scroll step: mean %.2f ms, worst %.2f ms (left pane at row %d, right pane at row %d)\n"
                "next difference %.2f ms\npeak memory %ld MiB\n",
                window.RowCount(), engine, shown, engine + shown, total / steps, worst, leftTop, rightTop,
                next, peak);
    if (dirArg.empty()) std::filesystem::remove_all(dir);
    return 0;
}
