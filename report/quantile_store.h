// The distribution of a run's durations (round trips, send calls): count, minimum, maximum,
// mean and standard deviation always exact; quantiles exact while at most kExactLimit values
// were added, then taken from a histogram of logarithmic buckets whose every estimate lies
// within kRelativeError of the true value, in memory that no longer grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class quantile_store {
  public:
    static constexpr size_t kExactLimit = size_t{1} << 20; // 1,048,576 values kept as they are
    static constexpr double kRelativeError = 0.01;

    // Values are durations in seconds; a negative value is taken as 0.
    void add(double value);

    // Makes room for the next `values` values (at most as many as are kept exactly) and writes
    // to it now, so adding them later neither moves the kept values nor touches fresh memory:
    // a page fault in a measuring process delays its next round trip on some machines.
    void reserve_ahead(uint64_t values);

    uint64_t count() const { return count_; }
    bool exact() const { return buckets_.empty(); }
    double min() const;
    double max() const;
    double mean() const;
    double stddev() const; // of the population; 0 for one value

    // The q-quantile (0 <= q <= 1) with linear interpolation between the values at the two
    // ranks nearest to q * (count - 1), as numpy's default does. NaN when nothing was added.
    // Sorts the kept values on first use after an add.
    double quantile(double q);

  private:
    void move_to_histogram();
    double value_at_rank(uint64_t rank); // 0-based, in ascending order

    uint64_t count_ = 0;
    double min_ = 0, max_ = 0;
    double mean_ = 0, m2_ = 0; // Welford's running mean and sum of squared deviations
    std::vector<double> values_;
    bool sorted_ = true;
    std::vector<uint64_t> buckets_; // empty while exact
};
