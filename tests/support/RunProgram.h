// Runs the built program as a user would: no display, its own work-area
// root, standard error captured.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

struct ProgramRun {
    int exitCode = -1;  // -1 when it could not be started or did not exit
    int signal = 0;     // the signal that ended it, if one did
    std::string err;    // what it wrote to standard error
};

// Runs QVL_BINARY with the arguments, QVL_ROOT set to root, DISPLAY and the
// like removed, standard input from /dev/null, standard error into errFile
// and, when workDir is given, in that folder. extraEnv adds "NAME=VALUE"
// entries (one for a name already set replaces it).
inline ProgramRun RunProgram(const std::vector<std::string>& args, const std::string& root,
                             const std::string& errFile, const std::string& workDir = "",
                             const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
            v.rfind("QVL_ROOT=", 0) == 0 || v.rfind("QT_QPA_PLATFORM=", 0) == 0)
            continue;
        bool replaced = false;
        for (const std::string& x : extraEnv)
            replaced = replaced || v.rfind(x.substr(0, x.find('=') + 1), 0) == 0;
        if (!replaced) envStore.push_back(v);
    }
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
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
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&fa, workDir.c_str());
    pid_t pid = 0;
    ProgramRun r;
    const int rc = posix_spawn(&pid, QVL_BINARY, &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return r;
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.err = ReadFile(errFile);
    return r;
}

struct JobRun {
    int exitCode = -1;
    int signal = 0;
    std::string err;
    std::string log;  // what this run added to the command-line job's log
};

// The batch job run as RunProgram runs the program, with the lines it added to
// its log in the work area under root.
inline JobRun RunJob(const std::vector<std::string>& args, const std::string& root,
                     const std::string& errFile, const std::string& workDir,
                     const std::vector<std::string>& extraEnv = {}) {
    const std::string logFile = root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt";
    const std::string before = std::filesystem::exists(logFile) ? ReadFile(logFile) : "";
    ProgramRun p = RunProgram(args, root, errFile, workDir, extraEnv);
    JobRun r;
    r.exitCode = p.exitCode;
    r.signal = p.signal;
    r.err = p.err;
    const std::string all = ReadFile(logFile);
    r.log = all.size() >= before.size() ? all.substr(before.size()) : all;
    return r;
}
