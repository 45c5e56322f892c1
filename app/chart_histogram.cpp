#include "app/chart_histogram.h"

#include "app/chart.h"
#include "app/guilog.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Room a tick label needs along the horizontal axis ("100.0" and a gap).
constexpr double kLabelWidth = 40.0;
constexpr int kLabelBaselineBelowAxis = 14;
constexpr int kTitleBaseline = 18;
constexpr int kTextX = 35;

} // namespace

std::vector<int> histogramBins(const RunResults& results) {
    const ChartScale s = chartScale(results, QSize(0, 0));
    std::vector<int> bins;
    if (!(s.ymax > 0.0)) return bins;
    bins.assign(kHistogramBins, 0);
    for (int i = 0; i < s.n; ++i) {
        if (!probeTimed(results, i)) continue;
        const double t = results.record.recvtime[i];
        const double share = std::isfinite(t) ? std::clamp(t / s.ymax, 0.0, 1.0) : 0.0;
        ++bins[std::min(int(share * kHistogramBins), kHistogramBins - 1)];
    }
    return bins;
}

void drawHistogram(QPainter& painter, QSize frame, const RunResults& results) {
    guilog("Rebound::paintEvent( QPaintEvent * ): histogram\n");
    const std::vector<int> bins = histogramBins(results);
    drawChartAxes(painter, frame);
    if (bins.empty()) return;
    ChartScale s = chartScale(results, frame);
    const int h = frame.height(), m = kChartMargin;
    const int largest = *std::max_element(bins.begin(), bins.end());
    const double binWidth = double(s.width) / kHistogramBins;
    for (int b = 0; b < kHistogramBins; ++b) {
        if (bins[b] == 0) continue;
        const int top = std::max(1, int(std::trunc(double(s.room) * bins[b] / largest)));
        const int left = m + 1 + int(b * binWidth);
        const int right = m + int((b + 1) * binWidth) - 1;
        painter.fillRect(QRect(QPoint(left, h - m - top), QPoint(std::max(left, right), h - m - 1)),
                         kChartCurveColour);
    }
    // Times along the horizontal axis, labelled as the chart labels its time axis.
    s.dy = s.width / s.ymaxms;
    const ChartTicks ticks = chartTicks(s, kLabelWidth);
    for (double v : ticks.values) {
        const int x = m + int(std::trunc(v * s.dy));
        drawChartLine(painter, h, kChartAxisColour, x, m, x, m - 5);
        painter.setPen(kChartTickLabelColour);
        const QString label = tickLabel(v, ticks.decimals).trimmed();
        painter.drawText(x - painter.fontMetrics().horizontalAdvance(label) / 2,
                         h - m + kLabelBaselineBelowAxis, label);
    }
    painter.setPen(kChartTickLabelColour);
    const QString unit = QLatin1String(kChartTimeUnit);
    painter.drawText(frame.width() - m - painter.fontMetrics().horizontalAdvance(unit),
                     h - m + 2 * kLabelBaselineBelowAxis, unit);
    painter.drawText(kTextX, kTitleBaseline,
                     QStringLiteral("round trips per %1 ms bin (largest bin: %2 probes)")
                         .arg(s.ymaxms / kHistogramBins, 0, 'g', 3)
                         .arg(largest));
}
