#include "net/bind_listen.h"

#include "net/error_map.h"
#include "platform/socket_errors.h"

#include <cerrno>
#include <cstring>

using net_detail::map_error;

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
