#include "engine/subnet_broadcasts.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(SubnetBroadcasts, AllHostBitsOneForPrefixesWithRoomForOne) {
    struct Case {
        uint32_t address, netmask;
        std::optional<uint32_t> broadcast;
    };
    const Case cases[] = {
        {0x0A630001, 0xFFFFFF00, 0x0A6300FF}, // 10.99.0.1/24
        {0x7F000001, 0xFF000000, 0x7FFFFFFF}, // 127.0.0.1/8
        {0xC0A80105, 0xFFFFFFFC, 0xC0A80107}, // /30: two hosts and a broadcast address
        {0xC0A80105, 0xFFFFFFFE, std::nullopt}, // /31: both addresses are hosts
        {0xC0A80105, 0xFFFFFFFF, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(prefix_broadcast(c.address, c.netmask), c.broadcast) << std::hex << c.address;

    const auto local = local_subnet_broadcasts();
    ASSERT_TRUE(local);
    EXPECT_TRUE(std::binary_search(local->begin(), local->end(), 0x7FFFFFFFu));
    EXPECT_FALSE(std::binary_search(local->begin(), local->end(), 0x7F000001u));
}

} // namespace
