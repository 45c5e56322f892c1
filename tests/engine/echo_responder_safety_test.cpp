// reboundsrv under attack, on loopback only: forged sources that would start an echo loop or
// aim echoes at system services, sources outside the trusted ranges asking for large echoes
// (the amplification a forged source would buy), and the cap on every echo.
#include "engine/probe_header.h"
#include "forged_udp.h"
#include "responder_counters.h"
#include "tests/support/child_process.h"
#include "tests/support/output_grammar.h"
#include "tests/support/udp_peer.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr auto kWait = std::chrono::seconds(5);

class Safety : public ::testing::Test {
  protected:
    // Starts reboundsrv on 127.0.0.1 (or, with host "", on every address) and a free port.
    void start(std::vector<std::string> extra, const std::string& host = "127.0.0.1") {
        port_ = free_udp_port();
        std::vector<std::string> args{"-p", std::to_string(port_)};
        if (!host.empty()) args.insert(args.begin(), {"-h", host});
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(server_.start(program_path("reboundsrv"), args));
        ASSERT_TRUE(server_.wait_for_output("listaddr.sin")); // the second start line
    }
    Counters counters_after(long received) {
        const auto c = counters_when(server_, [&](const Counters& c) {
            return c.at("received") >= received &&
                   c.at("echoed") + c.at("send_failed") + c.at("refused") + c.at("rate_limited") >=
                       received;
        });
        EXPECT_TRUE(c) << "no counters line";
        return c ? *c : Counters{};
    }
    std::vector<std::string> stop_and_read() {
        server_.signal(SIGTERM);
        EXPECT_TRUE(server_.wait());
        EXPECT_EQ(server_.exit_code(), 0);
        return server_.out_lines();
    }
    ChildProcess server_;
    int port_ = 0;
};

TEST_F(Safety, ForgedLoopAndServiceSourcesAreRefusedAndTheResponderStaysIdle) {
    start({});
    ForgedUdp forge;
    ASSERT_TRUE(forge.ready()) << "raw sockets need root";
    constexpr int kOwn = -1; // the responder's own port
    struct Case {
        const char* source;
        int port;
        const char* reason; // nullptr: answered
    };
    const Case cases[] = {
        {"127.0.0.1", kOwn, "own_address"},
        {"127.0.0.2", kOwn, "own_port"},
        {"10.9.8.7", kOwn, "own_port"},
        {"127.0.0.1", 7, "low_port"},
        {"127.0.0.1", 53, "low_port"},
        {"127.0.0.1", 0, "low_port"},
        {"127.0.0.1", 1023, "low_port"},
        {"255.255.255.255", 40000, "broadcast"},
        {"127.255.255.255", 40000, "broadcast"}, // the loopback subnet's
        {"224.0.0.1", 40000, "multicast"},
        {"239.255.255.250", 50000, "multicast"},
        {"240.0.0.1", 40000, "reserved"},
        {"0.1.2.3", 40000, "reserved"}, // (a raw socket fills in a source of 0.0.0.0)
        {"127.0.0.1", 1024, nullptr /* the first port that is no system service's */},
    };
    std::map<std::string, long> expected;
    long answered = 0;
    for (const auto& c : cases) {
        ASSERT_TRUE(
            forge.send(c.source, c.port == kOwn ? port_ : c.port, port_, probe(9, 64, 64, 64)));
        if (c.reason)
            ++expected[c.reason];
        else
            ++answered;
    }
    // A real client is still served, after the forged datagrams (one queue, in order).
    UdpPeer client;
    client.send_to(port_, probe(1, 32, 32, 32));
    ASSERT_TRUE(client.receive(kWait));
    ++answered;

    const long total = long(std::size(cases)) + 1;
    auto c = counters_after(total);
    for (const auto& [reason, n] : expected)
        EXPECT_EQ(c[reason], n) << reason;
    EXPECT_EQ(c["refused"], total - answered);
    EXPECT_EQ(c["echoed"], answered);
    EXPECT_EQ(c["send_failed"], 0); // refused before any send was tried

    // Idle: one more exchange is all the responder has seen since (a loop would keep counting).
    client.send_to(port_, probe(2, 32, 32, 32));
    ASSERT_TRUE(client.receive(kWait));
    c = counters_after(total + 1);
    EXPECT_EQ(c["received"], total + 1);
    EXPECT_EQ(c["echoed"], answered + 1);

    // Refused datagrams print nothing; the answered ones their two lines each.
    const auto lines = stop_and_read();
    EXPECT_EQ(grammar::unmatched(lines), std::vector<std::string>{});
    EXPECT_EQ(grammar::of_kind(lines, "lrecv").size(), size_t(answered + 1));
    EXPECT_EQ(grammar::of_kind(lines, "lsend").size(), size_t(answered + 1));
}

TEST_F(Safety, EveryDatagramEndsInExactlyOneCounter) {
    // Loopback is trusted only at 127.0.0.1, 198.51.100.0/24 (which the kernel will not send to
    // from loopback) is trusted, anyone else gets nothing (--rate 0).
    start({"--allow", "127.0.0.1/32", "--allow", "198.51.100.0/24", "--rate", "0"});
    ForgedUdp forge;
    ASSERT_TRUE(forge.ready()) << "raw sockets need root";
    UdpPeer client;
    auto marked = probe(4, 64, 64, 64);
    pkthdr_add_flags(marked.data(), kProbeFlagEcho);
    const std::vector<uint8_t> empty;
    struct Case {
        const char* source;
        int port; // 0: the client's own socket
        const std::vector<uint8_t>& bytes;
        const char* counter;
    };
    const auto good = probe(1, 64, 64, 64);
    const Case cases[] = {
        {"127.0.0.1", 0, good, "echoed"},
        {"127.0.0.1", 0, empty, "empty"},
        {"127.0.0.1", 0, marked, "echo"},
        {"127.0.0.1", 0, good, "echoed"},
        {"127.0.0.1", 7, good, "low_port"},
        {"240.0.0.1", 40000, good, "reserved"},
        {"127.0.0.2", 40000, good, "rate_limited"},
        {"127.0.0.2", 40000, empty, "rate_limited"},
        {"198.51.100.7", 40000, good, "send_failed"},
    };
    std::map<std::string, long> expected{{"echoed", 0}, {"send_failed", 0}, {"rate_limited", 0}};
    for (const auto& c : cases) {
        if (c.port == 0)
            client.send_to(port_, c.bytes);
        else
            ASSERT_TRUE(forge.send(c.source, c.port, port_, c.bytes));
        ++expected[c.counter];
    }
    const long total = long(std::size(cases));
    counters_after(total);
    server_.signal(SIGTERM);
    ASSERT_TRUE(server_.wait());
    const auto final = counters_lines(server_.err());
    ASSERT_FALSE(final.empty());
    const Counters& c = final.back();
    EXPECT_EQ(c.at("received"), total);
    EXPECT_EQ(c.at("refused"), 4);
    for (const auto& [counter, n] : expected)
        EXPECT_EQ(c.at(counter), n) << counter;
}

TEST_F(Safety, UntrustedSourcesGetNoMoreThanTheySentAtALimitedRate) {
    constexpr long kRate = 10;
    start({"--allow", "192.0.2.0/24", "--allow", "10.0.0.0/8", "--rate", std::to_string(kRate)});
    UdpPeer client; // 127.0.0.1: outside both trusted ranges
    const auto began = std::chrono::steady_clock::now();
    struct Case {
        size_t request;
        uint32_t asked;
        size_t echo;
    };
    const Case cases[] = {{16, 65507, 16}, {100, 1000, 100}, {1000, 100, 100}, {4, 0, 4}};
    for (const auto& c : cases) {
        auto request = probe(5, uint32_t(c.request), c.asked, c.request);
        client.send_to(port_, request);
        const auto echo = client.receive(kWait);
        ASSERT_TRUE(echo) << c.request << "/" << c.asked;
        ASSERT_EQ(echo->bytes.size(), c.echo) << c.request << "/" << c.asked;
        pkthdr_add_flags(request.data(), kProbeFlagEcho);
        EXPECT_TRUE(std::equal(echo->bytes.begin(), echo->bytes.end(), request.begin()));
    }

    // A burst far beyond the rate: each echo still no larger than its request.
    constexpr long kBurst = 60;
    for (long i = 0; i < kBurst; ++i)
        client.send_to(port_, probe(uint32_t(i), 32, 65507, 32));
    const long total = long(std::size(cases)) + kBurst;
    const auto c = counters_after(total);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_EQ(c.at("received"), total);
    EXPECT_EQ(c.at("echoed") + c.at("rate_limited"), total);
    // A burst of one second's allowance, then the rate: over the test's own span, never more.
    EXPECT_LE(c.at("echoed"), kRate + long(kRate * seconds) + 1) << seconds << " s";
    EXPECT_GE(c.at("echoed"), kRate);
    for (long i = long(std::size(cases)); i < c.at("echoed"); ++i) {
        const auto echo = client.receive(kWait);
        ASSERT_TRUE(echo);
        EXPECT_EQ(echo->bytes.size(), 32u);
    }
}

TEST_F(Safety, MaxEchoCapsTrustedSourcesToo) {
    // Every --allow counts, not only the last one given.
    start({"--max-echo", "100", "--allow", "127.0.0.0/8", "--allow", "10.0.0.0/8"});
    UdpPeer client; // 127.0.0.1: trusted (an echo larger than its request shows it)
    struct Case {
        size_t request;
        uint32_t asked;
        size_t echo;
    };
    const Case cases[] = {{50, 1000, 100}, {500, 500, 100}, {50, 80, 80}, {16, 0, 16}};
    for (const auto& c : cases) {
        client.send_to(port_, probe(3, uint32_t(c.request), c.asked, c.request));
        const auto echo = client.receive(kWait);
        ASSERT_TRUE(echo) << c.request << "/" << c.asked;
        EXPECT_EQ(echo->bytes.size(), c.echo) << c.request << "/" << c.asked;
    }
}

// A UDP socket on 127.0.0.1 that can send to any loopback address and tells where an answer
// came from.
struct AddressedPeer {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    AddressedPeer() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~AddressedPeer() { ::close(fd); }
    // Sends a probe to address:port and returns the address the echo came from ("" if none).
    std::string exchange(const char* address, int port) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(port));
        ::inet_pton(AF_INET, address, &to.sin_addr);
        const auto p = probe(1, 16, 16, 16);
        ::sendto(fd, p.data(), p.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        char buf[64];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        if (::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len) < 0)
            return "";
        char text[INET_ADDRSTRLEN];
        return ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    }
};

TEST_F(Safety, BoundToEveryAddressItAnswersFromTheAddressAsked) {
    start({}, "");
    AddressedPeer client;
    for (const char* address : {"127.0.0.2", "127.0.0.1", "127.3.2.1"})
        EXPECT_EQ(client.exchange(address, port_), address);
}

} // namespace

// The same rules over IPv6, on a responder of both families: forged sources from its own
// address and port, system ports, and the sources the kernel itself drops (multicast, and
// IPv4-mapped addresses such as ::ffff:127.0.0.1, which would pass for an IPv4 peer).
TEST_F(Safety, ForgedIpv6SourcesAreRefusedLikeTheirIpv4Kin) {
    start({}, "");
    ForgedUdp forge;
    ASSERT_TRUE(forge.ready()) << "raw sockets need root";
    constexpr int kOwn = -1;
    struct Case {
        const char* source;
        int port;
        const char* reason; // nullptr: answered; "-": refused or dropped by the kernel
    };
    const Case cases[] = {
        {"::1", kOwn, "own_address"},
        {"fd00::9", kOwn, "own_port"},
        {"::1", 7, "low_port"},
        {"::1", 0, "low_port"},
        {"fd00::9", 1023, "low_port"},
        {"ff02::1", 40000, "-"}, // multicast: the kernel drops these itself
        {"ff05::2", 40000, "-"},
        // Judged as 127.0.0.1 (at an IPv6 destination the responder's own IPv4 address is not
        // known: any source at its port is refused) ...
        {"::ffff:127.0.0.1", kOwn, "own_port"},
        {"::ffff:127.0.0.1", 7, "low_port"},
        // ... and an IPv6 packet from an IPv4-mapped source comes from no host.
        {"::ffff:127.0.0.1", 40000, "reserved"},
        {"::1", 1024, nullptr},
        {"fd00::9", 40000, nullptr},
    };
    std::map<std::string, long> expected;
    long answered = 0;
    for (const auto& c : cases) {
        ASSERT_TRUE(
            forge.send(c.source, c.port == kOwn ? port_ : c.port, port_, probe(9, 64, 64, 64)))
            << c.source;
        if (!c.reason)
            ++answered;
        else if (std::string(c.reason) != "-")
            ++expected[c.reason];
    }
    // A real client after them all: once its echo is back, every datagram before it was decided.
    const int fd = ::socket(AF_INET6, SOCK_DGRAM, 0);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_addr = in6addr_loopback;
    to.sin6_port = htons(uint16_t(port_));
    const auto p = probe(1, 32, 32, 32);
    ::sendto(fd, p.data(), p.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char echo[64];
    EXPECT_EQ(::recv(fd, echo, sizeof echo, 0), 32);
    ::close(fd);
    ++answered;

    long sure = answered;
    for (const auto& [reason, n] : expected)
        sure += n;
    auto c = counters_after(sure);
    for (const auto& [reason, n] : expected)
        EXPECT_EQ(c[reason], n) << reason;
    EXPECT_EQ(c["echoed"], answered); // nothing forged beyond the answered rows got an echo
    EXPECT_EQ(c["received"], c["echoed"] + c["refused"]);
    const auto lines = stop_and_read();
    EXPECT_EQ(grammar::unmatched(lines), std::vector<std::string>{});
    for (const auto& l : grammar::of_kind(lines, "lsend"))
        EXPECT_EQ(grammar::endpoint_family(l), "ipv6") << l;
}

// An IPv6 source outside --allow: its echo is never larger than its request; one inside gets
// what it asks for.
TEST_F(Safety, UntrustedIpv6SourcesGetNoMoreThanTheySent) {
    struct Case {
        const char* allow;
        size_t request;
        uint32_t asked;
        size_t echo;
    };
    const Case cases[] = {
        {"127.0.0.0/8", 32, 65507, 32}, // ::1 outside
        {"127.0.0.0/8", 100, 50, 50},
        {"::1/128", 32, 1000, 1000}, // inside
        {"::/0", 32, 1000, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.allow);
        ChildProcess server; // one responder per trusted range
        const int port = free_udp_port();
        ASSERT_TRUE(server.start(program_path("reboundsrv"),
                                 {"-h", "::1", "-p", std::to_string(port), "--allow", c.allow}));
        ASSERT_TRUE(server.wait_for_output("listaddr.sin"));
        const int fd = ::socket(AF_INET6, SOCK_DGRAM, 0);
        sockaddr_in6 to{};
        to.sin6_family = AF_INET6;
        to.sin6_addr = in6addr_loopback;
        to.sin6_port = htons(uint16_t(port));
        const auto p = probe(2, uint32_t(c.request), c.asked, c.request);
        ::sendto(fd, p.data(), p.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::vector<char> echo(2000);
        EXPECT_EQ(::recv(fd, echo.data(), echo.size(), 0), ssize_t(c.echo));
        ::close(fd);
    }
}
