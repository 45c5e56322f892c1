#include "platform/processors.h"

#include <sched.h>

namespace plat {

void yield_processor() {
    sched_yield();
}

} // namespace plat
