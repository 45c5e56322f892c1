// What the timed transfers share: the codes a failed transfer reports (any other code is
// SOCKERR_FAIL) and the clearing of a receive buffer.
#pragma once

#include "net/error_map.h"

#include <cerrno>
#include <cstring>

namespace net_detail {

inline constexpr AcceptedSet kStreamSendErrors = {10009, 10054, 10039, 10014,           10004,
                                                  10040, 10057, 10038, {EPIPE, -10058}, 10061};
// Local sockets report a send after the peer left as a plain failure.
inline constexpr AcceptedSet kLocalSendErrors = {10009, 10054, 10039, 10014, 10004,
                                                 10040, 10057, 10038, 10061};
inline constexpr AcceptedSet kDatagramSendErrors = {10047, 10009, 10054, 10014,           10004,
                                                    10040, 10057, 10038, {EPIPE, -10058}, 10061};
inline constexpr AcceptedSet kReceiveErrors = {10009, 10054, 10014, 10004, 10022,
                                               10057, 10038, 10060, 10061};

// Clears the first `len` bytes of `buf`; a length below 1 clears nothing.
inline void clear_front(void* buf, int len) {
    if (len > 0) std::memset(buf, 0, static_cast<size_t>(len));
}

} // namespace net_detail
