#include "tests/support/full_send_path.h"

#include <chrono>
#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace testsupport {

void fill_tcp_send_path(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    const std::vector<char> block(65536, 'f');
    for (;;) {
        while (::send(fd, block.data(), block.size(), MSG_NOSIGNAL) > 0) {}
        // Smaller pieces until not even one byte fits.
        while (::send(fd, block.data(), 1, MSG_NOSIGNAL) > 0) {}
        int queued = 0, unsent = 0; // bytes not yet acknowledged; of those, not yet sent
        ::ioctl(fd, SIOCOUTQ, &queued);
        ::ioctl(fd, SIOCOUTQNSD, &unsent);
        pollfd p{fd, POLLOUT, 0};
        // Bytes wait for the window while nothing sent is unacknowledged: the window is shut.
        if (unsent > 0 && queued == unsent && ::poll(&p, 1, 0) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::fcntl(fd, F_SETFL, flags);
}

} // namespace testsupport
