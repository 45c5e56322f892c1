// The one address type: literals of both families in and endpoint texts out, the IPv4-mapped
// form taken back to IPv4, and texts refused rather than guessed.
#include "address/net_address.h"

#include <gtest/gtest.h>

namespace {

TEST(NetAddress, LiteralsGiveTheirFamilyAndEndpointText) {
    struct Case {
        const char* text;
        int family;
        const char* endpoint; // with port 33333
        const char* address;  // the address alone
    };
    const Case cases[] = {
        {"127.0.0.1", AF_INET, "127.0.0.1:33333", "127.0.0.1"},
        {"0.0.0.0", AF_INET, "0.0.0.0:33333", "0.0.0.0"},
        {"::1", AF_INET6, "[::1]:33333", "::1"},
        {"[::1]", AF_INET6, "[::1]:33333", "::1"},
        {"::", AF_INET6, "[::]:33333", "::"},
        {"2001:DB8:0:0::1", AF_INET6, "[2001:db8::1]:33333", "2001:db8::1"}, // standard form
        {"fe80::1%lo", AF_INET6, "[fe80::1%lo]:33333", "fe80::1%lo"},
        {"[fe80::1%1]", AF_INET6, "[fe80::1%lo]:33333", "fe80::1%lo"}, // index 1 is lo
        {"::ffff:127.0.0.1", AF_INET6, "[::ffff:127.0.0.1]:33333", "::ffff:127.0.0.1"},
    };
    for (const auto& c : cases) {
        net_address a;
        ASSERT_EQ(parse_address_literal(c.text, 33333, &a), "") << c.text;
        EXPECT_EQ(a.family(), c.family) << c.text;
        EXPECT_EQ(a.port(), 33333) << c.text;
        EXPECT_EQ(endpoint_text(a), c.endpoint) << c.text;
        EXPECT_EQ(address_only_text(a), c.address) << c.text;
        // What a socket call gives back is the same address.
        EXPECT_EQ(net_address::from_record(a.record(), a.length()), a) << c.text;
    }
}

TEST(NetAddress, TextsThatAreNoAddressAreRefusedWithTheReason) {
    struct Case {
        const char* text;
        const char* why;
    };
    const Case cases[] = {
        {"", "empty"},
        {"::1::", "is not an IPv6 address"},
        {"[::1", "unmatched bracket"},
        {"::1]", "unmatched bracket"},
        {"[]", "is not an IPv6 address"},
        {"[127.0.0.1]", "is not an IPv6 address"},
        {"fe80::1", "needs a zone"},
        {"ff02::1", "needs a zone"}, // link-local multicast
        {"fe80::1%", "names no interface"},
        {"fe80::1%no-such-if", "names no interface"},
        {"fe80::1%999999", "names no interface"},
        {"::1%lo", "only a link-local address takes a zone"},
        {"127.1", "is not an IPv4 or IPv6 address"},
        {"localhost", "is not an IPv4 or IPv6 address"},
    };
    for (const auto& c : cases) {
        net_address a;
        const std::string why = parse_address_literal(c.text, 1, &a);
        EXPECT_NE(why.find(c.why), std::string::npos) << c.text << ": " << why;
        EXPECT_EQ(a.family(), 0) << c.text; // left as it was
    }
}

TEST(NetAddress, MappedAddressesAreTheirIpv4Address) {
    net_address mapped, v4, v6;
    ASSERT_EQ(parse_address_literal("::ffff:10.1.2.3", 5000, &mapped), "");
    ASSERT_EQ(parse_address_literal("10.1.2.3", 5000, &v4), "");
    ASSERT_EQ(parse_address_literal("::1", 5000, &v6), "");
    EXPECT_TRUE(mapped.is_ipv4_mapped());
    EXPECT_EQ(mapped.unmapped(), v4);
    EXPECT_EQ(endpoint_text(mapped.unmapped()), "10.1.2.3:5000");
    EXPECT_FALSE(v6.is_ipv4_mapped());
    EXPECT_EQ(v6.unmapped(), v6);
    EXPECT_FALSE(mapped == v4); // different families are different addresses
    EXPECT_EQ(endpoint_text(net_address{}), "");
    EXPECT_EQ(net_address::from_record(v6.record(), plat::kInetAddrLen).family(), 0); // cut short
}

TEST(NetAddress, EndpointOfAHostTextBracketsIpv6Only) {
    EXPECT_EQ(endpoint_of("127.0.0.1", 7), "127.0.0.1:7");
    EXPECT_EQ(endpoint_of("echo.example", 7), "echo.example:7");
    EXPECT_EQ(endpoint_of("::1", 7), "[::1]:7");
    EXPECT_EQ(endpoint_of("[::1]", 7), "[::1]:7");
}

// HOST[:PORT] texts split as endpoint_of writes them, so every text it writes splits back.
TEST(NetAddress, HostPortTextsSplitIntoTheirParts) {
    struct Case {
        const char* text;
        const char* host;
        const char* port; // nullptr: none named
        const char* refusal = "";
    } cases[] = {
        {"127.0.0.1:33333", "127.0.0.1", "33333"},
        {"127.0.0.1", "127.0.0.1", nullptr},
        {"echo.example:7", "echo.example", "7"},
        {"[::1]:33333", "::1", "33333"},
        {"[::1]", "::1", nullptr},
        {"::1", "::1", nullptr}, // more than one ':' unbracketed: an address alone
        {"[fe80::1%lo]:7", "fe80::1%lo", "7"},
        {"127.0.0.1:", "127.0.0.1", ""}, // an empty port is the caller's to refuse
        {"[::1", "", nullptr, "an IPv6 address in brackets needs its ']'"},
        {"[::1]7", "", nullptr, "only ':PORT' may follow the ']'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        host_port_parts parts;
        EXPECT_EQ(split_host_port(c.text, &parts), c.refusal);
        if (*c.refusal) continue;
        EXPECT_EQ(parts.host, c.host);
        ASSERT_EQ(parts.port.has_value(), c.port != nullptr);
        if (!c.port) continue;
        EXPECT_EQ(*parts.port, c.port);
        if (*c.port) {
            EXPECT_EQ(endpoint_of(parts.host, std::stoi(std::string(*parts.port))), c.text);
        }
    }
}

} // namespace
