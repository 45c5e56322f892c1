// The human summary of a run, written after the run's closing lines: counts, loss, round-trip
// distribution, jitter, send-call durations, elapsed time and rate. Times in milliseconds with
// three decimals.
#pragma once

#include "engine/run_observer.h"
#include "report/run_summary.h"
#include "report/summary_collector.h"

#include <cstdio>
#include <string>

// The summary's lines, each ending in a line end. `target` names the responder ("host:port").
std::string summary_text(const run_summary& s, const std::string& target);

// Writes summary_text on `out` at the end of the run and flushes it.
class summary_printer final : public rebound_observer {
  public:
    summary_printer(const summary_collector& collector, std::string target, std::FILE* out)
        : collector_(collector), target_(std::move(target)), out_(out) {}
    void run_ended(const rebound_run_end& e) override;

  private:
    const summary_collector& collector_;
    std::string target_;
    std::FILE* out_;
};
