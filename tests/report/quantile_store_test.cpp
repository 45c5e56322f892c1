// The distribution behind the summary: exact quantiles (numpy's linear interpolation) up to the
// exact limit, then the bounded histogram within its promised 1 % of the true value.
#include "report/quantile_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// The q-quantile of sorted values with linear interpolation between the nearest ranks.
double reference(const std::vector<double>& sorted, double q) {
    const double r = q * double(sorted.size() - 1);
    const auto lo = size_t(std::floor(r));
    const size_t hi = std::min(lo + 1, sorted.size() - 1);
    return sorted[lo] + (r - double(lo)) * (sorted[hi] - sorted[lo]);
}

const double kQs[] = {0, 0.001, 0.01, 0.1, 0.25, 0.5, 0.75, 0.9, 0.99, 0.999, 0.9999, 1};

TEST(QuantileStore, ExactOnSmallSets) {
    struct Case {
        std::vector<double> values;
        double q, expected;
    };
    const Case cases[] = {
        {{3, 1, 2, 4}, 0, 1},
        {{3, 1, 2, 4}, 0.5, 2.5},
        {{3, 1, 2, 4}, 0.9, 3.7},
        {{3, 1, 2, 4}, 1, 4},
        {{5}, 0.5, 5},
        {{5}, 0.999, 5},
        {{-1, 2}, 0, 0}, // a negative duration counts as 0
    };
    for (const auto& c : cases) {
        quantile_store s;
        for (double v : c.values)
            s.add(v);
        EXPECT_DOUBLE_EQ(s.quantile(c.q), c.expected) << "q=" << c.q;
    }
    quantile_store empty;
    EXPECT_EQ(empty.count(), 0u);
    EXPECT_TRUE(std::isnan(empty.quantile(0.5)));
    EXPECT_TRUE(std::isnan(empty.min()));
    EXPECT_TRUE(std::isnan(empty.stddev()));
}

TEST(QuantileStore, MomentsAndExtremes) {
    quantile_store s;
    for (double v : {2, 4, 4, 4, 5, 5, 7, 9})
        s.add(v);
    EXPECT_DOUBLE_EQ(s.mean(), 5);
    EXPECT_DOUBLE_EQ(s.stddev(), 2); // of the population
    EXPECT_DOUBLE_EQ(s.min(), 2);
    EXPECT_DOUBLE_EQ(s.max(), 9);
    s.add(1); // a value after a query: the kept values are sorted again
    EXPECT_DOUBLE_EQ(s.quantile(0), 1);
}

TEST(QuantileStore, ExactForOneMillionValuesAndMore) {
    ASSERT_GE(quantile_store::kExactLimit, 1000000u);
    std::mt19937_64 gen(7);
    std::lognormal_distribution<double> rtt(std::log(100e-6), 0.5);
    std::vector<double> values(quantile_store::kExactLimit);
    quantile_store s;
    for (double& v : values) {
        v = rtt(gen);
        s.add(v);
    }
    EXPECT_TRUE(s.exact());
    std::sort(values.begin(), values.end());
    for (double q : kQs)
        EXPECT_EQ(s.quantile(q), reference(values, q)) << "q=" << q;
    s.add(1e-3);
    EXPECT_FALSE(s.exact()); // one more moves to the histogram
}

TEST(QuantileStore, HistogramWithinOnePercentBeyondTheLimit) {
    struct Case {
        const char* name;
        double (*draw)(std::mt19937_64&);
    };
    const Case cases[] = {
        {"log-uniform 1 us .. 10 s",
         [](std::mt19937_64& g) {
             return std::pow(10.0, std::uniform_real_distribution<double>(-6, 1)(g));
         }},
        {"loopback with a heavy tail",
         [](std::mt19937_64& g) {
             const double base = std::lognormal_distribution<double>(std::log(40e-6), 0.2)(g);
             return std::bernoulli_distribution(0.002)(g) ? base * 500 : base;
         }},
        {"one value", [](std::mt19937_64&) { return 123e-6; }},
    };
    for (const auto& c : cases) {
        std::mt19937_64 gen(11);
        const size_t n = 2 * quantile_store::kExactLimit + 12345;
        std::vector<double> values(n);
        quantile_store s;
        double sum = 0;
        for (double& v : values) {
            v = c.draw(gen);
            sum += v;
            s.add(v);
        }
        ASSERT_FALSE(s.exact()) << c.name;
        std::sort(values.begin(), values.end());
        for (double q : kQs) {
            const double truth = reference(values, q);
            EXPECT_LE(std::fabs(s.quantile(q) - truth), quantile_store::kRelativeError * truth)
                << c.name << " q=" << q;
        }
        // The moments and extremes stay exact.
        EXPECT_EQ(s.count(), n);
        EXPECT_EQ(s.min(), values.front()) << c.name;
        EXPECT_EQ(s.max(), values.back()) << c.name;
        EXPECT_NEAR(s.mean(), sum / double(n), 1e-9 * sum / double(n)) << c.name;
    }
}

} // namespace
