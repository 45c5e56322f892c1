// Strict parsing of command-line values: the whole text must be a number within range.
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

// The value of "--name=VALUE" or of "-x VALUE" (advancing *index); empty when `arg` is not
// this option. Sets *missing when the option is there but its value is not.
std::optional<std::string_view> option_value(int argc, char** argv, int* index,
                                             std::string_view short_name,
                                             std::string_view long_name, bool* missing);

// What every program says about itself.
struct ProgramInfo {
    const char* name;
    const char* usage;
};

// Prints "NAME: MESSAGE" and a pointer to --help on standard error; returns exit status 2.
int usage_error(const ProgramInfo& program, const std::string& message);

// --help prints the usage text, --version the name and version, both on standard output;
// returns the exit status (0) for them, nothing for any other argument.
std::optional<int> help_or_version(std::string_view arg, const ProgramInfo& program);
