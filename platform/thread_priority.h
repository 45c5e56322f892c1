#pragma once

namespace plat {

// This thread's work gives way to threads of normal priority that want the processor (nice
// 10, a tenth of their share): work whose timing does not matter, such as rendering a scrape,
// then rarely delays a thread that keeps a schedule, yet still gets done on a busy host. Other
// threads of the process keep their priority.
void yield_to_timely_threads();

// This thread asks for the shortest time slice the scheduler grants. Linux 6.12 and later
// (earliest eligible deadline first) let a waking thread with a shorter slice preempt one with
// a longer slice at once, so a probe that is due does not wait out another process's slice
// (milliseconds). Needs no privilege and changes neither policy nor priority; older kernels
// accept the request and ignore it. False when the kernel refused it.
bool ask_for_short_slices();

} // namespace plat
