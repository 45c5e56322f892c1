// Jitter as IP packet delay variation (RFC 3393) of round trips: the difference between the
// round-trip times of consecutive answered probes, in the order the probes were sent. Only the
// first echo of a probe counts; an echo that arrives after an echo of a later probe (out of
// order) forms no pair, so every pair is two probes answered in the order they were sent.
#pragma once

#include <cstdint>

class ipdv_jitter {
  public:
    // The first echo of probe `seq` with its round-trip time in seconds.
    void add(int32_t seq, double round_trip);

    uint64_t pairs() const { return pairs_; }
    double mean_abs() const; // mean of |IPDV|, seconds; NaN without a pair
    double max_abs() const;  // largest |IPDV|, seconds; NaN without a pair

  private:
    bool have_previous_ = false;
    int32_t previous_seq_ = 0;
    double previous_round_trip_ = 0;
    uint64_t pairs_ = 0;
    double sum_abs_ = 0;
    double max_abs_ = 0;
};
