#include "engine/responder_tally.h"

#include <numeric>

uint64_t responder_counts::refused_total() const {
    return std::accumulate(refused.begin(), refused.end(), uint64_t{0});
}

std::string describe_counts(const responder_counts& c) {
    std::string reasons;
    for (int r = 1; r < kEchoRefusalKinds; ++r) {
        if (!reasons.empty()) reasons += ' ';
        reasons += echo_refusal_name(static_cast<echo_refusal>(r));
        reasons += '=' + std::to_string(c.refused[size_t(r)]);
    }
    return "received=" + std::to_string(c.received) + " echoed=" + std::to_string(c.echoed) +
           " send_failed=" + std::to_string(c.send_failed) +
           " refused=" + std::to_string(c.refused_total()) + " (" + reasons + ")" +
           " rate_limited=" + std::to_string(c.rate_limited);
}

responder_tally::responder_tally(int loops)
    : slots_(std::make_unique<slot[]>(size_t(loops > 0 ? loops : 1))),
      loops_(loops > 0 ? loops : 1) {}

void responder_tally::bump(int loop, int which) {
    auto& n = slots_[size_t(loop)].counts[size_t(which)];
    n.store(n.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void responder_tally::datagram_received(const responder_datagram& e) {
    // A datagram that is echoed ends in echo_sent; an empty one ends here; a negative size is a
    // failed receive, no datagram.
    if (e.size == 0) bump(e.loop, refused_first + static_cast<int>(echo_refusal::empty));
}

void responder_tally::echo_sent(const responder_echo_sent& e) {
    bump(e.loop, e.sent > 0 ? echoed : send_failed);
}

void responder_tally::datagram_refused(const responder_refused& e) {
    bump(e.loop, refused_first + static_cast<int>(e.reason));
}

void responder_tally::datagram_rate_limited(const responder_rate_limited& e) {
    bump(e.loop, rate_limited);
}

responder_counts responder_tally::sum() const {
    std::array<uint64_t, kCounters> total{};
    for (int l = 0; l < loops_; ++l)
        for (int k = 0; k < kCounters; ++k)
            total[size_t(k)] += slots_[size_t(l)].counts[size_t(k)].load(std::memory_order_relaxed);
    responder_counts c;
    c.echoed = total[echoed];
    c.send_failed = total[send_failed];
    c.rate_limited = total[rate_limited];
    for (int r = 0; r < kEchoRefusalKinds; ++r)
        c.refused[size_t(r)] = total[size_t(refused_first + r)];
    c.received = c.echoed + c.send_failed + c.rate_limited + c.refused_total();
    return c;
}
