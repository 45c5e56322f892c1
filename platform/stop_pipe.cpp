#include "platform/stop_pipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace plat {
namespace {

int g_write_end = -1;

// Async-signal-safe: one write of one byte, errno left as it was.
extern "C" void on_stop_pipe_signal(int sig) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t written = ::write(g_write_end, &number, 1);
    errno = saved;
}

} // namespace

int open_stop_pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) < 0) return -1;
    g_write_end = ends[1];
    struct sigaction sa {};
    sa.sa_handler = on_stop_pipe_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    return ends[0];
}

int read_stop_pipe(int fd) {
    unsigned char number = 0;
    return ::read(fd, &number, 1) == 1 ? number : 0;
}

} // namespace plat
