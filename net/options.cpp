#include "net/options.h"

#include "net/error_map.h"
#include "platform/socket_errors.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <string>

using net_detail::map_error;

double sock_clock() {
    return static_cast<double>(std::time(nullptr));
}

timeval sock_timeval(double timeout) {
    // Limits beyond about 31 years are cut and NaN counts as 0, so the conversion is always
    // defined whatever a caller passes.
    if (std::isnan(timeout)) timeout = 0;
    timeout = std::clamp(timeout, -1e9, 1e9);
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout);
    tv.tv_usec = static_cast<suseconds_t>((timeout - static_cast<double>(tv.tv_sec)) * 1000000.0f);
    return tv;
}

wchar_t** sock_errtext(int code, wchar_t** where, int size) {
    const std::string text = plat::error_text(code);
    const size_t chars = std::max<size_t>(text.size() + 1, size > 0 ? size_t(size) : 0);
    auto* wide = static_cast<wchar_t*>(std::calloc(chars, sizeof(wchar_t)));
    if (wide) {
        // Error texts are plain ASCII; widening byte by byte keeps them exact.
        for (size_t i = 0; i < text.size(); ++i)
            wide[i] = static_cast<unsigned char>(text[i]);
    }
    *where = wide;
    return where;
}

void sock_errtext_free(wchar_t* text) {
    std::free(text);
}

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

int16_t sock_family(int32_t sock) {
    sockaddr_storage addr{};
    int len = plat::kInet6AddrLen;
    if (plat::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len) < 0)
        return static_cast<int16_t>(
            map_error({WSAEBADF, WSAEFAULT, WSAEOPNOTSUPP, WSAEINVAL, WSAENOBUFS}, SOCKERR_FAIL));
    return static_cast<int16_t>(addr.ss_family);
}

int net_detail::address_length(int32_t sock) {
    switch (sock_family(sock)) {
    case AF_UNIX:
        return plat::kLocalAddrLen;
    case AF_INET6:
        return plat::kInet6AddrLen;
    default:
        return plat::kInetAddrLen;
    }
}

int32_t sock_bind(int32_t sock, const sockaddr* addr) {
    const int len = net_detail::address_length(sock);
    if (plat::bind(sock, addr, len) >= 0) return 0;
    return map_error({WSAEADDRINUSE, WSAEADDRNOTAVAIL, WSAEAFNOSUPPORT, WSAEBADF, WSAEINVAL,
                      WSAENOTSOCK, WSAEOPNOTSUPP, EACCES, WSAEDESTADDRREQ, EIO, EISDIR, WSAELOOP,
                      ENAMETOOLONG, ENOENT, ENOTDIR, EROFS, WSAEISCONN, WSAENOBUFS},
                     SOCKERR_BIND);
}

int32_t unix_bind(int32_t sock, const sockaddr* addr) {
    // The path starts after the 2-byte family; a bounded copy keeps an unterminated path safe.
    char path[sizeof(sockaddr_un::sun_path) + 1] = {};
    std::memcpy(path, reinterpret_cast<const sockaddr_un*>(addr)->sun_path, sizeof path - 1);
    const int saved = errno;
    plat::unlink(path);
    errno = saved;
    return sock_bind(sock, addr);
}

int32_t sock_listen(int32_t sock, int backlog) {
    if (plat::listen(sock, backlog) >= 0) return 0;
    return map_error(
        {WSAEBADF, WSAEDESTADDRREQ, WSAEINVAL, WSAENOTSOCK, WSAEOPNOTSUPP, EACCES, WSAENOBUFS},
        SOCKERR_LISTEN);
}

int32_t sock_accept(int32_t sock, sockaddr* addr) {
    int len = net_detail::address_length(sock);
    const int peer = plat::accept(sock, addr, &len);
    if (peer != -1) return peer;
    return map_error({WSAEBADF, WSAEFAULT, WSAEINTR, WSAEINVAL, WSAENOTSOCK, WSAECONNABORTED},
                     SOCKERR_ACCEPT);
}

int32_t sock_close(int32_t sock) {
    if (sock == 0) return SOCKERR_FAIL;
    const int saved = errno;
    plat::closesocket(sock);
    plat::cleanup();
    errno = saved;
    return 0;
}
