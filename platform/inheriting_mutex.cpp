#include "platform/inheriting_mutex.h"

#include <cstdlib>

namespace plat {

inheriting_mutex::inheriting_mutex() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&mutex_, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

inheriting_mutex::~inheriting_mutex() {
    pthread_mutex_destroy(&mutex_);
}

// A lock or unlock fails only on misuse (a lock the thread already holds, or does not hold):
// going on would break the data the lock guards.
void inheriting_mutex::lock() {
    if (pthread_mutex_lock(&mutex_) != 0) std::abort();
}

void inheriting_mutex::unlock() {
    if (pthread_mutex_unlock(&mutex_) != 0) std::abort();
}

bool inheriting_mutex::try_lock() {
    return pthread_mutex_trylock(&mutex_) == 0;
}

} // namespace plat
