// Datagram transfers against a real UDP peer on 127.0.0.1.
#include "address/sockaddr.h"
#include "net/bind_listen.h"
#include "net/transfer.h"
#include "tests/support/udp_peer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::UdpPeer;

sockaddr_in loopback(int port) {
    return create_sockaddrin(AF_INET, "127.0.0.1", std::to_string(port).c_str());
}

const sockaddr* as_addr(const sockaddr_in& a) {
    return reinterpret_cast<const sockaddr*>(&a);
}

// A library datagram socket bound to 127.0.0.1 on a free port.
class UdpTransfer : public ::testing::Test {
  protected:
    void SetUp() override {
        sock_ = udp_create(AF_INET);
        ASSERT_GE(sock_, 0);
        const sockaddr_in any = loopback(0);
        ASSERT_EQ(udp_bind(sock_, as_addr(any)), 0);
        sockaddr_in own{};
        socklen_t len = sizeof own;
        ASSERT_EQ(::getsockname(sock_, reinterpret_cast<sockaddr*>(&own), &len), 0);
        port_ = ntohs(own.sin_port);
    }
    void TearDown() override {
        if (sock_ >= 0) udp_close(sock_);
    }

    int32_t sock_ = -1;
    int port_ = 0;
};

TEST_F(UdpTransfer, SendReachesThePeerFromTheBoundPort) {
    UdpPeer peer;
    const sockaddr_in to = loopback(peer.port());
    const std::string text = "one datagram";

    EXPECT_EQ(udp_send(sock_, as_addr(to), text.data(), int(text.size()), 1.0), int(text.size()));
    EXPECT_EQ(udp_blocksend(sock_, as_addr(to), "x", 1), 1);

    const auto first = peer.receive(std::chrono::seconds(5));
    ASSERT_TRUE(first);
    EXPECT_EQ(std::string(first->bytes.begin(), first->bytes.end()), text);
    EXPECT_EQ(first->from_port, port_);
    const auto second = peer.receive(std::chrono::seconds(5));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->bytes, std::vector<uint8_t>{'x'});
}

TEST_F(UdpTransfer, ReceiveClearsTheBufferAndReportsTheSender) {
    UdpPeer peer;
    const std::vector<uint8_t> payload(40, 0x5a);
    ASSERT_TRUE(peer.send_to(port_, payload));

    std::vector<uint8_t> buf(512, 0xee);
    sockaddr_in from{};
    EXPECT_EQ(udp_recv(sock_, reinterpret_cast<sockaddr*>(&from), buf.data(), 512, 5.0), 40);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 40), payload);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 40, buf.end()), std::vector<uint8_t>(472, 0));
    EXPECT_EQ(from.sin_family, AF_INET);
    EXPECT_EQ(ntohs(from.sin_port), peer.port());
    EXPECT_EQ(ntohl(from.sin_addr.s_addr), INADDR_LOOPBACK);
}

TEST_F(UdpTransfer, ReceiveRunsOutOfTimeOnAnIdleSocket) {
    char buf[16] = "untouched";
    sockaddr_in from{};
    EXPECT_EQ(udp_recv(sock_, reinterpret_cast<sockaddr*>(&from), buf, sizeof buf, 0.2), -10060);
    // Nothing is cleared before a datagram is there to be read.
    EXPECT_STREQ(buf, "untouched");
}

TEST_F(UdpTransfer, BlockingReceiveWaitsForTheDatagram) {
    UdpPeer peer;
    std::thread late_sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        peer.send_to(port_, {1, 2, 3});
    });
    uint8_t buf[8];
    sockaddr_in from{};
    const int32_t got = udp_blockrecv(sock_, reinterpret_cast<sockaddr*>(&from), buf, sizeof buf);
    late_sender.join();
    EXPECT_EQ(got, 3);
    EXPECT_EQ(buf[2], 3);
    EXPECT_EQ(ntohs(from.sin_port), peer.port());
}

TEST_F(UdpTransfer, FailuresAreMappedWithTheirSets) {
    const sockaddr_in to = loopback(UdpPeer().port());
    char buf[8];

    errno = 0;
    EXPECT_EQ(udp_blocksend(-1, as_addr(to), "x", 1), -10009);
    EXPECT_EQ(errno, 10009);
    EXPECT_EQ(udp_blockrecv(-1, nullptr, buf, sizeof buf), -10009);
    // The waiting members fail in the readiness call, which has no code to report.
    EXPECT_EQ(udp_send(-1, as_addr(to), "x", 1, 1.0), SOCKERR_FAIL);
    EXPECT_EQ(udp_recv(-1, nullptr, buf, sizeof buf, 1.0), SOCKERR_FAIL);

    // A record of another family is refused by an IPv4 socket: 10047 is in the send set.
    sockaddr_in foreign = to;
    foreign.sin_family = AF_INET6;
    EXPECT_EQ(udp_send(sock_, as_addr(foreign), "x", 1, 1.0), -10047);
    EXPECT_EQ(errno, 10047);

    const std::vector<char> oversized(70000, 'o');
    EXPECT_EQ(udp_blocksend(sock_, as_addr(to), oversized.data(), int(oversized.size())), -10040);
}

} // namespace
