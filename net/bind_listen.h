// Binding, listening, accepting and closing, the address-family query they rest on, and the
// family entry points that forward to them.
#pragma once

#include "net/socket.h"

#include <cstdint>

// The family of the socket's own address, as a signed 16-bit value (negative on failure).
int16_t sock_family(int32_t sock);

// The address length passed to the platform follows the socket's own family.
int32_t sock_bind(int32_t sock, const sockaddr* addr);
int32_t sock_listen(int32_t sock, int backlog);
int32_t sock_accept(int32_t sock, sockaddr* addr);
// SOCKERR_FAIL for handle 0 (no socket at all); otherwise closes, cleans up once, returns 0.
int32_t sock_close(int32_t sock);

// Removes a stale file at the address's path before binding.
int32_t unix_bind(int32_t sock, const sockaddr* addr);

// The family entry points do exactly what the core operation does.
inline constexpr auto& unix_listen = sock_listen;
inline constexpr auto& unix_accept = sock_accept;
inline constexpr auto& unix_close = sock_close;
inline constexpr auto& tcp_bind = sock_bind;
inline constexpr auto& tcp_listen = sock_listen;
inline constexpr auto& tcp_accept = sock_accept;
inline constexpr auto& tcp_close = sock_close;
inline constexpr auto& udp_bind = sock_bind;
inline constexpr auto& udp_close = sock_close;

namespace net_detail {
// The address length the platform needs for this socket's family (110, 28, else 16).
int address_length(int32_t sock);
} // namespace net_detail
