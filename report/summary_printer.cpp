#include "report/summary_printer.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <vector>

namespace {

constexpr double kMillisecondsPerSecond = 1000.0;

void append(std::string* text, const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    *text += line;
}

double ms(double seconds) {
    return seconds * kMillisecondsPerSecond;
}

const char* end_note(const run_summary& s) {
    switch (s.end) {
    case rebound_end::normal:
        return "";
    case rebound_end::early:
        return s.unreachable > 0 && s.unique == 0 ? " (run ended early: port unreachable)"
                                                  : " (run ended early: a wait failed)";
    case rebound_end::stopped:
        break;
    }
    return " (run stopped by a signal)";
}

void round_trip_line(std::string* text, const duration_stats& rt) {
    if (rt.count == 0) {
        *text += "round trip: no echo\n";
        return;
    }
    append(text, "round trip ms: min %.3f, mean %.3f", ms(rt.min), ms(rt.mean));
    for (int k = 0; k < kReportQuantileCount; ++k)
        append(text, ", %s %.3f", kReportQuantiles[k].name, ms(rt.quantiles[k]));
    append(text, ", max %.3f, sd %.3f%s\n", ms(rt.max), ms(rt.stddev),
           rt.exact ? "" : " (percentiles within 1 %)");
}

// "<label> ms<note>: min …, median …, p99 …, max …"
void spread_line(std::string* text, const char* label, const duration_stats& d,
                 const char* note = "") {
    append(text, "%s ms%s: min %.3f, median %.3f, p99 %.3f, max %.3f\n", label, note, ms(d.min),
           ms(d.quantiles[kMedianIndex]), ms(d.quantiles[kP99Index]), ms(d.max));
}

constexpr const char* kClockOffsetNote = " (includes the clocks' offset)";

// Only for runs that asked the responder for its time stamps.
void direction_lines(std::string* text, const direction_stats& d, int32_t answered) {
    if (!d.asked) return;
    if (d.stamped == 0) {
        *text += "responder stamps: none came back (the responder gives none)\n";
        return;
    }
    if (d.stamped < answered)
        append(text, "responder stamps: %d of %d answered probes\n", d.stamped, answered);
    spread_line(text, "send delay", d.send_delay, kClockOffsetNote);
    spread_line(text, "receive delay", d.receive_delay, kClockOffsetNote);
    spread_line(text, "responder dwell", d.dwell);
    spread_line(text, "network round trip", d.network_round_trip);
    if (d.send_jitter.pairs == 0)
        *text += "jitter (IPDV) by direction: fewer than two answered probes\n";
    else
        append(text, "jitter (IPDV) by direction ms: send mean %.3f, max %.3f; receive mean %.3f, "
                     "max %.3f\n",
               ms(d.send_jitter.mean), ms(d.send_jitter.max), ms(d.receive_jitter.mean),
               ms(d.receive_jitter.max));
}

// "EF 5, CS0 1": the DSCPs seen and how often, most frequent first.
std::string dscp_counts(const std::array<int32_t, kDscpCount>& counts) {
    std::vector<int> seen;
    for (int d = 0; d < kDscpCount; ++d)
        if (counts[size_t(d)] > 0) seen.push_back(d);
    std::stable_sort(seen.begin(), seen.end(),
                     [&](int a, int b) { return counts[size_t(a)] > counts[size_t(b)]; });
    std::string text;
    for (int d : seen)
        text += (text.empty() ? "" : ", ") + dscp_name(d) + " " + std::to_string(counts[size_t(d)]);
    return text.empty() ? "unknown" : text;
}

// Only for runs that marked their probes, or saw marked echoes.
void marking_line(std::string* text, const marking_stats& m, bool stamps_asked) {
    if (!m.anything_marked()) return;
    const std::string sent = m.sent >= 0 ? dscp_name(m.sent) : "default";
    append(text, "DSCP: sent %s; at the responder %s; back %s\n", sent.c_str(),
           stamps_asked ? dscp_counts(m.at_responder).c_str() : "not asked (--stamps)",
           dscp_counts(m.back).c_str());
}

} // namespace

std::string summary_text(const run_summary& s, const std::string& target) {
    std::string text;
    append(&text, "--- %s round-trip summary%s ---\n", target.c_str(), end_note(s));
    if (std::isnan(s.lost_percent))
        append(&text, "probes sent %d, echoes received %d (unique), lost -\n", s.sent, s.unique);
    else
        append(&text, "probes sent %d, echoes received %d (unique), lost %.1f %%\n", s.sent,
               s.unique, s.lost_percent);
    append(&text, "duplicates %d, late %d", s.duplicates, s.late);
    if (s.expired > 0) append(&text, " (%d past the late window)", s.expired);
    append(&text, ", out of order %d, foreign %d\n", s.out_of_order, s.foreign);
    // Only when they happened: the lines of a clean run stay as they were.
    if (s.send_failed > 0 || s.unreachable > 0)
        append(&text, "failed sends %d, port unreachable %d\n", s.send_failed, s.unreachable);
    if (s.buffer_drops > 0)
        append(&text, "receive buffer drops %d (lost at this host, not on the path)\n",
               s.buffer_drops);
    round_trip_line(&text, s.round_trip);
    if (s.jitter.pairs == 0)
        text += "jitter (IPDV): fewer than two answered probes\n";
    else
        append(&text, "jitter (IPDV) ms: mean %.3f, max %.3f\n", ms(s.jitter.mean),
               ms(s.jitter.max));
    direction_lines(&text, s.directions, s.unique);
    marking_line(&text, s.marking, s.directions.asked);
    if (s.send_call.count > 0)
        append(&text, "send call ms: median %.3f, max %.3f\n",
               ms(s.send_call.quantiles[kMedianIndex]), ms(s.send_call.max));
    if (s.send_lateness.count > 0)
        append(&text, "send lateness ms: median %.3f, p99 %.3f, max %.3f; skipped slots %d\n",
               ms(s.send_lateness.quantiles[kMedianIndex]), ms(s.send_lateness.quantiles[kP99Index]),
               ms(s.send_lateness.max), s.skipped_slots);
    if (std::isnan(s.probes_per_second))
        append(&text, "elapsed %.3f s\n", s.elapsed);
    else
        append(&text, "elapsed %.3f s, %.1f probes/s\n", s.elapsed, s.probes_per_second);
    return text;
}

void summary_printer::run_ended(const rebound_run_end&) {
    std::fputs(summary_text(collector_.summary(), target_).c_str(), out_);
    std::fflush(out_);
}
