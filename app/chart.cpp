#include "app/chart.h"

#include "app/guilog.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr const char* kPaintLog = "Rebound::paintEvent( QPaintEvent * ):";

// Far enough outside every frame that a point there is simply cut off, near enough that
// adding margins never overflows.
constexpr int kFarAway = 1 << 20;

int clampToPixels(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::clamp(value, double(-kFarAway), double(kFarAway)));
}

int clampToPixels(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, -kFarAway, kFarAway));
}

// A non-negative quotient as an integer factor: NaN gives 0, infinity or anything above the
// signed 32-bit range gives INT32_MAX.
uint32_t factor(double quotient) {
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    if (std::isnan(quotient) || quotient <= 0.0) return 0;
    if (quotient >= kMax) return static_cast<uint32_t>(kMax);
    return static_cast<uint32_t>(std::floor(quotient));
}

void drawAxes(QPainter& painter, QSize frame) {
    const int w = frame.width(), h = frame.height(), m = kChartMargin;
    drawChartLine(painter, h, kChartAxisColour, m, m, w - m, m);
    drawChartLine(painter, h, kChartAxisColour, m, m, -m, m);
    drawChartLine(painter, h, kChartAxisColour, m, m, m, h - m);
    drawChartLine(painter, h, kChartAxisColour, m, m, m, -m);
}

} // namespace

ChartScale chartScale(const rebound_info& record, QSize frame) {
    ChartScale s;
    s.n = std::clamp(record.recvpkts, 0, REBOUND_MAXPKTS);
    if (s.n == 0) return s;

    const int64_t w = std::max(frame.width(), 1);
    s.dx = static_cast<uint32_t>(s.n <= w ? w / s.n : s.n / w);

    double ymax = 0.0;
    for (int i = 0; i < s.n; ++i)
        ymax = std::max(ymax, record.recvtime[i]);
    s.ymaxms = ymax * 1000.0;
    constexpr double kIntMax = std::numeric_limits<int32_t>::max();
    s.ymaxi = static_cast<int64_t>(std::min(s.ymaxms, kIntMax));

    // The larger by the smaller: a low curve is stretched to fill the room, a high one runs
    // past the top edge. The comparison uses the cut value, the division the exact one.
    const int r = frame.height() - 2 * kChartMargin;
    s.dy = factor(s.ymaxi > r ? s.ymaxms / r : r / s.ymaxms);
    return s;
}

int chartHeight(double seconds, uint32_t dy) {
    return clampToPixels(std::trunc(1000.0 * dy * seconds));
}

QString chartPercentText(const ChartCounters& c) {
    double received = -1.0, lost = -1.0;
    if (c.sendpkts > 0) {
        received = double(c.recvpkts) * 100.0 / c.sendpkts;
        lost = (double(c.sendpkts) - c.recvpkts) * 100.0 / c.sendpkts;
    }
    return QStringLiteral("Odebrano=%4[%] Utracono=%5[%]")
        .arg(received, 4, 'f', 2)
        .arg(lost, 4, 'f', 2);
}

QString chartCounterText(const ChartCounters& c) {
    return QStringLiteral("sendpkts=%1 recvpkts=%2 iterpkts+1=%3")
        .arg(c.sendpkts, 2)
        .arg(c.recvpkts, 2)
        .arg(c.iterpkts, 2);
}

void drawChartLine(QPainter& painter, int frameHeight, const QColor& colour, int x1, int y1, int x2,
                   int y2) {
    painter.setPen(colour);
    painter.drawLine(x1, frameHeight - y1, x2, frameHeight - y2);
}

void drawChart(QPainter& painter, QSize frame, const rebound_info& record,
               const ChartCounters& counters) {
    guilog("%s\n", kPaintLog);
    const ChartScale s = chartScale(record, frame);
    if (s.n <= 0) {
        drawAxes(painter, frame);
        return;
    }
    const int w = frame.width(), h = frame.height(), m = kChartMargin;
    guilog("%s ymax=%f dx=%u dy=%u qDrawChart->width()=%d qDrawChart->height()=%d "
           "reboundinfo->recvpkts=%d\n",
           kPaintLog, s.ymaxms, s.dx, s.dy, w, h, record.recvpkts);

    int prevx = 0, prevy = chartHeight(record.recvtime[0], s.dy);
    for (int i = 0; i < s.n; ++i) {
        const int x = clampToPixels(int64_t(s.dx) * i);
        const int y = chartHeight(record.recvtime[i], s.dy);
        guilog("%s reboundinfo->recvtime[i]=%f x2=% 4d y2=%d\n", kPaintLog, record.recvtime[i], x,
               y);
        drawChartLine(painter, h, kChartCurveColour, prevx + m, prevy + m, x + m, y + m);
        prevx = x;
        prevy = y;
    }
    drawAxes(painter, frame);

    painter.setPen(kChartTextColour);
    painter.drawText(35, h - 18, chartPercentText(counters));
    painter.drawText(35, h - 6, chartCounterText(counters));

    // Ticks every 5 ms below the largest time; only those within the range a frame can show
    // at all, which bounds the work of a repaint whatever times the record holds.
    const int64_t step = std::max<int64_t>(s.dy, 1);
    for (int64_t v = 0; v < s.ymaxi && step * v <= kFarAway; v += 5) {
        const int t = clampToPixels(int64_t(s.dy) * v);
        drawChartLine(painter, h, kChartAxisColour, 25, t + m, 35, t + m);
        painter.setPen(kChartTickLabelColour);
        guilog("%s mvx-mvx/2-10=%d, sy-mvy-y1=%d\n", kPaintLog, 5, h - m - t);
        painter.drawText(5, h - 25 - t, QStringLiteral("%1").arg(v, 2));
    }
}
