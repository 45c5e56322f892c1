#include "platform/thread_priority.h"

#include <cstdint>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The kernel's struct sched_attr, first version (48 bytes). Its header clashes with glibc's
// <sched.h>, and glibc declares it only from 2.41 on.
struct kernel_sched_attr {
    uint32_t size;
    uint32_t sched_policy;
    uint64_t sched_flags;
    int32_t sched_nice;
    uint32_t sched_priority;
    uint64_t sched_runtime;
    uint64_t sched_deadline;
    uint64_t sched_period;
};

} // namespace

namespace plat {

void yield_to_timely_threads() {
    constexpr int kBackgroundNice = 10;
    // Linux keeps a nice value per thread: PRIO_PROCESS with a thread id sets this one only.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBackgroundNice);
}

bool ask_for_short_slices() {
    // The kernel's lower bound for a requested slice; a shorter request is raised to it.
    constexpr uint64_t kShortestSliceNs = 100'000;
    kernel_sched_attr attr{};
    attr.size = sizeof attr;
    attr.sched_policy = SCHED_OTHER;
    attr.sched_nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    attr.sched_runtime = kShortestSliceNs;
    // glibc has no wrapper for sched_setattr before 2.41; 0 names the calling thread.
    return ::syscall(SYS_sched_setattr, 0, &attr, 0) == 0;
}

} // namespace plat
