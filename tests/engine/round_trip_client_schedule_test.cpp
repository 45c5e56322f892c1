// Scheduled probing against a path longer than the period: probes leave on their slots whether
// or not echoes came back, every echo is charged to its own probe with its own round trip, and
// losses and duplicates are counted exactly.
#include "engine/round_trip_client.h"
#include "tests/support/delay_line.h"
#include "tests/support/udp_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <thread>

using namespace testsupport;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPeriod = 0.005;
constexpr auto kPathDelay = std::chrono::milliseconds(50); // ten periods
constexpr int kCount = 40;

struct Recorder final : rebound_observer {
    std::vector<rebound_probe_sent> sent;
    std::vector<rebound_echo> echoes;
    void probe_sent(const rebound_probe_sent& e) override { sent.push_back(e); }
    void echo_received(const rebound_echo& e) override { echoes.push_back(e); }
};

TEST(ScheduledRun, ALongPathKeepsTheScheduleAndEveryEchoItsOwnRoundTrip) {
    struct Case {
        const char* name;
        std::function<int(int)> copies;
        int lost, duplicates;
    };
    const Case cases[] = {
        {"every echo", [](int) { return 1; }, 0, 0},
        {"every fifth echo dropped", [](int n) { return n % 5 == 4 ? 0 : 1; }, kCount / 5, 0},
        {"every fourth echo twice", [](int n) { return n % 4 == 0 ? 2 : 1; }, 0, kCount / 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DelayLine path(kPathDelay, c.copies);
        Recorder events;
        auto record = std::make_unique<rebound_info>();
        rebound_params p;
        p.ipport = path.port();
        p.timeout = 1.0;
        p.count = kCount;
        p.sendsize = 64;
        p.recvsize = 64;
        p.period = kPeriod;
        ASSERT_EQ(rebound_run(p, record.get(), events), rebound_end::normal);

        // Sent on the schedule: never before a slot, each probe on a slot of its own (skipped
        // slots, which a busy machine may cause, move the later probes on by whole periods).
        ASSERT_EQ(int(events.sent.size()), kCount);
        int64_t slot = 0;
        for (const auto& s : events.sent) {
            ASSERT_GE(s.lateness, 0.0);
            // A slot a whole period gone is skipped; what remains is a preemption between the
            // check and the call at most.
            ASSERT_LT(s.lateness, 1.5 * kPeriod);
            const double offset_in_periods = (s.send_offset - events.sent[0].send_offset) / kPeriod;
            ASSERT_GE(offset_in_periods, double(slot) - 0.5) << "probe " << s.index << " early";
            slot = std::llround(offset_in_periods - s.lateness / kPeriod) + 1;
        }
        EXPECT_EQ(record->sendpkts, kCount);
        EXPECT_EQ(record->sendpkts - record->uniqpkts, c.lost);
        EXPECT_EQ(record->duppkts, c.duplicates);
        EXPECT_EQ(record->latepkts, 0);
        // Each echo is timed from its own probe's send: at least the path's delay, and a
        // duplicate is not timed again.
        for (const auto& e : events.echoes) {
            if (e.marks & REBOUND_ECHO_DUPLICATE) continue;
            EXPECT_GE(e.round_trip, std::chrono::duration<double>(kPathDelay).count()) << e.seq;
            EXPECT_EQ(record->recvtime[e.seq], e.round_trip);
        }
    }
}

} // namespace
