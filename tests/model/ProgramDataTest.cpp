#include <filesystem>

#include "ModelFixture.h"

namespace fs = std::filesystem;

namespace {
CFileItem Item(const std::string& name, const std::string& local = "/l/", const std::string& remote = "/r/",
               const std::string& host = "h") {
    CFileItem it(name);
    it.LocalDir = local;
    it.RemoteDir = remote;
    it.RemHost = host;
    return it;
}

std::vector<std::string> Names(const CProgramData& d, int p, int s, int b) { return d.GetBasketFileNames(p, s, b); }
}  // namespace

class ProgramDataTest : public ModelTest {
protected:
    // One project, one loaded session, one basket.
    void SetUp() override {
        ModelTest::SetUp();
        data.EnsureCurrentBasket();
        data.SetSessionLoaded(0, 0, true);
    }
    CProgramData data;
};

TEST_F(ProgramDataTest, NewObjectAndIndexChecks) {
    CProgramData fresh;
    EXPECT_EQ(fresh.m_ProjectList.m_strName, "All My Projects");
    EXPECT_EQ(fresh.GetProjectCount(), 0);
    EXPECT_EQ(fresh.GetClusterCount(), 0);
    EXPECT_TRUE(fresh.IsValidProject(true, 0));
    EXPECT_FALSE(fresh.IsValidProject(true, 1));
    EXPECT_FALSE(fresh.IsValidProject(true, -1));
    fresh.InsertProject("P", 0);
    EXPECT_TRUE(fresh.IsValidSession(true, 0, 0));
    EXPECT_FALSE(fresh.IsValidSession(false, 0, 0));
    EXPECT_FALSE(fresh.IsValidBasket(true, 1, 0, 0));
    EXPECT_TRUE(data.IsValidFileItem(true, 0, 0, 0, 0));
    EXPECT_FALSE(data.IsValidFileItem(false, 0, 0, 0, 0));
    // Neutral results on bad indices.
    EXPECT_EQ(data.GetFileItem(3, 0, 0, 0).FileName, "-na-");
    EXPECT_EQ(data.GetSessionName(0, 9), "");
    EXPECT_EQ(data.GetSessionPtr(-1, 0), nullptr);
    EXPECT_TRUE(data.GetBasketItems(0, 0, 5).empty());
    EXPECT_EQ(data.MakeBoxFileName(0, 4), "-?-");
    EXPECT_FALSE(data.InsertFileItems(0, 0, 3, -1, Item("x")));
}

TEST_F(ProgramDataTest, CopyIsIndependent) {
    data.InsertFileItems(0, 0, 0, -1, Item("a"));
    CProgramData copy = data;
    data.SetFileName(0, 0, 0, 0, "changed");
    EXPECT_EQ(copy.GetFileItem(0, 0, 0, 0).FileName, "a");
}

TEST_F(ProgramDataTest, InsertSessionsGetsDistinctNamesThatAvoidFilesOnDisk) {
    WriteFile(g_strSessionInfoDir + "Box01-Ses02-S.txt", "someone else's");
    EXPECT_TRUE(data.InsertSession("S", 0, 1));
    EXPECT_TRUE(data.InsertSession("S", 0, 2));
    EXPECT_FALSE(data.InsertSession("S", 0, 9));
    EXPECT_NE(data.GetBoxFileName(0, 1), "Box01-Ses02-S.txt");
    EXPECT_NE(data.GetBoxFileName(0, 1), data.GetBoxFileName(0, 2));
    CSession copy = data.GetSession(0, 1);
    EXPECT_TRUE(data.InsertSessionCopy(copy, 0, 3));
    EXPECT_TRUE(data.GetSessionPtr(0, 3)->IsLoaded);
    EXPECT_NE(data.GetBoxFileName(0, 3), copy.BoxFileName);
    // Names with a line break are refused where they are typed.
    EXPECT_FALSE(data.InsertProject("a\nb", 0));
    EXPECT_FALSE(data.InsertBasket("a\rb", 0, 0, 0));
    EXPECT_FALSE(data.SetSessionName(0, 0, "x\ny"));
    EXPECT_EQ(data.GetProjectCount(), 1);
}

TEST_F(ProgramDataTest, DeleteSessionRetiresItsWorkFileToDeprecated) {
    data.InsertSession("Gone", 0, 1);
    const std::string name = data.GetBoxFileName(0, 1);
    WriteFile(g_strSessionInfoDir + name, "new");
    WriteFile(g_strDeprecatedDir + name, "old");
    EXPECT_TRUE(data.DeleteSession(0, 1));
    EXPECT_EQ(data.GetSessionCount(0), 1);
    EXPECT_FALSE(fs::exists(g_strSessionInfoDir + name));
    EXPECT_EQ(ReadFile(g_strDeprecatedDir + name), "new");
    // A session without a work file just goes.
    data.InsertSession("NoFile", 0, 1);
    const auto before = std::distance(fs::directory_iterator(g_strDeprecatedDir), fs::directory_iterator());
    EXPECT_TRUE(data.DeleteSession(0, 1));
    EXPECT_EQ(std::distance(fs::directory_iterator(g_strDeprecatedDir), fs::directory_iterator()), before);
    EXPECT_FALSE(data.DeleteSession(0, 5));
}

TEST_F(ProgramDataTest, TreeGettersAndChooser) {
    data.InsertProject("Second", 1);
    data.InsertSession("Two", 1, 0);
    data.InsertBasket("B2", 0, 0, 1);
    data.InsertFileItems(0, 0, 0, -1, Item("a"));
    data.InsertFileItems(0, 0, 1, -1, Item("b"));
    data.InsertFileItems(0, 0, 1, 0, Item("c"));
    EXPECT_EQ(data.GetSessionItemCount(0, 0), 3);
    EXPECT_EQ(Names(data, 0, 0, 1), (std::vector<std::string>{"c", "b"}));
    EXPECT_EQ(data.GetBasketNames(0, 0), (std::vector<std::string>{"My Basket", "B2"}));
    auto rows = data.ListSessionsForChooser();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].number, "1");
    EXPECT_EQ(rows[1].project, "Second");
    EXPECT_FALSE(rows[1].loaded);
    CSession first;
    first.SessionName = "unchanged";
    CProgramData noSession;
    noSession.InsertProject("P", 0);
    EXPECT_FALSE(noSession.GetFirstSession(first));
    EXPECT_EQ(first.SessionName, "unchanged");
    // A first project without a session is passed over.
    noSession.InsertProject("Q", 1);
    noSession.InsertSession("Real", 1, 0);
    ASSERT_TRUE(noSession.GetFirstSession(first));
    EXPECT_EQ(first.SessionName, "Real");
    EXPECT_FALSE(CProgramData().GetFirstSession(first));
}

TEST_F(ProgramDataTest, SelectionsFollowDeletesAndStayInBounds) {
    data.InsertFileItems(0, 0, 0, -1, Item("a"));
    data.InsertFileItems(0, 0, 0, -1, Item("b", "/l/", "/r/", "beta.two"));
    data.InsertFileItems(0, 0, 0, -1, Item("c", "/l/", "/r/", "alpha.one"));
    data.InsertFileItems(0, 0, 0, -1, Item("d", "/l/", "/r/", "alpha.one"));
    data.SetSelection(0, 0, 0, {3, 1, 2});
    EXPECT_EQ(data.GetCurrentSelection(), (std::vector<int>{3, 1, 2}));
    // Each host once, in the order of the full names.
    EXPECT_EQ(data.GetSelectionStatusText(0, 0, 0), "3 selected (alpha, beta)");
    EXPECT_EQ(data.GetSelectionStatusText(0, 0, 7), "-?-");
    data.DeleteFileItem(0, 0, 0, 1);
    EXPECT_EQ(data.GetSelection(0, 0, 0), (std::vector<int>{2, 1}));
    EXPECT_EQ(Names(data, 0, 0, 0), (std::vector<std::string>{"a", "c", "d"}));
    data.ClearBasketItems(0, 0, 0);
    EXPECT_TRUE(data.GetSelection(0, 0, 0).empty());
    EXPECT_EQ(data.GetSelectionStatusText(0, 0, 0), "0 file selected");
    // A selection left pointing past the items is emptied on the spot.
    data.InsertFileItems(0, 0, 0, -1, Item("z", "/l/", "/r/", "10.0.0.7"));
    data.SetSelection(0, 0, 0, {0});
    EXPECT_EQ(data.GetSelectionStatusText(0, 0, 0), "1 selected (10.0.0.7)");
    data.m_ProjectList.m_Projects[0].m_Sessions[0].m_Baskets[0].m_Items.clear();
    EXPECT_EQ(data.GetSelectionStatusText(0, 0, 0), "---?---");
    EXPECT_EQ(trace.lines.back(), "Fixing mess...");
    EXPECT_TRUE(data.GetSelection(0, 0, 0).empty());
    // Operations on stale selections skip what does not exist.
    data.InsertFileItems(0, 0, 0, -1, Item("x"));
    data.ChangeFileNameCase(0, 0, 0, {0, 7, -1}, 2, "");
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).FileName, "X");
    data.ChangeFileNameCase(0, 0, 0, {0}, 3, "");
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).FileName, "X");
}

TEST_F(ProgramDataTest, FlagsPinsAndSwaps) {
    data.InsertFileItems(0, 0, 0, -1, Item("a"));
    data.InsertFileItems(0, 0, 0, -1, Item("b"));
    data.TogglePinned(0, 0, 0, 0, 8);
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).IsPinned, "IsPinned8");
    data.TogglePinned(0, 0, 0, 0, 9);
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).IsPinned, "");
    data.ToggleAsciiBinary(0, 0, 0, 0, false);
    data.ToggleAsciiBinary(0, 0, 0, 0, true);
    EXPECT_TRUE(data.GetFileItem(0, 0, 0, 0).IsBinaryFile);
    EXPECT_EQ(trace.lines.back(), "Now BINARY: a");
    data.ToggleAsciiBinary(0, 0, 0, 0, false);
    EXPECT_EQ(trace.lines.back(), "Now ASCII:  a");
    data.ToggleItemFlag(0, 0, 0, 1);
    EXPECT_TRUE(data.GetFileItem(0, 0, 0, 1).IsBatFile);
    data.SetSelection(0, 0, 0, {0});
    EXPECT_TRUE(data.SwapItems(0, 0, 0, 0, 1, 0, 1));
    EXPECT_EQ(Names(data, 0, 0, 0), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(data.GetSelection(0, 0, 0), std::vector<int>{1});
    EXPECT_FALSE(data.SwapItems(0, 0, 0, 1, 2, 0, 1));
}

TEST_F(ProgramDataTest, SortSelectedItems) {
    g_bSortAscend = false;
    g_bSortMatchCase = false;
    for (const char* n : {"b", "A", "c"}) data.InsertFileItems(0, 0, 0, -1, Item(n));
    data.SortSelectedItems(0, 0, 0, {0, 1, 2}, 0);
    EXPECT_EQ(Names(data, 0, 0, 0), (std::vector<std::string>{"c", "b", "A"}));

    // Equal names: the local folder decides, smallest first, either direction.
    for (bool asc : {true, false}) {
        g_bSortAscend = asc;
        data.ClearBasketItems(0, 0, 0);
        data.InsertFileItems(0, 0, 0, -1, Item("f", "/y/"));
        data.InsertFileItems(0, 0, 0, -1, Item("f", "/x/"));
        data.SortSelectedItems(0, 0, 0, {0, 1}, 0);
        EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).LocalDir, "/x/");
    }

    // Repeated selection entries never duplicate an item.
    g_bSortAscend = true;
    data.ClearBasketItems(0, 0, 0);
    for (const char* n : {"z", "y", "x"}) data.InsertFileItems(0, 0, 0, -1, Item(n));
    data.SortSelectedItems(0, 0, 0, {2, 0, 2, 0, 9}, 0);
    auto names = Names(data, 0, 0, 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 1).FileName, "y");

    // By length, then name.
    data.ClearBasketItems(0, 0, 0);
    for (const char* n : {"ccc", "bb", "ab", "a"}) data.InsertFileItems(0, 0, 0, -1, Item(n));
    data.SortSelectedItems(0, 0, 0, {0, 1, 2, 3}, 2);
    EXPECT_EQ(Names(data, 0, 0, 0), (std::vector<std::string>{"a", "ab", "bb", "ccc"}));
    // Hosts that differ only in case keep a valid order without trouble.
    data.ClearBasketItems(0, 0, 0);
    for (int i = 0; i < 200; ++i)
        data.InsertFileItems(0, 0, 0, -1, Item("f" + std::to_string(i % 7), "/l/", "/r/", i % 2 ? "HOST" : "host"));
    std::vector<int> all(200);
    for (int i = 0; i < 200; ++i) all[i] = i;
    data.SortSelectedItems(0, 0, 0, all, 1);
    EXPECT_EQ(data.GetFileItemCount(0, 0, 0), 200);

    data.InsertBasket("b", 0, 0, 1);
    data.InsertBasket("C", 0, 0, 2);
    data.InsertBasket("a", 0, 0, 3);
    g_bSortMatchCase = false;
    data.SortBaskets(0, 0);
    EXPECT_EQ(data.GetBasketNames(0, 0), (std::vector<std::string>{"a", "b", "C", "My Basket"}));
}

TEST_F(ProgramDataTest, ItemDirsFromOutputAndRemoteLocation) {
    for (const char* n : {"a", "b", "c"}) data.InsertFileItems(0, 0, 0, -1, Item(n));
    EXPECT_FALSE(data.SetItemDirsFromOutput(0, 0, 0, {0, 1, 2}, 1, "/x/\r\n/y/"));
    EXPECT_EQ(prompter.Messages().back(), "Insufficient number of lines in Output Window.");
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).LocalDir, "/l/");
    EXPECT_TRUE(data.SetItemDirsFromOutput(0, 0, 0, {2, 1, 0}, 2, "/1/\r\n/2/\r\n/3/"));
    EXPECT_EQ(prompter.Messages().back(), "Successful.");
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 2).RemoteDir, "/1/");
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).RemoteDir, "/3/");
    // Lone CR line ends; a folder without its separator gets one, a VMS one keeps its "]".
    EXPECT_TRUE(data.SetItemDirsFromOutput(0, 0, 0, {0, 1}, 2, "/srv/www\rDISK:[A.B]"));
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).RemoteDir, "/srv/www/");
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 1).RemoteDir, "DISK:[A.B]");
    EXPECT_TRUE(data.SetItemDirsFromOutput(0, 0, 0, {0}, 1, "/home/me/src"));
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).LocalDir, "/home/me/src/");

    CFileItem src = Item("s", "/l/", "/src/", "srchost");
    src.RemUser = "srcuser";
    data.InsertFileItems(0, 0, 0, -1, src);
    data.CopyRemoteLocation(0, 0, 0, {0, 1}, 0, 0, 0, 3);
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 1).RemHost, "srchost");
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 1).RemUser, "srcuser");
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 2).RemHost, "h");
}

TEST_F(ProgramDataTest, TransferResultsReachEveryLoadedCopy) {
    data.InsertBasket("B2", 0, 0, 1);
    data.InsertFileItems(0, 0, 0, -1, Item("a"));
    data.InsertFileItems(0, 0, 1, -1, Item("a"));
    data.InsertSession("Unloaded", 0, 1);
    data.GetSessionPtr(0, 1)->m_Baskets.emplace_back();
    data.GetSessionPtr(0, 1)->m_Baskets[0].m_Items.push_back(Item("a"));
    CFileItem result = Item("a");
    result.IsFTPed = "Yes";
    result.RemoteModTime = 12345;
    data.ApplyTransferStatus(result);
    data.ApplyTransferTimes(result);
    EXPECT_EQ(data.GetFileItem(0, 0, 1, 0).IsFTPed, "Yes");
    EXPECT_EQ(data.GetFileItem(0, 0, 1, 0).RemoteModTime, 12345);
    EXPECT_EQ(data.GetFileItem(0, 1, 0, 0).IsFTPed, "No");
    result.IsFTPed = "failed";
    data.ApplyTransferStatus(result);
    result.RemoteModTime = 999;
    data.ApplyTransferTimes(result);
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).RemoteModTime, 12345);
}

TEST_F(ProgramDataTest, LookupsAndBinaryExtensions) {
    std::vector<CFileItem> items = {Item("a", "/x/", "/r1/")};
    EXPECT_TRUE(FindItemByLocalDir(items, Item("a", "/x/")));
    EXPECT_FALSE(FindItemByLocalDir(items, Item("A", "/x/")));
    EXPECT_TRUE(FindItemByRemoteDir(items, Item("a", "/other/", "/r1/")));
    std::vector<CFileItem*> ptrs = {&items[0]};
    EXPECT_TRUE(FindItemPtrByLocalDir(ptrs, Item("a", "/x/")));
    EXPECT_FALSE(FindItemByLocalDir({}, Item("a")));

    EXPECT_EQ(SplitBySeparator("a, b;;c  d,"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(SplitBySeparator("").empty());
    EXPECT_TRUE(SplitBySeparator(" ,; ").empty());
    g_bUseBinExt = true;
    g_strBinExtStr = ".zip, .exe;";
    EXPECT_TRUE(IsBinaryByExtension("Report.ZIP"));
    EXPECT_TRUE(IsBinaryByExtension("setup.exe"));
    EXPECT_FALSE(IsBinaryByExtension(""));
    EXPECT_TRUE(IsBinaryByExtension("a.zip.zip"));
    EXPECT_FALSE(IsBinaryByExtension("zipper.txt"));
    g_bUseBinExt = false;
    EXPECT_FALSE(IsBinaryByExtension("a.zip"));
}

TEST_F(ProgramDataTest, SessionHostAndItemAttributes) {
    data.AddCluster("C", 0);
    data.AddHost("alpha", "bob", "pw", 0, 0);
    CSession* se = data.GetSessionPtr(0, 0);
    se->Host = "ALPHA";
    se->User = "Bob";
    se->RemoteDir = "/dir/";
    se->LocalDir = "/loc/";
    data.SelectSessionHost(0, 0);
    EXPECT_EQ(g_CurrentAccount.m_strPassword, "pw");
    EXPECT_EQ(data.GetHost(0, 0).m_strLastFolder, "/dir/");
    EXPECT_EQ(g_sDefaultLocalDir, "/loc/");
    se->Host = "unknown";
    data.SelectSessionHost(0, 0);
    EXPECT_EQ(g_CurrentAccount.m_strHost, "unknown");
    EXPECT_EQ(g_CurrentAccount.m_strPassword, "");
    EXPECT_EQ(g_CurrentAccount.m_strHostType, "");

    CFileItem noUser = Item("a");
    noUser.RemUser = "";
    data.InsertFileItems(0, 0, 0, -1, noUser);
    se->Host = "alpha";
    se->User = "bob";
    data.SetItemAttributesEx(0, 0, 0, {0, 5});
    data.SetItemAttributes(0, 0, 0, {0, 5});
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).RemHost, "alpha");
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).RemPassword, "pw");

    data.SetLocationField(5, "/new/", 0, 0, 0, {0});
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).RemoteDir, "/new/");
    EXPECT_EQ(se->RemoteDir, "/new/");
    EXPECT_EQ(g_CurrentAccount.m_strLastFolder, "/new/");
    data.FillEmptyItemDirs(0, 0);
}

TEST_F(ProgramDataTest, TheCurrentConnectionBecomesTheSessionsWithoutEmptyingIt) {
    CProgramData d;
    d.InsertProject("P", 0);
    d.InsertSession("S", 0, 0);
    CSession* se = d.GetSessionPtr(0, 0);
    se->Host = "build.example.com";
    se->User = "alice";
    se->RemoteDir = "/src/";
    se->LocalDir = "/home/alice/src/";
    const CHost savedAccount = g_CurrentAccount;
    const std::string savedLocal = g_sDefaultLocalDir;
    // No connection yet: the session keeps everything.
    g_CurrentAccount = CHost();
    d.ApplyCurrentHostToSession(0, 0);
    EXPECT_EQ(se->Host, "build.example.com");
    EXPECT_EQ(se->User, "alice");
    EXPECT_EQ(se->RemoteDir, "/src/");
    // A connection without a last folder: host and user only.
    g_CurrentAccount = CHost("www.example.com", "bob", "pw");
    g_sDefaultLocalDir.clear();
    d.ApplyCurrentHostToSession(0, 0);
    EXPECT_EQ(se->Host, "www.example.com");
    EXPECT_EQ(se->User, "bob");
    EXPECT_EQ(se->RemoteDir, "/src/");
    EXPECT_EQ(se->LocalDir, "/home/alice/src/");
    g_CurrentAccount.m_strLastFolder = "/var/www/";
    g_sDefaultLocalDir = "/home/bob/";
    d.ApplyCurrentHostToSession(0, 0);
    EXPECT_EQ(se->RemoteDir, "/var/www/");
    EXPECT_EQ(se->LocalDir, "/home/bob/");
    g_CurrentAccount = savedAccount;
    g_sDefaultLocalDir = savedLocal;
}
