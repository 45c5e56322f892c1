// Signals taken as data instead of interruptions, for a service that runs several threads: the
// chosen signals are blocked in the calling thread (and in every thread it starts afterwards)
// and become readable on one descriptor, which a supervising thread waits on together with its
// other work. No signal handler runs, so no thread is ever interrupted mid-call.
#pragma once

#include <initializer_list>

namespace plat {

class signal_channel {
  public:
    // Blocks `signals` and opens the descriptor. Call before starting other threads.
    explicit signal_channel(std::initializer_list<int> signals);
    ~signal_channel();
    signal_channel(const signal_channel&) = delete;
    signal_channel& operator=(const signal_channel&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // The next pending signal, or 0 when none is pending.
    int take();

  private:
    int fd_ = -1;
};

// A write to a pipe or socket whose reader has gone then fails with EPIPE instead of ending
// the process.
void ignore_broken_pipe();

} // namespace plat
