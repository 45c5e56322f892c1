#include "net/readiness.h"

#include "net/socket.h"
#include "platform/stop_signals.h"

#include <cerrno>

namespace net_detail {

int wait_ready(int32_t sock, plat::Readiness want, const timeval& limit, plat::Readiness* ready) {
    for (;;) {
        const int r = plat::select_one(sock, want, &limit, ready);
        if (r >= 0 || errno != EINTR || plat::stop_requested()) return r;
    }
}

int32_t wait_outcome(int32_t sock, plat::Readiness want, const timeval& limit) {
    const int r = wait_ready(sock, want, limit);
    if (r == 0) return -WSAETIMEDOUT;
    return r < 0 ? SOCKERR_FAIL : 0;
}

} // namespace net_detail
