#include "engine/round_trip_client.h"

#include "address/sockaddr.h"
#include "engine/line_printer.h"
#include "engine/probe_header.h"
#include "net/bind_listen.h"
#include "net/connect.h"
#include "net/options.h"
#include "net/socket.h"
#include "platform/clock.h"
#include "platform/socket_api.h"
#include "platform/stop_signals.h"
#include "util/timestamp.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace {

using plat::kNanosPerSecond;
constexpr double kNanosecond = 1.0 / kNanosPerSecond;

// What the run remembers of every probe: the two readings taken right before its send call
// and what became of it. 24 bytes a probe, whatever the count.
struct ProbeSlot {
    int64_t wall_ns; // pairs with the kernel's receive stamps
    int64_t mono_ns; // pairs with user-space readings after the receive call
    uint8_t state;
};
enum : uint8_t { kSent = 1, kAnswered = 2, kTimedOut = 4 };

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

bool same_endpoint(const sockaddr_in& a, const sockaddr_in& b) {
    // A run aimed at the wildcard address reaches this host, whichever local address answers.
    const bool any = b.sin_addr.s_addr == htonl(INADDR_ANY);
    return a.sin_port == b.sin_port && (any || a.sin_addr.s_addr == b.sin_addr.s_addr);
}

enum class Wait { ready, timed_out, failed, stopped };

// One wait on the run's socket through the socket library; interrupted waits are repeated
// there unless the interruption was a request to stop.
Wait wait_for(int32_t sock, bool writable, double limit) {
    const int32_t r = writable ? tcp_wait_writable(sock, limit) : tcp_wait_readable(sock, limit);
    if (r == 0) return Wait::ready;
    if (plat::stop_requested()) return Wait::stopped;
    return r == -WSAETIMEDOUT ? Wait::timed_out : Wait::failed;
}

class Run {
  public:
    Run(const rebound_params& p, rebound_info* info, rebound_observer& observer)
        : p_(p), info_(*info), observer_(observer) {}

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

    Outcome iteration(int32_t i);
    Outcome send_probe(int32_t i);
    Outcome take_echo(int phase, int32_t index, int64_t deadline);
    // The one handling of a wait that did not end ready: report it and say what follows.
    Outcome not_ready(Wait w, rebound_wait where, int32_t index);
    Outcome drain();
    uint8_t echo(int phase, int32_t index, int32_t size, int64_t stamp_ns, int64_t mono_ns);
    std::optional<rebound_foreign_reason> foreign_reason(int32_t size, uint32_t seq) const;
    bool duration_over() const;
    int64_t deadline_from_now() const;
    rebound_counters counters() const { return {info_.sendpkts, info_.recvpkts}; }

    const rebound_params& p_;
    rebound_info& info_;
    rebound_observer& observer_;
    int32_t sock_ = -1;
    sockaddr_in connaddr_{};
    sockaddr_in from_{};
    int64_t start_mono_ = 0;
    std::vector<ProbeSlot> slots_;
    int32_t sent_ok_ = 0;      // probes whose send succeeded
    int64_t highest_seq_ = -1; // highest sequence number answered so far
    unsigned char buf_[kTransferBufferSize];
};

Run::Outcome Run::not_ready(Wait w, rebound_wait where, int32_t index) {
    const auto outcome = w == Wait::timed_out ? rebound_wait_outcome::timed_out
                         : w == Wait::stopped ? rebound_wait_outcome::stopped
                                              : rebound_wait_outcome::failed;
    observer_.wait_ended({where, outcome, index, counters()});
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

Run::Outcome Run::send_probe(int32_t i) {
    slots_.push_back({}); // slot i, whether or not the probe goes out
    const int64_t t0 = plat::monotonic_ns();
    if (const Wait w = wait_for(sock_, true, p_.timeout); w != Wait::ready)
        return not_ready(w, rebound_wait::before_send, i);

    std::memset(buf_, 0, kTransferBufferSize);
    info_.iterpkts = i;
    pkthdr_set(buf_, PKTHDR_SEQ, static_cast<uint32_t>(i));
    pkthdr_set(buf_, PKTHDR_SENDSIZE, static_cast<uint32_t>(p_.sendsize));
    pkthdr_set(buf_, PKTHDR_RECVSIZE, static_cast<uint32_t>(p_.recvsize));
    // Never more than the buffer holds, whatever sendsize says.
    const int len = std::min(p_.sendsize, kTransferBufferSize);

    ProbeSlot& slot = slots_.back();
    int result;
    do {
        // Read right at the call: the round trip starts here.
        slot.mono_ns = plat::monotonic_ns();
        slot.wall_ns = plat::wall_ns();
        result = plat::sendto(sock_, buf_, len, 0, reinterpret_cast<const sockaddr*>(&connaddr_),
                              plat::kInetAddrLen);
    } while (result < 0 && errno == EAGAIN);
    const int error = result < 0 ? errno : 0;
    const double send_duration = double(plat::monotonic_ns() - t0) * kNanosecond;

    if (in_record(i)) info_.sendtime[i] = send_duration;
    if (result > 0) slot.state = kSent;
    observer_.probe_sent({i, buf_, p_.sendsize, result, error, send_duration,
                          double(slot.mono_ns - start_mono_) * kNanosecond, counters()});
    if (result > 0) {
        bump(info_.sendpkts);
        bump(sent_ok_);
    }
    return {Step::go_on};
}

std::optional<rebound_foreign_reason> Run::foreign_reason(int32_t size, uint32_t seq) const {
    if (!same_endpoint(from_, connaddr_)) return rebound_foreign_reason::other_source;
    if (size < PKTHDR_SIZE) return rebound_foreign_reason::too_short;
    if (seq >= slots_.size() || !(slots_[seq].state & kSent))
        return rebound_foreign_reason::never_sent;
    return std::nullopt;
}

uint8_t Run::echo(int phase, int32_t index, int32_t size, int64_t stamp_ns, int64_t mono_ns) {
    const uint32_t seq = pkthdr_get(buf_, PKTHDR_SEQ);
    ProbeSlot& slot = slots_[seq];
    // The kernel's stamp leaves out the wake-up of this thread; a wall clock that stepped
    // between the two readings makes it useless, and the monotonic pair stands in.
    int64_t rtt_ns = stamp_ns ? stamp_ns - slot.wall_ns : -1;
    const bool kernel = rtt_ns >= 0;
    if (!kernel) rtt_ns = mono_ns - slot.mono_ns;
    const double round_trip = double(rtt_ns) * kNanosecond;

    uint8_t marks = 0;
    if (slot.state & kAnswered) marks |= REBOUND_ECHO_DUPLICATE;
    if (slot.state & kTimedOut) marks |= REBOUND_ECHO_LATE;
    if (int64_t(seq) < highest_seq_) marks |= REBOUND_ECHO_OUT_OF_ORDER;

    info_.iterpkts = static_cast<int32_t>(seq);
    // A duplicate keeps the time of the first answer.
    if (!(marks & REBOUND_ECHO_DUPLICATE) && in_record(seq)) info_.recvtime[seq] = round_trip;
    observer_.echo_received({phase, index, static_cast<int32_t>(seq), from_, size, round_trip,
                             kernel, marks, counters()});
    bump(info_.recvpkts);
    if (marks & REBOUND_ECHO_DUPLICATE)
        bump(info_.duppkts);
    else
        bump(info_.uniqpkts);
    if (marks & REBOUND_ECHO_LATE) bump(info_.latepkts);
    if (marks & REBOUND_ECHO_OUT_OF_ORDER) bump(info_.reorderpkts);
    slot.state |= kAnswered;
    highest_seq_ = std::max<int64_t>(highest_seq_, seq);
    return marks;
}

// The monotonic time by which a wait that starts now must end.
int64_t Run::deadline_from_now() const {
    return plat::monotonic_ns() + int64_t(p_.timeout * kNanosPerSecond);
}

// Waits for one echo until `deadline` (a wait's limit from its start). Datagrams that are no
// echo of this run are counted and waited past, within the same limit, so they can neither end
// nor stretch a wait.
Run::Outcome Run::take_echo(int phase, int32_t index, int64_t deadline) {
    const auto where = phase == 1 ? rebound_wait::for_echo : rebound_wait::drain;
    for (;;) {
        const double limit = std::max(0.0, double(deadline - plat::monotonic_ns()) * kNanosecond);
        if (const Wait w = wait_for(sock_, false, limit); w != Wait::ready)
            return not_ready(w, where, index);

        int result;
        int64_t stamp_ns = 0;
        do {
            int fromlen = plat::kInetAddrLen;
            // Without receive stamps switched on, the stamp stays 0 and the echo is timed by
            // the monotonic reading below.
            result =
                plat::recvfrom_stamped(sock_, buf_, kTransferBufferSize, 0,
                                       reinterpret_cast<sockaddr*>(&from_), &fromlen, &stamp_ns);
        } while (result < 0 && errno == EAGAIN);
        const int error = result < 0 ? errno : 0;
        const int64_t mono_ns = plat::monotonic_ns();

        if (result <= 0) {
            // The buffer still holds the probe just sent: a failed receive is charged to it.
            const double elapsed = phase == 1 && size_t(index) < slots_.size()
                                       ? double(mono_ns - slots_[index].mono_ns) * kNanosecond
                                       : 0.0;
            if (phase == 1) info_.iterpkts = index;
            observer_.receive_failed(
                {phase, index, info_.iterpkts, from_, result, error, elapsed, counters()});
            return {Step::no_echo};
        }
        const uint32_t seq = pkthdr_get(buf_, PKTHDR_SEQ);
        if (const auto reason = foreign_reason(result, seq)) {
            bump(info_.foreignpkts);
            observer_.foreign_received({phase, index, from_, result, *reason});
            continue;
        }
        return {Step::go_on, rebound_end::normal, echo(phase, index, result, stamp_ns, mono_ns)};
    }
}

Run::Outcome Run::iteration(int32_t i) {
    Outcome o = send_probe(i);
    if (o.step != Step::go_on) return o;
    o = take_echo(1, i, deadline_from_now());
    if (o.step == Step::timed_out && !(slots_[i].state & kAnswered)) slots_[i].state |= kTimedOut;
    if (o.step != Step::go_on) return o;
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
        const int64_t deadline = deadline_from_now();
        Outcome o{Step::go_on};
        do
            o = take_echo(2, clamp32(first + k), deadline);
        while (o.step == Step::go_on && (o.marks & REBOUND_ECHO_DUPLICATE));
        if (o.step == Step::end_run) return o;
        if (o.step == Step::timed_out) break;
    }
    return {Step::go_on};
}

bool Run::duration_over() const {
    return p_.duration > 0 &&
           double(plat::monotonic_ns() - start_mono_) * kNanosecond >= p_.duration;
}

rebound_end Run::measure() {
    char port_text[6] = {};
    std::snprintf(port_text, sizeof port_text, "%d", p_.ipport);
    connaddr_ = create_sockaddrin(AF_INET, p_.ipaddr, port_text);

    // A failed creation is not tested here: the first wait fails on the invalid handle and
    // ends the run through its SOCKERR line.
    sock_ = udp_create(AF_INET);
    // Where the kernel gives no stamps, echoes are timed by the monotonic reading instead.
    if (p_.kernel_stamps && sock_ >= 0) udp_setopt(sock_, SOCKOPT_TIMESTAMPNS, 1);
    const double start = get_timestamp();
    start_mono_ = plat::monotonic_ns();
    slots_.reserve(static_cast<size_t>(std::clamp(p_.count, 0, 1 << 16)));
    observer_.run_started({p_.ipaddr, port_text, connaddr_, start, p_.count});

    Outcome o{Step::go_on};
    for (int32_t i = 0; i < p_.count && !duration_over(); ++i) {
        o = iteration(i);
        observer_.iteration_done(i + 1, p_.count);
        if (o.step == Step::end_run) break;
    }
    if (o.step != Step::end_run && sent_ok_ > info_.uniqpkts) o = drain();

    double end_stamp = 0.0;
    if (o.step != Step::end_run) {
        end_stamp = get_timestamp();
        info_.difftime = end_stamp - start;
        o.end = rebound_end::normal;
    }
    if (sock_ >= 0) sock_close(sock_);
    observer_.run_ended({o.end, &info_, start, end_stamp});
    return o.end;
}

} // namespace

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
