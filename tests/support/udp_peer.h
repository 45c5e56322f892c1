// A UDP socket on 127.0.0.1 for tests that play a peer (a client of the responder, or a
// responder that misbehaves on purpose).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A port on 127.0.0.1 that was free a moment ago (UDP).
int free_udp_port();

class UdpPeer {
  public:
    explicit UdpPeer(int port = 0); // binds 127.0.0.1:port (0: any free port)
    ~UdpPeer();
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    int port() const { return port_; }

    struct Datagram {
        std::vector<uint8_t> bytes;
        int from_port = 0;
    };
    // The next datagram, or nothing when none arrives within `limit`.
    std::optional<Datagram> receive(std::chrono::milliseconds limit);
    bool send_to(int port, const std::vector<uint8_t>& bytes);

  private:
    int fd_ = -1;
    int port_ = 0;
};

// A probe as reboundcli builds it: the four header words, zero payload up to `size` bytes.
std::vector<uint8_t> probe(uint32_t seq, uint32_t sendsize, uint32_t recvsize, size_t size);

} // namespace testsupport
