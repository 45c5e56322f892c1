// Gathers a run's events into its summary. The summary is complete once run_ended has been
// delivered to the collector, so observers that read it in their own run_ended must come after
// the collector in the observer list.
#pragma once

#include "engine/run_observer.h"
#include "report/ipdv_jitter.h"
#include "report/quantile_store.h"
#include "report/signed_distribution.h"
#include "report/run_summary.h"

class summary_collector final : public rebound_observer {
  public:
    void run_started(const rebound_run_start& e) override;
    void probe_sent(const rebound_probe_sent& e) override;
    void echo_received(const rebound_echo& e) override;
    void run_ended(const rebound_run_end& e) override;

    bool complete() const { return complete_; }
    const run_summary& summary() const { return summary_; }

  private:
    quantile_store round_trips_;
    quantile_store send_calls_;
    quantile_store send_lateness_;
    ipdv_jitter jitter_;
    // Filled only by echoes that carry the responder's stamps.
    quantile_store dwells_;
    quantile_store network_round_trips_;
    signed_distribution send_delays_;
    signed_distribution receive_delays_;
    ipdv_jitter send_jitter_;
    ipdv_jitter receive_jitter_;
    double start_stamp_ = 0;
    run_summary summary_;
    bool complete_ = false;
};
