// What the chart draws: the result record and the summary counters of one run, in-process or
// external. The window holds exactly one; each run of either kind replaces its content, so the
// curve and the texts always describe the same run.
#pragma once

#include "engine/result_record.h"

#include <cstdint>

// The window's copies of a run's summary; the chart's texts show them.
struct ChartCounters {
    int32_t sendpkts = 0;
    int32_t recvpkts = 0;
    int32_t iterpkts = 0; // the record's iterpkts plus one
};

struct RunResults {
    rebound_info record{}; // large: the window that holds it lives on the heap
    ChartCounters counters;
};

// The summary of a record as the window shows it. The record's last sequence number comes from
// the echo, so it may be INT32_MAX: the plus one wraps, never overflows.
inline ChartCounters countersOf(const rebound_info& record) {
    return {record.sendpkts, record.recvpkts,
            static_cast<int32_t>(static_cast<uint32_t>(record.iterpkts) + 1u)};
}
