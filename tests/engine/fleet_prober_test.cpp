// Many targets on one probing thread, each on its own schedule: every probe ends answered,
// lost or late exactly as its echo came, and a new set of targets keeps the probers of the
// targets that stay.
#include "engine/fleet_prober.h"
#include "tests/support/delay_line.h"
#include "tests/support/fixture_responder.h"
#include "tests/support/responder_process.h"
#include "tests/support/udp_peer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

constexpr double kPeriod = 0.005;
constexpr auto kLongestWait = 20s; // a bound on every wait for a condition, never reached

struct counts {
    int sent = 0, send_failed = 0, answered = 0, stamped = 0, lost = 0, late = 0, duplicates = 0;
    double least_lateness = 1e9;
    int ended() const { return answered + lost; }
};

// The events of every target, read by the test thread while the probing thread adds to them.
class recorder final : public probe_events {
  public:
    void probe_sent(uint64_t t, double lateness) override {
        change(t, [&](counts& c) {
            ++c.sent;
            c.least_lateness = std::min(c.least_lateness, lateness);
        });
    }
    void send_failed(uint64_t t, int) override { change(t, [](counts& c) { ++c.send_failed; }); }
    void echo_answered(uint64_t t, double, const rebound_directions& d) override {
        change(t, [&](counts& c) {
            ++c.answered;
            if (d.valid) ++c.stamped;
        });
    }
    void probe_lost(uint64_t t) override { change(t, [](counts& c) { ++c.lost; }); }
    void echo_late(uint64_t t) override { change(t, [](counts& c) { ++c.late; }); }
    void echo_duplicate(uint64_t t) override { change(t, [](counts& c) { ++c.duplicates; }); }

    counts of(uint64_t t) {
        const std::lock_guard lock(mutex_);
        return by_target_[t];
    }
    // Waits (bounded) until `done` holds for target `t`.
    bool wait_for(uint64_t t, const std::function<bool(const counts&)>& done) {
        const auto end = std::chrono::steady_clock::now() + kLongestWait;
        while (std::chrono::steady_clock::now() < end) {
            if (done(of(t))) return true;
            std::this_thread::sleep_for(1ms); // a poll interval, not a guess at a duration
        }
        return false;
    }

  private:
    void change(uint64_t t, const std::function<void(counts&)>& f) {
        const std::lock_guard lock(mutex_);
        f(by_target_[t]);
    }
    std::mutex mutex_;
    std::map<uint64_t, counts> by_target_;
};

probe_target loopback(int port, double echo_wait = 0) {
    probe_target t;
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(uint16_t(port));
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::memcpy(&t.address, &in, sizeof in);
    t.address_length = sizeof in;
    t.period = kPeriod;
    t.echo_wait = echo_wait;
    return t;
}

// The fleet's thread, stopped and joined however the test ends.
struct running_fleet {
    explicit running_fleet(fleet_prober& f) : fleet(f), thread([this] { error = fleet.run(); }) {}
    ~running_fleet() {
        fleet.stop();
        thread.join();
    }
    fleet_prober& fleet;
    std::string error;
    std::thread thread;
};

} // namespace

TEST(FleetProber, EachTargetCountsWhatItsEchoesDid) {
    constexpr int kEnded = 40;
    // Waits: long where nothing may count lost on a busy machine; short where the counts
    // are read while later probes still wait (at most kSlotsPerWait + 1 of them).
    constexpr double kSafeWait = 1.0;
    constexpr double kShortWait = 0.1;
    constexpr int kSlotsPerWait = int(kShortWait / kPeriod);
    ResponderProcess responder;
    ASSERT_TRUE(responder.answering());
    DelayLine drops_every_fourth(0ms, [](int n) { return n % 4 == 3 ? 0 : 1; });
    DelayLine twice(0ms, [](int) { return 2; });
    DelayLine too_slow(40ms);
    const int closed_port = free_udp_port();

    struct target_case {
        const char* name;
        probe_target target;
        std::function<bool(const counts&)> done;
        std::function<void(const counts&)> check;
    };
    const auto ended = [](const counts& c) { return c.ended() >= kEnded; };
    const target_case cases[] = {
        {"reboundsrv: every probe answered, with stamps", loopback(responder.port(), kSafeWait), ended,
         [](const counts& c) {
             EXPECT_EQ(c.lost, 0);
             EXPECT_EQ(c.stamped, c.answered);
             EXPECT_EQ(c.late + c.duplicates, 0);
         }},
        {"every fourth echo dropped", loopback(drops_every_fourth.port(), kShortWait), ended,
         [=](const counts& c) {
             // The dropped among the probes whose wait ended: all but the latest ones sent.
             EXPECT_LE(c.lost, c.sent / 4 + 1);
             EXPECT_GE(c.lost, (c.sent - kSlotsPerWait - 1) / 4 - 1);
             EXPECT_EQ(c.stamped, 0); // an echo service returns no stamps
         }},
        {"every echo twice", loopback(twice.port(), kSafeWait), ended,
         [](const counts& c) {
             EXPECT_EQ(c.lost, 0);
             EXPECT_NEAR(c.duplicates, c.answered, 1);
         }},
        {"echoes after the wait: lost, then late", loopback(too_slow.port(), 0.02),
         [](const counts& c) { return c.late >= kEnded; },
         [](const counts& c) {
             EXPECT_EQ(c.answered, 0);
             EXPECT_GE(c.lost, c.late); // a late echo's probe has already counted lost
             EXPECT_EQ(c.duplicates, 0);
         }},
        {"no one on the port: lost, and probing goes on", loopback(closed_port, 0.02), ended,
         [](const counts& c) {
             EXPECT_EQ(c.answered, 0);
             EXPECT_EQ(c.send_failed, 0);
         }},
    };

    recorder events;
    fleet_prober fleet(events);
    std::vector<fleet_target> targets;
    for (size_t i = 0; i < std::size(cases); ++i) targets.push_back({i + 1, cases[i].target});
    fleet.set_targets(targets);
    {
        running_fleet running(fleet);
        for (size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(cases[i].name);
            EXPECT_TRUE(events.wait_for(i + 1, cases[i].done));
        }
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const counts c = events.of(i + 1);
        cases[i].check(c);
        EXPECT_LE(c.ended(), c.sent);
        EXPECT_GE(c.least_lateness, 0.0); // never sent before its slot
    }
}

TEST(FleetProber, ANewSetOfTargetsKeepsTheProbersOfThoseThatStay) {
    // Which client port sent which sequence numbers: a prober that started over would come
    // from a new socket and begin at 0 again.
    std::mutex mutex;
    std::map<int, std::set<uint32_t>> seqs_by_port;
    std::atomic<FixtureResponder*> self{nullptr};
    FixtureResponder responder([&](int, const std::vector<uint8_t>& probe) {
        uint32_t seq;
        std::memcpy(&seq, probe.data() + 4, sizeof seq);
        if (FixtureResponder* r = self.load()) {
            const std::lock_guard lock(mutex);
            seqs_by_port[r->client_port()].insert(seq);
        }
        return std::vector<std::vector<uint8_t>>{proper_echo(probe)};
    });
    self = &responder;

    recorder events;
    fleet_prober fleet(events);
    fleet.set_targets({{1, loopback(responder.port())}, {2, loopback(responder.port())}});
    running_fleet running(fleet);
    const auto sent_at_least = [](int n) { return [n](const counts& c) { return c.sent >= n; }; };
    ASSERT_TRUE(events.wait_for(1, sent_at_least(10)));
    ASSERT_TRUE(events.wait_for(2, sent_at_least(1)));

    fleet.set_targets({{1, loopback(responder.port())}, {3, loopback(responder.port())}});
    ASSERT_TRUE(events.wait_for(3, sent_at_least(10)));
    const int kept_before = events.of(1).sent;
    const int removed = events.of(2).sent;
    ASSERT_TRUE(events.wait_for(1, sent_at_least(kept_before + 10)));
    EXPECT_EQ(events.of(2).sent, removed); // target 2 was stopped
    // Target 1 went on: every probe it sent was answered, none charged twice or lost.
    ASSERT_TRUE(events.wait_for(1, [](const counts& c) { return c.answered >= c.sent - 1; }));
    EXPECT_EQ(events.of(1).lost, 0);
    EXPECT_TRUE(running.error.empty());

    const std::lock_guard lock(mutex);
    int starts = 0;
    for (const auto& [port, seqs] : seqs_by_port) {
        starts += seqs.count(0);
        EXPECT_EQ(seqs.size(), *seqs.rbegin() + 1) << "port " << port << " skipped a number";
    }
    EXPECT_EQ(starts, 3); // targets 1, 2 and 3 each started once
}
