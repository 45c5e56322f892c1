// The pieces of the Prometheus and OpenMetrics text formats every exposition of this project
// writes the same way: numbers and label values.
#pragma once

#include <string>

// Shortest text that reads back as the value; seconds are cut to whole nanoseconds. NaN and
// the infinities in the formats' spelling.
std::string metric_number(double v, bool is_seconds = false);
inline std::string metric_seconds(double v) {
    return metric_number(v, true);
}

// A label value with backslash, double quote and line end escaped.
std::string escaped_label(const std::string& value);
