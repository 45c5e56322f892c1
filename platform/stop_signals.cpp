#include "platform/stop_signals.h"

#include <cerrno>
#include <cmath>
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
    constexpr double kLongestPause = 86400.0 * 365; // keeps the conversion to time_t defined
    if (!(seconds > 0)) return !g_stop_signal;
    if (seconds > kLongestPause) seconds = kLongestPause;
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double whole = std::floor(seconds);
    end.tv_sec += static_cast<time_t>(whole);
    end.tv_nsec += static_cast<long>((seconds - whole) * 1e9);
    if (end.tv_nsec >= 1000000000L) {
        end.tv_sec += 1;
        end.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (g_stop_signal) return false;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left{end.tv_sec - now.tv_sec, end.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) {
            left.tv_sec -= 1;
            left.tv_nsec += 1000000000L;
        }
        if (left.tv_sec < 0) return true;
        // No descriptors: ppoll only sleeps, with the stop signals open as in the waits.
        if (::ppoll(nullptr, 0, &left, stop_wait_mask()) == 0) return !g_stop_signal;
    }
}

const sigset_t* stop_wait_mask() {
    return g_installed ? &g_wait_mask : nullptr;
}

} // namespace plat
