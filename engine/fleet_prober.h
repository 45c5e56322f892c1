// Many targets probed on one thread: each target_prober keeps its own schedule, and one
// readiness loop (epoll) waits for all their sockets and the earliest of their deadlines. The
// set of targets can be replaced while the loop runs (from another thread), and a stop
// requested from anywhere ends it within one wake-up.
#pragma once

#include "engine/target_prober.h"
#include "platform/inheriting_mutex.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct fleet_target {
    uint64_t id; // unique, never 0; a target handed again under the same id goes on unchanged
    probe_target target;
};

class fleet_prober {
  public:
    explicit fleet_prober(probe_events& events);
    ~fleet_prober();

    // Safe from any thread. The targets to probe from the next wake-up on: those whose id is
    // already probed go on as they are (schedule, waits and all), the others start, and
    // targets no longer named stop. Returns at once.
    void set_targets(std::vector<fleet_target> targets);
    // Safe from any thread: run() returns soon.
    void stop();

    // Probes until stop(); empty at a stop, else why the loop could not go on. A target whose
    // socket cannot be opened is reported through `failed` (its id and why) and left out.
    std::string run();

    // Reports targets that could not start; called on the probing thread.
    struct failure_sink {
        virtual ~failure_sink() = default;
        virtual void target_failed(uint64_t id, const std::string& why) = 0;
    };
    void on_failure(failure_sink* sink) { failures_ = sink; }

  private:
    void apply_pending();
    int64_t first_due(uint64_t id, double period) const;

    probe_events& events_;
    failure_sink* failures_ = nullptr;
    std::vector<std::unique_ptr<target_prober>> probers_; // the probing thread's alone
    plat::inheriting_mutex pending_mutex_; // the probing thread may run at a real-time priority
    std::optional<std::vector<fleet_target>> pending_;
    std::atomic<bool> stop_{false};
    struct wake;
    std::unique_ptr<wake> wake_;
};
