#include "engine/rate_limiter.h"

#include "platform/clock.h"

#include <cstring>
#include <random>

using plat::kNanosPerSecond;

source_rate_limiter::source_rate_limiter(uint32_t per_second)
    // Rounded up, so a source never gets more than per_second a second.
    : interval_ns_(per_second ? (kNanosPerSecond + per_second - 1) / per_second : 0),
      burst_ns_(per_second ? (int64_t{per_second} - 1) * interval_ns_ : 0),
      salt_(std::random_device{}()) {}

uint64_t source_key(const net_address& source) {
    const net_address a = source.unmapped();
    if (a.family() != AF_INET6) return a.ipv4_host_order();
    uint64_t network = 0;
    std::memcpy(&network, a.ipv6().sin6_addr.s6_addr, sizeof network);
    return network;
}

source_rate_limiter::entry& source_rate_limiter::find(uint64_t source, int64_t now_ns) {
    const auto folded = static_cast<uint32_t>(source ^ (source >> 32));
    const uint32_t hash = (folded ^ salt_) * 0x9E3779B1u; // Fibonacci hashing
    auto& set = sets_[hash >> (32 - kSetBits)];
    entry* oldest = &set[0];
    for (entry& e : set) {
        if (e.used && e.source == source) return e;
        if (!e.used) {
            oldest = &e;
            break;
        }
        if (e.due_ns < oldest->due_ns) oldest = &e;
    }
    // A new source takes a free way or the one closest to a full allowance.
    *oldest = entry{source, true, now_ns};
    return *oldest;
}

bool source_rate_limiter::admit(uint64_t source, int64_t now_ns) {
    if (interval_ns_ == 0) return false;
    std::lock_guard lock(mutex_);
    entry& e = find(source, now_ns);
    const int64_t from = e.due_ns > now_ns ? e.due_ns : now_ns;
    if (from - now_ns > burst_ns_) return false;
    e.due_ns = from + interval_ns_;
    return true;
}
