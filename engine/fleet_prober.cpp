#include "engine/fleet_prober.h"

#include "platform/clock.h"
#include "platform/event_wait.h"
#include "platform/readiness_loop.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
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
    uint64_t ready[kReadyBatch];
    apply_pending();
    for (bool changed = true; !stop_;) {
        if (changed) {
            by_id.clear();
            for (auto& p : probers_) by_id.emplace(p->id(), p.get());
            changed = false;
        }
        // Every deadline that has come, then the wait for the earliest one still ahead.
        int64_t now = plat::monotonic_ns();
        int64_t earliest = std::numeric_limits<int64_t>::max();
        for (auto& p : probers_) {
            if (p->next_deadline() <= now) {
                p->on_deadline(now, events_);
                now = plat::monotonic_ns();
            }
            earliest = std::min(earliest, p->next_deadline());
        }
        const int n = wake_->loop.wait(probers_.empty() ? -1 : earliest, ready, kReadyBatch);
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
            apply_pending();
            changed = true;
        }
    }
    return {};
}
