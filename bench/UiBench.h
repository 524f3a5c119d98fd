// What the window benchmarks share: the clock, a trace sink that drops every
// line, and a temporary folder for the work area and the settings.
#pragma once

#include <QApplication>
#include <QSettings>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/Trace.h"

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Lines of the trace are not wanted on the terminal.
class QuietTrace : public ITraceSink {
public:
    void AppendLine(const std::string&) override {}
};

inline void DropQtChatter(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(msg));
}

// Before the application object: Qt's chatter off, offscreen unless
// QT_QPA_PLATFORM says otherwise, and a fresh temporary folder (named from
// the template, ending in XXXXXX) whose "area" is the work area. Empty when
// the folder cannot be made.
inline std::string PrepareBenchFolder(const char* pattern) {
    qInstallMessageHandler(DropQtChatter);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string tmpl = pattern;
    if (!::mkdtemp(tmpl.data())) return {};
    ::setenv("QVL_ROOT", (tmpl + "/area").c_str(), 1);
    return tmpl;
}

// After the application object: the settings go to INI files in the folder.
inline void UseBenchSettings(const std::string& tmp) {
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(tmp + "/settings"));
}
