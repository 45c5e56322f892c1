// The running figures of every probed target, kept for the metrics endpoint: counters and
// classic histograms fed by the probing thread's events (fleet_metrics is the probe_events
// observer), read by the HTTP threads as a copy taken under the same lock. Each event holds
// the lock for a few additions only, so a scrape never holds up a probe by more than its copy.
#pragma once

#include "engine/target_prober.h"
#include "platform/inheriting_mutex.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Upper bounds of classic buckets, in seconds, ascending; +Inf is implied.
using bucket_bounds = std::vector<double>;

// 25 µs doubling up to 6.5536 s, then 10 s.
bucket_bounds default_round_trip_buckets();

struct bucket_counts {
    std::vector<uint64_t> counts; // per bucket (not cumulative), the +Inf bucket last
    double sum = 0;
    uint64_t count = 0;
    // A value below the lowest bound (a negative one-way delay from the clocks' offset
    // included) counts in the lowest bucket.
    void observe(const bucket_bounds& bounds, double v);
};

// Who a target is in the metrics: its labels, in order (target, name, then configured ones).
struct target_identity {
    std::vector<std::pair<std::string, std::string>> labels;
    std::shared_ptr<const bucket_bounds> buckets;
};

struct target_figures {
    std::shared_ptr<const target_identity> identity; // shared by every copy
    uint64_t sent = 0, answered = 0, lost = 0, late = 0, duplicates = 0;
    uint64_t send_failed = 0, skipped = 0, stamped = 0;
    double last_lateness = -1; // seconds; negative until the first probe
    bucket_counts round_trip, network_round_trip, send_delay, receive_delay;
};

struct fleet_snapshot {
    std::vector<target_figures> targets; // in the order given to set_targets
    bucket_bounds lateness_bounds;
    bucket_counts lateness; // every probe of every target
};

class fleet_metrics final : public probe_events {
  public:
    fleet_metrics();

    // Safe from any thread. The targets from now on: the figures of ids that stay are kept.
    void set_targets(const std::vector<std::pair<uint64_t, target_identity>>& targets);
    // Safe from any thread: a copy of every figure. Each target's figures agree with each
    // other; targets are copied one at a time, so the probing thread never waits for more than
    // one target's copy (a scrape of a large fleet would otherwise hold it for milliseconds).
    fleet_snapshot snapshot() const;

    void probe_sent(uint64_t target, double lateness) override;
    void send_failed(uint64_t target, int error) override;
    void slots_skipped(uint64_t target, int64_t count) override;
    void echo_answered(uint64_t target, double round_trip,
                       const rebound_directions& directions) override;
    void probe_lost(uint64_t target) override;
    void echo_late(uint64_t target) override;
    void echo_duplicate(uint64_t target) override;

  private:
    target_figures* find(uint64_t id); // under the lock
    void add(uint64_t target, uint64_t target_figures::*counter, uint64_t n = 1);

    // Shared by the probing thread, which may run at a real-time priority, and the HTTP threads.
    mutable plat::inheriting_mutex mutex_;
    std::vector<uint64_t> order_;
    std::unordered_map<uint64_t, target_figures> figures_;
    bucket_bounds lateness_bounds_;
    bucket_counts lateness_;
};
