// The rules of the remote browser, the delete procedures, the collection's
// order and local folders, and the terminal launch, without a server.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "RemoteFixture.h"
#include "model/WorkArea.h"
#include "remote/AccountRules.h"
#include "remote/Collect.h"
#include "remote/RemoteBrowser.h"
#include "remote/RemoteDelete.h"
#include "remote/TerminalLaunch.h"

namespace {

TEST(BrowserFilters, KeepAndExcludeWordsHideFilesOnly) {
    EXPECT_TRUE(PassesNameFilters("main.c", "*.*", ""));
    EXPECT_TRUE(PassesNameFilters("main.c", "*", ""));
    EXPECT_FALSE(PassesNameFilters("main.c", "", ""));  // an empty keep hides every file
    EXPECT_TRUE(PassesNameFilters("main.cpp", "*.cpp", ""));
    EXPECT_FALSE(PassesNameFilters("main.c", "*.cpp", ""));
    // Two words: either one keeps the name; matching is case-sensitive.
    EXPECT_TRUE(PassesNameFilters("notes.txt", ".c .txt", ""));
    EXPECT_TRUE(PassesNameFilters("util.c", ".c;.txt", ""));
    EXPECT_FALSE(PassesNameFilters("NOTES.TXT", ".c,.txt", ""));
    EXPECT_FALSE(PassesNameFilters("main.c", "*.*", "*"));
    EXPECT_FALSE(PassesNameFilters("old.bak", "*.*", "bak, tmp"));
    EXPECT_TRUE(PassesNameFilters("old.txt", "*.*", "bak, tmp"));
}

TEST(BrowserPaths, FoldersAreNormalisedAndChildrenBuiltPerHostType) {
    std::string f = "/home/a";
    NormalizeRemoteFolder(f);
    EXPECT_EQ(f, "/home/a/");
    f = "//home//a//";
    NormalizeRemoteFolder(f);
    EXPECT_EQ(f, "/home/a/");
    f = "[USER.A]";
    NormalizeRemoteFolder(f);
    EXPECT_EQ(f, "[USER.A]");
    f = "/home/a/d [1]";
    NormalizeRemoteFolder(f);
    EXPECT_EQ(f, "/home/a/d [1]/");
    f = "";
    NormalizeRemoteFolder(f);
    EXPECT_EQ(f, "");
    EXPECT_EQ(ChildRemoteFolder("/u", "src", "UNIX"), "/u/src/");
    EXPECT_EQ(ChildRemoteFolder("/u/", "src", "UNIX"), "/u/src/");
    EXPECT_EQ(ChildRemoteFolder("[USER.A]", "B", "VMS"), "[USER.A.B]");
    EXPECT_EQ(ListingSummaryText(2, 1), "2 directories, 1 file found.");
    EXPECT_EQ(ListingSummaryText(1, 0), "1 directory found.");
    EXPECT_EQ(ListingSummaryText(0, 3), "3 files found.");
    EXPECT_EQ(ListingSummaryText(0, 0), "Empty...");
    EXPECT_EQ(BrowserCaption("*.DIR", "alpha.example.com"), "Directory - ALPHA");
    EXPECT_EQ(BrowserCaption("*.*", "10.1.2.3"), "Files - 10.1.2.3");
    for (const char* bad : {"", ".", "..", "a/b", "../x"}) EXPECT_FALSE(IsUsableListedName(bad)) << bad;
    EXPECT_TRUE(IsUsableListedName("my file.txt"));
    EXPECT_TRUE(IsUsableListedName("...dots"));
}

TEST(DeleteProcedures, ScriptNameIsCutTo31BeforeItsSuffix) {
    const std::time_t t = 1700000000;
    std::string n = MakeUniqueScriptName(".txt", t, "a-very-long-host-name.example.com");
    EXPECT_EQ(n.size(), 35u);
    EXPECT_EQ(n.substr(0, 9), "_DEL_QVL_");
    EXPECT_EQ(n.substr(31), ".txt");
    // Bytes a shell or DCL would read are never part of the name.
    n = MakeUniqueScriptName(".COM", t, "ho st;$`x");
    EXPECT_EQ(n.find_first_of(" ;$`"), std::string::npos) << n;
    EXPECT_EQ(n.substr(n.size() - 4), ".COM");
}

TEST(DeleteProcedures, UnixScriptQuotesNamesStopsOnABadFolderAndNeverOpensModes) {
    auto l = UnixDeleteScript("_DEL_QVL_1.txt", "/home/it's here", {"my file.txt", "-rf", "plain"}, false);
    ASSERT_GE(l.size(), 12u);
    EXPECT_EQ(l[0], "BIN_SH=xpg4");
    EXPECT_EQ(l[3], "# _DEL_QVL_1.txt");
    EXPECT_EQ(l[7], "cd '/home/it'\\''s here' || exit 1");
    EXPECT_EQ(l[8], "rm -f -- 'my file.txt'");
    EXPECT_EQ(l[9], "rm -f -- -rf");
    EXPECT_EQ(l[10], "rm -f -- plain");
    EXPECT_EQ(l[11], "rm -f -- _DEL_QVL_1.txt");
    EXPECT_EQ(l.back(), "BIN_SH=xpg4");
    auto d = UnixDeleteScript("_DEL_QVL_2.txt", "/w", {"tree dir", "second"}, true);
    std::string all;
    for (auto& s : d) all += s + "\n";
    EXPECT_NE(all.find("rm -rf -- 'tree dir'\n"), std::string::npos) << all;
    EXPECT_EQ(all.find("second"), std::string::npos);  // only the first folder goes
    EXPECT_EQ(all.find("777"), std::string::npos);
}

TEST(DeleteProcedures, DclRefusesUnsafeValuesAndBoundsItsWaitLoop) {
    std::vector<std::string> l;
    std::string err;
    EXPECT_FALSE(VmsDeleteScript("_DEL_QVL_1.COM", "[USER.A]", {"A B.TXT"}, false, l, err));
    EXPECT_NE(err.find("A B.TXT"), std::string::npos);
    EXPECT_FALSE(VmsDeleteScript("_DEL_QVL_1.COM", "[USER.A]'X'", {"A.TXT"}, false, l, err));
    ASSERT_TRUE(VmsDeleteScript("_DEL_QVL_1.COM", "DISK$1:[USER.A]", {"A.TXT", "B.C"}, false, l, err));
    EXPECT_EQ(l[0], "$!" + std::string(57, '='));
    EXPECT_EQ(l[10], "$ set default DISK$1:[USER.A]");
    EXPECT_EQ(l[12], "$ set prot A.TXT; /prot=o:rwed");
    EXPECT_EQ(l[13], "$ del A.TXT;*");
    EXPECT_EQ(l[l.size() - 2], "$ del _DEL_QVL_1.COM;");
    ASSERT_TRUE(VmsDeleteScript("_DEL_QVL_1.COM", "[USER]", {"SRC"}, true, l, err));
    std::string all;
    for (auto& s : l) all += s + "\n";
    EXPECT_NE(all.find("$   del [.SRC...]*.*;*\n"), std::string::npos);
    EXPECT_NE(all.find("(tries .lt. 20) then goto loop"), std::string::npos) << all;
    EXPECT_EQ(RemoteScriptPath("VMS", "[USER]", "X.COM"), "[USER]X.COM");
    EXPECT_EQ(RemoteScriptPath("UNIX", "/home/u", "x.txt"), "/home/u/x.txt");
}

TEST(Collection, EntriesSortByFolderThenByteOrderedName) {
    std::vector<CDirEntry> e(4);
    e[0].strRemoteDir = "/u/src/Lib/"; e[0].strName = "b";
    e[1].strRemoteDir = "/u/src/"; e[1].strName = "b";
    e[2].strRemoteDir = "/u/src/"; e[2].strName = "B";
    e[3].strRemoteDir = "/u/src/a/"; e[3].strName = "z";
    std::stable_sort(e.begin(), e.end(), RecursiveEntryLess);
    EXPECT_EQ(e[0].strName, "B");  // upper case first in one folder
    EXPECT_EQ(e[1].strName, "b");
    EXPECT_EQ(e[2].strRemoteDir, "/u/src/a/");
    EXPECT_EQ(e[3].strRemoteDir, "/u/src/Lib/");
}

TEST(Collection, LocalFoldersMirrorTheTreeAndNeverLeaveTheRoot) {
    EXPECT_EQ(MapLocalFolderPath("UNIX", "/u/src/Lib/Net/", "/u/src/", "/work/"), "/work/Lib/Net/");
    EXPECT_EQ(MapLocalFolderPath("UNIX", "/u/src/", "/u/src/", "/work/"), "/work/");
    EXPECT_EQ(MapLocalFolderPath("UNIX", "/other/x/", "/u/src/", "/work/"), "");
    EXPECT_EQ(MapLocalFolderPath("VMS", "[USER.SRC.LIB]", "[USER.SRC]", "/work/"), "/work/lib/");
    // A start folder that climbs with ".." maps to nothing rather than outside.
    EXPECT_EQ(MapLocalFolderPath("UNIX", "/u/src/../../etc/", "/u/src/", "/work/"), "");
    std::vector<CDirEntry> e(3);
    e[0].strRemoteDir = "/r/"; e[1].strRemoteDir = "/r/A/"; e[2].strRemoteDir = "/r/a/";
    std::vector<FolderRecord> rec;
    AssignLocalFolders("UNIX", "/r/", true, "/l/", e, rec);
    EXPECT_EQ(e[0].strLocalDir, "/l/");
    // "A/" and "a/" are two folders on the server and stay two here.
    EXPECT_EQ(e[1].strLocalDir, "/l/A/");
    EXPECT_EQ(e[2].strLocalDir, "/l/a/");
    EXPECT_NE(e[1].nIndex, e[2].nIndex);
    AssignLocalFolders("UNIX", "/r/", false, "/l/", e, rec);
    for (auto& x : e) EXPECT_EQ(x.strLocalDir, "/l/");
    // In one local folder, same-named files of the tree would be one file:
    // only the first is collected, the others are listed.
    for (auto& x : e) x.strName = "same.c";
    e[1].strName = "other.c";
    EXPECT_EQ(RefuseSharedLocalPaths(e), 1u);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].strRemoteDir, "/r/");
    EXPECT_EQ(e[1].strName, "other.c");
    std::vector<CDirEntry> t(1);
    t[0].strName = "a.c"; t[0].strRemoteDir = "/r/"; t[0].strLocalDir = "/l/";
    EXPECT_EQ(CollectedEntriesText(t), "   1. a.c /r/ /l/\r\n" + std::string(62, '=') + "\r\n");
}

class TerminalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProgramOptions();
        oldPrompter = SetPrompter(&prompter);
        savedTemp = g_strLoadingTempDir;
        g_strLoadingTempDir = tmp.dir();
        data.m_Vault.m_Clusters.push_back(CCluster("C"));
        CHost h("alpha.beta", "joe", "pw");
        h.m_strHostType = "UNIX";
        data.m_Vault.m_Clusters[0].m_Hosts.push_back(h);
        // A fake terminal program that writes its arguments, one a line.
        bin = tmp / "bin";
        std::filesystem::create_directories(bin);
        fake = "#!/bin/sh\n{ for a in \"$@\"; do echo \"$a\"; done; echo END; } > " + tmp / "argv.tmp" +
               " && mv " + tmp / "argv.tmp" + " " + tmp / "argv.txt" + "\n";
        for (const char* n : {"x-terminal-emulator", "myterm"}) {
            WriteFile(bin + "/" + n, fake);
            ::chmod((bin + "/" + n).c_str(), 0755);
        }
        path = std::make_unique<ScopedEnv>("PATH", (bin + ":/usr/bin:/bin").c_str());
    }
    void TearDown() override {
        SetPrompter(oldPrompter);
        g_strLoadingTempDir = savedTemp;
        ResetProgramOptions();
    }
    std::string Recorded() {
        qvltest::WaitFor([&] { return std::filesystem::exists(tmp / "argv.txt"); }, 5000);
        return ReadFile(tmp / "argv.txt");
    }
    TempDir tmp;
    std::string bin, savedTemp, fake;
    std::unique_ptr<ScopedEnv> path;
    RecordingPrompter prompter;
    IPrompter* oldPrompter = nullptr;
    CProgramData data;
};

TEST_F(TerminalTest, KindsFollowTheOptionText) {
    EXPECT_EQ(ClassifyTerminalProgram(""), 0);
    EXPECT_EQ(ClassifyTerminalProgram("cmd (Windows built-in Telnet)"), 0);
    EXPECT_EQ(ClassifyTerminalProgram("/opt/cmdtools/term"), 0);
    EXPECT_EQ(ClassifyTerminalProgram("/opt/termtools/TTPMACRO.EXE"), 1);
    EXPECT_EQ(ClassifyTerminalProgram("/opt/tools/term"), 2);
    EXPECT_EQ(HostListText("alpha.beta", "joe"), "alpha ~ joe");
    EXPECT_EQ(TelnetScriptName("Alpha.Beta", "Joe"), "alpha_joe.txt");
    EXPECT_EQ(TelnetScriptName("10.1.2.3", "joe"), "10.1.2.3_joe.txt");
    EXPECT_EQ(TelnetScriptName("h", "../../x y"), "h_.._.._x_y.txt");
    EXPECT_EQ(TelnetScriptName("h", "a/b").find('/'), std::string::npos);
}

TEST_F(TerminalTest, TheBuiltInTelnetStartsWithAnArgumentList) {
    ASSERT_TRUE(LaunchTelnet(data, "alpha.beta", "joe; rm -rf x", "pw", false));
    EXPECT_EQ(Recorded(), "-e\ntelnet\n-l\njoe; rm -rf x\nalpha.beta\nEND\n");
}

TEST_F(TerminalTest, NamesBeginningWithADashAreRefused) {
    EXPECT_FALSE(LaunchTelnet(data, "-oProxyCommand=x", "joe", "pw", false));
    EXPECT_FALSE(LaunchTelnet(data, "alpha", "-x", "pw", false));
    EXPECT_EQ(prompter.Messages().size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(tmp / "argv.txt"));
}

TEST_F(TerminalTest, AMacroProgramGetsAPrivateScriptAndOtherProgramsNoArguments) {
    g_strTelnet = bin + "/ttpmacro";
    WriteFile(g_strTelnet, fake);
    ::chmod(g_strTelnet.c_str(), 0755);
    ASSERT_TRUE(LaunchTelnet(data, "alpha.beta", "joe", "s3cret", false));
    const std::string script = tmp.dir() + "alpha_joe.txt";
    EXPECT_EQ(Recorded(), "/I\n" + script + "\nEND\n");
    struct stat st {};
    ASSERT_EQ(::stat(script.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string text = ReadFile(script);
    EXPECT_NE(text.find("connect 'alpha.beta'\nUsernamePrompt = 'login:'\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Password = 's3cret'\n"), std::string::npos);
    EXPECT_EQ(text.substr(0, 53), ";" + std::string(52, '-'));
    // A quote in a value never ends its string early; a value no string of
    // the macro language can hold starts nothing.
    std::filesystem::remove(tmp / "argv.txt");
    ASSERT_TRUE(LaunchTelnet(data, "alpha.beta", "joe", "it's", false));
    EXPECT_NE(ReadFile(script).find("Password = \"it's\"\n"), std::string::npos);
    EXPECT_EQ(Recorded(), "/I\n" + script + "\nEND\n");
    std::filesystem::remove(tmp / "argv.txt");
    EXPECT_FALSE(LaunchTelnet(data, "alpha.beta", "joe", "a'\"b", false));
    EXPECT_FALSE(LaunchTelnet(data, "alpha.beta", "jo'e\"", "pw", false));
    EXPECT_FALSE(std::filesystem::exists(tmp / "argv.txt"));
    ASSERT_EQ(prompter.Messages().size(), 2u);
    EXPECT_EQ(prompter.Messages()[0].find("a'"), std::string::npos);  // the password is never shown
    g_strTelnet = "myterm";
    ASSERT_TRUE(LaunchTelnet(data, "alpha.beta", "joe", "s3cret", false));
    EXPECT_EQ(Recorded(), "END\n");
}

TEST_F(TerminalTest, AScriptThatCannotBeWrittenStartsNothingAndAMissingProgramIsReported) {
    g_strTelnet = bin + "/ttpmacro";
    g_strLoadingTempDir = tmp / "missing/";
    EXPECT_FALSE(LaunchTelnet(data, "alpha.beta", "joe", "pw", false));
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Failed to create script file."});
    g_strTelnet = "no-such-terminal-program";
    EXPECT_FALSE(LaunchTelnet(data, "alpha.beta", "joe", "pw", false));
    EXPECT_EQ(prompter.Messages().back(), "Failed to execute the command: no-such-terminal-program");
}

TEST_F(TerminalTest, ChooserEntriesAndThePreselectedAccount) {
    data.m_Vault.m_Clusters[0].m_Hosts.push_back(CHost("10.0.0.7", "root", "x"));
    const auto all = GetAllHosts(data.m_Vault);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(TelnetChooserEntries(all), (std::vector<std::string>{"alpha ~ joe", "10.0.0.7 ~ root", "cmd"}));
    auto open = [](const CHost& h) { return h.m_strUser == "joe"; };
    EXPECT_EQ(BrowseChooserEntries(all, open),
              (std::vector<std::string>{"alpha ~ joe      + Up", "10.0.0.7 ~ root", "New host"}));
    EXPECT_EQ(PreselectedHostIndex(all, CHost("10.0.0.7", "root")), 1);
    EXPECT_EQ(PreselectedHostIndex(all, CHost("ALPHA.BETA", "joe")), 0);
    EXPECT_EQ(PreselectedHostIndex(all, CHost("10.0.0.7", "ROOT")), 0);
    EXPECT_EQ(TelnetChooserEntries({}), std::vector<std::string>{"cmd"});
}

}  // namespace

namespace {

TEST(AccountRules, StatusLineNamesTheIdleSpanInWords) {
    EXPECT_EQ(IdleTimeText(3723), "Idle time: 1 hour 2 minutes 3 seconds.");
    EXPECT_EQ(IdleTimeText(120), "Idle time: 2 minutes ");
    EXPECT_EQ(IdleTimeText(90061), "Idle time: 1 day 1 hour 1 minute 1 second.");
    EXPECT_EQ(IdleTimeText(0), "");
    EXPECT_EQ(ConnectionStatusText(false, 0, 0), "Not connected.");
    const std::time_t t = 1700000000;
    char when[32];
    std::tm tm{};
    localtime_r(&t, &tm);
    std::strftime(when, sizeof when, "%m/%d/%y %H:%M:%S", &tm);
    EXPECT_EQ(ConnectionStatusText(true, t, t), std::string("Connected at ") + when + ". ");
    EXPECT_EQ(ConnectionStatusText(true, t, t + 5), std::string("Connected at ") + when + ". Idle time: 5 seconds.");
}

TEST(AccountRules, DuplicatesIgnoreTheHostsCaseButNotTheUsers) {
    CAccountVault v;
    v.m_Clusters.push_back(CCluster("C"));
    v.m_Clusters[0].m_Hosts.push_back(CHost("alpha", "joe", "a"));
    v.m_Clusters[0].m_Hosts.push_back(CHost("beta", "joe", "a"));
    v.m_Clusters.push_back(CCluster("D"));
    v.m_Clusters[1].m_Hosts.push_back(CHost("gamma", "Joe", "b"));
    EXPECT_EQ(CheckAccountEdit(v, "", "joe", "alpha", "joe").message, "Empty Host");
    EXPECT_EQ(CheckAccountEdit(v, "alpha", "", "alpha", "joe").message, "Empty User");
    EXPECT_EQ(CheckAccountEdit(v, "alpha", "joe", "alpha", "joe", "new pw").message, "");  // only the password changed
    for (const std::string& pw : {std::string("new\npw"), std::string("new\rpw"), std::string("new\0pw", 6)})
        EXPECT_EQ(CheckAccountEdit(v, "alpha", "joe", "alpha", "joe", pw).focusId, 1642);
    EXPECT_EQ(CheckAccountEdit(v, "ALPHA", "joe", "alpha", "joe").message,
              "This account already exists. Please change HOST or USER");
    EXPECT_EQ(CheckAccountEdit(v, "alpha", "JOE", "alpha", "joe").message, "");
    const auto rows = AccountsOfUser(v, "joe");
    ASSERT_EQ(rows.size(), 2u);  // "Joe" is another user
    EXPECT_EQ(CommonPassword(v, rows), "a");
    EXPECT_EQ(CommonPassword(v, {{0, 0}, {1, 0}}), "");
    EXPECT_EQ(SelectionCountText(0, 5), "Total 5 machines");
    EXPECT_EQ(SelectionCountText(0, 1), "Total 1 machine");
    EXPECT_EQ(SelectionCountText(2, 5), "2 / 5 selected");
    PasswordRefill refill("alpha", "joe");
    EXPECT_FALSE(refill.NeedsRefill("Alpha", "joe"));
    EXPECT_TRUE(refill.NeedsRefill("beta", "joe"));
    EXPECT_FALSE(refill.NeedsRefill("beta", "joe"));
}

}  // namespace
