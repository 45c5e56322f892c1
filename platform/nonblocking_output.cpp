#include "platform/nonblocking_output.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

nonblocking_output::nonblocking_output(int fd) : fd_(fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        failure_ = errno;
        return;
    }
    // A regular file never makes a writer wait for a reader; a full disk is an error.
    if (S_ISREG(st.st_mode)) return;
    if (S_ISSOCK(st.st_mode)) {
        mode_ = mode::socket; // send() takes MSG_DONTWAIT on each call
        return;
    }
    // A pipe, FIFO or terminal: a private description of the same object, opened non-blocking.
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    const int own = ::open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own >= 0) {
        fd_ = own;
        owned_ = true;
        return;
    }
    if (errno == ENXIO && S_ISFIFO(st.st_mode)) {
        failure_ = EPIPE; // a pipe without a reader
        return;
    }
    // No private description: write only what poll() promises to take at once.
    mode_ = mode::polled;
}

nonblocking_output::~nonblocking_output() {
    if (owned_) ::close(fd_);
}

long nonblocking_output::write_some(const char* data, size_t size) {
    if (failure_ != 0) {
        errno = failure_;
        return -1;
    }
    if (size == 0) return 0;
    ssize_t n;
    switch (mode_) {
    case mode::socket:
        n = ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        break;
    case mode::polled: {
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & (POLLOUT | POLLERR | POLLHUP))) return 0;
        // Up to PIPE_BUF bytes fit into a pipe that polls writable.
        n = ::write(fd_, data, size < PIPE_BUF ? size : PIPE_BUF);
        break;
    }
    case mode::plain:
    default:
        n = ::write(fd_, data, size);
        break;
    }
    if (n >= 0) return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    failure_ = errno;
    return -1;
}

} // namespace plat
