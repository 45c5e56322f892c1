// What this process uses, read from the kernel (/proc/self) for the metrics a process reports
// about itself.
#pragma once

#include <cstdint>

namespace plat {

struct process_figures {
    double cpu_seconds = 0;         // user and system time so far
    double start_time_seconds = 0;  // since 1970
    int64_t resident_bytes = 0;
    int64_t virtual_bytes = 0;
    int64_t open_fds = 0;
    int64_t max_fds = 0;            // the soft limit
};

// The figures now; a figure the kernel does not give stays 0.
process_figures read_process_figures();

} // namespace plat
