// The settings commands of the main window: the Program Options dialog, the Accel Editor, the manual and the update check.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

class CMainFrame;
class CAcceleratorManager;
class IRegistryStore;
class QDialog;
class QUrl;
class QWidget;

class CSettingsCommands {
public:
    explicit CSettingsCommands(CMainFrame& frame);
    ~CSettingsCommands();
    CSettingsCommands(const CSettingsCommands&) = delete;
    CSettingsCommands& operator=(const CSettingsCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

    // Options... (also the work-mode link, which opens the work-mode page).
    void OnOptions();
    // Map Keystrokes: the Accel Editor on a copy of the keyboard table; the
    // copy replaces the table only on OK.
    void MapKeystrokes(QWidget* parent);
    // Update Quorvellian: the Inline Update dialog; the window closes when
    // the updater has started.
    void OnUpdateProgram();
    // User Manual: the local HTML manual.
    void OnUserManual();

    // Where the manual is looked for, in order.
    static std::vector<std::string> ManualCandidates();

    // Runs a modal dialog (tests drive it without a blocking exec()).
    static std::function<int(QDialog&)> s_runModal;
    // Opens a local file in the desktop's viewer.
    static std::function<bool(const QUrl&)> s_openUrl;

private:
    // Opens a local page with the desktop's opener; says where the page is
    // when no browser takes it.
    void OpenInBrowser(const std::string& path);
    CAcceleratorManager& Accelerators();
    IRegistryStore* Registry();
    std::string AcceleratorPath();

    CMainFrame& m_frame;
    std::unique_ptr<CAcceleratorManager> m_ownAccel;  // a window without the application object
    std::function<void(int)> m_previousUsageHandler;
};
