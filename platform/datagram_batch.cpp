#include "platform/datagram_batch.h"

#include "platform/clock.h"

#include <cerrno>
#include <cstring>
#include <netinet/ip.h>

namespace plat {
namespace {

// Room for an IP_PKTINFO and an SCM_TIMESTAMPNS control message.
constexpr size_t kControlSize = CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(timespec));

struct control_buffer {
    alignas(cmsghdr) unsigned char bytes[kControlSize];
};

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
        slot.destination = {};
        slot.reply_from = {};
        slot.stamp_ns = 0;
        msghdr& h = headers[i].msg_hdr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                slot.destination = info.ipi_addr;
                slot.reply_from = info.ipi_spec_dst;
            } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec ts;
                std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                slot.stamp_ns = timespec_ns(ts);
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
            h.msg_namelen = sizeof d.destination;
            h.msg_iov = vectors[i];
            h.msg_iovlen = 2;
            for (int p = 0; p < 2; ++p)
                vectors[i][p] = {const_cast<void*>(d.parts[p]), d.part_sizes[p]};
            if (d.from.s_addr != 0) {
                // Answer from this local address; the interface is left to routing.
                h.msg_control = controls[i].bytes;
                // Exactly one message: the kernel reads whatever the length covers.
                h.msg_controllen = CMSG_SPACE(sizeof(in_pktinfo));
                cmsghdr* c = CMSG_FIRSTHDR(&h);
                c->cmsg_level = IPPROTO_IP;
                c->cmsg_type = IP_PKTINFO;
                c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
                in_pktinfo info{};
                info.ipi_spec_dst = d.from;
                std::memcpy(CMSG_DATA(c), &info, sizeof info);
            }
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
