#include "report/signed_distribution.h"

#include <cmath>
#include <limits>

void signed_distribution::add(double value) {
    quantile_store& side = value < 0 ? negative_ : positive_;
    if (side.count() == 0) side.reserve_ahead(ahead_);
    side.add(std::fabs(value));
}

double signed_distribution::value_at_rank(uint64_t rank) {
    // The negative values ascend as their magnitudes descend.
    const uint64_t below = negative_.count();
    const auto rank_q = [](uint64_t k, uint64_t n) { return n > 1 ? double(k) / double(n - 1) : 0.0; };
    if (rank < below) return -negative_.quantile(rank_q(below - 1 - rank, below));
    return positive_.quantile(rank_q(rank - below, positive_.count()));
}

double signed_distribution::quantile(double q) {
    const uint64_t n = count();
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    const double at = q * double(n - 1);
    const auto lo = static_cast<uint64_t>(std::floor(at));
    const double low = value_at_rank(lo);
    if (double(lo) == at || lo + 1 >= n) return low;
    return low + (value_at_rank(lo + 1) - low) * (at - double(lo));
}

duration_stats signed_distribution::stats() {
    duration_stats s;
    const uint64_t n = count();
    s.count = n;
    if (n == 0) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        s.min = s.mean = s.max = s.stddev = nan;
        for (double& q : s.quantiles)
            q = nan;
        return s;
    }
    const double nn = double(negative_.count()), np = double(positive_.count());
    s.min = nn > 0 ? -negative_.max() : positive_.min();
    s.max = np > 0 ? positive_.max() : -negative_.min();
    // Sums and sums of squares of each side give the whole population's moments.
    const auto sum = [](quantile_store& q, double k) { return k > 0 ? q.mean() * k : 0.0; };
    const auto squares = [](quantile_store& q, double k) {
        return k > 0 ? (q.stddev() * q.stddev() + q.mean() * q.mean()) * k : 0.0;
    };
    s.mean = (sum(positive_, np) - sum(negative_, nn)) / double(n);
    const double variance =
        (squares(positive_, np) + squares(negative_, nn)) / double(n) - s.mean * s.mean;
    s.stddev = std::sqrt(std::max(variance, 0.0));
    for (int k = 0; k < kReportQuantileCount; ++k)
        s.quantiles[k] = quantile(kReportQuantiles[k].q);
    s.exact = negative_.exact() && positive_.exact();
    return s;
}
