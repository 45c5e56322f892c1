// UDP datagrams with any source address and port, written as whole IPv4 or IPv6 packets on a
// raw socket and sent to 127.0.0.1 or ::1 over loopback (needs root, as the tests have). The
// kernel delivers them as if that source had sent them (but for sources it drops itself).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class ForgedUdp {
  public:
    ForgedUdp();
    // Takes over a raw socket (IPPROTO_RAW) made elsewhere, in another network namespace say.
    explicit ForgedUdp(int raw_fd) : fd_(raw_fd) {}
    ~ForgedUdp();
    ForgedUdp(const ForgedUdp&) = delete;
    ForgedUdp& operator=(const ForgedUdp&) = delete;

    bool ready() const { return fd_ >= 0; }
    // Sends `payload` from source_ip:source_port to 127.0.0.1:port, or to [::1]:port for an
    // IPv6 source.
    bool send(const std::string& source_ip, int source_port, int port,
              const std::vector<uint8_t>& payload);

  private:
    bool send6(const std::string& source_ip, int source_port, int port,
               const std::vector<uint8_t>& payload);
    int fd_ = -1;
    int fd6_ = -1; // opened on the first IPv6 datagram
};

} // namespace testsupport
