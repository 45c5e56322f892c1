// A run made of events, without a network: what the engine would report for probes with known
// round trips, losses, duplicates and late echoes, delivered to an observer in engine order.
#pragma once

#include "engine/run_observer.h"
#include "report/run_summary.h"

#include <vector>

namespace testsupport {

struct synthetic_probe {
    double round_trip = 0.001; // seconds; negative: never answered
    int duplicates = 0;        // extra echoes after the first
    bool late = false;         // the first echo came after the probe's wait timed out
    // With the responder's stamps (asked by the run): the receive delay is what is left of
    // the round trip.
    bool stamped = false;
    double send_delay = 0;
    double dwell = 0;
};

struct synthetic_run {
    std::vector<synthetic_probe> probes;
    double send_duration = 20e-6; // of every probe
    double step = 0.002;          // seconds between the sends of consecutive probes
    int foreign = 0;              // datagrams that are no echo, reported before the end
    rebound_end end = rebound_end::normal;
    double start_stamp = 1781069532.25;
    bool stamps_asked = false;
    double send_lateness = -1; // 0 or more: a scheduled run, every send this late
    int dscp = -1;             // the DSCP the probes are sent with; -1: the system's default
};

// Delivers the run's events to `observer` and returns the record it ended with (also the one
// run_ended pointed at). Probes are echoed in order, each right after its send.
rebound_info feed(const synthetic_run& run, rebound_observer& observer);

// The parameters of a run as the JSON document describes them: 100 probes of 64 bytes to
// localhost:33333, by reboundcli version 9.8.7.
run_description sample_description();

// n probes answered with the given round trip, every `drop_every`-th (1-based) left unanswered.
std::vector<synthetic_probe> probes_with_drops(int n, int drop_every, double round_trip);

} // namespace testsupport
