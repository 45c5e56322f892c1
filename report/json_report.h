// The run as one JSON document (described in docs/json.md): program and version, parameters,
// responder address, start time, one record per probe and the summary. The document is written
// whole when the run ends, also after an early end or a stop, so the file is always complete
// JSON once the program has exited on its own.
#pragma once

#include "engine/run_observer.h"
#include "report/run_summary.h"
#include "report/summary_collector.h"

#include <cstdio>
#include <vector>

class json_report final : public rebound_observer {
  public:
    json_report(const summary_collector& collector, run_description run, std::FILE* out)
        : collector_(collector), run_(std::move(run)), out_(out) {}

    void run_started(const rebound_run_start& e) override;
    void probe_sent(const rebound_probe_sent& e) override;
    void echo_received(const rebound_echo& e) override;
    void run_ended(const rebound_run_end& e) override;

    // False when writing the document failed (the stream reported an error).
    bool written() const { return written_; }

  private:
    // What the document tells about one probe; kept compact, one per probe sent.
    struct probe_record {
        double send_offset = 0;
        double send_duration = 0;
        double round_trip = 0; // of the first echo
        int32_t duplicates = 0;
        bool sent = false;   // a send call was made for this sequence number
        bool passed = false; // the send call passed the datagram on
        bool answered = false;
        bool late = false;
        bool out_of_order = false;
    };

    const summary_collector& collector_;
    run_description run_;
    std::FILE* out_;
    bool started_ = false;
    double start_stamp_ = 0;
    sockaddr_in responder_{};
    std::vector<probe_record> probes_; // indexed by sequence number
    bool written_ = false;
};
