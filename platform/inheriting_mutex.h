// A mutex with priority inheritance, for data a real-time thread shares with ordinary ones.
#pragma once

#include <pthread.h>

namespace plat {

// While a higher-priority thread waits for it, the holder runs at that thread's priority: an
// ordinary thread preempted while it holds the lock cannot keep a real-time waiter waiting
// (priority inversion). Uncontended, it costs what std::mutex costs. Used with std::lock_guard.
class inheriting_mutex {
  public:
    inheriting_mutex();
    ~inheriting_mutex();
    inheriting_mutex(const inheriting_mutex&) = delete;
    inheriting_mutex& operator=(const inheriting_mutex&) = delete;

    void lock();
    void unlock();
    bool try_lock();

  private:
    pthread_mutex_t mutex_;
};

} // namespace plat
