// The window's diagnostic log: every message goes to standard output and is appended to
// "reboundgui.log" in the working directory, byte for byte as formatted.
#pragma once

#include <cstddef>

// Size of the formatting buffer, terminator included; a longer message is cut to
// kGuilogBufferSize - 1 characters.
inline constexpr std::size_t kGuilogBufferSize = 4096;

// Name of the log file, relative to the working directory.
inline constexpr const char* kGuilogFile = "reboundgui.log";

// printf-style; the format carries its own line end. Each call opens, writes once and closes
// the file, so a message is on disk when the call returns. A file that cannot be opened is
// skipped silently; the next call tries again.
void guilog(const char* format, ...) __attribute__((format(printf, 1, 2)));
