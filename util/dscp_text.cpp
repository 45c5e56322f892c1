#include "util/dscp_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

struct named_class {
    const char* name;
    int dscp;
};

// The standard per-hop behaviours: class selectors, assured forwarding (class x, drop
// precedence y is 8x + 2y), expedited forwarding, voice admit and lower effort.
constexpr named_class kClasses[] = {
    {"CS0", 0},   {"CS1", 8},   {"CS2", 16},  {"CS3", 24},  {"CS4", 32},  {"CS5", 40},
    {"CS6", 48},  {"CS7", 56},  {"AF11", 10}, {"AF12", 12}, {"AF13", 14}, {"AF21", 18},
    {"AF22", 20}, {"AF23", 22}, {"AF31", 26}, {"AF32", 28}, {"AF33", 30}, {"AF41", 34},
    {"AF42", 36}, {"AF43", 38}, {"EF", 46},   {"VA", 44},   {"LE", 1},
};

bool same_name(std::string_view text, std::string_view name) {
    return text.size() == name.size() &&
           std::equal(text.begin(), text.end(), name.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           });
}

} // namespace

std::optional<int> parse_dscp(std::string_view text) {
    for (const named_class& c : kClasses)
        if (same_name(text, c.name)) return c.dscp;
    if (same_name(text, "VOICE-ADMIT")) return 44;
    int value = -1;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || value < 0 || value >= kDscpCount)
        return std::nullopt;
    return value;
}

std::string dscp_name(int dscp) {
    for (const named_class& c : kClasses)
        if (c.dscp == dscp) return c.name;
    return std::to_string(dscp);
}
