// Durations of either sign: the same numbers as one sorted list would give.
#include "report/signed_distribution.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace {

// numpy's default: linear between the two nearest ranks.
double reference_quantile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    const double at = q * double(v.size() - 1);
    const auto lo = size_t(std::floor(at));
    if (lo + 1 >= v.size()) return v[lo];
    return v[lo] + (v[lo + 1] - v[lo]) * (at - double(lo));
}

TEST(SignedDistribution, AgreesWithASortedListWhateverTheSigns) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> around_zero(-0.003, 0.001);
    const std::vector<std::vector<double>> sets = {
        {-3, -1, 0, 2, 4}, {-2}, {5}, {-4, -4, -1}, {0, 0, 1}, [&] {
            std::vector<double> v(1001);
            for (double& x : v)
                x = around_zero(random);
            return v;
        }()};
    for (const auto& values : sets) {
        signed_distribution d;
        for (double v : values)
            d.add(v);
        duration_stats s = d.stats();
        const double mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
        double squares = 0;
        for (double v : values)
            squares += (v - mean) * (v - mean);
        EXPECT_EQ(s.count, values.size());
        EXPECT_DOUBLE_EQ(s.min, *std::min_element(values.begin(), values.end()));
        EXPECT_DOUBLE_EQ(s.max, *std::max_element(values.begin(), values.end()));
        EXPECT_NEAR(s.mean, mean, 1e-12);
        EXPECT_NEAR(s.stddev, std::sqrt(squares / double(values.size())), 1e-9);
        for (int k = 0; k < kReportQuantileCount; ++k)
            EXPECT_NEAR(s.quantiles[k], reference_quantile(values, kReportQuantiles[k].q), 1e-12)
                << kReportQuantiles[k].name << " of " << values.size();
    }
    EXPECT_TRUE(std::isnan(signed_distribution().stats().quantiles[kMedianIndex]));
}

} // namespace
