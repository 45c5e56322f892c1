// A race-free stop on SIGINT/SIGTERM for the command-line programs. Once installed, the two
// signals are blocked everywhere except inside select_one(), which opens them atomically while
// it waits. A stop therefore never cuts a line in half: it shows up as an interrupted wait
// (EINTR), after which stop_requested() tells the caller to wind down and flush.
#pragma once

#include <signal.h>

namespace plat {

void install_stop_signals();

// The signal that asked for the stop, or 0.
int stop_requested();

// Pauses for `seconds` with the stop signals let through, like the waits: false when a stop
// request cut the pause short.
bool pause_unless_stopped(double seconds);

// The mask select_one() waits under: null until install_stop_signals() ran.
const sigset_t* stop_wait_mask();

} // namespace plat
