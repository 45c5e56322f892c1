#include "tools/cli_args.h"

#include "util/ipv4_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

std::optional<int32_t> parse_int(std::string_view text, int64_t min, int64_t max) {
    const std::string s(text);
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max) return std::nullopt;
    return static_cast<int32_t>(v);
}

std::optional<double> parse_seconds(std::string_view text) {
    const std::string s(text);
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    // Waits of more than a day are surely a typing error.
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0 || v > 86400) return std::nullopt;
    return v;
}

bool is_host_address(const std::string& text) {
    // Strict dotted quads only: the builder would also take shorthand (1.2.3 as 1.2.0.3).
    return text.empty() || is_ipv4_text(text.c_str());
}

int usage_error(const std::string& program, const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program.c_str(), message.c_str(),
                 program.c_str());
    return kExitUsage;
}
