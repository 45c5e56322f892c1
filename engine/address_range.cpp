#include "engine/address_range.h"

#include "platform/resolver.h"

#include <arpa/inet.h>
#include <charconv>
#include <string>

namespace {

constexpr int kAddressBits = 32;

} // namespace

std::optional<ipv4_range> parse_ipv4_range(std::string_view text) {
    const size_t slash = text.find('/');
    const std::string address(text.substr(0, slash));
    in_addr raw{};
    if (plat::text_to_address(AF_INET, address.c_str(), &raw) != 1) return std::nullopt;

    int prefix = kAddressBits;
    if (slash != std::string_view::npos) {
        const std::string_view digits = text.substr(slash + 1);
        const char* end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, prefix);
        if (digits.empty() || error != std::errc{} || stop != end || prefix < 0 ||
            prefix > kAddressBits)
            return std::nullopt;
    }
    const uint32_t mask = prefix == 0 ? 0 : ~uint32_t{0} << (kAddressBits - prefix);
    const uint32_t network = ntohl(raw.s_addr);
    if ((network & ~mask) != 0) return std::nullopt;
    return ipv4_range{network, mask};
}
