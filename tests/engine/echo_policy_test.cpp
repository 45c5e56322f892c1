// The responder's decisions without sockets: trusted ranges, the per-datagram plan (refusals,
// echo sizes, the bytes an echo carries) and the per-source rate.
#include "engine/echo_policy.h"
#include "engine/probe_header.h"
#include "engine/rate_limiter.h"
#include "tests/support/udp_peer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

TEST(AddressRange, ParsesCidrBlocksAndRefusesWhatItWouldHaveToGuess) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t network, mask;
    };
    const Case cases[] = {
        {"10.0.0.0/8", true, 0x0A000000, 0xFF000000},
        {"192.168.1.7", true, 0xC0A80107, 0xFFFFFFFF},
        {"192.168.1.7/32", true, 0xC0A80107, 0xFFFFFFFF},
        {"0.0.0.0/0", true, 0, 0},
        {"10.1.2.3/8", false, 0, 0}, // host bits set
        {"10.0.0.0/33", false, 0, 0},
        {"10.0.0.0/-1", false, 0, 0},
        {"10.0.0.0/", false, 0, 0},
        {"10.0.0.0/8x", false, 0, 0},
        {"10.0.0/8", false, 0, 0},
        {"256.0.0.0/8", false, 0, 0},
        {" 10.0.0.0/8", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto r = parse_ipv4_range(c.text);
        ASSERT_EQ(r.has_value(), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(r->network, c.network) << c.text;
        EXPECT_EQ(r->mask, c.mask) << c.text;
    }
    EXPECT_TRUE(range_contains(kLoopbackRange, 0x7F123456));
    EXPECT_FALSE(range_contains(kLoopbackRange, 0x80000001));
}

sockaddr_in source(const char* ip, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

constexpr int kPort = 33333;

TEST(EchoPlan, RefusalsEchoSizesAndCopiedBytes) {
    echo_policy bound; // bound to 127.0.0.1:33333, default trust and cap
    bound.own_port = kPort;
    bound.own_address = 0x7F000001;
    echo_policy every = bound; // bound to every address: the datagram's destination counts
    every.own_address = 0;
    echo_policy capped = bound;
    capped.max_echo = 100;
    echo_policy on_subnet = every; // on 10.99.0.0/24 as well
    on_subnet.subnet_broadcasts = {0x0A6300FF};

    struct Case {
        const char* what;
        const echo_policy& policy;
        const char* ip;
        int port;
        uint32_t destination;
        size_t size; // request bytes (a probe asking `asked`)
        uint32_t asked;
        echo_verdict verdict;
        echo_refusal refusal;
        int32_t echo, copied;
    };
    using V = echo_verdict;
    using R = echo_refusal;
    const Case cases[] = {
        {"as asked", bound, "127.0.0.1", 40000, 0, 100, 1000, V::echo, R::none, 1000, 100},
        {"cut", bound, "127.0.0.1", 40000, 0, 1000, 100, V::echo, R::none, 100, 100},
        {"at least a header", bound, "127.0.0.1", 40000, 0, 64, 3, V::echo, R::none, 16, 16},
        {"negative ask", bound, "127.0.0.1", 40000, 0, 64, 0xFFFFFFFF, V::echo, R::none, 16, 16},
        {"largest payload", bound, "127.0.0.1", 40000, 0, 64, 70000, V::echo, R::none, 65507, 64},
        {"capped", capped, "127.0.0.1", 40000, 0, 64, 1000, V::echo, R::none, 100, 64},
        {"untrusted: no more than sent", bound, "10.0.0.1", 40000, 0, 16, 65507, V::echo, R::none,
         16, 16},
        {"untrusted: short request", bound, "10.0.0.1", 40000, 0, 4, 0, V::echo, R::none, 4, 4},
        {"empty", bound, "127.0.0.1", 40000, 0, 0, 0, V::empty, R::empty, 0, 0},
        {"own address", bound, "127.0.0.1", kPort, 0, 64, 64, V::refused, R::own_address, 0, 0},
        {"own port elsewhere", bound, "127.0.0.9", kPort, 0, 64, 64, V::refused, R::own_port, 0, 0},
        {"own address, any bound", every, "127.0.0.2", kPort, 0x7F000002, 64, 64, V::refused,
         R::own_address, 0, 0},
        {"own port, any bound", every, "127.0.0.1", kPort, 0x7F000002, 64, 64, V::refused,
         R::own_port, 0, 0},
        {"empty but refused", bound, "127.0.0.1", 53, 0, 0, 0, V::refused, R::low_port, 0, 0},
        {"port 0", bound, "127.0.0.1", 0, 0, 64, 64, V::refused, R::low_port, 0, 0},
        {"port 1023", bound, "127.0.0.1", 1023, 0, 64, 64, V::refused, R::low_port, 0, 0},
        {"port 1024", bound, "127.0.0.1", 1024, 0, 64, 64, V::echo, R::none, 64, 64},
        {"broadcast", bound, "255.255.255.255", 40000, 0, 64, 64, V::refused, R::broadcast, 0, 0},
        {"multicast low", bound, "224.0.0.0", 40000, 0, 64, 64, V::refused, R::multicast, 0, 0},
        {"multicast high", bound, "239.255.255.255", 40000, 0, 64, 64, V::refused, R::multicast, 0,
         0},
        {"above multicast", bound, "240.0.0.1", 40000, 0, 64, 64, V::refused, R::reserved, 0, 0},
        {"this network", bound, "0.0.0.0", 40000, 0, 64, 64, V::refused, R::reserved, 0, 0},
        {"this network's last", bound, "0.255.255.255", 40000, 0, 64, 64, V::refused,
         R::reserved, 0, 0},
        {"subnet broadcast", on_subnet, "10.99.0.255", 40000, 0x0A630001, 64, 64, V::refused,
         R::broadcast, 0, 0},
        {"next to it", on_subnet, "10.99.0.254", 40000, 0x0A630001, 64, 64, V::echo, R::none, 64,
         64},
        {"to limited broadcast", every, "127.0.0.1", 40000, 0xFFFFFFFF, 64, 64, V::refused,
         R::to_broadcast, 0, 0},
        {"to subnet broadcast", on_subnet, "10.99.0.2", 40000, 0x0A6300FF, 64, 64, V::refused,
         R::to_broadcast, 0, 0},
        {"to a group", every, "10.99.0.2", 40000, 0xEFFFFFFA, 64, 64, V::refused, R::to_multicast,
         0, 0},
        {"to itself on the subnet", on_subnet, "10.99.0.2", 40000, 0x0A630001, 64, 64, V::echo,
         R::none, 64, 64},
    };
    for (const auto& c : cases) {
        auto bytes = testsupport::probe(0x01020304, uint32_t(c.size), c.asked, c.size);
        const echo_plan p = plan_echo(c.policy, {bytes, source(c.ip, c.port), c.destination});
        EXPECT_EQ(p.verdict, c.verdict) << c.what;
        EXPECT_EQ(p.refusal, c.refusal) << c.what;
        EXPECT_EQ(p.echo_size, c.echo) << c.what;
        EXPECT_EQ(p.copied, c.copied) << c.what;
    }
}

// The rules over IPv6: the same refusals where IPv6 has the kind, an IPv4-mapped source judged
// as its IPv4 address, and trust by the IPv6 ranges.
TEST(EchoPlan, Ipv6SourcesAndMappedOnes) {
    echo_policy bound; // bound to [::1]:33333
    bound.own_port = kPort;
    ASSERT_EQ(inet_pton(AF_INET6, "::1", &bound.own_address6), 1);
    echo_policy every = bound; // every address of both families: the destination counts
    every.own_address6 = {};
    echo_policy wide = every; // fd00::/8 trusted too
    wide.trusted6.push_back(*parse_ipv6_range("fd00::/8"));

    struct Case {
        const char* what;
        const echo_policy& policy;
        const char* ip;
        int port;
        const char* destination; // "" unknown; an IPv4 one is mapped, as a socket gives it
        echo_refusal refusal;
        int32_t echo; // a 32-byte probe asking 1000
    };
    using R = echo_refusal;
    const Case cases[] = {
        {"trusted", bound, "::1", 40000, "", R::none, 1000},
        {"untrusted: no more than sent", bound, "fd00::1", 40000, "", R::none, 32},
        {"trusted by --allow", wide, "fd00::1", 40000, "::1", R::none, 1000},
        {"own address", bound, "::1", kPort, "", R::own_address, 0},
        {"own port elsewhere", bound, "fd00::1", kPort, "", R::own_port, 0},
        {"own address, any bound", every, "fd00::2", kPort, "fd00::2", R::own_address, 0},
        {"own port, any bound", every, "::1", kPort, "fd00::2", R::own_port, 0},
        {"system port", bound, "::1", 53, "", R::low_port, 0},
        {"port 0", bound, "::1", 0, "", R::low_port, 0},
        {"multicast source", bound, "ff02::1", 40000, "", R::multicast, 0},
        {"unspecified source", bound, "::", 40000, "", R::reserved, 0},
        {"to a group", every, "::1", 40000, "ff02::1", R::to_multicast, 0},
        // An IPv4 peer of a socket of both families, in an IPv4 packet.
        {"mapped, trusted as 127.0.0.1", every, "::ffff:127.0.0.1", 40000, "127.0.0.1", R::none,
         1000},
        {"mapped, untrusted", every, "::ffff:10.0.0.1", 40000, "127.0.0.1", R::none, 32},
        {"mapped own address", every, "::ffff:127.0.0.1", kPort, "127.0.0.1", R::own_address, 0},
        {"mapped broadcast", every, "::ffff:255.255.255.255", 40000, "127.0.0.1", R::broadcast, 0},
        {"mapped system port", every, "::ffff:127.0.0.1", 7, "127.0.0.1", R::low_port, 0},
        // The same source in an IPv6 packet comes from no host.
        {"mapped in an IPv6 packet", every, "::ffff:127.0.0.1", 40000, "::1", R::reserved, 0},
    };
    for (const auto& c : cases) {
        auto bytes = testsupport::probe(7, 32, 1000, 32);
        echo_request request{bytes, {}};
        sockaddr_in6 from{};
        from.sin6_family = AF_INET6;
        from.sin6_port = htons(uint16_t(c.port));
        ASSERT_EQ(inet_pton(AF_INET6, c.ip, &from.sin6_addr), 1) << c.what;
        request.source = from;
        in_addr v4{};
        if (inet_pton(AF_INET, c.destination, &v4) == 1) {
            request.destination = ntohl(v4.s_addr);
        } else if (*c.destination) {
            ASSERT_EQ(inet_pton(AF_INET6, c.destination, &request.destination6), 1) << c.what;
        }
        const echo_plan p = plan_echo(c.policy, request);
        EXPECT_EQ(p.refusal, c.refusal) << c.what;
        EXPECT_EQ(p.echo_size, c.echo) << c.what;
    }
}

TEST(AddressRange, Ipv6RangesAndEitherFamilyByItsText) {
    struct Case {
        const char* text;
        bool ok;
        const char* inside;  // an address the range holds
        const char* outside; // one it does not
    };
    const Case cases[] = {
        {"::1/128", true, "::1", "::2"},
        {"::1", true, "::1", "::"},
        {"fd00::/8", true, "fdff::1", "fe00::1"},
        {"2001:db8::/33", true, "2001:db8:7fff::1", "2001:db8:8000::"},
        {"::/0", true, "ff02::1", nullptr},
        {"fd00::1/8", false, nullptr, nullptr}, // host bits set
        {"::1/129", false, nullptr, nullptr},
        {"::1/", false, nullptr, nullptr},
        {"::1::/64", false, nullptr, nullptr},
        {"fd00::/8 ", false, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        const auto r = parse_ipv6_range(c.text);
        ASSERT_EQ(r.has_value(), c.ok) << c.text;
        in6_addr a{};
        if (c.inside && inet_pton(AF_INET6, c.inside, &a) == 1) {
            EXPECT_TRUE(range_contains(*r, a)) << c.text << " " << c.inside;
        }
        if (c.outside && inet_pton(AF_INET6, c.outside, &a) == 1) {
            EXPECT_FALSE(range_contains(*r, a)) << c.text << " " << c.outside;
        }
    }
    ip_ranges both;
    EXPECT_TRUE(add_ip_range("10.0.0.0/8", &both));
    EXPECT_TRUE(add_ip_range("fd00::/8", &both));
    EXPECT_FALSE(add_ip_range("10.0.0.0/8:", &both));
    EXPECT_EQ(both.v4.size(), 1u);
    EXPECT_EQ(both.v6.size(), 1u);
}

// Marked echoes, and stamps where the request asks for them and the echo can hold them.
TEST(EchoPlan, EchoesAreMarkedAndAMarkedDatagramIsNeverAnswered) {
    echo_policy policy;
    policy.own_port = kPort;
    struct Case {
        const char* what;
        uint32_t flags; // word 0 of the request
        size_t size;
        bool trusted;
        echo_refusal refusal;
        int32_t echo;
        bool marked;
        bool stamped = false;
    };
    using R = echo_refusal;
    const Case cases[] = {
        {"a probe", 0, 64, true, R::none, 64, true},
        {"an echo", kProbeFlagEcho, 64, true, R::echo, 0, false},
        {"an echo, untrusted", kProbeFlagEcho | kProbeFlagWantStamps, 64, false, R::echo, 0, false},
        {"asking for stamps", kProbeFlagWantStamps, 64, true, R::none, 64, true, true},
        {"asking for stamps, untrusted", kProbeFlagWantStamps, 64, false, R::none, 64, true, true},
        // The echo is cut to the request's size for an untrusted source: too short for stamps.
        {"asking for stamps, echo too short", kProbeFlagWantStamps, 24, false, R::none, 24, true},
        // A trusted source gets the echo size it asks for, stamps included.
        {"asking for stamps, short request", kProbeFlagWantStamps, 20, true, R::none, 64, true,
         true},
        {"flags beyond the known ones", 0xFFFFFFFEu, 64, true, R::none, 64, true, true},
        {"one word", kProbeFlagEcho, 4, false, R::echo, 0, false},
        // Shorter than a word: no flags to read, an echo as ever; padded to a header, it is
        // marked, else it goes out as it came.
        {"three bytes", kProbeFlagEcho, 3, true, R::none, 16, true},
        {"three bytes, untrusted", kProbeFlagEcho, 3, false, R::none, 3, false},
        {"four bytes, untrusted", 0, 4, false, R::none, 4, true},
    };
    for (const auto& c : cases) {
        auto bytes = testsupport::probe(1, 64, 64, 64);
        pkthdr_set(bytes.data(), PKTHDR_WORD0, c.flags);
        bytes.resize(c.size);
        const auto p = plan_echo(policy, {bytes, source(c.trusted ? "127.0.0.1" : "10.1.1.1", 5000),
                                          0x7F000001});
        EXPECT_EQ(p.refusal, c.refusal) << c.what;
        EXPECT_EQ(p.echo_size, c.echo) << c.what;
        EXPECT_EQ(p.marked, c.marked) << c.what;
        EXPECT_EQ(p.stamped, c.stamped) << c.what;
    }
}

TEST(EchoPlan, SequenceNumberOfShortRequestsReadsMissingBytesAsZero) {
    echo_policy policy;
    policy.own_port = kPort;
    const auto full = testsupport::probe(0x04030201, 64, 64, 16);
    struct Case {
        size_t size;
        int32_t seq;
        bool trusted;
    };
    for (const auto& c : {Case{4, 0, true}, Case{5, 0x01, true}, Case{7, 0x030201, true},
                          Case{8, 0x04030201, false}}) {
        const std::vector<uint8_t> bytes(full.begin(), full.begin() + c.size);
        const auto p =
            plan_echo(policy, {bytes, source(c.trusted ? "127.0.0.1" : "10.1.1.1", 5000), 0});
        EXPECT_EQ(p.seq, c.seq) << c.size;
        EXPECT_EQ(p.trusted, c.trusted) << c.size;
    }
}

TEST(RateLimiter, ABurstOfOneSecondThenTheRatePerSource) {
    constexpr int64_t kSecond = 1'000'000'000;
    source_rate_limiter limiter(4);
    const uint32_t a = 0x0A000001, b = 0x0A000002;
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(limiter.admit(a, 0)) << i;
    EXPECT_FALSE(limiter.admit(a, 0));
    EXPECT_TRUE(limiter.admit(b, 0)); // every source has its own allowance
    EXPECT_FALSE(limiter.admit(a, kSecond / 4 - 1));
    EXPECT_TRUE(limiter.admit(a, kSecond / 4)); // one interval later, one more
    EXPECT_FALSE(limiter.admit(a, kSecond / 4));
    // Idle for long: back to a full burst, no more.
    int admitted = 0;
    for (int i = 0; i < 10; ++i)
        admitted += limiter.admit(a, 100 * kSecond);
    EXPECT_EQ(admitted, 4);

    source_rate_limiter none(0);
    EXPECT_FALSE(none.admit(a, 0));
}

TEST(RateLimiter, ATableFullOfOtherSourcesStillHoldsEachNewSourceToItsBurst) {
    constexpr int64_t kMs = 1'000'000;
    source_rate_limiter limiter(3);
    int64_t now = 0;
    for (uint32_t s = 1; s <= 100000; ++s) // far more sources than the table remembers
        EXPECT_TRUE(limiter.admit(s, now += kMs / 100));
    const uint32_t newcomer = 0xC6336407;
    int admitted = 0;
    for (int i = 0; i < 10; ++i)
        admitted += limiter.admit(newcomer, now);
    EXPECT_EQ(admitted, 3);
}

} // namespace
