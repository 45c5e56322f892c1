// The responder's counters as an observer: echoes sent, failed sends, refusals by reason,
// rate-limited datagrams. Every datagram a receive call delivers ends in exactly one of them (an
// empty one is refused for being empty), and the datagrams received are their sum, so the
// counters add up whenever they are read. Each receive loop counts into a slot of its own, so
// counting costs no locked instruction; any thread may read the sums at any time.
#pragma once

#include "engine/run_observer.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct responder_counts {
    uint64_t received = 0; // every datagram a receive call delivered: the sum of the others
    uint64_t echoed = 0;
    uint64_t send_failed = 0;
    uint64_t rate_limited = 0;
    std::array<uint64_t, kEchoRefusalKinds> refused{}; // by echo_refusal; [none] stays 0

    uint64_t refused_total() const;
};

// "received=... echoed=... send_failed=... refused=N (own_address=... ...) rate_limited=..."
std::string describe_counts(const responder_counts& counts);

class responder_tally final : public responder_observer {
  public:
    explicit responder_tally(int loops);

    void datagram_received(const responder_datagram& e) override;
    void echo_sent(const responder_echo_sent& e) override;
    void datagram_refused(const responder_refused& e) override;
    void datagram_rate_limited(const responder_rate_limited& e) override;

    responder_counts sum() const;

  private:
    enum counter { echoed, send_failed, rate_limited, refused_first };
    static constexpr int kCounters = refused_first + kEchoRefusalKinds;

    // One cache line or more per loop, so loops never share one.
    struct alignas(64) slot {
        std::array<std::atomic<uint64_t>, kCounters> counts{};
    };
    // Only the slot's own loop writes it: a plain increment, visible to readers as a whole.
    void bump(int loop, int which);

    std::unique_ptr<slot[]> slots_;
    int loops_;
};
