// The rules of the Control panel without any widget: the session tree
// ("My Vault", projects, sessions) and the account tree ("My Network",
// clusters, accounts) as rows kept in the model's order, what a click, a drag
// and each context-menu command does to the model and to the trees.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/ProgramData.h"
#include "platform/Prompter.h"

class CMainPresenter;

// An item of a tree by position: kind 0 root, 1 project or cluster, 2 session
// or account; -1 none.
struct TreeRef {
    int kind = -1;
    int parent = -1;
    int child = -1;
    bool operator==(const TreeRef& o) const {
        return kind == o.kind && (kind <= 0 || parent == o.parent) && (kind < 2 || child == o.child);
    }
    bool operator!=(const TreeRef& o) const { return !(*this == o); }
    static TreeRef Root() { return {0, 0, -1}; }
    static TreeRef Parent(int p) { return {1, p, 0}; }
    static TreeRef Leaf(int p, int c) { return {2, p, c}; }
};

struct TreeNode {
    std::string label;
    int image = 0;
    bool expanded = false;
    std::vector<TreeNode> children;
};

// One tree as the widget shows it.
struct TreeMirror {
    TreeNode root;
    TreeRef current;     // shown with the current image
    TreeRef selected;
    TreeRef lastClicked; // last left click
    TreeRef classified;  // last left or right click, classified
    const TreeNode* Find(const TreeRef& r) const;
    TreeNode* Find(const TreeRef& r);
};

// "host ~ user" with the short host: the host as it is when empty or
// starting with a digit, else the part before a first "." that is not the
// first character.
std::string HostLabel(const std::string& host, const std::string& user);

// Dialogs and services of other parts that the commands use; a command whose
// service is missing is shown disabled.
struct ControlPanelServices {
    std::function<void(CProgramData&)> sessionProperties;        // Session Attributes dialog
    std::function<bool(CHost&)> accountProperties;              // Account Properties dialog
    std::function<void(CProgramData&)> modifyPasswordsGlobally; // Global Password Update dialog
    std::function<void(const CHost&)> launchTelnet;
    std::function<void()> browseRemote;                          // the main window's browse step
    std::function<bool(const CHost&)> isConnected;
    std::function<void(const CHost&)> disconnectHost;
    std::function<std::optional<std::string>()> browseForFile;   // Load Session's "..." button
};

class CControlPanelPresenter : public IVaultObserver {
public:
    CControlPanelPresenter(CProgramData& data, CMainPresenter* main);

    ControlPanelServices& Services() { return m_services; }
    const TreeMirror& SessionTree() const { return m_sess; }
    const TreeMirror& AccountTree() const { return m_acct; }
    void SetChanged(std::function<void()> f) { m_changed = std::move(f); }

    void FillSessionTree(int p, int s);
    void FillAccountTree(int c, int h);

    // A click (left: also activates) or right click; the menu resource of
    // the kind, -1 over nothing.
    int ClassifySessionItem(const TreeRef& r);
    int ClassifyAccountItem(const TreeRef& r);
    void OnSessionClick(const TreeRef& r);
    void OnAccountClick(const TreeRef& r);
    int OnSessionRightClick(const TreeRef& r) { return ClassifySessionItem(r); }
    int OnAccountRightClick(const TreeRef& r) { return ClassifyAccountItem(r); }
    void ActivateSessionItem(const TreeRef& r);
    void ActivateAccountItem(const TreeRef& r);
    bool CheckSessionSelected();

    // A drop of item d on item t; false when refused (the window beeps).
    bool DropSessionItem(const TreeRef& d, const TreeRef& t);
    bool DropAccountItem(const TreeRef& d, const TreeRef& t);

    // Items the vault gains from elsewhere.
    void InsertAccountItem(int c, int h) override;
    void UpdateAccountItem(int c, int h) override { UpdateAccountItem(c, h, true); }
    void UpdateAccountItem(int c, int h, bool relabel);

    // ---- commands on the last classified item
    void AddProject();
    void RenameProject();
    void DeleteProject();
    void AddSession();
    void RenameSession();
    void DeleteSession();
    void LoadSession();
    void SessionProperties();
    void CleanVault();
    void AddCluster();
    void RenameCluster();
    void DeleteCluster();
    void AddAccount();
    void DeleteAccount();
    void AccountProperties();
    void BrowseAccount();
    void TelnetAccount();
    void ModifyPasswordsGlobally();

private:
    void Changed() {
        if (m_changed) m_changed();
    }
    bool RefuseFtp(const char* second);
    int SessionImage(int p, int s) const;
    TreeNode AccountNode(int c, int h) const;
    void SetCurrentSessionItem(const TreeRef& r);
    void SetCurrentAccountItem(const TreeRef& r);
    TreeRef NextAfterDelete(const TreeMirror& t, const TreeRef& deleted) const;
    bool DropCase(TreeMirror& tree, const TreeRef& d, const TreeRef& t, bool sessions);

    CProgramData& m_data;
    CMainPresenter* m_main;
    ControlPanelServices m_services;
    TreeMirror m_sess;
    TreeMirror m_acct;
    std::function<void()> m_changed;
};
