// Scheduled probing against a path longer than the period: probes leave on their slots whether
// or not echoes came back, every echo is charged to its own probe with its own round trip, and
// losses and duplicates are counted exactly.
#include "engine/round_trip_client.h"
#include "tests/support/fixture_responder.h"
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

// A responder behind a long path: each echo leaves kPathDelay after its probe arrived, probes
// keep coming in meanwhile. `copies(n)` says how often the n-th probe's echo is sent (0: lost).
class DelayLine {
  public:
    explicit DelayLine(std::function<int(int)> copies)
        : copies_(std::move(copies)), thread_([this] { serve(); }) {}
    ~DelayLine() {
        stop_ = true;
        thread_.join();
    }
    int port() const { return peer_.port(); }

  private:
    struct Pending {
        Clock::time_point due;
        int to_port;
        std::vector<uint8_t> echo;
    };
    void serve() {
        std::deque<Pending> line;
        for (int n = 0; !stop_; ) {
            if (auto d = peer_.receive(std::chrono::milliseconds(1))) {
                for (int k = copies_(n++); k > 0; --k)
                    line.push_back({Clock::now() + kPathDelay, d->from_port, proper_echo(d->bytes)});
            }
            while (!line.empty() && line.front().due <= Clock::now()) {
                peer_.send_to(line.front().to_port, line.front().echo);
                line.pop_front();
            }
        }
    }
    UdpPeer peer_;
    std::function<int(int)> copies_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

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
        DelayLine path(c.copies);
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
