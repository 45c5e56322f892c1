// The distribution of durations that may be negative: one-way delays between two hosts hold
// the offset between their clocks, which can make them negative. Values of each sign are kept
// apart by magnitude (quantile_store keeps durations), so count, extremes, mean and standard
// deviation stay exact and quantiles keep quantile_store's precision.
#pragma once

#include "report/quantile_store.h"
#include "report/run_summary.h"

class signed_distribution {
  public:
    void add(double value);
    // Makes room for `values` values on each side as the side takes its first value, which side
    // the values fall on not being known beforehand (quantile_store::reserve_ahead): after
    // that first one, the side adds its values without touching fresh memory.
    void reserve_ahead(uint64_t values) { ahead_ = values; }
    uint64_t count() const { return negative_.count() + positive_.count(); }
    // NaN in every value when nothing was added.
    duration_stats stats();

  private:
    double value_at_rank(uint64_t rank); // 0-based, ascending
    double quantile(double q);           // linear between the two nearest ranks

    quantile_store negative_; // magnitudes of the values below 0
    quantile_store positive_;
    uint64_t ahead_ = 0;
};
