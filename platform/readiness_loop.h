// Many descriptors waited on at once (epoll), with a deadline on the monotonic clock kept to
// the nanosecond (an absolute timerfd), for a loop that serves many sockets on one thread.
#pragma once

#include <cstdint>

namespace plat {

class readiness_loop {
  public:
    readiness_loop();
    ~readiness_loop();
    readiness_loop(const readiness_loop&) = delete;
    readiness_loop& operator=(const readiness_loop&) = delete;

    bool valid() const { return epoll_fd_ >= 0 && timer_fd_ >= 0; }

    // Watches `fd` for readability; `token` comes back from wait() when it is ready. A token
    // may be any value but kDeadlineToken. False when the kernel refuses (errno set).
    bool watch(int fd, uint64_t token);
    void unwatch(int fd);

    // Waits until a watched descriptor is readable or the monotonic clock reaches
    // `deadline_ns` (negative: no deadline). Writes the ready tokens (at most `capacity`) and
    // returns how many; 0 when the deadline came or a signal interrupted the wait; -1 when the
    // wait failed (errno set).
    int wait(int64_t deadline_ns, uint64_t* tokens, int capacity);

    static constexpr uint64_t kDeadlineToken = ~uint64_t{0};

  private:
    int epoll_fd_ = -1;
    int timer_fd_ = -1;
    int64_t armed_ns_ = -1; // the deadline the timer holds now
};

// Raises this process's limit of open descriptors to the most it is allowed (the hard limit),
// for a program that keeps a socket per target; the limit in force afterwards.
long raise_open_file_limit();

} // namespace plat
