#include "engine/subnet_broadcasts.h"

#include "platform/interface_addresses.h"

#include <algorithm>

namespace {

// A prefix needs two host bits for a broadcast address of its own (RFC 3021 /31 links use both
// of their addresses for hosts).
constexpr uint32_t kLeastHostBitsWithBroadcast = 0x3u;

} // namespace

std::optional<uint32_t> prefix_broadcast(uint32_t address, uint32_t netmask) {
    const uint32_t host_bits = ~netmask;
    if (host_bits < kLeastHostBitsWithBroadcast) return std::nullopt;
    return address | host_bits;
}

std::optional<std::vector<uint32_t>> local_subnet_broadcasts() {
    const auto interfaces = plat::interface_ipv4_addresses();
    if (!interfaces) return std::nullopt;
    std::vector<uint32_t> found;
    for (const auto& a : *interfaces)
        if (const auto broadcast = prefix_broadcast(a.address, a.netmask)) found.push_back(*broadcast);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}
