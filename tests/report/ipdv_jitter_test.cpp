// Jitter (IPDV, RFC 3393) over consecutive answered probes in sending order.
#include "report/ipdv_jitter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace {

TEST(IpdvJitter, PairsOfConsecutiveAnsweredProbes) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, double>> echoes; // (seq, round trip in ms), arrival order
        uint64_t pairs;
        double mean, max; // ms
    };
    const Case cases[] = {
        {"steady", {{0, 1}, {1, 1}, {2, 1}}, 2, 0, 0},
        {"up and down", {{0, 1}, {1, 3}, {2, 2}}, 2, 1.5, 2},
        {"a lost probe is skipped", {{0, 1}, {2, 4}, {3, 4}}, 2, 1.5, 3},
        // 3 answered after 4: it forms no pair and does not become the base of the next.
        {"out of order", {{0, 1}, {1, 2}, {2, 2}, {4, 6}, {3, 9}, {5, 5}}, 4, 1.5, 4},
        {"one echo", {{0, 1}}, 0, NAN, NAN},
        {"none", {}, 0, NAN, NAN},
    };
    for (const auto& c : cases) {
        ipdv_jitter j;
        for (auto [seq, rtt] : c.echoes)
            j.add(seq, rtt / 1000);
        EXPECT_EQ(j.pairs(), c.pairs) << c.name;
        if (std::isnan(c.mean)) {
            EXPECT_TRUE(std::isnan(j.mean_abs())) << c.name;
            EXPECT_TRUE(std::isnan(j.max_abs())) << c.name;
        } else {
            EXPECT_NEAR(j.mean_abs() * 1000, c.mean, 1e-12) << c.name;
            EXPECT_NEAR(j.max_abs() * 1000, c.max, 1e-12) << c.name;
        }
    }
}

} // namespace
