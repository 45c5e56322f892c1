#include "tests/support/responder_process.h"

#include "tests/support/udp_peer.h"

#include <string>

namespace testsupport {

ResponderProcess::ResponderProcess(const std::vector<std::string>& options,
                                   const std::string& host) {
    port_ = free_udp_port();
    std::vector<std::string> args{"-p", std::to_string(port_)};
    if (!host.empty()) args.insert(args.begin(), {"-h", host});
    args.insert(args.end(), options.begin(), options.end());
    if (!process_.start(program_path("reboundsrv"), args)) return;
    // The first echo proves the responder is bound and serving.
    UdpPeer peer;
    for (int attempt = 0; attempt < 100 && !answering_; ++attempt) {
        peer.send_to(port_, probe(0, 16, 16, 16));
        answering_ = peer.receive(std::chrono::milliseconds(100)).has_value();
    }
}

} // namespace testsupport
