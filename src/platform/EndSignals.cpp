#include "platform/EndSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_firstSignal = 0;
volatile sig_atomic_t g_closeBegun = 0;

void OnEndSignal(int sig) {
    if (g_firstSignal == 0) {
        g_firstSignal = sig;
        const char c = char(sig);
        [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
        return;
    }
    // The same request again while its save runs: the user insists.
    if (sig == g_firstSignal && g_closeBegun) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    }
}

}  // namespace

int InstallEndSignals() {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    struct sigaction sa = {};
    sa.sa_handler = OnEndSignal;
    // One handler at a time: two signals together are seen one after the other.
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaddset(&sa.sa_mask, sig);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &sa, nullptr);
    return g_pipe[0];
}

void DrainEndSignals() {
    char c;
    while (g_pipe[0] >= 0 && ::read(g_pipe[0], &c, 1) > 0) {
    }
}

void NoteCloseBegun(bool begun) { g_closeBegun = begun ? 1 : 0; }
