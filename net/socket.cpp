#include "net/socket.h"

#include "net/error_map.h"

#include <cerrno>

using net_detail::map_error;

int32_t sock_startup() {
    return plat::startup() == 0 ? 1 : SOCKERR_STARTUP;
}

int32_t sock_cleanup() {
    plat::cleanup();
    return 1;
}

int32_t sock_create(int family, int type, int protocol) {
    if (sock_startup() != 1) return SOCKERR_FAIL;
    const int sock = plat::socket(family, type, protocol);
    if (sock != -1) return sock;
    return map_error(
        {EMFILE, ENFILE, WSAEPROTONOSUPPORT, WSAEPROTOTYPE, EACCES, WSAENOBUFS, ENOMEM},
        SOCKERR_FAIL);
}

namespace {

// What tells the family entry points apart: the socket type and protocol they ask for, and
// whether a failed creation is mapped (through sock_create) or reported plainly.
struct FamilyKind {
    int type;
    int protocol;
    bool mapped;
};

constexpr FamilyKind kLocalStream{SOCK_STREAM, 0, true};
constexpr FamilyKind kTcpStream{SOCK_STREAM, IPPROTO_TCP, false};
constexpr FamilyKind kUdpDatagram{SOCK_DGRAM, IPPROTO_UDP, true};

int32_t family_create(int family, const FamilyKind& kind) {
    if (sock_startup() != 1) return SOCKERR_FAIL;
    if (kind.mapped) return sock_create(family, kind.type, kind.protocol);
    const int saved = errno;
    const int sock = plat::socket(family, kind.type, kind.protocol);
    errno = saved;
    return sock == -1 ? SOCKERR_FAIL : sock;
}

} // namespace

int32_t unix_create(int family) {
    return family_create(family, kLocalStream);
}
int32_t tcp_create(int family) {
    return family_create(family, kTcpStream);
}
int32_t udp_create(int family) {
    return family_create(family, kUdpDatagram);
}
