// One datagram per call, optionally after a readiness wait. The handle is not checked here:
// an invalid one fails in the platform call. Addresses are always passed as 16-byte records.
#include "net/readiness.h"
#include "net/sock_timeval.h"
#include "net/transfer.h"
#include "net/transfer_detail.h"

#include <optional>

using namespace net_detail;

namespace {

constexpr int kDatagramAddrLen = plat::kInetAddrLen;

int32_t send_datagram(int32_t sock, const sockaddr* addr, const void* data, int len,
                      std::optional<timeval> wait) {
    if (wait)
        if (const int32_t w = wait_outcome(sock, kWritable, *wait); w < 0) return w;
    const int r = plat::sendto(sock, data, len, 0, addr, kDatagramAddrLen);
    return r >= 0 ? r : map_error(kDatagramSendErrors, SOCKERR_FAIL);
}

int32_t recv_datagram(int32_t sock, sockaddr* addr, void* buf, int len,
                      std::optional<timeval> wait) {
    if (wait)
        if (const int32_t w = wait_outcome(sock, kReadable, *wait); w < 0) return w;
    clear_front(buf, len);
    int addr_len = kDatagramAddrLen;
    const int r = plat::recvfrom(sock, buf, len, 0, addr, &addr_len);
    return r >= 0 ? r : map_error(kReceiveErrors, SOCKERR_FAIL);
}

} // namespace

int32_t udp_send(int32_t sock, const sockaddr* addr, const void* data, int len, double timeout) {
    return send_datagram(sock, addr, data, len, sock_timeval(timeout));
}

int32_t udp_blocksend(int32_t sock, const sockaddr* addr, const void* data, int len) {
    return send_datagram(sock, addr, data, len, std::nullopt);
}

int32_t udp_recv(int32_t sock, sockaddr* addr, void* buf, int len, double timeout) {
    return recv_datagram(sock, addr, buf, len, sock_timeval(timeout));
}

int32_t udp_blockrecv(int32_t sock, sockaddr* addr, void* buf, int len) {
    return recv_datagram(sock, addr, buf, len, std::nullopt);
}
