// The floor of any schedule on this machine: how late a thread wakes from a ppoll that waits
// until a given moment, with no timer slack (as reboundcli's schedules wait). Prints the
// median, p99 and largest lateness in milliseconds over N waits of PERIOD seconds each.
// Usage: timer_wakeup [N] [PERIOD]
#include <poll.h>
#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

int64_t monotonic_ns() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

} // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 2000;
    const double period = argc > 2 ? std::atof(argv[2]) : 0.001;
    if (n <= 0 || period <= 0) return 2;
    prctl(PR_SET_TIMERSLACK, 1);
    const auto period_ns = int64_t(period * 1e9);
    std::vector<int64_t> late(size_t(n), 0);
    for (auto& l : late) {
        const int64_t due = monotonic_ns() + period_ns;
        const timespec wait{time_t(period_ns / 1'000'000'000), long(period_ns % 1'000'000'000)};
        ppoll(nullptr, 0, &wait, nullptr);
        l = monotonic_ns() - due;
    }
    std::sort(late.begin(), late.end());
    std::printf("%.3f %.3f %.3f\n", double(late[late.size() / 2]) / 1e6,
                double(late[late.size() * 99 / 100]) / 1e6, double(late.back()) / 1e6);
    return 0;
}
