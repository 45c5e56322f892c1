#include "engine/line_printer.h"

#include "engine/line_format.h"

#include <cstdarg>
#include <cstring>

namespace {

// Which line a wait that did not end ready prints; a stop prints none.
line_kind wait_line(rebound_wait wait, rebound_wait_outcome outcome) {
    const bool timed_out = outcome == rebound_wait_outcome::timed_out;
    switch (wait) {
    case rebound_wait::before_send:
        return timed_out ? line_kind::send_wait_timeout : line_kind::send_wait_error;
    case rebound_wait::for_echo:
        return timed_out ? line_kind::echo_wait_timeout : line_kind::echo_wait_error;
    case rebound_wait::drain:
        break;
    }
    return timed_out ? line_kind::drain_timeout : line_kind::drain_error;
}

} // namespace

void line_printer::vprint(double stamp, line_kind kind, va_list args) {
    const line_spec& spec = line_spec_of(kind);
    if (spec.timed) {
        // The time text is the format's first argument: put it in front of the rest.
        char tt[kTimeTextSize];
        std::fputs(stamp > 0 ? time_text_at(tt, stamp) : time_text(tt), out_);
        std::vfprintf(out_, spec.format + 2, args); // after the leading "%s"
    } else {
        std::vfprintf(out_, spec.format, args);
    }
}

void line_printer::print(line_kind kind, ...) {
    va_list args;
    va_start(args, kind);
    vprint(0, kind, args);
    va_end(args);
}

void line_printer::print_at(double stamp, line_kind kind, ...) {
    va_list args;
    va_start(args, kind);
    vprint(stamp, kind, args);
    va_end(args);
}

// The two start lines: an IPv4 address as its stored word and its four bytes, an IPv6 one as
// its text.
void line_printer::start_lines(line_kind text4, const char* ipaddr, const char* port_text,
                               const net_address& addr) {
    const bool v6 = addr.is_ipv6();
    const auto kind = [&](line_kind k) { return line_kind(int(k) + (v6 ? kIpv6RowOffset : 0)); };
    print(kind(text4), ipaddr ? ipaddr : "(null)", port_text);
    const line_kind address4 = line_kind(int(text4) + 1);
    if (v6) {
        print(kind(address4), address_only_text(addr).c_str(), int(addr.port()));
        return;
    }
    unsigned char bytes[4];
    std::memcpy(bytes, &addr.ipv4().sin_addr.s_addr, 4);
    const unsigned stored = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | unsigned(bytes[3]) << 24;
    const AddrParts p = addr_parts(addr.ipv4());
    print(address4, stored, p.a, p.b, p.c, p.d, p.port);
}

void line_printer::run_started(const rebound_run_start& e) {
    endpoint_text(e.connaddr, connaddr_);
    start_lines(line_kind::start_address_text, e.ipaddr, e.port_text, e.connaddr);
    print(line_kind::start_socket);
    flush();
}

void line_printer::probe_sent(const rebound_probe_sent& e) {
    const unsigned char* b = e.header;
    const double at = e.send_stamp;
    print_at(at, line_kind::probe_dump, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9],
             b[10], b[11], b[12], b[13], b[14], b[15]);
    const auto [s, r] = e.counters;
    print_at(at, line_kind::send, e.index, s, r, connaddr_, e.argsize, e.result, e.send_duration);
    if (e.result <= 0)
        print_at(at, line_kind::send_failed, e.index, s, r, e.result, e.error,
                 std::strerror(e.error));
}

void line_printer::wait_ended(const rebound_wait_ended& e) {
    if (e.outcome == rebound_wait_outcome::stopped) return flush();
    print(wait_line(e.wait, e.outcome), e.index, e.counters.sendpkts, e.counters.recvpkts);
    flush();
}

void line_printer::echo_received(const rebound_echo& e) {
    char src[kEndpointTextSize];
    endpoint_text(e.source, src);
    const auto [s, r] = e.counters;
    if (e.phase == 1)
        print(line_kind::echo, e.index, s, r, src, e.size, e.seq, e.round_trip);
    else
        print(line_kind::drained_echo, e.index, s, r, src, e.size, e.seq);
    flush();
}

void line_printer::receive_failed(const rebound_receive_failed& e) {
    char src[kEndpointTextSize];
    endpoint_text(e.source, src);
    const auto [s, r] = e.counters;
    const char* why = std::strerror(e.error);
    if (e.phase == 1) {
        print(line_kind::echo, e.index, s, r, src, e.result, e.seq, e.elapsed);
        print(line_kind::echo_failed, e.index, s, r, e.result, e.error, why);
    } else {
        print(line_kind::drained_echo, e.index, s, r, src, e.result, e.seq);
        print(line_kind::drained_echo_failed, e.index, s, r, e.result, e.error, why);
    }
    flush();
}

void line_printer::run_ended(const rebound_run_end& e) {
    if (e.end == rebound_end::normal) {
        const rebound_info& r = *e.info;
        print(line_kind::stat_difftime, r.difftime, e.end_stamp, e.start_stamp);
        print(line_kind::stat_sendpkts, r.sendpkts);
        print(line_kind::stat_recvpkts, r.recvpkts);
        // iterpkts never exceeds the highest index sent, so the sum fits.
        print(line_kind::stat_iterpkts, r.iterpkts + 1);
        if (r.sendpkts > 0)
            print(line_kind::stat_percent, r.recvpkts * 100.0 / r.sendpkts);
        else
            print(line_kind::stat_nothing_sent);
    }
    flush();
}

void line_printer::started(const responder_start& e) {
    start_lines(line_kind::listen_address_text, e.ipaddr, e.port_text, e.listaddr);
}

void line_printer::datagram_received(const responder_datagram& e) {
    char src[kEndpointTextSize];
    print(line_kind::listen_received, e.served, endpoint_text(e.source, src), e.size, e.seq);
    if (e.size <= 0)
        print(line_kind::listen_receive_failed, e.size, e.error, std::strerror(e.error));
}

void line_printer::echo_sent(const responder_echo_sent& e) {
    char to[kEndpointTextSize];
    print(line_kind::listen_sent, e.served, endpoint_text(e.destination, to), e.sent, e.seq);
    if (e.sent <= 0) print(line_kind::listen_send_failed, e.sent, e.error, std::strerror(e.error));
    if (e.sent != e.echo_size) print(line_kind::listen_size_mismatch, e.echo_size, e.sent);
}
