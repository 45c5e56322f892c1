// One timing model, as a user of reboundcli sees it against peers that misbehave: an echo is
// late when it came more than -t after its own send, whichever wait took it; the pause follows
// every probe, answered or not; a closed port ends the run at once with its reason; a probe
// the kernel refuses to send is counted and its reason told once, even with -q.
#include "tests/support/child_process.h"
#include "tests/support/fixture_responder.h"
#include "tests/support/proc_stat.h"
#include "tests/support/summary_text.h"
#include "tests/support/udp_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>
#include <thread>

using namespace testsupport;

namespace {

using Replies = std::vector<std::vector<uint8_t>>;

// A path longer than the time limit: every echo arrives after its own probe's wait ran out.
constexpr auto kLongPath = std::chrono::milliseconds(30);
constexpr double kShortLimit = 0.01;
constexpr int kPausedProbes = 20; // -d 0.2 with -i 0.01: at most this many, plus the first

TEST(TimingModel, TableOfPeers) {
    FixtureResponder far_away([](int, const std::vector<uint8_t>& probe) {
        std::this_thread::sleep_for(kLongPath);
        return Replies{proper_echo(probe)};
    });
    UdpPeer silent; // bound, never answers
    const int closed = free_udp_port();

    struct Case {
        const char* name;
        int port;
        std::vector<std::string> options;
        int exit_code;
        const char* on_stderr; // said once, or "" for nothing
        std::function<void(const std::map<std::string, double>&)> check;
    };
    const Case cases[] = {
        {"a path longer than -t: every echo that came is late",
         far_away.port(),
         {"-c", "5", "-t", std::to_string(kShortLimit)},
         0,
         "",
         [](const auto& n) {
             EXPECT_GT(n.at("probes.echoes received"), 0);
             EXPECT_EQ(n.at("duplicates.late"), n.at("probes.echoes received"));
             EXPECT_GE(n.at("round.min"), double(kLongPath.count()) - 0.001); // in ms
         }},
        {"a silent port with -t 0: the pause holds the rate",
         silent.port(),
         {"-d", "0.2", "-t", "0", "-i", "0.01"},
         3,
         "",
         [](const auto& n) { EXPECT_LE(n.at("probes.probes sent"), kPausedProbes + 1); }},
        {"a closed port: one probe, then the reason",
         closed,
         {"-c", "50", "-t", "1"},
         1,
         "port unreachable",
         [](const auto& n) {
             EXPECT_EQ(n.at("probes.probes sent"), 1);
             EXPECT_EQ(n.at("failed.port unreachable"), 1);
         }},
        {"a probe to a broadcast address: failed sends counted, the reason once",
         silent.port(),
         {"-c", "3", "-t", "0.01", "-h", "127.255.255.255"},
         3,
         "Permission denied",
         [](const auto& n) {
             EXPECT_EQ(n.at("probes.probes sent"), 0);
             EXPECT_EQ(n.at("failed.failed sends"), 3);
         }},
    };
    // Each case with waits that sleep at once, and with a busy wait longer than any limit: the
    // model is the same whichever way a wait looks for its echo.
    for (const char* busy_wait : {"0", "60"})
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", --busy-wait " + busy_wait);
        std::vector<std::string> args{"-p", std::to_string(c.port), "-q", "--busy-wait", busy_wait};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult r = run_program("reboundcli", args);
        EXPECT_EQ(r.exit_code, c.exit_code) << r.out << r.err;
        if (*c.on_stderr) {
            const auto at = r.err.find(c.on_stderr);
            ASSERT_NE(at, std::string::npos) << r.err;
            EXPECT_EQ(r.err.find(c.on_stderr, at + 1), std::string::npos) << "said twice: " << r.err;
        }
        c.check(summary_numbers(r.out));
    }
}

// The row of /proc/net/udp for the UDP socket bound to `port` on any local address: the bytes
// waiting in its receive buffer and the datagrams the kernel dropped from it (-1 when there is
// no such socket).
struct udp_socket_row {
    long queued_bytes = -1;
    long drops = -1;
};
udp_socket_row udp_socket(int port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    char local[8];
    std::snprintf(local, sizeof local, ":%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string sl, address, remote, state, queues, field;
        fields >> sl >> address >> remote >> state >> queues; // queues: "tx:rx" in hex
        if (!address.ends_with(local)) continue;
        udp_socket_row row;
        row.queued_bytes = std::stol(queues.substr(queues.find(':') + 1), nullptr, 16);
        while (fields >> field) {}
        row.drops = std::stol(field);
        return row;
    }
    return {};
}

char process_state(int pid) {
    const std::string state = stat_field("/proc/" + std::to_string(pid) + "/stat", 3);
    return state.empty() ? '?' : state[0];
}

// A client whose receive buffer overflows (it is stopped while its peer floods it with copies
// of an echo): the kernel's drops are reported as lost at the client, and the path's loss stays 0.
TEST(TimingModel, DropsOfAFloodedClientAreReportedApartFromPathLoss) {
    UdpPeer peer;
    ChildProcess cli;
    ASSERT_TRUE(cli.start(program_path("reboundcli"),
                          {"-p", std::to_string(peer.port()), "-q", "-c", "2", "-i", "0", "-t",
                           "30", "--sendsize", "64", "--recvsize", "64"}));
    const auto first = peer.receive(std::chrono::seconds(30));
    ASSERT_TRUE(first);
    cli.signal(SIGSTOP);
    while (process_state(cli.pid()) != 'T') std::this_thread::yield();
    const auto echo = proper_echo(first->bytes);
    constexpr int kMostCopies = 1000000; // no receive buffer holds that many
    constexpr int kCopiesBetweenLooks = 64;
    int copies = 0;
    while (udp_socket(first->from_port).drops <= 0 && copies < kMostCopies)
        for (int k = 0; k < kCopiesBetweenLooks; ++k, ++copies)
            ASSERT_TRUE(peer.send_to(first->from_port, echo));
    const long dropped = udp_socket(first->from_port).drops;
    ASSERT_GT(dropped, 0);
    cli.signal(SIGCONT);
    const auto second = peer.receive(std::chrono::seconds(30));
    ASSERT_TRUE(second);
    // The second echo goes once the client has read the copies still queued: into a full
    // buffer it would be dropped too, and the client would wait out its whole time limit.
    while (udp_socket(second->from_port).queued_bytes > 0) std::this_thread::yield();
    ASSERT_TRUE(peer.send_to(second->from_port, proper_echo(second->bytes)));
    ASSERT_TRUE(cli.wait());
    EXPECT_EQ(cli.exit_code(), 0) << cli.out() << cli.err();
    const auto n = summary_numbers(cli.out());
    // Copies still on their way through loopback when the count was read may be dropped after.
    EXPECT_GE(n.at("receive.receive buffer drops"), dropped) << cli.out();
    EXPECT_LE(n.at("receive.receive buffer drops") + n.at("duplicates.duplicates"), copies - 1);
    EXPECT_EQ(n.at("probes.lost"), 0);
}

} // namespace
