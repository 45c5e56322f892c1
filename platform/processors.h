// Sharing the processors with other threads: yielding, and the scheduling of a thread.
#pragma once

#include <pthread.h>
#include <string>

namespace plat {

// Lets any other thread that is ready to run on this processor run first; returns at once when
// there is none.
void yield_processor();

// Real-time priorities a thread can be given (SCHED_FIFO).
inline constexpr int kLowestRealtimePriority = 1;
inline constexpr int kHighestRealtimePriority = 99;

// Runs `thread` under SCHED_FIFO at `priority`: it then runs as soon as it is ready, ahead of
// every ordinary thread. Needs CAP_SYS_NICE or an RLIMIT_RTPRIO of at least `priority`. Returns
// "" or the system's reason.
std::string set_realtime_priority(pthread_t thread, int priority);

// Names `thread` for ps, top -H and /proc (at most 15 characters are kept).
void name_thread(pthread_t thread, const char* name);

} // namespace plat
