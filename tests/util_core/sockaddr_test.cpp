#include "address/sockaddr.h"

#include <gtest/gtest.h>

namespace {

TEST(CreateSockaddrin, BuildsFamilyPortAndAddressWithoutLookups) {
    struct Case {
        const char* host;
        const char* port;
        uint32_t address; // host order
        uint16_t port_value;
    };
    const Case cases[] = {
        {nullptr, "5001", 0, 5001},
        {"", "5001", 0, 5001},
        {"0.0.0.0", "5001", 0, 5001},
        {"0.0.0.0garbage", "1", 0, 1}, // only the first seven characters count
        {"127.0.0.1", "33333", 0x7F000001, 33333},
        {"192.168.1.2", "80", 0xC0A80102, 80},
        {"localhost", "7", 0xFFFFFFFF, 7},    // not an address, and no name look-up
        {"127.0.0.1", "0x10", 0x7F000001, 0}, // atoi stops at the 'x'
        {"127.0.0.1", "70000", 0x7F000001, 4464},
        {"127.0.0.1", "-1", 0x7F000001, 65535},
        {"127.0.0.1", "port", 0x7F000001, 0},
    };
    for (const auto& c : cases) {
        const sockaddr_in a = create_sockaddrin(AF_INET, c.host, c.port);
        EXPECT_EQ(a.sin_family, AF_INET);
        EXPECT_EQ(ntohl(a.sin_addr.s_addr), c.address) << (c.host ? c.host : "(null)");
        EXPECT_EQ(ntohs(a.sin_port), c.port_value) << c.port;
        for (unsigned char z : a.sin_zero)
            EXPECT_EQ(z, 0);
    }
}

} // namespace
