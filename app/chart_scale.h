// The scale of one repaint of the chart, recomputed from the results each time: where every
// probe of the run goes between the axes, and which ticks label the time axis.
#pragma once

#include "app/run_results.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

// Chart coordinates start 30 pixels in from the left and bottom edges of the frame; as much is
// left free at the right and at the top.
inline constexpr int kChartMargin = 30;

struct ChartScale {
    int32_t n = 0;       // probes the x axis spans (chartProbes), never beyond the capacity
    int width = 0;       // horizontal room: frame width less both margins, pixels
    int room = 0;        // vertical room: frame height less both margins, pixels
    double dx = 0.0;     // pixels per probe, (width - 1) / n: column 0 is the axis itself;
                         // below 1 when probes share a column
    double ymax = 0.0;   // largest round-trip time measured, seconds (times that are no
                         // finite number count as 0)
    double ymaxms = 0.0; // the same in milliseconds
    int64_t ymaxi = 0;   // ymaxms cut to whole milliseconds
    double dy = 0.0;     // pixels per millisecond, room / ymaxms; 0 while every time is 0
};
ChartScale chartScale(const RunResults& results, QSize frame);

// Whether probe i has a round trip to draw: answered, its time measured.
bool probeTimed(const RunResults& results, int32_t i);

// Chart column of probe i (before the margin): 1 + dx * i cut towards zero, so within
// 1..width-1, right of the vertical axis; the last probe of the run in the last column.
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
// Smallest distance in pixels between two 5 ms ticks: a label's height in the default font.
inline constexpr double kTickLabelGap = 16.0;

// `labelGap`: the room one label needs along the axis (its height on the time axis, its width
// where times run along the horizontal axis, as in the histogram).
ChartTicks chartTicks(const ChartScale& s, double labelGap = kTickLabelGap);

// A tick label: `ms` with `decimals` decimals in a field at least 2 characters wide.
QString tickLabel(double ms, int decimals);
