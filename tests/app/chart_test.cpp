#include "app/chart.h"
#include "tests/app/app_test_support.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kIntMax = std::numeric_limits<int32_t>::max();
const QSize kFrame(600, 400);

// A zeroed record with `recvpkts` set and the given leading round-trip times.
std::unique_ptr<rebound_info> record(int32_t recvpkts, const std::vector<double>& times = {}) {
    auto r = std::make_unique<rebound_info>();
    r->recvpkts = recvpkts;
    for (size_t i = 0; i < times.size(); ++i)
        r->recvtime[i] = times[i];
    return r;
}

QImage render(const rebound_info& r, const ChartCounters& counters, QSize size = kFrame) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawChart(painter, size, r, counters);
    painter.end();
    return image;
}

bool hasColour(const QImage& image, const QColor& colour, QRect area) {
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == colour.rgb()) return true;
    return false;
}

// Whether text in `colour` was drawn into `area` on white: antialiased glyphs blend the
// colour with the background, so look for a clear blend of exactly that colour.
bool hasTextIn(const QImage& image, const QColor& colour, QRect area) {
    const int target[3] = {colour.red(), colour.green(), colour.blue()};
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor px = image.pixelColor(x, y);
            const int got[3] = {px.red(), px.green(), px.blue()};
            const double alpha = (255.0 - got[0]) / (255.0 - target[0]);
            if (alpha < 0.5) continue;
            bool blend = true;
            for (int c = 0; c < 3; ++c)
                blend = blend && std::abs(got[c] - (255.0 - alpha * (255 - target[c]))) < 6;
            if (blend) return true;
        }
    }
    return false;
}

// Rows below the horizontal axis where the two text lines go, right of the vertical axis.
const QRect kTextBand(35, 371, 565, 29);

TEST(ChartScale, StepsFollowTheLargerOverTheSmaller) {
    struct Case {
        const char* name;
        int32_t recvpkts;
        std::vector<double> times;
        QSize frame;
        int32_t n;
        uint32_t dx;
        int64_t ymaxi;
        uint32_t dy;
    };
    const Case cases[] = {
        {"100 packets in 600 pixels", 100, {0.002}, kFrame, 100, 6, 2, 170},
        {"1200 packets in 600 pixels", 1200, {0.002}, kFrame, 1200, 2, 2, 170},
        {"as many packets as pixels", 600, {0.002}, kFrame, 600, 1, 2, 170},
        {"one packet", 1, {0.002}, kFrame, 1, 600, 2, 170},
        {"15 ms stretched into 340 rows", 3, {0.001, 0.015, 0.004}, kFrame, 3, 200, 15, 22},
        {"0.9 ms: below one whole ms", 1, {0.0009}, kFrame, 1, 600, 0, 377},
        {"500 ms runs past the top", 1, {0.5}, kFrame, 1, 600, 500, 1},
        {"340 ms fills the room exactly", 1, {0.34}, kFrame, 1, 600, 340, 1},
        {"700 ms", 1, {0.7}, kFrame, 1, 600, 700, 2},
        {"negative times count as 0", 2, {-0.5, -0.001}, kFrame, 2, 300, 0, kIntMax},
        {"only slots below n count", 1, {0.002, 0.300}, kFrame, 1, 600, 2, 170},
        // Factors without a finite or 32-bit value are held at INT32_MAX.
        {"every time 0.0", 5, {}, kFrame, 5, 120, 0, kIntMax},
        {"tiny time", 1, {1e-12}, kFrame, 1, 600, 0, kIntMax},
        {"absurd time", 1, {1e300}, kFrame, 1, 600, kIntMax, kIntMax},
        {"frame without room", 1, {0.005}, QSize(600, 60), 1, 600, 5, kIntMax},
        {"frame lower than its margins", 1, {0.005}, QSize(600, 50), 1, 600, 5, 0},
        {"frame without width", 3, {0.005}, QSize(0, 400), 3, 3, 5, 68},
        // The record holds 10000 slots; n never reaches past them.
        {"more echoes than slots", 20000, {0.002}, kFrame, REBOUND_MAXPKTS, 16, 2, 170},
        {"no echo", 0, {0.002}, kFrame, 0, 0, 0, 0},
        {"negative count", -7, {0.002}, kFrame, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartScale s = chartScale(*record(c.recvpkts, c.times), c.frame);
        EXPECT_EQ(s.n, c.n);
        EXPECT_EQ(s.dx, c.dx);
        EXPECT_EQ(s.ymaxi, c.ymaxi);
        EXPECT_EQ(s.dy, c.dy);
    }
}

TEST(ChartScale, VertexHeightsAreCutTowardsZeroAndStayDrawable) {
    EXPECT_EQ(chartHeight(10.0 / 1024, 34), 332); // 332.03125
    EXPECT_EQ(chartHeight(0.0, kIntMax), 0);
    EXPECT_EQ(chartHeight(-0.0015, 1000), -1500);
    EXPECT_EQ(chartHeight(1e300, kIntMax), 1 << 20);
    EXPECT_EQ(chartHeight(-1e300, kIntMax), -(1 << 20));
}

TEST(ChartText, PercentagesAndCountersAreFormattedWithTheirFieldWidths) {
    struct Case {
        ChartCounters counters;
        const char* percent;
        const char* counts;
    };
    const Case cases[] = {
        {{100, 100, 100},
         "Odebrano=100.00[%] Utracono=0.00[%]",
         "sendpkts=100 recvpkts=100 iterpkts+1=100"},
        {{3, 1, 2}, "Odebrano=33.33[%] Utracono=66.67[%]", "sendpkts= 3 recvpkts= 1 iterpkts+1= 2"},
        {{0, 5, 1}, "Odebrano=-1.00[%] Utracono=-1.00[%]", "sendpkts= 0 recvpkts= 5 iterpkts+1= 1"},
        {{-4, 0, 0},
         "Odebrano=-1.00[%] Utracono=-1.00[%]",
         "sendpkts=-4 recvpkts= 0 iterpkts+1= 0"},
        // Duplicated echoes: more received than sent.
        {{2, 3, 2},
         "Odebrano=150.00[%] Utracono=-50.00[%]",
         "sendpkts= 2 recvpkts= 3 iterpkts+1= 2"},
        // Extreme counters stay exact: the arithmetic is in floating point.
        {{1, 2147483647, 0},
         "Odebrano=214748364700.00[%] Utracono=-214748364600.00[%]",
         "sendpkts= 1 recvpkts=2147483647 iterpkts+1= 0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chartPercentText(c.counters), QLatin1String(c.percent));
        EXPECT_EQ(chartCounterText(c.counters), QLatin1String(c.counts));
    }
}

using ChartDrawing = apptest::InTempDir;

// Before the first run, and after a run without echoes: the four axis lines, nothing else,
// not even the texts, whatever the counters say.
TEST_F(ChartDrawing, EmptyRecordDrawsOnlyTheAxes) {
    const QImage image = render(*record(0, {0.5}), {10, 0, 11});
    const QRgb grey = kChartAxisColour.rgb();
    const QRgb white = QColor(Qt::white).rgb();
    int greyPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool onAxis = (y == 370 && x <= 570) || (x == 30 && y >= 30);
            ASSERT_EQ(image.pixel(x, y), onAxis ? grey : white) << x << "," << y;
            greyPixels += onAxis;
        }
    }
    EXPECT_EQ(greyPixels, 571 + 370 - 1);
    EXPECT_EQ(logLines(), QStringList{"Rebound::paintEvent( QPaintEvent * ):"});
}

// Three times exact in binary (multiples of 1/1024 s): dx = 200, ymax = 9.765625 ms,
// dy = floor(340 / 9.765625) = 34, vertex heights 332, 166 and 0, ticks at 0 and 5 ms.
TEST_F(ChartDrawing, KnownTimesGiveVerticesTicksTextsAndLogLines) {
    const QImage image = render(*record(3, {10.0 / 1024, 5.0 / 1024, 0.0}), {3, 3, 3});
    const QRgb black = kChartCurveColour.rgb();
    const QRgb grey = kChartAxisColour.rgb();
    // Frame pixel of chart point (x, y) is (x, 400 - y), chart point = vertex + 30.
    EXPECT_EQ(image.pixel(30, 38), grey) << "the vertical axis is drawn over the first vertex";
    EXPECT_EQ(image.pixel(230, 204), black);
    EXPECT_EQ(image.pixel(130, 121), black) << "midway between the first two vertices";
    EXPECT_EQ(image.pixel(330, 287), black) << "midway between the last two vertices";
    EXPECT_EQ(image.pixel(430, 370), grey) << "the last vertex lies on the axis";
    EXPECT_EQ(image.pixel(130, 200), QColor(Qt::white).rgb());
    // The 5 ms tick at chart height 30 + 34 * 5, its label in its own colour left of it.
    for (int x : {25, 28, 33, 35})
        EXPECT_EQ(image.pixel(x, 200), grey) << x;
    EXPECT_EQ(image.pixel(36, 200), QColor(Qt::white).rgb());
    EXPECT_TRUE(hasTextIn(image, kChartTickLabelColour, QRect(5, 190, 20, 16)));
    EXPECT_TRUE(hasTextIn(image, kChartTickLabelColour, QRect(5, 360, 20, 16)));
    EXPECT_TRUE(hasTextIn(image, kChartTextColour, kTextBand));

    const QStringList expected = {
        "Rebound::paintEvent( QPaintEvent * ):",
        "Rebound::paintEvent( QPaintEvent * ): ymax=9.765625 dx=200 dy=34 "
        "qDrawChart->width()=600 qDrawChart->height()=400 reboundinfo->recvpkts=3",
        "Rebound::paintEvent( QPaintEvent * ): reboundinfo->recvtime[i]=0.009766 x2=   0 y2=332",
        "Rebound::paintEvent( QPaintEvent * ): reboundinfo->recvtime[i]=0.004883 x2= 200 y2=166",
        "Rebound::paintEvent( QPaintEvent * ): reboundinfo->recvtime[i]=0.000000 x2= 400 y2=0",
        "Rebound::paintEvent( QPaintEvent * ): mvx-mvx/2-10=5, sy-mvy-y1=370",
        "Rebound::paintEvent( QPaintEvent * ): mvx-mvx/2-10=5, sy-mvy-y1=200",
    };
    EXPECT_EQ(logLines(), expected);
}

// The tick positions (H - 30 - t in the log) and vertex x positions for the scale cases.
TEST_F(ChartDrawing, TicksAndVertexColumnsFollowTheScale) {
    struct Case {
        const char* name;
        int32_t recvpkts;
        std::vector<double> times;
        std::vector<int> ticks; // logged sy-mvy-y1 values, in order
        int lastX;              // x2 of the last vertex
    };
    std::vector<int> ticks500;
    for (int v = 0; v < 500; v += 5)
        ticks500.push_back(370 - v);
    const Case cases[] = {
        {"15 ms: heights 30, 140, 250", 1, {0.015}, {370, 260, 150}, 0},
        {"0.9 ms: no tick", 1, {0.0009}, {}, 0},
        {"500 ms: ticks beyond the top edge too", 1, {0.5}, ticks500, 0},
        {"every time 0.0: no tick", 4, {}, {}, 450},
        {"100 packets", 100, {0.0009}, {}, 594},
        {"1200 packets", 1200, {0.0009}, {}, 2398},
        {"more echoes than slots", 20000, {0.0009}, {}, 16 * 9999},
        // Only ticks within reach of a frame are drawn, whatever the record holds.
        {"absurd time", 1, {1e300}, {370}, 0},
    };
    const QString tickPrefix = "Rebound::paintEvent( QPaintEvent * ): mvx-mvx/2-10=5, sy-mvy-y1=";
    const QString vertexPrefix = "Rebound::paintEvent( QPaintEvent * ): reboundinfo->recvtime[i]=";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path("reboundgui.log"));
        render(*record(c.recvpkts, c.times), {1, 1, 1});
        std::vector<int> ticks;
        QString lastVertex;
        int vertices = 0;
        for (const QString& line : logLines()) {
            if (line.startsWith(tickPrefix)) ticks.push_back(line.mid(tickPrefix.size()).toInt());
            if (line.startsWith(vertexPrefix)) lastVertex = line, ++vertices;
        }
        EXPECT_EQ(ticks, c.ticks);
        EXPECT_EQ(vertices, std::min(c.recvpkts, REBOUND_MAXPKTS));
        EXPECT_TRUE(lastVertex.contains(QString::asprintf(" x2=% 4d ", c.lastX)))
            << lastVertex.toStdString();
    }
}

// Echoes on the time axis and the texts: the axis, drawn after the curve, hides it.
TEST_F(ChartDrawing, ZeroTimesLieOnTheAxisWithTextsDrawn) {
    const QImage image = render(*record(3), {3, 3, 3});
    EXPECT_FALSE(hasColour(image, kChartCurveColour, image.rect()));
    EXPECT_EQ(image.pixel(300, 370), kChartAxisColour.rgb());
    EXPECT_TRUE(hasTextIn(image, kChartTextColour, kTextBand));
    EXPECT_FALSE(hasTextIn(image, kChartTickLabelColour, image.rect()));
}

} // namespace
