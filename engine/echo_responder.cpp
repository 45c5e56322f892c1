#include "engine/echo_responder.h"

#include "address/address_text.h"
#include "address/net_address.h"
#include "address/sockaddr.h"
#include "engine/probe_header.h"
#include "engine/rate_limiter.h"
#include "engine/responder_stamps.h"
#include "engine/subnet_broadcasts.h"
#include "net/bind_listen.h"
#include "net/options.h"
#include "platform/clock.h"
#include "platform/datagram_batch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// The two bits below the DSCP in the traffic class byte.
constexpr int kEcnMask = 0x3;

// Each datagram then tells its traffic class: an IPv4 one (also on a socket of both families)
// through IP_RECVTOS, an IPv6 one through IPV6_RECVTCLASS; the socket refuses the one of a
// family it does not carry, which is harmless.
void read_traffic_class(int32_t sock) {
    udp_setopt(sock, SOCKOPT_RECVTOS, 1);
    udp_setopt(sock, SOCKOPT_RECVTCLASS, 1);
}

net_address received_source(const plat::received_datagram& slot) {
    return net_address::from_record(reinterpret_cast<const sockaddr*>(&slot.source),
                                    slot.source_length);
}

// Datagrams one receive call takes: enough to spread a system call over many datagrams, few
// enough that a batch is over long before a stop has to wait for it.
constexpr int kBatch = 32;

// How old the list of local subnet broadcast addresses may grow before a loop reads it again:
// an address added while the responder runs is known within this time of its first datagram.
constexpr int64_t kBroadcastsMaxAgeNs = plat::kNanosPerSecond;

// The padding of every echo longer than its request.
const unsigned char kZeros[kMaxUdpPayload] = {};

// The mark is set in the echo's first byte, which every echo takes from its request (the
// padding is shared and never written).
static_assert(kProbeFlagEcho <= 0xFFu, "the echo mark lies in the first byte");

// What all loops share.
struct responder_state {
    echo_policy policy; // the subnet broadcasts as read at the start
    bool answer_from_destination; // bound to every address: answer from the address asked
    responder_observer& observer;
    responder_stop& stop;
    source_rate_limiter limiter;
    std::atomic<uint32_t> served{0}; // the request counter, counted in batches
    // Kernel receive stamps (and the traffic class of arrival) are asked of the socket once a
    // request wants the responder's stamps: until then no datagram carries the cost of them.
    std::atomic<bool> receive_stamps{false};
    bool dscp_echo = false; // answer with the DSCP of the probe
};

class receive_loop {
  public:
    receive_loop(responder_state& state, int sock, int index, int64_t broadcasts_read_ns)
        : state_(state), policy_(state.policy), broadcasts_read_ns_(broadcasts_read_ns),
          sock_(sock), index_(index),
          buffers_(new unsigned char[size_t{kBatch} * kTransferBufferSize]) {
        // Pages of the buffers are only touched by datagrams that need them.
        for (int i = 0; i < kBatch; ++i) {
            slots_[i].data = &buffers_[size_t(i) * kTransferBufferSize];
            slots_[i].capacity = kTransferBufferSize;
        }
    }

    // One system call takes what is waiting, or waits for it: a ping-pong costs one receive
    // and one send per echo.
    void run() {
        while (!state_.stop.requested()) {
            const int got = plat::receive_datagrams(sock_, slots_, kBatch, true);
            // A stop ends the receive: what it returned then is not served.
            if (state_.stop.requested()) break;
            if (got > 0) {
                serve(got);
            } else if (got < 0) {
                report_receive_failure(errno);
            }
        }
    }

  private:
    // Waits until the socket is writable; false when a stop ended the wait.
    bool wait_writable() {
        plat::wait_item items[2];
        items[0].fd = sock_;
        items[0].write = true;
        items[1].fd = state_.stop.wait_fd();
        items[1].read = true;
        while (!state_.stop.requested()) {
            if (plat::wait_any(items, 2, -1) < 0) return false;
            if (items[0].ready) return true;
        }
        return false;
    }

    void report_receive_failure(int error) {
        responder_datagram d{};
        d.loop = index_;
        d.served = static_cast<int32_t>(state_.served.load(std::memory_order_relaxed));
        d.size = -1;
        d.error = error;
        state_.observer.datagram_received(d);
        state_.observer.batch_done(index_);
    }

    // Each loop reads the interfaces itself, so no loop waits for another and none shares a
    // list another one writes. A failed reading keeps the list it has.
    void refresh_broadcasts(int64_t now) {
        if (now - broadcasts_read_ns_ < kBroadcastsMaxAgeNs) return;
        broadcasts_read_ns_ = now;
        if (auto found = local_subnet_broadcasts()) policy_.subnet_broadcasts = std::move(*found);
    }

    void serve(int count) {
        const int64_t now = plat::monotonic_ns();
        refresh_broadcasts(now);
        int sends = 0;
        int requests = 0; // datagrams that are reported: echoes and empty ones
        for (int i = 0; i < count; ++i) {
            const plat::received_datagram& slot = slots_[i];
            // Reported as the address it stands for: an IPv4 peer of a socket of both
            // families comes as ::ffff:a.b.c.d.
            const net_address as_received = received_source(slot);
            sources_[i] = as_received.unmapped();
            echo_request request{{slot.data, static_cast<size_t>(slot.size)}, as_received};
            if (IN6_IS_ADDR_V4MAPPED(&slot.destination)) {
                uint32_t v4;
                std::memcpy(&v4, &slot.destination.s6_addr[12], sizeof v4);
                request.destination = ntohl(v4);
            } else {
                request.destination6 = slot.destination;
            }
            echo_plan& plan = plans_[i];
            plan = plan_echo(policy_, request);
            if (plan.verdict == echo_verdict::refused) {
                state_.observer.datagram_refused({index_, sources_[i], slot.size, plan.refusal});
                continue;
            }
            if (!plan.trusted && !state_.limiter.admit(source_key(sources_[i]), now)) {
                state_.observer.datagram_rate_limited({index_, sources_[i], slot.size});
                continue;
            }
            reported_[requests++] = i;
            if (plan.verdict != echo_verdict::echo) continue;
            if (plan.marked) pkthdr_add_flags(slot.data, kProbeFlagEcho);
            if (plan.stamped) stamp_received(slot, plan);
            plat::outgoing_datagram& out = outgoing_[sends++];
            out = {};
            out.parts[0] = slot.data;
            out.part_sizes[0] = static_cast<size_t>(plan.copied);
            out.parts[1] = kZeros;
            out.part_sizes[1] = static_cast<size_t>(plan.echo_size - plan.copied);
            out.destination = slot.source;
            out.destination_length = slot.source_length;
            if (state_.answer_from_destination) {
                out.from = slot.reply_from;
                out.interface = slot.interface;
            }
            // The DSCP alone: the ECN bits belong to the path's congestion signalling.
            if (state_.dscp_echo && slot.traffic_class >= 0)
                out.traffic_class = slot.traffic_class & ~kEcnMask;
        }
        stamp_sent();
        send_all(sends);
        report(requests, sends);
    }

    // The receive stamp goes into the request's own buffer, which the echo is sent from; the
    // echo then carries at least the stamps from it (bytes past the request are zeroed first:
    // the buffer still holds an earlier datagram there).
    void stamp_received(const plat::received_datagram& slot, echo_plan& plan) {
        if (plan.copied < kStampedEchoSize) {
            std::memset(slot.data + plan.copied, 0, size_t(kStampedEchoSize - plan.copied));
            plan.copied = kStampedEchoSize;
        }
        // The first such request of a run is stamped by the clock: the kernel stamps only
        // what arrives after it was asked to.
        if (!state_.receive_stamps.load(std::memory_order_relaxed) &&
            !state_.receive_stamps.exchange(true, std::memory_order_relaxed)) {
            udp_setopt(sock_, SOCKOPT_TIMESTAMPNS, 1);
            read_traffic_class(sock_);
        }
        stamps_write_received(slot.data, slot.stamp_ns ? slot.stamp_ns : plat::wall_ns());
        if (slot.traffic_class >= 0) stamps_write_arrival_class(slot.data, slot.traffic_class);
        stamped_[stamps_++] = slot.data;
    }

    // One reading for the batch, right before its send call.
    void stamp_sent() {
        if (stamps_ == 0) return;
        const int64_t now = plat::wall_ns();
        for (int k = 0; k < stamps_; ++k)
            stamps_write_sent(stamped_[k], now);
        stamps_ = 0;
    }

    // Sends the batch's echoes, waiting for room in the socket when it is full; after a stop,
    // what is left is given up (reported as failed sends).
    void send_all(int count) {
        int done = 0;
        while (done < count) {
            done += plat::send_datagrams(sock_, outgoing_ + done, count - done);
            if (done < count && !wait_writable()) break;
        }
        for (; done < count; ++done) {
            outgoing_[done].result = -1;
            outgoing_[done].error = EAGAIN;
        }
    }

    void report(int requests, int sends) {
        // The counter moves by the batch's echoes; each request sees the count before it.
        auto served = static_cast<int32_t>(
            state_.served.fetch_add(static_cast<uint32_t>(sends), std::memory_order_relaxed));
        int send = 0;
        for (int r = 0; r < requests; ++r) {
            const plat::received_datagram& slot = slots_[reported_[r]];
            const echo_plan& plan = plans_[reported_[r]];
            const net_address& source = sources_[reported_[r]];
            state_.observer.datagram_received({served, source, slot.size, 0, plan.seq, index_});
            if (plan.verdict != echo_verdict::echo) continue;
            const plat::outgoing_datagram& out = outgoing_[send++];
            state_.observer.echo_sent(
                {served, source, plan.echo_size, out.result, out.error, plan.seq, index_});
            ++served;
        }
        state_.observer.batch_done(index_);
    }

    responder_state& state_;
    echo_policy policy_; // this loop's copy, with its own reading of the subnet broadcasts
    int64_t broadcasts_read_ns_;
    int sock_;
    int index_;
    std::unique_ptr<unsigned char[]> buffers_;
    plat::received_datagram slots_[kBatch];
    net_address sources_[kBatch]; // each datagram's source as its family's address
    echo_plan plans_[kBatch];
    int reported_[kBatch];
    plat::outgoing_datagram outgoing_[kBatch];
    unsigned char* stamped_[kBatch]; // echoes of this batch that wait for their send stamp
    int stamps_ = 0;
};

// The one socket all loops read. Without SO_REUSEPORT (or SO_REUSEADDR) it shares its port with
// nobody: a port another socket holds is refused, and no other process can join this one later
// and take a share of its datagrams unnoticed. The destination of every datagram is read
// (IP_PKTINFO, IPV6_RECVPKTINFO), to refuse those sent to a broadcast or multicast address and,
// bound to every address, to answer from the address asked. An IPv6 socket takes IPv6 alone,
// unless `both_families` (then IPv4 peers come as IPv4-mapped addresses).
int32_t open_socket(const net_address& listaddr, bool both_families, int32_t* sock) {
    if (listaddr.family() == 0) { // a text that is no address is never served on
        errno = EINVAL;
        return SOCKERR_BIND;
    }
    const bool v6 = listaddr.is_ipv6();
    *sock = udp_create(v6 ? AF_INET6 : AF_INET);
    if (*sock < 0) return *sock;
    if (v6) {
        if (const int32_t r = udp_setopt(*sock, SOCKOPT_V6ONLY, both_families ? 0 : 1); r < 0)
            return r;
        if (const int32_t r = udp_setopt(*sock, SOCKOPT_PKTINFO6, 1); r < 0) return r;
    }
    // On an IPv6 socket of both families this tells the local address of an IPv4 peer's
    // datagram; an IPv6-only socket may refuse it.
    if (const int32_t r = udp_setopt(*sock, SOCKOPT_PKTINFO, 1); r < 0 && !v6) return r;
    return udp_bind(*sock, listaddr.record());
}

// The address to serve on: an IPv6 literal, a dotted IPv4 address, or, for the empty text,
// every address of both families (the IPv6 wildcard with IPv4 taken too). An IPv6 text that is
// no address gives the unset address, which open_socket refuses.
net_address serve_address(const char* host, const char* port_text, uint16_t port,
                          bool* both_families) {
    *both_families = host == nullptr || host[0] == '\0';
    if (*both_families) return create_sockaddrin6(AF_INET6, "", port_text);
    if (!looks_like_ipv6(host)) return create_sockaddrin(AF_INET, host, port_text);
    net_address a;
    if (!parse_address_literal(host, port, &a).empty()) return {};
    return a;
}

void close_kept(int32_t sock) {
    if (sock < 0) return;
    const int saved = errno;
    sock_close(sock);
    errno = saved;
}

} // namespace

void responder_stop::request() {
    requested_.store(true, std::memory_order_relaxed);
    event_.set();
    const std::lock_guard<std::mutex> lock(socket_mutex_);
    if (socket_ >= 0) plat::end_receiving(socket_);
}

void responder_stop::attach_socket(int sock) {
    const std::lock_guard<std::mutex> lock(socket_mutex_);
    socket_ = sock;
    if (socket_ >= 0 && requested()) plat::end_receiving(socket_);
}

int32_t rebound_listen(const responder_config& config, responder_observer& observer,
                       responder_stop& stop) {
    // Without its descriptor a stop could never end an idle wait.
    if (!stop.valid()) return SOCKERR_FAIL;
    char port_text[6] = {};
    std::snprintf(port_text, sizeof port_text, "%d", config.ipport);
    const auto port = static_cast<uint16_t>(config.ipport);
    bool both_families = false;
    net_address listaddr = serve_address(config.ipaddr, port_text, port, &both_families);

    const int loops = config.loops > 0 ? config.loops : 1;
    int32_t sock = -1;
    int32_t failed = open_socket(listaddr, both_families, &sock);
    // Without IPv6 in the kernel, every address is every IPv4 address.
    const net_address every_ipv4 = create_sockaddrin(AF_INET, "", port_text);
    if (failed < 0 && both_families && errno == EAFNOSUPPORT) {
        close_kept(sock);
        failed = open_socket(every_ipv4, false, &sock);
    }
    // Reported once the port is bound (or binding failed): whoever waits for the start may send
    // at once and find the responder listening. Every address of both families is reported as
    // the IPv4 wildcard, the address it has always been reported as.
    const int saved = errno;
    observer.started({config.ipaddr, port_text, both_families ? every_ipv4 : listaddr});
    errno = saved;
    if (failed < 0) {
        close_kept(sock);
        return failed;
    }

    responder_state state{config.policy, listaddr.is_unspecified(), observer, stop,
                          source_rate_limiter(config.rate)};
    state.policy.own_port = port;
    state.policy.own_address = listaddr.is_ipv6() ? 0 : listaddr.ipv4_host_order();
    state.policy.own_address6 = listaddr.is_ipv6() ? listaddr.ipv6().sin6_addr : in6_addr{};
    state.policy.subnet_broadcasts = local_subnet_broadcasts().value_or(std::vector<uint32_t>{});
    state.dscp_echo = config.dscp_echo;
    if (config.dscp_echo) read_traffic_class(sock);
    const int64_t read_at = plat::monotonic_ns();
    stop.attach_socket(sock);
    std::vector<std::unique_ptr<receive_loop>> workers;
    for (int i = 0; i < loops; ++i)
        workers.push_back(std::make_unique<receive_loop>(state, sock, i, read_at));
    std::vector<std::thread> threads;
    int32_t result = 0;
    try {
        for (int i = 1; i < loops; ++i)
            threads.emplace_back([&workers, i] { workers[size_t(i)]->run(); });
    } catch (const std::system_error& e) {
        // Rather than serve with fewer loops than asked, nobody is served.
        stop.request();
        result = SOCKERR_FAIL;
        errno = e.code().value();
    }
    if (result == 0) workers[0]->run();
    for (auto& t : threads)
        t.join();
    stop.attach_socket(-1);
    close_kept(sock);
    return result;
}
