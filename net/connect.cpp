// The timed connects are one procedure; what tells them apart is their row below.
#include "net/connect.h"

#include "net/bind_listen.h"
#include "net/error_map.h"
#include "net/options.h"
#include "net/readiness.h"
#include "net/sock_timeval.h"
#include "platform/socket_errors.h"

#include <cerrno>

using namespace net_detail;

namespace {

enum class Before { NonBlocking, NonBlockingNoDelayLinger };
enum class AddressLength { ByInetFamily, Local }; // 28 for IPv6 else 16; 110 always
enum class ImmediateFailure { Reported, Ignored };
enum class After { PendingError, ReadinessOnly };

struct ConnectMember {
    Before before;
    AddressLength length;
    ImmediateFailure immediate;
    After after;
};

// clang-format off
constexpr ConnectMember kTcpConnect        {Before::NonBlocking,              AddressLength::ByInetFamily, ImmediateFailure::Reported, After::PendingError};
constexpr ConnectMember kUnixConnect       {Before::NonBlocking,              AddressLength::Local,        ImmediateFailure::Ignored,  After::PendingError};
constexpr ConnectMember kTcpConnectNodelay {Before::NonBlockingNoDelayLinger, AddressLength::ByInetFamily, ImmediateFailure::Ignored,  After::PendingError};
constexpr ConnectMember kTcpConnectFast    {Before::NonBlocking,              AddressLength::ByInetFamily, ImmediateFailure::Ignored,  After::ReadinessOnly};
// clang-format on

constexpr AcceptedSet kImmediateErrors = {
    WSAEADDRNOTAVAIL, WSAEAFNOSUPPORT, WSAEALREADY, WSAEBADF,      WSAECONNREFUSED, WSAEINTR,
    WSAEISCONN,       WSAENETUNREACH,  WSAENOTSOCK, WSAEPROTOTYPE, WSAETIMEDOUT,    EIO,
    WSAELOOP,         ENAMETOOLONG,    ENOENT,      ENOTDIR,       EACCES,          WSAEADDRINUSE,
    WSAECONNRESET,    WSAEHOSTUNREACH, WSAEINVAL,   WSAENETDOWN,   WSAENOBUFS,      WSAEOPNOTSUPP};
constexpr AcceptedSet kPendingErrors = {WSAETIMEDOUT,    WSAECONNREFUSED, WSAEHOSTDOWN,
                                        WSAEHOSTUNREACH, WSAEALREADY,     WSAEINPROGRESS};

int address_length(int32_t sock, AddressLength rule) {
    if (rule == AddressLength::Local) return plat::kLocalAddrLen;
    return sock_family(sock) == AF_INET6 ? plat::kInet6AddrLen : plat::kInetAddrLen;
}

// A connect whose failure the caller does not report leaves errno as it was.
int connect_quietly(int32_t sock, const sockaddr* addr, int len) {
    const int saved = errno;
    const int r = plat::connect(sock, addr, len);
    errno = saved;
    return r;
}

// The pending error in the library's numbering, or -1 when it cannot be read.
int pending_error(int32_t sock) {
    int32_t value = 0;
    int len = sizeof value;
    if (plat::getsockopt(sock, SOL_SOCKET, SO_ERROR, &value, &len) < 0) return -1;
    return plat::translate_errno(value);
}

int32_t timed_connect(const ConnectMember& m, int32_t sock, const sockaddr* addr, double timeout) {
    sock_setopt(sock, SOCKOPT_NONBLOCKING, 1);
    if (m.before == Before::NonBlockingNoDelayLinger) {
        sock_setopt(sock, SOCKOPT_NODELAY, 1);
        sock_setopt(sock, SOCKOPT_LINGER, 1);
    }
    const int len = address_length(sock, m.length);
    if (connect_quietly(sock, addr, len) < 0) {
        const int code = plat::last_socket_error();
        // A local connect never goes on in the background: "would block" there means the
        // listener's queue is full, which is a failure, not a connect under way.
        const bool under_way =
            code == WSAEINPROGRESS || (code == WSAEWOULDBLOCK && m.length != AddressLength::Local);
        if (m.immediate == ImmediateFailure::Reported) {
            if (!under_way) return map_error(kImmediateErrors, SOCKERR_FAIL);
            errno = code;
        } else if (!under_way && m.after == After::PendingError) {
            // A connect refused at once leaves no pending error, and the unconnected socket
            // counts as ready: report the failure as the pending error would have been.
            return map_code(code, kPendingErrors, SOCKERR_FAIL);
        }
    }

    plat::Readiness ready;
    const int r = wait_ready(sock, {true, true, false}, sock_timeval(timeout), &ready);
    if (r == 0) return -WSAETIMEDOUT;
    if (r < 0) return SOCKERR_FAIL;
    if (m.after == After::ReadinessOnly) return r;
    if (!ready.read && !ready.write) return SOCKERR_FAIL;
    const int pending = pending_error(sock);
    if (pending < 0) return SOCKERR_FAIL;
    if (pending == 0) return r;
    return map_code(pending, kPendingErrors, SOCKERR_FAIL);
}

int32_t wait_for(int32_t sock, plat::Readiness want, double timeout) {
    plat::Readiness ready;
    const int r = wait_ready(sock, want, sock_timeval(timeout), &ready);
    if (r == 0) return -WSAETIMEDOUT;
    if (r < 0) return SOCKERR_FAIL;
    return (want.read && ready.read) || (want.write && ready.write) ? 0 : -1;
}

} // namespace

int32_t tcp_connect(int32_t sock, const sockaddr* addr, double timeout) {
    return timed_connect(kTcpConnect, sock, addr, timeout);
}
int32_t unix_connect(int32_t sock, const sockaddr* addr, double timeout) {
    return timed_connect(kUnixConnect, sock, addr, timeout);
}
int32_t tcp_connect_nodelay(int32_t sock, const sockaddr* addr, double timeout) {
    return timed_connect(kTcpConnectNodelay, sock, addr, timeout);
}
int32_t tcp_connect_fast(int32_t sock, const sockaddr* addr, double timeout) {
    return timed_connect(kTcpConnectFast, sock, addr, timeout);
}

int32_t tcp_connect_plain(int32_t sock, const sockaddr* addr) {
    return connect_quietly(sock, addr, plat::kInetAddrLen);
}

int32_t tcp_reserved_connect(int32_t sock, const sockaddr* addr) {
    connect_quietly(sock, addr, plat::kInetAddrLen);
    return SOCKERR_FAIL;
}

int32_t tcp_wait_writable(int32_t sock, double timeout) {
    return wait_for(sock, kWritable, timeout);
}
int32_t tcp_wait_readable(int32_t sock, double timeout) {
    return wait_for(sock, kReadable, timeout);
}
