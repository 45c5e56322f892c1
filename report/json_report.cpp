#include "report/json_report.h"

#include "engine/line_format.h"
#include "report/iso_time.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace {

using json = nlohmann::ordered_json;

constexpr double kNanosecondsPerSecond = 1e9;

// Seconds to nanosecond resolution (no clock here reads finer), so the numbers print short.
double to_nanosecond(double s) {
    return std::round(s * kNanosecondsPerSecond) / kNanosecondsPerSecond;
}

// null for a value that does not exist (NaN).
json seconds(double s) {
    if (std::isnan(s)) return nullptr;
    return to_nanosecond(s);
}

// One probe's record as one line, in the very text json::dump() gives it, written without
// building a json value: after a stop, a whole late window of records goes out at once and
// must not hold up the end.
class record_line {
  public:
    explicit record_line(int64_t seq) {
        put("{\"seq\":");
        end_ = std::to_chars(end_, limit(), seq).ptr;
    }
    record_line& seconds(const char* key, double s, bool exists = true) {
        member(key);
        if (exists && std::isfinite(s))
            end_ = nlohmann::detail::to_chars(end_, limit(), to_nanosecond(s));
        else
            put("null");
        return *this;
    }
    record_line& boolean(const char* key, bool b) {
        member(key);
        put(b ? "true" : "false");
        return *this;
    }
    record_line& integer(const char* key, int64_t v) {
        member(key);
        end_ = std::to_chars(end_, limit(), v).ptr;
        return *this;
    }
    // A count or code that may be unknown (below 0): null then.
    record_line& integer_or_null(const char* key, int64_t v) {
        if (v >= 0) return integer(key, v);
        member(key);
        put("null");
        return *this;
    }
    std::string_view close() {
        put("}");
        return {text_, size_t(end_ - text_)};
    }

  private:
    void member(const char* key) {
        put(",\"");
        put(key);
        put("\":");
    }
    void put(std::string_view s) { end_ = std::copy(s.begin(), s.end(), end_); }
    char* limit() { return text_ + sizeof text_; }

    char text_[512]; // the longest record (every member, each number at full length) is under 400
    char* end_ = text_;
};

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

// Counts by DSCP class name; only the DSCPs seen.
json dscp_json(const std::array<int32_t, kDscpCount>& counts) {
    json j = json::object();
    for (int d = 0; d < kDscpCount; ++d)
        if (counts[size_t(d)] > 0) j[dscp_name(d)] = counts[size_t(d)];
    return j;
}

json marking_json(const marking_stats& m, bool stamps_asked) {
    return {{"sent", m.sent >= 0 ? json(dscp_name(m.sent)) : json(nullptr)},
            {"at_responder", stamps_asked ? dscp_json(m.at_responder) : json(nullptr)},
            {"back", dscp_json(m.back)}};
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
    j["dscp"] = marking_json(s.marking, s.directions.asked);
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
    j["busy_wait"] = r.busy_wait;
    j["duration"] = r.duration > 0 ? json(r.duration) : json(nullptr);
    j["period"] = r.period > 0 ? json(r.period) : json(nullptr);
    j["stamps"] = r.stamps;
    j["dscp"] = r.dscp >= 0 ? json(r.dscp) : json(nullptr);
    j["ttl"] = r.ttl > 0 ? json(r.ttl) : json(nullptr);
    j["dont_fragment"] = r.dont_fragment;
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

void json_report::write_head(const rebound_run_start* start) {
    json responder = nullptr;
    if (start) {
        responder = {{"address", address_only_text(start->connaddr)},
                     {"port", start->connaddr.port()}};
    }
    std::FILE* f = out_;
    std::fprintf(f, "{\n  \"program\": %s,\n", json(run_.program).dump().c_str());
    std::fprintf(f, "  \"version\": %s,\n", json(run_.version).dump().c_str());
    std::fprintf(f, "  \"parameters\": %s,\n", indented(parameters_json(run_)).c_str());
    std::fprintf(f, "  \"responder\": %s,\n", indented(responder).c_str());
    std::fprintf(f, "  \"start\": %s,\n",
                 start ? json(iso8601_utc(start->start_stamp)).dump().c_str() : "null");
    std::fputs("  \"probes\": [", f);
    head_written_ = true;
}

void json_report::run_started(const rebound_run_start& e) {
    // The whole ring is set up now, so nothing grows while the run measures; a run of fewer
    // probes than the window holds them all until its end.
    const size_t slots = std::min(e.late_window, size_t(std::max(e.count, 1)));
    pending_.assign(std::bit_ceil(std::max<size_t>(slots, 1)), probe_record{});
    mask_ = pending_.size() - 1;
    stamps_asked_ = e.stamps_asked;
    marked_ = e.dscp >= 0;
    write_head(&e);
}

json_report::probe_record* json_report::pending(int64_t seq) {
    if (seq < next_written_ || seq > newest_) return nullptr;
    return &pending_[size_t(seq) & mask_];
}

void json_report::write_through(int64_t last) {
    for (; next_written_ <= last && next_written_ <= newest_; ++next_written_) {
        probe_record& p = pending_[size_t(next_written_) & mask_];
        if (!p.sent) continue;
        record_line record(next_written_); // holds the text the view below shows
        record.seconds("send_offset", p.send_offset)
            .seconds("send_duration", p.send_duration)
            .boolean("sent", p.passed)
            .seconds("round_trip", p.round_trip, p.answered)
            .boolean("late", p.late)
            .integer("duplicates", p.duplicates)
            .boolean("out_of_order", p.out_of_order);
        // Members of scheduled runs and of runs with the responder's stamps only.
        if (scheduled_) record.seconds("send_lateness", p.send_lateness);
        if (stamps_asked_) {
            record.seconds("send_delay", p.send_delay, p.stamped)
                .seconds("dwell", p.dwell, p.stamped)
                .seconds("receive_delay", p.receive_delay, p.stamped);
        }
        // Marked runs: the DSCP the first echo came back with and, with the stamps, the one
        // its probe reached the responder with (null where the kernel or responder told none).
        if (marked_) {
            record.integer_or_null("dscp_back", p.dscp_back);
            if (stamps_asked_) record.integer_or_null("dscp_at_responder", p.dscp_at_responder);
        }
        const std::string_view line = record.close();
        std::fputs(first_record_ ? "\n    " : ",\n    ", out_);
        std::fwrite(line.data(), 1, line.size(), out_);
        first_record_ = false;
        p = probe_record{};
    }
}

void json_report::probe_sent(const rebound_probe_sent& e) {
    if (e.index < 0 || pending_.empty() || e.index <= newest_) return;
    // The probe that left the late window as this one was sent can get no more echoes.
    write_through(int64_t(e.index) - int64_t(pending_.size()));
    newest_ = e.index;
    probe_record& p = pending_[size_t(e.index) & mask_];
    p = probe_record{};
    p.sent = true;
    p.passed = e.result > 0;
    p.send_offset = e.send_offset;
    p.send_duration = e.send_duration;
    p.send_lateness = e.lateness;
    if (e.lateness >= 0) scheduled_ = true;
}

void json_report::echo_received(const rebound_echo& e) {
    probe_record* p = pending(e.seq);
    if (!p || !p->sent) return;
    if (p->answered) {
        ++p->duplicates;
        return;
    }
    p->answered = true;
    p->round_trip = e.round_trip;
    p->late = e.marks & REBOUND_ECHO_LATE;
    p->out_of_order = e.marks & REBOUND_ECHO_OUT_OF_ORDER;
    p->stamped = e.directions.valid;
    p->send_delay = e.directions.send_delay;
    p->dwell = e.directions.dwell;
    p->receive_delay = e.directions.receive_delay;
    p->dscp_back = e.traffic_class >= 0 ? int8_t(e.traffic_class >> kDscpShift) : int8_t(-1);
    p->dscp_at_responder =
        e.responder_class >= 0 ? int8_t(e.responder_class >> kDscpShift) : int8_t(-1);
}

void json_report::run_ended(const rebound_run_end& e) {
    if (!head_written_) write_head(nullptr);
    write_through(newest_);
    std::FILE* f = out_;
    std::fputs(first_record_ ? "],\n" : "\n  ],\n", f);
    std::fprintf(f, "  \"end\": %s,\n", json(end_name(e.end)).dump().c_str());
    std::fprintf(f, "  \"summary\": %s\n}\n", indented(summary_json(collector_.summary())).c_str());
    written_ = std::fflush(f) == 0 && !std::ferror(f);
}
