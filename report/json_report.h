// The run as one JSON document (described in docs/json.md): program and version, parameters,
// responder address, start time, one record per probe, how the run ended and the summary. The
// document is written as the run goes: its head when the run starts, each probe's record once
// no echo can be charged to the probe any more (it has left the run's late window, so its
// duplicates and late echo are in it), and the rest when the run ends, also after an early end
// or a stop. Memory therefore holds the records of one late window, whatever the run's length.
// Everything is written when the engine hands on a round trip's events, never inside one.
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
    // What the document tells about one probe; kept compact, one per probe in the late window.
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
        double send_lateness = -1; // scheduled runs: the send call minus its slot
        bool stamped = false;      // the first echo carried the responder's stamps
        double send_delay = 0, dwell = 0, receive_delay = 0;
        int8_t dscp_back = -1, dscp_at_responder = -1; // -1: not told
    };

    void write_head(const rebound_run_start* start);
    // Writes and forgets the records of every probe up to `last`, in sequence order.
    void write_through(int64_t last);
    probe_record* pending(int64_t seq);

    const summary_collector& collector_;
    run_description run_;
    std::FILE* out_;
    bool head_written_ = false;
    bool scheduled_ = false;    // probes carry their send lateness
    bool stamps_asked_ = false; // records carry the split round trip
    bool marked_ = false;       // --dscp given: records carry the DSCPs of their echo
    bool first_record_ = true;
    // A ring of the probes an echo can still be charged to, indexed by sequence number; the
    // slots from next_written_ to newest_ hold a record or an empty slot (no send was made).
    std::vector<probe_record> pending_;
    size_t mask_ = 0;
    int64_t next_written_ = 0;
    int64_t newest_ = -1;
    bool written_ = false;
};
