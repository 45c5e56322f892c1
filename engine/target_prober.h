// Continuous probing of one responder on a fixed schedule: probe k leaves at first + k·period
// on the monotonic clock, whether or not echoes came back; each probe's echo is awaited for a
// bounded time, after which the probe counts as lost and an echo that still comes counts late.
// The prober never waits itself: its owner (fleet_prober) calls it when its socket is readable
// and when next_deadline() comes, so any number of targets share one thread.
#pragma once

#include "engine/probe_window.h"
#include "engine/run_observer.h"

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

// Bytes of each echo the prober reads: the header and the responder's stamps.
inline constexpr int kEchoHeadBytes = 32;

// What to probe and how.
struct probe_target {
    sockaddr_storage address{}; // either family; the port included
    socklen_t address_length = 0;
    double period = 1.0;   // seconds between probes
    double echo_wait = 0;  // seconds a probe's echo is awaited; 0: default_echo_wait(period)
    int32_t probe_size = 64; // datagram bytes, at least the header
    int32_t echo_size = 64;  // echo bytes asked of the responder; the stamps need 32
    int dscp = -1;           // differentiated-services code point, 0..63; -1 leaves the default
};

// The smaller of 5 s and five periods.
double default_echo_wait(double period);

// What probing one target yields, reported as it happens on the probing thread. `target` is
// the identifier the owner gave the prober.
class probe_events {
  public:
    virtual ~probe_events() = default;
    // A probe went out `lateness` seconds after its slot on the schedule.
    virtual void probe_sent(uint64_t /*target*/, double /*lateness*/) {}
    // The send call failed: the probe is not sent and never counted lost.
    virtual void send_failed(uint64_t /*target*/, int /*error*/) {}
    // Slots that passed entirely before the prober could send (the thread was held up): no
    // probe went out for them, and none is sent later to catch up.
    virtual void slots_skipped(uint64_t /*target*/, int64_t /*count*/) {}
    // The first echo of a probe, within its wait.
    virtual void echo_answered(uint64_t /*target*/, double /*round_trip*/,
                               const rebound_directions& /*directions*/) {}
    // A probe whose wait ended without an echo.
    virtual void probe_lost(uint64_t /*target*/) {}
    // The first echo of a probe that came after its wait had ended (the probe stays lost).
    virtual void echo_late(uint64_t /*target*/) {}
    // A further echo of a probe already answered (or already late).
    virtual void echo_duplicate(uint64_t /*target*/) {}
};

class target_prober {
  public:
    // Opens the socket (connected to the target, so only its datagrams arrive, and a port
    // with no one on it is heard of); the first probe is due at `first_due_ns`.
    target_prober(uint64_t id, const probe_target& target, int64_t first_due_ns);
    ~target_prober();
    target_prober(const target_prober&) = delete;
    target_prober& operator=(const target_prober&) = delete;

    uint64_t id() const { return id_; }
    int fd() const { return sock_; }
    // Empty when the socket is ready, else why it is not.
    const std::string& error() const { return error_; }

    // When on_deadline() is next wanted: the next slot or the end of the oldest wait.
    int64_t next_deadline() const;
    // Ends the waits that are over and sends the probe whose slot has come.
    void on_deadline(int64_t now_ns, probe_events& events);
    // Takes every datagram waiting on the socket.
    void on_readable(probe_events& events);

  private:
    void send_probe(int64_t due_ns, probe_events& events);
    void end_waits(int64_t now_ns, probe_events& events);
    void take_echo(int32_t size, int64_t stamp_ns, int64_t mono_ns, probe_events& events);

    uint64_t id_;
    probe_target target_;
    int64_t period_ns_;
    int64_t wait_ns_;
    int sock_ = -1;
    std::string error_;
    probe_window window_;
    int64_t first_due_ns_;
    int64_t slot_ = 0;           // the schedule's next slot
    int64_t next_index_ = 0;     // the next probe's index
    int64_t oldest_waiting_ = 0; // the first probe whose wait may still be running
    // The probe as it goes out, zeroed once: per probe only the sequence number changes, and
    // nothing a peer sent ever goes out again.
    std::vector<unsigned char> probe_;
    unsigned char echo_[kEchoHeadBytes] = {};
};
