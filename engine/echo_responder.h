// The far end of a measurement: answers every probe datagram with its first bytes, cut or
// padded with zeros to the echo size the probe asks for, within the limits of an echo_policy
// (engine/echo_policy.h) and a rate for untrusted sources.
#pragma once

#include "engine/echo_policy.h"
#include "engine/run_observer.h"
#include "platform/event_wait.h"

#include <atomic>
#include <cstdint>
#include <mutex>

inline constexpr uint32_t kDefaultRate = 1000; // datagrams per second per untrusted source

struct responder_config {
    // Local address: dotted IPv4 or an IPv6 literal ("::" is every IPv6 address); empty: every
    // address of both families, on one socket.
    const char* ipaddr = "";
    int32_t ipport = 0;
    echo_policy policy;           // its own_port and own_address are taken from the bound address
    uint32_t rate = kDefaultRate; // datagrams per second per untrusted source
    int loops = 1;                // receive loops, each with its own thread, all on one socket
    // Answer every probe with the DSCP it arrived with (else the socket's default marking).
    bool dscp_echo = false;
};

// Asks a running responder to stop; safe from any thread.
class responder_stop {
  public:
    void request();
    bool requested() const { return requested_.load(std::memory_order_relaxed); }
    int wait_fd() const { return event_.fd(); }
    bool valid() const { return event_.valid(); }

    // The socket whose blocked receives a stop ends (its receive side is ended); -1: none.
    // A stop requested before the socket is attached ends it as it is attached.
    void attach_socket(int sock);

  private:
    std::atomic<bool> requested_{false};
    plat::wake_event event_;
    std::mutex socket_mutex_; // the socket is never ended after it was detached and closed
    int socket_ = -1;
};

// Binds one UDP socket to ipaddr:ipport, shared with no other socket (a port that any socket
// holds is refused, and none can join it later), reports `started` once it is bound (or binding
// failed), and serves until `stop` is requested, reporting every event to `observer`. All
// receive loops read the one socket, so each datagram is taken by one loop only (the caller's
// thread runs loop 0, further loops run on threads of their own). Returns 0 after a stop, or a
// negative socket library result (errno set): when `stop` has no wake-up descriptor or the
// socket cannot be created or bound, with nothing served; when a loop's thread cannot be
// started, after requesting `stop` and ending the loops already started.
//
// Every loop takes waiting datagrams in batches, decides each one with plan_echo (reporting a
// refused or rate-limited datagram as it is decided), sends the batch's echoes in one call, each
// with the echo mark set, then reports the batch's requests and echoes in arrival order. Every
// datagram is reported exactly once as refused, rate-limited, empty (datagram_received with size
// 0) or sent (echo_sent, after its datagram_received). A loop waits for datagrams inside its
// receive call, which a stop ends (the socket's receive side is ended), and for room to send in
// a wait that a stop also ends, so a stop takes effect within one batch.
int32_t rebound_listen(const responder_config& config, responder_observer& observer,
                       responder_stop& stop);
