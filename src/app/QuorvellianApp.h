// The application object: prepares the framework on the window road and
// opens the main window.
#pragma once

#include <QStringList>
#include <memory>
#include <string>

#include "platform/WorkAreaLock.h"
#include "settings/AcceleratorManager.h"
#include "settings/ui/QtRegistryStore.h"

class CMainFrame;
class QtPrompter;
class QApplication;
class QTemporaryDir;

// The recent-file list of the program's settings.
class CRecentFileList {
public:
    explicit CRecentFileList(int size) : m_size(size) {}
    void Load();
    void Save() const;
    void Add(const QString& path);
    int Size() const { return m_size; }
    const QStringList& Files() const { return m_files; }

private:
    int m_size;
    QStringList m_files;
};

class CQuorvellianApp {
public:
    CQuorvellianApp();
    ~CQuorvellianApp();
    // The application object of the run; null outside one.
    static CQuorvellianApp* Instance();

    // The window road's start on an existing QApplication: registry key,
    // recent files, work-area folders, main window shown. False ends the run.
    bool InitInstance();
    // Saves what the run keeps in the settings.
    void ExitInstance();

    CMainFrame* MainFrame() const { return m_mainFrame.get(); }
    // The run is to end: nothing waits for the user any more, and the boxes
    // and dialogs that are up are closed. True when one was closed.
    bool EndRequested();
    CRecentFileList& RecentFiles() { return m_recent; }
    CAcceleratorManager& Accelerators() { return m_accel; }
    CQtRegistryStore& Registry() { return m_store; }
    // The key path of the user's keystrokes; empty when loading them failed.
    const std::string& AcceleratorPath() const { return m_accelPath; }

private:
    std::unique_ptr<QtPrompter> m_prompter;
    CQtRegistryStore m_store;
    CAcceleratorManager m_accel;
    std::string m_accelPath;
    std::unique_ptr<CMainFrame> m_mainFrame;
    CRecentFileList m_recent{4};
    // Where this run's settings go when the settings file is not a regular file.
    std::unique_ptr<QTemporaryDir> m_spareSettings;
    // Held while the window works on the work area.
    CWorkAreaLock m_workAreaLock;
};

// The registry organisation: "QuorvellianToolbars-" + "1.0.735.0".
QString RegistryKey();

// Runs the window road from main(): QApplication, InitInstance, event loop.
int RunWindowRoad(int argc, char** argv);
