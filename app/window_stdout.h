// The window's standard output, written without ever making the GUI thread wait: what the
// output takes at once is written, the rest waits in a bounded backlog that every later write
// tries first, and lines that do not fit the backlog are dropped and counted. A reader that is
// slow or gone (a pipe nobody reads) thus costs lines on standard output, never the window's
// answer to input, Quit or a stop signal; the log file keeps every line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Bytes that may wait for a slow reader before lines are dropped.
inline constexpr std::size_t kStdoutBacklogBytes = 1024 * 1024;

// Writes `bytes` (whole lines, as the log and the line printer hand them over) or queues them;
// when the backlog cannot take them they are dropped and their lines counted.
void windowStdoutWrite(const char* bytes, std::size_t length);

// Lines dropped so far.
uint64_t windowStdoutDropped();

// Bytes still waiting in the backlog.
std::size_t windowStdoutBacklog();

// Gives the backlog up to `waitMs` milliseconds to drain (at exit), then reports dropped
// lines, if any, in one line on standard error (also written without waiting).
void windowStdoutFinish(int waitMs);

// A stdio stream into windowStdoutWrite, for code that prints with fprintf (the in-process
// run's line printer); its buffer goes out on fflush. Null if it cannot be made.
std::FILE* windowStdoutStream();
