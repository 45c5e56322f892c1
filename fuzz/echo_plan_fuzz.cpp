// libFuzzer target: any bytes as one datagram reaching the responder, decided for a table of
// sources and policies (trusted, untrusted, capped, bound to every address, the responder's
// own port, a service port, a subnet's broadcast address) and for a source taken from the
// datagram's last bytes. The plan must read only the bytes it is given and keep every promise
// the responder makes: refused datagrams get nothing, a marked datagram is never answered and
// every echo of a word or more is marked, no echo beyond the cap, none larger than its request
// for untrusted sources, and the echo's bytes are the request's first bytes followed by zeros.
#include "engine/echo_policy.h"
#include "engine/probe_header.h"
#include "fuzz/fuzz_check.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint16_t kOwnPort = 33333;

sockaddr_in address(uint32_t ip, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ip);
    a.sin_port = htons(port);
    return a;
}

// An IPv6 source: the loopback (::1) or fd00::1, or an IPv4 one mapped (::ffff:a.b.c.d).
sockaddr_in6 address6(bool loopback, uint16_t port, uint32_t mapped_ip = 0) {
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    if (mapped_ip) {
        a.sin6_addr.s6_addr[10] = a.sin6_addr.s6_addr[11] = 0xFF;
        const uint32_t net = htonl(mapped_ip);
        std::memcpy(&a.sin6_addr.s6_addr[12], &net, sizeof net);
    } else if (loopback) {
        a.sin6_addr = in6addr_loopback;
    } else {
        a.sin6_addr.s6_addr[0] = 0xFD;
        a.sin6_addr.s6_addr[15] = 1;
    }
    return a;
}

constexpr uint32_t kSubnetBroadcast = 0x0A6300FF; // 10.99.0.255

echo_policy make_policy(uint32_t own_address, int32_t max_echo) {
    echo_policy p;
    p.own_port = kOwnPort;
    p.own_address = own_address;
    p.max_echo = max_echo;
    p.subnet_broadcasts = {0x7FFFFFFF, kSubnetBroadcast};
    return p;
}

void check_plan(const echo_policy& policy, const echo_request& request) {
    const echo_plan plan = plan_echo(policy, request);
    const auto size = static_cast<int32_t>(request.bytes.size());
    check((plan.verdict == echo_verdict::echo) == (plan.refusal == echo_refusal::none));
    if (plan.verdict != echo_verdict::echo) {
        check(plan.echo_size == 0 && plan.copied == 0 && !plan.marked);
        check(plan.verdict != echo_verdict::empty ||
              (size == 0 && plan.refusal == echo_refusal::empty));
        return;
    }
    check(size > 0);
    check(plan.marked == (plan.echo_size >= PKTHDR_WORD_SIZE));
    check(plan.echo_size <= std::min(policy.max_echo, kMaxUdpPayload));
    check(plan.copied == std::min(plan.echo_size, size));
    if (!plan.trusted) check(plan.echo_size <= size);
    if (plan.trusted) check(plan.echo_size >= std::min<int32_t>(PKTHDR_SIZE, policy.max_echo));

    unsigned char header[PKTHDR_SIZE] = {};
    std::memcpy(header, request.bytes.data(), std::min<size_t>(request.bytes.size(), PKTHDR_SIZE));
    check(plan.seq == static_cast<int32_t>(pkthdr_get(header, PKTHDR_SEQ)));
    check(size < PKTHDR_WORD_SIZE || (pkthdr_get(header, PKTHDR_WORD0) & kProbeFlagEcho) == 0);

    // The echo as the responder sends it (the request's first bytes, then zeros): taking them
    // must stay within the datagram.
    std::vector<unsigned char> echo(static_cast<size_t>(plan.echo_size), 0);
    std::memcpy(echo.data(), request.bytes.data(), static_cast<size_t>(plan.copied));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > size_t{kMaxUdpPayload}) return 0;
    // An exactly sized copy, so a read beyond the datagram is caught even for empty input.
    const std::vector<unsigned char> bytes(data, data + size);
    const std::span<const unsigned char> datagram(bytes.data(), bytes.size());

    static const echo_policy bound = make_policy(0x7F000001, kMaxUdpPayload);
    static const echo_policy every = make_policy(0, kMaxUdpPayload);
    static const echo_policy capped = make_policy(0x7F000001, 100);
    struct context {
        const echo_policy& policy;
        net_address source;
        uint32_t destination;
    };
    const context table[] = {
        {bound, address(0x7F000001, 40000), 0},             // trusted client
        {bound, address(0x0A000001, 40000), 0},             // untrusted client
        {capped, address(0x7F000001, 40000), 0},            // trusted, capped
        {every, address(0x7F000002, kOwnPort), 0x7F000002}, // itself, bound to every address
        {bound, address(0x7F000001, 7), 0},                 // a service port
        {every, address(0x0A630002, 40000), kSubnetBroadcast}, // sent to a subnet broadcast
        {bound, address6(true, 40000), 0},                    // trusted IPv6 client
        {bound, address6(false, 40000), 0},                   // untrusted IPv6 client
        {every, address6(false, 40000, 0x0A000001), 0x7F000001}, // an IPv4 peer, mapped
    };
    for (const auto& c : table)
        check_plan(c.policy, {datagram, c.source, c.destination});

    if (size >= 6) { // a source chosen by the fuzzer too
        uint32_t ip;
        uint16_t port;
        std::memcpy(&ip, data + size - 6, sizeof ip);
        std::memcpy(&port, data + size - 2, sizeof port);
        check_plan(every, {datagram, address(ip, port), 0x7F000001});
    }
    return 0;
}
