// The round trip split by the responder's time stamps: on one host the parts add up to the
// round trip and none is negative; a responder whose clock is off moves the one-way delays by
// its offset and nothing else; an echo service that gives no stamps leaves a plain run.
#include "engine/responder_stamps.h"
#include "engine/round_trip_client.h"
#include "platform/clock.h"
#include "tests/support/fixture_responder.h"
#include "tests/support/responder_process.h"
#include "tests/support/socat_echo.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace testsupport;

namespace {

constexpr int kProbes = 50;
constexpr double kSumTolerance = 1e-6;  // the parts are read on one clock: rounding only
constexpr double kGenerousBound = 0.5;  // scheduling on a busy machine, never a failure
constexpr int64_t kClockOffsetNs = 3 * plat::kNanosPerSecond; // the fixture's clock runs ahead

struct Recorder final : rebound_observer {
    std::vector<rebound_echo> echoes;
    void echo_received(const rebound_echo& e) override { echoes.push_back(e); }
};

std::vector<rebound_echo> run_with_stamps(int port, bool kernel_stamps = true) {
    Recorder recorder;
    auto record = std::make_unique<rebound_info>();
    rebound_params p;
    p.ipport = port;
    p.timeout = 2;
    p.count = kProbes;
    p.sendsize = 64;
    p.recvsize = 64;
    p.kernel_stamps = kernel_stamps;
    p.want_stamps = true;
    rebound_run(p, record.get(), recorder);
    EXPECT_EQ(record->uniqpkts, kProbes);
    return recorder.echoes;
}

TEST(ResponderStamps, SplitTheRoundTripAgainstEachPeer) {
    ResponderProcess server;
    ASSERT_TRUE(server.answering());
    FixtureResponder clock_ahead([](int, const std::vector<uint8_t>& probe) {
        auto echo = proper_echo(probe);
        stamps_write_received(echo.data(), plat::wall_ns() + kClockOffsetNs);
        stamps_write_sent(echo.data(), plat::wall_ns() + kClockOffsetNs);
        return std::vector<std::vector<uint8_t>>{echo};
    });
    const bool socat = SocatEcho::installed();
    std::unique_ptr<SocatEcho> echo_service;
    if (socat) echo_service = std::make_unique<SocatEcho>();

    struct Case {
        const char* name;
        int port;
        bool kernel_stamps;
        std::function<void(const rebound_echo&)> check;
    };
    const auto adds_up = [](const rebound_echo& e) {
        ASSERT_TRUE(e.directions.valid);
        const rebound_directions& d = e.directions;
        EXPECT_GE(d.send_delay, 0);
        EXPECT_GE(d.dwell, 0);
        EXPECT_GE(d.receive_delay, 0);
        EXPECT_NEAR(d.send_delay + d.dwell + d.receive_delay, e.round_trip, kSumTolerance);
    };
    std::vector<Case> cases = {
        {"reboundsrv, kernel stamps", server.port(), true, adds_up},
        {"reboundsrv, user-space readings", server.port(), false, adds_up},
        {"a responder whose clock is ahead", clock_ahead.port(), true,
         [](const rebound_echo& e) {
             ASSERT_TRUE(e.directions.valid);
             const double offset = double(kClockOffsetNs) * 1e-9;
             EXPECT_LT(e.round_trip, kGenerousBound); // untouched by the offset
             EXPECT_GE(e.directions.send_delay, offset);
             EXPECT_LT(e.directions.send_delay, offset + kGenerousBound);
             EXPECT_LE(e.directions.receive_delay, -offset + kGenerousBound);
             EXPECT_NEAR(e.directions.send_delay + e.directions.dwell +
                             e.directions.receive_delay,
                         e.round_trip, kSumTolerance);
         }},
    };
    if (socat)
        cases.push_back({"socat's echo: no stamps, a plain run", echo_service->port(), true,
                         [](const rebound_echo& e) { EXPECT_FALSE(e.directions.valid); }});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto echoes = run_with_stamps(c.port, c.kernel_stamps);
        ASSERT_EQ(echoes.size(), size_t(kProbes));
        for (const auto& e : echoes)
            c.check(e);
    }
}

// Stamps are read only when they can be right: too short an echo, a zero, or a send before the
// receive are no stamps.
TEST(ResponderStamps, NonsenseIsNoStamps) {
    struct Case {
        int32_t size;
        int64_t received, sent;
        bool read;
    };
    const Case cases[] = {
        {kStampedEchoSize, 1000, 2000, true},      {kStampedEchoSize, 1000, 1000, true},
        {kStampedEchoSize - 1, 1000, 2000, false}, {kStampedEchoSize, 0, 2000, false},
        {kStampedEchoSize, 1000, 0, false},        {kStampedEchoSize, 2000, 1000, false},
        {kStampedEchoSize, -5, 2000, false},
    };
    for (const auto& c : cases) {
        unsigned char echo[kStampedEchoSize] = {};
        stamps_write_received(echo, c.received);
        stamps_write_sent(echo, c.sent);
        const auto s = stamps_read(echo, c.size);
        EXPECT_EQ(s.has_value(), c.read) << c.size << " " << c.received << " " << c.sent;
        if (s) {
            EXPECT_EQ(s->sent_ns - s->received_ns, c.sent - c.received);
        }
    }
}

} // namespace
