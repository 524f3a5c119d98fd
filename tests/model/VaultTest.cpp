#include "ModelFixture.h"

namespace {
class RecordingVaultObserver : public IVaultObserver {
public:
    void UpdateAccountItem(int c, int h) override { events.push_back("update " + std::to_string(c) + "," + std::to_string(h)); }
    void InsertAccountItem(int c, int h) override { events.push_back("insert " + std::to_string(c) + "," + std::to_string(h)); }
    std::vector<std::string> events;
};
}  // namespace

class VaultTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        oldObserver = SetVaultObserver(&observer);
        data.EnsureDefaultCluster();
    }
    void TearDown() override {
        SetVaultObserver(oldObserver);
        ModelTest::TearDown();
    }
    CProgramData data;
    RecordingVaultObserver observer;
    IVaultObserver* oldObserver = nullptr;
};

TEST_F(VaultTest, FindIgnoresCaseAndPrefersTheCurrentCluster) {
    data.AddHost("alpha", "bob", "first", 0, 0);
    data.AddCluster("Second", 1);
    data.AddHost("ALPHA", "BOB", "second", 1, 0);
    CHost out;
    EXPECT_TRUE(data.FindVaultHost("Alpha", "Bob", out));
    EXPECT_EQ(out.m_strPassword, "first");
    data.m_Vault.m_nCurrClustInd = 1;
    EXPECT_TRUE(data.FindVaultHost("alpha", "bob", out));
    EXPECT_EQ(out.m_strPassword, "second");
    // The password lookup goes in index order from the first cluster.
    EXPECT_EQ(data.GetVaultPassword("alpha", "bob"), "first");
    int c = -1, h = -1;
    data.FindVaultHostEx2("alpha", "", c, h);
    EXPECT_EQ(c, -1);
    data.FindVaultHostEx2("alpha", "bob", c, h);
    EXPECT_EQ(c, 1);
    EXPECT_FALSE(data.FindVaultHost("beta", "bob", out));
    EXPECT_TRUE(data.m_Vault.HasAccount("ALPHA", "bob"));
}

TEST_F(VaultTest, UpdateVaultFromSessionInsertsSortedAndMakesCurrent) {
    data.UpdateVaultFromSession("m", "u", "p", "UNIX", "/m/", false);
    data.UpdateVaultFromSession("a", "u", "p", "UNIX", "/a/", false);
    data.UpdateVaultFromSession("Z", "u", "p", "UNIX", "/z/", true);
    ASSERT_EQ(data.GetHostCount(0), 3);
    EXPECT_EQ(data.GetHost(0, 0).m_strHost, "a");
    EXPECT_EQ(data.GetHost(0, 1).m_strHost, "m");
    EXPECT_EQ(data.GetHost(0, 2).m_strHost, "z");
    EXPECT_EQ(data.m_Vault.m_Clusters[0].m_nHostInd, 2);
    EXPECT_EQ(data.GetHost(0, 2).m_nStatus, 6);
    EXPECT_EQ(g_CurrentAccount.m_strHost, "z");
    EXPECT_EQ(observer.events, (std::vector<std::string>{"insert 0,0", "insert 0,0", "insert 0,2"}));

    // An update keeps the old folder when none is given and does not touch the type.
    data.UpdateVaultFromSession("M", "U", "new", "VMS", "", false);
    EXPECT_EQ(data.GetHost(0, 1).m_strPassword, "new");
    EXPECT_EQ(data.GetHost(0, 1).m_strUser, "U");
    EXPECT_EQ(data.GetHost(0, 1).m_strLastFolder, "/m/");
    EXPECT_EQ(data.GetHost(0, 1).m_strHostType, "UNIX");
    EXPECT_EQ(data.m_Vault.m_Clusters[0].m_nHostInd, 1);
    EXPECT_EQ(observer.events.back(), "update 0,1");

    data.UpdateVaultFromSession("q", "", "p", "", "", false);
    EXPECT_EQ(data.GetHostCount(0), 3);
}

TEST_F(VaultTest, HostTypeIsAskedOnlyWhenUnknown) {
    data.AddHost("u1", "x", "", 0, 0);
    data.GetHostPtr(0, 0)->m_strHostType = "Unix";
    prompter.answers = {Answer::No};
    EXPECT_EQ(data.GetHostType("u1", "x"), "VMS");
    EXPECT_EQ(prompter.Questions(), std::vector<std::string>{"Is this a UNIX (LINUX) machine?"});
    EXPECT_EQ(data.GetHostType("u1", "x"), "VMS");
    EXPECT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(data.GetHostType("nobody", "x"), "");
}

TEST_F(VaultTest, IndicesAreCheckedAndUserNamesDistinct) {
    data.AddHost("a", "bob", "", 0, 0);
    data.AddHost("b", "Bob", "", 0, 1);
    data.AddHost("c", "bob", "", 0, 2);
    data.AddHost("x", "y", "", 0, 9);   // beyond the end: nothing
    data.AddHost("x", "y", "", 4, 0);   // no such cluster: nothing
    EXPECT_EQ(data.GetHostCount(0), 3);
    EXPECT_EQ(data.m_Vault.GetUserNames(), (std::vector<std::string>{"Bob", "bob"}));
    EXPECT_EQ(data.GetHostPtr(0, 3), nullptr);
    EXPECT_EQ(data.GetHostPtr(-1, 0), nullptr);
    EXPECT_EQ(data.GetHost(0, 7).m_nStatus, 2);
    EXPECT_FALSE(data.SetHost(2, 0, CHost()));
    data.DeleteHost(0, 7);
    data.DeleteCluster(5);
    data.SetClusterName(3, "x");
    EXPECT_EQ(data.GetClusterName(3), "");
    data.m_Vault.m_Clusters[0].m_nHostInd = 2;
    data.DeleteHost(0, 2);
    EXPECT_EQ(data.m_Vault.m_Clusters[0].m_nHostInd, 1);
    data.AddCluster("Z", 0);
    EXPECT_EQ(data.GetHost(1, 0).m_nClusterInd, 1);
    data.m_Vault.m_nCurrClustInd = 1;
    data.DeleteCluster(1);
    EXPECT_EQ(data.m_Vault.m_nCurrClustInd, 0);
}

TEST_F(VaultTest, SetPasswordLogsNoPassword) {
    CHost h("host", "user", "old-secret");
    h.SetPassword("new-secret");
    EXPECT_EQ(h.m_strPassword, "new-secret");
    ASSERT_FALSE(trace.lines.empty());
    EXPECT_EQ(trace.All().find("secret"), std::string::npos);
    EXPECT_NE(trace.All().find("{user}{host}"), std::string::npos);
    EXPECT_EQ(DecodePassword(EncodePassword("a,b\r\n")), "a,b\r\n");
    EXPECT_EQ(EncodePassword("a,b").find(','), std::string::npos);
    EXPECT_EQ(EncodePassword(""), "");
    // A value not in the stored form (an older file) is taken as it stands;
    // a marked value that is not hexadecimal is damaged and gives nothing.
    bool damaged = true;
    EXPECT_EQ(DecodePassword("cafe", &damaged), "cafe");
    EXPECT_FALSE(damaged);
    EXPECT_EQ(DecodePassword(EncodePassword("pw"), &damaged), "pw");
    EXPECT_FALSE(damaged);
    // So is a mark the writer does not write, or "h:" without its digits.
    for (const char* bad : {"h:7x", "h:707", "h:70 7", "H:7077", "h:", "h:7A", " h:70", "x:70"}) {
        EXPECT_EQ(DecodePassword(bad, &damaged), "") << bad;
        EXPECT_TRUE(damaged) << bad;
    }
}

TEST_F(VaultTest, RemoteBrowserResultsUpdateAccountSessionAndBasket) {
    data.EnsureCurrentBasket();
    data.SetSessionLoaded(0, 0, true);
    data.AddHost("host", "u", "pw", 0, 0);
    g_CurrentAccount = data.GetHost(0, 0);
    g_bAutoBasketCreate = false;
    g_bUseBinExt = true;
    g_strBinExtStr = ".zip";
    SetRemoteBrowser([](const std::string& pattern, CHost& acc, std::vector<RemoteFileChoice>& files,
                        std::vector<RemoteFolderChoice>&) {
        if (pattern != "*.*") return false;
        acc.m_strLastFolder = "/chosen/";
        files.push_back({"a.zip", "/chosen/", "/loc/", 0});
        files.push_back({"dup.c", "/chosen/", "/loc/", 0});
        files.push_back({"clash.c", "/chosen/", "/loc/", 0});
        return true;
    });
    CFileItem dup("dup.c");
    dup.RemoteDir = "/chosen/";
    data.InsertFileItems(0, 0, 0, -1, dup);
    // Another remote file already has the local file /loc/clash.c.
    data.InsertBasket("Other", 0, 0, 1);
    CFileItem clash("clash.c");
    clash.RemoteDir = "/elsewhere/";
    clash.LocalDir = "/loc/";
    data.InsertFileItems(0, 0, 1, -1, clash);
    std::vector<RemoteFileChoice> files;
    std::vector<RemoteFolderChoice> folders;
    EXPECT_EQ(data.UpdateBasketFromPaths(0, 0, 0, -1, files, folders), 1);
    EXPECT_EQ(files[1].name, "dup.c$--$");
    EXPECT_EQ(data.GetFileItemCount(0, 0, 0), 2);
    EXPECT_TRUE(trace.Has("   /chosen/clash.c -> /loc/clash.c")) << trace.All();
    const CFileItem added = data.GetFileItem(0, 0, 0, 1);
    EXPECT_EQ(added.FileType, "remote");
    EXPECT_TRUE(added.IsBinaryFile);
    EXPECT_EQ(added.RemHost, "host");
    EXPECT_EQ(data.GetHost(0, 0).m_strLastFolder, "/chosen/");
    EXPECT_EQ(data.GetSessionPtr(0, 0)->RemoteDir, "/chosen/");
    EXPECT_EQ(data.BrowseRemoteFolder(), "");  // the fake refuses "*.DIR"
    SetRemoteBrowser(nullptr);
    EXPECT_EQ(data.UpdateBasketFromPaths(0, 0, 0, -1, files, folders), 0);
}
