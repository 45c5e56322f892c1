// What the timed transfers share: the codes a failed transfer reports (any other code is
// SOCKERR_FAIL), the clearing of a receive buffer and the time-out options.
#pragma once

#include "net/error_map.h"
#include "platform/socket_api.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace net_detail {

inline constexpr AcceptedSet kStreamSendErrors = {
    WSAEBADF,    WSAECONNRESET, WSAEDESTADDRREQ,        WSAEFAULT,      WSAEINTR, WSAEMSGSIZE,
    WSAENOTCONN, WSAENOTSOCK,   {EPIPE, -WSAESHUTDOWN}, WSAECONNREFUSED};
// Local sockets report a send after the peer left as a plain failure.
inline constexpr AcceptedSet kLocalSendErrors = {WSAEBADF,    WSAECONNRESET, WSAEDESTADDRREQ,
                                                 WSAEFAULT,   WSAEINTR,      WSAEMSGSIZE,
                                                 WSAENOTCONN, WSAENOTSOCK,   WSAECONNREFUSED};
inline constexpr AcceptedSet kDatagramSendErrors = {
    WSAEAFNOSUPPORT, WSAEBADF,    WSAECONNRESET,          WSAEFAULT,      WSAEINTR, WSAEMSGSIZE,
    WSAENOTCONN,     WSAENOTSOCK, {EPIPE, -WSAESHUTDOWN}, WSAECONNREFUSED};
inline constexpr AcceptedSet kReceiveErrors = {WSAEBADF,    WSAECONNRESET, WSAEFAULT,
                                               WSAEINTR,    WSAEINVAL,     WSAENOTCONN,
                                               WSAENOTSOCK, WSAETIMEDOUT,  WSAECONNREFUSED};

// Clears the first `len` bytes of `buf`; a length below 1 clears nothing.
inline void clear_front(void* buf, int len) {
    if (len > 0) std::memset(buf, 0, static_cast<size_t>(len));
}

inline constexpr int kNoTimeoutOption = 0;

// The value for a time-out option: the limit itself, or the shortest limit the option can
// hold (1 microsecond) when the limit is zero or below. To the kernel a zero time-out means no
// limit at all, and a negative one is refused; a call with no time left must still end.
inline timeval timeout_option_value(const timeval& limit) {
    const bool positive = limit.tv_sec > 0 || (limit.tv_sec == 0 && limit.tv_usec > 0);
    return positive ? limit : timeval{0, 1};
}

// Sets SO_SNDTIMEO or SO_RCVTIMEO (nothing for kNoTimeoutOption) from `limit`; the option
// stays on the socket. Its result is of no interest, and its failure must not change errno.
inline void set_timeout_option(int32_t sock, int option, const timeval& limit) {
    if (option == kNoTimeoutOption) return;
    const int saved = errno;
    const timeval value = timeout_option_value(limit);
    plat::setsockopt(sock, SOL_SOCKET, option, &value, sizeof value);
    errno = saved;
}

} // namespace net_detail
