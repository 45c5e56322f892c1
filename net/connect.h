// Connects within a time limit and readiness waits on stream sockets.
//
// The timed connects switch the socket to non-blocking mode (it stays so afterwards; switch it
// back with SOCKOPT_BLOCKING for blocking transfers), start the connect, wait up to `timeout`
// seconds for the socket to become readable or writable and then learn how the connect ended.
// Success is the number of ready sets (1 or 2); -WSAETIMEDOUT when the wait runs out.
#pragma once

#include "net/socket.h"

#include <cstdint>

// A failure of the connect call itself is reported at once (anything but "would block" and
// "in progress"); after the wait, the socket's pending error is the result.
int32_t tcp_connect(int32_t sock, const sockaddr* addr, double timeout);
// A local (path) socket; the address is the 110-byte local record.
int32_t unix_connect(int32_t sock, const sockaddr* addr, double timeout);
// Also switches on no-delay and lingering for 1 second before connecting.
int32_t tcp_connect_nodelay(int32_t sock, const sockaddr* addr, double timeout);
// Reports readiness only: a connect that failed makes the socket ready as well, so a positive
// result does not prove a connection.
int32_t tcp_connect_fast(int32_t sock, const sockaddr* addr, double timeout);

// One connect in the socket's current mode with a 16-byte address: 0, or -1 with the cause
// left for the platform's last error (errno is not touched).
int32_t tcp_connect_plain(int32_t sock, const sockaddr* addr);
// A connect variant this library does not provide: starts a connect and reports SOCKERR_FAIL.
int32_t tcp_reserved_connect(int32_t sock, const sockaddr* addr);

// 0 once the socket is writable (readable) within `timeout` seconds, -WSAETIMEDOUT when the wait
// runs out, SOCKERR_FAIL when the readiness call fails.
int32_t tcp_wait_writable(int32_t sock, double timeout);
int32_t tcp_wait_readable(int32_t sock, double timeout);
