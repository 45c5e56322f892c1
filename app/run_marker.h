// Follows an in-process run's events into the window's results: the probes planned and sent,
// which were answered and which late, and how the run ended. The record and its counters are
// filled by the run itself.
#pragma once

#include "app/run_results.h"
#include "engine/run_observer.h"

class RunMarker final : public rebound_observer {
  public:
    explicit RunMarker(RunResults* results) : r_(*results) {}

    void run_started(const rebound_run_start& e) override;
    void probe_sent(const rebound_probe_sent& e) override;
    void echo_received(const rebound_echo& e) override;
    void run_ended(const rebound_run_end& e) override;

  private:
    RunResults& r_;
};

// The state a run ended in, from how it ended and what came back.
RunState endState(rebound_end end, const rebound_info& record);
