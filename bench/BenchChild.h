// Work run in a child process, so that its time and its peak memory are its
// own and nothing it leaves behind weighs on the next run.
#pragma once

#include <chrono>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

struct PhaseResult {
    double seconds = 0;
    long maxRssKb = 0;
    int exitCode = 0;
};

// Runs setup and then work in a child; the time of the work and the child's
// peak resident memory and exit code.
inline PhaseResult RunPhase(const std::function<void()>& setup, const std::function<void()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        setup();
        auto t0 = std::chrono::steady_clock::now();
        work();
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        (void)!::write(fds[1], &secs, sizeof secs);
        ::_exit(0);
    }
    ::close(fds[1]);
    PhaseResult r;
    (void)!::read(fds[0], &r.seconds, sizeof r.seconds);
    ::close(fds[0]);
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    r.maxRssKb = ru.ru_maxrss;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
