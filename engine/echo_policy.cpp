#include "engine/echo_policy.h"

#include "engine/probe_header.h"
#include "engine/responder_stamps.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>

namespace {

constexpr const char* kRefusalNames[kEchoRefusalKinds] = {
    "none",      "own_address",  "own_port",     "low_port", "broadcast", "multicast",
    "reserved",  "to_broadcast", "to_multicast", "echo",     "empty",
};

constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFFu;
constexpr ipv4_range kMulticastRange{0xE0000000u, 0xF0000000u}; // 224.0.0.0/4
// Addresses no host has: "this network" and the former class E.
constexpr ipv4_range kReservedRanges[] = {
    {0x00000000u, 0xFF000000u}, // 0.0.0.0/8
    {0xF0000000u, 0xF0000000u}, // 240.0.0.0/4
};

// The smallest echo: one probe header.
constexpr int32_t kMinEcho = PKTHDR_SIZE;

bool is_broadcast(const echo_policy& policy, uint32_t address) {
    return address == kLimitedBroadcast ||
           std::find(policy.subnet_broadcasts.begin(), policy.subnet_broadcasts.end(), address) !=
               policy.subnet_broadcasts.end();
}

bool is_reserved(uint32_t address) {
    return std::any_of(std::begin(kReservedRanges), std::end(kReservedRanges),
                       [&](const ipv4_range& r) { return range_contains(r, address); });
}

// Refusals by where the datagram went and where it claims to come from.
echo_refusal refusal_for(const echo_policy& policy, uint32_t address, uint16_t port,
                         uint32_t destination) {
    if (destination != 0) {
        if (is_broadcast(policy, destination)) return echo_refusal::to_broadcast;
        if (range_contains(kMulticastRange, destination)) return echo_refusal::to_multicast;
    }
    const uint32_t own = destination != 0 ? destination : policy.own_address;
    if (port == policy.own_port) {
        return address == own ? echo_refusal::own_address : echo_refusal::own_port;
    }
    if (port < kFirstUserPort) return echo_refusal::low_port;
    if (is_broadcast(policy, address)) return echo_refusal::broadcast;
    if (range_contains(kMulticastRange, address)) return echo_refusal::multicast;
    if (is_reserved(address)) return echo_refusal::reserved;
    return echo_refusal::none;
}

bool is_ipv6_multicast(const in6_addr& a) {
    return IN6_IS_ADDR_MULTICAST(&a);
}

bool same6(const in6_addr& a, const in6_addr& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The IPv6 refusals, in the order of the IPv4 ones; IPv6 has no broadcast.
echo_refusal refusal_for6(const echo_policy& policy, const in6_addr& address, uint16_t port,
                          const in6_addr& destination) {
    const bool known = !IN6_IS_ADDR_UNSPECIFIED(&destination);
    if (known && is_ipv6_multicast(destination)) return echo_refusal::to_multicast;
    const in6_addr& own = known ? destination : policy.own_address6;
    if (port == policy.own_port)
        return same6(address, own) ? echo_refusal::own_address : echo_refusal::own_port;
    if (port < kFirstUserPort) return echo_refusal::low_port;
    if (is_ipv6_multicast(address)) return echo_refusal::multicast;
    if (IN6_IS_ADDR_UNSPECIFIED(&address)) return echo_refusal::reserved;
    return echo_refusal::none;
}

// Refused or not by where it came from and went to; `trusted` set for a trusted source.
echo_refusal judge_source(const echo_policy& policy, const echo_request& request, bool* trusted) {
    const net_address source = request.source.unmapped();
    if (source.family() == AF_INET) {
        const uint32_t address = source.ipv4_host_order();
        *trusted = std::any_of(policy.trusted.begin(), policy.trusted.end(),
                               [&](const ipv4_range& r) { return range_contains(r, address); });
        const echo_refusal refusal =
            refusal_for(policy, address, source.port(), request.destination);
        // An IPv4 peer reaches a socket of both families in an IPv4 packet; an IPv6 packet
        // that claims an IPv4-mapped source comes from no host.
        const bool ipv6_packet = !IN6_IS_ADDR_UNSPECIFIED(&request.destination6);
        if (refusal == echo_refusal::none && request.source.is_ipv4_mapped() && ipv6_packet)
            return echo_refusal::reserved;
        return refusal;
    }
    if (source.family() == AF_INET6) {
        const in6_addr& address = source.ipv6().sin6_addr;
        *trusted = std::any_of(policy.trusted6.begin(), policy.trusted6.end(),
                               [&](const ipv6_range& r) { return range_contains(r, address); });
        return refusal_for6(policy, address, source.port(), request.destination6);
    }
    return echo_refusal::reserved; // no address of a family served
}

} // namespace

const char* echo_refusal_name(echo_refusal reason) {
    return kRefusalNames[static_cast<int>(reason)];
}

echo_plan plan_echo(const echo_policy& policy, const echo_request& request) {
    echo_plan plan;
    bool trusted = false;
    plan.refusal = judge_source(policy, request, &trusted);
    if (plan.refusal != echo_refusal::none) return plan;
    plan.trusted = trusted;

    // Header words a short request does not reach read as zero.
    const auto size = static_cast<int32_t>(request.bytes.size());
    unsigned char header[PKTHDR_SIZE] = {};
    if (size > 0)
        std::memcpy(header, request.bytes.data(),
                    std::min<size_t>(request.bytes.size(), PKTHDR_SIZE));
    plan.seq = static_cast<int32_t>(pkthdr_get(header, PKTHDR_SEQ));
    if (size == 0) {
        plan.verdict = echo_verdict::empty;
        plan.refusal = echo_refusal::empty;
        return plan;
    }
    // A datagram shorter than one word has no flags: it is echoed as ever.
    if (size >= PKTHDR_WORD_SIZE && (pkthdr_get(header, PKTHDR_WORD0) & kProbeFlagEcho) != 0) {
        plan.refusal = echo_refusal::echo;
        return plan;
    }

    // Read signed, so 2^31 and above count as too small.
    const auto asked = static_cast<int32_t>(pkthdr_get(header, PKTHDR_RECVSIZE));
    int32_t echo = std::max(asked, kMinEcho);
    if (!plan.trusted) echo = std::min(echo, size);
    echo = std::min(echo, std::min(policy.max_echo, kMaxUdpPayload));
    plan.verdict = echo_verdict::echo;
    plan.echo_size = std::max(echo, 0);
    plan.copied = std::min(plan.echo_size, size);
    plan.marked = plan.echo_size >= PKTHDR_WORD_SIZE;
    plan.stamped = size >= PKTHDR_WORD_SIZE &&
                   (pkthdr_get(header, PKTHDR_WORD0) & kProbeFlagWantStamps) != 0 &&
                   plan.echo_size >= kStampedEchoSize;
    return plan;
}
