// Runs the built program as a user would, without a display.
#include <gtest/gtest.h>

#include <filesystem>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "support/TempDir.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {
struct RunResult {
    int exitCode = -1;
    std::string err;
};

// Runs the program with arguments, a work-area root and no DISPLAY.
RunResult RunProgram(const std::vector<std::string>& args, const std::string& root,
                     const std::string& errFile) {
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
            v.rfind("QVL_ROOT=", 0) == 0 || v.rfind("QT_QPA_PLATFORM=", 0) == 0)
            continue;
        envStore.push_back(v);
    }
    envStore.push_back("QVL_ROOT=" + root);
    std::vector<char*> envp;
    for (auto& v : envStore) envp.push_back(v.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStore{QVL_BINARY};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    RunResult r;
    if (posix_spawn(&pid, QVL_BINARY, &fa, nullptr, argv.data(), envp.data()) != 0) return r;
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    r.err = ReadFile(errFile);
    return r;
}
}  // namespace

TEST(StartupBinary, CommandLineRoadCreatesFoldersAndAppendsToTheLog) {
    TempDir tmp;
    std::string root = tmp / "area";
    std::string log = root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt";

    // A job that cannot run at all says why and ends non-zero; the log has it too.
    RunResult first = RunProgram({"-input=/nowhere"}, root, tmp / "err1");
    EXPECT_NE(first.exitCode, 0);
    EXPECT_NE(first.err.find("/nowhere"), std::string::npos) << first.err;
    for (const char* f : {"QVL-WorkFiles/Loading-Area/BackUp", "QVL-WorkFiles/Loading-Area/temp",
                          "QVL-WorkFiles/Cmd-Area", "QVL-UserInfo/BufferText",
                          "QVL-UserInfo/SessionInfo/Deprecated",
                          "QVL-UserInfo/SessionInfo/BackUp", "QVL-UserInfo/LibraryInfo"})
        EXPECT_TRUE(fs::is_directory(root + "/" + f)) << f;
    std::string once = ReadFile(log);
    EXPECT_NE(once.find("Command line: -input=/nowhere"), std::string::npos) << once;
    EXPECT_NE(once.find("Batch conversion executed at: "), std::string::npos);
    EXPECT_EQ(once.find('\r'), std::string::npos);

    // Any text at all runs batch mode; the log grows.
    RunResult second = RunProgram({"anything"}, root, tmp / "err2");
    EXPECT_NE(second.exitCode, 0);
    std::string twice = ReadFile(log);
    EXPECT_EQ(twice.substr(0, once.size()), once);
    EXPECT_NE(twice.find("Command line: anything", once.size()), std::string::npos);
    EXPECT_GT(twice.size(), once.size());
}

TEST(StartupBinary, FolderFailuresGoToStandardErrorAndStartUpGoesOn) {
    TempDir tmp;
    std::string root = tmp / "area";
    fs::create_directories(root + "/QVL-UserInfo");
    WriteFile(root + "/QVL-UserInfo/BufferText", "a file in a folder's place");
    RunResult r = RunProgram({"-x"}, root, tmp / "err");
    EXPECT_NE(r.err.find("Failed ...6..."), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_directory(root + "/QVL-UserInfo/LibraryInfo"));
    EXPECT_TRUE(fs::exists(root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt"));
}

TEST(StartupBinary, ALogThatCannotBeOpenedEndsWithAReason) {
    TempDir tmp;
    std::string root = tmp / "area";
    fs::create_directories(root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt");  // a folder, not a file
    RunResult r = RunProgram({"-x"}, root, tmp / "err");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("cmd_log.txt"), std::string::npos) << r.err;
}
