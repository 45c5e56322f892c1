// reboundcli's host texts: names resolved through the name services (localhost, and names from
// a hosts file of the test's own, in a network namespace of its own), the dotted address shown
// in the lines, and texts refused before anything is sent: shorthand numeric forms that the C
// library would read as another address, and texts that could forge lines.
#include "tests/support/child_process.h"
#include "tests/support/openmetrics_parse.h"
#include "tests/support/private_namespaces.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <csignal>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace testsupport;
using json = nlohmann::json;

namespace {

constexpr const char* kNamedAddress = "127.0.7.1";
constexpr int kPort = 33333; // the namespace is ours: the default port is free

class OwnNetwork : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        why_not_ = enter_private_network("127.0.0.1 localhost\n"
                                         "127.0.7.1 echo.rebound.test echo\n");
    }
    void SetUp() override {
        if (!why_not_.empty())
            GTEST_SKIP() << "no private network namespace (" << why_not_
                         << "); name look-ups would reach the machine's resolver";
    }
    static std::string why_not_;
};
std::string OwnNetwork::why_not_;

// True once a responder on address:port echoes a probe sent from the same address.
bool answering(const char* address, int port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &a.sin_addr);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    a.sin_port = htons(static_cast<uint16_t>(port));
    uint8_t probe[16] = {0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 16, 0, 0, 0};
    bool answered = false;
    for (int attempt = 0; ok && attempt < 100 && !answered; ++attempt) {
        ::sendto(fd, probe, sizeof probe, 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
        pollfd p{fd, POLLIN, 0};
        answered = ::poll(&p, 1, 100) == 1;
    }
    ::close(fd);
    return answered;
}

TEST_F(OwnNetwork, NamesResolveAndTheLinesShowTheAddress) {
    struct Case {
        const char* host;
        const char* address; // what the address line and the document show
    };
    const Case cases[] = {
        {"localhost", "127.0.0.1"},
        {"echo.rebound.test", kNamedAddress},
        {"echo", kNamedAddress}, // an alias
    };
    for (const auto& c : cases) {
        ChildProcess server;
        ASSERT_TRUE(server.start(program_path("reboundsrv"),
                                 {"-h", c.address, "-p", std::to_string(kPort)}));
        ASSERT_TRUE(answering(c.address, kPort)) << c.address;
        const std::string metrics = "/tmp/rebound-names-" + std::to_string(::getpid()) + ".prom";
        const auto r = run_program("reboundcli", {"-h", c.host, "-c", "3", "--json", "-",
                                                  "--openmetrics", metrics, "--sendsize=64"});
        EXPECT_EQ(r.exit_code, 0) << c.host << ": " << r.err;
        const json d = json::parse(r.out, nullptr, false);
        ASSERT_FALSE(d.is_discarded()) << r.out;
        EXPECT_EQ(d["parameters"]["host"], c.host);
        EXPECT_EQ(d["responder"]["address"], c.address);
        EXPECT_EQ(d["summary"]["echoes_unique"], 3);
        const auto m = parse_openmetrics_file(metrics);
        ::unlink(metrics.c_str());
        ASSERT_TRUE(m.parsed) << m.error;
        EXPECT_EQ(json::parse(m.json)["rebound_probes_sent"]["samples"][0][1]["target"],
                  std::string(c.host) + ":" + std::to_string(kPort));

        // The line protocol names the dotted address, never the name.
        const auto lines = run_program("reboundcli", {"-h", c.host, "-c", "1", "--sendsize=64"});
        ASSERT_FALSE(lines.lines.empty());
        EXPECT_EQ(lines.lines[0], std::string("rebound_connect(): connaddr=create_sockaddrin("
                                              "AF_INET, ipaddr=") +
                                      c.address + ", ipport=" + std::to_string(kPort) + "):");
        server.signal(SIGTERM);
        server.wait();
    }
}

TEST_F(OwnNetwork, HostTextsThatAreRefused) {
    struct Case {
        std::string host;
        const char* message;
    };
    const Case cases[] = {
        {"missing.rebound.test", "has no IP address"},
        // Numeric shorthand the C library reads as another address (1.2.3 is 1.2.0.3).
        {"1.2.3", "'1.2.3' is not a dotted IPv4 address"},
        {"127.1", "is not a dotted IPv4 address"},
        {"0x7f.1", "is not a dotted IPv4 address"},
        {"2130706433", "is not a dotted IPv4 address"},
        {"010.0.0.1", "is not a dotted IPv4 address"}, // octal 8.0.0.1
        {"1.2.3.4.5", "is not a dotted IPv4 address"},
        {"256.1.1.1", "is not a dotted IPv4 address"},
        // A line end would print a forged line into the protocol.
        {"127.0.0.1\n2026/12/10 00:00:00.000000 rebound_connect():1 forged", "'127.0.0.1\\n2026"},
        {"localhost\r", "'localhost\\r' holds characters"},
        {"127.0.0.1 x", "holds characters"},
        {"", "the host is empty"},
    };
    for (const auto& c : cases) {
        const auto r = run_program("reboundcli", {"-h", c.host, "-c", "1"});
        EXPECT_EQ(r.exit_code, 2) << c.host;
        EXPECT_EQ(r.out, "") << c.host; // nothing on the protocol stream
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        // The message and the pointer to --help: two lines, whatever the text held.
        EXPECT_EQ(split_lines(r.err).size(), 2u) << r.err;
    }
    // The responder's bind address follows the same rule.
    for (const char* text : {"127.1", "1.2.3", "0x7f.0.0.1", "127.0.0.1\nx"}) {
        const auto r = run_program("reboundsrv", {"-h", text, "-p", std::to_string(kPort)});
        EXPECT_EQ(r.exit_code, 2) << text;
        EXPECT_EQ(r.out, "") << text;
    }
}

} // namespace
