#include "tests/support/socat_echo.h"

#include "tests/support/udp_peer.h"

#include <string>
#include <unistd.h>

namespace testsupport {

bool SocatEcho::installed() {
    return ::access(kPath, X_OK) == 0;
}

SocatEcho::SocatEcho() {
    port_ = free_udp_port();
    // Each datagram is served by a fresh child of socat, answering from the listening port.
    if (!process_.start(kPath, {"UDP4-RECVFROM:" + std::to_string(port_) + ",bind=127.0.0.1,fork",
                                "PIPE"}))
        return;
    UdpPeer prober;
    for (int attempt = 0; attempt < 50 && !echoing_; ++attempt) {
        prober.send_to(port_, {1, 2, 3});
        echoing_ = prober.receive(std::chrono::milliseconds(100)).has_value();
    }
}

} // namespace testsupport
