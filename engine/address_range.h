// IPv4 and IPv6 address ranges written as CIDR blocks ("10.0.0.0/8", "fd00::/8"), for the
// responder's list of sources it trusts with echoes larger than their requests.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

struct ipv4_range {
    uint32_t network = 0; // host byte order, host bits zero
    uint32_t mask = 0;    // host byte order
};

// "a.b.c.d/n" (n from 0 to 32) or a single address "a.b.c.d" (as /32). Empty when the text is
// not one, or when it sets bits below the prefix ("10.1.2.3/8" is refused rather than guessed).
std::optional<ipv4_range> parse_ipv4_range(std::string_view text);

// `address` in host byte order.
inline bool range_contains(const ipv4_range& range, uint32_t address) {
    return (address & range.mask) == range.network;
}

inline constexpr ipv4_range kLoopbackRange{0x7F000000u, 0xFF000000u};
inline constexpr const char* kLoopbackRangeText = "127.0.0.0/8";

struct ipv6_range {
    std::array<uint8_t, 16> network{}; // host bits zero
    int prefix = 0;                    // 0..128
};

// "x::y/n" (n from 0 to 128) or a single address (as /128), refused as parse_ipv4_range does.
std::optional<ipv6_range> parse_ipv6_range(std::string_view text);
bool range_contains(const ipv6_range& range, const in6_addr& address);

inline constexpr ipv6_range kLoopback6Range{{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128};
inline constexpr const char* kLoopback6RangeText = "::1/128";

// A range of either family: an IPv6 one when the text holds a ':'.
struct ip_ranges {
    std::vector<ipv4_range> v4;
    std::vector<ipv6_range> v6;
};
// Adds the range of `text` to *out; false (nothing added) when the text is no range.
bool add_ip_range(std::string_view text, ip_ranges* out);
