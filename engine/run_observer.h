// What a measurement reports while it runs: typed events for the round-trip client and for the
// echo responder. The engine measures and calls an observer; everything that shows a run (the
// printed line protocol, the progress bar, summaries, machine-readable output, the window's
// chart) is an observer. Events are delivered on the measuring thread, in order; the client
// hands a round trip's events on once its wait is over (deferred_events.h), so an observer's
// cost never runs while a probe is in flight. Every member has an empty default: an observer overrides what it needs.
#pragma once

#include "address/net_address.h"
#include "engine/echo_policy.h"
#include "engine/probe_window.h"
#include "engine/result_record.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

// How a run ended.
enum class rebound_end {
    normal,  // statistics printed, difftime set
    early,   // a wait failed (its line is the last one) or an observer asked to end; no statistics
    stopped, // a stop signal (SIGINT, SIGTERM, SIGHUP, SIGPIPE) arrived
};

// Where a wait stood: before a probe (writability, phase 1), for its echo (readability,
// phase 1) or in the drain (phase 2).
enum class rebound_wait { before_send, for_echo, drain };

enum class rebound_wait_outcome { timed_out, failed, stopped };

// Marks of one echo, set against what the run has seen so far.
enum rebound_echo_mark : uint8_t {
    REBOUND_ECHO_DUPLICATE = 1,    // its probe was already answered
    REBOUND_ECHO_LATE = 2,         // its probe's own wait had already timed out
    REBOUND_ECHO_OUT_OF_ORDER = 4, // a higher sequence number was already answered
};

// Why a datagram that reached the client is not an echo of this run.
enum class rebound_foreign_reason {
    other_source, // not from the responder's address and port
    too_short,    // shorter than the probe header
    never_sent,   // carries a sequence number this run did not send
    expired,      // an echo of a probe past the late window (probe_window.h): too late to match
};

struct rebound_run_start {
    const char* ipaddr;    // the host text as given
    const char* port_text; // the port as decimal text
    net_address connaddr;  // the responder's address
    double start_stamp;    // wall clock, seconds since 1970
    int32_t count;         // probes planned; INT32_MAX when only a duration limits the run
    // Probes an echo can be charged to: once probe k + late_window is sent, no event names
    // probe k any more (probe_window.h).
    size_t late_window = probe_window::kDefaultCapacity;
    bool stamps_asked = false; // probes ask the responder for its time stamps
    int dscp = -1;             // the DSCP the probes are sent with; -1: the system's default
    // The most probes the run can send, known before its first: count, or for a run limited by
    // duration alone what its pause or period allows in that time (count when nothing paces
    // it). Observers size per-probe storage by it, so the storage is in place before the first
    // probe instead of growing between round trips. 0: not known.
    int64_t probes_bound = 0;
    bool scheduled = false; // probes go out on a fixed period; every send tells its lateness
};

struct rebound_counters {
    int32_t sendpkts; // before the event of the report is counted
    int32_t recvpkts;
};

struct rebound_probe_sent {
    int32_t index;
    const unsigned char* header; // the probe's 16 header bytes
    int32_t argsize;             // send size as asked
    int32_t result;              // of the send call
    int error;                   // errno of a failed send, else 0
    double send_duration;        // wait for writability + send call, seconds
    double send_offset;          // seconds from the run's start to the send call
    rebound_counters counters;
    double send_stamp = 0;       // wall clock at the send call, seconds since 1970; 0: unknown
    double lateness = -1;        // scheduled runs: the send call minus its slot, seconds; else -1
};

struct rebound_wait_ended {
    rebound_wait wait;
    rebound_wait_outcome outcome;
    int32_t index; // the iteration (phase 1) or the drain attempt (phase 2)
    rebound_counters counters;
};

// The round trip split by the responder's time stamps (responder_stamps.h), in seconds. The
// one-way delays hold the offset between the two hosts' clocks; their variation does not.
struct rebound_directions {
    bool valid = false;        // the echo carried stamps that make sense
    double dwell = 0;          // the responder's send stamp minus its receive stamp
    double send_delay = 0;     // responder's receive stamp minus this host's send
    double receive_delay = 0;  // this host's receive minus the responder's send stamp
};

struct rebound_echo {
    int phase;          // 1 or 2
    int32_t index;      // the iteration (phase 1) or drain attempt (phase 2)
    int32_t seq;        // the sequence number the echo carries
    net_address source; // where it came from
    int32_t size;       // result of the receive call
    double round_trip;  // seconds from the send of probe `seq` to this echo's arrival
    bool kernel_stamp;  // the arrival time is the kernel's receive stamp
    uint8_t marks;      // rebound_echo_mark bits
    rebound_counters counters;
    rebound_directions directions = {};
    // The traffic class byte (DSCP << 2 | ECN) the echo arrived with, and the one its probe
    // arrived at the responder with (given with the responder's stamps); -1 when unknown.
    int traffic_class = -1;
    int responder_class = -1;
};

struct rebound_receive_failed {
    int phase;
    int32_t index;
    int32_t seq; // what the buffer holds where the sequence number would be
    net_address source;
    int32_t result;
    int error;
    double elapsed; // phase 1: seconds since the send of the probe waited for
    rebound_counters counters;
};

struct rebound_foreign {
    int phase;
    int32_t index;
    net_address source;
    int32_t size;
    rebound_foreign_reason reason;
};

struct rebound_run_end {
    rebound_end end;
    const rebound_info* info; // the counters and times of the finished run
    double start_stamp;
    double end_stamp; // 0.0 after an early end or a stop
};

class rebound_observer {
  public:
    virtual ~rebound_observer() = default;
    virtual void run_started(const rebound_run_start&) {}
    virtual void probe_sent(const rebound_probe_sent&) {}
    virtual void wait_ended(const rebound_wait_ended&) {}
    virtual void echo_received(const rebound_echo&) {}
    virtual void receive_failed(const rebound_receive_failed&) {}
    virtual void foreign_received(const rebound_foreign&) {}
    // After every phase-1 iteration: iterations done and planned.
    virtual void iteration_done(int32_t /*done*/, int32_t /*total*/) {}
    virtual void run_ended(const rebound_run_end&) {}
    // Asked once a round trip's events have been handed on: true ends the run early, for an
    // observer that can no longer do its job (the output it writes to has failed).
    virtual bool wants_end() const { return false; }
};

// Hands every event to several observers, in the order given.
class rebound_observers final : public rebound_observer {
  public:
    rebound_observers(std::initializer_list<rebound_observer*> list);
    void add(rebound_observer* o);

    void run_started(const rebound_run_start& e) override;
    void probe_sent(const rebound_probe_sent& e) override;
    void wait_ended(const rebound_wait_ended& e) override;
    void echo_received(const rebound_echo& e) override;
    void receive_failed(const rebound_receive_failed& e) override;
    void foreign_received(const rebound_foreign& e) override;
    void iteration_done(int32_t done, int32_t total) override;
    void run_ended(const rebound_run_end& e) override;
    bool wants_end() const override; // when any of them does

  private:
    std::vector<rebound_observer*> list_;
};

// ---- the echo responder ----
//
// With several receive loops, each loop reports from its own thread: the events of one loop
// come in order, those of different loops concurrently, each carrying its loop's index.
// started() comes first, on the caller's thread, before any loop runs.

struct responder_start {
    const char* ipaddr;
    const char* port_text;
    net_address listaddr;
};

// One receive call of the responder: served is the request counter before this request.
struct responder_datagram {
    int32_t served;
    net_address source;
    int32_t size; // result of the receive call
    int error;    // errno of a failed receive, else 0
    int32_t seq;  // sequence number read from the request
    int loop;     // the receive loop that took it
};

struct responder_echo_sent {
    int32_t served;
    net_address destination;
    int32_t echo_size; // bytes the echo should have
    int32_t sent;      // result of the send call
    int error;
    int32_t seq;
    int loop;
};

// A datagram that is not answered because of where it claims to come from (echo_policy.h).
struct responder_refused {
    int loop;
    net_address source;
    int32_t size;
    echo_refusal reason;
};

// A datagram from an untrusted source beyond that source's rate: dropped.
struct responder_rate_limited {
    int loop;
    net_address source;
    int32_t size;
};

class responder_observer {
  public:
    virtual ~responder_observer() = default;
    virtual void started(const responder_start&) {}
    virtual void datagram_received(const responder_datagram&) {}
    virtual void echo_sent(const responder_echo_sent&) {}
    virtual void datagram_refused(const responder_refused&) {}
    virtual void datagram_rate_limited(const responder_rate_limited&) {}
    // The loop has reported every datagram it took so far and goes on to wait or to take the
    // next batch: the moment to hand on what was buffered.
    virtual void batch_done(int /*loop*/) {}
};

// Hands every responder event to several observers, in the order given.
class responder_observers final : public responder_observer {
  public:
    responder_observers(std::initializer_list<responder_observer*> list);

    void started(const responder_start& e) override;
    void datagram_received(const responder_datagram& e) override;
    void echo_sent(const responder_echo_sent& e) override;
    void datagram_refused(const responder_refused& e) override;
    void datagram_rate_limited(const responder_rate_limited& e) override;
    void batch_done(int loop) override;

  private:
    std::vector<responder_observer*> list_;
};
