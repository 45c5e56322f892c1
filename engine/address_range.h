// IPv4 address ranges written as CIDR blocks ("10.0.0.0/8"), for the responder's list of
// sources it trusts with echoes larger than their requests.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

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
