#include "engine/round_trip_client.h"

#include "address/net_address.h"
#include "address/sockaddr.h"
#include "engine/deferred_events.h"
#include "engine/line_printer.h"
#include "engine/probe_header.h"
#include "engine/probe_window.h"
#include "engine/receive_buffer.h"
#include "engine/responder_stamps.h"
#include "net/bind_listen.h"
#include "net/connect.h"
#include "net/options.h"
#include "net/socket.h"
#include "platform/clock.h"
#include "platform/processors.h"
#include "platform/socket_api.h"
#include "platform/stop_signals.h"
#include "util/dscp_text.h"
#include "util/timestamp.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

namespace {

using plat::kNanosPerSecond;
constexpr double kNanosecond = 1.0 / kNanosPerSecond;

// Counters never wrap: a hostile peer cannot turn them negative.
void bump(int32_t& counter) {
    if (counter < std::numeric_limits<int32_t>::max()) ++counter;
}

int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

bool in_record(int64_t index) {
    return index >= 0 && index < REBOUND_MAXPKTS;
}

bool same_endpoint(const net_address& a, const net_address& b) {
    // A run aimed at the wildcard address reaches this host, whichever local address answers.
    return a.port() == b.port() && a.family() == b.family() &&
           (b.is_unspecified() || a.same_host(b));
}

// The responder's address of the host text: an IPv6 literal, or a dotted IPv4 address (a text
// that is none gives 255.255.255.255, whose sends fail and are reported). An IPv6 text that
// does not parse leaves the address unset: every send to it fails.
net_address responder_address(const char* host, const char* port_text, uint16_t port) {
    if (host && looks_like_ipv6(host)) {
        net_address a;
        parse_address_literal(host, port, &a);
        return a;
    }
    return create_sockaddrin(AF_INET, host, port_text);
}

// Limits from here on are kept by the socket's own receive limit, which rounds up to a kernel
// tick (1 to 4 ms): at 20 ms and more that is within a fifth of the limit, and a wait that runs
// out is the only one it lengthens.
constexpr int64_t kTickSafeLimit = 20 * plat::kNanosPerSecond / 1000;

int64_t seconds_ns(double seconds) {
    constexpr double kLongest = 86400.0 * 365; // keeps the conversion defined
    return int64_t(std::min(seconds, kLongest) * kNanosPerSecond);
}

enum class Wait { ready, timed_out, failed, stopped };

// One writability wait through the socket library (only when a send would block, or the
// socket is unusable); interrupted waits are repeated there unless the interruption was a stop.
Wait wait_writable(int32_t sock, double limit) {
    const int32_t r = tcp_wait_writable(sock, limit);
    if (r == 0) return Wait::ready;
    if (plat::stop_requested()) return Wait::stopped;
    return r == -WSAETIMEDOUT ? Wait::timed_out : Wait::failed;
}

class Run {
  public:
    Run(const rebound_params& p, rebound_info* info, rebound_observer& observer)
        : p_(p), info_(*info), observer_(observer), events_(observer),
          window_(p.period > 0 ? std::max(p.late_window, scheduled_late_window(p.timeout, p.period))
                               : p.late_window) {}

    rebound_end measure();

  private:
    // What one step of a phase does next.
    enum class Step {
        go_on,
        timed_out, // a wait ran out: the iteration, or the drain, ends
        no_echo,   // the receive call failed: the iteration, or this drain attempt, ends
        end_run,   // a failed wait or a stop request
    };
    struct Outcome {
        Step step;
        rebound_end end = rebound_end::normal;
        uint8_t marks = 0; // of the echo taken
    };
    // One receive call with its readings.
    struct Received {
        Wait wait;
        int result = 0;
        int error = 0;
        plat::ReceiveReadings kernel{}; // arrival stamp, receive-buffer drops
        int64_t mono_ns = 0;  // read right after the call
    };

    Outcome iteration(int32_t i);
    Outcome send_probe(int32_t i);
    // precise: keep to the limit to the nanosecond (schedules), at one more system call.
    Received receive(int64_t limit_ns, bool precise = false);
    Outcome take_echo(int phase, int32_t index);
    // The one handling of a wait that did not end ready: report it and say what follows.
    Outcome not_ready(Wait w, rebound_wait where, int32_t index);
    Outcome drain();
    Outcome scheduled();
    Outcome take_until(int64_t deadline, bool until_all_answered);
    uint8_t echo(int phase, int32_t index, uint32_t seq, int32_t size, const Received& r);
    void mark_probes(bool v6);
    uint32_t echo_seq(int32_t size) const;
    std::optional<rebound_foreign_reason> foreign_reason(int32_t size, uint32_t seq);
    bool unreachable_ends_run(const Received& r);
    bool not_an_echo(int phase, int32_t index, int32_t size, uint32_t seq);
    // Hands the held events on; ends the run early when an observer asks it to.
    Outcome deliver();
    bool duration_over() const;
    rebound_counters counters() const { return {info_.sendpkts, info_.recvpkts}; }

    const rebound_params& p_;
    rebound_info& info_;
    rebound_observer& observer_;
    deferred_events events_; // every event between run_started and run_ended goes through it
    int32_t sock_ = -1;
    net_address connaddr_;
    net_address from_;
    int64_t start_mono_ = 0;
    double start_stamp_ = 0;
    int64_t timeout_ns_ = 0;
    int64_t busy_wait_ns_ = 0;
    int64_t receive_limit_ns_ = -1; // the limit the socket's receives have now; -1: none set
    probe_window window_;
    int32_t sent_ok_ = 0;      // probes whose send succeeded
    int64_t highest_seq_ = -1; // highest sequence number answered so far
    int64_t newest_sent_ = -1; // the latest probe handed to a send call
    int64_t slot_ns_ = -1;     // scheduled runs: the monotonic time the next send is due
    uint32_t buffer_seq_ = 0;  // what the last datagram sent or received carried as its number
    // Probes are built in their own buffer, zeroed once: per probe only the header changes,
    // and nothing a peer sent ever goes out again.
    unsigned char probe_[kTransferBufferSize] = {};
    unsigned char buf_[kTransferBufferSize];
};

Run::Outcome Run::not_ready(Wait w, rebound_wait where, int32_t index) {
    const auto outcome = w == Wait::timed_out ? rebound_wait_outcome::timed_out
                         : w == Wait::stopped ? rebound_wait_outcome::stopped
                                              : rebound_wait_outcome::failed;
    events_.wait_ended({where, outcome, index, counters()});
    switch (outcome) {
    case rebound_wait_outcome::timed_out:
        return {Step::timed_out};
    case rebound_wait_outcome::stopped:
        return {Step::end_run, rebound_end::stopped};
    case rebound_wait_outcome::failed:
        break;
    }
    return {Step::end_run, rebound_end::early};
}

// Sends first and waits for writability only when the send would block (or the socket is
// unusable, whose wait then fails and ends the run through its line).
Run::Outcome Run::send_probe(int32_t i) {
    probe_slot& slot = window_.open(i);
    newest_sent_ = i;
    const int64_t t0 = plat::monotonic_ns();
    if (sock_ < 0) return not_ready(wait_writable(sock_, p_.timeout), rebound_wait::before_send, i);

    info_.iterpkts = i;
    pkthdr_set(probe_, PKTHDR_SEQ, static_cast<uint32_t>(i));
    pkthdr_set(probe_, PKTHDR_SENDSIZE, static_cast<uint32_t>(p_.sendsize));
    pkthdr_set(probe_, PKTHDR_RECVSIZE, static_cast<uint32_t>(p_.recvsize));
    buffer_seq_ = static_cast<uint32_t>(i);
    // Never more than the buffer holds, whatever sendsize says.
    const int len = std::min(p_.sendsize, kTransferBufferSize);

    int result;
    for (;;) {
        // Read right at the call: the round trip starts here.
        slot.mono_ns = plat::monotonic_ns();
        slot.wall_ns = plat::wall_ns();
        result =
            plat::sendto(sock_, probe_, len, MSG_DONTWAIT, connaddr_.record(), connaddr_.length());
        if (result >= 0 || errno != EAGAIN) break;
        if (const Wait w = wait_writable(sock_, p_.timeout); w != Wait::ready)
            return not_ready(w, rebound_wait::before_send, i);
    }
    const int error = result < 0 ? errno : 0;
    const double send_duration = double(plat::monotonic_ns() - t0) * kNanosecond;
    const double lateness = slot_ns_ < 0 ? -1.0 : double(slot.mono_ns - slot_ns_) * kNanosecond;

    if (in_record(i)) info_.sendtime[i] = send_duration;
    if (result > 0) slot.state = kProbeSent;
    events_.probe_sent({i, probe_, p_.sendsize, result, error, send_duration,
                        double(slot.mono_ns - start_mono_) * kNanosecond, counters(),
                        double(slot.wall_ns) * kNanosecond, lateness});
    if (result > 0) {
        bump(info_.sendpkts);
        bump(sent_ok_);
    } else {
        bump(info_.sendfailpkts);
    }
    return {Step::go_on};
}

// One receive call that waits at most `limit_ns`: a single system call, whose time limit is
// set on the socket only when it changes (in lock-step it is the same -t every time). A stop
// shuts the socket's receive side (open_stop_signals), so the call returns at once.
Run::Received Run::receive(int64_t limit_ns, bool precise) {
    Received r;
    // Until then an empty look is followed by another, not by a sleep; a stop is still seen at
    // once, and each look yields the processor first to whoever waits for it there (the
    // responder, when both share it), so the busy wait never delays the echo it waits for.
    const int64_t busy_until = precise || busy_wait_ns_ <= 0
                                   ? 0
                                   : plat::monotonic_ns() + std::min(busy_wait_ns_, limit_ns);
    for (;;) {
        if (plat::stop_requested()) return {Wait::stopped};
        int flags = 0;
        const int64_t before = plat::monotonic_ns();
        if (limit_ns <= 0 || before < busy_until) {
            flags = MSG_DONTWAIT; // a look at what is there, no wait
        } else if (precise || limit_ns < kTickSafeLimit) {
            // The socket's own limit counts in kernel ticks (up to 4 ms late): a short limit,
            // or a schedule, waits in ppoll, which keeps to the nanosecond.
            const int32_t w = tcp_wait_readable(sock_, double(limit_ns) * kNanosecond);
            if (plat::stop_requested()) return {Wait::stopped};
            if (w == -WSAETIMEDOUT) return {Wait::timed_out};
            if (w != 0) return {Wait::failed};
            flags = MSG_DONTWAIT;
        } else if (limit_ns != receive_limit_ns_) {
            plat::set_receive_limit(sock_, limit_ns);
            receive_limit_ns_ = limit_ns;
        }
        int fromlen = net_address::kRecordSize;
        from_ = {};
        r.result = plat::recvfrom_stamped(sock_, buf_, kTransferBufferSize, flags, from_.record(),
                                          &fromlen, &r.kernel);
        r.error = r.result < 0 ? errno : 0;
        r.mono_ns = plat::monotonic_ns();
        // The kernel's count covers the whole run so far: the latest reading is the total.
        if (r.kernel.buffer_drops >= 0)
            info_.droppedpkts = clamp32(r.kernel.buffer_drops);
        if (plat::stop_requested()) return {Wait::stopped};
        if (r.error == EINTR) { // another signal: wait out the rest
            limit_ns -= r.mono_ns - before;
            continue;
        }
        if (r.error == EAGAIN) {
            // Nothing there within the limit: a busy wait looks again, and a socket that was
            // readable yet had nothing to take is waited on for the rest.
            if (flags == MSG_DONTWAIT && limit_ns > 0) {
                if (r.mono_ns < busy_until) plat::yield_processor();
                limit_ns -= r.mono_ns - before;
                continue;
            }
            return {Wait::timed_out};
        }
        r.wait = Wait::ready;
        return r;
    }
}

// The probe an echo answers. A probe of 8 bytes or more carries its whole sequence number; a
// shorter one only its low bytes (none at 4 bytes or less), and its echo then belongs to the
// latest probe sent whose number ends in those bytes: in lock-step, the one outstanding.
uint32_t Run::echo_seq(int32_t size) const {
    const uint32_t carried = pkthdr_get(buf_, PKTHDR_SEQ);
    const int bytes = std::clamp(std::min(size, p_.sendsize) - kSeqOffset, 0, kSeqBytes);
    if (bytes == kSeqBytes) return carried;
    const uint32_t mask = bytes == 0 ? 0 : (uint32_t{1} << (8 * bytes)) - 1;
    const auto newest = static_cast<uint32_t>(std::max(newest_sent_, int64_t{0}));
    return newest - ((newest - carried) & mask);
}

std::optional<rebound_foreign_reason> Run::foreign_reason(int32_t size, uint32_t seq) {
    if (!same_endpoint(from_, connaddr_)) return rebound_foreign_reason::other_source;
    // An echo as long as its probe is whole, even when that is shorter than the header.
    if (size < std::min(PKTHDR_SIZE, std::max(p_.sendsize, 1)))
        return rebound_foreign_reason::too_short;
    if (window_.expired(seq)) return rebound_foreign_reason::expired;
    const probe_slot* slot = window_.find(seq);
    if (!slot || !(slot->state & kProbeSent)) return rebound_foreign_reason::never_sent;
    return std::nullopt;
}

uint8_t Run::echo(int phase, int32_t index, uint32_t seq, int32_t size, const Received& r) {
    const int64_t stamp_ns = r.kernel.stamp_ns;
    const int64_t mono_ns = r.mono_ns;
    probe_slot& slot = *window_.find(seq);
    // The kernel's stamp leaves out the wake-up of this thread; a wall clock that stepped
    // between the two readings makes it useless, and the monotonic pair stands in.
    int64_t rtt_ns = stamp_ns ? stamp_ns - slot.wall_ns : -1;
    const bool kernel = rtt_ns >= 0;
    if (!kernel) rtt_ns = mono_ns - slot.mono_ns;
    const double round_trip = double(rtt_ns) * kNanosecond;
    rebound_directions directions;
    if (const auto stamps = p_.want_stamps ? stamps_read(buf_, size) : std::nullopt) {
        const int64_t arrival_ns = slot.wall_ns + rtt_ns;
        directions = {true, double(stamps->sent_ns - stamps->received_ns) * kNanosecond,
                      double(stamps->received_ns - slot.wall_ns) * kNanosecond,
                      double(arrival_ns - stamps->sent_ns) * kNanosecond};
    }

    uint8_t marks = 0;
    if (slot.state & kProbeAnswered) marks |= REBOUND_ECHO_DUPLICATE;
    // Late is a fact of the echo itself: it came more than -t after its own probe's send,
    // whichever wait took it.
    if (rtt_ns > timeout_ns_) marks |= REBOUND_ECHO_LATE;
    if (int64_t(seq) < highest_seq_) marks |= REBOUND_ECHO_OUT_OF_ORDER;

    info_.iterpkts = static_cast<int32_t>(seq);
    // A duplicate keeps the time of the first answer.
    if (!(marks & REBOUND_ECHO_DUPLICATE) && in_record(seq)) info_.recvtime[seq] = round_trip;
    const int there = p_.want_stamps ? stamps_arrival_class(buf_, size).value_or(-1) : -1;
    events_.echo_received({phase, index, static_cast<int32_t>(seq), from_, size, round_trip, kernel,
                           marks, counters(), directions, r.kernel.traffic_class, there});
    bump(info_.recvpkts);
    if (marks & REBOUND_ECHO_DUPLICATE)
        bump(info_.duppkts);
    else
        bump(info_.uniqpkts);
    if (marks & REBOUND_ECHO_LATE) bump(info_.latepkts);
    if (marks & REBOUND_ECHO_OUT_OF_ORDER) bump(info_.reorderpkts);
    slot.state |= kProbeAnswered;
    highest_seq_ = std::max<int64_t>(highest_seq_, seq);
    return marks;
}

// The kernel's word that a probe found no one on the port (IP_RECVERR): counted and its
// queued report taken. Before any echo came it ends the run: nothing there can be measured.
bool Run::unreachable_ends_run(const Received& r) {
    if (r.result >= 0 || r.error != ECONNREFUSED) return false;
    bump(info_.unreachpkts);
    plat::clear_error_queue(sock_);
    return info_.uniqpkts == 0;
}

// A datagram that is no echo to match (foreign_reason): counted by kind and reported; false
// for an echo.
bool Run::not_an_echo(int phase, int32_t index, int32_t size, uint32_t seq) {
    const auto reason = foreign_reason(size, seq);
    if (!reason) return false;
    if (*reason == rebound_foreign_reason::expired) {
        bump(info_.expiredpkts);
        bump(info_.latepkts);
    } else {
        bump(info_.foreignpkts);
    }
    events_.foreign_received({phase, index, from_, size, *reason});
    return true;
}

// Waits for an echo within one wait's limit (-t from now). In phase 1 the wait is for probe
// `index`: echoes of earlier probes are taken on the way (counted, late when they are) and the
// wait goes on within the same limit. Datagrams that are no echo of this run are counted and
// waited past, so they can neither end nor stretch a wait.
Run::Outcome Run::take_echo(int phase, int32_t index) {
    const auto where = phase == 1 ? rebound_wait::for_echo : rebound_wait::drain;
    const int64_t deadline = plat::monotonic_ns() + timeout_ns_;
    int64_t limit_ns = timeout_ns_;
    uint8_t marks = 0;
    for (;; limit_ns = deadline - plat::monotonic_ns()) {
        const Received r = receive(limit_ns);
        if (r.wait != Wait::ready) return not_ready(r.wait, where, index);

        if (r.result <= 0) {
            // A failed receive is charged to the probe just sent (phase 1) or to what the
            // buffer held last.
            const probe_slot* sent = phase == 1 ? window_.find(index) : nullptr;
            const double elapsed = sent ? double(r.mono_ns - sent->mono_ns) * kNanosecond : 0.0;
            if (phase == 1) info_.iterpkts = index;
            events_.receive_failed({phase, index, static_cast<int32_t>(buffer_seq_), from_,
                                    r.result, r.error, elapsed, counters()});
            if (unreachable_ends_run(r)) return {Step::end_run, rebound_end::early};
            return {Step::no_echo};
        }
        const uint32_t seq = echo_seq(r.result);
        buffer_seq_ = seq;
        if (not_an_echo(phase, index, r.result, seq)) continue;
        marks = echo(phase, index, seq, r.result, r);
        const probe_slot* waited = window_.find(index);
        if (phase == 2 || !waited || (waited->state & kProbeAnswered)) break;
    }
    return {Step::go_on, rebound_end::normal, marks};
}

Run::Outcome Run::iteration(int32_t i) {
    Outcome o = send_probe(i);
    // A probe whose send failed has no echo to wait for.
    const probe_slot* sent = window_.find(i);
    if (o.step == Step::go_on && sent && (sent->state & kProbeSent)) o = take_echo(1, i);
    const Outcome handed = deliver();
    if (o.step == Step::end_run) return o;
    if (handed.step == Step::end_run) return handed;
    // The pause follows every probe, answered or not, so -i holds the rate against a silent
    // port too.
    if (!plat::pause_unless_stopped(p_.interval)) return {Step::end_run, rebound_end::stopped};
    return {Step::go_on};
}

// Waits for echoes still outstanding: one attempt per probe sent and not yet answered, ended
// by the first wait that times out. A duplicate does not use up its attempt (within the same
// limit), or it would leave a real echo unread and counted as lost. The attempt counter starts
// at recvpkts.
Run::Outcome Run::drain() {
    const int32_t outstanding = sent_ok_ - info_.uniqpkts;
    const int64_t first = info_.recvpkts;
    for (int32_t k = 0; k < outstanding; ++k) {
        Outcome o{Step::go_on};
        do
            o = take_echo(2, clamp32(first + k));
        while (o.step == Step::go_on && (o.marks & REBOUND_ECHO_DUPLICATE));
        const Outcome handed = deliver();
        if (o.step == Step::end_run) return o;
        if (handed.step == Step::end_run) return handed;
        if (o.step == Step::timed_out) break;
    }
    return {Step::go_on};
}

// Takes every echo that arrives until `deadline` (or, at the end, until nothing is
// outstanding). Echoes carry their own probe's index on their lines.
Run::Outcome Run::take_until(int64_t deadline, bool until_all_answered) {
    for (;;) {
        if (until_all_answered && sent_ok_ <= info_.uniqpkts) return {Step::go_on};
        const Received r = receive(deadline - plat::monotonic_ns(), true);
        if (r.wait == Wait::timed_out) return {Step::go_on};
        if (r.wait != Wait::ready) return not_ready(r.wait, rebound_wait::for_echo, info_.iterpkts);
        if (r.result <= 0) {
            events_.receive_failed({1, info_.iterpkts, static_cast<int32_t>(buffer_seq_), from_,
                                    r.result, r.error, 0.0, counters()});
            if (unreachable_ends_run(r)) return {Step::end_run, rebound_end::early};
            continue;
        }
        const uint32_t seq = echo_seq(r.result);
        if (not_an_echo(1, static_cast<int32_t>(seq), r.result, seq)) continue;
        buffer_seq_ = seq;
        echo(1, static_cast<int32_t>(seq), seq, r.result, r);
    }
}

// Open loop on the monotonic clock: probe k at start + k·period. Between slots the run takes
// the echoes that come; a slot whose whole period passed before its send could start is
// skipped (counted), so a run that cannot keep up never sends a burst to catch up.
Run::Outcome Run::scheduled() {
    const int64_t period_ns = std::max<int64_t>(seconds_ns(p_.period), 1);
    plat::tight_timers();
    const int64_t first = plat::monotonic_ns();
    int64_t slot_number = 0;
    int64_t last_send = first;
    for (int32_t i = 0; i < p_.count && !duration_over();) {
        const int64_t due = first + slot_number * period_ns;
        if (Outcome o = take_until(due, false); o.step == Step::end_run) return o;
        const int64_t now = plat::monotonic_ns();
        if (now - due >= period_ns) {
            const int64_t missed = (now - due) / period_ns;
            slot_number += missed;
            info_.skippedslots = clamp32(int64_t(info_.skippedslots) + missed);
            continue;
        }
        slot_ns_ = due;
        Outcome o = send_probe(i);
        slot_ns_ = -1;
        last_send = plat::monotonic_ns();
        // What the gap before this send gathered goes to the observers now, while the new
        // probe travels (its arrival is stamped by the kernel).
        const Outcome handed = deliver();
        observer_.iteration_done(i + 1, p_.count);
        if (o.step == Step::end_run) return o;
        if (handed.step == Step::end_run) return handed;
        ++i;
        ++slot_number;
    }
    // The last probes get their time limit too.
    const Outcome o = take_until(last_send + timeout_ns_, true);
    const Outcome handed = deliver();
    return o.step == Step::end_run ? o : handed;
}

Run::Outcome Run::deliver() {
    events_.deliver();
    if (observer_.wants_end()) return {Step::end_run, rebound_end::early};
    return {Step::go_on};
}

bool Run::duration_over() const {
    return p_.duration > 0 &&
           double(plat::monotonic_ns() - start_mono_) * kNanosecond >= p_.duration;
}

// The marking the probes go out with, and the reading of every echo's traffic class. Each
// option is one of a pair, the IPv4 or the IPv6 one by the socket's family.
void Run::mark_probes(bool v6) {
    udp_setopt(sock_, v6 ? SOCKOPT_RECVTCLASS : SOCKOPT_RECVTOS, 1);
    if (p_.dscp >= 0) udp_setopt(sock_, v6 ? SOCKOPT_TCLASS : SOCKOPT_TOS, p_.dscp << kDscpShift);
    if (p_.ttl > 0) udp_setopt(sock_, v6 ? SOCKOPT_HOPLIMIT : SOCKOPT_TTL, p_.ttl);
    if (p_.dont_fragment)
        udp_setopt(sock_, v6 ? SOCKOPT_MTU_DISCOVER6 : SOCKOPT_MTU_DISCOVER,
                   v6 ? IPV6_PMTUDISC_DO : IP_PMTUDISC_DO);
}

rebound_end Run::measure() {
    char port_text[6] = {};
    std::snprintf(port_text, sizeof port_text, "%d", p_.ipport);
    connaddr_ = responder_address(p_.ipaddr, port_text, static_cast<uint16_t>(p_.ipport));
    timeout_ns_ = seconds_ns(p_.timeout);
    busy_wait_ns_ = p_.busy_wait > 0 ? seconds_ns(p_.busy_wait) : 0;
    const bool v6 = connaddr_.family() != AF_INET;

    // A failed creation is not tested here: the first send waits on the invalid handle, which
    // fails and ends the run through its SOCKERR line.
    sock_ = udp_create(v6 ? AF_INET6 : AF_INET);
    // Where the kernel gives no stamps, echoes are timed by the monotonic reading instead.
    if (p_.kernel_stamps && sock_ >= 0) udp_setopt(sock_, SOCKOPT_TIMESTAMPNS, 1);
    // A port with no one on it answers with ICMP, which an unconnected socket hears only so.
    if (sock_ >= 0) udp_setopt(sock_, v6 ? SOCKOPT_RECVERR6 : SOCKOPT_RECVERR, 1);
    // Echoes the kernel drops from a full receive buffer are the client's loss, not the path's.
    if (sock_ >= 0) udp_setopt(sock_, SOCKOPT_RXQ_OVFL, 1);
    if (sock_ >= 0) mark_probes(v6);
    if (const int32_t bytes = receive_buffer_bytes(p_); sock_ >= 0 && bytes > 0)
        plat::grow_receive_buffer(sock_, bytes); // a smaller buffer still measures
    if (p_.want_stamps) pkthdr_set(probe_, PKTHDR_WORD0, kProbeFlagWantStamps);
    start_stamp_ = get_timestamp();
    start_mono_ = plat::monotonic_ns();
    observer_.run_started({p_.ipaddr, port_text, connaddr_, start_stamp_, p_.count,
                           window_.capacity(), p_.want_stamps, p_.dscp, rebound_probes_bound(p_),
                           p_.period > 0});

    Outcome o{Step::go_on};
    {
        // Receives block in one call; a stop ends them through the socket.
        const plat::open_stop_signals stops(sock_);
        if (p_.period > 0) o = scheduled();
        for (int32_t i = 0; p_.period <= 0 && i < p_.count && !duration_over(); ++i) {
            o = iteration(i);
            observer_.iteration_done(i + 1, p_.count);
            if (o.step == Step::end_run) break;
        }
        if (p_.period <= 0 && o.step != Step::end_run && sent_ok_ > info_.uniqpkts) o = drain();
    }
    events_.deliver();

    double end_stamp = 0.0;
    if (o.step != Step::end_run) {
        end_stamp = get_timestamp();
        info_.difftime = end_stamp - start_stamp_;
        o.end = rebound_end::normal;
    }
    if (sock_ >= 0) sock_close(sock_);
    observer_.run_ended({o.end, &info_, start_stamp_, end_stamp});
    return o.end;
}

} // namespace

// A lock-step run pauses `interval` after every probe and a scheduled one sends every `period`,
// so in `duration` neither sends more than duration / pace + 1 probes.
int64_t rebound_probes_bound(const rebound_params& p) {
    const int64_t count = std::max<int64_t>(p.count, 0);
    const double pace = p.period > 0 ? p.period : p.interval;
    if (!(p.duration > 0) || !(pace > 0)) return count;
    const double paced = std::ceil(p.duration / pace) + 1;
    return paced < double(count) ? int64_t(paced) : count;
}

size_t scheduled_late_window(double timeout, double period) {
    const double needed = period > 0 ? 2.0 * timeout / period : 0.0;
    return needed > double(probe_window::kDefaultCapacity) ? size_t(needed)
                                                           : probe_window::kDefaultCapacity;
}

rebound_end rebound_run(const rebound_params& params, rebound_info* reboundinfo,
                        rebound_observer& observer) {
    std::memset(reboundinfo, 0, sizeof *reboundinfo);
    auto run = std::make_unique<Run>(params, reboundinfo, observer); // 64 KiB buffer: off the stack
    return run->measure();
}

rebound_end rebound_connect(const char* ipaddr, int32_t ipport, double timeout, int32_t count,
                            int32_t sendsize, int32_t recvsize, rebound_info* reboundinfo,
                            rebound_observer* observer) {
    rebound_params p;
    p.ipaddr = ipaddr;
    p.ipport = ipport;
    p.timeout = timeout;
    p.count = count;
    p.sendsize = sendsize;
    p.recvsize = recvsize;
    line_printer stdout_lines(stdout);
    return rebound_run(p, reboundinfo, observer ? *observer : stdout_lines);
}
