#include "report/openmetrics_report.h"

#include "report/atomic_file.h"
#include "report/metric_text.h"
#include "util/timestamp.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

class exposition {
  public:
    explicit exposition(const std::string& target)
        : labels_("target=\"" + escaped_label(target) + "\"") {}

    // One metric family's descriptors; `unit` is empty for a number without a unit.
    void family(const char* name, const char* type, const char* unit, const char* help) {
        text_ += std::string("# TYPE ") + name + " " + type + "\n";
        if (*unit) text_ += std::string("# UNIT ") + name + " " + unit + "\n";
        text_ += std::string("# HELP ") + name + " " + help + "\n";
    }
    void sample(const std::string& name, const std::string& value, const std::string& extra = "") {
        text_ += name + "{" + labels_ + extra + "} " + value + "\n";
    }
    void gauge(const char* name, const char* unit, const char* help, const std::string& value) {
        family(name, "gauge", unit, help);
        sample(name, value);
    }
    // A summary family: its quantiles (with 0 and 1 as the exact extremes), sum and count.
    void summary(const char* name, const char* help, const duration_stats& d, bool all_quantiles) {
        family(name, "summary", "seconds", help);
        const auto quantile = [&](const char* q, double v) {
            sample(name, metric_seconds(v), std::string(",quantile=\"") + q + "\"");
        };
        quantile("0", d.min);
        for (int k = 0; k < kReportQuantileCount; ++k) {
            if (!all_quantiles && k != kMedianIndex) continue;
            quantile(metric_number(kReportQuantiles[k].q).c_str(), d.quantiles[k]);
        }
        quantile("1", d.max);
        const double sum = d.count ? d.mean * static_cast<double>(d.count) : 0;
        sample(std::string(name) + "_sum", metric_seconds(sum));
        sample(std::string(name) + "_count", std::to_string(d.count));
    }
    std::string finish() { return text_ + "# EOF\n"; }

  private:
    std::string labels_;
    std::string text_;
};

// Runs that asked the responder for its stamps. The one-way delays may be negative (they hold
// the clocks' offset), which a summary's sum may not be: they are gauges by statistic.
void direction_metrics(exposition& x, const direction_stats& d) {
    if (!d.asked) return;
    x.gauge("rebound_echoes_stamped", "",
            "Answered probes whose echo carried the responder's time stamps.",
            std::to_string(d.stamped));
    if (d.stamped == 0) return;
    const struct {
        const char* name;
        const char* help;
        const duration_stats& d;
    } one_way[] = {
        {"rebound_send_delay_seconds",
         "This host's send to the responder's receive stamp, by statistic; includes the offset "
         "between the two hosts' clocks.",
         d.send_delay},
        {"rebound_receive_delay_seconds",
         "The responder's send stamp to this host's receive, by statistic; includes the offset "
         "between the two hosts' clocks.",
         d.receive_delay},
    };
    for (const auto& o : one_way) {
        x.family(o.name, "gauge", "seconds", o.help);
        const std::pair<const char*, double> stats[] = {
            {"min", o.d.min}, {"median", o.d.quantiles[kMedianIndex]},
            {"p99", o.d.quantiles[kP99Index]}, {"max", o.d.max}};
        for (const auto& [stat, v] : stats)
            x.sample(o.name, metric_seconds(v), std::string(",stat=\"") + stat + "\"");
    }
    x.summary("rebound_responder_dwell_seconds",
              "The responder's send stamp minus its receive stamp.", d.dwell, true);
    x.summary("rebound_network_round_trip_seconds",
              "Round trip minus the responder's dwell.", d.network_round_trip, true);
    const struct {
        const char* name;
        const char* help;
        double value;
    } jitters[] = {
        {"rebound_ipdv_send_mean_seconds", "Jitter of the send direction: mean absolute "
         "variation of the send delay of consecutive answered probes.", d.send_jitter.mean},
        {"rebound_ipdv_send_max_seconds", "Jitter of the send direction: largest absolute "
         "variation of the send delay.", d.send_jitter.max},
        {"rebound_ipdv_receive_mean_seconds", "Jitter of the receive direction: mean absolute "
         "variation of the receive delay of consecutive answered probes.", d.receive_jitter.mean},
        {"rebound_ipdv_receive_max_seconds", "Jitter of the receive direction: largest absolute "
         "variation of the receive delay.", d.receive_jitter.max},
    };
    for (const auto& j : jitters)
        x.gauge(j.name, "seconds", j.help, metric_seconds(j.value));
}

// Marked runs (or echoes that came back marked): the DSCP the probes were sent with and the
// DSCPs seen in each direction, so a scrape tells what the path did to the marking.
void marking_metrics(exposition& x, const marking_stats& m, bool stamps_asked) {
    if (!m.anything_marked()) return;
    x.gauge("rebound_probe_dscp", "",
            "The DSCP the probes of the last run were sent with (0: the system's default).",
            std::to_string(std::max(m.sent, 0)));
    x.family("rebound_echoes_by_dscp", "gauge", "",
             "Echoes of the last run by the DSCP seen: at the responder (with its stamps) and "
             "back at this host.");
    const std::pair<const char*, const std::array<int32_t, kDscpCount>*> directions[] = {
        {"at_responder", stamps_asked ? &m.at_responder : nullptr}, {"back", &m.back}};
    for (const auto& [direction, counts] : directions) {
        if (!counts) continue;
        for (int d = 0; d < kDscpCount; ++d) {
            if ((*counts)[size_t(d)] == 0) continue;
            x.sample("rebound_echoes_by_dscp", std::to_string((*counts)[size_t(d)]),
                     std::string(",direction=\"") + direction + "\",dscp=\"" + dscp_name(d) +
                         "\"");
        }
    }
}

} // namespace

std::string openmetrics_text(const run_summary& s, const std::string& target, double end_stamp) {
    exposition x(target);
    x.summary("rebound_round_trip_seconds",
              "Round-trip time of the first echo of every answered probe in the last run.",
              s.round_trip, true);
    x.gauge("rebound_round_trip_stddev_seconds", "seconds",
            "Standard deviation of the round-trip times in the last run.",
            metric_seconds(s.round_trip.stddev));
    x.gauge("rebound_ipdv_mean_seconds", "seconds",
            "Jitter: mean absolute delay variation (RFC 3393) of consecutive answered probes.",
            metric_seconds(s.jitter.mean));
    x.gauge("rebound_ipdv_max_seconds", "seconds",
            "Jitter: largest absolute delay variation of consecutive answered probes.",
            metric_seconds(s.jitter.max));
    x.gauge("rebound_loss_ratio", "ratio",
            "Probes sent in the last run that were never answered, as a fraction of those sent.",
            metric_number(s.sent > 0 ? s.lost_percent / 100.0 : NAN));

    const struct {
        const char* name;
        const char* help;
        int32_t value;
    } counts[] = {
        {"rebound_probes_sent", "Probes sent in the last run.", s.sent},
        {"rebound_echoes_received", "Echoes received in the last run, duplicates included.",
         s.received},
        {"rebound_echoes_unique", "Probes answered at least once in the last run.", s.unique},
        {"rebound_echoes_duplicate", "Echoes of a probe already answered in the last run.",
         s.duplicates},
        {"rebound_echoes_late", "Echoes that came after their probe's wait had timed out.", s.late},
        {"rebound_echoes_out_of_order", "Echoes that came after an echo of a later probe.",
         s.out_of_order},
        {"rebound_datagrams_foreign", "Datagrams received that were no echo of the last run.",
         s.foreign},
        {"rebound_echoes_expired",
         "Late echoes whose probe had left the late window: matched to no probe.", s.expired},
        {"rebound_probes_send_failed", "Probes whose send call failed in the last run.",
         s.send_failed},
        {"rebound_port_unreachable", "Port-unreachable answers (ICMP) to probes of the last run.",
         s.unreachable},
        {"rebound_receive_buffer_drops",
         "Datagrams the kernel dropped from the client's full receive buffer: lost at the client.",
         s.buffer_drops},
        {"rebound_slots_skipped", "Scheduled runs: send slots missed entirely in the last run.",
         s.skipped_slots},
    };
    for (const auto& c : counts)
        x.gauge(c.name, "", c.help, std::to_string(c.value));

    direction_metrics(x, s.directions);
    marking_metrics(x, s.marking, s.directions.asked);
    x.summary("rebound_send_call_seconds",
              "Wait for writability and send call of every probe in the last run.", s.send_call,
              false);
    if (s.send_lateness.count > 0)
        x.summary("rebound_send_lateness_seconds",
                  "Scheduled runs: each send call minus its slot on the schedule.",
                  s.send_lateness, true);
    x.gauge("rebound_run_elapsed_seconds", "seconds", "Duration of the last run.",
            metric_seconds(s.elapsed));
    x.gauge("rebound_run_probes_per_second", "", "Probes sent per second in the last run.",
            metric_number(s.probes_per_second));
    x.gauge("rebound_run_complete", "",
            "1 when the last run ran to its end, 0 when it ended early or was stopped.",
            s.end == rebound_end::normal ? "1" : "0");
    x.gauge("rebound_run_end_timestamp_seconds", "seconds",
            "When the last run ended, seconds since 1970-01-01 UTC.", metric_number(end_stamp));
    return x.finish();
}

void openmetrics_report::run_ended(const rebound_run_end& e) {
    const double end_stamp = e.end_stamp > 0 ? e.end_stamp : get_timestamp();
    error_ = replace_file(path_, openmetrics_text(collector_.summary(), target_, end_stamp));
}
