#include "platform/stop_signals.h"

#include "platform/clock.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <time.h>

namespace plat {
namespace {

volatile std::sig_atomic_t g_stop_signal = 0;
sigset_t g_wait_mask;
bool g_installed = false;

extern "C" void on_stop_signal(int sig) {
    g_stop_signal = sig;
}

} // namespace

void install_stop_signals() {
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: the wait must come back with EINTR
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, &g_wait_mask);
    sigdelset(&g_wait_mask, SIGINT);
    sigdelset(&g_wait_mask, SIGTERM);
    g_installed = true;
}

int stop_requested() {
    return g_stop_signal;
}

bool pause_unless_stopped(double seconds) {
    constexpr double kLongestPause = 86400.0 * 365; // keeps the conversion to nanoseconds defined
    if (!(seconds > 0)) return !g_stop_signal;
    const int64_t end =
        monotonic_ns() + static_cast<int64_t>(std::min(seconds, kLongestPause) * kNanosPerSecond);
    for (;;) {
        if (g_stop_signal) return false;
        const int64_t left = end - monotonic_ns();
        if (left < 0) return true;
        // No descriptors: ppoll only sleeps, with the stop signals open as in the waits.
        const timespec wait = ns_timespec(left);
        if (::ppoll(nullptr, 0, &wait, stop_wait_mask()) == 0) return !g_stop_signal;
    }
}

const sigset_t* stop_wait_mask() {
    return g_installed ? &g_wait_mask : nullptr;
}

} // namespace plat
