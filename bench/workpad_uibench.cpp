// workpad-uibench [megabytes] [runs]: a WorkPad conversion of a big Input
// text (10 MB by default) against the engine alone on the same text, for a
// plain and a wild macro, each run several times (5 by default; medians).
//
//  - engine: the macro applied to the CR LF text on a thread (the worker's part);
//  - read: the Input window's text taken for the run (GUI thread);
//  - take: a finished result moved into the Output box (its lines indexed);
//  - WorkPad run: Convert pressed until the end line, through the window;
//    the Output box then holds every line of the result;
//  - first paint: the Output box painting its first screen after that;
//  - stall: the longest time the GUI thread did not get to a 5 ms timer
//    between the press and the first paint.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "widgets/LineTextBox.h"
#include "widgets/TextRules.h"
#include "widgets/TextWindows.h"
#include "convert/ConversionRun.h"
#include "convert_ui/WorkPadRun.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "convert_ui/ui/InteractiveWorker.h"
#include "model/Globals.h"
#include "model/ProgramData.h"

namespace {
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}
double Ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const std::size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string lf;
    while (lf.size() < (mb << 20)) lf += "alpha beta gamma delta 0123456789 epsilon\n";
    const std::string crlf = ToCrLf(lf);
    CProgramData data;
    data.m_LibraryList.Append(CLibrary());
    g_nLibIndex = 0;
    CInteractiveWorker worker;
    CInteractiveTextConversionDlg pad(worker);
    pad.SetProgramData(&data);
    pad.show();  // the boxes paint, as in the program
    pad.Input()->SetWindowTextFromString(crlf);
    pad.Input()->viewport()->repaint();
    std::printf("text: %zu bytes, %d lines, %d runs each (medians; single runs in brackets)\n", crlf.size(),
                pad.Input()->LineCount(), runs);
    bool allSame = true;
    // A plain macro and a wild one (a wild-card between two literal pieces).
    for (const CMacro& macro : {CMacro("beta", "BETA"), CMacro("a*a", "x", 1, 1, 1, 0, 0, 0, 0, 1)}) {
        std::vector<double> engine, read, take, press, run, paint, stall;
        for (int r = 0; r < runs; ++r) {
            // The engine on a thread of its own, as the WorkPad runs it (the
            // window thread's heap is another one and times differently).
            QElapsedTimer t;
            t.start();
            std::string out;
            std::thread([&] {
                WorkPadSnapshot snap = TakeWorkPadSnapshot(data.m_LibraryList, macro, 0, 0);
                std::string marker;
                RunWorkPadConversion(snap, crlf, out, marker, nullptr);
            }).join();
            engine.push_back(Ms(t));

            t.restart();
            const std::string text = pad.Input()->GetText();
            read.push_back(Ms(t));
            std::string copy = out;
            t.restart();
            pad.Output()->TakeText(std::move(copy));
            take.push_back(Ms(t));
            pad.Output()->SetWindowTextFromString("");

            CurrentMacro = macro;
            double longest = 0;
            QElapsedTimer gap;
            QTimer probe;
            probe.setInterval(5);
            QObject::connect(&probe, &QTimer::timeout, [&] {
                longest = std::max(longest, Ms(gap));
                gap.restart();
            });
            probe.start();
            t.restart();
            gap.start();
            pad.Convert();
            press.push_back(Ms(t));
            worker.WaitIdle(600000);
            QCoreApplication::processEvents();
            run.push_back(Ms(t));
            QElapsedTimer p;
            p.start();
            pad.Output()->viewport()->repaint();
            paint.push_back(Ms(p));
            longest = std::max(longest, Ms(gap));
            probe.stop();
            stall.push_back(longest);
            allSame = allSame && pad.Output()->GetText() == out &&
                      pad.Output()->LineCount() == int(std::count(out.begin(), out.end(), '\n')) + 1;
        }
        auto row = [&](const char* what, const std::vector<double>& v, const char* note) {
            std::printf("  %-26s %8.1f ms [", what, Median(v));
            for (std::size_t i = 0; i < v.size(); ++i) std::printf(i ? " %.1f" : "%.1f", v[i]);
            std::printf("]%s\n", note);
        };
        std::printf("macro %s -> %s\n", macro.Find.c_str(), macro.Replace.c_str());
        row("engine alone", engine, "");
        row("read Input window", read, " (GUI thread)");
        row("take a result", take, " (GUI thread: moved in, lines indexed)");
        row("Convert pressed", press, " (GUI thread: Input read, worker started)");
        row("WorkPad run", run, " press to end line, box holds all lines");
        row("first paint of Output", paint, "");
        row("longest GUI stall", stall, "");
        std::vector<double> added;
        for (std::size_t i = 0; i < run.size(); ++i) added.push_back(run[i] + paint[i] - engine[i]);
        row("added to the engine", added, " (run + first paint - engine)");
    }
    SetTextWindows(nullptr, nullptr);
    if (!allSame) std::printf("OUTPUT DIFFERS\n");
    return allSame ? 0 : 1;
}
