#include "report/ipdv_jitter.h"

#include <cmath>
#include <limits>

void ipdv_jitter::add(int32_t seq, double round_trip) {
    if (have_previous_ && seq <= previous_seq_) return; // out of order: no pair, no new base
    if (have_previous_) {
        const double variation = std::fabs(round_trip - previous_round_trip_);
        ++pairs_;
        sum_abs_ += variation;
        if (variation > max_abs_) max_abs_ = variation;
    }
    have_previous_ = true;
    previous_seq_ = seq;
    previous_round_trip_ = round_trip;
}

double ipdv_jitter::mean_abs() const {
    if (pairs_ == 0) return std::numeric_limits<double>::quiet_NaN();
    return sum_abs_ / static_cast<double>(pairs_);
}

double ipdv_jitter::max_abs() const {
    return pairs_ ? max_abs_ : std::numeric_limits<double>::quiet_NaN();
}
