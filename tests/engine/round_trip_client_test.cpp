// The round-trip client in-process: its record and its output lines, against the real responder
// and against fixtures for late, duplicated and out-of-range echoes.
#include "engine/line_printer.h"
#include "engine/round_trip_client.h"
#include "platform/socket_api.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/child_process.h"
#include "tests/support/fixture_responder.h"
#include "tests/support/output_grammar.h"
#include "tests/support/responder_process.h"
#include "tests/support/udp_peer.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>

using namespace testsupport;

namespace {

struct Measured {
    rebound_end end;
    std::unique_ptr<rebound_info> record = std::make_unique<rebound_info>();
    std::vector<std::string> lines;
};

Measured measure(int port, double timeout, int count, int sendsize, int recvsize,
                 const char* host = "127.0.0.1", double interval = kDefaultInterval) {
    Measured m;
    rebound_params p;
    p.ipaddr = host;
    p.ipport = port;
    p.timeout = timeout;
    p.count = count;
    p.sendsize = sendsize;
    p.recvsize = recvsize;
    p.interval = interval;
    m.lines = split_lines(capture_stdout([&] {
        line_printer printer(stdout);
        m.end = rebound_run(p, m.record.get(), printer);
    }));
    return m;
}

int open_descriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

class AgainstResponder : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new ResponderProcess;
        ASSERT_TRUE(server_->answering());
        port_ = server_->port();
    }
    static void TearDownTestSuite() { delete server_; }
    static inline ResponderProcess* server_ = nullptr;
    static inline int port_ = 0;
};

TEST_F(AgainstResponder, EveryEchoArrivesAndEveryLineHasItsShape) {
    const int before = open_descriptors();
    Measured m = measure(port_, 1.0, 5, 100, 100);
    EXPECT_EQ(m.end, rebound_end::normal);
    EXPECT_EQ(open_descriptors(), before); // the run closed its socket
    EXPECT_EQ(grammar::unmatched(m.lines), std::vector<std::string>{});

    ASSERT_GE(m.lines.size(), 3u);
    EXPECT_EQ(m.lines[0],
              "rebound_connect(): connaddr=create_sockaddrin(AF_INET, ipaddr=127.0.0.1, "
              "ipport=" +
                  std::to_string(port_) + "):");
    EXPECT_EQ(m.lines[1], "rebound_connect(): connaddr.sin_addr.s_addr=0100007F (127.0.0.1) "
                          "connaddr.sin_port=" +
                              std::to_string(port_));
    EXPECT_EQ(m.lines[2], "rebound_connect(): rebound_send(void *arg):/rebound_recv(void *arg):");
    EXPECT_EQ(
        grammar::of_kind(m.lines, "dump")[1],
        "rebound_connect(): buffdata= |00|00|00|00| |01|00|00|00| |64|00|00|00| |64|00|00|00|");

    const auto sends = grammar::of_kind(m.lines, "send");
    const auto recvs = grammar::of_kind(m.lines, "recv1");
    ASSERT_EQ(sends.size(), 5u);
    ASSERT_EQ(recvs.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(grammar::field(sends[i], "i"), i);
        EXPECT_EQ(grammar::field(sends[i], "S"), i); // counted after the line
        EXPECT_EQ(grammar::field(recvs[i], "S"), i + 1);
        EXPECT_EQ(grammar::field(recvs[i], "R"), i);
        EXPECT_EQ(grammar::field(recvs[i], "recvsize"), 100);
        EXPECT_EQ(grammar::field(recvs[i], "iterpkts"), i);
        EXPECT_GT(m.record->recvtime[i], 0.0);
        EXPECT_GT(m.record->sendtime[i], 0.0);
    }
    EXPECT_NE(sends[0].find("udp_send(127.0.0.1:" + std::to_string(port_) + ")"),
              std::string::npos);
    EXPECT_EQ(m.record->recvtime[5], 0.0);
    EXPECT_EQ(grammar::of_kind(m.lines, "dtimeout").size(), 0u); // nothing left to drain

    const std::vector<std::string> tail(m.lines.end() - 4, m.lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"rebound_connect(): sendpkts=5",
                                              "rebound_connect(): recvpkts=5",
                                              "rebound_connect(): iterpkts+1=5",
                                              "rebound_connect(): recvpkts/sendpkts=100.000[%]"}));
    EXPECT_EQ(m.record->sendpkts, 5);
    EXPECT_EQ(m.record->recvpkts, 5);
    EXPECT_EQ(m.record->iterpkts, 4);
    EXPECT_GT(m.record->difftime, 0.0);
}

// Every echo is charged to its own probe, whatever part of the sequence number the probe could
// carry: none at 4 bytes or less, its low byte at 5 (wrapping at 256, crossed here), two at 6.
TEST_F(AgainstResponder, ShortProbesAndSmallEchoSizes) {
    struct Case {
        int sendsize, recvsize;
        int echo_size;
    };
    const Case cases[] = {
        {1, 1, 16},     {4, 100, 16}, {5, 5, 16}, {7, 7, 16},
        {12, 100, 16},  // word 3 did not arrive: the echo is 16 bytes
        {100, 8, 16},   // asked for less than a header
        {1000, 100, 100}, // echo cut to the asked size
    };
    constexpr int kCount = 260; // past the wrap of a one-byte sequence number
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sendsize);
        Measured m = measure(port_, 1.0, kCount, c.sendsize, c.recvsize);
        const auto recvs = grammar::of_kind(m.lines, "recv1");
        ASSERT_EQ(recvs.size(), size_t(kCount));
        for (int i = 0; i < kCount; ++i) {
            ASSERT_EQ(grammar::field(recvs[i], "recvsize"), c.echo_size);
            ASSERT_EQ(grammar::field(recvs[i], "iterpkts"), i);
            ASSERT_GT(m.record->recvtime[i], 0.0);
        }
        EXPECT_EQ(m.record->recvpkts, kCount);
        EXPECT_EQ(m.record->uniqpkts, kCount);
        EXPECT_EQ(m.record->duppkts, 0);
        EXPECT_EQ(m.record->reorderpkts, 0);
        EXPECT_EQ(grammar::of_kind(m.lines, "dtimeout").size(), 0u); // nothing left to drain
    }
}

TEST(Client, CountZeroPrintsOnlyStartAndStatistics) {
    Measured m = measure(free_udp_port(), 0.1, 0, 100, 100);
    EXPECT_EQ(m.end, rebound_end::normal);
    ASSERT_EQ(m.lines.size(), 8u);
    EXPECT_EQ(grammar::kind_of(m.lines[3]), "stat-difftime");
    EXPECT_EQ(m.lines[4], "rebound_connect(): sendpkts=0");
    EXPECT_EQ(m.lines[5], "rebound_connect(): recvpkts=0");
    EXPECT_EQ(m.lines[6], "rebound_connect(): iterpkts+1=1");
    EXPECT_EQ(m.lines[7], "rebound_connect(): sendpkts==0");
}

TEST(Client, NoResponderGivesTimeoutsAndOneDrainTimeout) {
    UdpPeer silent; // bound, never answers
    Measured m = measure(silent.port(), 0.05, 3, 64, 64);
    EXPECT_EQ(grammar::unmatched(m.lines), std::vector<std::string>{});
    EXPECT_EQ(grammar::of_kind(m.lines, "send").size(), 3u);
    EXPECT_EQ(grammar::of_kind(m.lines, "rtimeout").size(), 3u);
    const auto drain = grammar::of_kind(m.lines, "dtimeout");
    ASSERT_EQ(drain.size(), 1u);
    EXPECT_EQ(grammar::field(drain[0], "i"), 0);
    EXPECT_EQ(m.lines.back(), "rebound_connect(): recvpkts/sendpkts=0.000[%]");
    EXPECT_EQ(m.record->sendpkts, 3);
    EXPECT_EQ(m.record->recvpkts, 0);
}

TEST(Client, OversizedProbeIsCutToTheBufferAndItsRealErrorIsPrinted) {
    // 70000 bytes are more than the buffer; what is sent is at most 65536 bytes, which UDP
    // refuses as too long: the failure line carries that error, not "Operation not permitted".
    Measured m = measure(free_udp_port(), 0.05, 1, 70000, 64);
    const auto fails = grammar::of_kind(m.lines, "sendfail");
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_NE(fails[0].find("sendsize=-1 if (sendsize<=0): error=90:Message too long"),
              std::string::npos)
        << fails[0];
    EXPECT_NE(grammar::of_kind(m.lines, "send")[0].find("argssize=70000 sendsize=-1"),
              std::string::npos);
    EXPECT_EQ(m.record->sendpkts, 0);
    EXPECT_EQ(m.lines.back(), "rebound_connect(): sendpkts==0");
}

TEST(Client, EmptyProbeIsReportedAsFailedWithErrorZero) {
    Measured m = measure(free_udp_port(), 0.05, 1, 0, 64);
    const auto fails = grammar::of_kind(m.lines, "sendfail");
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_NE(fails[0].find("sendsize=0 if (sendsize<=0): error=0:"), std::string::npos);
}

TEST(Client, CountAboveTheRecordStillSendsEveryProbe) {
    // Nobody answers and each wait is 0 s, so 10003 probes go out quickly; times are kept for
    // the first 10000 only and nothing is written beyond the record.
    UdpPeer silent;
    Measured m = measure(silent.port(), 0.0, REBOUND_MAXPKTS + 3, 16, 16, "127.0.0.1", 0.0);
    EXPECT_EQ(m.record->sendpkts, REBOUND_MAXPKTS + 3);
    EXPECT_EQ(grammar::of_kind(m.lines, "send").size(), size_t(REBOUND_MAXPKTS + 3));
    EXPECT_EQ(m.record->iterpkts, REBOUND_MAXPKTS + 2);
}

// What observers size their per-probe storage by: the count, or fewer when the duration and
// the pace (the pause, or the period of a scheduled run) allow fewer; the count when nothing
// paces the run.
TEST(Client, ProbesBoundIsTheCountOrWhatThePaceAllowsInTheDuration) {
    struct Case {
        int32_t count;
        double duration, interval, period;
        int64_t bound;
    };
    constexpr int32_t kDurationOnly = INT32_MAX; // what -d alone gives
    const Case cases[] = {
        {100, 0, 0.125, 0, 100},
        {100, 0.5, 0.125, 0, 5},       // 4 pauses in the duration, and the probe after them
        {3, 0.5, 0.125, 0, 3},         // the count ends the run first
        {kDurationOnly, 0.5, 0.125, 0.25, 3}, // a period paces a scheduled run, not the pause
        {kDurationOnly, 0.5, 0, 0, kDurationOnly}, // unpaced: only the count bounds it
        {-5, 0, 0.125, 0, 0},
    };
    for (const Case& c : cases) {
        rebound_params p;
        p.count = c.count;
        p.duration = c.duration;
        p.interval = c.interval;
        p.period = c.period;
        EXPECT_EQ(rebound_probes_bound(p), c.bound)
            << c.count << " probes, -d " << c.duration << " -i " << c.interval << " --period "
            << c.period;
    }
}

TEST(Client, RunStartTellsTheProbesBoundAndTheSchedule) {
    struct StartSeen final : rebound_observer {
        int64_t bound = -1;
        bool scheduled = false;
        int32_t sent = 0;
        void run_started(const rebound_run_start& e) override {
            bound = e.probes_bound;
            scheduled = e.scheduled;
        }
        void probe_sent(const rebound_probe_sent&) override { ++sent; }
    } seen;
    UdpPeer silent;
    rebound_params p;
    p.ipport = silent.port();
    p.timeout = 0.01;
    p.count = INT32_MAX;
    p.duration = 0.03125;
    p.period = 0.015625;
    const auto record = std::make_unique<rebound_info>(); // 160 kB: off the stack
    rebound_run(p, record.get(), seen);
    EXPECT_EQ(seen.bound, 3);
    EXPECT_TRUE(seen.scheduled);
    EXPECT_LE(seen.sent, seen.bound);
}

TEST(Client, FailedSocketEndsTheRunEarlyWithoutStatistics) {
    plat::fail_startup_for_test(true); // udp_create fails, so the first wait fails
    Measured m = measure(free_udp_port(), 0.05, 3, 64, 64);
    plat::fail_startup_for_test(false);
    EXPECT_EQ(m.end, rebound_end::early);
    ASSERT_EQ(m.lines.size(), 4u);
    EXPECT_EQ(grammar::kind_of(m.lines[3]), "wsockerr");
    EXPECT_EQ(m.record->difftime, 0.0);
}

} // namespace
