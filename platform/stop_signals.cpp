#include "platform/stop_signals.h"

#include "platform/clock.h"
#include "platform/socket_api.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>

namespace plat {
namespace {

volatile std::sig_atomic_t g_stop_signal = 0;
volatile std::sig_atomic_t g_wake_socket = -1;
sigset_t g_wait_mask;
sigset_t g_stops;
bool g_installed = false;

// Stop requests that may come at any moment, so they are let through only where a wait can
// take them (SIGPIPE, which only a write of this process raises, is never blocked).
constexpr int kBlockedStops[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void on_stop_signal(int sig) {
    if (!g_stop_signal) g_stop_signal = sig; // the first request names the stop
    // shutdown() is async-signal-safe; the socket stays open, only its receive side ends.
    if (const int fd = g_wake_socket; fd >= 0) end_receiving(fd);
}

} // namespace

void install_stop_signals() {
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    // Writes are restarted; the waits (ppoll, and receives with a time limit) never are, so
    // they still come back with EINTR.
    sa.sa_flags = SA_RESTART;
    sigemptyset(&g_stops);
    for (const int sig : kBlockedStops) {
        sigaction(sig, &sa, nullptr);
        sigaddset(&g_stops, sig);
    }
    // SIGPIPE comes from a write of this process to a pipe whose reader has gone; that write
    // fails with EPIPE whatever the handler does, so the signal is never blocked.
    sigaction(SIGPIPE, &sa, nullptr);
    sigprocmask(SIG_BLOCK, &g_stops, &g_wait_mask);
    for (const int sig : kBlockedStops)
        sigdelset(&g_wait_mask, sig);
    g_installed = true;
}

int stop_requested() {
    return g_stop_signal;
}

void request_stop(int sig) {
    on_stop_signal(sig);
}

void wait_writable_unless_stopped(int fd) {
    pollfd p{fd, POLLOUT, 0};
    if (!g_installed) {
        ::poll(&p, 1, -1);
        return;
    }
    // Blocked while the flag is read, opened only inside ppoll: a stop that comes before the
    // wait is seen, one that comes during it ends it.
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &g_stops, &old);
    if (!g_stop_signal) {
        sigset_t open = old;
        for (const int sig : kBlockedStops)
            sigdelset(&open, sig);
        ::ppoll(&p, 1, nullptr, &open);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
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

open_stop_signals::open_stop_signals(int wake_socket) {
    if (!g_installed || wake_socket < 0) return;
    g_wake_socket = wake_socket;
    // A stop that came while the signals were blocked is delivered as they open, and the
    // handler then shuts the socket it now knows.
    pthread_sigmask(SIG_UNBLOCK, &g_stops, nullptr);
    opened_ = true;
}

open_stop_signals::~open_stop_signals() {
    if (!opened_) return;
    pthread_sigmask(SIG_BLOCK, &g_stops, nullptr);
    g_wake_socket = -1;
}

} // namespace plat
