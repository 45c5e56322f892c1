// The stream members are one transfer loop; what tells them apart is their row below.
#include "net/readiness.h"
#include "net/sock_clock.h"
#include "net/sock_timeval.h"
#include "net/transfer.h"
#include "net/transfer_detail.h"

using namespace net_detail;

namespace {

enum class Way { Send, Receive };
enum class EndsWhen { AllMoved, FirstData };      // besides a transfer that moves nothing
enum class OverTime { PartialCount, TimedOut };   // result once the overall limit has passed
enum class EmptyRequest { AtOnce, AfterOneWait }; // when a length below 1 gives 0

struct StreamMember {
    Way way;
    int timeout_option; // SO_SNDTIMEO, SO_RCVTIMEO or kNoTimeoutOption; left set on the socket
    bool waits;         // readiness wait before each transfer
    EndsWhen ends;
    OverTime over_time;
    AcceptedSet errors;
    EmptyRequest empty;
};

// clang-format off
constexpr StreamMember kTcpSend       {Way::Send,    SO_SNDTIMEO,      true,  EndsWhen::AllMoved,  OverTime::PartialCount, kStreamSendErrors, EmptyRequest::AtOnce};
constexpr StreamMember kUnixSend      {Way::Send,    SO_SNDTIMEO,      true,  EndsWhen::AllMoved,  OverTime::PartialCount, kLocalSendErrors,  EmptyRequest::AtOnce};
constexpr StreamMember kTcpSendNowait {Way::Send,    SO_SNDTIMEO,      false, EndsWhen::AllMoved,  OverTime::TimedOut,     kStreamSendErrors, EmptyRequest::AtOnce};
constexpr StreamMember kTcpRecv       {Way::Receive, SO_RCVTIMEO,      true,  EndsWhen::AllMoved,  OverTime::PartialCount, kReceiveErrors,    EmptyRequest::AfterOneWait};
constexpr StreamMember kUnixRecv      {Way::Receive, kNoTimeoutOption, true,  EndsWhen::AllMoved,  OverTime::PartialCount, kReceiveErrors,    EmptyRequest::AfterOneWait};
constexpr StreamMember kTcpRecvSome   {Way::Receive, SO_RCVTIMEO,      true,  EndsWhen::FirstData, OverTime::PartialCount, kReceiveErrors,    EmptyRequest::AfterOneWait};
constexpr StreamMember kTcpRecvNowait {Way::Receive, SO_RCVTIMEO,      false, EndsWhen::AllMoved,  OverTime::TimedOut,     kReceiveErrors,    EmptyRequest::AtOnce};
// clang-format on

// Moves `len` bytes between `buf` and the stream as `m` describes. The overall limit is read
// from the whole-second clock and tested only after a transfer that moved data; a request that
// is complete is reported as such even when that limit has just passed.
int32_t stream_transfer(const StreamMember& m, int32_t sock, char* buf, int len, double timeout) {
    if (sock == -1) return -WSAENOTSOCK;
    if (m.way == Way::Receive) clear_front(buf, len);
    const timeval limit = sock_timeval(timeout);
    set_timeout_option(sock, m.timeout_option, limit);
    const double start = sock_clock();
    if (len < 1 && m.empty == EmptyRequest::AtOnce) return 0;

    const plat::Readiness want = m.way == Way::Send ? kWritable : kReadable;
    int moved = 0;
    for (;;) {
        if (m.waits)
            if (const int32_t w = wait_outcome(sock, want, limit); w < 0) return w;
        if (len < 1) return 0;
        const int r = m.way == Way::Send ? plat::send(sock, buf + moved, len - moved, 0)
                                         : plat::recv(sock, buf + moved, len - moved, 0);
        if (r == 0) return moved;
        if (r < 0) return map_error(m.errors, SOCKERR_FAIL);
        moved += r;
        if (moved >= len || m.ends == EndsWhen::FirstData) return moved;
        if (sock_clock() - start > timeout)
            return m.over_time == OverTime::TimedOut ? -WSAETIMEDOUT : moved;
    }
}

// The send members only read through the pointer.
char* send_buffer(const void* data) {
    return const_cast<char*>(static_cast<const char*>(data));
}

int32_t reserved_recv(int32_t sock, void* buf, int len) {
    if (sock == -1) return -WSAENOTSOCK;
    clear_front(buf, len);
    return SOCKERR_FAIL;
}

} // namespace

int32_t tcp_send(int32_t sock, const void* data, int len, double timeout) {
    return stream_transfer(kTcpSend, sock, send_buffer(data), len, timeout);
}
int32_t tcp_write(int32_t sock, const void* data, int len, double timeout) {
    return stream_transfer(kTcpSend, sock, send_buffer(data), len, timeout);
}
int32_t unix_send(int32_t sock, const void* data, int len, double timeout) {
    return stream_transfer(kUnixSend, sock, send_buffer(data), len, timeout);
}
int32_t tcp_send_nowait(int32_t sock, const void* data, int len, double timeout) {
    return stream_transfer(kTcpSendNowait, sock, send_buffer(data), len, timeout);
}

int32_t tcp_recv(int32_t sock, void* buf, int len, double timeout) {
    return stream_transfer(kTcpRecv, sock, static_cast<char*>(buf), len, timeout);
}
int32_t unix_recv(int32_t sock, void* buf, int len, double timeout) {
    return stream_transfer(kUnixRecv, sock, static_cast<char*>(buf), len, timeout);
}
int32_t tcp_recv_some(int32_t sock, void* buf, int len, double timeout) {
    return stream_transfer(kTcpRecvSome, sock, static_cast<char*>(buf), len, timeout);
}
int32_t tcp_recv_nowait(int32_t sock, void* buf, int len, double timeout) {
    return stream_transfer(kTcpRecvNowait, sock, static_cast<char*>(buf), len, timeout);
}

int32_t tcp_reserved_send_a(int32_t sock) {
    return sock == -1 ? -WSAENOTSOCK : SOCKERR_FAIL;
}
int32_t tcp_reserved_send_b(int32_t sock) {
    return sock == -1 ? -WSAENOTSOCK : SOCKERR_FAIL;
}
int32_t tcp_reserved_recv_a(int32_t sock, void* buf, int len) {
    return reserved_recv(sock, buf, len);
}
int32_t tcp_reserved_recv_b(int32_t sock, void* buf, int len) {
    return reserved_recv(sock, buf, len);
}
int32_t tcp_reserved_recv_c(int32_t sock, void* buf, int len) {
    return reserved_recv(sock, buf, len);
}
