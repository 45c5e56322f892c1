#include "engine/fleet_prober.h"

#include "platform/clock.h"
#include "platform/event_wait.h"
#include "platform/readiness_loop.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <queue>
#include <unordered_map>

namespace {

// The token of the wake event; targets use their ids, which are never 0.
constexpr uint64_t kWakeToken = 0;
constexpr int kReadyBatch = 256;

} // namespace

struct fleet_prober::wake {
    plat::wake_event event;
    plat::readiness_loop loop;
};

fleet_prober::fleet_prober(probe_events& events) : events_(events), wake_(std::make_unique<wake>()) {}

fleet_prober::~fleet_prober() = default;

void fleet_prober::set_targets(std::vector<fleet_target> targets) {
    {
        const std::lock_guard lock(pending_mutex_);
        pending_ = std::move(targets);
    }
    wake_->event.set();
}

void fleet_prober::stop() {
    stop_ = true;
    wake_->event.set();
}

// Targets start spread over their period (by id, the same spread every run), so a fleet that
// starts at once does not send all its probes in one burst.
int64_t fleet_prober::first_due(uint64_t id, double period) const {
    constexpr double kGoldenFraction = 0.6180339887498949;
    const double phase = std::fmod(double(id) * kGoldenFraction, 1.0);
    return plat::monotonic_ns() + int64_t(phase * period * double(plat::kNanosPerSecond));
}

void fleet_prober::apply_pending() {
    std::optional<std::vector<fleet_target>> next;
    {
        const std::lock_guard lock(pending_mutex_);
        next.swap(pending_);
    }
    if (!next) return;
    std::unordered_map<uint64_t, std::unique_ptr<target_prober>> running;
    for (auto& p : probers_) running.emplace(p->id(), std::move(p));
    probers_.clear();
    for (const fleet_target& t : *next) {
        if (auto it = running.find(t.id); it != running.end()) {
            probers_.push_back(std::move(it->second));
            running.erase(it);
            continue;
        }
        auto p = std::make_unique<target_prober>(t.id, t.target, first_due(t.id, t.target.period));
        if (p->error().empty() && !wake_->loop.watch(p->fd(), t.id))
            p.reset(); // reported below
        if (!p || !p->error().empty()) {
            if (failures_)
                failures_->target_failed(t.id, p ? p->error() : "cannot watch its socket: " +
                                                                   std::string(std::strerror(errno)));
            continue;
        }
        probers_.push_back(std::move(p));
    }
    for (auto& [id, p] : running) wake_->loop.unwatch(p->fd()); // closed as they go
}

std::string fleet_prober::run() {
    if (!wake_->event.valid() || !wake_->loop.valid() ||
        !wake_->loop.watch(wake_->event.fd(), kWakeToken))
        return std::string("cannot set up the probing loop: ") + std::strerror(errno);
    plat::tight_timers();
    std::unordered_map<uint64_t, target_prober*> by_id;
    // Every prober's next deadline, earliest first. An entry whose prober is gone, or whose
    // deadline has moved, is stale and dropped when it comes up; each prober has one live one.
    using due_entry = std::pair<int64_t, uint64_t>;
    std::priority_queue<due_entry, std::vector<due_entry>, std::greater<>> due;
    const auto take_targets = [&] {
        apply_pending();
        by_id.clear();
        for (auto& p : probers_) by_id.emplace(p->id(), p.get());
        // New probers get their entry; a kept one's entry stays live, a repeat is stale.
        for (auto& p : probers_) due.emplace(p->next_deadline(), p->id());
    };
    uint64_t ready[kReadyBatch];
    take_targets();
    while (!stop_) {
        // Every deadline that has come, then the wait for the earliest one still ahead.
        for (int64_t now = plat::monotonic_ns(); !due.empty() && due.top().first <= now;
             now = plat::monotonic_ns()) {
            const auto [deadline, id] = due.top();
            due.pop();
            const auto it = by_id.find(id);
            if (it == by_id.end() || it->second->next_deadline() != deadline) continue;
            it->second->on_deadline(now, events_);
            due.emplace(it->second->next_deadline(), id);
        }
        const int n = wake_->loop.wait(due.empty() ? -1 : due.top().first, ready, kReadyBatch);
        if (n < 0) return std::string("the probing loop failed: ") + std::strerror(errno);
        bool woken = false;
        for (int i = 0; i < n; ++i) {
            if (ready[i] == kWakeToken)
                woken = true;
            else if (auto it = by_id.find(ready[i]); it != by_id.end())
                it->second->on_readable(events_);
        }
        // After the sockets: a new set of targets may end probers named in this batch.
        if (woken) {
            wake_->event.clear();
            take_targets();
        }
    }
    return {};
}
