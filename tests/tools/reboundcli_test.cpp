// reboundcli as a program: its command line, exit codes, a clean stop, and a measurement
// against a standard UDP echo service that is not ours.
#include "tests/support/child_process.h"
#include "tests/support/delay_line.h"
#include "tests/support/output_grammar.h"
#include "tests/support/responder_process.h"
#include "tests/support/socat_echo.h"
#include "tests/support/udp_peer.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace testsupport;

namespace {

TEST(Cli, DefaultsAndExactLinesAgainstTheResponder) {
    ResponderProcess server;
    ASSERT_TRUE(server.answering());
    const int port = server.port();
    const auto r = run_program("reboundcli", {"-p", std::to_string(port), "-t", "1", "-c", "20"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(grammar::unmatched(r.lines), std::vector<std::string>{});
    EXPECT_NE(r.lines[0].find("ipaddr=127.0.0.1,"), std::string::npos); // default host
    const auto recvs = grammar::of_kind(r.lines, "recv1");
    ASSERT_EQ(recvs.size(), 20u);
    EXPECT_EQ(grammar::field(recvs[0], "recvsize"), 8192); // default sizes
    EXPECT_EQ(r.lines.back(), "rebound_connect(): recvpkts/sendpkts=100.000[%]");
}

// The extreme sizes the command line takes all make a measurement.
TEST(Cli, LargestAndSmallestSizesAreMeasured) {
    ResponderProcess server;
    ASSERT_TRUE(server.answering());
    struct Case {
        const char *sendsize, *recvsize;
        int echo_size;
    };
    const Case cases[] = {{"65507", "65507", 65507}, {"1", "0", 16}, {"16", "0", 16},
                          {"16", "65507", 65507}};
    for (const auto& c : cases) {
        const auto r = run_program("reboundcli", {"-p", std::to_string(server.port()), "-t", "2",
                                                  "-c", "2", std::string("--sendsize=") + c.sendsize,
                                                  std::string("--recvsize=") + c.recvsize});
        EXPECT_EQ(r.exit_code, 0) << c.sendsize << " " << c.recvsize << r.err;
        const auto recvs = grammar::of_kind(r.lines, "recv1");
        ASSERT_EQ(recvs.size(), 2u) << c.sendsize << " " << c.recvsize;
        EXPECT_EQ(grammar::field(recvs[1], "recvsize"), c.echo_size);
    }
}

// A scheduled run across a path longer than its period: sends and echoes interleave in event
// order, and every line is one the protocol knows.
TEST(Cli, ScheduledRunLinesInterleaveAndKeepTheGrammar) {
    DelayLine path(std::chrono::milliseconds(50));
    const auto r = run_program("reboundcli", {"-p", std::to_string(path.port()), "--period",
                                              "0.005", "-c", "30", "-t", "1", "--sendsize=64",
                                              "--recvsize=64"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(grammar::unmatched(r.lines), std::vector<std::string>{});
    const auto sends = grammar::of_kind(r.lines, "send");
    const auto recvs = grammar::of_kind(r.lines, "recv1");
    EXPECT_EQ(sends.size(), 30u);
    EXPECT_EQ(recvs.size(), 30u);
    // The first echo comes after several later probes were sent.
    const auto first_echo = std::find(r.lines.begin(), r.lines.end(), recvs.front());
    const auto sends_before = std::count_if(r.lines.begin(), first_echo, [&](const std::string& l) {
        return std::find(sends.begin(), sends.end(), l) != sends.end();
    });
    EXPECT_GT(sends_before, 1);
    EXPECT_EQ(r.lines.back(), "rebound_connect(): recvpkts/sendpkts=100.000[%]");
}

TEST(Cli, StandardEchoServiceIsARealPeer) {
    if (!SocatEcho::installed()) GTEST_SKIP() << "socat is not installed";
    const SocatEcho echo; // RFC 862 echo: returns every datagram as it came
    ASSERT_TRUE(echo.echoing()) << "socat did not start echoing";
    const int port = echo.port();
    const auto r = run_program("reboundcli", {"-h", "127.0.0.1", "-p", std::to_string(port), "-t",
                                              "2", "-c", "5", "--sendsize=200", "--recvsize=64"});
    EXPECT_EQ(r.exit_code, 0);
    const auto recvs = grammar::of_kind(r.lines, "recv1");
    ASSERT_EQ(recvs.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(grammar::field(recvs[i], "recvsize"), 200); // the echo ignores the asked size
        EXPECT_EQ(grammar::field(recvs[i], "iterpkts"), i);
    }
    EXPECT_EQ(r.lines.back(), "rebound_connect(): recvpkts/sendpkts=100.000[%]");
}

TEST(Cli, BadValuesAreClearErrorsWithExitTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* text; // the message names the option
    };
    const Case cases[] = {
        {{"-t", "fast"}, "--timeout: 'fast' is not a number of seconds from 0 to 86400"},
        {{"-t", "-1"}, "--timeout: '-1'"},
        {{"-t", "1e9"}, "--timeout: '1e9'"},
        {{"-c", "10x"}, "--count: '10x' is not a whole number from 1 to 2147483647"},
        {{"-c", "0"}, "--count: '0'"}, // a run of no probes would measure nothing
        {{"--sendsize=0"}, "--sendsize: '0' is not a whole number from 1 to 65507"},
        {{"--sendsize=65508"}, "--sendsize: '65508'"}, // more than a datagram carries
        {{"-c", "2147483648"}, "--count: '2147483648'"},
        {{"-p", "0"}, "--port: '0' is not a whole number from 1 to 65535"},
        {{"--sendsize=big"}, "--sendsize: 'big'"},
        {{"--recvsize=65508"}, "--recvsize: '65508' is not a whole number from 0 to 65507"},
        {{"-i", "-0.5"}, "--interval: '-0.5' is not a number of seconds from 0"},
        {{"-d", "0"}, "--duration: '0' is not a number of seconds above 0"},
        {{"-d", "soon"}, "--duration: 'soon'"},
        {{"--busy-wait", "-1"}, "--busy-wait: '-1' is not a number of seconds from 0"},
        {{"--period", "0.01", "--busy-wait", "0"}, "--busy-wait is for lock-step runs"},
        {{"-h"}, "--host"},
        {{"--json"}, "--json"},
        {{"extra"}, "not expected: extra"},
        {{"--colour"}, "not expected: --colour"},
    };
    for (const auto& c : cases) {
        const auto r = run_program("reboundcli", c.args);
        EXPECT_EQ(r.exit_code, 2) << c.args[0];
        EXPECT_EQ(r.err.rfind("reboundcli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Try 'reboundcli --help'."), std::string::npos) << r.err;
        EXPECT_EQ(r.out, ""); // nothing on the protocol stream
    }
    const auto help = run_program("reboundcli", {"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.lines.at(0), "Usage: reboundcli [OPTIONS]");
    for (const char* documented : {"Exit status: 0", "[address]:port", "within 1 %"})
        EXPECT_NE(help.out.find(documented), std::string::npos) << documented;
    const auto version = run_program("reboundcli", {"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out.rfind("reboundcli ", 0), 0u);
}

TEST(Cli, TerminationFlushesEveryLinePrinted) {
    UdpPeer bound_silent; // bound, never answers: a long run of time-outs
    const int silent = bound_silent.port();
    ChildProcess p;
    ASSERT_TRUE(p.start(program_path("reboundcli"),
                        {"-p", std::to_string(silent), "-t", "0.2", "-c", "1000"}));
    ASSERT_TRUE(p.wait_for_output("result=select(): TIMEOUT"));
    p.signal(SIGTERM);
    ASSERT_TRUE(p.wait());
    EXPECT_EQ(p.exit_code(), 128 + SIGTERM);
    const std::string out = p.out();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n'); // no line cut in half
    EXPECT_EQ(grammar::unmatched(split_lines(out)), std::vector<std::string>{});
}

} // namespace
