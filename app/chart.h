// The round-trip chart: the per-probe round-trip times of a run in milliseconds over the probe
// number, fitted between the axes (the x axis spans every probe of the run), marks at the axis
// for probes lost and for echoes that came late, a tick scale with its unit, and two text lines
// with the received and lost percentages and the window's counters. Drawing is a free operation
// on any painter, so the chart can be rendered into an image as well as into the chart frame.
#pragma once

#include "app/chart_scale.h"
#include "app/run_results.h"

#include <QColor>
#include <QSize>
#include <QString>

class QPainter;

inline const QColor kChartCurveColour{0, 0, 0};
inline const QColor kChartAxisColour{136, 136, 136};
inline const QColor kChartTextColour{136, 187, 187};
inline const QColor kChartTickLabelColour{68, 136, 187};
inline const QColor kChartLostColour{220, 0, 0};   // a probe without echo
inline const QColor kChartLateColour{230, 140, 0}; // an echo after the time limit

// Height of the lost and late marks, pixels up from the horizontal axis.
inline constexpr int kChartMarkHeight = 8;

// Unit labels, drawn in the tick-label colour: the time axis's beside its top, the packet
// axis's under its right end.
inline constexpr const char* kChartTimeUnit = "ms";
inline constexpr const char* kChartPacketUnit = "probe";

// The percentage line and the counter line drawn under the curve.
QString chartPercentText(const ChartCounters& counters);
QString chartCounterText(const ChartCounters& counters);

// Line between two chart points (origin bottom left, y upwards) in a frame `frameHeight`
// pixels high.
void drawChartLine(QPainter& painter, int frameHeight, const QColor& colour, int x1, int y1, int x2,
                   int y2);

// One complete repaint into an active painter whose drawing area is `frame`, logging each
// step. Only the axes are drawn while no probe of the run was sent. A probe is drawn only
// where its round trip was measured; nothing stands at 0 ms for a probe that was lost.
void drawChart(QPainter& painter, QSize frame, const RunResults& results);

// The axes of both views.
void drawChartAxes(QPainter& painter, QSize frame);
