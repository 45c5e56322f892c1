#include "app/chart_scale.h"
#include "tests/app/app_test_support.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

const QSize kFrame(600, 400); // 540 x 340 between the margins
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using apptest::results;

ChartScale scaleOf(int32_t probes, const std::vector<double>& times, QSize frame = kFrame) {
    return chartScale(*results(probes, times), frame);
}

// Column 0 is the vertical axis: the probes share the 539 columns right of it.
TEST(ChartScale, StepsFitEveryProbeAndTheLargestTimeIntoTheRoom) {
    struct Case {
        const char* name;
        int32_t probes;
        std::vector<double> times;
        QSize frame;
        int32_t n;
        double dx;
        int64_t ymaxi;
        double dy;
    };
    constexpr int kMaxInt = std::numeric_limits<int32_t>::max();
    const Case cases[] = {
        {"100 probes in 600 pixels", 100, {0.002}, kFrame, 100, 5.39, 2, 170},
        {"1000 probes share columns", 1000, {0.002}, kFrame, 1000, 0.539, 2, 170},
        {"10000 probes", 10000, {0.002}, kFrame, 10000, 0.0539, 2, 170},
        {"one probe", 1, {0.002}, kFrame, 1, 539, 2, 170},
        {"15 ms stretched into 340 rows", 3, {0.001, 0.015, 0.004}, kFrame, 3, 539 / 3.0, 15, 340 / 15.0},
        {"0.9 ms: below one whole ms", 1, {0.0009}, kFrame, 1, 539, 0, 340 / 0.9},
        {"500 ms squeezed into 340 rows", 1, {0.5}, kFrame, 1, 539, 500, 0.68},
        {"only probes of the run count", 1, {0.002, 0.300}, kFrame, 1, 539, 2, 170},
        {"times that are no finite number count as 0",
         3,
         {kInf, kNaN, 0.002},
         kFrame,
         3,
         539 / 3.0,
         2,
         170},
        {"negative times count as 0", 2, {-0.5, -0.001}, kFrame, 2, 269.5, 0, 0},
        {"every time 0.0", 5, {}, kFrame, 5, 107.8, 0, 0},
        {"tiny time", 1, {1e-12}, kFrame, 1, 539, 0, 340 / 1e-9},
        {"absurd time", 1, {1e300}, kFrame, 1, 539, kMaxInt, 340 / 1e303},
        {"frame without room", 1, {0.005}, QSize(600, 60), 1, 539, 5, 0},
        {"frame lower than its margins", 1, {0.005}, QSize(600, 50), 1, 539, 5, 0},
        {"frame without width", 3, {0.005}, QSize(0, 400), 3, 0, 5, 68},
        // The record holds 10000 slots; n never reaches past them.
        {"more probes than slots", 20000, {0.002}, kFrame, REBOUND_MAXPKTS, 0.0539, 2, 170},
        {"no probe", 0, {0.002}, kFrame, 0, 0, 0, 0},
        {"negative count", -7, {0.002}, kFrame, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartScale s = scaleOf(c.probes, c.times, c.frame);
        EXPECT_EQ(s.n, c.n);
        EXPECT_DOUBLE_EQ(s.dx, c.dx);
        EXPECT_EQ(s.ymaxi, c.ymaxi);
        EXPECT_DOUBLE_EQ(s.dy, c.dy);
    }
}

TEST(ChartScale, ColumnsAndHeightsStayBetweenTheAxes) {
    const ChartScale s = scaleOf(3, {0.010, 0.005, 0.0});
    // The largest time lands exactly on the top of the room, nothing beyond it.
    EXPECT_EQ(chartHeight(s, 0.010), 340);
    EXPECT_EQ(chartHeight(s, 0.005), 170);
    EXPECT_EQ(chartHeight(s, 0.0099999), 339) << "cut towards zero";
    EXPECT_EQ(chartHeight(s, 0.0), 0);
    EXPECT_EQ(chartHeight(s, -0.002), 0) << "a clock step back lies on the axis";
    EXPECT_EQ(chartHeight(s, kNaN), 0);
    EXPECT_EQ(chartHeight(s, kInf), 340);
    EXPECT_EQ(chartHeight(scaleOf(2, {}), 0.0), 0) << "every time 0: the curve on the axis";

    EXPECT_EQ(chartColumn(s, 0), 1) << "right of the vertical axis";
    EXPECT_EQ(chartColumn(s, 2), 360);
    const ChartScale dense = scaleOf(10000, {0.001});
    EXPECT_EQ(chartColumn(dense, 9999), 539) << "the last probe in the last column";
    EXPECT_EQ(chartColumn(dense, 18), 1);
    EXPECT_EQ(chartColumn(dense, 19), 2) << "19 probes share the first column";
}

TEST(ChartTicks, FiveMillisecondsWhileItGivesTwoReadableTicksElseOneTwoFiveSteps) {
    struct Case {
        const char* name;
        double ymax; // seconds
        double step;
        std::vector<double> values;
        QStringList labels;
    };
    const Case cases[] = {
        {"15 ms: 0, 5, 10 as ever", 0.015, 5, {0, 5, 10}, {" 0", " 5", "10"}},
        {"6 ms: two ticks", 0.006, 5, {0, 5}, {" 0", " 5"}},
        {"100 ms: twenty ticks 17 pixels apart", 0.1, 5, {}, {}},
        {"0.9 ms: a 0.2 ms step",
         0.0009,
         0.2,
         {0, 0.2, 0.4, 0.6, 0.8},
         {"0.0", "0.2", "0.4", "0.6", "0.8"}},
        {"5.5 ms: one 5 ms tick is too few", 0.0055, 1, {0, 1, 2, 3, 4, 5}, {}},
        {"1 ms", 0.001, 0.2, {0, 0.2, 0.4, 0.6, 0.8}, {}},
        {"120 ms: 5 ms ticks would crowd their labels", 0.12, 20, {0, 20, 40, 60, 80, 100}, {}},
        {"500 ms", 0.5, 100, {0, 100, 200, 300, 400}, {" 0", "100", "200", "300", "400"}},
        {"30 us on loopback",
         0.00003,
         0.005,
         {0, 0.005, 0.01, 0.015, 0.02, 0.025},
         {"0.000", "0.005", "0.010", "0.015", "0.020", "0.025"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartTicks t = chartTicks(scaleOf(1, {c.ymax}));
        EXPECT_DOUBLE_EQ(t.step, c.step);
        if (!c.values.empty()) {
            EXPECT_EQ(t.values, c.values);
        }
        if (!c.labels.isEmpty()) {
            QStringList labels;
            for (double v : t.values)
                labels.append(tickLabel(v, t.decimals));
            EXPECT_EQ(labels, c.labels);
        }
    }
    EXPECT_EQ(chartTicks(scaleOf(1, {0.1})).values.size(), 20u);
    EXPECT_TRUE(chartTicks(scaleOf(3, {})).values.empty()) << "every time 0";
    EXPECT_TRUE(chartTicks(scaleOf(0, {0.5})).values.empty()) << "no probe";
    EXPECT_TRUE(chartTicks(scaleOf(1, {1e-300})).values.empty()) << "nothing to label";
}

// Over ten decades of largest times: every tick below the largest time and inside the room,
// four to eight of them on a 1-2-5 step, or the 5 ms step with labels apart.
TEST(ChartTicks, EveryLargestTimeGetsAReadableScale) {
    for (int e = -60; e <= 40; ++e) {
        const double ymaxms = std::pow(10.0, e / 10.0) * 1.37;
        SCOPED_TRACE(ymaxms);
        const ChartScale s = scaleOf(1, {ymaxms / 1000.0});
        const ChartTicks t = chartTicks(s);
        ASSERT_FALSE(t.values.empty());
        if (t.step == 5.0) {
            EXPECT_GE(t.values.size(), 2u);
            EXPECT_GE(s.dy * 5.0, kTickLabelGap);
        } else {
            EXPECT_GE(t.values.size(), 4u);
            EXPECT_LE(t.values.size(), 8u);
            const double mantissa = t.step / std::pow(10.0, std::floor(std::log10(t.step)));
            EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
                        std::abs(mantissa - 5) < 1e-9)
                << t.step;
        }
        for (size_t k = 0; k < t.values.size(); ++k) {
            EXPECT_LT(t.values[k], ymaxms);
            EXPECT_NEAR(t.values[k], k * t.step, t.step * 1e-9);
            EXPECT_LE(chartHeight(s, t.values[k] / 1000.0), s.room);
        }
    }
}

} // namespace
