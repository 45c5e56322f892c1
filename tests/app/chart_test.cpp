#include "app/chart.h"
#include "tests/app/app_test_support.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

namespace {

const QSize kFrame(600, 400);

using apptest::results;

QImage render(const RunResults& r, QSize size = kFrame) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawChart(painter, size, r);
    painter.end();
    return image;
}

// Frame pixel of a vertex at chart column x and height y (the margin added, y downwards).
QPoint vertexPixel(int x, int y) {
    return {x + kChartMargin, kFrame.height() - kChartMargin - y};
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

// The curve's pixels outside the area between the axes, as "x,y" texts.
QStringList curveOutsideTheAxes(const QImage& image) {
    const QRect inside(kChartMargin, kChartMargin, kFrame.width() - 2 * kChartMargin,
                       kFrame.height() - 2 * kChartMargin + 1);
    QStringList outside;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == kChartCurveColour.rgb() && !inside.contains(x, y))
                outside.append(QString("%1,%2").arg(x).arg(y));
    return outside;
}

struct Vertex {
    int x, y;
};

// The vertices a repaint logged, in order.
std::vector<Vertex> loggedVertices(const QStringList& log) {
    static const QRegularExpression line(
        R"(reboundinfo->recvtime\[i\]=\S+ x2=\s*(-?\d+) y2=(-?\d+)$)");
    std::vector<Vertex> vertices;
    for (const QString& l : log)
        if (const auto m = line.match(l); m.hasMatch())
            vertices.push_back({m.captured(1).toInt(), m.captured(2).toInt()});
    return vertices;
}

// Rows below the horizontal axis where the two text lines go, right of the vertical axis.
const QRect kTextBand(35, 371, 565, 29);

using ChartDrawing = apptest::InTempDir;

// Before the first run (no probe of any run): the four axis lines, nothing else, not even the
// texts or the units, whatever the counters say.
TEST_F(ChartDrawing, EmptyRecordDrawsOnlyTheAxes) {
    const QImage image = render(*results(0, {0.5}));
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

// Three times exact in binary (multiples of 1/1024 s): dx = 540 / 3, ymax = 9.765625 ms fills
// the 340 rows (dy = 34.816), vertex heights 340, 170 and 0, ticks at 0 and 5 ms.
TEST_F(ChartDrawing, KnownTimesGiveVerticesTicksUnitsTextsAndLogLines) {
    const QImage image = render(*results(3, {10.0 / 1024, 5.0 / 1024, 0.0}));
    const QRgb black = kChartCurveColour.rgb();
    const QRgb grey = kChartAxisColour.rgb();
    const QRgb white = QColor(Qt::white).rgb();
    EXPECT_EQ(image.pixel(31, 30), black) << "the first vertex lies right of the vertical axis";
    EXPECT_EQ(image.pixel(vertexPixel(180, 170)), black);
    EXPECT_TRUE(image.pixel(120, 114) == black || image.pixel(120, 115) == black)
        << "midway between the first two vertices";
    EXPECT_EQ(image.pixel(300, 285), black) << "midway between the last two vertices";
    EXPECT_EQ(image.pixel(vertexPixel(360, 0)), grey) << "the last vertex lies on the axis";
    EXPECT_EQ(image.pixel(120, 200), white);
    // The 5 ms tick at chart height 30 + 174 up to the axis, its label in its own colour left
    // of it; right of the axis the curve's columns stay free.
    for (int x : {25, 28, 30})
        EXPECT_EQ(image.pixel(x, 196), grey) << x;
    EXPECT_EQ(image.pixel(31, 196), white);
    EXPECT_TRUE(hasTextIn(image, kChartTickLabelColour, QRect(5, 186, 20, 16)));
    EXPECT_TRUE(hasTextIn(image, kChartTickLabelColour, QRect(5, 362, 20, 16)));
    EXPECT_TRUE(hasTextIn(image, kChartTextColour, kTextBand));
    // The units: "ms" above the tick labels, "probe" under the end of the packet axis.
    EXPECT_TRUE(hasTextIn(image, kChartTickLabelColour, QRect(5, 4, 20, 16)));
    EXPECT_TRUE(hasTextIn(image, kChartTickLabelColour, QRect(480, 371, 90, 14)));
    EXPECT_FALSE(hasTextIn(image, kChartTickLabelColour, QRect(36, 371, 300, 29)));

    const QStringList expected = {
        "Rebound::paintEvent( QPaintEvent * ):",
        "Rebound::paintEvent( QPaintEvent * ): ymax=9.765625 dx=179.666667 dy=34.816000 "
        "qDrawChart->width()=600 qDrawChart->height()=400 reboundinfo->recvpkts=3",
        "Rebound::paintEvent( QPaintEvent * ): reboundinfo->recvtime[i]=0.009766 x2=   1 y2=340",
        "Rebound::paintEvent( QPaintEvent * ): reboundinfo->recvtime[i]=0.004883 x2= 180 y2=170",
        "Rebound::paintEvent( QPaintEvent * ): reboundinfo->recvtime[i]=0.000000 x2= 360 y2=0",
        "Rebound::paintEvent( QPaintEvent * ): mvx-mvx/2-10=5, sy-mvy-y1=370",
        "Rebound::paintEvent( QPaintEvent * ): mvx-mvx/2-10=5, sy-mvy-y1=196",
    };
    EXPECT_EQ(logLines(), expected);
}

// However many packets: one vertex each, every one between the axes, the last one drawn in
// the last column, and no pixel of the curve beyond the axes.
TEST_F(ChartDrawing, EveryPacketIsDrawnBetweenTheAxes) {
    for (int n : {100, 1000, 10000}) {
        SCOPED_TRACE(n);
        QFile::remove(path("reboundgui.log"));
        std::vector<double> times(n);
        for (int i = 0; i < n; ++i)
            times[i] = (1 + (i * 37) % 97) * 1e-4; // 0.1 to 9.7 ms, the largest within 100
        const QImage image = render(*results(n, times));

        const std::vector<Vertex> vertices = loggedVertices(logLines());
        ASSERT_EQ(vertices.size(), size_t(n));
        for (const Vertex& v : vertices) {
            ASSERT_TRUE(v.x >= 1 && v.x < 540 && v.y > 0 && v.y <= 340) << v.x << "," << v.y;
            // The first columns lie under the vertical axis and its ticks, drawn after the curve.
            if (v.x > 5) {
                ASSERT_EQ(image.pixel(vertexPixel(v.x, v.y)), kChartCurveColour.rgb());
            }
        }
        EXPECT_EQ(vertices.back().x, 1 + 539 * (n - 1) / n);
        EXPECT_EQ(curveOutsideTheAxes(image), QStringList());
        EXPECT_EQ(std::max_element(vertices.begin(), vertices.end(),
                                   [](Vertex a, Vertex b) { return a.y < b.y; })
                      ->y,
                  340)
            << "the largest time reaches the top of the room";
    }
}

// 10000 packets in 540 columns: a single slow echo among fast ones still reaches the top.
TEST_F(ChartDrawing, ASpikeAmongPacketsSharingAColumnIsNotHidden) {
    std::vector<double> times(10000, 0.001);
    times[6001] = 0.020;
    const QImage image = render(*results(10000, times));
    const int column = 1 + 539 * 6001 / 10000; // 324
    EXPECT_EQ(image.pixel(vertexPixel(column, 340)), kChartCurveColour.rgb());
    EXPECT_EQ(image.pixel(vertexPixel(column, 17)), kChartCurveColour.rgb());
    EXPECT_EQ(image.pixel(vertexPixel(column + 2, 340)), QColor(Qt::white).rgb());
}

// Half a second against a room of 340 rows: squeezed, the top of the curve on the top of the
// room, nothing above it.
TEST_F(ChartDrawing, ATimeAboveTheRoomStaysInsideTheFrame) {
    const QImage image = render(*results(2, {0.1, 0.5}));
    EXPECT_EQ(image.pixel(vertexPixel(270, 340)), kChartCurveColour.rgb());
    EXPECT_EQ(image.pixel(vertexPixel(1, 68)), kChartCurveColour.rgb()) << "right of the axis";
    EXPECT_EQ(curveOutsideTheAxes(image), QStringList());
}

// Labels with decimals, or of seconds, are drawn smaller where they would reach the ticks and
// the axis; those that fit keep the frame's font.
TEST_F(ChartDrawing, TickLabelsStayLeftOfTheTicks) {
    const QRect ticksAndAxis(25, 25, 12, 350);
    for (double ymax : {0.00003, 0.0009, 0.015, 0.5, 4.0, 60.0}) {
        SCOPED_TRACE(ymax);
        const QImage image = render(*results(1, {ymax}));
        EXPECT_TRUE(hasTextIn(image, kChartTickLabelColour, QRect(0, 25, 25, 355)));
        EXPECT_FALSE(hasTextIn(image, kChartTickLabelColour, ticksAndAxis));
    }
}

// The tick positions (H - 30 - t in the log) and vertex columns for the scale cases.
TEST_F(ChartDrawing, TicksAndVertexColumnsFollowTheScale) {
    struct Case {
        const char* name;
        int32_t recvpkts;
        std::vector<double> times;
        std::vector<int> ticks; // logged sy-mvy-y1 values, in order
        int lastX;              // x2 of the last vertex
    };
    const Case cases[] = {
        {"15 ms: 0, 5 and 10 ms", 1, {0.015}, {370, 257, 144}, 1},
        {"0.9 ms: every 0.2 ms", 1, {0.0009}, {370, 295, 219, 144, 68}, 1},
        {"500 ms: every 100 ms", 1, {0.5}, {370, 302, 234, 166, 98}, 1},
        {"every time 0.0: no tick", 4, {}, {}, 405},
        {"100 packets", 100, {0.0009}, {370, 295, 219, 144, 68}, 534},
        {"1200 packets", 1200, {0.0009}, {370, 295, 219, 144, 68}, 539},
        {"more probes than slots", 20000, {0.0009}, {370, 295, 219, 144, 68}, 539},
        {"absurd time", 1, {1e300}, {370, 302, 234, 166, 98}, 1},
    };
    const QString tickPrefix = "Rebound::paintEvent( QPaintEvent * ): mvx-mvx/2-10=5, sy-mvy-y1=";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path("reboundgui.log"));
        render(*results(c.recvpkts, c.times));
        std::vector<int> ticks;
        for (const QString& line : logLines())
            if (line.startsWith(tickPrefix)) ticks.push_back(line.mid(tickPrefix.size()).toInt());
        EXPECT_EQ(ticks, c.ticks);
        const std::vector<Vertex> vertices = loggedVertices(logLines());
        ASSERT_EQ(vertices.size(), size_t(std::min(c.recvpkts, REBOUND_MAXPKTS)));
        EXPECT_EQ(vertices.back().x, c.lastX);
    }
}

// Echoes on the time axis and the texts: the axis, drawn after the curve, hides it; there is
// no tick to label.
TEST_F(ChartDrawing, ZeroTimesLieOnTheAxisWithTextsDrawn) {
    const QImage image = render(*results(3));
    EXPECT_EQ(curveOutsideTheAxes(image), QStringList());
    for (int x = 31; x < 570; ++x)
        ASSERT_NE(image.pixel(x, 369), kChartCurveColour.rgb()) << x;
    EXPECT_EQ(image.pixel(300, 370), kChartAxisColour.rgb());
    EXPECT_TRUE(hasTextIn(image, kChartTextColour, kTextBand));
    EXPECT_FALSE(hasTextIn(image, kChartTickLabelColour, QRect(0, 25, 30, 360)));
}

// Whether the column of a probe shows a mark of `colour` just above the axis.
bool markAt(const QImage& image, const RunResults& r, int probe, const QColor& colour) {
    const ChartScale s = chartScale(r, kFrame);
    return image.pixel(vertexPixel(chartColumn(s, probe), kChartMarkHeight / 2)) == colour.rgb();
}

// The x axis spans the run's probes; a lost probe gets its red mark in its own column and no
// vertex (nothing at 0 ms that was not measured there), a late echo its orange mark; every
// vertex lies right of the vertical axis.
TEST_F(ChartDrawing, LostAndLateProbesAreMarkedInTheirColumns) {
    struct Case {
        const char* name;
        int32_t planned;
        std::vector<double> times;
        std::set<int32_t> lost;
        std::set<int32_t> late;
        RunState state;
        int32_t span;   // probes sent
        int32_t axis;   // probes the x axis spans
        int firstY;     // height of the first vertex
        double ymaxms;  // the scale's largest time: a lost probe's slot does not count
    };
    std::vector<double> slowFirst(100, 0.00014);
    slowFirst[0] = 0.00076;
    std::vector<double> lossy(1000, 0.001);
    lossy[69] = 0.004;
    const Case cases[] = {
        {"losses at known probes", 1000, lossy, {0, 69, 500, 998, 999}, {}, RunState::finished,
         1000, 1000, 340, 1.0},
        {"the first probe is the slowest", 100, slowFirst, {}, {}, RunState::finished, 100, 100,
         340, 0.76},
        {"a late echo", 100, std::vector<double>(100, 0.002), {}, {42}, RunState::finished, 100,
         100, 340, 2.0},
        {"ended early: the probes sent", 100, std::vector<double>(40, 0.002), {39}, {},
         RunState::ended, 40, 40, 340, 2.0},
        {"stopped", 100, std::vector<double>(40, 0.002), {}, {}, RunState::stopped, 40, 40, 340,
         2.0},
        {"still running: the run's full length", 100, std::vector<double>(40, 0.002), {}, {},
         RunState::running, 40, 100, 340, 2.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path("reboundgui.log"));
        auto r = results(c.span, c.times, c.lost);
        r->planned = c.planned;
        r->state = c.state;
        for (int32_t i : c.late)
            r->marks[i] |= kMarkLate;
        const QImage image = render(*r);
        const ChartScale s = chartScale(*r, kFrame);
        EXPECT_EQ(s.n, c.axis);
        EXPECT_DOUBLE_EQ(s.ymaxms, c.ymaxms);
        EXPECT_TRUE(logLines().value(1).contains(QString(" dx=%1 ").arg(539.0 / c.axis, 0, 'f', 6)))
            << logLines().value(1).toStdString();

        const std::vector<Vertex> vertices = loggedVertices(logLines());
        ASSERT_EQ(vertices.size(), size_t(c.span) - c.lost.size());
        for (const Vertex& v : vertices)
            ASSERT_TRUE(v.x >= 1 && v.y > 0) << v.x << "," << v.y;
        if (!c.lost.count(0)) {
            EXPECT_EQ(vertices.front().x, 1);
            EXPECT_EQ(vertices.front().y, c.firstY);
            EXPECT_EQ(image.pixel(vertexPixel(1, c.firstY)), kChartCurveColour.rgb());
        }
        for (int32_t i : c.lost)
            EXPECT_TRUE(markAt(image, *r, i, kChartLostColour)) << "lost " << i;
        for (int32_t i : c.late)
            EXPECT_TRUE(markAt(image, *r, i, kChartLateColour)) << "late " << i;
        EXPECT_FALSE(markAt(image, *r, 25, kChartLostColour)) << "probe 25 was answered";
        EXPECT_EQ(curveOutsideTheAxes(image), QStringList());
    }
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

} // namespace
