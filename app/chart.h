// The round-trip chart: the per-packet round-trip times of a result record in milliseconds
// over the packet index, two axes, a tick every 5 ms, and two text lines with the received and
// lost percentages and the window's counters. Drawing is a free operation on any painter, so
// the chart can be rendered into an image as well as into the window's chart frame.
#pragma once

#include "engine/result_record.h"

#include <QColor>
#include <QSize>
#include <QString>

#include <cstdint>

class QPainter;

// The window's copies of the last run's summary; the chart's texts show them.
struct ChartCounters {
    int32_t sendpkts = 0;
    int32_t recvpkts = 0;
    int32_t iterpkts = 0; // the record's iterpkts plus one
};

inline const QColor kChartCurveColour{0, 0, 0};
inline const QColor kChartAxisColour{136, 136, 136};
inline const QColor kChartTextColour{136, 187, 187};
inline const QColor kChartTickLabelColour{68, 136, 187};

// Chart coordinates start 30 pixels in from the left and bottom edges of the frame.
inline constexpr int kChartMargin = 30;

// Scale of one repaint, recomputed from the record each time.
struct ChartScale {
    int32_t n = 0;       // vertices drawn: the record's recvpkts, never beyond its capacity
    uint32_t dx = 0;     // larger of frame width and n divided by the smaller
    double ymaxms = 0.0; // largest drawn round-trip time, milliseconds
    int64_t ymaxi = 0;   // ymaxms cut to whole milliseconds; ticks run below it
    uint32_t dy = 0;     // vertical factor; an infinite or too large one is held at INT32_MAX
};
ChartScale chartScale(const rebound_info& record, QSize frame);

// Chart height of a vertex: 1000 * dy * seconds cut towards zero, held within a range that
// stays far outside any frame so later coordinate arithmetic cannot overflow.
int chartHeight(double seconds, uint32_t dy);

// The percentage line and the counter line drawn under the curve.
QString chartPercentText(const ChartCounters& counters);
QString chartCounterText(const ChartCounters& counters);

// Line between two chart points (origin bottom left, y upwards) in a frame `frameHeight`
// pixels high.
void drawChartLine(QPainter& painter, int frameHeight, const QColor& colour, int x1, int y1, int x2,
                   int y2);

// One complete repaint into an active painter whose drawing area is `frame`, logging each
// step. Only the axes are drawn while the record holds no received echo.
void drawChart(QPainter& painter, QSize frame, const rebound_info& record,
               const ChartCounters& counters);
