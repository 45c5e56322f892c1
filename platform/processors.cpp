#include "platform/processors.h"

#include <cstring>
#include <sched.h>

namespace plat {

void yield_processor() {
    sched_yield();
}

std::string set_realtime_priority(pthread_t thread, int priority) {
    sched_param param{};
    param.sched_priority = priority;
    const int error = pthread_setschedparam(thread, SCHED_FIFO, &param);
    return error == 0 ? std::string() : std::strerror(error);
}

void name_thread(pthread_t thread, const char* name) {
    constexpr size_t kLongestName = 15; // the kernel's limit, without the terminating zero
    char kept[kLongestName + 1] = {};
    std::strncpy(kept, name, kLongestName);
    pthread_setname_np(thread, kept);
}

} // namespace plat
