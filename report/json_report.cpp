#include "report/json_report.h"

#include "engine/line_format.h"
#include "report/iso_time.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <string>

namespace {

using json = nlohmann::ordered_json;

constexpr double kNanosecondsPerSecond = 1e9;

// Seconds to nanosecond resolution (no clock here reads finer), so the numbers print short;
// null for a value that does not exist (NaN).
json seconds(double s) {
    if (std::isnan(s)) return nullptr;
    return std::round(s * kNanosecondsPerSecond) / kNanosecondsPerSecond;
}

json number_or_null(double v) {
    return std::isnan(v) ? json(nullptr) : json(v);
}

json stats_json(const duration_stats& d) {
    json j;
    j["count"] = d.count;
    j["min"] = seconds(d.min);
    j["mean"] = seconds(d.mean);
    for (int k = 0; k < kReportQuantileCount; ++k)
        j[kReportQuantiles[k].name] = seconds(d.quantiles[k]);
    j["max"] = seconds(d.max);
    j["stddev"] = seconds(d.stddev);
    j["exact"] = d.exact;
    return j;
}

json jitter_json(const jitter_stats& j) {
    return {{"pairs", j.pairs}, {"mean", seconds(j.mean)}, {"max", seconds(j.max)}};
}

// null when the run did not ask the responder for its stamps.
json directions_json(const direction_stats& d) {
    if (!d.asked) return nullptr;
    json j;
    j["stamped"] = d.stamped;
    j["send_delay"] = stats_json(d.send_delay);
    j["receive_delay"] = stats_json(d.receive_delay);
    j["dwell"] = stats_json(d.dwell);
    j["network_round_trip"] = stats_json(d.network_round_trip);
    j["send_jitter"] = jitter_json(d.send_jitter);
    j["receive_jitter"] = jitter_json(d.receive_jitter);
    return j;
}

json summary_json(const run_summary& s) {
    json j;
    j["probes_sent"] = s.sent;
    j["echoes_received"] = s.received;
    j["echoes_unique"] = s.unique;
    j["lost_percent"] = number_or_null(s.lost_percent);
    j["duplicates"] = s.duplicates;
    j["late"] = s.late;
    j["out_of_order"] = s.out_of_order;
    j["foreign"] = s.foreign;
    j["expired"] = s.expired;
    j["send_failed"] = s.send_failed;
    j["unreachable"] = s.unreachable;
    j["receive_buffer_drops"] = s.buffer_drops;
    j["round_trip"] = stats_json(s.round_trip);
    j["jitter"] = jitter_json(s.jitter);
    j["directions"] = directions_json(s.directions);
    j["send_call"] = {{"median", seconds(s.send_call.quantiles[kMedianIndex])},
                      {"max", seconds(s.send_call.max)}};
    // Scheduled runs only: how far each send was behind its slot, and the slots missed.
    j["send_lateness"] = s.send_lateness.count == 0
                             ? json(nullptr)
                             : json{{"median", seconds(s.send_lateness.quantiles[kMedianIndex])},
                                    {"p99", seconds(s.send_lateness.quantiles[kP99Index])},
                                    {"max", seconds(s.send_lateness.max)}};
    j["skipped_slots"] = s.skipped_slots;
    j["elapsed"] = seconds(s.elapsed);
    j["probes_per_second"] = number_or_null(s.probes_per_second);
    return j;
}

json parameters_json(const run_description& r) {
    json j;
    j["host"] = r.host;
    j["port"] = r.port;
    j["timeout"] = r.timeout;
    j["count"] = r.count_unlimited ? json(nullptr) : json(r.count);
    j["sendsize"] = r.sendsize;
    j["recvsize"] = r.recvsize;
    j["interval"] = r.interval;
    j["duration"] = r.duration > 0 ? json(r.duration) : json(nullptr);
    return j;
}

// A nested value printed with indentation, shifted right to sit inside the top-level object.
std::string indented(const json& value) {
    std::string text = value.dump(2);
    std::string shifted;
    for (char c : text) {
        shifted += c;
        if (c == '\n') shifted += "  ";
    }
    return shifted;
}

} // namespace

void json_report::run_started(const rebound_run_start& e) {
    started_ = true;
    start_stamp_ = e.start_stamp;
    responder_ = e.connaddr;
}

void json_report::probe_sent(const rebound_probe_sent& e) {
    if (e.index < 0) return;
    const auto seq = static_cast<size_t>(e.index);
    if (seq >= probes_.size()) probes_.resize(seq + 1);
    probe_record& p = probes_[seq];
    p.sent = true;
    p.passed = e.result > 0;
    p.send_offset = e.send_offset;
    p.send_duration = e.send_duration;
}

void json_report::echo_received(const rebound_echo& e) {
    if (e.seq < 0 || static_cast<size_t>(e.seq) >= probes_.size()) return;
    probe_record& p = probes_[static_cast<size_t>(e.seq)];
    if (p.answered) {
        ++p.duplicates;
        return;
    }
    p.answered = true;
    p.round_trip = e.round_trip;
    p.late = e.marks & REBOUND_ECHO_LATE;
    p.out_of_order = e.marks & REBOUND_ECHO_OUT_OF_ORDER;
}

void json_report::run_ended(const rebound_run_end& e) {
    json responder = nullptr;
    if (started_) {
        const AddrParts a = addr_parts(responder_);
        const std::string address = std::to_string(a.a) + "." + std::to_string(a.b) + "." +
                                    std::to_string(a.c) + "." + std::to_string(a.d);
        responder = {{"address", address}, {"port", a.port}};
    }
    std::FILE* f = out_;
    std::fprintf(f, "{\n  \"program\": %s,\n", json(run_.program).dump().c_str());
    std::fprintf(f, "  \"version\": %s,\n", json(run_.version).dump().c_str());
    std::fprintf(f, "  \"parameters\": %s,\n", indented(parameters_json(run_)).c_str());
    std::fprintf(f, "  \"responder\": %s,\n", indented(responder).c_str());
    std::fprintf(f, "  \"start\": %s,\n",
                 started_ ? json(iso8601_utc(start_stamp_)).dump().c_str() : "null");
    std::fprintf(f, "  \"end\": %s,\n", json(end_name(e.end)).dump().c_str());
    std::fputs("  \"probes\": [", f);
    bool first = true;
    for (size_t seq = 0; seq < probes_.size(); ++seq) {
        const probe_record& p = probes_[seq];
        if (!p.sent) continue;
        json r;
        r["seq"] = seq;
        r["send_offset"] = seconds(p.send_offset);
        r["send_duration"] = seconds(p.send_duration);
        r["sent"] = p.passed;
        r["round_trip"] = p.answered ? seconds(p.round_trip) : json(nullptr);
        r["late"] = p.late;
        r["duplicates"] = p.duplicates;
        r["out_of_order"] = p.out_of_order;
        std::fprintf(f, "%s\n    %s", first ? "" : ",", r.dump().c_str());
        first = false;
    }
    std::fputs(first ? "],\n" : "\n  ],\n", f);
    std::fprintf(f, "  \"summary\": %s\n}\n", indented(summary_json(collector_.summary())).c_str());
    written_ = std::fflush(f) == 0 && !std::ferror(f);
}
