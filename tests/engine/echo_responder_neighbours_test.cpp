// reboundsrv next to other services: one forged datagram between it and a second responder or
// an echo service ends at the first bounce; datagrams sent to a broadcast address (on loopback
// and on a real subnet between two namespaces) get no echo, however many loops serve the port;
// the port is shared with no other socket.
#include "forged_udp.h"
#include "responder_counters.h"
#include "tests/support/child_process.h"
#include "tests/support/socat_echo.h"
#include "tests/support/udp_peer.h"
#include "veth_namespaces.h"

#include <arpa/inet.h>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr auto kWait = std::chrono::seconds(5);
constexpr int kWaitMs = 5000;

bool start_responder(ChildProcess& p, const std::vector<std::string>& args) {
    return p.start(program_path("reboundsrv"), args) && p.wait_for_output("listaddr.sin_port=");
}

std::vector<std::string> on_loopback(int port) {
    return {"-h", "127.0.0.1", "-p", std::to_string(port)};
}

// The counters line printed at the end of a run that SIGTERM stops.
Counters final_counters(ChildProcess& p) {
    p.signal(SIGTERM);
    EXPECT_TRUE(p.wait());
    const auto lines = counters_lines(p.err());
    EXPECT_FALSE(lines.empty()) << p.err();
    return lines.empty() ? Counters{} : lines.back();
}

TEST(Neighbours, OneForgedDatagramBetweenTwoResponders) {
    const int port_a = free_udp_port(), port_b = free_udp_port();
    ChildProcess a, b;
    ASSERT_TRUE(start_responder(a, on_loopback(port_a)));
    ASSERT_TRUE(start_responder(b, on_loopback(port_b)));
    ForgedUdp forge;
    ASSERT_TRUE(forge.ready()) << "raw sockets need root";
    // "From" B to A: A echoes to B, which refuses the echo, and there it ends.
    ASSERT_TRUE(forge.send("127.0.0.1", port_b, port_a, probe(1, 64, 64, 64)));
    ASSERT_TRUE(counters_when(b, [](const Counters& c) { return c.at("received") >= 1; }));
    const Counters ca = final_counters(a), cb = final_counters(b);
    EXPECT_EQ(ca.at("received"), 1);
    EXPECT_EQ(ca.at("echoed"), 1);
    EXPECT_EQ(cb.at("received"), 1);
    EXPECT_EQ(cb.at("echoed"), 0);
    EXPECT_EQ(cb.at("echo"), 1);
}

TEST(Neighbours, OneForgedDatagramBetweenAResponderAndAnEchoService) {
    if (!SocatEcho::installed()) GTEST_SKIP() << "socat is not installed";
    const SocatEcho echo;
    ASSERT_TRUE(echo.echoing()) << "socat did not start echoing";
    const int echo_port = echo.port();

    const int port = free_udp_port();
    ChildProcess responder;
    ASSERT_TRUE(start_responder(responder, on_loopback(port)));
    ForgedUdp forge;
    ASSERT_TRUE(forge.ready()) << "raw sockets need root";
    // The echo service bounces the responder's echo back once; the responder ends it there.
    ASSERT_TRUE(forge.send("127.0.0.1", echo_port, port, probe(1, 64, 64, 64)));
    ASSERT_TRUE(
        counters_when(responder, [](const Counters& c) { return c.at("received") >= 2; }));
    const Counters c = final_counters(responder);
    EXPECT_EQ(c.at("received"), 2);
    EXPECT_EQ(c.at("echoed"), 1);
    EXPECT_EQ(c.at("echo"), 1);
}

sockaddr_in address_of(const char* text, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    ::inet_pton(AF_INET, text, &a.sin_addr);
    return a;
}

bool send_probe(int fd, const char* to, int port, uint32_t seq) {
    const auto bytes = probe(seq, 64, 64, 64);
    const sockaddr_in a = address_of(to, port);
    return ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&a),
                    sizeof a) == ssize_t(bytes.size());
}

// The sequence number of the next datagram on `fd` within `limit_ms`; -1 when none comes.
long next_seq(int fd, int limit_ms) {
    pollfd p{fd, POLLIN, 0};
    unsigned char buffer[2048];
    if (::poll(&p, 1, limit_ms) != 1 || ::recv(fd, buffer, sizeof buffer, 0) < 8) return -1;
    return buffer[4] | buffer[5] << 8 | buffer[6] << 16 | long(buffer[7]) << 24;
}

// A UDP socket in `ns` that may send to broadcast addresses; -1 on failure.
int broadcast_socket(const std::string& ns) {
    const int fd = VethNamespaces::socket_in(ns, AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

TEST(Neighbours, NoEchoToABroadcastAndOneEchoPerDatagramWhateverTheLoops) {
    VethNamespaces net;
    ASSERT_EQ(net.error(), "");
    constexpr int kPort = 33333; // the namespaces are the test's own: every port is free
    for (const char* loops : {"1", "4"}) {
        SCOPED_TRACE(std::string("-j ") + loops);
        ChildProcess server; // in "near", bound to every address
        ASSERT_TRUE(server.start(VethNamespaces::kIp,
                                 VethNamespaces::run_in(net.near(), program_path("reboundsrv"),
                                                        {"-p", std::to_string(kPort), "-j", loops})));
        ASSERT_TRUE(server.wait_for_output("listaddr.sin_port="));
        const Fd near{broadcast_socket(net.near())}, far{broadcast_socket(net.far())};
        ASSERT_GE(near.fd, 0);
        ASSERT_GE(far.fd, 0);
        ForgedUdp forge(VethNamespaces::socket_in(net.near(), AF_INET, SOCK_RAW, IPPROTO_RAW));
        ASSERT_TRUE(forge.ready());

        ASSERT_TRUE(send_probe(near.fd, "127.255.255.255", kPort, 1));
        ASSERT_TRUE(send_probe(far.fd, VethNamespaces::kSubnetBroadcast, kPort, 2));
        ASSERT_TRUE(forge.send(VethNamespaces::kSubnetBroadcast, 40000, kPort,
                               probe(3, 64, 64, 64))); // a forged subnet-broadcast source
        ASSERT_TRUE(send_probe(far.fd, VethNamespaces::kNearAddress, kPort, 4));
        EXPECT_EQ(next_seq(far.fd, kWaitMs), 4); // the unicast probe's echo
        ASSERT_TRUE(counters_when(server, [](const Counters& c) { return c.at("received") >= 4; }));
        const Counters c = final_counters(server);
        EXPECT_EQ(c.at("received"), 4); // each datagram taken by one loop only
        EXPECT_EQ(c.at("to_broadcast"), 2);
        EXPECT_EQ(c.at("broadcast"), 1);
        EXPECT_EQ(c.at("send_failed"), 0);
        EXPECT_EQ(c.at("echoed"), 1);
        EXPECT_EQ(next_seq(far.fd, 0), -1);
        EXPECT_EQ(next_seq(near.fd, 0), -1);
    }
}

TEST(Neighbours, ASubnetAddedWhileServingHasItsBroadcastRefusedSoon) {
    VethNamespaces net;
    ASSERT_EQ(net.error(), "");
    constexpr int kPort = 33333;
    ChildProcess server;
    ASSERT_TRUE(server.start(VethNamespaces::kIp,
                             VethNamespaces::run_in(net.near(), program_path("reboundsrv"),
                                                    {"-p", std::to_string(kPort)})));
    ASSERT_TRUE(server.wait_for_output("listaddr.sin_port="));
    ASSERT_TRUE(net.add_subnet("10.98.0.1", "10.98.0.2")) << net.error();
    const Fd far{broadcast_socket(net.far())};
    ASSERT_GE(far.fd, 0);
    // The responder reads the local subnets again once its reading is a second old: until
    // then a broadcast to the new subnet may be answered, from then on never.
    long refused = 0, sent = 0;
    while (refused == 0 && ++sent <= 100) {
        ASSERT_TRUE(send_probe(far.fd, "10.98.0.255", kPort, uint32_t(sent)));
        const auto c =
            counters_when(server, [&](const Counters& c) { return c.at("received") >= sent; });
        ASSERT_TRUE(c);
        refused = c->at("to_broadcast");
        if (refused == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100)); // pacing
    }
    ASSERT_EQ(refused, 1);
    ASSERT_TRUE(send_probe(far.fd, "10.98.0.255", kPort, 0));
    const auto c = counters_when(server, [&](const Counters& c) { return c.at("received") > sent; });
    ASSERT_TRUE(c);
    EXPECT_EQ(c->at("to_broadcast"), 2);
}

// A UDP socket bound to 127.0.0.1:port, with SO_REUSEPORT when `shared`; -1 when the bind fails.
int bound_socket(int port, bool shared) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    if (shared) ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    const sockaddr_in a = address_of("127.0.0.1", port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(Neighbours, APortHeldByAnyoneIsRefusedAndNoneCanJoinTheResponder) {
    enum class holder { plain_socket, reuseport_socket, responder };
    for (const holder h : {holder::plain_socket, holder::reuseport_socket, holder::responder}) {
        for (const char* loops : {"1", "2"}) {
            SCOPED_TRACE(std::to_string(int(h)) + " -j " + loops);
            const int port = free_udp_port();
            ChildProcess first;
            Fd held{-1};
            if (h == holder::responder)
                ASSERT_TRUE(start_responder(first, {"-h", "127.0.0.1", "-p", std::to_string(port),
                                                    "-j", "2"}));
            else
                ASSERT_GE(held.fd = bound_socket(port, h == holder::reuseport_socket), 0);
            auto args = on_loopback(port);
            args.insert(args.end(), {"-j", loops});
            const auto second = run_program("reboundsrv", args, kWait);
            EXPECT_EQ(second.exit_code, 1);
            EXPECT_NE(second.err.find("Address already in use"), std::string::npos) << second.err;
            if (h == holder::responder) {
                // Nor can another socket of the same user join it through SO_REUSEPORT.
                const Fd joiner{bound_socket(port, true)};
                EXPECT_LT(joiner.fd, 0);
            }
        }
    }
}

} // namespace
