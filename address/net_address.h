// One socket address of either IP family (IPv4 or IPv6, with port and, for IPv6, the zone),
// the one type events, records, reports and the responder's rules carry. Its text is the
// endpoint the lines print: "127.0.0.1:33333" for IPv4, "[::1]:33333" for IPv6.
#pragma once

#include "platform/socket_api.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Room for the longest endpoint text with its terminator: "[", an IPv6 text of 45 characters,
// "%" and an interface name of 15, "]:" and a port of 5.
inline constexpr int kEndpointTextSize = 72;

class net_address {
  public:
    net_address() = default;
    // Implicit: a record of either family is an address as it stands.
    net_address(const sockaddr_in& a) { raw_.v4 = a; }  // NOLINT(google-explicit-constructor)
    net_address(const sockaddr_in6& a) { raw_.v6 = a; } // NOLINT(google-explicit-constructor)

    // The record a socket call filled in; an address of any other family (or a length too
    // short for its family) gives the unset address.
    static net_address from_record(const sockaddr* record, int length);

    int family() const { return raw_.sa.sa_family; } // AF_INET, AF_INET6, or 0 when unset
    bool is_ipv6() const { return family() == AF_INET6; }
    uint16_t port() const; // host order
    void set_port(uint16_t port);
    // The record and its length for the socket calls (0 for the unset address).
    const sockaddr* record() const { return &raw_.sa; }
    sockaddr* record() { return &raw_.sa; }
    int length() const;
    static constexpr int kRecordSize = sizeof(sockaddr_in6); // room for either family

    const sockaddr_in& ipv4() const { return raw_.v4; }
    const sockaddr_in6& ipv6() const { return raw_.v6; }
    uint32_t ipv4_host_order() const { return ntohl(raw_.v4.sin_addr.s_addr); }

    // 0.0.0.0 or ::: every local address.
    bool is_unspecified() const;
    // An IPv6 address that stands for an IPv4 one (::ffff:a.b.c.d), as a socket of both
    // families reports its IPv4 peers.
    bool is_ipv4_mapped() const;
    // The IPv4 address (same port) of an IPv4-mapped one; any other address as it is.
    net_address unmapped() const;
    // Same family, address and zone; the port aside.
    bool same_host(const net_address& other) const;
    bool operator==(const net_address& other) const {
        return same_host(other) && port() == other.port();
    }

  private:
    union {
        sockaddr sa;
        sockaddr_in v4;
        sockaddr_in6 v6;
    } raw_{};
};

// "127.0.0.1:33333", "[::1]:33333", "[fe80::1%eth0]:33333"; empty for the unset address.
const char* endpoint_text(const net_address& a, char (&buffer)[kEndpointTextSize]);
std::string endpoint_text(const net_address& a);
// The address alone, as the name services write it: "127.0.0.1", "::1", "fe80::1%eth0".
std::string address_only_text(const net_address& a);
// The endpoint text of a host text and a port: "[" host "]:" port for an IPv6 literal (a host
// text with a ':'), host ":" port for anything else (a dotted address or a name).
std::string endpoint_of(std::string_view host, int port);

// An address literal of either family with the port (host order). IPv4: a dotted quad, four
// decimal numbers 0..255 without leading zeros (no shorthand such as 127.1). IPv6: the standard
// text, optionally in brackets, with "%zone" (an interface name or index) where the address is
// link-local; a link-local address without its zone is refused, since the kernel could not tell
// which link is meant. Nothing is looked up but the zone's interface. Returns the empty string
// and sets *out, or why the text is refused.
std::string parse_address_literal(std::string_view text, uint16_t port, net_address* out);

// A HOST[:PORT] text in its two parts (views into the text). An IPv6 host with a port is
// written in brackets ("[::1]:33333", "[::1]"); a text of more than one ':' without brackets
// is an IPv6 address alone ("::1"). Neither part is checked beyond that: the caller parses the
// host and takes the port's range it allows. Returns the empty string and sets *out, or why the
// text cannot be split.
struct host_port_parts {
    std::string_view host;
    std::optional<std::string_view> port; // absent when the text names none
};
std::string split_host_port(std::string_view text, host_port_parts* out);

// True when the text is written as an IPv6 literal (it holds a ':'); such a text is never a
// host name.
bool looks_like_ipv6(std::string_view text);
