// Wall clock, local calendar conversion and pauses.
#pragma once

#include <cstdint>
#include <ctime>
#include <sys/time.h>

namespace plat {

struct WallTime {
    int64_t seconds;      // since 1970-01-01 00:00:00 UTC
    int32_t microseconds; // 0..999999, from the same reading
};

WallTime wall_clock();

// Nanosecond readings for measured intervals: the monotonic clock (never steps) and the wall
// clock (comparable with the kernel's receive stamps).
inline constexpr int64_t kNanosPerSecond = 1'000'000'000;
int64_t monotonic_ns();
int64_t wall_ns();

// A timespec as nanoseconds, and back (for a count of 0 or more).
inline int64_t timespec_ns(const timespec& ts) {
    return int64_t(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}
inline timespec ns_timespec(int64_t ns) {
    return {static_cast<time_t>(ns / kNanosPerSecond), static_cast<long>(ns % kNanosPerSecond)};
}
// The same as a timeval, rounded down to whole microseconds.
inline constexpr int64_t kNanosPerMicrosecond = 1000;
inline timeval ns_timeval(int64_t ns) {
    const timespec ts = ns_timespec(ns);
    return {ts.tv_sec, static_cast<suseconds_t>(ts.tv_nsec / kNanosPerMicrosecond)};
}

// Thread-safe local calendar time of a calendar second; false when it cannot be converted.
bool local_time(time_t seconds, std::tm* out);

void sleep_ms(int milliseconds);

// Timed waits of this thread end as close to their deadline as the kernel can (no timer
// slack, which otherwise lets a wait end up to 50 us late to save wake-ups).
void tight_timers();

} // namespace plat
