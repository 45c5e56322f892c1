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

std::optional<std::string_view> option_value(int argc, char** argv, int* index,
                                             std::string_view short_name,
                                             std::string_view long_name, bool* missing) {
    const std::string_view arg = argv[*index];
    const bool is_short = !short_name.empty() && arg == short_name;
    const bool is_long = !long_name.empty() && arg == long_name;
    if (is_short || is_long) {
        if (*index + 1 >= argc) {
            *missing = true;
            return std::nullopt;
        }
        return std::string_view(argv[++*index]);
    }
    if (!long_name.empty() && arg.size() > long_name.size() && arg.starts_with(long_name) &&
        arg[long_name.size()] == '=')
        return arg.substr(long_name.size() + 1);
    return std::nullopt;
}

bool is_host_address(const std::string& text) {
    // Strict dotted quads only: the builder would also take shorthand (1.2.3 as 1.2.0.3).
    return text.empty() || is_ipv4_text(text.c_str());
}

int usage_error(const ProgramInfo& program, const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program.name, message.c_str(), program.name);
    return 2;
}

std::optional<int> help_or_version(std::string_view arg, const ProgramInfo& program) {
    if (arg == "--help") {
        std::fputs(program.usage, stdout);
        return 0;
    }
    if (arg == "--version") {
        std::printf("%s %s\n", program.name, REBOUND_VERSION);
        return 0;
    }
    return std::nullopt;
}
