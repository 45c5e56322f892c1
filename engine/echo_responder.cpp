#include "engine/echo_responder.h"

#include "address/sockaddr.h"
#include "engine/line_printer.h"
#include "engine/probe_header.h"
#include "net/bind_listen.h"
#include "platform/stop_signals.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr timeval kNoWait{0, 0};

// The echo size a request asks for, read signed (so 2^31 and above count as too small), at
// least 16 and never more than the buffer holds.
int echo_size(const unsigned char* request) {
    const auto asked = static_cast<int32_t>(pkthdr_get(request, PKTHDR_RECVSIZE));
    if (asked <= 15) return 16;
    return asked < kTransferBufferSize ? asked : kTransferBufferSize;
}

} // namespace

int32_t rebound_listen(const char* ipaddr, int32_t ipport, responder_observer* observer) {
    line_printer stdout_lines(stdout);
    responder_observer& report = observer ? *observer : stdout_lines;
    char port_text[6] = {};
    std::snprintf(port_text, sizeof port_text, "%d", ipport);
    const sockaddr_in listaddr = create_sockaddrin(AF_INET, ipaddr, port_text);
    report.started({ipaddr, port_text, listaddr});

    const int32_t sock = udp_create(AF_INET);
    if (sock < 0) return sock;
    const int32_t bound = udp_bind(sock, reinterpret_cast<const sockaddr*>(&listaddr));
    if (bound < 0) {
        const int saved = errno;
        sock_close(sock);
        errno = saved;
        return bound;
    }

    // All zero except the first `dirty` bytes, which the latest request wrote: clearing only
    // those keeps the whole buffer zero before every receive without rewriting 64 KiB each time.
    unsigned char buf[kTransferBufferSize] = {};
    size_t dirty = 0;
    int32_t served = 0;
    for (;;) {
        // Lines are written out whenever the responder runs out of work, so a reader sees
        // every line as soon as the responder is idle, while a busy responder writes them in
        // batches. The blocking wait is also where a stop request gets through; the receive
        // itself then cannot block.
        if (plat::stop_requested()) break;
        const int pending = plat::select_one(sock, plat::kReadable, &kNoWait);
        if (pending < 0) continue; // interrupted: the loop head sees a stop
        if (pending == 0) {
            std::fflush(stdout);
            if (plat::select_one(sock, plat::kReadable, nullptr) <= 0) continue;
        }

        std::memset(buf, 0, dirty);
        sockaddr_in from{};
        int fromlen = plat::kInetAddrLen;
        const int got = plat::recvfrom(sock, buf, kTransferBufferSize, 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromlen);
        const int recv_error = got < 0 ? errno : 0;
        dirty = got > 0 ? static_cast<size_t>(got) : 0;
        const auto seq = static_cast<int32_t>(pkthdr_get(buf, PKTHDR_SEQ));
        report.datagram_received({served, from, got, recv_error, seq});
        if (got <= 0) continue;

        const int size = echo_size(buf);
        const int sent = plat::sendto(sock, buf, size, 0, reinterpret_cast<const sockaddr*>(&from),
                                      plat::kInetAddrLen);
        const int send_error = sent < 0 ? errno : 0;
        report.echo_sent({served, from, size, sent, send_error, seq});
        ++served;
    }
    sock_close(sock);
    return 0;
}
