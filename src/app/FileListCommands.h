// The file-list dialogs of the main window: attributes, open and print, copy/cut/paste palettes, Make Same Host, reports, basket comparison, listings, rename/duplicate, concatenation and select by icon.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

class CMainFrame;
class QDialog;
class CCopySessionFilesDlg;
class CCutSessionFilesDlg;
class CMakeSameHostDlg;
class CRenameDuplicateSelectedFilesDlg;
class CReportDlg;

class CFileListCommands : public QObject {
    Q_OBJECT
public:
    explicit CFileListCommands(CMainFrame& frame);
    ~CFileListCommands() override;
    CFileListCommands(const CFileListCommands&) = delete;
    CFileListCommands& operator=(const CFileListCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

    // Runs a modal dialog and returns its result; exec() unless a test
    // drives the dialog instead.
    static std::function<int(QDialog&)> s_runModal;

    // "Properties...": the File Attributes dialog of the selection; true on OK.
    bool EditSelectedItemProperties();

    // "Pin": marks the selected items or selects items by icon, status or name.
    void OnPin();
    // Applies a Select by Icon choice to the current basket.
    void ApplyIconChoice(bool mark, int code, const std::string& name);

    // "Make same Host": waits for a click on the model item.
    void OnMakeSameHost();
    // The click on the model item while Make Same Host waits.
    void OnMakeSameHostPick();
    // Ends the wait without a pick.
    void CancelMakeSameHost();

    CCopySessionFilesDlg* CopyPalette() const;
    CCutSessionFilesDlg* CutPalette() const;
    CMakeSameHostDlg* MakeSameHostPalette() const;

    // "Manage files", "Rename files", "Rename multiple files": the
    // Rename/Duplicate dialog (the second needs a selection).
    void ShowRenameDuplicate(bool needSelection);
    // Moves (and on a small screen shrinks) the shown dialog inside the screen.
    void KeepRenameDialogOnScreen();
    CRenameDuplicateSelectedFilesDlg* RenameDuplicateDialog() const;

    // "Report on files": the Report dialog. Its reports go to the Input
    // window (and the clipboard when asked); it is usable while the Input
    // window exists, as is "Get web-link info".
    void ShowReportDialog();
    CReportDlg* ReportDialog() const;
    void ShowReportText(const std::string& text);
    void OnGetWebLinkInfo();

    // "Concatenate files": joins the selected files (all of the basket when
    // nothing is selected) through the Concatenate Template dialog and adds
    // the final file to the basket.
    void OnConcatenateFiles();

private:
    int P() const;
    int S() const;
    int B() const;
    std::vector<int> Selection() const;
    void Refill();
    void ShowPalette(int palette, bool show);

    CMainFrame& m_frame;
    QPointer<CCopySessionFilesDlg> m_copyDlg;
    QPointer<CCutSessionFilesDlg> m_cutDlg;
    QPointer<CMakeSameHostDlg> m_makeSameHostDlg;
    QPointer<CRenameDuplicateSelectedFilesDlg> m_renameDlg;
    QPointer<CReportDlg> m_reportDlg;
    int m_textWindowsObserver = 0;
    bool m_trailLinked = false;
    void LinkTrailBoxes();
    void UpdateInputWindowCommands();
    // The items waiting for Make Same Host's model.
    int m_targetProject = -1, m_targetSession = -1, m_targetBasket = -1;
    std::vector<int> m_targetSelection;
    int m_ownHooks = 0;
};
