// Socket options by the library's own option codes, binding, listening, accepting, closing,
// the address-family query, error texts, the library clock and the time-limit conversion, with
// the family entry points that forward to them.
#pragma once

#include "net/socket.h"

#include <cstdint>

// Library option codes: fixed values, independent of the platform's option numbers.
inline constexpr int SOCKOPT_NODELAY = 1;
inline constexpr int SOCKOPT_BROADCAST = 32;
inline constexpr int SOCKOPT_REUSEADDR = 0x123;
inline constexpr int SOCKOPT_LINGER = 0x124;   // value: seconds; lingering is always switched on
inline constexpr int SOCKOPT_BLOCKING = 0x125; // switches the mode, for reads and writes alike
inline constexpr int SOCKOPT_SNDBUF = 0x1001;
inline constexpr int SOCKOPT_RCVBUF = 0x1002;
inline constexpr int SOCKOPT_ERROR = 0x1007; // read only
inline constexpr int SOCKOPT_TYPE = 0x1008;  // read only
inline constexpr int SOCKOPT_NONBLOCKING = static_cast<int>(0x8004667Eu);

// The current calendar time in whole seconds: elapsed times of the timed operations move in
// steps of one second.
double sock_clock();

// A time limit in seconds as a timeval, both parts truncated toward zero.
timeval sock_timeval(double timeout);

// A wide text for an error code, stored through `where`; the caller owns it and releases it
// with sock_errtext_free. At least `size` wide characters are allocated. Returns `where`.
wchar_t** sock_errtext(int code, wchar_t** where, int size);
void sock_errtext_free(wchar_t* text);

// The family of the socket's own address, as a signed 16-bit value (negative on failure).
int16_t sock_family(int32_t sock);

// 0 on success; 1 for an option code the operation does not handle (nothing is done) and for
// the two mode codes, which switch the socket's blocking mode when read or written.
int32_t sock_getopt(int32_t sock, int option, int32_t* out);
int32_t sock_setopt(int32_t sock, int option, int32_t value);

// Creates a TCP stream socket and switches on SOCKOPT_NODELAY (whose result is ignored).
int32_t tcp_create_nodelay(int family);

// The address length passed to the platform follows the socket's own family.
int32_t sock_bind(int32_t sock, const sockaddr* addr);
int32_t sock_listen(int32_t sock, int backlog);
int32_t sock_accept(int32_t sock, sockaddr* addr);
// SOCKERR_FAIL for handle 0 (no socket at all); otherwise closes, cleans up once, returns 0.
int32_t sock_close(int32_t sock);

// Removes a stale file at the address's path before binding.
int32_t unix_bind(int32_t sock, const sockaddr* addr);

// The family entry points do exactly what the core operation does.
inline constexpr auto& unix_getopt = sock_getopt;
inline constexpr auto& unix_setopt = sock_setopt;
inline constexpr auto& unix_listen = sock_listen;
inline constexpr auto& unix_accept = sock_accept;
inline constexpr auto& unix_close = sock_close;
inline constexpr auto& tcp_getopt = sock_getopt;
inline constexpr auto& tcp_setopt = sock_setopt;
inline constexpr auto& tcp_bind = sock_bind;
inline constexpr auto& tcp_listen = sock_listen;
inline constexpr auto& tcp_accept = sock_accept;
inline constexpr auto& tcp_close = sock_close;
inline constexpr auto& udp_getopt = sock_getopt;
inline constexpr auto& udp_setopt = sock_setopt;
inline constexpr auto& udp_bind = sock_bind;
inline constexpr auto& udp_close = sock_close;

namespace net_detail {
// The address length the platform needs for this socket's family (110, 28, else 16).
int address_length(int32_t sock);
} // namespace net_detail
