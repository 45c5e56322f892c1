// The metrics endpoint's text: every target's counters and histograms, the exporter's own
// figures and the process's, in the Prometheus text format or in OpenMetrics; and the small
// HTML page that lists the targets.
#pragma once

#include "platform/process_figures.h"
#include "report/fleet_metrics.h"

#include <functional>
#include <string>
#include <string_view>

enum class exposition_format { prometheus_text, openmetrics };

// The Content-Type of each format.
const char* exposition_content_type(exposition_format f);
// The format a scraper asks for with its Accept header: OpenMetrics when it names it.
exposition_format format_for_accept(const std::string& accept);

struct exporter_figures {
    std::string version;
    bool last_reload_ok = true;
    double last_reload_stamp = 0; // seconds since 1970
    plat::process_figures process;
};

// Receives the text piece by piece; false when it can take no more (the rest is dropped).
using text_sink = std::function<bool(std::string_view)>;

// The text goes to `sink` in pieces of about kExpositionPiece bytes, so a fleet of any size
// needs no more than one piece of memory beside the snapshot.
inline constexpr size_t kExpositionPiece = 64 * 1024;
void write_fleet_exposition(const fleet_snapshot& s, const exporter_figures& e,
                            exposition_format format, const text_sink& sink);
// The same text whole.
std::string fleet_exposition(const fleet_snapshot& s, const exporter_figures& e,
                             exposition_format format);

// The page at "/": one row per target with its counts, loss and mean round trip.
std::string fleet_page_html(const fleet_snapshot& s, const std::string& version);
