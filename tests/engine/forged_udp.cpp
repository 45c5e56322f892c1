#include "forged_udp.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

ForgedUdp::ForgedUdp() : fd_(::socket(AF_INET, SOCK_RAW, IPPROTO_RAW)) {}

ForgedUdp::~ForgedUdp() {
    if (fd_ >= 0) ::close(fd_);
}

bool ForgedUdp::send(const std::string& source_ip, int source_port, int port,
                     const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> packet(sizeof(iphdr) + sizeof(udphdr) + payload.size());
    iphdr ip{};
    ip.version = 4;
    ip.ihl = sizeof ip / 4;
    ip.ttl = 64;
    ip.protocol = IPPROTO_UDP;
    ip.tot_len = htons(static_cast<uint16_t>(packet.size()));
    if (::inet_pton(AF_INET, source_ip.c_str(), &ip.saddr) != 1) return false;
    ip.daddr = htonl(INADDR_LOOPBACK); // the kernel fills in the checksum
    udphdr udp{};
    udp.source = htons(static_cast<uint16_t>(source_port));
    udp.dest = htons(static_cast<uint16_t>(port));
    udp.len = htons(static_cast<uint16_t>(sizeof udp + payload.size()));
    udp.check = 0; // no checksum, which IPv4 allows
    std::memcpy(packet.data(), &ip, sizeof ip);
    std::memcpy(packet.data() + sizeof ip, &udp, sizeof udp);
    if (!payload.empty())
        std::memcpy(packet.data() + sizeof ip + sizeof udp, payload.data(), payload.size());

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(packet.size());
}

} // namespace testsupport
