#include "app/ControlPanelPresenter.h"

#include <cctype>

#include "app/MainPresenter.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "model/WorkArea.h"

std::string HostLabel(const std::string& host, const std::string& user) {
    std::string shortHost = host;
    if (!host.empty() && !std::isdigit(static_cast<unsigned char>(host[0]))) {
        auto dot = host.find('.');
        if (dot != std::string::npos && dot != 0) shortHost = host.substr(0, dot);
    }
    return shortHost + " ~ " + user;
}

const TreeNode* TreeMirror::Find(const TreeRef& r) const {
    if (r.kind == 0) return &root;
    if (r.kind < 0 || r.parent < 0 || r.parent >= int(root.children.size())) return nullptr;
    const TreeNode& p = root.children[std::size_t(r.parent)];
    if (r.kind == 1) return &p;
    if (r.child < 0 || r.child >= int(p.children.size())) return nullptr;
    return &p.children[std::size_t(r.child)];
}

TreeNode* TreeMirror::Find(const TreeRef& r) {
    return const_cast<TreeNode*>(static_cast<const TreeMirror*>(this)->Find(r));
}

CControlPanelPresenter::CControlPanelPresenter(CProgramData& data, CMainPresenter* main)
    : m_data(data), m_main(main) {
    m_sess.root.label = "My Vault";
    m_acct.root.label = "My Network";
}

int CControlPanelPresenter::SessionImage(int p, int s) const {
    const CSession* se = const_cast<CProgramData&>(m_data).GetSessionPtr(p, s);
    return se ? se->GetImageIndex() : 2;
}

TreeNode CControlPanelPresenter::AccountNode(int c, int h) const {
    const CHost host = m_data.GetHost(c, h);
    TreeNode n;
    n.label = HostLabel(host.m_strHost, host.m_strUser);
    n.image = host.GetStatus();
    return n;
}

// ---------------------------------------------------------------- filling

void CControlPanelPresenter::FillSessionTree(int p, int s) {
    TreeNode root;
    root.label = "My Vault";
    root.image = 0;
    root.expanded = true;
    for (int i = 0; i < m_data.GetProjectCount(); ++i) {
        TreeNode pn;
        pn.label = m_data.GetProjectName(i);
        pn.image = 1;
        pn.expanded = true;
        for (int j = 0; j < m_data.GetSessionCount(i); ++j) {
            TreeNode sn;
            sn.label = m_data.GetSessionName(i, j);
            sn.image = SessionImage(i, j) + ((i == p && j == s) ? 1 : 0);
            pn.children.push_back(std::move(sn));
        }
        root.children.push_back(std::move(pn));
    }
    m_sess.root = std::move(root);
    const TreeRef cur = TreeRef::Leaf(p, s);
    if (m_sess.Find(cur)) {
        m_sess.current = m_sess.selected = m_sess.lastClicked = m_sess.classified = cur;
    } else {
        m_sess.current = m_sess.selected = m_sess.lastClicked = m_sess.classified = TreeRef{};
    }
    Changed();
}

void CControlPanelPresenter::FillAccountTree(int c, int h) {
    TreeNode root;
    root.label = "My Network";
    root.image = 0;
    root.expanded = true;
    for (int i = 0; i < m_data.GetClusterCount(); ++i) {
        TreeNode cn;
        cn.label = m_data.GetClusterName(i);
        cn.image = 1;
        cn.expanded = true;
        for (int j = 0; j < m_data.GetHostCount(i); ++j) {
            TreeNode an = AccountNode(i, j);
            if (i == c && j == h) an.image += 1;
            cn.children.push_back(std::move(an));
        }
        root.children.push_back(std::move(cn));
    }
    m_acct.root = std::move(root);
    const TreeRef cur = TreeRef::Leaf(c, h);
    if (m_acct.Find(cur)) {
        m_acct.current = m_acct.selected = m_acct.lastClicked = m_acct.classified = cur;
    } else {
        m_acct.current = m_acct.selected = m_acct.lastClicked = m_acct.classified = TreeRef{};
    }
    Changed();
}

// ---------------------------------------------------------------- clicks

int CControlPanelPresenter::ClassifySessionItem(const TreeRef& r) {
    if (r.kind < 0 || !m_sess.Find(r)) return -1;
    m_sess.classified = r;
    return r.kind == 0 ? 163 : r.kind == 1 ? 162 : 161;
}

int CControlPanelPresenter::ClassifyAccountItem(const TreeRef& r) {
    if (r.kind < 0 || !m_acct.Find(r)) return -1;
    m_acct.classified = r;
    return r.kind == 0 ? 160 : r.kind == 1 ? 159 : 158;
}

void CControlPanelPresenter::OnSessionClick(const TreeRef& r) {
    if (ClassifySessionItem(r) < 0) return;
    m_sess.lastClicked = r;
    m_sess.selected = r;
    ActivateSessionItem(r);
}

void CControlPanelPresenter::OnAccountClick(const TreeRef& r) {
    if (ClassifyAccountItem(r) < 0) return;
    m_acct.lastClicked = r;
    m_acct.selected = r;
    ActivateAccountItem(r);
}

void CControlPanelPresenter::SetCurrentSessionItem(const TreeRef& r) {
    if (TreeNode* old = m_sess.Find(m_sess.current); old && m_sess.current.kind == 2)
        old->image = SessionImage(m_sess.current.parent, m_sess.current.child);
    if (TreeNode* n = m_sess.Find(r)) n->image = 4;
    m_sess.current = r;
}

void CControlPanelPresenter::SetCurrentAccountItem(const TreeRef& r) {
    if (TreeNode* old = m_acct.Find(m_acct.current); old && m_acct.current.kind == 2)
        old->image = m_data.GetHost(m_acct.current.parent, m_acct.current.child).GetStatus();
    if (TreeNode* n = m_acct.Find(r)) n->image = m_data.GetHost(r.parent, r.child).GetStatus() + 1;
    m_acct.current = r;
}

void CControlPanelPresenter::ActivateSessionItem(const TreeRef& r) {
    if (r.kind == 0) {
        if (m_main) m_main->ClearLists();
        m_data.SetCurProject(0);
    } else if (r.kind == 1) {
        if (m_main) m_main->ClearLists();
        m_data.SetCurProject(r.parent);
        m_data.SetCurSession(r.parent, 0);
    } else if (r.kind == 2) {
        m_data.SetCurProject(r.parent);
        m_data.SetCurSession(r.parent, r.child);
        m_data.SelectSessionHost(r.parent, r.child);
        const int loaded = m_data.LoadSessionFile(r.parent, r.child);
        if (loaded != 0) {
            SetCurrentSessionItem(r);
            if (m_main) m_main->ShowSession(r.parent, r.child, m_data.GetCurBasket());
        }
    }
    Changed();
}

void CControlPanelPresenter::ActivateAccountItem(const TreeRef& r) {
    CAccountVault& v = m_data.m_Vault;
    if (r.kind == 0) {
        v.m_nCurrClustInd = 0;
    } else if (r.kind == 1) {
        v.m_nCurrClustInd = r.parent;
        if (r.parent < int(v.m_Clusters.size())) v.m_Clusters[std::size_t(r.parent)].m_nHostInd = 0;
    } else if (r.kind == 2) {
        v.m_nCurrClustInd = r.parent;
        if (r.parent < int(v.m_Clusters.size())) v.m_Clusters[std::size_t(r.parent)].m_nHostInd = r.child;
        m_data.SetCurrentHost(r.parent, r.child);
        SetCurrentAccountItem(r);
    }
    Changed();
}

bool CControlPanelPresenter::CheckSessionSelected() {
    const TreeNode* n = m_sess.Find(m_sess.lastClicked);
    if (n && (m_sess.lastClicked.kind == 2 || n->children.empty())) return true;
    if (!n || m_sess.lastClicked.kind == 0)
        Prompter().Message("Select a Project before you can add files", MsgIcon::Stop);
    else
        Prompter().Message("Select a Session before you can add files", MsgIcon::Stop);
    return false;
}

// ---------------------------------------------------------------- drag and drop

bool CControlPanelPresenter::DropCase(TreeMirror& tree, const TreeRef& d, const TreeRef& t,
                                      bool sessions) {
    if (t.kind < 0 || !tree.Find(t) || !tree.Find(d) || t == d || d.kind == 0) return false;
    if (d.kind == 1 && t.kind != 1) return false;
    if (d.kind == 1 && t.kind == 1) {
        Prompter().Message("Needs to be implemented....", MsgIcon::None);
        return false;
    }
    if (t.kind == 0) return false;
    // Moving records while a transfer works on the tree would move its rows.
    if (!g_bFtpIdle) {
        Prompter().Message(kFtpBusyRefusal, MsgIcon::Stop);
        return false;
    }
    const int pf = d.parent, sf = d.child;
    int pt = t.parent, at = 0;
    if (t.kind == 2) {
        const int st = t.child;
        at = (pf != pt || sf > st) ? st + 1 : st;
        if (g_bTrace)
            WriteTrace(sessions ? "Case 1: drag = session, drop = session"
                                : "Case 1: drag = session, drop = session");
    } else {
        at = 0;
        if (g_bTrace) WriteTrace("Case 2: drag = session, drop = box");
    }
    TreeRef moved;
    if (sessions) {
        auto& projects = m_data.m_ProjectList.m_Projects;
        CSession rec = projects[std::size_t(pf)].m_Sessions[std::size_t(sf)];
        auto& from = projects[std::size_t(pf)].m_Sessions;
        from.erase(from.begin() + sf);
        auto& to = projects[std::size_t(pt)].m_Sessions;
        at = std::min<int>(at, int(to.size()));
        to.insert(to.begin() + at, std::move(rec));
        moved = TreeRef::Leaf(pt, at);
        FillSessionTree(m_data.GetCurProject(), m_data.GetCurSession());
        m_sess.selected = moved;
        ActivateSessionItem(moved);
    } else {
        auto& clusters = m_data.m_Vault.m_Clusters;
        CHost rec = clusters[std::size_t(pf)].m_Hosts[std::size_t(sf)];
        auto& from = clusters[std::size_t(pf)].m_Hosts;
        from.erase(from.begin() + sf);
        auto& to = clusters[std::size_t(pt)].m_Hosts;
        at = std::min<int>(at, int(to.size()));
        to.insert(to.begin() + at, std::move(rec));
        m_data.m_Vault.RenumberClusterIndices();
        moved = TreeRef::Leaf(pt, at);
        FillAccountTree(m_data.m_Vault.m_nCurrClustInd, -1);
        m_acct.selected = moved;
        ActivateAccountItem(moved);
    }
    return true;
}

bool CControlPanelPresenter::DropSessionItem(const TreeRef& d, const TreeRef& t) {
    return DropCase(m_sess, d, t, true);
}

bool CControlPanelPresenter::DropAccountItem(const TreeRef& d, const TreeRef& t) {
    return DropCase(m_acct, d, t, false);
}

void CControlPanelPresenter::InsertAccountItem(int c, int h) {
    FillAccountTree(c, h);
    m_acct.selected = TreeRef::Leaf(c, h);
    Changed();
}

void CControlPanelPresenter::UpdateAccountItem(int c, int h, bool relabel) {
    const TreeRef r = TreeRef::Leaf(c, h);
    TreeNode* n = m_acct.Find(r);
    if (!n) return;
    if (relabel) *n = AccountNode(c, h);
    m_acct.selected = r;
    SetCurrentAccountItem(r);
    Changed();
}

// ---------------------------------------------------------------- commands

bool CControlPanelPresenter::RefuseFtp(const char* second) {
    if (g_bFtpIdle) return false;
    Prompter().Message(kFtpBusyRefusal, MsgIcon::Stop);
    if (second) Prompter().Message(second, MsgIcon::None);
    return true;
}

TreeRef CControlPanelPresenter::NextAfterDelete(const TreeMirror& t, const TreeRef& d) const {
    if (d.kind == 2) {
        const TreeNode* parent = t.Find(TreeRef::Parent(d.parent));
        const int n = parent ? int(parent->children.size()) : 0;
        if (d.child < n) return TreeRef::Leaf(d.parent, d.child);
        if (d.child - 1 >= 0) return TreeRef::Leaf(d.parent, d.child - 1);
        return TreeRef::Parent(d.parent);
    }
    if (d.kind == 1) {
        const int n = int(t.root.children.size());
        if (d.parent < n) return TreeRef::Parent(d.parent);
        if (d.parent - 1 >= 0) return TreeRef::Parent(d.parent - 1);
        return TreeRef::Root();
    }
    return TreeRef{};
}

void CControlPanelPresenter::AddProject() {
    const TreeRef r = m_sess.classified;
    if (r.kind != 0 && r.kind != 1) return;
    if (RefuseFtp("Cannot add a project while an FTP session is on.")) return;
    auto name = Prompter().AskText("Project", "Enter project name:", "");
    if (!name) return;
    const int at = r.kind == 0 ? 0 : r.parent + 1;
    if (!m_data.InsertProject(*name, at)) return;
    FillSessionTree(m_data.GetCurProject(), m_data.GetCurSession());
    m_sess.selected = m_sess.lastClicked = m_sess.classified = TreeRef::Parent(at);
    ActivateSessionItem(TreeRef::Parent(at));
}

void CControlPanelPresenter::RenameProject() {
    const TreeRef r = m_sess.classified;
    if (r.kind != 1) return;
    const std::string old = m_data.GetProjectName(r.parent);
    auto name = Prompter().AskText("Rename Project", "Enter Project name:", old);
    if (!name || *name == old) return;
    if (!m_data.SetProjectName(r.parent, *name)) return;
    if (TreeNode* n = m_sess.Find(r)) n->label = *name;
    Changed();
}

void CControlPanelPresenter::DeleteProject() {
    const TreeRef r = m_sess.classified;
    if (r.kind != 1) return;
    if (m_data.GetSessionCount(r.parent) > 0) {
        Prompter().Message("Cannot delete a Project which contains session.", MsgIcon::Stop);
        return;
    }
    if (RefuseFtp("Cannot delete a Project while an FTP session is on.")) return;
    if (!m_data.DeleteProject(r.parent)) return;
    if (m_data.GetCurProject() >= m_data.GetProjectCount())
        m_data.SetCurProject(std::max(0, m_data.GetProjectCount() - 1));
    FillSessionTree(m_data.GetCurProject(), m_data.GetCurSession());
    const TreeRef next = NextAfterDelete(m_sess, r);
    if (next.kind >= 0 && m_sess.Find(next)) {
        m_sess.selected = m_sess.lastClicked = m_sess.classified = next;
        ActivateSessionItem(next);
    }
}

void CControlPanelPresenter::AddSession() {
    const TreeRef r = m_sess.classified;
    if (r.kind != 1 && r.kind != 2) return;
    if (RefuseFtp("Cannot add a session while an FTP session is on.")) return;
    auto name = Prompter().AskText("Session", "Enter session name:", "");
    if (!name) return;
    const int at = r.kind == 1 ? 0 : r.child + 1;
    if (!m_data.InsertSession(*name, r.parent, at)) return;
    // A new session has no work file yet: its (empty) contents are in memory,
    // so it can be shown at once and its work file is written at the next save.
    m_data.SetSessionLoaded(r.parent, at, true);
    FillSessionTree(m_data.GetCurProject(), m_data.GetCurSession());
    const TreeRef added = TreeRef::Leaf(r.parent, at);
    if (TreeNode* pn = m_sess.Find(TreeRef::Parent(r.parent))) pn->expanded = true;
    m_sess.selected = m_sess.lastClicked = m_sess.classified = added;
    ActivateSessionItem(added);
}

void CControlPanelPresenter::RenameSession() {
    const TreeRef r = m_sess.classified;
    if (r.kind != 2) return;
    const std::string old = m_data.GetSessionName(r.parent, r.child);
    auto name = Prompter().AskText("Rename Session", "Enter Session name:", old);
    if (!name || *name == old) return;
    if (!m_data.SetSessionName(r.parent, r.child, *name)) return;
    if (TreeNode* n = m_sess.Find(r)) n->label = *name;
    Changed();
}

void CControlPanelPresenter::DeleteSession() {
    const TreeRef r = m_sess.classified;
    if (r.kind != 2) return;
    if (RefuseFtp(nullptr)) return;
    if (!g_bAddFilesIdle) {
        WriteTrace("Thread on session...[q]");
        return;
    }
    if (Prompter().AskDefaultNo("Are you sure you want to delete the session?\r\n\r\n"
                                "This will remove the session and all of its file information.\r\n"
                                "Select No, if you are not sure.",
                                MsgIcon::Stop) != Answer::Yes)
        return;
    if (!m_data.DeleteSession(r.parent, r.child)) return;
    if (m_data.GetCurSession() >= m_data.GetSessionCount(r.parent))
        m_data.SetCurSession(r.parent, std::max(0, m_data.GetSessionCount(r.parent) - 1));
    if (m_main) m_main->ClearLists();
    FillSessionTree(m_data.GetCurProject(), m_data.GetCurSession());
    const TreeRef next = NextAfterDelete(m_sess, r);
    if (next.kind >= 0 && m_sess.Find(next)) {
        m_sess.selected = m_sess.lastClicked = m_sess.classified = next;
        ActivateSessionItem(next);
    }
}

void CControlPanelPresenter::LoadSession() {
    const TreeRef r = m_sess.classified;
    if (r.kind != 1 && r.kind != 2) return;
    if (RefuseFtp("Cannot add a session while an FTP session is on.")) return;
    std::optional<std::string> file;
    if (m_services.browseForFile)
        file = m_services.browseForFile();
    else
        file = Prompter().AskText("Select File",
                                  "Enter name of leaf-file that contains session information", "");
    if (!file) return;
    CProgramData tmp;
    if (!tmp.ImportSessions(*file)) return;  // already said why
    CSession first;
    if (!tmp.GetFirstSession(first)) {
        Prompter().Message("No session was found in this file:\r\n" + *file, MsgIcon::None);
        return;
    }
    first.SessionName += " <+>";
    const int at = r.kind == 1 ? 0 : r.child + 1;
    if (!m_data.InsertSessionCopy(first, r.parent, at)) return;
    FillSessionTree(m_data.GetCurProject(), m_data.GetCurSession());
    const TreeRef added = TreeRef::Leaf(r.parent, at);
    m_sess.selected = m_sess.lastClicked = m_sess.classified = added;
    ActivateSessionItem(added);
}

void CControlPanelPresenter::SessionProperties() {
    const TreeRef r = m_sess.classified;
    if (r.kind != 2 || !m_services.sessionProperties) return;
    m_sess.selected = r;
    ActivateSessionItem(r);
    m_services.sessionProperties(m_data);
}

void CControlPanelPresenter::CleanVault() {
    if (Prompter().Ask("This process will rename the leaf files in sequential order.\r\n\r\n"
                       "It is desirable if you had added, deleted or moved around Sessions over a "
                       "period of time\r\n"
                       "(This process may take several minutes based on the current status of the "
                       "leaf files.)\r\n"
                       "\r\n"
                       "Are you sure?",
                       MsgIcon::Question, false) != Answer::Yes)
        return;
    const std::string master = g_strSessionInfoDir + kMasterFileName;
    m_data.SaveMasterFile(master);
    for (int p = 0; p < m_data.GetProjectCount(); ++p)
        for (int s = 0; s < m_data.GetSessionCount(p); ++s) m_data.SetSessionLoaded(p, s, false);
    WriteTrace("Repairing in progress...");
    m_data.RestoreBoxFilesFromBackup();
    WriteTrace("Dumping in progress...");
    for (int p = 0; p < m_data.GetProjectCount(); ++p)
        for (int s = 0; s < m_data.GetSessionCount(p); ++s) m_data.DumpSession(p, s);
    // The work files may have new names now: the master file must name them.
    m_data.SaveMasterFile(master);
    for (auto& pn : m_sess.root.children)
        for (auto& sn : pn.children) sn.image = 2;
    m_sess.current = TreeRef{};
    m_sess.selected = m_sess.lastClicked = m_sess.classified = TreeRef::Root();
    ActivateSessionItem(TreeRef::Root());
    WriteTrace("    (Done)");
    Prompter().Message("Done.", MsgIcon::None);
}

void CControlPanelPresenter::AddCluster() {
    const TreeRef r = m_acct.classified;
    if (r.kind != 0 && r.kind != 1) return;
    if (RefuseFtp("Cannot add a cluster while an FTP session is on.")) return;
    auto name = Prompter().AskText("Cluster", "Enter cluster name:", "");
    if (!name) return;
    const int at = r.kind == 0 ? 0 : r.parent + 1;
    m_data.AddCluster(*name, at);
    FillAccountTree(m_data.m_Vault.m_nCurrClustInd, -1);
    const TreeRef added = TreeRef::Parent(at);
    m_acct.selected = m_acct.lastClicked = m_acct.classified = added;
    ActivateAccountItem(added);
}

void CControlPanelPresenter::RenameCluster() {
    const TreeRef r = m_acct.classified;
    if (r.kind != 1) return;
    const std::string old = m_data.GetClusterName(r.parent);
    auto name = Prompter().AskText("Rename Cluster", "Enter cluster name:", old);
    if (!name || *name == old) return;
    m_data.SetClusterName(r.parent, *name);
    if (TreeNode* n = m_acct.Find(r)) n->label = m_data.GetClusterName(r.parent);
    Changed();
}

void CControlPanelPresenter::DeleteCluster() {
    const TreeRef r = m_acct.classified;
    if (r.kind != 1) return;
    if (m_data.GetHostCount(r.parent) > 0) {
        Prompter().Message("Cannot delete a Cluster which contains Hosts.", MsgIcon::Stop);
        return;
    }
    if (RefuseFtp("Cannot delete a Cluster while an FTP session is on.")) return;
    m_data.DeleteCluster(r.parent);
    if (m_data.m_Vault.m_nCurrClustInd >= m_data.GetClusterCount())
        m_data.m_Vault.m_nCurrClustInd = std::max(0, m_data.GetClusterCount() - 1);
    FillAccountTree(m_data.m_Vault.m_nCurrClustInd, -1);
    const TreeRef next = NextAfterDelete(m_acct, r);
    if (next.kind >= 0 && m_acct.Find(next)) {
        m_acct.selected = m_acct.lastClicked = m_acct.classified = next;
        ActivateAccountItem(next);
    }
}

void CControlPanelPresenter::AddAccount() {
    const TreeRef r = m_acct.classified;
    if (r.kind != 1 && r.kind != 2) return;
    LoginData start;
    std::optional<LoginData> login;
    for (;;) {
        login = Prompter().AskLogin(start);
        if (!login) return;
        if (!m_data.m_Vault.HasAccount(login->host, login->user)) break;
        Prompter().Message("This account is already in the Vault.", MsgIcon::None);
        start = *login;
    }
    const int c = r.parent;
    const int h = r.kind == 1 ? 0 : r.child + 1;
    m_data.AddHost(login->host, login->user, login->password, c, h);
    if (CHost* added = m_data.GetHostPtr(c, h); added && !login->hostType.empty())
        added->m_strHostType = login->hostType;
    FillAccountTree(m_data.m_Vault.m_nCurrClustInd, -1);
    const TreeRef added = TreeRef::Leaf(c, h);
    if (TreeNode* cn = m_acct.Find(TreeRef::Parent(c))) cn->expanded = true;
    m_acct.selected = m_acct.lastClicked = m_acct.classified = added;
    ActivateAccountItem(added);
}

void CControlPanelPresenter::DeleteAccount() {
    const TreeRef r = m_acct.classified;
    if (r.kind != 2) return;
    if (RefuseFtp(nullptr)) return;
    const CHost host = m_data.GetHost(r.parent, r.child);
    if (m_services.isConnected && m_services.isConnected(host)) {
        if (Prompter().AskDefaultNo("This account is being used. Are you sure? ", MsgIcon::Question) !=
            Answer::Yes)
            return;
        if (m_services.disconnectHost) m_services.disconnectHost(host);
    }
    m_data.DeleteHost(r.parent, r.child);
    FillAccountTree(m_data.m_Vault.m_nCurrClustInd, -1);
    const TreeRef next = NextAfterDelete(m_acct, r);
    if (next.kind >= 0 && m_acct.Find(next)) {
        m_acct.selected = m_acct.lastClicked = m_acct.classified = next;
        ActivateAccountItem(next);
    }
}

void CControlPanelPresenter::AccountProperties() {
    const TreeRef r = m_acct.classified;
    if (r.kind != 2 || !m_services.accountProperties) return;
    m_acct.selected = r;
    ActivateAccountItem(r);
    CHost copy = m_data.GetHost(r.parent, r.child);
    if (!m_services.accountProperties(copy)) return;
    if (m_data.SetHost(r.parent, r.child, copy)) {
        if (TreeNode* n = m_acct.Find(r)) n->label = HostLabel(copy.m_strHost, copy.m_strUser);
        Changed();
    } else {
        WriteTrace("--?-- Problem in updating CHost --?--");
    }
}

void CControlPanelPresenter::BrowseAccount() {
    const TreeRef r = m_acct.classified;
    if (r.kind != 2 || !m_services.browseRemote) return;
    m_acct.selected = r;
    ActivateAccountItem(r);
    m_services.browseRemote();
}

void CControlPanelPresenter::TelnetAccount() {
    const TreeRef r = m_acct.classified;
    if (r.kind != 2 || !m_services.launchTelnet) return;
    m_acct.selected = r;
    ActivateAccountItem(r);
    m_services.launchTelnet(m_data.GetHost(r.parent, r.child));
}

void CControlPanelPresenter::ModifyPasswordsGlobally() {
    if (!m_services.modifyPasswordsGlobally) return;
    if (RefuseFtp("Cannot modify passwords while an FTP session is on.")) return;
    m_services.modifyPasswordsGlobally(m_data);
}
