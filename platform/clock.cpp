#include "platform/clock.h"

#include <sys/prctl.h>

#include <cerrno>
#include <time.h>

namespace plat {

WallTime wall_clock() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return {static_cast<int64_t>(ts.tv_sec), static_cast<int32_t>(ts.tv_nsec / 1000)};
}

namespace {
int64_t read_ns(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return timespec_ns(ts);
}
} // namespace

int64_t monotonic_ns() {
    return read_ns(CLOCK_MONOTONIC);
}

int64_t wall_ns() {
    return read_ns(CLOCK_REALTIME);
}

bool local_time(time_t seconds, std::tm* out) {
    return localtime_r(&seconds, out) != nullptr;
}

void sleep_ms(int milliseconds) {
    timespec ts{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    // Only signals other than the blocked stop signals can cut the pause; the rest is slept.
    while (nanosleep(&ts, &ts) < 0 && errno == EINTR) {}
}

void tight_timers() {
    constexpr unsigned long kSlackNs = 1;
    ::prctl(PR_SET_TIMERSLACK, kSlackNs, 0, 0, 0);
}

} // namespace plat
