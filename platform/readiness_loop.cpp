#include "platform/readiness_loop.h"

#include "platform/clock.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace plat {

readiness_loop::readiness_loop()
    : epoll_fd_(::epoll_create1(EPOLL_CLOEXEC)),
      timer_fd_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (valid() && !watch(timer_fd_, kDeadlineToken)) {
        ::close(timer_fd_);
        timer_fd_ = -1;
    }
}

readiness_loop::~readiness_loop() {
    if (timer_fd_ >= 0) ::close(timer_fd_);
    if (epoll_fd_ >= 0) ::close(epoll_fd_);
}

bool readiness_loop::watch(int fd, uint64_t token) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = token;
    return ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &ev) == 0;
}

void readiness_loop::unwatch(int fd) {
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
}

int readiness_loop::wait(int64_t deadline_ns, uint64_t* tokens, int capacity) {
    constexpr int kBatch = 64;
    if (deadline_ns >= 0 && deadline_ns <= monotonic_ns()) return 0;
    if (deadline_ns != armed_ns_) {
        // An absolute deadline: no drift however late this thread gets here. 0 disarms.
        itimerspec spec{};
        if (deadline_ns >= 0) spec.it_value = ns_timespec(deadline_ns > 0 ? deadline_ns : 1);
        if (::timerfd_settime(timer_fd_, TFD_TIMER_ABSTIME, &spec, nullptr) != 0) return -1;
        armed_ns_ = deadline_ns;
    }
    epoll_event events[kBatch];
    const int n = ::epoll_wait(epoll_fd_, events, capacity < kBatch ? capacity : kBatch, -1);
    if (n < 0) return errno == EINTR ? 0 : -1;
    int ready = 0;
    for (int i = 0; i < n; ++i) {
        if (events[i].data.u64 == kDeadlineToken) {
            uint64_t expirations = 0;
            [[maybe_unused]] const ssize_t r = ::read(timer_fd_, &expirations, sizeof expirations);
            armed_ns_ = -1; // an absolute timer fires once
            continue;
        }
        tokens[ready++] = events[i].data.u64;
    }
    return ready;
}

long raise_open_file_limit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<long>(limit.rlim_cur);
}

} // namespace plat
