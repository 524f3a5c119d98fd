#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <utime.h>

#include "RemoteFixture.h"
#include "remote/AutoCreateDirs.h"
#include "remote/RemoteBuild.h"
#include "remote/RemoteScripts.h"
#include "remote/RexecClient.h"

using namespace qvltest;

namespace {

CFileItem CommandItem(const std::string& name, const std::string& remoteDir) {
    CFileItem it(name);
    it.RemoteDir = remoteDir;
    return it;
}

TEST(RemoteScripts, NameStampAndHostNameCutTo31Characters) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 6;
    tm.tm_hour = 7;
    tm.tm_min = 39;
    tm.tm_sec = 12;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    EXPECT_EQ(MakeUniqueRemoteName("_FTP_", ".txt", t, "buildhost"), "_FTP_1206073912buildhost.txt");
    EXPECT_EQ(MakeUniqueRemoteName("_FTP_", ".txt", t, "abcdefghijklmnopqrst"),
              "_FTP_1206073912abcdefghijklmnop.txt");
}

TEST(RemoteScripts, ShellWrapperQuotesValuesAndStopsWhenTheFolderIsMissing) {
    std::string text = MakeShellScriptText("_FTP_x.txt", CommandItem("my build.sh", "/home/ann/it's/"));
    EXPECT_EQ(text,
              "BIN_SH=xpg4\n"
              "export BIN_SH\n"
              "# \n"
              "# _FTP_x.txt\n"
              "# This commmand procedure should be deleted automatically. \n"
              "# If not, please feel free to delete it. \n"
              "# \n"
              "cd '/home/ann/it'\\''s/' || exit 1\n"
              "chmod u+x -- 'my build.sh'\n"
              "sh -- 'my build.sh'\n"
              "cd\n"
              "echo \"_______________ E x e c u t i o n    C o m p l e t e d ______________\"\n"
              "BIN_SH=xpg4\n");
    EXPECT_EQ(std::string(kExecutionCompletedBanner).size(), 69u);
    EXPECT_EQ(QuoteShellWord("plain-name_1.sh"), "plain-name_1.sh");
    EXPECT_EQ(QuoteShellWord("$(rm -rf ~)"), "'$(rm -rf ~)'");
    EXPECT_EQ(QuoteShellWord(""), "''");
}

TEST(RemoteScripts, DclProcedureAndItsRefusalOfUnsafeCharacters) {
    EXPECT_EQ(MakeDclProcedureText("_FTP_x.txt", CommandItem("BUILD.COM", "DKA0:[ANN.SRC]")),
              "$! SYS$LOGIN:_FTP_x.txt\n"
              "$! This commmand procedure should be deleted automatically. \n"
              "$! If not, please feel free to delete it. \n"
              "$ SET NOON\n"
              "$ SET DEFAULT DKA0:[ANN.SRC]\n"
              "$ @BUILD.COM\n"
              "$ SET DEFAULT SYS$LOGIN\n"
              "write sys$output \"_______________ E x e c u t i o n    C o m p l e t e d ______________\"\n");
    TempDir root;
    ScopedEnv env("QVL_ROOT", root.path().c_str());
    std::string local, remote, message;
    EXPECT_FALSE(WriteDclCommandProcedure(local, remote,
                                          CommandItem("BUILD.COM", "DKA0:[ANN]\n$ DELETE *.*;*"),
                                          message));
    EXPECT_NE(message.find("cannot be used in a VMS command procedure"), std::string::npos);
    EXPECT_TRUE(WriteDclCommandProcedure(local, remote, CommandItem("BUILD.COM", "DKA0:[ANN]"), message));
    EXPECT_EQ(remote.rfind("SYS$LOGIN:_FTP_", 0), 0u);
    EXPECT_EQ(local.rfind(root.path() + "/", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(local.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(RemoteBuildTexts, HostTypeFromTheFolderAndTheOutputForTheInputWindow) {
    EXPECT_EQ(RemoteHostTypeOf("/home/ann/src/"), "UNIX");
    EXPECT_EQ(RemoteHostTypeOf("DKA0:[ANN.SRC]"), "VMS");
    EXPECT_EQ(RemoteHostTypeOf("[X]/a"), "UNIX");
    EXPECT_EQ(RemoteHostTypeOf("[X]"), "VMS");
    EXPECT_EQ(RemoteHostTypeOf("]X"), "");
    EXPECT_EQ(RemoteHostTypeOf("ANN"), "");
    EXPECT_EQ(FinishRemoteBuild("\r\nok\n"), "ok\r\n");
    EXPECT_EQ(FinishRemoteBuild("\r\n\r\nok"), "\r\nok\r\n");
    EXPECT_EQ(FinishRemoteBuild(""), "");
    // Output that already has CR LF keeps single CR LF line ends.
    EXPECT_EQ(FinishRemoteBuild("a\r\nb\nc"), "a\r\nb\r\nc\r\n");
}

class RemoteBuildStart : public RemoteEngineTest {
protected:
    void SetUp() override {
        RemoteEngineTest::SetUp();
        env = std::make_unique<ScopedEnv>("QVL_ROOT", root.path().c_str());
    }
    TempDir root, local;
    std::unique_ptr<ScopedEnv> env;
    RecordingPrompter prompter;
};

TEST_F(RemoteBuildStart, RefusalsLeaveTheFtpSlotFree) {
    ScopedPrompter scoped(prompter);
    CFileItem it = MakeItem("b.sh", "h", "u", "/r/", local.dir());
    AddItem(it);  // not marked as a command file
    it.IsBatFile = true;
    AddItem(it);  // local file missing
    WriteFile(local / "c.sh", "x");
    CFileItem c = MakeItem("c.sh", "h", "u", "", local.dir());
    c.IsBatFile = true;
    AddItem(c);  // no remote folder
    c.RemoteDir = "PLAIN";
    AddItem(c);  // neither form
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(StartRemoteBuild(data, 0, 0, 0, {i}));
        EXPECT_TRUE(g_bFtpIdle) << i;
    }
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"You must first mark the file as a com file.",
                                        "The file is not available in the local area.",
                                        "The file is not available in the remote area.",
                                        "Unknown remote session type."}));
    EXPECT_TRUE(trace.Has("--- FTP ignored ---"));
    g_bFtpIdle = false;
    EXPECT_FALSE(StartRemoteBuild(data, 0, 0, 0, {0}));
    EXPECT_EQ(prompter.Messages().back(), "One FTP session is already on.");
}

// The whole road: vsftpd stores the wrapper and the command file, in.rexecd runs them.
class RealRemoteBuild : public RemoteEngineTest {
protected:
    void SetUp() override {
        RemoteEngineTest::SetUp();
        if (!ftp.ok()) GTEST_SKIP() << ftp.why();
        if (!rexec.ok()) GTEST_SKIP() << rexec.why();
        if (work.path().empty()) GTEST_SKIP() << "cannot make a folder for the test user";
        ftpPort = std::to_string(ftp.port());
        rexecPort = std::to_string(rexec.port());
        envFtp = std::make_unique<ScopedEnv>("QVL_FTP_PORT", ftpPort.c_str());
        envRexec = std::make_unique<ScopedEnv>("QVL_REXEC_PORT", rexecPort.c_str());
        envRoot = std::make_unique<ScopedEnv>("QVL_ROOT", root.path().c_str());
        AddAccount("127.0.0.1", kUser, kPassword);
    }
    TempDir root, local;
    UserDir work;
    VsftpdServer ftp{""};
    RexecServer rexec;
    std::string ftpPort, rexecPort;
    std::unique_ptr<ScopedEnv> envFtp, envRexec, envRoot;
};

TEST_F(RealRemoteBuild, ACommandFileRunsOnTheHostAndEndsWithTheBanner) {
    WriteFile(local / "build me.sh", "echo \"building in $(pwd)\"\necho second line\n");
    CFileItem it = MakeItem("build me.sh", "127.0.0.1", kUser, work.dir(), local.dir());
    it.IsBatFile = true;
    // Sent once before, and gone from the server since.
    const std::time_t earlier = std::time(nullptr) / 60 * 60 - 7200;
    it.IsFTPed = "Yes";
    it.RemoteModTime = earlier;
    AddItem(it);
    ASSERT_TRUE(StartRemoteBuild(data, 0, 0, 0, {0}));
    ASSERT_TRUE(JoinFtpWorker(10000));
    std::string out = InputText();
    EXPECT_NE(out.find("building in " + work.path() + "\r\nsecond line\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find(kExecutionCompletedBanner), std::string::npos) << out;
    EXPECT_TRUE(trace.Has("---File transferred---"));
    EXPECT_TRUE(trace.Has("--- FTP and Rexec over ---"));
    // The command file went up byte for byte; the wrappers are gone on both sides.
    EXPECT_EQ(ReadFile(work / "build me.sh"), "echo \"building in $(pwd)\"\necho second line\n");
    for (auto& e : std::filesystem::directory_iterator(root.path()))
        ADD_FAILURE() << "left behind: " << e.path();
    uid_t uid;
    gid_t gid;
    std::string home;
    ASSERT_TRUE(TestUserIds(uid, gid, home));
    // Wrappers are named "_FTP_" + a ten-digit time stamp + the host name;
    // other tests, or a run killed earlier, may have their own "_FTP_" files
    // in this home: this run's wrapper is the one that enters its folder.
    const std::regex wrapper("_FTP_[0-9]{10}.*");
    for (auto& e : std::filesystem::directory_iterator(home))
        if (std::regex_match(e.path().filename().string(), wrapper))
            EXPECT_EQ(ReadFile(e.path()).find("cd " + work.dir()), std::string::npos) << e.path();
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].IsFTPed, "Yes");
    EXPECT_EQ(results[0].FileName, "build me.sh");
    // Its server time is read right after its send, as a transfer records
    // it: a change made there later is asked about.
    struct stat sent {};
    ASSERT_EQ(::stat((work / "build me.sh").c_str(), &sent), 0);
    EXPECT_EQ(results[0].RemoteModTime, sent.st_mtime);

    // Changed on the server since a transfer that recorded its time: the
    // run asks before it sends over it, and No runs nothing.
    WriteFile(work / "build me.sh", "echo \"edited on the server\"\n");
    RecordingPrompter prompter;  // answers No
    ScopedPrompter asking(prompter);
    ASSERT_TRUE(StartRemoteBuild(data, 0, 0, 0, {0}));
    ASSERT_TRUE(JoinFtpWorker(10000));
    ASSERT_EQ(prompter.Questions().size(), 1u) << trace.All();
    EXPECT_NE(prompter.Questions()[0].find("Send it anyway and run it?"), std::string::npos) << prompter.Questions()[0];
    EXPECT_EQ(ReadFile(work / "build me.sh"), "echo \"edited on the server\"\n");
    EXPECT_EQ(InputText(), "Preparing to execute build me.sh...");
    for (auto& e : std::filesystem::directory_iterator(root.path()))
        ADD_FAILURE() << "left behind: " << e.path();
}

TEST_F(RealRemoteBuild, VsftpdAnswersAnEmptyCwdAndListsWithItsOwnForms) {
    CFtpClient c;
    c.Connect("127.0.0.1", kUser, kPassword, ftp.port());
    std::string reply;
    // vsftpd refuses a CWD without a folder instead of going home.
    int code = c.SendCommand("CWD", "", reply);
    EXPECT_EQ(code, 550);
    WriteFile(work / "old file.txt", "x");
    ::chown((work / "old file.txt").c_str(), 0, 0);
    c.ChangeDirectory(work.path());
    std::vector<CDirEntry> entries;
    c.ListDirectoryUnix("*", entries);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].strName, "old file.txt");
    // A file of an earlier year is listed with its year instead of a time.
    utimbuf times{946684800, 946684800};  // 2000-01-01
    ::utime((work / "old file.txt").c_str(), &times);
    std::string text = c.ListToText(work.path() + "/old file.txt");
    EXPECT_NE(text.find("2000"), std::string::npos) << text;
    // It names the bare file, which counts like the full path.
    EXPECT_EQ(CFtpClient::UnixListingName(text.substr(0, text.find('\r'))), "old file.txt");
    CFileItem item = MakeItem("old file.txt", "127.0.0.1", kUser, work.dir(), local.dir());
    std::string status;
    item.UpdateRemoteStatus(text, status);
    EXPECT_EQ(item.GetRemoteTimeText().rfind("2000+1+1+", 0), 0u) << item.GetRemoteTimeText();
    EXPECT_EQ(c.ListToText(work.path() + "/missing.txt"), "");
    c.Disconnect();
}

TEST_F(RealRemoteBuild, ARexecFailureIsShownInAMessageAndEndsTheBuild) {
    WriteFile(local / "b.sh", "echo hi\n");
    CFileItem it = MakeItem("b.sh", "127.0.0.1", kUser, work.dir(), local.dir());
    it.IsBatFile = true;
    AddItem(it);
    // The rexec service is not there.
    std::string closed = std::to_string(FreePort());
    ScopedEnv noRexec("QVL_REXEC_PORT", closed.c_str());
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    ASSERT_TRUE(ClaimFtpSlot(""));
    RemoteBuildValues v;
    v.hostType = "UNIX";
    v.scriptLocalPath = root / "_FTP_test.txt";
    v.scriptRemoteName = "_FTP_test.txt";
    WriteFile(v.scriptLocalPath, "echo wrapper\n");
    v.fileName = "b.sh";
    v.localPath = local / "b.sh";
    v.remotePath = work.dir() + "b.sh";
    v.host = "127.0.0.1";
    v.user = kUser;
    v.item = it;
    std::string output;
    RunFtpWorkerHere([&] {
        CFileItem result;
        ExecuteRemoteCommandFile(data, v, output, result);
    });
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages()[0], "REXEC failed: Unable to connect to server");
    EXPECT_FALSE(std::filesystem::exists(v.scriptLocalPath));
    EXPECT_EQ(ReadFile(work / "b.sh"), "echo hi\n");
    EXPECT_EQ(output, "");
    uid_t uid;
    gid_t gid;
    std::string home;
    TestUserIds(uid, gid, home);
    std::filesystem::remove(home + "/_FTP_test.txt");
}

class AutoCreate : public RemoteEngineTest {
protected:
    TempDir root;
};

std::vector<CDirEntry> Entries(const std::vector<std::string>& dirs) {
    std::vector<CDirEntry> out;
    for (const std::string& d : dirs) {
        CDirEntry e;
        e.strName = "f";
        e.strRemoteDir = d;
        out.push_back(e);
    }
    return out;
}

TEST(AutoCreateQuestion, TenFoldersAtMostThenAMoreLineAndTheTotal) {
    std::vector<std::string> twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back("/b/d" + std::to_string(i) + "/");
    std::string q = MakeAutoCreateQuestion(twelve);
    EXPECT_NE(q.find("     /b/d9/\r\n<and more...>\r\n(Total: 12).\r\n"), std::string::npos);
    EXPECT_EQ(q.find("/b/d10/"), std::string::npos);
    std::vector<std::string> ten(twelve.begin(), twelve.begin() + 10);
    q = MakeAutoCreateQuestion(ten);
    EXPECT_EQ(q.find("<and more...>"), std::string::npos);
    EXPECT_EQ(MakeAutoCreateQuestion({}),
              "It is now good time to auto-create these directories on the server,\r\n"
              "especially if you plan to transfer any of these files to the remote system:\r\n"
              "(Total: 0).\r\n\r\n"
              "If you do not plan to transfer any of these file, it is recommended\r\n"
              "you select \"No\", since this process takes time.\r\n\r\n\r\n"
              "Auto-create remote directories (if they do not already exist)?\r\n");
}

TEST_F(AutoCreate, NoCreatesNothingAndBusyFtpDiscards) {
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    PromptAutoCreateRemoteDirs(data, "/b/", Entries({"/b/x/", "/b/x/"}));
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_NE(prompter.Questions()[0].find("     /b/x/\r\n(Total: 1)."), std::string::npos);
    EXPECT_TRUE(GetAutoCreateFolderList().empty());
    EXPECT_TRUE(g_bFtpIdle);
    g_bFtpIdle = false;
    PromptAutoCreateRemoteDirs(data, "/b/", Entries({"/b/x/"}));
    EXPECT_EQ(prompter.Messages().back(), "One FTP session is already on. Auto-create discarded.");
}

TEST_F(AutoCreate, YesMakesEachFolderAndLogsRefusals) {
    PyFtpServer server(root.path());
    if (!server.ok()) GTEST_SKIP() << server.why();
    std::string port = std::to_string(server.port());
    ScopedEnv env("QVL_FTP_PORT", port.c_str());
    AddAccount("127.0.0.1", kUser, kPassword);
    g_CurrentAccount = CHost("127.0.0.1", kUser, kPassword);
    std::filesystem::create_directories(root / "b/exists");
    RecordingPrompter prompter;
    prompter.answers.push_back(Answer::Yes);
    ScopedPrompter scoped(prompter);
    PromptAutoCreateRemoteDirs(data, "/b/", Entries({"/b/new/deep/", "/b/exists/"}));
    ASSERT_TRUE(JoinFtpWorker(5000));
    EXPECT_TRUE(std::filesystem::is_directory(root / "b/new/deep"));
    EXPECT_TRUE(trace.Has("Created: /b/new/"));
    EXPECT_TRUE(trace.Has("Created: /b/new/deep/"));
    bool refused = false;
    for (const std::string& l : trace.Lines()) refused |= l.rfind("Failed: ", 0) == 0;
    EXPECT_TRUE(refused);
    EXPECT_TRUE(trace.Has("--- FTP over ---"));
    EXPECT_EQ(GetAutoCreateFolderList().size(), 3u);
    g_CurrentAccount = CHost();
}

}  // namespace

namespace {

// A VMS host: the DCL procedure and the command file go up as text, the
// procedure runs with "@" and is deleted with all its versions.
TEST_F(RemoteBuildStart, AVmsBuildStoresAsTextRunsTheProcedureAndDeletesIt) {
    FakeFtpServer ftp;
    ftp.systReply = "215 VMS V7.3\r\n";
    ftp.Start();
    FakeRexec rexec(std::vector<std::string>{std::string("\0$ build done\r\n", 15),
                                             std::string("\0", 1)},
                    0);
    std::string ftpPort = std::to_string(ftp.port()), rexecPort = std::to_string(rexec.port());
    ScopedEnv e1("QVL_FTP_PORT", ftpPort.c_str());
    ScopedEnv e2("QVL_REXEC_PORT", rexecPort.c_str());
    AddAccount("127.0.0.1", "ANN", "pw");
    WriteFile(local / "BUILD.COM", "$ write sys$output \"x\"\n$ exit\n");
    CFileItem it = MakeItem("BUILD.COM", "127.0.0.1", "ANN", "DKA0:[ANN.SRC]", local.dir());
    it.IsBatFile = true;
    AddItem(it);
    ScopedPrompter scoped(prompter);
    ASSERT_TRUE(StartRemoteBuild(data, 0, 0, 0, {0}));
    ASSERT_TRUE(JoinFtpWorker(5000));
    ftp.Stop();
    EXPECT_EQ(InputText(), "$ build done\r\n");
    EXPECT_TRUE(trace.Has("--- FTP and Rexec over ---"));
    auto received = ftp.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), "TYPE A"), received.end());
    auto names = ftp.StoredNames();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].rfind("SYS$LOGIN:_FTP_", 0), 0u);
    EXPECT_EQ(names[1], "DKA0:[ANN.SRC]BUILD.COM");
    EXPECT_EQ(ftp.Stored(), "$ write sys$output \"x\"\r\n$ exit\r\n");  // text records
    auto requests = rexec.requests();
    ASSERT_EQ(requests.size(), 2u);
    // The VMS server made the user lower case; the procedure runs, then goes.
    EXPECT_EQ(requests[0], std::string("\0ann\0pw\0 @", 10) + names[0] + std::string("\0", 1));
    EXPECT_EQ(requests[1], std::string("\0ann\0pw\0delete ", 15) + names[0] + ";*" +
                               std::string("\0", 1));
    auto results = TransferResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].RemUser, "ann");
}

}  // namespace
