#include "app/chart_histogram.h"
#include "app/chart.h"
#include "tests/app/app_test_support.h"

#include <QImage>
#include <QPainter>

#include <vector>

namespace {

using apptest::results;

// Bins of the measured round trips only: lost probes and probes beyond the run add nothing,
// the largest time lands in the last bin.
TEST(ChartHistogram, BinsHoldTheMeasuredRoundTrips) {
    struct Case {
        const char* name;
        int32_t probes;
        std::vector<double> times;
        std::set<int32_t> lost;
        std::vector<std::pair<int, int>> bins; // bin, count; every other bin empty
    };
    const Case cases[] = {
        {"four times", 4, {0.001, 0.001, 0.002, 0.004}, {}, {{13, 2}, {27, 1}, {53, 1}}},
        {"a lost probe's slot does not count", 3, {0.001, 0.009, 0.004}, {1}, {{13, 1}, {53, 1}}},
        {"all lost", 2, {0.001, 0.002}, {0, 1}, {}},
        {"no probe", 0, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<int> bins = histogramBins(*results(c.probes, c.times, c.lost));
        if (c.bins.empty()) {
            EXPECT_TRUE(bins.empty());
            continue;
        }
        std::vector<int> expected(kHistogramBins, 0);
        for (const auto& [bin, count] : c.bins)
            expected[bin] = count;
        EXPECT_EQ(bins, expected);
    }
}

// The largest bin reaches the top of the room, a bar of one probe in a bin of two stands half
// as high, and the time axis is labelled.
TEST(ChartHistogram, BarsAreScaledToTheLargestBin) {
    const QSize frame(600, 400);
    QImage image(frame, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawHistogram(painter, frame, *results(4, {0.001, 0.001, 0.002, 0.004}));
    painter.end();
    const double binWidth = 540.0 / kHistogramBins;
    const auto barX = [&](int bin) { return 30 + int((bin + 0.5) * binWidth); };
    EXPECT_EQ(image.pixelColor(barX(13), 370 - 339), kChartCurveColour) << "the largest bin";
    EXPECT_EQ(image.pixelColor(barX(27), 370 - 169), kChartCurveColour);
    EXPECT_EQ(image.pixelColor(barX(27), 370 - 175), QColor(Qt::white)) << "half as high";
    EXPECT_EQ(image.pixelColor(barX(20), 300), QColor(Qt::white)) << "an empty bin";
    EXPECT_EQ(image.pixelColor(300, 370), kChartAxisColour);
}

} // namespace
