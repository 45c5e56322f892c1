// What a finished (or stopped) run amounts to: the numbers the human summary, the JSON document
// and the metrics file all show, computed once so that the three always agree.
#pragma once

#include "engine/run_observer.h"
#include "util/dscp_text.h"

#include <array>

#include <cstdint>
#include <string>

// The quantiles every report shows, in this order. `name` is the text label ("median",
// "p99.9"), `q` the quantile.
struct quantile_point {
    const char* name;
    double q;
};
inline constexpr quantile_point kReportQuantiles[] = {
    {"median", 0.5}, {"p90", 0.9}, {"p99", 0.99}, {"p99.9", 0.999}};
inline constexpr int kReportQuantileCount = sizeof kReportQuantiles / sizeof kReportQuantiles[0];
inline constexpr int kMedianIndex = 0;
static_assert(kReportQuantiles[kMedianIndex].q == 0.5);
inline constexpr int kP99Index = 2;
static_assert(kReportQuantiles[kP99Index].q == 0.99);

// A distribution of durations in seconds. With count 0 every value is NaN.
struct duration_stats {
    uint64_t count = 0;
    double min = 0, mean = 0, max = 0, stddev = 0;
    double quantiles[kReportQuantileCount] = {}; // in the order of kReportQuantiles
    bool exact = true; // false: quantiles from the bounded histogram (within 1 %)
};

struct jitter_stats {
    uint64_t pairs = 0;
    double mean = 0, max = 0; // of |IPDV|, seconds; NaN without a pair
};

// The round trip split by the responder's time stamps, over the first echo of every answered
// probe that carried them. The one-way delays hold the offset between the two hosts' clocks
// (they may be negative); their jitter and the dwell do not depend on it.
struct direction_stats {
    bool asked = false;  // the run asked the responder for its stamps
    int32_t stamped = 0; // answered probes whose first echo carried stamps that make sense
    duration_stats dwell;              // the responder's send stamp minus its receive stamp
    duration_stats network_round_trip; // round trip minus dwell
    duration_stats send_delay;         // this host's send to the responder's receive
    duration_stats receive_delay;      // the responder's send to this host's receive
    jitter_stats send_jitter;          // IPDV of the send delays
    jitter_stats receive_jitter;       // IPDV of the receive delays
};

// What the path did to the probes' marking: of the answered probes' first echoes, how many came
// back with each DSCP, and how many told (with the responder's stamps) each DSCP the probe
// reached the responder with.
struct marking_stats {
    int sent = -1; // the DSCP the probes were sent with; -1: the system's default
    std::array<int32_t, kDscpCount> at_responder{};
    std::array<int32_t, kDscpCount> back{};
    // A DSCP other than the system's default (0) was sent or seen.
    bool anything_marked() const;
};

struct run_summary {
    rebound_end end = rebound_end::normal;
    int32_t sent = 0;     // probes whose send call passed them on
    int32_t received = 0; // echoes, duplicates included
    int32_t unique = 0;   // probes answered at least once
    int32_t duplicates = 0;
    int32_t late = 0;
    int32_t expired = 0;      // of the late: echoes past the late window, matched to no probe
    int32_t send_failed = 0;  // probes whose send call failed
    int32_t unreachable = 0;  // port-unreachable answers
    int32_t buffer_drops = 0; // datagrams the kernel dropped from the client's full receive buffer
    int32_t out_of_order = 0;
    int32_t foreign = 0;
    double lost_percent = 0;   // of the probes sent, those never answered; NaN when none sent
    duration_stats round_trip; // first echo of every answered probe
    jitter_stats jitter;
    duration_stats send_call;     // wait for writability + send call, every probe
    duration_stats send_lateness; // scheduled runs: each send call minus its slot
    int32_t skipped_slots = 0;    // scheduled runs: slots missed entirely
    direction_stats directions;
    marking_stats marking;
    double elapsed = 0;           // seconds from the run's start to its end (or stop)
    double probes_per_second = 0; // sent / elapsed; NaN when elapsed is 0
};

// How the run was asked for, as the reports describe it.
struct run_description {
    std::string program; // "reboundcli"
    std::string version;
    std::string host; // as given on the command line (a name or a dotted address)
    int32_t port = 0;
    double timeout = 0;
    int32_t count = 0; // ignored when count_unlimited
    bool count_unlimited = false;
    int32_t sendsize = 0;
    int32_t recvsize = 0;
    double interval = 0;
    double busy_wait = 0; // the waits' busy wait; 0: none
    double duration = 0; // 0: no time limit
    double period = 0;   // 0: lock-step
    bool stamps = false; // the responder's time stamps asked for
    int dscp = -1;       // the probes' DSCP; -1: the system's default
    int ttl = 0;         // the probes' TTL or hop limit; 0: the system's default
    bool dont_fragment = false;
};

// "normal", "early" or "stopped".
const char* end_name(rebound_end end);
