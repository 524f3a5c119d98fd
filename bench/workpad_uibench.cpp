// workpad-uibench [megabytes]: a WorkPad conversion of a big Input text (10 MB
// by default) against the engine alone on the same text, for a plain and a
// wild macro.
//
//  - engine: the macro applied to the CR LF text (the worker's part);
//  - read: the Input window's text taken for the run (GUI thread);
//  - write: the result put into the Output window with setPlainText on the
//    GUI thread (what the run avoids: it lays the text out on the worker);
//  - WorkPad run: Convert pressed until the end line, through the window;
//    the Output window then shows the first lines of the result;
//  - Output box filled: until the box holds the whole result (the rest goes
//    in by short steps on the GUI thread), with the longest time the GUI
//    thread did not get to a 5 ms timer.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/TextRichEdit.h"
#include "app/TextRules.h"
#include "app/TextWindows.h"
#include "convert/ConversionRun.h"
#include "convert_ui/WorkPadRun.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "convert_ui/ui/InteractiveWorker.h"
#include "model/Globals.h"
#include "model/ProgramData.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const std::size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;
    std::string lf;
    while (lf.size() < (mb << 20)) lf += "alpha beta gamma delta 0123456789 epsilon\n";
    std::string crlf;
    for (char c : lf) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    CProgramData data;
    data.m_LibraryList.Append(CLibrary());
    g_nLibIndex = 0;
    CInteractiveWorker worker;
    CInteractiveTextConversionDlg pad(worker);
    pad.SetProgramData(&data);
    pad.show();  // the boxes paint as they fill, as in the program
    pad.Input()->SetWindowTextFromString(crlf);
    std::printf("text: %zu bytes, %zu lines\n", crlf.size(), crlf.size() / 44);
    bool allSame = true;
    // A plain macro and a wild one (a wild-card between two literal pieces).
    for (const CMacro& macro : {CMacro("beta", "BETA"), CMacro("a*a", "x", 1, 1, 1, 0, 0, 0, 0, 1)}) {
        QElapsedTimer t;
        t.start();
        WorkPadSnapshot snap = TakeWorkPadSnapshot(data.m_LibraryList, macro, 0, 0);
        std::string out, marker;
        RunWorkPadConversion(snap, crlf, out, marker, nullptr);
        const double engine = t.nsecsElapsed() / 1e6;

        t.restart();
        const std::string read = pad.Input()->GetText();
        const double readMs = t.nsecsElapsed() / 1e6;
        t.restart();
        pad.Output()->SetWindowTextFromString(out);
        const double writeMs = t.nsecsElapsed() / 1e6;
        pad.Output()->SetWindowTextFromString("");

        CurrentMacro = macro;
        double stall = 0;
        QElapsedTimer gap;
        QTimer probe;
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            stall = std::max(stall, gap.nsecsElapsed() / 1e6);
            gap.restart();
        });
        probe.start();
        t.restart();
        gap.start();
        pad.Convert();
        worker.WaitIdle(600000);
        QCoreApplication::processEvents();
        const double run = t.nsecsElapsed() / 1e6;
        // The Output window shows the first lines now; the rest goes in step by step.
        while (pad.Output()->IsFilling()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const double filled = t.nsecsElapsed() / 1e6;
        probe.stop();
        const bool same = pad.Output()->GetText() == out && pad.Output()->toPlainText().size() ==
                                                                  QString::fromUtf8(FromCrLf(out).c_str()).size();
        allSame = allSame && same;

        std::printf("macro %s -> %s\n", macro.Find.c_str(), macro.Replace.c_str());
        std::printf("  engine alone        %8.1f ms\n", engine);
        std::printf("  read Input window   %8.1f ms (GUI thread)\n", readMs);
        std::printf("  write Output window %8.1f ms (setPlainText on the GUI thread, for comparison)\n", writeMs);
        std::printf("  WorkPad run         %8.1f ms to the end line, result shown\n", run);
        std::printf("  Output box filled   %8.1f ms after the press, longest GUI stall %.1f ms%s\n", filled,
                    stall, same ? "" : "  OUTPUT DIFFERS");
    }
    SetTextWindows(nullptr, nullptr);
    return allSame ? 0 : 1;
}
