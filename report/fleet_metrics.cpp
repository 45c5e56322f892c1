#include "report/fleet_metrics.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kLowestRoundTrip = 25e-6;
constexpr double kLongestRoundTrip = 10.0;
// Send lateness: 1, 2, 5 steps from 1 µs (10^-6 s) to 1 s, so a bound such as "p99 below
// 1 ms" is a bucket edge and reads exactly.
constexpr int kLowestLatenessExponent = -6;

bucket_bounds doubling(double lowest, double below, int most) {
    bucket_bounds b;
    for (double v = lowest; v < below && int(b.size()) < most; v *= 2) b.push_back(v);
    return b;
}

// Steps of 1, 2 and 5 from 10^lowest_exponent up to 1. Each edge is an integer divided by a
// power of ten, both exact in a double, so the edges are the nearest doubles to 1e-6, 2e-6, ...
bucket_bounds one_two_five_up_to_one(int lowest_exponent) {
    constexpr int kSteps[] = {1, 2, 5};
    constexpr double kDecade = 10;
    bucket_bounds b;
    for (int e = lowest_exponent; e < 0; ++e) {
        const double divisor = std::pow(kDecade, -e);
        for (int step : kSteps) b.push_back(double(step) / divisor);
    }
    b.push_back(1);
    return b;
}

void reset(bucket_counts& c, const bucket_bounds& bounds) {
    c.counts.assign(bounds.size() + 1, 0);
}

} // namespace

bucket_bounds default_round_trip_buckets() {
    bucket_bounds b = doubling(kLowestRoundTrip, kLongestRoundTrip, 64);
    b.push_back(kLongestRoundTrip);
    return b;
}

void bucket_counts::observe(const bucket_bounds& bounds, double v) {
    const size_t k = size_t(std::lower_bound(bounds.begin(), bounds.end(), v) - bounds.begin());
    if (counts.size() != bounds.size() + 1) counts.assign(bounds.size() + 1, 0);
    ++counts[k];
    sum += v;
    ++count;
}

fleet_metrics::fleet_metrics()
    : lateness_bounds_(one_two_five_up_to_one(kLowestLatenessExponent)) {
    reset(lateness_, lateness_bounds_);
}

void fleet_metrics::set_targets(const std::vector<std::pair<uint64_t, target_identity>>& targets) {
    const std::lock_guard lock(mutex_);
    std::unordered_map<uint64_t, target_figures> next;
    order_.clear();
    for (const auto& [id, identity] : targets) {
        order_.push_back(id);
        if (auto it = figures_.find(id); it != figures_.end()) {
            next.emplace(id, std::move(it->second));
            continue;
        }
        target_figures f;
        f.identity = std::make_shared<const target_identity>(identity);
        for (bucket_counts* c : {&f.round_trip, &f.network_round_trip, &f.send_delay,
                                 &f.receive_delay})
            reset(*c, *identity.buckets);
        next.emplace(id, std::move(f));
    }
    figures_ = std::move(next);
}

fleet_snapshot fleet_metrics::snapshot() const {
    fleet_snapshot s;
    std::vector<uint64_t> order;
    {
        const std::lock_guard lock(mutex_);
        order = order_;
        s.lateness_bounds = lateness_bounds_;
        s.lateness = lateness_;
    }
    s.targets.reserve(order.size());
    for (uint64_t id : order) {
        const std::lock_guard lock(mutex_);
        // A target ended by a new set in the meantime is left out, as the next scrape would.
        if (const auto it = figures_.find(id); it != figures_.end()) s.targets.push_back(it->second);
    }
    return s;
}

target_figures* fleet_metrics::find(uint64_t id) {
    const auto it = figures_.find(id);
    return it == figures_.end() ? nullptr : &it->second;
}

void fleet_metrics::add(uint64_t target, uint64_t target_figures::*counter, uint64_t n) {
    const std::lock_guard lock(mutex_);
    if (target_figures* f = find(target)) f->*counter += n;
}

void fleet_metrics::probe_sent(uint64_t target, double lateness) {
    const std::lock_guard lock(mutex_);
    lateness_.observe(lateness_bounds_, lateness);
    if (target_figures* f = find(target)) {
        ++f->sent;
        f->last_lateness = lateness;
    }
}

void fleet_metrics::send_failed(uint64_t target, int) {
    add(target, &target_figures::send_failed);
}

void fleet_metrics::slots_skipped(uint64_t target, int64_t count) {
    add(target, &target_figures::skipped, uint64_t(count));
}

void fleet_metrics::echo_answered(uint64_t target, double round_trip,
                                  const rebound_directions& d) {
    const std::lock_guard lock(mutex_);
    target_figures* f = find(target);
    if (!f) return;
    const bucket_bounds& bounds = *f->identity->buckets;
    ++f->answered;
    f->round_trip.observe(bounds, round_trip);
    if (!d.valid) return;
    ++f->stamped;
    f->network_round_trip.observe(bounds, round_trip - d.dwell);
    f->send_delay.observe(bounds, d.send_delay);
    f->receive_delay.observe(bounds, d.receive_delay);
}

void fleet_metrics::probe_lost(uint64_t target) {
    add(target, &target_figures::lost);
}

void fleet_metrics::echo_late(uint64_t target) {
    add(target, &target_figures::late);
}

void fleet_metrics::echo_duplicate(uint64_t target) {
    add(target, &target_figures::duplicates);
}
