// Host look-ups: localhost as every machine has it, then names this test puts in place in a
// hosts file of its own (a private mount namespace), so no look-up ever leaves the machine.
#include "address/name_services.h"
#include "tests/support/private_namespaces.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ResolveHost, LocalhostAndDottedTexts) {
    char buf[HOSTADDR_SIZE];
    EXPECT_STREQ(resolve_host("localhost", buf), "127.0.0.1");
    EXPECT_STREQ(resolve_host("127.0.0.42", buf), "127.0.0.42"); // a dotted text needs no look-up
    char slots[3][HOSTADDR_SIZE];
    ASSERT_GE(resolve_host_all("localhost", slots, 3), 1);
    EXPECT_STREQ(slots[0], "127.0.0.1");
    EXPECT_EQ(resolve_host(nullptr, buf), nullptr);
    EXPECT_EQ(resolve_host_all(nullptr, slots, 3), 0);
}

class OwnHostsFile : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        why_not_ =
            testsupport::isolate_name_files("127.0.0.1 localhost\n"
                                            "127.0.5.1 multi.rebound.test\n"
                                            "127.0.5.2 multi.rebound.test\n"
                                            "127.0.5.3 multi.rebound.test\n"
                                            "127.0.6.1 single.rebound.test other.rebound.test\n");
    }
    void SetUp() override {
        if (!why_not_.empty())
            GTEST_SKIP() << "cannot give the test its own /etc/hosts (" << why_not_
                         << "); host look-ups of made-up names would reach the real resolver";
    }
    static std::string why_not_;
};
std::string OwnHostsFile::why_not_;

TEST_F(OwnHostsFile, ResolveHostGivesTheFirstAddress) {
    char buf[HOSTADDR_SIZE];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_STREQ(resolve_host("multi.rebound.test", buf), "127.0.5.1");
    EXPECT_STREQ(resolve_host("other.rebound.test", buf), "127.0.6.1"); // by alias
    EXPECT_STREQ(resolve_host("localhost", buf), "127.0.0.1");
    EXPECT_EQ(resolve_host("missing.rebound.test", buf), nullptr);
    EXPECT_EQ(buf[0], '\0'); // cleared even when nothing is found
}

TEST_F(OwnHostsFile, ResolveHostAllFillsSlotsInEntryOrder) {
    char slots[5][HOSTADDR_SIZE];
    std::memset(slots, 'x', sizeof slots);
    EXPECT_EQ(resolve_host_all("multi.rebound.test", slots, 2), 2);
    EXPECT_STREQ(slots[0], "127.0.5.1");
    EXPECT_STREQ(slots[1], "127.0.5.2");
    EXPECT_EQ(slots[2][0], 'x'); // only count slots are touched

    std::memset(slots, 'x', sizeof slots);
    EXPECT_EQ(resolve_host_all("multi.rebound.test", slots, 5), 3);
    EXPECT_STREQ(slots[2], "127.0.5.3");
    for (int i = 3; i < 5; ++i)
        for (char c : slots[i])
            ASSERT_EQ(c, '\0'); // unused slots are cleared

    EXPECT_EQ(resolve_host_all("single.rebound.test", slots, 5), 1);
    EXPECT_EQ(resolve_host_all("missing.rebound.test", slots, 5), 0);
    EXPECT_EQ(resolve_host_all("multi.rebound.test", slots, 0), 0);
}

TEST_F(OwnHostsFile, ResolveAddrGivesTheOfficialName) {
    char buf[HOSTNAME_SIZE];
    EXPECT_STREQ(resolve_addr("127.0.6.1", buf), "single.rebound.test");
    EXPECT_STREQ(resolve_addr("127.0.5.2", buf), "multi.rebound.test");
    EXPECT_STREQ(resolve_addr("127.0.0.1", buf), "localhost");
    EXPECT_EQ(resolve_addr("127.0.9.9", buf), nullptr);
    EXPECT_EQ(buf[0], '\0');
}

} // namespace
