// The rules of the main window without any widget: what the "File Baskets"
// list and the file-item list show, the sync marks of the rows, the basket
// commands, the first load and the saves. The window renders the rows this
// object holds and forwards clicks, keys and commands to it.
#pragma once

#include <functional>
#include <string>
#include <vector>

class CProgramData;
class CControlPanelPresenter;

// One row of the file-item list.
struct FileRow {
    std::string text;  // FileName, or with the sync marks "*", "~", "<-"
    std::string host;  // short host name
    int image = 0;
    bool selected = false;
};

// One row of the "File Baskets" list.
struct BasketRow {
    std::string text;
    int image = 0;
};

// What the window is told after the presenter changed its rows.
class IMainView {
public:
    virtual ~IMainView() = default;
    virtual void BasketRowsChanged() {}
    virtual void BasketRowChanged(int row) {}
    virtual void FileRowsChanged() {}
    virtual void FileRowChanged(int row) {}
    virtual void StatusTextChanged() {}
    // Both trees of the Control panel were refilled or changed.
    virtual void TreesChanged() {}
};

// The refusal shown while an FTP worker runs.
extern const char* const kFtpBusyRefusal;

// The short host name of the lists (defined with the program data).
std::string GetShortHostName(const std::string& host);

class CMainPresenter {
public:
    explicit CMainPresenter(CProgramData& data);

    void SetView(IMainView* view) { m_view = view; }
    void SetControlPanel(CControlPanelPresenter* panel) { m_panel = panel; }
    CProgramData& Data() { return m_data; }

    // ---- rows the window shows
    const std::vector<BasketRow>& BasketRows() const { return m_baskets; }
    const std::vector<FileRow>& FileRows() const { return m_files; }
    int SelectedBasketRow() const { return m_selectedBasket; }
    const std::string& StatusText() const { return m_status; }
    void SetStatusText(const std::string& text);
    // The selection of the file-item list as the user left it.
    void SetFileSelection(const std::vector<int>& rows);
    std::vector<int> SelectedFileRows() const;
    // Rows changed in place after the model changed: a new row at an index,
    // one row redrawn, and the selected rows shown.
    void InsertFileRow(int row, const FileRow& r);
    void SetFileRow(int row, const FileRow& r);
    void ShowFileSelection(const std::vector<int>& rows);

    // ---- showing a session
    void ShowSession(int p, int s, int b);
    bool FillBasketList(int p, int s);
    void FillFileItemList(int p, int s, int b);
    static void CheckFileLimit(int count);
    void ClearLists();
    void RefreshMovedRows(int oldRow, int newRow);
    void FillAccountTrees(int p, int s, int c, int h);
    // Shows the current project and session in the trees.
    void ShowCurrentPosition();

    // ---- sync status
    void CheckSyncStatus();
    void UpdateBasketIcons();
    void ReportRemoteChanges(bool report, bool reportInSync);
    void RemoveRowsFromLocalChanges(const std::vector<int>& rows);
    void SetBlinkCounter(int n) { m_blink = n; }
    const std::vector<int>& LocalModifiedRows() const { return m_localModified; }
    const std::vector<int>& LocalMissingRows() const { return m_localMissing; }
    const std::vector<int>& LocalChangeList() const { return m_localChanges; }
    const std::vector<int>& RemoteChangeList() const { return m_remoteChanges; }
    const std::vector<int>& RemoteMissingRows() const { return m_remoteMissing; }
    int LocalChangesSent() const { return m_localSent; }
    int RemoteChangesFetched() const { return m_remoteFetched; }
    // A manual sync that went through, and the timer's take-over of results.
    void SetLocalChangesSent(int sent) { m_localSent = sent; }
    void SetRemoteChangesFetched(int fetched) { m_remoteFetched = fetched; }
    void ClearRemoteChangeList() { m_remoteChanges.clear(); }
    // The remote change list keeps only these rows.
    void KeepRemoteChanges(const std::vector<int>& rows) { m_remoteChanges = rows; }

    // ---- basket commands (row indices of the "File Baskets" list)
    void OnAddBasket();
    void OnRenameBasket(const std::vector<int>& selectedRows);
    void OnDeleteBasket(const std::vector<int>& selectedRows);
    // From the header click (with the guards and the confirmation) or from
    // the command after the sort dialog.
    void OnSortBaskets(bool fromHeaderClick);
    void OnMoveItemsToBasket(int targetBasket);
    void OnBasketClicked(const std::vector<int>& selectedRows);
    enum class BasketKey { SelectAll, Enter, Delete, Up, Down, Other };
    // True when the window should select every basket row (Ctrl+A).
    bool OnBasketListKey(BasketKey key, const std::vector<int>& selectedRows);

    // ---- load and save
    void InitialLoad();
    void LoadProgramData();
    // The master data file to the path and the library file; false when
    // either failed (each failure is reported by its writer).
    bool WriteMasterFile(const std::string& path);
    bool SaveProgramData();
    bool SaveUserInformation();
    // The data steps of closing: save, text buffer, "Closing...". When the
    // save fails, closeUnsaved decides; false means the close is called off.
    bool CloseSteps(const std::function<void()>& saveBarState,
                    const std::function<bool()>& closeUnsaved = {});
    static void LogMessage(const std::string& text);

    // True (and the refusal shown) while an FTP worker runs.
    static bool RefuseWhileFtp();

    // Work the first load hands to the other parts (sample library, text
    // buffer dump on close); installed by those parts.
    static std::function<void(CProgramData&)> s_createSampleLibrary;
    static std::function<void(int)> s_dumpTextBuffer;

private:
    void Notify(void (IMainView::*f)()) {
        if (m_view) (m_view->*f)();
    }
    int CurP() const;
    int CurS() const;
    int CurB() const;

    CProgramData& m_data;
    IMainView* m_view = nullptr;
    CControlPanelPresenter* m_panel = nullptr;

    std::vector<BasketRow> m_baskets;
    std::vector<FileRow> m_files;
    int m_selectedBasket = -1;
    std::string m_status;
    int m_blink = 0;
    bool m_inFill = false;

    std::vector<int> m_localModified;
    std::vector<int> m_localMissing;
    std::vector<int> m_localChanges;
    std::vector<int> m_remoteChanges;
    std::vector<int> m_remoteMissing;
    int m_localSent = 1;
    int m_remoteFetched = 1;

public:
    // The last shown position (set by the first load).
    int m_nLastProject = 0, m_nLastSession = 0, m_nLastBasket = 0;
};
