// Timed transfers: byte streams over connected local and TCP sockets, single datagrams over
// UDP sockets. Results follow the library convention: the number of bytes moved, or a negative
// code (-WSAETIMEDOUT when a wait for readiness runs out, -WSAENOTSOCK for the handle -1 on a
// stream).
#pragma once

#include "net/socket.h"

#include <cstdint>

// Stream sends: every byte of `data` within `timeout` seconds. Each wait for writability may
// take the whole `timeout`; once a send moved data and the whole-second clock says `timeout`
// has passed, the count so far is returned (tcp_send_nowait: -WSAETIMEDOUT). A send that moves
// nothing ends with the count so far. The send time-out option stays set on the socket.
int32_t tcp_send(int32_t sock, const void* data, int len, double timeout);
int32_t tcp_write(int32_t sock, const void* data, int len, double timeout); // same as tcp_send
int32_t unix_send(int32_t sock, const void* data, int len, double timeout); // EPIPE: SOCKERR_FAIL
// No readiness waits: each send is bounded by the send time-out option alone. A `timeout` too
// small for the option (0, below a microsecond, negative) sets the shortest one, never none.
int32_t tcp_send_nowait(int32_t sock, const void* data, int len, double timeout);

// Stream receives: the first `len` bytes of `buf` are cleared, then exactly `len` bytes are
// received unless the peer closes first (the count so far is returned) or `timeout` passes as
// for the sends. Bytes received before a wait runs out stay in `buf`.
int32_t tcp_recv(int32_t sock, void* buf, int len, double timeout);
int32_t unix_recv(int32_t sock, void* buf, int len, double timeout); // no time-out option
// Ends after the first receive that returns data.
int32_t tcp_recv_some(int32_t sock, void* buf, int len, double timeout);
// No readiness waits: each receive is bounded by the receive time-out option alone, set as
// for tcp_send_nowait.
int32_t tcp_recv_nowait(int32_t sock, void* buf, int len, double timeout);

// Transfer variants this library does not provide: -WSAENOTSOCK for the handle -1, SOCKERR_FAIL
// otherwise; nothing is moved (the receive ones clear the first `len` bytes of `buf`).
int32_t tcp_reserved_send_a(int32_t sock);
int32_t tcp_reserved_send_b(int32_t sock);
int32_t tcp_reserved_recv_a(int32_t sock, void* buf, int len);
int32_t tcp_reserved_recv_b(int32_t sock, void* buf, int len);
int32_t tcp_reserved_recv_c(int32_t sock, void* buf, int len);

// One datagram to `addr` (a 16-byte IPv4 record), after waiting up to `timeout` seconds for
// writability (udp_send) or at once (udp_blocksend).
int32_t udp_send(int32_t sock, const sockaddr* addr, const void* data, int len, double timeout);
int32_t udp_blocksend(int32_t sock, const sockaddr* addr, const void* data, int len);

// One datagram into `buf` (its first `len` bytes cleared first), with the sender's 16-byte
// address left in `addr`, after waiting up to `timeout` seconds for readability (udp_recv) or
// blocking until one arrives (udp_blockrecv). A longer datagram is cut to `len` bytes.
int32_t udp_recv(int32_t sock, sockaddr* addr, void* buf, int len, double timeout);
int32_t udp_blockrecv(int32_t sock, sockaddr* addr, void* buf, int len);
