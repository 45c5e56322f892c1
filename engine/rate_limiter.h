// Datagrams per second per source address, for sources the responder does not trust. Each
// source may send `per_second` datagrams in a burst and then `per_second` a second on average;
// what goes beyond is refused. Safe to use from several receive loops at once.
#pragma once

#include "address/net_address.h"

#include <array>
#include <cstdint>
#include <mutex>

// The key a source is limited by: an IPv4 address (host byte order), or the /64 network of an
// IPv6 one, since one host may send from every address of its /64.
uint64_t source_key(const net_address& source);

class source_rate_limiter {
  public:
    explicit source_rate_limiter(uint32_t per_second);

    // True when the source (source_key) may have one more datagram at `now_ns`, a monotonic
    // clock reading in nanoseconds; counts it if so.
    bool admit(uint64_t source, int64_t now_ns);

  private:
    // Sources are remembered in a table of fixed size: 4-way sets chosen by a salted hash, so
    // a flood of forged addresses costs no memory. A source pushed out of the table starts
    // again with a full burst; what it can then get is still no more than it sends.
    static constexpr int kWays = 4;
    static constexpr int kSetBits = 10;
    static constexpr int kSets = 1 << kSetBits;

    struct entry {
        uint64_t source = 0;
        bool used = false;
        int64_t due_ns = 0; // when the source's allowance is back to full
    };

    entry& find(uint64_t source, int64_t now_ns);

    int64_t interval_ns_; // 0: nothing is admitted
    int64_t burst_ns_;    // how far ahead of now a source may run: per_second - 1 intervals
    uint32_t salt_;
    std::mutex mutex_;
    std::array<std::array<entry, kWays>, kSets> sets_{};
};
