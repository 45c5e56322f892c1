// The scale of one repaint of the chart, recomputed from the record each time: where every
// answered packet goes between the axes, and which ticks label the time axis.
#pragma once

#include "engine/result_record.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

// Chart coordinates start 30 pixels in from the left and bottom edges of the frame; as much is
// left free at the right and at the top.
inline constexpr int kChartMargin = 30;

struct ChartScale {
    int32_t n = 0;       // vertices drawn: the record's recvpkts, never beyond its capacity
    int width = 0;       // horizontal room: frame width less both margins, pixels
    int room = 0;        // vertical room: frame height less both margins, pixels
    double dx = 0.0;     // pixels per packet, width / n; below 1 when packets share a column
    double ymax = 0.0;   // largest drawn round-trip time, seconds (times that are no finite
                         // number count as 0)
    double ymaxms = 0.0; // the same in milliseconds
    int64_t ymaxi = 0;   // ymaxms cut to whole milliseconds
    double dy = 0.0;     // pixels per millisecond, room / ymaxms; 0 while every time is 0
};
ChartScale chartScale(const rebound_info& record, QSize frame);

// Chart column of packet i (before the margin): dx * i cut towards zero, so within 0..width-1.
int chartColumn(const ChartScale& s, int i);

// Chart height of a time (before the margin): its share of the largest time times the room,
// cut towards zero, so the largest time lands exactly on the room's top and no time leaves
// 0..room (a negative or undefined time lies on the axis).
int chartHeight(const ChartScale& s, double seconds);

// Ticks of the time axis, all below the largest time. The 5 ms step whenever it gives at least
// two ticks whose labels stay apart; otherwise the largest step of 1, 2 or 5 x 10^k ms giving
// at least four ticks, which gives at most eight.
struct ChartTicks {
    double step = 0.0;          // milliseconds between ticks
    int decimals = 0;           // decimals the step needs, and so every label
    std::vector<double> values; // milliseconds, from 0 upwards
};
ChartTicks chartTicks(const ChartScale& s);

// Smallest distance in pixels between two 5 ms ticks: a label's height in the default font.
inline constexpr double kTickLabelGap = 16.0;

// A tick label: `ms` with `decimals` decimals in a field at least 2 characters wide.
QString tickLabel(double ms, int decimals);
