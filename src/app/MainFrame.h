// The main window: status bar, the toolbars "Main", "Session", "FTP",
// "FTP Advanced" and "Manage Text Buffer", the docking bars "Message Window"
// and "Control panel", the two-row splitter of the basket list over the
// file-item list, and the one-second timer 1105. It owns the run's program
// data; its rules live in CMainPresenter and CControlPanelPresenter.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/ControlPanelPresenter.h"
#include "widgets/DialogPlacement.h"
#include "app/MainPresenter.h"
#include "model/ProgramData.h"
#include "settings/AcceleratorManager.h"

class QAction;
class QMenu;
class QShortcut;
class QSplitter;
class QToolBar;
class QTreeWidget;
class CPaneControlStatusBar;
class CMessageWindowBar;
class CControlPanelBar;
class CQuorvellianViewTop;
class CQuorvellianViewBot;
class CStatusTimeEdit;
class CStatusProgressCtrl;
class CStartupBannerDlg;
class CFtpCommands;
class CTimerWork;
class CItemCommands;
class CFileCommands;
class CAddFilesCommands;
class CConversionCommands;
class CFileListCommands;
class CRemoteCommands;
class CCompareCommands;
class CSettingsCommands;

// The layout values computed once from the screen's work area (W x H).
struct FrameLayout {
    int W = 1024;
    int H = 738;
    int frameWidth = 550;
    int panelCx = 250;
    int panelCy = 400;
    int basketRowHeight = 150;
    int viewWidth = 300;  // g_nViewWidth
};
extern int g_nViewWidth;
extern CProgramData* g_pProgramData;

// An error that ended a command or an event of the window: named in the
// Message Window and in a box; the program goes on.
void ReportCommandError(const std::string& what);

class CMainFrame : public QMainWindow, public IAcceleratorTarget, public IMainView {
    Q_OBJECT
public:
    // Builds the window; with load the first data load runs at once.
    explicit CMainFrame(QWidget* parent = nullptr, bool load = true);
    ~CMainFrame() override;

    CProgramData& Data() { return m_data; }
    CMainPresenter& Presenter() { return m_presenter; }
    CControlPanelPresenter& PanelPresenter() { return m_panelPresenter; }
    CControlPanelBar& ControlPanel() { return *m_controlPanel; }
    CMessageWindowBar& MessageWindow() { return *m_messageWindow; }
    CQuorvellianViewTop* BasketList() const { return m_top; }
    CQuorvellianViewBot* FileList() const { return m_bot; }
    CPaneControlStatusBar* StatusBar() const { return m_statusBar; }
    CStartupBannerDlg* Banner() const { return m_banner.get(); }
    QTimer& Timer() { return m_timer; }
    const FrameLayout& Layout() const { return m_layout; }
    // The font the program's dialogs use for their labels: 8-point "Microsoft
    // Sans Serif", or the nearest sans-serif face installed.
    static QFont LabelFont();

    // The command groups of the window (each wires its own commands).
    CFtpCommands& FtpCommands() { return *m_ftpCommands; }
    CTimerWork& TimerWork() { return *m_timerWork; }
    CItemCommands& ItemCommands() { return *m_itemCommands; }
    CFileCommands& FileCommands() { return *m_fileCommands; }
    CAddFilesCommands& AddFilesCommands() { return *m_addFilesCommands; }
    CConversionCommands& ConversionCommands() { return *m_conversionCommands; }
    CFileListCommands& FileListCommands() { return *m_fileListCommands; }
    CRemoteCommands& RemoteCommands() { return *m_remoteCommands; }
    CCompareCommands& CompareCommands() { return *m_compareCommands; }
    CSettingsCommands& SettingsCommands() { return *m_settingsCommands; }

    void InitialLoad();

    // ---- commands
    void ExecuteCommand(int id);
    bool IsCommandEnabled(int id) const;
    // Gives a command its handler; the command's menu item and button become enabled.
    void SetCommandHandler(int id, std::function<void()> handler);
    // The menu text of a command that the keyboard table does not name.
    void SetCommandText(int id, const QString& text);
    QAction* Action(int id) const;
    // Every command id the window knows, ascending.
    std::vector<int> CommandIds() const;
    // The key sequences the accelerator table bound to a command.
    QList<QKeySequence> ShortcutsOf(int id) const;

    void ShowListContextMenu(QWidget* list, const QPoint& global);
    // Shows " " + the program-wide status text in the status bar's time pane.
    void UpdateIntrIndicator();
    // Fills the context menu of the basket list (128), the file-item list
    // (130) or the Message Window (155), or adds the text tools to the menu of
    // the Input (153) or Output (156) window; false for any other window.
    bool BuildListContextMenu(QWidget* list, QMenu& menu);
    // The selected rows of a list, ascending.
    std::vector<int> GetSelectedListRows(QTreeWidget* list) const;
    // The LocalDir shared by every selected item of the current basket; empty
    // when they differ or nothing is selected.
    std::string GetCommonLocalDir() const;
    void ShowTextBufferBar(bool show);
    void SetStatusText(const std::string& text);
    QToolBar* ToolBar(int id) const;

    // A program-wide modeless dialog kept beside the window: while its shown
    // flag is set it follows the frame's moves, otherwise it goes to its
    // home position when it is next shown. Every one is kept on the screen.
    // A dialog with a place of its own for its first showing gets it from
    // firstPlace instead of its home.
    void RegisterModelessDialog(QWidget* dialog, HomeSlot slot, const bool* shown,
                                std::function<void()> firstPlace = {});
    // Moves the registered dialogs after the frame moved.
    void FollowFrame();
    void FitFrameOnScreen();

    // Closes the window as a close does, for a logout, a shutdown or a
    // signal: the data is saved, nothing is asked and no message waits for
    // an answer. Does nothing once the window has closed.
    void CloseWithoutQuestions();

    // IAcceleratorTarget
    bool SetAcceleratorTable(const std::vector<AccelEntry>& table) override;

    // IMainView
    void BasketRowsChanged() override;
    void BasketRowChanged(int row) override;
    void FileRowsChanged() override;
    void FileRowChanged(int row) override;
    void StatusTextChanged() override;
    void TreesChanged() override;

    // Where the bar layout and sizes are kept.
    static std::string BarStateKey();
    void SaveBarState();
    void LoadBarState();

    // Sort Properties dialog of the basket sort command; the command is
    // disabled while it is missing.
    static std::function<bool()> s_sortPropertiesDialog;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void ComputeLayout();
    bool CreateBars();
    bool CreateStatusControls();
    void BuildCommands();
    void BuildMenus();
    // The menu texts with their underlined letters and first keys.
    void UpdateMenuTexts();
    QToolBar* MakeToolBar(const QString& title, int id, const std::vector<int>& commands);
    void WireHandlers();
    void OnTimerTick();
    void ToggleBar(QWidget* bar);
    void InstallWorkerHooks();
    void MoveItemsToBasket();
    // The Input window's lines crossed with the Output window's, in the Message Window.
    void CrossInputOutputText();

    CProgramData m_data;
    CMainPresenter m_presenter;
    CControlPanelPresenter m_panelPresenter;
    FrameLayout m_layout;

    CPaneControlStatusBar* m_statusBar = nullptr;
    CStatusTimeEdit* m_timeEdit = nullptr;
    CStatusProgressCtrl* m_progress = nullptr;
    std::map<int, QToolBar*> m_toolBars;
    CMessageWindowBar* m_messageWindow = nullptr;
    CControlPanelBar* m_controlPanel = nullptr;
    QSplitter* m_splitter = nullptr;
    CQuorvellianViewTop* m_top = nullptr;
    CQuorvellianViewBot* m_bot = nullptr;
    std::unique_ptr<CStartupBannerDlg> m_banner;
    std::unique_ptr<CFtpCommands> m_ftpCommands;
    std::unique_ptr<CTimerWork> m_timerWork;
    std::unique_ptr<CItemCommands> m_itemCommands;
    std::unique_ptr<CFileCommands> m_fileCommands;
    std::unique_ptr<CAddFilesCommands> m_addFilesCommands;
    std::unique_ptr<CConversionCommands> m_conversionCommands;
    std::unique_ptr<CFileListCommands> m_fileListCommands;
    std::unique_ptr<CRemoteCommands> m_remoteCommands;
    std::unique_ptr<CCompareCommands> m_compareCommands;
    std::unique_ptr<CSettingsCommands> m_settingsCommands;
    QTimer m_timer;
    int m_tick = 0;

    struct Command {
        QAction* action = nullptr;
        QString name;      // "Application: 1. About"
        QString menuText;  // "About"
        std::function<void()> handler;
    };
    std::map<int, Command> m_commands;
    std::vector<QShortcut*> m_shortcuts;
    QShortcut* m_menuKey = nullptr;  // F10 to the menu bar, while the key table leaves it free
    std::map<int, QList<QKeySequence>> m_keys;
    bool m_closing = false;
    bool m_closed = false;        // the close went through
    bool m_noQuestions = false;   // a close that asks nothing
    struct Modeless {
        QWidget* dialog;
        HomeSlot slot;
        const bool* shown;
        bool home = true;  // goes to its home position when next shown
        std::function<void()> firstPlace;  // its own place when first shown
    };
    // Puts a registered dialog at its home position, with the size it shows with.
    void PlaceAtHome(Modeless& m, const PlaceRect& F);
    PlaceRect Anchor() const;
    std::vector<Modeless> m_modeless;
    PlaceRect m_prevAnchor{0, 0, 0, 0};
    bool m_anchorSet = false;
};
