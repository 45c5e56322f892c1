#include "engine/address_range.h"

#include "platform/resolver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <string>

namespace {

constexpr int kAddressBits = 32;
constexpr int kAddress6Bits = 128;

// The address before the '/' converted into *raw, and the prefix length after it (all `bits`
// without one); false when either is not written as it must be.
bool split_range(std::string_view text, int family, void* raw, int bits, int* prefix) {
    const size_t slash = text.find('/');
    const std::string address(text.substr(0, slash));
    if (plat::text_to_address(family, address.c_str(), raw) != 1) return false;
    *prefix = bits;
    if (slash == std::string_view::npos) return true;
    const std::string_view digits = text.substr(slash + 1);
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, *prefix);
    return !digits.empty() && error == std::errc{} && stop == end && *prefix >= 0 &&
           *prefix <= bits;
}

// The mask byte of byte `k` of an address under a prefix of `prefix` bits.
uint8_t mask_byte(int k, int prefix) {
    const int bits = std::clamp(prefix - 8 * k, 0, 8);
    return static_cast<uint8_t>(0xFF00u >> bits);
}

} // namespace

std::optional<ipv6_range> parse_ipv6_range(std::string_view text) {
    in6_addr raw{};
    int prefix = 0;
    if (!split_range(text, AF_INET6, &raw, kAddress6Bits, &prefix)) return std::nullopt;
    ipv6_range r;
    r.prefix = prefix;
    for (int k = 0; k < 16; ++k) {
        if ((raw.s6_addr[k] & ~mask_byte(k, prefix)) != 0) return std::nullopt;
        r.network[size_t(k)] = raw.s6_addr[k];
    }
    return r;
}

bool range_contains(const ipv6_range& range, const in6_addr& address) {
    for (int k = 0; k < 16; ++k)
        if ((address.s6_addr[k] & mask_byte(k, range.prefix)) != range.network[size_t(k)])
            return false;
    return true;
}

bool add_ip_range(std::string_view text, ip_ranges* out) {
    if (text.find(':') != std::string_view::npos) {
        const auto r = parse_ipv6_range(text);
        if (r) out->v6.push_back(*r);
        return r.has_value();
    }
    const auto r = parse_ipv4_range(text);
    if (r) out->v4.push_back(*r);
    return r.has_value();
}

std::optional<ipv4_range> parse_ipv4_range(std::string_view text) {
    in_addr raw{};
    int prefix = 0;
    if (!split_range(text, AF_INET, &raw, kAddressBits, &prefix)) return std::nullopt;
    const uint32_t mask = prefix == 0 ? 0 : ~uint32_t{0} << (kAddressBits - prefix);
    const uint32_t network = ntohl(raw.s_addr);
    if ((network & ~mask) != 0) return std::nullopt;
    return ipv4_range{network, mask};
}
