#include "forged_udp.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/ip.h>
#include <netinet/ip6.h>
#include <netinet/udp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

ForgedUdp::ForgedUdp() : fd_(::socket(AF_INET, SOCK_RAW, IPPROTO_RAW)) {}

ForgedUdp::~ForgedUdp() {
    if (fd_ >= 0) ::close(fd_);
    if (fd6_ >= 0) ::close(fd6_);
}

namespace {

// The ones' complement sum of 16-bit words, as the UDP checksum adds them.
uint32_t add_words(uint32_t sum, const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += uint32_t(bytes[i]) << 8 | bytes[i + 1];
    if (size % 2) sum += uint32_t(bytes[size - 1]) << 8;
    return sum;
}

udphdr udp_header(int source_port, int port, uint16_t length) {
    udphdr udp{};
    udp.source = htons(static_cast<uint16_t>(source_port));
    udp.dest = htons(static_cast<uint16_t>(port));
    udp.len = htons(length);
    return udp;
}

// The datagram whole (network header, UDP header, payload), sent on a raw socket to loopback.
template <class NetworkHeader, class Address>
bool send_packet(int fd, const NetworkHeader& ip, const udphdr& udp,
                 const std::vector<uint8_t>& payload, const Address& to) {
    std::vector<uint8_t> packet(sizeof ip + sizeof udp + payload.size());
    std::memcpy(packet.data(), &ip, sizeof ip);
    std::memcpy(packet.data() + sizeof ip, &udp, sizeof udp);
    if (!payload.empty())
        std::memcpy(packet.data() + sizeof ip + sizeof udp, payload.data(), payload.size());
    return ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(packet.size());
}

} // namespace

// IPv6 has no header checksum but makes the UDP one compulsory, over a pseudo-header.
bool ForgedUdp::send6(const std::string& source_ip, int source_port, int port,
                      const std::vector<uint8_t>& payload) {
    if (fd6_ < 0) fd6_ = ::socket(AF_INET6, SOCK_RAW, IPPROTO_RAW); // the header is ours
    ip6_hdr ip{};
    if (::inet_pton(AF_INET6, source_ip.c_str(), &ip.ip6_src) != 1) return false;
    ip.ip6_dst = in6addr_loopback;
    ip.ip6_flow = htonl(6u << 28);
    ip.ip6_nxt = IPPROTO_UDP;
    ip.ip6_hlim = 64;
    const auto udp_length = static_cast<uint16_t>(sizeof(udphdr) + payload.size());
    ip.ip6_plen = htons(udp_length);
    udphdr udp = udp_header(source_port, port, udp_length);
    uint32_t sum = add_words(0, ip.ip6_src.s6_addr, 16);
    sum = add_words(sum, ip.ip6_dst.s6_addr, 16);
    sum += udp_length + IPPROTO_UDP;
    sum = add_words(sum, reinterpret_cast<const uint8_t*>(&udp), sizeof udp);
    sum = add_words(sum, payload.data(), payload.size());
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    const auto check = static_cast<uint16_t>(~sum);
    udp.check = htons(check == 0 ? 0xFFFF : check);

    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_addr = in6addr_loopback;
    return send_packet(fd6_, ip, udp, payload, to);
}

bool ForgedUdp::send(const std::string& source_ip, int source_port, int port,
                     const std::vector<uint8_t>& payload) {
    if (source_ip.find(':') != std::string::npos)
        return send6(source_ip, source_port, port, payload);
    const auto udp_length = static_cast<uint16_t>(sizeof(udphdr) + payload.size());
    iphdr ip{};
    ip.version = 4;
    ip.ihl = sizeof ip / 4;
    ip.ttl = 64;
    ip.protocol = IPPROTO_UDP;
    ip.tot_len = htons(static_cast<uint16_t>(sizeof ip + udp_length));
    if (::inet_pton(AF_INET, source_ip.c_str(), &ip.saddr) != 1) return false;
    ip.daddr = htonl(INADDR_LOOPBACK); // the kernel fills in the checksum
    const udphdr udp = udp_header(source_port, port, udp_length); // no checksum: IPv4 allows it
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return send_packet(fd_, ip, udp, payload, to);
}

} // namespace testsupport
