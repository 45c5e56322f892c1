#include "platform/event_wait.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace plat {

wake_event::wake_event() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

wake_event::~wake_event() {
    if (fd_ >= 0) ::close(fd_);
}

void wake_event::set() {
    const uint64_t one = 1;
    // Fails only when the counter is about to overflow, and then it is readable anyway.
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void wake_event::clear() {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof value);
}

int wait_any(wait_item* items, int count, int limit_ms) {
    constexpr int kMaxItems = 8;
    if (count < 0 || count > kMaxItems) {
        errno = EINVAL;
        return -1;
    }
    pollfd fds[kMaxItems];
    for (int i = 0; i < count; ++i) {
        fds[i] = {items[i].fd, 0, 0};
        if (items[i].read) fds[i].events |= POLLIN;
        if (items[i].write) fds[i].events |= POLLOUT;
        items[i].ready = false;
    }
    const int r = ::poll(fds, static_cast<nfds_t>(count), limit_ms < 0 ? -1 : limit_ms);
    if (r < 0) return errno == EINTR ? 0 : -1;
    int ready = 0;
    for (int i = 0; i < count; ++i) {
        items[i].ready = fds[i].revents != 0;
        ready += items[i].ready;
    }
    return ready;
}

} // namespace plat
