#include "app/chart.h"

#include "app/guilog.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>

#include <algorithm>

namespace {

constexpr const char* kPaintLog = "Rebound::paintEvent( QPaintEvent * ):";

// Text positions in frame pixels (baselines), measured from the bottom where so noted.
constexpr int kTextX = 35;
constexpr int kPercentFromBottom = 18;
constexpr int kCounterFromBottom = 6;
constexpr int kTickLabelX = 5;
constexpr int kTickLabelBelowTick = 5; // baseline below the tick's height
constexpr int kTickFromX = 25;         // a tick runs from here to the vertical axis, so the
                                       // columns right of the axis belong to the probes
// Room for a tick label between its position and the tick.
constexpr int kTickLabelRoom = kTickFromX - kTickLabelX - 1;
constexpr int kTimeUnitBaseline = 18; // above the highest tick label

// Every probe with a measured round trip is one vertex, in probe order; where several share a
// pixel column the polyline runs up and down that column through all of them, so the column
// shows their whole range and no spike hides. Probes without one are left out: the line joins
// the measured probes on either side, and the lost mark shows the gap.
void drawCurve(QPainter& painter, QSize frame, const ChartScale& s, const RunResults& results) {
    const int h = frame.height(), m = kChartMargin;
    const rebound_info& record = results.record;
    bool first = true;
    int prevx = 0, prevy = 0;
    for (int i = 0; i < s.n; ++i) {
        if (!probeTimed(results, i)) continue;
        const int x = chartColumn(s, i);
        const int y = chartHeight(s, record.recvtime[i]);
        guilog("%s reboundinfo->recvtime[i]=%f x2=% 4d y2=%d\n", kPaintLog, record.recvtime[i], x,
               y);
        if (first) {
            prevx = x;
            prevy = y;
            first = false;
        }
        drawChartLine(painter, h, kChartCurveColour, prevx + m, prevy + m, x + m, y + m);
        prevx = x;
        prevy = y;
    }
}

// A short tick up from the axis in the column of every probe lost, and of every echo that came
// late; lost marks are drawn last, so they win a shared column.
void drawMarks(QPainter& painter, QSize frame, const ChartScale& s, const RunResults& results) {
    const int h = frame.height(), m = kChartMargin;
    for (int i = 0; i < s.n; ++i) {
        if (!(results.marks[i] & kMarkLate)) continue;
        const int x = chartColumn(s, i) + m;
        drawChartLine(painter, h, kChartLateColour, x, m + 1, x, m + kChartMarkHeight);
    }
    for (int i = 0; i < s.n; ++i) {
        if (!probeLost(results, i)) continue;
        const int x = chartColumn(s, i) + m;
        drawChartLine(painter, h, kChartLostColour, x, m + 1, x, m + kChartMarkHeight);
    }
}

// The painter's font, made smaller where the widest of `labels` would otherwise reach the ticks
// and the axis (labels with decimals, or of thousands of milliseconds).
QFont labelFont(const QPainter& painter, const QStringList& labels) {
    QFont font = painter.font();
    auto widest = [&labels](const QFont& f) {
        const QFontMetricsF metrics(f);
        qreal w = 0;
        for (const QString& label : labels)
            w = std::max(w, metrics.horizontalAdvance(label));
        return w;
    };
    // Glyph sizes do not scale exactly: shrink until the labels fit.
    for (qreal w = widest(font); w > kTickLabelRoom; w = widest(font)) {
        const qreal scale = std::min(kTickLabelRoom / w, 0.95);
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * scale);
        else if (font.pixelSize() > 1)
            font.setPixelSize(std::max(1, int(font.pixelSize() * scale)));
        else
            break;
    }
    return font;
}

void drawTicks(QPainter& painter, QSize frame, const ChartScale& s) {
    const int h = frame.height(), m = kChartMargin;
    const ChartTicks ticks = chartTicks(s);
    QStringList labels;
    for (double v : ticks.values)
        labels.append(tickLabel(v, ticks.decimals));
    const QFont font = painter.font();
    painter.setFont(labelFont(painter, labels));
    for (size_t k = 0; k < ticks.values.size(); ++k) {
        const double v = ticks.values[k];
        const int t = chartHeight(s, v / 1000.0);
        drawChartLine(painter, h, kChartAxisColour, kTickFromX, t + m, m, t + m);
        painter.setPen(kChartTickLabelColour);
        guilog("%s mvx-mvx/2-10=%d, sy-mvy-y1=%d\n", kPaintLog, kTickLabelX, h - m - t);
        painter.drawText(kTickLabelX, h - m + kTickLabelBelowTick - t, labels[int(k)]);
    }
    painter.setFont(font);
}

void drawUnits(QPainter& painter, QSize frame) {
    painter.setPen(kChartTickLabelColour);
    painter.drawText(kTickLabelX, kTimeUnitBaseline, QLatin1String(kChartTimeUnit));
    const QString packets = QLatin1String(kChartPacketUnit);
    const int right = frame.width() - kChartMargin;
    painter.drawText(right - painter.fontMetrics().horizontalAdvance(packets),
                     frame.height() - kPercentFromBottom, packets);
}

} // namespace

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

void drawChartAxes(QPainter& painter, QSize frame) {
    const int w = frame.width(), h = frame.height(), m = kChartMargin;
    drawChartLine(painter, h, kChartAxisColour, m, m, w - m, m);
    drawChartLine(painter, h, kChartAxisColour, m, m, -m, m);
    drawChartLine(painter, h, kChartAxisColour, m, m, m, h - m);
    drawChartLine(painter, h, kChartAxisColour, m, m, m, -m);
}

void drawChart(QPainter& painter, QSize frame, const RunResults& results) {
    // One write per output for the whole repaint rather than one per probe.
    const GuilogBatch batch;
    guilog("%s\n", kPaintLog);
    const ChartScale s = chartScale(results, frame);
    if (s.n <= 0) {
        drawChartAxes(painter, frame);
        return;
    }
    const int h = frame.height();
    const ChartCounters& counters = results.counters;
    guilog("%s ymax=%f dx=%f dy=%f qDrawChart->width()=%d qDrawChart->height()=%d "
           "reboundinfo->recvpkts=%d\n",
           kPaintLog, s.ymaxms, s.dx, s.dy, frame.width(), h, results.record.recvpkts);
    drawCurve(painter, frame, s, results);
    drawChartAxes(painter, frame);
    drawMarks(painter, frame, s, results);

    painter.setPen(kChartTextColour);
    painter.drawText(kTextX, h - kPercentFromBottom, chartPercentText(counters));
    painter.drawText(kTextX, h - kCounterFromBottom, chartCounterText(counters));

    drawTicks(painter, frame, s);
    drawUnits(painter, frame);
}
