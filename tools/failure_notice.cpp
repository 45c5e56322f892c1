#include "tools/failure_notice.h"

#include <cerrno>
#include <cstring>

void failure_notice::probe_sent(const rebound_probe_sent& e) {
    if (e.result > 0 || send_told_ || lines_shown_) return;
    send_told_ = true;
    // A probe larger than the path's MTU fails so only where fragments are forbidden (--df).
    const char* hint =
        e.error == EMSGSIZE ? " (the probe does not fit the path's MTU unfragmented)" : "";
    std::fprintf(out_, "reboundcli: sending to %s failed: %s%s\n", target_.c_str(),
                 e.error ? std::strerror(e.error) : "nothing was sent", hint);
    std::fflush(out_);
}

void failure_notice::receive_failed(const rebound_receive_failed& e) {
    if (e.error != ECONNREFUSED || unreachable_told_) return;
    unreachable_told_ = true;
    std::fprintf(out_, "reboundcli: %s: port unreachable (%s)\n", target_.c_str(),
                 std::strerror(e.error));
    std::fflush(out_);
}
