#include "platform/socket_api.h"

#include "platform/clock.h"
#include "platform/socket_errors.h"
#include "platform/stop_signals.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace plat {
namespace {

thread_local int t_last_error = 0;
std::atomic<int> g_service_count{0};
std::atomic<bool> g_fail_startup{false};

// Records the failure of the call that just returned -1. errno keeps its POSIX value, so
// callers that retry on EINTR/EAGAIN can still test it.
int fail(WouldBlockMeans again = WouldBlockMeans::WouldBlock) {
    t_last_error = translate_errno(errno, again);
    return -1;
}

int checked(long result) {
    return result < 0 ? fail() : static_cast<int>(result);
}

// A transfer that found nothing to do on a blocking socket ran into its SO_RCVTIMEO or
// SO_SNDTIMEO; on a non-blocking socket it would simply have blocked.
int checked_transfer(int sock, long result) {
    if (result >= 0) return static_cast<int>(result);
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        const int saved = errno;
        const int flags = ::fcntl(sock, F_GETFL);
        errno = saved;
        return fail(flags >= 0 && (flags & O_NONBLOCK) ? WouldBlockMeans::WouldBlock
                                                       : WouldBlockMeans::TimedOut);
    }
    return fail();
}

socklen_t to_len(int len) {
    return len < 0 ? 0 : static_cast<socklen_t>(len);
}

// A negative byte count is refused as an invalid argument instead of being sent as empty.
bool refuse_negative(int len) {
    if (len >= 0) return false;
    errno = EINVAL;
    return true;
}

} // namespace

int startup() {
    if (g_fail_startup) return 1;
    ++g_service_count;
    return 0;
}
void cleanup() {
    --g_service_count;
}
int service_count() {
    return g_service_count;
}
void fail_startup_for_test(bool fail) {
    g_fail_startup = fail;
}

int last_socket_error() {
    return t_last_error;
}

int socket(int family, int type, int protocol) {
    return checked(::socket(family, type | SOCK_CLOEXEC, protocol));
}

int closesocket(int sock) {
    return checked(::close(sock));
}

int bind(int sock, const sockaddr* addr, int len) {
    return checked(::bind(sock, addr, to_len(len)));
}

int listen(int sock, int backlog) {
    return checked(::listen(sock, backlog));
}

int accept(int sock, sockaddr* addr, int* len) {
    socklen_t n = len ? to_len(*len) : 0;
    const int r = ::accept4(sock, addr, len ? &n : nullptr, SOCK_CLOEXEC);
    if (r < 0) return fail();
    if (len) *len = static_cast<int>(n);
    return r;
}

int connect(int sock, const sockaddr* addr, int len) {
    return checked(::connect(sock, addr, to_len(len)));
}

int getsockname(int sock, sockaddr* addr, int* len) {
    socklen_t n = to_len(*len);
    if (::getsockname(sock, addr, &n) < 0) return fail();
    *len = static_cast<int>(n);
    return 0;
}

int getpeername(int sock, sockaddr* addr, int* len) {
    socklen_t n = to_len(*len);
    if (::getpeername(sock, addr, &n) < 0) return fail();
    *len = static_cast<int>(n);
    return 0;
}

int getsockopt(int sock, int level, int name, void* value, int* len) {
    socklen_t n = to_len(*len);
    if (::getsockopt(sock, level, name, value, &n) < 0) return fail();
    *len = static_cast<int>(n);
    return 0;
}

int setsockopt(int sock, int level, int name, const void* value, int len) {
    return checked(::setsockopt(sock, level, name, value, to_len(len)));
}

int set_nonblocking(int sock, bool on) {
    int arg = on ? 1 : 0;
    return checked(::ioctl(sock, FIONBIO, &arg));
}

int send(int sock, const void* buf, int len, int flags) {
    if (refuse_negative(len)) return fail();
    return checked_transfer(sock, ::send(sock, buf, to_len(len), flags | MSG_NOSIGNAL));
}

int recv(int sock, void* buf, int len, int flags) {
    if (refuse_negative(len)) return fail();
    return checked_transfer(sock, ::recv(sock, buf, to_len(len), flags));
}

int sendto(int sock, const void* buf, int len, int flags, const sockaddr* to, int tolen) {
    if (refuse_negative(len)) return fail();
    return checked_transfer(
        sock, ::sendto(sock, buf, to_len(len), flags | MSG_NOSIGNAL, to, to_len(tolen)));
}

int recvfrom(int sock, void* buf, int len, int flags, sockaddr* from, int* fromlen) {
    if (refuse_negative(len)) return fail();
    socklen_t n = fromlen ? to_len(*fromlen) : 0;
    const long r = ::recvfrom(sock, buf, to_len(len), flags, from, fromlen ? &n : nullptr);
    if (r >= 0 && fromlen) *fromlen = static_cast<int>(n);
    return checked_transfer(sock, r);
}

int control_traffic_class(const cmsghdr* c) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TOS && c->cmsg_len >= CMSG_LEN(1))
        return *CMSG_DATA(c); // one byte
    if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_TCLASS &&
        c->cmsg_len >= CMSG_LEN(sizeof(int))) {
        int value;
        std::memcpy(&value, CMSG_DATA(c), sizeof value);
        return value & 0xFF;
    }
    return -1;
}

int recvfrom_stamped(int sock, void* buf, int len, int flags, sockaddr* from, int* fromlen,
                     ReceiveReadings* readings) {
    *readings = {};
    if (refuse_negative(len)) return fail();
    iovec iov{buf, to_len(len)};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(uint32_t)) +
                                  CMSG_SPACE(sizeof(int))];
    msghdr msg{};
    msg.msg_name = from;
    msg.msg_namelen = fromlen ? to_len(*fromlen) : 0;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const long r = ::recvmsg(sock, &msg, flags);
    if (r < 0) return checked_transfer(sock, r);
    if (fromlen) *fromlen = static_cast<int>(msg.msg_namelen);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec ts;
            std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
            readings->stamp_ns = timespec_ns(ts);
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
            uint32_t drops;
            std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
            readings->buffer_drops = drops;
        } else if (const int tclass = control_traffic_class(c); tclass >= 0) {
            readings->traffic_class = tclass;
        }
    }
    return static_cast<int>(r);
}

int clear_error_queue(int sock) {
    int taken = 0;
    for (;;) {
        char data[1];
        iovec iov{data, sizeof data};
        alignas(cmsghdr) char control[512];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        if (::recvmsg(sock, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return taken;
        ++taken;
    }
}

int set_receive_limit(int sock, int64_t limit_ns) {
    const timeval tv = ns_timeval(std::max(limit_ns, kNanosPerMicrosecond));
    return checked(::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv));
}

int end_receiving(int sock) {
    return ::shutdown(sock, SHUT_RD) == 0 ? 0 : -1; // async-signal-safe: no fail() bookkeeping
}

int grow_receive_buffer(int sock, int bytes) {
    const auto held = [sock] {
        int value = 0;
        socklen_t len = sizeof value;
        // The kernel reports twice what was asked: half of it is its own bookkeeping.
        return ::getsockopt(sock, SOL_SOCKET, SO_RCVBUF, &value, &len) == 0 ? value / 2 : -1;
    };
    if (held() >= bytes) return 0;
    // The forcing call passes the system's limit and works only with CAP_NET_ADMIN.
    if (::setsockopt(sock, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    if (held() >= bytes) return 0;
    errno = ENOBUFS;
    return fail();
}

int select_one(int sock, Readiness want, const timeval* limit, Readiness* ready) {
    if (sock < 0) {
        errno = EBADF;
        return fail();
    }
    pollfd pfd{sock, 0, 0};
    if (want.read) pfd.events |= POLLIN;
    if (want.write) pfd.events |= POLLOUT;
    if (want.except) pfd.events |= POLLPRI;

    timespec ts{};
    if (limit) {
        ts.tv_sec = limit->tv_sec;
        ts.tv_nsec = static_cast<long>(limit->tv_usec) * 1000;
    }
    const int r = ::ppoll(&pfd, 1, limit ? &ts : nullptr, stop_wait_mask());
    if (r < 0) return fail();
    if (pfd.revents & POLLNVAL) {
        errno = EBADF;
        return fail();
    }
    // The sets select() would report: errors and hang-ups make a socket readable, errors
    // also writable (as the kernel's own select does).
    Readiness got;
    got.read = want.read && (pfd.revents & (POLLIN | POLLHUP | POLLERR));
    got.write = want.write && (pfd.revents & (POLLOUT | POLLERR));
    got.except = want.except && (pfd.revents & POLLPRI);
    if (ready) *ready = got;
    return int(got.read) + int(got.write) + int(got.except);
}

int unlink(const char* path) {
    return checked(::unlink(path));
}

uint32_t inet_addr(const char* text) {
    return ::inet_addr(text);
}

} // namespace plat
