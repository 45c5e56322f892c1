#include "platform/datagram_batch.h"

#include "platform/clock.h"

#include <cerrno>
#include <cstring>
#include <netinet/ip.h>

namespace plat {
namespace {

// Room for the control messages a datagram brings: its destination of either family (a socket
// of both families may give both), its stamp and its traffic class.
constexpr size_t kControlSize = CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(in6_pktinfo)) +
                                CMSG_SPACE(sizeof(timespec)) + 2 * CMSG_SPACE(sizeof(int));

struct control_buffer {
    alignas(cmsghdr) unsigned char bytes[kControlSize];
};

in6_addr mapped(in_addr a) {
    in6_addr m{};
    m.s6_addr[10] = m.s6_addr[11] = 0xFF;
    std::memcpy(&m.s6_addr[12], &a, sizeof a);
    return m;
}

bool is_mapped(const in6_addr& a) {
    return IN6_IS_ADDR_V4MAPPED(&a);
}

// Appends one control message to h (whose msg_controllen counts what is written so far).
template <typename T>
void add_control(msghdr& h, size_t room, int level, int type, const T& value) {
    cmsghdr* c =
        reinterpret_cast<cmsghdr*>(static_cast<unsigned char*>(h.msg_control) + h.msg_controllen);
    if (h.msg_controllen + CMSG_SPACE(sizeof value) > room) return;
    c->cmsg_level = level;
    c->cmsg_type = type;
    c->cmsg_len = CMSG_LEN(sizeof value);
    std::memcpy(CMSG_DATA(c), &value, sizeof value);
    h.msg_controllen += CMSG_SPACE(sizeof value);
}

// The source address and, where it is asked for, the traffic class of one outgoing datagram.
void add_controls(msghdr& h, unsigned char* bytes, size_t room, const outgoing_datagram& d) {
    h.msg_control = bytes;
    h.msg_controllen = 0;
    const bool ipv6_socket_v6_peer =
        d.destination.ss_family == AF_INET6 &&
        !is_mapped(reinterpret_cast<const sockaddr_in6&>(d.destination).sin6_addr);
    if (!IN6_IS_ADDR_UNSPECIFIED(&d.from)) {
        if (is_mapped(d.from)) {
            // Answer from this local address; the interface is left to routing.
            in_pktinfo info{};
            std::memcpy(&info.ipi_spec_dst, &d.from.s6_addr[12], sizeof info.ipi_spec_dst);
            add_control(h, room, IPPROTO_IP, IP_PKTINFO, info);
        } else {
            in6_pktinfo info{};
            info.ipi6_addr = d.from;
            info.ipi6_ifindex = d.interface;
            add_control(h, room, IPPROTO_IPV6, IPV6_PKTINFO, info);
        }
    }
    if (d.traffic_class >= 0) {
        const int tclass = d.traffic_class;
        if (ipv6_socket_v6_peer)
            add_control(h, room, IPPROTO_IPV6, IPV6_TCLASS, tclass);
        else
            add_control(h, room, IPPROTO_IP, IP_TOS, tclass);
    }
    if (h.msg_controllen == 0) h.msg_control = nullptr;
}

} // namespace

int receive_datagrams(int sock, received_datagram* slots, int count, bool block) {
    if (count > kMaxDatagramBatch) count = kMaxDatagramBatch;
    mmsghdr headers[kMaxDatagramBatch];
    iovec vectors[kMaxDatagramBatch];
    control_buffer controls[kMaxDatagramBatch];
    for (int i = 0; i < count; ++i) {
        vectors[i] = {slots[i].data, static_cast<size_t>(slots[i].capacity)};
        msghdr& h = headers[i].msg_hdr;
        h = {};
        slots[i].source = {};
        h.msg_name = &slots[i].source;
        h.msg_namelen = sizeof slots[i].source;
        h.msg_iov = &vectors[i];
        h.msg_iovlen = 1;
        h.msg_control = controls[i].bytes;
        h.msg_controllen = sizeof controls[i].bytes;
        headers[i].msg_len = 0;
    }
    int got;
    do {
        got = ::recvmmsg(sock, headers, static_cast<unsigned>(count),
                         block ? MSG_WAITFORONE : MSG_DONTWAIT, nullptr);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;

    for (int i = 0; i < got; ++i) {
        received_datagram& slot = slots[i];
        slot.size = static_cast<int>(headers[i].msg_len);
        msghdr& h = headers[i].msg_hdr;
        slot.source_length = static_cast<int>(h.msg_namelen);
        slot.destination = {};
        slot.reply_from = {};
        slot.interface = 0;
        slot.stamp_ns = 0;
        slot.traffic_class = -1;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                slot.destination = mapped(info.ipi_addr);
                slot.reply_from = mapped(info.ipi_spec_dst);
                slot.interface = static_cast<unsigned>(info.ipi_ifindex);
            } else if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO) {
                in6_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                // An IPv4 datagram's own IP_PKTINFO, when it came too, is the one that tells
                // the local address to answer from (ipi_spec_dst).
                if (!IN6_IS_ADDR_UNSPECIFIED(&slot.destination)) continue;
                slot.destination = info.ipi6_addr;
                slot.reply_from = info.ipi6_addr;
                slot.interface = info.ipi6_ifindex;
            } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec ts;
                std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                slot.stamp_ns = timespec_ns(ts);
            } else if (const int tclass = control_traffic_class(c); tclass >= 0) {
                slot.traffic_class = tclass;
            }
        }
    }
    return got;
}

int send_datagrams(int sock, outgoing_datagram* datagrams, int count) {
    int done = 0;
    while (done < count) {
        const int chunk = count - done < kMaxDatagramBatch ? count - done : kMaxDatagramBatch;
        mmsghdr headers[kMaxDatagramBatch];
        iovec vectors[kMaxDatagramBatch][2];
        control_buffer controls[kMaxDatagramBatch];
        for (int i = 0; i < chunk; ++i) {
            outgoing_datagram& d = datagrams[done + i];
            msghdr& h = headers[i].msg_hdr;
            h = {};
            h.msg_name = &d.destination;
            h.msg_namelen = static_cast<socklen_t>(d.destination_length);
            h.msg_iov = vectors[i];
            h.msg_iovlen = 2;
            for (int p = 0; p < 2; ++p)
                vectors[i][p] = {const_cast<void*>(d.parts[p]), d.part_sizes[p]};
            // Exactly the messages written: the kernel reads whatever the length covers.
            add_controls(h, controls[i].bytes, sizeof controls[i].bytes, d);
            headers[i].msg_len = 0;
        }
        const int sent =
            ::sendmmsg(sock, headers, static_cast<unsigned>(chunk), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return done;
            // The first datagram of the chunk failed on its own: record it, go on after it.
            datagrams[done].result = -1;
            datagrams[done].error = errno;
            ++done;
            continue;
        }
        for (int i = 0; i < sent; ++i) {
            datagrams[done + i].result = static_cast<int>(headers[i].msg_len);
            datagrams[done + i].error = 0;
        }
        done += sent;
    }
    return done;
}

} // namespace plat
