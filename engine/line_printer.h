// The line protocol as an observer: writes every event of a run (client or responder) as the
// line the line-kind table gives for it, on a stdio stream, in event order. The client's
// lines are flushed once a wait is over (echo, failure, time-out, end of run), never between a
// probe's send and its echo: on a fully buffered stream no write competes with the responder
// for a core while a round trip is under way, and a reader still gets every line within one
// wait of its event.
#pragma once

#include "engine/line_kinds.h"
#include "engine/run_observer.h"

#include <cstdarg>
#include <cstdio>

class line_printer final : public rebound_observer, public responder_observer {
  public:
    explicit line_printer(std::FILE* out = stdout) : out_(out) {}

    void run_started(const rebound_run_start& e) override;
    void probe_sent(const rebound_probe_sent& e) override;
    void wait_ended(const rebound_wait_ended& e) override;
    void echo_received(const rebound_echo& e) override;
    void receive_failed(const rebound_receive_failed& e) override;
    void run_ended(const rebound_run_end& e) override;

    void started(const responder_start& e) override;
    void datagram_received(const responder_datagram& e) override;
    void echo_sent(const responder_echo_sent& e) override;

  private:
    // Writes the line of `kind`; timed kinds get the current time text first, or with
    // print_at the text of an earlier reading (the event's own time, for events handed on
    // after their wait).
    void print(line_kind kind, ...);
    void print_at(double stamp, line_kind kind, ...);
    void vprint(double stamp, line_kind kind, va_list args);
    void start_lines(line_kind text4, const char* ipaddr, const char* port_text,
                     const net_address& addr);
    void flush() { std::fflush(out_); }

    std::FILE* out_;
    char connaddr_[kEndpointTextSize] = ""; // the responder's endpoint text
};
