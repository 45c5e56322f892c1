// The window program's own command line: --help and --version answer without a display, the
// toolkit's options (-platform, -style, ...) pass through to it, anything else is refused
// before the toolkit starts, so a typo is a message and exit 2 rather than a window that
// ignores it or a toolkit abort.
#pragma once

#include <cstdio>

// Exit status of a command line that is refused.
inline constexpr int kWindowExitUsage = 2;

// Checks the arguments. Returns -1 to go on and open the window, else the exit status: 0 after
// --help or --version (printed on `out`), kWindowExitUsage after a refusal (the message and a
// pointer to --help on `err`).
int checkWindowArguments(int argc, char** argv, std::FILE* out, std::FILE* err);
