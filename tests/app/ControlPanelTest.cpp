#include "app/ControlPanelPresenter.h"
#include "app/MainPresenter.h"
#include "UiFixture.h"

namespace {

class PanelTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        MakeSampleArea();
        data.LoadMasterFile();
        main.SetControlPanel(&panel);
        main.ShowCurrentPosition();
        main.ShowSession(0, 0, 0);
    }
    // Model and tree hold the same names in the same order.
    void ExpectTreesInStep() {
        const TreeNode& s = panel.SessionTree().root;
        ASSERT_EQ(int(s.children.size()), data.GetProjectCount());
        for (int p = 0; p < data.GetProjectCount(); ++p) {
            EXPECT_EQ(s.children[p].label, data.GetProjectName(p));
            ASSERT_EQ(int(s.children[p].children.size()), data.GetSessionCount(p));
            for (int k = 0; k < data.GetSessionCount(p); ++k)
                EXPECT_EQ(s.children[p].children[k].label, data.GetSessionName(p, k));
        }
        const TreeNode& a = panel.AccountTree().root;
        ASSERT_EQ(int(a.children.size()), data.GetClusterCount());
        for (int c = 0; c < data.GetClusterCount(); ++c) {
            EXPECT_EQ(a.children[c].label, data.GetClusterName(c));
            ASSERT_EQ(int(a.children[c].children.size()), data.GetHostCount(c));
            for (int h = 0; h < data.GetHostCount(c); ++h) {
                CHost host = data.GetHost(c, h);
                EXPECT_EQ(a.children[c].children[h].label, HostLabel(host.m_strHost, host.m_strUser));
            }
        }
    }
    void Click(const TreeRef& r) { panel.OnSessionRightClick(r); }
    void ClickAccount(const TreeRef& r) { panel.OnAccountRightClick(r); }

    CProgramData data;
    CMainPresenter main{data};
    CControlPanelPresenter panel{data, &main};
};

}  // namespace

TEST_F(PanelTest, TreesShowTheVaultAndTheCurrentItems) {
    const TreeNode& root = panel.SessionTree().root;
    EXPECT_EQ(root.label, "My Vault");
    EXPECT_EQ(panel.AccountTree().root.label, "My Network");
    ExpectTreesInStep();
    EXPECT_EQ(panel.SessionTree().current, TreeRef::Leaf(0, 0));
    EXPECT_EQ(root.children[0].children[0].image, data.GetSession(0, 0).GetImageIndex() + 1);
    EXPECT_EQ(panel.ClassifySessionItem(TreeRef::Root()), 163);
    EXPECT_EQ(panel.ClassifySessionItem(TreeRef::Parent(0)), 162);
    EXPECT_EQ(panel.ClassifySessionItem(TreeRef::Leaf(0, 1)), 161);
    EXPECT_EQ(panel.ClassifySessionItem(TreeRef{}), -1);
    EXPECT_EQ(panel.ClassifyAccountItem(TreeRef::Leaf(0, 0)), 158);

    // Clicking the second session loads and shows it.
    panel.OnSessionClick(TreeRef::Leaf(0, 1));
    EXPECT_EQ(data.GetCurSession(), 1);
    EXPECT_EQ(panel.SessionTree().current, TreeRef::Leaf(0, 1));
    EXPECT_EQ(panel.SessionTree().Find(TreeRef::Leaf(0, 1))->image, 4);
    EXPECT_EQ(main.BasketRows().size(), 1u);
    EXPECT_EQ(main.FileRows().size(), 2u);
    EXPECT_TRUE(panel.CheckSessionSelected());
    panel.OnSessionClick(TreeRef::Parent(0));
    EXPECT_TRUE(main.FileRows().empty());
    EXPECT_FALSE(panel.CheckSessionSelected());
    EXPECT_EQ(prompter.Messages().back(), "Select a Session before you can add files");

    // An account click makes it the current connection.
    panel.OnAccountClick(TreeRef::Leaf(0, 1));
    EXPECT_EQ(g_CurrentAccount.m_strHost, "10.0.0.7");
    EXPECT_EQ(panel.AccountTree().Find(TreeRef::Leaf(0, 1))->image, data.GetHost(0, 1).GetStatus() + 1);
}

TEST_F(PanelTest, ProjectsAndSessionsAddRenameDeleteInStep) {
    Click(TreeRef::Root());
    prompter.texts = {std::string("First")};
    panel.AddProject();
    EXPECT_EQ(data.GetProjectName(0), "First");
    ExpectTreesInStep();
    Click(TreeRef::Parent(1));
    prompter.texts = {std::string("Third")};
    panel.AddProject();
    EXPECT_EQ(data.GetProjectName(2), "Third");
    Click(TreeRef::Leaf(1, 0));
    panel.AddProject();  // on a session: nothing
    EXPECT_EQ(data.GetProjectCount(), 3);

    Click(TreeRef::Parent(2));
    prompter.texts = {std::string("S1")};
    panel.AddSession();
    Click(TreeRef::Leaf(2, 0));
    prompter.texts = {std::string("S2")};
    panel.AddSession();
    EXPECT_EQ(data.GetSessionName(2, 1), "S2");
    EXPECT_EQ(panel.SessionTree().current, TreeRef::Leaf(2, 1));
    ExpectTreesInStep();

    Click(TreeRef::Leaf(2, 0));
    prompter.texts = {std::string("s1")};  // a case change is a change
    panel.RenameSession();
    EXPECT_EQ(data.GetSessionName(2, 0), "s1");
    Click(TreeRef::Parent(2));
    prompter.texts = {std::string("Renamed")};
    panel.RenameProject();
    EXPECT_EQ(data.GetProjectName(2), "Renamed");
    ExpectTreesInStep();

    // A project with sessions is refused first, even while FTP runs.
    g_bFtpIdle = false;
    panel.DeleteProject();
    EXPECT_EQ(prompter.Messages().back(), "Cannot delete a Project which contains session.");
    g_bFtpIdle = true;

    Click(TreeRef::Leaf(2, 0));
    prompter.answers = {Answer::Yes};
    panel.DeleteSession();
    EXPECT_EQ(data.GetSessionCount(2), 1);
    EXPECT_EQ(panel.SessionTree().selected, TreeRef::Leaf(2, 0));
    Click(TreeRef::Leaf(2, 0));
    prompter.answers = {Answer::No};
    panel.DeleteSession();
    EXPECT_EQ(data.GetSessionCount(2), 1);
    prompter.answers = {Answer::Yes};
    panel.DeleteSession();
    Click(TreeRef::Parent(2));
    panel.DeleteProject();
    EXPECT_EQ(data.GetProjectCount(), 2);
    EXPECT_EQ(panel.SessionTree().selected, TreeRef::Parent(1));
    ExpectTreesInStep();
}

TEST_F(PanelTest, ChangesAreRefusedWhileFtpRuns) {
    g_bFtpIdle = false;
    Click(TreeRef::Root());
    panel.AddProject();
    Click(TreeRef::Parent(0));
    panel.AddSession();
    ClickAccount(TreeRef::Root());
    panel.AddCluster();
    EXPECT_EQ(data.GetProjectCount(), 1);
    EXPECT_EQ(data.GetSessionCount(0), 2);
    EXPECT_EQ(data.GetClusterCount(), 1);
    std::vector<std::string> expected = {kFtpBusyRefusal, "Cannot add a project while an FTP session is on.",
                                         kFtpBusyRefusal, "Cannot add a session while an FTP session is on.",
                                         kFtpBusyRefusal, "Cannot add a cluster while an FTP session is on."};
    EXPECT_EQ(prompter.Messages(), expected);

    // Drags too.
    EXPECT_FALSE(panel.DropSessionItem(TreeRef::Leaf(0, 0), TreeRef::Leaf(0, 1)));
    EXPECT_EQ(data.GetSessionName(0, 0), "Web site");
}

TEST_F(PanelTest, DragCases) {
    // Refused: on itself, on the root, on nothing, a project on a session.
    EXPECT_FALSE(panel.DropSessionItem(TreeRef::Leaf(0, 0), TreeRef::Leaf(0, 0)));
    EXPECT_FALSE(panel.DropSessionItem(TreeRef::Leaf(0, 0), TreeRef::Root()));
    EXPECT_FALSE(panel.DropSessionItem(TreeRef::Leaf(0, 0), TreeRef{}));
    EXPECT_FALSE(panel.DropSessionItem(TreeRef::Parent(0), TreeRef::Leaf(0, 1)));
    EXPECT_FALSE(panel.DropSessionItem(TreeRef::Parent(0), TreeRef::Parent(0)));

    data.InsertProject("Other", 1);
    data.InsertSession("O1", 1, 0);
    main.ShowCurrentPosition();
    EXPECT_FALSE(panel.DropSessionItem(TreeRef::Parent(0), TreeRef::Parent(1)));
    EXPECT_EQ(prompter.Messages().back(), "Needs to be implemented....");

    // A session on a later sibling goes right after it.
    g_bTrace = true;
    EXPECT_TRUE(panel.DropSessionItem(TreeRef::Leaf(0, 0), TreeRef::Leaf(0, 1)));
    EXPECT_EQ(data.GetSessionName(0, 0), "Build");
    EXPECT_EQ(data.GetSessionName(0, 1), "Web site");
    EXPECT_TRUE(trace.Has("Case 1: drag = session, drop = session"));
    ExpectTreesInStep();
    // On an earlier sibling: after that one.
    data.InsertSession("Third", 0, 2);
    main.ShowCurrentPosition();
    EXPECT_TRUE(panel.DropSessionItem(TreeRef::Leaf(0, 2), TreeRef::Leaf(0, 0)));
    EXPECT_EQ(data.GetSessionName(0, 1), "Third");
    // On a project: its first session.
    EXPECT_TRUE(panel.DropSessionItem(TreeRef::Leaf(0, 2), TreeRef::Parent(1)));
    EXPECT_EQ(data.GetSessionName(1, 0), "Web site");
    EXPECT_EQ(data.GetSessionName(1, 1), "O1");
    EXPECT_TRUE(trace.Has("Case 2: drag = session, drop = box"));
    EXPECT_EQ(panel.SessionTree().selected, TreeRef::Leaf(1, 0));
    ExpectTreesInStep();

    // Accounts move between clusters the same way.
    data.AddCluster("Prod", 1);
    main.ShowCurrentPosition();
    EXPECT_TRUE(panel.DropAccountItem(TreeRef::Leaf(0, 1), TreeRef::Parent(1)));
    EXPECT_EQ(data.GetHostCount(0), 1);
    EXPECT_EQ(data.GetHost(1, 0).m_strHost, "10.0.0.7");
    ExpectTreesInStep();
}

TEST_F(PanelTest, ClustersAndAccounts) {
    ClickAccount(TreeRef::Parent(0));
    prompter.texts = {std::string("Prod")};
    panel.AddCluster();
    EXPECT_EQ(data.GetClusterName(1), "Prod");
    ClickAccount(TreeRef::Parent(1));
    prompter.texts = {std::string("Production")};
    panel.RenameCluster();
    EXPECT_EQ(data.GetClusterName(1), "Production");

    // An account already in the vault keeps the dialog coming until a new one.
    ClickAccount(TreeRef::Parent(1));
    LoginData dup{"www.example.com", "alice", "x", "UNIX", false};
    LoginData fresh{"db.example.com", "dba", "pw", "UNIX", false};
    prompter.logins = {dup, fresh};
    panel.AddAccount();
    EXPECT_EQ(prompter.Messages().back(), "This account is already in the Vault.");
    ASSERT_EQ(data.GetHostCount(1), 1);
    EXPECT_EQ(data.GetHost(1, 0).m_strHost, "db.example.com");
    EXPECT_EQ(panel.AccountTree().selected, TreeRef::Leaf(1, 0));
    ExpectTreesInStep();

    ClickAccount(TreeRef::Parent(1));
    panel.DeleteCluster();
    EXPECT_EQ(prompter.Messages().back(), "Cannot delete a Cluster which contains Hosts.");
    ClickAccount(TreeRef::Leaf(1, 0));
    panel.DeleteAccount();
    EXPECT_EQ(data.GetHostCount(1), 0);
    ClickAccount(TreeRef::Parent(1));
    panel.DeleteCluster();
    EXPECT_EQ(data.GetClusterCount(), 1);
    ExpectTreesInStep();
}

TEST_F(PanelTest, LoadSessionFromAnotherFile) {
    Click(TreeRef::Parent(0));
    prompter.texts = {g_strSessionInfoDir + kMasterFileName};
    panel.LoadSession();
    ASSERT_EQ(data.GetSessionCount(0), 3);
    EXPECT_EQ(data.GetSessionName(0, 0), "Web site <+>");
    ExpectTreesInStep();

    WriteFile(tmp / "empty.txt", "nothing here\n");
    prompter.texts = {tmp / "empty.txt"};
    panel.LoadSession();
    EXPECT_EQ(prompter.Messages().back(), "No session was found in this file:\r\n" + (tmp / "empty.txt"));
    EXPECT_EQ(data.GetSessionCount(0), 3);
}

TEST_F(PanelTest, CleanVaultLeavesAMasterFileThatNamesTheWorkFiles) {
    // Shuffle the sessions so the work files get new sequential names.
    data.LoadSessionFile(0, 1);
    Click(TreeRef::Parent(0));
    prompter.texts = {std::string("Newer")};
    panel.AddSession();
    prompter.answers = {Answer::Yes};
    panel.CleanVault();
    EXPECT_EQ(prompter.Messages().back(), "Done.");
    EXPECT_TRUE(trace.Has("    (Done)"));
    EXPECT_TRUE(main.FileRows().empty());

    // A fresh load finds every session's work file by the names the master file holds.
    CProgramData again;
    again.LoadMasterFile();
    ASSERT_EQ(again.GetSessionCount(0), 3);
    for (int s = 0; s < 3; ++s) {
        const std::string box = again.GetBoxFileName(0, s);
        EXPECT_TRUE(std::filesystem::exists(g_strSessionInfoDir + box)) << box;
    }
    again.LoadSessionFile(0, 1);
    again.LoadSessionFile(0, 2);
    int items = again.GetSessionItemCount(0, 1) + again.GetSessionItemCount(0, 2);
    EXPECT_EQ(items, 12);  // "Web site" 10 and "Build" 2, wherever they stand
}
