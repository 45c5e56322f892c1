#include "report/summary_collector.h"

#include "util/timestamp.h"

#include <algorithm>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

duration_stats stats_of(quantile_store& store) {
    duration_stats s;
    s.count = store.count();
    s.min = store.min();
    s.mean = store.mean();
    s.max = store.max();
    s.stddev = store.stddev();
    for (int k = 0; k < kReportQuantileCount; ++k)
        s.quantiles[k] = store.quantile(kReportQuantiles[k].q);
    s.exact = store.exact();
    return s;
}

} // namespace

const char* end_name(rebound_end end) {
    switch (end) {
    case rebound_end::normal:
        return "normal";
    case rebound_end::early:
        return "early";
    case rebound_end::stopped:
        break;
    }
    return "stopped";
}

static jitter_stats jitter_of(const ipdv_jitter& j) {
    return {j.pairs(), j.mean_abs(), j.max_abs()};
}

void summary_collector::run_started(const rebound_run_start& e) {
    start_stamp_ = e.start_stamp;
    summary_.directions.asked = e.stamps_asked;
    summary_.marking.sent = e.dscp;
    // Every store that takes a value per probe of this run is in place before the first probe;
    // the one-way delays make room for a side of zero when it takes its first value.
    const uint64_t ahead = uint64_t(std::max<int64_t>(e.probes_bound, 0));
    for (quantile_store* per_probe : {&round_trips_, &send_calls_})
        per_probe->reserve_ahead(ahead);
    if (e.scheduled) send_lateness_.reserve_ahead(ahead);
    if (e.stamps_asked) {
        for (quantile_store* per_echo : {&dwells_, &network_round_trips_})
            per_echo->reserve_ahead(ahead);
        for (signed_distribution* one_way : {&send_delays_, &receive_delays_})
            one_way->reserve_ahead(ahead);
    }
}

bool marking_stats::anything_marked() const {
    const auto marked = [](const std::array<int32_t, kDscpCount>& counts) {
        return std::any_of(counts.begin() + 1, counts.end(), [](int32_t n) { return n > 0; });
    };
    return sent > 0 || marked(at_responder) || marked(back);
}

void summary_collector::probe_sent(const rebound_probe_sent& e) {
    send_calls_.add(e.send_duration);
    if (e.lateness >= 0) send_lateness_.add(e.lateness);
}

void summary_collector::echo_received(const rebound_echo& e) {
    if (e.marks & REBOUND_ECHO_DUPLICATE) return; // a probe's round trip is its first echo's
    round_trips_.add(e.round_trip);
    jitter_.add(e.seq, e.round_trip);
    marking_stats& m = summary_.marking;
    if (e.traffic_class >= 0) ++m.back[size_t(e.traffic_class >> kDscpShift)];
    if (e.responder_class >= 0) ++m.at_responder[size_t(e.responder_class >> kDscpShift)];
    const rebound_directions& d = e.directions;
    if (!d.valid) return;
    dwells_.add(d.dwell);
    network_round_trips_.add(e.round_trip - d.dwell);
    send_delays_.add(d.send_delay);
    receive_delays_.add(d.receive_delay);
    send_jitter_.add(e.seq, d.send_delay);
    receive_jitter_.add(e.seq, d.receive_delay);
}

void summary_collector::run_ended(const rebound_run_end& e) {
    run_summary& s = summary_;
    s.end = e.end;
    if (e.info) {
        const rebound_info& r = *e.info;
        s.sent = r.sendpkts;
        s.received = r.recvpkts;
        s.unique = r.uniqpkts;
        s.duplicates = r.duppkts;
        s.late = r.latepkts;
        s.expired = r.expiredpkts;
        s.send_failed = r.sendfailpkts;
        s.unreachable = r.unreachpkts;
        s.buffer_drops = r.droppedpkts;
        s.out_of_order = r.reorderpkts;
        s.foreign = r.foreignpkts;
    }
    s.lost_percent = s.sent > 0 ? 100.0 * (s.sent - s.unique) / s.sent : kNaN;
    s.round_trip = stats_of(round_trips_);
    s.send_call = stats_of(send_calls_);
    s.send_lateness = stats_of(send_lateness_);
    if (e.info) s.skipped_slots = e.info->skippedslots;
    s.jitter = jitter_of(jitter_);
    direction_stats& d = s.directions;
    d.stamped = static_cast<int32_t>(dwells_.count());
    d.dwell = stats_of(dwells_);
    d.network_round_trip = stats_of(network_round_trips_);
    d.send_delay = send_delays_.stats();
    d.receive_delay = receive_delays_.stats();
    d.send_jitter = jitter_of(send_jitter_);
    d.receive_jitter = jitter_of(receive_jitter_);

    // After an early end or a stop the engine gives no end stamp: the run ended now.
    const double start = e.start_stamp > 0 ? e.start_stamp : start_stamp_;
    const double end = e.end_stamp > 0 ? e.end_stamp : get_timestamp();
    s.elapsed = start > 0 && end > start ? end - start : 0;
    s.probes_per_second = s.elapsed > 0 ? s.sent / s.elapsed : kNaN;
    complete_ = true;
}
