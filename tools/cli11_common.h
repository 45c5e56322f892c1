// What every program does with CLI11: the same --help and --version flags (-h stays free for
// the host), and one way to end on a bad command line: "NAME: MESSAGE" naming the option,
// "Try 'NAME --help'." and exit status 2.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

// Sets up --help and --version on `app` (its name is the program's name).
void add_standard_flags(CLI::App& app);

// Parses the command line. Empty when the program should go on; otherwise the exit status:
// 0 after --help or --version (printed on standard output), 2 after a bad command line
// (message on standard error).
std::optional<int> parse_command_line(CLI::App& app, int argc, char** argv);

// A number check that names its range in its error ("Value 0 not in range 1 to 64") but leaves
// the option's type name in --help alone.
template <typename T> CLI::Validator in_range(T min, T max) {
    CLI::Validator v = CLI::Range(min, max);
    v.description("");
    return v;
}

// A CLI11 check that passes when `accept` holds for the value, and otherwise explains with
// "'VALUE' " followed by `what`.
CLI::Validator text_check(bool (*accept)(const std::string&), const std::string& what);
