// A responder behind a long path: each echo leaves a fixed delay after its probe arrived while
// further probes keep coming in, as across a wide-area link. A fixture, because loopback has no
// delay and the machines that run the tests may have no netem.
#pragma once

#include "tests/support/udp_peer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

class DelayLine {
  public:
    // `copies(n)` says how often the n-th probe's echo is sent (0: lost; 1 by default).
    explicit DelayLine(std::chrono::milliseconds delay,
                       std::function<int(int)> copies = [](int) { return 1; });
    ~DelayLine();
    DelayLine(const DelayLine&) = delete;
    DelayLine& operator=(const DelayLine&) = delete;
    int port() const { return peer_.port(); }

  private:
    void serve();
    UdpPeer peer_;
    std::chrono::milliseconds delay_;
    std::function<int(int)> copies_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace testsupport
