// What the command lines of reboundcli, reboundsrv and rebounddns share, on top of CLI11:
// "--help" and "--version" in their long forms only ("-h" is the host option), numbers checked
// strictly with messages that name the option, the last of a repeated option wins, and a bad
// command line is a message on standard error and exit status 2.
#pragma once

#include "tools/cli_args.h"
#include "util/message_text.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>

// Sets up `app` (constructed with the description and the program's name) with the shared
// conventions; `footer` closes --help (exit statuses and the like).
void init_app(CLI::App& app, const std::string& footer);

// A whole number option in [min, max].
CLI::Option* add_whole_number(CLI::App& app, const std::string& names, int32_t* target, int64_t min,
                              int64_t max, const std::string& help);

// A number of seconds from 0 (or above 0 when `zero_allowed` is false) up to a day.
CLI::Option* add_seconds(CLI::App& app, const std::string& names, double* target, bool zero_allowed,
                         const std::string& help);

// Parses the command line. Returns -1 to go on, else the exit status: 0 after --help or
// --version (printed on standard output), kExitUsage after a bad command line (the message,
// naming the option, and a pointer to --help on standard error).
int parse_command_line(CLI::App& app, int argc, char** argv);

