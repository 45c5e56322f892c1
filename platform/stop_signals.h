// A race-free stop on SIGINT/SIGTERM/SIGHUP/SIGPIPE for the command-line programs. Once
// installed, SIGINT, SIGTERM and SIGHUP are blocked everywhere except inside the waits, which
// open them atomically while they wait. A stop therefore never cuts a line in half: it shows
// up as an interrupted wait (EINTR), after which stop_requested() tells the caller to wind
// down and flush. SIGPIPE is raised only by a write of the program's own to a pipe whose reader
// has gone, a write that fails anyway: it is never blocked and asks for the same stop.
#pragma once

#include <signal.h>

namespace plat {

void install_stop_signals();

// The signal that asked for the stop (the first one, when several came), or 0.
int stop_requested();

// Asks for a stop as signal `sig` would: for a signal the program learned of from a failed call
// (EPIPE) rather than from its handler.
void request_stop(int sig);

// Waits until `fd` can take a write without blocking, or until a stop is requested (also one
// that came before the call). For outputs that must never hold up a stop; callers look at
// stop_requested() and try their write again, since another signal may end the wait too.
void wait_writable_unless_stopped(int fd);

// Pauses for `seconds` with the stop signals let through, like the waits: false when a stop
// request cut the pause short.
bool pause_unless_stopped(double seconds);

// The mask select_one() waits under: null until install_stop_signals() ran.
const sigset_t* stop_wait_mask();

// For a loop that waits inside a blocking receive rather than in select_one(): while an
// open_stop_signals lives, the stop signals are let through on this thread and a stop shuts
// the receive side of `wake_socket`, so a receive that is blocked, or about to block, returns
// at once (0 bytes) instead of running out its time limit. A stop that arrived before the
// scope opened takes effect when it opens, so no stop is ever missed. Calls interrupted by the
// handler are restarted where the kernel allows it, so a line being written is never cut.
class open_stop_signals {
  public:
    explicit open_stop_signals(int wake_socket);
    ~open_stop_signals();
    open_stop_signals(const open_stop_signals&) = delete;
    open_stop_signals& operator=(const open_stop_signals&) = delete;

  private:
    bool opened_ = false;
};

} // namespace plat
