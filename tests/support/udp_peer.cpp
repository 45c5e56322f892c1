#include "tests/support/udp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {
namespace {

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

} // namespace

int free_udp_port() {
    UdpPeer probe_socket;
    return probe_socket.port();
}

UdpPeer::UdpPeer(int port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = loopback(port);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
}

UdpPeer::~UdpPeer() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<UdpPeer::Datagram> UdpPeer::receive(std::chrono::milliseconds limit) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return std::nullopt;
    Datagram d;
    d.bytes.resize(70000);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd_, d.bytes.data(), d.bytes.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return std::nullopt;
    d.bytes.resize(static_cast<size_t>(n));
    d.from_port = ntohs(from.sin_port);
    return d;
}

bool UdpPeer::send_to(int port, const std::vector<uint8_t>& bytes) {
    const sockaddr_in to = loopback(port);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(bytes.size());
}

std::vector<uint8_t> probe(uint32_t seq, uint32_t sendsize, uint32_t recvsize, size_t size) {
    std::vector<uint8_t> b(size < 16 ? 16 : size, 0);
    const uint32_t words[4] = {0, seq, sendsize, recvsize};
    for (int w = 0; w < 4; ++w)
        for (int k = 0; k < 4; ++k)
            b[4 * w + k] = static_cast<uint8_t>(words[w] >> (8 * k));
    b.resize(size);
    return b;
}

} // namespace testsupport
