#include "net/options.h"

#include "net/error_map.h"
#include "platform/socket_errors.h"

using net_detail::map_error;

namespace {

constexpr net_detail::AcceptedSet kOptionErrors = {
    WSAEBADF, WSAEFAULT, WSAEINVAL, WSAENOPROTOOPT, WSAENOTSOCK, EACCES, WSAENOBUFS};

// How a library option code reaches the platform.
enum class OptKind { Int, Linger, Mode, ReadOnly };

struct OptRow {
    int code;
    OptKind kind;
    int level;
    int name;
    bool nonblocking; // for the mode codes
};

constexpr OptRow kOptions[] = {
    {SOCKOPT_NODELAY, OptKind::Int, IPPROTO_TCP, TCP_NODELAY, false},
    {SOCKOPT_BROADCAST, OptKind::Int, SOL_SOCKET, SO_BROADCAST, false},
    {SOCKOPT_REUSEADDR, OptKind::Int, SOL_SOCKET, SO_REUSEADDR, false},
    {SOCKOPT_LINGER, OptKind::Linger, SOL_SOCKET, SO_LINGER, false},
    {SOCKOPT_BLOCKING, OptKind::Mode, 0, 0, false},
    {SOCKOPT_SNDBUF, OptKind::Int, SOL_SOCKET, SO_SNDBUF, false},
    {SOCKOPT_RCVBUF, OptKind::Int, SOL_SOCKET, SO_RCVBUF, false},
    {SOCKOPT_ERROR, OptKind::ReadOnly, SOL_SOCKET, SO_ERROR, false},
    {SOCKOPT_TYPE, OptKind::ReadOnly, SOL_SOCKET, SO_TYPE, false},
    {SOCKOPT_NONBLOCKING, OptKind::Mode, 0, 0, true},
    {SOCKOPT_REUSEPORT, OptKind::Int, SOL_SOCKET, SO_REUSEPORT, false},
    {SOCKOPT_PKTINFO, OptKind::Int, IPPROTO_IP, IP_PKTINFO, false},
    {SOCKOPT_TIMESTAMPNS, OptKind::Int, SOL_SOCKET, SO_TIMESTAMPNS, false},
    {SOCKOPT_RECVERR, OptKind::Int, IPPROTO_IP, IP_RECVERR, false},
    {SOCKOPT_RXQ_OVFL, OptKind::Int, SOL_SOCKET, SO_RXQ_OVFL, false},
    {SOCKOPT_PKTINFO6, OptKind::Int, IPPROTO_IPV6, IPV6_RECVPKTINFO, false},
    {SOCKOPT_RECVERR6, OptKind::Int, IPPROTO_IPV6, IPV6_RECVERR, false},
    {SOCKOPT_V6ONLY, OptKind::Int, IPPROTO_IPV6, IPV6_V6ONLY, false},
    {SOCKOPT_TOS, OptKind::Int, IPPROTO_IP, IP_TOS, false},
    {SOCKOPT_TCLASS, OptKind::Int, IPPROTO_IPV6, IPV6_TCLASS, false},
    {SOCKOPT_TTL, OptKind::Int, IPPROTO_IP, IP_TTL, false},
    {SOCKOPT_HOPLIMIT, OptKind::Int, IPPROTO_IPV6, IPV6_UNICAST_HOPS, false},
    {SOCKOPT_MTU_DISCOVER, OptKind::Int, IPPROTO_IP, IP_MTU_DISCOVER, false},
    {SOCKOPT_MTU_DISCOVER6, OptKind::Int, IPPROTO_IPV6, IPV6_MTU_DISCOVER, false},
    {SOCKOPT_RECVTOS, OptKind::Int, IPPROTO_IP, IP_RECVTOS, false},
    {SOCKOPT_RECVTCLASS, OptKind::Int, IPPROTO_IPV6, IPV6_RECVTCLASS, false},
};

const OptRow* find_option(int code) {
    for (const auto& row : kOptions)
        if (row.code == code) return &row;
    return nullptr;
}

int32_t switch_mode(int32_t sock, const OptRow& row) {
    if (plat::set_nonblocking(sock, row.nonblocking) < 0)
        return map_error(kOptionErrors, SOCKERR_FAIL);
    return 1;
}

} // namespace

int32_t sock_getopt(int32_t sock, int option, int32_t* out) {
    const OptRow* row = find_option(option);
    if (!row) return 1;
    if (row->kind == OptKind::Mode) return switch_mode(sock, *row);
    if (row->kind == OptKind::Linger) {
        linger lg{};
        int len = sizeof lg;
        if (plat::getsockopt(sock, row->level, row->name, &lg, &len) < 0)
            return map_error(kOptionErrors, SOCKERR_FAIL);
        *out = static_cast<uint16_t>(lg.l_onoff);
        return 0;
    }
    int32_t value = 0;
    int len = sizeof value;
    if (plat::getsockopt(sock, row->level, row->name, &value, &len) < 0)
        return map_error(kOptionErrors, SOCKERR_FAIL);
    *out = value;
    return 0;
}

int32_t sock_setopt(int32_t sock, int option, int32_t value) {
    const OptRow* row = find_option(option);
    if (!row || row->kind == OptKind::ReadOnly) return 1;
    if (row->kind == OptKind::Mode) return switch_mode(sock, *row);
    int r;
    if (row->kind == OptKind::Linger) {
        const linger lg{1, static_cast<uint16_t>(value)};
        r = plat::setsockopt(sock, row->level, row->name, &lg, sizeof lg);
    } else {
        r = plat::setsockopt(sock, row->level, row->name, &value, sizeof value);
    }
    return r < 0 ? map_error(kOptionErrors, SOCKERR_FAIL) : 0;
}

int32_t tcp_create_nodelay(int family) {
    if (sock_startup() != 1) return SOCKERR_FAIL;
    const int32_t sock = sock_create(family, SOCK_STREAM, IPPROTO_TCP);
    sock_setopt(sock, SOCKOPT_NODELAY, 1);
    return sock;
}
