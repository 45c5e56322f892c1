// SIGINT/SIGTERM as a readable pipe, for a program that waits in an event loop rather than in
// the readiness waits of stop_signals.h. The handler only writes the signal's number into the
// pipe, so whatever the program was doing when the signal came (a log line half written, say)
// completes, and the loop learns of the stop the next time it looks at the pipe.
#pragma once

namespace plat {

// Installs the handlers (interrupted calls are restarted) and returns the pipe's read end,
// non-blocking and closed on exec; -1 when no pipe could be made (the signals then keep their
// default action).
int open_stop_pipe();

// The number of a signal waiting in the pipe, or 0 when none is.
int read_stop_pipe(int fd);

} // namespace plat
