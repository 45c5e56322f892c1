// What the responder does with one datagram, decided from the datagram alone: refuse it (and
// why), or answer it with an echo of which size and bytes. No socket, clock or state is
// involved, so every rule can be checked on any bytes from any source.
//
// The rules keep the responder from being turned against others or itself:
// - no answer to a datagram sent to a broadcast or multicast address (every host of a subnet
//   or group would answer one datagram);
// - no answer to datagrams that claim to come from the responder's own port (from its own
//   address, that is the responder talking to itself; from another address, a second responder
//   on the same port), from port 0 or a port below 1024 (echo, chargen, DNS and the other
//   services a forged source would aim an echo at), or from an address no host can have: a
//   broadcast address (limited, or of a local subnet), multicast, 0.0.0.0/8 or 240.0.0.0/4,
//   and over IPv6 multicast (ff00::/8) or the unspecified address; an IPv4-mapped source
//   (::ffff:a.b.c.d, how a socket of both families sees IPv4 peers) is judged as its IPv4
//   address, and refused as reserved when it came in an IPv6 packet (no IPv4 peer does);
// - no answer to an echo: every echo carries the echo mark (kProbeFlagEcho), so one forged
//   datagram cannot keep two echo services bouncing it between them;
// - sources outside the trusted ranges get an echo no larger than their request, so the
//   responder never sends more bytes than a forged source sent it;
// - no echo is larger than the configured maximum.
#pragma once

#include "address/net_address.h"
#include "engine/address_range.h"

#include <netinet/in.h>

#include <cstdint>
#include <span>
#include <vector>

// The largest UDP payload over IPv4 (65535 minus the IP and UDP headers).
inline constexpr int32_t kMaxUdpPayload = 65507;

// Source ports below this one belong to system services.
inline constexpr int kFirstUserPort = 1024;

enum class echo_refusal : uint8_t {
    none,
    own_address,  // from the responder's own address and port
    own_port,     // from the responder's port at another address
    low_port,     // from port 0 or a system service's port
    broadcast,    // from 255.255.255.255 or a local subnet's broadcast address
    multicast,    // from 224.0.0.0/4 or ff00::/8
    reserved,     // from 0.0.0.0/8, 240.0.0.0/4 or :: (or of no IP family)
    to_broadcast, // sent to 255.255.255.255 or a local subnet's broadcast address
    to_multicast, // sent to 224.0.0.0/4 or ff00::/8
    echo,         // carries the echo mark: an echo, never answered
    empty,        // no bytes: reported like a request, never answered
};
inline constexpr int kEchoRefusalKinds = 11; // none included
static_assert(kEchoRefusalKinds == int(echo_refusal::empty) + 1, "one count per refusal kind");

// "own_address", "own_port", ...; "none" for none.
const char* echo_refusal_name(echo_refusal reason);

struct echo_policy {
    std::vector<ipv4_range> trusted{kLoopbackRange};   // sources that get any echo size
    std::vector<ipv6_range> trusted6{kLoopback6Range}; // the same for IPv6 sources
    int32_t max_echo = kMaxUdpPayload;
    uint16_t own_port = 0;    // host byte order
    uint32_t own_address = 0; // host byte order; 0 when bound to every address
    in6_addr own_address6{};  // all zero when bound to every address (or to an IPv4 one)
    // Broadcast addresses of the local subnets (subnet_broadcasts.h), host byte order.
    std::vector<uint32_t> subnet_broadcasts;
};

struct echo_request {
    std::span<const unsigned char> bytes; // as received
    net_address source;
    uint32_t destination = 0; // host byte order: the IPv4 address it was sent to, 0 when unknown
    in6_addr destination6{};  // the IPv6 address it was sent to; all zero when unknown
};

enum class echo_verdict : uint8_t {
    echo,    // echo_size bytes: the request's first `copied` bytes, then zeros, with the mark
    empty,   // an empty datagram: reported, not answered (refusal: empty)
    refused, // not answered, not reported; `refusal` says why
};

struct echo_plan {
    echo_verdict verdict = echo_verdict::refused;
    echo_refusal refusal = echo_refusal::none; // none exactly when the verdict is echo
    bool trusted = false; // the source is in a trusted range (no rate limit applies)
    int32_t seq = 0;      // the sequence number the request carries (0 where it has none)
    int32_t echo_size = 0;
    int32_t copied = 0;
    // The echo carries word 0 whole: the responder sets kProbeFlagEcho in it. Echoes shorter
    // than one word (of requests as short, from untrusted sources) go out as they came.
    bool marked = false;
    // The request asks for the responder's time stamps (kProbeFlagWantStamps) and the echo is
    // long enough to hold them (responder_stamps.h).
    bool stamped = false;
};

echo_plan plan_echo(const echo_policy& policy, const echo_request& request);
