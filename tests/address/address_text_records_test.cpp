// The IPv6 and local address records built from text.
#include "address/address_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

in6_addr v6(const char* text) {
    in6_addr a{};
    EXPECT_EQ(inet_pton(AF_INET6, text, &a), 1) << text;
    return a;
}

struct In6Case {
    const char* host;
    const char* port;
    const char* address; // expected, as IPv6 text
    uint16_t port_value;
};

TEST(CreateSockaddrIn6, HostAndPortTexts) {
    const In6Case cases[] = {
        {nullptr, "5001", "::", 5001},
        {"", "5001", "::", 5001},
        {"::", "80", "::", 80},
        {"::1", "80", "::1", 80}, // only the exact "::" means unspecified
        {"2001:db8::ff00:42:8329", "443", "2001:db8::ff00:42:8329", 443},
        {"::ffff:127.0.0.1", "1", "::ffff:127.0.0.1", 1},
        {"127.0.0.1", "80", "::", 80}, // not an IPv6 text: left unspecified
        {"localhost", "80", "::", 80}, // no name look-up
        {"::1", "0x10", "::1", 0},     // atoi stops at the 'x'
        {"::1", "70000", "::1", 4464}, // low 16 bits
        {"::1", "-1", "::1", 65535},
        {"::1", "http", "::1", 0},
        {"::1", nullptr, "::1", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("host=") + (c.host ? c.host : "(null)") +
                     " port=" + (c.port ? c.port : "(null)"));
        const sockaddr_in6 a = create_sockaddrin6(AF_INET6, c.host, c.port);
        EXPECT_EQ(a.sin6_family, AF_INET6);
        EXPECT_EQ(ntohs(a.sin6_port), c.port_value);
        EXPECT_EQ(a.sin6_flowinfo, 0u);
        EXPECT_EQ(a.sin6_scope_id, 0u);
        const in6_addr want = v6(c.address);
        EXPECT_EQ(std::memcmp(&a.sin6_addr, &want, sizeof want), 0);
    }
    static_assert(sizeof(sockaddr_in6) == 28);
}

TEST(CreateSockaddrIn6, StoresTheFamilyItIsGiven) {
    EXPECT_EQ(create_sockaddrin6(AF_INET, "::1", "1").sin6_family, AF_INET);
}

TEST(CreateSockaddrUn, PathIsCopiedAndZeroPadded) {
    const sockaddr_un a = create_sockaddrun(AF_UNIX, "/tmp/rebound.sock");
    EXPECT_EQ(a.sun_family, AF_UNIX);
    EXPECT_STREQ(a.sun_path, "/tmp/rebound.sock");
    for (size_t i = std::strlen("/tmp/rebound.sock"); i < sizeof a.sun_path; ++i)
        ASSERT_EQ(a.sun_path[i], '\0') << i;
    static_assert(sizeof(sockaddr_un) == 110);

    const sockaddr_un none = create_sockaddrun(AF_UNIX, nullptr);
    EXPECT_EQ(none.sun_path[0], '\0');
}

TEST(CreateSockaddrUn, LongPathsAreCutAt108) {
    const std::string p107(107, 'a'), p108(108, 'b'), p200(200, 'c');
    EXPECT_EQ(std::string(create_sockaddrun(AF_UNIX, p107.c_str()).sun_path), p107);

    // 108 characters fill the path without a terminator: exactly what the platform accepts.
    const sockaddr_un full = create_sockaddrun(AF_UNIX, p108.c_str());
    EXPECT_EQ(std::string(full.sun_path, sizeof full.sun_path), p108);
    const sockaddr_un cut = create_sockaddrun(AF_UNIX, p200.c_str());
    EXPECT_EQ(std::string(cut.sun_path, sizeof cut.sun_path), p200.substr(0, 108));
}

} // namespace
