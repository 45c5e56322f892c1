// The summary of a run in the OpenMetrics text format (which Prometheus' text parser reads
// as well), for node_exporter's textfile collector: round-trip quantiles, loss, jitter and the
// run's counts as gauges of the last run, every sample labelled with the target.
#pragma once

#include "engine/run_observer.h"
#include "report/run_summary.h"
#include "report/summary_collector.h"

#include <string>

// The exposition, ending in "# EOF". `target` is the label value ("host:port"); `end_stamp`
// (seconds since 1970) is when the run ended.
std::string openmetrics_text(const run_summary& s, const std::string& target, double end_stamp);

// Replaces the file at `path` with the exposition when the run ends.
class openmetrics_report final : public rebound_observer {
  public:
    openmetrics_report(const summary_collector& collector, std::string target, std::string path)
        : collector_(collector), target_(std::move(target)), path_(std::move(path)) {}
    void run_ended(const rebound_run_end& e) override;

    // Empty after a successful write, else why it failed.
    const std::string& error() const { return error_; }

  private:
    const summary_collector& collector_;
    std::string target_;
    std::string path_;
    std::string error_ = "not written";
};
