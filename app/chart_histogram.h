// The second view of a run: the distribution of its measured round trips as a histogram, the
// times in milliseconds along the horizontal axis (ticks by the chart's own rules, from 0 to
// the largest time) and the probes per bin upwards, the largest bin reaching the top of the
// room.
#pragma once

#include "app/run_results.h"

#include <QSize>

#include <vector>

class QPainter;

// Bins across the horizontal room.
inline constexpr int kHistogramBins = 54;

// Probes per bin: bin b holds the round trips in [b, b + 1) * largest / kHistogramBins, the
// largest itself in the last bin. Empty when no round trip was measured.
std::vector<int> histogramBins(const RunResults& results);

void drawHistogram(QPainter& painter, QSize frame, const RunResults& results);
