// What the window keeps of a run beyond the chart: the summary reboundcli prints (same
// collector), the JSON document reboundcli writes (same writer, fed on export from the probes'
// records, so a run keeps one compact record per probe rather than two) and one CSV row per
// probe. An observer of the run's events: the in-process run hands them over directly, an
// external run through its parsed lines (client_record.h).
#pragma once

#include "engine/run_observer.h"
#include "report/run_summary.h"
#include "report/summary_collector.h"

#include <QString>

#include <string>
#include <vector>

class RunReport final : public rebound_observer {
  public:
    explicit RunReport(run_description run) : run_(std::move(run)) {}

    void run_started(const rebound_run_start& e) override;
    void probe_sent(const rebound_probe_sent& e) override;
    void echo_received(const rebound_echo& e) override;
    void run_ended(const rebound_run_end& e) override;

    // The summary so far, from the counts in `record` (the final one once the run has ended).
    run_summary summary(const rebound_info& record) const;
    bool ended() const { return ended_; }

    // The run as reboundcli's JSON document; empty until the run has ended. Written on each
    // use (an export), not when the run ends: a long run's document is large.
    std::string json() const;

    // One row per probe sent: sequence, send offset and round trip in seconds (empty when no
    // echo with a known time came), then the marks as 0/1 columns and the duplicate count.
    std::string csv() const;

  private:
    struct Probe {
        double send_offset = 0;
        double send_duration = 0;
        double round_trip = 0;
        int32_t duplicates = 0;
        bool sent = false;     // a send call was made
        bool passed = false;   // it passed the datagram on
        bool answered = false; // an echo came
        bool timed = false;    // with a known round trip
        bool late = false;
        bool out_of_order = false;
    };

    run_description run_;
    summary_collector collector_;
    std::vector<Probe> probes_; // by sequence number
    rebound_run_start start_{};
    bool started_ = false;
    rebound_end end_ = rebound_end::normal;
    bool ended_ = false;
};

// The statistics panel's text: round-trip figures in milliseconds as the CLI's summary gives
// them (three decimals), jitter, loss, duplicates and late echoes.
QString statsPanelText(const run_summary& s);

// Header line of the CSV export.
inline constexpr const char* kCsvHeader =
    "seq,send_offset_s,round_trip_s,lost,late,duplicates,out_of_order\n";
