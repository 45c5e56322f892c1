#include "app/run_report.h"

#include "report/json_report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kMsPerSecond = 1000.0;

QString ms(double seconds) {
    if (std::isnan(seconds)) return QStringLiteral("-");
    return QString::asprintf("%.3f", seconds * kMsPerSecond);
}

} // namespace

void RunReport::run_started(const rebound_run_start& e) {
    start_ = e;
    start_.ipaddr = start_.port_text = nullptr; // not kept beyond the event
    started_ = true;
    collector_.run_started(e);
}

void RunReport::probe_sent(const rebound_probe_sent& e) {
    collector_.probe_sent(e);
    if (e.index < 0) return;
    if (size_t(e.index) >= probes_.size()) probes_.resize(size_t(e.index) + 1);
    Probe& p = probes_[size_t(e.index)];
    p.sent = true;
    p.passed = e.result > 0;
    p.send_offset = e.send_offset;
    p.send_duration = e.send_duration;
}

void RunReport::echo_received(const rebound_echo& e) {
    if (e.seq >= 0 && size_t(e.seq) < probes_.size()) {
        Probe& p = probes_[size_t(e.seq)];
        if (p.answered) {
            ++p.duplicates;
        } else {
            p.answered = true;
            p.timed = !std::isnan(e.round_trip);
            p.round_trip = e.round_trip;
            p.late = e.marks & REBOUND_ECHO_LATE;
            p.out_of_order = e.marks & REBOUND_ECHO_OUT_OF_ORDER;
        }
    }
    // An echo without a known round trip adds nothing to the distributions.
    if (!std::isnan(e.round_trip)) collector_.echo_received(e);
}

void RunReport::run_ended(const rebound_run_end& e) {
    collector_.run_ended(e);
    end_ = e.end;
    ended_ = true;
}

// reboundcli's writer, given the run's events again from the records: each probe sent, its
// first echo with a known round trip and its duplicates.
std::string RunReport::json() const {
    if (!ended_) return {};
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    if (!stream) return {};
    {
        json_report writer(collector_, run_, stream);
        if (started_) writer.run_started(start_);
        for (size_t seq = 0; seq < probes_.size(); ++seq) {
            const Probe& p = probes_[seq];
            if (!p.sent) continue;
            rebound_probe_sent sent{};
            sent.index = int32_t(seq);
            sent.result = p.passed ? 1 : -1;
            sent.send_duration = p.send_duration;
            sent.send_offset = p.send_offset;
            writer.probe_sent(sent);
            if (!p.answered || !p.timed) continue;
            rebound_echo echo{};
            echo.seq = int32_t(seq);
            echo.round_trip = p.round_trip;
            echo.marks = uint8_t((p.late ? REBOUND_ECHO_LATE : 0) |
                                 (p.out_of_order ? REBOUND_ECHO_OUT_OF_ORDER : 0));
            writer.echo_received(echo);
            echo.marks |= REBOUND_ECHO_DUPLICATE;
            for (int32_t d = 0; d < p.duplicates; ++d)
                writer.echo_received(echo);
        }
        writer.run_ended({end_, nullptr, 0, 0});
    }
    std::fclose(stream);
    std::string text(buffer ? buffer : "", size);
    std::free(buffer);
    return text;
}

run_summary RunReport::summary(const rebound_info& record) const {
    if (ended_) return collector_.summary();
    summary_collector now = collector_;
    now.run_ended({rebound_end::normal, &record, start_.start_stamp, 0});
    return now.summary();
}

std::string RunReport::csv() const {
    std::string text = kCsvHeader;
    char row[160];
    for (size_t seq = 0; seq < probes_.size(); ++seq) {
        const Probe& p = probes_[seq];
        if (!p.sent) continue;
        char rtt[32] = "";
        if (p.answered && p.timed) std::snprintf(rtt, sizeof rtt, "%.9f", p.round_trip);
        std::snprintf(row, sizeof row, "%zu,%.9f,%s,%d,%d,%d,%d\n", seq, p.send_offset, rtt,
                      p.passed && !p.answered ? 1 : 0, p.late ? 1 : 0, int(p.duplicates),
                      p.out_of_order ? 1 : 0);
        text += row;
    }
    return text;
}

QString statsPanelText(const run_summary& s) {
    const duration_stats& rt = s.round_trip;
    const bool any = rt.count > 0;
    auto q = [&](int k) { return any ? ms(rt.quantiles[k]) : QStringLiteral("-"); };
    QString text = QStringLiteral("round trip, ms\n");
    text += QStringLiteral("min     %1\n").arg(any ? ms(rt.min) : QStringLiteral("-"));
    for (int k = 0; k < kReportQuantileCount; ++k)
        text += QStringLiteral("%1 %2\n").arg(QLatin1String(kReportQuantiles[k].name), -7).arg(q(k));
    text += QStringLiteral("max     %1\n").arg(any ? ms(rt.max) : QStringLiteral("-"));
    text += QStringLiteral("jitter  %1\n").arg(s.jitter.pairs > 0 ? ms(s.jitter.mean)
                                                                 : QStringLiteral("-"));
    text += QStringLiteral("\nprobes  %1\n").arg(s.sent);
    text += QStringLiteral("echoes  %1\n").arg(s.unique);
    text += QStringLiteral("loss    %1\n")
                .arg(std::isnan(s.lost_percent) ? QStringLiteral("-")
                                                : QString::asprintf("%.1f %%", s.lost_percent));
    text += QStringLiteral("dupl.   %1\n").arg(s.duplicates);
    text += QStringLiteral("late    %1\n").arg(s.late);
    return text;
}
