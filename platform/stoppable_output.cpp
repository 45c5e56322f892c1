#include "platform/stoppable_output.h"

#include "platform/clock.h"
#include "platform/sink_stream.h"
#include "platform/stop_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace plat {
namespace {

// How long, in all, the output may hold up the end of a stopped program.
constexpr int64_t kStopGraceNs = 10 * kNanosPerSecond / 1000;
constexpr int64_t kNanosPerMilli = kNanosPerSecond / 1000;

// 0, or EBADF when `fd` was closed and now holds /dev/null.
int claim(int fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) return 0;
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0 && null != fd) {
        ::dup2(null, fd);
        ::close(null);
    }
    return EBADF;
}

} // namespace

stoppable_output::stoppable_output(int fd, size_t buffer, int mode)
    : failure_(claim(fd)), out_(fd) {
    stream_ = open_sink_stream(&stoppable_output::sink, this, buffer, mode);
}

stoppable_output::~stoppable_output() {
    if (stream_) std::fclose(stream_);
}

bool stoppable_output::sink(void* context, const char* data, size_t size) {
    return static_cast<stoppable_output*>(context)->write_all(data, size);
}

bool stoppable_output::write_all(const char* data, size_t size) {
    if (failure_) return false;
    while (size > 0) {
        const long n = out_.write_some(data, size);
        if (n < 0) {
            failure_ = errno;
            if (failure_ == EPIPE) request_stop(SIGPIPE);
            return false;
        }
        data += n;
        size -= size_t(n);
        if (size == 0 || n > 0) continue;
        if (!stop_requested()) {
            wait_writable_unless_stopped(out_.wait_fd());
            continue;
        }
        const int64_t now = monotonic_ns();
        if (grace_end_ns_ < 0) grace_end_ns_ = now + kStopGraceNs;
        if (now >= grace_end_ns_) break;
        pollfd p{out_.wait_fd(), POLLOUT, 0};
        const int64_t left_ms = (grace_end_ns_ - now + kNanosPerMilli - 1) / kNanosPerMilli;
        if (::poll(&p, 1, int(left_ms)) <= 0) break;
    }
    dropped_ += size;
    return true;
}

} // namespace plat
