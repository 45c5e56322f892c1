// Metrics text read back by real parsers (python3-prometheus-client's OpenMetrics parser and
// its Prometheus text-format parser), through tests/support/openmetrics_check.py.
#pragma once

#include <string>

namespace testsupport {

struct MetricsReading {
    bool parsed = false;
    std::string json;  // {family: {"type", "unit", "samples": [[name, labels, value]]}}
    std::string error; // the parsers' complaint, or why they could not run
};

// Parses the metrics file at `path`.
MetricsReading parse_openmetrics_file(const std::string& path);

} // namespace testsupport
