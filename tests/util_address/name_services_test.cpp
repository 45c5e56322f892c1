// Service and protocol look-ups against the machine's own services and protocols databases
// (netbase), and the behaviour of every name service when the socket service does not start.
#include "address/name_services.h"
#include "net/socket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ServiceToPort, NamesAndNumberTexts) {
    const struct {
        const char* protocol;
        const char* service;
        int port;
    } cases[] = {
        {"udp", "domain", 53},
        {"tcp", "http", 80},
        {"tcp", "www", 80}, // an alias finds the entry too
        {nullptr, "ssh", 22},
        {"udp", "0x10", 16}, // base 0: hexadecimal
        {"udp", "010", 8},   // base 0: octal
        {"udp", "1", 1},
        {"udp", "65535", 65535},
        {"udp", "65536", -1},
        {"udp", "0", -1},
        {"udp", "12ab", -1},
        {"udp", "-5", -1},
        {"udp", "", -1},
        {"udp", "99999999999999999999", -1},
        {"udp", "no-such-service", -1},
        {"udp", nullptr, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.service ? c.service : "(null)");
        EXPECT_EQ(service_to_port(c.protocol, c.service), c.port);
    }
}

TEST(ProtocolToNumber, NamesAndNumberTexts) {
    const struct {
        const char* protocol;
        int number;
    } cases[] = {
        {"udp", 17},  {"tcp", 6},    {"UDP", 17}, {"ipv6-icmp", 58}, {"0x11", 17},
        {"255", 255}, {"1", 1},      {"256", -1}, {"0", -1},         {"-17", -1},
        {"17x", -1},  {"bogus", -1}, {"", -1},    {nullptr, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.protocol ? c.protocol : "(null)");
        EXPECT_EQ(protocol_to_number(c.protocol), c.number);
    }
}

TEST(PortToService, NameOrDecimalText) {
    char buf[64];
    EXPECT_STREQ(port_to_service("udp", 53, buf, sizeof buf), "domain");
    EXPECT_STREQ(port_to_service("tcp", 80, buf, sizeof buf), "http");
    EXPECT_STREQ(port_to_service("udp", 65000, buf, sizeof buf), "65000");
    // The number text is limited to 6 bytes with its terminator.
    EXPECT_STREQ(port_to_service("udp", 1234567, buf, sizeof buf), "12345");
    // A name that does not fit is not cut into another name.
    char small[4];
    EXPECT_EQ(port_to_service("udp", 53, small, sizeof small), nullptr);
}

TEST(NameCopies, AliasesAndProtocolNames) {
    char buf[64];
    EXPECT_STREQ(service_alias_by_name("tcp", "http", buf, sizeof buf), "www");
    EXPECT_STREQ(service_alias_by_port("tcp", 80, buf, sizeof buf), "www");
    EXPECT_STREQ(service_alias_by_name("udp", "discard", buf, sizeof buf), "sink");
    EXPECT_EQ(service_alias_by_name("udp", "domain", buf, sizeof buf), nullptr); // no alias
    EXPECT_EQ(service_alias_by_name("udp", "no-such-service", buf, sizeof buf), nullptr);
    EXPECT_EQ(service_alias_by_port("udp", 65000, buf, sizeof buf), nullptr);

    EXPECT_STREQ(number_to_protocol(17, buf, sizeof buf), "udp");
    EXPECT_STREQ(number_to_protocol(58, buf, sizeof buf), "ipv6-icmp");
    EXPECT_EQ(number_to_protocol(254, buf, sizeof buf), nullptr);
    EXPECT_STREQ(protocol_alias_by_name("udp", buf, sizeof buf), "UDP");
    EXPECT_STREQ(protocol_alias_by_number(6, buf, sizeof buf), "TCP");
    EXPECT_EQ(protocol_alias_by_name("bogus", buf, sizeof buf), nullptr);
    EXPECT_EQ(protocol_alias_by_number(254, buf, sizeof buf), nullptr);
}

TEST(NameCopies, BufferIsClearedOverTheNameOnlyAndMustHoldIt) {
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    ASSERT_STREQ(number_to_protocol(17, buf, sizeof buf), "udp");
    EXPECT_EQ(buf[4], 'x'); // cleared over name and terminator, nothing more
    char exact[4], short_by_one[3];
    EXPECT_STREQ(number_to_protocol(17, exact, sizeof exact), "udp");
    EXPECT_EQ(number_to_protocol(17, short_by_one, sizeof short_by_one), nullptr);
}

class StartupFails : public ::testing::Test {
  protected:
    void SetUp() override { plat::fail_startup_for_test(true); }
    void TearDown() override { plat::fail_startup_for_test(false); }
};

TEST_F(StartupFails, EveryNameServiceReportsIt) {
    char buf[HOSTNAME_SIZE];
    char slots[2][HOSTADDR_SIZE];
    EXPECT_EQ(service_to_port("udp", "domain"), -1);
    EXPECT_EQ(service_to_port("udp", "53"), -1);
    EXPECT_EQ(protocol_to_number("udp"), -1);
    EXPECT_EQ(port_to_service("udp", 53, buf, sizeof buf), nullptr);
    EXPECT_EQ(service_alias_by_name("tcp", "http", buf, sizeof buf), nullptr);
    EXPECT_EQ(service_alias_by_port("tcp", 80, buf, sizeof buf), nullptr);
    EXPECT_EQ(number_to_protocol(17, buf, sizeof buf), nullptr);
    EXPECT_EQ(protocol_alias_by_name("udp", buf, sizeof buf), nullptr);
    EXPECT_EQ(protocol_alias_by_number(17, buf, sizeof buf), nullptr);
    EXPECT_EQ(resolve_host("localhost", buf), nullptr);
    EXPECT_EQ(resolve_addr("127.0.0.1", buf), nullptr);
    EXPECT_EQ(resolve_host_all("localhost", slots, 2), SOCKERR_STARTUP);
}

} // namespace
