// reboundcli's host texts: names resolved through the name services (localhost, and names from
// a hosts file of the test's own, in a network namespace of its own), the dotted address shown
// in the lines, and texts refused before anything is sent: shorthand numeric forms that the C
// library would read as another address, and texts that could forge lines.
#include "tests/support/child_process.h"
#include "tests/support/openmetrics_parse.h"
#include "tests/support/private_network_suite.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <csignal>
#include <fstream>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace testsupport;
using json = nlohmann::json;

namespace {

constexpr const char* kNamedAddress = "127.0.7.1";
constexpr const char* kNamed6 = "fd00:7::1";
constexpr int kPort = 33333; // the namespace is ours: the default port is free

class OwnNetwork : public PrivateNetworkSuite<OwnNetwork> {
  public:
    static constexpr const char* kHosts = "127.0.0.1 localhost\n"
                                          "127.0.7.1 echo.rebound.test echo\n"
                                          "fd00:7::1 six.rebound.test\n"
                                          "127.0.7.2 both.rebound.test\n"
                                          "fd00:7::1 both.rebound.test\n";
    // The name services read ::1 as 127.0.0.1 too: the IPv6 names get an address of their
    // own, on the namespace's loopback.
    static std::string prepare_network() {
        return run_ip({"-6", "addr", "add", std::string(kNamed6) + "/128", "dev", "lo", "nodad"});
    }
};

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

// The first address the name services give for `host`, numeric.
std::string first_address(const char* host) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &list) != 0) return "";
    char text[NI_MAXHOST] = "";
    ::getnameinfo(list->ai_addr, list->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST);
    ::freeaddrinfo(list);
    return text;
}

// Names of either family: -4 and -6 pick theirs, neither takes the first address given, and a
// name without an address of the family asked is refused.
TEST_F(OwnNetwork, NamesResolveToTheFamilyAsked) {
    ChildProcess server; // every address of both families
    ASSERT_TRUE(server.start(program_path("reboundsrv"), {"-p", std::to_string(kPort)}));
    ASSERT_TRUE(answering("127.0.0.1", kPort));
    struct Case {
        const char* host;
        const char* family;  // "", "-4" or "-6"
        std::string address; // in the first line; empty: refused
    };
    const Case cases[] = {
        {"six.rebound.test", "", kNamed6},
        {"six.rebound.test", "-6", kNamed6},
        {"six.rebound.test", "-4", ""},
        {"both.rebound.test", "-4", "127.0.7.2"},
        {"both.rebound.test", "-6", kNamed6},
        {"both.rebound.test", "", first_address("both.rebound.test")},
        {"echo.rebound.test", "-6", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + c.family);
        std::vector<std::string> args{"-h", c.host, "-c", "2", "--sendsize=64"};
        if (*c.family) args.push_back(c.family);
        const auto r = run_program("reboundcli", args);
        if (c.address.empty()) {
            EXPECT_EQ(r.exit_code, 2);
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find(std::string("has no IPv") + (c.family[1] == '4' ? "4" : "6") +
                                 " address"),
                      std::string::npos)
                << r.err;
            continue;
        }
        EXPECT_EQ(r.exit_code, 0) << r.err;
        ASSERT_FALSE(r.lines.empty());
        const bool v6 = c.address.find(':') != std::string::npos;
        EXPECT_EQ(r.lines[0], std::string("rebound_connect(): connaddr=create_sockaddrin") +
                                  (v6 ? "6(AF_INET6" : "(AF_INET") + ", ipaddr=" + c.address +
                                  ", ipport=" + std::to_string(kPort) + "):");
        EXPECT_NE(r.out.find("recvpkts=2"), std::string::npos);
    }
    server.signal(SIGTERM);
    server.wait();
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
