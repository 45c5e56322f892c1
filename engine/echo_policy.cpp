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

} // namespace

const char* echo_refusal_name(echo_refusal reason) {
    return kRefusalNames[static_cast<int>(reason)];
}

echo_plan plan_echo(const echo_policy& policy, const echo_request& request) {
    echo_plan plan;
    const uint32_t address = ntohl(request.source.sin_addr.s_addr);
    plan.refusal =
        refusal_for(policy, address, ntohs(request.source.sin_port), request.destination);
    if (plan.refusal != echo_refusal::none) return plan;
    plan.trusted = std::any_of(policy.trusted.begin(), policy.trusted.end(),
                               [&](const ipv4_range& r) { return range_contains(r, address); });

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
