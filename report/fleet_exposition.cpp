#include "report/fleet_exposition.h"

#include "report/metric_text.h"

#include <charconv>
#include <cstdio>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr const char* kPrometheusType = "text/plain; version=0.0.4; charset=utf-8";
constexpr const char* kOpenMetricsType =
    "application/openmetrics-text; version=1.0.0; charset=utf-8";
constexpr double kPercent = 100.0;
constexpr double kMilli = 1e3;
constexpr double kMicro = 1e6;

class writer {
  public:
    writer(exposition_format f, const text_sink& sink)
        : om_(f == exposition_format::openmetrics), sink_(sink) {
        text_.reserve(kExpositionPiece * 2);
    }

    // A family's descriptors. `name` has no _total; counters' samples add it.
    void family(const std::string& name, const char* type, const char* unit, const char* help) {
        const std::string shown = !om_ && std::string(type) == "counter" ? name + "_total" : name;
        if (om_) {
            text_ += "# TYPE " + shown + " " + type + "\n";
            if (*unit) text_ += "# UNIT " + shown + " " + unit + "\n";
        }
        text_ += "# HELP " + shown + " " + help + "\n";
        if (!om_) text_ += "# TYPE " + shown + " " + type + "\n";
    }
    void sample(std::string_view name, std::string_view labels, std::string_view value) {
        line_start(name, labels);
        if (!labels.empty()) text_ += '}';
        line_end(value);
    }
    void histogram(std::string_view name, std::string_view labels, const bucket_bounds& bounds,
                   const bucket_counts& c) {
        const std::vector<std::string>& edges = edge_texts(bounds);
        bucket_name_.assign(name).append("_bucket");
        uint64_t cumulative = 0;
        for (size_t k = 0; k < edges.size(); ++k) {
            cumulative += k < c.counts.size() ? c.counts[k] : 0;
            text_ += bucket_name_;
            text_ += '{';
            text_ += labels;
            text_ += labels.empty() ? "le=\"" : ",le=\"";
            text_ += edges[k];
            text_ += "\"}";
            line_end(cumulative);
        }
        sample(std::string(name) + "_sum", labels, metric_seconds(c.sum));
        sample(std::string(name) + "_count", labels, std::to_string(c.count));
    }
    // Hands on what is gathered once it makes a piece.
    void pass_on(bool whole = false) {
        if (!whole && text_.size() < kExpositionPiece) return;
        if (open_ && !text_.empty()) open_ = sink_(text_);
        text_.clear();
    }
    void finish() {
        if (om_) text_ += "# EOF\n";
        pass_on(true);
    }

  private:
    // Each line is appended in place: a scrape of a large fleet is some hundred thousand lines,
    // and the time it takes is time the scraper's process holds a processor.
    void line_start(std::string_view name, std::string_view labels) {
        text_ += name;
        if (labels.empty()) return;
        text_ += '{';
        text_ += labels;
    }
    void line_end(std::string_view value) {
        text_ += ' ';
        text_ += value;
        text_ += '\n';
    }
    void line_end(uint64_t value) {
        char digits[24];
        const auto r = std::to_chars(digits, digits + sizeof digits, value);
        line_end(std::string_view(digits, size_t(r.ptr - digits)));
    }
    // The "le" texts of a set of bounds, "+Inf" last; targets share their bounds, so each set is
    // written once a scrape.
    const std::vector<std::string>& edge_texts(const bucket_bounds& bounds) {
        auto [it, added] = edges_.try_emplace(&bounds);
        if (added) {
            for (double b : bounds) it->second.push_back(metric_number(b));
            it->second.push_back("+Inf");
        }
        return it->second;
    }

    std::unordered_map<const bucket_bounds*, std::vector<std::string>> edges_;
    std::string bucket_name_;
    bool om_;
    const text_sink& sink_;
    bool open_ = true;
    std::string text_;
};

std::string label_text(const target_identity& id) {
    std::string out;
    for (const auto& [name, value] : id.labels) {
        if (!out.empty()) out += ',';
        out += name + "=\"" + escaped_label(value) + "\"";
    }
    return out;
}

struct counter_row {
    const char* name;
    uint64_t target_figures::*field;
    const char* help;
};
constexpr counter_row kCounters[] = {
    {"rebound_probes_sent", &target_figures::sent, "Probes sent to the target."},
    {"rebound_echoes", &target_figures::answered,
     "Probes answered within their wait (first echoes)."},
    {"rebound_probes_lost", &target_figures::lost,
     "Probes whose wait ended without an echo."},
    {"rebound_echoes_late", &target_figures::late,
     "First echoes that came after their probe's wait had ended (the probe counts lost)."},
    {"rebound_echoes_duplicate", &target_figures::duplicates,
     "Further echoes of a probe already answered."},
    {"rebound_probes_send_failed", &target_figures::send_failed,
     "Probes whose send call failed (not counted sent)."},
    {"rebound_slots_skipped", &target_figures::skipped,
     "Schedule slots that passed before the exporter could send: no probe went out."},
    {"rebound_echoes_stamped", &target_figures::stamped,
     "Answered probes whose echo carried the responder's time stamps."},
};

struct histogram_row {
    const char* name;
    bucket_counts target_figures::*field;
    bool stamped_only;
    const char* help;
};
constexpr histogram_row kHistograms[] = {
    {"rebound_round_trip_seconds", &target_figures::round_trip, false,
     "Round-trip time of every answered probe."},
    {"rebound_network_round_trip_seconds", &target_figures::network_round_trip, true,
     "Round trip minus the responder's dwell between its receive and send stamps."},
    {"rebound_send_delay_seconds", &target_figures::send_delay, true,
     "This host's send to the responder's receive stamp; holds the clocks' offset (a "
     "negative value counts in the lowest bucket)."},
    {"rebound_receive_delay_seconds", &target_figures::receive_delay, true,
     "The responder's send stamp to this host's receive; holds the clocks' offset (a "
     "negative value counts in the lowest bucket)."},
};

void process_metrics(writer& w, const plat::process_figures& p) {
    w.family("process_cpu_seconds", "counter", "seconds",
             "Total user and system CPU time spent in seconds.");
    w.sample("process_cpu_seconds_total", "", metric_number(p.cpu_seconds));
    const struct {
        const char* name;
        const char* unit;
        const char* help;
        double value;
    } gauges[] = {
        {"process_resident_memory_bytes", "bytes", "Resident memory size in bytes.",
         double(p.resident_bytes)},
        {"process_virtual_memory_bytes", "bytes", "Virtual memory size in bytes.",
         double(p.virtual_bytes)},
        {"process_open_fds", "", "Number of open file descriptors.", double(p.open_fds)},
        {"process_max_fds", "", "Maximum number of open file descriptors.", double(p.max_fds)},
        {"process_start_time_seconds", "seconds",
         "Start time of the process since unix epoch in seconds.", p.start_time_seconds},
    };
    for (const auto& g : gauges) {
        w.family(g.name, "gauge", g.unit, g.help);
        w.sample(g.name, "", metric_number(g.value));
    }
}

std::string html_escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string label_value(const target_identity& id, const char* name) {
    for (const auto& [n, v] : id.labels)
        if (n == name) return v;
    return {};
}

} // namespace

const char* exposition_content_type(exposition_format f) {
    return f == exposition_format::openmetrics ? kOpenMetricsType : kPrometheusType;
}

exposition_format format_for_accept(const std::string& accept) {
    return accept.find("application/openmetrics-text") != std::string::npos
               ? exposition_format::openmetrics
               : exposition_format::prometheus_text;
}

void write_fleet_exposition(const fleet_snapshot& s, const exporter_figures& e,
                            exposition_format format, const text_sink& sink) {
    writer w(format, sink);
    std::vector<std::string> labels;
    labels.reserve(s.targets.size());
    for (const auto& t : s.targets) labels.push_back(label_text(*t.identity));

    for (const counter_row& c : kCounters) {
        w.family(c.name, "counter", "", c.help);
        const std::string sample_name = std::string(c.name) + "_total";
        for (size_t i = 0; i < s.targets.size(); ++i) {
            w.sample(sample_name, labels[i], std::to_string(s.targets[i].*c.field));
            w.pass_on();
        }
    }
    for (const histogram_row& h : kHistograms) {
        w.family(h.name, "histogram", "seconds", h.help);
        for (size_t i = 0; i < s.targets.size(); ++i) {
            const target_figures& t = s.targets[i];
            if (h.stamped_only && t.stamped == 0) continue;
            w.histogram(h.name, labels[i], *t.identity->buckets, t.*h.field);
            w.pass_on();
        }
    }
    w.family("rebound_send_lateness_seconds", "gauge", "seconds",
             "The latest probe's send call minus its slot on the schedule.");
    for (size_t i = 0; i < s.targets.size(); ++i) {
        if (s.targets[i].last_lateness >= 0)
            w.sample("rebound_send_lateness_seconds", labels[i],
                     metric_seconds(s.targets[i].last_lateness));
        w.pass_on();
    }

    w.family("rebound_exporter_send_lateness_seconds", "histogram", "seconds",
             "Every probe's send call minus its slot on the schedule, all targets together.");
    w.histogram("rebound_exporter_send_lateness_seconds", "", s.lateness_bounds, s.lateness);
    w.family("rebound_exporter_targets", "gauge", "", "Targets probed now.");
    w.sample("rebound_exporter_targets", "", std::to_string(s.targets.size()));
    w.family("rebound_exporter_config_last_reload_successful", "gauge", "",
             "1 when the latest reading of the configuration file was taken, 0 when it was "
             "refused and the configuration before it goes on.");
    w.sample("rebound_exporter_config_last_reload_successful", "", e.last_reload_ok ? "1" : "0");
    w.family("rebound_exporter_config_last_reload_success_timestamp_seconds", "gauge", "seconds",
             "When the configuration in force was read, seconds since 1970.");
    w.sample("rebound_exporter_config_last_reload_success_timestamp_seconds", "",
             metric_number(e.last_reload_stamp));
    w.family("rebound_exporter_build_info", "gauge", "", "The exporter's version; always 1.");
    w.sample("rebound_exporter_build_info", "version=\"" + escaped_label(e.version) + "\"", "1");
    process_metrics(w, e.process);
    w.finish();
}

std::string fleet_exposition(const fleet_snapshot& s, const exporter_figures& e,
                             exposition_format format) {
    std::string text;
    write_fleet_exposition(s, e, format, [&](std::string_view piece) {
        text += piece;
        return true;
    });
    return text;
}

std::string fleet_page_html(const fleet_snapshot& s, const std::string& version) {
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>rebound_exporter</title>"
        "</head>\n<body>\n<h1>rebound_exporter " + html_escaped(version) + "</h1>\n"
        "<p><a href=\"/metrics\">Metrics</a></p>\n<table border=\"1\">\n<tr><th>name</th>"
        "<th>target</th><th>sent</th><th>answered</th><th>lost</th><th>loss %</th><th>late</th>"
        "<th>duplicates</th><th>mean round trip (ms)</th><th>last send lateness (&micro;s)</th>"
        "</tr>\n";
    for (const target_figures& t : s.targets) {
        const uint64_t ended = t.answered + t.lost;
        page += "<tr><td>" + html_escaped(label_value(*t.identity, "name")) + "</td><td>" +
                html_escaped(label_value(*t.identity, "target")) + "</td><td>" +
                std::to_string(t.sent) + "</td><td>" + std::to_string(t.answered) + "</td><td>" +
                std::to_string(t.lost) + "</td><td>" +
                (ended ? fixed(kPercent * double(t.lost) / double(ended), 2) : "-") +
                "</td><td>" + std::to_string(t.late) + "</td><td>" +
                std::to_string(t.duplicates) + "</td><td>" +
                (t.round_trip.count
                     ? fixed(kMilli * t.round_trip.sum / double(t.round_trip.count), 3)
                     : "-") +
                "</td><td>" + (t.last_lateness >= 0 ? fixed(kMicro * t.last_lateness, 1) : "-") +
                "</td></tr>\n";
    }
    return page + "</table>\n</body></html>\n";
}
