// Many datagrams per call on one UDP socket of either family (recvmmsg/sendmmsg), with the local
// address each datagram was sent to, so a socket bound to every address can answer from the
// address its peer used. Neither call blocks: a busy service stays in control of its own loop.
// Local addresses are held as IPv6 addresses, an IPv4 one as ::ffff:a.b.c.d.
#pragma once

#include "platform/socket_api.h"

#include <cstddef>

namespace plat {

// Most datagrams one call handles.
inline constexpr int kMaxDatagramBatch = 64;

struct received_datagram {
    // Filled by the caller: where the bytes go.
    unsigned char* data = nullptr;
    int capacity = 0;
    // Filled by receive_datagrams.
    int size = 0; // bytes received (a longer datagram is cut to capacity)
    sockaddr_storage source{};
    int source_length = 0;
    // The address it was sent to; all zero unless SOCKOPT_PKTINFO (SOCKOPT_PKTINFO6) is on.
    in6_addr destination{};
    in6_addr reply_from{};  // the local address to answer from; all zero: the kernel chooses
    unsigned interface = 0; // the interface it arrived on, when the destination is known
    int64_t stamp_ns = 0; // the kernel's receive stamp (wall clock); 0 unless SO_TIMESTAMPNS is on
    // The type-of-service byte or traffic class it arrived with; -1 unless SOCKOPT_RECVTOS
    // (SOCKOPT_RECVTCLASS) is on.
    int traffic_class = -1;
};

// Receives up to `count` waiting datagrams. Returns how many arrived, 0 when none is waiting,
// -1 on failure (errno set; never EAGAIN or EINTR). With `block`, waits until at least one
// arrives (or the socket's receive side is ended: end_receiving), then takes what is waiting.
int receive_datagrams(int sock, received_datagram* slots, int count, bool block = false);

struct outgoing_datagram {
    // Filled by the caller: the bytes are parts[0] followed by parts[1].
    const void* parts[2] = {nullptr, nullptr};
    size_t part_sizes[2] = {0, 0};
    sockaddr_storage destination{};
    int destination_length = 0;
    in6_addr from{};        // source address to send from; all zero: the kernel chooses
    unsigned interface = 0; // with `from`: the interface of a link-local address
    // The type-of-service byte or traffic class to send with; -1: the socket's own.
    int traffic_class = -1;
    // Filled by send_datagrams.
    int result = 0; // bytes sent, or -1
    int error = 0;  // errno of a failed send, else 0
};

// Sends datagrams in order and sets each one's result. A datagram whose send fails is given
// result -1 and its error, and the rest are still tried. Stops at the first datagram that the
// socket cannot take without blocking and returns how many have their result (count when all
// do).
int send_datagrams(int sock, outgoing_datagram* datagrams, int count);

} // namespace plat
