#include "platform/interface_addresses.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(InterfaceAddresses, ListsTheLoopbackWithItsPrefix) {
    const auto found = plat::interface_ipv4_addresses();
    ASSERT_TRUE(found);
    EXPECT_NE(std::find_if(found->begin(), found->end(),
                           [](const plat::interface_ipv4& a) {
                               return a.address == 0x7F000001 && a.netmask == 0xFF000000;
                           }),
              found->end());
}

} // namespace
