#include "util/ipv4_text.h"

#include <gtest/gtest.h>

namespace {

TEST(IsIpv4Text, AcceptsDottedQuadsWithoutLeadingZeros) {
    for (const char* text : {"192.168.1.1", "10.0.0.255", "0.0.0.0", "255.255.255.255", "1.2.3.0",
                             "0.1.2.3", "100.20.3.199"})
        EXPECT_EQ(is_ipv4_text(text), 1) << text;
}

TEST(IsIpv4Text, RejectsEverythingElse) {
    for (const char* text :
         {"256.1.1.1", "1.2.3.256", "1.2.3",    "1..2.3",    "1.2.3.4567", "1.2.3.4.5", "01.2.3.4",
          "1.2.3.04",  "00.0.0.0",  "1.2.3.",   ".1.2.3",    "",           "a.b.c.d",   "1.2.3.-1",
          "1.2.3.+1",  " 1.2.3.4",  "1.2.3.4 ", "1.2.3.25a", "1.2.3.4/8",  "999.1.1.1"})
        EXPECT_EQ(is_ipv4_text(text), 0) << text;
    EXPECT_EQ(is_ipv4_text(nullptr), 0);
}

TEST(Ipv4InSubnet, MatchesUnderThePrefixMask) {
    const struct {
        const char* subnet;
        const char* address;
        int in;
    } cases[] = {
        {"10.1.0.0/16", "10.1.200.7", 1},
        {"10.1.0.0/16", "10.2.0.1", 0},
        {"10.1.0.0/16", "10.1.2. 3", 0}, // a blank
        {"10.1.0.0 /16", "10.1.2.3", 0},
        {"10.1.0.0/16", "10.1.2.x", 0},
        {"0.0.0.0/0", "200.1.2.3", 1}, // empty mask matches everything
        {"1.2.3.4/32", "1.2.3.4", 1},
        {"1.2.3.4/32", "1.2.3.5", 0},
        {"1.2.3.4/40", "1.2.3.5", 0}, // beyond 32: all bits
        {"10.0.0.0/31", "10.0.0.1", 1},
        {"10.0.0.0/31", "10.0.0.2", 0},
        {"10.0.0.0/8", "10.255.255.255/24", 1}, // the address's prefix is ignored
        {"10.1.0.0/16", "10.0.256.0", 1},       // 256 in the third part carries into the second
        {"10.1.0.0", "10.1.0.0", 0},            // no prefix length
        {"10.1.0.0/", "10.1.0.0", 0},           // empty prefix length
        {"10.1/16", "10.1.0.0", 0},             // fewer than three '.'
        {"10.1.0.0/16", "10.1", 0},
        {"10/8.0.0.0", "10.0.0.0", 0},           // '/' before the fourth part
        {"99999999999.0.0.0/8", "255.0.0.0", 1}, // an oversized part saturates, no overflow
    };
    for (const auto& c : cases)
        EXPECT_EQ(ipv4_in_subnet(c.subnet, c.address), c.in) << c.subnet << " " << c.address;
    EXPECT_EQ(ipv4_in_subnet(nullptr, "1.2.3.4"), 0);
    EXPECT_EQ(ipv4_in_subnet("1.2.3.4/8", nullptr), 0);
}

} // namespace
