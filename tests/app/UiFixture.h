// A work area and a settings folder in a temporary folder for the window
// tests, a recording prompter, a trace recorder, and a sample work area of
// two sessions with a dozen file items.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QSettings>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "model/Account.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

// The libraries become one library of one macro (find, replace), the
// current one.
inline void UseOneMacroLibrary(CLibraryList& libs, const std::string& name, const std::string& find,
                               const std::string& replace) {
    libs.Clear();
    CLibrary lib(name);
    lib.MacroList.emplace_back(find, replace);
    libs.Append(lib);
    g_nLibIndex = 0;
    libs.CurrentLibrary = 0;
}

// The entry `entry` of the submenu `submenu` of a pop-up menu, or nullptr.
inline QAction* SubmenuAction(const QMenu& popup, const QString& submenu, const QString& entry) {
    for (QAction* a : popup.actions())
        if (a->menu() && a->text() == submenu)
            for (QAction* b : a->menu()->actions())
                if (b->text() == entry) return b;
    return nullptr;
}

// The user's hand on Return at every message box that comes up, whatever
// has the box's focus (so a box whose default is No gets No): each box's
// text goes to boxes. The hand moves once the timer is started.
inline void AnswerEveryBoxWithEnter(QTimer& hand, std::vector<std::string>& boxes) {
    QObject::connect(&hand, &QTimer::timeout, [&boxes] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        boxes.push_back(box->text().toStdString());
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
    });
}

class UiTraceRecorder : public ITraceSink {
public:
    void AppendLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(m);
        lines.push_back(line);
    }
    bool Has(const std::string& text) const {
        for (const auto& l : lines)
            if (l == text) return true;
        return false;
    }
    std::vector<std::string> lines;
    std::mutex m;
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = std::make_unique<ScopedEnv>("QVL_ROOT", (tmp / "area").c_str());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(tmp / "settings"));
        QCoreApplication::setOrganizationName("QuorvellianToolbars-1.0.735.0");
        QCoreApplication::setApplicationName("Quorvellian");
        ResetProgramOptions();
        ResetWorkerFlags();
        g_CurrentAccount = CHost();
        oldPrompter = SetPrompter(&prompter);
        CreateWorkAreaFolders();
        oldSink = SetTraceSink(&trace);
    }
    void TearDown() override {
        SetTraceSink(oldSink);
        SetPrompter(oldPrompter);
        ResetWorkerFlags();
        ResetProgramOptions();
    }

    std::string Area() const { return tmp / "area"; }
    std::string Files() const { return tmp / "files"; }

    // Writes a file with a fixed last-write time (seconds since the epoch).
    static void Touch(const std::string& path, const std::string& text, std::time_t when) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteFile(path, text);
        // Exactly that second: reading two clocks could straddle a second.
        const timespec times[2] = {{when, 0}, {when, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }

    // A project "Demo" with the sessions "Web site" (baskets "Pages" with
    // eight items and "Scripts" with two) and "Build" (one basket, two
    // items), local files under Files(), and a cluster with two accounts.
    // Saved as the work area's master file.
    void MakeSampleArea() {
        CProgramData d;
        d.InsertProject("Demo", 0);
        d.InsertSession("Web site", 0, 0);
        d.InsertSession("Build", 0, 1);
        for (int s = 0; s < 2; ++s) {
            CSession* se = d.GetSessionPtr(0, s);
            se->IsLoaded = true;
            se->Host = "www.example.com";
            se->User = "alice";
            se->LocalDir = Files() + "/";
            se->RemoteDir = "/var/www/";
        }
        d.InsertBasket("Pages", 0, 0, 0);
        d.InsertBasket("Scripts", 0, 0, 1);
        d.InsertBasket("Make", 0, 1, 0);
        const std::time_t t0 = 1600000000;
        const char* pages[] = {"index.html", "about.txt", "main.c", "util.h",
                               "App.java", "deploy.com", "logo.bin", "notes.txt"};
        for (int i = 0; i < 8; ++i) {
            CFileItem it(pages[i]);
            it.FileType = "local";
            it.LocalDir = Files() + "/";
            it.RemoteDir = "/var/www/";
            it.RemHost = i == 3 ? "10.0.0.7" : "www.example.com";
            it.RemUser = "alice";
            it.IsFTPed = "Yes";
            it.IsPinned = i == 6 ? "IsPinned3" : "No";
            it.LocalModTime = t0;
            it.RemoteModTime = t0;
            Touch(it.LocalDir + it.FileName, "text\n", t0);
            d.InsertFileItems(0, 0, 0, i, it);
        }
        for (const char* n : {"build.sh", "clean.sh"}) {
            CFileItem it(n);
            it.FileType = "local";
            it.LocalDir = Files() + "/";
            it.RemHost = "ci.example.com";
            it.IsFTPed = "No";
            it.IsBatFile = true;
            Touch(it.LocalDir + n, "#!/bin/sh\n", t0);
            it.LocalModTime = t0;
            d.InsertFileItems(0, 0, 1, 0, it);
        }
        for (const char* n : {"Makefile", "config.h"}) {
            CFileItem it(n);
            it.FileType = "remote";
            it.LocalDir = Files() + "/build/";
            it.RemHost = "build.example.com";
            it.IsFTPed = "No";
            d.InsertFileItems(0, 1, 0, 0, it);
        }
        d.AddCluster("Lab", 0);
        d.AddHost("www.example.com", "alice", "secret", 0, 0);
        d.AddHost("10.0.0.7", "root", "pw", 0, 1);
        d.SetCurProject(0);
        d.SetCurSession(0, 0);
        d.SetCurrentBasket(0, 0, 0);
        ASSERT_TRUE(d.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    }

    TempDir tmp;
    std::unique_ptr<ScopedEnv> root;
    RecordingPrompter prompter;
    UiTraceRecorder trace;
    IPrompter* oldPrompter = nullptr;
    ITraceSink* oldSink = nullptr;
};
