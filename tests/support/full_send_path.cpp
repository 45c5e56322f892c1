#include "tests/support/full_send_path.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <vector>

namespace testsupport {

void fill_send_path(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    const std::vector<char> block(65536, 'f');
    while (::send(fd, block.data(), block.size(), MSG_NOSIGNAL) > 0) {}
    // Smaller pieces until not even one byte fits.
    while (::send(fd, block.data(), 1, MSG_NOSIGNAL) > 0) {}
    ::fcntl(fd, F_SETFL, flags);
}

} // namespace testsupport
