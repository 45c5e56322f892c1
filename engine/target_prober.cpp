#include "engine/target_prober.h"

#include "engine/probe_header.h"
#include "engine/responder_stamps.h"
#include "net/options.h"
#include "net/socket.h"
#include "platform/clock.h"
#include "platform/socket_api.h"
#include "platform/socket_errors.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <netinet/in.h>

namespace {

using plat::kNanosPerSecond;
constexpr double kNanosecond = 1.0 / kNanosPerSecond;
constexpr double kLongestWait = 5.0;
constexpr double kWaitPeriods = 5.0;
// Slots the window keeps beyond those of one wait: an echo that arrives a little after its
// wait ended still finds its probe and counts late rather than foreign.
constexpr double kWindowWaits = 2.0;
constexpr int kDscpShift = 2; // the code point is the upper six bits of the traffic class
static_assert(kEchoHeadBytes == kStampedEchoSize);
// A probe whose first echo came after its wait: it stays lost, and a further echo is a
// duplicate.
constexpr uint8_t kProbeLate = 4;

int64_t to_ns(double seconds) {
    return int64_t(std::llround(seconds * kNanosPerSecond));
}

// The probe with the highest index not above `newest` whose sequence number is `seq` (the
// header carries 32 bits; the index counts on).
int64_t index_of(uint32_t seq, int64_t newest) {
    const uint32_t back = static_cast<uint32_t>(newest) - seq;
    return newest - int64_t(back);
}

} // namespace

double default_echo_wait(double period) {
    return std::min(kLongestWait, period * kWaitPeriods);
}

target_prober::target_prober(uint64_t id, const probe_target& target, int64_t first_due_ns)
    : id_(id), target_(target), period_ns_(std::max<int64_t>(to_ns(target.period), 1)),
      wait_ns_(to_ns(target.echo_wait > 0 ? target.echo_wait : default_echo_wait(target.period))),
      window_(size_t(kWindowWaits * double(wait_ns_) / double(period_ns_)) + 2),
      first_due_ns_(first_due_ns) {
    target_.probe_size = std::clamp(target_.probe_size, PKTHDR_SIZE, kTransferBufferSize);
    probe_.assign(size_t(target_.probe_size), 0);
    const int family = target_.address.ss_family;
    sock_ = plat::socket(family, SOCK_DGRAM, IPPROTO_UDP);
    if (sock_ < 0) {
        error_ = "cannot open a socket: " + plat::error_text(plat::last_socket_error());
        return;
    }
    plat::set_nonblocking(sock_, true);
    udp_setopt(sock_, SOCKOPT_TIMESTAMPNS, 1); // without stamps, arrivals take the clock
    if (target_.dscp >= 0) {
        const int tclass = target_.dscp << kDscpShift;
        if (family == AF_INET6)
            plat::setsockopt(sock_, IPPROTO_IPV6, IPV6_TCLASS, &tclass, sizeof tclass);
        else
            plat::setsockopt(sock_, IPPROTO_IP, IP_TOS, &tclass, sizeof tclass);
    }
    if (plat::connect(sock_, reinterpret_cast<const sockaddr*>(&target_.address),
                      int(target_.address_length)) != 0) {
        error_ = "cannot aim at the target: " + plat::error_text(plat::last_socket_error());
        return;
    }
    pkthdr_set(probe_.data(), PKTHDR_WORD0, kProbeFlagWantStamps);
    pkthdr_set(probe_.data(), PKTHDR_SENDSIZE, static_cast<uint32_t>(target_.probe_size));
    pkthdr_set(probe_.data(), PKTHDR_RECVSIZE, static_cast<uint32_t>(target_.echo_size));
}

target_prober::~target_prober() {
    if (sock_ >= 0) plat::closesocket(sock_);
}

int64_t target_prober::next_deadline() const {
    const int64_t next_slot = first_due_ns_ + slot_ * period_ns_;
    if (oldest_waiting_ < next_index_) {
        if (const probe_slot* s = window_.find(oldest_waiting_))
            return std::min(next_slot, s->mono_ns + wait_ns_);
    }
    return next_slot;
}

void target_prober::on_deadline(int64_t now_ns, probe_events& events) {
    end_waits(now_ns, events);
    const int64_t due = first_due_ns_ + slot_ * period_ns_;
    if (now_ns < due) return;
    // A slot whose whole period passed is skipped, never caught up in a burst.
    if (const int64_t missed = (now_ns - due) / period_ns_; missed > 0) {
        slot_ += missed;
        events.slots_skipped(id_, missed);
    }
    send_probe(first_due_ns_ + slot_ * period_ns_, events);
    ++slot_;
}

void target_prober::send_probe(int64_t due_ns, probe_events& events) {
    if (sock_ < 0 || !error_.empty()) return;
    const int64_t index = next_index_;
    pkthdr_set(probe_.data(), PKTHDR_SEQ, static_cast<uint32_t>(index));
    probe_slot& slot = window_.open(index);
    // Read right at the call: the round trip starts here.
    slot.mono_ns = plat::monotonic_ns();
    slot.wall_ns = plat::wall_ns();
    const int sent = plat::send(sock_, probe_.data(), target_.probe_size, MSG_DONTWAIT);
    if (sent < 0) {
        // An earlier probe's port-unreachable answer shows up here as well: it says nothing
        // of this probe, which is sent again once.
        const int error = errno;
        if (error == ECONNREFUSED &&
            plat::send(sock_, probe_.data(), target_.probe_size, MSG_DONTWAIT) >= 0) {
            slot.state = kProbeSent;
        } else {
            slot.index = -1; // never sent: no wait, no loss
            events.send_failed(id_, error);
            return;
        }
    } else {
        slot.state = kProbeSent;
    }
    ++next_index_;
    events.probe_sent(id_, double(slot.mono_ns - due_ns) * kNanosecond);
}

void target_prober::end_waits(int64_t now_ns, probe_events& events) {
    for (; oldest_waiting_ < next_index_; ++oldest_waiting_) {
        probe_slot* s = window_.find(oldest_waiting_);
        if (!s) continue; // never sent
        if (now_ns < s->mono_ns + wait_ns_) break;
        if (!(s->state & kProbeAnswered)) events.probe_lost(id_);
    }
}

void target_prober::on_readable(probe_events& events) {
    if (sock_ < 0) return;
    for (;;) {
        plat::ReceiveReadings kernel;
        // MSG_TRUNC: the echo's whole length, of which only the head is read.
        const int n = plat::recvfrom_stamped(sock_, echo_, kEchoHeadBytes, MSG_DONTWAIT | MSG_TRUNC,
                                             nullptr, nullptr, &kernel);
        const int64_t mono = plat::monotonic_ns();
        if (n < 0) {
            // A port with no one on it: the probe stays unanswered; other errors likewise.
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            if (errno != ECONNREFUSED && errno != EINTR) return;
            continue;
        }
        take_echo(n, kernel.stamp_ns, mono, events);
    }
}

void target_prober::take_echo(int32_t size, int64_t stamp_ns, int64_t mono_ns,
                              probe_events& events) {
    const unsigned char* echo = echo_;
    if (size < PKTHDR_SIZE || next_index_ == 0) return; // no echo of ours
    const int64_t index = index_of(pkthdr_get(echo, PKTHDR_SEQ), next_index_ - 1);
    probe_slot* slot = window_.find(index);
    if (!slot || !(slot->state & kProbeSent)) return; // long gone or never sent
    if (slot->state & (kProbeAnswered | kProbeLate)) {
        events.echo_duplicate(id_);
        return;
    }
    // The kernel's stamp leaves out this thread's wake-up; a wall clock that stepped between
    // the two readings makes it useless, and the monotonic pair stands in.
    int64_t rtt_ns = stamp_ns ? stamp_ns - slot->wall_ns : -1;
    if (rtt_ns < 0) rtt_ns = mono_ns - slot->mono_ns;
    if (rtt_ns > wait_ns_ || index < oldest_waiting_) {
        slot->state |= kProbeLate;
        events.echo_late(id_);
        return;
    }
    slot->state |= kProbeAnswered;
    rebound_directions directions;
    if (const auto stamps = stamps_read(echo, std::min(size, kEchoHeadBytes))) {
        const int64_t arrival_ns = slot->wall_ns + rtt_ns;
        directions = {true, double(stamps->sent_ns - stamps->received_ns) * kNanosecond,
                      double(stamps->received_ns - slot->wall_ns) * kNanosecond,
                      double(arrival_ns - stamps->sent_ns) * kNanosecond};
    }
    events.echo_answered(id_, double(rtt_ns) * kNanosecond, directions);
}
