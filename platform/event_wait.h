// Waiting on several descriptors at once, and an event one thread sets to wake another out of
// such a wait. Used where a loop must wait for its socket or its output and still answer a stop
// at once.
#pragma once

namespace plat {

// A counter the kernel can wait on (eventfd): set() makes it readable until clear().
class wake_event {
  public:
    wake_event();
    ~wake_event();
    wake_event(const wake_event&) = delete;
    wake_event& operator=(const wake_event&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void set();   // safe from any thread
    void clear(); // takes back every set() so far

  private:
    int fd_ = -1;
};

struct wait_item {
    int fd = -1; // a negative descriptor is skipped
    bool read = false;
    bool write = false;
    bool ready = false; // set by wait_any: readable/writable as asked, or failed or hung up
};

// Waits until one item is ready or `limit_ms` milliseconds pass (negative: no limit). Returns
// how many items are ready, 0 when the limit passed or a signal interrupted the wait, -1 on
// failure (errno set).
int wait_any(wait_item* items, int count, int limit_ms);

} // namespace plat
