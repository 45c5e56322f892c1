// The window's diagnostic log: every message goes to standard output (never waiting for its
// reader, see window_stdout.h) and is appended to "reboundgui.log" in the working directory,
// byte for byte as formatted.
#pragma once

#include <cstddef>

// Size of the formatting buffer, terminator included; a longer message is cut to
// kGuilogBufferSize - 1 characters.
inline constexpr std::size_t kGuilogBufferSize = 4096;

// Name of the log file, relative to the working directory.
inline constexpr const char* kGuilogFile = "reboundgui.log";

// The log is bounded: a write that would take it past this size first moves it to
// kGuilogPreviousFile (replacing an older one), and a new log starts. At most about twice the
// limit is ever kept.
inline constexpr std::size_t kGuilogFileLimit = 8 * 1024 * 1024;
inline constexpr const char* kGuilogPreviousFile = "reboundgui.log.1";

// A batch writes out what it has gathered once it holds this much, so a burst of any length
// costs bounded memory.
inline constexpr std::size_t kGuilogBatchBytes = 256 * 1024;

// printf-style; the format carries its own line end. Outside a batch each call opens, writes
// once and closes the file, so a message is on disk when the call returns. A file that cannot
// be opened is skipped silently; the next write tries again.
void guilog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// While one lives on the calling thread, guilog gathers its messages and the outermost batch
// writes them when it ends (or when kGuilogBatchBytes are gathered): one write to standard
// output and one open, write and close of the file for thousands of lines, such as the one
// line per packet of a chart repaint. Both outputs get the same bytes in the same order, and a
// batch is written whole to both or, when the file cannot be opened, to standard output only.
class GuilogBatch {
  public:
    GuilogBatch();
    ~GuilogBatch();
    GuilogBatch(const GuilogBatch&) = delete;
    GuilogBatch& operator=(const GuilogBatch&) = delete;
};
