#include "tests/dns/port53.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dnstest {
namespace {

int bound_socket(int type, const sockaddr_in& a) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return fd;
    const int err = errno;
    ::close(fd);
    errno = err;
    return -1;
}

} // namespace

Port53 bind_port53(bool also_tcp, int skip) {
    Port53 p;
    const int start = (::getpid() + skip) % 250;
    for (int i = 0; i < 250; ++i) {
        const int n = (start + i) % 250 + 1;
        p.address = "127.53." + std::to_string(n) + ".1";
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(53);
        inet_pton(AF_INET, p.address.c_str(), &a.sin_addr);
        const int udp = bound_socket(SOCK_DGRAM, a);
        if (udp < 0 && errno == EADDRINUSE) continue;
        if (udp < 0) {
            p.why_not = "cannot bind " + p.address + ":53 (" + std::strerror(errno) +
                        "); binding port 53 needs root or CAP_NET_BIND_SERVICE";
            p.address.clear();
            return p;
        }
        if (also_tcp) {
            const int tcp = bound_socket(SOCK_STREAM, a);
            if (tcp < 0) {
                ::close(udp);
                continue;
            }
            ::close(tcp);
        }
        p.fd = udp;
        return p;
    }
    p.why_not = "port 53 is taken on every address 127.53.1.1 to 127.53.250.1";
    p.address.clear();
    return p;
}

} // namespace dnstest
