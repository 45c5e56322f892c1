// Strict parsing of command-line values, and the message of a bad command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

std::optional<int32_t> parse_int(std::string_view text, int64_t min, int64_t max);
std::optional<double> parse_seconds(std::string_view text); // finite, 0 or more

// True when `text` is a dotted quad (four decimal numbers 0..255, no leading zeros), the only
// form read the same everywhere. The empty text means every local address.
bool is_host_address(const std::string& text);

// The highest UDP or TCP port number.
inline constexpr int32_t kLastPort = 65535;

// Exit status of a bad command line.
inline constexpr int kExitUsage = 2;

// Prints "PROGRAM: MESSAGE" and a pointer to --help on standard error; returns kExitUsage.
int usage_error(const std::string& program, const std::string& message);
