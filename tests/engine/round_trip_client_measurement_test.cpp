// What the measurement core reports: round trips that are true (never below the responder's
// delay, whatever the output costs, by kernel stamp or user-space reading), and echoes told
// apart honestly (late, duplicate, out of order, foreign) without corrupting the record.
#include "engine/line_printer.h"
#include "engine/round_trip_client.h"
#include "tests/support/child_process.h"
#include "tests/support/fixture_responder.h"
#include "tests/support/output_grammar.h"
#include "tests/support/udp_peer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

using namespace testsupport;

namespace {

constexpr double kDelay = 0.002;       // the fixture holds every echo this long
constexpr double kGenerousBound = 0.5; // scheduling on a busy machine, never a failure

// Keeps the events a test looks at.
struct Recorder final : rebound_observer {
    std::vector<rebound_echo> echoes;
    std::vector<rebound_foreign> foreign;
    void echo_received(const rebound_echo& e) override { echoes.push_back(e); }
    void foreign_received(const rebound_foreign& e) override { foreign.push_back(e); }
};

// A pipe whose reader takes one line at a time, pausing after each: a printer writing into it
// blocks once the small pipe buffer is full, as it does behind a slow terminal.
class SlowPipe {
  public:
    SlowPipe() {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        fcntl(fds[1], F_SETPIPE_SZ, 4096);
        writer_ = fdopen(fds[1], "w");
        setvbuf(writer_, nullptr, _IOLBF, 0);
        reader_ = std::thread([fd = fds[0], this] {
            FILE* in = fdopen(fd, "r");
            char line[512];
            while (std::fgets(line, sizeof line, in)) {
                lines_.emplace_back(line, std::strcspn(line, "\n"));
                std::this_thread::sleep_for(std::chrono::milliseconds(1)); // the slow reader
            }
            std::fclose(in);
        });
    }
    FILE* writer() { return writer_; }
    std::vector<std::string> finish() {
        std::fclose(writer_);
        reader_.join();
        return lines_;
    }

  private:
    FILE* writer_ = nullptr;
    std::thread reader_;
    std::vector<std::string> lines_;
};

std::unique_ptr<rebound_info> run(int port, double timeout, int count, rebound_observer& observer,
                                  bool kernel_stamps = true) {
    auto record = std::make_unique<rebound_info>();
    rebound_params p;
    p.ipport = port;
    p.timeout = timeout;
    p.count = count;
    p.sendsize = 64;
    p.recvsize = 64;
    p.kernel_stamps = kernel_stamps;
    rebound_run(p, record.get(), observer);
    return record;
}

TEST(TrueRoundTrip, NeverBelowTheResponderDelayWhateverTheOutputCosts) {
    FixtureResponder delayed([](int, const std::vector<uint8_t>& probe) {
        std::this_thread::sleep_for(std::chrono::duration<double>(kDelay));
        return std::vector<std::vector<uint8_t>>{proper_echo(probe)};
    });
    for (const bool kernel_stamps : {true, false}) {
        SCOPED_TRACE(kernel_stamps ? "kernel receive stamps" : "user-space readings");
        SlowPipe out;
        line_printer printer(out.writer());
        Recorder events;
        rebound_observers both{&printer, &events};
        const auto record = run(delayed.port(), 2.0, 40, both, kernel_stamps);
        const auto lines = out.finish();

        ASSERT_EQ(record->uniqpkts, 40);
        ASSERT_EQ(events.echoes.size(), 40u);
        for (const auto& e : events.echoes) {
            EXPECT_EQ(e.kernel_stamp, kernel_stamps);
            EXPECT_GE(e.round_trip, kDelay) << "seq " << e.seq;
            EXPECT_LE(e.round_trip, kDelay + kGenerousBound) << "seq " << e.seq;
            EXPECT_EQ(record->recvtime[e.seq], e.round_trip);
        }
        // The printed time= is the same round trip.
        const auto recvs = grammar::of_kind(lines, "recv1");
        ASSERT_EQ(recvs.size(), 40u);
        char expected[32];
        std::snprintf(expected, sizeof expected, " time=%.6f", events.echoes[7].round_trip);
        EXPECT_NE(recvs[7].find(expected), std::string::npos) << recvs[7];
        EXPECT_EQ(grammar::unmatched(lines), std::vector<std::string>{});
    }
}

// The datagrams a fixture returns for its n-th probe, given a stranger socket to send from.
using Behaviour = std::function<std::vector<std::vector<uint8_t>>(
    int n, const std::vector<uint8_t>& probe, FixtureResponder& self, UdpPeer& stranger)>;

struct Expected {
    int32_t recvpkts, uniqpkts, duppkts, latepkts, reorderpkts, foreignpkts;
};

std::vector<uint8_t> with_seq(std::vector<uint8_t> echo, uint32_t seq) {
    for (int k = 0; k < 4; ++k)
        echo[4 + k] = static_cast<uint8_t>(seq >> (8 * k));
    return echo;
}

TEST(HonestAccounting, EchoesAreToldApartAndTheRecordStaysTrue) {
    constexpr double kTimeout = 0.3;
    std::vector<uint8_t> held;
    struct Case {
        const char* name;
        Behaviour behaviour;
        Expected expected;
    };
    const Case cases[] = {
        {"late echo of probe 0, sent with the echo of probe 1",
         [&](int n, const auto& probe, auto&, auto&) {
             if (n == 0) {
                 held = proper_echo(probe);
                 return std::vector<std::vector<uint8_t>>{};
             }
             if (n == 1) return std::vector<std::vector<uint8_t>>{held, proper_echo(probe)};
             return std::vector<std::vector<uint8_t>>{proper_echo(probe)};
         },
         {3, 3, 0, 1, 0, 0}},
        {"every echo twice",
         [](int, const auto& probe, auto&, auto&) {
             return std::vector<std::vector<uint8_t>>{proper_echo(probe), proper_echo(probe)};
         },
         {5, 3, 2, 0, 0, 0}},
        {"echo of probe 0 after the echo of probe 1",
         [&](int n, const auto& probe, auto&, auto&) {
             if (n == 0) {
                 held = proper_echo(probe);
                 return std::vector<std::vector<uint8_t>>{};
             }
             if (n == 1) return std::vector<std::vector<uint8_t>>{proper_echo(probe), held};
             return std::vector<std::vector<uint8_t>>{proper_echo(probe)};
         },
         {3, 3, 0, 1, 1, 0}},
        {"a stranger, a runt and an unsent sequence number before every echo",
         [](int, const auto& probe, FixtureResponder& self, UdpPeer& stranger) {
             stranger.send_to(self.client_port(), proper_echo(probe));
             return std::vector<std::vector<uint8_t>>{std::vector<uint8_t>(8, 0),
                                                      with_seq(proper_echo(probe), 0x7FFFFFFF),
                                                      proper_echo(probe)};
         },
         {3, 3, 0, 0, 0, 9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UdpPeer stranger;
        std::unique_ptr<FixtureResponder> fixture;
        fixture = std::make_unique<FixtureResponder>([&](int n, const std::vector<uint8_t>& probe) {
            return c.behaviour(n, probe, *fixture, stranger);
        });
        char* text = nullptr;
        size_t size = 0;
        FILE* out = open_memstream(&text, &size);
        line_printer printer(out);
        Recorder events;
        rebound_observers both{&printer, &events};
        const auto r = run(fixture->port(), kTimeout, 3, both);
        std::fclose(out);
        const auto lines = split_lines(text);
        std::free(text);

        const Expected got{r->recvpkts, r->uniqpkts,    r->duppkts,
                           r->latepkts, r->reorderpkts, r->foreignpkts};
        EXPECT_EQ(got.recvpkts, c.expected.recvpkts);
        EXPECT_EQ(got.uniqpkts, c.expected.uniqpkts);
        EXPECT_EQ(got.duppkts, c.expected.duppkts);
        EXPECT_EQ(got.latepkts, c.expected.latepkts);
        EXPECT_EQ(got.reorderpkts, c.expected.reorderpkts);
        EXPECT_EQ(got.foreignpkts, c.expected.foreignpkts);
        EXPECT_EQ(events.foreign.size(), size_t(c.expected.foreignpkts));
        EXPECT_EQ(r->sendpkts, 3);
        EXPECT_EQ(r->iterpkts, 2); // never a sequence number the run did not send
        EXPECT_EQ(grammar::unmatched(lines), std::vector<std::string>{});
        EXPECT_EQ(grammar::of_kind(lines, "stat-iterpkts"),
                  std::vector<std::string>{"rebound_connect(): iterpkts+1=3"});

        // Every probe's entry is the round trip of its first echo, measured from its own send.
        for (const auto& e : events.echoes) {
            if (e.marks & REBOUND_ECHO_DUPLICATE) continue;
            EXPECT_EQ(r->recvtime[e.seq], e.round_trip) << "seq " << e.seq;
            if (e.marks & REBOUND_ECHO_LATE) {
                EXPECT_GE(e.round_trip, kTimeout) << "seq " << e.seq;
            }
        }
        for (int i = 3; i < REBOUND_MAXPKTS; ++i)
            ASSERT_EQ(r->recvtime[i], 0.0) << i;
    }
}

// A probe's events reach the observers only once its wait is over: when the send is reported,
// the responder has already answered that very probe, so nothing an observer does can run
// while the probe is in flight.
TEST(RoundTripEvents, AProbeIsReportedOnlyAfterItsEchoArrived) {
    std::atomic<int> answered{0};
    FixtureResponder delayed([&](int n, const std::vector<uint8_t>& probe) {
        std::this_thread::sleep_for(std::chrono::duration<double>(kDelay));
        answered = n + 1;
        return std::vector<std::vector<uint8_t>>{proper_echo(probe)};
    });
    struct AtSend final : rebound_observer {
        std::atomic<int>& answered;
        std::vector<int> seen; // answered count when probe i was reported sent
        explicit AtSend(std::atomic<int>& a) : answered(a) {}
        void probe_sent(const rebound_probe_sent&) override { seen.push_back(answered.load()); }
    } at_send(answered);
    const auto record = run(delayed.port(), 2.0, 5, at_send);
    ASSERT_EQ(record->uniqpkts, 5);
    ASSERT_EQ(at_send.seen.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_GE(at_send.seen[i], i + 1) << "probe " << i << " reported before its echo";
}

// Per-probe state is kept for a fixed window of the latest probes: an echo whose probe has left
// it is counted late (and as past the window), never matched, never given a round trip.
TEST(LateWindow, AnEchoOlderThanTheWindowIsCountedTooLateAndNotMatched) {
    constexpr int kCount = 12;
    constexpr size_t kWindow = 4;
    std::vector<uint8_t> held;
    FixtureResponder fixture([&](int n, const std::vector<uint8_t>& probe) {
        if (n == 0) {
            held = proper_echo(probe);
            return std::vector<std::vector<uint8_t>>{};
        }
        if (n == 2 * int(kWindow)) return std::vector<std::vector<uint8_t>>{held, proper_echo(probe)};
        return std::vector<std::vector<uint8_t>>{proper_echo(probe)};
    });
    Recorder events;
    auto record = std::make_unique<rebound_info>();
    rebound_params p;
    p.ipport = fixture.port();
    p.timeout = 0.05;
    p.count = kCount;
    p.sendsize = 64;
    p.recvsize = 64;
    p.late_window = kWindow;
    rebound_run(p, record.get(), events);

    EXPECT_EQ(record->sendpkts, kCount);
    EXPECT_EQ(record->uniqpkts, kCount - 1); // probe 0 stays unanswered
    EXPECT_EQ(record->recvpkts, kCount - 1);
    EXPECT_EQ(record->expiredpkts, 1);
    EXPECT_EQ(record->latepkts, 1);
    EXPECT_EQ(record->foreignpkts, 0);
    EXPECT_EQ(record->recvtime[0], 0.0);
    ASSERT_EQ(events.foreign.size(), 1u);
    EXPECT_EQ(events.foreign[0].reason, rebound_foreign_reason::expired);
    for (const auto& e : events.echoes)
        EXPECT_NE(e.seq, 0);
}

} // namespace
