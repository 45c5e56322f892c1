// Addresses turned into text and back: raw addresses, address records of every family, the
// addresses of real sockets, and reverse-lookup names.
#include "address/address_text.h"
#include "address/sockaddr.h"
#include "net/bind_listen.h"
#include "tests/support/udp_peer.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// ---- raw addresses ----

struct TextCase {
    int family;
    const char* text;
    int result;
    const char* back; // addr_to_text of the raw bytes, when result is 1
};

TEST(TextToAddr, ConvertsTextsOfTheFamilyAndRefusesOthers) {
    const TextCase cases[] = {
        {AF_INET, "10.0.0.1", 1, "10.0.0.1"},
        {AF_INET, "255.255.255.255", 1, "255.255.255.255"},
        {AF_INET, "0.0.0.0", 1, "0.0.0.0"},
        {AF_INET6, "::1", 1, "::1"},
        {AF_INET6, "2001:DB8:0:0:0:0:0:1", 1, "2001:db8::1"}, // the standard text is compressed
        {AF_INET6, "::ffff:10.0.0.1", 1, "::ffff:10.0.0.1"},
        {AF_INET, "1.2.3", 0, nullptr},
        {AF_INET, "256.1.1.1", 0, nullptr},
        {AF_INET, "::1", 0, nullptr},
        {AF_INET, "localhost", 0, nullptr},
        {AF_INET, "", 0, nullptr},
        {AF_INET6, "10.0.0.1", 0, nullptr},
        {AF_INET6, "1:2:3:4:5:6:7:8:9", 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::array<uint8_t, 16> raw{};
        EXPECT_EQ(text_to_addr(c.family, c.text, raw.data()), c.result);
        if (c.result != 1) continue;
        char text[ADDRTEXT_IPV6];
        ASSERT_EQ(addr_to_text(c.family, raw.data(), text, sizeof text), text);
        EXPECT_STREQ(text, c.back);
    }
}

TEST(TextToAddr, NullTextAndUnsupportedFamilySetErrno) {
    uint8_t raw[16];
    errno = 0;
    EXPECT_EQ(text_to_addr(AF_INET, nullptr, raw), 0);
    EXPECT_EQ(errno, 12);
    errno = 0;
    EXPECT_EQ(text_to_addr(AF_UNIX, nullptr, raw), 0);
    EXPECT_EQ(errno, 12);
    errno = 0;
    EXPECT_EQ(text_to_addr(AF_UNIX, "10.0.0.1", raw), -1);
    EXPECT_EQ(errno, 10047);
    errno = 0;
    EXPECT_EQ(text_to_addr(12345, "10.0.0.1", raw), -1);
    EXPECT_EQ(errno, 10047);
}

TEST(AddrToText, FailsForOtherFamiliesAndTooSmallBuffers) {
    const uint8_t raw[16] = {10, 0, 0, 1};
    char text[ADDRTEXT_IPV6];
    errno = 0;
    EXPECT_EQ(addr_to_text(AF_UNIX, raw, text, sizeof text), nullptr);
    EXPECT_EQ(errno, 10047);
    char small[8];
    EXPECT_EQ(addr_to_text(AF_INET, raw, small, sizeof small), nullptr); // "10.0.0.1" needs 9
    char exact[9];
    EXPECT_STREQ(addr_to_text(AF_INET, raw, exact, sizeof exact), "10.0.0.1");
}

// ---- address records ----

sockaddr_in6 in6(const char* text, int port) {
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET6, text, &a.sin6_addr);
    return a;
}

sockaddr_un un(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, path.data(), std::min(path.size(), sizeof a.sun_path));
    return a;
}

TEST(SockaddrToText, EachFamily) {
    const sockaddr_in v4 = create_sockaddrin(AF_INET, "10.0.0.1", "80");
    const sockaddr_in6 v6 = in6("::1", 80);
    const sockaddr_in6 v6full = in6("2001:db8:1234:5678:9abc:def0:1234:5678", 65535);
    const sockaddr_un local = un("/tmp/rebound.sock");
    sockaddr other{};
    other.sa_family = AF_APPLETALK;

    struct Case {
        const sockaddr* addr;
        const char* text; // null: no text
    };
    const Case cases[] = {
        {reinterpret_cast<const sockaddr*>(&v4), "10.0.0.1:80"},
        {reinterpret_cast<const sockaddr*>(&v6), "[::1]:80"},
        {reinterpret_cast<const sockaddr*>(&v6full),
         "[2001:db8:1234:5678:9abc:def0:1234:5678]:65535"},
        {reinterpret_cast<const sockaddr*>(&local), "/tmp/rebound.sock"},
        {&other, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "other family");
        char buf[128];
        std::memset(buf, 'x', sizeof buf);
        char* r = sockaddr_to_text(c.addr, buf, sizeof buf);
        if (c.text == nullptr) {
            EXPECT_EQ(r, nullptr);
            continue;
        }
        ASSERT_EQ(r, buf);
        EXPECT_STREQ(buf, c.text);
        // The whole buffer was cleared: nothing of the old contents stays behind the text.
        for (size_t i = std::strlen(buf); i < sizeof buf; ++i)
            ASSERT_EQ(buf[i], '\0') << i;
    }
    EXPECT_EQ(sockaddr_to_text(nullptr, nullptr, 0), nullptr);
}

TEST(SockaddrToText, TextIsCutToTheBufferAndStaysTerminated) {
    const sockaddr_in v4 = create_sockaddrin(AF_INET, "10.0.0.1", "80");
    char buf[6];
    EXPECT_STREQ(sockaddrin_to_text(v4, buf, sizeof buf), "10.0.");

    // A full 108-byte path has no terminator of its own.
    const std::string p108(108, 'p');
    char big[200];
    EXPECT_EQ(std::string(sockaddrun_to_text(un(p108), big, sizeof big)), p108);
    char ten[10];
    EXPECT_EQ(std::string(sockaddrun_to_text(un(p108), ten, sizeof ten)), p108.substr(0, 9));
    EXPECT_EQ(sockaddr_to_text(reinterpret_cast<const sockaddr*>(&v4), buf, 0), nullptr);
}

TEST(SockaddrToText, FamilyMembersReadTheRecordAsTheirOwnFamily) {
    sockaddr_in v4 = create_sockaddrin(AF_INET, "192.0.2.7", "9");
    v4.sin_family = 0; // the IPv4 member ignores the family field
    char buf[64];
    EXPECT_STREQ(sockaddrin_to_text(v4, buf, sizeof buf), "192.0.2.7:9");
    sockaddr_un local = un("/run/x");
    local.sun_family = AF_INET;
    EXPECT_STREQ(sockaddrun_to_text(local, buf, sizeof buf), "/run/x");
}

// ---- addresses of real sockets ----

class SocketNames : public ::testing::Test {
  protected:
    void TearDown() override {
        for (int s : socks_)
            sock_close(s);
    }
    int32_t keep(int32_t s) {
        EXPECT_GT(s, 0);
        socks_.push_back(s);
        return s;
    }
    std::vector<int32_t> socks_;
};

TEST_F(SocketNames, BoundAndConnectedIpv4Datagram) {
    testsupport::UdpPeer peer;
    const int32_t s = keep(udp_create(AF_INET));
    const sockaddr_in local = create_sockaddrin(AF_INET, "127.0.0.1", "0");
    ASSERT_EQ(sock_bind(s, reinterpret_cast<const sockaddr*>(&local)), 0);

    char buf[64];
    ASSERT_EQ(sockname_to_text(s, buf, sizeof buf), buf);
    const std::string name = buf;
    EXPECT_EQ(name.rfind("127.0.0.1:", 0), 0u) << name;
    EXPECT_GT(std::stoi(name.substr(10)), 0);

    EXPECT_EQ(peername_to_text(s, buf, sizeof buf), nullptr); // not connected
    const sockaddr_in to =
        create_sockaddrin(AF_INET, "127.0.0.1", std::to_string(peer.port()).c_str());
    ASSERT_EQ(::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    ASSERT_EQ(peername_to_text(s, buf, sizeof buf), buf);
    EXPECT_EQ(std::string(buf), "127.0.0.1:" + std::to_string(peer.port()));
}

TEST_F(SocketNames, Ipv6AndLocalSockets) {
    const int32_t s6 = keep(udp_create(AF_INET6));
    const sockaddr_in6 any6 = in6("::1", 0);
    if (::bind(s6, reinterpret_cast<const sockaddr*>(&any6), sizeof any6) != 0)
        GTEST_SKIP() << "IPv6 loopback ::1 is not available on this machine";
    char buf[128];
    ASSERT_EQ(sockname_to_text(s6, buf, sizeof buf), buf);
    EXPECT_EQ(std::string(buf).rfind("[::1]:", 0), 0u) << buf;

    const std::string path = "/tmp/rebound_addrtext_" + std::to_string(::getpid());
    ::unlink(path.c_str());
    const int32_t su = keep(unix_create(AF_UNIX));
    const sockaddr_un local = create_sockaddrun(AF_UNIX, path.c_str());
    ASSERT_EQ(unix_bind(su, reinterpret_cast<const sockaddr*>(&local)), 0);
    ASSERT_EQ(sockname_to_text(su, buf, sizeof buf), buf);
    EXPECT_EQ(std::string(buf), path);
    ::unlink(path.c_str());
}

TEST_F(SocketNames, InvalidHandleGivesNull) {
    char buf[64];
    EXPECT_EQ(sockname_to_text(-1, buf, sizeof buf), nullptr);
    EXPECT_EQ(peername_to_text(987654, buf, sizeof buf), nullptr);
}

// ---- reverse-lookup names ----

TEST(ReverseName, Table) {
    const struct {
        const char* address;
        const char* name;
    } cases[] = {
        {"192.0.2.1", "1.2.0.192.in-addr.arpa"},
        {"10.20.30.40", "40.30.20.10.in-addr.arpa"},
        {"127.0.0.1", "1.0.0.127.in-addr.arpa"},
        {"0.0.0.0", "0.0.0.0.in-addr.arpa"},
        {"not an address", "255.255.255.255.in-addr.arpa"},
        {"", "255.255.255.255.in-addr.arpa"},
    };
    for (const auto& c : cases) {
        char buf[64];
        EXPECT_STREQ(reverse_name(c.address, buf, sizeof buf), c.name) << c.address;
    }
    char small[8];
    EXPECT_STREQ(reverse_name("192.0.2.1", small, sizeof small), "1.2.0.1");
}

} // namespace
