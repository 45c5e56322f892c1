// What the chart draws: the result record and the summary counters of one run, in-process or
// external, with what the record alone cannot tell: how many probes the run was for, which
// probes went out, which were answered (and whether late), and how the run stands or ended.
// The window holds exactly one; each run of either kind replaces its content, so the curve,
// the marks and the texts always describe the same run.
#pragma once

#include "engine/result_record.h"

#include <QString>

#include <cstdint>
#include <limits>

// The window's copies of a run's summary; the chart's texts show them.
struct ChartCounters {
    int32_t sendpkts = 0;
    int32_t recvpkts = 0;
    int32_t iterpkts = 0; // the record's iterpkts plus one
};

// What is known of one probe, as bits.
enum ProbeMark : uint8_t {
    kMarkSent = 1,     // its send call passed it on
    kMarkAnswered = 2, // an echo of it came back
    kMarkTimed = 4,    // that first echo's round trip is in the record (reboundcli's lines give
                       // none for an echo taken after the last probe's wait)
    kMarkLate = 8,     // that echo came after the time limit
};

// Where a run stands; the window's status line says it in words.
enum class RunState {
    idle,       // no run yet
    running,    // probes going out
    finished,   // every probe had its turn and some echo came back
    noEcho,     // every probe had its turn, no echo came back
    ended,      // a wait failed and the run ended early
    stopped,    // Close, a signal, or the client died
    refused,    // reboundcli refused its arguments (message: its words)
    notStarted, // reboundcli could not be started (message: why)
    badHost,    // IPHost names no address: nothing was sent (message: why)
};

struct RunResults {
    rebound_info record{}; // large: the window that holds it lives on the heap
    ChartCounters counters;
    int32_t planned = 0;  // probes the run was asked for; 0 when unknown
    int32_t span = 0;     // highest probe number handed to a send call, plus one
    double timeout = 0;   // the run's time limit per wait, seconds: later echoes are late
    RunState state = RunState::idle;
    QString message;      // for the states that carry one
    uint8_t marks[REBOUND_MAXPKTS]{}; // ProbeMark bits by sequence number
    // Reading an external run's lines: the highest sequence number answered, and the time
    // text of the first send (send offsets are counted from it).
    int64_t highestSeq = -1;
    double firstStamp = std::numeric_limits<double>::quiet_NaN();
};

// Whether probe (or sequence number) i has a slot in the record and among the marks.
inline bool inRecord(int64_t i) {
    return i >= 0 && i < REBOUND_MAXPKTS;
}

// The summary of a record as the window shows it. The record's last sequence number comes from
// the echo, so it may be INT32_MAX: the plus one wraps, never overflows.
inline ChartCounters countersOf(const rebound_info& record) {
    return {record.sendpkts, record.recvpkts,
            static_cast<int32_t>(static_cast<uint32_t>(record.iterpkts) + 1u)};
}

// The probes the x axis spans: all planned while the run goes on or when it had them all, the
// ones sent when it ended early; never beyond the record's capacity.
int32_t chartProbes(const RunResults& r);

// Whether probe i counts as lost: sent, not answered, and its wait is over (a later probe was
// sent, or the run is over).
bool probeLost(const RunResults& r, int32_t i);

// The status line: what the run is doing or how it ended.
QString runStatusText(const RunResults& r);
