#include "util/ipv4_text.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace {

using Parts = std::array<std::string_view, 4>;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Splits at the first three '.'; the fourth part runs to the end of the text.
bool split_dotted(std::string_view text, Parts* parts) {
    size_t start = 0;
    for (size_t k = 0; k < 3; ++k) {
        const size_t dot = text.find('.', start);
        if (dot == std::string_view::npos) return false;
        (*parts)[k] = text.substr(start, dot - start);
        start = dot + 1;
    }
    (*parts)[3] = text.substr(start);
    return true;
}

bool is_octet(std::string_view part) {
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
    unsigned value = 0;
    for (char c : part) {
        if (!is_digit(c)) return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= 255;
}

// The number at the start of `text`, read like atoi; a value too large for 32 bits saturates
// instead of being undefined.
uint32_t leading_number(std::string_view text) {
    uint64_t value = 0;
    for (size_t i = 0; i < text.size() && is_digit(text[i]); ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

uint32_t combine(const Parts& p) {
    return leading_number(p[0]) << 24 | leading_number(p[1]) << 16 | leading_number(p[2]) << 8 |
           leading_number(p[3]);
}

bool only_address_characters(std::string_view text) {
    return text.find_first_not_of("0123456789./") == std::string_view::npos;
}

} // namespace

int is_ipv4_text(const char* text) {
    Parts p;
    if (text == nullptr || !split_dotted(text, &p)) return 0;
    for (const auto& part : p)
        if (!is_octet(part)) return 0;
    return 1;
}

int ipv4_in_subnet(const char* subnet, const char* address) {
    if (subnet == nullptr || address == nullptr) return 0;
    const std::string_view net = subnet, addr = address;
    if (!only_address_characters(net) || !only_address_characters(addr)) return 0;
    Parts n, a;
    if (!split_dotted(net, &n) || !split_dotted(addr, &a)) return 0;

    const size_t slash = n[3].find('/');
    if (slash == std::string_view::npos || slash + 1 >= n[3].size() || !is_digit(n[3][slash + 1]))
        return 0;
    const uint32_t bits = leading_number(n[3].substr(slash + 1));
    const uint32_t mask = bits == 0 ? 0 : bits >= 32 ? UINT32_MAX : UINT32_MAX << (32 - bits);
    return ((combine(n) ^ combine(a)) & mask) == 0 ? 1 : 0;
}
