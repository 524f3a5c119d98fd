#include "app/RemoteCommands.h"

#include <QApplication>
#include <algorithm>

#include "app/ControlPanelBar.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "filelist/RenameFiles.h"
#include "model/Globals.h"
#include "model/TextUtil.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpConnections.h"
#include "remote/TerminalLaunch.h"
#include "remote/ui/AccountPropertiesDlg.h"
#include "remote/ui/GlobalPasswordUpdateDlg.h"
#include "remote/ui/LoginInformationDlg.h"
#include "remote/ui/SessionAttributesDlg.h"
#include "remote/ui/ModalRun.h"
#include "remote/ui/RemoteBrowserDlg.h"
#include "remote/ui/SelectHostDlg.h"

std::function<bool()> CRemoteCommands::s_ctrlHeld;

namespace {

bool CtrlHeld() {
    if (CRemoteCommands::s_ctrlHeld) return CRemoteCommands::s_ctrlHeld();
    return QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
}

// Screen point of a widget's top-left corner, or of its top-right corner
// with right set; the main window's client corner when the widget is not
// on screen.
QPoint ScreenCorner(CMainFrame& frame, const QWidget* w, bool right) {
    if (!w || !w->isVisible()) return frame.mapToGlobal(QPoint(0, 0));
    return w->mapToGlobal(QPoint(right ? w->width() : 0, 0));
}

}  // namespace

CRemoteCommands::CRemoteCommands(CMainFrame& frame) : m_frame(frame) {}

CRemoteCommands::~CRemoteCommands() { SetRemoteBrowser(nullptr); }

void CRemoteCommands::Wire() {
    CMainFrame& f = m_frame;
    CControlPanelPresenter& cp = f.PanelPresenter();
    ControlPanelServices& sv = cp.Services();

    // The remote folder chooser of the program data: a connection first,
    // then the browser on it.
    SetRemoteBrowser([this](const std::string& pattern, CHost& account, std::vector<RemoteFileChoice>& files,
                            std::vector<RemoteFolderChoice>& folders) {
        std::string host = account.m_strHost, user = account.m_strUser;
        if (!ConnectHost(m_frame.Data(), host, user, true)) return false;
        CHost acc = account;
        // A login named another account (on a fresh work area, the first
        // one): the browser works on that account's own record.
        if (ToLowerAscii(account.m_strHost) != ToLowerAscii(host) ||
            ToLowerAscii(account.m_strUser) != ToLowerAscii(user))
            m_frame.Data().FindVaultHost(host, user, acc);
        const CHost connected = GetFtpAccount();
        acc.m_strHost = host;
        acc.m_strUser = user;
        if (ToLowerAscii(connected.m_strHost) == ToLowerAscii(host) &&
            ToLowerAscii(connected.m_strUser) == ToLowerAscii(user))
            acc.m_strPassword = connected.m_strPassword;
        CRemoteBrowserDlg dlg(pattern, acc, &m_frame);
        if (!dlg.Initialize()) return false;
        // Beside the main window, as tall as it.
        const QRect g = m_frame.frameGeometry();
        dlg.move(m_frame.Layout().frameWidth, g.top());
        dlg.resize(dlg.width(), std::clamp(g.height(), dlg.minimumHeight(), dlg.maximumHeight()));
        if (RunModal(dlg) != QDialog::Accepted) return false;
        CRemoteBrowser& b = dlg.Browser();
        account = b.m_account;
        if (pattern == "*.DIR") {
            account.m_strLastFolder = b.m_strCurrentFolder;
            return true;
        }
        for (const CDirEntry& e : b.m_result) {
            files.push_back({e.strName, e.strRemoteDir, e.strLocalDir, b.m_bKeepTree ? e.nIndex : 0});
            if (!b.m_bKeepTree) continue;
            // One basket per remote folder of a collection that keeps the tree.
            if (e.nIndex >= static_cast<int>(folders.size())) folders.resize(static_cast<size_t>(e.nIndex) + 1);
            if (folders[static_cast<size_t>(e.nIndex)].name.empty())
                folders[static_cast<size_t>(e.nIndex)].name = e.strRemoteDir;
        }
        return true;
    });

    sv.launchTelnet = [this](const CHost& h) {
        LaunchTelnet(m_frame.Data(), h.m_strHost, h.m_strUser, h.m_strPassword, false);
    };
    sv.browseRemote = [this] { AddBrowsedRemoteFiles(false); };
    sv.accountProperties = [this](CHost& account) {
        CProgramData& d = m_frame.Data();
        const int c = d.m_Vault.m_nCurrClustInd;
        const int h = c >= 0 && c < d.GetClusterCount() ? d.m_Vault.m_Clusters[static_cast<size_t>(c)].m_nHostInd : -1;
        CAccountPropertiesDlg dlg(account, d, &m_frame);
        dlg.onStatus = [this, c, h](int status) {
            if (CHost* vaultHost = m_frame.Data().GetHostPtr(c, h)) vaultHost->m_nStatus = status;
            m_frame.PanelPresenter().UpdateAccountItem(c, h, false);
            m_frame.TreesChanged();
        };
        if (RunModal(dlg) != QDialog::Accepted) return false;
        account = dlg.m_host;
        return true;
    };
    sv.sessionProperties = [this](CProgramData& d) {
        CSessionAttributesDlg dlg(d, &m_frame);
        // Beside the Control panel: at its right edge and its top.
        dlg.move(ScreenCorner(m_frame, &m_frame.ControlPanel(), true));
        if (RunModal(dlg) != QDialog::Accepted) return;
        m_frame.Presenter().ShowSession(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
    };
    sv.modifyPasswordsGlobally = [this](CProgramData& d) {
        CGlobalPasswordUpdateDlg dlg(d, &m_frame);
        // Over the top-left corner of the file-item list.
        dlg.move(ScreenCorner(m_frame, m_frame.FileList(), false));
        RunModal(dlg);
    };
    f.SetCommandHandler(32664, [&cp] { cp.AccountProperties(); });
    f.SetCommandHandler(32674, [&cp] { cp.SessionProperties(); });
    f.SetCommandHandler(32670, [&cp] { cp.ModifyPasswordsGlobally(); });
    f.SetCommandHandler(32665, [&cp] { cp.TelnetAccount(); });
    f.SetCommandHandler(32662, [&cp] { cp.BrowseAccount(); });
    f.SetCommandHandler(32587, [this] { OnTelnetToRemoteSystem(); });
    f.SetCommandHandler(32563, [this] { OnBrowseRemoteSystem(); });
}

void CRemoteCommands::ChooserPoint(int& x, int& y) const {
    const QRect g = m_frame.frameGeometry();
    x = g.left() + 100;
    y = g.bottom() - 200;
}

// ---------------------------------------------------------------- terminals

void CRemoteCommands::OnTelnetToRemoteSystem() {
    if (CtrlHeld()) {
        int x, y;
        ChooserPoint(x, y);
        TelnetToHost(x, y);
        return;
    }
    const CHost& a = g_CurrentAccount;
    LaunchTelnet(m_frame.Data(), a.m_strHost, a.m_strUser, a.m_strPassword, false);
}

void CRemoteCommands::TelnetToHost(int x, int y) {
    const std::vector<CHost> accounts = GetAllHosts(m_frame.Data().m_Vault);
    CSelectHostDlg dlg(x, y, PreselectedHostIndex(accounts, g_CurrentAccount), TelnetChooserEntries(accounts), 0,
                       &m_frame);
    if (RunModal(dlg) != QDialog::Accepted) return;
    const int i = dlg.m_nSelected;
    if (i < 0 || i >= static_cast<int>(accounts.size())) {
        LaunchTelnet(m_frame.Data(), ToLowerAscii(g_CurrentAccount.m_strHost), g_CurrentAccount.m_strUser, "",
                     true);
        return;
    }
    g_CurrentAccount = accounts[static_cast<size_t>(i)];
    LaunchTelnet(m_frame.Data(), g_CurrentAccount.m_strHost, g_CurrentAccount.m_strUser,
                 g_CurrentAccount.m_strPassword, false);
}

// ---------------------------------------------------------------- browsing

bool CRemoteCommands::BrowseRemoteHostChooser(int x, int y) {
    const std::vector<CHost> accounts = GetAllHosts(m_frame.Data().m_Vault);
    const auto entries = BrowseChooserEntries(
        accounts, [](const CHost& h) { return IsConnectionOpen(h.m_strHost, h.m_strUser); });
    CSelectHostDlg dlg(x, y, PreselectedHostIndex(accounts, g_CurrentAccount), entries, 1, &m_frame);
    if (RunModal(dlg) != QDialog::Accepted) return false;
    const int i = dlg.m_nSelected;
    if (i >= 0 && i < static_cast<int>(accounts.size())) {
        g_CurrentAccount = accounts[static_cast<size_t>(i)];
        return true;
    }
    CLoginInformationDlg login("your-host", "your-username", "", true, &m_frame);
    if (RunModal(login) != QDialog::Accepted) return false;
    AssignConnectionRecord(&g_CurrentAccount, login.m_strHost, login.m_strUser, login.m_strPassword, "", "");
    g_CurrentAccount.m_nStatus = 2;
    return true;
}

void CRemoteCommands::OnBrowseRemoteSystem() {
    if (CtrlHeld()) {
        int x, y;
        ChooserPoint(x, y);
        if (!BrowseRemoteHostChooser(x, y)) return;
        AddBrowsedRemoteFiles(false);
        return;
    }
    AddBrowsedRemoteFiles(true);
}

void CRemoteCommands::AddBrowsedRemoteFiles(bool selectSessionHost) {
    CProgramData& d = m_frame.Data();
    CMainPresenter& pr = m_frame.Presenter();
    if (!m_frame.ControlPanel().CheckSessionSelected()) return;
    if (d.EnsureCurrentBasket() != 0) pr.ShowSession(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
    pr.ShowCurrentPosition();
    if (CMainPresenter::RefuseWhileFtp()) return;
    if (!g_bAddFilesIdle) {
        CMainPresenter::LogMessage("Thread on session...[b]");
        return;
    }
    Prompter().SetWaitCursor(true);
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    if (selectSessionHost) d.SelectSessionHost(p, s);
    const std::vector<int> sel = d.GetSelection(p, s, b);
    const int before = d.GetFileItemCount(p, s, b);
    const int pos = sel.empty() ? -1 : *std::max_element(sel.begin(), sel.end()) + 1;
    std::vector<RemoteFileChoice> files;
    std::vector<RemoteFolderChoice> folders;
    const int added = d.UpdateBasketFromPaths(p, s, b, pos, files, folders);
    Prompter().SetWaitCursor(false);
    if (files.empty()) return;
    // The new rows are the selection; the basket list shows new baskets.
    std::vector<int> rows;
    if (folders.empty()) {
        const int first = pos < 0 ? before : pos;
        for (int i = 0; i < added; ++i) rows.push_back(first + i);
    }
    d.SetSelection(p, s, b, rows);
    pr.ShowSession(p, s, b);
    std::string duplicates;
    for (const RemoteFileChoice& f : files)
        if (f.name.size() > 4 && f.name.compare(f.name.size() - 4, 4, "$--$") == 0)
            duplicates += "    " + f.name.substr(0, f.name.size() - 4) + "\r\n";
    const std::string report =
        FormatFileListReport("Some of the files could not be added. They already exist in the list:", duplicates);
    if (!report.empty()) Prompter().Message(report, MsgIcon::None);
    if (g_bAutoSync) {
        g_bAutoSync = false;
        WriteTrace("Auto-sync off.");
    }
}
