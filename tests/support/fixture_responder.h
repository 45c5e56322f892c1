// A responder that misbehaves on purpose (holds, duplicates or rewrites echoes), for the faults
// a real responder does not produce. It runs on its own thread on 127.0.0.1.
#pragma once

#include "tests/support/udp_peer.h"

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace testsupport {

class FixtureResponder {
  public:
    // Given the n-th probe received (counting from 0), the datagrams to send back at once.
    using Script =
        std::function<std::vector<std::vector<uint8_t>>(int n, const std::vector<uint8_t>&)>;
    explicit FixtureResponder(Script script);
    ~FixtureResponder();

    int port() const { return peer_.port(); }
    // The port the latest probe came from, set before its script runs.
    int client_port() const { return client_port_; }

  private:
    UdpPeer peer_;
    Script script_;
    std::atomic<bool> stop_{false};
    std::atomic<int> client_port_{0};
    std::thread thread_;
};

// The echo a correct responder returns: the probe cut or zero-padded to its word 3 (min 16).
std::vector<uint8_t> proper_echo(const std::vector<uint8_t>& probe);

} // namespace testsupport
